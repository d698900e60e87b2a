#include "adapters/workbook/a1.hpp"

#include "adapters/workbook/workbook_model.hpp"

namespace tbln::workbook {

bool ParseCellRef(std::string_view ref, Long& row, Long& col) {
    std::size_t i = 0;
    if (i < ref.size() && ref[i] == '$') ++i;
    long long c = 0;
    std::size_t letters = 0;
    for (; i < ref.size(); ++i, ++letters) {
        char ch = ref[i];
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
        if (ch < 'A' || ch > 'Z') break;
        c = c * 26 + (ch - 'A' + 1);
        if (c > kMaxCols) return false;
    }
    if (letters == 0) return false;
    if (i < ref.size() && ref[i] == '$') ++i;
    long long r = 0;
    std::size_t digits = 0;
    for (; i < ref.size(); ++i, ++digits) {
        if (ref[i] < '0' || ref[i] > '9') return false;
        r = r * 10 + (ref[i] - '0');
        if (r > kMaxRows) return false;
    }
    if (digits == 0 || r < 1) return false;
    row = static_cast<Long>(r);
    col = static_cast<Long>(c);
    return true;
}

std::string CellReference(Long row, Long col) {
    std::string letters;
    for (long c = col; c > 0; c = (c - 1) / 26)
        letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
    return letters + std::to_string(row);
}

std::string AreaReference(Long top, Long left, Long bottom, Long right) {
    const std::string first = CellReference(top, left);
    return top == bottom && left == right ? first : first + ":" + CellReference(bottom, right);
}

}  // namespace tbln::workbook

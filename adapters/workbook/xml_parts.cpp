#include "adapters/workbook/xml_parts.hpp"

#include "adapters/opc/xml_part.hpp"
#include "adapters/workbook/workbook_model.hpp"
#include "core/text.hpp"

namespace tbln::workbook {

namespace {
int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string DecodeEscapes(std::string_view text) {
    if (text.find("_x") == std::string_view::npos) return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '_' && i + 6 < text.size() && text[i + 1] == 'x' && text[i + 6] == '_') {
            int v = 0;
            bool hex = true;
            for (std::size_t k = 2; k < 6; ++k) {
                const int d = HexDigit(text[i + k]);
                if (d < 0) hex = false;
                v = v * 16 + (d < 0 ? 0 : d);
            }
            if (hex) {
                AppendUtf8(out, static_cast<char32_t>(v));
                i += 6;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

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

const char* Attribute(const char** attributes, std::string_view localName) {
    for (const char** a = attributes; a && *a; a += 2) {
        if (opc::LocalName(a[0]) == localName) return a[1];
    }
    return nullptr;
}

}  // namespace tbln::workbook

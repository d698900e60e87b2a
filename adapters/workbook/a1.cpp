#include "adapters/workbook/a1.hpp"

#include <algorithm>

#include "adapters/workbook/workbook_model.hpp"
#include "core/a1.hpp"

namespace tbln::workbook {

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool ParseNumber(std::string_view s, Long limit, Long& out) {
    if (!s.empty() && s.front() == '$') s.remove_prefix(1);
    if (s.empty() || s.size() > 8) return false;
    long long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < 1 || v > limit) return false;
    out = static_cast<Long>(v);
    return true;
}

bool ParseColumnLetters(std::string_view s, Long& out) {
    if (!s.empty() && s.front() == '$') s.remove_prefix(1);
    if (s.empty() || s.size() > 3) return false;
    long long v = 0;
    for (char c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c < 'A' || c > 'Z') return false;
        v = v * 26 + (c - 'A' + 1);
    }
    if (v > kMaxCols) return false;
    out = static_cast<Long>(v);
    return true;
}

}  // namespace

bool ParseArea(std::string_view text, Area& area) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) {
        if (!ParseCellRef(text, area.top, area.left)) return false;
        area.bottom = area.top;
        area.right = area.left;
        return true;
    }
    const auto first = Trim(text.substr(0, colon));
    const auto second = Trim(text.substr(colon + 1));
    Long r1, c1, r2, c2;
    if (ParseCellRef(first, r1, c1) && ParseCellRef(second, r2, c2)) {
    } else if (ParseNumber(first, kMaxRows, r1) && ParseNumber(second, kMaxRows, r2)) {
        c1 = 1;
        c2 = kMaxCols;
    } else if (ParseColumnLetters(first, c1) && ParseColumnLetters(second, c2)) {
        r1 = 1;
        r2 = kMaxRows;
    } else {
        return false;
    }
    area = Area{std::min(r1, r2), std::min(c1, c2), std::max(r1, r2), std::max(c1, c2)};
    return true;
}

std::vector<Area> ParseAreaList(std::string_view refs) {
    std::vector<Area> areas;
    std::size_t start = 0;
    while (start < refs.size()) {
        auto end = refs.find(' ', start);
        if (end == std::string_view::npos) end = refs.size();
        Area a;
        if (ParseArea(refs.substr(start, end - start), a)) areas.push_back(a);
        start = end + 1;
    }
    return areas;
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
    return a1::ColumnLetters(col) + std::to_string(row);
}

std::string AreaReference(Long top, Long left, Long bottom, Long right) {
    const std::string first = CellReference(top, left);
    return top == bottom && left == right ? first : first + ":" + CellReference(bottom, right);
}

}  // namespace tbln::workbook

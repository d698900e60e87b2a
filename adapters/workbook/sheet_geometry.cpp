#include "adapters/workbook/sheet_geometry.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "adapters/fonts/font_metrics.hpp"

namespace tbln::workbook {

namespace {

constexpr double kPointsPerPixel = 0.75;
constexpr int kCellPadding = 5;  // pixels: two of margin on each side and one of grid line

std::string Lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The digit width of the font measured on the installed font (or the metric-compatible
// one standing in for it), measured once per font and size.
int MeasuredDigitWidth(const std::string& family, double size) {
    static std::mutex lock;
    static fonts::FontMetrics metrics;
    static std::map<std::pair<std::string, double>, int> measured;
    const std::lock_guard<std::mutex> guard(lock);
    const auto key = std::make_pair(Lower(family), size);
    const auto it = measured.find(key);
    if (it != measured.end()) return it->second;
    return measured[key] = metrics.MaxDigitPixels(family, size);
}

// Whether the spreadsheet writes `width` for some whole number of pixels when a digit
// is `mdw` pixels wide: it stores Truncate(pixels / mdw * 256) / 256.
bool LandsOnPixels(double width, int mdw) {
    if (!(width >= 0 && width <= 1e6)) return false;  // columns are at most 255 wide
    const double units = width * 256;
    const double whole = std::round(units);
    if (std::fabs(units - whole) > 1e-6) return false;
    const auto target = static_cast<long long>(whole);
    const auto near = static_cast<long long>(std::floor(width * mdw));
    for (long long pixels = std::max(0LL, near - 1); pixels <= near + 2; ++pixels) {
        if (pixels * 256 / mdw == target) return true;
    }
    return false;
}

// Pixels of a stored column width (characters with padding).
int WidthPixels(double characters, int mdw) {
    // Excel rounds the stored width to 1/256 of a character, then to whole pixels.
    const double w = std::trunc((256 * characters + std::trunc(128.0 / mdw)) / 256 * mdw);
    return static_cast<int>(std::max(0.0, w));
}

int DefaultWidthPixels(const WorkbookModel& book, const SheetModel& sheet) {
    const int mdw = MaxDigitWidth(book);
    if (sheet.defaultColumnWidth >= 0) return WidthPixels(sheet.defaultColumnWidth, mdw);
    // The base width in characters plus padding, rounded up to a multiple of 8 pixels.
    const int pixels = static_cast<int>(sheet.baseColumnWidth) * mdw + kCellPadding;
    return (pixels + 7) / 8 * 8;
}

// Points of a width in pixels: pixels at the density the widths were written at.
double WidthPixelsToPoints(const WorkbookModel& book, double pixels) {
    MaxDigitWidth(book);
    return book.widthDpi > 0 ? pixels * 72 / book.widthDpi : pixels * kPointsPerPixel;
}

int ColumnPixels(const WorkbookModel& book, const SheetModel& sheet, Long col) {
    const ColumnInfo* info = sheet.FindColumn(col);
    if (info && info->hidden) return 0;
    if (info && info->width >= 0) return WidthPixels(info->width, MaxDigitWidth(book));
    return DefaultWidthPixels(book, sheet);
}

// The default row height of the workbook's default font, when the sheet does not say.
double FontRowHeight(const Font& font) {
    const std::string name = Lower(font.name);
    if ((name == "calibri" || name == "carlito" || name == "aptos narrow" || name == "aptos") &&
        font.size == 11)
        return 15;
    if ((name == "arial" || name == "liberation sans") && font.size == 10) return 12.75;
    // About 1.3 times the font size, in whole pixels.
    return std::ceil(font.size * 1.3 / kPointsPerPixel) * kPointsPerPixel;
}

double DefaultRowHeight(const WorkbookModel& book, const SheetModel& sheet) {
    return sheet.defaultRowHeight >= 0 ? sheet.defaultRowHeight : FontRowHeight(book.DefaultFont());
}

}  // namespace

int MaxDigitWidth(const WorkbookModel& book) {
    if (book.digitWidth > 0) return book.digitWidth;
    const Font& font = book.DefaultFont();
    const double size = font.size >= 1 && font.size <= 409 ? font.size : 11;
    const int measured = MeasuredDigitWidth(font.name, size);
    // A stored width that lands on whole pixels for one candidate only is a vote for
    // it. Real digits are 0.4 to 0.78 of the em wide; within that range no candidate
    // is twice another, so the multiples of the true width (on which its widths land
    // as well) are not candidates.
    const double em = size / kPointsPerPixel;
    const int low = std::max(1, static_cast<int>(std::ceil(0.4 * em)));
    const int high = std::max(low, static_cast<int>(std::floor(0.78 * em)));
    std::map<int, int> votes;
    const auto weigh = [&](double width) {
        int fitting = 0, only = 0;
        for (int mdw = low; mdw <= high; ++mdw) {
            if (LandsOnPixels(width, mdw)) {
                ++fitting;
                only = mdw;
            }
        }
        if (fitting == 1) ++votes[only];
    };
    for (const auto& sheet : book.sheets) {
        if (sheet.defaultColumnWidth >= 0) weigh(sheet.defaultColumnWidth);
        for (const auto& column : sheet.columns)
            if (column.width >= 0) weigh(column.width);
    }
    int best = measured, bestVotes = 0;
    for (const auto& [mdw, count] : votes) {
        if (count > bestVotes ||
            (count == bestVotes && std::abs(mdw - measured) < std::abs(best - measured))) {
            best = mdw;
            bestVotes = count;
        }
    }
    // The spreadsheet writes a column's width from its pixels on the screen it runs on,
    // with that screen's digit width: a workbook saved at 120 dpi (125 % scaling) has
    // widths that land on the pixels of the font's digit at 120 dpi (Arial 10 and
    // Calibri 11: 9 pixels, where 96 dpi gives 7). Such widths are pixels of 1/120 inch,
    // 0.6 of a point; every other workbook's are pixels of 1/96 inch, 0.75 of a point.
    // The default width (a whole number of digits plus padding) follows the same digit,
    // so it converts at the same density.
    constexpr double kLargeDpi = 120, kStandardDpi = 96;
    const bool large =
        best != measured && best == MeasuredDigitWidth(font.name, size * kLargeDpi / kStandardDpi);
    book.widthDpi = static_cast<int>(large ? kLargeDpi : kStandardDpi);
    book.digitWidth = best;
    return best;
}

bool RowHidden(const SheetModel& sheet, Long row) {
    const RowInfo* info = sheet.FindRow(row);
    return info ? info->hidden : sheet.rowsHiddenByDefault;
}

bool ColumnHidden(const SheetModel& sheet, Long col) {
    const ColumnInfo* info = sheet.FindColumn(col);
    return info && info->hidden;
}

namespace {

double ListedRowHeight(const WorkbookModel& book, const SheetModel& sheet, const RowInfo& info) {
    if (info.hidden) return 0;
    return info.height >= 0 ? info.height : DefaultRowHeight(book, sheet);
}

}  // namespace

double RowHeightPoints(const WorkbookModel& book, const SheetModel& sheet, Long row) {
    const RowInfo* info = sheet.FindRow(row);
    if (!info) return sheet.rowsHiddenByDefault ? 0 : DefaultRowHeight(book, sheet);
    return ListedRowHeight(book, sheet, *info);
}

double ColumnWidthPoints(const WorkbookModel& book, const SheetModel& sheet, Long col) {
    return WidthPixelsToPoints(book, ColumnPixels(book, sheet, col));
}

namespace {

// Characters of the default font's digits in a width of whole pixels, as ColumnWidth
// reports them.
double PixelsToCharacters(int pixels, int mdw) {
    if (pixels <= 0) return 0;
    // Narrower than one character plus padding: the padding shrinks with the width.
    const double characters = pixels <= mdw + kCellPadding
                                  ? static_cast<double>(pixels) / (mdw + kCellPadding)
                                  : static_cast<double>(pixels - kCellPadding) / mdw;
    return std::round(characters * 100) / 100;
}

}  // namespace

double ColumnWidthCharacters(const WorkbookModel& book, const SheetModel& sheet, Long col) {
    return PixelsToCharacters(ColumnPixels(book, sheet, col), MaxDigitWidth(book));
}

double ColumnSpanCharacters(const WorkbookModel& book, const SheetModel& sheet, Long first,
                            Long last) {
    if (first == last) return ColumnWidthCharacters(book, sheet, first);
    const auto pixels =
        static_cast<int>(std::lround(ColumnSpanPoints(book, sheet, first, last) / kPointsPerPixel));
    return PixelsToCharacters(pixels, MaxDigitWidth(book));
}

double RowSpanPoints(const WorkbookModel& book, const SheetModel& sheet, Long first, Long last) {
    if (last < first) return 0;
    // The default height for every row of the span, corrected by the listed rows in it;
    // only those are visited, so a one-row span costs a search, not a walk.
    const double standard = sheet.rowsHiddenByDefault ? 0 : DefaultRowHeight(book, sheet);
    double height = standard * static_cast<double>(last - first + 1);
    auto it = std::lower_bound(sheet.rows.begin(), sheet.rows.end(), first,
                               [](const RowInfo& r, Long k) { return r.row < k; });
    for (; it != sheet.rows.end() && it->row <= last; ++it) {
        height += ListedRowHeight(book, sheet, *it) - standard;
    }
    return height;
}

double ColumnSpanPoints(const WorkbookModel& book, const SheetModel& sheet, Long first, Long last) {
    if (last < first) return 0;
    const double standard = WidthPixelsToPoints(book, DefaultWidthPixels(book, sheet));
    double width = standard * static_cast<double>(last - first + 1);
    auto it = std::lower_bound(sheet.columns.begin(), sheet.columns.end(), first,
                               [](const ColumnInfo& c, Long k) { return c.last < k; });
    for (; it != sheet.columns.end() && it->first <= last; ++it) {
        const Long from = std::max(it->first, first);
        const Long to = std::min(it->last, last);
        width +=
            (ColumnWidthPoints(book, sheet, from) - standard) * static_cast<double>(to - from + 1);
    }
    return width;
}

double RowTopPoints(const WorkbookModel& book, const SheetModel& sheet, Long row) {
    return RowSpanPoints(book, sheet, 1, row - 1);
}

double ColumnLeftPoints(const WorkbookModel& book, const SheetModel& sheet, Long col) {
    return ColumnSpanPoints(book, sheet, 1, col - 1);
}

}  // namespace tbln::workbook

#include "adapters/workbook/workbook_model.hpp"

namespace tbln::workbook {

namespace {
// Merged areas taller than this are searched one by one instead of being indexed
// under every row they cover.
constexpr Long kIndexedMergeRows = 1024;
// At most this many row entries in the index; the areas beyond it are searched one by one.
constexpr std::size_t kMergeIndexBudget = 8'000'000;
}  // namespace

const Area* SheetModel::FindMerge(Long row, Long col) const {
    if (merges.empty()) return nullptr;
    if (!mergeIndexBuilt_) {
        std::size_t budget = kMergeIndexBudget;
        for (std::uint32_t i = 0; i < merges.size(); ++i) {
            const Area& a = merges[i];
            if (a.Rows() > kIndexedMergeRows || static_cast<std::size_t>(a.Rows()) > budget) {
                tallMerges_.push_back(i);
            } else {
                for (Long r = a.top; r <= a.bottom; ++r) mergesByRow_[r].push_back(i);
                budget -= static_cast<std::size_t>(a.Rows());
            }
        }
        mergeIndexBuilt_ = true;
    }
    for (auto i : tallMerges_) {
        if (merges[i].Contains(row, col)) return &merges[i];
    }
    const auto it = mergesByRow_.find(row);
    if (it == mergesByRow_.end()) return nullptr;
    for (auto i : it->second) {
        if (merges[i].Contains(row, col)) return &merges[i];
    }
    return nullptr;
}

void SortSheet(SheetModel& sheet, bool cellsSorted, bool rowsSorted) {
    if (!cellsSorted) {
        // Writers that list cells out of order, or a cell twice: the last one wins.
        std::stable_sort(sheet.cells.begin(), sheet.cells.end(),
                         [](const auto& a, const auto& b) { return a.key < b.key; });
        std::vector<SheetModel::Entry> unique;
        unique.reserve(sheet.cells.size());
        for (const auto& e : sheet.cells) {
            if (!unique.empty() && unique.back().key == e.key)
                unique.back() = e;
            else
                unique.push_back(e);
        }
        sheet.cells = std::move(unique);
    }
    if (!rowsSorted) {
        // A row listed twice: the first one counts.
        std::stable_sort(sheet.rows.begin(), sheet.rows.end(),
                         [](const RowInfo& a, const RowInfo& b) { return a.row < b.row; });
        sheet.rows.erase(
            std::unique(sheet.rows.begin(), sheet.rows.end(),
                        [](const RowInfo& a, const RowInfo& b) { return a.row == b.row; }),
            sheet.rows.end());
    }
    // Column runs sorted; a run overlapping an earlier one is cut to what is left.
    std::stable_sort(sheet.columns.begin(), sheet.columns.end(),
                     [](const ColumnInfo& a, const ColumnInfo& b) { return a.first < b.first; });
    std::vector<ColumnInfo> columns;
    for (auto c : sheet.columns) {
        if (!columns.empty() && c.first <= columns.back().last) c.first = columns.back().last + 1;
        if (c.first <= c.last) columns.push_back(c);
    }
    sheet.columns = std::move(columns);
    sheet.cells.shrink_to_fit();
}

}  // namespace tbln::workbook

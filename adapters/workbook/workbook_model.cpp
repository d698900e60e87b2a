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

}  // namespace tbln::workbook

// The change report of deep-update --since OLD.json: what changed between the capture an
// earlier build-cell or deep-update printed and the one just made.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "apps/host/host.hpp"

namespace tbln::host {

struct ChangeReport {
    json changes = json::array();  // one entry per changed cell, row, column, shape, picture
    std::vector<std::pair<Integer, Integer>> cells;  // the changed cells, for revision marks
    std::string summary;                             // a few lines for people
};

// Raises UsageError naming the file and the field when the earlier JSON is not a
// capture as build-cell and deep-update print it: the cell array with its bounds and
// rows of records, whole-number range bounds, shape and picture arrays of records.
void CheckEarlierCapture(const json& earlier, const std::string& path);

// Compares after CheckEarlierCapture, which it runs first.
ChangeReport CompareCaptures(const json& earlier, const std::string& earlierPath,
                             const MyCellArray& cells, const MyShapeArray& shapes,
                             const MyImageArray& images, Integer startRow, Integer endRow,
                             Integer startCol, Integer endCol);

}  // namespace tbln::host

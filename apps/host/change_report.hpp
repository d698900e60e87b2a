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

// Raises UsageError naming `earlierPath` when the earlier JSON holds no capture.
ChangeReport CompareCaptures(const json& earlier, const std::string& earlierPath,
                             const MyCellArray& cells, const MyShapeArray& shapes,
                             const MyImageArray& images, Integer startRow, Integer endRow,
                             Integer startCol, Integer endCol);

}  // namespace tbln::host

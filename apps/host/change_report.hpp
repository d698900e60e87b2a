// The change report of deep-update --since OLD.json: what changed between the capture an
// earlier build-cell or deep-update printed and the one just made.
#pragma once

#include <functional>
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

// The capture an update is compared with, its cells read one at a time: `values` is the
// capture as printed (its range bounds, shapes and pictures; its cells are not read from
// it), `cell` gives the record of a sheet row and column as printed, null where it holds
// none. Both refer to what the maker's arguments refer to, which outlives the view.
struct EarlierCapture {
    const json& values;
    std::function<json(Long row, Long col)> cell;
};

// A capture read from a file, after CheckEarlierCapture, which it runs first.
EarlierCapture EarlierFromJson(const json& earlier, const std::string& path);
// A capture held as records: `result` as printed without its cells, and the cell records;
// UsageError as for a file without cells when `cells` holds none.
EarlierCapture EarlierFromRecords(const json& result, const MyCellArray& cells,
                                  const std::string& name);

ChangeReport CompareCaptures(const EarlierCapture& earlier, const MyCellArray& cells,
                             const MyShapeArray& shapes, const MyImageArray& images,
                             Integer startRow, Integer endRow, Integer startCol, Integer endCol);

}  // namespace tbln::host

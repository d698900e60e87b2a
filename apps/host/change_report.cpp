#include "apps/host/change_report.hpp"

#include <map>
#include <sstream>

#include "apps/host/json_records.hpp"
#include "common/utilities.hpp"

namespace tbln::host {

namespace {

// The fields of a cell record that a drafter sees change, by what they are about.
const std::vector<std::pair<const char*, std::vector<const char*>>> kCellAspects = {
    {"text", {"Value"}},
    {"font", {"FontName", "fontsize", "fontBold", "fontItalic", "fontUnderline"}},
    {"alignment", {"horAlign", "verAlign", "fontOrient", "isWrapCell"}},
    {"fill", {"bgColor", "pattern"}},
    {"border",
     {"bdUp", "bdUpLT", "bdBottom", "bdBottomLT", "bdLeft", "bdLeftLT", "bdRight", "bdRightLT"}},
    {"merge", {"isMerged", "rowTo", "colTo", "rowFrom", "colFrom"}},
};

// A field of a record, null when the record lacks it.
const json& Field(const json& record, const std::string& name) {
    static const json kNone;
    const auto it = record.find(name);
    return it == record.end() ? kNone : *it;
}

bool Real(const json& x) {
    return x.is_object() && !x.value("hidden", false) && x.value("row", 0) != 0;
}

// Records of an array that are real (not the "nothing found" placeholder).
json Items(const json& array) {
    if (!array.is_object() || !array.contains("items")) return json::array();
    const json& items = array["items"];
    if (items.size() == 1 && items[0].is_object() && items[0].value("top", 0.0) == -1000) {
        return json::array();
    }
    return items;
}

template <class R>
json NewItems(const Array<std::shared_ptr<R>>& a) {
    return Items(ArrayJson(a));
}

// The file's "no cells" error, for a capture without them.
UsageError NoCells(const std::string& path) {
    return UsageError(path + ": not the output of build-cell or deep-update (no \"dgnCell0\")");
}

std::string Address(Long r, Long c) {
    return ColumnLetters(static_cast<Integer>(c)) + std::to_string(r);
}

// Whole numbers of the capture: Integers, rows and columns of the sheet's grid.
constexpr long long kLowest = -32768, kHighest = 32767;

bool WholeNumber(const json& v, long long lowest, long long highest) {
    return v.is_number_integer() && v >= lowest && v <= highest;
}

}  // namespace

void CheckEarlierCapture(const json& earlier, const std::string& path) {
    const auto bad = [&](const std::string& field, const std::string& what) {
        return UsageError(path + ": " + field + ": " + what);
    };
    const auto whole = [&](const json& record, const std::string& name, const std::string& field,
                           long long lowest) {
        if (record.contains(name) && !WholeNumber(record[name], lowest, kHighest)) {
            throw bad(field, "must be a whole number from " + std::to_string(lowest) + " to " +
                                 std::to_string(kHighest));
        }
    };
    if (!earlier.is_object() || !earlier.contains("dgnCell0") || !earlier["dgnCell0"].is_object()) {
        throw NoCells(path);
    }
    for (const char* name : {"startRow0", "endRow0", "startCol0", "endCol0"}) {
        whole(earlier, name, name, 0);
    }
    const json& cells = earlier["dgnCell0"];
    for (const char* bounds : {"rows", "cols"}) {
        const json& b = Field(cells, bounds);
        if (!b.is_array() || b.size() != 2 || !WholeNumber(b[0], kLowest, kHighest) ||
            !WholeNumber(b[1], kLowest, kHighest)) {
            throw bad(std::string("dgnCell0.") + bounds,
                      "must be [first, last], two whole numbers from -32768 to 32767");
        }
    }
    const json& items = Field(cells, "items");
    if (!items.is_array()) throw bad("dgnCell0.items", "must be an array of rows");
    for (std::size_t r = 0; r < items.size(); ++r) {
        const std::string row = "dgnCell0.items[" + std::to_string(r) + "]";
        if (!items[r].is_array()) throw bad(row, "must be an array of cells");
        for (std::size_t c = 0; c < items[r].size(); ++c) {
            const json& cell = items[r][c];
            const std::string at = row + "[" + std::to_string(c) + "]";
            if (cell.is_null()) continue;
            if (!cell.is_object()) throw bad(at, "must be a cell record (an object) or null");
            if (cell.contains("hidden") && !cell["hidden"].is_boolean()) {
                throw bad(at + ".hidden", "must be true or false");
            }
            whole(cell, "row", at + ".row", kLowest);
        }
    }
    for (const char* array : {"xlsShape0", "xlsImage0"}) {
        const json& a = Field(earlier, array);
        if (a.is_null()) continue;
        if (!a.is_object()) throw bad(array, "must be an object with \"items\" or null");
        const json& records = Field(a, "items");
        if (records.is_null()) continue;
        if (!records.is_array()) throw bad(std::string(array) + ".items", "must be an array");
        for (std::size_t i = 0; i < records.size(); ++i) {
            const std::string at = std::string(array) + ".items[" + std::to_string(i) + "]";
            const json& record = records[i];
            if (!record.is_object()) throw bad(at, "must be a record (an object)");
            if (record.contains("top") && !record["top"].is_number()) {
                throw bad(at + ".top", "must be a number");
            }
            if (record.contains("name") && !record["name"].is_string()) {
                throw bad(at + ".name", "must be a text");
            }
        }
    }
}

EarlierCapture EarlierFromJson(const json& earlier, const std::string& path) {
    CheckEarlierCapture(earlier, path);
    const json& cells = earlier["dgnCell0"];
    const json& items = cells["items"];
    const Long r0 = cells["rows"][0].get<Long>(), c0 = cells["cols"][0].get<Long>();
    return {earlier, [&items, r0, c0](Long r, Long c) -> json {
                if (r < r0 || c < c0) return nullptr;
                const auto ri = static_cast<std::size_t>(r - r0),
                           ci = static_cast<std::size_t>(c - c0);
                if (ri >= items.size() || ci >= items[ri].size()) return nullptr;
                const json& x = items[ri][ci];
                return x.is_object() ? x : json();
            }};
}

EarlierCapture EarlierFromRecords(const json& result, const MyCellArray& cells,
                                  const std::string& name) {
    if (!cells.IsAllocated()) throw NoCells(name);
    return {result, [&cells](Long r, Long c) -> json {
                if (r < cells.RowLower() || r > cells.RowUpper() || c < cells.ColLower() ||
                    c > cells.ColUpper())
                    return nullptr;
                return RecordJson(cells(r, c));
            }};
}

ChangeReport CompareCaptures(const EarlierCapture& earlier, const MyCellArray& cells,
                             const MyShapeArray& shapes, const MyImageArray& images,
                             Integer startRow, Integer endRow, Integer startCol, Integer endCol) {
    ChangeReport report;
    const json& values = earlier.values;
    const Long oldEndRow = values.value("endRow0", Long{0}),
               oldEndCol = values.value("endCol0", Long{0});
    const Long oldStartRow = values.value("startRow0", Long{1});
    const Long oldStartCol = values.value("startCol0", Long{1});
    std::map<std::string, int> counts;

    // Rows and columns added or removed at the end of the range.
    const auto spans = [&](const char* what, Long oldEnd, Long newEnd, bool rows) {
        if (oldEnd == newEnd) return;
        const bool added = newEnd > oldEnd;
        const Long from = std::min(oldEnd, newEnd) + 1, to = std::max(oldEnd, newEnd);
        json entry = {{what, added ? "added" : "removed"}};
        if (rows) {
            entry["from"] = from;
            entry["to"] = to;
        } else {
            entry["from"] = ColumnLetters(static_cast<Integer>(from));
            entry["to"] = ColumnLetters(static_cast<Integer>(to));
        }
        report.changes.push_back(entry);
        counts[std::string(rows ? "row" : "column") + (added ? "s added" : "s removed")] +=
            static_cast<int>(to - from + 1);
    };
    spans("rows", oldEndRow, endRow, true);
    spans("columns", oldEndCol, endCol, false);

    Long lastRow = std::min<Long>(endRow, oldEndRow), lastCol = std::min<Long>(endCol, oldEndCol);
    if (!cells.IsAllocated()) lastRow = std::min<Long>(lastRow, 0);
    const Long firstRow = std::max<Long>(startRow, oldStartRow);
    const Long firstCol = std::max<Long>(startCol, oldStartCol);
    // Row heights and column widths, from each row's first and each column's top record.
    for (Long r = firstRow; r <= lastRow; ++r) {
        const json before = earlier.cell(r, firstCol);
        const auto& now = cells(r, firstCol);
        if (before.is_null() || !now) continue;
        const json after = SingleJson(now->rowHeight);
        if (Field(before, "rowHeight") != after) {
            report.changes.push_back(
                {{"row", r},
                 {"height", {{"before", Field(before, "rowHeight")}, {"after", after}}}});
            ++counts["row heights changed"];
        }
    }
    for (Long c = firstCol; c <= lastCol; ++c) {
        const json before = earlier.cell(firstRow, c);
        const auto& now = cells(firstRow, c);
        if (before.is_null() || !now) continue;
        const json after = SingleJson(now->colWidth);
        if (Field(before, "colWidth") != after) {
            report.changes.push_back(
                {{"column", ColumnLetters(static_cast<Integer>(c))},
                 {"width", {{"before", Field(before, "colWidth")}, {"after", after}}}});
            ++counts["column widths changed"];
        }
    }
    std::vector<std::string> named;
    for (Long r = firstRow; r <= lastRow; ++r) {
        for (Long c = firstCol; c <= lastCol; ++c) {
            const json before = earlier.cell(r, c);
            const auto& now = cells(r, c);
            const bool wasReal = Real(before), isReal = now && !now->hidden && now->row != 0;
            if (!wasReal && !isReal) continue;
            const json after = isReal ? RecordJson(now) : json::object();
            const json empty = json::object();
            const json& b = wasReal ? before : empty;
            json what = json::array(), valuesBefore = json::object(), valuesAfter = json::object();
            for (const auto& [aspect, fields] : kCellAspects) {
                bool differs = false;
                for (const char* f : fields) {
                    const json &x = Field(b, f), &y = Field(after, f);
                    if (x != y) {
                        differs = true;
                        valuesBefore[f] = x;
                        valuesAfter[f] = y;
                    }
                }
                if (differs) what.push_back(aspect);
            }
            if (what.empty()) continue;
            report.changes.push_back({{"address", Address(r, c)},
                                      {"changed", what},
                                      {"before", valuesBefore},
                                      {"after", valuesAfter}});
            report.cells.emplace_back(static_cast<Integer>(r), static_cast<Integer>(c));
            ++counts["cells changed"];
            if (named.size() < 12) {
                std::string line = Address(r, c) + ":";
                for (const auto& w : what) line += " " + w.get<std::string>();
                named.push_back(line);
            }
        }
    }

    // Shapes by their order on the sheet, pictures by their name.
    const auto compareDrawn = [&](const char* kind, const json& before, const json& after,
                                  const char* keyField) {
        std::map<std::string, json> oldByKey;
        for (std::size_t i = 0; i < before.size(); ++i) {
            oldByKey[keyField ? before[i].value(keyField, "") : std::to_string(i + 1)] = before[i];
        }
        for (std::size_t i = 0; i < after.size(); ++i) {
            const std::string key = keyField ? after[i].value(keyField, "") : std::to_string(i + 1);
            const auto found = oldByKey.find(key);
            json entry = {{kind, key}};
            if (found == oldByKey.end()) {
                entry["change"] = "added";
                entry["after"] = after[i];
            } else {
                json moved = json::array();
                for (const char* f : {"top", "left", "width", "height", "rotation", "text"}) {
                    if (found->second.contains(f) && found->second[f] != Field(after[i], f)) {
                        moved.push_back(f);
                    }
                }
                const json b = found->second;
                oldByKey.erase(found);
                if (moved.empty()) continue;
                entry["change"] = "moved";
                entry["fields"] = moved;
                for (const auto& f : moved) {
                    const auto& name = f.get_ref<const std::string&>();
                    entry["before"][name] = Field(b, name);
                    entry["after"][name] = Field(after[i], name);
                }
            }
            ++counts[std::string(kind) + "s " + entry["change"].get<std::string>()];
            report.changes.push_back(entry);
        }
        for (const auto& [key, b] : oldByKey) {
            report.changes.push_back({{kind, key}, {"change", "removed"}, {"before", b}});
            ++counts[std::string(kind) + "s removed"];
        }
    };
    compareDrawn("shape", Items(values.value("xlsShape0", json())), NewItems(shapes), nullptr);
    compareDrawn("picture", Items(values.value("xlsImage0", json())), NewItems(images), "name");

    std::ostringstream summary;
    if (counts.empty()) {
        summary << "no changes since the earlier capture\n";
    } else {
        summary << "changes since the earlier capture:";
        bool first = true;
        for (const auto& [what, n] : counts) {
            summary << (first ? " " : ", ") << what << ": " << n;
            first = false;
        }
        summary << "\n";
        for (const auto& line : named) summary << "  " << line << "\n";
        if (named.size() < static_cast<std::size_t>(counts["cells changed"])) summary << "  ...\n";
    }
    report.summary = summary.str();
    return report;
}

}  // namespace tbln::host

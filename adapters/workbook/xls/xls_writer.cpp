#include "adapters/workbook/xls/xls_writer.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <string_view>
#include <utility>
#include <vector>

#include "adapters/workbook/a1.hpp"
#include "adapters/workbook/package.hpp"
#include "adapters/workbook/sheet_edits.hpp"
#include "adapters/workbook/xls/biff_records.hpp"
#include "adapters/workbook/xls/compound_file.hpp"
#include "core/unicode.hpp"

namespace tbln::workbook {

namespace {

using namespace biff;

// Records the reader has no use for.
constexpr std::uint16_t kIndex = 0x020B, kDbCell = 0x00D7, kShrFmla = 0x04BC, kArray = 0x0221,
                        kTable = 0x0236, kHLink = 0x01B8, kHLinkTooltip = 0x0800;
// Where the rebuilt table of cells goes among the sheet's other records.
constexpr std::uint16_t kCellTablePlace = 0xFFFF;

constexpr std::uint16_t kBiff8 = 0x0600, kGlobalsType = 0x0005, kWorksheetType = 0x0010;
constexpr Long kSheetRows = 65536, kSheetCols = 256;
constexpr std::uint16_t kDefaultXf = 15;  // the format of a cell that has none of its own
constexpr std::size_t kRowRecordBytes = 4 + 16;
constexpr Long kRowsPerBlock = 32;
constexpr std::size_t kMergesPerRecord = 1026;  // 8,210 bytes, inside a record's 8,224

// Values at a place in a record's bytes, read through the reader's checked view: bytes
// the record does not have raise CutShort, which refuses the save.
std::uint16_t Get16(std::string_view s, std::size_t at, std::uint16_t record) {
    Bytes bytes(s, record);
    bytes.Seek(at);
    return bytes.U16();
}
std::uint32_t Get32(std::string_view s, std::size_t at, std::uint16_t record) {
    Bytes bytes(s, record);
    bytes.Seek(at);
    return bytes.U32();
}
void Set16(std::string& s, std::size_t at, std::uint32_t v) {
    s.at(at + 1) = static_cast<char>((v >> 8) & 0xFF);
    s[at] = static_cast<char>(v & 0xFF);
}
void Set32(std::string& s, std::size_t at, std::uint32_t v) {
    Set16(s, at, v & 0xFFFF);
    Set16(s, at + 2, v >> 16);
}
void Add16(std::string& s, std::uint32_t v) {
    s.append(2, '\0');
    Set16(s, s.size() - 2, v);
}
void Add32(std::string& s, std::uint32_t v) {
    s.append(4, '\0');
    Set32(s, s.size() - 4, v);
}
std::string Record(std::uint16_t id, std::string_view data) {
    std::string r;
    Add16(r, id);
    Add16(r, static_cast<std::uint32_t>(data.size()));
    r.append(data);
    return r;
}

[[noreturn]] void Refuse(const std::string& path, const std::string& why) {
    RaiseSaveError(path, why + "; the workbook file was left as it was");
}

bool IsCellRecord(std::uint16_t id) {
    switch (id) {
        case kLabelSst:
        case kLabel:
        case kRString:
        case kNumber:
        case kRk:
        case kMulRk:
        case kBlank:
        case kMulBlank:
        case kBoolErr:
        case kFormula:
            return true;
        default:
            return false;
    }
}

// The records that follow a formula and belong to it.
bool IsFormulaFollower(std::uint16_t id) {
    return id == kShrFmla || id == kArray || id == kTable || id == kString || id == kContinue;
}

// One cell's record (or a run of cells' MULRK or MULBLANK), header included; a
// formula's own records (shared formula, array, data table, text result) follow it.
struct CellRecords {
    Long row = 0, col = 0, lastCol = 0;  // lastCol > col for a run
    std::string bytes;
    bool grouped = false;       // a cell of a shared formula, an array formula or a data table
    std::uint32_t host = 0;     // the group's key: the cell holding the group's formula
    std::uint16_t carries = 0;  // the group's SHRFMLA, ARRAY or TABLE record, on its host

    std::uint16_t Id() const { return Get16(bytes, 0, 0); }
    std::uint16_t Xf() const { return Get16(bytes, 8, Id()); }
    bool Run() const { return lastCol > col; }
};

std::uint32_t HostKey(Long row, Long col) {
    return static_cast<std::uint32_t>(row - 1) << 8 | static_cast<std::uint32_t>(col - 1);
}

// The cells of a shared formula, an array formula or a data table, and how many of
// them the edits removed.
struct FormulaGroup {
    Long cells = 0, removed = 0;
    bool shared = false;  // a shared formula (not an array or table)
    bool hostRemoved = false;
};

struct RowRecords {
    std::string row;                 // the ROW record's data, or empty when the row has none
    std::vector<CellRecords> cells;  // by column
};

// A run of columns: one COLINFO record's data.
struct ColumnRun {
    Long first = 0, last = 0;
    std::string data;
};

// A record kept in its place among the sheet's records (an embedded chart's whole
// substream counts as one); the hyperlinks keep their area, to move with a deletion.
struct Item {
    Item(std::uint16_t record, std::string_view whole = {}) : id(record), bytes(whole) {}
    std::uint16_t id = 0;
    std::string bytes;
    Area area;
    bool removed = false;
};

// One worksheet's substream, rebuilt: its table of cells, column runs, merged areas
// and hyperlinks follow the edits; the rest is copied in its order.
class SheetRebuild {
  public:
    SheetRebuild(const std::string& path, const std::string& name, std::string_view substream)
        : path_(path), name_(name) {
        try {
            Read(substream);
        } catch (const CutShort& cut) {
            Bad("has a record " + RecordId(cut.record) + " that is cut short");
        }
    }

    void Apply(const SheetEdit& e) {
        switch (e.kind) {
            case SheetEdit::Kind::SetText:
                SetText(e.area, e.text);
                break;
            case SheetEdit::Kind::SetColumnWidth:
                SetWidth(e.area.left, e.area.right, e.width);
                break;
            case SheetEdit::Kind::Delete:
                Delete(e);
                break;
        }
    }

    // The substream's new bytes; `base` is where it starts in the workbook stream.
    std::string Write(std::size_t base) {
        // A shared formula may lose cells as long as the cell that holds it stays: the
        // cells left still find it there. An array formula or a table goes whole or stays.
        for (const auto& [host, group] : groups_) {
            const bool whole = group.removed == 0 || group.removed == group.cells;
            if (!whole && !(group.shared && !group.hostRemoved)) {
                Bad("has a shared or array formula at " +
                    CellReference(static_cast<Long>(host >> 8) + 1,
                                  static_cast<Long>(host & 0xFF) + 1) +
                    " that the change would cut");
            }
        }
        for (auto it = rows_.begin(); it != rows_.end();) {
            it = it->second.row.empty() && it->second.cells.empty() ? rows_.erase(it) : ++it;
        }
        if (hasRowRecords_) {
            for (auto& [r, row] : rows_) {
                if (row.row.empty()) row.row = NewRowData();
            }
        }
        out_.clear();
        base_ = base;
        for (const auto& item : items_) {
            switch (item.id) {
                case kIndex:
                    WriteIndexPlaceholder();
                    break;
                case kDimensions:
                    WriteDimensions();
                    break;
                case kColInfo:
                    for (const auto& run : columns_) {
                        std::string data = run.data;
                        Set16(data, 0, static_cast<std::uint32_t>(run.first - 1));
                        Set16(data, 2, static_cast<std::uint32_t>(run.last - 1));
                        out_ += Record(kColInfo, data);
                    }
                    break;
                case kMergedCells:
                    WriteMerges();
                    break;
                case kCellTablePlace:
                    WriteCellTable();
                    break;
                case kHLink:
                    if (!item.removed) out_ += HyperlinkBytes(item);
                    break;
                case kDefColWidth:
                    defColWidthAt_ = out_.size();
                    out_ += item.bytes;
                    break;
                default:
                    out_ += item.bytes;
                    break;
            }
        }
        FillIndex();
        return std::move(out_);
    }

  private:
    [[noreturn]] void Bad(const std::string& what) const {
        Refuse(path_, "the sheet " + name_ + " " + what + ", which is not written");
    }

    // --- Reading --------------------------------------------------------------

    void Read(std::string_view substream) {
        RecordStream records(substream);
        records.Next();  // the BOF, checked by the caller
        if (Get16(records.Data(), 2, kBof) != kWorksheetType)
            Bad("is kept as another kind of sheet (a dialog or chart sheet)");
        items_.push_back(Item(kBof, Whole(substream, records)));
        enum { Before, Inside, After } where = Before;
        std::vector<CellRecords> cells;
        std::size_t dimensionsAt = std::string::npos, columnsAt = std::string::npos;
        while (records.Next()) {
            const std::uint16_t id = records.Id();
            const auto data = records.Data();
            if (id == kBof) {  // an embedded chart: kept whole
                const std::size_t start = records.Offset();
                for (int depth = 1; depth > 0;) {
                    if (!records.Next()) Bad("ends inside an embedded substream");
                    depth += records.Id() == kBof ? 1 : records.Id() == kEof ? -1 : 0;
                }
                const std::size_t end = records.Offset() + 4 + records.Data().size();
                items_.push_back(Item(kBof, substream.substr(start, end - start)));
                continue;
            }
            const bool cellTable = id == kRow || id == kDbCell || IsCellRecord(id) ||
                                   (where == Inside && IsFormulaFollower(id));
            if (cellTable) {
                if (where == After) Bad("keeps cell records apart from its table of cells");
                if (where == Before) {
                    where = Inside;
                    items_.push_back(Item(kCellTablePlace));
                }
                ReadCellTableRecord(id, records, cells, substream);
                continue;
            }
            if (where == Inside) where = After;
            Item item(id, Whole(substream, records));
            switch (id) {
                case kIndex:
                    hasIndex_ = true;
                    item.bytes.clear();
                    break;
                case kDimensions:
                    dimensionsAt = items_.size();
                    item.bytes.clear();
                    break;
                case kDefaultRowHeight:
                    defaultRowTwips_ = Get16(data, 2, id) & 0x7FFFu;
                    break;
                case kColInfo:
                    ReadColumns(data);
                    if (columnsAt != std::string::npos) continue;
                    columnsAt = items_.size();
                    item.bytes.clear();
                    break;
                case kMergedCells:
                    ReadMerges(data);
                    if (mergesSeen_) continue;
                    mergesSeen_ = true;
                    item.bytes.clear();
                    break;
                case kHLink:
                    item.area = Area{Get16(data, 0, id) + 1, Get16(data, 4, id) + 1,
                                     Get16(data, 2, id) + 1, Get16(data, 6, id) + 1};
                    break;
                case kHLinkTooltip:
                    // A hyperlink's tooltip goes with its hyperlink.
                    if (!items_.empty() && items_.back().id == kHLink && data.size() >= 10) {
                        items_.back().bytes += item.bytes;
                        continue;
                    }
                    break;
                default:
                    break;
            }
            items_.push_back(std::move(item));
        }
        if (items_.back().id != kEof) Bad("ends without an EOF record");
        // A sheet without cells gets its table after DIMENSIONS, or before its window
        // settings; the column runs go before DIMENSIONS.
        const auto firstOf = [&](std::uint16_t id) {
            for (std::size_t i = 0; i < items_.size(); ++i) {
                if (items_[i].id == id) return i;
            }
            return std::string::npos;
        };
        if (firstOf(kCellTablePlace) == std::string::npos) {
            std::size_t at =
                dimensionsAt != std::string::npos ? dimensionsAt + 1 : firstOf(kWindow2);
            if (at == std::string::npos) at = items_.size() - 1;
            items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(at), Item(kCellTablePlace));
            if (dimensionsAt != std::string::npos && dimensionsAt >= at) ++dimensionsAt;
        }
        if (columnsAt == std::string::npos) {
            const std::size_t at =
                dimensionsAt != std::string::npos ? dimensionsAt : firstOf(kCellTablePlace);
            items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(at), Item(kColInfo));
        }
        PlaceCells(std::move(cells));
    }

    static std::string_view Whole(std::string_view substream, const RecordStream& records) {
        return substream.substr(records.Offset(), 4 + records.Data().size());
    }

    void ReadCellTableRecord(std::uint16_t id, RecordStream& records,
                             std::vector<CellRecords>& cells, std::string_view substream) {
        const auto data = records.Data();
        const auto bytes = Whole(substream, records);
        if (id == kDbCell) {
            hasDbCells_ = true;
            return;
        }
        if (id == kRow) {
            hasRowRecords_ = true;
            auto fields = records.Reader();
            auto& row = rows_[fields.U16() + 1].row;
            fields.Seek(0);
            const auto kept = fields.Take(16);
            if (row.empty()) row = std::string(kept);  // the first of two wins
            return;
        }
        if (IsFormulaFollower(id)) {
            if (cells.empty() || (id != kContinue && cells.back().Id() != kFormula))
                Bad("has a " + RecordId(id) + " record that belongs to no formula");
            auto& formula = cells.back();
            formula.bytes += bytes;
            if (id == kShrFmla || id == kArray || id == kTable) {
                if (!formula.grouped) formula.host = HostKey(formula.row, formula.col);
                formula.grouped = true;
                formula.carries = id;
            }
            return;
        }
        auto fields = records.Reader();
        CellRecords cell;
        cell.row = fields.U16() + 1;
        cell.col = cell.lastCol = fields.U16() + 1;
        fields.U16();  // the format, read by Xf()
        cell.bytes = std::string(bytes);
        if (id == kMulRk || id == kMulBlank) {
            const std::size_t each = id == kMulRk ? 6 : 2;
            cell.lastCol = Get16(data, data.size() - 2, id) + 1;
            if (cell.lastCol < cell.col ||
                data.size() != 6 + each * static_cast<std::size_t>(cell.lastCol - cell.col + 1))
                Bad("has a damaged " + RecordId(id) + " record");
        }
        if (cell.lastCol > kSheetCols) Bad("has a cell outside the sheet");
        if (id == kFormula) {
            fields.Seek(20);
            // A formula of a shared formula or an array is a reference (PtgExp, PtgTbl) to
            // the group's formula, kept with the cell named here.
            if (fields.U16() >= 5) {
                const std::uint8_t token = fields.U8();
                const Long hostRow = fields.U16() + 1, hostCol = fields.U16() + 1;
                if (token == 0x01 || token == 0x02) {
                    cell.grouped = true;
                    cell.host = HostKey(hostRow, hostCol);
                }
            }
        }
        cells.push_back(std::move(cell));
    }

    // Puts the cells in their rows, ordered by column; of two records for one cell the
    // later wins, as when reading.
    void PlaceCells(std::vector<CellRecords> cells) {
        std::stable_sort(cells.begin(), cells.end(), [](const auto& a, const auto& b) {
            return a.row != b.row ? a.row < b.row : a.col < b.col;
        });
        for (auto& cell : cells) {
            if (cell.grouped) {
                auto& group = groups_[cell.host];
                ++group.cells;
                if (cell.carries) group.shared = cell.carries == kShrFmla;
            }
            auto& row = rows_[cell.row].cells;
            if (!row.empty() && row.back().lastCol >= cell.col) {
                if (row.back().Run() || cell.Run() || row.back().grouped)
                    Bad("has cell records that overlap at " + CellReference(cell.row, cell.col));
                row.pop_back();
            }
            row.push_back(std::move(cell));
        }
    }

    void ReadColumns(std::string_view data) {
        Bytes fields(data, kColInfo);
        ColumnRun run;
        run.first = fields.U16() + 1;
        run.last = std::min<Long>(fields.U16() + 1, kSheetCols);
        fields.Skip(6);  // width, format, options: 10 bytes at least, 12 as written
        run.data = std::string(data.substr(0, std::min<std::size_t>(data.size(), 12)));
        run.data.resize(12, '\0');
        if (run.first > run.last) return;
        if (!columns_.empty() && columns_.back().last >= run.first)
            Bad("has column records that overlap");
        columns_.push_back(std::move(run));
    }

    void ReadMerges(std::string_view data) {
        Bytes bytes(data, kMergedCells);
        for (const Area& a : MergedAreas(bytes)) merges_.push_back(a);
    }

    // --- Edits ----------------------------------------------------------------

    void CheckInside(Long row, Long col) const {
        if (row > kSheetRows || col > kSheetCols) {
            Refuse(path_, "the cell " + CellReference(row, col) + " of the sheet " + name_ +
                              " lies outside the 65,536 rows and 256 columns of a legacy "
                              "workbook (.xls)");
        }
    }

    void CheckNotMoved(const CellRecords& cell, Long row, Long col) const {
        if (cell.grouped) {
            Bad("has a shared or array formula at " + CellReference(row, col) +
                " that the change would move");
        }
    }

    // The format a new cell takes: its row's, when the row has one of its own, else
    // its column's.
    std::uint16_t LineXf(Long row, Long col) const {
        const auto r = rows_.find(row);
        if (r != rows_.end() && !r->second.row.empty()) {
            const std::uint32_t flags = Get32(r->second.row, 12, kRow);
            if (flags & 0x80) return static_cast<std::uint16_t>((flags >> 16) & 0x0FFF);
        }
        for (const auto& run : columns_) {
            if (run.first <= col && col <= run.last) return Get16(run.data, 6, kColInfo);
        }
        return kDefaultXf;
    }

    // Splits the MULRK and MULBLANK runs that reach into first..last into a record per
    // cell.
    static void SplitRuns(RowRecords& row, Long first, Long last) {
        std::vector<CellRecords> cells;
        cells.reserve(row.cells.size());
        for (auto& cell : row.cells) {
            if (!cell.Run() || cell.lastCol < first || cell.col > last) {
                cells.push_back(std::move(cell));
                continue;
            }
            const bool rk = cell.Id() == kMulRk;
            const std::size_t each = rk ? 6 : 2;
            for (Long c = cell.col; c <= cell.lastCol; ++c) {
                const std::size_t at = 4 + 4 + static_cast<std::size_t>(c - cell.col) * each;
                std::string data(4, '\0');
                data.append(cell.bytes, at, each);
                CellRecords one;
                one.row = cell.row;
                one.col = one.lastCol = c;
                one.bytes = Record(rk ? kRk : kBlank, data);
                cells.push_back(std::move(one));
            }
        }
        row.cells = std::move(cells);
    }

    static std::vector<CellRecords>::iterator Find(RowRecords& row, Long col) {
        return std::lower_bound(row.cells.begin(), row.cells.end(), col,
                                [](const CellRecords& c, Long k) { return c.lastCol < k; });
    }

    static CellRecords NewCell(Long row, Long col, std::uint16_t id, std::uint16_t xf,
                               std::string_view value) {
        std::string data(4, '\0');
        Add16(data, xf);
        data.append(value);
        CellRecords cell;
        cell.row = row;
        cell.col = cell.lastCol = col;
        cell.bytes = Record(id, data);
        return cell;
    }

    // The text as a LABEL record's string: a 16-bit character count, then the
    // characters, 8-bit when every one fits.
    static std::string LabelString(const std::string& text) {
        const std::string units = Utf8ToUtf16Le(text);
        bool narrow = true;
        for (std::size_t i = 1; i < units.size() && narrow; i += 2) narrow = units[i] == '\0';
        std::string out;
        Add16(out, static_cast<std::uint32_t>(units.size() / 2));
        out += narrow ? '\0' : '\1';
        if (!narrow) return out + units;
        for (std::size_t i = 0; i < units.size(); i += 2) out += units[i];
        return out;
    }

    void SetText(const Area& area, const std::string& text) {
        CheckInside(area.bottom, area.right);
        if (Utf16Length(text) > kMaxLegacyLabelChars) {
            Refuse(path_, "the text for " + CellReference(area.top, area.left) + " of the sheet " +
                              name_ + " is longer than the " +
                              std::to_string(kMaxLegacyLabelChars) +
                              " characters a legacy workbook (.xls) cell record of its own holds");
        }
        const std::string label = text.empty() ? std::string() : LabelString(text);
        for (Long r = area.top; r <= area.bottom; ++r) {
            if (text.empty() && !rows_.count(r)) continue;
            auto& row = rows_[r];
            SplitRuns(row, area.left, area.right);
            for (Long c = area.left; c <= area.right; ++c) {
                auto it = Find(row, c);
                const bool exists = it != row.cells.end() && it->col == c;
                if (exists) Removed(*it);
                if (text.empty()) {
                    if (!exists) continue;
                    const std::uint16_t xf = it->Xf();
                    // A cell in the default format goes, unless it stands in front of
                    // its row's or column's format.
                    if (xf == kDefaultXf && LineXf(r, c) == kDefaultXf) {
                        row.cells.erase(it);
                    } else {
                        *it = NewCell(r, c, kBlank, xf, {});
                    }
                    continue;
                }
                auto cell = NewCell(r, c, kLabel, exists ? it->Xf() : LineXf(r, c), label);
                if (exists) {
                    *it = std::move(cell);
                } else {
                    row.cells.insert(it, std::move(cell));
                }
            }
        }
    }

    void SetWidth(Long first, Long last, double width) {
        if (first > kSheetCols) CheckInside(1, first);
        last = std::min(last, kSheetCols);
        const auto coldx = static_cast<std::uint32_t>(std::lround(std::min(width * 256, 65535.0)));
        columns_ = ChangeColumnRuns(
            columns_, first, last,
            [](Long lo, Long hi) {
                std::string data(12, '\0');
                Set16(data, 6, kDefaultXf);
                return ColumnRun{lo, hi, data};
            },
            [&](ColumnRun& run) {
                std::uint32_t flags = Get16(run.data, 8, kColInfo);
                if (width > 0) {
                    Set16(run.data, 4, coldx);
                    flags = (flags & ~0x05u) | 0x02u;  // shown, width set by the user
                } else {
                    flags |= 0x01u;  // hidden
                }
                Set16(run.data, 8, flags);
            });
    }

    // A cell that an edit removes or overwrites.
    void Removed(const CellRecords& cell) {
        if (!cell.grouped) return;
        auto& group = groups_[cell.host];
        ++group.removed;
        group.hostRemoved = group.hostRemoved || cell.carries != 0;
    }

    void Delete(const SheetEdit& d) {
        for (const auto& m : merges_) {
            if (CutsThrough(d, m)) Bad("has a merged area the deletion would cut");
        }
        if (d.shiftUp) {
            std::map<Long, RowRecords> moved;
            for (auto& [r, row] : rows_) {
                Long to = r;
                if (!MovePosition(d.area.top, d.area.bottom, to)) {
                    for (const auto& cell : row.cells) Removed(cell);
                    continue;
                }
                if (to != r) {
                    for (const auto& cell : row.cells) CheckNotMoved(cell, r, cell.col);
                    for (auto& cell : row.cells) cell.row = to;
                }
                moved[to] = std::move(row);
            }
            rows_ = std::move(moved);
        } else {
            for (auto it = rows_.lower_bound(d.area.top);
                 it != rows_.end() && it->first <= d.area.bottom; ++it) {
                auto& row = it->second;
                SplitRuns(row, d.area.left, kSheetCols);
                std::vector<CellRecords> kept;
                for (auto& cell : row.cells) {
                    Long r = it->first, c = cell.col;
                    if (!MoveCell(d, r, c)) {
                        Removed(cell);
                        continue;
                    }
                    if (c != cell.col) CheckNotMoved(cell, r, cell.col);
                    cell.col = cell.lastCol = c;
                    kept.push_back(std::move(cell));
                }
                row.cells = std::move(kept);
            }
            if (WholeColumns(d.area)) {
                std::vector<ColumnRun> runs;
                for (auto run : columns_) {
                    if (MoveInterval(d.area.left, d.area.right, run.first, run.last))
                        runs.push_back(std::move(run));
                }
                columns_ = std::move(runs);
            }
        }
        std::vector<Area> merges;
        for (auto m : merges_) {
            if (MoveArea(d, m) && !(m.top == m.bottom && m.left == m.right)) merges.push_back(m);
        }
        merges_ = std::move(merges);
        for (auto& item : items_) {
            if (item.id == kHLink && !item.removed) item.removed = !MoveArea(d, item.area);
        }
    }

    // --- Writing --------------------------------------------------------------

    std::string NewRowData() const {
        std::string data;
        Add16(data, 0);
        Add32(data, 0);
        Add16(data, defaultRowTwips_);
        Add32(data, 0);
        Add32(data, 0x0100u | static_cast<std::uint32_t>(kDefaultXf) << 16);
        return data;
    }

    static Long FirstCol(const RowRecords& row) { return row.cells.front().col; }
    static Long LastCol(const RowRecords& row) { return row.cells.back().lastCol; }

    void WriteDimensions() {
        std::uint32_t top = 0, bottom = 0, left = 0, right = 0;
        bool any = false;
        for (const auto& [r, row] : rows_) {
            if (row.cells.empty()) continue;
            const auto first = static_cast<std::uint32_t>(FirstCol(row) - 1);
            const auto last = static_cast<std::uint32_t>(LastCol(row));
            if (!any) {
                top = static_cast<std::uint32_t>(r - 1);
                left = first;
                right = last;
            }
            any = true;
            bottom = static_cast<std::uint32_t>(r);
            left = std::min(left, first);
            right = std::max(right, last);
        }
        std::string data;
        Add32(data, top);
        Add32(data, bottom);
        Add16(data, left);
        Add16(data, right);
        Add16(data, 0);
        out_ += Record(kDimensions, data);
    }

    void WriteMerges() {
        for (std::size_t i = 0; i < merges_.size(); i += kMergesPerRecord) {
            const std::size_t n = std::min(kMergesPerRecord, merges_.size() - i);
            std::string data;
            Add16(data, static_cast<std::uint32_t>(n));
            for (std::size_t k = i; k < i + n; ++k) {
                const Area& a = merges_[k];
                Add16(data, static_cast<std::uint32_t>(a.top - 1));
                Add16(data, static_cast<std::uint32_t>(a.bottom - 1));
                Add16(data, static_cast<std::uint32_t>(a.left - 1));
                Add16(data, static_cast<std::uint32_t>(a.right - 1));
            }
            out_ += Record(kMergedCells, data);
        }
    }

    static std::string HyperlinkBytes(const Item& item) {
        std::string bytes = item.bytes;
        const auto put = [&](std::size_t at) {
            Set16(bytes, at, static_cast<std::uint32_t>(item.area.top - 1));
            Set16(bytes, at + 2, static_cast<std::uint32_t>(item.area.bottom - 1));
            Set16(bytes, at + 4, static_cast<std::uint32_t>(item.area.left - 1));
            Set16(bytes, at + 6, static_cast<std::uint32_t>(item.area.right - 1));
        };
        put(4);
        const std::size_t tooltip = 4 + Get16(bytes, 2, kHLink);
        if (tooltip < bytes.size()) put(tooltip + 4 + 2);
        return bytes;
    }

    bool WritesRowBlocks() const { return (hasIndex_ || hasDbCells_) && hasRowRecords_; }

    std::size_t BlockCount() const {
        if (!WritesRowBlocks()) return 0;
        std::size_t n = 0;
        Long last = -1;
        for (const auto& [r, row] : rows_) {
            if ((r - 1) / kRowsPerBlock != last) ++n;
            last = (r - 1) / kRowsPerBlock;
        }
        return n;
    }

    void WriteIndexPlaceholder() {
        indexAt_ = out_.size();
        out_ += Record(kIndex, std::string(16 + 4 * BlockCount(), '\0'));
    }

    // The rows in blocks of 32: their ROW records, then their cells, then (when the
    // file had them) a DBCELL record that finds each row's first cell.
    void WriteCellTable() {
        for (auto it = rows_.begin(); it != rows_.end();) {
            const Long block = (it->first - 1) / kRowsPerBlock;
            auto end = it;
            while (end != rows_.end() && (end->first - 1) / kRowsPerBlock == block) ++end;
            const std::size_t firstRow = out_.size();
            for (auto r = it; r != end; ++r) {
                if (r->second.row.empty()) continue;
                std::string data = r->second.row;
                const bool cells = !r->second.cells.empty();
                Set16(data, 0, static_cast<std::uint32_t>(r->first - 1));
                Set16(data, 2, cells ? static_cast<std::uint32_t>(FirstCol(r->second) - 1) : 0);
                Set16(data, 4, cells ? static_cast<std::uint32_t>(LastCol(r->second)) : 0);
                out_ += Record(kRow, data);
            }
            std::vector<std::size_t> cellStarts;
            for (auto r = it; r != end; ++r) {
                cellStarts.push_back(out_.size());
                for (const auto& cell : r->second.cells) {
                    const std::size_t at = out_.size();
                    out_ += cell.bytes;
                    Set16(out_, at + 4, static_cast<std::uint32_t>(r->first - 1));
                    if (!cell.Run()) Set16(out_, at + 6, static_cast<std::uint32_t>(cell.col - 1));
                }
            }
            if (WritesRowBlocks()) {
                std::string data;
                Add32(data, static_cast<std::uint32_t>(out_.size() - firstRow));
                for (std::size_t i = 0; i < cellStarts.size(); ++i) {
                    const std::size_t from =
                        i == 0 ? firstRow + kRowRecordBytes : cellStarts[i - 1];
                    Add16(data, static_cast<std::uint32_t>(
                                    std::min<std::size_t>(cellStarts[i] - from, 0xFFFF)));
                }
                blockAt_.push_back(out_.size());
                out_ += Record(kDbCell, data);
            }
            it = end;
        }
    }

    void FillIndex() {
        if (indexAt_ == std::string::npos) return;
        const std::size_t data = indexAt_ + 4;
        if (!rows_.empty()) {
            Set32(out_, data + 4, static_cast<std::uint32_t>(rows_.begin()->first - 1));
            Set32(out_, data + 8, static_cast<std::uint32_t>(rows_.rbegin()->first));
        }
        if (defColWidthAt_ != std::string::npos)
            Set32(out_, data + 12, static_cast<std::uint32_t>(base_ + defColWidthAt_));
        for (std::size_t i = 0; i < blockAt_.size(); ++i)
            Set32(out_, data + 16 + 4 * i, static_cast<std::uint32_t>(base_ + blockAt_[i]));
    }

    std::string path_, name_;
    std::vector<Item> items_;
    std::map<Long, RowRecords> rows_;
    std::vector<ColumnRun> columns_;
    std::vector<Area> merges_;
    bool mergesSeen_ = false, hasIndex_ = false, hasDbCells_ = false, hasRowRecords_ = false;
    std::uint16_t defaultRowTwips_ = 255;
    std::map<std::uint32_t, FormulaGroup> groups_;
    // While writing.
    std::string out_;
    std::size_t base_ = 0, indexAt_ = std::string::npos, defColWidthAt_ = std::string::npos;
    std::vector<std::size_t> blockAt_;
};

// Where a substream (a BOF, its records, its EOF, with substreams nested in it) ends.
std::size_t SubstreamEnd(const std::string& path, std::string_view stream, std::size_t begin) {
    RecordStream records(stream);
    records.Seek(begin);
    int depth = 0;
    do {
        if (!records.Next() || (depth == 0 && records.Id() != kBof))
            Refuse(path, "a sheet's records in the workbook stream are damaged or cut short");
        depth += records.Id() == kBof ? 1 : records.Id() == kEof ? -1 : 0;
    } while (depth > 0);
    return records.Offset() + 4 + records.Data().size();
}

// Moves the stream positions an unchanged sheet's INDEX record gives (of its
// DEFCOLWIDTH and of each block of rows) with the sheet.
void MoveIndexRecords(std::string& substream, std::int64_t delta) {
    RecordStream records(substream);
    int depth = 0;
    while (records.Next()) {
        depth += records.Id() == kBof ? 1 : records.Id() == kEof ? -1 : 0;
        if (depth != 1 || records.Id() != kIndex) continue;
        // The positions after the row numbers: DEFCOLWIDTH's, then one per block of rows.
        auto positions = records.Reader();
        positions.Seek(12);
        const std::size_t data = records.Offset() + 4;
        while (positions.Left() >= 4) {
            const std::size_t at = data + positions.Pos();
            const std::uint32_t position = positions.U32();
            if (at == data + 12 && position == 0) continue;  // no DEFCOLWIDTH
            const std::int64_t moved = static_cast<std::int64_t>(position) + delta;
            Set32(substream, at, static_cast<std::uint32_t>(moved));
        }
    }
}

struct SheetEntry {
    std::size_t record = 0;  // where its BOUNDSHEET record starts
    std::size_t begin = 0, end = 0;
    std::string name;
};

// The workbook stream with the edits written into it.
std::string StreamWithEdits(const WorkbookModel& model, const WorkbookStream& workbook) {
    const std::string& path = model.path;
    const std::string_view stream = workbook.bytes;
    const std::string biff5 =
        "it is an Excel 5.0 or 95 workbook (BIFF5), which is read but not written; save it "
        "in the spreadsheet program as a workbook of Excel 97 to 2003 (.xls) or as .xlsx "
        "and try again";
    if (workbook.biff5) Refuse(path, biff5);
    std::vector<SheetEntry> sheets;
    std::size_t globalsEnd = 0;
    try {
        RecordStream records(stream);
        if (!records.Next() || records.Id() != kBof)
            Refuse(path, "the workbook stream does not start with a BOF record");
        auto bof = records.Reader();
        const std::uint16_t version = bof.U16();
        if (version != kBiff8) Refuse(path, biff5);
        if (bof.U16() != kGlobalsType)
            Refuse(path, "the workbook stream does not start with the workbook's globals");
        for (bool ended = false; !ended;) {
            if (!records.Next()) Refuse(path, "the workbook's globals end without an EOF record");
            auto bytes = records.Reader();
            switch (records.Id()) {
                case kEof:
                    ended = true;
                    globalsEnd = records.Offset() + 4 + records.Data().size();
                    break;
                case kFilePass:
                    Refuse(path, "the workbook is encrypted with a password");
                case kBoundSheet: {
                    SheetEntry entry;
                    entry.record = records.Offset();
                    entry.begin = bytes.U32();
                    bytes.Skip(2);
                    entry.name = ReadString(bytes, 1, 0);
                    sheets.push_back(std::move(entry));
                    break;
                }
                default:
                    break;
            }
        }
        for (auto& s : sheets) {
            if (s.begin < globalsEnd || s.begin >= stream.size())
                Refuse(path, "the sheet " + s.name + " starts outside the workbook stream");
            s.end = SubstreamEnd(path, stream, s.begin);
        }
    } catch (const CutShort& cut) {
        Refuse(path, "the record " + RecordId(cut.record) + " of the workbook stream is cut short");
    }
    std::sort(sheets.begin(), sheets.end(),
              [](const SheetEntry& a, const SheetEntry& b) { return a.begin < b.begin; });
    for (std::size_t i = 1; i < sheets.size(); ++i) {
        if (sheets[i].begin < sheets[i - 1].end)
            Refuse(path, "the sheets " + sheets[i - 1].name + " and " + sheets[i].name +
                             " share records in the workbook stream");
    }
    const auto changed = [&](const SheetEntry& entry) -> const SheetModel* {
        for (const auto& sheet : model.sheets) {
            if (!sheet.edits.empty() && EqualIgnoringCase(sheet.name, entry.name)) return &sheet;
        }
        return nullptr;
    };
    for (const auto& sheet : model.sheets) {
        if (sheet.edits.empty()) continue;
        const bool found = std::any_of(sheets.begin(), sheets.end(), [&](const SheetEntry& e) {
            return EqualIgnoringCase(sheet.name, e.name);
        });
        if (!found) Refuse(path, "the sheet " + sheet.name + " is no longer in the file");
    }

    std::string out(stream.substr(0, globalsEnd));
    std::size_t cursor = globalsEnd;
    for (const auto& entry : sheets) {
        out.append(stream.substr(cursor, entry.begin - cursor));
        const std::size_t begin = out.size();
        const auto substream = stream.substr(entry.begin, entry.end - entry.begin);
        if (const SheetModel* sheet = changed(entry)) {
            SheetRebuild rebuild(path, entry.name, substream);
            for (const auto& e : sheet->edits) rebuild.Apply(e);
            out += rebuild.Write(begin);
        } else {
            std::string copy(substream);
            if (begin != entry.begin) {
                MoveIndexRecords(copy, static_cast<std::int64_t>(begin) -
                                           static_cast<std::int64_t>(entry.begin));
            }
            out += copy;
        }
        if (out.size() > kMaxWorkbookStreamBytes) {
            Refuse(path, "the workbook stream would grow past the limit of " +
                             std::to_string(kMaxWorkbookStreamBytes >> 20) + " MiB");
        }
        Set32(out, entry.record + 4, static_cast<std::uint32_t>(begin));
        cursor = entry.end;
    }
    out.append(stream.substr(cursor));
    return out;
}

}  // namespace

std::string LegacyWorkbookWithEdits(const WorkbookModel& model) {
    const WorkbookStream workbook = ReadWorkbookStream(model.path);
    std::string stream;
    try {
        stream = StreamWithEdits(model, workbook);
    } catch (const CutShort& cut) {
        Refuse(model.path,
               "the record " + RecordId(cut.record) + " of the workbook stream is cut short");
    }
    return CompoundFileWithWorkbookStream(model.path, stream);
}

}  // namespace tbln::workbook

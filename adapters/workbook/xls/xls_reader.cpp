#include "adapters/workbook/xls/xls_reader.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <utility>

#include "adapters/workbook/a1.hpp"
#include "adapters/workbook/colour.hpp"
#include "adapters/workbook/numfmt/display_text.hpp"
#include "adapters/workbook/numfmt/format_code.hpp"
#include "adapters/workbook/package.hpp"
#include "adapters/workbook/xls/biff_records.hpp"
#include "adapters/workbook/xls/compound_file.hpp"
#include "adapters/workbook/xls/xls_drawing.hpp"
#include "adapters/workbook/xls/xls_encryption.hpp"
#include "core/error.hpp"

namespace tbln::workbook {

namespace {

using namespace biff;

constexpr std::uint16_t kBiff5 = 0x0500, kBiff8 = 0x0600;
constexpr std::uint16_t kGlobalsType = 0x0005, kWorksheetType = 0x0010;
// Colour indexes at and above this one mean the system's window text or background.
constexpr std::uint16_t kFirstSystemColor = 64;
// Rows listed twice in a damaged file are still bounded.
constexpr std::size_t kMaxRowRecords = 4 * 65536;

std::string Hex(std::uint16_t v) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", v);
    return text;
}

// The number of an RK value: a 30-bit integer or the high 30 bits of a double,
// possibly divided by 100.
double RkNumber(std::uint32_t rk) {
    double v = 0;
    if (rk & 0x02) {
        v = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
    } else {
        const std::uint64_t bits = static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&v, &bits, sizeof v);
    }
    return (rk & 0x01) ? v / 100 : v;
}

const char* ErrorText(std::uint8_t code) {
    switch (code) {
        case 0x00:
            return "#NULL!";
        case 0x07:
            return "#DIV/0!";
        case 0x0F:
            return "#VALUE!";
        case 0x17:
            return "#REF!";
        case 0x1D:
            return "#NAME?";
        case 0x24:
            return "#NUM!";
        case 0x2A:
            return "#N/A";
        default:
            return "#N/A";
    }
}

const char* BorderStyle(unsigned code) {
    static constexpr const char* kStyles[] = {"none",
                                              "thin",
                                              "medium",
                                              "dashed",
                                              "dotted",
                                              "thick",
                                              "double",
                                              "hair",
                                              "mediumDashed",
                                              "dashDot",
                                              "mediumDashDot",
                                              "dashDotDot",
                                              "mediumDashDotDot",
                                              "slantDashDot"};
    return code < std::size(kStyles) ? kStyles[code] : "thin";
}

const char* FillPattern(unsigned code) {
    static constexpr const char* kPatterns[] = {
        "none",           "solid",           "mediumGray",    "darkGray",  "lightGray",
        "darkHorizontal", "darkVertical",    "darkDown",      "darkUp",    "darkGrid",
        "darkTrellis",    "lightHorizontal", "lightVertical", "lightDown", "lightUp",
        "lightGrid",      "lightTrellis",    "gray125",       "gray0625"};
    return code < std::size(kPatterns) ? kPatterns[code] : "solid";
}

const char* Horizontal(unsigned code) {
    static constexpr const char* kNames[] = {
        "general", "left", "center", "right", "fill", "justify", "centerContinuous", "distributed"};
    return code < std::size(kNames) ? kNames[code] : "general";
}

const char* Vertical(unsigned code) {
    static constexpr const char* kNames[] = {"top", "center", "bottom", "justify", "distributed"};
    return code < std::size(kNames) ? kNames[code] : "bottom";
}

const char* Underline(unsigned code) {
    switch (code) {
        case 0x01:
            return "single";
        case 0x02:
            return "double";
        case 0x21:
            return "singleAccounting";
        case 0x22:
            return "doubleAccounting";
        default:
            return "none";
    }
}

// A cell format as the record stores it, colours still as palette indexes (the
// palette comes after the formats).
struct RawFormat {
    std::uint16_t font = 0, numberFormat = 0;
    unsigned horizontal = 0, vertical = 2, rotation = 0, indent = 0;
    bool wrap = false, shrink = false;
    std::array<unsigned, 5> edge{};  // left, right, top, bottom, diagonal
    std::array<std::uint16_t, 5> edgeColor{};
    unsigned diagonals = 0;  // 1 down, 2 up
    unsigned pattern = 0;
    std::uint16_t foreground = kFirstSystemColor, background = kFirstSystemColor + 1;
};

struct RawFont {
    Font font;
    std::uint16_t color = 0x7FFF;
};

struct SheetEntry {
    std::string name;
    std::string state;
    std::uint32_t offset = 0;
    unsigned type = 0;  // 0 worksheet, 1 macro sheet, 2 chart, 6 module
};

class XlsReader {
  public:
    XlsReader(const std::string& path, std::string_view stream, bool bookStream, bool decrypted)
        : path_(path), records_(stream), bookStream_(bookStream), decrypted_(decrypted) {}

    std::unique_ptr<WorkbookModel> Read() {
        model_ = std::make_unique<WorkbookModel>();
        model_->path = path_;
        model_->legacyBinary = true;
        model_->workbookPart.clear();
        try {
            ReadGlobals();
            std::size_t tab = 0;
            for (const auto& entry : sheets_) {
                const bool active = tab++ == activeTab_;
                if (entry.type != 0) continue;  // chart sheets, macro sheets and modules
                SheetModel sheet;
                sheet.name = entry.name;
                sheet.state = entry.state;
                if (active) model_->activeTab = model_->sheets.size();
                model_->sheets.push_back(std::move(sheet));
                ReadSheet(entry, model_->sheets.back());
            }
            // Drawings are placed by their cells' sizes, and a column's size needs the
            // workbook's digit width, judged from the columns of every sheet: so the
            // drawings are read once all sheets are.
            for (auto& [index, drawing] : drawings_)
                ReadLegacySheetDrawing(drawing, pictures_, palette_, *model_,
                                       model_->sheets[index]);
        } catch (const CutShort& cut) {
            Bad("the record " + Hex(cut.record) + " at byte " + std::to_string(records_.Offset()) +
                " of the workbook stream is cut short" +
                (sheetName_.empty() ? std::string() : " (in the sheet " + sheetName_ + ")"));
        }
        if (model_->sheets.empty()) Bad("the workbook has no worksheet");
        return std::move(model_);
    }

  private:
    [[noreturn]] void Bad(const std::string& problem) const { RaiseBadWorkbook(path_, problem); }

    int CodePage() const { return version_ == kBiff8 ? 0 : codePage_; }

    // The BOF record that starts a substream; returns its type.
    std::uint16_t ReadBof(const char* where) {
        if (!records_.Next() || records_.Id() != kBof) {
            Bad(std::string("the workbook stream has no BOF record at the start of ") + where);
        }
        auto bytes = records_.Reader();
        const std::uint16_t version = bytes.U16();
        const std::uint16_t type = bytes.U16();
        if (version_ == 0) {
            if (version != kBiff5 && version != kBiff8) {
                Bad("its record version " + Hex(version) +
                    " is not read (only Excel 5.0 and later workbooks, BIFF5 to BIFF8, are)");
            }
            // Excel 5.0 and 95 keep their records in a stream named "Book".
            version_ = bookStream_ ? kBiff5 : version;
        }
        return type;
    }

    void ReadGlobals() {
        if (ReadBof("the workbook") != kGlobalsType)
            Bad("the workbook stream does not start with the workbook's globals");
        std::vector<RawFont> fonts;
        std::vector<RawFormat> formats;
        std::vector<std::uint32_t> palette(64);
        for (int i = 0; i < 64; ++i) PaletteColor(i, palette[static_cast<std::size_t>(i)]);
        bool ended = false;
        std::uint16_t previous = 0;  // the record that a CONTINUE record goes on
        while (!ended && records_.Next()) {
            auto bytes = records_.Reader();
            const std::uint16_t id = records_.Id();
            if (id != kContinue) previous = id;
            switch (id) {
                case kEof:
                    ended = true;
                    break;
                case kMsoDrawingGroup:
                    drawingGroup_.append(records_.Data());
                    break;
                case kContinue:
                    if (previous == kMsoDrawingGroup) drawingGroup_.append(records_.Data());
                    break;
                case kFilePass:
                    if (decrypted_) break;  // the default password opened it
                    Bad("the workbook is encrypted with a password; open it in the spreadsheet "
                        "program, remove the password and save it again");
                case kCodePage:
                    codePage_ = bytes.U16();
                    break;
                case kDateMode:
                    model_->date1904 = bytes.U16() == 1;
                    break;
                case kWindow1:
                    bytes.Skip(10);
                    activeTab_ = bytes.U16();
                    break;
                case kBoundSheet:
                    ReadBoundSheet(bytes);
                    break;
                case kFont:
                    if (fonts.size() >= kMaxStyles)
                        Bad("the workbook has more fonts than the limit");
                    fonts.push_back(ReadFont(bytes));
                    // Font index 4 is never written: indexes from 4 on count from 5.
                    if (fonts.size() == 4) fonts.push_back(fonts.front());
                    break;
                case kFormat:
                    ReadFormat(bytes);
                    break;
                case kXf:
                    if (formats.size() >= kMaxStyles)
                        Bad("the workbook has more cell formats than the limit");
                    formats.push_back(version_ == kBiff8 ? ReadXf8(bytes) : ReadXf5(bytes));
                    break;
                case kPalette: {
                    const std::size_t count = std::min<std::size_t>(bytes.U16(), 56);
                    for (std::size_t i = 0; i < count && bytes.Left() >= 4; ++i) {
                        const std::uint32_t r = bytes.U8(), g = bytes.U8(), b = bytes.U8();
                        bytes.Skip(1);
                        palette[8 + i] = r << 16 | g << 8 | b;
                    }
                    break;
                }
                case kSst:
                    ReadSst();
                    break;
                default:
                    break;
            }
        }
        if (!ended) Bad("the workbook's globals end without an EOF record (the file is cut short)");
        BuildStyles(fonts, formats, palette);
        palette_ = std::move(palette);
        // Drawings are read from Excel 97 on; older workbooks keep theirs in other records.
        if (version_ == kBiff8 && !drawingGroup_.empty())
            pictures_ = ReadPictureStore(drawingGroup_);
    }

    void ReadBoundSheet(Bytes& bytes) {
        SheetEntry entry;
        entry.offset = bytes.U32();
        const unsigned state = bytes.U8() & 0x03;
        entry.type = bytes.U8();
        entry.state = state == 1 ? "hidden" : state == 2 ? "veryHidden" : "visible";
        entry.name = ReadString(bytes, 1, CodePage());
        if (entry.name.empty()) Bad("a sheet of the workbook has no name");
        if (sheets_.size() >= 65536) Bad("the workbook lists more sheets than the limit");
        sheets_.push_back(std::move(entry));
    }

    RawFont ReadFont(Bytes& bytes) {
        RawFont raw;
        Font& f = raw.font;
        f.size = bytes.U16() / 20.0;
        const std::uint16_t flags = bytes.U16();
        f.italic = flags & 0x02;
        f.strike = flags & 0x08;
        raw.color = bytes.U16();
        f.bold = bytes.U16() >= 700;
        const std::uint16_t script = bytes.U16();
        f.vertAlign = script == 1 ? "superscript" : script == 2 ? "subscript" : "";
        f.underline = Underline(bytes.U8());
        bytes.Skip(3);  // family, character set, reserved
        f.name = ReadString(bytes, 1, CodePage());
        return raw;
    }

    void ReadFormat(Bytes& bytes) {
        const std::uint16_t id = bytes.U16();
        std::string code = ReadString(bytes, version_ == kBiff8 ? 2 : 1, CodePage());
        // The built-in formats are the application's own, whatever the locale that
        // wrote the file stored under their numbers; a number the application does not
        // know keeps the file's code.
        if (BuiltInFormat(id).empty()) model_->numberFormats[id] = std::move(code);
    }

    static RawFormat ReadXf8(Bytes& bytes) {
        RawFormat x;
        x.font = bytes.U16();
        x.numberFormat = bytes.U16();
        bytes.Skip(2);  // protection, style flag, parent
        const std::uint8_t align = bytes.U8();
        x.horizontal = align & 0x07;
        x.wrap = align & 0x08;
        x.vertical = (align >> 4) & 0x07;
        x.rotation = bytes.U8();
        const std::uint8_t indent = bytes.U8();
        x.indent = indent & 0x0F;
        x.shrink = indent & 0x10;
        bytes.Skip(1);  // which attributes differ from the parent style
        const std::uint32_t b1 = bytes.U32();
        const std::uint32_t b2 = bytes.U32();
        const std::uint16_t fill = bytes.U16();
        x.edge = {b1 & 0x0F, (b1 >> 4) & 0x0F, (b1 >> 8) & 0x0F, (b1 >> 12) & 0x0F,
                  (b2 >> 21) & 0x0F};
        x.edgeColor = {static_cast<std::uint16_t>((b1 >> 16) & 0x7F),
                       static_cast<std::uint16_t>((b1 >> 23) & 0x7F),
                       static_cast<std::uint16_t>(b2 & 0x7F),
                       static_cast<std::uint16_t>((b2 >> 7) & 0x7F),
                       static_cast<std::uint16_t>((b2 >> 14) & 0x7F)};
        x.diagonals = (b1 >> 30) & 0x03;
        x.pattern = (b2 >> 26) & 0x3F;
        x.foreground = fill & 0x7F;
        x.background = (fill >> 7) & 0x7F;
        return x;
    }

    static RawFormat ReadXf5(Bytes& bytes) {
        RawFormat x;
        x.font = bytes.U16();
        x.numberFormat = bytes.U16();
        bytes.Skip(2);
        const std::uint8_t align = bytes.U8();
        x.horizontal = align & 0x07;
        x.wrap = align & 0x08;
        x.vertical = (align >> 4) & 0x07;
        static constexpr unsigned kRotation[] = {0, 255, 90, 180};
        x.rotation = kRotation[bytes.U8() & 0x03];
        const std::uint32_t fill = bytes.U32();
        const std::uint32_t lines = bytes.U32();
        x.foreground = fill & 0x7F;
        x.background = (fill >> 7) & 0x7F;
        x.pattern = (fill >> 16) & 0x3F;
        x.edge = {(lines >> 3) & 0x07, (lines >> 6) & 0x07, lines & 0x07, (fill >> 22) & 0x07, 0};
        x.edgeColor = {static_cast<std::uint16_t>((lines >> 16) & 0x7F),
                       static_cast<std::uint16_t>((lines >> 23) & 0x7F),
                       static_cast<std::uint16_t>((lines >> 9) & 0x7F),
                       static_cast<std::uint16_t>((fill >> 25) & 0x7F), 0};
        return x;
    }

    void BuildStyles(std::vector<RawFont>& fonts, const std::vector<RawFormat>& formats,
                     const std::vector<std::uint32_t>& palette) {
        const auto color = [&](std::uint16_t index) {
            Color c;
            if (index < kFirstSystemColor) {
                c.automatic = false;
                c.rgb = palette[index];
            }
            return c;
        };
        if (!fonts.empty()) {
            model_->fonts.clear();
            for (auto& raw : fonts) {
                raw.font.color = color(raw.color);
                model_->fonts.push_back(std::move(raw.font));
            }
        } else {
            Font arial;
            arial.name = "Arial";
            arial.size = 10;
            model_->fonts = {arial};
        }
        if (formats.empty()) return;
        model_->cellFormats.clear();
        model_->fills.clear();
        model_->borders.clear();
        for (const auto& x : formats) {
            CellFormat f;
            f.numberFormat = x.numberFormat;
            f.font = x.font < model_->fonts.size() ? x.font : 0;
            f.horizontal = Horizontal(x.horizontal);
            f.vertical = Vertical(x.vertical);
            f.wrapText = x.wrap;
            f.shrinkToFit = x.shrink;
            f.textRotation =
                x.rotation <= 180 || x.rotation == 255 ? static_cast<int>(x.rotation) : 0;
            f.indent = static_cast<int>(x.indent);
            Fill fill;
            fill.pattern = FillPattern(x.pattern);
            if (x.pattern != 0) {
                fill.foreground = color(x.foreground);
                fill.background = color(x.background);
            }
            Border border;
            BorderEdge* edges[] = {&border.left, &border.right, &border.top, &border.bottom,
                                   &border.diagonal};
            for (std::size_t i = 0; i < 5; ++i) {
                edges[i]->style = BorderStyle(x.edge[i]);
                if (x.edge[i] != 0) edges[i]->color = color(x.edgeColor[i]);
            }
            border.diagonalDown = x.diagonals & 0x01;
            border.diagonalUp = x.diagonals & 0x02;
            if (x.diagonals == 0) border.diagonal = BorderEdge{};
            f.fill = static_cast<std::uint32_t>(model_->fills.size());
            f.border = static_cast<std::uint32_t>(model_->borders.size());
            model_->fills.push_back(std::move(fill));
            model_->borders.push_back(std::move(border));
            model_->cellFormats.push_back(std::move(f));
        }
        // The first format is the Normal style's.
        model_->normalFont = model_->cellFormats.front().font;
        model_->formatViews.reset();
    }

    void ReadSst() {
        auto data = records_.WithContinues();
        data.U32();  // total references; not needed
        const std::uint32_t unique = data.U32();
        // The count is the file's claim: strings are added as they are actually read.
        for (std::uint32_t i = 0; i < unique && !data.AtEnd(); ++i) {
            if (model_->strings.size() >= kMaxStrings)
                Bad("the shared string table holds more strings than the limit");
            model_->strings.push_back(data.UnicodeString(2));
        }
        model_->sharedStringCount = model_->strings.size();
    }

    // --- Sheets ---------------------------------------------------------------

    void ReadSheet(const SheetEntry& entry, SheetModel& sheet) {
        sheetName_ = sheet.name;
        if (entry.offset >= records_.Size()) {
            Bad("the sheet " + sheet.name + " starts past the end of the workbook stream");
        }
        records_.Seek(entry.offset);
        if (ReadBof(("the sheet " + sheet.name).c_str()) != kWorksheetType) {
            sheetName_.clear();
            return;  // a dialog or chart kept under a worksheet's entry
        }
        sheet_ = &sheet;
        cellsSorted_ = rowsSorted_ = true;
        activePane_ = 3;
        paneTop_ = paneLeft_ = 1;
        selectionSeen_ = false;
        SheetDrawingRecords drawing;
        std::uint16_t previous = 0;  // the record that a CONTINUE record goes on
        int depth = 1;               // substreams nested in a sheet (charts embedded in it)
        while (depth > 0) {
            if (!records_.Next())
                Bad("the sheet " + sheet.name +
                    " ends without an EOF record (the file is cut short)");
            const std::uint16_t id = records_.Id();
            if (id == kBof) {
                ++depth;
                continue;
            }
            if (id == kEof) {
                --depth;
                continue;
            }
            if (depth == 1 && version_ == kBiff8) drawing.Add(id, previous, records_.Data());
            if (depth == 1) SheetRecord(id);
            if (id != kContinue) previous = id;
        }
        if (!selectionSeen_ && activePane_ != 3) {
            // An active pane without its own selection: its top-left cell is active.
            sheet.activeRow = activePane_ == 0 || activePane_ == 2 ? paneTop_ : 1;
            sheet.activeCol = activePane_ == 0 || activePane_ == 1 ? paneLeft_ : 1;
            sheet.selection = {
                Area{sheet.activeRow, sheet.activeCol, sheet.activeRow, sheet.activeCol}};
        }
        SortSheet(sheet, cellsSorted_, rowsSorted_);
        drawings_.emplace_back(model_->sheets.size() - 1, std::move(drawing));
        sheet_ = nullptr;
        sheetName_.clear();
    }

    void SheetRecord(std::uint16_t id) {
        auto bytes = records_.Reader();
        switch (id) {
            case kLabelSst: {
                const auto [row, col, style] = CellHead(bytes);
                const std::uint32_t index = bytes.U32();
                if (index >= model_->sharedStringCount)
                    BadSheet("refers to a shared string that does not exist");
                Cell c;
                c.type = CellType::Text;
                c.text = index;
                c.style = style;
                Put(row, col, c);
                break;
            }
            case kLabel:
            case kRString: {
                const auto [row, col, style] = CellHead(bytes);
                Cell c;
                c.type = CellType::Text;
                c.style = style;
                c.text = AddText(ReadString(bytes, 2, CodePage()));
                Put(row, col, c);
                break;
            }
            case kNumber: {
                const auto [row, col, style] = CellHead(bytes);
                PutNumber(row, col, style, bytes.F64());
                break;
            }
            case kRk: {
                const auto [row, col, style] = CellHead(bytes);
                PutNumber(row, col, style, RkNumber(bytes.U32()));
                break;
            }
            case kMulRk: {
                const Long row = Row(bytes.U16());
                Long col = Column(bytes.U16());
                // (format, RK) pairs up to the last column's two bytes.
                while (bytes.Left() >= 8) {
                    const std::uint32_t style = Style(bytes.U16());
                    PutNumber(row, col++, style, RkNumber(bytes.U32()));
                    if (col > kMaxCols) BadSheet("has a cell outside the sheet");
                }
                break;
            }
            case kBlank: {
                const auto [row, col, style] = CellHead(bytes);
                Cell c;
                c.style = style;
                Put(row, col, c);
                break;
            }
            case kMulBlank: {
                const Long row = Row(bytes.U16());
                Long col = Column(bytes.U16());
                while (bytes.Left() >= 4) {
                    Cell c;
                    c.style = Style(bytes.U16());
                    Put(row, col++, c);
                    if (col > kMaxCols) BadSheet("has a cell outside the sheet");
                }
                break;
            }
            case kBoolErr: {
                const auto [row, col, style] = CellHead(bytes);
                const std::uint8_t value = bytes.U8();
                const bool error = bytes.U8() != 0;
                Cell c;
                c.style = style;
                if (error) {
                    c.type = CellType::Error;
                    c.text = AddText(ErrorText(value));
                } else {
                    c.type = CellType::Boolean;
                    c.number = value ? 1 : 0;
                }
                Put(row, col, c);
                break;
            }
            case kFormula:
                ReadFormula(bytes);
                break;
            case kString: {
                // The text result of the formula just read.
                if (!pendingString_) break;
                pendingString_ = false;
                auto data = records_.WithContinues();
                std::string text;
                if (version_ == kBiff8) {
                    text = data.UnicodeString(2);
                } else {
                    const std::size_t cch = data.U16();
                    std::string raw;
                    for (std::size_t i = 0; i < cch && !data.AtEnd(); ++i)
                        raw += static_cast<char>(data.U8());
                    text = CodePageToUtf8(raw, CodePage());
                }
                Cell c;
                c.type = CellType::Text;
                c.style = pendingStyle_;
                c.text = AddText(std::move(text));
                Put(pendingRow_, pendingCol_, c);
                break;
            }
            case kRow:
                ReadRow(bytes);
                break;
            case kColInfo: {
                ColumnInfo c;
                c.first = bytes.U16() + 1;
                c.last = std::min<Long>(bytes.U16() + 1, kMaxCols);
                c.width = bytes.U16() / 256.0;
                c.style = Style(bytes.U16());
                c.hidden = bytes.U16() & 0x01;
                if (c.first <= c.last &&
                    sheet_->columns.size() < static_cast<std::size_t>(kMaxCols))
                    sheet_->columns.push_back(c);
                break;
            }
            case kDefColWidth:
                sheet_->baseColumnWidth = bytes.U16();
                break;
            case kStandardWidth:
                sheet_->defaultColumnWidth = bytes.U16() / 256.0;
                break;
            case kDefaultRowHeight: {
                const std::uint16_t flags = bytes.U16();
                sheet_->defaultRowHeight = std::min(bytes.U16() / 20.0, 409.5);
                sheet_->rowsHiddenByDefault = flags & 0x02;
                break;
            }
            case kMergedCells: {
                for (const Area& a : MergedAreas(bytes)) {
                    if (a.right > kMaxCols) continue;
                    if (a.Rows() == 1 && a.Columns() == 1) continue;
                    if (sheet_->merges.size() >= kMaxMerges)
                        BadSheet("has more merged areas than the limit");
                    sheet_->merges.push_back(a);
                }
                break;
            }
            case kWindow2:
                // The options, then the top row and left column in view.
                bytes.Skip(2);
                sheet_->topRow = Row(bytes.U16());
                sheet_->leftCol = std::min<Long>(bytes.U16() + 1, kMaxCols);
                break;
            case kPane:
                bytes.Skip(4);
                paneTop_ = Row(bytes.U16());
                paneLeft_ = std::min<Long>(bytes.U16() + 1, kMaxCols);
                activePane_ = bytes.U8();
                break;
            case kSelection:
                ReadSelection(bytes);
                break;
            case kDimensions: {
                if (version_ == kBiff8) {
                    const std::uint32_t first = bytes.U32(), last = bytes.U32();
                    const std::uint16_t left = bytes.U16(), right = bytes.U16();
                    if (last > first && right > left)
                        sheet_->dimension = AreaText(first + 1, left + 1, last, right);
                }
                break;
            }
            default:
                break;
        }
    }

    static std::string AreaText(std::uint32_t top, unsigned left, std::uint32_t bottom,
                                unsigned right) {
        return CellReference(static_cast<Long>(top), static_cast<Long>(left)) + ":" +
               CellReference(static_cast<Long>(bottom), static_cast<Long>(right));
    }

    [[noreturn]] void BadSheet(const std::string& problem) const {
        Bad("the sheet " + sheetName_ + " " + problem);
    }

    Long Row(std::uint16_t row) const { return static_cast<Long>(row) + 1; }
    Long Column(std::uint16_t col) const {
        if (col >= kMaxCols) BadSheet("has a cell outside the sheet");
        return static_cast<Long>(col) + 1;
    }
    std::uint32_t Style(std::uint16_t xf) const { return xf < model_->cellFormats.size() ? xf : 0; }

    struct Head {
        Long row, col;
        std::uint32_t style;
    };
    Head CellHead(Bytes& bytes) const {
        const Long row = Row(bytes.U16());
        const Long col = Column(bytes.U16());
        return {row, col, Style(bytes.U16())};
    }

    std::uint32_t AddText(std::string text) {
        if (model_->strings.size() >= kMaxStrings) BadSheet("has more texts than the limit");
        return model_->AddString(std::move(text));
    }

    void PutNumber(Long row, Long col, std::uint32_t style, double value) {
        Cell c;
        c.style = style;
        if (std::isfinite(value)) {
            c.type = CellType::Number;
            c.number = value;
        } else {
            c.type = CellType::Error;
            c.text = AddText("#NUM!");
        }
        Put(row, col, c);
    }

    void Put(Long row, Long col, const Cell& cell) {
        if (sheet_->cells.size() >= kMaxCells) BadSheet("has more cells than the limit");
        const auto key = CellKey(row, col);
        if (!sheet_->cells.empty() && sheet_->cells.back().key >= key) cellsSorted_ = false;
        sheet_->cells.push_back(SheetModel::Entry{key, cell});
    }

    void ReadFormula(Bytes& bytes) {
        const auto [row, col, style] = CellHead(bytes);
        const auto value = bytes.Take(8);
        const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(value[i]); };
        pendingString_ = false;
        if (byte(6) != 0xFF || byte(7) != 0xFF) {
            Bytes number(value, kFormula);
            PutNumber(row, col, style, number.F64());
            return;
        }
        Cell c;
        c.style = style;
        switch (byte(0)) {
            case 0:  // a text, in the STRING record that follows
                pendingString_ = true;
                pendingRow_ = row;
                pendingCol_ = col;
                pendingStyle_ = style;
                return;
            case 1:
                c.type = CellType::Boolean;
                c.number = byte(2) ? 1 : 0;
                break;
            case 2:
                c.type = CellType::Error;
                c.text = AddText(ErrorText(byte(2)));
                break;
            default:  // an empty text
                c.type = CellType::Text;
                c.text = AddText("");
                break;
        }
        Put(row, col, c);
    }

    void ReadRow(Bytes& bytes) {
        RowInfo info;
        info.row = Row(bytes.U16());
        bytes.Skip(4);  // first and last column
        const std::uint16_t height = bytes.U16();
        bytes.Skip(4);
        const std::uint32_t flags = bytes.Left() >= 4 ? bytes.U32() : 0;
        // The top bit marks a row of the default height.
        if (!(height & 0x8000)) info.height = std::min((height & 0x7FFF) / 20.0, 409.5);
        info.hidden = flags & 0x20;
        info.customFormat = flags & 0x80;
        if (info.customFormat)
            info.style = Style(static_cast<std::uint16_t>((flags >> 16) & 0x0FFF));
        if (sheet_->rows.size() >= kMaxRowRecords) BadSheet("has more row records than the limit");
        if (!sheet_->rows.empty() && sheet_->rows.back().row >= info.row) rowsSorted_ = false;
        sheet_->rows.push_back(info);
    }

    void ReadSelection(Bytes& bytes) {
        const unsigned pane = bytes.U8();
        // Only the selection of the active pane counts.
        if (pane != activePane_ || selectionSeen_) return;
        selectionSeen_ = true;
        sheet_->activeRow = Row(bytes.U16());
        sheet_->activeCol = std::min<Long>(bytes.U16() + 1, kMaxCols);
        bytes.Skip(2);
        const std::size_t count = bytes.U16();
        std::vector<Area> areas;
        for (std::size_t i = 0; i < count && bytes.Left() >= 6; ++i) {
            Area a;
            a.top = Row(bytes.U16());
            a.bottom = Row(bytes.U16());
            a.left = bytes.U8() + 1;
            a.right = bytes.U8() + 1;
            if (a.bottom < a.top) std::swap(a.top, a.bottom);
            if (a.right < a.left) std::swap(a.left, a.right);
            areas.push_back(a);
        }
        if (!areas.empty()) sheet_->selection = std::move(areas);
    }

    std::string path_;
    RecordStream records_;
    bool bookStream_, decrypted_;
    std::unique_ptr<WorkbookModel> model_;
    std::uint16_t version_ = 0;
    int codePage_ = 1252;
    std::size_t activeTab_ = 0;
    std::vector<SheetEntry> sheets_;
    // Each worksheet's drawing records (views into the stream), by its place in the model.
    std::vector<std::pair<std::size_t, SheetDrawingRecords>> drawings_;
    std::vector<std::uint32_t> palette_;
    std::string drawingGroup_;  // the drawing group's containers, joined
    PictureStore pictures_;
    // The sheet being read.
    SheetModel* sheet_ = nullptr;
    std::string sheetName_;
    bool cellsSorted_ = true, rowsSorted_ = true;
    unsigned activePane_ = 3;  // 0 bottom right, 1 top right, 2 bottom left, 3 top left
    Long paneTop_ = 1, paneLeft_ = 1;
    bool selectionSeen_ = false;
    bool pendingString_ = false;
    Long pendingRow_ = 0, pendingCol_ = 0;
    std::uint32_t pendingStyle_ = 0;
};

// The version of an older worksheet file, which is one stream of records rather than
// a compound file: its first record is a BOF of BIFF2, 3 or 4.
const char* OldWorksheetVersion(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char head[4] = {};
    in.read(reinterpret_cast<char*>(head), 4);
    if (in.gcount() != 4 || head[0] != 0x09 || head[3] != 0) return nullptr;
    switch (head[1]) {
        case 0x00:
            return "Excel 2.x (BIFF2)";
        case 0x02:
            return "Excel 3.0 (BIFF3)";
        case 0x04:
            return "Excel 4.0 (BIFF4)";
        case 0x08:
            return "Excel 5.0 or later without its container";
        default:
            return nullptr;
    }
}

}  // namespace

bool IsLegacyWorkbookFile(const std::string& path) {
    return IsCompoundFile(path) || OldWorksheetVersion(path) != nullptr;
}

std::unique_ptr<WorkbookModel> LoadLegacyWorkbook(const std::string& path) {
    if (const char* version = OldWorksheetVersion(path)) {
        RaiseBadWorkbook(path, std::string("it is an ") + version +
                                   " worksheet, which is not read: only workbooks of Excel 5.0 "
                                   "and later (.xls) and .xlsx workbooks are; save it in a newer "
                                   "format and try again");
    }
    WorkbookStream stream = ReadWorkbookStream(path);
    const bool decrypted = DecryptWithDefaultPassword(stream.bytes, stream.biff5);
    return XlsReader(path, stream.bytes, stream.biff5, decrypted).Read();
}

}  // namespace tbln::workbook

#include "adapters/workbook/xls/xls_drawing.hpp"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

#include "adapters/workbook/shape_presets.hpp"
#include "adapters/workbook/sheet_geometry.hpp"
#include "adapters/workbook/xls/biff_records.hpp"
#include "core/text.hpp"
#include "core/unicode.hpp"
#include "platform/excel.hpp"

namespace tbln::workbook {

namespace {

using biff::Bytes;

// Office Drawing record types.
enum : std::uint16_t {
    kDggContainer = 0xF000,
    kBStoreContainer = 0xF001,
    kDgContainer = 0xF002,
    kSpgrContainer = 0xF003,
    kSpContainer = 0xF004,
    kBse = 0xF007,
    kFsp = 0xF00A,
    kOpt = 0xF00B,
    kClientTextbox = 0xF00D,
    kClientAnchor = 0xF010,
    kClientData = 0xF011,
    kTertiaryOpt = 0xF122,
    kBlipEmf = 0xF01A,
    kBlipWmf = 0xF01B,
    kBlipPict = 0xF01C,
    kBlipJpeg = 0xF01D,
    kBlipPng = 0xF01E,
    kBlipDib = 0xF01F,
    kBlipTiff = 0xF029,
    kBlipJpegCmyk = 0xF02A,
};

// Shape properties read here.
enum : std::uint16_t {
    kRotation = 0x0004,
    kPib = 0x0104,
    kAdjustValue = 0x0147,
    kAdjust2Value = 0x0148,
    kVertices = 0x0145,
    kFillColor = 0x0181,
    kFillBooleans = 0x01BF,
    kLineColor = 0x01C0,
    kLineWidth = 0x01CB,
    kLineDashing = 0x01CE,
    kLineStartArrowhead = 0x01D0,
    kLineEndArrowhead = 0x01D1,
    kLineStartArrowWidth = 0x01D2,
    kLineEndArrowWidth = 0x01D4,
    kLineBooleans = 0x01FF,
    kShapeName = 0x0380,
};

// Object types of the OBJ record.
enum : std::uint16_t {
    kObjGroup = 0x00,
    kObjLine = 0x01,
    kObjRectangle = 0x02,
    kObjOval = 0x03,
    kObjArc = 0x04,
    kObjChart = 0x05,
    kObjText = 0x06,
    kObjPicture = 0x08,
    kObjPolygon = 0x09,
    kObjNote = 0x19,
    kObjOfficeArt = 0x1E,
};

// Shape flags of the FSP record.
constexpr std::uint32_t kFlagPatriarch = 0x004, kFlagDeleted = 0x008, kFlagOle = 0x010,
                        kFlagFlipH = 0x040, kFlagFlipV = 0x080;

// A drawing whose records do not hold together; the sheet's drawing is left out.
struct Fault {
    std::string what;
};

std::string HexType(std::uint16_t type) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string s = "0x";
    for (int shift = 12; shift >= 0; shift -= 4) s += kDigits[(type >> shift) & 0xF];
    return s;
}

// One Office Drawing record: its header and where its body lies in the bytes.
struct Rec {
    std::uint16_t type = 0, instance = 0;
    std::uint8_t version = 0;
    std::size_t begin = 0, end = 0;  // the body
    std::size_t Size() const { return end - begin; }
};

// The records one after another in data[begin, end). A container that claims more
// than that holds ends where its parent ends (the spreadsheet program writes comment
// containers that count shapes it left out); any other record that does is a fault.
std::vector<Rec> Records(std::string_view data, std::size_t begin, std::size_t end) {
    std::vector<Rec> out;
    std::size_t pos = begin;
    while (pos < end) {
        if (end - pos < 8)
            throw Fault{"the drawing record at byte " + std::to_string(pos) + " is cut short"};
        Bytes head(data.substr(pos, 8), 0);
        const std::uint16_t verInst = head.U16();
        Rec r;
        r.version = static_cast<std::uint8_t>(verInst & 0x0F);
        r.instance = static_cast<std::uint16_t>(verInst >> 4);
        r.type = head.U16();
        std::size_t length = head.U32();
        if (length > end - pos - 8 && r.version == 0x0F) {
            length = end - pos - 8;
        } else if (length > end - pos - 8) {
            throw Fault{"the drawing record " + HexType(r.type) + " at byte " +
                        std::to_string(pos) + " claims " + std::to_string(length) +
                        " bytes, more than its container holds"};
        }
        r.begin = pos + 8;
        r.end = r.begin + length;
        out.push_back(r);
        pos = r.end;
    }
    return out;
}

std::vector<Rec> Children(std::string_view data, const Rec& parent) {
    return Records(data, parent.begin, parent.end);
}

// --- the picture store ------------------------------------------------------------

std::optional<std::string> Inflate(std::string_view in, std::size_t expected) {
    if (expected == 0 || expected > kMaxPictureBytes) return std::nullopt;
    std::string out(expected, '\0');
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) return std::nullopt;
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    zs.avail_in = static_cast<uInt>(std::min<std::size_t>(in.size(), 0xFFFFFFFFu));
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&zs, Z_FINISH);
    const std::size_t produced = zs.total_out;
    inflateEnd(&zs);
    if (result != Z_STREAM_END) return std::nullopt;
    out.resize(produced);
    return out;
}

// A device-independent bitmap as a .bmp file: the file header it lacks, then itself.
std::optional<std::string> BitmapFile(std::string_view dib) {
    if (dib.size() < 16) return std::nullopt;
    Bytes info(dib, kBlipDib);
    const std::uint32_t headerSize = info.U32();
    std::uint32_t colors = 0;
    if (headerSize >= 40 && dib.size() >= 40) {
        info.Seek(14);
        const std::uint16_t bits = info.U16();
        const std::uint32_t compression = info.U32();
        info.Seek(32);
        colors = info.U32();
        if (colors == 0 && bits <= 8) colors = 1u << bits;
        if (headerSize == 40 && compression == 3) colors += 3;  // the three bit-field masks
    } else if (headerSize == 12) {
        info.Seek(10);
        const std::uint16_t bits = info.U16();
        colors = bits <= 8 ? (1u << bits) : 0;
    }
    const std::uint64_t offset =
        14 + static_cast<std::uint64_t>(headerSize) + 4 * static_cast<std::uint64_t>(colors);
    const std::uint64_t total = 14 + dib.size();
    if (offset > total || total > 0xFFFFFFFFu) return std::nullopt;
    std::string out = "BM";
    const auto put32 = [&](std::uint64_t v) {
        for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    put32(total);
    put32(0);
    put32(offset);
    out.append(dib);
    return out;
}

// The image of a BLIP record, as a file of its format.
StoredPicture ReadBlip(std::string_view data, const Rec& blip) {
    StoredPicture picture;
    Bytes b(data.substr(blip.begin, blip.Size()), blip.type);
    // Each format has two instance codes: the odd one is followed by a second identifier.
    const std::size_t ids = (blip.instance & 1) ? 32 : 16;
    std::optional<std::string> image;
    try {
        switch (blip.type) {
            case kBlipEmf:
            case kBlipWmf:
            case kBlipPict: {
                picture.extension = blip.type == kBlipEmf   ? ".emf"
                                    : blip.type == kBlipWmf ? ".wmf"
                                                            : ".pict";
                b.Skip(ids);
                const std::uint32_t size = b.U32();
                b.Skip(16 + 8);  // the bounds and size of the picture
                const std::uint32_t saved = b.U32();
                const std::uint8_t compression = b.U8();
                b.Skip(1);
                const auto body = b.Take(std::min<std::size_t>(saved, b.Left()));
                if (compression == 0x00) {
                    image = Inflate(body, size);
                } else if (compression == 0xFE && size <= kMaxPictureBytes) {
                    image = std::string(body.substr(0, std::min<std::size_t>(size, body.size())));
                }
                break;
            }
            case kBlipJpeg:
            case kBlipJpegCmyk:
            case kBlipPng:
            case kBlipDib:
            case kBlipTiff: {
                picture.extension = blip.type == kBlipPng    ? ".png"
                                    : blip.type == kBlipDib  ? ".bmp"
                                    : blip.type == kBlipTiff ? ".tiff"
                                                             : ".jpeg";
                b.Skip(ids + 1);  // identifiers and a tag byte
                const auto body = b.Take(b.Left());
                if (body.size() > kMaxPictureBytes) break;
                image = blip.type == kBlipDib ? BitmapFile(body) : std::string(body);
                break;
            }
            default:
                break;
        }
    } catch (const biff::CutShort&) {
        image.reset();  // a damaged picture is kept without its image
    }
    if (image && !image->empty())
        picture.bytes = std::make_shared<const std::string>(std::move(*image));
    return picture;
}

StoredPicture ReadBse(std::string_view data, const Rec& bse) {
    Bytes b(data.substr(bse.begin, bse.Size()), kBse);
    try {
        b.Skip(2 + 16 + 2 + 4);  // types, identifier, tag, size
        const std::uint32_t references = b.U32();
        b.Skip(4 + 1);  // the delay-stream offset, unused
        const std::uint8_t nameBytes = b.U8();
        b.Skip(2 + nameBytes);
        if (references == 0 || b.Left() < 8) return {};  // a deleted or an outside picture
        const auto inner = Records(data, bse.begin + b.Pos(), bse.end);
        return inner.empty() ? StoredPicture{} : ReadBlip(data, inner.front());
    } catch (const biff::CutShort&) {
        return {};
    } catch (const Fault&) {
        return {};
    }
}

// --- shape properties -------------------------------------------------------------

class Properties {
  public:
    // An OPT record's property table and the complex values after it.
    void Read(std::string_view body, unsigned count) {
        if (count > body.size() / 6) {
            throw Fault{"a shape's property table lists " + std::to_string(count) +
                        " properties, more than its record holds"};
        }
        Bytes b(body, kOpt);
        std::vector<std::pair<std::uint16_t, std::uint32_t>> complex;
        for (unsigned i = 0; i < count; ++i) {
            const std::uint16_t id = b.U16();
            const std::uint32_t value = b.U32();
            const auto pid = static_cast<std::uint16_t>(id & 0x3FFF);
            if (id & 0x8000) {
                complex.emplace_back(pid, value);
            } else {
                values_[pid] = value;
            }
        }
        // Complex values follow in the table's order; one that runs past the record
        // ends them.
        std::size_t pos = b.Pos();
        for (auto [pid, size] : complex) {
            if (size > body.size() - pos) break;
            size += ArrayHeaderLeftOut(pid, body.substr(pos), size);
            if (size > body.size() - pos) break;
            complex_[pid] = body.substr(pos, size);
            pos += size;
        }
    }
    bool Has(std::uint16_t pid) const { return values_.count(pid) || complex_.count(pid); }
    std::uint32_t Get(std::uint16_t pid, std::uint32_t fallback) const {
        const auto it = values_.find(pid);
        return it == values_.end() ? fallback : it->second;
    }
    std::int32_t Signed(std::uint16_t pid, std::int32_t fallback) const {
        return static_cast<std::int32_t>(Get(pid, static_cast<std::uint32_t>(fallback)));
    }
    // A flag of a Boolean property set: its value when the writer says it is set (the
    // "use" bit 16 places higher), else the default. Writers that set no "use" bit at
    // all give the flags as they are.
    bool Flag(std::uint16_t pid, std::uint32_t bit, bool fallback) const {
        const auto it = values_.find(pid);
        if (it == values_.end()) return fallback;
        const std::uint32_t v = it->second;
        if ((v >> 16) == 0) return (v & bit) != 0;
        return (v & (bit << 16)) ? (v & bit) != 0 : fallback;
    }
    // A UTF-16 text value, up to its terminating zero.
    std::string Text(std::uint16_t pid) const {
        const auto it = complex_.find(pid);
        if (it == complex_.end()) return {};
        std::string_view units = it->second.substr(0, it->second.size() & ~std::size_t{1});
        for (std::size_t i = 0; i + 1 < units.size(); i += 2) {
            if (units[i] == 0 && units[i + 1] == 0) {
                units = units.substr(0, i);
                break;
            }
        }
        return Utf16LeToUtf8(units);
    }

  private:
    // An array value (vertices, segments, guides...) starts with a 6-byte header: its
    // element count twice and the size of one element. Writers give the value's size
    // with or without that header; 6 when it was left out.
    static std::uint32_t ArrayHeaderLeftOut(std::uint16_t pid, std::string_view value,
                                            std::uint32_t size) {
        static constexpr std::uint16_t kArrays[] = {0x0145, 0x0146, 0x0151, 0x0152, 0x0155, 0x0156,
                                                    0x0157, 0x0158, 0x0197, 0x01C5, 0x0383};
        if (std::find(std::begin(kArrays), std::end(kArrays), pid) == std::end(kArrays) ||
            value.size() < 6)
            return 0;
        Bytes header(value, kOpt);
        const std::uint32_t count = header.U16();
        header.Skip(2);
        const std::uint16_t element = header.U16();
        const std::uint32_t elementSize = element == 0xFFF0 ? 4 : element;
        return count * elementSize == size ? 6 : 0;
    }

    std::map<std::uint16_t, std::uint32_t> values_;
    std::map<std::uint16_t, std::string_view> complex_;
};

// The DrawingML preset of an Office Drawing shape type; "" for types without one.
std::string PresetOf(std::uint16_t shapeType) {
    static const std::map<std::uint16_t, const char*> kPresets = {
        {1, "rect"},
        {2, "roundRect"},
        {3, "ellipse"},
        {4, "diamond"},
        {5, "triangle"},
        {6, "rtTriangle"},
        {7, "parallelogram"},
        {8, "trapezoid"},
        {9, "hexagon"},
        {10, "octagon"},
        {11, "plus"},
        {12, "star5"},
        {13, "rightArrow"},
        {15, "homePlate"},
        {16, "cube"},
        {19, "arc"},
        {20, "line"},
        {21, "plaque"},
        {22, "can"},
        {23, "donut"},
        {32, "straightConnector1"},
        {33, "bentConnector2"},
        {34, "bentConnector3"},
        {35, "bentConnector4"},
        {36, "bentConnector5"},
        {37, "curvedConnector2"},
        {38, "curvedConnector3"},
        {39, "curvedConnector4"},
        {40, "curvedConnector5"},
        {41, "callout1"},
        {42, "callout2"},
        {43, "callout3"},
        {44, "accentCallout1"},
        {45, "accentCallout2"},
        {46, "accentCallout3"},
        {47, "borderCallout1"},
        {48, "borderCallout2"},
        {49, "borderCallout3"},
        {50, "accentBorderCallout1"},
        {51, "accentBorderCallout2"},
        {52, "accentBorderCallout3"},
        {53, "ribbon"},
        {54, "ribbon2"},
        {55, "chevron"},
        {56, "pentagon"},
        {57, "noSmoking"},
        {58, "star8"},
        {59, "star16"},
        {60, "star32"},
        {61, "wedgeRectCallout"},
        {62, "wedgeRoundRectCallout"},
        {63, "wedgeEllipseCallout"},
        {64, "wave"},
        {65, "foldedCorner"},
        {66, "leftArrow"},
        {67, "downArrow"},
        {68, "upArrow"},
        {69, "leftRightArrow"},
        {70, "upDownArrow"},
        {71, "irregularSeal1"},
        {72, "irregularSeal2"},
        {73, "lightningBolt"},
        {74, "heart"},
        {76, "quadArrow"},
        {77, "leftArrowCallout"},
        {78, "rightArrowCallout"},
        {79, "upArrowCallout"},
        {80, "downArrowCallout"},
        {81, "leftRightArrowCallout"},
        {82, "upDownArrowCallout"},
        {83, "quadArrowCallout"},
        {84, "bevel"},
        {85, "leftBracket"},
        {86, "rightBracket"},
        {87, "leftBrace"},
        {88, "rightBrace"},
        {89, "leftUpArrow"},
        {90, "bentUpArrow"},
        {91, "bentArrow"},
        {92, "star24"},
        {93, "stripedRightArrow"},
        {94, "notchedRightArrow"},
        {95, "blockArc"},
        {96, "smileyFace"},
        {97, "verticalScroll"},
        {98, "horizontalScroll"},
        {99, "circularArrow"},
        {101, "uturnArrow"},
        {102, "curvedRightArrow"},
        {103, "curvedLeftArrow"},
        {104, "curvedUpArrow"},
        {105, "curvedDownArrow"},
        {106, "cloudCallout"},
        {107, "ellipseRibbon"},
        {108, "ellipseRibbon2"},
        {109, "flowChartProcess"},
        {110, "flowChartDecision"},
        {111, "flowChartInputOutput"},
        {112, "flowChartPredefinedProcess"},
        {113, "flowChartInternalStorage"},
        {114, "flowChartDocument"},
        {115, "flowChartMultidocument"},
        {116, "flowChartTerminator"},
        {117, "flowChartPreparation"},
        {118, "flowChartManualInput"},
        {119, "flowChartManualOperation"},
        {120, "flowChartConnector"},
        {121, "flowChartPunchedCard"},
        {122, "flowChartPunchedTape"},
        {123, "flowChartSummingJunction"},
        {124, "flowChartOr"},
        {125, "flowChartCollate"},
        {126, "flowChartSort"},
        {127, "flowChartExtract"},
        {128, "flowChartMerge"},
        {129, "flowChartOfflineStorage"},
        {130, "flowChartOnlineStorage"},
        {131, "flowChartMagneticTape"},
        {132, "flowChartMagneticDisk"},
        {133, "flowChartMagneticDrum"},
        {134, "flowChartDisplay"},
        {135, "flowChartDelay"},
        {176, "flowChartAlternateProcess"},
        {177, "flowChartOffpageConnector"},
        {182, "leftRightUpArrow"},
        {183, "sun"},
        {184, "moon"},
        {185, "bracketPair"},
        {186, "bracePair"},
        {187, "star4"},
        {188, "doubleWave"},
        {189, "actionButtonBlank"},
        {190, "actionButtonHome"},
        {191, "actionButtonHelp"},
        {192, "actionButtonInformation"},
        {193, "actionButtonForwardNext"},
        {194, "actionButtonBackPrevious"},
        {195, "actionButtonEnd"},
        {196, "actionButtonBeginning"},
        {197, "actionButtonReturn"},
        {198, "actionButtonDocument"},
        {199, "actionButtonSound"},
        {200, "actionButtonMovie"},
        {202, "rect"}};
    const auto it = kPresets.find(shapeType);
    return it == kPresets.end() ? std::string() : it->second;
}

// The name Excel gives an object that the file does not name.
const char* DefaultName(std::uint16_t objectType, Integer type) {
    switch (objectType) {
        case kObjGroup:
            return "Group";
        case kObjLine:
            return "Line";
        case kObjRectangle:
            return "Rectangle";
        case kObjOval:
            return "Oval";
        case kObjArc:
            return "Arc";
        case kObjChart:
            return "Chart";
        case kObjText:
            return "Text Box";
        case 0x07:
            return "Button";
        case kObjPicture:
            return "Picture";
        case kObjPolygon:
            return "Freeform";
        case 0x0B:
            return "Check Box";
        case 0x0C:
            return "Option Button";
        case 0x0D:
            return "Edit Box";
        case 0x0E:
            return "Label";
        case 0x0F:
            return "Dialog Frame";
        case 0x10:
            return "Spinner";
        case 0x11:
            return "Scroll Bar";
        case 0x12:
            return "List Box";
        case 0x13:
            return "Group Box";
        case 0x14:
            return "Drop Down";
        default:
            return type == excel::msoPicture ? "Picture" : "AutoShape";
    }
}

Integer DashStyleOf(std::uint32_t dashing) {
    // Solid, the system's dash, dot, dash-dot and dash-dot-dot, then the dot, dash,
    // long dash, dash-dot, long dash-dot and long dash-dot-dot of other writers.
    static constexpr Integer kStyles[] = {1, 2, 3, 5, 6, 3, 4, 7, 5, 8, 9};
    return dashing < std::size(kStyles) ? kStyles[dashing] : 1;
}

Integer ArrowheadStyleOf(std::uint32_t code) {
    // None, triangle, stealth, diamond, oval, open.
    static constexpr Integer kStyles[] = {1, 2, 4, 5, 6, 3};
    return code < std::size(kStyles) ? kStyles[code] : 1;
}

Integer ArrowheadWidthOf(std::uint32_t code) {
    return code <= 2 ? static_cast<Integer>(code + 1) : 2;
}

double Degrees(std::int32_t fixed) {
    double d = std::fmod(static_cast<double>(fixed) / 65536.0, 360.0);
    if (d > 180) d -= 360;
    if (d <= -180) d += 360;
    return d;
}

// --- a sheet's drawing ------------------------------------------------------------

class LegacyDrawingReader {
  public:
    LegacyDrawingReader(const SheetDrawingRecords& records, const PictureStore& store,
                        const std::vector<std::uint32_t>& palette, const WorkbookModel& book,
                        SheetModel& sheet)
        : records_(records),
          data_(records.containers),
          store_(store),
          palette_(palette),
          book_(book),
          sheet_(sheet) {}

    void Read() {
        for (const Rec& top : Records(data_, 0, data_.size())) {
            if (top.type != kDgContainer) continue;
            for (const Rec& child : Children(data_, top)) {
                if (child.type == kSpgrContainer) ReadGroup(child);
            }
        }
    }

  private:
    // The sheet's top group: its shapes and its groups, each group one object.
    void ReadGroup(const Rec& group) {
        for (const Rec& child : Children(data_, group)) {
            if (child.type == kSpContainer) {
                ReadShape(child, false);
            } else if (child.type == kSpgrContainer) {
                // A group's first shape holds the group's own anchor and name.
                for (const Rec& inner : Children(data_, child)) {
                    if (inner.type != kSpContainer) continue;
                    ReadShape(inner, true);
                    break;
                }
            }
        }
    }

    // The OBJ or TXO record that came after the drawing record ending at `at`, and
    // before the shape's container ends.
    static const SheetDrawingRecords::Record* Following(
        const std::vector<SheetDrawingRecords::Record>& list, std::size_t at, std::size_t end) {
        const auto it = std::lower_bound(
            list.begin(), list.end(), at,
            [](const SheetDrawingRecords::Record& r, std::size_t v) { return r.at < v; });
        return it != list.end() && it->at <= end && !it->data.empty() ? &*it : nullptr;
    }

    void ReadShape(const Rec& container, bool group) {
        std::optional<Rec> fsp, anchor, clientData, textbox;
        Properties props;
        for (const Rec& r : Children(data_, container)) {
            switch (r.type) {
                case kFsp:
                    fsp = r;
                    break;
                case kOpt:
                case kTertiaryOpt:
                    props.Read(data_.substr(r.begin, r.Size()), r.instance);
                    break;
                case kClientAnchor:
                    anchor = r;
                    break;
                case kClientData:
                    clientData = r;
                    break;
                case kClientTextbox:
                    textbox = r;
                    break;
                default:
                    break;
            }
        }
        if (!fsp || fsp->Size() < 8 || !anchor) return;  // not an object placed on the sheet
        Bytes f(data_.substr(fsp->begin, fsp->Size()), kFsp);
        const std::uint32_t spid = f.U32();
        const std::uint32_t flags = f.U32();
        if (flags & (kFlagPatriarch | kFlagDeleted)) return;

        std::uint16_t objectType = 0xFFFF, objectId = 0;
        if (clientData) {
            if (const auto* obj = Following(records_.objects, clientData->end, container.end)) {
                Bytes o(obj->data.front(), biff::kObj);
                if (o.Left() >= 8 && o.U16() == 0x15) {  // the common object data comes first
                    o.Skip(2);
                    objectType = o.U16();
                    objectId = o.U16();
                }
            }
        }
        if (objectType == kObjNote) return;  // cell comments are not drawing objects

        DrawingObject o;
        Classify(group, objectType, fsp->instance, (flags & kFlagOle) != 0, props.Has(kVertices),
                 o);
        o.name = props.Text(kShapeName);
        if (o.name.empty()) {
            o.name =
                std::string(DefaultName(group ? std::uint16_t{kObjGroup} : objectType, o.type)) +
                " " + std::to_string(objectType != 0xFFFF ? objectId : spid % 1024);
        }
        o.anchor = Anchor(*anchor);
        o.rotation = std::fmod(static_cast<double>(props.Signed(kRotation, 0)) / 65536.0, 360.0);
        if (o.rotation < 0) o.rotation += 360;
        o.flipH = flags & kFlagFlipH;
        o.flipV = flags & kFlagFlipV;
        if (o.preset == "roundRect") {
            o.adjustments = {props.Signed(kAdjustValue, 3600) / 21600.0};
        } else if (o.preset == "arc") {
            o.adjustments = {Degrees(props.Signed(kAdjustValue, -90 * 65536)),
                             Degrees(props.Signed(kAdjust2Value, 0))};
        }
        ReadFillAndLine(props, o);
        if (o.type == excel::msoPicture) ReadPicture(props, o);

        const SheetDrawingRecords::Record* text =
            textbox ? Following(records_.texts, textbox->end, container.end) : nullptr;
        const bool holdsText =
            o.type == excel::msoAutoShape || o.type == excel::msoTextBox || o.type == 5;
        if (holdsText && (text || o.type == excel::msoTextBox)) ReadText(text, o);
        if (sheet_.drawing.objects.size() >= kMaxDrawingObjects)
            throw Fault{"the drawing has more objects than the limit"};
        sheet_.drawing.objects.push_back(std::move(o));
    }

    // The object's kind in Excel's terms, from the object record when there is one,
    // else from the shape type.
    static void Classify(bool group, std::uint16_t objectType, std::uint16_t shapeType, bool ole,
                         bool vertices, DrawingObject& o) {
        o.preset = PresetOf(shapeType);
        const auto autoShape = [&](const std::string& preset) {
            o.type = excel::msoAutoShape;
            o.preset = preset;
            o.autoShapeType = AutoShapeTypeOf(preset);
        };
        const auto byShapeType = [&] {
            if (shapeType == 20 || shapeType == 32) {
                o.type = excel::msoLine;
            } else if (shapeType == 202) {
                o.type = excel::msoTextBox;
                o.autoShapeType = 1;
            } else if (shapeType == 75) {
                o.type = ole ? 7 : excel::msoPicture;  // an embedded object shows a picture
                o.autoShapeType = 1;
            } else if (shapeType == 201) {
                o.type = 8;  // a form control
            } else if (o.preset.empty() && vertices) {
                o.type = 5;  // a freeform
            } else {
                autoShape(o.preset);
            }
        };
        if (group) {
            o.type = 6;
            o.preset.clear();
            return;
        }
        switch (objectType) {
            case kObjGroup:
                o.type = 6;
                break;
            case kObjLine:
                o.type = excel::msoLine;
                o.preset = "line";
                break;
            case kObjRectangle:
                autoShape(o.preset.empty() ? "rect" : o.preset);
                break;
            case kObjOval:
                autoShape("ellipse");
                break;
            case kObjArc:
                autoShape("arc");
                break;
            case kObjChart:
                o.type = 3;
                break;
            case kObjText:
                o.type = excel::msoTextBox;
                o.preset = "rect";
                o.autoShapeType = 1;
                break;
            case kObjPicture:
                o.type = ole ? 7 : excel::msoPicture;
                o.autoShapeType = 1;
                break;
            case kObjPolygon:
                o.type = 5;
                break;
            case kObjOfficeArt:
            case 0xFFFF:
                byShapeType();
                break;
            default:
                o.type = 8;  // buttons, check boxes, lists and the other form controls
                break;
        }
    }

    // A cell anchor: the cell under each corner and the corner's offset in it, in
    // 1/1024 of the column's width and 1/256 of the row's height.
    DrawingAnchor Anchor(const Rec& r) const {
        if (r.Size() < 18) throw Fault{"a shape's cell anchor is cut short"};
        Bytes b(data_.substr(r.begin, r.Size()), kClientAnchor);
        b.Skip(2);  // how the object moves with its cells
        DrawingAnchor a;
        a.kind = DrawingAnchor::Kind::TwoCell;
        const auto corner = [&](Long& col, std::int64_t& colOff, Long& row, std::int64_t& rowOff) {
            col = std::min<Long>(b.U16(), kMaxCols - 1);
            const double dx = std::min(b.U16(), std::uint16_t{1024}) / 1024.0;
            row = std::min<Long>(b.U16(), kMaxRows - 1);
            const double dy = std::min(b.U16(), std::uint16_t{256}) / 256.0;
            colOff = std::llround(dx * ColumnWidthPoints(book_, sheet_, col + 1) * kEmuPerPoint);
            rowOff = std::llround(dy * RowHeightPoints(book_, sheet_, row + 1) * kEmuPerPoint);
        };
        corner(a.fromCol, a.fromColOff, a.fromRow, a.fromRowOff);
        corner(a.toCol, a.toColOff, a.toRow, a.toRowOff);
        return a;
    }

    // An Office Drawing colour: an RGB value or an index into the workbook's palette
    // (64 and above: the window's text and background).
    std::uint32_t ColorOf(std::uint32_t ref, std::uint32_t fallback) const {
        const std::uint32_t flags = ref >> 24;
        if (flags & 0x10) return fallback;  // a colour of the system
        if (flags & 0x09) {
            const std::uint32_t index = ref & 0xFF;
            if (index < palette_.size()) return palette_[index];
            return index == 64 ? 0x000000 : index == 65 ? 0xFFFFFF : fallback;
        }
        return (ref & 0xFF) << 16 | (ref & 0xFF00) | ((ref >> 16) & 0xFF);
    }

    void ReadFillAndLine(const Properties& props, DrawingObject& o) const {
        const bool shape =
            o.type == excel::msoAutoShape || o.type == excel::msoTextBox || o.type == 5;
        o.filled = props.Flag(kFillBooleans, 0x10, shape);
        o.fillRgb = ColorOf(props.Get(kFillColor, 0xFFFFFF), 0xFFFFFF);
        if (o.type == excel::msoLine) o.filled = false;
        const bool line = props.Flag(kLineBooleans, 0x08, o.type != excel::msoPicture);
        o.lineWeight = line ? props.Get(kLineWidth, 9525) / kEmuPerPoint : 0;
        o.dashStyle = DashStyleOf(props.Get(kLineDashing, 0));
        o.beginArrowStyle = ArrowheadStyleOf(props.Get(kLineStartArrowhead, 0));
        o.endArrowStyle = ArrowheadStyleOf(props.Get(kLineEndArrowhead, 0));
        o.beginArrowWidth = ArrowheadWidthOf(props.Get(kLineStartArrowWidth, 1));
        o.endArrowWidth = ArrowheadWidthOf(props.Get(kLineEndArrowWidth, 1));
    }

    void ReadPicture(const Properties& props, DrawingObject& o) const {
        const std::uint32_t index = props.Get(kPib, 0);
        if (index >= 1 && index <= store_.pictures.size()) {
            const StoredPicture& p = store_.pictures[index - 1];
            if (p.bytes) {
                o.mediaPart = "image" + std::to_string(index) + p.extension;
                o.mediaBytes = p.bytes;
                return;
            }
        }
        o.mediaMissing = true;
    }

    // A TXO record: the text in the CONTINUE records after it, each starting with a
    // byte that says whether its characters are 8- or 16-bit, then the formatting runs
    // (8 bytes each: the first character and the font). A text box without a text
    // record, or whose record is damaged, has no text.
    void ReadText(const SheetDrawingRecords::Record* record, DrawingObject& o) const {
        o.hasTextFrame = true;
        o.fontName = book_.DefaultFont().name;
        o.fontSize = book_.DefaultFont().size;
        if (!record || record->data.front().size() < 14) return;
        const auto& txo = *record;
        Bytes head(txo.data.front(), biff::kTxo);
        head.Skip(10);
        std::size_t left = head.U16();
        head.Skip(2);  // the runs' length: the records after the text hold them
        const std::uint16_t emptyFont = head.Left() >= 2 ? head.U16() : 0;
        std::string units;  // UTF-16, since a surrogate pair may be cut between records
        std::size_t next = 1;
        for (; left > 0 && next < txo.data.size(); ++next) {
            std::string_view d = txo.data[next];
            if (d.empty()) continue;
            const bool wide = d.front() & 0x01;
            d.remove_prefix(1);
            const std::size_t n = std::min(left, wide ? d.size() / 2 : d.size());
            if (wide) {
                units.append(d.substr(0, 2 * n));
            } else {
                for (char c : d.substr(0, n)) {
                    units += c;
                    units += '\0';
                }
            }
            left -= n;
        }
        o.text = Utf16LeToUtf8(units);
        if (o.text.size() > kMaxTextPerShape) o.text.resize(kMaxTextPerShape);
        // The font of the first character: the first run's, else the empty text's.
        std::uint16_t font = emptyFont;
        if (next < txo.data.size() && txo.data[next].size() >= 4) {
            Bytes run(txo.data[next], biff::kTxo);
            run.Skip(2);
            font = run.U16();
        }
        const Font& f = font < book_.fonts.size() ? book_.fonts[font] : book_.DefaultFont();
        o.fontName = f.name;
        o.fontSize = f.size;
    }

    const SheetDrawingRecords& records_;
    std::string_view data_;
    const PictureStore& store_;
    const std::vector<std::uint32_t>& palette_;
    const WorkbookModel& book_;
    SheetModel& sheet_;
};

}  // namespace

void SheetDrawingRecords::Add(std::uint16_t id, std::uint16_t previous, std::string_view data) {
    switch (id) {
        case biff::kMsoDrawing:
            containers.append(data);
            break;
        case biff::kObj:
            objects.push_back({containers.size(), {data}});
            break;
        case biff::kTxo: {
            Record text{containers.size(), {data}};
            if (data.size() >= 14) {
                Bytes head(data, biff::kTxo);
                head.Skip(10);
                text.charactersLeft = head.U16();
                text.runBytesLeft = head.U16();
            }
            texts.push_back(std::move(text));
            break;
        }
        case biff::kContinue: {
            Record* text = previous == biff::kTxo && !texts.empty() ? &texts.back() : nullptr;
            if (text && text->charactersLeft > 0) {
                // Characters after a byte that says whether they are 8- or 16-bit.
                text->data.push_back(data);
                const std::size_t bytes = data.empty() ? 0 : data.size() - 1;
                const std::size_t count = !data.empty() && (data[0] & 0x01) ? bytes / 2 : bytes;
                text->charactersLeft -=
                    std::min(text->charactersLeft, std::max<std::size_t>(count, 1));
            } else if (text && text->runBytesLeft > 0) {
                text->data.push_back(data);
                text->runBytesLeft -=
                    std::min(text->runBytesLeft, std::max<std::size_t>(data.size(), 1));
            } else if (previous == biff::kMsoDrawing || previous == biff::kObj ||
                       previous == biff::kTxo) {
                containers.append(data);
            }
            break;
        }
        default:
            break;
    }
}

PictureStore ReadPictureStore(std::string_view group) {
    PictureStore store;
    try {
        for (const Rec& top : Records(group, 0, group.size())) {
            if (top.type != kDggContainer) continue;
            for (const Rec& child : Children(group, top)) {
                if (child.type != kBStoreContainer) continue;
                for (const Rec& entry : Children(group, child)) {
                    if (store.pictures.size() >= kMaxPictureStoreEntries)
                        throw Fault{"the picture store holds more pictures than the limit"};
                    // Entries keep their places: shapes refer to them by number.
                    store.pictures.push_back(entry.type == kBse ? ReadBse(group, entry)
                                                                : StoredPicture{});
                }
            }
        }
    } catch (const Fault& fault) {
        store.pictures.clear();
        store.error = "the workbook's picture store cannot be read: " + fault.what;
    }
    return store;
}

void ReadLegacySheetDrawing(const SheetDrawingRecords& records, const PictureStore& store,
                            const std::vector<std::uint32_t>& palette, const WorkbookModel& book,
                            SheetModel& sheet) {
    auto& drawing = sheet.drawing;
    if (records.Empty()) return;
    std::string why;
    try {
        LegacyDrawingReader(records, store, palette, book, sheet).Read();
        const bool pictures = std::any_of(drawing.objects.begin(), drawing.objects.end(),
                                          [](const DrawingObject& o) { return o.mediaMissing; });
        if (pictures && !store.error.empty()) why = store.error;
    } catch (const Fault& fault) {
        why = fault.what;
    } catch (const biff::CutShort& cut) {
        why = "the drawing record " + HexType(cut.record) + " is cut short";
    }
    if (why.empty()) return;
    drawing.objects.clear();
    drawing.error =
        "The drawing of the sheet " + sheet.name + " in " + book.path + " cannot be read: " + why;
}

}  // namespace tbln::workbook

#include "adapters/dxf/dxf_drawing.hpp"

#include <dxflib/dl_dxf.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <map>
#include <numbers>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "core/unicode.hpp"

namespace tbln::dxf {

using namespace drawing;

namespace {

// AutoCAD's lineweights in hundredths of a millimetre; a pen takes the nearest.
int Lineweight(double mm) {
    static constexpr std::array kWeights = {0,  5,  9,  13, 15, 18,  20,  25,  30,  35,  40,  50,
                                            53, 60, 70, 80, 90, 100, 106, 120, 140, 158, 200, 211};
    const double want = mm * 100;
    int best = 0;
    for (int w : kWeights) {
        if (std::abs(w - want) < std::abs(best - want)) best = w;
    }
    return best;
}

// The nearest of AutoCAD's first colours, for programs that ignore true colour.
int NearestAci(Rgb c) {
    struct Entry {
        int aci;
        Rgb rgb;
    };
    static constexpr std::array<Entry, 9> kAci = {{{1, {255, 0, 0}},
                                                   {2, {255, 255, 0}},
                                                   {3, {0, 255, 0}},
                                                   {4, {0, 255, 255}},
                                                   {5, {0, 0, 255}},
                                                   {6, {255, 0, 255}},
                                                   {7, {0, 0, 0}},
                                                   {8, {128, 128, 128}},
                                                   {9, {192, 192, 192}}}};
    int best = 7;
    int bestDistance = 1 << 30;
    for (const auto& e : kAci) {
        const int dr = c.r - e.rgb.r, dg = c.g - e.rgb.g, db = c.b - e.rgb.b;
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = e.aci;
        }
    }
    // Pale fills read better as light grey than as white on white.
    if (best == 7 && c.r + c.g + c.b > 600) best = 9;
    return best;
}

// Black (and automatic, which the drawing room gives as black) is ACI 7 without a true
// colour: CAD shows it black on white paper and white on a dark model space.
int Color24(Rgb c) {
    if (c == Rgb{}) return -1;
    return (c.r << 16) | (c.g << 8) | c.b;
}

// Our own line type names: pasting the table into a template that defines the standard
// names with other patterns must change neither.
std::string LinetypeName(Dash dash) {
    if (dash == Dash::Solid) return "CONTINUOUS";
    return "TBLN_" + std::string(DashName(dash));
}

void AppendHex(std::string& out, std::uint32_t code) {
    std::array<char, 16> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "\\U+%04X", static_cast<unsigned>(code));
    out += buffer.data();
}

// A string as this AutoCAD 2000 file (code page ANSI_1252) holds it, plain printable
// ASCII: other characters as \U+XXXX (past the basic plane as a UTF-16 pair, as CAD
// programs write them), a tab as one space, other control characters dropped.
std::string DxfString(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size() + 16);
    for (std::size_t i = 0; i < utf8.size();) {
        std::size_t length = 1;
        const char32_t c = DecodeUtf8At(utf8, i, length);
        i += length;
        if (c == '\t') {
            out += ' ';
        } else if (c < 0x20 || c == 0x7F) {
            continue;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c > 0xFFFF) {
            const std::uint32_t v = c - 0x10000;
            AppendHex(out, 0xD800 + (v >> 10));
            AppendHex(out, 0xDC00 + (v & 0x3FF));
        } else {
            AppendHex(out, c);
        }
    }
    return out;
}

// True when the text shows nothing: only spaces, line breaks and control characters
// (CAD renderers fail to lay out an MTEXT of blanks, and it draws nothing anyway).
bool Blank(std::string_view utf8) {
    for (std::size_t i = 0; i < utf8.size();) {
        std::size_t length = 1;
        const char32_t c = DecodeUtf8At(utf8, i, length);
        i += length;
        if (c > 0x20 && c != 0x7F && c != 0xA0 && c != 0x3000) return false;
    }
    return true;
}

// MTEXT content in pieces of at most 250 characters (groups 3, the last one group 1), cut
// only between escapes: a reader that decodes \U+XXXX piece by piece sees each whole.
void WriteMTextContent(DL_WriterA& dw, std::string_view s) {
    constexpr std::size_t kPiece = 250;
    std::size_t start = 0;
    while (s.size() - start > kPiece) {
        std::size_t i = start;
        while (i < s.size()) {
            std::size_t length = 1;
            if (s[i] == '\\' && i + 1 < s.size()) {
                length = s.compare(i, 3, "\\U+") == 0 && i + 7 <= s.size() ? 7 : 2;
            }
            if (i + length - start > kPiece) break;
            i += length;
        }
        dw.dxfString(3, std::string(s.substr(start, i - start)));
        start = i;
    }
    dw.dxfString(1, std::string(s.substr(start)));
}

// The active viewport, so the drawing opens on the table: centred on the extents and
// high enough to show them whole in a window of the usual proportions.
void WriteActiveViewport(DL_WriterA& dw, const Frame& frame) {
    constexpr double kAspect = 1.5;
    const double w = std::max(frame.max.x - frame.min.x, 1e-6);
    const double h = std::max(frame.max.y - frame.min.y, 1e-6);
    const double height = std::max(h, w / kAspect) * 1.1;
    dw.dxfString(0, "TABLE");
    dw.dxfString(2, "VPORT");
    dw.dxfHex(5, 0x8);
    dw.dxfString(100, "AcDbSymbolTable");
    dw.dxfInt(70, 1);
    dw.dxfString(0, "VPORT");
    dw.handle();
    dw.dxfHex(330, 0x8);
    dw.dxfString(100, "AcDbSymbolTableRecord");
    dw.dxfString(100, "AcDbViewportTableRecord");
    dw.dxfString(2, "*Active");
    dw.dxfInt(70, 0);
    const auto xy = [&](int code, double x, double y) {
        dw.dxfReal(code, x);
        dw.dxfReal(code + 10, y);
    };
    xy(10, 0.0, 0.0);
    xy(11, 1.0, 1.0);
    xy(12, (frame.min.x + frame.max.x) / 2, (frame.min.y + frame.max.y) / 2);
    xy(13, 0.0, 0.0);
    xy(14, 10.0, 10.0);
    xy(15, 10.0, 10.0);
    dw.coord(16, 0.0, 0.0, 1.0);
    dw.coord(17, 0.0, 0.0, 0.0);
    dw.dxfReal(40, height);
    dw.dxfReal(41, kAspect);
    dw.dxfReal(42, 50.0);
    dw.dxfReal(43, 0.0);
    dw.dxfReal(44, 0.0);
    dw.dxfReal(50, 0.0);
    dw.dxfReal(51, 0.0);
    for (const auto& [code, value] : {std::pair{71, 0},
                                      {72, 100},
                                      {73, 1},
                                      {74, 3},
                                      {75, 0},
                                      {76, 0},
                                      {77, 0},
                                      {78, 0},
                                      {281, 0},
                                      {65, 1}}) {
        dw.dxfInt(code, value);
    }
    dw.coord(110, 0.0, 0.0, 0.0);
    dw.coord(111, 1.0, 0.0, 0.0);
    dw.coord(112, 0.0, 1.0, 0.0);
    dw.dxfInt(79, 0);
    dw.dxfReal(146, 0.0);
    dw.dxfString(0, "ENDTAB");
}

// A text style of a TrueType family. CAD programs look the font up by the family name in
// the style's extended data; the font file names the family's file as the drafter's
// system has it ("Arial.ttf"), not whatever stands in for it where the drawing was made.
void WriteTrueTypeStyle(DL_WriterA& dw, const std::string& family) {
    dw.dxfString(0, "STYLE");
    dw.handle();
    dw.dxfString(100, "AcDbSymbolTableRecord");
    dw.dxfString(100, "AcDbTextStyleTableRecord");
    dw.dxfString(2, family);
    dw.dxfInt(70, 0);
    dw.dxfReal(40, 0.0);
    dw.dxfReal(41, 1.0);
    dw.dxfReal(50, 0.0);
    dw.dxfInt(71, 0);
    dw.dxfReal(42, 2.5);
    dw.dxfString(3, family + ".ttf");
    dw.dxfString(4, "");
    dw.dxfString(1001, "ACAD");
    dw.dxfString(1000, family);
    dw.dxfInt(1071, 0);
}

// dxflib's own ASCII writer ends every line with a flush, one system call per line,
// which makes a large drawing take minutes; this one gathers the groups in a buffer of its
// own, handed to the caller's stream in large pieces, and reports a failed write at the end.
class StreamWriter : public DL_WriterA {
  public:
    explicit StreamWriter(std::ostream& out)
        : DL_WriterA("/dev/null", DL_Codes::AC1015), out_(out) {
        buffer_.reserve(kPiece + 4096);
    }
    // Hands the rest to the stream and flushes it; false when anything could not be written.
    bool Finish() {
        Drain();
        out_.flush();
        return out_.good();
    }
    // Reals to ten decimals, far below anything a drawing shows in any unit, and shorter
    // to write and to read than their shortest exact form; a value too large for that in
    // its exact form. Always with a decimal point, as CAD programs write them.
    void dxfReal(int gc, double value) const override {
        Code(gc);
        constexpr long long kScale = 10'000'000'000;
        if (std::isfinite(value) && std::abs(value) < 1e8) {
            const long long n = std::llround(value * static_cast<double>(kScale));
            const unsigned long long a = n < 0 ? 0ULL - static_cast<unsigned long long>(n)
                                               : static_cast<unsigned long long>(n);
            if (n < 0) buffer_ += '-';
            std::array<char, 24> text{};
            auto end = std::to_chars(text.data(), text.data() + text.size(), a / kScale).ptr;
            buffer_.append(text.data(), end);
            buffer_ += '.';
            unsigned long long fraction = a % kScale;
            if (fraction == 0) {
                buffer_ += '0';
            } else {
                std::array<char, 10> digits{};
                for (int i = 9; i >= 0; --i, fraction /= 10) {
                    digits[static_cast<std::size_t>(i)] = static_cast<char>('0' + fraction % 10);
                }
                std::size_t used = digits.size();
                while (digits[used - 1] == '0') --used;
                buffer_.append(digits.data(), used);
            }
            End();
            return;
        }
        std::array<char, 32> text{};
        const auto end = std::to_chars(text.data(), text.data() + text.size(), value).ptr;
        const std::string_view v(text.data(), static_cast<std::size_t>(end - text.data()));
        buffer_ += v;
        // Reals keep a decimal point, as CAD programs write them.
        if (v.find_first_of(".en") == std::string_view::npos) buffer_ += ".0";
        End();
    }
    void dxfInt(int gc, int value) const override {
        Code(gc);
        Number(value, 10);
    }
    void dxfHex(int gc, int value) const override {
        Code(gc);
        Number(static_cast<unsigned>(value), 16);
        if (!ownObjects_) return;
        // dxflib writes its objects without their owners: a dictionary's entries (350)
        // are owned by it, and each object names its owner right after its handle.
        const auto h = static_cast<unsigned long>(value);
        if (gc == 5) {
            current_ = h;
            if (const auto it = owners_.find(h); it != owners_.end()) {
                dxfHex(330, static_cast<int>(it->second));
            }
        } else if (gc == 350) {
            owners_.emplace(h, current_);
        }
    }
    // From here on the objects written get their owners.
    void OwnObjects() { ownObjects_ = true; }
    void dxfString(int gc, const char* value) const override {
        Code(gc);
        const std::string_view v(value);
        if (std::all_of(v.begin(), v.end(), [](char ch) { return ch >= 0x20 && ch < 0x7F; })) {
            buffer_ += v;
        } else {
            buffer_ += DxfString(v);
        }
        End();
    }
    void dxfString(int gc, const std::string& value) const override {
        dxfString(gc, value.c_str());
    }

  private:
    static constexpr std::size_t kPiece = 1 << 16;
    // A group code right-aligned in three places, and the end of its line; the codes a
    // DXF has (below 1072) are formatted once.
    struct CodeText {
        std::array<char, 8> text{};
        std::size_t size = 0;
    };
    static CodeText FormatCode(int gc) {
        CodeText c;
        const auto end = std::to_chars(c.text.data(), c.text.data() + c.text.size() - 1, gc).ptr;
        const auto digits = static_cast<std::size_t>(end - c.text.data());
        const std::size_t pad = digits < 3 ? 3 - digits : 0;
        std::copy_backward(c.text.data(), end, end + pad);
        std::fill_n(c.text.data(), pad, ' ');
        c.size = digits + pad + 1;
        c.text[c.size - 1] = '\n';
        return c;
    }
    void Code(int gc) const {
        static const auto kCodes = [] {
            std::array<CodeText, 1072> codes{};
            for (int i = 0; i < static_cast<int>(codes.size()); ++i) codes[i] = FormatCode(i);
            return codes;
        }();
        const CodeText c = gc >= 0 && gc < static_cast<int>(kCodes.size())
                               ? kCodes[static_cast<std::size_t>(gc)]
                               : FormatCode(gc);
        buffer_.append(c.text.data(), c.size);
    }
    // A whole number and the end of its line; hexadecimal digits in capitals.
    template <class N>
    void Number(N value, int base) const {
        std::array<char, 16> text{};
        const auto end = std::to_chars(text.data(), text.data() + text.size(), value, base).ptr;
        for (char* c = text.data(); c != end; ++c) {
            if (*c >= 'a' && *c <= 'f') *c = static_cast<char>(*c - 'a' + 'A');
        }
        buffer_.append(text.data(), end);
        End();
    }
    // The end of a group's value; a full buffer goes to the stream.
    void End() const {
        buffer_ += '\n';
        if (buffer_.size() >= kPiece) Drain();
    }
    void Drain() const {
        out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
        buffer_.clear();
    }
    std::ostream& out_;
    mutable std::string buffer_;
    bool ownObjects_ = false;
    mutable unsigned long current_ = 0;
    mutable std::map<unsigned long, unsigned long> owners_;
};

}  // namespace

struct DxfSink::State {
    explicit State(std::ostream& o) : out(o) {}
    std::ostream& out;
    ReferToPicture refer;
    MeasureRun measure;
    Frame frame;
    DL_Dxf dxf;
    std::unique_ptr<StreamWriter> dw;
    std::vector<std::pair<unsigned long, DL_ImageData>> images;

    DL_Attributes Attributes(Layer layer, const Pen& pen) const {
        return DL_Attributes(std::string(LayerName(layer)), NearestAci(pen.color),
                             Color24(pen.color), Lineweight(pen.width), LinetypeName(pen.dash));
    }
    // The head of an entity of ours: its kind, handle, layer, colour and lineweight, and a
    // line type where it is not the layers' own (continuous); the scale of the line type
    // is left at its default.
    void Head(const char* kind, Layer layer, const Pen& pen) const {
        DL_WriterA& w = *dw;
        w.entity(kind);
        w.dxfString(100, "AcDbEntity");
        w.dxfString(8, std::string(LayerName(layer)));
        w.dxfInt(62, NearestAci(pen.color));
        if (const int rgb = Color24(pen.color); rgb != -1) w.dxfInt(420, rgb);
        w.dxfInt(370, Lineweight(pen.width));
        if (pen.dash != Dash::Solid) w.dxfString(6, LinetypeName(pen.dash));
    }
    void Line(Point a, Point b, Layer layer, const Pen& pen) const {
        DL_WriterA& w = *dw;
        Head("LINE", layer, pen);
        w.dxfString(100, "AcDbLine");
        w.coord(10, a.x, a.y);
        w.coord(11, b.x, b.y);
    }
    // A solid hatch inside the closed outline, given as one polyline boundary.
    void Hatch(const std::vector<Point>& outline, Layer layer, Rgb color) {
        Pen pen;
        pen.color = color;
        DL_WriterA& w = *dw;
        Head("HATCH", layer, pen);
        w.dxfString(100, "AcDbHatch");
        w.coord(10, 0.0, 0.0);
        w.dxfReal(210, 0.0);
        w.dxfReal(220, 0.0);
        w.dxfReal(230, 1.0);
        w.dxfString(2, "SOLID");
        w.dxfInt(70, 1);  // solid
        w.dxfInt(71, 0);  // not associative
        w.dxfInt(91, 1);  // one boundary path
        w.dxfInt(92, 3);  // external, a polyline
        w.dxfInt(72, 0);  // without bulges
        w.dxfInt(73, 1);  // closed
        w.dxfInt(93, static_cast<int>(outline.size()));
        for (const Point& p : outline) {
            w.dxfReal(10, p.x);
            w.dxfReal(20, p.y);
        }
        w.dxfInt(97, 0);  // no source objects
        w.dxfInt(75, 0);  // odd parity
        w.dxfInt(76, 1);  // predefined pattern
        w.dxfInt(98, 0);  // no seed points
    }
};

DxfSink::DxfSink(std::ostream& out, MeasureRun measure, ReferToPicture refer)
    : s_(std::make_unique<State>(out)) {
    s_->measure = std::move(measure);
    s_->refer = std::move(refer);
}

DxfSink::~DxfSink() = default;

void DxfSink::Begin(const Frame& frame) {
    auto& s = *s_;
    s.frame = frame;
    // dxflib takes the file's version from the writer it opens; that writer writes nothing.
    std::unique_ptr<DL_WriterA>(s.dxf.out("/dev/null", DL_Codes::AC1015));
    s.dw = std::make_unique<StreamWriter>(s.out);
    DL_WriterA& dw = *s.dw;
    s.dxf.writeHeader(dw);
    // Units: millimetres unless the scale names another unit.
    const double u = frame.unitsPerMm;
    const int units = std::abs(u - 1) < 1e-9          ? 4
                      : std::abs(u * 25.4 - 1) < 1e-9 ? 1
                      : std::abs(u - 0.1) < 1e-9      ? 5
                      : std::abs(u - 0.001) < 1e-9    ? 6
                                                      : 0;
    // Every string is plain ASCII, other characters as \U+XXXX: a reader of any code page
    // reads them the same.
    dw.dxfString(9, "$DWGCODEPAGE");
    dw.dxfString(3, "ANSI_1252");
    dw.dxfString(9, "$INSUNITS");
    dw.dxfInt(70, units);
    dw.dxfString(9, "$MEASUREMENT");
    dw.dxfInt(70, 1);
    dw.dxfString(9, "$LWDISPLAY");
    dw.dxfInt(290, 1);
    dw.dxfString(9, "$EXTMIN");
    dw.dxfReal(10, frame.min.x);
    dw.dxfReal(20, frame.min.y);
    dw.dxfReal(30, 0.0);
    dw.dxfString(9, "$EXTMAX");
    dw.dxfReal(10, frame.max.x);
    dw.dxfReal(20, frame.max.y);
    dw.dxfReal(30, 0.0);
    dw.sectionEnd();

    dw.sectionTables();
    WriteActiveViewport(dw, frame);
    // Line types, their dashes in millimetres on paper scaled to drawing units.
    dw.tableLinetypes(2 + static_cast<int>(std::size(kDashes)));
    s.dxf.writeLinetype(dw, DL_LinetypeData("BYBLOCK", "", 0, 0, 0.0));
    s.dxf.writeLinetype(dw, DL_LinetypeData("BYLAYER", "", 0, 0, 0.0));
    for (Dash d : kDashes) {
        std::vector<double> dashes;
        switch (d) {
            case Dash::Solid:
                break;
            case Dash::Dashed:
                dashes = {3, -1.5};
                break;
            case Dash::Dotted:
                dashes = {0, -1};
                break;
            case Dash::DashDot:
                dashes = {3, -1, 0, -1};
                break;
            case Dash::DashDotDot:
                dashes = {3, -1, 0, -1, 0, -1};
                break;
        }
        double length = 0;
        for (double& x : dashes) {
            x *= u;
            length += std::abs(x);
        }
        const std::string name = LinetypeName(d);
        s.dxf.writeLinetype(dw, DL_LinetypeData(name, d == Dash::Solid ? "Solid line" : name, 0,
                                                static_cast<int>(dashes.size()), length,
                                                dashes.empty() ? nullptr : dashes.data()));
    }
    dw.tableEnd();
    dw.tableLayers(1 + static_cast<int>(std::size(kLayers)));
    s.dxf.writeLayer(dw, DL_LayerData("0", 0), DL_Attributes("", 7, 25, "CONTINUOUS", 1.0));
    for (Layer l : kLayers) {
        const int color = l == Layer::Revisions ? 1 : l == Layer::Fills ? 9 : 7;
        s.dxf.writeLayer(dw, DL_LayerData(std::string(LayerName(l)), 0),
                         DL_Attributes("", color, 25, "CONTINUOUS", 1.0));
    }
    dw.tableEnd();
    dw.tableStyle(1 + static_cast<int>(frame.fonts.size()));
    s.dxf.writeStyle(dw, DL_StyleData("Standard", 0, 0.0, 1.0, 0.0, 0, 2.5, "txt", ""));
    for (const auto& font : frame.fonts) WriteTrueTypeStyle(dw, font);
    dw.tableEnd();
    s.dxf.writeView(dw);
    s.dxf.writeUcs(dw);
    dw.tableAppid(1);
    s.dxf.writeAppid(dw, "ACAD");
    dw.tableEnd();
    s.dxf.writeDimStyle(dw, 2.5, 0.625, 0.625, 0.625, 2.5);
    s.dxf.writeBlockRecord(dw);
    dw.tableEnd();
    dw.sectionEnd();

    dw.sectionBlocks();
    for (const char* name : {"*Model_Space", "*Paper_Space", "*Paper_Space0"}) {
        s.dxf.writeBlock(dw, DL_BlockData(name, 0, 0.0, 0.0, 0.0));
        s.dxf.writeEndBlock(dw, name);
    }
    dw.sectionEnd();
    dw.sectionEntities();
}

void DxfSink::Draw(const Line& line) {
    auto& s = *s_;
    if (!line.pen.doubled) {
        s.Line(line.from, line.to, line.layer, line.pen);
        return;
    }
    // A double border: two lines either side of the edge.
    const double dx = line.to.x - line.from.x, dy = line.to.y - line.from.y;
    const double len = std::hypot(dx, dy);
    if (len <= 0) return;
    const double off = 0.3 * s.frame.unitsPerMm;
    const double nx = -dy / len * off, ny = dx / len * off;
    for (double side : {-1.0, 1.0}) {
        s.Line({line.from.x + side * nx, line.from.y + side * ny},
               {line.to.x + side * nx, line.to.y + side * ny}, line.layer, line.pen);
    }
}

void DxfSink::Draw(const Path& path) {
    auto& s = *s_;
    if (path.points.size() < 2) return;
    if (path.fill && path.closed) s.Hatch(path.points, path.layer, *path.fill);
    s.dxf.writePolyline(
        *s.dw, DL_PolylineData(static_cast<int>(path.points.size()), 0, 0, path.closed ? 1 : 0),
        s.Attributes(path.layer, path.pen));
    for (const auto& p : path.points) s.dxf.writeVertex(*s.dw, DL_VertexData(p.x, p.y, 0, 0));
    s.dxf.writePolylineEnd(*s.dw);
}

void DxfSink::Draw(const Ellipse& e) {
    auto& s = *s_;
    const auto attrib = s.Attributes(e.layer, e.pen);
    const bool full = e.endAngle - e.startAngle >= 360;
    if (std::abs(e.rx - e.ry) < 1e-12 && full) {
        s.dxf.writeCircle(*s.dw, DL_CircleData(e.center.x, e.center.y, 0, e.rx), attrib);
        return;
    }
    // The major axis is the longer one; angles are measured from it.
    double major = e.rx, minor = e.ry, axis = e.rotation, start = e.startAngle, end = e.endAngle;
    if (e.ry > e.rx) {
        std::swap(major, minor);
        axis += 90;
        start -= 90;
        end -= 90;
    }
    if (major <= 0) return;
    const double a = axis * std::numbers::pi / 180;
    const double toRad = std::numbers::pi / 180;
    s.dxf.writeEllipse(
        *s.dw,
        DL_EllipseData(e.center.x, e.center.y, 0, major * std::cos(a), major * std::sin(a), 0,
                       minor / major, full ? 0 : start * toRad,
                       full ? 2 * std::numbers::pi : end * toRad),
        attrib);
}

void DxfSink::Draw(const Fill& fill) {
    // White is the paper's: a white hatch adds nothing on paper and shows as a slab in CAD.
    if (fill.color == Rgb{255, 255, 255}) return;
    const double l = fill.topLeft.x, t = fill.topLeft.y;
    // The hatch alone: the outline belongs to the borders.
    s_->Hatch(
        {{l, t - fill.height}, {l + fill.width, t - fill.height}, {l + fill.width, t}, {l, t}},
        fill.layer, fill.color);
}

void DxfSink::Draw(const Text& t) {
    auto& s = *s_;
    if (Blank(t.plain)) return;
    const double pad = t.inset;
    const int col = t.hAlign == HAlign::Left ? 0 : t.hAlign == HAlign::Center ? 1 : 2;
    const int row = t.vAlign == VAlign::Top ? 0 : t.vAlign == VAlign::Middle ? 1 : 2;
    double x = col == 0   ? t.topLeft.x + pad
               : col == 1 ? t.topLeft.x + t.width / 2
                          : t.topLeft.x + t.width - pad;
    double y = row == 0   ? t.topLeft.y - pad
               : row == 1 ? t.topLeft.y - t.height / 2
                          : t.topLeft.y - t.height + pad;
    int attach = row * 3 + col + 1;
    if (t.rotation != 0) {
        x = t.topLeft.x + t.width / 2;
        y = t.topLeft.y - t.height / 2;
        attach = 5;
    }
    // The text height of CAD is the height of capitals, about 0.7 of the font's size.
    const double height = t.size * 0.7;
    // The width the text may use: its box less the insets, with the empty neighbours an
    // unwrapped text runs into (the same on both sides of a centred one).
    const double spill =
        col == 1 ? 2 * std::max(t.spillLeft, t.spillRight) : t.spillLeft + t.spillRight;
    const double width = t.rotation == 0 ? std::max(0.0, t.width - 2 * pad + spill) : 0.0;
    Pen pen;
    pen.color = t.color;
    DL_WriterA& dw = *s.dw;
    s.Head("MTEXT", t.layer, pen);
    dw.dxfString(100, "AcDbMText");
    dw.coord(10, x, y);
    dw.dxfReal(40, height);
    dw.dxfReal(41, width);
    dw.dxfInt(71, attach);
    dw.dxfInt(72, 1);
    WriteMTextContent(dw, DxfString(t.formatted));
    dw.dxfString(7, t.font);
    dw.dxfReal(50, t.rotation);
    dw.dxfInt(73, 1);
    dw.dxfReal(44, 1.0);
}

std::optional<double> DxfSink::TextWidth(const Text& style, std::string_view run) {
    auto& s = *s_;
    if (!s.measure) return std::nullopt;
    const double pointsPerUnit = 72 / 25.4 / (s.frame.unitsPerMm > 0 ? s.frame.unitsPerMm : 1);
    return s.measure(style.font, style.bold, style.italic, style.size * pointsPerUnit, run) /
           pointsPerUnit;
}

double DxfSink::LineHeight(const Text& style) {
    return style.size * 0.7 * 5 / 3;
}

void DxfSink::Draw(const Image& image) {
    auto& s = *s_;
    const PictureFile file = s.refer ? s.refer(image.path) : PictureFile{image.path, {}};
    const auto& size = file.pixels;
    const int px = size ? size->first : std::max(1, static_cast<int>(image.width * 4));
    const int py = size ? size->second : std::max(1, static_cast<int>(image.height * 4));
    // The insertion point is the picture's bottom-left corner; u and v are one pixel.
    DL_ImageData data(file.name, image.topLeft.x, image.topLeft.y - image.height, 0,
                      image.width / px, 0, 0, 0, image.height / py, 0, px, py, 50, 50, 0);
    const unsigned long handle = s.dxf.writeImage(*s.dw, data, s.Attributes(image.layer, Pen{}));
    s.images.emplace_back(handle, data);
}

void DxfSink::End() {
    auto& s = *s_;
    DL_WriterA& dw = *s.dw;
    dw.sectionEnd();
    s.dw->OwnObjects();
    // The image dictionary lists the pictures' definitions by name and owns them.
    s.dxf.writeObjects(dw, s.images.empty() ? "" : "ACAD_IMAGE_DICT");
    if (!s.images.empty()) {
        s.dxf.writeAppDictionary(dw);
        std::map<std::string, int> names;
        for (const auto& [handle, data] : s.images) {
            std::string name = std::filesystem::path(data.ref).stem().string();
            if (const int n = ++names[name]; n > 1) name += "_" + std::to_string(n);
            dw.dxfString(3, name);
            dw.dxfHex(350, static_cast<int>(handle));
        }
    }
    for (const auto& [handle, data] : s.images) {
        s.dxf.writeImageDef(dw, static_cast<int>(handle), data);
    }
    s.dxf.writeObjectsEnd(dw);
    dw.dxfEOF();
    if (!s.dw->Finish()) throw std::runtime_error("cannot write the drawing");
}

}  // namespace tbln::dxf

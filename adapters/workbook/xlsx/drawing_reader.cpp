#include "adapters/workbook/xlsx/drawing_reader.hpp"

#include <pugixml.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <string_view>

#include "adapters/opc/dom.hpp"
#include "adapters/opc/relationships.hpp"
#include "adapters/workbook/a1.hpp"
#include "adapters/workbook/colour.hpp"
#include "adapters/workbook/package.hpp"
#include "adapters/workbook/shape_presets.hpp"
#include "adapters/workbook/xlsx/escapes.hpp"
#include "core/error.hpp"

namespace tbln::workbook {

using opc::Attr;
using opc::Child;
using opc::FlagAttr;
using opc::Is;

namespace {

using Node = pugi::xml_node;

// A descendant along a path of local names.
Node Path(Node n, std::initializer_list<std::string_view> locals) {
    for (auto local : locals) {
        if (!n) return {};
        n = Child(n, local);
    }
    return n;
}

std::int64_t Int(const char* text, std::int64_t fallback = 0) {
    if (!text || !*text) return fallback;
    char* end = nullptr;
    const long long v = std::strtoll(text, &end, 10);
    return end && *end == '\0' ? v : fallback;
}

std::int64_t ChildInt(const Node& n, std::string_view local) {
    return Int(Child(n, local).text().get());
}

[[noreturn]] void BadDrawing(const std::string& path, const std::string& part,
                             const std::string& why) {
    RaiseBadWorkbook(path, "the drawing part " + part + " " + why);
}

// --- colours -------------------------------------------------------------------

std::uint32_t ParseHex(const char* text, std::uint32_t fallback) {
    if (!text) return fallback;
    char* end = nullptr;
    const unsigned long v = std::strtoul(text, &end, 16);
    return end && *end == '\0' ? static_cast<std::uint32_t>(v & 0xFFFFFF) : fallback;
}

class ColorResolver {
  public:
    explicit ColorResolver(const Theme& theme) : theme_(theme) {}

    // The colour of a colour element (srgbClr, schemeClr, sysClr, prstClr, scrgbClr)
    // or of the first one inside `n`; false when there is none. `placeholder` stands
    // for phClr (the colour of a style reference).
    bool Resolve(const Node& n, std::uint32_t& out,
                 const std::uint32_t* placeholder = nullptr) const {
        for (auto c : n.children()) {
            if (ResolveOne(c, out, placeholder)) return true;
        }
        return ResolveOne(n, out, placeholder);
    }

  private:
    bool ResolveOne(const Node& c, std::uint32_t& out, const std::uint32_t* placeholder) const {
        std::uint32_t base = 0;
        if (Is(c, "srgbClr")) {
            base = ParseHex(Attr(c, "val"), 0);
        } else if (Is(c, "sysClr")) {
            const char* last = Attr(c, "lastClr");
            const std::string_view val = Attr(c, "val") ? Attr(c, "val") : "";
            base = ParseHex(last, val == "window" ? 0xFFFFFF : 0);
        } else if (Is(c, "schemeClr")) {
            const std::string val = Attr(c, "val") ? Attr(c, "val") : "";
            if (val == "phClr") {
                if (!placeholder) return false;
                base = *placeholder;
            } else if (!Scheme(val, base)) {
                return false;
            }
        } else if (Is(c, "prstClr")) {
            static const std::map<std::string, std::uint32_t, std::less<>> kPreset = {
                {"black", 0x000000},  {"white", 0xFFFFFF},  {"red", 0xFF0000},
                {"green", 0x008000},  {"lime", 0x00FF00},   {"blue", 0x0000FF},
                {"yellow", 0xFFFF00}, {"cyan", 0x00FFFF},   {"magenta", 0xFF00FF},
                {"gray", 0x808080},   {"silver", 0xC0C0C0}, {"navy", 0x000080}};
            const auto it = kPreset.find(Attr(c, "val") ? Attr(c, "val") : "");
            base = it == kPreset.end() ? 0 : it->second;
        } else if (Is(c, "scrgbClr")) {
            const auto pct = [&](const char* a) {
                return static_cast<double>(Int(Attr(c, a))) / 100000.0;
            };
            base = ToHex(Rgb{pct("r"), pct("g"), pct("b")});
        } else {
            return false;
        }
        out = ApplyModifiers(c, base);
        return true;
    }

    bool Scheme(const std::string& name, std::uint32_t& out) const {
        static const std::map<std::string, std::string, std::less<>> kAlias = {
            {"bg1", "lt1"}, {"tx1", "dk1"}, {"bg2", "lt2"}, {"tx2", "dk2"}};
        const auto alias = kAlias.find(name);
        const std::string key = alias == kAlias.end() ? name : alias->second;
        static const char* const kOrder[] = {"dk1",     "lt1",     "dk2",     "lt2",
                                             "accent1", "accent2", "accent3", "accent4",
                                             "accent5", "accent6", "hlink",   "folHlink"};
        // Office's default theme stands in for a workbook without one.
        const auto& fallback = OfficeThemeColors();
        for (std::size_t i = 0; i < std::size(kOrder); ++i) {
            if (key == kOrder[i]) {
                out = i < theme_.colors.size() ? theme_.colors[i] : fallback[i];
                return true;
            }
        }
        return false;
    }

    static std::uint32_t ApplyModifiers(const Node& c, std::uint32_t base) {
        Rgb rgb = FromHex(base);
        double lumMod = 1, lumOff = 0;
        for (auto m : c.children()) {
            const double v = static_cast<double>(Int(Attr(m, "val"), 100000)) / 100000.0;
            if (Is(m, "lumMod")) {
                lumMod = v;
            } else if (Is(m, "lumOff")) {
                lumOff = v;
            } else if (Is(m, "shade")) {
                rgb = Rgb{rgb.r * v, rgb.g * v, rgb.b * v};
            } else if (Is(m, "tint")) {
                rgb = Rgb{1 - (1 - rgb.r) * v, 1 - (1 - rgb.g) * v, 1 - (1 - rgb.b) * v};
            }
        }
        if (lumMod != 1 || lumOff != 0) rgb = ModulateLuminance(rgb, lumMod, lumOff);
        return ToHex(rgb);
    }

    const Theme& theme_;
};

// --- shape properties -------------------------------------------------------------

// Adjustment guides whose values are angles (60000ths of a degree in the file, degrees
// as Excel reports them).
bool IsAngleGuide(const std::string& preset, const std::string& guide) {
    static const std::map<std::string, std::vector<std::string>, std::less<>> kAngles = {
        {"arc", {"adj1", "adj2"}},
        {"blockArc", {"adj1", "adj2"}},
        {"pie", {"adj1", "adj2"}},
        {"chord", {"adj1", "adj2"}},
        {"circularArrow", {"adj3", "adj4"}}};
    const auto it = kAngles.find(preset);
    return it != kAngles.end() &&
           std::find(it->second.begin(), it->second.end(), guide) != it->second.end();
}

// The adjustment guides of the presets whose defaults matter, in Excel's order.
const std::vector<std::pair<std::string, std::int64_t>>& DefaultGuides(const std::string& preset) {
    static const std::map<std::string, std::vector<std::pair<std::string, std::int64_t>>,
                          std::less<>>
        kDefaults = {
            {"roundRect", {{"adj", 16667}}},
            {"arc", {{"adj1", 16200000}, {"adj2", 0}}},
            {"blockArc", {{"adj1", 10800000}, {"adj2", 0}, {"adj3", 25000}}},
            {"can", {{"adj", 25000}}},
            {"cube", {{"adj", 25000}}},
            {"bevel", {{"adj", 12500}}},
            {"donut", {{"adj", 25000}}},
            {"foldedCorner", {{"adj", 16667}}},
            {"octagon", {{"adj", 29289}}},
            {"plaque", {{"adj", 16667}}},
            {"hexagon", {{"adj", 25000}, {"vf", 115470}}},
            {"parallelogram", {{"adj", 25000}}},
            {"trapezoid", {{"adj", 25000}}},
            {"triangle", {{"adj", 50000}}},
            {"snip1Rect", {{"adj", 16667}}},
            {"round1Rect", {{"adj", 16667}}},
        };
    static const std::vector<std::pair<std::string, std::int64_t>> kNone;
    const auto it = kDefaults.find(preset);
    return it == kDefaults.end() ? kNone : it->second;
}

std::vector<double> ReadAdjustments(const Node& geometry, const std::string& preset) {
    std::vector<std::pair<std::string, std::int64_t>> guides = DefaultGuides(preset);
    for (auto gd : Child(geometry, "avLst").children()) {
        if (!Is(gd, "gd")) continue;
        const std::string name = Attr(gd, "name") ? Attr(gd, "name") : "";
        const std::string_view fmla = Attr(gd, "fmla") ? Attr(gd, "fmla") : "";
        if (fmla.substr(0, 4) != "val ") continue;
        const std::int64_t value = Int(std::string(fmla.substr(4)).c_str());
        auto it = std::find_if(guides.begin(), guides.end(),
                               [&](const auto& g) { return g.first == name; });
        if (it == guides.end()) {
            guides.emplace_back(name, value);
        } else {
            it->second = value;
        }
    }
    std::vector<double> out;
    for (const auto& [name, value] : guides) {
        if (IsAngleGuide(preset, name)) {
            double degrees = std::fmod(static_cast<double>(value) / 60000.0, 360.0);
            if (degrees > 180) degrees -= 360;
            if (degrees <= -180) degrees += 360;
            out.push_back(degrees);
        } else {
            out.push_back(static_cast<double>(value) / 100000.0);
        }
    }
    return out;
}

Integer DashStyleOf(const Node& ln) {
    if (Child(ln, "custDash")) return 4;  // msoLineDash
    const char* val = Attr(Child(ln, "prstDash"), "val");
    if (!val) return 1;
    static const std::map<std::string, Integer, std::less<>> kDash = {
        {"solid", 1},  {"sysDash", 2},   {"sysDot", 3},      {"dot", 3},
        {"dash", 4},   {"dashDot", 5},   {"sysDashDot", 5},  {"sysDashDotDot", 6},
        {"lgDash", 7}, {"lgDashDot", 8}, {"lgDashDotDot", 9}};
    const auto it = kDash.find(val);
    return it == kDash.end() ? 1 : it->second;
}

void ReadArrowhead(const Node& end, Integer& style, Integer& width) {
    if (!end) return;
    static const std::map<std::string, Integer, std::less<>> kStyle = {
        {"none", 1}, {"triangle", 2}, {"arrow", 3}, {"stealth", 4}, {"diamond", 5}, {"oval", 6}};
    static const std::map<std::string, Integer, std::less<>> kWidth = {
        {"sm", 1}, {"med", 2}, {"lg", 3}};
    const char* type = Attr(end, "type");
    const auto s = kStyle.find(type ? type : "none");
    style = s == kStyle.end() ? 1 : s->second;
    const char* w = Attr(end, "w");
    const auto it = kWidth.find(w ? w : "med");
    width = it == kWidth.end() ? 2 : it->second;
}

std::string ResolveFont(const std::string& typeface, const Theme& theme) {
    if (typeface.rfind("+mj", 0) == 0) return theme.majorFont;
    if (typeface.rfind("+mn", 0) == 0) return theme.minorFont;
    return typeface;
}

void ReadText(const Node& txBody, const Node& style, const Theme& theme, DrawingObject& o) {
    o.hasTextFrame = true;
    std::string text;
    Node firstRun, endPara;
    bool firstParagraph = true;
    for (auto p : txBody.children()) {
        if (!Is(p, "p")) continue;
        if (!firstParagraph) text += '\n';
        firstParagraph = false;
        for (auto r : p.children()) {
            if (Is(r, "r") || Is(r, "fld")) {
                if (!firstRun) firstRun = Child(r, "rPr");
                text += Child(r, "t").text().get();
            } else if (Is(r, "br")) {
                text += '\n';
            } else if (Is(r, "endParaRPr") && !endPara) {
                endPara = r;
            }
        }
        if (text.size() > kMaxTextPerShape) text.resize(kMaxTextPerShape);
    }
    o.text = DecodeEscapes(text);
    // The font of the first character: its run, else the paragraph end, else the list
    // style, else the shape's style (a theme font), as Excel shows it.
    const Node levelOne = Path(txBody, {"lstStyle", "lvl1pPr", "defRPr"});
    for (const Node& props : {firstRun, endPara, levelOne}) {
        if (props && Attr(props, "sz")) {
            o.fontSize = static_cast<double>(Int(Attr(props, "sz"), 1100)) / 100.0;
            break;
        }
    }
    std::string face;
    for (const Node& props : {firstRun, endPara, levelOne}) {
        if (const char* t = Attr(Child(props, "latin"), "typeface")) {
            if (*t) {
                face = t;
                break;
            }
        }
    }
    if (face.empty()) {
        const char* idx = Attr(Child(style, "fontRef"), "idx");
        face = idx && std::string_view(idx) == "major" ? "+mj-lt" : "+mn-lt";
    }
    o.fontName = ResolveFont(face, theme);
}

void ReadFillAndLine(const Node& spPr, const Node& style, const ColorResolver& colors,
                     DrawingObject& o) {
    bool decided = false;
    for (auto f : spPr.children()) {
        std::uint32_t rgb = 0;
        if (Is(f, "noFill")) {
            decided = true;
        } else if (Is(f, "solidFill") && colors.Resolve(f, rgb)) {
            o.filled = true;
            o.fillRgb = rgb;
            decided = true;
        } else if (Is(f, "gradFill")) {
            // A gradient's fore colour is its first stop.
            if (colors.Resolve(Path(f, {"gsLst", "gs"}), rgb)) {
                o.filled = true;
                o.fillRgb = rgb;
            }
            decided = true;
        } else if (Is(f, "pattFill")) {
            if (colors.Resolve(Child(f, "fgClr"), rgb)) {
                o.filled = true;
                o.fillRgb = rgb;
            }
            decided = true;
        } else if (Is(f, "blipFill") || Is(f, "grpFill")) {
            decided = true;
        }
        if (decided) break;
    }
    if (!decided) {
        // The shape's style: fill style 1 and up of the theme, in the reference's colour.
        const Node ref = Child(style, "fillRef");
        std::uint32_t rgb = 0;
        if (ref && Int(Attr(ref, "idx")) > 0 && colors.Resolve(ref, rgb)) {
            o.filled = true;
            o.fillRgb = rgb;
        }
    }
    const Node ln = Child(spPr, "ln");
    if (const char* w = Attr(ln, "w")) {
        o.lineWeight = static_cast<double>(Int(w)) / kEmuPerPoint;
    }
    if (ln) {
        o.dashStyle = DashStyleOf(ln);
        ReadArrowhead(Child(ln, "headEnd"), o.beginArrowStyle, o.beginArrowWidth);
        ReadArrowhead(Child(ln, "tailEnd"), o.endArrowStyle, o.endArrowWidth);
    }
}

void ReadTransform(const Node& xfrm, DrawingObject& o) {
    if (!xfrm) return;
    o.rotation = std::fmod(static_cast<double>(Int(Attr(xfrm, "rot"))) / 60000.0, 360.0);
    if (o.rotation < 0) o.rotation += 360;
    o.flipH = FlagAttr(xfrm, "flipH", false);
    o.flipV = FlagAttr(xfrm, "flipV", false);
}

Integer GraphicFrameType(const Node& frame) {
    const char* uri = Attr(Path(frame, {"graphic", "graphicData"}), "uri");
    const std::string_view u = uri ? uri : "";
    if (u.find("/chart") != std::string_view::npos) return 3;     // msoChart
    if (u.find("/diagram") != std::string_view::npos) return 24;  // msoSmartArt
    return 7;                                                     // msoEmbeddedOLEObject
}

bool HasDescendant(const Node& n, std::string_view local) {
    for (auto c : n.children()) {
        if (Is(c, local) || HasDescendant(c, local)) return true;
    }
    return false;
}

class DrawingReader {
  public:
    DrawingReader(const Package& pkg, const WorkbookModel& model, DrawingModel& drawing)
        : pkg_(pkg), theme_(model.theme), colors_(model.theme), drawing_(drawing) {}

    void Read() {
        const auto doc = pkg_.ReadXml(drawing_.part);
        rels_ = opc::ReadRelationships(pkg_, drawing_.part);
        const Node root = doc->document_element();
        if (!Is(root, "wsDr")) BadDrawing(pkg_.Path(), drawing_.part, "is not a sheet drawing");
        for (auto anchor : root.children()) ReadAnchor(anchor);
    }

  private:
    void ReadAnchor(Node anchor) {
        // Newer objects (form controls, ink) come wrapped in a compatibility choice.
        if (Is(anchor, "AlternateContent")) {
            for (const auto* branch : {"Choice", "Fallback"}) {
                for (auto inner : Child(anchor, branch).children()) {
                    if (Is(inner, "twoCellAnchor") || Is(inner, "oneCellAnchor") ||
                        Is(inner, "absoluteAnchor")) {
                        ReadAnchor(inner);
                        return;
                    }
                }
            }
            return;
        }
        DrawingAnchor a;
        if (Is(anchor, "twoCellAnchor")) {
            a.kind = DrawingAnchor::Kind::TwoCell;
        } else if (Is(anchor, "oneCellAnchor")) {
            a.kind = DrawingAnchor::Kind::OneCell;
        } else if (Is(anchor, "absoluteAnchor")) {
            a.kind = DrawingAnchor::Kind::Absolute;
        } else {
            return;
        }
        const Node from = Child(anchor, "from"), to = Child(anchor, "to");
        a.fromCol = ClampIndex(ChildInt(from, "col"), kMaxCols);
        a.fromRow = ClampIndex(ChildInt(from, "row"), kMaxRows);
        a.fromColOff = std::max<std::int64_t>(0, ChildInt(from, "colOff"));
        a.fromRowOff = std::max<std::int64_t>(0, ChildInt(from, "rowOff"));
        a.toCol = ClampIndex(ChildInt(to, "col"), kMaxCols);
        a.toRow = ClampIndex(ChildInt(to, "row"), kMaxRows);
        a.toColOff = std::max<std::int64_t>(0, ChildInt(to, "colOff"));
        a.toRowOff = std::max<std::int64_t>(0, ChildInt(to, "rowOff"));
        const Node pos = Child(anchor, "pos"), ext = Child(anchor, "ext");
        a.x = std::max<std::int64_t>(0, Int(Attr(pos, "x")));
        a.y = std::max<std::int64_t>(0, Int(Attr(pos, "y")));
        a.cx = std::max<std::int64_t>(0, Int(Attr(ext, "cx")));
        a.cy = std::max<std::int64_t>(0, Int(Attr(ext, "cy")));
        for (auto object : anchor.children()) {
            DrawingObject o;
            o.anchor = a;
            if (!ReadObject(object, o)) continue;
            if (drawing_.objects.size() >= kMaxDrawingObjects) {
                BadDrawing(pkg_.Path(), drawing_.part, "has more objects than the limit");
            }
            drawing_.objects.push_back(std::move(o));
            break;  // one object per anchor
        }
    }

    static Long ClampIndex(std::int64_t v, Long count) {
        return static_cast<Long>(std::clamp<std::int64_t>(v, 0, count - 1));
    }

    bool ReadObject(const Node& n, DrawingObject& o) {
        const Node style = Child(n, "style");
        if (Is(n, "sp") || Is(n, "cxnSp")) {
            const Node nv = Child(n, Is(n, "sp") ? "nvSpPr" : "nvCxnSpPr");
            o.name = Attr(Child(nv, "cNvPr"), "name") ? Attr(Child(nv, "cNvPr"), "name") : "";
            const Node spPr = Child(n, "spPr");
            ReadTransform(Child(spPr, "xfrm"), o);
            const Node prst = Child(spPr, "prstGeom");
            if (prst) {
                o.preset = Attr(prst, "prst") ? Attr(prst, "prst") : "";
                o.adjustments = ReadAdjustments(prst, o.preset);
            }
            const bool line = o.preset == "line" || o.preset == "straightConnector1";
            if (HasDescendant(n, "compatExt")) {
                o.type = 8;  // msoFormControl
            } else if (line) {
                o.type = 9;  // msoLine
            } else if (FlagAttr(Child(nv, "cNvSpPr"), "txBox", false)) {
                o.type = 17;  // msoTextBox
            } else if (!prst && Child(spPr, "custGeom")) {
                o.type = 5;  // msoFreeform
            } else {
                o.type = 1;  // msoAutoShape
            }
            o.autoShapeType = line || o.type == 5 ? -2 : prst ? AutoShapeTypeOf(o.preset) : 1;
            ReadFillAndLine(spPr, style, colors_, o);
            if (line) o.filled = false;
            if (const Node body = Child(n, "txBody"); body && !line)
                ReadText(body, style, theme_, o);
            return true;
        }
        if (Is(n, "pic")) {
            o.type = 13;  // msoPicture
            o.autoShapeType = 1;
            const Node nv = Child(n, "nvPicPr");
            o.name = Attr(Child(nv, "cNvPr"), "name") ? Attr(Child(nv, "cNvPr"), "name") : "";
            const Node spPr = Child(n, "spPr");
            ReadTransform(Child(spPr, "xfrm"), o);
            ReadFillAndLine(spPr, style, colors_, o);
            o.lineWeight = Child(spPr, "ln") ? o.lineWeight : 0;
            const Node blip = Path(n, {"blipFill", "blip"});
            const char* id = Attr(blip, "embed");
            const auto rel = id ? rels_.find(id) : rels_.end();
            if (rel != rels_.end() && !rel->second.external) {
                o.mediaPart = rel->second.target;
                o.mediaMissing = !pkg_.Has(o.mediaPart);
                if (o.mediaMissing) o.mediaPart.clear();
            } else if (Attr(blip, "link")) {
                o.type = 11;  // msoLinkedPicture: the image lives outside the workbook
            } else {
                o.mediaMissing = true;
            }
            return true;
        }
        if (Is(n, "grpSp") || Is(n, "graphicFrame") || Is(n, "contentPart")) {
            const Node nv = Child(n, Is(n, "grpSp")          ? "nvGrpSpPr"
                                     : Is(n, "graphicFrame") ? "nvGraphicFramePr"
                                                             : "nvContentPartPr");
            o.name = Attr(Child(nv, "cNvPr"), "name") ? Attr(Child(nv, "cNvPr"), "name") : "";
            o.type = Is(n, "grpSp")          ? 6
                     : Is(n, "graphicFrame") ? GraphicFrameType(n)
                                             : 22;  // msoInk
            ReadTransform(Child(Child(n, "grpSpPr"), "xfrm"), o);
            ReadTransform(Child(n, "xfrm"), o);
            return true;
        }
        return false;
    }

    const Package& pkg_;
    const Theme& theme_;
    ColorResolver colors_;
    DrawingModel& drawing_;
    std::map<std::string, opc::Relationship> rels_;
};

}  // namespace

void ReadSheetDrawing(const Package& pkg, const WorkbookModel& model, SheetModel& sheet) {
    auto& drawing = sheet.drawing;
    try {
        for (const auto& [id, rel] : opc::ReadRelationships(pkg, sheet.part)) {
            if (rel.type != "drawing" || rel.external) continue;
            drawing.part = rel.target;
            if (!pkg.Has(rel.target)) BadDrawing(pkg.Path(), rel.target, "is missing");
            DrawingReader(pkg, model, drawing).Read();
            break;
        }
    } catch (const RuntimeError& e) {
        // The workbook itself opens; the message says what of it cannot be shown.
        std::string why = e.Description();
        const std::string prefix = "Cannot open the workbook " + pkg.Path() + ": ";
        if (why.rfind(prefix, 0) == 0) why.erase(0, prefix.size());
        drawing.objects.clear();
        drawing.error = "The drawing of the sheet " + sheet.name + " in " + pkg.Path() +
                        " cannot be read: " + why;
    }
}

}  // namespace tbln::workbook

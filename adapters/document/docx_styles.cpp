#include "adapters/document/docx_styles.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace tbln::document {

namespace {

long UnderlineKind(std::string_view v) {
    static const std::map<std::string_view, long> kinds = {
        {"none", 0},          {"single", 1},           {"words", 2},
        {"double", 3},        {"dotted", 4},           {"thick", 6},
        {"dash", 7},          {"dotDash", 9},          {"dotDotDash", 10},
        {"wave", 11},         {"dottedHeavy", 20},     {"dashedHeavy", 23},
        {"dashDotHeavy", 25}, {"dashDotDotHeavy", 26}, {"wavyHeavy", 27},
        {"dashLong", 39},     {"wavyDouble", 43},      {"dashLongHeavy", 55},
    };
    const auto it = kinds.find(v);
    return it == kinds.end() ? 1 : it->second;
}

// Word's paragraph alignment for a w:jc value: distributed and the kashida justifications
// are alignments of their own, not justified (3).
long AlignmentKind(std::string_view v) {
    static const std::map<std::string_view, long> kinds = {
        {"center", 1},      {"right", 2},      {"end", 2},
        {"both", 3},        {"distribute", 4}, {"mediumKashida", 5},
        {"highKashida", 7}, {"lowKashida", 8}, {"thaiDistribute", 9},
    };
    const auto it = kinds.find(v);
    return it == kinds.end() ? 0 : it->second;
}

}  // namespace

double BorderWidth(pugi::xml_node border) {
    if (!border) return 0;
    const char* val = Attr(border, "val");
    const std::string_view v = val ? val : "single";
    if (v == "nil" || v == "none") return 0;
    const double w = std::clamp(Number(border, "sz").value_or(4) / 8, 0.25, 12.0);
    // Two lines with a gap of their width between them.
    if (v == "double" || v == "triple" || v == "doubleWave") return 3 * w;
    // A thin line beside a thick one: the gap and the thin line grow with the width for a
    // medium gap, and are set for a small (1.5 pt) or a large (2.25 pt) one. The other
    // styles, the raised and sunk ones among them, take their width.
    if (v.ends_with("MediumGap")) return 2 * w;
    if (v.ends_with("SmallGap") && v != "dashSmallGap") return w + 1.5;
    if (v.ends_with("LargeGap")) return w + 2.25;
    return w;
}

namespace {

std::string ToRoman(int n, bool upper) {
    if (n <= 0 || n >= 4000) return std::to_string(n);
    static const std::pair<int, const char*> table[] = {
        {1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"}, {100, "c"}, {90, "xc"}, {50, "l"},
        {40, "xl"},  {10, "x"},   {9, "ix"},  {5, "v"},    {4, "iv"},  {1, "i"}};
    std::string out;
    for (const auto& [v, s] : table) {
        while (n >= v) {
            out += s;
            n -= v;
        }
    }
    if (upper) std::transform(out.begin(), out.end(), out.begin(), ::toupper);
    return out;
}

std::string ToLetters(int n, bool upper) {
    if (n <= 0) return std::to_string(n);
    // Word repeats the letter: a..z, aa..zz, aaa...
    const char c = static_cast<char>((upper ? 'A' : 'a') + (n - 1) % 26);
    return std::string(static_cast<std::size_t>((n - 1) / 26 + 1), c);
}

std::string FormatNumber(int n, const std::string& format) {
    if (format == "upperRoman") return ToRoman(n, true);
    if (format == "lowerRoman") return ToRoman(n, false);
    if (format == "upperLetter") return ToLetters(n, true);
    if (format == "lowerLetter") return ToLetters(n, false);
    if (format == "decimalZero") return (n < 10 && n >= 0 ? "0" : "") + std::to_string(n);
    if (format == "ordinal") {
        const int t = n % 100;
        const char* suffix = (t >= 11 && t <= 13) ? "th"
                             : n % 10 == 1        ? "st"
                             : n % 10 == 2        ? "nd"
                             : n % 10 == 3        ? "rd"
                                                  : "th";
        return std::to_string(n) + suffix;
    }
    if (format == "none") return "";
    return std::to_string(n);
}

Level ReadLevel(pugi::xml_node l) {
    Level level;
    if (auto s = Child(l, "start")) {
        if (auto v = Number(s, "val")) level.start = static_cast<int>(*v);
    }
    if (auto f = Child(l, "numFmt")) level.format = Attr(f, "val") ? Attr(f, "val") : "decimal";
    if (auto t = Child(l, "lvlText")) level.text = Attr(t, "val") ? Attr(t, "val") : "";
    if (auto r = Child(l, "lvlRestart")) {
        if (auto v = Number(r, "val")) level.restart = static_cast<int>(*v);
    }
    if (auto g = Child(l, "isLgl")) level.isLegal = OnOff(g);
    if (auto s = Child(l, "suff")) {
        const std::string_view v = Attr(s, "val") ? Attr(s, "val") : "tab";
        level.suffix = v == "space" ? ' ' : v == "nothing" ? '\0' : '\t';
    }
    level.picture = static_cast<bool>(Child(l, "lvlPicBulletId"));
    level.para = ReadParaProps(Child(l, "pPr"));
    level.run = ReadRunProps(Child(l, "rPr"));
    return level;
}

}  // namespace

// The decimal number at the start of the text, read the same way whatever the locale;
// `rest` gets the text after it.
std::optional<double> LeadingNumber(std::string_view text, std::string_view* rest) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '+')) text.remove_prefix(1);
    double d = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), d);
    if (ec != std::errc() || !std::isfinite(d)) return std::nullopt;
    if (rest) *rest = text.substr(static_cast<std::size_t>(end - text.data()));
    return d;
}

std::optional<double> Number(pugi::xml_node node, std::string_view name) {
    const char* v = Attr(node, name);
    if (!v || !*v) return std::nullopt;
    std::string_view unit;
    const auto number = LeadingNumber(v, &unit);
    if (!number) return std::nullopt;
    const double d = *number;
    // Measures may carry units ("12pt", "1in"); twips are the default.
    if (unit == "pt") return d * 20;
    if (unit == "in") return d * 1440;
    if (unit == "cm") return d * 1440 / 2.54;
    if (unit == "mm") return d * 144 / 2.54;
    return d;
}

double Twips(double t) {
    return t / 20.0;
}

bool OnOffValue(std::string_view s) {
    return opc::OnOff(s).value_or(true);
}

bool OnOff(pugi::xml_node node) {
    const char* v = Attr(node, "val");
    return !v || OnOffValue(v);
}

RunProps ReadRunProps(pugi::xml_node rPr) {
    RunProps p;
    if (!rPr) return p;
    for (auto c = rPr.first_child(); c; c = c.next_sibling()) {
        if (c.type() != pugi::node_element) continue;
        const auto n = opc::LocalName(c.name());
        if (n == "rFonts") {
            // A theme font takes precedence over a font named beside it.
            const char* a = Attr(c, "ascii");
            if (!a) a = Attr(c, "hAnsi");
            const char* t = Attr(c, "asciiTheme");
            if (!t) t = Attr(c, "hAnsiTheme");
            if (t) {
                p.asciiTheme = t;
                if (a) p.ascii = a;  // used when the theme does not name the font
            } else if (a) {
                p.ascii = a;
            }
        } else if (n == "sz") {
            if (auto v = Number(c, "val")) p.size = *v / 2.0;
        } else if (n == "b") {
            p.bold = OnOff(c);
        } else if (n == "i") {
            p.italic = OnOff(c);
        } else if (n == "vanish") {
            p.hidden = OnOff(c);
        } else if (n == "u") {
            const char* v = Attr(c, "val");
            p.underline = v ? UnderlineKind(v) : 1;
        } else if (n == "vertAlign") {
            if (const char* v = Attr(c, "val")) p.vertAlign = v;
        } else if (n == "spacing") {
            if (auto v = Number(c, "val")) p.spacing = std::clamp(Twips(*v), -100.0, 100.0);
        } else if (n == "w") {
            if (auto v = Number(c, "val")) p.scale = std::clamp(*v, 1.0, 600.0);
        }
    }
    return p;
}

ParaProps ReadParaProps(pugi::xml_node pPr) {
    ParaProps p;
    if (!pPr) return p;
    for (auto c = pPr.first_child(); c; c = c.next_sibling()) {
        if (c.type() != pugi::node_element) continue;
        const auto n = opc::LocalName(c.name());
        if (n == "jc") {
            p.alignment = AlignmentKind(Attr(c, "val") ? Attr(c, "val") : "");
        } else if (n == "ind") {
            if (auto v = Number(c, "left")) p.left = Twips(*v);
            if (auto v = Number(c, "start")) p.left = Twips(*v);
            if (auto v = Number(c, "right")) p.right = Twips(*v);
            if (auto v = Number(c, "end")) p.right = Twips(*v);
            if (auto v = Number(c, "firstLine")) p.firstLine = Twips(*v);
            if (auto v = Number(c, "hanging")) p.firstLine = -Twips(*v);
        } else if (n == "spacing") {
            if (auto v = Number(c, "before")) p.before = Twips(*v);
            if (auto v = Number(c, "after")) p.after = Twips(*v);
            // Automatic spacing (pages that came from the web), set where the paragraph is.
            if (const char* a = Attr(c, "beforeAutospacing")) p.autoBefore = OnOffValue(a);
            if (const char* a = Attr(c, "afterAutospacing")) p.autoAfter = OnOffValue(a);
            if (auto v = Number(c, "line")) {
                const char* rule = Attr(c, "lineRule");
                const std::string_view r = rule ? rule : "auto";
                if (r == "exact") {
                    p.lineRule = LineRule::Exact;
                    p.line = Twips(*v);
                } else if (r == "atLeast") {
                    p.lineRule = LineRule::AtLeast;
                    p.line = Twips(*v);
                } else {
                    p.lineRule = LineRule::Auto;
                    p.line = *v / 240.0;
                }
            }
        } else if (n == "pageBreakBefore") {
            p.pageBreakBefore = OnOff(c);
        } else if (n == "keepNext") {
            p.keepNext = OnOff(c);
        } else if (n == "keepLines") {
            p.keepLines = OnOff(c);
        } else if (n == "widowControl") {
            p.widowControl = OnOff(c);
        } else if (n == "contextualSpacing") {
            p.contextual = OnOff(c);
        } else if (n == "numPr") {
            if (auto id = Child(c, "numId")) {
                if (auto v = Number(id, "val")) p.numId = static_cast<int>(*v);
            }
            if (auto l = Child(c, "ilvl")) {
                if (auto v = Number(l, "val")) p.ilvl = std::clamp(static_cast<int>(*v), 0, 8);
            }
        } else if (n == "pBdr") {
            const auto side = [&](std::string_view name, std::optional<ParaBorder>& slot) {
                auto e = Child(c, name);
                if (!e) return;
                ParaBorder b;
                if (const double width = BorderWidth(e); width > 0) {
                    // The space to the text is in points.
                    b.space = std::clamp(Number(e, "space").value_or(0), 0.0, 31.0);
                    b.room = width + b.space;
                    for (const char* a : {"val", "sz", "space", "color"}) {
                        b.look += Attr(e, a) ? Attr(e, a) : "";
                        b.look += ',';
                    }
                }
                slot = b;
            };
            side("top", p.borderTop);
            side("bottom", p.borderBottom);
            side("between", p.borderBetween);
            side("left", p.borderLeft);
            side("right", p.borderRight);
        } else if (n == "tabs") {
            for (auto t = c.first_child(); t; t = t.next_sibling()) {
                if (t.type() != pugi::node_element || opc::LocalName(t.name()) != "tab") continue;
                const char* val = Attr(t, "val");
                if (auto pos = Number(t, "pos")) {
                    p.tabs.emplace_back(Twips(*pos), val && std::string_view(val) == "clear");
                }
            }
        }
    }
    return p;
}

void StyleSheet::ReadTheme(DocxPackage& package, const std::string& part) {
    if (part.empty()) return;
    auto theme = package.ReadXml(part);
    auto elements = Child(theme->document_element(), "themeElements");
    auto scheme = Child(elements, "fontScheme");
    if (auto latin = Child(Child(scheme, "majorFont"), "latin")) {
        if (const char* t = Attr(latin, "typeface")) majorFont_ = t;
    }
    if (auto latin = Child(Child(scheme, "minorFont"), "latin")) {
        if (const char* t = Attr(latin, "typeface")) minorFont_ = t;
    }
}

void StyleSheet::ReadStyles(DocxPackage& package, const std::string& part) {
    if (part.empty()) return;
    stylesXml_ = package.ReadXml(part);
    auto root = stylesXml_->document_element();
    if (auto defaults = Child(root, "docDefaults")) {
        defaultRun = ReadRunProps(Child(Child(defaults, "rPrDefault"), "rPr"));
        defaultPara = ReadParaProps(Child(Child(defaults, "pPrDefault"), "pPr"));
    }
    for (auto s = root.first_child(); s; s = s.next_sibling()) {
        if (s.type() != pugi::node_element || opc::LocalName(s.name()) != "style") continue;
        const char* id = Attr(s, "styleId");
        if (!id) continue;
        Style style;
        style.type = Attr(s, "type") ? Attr(s, "type") : "paragraph";
        if (auto b = Child(s, "basedOn")) style.basedOn = Attr(b, "val") ? Attr(b, "val") : "";
        style.para = ReadParaProps(Child(s, "pPr"));
        style.run = ReadRunProps(Child(s, "rPr"));
        style.tablePr = Child(s, "tblPr");
        for (auto c = s.first_child(); c; c = c.next_sibling()) {
            const char* type = Attr(c, "type");
            if (c.type() != pugi::node_element || opc::LocalName(c.name()) != "tblStylePr" || !type)
                continue;
            style.tableParts[type] = {ReadParaProps(Child(c, "pPr")),
                                      ReadRunProps(Child(c, "rPr"))};
        }
        const char* def = Attr(s, "default");
        const bool isDefault = def && opc::OnOff(def).value_or(false);
        if (isDefault && style.type == "paragraph") defaultParaStyle = id;
        if (isDefault && style.type == "table") defaultTableStyle = id;
        styles[id] = std::move(style);
    }
}

// The chain of a style from its root ancestor down to itself (cycles cut).
std::vector<const Style*> StyleSheet::Chain(const std::string& id) const {
    std::vector<const Style*> chain;
    std::set<std::string> seen;
    std::string cur = id;
    while (!cur.empty() && seen.insert(cur).second) {
        const auto it = styles.find(cur);
        if (it == styles.end()) break;
        chain.push_back(&it->second);
        cur = it->second.basedOn;
    }
    std::reverse(chain.begin(), chain.end());
    return chain;
}

void StyleSheet::ReadNumbering(DocxPackage& package, const std::string& part) {
    if (part.empty()) return;
    auto numbering = package.ReadXml(part);
    auto root = numbering->document_element();
    for (auto n = root.first_child(); n; n = n.next_sibling()) {
        if (n.type() != pugi::node_element) continue;
        const auto name = opc::LocalName(n.name());
        if (name == "abstractNum") {
            auto id = Number(n, "abstractNumId");
            if (!id) continue;
            AbstractNum a;
            if (auto m = Child(n, "multiLevelType"))
                a.multiLevelType = Attr(m, "val") ? Attr(m, "val") : "";
            if (auto l = Child(n, "numStyleLink"))
                a.numStyleLink = Attr(l, "val") ? Attr(l, "val") : "";
            for (auto l = n.first_child(); l; l = l.next_sibling()) {
                if (l.type() != pugi::node_element || opc::LocalName(l.name()) != "lvl") continue;
                const auto ilvl = Number(l, "ilvl");
                if (!ilvl || *ilvl < 0 || *ilvl > 8) continue;
                a.levels[static_cast<int>(*ilvl)] = ReadLevel(l);
            }
            abstracts_[static_cast<int>(*id)] = std::move(a);
        } else if (name == "num") {
            auto id = Number(n, "numId");
            if (!id) continue;
            Num num;
            if (auto a = Child(n, "abstractNumId")) {
                if (auto v = Number(a, "val")) num.abstractId = static_cast<int>(*v);
            }
            for (auto o = n.first_child(); o; o = o.next_sibling()) {
                if (o.type() != pugi::node_element || opc::LocalName(o.name()) != "lvlOverride")
                    continue;
                const auto ilvl = Number(o, "ilvl");
                if (!ilvl || *ilvl < 0 || *ilvl > 8) continue;
                const int level = static_cast<int>(*ilvl);
                if (auto so = Child(o, "startOverride")) {
                    if (auto v = Number(so, "val")) num.startOverride[level] = static_cast<int>(*v);
                }
                if (auto l = Child(o, "lvl")) num.levelOverride[level] = ReadLevel(l);
            }
            nums_[static_cast<int>(*id)] = std::move(num);
        }
    }
}

const Level* StyleSheet::FindLevel(int numId, int ilvl, int& abstractId) {
    const auto n = nums_.find(numId);
    if (n == nums_.end()) return nullptr;
    abstractId = n->second.abstractId;
    auto a = abstracts_.find(abstractId);
    // A list that takes its levels from a numbering style.
    for (int hops = 0; a != abstracts_.end() && !a->second.numStyleLink.empty() && hops < 4;
         ++hops) {
        const auto chain = Chain(a->second.numStyleLink);
        std::optional<int> linked;
        for (const Style* s : chain) {
            if (s->para.numId) linked = s->para.numId;
        }
        if (!linked) break;
        const auto ln = nums_.find(*linked);
        if (ln == nums_.end()) break;
        abstractId = ln->second.abstractId;
        a = abstracts_.find(abstractId);
    }
    if (a == abstracts_.end()) return nullptr;
    const auto o = n->second.levelOverride.find(ilvl);
    if (o != n->second.levelOverride.end()) return &o->second;
    return &a->second.levels[ilvl];
}

std::string StyleSheet::ListString(int numId, int abstractId, int ilvl) {
    auto& counters = counters_[abstractId];
    const Num& num = nums_[numId];
    const AbstractNum& a = abstracts_[abstractId];
    const auto levelOf = [&](int k) -> const Level& {
        const auto o = num.levelOverride.find(k);
        return o != num.levelOverride.end() ? o->second : a.levels[k];
    };
    const auto startOf = [&](int k) {
        const auto so = num.startOverride.find(k);
        return so != num.startOverride.end() ? so->second : levelOf(k).start;
    };
    // A list instance with a start override restarts the first time it is used.
    if (!num.startOverride.empty() && startedNums_.insert(numId).second) {
        for (const auto& [k, v] : num.startOverride) counters[k] = std::nullopt;
    }
    auto& c = counters[ilvl];
    c = c ? *c + 1 : startOf(ilvl);
    for (int k = ilvl + 1; k < 9; ++k) {
        const int restart = levelOf(k).restart;
        if (restart != 0 && (restart < 0 || restart - 1 <= ilvl)) counters[k] = std::nullopt;
    }
    const Level& level = levelOf(ilvl);
    if (level.format == "bullet") return level.text;
    std::string out;
    const std::string& t = level.text;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i] == '%' && i + 1 < t.size() && t[i + 1] >= '1' && t[i + 1] <= '9') {
            const int k = t[i + 1] - '1';
            const int value = counters[k] ? *counters[k] : startOf(k);
            const std::string fmt = level.isLegal && k != ilvl ? "decimal" : levelOf(k).format;
            out += FormatNumber(value, fmt == "bullet" ? "decimal" : fmt);
            ++i;
        } else {
            out += t[i];
        }
    }
    return out;
}

long StyleSheet::ListType(int abstractId, const Level& level) {
    if (level.format == "bullet") return level.picture ? 6 : 2;
    if (level.format == "none" && level.text.find('%') == std::string::npos) return 1;
    const auto& a = abstracts_[abstractId];
    return a.multiLevelType == "multilevel" ? 4 : 3;
}

RunFormat StyleSheet::Resolve(const RunProps& p) const {
    RunFormat f;
    if (p.asciiTheme) {
        const bool major = p.asciiTheme->rfind("major", 0) == 0;
        const std::string& t = major ? majorFont_ : minorFont_;
        if (!t.empty()) {
            f.font = t;
        } else if (p.ascii) {
            f.font = *p.ascii;
        }
    } else if (p.ascii) {
        f.font = *p.ascii;
    }
    f.size = p.size.value_or(10);
    if (f.size <= 0 || f.size > 1638) f.size = 10;
    f.bold = p.bold.value_or(false);
    f.italic = p.italic.value_or(false);
    f.hidden = p.hidden.value_or(false);
    f.underline = p.underline.value_or(0);
    f.spacing = p.spacing.value_or(0);
    f.scale = p.scale.value_or(100);
    if (p.vertAlign) {
        f.superscript = *p.vertAlign == "superscript";
        f.subscript = *p.vertAlign == "subscript";
    }
    return f;
}

}  // namespace tbln::document

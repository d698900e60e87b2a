// The styles part of a .docx package and the properties it is made of: run and
// paragraph properties as partial sets merged along the style chain, the theme's fonts,
// the styles with their inheritance, and the numbering with its list counters. Also
// the small XML readers every part of the package shares (local names, attributes,
// measures read the same way whatever the locale).
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <pugixml.hpp>

#include "adapters/document/document_model.hpp"
#include "adapters/document/docx_package.hpp"
#include "adapters/opc/dom.hpp"
#include "adapters/opc/xml_part.hpp"

namespace tbln::document {

// The package's DOM helpers (adapters/opc/dom.hpp): names without their prefix.
using opc::Attr;
using opc::Child;
// The decimal number at the start of the text, read the same way whatever the locale;
// `rest` gets the text after it.
std::optional<double> LeadingNumber(std::string_view text, std::string_view* rest = nullptr);
// A measure attribute in twips (or with a unit: "12pt", "1in", "2cm", "5mm").
std::optional<double> Number(pugi::xml_node node, std::string_view name);
double Twips(double t);
// An on/off value (opc::OnOff); a value that is not one reads as on.
bool OnOffValue(std::string_view s);
// A toggle property: present without w:val, or with a true value.
bool OnOff(pugi::xml_node node);
// The room a border element (w:top, w:insideH, ...) takes across its line, in points: its
// w:sz in eighths of a point for one line, three times that for a double line, and the
// set gaps and thin lines of the compound styles; 0 for none.
double BorderWidth(pugi::xml_node border);

// Run properties as a partial set, merged along the style chain.
struct RunProps {
    std::optional<std::string> ascii, asciiTheme;
    std::optional<double> size;
    std::optional<bool> bold, italic, hidden;
    std::optional<long> underline;
    std::optional<std::string> vertAlign;
    std::optional<double> spacing, scale;  // points after each character; width, percent

    void Merge(const RunProps& o) {
        if (o.ascii || o.asciiTheme) {
            ascii = o.ascii;
            asciiTheme = o.asciiTheme;
        }
        if (o.size) size = o.size;
        if (o.bold) bold = o.bold;
        if (o.italic) italic = o.italic;
        if (o.hidden) hidden = o.hidden;
        if (o.underline) underline = o.underline;
        if (o.vertAlign) vertAlign = o.vertAlign;
        if (o.spacing) spacing = o.spacing;
        if (o.scale) scale = o.scale;
    }
};

// One side of a paragraph's border: the room it takes across its line (its drawn width
// and its space from the text, `space`) and how it is drawn; an empty look for none.
struct ParaBorder {
    double room = 0, space = 0;
    std::string look;
};

struct ParaProps {
    std::optional<long> alignment;
    std::optional<double> left, right, firstLine, before, after, line;
    std::optional<LineRule> lineRule;
    std::optional<bool> pageBreakBefore, keepNext, keepLines, widowControl, contextual;
    std::optional<bool> autoBefore, autoAfter;  // spacing chosen as for a web page
    std::optional<int> numId, ilvl;
    std::vector<std::pair<double, bool>> tabs;  // position (pt), clear
    // w:pBdr's sides, each set on its own along the style chain.
    std::optional<ParaBorder> borderTop, borderBottom, borderBetween, borderLeft, borderRight;

    void Merge(const ParaProps& o) {
        if (o.alignment) alignment = o.alignment;
        if (o.left) left = o.left;
        if (o.right) right = o.right;
        if (o.firstLine) firstLine = o.firstLine;
        if (o.before) before = o.before;
        if (o.after) after = o.after;
        if (o.line) line = o.line;
        if (o.lineRule) lineRule = o.lineRule;
        if (o.pageBreakBefore) pageBreakBefore = o.pageBreakBefore;
        if (o.keepNext) keepNext = o.keepNext;
        if (o.keepLines) keepLines = o.keepLines;
        if (o.widowControl) widowControl = o.widowControl;
        if (o.contextual) contextual = o.contextual;
        if (o.autoBefore) autoBefore = o.autoBefore;
        if (o.autoAfter) autoAfter = o.autoAfter;
        if (o.numId) numId = o.numId;
        if (o.ilvl) ilvl = o.ilvl;
        for (const auto& t : o.tabs) tabs.push_back(t);
        for (auto side :
             {&ParaProps::borderTop, &ParaProps::borderBottom, &ParaProps::borderBetween,
              &ParaProps::borderLeft, &ParaProps::borderRight}) {
            if (o.*side) this->*side = o.*side;
        }
    }
};

// The paragraph and run properties a table style gives a part of its table.
struct TablePartProps {
    ParaProps para;
    RunProps run;
};

struct Style {
    std::string type;
    std::string basedOn;
    ParaProps para;
    RunProps run;
    pugi::xml_node tablePr;  // table styles: their table properties
    // Table styles: the formats of parts of the table (w:tblStylePr) by their type
    // ("firstRow", "band1Horz", "nwCell"...).
    std::map<std::string, TablePartProps, std::less<>> tableParts;
};

struct Level {
    int start = 1;
    std::string format = "decimal";
    std::string text;
    int restart = -1;  // -1: restart after any higher level
    bool isLegal = false;
    char suffix = '\t';
    bool picture = false;
    ParaProps para;
    RunProps run;
};

struct AbstractNum {
    std::string multiLevelType;
    std::string numStyleLink;
    Level levels[9];
};

struct Num {
    int abstractId = -1;
    std::map<int, int> startOverride;
    std::map<int, Level> levelOverride;
};

RunProps ReadRunProps(pugi::xml_node rPr);
ParaProps ReadParaProps(pugi::xml_node pPr);

// The document's styles, theme fonts and numbering.
class StyleSheet {
  public:
    void ReadTheme(DocxPackage& package, const std::string& part);
    void ReadStyles(DocxPackage& package, const std::string& part);
    void ReadNumbering(DocxPackage& package, const std::string& part);

    // The chain of a style from its root ancestor down to itself (cycles cut).
    std::vector<const Style*> Chain(const std::string& id) const;
    // The level of a list (following numbering-style links), with its abstract list.
    const Level* FindLevel(int numId, int ilvl, int& abstractId);
    // The next number of the level as the list shows it ("1.", "a)", the bullet).
    std::string ListString(int numId, int abstractId, int ilvl);
    // Word's list type of the level: 1 none, 2 bullet, 3 simple, 4 outline, 6 picture.
    long ListType(int abstractId, const Level& level);
    // The formatting of merged run properties, theme fonts resolved.
    RunFormat Resolve(const RunProps& p) const;

    RunProps defaultRun;
    ParaProps defaultPara;
    std::map<std::string, Style> styles;
    std::string defaultParaStyle;
    std::string defaultTableStyle;

  private:
    std::string majorFont_, minorFont_;
    std::unique_ptr<pugi::xml_document> stylesXml_;  // kept for the table styles' nodes
    std::map<int, AbstractNum> abstracts_;
    std::map<int, Num> nums_;
    std::map<int, std::map<int, std::optional<int>>> counters_;
    std::set<int> startedNums_;
};

}  // namespace tbln::document

// Reads a .docx package into the engine's model: the parts the main part relates to
// (styles, numbering and theme through the style sheet of docx_styles; settings), the
// main story of document.xml (paragraphs, runs, tabs, breaks, symbol characters,
// hyperlinks, fields by their shown text, tracked insertions, table cells in cell order,
// floating objects) and the sections' page geometry.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string_view>

#include "adapters/document/document_model.hpp"
#include "adapters/document/docx_package.hpp"
#include "adapters/document/docx_styles.hpp"
#include "core/error.hpp"
#include "core/unicode.hpp"

namespace tbln::document {

namespace {

// Where a table or a row stands in the text area: 'c' centred, 'r' against the right
// edge, 0 from the left edge.
char TableAlignment(pugi::xml_node jc) {
    const char* value = jc ? Attr(jc, "val") : nullptr;
    const std::string_view v = value ? value : "";
    if (v == "center") return 'c';
    if (v == "right" || v == "end") return 'r';
    return 0;
}

class Reader {
  public:
    Reader(const std::string& path, opc::PackageLimits limits) : package_(path, limits) {
        model_.path = path;
    }

    DocumentModel Run() {
        const std::string main = MainPart();
        sheet_.ReadTheme(package_, RelatedPart("theme", "theme/theme1.xml"));
        sheet_.ReadStyles(package_, RelatedPart("styles", "styles.xml"));
        sheet_.ReadNumbering(package_, RelatedPart("numbering", "numbering.xml"));
        ReadSettings();
        auto doc = package_.ReadXml(main);
        auto body = Child(doc->document_element(), "body");
        if (!body) RaiseBadDocument(model_.path, "the part " + main + " has no document body");
        model_.sections.push_back(Section{});
        BodyChildren(body, CellPlace{});
        // The body's own section properties describe the last section.
        ApplySection(Child(body, "sectPr"), model_.sections.back());
        if (model_.paragraphs.empty()) {
            // Every document has at least one paragraph.
            StartParagraph(pugi::xml_node(), CellPlace{});
            EndParagraph();
        }
        WebSpacing(model_);
        ReadFootnotes();
        ReadHeadersAndFooters();
        model_.formatRuns.shrink_to_fit();
        return std::move(model_);
    }

  private:
    std::string MainPart() {
        if (!package_.Has("[Content_Types].xml") && !package_.Has("_rels/.rels")) {
            RaiseBadDocument(model_.path, "the package has no document part (word/document.xml)");
        }
        std::string main = "word/document.xml";
        for (const auto& [id, rel] : opc::ReadRelationships(package_, "")) {
            if (rel.type == "officeDocument" && !rel.external) main = rel.target;
        }
        if (!package_.Has(main)) {
            RaiseBadDocument(model_.path, "the package has no document part (" + main + ")");
        }
        opc::CheckMainPartKind(package_, main);
        mainPart_ = main;
        const auto slash = main.rfind('/');
        folder_ = slash == std::string::npos ? "" : main.substr(0, slash + 1);
        // The parts the main part names by relationship: styles, numbering, theme, settings.
        for (const auto& [id, rel] : opc::ReadRelationships(package_, main)) {
            if (rel.external) continue;
            related_.emplace(rel.type, rel.target);
            if (rel.type == "header" || rel.type == "footer") headerFooterParts_[id] = rel.target;
        }
        return main;
    }

    // The part related to the main part by the relationship kind ("styles", "theme"...),
    // else the part of that name beside it, as packages without relationships keep them;
    // empty when there is neither. A related part is returned even when the package lacks
    // it, so that reading it reports the damage rather than losing its formats unseen.
    std::string RelatedPart(const std::string& kind, const std::string& fallback) const {
        const auto it = related_.find(kind);
        if (it != related_.end()) return it->second;
        return package_.Has(folder_ + fallback) ? folder_ + fallback : std::string();
    }

    void ReadSettings() {
        const std::string part = RelatedPart("settings", "settings.xml");
        if (part.empty()) return;
        auto settings = package_.ReadXml(part);
        auto root = settings->document_element();
        if (auto e = Child(root, "evenAndOddHeaders")) model_.evenAndOddHeaders = OnOff(e);
        if (auto t = Child(root, "defaultTabStop")) {
            if (auto v = Number(t, "val"); v && *v > 0) model_.defaultTab = Twips(*v);
        }
        if (auto e = Child(Child(root, "compat"), "doNotUseHTMLParagraphAutoSpacing"))
            fixedAutoSpacing_ = OnOff(e);
        if (auto e = Child(Child(root, "compat"), "overrideTableStyleFontSizeAndJustification"))
            paraStyleOverTableStyle_ = OnOff(e);
        for (auto c = Child(root, "compat").first_child(); c; c = c.next_sibling()) {
            const char* name = Attr(c, "name");
            if (c.type() == pugi::node_element && opc::LocalName(c.name()) == "compatSetting" &&
                name && std::string_view(name) == "compatibilityMode") {
                if (auto v = Number(c, "val")) model_.compatibilityMode = static_cast<int>(*v);
            }
        }
    }

    void ApplySection(pugi::xml_node sectPr, Section& s) {
        if (!sectPr) return;
        if (auto sz = Child(sectPr, "pgSz")) {
            if (auto v = Number(sz, "w"); v && *v > 0) s.pageWidth = Twips(*v);
            if (auto v = Number(sz, "h"); v && *v > 0) s.pageHeight = Twips(*v);
        }
        if (auto m = Child(sectPr, "pgMar")) {
            if (auto v = Number(m, "top")) s.top = std::abs(Twips(*v));
            if (auto v = Number(m, "bottom")) s.bottom = std::abs(Twips(*v));
            if (auto v = Number(m, "left")) s.left = Twips(*v);
            if (auto v = Number(m, "right")) s.right = Twips(*v);
            if (auto v = Number(m, "header")) s.header = std::clamp(Twips(*v), 0.0, s.pageHeight);
            if (auto v = Number(m, "footer")) s.footer = std::clamp(Twips(*v), 0.0, s.pageHeight);
        }
        if (auto t = Child(sectPr, "type")) {
            const char* v = Attr(t, "val");
            s.continuous = v && std::string_view(v) == "continuous";
        }
        if (auto t = Child(sectPr, "titlePg")) s.titlePage = OnOff(t);
        // A section without a header or footer of a kind keeps the one before it.
        for (auto r = sectPr.first_child(); r; r = r.next_sibling()) {
            if (r.type() != pugi::node_element) continue;
            const auto n = opc::LocalName(r.name());
            if (n != "headerReference" && n != "footerReference") continue;
            const char* type = Attr(r, "type");
            const std::string_view kind = type ? type : "default";
            Section::HeaderFooter* pages = kind == "default" ? &s.every
                                           : kind == "even"  ? &s.even
                                           : kind == "first" ? &s.first
                                                             : nullptr;
            if (!pages) continue;
            const char* id = Attr(r, "id");
            const auto part = id ? headerFooterParts_.find(id) : headerFooterParts_.end();
            (n == "headerReference" ? pages->header : pages->footer) =
                part == headerFooterParts_.end() ? -1 : StoryOf(part->second);
        }
        // Keep the body at least one point high and wide.
        s.top = std::min(s.top, s.pageHeight - 1);
        s.bottom = std::min(s.bottom, s.pageHeight - s.top - 1);
        s.left = std::clamp(s.left, 0.0, s.pageWidth - 1);
        s.right = std::clamp(s.right, 0.0, s.pageWidth - s.left - 1);
    }

    // The footnotes' paragraphs, read as a story of their own: the separator's, then each
    // referenced note's in the order of the references.
    void ReadFootnotes() {
        if (references_.empty()) return;
        const std::string part = RelatedPart("footnotes", "footnotes.xml");
        if (part.empty()) return;
        auto xml = package_.ReadXml(part);
        std::map<std::string, pugi::xml_node, std::less<>> notes;
        pugi::xml_node separator;
        for (auto n = xml->document_element().first_child(); n; n = n.next_sibling()) {
            if (n.type() != pugi::node_element || opc::LocalName(n.name()) != "footnote") continue;
            const std::string_view type = Attr(n, "type") ? Attr(n, "type") : "normal";
            if (type == "separator") separator = n;
            if (type == "normal" && Attr(n, "id")) notes.emplace(Attr(n, "id"), n);
        }
        model_.notes = std::make_shared<DocumentModel>(ReadStory([&](DocumentModel& main) {
            BodyChildren(separator, CellPlace{});
            main.separatorEnd = model_.paragraphs.size();
            for (const auto& r : references_) {
                const auto it = notes.find(r.id);
                if (it == notes.end()) continue;
                noteMark_ = r.number;
                const std::size_t first = model_.paragraphs.size();
                BodyChildren(it->second, CellPlace{});
                main.footnotes.push_back({r.position, first, model_.paragraphs.size()});
            }
        }));
    }

    // A story of its own (the footnotes', a header's), read by `read` into a model that
    // shares the main story's formats, sections and settings; `read` is given the main
    // story, which is the one being read again afterwards.
    template <class Read>
    DocumentModel ReadStory(Read&& read) {
        DocumentModel main = std::move(model_);
        model_ = DocumentModel{};
        model_.path = main.path;
        model_.formats = std::move(main.formats);
        model_.sections = main.sections;
        model_.defaultTab = main.defaultTab;
        model_.compatibilityMode = main.compatibilityMode;
        read(main);
        WebSpacing(model_);
        main.formats = model_.formats;
        DocumentModel story = std::move(model_);
        model_ = std::move(main);
        return story;
    }

    // The index of a header's or footer's part among the stories read after the body.
    int StoryOf(const std::string& part) {
        const auto it = std::find(storyParts_.begin(), storyParts_.end(), part);
        if (it != storyParts_.end()) return static_cast<int>(it - storyParts_.begin());
        storyParts_.push_back(part);
        return static_cast<int>(storyParts_.size() - 1);
    }

    // Each header and footer the sections name, read as a story of its own (after the
    // footnotes, so that a note referenced in one is not taken for the main story's).
    void ReadHeadersAndFooters() {
        for (const auto& part : storyParts_) {
            auto story = ReadStory([&](DocumentModel&) {
                try {
                    if (package_.Has(part))
                        BodyChildren(package_.ReadXml(part)->document_element(), {});
                } catch (const RuntimeError&) {
                    // A header or footer that cannot be read only gives up its room on
                    // the page: the document's own text is still there to import.
                    model_.paragraphs.clear();
                }
            });
            model_.headerFooters.push_back(std::make_shared<const DocumentModel>(std::move(story)));
        }
    }

    // Automatic (web page) spacing is left out where a web page has none: before the
    // story's first paragraph and a cell's first, after a cell's last, and between the
    // items of a list (the last item keeps its space after).
    static void WebSpacing(DocumentModel& story) {
        auto& ps = story.paragraphs;
        const auto sameCell = [&](std::size_t a, std::size_t b) {
            return SameCell(ps[a].cell, ps[b].cell);
        };
        // Paragraphs a and b (next to each other) where b's cell begins or a's ends; a
        // table nested in a cell is not its edge for the cell's own text around it.
        const auto cellEdge = [&](std::size_t a, std::size_t b, std::size_t own) {
            const auto &p = ps[a].cell, &q = ps[b].cell;
            const bool sameOuter =
                p.table == q.table && p.row == q.row && p.outerLeft == q.outerLeft;
            return ps[own].cell.table >= 0 && !sameCell(a, b) &&
                   !(ps[own].cell.nestedRow < 0 && sameOuter);
        };
        const auto listItems = [&](std::size_t a, std::size_t b) {
            return !ps[a].listString.empty() && !ps[b].listString.empty() && sameCell(a, b);
        };
        for (std::size_t i = 0; i < ps.size(); ++i) {
            auto& f = ps[i].format;
            const bool last = i + 1 == ps.size();
            if (f.autoBefore && (i == 0 || cellEdge(i - 1, i, i) || listItems(i - 1, i))) {
                f.spaceBefore = 0;
            }
            if (f.autoAfter && ((last && ps[i].cell.table >= 0) ||
                                (!last && (cellEdge(i, i + 1, i) || listItems(i, i + 1))))) {
                f.spaceAfter = 0;
            }
        }
    }

    // --- the story ---

    void BodyChildren(pugi::xml_node parent, const CellPlace& cell) {
        for (auto c = parent.first_child(); c; c = c.next_sibling()) {
            if (c.type() != pugi::node_element) continue;
            const auto n = opc::LocalName(c.name());
            if (n == "p") {
                ParagraphElement(c, cell);
            } else if (n == "tbl") {
                Table(c, cell);
            } else if (n == "sdt") {
                BodyChildren(Child(c, "sdtContent"), cell);
            } else if (n == "customXml" || n == "ins" || n == "moveTo") {
                BodyChildren(c, cell);
            }
        }
    }

    // Which parts of the table its style formats apart (w:tblLook): by default the
    // banded rows and columns only; and how many rows and columns make a band.
    struct TableLook {
        bool firstRow = false, lastRow = false, firstColumn = false, lastColumn = false;
        bool rowBands = true, columnBands = true;
        int rowBand = 1, columnBand = 1;
    };

    static TableLook ReadTableLook(pugi::xml_node tblPr, const std::vector<const Style*>& style) {
        TableLook look;
        const auto bandSize = [&](pugi::xml_node pr, const char* name, int& slot) {
            if (auto e = Child(pr, name)) {
                slot = static_cast<int>(std::clamp(Number(e, "val").value_or(1), 1.0, 100.0));
            }
        };
        for (const Style* s : style) {
            bandSize(s->tablePr, "tblStyleRowBandSize", look.rowBand);
            bandSize(s->tablePr, "tblStyleColBandSize", look.columnBand);
        }
        bandSize(tblPr, "tblStyleRowBandSize", look.rowBand);
        bandSize(tblPr, "tblStyleColBandSize", look.columnBand);
        auto e = Child(tblPr, "tblLook");
        if (!e) return look;
        // A bit mask in hexadecimal, or (newer) an attribute for each part.
        unsigned mask = 0;
        if (const char* v = Attr(e, "val")) {
            const std::string_view hex(v);
            std::from_chars(hex.data(), hex.data() + hex.size(), mask, 16);
        }
        const auto flag = [&](const char* name, unsigned bit) {
            const char* v = Attr(e, name);
            return v ? OnOffValue(v) : (mask & bit) != 0;
        };
        look.firstRow = flag("firstRow", 0x20);
        look.lastRow = flag("lastRow", 0x40);
        look.firstColumn = flag("firstColumn", 0x80);
        look.lastColumn = flag("lastColumn", 0x100);
        look.rowBands = !flag("noHBand", 0x200);
        look.columnBands = !flag("noVBand", 0x400);
        return look;
    }

    // The paragraph and run properties a table style gives the paragraphs of one cell: the
    // whole table's, then the parts' the table shows, each over the one before: column
    // bands, row bands, first and last column, first and last row, corner cells.
    static TablePartProps CellStyle(const std::vector<const Style*>& style, const TableLook& look,
                                    int row, int rows, int column, int columns) {
        const bool first = look.firstRow && row == 0;
        const bool last = look.lastRow && row == rows - 1;
        const bool left = look.firstColumn && column == 0;
        const bool right = look.lastColumn && column == columns - 1;
        std::vector<std::string_view> parts = {"wholeTable"};
        if (look.columnBands && !left && !right) {
            const int band = (column - (look.firstColumn ? 1 : 0)) / look.columnBand;
            parts.push_back(band % 2 == 0 ? "band1Vert" : "band2Vert");
        }
        if (look.rowBands && !first && !last) {
            const int band = (row - (look.firstRow ? 1 : 0)) / look.rowBand;
            parts.push_back(band % 2 == 0 ? "band1Horz" : "band2Horz");
        }
        if (left) parts.push_back("firstCol");
        if (right) parts.push_back("lastCol");
        if (first) parts.push_back("firstRow");
        if (last) parts.push_back("lastRow");
        if (first && left) parts.push_back("nwCell");
        if (first && right) parts.push_back("neCell");
        if (last && left) parts.push_back("swCell");
        if (last && right) parts.push_back("seCell");
        TablePartProps props;
        for (const Style* s : style) {
            props.para.Merge(s->para);
            props.run.Merge(s->run);
        }
        for (const auto part : parts) {
            for (const Style* s : style) {
                const auto it = s->tableParts.find(part);
                if (it == s->tableParts.end()) continue;
                props.para.Merge(it->second.para);
                props.run.Merge(it->second.run);
            }
        }
        return props;
    }

    void Table(pugi::xml_node tbl, const CellPlace& outer) {
        const int table = nextTable_++;
        std::vector<double> grid;
        for (auto g = Child(tbl, "tblGrid").first_child(); g; g = g.next_sibling()) {
            if (g.type() == pugi::node_element && opc::LocalName(g.name()) == "gridCol") {
                grid.push_back(Twips(Number(g, "w").value_or(0)));
            }
        }
        double indent = 0;
        char align = 0;         // 'c' centred, 'r' against the right edge
        double widthShare = 0;  // of the text area's width, when the table gives one
        double spacing = 0;
        // Cell margins: the table's own, else its style's, else Word's 0.075 inch at the
        // sides and none above and below; a cell may set its own.
        struct Margins {
            double left = 5.4, right = 5.4, top = 0, bottom = 0;
        };
        const auto readMargins = [&](pugi::xml_node mar, Margins& m) {
            if (!mar) return;
            const auto read = [&](std::initializer_list<const char*> names, double& slot) {
                for (const char* name : names) {
                    if (auto e = Child(mar, name)) {
                        const char* type = Attr(e, "type");
                        if (!type || std::string_view(type) == "dxa") {
                            slot = std::max(0.0, Twips(Number(e, "w").value_or(0)));
                        }
                    }
                }
            };
            read({"left", "start"}, m.left);
            read({"right", "end"}, m.right);
            read({"top"}, m.top);
            read({"bottom"}, m.bottom);
        };
        Margins tableMargins;
        // Horizontal borders take their width in the row's height: the table's top one
        // above the first row, the inside one above the others, the bottom one below
        // the last; a cell may set its own above it.
        struct Borders {
            double top = 0, bottom = 0, insideH = 0;
        };
        const auto readBorders = [&](pugi::xml_node borders, Borders& b) {
            if (!borders) return;
            const auto read = [&](const char* name, double& slot) {
                if (auto e = Child(borders, name)) slot = BorderWidth(e);
            };
            read("top", b.top);
            read("bottom", b.bottom);
            read("insideH", b.insideH);
        };
        Borders tableBorders;
        // The table's style, else the document's default table style.
        const auto pr = Child(tbl, "tblPr");
        std::vector<const Style*> tableStyle;
        if (auto style = Child(pr, "tblStyle")) {
            if (const char* id = Attr(style, "val")) tableStyle = sheet_.Chain(id);
        } else {
            tableStyle = sheet_.Chain(sheet_.defaultTableStyle);
        }
        const TableLook look = ReadTableLook(pr, tableStyle);
        if (pr) {
            for (const Style* st : tableStyle) {
                readMargins(Child(st->tablePr, "tblCellMar"), tableMargins);
                readBorders(Child(st->tablePr, "tblBorders"), tableBorders);
            }
            readMargins(Child(pr, "tblCellMar"), tableMargins);
            readBorders(Child(pr, "tblBorders"), tableBorders);
            if (auto ind = Child(pr, "tblInd")) indent = Twips(Number(ind, "w").value_or(0));
            align = TableAlignment(Child(pr, "jc"));
            if (auto w = Child(pr, "tblW")) {
                const char* type = Attr(w, "type");
                if (type && std::string_view(type) == "pct") {
                    widthShare = std::clamp(Number(w, "w").value_or(0) / 5000, 0.0, 1.0);
                }
            }
            if (auto sp = Child(pr, "tblCellSpacing")) {
                const char* type = Attr(sp, "type");
                if (!type || std::string_view(type) == "dxa")
                    spacing = std::max(0.0, Twips(Number(sp, "w").value_or(0)));
            }
        }
        int row = 0;
        double borderBelowRow = 0;  // the bottom border of the row above
        bool headerRows = true;     // the rows so far are all heading rows
        const auto countRows = [](pugi::xml_node parent, auto&& self) -> int {
            int count = 0;
            for (auto tr = parent.first_child(); tr; tr = tr.next_sibling()) {
                const auto n = tr.type() == pugi::node_element ? opc::LocalName(tr.name()) : "";
                count += n == "tr" ? 1 : n == "sdt" ? self(Child(tr, "sdtContent"), self) : 0;
            }
            return count;
        };
        const int rowCount = countRows(tbl, countRows);
        const auto rows = [&](pugi::xml_node parent, auto&& self) -> void {
            for (auto tr = parent.first_child(); tr; tr = tr.next_sibling()) {
                if (tr.type() != pugi::node_element) continue;
                const auto n = opc::LocalName(tr.name());
                if (n == "sdt") {
                    self(Child(tr, "sdtContent"), self);
                    continue;
                }
                if (n != "tr") continue;
                const int nestedRow = outer.table >= 0 ? nextNestedRow_++ : -1;
                std::size_t col = 0;
                char rowAlign = align;
                LineRule heightRule = LineRule::Auto;
                double height = 0;
                bool cantSplit = false;
                if (auto trPr = Child(tr, "trPr")) {
                    if (auto before = Child(trPr, "gridBefore")) {
                        col += static_cast<std::size_t>(
                            std::max(0.0, Number(before, "val").value_or(0)));
                    }
                    // A height without a rule is a minimum.
                    if (auto h = Child(trPr, "trHeight")) {
                        height = std::clamp(Twips(Number(h, "val").value_or(0)), 0.0, 1e4);
                        const char* rule = Attr(h, "hRule");
                        const std::string_view r = rule ? rule : "atLeast";
                        heightRule = r == "exact"  ? LineRule::Exact
                                     : r == "auto" ? LineRule::Auto
                                                   : LineRule::AtLeast;
                        if (height <= 0) heightRule = LineRule::Auto;
                    }
                    if (auto c = Child(trPr, "cantSplit")) cantSplit = OnOff(c);
                    if (auto jc = Child(trPr, "jc")) rowAlign = TableAlignment(jc);
                    // Only the rows from the first on repeat.
                    auto h = Child(trPr, "tblHeader");
                    headerRows = headerRows && h && OnOff(h);
                } else {
                    headerRows = false;
                }
                // A row with table borders of its own (w:tblPrEx) has its top and bottom
                // ones above and below it, as if it were a table of its own.
                std::optional<double> ownTop, ownBottom;
                if (auto ex = Child(Child(tr, "tblPrEx"), "tblBorders")) {
                    if (auto e = Child(ex, "top")) ownTop = BorderWidth(e);
                    if (auto e = Child(ex, "bottom")) ownBottom = BorderWidth(e);
                }
                double borderAbove =
                    ownTop.value_or(row == 0 ? tableBorders.top : tableBorders.insideH);
                const double rowBottom = ownBottom.value_or(tableBorders.insideH);
                // With spacing between cells, each cell keeps its own borders above and
                // below its text, inside the table's own around them all.
                double cellsAbove = 0, cellsBelow = 0;
                int cellCount = 0;
                for (auto tc = tr.first_child(); tc; tc = tc.next_sibling()) {
                    if (tc.type() != pugi::node_element || opc::LocalName(tc.name()) != "tc")
                        continue;
                    ++cellCount;
                    Borders own{borderAbove, rowBottom, 0};
                    readBorders(Child(Child(tc, "tcPr"), "tcBorders"), own);
                    cellsAbove = std::max(cellsAbove, own.top);
                    cellsBelow = std::max(cellsBelow, own.bottom);
                }
                if (spacing > 0) {
                    borderAbove = (row == 0 ? tableBorders.top : 0) + cellsAbove;
                } else {
                    // Between two rows the heavier of the upper one's bottom border and
                    // the lower one's top border takes the room.
                    borderAbove =
                        std::max({borderAbove, cellsAbove, row == 0 ? 0 : borderBelowRow});
                    borderBelowRow = rowBottom;
                    cellsBelow = 0;
                }
                int cellIndex = 0;
                for (auto tc = tr.first_child(); tc; tc = tc.next_sibling()) {
                    if (tc.type() != pugi::node_element || opc::LocalName(tc.name()) != "tc")
                        continue;
                    std::size_t span = 1;
                    double width = 0;
                    Margins margins = tableMargins;
                    char merge = 0;
                    char vAlign = 0;
                    if (auto tcPr = Child(tc, "tcPr")) {
                        if (auto va = Child(tcPr, "vAlign")) {
                            const char* val = Attr(va, "val");
                            const std::string_view v = val ? val : "";
                            vAlign = v == "center" ? 'c' : v == "bottom" ? 'b' : 0;
                        }
                        if (auto vm = Child(tcPr, "vMerge")) {
                            const char* val = Attr(vm, "val");
                            merge = val && std::string_view(val) == "restart" ? 'r' : 'c';
                        }
                        readMargins(Child(tcPr, "tcMar"), margins);
                        if (auto gs = Child(tcPr, "gridSpan")) {
                            span = static_cast<std::size_t>(
                                std::clamp(Number(gs, "val").value_or(1), 1.0, 64.0));
                        }
                        if (auto w = Child(tcPr, "tcW")) {
                            const char* type = Attr(w, "type");
                            if (!type || std::string_view(type) == "dxa")
                                width = Twips(Number(w, "w").value_or(0));
                        }
                    }
                    double left = 0;
                    for (std::size_t k = 0; k < col && k < grid.size(); ++k) left += grid[k];
                    double gridWidth = 0;
                    for (std::size_t k = col; k < col + span && k < grid.size(); ++k)
                        gridWidth += grid[k];
                    if (gridWidth > 0) width = gridWidth;
                    if (width <= 0) width = 72;
                    CellPlace place;
                    place.table = outer.table >= 0 ? outer.table : table;
                    place.row = outer.table >= 0 ? outer.row : row;
                    // Older documents shift a table (not one nested in a cell) left by its
                    // cell margin, so that cell text lines up with the text around it.
                    const double shift =
                        model_.compatibilityMode < 15 && outer.table < 0 ? tableMargins.left : 0;
                    place.left =
                        (outer.table >= 0 ? outer.left : 0) + indent + left - shift + margins.left;
                    // A centred or right-aligned table is placed by its grid's width in
                    // the text area; its indent does not apply.
                    if (outer.table < 0) {
                        for (const double g : grid) place.gridTotal += g;
                        if (rowAlign && place.gridTotal > 0) {
                            place.align = rowAlign;
                            place.left = left + margins.left;
                        }
                    }
                    place.nestedRow = nestedRow;
                    place.outerLeft = outer.table >= 0 ? outer.outerLeft : place.left;
                    place.width = std::max(1.0, width - margins.left - margins.right);
                    place.top = margins.top;
                    place.bottom = margins.bottom;
                    // A nested table's paragraphs belong to the outer row.
                    place.heightRule = outer.table >= 0 ? outer.heightRule : heightRule;
                    place.height = outer.table >= 0 ? outer.height : height;
                    place.cantSplit = outer.table >= 0 ? outer.cantSplit : cantSplit;
                    place.spacing = outer.table >= 0 ? outer.spacing : spacing;
                    if (outer.table >= 0) place.width = std::min(place.width, outer.width);
                    place.borderAbove = outer.table >= 0 ? outer.borderAbove : borderAbove;
                    place.cellsBelow = outer.table >= 0 ? outer.cellsBelow : cellsBelow;
                    place.borderBelow = outer.table >= 0 ? outer.borderBelow
                                                         : ownBottom.value_or(tableBorders.bottom);
                    place.merge = outer.table >= 0 ? outer.merge : merge;
                    place.vAlign = outer.table >= 0 ? 0 : vAlign;
                    if (outer.table < 0 && widthShare > 0 && gridWidth > 0) {
                        place.widthShare = widthShare;
                        place.gridLeft = left;
                        place.gridWidth = gridWidth;
                    }
                    place.header = outer.table >= 0 ? outer.header : headerRows;
                    auto outerCellStyle = std::move(cellStyle_);
                    cellStyle_ = CellStyle(tableStyle, look, row, rowCount, cellIndex++, cellCount);
                    BodyChildren(tc, place);
                    cellStyle_ = std::move(outerCellStyle);
                    col += span;
                }
                ++row;
            }
        };
        rows(tbl, rows);
    }

    void ParagraphElement(pugi::xml_node p, const CellPlace& cell) {
        auto pPr = Child(p, "pPr");
        StartParagraph(pPr, cell);
        fieldDepth_.clear();
        Inline(p);
        EndParagraph();
        if (auto sectPr = Child(pPr, "sectPr")) {
            // This paragraph ends its section; the next section starts after it.
            ApplySection(sectPr, model_.sections.back());
            const Section& before = model_.sections.back();
            Section next;
            next.every = before.every;
            next.even = before.even;
            next.first = before.first;
            model_.sections.push_back(next);
        }
    }

    void StartParagraph(pugi::xml_node pPr, const CellPlace& cell) {
        Paragraph para;
        para.start = model_.text.size();
        para.section = model_.sections.size() - 1;
        para.cell = cell;
        ParaProps direct = ReadParaProps(pPr);
        std::string styleId = sheet_.defaultParaStyle;
        if (auto ps = Child(pPr, "pStyle")) {
            if (const char* v = Attr(ps, "val")) styleId = v;
        }
        if (!sheet_.styles.count(styleId)) styleId = sheet_.defaultParaStyle;
        // The document's defaults, then the table style's (in a cell), then the paragraph
        // style's.
        ParaProps props = sheet_.defaultPara;
        RunProps run = sheet_.defaultRun;
        ParaProps styled;
        RunProps styledRun;
        for (const Style* s : sheet_.Chain(styleId)) {
            styled.Merge(s->para);
            styledRun.Merge(s->run);
        }
        if (cellStyle_) {
            props.Merge(cellStyle_->para);
            run.Merge(cellStyle_->run);
            // Where the default paragraph style sets a size of 11 or 12 points or left
            // alignment, the table style's own size and alignment still win, unless the
            // document asks for the paragraph style's.
            if (styleId == sheet_.defaultParaStyle && !paraStyleOverTableStyle_) {
                if (cellStyle_->run.size && (styledRun.size == 11.0 || styledRun.size == 12.0))
                    styledRun.size.reset();
                if (cellStyle_->para.alignment && styled.alignment == 0L) styled.alignment.reset();
            }
        }
        props.Merge(styled);
        run.Merge(styledRun);
        // Numbering: from the paragraph, else from its style.
        std::optional<int> numId = direct.numId ? direct.numId : props.numId;
        int ilvl = direct.ilvl.value_or(props.ilvl.value_or(0));
        const Level* level = nullptr;
        int abstractId = -1;
        if (numId && *numId != 0) level = sheet_.FindLevel(*numId, ilvl, abstractId);
        if (level) props.Merge(level->para);
        props.tabs.clear();
        for (const Style* s : sheet_.Chain(styleId)) {
            for (const auto& t : s->para.tabs) props.tabs.push_back(t);
        }
        if (level) {
            for (const auto& t : level->para.tabs) props.tabs.push_back(t);
        }
        ParaProps directNoNum = direct;
        directNoNum.numId.reset();
        directNoNum.ilvl.reset();
        props.Merge(directNoNum);

        auto& f = para.format;
        f.styleId = styleId;
        f.alignment = props.alignment.value_or(0);
        f.indentLeft = props.left.value_or(0);
        f.indentRight = props.right.value_or(0);
        f.firstLine = props.firstLine.value_or(0);
        // Automatic spacing is 14 pt as on a web page, or a fixed 5 pt before and 10 pt
        // after where the document asks for that.
        f.autoBefore = props.autoBefore.value_or(false) && !fixedAutoSpacing_;
        f.autoAfter = props.autoAfter.value_or(false) && !fixedAutoSpacing_;
        f.spaceBefore = props.autoBefore.value_or(false) ? (fixedAutoSpacing_ ? 5 : 14)
                                                         : props.before.value_or(0);
        f.spaceAfter = props.autoAfter.value_or(false) ? (fixedAutoSpacing_ ? 10 : 14)
                                                       : props.after.value_or(0);
        f.lineRule = props.lineRule.value_or(LineRule::Auto);
        f.line = props.line.value_or(1.0);
        if (f.lineRule == LineRule::Auto && f.line <= 0) f.line = 1.0;
        f.pageBreakBefore = props.pageBreakBefore.value_or(false);
        f.keepNext = props.keepNext.value_or(false);
        f.keepLines = props.keepLines.value_or(false);
        f.widowControl = props.widowControl.value_or(false);
        f.contextualSpacing = props.contextual.value_or(false);
        const ParaBorder none;
        const auto& top = props.borderTop.value_or(none);
        const auto& bottom = props.borderBottom.value_or(none);
        const auto& between = props.borderBetween.value_or(none);
        const auto& left = props.borderLeft.value_or(none);
        const auto& right = props.borderRight.value_or(none);
        f.borderTop = top.room;
        f.borderBottom = bottom.room;
        // A border between framed paragraphs keeps the bottom border's space above it.
        f.borderBetween = between.room > 0 ? between.room + bottom.space : 0;
        if (!(top.look + bottom.look + between.look + left.look + right.look).empty()) {
            // Framed with its neighbours only when drawn alike at the same indents.
            f.frame = top.look + '|' + bottom.look + '|' + between.look + '|' + left.look + '|' +
                      right.look + '|' + std::to_string(f.indentLeft) + '|' +
                      std::to_string(f.indentRight);
        }
        for (const auto& [pos, clear] : props.tabs) f.tabs.push_back(TabStop{pos, clear});

        paraRun_ = run;
        paraStyleFont_ = sheet_.Resolve(run).font;
        RunProps markProps = run;
        markProps.Merge(ReadRunProps(Child(pPr, "rPr")));
        markFormat_ = sheet_.Resolve(markProps);
        markFormat_.styleFont = paraStyleFont_;

        if (level) {
            para.listString = sheet_.ListString(*numId, abstractId, ilvl);
            para.listType = sheet_.ListType(abstractId, *level);
            RunProps labelProps = markProps;
            labelProps.Merge(level->run);
            para.listFormat = sheet_.Resolve(labelProps);
            para.listSuffix = level->suffix;
        }
        model_.paragraphs.push_back(std::move(para));
    }

    void EndParagraph() {
        AddChar(kParagraphMark, Format(markFormat_));
        model_.paragraphs.back().end = model_.text.size() - 1;
    }

    std::uint32_t Format(const RunFormat& f) {
        const auto it = formatIndex_.find(FormatKey(f));
        if (it != formatIndex_.end()) return it->second;
        const auto index = static_cast<std::uint32_t>(model_.formats.size());
        model_.formats.push_back(f);
        formatIndex_.emplace(FormatKey(f), index);
        return index;
    }

    static std::string FormatKey(const RunFormat& f) {
        return f.font + '\x1f' + std::to_string(f.size) + '\x1f' + f.styleFont + '\x1f' +
               std::to_string((f.bold ? 1 : 0) | (f.italic ? 2 : 0) | (f.superscript ? 4 : 0) |
                              (f.subscript ? 8 : 0) | (f.hidden ? 16 : 0)) +
               '\x1f' + std::to_string(f.underline) + '\x1f' + std::to_string(f.spacing) + '\x1f' +
               std::to_string(f.scale);
    }

    void AddChar(char32_t c, std::uint32_t format) {
        if (model_.text.size() >= kMaxStoryChars) {
            RaiseBadDocument(model_.path, "the document has more characters than the limit");
        }
        if (model_.formatRuns.empty() || model_.formatRuns.back().format != format) {
            model_.formatRuns.push_back({model_.text.size(), format});
        }
        model_.text += c;
    }

    void AddText(std::u32string_view text, std::uint32_t format) {
        for (const char32_t c : text) AddChar(c, format);
    }

    void AddObject(double width, double height, std::uint32_t format) {
        if (!(width >= 0 && height >= 0 && width < 1e5 && height < 1e5)) return;
        model_.objects[model_.text.size()] = {width, height};
        AddChar(kInlineObject, format);
    }

    // Inline pictures stand in the line; anchored ones float with their wrapping.
    void Drawing(pugi::xml_node drawing, std::uint32_t format) {
        constexpr double kEmu = 12700.0;  // per point
        if (auto inl = Child(drawing, "inline")) {
            auto extent = Child(inl, "extent");
            AddObject(Number(extent, "cx").value_or(0) / kEmu,
                      Number(extent, "cy").value_or(0) / kEmu, format);
            return;
        }
        auto anchor = Child(drawing, "anchor");
        if (!anchor || model_.paragraphs.empty()) return;
        FloatingObject f;
        f.paragraph = model_.paragraphs.size() - 1;
        auto extent = Child(anchor, "extent");
        f.width = Number(extent, "cx").value_or(0) / kEmu;
        f.height = Number(extent, "cy").value_or(0) / kEmu;
        if (!(f.width > 0 && f.height > 0 && f.width < 1e5 && f.height < 1e5)) return;
        f.distTop = Number(anchor, "distT").value_or(0) / kEmu;
        f.distBottom = Number(anchor, "distB").value_or(0) / kEmu;
        const bool behind = Attr(anchor, "behindDoc") && OnOffValue(Attr(anchor, "behindDoc"));
        if (!behind && Child(anchor, "wrapTopAndBottom"))
            f.wrap = FloatingObject::Wrap::TopAndBottom;
        if (!behind && (Child(anchor, "wrapSquare") || Child(anchor, "wrapTight") ||
                        Child(anchor, "wrapThrough"))) {
            f.wrap = FloatingObject::Wrap::Square;
        }
        if (auto v = Child(anchor, "positionV")) {
            const std::string_view from = Attr(v, "relativeFrom") ? Attr(v, "relativeFrom") : "";
            f.fromV = from == "page"     ? FloatingObject::From::Page
                      : from == "margin" ? FloatingObject::From::Margin
                      : from == "line"   ? FloatingObject::From::Line
                                         : FloatingObject::From::Paragraph;
            if (auto off = Child(v, "posOffset")) {
                f.y = LeadingNumber(off.text().get()).value_or(0) / kEmu;
            }
        }
        if (auto h = Child(anchor, "positionH")) {
            const std::string_view from = Attr(h, "relativeFrom") ? Attr(h, "relativeFrom") : "";
            const std::string_view align = Child(h, "align").text().get();
            if (auto off = Child(h, "posOffset")) {
                f.x = LeadingNumber(off.text().get()).value_or(0) / kEmu;
            }
            f.fromPageH = from == "page";
            f.alignH = align == "center"                          ? 'c'
                       : (align == "right" || align == "outside") ? 'r'
                       : align.empty()                            ? 0
                                                                  : 'l';
        }
        model_.floats.push_back(f);
    }

    // A VML shape that is not positioned absolutely stands in the line.
    void InlineVml(pugi::xml_node pict, std::uint32_t format) {
        for (auto shape = pict.first_child(); shape; shape = shape.next_sibling()) {
            if (shape.type() != pugi::node_element) continue;
            const auto n = opc::LocalName(shape.name());
            if (n != "shape" && n != "rect" && n != "group" && n != "oval") continue;
            const char* style = Attr(shape, "style");
            if (!style) continue;
            const std::string st(style);
            if (st.find("position:absolute") != std::string::npos) continue;
            const auto measure = [&](const char* key) {
                const auto at = st.find(key);
                if (at == std::string::npos) return 0.0;
                std::string_view rest;
                const double v =
                    LeadingNumber(std::string_view(st).substr(at + std::strlen(key)), &rest)
                        .value_or(0);
                const std::string_view unit = rest.substr(0, 2);
                if (unit == "in") return v * 72;
                if (unit == "cm") return v * 72 / 2.54;
                if (unit == "mm") return v * 72 / 25.4;
                if (unit == "px") return v * 0.75;
                return v;  // points
            };
            AddObject(measure("width:"), measure("height:"), format);
            return;
        }
    }

    // Paragraph content: runs, and the containers whose runs are shown.
    void Inline(pugi::xml_node parent) {
        for (auto c = parent.first_child(); c; c = c.next_sibling()) {
            if (c.type() != pugi::node_element) continue;
            const auto n = opc::LocalName(c.name());
            if (n == "r") {
                RunElement(c);
            } else if (n == "hyperlink" || n == "smartTag" || n == "ins" || n == "moveTo" ||
                       n == "customXml" || n == "bdo" || n == "dir" || n == "fldSimple") {
                Inline(c);
            } else if (n == "sdt") {
                Inline(Child(c, "sdtContent"));
            }
            // Deletions (del, moveFrom), bookmarks, proofing marks, drawings: not shown text.
        }
    }

    void RunElement(pugi::xml_node r) {
        auto rPr = Child(r, "rPr");
        RunProps props = paraRun_;
        std::string charStyleFont;
        if (auto rs = Child(rPr, "rStyle")) {
            if (const char* id = Attr(rs, "val")) {
                RunProps styleProps;
                for (const Style* s : sheet_.Chain(id)) styleProps.Merge(s->run);
                props.Merge(styleProps);
                RunProps forFont = sheet_.defaultRun;
                forFont.Merge(styleProps);
                charStyleFont = sheet_.Resolve(forFont).font;
            }
        }
        props.Merge(ReadRunProps(rPr));
        RunFormat f = sheet_.Resolve(props);
        f.styleFont = charStyleFont.empty() ? paraStyleFont_ : charStyleFont;
        if (f.hidden) return;  // hidden text is not shown
        const std::uint32_t format = Format(f);
        for (auto c = r.first_child(); c; c = c.next_sibling()) {
            if (c.type() != pugi::node_element) continue;
            const auto n = opc::LocalName(c.name());
            if (n == "fldChar") {
                const char* type = Attr(c, "fldCharType");
                const std::string_view t = type ? type : "";
                if (t == "begin") {
                    fieldDepth_.push_back(true);  // in the field's code
                } else if (t == "separate") {
                    if (!fieldDepth_.empty()) fieldDepth_.back() = false;
                } else if (t == "end") {
                    if (!fieldDepth_.empty()) fieldDepth_.pop_back();
                }
                continue;
            }
            // A field's code is not shown; its result is.
            if (std::find(fieldDepth_.begin(), fieldDepth_.end(), true) != fieldDepth_.end())
                continue;
            if (n == "t") {
                std::u32string text = DecodeUtf8(c.text().get());
                // Characters set in the Symbol font read as U+F000 plus their code.
                if (f.font == "Symbol") {
                    for (auto& ch : text) {
                        if (ch >= 0x20 && ch <= 0xFF) ch += 0xF000;
                    }
                }
                AddText(text, format);
            } else if (n == "tab" || n == "ptab") {
                AddChar(kTab, format);
            } else if (n == "br") {
                const char* type = Attr(c, "type");
                const std::string_view t = type ? type : "";
                AddChar(t == "page"     ? kPageBreak
                        : t == "column" ? kColumnBreak
                                        : kLineBreak,
                        format);
            } else if (n == "cr") {
                AddChar(kLineBreak, format);
            } else if (n == "noBreakHyphen") {
                AddChar(U'\x2011', format);
            } else if (n == "softHyphen") {
                AddChar(kOptionalHyphen, format);
            } else if (n == "drawing") {
                Drawing(c, format);
            } else if (n == "AlternateContent") {
                // The drawing of the first choice, else the fallback's picture.
                auto choice = Child(c, "Choice");
                if (auto d = Child(choice, "drawing")) {
                    Drawing(d, format);
                } else if (auto fb = Child(Child(c, "Fallback"), "pict")) {
                    InlineVml(fb, format);
                }
            } else if (n == "pict" || n == "object") {
                InlineVml(c, format);
            } else if (n == "sym") {
                const char* font = Attr(c, "font");
                const char* code = Attr(c, "char");
                if (!code) continue;
                unsigned long parsed = 0;
                const std::string_view hex(code);
                std::from_chars(hex.data(), hex.data() + hex.size(), parsed, 16);
                char32_t value = static_cast<char32_t>(std::min(parsed, 0x10FFFFul));
                if (value < 0x100) value += 0xF000;
                RunFormat sf = f;
                if (font) sf.font = font;
                AddChar(value, Format(sf));
            } else if (n == "footnoteReference" || n == "endnoteReference") {
                const std::string number = std::to_string(++noteNumber_);
                const char* id = Attr(c, "id");
                if (n == "footnoteReference" && id) {
                    references_.push_back({id, number, model_.text.size()});
                }
                AddText(DecodeUtf8(number), format);
            } else if (n == "footnoteRef") {
                AddText(DecodeUtf8(noteMark_), format);
            }
        }
    }

    DocxPackage package_;
    DocumentModel model_;
    std::string mainPart_;
    std::string folder_;
    std::map<std::string, std::string> related_;  // relationship kind -> part name
    StyleSheet sheet_;
    std::map<std::string, std::uint32_t> formatIndex_;
    RunProps paraRun_;
    std::string paraStyleFont_;
    RunFormat markFormat_;
    std::vector<bool> fieldDepth_;
    std::map<std::string, std::string, std::less<>> headerFooterParts_;  // by relationship id
    std::vector<std::string> storyParts_;  // the headers' and footers' parts, by story
    int nextTable_ = 0;
    bool fixedAutoSpacing_ = false;  // automatic spacing is 5 pt before and 10 pt after
    // The default paragraph style's size and alignment win over a table style's.
    bool paraStyleOverTableStyle_ = false;
    // In a table's cell: the properties its table style gives the cell's paragraphs.
    std::optional<TablePartProps> cellStyle_;
    int nextNestedRow_ = 0;
    int noteNumber_ = 0;
    struct Reference {
        std::string id, number;
        std::size_t position;
    };
    std::vector<Reference> references_;  // footnote references of the main story
    std::string noteMark_;               // the number of the footnote being read
};

}  // namespace

DocumentModel ReadDocx(const std::string& path, opc::PackageLimits limits) {
    return Reader(path, limits).Run();
}

}  // namespace tbln::document

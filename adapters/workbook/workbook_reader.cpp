// Reading a workbook package into the engine's model.
#include <pugixml.hpp>

#include <cstdlib>
#include <map>

#include "adapters/workbook/drawing_reader.hpp"
#include "adapters/workbook/package.hpp"
#include "adapters/workbook/workbook_model.hpp"
#include "adapters/workbook/xml_parts.hpp"
#include "core/error.hpp"

namespace tbln::workbook {

namespace {

struct Relationship {
    std::string type;    // the last segment of the type URI ("worksheet", "sharedStrings", ...)
    std::string target;  // the resolved part name
};

pugi::xml_document ParseSmallPart(const Package& pkg, const std::string& part) {
    pugi::xml_document doc;
    const std::string bytes = pkg.Read(part);
    const auto result = doc.load_buffer(bytes.data(), bytes.size(), pugi::parse_default);
    if (!result) {
        RaiseBadWorkbook(pkg.Path(), "the part " + part + " is not well-formed XML (at byte " +
                                         std::to_string(result.offset) + ": " +
                                         result.description() + ")");
    }
    return doc;
}

bool Is(const pugi::xml_node& n, std::string_view local) {
    return LocalName(n.name()) == local;
}

pugi::xml_node Child(const pugi::xml_node& parent, std::string_view local) {
    for (auto n : parent.children()) {
        if (Is(n, local)) return n;
    }
    return {};
}

const char* Attr(const pugi::xml_node& n, std::string_view local) {
    for (auto a : n.attributes()) {
        if (LocalName(a.name()) == local) return a.value();
    }
    return nullptr;
}

bool TrueAttribute(const char* v) {
    return v && (std::string_view(v) == "1" || std::string_view(v) == "true");
}

std::map<std::string, Relationship> ReadRelationships(const Package& pkg, const std::string& part) {
    std::map<std::string, Relationship> rels;
    const std::string relsPart = RelationshipsPartOf(part);
    if (!pkg.Has(relsPart)) return rels;
    const auto doc = ParseSmallPart(pkg, relsPart);
    for (auto r : doc.document_element().children()) {
        if (!Is(r, "Relationship")) continue;
        const char* id = Attr(r, "Id");
        const char* type = Attr(r, "Type");
        const char* target = Attr(r, "Target");
        const char* mode = Attr(r, "TargetMode");
        if (!id || !type || !target || (mode && std::string_view(mode) == "External")) continue;
        std::string t(type);
        rels[id] = Relationship{t.substr(t.rfind('/') + 1), ResolvePartName(part, target)};
    }
    return rels;
}

void ReadSharedStrings(const Package& pkg, const std::string& part, WorkbookModel& model) {
    std::string current;
    bool inItem = false, inText = false;
    int phonetic = 0;
    StreamXml(model.path, part, pkg.Read(part),
              XmlHandlers{[&](std::string_view name, const char**) {
                              if (name == "si") {
                                  inItem = true;
                                  current.clear();
                              } else if (name == "rPh") {
                                  ++phonetic;
                              } else if (name == "t" && inItem && phonetic == 0) {
                                  inText = true;
                              }
                          },
                          [&](std::string_view name) {
                              if (name == "si") {
                                  model.sharedStrings.push_back(DecodeEscapes(current));
                                  inItem = false;
                              } else if (name == "rPh") {
                                  --phonetic;
                              } else if (name == "t") {
                                  inText = false;
                              }
                          },
                          [&](std::string_view text) {
                              if (inText) current.append(text);
                          }});
}

void ReadStyles(const Package& pkg, const std::string& part, WorkbookModel& model) {
    const auto doc = ParseSmallPart(pkg, part);
    const auto root = doc.document_element();
    for (auto f : Child(root, "numFmts").children()) {
        const char* id = Attr(f, "numFmtId");
        const char* code = Attr(f, "formatCode");
        if (id && code)
            model.numberFormats[static_cast<std::uint32_t>(std::strtoul(id, nullptr, 10))] = code;
    }
    for (auto xf : Child(root, "cellXfs").children()) {
        if (!Is(xf, "xf")) continue;
        const char* id = Attr(xf, "numFmtId");
        model.cellNumberFormat.push_back(
            id ? static_cast<std::uint32_t>(std::strtoul(id, nullptr, 10)) : 0);
    }
}

// Reads the area list of a "sqref" or "ref" attribute ("A1:B2 C3").
std::vector<Area> ParseAreas(std::string_view refs) {
    std::vector<Area> areas;
    std::size_t start = 0;
    while (start < refs.size()) {
        auto end = refs.find(' ', start);
        if (end == std::string_view::npos) end = refs.size();
        const auto ref = refs.substr(start, end - start);
        const auto colon = ref.find(':');
        Area a;
        if (ParseCellRef(ref.substr(0, colon), a.top, a.left)) {
            a.bottom = a.top;
            a.right = a.left;
            if (colon == std::string_view::npos ||
                ParseCellRef(ref.substr(colon + 1), a.bottom, a.right)) {
                areas.push_back(a);
            }
        }
        start = end + 1;
    }
    return areas;
}

void ReadWorksheet(const Package& pkg, WorkbookModel& model, SheetModel& sheet) {
    Long row = 0, col = 0;
    Cell cell;
    std::string type;
    std::string value;
    bool inCell = false, inValue = false, inInline = false, inInlineText = false, sawInline = false;
    bool selectionSeen = false;
    int phonetic = 0;
    const auto finishCell = [&] {
        if (type == "s") {
            const auto index = std::strtoul(value.c_str(), nullptr, 10);
            if (value.empty() || index >= model.sharedStrings.size()) {
                RaiseBadWorkbook(model.path, "the sheet " + sheet.name +
                                                 " refers to a shared string that does not exist");
            }
            cell.type = CellType::Text;
            cell.text = model.sharedStrings[index];
        } else if (type == "inlineStr" || type == "str" || sawInline) {
            cell.type = CellType::Text;
            cell.text = DecodeEscapes(value);
        } else if (type == "b") {
            cell.type = value.empty() ? CellType::Empty : CellType::Boolean;
            cell.number = value == "1" || value == "true" ? 1 : 0;
        } else if (type == "e") {
            cell.type = CellType::Error;
            cell.text = value;
        } else if (!value.empty()) {
            char* end = nullptr;
            cell.number = std::strtod(value.c_str(), &end);
            cell.type = end && *end == '\0' ? CellType::Number : CellType::Text;
            if (cell.type == CellType::Text) cell.text = value;
        }
        if (sheet.cells.size() >= kMaxCells) {
            RaiseBadWorkbook(model.path,
                             "the sheet " + sheet.name + " has more cells than the limit");
        }
        if (cell.type != CellType::Empty || cell.style != 0) sheet.cells[CellKey(row, col)] = cell;
    };
    StreamXml(
        model.path, sheet.part, pkg.Read(sheet.part),
        XmlHandlers{
            [&](std::string_view name, const char** attrs) {
                if (name == "row") {
                    const char* r = Attribute(attrs, "r");
                    row = r ? static_cast<Long>(std::strtol(r, nullptr, 10)) : row + 1;
                    if (row < 1 || row > kMaxRows) {
                        RaiseBadWorkbook(
                            model.path, "the sheet " + sheet.name + " has a row outside the sheet");
                    }
                    col = 0;
                } else if (name == "c") {
                    const char* r = Attribute(attrs, "r");
                    Long rr = row, cc = col + 1;
                    if (r && !ParseCellRef(r, rr, cc)) {
                        RaiseBadWorkbook(model.path, "the sheet " + sheet.name +
                                                         " has a cell with the bad reference " + r);
                    }
                    if (cc > kMaxCols || rr < 1) {
                        RaiseBadWorkbook(model.path, "the sheet " + sheet.name +
                                                         " has a cell outside the sheet");
                    }
                    row = rr;
                    col = cc;
                    cell = Cell{};
                    const char* s = Attribute(attrs, "s");
                    cell.style = s ? static_cast<std::uint32_t>(std::strtoul(s, nullptr, 10)) : 0;
                    const char* t = Attribute(attrs, "t");
                    type = t ? t : "n";
                    value.clear();
                    sawInline = false;
                    inCell = true;
                } else if (name == "v" && inCell) {
                    inValue = true;
                } else if (name == "is" && inCell) {
                    inInline = sawInline = true;
                } else if (name == "rPh") {
                    ++phonetic;
                } else if (name == "t" && inInline && phonetic == 0) {
                    inInlineText = true;
                } else if (name == "mergeCell") {
                    if (const char* ref = Attribute(attrs, "ref")) {
                        for (const auto& a : ParseAreas(ref)) sheet.merges.push_back(a);
                    }
                } else if (name == "selection" && !selectionSeen) {
                    selectionSeen = true;
                    if (const char* ac = Attribute(attrs, "activeCell")) {
                        ParseCellRef(ac, sheet.activeRow, sheet.activeCol);
                    }
                    if (const char* sq = Attribute(attrs, "sqref")) {
                        auto areas = ParseAreas(sq);
                        if (!areas.empty()) sheet.selection = std::move(areas);
                    }
                }
            },
            [&](std::string_view name) {
                if (name == "c" && inCell) {
                    finishCell();
                    inCell = false;
                } else if (name == "v") {
                    inValue = false;
                } else if (name == "is") {
                    inInline = false;
                } else if (name == "t") {
                    inInlineText = false;
                } else if (name == "rPh") {
                    --phonetic;
                }
            },
            [&](std::string_view text) {
                if (inValue || inInlineText) value.append(text);
            }});
}

}  // namespace

std::unique_ptr<WorkbookModel> LoadWorkbook(const std::string& path) {
    Package pkg(path);
    auto model = std::make_unique<WorkbookModel>();
    model->path = path;

    std::string workbookPart = "xl/workbook.xml";
    for (const auto& [id, rel] : ReadRelationships(pkg, "")) {
        if (rel.type == "officeDocument") workbookPart = rel.target;
    }
    if (!pkg.Has(workbookPart)) RaiseBadWorkbook(path, "the package has no workbook part");
    model->workbookPart = workbookPart;
    const auto rels = ReadRelationships(pkg, workbookPart);
    for (const auto& [id, rel] : rels) {
        if (rel.type == "sharedStrings" && pkg.Has(rel.target))
            ReadSharedStrings(pkg, rel.target, *model);
        if (rel.type == "styles" && pkg.Has(rel.target)) ReadStyles(pkg, rel.target, *model);
    }

    const auto doc = ParseSmallPart(pkg, workbookPart);
    const auto root = doc.document_element();
    model->date1904 = TrueAttribute(Attr(Child(root, "workbookPr"), "date1904"));
    if (const char* tab = Attr(Child(Child(root, "bookViews"), "workbookView"), "activeTab")) {
        model->activeTab = std::strtoul(tab, nullptr, 10);
    }
    std::size_t tab = 0, activeTab = model->activeTab;
    model->activeTab = 0;
    for (auto s : Child(root, "sheets").children()) {
        if (!Is(s, "sheet")) continue;
        const bool isActive = tab++ == activeTab;
        const char* name = Attr(s, "name");
        const char* id = Attr(s, "id");
        const auto rel = id ? rels.find(id) : rels.end();
        if (!name || rel == rels.end())
            RaiseBadWorkbook(path, "a sheet of the workbook has no name or no part");
        // Chart sheets and dialog sheets have no cells; they are not worksheets.
        if (rel->second.type != "worksheet") continue;
        SheetModel sheet;
        sheet.name = name;
        if (const char* state = Attr(s, "state")) sheet.state = state;
        sheet.part = rel->second.target;
        if (isActive) model->activeTab = model->sheets.size();
        model->sheets.push_back(std::move(sheet));
    }
    if (model->sheets.empty()) RaiseBadWorkbook(path, "the workbook has no worksheet");
    for (auto& sheet : model->sheets) {
        if (!pkg.Has(sheet.part))
            RaiseBadWorkbook(path, "the part of the sheet " + sheet.name + " is missing");
        ReadWorksheet(pkg, *model, sheet);
    }
    ReadTheme(pkg, *model);
    for (auto& sheet : model->sheets) ReadSheetDrawing(pkg, *model, sheet);
    return model;
}

}  // namespace tbln::workbook

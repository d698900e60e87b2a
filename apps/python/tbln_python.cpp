// The Python module tbln: the Application with its eleven entry points under their
// own names, the record classes with their fields under their exact names, the arrays
// with their bounds, and the run-time errors as tbln.RuntimeError.
//
// Python has no by-reference arguments: each entry point takes its inputs as keyword
// arguments and returns a result object holding the return value ("result") and every
// by-reference argument under its own name, as the entry point left it.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <type_traits>

#include "adapters/cairo/cairo_drawing.hpp"
#include "adapters/fonts/font_metrics.hpp"
#include "adapters/scripted/scripted_ui.hpp"
#include "adapters/workbook/a1.hpp"
#include "adapters/workbook/cell_format.hpp"
#include "adapters/workbook/workbook_model.hpp"
#include "apps/host/cells_drawing.hpp"
#include "capture/capture_range.hpp"
#include "common/paths.hpp"
#include "common/utilities.hpp"
#include "drawing/drawing.hpp"
#include "platform/excel.hpp"
#include "tbln.hpp"

namespace py = pybind11;

// The style words and font names that cells share read and write as str.
namespace pybind11::detail {
template <>
struct type_caster<tbln::SharedText> {
    PYBIND11_TYPE_CASTER(tbln::SharedText, const_name("str"));
    bool load(handle src, bool convert) {
        make_caster<std::string> s;
        if (!s.load(src, convert)) return false;
        value = tbln::SharedText(cast_op<std::string&>(s));
        return true;
    }
    static handle cast(const tbln::SharedText& t, return_value_policy, handle) {
        return make_caster<std::string>::cast(t.str(), return_value_policy::copy, {});
    }
};
}  // namespace pybind11::detail

namespace tbln {
namespace {

PyObject* g_runtimeError = nullptr;

template <class R>
void BindRecord(py::module_& m, const char* name) {
    py::class_<R, std::shared_ptr<R>> cls(m, name);
    cls.def(py::init<>());
    // Fields by keyword, e.g. TagPos(tagName="DWGNO", offsetRow=1); the others keep the
    // record's defaults.
    cls.def(py::init([name = std::string(name)](const py::kwargs& fields) {
        auto r = std::make_shared<R>();
        for (const auto& [key, value] : fields) {
            const auto field = py::str(key).template cast<std::string>();
            bool known = false;
            R::Visit([&](const char* f, auto member) {
                if (field != f) return;
                (*r).*member =
                    value.template cast<std::remove_reference_t<decltype((*r).*member)>>();
                known = true;
            });
            if (!known) throw py::type_error(name + " has no field " + field);
        }
        return r;
    }));
    py::list fields;
    R::Visit([&](const char* field, auto member) {
        fields.append(field);
        cls.def_readwrite(field, member);
    });
    // The field names in the order of the record's automation interface.
    cls.attr("_fields") = py::tuple(fields);
    cls.def("__repr__", [name = std::string(name)](const R& r) {
        std::string out = name + "(";
        const char* sep = "";
        R::Visit([&](const char* field, auto member) {
            out += sep + std::string(field) + "=" +
                   std::string(py::str(py::repr(py::cast(r.*member))));
            sep = ", ";
        });
        return out + ")";
    });
}

// A 1-D array of records with its bounds. Built from Python as Array(lower, upper) or
// Array(list, lower=1); an index outside the bounds raises run-time error 9.
template <class R>
void BindArray(py::module_& m, const char* name) {
    using A = Array<std::shared_ptr<R>>;
    py::class_<A> cls(m, name);
    cls.def(py::init<>())
        .def(py::init<Long, Long>(), py::arg("lower"), py::arg("upper"))
        .def(py::init([](const std::vector<std::shared_ptr<R>>& items, Long lower) {
                 A a(lower,
                     SubLong(AddLong(lower, CheckedLong(static_cast<long long>(items.size()))), 1));
                 Long i = lower;
                 for (const auto& item : items) a(i++) = item;
                 return a;
             }),
             py::arg("items"), py::arg("lower") = 1)
        .def_property_readonly("allocated", &A::IsAllocated)
        .def_property_readonly("lower", &A::Lower)
        .def_property_readonly("upper", &A::Upper)
        .def("__len__", &A::size)
        .def("__getitem__", [](A& a, Long i) { return a(i); })
        .def("__setitem__", [](A& a, Long i, std::shared_ptr<R> v) { a(i) = std::move(v); })
        .def(
            "__iter__", [](A& a) { return py::make_iterator(a.begin(), a.end()); },
            py::keep_alive<0, 1>())
        .def("__repr__", [name = std::string(name)](const A& a) {
            if (!a.IsAllocated()) return name + "()";
            return name + "(" + std::to_string(a.Lower()) + " To " + std::to_string(a.Upper()) +
                   ")";
        });
    py::implicitly_convertible<py::list, A>();
}

// The cells of a capture: a 2-D array indexed [row, col].
void BindCellArray(py::module_& m) {
    using A = MyCellArray;
    py::class_<A>(m, "MyCellArray")
        .def(py::init<>())
        .def_property_readonly("allocated", &A::IsAllocated)
        .def_property_readonly("rowLower", &A::RowLower)
        .def_property_readonly("rowUpper", &A::RowUpper)
        .def_property_readonly("colLower", &A::ColLower)
        .def_property_readonly("colUpper", &A::ColUpper)
        .def("__getitem__", [](A& a, std::pair<Long, Long> rc) { return a(rc.first, rc.second); })
        .def("__setitem__",
             [](A& a, std::pair<Long, Long> rc, std::shared_ptr<MyCell> v) {
                 a(rc.first, rc.second) = std::move(v);
             })
        .def("__repr__", [](const A& a) {
            if (!a.IsAllocated()) return std::string("MyCellArray()");
            return "MyCellArray(" + std::to_string(a.RowLower()) + " To " +
                   std::to_string(a.RowUpper()) + ", " + std::to_string(a.ColLower()) + " To " +
                   std::to_string(a.ColUpper()) + ")";
        });
}

void BindCollection(py::module_& m) {
    py::class_<Collection, std::shared_ptr<Collection>>(m, "Collection")
        .def(py::init<>())
        .def("Add", &Collection::Add, py::arg("item"), py::arg("key") = py::none())
        .def_property_readonly("Count", &Collection::Count)
        .def("Item", py::overload_cast<Long>(&Collection::Item, py::const_))
        .def("Item", py::overload_cast<std::string_view>(&Collection::Item, py::const_))
        .def("__len__", &Collection::Count)
        .def(
            "__iter__", [](const Collection& c) { return py::make_iterator(c.begin(), c.end()); },
            py::keep_alive<0, 1>());
}

// The result object: the return value under "result", then the by-reference arguments.
py::object Result(py::object result, py::kwargs arguments) {
    py::dict all;
    all["result"] = std::move(result);
    for (auto item : arguments) all[item.first] = item.second;
    return py::module_::import("types").attr("SimpleNamespace")(**all);
}

py::object Bool(Boolean b) {
    return py::bool_(b != False);
}

// A Boolean argument from Python: True and False are the automation's -1 and 0.
Boolean ToAutomationBoolean(const py::object& v) {
    if (py::isinstance<py::bool_>(v)) return ToBoolean(v.cast<bool>());
    return v.cast<Boolean>();
}

// The twelve values BuildCell and DeepUpdate hand back (the records moved out).
py::kwargs CaptureOut(CaptureArguments& c) {
    py::kwargs k;
    k["fileName0"] = c.fileName0;
    k["sheetName0"] = c.sheetName0;
    k["excelFonts0"] = c.excelFonts0;
    k["dgnCell0"] = std::move(c.dgnCell0);
    k["xlsShape0"] = std::move(c.xlsShape0);
    k["xlsImage0"] = std::move(c.xlsImage0);
    k["totalHeight0"] = c.totalHeight0;
    k["totalWidth0"] = c.totalWidth0;
    k["startRow0"] = c.startRow0;
    k["endRow0"] = c.endRow0;
    k["startCol0"] = c.startCol0;
    k["endCol0"] = c.endCol0;
    return k;
}

py::kwargs WordOut(WordLineArray& wordLines0, Integer pageNum0, Single pageWid0, Single pageHei0,
                   const std::string& fileName0) {
    py::kwargs k;
    k["wordLines0"] = std::move(wordLines0);
    k["pageNum0"] = pageNum0;
    k["pageWid0"] = pageWid0;
    k["pageHei0"] = pageHei0;
    k["fileName0"] = fileName0;
    return k;
}

py::kwargs TagsOut(TagPosArray& tags0, TagPosArray& tags1, const std::string& fileName0,
                   const std::string& sheetName0) {
    py::kwargs k;
    k["tags0"] = tags0;
    k["tags1"] = std::move(tags1);
    k["fileName0"] = fileName0;
    k["sheetName0"] = sheetName0;
    return k;
}

// The session as Python holds it: the message boxes seen before the current entry
// point are left out of `messages`, so each call's list starts empty.
struct PySession : Session {
    using Session::Session;
    std::size_t firstMessage = 0;
    void ClearMessages() { firstMessage = Messages().size(); }
};

// ---- The Pythonic layer: one call per import, the dialog answered from the arguments.

PyObject* g_error = nullptr;

// A range given as "A1:H20", "$A$1:$H$8" or "b2" (one cell), in the dialog's form
// "A1:H20"; anything else raises ValueError. Columns have at most two letters and rows
// run from 1 to 32767, the bounds of the cell numbers.
std::string DialogRange(const std::string& cells) {
    static const std::regex form(
        R"(\$?([A-Za-z]{1,2})\$?([0-9]{1,5})(?::\$?([A-Za-z]{1,2})\$?([0-9]{1,5}))?)");
    std::smatch m;
    const auto bad = [&] {
        return py::value_error("range \"" + cells +
                               "\" is not a range like A1:H20 (columns A to ZZ, rows 1 to 32767)");
    };
    if (!std::regex_match(cells, m, form)) throw bad();
    std::string out;
    for (int i : {1, 3}) {
        const int letters = m[i].matched ? i : 1;
        std::string col = m[letters].str();
        for (auto& ch : col) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        const long row = std::stol(m[letters + 1].str());
        if (row < 1 || row > 32767) throw bad();
        out += (out.empty() ? "" : ":") + col + std::to_string(row);
    }
    return out;
}

// os.PathLike or str, made absolute: the reader runs in its own folder.
std::string AbsolutePath(const py::object& path) {
    const auto text = py::module_::import("os").attr("fspath")(path);
    if (!py::isinstance<py::str>(text))
        throw py::type_error("path must be str or os.PathLike[str]");
    return std::filesystem::absolute(text.cast<std::string>()).lexically_normal().string();
}

[[noreturn]] void RaiseFileNotFound(const std::string& path) {
    py::object error = py::reinterpret_borrow<py::object>(PyExc_FileNotFoundError)(
        ENOENT, "No such file or directory", path);
    PyErr_SetObject(PyExc_FileNotFoundError, error.ptr());
    throw py::error_already_set();
}

// The text of a message box as an exception's message: its trailing padding dropped.
std::string MessageText(std::string text) {
    text.erase(text.find_last_not_of(" \r\n") + 1);
    return text;
}

// Raises tbln.Error with the first message the dialogs showed (the cause; later ones
// follow from it), and all of them in
// `messages`.
[[noreturn]] void RaiseImportFailed(const std::vector<ShownMessage>& shown,
                                    const std::string& fallback) {
    py::list all;
    for (const auto& msg : shown) all.append(py::make_tuple(msg.title, msg.text));
    py::object error = py::reinterpret_borrow<py::object>(g_error)(
        shown.empty() ? fallback : MessageText(shown.front().text));
    error.attr("messages") = all;
    PyErr_SetObject(g_error, error.ptr());
    throw py::error_already_set();
}

// A captured range: its cells and the sizes of its rows and columns.
struct Table {
    std::string path, sheet, range;
    Integer firstRow = 0, lastRow = 0, firstCol = 0, lastCol = 0;
    Single totalWidth = 0, totalHeight = 0;
    std::vector<std::shared_ptr<MyCell>> cells;
    std::vector<Single> columnWidths, rowHeights;
    std::vector<bool> hiddenColumns, hiddenRows;
    std::vector<std::string> merges;
    // What the drawing needs beyond the cells: the whole grid, the shapes and pictures,
    // and the folder the pictures were written to.
    MyCellArray grid;
    MyShapeArray shapes;
    MyImageArray images;
    std::string picturesFolder;
};

std::string CellName(Integer row, Integer col) {
    return ColumnLetters(col) + std::to_string(row);
}

// The range's records, row by row. A row's height and a column's width are the largest
// its records carry (hidden placeholders carry 0); a row or column of size 0 is hidden,
// as the spreadsheet treats it.
Table MakeTable(std::string path, std::string sheet, const MyCellArray& grid, Integer r1,
                Integer r2, Integer c1, Integer c2, Single totalWidth, Single totalHeight) {
    Table t;
    t.path = std::move(path);
    t.sheet = std::move(sheet);
    t.firstRow = r1, t.lastRow = r2, t.firstCol = c1, t.lastCol = c2;
    t.range = CellName(r1, c1) + ":" + CellName(r2, c2);
    t.totalWidth = totalWidth, t.totalHeight = totalHeight;
    t.columnWidths.assign(static_cast<std::size_t>(c2 - c1 + 1), 0);
    for (Integer r = r1; r <= r2; ++r) {
        Single height = 0;
        for (Integer c = c1; c <= c2; ++c) {
            const auto& cell = grid(r, c);
            if (!cell) continue;
            t.cells.push_back(cell);
            auto& width = t.columnWidths[static_cast<std::size_t>(c - c1)];
            width = std::max(width, cell->colWidth);
            height = std::max(height, cell->rowHeight);
            if (cell->hidden == False && cell->isMerged != False && cell->rowTo > 0 &&
                cell->colTo > 0)
                t.merges.push_back(CellName(r, c) + ":" + CellName(cell->rowTo, cell->colTo));
        }
        t.rowHeights.push_back(height);
        t.hiddenRows.push_back(height == 0);
    }
    for (const Single width : t.columnWidths) t.hiddenColumns.push_back(width == 0);
    t.grid = grid;
    return t;
}

// The fonts of the pictures: the files the document engine's metrics read.
drawing::FindFont PictureFonts(fonts::FontMetrics& metrics) {
    return [&metrics](const std::string& family, bool bold, bool italic) {
        drawing::FontFile file;
        file.path = metrics.FontFile(family, bold, italic, file.index);
        return file;
    };
}

// Units per millimetre of a drawing; anything but a positive number raises ValueError.
drawing::Options DrawingScale(double unitsPerMm) {
    if (!(unitsPerMm > 0) || !std::isfinite(unitsPerMm))
        throw py::value_error("scale must be a positive number of drawing units per millimetre");
    drawing::Options options;
    options.unitsPerMm = unitsPerMm;
    return options;
}

// The table's records as the drawing takes them, with what the engine reads of each cell
// (fills, font and border colours) when the workbook can still be read; a workbook gone
// since leaves the records alone to be drawn.
drawing::Capture TableCapture(const Table& t) {
    drawing::Capture capture{t.grid,    t.shapes,   t.images,  t.firstRow,
                             t.lastRow, t.firstCol, t.lastCol, t.picturesFolder};
    try {
        std::shared_ptr<const workbook::WorkbookModel> model = workbook::LoadWorkbook(t.path);
        if (const workbook::SheetModel* sheet = workbook::FindSheet(*model, t.sheet)) {
            // The looks read the workbook as the drawing asks, so they keep it alive.
            capture.looks = [model, looks = host::CellLooks(*model, *sheet)](
                                Integer row, Integer col) { return looks(row, col); };
        }
    } catch (const RuntimeError&) {
    }
    return capture;
}

// The SVG picture the host's --svg writes of the table: the records drawn with what the
// engine reads of each cell (fills, font and border colours), through the same backend.
std::string TableSvg(const Table& t, double unitsPerMm,
                     const std::vector<std::pair<Integer, Integer>>& revisions, bool clip) {
    const auto options = DrawingScale(unitsPerMm);
    const drawing::Capture capture = TableCapture(t);
    std::ostringstream out;
    {
        py::gil_scoped_release release;
        fonts::FontMetrics metrics;
        cairo::CairoSink sink(out, cairo::Format::Svg, PictureFonts(metrics));
        drawing::UnclippedSink unclipped(sink);
        drawing::RevisionSink marked(clip ? static_cast<drawing::Sink&>(sink) : unclipped,
                                     drawing::BoxesOf(capture, options, revisions));
        drawing::DrawCapture(capture, options, marked);
    }
    return out.str();
}

// The drawing's primitives as TableSvg draws them, kept instead of drawn: for hosts that
// build their own objects (lines, texts, faces) rather than show a picture. The picture
// backend measures the texts, so wrapped texts arrive broken into lines and every text
// cut to the room it may use.
class PrimitiveRecorder : public drawing::ForwardingSink {
  public:
    using ForwardingSink::ForwardingSink;
    void Draw(const drawing::Line& x) override { lines.push_back(x); }
    void Draw(const drawing::Path& x) override { paths.push_back(x); }
    void Draw(const drawing::Ellipse& x) override { ellipses.push_back(x); }
    void Draw(const drawing::Fill& x) override { fills.push_back(x); }
    void Draw(const drawing::Text& x) override { texts.push_back(x); }
    void Draw(const drawing::Image& x) override { images.push_back(x); }
    bool Clips() const override { return false; }

    std::vector<drawing::Line> lines;
    std::vector<drawing::Path> paths;
    std::vector<drawing::Ellipse> ellipses;
    std::vector<drawing::Fill> fills;
    std::vector<drawing::Text> texts;
    std::vector<drawing::Image> images;
};

py::tuple PyPoint(const drawing::Point& p) {
    return py::make_tuple(p.x, p.y);
}
py::tuple PyRgb(const drawing::Rgb& c) {
    return py::make_tuple(c.r, c.g, c.b);
}
py::dict Primitive(const char* kind, drawing::Layer layer) {
    py::dict d;
    d["kind"] = kind;
    d["layer"] = std::string(drawing::LayerName(layer));
    return d;
}
void AddPen(py::dict& d, const drawing::Pen& pen) {
    d["pen_width"] = pen.width;
    d["dash"] = std::string(drawing::DashName(pen.dash));
    d["doubled"] = pen.doubled;
    d["color"] = PyRgb(pen.color);
}

py::list TablePrimitives(const Table& t, double unitsPerMm) {
    const auto options = DrawingScale(unitsPerMm);
    const drawing::Capture capture = TableCapture(t);
    std::ostringstream discarded;
    fonts::FontMetrics metrics;
    cairo::CairoSink measure(discarded, cairo::Format::Svg, PictureFonts(metrics));
    PrimitiveRecorder kept(measure);
    {
        py::gil_scoped_release release;
        drawing::DrawCapture(capture, options, kept);
    }
    py::list out;
    for (const auto& x : kept.fills) {
        auto d = Primitive("fill", x.layer);
        d["top_left"] = PyPoint(x.topLeft);
        d["width"] = x.width;
        d["height"] = x.height;
        d["color"] = PyRgb(x.color);
        d["pattern"] = x.pattern;
        out.append(d);
    }
    for (const auto& x : kept.lines) {
        auto d = Primitive("line", x.layer);
        d["points"] = py::make_tuple(PyPoint(x.from), PyPoint(x.to));
        AddPen(d, x.pen);
        out.append(d);
    }
    for (const auto& x : kept.paths) {
        auto d = Primitive("path", x.layer);
        py::list points;
        for (const auto& p : x.points) points.append(PyPoint(p));
        d["points"] = points;
        d["closed"] = x.closed;
        d["fill"] = x.fill ? py::object(PyRgb(*x.fill)) : py::object(py::none());
        AddPen(d, x.pen);
        out.append(d);
    }
    for (const auto& x : kept.ellipses) {
        auto d = Primitive("ellipse", x.layer);
        d["center"] = PyPoint(x.center);
        d["radii"] = py::make_tuple(x.rx, x.ry);
        d["rotation"] = x.rotation;
        d["angles"] = py::make_tuple(x.startAngle, x.endAngle);
        AddPen(d, x.pen);
        out.append(d);
    }
    for (const auto& x : kept.texts) {
        static const char* const kH[] = {"left", "center", "right"};
        static const char* const kV[] = {"top", "middle", "bottom"};
        auto d = Primitive("text", x.layer);
        d["top_left"] = PyPoint(x.topLeft);
        d["width"] = x.width;
        d["height"] = x.height;
        d["text"] = x.plain;
        d["font"] = x.font;
        d["size"] = x.size;
        d["inset"] = x.inset;
        d["bold"] = x.bold;
        d["italic"] = x.italic;
        d["underline"] = x.underline;
        d["color"] = PyRgb(x.color);
        d["rotation"] = x.rotation;
        d["h_align"] = kH[static_cast<int>(x.hAlign)];
        d["v_align"] = kV[static_cast<int>(x.vAlign)];
        out.append(d);
    }
    for (const auto& x : kept.images) {
        auto d = Primitive("image", x.layer);
        d["top_left"] = PyPoint(x.topLeft);
        d["width"] = x.width;
        d["height"] = x.height;
        d["path"] = x.path;
        out.append(d);
    }
    return out;
}

py::dict RecordDict(const MyCell& cell) {
    py::dict d;
    MyCell::Visit([&](const char* field, auto member) { d[field] = py::cast(cell.*member); });
    return d;
}

py::dict TableDict(const Table& t) {
    py::dict d;
    d["path"] = t.path;
    d["sheet"] = t.sheet;
    d["range"] = t.range;
    d["column_widths"] = t.columnWidths;
    d["row_heights"] = t.rowHeights;
    d["hidden_columns"] = t.hiddenColumns;
    d["hidden_rows"] = t.hiddenRows;
    d["merges"] = t.merges;
    py::list cells;
    for (const auto& cell : t.cells) cells.append(RecordDict(*cell));
    d["cells"] = cells;
    return d;
}

// One import of a range without a dialog to answer: BuildCell through the range dialog
// answered with the arguments, or (`deep`) DeepUpdate of exactly that range, as the
// update of an imported range runs.
//
// `progress` (None or a callable) is called with the share done, 0 to 1, whenever the
// dialog's progress bar moves. An exception it raises, or KeyboardInterrupt (Ctrl-C),
// stops the import: the range dialog's Cancel is clicked at its next look at its events,
// so the import ends as a user's Cancel ends it, and the exception reaches the caller.
// The update has no Cancel: it runs to its end and the exception follows.
Table CaptureRange(const py::object& pathArg, const std::optional<std::string>& sheet,
                   const std::string& cells, bool deep, const py::object& progress) {
    const std::string path = AbsolutePath(pathArg);
    const std::string range = DialogRange(cells);
    if (!std::filesystem::is_regular_file(path)) RaiseFileNotFound(path);
    if (!progress.is_none() && !PyCallable_Check(progress.ptr()))
        throw py::type_error("progress must be None or a callable taking the share done");
    Session session("", "scripted");
    CaptureArguments c;
    Boolean ok = False;
    std::optional<py::error_already_set> stopped;
    auto* dialog = dynamic_cast<ProgressDialog*>(
        &session.GetModule().Dialog(deep ? DialogId::DeepUpdateForm : DialogId::CellRangeForm));
    if (dialog) {
        ProgressBar* bar = &dialog->Progress().bar;
        bar->PropertyChanged = [&, bar](const std::string& name) {
            if (name != "Position" || bar->Max() == 0 || stopped) return;
            py::gil_scoped_acquire gil;
            try {
                if (!progress.is_none())
                    progress(static_cast<double>(bar->Position()) / bar->Max());
                if (PyErr_CheckSignals() != 0) throw py::error_already_set();
            } catch (py::error_already_set& e) {
                stopped.emplace(std::move(e));
                if (!deep) session.Scripted()->Push(scripted::Action::Click("btnCancel", 0));
            }
        };
    }
    const auto reraise = [&] {
        if (!stopped) return;
        stopped->restore();
        stopped.reset();
        throw py::error_already_set();
    };
    {
        // Nothing below calls back into Python: the scripted dialogs answer from the
        // queue filled here, and the reader is another process.
        py::gil_scoped_release release;
        session.InstallReader();
        if (deep) {
            c.fileName0 = path;
            c.sheetName0 = sheet.value_or("");
            const auto colon = range.find(':');
            Long row = 0, col = 0;
            workbook::ParseCellRef(range.substr(0, colon), row, col);
            c.startRow0 = static_cast<Integer>(row), c.startCol0 = static_cast<Integer>(col);
            workbook::ParseCellRef(range.substr(colon + 1), row, col);
            c.endRow0 = static_cast<Integer>(row), c.endCol0 = static_cast<Integer>(col);
            ok = session.App().DeepUpdate(c);
        } else {
            session.RangeDialog(path, sheet.value_or(""), range);
            ok = session.App().BuildCell(c);
        }
    }
    reraise();
    if (ok == False) {
        const auto shown = session.Messages();
        if (sheet) {
            // The workbook opened but has no such sheet.
            bool noSheet = false;
            try {
                auto app = As<excel::Application>(session.Objects().GetObject("Excel.Application"));
                if (auto book = app ? app->ActiveWorkbook() : nullptr) {
                    try {
                        book->Sheets(*sheet);
                    } catch (const RuntimeError&) {
                        noSheet = true;
                    }
                }
            } catch (const RuntimeError&) {
            }
            if (noSheet) {
                throw py::key_error(shown.empty()
                                        ? "The workbook has no sheet named \"" + *sheet + "\""
                                        : MessageText(shown.front().text));
            }
        }
        RaiseImportFailed(shown, "The import of " + path + " did not finish");
    }
    // The sheet's name as the workbook spells it (the dialog keeps what was typed).
    std::string sheetName = c.sheetName0;
    if (auto app = As<excel::Application>(session.Objects().GetObject("Excel.Application"))) {
        if (auto book = app->ActiveWorkbook()) sheetName = book->ActiveSheet()->Name();
    }
    Table t = MakeTable(c.fileName0, sheetName, c.dgnCell0, c.startRow0, c.endRow0, c.startCol0,
                        c.endCol0, c.totalWidth0, c.totalHeight0);
    t.shapes = std::move(c.xlsShape0);
    t.images = std::move(c.xlsImage0);
    t.picturesFolder = paths::PicturesFolder(session.Sys());
    return t;
}

Table ReadRange(const py::object& path, const std::optional<std::string>& sheet,
                const std::string& cells, const py::object& progress) {
    return CaptureRange(path, sheet, cells, false, progress);
}

Table UpdateRange(const py::object& path, const std::optional<std::string>& sheet,
                  const std::string& cells, const py::object& progress) {
    return CaptureRange(path, sheet, cells, true, progress);
}

// A Word document's lines as an import hands them back, page by page.
struct Document {
    std::string path;
    Integer pages = 0;
    Single pageWidth = 0, pageHeight = 0;
    WordLineArray lines;
};

Document ReadDocument(const py::object& pathArg) {
    const std::string path = AbsolutePath(pathArg);
    if (!std::filesystem::is_regular_file(path)) RaiseFileNotFound(path);
    Session session("", "scripted");
    Document d;
    d.path = path;
    std::string fileName0 = path;
    Boolean ok = False;
    {
        py::gil_scoped_release release;
        ok = session.App().UpdateWord(d.lines, d.pages, d.pageWidth, d.pageHeight, fileName0);
    }
    if (ok == False)
        RaiseImportFailed(session.Messages(), "The import of " + path + " did not finish");
    return d;
}

// One page of the document as the host's --svg draws it, at the page's size.
std::string DocumentSvg(const Document& d, Integer page, double unitsPerMm) {
    const auto options = DrawingScale(unitsPerMm);
    if (page < 1 || page > d.pages)
        throw py::index_error("page " + std::to_string(page) +
                              " is not a page of the document (1 to " + std::to_string(d.pages) +
                              ")");
    std::ostringstream out;
    {
        py::gil_scoped_release release;
        fonts::FontMetrics metrics;
        cairo::CairoSink sink(out, cairo::Format::Svg, PictureFonts(metrics));
        drawing::PageSink one(sink, page);
        drawing::DrawWordLines(d.lines, d.pages, d.pageWidth, d.pageHeight, options, one);
    }
    return out.str();
}

void BindLayer(py::module_& m) {
    using py::arg;
    py::class_<Table>(m, "Table",
                      "A captured range: its cell records (MyCell) row by row, and the sizes of "
                      "its rows and columns in points.")
        .def_readonly("path", &Table::path, "The workbook's absolute path.")
        .def_readonly("sheet", &Table::sheet, "The sheet's name as the workbook spells it.")
        .def_readonly("range", &Table::range,
                      "The range captured, e.g. \"A1:H10\": the one asked for, widened so that "
                      "no merged area is cut and clamped to the sheet's used area.")
        .def_readonly("first_row", &Table::firstRow, "First row of the range on the sheet.")
        .def_readonly("last_row", &Table::lastRow, "Last row of the range on the sheet.")
        .def_readonly("first_col", &Table::firstCol, "First column of the range (A is 1).")
        .def_readonly("last_col", &Table::lastCol, "Last column of the range (A is 1).")
        .def_readonly("total_width", &Table::totalWidth,
                      "Sum of the range's column widths, in points.")
        .def_readonly("total_height", &Table::totalHeight,
                      "Sum of the range's row heights, in points.")
        .def_readonly("column_widths", &Table::columnWidths,
                      "Width of each column of the range, in points; 0 for a hidden column.")
        .def_readonly("row_heights", &Table::rowHeights,
                      "Height of each row of the range, in points; 0 for a hidden row.")
        .def_readonly("hidden_columns", &Table::hiddenColumns,
                      "For each column of the range: True when it is hidden.")
        .def_readonly("hidden_rows", &Table::hiddenRows,
                      "For each row of the range: True when it is hidden.")
        .def_readonly("merges", &Table::merges,
                      "The merged areas (and centre-across runs) that start in the range, as "
                      "range strings such as \"A1:H1\".")
        .def(
            "__len__", [](const Table& t) { return t.cells.size(); }, "The number of cell records.")
        .def(
            "__iter__",
            [](const Table& t) { return py::make_iterator(t.cells.begin(), t.cells.end()); },
            py::keep_alive<0, 1>(), "The cell records (MyCell), row by row, left to right.")
        .def("to_dict", &TableDict,
             "The table as plain data: path, sheet, range, column_widths, row_heights, "
             "hidden_columns, hidden_rows, merges and cells (one dict of MyCell fields each).")
        .def("to_svg", &TableSvg, arg("scale") = 1.0,
             arg("revisions") = std::vector<std::pair<Integer, Integer>>(), arg("clip") = true,
             "The table as the host's --svg draws it (fills, borders, texts, shapes and "
             "pictures), as SVG text whose units are points: one drawing unit per millimetre "
             "on paper times `scale` (drawing units per millimetre), with a margin of "
             "DRAWING_MARGIN_POINTS around the range. `revisions` are (row, col) sheet cells "
             "marked as changed. "
             "With clip=False each text is cut to its room rather than clipped, for viewers "
             "that ignore SVG clip paths. "
             "Pictures are read from the folder the import wrote them to, "
             "which the next import rewrites: draw the table before importing again.")
        .def("primitives", &TablePrimitives, arg("scale") = 1.0,
             "The table as the drawing's primitives rather than a picture, for a host that "
             "builds objects of its own: a list of dicts, each with \"kind\" and \"layer\" "
             "(TBLN-FILLS, TBLN-BORDERS, TBLN-TEXTS, ...: the DXF layers). Lengths are millimetres "
             "on paper times "
             "`scale`, y grows upward and the range's top-left corner is (0, 0); colours are "
             "(r, g, b) tuples of 0..255. Kinds: \"fill\" (top_left, width, height, color, "
             "pattern), \"line\" (points: two (x, y); pen_width in mm, dash, doubled, color), "
             "\"path\" (points, closed, fill colour or None, pen), \"ellipse\" (center, radii, "
             "rotation, angles, pen), \"text\" (top_left, width and height of its box, text "
             "(one line; a wrapped text comes as one text per line), font, size (em height), "
             "inset, bold, italic, underline, color, rotation in degrees counter-clockwise, "
             "h_align left/center/right, v_align top/middle/bottom) and \"image\" (top_left, "
             "width, height, path). Fills come first, texts after the borders.")
        .def("__eq__",
             [](const Table& a, const py::object& b) -> py::object {
                 if (!py::isinstance<Table>(b))
                     return py::reinterpret_borrow<py::object>(Py_NotImplemented);
                 return py::bool_(TableDict(a).equal(TableDict(b.cast<const Table&>())));
             })
        .def("__repr__", [](const Table& t) {
            return "Table(path=" + std::string(py::repr(py::str(t.path))) +
                   ", sheet=" + std::string(py::repr(py::str(t.sheet))) + ", range=" + t.range +
                   ", cells=" + std::to_string(t.cells.size()) + ")";
        });
    m.attr("Table").attr("__hash__") = py::none();
    m.def("update_range", &UpdateRange, arg("path"), arg("sheet"), arg("cells"), py::kw_only(),
          arg("progress") = py::none(),
          "Captures the range `cells` of the sheet `sheet` of the workbook at `path` again, "
          "exactly that range and without a dialog, as the update of an imported range "
          "does (DeepUpdate), and returns a Table. Raises as read_range does.");
    py::class_<Document>(m, "Document",
                         "A Word document as the import reads it: its lines (WordLine records, "
                         "positions in points from the top left of their page) and its pages.")
        .def_readonly("path", &Document::path, "The document's absolute path.")
        .def_readonly("pages", &Document::pages, "The number of pages.")
        .def_readonly("page_width", &Document::pageWidth, "The page's width, in points.")
        .def_readonly("page_height", &Document::pageHeight, "The page's height, in points.")
        .def(
            "__len__", [](const Document& d) { return d.lines.size(); }, "The number of lines.")
        .def(
            "__iter__",
            [](const Document& d) { return py::make_iterator(d.lines.begin(), d.lines.end()); },
            py::keep_alive<0, 1>(), "The lines (WordLine), page by page, top to bottom.")
        .def("to_svg", &DocumentSvg, arg("page") = 1, arg("scale") = 1.0,
             "The page `page` (from 1) as the host's --svg draws it, as SVG text whose units "
             "are points, at the page's size; `scale` as for Table.to_svg. Raises IndexError "
             "for a page the document does not have.")
        .def("__repr__", [](const Document& d) {
            return "Document(path=" + std::string(py::repr(py::str(d.path))) +
                   ", pages=" + std::to_string(d.pages) +
                   ", lines=" + std::to_string(d.lines.size()) + ")";
        });
    m.def("read_document", &ReadDocument, arg("path"),
          "Reads the Word document at `path` (str or os.PathLike) as the Word import does "
          "and returns a Document. Raises FileNotFoundError when there is no such file and "
          "tbln.Error with the import's message when it is not a document it can read.");
    m.def("read_range", &ReadRange, arg("path"), arg("sheet") = py::none(), arg("cells") = "A1:H20",
          py::kw_only(), arg("progress") = py::none(),
          "Imports the range `cells` (\"A1:H20\", \"$A$1:$H$8\", lower case too) of the "
          "sheet `sheet` (None: the workbook's active sheet) of the workbook at `path` "
          "(str or os.PathLike), as the range dialog does when answered with them, and "
          "returns a Table. Raises FileNotFoundError when there is no such file, KeyError "
          "when the workbook has no such sheet, ValueError for a range that is not like "
          "A1:H20, and tbln.Error with the dialog's message (all the messages in its "
          "`messages`) when the import fails otherwise. `progress`, when given, is called "
          "with the share done (0 to 1) as the dialog's progress bar moves; an exception it "
          "raises, or Ctrl-C (KeyboardInterrupt), cancels the import as the dialog's Cancel "
          "does and reaches the caller.");
}

void BindApplication(py::module_& m) {
    using py::arg;
    py::class_<PySession>(m, "Application")
        .def(py::init([](const std::string& root, const std::string& ui, double readerTimeout,
                         const py::object& answers) {
                 std::string answersPath;
                 if (!answers.is_none()) {
                     answersPath = AbsolutePath(answers);
                     if (ui != "scripted" && ui != "auto") {
                         throw py::value_error(
                             "answers are for the scripted user interface, not \"" + ui + "\"");
                     }
                     if (!std::filesystem::is_regular_file(answersPath)) {
                         RaiseFileNotFound(answersPath);
                     }
                 }
                 // An answers file answers every dialog: none is shown.
                 auto session =
                     std::make_unique<PySession>(root, answersPath.empty() ? ui : "scripted");
                 session->App().SetReaderTimeout(readerTimeout);
                 if (!session->UiWarning().empty() &&
                     PyErr_WarnEx(PyExc_RuntimeWarning, session->UiWarning().c_str(), 1) != 0)
                     throw py::error_already_set();
                 if (!answersPath.empty()) {
                     try {
                         session->UseAnswers(answersPath);
                     } catch (const std::invalid_argument& e) {
                         throw py::value_error(e.what());
                     }
                 }
                 return session;
             }),
             arg("root") = "", arg("ui") = "scripted",
             arg("reader_timeout") = kDefaultReaderWaitLimitMs / 1000.0,
             arg("answers") = py::none(),
             "root stands for the install folder (empty: QUORVEX_ROOT, else "
             "~/.local/share/quorvex); ui names the user interface: \"scripted\" (the "
             "dialogs answered by the script queued with click, set_text, file_choice... "
             "before each entry point), \"qt\" (the real dialogs, with a window showing "
             "the workbook; needs a display Qt can reach, or QT_QPA_PLATFORM=offscreen), or "
             "\"auto\" (\"qt\" where it can run, else \"scripted\"); tbln.ui_names() "
             "lists them. reader_timeout is how many seconds an import waits for the "
             "workbook reader before it is cancelled (above 0, at most a day).\n\n"
             "answers (str or os.PathLike) names an answers file that answers every dialog "
             "of this application, one step a line, in the dialogs' own control names:\n"
             "  file PATH            the next file chooser answers PATH ('file' alone cancels)\n"
             "  folder PATH          the next folder chooser answers PATH\n"
             "  set CONTROL TEXT     types TEXT into a text or combo box\n"
             "  click CONTROL        presses a button\n"
             "  pick CONTROL INDEX   selects a line of a list, 0 for the first\n"
             "  cell A1              clicks that cell of the workbook's active sheet\n"
             "  answer ok|cancel|yes|no   answers the next message box\n"
             "Blank lines and lines starting with # are skipped; PATH and TEXT are the rest of "
             "the line after one blank. Each step waits a virtual second for the dialog's "
             "timers, so one file answers several calls in turn. A step naming a control the "
             "dialog lacks ends the dialog as Cancel would, drops the rest of the file and "
             "adds a message titled 'answers' naming the file and line; a file that runs out "
             "also ends the dialog as Cancel would. When TBLN_MESSAGES names a file, every "
             "message is written to it, one 'TITLE<tab>TEXT' a line (backslash, tab, CR, LF "
             "escaped as \\\\, \\t, \\r, \\n). A missing file raises FileNotFoundError, a "
             "malformed line ValueError with the file, line and problem.\n\n"
             "The dialogs' controls (entry point: controls):\n"
             "  BuildCell (CellRangeForm): btnBrowse (file chooser: the workbook), "
             "cbSheetName, topLeftCol, topLeftRow, botRightCol, botRightRow, btnUpdateTL, "
             "btnUpdateBR (take the active cell as that corner), btnView, btnOK (Start), "
             "btnCancel\n"
             "  MakeBlock (MakeBlockForm), InsertBlock (InsertBlockForm): btnBrowseExcel "
             "(file chooser), cbSheetName, tbCol1, tbRow1, btnUpdate1 (the active cell is the "
             "Block ID), lbTags (the tags in their array's order), btnView, btnMake, "
             "btnCancel; MakeBlock also btnUpdate (link the selected tag to the active cell)\n"
             "  Populate (DistributeForm): btnBrowseExcel, cbSheetName, tbCol1, tbRow1, "
             "btnUpdate1, tbCol2, tbRow2, btnUpdate2, tbColn, tbRown, btnUpdaten (first, "
             "second, last drawing-name cells), btnBrowseDGN (file chooser: the template), "
             "btnBrowseOutput (folder chooser), btnView, btnPopulate (Start), btnCancel\n"
             "  ExportDGNName (MultiDGNsForm): btnBrowseExcel, cbSheetName, lbDGNNames, "
             "btnAdd (file chooser: a drawing), btnRemove, btnRemoveAll, tbCol1, tbRow1, "
             "btnUpdate1 (the first cell written), btnExport, btnCancel\n"
             "  SetLUC (MakeLUCForm): btnBrowse, cbSheetName, btnOK (Reset, after a Warning "
             "answered ok or cancel), btnCancel\n"
             "  ParseWord: a file chooser, then a progress dialog that closes itself; "
             "DeepUpdate and UpdateWord show only a progress dialog, InsertBlockPop and "
             "SetTopMostWindow none.")
        .def_property_readonly("root", [](PySession& s) { return s.Sys().InstallRoot(); })
        .def_property_readonly("ui", &Session::UiName,
                               "The user interface chosen (\"auto\" resolved).")
        .def_property(
            "reader_timeout", [](PySession& s) { return s.App().ReaderTimeout(); },
            [](PySession& s, double seconds) { s.App().SetReaderTimeout(seconds); },
            "Seconds an import waits for the workbook reader before it is cancelled.")
        // Entry points.
        .def(
            "SetTopMostWindow",
            [](PySession& s, Long hwnd, py::object Topmost) {
                s.ClearMessages();
                Boolean topmost = ToAutomationBoolean(Topmost);
                const Long r = s.App().SetTopMostWindow(hwnd, topmost);
                py::kwargs k;
                k["hwnd"] = hwnd;
                k["Topmost"] = Topmost;
                return Result(py::int_(r), k);
            },
            arg("hwnd") = 0, arg("Topmost") = false)
        .def(
            "BuildCell",
            [](PySession& s, std::string dwgdgn, std::string QVPath) {
                s.ClearMessages();
                s.InstallReader();
                CaptureArguments c;
                c.dwgdgn = std::move(dwgdgn);
                c.QVPath = std::move(QVPath);
                const Boolean r = s.App().BuildCell(c);
                py::kwargs k = CaptureOut(c);
                k["dwgdgn"] = c.dwgdgn;
                k["QVPath"] = c.QVPath;
                k["fastUpdate0"] = Bool(c.fastUpdate0);
                return Result(Bool(r), k);
            },
            arg("dwgdgn") = "dwg", arg("QVPath") = "")
        .def(
            "DeepUpdate",
            [](PySession& s, std::string fileName0, std::string sheetName0, Integer startRow0,
               Integer endRow0, Integer startCol0, Integer endCol0, std::string dwgdgn) {
                s.ClearMessages();
                s.InstallReader();
                CaptureArguments c;
                c.fileName0 = std::move(fileName0);
                c.sheetName0 = std::move(sheetName0);
                c.startRow0 = startRow0;
                c.endRow0 = endRow0;
                c.startCol0 = startCol0;
                c.endCol0 = endCol0;
                c.dwgdgn = std::move(dwgdgn);
                const Boolean r = s.App().DeepUpdate(c);
                py::kwargs k = CaptureOut(c);
                k["dwgdgn"] = c.dwgdgn;
                return Result(Bool(r), k);
            },
            arg("fileName0"), arg("sheetName0"), arg("startRow0"), arg("endRow0"), arg("startCol0"),
            arg("endCol0"), arg("dwgdgn") = "dwg")
        .def(
            "Populate",
            [](PySession& s, Integer row10, Integer row20, Integer rown0, Integer col10,
               Integer col20, Integer coln0, std::string templatePath0, std::string outputPath0,
               std::string excelPath0, std::string sheetName0, std::string dwgdgn,
               std::string QVPath) {
                s.ClearMessages();
                const Boolean r =
                    s.App().Populate(row10, row20, rown0, col10, col20, coln0, templatePath0,
                                     outputPath0, excelPath0, sheetName0, dwgdgn, QVPath);
                py::kwargs k;
                k["row10"] = row10;
                k["row20"] = row20;
                k["rown0"] = rown0;
                k["col10"] = col10;
                k["col20"] = col20;
                k["coln0"] = coln0;
                k["templatePath0"] = templatePath0;
                k["outputPath0"] = outputPath0;
                k["excelPath0"] = excelPath0;
                k["sheetName0"] = sheetName0;
                k["dwgdgn"] = dwgdgn;
                k["QVPath"] = QVPath;
                return Result(Bool(r), k);
            },
            arg("row10") = 0, arg("row20") = 0, arg("rown0") = 0, arg("col10") = 0,
            arg("col20") = 0, arg("coln0") = 0, arg("templatePath0") = "", arg("outputPath0") = "",
            arg("excelPath0") = "", arg("sheetName0") = "", arg("dwgdgn") = "dwg",
            arg("QVPath") = "")
        .def("ParseWord",
             [](PySession& s) {
                 s.ClearMessages();
                 WordLineArray wordLines0;
                 Integer pageNum0 = 0;
                 Single pageWid0 = 0, pageHei0 = 0;
                 std::string fileName0;
                 const Boolean r =
                     s.App().ParseWord(wordLines0, pageNum0, pageWid0, pageHei0, fileName0);
                 return Result(Bool(r),
                               WordOut(wordLines0, pageNum0, pageWid0, pageHei0, fileName0));
             })
        .def(
            "UpdateWord",
            [](PySession& s, std::string fileName0) {
                s.ClearMessages();
                WordLineArray wordLines0;
                Integer pageNum0 = 0;
                Single pageWid0 = 0, pageHei0 = 0;
                const Boolean r =
                    s.App().UpdateWord(wordLines0, pageNum0, pageWid0, pageHei0, fileName0);
                return Result(Bool(r),
                              WordOut(wordLines0, pageNum0, pageWid0, pageHei0, fileName0));
            },
            arg("fileName0"))
        .def(
            "ExportDGNName",
            [](PySession& s, std::string fileFormat0) {
                s.ClearMessages();
                s.App().ExportDGNName(fileFormat0);
                py::kwargs k;
                k["fileFormat0"] = fileFormat0;
                return Result(py::none(), k);
            },
            arg("fileFormat0") = "dwg")
        .def(
            "MakeBlock",
            [](PySession& s, TagPosArray tags0, std::string fileName0, std::string sheetName0,
               std::string QVPath) {
                s.ClearMessages();
                TagPosArray tags1;
                const Boolean r = s.App().MakeBlock(tags0, tags1, fileName0, sheetName0, QVPath);
                py::kwargs k = TagsOut(tags0, tags1, fileName0, sheetName0);
                k["QVPath"] = QVPath;
                return Result(Bool(r), k);
            },
            arg("tags0"), arg("fileName0") = "", arg("sheetName0") = "", arg("QVPath") = "")
        .def(
            "InsertBlock",
            [](PySession& s, TagPosArray tags0, std::string fileName0, std::string sheetName0) {
                s.ClearMessages();
                TagPosArray tags1;
                const Boolean r = s.App().InsertBlock(tags0, tags1, fileName0, sheetName0);
                return Result(Bool(r), TagsOut(tags0, tags1, fileName0, sheetName0));
            },
            arg("tags0"), arg("fileName0") = "", arg("sheetName0") = "")
        .def(
            "InsertBlockPop",
            [](PySession& s, TagPosArray tags0, std::string fileName0, std::string sheetName0,
               Integer row, Integer col) {
                s.ClearMessages();
                TagPosArray tags1;
                const Boolean r =
                    s.App().InsertBlockPop(tags0, tags1, fileName0, sheetName0, row, col);
                py::kwargs k = TagsOut(tags0, tags1, fileName0, sheetName0);
                k["row"] = row;
                k["col"] = col;
                return Result(Bool(r), k);
            },
            arg("tags0"), arg("fileName0"), arg("sheetName0"), arg("row"), arg("col"))
        .def("SetLUC",
             [](PySession& s) {
                 s.ClearMessages();
                 s.App().SetLUC();
                 return Result(py::none(), py::kwargs());
             })
        // The script of the dialogs: queued before the entry point that shows them.
        .def("file_choice", &Session::PushFileChoice, arg("path"),
             "The next file chooser answers path; None: the user cancels it.")
        .def("folder_choice", &Session::PushFolderChoice, arg("path"),
             "The next folder chooser answers path; None: the user cancels it.")
        .def("click", &Session::Click, arg("control"))
        .def("set_text", &Session::SetText, arg("control"), arg("text"))
        .def("pick", &Session::Pick, arg("control"), arg("index"))
        .def("check", &Session::Check, arg("control"), arg("value"))
        .def("answer", &Session::PushAnswer, arg("answer"),
             "The next message box is answered with this button (its default otherwise).")
        .def("select_cell", &Session::SelectCell, arg("cell"))
        .def("open_workbook", &Session::OpenWorkbook, arg("file"), arg("sheet") = "",
             arg("button") = "btnBrowse")
        .def("range_dialog", &Session::RangeDialog, arg("file"), arg("sheet") = "",
             arg("range") = "")
        .def_property_readonly(
            "messages",
            [](const PySession& s) {
                py::list out;
                const auto all = s.Messages();
                for (std::size_t i = s.firstMessage; i < all.size(); ++i)
                    out.append(py::make_tuple(all[i].title, all[i].text));
                return out;
            },
            "The message boxes (title, text) shown by the last entry point call; each entry "
            "point starts the list afresh.");
}

}  // namespace
}  // namespace tbln

PYBIND11_MODULE(tbln, m) {
    using namespace tbln;
    m.doc() =
        "Spreadsheet and document import for CAD macros.\n\n"
        "tbln.read_range(path, sheet, cells) imports a range in one call and returns a Table "
        "of MyCell records; tbln.Application holds the automation interface's entry points "
        "(BuildCell, DeepUpdate, ParseWord...) under their own names.\n\n"
        "Coordinates: lengths and positions are in points (1/72 inch). Records are indexed "
        "by sheet row and column, and the grid reaches one row below and one column right "
        "of the range (and one row above and one column left when they exist): A2:H8 gives "
        "dgnCell0 rows 1..9 x cols 1..8. deltaX and deltaY are offsets from the range's "
        "first column and the top of the row above the range, as the records define them. "
        "Hidden cells are placeholders that carry only hidden=True (col 0). Value is the "
        "cell's displayed text, in its number format. Colours (bgColor) are hex strings "
        "such as \"FFFF00\", or \"none\".\n\n"
        "DRAWING_MARGIN_POINTS: the blank border in points around the range in a picture "
        "of a table (Table.to_svg): the range's top-left corner lies that far right of and "
        "below the picture's.";
    m.attr("__version__") = TBLN_VERSION;
    // The picture's blank border: Table.to_svg draws the range's top-left corner this far
    // in from the picture's, which a host needs to put that corner where the user clicked.
    m.attr("DRAWING_MARGIN_POINTS") = cairo::kMarginPoints;
    g_runtimeError = PyErr_NewExceptionWithDoc(
        "tbln.RuntimeError",
        "A run-time error of the library: number and description as the macro sees them.",
        PyExc_RuntimeError, nullptr);
    m.attr("RuntimeError") = py::handle(g_runtimeError);
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const RuntimeError& e) {
            py::object error = py::reinterpret_borrow<py::object>(g_runtimeError)(
                "run-time error " + std::to_string(e.Number()) + ": " + e.Description());
            error.attr("number") = e.Number();
            error.attr("description") = e.Description();
            PyErr_SetObject(g_runtimeError, error.ptr());
        }
    });

    g_error = PyErr_NewExceptionWithDoc(
        "tbln.Error",
        "An import that did not finish: its message is the last message box the dialogs "
        "showed, and `messages` holds all of them as (title, text).",
        PyExc_Exception, nullptr);
    m.attr("Error") = py::handle(g_error);

    BindRecord<MyCell>(m, "MyCell");
    BindRecord<JCell>(m, "JCell");
    BindRecord<MyShape>(m, "MyShape");
    BindRecord<MyImage>(m, "MyImage");
    BindRecord<WordLine>(m, "WordLine");
    BindRecord<Segment>(m, "Segment");
    BindRecord<TagPos>(m, "TagPos");
    BindCellArray(m);
    BindArray<MyShape>(m, "MyShapeArray");
    BindArray<MyImage>(m, "MyImageArray");
    BindArray<WordLine>(m, "WordLineArray");
    BindArray<TagPos>(m, "TagPosArray");
    BindCollection(m);
    BindApplication(m);
    BindLayer(m);
    m.def("ui_names", &UiNames, "The user interfaces an Application can be built with.");
    // What `from tbln import *` brings in: not RuntimeError, which would hide the builtin.
    py::list all;
    for (const char* name :
         {"Application",  "Collection",    "Document",      "Error",        "JCell",
          "MyCell",       "MyCellArray",   "MyImage",       "MyImageArray", "MyShape",
          "MyShapeArray", "Segment",       "Table",         "TagPos",       "TagPosArray",
          "WordLine",     "WordLineArray", "read_document", "read_range",   "ui_names",
          "update_range", "__version__"})
        all.append(name);
    all.append("DRAWING_MARGIN_POINTS");
    m.attr("__all__") = all;
}

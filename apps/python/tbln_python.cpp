// The Python module tbln: the Application with its eleven entry points under their
// own names, the record classes with their fields under their exact names, the arrays
// with their bounds, and the run-time errors as tbln.RuntimeError.
//
// Python has no by-reference arguments: each entry point takes its inputs as keyword
// arguments and returns a result object holding the return value ("result") and every
// by-reference argument under its own name, as the entry point left it.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <string>
#include <type_traits>

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

// The twelve values BuildCell and DeepUpdate hand back.
struct CaptureArgs {
    std::string fileName0, sheetName0;
    std::shared_ptr<Collection> excelFonts0;
    MyCellArray dgnCell0;
    MyShapeArray xlsShape0;
    MyImageArray xlsImage0;
    Single totalHeight0 = 0, totalWidth0 = 0;
    Integer startRow0 = 0, endRow0 = 0, startCol0 = 0, endCol0 = 0;

    py::kwargs Out() {
        py::kwargs k;
        k["fileName0"] = fileName0;
        k["sheetName0"] = sheetName0;
        k["excelFonts0"] = excelFonts0;
        k["dgnCell0"] = std::move(dgnCell0);
        k["xlsShape0"] = std::move(xlsShape0);
        k["xlsImage0"] = std::move(xlsImage0);
        k["totalHeight0"] = totalHeight0;
        k["totalWidth0"] = totalWidth0;
        k["startRow0"] = startRow0;
        k["endRow0"] = endRow0;
        k["startCol0"] = startCol0;
        k["endCol0"] = endCol0;
        return k;
    }
};

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

void BindApplication(py::module_& m) {
    using py::arg;
    py::class_<Session>(m, "Application")
        .def(py::init([](const std::string& root, const std::string& ui, double readerTimeout) {
                 auto session = std::make_unique<Session>(root, ui);
                 session->App().SetReaderTimeout(readerTimeout);
                 return session;
             }),
             arg("root") = "", arg("ui") = "scripted",
             arg("reader_timeout") = kDefaultReaderWaitLimitMs / 1000.0,
             "root stands for the install folder (empty: QUORVEX_ROOT, else "
             "~/.local/share/quorvex); ui names the user interface: \"scripted\" (the "
             "dialogs answered by the script queued with click, set_text, file_choice... "
             "before each entry point), \"qt\" (the real dialogs, with a window showing "
             "the workbook; needs a display Qt can reach, or QT_QPA_PLATFORM=offscreen), or "
             "\"auto\" (\"qt\" where it can run, else \"scripted\"); tbln.ui_names() "
             "lists them. reader_timeout is how many seconds an import waits for the "
             "workbook reader before it is cancelled (above 0, at most a day).")
        .def_property_readonly("root", [](Session& s) { return s.Sys().InstallRoot(); })
        .def_property_readonly("ui", &Session::UiName,
                               "The user interface chosen (\"auto\" resolved).")
        .def_property(
            "reader_timeout", [](Session& s) { return s.App().ReaderTimeout(); },
            [](Session& s, double seconds) { s.App().SetReaderTimeout(seconds); },
            "Seconds an import waits for the workbook reader before it is cancelled.")
        // Entry points.
        .def(
            "SetTopMostWindow",
            [](Session& s, Long hwnd, py::object Topmost) {
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
            [](Session& s, std::string dwgdgn, std::string QVPath) {
                s.InstallReader();
                CaptureArgs c;
                Boolean fastUpdate0 = False;
                const Boolean r = s.App().BuildCell(
                    c.fileName0, c.sheetName0, c.excelFonts0, c.dgnCell0, c.xlsShape0, c.xlsImage0,
                    c.totalHeight0, c.totalWidth0, c.startRow0, c.endRow0, c.startCol0, c.endCol0,
                    dwgdgn, QVPath, fastUpdate0);
                py::kwargs k = c.Out();
                k["dwgdgn"] = dwgdgn;
                k["QVPath"] = QVPath;
                k["fastUpdate0"] = Bool(fastUpdate0);
                return Result(Bool(r), k);
            },
            arg("dwgdgn") = "dwg", arg("QVPath") = "")
        .def(
            "DeepUpdate",
            [](Session& s, std::string fileName0, std::string sheetName0, Integer startRow0,
               Integer endRow0, Integer startCol0, Integer endCol0, std::string dwgdgn) {
                s.InstallReader();
                CaptureArgs c;
                c.fileName0 = std::move(fileName0);
                c.sheetName0 = std::move(sheetName0);
                c.startRow0 = startRow0;
                c.endRow0 = endRow0;
                c.startCol0 = startCol0;
                c.endCol0 = endCol0;
                const Boolean r =
                    s.App().DeepUpdate(c.fileName0, c.sheetName0, c.excelFonts0, c.dgnCell0,
                                       c.xlsShape0, c.xlsImage0, c.totalHeight0, c.totalWidth0,
                                       c.startRow0, c.endRow0, c.startCol0, c.endCol0, dwgdgn);
                py::kwargs k = c.Out();
                k["dwgdgn"] = dwgdgn;
                return Result(Bool(r), k);
            },
            arg("fileName0"), arg("sheetName0"), arg("startRow0"), arg("endRow0"), arg("startCol0"),
            arg("endCol0"), arg("dwgdgn") = "dwg")
        .def(
            "Populate",
            [](Session& s, Integer row10, Integer row20, Integer rown0, Integer col10,
               Integer col20, Integer coln0, std::string templatePath0, std::string outputPath0,
               std::string excelPath0, std::string sheetName0, std::string dwgdgn,
               std::string QVPath) {
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
             [](Session& s) {
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
            [](Session& s, std::string fileName0) {
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
            [](Session& s, std::string fileFormat0) {
                s.App().ExportDGNName(fileFormat0);
                py::kwargs k;
                k["fileFormat0"] = fileFormat0;
                return Result(py::none(), k);
            },
            arg("fileFormat0") = "dwg")
        .def(
            "MakeBlock",
            [](Session& s, TagPosArray tags0, std::string fileName0, std::string sheetName0,
               std::string QVPath) {
                TagPosArray tags1;
                const Boolean r = s.App().MakeBlock(tags0, tags1, fileName0, sheetName0, QVPath);
                py::kwargs k = TagsOut(tags0, tags1, fileName0, sheetName0);
                k["QVPath"] = QVPath;
                return Result(Bool(r), k);
            },
            arg("tags0"), arg("fileName0") = "", arg("sheetName0") = "", arg("QVPath") = "")
        .def(
            "InsertBlock",
            [](Session& s, TagPosArray tags0, std::string fileName0, std::string sheetName0) {
                TagPosArray tags1;
                const Boolean r = s.App().InsertBlock(tags0, tags1, fileName0, sheetName0);
                return Result(Bool(r), TagsOut(tags0, tags1, fileName0, sheetName0));
            },
            arg("tags0"), arg("fileName0") = "", arg("sheetName0") = "")
        .def(
            "InsertBlockPop",
            [](Session& s, TagPosArray tags0, std::string fileName0, std::string sheetName0,
               Integer row, Integer col) {
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
             [](Session& s) {
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
        .def_property_readonly("messages", [](const Session& s) {
            py::list out;
            for (const auto& msg : s.Messages()) out.append(py::make_tuple(msg.title, msg.text));
            return out;
        });
}

}  // namespace
}  // namespace tbln

PYBIND11_MODULE(tbln, m) {
    using namespace tbln;
    m.doc() = "Spreadsheet and document import for CAD macros.";
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
    m.def("ui_names", &UiNames, "The user interfaces an Application can be built with.");
}

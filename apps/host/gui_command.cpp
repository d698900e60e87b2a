// tbln gui [--file BOOK]: the host window standing in for the drawing program. Its
// pull-down menu holds the items of the installed menu file, one per entry point; each
// runs its entry point with the real dialogs beside the sheet window. An import is drawn
// on the window's drawing as the host's macro draws it, the returned records are shown in
// tables beside it with the messages shown, and the drawing and the records can be saved.
#include "apps/host/gui.hpp"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <pugixml.hpp>
#include <sstream>
#include <utility>

#include "adapters/fonts/font_metrics.hpp"
#include "adapters/posix/posix_system.hpp"
#include "adapters/qt/display_probe.hpp"
#include "adapters/qt/qt_ui.hpp"
#include "adapters/qt/sheet_window.hpp"
#include "apps/host/cells_drawing.hpp"
#include "apps/host/change_report.hpp"
#include "apps/host/drawing_canvas.hpp"
#include "apps/host/drawing_output.hpp"
#include "apps/host/entry_points.hpp"
#include "apps/host/json_records.hpp"
#include "apps/host/record_table.hpp"
#include "apps/host/streamed_json.hpp"
#include "common/paths.hpp"

namespace tbln::host {

namespace {

// Qt ends the process with an abort when it cannot go on (a display that went away
// between the check and the connection): the host ends instead with its status for
// unusable input and one line, as it does when the check finds no display.
QtMessageHandler qtHandler = nullptr;  // Qt's own, for every other message

void EndOnFatalQtMessage(QtMsgType type, const QMessageLogContext& context,
                         const QString& message) {
    if (type != QtFatalMsg) {
        if (qtHandler) qtHandler(type, context, message);
        return;
    }
    std::string line = message.toStdString();
    line = line.substr(0, line.find('\n'));
    std::fputs(("tbln: the desktop cannot go on: " + line + "\n").c_str(), stderr);
    std::fflush(stdout);
    std::_Exit(2);
}

}  // namespace

struct DesktopScope::Desktop {
    int argc = 1;
    char name[5] = "tbln";
    char* argv[2] = {name, nullptr};
    bool fatalHandled = (qtHandler = qInstallMessageHandler(EndOnFatalQtMessage), true);
    QApplication app{argc, argv};
    qt::QtUi ui;
    std::unique_ptr<qt::SheetWindow> sheet;
    std::vector<std::pair<std::string, std::string>> messages;  // title, text

    Desktop() {
        QApplication::setApplicationName("tbln");
        ui.onMessage = [this](const std::string& title, const std::string& text) {
            messages.emplace_back(title, text);
        };
    }
};

namespace {

// The desktop of the DesktopScope that lives, or null.
DesktopScope::Desktop* g_desktop = nullptr;

DesktopScope::Desktop& TheDesktop() {
    if (!g_desktop) throw std::logic_error("the desktop is used outside its DesktopScope");
    return *g_desktop;
}

// A menu item of the menu file: its caption and the entry point its macro runs.
struct MenuEntry {
    std::string caption;
    std::string entryPoint;  // "" for a separator
};

// The pull-down menu of the installed menu file: its name and items in order.
std::pair<std::string, std::vector<MenuEntry>> ReadMenu(const std::string& path) {
    pugi::xml_document doc;
    if (!doc.load_file(path.c_str())) return {};
    std::map<std::string, MenuEntry> macros;
    for (const auto& m : doc.select_nodes("//MenuMacro")) {
        const auto macro = m.node().child("Macro");
        std::string command = macro.child_value("Command");
        const auto run = command.find("tbln_");
        std::string entry = run == std::string::npos ? "" : command.substr(run + 5);
        while (!entry.empty() && entry.back() == ' ') entry.pop_back();
        macros[m.node().attribute("UID").value()] = {macro.child_value("Name"), entry};
    }
    const auto pop = doc.select_node("//PopMenu").node();
    std::vector<MenuEntry> items;
    for (const auto& item : pop.children("PopMenuItem")) {
        if (item.attribute("IsSeparator").as_bool()) {
            items.push_back({});
            continue;
        }
        const std::string id =
            item.child("MenuItem").child("MacroRef").attribute("MenuMacroID").value();
        if (const auto it = macros.find(id); it != macros.end()) items.push_back(it->second);
    }
    return {pop.child_value("Name"), items};
}

std::string MenuFile(Host& host) {
    const std::filesystem::path installed =
        std::filesystem::path(host.sys.InstallRoot()) / "acad" / "quorvex.cui";
    if (std::filesystem::exists(installed)) return installed.string();
    return TBLN_MENU_FILE;
}

constexpr Long kFileMustExist = 0x1000;

class HostWindow : public QMainWindow {
  public:
    HostWindow(Host& host, DesktopScope::Desktop& desktop) : host_(host), desktop_(desktop) {
        setObjectName("HostWindow");
        setWindowTitle("tbln - drawing host");
        // The drawing at the left; the records and the messages of each run beside it.
        // Texts in the font files the picture backend draws with.
        canvas_ = new DrawingCanvas([this](const std::string& family, bool bold, bool italic) {
            drawing::FontFile file;
            file.path = metrics_.FontFile(family, bold, italic, file.index);
            return file;
        });
        results_ = new QTabWidget;
        results_->setDocumentMode(true);
        messages_ = new QListWidget;
        messages_->setObjectName("messages");
        auto* side = new QSplitter(Qt::Vertical);
        side->addWidget(results_);
        side->addWidget(messages_);
        side->setSizes({440, 110});
        auto* central = new QSplitter(Qt::Horizontal);
        central->addWidget(canvas_);
        central->addWidget(side);
        central->setSizes({560, 340});
        setCentralWidget(central);
        auto* file = menuBar()->addMenu("&File");
        file->addAction("&Open Workbook...", [this] { OpenWorkbook(); });
        drawingAction_ = file->addAction("Save &Drawing...", [this] { SaveDrawing(); });
        drawingAction_->setEnabled(false);
        saveAction_ = file->addAction("&Save Result as JSON...", [this] { SaveResult(); });
        saveAction_->setEnabled(false);
        file->addSeparator();
        // Exit ends the session: every window closes (the sheet window too) and the
        // process ends.
        file->addAction("E&xit", [] {
            QApplication::closeAllWindows();
            QApplication::quit();
        });
        const auto [name, items] = ReadMenu(MenuFile(host));
        auto* menu = menuBar()->addMenu(QString::fromStdString(name.empty() ? "Quorvex" : name));
        menu->setObjectName("systemMenu");
        for (const auto& item : items) {
            if (item.entryPoint.empty()) {
                menu->addSeparator();
                continue;
            }
            QAction* a = menu->addAction(QString::fromStdString(item.caption));
            a->setObjectName(QString::fromStdString(item.entryPoint));
            a->setData(QString::fromStdString(item.entryPoint));
            connect(a, &QAction::triggered, [this, item] { Run(item); });
        }
        statusBar()->showMessage("Choose an item of the " + menu->title() + " menu.");
        resize(820, 520);
    }

    // Opens a workbook in the spreadsheet engine, as the user does before importing.
    void Open(const std::string& path) {
        auto excel = AttachOrCreate<excel::Application>(host_.objects, "Excel.Application");
        excel->SetVisible(true);
        excel->Workbooks()->Open(std::filesystem::absolute(path).lexically_normal().string());
    }

    // Runs an entry point; its result becomes a tab of tables.
    void Run(const MenuEntry& item) {
        menuBar()->setEnabled(false);
        desktop_.messages.clear();
        json result;
        try {
            result = RunEntryPoint(item.entryPoint);
        } catch (const RuntimeError& e) {
            result = {
                {"error", "run-time error " + std::to_string(e.Number()) + ": " + e.Description()}};
        } catch (const std::exception& e) {
            result = {{"error", e.what()}};
        }
        auto messages = json::array();
        messages_->clear();
        for (const auto& [title, text] : desktop_.messages) {
            messages.push_back({{"title", title}, {"text", text}});
            messages_->addItem(QString::fromStdString(title + ": " + text));
        }
        result["messages"] = messages;
        menuBar()->setEnabled(true);
        Show(item.caption, std::move(result));
        // An import's records as shown are the ones its next update is compared with.
        if (captured_) lastCapture_ = last_.values;
        captured_ = false;
    }

    // The result as tables: its record arrays, one tab each, and its other values in a
    // first tab. The tables read the records where they are: in the result kept for
    // saving, or, for the cells and the document lines, the entry point's own records.
    void Show(const std::string& caption, json result) {
        last_ = {std::make_shared<const json>(std::move(result)), std::exchange(running_, {})};
        saveAction_->setEnabled(true);
        auto* page = new QTabWidget;
        auto summary = std::make_shared<json>(json::array());
        const auto& capture = last_.records.capture;
        const auto& word = last_.records.word;
        for (const auto& [key, value] : last_.values->items()) {
            // A record array with its bounds holds its records in "items".
            const json& list =
                value.is_object() && value.contains("items") ? value["items"] : value;
            std::vector<const json*> records;
            if (list.is_array()) CollectRecords(list, records);
            if (key == "dgnCell0" && value.is_null() && capture &&
                capture->dgnCell0.IsAllocated()) {
                page->addTab(CellTable(capture), QString::fromStdString(key));
            } else if (key == "wordLines0" && word && word->wordLines0.IsAllocated()) {
                page->addTab(LineTable(word), QString::fromStdString(key));
            } else if (!records.empty()) {
                page->addTab(RecordTable(last_.values, std::move(records)),
                             QString::fromStdString(key));
            } else if (!value.is_array() || !value.empty()) {
                summary->push_back({{"name", key}, {"value", value}});
            }
        }
        std::vector<const json*> rows;
        for (const auto& r : *summary) rows.push_back(&r);
        page->insertTab(0, RecordTable(summary, std::move(rows)), "Result");
        page->setCurrentIndex(0);
        results_->addTab(page, QString::fromStdString(caption));
        results_->setCurrentWidget(page);
        statusBar()->showMessage(QString::fromStdString(caption) + " returned.");
    }

  private:
    // The record arrays of a result that its JSON leaves out (the cells as null, the
    // document lines with null items), as the entry point handed them back.
    struct Records {
        std::shared_ptr<const CaptureCall> capture;
        std::shared_ptr<const WordCall> word;
    };
    // A result as shown and saved.
    struct Result {
        std::shared_ptr<const json> values;
        Records records;
    };

    // The cell records of an import, a row of the table each, row by row of the range.
    // The table shares the import's records with the drawing.
    static QTableView* CellTable(std::shared_ptr<const CaptureCall> call) {
        const MyCellArray& cells = call->dgnCell0;
        const auto columns = static_cast<std::size_t>(cells.ColUpper() - cells.ColLower() + 1);
        const auto count =
            static_cast<std::size_t>(cells.RowUpper() - cells.RowLower() + 1) * columns;
        return RecordTable(new RecordTableModel(
            count,
            [call, columns](std::size_t i) {
                const MyCellArray& c = call->dgnCell0;
                return RecordJson(c(c.RowLower() + static_cast<Long>(i / columns),
                                    c.ColLower() + static_cast<Long>(i % columns)));
            },
            RecordJson(std::make_shared<MyCell>())));
    }

    // The lines of a document import, a row of the table each.
    static QTableView* LineTable(std::shared_ptr<const WordCall> call) {
        const WordLineArray& lines = call->wordLines0;
        return RecordTable(new RecordTableModel(
            static_cast<std::size_t>(lines.Upper() - lines.Lower() + 1),
            [call](std::size_t i) {
                const WordLineArray& l = call->wordLines0;
                return RecordJson(l(l.Lower() + static_cast<Long>(i)));
            },
            RecordJson(std::make_shared<WordLine>())));
    }

    // The macro's variables of the last import going into an entry point: its file,
    // sheet and range (the record arrays are what the entry point hands back).
    static CaptureCall Inputs(const std::shared_ptr<const CaptureCall>& last) {
        CaptureCall call;
        if (!last) return call;
        call.fileName0 = last->fileName0;
        call.sheetName0 = last->sheetName0;
        call.startRow0 = last->startRow0;
        call.endRow0 = last->endRow0;
        call.startCol0 = last->startCol0;
        call.endCol0 = last->endCol0;
        return call;
    }

    json RunEntryPoint(const std::string& entry) {
        if (entry == "BuildCell" || entry == "DeepUpdate") {
            if (entry == "DeepUpdate" && !lastImport_)
                throw std::runtime_error("Import a range first: Update Range captures it again.");
            // The macro's variables of the last import: its file, sheet and range go in. An
            // import that did not complete (cancelled) leaves them, and the drawing, as
            // they were, as the macro does when the result is False.
            auto call = std::make_shared<CaptureCall>(Inputs(capture_));
            json out =
                entry == "BuildCell" ? CallBuildCell(host_, *call) : CallDeepUpdate(host_, *call);
            // The cells stay records (dgnCell0 holds null in the JSON, as the commands
            // print it): the tables make each one into its fields while it is shown, and
            // the drawing, the tables and the saved result share them.
            running_.capture = call;
            if (call->result == False) return out;
            const std::string pictures = paths::PicturesFolder(host_.sys);
            // The workbook as the session's engine holds it open, not read again.
            auto book = ImportedWorkbook(host_.objects, call->fileName0);
            if (entry == "BuildCell") {
                lastImport_ = canvas_->Place(call, std::move(book), pictures);
            } else {
                // The changes since the import drawn, marked on the drawing.
                ChangeReport report;
                try {
                    // The import's cells compared as records, each made into its fields
                    // in turn, not the import made into one JSON tree.
                    report = CompareCaptures(
                        EarlierFromRecords(*lastCapture_, capture_->dgnCell0, "the last import"),
                        call->dgnCell0, call->xlsShape0, call->xlsImage0, call->startRow0,
                        call->endRow0, call->startCol0, call->endCol0);
                    out["changes"] = report.changes;
                } catch (const UsageError& e) {
                    out["changes"] = e.what();
                }
                canvas_->Redraw(*lastImport_, call, std::move(book), pictures, report.cells);
            }
            capture_ = std::move(call);
            captured_ = true;
            drawingAction_->setEnabled(true);
            return out;
        }
        if (entry == "ParseWord" || entry == "UpdateWord") {
            // As for a range: a document import that did not complete leaves the last one.
            // Update Word reads the last one's file again.
            auto call = std::make_shared<WordCall>();
            if (word_) call->fileName0 = word_->fileName0;
            json out =
                entry == "ParseWord" ? CallParseWord(host_, *call) : CallUpdateWord(host_, *call);
            // The lines stay records (their items are null in the JSON, as the commands
            // print them), shared by the drawing, the table and the saved result.
            running_.word = call;
            if (call->result == False) return out;
            if (entry == "UpdateWord" && lastDocument_) {
                canvas_->Redraw(*lastDocument_, call);
            } else {
                lastDocument_ = canvas_->Place(call);
            }
            word_ = std::move(call);
            drawingAction_->setEnabled(true);
            return out;
        }
        if (entry == "MakeBlock" || entry == "InsertBlock") {
            // The drawing's block attributes come from a tags file the user picks.
            const QString tagsFile = QFileDialog::getOpenFileName(
                this, "Block attributes (tags file)", {}, "Tags (*.json);;All files (*)");
            if (tagsFile.isEmpty()) return {{"result", false}};
            TagPosArray tags0 = ReadTags(tagsFile.toStdString());
            return entry == "MakeBlock" ? CallMakeBlock(host_, tags0)
                                        : CallInsertBlock(host_, tags0, "", "");
        }
        if (entry == "Populate") return CallPopulate(host_, "dgn");
        if (entry == "ExportDGNName") return CallExportDGNName(host_, "dgn");
        if (entry == "SetLUC") return CallSetLUC(host_);
        throw std::runtime_error("The menu item runs " + entry +
                                 ", which this host does not know.");
    }

    void OpenWorkbook() {
        // The dialogs' chooser: every workbook format, starting where the user last chose.
        ui::FileDialogRequest request;
        request.title = "Open Workbook";
        request.filter = "Workbooks|*.xlsx;*.xlsm;*.xls";
        request.flags = kFileMustExist;
        if (!desktop_.ui.GetOpenFileName(request)) return;
        const QString path = QString::fromStdString(request.fileName);
        try {
            Open(path.toStdString());
        } catch (const RuntimeError& e) {
            QMessageBox::critical(this, "Open Workbook", QString::fromStdString(e.Description()));
        }
    }

    // The whole drawing, every import at its place, as DXF, PDF, SVG or PNG by the name's
    // extension, through the drawing outputs of the commands.
    void SaveDrawing() {
        QString chosen;
        const QString path = QFileDialog::getSaveFileName(
            this, "Save Drawing", "drawing.pdf",
            "PDF (*.pdf);;SVG (*.svg);;PNG (*.png);;DXF (*.dxf)", &chosen);
        if (path.isEmpty()) return;
        std::string file = path.toStdString();
        std::string kind = std::filesystem::path(file).extension().string();
        kind = kind.empty() ? "" : kind.substr(1);
        for (auto& c : kind) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (kind != "dxf" && kind != "pdf" && kind != "svg" && kind != "png") {
            // A name without one of the four extensions gets the chosen filter's.
            kind = chosen.section('.', 1).section(')', 0, 0).toStdString();
            file += "." + kind;
        }
        try {
            Options options;
            options.Add(kind, file);
            DrawingOutputs outputs(options, {});
            outputs.WriteDrawing([this](drawing::Sink& sink) { canvas_->DrawAll(sink); });
            outputs.Finish();
            statusBar()->showMessage(QString::fromStdString("Drawing saved to " + file + "."));
        } catch (const UsageError& e) {
            QMessageBox::critical(this, "Save Drawing", e.what());
        }
    }

    void SaveResult() {
        const QString path = QFileDialog::getSaveFileName(this, "Save Result as JSON",
                                                          "result.json", "JSON (*.json)");
        if (path.isEmpty()) return;
        // Saved as every file is saved in place, in the text the commands print.
        try {
            std::ostringstream text;
            const json& result = *last_.values;
            if (last_.records.capture && result.contains("dgnCell0") &&
                result["dgnCell0"].is_null()) {
                PrintWithCells(text, result, "dgnCell0", last_.records.capture->dgnCell0);
            } else if (last_.records.word) {
                PrintWordResult(text, result, last_.records.word->wordLines0);
            } else {
                text << DumpJson(result) << "\n";
            }
            posix::WriteFileAtomically(path.toStdString(), text.str());
        } catch (const RuntimeError& e) {
            QMessageBox::critical(this, "Save Result", QString::fromStdString(e.Description()));
        }
    }

    Host& host_;
    DesktopScope::Desktop& desktop_;
    fonts::FontMetrics metrics_;
    DrawingCanvas* canvas_ = nullptr;
    QTabWidget* results_ = nullptr;
    QListWidget* messages_ = nullptr;
    QAction* saveAction_ = nullptr;
    QAction* drawingAction_ = nullptr;
    Result last_;                                 // the last result, shown and saved
    Records running_;                             // the records of the run in progress
    std::shared_ptr<const CaptureCall> capture_;  // the last import, which Update Range
                                                  // captures again
    std::optional<std::size_t> lastImport_;       // its drawing on the canvas
    std::shared_ptr<const json> lastCapture_;     // its result, for the changes
    bool captured_ = false;                       // the run in progress completed an import
    std::shared_ptr<const WordCall> word_;        // the last document import, which Update
                                                  // Word reads again
    std::optional<std::size_t> lastDocument_;     // its drawing on the canvas
};

}  // namespace

DesktopScope::DesktopScope() {
    if (g_desktop) throw std::logic_error("one DesktopScope at a time");
    // Qt ends the process when its platform cannot start: asked first, it is one line.
    if (const std::string problem = qt::DisplayProblem(); !problem.empty()) {
        throw UsageError(problem);
    }
    desktop_ = std::make_unique<Desktop>();
    g_desktop = desktop_.get();
}

DesktopScope::~DesktopScope() {
    g_desktop = nullptr;
}

ui::Ui& DesktopScope::Ui() {
    return desktop_->ui;
}

void DesktopScope::FollowEngines(Host& host) {
    // The message boxes the command reports are the ones shown here.
    host.desktopMessages = &desktop_->messages;
    if (desktop_->sheet) return;
    desktop_->sheet =
        std::make_unique<qt::SheetWindow>(desktop_->ui, workbook::RunningSpreadsheet(host.objects));
}

json GuiCommand(Host& host, const Options& options) {
    DesktopScope::Desktop& desktop = TheDesktop();
    if (!desktop.sheet) throw std::logic_error("the gui command runs with the sheet window");
    HostWindow window(host, desktop);
    // The host window at the left, the sheet window beside it, as the user arranges them.
    window.resize(900, 600);
    window.move(20, 20);
    window.show();
    desktop.sheet->move(window.frameGeometry().right() + 20, 20);
    if (options.Has("file")) {
        const std::string file = options.Get("file");
        if (!std::filesystem::exists(file)) throw UsageError(file + ": no such workbook");
        window.Open(file);
    }
    QApplication::exec();
    return AlreadyPrinted();
}

}  // namespace tbln::host

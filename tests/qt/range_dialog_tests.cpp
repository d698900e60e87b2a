// The dialogs on the desktop, end to end. The range import: the workbook chosen in the
// file chooser, the corners picked by clicking in the sheet window, Start running the
// real reader, the sheet-switch guard answering a tab switched in the sheet window, and
// dragging by the body. The drawing-name export: Add, Remove and Remove All on its list.
// The Link Block dialog: tags picked in its tabbed list and bound to cells clicked in
// the sheet window.
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QTabBar>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "adapters/qt/qt_ui.hpp"
#include "adapters/qt/sheet_window.hpp"
#include "apps/host/host.hpp"
#include "apps/host/reader_install.hpp"
#include "batch/multi_dgns_form.hpp"
#include "blocks/make_block_form.hpp"
#include "capture/cell_range_form.hpp"
#include "common/sheet_dialog.hpp"
#include "controls/progress_bar.hpp"
#include "qt/qt_driver.hpp"
#include "update/deep_update_form.hpp"

namespace tbln {
namespace {

namespace fs = std::filesystem;

// A host on the desktop adapter with its own install root and a sheet window.
struct DesktopHost {
    fs::path root = fs::temp_directory_path() / ("tbln-qt-" + std::to_string(::getpid()));
    std::unique_ptr<UiDriver> driver = MakeQtDriver();
    qt::QtUi& ui = dynamic_cast<qt::QtUi&>(driver->Ui());
    std::unique_ptr<host::Host> h;
    std::unique_ptr<qt::SheetWindow> sheet;
    std::vector<std::string> messages;

    DesktopHost() {
        fs::create_directories(root);
        ::setenv("TBLN_READER", TBLN_READER_BINARY, 1);
        h = std::make_unique<host::Host>(root.string(), &ui);
        host::InstallReader(*h);
        sheet = std::make_unique<qt::SheetWindow>(ui, workbook::RunningSpreadsheet(h->objects));
        ui.onMessage = [this](const std::string&, const std::string& text) {
            messages.push_back(text);
        };
    }
    ~DesktopHost() {
        sheet.reset();
        h.reset();
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    // A click on a cell of the sheet window, as the user does beside the dialog.
    void ClickCell(Long row, Long col) {
        sheet->Sync();
        QTest::mouseClick(sheet->Grid(), Qt::LeftButton, {},
                          sheet->Grid()->mapFrom(sheet.get(), sheet->CellRect(row, col).center()));
    }
    CellRangeForm& Form() {
        return dynamic_cast<CellRangeForm&>(h->module.Dialog(DialogId::CellRangeForm));
    }
};

struct Capture : CaptureArguments {
    Boolean Run(host::Host& h) { return h.app.BuildCell(*this); }
    Boolean Update(host::Host& h) { return h.app.DeepUpdate(*this); }
};

const std::string kBook = std::string(TBLN_FIXTURES) + "/gui_sheets.xlsx";

TEST(RangeDialogOnTheDesktop, UpdateReadsTheCellsClickedInTheSheetWindow) {
    DesktopHost d;
    auto& driver = *d.driver;
    std::string topLeft, bottomRight;
    driver.Click("btnBrowse");
    driver.ChooseFile(kBook);
    driver.Wait(300);
    driver.Call([&] { d.ClickCell(2, 1); });
    driver.Click("btnUpdateTL");
    driver.Call([&] { d.ClickCell(10, 3); });
    driver.Click("btnUpdateBR");
    driver.Call([&] {
        auto& f = d.Form();
        topLeft = f.topLeftCol.Text() + f.topLeftRow.Text();
        bottomRight = f.botRightCol.Text() + f.botRightRow.Text();
    });
    driver.Click("btnOK");
    Capture c;
    c.QVPath = d.root.string();
    EXPECT_EQ(c.Run(*d.h), True);
    EXPECT_TRUE(d.messages.empty());
    EXPECT_EQ(topLeft, "A2");
    EXPECT_EQ(bottomRight, "C10");
    EXPECT_EQ(c.sheetName0, "Plan");
    EXPECT_EQ(c.startRow0, 2);
    EXPECT_EQ(c.endRow0, 10);
    EXPECT_EQ(c.startCol0, 1);
    EXPECT_EQ(c.endCol0, 3);
    EXPECT_TRUE(d.sheet->isVisible()) << "the sheet window showed itself once a workbook was open";
}

TEST(RangeDialogOnTheDesktop, ATabSwitchedInTheSheetWindowIsUndoneWithAMessage) {
    DesktopHost d;
    auto& driver = *d.driver;
    std::string activeAfter;
    driver.Click("btnBrowse");
    driver.ChooseFile(kBook);
    driver.Wait(300);
    driver.Call([&] {
        d.sheet->Sync();
        QTest::mouseClick(d.sheet->Tabs(), Qt::LeftButton, {},
                          d.sheet->Tabs()->tabRect(1).center());
    });
    driver.Answer(ui::vbOK);
    driver.Wait(200);
    driver.Call([&] {
        activeAfter = d.Form().cbSheetName.Text();
        d.sheet->Sync();
    });
    driver.Click("btnCancel");
    Capture c;
    EXPECT_EQ(c.Run(*d.h), False);
    ASSERT_FALSE(d.messages.empty());
    EXPECT_EQ(d.messages.front(), kSheetSwitchMessage);
    EXPECT_EQ(activeAfter, "Plan");
    EXPECT_EQ(d.sheet->Tabs()->currentIndex(), 0)
        << "the guard took the engine back to the chosen sheet";
}

TEST(RangeDialogOnTheDesktop, TheDialogIsDraggedByItsBody) {
    DesktopHost d;
    auto& driver = *d.driver;
    QPoint before, after;
    driver.Call([&] {
        QWidget* w = d.ui.FormWindow(d.Form());
        before = w->pos();
        // A point of the body between the controls.
        const QPoint start(20, 265);
        QTest::mousePress(w, Qt::LeftButton, {}, start);
        QTest::mouseMove(w, start + QPoint(2, 1));
        QTest::mouseMove(w, start + QPoint(40, 30));
        QTest::mouseRelease(w, Qt::LeftButton, {}, start + QPoint(40, 30));
        after = w->pos();
    });
    driver.Click("btnCancel");
    Capture c;
    c.Run(*d.h);
    EXPECT_EQ(after - before, QPoint(40, 30));
}

TEST(DrawingNamesDialogOnTheDesktop, RemoveTakesThePickedLineAndRemoveAllTheRest) {
    DesktopHost d;
    auto& driver = *d.driver;
    for (const char* name : {"a.dgn", "b.dgn", "c.dgn"}) std::ofstream(d.root / name) << "drawing";
    std::vector<int> counts;
    std::vector<std::string> left;
    const auto count = [&] {
        auto& f = dynamic_cast<MultiDGNsForm&>(d.h->module.Dialog(DialogId::MultiDGNsForm));
        counts.push_back(f.lbDGNNames.ListCount());
        if (f.lbDGNNames.ListCount() > 0) left = f.lbDGNNames.Items();
    };
    for (const char* name : {"a.dgn", "b.dgn", "c.dgn"}) {
        driver.Click("btnAdd");
        driver.ChooseFile((d.root / name).string());
    }
    driver.Call(count);
    // Remove with no line picked says so and takes nothing.
    driver.Click("btnRemove");
    driver.Answer(ui::vbOK);
    driver.Call(count);
    driver.Pick("lbDGNNames", 1);
    driver.Click("btnRemove");
    driver.Call(count);
    driver.Click("btnRemoveAll");
    driver.Call(count);
    driver.Click("btnCancel");
    std::string format = "dgn";
    d.h->app.ExportDGNName(format);
    EXPECT_EQ(counts, (std::vector<int>{3, 3, 2, 0}));
    EXPECT_EQ(d.messages, std::vector<std::string>{"No removed item is selected"});
    ASSERT_EQ(left.size(), 2u);
    EXPECT_NE(left[0].find("a.dgn"), std::string::npos);
    EXPECT_NE(left[1].find("c.dgn"), std::string::npos);
}

TEST(LinkBlockDialogOnTheDesktop, TagsPickedInTheListAreBoundToTheCellsClicked) {
    DesktopHost d;
    auto& driver = *d.driver;
    TagPosArray tags0(0, 1);
    tags0(0) = std::make_shared<TagPos>();
    tags0(0)->tagName = "DOOR";
    tags0(1) = std::make_shared<TagPos>();
    tags0(1)->tagName = "WIDTH";
    std::vector<std::string> lines;
    driver.Click("btnBrowseExcel");
    driver.ChooseFile(kBook);
    driver.Wait(300);
    // The Block ID cell, then each tag: its line picked, its cell clicked, Update.
    driver.Call([&] { d.ClickCell(10, 1); });
    driver.Click("btnUpdate1");
    driver.Pick("lbTags", 1);
    driver.Call([&] { d.ClickCell(10, 2); });
    driver.Click("btnUpdate");
    driver.Pick("lbTags", 0);
    driver.Call([&] { d.ClickCell(1, 1); });
    driver.Click("btnUpdate");
    driver.Call([&] {
        auto& f = dynamic_cast<MakeBlockForm&>(d.h->module.Dialog(DialogId::MakeBlockForm));
        lines = f.lbTags.Items();
    });
    driver.Click("btnMake");
    TagPosArray tags1;
    std::string file, sheet, qvPath = d.root.string();
    EXPECT_EQ(d.h->app.MakeBlock(tags0, tags1, file, sheet, qvPath), True);
    EXPECT_TRUE(d.messages.empty()) << ::testing::PrintToString(d.messages);
    EXPECT_EQ(lines, (std::vector<std::string>{"DOOR\tA\t1\tDoor", "WIDTH\tB\t10\t909"}));
    EXPECT_EQ(sheet, "Plan");
    ASSERT_EQ(tags1.Lower(), 0);
    ASSERT_EQ(tags1.Upper(), 1);
    EXPECT_EQ(tags1(0)->offsetRow, -9) << "A1 from the Block ID cell A10";
    EXPECT_EQ(tags1(0)->offsetCol, 0);
    EXPECT_EQ(tags1(1)->offsetRow, 0) << "B10 from A10";
    EXPECT_EQ(tags1(1)->offsetCol, 1);
}

TEST(DialogsOnTheDesktop, TheCloseBoxCancelsAndExportHasNone) {
    DesktopHost d;
    auto& driver = *d.driver;
    driver.Call([&] { d.ui.FormWindow(d.Form())->close(); });
    Capture c;
    EXPECT_EQ(c.Run(*d.h), False) << "the close box cancels the range import";
    EXPECT_FALSE(d.Form().IsLoaded());
    driver.Call([&] { d.ui.FormWindow(d.h->module.Dialog(DialogId::DistributeForm))->close(); });
    Integer r1 = 0, r2 = 0, rn = 0, c1 = 0, c2 = 0, cn = 0;
    std::string templatePath, outputPath, excelPath, sheetName, dwgdgn = "dwg",
                                                                qv = d.root.string();
    EXPECT_EQ(d.h->app.Populate(r1, r2, rn, c1, c2, cn, templatePath, outputPath, excelPath,
                                sheetName, dwgdgn, qv),
              False)
        << "the close box cancels Populate";
    bool closeBox = true;
    driver.Call([&] {
        closeBox = d.ui.FormWindow(d.h->module.Dialog(DialogId::MultiDGNsForm))
                       ->windowFlags()
                       .testFlag(Qt::WindowCloseButtonHint);
    });
    driver.Click("btnCancel");
    std::string format = "dgn";
    d.h->app.ExportDGNName(format);
    EXPECT_FALSE(closeBox) << "the export is left through Export or Cancel only";
}

// Every label and frame of the batch dialogs, with its text whole and apart from the others.
TEST(DialogsOnTheDesktop, BatchDialogsShowTheirLabelsAndFrames) {
    struct Case {
        DialogId id;
        std::set<std::string> labels, frames;
    };
    const std::vector<Case> cases = {
        {DialogId::DistributeForm,
         {"Populate Excel Data", "File : ", "Sheet:", "Column", "Row", "First Drawing Name",
          "Second  Drawing Name", "Last Drawing Name", "Template Drawing", "Output Directory"},
         {"Excel Data", "Drawing Data"}},
        {DialogId::MultiDGNsForm,
         {" Export Drawing Names to Excel", "File : ", "Sheet:", "Column", "Row", "Start Cell"},
         {"Selected Drawing Names", "Export to Excel Destination"}},
    };
    DesktopHost d;
    auto& driver = *d.driver;
    for (const auto& k : cases) {
        std::set<std::string> labels, frames;
        driver.Call([&] {
            QWidget* w = d.ui.FormWindow(d.h->module.Dialog(k.id));
            std::vector<QWidget*> controls;
            for (auto* label : w->findChildren<QLabel*>()) {
                labels.insert(label->text().toStdString());
                EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width())
                    << "cut off: " << label->text().toStdString();
            }
            for (auto* frame : w->findChildren<QGroupBox*>()) {
                frames.insert(frame->title().toStdString());
            }
            for (auto* c : w->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                if (!qobject_cast<QGroupBox*>(c) && c->isVisible()) controls.push_back(c);
            }
            for (std::size_t i = 0; i < controls.size(); ++i) {
                for (std::size_t j = i + 1; j < controls.size(); ++j) {
                    EXPECT_FALSE(controls[i]->geometry().intersects(controls[j]->geometry()))
                        << controls[i]->objectName().toStdString() << " over "
                        << controls[j]->objectName().toStdString();
                }
            }
        });
        driver.Click("btnCancel");
        Integer r1 = 0, r2 = 0, rn = 0, c1 = 0, c2 = 0, cn = 0;
        std::string templatePath, outputPath, excelPath, sheetName, dwgdgn = "dwg",
                                                                    qv = d.root.string();
        if (k.id == DialogId::DistributeForm) {
            d.h->app.Populate(r1, r2, rn, c1, c2, cn, templatePath, outputPath, excelPath,
                              sheetName, dwgdgn, qv);
        } else {
            d.h->app.ExportDGNName(dwgdgn);
        }
        EXPECT_EQ(labels, k.labels);
        EXPECT_EQ(frames, k.frames);
    }
}

// The update's bar, seen at every change of its position on two showings of the reused
// dialog: there, filling its control, at the control's position.
TEST(DialogsOnTheDesktop, TheProgressBarFillsItsControlOnEveryShowing) {
    DesktopHost d;
    auto& form = dynamic_cast<DeepUpdateForm&>(d.h->module.Dialog(DialogId::DeepUpdateForm));
    for (int showing = 1; showing <= 2; ++showing) {
        std::vector<std::string> faults;
        int samples = 0;
        Long last = -1;
        bool full = false;
        form.ProgressBar1.PropertyChanged = [&](const std::string& name) {
            if (name != "Position" || !form.ProgressBar1.hWnd) return;
            ++samples;
            QWidget* frame = d.ui.Widget(form.ProgressBar1.hWnd);
            auto* bar = frame ? frame->findChild<QProgressBar*>() : nullptr;
            last = form.ProgressBar1.Position();
            full = last == form.ProgressBar1.Max();
            if (!bar || !bar->isVisibleTo(frame)) {
                faults.push_back("no bar");
            } else if (bar->geometry() != frame->rect()) {
                faults.push_back("bar " + std::to_string(bar->width()) + " px in " +
                                 std::to_string(frame->width()));
            } else if (bar->value() != last) {
                faults.push_back("bar at " + std::to_string(bar->value()) + " for " +
                                 std::to_string(last));
            }
        };
        Capture update;
        update.fileName0 = kBook, update.sheetName0 = "Plan";
        update.startRow0 = 1, update.endRow0 = 10, update.startCol0 = 1, update.endCol0 = 3;
        EXPECT_EQ(update.Update(*d.h), True);
        EXPECT_GT(samples, 1) << showing;
        EXPECT_TRUE(full) << showing << ": the bar ends full";
        EXPECT_TRUE(faults.empty()) << showing << ": " << ::testing::PrintToString(faults);
        form.ProgressBar1.PropertyChanged = nullptr;
    }
    // The bar keeps its position within its range, as the common control does.
    const ui::Hwnd bar = d.ui.CreateWindowEx(0, "msctls_progress32", "", 0, 0, 0, 100, 20, 0);
    const auto at = [&](Long message, Long wParam, Long lParam) {
        d.ui.SendMessage(bar, message, wParam, {lParam});
        return qobject_cast<QProgressBar*>(d.ui.Widget(bar))->value();
    };
    EXPECT_EQ(at(PBM_SETPOS, 100, 0), 100);
    EXPECT_EQ(at(PBM_SETRANGE32, 0, 50), 50) << "a new range pulls the position in";
    EXPECT_EQ(at(PBM_SETPOS, 80, 0), 50) << "a position past the end is the end";
    d.ui.DestroyWindow(bar);
}

}  // namespace
}  // namespace tbln

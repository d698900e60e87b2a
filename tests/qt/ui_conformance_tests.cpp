// The same dialog scenarios on every ui:: adapter: the scripted one and the desktop
// one (through real widgets on the offscreen platform) must raise the same model
// events and return the same results.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <thread>

#include "adapters/qt/qt_ui.hpp"
#include "adapters/scripted/scripted_ui.hpp"
#include "qt/qt_driver.hpp"

namespace tbln {
namespace {

std::string S(const QString& s) {
    return s.toStdString();
}

// A dialog with one control of each kind; every event is logged.
class Probe : public ui::Form {
  public:
    explicit Probe(ui::Ui& ui) : ui::Form("Probe"), ui_(ui) {
        Caption = "Probe";
        Width = 6000;
        Height = 4000;
        tb.Move(120, 120, 2400, 315);
        cb.Move(120, 540, 2400, 315);
        lb.Move(120, 960, 2400, 900);
        chk.Move(120, 1980, 2400, 315);
        btnWork.Move(2760, 120, 1200, 375);
        btnMsg.Move(2760, 600, 1200, 375);
        btnFile.Move(2760, 1080, 1200, 375);
        btnOK.Move(2760, 2400, 1200, 375);
        btnCancel.Move(4080, 2400, 1200, 375);
        btnOK.SetCaption("OK");
        btnOK.SetDefault(true);
        btnCancel.SetCaption("Cancel");
        btnCancel.SetCancel(true);
        chk.SetCaption("Check");
        for (const char* item : {"one", "two", "three"}) cb.AddItem(item);
        tb.Change = [this] { log.push_back("tb:" + tb.Text()); };
        cb.Click = [this] {
            log.push_back("cb:" + std::to_string(cb.ListIndex()) + ":" + cb.Text());
        };
        cb.Change = [this] { log.push_back("cb-text:" + cb.Text()); };
        lb.Click = [this] { log.push_back("lb:" + std::to_string(lb.ListIndex())); };
        chk.Click = [this] { log.push_back("chk:" + std::to_string(chk.Value())); };
        btnOK.Click = [this] {
            log.push_back("ok");
            Unload();
        };
        btnCancel.Click = [this] {
            log.push_back("cancel");
            cancelled = true;
            Unload();
        };
        btnWork.Click = [this] {
            log.push_back("work");
            // A long job that lets events run, as the import does; bounded in time.
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (!cancelled && std::chrono::steady_clock::now() < end) {
                ui_.DoEvents();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            log.push_back(cancelled ? "work cancelled" : "work done");
        };
        btnMsg.Click = [this] {
            log.push_back("answer:" + std::to_string(ui_.MsgBox(
                                          "Go on?", ui::vbYesNoCancel | ui::vbQuestion, "Probe")));
        };
        btnFile.Click = [this] {
            ui::FileDialogRequest r;
            r.title = "Pick";
            r.filter = "Workbooks|*.xlsx|All|*.*";
            log.push_back(ui_.GetOpenFileName(r) ? "file:" + r.fileName : "file cancelled");
        };
        timer.SetInterval(100);
        timer.SetEnabled(false);
        timer.Tick = [this] {
            log.push_back("tick");
            if (++ticks == 3) timer.SetEnabled(false);
        };
    }
    void Form_Load() override {
        lb.Clear();
        for (const char* item : {"a\t1", "b\t2"}) lb.AddItem(item);
        log.push_back("load");
    }
    void Form_Unload() override { log.push_back("unload"); }

    ui::TextBox tb{*this, "tb"};
    ui::ComboBox cb{*this, "cb"};
    ui::ListBox lb{*this, "lb"};
    ui::CheckBox chk{*this, "chk"};
    ui::CommandButton btnWork{*this, "btnWork"};
    ui::CommandButton btnMsg{*this, "btnMsg"};
    ui::CommandButton btnFile{*this, "btnFile"};
    ui::CommandButton btnOK{*this, "btnOK"};
    ui::CommandButton btnCancel{*this, "btnCancel"};
    ui::Timer timer{*this, "timer"};
    std::vector<std::string> log;
    bool cancelled = false;
    int ticks = 0;

  private:
    ui::Ui& ui_;
};

struct Scenario {
    const char* name;
    std::function<void(UiDriver&, Probe&)> script;
    std::vector<std::string> expected;
};

class Conformance : public ::testing::TestWithParam<std::tuple<bool, int>> {};

const std::vector<Scenario>& Scenarios() {
    static const std::vector<Scenario> all = {
        {"type, pick and click",
         [](UiDriver& d, Probe&) {
             d.Type("tb", "hello");
             d.Pick("cb", 1);
             d.Pick("lb", 1);
             d.Click("chk");
             d.Click("btnOK");
         },
         {"load", "tb:hello", "cb:1:two", "lb:1", "chk:1", "ok", "unload"}},
        {"typing into the combo box's edit part",
         [](UiDriver& d, Probe&) {
             d.Type("cb", "free text");
             d.Click("btnOK");
         },
         {"load", "cb-text:free text", "ok", "unload"}},
        {"timer ticks until the handler stops it",
         [](UiDriver& d, Probe& p) {
             d.Call([&p] { p.timer.SetEnabled(true); });
             d.Wait(1000);
             d.Click("btnOK");
         },
         {"load", "tick", "tick", "tick", "ok", "unload"}},
        {"cancel in the middle of a loop",
         [](UiDriver& d, Probe&) {
             d.Click("btnWork");
             d.ClickDuringWork("btnCancel");
         },
         {"load", "work", "cancel", "unload", "work cancelled"}},
        {"message box answers",
         [](UiDriver& d, Probe&) {
             d.Click("btnMsg");
             d.Answer(ui::vbNo);
             d.Click("btnMsg");
             d.Answer(ui::vbCancel);
             d.Click("btnOK");
         },
         {"load", "answer:7", "answer:2", "ok", "unload"}},
        {"a cancelled chooser",
         [](UiDriver& d, Probe&) {
             d.Click("btnFile");
             d.CancelChooser();
             d.Click("btnOK");
         },
         {"load", "file cancelled", "ok", "unload"}},
        {"disabled controls take no clicks",
         [](UiDriver& d, Probe& p) {
             d.Call([&p] { p.btnOK.Enabled = false; });
             d.Click("btnOK");
             d.Click("btnCancel");
         },
         {"load", "cancel", "unload"}},
        {"Esc presses Cancel",
         [](UiDriver& d, Probe&) { d.Key("Escape"); },
         {"load", "cancel", "unload"}},
        {"Enter presses the default button",
         [](UiDriver& d, Probe&) { d.Key("Enter"); },
         {"load", "ok", "unload"}},
    };
    return all;
}

TEST_P(Conformance, SameEventsOnEveryAdapter) {
    const auto [desktop, index] = GetParam();
    const Scenario& scenario = Scenarios()[static_cast<std::size_t>(index)];
    auto driver = desktop ? MakeQtDriver() : MakeScriptedDriver();
    Probe probe(driver->Ui());
    scenario.script(*driver, probe);
    driver->Run(probe);
    EXPECT_EQ(probe.log, scenario.expected) << scenario.name;
    EXPECT_FALSE(probe.IsLoaded());
}

INSTANTIATE_TEST_SUITE_P(Adapters, Conformance,
                         ::testing::Combine(::testing::Bool(), ::testing::Range(0, 9)),
                         [](const ::testing::TestParamInfo<std::tuple<bool, int>>& param) {
                             return std::string(std::get<0>(param.param) ? "Desktop" : "Scripted") +
                                    std::to_string(std::get<1>(param.param));
                         });

// A form whose load raises an error: both adapters close it and raise the error to the caller.
class Failing : public ui::Form {
  public:
    Failing() : ui::Form("Failing") {}
    ui::CommandButton btn{*this, "btn"};
    void Form_Load() override {
        btn.Click = [] { throw std::runtime_error("handler failed"); };
    }
};

TEST(ConformanceErrors, AnErrorEscapingAHandlerClosesTheDialogAndReachesTheCaller) {
    for (const bool desktop : {false, true}) {
        auto driver = desktop ? MakeQtDriver() : MakeScriptedDriver();
        Failing form;
        form.btn.Move(120, 120, 1200, 375);
        driver->Click("btn");
        EXPECT_THROW(driver->Run(form), std::runtime_error) << desktop;
        EXPECT_FALSE(form.IsLoaded());
    }
}

TEST(NameFilters, BecomeQtFiltersAndEveryWorkbookFormatIsOffered) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"Excel Files|*.xls;*.xlsx|All Files|*.*",
         {"Excel Files (*.xls *.xlsx *.xlsm)", "All Files (*.*)"}},
        {"Excel Files (*.xls), *.xls", {"Excel Files (*.xls *.xlsx *.xlsm)"}},
        {"Text (*.txt),*.txt,All (*.*),*.*", {"Text (*.txt)", "All (*.*)"}},
        {"Excel File  *.xls|*.xls", {"Excel File  *.xls (*.xls *.xlsx *.xlsm)"}},
        {"Word Documents (*.docx)|*.docx|All Files (*.*)|*.*",
         {"Word Documents (*.docx)", "All Files (*.*)"}},
        {"DGN File  *.dgn|*.dgn", {"DGN File  *.dgn (*.dgn)"}},
        {"", {}},
    };
    for (const auto& [filter, expected] : cases)
        EXPECT_EQ(qt::NameFilters(filter), expected) << filter;
}

// The folder a chooser opens in, the file chosen in it (empty: cancelled).
QString OpenIn(qt::QtUi& ui, const std::string& initialDir, const QString& choose) {
    QString dir;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!d) return;
        answer.stop();
        dir = d->directory().absolutePath();
        if (choose.isEmpty()) {
            d->reject();
        } else {
            d->selectFile(choose);
            QMetaObject::invokeMethod(d, "accept");
        }
    });
    answer.start(20);
    ui::FileDialogRequest r;
    r.initialDir = initialDir;
    r.filter = "All|*.*";
    r.flags = 0x1000;
    ui.GetOpenFileName(r);
    return dir;
}

TEST(ChoosersOnTheDesktop, StartInTheLastFolderUsed) {
    const QString root = QDir::tempPath() + "/tbln-choosers-" + QString::number(::getpid());
    QDir().mkpath(root + "/books");
    QFile(root + "/books/a.xlsx").open(QIODevice::WriteOnly);
    qt::QtUi ui;
    EXPECT_EQ(S(OpenIn(ui, S(root), root + "/books/a.xlsx")), S(root));
    EXPECT_EQ(S(OpenIn(ui, S(root), {})), S(root + "/books"))
        << "the first folder again: the last one";
    EXPECT_EQ(S(OpenIn(ui, "", {})), S(root + "/books"));
    EXPECT_EQ(S(OpenIn(ui, "/", {})), "/") << "another folder named is where it opens";
    QDir(root).removeRecursively();
}

// A dialog is modal to the window that opened it, asks for Tahoma, and its close box takes
// the Cancel path (or unloads a form without Cancel).
TEST(DialogsOnTheDesktop, AreModalToTheirOpenerAndTheCloseBoxCancels) {
    for (const bool withCancel : {true, false}) {
        QWidget opener;
        opener.show();
        opener.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&opener));
        auto driver = MakeQtDriver();
        Probe probe(driver->Ui());
        probe.btnCancel.SetCancel(withCancel);
        QWidget* parent = nullptr;
        Qt::WindowModality modality = Qt::NonModal;
        QString family;
        driver->Call([&] {
            QWidget* w = dynamic_cast<qt::QtUi&>(driver->Ui()).FormWindow(probe);
            parent = w->parentWidget();
            modality = w->windowModality();
            family = w->font().family();
            w->close();
        });
        driver->Run(probe);
        EXPECT_EQ(parent, &opener);
        EXPECT_EQ(modality, Qt::WindowModal);
        EXPECT_EQ(family, "Tahoma");
        const std::vector<std::string> expected =
            withCancel ? std::vector<std::string>{"load", "cancel", "unload"}
                       : std::vector<std::string>{"load", "unload"};
        EXPECT_EQ(probe.log, expected);
        EXPECT_FALSE(probe.IsLoaded());
    }
}

}  // namespace
}  // namespace tbln

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

class Conformance : public ::testing::TestWithParam<std::tuple<bool, int>> {};

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
                         ::testing::Combine(::testing::Bool(),
                                            ::testing::Range(0,
                                                             static_cast<int>(Scenarios().size()))),
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

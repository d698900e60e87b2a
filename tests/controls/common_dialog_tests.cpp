// The file-dialog class and the shell's folder chooser.
#include <gtest/gtest.h>

#include <unistd.h>

#include "adapters/shell/shell_application.hpp"
#include "controls/common_dialog.hpp"
#include "platform/shell.hpp"
#include "support/test_platform.hpp"

namespace tbln {
namespace {

using namespace std::string_literals;
using testing::TestPlatform;

// The dialog's owner is the window the product opened it from.
TEST(CommonDialog, OwnerIsTheOpenExcelFileWindow) {
    TestPlatform p;
    p.ui.strictWindows = true;
    EXPECT_EQ(CommonDialog(p.ui, p.ui, p.sys).OwnerHwnd(), 0);
    const ui::Hwnd owner = p.ui.AddWindow("Open Excel File");
    EXPECT_EQ(CommonDialog(p.ui, p.ui, p.sys).OwnerHwnd(), owner);
}

TEST(CommonDialog, FilterAndTitleConversions) {
    TestPlatform p;
    CommonDialog d(p.ui, p.ui, p.sys);
    struct Case {
        std::string set, stored, read;
    } cases[] = {
        {"Drawings|*.dgn", "Drawings\0*.dgn\0"s, "Drawings|*.dgn"},
        {"DGN File  *.dgn\0*.dgn\0"s, "DGN File  *.dgn\0*.dgn\0\0"s, "DGN File  *.dgn|*.dgn|"},
        {"A\0*.a\0\0"s, "A\0*.a\0\0"s, "A|*.a|"},
        {"A|*.a|B|*.b", "A\0*.a\0B\0*.b\0"s, "A|*.a|B|*.b"},
    };
    for (const auto& c : cases) {
        d.SetFilter(c.set);
        EXPECT_EQ(d.StoredFilter(), c.stored) << c.read;
        EXPECT_EQ(d.Filter(), c.read);
    }
    d.SetTitle("Open a DGN file");
    d.SetTitle("");
    EXPECT_EQ(d.Title(), "Open a DGN file");
}

TEST(CommonDialog, FlagTable) {
    TestPlatform p;
    struct Case {
        bool hide, multi, exist;
        Long open, save;
    } cases[] = {
        {true, true, true, 0x81204, 0x1000},  {true, true, false, 0x80204, 0},
        {true, false, true, 0x1004, 0x1000},  {true, false, false, 0x4, 0},
        {false, true, true, 0x81200, 0x1000}, {false, true, false, 0x80200, 0},
        {false, false, true, 0x1000, 0x1000}, {false, false, false, 0, 0},
    };
    for (const auto& c : cases) {
        CommonDialog d(p.ui, p.ui, p.sys);
        d.SetHideReadOnly(c.hide);
        d.SetMultiSelect(c.multi);
        d.SetFileMustExist(c.exist);
        EXPECT_EQ(d.OpenFlags(), c.open) << c.hide << c.multi << c.exist;
        EXPECT_EQ(d.SaveFlags(), c.save);
    }
}

TEST(CommonDialog, ResultIsThePathOrTheFolderAndNamesSeparatedByNul) {
    TestPlatform p;
    CommonDialog d(p.ui, p.ui, p.sys);
    d.SetTitle("Pick");
    d.SetFilter("DWG File  *.dwg\0*.dwg\0"s);
    struct Case {
        bool multi;
        std::optional<std::string> choice;
        std::string result;
    } cases[] = {
        {false, "/w/plan7.dgn", "/w/plan7.dgn"},
        {false, "  /w/spaced.dgn  ", "/w/spaced.dgn  "},  // only the spaces around the buffer go
        {true, "/w/plan7.dgn", "/w/plan7.dgn\0"s},
        {true, "/w\0a.dgn\0b.dgn\0c.dgn"s, "/w\0a.dgn\0b.dgn\0c.dgn\0"s},
        {true, std::nullopt, ""},
        {false, std::string(5000, 'x'), ""},  // longer than the chooser's buffer
    };
    for (const auto& c : cases) {
        d.SetMultiSelect(c.multi);
        p.ui.PushFileChoice(c.choice);
        EXPECT_EQ(d.ShowOpen(), c.result);
    }
    const auto& call = p.ui.Journal().back();
    EXPECT_EQ(call.function, "GetOpenFileName");
    EXPECT_EQ(call.text, "Pick");
    p.ui.PushFileChoice("/w/out.dwg");
    d.SetFileMustExist(true);
    EXPECT_EQ(d.ShowSave(), "/w/out.dwg");
    EXPECT_EQ(p.ui.Journal().back().function, "GetSaveFileName");
    EXPECT_EQ(p.ui.Journal().back().args[1], 0x1000);
}

// The request the chooser gets: the filter as description|pattern pairs.
class RecordingUi : public scripted::ScriptedUi {
  public:
    bool GetOpenFileName(ui::FileDialogRequest& request) override {
        last = request;
        return false;
    }
    ui::FileDialogRequest last;
};

TEST(CommonDialog, ChooserGetsOwnerTitleFilterAndFolder) {
    RecordingUi ui;
    posix::PosixSystem sys("/tmp");
    CommonDialog d(ui, ui, sys);
    d.SetOwnerHwnd(77);
    d.SetFilter("DGN File  *.dgn\0*.dgn\0"s);
    d.SetInitialDir("/drawings");
    EXPECT_EQ(d.ShowOpen(), "");
    EXPECT_EQ(ui.last.owner, 77);
    EXPECT_EQ(ui.last.title, "Open File");
    EXPECT_EQ(ui.last.filter, "DGN File  *.dgn|*.dgn");
    EXPECT_EQ(ui.last.initialDir, "/drawings");
}

TEST(ShellApplication, BrowseForFolderGivesTheFolderOrNothing) {
    TestPlatform p;
    shell::RegisterShellApplication(p.objects, p.ui);
    EXPECT_THROW(p.objects.GetObject("Shell.Application"), RuntimeError);
    auto sh = As<shell::Shell>(p.objects.CreateObject("shell.application"));
    p.ui.PushFolderChoice("/out/drawings");
    p.ui.PushFolderChoice(std::nullopt);
    auto folder = sh->BrowseForFolder(5, "Select a folder to output drawing files", 81, 0);
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->Items()->Item()->Path(), "/out/drawings");
    EXPECT_EQ(p.ui.Journal().back().text, "Select a folder to output drawing files");
    EXPECT_EQ(p.ui.Journal().back().args, std::vector<Long>{5});
    EXPECT_FALSE(sh->BrowseForFolder(0, "t", 81, 0));
}

}  // namespace
}  // namespace tbln

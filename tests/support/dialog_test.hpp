// A test fixture for the spreadsheet dialogs: the library's module with every dialog
// registered on the test platform, the shell's folder chooser, and helpers that queue
// what a user does: choose files, pick cells in Excel beside the dialog, press buttons.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "adapters/shell/shell_application.hpp"
#include "automation/application.hpp"
#include "library/library.hpp"
#include "support/test_platform.hpp"

namespace tbln::testing {

class DialogTest : public ::testing::Test {
  protected:
    DialogTest() : m(CreateModule(platform.ports())), app(*m) {
        shell::RegisterShellApplication(platform.objects, platform.ui);
    }

    scripted::ScriptedUi& ui() { return platform.ui; }

    // The running embedded Excel (started when none runs).
    std::shared_ptr<excel::Application> Excel() {
        return AttachOrCreate<excel::Application>(platform.objects, "Excel.Application");
    }

    // A copy of a fixture in the test's own folder, for tests that save.
    std::string Copy(const std::string& fixture) {
        const std::string path = work / fixture;
        std::filesystem::copy_file(Fixture(fixture), path,
                                   std::filesystem::copy_options::overwrite_existing);
        return path;
    }

    void Click(const std::string& control) { ui().Push(scripted::Action::Click(control)); }
    void SetText(const std::string& control, const std::string& text) {
        ui().Push(scripted::Action::SetText(control, text));
    }
    void Pick(const std::string& control, int line) {
        ui().Push(scripted::Action::Pick(control, line));
    }
    void Wait(Long ms) { ui().Push(scripted::Action::Wait(ms)); }
    // The user clicks `cell` on Excel's active sheet.
    void SelectCell(const std::string& cell) {
        ui().Push(scripted::Action::Call(
            [this, cell] { Excel()->ActiveSheet()->Range(cell)->Select(); }));
    }
    // Runs `f` at this point of the script, while the dialog is shown.
    void During(std::function<void()> f) { ui().Push(scripted::Action::Call(std::move(f))); }
    // Chooses the workbook through the dialog's Browse button (and a sheet, when given).
    void Browse(const std::string& path, const std::string& sheet = {},
                const std::string& button = "btnBrowseExcel") {
        ui().PushFileChoice(path);
        Click(button);
        if (!sheet.empty()) SetText("cbSheetName", sheet);
    }

    // The texts of the message boxes shown so far.
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& msg : platform.ui.Messages()) texts.push_back(msg.prompt);
        return texts;
    }

    TestPlatform platform;
    TempDir work;
    std::unique_ptr<Module> m;
    Application app;
};

// Tag records with these names (bounds 0 to n - 1, as the host passes them).
inline TagPosArray Tags(const std::vector<std::string>& names, Long lower = 0) {
    TagPosArray tags(lower, lower + static_cast<Long>(names.size()) - 1);
    Long i = lower;
    for (const auto& name : names) {
        auto t = std::make_shared<TagPos>();
        t->tagName = name;
        tags(i++) = t;
    }
    return tags;
}

}  // namespace tbln::testing

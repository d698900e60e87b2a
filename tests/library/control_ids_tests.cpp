// The window identifiers of every dialog's controls (ui::ControlId), as
// docs/windows_controls.md lists them for whoever drives the Win32 dialogs: the document
// must be the one the library's own forms give. TBLN_UPDATE_CONTROL_TABLE=1 rewrites it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "controls/progress_bar.hpp"
#include "library/library.hpp"
#include "support/test_platform.hpp"

namespace tbln {
namespace {

// A control's kind and the window class the Win32 dialogs give it.
std::string Kind(ui::Control& c) {
    if (dynamic_cast<ui::CommandButton*>(&c)) return "button | BUTTON";
    if (dynamic_cast<ui::TextBox*>(&c)) return "text box | EDIT";
    if (dynamic_cast<ui::ComboBox*>(&c)) return "combo box | COMBOBOX";
    if (dynamic_cast<ui::ListBox*>(&c)) return "list box | LISTBOX";
    if (dynamic_cast<ui::CheckBox*>(&c)) return "check box | BUTTON";
    if (dynamic_cast<ui::Frame*>(&c)) return "frame | BUTTON (group box)";
    if (dynamic_cast<ui::Label*>(&c)) return "label | STATIC";
    if (dynamic_cast<ui::Timer*>(&c)) return "timer | (no window; the timer's identifier)";
    if (dynamic_cast<ProgressBar*>(&c))
        return "progress bar | tblnControl, holding msctls_progress32";
    return "control | tblnControl";
}

std::string Table(Module& m) {
    std::ostringstream out;
    out << "# Window identifiers of the dialogs' controls\n\n"
           "On Windows every dialog is a top-level window of class `tblnForm` whose title is the\n"
           "dialog's caption, and every control a child window whose identifier\n"
           "(`GetDlgCtrlID`, `GetDlgItem`) is 1000 plus the control's place among the form's\n"
           "controls. A driver finds a dialog by its caption and a control by the identifier\n"
           "below. This page is written from the forms themselves by\n"
           "tests/library/control_ids_tests.cpp (`TBLN_UPDATE_CONTROL_TABLE=1`), which also\n"
           "checks that it is current.\n";
    for (int i = static_cast<int>(DialogId::CellRangeForm);
         i <= static_cast<int>(DialogId::MakeLUCForm); ++i) {
        ui::Form& form = m.Dialog(static_cast<DialogId>(i));
        out << "\n## " << form.Name() << ": \"" << form.Caption << "\"\n\n"
            << "| Control | Kind | Window class | ID |\n|---|---|---|---|\n";
        for (auto* c : form.Controls())
            out << "| `" << c->Name() << "` | " << Kind(*c) << " | " << ui::ControlId(form, *c)
                << " |\n";
    }
    return out.str();
}

TEST(ControlIds, TheDocumentedTableIsTheFormsOwn) {
    testing::TestPlatform platform;
    auto m = CreateModule(platform.ports());
    const std::string table = Table(*m);
    const std::string doc = std::string(TBLN_SOURCE_DIR) + "/docs/windows_controls.md";
    if (const char* update = std::getenv("TBLN_UPDATE_CONTROL_TABLE"); update && *update == '1') {
        std::ofstream(doc + ".tmp", std::ios::binary) << table;
        std::rename((doc + ".tmp").c_str(), doc.c_str());
    }
    EXPECT_EQ(testing::ReadFile(doc), table)
        << doc << " is out of date: run this test with TBLN_UPDATE_CONTROL_TABLE=1";
}

}  // namespace
}  // namespace tbln

#include "common/utilities.hpp"

#include "core/a1.hpp"
#include "core/error.hpp"
#include "core/unicode.hpp"

namespace tbln {

std::shared_ptr<excel::Application> AttachExcel(ui::UserInterface& ui, ObjectServer& objects) {
    try {
        return AttachOrCreate<excel::Application>(objects, "Excel.Application");
    } catch (const RuntimeError&) {
        ui.MsgBox("There is no Excel installed on your PC     ", ui::vbInformation, "Error");
        return nullptr;
    }
}

bool OpenExcelFile(ui::UserInterface& ui, ObjectServer& objects, const std::string& fileName,
                   bool visible, std::shared_ptr<excel::Application>& xlApp,
                   std::shared_ptr<excel::Workbook>& xlBook) {
    xlApp = AttachExcel(ui, objects);
    if (!xlApp) return false;
    try {
        xlApp->SetVisible(visible);
        auto books = xlApp->Workbooks();
        const Long count = books->Count();
        for (Long i = 1; i <= count; ++i) {
            auto book = books->Item(i);
            if (book->FullName() == fileName) {
                xlBook = book;
                xlBook->Activate();
                return true;
            }
        }
        xlBook = books->Open(fileName);
        return true;
    } catch (const RuntimeError& e) {
        ui.MsgBox(e.Description(), ui::vbInformation, "Error On Opening Excel File");
        return false;
    }
}

bool OpenExcelFile(const Ports& ports, const std::string& fileName, bool visible,
                   std::shared_ptr<excel::Application>& xlApp,
                   std::shared_ptr<excel::Workbook>& xlBook) {
    return OpenExcelFile(ports.ui, ports.objects, fileName, visible, xlApp, xlBook);
}

std::string ColumnLetters(Integer col) {
    if (col < 1) Raise(err::kInvalidCall);
    return a1::ColumnLetters(col);
}

Integer ColumnNumber(ui::UserInterface& ui, std::string& letters) {
    for (auto& ch : letters) {
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    }
    const std::u32string chars = DecodeUtf8(letters);
    const auto code = [&](std::size_t i) {
        return CheckedInteger(static_cast<long long>(chars[i]));
    };
    switch (chars.size()) {
        case 0:
            return 0;
        case 1:
            return SubInteger(code(0), 64);
        case 2:
            return AddInteger(MulInteger(SubInteger(code(0), 64), 26), SubInteger(code(1), 64));
        default:
            ui.MsgBox("The column number should be less than 3 characters     ", ui::vbInformation,
                      "Error");
            return -1;
    }
}

Long SetWindowTopMost(ui::WindowManager& ui, ui::Hwnd hwnd, Boolean topmost) {
    return ui.SetWindowPos(hwnd, topmost == True ? ui::HWND_TOPMOST : ui::HWND_NOTOPMOST, 0, 0, 0,
                           0, ui::SWP_NOMOVE | ui::SWP_NOSIZE);
}

void CenterForm(ui::WindowManager& ui, ui::Form& form) {
    // Each difference is rounded to a whole number before the integer halving, which
    // truncates towards zero.
    const auto half = [](double difference) { return ToLong(difference) / 2; };
    form.Left = half(static_cast<double>(ui.ScreenWidth()) - form.Width);
    form.Top = half(static_cast<double>(ui.ScreenHeight()) - form.Height);
}

void MaximizeWindow(ui::WindowManager& ui, const std::string& title) {
    const ui::Hwnd hwnd = ui.FindWindow("", title);
    ui::WindowPlacement placement;
    placement.length = 44;
    ui.GetWindowPlacement(hwnd, placement);
    placement.showCmd = ui::SW_SHOWMAXIMIZED;
    ui.SetWindowPlacement(hwnd, placement);
}

void DisableCloseButton(ui::WindowManager& ui, ui::Hwnd hwnd) {
    const Long menu = ui.GetSystemMenu(hwnd, false);
    ui.RemoveMenu(menu, 6, ui::MF_BYPOSITION);
    ui.RemoveMenu(menu, 5, ui::MF_BYPOSITION);
}

std::optional<std::string> LastPathPiece(const std::string& path) {
    if (path.empty()) return std::nullopt;
    const auto cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace tbln

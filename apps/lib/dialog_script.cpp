#include "apps/lib/dialog_script.hpp"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <utility>

#include "core/error.hpp"
#include "platform/excel.hpp"

namespace tbln::script {

void OpenWorkbook(scripted::ScriptedUi& ui, const std::string& file, const std::string& sheet,
                  const std::string& browseButton) {
    // A file chooser answers the full path, whatever the user typed into it; the dialogs
    // judge the path they show (a short one is taken for none chosen).
    ui.PushFileChoice(file.empty() ? file
                                   : std::filesystem::absolute(file).lexically_normal().string());
    ui.Push(scripted::Action::Click(browseButton));
    if (!sheet.empty()) ui.Push(scripted::Action::SetText("cbSheetName", sheet));
}

void SelectCell(scripted::ScriptedUi& ui, ObjectServer& objects, const std::string& cell) {
    ui.Push(CellClick(objects, cell));
}

scripted::Action CellClick(ObjectServer& objects, const std::string& cell) {
    return scripted::Action::Call([&objects, cell] {
        // No workbook open: there is nothing to click on, and the dialog's own
        // message for the next button tells the user so.
        std::shared_ptr<excel::Application> app;
        try {
            app = As<excel::Application>(objects.GetObject("Excel.Application"));
        } catch (const RuntimeError&) {
            return;
        }
        if (!app->ActiveWorkbook()) return;
        app->ActiveSheet()->Range(cell)->Select();
    });
}

void RangeDialog(scripted::ScriptedUi& ui, const std::string& file, const std::string& sheet,
                 const std::string& range) {
    OpenWorkbook(ui, file, sheet, "btnBrowse");
    if (!range.empty()) {
        const auto colon = range.find(':');
        const std::string first = range.substr(0, colon);
        const std::string last = colon == std::string::npos ? first : range.substr(colon + 1);
        const auto split = [&](const std::string& cell) {
            const auto digit = cell.find_first_of("0123456789");
            if (digit == 0 || digit == std::string::npos ||
                cell.find_first_not_of("0123456789", digit) != std::string::npos) {
                throw std::invalid_argument("range " + range + " is not a range like A1:H20");
            }
            return std::pair{cell.substr(0, digit), cell.substr(digit)};
        };
        const auto [c1, r1] = split(first);
        const auto [c2, r2] = split(last);
        ui.Push(scripted::Action::SetText("topLeftCol", c1));
        ui.Push(scripted::Action::SetText("topLeftRow", r1));
        ui.Push(scripted::Action::SetText("botRightCol", c2));
        ui.Push(scripted::Action::SetText("botRightRow", r2));
    }
    ui.Push(scripted::Action::Click("btnOK"));
}

void QueueAnswers(scripted::ScriptedUi& ui, ObjectServer& objects,
                  const std::vector<scripted::AnswerStep>& steps) {
    using Kind = scripted::AnswerStep::Kind;
    for (const auto& step : steps) {
        std::optional<scripted::Action> action;
        switch (step.kind) {
            case Kind::File:
                ui.PushFileChoice(step.path);
                break;
            case Kind::Folder:
                ui.PushFolderChoice(step.path);
                break;
            case Kind::Answer:
                ui.PushAnswer(step.index);
                break;
            case Kind::Cell:
                action = CellClick(objects, step.text);
                break;
            case Kind::Set:
                action = scripted::Action::SetText(step.control, step.text);
                break;
            case Kind::Click:
                action = scripted::Action::Click(step.control);
                break;
            case Kind::Pick:
                action = scripted::Action::Pick(step.control, step.index);
                break;
        }
        if (action) {
            action->origin = step.origin;
            action->thinkMs = kAnswerStepMs;
            ui.Push(std::move(*action));
        }
    }
}

void UseAnswers(scripted::ScriptedUi& ui, ObjectServer& objects, sys::System& sys,
                const std::string& path) {
    std::string text;
    try {
        // One byte beyond the limit is enough for the parser to refuse a file too large.
        const auto file = sys.OpenFile(path);
        char buffer[4096];
        while (text.size() <= scripted::kMaxAnswersFileBytes) {
            const std::size_t n = file->Read(buffer, sizeof buffer);
            if (n == 0) break;
            text.append(buffer, n);
        }
    } catch (const RuntimeError& e) {
        throw scripted::AnswersError(path, 0, "cannot be read: " + e.Description());
    }
    QueueAnswers(ui, objects, scripted::ParseAnswers(text, path));
    // A message box the file has no answer for is answered as a person who walks away
    // would: Cancel, else No, so that a warning before the workbook is overwritten never
    // goes ahead unless the file says so; a box with neither takes its default button.
    ui.decide = [](const std::string&, int style, const std::string&) {
        const auto buttons = ui::MessageButtons(style);
        for (const int cautious : {ui::vbCancel, ui::vbNo}) {
            if (std::find(buttons.begin(), buttons.end(), cautious) != buttons.end()) {
                return cautious;
            }
        }
        return ui::DefaultAnswer(style);
    };

    const char* messages = std::getenv("TBLN_MESSAGES");
    if (!messages || !*messages) return;
    // Every line so far: the file is rewritten whole, so that it is never half written.
    auto lines = std::make_shared<std::string>();
    const std::string target = messages;
    const auto write = [&sys, lines, target](const std::string& title, const std::string& line) {
        *lines += scripted::MessageLine(title, line) + "\n";
        sys.WriteFile(target, *lines);
    };
    try {
        sys.WriteFile(target, "");
    } catch (const RuntimeError& e) {
        throw scripted::AnswersError(
            target, 0, "the messages file (TBLN_MESSAGES) cannot be written: " + e.Description());
    }
    ui.onMessage = [write, before = ui.onMessage](const scripted::Message& m) {
        if (before) before(m);
        write(m.title, m.prompt);
    };
}

}  // namespace tbln::script

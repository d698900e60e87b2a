// How a caller drives the spreadsheet dialogs the way a drafter would: choose the
// workbook in the file chooser, pick the sheet in the sheet box, click a cell in the
// spreadsheet beside the dialog, type the range, press buttons. Each helper queues
// those steps on the scripted user interface before the entry point shows its dialog.
#pragma once

#include <string>

#include <vector>

#include "adapters/scripted/answers_file.hpp"
#include "adapters/scripted/scripted_ui.hpp"
#include "platform/objects.hpp"
#include "platform/sys.hpp"

namespace tbln::script {

// Queues: the file chooser answers `file` (as its full path, as a chooser does),
// `browseButton` is pressed, and when a sheet is given, the sheet box is set to it.
void OpenWorkbook(scripted::ScriptedUi& ui, const std::string& file, const std::string& sheet,
                  const std::string& browseButton);

// Queues a click on `cell` of Excel's active sheet (the user picking a cell beside the
// dialog); nothing happens when no workbook is open.
void SelectCell(scripted::ScriptedUi& ui, ObjectServer& objects, const std::string& cell);
// That click as an action, to queue later.
scripted::Action CellClick(ObjectServer& objects, const std::string& cell);

// Queues the range-import dialog: workbook, sheet, the corners of `range` ("A1:H20",
// one cell, or empty for the used area), then OK. Raises std::invalid_argument naming
// the range when it is not a range like A1:H20.
void RangeDialog(scripted::ScriptedUi& ui, const std::string& file, const std::string& sheet,
                 const std::string& range);

// The virtual time a step of an answers file waits for (kAnswerStepMs) while the dialog's
// timers run, so that a dialog that closes itself once its work is done (the import
// dialog after OK) has closed before the next step, which is then the next dialog's.
inline constexpr Long kAnswerStepMs = 1000;

// Queues the steps of an answers file: choices on the choosers' queues, answers on the
// message boxes' queue, the rest as actions in order (a cell step as SelectCell does),
// each after kAnswerStepMs.
void QueueAnswers(scripted::ScriptedUi& ui, ObjectServer& objects,
                  const std::vector<scripted::AnswerStep>& steps);

// Answers the dialogs from the answers file at `path`, read through `sys`: its steps are
// queued, and when the environment variable TBLN_MESSAGES names a file, every message
// box shown from now on (and every note about a step that did not fit its dialog) is
// written to that file, one MessageLine each, the file rewritten whole (through a
// temporary file) after each; it is created empty at once. Raises
// scripted::AnswersError naming the file when it cannot be read or holds a malformed
// line, before anything is queued.
void UseAnswers(scripted::ScriptedUi& ui, ObjectServer& objects, sys::System& sys,
                const std::string& path);

}  // namespace tbln::script

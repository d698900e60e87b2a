// Answers files: what a person would do in the dialogs, written down one step a line in
// the dialogs' own control names, so that an unattended run (a macro, a script, a test)
// answers every dialog without showing one. The same file drives every host.
//
//   file PATH            the next file chooser answers PATH; "file" alone cancels it
//   folder PATH          the next folder chooser answers PATH; "folder" alone cancels it
//   set CONTROL TEXT     types TEXT into a text or combo box ("set CONTROL" empties it)
//   click CONTROL        presses a button (a check box toggles)
//   pick CONTROL INDEX   selects line INDEX of a list or combo box, 0 for the first
//   cell A1              the user clicks that cell of the spreadsheet's active sheet
//   answer ok|cancel|yes|no   the next message box is answered with that button
//
// Words are separated by blanks; PATH and TEXT are the rest of the line after the one
// blank that follows the word before them, kept as written (spaces inside and at the end
// included). Step words and answers may be in any case; control names are spelled as the
// dialog declares them. Blank lines and lines whose first non-blank character is "#"
// are skipped; a "#" elsewhere is part of the line. A Windows line end (CR LF) and a
// leading UTF-8 byte order mark are accepted.
//
// Here is only the grammar: the steps are queued on the scripted user interface by the
// library's session helpers (script::QueueAnswers), which know what a cell click is.
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tbln::scripted {

// The largest answers file read: a dialog takes a few dozen steps.
inline constexpr std::size_t kMaxAnswersFileBytes = std::size_t{1} << 20;

struct AnswerStep {
    enum class Kind { File, Folder, Set, Click, Pick, Cell, Answer };
    Kind kind = Kind::Click;
    std::string control;              // Set, Click, Pick
    std::string text;                 // Set: the text; Cell: the cell as written
    std::optional<std::string> path;  // File, Folder: nullopt cancels the chooser
    int index = 0;                    // Pick: the 0-based line; Answer: the button (vbOK...)
    std::string origin;               // "FILE: line N", for messages about the step
};

// A malformed answers file: the file, the 1-based line (0 when the file as a whole is
// at fault) and the problem; what() reads "FILE: line N: PROBLEM".
class AnswersError : public std::runtime_error {
  public:
    AnswersError(std::string file, std::size_t line, std::string problem);
    const std::string& File() const noexcept { return file_; }
    std::size_t Line() const noexcept { return line_; }
    const std::string& Problem() const noexcept { return problem_; }

  private:
    std::string file_;
    std::size_t line_;
    std::string problem_;
};

// Parses the text of an answers file; `file` names it in origins and errors. Raises
// AnswersError at the first malformed line, or when the text is longer than
// kMaxAnswersFileBytes.
std::vector<AnswerStep> ParseAnswers(std::string_view text, const std::string& file);

// Whether `cell` is one cell in A1 form: one to three letters, then a row from 1.
bool IsA1Cell(std::string_view cell);

// One line of a messages file for a message box: "TITLE<TAB>TEXT" with backslash, tab,
// carriage return and line feed written as \\, \t, \r and \n, so that every message
// keeps to one line. A note about a step that did not fit its dialog has the title
// "answers" (kNoteTitle).
std::string MessageLine(const std::string& title, const std::string& text);

}  // namespace tbln::scripted

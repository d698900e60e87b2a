// Shared utilities of every dialog: opening (or finding) a workbook in Excel, column
// letters and numbers, and the window routines (top-most band, centring a dialog,
// maximising a window by title, removing a window's Close command).
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "core/numeric.hpp"
#include "platform/excel.hpp"
#include "platform/ports.hpp"

namespace tbln {

// Attaches to the running Excel, else starts one. When neither works, tells the user
// "There is no Excel installed on your PC     " and returns nullptr.
std::shared_ptr<excel::Application> AttachExcel(ui::UserInterface& ui, ObjectServer& objects);

// Attaches to a running Excel (else starts one), makes it visible or not, and sets
// xlBook to the open workbook whose FullName is exactly fileName, else opens it.
// Reports failures to the user and returns false; never raises.
bool OpenExcelFile(ui::UserInterface& ui, ObjectServer& objects, const std::string& fileName,
                   bool visible, std::shared_ptr<excel::Application>& xlApp,
                   std::shared_ptr<excel::Workbook>& xlBook);
// The same with the module's ports.
bool OpenExcelFile(const Ports& ports, const std::string& fileName, bool visible,
                   std::shared_ptr<excel::Application>& xlApp,
                   std::shared_ptr<excel::Workbook>& xlBook);

// Column letters of a 1-based column number: 1 "A", 27 "AA", 702 "ZZ". Numbers beyond
// 702 get three letters as in newer sheets (703 "AAA"); numbers below 1 raise error 5.
std::string ColumnLetters(Integer col);

// Column number of the letters, which are upper-cased in the caller's string too.
// Three or more characters: a message and -1. "" gives 0. No check is made that the
// characters are letters; each counts with its code point. 16-bit arithmetic (a
// character past U+7FFF raises overflow).
Integer ColumnNumber(ui::UserInterface& ui, std::string& letters);

// Puts the window into the top-most band (True) or takes it out (anything else), handing
// back what the window manager answered.
Long SetWindowTopMost(ui::WindowManager& ui, ui::Hwnd hwnd, Boolean topmost);

// Centres the dialog on the screen (twips); its size stays.
void CenterForm(ui::WindowManager& ui, ui::Form& form);

// Shows the top-level window with exactly this title maximised.
void MaximizeWindow(ui::WindowManager& ui, const std::string& title);

// Removes the Close command and the separator above it from the window's system menu.
void DisableCloseButton(ui::WindowManager& ui, ui::Hwnd hwnd);

// The last piece of a path split at its separators (a backslash, and on POSIX also a
// slash): the file name, or "" when the path ends in a separator. An empty path has
// no pieces: nullopt.
std::optional<std::string> LastPathPiece(const std::string& path);

}  // namespace tbln

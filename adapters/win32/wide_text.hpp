// The one crossing between the product's UTF-8 text and the UTF-16 of the Win32 calls.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tbln::win32 {

// UTF-16 for a Win32 call; text that is not valid UTF-8 has its bad bytes replaced.
std::wstring Wide(std::string_view utf8);
// UTF-8 of what a Win32 call gave; unpaired surrogates are replaced.
std::string Narrow(std::wstring_view utf16);

// The program's command-line arguments (after the program name) in UTF-8, as the
// system passed them: main's narrow argv would carry them in the ANSI code page.
std::vector<std::string> CommandLineArguments();

// An argument as run.bat holds it. The library writes run.bat in UTF-8, and the command
// interpreter reads a batch file in the console's code page: an argument that the code
// page turns back into valid UTF-8 bytes outside ASCII is those bytes read as UTF-8;
// any other argument (one passed by a program, not a batch file) is kept.
std::string ArgumentFromBatchFile(const std::string& argument);

// The system's message for a Win32 error number, without its line end.
std::string ErrorText(unsigned long error);

}  // namespace tbln::win32

// Workbooks encrypted with the spreadsheet's built-in default password: the spreadsheet
// opens them without asking for one (it is what a workbook whose structure or windows
// alone are protected carries), so they are decrypted here. Any other password is left
// to the reader to refuse.
#pragma once

#include <string>

namespace tbln::workbook {

// Decrypts the workbook stream of an Excel 97 to 2003 workbook in place when its FILEPASS
// record says RC4 or CryptoAPI RC4 encryption and the default password opens it; the
// FILEPASS record stays, so a save still sees the workbook as encrypted. Returns whether
// the stream was decrypted: false for a stream that is not encrypted, another password,
// or a kind of encryption not decrypted here (XOR obfuscation).
bool DecryptWithDefaultPassword(std::string& stream);

}  // namespace tbln::workbook

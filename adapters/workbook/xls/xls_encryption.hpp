// Workbooks encrypted with the spreadsheet's built-in default password: the spreadsheet
// opens them without asking for one (it is what a workbook whose structure or windows
// alone are protected carries), so they are decrypted here. Any other password is left
// to the reader to refuse.
#pragma once

#include <string>

namespace tbln::workbook {

// Decrypts a workbook stream in place when the default password opens it: XOR
// obfuscation (Excel 5.0 and later; `biff5` for a stream of Excel 5.0 or 95), RC4 and
// CryptoAPI RC4 (Excel 97 and later). The FILEPASS record stays, so a save still sees
// the workbook as encrypted. Returns whether the stream was decrypted: false for a
// stream that is not encrypted, or that another password protects.
bool DecryptWithDefaultPassword(std::string& stream, bool biff5);

}  // namespace tbln::workbook

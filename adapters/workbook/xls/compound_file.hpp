// The compound-file container of a legacy binary workbook (.xls), read and written
// through libgsf: the workbook stream is taken out whole, with a limit on its size, and
// put back with every other stream and storage copied as it is.
#pragma once

#include <cstddef>
#include <string>

namespace tbln::workbook {

inline constexpr std::size_t kMaxWorkbookStreamBytes = 256u * 1024u * 1024u;

// True when the file starts with the compound-file signature.
bool IsCompoundFile(const std::string& path);

struct WorkbookStream {
    std::string bytes;
    bool biff5 = false;  // the stream is named "Book" (Excel 5.0 and 95) rather than "Workbook"
};

// The workbook stream of a compound file. Raises RuntimeError (1004) naming the file:
// a damaged container, a password-protected package, a document that is not a
// workbook, a stream over the limit.
WorkbookStream ReadWorkbookStream(const std::string& path);

// The bytes of a new compound file holding `stream` as the workbook stream of the file
// at `path` and every other stream and storage of that file as it is (their class ids
// too). Raises RuntimeError (1004) naming the file when it cannot be read or written.
std::string CompoundFileWithWorkbookStream(const std::string& path, const std::string& stream);

}  // namespace tbln::workbook

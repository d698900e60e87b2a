// Saving a legacy binary workbook (.xls, Excel 97 to 2003): the records of each changed
// worksheet are rebuilt from the file's own records with the edits applied; every
// other record of that sheet, every other sheet and the workbook's globals are copied
// as they are, with the stream positions of the sheets (and of the row blocks of the
// sheets that moved) set to where they now lie; every other stream and storage of the
// compound file is copied byte for byte.
#pragma once

#include <string>

#include "adapters/workbook/workbook_model.hpp"

namespace tbln::workbook {

// The longest text a cell record of its own (LABEL) holds; a longer text would have to
// go into the shared string table, which the save leaves as it is.
inline constexpr std::size_t kMaxLegacyLabelChars = 255;

// The bytes of the workbook file with the model's unsaved edits written into it. Raises
// RuntimeError (1004) naming the file when they cannot be written safely: an Excel 5.0
// or 95 workbook, an encrypted one, a cell or column outside the 65,536 rows and 256
// columns of the format, a text longer than the limit above, a shared or array formula
// that a change would cut or move, a record of the sheet's cells that is not known, a
// result over the size limit.
std::string LegacyWorkbookWithEdits(const WorkbookModel& model);

}  // namespace tbln::workbook

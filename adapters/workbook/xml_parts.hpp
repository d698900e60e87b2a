// XML helpers of the spreadsheet engine: element names without their namespace
// prefix (transitional and strict packages, "x:" prefixes), the text escapes of the
// file format, and A1 cell references.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "core/numeric.hpp"

namespace tbln::workbook {

std::string_view LocalName(std::string_view qualified);

// Decodes the _xHHHH_ escapes of the file format.
std::string DecodeEscapes(std::string_view text);

// Whether the XML declares a document type before its root element. Workbook parts
// never do; one that does is refused so that no entity is ever expanded.
bool HasDoctype(std::string_view bytes);

// "B12" -> row 12, column 2. Dollar signs are allowed. Returns false when not a cell reference.
bool ParseCellRef(std::string_view ref, Long& row, Long& col);

// Row 12, column 2 -> "B12".
std::string CellReference(Long row, Long col);
// "B2:D4", or "B2" for a single cell.
std::string AreaReference(Long top, Long left, Long bottom, Long right);

// Streams an XML part through expat: start(name, attributes), end(name), text(chars).
// Attribute lists are null-terminated name/value pairs as expat gives them. Raises
// RuntimeError naming the workbook, the part and the line when the XML is not
// well-formed or deeper than the limit.
struct XmlHandlers {
    std::function<void(std::string_view name, const char** attributes)> start;
    std::function<void(std::string_view name)> end;
    std::function<void(std::string_view text)> text;
};
void StreamXml(const std::string& workbookPath, const std::string& partName,
               const std::string& bytes, const XmlHandlers& handlers);

// The same, fed a chunk at a time (the last call with `last` set).
class XmlStream {
  public:
    XmlStream(const std::string& workbookPath, const std::string& partName,
              const XmlHandlers& handlers);
    ~XmlStream();
    XmlStream(const XmlStream&) = delete;
    XmlStream& operator=(const XmlStream&) = delete;
    void Feed(std::string_view chunk, bool last);

  private:
    struct State;
    const std::string& workbookPath_;
    const std::string& partName_;
    std::unique_ptr<State> state_;
};

// The value of an attribute by local name in an expat attribute list, or nullptr.
const char* Attribute(const char** attributes, std::string_view localName);

}  // namespace tbln::workbook

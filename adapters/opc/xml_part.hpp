// The XML of a package's parts, read one way for every engine: a part that declares a
// document type is refused (so that no entity is ever expanded or fetched), elements
// nested deeper than the package's limit are refused (so that recursive walks stay
// bounded), and a part that is not well-formed is reported with the line of the error.
// Errors name the file and the part. Small parts are read whole into a DOM; large ones
// (sheets, shared strings) are streamed.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <pugixml.hpp>

namespace tbln::opc {

class Package;

// An element or attribute name without its namespace prefix ("x:row" -> "row").
std::string_view LocalName(std::string_view qualified);

// Whether the XML declares a document type before its root element.
bool HasDoctype(std::string_view bytes);

// The part's bytes parsed into a DOM; whitespace-only text is kept where it is an
// element's only content (a run of spaces in a text element).
std::unique_ptr<pugi::xml_document> ParseXmlPart(const Package& pkg, const std::string& part,
                                                 const std::string& bytes);

// Streams an XML part through expat: start(name, attributes), end(name), text(chars),
// names without their prefix. Attribute lists are null-terminated name/value pairs as
// expat gives them. An exception from a handler stops the parser and is rethrown.
struct XmlHandlers {
    std::function<void(std::string_view name, const char** attributes)> start;
    std::function<void(std::string_view name)> end;
    std::function<void(std::string_view text)> text;
};
void StreamXml(const Package& pkg, const std::string& part, std::string_view bytes,
               const XmlHandlers& handlers);

// The same, fed a chunk at a time (the last call with `last` set).
class XmlStream {
  public:
    XmlStream(const Package& pkg, const std::string& part, const XmlHandlers& handlers);
    ~XmlStream();
    XmlStream(const XmlStream&) = delete;
    XmlStream& operator=(const XmlStream&) = delete;
    void Feed(std::string_view chunk, bool last);

  private:
    struct State;
    const Package& pkg_;
    const std::string& part_;
    std::unique_ptr<State> state_;
};

}  // namespace tbln::opc

#include "adapters/opc/xml_part.hpp"

#include <expat.h>

#include <algorithm>
#include <exception>
#include <new>
#include <utility>
#include <vector>

#include "adapters/opc/package.hpp"

namespace tbln::opc {

std::string_view LocalName(std::string_view qualified) {
    const auto colon = qualified.rfind(':');
    return colon == std::string_view::npos ? qualified : qualified.substr(colon + 1);
}

bool HasDoctype(std::string_view bytes) {
    std::size_t i = 0;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") i = 3;
    while (i < bytes.size()) {
        const char c = bytes[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++i;
        } else if (bytes.substr(i, 2) == "<?") {
            const auto end = bytes.find("?>", i);
            if (end == std::string_view::npos) return false;
            i = end + 2;
        } else if (bytes.substr(i, 4) == "<!--") {
            const auto end = bytes.find("-->", i);
            if (end == std::string_view::npos) return false;
            i = end + 3;
        } else {
            return bytes.substr(i, 9) == "<!DOCTYPE";
        }
    }
    return false;
}

namespace {

[[noreturn]] void RefuseDoctype(const Package& pkg, const std::string& part) {
    pkg.Fail("the part " + part +
             " declares a document type, which is refused (it may hide an entity expansion "
             "attack)");
}

[[noreturn]] void RefuseXml(const Package& pkg, const std::string& part, std::size_t line,
                            const std::string& why) {
    pkg.Fail("the part " + part + " is not well-formed XML (line " + std::to_string(line) + ": " +
             why + ")");
}

[[noreturn]] void RefuseDepth(const Package& pkg, const std::string& part, std::size_t line) {
    RefuseXml(pkg, part, line,
              "elements are nested more than " + std::to_string(pkg.Limits().xmlDepth) + " deep");
}

std::size_t LineAt(std::string_view bytes, std::size_t offset) {
    const auto end = bytes.begin() + static_cast<std::ptrdiff_t>(std::min(offset, bytes.size()));
    return 1 + static_cast<std::size_t>(std::count(bytes.begin(), end, '\n'));
}

}  // namespace

std::unique_ptr<pugi::xml_document> ParseXmlPart(const Package& pkg, const std::string& part,
                                                 const std::string& bytes) {
    if (HasDoctype(bytes)) RefuseDoctype(pkg, part);
    auto doc = std::make_unique<pugi::xml_document>();
    const auto result =
        doc->load_buffer(bytes.data(), bytes.size(),
                         pugi::parse_default | pugi::parse_ws_pcdata_single | pugi::parse_doctype);
    if (!result) {
        RefuseXml(pkg, part, LineAt(bytes, static_cast<std::size_t>(result.offset)),
                  result.description());
    }
    // A declaration HasDoctype cannot see in the bytes (another encoding) is seen here.
    for (auto node : doc->children()) {
        if (node.type() == pugi::node_doctype) RefuseDoctype(pkg, part);
    }
    if (!doc->document_element())
        RefuseXml(pkg, part, LineAt(bytes, bytes.size()), "no root element");
    // The depth, without recursion: the engines' walks of the DOM recurse.
    std::vector<std::pair<pugi::xml_node, int>> stack{{doc->document_element(), 1}};
    while (!stack.empty()) {
        const auto [node, depth] = stack.back();
        stack.pop_back();
        if (depth > pkg.Limits().xmlDepth) {
            const auto offset = node.offset_debug();
            RefuseDepth(pkg, part,
                        LineAt(bytes, offset < 0 ? 0 : static_cast<std::size_t>(offset)));
        }
        for (auto child = node.first_child(); child; child = child.next_sibling()) {
            if (child.type() == pugi::node_element) stack.emplace_back(child, depth + 1);
        }
    }
    return doc;
}

namespace {

struct StreamState {
    const XmlHandlers* handlers = nullptr;
    int maxDepth = kMaxXmlDepth;
    int depth = 0;
    bool tooDeep = false;
    bool doctype = false;
    XML_Parser parser = nullptr;
    std::exception_ptr failure;  // an exception from a handler, rethrown after expat returns
};

// Runs a handler; an exception stops the parser instead of unwinding through expat.
template <class F>
void Guarded(StreamState* s, F&& f) {
    if (s->failure) return;
    try {
        f();
    } catch (...) {
        s->failure = std::current_exception();
        XML_StopParser(s->parser, XML_FALSE);
    }
}

void XMLCALL OnStart(void* data, const XML_Char* name, const XML_Char** attributes) {
    auto* s = static_cast<StreamState*>(data);
    if (++s->depth > s->maxDepth) {
        s->tooDeep = true;
        XML_StopParser(s->parser, XML_FALSE);
        return;
    }
    if (s->handlers->start) Guarded(s, [&] { s->handlers->start(LocalName(name), attributes); });
}

void XMLCALL OnDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    auto* s = static_cast<StreamState*>(data);
    s->doctype = true;
    XML_StopParser(s->parser, XML_FALSE);
}

void XMLCALL OnEnd(void* data, const XML_Char* name) {
    auto* s = static_cast<StreamState*>(data);
    --s->depth;
    if (s->handlers->end) Guarded(s, [&] { s->handlers->end(LocalName(name)); });
}

void XMLCALL OnText(void* data, const XML_Char* text, int len) {
    auto* s = static_cast<StreamState*>(data);
    if (s->handlers->text) {
        Guarded(s,
                [&] { s->handlers->text(std::string_view(text, static_cast<std::size_t>(len))); });
    }
}

}  // namespace

struct XmlStream::State {
    StreamState stream;
};

XmlStream::XmlStream(const Package& pkg, const std::string& part, const XmlHandlers& handlers)
    : pkg_(pkg), part_(part), state_(std::make_unique<State>()) {
    XML_Parser parser = XML_ParserCreate(nullptr);
    if (!parser) throw std::bad_alloc();
    auto& s = state_->stream;
    s.handlers = &handlers;
    s.maxDepth = pkg.Limits().xmlDepth;
    s.parser = parser;
    XML_SetUserData(parser, &s);
    XML_SetElementHandler(parser, OnStart, OnEnd);
    XML_SetCharacterDataHandler(parser, OnText);
    XML_SetStartDoctypeDeclHandler(parser, OnDoctype);
}

XmlStream::~XmlStream() {
    XML_ParserFree(state_->stream.parser);
}

void XmlStream::Feed(std::string_view chunk, bool last) {
    auto& state = state_->stream;
    const auto status = XML_Parse(state.parser, chunk.data(), static_cast<int>(chunk.size()),
                                  last ? XML_TRUE : XML_FALSE);
    if (state.failure) std::rethrow_exception(state.failure);
    if (state.doctype) RefuseDoctype(pkg_, part_);
    const auto line = static_cast<std::size_t>(XML_GetCurrentLineNumber(state.parser));
    if (state.tooDeep) RefuseDepth(pkg_, part_, line);
    if (status != XML_STATUS_OK)
        RefuseXml(pkg_, part_, line, XML_ErrorString(XML_GetErrorCode(state.parser)));
}

void StreamXml(const Package& pkg, const std::string& part, std::string_view bytes,
               const XmlHandlers& handlers) {
    XmlStream stream(pkg, part, handlers);
    stream.Feed(bytes, true);
}

}  // namespace tbln::opc

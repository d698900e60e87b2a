#include "adapters/workbook/xml_parts.hpp"

#include <expat.h>

#include <exception>
#include <new>

#include "adapters/workbook/package.hpp"
#include "adapters/workbook/workbook_model.hpp"
#include "core/text.hpp"

namespace tbln::workbook {

std::string_view LocalName(std::string_view qualified) {
    const auto colon = qualified.rfind(':');
    return colon == std::string_view::npos ? qualified : qualified.substr(colon + 1);
}

namespace {
int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string DecodeEscapes(std::string_view text) {
    if (text.find("_x") == std::string_view::npos) return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '_' && i + 6 < text.size() && text[i + 1] == 'x' && text[i + 6] == '_') {
            int v = 0;
            bool hex = true;
            for (std::size_t k = 2; k < 6; ++k) {
                const int d = HexDigit(text[i + k]);
                if (d < 0) hex = false;
                v = v * 16 + (d < 0 ? 0 : d);
            }
            if (hex) {
                AppendUtf8(out, static_cast<char32_t>(v));
                i += 6;
                continue;
            }
        }
        out += text[i];
    }
    return out;
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

bool ParseCellRef(std::string_view ref, Long& row, Long& col) {
    std::size_t i = 0;
    if (i < ref.size() && ref[i] == '$') ++i;
    long long c = 0;
    std::size_t letters = 0;
    for (; i < ref.size(); ++i, ++letters) {
        char ch = ref[i];
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
        if (ch < 'A' || ch > 'Z') break;
        c = c * 26 + (ch - 'A' + 1);
        if (c > kMaxCols) return false;
    }
    if (letters == 0) return false;
    if (i < ref.size() && ref[i] == '$') ++i;
    long long r = 0;
    std::size_t digits = 0;
    for (; i < ref.size(); ++i, ++digits) {
        if (ref[i] < '0' || ref[i] > '9') return false;
        r = r * 10 + (ref[i] - '0');
        if (r > kMaxRows) return false;
    }
    if (digits == 0 || r < 1) return false;
    row = static_cast<Long>(r);
    col = static_cast<Long>(c);
    return true;
}

std::string CellReference(Long row, Long col) {
    std::string letters;
    for (long c = col; c > 0; c = (c - 1) / 26)
        letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
    return letters + std::to_string(row);
}

std::string AreaReference(Long top, Long left, Long bottom, Long right) {
    const std::string first = CellReference(top, left);
    return top == bottom && left == right ? first : first + ":" + CellReference(bottom, right);
}

const char* Attribute(const char** attributes, std::string_view localName) {
    for (const char** a = attributes; a && *a; a += 2) {
        if (LocalName(a[0]) == localName) return a[1];
    }
    return nullptr;
}

namespace {
struct StreamState {
    const XmlHandlers* handlers;
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
    if (++s->depth > kMaxXmlDepth) {
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

XmlStream::XmlStream(const std::string& workbookPath, const std::string& partName,
                     const XmlHandlers& handlers)
    : workbookPath_(workbookPath), partName_(partName), state_(std::make_unique<State>()) {
    XML_Parser parser = XML_ParserCreate(nullptr);
    if (!parser) throw std::bad_alloc();
    state_->stream = StreamState{&handlers, 0, false, false, parser, nullptr};
    XML_SetUserData(parser, &state_->stream);
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
    if (state.doctype) {
        RaiseBadWorkbook(workbookPath_, "the part " + partName_ +
                                            " declares a document type, which workbooks never do "
                                            "(it may hide an entity expansion attack)");
    }
    if (status != XML_STATUS_OK || state.tooDeep) {
        const auto line = XML_GetCurrentLineNumber(state.parser);
        const std::string why = state.tooDeep ? "elements are nested too deeply"
                                              : XML_ErrorString(XML_GetErrorCode(state.parser));
        RaiseBadWorkbook(workbookPath_, "the part " + partName_ + " is not well-formed XML (line " +
                                            std::to_string(line) + ": " + why + ")");
    }
}

void StreamXml(const std::string& workbookPath, const std::string& partName,
               const std::string& bytes, const XmlHandlers& handlers) {
    XmlStream stream(workbookPath, partName, handlers);
    stream.Feed(bytes, true);
}

}  // namespace tbln::workbook

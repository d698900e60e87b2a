#include "common/reader_arguments.hpp"

#include <string_view>

namespace tbln {

namespace {

std::string ReplaceAll(const std::string& text, std::string_view from, std::string_view to) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    for (std::size_t hit; (hit = text.find(from, pos)) != std::string::npos;
         pos = hit + from.size()) {
        out.append(text, pos, hit - pos);
        out.append(to);
    }
    out.append(text, pos, std::string::npos);
    return out;
}

}  // namespace

std::string EncodeReaderArgument(const std::string& text) {
    return ReplaceAll(ReplaceAll(text, " ", "*mervik*"), "&", "*kivrem*");
}

std::string DecodeReaderArgument(const std::string& text) {
    return ReplaceAll(ReplaceAll(text, "*kivrem*", "&"), "*mervik*", " ");
}

std::string ReaderArgumentMarker(const std::string& text) {
    if (DecodeReaderArgument(EncodeReaderArgument(text)) == text) return {};
    for (const char* marker : {"*mervik*", "*kivrem*"}) {
        if (text.find(marker) != std::string::npos) return marker;
    }
    return "*";  // markers that only form across an encoded space or ampersand
}

}  // namespace tbln

// How run.bat carries a path or a sheet name to the external reader: every space
// becomes "*mervik*", then every "&" becomes "*kivrem*". The reader undoes both.
#pragma once

#include <string>

namespace tbln {

std::string EncodeReaderArgument(const std::string& text);
std::string DecodeReaderArgument(const std::string& text);
// The marker ("*mervik*" or "*kivrem*") in a text that the reader would decode into
// another text, or "" when the text comes back as it is.
std::string ReaderArgumentMarker(const std::string& text);

}  // namespace tbln

// How run.bat carries a path or a sheet name to the external reader: every space
// becomes "*mervik*", then every "&" becomes "*kivrem*". The reader undoes both.
#pragma once

#include <string>

namespace tbln {

std::string EncodeReaderArgument(const std::string& text);
std::string DecodeReaderArgument(const std::string& text);

}  // namespace tbln

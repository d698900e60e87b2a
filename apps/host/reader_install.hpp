// The install step of the external reader: the root's folders exist and tbln-reader
// sits in the reader folder under the program name run.bat starts.
#pragma once

#include "apps/host/host.hpp"

namespace tbln::host {

// Creates the reader and pictures folders and copies tbln-reader into the reader
// folder when it is missing there or older than the one beside this program (or
// named by TBLN_READER). Raises UsageError when no reader can be found.
void InstallReader(Host& host);

// While stderr is a terminal, shows the progress bar of the dialog as a line there.
void ShowProgressOnTerminal(Host& host, DialogId dialog);
// Ends the progress line, when there is one.
void EndProgressLine();

}  // namespace tbln::host

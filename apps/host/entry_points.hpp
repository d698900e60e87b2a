// Each entry point called as the host's macros call it, with what it handed back as the
// JSON object the host prints: the result, then every by-reference argument under its
// name, then the message boxes shown. The commands (answers from the command line) and
// the host window (real dialogs) both call them, so the two cannot drift apart.
#pragma once

#include <memory>
#include <string>

#include "apps/host/host.hpp"

namespace tbln::host {

// BuildCell's and DeepUpdate's result and by-reference arguments. The file, sheet and
// range go in (DeepUpdate reads them) and come back with the rest.
struct CaptureCall : CaptureArguments {
    Boolean result = False;
};

// ParseWord's and UpdateWord's result and by-reference arguments; UpdateWord reads
// fileName0.
struct WordCall {
    Boolean result = False;
    WordLineArray wordLines0;
    Integer pageNum0 = 0;
    Single pageWid0 = 0, pageHei0 = 0;
    std::string fileName0;
};

// The capture calls place the external reader first. Their JSON holds dgnCell0 as a
// null placeholder (PrintWithCells writes a large table record by record); BuildCell's
// adds fastUpdate0.
json CallBuildCell(Host& host, CaptureCall& call);
json CallDeepUpdate(Host& host, CaptureCall& call);

// Their JSON holds wordLines0 with its bounds and null items (written line by line).
json CallParseWord(Host& host, WordCall& call);
json CallUpdateWord(Host& host, WordCall& call);

json CallMakeBlock(Host& host, TagPosArray tags0);
json CallInsertBlock(Host& host, TagPosArray tags0, std::string fileName0, std::string sheetName0);
json CallInsertBlockPop(Host& host, TagPosArray tags0, std::string fileName0,
                        std::string sheetName0, Integer row, Integer col);
json CallPopulate(Host& host, std::string dwgdgn);
json CallExportDGNName(Host& host, std::string fileFormat0);
json CallSetLUC(Host& host);
// With the window calls it made, as the window system saw them.
json CallSetTopMostWindow(Host& host, Long hwnd, Boolean Topmost);

}  // namespace tbln::host

// Cell capture and the range-import dialog: the exchange with the external reader,
// the cell builders and the capture of a range, the shapes and pictures of a sheet,
// and CellRangeForm.
//
// This header holds the reader exchange: starting the reader through run.bat,
// waiting for its flag file with a way out, and parsing output.txt into the reader's
// tables of the module (rowHeights, colWidths, rowHidden, colHidden, jCells).
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "automation/module.hpp"
#include "capture/reader_markers.hpp"
#include "common/reader_arguments.hpp"
#include "controls/progress_bar.hpp"
#include "platform/sys.hpp"
#include "platform/ui.hpp"

namespace tbln {

// Clears the previous exchange (run.bat, the pictures folder's files, image.txt and
// the reader's error.txt), writes run.bat for fileName and sheetName, and starts it
// hidden from the reader folder. Returns the started process, or nullptr when it
// could not be started (that failure is ignored, as every clean-up failure is).
std::unique_ptr<sys::Process> RunReader(Module& m);

// Parses output.txt into the reader's tables and acknowledges with flag.txt holding
// "Done". A missing file raises 53; a missing line or field raises 9 and a number
// field that is not a number raises 13, each naming output.txt, the line and the field.
void ReadReaderOutput(Module& m);
// The parsing alone, over the text of output.txt (for tests and the benchmark).
void ParseReaderOutput(Module& m, std::string_view text, const std::string& fileName);

// The progress display of the dialogs that run the reader.
struct ProgressDisplay {
    ProgressBar& bar;
    ui::Label& percent;  // lbProgress
    ui::Label& title;    // lbProgressTitle
    // Refreshes the percentage caption from the bar.
    void Refresh() const;
};

// The progress text while another import of the same installation holds the reader.
inline constexpr const char* kWaitingForReader = "Waiting for another import";

// What the dialogs do from the deletion of flag.txt to the parsed grid: refuses a file
// or sheet name the reader would read back as another (its markers in it), prepares
// the progress display (0 to 500), takes the reader folder's lock (waiting, with the
// bar cycling and kWaitingForReader shown, while another import holds it), runs the
// reader, waits for flag.txt while the bar cycles and window events run, pauses 100 ms
// and reads output.txt. The waits stop when Cancel was pressed (dialogCancelled; the
// reader is then ended), past readerWaitLimitMs as if Cancel had been pressed, with a
// message, or with a message naming the workbook when the reader ended without
// writing flag.txt. When the reader left error.txt, its text is shown. A malformed
// output.txt is reported. Returns true when the grid is ready for capture; the lock
// is then held in readerLock until EndReaderExchange.
bool RunReaderAndWait(Module& m, const ProgressDisplay& progress);

// Ends the exchange once the capture has read the reader's files: releases the lock.
void EndReaderExchange(Module& m);

// Raises 9 saying that the cell range `address` lies outside the sheet's used area when
// its rows (startRow to endRow, in either order) all lie below the reader's grid or its
// columns all lie right of it: nothing of it could be captured.
void RefuseRangeOutsideGrid(const Module& m, const std::string& address, Integer startRow,
                            Integer endRow, Integer startCol, Integer endCol);

}  // namespace tbln

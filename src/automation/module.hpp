// The library's module-level state: everything the entry points, the dialogs and the
// capture routines hand to each other, under the names the host's macros and the
// dialogs know. One Module lives as long as the library stays loaded; Application
// objects all refer to it. Tests build their own Module with the adapters they want.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "automation/records.hpp"
#include "core/array.hpp"
#include "core/collection.hpp"
#include "core/numeric.hpp"
#include "platform/excel.hpp"
#include "platform/ports.hpp"
#include "platform/word.hpp"

namespace tbln {

// The library's dialogs. Each has one default instance, created on first use.
enum class DialogId {
    CellRangeForm,
    DeepUpdateForm,
    DistributeForm,
    WordProgressForm,
    MultiDGNsForm,
    MakeBlockForm,
    InsertBlockForm,
    MakeLUCForm,
};
const char* DialogName(DialogId id);

// How long an import waits for the external reader (and for another import holding
// it) before it is cancelled as Cancel would: five minutes unless the caller says.
inline constexpr Long kDefaultReaderWaitLimitMs = 300000;
// The longest wait a caller may ask for, in seconds: a day.
inline constexpr double kMaxReaderTimeoutSeconds = 86400;
// The wait limit in milliseconds for `seconds`; raises 5 naming the value unless it
// is more than 0 and at most kMaxReaderTimeoutSeconds.
Long ReaderWaitLimitMs(double seconds);

class Module;
using DialogFactory = std::function<std::unique_ptr<ui::Form>(Module&)>;

using MyCellArray = Array2D<std::shared_ptr<MyCell>>;
using JCellArray = Array2D<std::shared_ptr<JCell>>;
using MyShapeArray = Array<std::shared_ptr<MyShape>>;
using MyImageArray = Array<std::shared_ptr<MyImage>>;
using WordLineArray = Array<std::shared_ptr<WordLine>>;
using TagPosArray = Array<std::shared_ptr<TagPos>>;

class Module {
  public:
    explicit Module(Ports ports);
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    Ports ports;

    // Workbook, sheet and the Excel references (held only during one entry-point call).
    std::string fileName;
    std::string sheetName;
    std::shared_ptr<excel::Application> xlApp;
    std::shared_ptr<excel::Workbook> xlBook;
    std::shared_ptr<excel::Worksheet> xlSheet;

    // Dialog and capture flags.
    bool dialogCancelled = false;
    bool captureDone = false;
    bool isDeepUpdate = false;
    bool fastUpdate = false;

    // The captured range, 1-based.
    Integer startRow = 0;
    Integer endRow = 0;
    Integer startCol = 0;
    Integer endCol = 0;

    // Captured records.
    MyCellArray dgnCell;
    RecordPool<MyCell> newCells;  // where the capture takes the records of dgnCell from
    MyShapeArray xlsShape;
    MyImageArray xlsImage;
    std::shared_ptr<Collection> excelFonts;
    Single totalHeight = 0;
    Single totalWidth = 0;

    // The drawing-production choices.
    Integer row1 = 0, row2 = 0, rown = 0;
    Integer col1 = 0, col2 = 0, coln = 0;
    std::string templatePath;
    std::string outputPath;
    std::string excelPath;
    std::string fileFormat;

    // Word import.
    WordLineArray wordLines;
    Integer pageNum = 0;
    std::shared_ptr<word::Application> wordApp;
    std::shared_ptr<word::Document> wordDoc;

    // Block tags being linked or filled.
    TagPosArray tagList;

    // The external reader's tables, always starting at cell A1.
    Array<Single> rowHeights;
    Array<Single> colWidths;
    Array<bool> rowHidden;
    Array<bool> colHidden;
    JCellArray jCells;
    // The reader folder's lock, held from the reader's start until the capture that
    // reads its files has ended (EndReaderExchange), so two imports sharing one
    // installation never read each other's files.
    std::unique_ptr<sys::FolderLock> readerLock;
    // The real time the wait for the reader lasts at most before the wait is cancelled
    // and the reader ended, for every caller: a hung reader never holds the host for good.
    Long readerWaitLimitMs = kDefaultReaderWaitLimitMs;

    // Releases the Excel references (sheet, workbook, application).
    void ReleaseExcel();

    // Dialogs: a factory per dialog; the default instance is created on first use.
    void RegisterDialog(DialogId id, DialogFactory factory);
    ui::Form& Dialog(DialogId id);
    // Shows the dialog's default instance modally. Raises a run-time error when this
    // build has no such dialog.
    void ShowDialog(DialogId id);

  private:
    std::map<DialogId, DialogFactory> factories_;
    std::map<DialogId, std::unique_ptr<ui::Form>> instances_;
};

}  // namespace tbln

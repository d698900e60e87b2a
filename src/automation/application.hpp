// Application: the entry points the host's macros call. Every argument is passed by
// reference, as the macro language passes it. Each entry point copies its inputs into
// the Module, shows one dialog, copies the results back and releases the Excel or
// Word references it obtained, with the trap and copy-back rules of each routine.
#pragma once

#include <memory>
#include <string>

#include "automation/module.hpp"

namespace tbln {

// Clears dialogCancelled, shows the range-import dialog and reports whether the user
// completed it.
Boolean ShowRangeDialog(Module& m);

// BuildCell's and DeepUpdate's by-reference arguments kept together, for callers that
// hold them between calls (the reference host, the Python module, the automation server,
// tests). DeepUpdate reads the file, sheet and range and leaves QVPath and fastUpdate0
// alone; the overloads below pass each member to the entry point under its own name.
struct CaptureArguments {
    std::string fileName0, sheetName0;
    std::shared_ptr<Collection> excelFonts0;
    MyCellArray dgnCell0;
    MyShapeArray xlsShape0;
    MyImageArray xlsImage0;
    Single totalHeight0 = 0, totalWidth0 = 0;
    Integer startRow0 = 0, endRow0 = 0, startCol0 = 0, endCol0 = 0;
    std::string dwgdgn = "dwg", QVPath;
    Boolean fastUpdate0 = False;
};

class Application {
  public:
    explicit Application(Module& module) : m_(module) {}

    Long SetTopMostWindow(Long& hwnd, Boolean& Topmost);

    Boolean BuildCell(std::string& fileName0, std::string& sheetName0,
                      std::shared_ptr<Collection>& excelFonts0, MyCellArray& dgnCell0,
                      MyShapeArray& xlsShape0, MyImageArray& xlsImage0, Single& totalHeight0,
                      Single& totalWidth0, Integer& startRow0, Integer& endRow0, Integer& startCol0,
                      Integer& endCol0, std::string& dwgdgn, std::string& QVPath,
                      Boolean& fastUpdate0);

    Boolean DeepUpdate(std::string& fileName0, std::string& sheetName0,
                       std::shared_ptr<Collection>& excelFonts0, MyCellArray& dgnCell0,
                       MyShapeArray& xlsShape0, MyImageArray& xlsImage0, Single& totalHeight0,
                       Single& totalWidth0, Integer& startRow0, Integer& endRow0,
                       Integer& startCol0, Integer& endCol0, std::string& dwgdgn);

    Boolean BuildCell(CaptureArguments& a);
    Boolean DeepUpdate(CaptureArguments& a);

    Boolean Populate(Integer& row10, Integer& row20, Integer& rown0, Integer& col10, Integer& col20,
                     Integer& coln0, std::string& templatePath0, std::string& outputPath0,
                     std::string& excelPath0, std::string& sheetName0, std::string& dwgdgn,
                     std::string& QVPath);

    Boolean ParseWord(WordLineArray& wordLines0, Integer& pageNum0, Single& pageWid0,
                      Single& pageHei0, std::string& fileName0);
    Boolean UpdateWord(WordLineArray& wordLines0, Integer& pageNum0, Single& pageWid0,
                       Single& pageHei0, std::string& fileName0);

    void ExportDGNName(std::string& fileFormat0);

    Boolean MakeBlock(TagPosArray& tags0, TagPosArray& tags1, std::string& fileName0,
                      std::string& sheetName0, std::string& QVPath);
    Boolean InsertBlock(TagPosArray& tags0, TagPosArray& tags1, std::string& fileName0,
                        std::string& sheetName0);
    Boolean InsertBlockPop(TagPosArray& tags0, TagPosArray& tags1, std::string& fileName0,
                           std::string& sheetName0, Integer& row, Integer& col);

    void SetLUC();

    // How long, in seconds, an import waits for the workbook reader before it is
    // cancelled as Cancel would (the module's readerWaitLimitMs; five minutes unless
    // set). Setting raises 5 unless 0 < seconds <= kMaxReaderTimeoutSeconds.
    double ReaderTimeout() const { return m_.readerWaitLimitMs / 1000.0; }
    void SetReaderTimeout(double seconds) { m_.readerWaitLimitMs = ReaderWaitLimitMs(seconds); }

  private:
    // Fills every tag of tagList from the cell at its offset from (row, col) on xlSheet.
    void FillTagValues(Integer row, Integer col);
    // The shared part of ParseWord and UpdateWord.
    Boolean ImportWord(bool chooseFile, WordLineArray& wordLines0, Integer& pageNum0,
                       Single& pageWid0, Single& pageHei0, std::string& fileName0);
    // Copies the captured range, records, fonts and totals back (BuildCell, DeepUpdate).
    void CopyCaptureBack(std::string& fileName0, std::string& sheetName0,
                         std::shared_ptr<Collection>& excelFonts0, MyCellArray& dgnCell0,
                         MyShapeArray& xlsShape0, MyImageArray& xlsImage0, Single& totalHeight0,
                         Single& totalWidth0, Integer& startRow0, Integer& endRow0,
                         Integer& startCol0, Integer& endCol0);
    // Turns Excel's screen updating back on and releases the Excel references and fonts.
    void FinishCapture(ErrorTrap& trap);
    // Copies tags0 into tagList (new array, same records).
    void TakeTags(const TagPosArray& tags0);
    // Shows a block dialog and, unless it was cancelled, copies the tags, file and sheet back.
    Boolean RunBlockDialog(DialogId dialog, TagPosArray& tags1, std::string& fileName0,
                           std::string& sheetName0);

    Module& m_;
};

}  // namespace tbln

#include "automation/application.hpp"

#include "common/utilities.hpp"
#include "core/error.hpp"

namespace tbln {

namespace {

// The Word file-open dialog's number in Word's Dialogs collection.
constexpr Long kWordFileOpenDialog = 80;
// WordBasic FilenameInfo: information type 1 is the full path.
constexpr Long kFullPathInfo = 1;

template <class T>
std::shared_ptr<T> TryGetOrCreate(ObjectServer& objects, const std::string& progId) {
    try {
        return As<T>(objects.GetObject(progId));
    } catch (const RuntimeError&) {
    }
    try {
        return As<T>(objects.CreateObject(progId));
    } catch (const RuntimeError&) {
    }
    return nullptr;
}

}  // namespace

Boolean ShowRangeDialog(Module& m) {
    m.dialogCancelled = false;
    m.ShowDialog(DialogId::CellRangeForm);
    return m.dialogCancelled ? False : True;
}

Long Application::SetTopMostWindow(Long& hwnd, Boolean& Topmost) {
    // The placing's answer is handed back only when the window goes on top.
    const Long placed = SetWindowTopMost(m_.ports.ui, hwnd, Topmost);
    return Topmost == True ? placed : 0;
}

void Application::CopyCaptureBack(std::string& fileName0, std::string& sheetName0,
                                  std::shared_ptr<Collection>& excelFonts0, MyCellArray& dgnCell0,
                                  MyShapeArray& xlsShape0, MyImageArray& xlsImage0,
                                  Single& totalHeight0, Single& totalWidth0, Integer& startRow0,
                                  Integer& endRow0, Integer& startCol0, Integer& endCol0) {
    fileName0 = m_.fileName;
    sheetName0 = m_.sheetName;
    if (!m_.excelFonts) m_.excelFonts = std::make_shared<Collection>();
    excelFonts0 = m_.excelFonts;
    dgnCell0 = m_.dgnCell;
    xlsShape0 = m_.xlsShape;
    xlsImage0 = m_.xlsImage;
    totalHeight0 = m_.totalHeight;
    totalWidth0 = m_.totalWidth;
    startRow0 = m_.startRow;
    endRow0 = m_.endRow;
    startCol0 = m_.startCol;
    endCol0 = m_.endCol;
}

void Application::FinishCapture(ErrorTrap& trap) {
    if (m_.xlSheet) {
        trap.Run([&] { m_.xlSheet->Application()->SetScreenUpdating(true); });
    }
    m_.ReleaseExcel();
    m_.excelFonts.reset();
}

Boolean Application::BuildCell(std::string& fileName0, std::string& sheetName0,
                               std::shared_ptr<Collection>& excelFonts0, MyCellArray& dgnCell0,
                               MyShapeArray& xlsShape0, MyImageArray& xlsImage0,
                               Single& totalHeight0, Single& totalWidth0, Integer& startRow0,
                               Integer& endRow0, Integer& startCol0, Integer& endCol0,
                               std::string& /*dwgdgn*/, std::string& /*QVPath*/,
                               Boolean& fastUpdate0) {
    m_.isDeepUpdate = false;
    ErrorTrap trap;
    Boolean result = False;
    trap.Run([&] { result = ShowRangeDialog(m_); });
    CopyCaptureBack(fileName0, sheetName0, excelFonts0, dgnCell0, xlsShape0, xlsImage0,
                    totalHeight0, totalWidth0, startRow0, endRow0, startCol0, endCol0);
    fastUpdate0 = ToBoolean(m_.fastUpdate);
    FinishCapture(trap);
    return result;
}

Boolean Application::DeepUpdate(std::string& fileName0, std::string& sheetName0,
                                std::shared_ptr<Collection>& excelFonts0, MyCellArray& dgnCell0,
                                MyShapeArray& xlsShape0, MyImageArray& xlsImage0,
                                Single& totalHeight0, Single& totalWidth0, Integer& startRow0,
                                Integer& endRow0, Integer& startCol0, Integer& endCol0,
                                std::string& /*dwgdgn*/) {
    m_.isDeepUpdate = true;
    m_.fileName = fileName0;
    m_.sheetName = sheetName0;
    m_.startRow = startRow0;
    m_.startCol = startCol0;
    m_.endRow = endRow0;
    m_.endCol = endCol0;
    m_.dialogCancelled = false;
    ErrorTrap trap;
    trap.Run([&] { m_.ShowDialog(DialogId::DeepUpdateForm); });
    // The dialog closes itself as cancelled when the reader or the capture failed.
    const Boolean result = trap.Number() == 0 && !m_.dialogCancelled ? True : False;
    CopyCaptureBack(fileName0, sheetName0, excelFonts0, dgnCell0, xlsShape0, xlsImage0,
                    totalHeight0, totalWidth0, startRow0, endRow0, startCol0, endCol0);
    FinishCapture(trap);
    return result;
}

Boolean Application::BuildCell(CaptureArguments& a) {
    return BuildCell(a.fileName0, a.sheetName0, a.excelFonts0, a.dgnCell0, a.xlsShape0, a.xlsImage0,
                     a.totalHeight0, a.totalWidth0, a.startRow0, a.endRow0, a.startCol0, a.endCol0,
                     a.dwgdgn, a.QVPath, a.fastUpdate0);
}

Boolean Application::DeepUpdate(CaptureArguments& a) {
    return DeepUpdate(a.fileName0, a.sheetName0, a.excelFonts0, a.dgnCell0, a.xlsShape0,
                      a.xlsImage0, a.totalHeight0, a.totalWidth0, a.startRow0, a.endRow0,
                      a.startCol0, a.endCol0, a.dwgdgn);
}

Boolean Application::Populate(Integer& row10, Integer& row20, Integer& rown0, Integer& col10,
                              Integer& col20, Integer& coln0, std::string& templatePath0,
                              std::string& outputPath0, std::string& excelPath0,
                              std::string& sheetName0, std::string& dwgdgn,
                              std::string& /*QVPath*/) {
    m_.fileFormat = dwgdgn;
    m_.dialogCancelled = false;
    m_.ShowDialog(DialogId::DistributeForm);
    Boolean result = False;
    if (!m_.dialogCancelled) {
        result = True;
        row10 = m_.row1;
        row20 = m_.row2;
        rown0 = m_.rown;
        col10 = m_.col1;
        col20 = m_.col2;
        coln0 = m_.coln;
        templatePath0 = m_.templatePath;
        outputPath0 = m_.outputPath;
        excelPath0 = m_.excelPath;
        sheetName0 = m_.sheetName;
    }
    m_.ReleaseExcel();
    return result;
}

Boolean Application::ImportWord(bool chooseFile, WordLineArray& wordLines0, Integer& pageNum0,
                                Single& pageWid0, Single& pageHei0, std::string& fileName0) {
    auto& ui = m_.ports.ui;
    ErrorTrap trap;
    Boolean result = False;

    m_.wordApp = TryGetOrCreate<word::Application>(m_.ports.objects, "Word.Application");
    if (!m_.wordApp) {
        ui.MsgBox("There is no Word installed on your PC", ui::vbInformation, "Error");
    } else {
        auto& app = *m_.wordApp;
        std::string path = fileName0;
        if (chooseFile) {
            trap.Run([&] { ui.AppActivate(app.Caption()); });
            std::shared_ptr<word::Dialog> dialog;
            bool chosen = false;
            trap.Run([&] {
                dialog = app.Dialogs(kWordFileOpenDialog);
                chosen = dialog->Display() != 0;
            });
            if (!chosen) {
                // Cancelled: Word keeps its state; only our reference to it is dropped.
                m_.wordApp.reset();
                return False;
            }
            trap.Run([&] {
                m_.fileName = app.WordBasic()->FilenameInfo(dialog->Name(), kFullPathInfo);
            });
            path = m_.fileName;
        }
        bool opened = false;
        try {
            m_.wordDoc = app.Documents()->Open(path);
            opened = true;
        } catch (const RuntimeError&) {
            ui.MsgBox("File " + path + " is not a valid Word file", ui::vbInformation, "Error");
        }
        if (opened) {
            trap.Run([&] { app.SetVisible(false); });
            trap.Run([&] { app.SetScreenUpdating(false); });
            trap.Run([&] {
                pageHei0 = static_cast<Single>(app.ActiveDocument()->PageSetup()->PageHeight());
            });
            trap.Run([&] {
                pageWid0 = static_cast<Single>(app.ActiveDocument()->PageSetup()->PageWidth());
            });
            trap.Run([&] { m_.ShowDialog(DialogId::WordProgressForm); });
            if (chooseFile) fileName0 = m_.fileName;
            wordLines0 = m_.wordLines;
            pageNum0 = m_.pageNum;
            result = True;
        }
        trap.Run([&] { app.SetScreenUpdating(true); });
        trap.Run([&] { app.SetVisible(true); });
    }
    m_.wordApp.reset();
    m_.wordDoc.reset();
    return result;
}

Boolean Application::ParseWord(WordLineArray& wordLines0, Integer& pageNum0, Single& pageWid0,
                               Single& pageHei0, std::string& fileName0) {
    return ImportWord(true, wordLines0, pageNum0, pageWid0, pageHei0, fileName0);
}

Boolean Application::UpdateWord(WordLineArray& wordLines0, Integer& pageNum0, Single& pageWid0,
                                Single& pageHei0, std::string& fileName0) {
    return ImportWord(false, wordLines0, pageNum0, pageWid0, pageHei0, fileName0);
}

void Application::ExportDGNName(std::string& fileFormat0) {
    m_.fileFormat = fileFormat0;
    ErrorTrap trap;
    trap.Run([&] { m_.ShowDialog(DialogId::MultiDGNsForm); });
    m_.ReleaseExcel();
}

void Application::TakeTags(const TagPosArray& tags0) {
    m_.tagList = tags0;
}

Boolean Application::RunBlockDialog(DialogId dialog, TagPosArray& tags1, std::string& fileName0,
                                    std::string& sheetName0) {
    m_.dialogCancelled = false;
    m_.ShowDialog(dialog);
    // After a cancel nothing is copied back and the references stay, as the host expects.
    if (m_.dialogCancelled) return False;
    tags1 = m_.tagList;
    fileName0 = m_.fileName;
    sheetName0 = m_.sheetName;
    m_.ReleaseExcel();
    return True;
}

Boolean Application::MakeBlock(TagPosArray& tags0, TagPosArray& tags1, std::string& fileName0,
                               std::string& sheetName0, std::string& /*QVPath*/) {
    TakeTags(tags0);
    return RunBlockDialog(DialogId::MakeBlockForm, tags1, fileName0, sheetName0);
}

Boolean Application::InsertBlock(TagPosArray& tags0, TagPosArray& tags1, std::string& fileName0,
                                 std::string& sheetName0) {
    TakeTags(tags0);
    // The dialog reopens the workbook and sheet the block records.
    m_.fileName = fileName0;
    m_.sheetName = sheetName0;
    return RunBlockDialog(DialogId::InsertBlockForm, tags1, fileName0, sheetName0);
}

Boolean Application::InsertBlockPop(TagPosArray& tags0, TagPosArray& tags1, std::string& fileName0,
                                    std::string& sheetName0, Integer& row, Integer& col) {
    TakeTags(tags0);
    m_.fileName = fileName0;
    m_.sheetName = sheetName0;
    // The references are dropped on every way out, an error's included.
    struct Release {
        Module& m;
        ~Release() { m.ReleaseExcel(); }
    } release{m_};
    if (!OpenExcelFile(m_.ports, m_.fileName, true, m_.xlApp, m_.xlBook)) return False;
    m_.xlSheet = m_.xlApp->ActiveWorkbook()->Sheets(m_.sheetName);
    FillTagValues(row, col);
    tags1 = m_.tagList;
    fileName0 = m_.fileName;
    sheetName0 = m_.sheetName;
    return True;
}

void Application::FillTagValues(Integer row, Integer col) {
    if (!m_.tagList.IsAllocated()) return;
    for (Long i = m_.tagList.Lower(); i <= m_.tagList.Upper(); ++i) {
        auto& tag = m_.tagList(i);
        if (!tag) Raise(err::kObjectNotSet);
        const Integer r = AddInteger(row, tag->offsetRow);
        const Integer c = AddInteger(col, tag->offsetCol);
        tag->row = std::to_string(r);
        tag->col = ColumnLetters(c);
        tag->Value = m_.xlSheet->Cells(r, c)->Text();
    }
}

void Application::SetLUC() {
    m_.ShowDialog(DialogId::MakeLUCForm);
}

}  // namespace tbln

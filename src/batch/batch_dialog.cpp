#include "batch/batch_dialog.hpp"

#include "common/utilities.hpp"
#include "controls/common_dialog.hpp"
#include "core/error.hpp"

namespace tbln {

BatchDialog::BatchDialog(std::string name, Module& m)
    : SheetBoxDialog(std::move(name), m.ports,
                     ExcelRefs{m.xlApp, m.xlBook, m.xlSheet, m.sheetName}),
      m_(m) {
    btnBrowseExcel.SetCaption("Browse");
    btnBrowseExcel.Click = Handler(this, &BatchDialog::btnBrowseExcel_Click);
}

std::string BatchDialog::DrawingFilter() const {
    if (m_.fileFormat == "dgn") return std::string("DGN File  *.dgn") + '\0' + "*.dgn" + '\0';
    return std::string("DWG File  *.dwg") + '\0' + "*.dwg" + '\0';
}

void BatchDialog::LeaveTopMost() {
    TopMost(false);
    excelFocusOnHover = false;
}

void BatchDialog::ReturnTopMost() {
    TopMost(true);
    excelFocusOnHover = true;
}

void BatchDialog::btnBrowseExcel_Click() {
    CommonDialog chooser(ui_, windows_, ports_.sys);
    chooser.SetMultiSelect(false);
    chooser.SetTitle("Open an Excel file");
    chooser.SetFilter(std::string("Excel File  *.xls") + '\0' + "*.xls" + '\0');
    LeaveTopMost();
    const std::string path = chooser.ShowOpen();
    tbExcelPath.SetText(path);
    cbSheetName.Clear();
    // The emptied sheet box no longer names an open sheet.
    m_.xlSheet.reset();
    if (!path.empty() && OpenExcelFile(ports_, path, true, m_.xlApp, m_.xlBook)) {
        BringExcelForward();
        RunHandler(ui_, [&] { FillSheetBox(); });
    }
    ReturnTopMost();
}

}  // namespace tbln

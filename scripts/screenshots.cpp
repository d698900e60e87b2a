// Makes the README's screenshots: every dialog on the desktop adapter, filled as a user
// fills it from the bundled examples, and the sheet window beside the range dialog.
// Run through scripts/screenshots.sh; writes PNG files into the folder it is given.
#include <QApplication>
#include <QPainter>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "adapters/qt/qt_ui.hpp"
#include "adapters/qt/sheet_window.hpp"
#include "apps/host/host.hpp"
#include "apps/host/reader_install.hpp"
#include "qt/qt_driver.hpp"

namespace fs = std::filesystem;
using namespace tbln;

namespace {

const fs::path kExamples = fs::path(TBLN_SOURCE_DIR) / "examples";

// The window's picture under a plain caption bar with its title, as a desktop shows it.
void Save(QWidget* w, const fs::path& file) {
    if (!w) {
        std::cerr << "screenshots: nothing to grab for " << file << "\n";
        return;
    }
    const QPixmap body = w->grab();
    const int bar = 26;
    QImage image(body.width() + 2, body.height() + bar + 1, QImage::Format_RGB32);
    image.fill(QColor(0x5A, 0x6E, 0x8C));
    QPainter p(&image);
    p.drawPixmap(1, bar, body);
    p.setPen(Qt::white);
    QFont f = w->font();
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(8, 0, image.width() - 16, bar), Qt::AlignVCenter | Qt::AlignLeft,
               w->windowTitle());
    p.end();
    image.save(QString::fromStdString(file.string()));
    std::cout << file.string() << "\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::cerr << "usage: qt_screenshots FOLDER\n";
        return 2;
    }
    const fs::path out = argv[1];
    fs::create_directories(out);
    const fs::path root = fs::temp_directory_path() / ("tbln-shots-" + std::to_string(::getpid()));
    fs::create_directories(root);
    ::setenv("TBLN_READER", TBLN_READER_BINARY, 1);

    auto driver = MakeQtDriver();
    auto& ui = dynamic_cast<qt::QtUi&>(driver->Ui());
    host::Host h(root.string(), &ui);
    host::InstallReader(h);
    qt::SheetWindow sheet(ui, workbook::RunningSpreadsheet(h.objects));
    const auto top = [&](DialogId id) { return ui.FormWindow(h.module.Dialog(id)); };
    const auto clickCell = [&](Long row, Long col) {
        sheet.Sync();
        QTest::mouseClick(sheet.Grid(), Qt::LeftButton, {},
                          sheet.Grid()->mapFrom(&sheet, sheet.CellRect(row, col).center()));
    };
    const std::string door = (kExamples / "door_schedule.xlsx").string();
    const std::string titleBlock = (kExamples / "title_block.xlsx").string();

    // The range import beside the sheet window, corners picked in the sheet.
    {
        auto& d = *driver;
        d.Click("btnBrowse");
        d.ChooseFile(door);
        d.Wait(300);
        d.Call([&] {
            sheet.showNormal();
            sheet.resize(980, 560);
            clickCell(1, 1);
        });
        d.Click("btnUpdateTL");
        d.Call([&] { clickCell(10, 8); });
        d.Click("btnUpdateBR");
        d.Wait(300);
        d.Call([&] {
            Save(top(DialogId::CellRangeForm), out / "range_dialog.png");
            Save(&sheet, out / "sheet_window.png");
        });
        d.Click("btnCancel");
        CaptureArguments a;
        a.QVPath = root.string();
        h.app.BuildCell(a);
    }
    // The update's progress window, caught as it starts, on its first and second showing
    // (the second reuses the dialog's default instance).
    for (const char* shot : {"update_progress.png", "update_progress_again.png"}) {
        auto& d = *driver;
        d.Wait(900);
        d.Call([&, shot] { Save(top(DialogId::DeepUpdateForm), out / shot); });
        CaptureArguments a;
        a.fileName0 = door, a.sheetName0 = "Doors";
        a.startRow0 = 1, a.endRow0 = 10, a.startCol0 = 1, a.endCol0 = 8;
        h.app.DeepUpdate(a);
    }
    // The block dialogs on the title block example.
    for (const bool make : {true, false}) {
        auto& d = *driver;
        d.Click("btnBrowseExcel");
        d.ChooseFile(titleBlock);
        d.Wait(300);
        d.Call([&] { clickCell(2, 2); });
        d.Click("btnUpdate1");
        d.Wait(200);
        d.Call([&] {
            const auto id = make ? DialogId::MakeBlockForm : DialogId::InsertBlockForm;
            Save(top(id), out / (make ? "link_block.png" : "insert_block.png"));
        });
        d.Click("btnCancel");
        TagPosArray tags0 = host::ReadTags((kExamples / "title_block_tags.json").string()), tags1;
        std::string file, sheetName, qv = root.string();
        if (make) {
            h.app.MakeBlock(tags0, tags1, file, sheetName, qv);
        } else {
            h.app.InsertBlock(tags0, tags1, file, sheetName);
        }
    }
    // Populate, export of drawing names, reset of the last used cell.
    {
        auto& d = *driver;
        d.Click("btnBrowseExcel");
        d.ChooseFile(door);
        d.Wait(300);
        d.Call([&] { Save(top(DialogId::DistributeForm), out / "populate.png"); });
        d.Click("btnCancel");
        Integer r1 = 0, r2 = 0, rn = 0, c1 = 0, c2 = 0, cn = 0;
        std::string templatePath, outputPath, excelPath, sheetName, dwgdgn = "dgn",
                                                                    qv = root.string();
        h.app.Populate(r1, r2, rn, c1, c2, cn, templatePath, outputPath, excelPath, sheetName,
                       dwgdgn, qv);
    }
    {
        auto& d = *driver;
        d.Wait(200);
        d.Call([&] { Save(top(DialogId::MultiDGNsForm), out / "export_drawing_names.png"); });
        d.Click("btnCancel");
        std::string format = "dgn";
        h.app.ExportDGNName(format);
    }
    {
        auto& d = *driver;
        d.Click("btnBrowse");
        d.ChooseFile(door);
        d.Wait(300);
        d.Call([&] { Save(top(DialogId::MakeLUCForm), out / "reset_last_used_cell.png"); });
        d.Click("btnCancel");
        h.app.SetLUC();
    }
    // The document import's progress window.
    {
        auto& d = *driver;
        d.ChooseFile((kExamples / "notes.docx").string());
        d.Wait(300);
        d.Call([&] { Save(top(DialogId::WordProgressForm), out / "document_progress.png"); });
        WordLineArray lines;
        Integer pages = 0;
        Single pw = 0, ph = 0;
        std::string file;
        h.app.ParseWord(lines, pages, pw, ph, file);
    }
    std::error_code ec;
    fs::remove_all(root, ec);
    return 0;
}

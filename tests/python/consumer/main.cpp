// Imports a sheet's used area through the installed library, as a CAD host's macro
// does, and prints the range, the first cell's text and the number of fonts.
#include <tbln/tbln.hpp>

#include <iostream>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: consumer ROOT BOOK SHEET\n";
        return 2;
    }
    tbln::Session session(argv[1]);
    session.InstallReader();
    session.RangeDialog(argv[2], argv[3], "");
    std::string fileName0, sheetName0, dwgdgn = "dwg", qvPath;
    std::shared_ptr<tbln::Collection> excelFonts0;
    tbln::MyCellArray dgnCell0;
    tbln::MyShapeArray xlsShape0;
    tbln::MyImageArray xlsImage0;
    tbln::Single totalHeight0 = 0, totalWidth0 = 0;
    tbln::Integer startRow0 = 0, endRow0 = 0, startCol0 = 0, endCol0 = 0;
    tbln::Boolean fastUpdate0 = tbln::False;
    const tbln::Boolean result = session.App().BuildCell(
        fileName0, sheetName0, excelFonts0, dgnCell0, xlsShape0, xlsImage0, totalHeight0,
        totalWidth0, startRow0, endRow0, startCol0, endCol0, dwgdgn, qvPath, fastUpdate0);
    if (result == tbln::False) return 1;
    std::cout << sheetName0 << " " << startRow0 << ":" << endRow0 << " " << startCol0 << ":"
              << endCol0 << " " << dgnCell0(startRow0, startCol0)->Value << " "
              << excelFonts0->Count() << "\n";
    return 0;
}

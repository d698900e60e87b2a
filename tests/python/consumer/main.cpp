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
    tbln::CaptureArguments a;
    if (session.App().BuildCell(a) == tbln::False) return 1;
    std::cout << a.sheetName0 << " " << a.startRow0 << ":" << a.endRow0 << " " << a.startCol0 << ":"
              << a.endCol0 << " " << a.dgnCell0(a.startRow0, a.startCol0)->Value << " "
              << a.excelFonts0->Count() << "\n";
    return 0;
}

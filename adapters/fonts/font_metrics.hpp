// Font metrics of the installed fonts, for the document layout and the spreadsheet's
// column widths: fontconfig finds the font file for a family, weight and slant
// (Debian's metric-compatible fonts stand in for the office fonts: Liberation for
// Arial, Times New Roman and Courier New, Carlito for Calibri, Caladea for Cambria),
// FreeType reads its unhinted advance widths and its ascent and descent as the word
// processor uses them (the Windows metrics of the OS/2 table where present).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <unordered_map>

namespace tbln::fonts {

// Word processors lay text out in whole twips (1/20 pt): points rounded to one.
double Twip(double points);

class FontMetrics {
  public:
    FontMetrics();
    ~FontMetrics();
    FontMetrics(const FontMetrics&) = delete;
    FontMetrics& operator=(const FontMetrics&) = delete;

    // Advance width of the character in points at the size, in whole twips.
    double Advance(const std::string& family, bool bold, bool italic, double size, char32_t c);
    // Ascent and descent in points at the size (both positive), as the font gives them:
    // a line's text height is their sum in whole twips.
    double Ascent(const std::string& family, bool bold, bool italic, double size);
    double Descent(const std::string& family, bool bold, bool italic, double size);
    // The font's line gap (external leading) in points at the size, in whole twips.
    double LineGap(const std::string& family, bool bold, bool italic, double size);
    // The widest of the digits 0 to 9 in whole pixels at 96 dpi (the regular face at
    // the size in points): the unit of the spreadsheet's column widths.
    int MaxDigitPixels(const std::string& family, double size);
    // The file (and face index in it) that the layout uses for the family, weight and
    // slant; an empty path when fontconfig finds none.
    std::string FontFile(const std::string& family, bool bold, bool italic, int& index) const;

  private:
    struct Face;
    Face& Get(const std::string& family, bool bold, bool italic);

    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tbln::fonts

// Font metrics for the layout: fontconfig finds the font file for a family, weight
// and slant (Debian's Liberation fonts stand in, metric for metric, for Arial, Times
// New Roman and Courier New), FreeType reads its unhinted advance widths and its
// ascent and descent as the word processor uses them (the Windows metrics of the OS/2
// table where present).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <unordered_map>

namespace tbln::document {

class FontMetrics {
  public:
    FontMetrics();
    ~FontMetrics();
    FontMetrics(const FontMetrics&) = delete;
    FontMetrics& operator=(const FontMetrics&) = delete;

    // Advance width of the character in points at the size.
    double Advance(const std::string& family, bool bold, bool italic, double size, char32_t c);
    // Ascent and descent in points at the size (both positive).
    double Ascent(const std::string& family, bool bold, bool italic, double size);
    double Descent(const std::string& family, bool bold, bool italic, double size);
    // The font's line gap (external leading) in points at the size.
    double LineGap(const std::string& family, bool bold, bool italic, double size);
    // The file (and face index in it) that the layout uses for the family, weight and
    // slant; an empty path when fontconfig finds none.
    std::string FontFile(const std::string& family, bool bold, bool italic, int& index) const;

  private:
    struct Face;
    Face& Get(const std::string& family, bool bold, bool italic);

    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tbln::document

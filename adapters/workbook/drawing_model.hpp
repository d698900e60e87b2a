// The engine's model of a sheet's drawing: the shapes and pictures of its DrawingML
// part (or of a legacy workbook's Office Drawing records) in drawing order, each with
// its anchor and the properties Excel reports.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/numeric.hpp"

namespace tbln::workbook {

inline constexpr double kEmuPerPoint = 12700;
// Limits on untrusted drawings.
inline constexpr std::size_t kMaxDrawingObjects = 100'000;
inline constexpr std::size_t kMaxTextPerShape = 1'000'000;

// Where an object sits: between two cells, at one cell with its own size, or at a
// position on the sheet. Cells are 0-based here as in the file; offsets are in EMU.
struct DrawingAnchor {
    enum class Kind { TwoCell, OneCell, Absolute };
    Kind kind = Kind::TwoCell;
    Long fromCol = 0, fromRow = 0, toCol = 0, toRow = 0;
    std::int64_t fromColOff = 0, fromRowOff = 0, toColOff = 0, toRowOff = 0;
    std::int64_t x = 0, y = 0, cx = 0, cy = 0;  // Absolute: position; OneCell/Absolute: size
};

struct DrawingObject {
    std::string name;
    Integer type = 1;            // Excel's shape type (msoAutoShape, msoLine, msoPicture...)
    Integer autoShapeType = -2;  // Excel's auto-shape code; -2 (mixed) where there is none
    std::string preset;          // the preset geometry's name ("rect", "roundRect", "line"...)
    DrawingAnchor anchor;
    double rotation = 0;  // degrees clockwise
    bool flipH = false, flipV = false;
    std::vector<double> adjustments;  // as Excel reports them: fractions, or degrees for angles

    bool hasTextFrame = false;
    std::string text;      // paragraphs separated by line feeds
    double fontSize = 11;  // points
    std::string fontName;  // resolved from the theme when the text names a theme font

    bool filled = false;  // a visible fill
    std::uint32_t fillRgb = 0xFFFFFF;
    double lineWeight = 0.75;  // points
    Integer dashStyle = 1;     // msoLineSolid
    Integer beginArrowStyle = 1, beginArrowWidth = 2, endArrowStyle = 1, endArrowWidth = 2;

    std::string mediaPart;  // pictures: the package part of the image, "" when linked or missing
    // Pictures of a legacy workbook, which has no package parts: the image file itself
    // (`mediaPart` then only names it).
    std::shared_ptr<const std::string> mediaBytes;
    bool mediaMissing = false;
};

struct DrawingModel {
    std::string part;   // the drawing part, "" when the sheet has none
    std::string error;  // why the drawing could not be read; the cells are still read
    std::vector<DrawingObject> objects;
    bool warned = false;  // the error has been shown to the user
};

}  // namespace tbln::workbook

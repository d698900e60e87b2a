// The spreadsheet port: the members of Excel's automation object model that the
// library calls, and nothing more. Every member may raise RuntimeError, as a
// late-bound call into Excel may; callers trap exactly where their routine says so.
//
// Lengths are in points. Rows and columns are 1-based. Objects are handed out as
// std::shared_ptr and stay valid while held, like automation references.
#pragma once

#include <memory>
#include <string>

#include "core/array.hpp"
#include "core/numeric.hpp"
#include "platform/objects.hpp"

namespace tbln::excel {

class Application;
class Workbook;
class Worksheet;

// A range of cells: one cell, an address's areas, whole rows or columns.
class Range : public Object {
  public:
    virtual Long Row() = 0;     // first row
    virtual Long Column() = 0;  // first column
    virtual Long Count() = 0;   // number of cells (of rows for Rows(), of columns for Columns())
    virtual std::shared_ptr<Range> Rows() = 0;
    virtual std::shared_ptr<Range> Columns() = 0;
    // The displayed text of the first cell, as its number format shows it ("" when empty).
    virtual std::string Text() = 0;
    // Sets the value of every cell to this text.
    virtual void SetValue(const std::string& value) = 0;
    // Height of the range's rows and width of its columns; 0 for hidden ones.
    virtual double Height() = 0;
    virtual double Width() = 0;
    // Width of the first column in characters of the workbook's default font.
    virtual double ColumnWidth() = 0;
    virtual void SetColumnWidth(double characters) = 0;
    // Whether the first cell belongs to a merged area, and that area (the cell itself when not).
    virtual bool MergeCells() = 0;
    virtual std::shared_ptr<Range> MergeArea() = 0;
    virtual void Select() = 0;
    virtual void Activate() = 0;
    // Deletes the cells; whole rows shift up, other blocks shift left.
    virtual void Delete() = 0;
    virtual std::shared_ptr<excel::Worksheet> Worksheet() = 0;
};

class Font : public Object {
  public:
    virtual double Size() = 0;
    virtual std::string Name() = 0;
};

class Characters : public Object {
  public:
    virtual std::string Text() = 0;
    virtual std::shared_ptr<excel::Font> Font() = 0;
};

class TextFrame : public Object {
  public:
    virtual std::shared_ptr<excel::Characters> Characters() = 0;
};

class ColorFormat : public Object {
  public:
    // The legacy palette index plus 7 (black is 8).
    virtual Integer SchemeColor() = 0;
};

class FillFormat : public Object {
  public:
    virtual std::shared_ptr<ColorFormat> ForeColor() = 0;
};

class LineFormat : public Object {
  public:
    virtual Integer DashStyle() = 0;
    virtual double Weight() = 0;
    virtual Integer BeginArrowheadStyle() = 0;
    virtual Integer BeginArrowheadWidth() = 0;
    virtual Integer EndArrowheadStyle() = 0;
    virtual Integer EndArrowheadWidth() = 0;
};

class ShapeNode : public Object {
  public:
    // The node's point: a 1 x 2 array, x at (1, 1) and y at (1, 2).
    virtual Array2D<Single> Points() = 0;
};

class ShapeNodes : public Object {
  public:
    virtual Long Count() = 0;
    virtual std::shared_ptr<ShapeNode> Item(Long index) = 0;
};

class Adjustments : public Object {
  public:
    virtual Long Count() = 0;
    virtual double Item(Long index) = 0;
};

// Shape types and auto-shape types the library distinguishes.
inline constexpr Integer msoAutoShape = 1;
inline constexpr Integer msoLine = 9;
inline constexpr Integer msoPicture = 13;
inline constexpr Integer msoTextBox = 17;
inline constexpr Integer msoShapeRectangle = 1;
inline constexpr Integer msoShapeRoundedRectangle = 5;
inline constexpr Integer msoShapeOval = 9;
inline constexpr Integer msoShapeArc = 25;
inline constexpr Integer msoTrue = -1;
inline constexpr Integer msoFalse = 0;

class Shape : public Object {
  public:
    virtual std::string Name() = 0;
    virtual Integer Type() = 0;
    virtual Integer AutoShapeType() = 0;
    virtual double Top() = 0;
    virtual double Left() = 0;
    virtual double Height() = 0;
    virtual double Width() = 0;
    virtual std::shared_ptr<Range> TopLeftCell() = 0;
    virtual double Rotation() = 0;
    // msoTrue (-1) or msoFalse (0).
    virtual Integer HorizontalFlip() = 0;
    virtual Integer VerticalFlip() = 0;
    virtual std::shared_ptr<ShapeNodes> Nodes() = 0;
    virtual std::shared_ptr<excel::Adjustments> Adjustments() = 0;
    // Raises an error for a shape that has no text frame.
    virtual std::shared_ptr<excel::TextFrame> TextFrame() = 0;
    virtual std::shared_ptr<FillFormat> Fill() = 0;
    virtual std::shared_ptr<LineFormat> Line() = 0;
};

class Shapes : public Object {
  public:
    virtual Long Count() = 0;
    // 1-based, in the sheet's drawing order.
    virtual std::shared_ptr<Shape> Item(Long index) = 0;
};

class Picture : public Object {
  public:
    virtual std::string Name() = 0;
    virtual double Top() = 0;
    virtual double Left() = 0;
    virtual double Height() = 0;
    virtual double Width() = 0;
    virtual std::shared_ptr<Range> TopLeftCell() = 0;
};

class Worksheet : public Object {
  public:
    virtual std::string Name() = 0;
    virtual void Activate() = 0;
    virtual void Select() = 0;
    virtual std::shared_ptr<excel::Range> Cells(Long row, Long column) = 0;
    // An address in A1 notation: "B2:D4", "B5,C7", "13:65536", "C:C". Raises 1004 when invalid.
    virtual std::shared_ptr<excel::Range> Range(const std::string& address) = 0;
    virtual std::shared_ptr<excel::Range> Range(const std::shared_ptr<excel::Range>& cell1,
                                                const std::shared_ptr<excel::Range>& cell2) = 0;
    virtual std::shared_ptr<excel::Range> Columns(Long column) = 0;
    virtual std::shared_ptr<excel::Shapes> Shapes() = 0;
    // The k-th picture (1-based) in the sheet's picture order.
    virtual std::shared_ptr<excel::Picture> Pictures(Long index) = 0;
    virtual std::shared_ptr<excel::Application> Application() = 0;
};

class Sheets : public Object {
  public:
    virtual Long Count() = 0;
    virtual std::shared_ptr<Worksheet> Item(Long index) = 0;
    // Raises 9 when the workbook has no sheet of that name (compared without regard to case).
    virtual std::shared_ptr<Worksheet> Item(const std::string& name) = 0;
};

class Workbook : public Object {
  public:
    virtual std::string Name() = 0;
    virtual std::string FullName() = 0;
    virtual void Activate() = 0;
    virtual std::shared_ptr<Worksheet> ActiveSheet() = 0;
    virtual std::shared_ptr<excel::Sheets> Sheets() = 0;
    std::shared_ptr<Worksheet> Sheets(const std::string& name) { return Sheets()->Item(name); }
    virtual void Save() = 0;
};

class Workbooks : public Object {
  public:
    virtual Long Count() = 0;
    virtual std::shared_ptr<Workbook> Item(Long index) = 0;
    // Opens the workbook file; raises an error whose description says why it cannot.
    virtual std::shared_ptr<Workbook> Open(const std::string& path) = 0;
};

// Excel's Application object. Its Application property is the object itself, so the
// port leaves it out: code that reads xlApp.Application uses the object it holds.
class Application : public Object {
  public:
    virtual std::string Caption() = 0;
    virtual bool Visible() = 0;
    virtual void SetVisible(bool visible) = 0;
    virtual bool ScreenUpdating() = 0;
    virtual void SetScreenUpdating(bool updating) = 0;
    virtual std::shared_ptr<excel::Workbooks> Workbooks() = 0;
    // nullptr when no workbook is open.
    virtual std::shared_ptr<Workbook> ActiveWorkbook() = 0;
    virtual std::shared_ptr<Worksheet> ActiveSheet() = 0;
    virtual std::shared_ptr<excel::Range> ActiveCell() = 0;
    // The active sheet's cells, ranges and columns.
    virtual std::shared_ptr<excel::Range> Cells(Long row, Long column) = 0;
    virtual std::shared_ptr<excel::Range> Range(const std::string& address) = 0;
    virtual std::shared_ptr<excel::Range> Range(const std::shared_ptr<excel::Range>& cell1,
                                                const std::shared_ptr<excel::Range>& cell2) = 0;
    virtual std::shared_ptr<excel::Range> Columns(Long column) = 0;
    // Excel's own file chooser: the chosen path, or the text "False" when cancelled.
    virtual std::string GetOpenFilename(const std::string& fileFilter) = 0;
};

}  // namespace tbln::excel

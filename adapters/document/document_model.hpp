// The embedded document engine's model of one .docx file: the main story as one
// sequence of characters (a paragraph mark, code 13, closes each paragraph), the
// resolved formatting of every character, the paragraphs with their resolved
// paragraph and list properties, and the sections' page geometry. Lengths are in points.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "adapters/opc/package.hpp"

namespace tbln::document {

// Limits on untrusted documents (those of the package are opc::PackageLimits).
inline constexpr std::size_t kMaxStoryChars = 50u * 1000u * 1000u;

// Characters of the story with a meaning of their own (Word's codes).
inline constexpr char32_t kInlineObject = 1;
inline constexpr char32_t kTab = 9;
inline constexpr char32_t kLineBreak = 11;
inline constexpr char32_t kPageBreak = 12;
inline constexpr char32_t kParagraphMark = 13;
inline constexpr char32_t kColumnBreak = 14;
inline constexpr char32_t kOptionalHyphen = 31;  // shown only where a line breaks at it

struct RunFormat {
    std::string font = "Times New Roman";
    double size = 10;  // points
    bool bold = false;
    bool italic = false;
    long underline = 0;  // Word's underline kind, 0 none
    bool superscript = false;
    bool subscript = false;
    bool hidden = false;
    double spacing = 0;     // points added after each character (negative: condensed)
    double scale = 100;     // the characters' width, percent
    std::string styleFont;  // the font of the character's style (character, else paragraph)

    bool operator==(const RunFormat&) const = default;
};

struct TabStop {
    double position = 0;  // from the text area's left edge
    bool clear = false;
};

enum class LineRule { Auto, Exact, AtLeast };

struct ParagraphFormat {
    long alignment = 0;  // Word's: 0 left, 1 centre, 2 right, 3 justified, 4 distributed...
    double indentLeft = 0;
    double indentRight = 0;
    double firstLine = 0;  // negative for a hanging indent
    double spaceBefore = 0;
    double spaceAfter = 0;
    LineRule lineRule = LineRule::Auto;
    double line = 1.0;  // a multiple for Auto, points otherwise
    bool pageBreakBefore = false;
    bool keepNext = false;
    bool keepLines = false;
    bool widowControl = false;
    bool contextualSpacing = false;
    // Spacing chosen as for a web page (14 pt), left out at the edges of the story and of
    // a table cell and between the items of a list.
    bool autoBefore = false;
    bool autoAfter = false;
    // The room the paragraph's borders take above its first line, below its last and
    // between it and a paragraph before it framed with it; paragraphs next to each other
    // with the same (non-empty) frame are framed as one.
    double borderTop = 0;
    double borderBottom = 0;
    double borderBetween = 0;
    std::string frame;
    std::vector<TabStop> tabs;
    std::string styleId;
};

// Where a paragraph sits when it belongs to a table cell.
struct CellPlace {
    int table = -1;  // -1: not in a table
    int row = 0;
    // A table nested in a cell stacks its rows in that (outer) cell, each row's cells
    // side by side from its top: `nestedRow` numbers the nested row the paragraph is in
    // (-1: the outer cell's own text), `outerLeft` is the outer cell's `left`.
    int nestedRow = -1;
    double outerLeft = 0;
    double left = 0;   // the text area's left edge, from the page margin
    double width = 0;  // the text area's width
    double top = 0;    // the cell's margins above and below its text
    double bottom = 0;
    // The row: its height rule, whether it may break across pages, and the table's
    // spacing between cells (above every row and below the last).
    LineRule heightRule = LineRule::Auto;  // Auto: as high as its contents
    double height = 0;
    bool cantSplit = false;
    double spacing = 0;
    // The width of the horizontal border above the row's cells, and of the table's
    // bottom border below its last row.
    double borderAbove = 0;
    double borderBelow = 0;
    // With spacing between cells: the width of the cells' own bottom borders below the
    // row's text.
    double cellsBelow = 0;
    // Vertically merged cells: 'r' starts a merge that runs on into the rows below, 'c'
    // continues the one above (its text is not shown in a row of its own).
    char merge = 0;
    bool header = false;  // a heading row, repeated at the top of each page the table runs on
    // A table whose width is a share of the text area (widthShare > 0) has its grid
    // scaled to it: the cell's place in the grid, and the grid's whole width.
    double widthShare = 0;
    double gridLeft = 0, gridWidth = 0, gridTotal = 0;
    // A table centred ('c') or set against the right edge ('r') of the text area, its
    // grid `gridTotal` wide: `left` is then from the table's own left edge.
    char align = 0;
    // The cell's text set against the middle ('c') or the foot ('b') of its row.
    char vAlign = 0;
};

// Whether two places are the same cell (a nested table's cells are cells of their own),
// or both outside tables.
inline bool SameCell(const CellPlace& a, const CellPlace& b) {
    return a.table == b.table && a.row == b.row && a.nestedRow == b.nestedRow && a.left == b.left;
}

struct Paragraph {
    std::size_t start = 0;  // first character
    std::size_t end = 0;    // the paragraph mark's position
    ParagraphFormat format;
    std::string listString;  // UTF-8, "" outside lists
    long listType = 0;       // Word's list type
    RunFormat listFormat;    // the font of the number or bullet
    char listSuffix = '\t';  // '\t', ' ' or 0
    std::size_t section = 0;
    CellPlace cell;
};

struct Section {
    double pageWidth = 612;
    double pageHeight = 792;
    double top = 72;
    double bottom = 72;
    double left = 90;
    double right = 90;
    bool continuous = false;  // starts on the same page as the section before
    // Headers and footers: their distance from the page's edge, and their stories
    // (indexes into DocumentModel::headerFooters, -1 for none): on every page, on even
    // pages when the document sets those apart (DocumentModel::evenAndOddHeaders), and
    // on the section's first page when it has one of its own (titlePage).
    struct HeaderFooter {
        int header = -1, footer = -1;
    };
    double header = 36, footer = 36;
    HeaderFooter every, even, first;
    bool titlePage = false;
};

// A floating object (a picture, shape or text box anchored in a paragraph): where it
// stands and how text wraps around it. Its text is not part of the main story.
struct FloatingObject {
    enum class From { Paragraph, Line, Page, Margin };
    enum class Wrap { None, TopAndBottom, Square };  // None: in front of or behind the text
    std::size_t paragraph = 0;                       // the anchor
    From fromV = From::Paragraph;
    double y = 0;  // from the top of what fromV names
    double x = 0;  // from the text area's left edge, or the page's when fromPageH
    bool fromPageH = false;
    char alignH = 0;  // 'l', 'c', 'r': aligned in the text area instead of placed at x
    double width = 0, height = 0;
    double distTop = 0, distBottom = 0;  // the space kept free above and below
    Wrap wrap = Wrap::None;
};

// A footnote: its reference's position in the main story and its paragraphs in the
// footnotes' own story.
struct Footnote {
    std::size_t reference = 0;
    std::size_t first = 0, end = 0;  // paragraphs [first, end) of the notes' story
};

// The characters of a story, kept in blocks of a fixed size: growing never copies what
// is already there, so a long story takes four bytes a character and no more.
class StoryText {
  public:
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    char32_t operator[](std::size_t i) const { return blocks_[i / kBlock][i % kBlock]; }
    void push_back(char32_t c) {
        if (size_ % kBlock == 0) {
            blocks_.emplace_back();
            blocks_.back().reserve(kBlock);
        }
        blocks_.back().push_back(c);
        ++size_;
    }
    StoryText& operator+=(char32_t c) {
        push_back(c);
        return *this;
    }

  private:
    static constexpr std::size_t kBlock = 1u << 16;
    std::vector<std::vector<char32_t>> blocks_;
    std::size_t size_ = 0;
};

struct DocumentModel {
    std::string path;
    StoryText text;  // the main story
    // The characters' formats as runs: each from its first character up to the next
    // run's (indexes into formats), so that memory follows the runs, not the characters.
    struct FormatRun {
        std::size_t start = 0;
        std::uint32_t format = 0;
    };
    std::vector<FormatRun> formatRuns;
    std::vector<RunFormat> formats;
    // Inline pictures and shapes: one character (code 1) each, with their size in points.
    std::map<std::size_t, std::pair<double, double>> objects;
    std::vector<Paragraph> paragraphs;
    std::vector<FloatingObject> floats;  // in the order of their anchors
    std::vector<Section> sections;
    double defaultTab = 36;
    int compatibilityMode = 12;  // the word-processor version whose layout rules apply
    // Footnotes in the order of their references. Their text is a story of its own, set
    // at the foot of the page of the reference below the separator (the notes' story's
    // paragraphs [0, separatorEnd)); it is not part of the main story.
    std::vector<Footnote> footnotes;
    std::shared_ptr<DocumentModel> notes;
    std::size_t separatorEnd = 0;
    // The headers' and footers' stories. They are not part of the main story; a header
    // or footer taller than its margin pushes the text area away from the page's edge.
    std::vector<std::shared_ptr<const DocumentModel>> headerFooters;
    bool evenAndOddHeaders = false;

    // The format of the character at position i.
    const RunFormat& FormatAt(std::size_t i) const {
        auto it = std::upper_bound(formatRuns.begin(), formatRuns.end(), i,
                                   [](std::size_t p, const FormatRun& r) { return p < r.start; });
        return formats[it == formatRuns.begin() ? 0 : std::prev(it)->format];
    }
};

// Reads a .docx file; raises RuntimeError naming the file and the problem.
DocumentModel ReadDocx(const std::string& path, opc::PackageLimits limits = {});

}  // namespace tbln::document

// Drawings of legacy .xls workbooks: LibreOffice saves the drawing fixtures (.xlsx) as
// .xls, and the engine must find the same shapes, texts and pictures in the same places.
// The Office Drawing records themselves are cut and damaged in memory, and the real
// workbooks of the corpus read.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <list>

#include "adapters/workbook/embedded_shapes.hpp"
#include "adapters/workbook/package.hpp"
#include "adapters/workbook/sheet_geometry.hpp"
#include "adapters/workbook/workbook_model.hpp"
#include "adapters/workbook/xls/biff_records.hpp"
#include "adapters/workbook/xls/compound_file.hpp"
#include "adapters/workbook/xls/xls_drawing.hpp"
#include "core/error.hpp"
#include "platform/excel.hpp"
#include "support/test_platform.hpp"

namespace tbln {
namespace {

namespace fs = std::filesystem;
using testing::Fixture;
using testing::TempDir;
using namespace workbook;

const SheetModel& SheetNamed(const WorkbookModel& book, const std::string& name) {
    for (const auto& s : book.sheets) {
        if (s.name == name) return s;
    }
    throw std::runtime_error("no sheet " + name);
}

const DrawingObject* ObjectNamed(const SheetModel& sheet, const std::string& name) {
    for (const auto& o : sheet.drawing.objects) {
        if (o.name == name) return &o;
    }
    return nullptr;
}

// A position on the sheet as the cell holding it and the fraction of that cell before
// it, along the columns or along the rows.
struct Place {
    Long cell;
    double fraction;
};

template <class Size>
Place PlaceOf(double x, Size size, Long count) {
    double start = 0;
    for (Long i = 1; i < count; ++i) {
        const double w = size(i);
        if (x < start + w) return {i, (x - start) / w};
        start += w;
    }
    return {count, 0};
}

// Where a position of one workbook lies in another whose columns or rows have other
// sizes: at the same fraction of the same cell.
template <class Size>
double SamePlace(const Place& p, Size size) {
    double start = 0;
    for (Long i = 1; i < p.cell; ++i) start += size(i);
    return start + p.fraction * size(p.cell);
}

struct Expected {
    const char* name;
    Integer type, autoShapeType;  // as the .xls has them
    // LibreOffice anchors a turned shape in its .xls by other corners than in its
    // .xlsx; for those, the top as LibreOffice reads the .xls (it saves it as .xlsx with
    // that top), 0 for the others.
    double turnedTop = 0;
};

struct Pair {
    const char* file;  // the fixture without its extension
    const char* sheet;
    std::vector<Expected> objects;
};

// Each .xls holds the objects of the .xlsx it was saved from, in the same order and
// places: rows within a pixel; columns within a pixel plus the 6 % by which LibreOffice's
// idea of a column's width exceeds the spreadsheet's when it turns an offset into
// 1/1024 of the column. LibreOffice saves text boxes as rectangles holding text and its
// own shape geometry (rounded rectangles, ovals, arcs) as freeforms.
TEST(LegacyDrawing, ShapesAndPicturesAsInTheWorkbookTheyWereSavedFrom) {
    const std::vector<Pair> pairs = {
        {"drawing_xlsxwriter",
         "Drawing",
         {{"Picture 1", 13, 1}, {"Picture 2", 13, 1}, {"TextBox 3", 1, 1}, {"TextBox 4", 1, 1}}},
        {"drawing_formats",
         "Pictures",
         {{"Picture 1", 13, 1}, {"Picture 2", 13, 1}, {"TextBox 3", 1, 1}}},
        {"drawing_libreoffice",
         "Shapes",
         {{"Black box", 1, 1},
          {"Rounded", 5, -2},
          {"Oval", 5, -2},
          {"Arc", 5, -2},
          {"Flipped arc", 5, -2},
          {"Turned", 1, 1, 226.7},
          {"Quarter", 1, 1, 242.98},
          {"Rising", 9, -2},
          {"Falling", 9, -2},
          {"Level", 9, -2}}},
    };
    for (const auto& pair : pairs) {
        SCOPED_TRACE(pair.file);
        const auto xls = LoadWorkbook(Fixture(std::string(pair.file) + ".xls"));
        const auto xlsx = LoadWorkbook(Fixture(std::string(pair.file) + ".xlsx"));
        const Package package(Fixture(std::string(pair.file) + ".xlsx"));
        const auto& sheet = SheetNamed(*xls, pair.sheet);
        const auto& original = SheetNamed(*xlsx, pair.sheet);
        EXPECT_TRUE(sheet.drawing.error.empty()) << sheet.drawing.error;
        ASSERT_EQ(sheet.drawing.objects.size(), pair.objects.size());
        ASSERT_EQ(original.drawing.objects.size(), pair.objects.size());
        for (std::size_t i = 0; i < pair.objects.size(); ++i) {
            const auto& want = pair.objects[i];
            const auto& o = sheet.drawing.objects[i];
            const auto& x = original.drawing.objects[i];
            SCOPED_TRACE(want.name);
            EXPECT_EQ(o.name, want.name);
            EXPECT_EQ(x.name, want.name);
            EXPECT_EQ(o.type, want.type);
            EXPECT_EQ(o.autoShapeType, want.autoShapeType);
            const auto f = FrameOf(*xls, sheet, o), g = FrameOf(*xlsx, original, x);
            const auto width = [&](const WorkbookModel& b, const SheetModel& s) {
                return [&b, &s](Long c) { return ColumnWidthPoints(b, s, c); };
            };
            const auto height = [&](const WorkbookModel& b, const SheetModel& s) {
                return [&b, &s](Long r) { return RowHeightPoints(b, s, r); };
            };
            const double pixel = 0.75;
            // A quarter turn makes the frame's height a width, measured along the columns.
            const double slack = pixel + 0.06 * std::max(f.height, f.width);
            if (want.turnedTop != 0) {
                EXPECT_NEAR(f.top, want.turnedTop, slack);
            }
            for (const double edge : {g.top, g.top + g.height}) {
                if (want.turnedTop != 0) break;
                const Place p = PlaceOf(edge, height(*xlsx, original), kMaxRows);
                const double there = SamePlace(p, height(*xls, sheet));
                const double got = edge == g.top ? f.top : f.top + f.height;
                EXPECT_NEAR(got, there, pixel) << "row " << p.cell;
            }
            for (const double edge : {g.left, g.left + g.width}) {
                if (want.turnedTop != 0) break;
                const Place p = PlaceOf(edge, width(*xlsx, original), kMaxCols);
                const double there = SamePlace(p, width(*xls, sheet));
                const double got = edge == g.left ? f.left : f.left + f.width;
                // How far into its column each of the two lies.
                const Place q = PlaceOf(got, width(*xls, sheet), kMaxCols);
                const double into = std::max(p.fraction * ColumnWidthPoints(*xls, sheet, p.cell),
                                             q.fraction * ColumnWidthPoints(*xls, sheet, q.cell));
                EXPECT_NEAR(got, there, pixel + 0.06 * into) << "column " << p.cell;
            }
            EXPECT_DOUBLE_EQ(o.rotation, x.rotation);
            EXPECT_EQ(o.flipH, x.flipH);
            EXPECT_EQ(o.flipV, x.flipV);
            EXPECT_EQ(o.hasTextFrame, x.hasTextFrame);
            EXPECT_EQ(o.text, x.text);
            if (x.hasTextFrame) {
                EXPECT_EQ(o.fontName, x.fontName);
                EXPECT_DOUBLE_EQ(o.fontSize, x.fontSize);
            }
            EXPECT_EQ(o.filled, x.filled);
            if (x.filled) {
                EXPECT_EQ(o.fillRgb, x.fillRgb);
            }
            EXPECT_EQ(o.beginArrowStyle, x.beginArrowStyle);
            EXPECT_EQ(o.endArrowStyle, x.endArrowStyle);
            EXPECT_EQ(o.beginArrowWidth, x.beginArrowWidth);
            EXPECT_EQ(o.endArrowWidth, x.endArrowWidth);
            if (o.type == excel::msoPicture) {
                // The picture store holds the very image file of the package.
                ASSERT_TRUE(o.mediaBytes);
                EXPECT_EQ(*o.mediaBytes, package.Read(x.mediaPart));
                EXPECT_EQ(fs::path(o.mediaPart).extension(), fs::path(x.mediaPart).extension());
                EXPECT_FALSE(o.mediaMissing);
            }
        }
    }
    // LibreOffice writes the dashes of its lines as long dashes and leaves the width of
    // a hairline to the default.
    const auto shapes = LoadWorkbook(Fixture("drawing_libreoffice.xls"));
    const auto* falling = ObjectNamed(SheetNamed(*shapes, "Shapes"), "Falling");
    ASSERT_NE(falling, nullptr);
    EXPECT_EQ(falling->dashStyle, 7);
    EXPECT_DOUBLE_EQ(falling->lineWeight, 0.75);
    const auto* rising = ObjectNamed(SheetNamed(*shapes, "Shapes"), "Rising");
    ASSERT_NE(rising, nullptr);
    EXPECT_EQ(rising->dashStyle, 1);
    EXPECT_NEAR(rising->lineWeight, 35 / 100.0 / 25.4 * 72, 0.01);  // 0.35 mm
}

// Texts with formatting runs read as their characters: a shared string of three runs,
// and a text box of two lines whose font is its first run's (the text record's font
// for empty text is another).
// The first sheet's text box is placed while the workbook loads, before the second
// sheet's columns (stored for 9-pixel digits) are read: the digit width still comes from
// every sheet's columns, and the box is placed with it. Nine pixels is the default
// font's digit at 120 dpi, so the pixels are 1/120 inch.
TEST(LegacyDrawing, DrawingsArePlacedWithTheWholeWorkbooksDigitWidth) {
    const auto book = LoadWorkbook(Fixture("drawing_late_widths.xls"));
    EXPECT_EQ(MaxDigitWidth(*book), 9);
    const auto& widths = SheetNamed(*book, "Widths");
    const int pixels[] = {31, 47, 58, 77, 95, 101, 122, 139};
    for (Long col = 1; col <= 8; ++col)
        EXPECT_DOUBLE_EQ(ColumnWidthPoints(*book, widths, col), pixels[col - 1] * 72 / 120.0)
            << col;
    ASSERT_EQ(SheetNamed(*book, "Drawing").drawing.objects.size(), 1u);
}

TEST(LegacyDrawing, RichTextReadsAsItsCharacters) {
    for (const char* file : {"drawing_formats.xls", "drawing_formats.xlsx"}) {
        SCOPED_TRACE(file);
        const auto book = LoadWorkbook(Fixture(file));
        const auto& sheet = SheetNamed(*book, "Pictures");
        ASSERT_NE(sheet.Find(3, 1), nullptr);
        EXPECT_EQ(book->Text(*sheet.Find(3, 1)), "plain bold red italic");
        const auto* box = ObjectNamed(sheet, "TextBox 3");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text, "Line one\nLine two");
        EXPECT_EQ(box->fontName, "Courier New");
        EXPECT_DOUBLE_EQ(box->fontSize, 12);
    }
}

// The records of a sheet's drawing and the drawing group, as the reader gathers them.
struct DrawingRecords {
    std::string stream;  // the workbook stream the records point into
    std::string group;
    SheetDrawingRecords sheet;
    std::list<std::string> replaced;  // records put in by a test
    std::string_view Keep(std::string bytes) { return replaced.emplace_back(std::move(bytes)); }
};

// `asContinue`: each drawing record after an object or text record comes as a CONTINUE
// record, as some writers make them.
DrawingRecords Gather(const std::string& path, std::size_t sheetIndex, bool asContinue = false) {
    DrawingRecords out;
    out.stream = ReadWorkbookStream(path).bytes;
    biff::RecordStream records(out.stream);
    std::size_t sheet = 0;
    int depth = 0;
    std::uint16_t previous = 0;
    while (records.Next()) {
        auto id = records.Id();
        if (asContinue && id == biff::kMsoDrawing &&
            (previous == biff::kObj || previous == biff::kTxo))
            id = biff::kContinue;
        if (id == biff::kBof) ++depth;
        if (id == biff::kEof && --depth == 0) ++sheet;
        if (id == biff::kMsoDrawingGroup ||
            (id == biff::kContinue && previous == biff::kMsoDrawingGroup))
            out.group.append(records.Data());
        if (depth == 1 && sheet == sheetIndex + 1) out.sheet.Add(id, previous, records.Data());
        if (id != biff::kContinue) previous = id;
    }
    return out;
}

// The offset in the containers of the first record of a type.
std::size_t Find(const std::string& containers, std::uint16_t type) {
    const char code[] = {static_cast<char>(type & 0xFF), static_cast<char>(type >> 8)};
    const auto at = containers.find(std::string(code, 2));
    EXPECT_NE(at, std::string::npos) << type;
    return at == std::string::npos ? 0 : at - 2;
}

void Put32(std::string& s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
}

struct Outcome {
    std::size_t objects;
    std::string error;  // "" when the drawing was read
    std::string text;   // of the first object that has a text frame
};

Outcome ReadDamaged(const WorkbookModel& book, const SheetModel& model,
                    const SheetDrawingRecords& records, const PictureStore& store) {
    SheetModel sheet = model;
    sheet.drawing = DrawingModel{};
    ReadLegacySheetDrawing(records, store, std::vector<std::uint32_t>(64, 0), book, sheet);
    if (!sheet.drawing.error.empty()) {
        EXPECT_TRUE(sheet.drawing.objects.empty());
        EXPECT_NE(sheet.drawing.error.find(book.path), std::string::npos);
    }
    std::string text;
    for (const auto& o : sheet.drawing.objects) {
        if (!o.hasTextFrame) continue;
        text = o.text;
        break;
    }
    return {sheet.drawing.objects.size(), sheet.drawing.error, text};
}

// Damaged drawings: each is read up to the damage or left out with a reason that names
// the file; the workbook's cells are never in question.
TEST(LegacyDrawing, DamagedDrawingRecordsAreSkippedOrRefused) {
    const std::string path = Fixture("drawing_xlsxwriter.xls");
    const auto book = LoadWorkbook(path);
    const auto& model = SheetNamed(*book, "Drawing");
    const DrawingRecords whole = Gather(path, 0);
    const PictureStore store = ReadPictureStore(whole.group);
    ASSERT_TRUE(store.error.empty());
    ASSERT_EQ(store.pictures.size(), 1u);
    ASSERT_EQ(ReadDamaged(*book, model, whole.sheet, store).objects, 4u);

    struct Case {
        const char* what;
        std::function<void(DrawingRecords&)> damage;
        std::size_t objects;  // read
        const char* error;    // a part of the reason, "" when read
        const char* text = "Pump housing";
    };
    const std::vector<Case> cases = {
        {"the drawing container claims more than there is: what there is is read",
         [](DrawingRecords& d) { Put32(d.sheet.containers, 4, 0xFFFFFFF0u); }, 4, ""},
        {"a shape record claims more than its container",
         [](DrawingRecords& d) {
             Put32(d.sheet.containers, Find(d.sheet.containers, 0xF00A) + 4, 1u << 30);
         },
         0, "claims 1073741824 bytes, more than its container holds"},
        {"a property table longer than its record",
         [](DrawingRecords& d) {
             const auto at = Find(d.sheet.containers, 0xF00B);
             d.sheet.containers[at] = static_cast<char>(0xF3);
             d.sheet.containers[at + 1] = static_cast<char>(0x7F);
         },
         0, "lists 2047 properties, more than its record holds"},
        {"a cell anchor cut short",
         [](DrawingRecords& d) {
             // The anchor keeps its place but says it holds 4 bytes, so a record
             // header is read from the middle of it.
             Put32(d.sheet.containers, Find(d.sheet.containers, 0xF010) + 4, 4);
         },
         0, "drawing record"},
        {"an object record cut short: the shape type says what it is",
         [](DrawingRecords& d) { d.sheet.objects.front().data.front() = "\x15\x00"; }, 4, ""},
        {"a text record cut short: the shape has no text",
         [](DrawingRecords& d) {
             auto& txo = d.sheet.texts.front().data;
             txo.front() = txo.front().substr(0, 10);
         },
         4, "", ""},
        {"a text record with more characters than its records hold: the text there is",
         [](DrawingRecords& d) {
             auto& txo = d.sheet.texts.front().data;
             std::string head(txo.front());
             head[10] = '\x60';
             head[11] = '\xEA';
             txo.front() = d.Keep(head);
             txo.resize(2);
         },
         4, ""},
        {"a text record whose characters are cut between records",
         [](DrawingRecords& d) {
             auto& txo = d.sheet.texts.front().data;
             const std::string chars(txo[1]);
             // "Pump" in one record; the rest in the next, as 16-bit characters.
             std::string rest = "\x01";
             for (char ch : chars.substr(5)) rest += std::string{ch, '\0'};
             txo = {txo[0], d.Keep(chars.substr(0, 5)), d.Keep(rest), txo[2]};
         },
         4, ""},
        {"no text records at all", [](DrawingRecords& d) { d.sheet.texts.clear(); }, 4, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DrawingRecords damaged = Gather(path, 0);
        c.damage(damaged);
        const auto outcome = ReadDamaged(*book, model, damaged.sheet, store);
        EXPECT_EQ(outcome.objects, c.objects);
        if (*c.error) {
            EXPECT_NE(outcome.error.find(c.error), std::string::npos) << outcome.error;
        } else {
            EXPECT_EQ(outcome.error, "");
            EXPECT_EQ(outcome.text, c.text);
        }
    }

    // A picture whose store entry is damaged or missing is listed without its image.
    const auto missing = [&](const PictureStore& s) {
        SheetModel sheet = model;
        sheet.drawing = DrawingModel{};
        ReadLegacySheetDrawing(whole.sheet, s, std::vector<std::uint32_t>(64, 0), *book, sheet);
        EXPECT_EQ(sheet.drawing.objects.size(), 4u);
        return sheet.drawing.objects.at(0).mediaMissing && !sheet.drawing.objects.at(0).mediaBytes;
    };
    std::string group = whole.group;
    Put32(group, Find(group, 0xF01E) + 4, 1u << 30);  // the PNG claims a gigabyte
    const auto bad = ReadPictureStore(group);
    EXPECT_EQ(bad.pictures.size(), 1u);
    EXPECT_TRUE(missing(bad));
    EXPECT_TRUE(missing(PictureStore{}));
    // A store that cannot be read leaves out the drawings that show its pictures.
    group = whole.group;
    Put32(group, Find(group, 0xF007) + 4, 1u << 30);
    const auto broken = ReadPictureStore(group);
    EXPECT_NE(broken.error.find("picture store"), std::string::npos);
    const auto outcome = ReadDamaged(*book, model, whole.sheet, broken);
    EXPECT_EQ(outcome.objects, 0u);
    EXPECT_NE(outcome.error.find("picture store"), std::string::npos);
}

// Drawing containers that go on in CONTINUE records after object and text records read
// as those in drawing records.
TEST(LegacyDrawing, ContainersGoingOnInContinueRecords) {
    const std::string path = Fixture("drawing_xlsxwriter.xls");
    const auto book = LoadWorkbook(path);
    const auto& model = SheetNamed(*book, "Drawing");
    const DrawingRecords plain = Gather(path, 0), continued = Gather(path, 0, true);
    EXPECT_EQ(continued.sheet.containers, plain.sheet.containers);
    const PictureStore store = ReadPictureStore(plain.group);
    const auto outcome = ReadDamaged(*book, model, continued.sheet, store);
    EXPECT_EQ(outcome.objects, 4u);
    EXPECT_EQ(outcome.error, "");
    EXPECT_EQ(outcome.text, "Pump housing");
}

// Cut at every byte, the sheet's containers and the drawing group are read up to the
// cut or refused, never read past.
TEST(LegacyDrawing, CutAtEveryByte) {
    const std::string path = Fixture("drawing_formats.xls");
    const auto book = LoadWorkbook(path);
    const auto& model = SheetNamed(*book, "Pictures");
    const DrawingRecords whole = Gather(path, 0);
    const PictureStore store = ReadPictureStore(whole.group);
    ASSERT_EQ(store.pictures.size(), 2u);
    for (std::size_t cut = 0; cut < whole.sheet.containers.size(); ++cut) {
        SheetDrawingRecords records = whole.sheet;
        records.containers.resize(cut);
        const auto outcome = ReadDamaged(*book, model, records, store);
        EXPECT_LE(outcome.objects, 3u) << cut;
    }
    for (std::size_t cut = 0; cut < whole.group.size(); cut += 7) {
        const auto s = ReadPictureStore(std::string_view(whole.group).substr(0, cut));
        EXPECT_LE(s.pictures.size(), 2u) << cut;
    }
}

// A damaged drawing record inside a real file: the workbook opens, its cells are read
// and the drawing is left out with the reason.
TEST(LegacyDrawing, DamagedFileStillOpens) {
    TempDir dir;
    std::string bytes = testing::ReadFile(Fixture("drawing_xlsxwriter.xls"));
    // The first shape's record (after the group's own shape) claims a gigabyte.
    const auto at = bytes.find(std::string("\x0A\xF0\x08\x00\x00\x00\x01\x04\x00\x00", 10));
    ASSERT_NE(at, std::string::npos);
    Put32(bytes, at + 2, 1u << 30);
    const std::string path = dir / "damaged.xls";
    std::ofstream(path, std::ios::binary) << bytes;
    const auto book = LoadWorkbook(path);
    const auto& sheet = SheetNamed(*book, "Drawing");
    EXPECT_TRUE(sheet.drawing.objects.empty());
    EXPECT_NE(sheet.drawing.error.find("The drawing of the sheet Drawing in " + path),
              std::string::npos)
        << sheet.drawing.error;
    ASSERT_NE(sheet.Find(1, 1), nullptr);
    EXPECT_EQ(book->Text(*sheet.Find(1, 1)), "Title");
}

fs::path Corpus() {
    const char* env = std::getenv("TBLN_CORPUS");
    return fs::path(env && *env ? env : TBLN_CORPUS);
}

// Real workbooks: comments, form controls, embedded objects, charts and pictures, drawings
// that run on in CONTINUE records (after their own records, or after object and text
// records) or whose containers count shapes left out.
TEST(LegacyDrawing, CorpusWorkbooks) {
    const fs::path corpus = Corpus() / "xls";
    if (!fs::exists(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    struct Case {
        const char* file;
        const char* sheet;
        std::size_t objects;
        const char* first;  // the first object's name
        Integer type;       // and type
        const char* last;   // the last object's name
    };
    const std::vector<Case> cases = {
        {"27933.xls", "Excel Test", 1, "Picture 1", excel::msoPicture, "Picture 1"},
        {"37684.xls", "Sheet1", 0, "", 0, ""},  // comments only
        {"45538_form_Footer.xls", "Application Form (CEP)", 19, "Picture 1", excel::msoPicture,
         "CheckBox4"},
        {"35564.xls", "Standard Regional", 71, "Check Box 1", 8, "Check Box 158"},
        {"DrawingContinue.xls", "\u041b\u0438\u0441\u04421", 1, "", 5, ""},
        {"WithThreeCharts.xls", "Sheet2", 2, "Chart 1", 3, "Chart 2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const auto book = LoadWorkbook((corpus / c.file).string());
        const auto& sheet = SheetNamed(*book, c.sheet);
        EXPECT_EQ(sheet.drawing.error, "");
        ASSERT_EQ(sheet.drawing.objects.size(), c.objects);
        if (c.objects == 0) continue;
        if (*c.first) {
            EXPECT_EQ(sheet.drawing.objects.front().name, c.first);
        }
        EXPECT_EQ(sheet.drawing.objects.front().type, c.type);
        if (*c.last) {
            EXPECT_EQ(sheet.drawing.objects.back().name, c.last);
        }
    }
    // Metafiles are kept packed in the picture store: they come out whole, with the
    // signature of an enhanced metafile.
    const DrawingRecords objects = Gather((corpus / "37376.xls").string(), 0);
    const PictureStore store = ReadPictureStore(objects.group);
    EXPECT_EQ(store.error, "");
    std::size_t metafiles = 0;
    for (const auto& picture : store.pictures) {
        if (picture.extension != ".emf") continue;
        ASSERT_TRUE(picture.bytes);
        ASSERT_GE(picture.bytes->size(), 88u);
        EXPECT_EQ(picture.bytes->substr(40, 4), " EMF");
        ++metafiles;
    }
    EXPECT_GT(metafiles, 0u);
    // The group after the drawing's containers went on in CONTINUE records.
    const auto form = LoadWorkbook((corpus / "45538_form_Footer.xls").string());
    const auto* group = ObjectNamed(SheetNamed(*form, "Application Form (CEP)"), "Group 90");
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->type, 6);
}

}  // namespace
}  // namespace tbln

// Shapes and pictures read from drawings written by independent tools (LibreOffice,
// XlsxWriter) and by Excel itself (the corpus), member by member as the shape and
// picture capture reads them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <regex>

#include "adapters/scripted/scripted_ui.hpp"
#include "adapters/workbook/embedded_excel.hpp"
#include "adapters/workbook/embedded_shapes.hpp"
#include "adapters/workbook/package.hpp"
#include "core/error.hpp"
#include "support/test_platform.hpp"

namespace tbln {
namespace {

namespace fs = std::filesystem;
using testing::Fixture;

fs::path Corpus() {
    const char* env = std::getenv("TBLN_CORPUS");
    return env ? env : TBLN_CORPUS;
}

// The frame each writer computed for its objects (the xfrm offset and extent of the
// drawing part, in drawing order), in points.
struct Frame {
    double left, top, width, height;
};
std::vector<Frame> WriterFrames(const std::string& file, const std::string& part) {
    const std::string xml = workbook::Package(file).Read(part);
    static const std::regex kXfrm(
        R"re(<a:off x="(-?\d+)" y="(-?\d+)"\s*/>\s*<a:ext cx="(\d+)" cy="(\d+)"\s*/>)re");
    std::vector<Frame> frames;
    for (std::sregex_iterator it(xml.begin(), xml.end(), kXfrm), end; it != end; ++it) {
        const auto pt = [&](int i) { return std::stod((*it)[i]) / 12700.0; };
        frames.push_back(Frame{pt(1), pt(2), pt(3), pt(4)});
    }
    return frames;
}

class Drawings : public ::testing::Test {
  protected:
    Drawings() : excel(workbook::CreateEmbeddedExcel(ui)) {}
    std::shared_ptr<excel::Worksheet> Sheet(const std::string& path, const std::string& sheet) {
        return excel->Workbooks()->Open(path)->Sheets(sheet);
    }
    scripted::ScriptedUi ui;
    std::shared_ptr<excel::Application> excel;
};

std::string TextOf(const std::shared_ptr<excel::Shape>& s) {
    try {
        return s->TextFrame()->Characters()->Text();
    } catch (const RuntimeError&) {
        return "<no text frame>";
    }
}

TEST_F(Drawings, ShapesDrawnInLibreOffice) {
    auto shapes = Sheet(Fixture("drawing_libreoffice.xlsx"), "Shapes")->Shapes();
    struct Case {
        const char* name;
        Integer type, autoShape;
        double rotation;
        Integer hor, ver, scheme, dash;
        double weight;
        Integer beginStyle, endStyle;
    } cases[] = {
        {"Black box", 1, 1, 0, 0, 0, 8, 1, 1.5, 1, 1},
        {"Rounded", 1, 5, 0, 0, 0, 10, 1, 0, 1, 1},  // red is palette 3
        {"Oval", 1, 9, 0, 0, 0, 9, 1, 0, 1, 1},      // white is palette 2
        {"Arc", 1, 25, 0, 0, 0, 24, 1, 0, 1, 1},
        {"Flipped arc", 1, 25, 0, -1, 0, 24, 1, 0, 1, 1},
        {"Turned", 1, 1, 330, 0, 0, 11, 1, 0, 1, 1},   // 30 degrees the other way
        {"Quarter", 1, 1, 270, 0, 0, 12, 1, 0, 1, 1},  // anchored by its turned box
        {"Rising", 9, -2, 0, 0, -1, 9, 1, 1, 2, 2},    // arrowheads at both ends
        {"Falling", 9, -2, 0, 0, 0, 9, 4, 0, 1, 2},    // dashed, arrowhead at its end
        {"Level", 9, -2, 0, 0, 0, 9, 1, 0, 1, 1},
    };
    ASSERT_EQ(shapes->Count(), static_cast<Long>(std::size(cases)));
    const auto frames =
        WriterFrames(Fixture("drawing_libreoffice.xlsx"), "xl/drawings/drawing1.xml");
    for (Long i = 1; i <= shapes->Count(); ++i) {
        const auto& c = cases[i - 1];
        auto s = shapes->Item(i);
        SCOPED_TRACE(c.name);
        EXPECT_EQ(s->Name(), c.name) << "drawing order";
        EXPECT_EQ(s->Type(), c.type);
        EXPECT_EQ(s->AutoShapeType(), c.autoShape);
        EXPECT_DOUBLE_EQ(s->Rotation(), c.rotation);
        EXPECT_EQ(s->HorizontalFlip(), c.hor);
        EXPECT_EQ(s->VerticalFlip(), c.ver);
        EXPECT_EQ(s->Fill()->ForeColor()->SchemeColor(), c.scheme);
        EXPECT_EQ(s->Line()->DashStyle(), c.dash);
        EXPECT_NEAR(s->Line()->Weight(), c.weight, 0.01);
        EXPECT_EQ(s->Line()->BeginArrowheadStyle(), c.beginStyle);
        EXPECT_EQ(s->Line()->EndArrowheadStyle(), c.endStyle);
        EXPECT_EQ(s->Line()->EndArrowheadWidth(), 2);
        EXPECT_EQ(TextOf(s), "<no text frame>") << "LibreOffice writes no text body here";
        // Rows are measured in points by both programs; columns differ (LibreOffice does
        // not snap widths to pixels), so only the vertical frame is compared.
        // LibreOffice rounds its own positions to 1/100 mm. A quarter-turned shape's
        // width comes from the rows its turned box spans.
        const auto& f = frames.at(static_cast<std::size_t>(i - 1));
        if (c.rotation == 270) {
            EXPECT_NEAR(s->Width(), f.width, 0.05);
        } else {
            EXPECT_NEAR(s->Top(), f.top, 0.05);
            EXPECT_NEAR(s->Height(), f.height, 0.05);
        }
    }
    // The rounded rectangle's corner keeps the default adjustment; an arc's are angles.
    EXPECT_NEAR(shapes->Item(2)->Adjustments()->Item(1), 0.16667, 1e-9);
    EXPECT_EQ(shapes->Item(4)->Adjustments()->Count(), 2);
    EXPECT_DOUBLE_EQ(shapes->Item(4)->Adjustments()->Item(1), -90);
    EXPECT_EQ(shapes->Item(1)->Adjustments()->Count(), 0);
    EXPECT_THROW(shapes->Item(1)->Adjustments()->Item(1), RuntimeError);
    EXPECT_THROW(shapes->Item(11), RuntimeError);
}

TEST_F(Drawings, LineNodesFollowTheFlips) {
    auto shapes = Sheet(Fixture("drawing_libreoffice.xlsx"), "Shapes")->Shapes();
    struct Case {
        Long index;
        bool rises;  // the first node lies left of and below the second
    } cases[] = {{8, true}, {9, false}, {10, false}};
    for (const auto& c : cases) {
        auto s = shapes->Item(c.index);
        SCOPED_TRACE(s->Name());
        auto nodes = s->Nodes();
        ASSERT_EQ(nodes->Count(), 2);
        const auto p = nodes->Item(1)->Points(), q = nodes->Item(2)->Points();
        EXPECT_FLOAT_EQ(p(1, 1), static_cast<Single>(s->Left()));
        EXPECT_FLOAT_EQ(q(1, 1), static_cast<Single>(s->Left() + s->Width()));
        const bool rises = p(1, 1) < q(1, 1) && p(1, 2) > q(1, 2);
        EXPECT_EQ(rises, c.rises);
        EXPECT_FLOAT_EQ(std::abs(q(1, 2) - p(1, 2)), static_cast<Single>(s->Height()));
    }
    EXPECT_EQ(shapes->Item(1)->Nodes()->Count(), 0) << "a rectangle is no line";
}

TEST_F(Drawings, TextBoxesAndPicturesFromXlsxWriterSitWhereItPutThem) {
    auto sheet = Sheet(Fixture("drawing_xlsxwriter.xlsx"), "Drawing");
    auto shapes = sheet->Shapes();
    ASSERT_EQ(shapes->Count(), 4);
    // XlsxWriter computes each object's frame with Excel's rules (hidden row 4 and
    // column C, column E 20 characters wide, row 7 30 points high).
    const auto frames =
        WriterFrames(Fixture("drawing_xlsxwriter.xlsx"), "xl/drawings/drawing1.xml");
    ASSERT_EQ(frames.size(), 4u);
    struct Case {
        const char* name;
        Integer type;
        Long row, col;
        const char* text;
        double size;
        const char* font;
    } cases[] = {
        {"Picture 1", 13, 3, 2, "<no text frame>", 0, ""},
        {"Picture 2", 13, 2, 6, "<no text frame>", 0, ""},
        {"TextBox 3", 17, 2, 2, "Pump housing", 14, "Arial"},
        {"TextBox 4", 17, 8, 5, "Theme font", 11, "Calibri"},  // the theme's minor font
    };
    for (Long i = 1; i <= 4; ++i) {
        const auto& c = cases[i - 1];
        const auto& f = frames[static_cast<std::size_t>(i - 1)];
        auto s = shapes->Item(i);
        SCOPED_TRACE(c.name);
        EXPECT_EQ(s->Name(), c.name);
        EXPECT_EQ(s->Type(), c.type);
        EXPECT_EQ(s->AutoShapeType(), 1);
        EXPECT_NEAR(s->Left(), f.left, 0.01);
        EXPECT_NEAR(s->Top(), f.top, 0.01);
        EXPECT_NEAR(s->Width(), f.width, 0.01);
        EXPECT_NEAR(s->Height(), f.height, 0.01);
        EXPECT_EQ(s->TopLeftCell()->Row(), c.row);
        EXPECT_EQ(s->TopLeftCell()->Column(), c.col);
        EXPECT_EQ(TextOf(s), c.text);
        if (c.size > 0) {
            EXPECT_EQ(s->TextFrame()->Characters()->Font()->Size(), c.size);
            EXPECT_EQ(s->TextFrame()->Characters()->Font()->Name(), c.font);
            EXPECT_EQ(s->Fill()->ForeColor()->SchemeColor(), 9) << "filled white (lt1)";
            EXPECT_NEAR(s->Line()->Weight(), 0.75, 1e-9);
        }
    }
    // Pictures count in drawing order among the pictures only.
    EXPECT_EQ(sheet->Pictures(1)->Name(), "Picture 1");
    EXPECT_EQ(sheet->Pictures(2)->Name(), "Picture 2");
    EXPECT_NEAR(sheet->Pictures(2)->Left(), frames[1].left, 0.01);
    EXPECT_EQ(sheet->Pictures(1)->TopLeftCell()->Row(), 3);
    EXPECT_THROW(sheet->Pictures(3), RuntimeError);
    EXPECT_THROW(sheet->Pictures(0), RuntimeError);
    // A sheet without a drawing has no shapes.
    EXPECT_EQ(excel->ActiveWorkbook()->Sheets("Empty")->Shapes()->Count(), 0);
}

TEST_F(Drawings, DamagedAndOddDrawingsNeverStopTheCells) {
    // A drawing part cut in half: the cells read, the shapes are left out, the user is
    // told once.
    auto sheet = Sheet(Fixture("drawing_malformed.xlsx"), "Drawing");
    EXPECT_EQ(sheet->Cells(1, 1)->Text(), "Title");
    EXPECT_EQ(sheet->Shapes()->Count(), 0);
    EXPECT_EQ(sheet->Shapes()->Count(), 0);
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_NE(ui.Messages()[0].prompt.find("drawing1.xml"), std::string::npos)
        << ui.Messages()[0].prompt;
    EXPECT_NE(ui.Messages()[0].prompt.find("drawing_malformed.xlsx"), std::string::npos);
    EXPECT_THROW(sheet->Pictures(1), RuntimeError);

    // An anchor far outside the sheet, a preset no one numbers, pictures whose media
    // part is missing: sensible values.
    auto odd = Sheet(Fixture("drawing_odd.xlsx"), "Drawing")->Shapes();
    ASSERT_EQ(odd->Count(), 4);
    auto far = odd->Item(3);
    EXPECT_EQ(far->TopLeftCell()->Row(), 1048576);
    EXPECT_EQ(far->TopLeftCell()->Column(), 16384);
    EXPECT_GE(far->Width(), 0);
    EXPECT_GE(far->Height(), 0);
    EXPECT_EQ(odd->Item(4)->AutoShapeType(), 138) << "not a primitive";
    EXPECT_EQ(odd->Item(1)->Type(), 13);
    EXPECT_NEAR(odd->Item(1)->Width(), 60, 0.01) << "a picture without its media keeps its frame";
}

// Excel's own files: each object sits where Excel itself put it.
TEST_F(Drawings, ExcelFilesPlaceObjectsWhereExcelDid) {
    const auto corpus = Corpus() / "xlsx";
    if (!fs::exists(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    struct Case {
        const char* file;
        Long count;
    } cases[] = {{"image05.xlsx", 4},
                 {"set_column08.xlsx", 1},
                 {"textbox03.xlsx", 2},
                 {"WithDrawing.xlsx", 6}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = (corpus / c.file).string();
        auto sheet = excel->Workbooks()->Open(path)->Sheets()->Item(1);
        auto shapes = sheet->Shapes();
        ASSERT_EQ(shapes->Count(), c.count);
        const auto frames = WriterFrames(path, "xl/drawings/drawing1.xml");
        ASSERT_EQ(frames.size(), static_cast<std::size_t>(c.count));
        for (Long i = 1; i <= c.count; ++i) {
            const auto& f = frames[static_cast<std::size_t>(i - 1)];
            auto s = shapes->Item(i);
            SCOPED_TRACE(s->Name());
            EXPECT_NEAR(s->Left(), f.left, 0.76);  // within a pixel
            EXPECT_NEAR(s->Top(), f.top, 0.76);
            EXPECT_NEAR(s->Width(), f.width, 0.76);
            EXPECT_NEAR(s->Height(), f.height, 0.76);
        }
    }
    auto drawing =
        excel->Workbooks()->Open((corpus / "WithDrawing.xlsx").string())->Sheets()->Item(1);
    Long pictures = 0;
    for (Long i = 1; i <= drawing->Shapes()->Count(); ++i)
        pictures += drawing->Shapes()->Item(i)->Type() == excel::msoPicture;
    EXPECT_EQ(pictures, 5);
    auto box = drawing->Shapes()->Item(5);  // a text box filled with a tint of accent 1
    EXPECT_EQ(box->Type(), excel::msoTextBox);
    EXPECT_EQ(box->Fill()->ForeColor()->SchemeColor(), 27) << "light blue, CCFFFF";
    EXPECT_EQ(drawing->Pictures(5)->Name(), drawing->Shapes()->Item(6)->Name());
}

TEST(SchemeColor, IsThePaletteIndexPlusSeven) {
    struct Case {
        std::uint32_t rgb;
        Integer scheme;
    } cases[] = {{0x000000, 8},  {0xFFFFFF, 9}, {0xFF0000, 10}, {0x00FF00, 11},
                 {0x0000FF, 12}, {0x010101, 8}, {0x808080, 23}};
    for (const auto& c : cases)
        EXPECT_EQ(workbook::SchemeColorOf(c.rgb), c.scheme) << std::hex << c.rgb;
}

}  // namespace
}  // namespace tbln

// Shapes and pictures read from drawings written by independent tools, member by
// member as the shape capture reads them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "adapters/scripted/scripted_ui.hpp"
#include "adapters/workbook/embedded_excel.hpp"
#include "core/error.hpp"
#include "support/test_platform.hpp"

namespace tbln {
namespace {

namespace fs = std::filesystem;
using testing::Fixture;

class Drawings : public ::testing::Test {
  protected:
    Drawings() : excel(workbook::CreateEmbeddedExcel(ui)) {}
    std::shared_ptr<excel::Worksheet> Sheet(const std::string& file, const std::string& sheet) {
        return excel->Workbooks()->Open(Fixture(file))->Sheets(sheet);
    }
    scripted::ScriptedUi ui;
    std::shared_ptr<excel::Application> excel;
};

void Dump(const std::shared_ptr<excel::Worksheet>& sheet) {
    auto shapes = sheet->Shapes();
    for (Long i = 1; i <= shapes->Count(); ++i) {
        auto s = shapes->Item(i);
        std::printf("%s type=%d auto=%d top=%g left=%g h=%g w=%g tl=%d,%d rot=%g flip=%d,%d", s->Name().c_str(),
                    s->Type(), s->AutoShapeType(), s->Top(), s->Left(), s->Height(), s->Width(),
                    s->TopLeftCell()->Row(), s->TopLeftCell()->Column(), s->Rotation(), s->HorizontalFlip(),
                    s->VerticalFlip());
        auto n = s->Nodes();
        for (Long k = 1; k <= n->Count(); ++k) {
            auto p = n->Item(k)->Points();
            std::printf(" node(%g,%g)", p(1, 1), p(1, 2));
        }
        auto adj = s->Adjustments();
        for (Long k = 1; k <= adj->Count(); ++k) std::printf(" adj=%g", adj->Item(k));
        try {
            auto c = s->TextFrame()->Characters();
            std::printf(" text='%s' size=%g font=%s", c->Text().c_str(), c->Font()->Size(), c->Font()->Name().c_str());
        } catch (const RuntimeError&) {
            std::printf(" notext");
        }
        auto l = s->Line();
        std::printf(" scheme=%d dash=%d wei=%g arrows=%d/%d %d/%d\n", s->Fill()->ForeColor()->SchemeColor(), l->DashStyle(),
                    l->Weight(), l->BeginArrowheadStyle(), l->BeginArrowheadWidth(), l->EndArrowheadStyle(),
                    l->EndArrowheadWidth());
    }
}

TEST_F(Drawings, DumpForNow) {
    Dump(Sheet("drawing_libreoffice.xlsx", "Shapes"));
    Dump(Sheet("drawing_xlsxwriter.xlsx", "Drawing"));
}

}  // namespace
}  // namespace tbln

#include <gtest/gtest.h>

#include "controls/progress_bar.hpp"
#include "support/test_platform.hpp"

namespace tbln {
namespace {

using testing::TestForm;

// A desktop whose progress bars answer the range query like a 32-bit control, or,
// with old16 set, like an old control that only keeps 16-bit limits.
class BarDesktop : public scripted::ScriptedUi {
  public:
    bool old16 = false;
    Long SendMessage(ui::Hwnd hwnd, Long message, Long wParam,
                     const std::vector<Long>& lParam) override {
        scripted::ScriptedUi::SendMessage(hwnd, message, wParam, lParam);
        if (message == PBM_SETRANGE32) {
            low = old16 ? static_cast<std::int16_t>(wParam) : wParam;
            high = old16 ? static_cast<std::int16_t>(lParam[0]) : lParam[0];
        }
        if (message == PBM_GETRANGE) return wParam != 0 ? low : high;
        return 0;
    }
    Long low = 0, high = 0;
};

struct Sent {
    Long message, wParam, lParam;
    bool operator==(const Sent&) const = default;
};
std::vector<Sent> Messages(const scripted::ScriptedUi& ui) {
    std::vector<Sent> out;
    for (const auto& j : ui.Journal()) {
        if (j.function == "SendMessage") out.push_back({j.args[1], j.args[2], j.args[3]});
    }
    return out;
}

// A bar on a form of the desktop above, its window made as a form's load makes it.
struct Bar {
    Bar() {
        PropertyBag bag;
        bar.ReadProperties(bag);
        ui.ClearJournal();
    }
    BarDesktop ui;
    TestForm form{"Host"};
    ProgressBar bar{form, "ProgressBar1", ui};
};

// What a form stores of its bar comes back when the form is loaded again; defaults and
// the position are not stored.
TEST(ProgressBar, StoredPropertiesComeBack) {
    Bar b;
    auto& bar = b.bar;
    EXPECT_NE(bar.hwnd(), 0);
    bar.SetMax(500);
    bar.SetSmooth(true);
    bar.SetPosition(77);
    PropertyBag changed;
    bar.WriteProperties(changed);
    EXPECT_FALSE(changed.Has("Min")) << "defaults are not stored";
    EXPECT_FALSE(changed.Has("Position"));
    ProgressBar again(b.form, "Again", b.ui);
    again.ReadProperties(changed);
    EXPECT_EQ(again.Max(), 500);
    EXPECT_TRUE(again.Smooth());
    EXPECT_EQ(again.Position(), 0);
}

TEST(ProgressBar, LetsSendOnlyChangesAndReportThem) {
    Bar b;
    auto& [ui, form, bar] = b;
    std::vector<std::string> reported;
    bar.PropertyChanged = [&](const std::string& name) { reported.push_back(name); };

    bar.SetPosition(0);
    bar.SetMax(100);
    EXPECT_TRUE(Messages(ui).empty()) << "unchanged values send nothing";
    EXPECT_TRUE(reported.empty());

    bar.SetPosition(40);
    bar.SetStep(5);
    bar.SetForeColor(0x0000FF);
    bar.SetBackColor(static_cast<Long>(0x8000000F));  // unchanged
    bar.SetBackColor(static_cast<Long>(0x80000005));
    bar.SetBackColor(0x01000010);  // a palette index cannot be translated
    EXPECT_EQ(Messages(ui), (std::vector<Sent>{{PBM_SETPOS, 40, 0},
                                               {PBM_SETSTEP, 5, 0},
                                               {PBM_SETBARCOLOR, 0, 0x0000FF},
                                               {PBM_SETBKCOLOR, 0, 0xFFFFFF},
                                               {PBM_SETBKCOLOR, 0, -1}}));
    EXPECT_EQ(reported, (std::vector<std::string>{"Position", "Step", "ForeColor", "BackColor",
                                                  "BackColor"}));

    ui.ClearJournal();
    bar.StepIt();
    EXPECT_EQ(Messages(ui), (std::vector<Sent>{{PBM_STEPIT, 0, 0}}));
    EXPECT_EQ(bar.Position(), 40) << "the window steps, the stored position stays";

    ProgressBar windowless(form, "Windowless", ui);  // never created a bar window
    windowless.SetStep(3);
    windowless.StepIt();
    windowless.StepIt();
    EXPECT_EQ(windowless.Position(), 6);
}

TEST(ProgressBar, RangeFallsBackTo16BitsOnAnOldControl) {
    for (bool old16 : {false, true}) {
        Bar b;
        b.ui.old16 = old16;
        b.bar.SetMax(100000);  // 0x186A0
        auto sent = Messages(b.ui);
        std::vector<Sent> expected{
            {PBM_SETRANGE32, 0, 100000}, {PBM_GETRANGE, 0, 0}, {PBM_GETRANGE, 1, 0}};
        if (old16) expected.push_back({PBM_SETRANGE, 0, static_cast<Long>(0x86A00000u)});
        EXPECT_EQ(sent, expected) << old16;
    }
}

TEST(ProgressBar, NewSmoothnessRecreatesTheBarWithItsLook) {
    Bar b;
    auto& [ui, form, bar] = b;
    bar.SetMax(200);
    bar.SetPosition(80);  // 40 %
    bar.SetForeColor(0x00FF00);
    const ui::Hwnd old = bar.hwnd();
    ui.ClearJournal();
    bar.SetSmooth(true);
    EXPECT_NE(bar.hwnd(), old);
    std::vector<std::string> calls;
    for (const auto& j : ui.Journal()) calls.push_back(j.function);
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0], "DestroyWindow");
    EXPECT_EQ(calls[1], "CreateWindowEx");
    EXPECT_EQ(ui.Journal()[1].args[1], WS_CHILD_VISIBLE | PBS_SMOOTH);
    const auto sent = Messages(ui);
    const auto has = [&](Sent s) { return std::find(sent.begin(), sent.end(), s) != sent.end(); };
    EXPECT_TRUE(has({PBM_SETRANGE32, 0, 200}));
    EXPECT_TRUE(has({PBM_SETPOS, 80, 0}));
    EXPECT_TRUE(has({PBM_SETBARCOLOR, 0, 0x00FF00}));
    EXPECT_TRUE(has({PBM_SETBKCOLOR, 0, TranslateColor(static_cast<Long>(0x8000000F))}));
    EXPECT_EQ(bar.Position(), 80);
    EXPECT_EQ(bar.Max(), 200);
    EXPECT_EQ(ui.GetWindowLong(bar.hwnd(), GWL_EXSTYLE) & WS_EX_STATICEDGE, WS_EX_STATICEDGE)
        << "the thin edge is applied to the new window";
}

}  // namespace
}  // namespace tbln

#include <gtest/gtest.h>

#include "adapters/scripted/scripted_ui.hpp"
#include "core/error.hpp"
#include "platform/ui.hpp"

namespace tbln {
namespace {

using scripted::Action;
using scripted::ScriptedUi;

// A dialog with a long loop behind its Start button, as the import dialogs have.
class WorkForm : public ui::Form {
  public:
    explicit WorkForm(ui::Ui& ui) : ui::Form("WorkForm"), ui_(ui) {
        btnCancel.SetCancel(true);
        btnCancel.SetCaption("Cancel");
        lbNote.SetCaption("ready");
        Timer1.SetInterval(500);
        btnOK.Click = [this] {
            lbNote.SetCaption("working");
            for (steps = 0; steps < 1000 && !cancelled; ++steps) ui_.DoEvents();
            if (!cancelled) Unload();
        };
        btnCancel.Click = [this] {
            cancelled = true;
            Unload();
        };
        Timer1.Tick = [this] {
            ++ticks;
            if (closeOnTick > 0 && ticks >= closeOnTick) Unload();
        };
        cbSheet.Change = [this] { ++changes; };
    }
    void Form_Load() override {
        ++loads;
        cbSheet.AddItem("Sheet1");
        cbSheet.AddItem("Sheet2");
        listAtLoad = cbSheet.ListCount();
        if (unloadInLoad) Unload();
    }

    ui::CommandButton btnOK{*this, "btnOK"};
    ui::CommandButton btnCancel{*this, "btnCancel"};
    ui::Label lbNote{*this, "lbNote"};
    ui::ComboBox cbSheet{*this, "cbSheet"};
    ui::TextBox tbPath{*this, "tbPath"};
    ui::Timer Timer1{*this, "Timer1"};
    int steps = 0, ticks = 0, loads = 0, changes = 0, closeOnTick = 0, listAtLoad = 0;
    bool cancelled = false, unloadInLoad = false;

  private:
    ui::Ui& ui_;
};

TEST(ScriptedDialogs, CancelArrivesInTheMiddleOfALoop) {
    for (int at : {0, 5, 250}) {
        ScriptedUi ui;
        WorkForm form(ui);
        ui.Push(Action::Click("btnOK"));
        ui.Push(Action::Click("btnCancel", at));
        ui.ShowModal(form);
        EXPECT_TRUE(form.cancelled);
        EXPECT_EQ(form.steps, at + 1) << "the click came from inside the loop's DoEvents";
        EXPECT_FALSE(form.IsLoaded());
    }
}

TEST(ScriptedDialogs, UnloadRestoresTheControlsButNotTheFormsFields) {
    ScriptedUi ui;
    WorkForm form(ui);
    ui.Push(Action::SetText("tbPath", "/books/a.xlsx"));
    ui.Push(Action::Pick("cbSheet", 1));
    ui.Push(Action::SetText("cbSheet", "Typed"));
    ui.Push(Action::Click("btnOK"));
    ui.ShowModal(form);
    EXPECT_EQ(form.changes, 1);
    EXPECT_EQ(form.tbPath.Text(), "") << "design state again after unload";
    EXPECT_EQ(form.lbNote.Caption(), "ready");
    EXPECT_EQ(form.cbSheet.ListCount(), 0);
    EXPECT_EQ(form.steps, 1000) << "fields survive";
    ui.Push(Action::Click("btnCancel"));
    ui.ShowModal(form);
    EXPECT_EQ(form.loads, 2);
    EXPECT_EQ(form.listAtLoad, 2) << "the list starts empty at every load";
    EXPECT_EQ((std::vector<std::string>{"WorkForm", "WorkForm"}), ui.Shown());
}

TEST(ScriptedDialogs, WhenTheScriptRunsOutTimersRunThenCancelIsPressed) {
    struct Case {
        int closeOnTick;
        bool cancelled;
        int ticks;
    } cases[] = {{3, false, 3}, {0, true, 120}};
    for (const auto& c : cases) {
        ScriptedUi ui;
        WorkForm form(ui);
        form.closeOnTick = c.closeOnTick;
        ui.ShowModal(form);
        EXPECT_EQ(form.cancelled, c.cancelled);
        EXPECT_EQ(form.ticks, c.ticks) << "ticks every 500 ms of virtual time, up to the limit";
    }
}

TEST(ScriptedDialogs, WaitAdvancesTheClockAndDisabledControlsIgnoreActions) {
    ScriptedUi ui;
    WorkForm form(ui);
    form.closeOnTick = 100;
    ui.Push(Action::Wait(1499));
    ui.Push(Action::Click("btnOK"));  // disabled below: lost
    ui.Push(Action::Click("btnCancel"));
    form.btnOK.Enabled = false;
    ui.ShowModal(form);
    EXPECT_EQ(form.ticks, 2);
    EXPECT_EQ(form.steps, 0);
    EXPECT_TRUE(form.cancelled);
    EXPECT_EQ(ui.Now(), 1499);
}

TEST(ScriptedDialogs, AFormThatUnloadsWhileLoadingRaises364) {
    ScriptedUi ui;
    WorkForm form(ui);
    form.unloadInLoad = true;
    try {
        ui.ShowModal(form);
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), err::kObjectUnloaded);
    }
}
TEST(ScriptedDialogs, AnActionThatDoesNotFitTheFormEndsItAsCancelWould) {
    struct Case {
        Action action;
        std::string note;
    } cases[] = {
        {Action::Click("btnOKK"), "the dialog WorkForm has no control btnOKK;"},
        {Action::SetText("btnOK", "x"), "the dialog WorkForm's btnOK takes no text;"},
        {Action::Pick("cbSheet", 2), "the dialog WorkForm's cbSheet has 2 lines, no line 2;"},
        {Action::Pick("tbPath", 0), "the dialog WorkForm's tbPath is not a list;"},
        {Action::Click("lbNote"), "the dialog WorkForm's lbNote cannot be clicked;"},
    };
    for (auto& c : cases) {
        ScriptedUi ui;
        WorkForm form(ui);
        c.action.origin = "a.txt: line 3";
        ui.Push(c.action);
        // The rest of the script is dropped: OK is never pressed, no file is chosen.
        ui.Push(Action::Click("btnOK"));
        ui.PushFileChoice("/books/a.xlsx");
        ui.ShowModal(form);
        EXPECT_TRUE(form.cancelled) << c.note;
        EXPECT_EQ(form.steps, 0) << c.note;
        ASSERT_EQ(ui.Messages().size(), 1u) << c.note;
        EXPECT_EQ(ui.Messages()[0].title, "answers");
        EXPECT_TRUE(ui.Messages()[0].prompt.starts_with("a.txt: line 3: " + c.note))
            << ui.Messages()[0].prompt;
        ui::FileDialogRequest request;
        EXPECT_FALSE(ui.GetOpenFileName(request)) << c.note;
    }
}

TEST(ScriptedDialogs, MessageBoxesAreRecordedAndAnswered) {
    ScriptedUi ui;
    std::vector<std::string> seen;
    ui.onMessage = [&](const scripted::Message& m) { seen.push_back(m.title + ": " + m.prompt); };
    ui.PushAnswer(ui::vbCancel);
    EXPECT_EQ(ui.MsgBox("Overwrite?", ui::vbOKCancel | ui::vbInformation, "Warning"), ui::vbCancel);
    EXPECT_EQ(ui.MsgBox("Overwrite?", ui::vbOKCancel, "Warning"), ui::vbOK) << "default button";
    EXPECT_EQ(ui.MsgBox("Sure?", ui::vbYesNo | ui::vbDefaultButton2, "Q"), ui::vbNo);
    EXPECT_EQ(ui.MsgBox("Done", ui::vbInformation, "Error"), ui::vbOK);
    ASSERT_EQ(ui.Messages().size(), 4u);
    EXPECT_EQ(ui.Messages()[0].answer, ui::vbCancel);
    EXPECT_EQ(seen.back(), "Error: Done");
}

}  // namespace
}  // namespace tbln

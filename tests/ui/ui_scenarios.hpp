// The dialog scenarios every ui:: adapter must play alike, toolkit-free so that each
// adapter's build runs the same table: a driver that acts as a user does, a probe form
// with one control of each kind that logs every event, and the scenarios with the log
// each must leave.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui.hpp"

namespace tbln {

// Drives a dialog the way a user does: the scripted adapter takes the steps as its
// script; a desktop adapter performs them on the real controls (clicks, typing, keys,
// answering a message box) while the dialog's event loop runs.
class UiDriver {
  public:
    virtual ~UiDriver() = default;
    virtual ui::Ui& Ui() = 0;
    virtual void Type(const std::string& control, const std::string& text) = 0;
    virtual void Pick(const std::string& control, int index) = 0;
    virtual void Click(const std::string& control) = 0;
    // A click that arrives while a handler is busy and lets events run.
    virtual void ClickDuringWork(const std::string& control) = 0;
    // Lets the dialog's timers run for this long.
    virtual void Wait(int ms) = 0;
    // Something the user does outside the dialog (in the sheet window).
    virtual void Call(std::function<void()> call) = 0;
    // Answers the next message box with this button.
    virtual void Answer(int answer) = 0;
    // Cancels the next file or folder chooser.
    virtual void CancelChooser() = 0;
    // Chooses this file in the next file chooser.
    virtual void ChooseFile(const std::string& path) = 0;
    // "Escape" or "Enter", pressed on the dialog.
    virtual void Key(const std::string& key) = 0;
    // Shows the form modally and plays the steps.
    virtual void Run(ui::Form& form) = 0;
};

// A dialog with one control of each kind; every event is logged.
class Probe : public ui::Form {
  public:
    explicit Probe(ui::Ui& ui) : ui::Form("Probe"), ui_(ui) {
        Caption = "Probe";
        Width = 6000;
        Height = 4000;
        tb.Move(120, 120, 2400, 315);
        cb.Move(120, 540, 2400, 315);
        lb.Move(120, 960, 2400, 900);
        chk.Move(120, 1980, 2400, 315);
        btnWork.Move(2760, 120, 1200, 375);
        btnMsg.Move(2760, 600, 1200, 375);
        btnFile.Move(2760, 1080, 1200, 375);
        btnOK.Move(2760, 2400, 1200, 375);
        btnCancel.Move(4080, 2400, 1200, 375);
        btnOK.SetCaption("OK");
        btnOK.SetDefault(true);
        btnCancel.SetCaption("Cancel");
        btnCancel.SetCancel(true);
        chk.SetCaption("Check");
        for (const char* item : {"one", "two", "three"}) cb.AddItem(item);
        tb.Change = [this] { log.push_back("tb:" + tb.Text()); };
        cb.Click = [this] {
            log.push_back("cb:" + std::to_string(cb.ListIndex()) + ":" + cb.Text());
        };
        cb.Change = [this] { log.push_back("cb-text:" + cb.Text()); };
        lb.Click = [this] { log.push_back("lb:" + std::to_string(lb.ListIndex())); };
        chk.Click = [this] { log.push_back("chk:" + std::to_string(chk.Value())); };
        btnOK.Click = [this] {
            log.push_back("ok");
            Unload();
        };
        btnCancel.Click = [this] {
            log.push_back("cancel");
            cancelled = true;
            Unload();
        };
        btnWork.Click = [this] {
            log.push_back("work");
            // A long job that lets events run, as the import does; bounded in time.
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (!cancelled && std::chrono::steady_clock::now() < end) {
                ui_.DoEvents();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            log.push_back(cancelled ? "work cancelled" : "work done");
        };
        btnMsg.Click = [this] {
            log.push_back("answer:" + std::to_string(ui_.MsgBox(
                                          "Go on?", ui::vbYesNoCancel | ui::vbQuestion, "Probe")));
        };
        btnFile.Click = [this] {
            ui::FileDialogRequest r;
            r.title = "Pick";
            r.filter = "Workbooks|*.xlsx|All|*.*";
            log.push_back(ui_.GetOpenFileName(r) ? "file:" + r.fileName : "file cancelled");
        };
        timer.SetInterval(100);
        timer.SetEnabled(false);
        timer.Tick = [this] {
            log.push_back("tick");
            if (++ticks == 3) timer.SetEnabled(false);
        };
    }
    void Form_Load() override {
        lb.Clear();
        for (const char* item : {"a\t1", "b\t2"}) lb.AddItem(item);
        log.push_back("load");
    }
    void Form_Unload() override { log.push_back("unload"); }

    ui::TextBox tb{*this, "tb"};
    ui::ComboBox cb{*this, "cb"};
    ui::ListBox lb{*this, "lb"};
    ui::CheckBox chk{*this, "chk"};
    ui::CommandButton btnWork{*this, "btnWork"};
    ui::CommandButton btnMsg{*this, "btnMsg"};
    ui::CommandButton btnFile{*this, "btnFile"};
    ui::CommandButton btnOK{*this, "btnOK"};
    ui::CommandButton btnCancel{*this, "btnCancel"};
    ui::Timer timer{*this, "timer"};
    std::vector<std::string> log;
    bool cancelled = false;
    int ticks = 0;

  private:
    ui::Ui& ui_;
};

struct Scenario {
    const char* name;
    std::function<void(UiDriver&, Probe&)> script;
    std::vector<std::string> expected;
};

inline const std::vector<Scenario>& Scenarios() {
    static const std::vector<Scenario> all = {
        {"type, pick and click",
         [](UiDriver& d, Probe&) {
             d.Type("tb", "hello");
             d.Pick("cb", 1);
             d.Pick("lb", 1);
             d.Click("chk");
             d.Click("btnOK");
         },
         {"load", "tb:hello", "cb:1:two", "lb:1", "chk:1", "ok", "unload"}},
        {"typing into the combo box's edit part",
         [](UiDriver& d, Probe&) {
             d.Type("cb", "free text");
             d.Click("btnOK");
         },
         {"load", "cb-text:free text", "ok", "unload"}},
        {"timer ticks until the handler stops it",
         [](UiDriver& d, Probe& p) {
             d.Call([&p] { p.timer.SetEnabled(true); });
             d.Wait(1000);
             d.Click("btnOK");
         },
         {"load", "tick", "tick", "tick", "ok", "unload"}},
        {"cancel in the middle of a loop",
         [](UiDriver& d, Probe&) {
             d.Click("btnWork");
             d.ClickDuringWork("btnCancel");
         },
         {"load", "work", "cancel", "unload", "work cancelled"}},
        {"message box answers",
         [](UiDriver& d, Probe&) {
             d.Click("btnMsg");
             d.Answer(ui::vbNo);
             d.Click("btnMsg");
             d.Answer(ui::vbCancel);
             d.Click("btnOK");
         },
         {"load", "answer:7", "answer:2", "ok", "unload"}},
        {"a cancelled chooser",
         [](UiDriver& d, Probe&) {
             d.Click("btnFile");
             d.CancelChooser();
             d.Click("btnOK");
         },
         {"load", "file cancelled", "ok", "unload"}},
        {"disabled controls take no clicks",
         [](UiDriver& d, Probe& p) {
             d.Call([&p] { p.btnOK.Enabled = false; });
             d.Click("btnOK");
             d.Click("btnCancel");
         },
         {"load", "cancel", "unload"}},
        {"Esc presses Cancel",
         [](UiDriver& d, Probe&) { d.Key("Escape"); },
         {"load", "cancel", "unload"}},
        {"Enter presses the default button",
         [](UiDriver& d, Probe&) { d.Key("Enter"); },
         {"load", "ok", "unload"}},
    };
    return all;
}

}  // namespace tbln

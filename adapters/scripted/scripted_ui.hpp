// The scripted user interface: the ui:: adapter for tests and non-interactive runs.
//
// It takes a list of actions (set a control's text, pick a list line, click, advance
// the virtual clock) and delivers them to the form on top, one at a time, while the
// form is shown modally. An action marked with atDoEvents is delivered from inside
// the dialog's own work instead: at that call of DoEvents ("let pending events run"),
// which is how a Cancel click arrives in the middle of a long loop. Timers run on a
// virtual clock that only Wait actions advance. When the script runs out while a form
// is still open, the timers run for a bounded virtual time (so a dialog that closes
// itself can finish), then the form's Cancel button is pressed, or the form unloaded
// when it has none, so a run always ends. An action that does not fit the form on top
// (a control it does not have, text for a button, a list line beyond the list) ends that
// form the same way and drops the rest of the script; a note saying why is recorded
// among the messages, titled "answers" (kNoteTitle), so every host shows it where it
// shows the message boxes.
//
// Every message box is recorded and answered from the queue of answers, else with
// its default button. Window calls are recorded in a journal, and the scripted
// desktop has a window for every title it is asked about unless strictWindows is set.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui.hpp"

namespace tbln::scripted {

struct Action {
    enum class Kind { SetText, Pick, Click, DblClick, Check, Wait, MouseMove, Call };
    Kind kind = Kind::Click;
    std::string control;  // the control's name (not used by Wait and MouseMove)
    std::string text;     // SetText
    int index = 0;        // Pick: the 0-based line; Check: the value
    Long ms = 0;          // Wait: virtual milliseconds
    // -1: delivered when the form waits for the user. n >= 0: delivered from inside
    // the n-th following DoEvents call (0 = the next one), or when the form next waits.
    int atDoEvents = -1;
    // Call: what the user does outside the dialog at this point (clicks a cell in the
    // spreadsheet beside it, switches a sheet tab), run as a function.
    std::function<void()> call;
    // Virtual time the user takes before the action while the form waits, its timers
    // running: a form that closes itself meanwhile (once its work is done) leaves the
    // action to the next form.
    Long thinkMs = 0;
    // Where the action was written ("answers.txt: line 4"), for the note when it does
    // not fit the dialog; empty for actions queued by code.
    std::string origin;

    static Action SetText(std::string control, std::string text, int atDoEvents = -1);
    static Action Pick(std::string control, int index, int atDoEvents = -1);
    static Action Click(std::string control, int atDoEvents = -1);
    static Action DblClick(std::string control, int atDoEvents = -1);
    static Action Check(std::string control, int value, int atDoEvents = -1);
    static Action Wait(Long ms, int atDoEvents = -1);
    static Action MouseMove(int atDoEvents = -1);
    // The mouse moves over the dialog's body with the left button down.
    static Action MouseDrag(int atDoEvents = -1);
    static Action Call(std::function<void()> call, int atDoEvents = -1);
};

// The title of the notes about an action that did not fit its form.
inline constexpr const char* kNoteTitle = "answers";

struct Message {
    std::string title;
    std::string prompt;
    int style = 0;
    int answer = 0;
};

struct WindowCall {
    std::string function;
    std::vector<Long> args;
    std::string text;  // the title or class name of the calls that take one
};

class ScriptedUi : public ui::Ui {
  public:
    ScriptedUi();

    // Script.
    void Push(Action action) { actions_.push_back(std::move(action)); }
    void PushAnswer(int answer) { answers_.push_back(answer); }
    // Answers a message box when the queue of answers is empty (instead of its default
    // button): given the prompt, style and title, returns the answer.
    std::function<int(const std::string&, int, const std::string&)> decide;
    // The next file chooser returns this path (nullopt: the user cancels).
    void PushFileChoice(std::optional<std::string> path) {
        fileChoices_.push_back(std::move(path));
    }
    void PushFolderChoice(std::optional<std::string> path) {
        folderChoices_.push_back(std::move(path));
    }
    // Forgets every queued action, answer and choice (a caller that scripts each call
    // afresh).
    void ClearScript() {
        actions_.clear();
        answers_.clear();
        fileChoices_.clear();
        folderChoices_.clear();
    }

    // Virtual time a form is given to close itself once the script has run out.
    Long idleLimitMs = 60000;

    // Observations: the message boxes shown and the notes, in order.
    const std::vector<Message>& Messages() const { return messages_; }
    std::function<void(const Message&)> onMessage;
    const std::vector<WindowCall>& Journal() const { return journal_; }
    void ClearJournal() { journal_.clear(); }
    Long Now() const { return now_; }
    // The forms shown so far, by name, in order.
    const std::vector<std::string>& Shown() const { return shown_; }

    // The scripted desktop's windows.
    bool strictWindows = false;
    ui::Hwnd AddWindow(const std::string& title);
    bool IsTopMost(ui::Hwnd hwnd) const;
    std::optional<ui::WindowPlacement> PlacementOf(ui::Hwnd hwnd) const;
    std::string ActiveTitle() const { return activeTitle_; }

    // ui::Ui
    int MsgBox(const std::string& prompt, int style, const std::string& title) override;
    void ShowModal(ui::Form& form) override;
    void DoEvents() override;
    Long SetWindowPos(ui::Hwnd hwnd, ui::Hwnd insertAfter, Long x, Long y, Long cx, Long cy,
                      Long flags) override;
    ui::Hwnd FindWindow(const std::string& className, const std::string& title) override;
    bool GetWindowPlacement(ui::Hwnd hwnd, ui::WindowPlacement& placement) override;
    bool SetWindowPlacement(ui::Hwnd hwnd, const ui::WindowPlacement& placement) override;
    Long GetSystemMenu(ui::Hwnd hwnd, bool revert) override;
    bool RemoveMenu(Long menu, Long position, Long flags) override;
    Long SendMessage(ui::Hwnd hwnd, Long message, Long wParam,
                     const std::vector<Long>& lParam) override;
    bool ReleaseCapture() override;
    void AppActivate(const std::string& title) override;
    Long ScreenWidth() override { return 1024 * 15; }
    Long ScreenHeight() override { return 768 * 15; }
    bool GetOpenFileName(ui::FileDialogRequest& request) override;
    bool GetSaveFileName(ui::FileDialogRequest& request) override;
    std::string BrowseForFolder(ui::Hwnd owner, const std::string& title) override;
    ui::Hwnd CreateWindowEx(Long exStyle, const std::string& className, const std::string& title,
                            Long style, Long x, Long y, Long width, Long height,
                            ui::Hwnd parent) override;
    bool DestroyWindow(ui::Hwnd hwnd) override;
    ui::Hwnd SetParent(ui::Hwnd child, ui::Hwnd parent) override;
    bool ShowWindow(ui::Hwnd hwnd, Long command) override;
    bool MoveWindow(ui::Hwnd hwnd, Long x, Long y, Long width, Long height, bool repaint) override;
    Long GetWindowLong(ui::Hwnd hwnd, Long index) override;
    Long SetWindowLong(ui::Hwnd hwnd, Long index, Long value) override;
    Long TwipsPerPixelX() override { return 15; }
    Long TwipsPerPixelY() override { return 15; }

  private:
    struct Window {
        std::string title;
        bool topMost = false;
        ui::WindowPlacement placement;
    };
    struct TimerSlot {
        std::uint64_t epoch = 0;
        Long due = 0;
        bool running = false;
    };

    void Deliver(const Action& action);
    // The action does not fit the form on top: a note, the rest of the script dropped,
    // the form ended as its Cancel button would end it.
    void Refuse(ui::Form& form, const Action& action, const std::string& problem);
    // Presses the form's Cancel button, or unloads the form when it has none (or the
    // button cannot be pressed).
    static void CancelForm(ui::Form& form);
    ui::Form& Top();
    // Advances the virtual clock to `until`, firing due timers of the shown forms.
    // Stops early when `stop` returns true.
    void AdvanceClock(Long until, const std::function<bool()>& stop);
    ui::Hwnd NewHandle();
    Window* FindByHandle(ui::Hwnd hwnd);
    void Record(std::string function, std::vector<Long> args, std::string text = {});
    bool Choose(std::deque<std::optional<std::string>>& queue, std::string& out);

    std::deque<Action> actions_;
    std::deque<int> answers_;
    std::deque<std::optional<std::string>> fileChoices_;
    std::deque<std::optional<std::string>> folderChoices_;
    std::vector<Message> messages_;
    std::vector<WindowCall> journal_;
    std::vector<std::string> shown_;
    std::vector<ui::Form*> stack_;
    std::map<ui::Timer*, TimerSlot> timers_;
    std::map<ui::Hwnd, Window> windows_;
    std::map<std::pair<ui::Hwnd, Long>, Long> windowWords_;  // child windows' words
    std::string activeTitle_;
    ui::Hwnd nextHandle_ = 0x1000;
    Long now_ = 0;
    int headDoEvents_ = 0;  // DoEvents calls since the head action reached the front
};

}  // namespace tbln::scripted

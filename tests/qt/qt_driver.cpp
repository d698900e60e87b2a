#include "qt/qt_driver.hpp"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <deque>
#include <optional>

#include "adapters/qt/qt_ui.hpp"
#include "adapters/scripted/scripted_ui.hpp"

namespace tbln {
namespace {

class ScriptedDriver : public UiDriver {
  public:
    ui::Ui& Ui() override { return ui_; }
    void Type(const std::string& c, const std::string& t) override {
        ui_.Push(scripted::Action::SetText(c, t));
    }
    void Pick(const std::string& c, int i) override { ui_.Push(scripted::Action::Pick(c, i)); }
    void Click(const std::string& c) override { ui_.Push(scripted::Action::Click(c)); }
    void ClickDuringWork(const std::string& c) override { ui_.Push(scripted::Action::Click(c, 0)); }
    void Wait(int ms) override { ui_.Push(scripted::Action::Wait(ms)); }
    void Call(std::function<void()> call) override {
        ui_.Push(scripted::Action::Call(std::move(call)));
    }
    void Answer(int answer) override { ui_.PushAnswer(answer); }
    void CancelChooser() override { ui_.PushFileChoice(std::nullopt); }
    void ChooseFile(const std::string& path) override { ui_.PushFileChoice(path); }
    void Key(const std::string& key) override {
        // The key presses the button that has the role.
        ui_.Push(scripted::Action::Call([this, key] {
            if (auto* b = key == "Escape" ? form_->CancelButton() : form_->DefaultButton())
                b->PerformClick();
        }));
    }
    void Run(ui::Form& form) override {
        form_ = &form;
        ui_.ShowModal(form);
    }

  private:
    scripted::ScriptedUi ui_;
    ui::Form* form_ = nullptr;
};

class QtDriver : public UiDriver {
  public:
    QtDriver() {
        ui_.onShown = [this](ui::Form& form) { forms_.push_back(&form); };
    }
    ui::Ui& Ui() override { return ui_; }

    void Type(const std::string& c, const std::string& text) override {
        Act("type into " + c, [this, c, text] {
            QWidget* w = Find(c);
            auto* edit = qobject_cast<QLineEdit*>(w);
            if (auto* combo = qobject_cast<QComboBox*>(w)) edit = combo->lineEdit();
            if (!edit) return;
            edit->setFocus();
            edit->selectAll();
            edit->insert(QString::fromStdString(text));
        });
    }
    void Pick(const std::string& c, int index) override {
        Act("pick a line of " + c, [this, c, index] {
            QWidget* w = Find(c);
            if (auto* combo = qobject_cast<QComboBox*>(w)) {
                // The user picks the line in the drop-down list.
                combo->setCurrentIndex(index);
                emit combo->activated(index);
            } else if (auto* list = qobject_cast<QListWidget*>(w)) {
                const QRect r = list->visualItemRect(list->item(index));
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
            }
        });
    }
    void Click(const std::string& c) override {
        Act("click " + c, [this, c] {
            if (QWidget* w = Find(c)) QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
        });
    }
    void ClickDuringWork(const std::string& c) override { Click(c); }
    void Wait(int ms) override {
        auto deadline = std::make_shared<std::optional<QDeadlineTimer>>();
        Push({"wait " + std::to_string(ms) + " ms",
              [deadline, ms] {
                  if (!*deadline) *deadline = QDeadlineTimer(ms);
                  return (*deadline)->hasExpired();
              },
              [] {}});
    }
    void Call(std::function<void()> call) override { Act("a call", std::move(call)); }
    void Answer(int answer) override {
        static const std::map<int, const char*> names = {
            {ui::vbOK, "OK"},       {ui::vbCancel, "Cancel"}, {ui::vbAbort, "Abort"},
            {ui::vbRetry, "Retry"}, {ui::vbIgnore, "Ignore"}, {ui::vbYes, "Yes"},
            {ui::vbNo, "No"}};
        Push({"answer the message box with " + std::to_string(answer),
              [] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); },
              [answer] {
                  auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                  auto* b = box->findChild<QPushButton*>(names.at(answer));
                  if (b) QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
              }});
    }
    void CancelChooser() override {
        Push({"cancel the chooser", [] { return Chooser() != nullptr; },
              [] { Chooser()->reject(); }});
    }
    void ChooseFile(const std::string& path) override {
        // As the user does: a click into the file name box, the path typed, then Open (or
        // Save). The chooser's own selectFile is no substitute: it leaves a focused file
        // name box alone, and Open on an empty box only shows the folder again, so the
        // chooser stayed open whenever it had become active before it was answered.
        Push({"choose " + path, [] { return Chooser() != nullptr; },
              [path] {
                  QFileDialog* d = Chooser();
                  auto* name = d->findChild<QLineEdit*>("fileNameEdit");
                  auto* buttons = d->findChild<QDialogButtonBox*>("buttonBox");
                  QPushButton* accept =
                      buttons ? buttons->button(d->acceptMode() == QFileDialog::AcceptOpen
                                                    ? QDialogButtonBox::Open
                                                    : QDialogButtonBox::Save)
                              : nullptr;
                  if (!name || !accept) {
                      ADD_FAILURE() << "the file chooser has no file name box or Open button";
                      d->reject();
                      return;
                  }
                  d->activateWindow();
                  name->setFocus(Qt::MouseFocusReason);
                  name->setText(QString::fromStdString(path));
                  if (!accept->isEnabled()) {
                      ADD_FAILURE() << "the file chooser does not take " << path;
                      d->reject();
                      return;
                  }
                  QTest::mouseClick(accept, Qt::LeftButton, {}, accept->rect().center());
              }});
    }
    void Key(const std::string& key) override {
        Act("press " + key, [this, key] {
            if (QWidget* w = Top())
                QTest::keyClick(w, key == "Escape" ? Qt::Key_Escape : Qt::Key_Return);
        });
    }
    void Run(ui::Form& form) override { ui_.ShowModal(form); }

  private:
    struct Step {
        std::string what;
        std::function<bool()> ready;
        std::function<void()> act;
    };
    // Queues a step; the steps run from the event loops of the dialogs and choosers.
    void Push(Step step) {
        steps_.push_back(std::move(step));
        if (!pumping_) {
            pumping_ = true;
            QTimer::singleShot(20, &context_, [this] { Pump(); });
        }
    }
    static QFileDialog* Chooser() {
        return qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    }
    void Act(std::string what, std::function<void()> act) {
        Push({std::move(what),
              [this] {
                  // The dialog is modal itself; no message box or chooser over it.
                  QWidget* modal = QApplication::activeModalWidget();
                  return Top() && (modal == nullptr || modal == Top());
              },
              std::move(act)});
    }
    QWidget* Top() const {
        for (auto it = forms_.rbegin(); it != forms_.rend(); ++it) {
            if ((*it)->IsLoaded()) return ui_.FormWindow(**it);
        }
        return nullptr;
    }
    QWidget* Find(const std::string& name) const {
        QWidget* top = Top();
        return top ? top->findChild<QWidget*>(QString::fromStdString(name)) : nullptr;
    }
    // Runs the next step when it is ready. The next round is scheduled first, so a step
    // that waits inside (a handler letting events run, a message box) is followed in time.
    void Pump() {
        if (steps_.empty()) {
            // The script ran out: like the scripted adapter, close what is still open
            // (only the forms shown so far, and only while no new steps came).
            QTimer::singleShot(2000, &context_, [this, shown = forms_.size()] {
                if (!steps_.empty()) return;
                for (std::size_t i = shown; i-- > 0;) {
                    if (forms_[i]->IsLoaded()) forms_[i]->Unload();
                }
            });
            pumping_ = false;
            return;
        }
        QTimer::singleShot(20, &context_, [this] { Pump(); });
        if (!waiting_) waiting_ = QDeadlineTimer(kStepTimeoutMs);
        if (!steps_.front().ready()) {
            if (waiting_->hasExpired()) GiveUp();
            return;
        }
        waiting_.reset();
        auto act = std::move(steps_.front().act);
        steps_.pop_front();
        act();
    }
    // A step that never becomes ready fails the test and closes what is open, so the
    // test ends with the step's name instead of hanging.
    void GiveUp() {
        ADD_FAILURE() << "the desktop never became ready to " << steps_.front().what;
        steps_.clear();
        waiting_.reset();
        while (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            modal->reject();
            QCoreApplication::processEvents();
        }
        for (std::size_t i = forms_.size(); i-- > 0;) {
            if (forms_[i]->IsLoaded()) forms_[i]->Unload();
        }
    }

    QObject context_;  // the timers of the steps end with the driver
    mutable qt::QtUi ui_;
    std::deque<Step> steps_;
    std::vector<ui::Form*> forms_;
    bool pumping_ = false;
    std::optional<QDeadlineTimer> waiting_;  // since when the step in front waits
    static constexpr int kStepTimeoutMs = 30000;
};

}  // namespace

std::unique_ptr<UiDriver> MakeScriptedDriver() {
    return std::make_unique<ScriptedDriver>();
}
std::unique_ptr<UiDriver> MakeQtDriver() {
    return std::make_unique<QtDriver>();
}

}  // namespace tbln

#include "qt/qt_driver.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
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
            for (auto* c : form_->Controls()) {
                auto* b = dynamic_cast<ui::CommandButton*>(c);
                if (b && (key == "Escape" ? b->Cancel() : b->Default())) b->PerformClick();
            }
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
        Act([this, c, text] {
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
        Act([this, c, index] {
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
        Act([this, c] {
            if (QWidget* w = Find(c)) QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
        });
    }
    void ClickDuringWork(const std::string& c) override { Click(c); }
    void Wait(int ms) override {
        auto deadline = std::make_shared<std::optional<QDeadlineTimer>>();
        Push({[deadline, ms] {
                  if (!*deadline) *deadline = QDeadlineTimer(ms);
                  return (*deadline)->hasExpired();
              },
              [] {}});
    }
    void Call(std::function<void()> call) override { Act(std::move(call)); }
    void Answer(int answer) override {
        static const std::map<int, const char*> names = {
            {ui::vbOK, "OK"},       {ui::vbCancel, "Cancel"}, {ui::vbAbort, "Abort"},
            {ui::vbRetry, "Retry"}, {ui::vbIgnore, "Ignore"}, {ui::vbYes, "Yes"},
            {ui::vbNo, "No"}};
        Push({[] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); },
              [answer] {
                  auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                  auto* b = box->findChild<QPushButton*>(names.at(answer));
                  if (b) QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
              }});
    }
    void CancelChooser() override {
        Push({[] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()); },
              [] { qobject_cast<QFileDialog*>(QApplication::activeModalWidget())->reject(); }});
    }
    void ChooseFile(const std::string& path) override {
        Push({[] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()); },
              [path] {
                  auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                  d->selectFile(QString::fromStdString(path));
                  QMetaObject::invokeMethod(d, "accept");
              }});
    }
    void Key(const std::string& key) override {
        Act([this, key] {
            if (QWidget* w = Top())
                QTest::keyClick(w, key == "Escape" ? Qt::Key_Escape : Qt::Key_Return);
        });
    }
    void Run(ui::Form& form) override { ui_.ShowModal(form); }

  private:
    struct Step {
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
    void Act(std::function<void()> act) {
        Push({[this] { return QApplication::activeModalWidget() == nullptr && Top(); },
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
        if (!steps_.front().ready()) return;
        auto act = std::move(steps_.front().act);
        steps_.pop_front();
        act();
    }

    QObject context_;  // the timers of the steps end with the driver
    mutable qt::QtUi ui_;
    std::deque<Step> steps_;
    std::vector<ui::Form*> forms_;
    bool pumping_ = false;
};

}  // namespace

std::unique_ptr<UiDriver> MakeScriptedDriver() {
    return std::make_unique<ScriptedDriver>();
}
std::unique_ptr<UiDriver> MakeQtDriver() {
    return std::make_unique<QtDriver>();
}

}  // namespace tbln

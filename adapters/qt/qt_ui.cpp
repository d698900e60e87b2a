#include "adapters/qt/qt_ui.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <exception>
#include <functional>
#include <optional>

#include "core/error.hpp"

namespace tbln::qt {

namespace {

constexpr int kTwipsPerPixel = 15;
constexpr Long kFrameWidth = 120;   // twips of a form's width taken by its frame
constexpr Long kFrameHeight = 510;  // twips of a form's height taken by frame and caption
constexpr Long WM_NCLBUTTONDOWN = 0xA1;
constexpr Long kWsVisible = 0x10000000;
constexpr Long PBM_SETRANGE = 0x401, PBM_SETPOS = 0x402, PBM_SETSTEP = 0x404, PBM_STEPIT = 0x405,
               PBM_SETRANGE32 = 0x406, PBM_GETRANGE = 0x407;
constexpr Long OFN_OVERWRITEPROMPT = 0x2, OFN_ALLOWMULTISELECT = 0x200, OFN_FILEMUSTEXIST = 0x1000;

int Px(Long twips) {
    return static_cast<int>(twips / kTwipsPerPixel);
}
QString Q(const std::string& s) {
    return QString::fromStdString(s);
}
std::string S(const QString& s) {
    return s.toStdString();
}

// Draws a list line with its tab stops, given in dialog units (a quarter of the
// font's average character width) as the list box message sets them.
class TabStopDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    std::vector<Long> stops;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        opt.widget->style()->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
        const double unit = opt.fontMetrics.averageCharWidth() / 4.0;
        const auto parts = text.split('\t');
        painter->save();
        painter->setPen(opt.palette.color(
            opt.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
        const QRect r = opt.rect.adjusted(3, 0, 0, 0);
        int x = r.left();
        for (int i = 0; i < parts.size(); ++i) {
            if (i > 0) {
                const std::size_t k = static_cast<std::size_t>(i - 1);
                const int stop =
                    k < stops.size()
                        ? r.left() + static_cast<int>(static_cast<double>(stops[k]) * unit)
                        : x + opt.fontMetrics.horizontalAdvance(' ') * 4;
                x = std::max(stop, x + opt.fontMetrics.horizontalAdvance(' '));
            }
            painter->drawText(QRect(x, r.top(), r.right() - x, r.height()),
                              Qt::AlignVCenter | Qt::AlignLeft, parts[i]);
            x += opt.fontMetrics.horizontalAdvance(parts[i]);
        }
        painter->restore();
    }
};

// The bar keeps its position within its range, as the common control does: a position
// outside is taken as the nearer end, and a new range pulls the position into it (Qt would
// ignore the one and empty the bar for the other).
void SetBarValue(QProgressBar& bar, int value) {
    bar.setValue(std::clamp(value, bar.minimum(), std::max(bar.minimum(), bar.maximum())));
}
void SetBarRange(QProgressBar& bar, int low, int high) {
    const int value = bar.value();
    bar.setRange(low, high);
    SetBarValue(bar, value);
}

// A check box takes a click anywhere on the control, not only on its box and caption.
class CheckBoxWidget : public QCheckBox {
  public:
    using QCheckBox::QCheckBox;

  protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

}  // namespace

// The dialog window of a form: Esc and Enter, the close box, and the mouse over its body.
class DialogWindow : public QDialog {
  public:
    DialogWindow(QtUi::Impl& impl, ui::Form& form, QWidget* parent)
        : QDialog(parent), impl_(impl), form_(form) {
        setMouseTracking(true);
    }
    bool dragging = false;
    QPoint dragOffset;

  protected:
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override {
        dragging = false;
        QDialog::mouseReleaseEvent(e);
    }

  private:
    QtUi::Impl& impl_;
    ui::Form& form_;
};

class QtUi::Impl {
  public:
    struct Binding {
        ui::Control* control;
        QPointer<QWidget> widget;
    };
    struct TimerBinding {
        ui::Timer* timer;
        std::unique_ptr<QTimer> qtimer;
        std::uint64_t epoch = ~std::uint64_t{0};
        bool running = false;
    };
    struct Shown {
        ui::Form* form = nullptr;
        DialogWindow* window = nullptr;
        std::vector<Binding> bindings;
        std::vector<std::unique_ptr<TimerBinding>> timers;
        QEventLoop* loop = nullptr;
        std::unique_ptr<QTimer> refresh;  // follows changes made outside an event
        Long left = -1, top = -1;
    };

    std::map<ui::Hwnd, QPointer<QWidget>> handles;
    std::map<std::pair<ui::Hwnd, Long>, Long> words;
    std::vector<std::pair<QPointer<QWidget>, std::function<void()>>> titleUpdates;
    std::vector<std::unique_ptr<Shown>> stack;
    std::exception_ptr pending;
    ui::Hwnd next = 0x1000;
    int blocking = 0;            // message boxes and choosers up: the dialogs' timers wait
    ui::ChooserFolders folders;  // where the choosers open

    ui::Hwnd Add(QWidget* w) {
        next += 4;
        handles[next] = w;
        return next;
    }
    QWidget* Get(ui::Hwnd h) const {
        const auto it = handles.find(h);
        return it == handles.end() ? nullptr : it->second.data();
    }
    QWidget* TopWindow() const { return stack.empty() ? nullptr : stack.back()->window; }
    // The active window when the first dialog opens, unless it is a window the adapter
    // knows by handle (the sheet window) or a dialog on its way out.
    QWidget* Opener() const {
        QWidget* w = QApplication::activeWindow();
        if (!w || !w->isVisible() || dynamic_cast<DialogWindow*>(w)) return nullptr;
        for (const auto& [h, known] : handles) {
            if (known == w) return nullptr;
        }
        return w;
    }
    Shown* Find(const ui::Form& form) const {
        for (const auto& s : stack) {
            if (s->form == &form) return s.get();
        }
        return nullptr;
    }

    // Runs a model event. An error that escapes it unloads the form on top and is kept
    // for that form's ShowModal to raise.
    void Dispatch(const std::function<void()>& event) {
        ui::RunEvent(event, pending, stack.empty() ? nullptr : stack.back()->form);
        RefreshAll();
    }

    void RefreshAll() {
        for (auto& s : stack) Refresh(*s);
    }

    // An unloaded form's window is hidden and torn down: what its widgets signal from then
    // on (an editable combo box commits its text as focus leaves it, a list emptied row by
    // row moves its current row) is not the user's and must not reach the form, whose
    // lists are empty again.
    void Silence(Shown& s) {
        for (auto& b : s.bindings) {
            if (b.widget) b.widget->blockSignals(true);
        }
    }

    void Refresh(Shown& s) {
        ui::Form& form = *s.form;
        if (!form.IsLoaded()) {
            for (auto& t : s.timers) t->qtimer->stop();
            Silence(s);
            s.window->hide();
            if (s.loop) s.loop->quit();
            return;
        }
        if (s.window->windowTitle() != Q(form.Caption)) s.window->setWindowTitle(Q(form.Caption));
        if (form.Left != s.left || form.Top != s.top) {
            s.window->move(Px(form.Left), Px(form.Top));
            s.left = form.Left;
            s.top = form.Top;
        }
        for (auto& b : s.bindings) {
            if (b.widget) RefreshControl(*b.control, *b.widget);
        }
        for (auto& t : s.timers) {
            if (t->timer->Epoch() == t->epoch) continue;
            t->epoch = t->timer->Epoch();
            if (t->timer->TimerEnabled() && t->timer->Interval() > 0) {
                t->qtimer->start(static_cast<int>(t->timer->Interval()));
            } else {
                t->qtimer->stop();
            }
        }
    }

    static void RefreshList(const ui::ListControl& l, QComboBox* combo, QListWidget* list) {
        QStringList items;
        for (const auto& i : l.Items()) items << Q(i);
        if (combo) {
            QStringList now;
            for (int i = 0; i < combo->count(); ++i) now << combo->itemText(i);
            if (now != items) {
                combo->clear();
                combo->addItems(items);
            }
            if (combo->currentIndex() != l.ListIndex()) combo->setCurrentIndex(l.ListIndex());
            if (combo->currentText() != Q(l.Text())) combo->setEditText(Q(l.Text()));
        } else if (list) {
            QStringList now;
            for (int i = 0; i < list->count(); ++i) now << list->item(i)->text();
            if (now != items) {
                list->clear();
                list->addItems(items);
            }
            if (list->currentRow() != l.ListIndex()) list->setCurrentRow(l.ListIndex());
        }
    }

    void RefreshControl(ui::Control& c, QWidget& w) const {
        const QSignalBlocker block(&w);
        const QRect geometry(Px(c.Left), Px(c.Top), Px(c.Width), Px(c.Height));
        if (c.Width > 0 && w.geometry() != geometry) w.setGeometry(geometry);
        // A control's child window (the progress bar's bar) fills the control.
        if (QWidget* child = Get(c.ChildWindow());
            child && child->parentWidget() == &w && child->geometry() != w.rect()) {
            child->setGeometry(w.rect());
        }
        w.setEnabled(c.Enabled);
        w.setVisible(c.Visible);
        if (auto* f = dynamic_cast<ui::Frame*>(&c)) {
            auto* q = static_cast<QGroupBox*>(&w);
            if (q->title() != Q(f->Caption())) q->setTitle(Q(f->Caption()));
        } else if (auto* l = dynamic_cast<ui::Label*>(&c)) {
            auto* q = static_cast<QLabel*>(&w);
            if (q->text() != Q(l->Caption())) q->setText(Q(l->Caption()));
        } else if (auto* b = dynamic_cast<ui::CommandButton*>(&c)) {
            auto* q = static_cast<QPushButton*>(&w);
            if (q->text() != Q(b->Caption())) q->setText(Q(b->Caption()));
            q->setDefault(b->Default());
        } else if (auto* t = dynamic_cast<ui::TextBox*>(&c)) {
            auto* q = static_cast<QLineEdit*>(&w);
            if (q->text() != Q(t->Text())) q->setText(Q(t->Text()));
            q->setReadOnly(t->Locked());
        } else if (auto* k = dynamic_cast<ui::CheckBox*>(&c)) {
            auto* q = static_cast<QCheckBox*>(&w);
            if (q->text() != Q(k->Caption())) q->setText(Q(k->Caption()));
            q->setChecked(k->Value() != 0);
        } else if (auto* cb = dynamic_cast<ui::ComboBox*>(&c)) {
            auto* q = static_cast<QComboBox*>(&w);
            const QSignalBlocker blockEdit(q->lineEdit());
            RefreshList(*cb, q, nullptr);
        } else if (auto* lb = dynamic_cast<ui::ListBox*>(&c)) {
            auto* q = static_cast<QListWidget*>(&w);
            if (auto* d = dynamic_cast<TabStopDelegate*>(q->itemDelegate());
                d && d->stops != lb->TabStops()) {
                d->stops = lb->TabStops();
                q->viewport()->update();
            }
            RefreshList(*lb, nullptr, q);
        }
    }

    QWidget* MakeWidget(ui::Control& c, QWidget* parent) {
        if (auto* b = dynamic_cast<ui::CommandButton*>(&c)) {
            auto* q = new QPushButton(parent);
            q->setAutoDefault(false);
            QObject::connect(q, &QPushButton::clicked,
                             [this, b] { Dispatch([b] { b->PerformClick(); }); });
            return q;
        }
        if (auto* t = dynamic_cast<ui::TextBox*>(&c)) {
            auto* q = new QLineEdit(parent);
            QObject::connect(q, &QLineEdit::textEdited,
                             [this, t](const QString& s) { Dispatch([&] { t->SetText(S(s)); }); });
            return q;
        }
        if (auto* k = dynamic_cast<ui::CheckBox*>(&c)) {
            auto* q = new CheckBoxWidget(parent);
            QObject::connect(q, &QCheckBox::clicked,
                             [this, k](bool on) { Dispatch([&] { k->SetValue(on ? 1 : 0); }); });
            return q;
        }
        if (auto* cb = dynamic_cast<ui::ComboBox*>(&c)) {
            auto* q = new QComboBox(parent);
            q->setEditable(true);
            q->setInsertPolicy(QComboBox::NoInsert);
            QObject::connect(q, &QComboBox::activated, [this, cb](int i) {
                Dispatch([&] {
                    if (i == cb->ListIndex() && cb->Click) {
                        cb->Click();
                    } else {
                        cb->SetListIndex(i);
                    }
                });
            });
            QObject::connect(q->lineEdit(), &QLineEdit::textEdited, [this, cb](const QString& s) {
                Dispatch([&] { cb->SetText(S(s)); });
            });
            return q;
        }
        if (auto* lb = dynamic_cast<ui::ListBox*>(&c)) {
            auto* q = new QListWidget(parent);
            q->setItemDelegate(new TabStopDelegate(q));
            QObject::connect(q, &QListWidget::currentRowChanged,
                             [this, lb](int row) { Dispatch([&] { lb->SetListIndex(row); }); });
            QObject::connect(q, &QListWidget::itemDoubleClicked, [this, lb](QListWidgetItem*) {
                Dispatch([&] {
                    if (lb->DblClick) lb->DblClick();
                });
            });
            return q;
        }
        if (dynamic_cast<ui::Frame*>(&c)) {
            // A group box behind the controls it groups; clicks go through to the form.
            auto* q = new QGroupBox(parent);
            q->setAttribute(Qt::WA_TransparentForMouseEvents);
            return q;
        }
        if (dynamic_cast<ui::Label*>(&c)) {
            auto* q = new QLabel(parent);
            q->setWordWrap(true);
            q->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            q->setAttribute(Qt::WA_TransparentForMouseEvents);
            return q;
        }
        // Any other control is a frame holding the child window it creates.
        auto* q = new QFrame(parent);
        q->setAttribute(Qt::WA_TransparentForMouseEvents);
        return q;
    }

    QFileDialog* MakeFileDialog(const ui::FileDialogRequest& request) {
        auto* d =
            new QFileDialog(TopWindow(), Q(request.title), Q(folders.Start(request.initialDir)));
        d->setOption(QFileDialog::DontUseNativeDialog);
        QStringList filters;
        for (const auto& f : NameFilters(request.filter)) filters << Q(f);
        if (!filters.isEmpty()) {
            d->setNameFilters(filters);
            const int index =
                std::clamp(request.filterIndex, 1, static_cast<int>(filters.size())) - 1;
            d->selectNameFilter(filters[index]);
        }
        if (!request.fileName.empty()) d->selectFile(Q(request.fileName));
        if (!request.defaultExt.empty()) d->setDefaultSuffix(Q(request.defaultExt));
        return d;
    }

    // Places a control's child window (made before the form was shown) inside it.
    void Adopt(ui::Control& c, QWidget* container) {
        QWidget* child = Get(c.ChildWindow());
        if (!child || !container) return;
        child->setParent(container);
        child->setGeometry(container->rect());
        child->show();
    }
};

void DialogWindow::keyPressEvent(QKeyEvent* e) {
    ui::CommandButton* target = nullptr;
    if (e->key() == Qt::Key_Escape) {
        target = form_.CancelButton();
    } else if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        target = form_.DefaultButton();
    }
    if (target) {
        impl_.Dispatch([target] { target->PerformClick(); });
        return;
    }
    if (e->key() == Qt::Key_Escape) return;  // no cancel button: Esc does nothing
    QDialog::keyPressEvent(e);
}

// The close box leaves the dialog the way Cancel does: it presses the Cancel button (whose
// handler then decides, as it does for a click), and unloads a form that has none. While
// the Cancel button cannot be pressed the dialog stays open.
void DialogWindow::closeEvent(QCloseEvent* e) {
    e->ignore();
    impl_.Dispatch([this] {
        if (ui::CommandButton* cancel = form_.CancelButton()) {
            cancel->PerformClick();
        } else {
            form_.Unload();
        }
    });
}

void DialogWindow::mouseMoveEvent(QMouseEvent* e) {
    if (dragging && (e->buttons() & Qt::LeftButton)) {
        move(e->globalPosition().toPoint() - dragOffset);
        return;
    }
    dragging = false;
    const int button = (e->buttons() & Qt::LeftButton)    ? 1
                       : (e->buttons() & Qt::RightButton) ? 2
                                                          : 0;
    const auto x = static_cast<Single>(e->position().x() * kTwipsPerPixel);
    const auto y = static_cast<Single>(e->position().y() * kTwipsPerPixel);
    impl_.Dispatch([&] { form_.Form_MouseMove(button, 0, x, y); });
}

void DialogWindow::mousePressEvent(QMouseEvent* e) {
    dragOffset = e->globalPosition().toPoint() - frameGeometry().topLeft();
    const int button = e->button() == Qt::LeftButton ? 1 : e->button() == Qt::RightButton ? 2 : 0;
    const auto x = static_cast<Single>(e->position().x() * kTwipsPerPixel);
    const auto y = static_cast<Single>(e->position().y() * kTwipsPerPixel);
    impl_.Dispatch([&] { form_.Form_MouseDown(button, 0, x, y); });
}

QtUi::QtUi() : impl_(std::make_unique<Impl>()) {}
QtUi::~QtUi() = default;

ui::Hwnd QtUi::AddWindow(QWidget* window, std::function<void()> update) {
    if (update) impl_->titleUpdates.push_back({window, std::move(update)});
    return impl_->Add(window);
}

QWidget* QtUi::Widget(ui::Hwnd hwnd) const {
    return impl_->Get(hwnd);
}

QWidget* QtUi::FormWindow(const ui::Form& form) const {
    const auto* s = impl_->Find(form);
    return s ? s->window : nullptr;
}

int QtUi::MsgBox(const std::string& prompt, int style, const std::string& title) {
    if (onMessage) onMessage(title, prompt);
    QMessageBox box(impl_->TopWindow());
    box.setWindowTitle(Q(title));
    box.setText(Q(prompt));
    switch (style & 0x70) {
        case ui::vbCritical:
            box.setIcon(QMessageBox::Critical);
            break;
        case ui::vbQuestion:
            box.setIcon(QMessageBox::Question);
            break;
        case ui::vbExclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case ui::vbInformation:
            box.setIcon(QMessageBox::Information);
            break;
        default:
            break;
    }
    static const std::map<int, std::pair<QMessageBox::StandardButton, const char*>> kButtons = {
        {ui::vbOK, {QMessageBox::Ok, "OK"}},
        {ui::vbCancel, {QMessageBox::Cancel, "Cancel"}},
        {ui::vbAbort, {QMessageBox::Abort, "Abort"}},
        {ui::vbRetry, {QMessageBox::Retry, "Retry"}},
        {ui::vbIgnore, {QMessageBox::Ignore, "Ignore"}},
        {ui::vbYes, {QMessageBox::Yes, "Yes"}},
        {ui::vbNo, {QMessageBox::No, "No"}}};
    std::map<QAbstractButton*, int> answers;
    const auto buttons = ui::MessageButtons(style);
    for (const int answer : buttons) {
        QPushButton* b = box.addButton(kButtons.at(answer).first);
        b->setObjectName(kButtons.at(answer).second);
        answers[b] = answer;
        if (answer == ui::DefaultAnswer(style)) box.setDefaultButton(b);
        // Esc answers Cancel where there is one, and OK in a box with OK alone.
        if (answer == ui::vbCancel || buttons.size() == 1) box.setEscapeButton(b);
    }
    ++impl_->blocking;
    box.exec();
    --impl_->blocking;
    const auto it = answers.find(box.clickedButton());
    const int answer = it == answers.end() ? ui::DefaultAnswer(style) : it->second;
    impl_->RefreshAll();
    return answer;
}

void QtUi::ShowModal(ui::Form& form) {
    auto& impl = *impl_;
    if (impl.Find(form)) Raise(err::kInvalidCall, "Form already displayed; can't show modally");
    auto shown = std::make_unique<Impl::Shown>();
    Impl::Shown& s = *shown;
    s.form = &form;
    // Modal to the window that opened it, and kept above that window: the dialog under
    // it, else the active window. The windows the dialogs read from (the sheet window)
    // keep taking clicks.
    s.window = new DialogWindow(impl, form, impl.TopWindow() ? impl.TopWindow() : impl.Opener());
    s.window->setWindowModality(Qt::WindowModal);
    // The forms' font, by name: the font configuration stands in a face of close metrics
    // where it is not installed.
    QFont font("Tahoma");
    font.setPointSizeF(8.25);
    s.window->setFont(font);
    s.window->setObjectName(Q(form.Name()));
    s.window->setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    s.window->setFixedSize(Px(form.Width - kFrameWidth), Px(form.Height - kFrameHeight));
    // The title is there before the load runs, which finds its own window by it.
    s.window->setWindowTitle(Q(form.Caption));
    form.hWnd = impl.Add(s.window);
    for (auto* c : form.Controls()) {
        if (auto* t = dynamic_cast<ui::Timer*>(c)) {
            auto tb = std::make_unique<Impl::TimerBinding>();
            tb->timer = t;
            tb->qtimer = std::make_unique<QTimer>();
            Impl::TimerBinding* raw = tb.get();
            QObject::connect(raw->qtimer.get(), &QTimer::timeout, [&impl, raw] {
                if (raw->running || impl.blocking > 0 || !raw->timer->Tick) return;
                raw->running = true;
                impl.Dispatch([raw] { raw->timer->Tick(); });
                raw->running = false;
            });
            s.timers.push_back(std::move(tb));
            continue;
        }
        QWidget* w = impl.MakeWidget(*c, s.window);
        if (dynamic_cast<ui::Frame*>(c)) w->lower();
        w->setObjectName(Q(c->Name()));
        c->hWnd = impl.Add(w);
        c->WindowCreated();
        s.bindings.push_back({c, w});
    }
    impl.stack.push_back(std::move(shown));
    const auto leave = [&] {
        // The controls' child windows outlive the dialog window: the reused form shows
        // them again.
        for (auto& b : s.bindings) {
            if (QWidget* child = impl.Get(b.control->ChildWindow());
                child && b.widget && child->parentWidget() == b.widget) {
                child->hide();
                child->setParent(nullptr);
            }
        }
        for (auto* c : form.Controls()) {
            impl.handles.erase(c->hWnd);
            c->hWnd = 0;
        }
        impl.handles.erase(form.hWnd);
        form.hWnd = 0;
        for (auto& t : s.timers) t->qtimer->stop();
        impl.Silence(s);
        s.window->hide();
        s.window->deleteLater();
        impl.stack.pop_back();
    };
    try {
        form.BeginLoad();
    } catch (...) {
        if (form.IsLoaded()) form.Unload();
        leave();
        throw;
    }
    if (form.IsLoaded() && !impl.pending) {
        impl.Refresh(s);
        for (auto& b : s.bindings) impl.Adopt(*b.control, b.widget);
        s.window->show();
        s.window->raise();
        s.window->activateWindow();
        if (onShown) onShown(form);
        QEventLoop loop;
        s.loop = &loop;
        s.refresh = std::make_unique<QTimer>();
        QObject::connect(s.refresh.get(), &QTimer::timeout, [&impl, &s] { impl.Refresh(s); });
        s.refresh->start(50);
        if (form.IsLoaded() && !impl.pending) loop.exec();
        s.loop = nullptr;
        s.refresh.reset();
    }
    if (form.IsLoaded()) form.Unload();
    leave();
    if (impl.pending) {
        auto error = impl.pending;
        impl.pending = nullptr;
        std::rethrow_exception(error);
    }
}

void QtUi::DoEvents() {
    impl_->RefreshAll();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

std::vector<std::string> NameFilters(const std::string& filter) {
    std::vector<std::string> out;
    for (const auto& [text, patterns] : ui::FileFilters(filter)) {
        // Qt takes the patterns from the description's last parentheses: a description
        // that shows its patterns there has them replaced, any other is given them.
        QString description = Q(text);
        if (description.endsWith(')') && description.lastIndexOf('(') > 0) {
            description = description.left(description.lastIndexOf('(')).trimmed();
        }
        QStringList list;
        for (const auto& p : patterns) list << Q(p);
        out.push_back(S(description + " (" + list.join(' ') + ")"));
    }
    return out;
}

bool QtUi::GetOpenFileName(ui::FileDialogRequest& request) {
    std::unique_ptr<QFileDialog> d(impl_->MakeFileDialog(request));
    d->setAcceptMode(QFileDialog::AcceptOpen);
    const bool multiple = (request.flags & OFN_ALLOWMULTISELECT) != 0;
    d->setFileMode(multiple                                   ? QFileDialog::ExistingFiles
                   : (request.flags & OFN_FILEMUSTEXIST) != 0 ? QFileDialog::ExistingFile
                                                              : QFileDialog::AnyFile);
    ++impl_->blocking;
    const bool ok = d->exec() == QDialog::Accepted && !d->selectedFiles().isEmpty();
    --impl_->blocking;
    if (!ok) return false;
    impl_->folders.Chosen(S(d->directory().absolutePath()));
    const QStringList files = d->selectedFiles();
    if (multiple && files.size() > 1) {
        std::string joined = S(d->directory().absolutePath());
        for (const auto& f : files) joined += '\0' + S(QFileInfo(f).fileName());
        request.fileName = joined;
    } else {
        request.fileName = S(files.front());
    }
    return true;
}

bool QtUi::GetSaveFileName(ui::FileDialogRequest& request) {
    std::unique_ptr<QFileDialog> d(impl_->MakeFileDialog(request));
    d->setAcceptMode(QFileDialog::AcceptSave);
    d->setFileMode(QFileDialog::AnyFile);
    if ((request.flags & OFN_OVERWRITEPROMPT) == 0) d->setOption(QFileDialog::DontConfirmOverwrite);
    ++impl_->blocking;
    const bool ok = d->exec() == QDialog::Accepted && !d->selectedFiles().isEmpty();
    --impl_->blocking;
    if (!ok) return false;
    impl_->folders.Chosen(S(QFileInfo(d->selectedFiles().front()).absolutePath()));
    request.fileName = S(d->selectedFiles().front());
    return true;
}

std::string QtUi::BrowseForFolder(ui::Hwnd owner, const std::string& title) {
    QWidget* parent = impl_->Get(owner);
    QFileDialog d(parent ? parent : impl_->TopWindow(), Q(title), Q(impl_->folders.Last()));
    d.setOption(QFileDialog::DontUseNativeDialog);
    d.setFileMode(QFileDialog::Directory);
    d.setOption(QFileDialog::ShowDirsOnly);
    ++impl_->blocking;
    const bool ok = d.exec() == QDialog::Accepted && !d.selectedFiles().isEmpty();
    --impl_->blocking;
    if (!ok) return {};
    impl_->folders.Chosen(S(QFileInfo(d.selectedFiles().front()).absolutePath()));
    return S(d.selectedFiles().front());
}

Long QtUi::SetWindowPos(ui::Hwnd hwnd, ui::Hwnd insertAfter, Long x, Long y, Long cx, Long cy,
                        Long flags) {
    QWidget* w = impl_->Get(hwnd);
    if (!w) return 0;
    if (insertAfter == ui::HWND_TOPMOST || insertAfter == ui::HWND_NOTOPMOST) {
        const bool on = insertAfter == ui::HWND_TOPMOST;
        if (w->windowFlags().testFlag(Qt::WindowStaysOnTopHint) != on) {
            // Told to the window there is: a flag set on the widget would hide its window
            // and show a new one in its place, which drops what the user was doing in it.
            Qt::WindowFlags wanted = w->windowFlags();
            wanted.setFlag(Qt::WindowStaysOnTopHint, on);
            w->overrideWindowFlags(wanted);
            if (QWindow* window = w->windowHandle()) window->setFlags(wanted);
        }
        // Into the band is to the top of the windows.
        if (on) w->raise();
    }
    if ((flags & ui::SWP_NOMOVE) == 0) w->move(static_cast<int>(x), static_cast<int>(y));
    if ((flags & ui::SWP_NOSIZE) == 0) w->resize(static_cast<int>(cx), static_cast<int>(cy));
    return 1;
}

ui::Hwnd QtUi::FindWindow(const std::string& /*className*/, const std::string& title) {
    for (auto& [window, update] : impl_->titleUpdates) {
        if (window) update();
    }
    for (auto& s : impl_->stack) {
        if (s->window->windowTitle() != Q(s->form->Caption))
            s->window->setWindowTitle(Q(s->form->Caption));
    }
    for (const auto& [h, w] : impl_->handles) {
        if (w && w->isWindow() && w->windowTitle() == Q(title)) return h;
    }
    return 0;
}

bool QtUi::GetWindowPlacement(ui::Hwnd hwnd, ui::WindowPlacement& placement) {
    QWidget* w = impl_->Get(hwnd);
    if (!w || placement.length != 44) return false;
    const QRect g = w->normalGeometry().isValid() ? w->normalGeometry() : w->geometry();
    placement.showCmd = w->isMaximized() ? ui::SW_SHOWMAXIMIZED : w->isMinimized() ? 2 : 1;
    placement.left = g.left();
    placement.top = g.top();
    placement.right = g.right() + 1;
    placement.bottom = g.bottom() + 1;
    return true;
}

bool QtUi::SetWindowPlacement(ui::Hwnd hwnd, const ui::WindowPlacement& placement) {
    QWidget* w = impl_->Get(hwnd);
    if (!w || placement.length != 44) return false;
    if (placement.showCmd == ui::SW_SHOWMAXIMIZED) {
        w->showMaximized();
    } else {
        w->setGeometry(static_cast<int>(placement.left), static_cast<int>(placement.top),
                       static_cast<int>(placement.right - placement.left),
                       static_cast<int>(placement.bottom - placement.top));
        if (placement.showCmd == 2) w->showMinimized();
    }
    return true;
}

// The system menu of a window is named by the window's handle plus one.
Long QtUi::GetSystemMenu(ui::Hwnd hwnd, bool /*revert*/) {
    return impl_->Get(hwnd) ? hwnd + 1 : 0;
}

bool QtUi::RemoveMenu(Long menu, Long /*position*/, Long /*flags*/) {
    QWidget* w = impl_->Get(menu - 1);
    if (!w) return false;
    // Removing the menu's Close item takes the close box away.
    if (w->windowFlags().testFlag(Qt::WindowCloseButtonHint)) {
        const bool visible = w->isVisible();
        w->setWindowFlags((w->windowFlags() | Qt::CustomizeWindowHint | Qt::WindowTitleHint) &
                          ~Qt::WindowCloseButtonHint);
        if (visible) w->show();
    }
    return true;
}

Long QtUi::SendMessage(ui::Hwnd hwnd, Long message, Long wParam, const std::vector<Long>& lParam) {
    QWidget* w = impl_->Get(hwnd);
    if (!w) return 0;
    const Long l = lParam.empty() ? 0 : lParam.front();
    if (message == ui::LB_SETTABSTOPS) {
        for (auto& s : impl_->stack) {
            for (auto& b : s->bindings) {
                if (b.widget == w) {
                    if (auto* lb = dynamic_cast<ui::ListBox*>(b.control)) lb->SetTabStops(lParam);
                }
            }
        }
        impl_->RefreshAll();
        return 1;
    }
    if (message == WM_NCLBUTTONDOWN) {
        // Dragging by the caption: the window manager moves it when it can, else the
        // form follows the mouse until the button is released.
        if (auto* f = dynamic_cast<DialogWindow*>(w)) {
            if (!(f->windowHandle() && f->windowHandle()->startSystemMove())) f->dragging = true;
        }
        return 0;
    }
    if (auto* bar = qobject_cast<QProgressBar*>(w)) {
        switch (message) {
            case PBM_SETRANGE32:
                SetBarRange(*bar, static_cast<int>(wParam), static_cast<int>(l));
                return 1;
            case PBM_SETRANGE:
                SetBarRange(*bar, static_cast<int>(l & 0xFFFF),
                            static_cast<int>((l >> 16) & 0xFFFF));
                return 1;
            case PBM_GETRANGE:
                return wParam != 0 ? bar->minimum() : bar->maximum();
            case PBM_SETPOS: {
                const int old = bar->value();
                SetBarValue(*bar, static_cast<int>(wParam));
                return old;
            }
            case PBM_SETSTEP:
                impl_->words[{hwnd, 1}] = wParam;
                return 1;
            case PBM_STEPIT: {
                const auto it = impl_->words.find({hwnd, 1});
                const Long step = it == impl_->words.end() ? 10 : it->second;
                SetBarValue(*bar, bar->value() + static_cast<int>(step));
                return 1;
            }
            default:
                return 0;
        }
    }
    return 0;
}

bool QtUi::ReleaseCapture() {
    if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
    return true;
}

void QtUi::AppActivate(const std::string& title) {
    const ui::Hwnd h = FindWindow("", title);
    QWidget* w = impl_->Get(h);
    if (!w) Raise(err::kInvalidCall);
    w->raise();
    w->activateWindow();
}

Long QtUi::ScreenWidth() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return (screen ? screen->geometry().width() : 1024) * kTwipsPerPixel;
}

Long QtUi::ScreenHeight() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return (screen ? screen->geometry().height() : 768) * kTwipsPerPixel;
}

ui::Hwnd QtUi::CreateWindowEx(Long exStyle, const std::string& className,
                              const std::string& /*title*/, Long style, Long x, Long y, Long width,
                              Long height, ui::Hwnd parent) {
    QWidget* p = impl_->Get(parent);
    QWidget* w = className == "msctls_progress32" ? new QProgressBar(p) : new QWidget(p);
    if (auto* bar = qobject_cast<QProgressBar*>(w)) bar->setTextVisible(false);
    w->setGeometry(static_cast<int>(x), static_cast<int>(y), static_cast<int>(width),
                   static_cast<int>(height));
    if (p && (style & kWsVisible) != 0) w->show();
    const ui::Hwnd h = impl_->Add(w);
    impl_->words[{h, -20}] = exStyle;
    return h;
}

bool QtUi::DestroyWindow(ui::Hwnd hwnd) {
    QWidget* w = impl_->Get(hwnd);
    if (!w) return false;
    impl_->handles.erase(hwnd);
    delete w;
    return true;
}

ui::Hwnd QtUi::SetParent(ui::Hwnd child, ui::Hwnd parent) {
    QWidget* c = impl_->Get(child);
    if (!c) return 0;
    ui::Hwnd old = 0;
    for (const auto& [h, w] : impl_->handles) {
        if (w && w == c->parentWidget()) old = h;
    }
    c->setParent(impl_->Get(parent));
    return old;
}

bool QtUi::ShowWindow(ui::Hwnd hwnd, Long command) {
    QWidget* w = impl_->Get(hwnd);
    if (!w) return false;
    const bool was = w->isVisible();
    if (command == 0) {
        w->hide();
    } else if (command == ui::SW_SHOWMAXIMIZED) {
        w->showMaximized();
    } else {
        w->show();
    }
    return was;
}

bool QtUi::MoveWindow(ui::Hwnd hwnd, Long x, Long y, Long width, Long height, bool /*repaint*/) {
    QWidget* w = impl_->Get(hwnd);
    if (!w) return false;
    // A control's child window fills the control, whatever size its maker asks for.
    if (w->parentWidget() && !w->isWindow() && qobject_cast<QProgressBar*>(w)) {
        w->setGeometry(w->parentWidget()->rect());
    } else {
        w->setGeometry(static_cast<int>(x), static_cast<int>(y), static_cast<int>(width),
                       static_cast<int>(height));
    }
    return true;
}

Long QtUi::GetWindowLong(ui::Hwnd hwnd, Long index) {
    const auto it = impl_->words.find({hwnd, index});
    return it == impl_->words.end() ? 0 : it->second;
}

Long QtUi::SetWindowLong(ui::Hwnd hwnd, Long index, Long value) {
    Long& word = impl_->words[{hwnd, index}];
    const Long old = word;
    word = value;
    if (QWidget* w = impl_->Get(hwnd); w && index == -20) {
        if (auto* frame = qobject_cast<QFrame*>(w->parentWidget())) {
            frame->setFrameStyle(value & 0x200 ? QFrame::StyledPanel | QFrame::Sunken
                                               : QFrame::NoFrame);
        }
    }
    return old;
}

}  // namespace tbln::qt

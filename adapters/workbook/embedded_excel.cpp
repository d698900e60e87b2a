#include "adapters/workbook/embedded_excel.hpp"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "adapters/posix/posix_system.hpp"
#include "adapters/workbook/a1.hpp"
#include "adapters/workbook/embedded_shapes.hpp"
#include "adapters/workbook/numfmt/display_text.hpp"
#include "adapters/workbook/save.hpp"
#include "adapters/workbook/sheet_edits.hpp"
#include "adapters/workbook/sheet_geometry.hpp"
#include "adapters/workbook/workbook_model.hpp"
#include "core/collection.hpp"
#include "core/error.hpp"

namespace tbln::workbook {

namespace {

namespace fs = std::filesystem;

[[noreturn]] void BadAddress(std::string_view address) {
    Raise(err::kApplicationDefined, "Method 'Range' of object '_Worksheet' failed: the address \"" +
                                        std::string(address) + "\" is not valid");
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// What tells one version of a workbook file from another (the file helpers' stamp).
using FileStamp = std::string;

std::optional<FileStamp> StampOf(const std::string& path) {
    return posix::FileStampOf(path);
}

std::vector<Area> ParseAddress(std::string_view address) {
    std::vector<Area> areas;
    std::size_t start = 0;
    while (true) {
        const auto comma = address.find(',', start);
        const auto part = Trim(address.substr(
            start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        Area a;
        if (!ParseArea(part, a)) BadAddress(address);
        areas.push_back(a);
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return areas;
}

class AppImpl;
class BookImpl;
class SheetImpl;

class RangeImpl : public excel::Range, public std::enable_shared_from_this<RangeImpl> {
  public:
    enum class Kind { Cells, Rows, Columns };
    RangeImpl(std::shared_ptr<SheetImpl> sheet, std::vector<Area> areas, Kind kind = Kind::Cells)
        : sheet_(std::move(sheet)), areas_(std::move(areas)), kind_(kind) {}

    Long Row() override { return areas_.front().top; }
    Long Column() override { return areas_.front().left; }
    Long Count() override;
    std::shared_ptr<excel::Range> Rows() override {
        return std::make_shared<RangeImpl>(sheet_, areas_, Kind::Rows);
    }
    std::shared_ptr<excel::Range> Columns() override {
        return std::make_shared<RangeImpl>(sheet_, areas_, Kind::Columns);
    }
    std::string Text() override;
    void SetValue(const std::string& value) override;
    double Height() override;
    double Width() override;
    double ColumnWidth() override;
    void SetColumnWidth(double characters) override;
    bool MergeCells() override;
    std::shared_ptr<excel::Range> MergeArea() override;
    void Select() override;
    void Activate() override;
    void Delete() override;
    std::shared_ptr<excel::Worksheet> Worksheet() override;

  private:
    std::shared_ptr<SheetImpl> sheet_;
    std::vector<Area> areas_;
    Kind kind_;
};

class SheetImpl : public excel::Worksheet, public std::enable_shared_from_this<SheetImpl> {
  public:
    SheetImpl(std::weak_ptr<BookImpl> book, std::size_t index)
        : book_(std::move(book)), index_(index) {}

    SheetModel& Model();
    const WorkbookModel& BookModel();
    std::shared_ptr<BookImpl> Book();
    bool IsActive();
    // After the workbook was read again: the sheet's place in it, or kGone when the
    // file no longer has a sheet of this name.
    static constexpr std::size_t kGone = static_cast<std::size_t>(-1);
    void MoveTo(std::size_t index) { index_ = index; }

    std::string Name() override { return Model().name; }
    void Activate() override;
    void Select() override { Activate(); }
    std::shared_ptr<excel::Range> Cells(Long row, Long column) override {
        if (row < 1 || row > kMaxRows || column < 1 || column > kMaxCols) {
            Raise(err::kApplicationDefined, "Application-defined or object-defined error");
        }
        return std::make_shared<RangeImpl>(shared_from_this(),
                                           std::vector<Area>{Area{row, column, row, column}});
    }
    std::shared_ptr<excel::Range> Range(const std::string& address) override {
        return std::make_shared<RangeImpl>(shared_from_this(), ParseAddress(address));
    }
    std::shared_ptr<excel::Range> Range(const std::shared_ptr<excel::Range>& cell1,
                                        const std::shared_ptr<excel::Range>& cell2) override {
        if (!cell1 || !cell2) Raise(err::kObjectNotSet);
        const Long r1 = cell1->Row(), c1 = cell1->Column(), r2 = cell2->Row(), c2 = cell2->Column();
        return std::make_shared<RangeImpl>(
            shared_from_this(), std::vector<Area>{Area{std::min(r1, r2), std::min(c1, c2),
                                                       std::max(r1, r2), std::max(c1, c2)}});
    }
    std::shared_ptr<excel::Range> Columns(Long column) override {
        if (column < 1 || column > kMaxCols) Raise(err::kApplicationDefined);
        return std::make_shared<RangeImpl>(shared_from_this(),
                                           std::vector<Area>{Area{1, column, kMaxRows, column}});
    }
    std::shared_ptr<excel::Shapes> Shapes() override;
    std::shared_ptr<excel::Picture> Pictures(Long index) override;
    std::shared_ptr<excel::Application> Application() override;

  private:
    SheetAccess Drawing();

    std::weak_ptr<BookImpl> book_;
    std::size_t index_;
};

class SheetsImpl;

class BookImpl : public excel::Workbook, public std::enable_shared_from_this<BookImpl> {
  public:
    BookImpl(std::weak_ptr<AppImpl> app, std::shared_ptr<WorkbookModel> model, std::string fullName,
             std::optional<FileStamp> stamp)
        : app_(std::move(app)),
          model_(std::move(model)),
          fullName_(std::move(fullName)),
          stamp_(stamp) {}

    void CreateSheets() {
        for (std::size_t i = 0; i < model_->sheets.size(); ++i) {
            sheets_.push_back(std::make_shared<SheetImpl>(weak_from_this(), i));
        }
    }
    WorkbookModel& Model() { return *model_; }
    const std::shared_ptr<WorkbookModel>& SharedModel() const { return model_; }
    std::shared_ptr<AppImpl> App();
    const std::vector<std::shared_ptr<SheetImpl>>& SheetList() const { return sheets_; }
    // Makes this the application's active workbook.
    void MakeActive();
    // Reads the file again when another program changed it since it was read here.
    void Refresh();

    std::string Name() override { return fs::path(fullName_).filename().string(); }
    std::string FullName() override { return fullName_; }
    // Activating a workbook is how a dialog opens one that is already open: the file a
    // drafter has just saved elsewhere is what the dialog then sees.
    void Activate() override {
        Refresh();
        MakeActive();
    }
    std::shared_ptr<excel::Worksheet> ActiveSheet() override {
        return sheets_.at(model_->activeTab);
    }
    std::shared_ptr<excel::Sheets> Sheets() override;
    void Save() override;

  private:
    bool HasUnsavedEdits() const {
        return std::any_of(model_->sheets.begin(), model_->sheets.end(),
                           [](const SheetModel& s) { return !s.edits.empty(); });
    }
    void Reload();

    std::weak_ptr<AppImpl> app_;
    // Shared with drawings made from it: reading the file again gives a new model, and a
    // drawing keeps the version it was made from.
    std::shared_ptr<WorkbookModel> model_;
    std::string fullName_;
    std::vector<std::shared_ptr<SheetImpl>> sheets_;
    // The version of the file the model holds; none when the file could not be looked at.
    std::optional<FileStamp> stamp_;
    // The version of the file the user was told is not read because of unsaved edits.
    std::optional<FileStamp> notReadStamp_;
};

class SheetsImpl : public excel::Sheets {
  public:
    explicit SheetsImpl(std::shared_ptr<BookImpl> book) : book_(std::move(book)) {}
    Long Count() override { return static_cast<Long>(book_->SheetList().size()); }
    std::shared_ptr<excel::Worksheet> Item(Long index) override {
        if (index < 1 || index > Count()) Raise(err::kSubscript);
        return book_->SheetList()[static_cast<std::size_t>(index - 1)];
    }
    std::shared_ptr<excel::Worksheet> Item(const std::string& name) override {
        for (const auto& s : book_->SheetList()) {
            if (KeysEqual(s->Name(), name)) return s;
        }
        Raise(err::kSubscript, "Subscript out of range: the workbook " + book_->Name() +
                                   " has no sheet named \"" + name + "\"");
    }

  private:
    std::shared_ptr<BookImpl> book_;
};

class WorkbooksImpl;

class AppImpl : public excel::Application, public std::enable_shared_from_this<AppImpl> {
  public:
    explicit AppImpl(ui::Ui& ui) : ui_(ui) {}

    std::vector<std::shared_ptr<BookImpl>>& Books() { return books_; }
    void SetActive(const std::shared_ptr<BookImpl>& book) { active_ = book; }
    std::shared_ptr<BookImpl> Active() { return active_.lock(); }
    ui::Ui& Ui() { return ui_; }

    std::string Caption() override {
        auto book = Active();
        return book ? "Excel - " + book->Name() : "Excel";
    }
    bool Visible() override { return visible_; }
    void SetVisible(bool v) override { visible_ = v; }
    bool ScreenUpdating() override { return screenUpdating_; }
    void SetScreenUpdating(bool u) override { screenUpdating_ = u; }
    std::shared_ptr<excel::Workbooks> Workbooks() override;
    std::shared_ptr<excel::Workbook> ActiveWorkbook() override { return Active(); }
    std::shared_ptr<excel::Worksheet> ActiveSheet() override {
        auto book = Active();
        return book ? book->ActiveSheet() : nullptr;
    }
    std::shared_ptr<excel::Range> ActiveCell() override {
        auto sheet = RequireSheet();
        const auto& m = static_cast<SheetImpl&>(*sheet).Model();
        return sheet->Cells(m.activeRow, m.activeCol);
    }
    std::shared_ptr<excel::Range> Cells(Long row, Long column) override {
        return RequireSheet()->Cells(row, column);
    }
    std::shared_ptr<excel::Range> Range(const std::string& address) override {
        return RequireSheet()->Range(address);
    }
    std::shared_ptr<excel::Range> Range(const std::shared_ptr<excel::Range>& cell1,
                                        const std::shared_ptr<excel::Range>& cell2) override {
        return RequireSheet()->Range(cell1, cell2);
    }
    std::shared_ptr<excel::Range> Columns(Long column) override {
        return RequireSheet()->Columns(column);
    }
    std::string GetOpenFilename(const std::string& fileFilter) override {
        ui::FileDialogRequest request;
        request.filter = fileFilter;
        request.title = "Open";
        return ui_.GetOpenFileName(request) ? request.fileName : std::string("False");
    }

  private:
    std::shared_ptr<excel::Worksheet> RequireSheet() {
        auto sheet = ActiveSheet();
        if (!sheet) Raise(err::kObjectNotSet);
        return sheet;
    }

    ui::Ui& ui_;
    bool visible_ = false;
    bool screenUpdating_ = true;
    std::vector<std::shared_ptr<BookImpl>> books_;
    std::weak_ptr<BookImpl> active_;
};

class WorkbooksImpl : public excel::Workbooks {
  public:
    explicit WorkbooksImpl(std::shared_ptr<AppImpl> app) : app_(std::move(app)) {}
    Long Count() override { return static_cast<Long>(app_->Books().size()); }
    std::shared_ptr<excel::Workbook> Item(Long index) override {
        if (index < 1 || index > Count()) Raise(err::kSubscript);
        return app_->Books()[static_cast<std::size_t>(index - 1)];
    }
    std::shared_ptr<excel::Workbook> Open(const std::string& path) override {
        if (path.empty())
            Raise(err::kApplicationDefined, "Cannot open the workbook: no file name was given");
        std::error_code ec;
        const std::string fullName = fs::absolute(path, ec).lexically_normal().string();
        // A workbook that is already open is activated, not opened a second time.
        for (const auto& book : app_->Books()) {
            if (book->FullName() == fullName) {
                book->Activate();
                return book;
            }
        }
        // The stamp is taken first: a file changed while it is read is read again later.
        const auto stamp = StampOf(fullName);
        auto book = std::make_shared<BookImpl>(app_, LoadWorkbook(fullName), fullName, stamp);
        book->CreateSheets();
        app_->Books().push_back(book);
        app_->SetActive(book);
        return book;
    }

  private:
    std::shared_ptr<AppImpl> app_;
};

std::shared_ptr<excel::Workbooks> AppImpl::Workbooks() {
    return std::make_shared<WorkbooksImpl>(shared_from_this());
}

std::shared_ptr<AppImpl> BookImpl::App() {
    auto app = app_.lock();
    if (!app) Raise(err::kObjectNotSet);
    return app;
}

void BookImpl::MakeActive() {
    App()->SetActive(shared_from_this());
}

void BookImpl::Refresh() {
    const auto now = StampOf(fullName_);
    // A file that is gone leaves the open copy as it is, as a removed file leaves an
    // open workbook.
    if (!now || now == stamp_) return;
    if (HasUnsavedEdits()) {
        // Our own changes are not thrown away: the open copy stays what the engine
        // shows, and a save writes those changes into the file as it is then. The user
        // is told once for each version of the file.
        if (notReadStamp_ != now) {
            notReadStamp_ = now;
            App()->Ui().MsgBox("The file " + fullName_ +
                                   " was changed by another program, but the workbook open "
                                   "here has changes that are not saved: the open workbook is "
                                   "used as it is.     ",
                               ui::vbInformation, "Error");
        }
        return;
    }
    Reload();
    stamp_ = now;
}

void BookImpl::Reload() {
    auto fresh = LoadWorkbook(fullName_);
    // What the user did in the open workbook that is not in the file stays: the active
    // sheet, and each sheet's active cell and selection, found by the sheet's name.
    auto& old = *model_;
    const std::string activeName =
        old.activeTab < old.sheets.size() ? old.sheets[old.activeTab].name : std::string();
    std::vector<std::shared_ptr<SheetImpl>> sheets;
    std::vector<bool> kept(old.sheets.size());
    for (std::size_t i = 0; i < fresh->sheets.size(); ++i) {
        auto& sheet = fresh->sheets[i];
        std::shared_ptr<SheetImpl> impl;
        for (std::size_t j = 0; j < old.sheets.size() && !impl; ++j) {
            if (kept[j] || !KeysEqual(old.sheets[j].name, sheet.name)) continue;
            kept[j] = true;
            sheet.activeRow = old.sheets[j].activeRow;
            sheet.activeCol = old.sheets[j].activeCol;
            sheet.selection = old.sheets[j].selection;
            impl = sheets_.at(j);
            impl->MoveTo(i);
        }
        if (!impl) impl = std::make_shared<SheetImpl>(weak_from_this(), i);
        sheets.push_back(std::move(impl));
        if (!activeName.empty() && KeysEqual(sheet.name, activeName)) fresh->activeTab = i;
    }
    // A sheet the file no longer has is gone for whoever still holds it.
    for (std::size_t j = 0; j < sheets_.size(); ++j) {
        if (!kept[j]) sheets_[j]->MoveTo(SheetImpl::kGone);
    }
    // A window that draws the active workbook asks for its model each time it draws.
    model_ = std::move(fresh);
    sheets_ = std::move(sheets);
}

void BookImpl::Save() {
    const bool unchangedSinceRead = StampOf(fullName_) == stamp_;
    SaveWorkbook(*model_);
    // The file now holds the model. When another program had changed the file, the save
    // wrote our changes into its version, which the model lacks: the old stamp stays,
    // so the next opening reads the file again.
    if (unchangedSinceRead) stamp_ = StampOf(fullName_);
}

std::shared_ptr<excel::Sheets> BookImpl::Sheets() {
    return std::make_shared<SheetsImpl>(shared_from_this());
}

std::shared_ptr<BookImpl> SheetImpl::Book() {
    auto book = book_.lock();
    if (!book) Raise(err::kObjectNotSet);
    return book;
}

SheetModel& SheetImpl::Model() {
    auto book = Book();
    auto& sheets = book->Model().sheets;
    if (index_ >= sheets.size()) {
        Raise(err::kApplicationDefined, "The sheet is no longer in the workbook " +
                                            book->FullName() +
                                            ": the file was changed by another program");
    }
    return sheets[index_];
}
const WorkbookModel& SheetImpl::BookModel() {
    return Book()->Model();
}

bool SheetImpl::IsActive() {
    auto book = Book();
    return book->App()->Active() == book && book->Model().activeTab == index_;
}

void SheetImpl::Activate() {
    auto book = Book();
    Model();  // a sheet no longer in the workbook cannot be activated
    book->MakeActive();
    book->Model().activeTab = index_;
}

std::shared_ptr<excel::Application> SheetImpl::Application() {
    return Book()->App();
}

// The sheet's drawing for the shape objects; a drawing that could not be read is
// reported once, and the sheet then shows no shapes or pictures.
SheetAccess SheetImpl::Drawing() {
    auto self = shared_from_this();
    auto& drawing = Model().drawing;
    if (!drawing.error.empty() && !drawing.warned) {
        drawing.warned = true;
        Book()->App()->Ui().MsgBox(
            drawing.error + ". The sheet's shapes and pictures are left out.", ui::vbInformation,
            "Error");
    }
    return SheetAccess{self, [self]() -> const WorkbookModel& { return self->BookModel(); },
                       [self]() -> const SheetModel& { return self->Model(); }};
}

std::shared_ptr<excel::Shapes> SheetImpl::Shapes() {
    return CreateShapes(Drawing());
}

std::shared_ptr<excel::Picture> SheetImpl::Pictures(Long index) {
    return CreatePicture(Drawing(), index);
}

Long RangeImpl::Count() {
    long long n = 0;
    for (const auto& a : areas_) {
        const long long rows = a.bottom - a.top + 1, cols = a.right - a.left + 1;
        n += kind_ == Kind::Rows ? rows : kind_ == Kind::Columns ? cols : rows * cols;
        if (kind_ != Kind::Cells) break;  // Rows and Columns count the first area
    }
    return static_cast<Long>(n);
}

std::string RangeImpl::Text() {
    const auto& a = areas_.front();
    const Cell* cell = sheet_->Model().Find(a.top, a.left);
    return cell ? DisplayText(sheet_->BookModel(), sheet_->Model(), a.top, a.left, *cell)
                : std::string{};
}

double RangeImpl::Height() {
    // The rows of the first area: the sum of their heights, hidden rows counting 0.
    const auto& a = areas_.front();
    const auto& book = sheet_->BookModel();
    const auto& sheet = sheet_->Model();
    return RowSpanPoints(book, sheet, a.top, a.bottom);
}

double RangeImpl::Width() {
    const auto& a = areas_.front();
    const auto& book = sheet_->BookModel();
    const auto& sheet = sheet_->Model();
    return ColumnSpanPoints(book, sheet, a.left, a.right);
}

double RangeImpl::ColumnWidth() {
    return ColumnWidthCharacters(sheet_->BookModel(), sheet_->Model(), areas_.front().left);
}

bool RangeImpl::MergeCells() {
    const auto& a = areas_.front();
    return sheet_->Model().FindMerge(a.top, a.left) != nullptr;
}

std::shared_ptr<excel::Range> RangeImpl::MergeArea() {
    const auto& a = areas_.front();
    if (const Area* m = sheet_->Model().FindMerge(a.top, a.left))
        return std::make_shared<RangeImpl>(sheet_, std::vector<Area>{*m});
    return std::make_shared<RangeImpl>(sheet_,
                                       std::vector<Area>{Area{a.top, a.left, a.top, a.left}});
}

void RangeImpl::Select() {
    if (!sheet_->IsActive()) {
        Raise(err::kApplicationDefined, "Select method of Range class failed");
    }
    auto& m = sheet_->Model();
    m.selection = areas_;
    m.activeRow = areas_.front().top;
    m.activeCol = areas_.front().left;
}

// Activating a cell inside the selection moves the active cell and keeps the selection,
// as Shift+click and Shift+arrows leave it; any other range is selected.
void RangeImpl::Activate() {
    auto& m = sheet_->Model();
    const Area& a = areas_.front();
    const bool inside = areas_.size() == 1 && a.Rows() * a.Columns() == 1 && sheet_->IsActive() &&
                        std::any_of(m.selection.begin(), m.selection.end(),
                                    [&](const Area& s) { return s.Contains(a.top, a.left); });
    if (!inside) return Select();
    m.activeRow = a.top;
    m.activeCol = a.left;
}

std::shared_ptr<excel::Worksheet> RangeImpl::Worksheet() {
    return sheet_;
}

void RangeImpl::SetValue(const std::string& value) {
    SetCellsText(sheet_->Book()->Model(), sheet_->Model(), areas_, value);
}

void RangeImpl::SetColumnWidth(double characters) {
    for (const auto& a : areas_)
        SetColumnsWidth(sheet_->BookModel(), sheet_->Model(), a.left, a.right, characters);
}

void RangeImpl::Delete() {
    if (areas_.size() != 1) {
        Raise(err::kApplicationDefined,
              "Delete method of Range class failed: that command cannot be used on multiple "
              "selections");
    }
    DeleteCells(sheet_->Model(), areas_.front());
}

}  // namespace

std::shared_ptr<excel::Application> CreateEmbeddedExcel(ui::Ui& ui) {
    return std::make_shared<AppImpl>(ui);
}

void RegisterEmbeddedExcel(ObjectServer& server, ui::Ui& ui) {
    auto running = std::make_shared<std::shared_ptr<excel::Application>>();
    server.Register(
        "Excel.Application",
        ObjectServer::Provider{[running]() -> std::shared_ptr<Object> { return *running; },
                               [running, &ui]() -> std::shared_ptr<Object> {
                                   *running = CreateEmbeddedExcel(ui);
                                   return *running;
                               }});
}

const WorkbookModel* ActiveWorkbookModel(excel::Application& app) {
    auto* impl = dynamic_cast<AppImpl*>(&app);
    const auto book = impl ? impl->Active() : nullptr;
    return book ? &book->Model() : nullptr;
}

std::shared_ptr<const WorkbookModel> OpenWorkbookModel(excel::Application& app,
                                                       const std::string& path) {
    auto* impl = dynamic_cast<AppImpl*>(&app);
    if (!impl) return nullptr;
    for (const auto& book : impl->Books()) {
        std::error_code ignored;
        if (fs::equivalent(book->FullName(), path, ignored)) return book->SharedModel();
    }
    return nullptr;
}

}  // namespace tbln::workbook

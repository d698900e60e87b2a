#include "capture/reader_exchange.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cstring>
#include <limits>
#include <vector>

#include "common/paths.hpp"
#include "common/reader_arguments.hpp"
#include "core/error.hpp"
#include "core/text.hpp"
#include "core/unicode.hpp"

namespace tbln {

namespace {

// One line of output.txt split at the separator, with its place for error messages.
class Fields {
  public:
    Fields(std::string_view line, long lineNumber, const std::string& file) : file_(file) {
        fields_.reserve(kCellFields + 1);
        Split(line, lineNumber);
    }
    // Takes the next line, keeping the storage of the last one. The reader's text is
    // untrusted: a byte that is not valid UTF-8 reads as U+FFFD. The separator is
    // plain ASCII, which the replacement never touches, so the fields stay where they are.
    void Split(std::string_view line, long lineNumber) {
        number_ = lineNumber;
        fields_.clear();
        if (!IsValidUtf8(line)) {
            valid_ = ValidUtf8(line);
            line = valid_;
        }
        std::size_t pos = 0;
        for (;;) {
            const std::size_t hit = line.find(kReaderSeparator, pos);
            if (hit == std::string_view::npos) {
                fields_.push_back(line.substr(pos));
                break;
            }
            fields_.push_back(line.substr(pos, hit - pos));
            pos = hit + kReaderSeparator.size();
        }
    }
    std::size_t Count() const { return fields_.size(); }
    std::string_view Text(std::size_t i) const {
        if (i > fields_.size()) {
            Raise(err::kSubscript, Where(i) + " is missing (the line has " +
                                       std::to_string(fields_.size()) + " fields)");
        }
        return fields_[i - 1];
    }
    double Number(std::size_t i) const {
        const std::string_view t = Text(i);
        // The common case, a plain decimal, without the general conversion.
        double value = 0;
        const char* end = t.data() + t.size();
        const auto r = std::from_chars(t.data(), end, value);
        if (r.ec == std::errc() && r.ptr == end && !t.empty() && t.front() != '+') return value;
        try {
            return NumericValue(t);
        } catch (const RuntimeError&) {
            Raise(err::kTypeMismatch,
                  Where(i) + " \"" + std::string(t.substr(0, 40)) + "\" is not a number");
        }
    }
    Integer Int(std::size_t i) const {
        // Plain whole numbers, the common case, without the general conversion.
        const std::string_view t = Text(i);
        long whole = 0;
        const auto r = std::from_chars(t.data(), t.data() + t.size(), whole);
        if (r.ec == std::errc() && r.ptr == t.data() + t.size() &&
            whole >= std::numeric_limits<Integer>::min() &&
            whole <= std::numeric_limits<Integer>::max()) {
            return static_cast<Integer>(whole);
        }
        const double v = Number(i);
        try {
            return ToInteger(v);
        } catch (const RuntimeError&) {
            Raise(err::kOverflow,
                  Where(i) + " " + std::string(Text(i)) + " does not fit a 16-bit cell number");
        }
    }
    bool Flag(std::size_t i) const {
        const std::string_view t = Text(i);
        if (t == "0") return false;
        if (t == "1") return true;
        return Number(i) == 1;
    }

  private:
    std::string Where(std::size_t i) const {
        return file_ + " line " + std::to_string(number_) + ": field " + std::to_string(i);
    }
    long number_ = 0;
    const std::string& file_;
    std::vector<std::string_view> fields_;
    std::string valid_;  // the line made valid UTF-8, when it was not
};

// The grid repeats the same few style words, fonts and colours cell after cell: the
// last few texts of a field are kept, so most cells share one without a lookup.
class RecentText {
  public:
    const SharedText& Get(std::string_view text) {
        for (const auto& kept : kept_) {
            if (kept.str() == text) return kept;
        }
        next_ = (next_ + 1) % kept_.size();
        kept_[next_] = SharedText(text);
        return kept_[next_];
    }

  private:
    std::array<SharedText, 8> kept_;
    std::size_t next_ = 0;
};

// Splits a text at line feeds, lazily: either a text held whole, or a file read in
// pieces through a window that holds the current line (a grid of a million cells
// makes an output.txt of over a hundred megabytes, which is never held whole).
// A line stays valid until the next one is taken.
class Lines {
  public:
    Lines(std::string_view text, const std::string& file) : text_(text), file_(file) {}
    Lines(sys::InputFile& input, const std::string& file)
        : input_(&input), file_(file), size_(input.Size()) {
        window_.resize(kPiece);
    }
    // The bytes of the whole text or file.
    std::uint64_t Size() const { return input_ ? size_ : text_.size(); }
    // The bytes taken so far, line feeds included.
    std::uint64_t Taken() const { return taken_; }
    std::string_view Next() {
        ++number_;
        if (input_) Fill();
        if (pos_ > text_.size()) {
            Raise(err::kSubscript, file_ + " line " + std::to_string(number_) +
                                       " is missing (the file ends after line " +
                                       std::to_string(number_ - 1) + ")");
        }
        const std::size_t lf = text_.find('\n', pos_);
        const std::size_t end = lf == std::string_view::npos ? text_.size() : lf;
        std::string_view line = text_.substr(pos_, end - pos_);
        taken_ += end + 1 - pos_;
        pos_ = end + 1;
        return line;
    }
    long Number() const { return number_; }

  private:
    static constexpr std::size_t kPiece = 1 << 20;
    // The longest line the window grows to. A cell's text holds at most 32,767
    // characters, so a real line stays far below it; a longer one is a file that
    // never ends (or a reader that writes on and on), not a cell.
    static constexpr std::size_t kMaxLine = std::size_t{64} << 20;

    // Reads on until the window holds a whole line from pos_ or the file has ended.
    void Fill() {
        while (!ended_ && text_.find('\n', pos_) == std::string_view::npos) {
            // Keep the unread rest at the front; grow only for a line longer than the window.
            const std::size_t rest = pos_ < text_.size() ? text_.size() - pos_ : 0;
            if (rest > 0) std::memmove(window_.data(), window_.data() + pos_, rest);
            if (window_.size() - rest < kPiece / 2) {
                if (window_.size() >= kMaxLine) {
                    Raise(err::kSubscript, file_ + " line " + std::to_string(number_) +
                                               " has no line feed within its first " +
                                               std::to_string(kMaxLine >> 20) + " MiB");
                }
                window_.resize(window_.size() * 2);
            }
            const std::size_t n = input_->Read(window_.data() + rest, window_.size() - rest);
            if (n == 0) ended_ = true;
            text_ = std::string_view(window_.data(), rest + n);
            pos_ = 0;
        }
    }

    std::string_view text_;
    sys::InputFile* input_ = nullptr;
    std::string window_;
    bool ended_ = false;
    const std::string& file_;
    std::uint64_t size_ = 0;
    std::uint64_t taken_ = 0;
    std::size_t pos_ = 0;
    long number_ = 0;
};

}  // namespace

std::unique_ptr<sys::Process> RunReader(Module& m) {
    auto& sys = m.ports.sys;
    const std::string folder = paths::ReaderFolder(sys);
    const std::string pictures = paths::PicturesFolder(sys);
    ErrorTrap trap;
    std::string remembered;
    remembered = sys.CurrentDir();
    trap.Run([&] { sys.DeleteFile(paths::ReaderFile(sys, "run.bat")); });
    trap.Run([&] {
        if (!sys.DirExists(pictures)) sys.MakeDirs(pictures);
    });
    trap.Run([&] {
        for (const auto& name : sys.ListDir(pictures)) {
            const std::string path = paths::Join(pictures, name);
            if (sys.FileExists(path)) sys.DeleteFile(path);
        }
    });
    trap.Run([&] { sys.DeleteFile(paths::ReaderFile(sys, "image.txt")); });
    // A message the reader left from an earlier run must not be taken for this one's.
    trap.Run([&] { sys.DeleteFile(paths::ReaderFile(sys, "error.txt")); });
    sys.Sleep(200);
    sys.ChangeDir(folder);
    const std::string line = std::string(paths::kReaderProgram) + " -jar lumo.zip " +
                             EncodeReaderArgument(m.fileName) + " " +
                             EncodeReaderArgument(m.sheetName) + " mervik\r\n";
    sys.WriteFile(paths::ReaderFile(sys, "run.bat"), line);
    sys.Sleep(200);
    std::unique_ptr<sys::Process> process;
    trap.Run([&] { process = sys.StartHidden(paths::ReaderFile(sys, "run.bat"), folder); });
    trap.Run([&] { sys.ChangeDir(remembered); });
    return process;
}

namespace {

// The fewest bytes a cell line takes: its 24 separators and the line feed.
constexpr std::uint64_t kLeastCellLine = (kCellFields - 1) * kReaderSeparator.size() + 1;

// The merged area a record claims must hold the record and lie inside the grid: the
// widening of a range follows it cell by cell.
void CheckMergedArea(const JCell& j, Long r, Long c, Long rows, Long cols, long line,
                     const std::string& fileName) {
    if (!j.MergeCells) return;
    if (j.startRow >= 1 && j.startRow <= r && r <= j.endRow && j.endRow <= rows &&
        j.startCol >= 1 && j.startCol <= c && c <= j.endCol && j.endCol <= cols)
        return;
    Raise(err::kSubscript,
          fileName + " line " + std::to_string(line) + ": the merged area of rows " +
              std::to_string(j.startRow) + " to " + std::to_string(j.endRow) + " and columns " +
              std::to_string(j.startCol) + " to " + std::to_string(j.endCol) +
              " does not hold the cell of row " + std::to_string(r) + " and column " +
              std::to_string(c) + " inside the grid of " + std::to_string(rows) + " rows and " +
              std::to_string(cols) + " columns");
}

void ParseLines(Module& m, Lines& lines, const std::string& fileName) {
    const Fields first(lines.Next(), 1, fileName);
    // Counts and loops in 32 bits: a grid of 32,767 rows is the largest there is, and a
    // 16-bit counter would wrap past its last row.
    const Long rows = first.Int(1);
    const Long cols = first.Int(2);
    if (rows < 1 || cols < 1) {
        Raise(err::kSubscript, fileName + " line 1: the grid of " + std::to_string(rows) +
                                   " rows and " + std::to_string(cols) + " columns is empty");
    }
    const std::uint64_t rest = lines.Size() - lines.Taken();
    Array<bool> rowHidden(1, rows), colHidden(1, cols);
    for (std::size_t i = 3; i <= first.Count(); ++i) {
        const std::string_view f = first.Text(i);
        if (f.empty() || (f[0] != 'R' && f[0] != 'C')) continue;
        Integer n = 0;
        try {
            n = ToInteger(f.substr(1));
        } catch (const RuntimeError&) {
            Raise(err::kTypeMismatch, fileName + " line 1: field " + std::to_string(i) + " \"" +
                                          std::string(f) + "\" names no row or column");
        }
        try {
            (f[0] == 'R' ? rowHidden(n) : colHidden(n)) = true;
        } catch (const RuntimeError&) {
            Raise(err::kSubscript, fileName + " line 1: field " + std::to_string(i) + " \"" +
                                       std::string(f) + "\" lies outside the grid");
        }
    }
    Array<Single> rowHeights(1, rows), colWidths(1, cols);
    {
        const Fields heights(lines.Next(), 2, fileName);
        for (Long r = 1; r <= rows; ++r) {
            rowHeights(r) = static_cast<Single>(heights.Number(static_cast<std::size_t>(r)));
        }
        const Fields widths(lines.Next(), 3, fileName);
        for (Long c = 1; c <= cols; ++c) {
            colWidths(c) = static_cast<Single>(widths.Number(static_cast<std::size_t>(c)));
        }
    }
    // A grid is believed only as far as the file can hold its cell lines, before any
    // of them is allocated.
    const auto cells = static_cast<std::uint64_t>(rows) * static_cast<std::uint64_t>(cols);
    if (cells * kLeastCellLine > rest + 1) {
        Raise(err::kSubscript,
              fileName + " line 1: the grid of " + std::to_string(rows) + " rows and " +
                  std::to_string(cols) + " columns needs at least " +
                  std::to_string(cells * kLeastCellLine) + " bytes of cell lines; the file has " +
                  std::to_string(lines.Size()) + " bytes");
    }
    // The records are gathered as their lines arrive and put into the grid only once
    // every line has: the memory follows the cells read, not the grid claimed.
    std::vector<std::shared_ptr<JCell>> read;
    Fields f({}, 0, fileName);
    RecentText font, up, bottom, left, right, fill, pattern;
    RecordPool<JCell> records;
    for (Long r = 1; r <= rows; ++r) {
        for (Long c = 1; c <= cols; ++c) {
            const std::string_view line = lines.Next();
            f.Split(line, lines.Number());
            auto j = records.New();
            j->row = f.Int(1);
            j->column = f.Int(2);
            j->MergeCells = f.Flag(3);
            j->startRow = f.Int(4);
            j->startCol = f.Int(5);
            j->endRow = f.Int(6);
            j->endCol = f.Int(7);
            CheckMergedArea(*j, r, c, rows, cols, lines.Number(), fileName);
            j->HorizontalAlignment = f.Int(8);
            j->VerticalAlignment = f.Int(9);
            j->FontName = font.Get(f.Text(10));
            j->fontsize = f.Int(11);
            j->fontUnderline = f.Flag(12);
            j->fontItalic = f.Flag(13);
            j->fontBold = f.Flag(14);
            j->WrapText = f.Flag(15);
            j->Orientation = f.Int(16);
            j->bdUp = up.Get(f.Text(17));
            j->bdBottom = bottom.Get(f.Text(18));
            j->bdLeft = left.Get(f.Text(19));
            j->bdRight = right.Get(f.Text(20));
            j->IsEmpty = f.Flag(21);
            j->IsNumeric = f.Flag(22);
            j->bgColor = fill.Get(f.Text(23));
            j->pattern = pattern.Get(f.Text(24));
            const std::string_view t = f.Text(25);
            j->text = t == kCellIsEmpty ? std::string() : std::string(t);
            j->height = rowHeights(r);
            j->width = colWidths(c);
            read.push_back(std::move(j));
        }
    }
    JCellArray jCells(1, rows, 1, cols);
    auto next = read.begin();
    for (Long r = 1; r <= rows; ++r) {
        for (Long c = 1; c <= cols; ++c) jCells(r, c) = std::move(*next++);
    }
    // Only a complete parse replaces the tables.
    m.rowHidden = std::move(rowHidden);
    m.colHidden = std::move(colHidden);
    m.rowHeights = std::move(rowHeights);
    m.colWidths = std::move(colWidths);
    m.jCells = std::move(jCells);
}

}  // namespace

void ParseReaderOutput(Module& m, std::string_view text, const std::string& fileName) {
    Lines lines(text, fileName);
    ParseLines(m, lines, fileName);
}

void ReadReaderOutput(Module& m) {
    auto& sys = m.ports.sys;
    const std::string flag = paths::ReaderFile(sys, "flag.txt");
    if (sys.FileExists(flag)) sys.DeleteFile(flag);
    const std::string output = paths::ReaderFile(sys, "output.txt");
    std::unique_ptr<sys::InputFile> input;
    try {
        input = sys.OpenFile(output);
    } catch (const RuntimeError& e) {
        Raise(e.Number(), output + ": " + e.Description());
    }
    Lines lines(*input, output);
    ParseLines(m, lines, output);
    sys.WriteFile(flag, "Done\r\n");
}

void ProgressDisplay::Refresh() const {
    percent.SetCaption(FormatPercent(static_cast<double>(bar.Position()) / bar.Max()));
}

namespace {

// A name the reader would read back as another name (its markers in it) is refused
// before anything runs: the reader would otherwise import another workbook or sheet.
bool RefuseMarkedName(ui::UserInterface& ui, const std::string& text, bool isFile) {
    const std::string marker = ReaderArgumentMarker(text);
    if (marker.empty()) return false;
    const std::string what = isFile ? "Excel file path/name" : "Excel sheet name";
    ui.MsgBox("The " + what + " contains \"" + marker +
                  "\", which the workbook reader cannot read back     \r\r" +
                  "Please cancel this dialog box, rename your " + what + "     \r\r" +
                  "and try the import again.     ",
              ui::vbCritical, "Excel File and Sheet Name Checking");
    return true;
}

// The reader's one line on why it could not read the workbook: the first line of
// error.txt, of at most kMaxErrorLine bytes, so that a reader writing on and on is not
// read whole; a character cut at the end reads as U+FFFD.
std::string ReaderErrorLine(sys::System& sys, const std::string& path) {
    constexpr std::size_t kMaxErrorLine = 4096;
    const auto input = sys.OpenFile(path);
    std::string text(kMaxErrorLine, '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const std::size_t n = input->Read(text.data() + got, text.size() - got);
        if (n == 0) break;
        got += n;
    }
    text.resize(got);
    text.resize(std::min(got, text.find_first_of("\r\n")));
    return IsValidUtf8(text) ? text : ValidUtf8(text);
}

}  // namespace

void EndReaderExchange(Module& m) {
    m.readerLock.reset();
}

void RefuseRangeOutsideGrid(const Module& m, const std::string& address, Integer startRow,
                            Integer endRow, Integer startCol, Integer endCol) {
    if (std::min(startRow, endRow) > m.rowHeights.Upper() ||
        std::min(startCol, endCol) > m.colWidths.Upper()) {
        Raise(err::kSubscript, "The cell range " + address +
                                   " lies outside the sheet's used area of " +
                                   std::to_string(m.rowHeights.Upper()) + " rows and " +
                                   std::to_string(m.colWidths.Upper()) + " columns     ");
    }
}

bool RunReaderAndWait(Module& m, const ProgressDisplay& progress) {
    auto& sys = m.ports.sys;
    ui::UserInterface& ui = m.ports.ui;
    EndReaderExchange(m);  // an exchange of this module before this one is over
    if (RefuseMarkedName(ui, m.fileName, true) || RefuseMarkedName(ui, m.sheetName, false)) {
        return false;
    }
    progress.bar.SetMax(500);
    progress.bar.SetMin(0);
    progress.bar.SetPosition(0);
    progress.percent.SetCaption("0%");
    progress.percent.Visible = true;
    progress.bar.Visible = true;
    progress.title.Visible = true;
    ui.DoEvents();

    // A non-interactive run has nobody to press Cancel: past its limit the wait is
    // cancelled as Cancel would, and the reader ended.
    const auto started = std::chrono::steady_clock::now();
    const auto overdue = [&] {
        return m.readerWaitLimitMs > 0 && std::chrono::steady_clock::now() - started >=
                                              std::chrono::milliseconds(m.readerWaitLimitMs);
    };
    const auto giveUp = [&](const std::string& why) {
        ui.MsgBox(why + " within " + NumberToText(m.readerWaitLimitMs / 1000.0) +
                      " seconds; the import of " + m.fileName + " is cancelled     ",
                  ui::vbInformation, "Error");
        m.dialogCancelled = true;
        return false;
    };
    // One exchange at a time per installation: another import's reader would write its
    // files into this one's wait. The bar cycles and says so while another import runs.
    std::unique_ptr<sys::FolderLock> lock;
    try {
        lock = sys.TryLockFolder(paths::ReaderFolder(sys));
    } catch (const RuntimeError& e) {
        ui.MsgBox("The workbook reader cannot be started: " + e.Description() + "     ",
                  ui::vbInformation, "Error");
        return false;
    }
    for (Long pos = 0; !lock; lock = sys.TryLockFolder(paths::ReaderFolder(sys))) {
        if (m.dialogCancelled) return false;
        if (overdue()) return giveUp("Another import kept the workbook reader busy");
        pos = pos >= 500 ? 0 : pos + 1;
        progress.bar.SetPosition(pos);
        progress.percent.SetCaption(kWaitingForReader);
        ui.DoEvents();
        sys.Sleep(20);
    }
    progress.bar.SetPosition(0);
    progress.percent.SetCaption("0%");

    const std::string flag = paths::ReaderFile(sys, "flag.txt");
    if (sys.FileExists(flag)) sys.DeleteFile(flag);
    std::unique_ptr<sys::Process> process;
    try {
        process = RunReader(m);
    } catch (const RuntimeError& e) {
        // The reader folder is missing or run.bat cannot be written.
        ui.MsgBox("The workbook reader cannot be started: " + e.Description() + "     ",
                  ui::vbInformation, "Error");
        return false;
    }
    // The reader's death is noticed only once a further look has found no flag.txt,
    // so a reader that writes flag.txt and ends at once is never taken for a dead one.
    bool ended = false;
    while (!sys.FileExists(flag)) {
        if (m.dialogCancelled || overdue()) {
            // A reader left running could still write its flag into the next import's
            // wait and hand it this workbook's grid.
            if (process) process->Kill();
            if (m.dialogCancelled) return false;
            return giveUp("The workbook reader did not answer");
        }
        if (ended) {
            ui.MsgBox("The workbook reader ended without reading " + m.fileName + "     ",
                      ui::vbInformation, "Error");
            return false;
        }
        ended = !process || !process->Running();
        Long pos = progress.bar.Position() + 1;
        if (pos > 500) pos = 0;
        progress.bar.SetPosition(pos);
        progress.Refresh();
        ui.DoEvents();
        sys.Sleep(2);
    }
    const std::string errorFile = paths::ReaderFile(sys, "error.txt");
    if (sys.FileExists(errorFile)) {
        ui.MsgBox(ReaderErrorLine(sys, errorFile), ui::vbInformation, "Error");
        return false;
    }
    sys.Sleep(100);
    try {
        ReadReaderOutput(m);
    } catch (const RuntimeError& e) {
        ui.MsgBox(e.Description(), ui::vbInformation, "Error");
        return false;
    }
    m.readerLock = std::move(lock);
    return true;
}

}  // namespace tbln

#include "apps/reader/reader_output.hpp"

#include <charconv>
#include <cstdio>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "adapters/posix/posix_system.hpp"
#include "adapters/workbook/a1.hpp"
#include "adapters/workbook/cell_format.hpp"
#include "adapters/workbook/package.hpp"
#include "adapters/workbook/sheet_geometry.hpp"
#include "adapters/workbook/workbook_model.hpp"
#include "capture/reader_markers.hpp"
#include "core/error.hpp"
#include "core/unicode.hpp"
#include "platform/excel.hpp"

namespace tbln::reader {

namespace {

// Text put together field by field.
struct Text {
    Text& Put(std::string_view s) {
        text.append(s);
        return *this;
    }
    Text& Put(long n) {
        char tmp[24];
        const auto r = std::to_chars(tmp, tmp + sizeof tmp, n);
        text.append(tmp, r.ptr);
        return *this;
    }
    Text& PutNumber(double v) {
        char tmp[32];
        const auto r = std::to_chars(tmp, tmp + sizeof tmp, v);
        text.append(tmp, r.ptr);
        return *this;
    }
    std::string text;
};

// A buffered file written as every file is saved in place (FileReplacement: a temporary
// file beside it, renamed over it on Close), so the library never sees half a file.
class OutFile {
  public:
    explicit OutFile(const std::string& path) : file_(path) {
        buffer_.text.reserve(kFlushAt + 4096);
    }
    void Put(std::string_view s) {
        buffer_.Put(s);
        if (buffer_.text.size() >= kFlushAt) Flush();
    }
    void Put(long n) { buffer_.Put(n); }
    void PutNumber(double v) { buffer_.PutNumber(v); }
    void Close() {
        Flush();
        file_.Commit();
    }

  private:
    static constexpr std::size_t kFlushAt = 1 << 20;
    void Flush() {
        file_.Write(buffer_.text);
        buffer_.text.clear();
    }
    posix::FileReplacement file_;
    Text buffer_;
};

// The text rotation the host turns text by: degrees, 0 for horizontal text; stacked
// letters keep Excel's code.
int OrientationDegrees(int code) {
    switch (code) {
        case workbook::xlHorizontal:
            return 0;
        case workbook::xlUpward:
            return 90;
        case workbook::xlDownward:
            return -90;
        default:
            return code;
    }
}

std::string_view Or(std::string_view value, std::string_view fallback) {
    return value.empty() ? fallback : value;
}

// The sheet's pictures: each picture's file into the pictures folder, named after its
// place in the sheet's picture order, and image.txt listing them. A sheet without
// pictures gets no image.txt. A linked or missing image is listed without a file.
void WritePictures(const workbook::WorkbookModel& book, const workbook::SheetModel& sheet,
                   const std::string& picturesFolder, const std::string& folder) {
    std::vector<const workbook::DrawingObject*> pictures;
    for (const auto& object : sheet.drawing.objects) {
        if (object.type == excel::msoPicture) pictures.push_back(&object);
    }
    if (pictures.empty()) return;
    std::unique_ptr<workbook::Package> package;
    std::string list = std::to_string(pictures.size()) + "\n";
    for (std::size_t k = 0; k < pictures.size(); ++k) {
        const auto& media = pictures[k]->mediaPart;
        const auto dot = media.rfind('.');
        const std::string name = "image" + std::to_string(k + 1) +
                                 (dot == std::string::npos ? std::string() : media.substr(dot));
        // A legacy workbook's picture is already out of its picture store.
        const auto& bytes = pictures[k]->mediaBytes;
        if (bytes || (!media.empty() && !pictures[k]->mediaMissing)) {
            if (!bytes && !package) package = std::make_unique<workbook::Package>(book.path);
            OutFile file(picturesFolder + "/" + name);
            file.Put(bytes ? *bytes : package->Read(media));
            file.Close();
        }
        list += std::to_string(k + 1) + "*" + name + "\n";
    }
    OutFile image(folder + "/image.txt");
    image.Put(list);
    image.Close();
}

}  // namespace

void WriteReaderOutput(const std::string& path, const std::string& sheetName,
                       const std::string& folder, const std::string& picturesFolder) {
    using namespace workbook;
    std::unique_ptr<WorkbookModel> book;
    try {
        book = LoadWorkbook(path);
    } catch (const RuntimeError& e) {
        Raise(e.Number(), "Cannot read the workbook " + path + ": " + e.Description());
    }
    const SheetModel* sheet = nullptr;
    for (const auto& s : book->sheets) {
        // Letter case aside, as the spreadsheet engine finds a sheet by name.
        if (EqualIgnoringCase(s.name, sheetName)) {
            sheet = &s;
            break;
        }
    }
    if (!sheet) Raise(err::kSubscript, "The workbook " + path + " has no sheet named " + sheetName);
    const Area used = UsedArea(*sheet);
    if (used.bottom > kMaxGrid || used.right > kMaxGrid) {
        Raise(err::kOverflow, "The sheet " + sheetName + " of " + path + " uses " +
                                  std::to_string(used.bottom) + " rows and " +
                                  std::to_string(used.right) +
                                  " columns; the import takes at most 32767 of each");
    }
    const Long rows = used.bottom, cols = used.right;
    if (static_cast<long long>(rows) * cols > kMaxCells) {
        Raise(err::kOverflow, "The sheet " + sheetName + " of " + path + " uses the area " +
                                  AreaReference(1, 1, rows, cols) + " of " +
                                  std::to_string(static_cast<long long>(rows) * cols) +
                                  " cells; the import takes at most " + std::to_string(kMaxCells) +
                                  " cells");
    }

    OutFile out(folder + "/output.txt");
    out.Put(rows);
    out.Put(kReaderSeparator);
    out.Put(cols);
    for (Long r = 1; r <= rows; ++r) {
        if (RowHidden(*sheet, r)) {
            out.Put(kReaderSeparator);
            out.Put("R");
            out.Put(r);
        }
    }
    for (Long c = 1; c <= cols; ++c) {
        if (ColumnHidden(*sheet, c)) {
            out.Put(kReaderSeparator);
            out.Put("C");
            out.Put(c);
        }
    }
    out.Put("\n");
    for (Long r = 1; r <= rows; ++r) {
        if (r > 1) out.Put(kReaderSeparator);
        out.PutNumber(RowHeightPoints(*book, *sheet, r));
    }
    out.Put("\n");
    for (Long c = 1; c <= cols; ++c) {
        if (c > 1) out.Put(kReaderSeparator);
        out.PutNumber(ColumnWidthPoints(*book, *sheet, c));
    }
    out.Put("\n");
    // Fields 8 to 20 and 23 to 24 depend on the cell's format alone: each format's
    // text is made once and copied into every line of a cell of that format.
    struct FormatText {
        std::string alignmentToBorders, fill;
    };
    std::vector<std::optional<FormatText>> formats;
    const auto formatText = [&](std::uint32_t style) -> const FormatText& {
        if (style >= formats.size()) formats.resize(style + 1);
        auto& slot = formats[style];
        if (slot) return *slot;
        const CellView& v = FormatView(*book, style);
        Text t;
        t.Put(static_cast<long>(v.horizontalAlignment)).Put(kReaderSeparator);
        t.Put(static_cast<long>(v.verticalAlignment)).Put(kReaderSeparator);
        t.Put(Or(v.fontName, "null")).Put(kReaderSeparator);
        t.PutNumber(v.fontSize).Put(kReaderSeparator);
        for (bool b : {v.underline, v.italic, v.bold, v.wrapText})
            t.Put(b ? "1" : "0").Put(kReaderSeparator);
        t.Put(static_cast<long>(OrientationDegrees(v.orientation))).Put(kReaderSeparator);
        for (const auto* edge : {&v.top, &v.bottom, &v.left, &v.right}) {
            t.Put(Or(edge->style, "none")).Put(kReaderSeparator);
        }
        Text f;
        const bool noFill = v.fillPattern.empty() || v.fillPattern == "none";
        f.Put(noFill ? "none" : Or(v.fillColor, "auto")).Put(kReaderSeparator);
        f.Put(Or(v.fillPattern, "none")).Put(kReaderSeparator);
        slot = FormatText{std::move(t.text), std::move(f.text)};
        return *slot;
    };
    for (Long r = 1; r <= rows; ++r) {
        for (Long c = 1; c <= cols; ++c) {
            const CellContent v = DescribeContent(*book, *sheet, r, c);
            const FormatText& format = formatText(v.style);
            out.Put(r);
            out.Put(kReaderSeparator);
            out.Put(c);
            out.Put(kReaderSeparator);
            out.Put(v.merged ? "1" : "0");
            out.Put(kReaderSeparator);
            for (Long n :
                 {v.mergeArea.top, v.mergeArea.left, v.mergeArea.bottom, v.mergeArea.right}) {
                out.Put(n);
                out.Put(kReaderSeparator);
            }
            out.Put(format.alignmentToBorders);
            out.Put(v.type == ValueType::Empty ? "1" : "0");
            out.Put(kReaderSeparator);
            out.Put(v.type == ValueType::Number ? "1" : "0");
            out.Put(kReaderSeparator);
            out.Put(format.fill);
            if (v.text.empty()) {
                out.Put(kCellIsEmpty);
            } else if (v.text.find_first_of("\r\n") != std::string::npos ||
                       v.text.find(kReaderSeparator) != std::string::npos) {
                out.Put(kCellNeedsVb);
            } else {
                out.Put(v.text);
            }
            out.Put("\n");
        }
    }
    out.Close();
    WritePictures(*book, *sheet, picturesFolder, folder);
}

int RunReaderProgram(const std::string& path, const std::string& sheetName,
                     const std::string& folder) {
    int status = 0;
    try {
        // The reader folder is the root's JRE/bin; the pictures folder is the root's pics.
        WriteReaderOutput(path, sheetName, folder, folder + "/../../pics");
    } catch (const std::exception& e) {
        const RuntimeError* re = dynamic_cast<const RuntimeError*>(&e);
        std::string line = re ? re->Description() : std::string(e.what());
        for (auto& ch : line) {
            if (ch == '\n' || ch == '\r') ch = ' ';
        }
        if (std::FILE* f = std::fopen((folder + "/error.txt").c_str(), "wb")) {
            std::fputs((line + "\n").c_str(), f);
            std::fclose(f);
        }
        status = 1;
    }
    // The flag comes last, after the output or the error.
    if (std::FILE* f = std::fopen((folder + "/flag.txt").c_str(), "wb")) {
        std::fputs("Done\r\n", f);
        std::fclose(f);
    } else {
        status = status ? status : 2;
    }
    return status;
}

}  // namespace tbln::reader

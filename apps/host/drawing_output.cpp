#include "apps/host/drawing_output.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <streambuf>

#include "adapters/cairo/cairo_drawing.hpp"
#include "adapters/dxf/dxf_drawing.hpp"
#include "adapters/fonts/font_metrics.hpp"
#include "adapters/posix/posix_system.hpp"
#include "adapters/workbook/cell_format.hpp"
#include "apps/host/cells_drawing.hpp"
#include "common/paths.hpp"
#include "core/numeric.hpp"
#include "core/unicode.hpp"

namespace tbln::host {

namespace {

drawing::Options DrawingOptions(const Options& options) {
    drawing::Options o;
    if (options.Has("scale")) {
        const std::string text = options.Get("scale");
        const double scale = ParseDecimal(text).value_or(0);
        if (!(scale > 0) || !std::isfinite(scale)) {
            throw UsageError("--scale " + text +
                             " is not a positive number of drawing units per millimetre");
        }
        o.unitsPerMm = scale;
    }
    return o;
}

// Forwards everything and marks the revisions just before the drawing ends.
class RevisionSink : public drawing::Sink {
  public:
    RevisionSink(drawing::Sink& inner, const std::vector<drawing::CellBox>& marks)
        : inner_(inner), marks_(marks) {}
    void Begin(const drawing::Frame& f) override { inner_.Begin(f); }
    void Draw(const drawing::Line& x) override { inner_.Draw(x); }
    void Draw(const drawing::Path& x) override { inner_.Draw(x); }
    void Draw(const drawing::Ellipse& x) override { inner_.Draw(x); }
    void Draw(const drawing::Fill& x) override { inner_.Draw(x); }
    void Draw(const drawing::Text& x) override { inner_.Draw(x); }
    void Draw(const drawing::Image& x) override { inner_.Draw(x); }
    void NextPage() override { inner_.NextPage(); }
    std::optional<double> TextWidth(const drawing::Text& style, std::string_view run) override {
        return inner_.TextWidth(style, run);
    }
    double LineHeight(const drawing::Text& style) override { return inner_.LineHeight(style); }
    bool Clips() const override { return inner_.Clips(); }
    void End() override {
        drawing::DrawRevisionMarks(marks_, inner_);
        inner_.End();
    }

  private:
    drawing::Sink& inner_;
    const std::vector<drawing::CellBox>& marks_;
};

// A buffered stream's bytes written to a descriptor; a failed write keeps its reason,
// which the stream itself cannot carry.
class DescriptorBuffer : public std::streambuf {
  public:
    explicit DescriptorBuffer(int fd) : fd_(fd) { Reset(); }
    const std::string& Error() const { return error_; }

  protected:
    int_type overflow(int_type c) override {
        if (!Drain()) return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    int sync() override { return Drain() ? 0 : -1; }

  private:
    void Reset() { setp(buffer_.data(), buffer_.data() + buffer_.size()); }
    bool Drain() {
        for (const char* p = pbase(); p < pptr();) {
            const ssize_t n = ::write(fd_, p, static_cast<std::size_t>(pptr() - p));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                if (error_.empty()) error_ = n < 0 ? std::strerror(errno) : "nothing was written";
                Reset();
                return false;
            }
            p += n;
        }
        Reset();
        return true;
    }
    std::array<char, 1 << 16> buffer_{};
    int fd_;
    std::string error_;
};

constexpr const char* kKinds[] = {"dxf", "pdf", "svg", "png"};

// What makes two drawing files one: the device and inode of a file that is there, the
// absolute path of one that is not yet.
std::string Identity(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    }
    return std::filesystem::absolute(posix::PathToWrite(path)).lexically_normal().string();
}

}  // namespace

struct DrawingOutputs::File {
    std::string option, path, identity;
    // A regular file, or one not there yet, is replaced; anything else is written directly.
    std::unique_ptr<posix::FileReplacement> replacement;
    int direct = -1;
    std::unique_ptr<DescriptorBuffer> buffer;
    std::unique_ptr<std::ostream> stream;

    ~File() {
        if (direct >= 0) ::close(direct);
    }
};

DrawingOutputs::DrawingOutputs(const Options& options, const std::vector<std::string>& inputs)
    : drawingOptions_(DrawingOptions(options)) {
    for (const char* kind : kKinds) {
        if (!options.Has(kind)) continue;
        auto file = std::make_unique<File>();
        file->option = std::string("--") + kind;
        file->path = options.Get(kind);
        const auto refuse = [&](const std::string& why) {
            return UsageError(file->option + " " + file->path + ": " + why);
        };
        struct stat st {};
        const bool exists = ::stat(file->path.c_str(), &st) == 0;
        if (exists && S_ISDIR(st.st_mode)) throw refuse("it is a folder");
        for (const auto& input : inputs) {
            struct stat in {};
            if (exists && ::stat(input.c_str(), &in) == 0 && in.st_dev == st.st_dev &&
                in.st_ino == st.st_ino) {
                throw refuse("it is the input " + input + " itself; the drawing would replace it");
            }
        }
        if (exists && !S_ISREG(st.st_mode)) {
            file->direct = ::open(file->path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
            if (file->direct < 0) throw refuse(std::strerror(errno));
        } else {
            file->identity = Identity(file->path);
            for (const auto& other : files_) {
                if (other->identity == file->identity) {
                    throw refuse("it is the same file as " + other->option + " " + other->path);
                }
            }
            try {
                file->replacement = std::make_unique<posix::FileReplacement>(file->path);
            } catch (const RuntimeError& e) {
                throw UsageError(file->option + ": " + e.Description());
            }
        }
        file->buffer = std::make_unique<DescriptorBuffer>(
            file->replacement ? file->replacement->Descriptor() : file->direct);
        file->stream = std::make_unique<std::ostream>(file->buffer.get());
        files_.push_back(std::move(file));
    }
}

DrawingOutputs::~DrawingOutputs() = default;

bool DrawingOutputs::Completed(Boolean result) {
    if (result != False) return true;
    // The temporary files go; the files asked for stay as they were.
    if (!files_.empty()) std::cerr << "tbln: no drawing written: the import did not complete\n";
    files_.clear();
    return false;
}

void DrawingOutputs::Draw(const std::function<void(drawing::Sink&)>& draw) {
    fonts::FontMetrics metrics;
    const drawing::FindFont find = [&](const std::string& family, bool bold, bool italic) {
        drawing::FontFile file;
        file.path = metrics.FontFile(family, bold, italic, file.index);
        return file;
    };
    // A CAD program shows the DXF's texts with the fonts these metrics read.
    const drawing::MeasureRun measure = [&](const std::string& family, bool bold, bool italic,
                                            double points, std::string_view run) {
        double width = 0;
        for (std::size_t i = 0; i < run.size();) {
            std::size_t length = 1;
            width += metrics.Advance(family, bold, italic, points, DecodeUtf8At(run, i, length));
            i += std::max<std::size_t>(length, 1);
        }
        return width;
    };
    for (auto& file : files_) {
        try {
            std::ostream& out = *file->stream;
            std::unique_ptr<drawing::Sink> sink;
            if (file->option == "--dxf") {
                sink = std::make_unique<dxf::DxfSink>(out, measure);
            } else {
                const auto format = file->option == "--pdf"   ? cairo::Format::Pdf
                                    : file->option == "--svg" ? cairo::Format::Svg
                                                              : cairo::Format::Png;
                sink = std::make_unique<cairo::CairoSink>(out, format, find);
            }
            draw(*sink);
            if (file->replacement) file->replacement->Commit();
        } catch (const std::runtime_error& e) {
            // A failed write says why in the buffer; the sink only knows that it failed.
            const std::string& why = file->buffer->Error();
            failures_.push_back(file->path + ": " + e.what() +
                                (why.empty() ? "" : " (" + why + ")"));
        }
    }
    files_.clear();
}

void DrawingOutputs::WriteCapture(Host& host, Boolean result, const std::string& book,
                                  const std::string& sheet, const MyCellArray& cells,
                                  const MyShapeArray& shapes, const MyImageArray& images,
                                  Integer startRow, Integer endRow, Integer startCol,
                                  Integer endCol,
                                  const std::vector<std::pair<Integer, Integer>>& revisions) {
    if (!Completed(result)) return;
    drawing::Capture capture{cells,  shapes,   images, startRow,
                             endRow, startCol, endCol, paths::PicturesFolder(host.sys)};
    // The engine's view of the cells (colours with their tints, what each one holds); a
    // workbook that cannot be read again leaves the records alone to draw from.
    std::unique_ptr<workbook::WorkbookModel> model;
    const workbook::SheetModel* found = nullptr;
    if (!files_.empty()) {
        try {
            model = workbook::LoadWorkbook(book);
            found = workbook::FindSheet(*model, sheet);
        } catch (const RuntimeError& e) {
            std::cerr << "tbln: the drawing shows what the records hold only: " << e.Description()
                      << "\n";
        }
    }
    if (found) capture.looks = CellLooks(*model, *found);
    const auto marks = drawing::BoxesOf(capture, drawingOptions_, revisions);
    Draw([&](drawing::Sink& sink) {
        RevisionSink marked(sink, marks);
        drawing::DrawCapture(capture, drawingOptions_, marked);
    });
}

void DrawingOutputs::WriteWord(Boolean result, const WordLineArray& lines, Integer pages,
                               Single pageWidth, Single pageHeight) {
    if (!Completed(result)) return;
    Draw([&](drawing::Sink& sink) {
        drawing::DrawWordLines(lines, pages, pageWidth, pageHeight, drawingOptions_, sink);
    });
}

void DrawingOutputs::Finish() const {
    if (failures_.empty()) return;
    std::string all = "no drawing written to ";
    for (std::size_t i = 0; i < failures_.size(); ++i) all += (i ? "; " : "") + failures_[i];
    throw UsageError(all);
}

}  // namespace tbln::host

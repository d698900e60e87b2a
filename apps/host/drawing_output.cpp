#include "apps/host/drawing_output.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <ostream>
#include <set>
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

namespace fs = std::filesystem;

// A picture's size in pixels as the picture backend reads it, in the DXF writer's terms.
std::optional<std::pair<int, int>> PixelsOf(const std::string& path) {
    const auto size = cairo::PicturePixels(path);
    if (!size) return std::nullopt;
    return std::pair{size->width, size->height};
}

[[noreturn]] void RaiseErrno(const std::string& what, const std::string& path) {
    throw std::runtime_error(what + " " + path + ": " + std::strerror(errno));
}

// The pictures of a DXF drawing NAME.dxf, copied into the folder NAME-pics beside it and
// named from the drawing relatively, so that the drawing keeps its pictures when the next
// import empties the install root's pictures folder, and the drawing and its pictures can
// be moved together. The copies go into a hidden folder beside it
// (".NAME-pics.tbln-save-XXXXXX", locked while in use) that Commit puts in place of
// NAME-pics in one step; what NAME-pics held before goes, nothing else. A drawing without
// pictures leaves no NAME-pics. A run that was killed leaves its hidden folder behind
// unlocked; the next drawing of the same name removes it.
class PictureFolder {
  public:
    // `drawing` is the file the DXF is renamed to; `option` names it in errors. Raises
    // UsageError when NAME-pics is there and is not a folder.
    PictureFolder(const std::string& option, const std::string& drawing) {
        const fs::path path(drawing);
        name_ = path.stem().string() + "-pics";
        parent_ = path.parent_path().empty() ? fs::path(".") : path.parent_path();
        folder_ = path.parent_path() / name_;
        struct stat st {};
        if (::lstat(folder_.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
            throw UsageError(option + ": " + folder_.string() +
                             ", where the drawing's pictures go, is not a folder");
        }
    }
    ~PictureFolder() {
        if (!staging_.empty()) {
            std::error_code ignored;
            fs::remove_all(staging_, ignored);
        }
        if (lock_ >= 0) ::close(lock_);
    }
    PictureFolder(const PictureFolder&) = delete;
    PictureFolder& operator=(const PictureFolder&) = delete;

    // Copies the picture file (once however often it is drawn) and says how the drawing
    // names it. A picture whose file is missing is named all the same, without a copy.
    dxf::PictureFile Add(const std::string& path) {
        auto& name = copied_[path];
        if (name.empty()) {
            const fs::path file = fs::path(path).filename();
            const std::string stem = file.stem().string(), extension = file.extension().string();
            name =
                stem.empty() || stem == "." || stem == ".." ? "picture" + extension : file.string();
            for (int n = 2; !names_.insert(name).second; ++n) {
                name = (stem.empty() ? "picture" : stem) + "_" + std::to_string(n) + extension;
            }
            if (posix::NotRegularFileProblem(path).empty()) Copy(path, Staging() / name);
        }
        return {name_ + "/" + name, PixelsOf(path)};
    }

    // Puts the copies in place of NAME-pics; without pictures, NAME-pics goes.
    void Commit() {
        std::error_code ignored;
        if (staging_.empty()) {
            struct stat st {};
            if (::lstat(folder_.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
                fs::remove_all(folder_, ignored);
            }
            return;
        }
        // The folder keeps the permissions of the one it replaces; a new one gets those of
        // any new folder (0777 less the umask), not the hidden one's private ones.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        struct stat replaced {};
        const mode_t mode =
            ::stat(folder_.c_str(), &replaced) == 0 ? replaced.st_mode & 07777 : 0777 & ~mask;
        if (::fchmod(lock_, mode) != 0 || ::fsync(lock_) != 0) {
            RaiseErrno("cannot write", staging_);
        }
        if (::renameat2(AT_FDCWD, staging_.c_str(), AT_FDCWD, folder_.c_str(), RENAME_EXCHANGE) !=
            0) {
            if (errno == ENOENT) {
                if (::rename(staging_.c_str(), folder_.c_str()) != 0) {
                    RaiseErrno("cannot write", folder_);
                }
                staging_.clear();
                return;
            }
            // A file system that cannot swap two folders: the old one is moved aside first.
            const std::string old = staging_ + "-old";
            if (::rename(folder_.c_str(), old.c_str()) != 0) RaiseErrno("cannot replace", folder_);
            if (::rename(staging_.c_str(), folder_.c_str()) != 0) {
                const int e = errno;
                ::rename(old.c_str(), folder_.c_str());
                errno = e;
                RaiseErrno("cannot write", folder_);
            }
            fs::remove_all(old, ignored);
            staging_.clear();
            return;
        }
        // The hidden folder now holds what NAME-pics held.
        fs::remove_all(staging_, ignored);
        staging_.clear();
    }

  private:
    std::string Prefix() const { return "." + name_ + ".tbln-save-"; }

    // The hidden folder, made and locked on the first picture.
    fs::path Staging() {
        if (!staging_.empty()) return staging_;
        RemoveLeftovers();
        std::string pattern = (parent_ / (Prefix() + "XXXXXX")).string();
        if (!::mkdtemp(pattern.data())) RaiseErrno("cannot write beside", folder_);
        staging_ = pattern;
        lock_ = ::open(staging_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (lock_ < 0 || ::flock(lock_, LOCK_EX | LOCK_NB) != 0)
            RaiseErrno("cannot lock", staging_);
        // Still there once locked: another run may have taken it for a leftover.
        struct stat opened {
        }, named{};
        if (::fstat(lock_, &opened) != 0 || ::lstat(staging_.c_str(), &named) != 0 ||
            opened.st_ino != named.st_ino || opened.st_dev != named.st_dev) {
            throw std::runtime_error("cannot write " + staging_ + ": another run removed it");
        }
        return staging_;
    }

    // Hidden folders of killed runs for this drawing: named as ours and locked by no one.
    void RemoveLeftovers() const {
        const std::string prefix = Prefix();
        std::vector<fs::path> leftovers;
        if (DIR* dir = ::opendir(parent_.c_str())) {
            while (const dirent* entry = ::readdir(dir)) {
                const std::string_view name(entry->d_name);
                if (name.starts_with(prefix) &&
                    (name.size() == prefix.size() + 6 || name.size() == prefix.size() + 10)) {
                    leftovers.push_back(parent_ / name);
                }
            }
            ::closedir(dir);
        }
        for (const auto& path : leftovers) {
            const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd < 0) continue;
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                std::error_code ignored;
                fs::remove_all(path, ignored);
            }
            ::close(fd);
        }
    }

    // A copy readable by others as any new file is (0666 less the umask), synced.
    static void Copy(const std::string& from, const fs::path& to) {
        const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
        if (in < 0) RaiseErrno("cannot read the picture", from);
        const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        int error = out < 0 ? errno : 0;
        std::array<char, 1 << 16> buffer{};
        for (ssize_t n = 1; error == 0 && n > 0;) {
            n = ::read(in, buffer.data(), buffer.size());
            if (n < 0) error = errno == EINTR ? 0 : errno;
            for (ssize_t done = 0; error == 0 && done < n;) {
                const ssize_t w =
                    ::write(out, buffer.data() + done, static_cast<std::size_t>(n - done));
                if (w < 0 && errno != EINTR) error = errno;
                done += std::max<ssize_t>(w, 0);
            }
        }
        if (error == 0 && ::fsync(out) != 0) error = errno;
        ::close(in);
        if (out >= 0 && ::close(out) != 0 && error == 0) error = errno;
        if (error != 0) {
            errno = error;
            RaiseErrno("cannot copy the picture to", to);
        }
    }

    std::string name_;  // NAME-pics
    fs::path parent_, folder_;
    std::string staging_;
    int lock_ = -1;
    std::map<std::string, std::string> copied_;  // picture file -> its name in the folder
    std::set<std::string> names_;
};

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
    // A DXF file's pictures; a DXF written directly names the pictures where they are.
    std::unique_ptr<PictureFolder> pictures;
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
            if (file->option == "--dxf") {
                file->pictures = std::make_unique<PictureFolder>(file->option + " " + file->path,
                                                                 file->replacement->Target());
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
                dxf::ReferToPicture refer = [](const std::string& path) {
                    return dxf::PictureFile{path, PixelsOf(path)};
                };
                if (file->pictures) {
                    refer = [&pictures = *file->pictures](const std::string& path) {
                        return pictures.Add(path);
                    };
                }
                sink = std::make_unique<dxf::DxfSink>(out, measure, refer);
            } else {
                const auto format = file->option == "--pdf"   ? cairo::Format::Pdf
                                    : file->option == "--svg" ? cairo::Format::Svg
                                                              : cairo::Format::Png;
                sink = std::make_unique<cairo::CairoSink>(out, format, find);
            }
            draw(*sink);
            // The pictures first: a drawing that is in place has its pictures.
            if (file->pictures) file->pictures->Commit();
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
    // The engine's view of the cells (colours with their tints, what each one holds).
    std::shared_ptr<const workbook::WorkbookModel> model;
    const workbook::SheetModel* found = nullptr;
    if (!files_.empty()) model = ImportedWorkbook(host.objects, book);
    if (model) found = workbook::FindSheet(*model, sheet);
    if (found) capture.looks = CellLooks(*model, *found);
    const auto marks = drawing::BoxesOf(capture, drawingOptions_, revisions);
    Draw([&](drawing::Sink& sink) {
        drawing::RevisionSink marked(sink, marks);
        drawing::DrawCapture(capture, drawingOptions_, marked);
    });
}

void DrawingOutputs::WriteWord(Boolean result, const WordLineArray& lines, Integer pages,
                               Single pageWidth, Single pageHeight) {
    if (!Completed(result)) return;
    // A PNG or SVG of a document of several pages becomes one picture a page, NAME-1.png,
    // NAME-2.png, ... beside the file asked for, which is left as it was; a picture of one
    // page keeps the name asked for. A device or pipe gets the first page.
    std::vector<std::unique_ptr<File>> pageFiles;
    std::vector<int> pageOf;
    for (auto& file : files_) {
        const bool picture = file->option == "--png" || file->option == "--svg";
        if (pages <= 1 || !picture || !file->replacement) {
            pageOf.push_back(pages > 1 && picture ? 1 : 0);
            pageFiles.push_back(std::move(file));
            continue;
        }
        const fs::path path(file->path);
        for (int page = 1; page <= pages; ++page) {
            auto one = std::make_unique<File>();
            one->option = file->option;
            one->path = (path.parent_path() / (path.stem().string() + "-" + std::to_string(page) +
                                               path.extension().string()))
                            .string();
            try {
                one->replacement = std::make_unique<posix::FileReplacement>(one->path);
            } catch (const RuntimeError& e) {
                failures_.push_back(one->path + ": " + e.Description());
                continue;
            }
            one->buffer = std::make_unique<DescriptorBuffer>(one->replacement->Descriptor());
            one->stream = std::make_unique<std::ostream>(one->buffer.get());
            pageFiles.push_back(std::move(one));
            pageOf.push_back(page);
        }
    }
    files_ = std::move(pageFiles);
    std::size_t next = 0;
    Draw([&](drawing::Sink& sink) {
        const int page = next < pageOf.size() ? pageOf[next++] : 0;
        if (page == 0) {
            drawing::DrawWordLines(lines, pages, pageWidth, pageHeight, drawingOptions_, sink);
            return;
        }
        drawing::PageSink one(sink, page);
        drawing::DrawWordLines(lines, pages, pageWidth, pageHeight, drawingOptions_, one);
    });
}

void DrawingOutputs::Finish() const {
    if (failures_.empty()) return;
    std::string all = "no drawing written to ";
    for (std::size_t i = 0; i < failures_.size(); ++i) all += (i ? "; " : "") + failures_[i];
    throw UsageError(all);
}

}  // namespace tbln::host

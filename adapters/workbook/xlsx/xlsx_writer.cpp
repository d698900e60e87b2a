#include "adapters/workbook/xlsx/xlsx_writer.hpp"

#include <zip.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <sstream>

#include "adapters/opc/relationships.hpp"
#include "adapters/workbook/package.hpp"
#include "adapters/workbook/save.hpp"
#include "adapters/workbook/xlsx/worksheet_patch.hpp"
#include "core/error.hpp"

namespace tbln::workbook {

namespace {

constexpr zip_uint32_t kCompressionLevel = 6;

// An open package being rewritten; discarded (the file untouched) unless committed.
// The package is opened from the file's bytes in memory and written back to memory, so
// that the new file goes to disk the one way every in-place save goes (through a link
// to its target, beside it, renamed over it only once complete).
class Rewrite {
  public:
    explicit Rewrite(const std::string& path) : path_(path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream all;
        all << in.rdbuf();
        if (!in) RaiseSaveError(path, "the file cannot be read");
        const std::string bytes = all.str();
        // The buffer source takes the bytes over and frees them (with free()): libzip
        // may hand the same memory on to the package it writes.
        void* owned = std::malloc(std::max<std::size_t>(bytes.size(), 1));
        if (!owned) throw std::bad_alloc();
        std::memcpy(owned, bytes.data(), bytes.size());
        zip_error_t ze;
        zip_error_init(&ze);
        source_ = zip_source_buffer_create(owned, bytes.size(), 1, &ze);
        if (!source_) std::free(owned);
        if (source_) {
            zip_source_keep(source_);  // still ours once the package is closed
            zip_ = zip_open_from_source(source_, 0, &ze);
            if (!zip_) zip_source_free(source_);  // the reference the package did not take
        }
        if (!zip_) {
            const std::string why = zip_error_strerror(&ze);
            zip_error_fini(&ze);
            RaiseSaveError(path, "the file cannot be opened for writing (" + why + ")");
        }
        zip_error_fini(&ze);
    }
    ~Rewrite() {
        if (zip_) zip_discard(zip_);
        if (source_) zip_source_free(source_);
    }
    Rewrite(const Rewrite&) = delete;
    Rewrite& operator=(const Rewrite&) = delete;

    void Replace(const std::string& part, std::string bytes) {
        const zip_int64_t index = zip_name_locate(zip_, part.c_str(), 0);
        if (index < 0) RaiseSaveError(path_, "the part " + part + " is missing");
        buffers_.push_back(std::move(bytes));
        const auto& data = buffers_.back();
        zip_source_t* src = zip_source_buffer(zip_, data.data(), data.size(), 0);
        if (!src || zip_file_replace(zip_, static_cast<zip_uint64_t>(index), src, 0) != 0) {
            if (src) zip_source_free(src);
            RaiseSaveError(path_, std::string("the part ") + part + " cannot be replaced (" +
                                      zip_strerror(zip_) + ")");
        }
        // Deflate at zlib's usual level: a large sheet compresses about four times faster
        // than at the best level, to the same size. (libzip drops the level when the
        // method named equals the part's old one, so the default method is named; it
        // is deflate.)
        zip_set_file_compression(zip_, static_cast<zip_uint64_t>(index), ZIP_CM_DEFAULT,
                                 kCompressionLevel);
    }

    void Remove(const std::string& part) {
        const zip_int64_t index = zip_name_locate(zip_, part.c_str(), 0);
        if (index >= 0) zip_delete(zip_, static_cast<zip_uint64_t>(index));
    }

    // Writes the new package and puts it in the file's place.
    void Commit() {
        if (SaveInterruptible()) {
            zip_register_progress_callback_with_state(
                zip_, 0.001,
                [](zip_t*, double progress, void* ud) {
                    static_cast<Rewrite*>(ud)->progress_ = progress;
                },
                nullptr, this);
            zip_register_cancel_callback_with_state(
                zip_,
                [](zip_t*, void* ud) {
                    const auto* self = static_cast<Rewrite*>(ud);
                    return SaveInterrupted(self->progress_) ? 1 : 0;
                },
                nullptr, this);
        }
        if (zip_close(zip_) != 0) {
            const std::string why = zip_strerror(zip_);
            RaiseSaveError(path_, "writing the new file failed (" + why +
                                      "); the workbook file was left as it was");
        }
        zip_ = nullptr;
        ReplaceFile(path_, [&](const ByteSink& write) {
            if (zip_source_open(source_) != 0) {
                RaiseSaveError(path_, std::string("the new file cannot be read back (") +
                                          zip_error_strerror(zip_source_error(source_)) + ")");
            }
            std::string chunk(1 << 16, '\0');
            zip_int64_t n = 0;
            while ((n = zip_source_read(source_, chunk.data(), chunk.size())) > 0) {
                write(std::string_view(chunk.data(), static_cast<std::size_t>(n)));
            }
            zip_source_close(source_);
        });
    }

  private:
    std::string path_;
    zip_source_t* source_ = nullptr;
    zip_t* zip_ = nullptr;
    std::deque<std::string> buffers_;  // the new parts' bytes, alive until the package is written
    double progress_ = 0;
};

std::string SaveXml(const pugi::xml_document& doc) {
    std::ostringstream out;
    doc.save(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return out.str();
}

bool LoadXml(pugi::xml_document& doc, const std::string& bytes) {
    return static_cast<bool>(doc.load_buffer(bytes.data(), bytes.size(),
                                             pugi::parse_default | pugi::parse_declaration |
                                                 pugi::parse_ws_pcdata | pugi::parse_comments |
                                                 pugi::parse_pi));
}

// The calculation chain lists the formula cells in the order Excel last calculated
// them; once formulas moved or went away it is stale, and Excel repairs a workbook
// whose chain names a cell without a formula. Excel rebuilds a missing chain, so the
// chain, its relationship and its content type are removed.
void RemoveCalculationChain(const Package& pkg, Rewrite& rewrite, const WorkbookModel& model) {
    const std::string relsPart = opc::RelationshipsPartOf(model.workbookPart);
    if (!pkg.Has(relsPart)) return;
    pugi::xml_document rels;
    if (!LoadXml(rels, pkg.Read(relsPart))) return;
    std::string chain;
    for (auto r = rels.document_element().first_child(); r;) {
        auto next = r.next_sibling();
        const std::string_view type = r.attribute("Type").value();
        if (type.size() >= 10 && type.substr(type.size() - 10) == "/calcChain") {
            chain = opc::ResolvePartName(model.workbookPart, r.attribute("Target").value());
            rels.document_element().remove_child(r);
        }
        r = next;
    }
    if (chain.empty()) return;
    rewrite.Replace(relsPart, SaveXml(rels));
    rewrite.Remove(chain);
    const std::string typesPart = "[Content_Types].xml";
    pugi::xml_document types;
    if (!pkg.Has(typesPart) || !LoadXml(types, pkg.Read(typesPart))) return;
    for (auto o = types.document_element().first_child(); o;) {
        auto next = o.next_sibling();
        if (std::string_view(o.attribute("PartName").value()) == "/" + chain)
            types.document_element().remove_child(o);
        o = next;
    }
    rewrite.Replace(typesPart, SaveXml(types));
}

}  // namespace

void SavePackageEdits(WorkbookModel& model) {
    // The parts are patched from the file as it is now; the reading package is closed
    // before the new file replaces it.
    Rewrite rewrite(model.path);
    {
        Package pkg(model.path);
        bool formulasMoved = false;
        for (const auto& sheet : model.sheets) {
            if (sheet.edits.empty()) continue;
            bool moved = false;
            rewrite.Replace(sheet.part,
                            PatchWorksheetXml(model.path, sheet.part, pkg.Read(sheet.part),
                                              sheet.edits, moved));
            formulasMoved = formulasMoved || moved;
        }
        if (formulasMoved) RemoveCalculationChain(pkg, rewrite, model);
    }
    rewrite.Commit();
}

}  // namespace tbln::workbook

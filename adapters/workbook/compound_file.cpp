#include "adapters/workbook/compound_file.hpp"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-utils.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <string_view>

#include "adapters/workbook/package.hpp"

namespace tbln::workbook {

namespace {

// Releases a GObject reference when leaving scope.
template <class T>
struct Ref {
    T* p = nullptr;
    ~Ref() {
        if (p) g_object_unref(p);
    }
};

std::string TakeError(GError*& error) {
    std::string text = error && error->message ? error->message : "unknown reason";
    if (error) g_error_free(error);
    error = nullptr;
    return text;
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// The top-level stream of that name; names in a compound file ignore letter case.
GsfInput* Child(GsfInfile* root, std::string_view name) {
    const int n = gsf_infile_num_children(root);
    for (int i = 0; i < n; ++i) {
        const char* child = gsf_infile_name_by_index(root, i);
        if (child && EqualIgnoringAsciiCase(child, name)) return gsf_infile_child_by_index(root, i);
    }
    return nullptr;
}

void Initialise() {
    static const bool initialised = [] {
        gsf_init();
        // A damaged container is reported as the error raised by the caller; the
        // library's own warnings about it would only clutter the terminal.
        const auto quiet = [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {};
        for (const char* domain : {"libgsf", "libgsf:msole", "GLib-GObject"})
            g_log_set_handler(domain,
                              static_cast<GLogLevelFlags>(
                                  G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE),
                              quiet, nullptr);
        return true;
    }();
    (void)initialised;
}

// Copies the children of a storage: storages with their class ids, streams byte for
// byte, except the top-level workbook stream, which becomes `workbook`.
void CopyStorage(const std::string& path, GsfInfile* in, GsfOutfile* out, bool top,
                 const std::string& workbook, bool& replaced) {
    const int n = gsf_infile_num_children(in);
    for (int i = 0; i < n; ++i) {
        const char* name = gsf_infile_name_by_index(in, i);
        Ref<GsfInput> child{gsf_infile_child_by_index(in, i)};
        if (!name || !child.p) RaiseSaveError(path, "an entry of its compound file cannot be read");
        const bool storage =
            GSF_IS_INFILE(child.p) && gsf_infile_num_children(GSF_INFILE(child.p)) >= 0;
        Ref<GsfOutput> copy{gsf_outfile_new_child(out, name, storage)};
        if (!copy.p) RaiseSaveError(path, std::string("the entry ") + name + " cannot be copied");
        bool ok = true;
        if (storage) {
            guint8 id[16];
            if (gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(child.p), id))
                gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(copy.p), id);
            CopyStorage(path, GSF_INFILE(child.p), GSF_OUTFILE(copy.p), false, workbook, replaced);
        } else if (top && !replaced && EqualIgnoringAsciiCase(name, "Workbook")) {
            replaced = true;
            ok = gsf_output_write(copy.p, workbook.size(),
                                  reinterpret_cast<const guint8*>(workbook.data()));
        } else {
            ok = gsf_input_copy(child.p, copy.p);
        }
        if (!gsf_output_close(copy.p) || !ok)
            RaiseSaveError(path, std::string("the entry ") + name + " cannot be copied");
    }
}

}  // namespace

bool IsCompoundFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char head[8] = {};
    in.read(head, 8);
    return in.gcount() == 8 && std::string_view(head, 8) == "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
}

WorkbookStream ReadWorkbookStream(const std::string& path) {
    Initialise();
    GError* error = nullptr;
    Ref<GsfInput> file{gsf_input_stdio_new(path.c_str(), &error)};
    if (!file.p) RaiseBadWorkbook(path, "the file cannot be read (" + TakeError(error) + ")");
    Ref<GsfInfile> root{gsf_infile_msole_new(file.p, &error)};
    if (!root.p) {
        const std::string reason = TakeError(error);
        if (opc::HoldsEncryptedPackage(path)) RaiseBadWorkbook(path, kPasswordProtected);
        RaiseBadWorkbook(
            path,
            "the compound file of the legacy workbook is damaged or cut short (" + reason + ")");
    }
    WorkbookStream out;
    Ref<GsfInput> stream{Child(root.p, "Workbook")};
    if (!stream.p) {
        stream.p = Child(root.p, "Book");
        out.biff5 = stream.p != nullptr;
    }
    if (!stream.p) {
        Ref<GsfInput> encrypted{Child(root.p, "EncryptionInfo")};
        if (encrypted.p) RaiseBadWorkbook(path, kPasswordProtected);
        RaiseBadWorkbook(path,
                         "the compound file holds no workbook stream (it is not an Excel workbook, "
                         "or it is cut short)");
    }
    const gsf_off_t size = gsf_input_size(stream.p);
    if (size < 0 || static_cast<std::size_t>(size) > kMaxWorkbookStreamBytes) {
        RaiseBadWorkbook(path, "the workbook stream is larger than the limit of " +
                                   std::to_string(kMaxWorkbookStreamBytes >> 20) + " MiB");
    }
    out.bytes.resize(static_cast<std::size_t>(size));
    // Read in pieces: libgsf's own buffers stay small.
    constexpr std::size_t kChunk = 64 * 1024;
    for (std::size_t done = 0; done < out.bytes.size();) {
        const std::size_t n = std::min(kChunk, out.bytes.size() - done);
        if (!gsf_input_read(stream.p, n, reinterpret_cast<guint8*>(out.bytes.data() + done))) {
            RaiseBadWorkbook(path,
                             "the workbook stream is damaged or cut short (it cannot be read "
                             "past byte " +
                                 std::to_string(done) + ")");
        }
        done += n;
    }
    return out;
}

std::string CompoundFileWithWorkbookStream(const std::string& path, const std::string& stream) {
    Initialise();
    GError* error = nullptr;
    Ref<GsfInput> file{gsf_input_stdio_new(path.c_str(), &error)};
    if (!file.p) RaiseSaveError(path, "the file cannot be read (" + TakeError(error) + ")");
    Ref<GsfInfile> root{gsf_infile_msole_new(file.p, &error)};
    if (!root.p) {
        RaiseSaveError(path, "the compound file of the legacy workbook is damaged or cut short (" +
                                 TakeError(error) + ")");
    }
    Ref<GsfOutput> memory{gsf_output_memory_new()};
    Ref<GsfOutfile> out{gsf_outfile_msole_new(memory.p)};
    guint8 id[16];
    if (gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(root.p), id))
        gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(out.p), id);
    bool replaced = false;
    CopyStorage(path, root.p, out.p, true, stream, replaced);
    if (!replaced) RaiseSaveError(path, "the compound file holds no workbook stream");
    if (!gsf_output_close(GSF_OUTPUT(out.p)))
        RaiseSaveError(path, "the new compound file cannot be written");
    const auto size = gsf_output_size(memory.p);
    const guint8* bytes = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(memory.p));
    if (size < 0 || (size > 0 && !bytes))
        RaiseSaveError(path, "the new compound file cannot be written");
    return std::string(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(size));
}

}  // namespace tbln::workbook

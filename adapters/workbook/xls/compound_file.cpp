#include "adapters/workbook/xls/compound_file.hpp"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-utils.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <string_view>
#include <utility>
#include <vector>

#include "adapters/workbook/package.hpp"
#include "adapters/workbook/xls/biff_records.hpp"
#include "core/unicode.hpp"

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

// An entry's name as a message shows it: control characters (the "\x05" that starts
// the property-set streams' names) written as escapes.
std::string ShownName(const std::string& name) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string shown;
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20) {
            shown += "\\x";
            shown += kDigits[u >> 4];
            shown += kDigits[u & 0xF];
        } else {
            shown += c;
        }
    }
    return shown;
}

// The streams and storages a compound file's directory names, by path ("Storage/Stream")
// with each stream's size (-1 for a storage). Read here from the file's bytes, not through
// libgsf, which leaves out the entries it cannot read (and every entry found only through
// them): the save compares the two, so that it never drops a stream silently. Raises the
// save error naming the file when the directory itself cannot be followed.
using Directory = std::map<std::string, std::int64_t>;

Directory ReadDirectory(const std::string& path, std::string_view file) {
    constexpr std::uint32_t kLastSector = 0xFFFFFFFA, kNoEntry = 0xFFFFFFFF;
    constexpr std::size_t kEntryBytes = 128;
    const auto damaged = [&](const std::string& what) {
        RaiseSaveError(path, "the compound file of the legacy workbook is damaged (" + what +
                                 "); the workbook file was left as it was");
    };
    Directory directory;
    try {
        biff::Bytes header(file, 0);
        header.Seek(0x1E);
        const unsigned shift = header.U16();
        if (shift != 9 && shift != 12) damaged("its sectors are of an unknown size");
        const std::size_t sectorBytes = std::size_t{1} << shift;
        // The sectors the file holds, the header's and a last one cut short counted.
        const std::size_t sectors = (file.size() + sectorBytes - 1) / sectorBytes;
        header.Seek(0x2C);
        const std::uint32_t fatSectors = header.U32();
        const std::uint32_t firstDirectory = header.U32();
        header.Seek(0x44);
        std::uint32_t nextDifat = header.U32();
        const std::uint32_t difatSectors = header.U32();
        // A sector's bytes, or none when it lies beyond the end of the file.
        const auto sector = [&](std::uint32_t n) -> std::string_view {
            const std::size_t at = (n + std::size_t{1}) * sectorBytes;
            if (n >= kLastSector || at >= file.size()) return {};
            return file.substr(at, std::min(sectorBytes, file.size() - at));
        };
        // The sectors of the allocation table: 109 in the header, the rest in a chain.
        std::vector<std::uint32_t> fatList;
        for (int i = 0; i < 109; ++i) fatList.push_back(header.U32());
        for (std::uint32_t k = 0; k < difatSectors && k <= sectors && nextDifat < kLastSector;
             ++k) {
            biff::Bytes difat(sector(nextDifat), 0);
            while (difat.Left() > 4) fatList.push_back(difat.U32());
            nextDifat = difat.Left() == 4 ? difat.U32() : kNoEntry;
        }
        fatList.resize(std::min<std::size_t>(fatList.size(), fatSectors));
        const auto next = [&](std::uint32_t n) -> std::uint32_t {
            const std::size_t perSector = sectorBytes / 4;
            if (n / perSector >= fatList.size()) return kNoEntry;
            biff::Bytes fat(sector(fatList[n / perSector]), 0);
            if ((n % perSector) * 4 + 4 > fat.Size()) return kNoEntry;
            fat.Seek((n % perSector) * 4);
            return fat.U32();
        };
        // The directory's entries, in the order of its chain of sectors.
        std::vector<std::string_view> entries;
        std::size_t steps = 0;
        for (std::uint32_t n = firstDirectory; n < kLastSector; n = next(n)) {
            if (++steps > sectors) damaged("its directory runs in a circle");
            const std::string_view bytes = sector(n);
            for (std::size_t at = 0; at + kEntryBytes <= bytes.size(); at += kEntryBytes)
                entries.push_back(bytes.substr(at, kEntryBytes));
        }
        if (entries.empty()) damaged("it has no directory");
        // The tree of entries from the root's children, each entry met once.
        std::vector<bool> met(entries.size());
        std::vector<std::pair<std::uint32_t, std::string>> pending;
        biff::Bytes root(entries[0], 0);
        root.Seek(66);
        if (root.U8() != 5) damaged("its directory does not start with the root");
        root.Seek(76);
        pending.emplace_back(root.U32(), "");
        met[0] = true;
        while (!pending.empty()) {
            const auto [index, folder] = pending.back();
            pending.pop_back();
            if (index == kNoEntry) continue;
            if (index >= entries.size() || met[index])
                damaged(
                    "its directory refers to an entry it does not hold: it is cut short or "
                    "damaged");
            met[index] = true;
            biff::Bytes entry(entries[index], 0);
            entry.Seek(64);
            const std::size_t nameBytes = std::min<std::size_t>(entry.U16(), 64);
            const std::uint8_t type = entry.U8();
            entry.Skip(1);
            const std::uint32_t left = entry.U32(), right = entry.U32(), child = entry.U32();
            entry.Seek(120);
            const std::uint32_t size = entry.U32();  // the high half is not always zero
            const std::string name = folder + Utf16LeToUtf8(entries[index].substr(
                                                  0, nameBytes >= 2 ? nameBytes - 2 : 0));
            if (type != 1 && type != 2)
                damaged("the directory entry " + ShownName(name) + " is of an unknown kind");
            directory[name] = type == 2 ? std::int64_t{size} : -1;
            pending.emplace_back(left, folder);
            pending.emplace_back(right, folder);
            if (type == 1) pending.emplace_back(child, name + "/");
        }
    } catch (const biff::CutShort&) {
        damaged("its header or directory is cut short");
    }
    return directory;
}

// Copies the children of a storage: storages with their class ids, streams byte for
// byte, except the top-level workbook stream, which becomes `workbook`. Each entry
// copied is struck off `expected` (by path, with its size).
void CopyStorage(const std::string& path, GsfInfile* in, GsfOutfile* out, bool top,
                 const std::string& workbook, bool& replaced, const std::string& folder,
                 Directory& copied) {
    const int n = gsf_infile_num_children(in);
    for (int i = 0; i < n; ++i) {
        const char* name = gsf_infile_name_by_index(in, i);
        Ref<GsfInput> child{gsf_infile_child_by_index(in, i)};
        if (!name || !child.p) RaiseSaveError(path, "an entry of its compound file cannot be read");
        const bool storage =
            GSF_IS_INFILE(child.p) && gsf_infile_num_children(GSF_INFILE(child.p)) >= 0;
        copied[folder + name] = storage ? -1 : static_cast<std::int64_t>(gsf_input_size(child.p));
        Ref<GsfOutput> copy{gsf_outfile_new_child(out, name, storage)};
        if (!copy.p) RaiseSaveError(path, std::string("the entry ") + name + " cannot be copied");
        bool ok = true;
        if (storage) {
            guint8 id[16];
            if (gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(child.p), id))
                gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(copy.p), id);
            CopyStorage(path, GSF_INFILE(child.p), GSF_OUTFILE(copy.p), false, workbook, replaced,
                        folder + name + "/", copied);
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
    // The file is read once: libgsf copies the very bytes whose directory is checked.
    std::string original;
    {
        std::ifstream in(path, std::ios::binary);
        if (!in) RaiseSaveError(path, "the file cannot be read");
        original.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad()) RaiseSaveError(path, "the file cannot be read");
    }
    const Directory directory = ReadDirectory(path, original);
    GError* error = nullptr;
    Ref<GsfInput> file{gsf_input_memory_new(reinterpret_cast<const guint8*>(original.data()),
                                            static_cast<gsf_off_t>(original.size()), FALSE)};
    if (!file.p) RaiseSaveError(path, "the file cannot be read");
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
    Directory copied;
    CopyStorage(path, root.p, out.p, true, stream, replaced, "", copied);
    if (!replaced) RaiseSaveError(path, "the compound file holds no workbook stream");
    std::vector<std::string> lost;
    for (const auto& [name, size] : directory) {
        const auto it = copied.find(name);
        if (it == copied.end() || it->second != size) lost.push_back(ShownName(name));
    }
    if (!lost.empty()) {
        std::string names;
        for (std::size_t i = 0; i < lost.size(); ++i)
            names += (i == 0 ? "" : i + 1 == lost.size() ? " and " : ", ") + lost[i];
        RaiseSaveError(path, "the compound file of the legacy workbook is damaged: " + names +
                                 " cannot be read whole, and saving would lose " +
                                 (lost.size() == 1 ? "it" : "them") +
                                 "; the workbook file was left as it was");
    }
    if (!gsf_output_close(GSF_OUTPUT(out.p)))
        RaiseSaveError(path, "the new compound file cannot be written");
    const auto size = gsf_output_size(memory.p);
    const guint8* bytes = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(memory.p));
    if (size < 0 || (size > 0 && !bytes))
        RaiseSaveError(path, "the new compound file cannot be written");
    return std::string(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(size));
}

}  // namespace tbln::workbook

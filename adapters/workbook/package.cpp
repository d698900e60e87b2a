#include "adapters/workbook/package.hpp"

#include <zip.h>

#include <vector>

#include "core/error.hpp"

namespace tbln::workbook {

void RaiseBadWorkbook(const std::string& path, const std::string& problem) {
    Raise(err::kApplicationDefined, "Cannot open the workbook " + path + ": " + problem);
}

Package::Package(const std::string& path) : path_(path) {
    int error = 0;
    zip_ = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (!zip_) {
        if (error == ZIP_ER_NOENT) RaiseBadWorkbook(path, "the file does not exist");
        if (error == ZIP_ER_OPEN || error == ZIP_ER_READ)
            RaiseBadWorkbook(path, "the file cannot be read");
        RaiseBadWorkbook(path, "the file is not a workbook (it is not a valid zip package)");
    }
    const zip_int64_t n = zip_get_num_entries(zip_, 0);
    if (n < 0 || static_cast<std::size_t>(n) > kMaxEntries) {
        zip_close(zip_);
        zip_ = nullptr;
        RaiseBadWorkbook(path, "the package has too many parts");
    }
    std::size_t total = 0;
    for (zip_int64_t i = 0; i < n; ++i) {
        zip_stat_t st;
        if (zip_stat_index(zip_, static_cast<zip_uint64_t>(i), 0, &st) == 0 &&
            (st.valid & ZIP_STAT_SIZE)) {
            total += static_cast<std::size_t>(st.size);
        }
    }
    if (total > kMaxTotalBytes) {
        zip_close(zip_);
        zip_ = nullptr;
        RaiseBadWorkbook(path, "the package unpacks to more than the size limit");
    }
}

Package::~Package() {
    if (zip_) zip_discard(zip_);
}

bool Package::Has(const std::string& name) const {
    return zip_name_locate(zip_, name.c_str(), 0) >= 0;
}

std::vector<std::string> Package::Names() const {
    std::vector<std::string> names;
    const zip_int64_t n = zip_get_num_entries(zip_, 0);
    for (zip_int64_t i = 0; i < n; ++i) {
        if (const char* name = zip_get_name(zip_, static_cast<zip_uint64_t>(i), 0))
            names.emplace_back(name);
    }
    return names;
}

std::string Package::Read(const std::string& name) const {
    zip_stat_t st;
    if (zip_stat(zip_, name.c_str(), 0, &st) != 0)
        RaiseBadWorkbook(path_, "the part " + name + " is missing");
    if (!(st.valid & ZIP_STAT_SIZE) || st.size > kMaxEntryBytes) {
        RaiseBadWorkbook(path_, "the part " + name + " is larger than the size limit");
    }
    zip_file_t* file = zip_fopen(zip_, name.c_str(), 0);
    if (!file) RaiseBadWorkbook(path_, "the part " + name + " cannot be unpacked");
    std::string bytes(static_cast<std::size_t>(st.size), '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        const zip_int64_t r = zip_fread(file, bytes.data() + got, bytes.size() - got);
        if (r <= 0) break;
        got += static_cast<std::size_t>(r);
    }
    // A part must unpack to exactly its recorded size; anything else is damage.
    char extra = 0;
    const bool longer = got == bytes.size() && zip_fread(file, &extra, 1) > 0;
    zip_fclose(file);
    if (got != bytes.size() || longer) RaiseBadWorkbook(path_, "the part " + name + " is damaged");
    return bytes;
}

std::string ResolvePartName(const std::string& sourcePart, const std::string& target) {
    std::string base;
    if (!target.empty() && target.front() == '/') {
        base = target.substr(1);
    } else {
        const auto slash = sourcePart.rfind('/');
        base = (slash == std::string::npos ? "" : sourcePart.substr(0, slash + 1)) + target;
    }
    // Normalise "." and ".." segments.
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= base.size()) {
        const auto end = base.find('/', start);
        const std::string seg =
            base.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (seg == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!seg.empty() && seg != ".") {
            parts.push_back(seg);
        }
        if (end == std::string::npos) break;
        start = end + 1;
    }
    std::string out;
    for (const auto& p : parts) out += (out.empty() ? "" : "/") + p;
    return out;
}

std::string RelationshipsPartOf(const std::string& part) {
    const auto slash = part.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : part.substr(0, slash + 1);
    const std::string file = slash == std::string::npos ? part : part.substr(slash + 1);
    return folder + "_rels/" + file + ".rels";
}

}  // namespace tbln::workbook

#include "adapters/opc/package.hpp"

#include <zip.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <string_view>
#include <vector>

#include "adapters/opc/xml_part.hpp"
#include "adapters/posix/posix_system.hpp"
#include "core/error.hpp"

namespace tbln::opc {

void RaiseBadPackage(const PackageKind& kind, const std::string& path, const std::string& problem) {
    Raise(err::kApplicationDefined,
          std::string("Cannot open the ") + kind.noun + " " + path + ": " + problem);
}

bool HoldsEncryptedPackage(const std::string& path) {
    // A package saved with a password is kept encrypted inside a compound file, under
    // the stream names below (UTF-16).
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    const auto size = static_cast<std::size_t>(std::max<std::streamoff>(0, in.tellg()));
    in.seekg(0);
    std::string bytes(std::min<std::size_t>(size, 64u * 1024u * 1024u), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    const auto utf16 = [](std::string_view ascii) {
        std::string w;
        for (char c : ascii) {
            w += c;
            w += '\0';
        }
        return w;
    };
    return bytes.find(utf16("EncryptionInfo")) != std::string::npos ||
           bytes.find(utf16("EncryptedPackage")) != std::string::npos;
}

namespace {

// What a file that libzip cannot open is, judged by its first bytes and content.
std::string DiagnoseNonZip(const std::string& path, const PackageKind& kind) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "the file cannot be read";
    std::string head(8, '\0');
    in.read(head.data(), 8);
    head.resize(static_cast<std::size_t>(in.gcount()));
    if (head.empty()) return "the file is empty";
    if (head.rfind("\xD0\xCF\x11\xE0", 0) == 0)
        return HoldsEncryptedPackage(path) ? kind.encrypted : kind.compound;
    if (head.rfind("PK\x03\x04", 0) == 0 || head.rfind("PK\x05\x06", 0) == 0) {
        return "the zip package is damaged or cut short (its central directory is missing or "
               "broken)";
    }
    return std::string(kind.notPackage) + " (it is not a valid zip package)";
}

}  // namespace

Package::Package(const std::string& path, const PackageKind& kind, PackageLimits limits)
    : path_(path), kind_(kind), limits_(limits) {
    // A FIFO or a device would block the first read: refused before anything opens it.
    if (const auto problem = posix::NotRegularFileProblem(path); !problem.empty()) Fail(problem);
    int error = 0;
    zip_ = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (!zip_) {
        if (error == ZIP_ER_NOENT) Fail("the file does not exist");
        if (error == ZIP_ER_OPEN || error == ZIP_ER_READ) Fail("the file cannot be read");
        Fail(DiagnoseNonZip(path, kind));
    }
    const auto fail = [&](const std::string& problem) {
        zip_discard(zip_);
        zip_ = nullptr;
        Fail(problem);
    };
    const zip_int64_t n = zip_get_num_entries(zip_, 0);
    if (n == 0) fail("the zip package is empty");
    if (n < 0 || static_cast<std::size_t>(n) > limits_.entries)
        fail("the package has more parts than the limit of " + std::to_string(limits_.entries));
    // Two parts of the same name make the package ambiguous: which one is meant?
    std::set<std::string> names;
    for (zip_int64_t i = 0; i < n; ++i) {
        const char* name = zip_get_name(zip_, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
        if (!name) fail("the zip package is damaged (a part has no name)");
        if (!names.insert(name).second)
            fail(std::string("the package holds two parts named ") + name);
    }
}

Package::~Package() {
    if (zip_) zip_discard(zip_);
}

void Package::Fail(const std::string& problem) const {
    RaiseBadPackage(kind_, path_, problem);
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

void Package::ReadChunks(const std::string& name,
                         const std::function<void(std::string_view)>& sink) const {
    zip_file_t* raw = zip_fopen(zip_, name.c_str(), 0);
    if (!raw) {
        if (!Has(name)) Fail("the part " + name + " is missing");
        Fail("the part " + name + " cannot be unpacked (" + zip_strerror(zip_) + ")");
    }
    struct Closer {
        zip_file_t* file;
        ~Closer() {
            if (file) zip_fclose(file);
        }
    } closer{raw};
    zip_stat_t st;
    const bool sized = zip_stat(zip_, name.c_str(), 0, &st) == 0 && (st.valid & ZIP_STAT_SIZE);
    // Inflate in chunks and count what actually comes out: a part may claim a small
    // size and inflate to gigabytes.
    std::size_t partBytes = 0;
    bool failed = false;
    std::vector<char> chunk(256 * 1024);
    while (true) {
        const zip_int64_t r = zip_fread(raw, chunk.data(), chunk.size());
        if (r < 0) {
            failed = true;  // a checksum or inflate error, reported on the last read
            break;
        }
        if (r == 0) break;
        const auto got = static_cast<std::size_t>(r);
        if (partBytes + got > limits_.entryBytes || inflated_ + got > limits_.totalBytes) {
            const bool part = partBytes + got > limits_.entryBytes;
            Fail("the part " + name + " unpacks to more than the limit of " +
                 std::to_string((part ? limits_.entryBytes : limits_.totalBytes) >> 20) +
                 (part ? " MiB for one part" : " MiB for the whole package") +
                 " (it may be a zip bomb)");
        }
        partBytes += got;
        inflated_ += got;
        sink(std::string_view(chunk.data(), got));
    }
    // libzip checks the checksum when the part is closed, too.
    closer.file = nullptr;
    if (zip_fclose(raw) != 0) failed = true;
    if (failed) {
        Fail("the part " + name +
             " is damaged (it does not unpack, or its checksum does not match)");
    }
    if (sized && partBytes != st.size) {
        Fail("the part " + name + " is damaged (it unpacks to " + std::to_string(partBytes) +
             " bytes instead of " + std::to_string(st.size) + ")");
    }
}

std::string Package::Read(const std::string& name) const {
    std::string bytes;
    ReadChunks(name, [&](std::string_view chunk) { bytes.append(chunk); });
    return bytes;
}

std::unique_ptr<pugi::xml_document> Package::ReadXml(const std::string& name) const {
    return ParseXmlPart(*this, name, Read(name));
}

}  // namespace tbln::opc

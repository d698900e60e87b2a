#include "adapters/document/docx_package.hpp"

#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "adapters/document/document_model.hpp"
#include "adapters/posix/posix_system.hpp"
#include "core/error.hpp"

namespace tbln::document {

void RaiseBadDocument(const std::string& path, const std::string& problem) {
    Raise(err::kApplicationDefined, "Cannot open the document " + path + ": " + problem);
}

namespace {

// What a file that is not a zip package is, judged by its first bytes.
std::string NotZipProblem(const std::string& path) {
    unsigned char head[8] = {};
    std::size_t got = 0;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        got = std::fread(head, 1, sizeof head, f);
        std::fclose(f);
    }
    static const unsigned char kOle2[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    if (got == sizeof head && std::memcmp(head, kOle2, sizeof head) == 0) {
        return "the file is an encrypted document or a legacy binary Word file, not a .docx "
               "package";
    }
    if (got == 0) return "the file is empty";
    return "the file is not a .docx package (not a valid zip archive)";
}

}  // namespace

DocxPackage::DocxPackage(const std::string& path) : path_(path) {
    // A FIFO or a device would block the first read: refused before anything opens it.
    if (const auto problem = posix::NotRegularFileProblem(path); !problem.empty())
        RaiseBadDocument(path, problem);
    int error = 0;
    zip_ = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (!zip_) {
        if (error == ZIP_ER_NOENT) RaiseBadDocument(path, "the file does not exist");
        if (error == ZIP_ER_OPEN || error == ZIP_ER_READ)
            RaiseBadDocument(path, "the file cannot be read");
        RaiseBadDocument(path, NotZipProblem(path));
    }
    const zip_int64_t n = zip_get_num_entries(zip_, 0);
    if (n < 0 || static_cast<std::size_t>(n) > kMaxEntries) {
        zip_discard(zip_);
        zip_ = nullptr;
        RaiseBadDocument(path, "the package has too many parts");
    }
}

DocxPackage::~DocxPackage() {
    if (zip_) zip_discard(zip_);
}

bool DocxPackage::Has(const std::string& name) const {
    return zip_name_locate(zip_, name.c_str(), 0) >= 0;
}

std::string DocxPackage::Read(const std::string& name) {
    zip_file_t* file = zip_fopen(zip_, name.c_str(), 0);
    if (!file) {
        if (!Has(name)) RaiseBadDocument(path_, "the part " + name + " is missing");
        RaiseBadDocument(path_, "the part " + name + " cannot be unpacked");
    }
    std::string bytes;
    std::vector<char> chunk(64 * 1024);
    for (;;) {
        const zip_int64_t r = zip_fread(file, chunk.data(), chunk.size());
        if (r < 0) {
            zip_fclose(file);
            RaiseBadDocument(path_, "the part " + name + " is damaged");
        }
        if (r == 0) break;
        // Count what is actually inflated: a package may understate its sizes.
        const auto got = static_cast<std::size_t>(r);
        totalRead_ += got;
        if (bytes.size() + got > kMaxPartBytes || totalRead_ > kMaxTotalBytes) {
            zip_fclose(file);
            RaiseBadDocument(path_, "the part " + name + " unpacks to more than the size limit");
        }
        bytes.append(chunk.data(), got);
    }
    zip_fclose(file);
    return bytes;
}

std::unique_ptr<pugi::xml_document> DocxPackage::ReadXml(const std::string& name) {
    const std::string bytes = Read(name);
    if (bytes.find("<!DOCTYPE") != std::string::npos) {
        RaiseBadDocument(path_, "the part " + name +
                                    " declares a DOCTYPE, which is refused (entities are "
                                    "never expanded)");
    }
    auto doc = std::make_unique<pugi::xml_document>();
    const auto result =
        doc->load_buffer(bytes.data(), bytes.size(), pugi::parse_default | pugi::parse_ws_pcdata);
    if (!result) {
        // The line of the offset, for the message.
        const auto offset = static_cast<std::size_t>(result.offset);
        const std::size_t line =
            1 +
            static_cast<std::size_t>(std::count(
                bytes.begin(),
                bytes.begin() + static_cast<std::ptrdiff_t>(std::min(offset, bytes.size())), '\n'));
        RaiseBadDocument(path_, "the part " + name + " is not well-formed XML (line " +
                                    std::to_string(line) + ": " + result.description() + ")");
    }
    // Depth check without recursion, so that the readers' recursive walks stay bounded.
    std::vector<std::pair<pugi::xml_node, int>> stack{{doc->document_element(), 1}};
    while (!stack.empty()) {
        auto [node, depth] = stack.back();
        stack.pop_back();
        if (depth > kMaxXmlDepth) {
            doc.reset();
            RaiseBadDocument(path_, "the part " + name +
                                        " is not well-formed XML (elements are nested too deeply)");
        }
        for (auto child = node.first_child(); child; child = child.next_sibling()) {
            if (child.type() == pugi::node_element) stack.emplace_back(child, depth + 1);
        }
    }
    return doc;
}

std::string ResolvePartName(const std::string& sourcePart, const std::string& target) {
    std::string base;
    if (!target.empty() && target.front() == '/') {
        base = target.substr(1);
    } else {
        const auto slash = sourcePart.rfind('/');
        base = (slash == std::string::npos ? "" : sourcePart.substr(0, slash + 1)) + target;
    }
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
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

}  // namespace tbln::document

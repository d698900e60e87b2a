#include "adapters/opc/relationships.hpp"

#include <string_view>
#include <vector>

#include "adapters/opc/dom.hpp"
#include "adapters/opc/package.hpp"
#include "adapters/opc/xml_part.hpp"

namespace tbln::opc {

std::map<std::string, Relationship> ReadRelationships(const Package& pkg, const std::string& part) {
    std::map<std::string, Relationship> rels;
    const std::string relsPart = RelationshipsPartOf(part);
    if (!pkg.Has(relsPart)) return rels;
    const auto doc = pkg.ReadXml(relsPart);
    for (auto r : doc->document_element().children()) {
        if (LocalName(r.name()) != "Relationship") continue;
        const char* id = Attr(r, "Id");
        const char* type = Attr(r, "Type");
        const char* target = Attr(r, "Target");
        if (!id || !type || !target) continue;
        const char* mode = Attr(r, "TargetMode");
        const bool external = mode && std::string_view(mode) == "External";
        std::string resolved = external ? std::string(target) : ResolvePartName(part, target);
        if (resolved.empty()) {
            pkg.Fail("the relationship " + std::string(id) + " of " + relsPart +
                     " points outside the package (" + target + ")");
        }
        const std::string_view t(type);
        rels[id] =
            Relationship{std::string(t.substr(t.rfind('/') + 1)), std::move(resolved), external};
    }
    return rels;
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
            if (parts.empty()) return "";
            parts.pop_back();
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

std::string ContentTypeOf(const Package& pkg, const std::string& part) {
    static const std::string kTypesPart = "[Content_Types].xml";
    if (!pkg.Has(kTypesPart)) return "";
    const auto lower = [](std::string_view text) {
        std::string out(text);
        for (char& c : out) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
        return out;
    };
    const std::string name = lower("/" + part);
    const auto dot = name.rfind('.');
    const std::string extension = dot == std::string::npos ? "" : name.substr(dot + 1);
    std::string byExtension;
    const auto doc = pkg.ReadXml(kTypesPart);
    for (auto n : doc->document_element().children()) {
        const char* type = Attr(n, "ContentType");
        if (!type) continue;
        const auto local = LocalName(n.name());
        if (local == "Override") {
            const char* partName = Attr(n, "PartName");
            if (partName && lower(partName) == name) return type;
        } else if (local == "Default") {
            const char* ext = Attr(n, "Extension");
            if (ext && lower(ext) == extension && byExtension.empty()) byExtension = type;
        }
    }
    return byExtension;
}

void CheckMainPartKind(const Package& pkg, const std::string& part) {
    // The kinds of Office file, by the words of their main parts' content types.
    static const struct {
        const char* noun;
        const char* marks[2];
    } kKinds[] = {
        {"workbook", {"spreadsheetml", "ms-excel"}},
        {"document", {"wordprocessingml", "ms-word"}},
        {"presentation", {"presentationml", "ms-powerpoint"}},
    };
    const std::string type = ContentTypeOf(pkg, part);
    for (const auto& kind : kKinds) {
        for (const char* mark : kind.marks) {
            if (type.find(mark) == std::string::npos) continue;
            if (std::string_view(kind.noun) == pkg.Kind().noun) return;
            pkg.Fail(std::string("the file is a ") + kind.noun + ", not a " + pkg.Kind().noun +
                     " (its main part " + part + " is of the type " + type + ")");
        }
    }
}

std::string RelationshipsPartOf(const std::string& part) {
    const auto slash = part.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : part.substr(0, slash + 1);
    const std::string file = slash == std::string::npos ? part : part.substr(slash + 1);
    return folder + "_rels/" + file + ".rels";
}

}  // namespace tbln::opc

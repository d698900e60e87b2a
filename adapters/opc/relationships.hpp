// Part names, the relationships between the parts of a package and their content types.
#pragma once

#include <map>
#include <string>

namespace tbln::opc {

class Package;

struct Relationship {
    std::string type;  // the last segment of the type URI ("worksheet", "styles", ...)
    // The part it points to, resolved against the source part; for an external
    // relationship, the target as written (a web address, another file).
    std::string target;
    bool external = false;
};

// The relationships of `part` ("" for the package's own), by their Id; none when the
// part has no relationships part. Raises naming the file when an internal target
// points outside the package ("../../etc/passwd").
std::map<std::string, Relationship> ReadRelationships(const Package& pkg, const std::string& part);

// Resolves a relationship target against the folder of the part that refers to it
// ("worksheets/sheet1.xml" from "xl/workbook.xml" gives "xl/worksheets/sheet1.xml");
// "" when the target climbs above the package's root.
std::string ResolvePartName(const std::string& sourcePart, const std::string& target);
// The relationships part of a part ("xl/workbook.xml" -> "xl/_rels/workbook.xml.rels",
// "" -> "_rels/.rels").
std::string RelationshipsPartOf(const std::string& part);

// The content type [Content_Types].xml gives the part (by its name, else by its
// extension, both without regard to case); "" when it gives none.
std::string ContentTypeOf(const Package& pkg, const std::string& part);

// Refuses a main part whose content type says the package is another kind of file
// (a document given as a workbook, a presentation given as a document), naming both.
void CheckMainPartKind(const Package& pkg, const std::string& part);

}  // namespace tbln::opc

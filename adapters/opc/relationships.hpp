// Part names and the relationships between the parts of a package.
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

}  // namespace tbln::opc

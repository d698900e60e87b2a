// Printing a command's JSON object when it holds a large 2-D record array: the array
// is written record by record instead of being built as one JSON tree, so printing a
// million captured cells needs no more memory than one record.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "apps/host/json_records.hpp"
#include "automation/module.hpp"

namespace tbln::host {

// The command's JSON as indented text. Texts from files are untrusted: every string
// that is not valid UTF-8 is written with U+FFFD for each invalid byte, the rule the
// whole product decodes by, so the JSON can always be written.
std::string DumpJson(const json& value);

// Prints `object` (indented as the other commands print) with the member `name`, which
// must hold null, replaced by the 2-D cell array written record by record.
void PrintWithCells(std::ostream& out, const json& object, const std::string& name,
                    const MyCellArray& cells);

// Where a large array's items go as they are made, so that only one item is held at a
// time: as a JSON value, or as text the source wrote itself (for items so many that
// building a JSON value for each would cost more than the rest of the command).
class ItemSink {
  public:
    using Write = std::function<void(std::string_view text)>;
    ItemSink(std::string indent, Write write)
        : indent_(std::move(indent)), write_(std::move(write)) {}
    // The next item, written as DumpJson writes it.
    void operator()(const json& item) const;
    // The next item as indented text: "{" or "[" first, and every later line starting
    // with Indent(), as DumpJson would have written it in its place.
    void Text(std::string_view item) const { write_(item); }
    const std::string& Indent() const { return indent_; }

  private:
    std::string indent_;
    Write write_;
};
using ItemSource = std::function<void(const ItemSink&)>;

// JSON text as the JSON library writes it: a string literal (invalid UTF-8 written with
// U+FFFD), an integer, a number (a whole one as "90.0").
void AppendJsonString(std::string& out, std::string_view text);
void AppendInteger(std::string& out, long long value);
void AppendJsonNumber(std::string& out, double value);

// Prints `object` as DumpJson writes it, with each member that `arrays` names by its
// JSON pointer ("/cells", "/wordLines0/items") written as the array of the items its
// source hands over.
void PrintWithArrays(std::ostream& out, const json& object,
                     const std::vector<std::pair<std::string, ItemSource>>& arrays);

// A result a command has printed itself; main prints nothing more for it.
json AlreadyPrinted();

}  // namespace tbln::host

#include "apps/host/streamed_json.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>
#include <type_traits>
#include <vector>

#include "core/text.hpp"
#include "core/unicode.hpp"

namespace tbln::host {

namespace {

// Replaces every string of the value that is not valid UTF-8 by its valid form.
void MakeValidUtf8(json& value) {
    if (value.is_string()) {
        auto& text = value.get_ref<std::string&>();
        if (!IsValidUtf8(text)) text = ValidUtf8(text);
    } else if (value.is_structured()) {
        for (auto& item : value) MakeValidUtf8(item);
    }
}

// What goes before each field of a record: its separator and quoted name.
template <class R>
const std::vector<std::string>& FieldPrefixes() {
    static const std::vector<std::string> prefixes = [] {
        std::vector<std::string> p;
        R::Visit([&](const char* name, auto) {
            p.push_back((p.empty() ? "\"" : ", \"") + std::string(name) + "\": ");
        });
        return p;
    }();
    return prefixes;
}

// One record on one line, fields in the record's order, numbers as RecordJson writes them.
template <class R>
void AppendRecord(std::string& out, const std::shared_ptr<R>& record) {
    if (!record) {
        out += "null";
        return;
    }
    out += '{';
    const auto& prefixes = FieldPrefixes<R>();
    std::size_t field = 0;
    R::Visit([&](const char*, auto member) {
        out += prefixes[field++];
        const auto& v = (*record).*member;
        using T = std::remove_cv_t<std::remove_reference_t<decltype(v)>>;
        if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, SharedText>) {
            AppendJsonString(out, static_cast<const std::string&>(v));
        } else if constexpr (std::is_same_v<T, bool>) {
            out += v ? "true" : "false";
        } else if constexpr (std::is_same_v<T, float>) {
            out += NumberToText(v);
        } else if constexpr (std::is_floating_point_v<T>) {
            AppendJsonNumber(out, v);
        } else {
            AppendInteger(out, static_cast<long long>(v));
        }
    });
    out += '}';
}

}  // namespace

// A JSON string literal, escaped as nlohmann's dump escapes it; other bytes pass through,
// once the text is valid UTF-8.
void AppendJsonString(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string valid;
    if (!IsValidUtf8(text)) {
        valid = ValidUtf8(text);
        text = valid;
    }
    out += '"';
    std::size_t plain = 0;  // the start of the run of bytes copied as they are
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto u = static_cast<unsigned char>(text[i]);
        if (u >= 0x20 && u != '"' && u != '\\') continue;
        out.append(text, plain, i - plain);
        plain = i + 1;
        switch (u) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                out += "\\u00";
                out += kHex[u >> 4];
                out += kHex[u & 0xF];
        }
    }
    out.append(text, plain);
    out += '"';
}

void AppendInteger(std::string& out, long long value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, end.ptr);
}

void AppendJsonNumber(std::string& out, double value) {
    // A whole number (an orientation in degrees, a row height) the way the JSON library
    // writes it, "90.0", without building a JSON value.
    if (value == std::trunc(value) && std::abs(value) < 1e9 &&
        !(value == 0 && std::signbit(value))) {
        AppendInteger(out, static_cast<long long>(value));
        out += ".0";
    } else {
        out += json(value).dump();
    }
}

void ItemSink::operator()(const json& item) const {
    // DumpJson's lines, each after the first moved in to the item's place.
    const std::string text = DumpJson(item);
    std::string indented;
    indented.reserve(text.size() + 64);
    std::size_t start = 0;
    for (std::size_t nl = text.find('\n'); nl != std::string::npos; nl = text.find('\n', start)) {
        indented.append(text, start, nl + 1 - start);
        indented += indent_;
        start = nl + 1;
    }
    indented.append(text, start);
    write_(indented);
}

std::string DumpJson(const json& value) {
    try {
        return value.dump(2);
    } catch (const json::type_error&) {
        // Only a string that is not UTF-8 stops the writing: the rare case pays for a copy.
        json valid = value;
        MakeValidUtf8(valid);
        return valid.dump(2);
    }
}

void PrintWithCells(std::ostream& out, const json& object, const std::string& name,
                    const MyCellArray& cells) {
    // The member's place in the indented text is found by a marker value.
    const std::string marker =
        "\x01"
        "cells"
        "\x01";
    json copy = object;
    copy[name] = marker;
    const std::string text = DumpJson(copy);
    const std::string quoted = json(marker).dump();
    const auto at = text.find(quoted);
    out << text.substr(0, at);
    if (!cells.IsAllocated()) {
        out << "null";
    } else {
        out << "{\"rows\": [" << cells.RowLower() << ", " << cells.RowUpper() << "], \"cols\": ["
            << cells.ColLower() << ", " << cells.ColUpper() << "], \"items\": [\n";
        // A row at a time through one buffer: a million records become a few thousand writes.
        std::string row;
        for (Long r = cells.RowLower(); r <= cells.RowUpper(); ++r) {
            row.clear();
            row += "    [";
            for (Long c = cells.ColLower(); c <= cells.ColUpper(); ++c) {
                if (c > cells.ColLower()) row += ",\n     ";
                AppendRecord(row, cells(r, c));
            }
            row += r < cells.RowUpper() ? "],\n" : "]\n";
            out.write(row.data(), static_cast<std::streamsize>(row.size()));
        }
        out << "  ]}";
    }
    out << text.substr(at + quoted.size()) << "\n";
}

void PrintWithArrays(std::ostream& out, const json& object,
                     const std::vector<std::pair<std::string, ItemSource>>& arrays) {
    // Each array's place in the indented text is found by a marker value.
    const auto marker = [](const std::string& place) { return "\x01" + place + "\x01"; };
    json copy = object;
    for (const auto& [place, source] : arrays) copy[json::json_pointer(place)] = marker(place);
    const std::string text = DumpJson(copy);
    std::vector<std::pair<std::size_t, const std::pair<std::string, ItemSource>*>> places;
    for (const auto& array : arrays) {
        places.emplace_back(text.find(json(marker(array.first)).dump()), &array);
    }
    std::sort(places.begin(), places.end());
    std::size_t done = 0;
    for (const auto& [at, array] : places) {
        out << text.substr(done, at - done);
        // The member's line gives the depth: its items sit two spaces further in.
        const std::size_t lineStart = text.rfind('\n', at) + 1;
        const std::string indent(text.find_first_not_of(' ', lineStart) - lineStart, ' ');
        const std::string itemIndent = indent + "  ";
        bool first = true;
        array->second(ItemSink(itemIndent, [&](std::string_view item) {
            out << (first ? "[\n" : ",\n") << itemIndent << item;
            first = false;
        }));
        out << (first ? "[]" : "\n" + indent + "]");
        done = at + json(marker(array->first)).dump().size();
    }
    out << text.substr(done) << "\n";
}

json AlreadyPrinted() {
    return json(json::value_t::discarded);
}

}  // namespace tbln::host

#include "adapters/posix/file_hive.hpp"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "adapters/posix/posix_system.hpp"
#include "core/collection.hpp"
#include "core/error.hpp"
#include "core/text.hpp"
#include "core/unicode.hpp"

namespace tbln::posix {

namespace {

constexpr const char* kHeader = "Windows Registry Editor Version 5.00";
constexpr const char* kOldHeader = "REGEDIT4";
constexpr const char* kRootName = "HKEY_CURRENT_USER";

// A key path split at "\"; nullopt when a part is empty ("A\\B", a trailing "\").
std::optional<std::vector<std::string>> SplitKeyPath(const std::string& path) {
    std::vector<std::string> parts;
    if (path.empty()) return parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = path.find('\\', start);
        std::string part = path.substr(start, end == std::string::npos ? end : end - start);
        if (part.empty()) return std::nullopt;
        parts.push_back(std::move(part));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return parts;
}

bool HasLineBreak(const std::string& s) {
    return s.find_first_of("\r\n") != std::string::npos;
}

std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool StartsWithNoCase(const std::string& s, std::string_view prefix) {
    return s.size() >= prefix.size() &&
           KeysEqual(std::string_view(s).substr(0, prefix.size()), prefix);
}

}  // namespace

struct FileHive::Key {
    struct Entry {
        std::string name;
        registry::ValueType type = registry::REG_SZ;
        // The characters of a string (hex(1) and hex(2) decoded from UTF-16), the raw
        // bytes of other types.
        std::string data;
        // Values written as dword: or hex: keep their lines exactly as they were.
        std::vector<std::string> lines;
    };

    std::string name;
    std::vector<std::unique_ptr<Key>> subkeys;
    std::vector<Entry> values;

    Key* Child(const std::string& childName) const {
        for (const auto& k : subkeys) {
            if (KeysEqual(k->name, childName)) return k.get();
        }
        return nullptr;
    }
    Key* Find(const std::vector<std::string>& parts) {
        Key* k = this;
        for (const auto& p : parts) {
            if (!(k = k->Child(p))) return nullptr;
        }
        return k;
    }
    Key* Create(const std::vector<std::string>& parts) {
        Key* k = this;
        for (const auto& p : parts) {
            Key* next = k->Child(p);
            if (!next) {
                k->subkeys.push_back(std::make_unique<Key>());
                next = k->subkeys.back().get();
                next->name = p;
            }
            k = next;
        }
        return k;
    }
    Entry* Value(const std::string& valueName) {
        for (auto& e : values) {
            if (KeysEqual(e.name, valueName)) return &e;
        }
        return nullptr;
    }
    Entry& SetValue(const std::string& valueName) {
        if (Entry* e = Value(valueName)) return *e;
        values.push_back(Entry{valueName, registry::REG_SZ, {}, {}});
        return values.back();
    }
    void Write(std::string& out, const std::string& path, bool isRoot) const {
        if (!isRoot || !values.empty()) {
            out += "[" + path + "]\r\n";
            for (const auto& e : values) {
                if (e.lines.empty()) {
                    out += (e.name.empty() ? std::string("@") : Quote(e.name)) + "=" +
                           Quote(e.data) + "\r\n";
                } else {
                    for (const auto& l : e.lines) out += l + "\r\n";
                }
            }
            out += "\r\n";
        }
        for (const auto& k : subkeys) k->Write(out, path + "\\" + k->name, false);
    }
};

HiveFileError::HiveFileError(std::string file, std::size_t line, std::string description)
    : std::runtime_error(file + ":" + std::to_string(line) + ": " + description),
      file_(std::move(file)),
      line_(line),
      description_(std::move(description)) {}

FileHive::FileHive(std::string path, bool saveChanges)
    : path_(std::move(path)), saveChanges_(saveChanges), root_(std::make_unique<Key>()) {
    root_->name = kRootName;
    std::error_code ec;
    if (std::filesystem::is_directory(path_, ec)) throw HiveFileError(path_, 0, "is a folder");
    std::ifstream in(path_, std::ios::binary);
    if (!in) {
        if (errno == ENOENT) return;  // no file yet: an empty hive
        throw HiveFileError(path_, 0, std::string("cannot be read (") + std::strerror(errno) + ")");
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) throw HiveFileError(path_, 0, "cannot be read");
    Parse(text.str());
}

FileHive::~FileHive() = default;

void FileHive::Parse(const std::string& text) {
    std::vector<std::string> lines;
    {
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(std::move(line));
            start = end + 1;
        }
    }
    auto fail = [this](std::size_t lineNo, const std::string& what) {
        throw HiveFileError(path_, lineNo, what);
    };
    if (text.empty()) return;  // an empty file is an empty hive
    if (text.size() >= 2 &&
        ((text[0] == '\xFF' && text[1] == '\xFE') || (text[0] == '\xFE' && text[1] == '\xFF'))) {
        fail(1, "the file is UTF-16 text; save it as UTF-8");
    }
    std::string header = lines[0];
    if (header.rfind("\xEF\xBB\xBF", 0) == 0) header.erase(0, 3);
    if (header != kHeader && header != kOldHeader) {
        fail(1, std::string("the first line is not \"") + kHeader + "\"");
    }

    Key* current = nullptr;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::size_t lineNo = i + 1;
        const std::string& line = lines[i];
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == ';') continue;

        if (line[first] == '[') {
            const std::size_t close = line.find_last_of(']');
            if (close == std::string::npos || close < first ||
                line.find_first_not_of(" \t", close + 1) != std::string::npos) {
                fail(lineNo, "a key line must end with \"]\"");
            }
            const std::string name = line.substr(first + 1, close - first - 1);
            if (!name.empty() && name[0] == '-') {
                fail(lineNo, "a key deletion (\"[-...]\") has no place in a stored hive");
            }
            if (!StartsWithNoCase(name, kRootName) ||
                (name.size() > std::strlen(kRootName) && name[std::strlen(kRootName)] != '\\')) {
                fail(lineNo, "only keys of HKEY_CURRENT_USER can be stored, not \"" + name + "\"");
            }
            const std::string rest =
                name.size() > std::strlen(kRootName) ? name.substr(std::strlen(kRootName) + 1) : "";
            const auto parts = SplitKeyPath(rest);
            if (!parts || (name.size() > std::strlen(kRootName) && parts->empty())) {
                fail(lineNo, "the key \"" + name + "\" has an empty part");
            }
            current = root_->Create(*parts);
            continue;
        }

        if (!current) fail(lineNo, "a value comes before the first key line");
        // The value's name: "@" or a quoted name.
        std::size_t pos = first;
        std::string valueName;
        auto readQuoted = [&](std::string& out) {
            // pos is at the opening quote; leaves pos after the closing quote.
            for (++pos; pos < line.size(); ++pos) {
                const char c = line[pos];
                if (c == '"') {
                    ++pos;
                    return;
                }
                if (c == '\\') {
                    if (pos + 1 >= line.size()) break;
                    const char n = line[++pos];
                    if (n != '\\' && n != '"') {
                        fail(lineNo, std::string("unknown escape \"\\") + n +
                                         "\" (only \\\\ and \\\" are allowed)");
                    }
                    out += n;
                } else {
                    out += c;
                }
            }
            fail(lineNo, "the closing quote is missing");
        };
        if (line[pos] == '@') {
            ++pos;
        } else if (line[pos] == '"') {
            readQuoted(valueName);
        } else {
            fail(lineNo, "a value line must start with a quoted name or \"@\"");
        }
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
        if (pos >= line.size() || line[pos] != '=') fail(lineNo, "\"=\" is missing after the name");
        ++pos;
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
        if (pos >= line.size()) fail(lineNo, "the value has no data");

        Key::Entry entry{valueName, registry::REG_SZ, {}, {}};
        const std::string rhs = line.substr(pos);
        if (line[pos] == '"') {
            readQuoted(entry.data);
            if (line.find_first_not_of(" \t", pos) != std::string::npos) {
                fail(lineNo, "unexpected text after the closing quote");
            }
        } else if (line[pos] == '-') {
            fail(lineNo, "a value deletion (\"=-\") has no place in a stored hive");
        } else if (StartsWithNoCase(rhs, "dword:")) {
            const std::string digits = rhs.substr(6);
            if (digits.size() != 8 ||
                digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
                fail(lineNo, "a dword value needs exactly eight hexadecimal digits");
            }
            entry.type = registry::REG_DWORD;
            entry.lines.push_back(line.substr(first));
            const unsigned long v = std::stoul(digits, nullptr, 16);
            for (int b = 0; b < 4; ++b) entry.data += static_cast<char>((v >> (8 * b)) & 0xFF);
        } else if (StartsWithNoCase(rhs, "hex")) {
            std::size_t p = 3;
            entry.type = registry::REG_BINARY;
            if (p < rhs.size() && rhs[p] == '(') {
                const std::size_t close = rhs.find(')', p);
                const std::string n =
                    close == std::string::npos ? "" : rhs.substr(p + 1, close - p - 1);
                if (n.empty() || n.size() > 8 ||
                    n.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
                    fail(lineNo, "a hex value type must be \"hex(N)\" with N in hexadecimal");
                }
                entry.type = static_cast<registry::ValueType>(std::stoul(n, nullptr, 16));
                p = close + 1;
            }
            if (p >= rhs.size() || rhs[p] != ':') fail(lineNo, "\":\" is missing after \"hex\"");
            entry.lines.push_back(line.substr(first));
            // Bytes are two hexadecimal digits separated by commas; a line ending in
            // "\" goes on on the next line.
            std::string bytes = rhs.substr(p + 1);
            std::size_t at = i;
            while (true) {
                const bool more = !bytes.empty() && bytes.back() == '\\';
                if (more) bytes.pop_back();
                std::stringstream tokens(bytes);
                std::string token;
                while (std::getline(tokens, token, ',')) {
                    const auto b = token.find_first_not_of(" \t");
                    const auto e = token.find_last_not_of(" \t");
                    const std::string t = b == std::string::npos ? "" : token.substr(b, e - b + 1);
                    if (t.empty() && !more && tokens.eof()) break;  // a trailing comma
                    if (t.size() != 2 || !IsHexDigit(t[0]) || !IsHexDigit(t[1])) {
                        fail(at + 1, "\"" + t + "\" is not a byte of two hexadecimal digits");
                    }
                    entry.data += static_cast<char>(std::stoul(t, nullptr, 16));
                }
                if (!more) break;
                if (++at >= lines.size()) fail(at, "the value goes on past the end of the file");
                entry.lines.push_back(lines[at]);
                bytes = lines[at];
            }
            i = at;
            if (entry.type == registry::REG_SZ || entry.type == registry::REG_EXPAND_SZ) {
                entry.data = Utf16LeToUtf8(entry.data);
            }
        } else {
            fail(lineNo, "the data must be a quoted string, dword: or hex:");
        }
        if (Key::Entry* existing = current->Value(valueName)) {
            *existing = std::move(entry);
        } else {
            current->values.push_back(std::move(entry));
        }
    }
}

std::string FileHive::Text() const {
    std::string out = std::string(kHeader) + "\r\n\r\n";
    root_->Write(out, kRootName, true);
    return out;
}

std::optional<registry::Value> FileHive::QueryValue(const std::string& key,
                                                    const std::string& name) {
    const auto parts = SplitKeyPath(key);
    Key* k = parts ? root_->Find(*parts) : nullptr;
    Key::Entry* e = k ? k->Value(name) : nullptr;
    if (!e) return std::nullopt;
    return registry::Value{e->type, e->data};
}

void FileHive::SetString(const std::string& key, const std::string& name, const std::string& data) {
    const auto parts = SplitKeyPath(key);
    if (!parts) Raise(err::kInvalidCall, "The registry key \"" + key + "\" has an empty part");
    if (HasLineBreak(key) || HasLineBreak(name) || HasLineBreak(data)) {
        Raise(err::kInvalidCall, "A line break cannot be stored in the hive file " + path_ +
                                     " (key \"" + key + "\", value \"" + name + "\")");
    }
    Key::Entry& e = root_->Create(*parts)->SetValue(name);
    e.type = registry::REG_SZ;
    e.data = data;
    e.lines.clear();
    if (saveChanges_) WriteFileAtomically(path_, Text());
}

std::optional<std::string> FileHive::SubKeyAt(const std::string& key, std::size_t index) {
    const auto parts = SplitKeyPath(key);
    Key* k = parts ? root_->Find(*parts) : nullptr;
    if (!k || index >= k->subkeys.size()) return std::nullopt;
    return k->subkeys[index]->name;
}

std::optional<std::string> FileHive::ValueNameAt(const std::string& key, std::size_t index) {
    const auto parts = SplitKeyPath(key);
    Key* k = parts ? root_->Find(*parts) : nullptr;
    if (!k || index >= k->values.size()) return std::nullopt;
    return k->values[index].name;
}

}  // namespace tbln::posix

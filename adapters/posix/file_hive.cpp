#include "adapters/posix/file_hive.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unordered_map>

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
// Hex data lines are wrapped before this many characters, as the registry editor does.
constexpr std::size_t kHexLineWidth = 77;

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

// The lookup form of a key or value name: ASCII letters folded, as names compare.
std::string Folded(std::string_view name) {
    std::string out(name);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
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

// A line without its line end.
std::string_view Content(const std::string& line) {
    std::string_view v(line);
    if (v.ends_with('\n')) v.remove_suffix(1);
    if (v.ends_with('\r')) v.remove_suffix(1);
    return v;
}

bool IsBlank(const std::string& line) {
    return Content(line).find_first_not_of(" \t") == std::string_view::npos;
}

}  // namespace

struct FileHive::Key {
    struct Entry {
        std::string name;
        registry::ValueType type = registry::REG_SZ;
        // The characters of a string, the raw bytes of other types.
        std::string data;
        // The value's lines in the file (a hex value may run over several).
        Line first;
        std::size_t count = 0;
    };

    std::string name;
    Key* parent = nullptr;
    std::vector<Key*> subkeys;                                // in creation order
    std::unordered_map<std::string, Key*> children;           // by folded name
    std::vector<Entry> values;                                // in creation order
    std::unordered_map<std::string, std::size_t> valueIndex;  // by folded name
    // The last line of the key's last section, after which a new value goes.
    bool hasSection = false;
    Line last{};

    Key* Child(const std::string& childName) const {
        const auto it = children.find(Folded(childName));
        return it == children.end() ? nullptr : it->second;
    }
    Entry* Value(const std::string& valueName) {
        const auto it = valueIndex.find(Folded(valueName));
        return it == valueIndex.end() ? nullptr : &values[it->second];
    }
    // The key's full name, from HKEY_CURRENT_USER down.
    std::string Path() const {
        std::vector<const Key*> chain;
        for (const Key* k = this; k; k = k->parent) chain.push_back(k);
        std::string path;
        for (auto k = chain.rbegin(); k != chain.rend(); ++k) {
            if (!path.empty()) path += '\\';
            path += (*k)->name;
        }
        return path;
    }
};

HiveFileError::HiveFileError(std::string file, std::size_t line, std::string description)
    : std::runtime_error(file + ":" + std::to_string(line) + ": " + description),
      file_(std::move(file)),
      line_(line),
      description_(std::move(description)) {}

FileHive::FileHive(std::string path) : path_(std::move(path)) {
    keys_.emplace_back().name = kRootName;
    struct stat st {};
    if (::stat(path_.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        // A folder, a FIFO (which would wait for a writer) or a device (which may never
        // end) is no hive.
        throw HiveFileError(path_, 0,
                            S_ISDIR(st.st_mode) ? "is a folder" : "is not a regular file");
    }
    std::ifstream in(path_, std::ios::binary);
    std::string text;
    if (in) {
        std::ostringstream all;
        all << in.rdbuf();
        if (in.bad()) throw HiveFileError(path_, 0, "cannot be read");
        text = all.str();
    } else if (errno != ENOENT) {
        throw HiveFileError(path_, 0, std::string("cannot be read (") + std::strerror(errno) + ")");
    }
    if (text.empty()) {
        // No file yet, or an empty one: an empty hive under the newer header.
        lines_ = {std::string(kHeader) + lineEnd_, lineEnd_};
        return;
    }
    Parse(text);
}

FileHive::~FileHive() = default;

HiveFileLock::HiveFileLock(const std::string& hivePath) {
    std::string target = hivePath;
    try {
        target = PathToWrite(hivePath);
    } catch (const RuntimeError&) {
        // A loop of links: reading the file says so.
    }
    const std::string lockPath = target + ".lock";
    fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        // No lock file can be made where the hive lives (a missing or read-only folder):
        // nothing can be saved there either.
        if (errno == ENOENT || errno == EACCES || errno == EROFS || errno == EPERM) return;
        throw HiveFileError(hivePath, 0,
                            "cannot be locked: " + lockPath + ": " + std::strerror(errno));
    }
    while (::flock(fd_, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        const int e = errno;
        ::close(fd_);
        fd_ = -1;
        throw HiveFileError(hivePath, 0, "cannot be locked: " + lockPath + ": " + std::strerror(e));
    }
}

HiveFileLock::~HiveFileLock() {
    if (fd_ >= 0) ::close(fd_);
}

FileHive::Key* FileHive::Create(const std::vector<std::string>& parts, bool withSections) {
    Key* k = &keys_.front();
    for (const auto& p : parts) {
        Key* next = k->Child(p);
        if (!next) {
            next = &keys_.emplace_back();
            next->name = p;
            next->parent = k;
            k->subkeys.push_back(next);
            k->children.emplace(Folded(p), next);
            if (withSections) AppendSection(*next);
        }
        k = next;
    }
    return k;
}

FileHive::Key* FileHive::Find(const std::string& key) {
    const auto parts = SplitKeyPath(key);
    if (!parts) return nullptr;
    Key* k = &keys_.front();
    for (const auto& p : *parts) {
        if (!(k = k->Child(p))) return nullptr;
    }
    return k;
}

void FileHive::AppendSection(Key& key) {
    // Sections are separated by a blank line.
    if (!lines_.empty()) {
        if (!lines_.back().ends_with('\n')) lines_.back() += lineEnd_;
        if (!IsBlank(lines_.back())) lines_.push_back(lineEnd_);
    }
    lines_.push_back("[" + key.Path() + "]" + lineEnd_);
    key.hasSection = true;
    key.last = std::prev(lines_.end());
    lines_.push_back(lineEnd_);
}

void FileHive::Parse(const std::string& text) {
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        lines_.push_back(text.substr(start, end - start));
        start = end;
    }
    auto fail = [this](std::size_t lineNo, const std::string& what) {
        throw HiveFileError(path_, lineNo, what);
    };
    if (text.size() >= 2 &&
        ((text[0] == '\xFF' && text[1] == '\xFE') || (text[0] == '\xFE' && text[1] == '\xFF'))) {
        fail(1, "the file is UTF-16 text; save it as UTF-8");
    }
    const std::string& headerLine = lines_.front();
    if (headerLine.ends_with("\r\n")) {
        lineEnd_ = "\r\n";
    } else if (headerLine.ends_with('\n')) {
        lineEnd_ = "\n";
    }
    std::string_view header = Content(headerLine);
    if (header.starts_with("\xEF\xBB\xBF")) header.remove_prefix(3);
    if (header != kHeader && header != kOldHeader) {
        fail(1, std::string("the first line is not \"") + kHeader + "\"");
    }
    oldFormat_ = header == kOldHeader;

    Key* current = nullptr;
    std::size_t lineNo = 1;
    for (Line it = std::next(lines_.begin()); it != lines_.end(); ++it) {
        ++lineNo;
        const std::string line(Content(*it));
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
            const std::size_t rootLength = std::strlen(kRootName);
            if (!StartsWithNoCase(name, kRootName) ||
                (name.size() > rootLength && name[rootLength] != '\\')) {
                fail(lineNo, "only keys of HKEY_CURRENT_USER can be stored, not \"" + name + "\"");
            }
            const std::string rest = name.size() > rootLength ? name.substr(rootLength + 1) : "";
            const auto parts = SplitKeyPath(rest);
            if (!parts || (name.size() > rootLength && parts->empty())) {
                fail(lineNo, "the key \"" + name + "\" has an empty part");
            }
            current = Create(*parts, false);
            current->hasSection = true;
            current->last = it;
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

        Key::Entry entry{valueName, registry::REG_SZ, {}, it, 1};
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
            // Bytes are two hexadecimal digits separated by commas; a line ending in
            // "\" goes on on the next line.
            std::string bytes = rhs.substr(p + 1);
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
                        fail(lineNo, "\"" + t + "\" is not a byte of two hexadecimal digits");
                    }
                    entry.data += static_cast<char>(std::stoul(t, nullptr, 16));
                }
                if (!more) break;
                if (std::next(it) == lines_.end()) {
                    fail(lineNo, "the value goes on past the end of the file");
                }
                ++it;
                ++lineNo;
                ++entry.count;
                bytes = std::string(Content(*it));
            }
            // Under the newer header strings in hex are UTF-16LE; REGEDIT4 stores the
            // file's own 8-bit characters, which are kept as they are, like its quoted
            // strings.
            if (!oldFormat_ &&
                (entry.type == registry::REG_SZ || entry.type == registry::REG_EXPAND_SZ)) {
                entry.data = Utf16LeToUtf8(entry.data);
            }
        } else {
            fail(lineNo, "the data must be a quoted string, dword: or hex:");
        }
        current->last = it;
        // A name given twice in a key: the later line holds the value.
        if (Key::Entry* existing = current->Value(valueName)) {
            *existing = std::move(entry);
        } else {
            current->valueIndex.emplace(Folded(valueName), current->values.size());
            current->values.push_back(std::move(entry));
        }
    }
}

std::string FileHive::Text() const {
    std::size_t size = 0;
    for (const auto& l : lines_) size += l.size();
    std::string out;
    out.reserve(size);
    for (const auto& l : lines_) out += l;
    return out;
}

void FileHive::Save() {
    if (!changed_) return;
    WriteFileAtomically(path_, Text());
    changed_ = false;
}

std::optional<registry::Value> FileHive::QueryValue(const std::string& key,
                                                    const std::string& name) {
    Key* k = Find(key);
    Key::Entry* e = k ? k->Value(name) : nullptr;
    if (!e) return std::nullopt;
    return registry::Value{e->type, e->data};
}

void FileHive::SetString(const std::string& key, const std::string& name, const std::string& data,
                         registry::ValueType type) {
    const auto parts = SplitKeyPath(key);
    if (!parts) Raise(err::kInvalidCall, "The registry key \"" + key + "\" has an empty part");
    if (HasLineBreak(key) || HasLineBreak(name) || HasLineBreak(data)) {
        Raise(err::kInvalidCall, "A line break cannot be stored in the hive file " + path_ +
                                     " (key \"" + key + "\", value \"" + name + "\")");
    }
    if (type != registry::REG_SZ && type != registry::REG_EXPAND_SZ) {
        Raise(err::kInvalidCall, "Only strings can be stored in the hive file " + path_);
    }
    Key* k = Create(*parts, true);
    Key::Entry* existing = k->Value(name);
    // A value keeps the spelling of its name.
    const std::string& spelled = existing ? existing->name : name;
    const std::string nameText = spelled.empty() ? std::string("@") : Quote(spelled);
    std::vector<std::string> lines;
    if (type == registry::REG_SZ) {
        lines.push_back(nameText + "=" + Quote(data) + lineEnd_);
    } else {
        // An expandable string in hex, with its terminating NUL, wrapped as the registry
        // editor wraps it.
        const std::string bytes =
            oldFormat_ ? data + std::string(1, '\0') : Utf8ToUtf16Le(data) + std::string(2, '\0');
        std::string line = nameText + "=hex(2):";
        static constexpr char kDigits[] = "0123456789abcdef";
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const auto b = static_cast<unsigned char>(bytes[i]);
            if (line.size() + 3 > kHexLineWidth) {
                lines.push_back(line + "\\" + lineEnd_);
                line = "  ";
            }
            line += kDigits[b >> 4];
            line += kDigits[b & 0xF];
            if (i + 1 < bytes.size()) line += ',';
        }
        lines.push_back(line + lineEnd_);
    }

    if (existing) {
        // The value's lines are replaced where they stand.
        const Line after = std::next(existing->first, static_cast<long>(existing->count));
        bool lastInside = false;
        for (Line l = existing->first; l != after; ++l) lastInside = lastInside || l == k->last;
        const Line first = lines_.insert(existing->first, lines.begin(), lines.end());
        lines_.erase(existing->first, after);
        existing->first = first;
        existing->count = lines.size();
        if (lastInside) k->last = std::prev(after);
        existing->type = type;
        existing->data = data;
    } else {
        if (!k->hasSection) AppendSection(*k);
        if (!k->last->ends_with('\n')) *k->last += lineEnd_;
        const Line at = std::next(k->last);
        const Line first = lines_.insert(at, lines.begin(), lines.end());
        k->last = std::prev(at);
        k->valueIndex.emplace(Folded(name), k->values.size());
        k->values.push_back(Key::Entry{name, type, data, first, lines.size()});
    }
    changed_ = true;
}

std::optional<std::string> FileHive::SubKeyAt(const std::string& key, std::size_t index) {
    Key* k = Find(key);
    if (!k || index >= k->subkeys.size()) return std::nullopt;
    return k->subkeys[index]->name;
}

std::optional<std::string> FileHive::ValueNameAt(const std::string& key, std::size_t index) {
    Key* k = Find(key);
    if (!k || index >= k->values.size()) return std::nullopt;
    return k->values[index].name;
}

}  // namespace tbln::posix

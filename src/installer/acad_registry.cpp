#include "installer/acad_registry.hpp"

#include <algorithm>
#include <string_view>

#include "core/collection.hpp"
#include "core/error.hpp"
#include "installer/mod_registry.hpp"

namespace tbln::installer {

namespace {

char Fold(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// True when text contains part, letter case aside.
bool ContainsText(std::string_view text, std::string_view part) {
    return std::search(text.begin(), text.end(), part.begin(), part.end(),
                       [](char a, char b) { return Fold(a) == Fold(b); }) != text.end();
}

bool BeginsWith(std::string_view name, std::string_view prefix) {
    return name.size() >= prefix.size() && KeysEqual(name.substr(0, prefix.size()), prefix);
}

// The number in a value name from the given 0-based position on, when the rest is a
// plain decimal number that fits; names such as "GroupX" carry none.
std::optional<long> NumberFrom(std::string_view name, std::size_t from) {
    if (name.size() <= from || name.size() - from > 9) return std::nullopt;
    long n = 0;
    for (char c : name.substr(from)) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + (c - '0');
    }
    return n;
}

// Whether some value whose name begins with prefix holds data containing part.
bool AnyValueHolds(registry::Hive& hive, const std::vector<std::string>& names,
                   const std::string& key, std::string_view prefix, std::string_view part) {
    return std::any_of(names.begin(), names.end(), [&](const std::string& name) {
        return BeginsWith(name, prefix) &&
               ContainsText(ReadStringValue(hive, key, name, kNoValue), part);
    });
}

// The name prefix + number, moved on past any number already in use, so that a value
// the numbering rule ignores (a pop numbered 21 or more) is never overwritten.
std::string FreeName(const std::vector<std::string>& names, const std::string& prefix, long n) {
    while (true) {
        const std::string name = prefix + std::to_string(n);
        if (std::none_of(names.begin(), names.end(),
                         [&](const std::string& x) { return KeysEqual(x, name); })) {
            return name;
        }
        ++n;
    }
}

void Write(const InstallContext& context, const std::string& key, const std::string& name,
           const std::string& data, registry::ValueType type = registry::REG_SZ) {
    WriteStringValue(context.hive, key, name, data, type);
    context.Report("set HKEY_CURRENT_USER\\" + key + " \"" + name + "\" = \"" + data + "\"" +
                   (type == registry::REG_EXPAND_SZ ? " (expandable string)" : ""));
}

}  // namespace

bool GroupMissing(registry::Hive& hive, const std::vector<std::string>& names,
                  const std::string& menusKey) {
    return !AnyValueHolds(hive, names, menusKey, "Gro", kInstallFolder);
}

bool PopMissing(registry::Hive& hive, const std::vector<std::string>& names,
                const std::string& menusKey) {
    return !AnyValueHolds(hive, names, menusKey, "Pop", "Quorvex");
}

long NextGroupNumber(const std::vector<std::string>& names) {
    long largest = 0;
    for (const auto& name : names) {
        if (!BeginsWith(name, "Gro")) continue;
        if (const auto n = NumberFrom(name, 5)) largest = std::max(largest, *n);
    }
    return largest + 1;
}

long NextPopNumber(const std::vector<std::string>& names) {
    long largest = 0;
    for (const auto& name : names) {
        if (!BeginsWith(name, "Pop")) continue;
        // Entries numbered 21 or more are not counted.
        if (const auto n = NumberFrom(name, 3); n && *n < 21) largest = std::max(largest, *n);
    }
    return largest + 1;
}

void RegisterRelease(const InstallContext& context, const std::string& release) {
    registry::Hive& hive = context.hive;
    const std::string releaseKey = kHostKey + release;
    for (const auto& product : ListSubKeys(hive, releaseKey)) {
        const std::string profilesKey = releaseKey + "\\" + product + "\\Profiles";
        for (const auto& profile : ListSubKeys(hive, profilesKey)) {
            const std::string profileKey = profilesKey + "\\" + profile;
            const std::string generalKey = profileKey + "\\General";
            const std::string menusKey = profileKey + "\\Menus";

            // The support path: the folder goes first unless it is already there. A
            // profile without a support path gets the folder alone. An expandable
            // string stays one, so that the environment variables in the user's path
            // still expand; a path stored as anything else (a number, bytes, a list)
            // is no text the folder could go before, and is left for the user.
            const auto acad = ReadValue(hive, generalKey, "ACAD");
            if (!acad) {
                Write(context, generalKey, "ACAD", kSupportPrefix);
            } else if (acad->type != registry::REG_SZ && acad->type != registry::REG_EXPAND_SZ) {
                context.Report("left unchanged: HKEY_CURRENT_USER\\" + generalKey +
                               " \"ACAD\" is a value of type " + std::to_string(acad->type) +
                               ", not a string; add " + kSupportFolder +
                               " to the profile's support path by hand");
            } else if (!ContainsText(acad->data, kSupportFolder)) {
                Write(context, generalKey, "ACAD", kSupportPrefix + acad->data, acad->type);
            }

            const auto names = ListValueNames(hive, menusKey);
            if (release != "R16.2") {
                if (GroupMissing(hive, names, menusKey)) {
                    Write(context, menusKey, FreeName(names, "Group", NextGroupNumber(names)),
                          kGroupData);
                }
                if (PopMissing(hive, names, menusKey)) {
                    Write(context, menusKey, FreeName(names, "Pop", NextPopNumber(names)),
                          kPopData);
                }
            } else {
                const std::string menuFile = ReadStringValue(
                    hive, profileKey + "\\General Configuration", "MenuFile", kNoValue);
                if (menuFile == kNoValue) {
                    context.Report("left unchanged: HKEY_CURRENT_USER\\" + profileKey +
                                   "\\General Configuration has no \"MenuFile\" value, so no "
                                   "customization file is known");
                } else {
                    AddPartialMenu(context, menuFile + ".cui");
                }
                if (PopMissing(hive, names, menusKey)) {
                    Write(context, menusKey, FreeName(names, "Pop", NextPopNumber(names)),
                          kPopDataR162);
                }
            }
        }
    }
}

void AddPartialMenu(const InstallContext& context, const std::string& path) {
    std::string text;
    try {
        const auto pending = context.files.find(path);
        text = pending != context.files.end() ? pending->second : context.sys.ReadFile(path);
    } catch (const RuntimeError& e) {
        context.Report("left unchanged " + path + ": cannot be read (" + e.Description() + ")");
        return;
    }

    // Lines end at LF; a CR before it belongs to the line end, every other byte to
    // the line.
    std::vector<std::string_view> lines;
    const std::string_view all(text);
    for (std::size_t start = 0; start < all.size();) {
        std::size_t end = all.find('\n', start);
        const std::size_t next = end == std::string_view::npos ? all.size() : end + 1;
        if (end == std::string_view::npos) end = all.size();
        std::string_view line = all.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        start = next;
    }
    for (const auto& line : lines) {
        if (ContainsText(line, kPartialMenuMarker)) return;  // already refers to it
    }

    std::string out;
    int inserted = 0;
    for (const auto& line : lines) {
        if (ContainsText(line, kCommonItems)) {
            out += kPartialMenuLine;
            out += "\r\n";
            ++inserted;
        }
        out.append(line);
        out += "\r\n";
    }
    // Without a place for it the file would only change its line ends: leave it.
    if (inserted == 0) {
        context.Report("left unchanged " + path + ": no line contains \"/CommonItems\"");
        return;
    }
    context.files[path] = out;
    context.Report("rewrote " + path + ": partial menu added before " + std::to_string(inserted) +
                   (inserted == 1 ? " line" : " lines") + " containing \"/CommonItems\"");
}

}  // namespace tbln::installer

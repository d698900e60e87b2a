#include "adapters/win32/registry_hive.hpp"

#include "adapters/win32/wide_text.hpp"
#include "adapters/win32/windows_api.hpp"
#include "core/error.hpp"
#include "core/unicode.hpp"

namespace tbln::win32 {

namespace {

// An open key of HKEY_CURRENT_USER, closed when leaving scope; none when it cannot be
// opened.
struct Key {
    HKEY h = nullptr;
    Key(const std::string& path, REGSAM access) {
        if (RegOpenKeyExW(HKEY_CURRENT_USER, Wide(path).c_str(), 0, access, &h) != ERROR_SUCCESS)
            h = nullptr;
    }
    ~Key() {
        if (h) RegCloseKey(h);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
};

// The registry's longest key and value names are 255 and 16383 characters.
constexpr DWORD kLongestName = 16384;

}  // namespace

namespace {

// The names a key's enumeration gives (subkeys or values), in the registry's order.
template <class Enumerate>
std::vector<std::string> Names(const std::string& key, REGSAM access, Enumerate enumerate) {
    std::vector<std::string> names;
    Key k(key, access);
    if (!k.h) return names;
    std::wstring name(kLongestName, L'\0');
    for (DWORD i = 0;; ++i) {
        DWORD length = kLongestName;
        if (enumerate(k.h, i, name.data(), &length) != ERROR_SUCCESS) break;
        names.push_back(Narrow(std::wstring_view(name.data(), length)));
    }
    return names;
}

std::vector<std::string> SubKeys(const std::string& key) {
    return Names(key, KEY_ENUMERATE_SUB_KEYS, [](HKEY h, DWORD i, wchar_t* name, DWORD* length) {
        return RegEnumKeyExW(h, i, name, length, nullptr, nullptr, nullptr, nullptr);
    });
}

std::vector<std::string> ValueNames(const std::string& key) {
    return Names(key, KEY_QUERY_VALUE, [](HKEY h, DWORD i, wchar_t* name, DWORD* length) {
        return RegEnumValueW(h, i, name, length, nullptr, nullptr, nullptr, nullptr);
    });
}

// Adds name to names unless it is there in another letter case.
void AddName(std::vector<std::string>& names, const std::string& name) {
    for (const auto& n : names)
        if (EqualIgnoringCase(n, name)) return;
    names.push_back(name);
}

std::optional<std::string> At(const std::vector<std::string>& names, std::size_t index) {
    if (index >= names.size()) return std::nullopt;
    return names[index];
}

}  // namespace

std::optional<registry::Value> RegistryHive::QueryValue(const std::string& key,
                                                        const std::string& name) {
    for (auto it = pending_.rbegin(); it != pending_.rend(); ++it) {
        if (EqualIgnoringCase(it->key, key) && EqualIgnoringCase(it->name, name))
            return registry::Value{it->type, it->data};
    }
    Key k(key, KEY_QUERY_VALUE);
    if (!k.h) return std::nullopt;
    const std::wstring wname = Wide(name);
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(k.h, wname.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    std::string bytes(size, '\0');
    if (RegQueryValueExW(k.h, wname.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()),
                         &size) != ERROR_SUCCESS)
        return std::nullopt;
    bytes.resize(size);
    registry::Value value;
    value.type = type;
    if (type == registry::REG_SZ || type == registry::REG_EXPAND_SZ) {
        // The characters as stored (UTF-16), without the terminating NUL when present.
        std::wstring text(bytes.size() / 2, L'\0');
        std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(text.size() * 2),
                  reinterpret_cast<char*>(text.data()));
        if (!text.empty() && text.back() == L'\0') text.pop_back();
        value.data = Narrow(text);
    } else {
        value.data = std::move(bytes);
    }
    return value;
}

void RegistryHive::SetString(const std::string& key, const std::string& name,
                             const std::string& data, registry::ValueType type) {
    pending_.push_back({key, name, data, type});
}

void RegistryHive::Commit() {
    for (const auto& p : pending_) {
        HKEY h = nullptr;
        LSTATUS rc = RegCreateKeyExW(HKEY_CURRENT_USER, Wide(p.key).c_str(), 0, nullptr,
                                     REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &h, nullptr);
        if (rc != ERROR_SUCCESS) {
            Raise(err::kFileAccess, "The registry key HKEY_CURRENT_USER\\" + p.key +
                                        " cannot be created: " + ErrorText(static_cast<DWORD>(rc)));
        }
        // Stored with its terminating NUL, as the registry expects of a string.
        const std::wstring text = Wide(p.data);
        rc = RegSetValueExW(h, Wide(p.name).c_str(), 0, p.type,
                            reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(h);
        if (rc != ERROR_SUCCESS) {
            Raise(err::kFileAccess, "The registry value " + p.name + " of HKEY_CURRENT_USER\\" +
                                        p.key +
                                        " cannot be set: " + ErrorText(static_cast<DWORD>(rc)));
        }
    }
    pending_.clear();
}

std::optional<std::string> RegistryHive::SubKeyAt(const std::string& key, std::size_t index) {
    auto names = SubKeys(key);
    // Keys that only values set so far make: the next part of their path below key.
    const std::string prefix = key + "\\";
    for (const auto& p : pending_) {
        if (p.key.size() > prefix.size() &&
            EqualIgnoringCase(p.key.substr(0, prefix.size()), prefix))
            AddName(names,
                    p.key.substr(prefix.size(), p.key.find('\\', prefix.size()) - prefix.size()));
    }
    return At(names, index);
}

std::optional<std::string> RegistryHive::ValueNameAt(const std::string& key, std::size_t index) {
    auto names = ValueNames(key);
    for (const auto& p : pending_)
        if (EqualIgnoringCase(p.key, key)) AddName(names, p.name);
    return At(names, index);
}

}  // namespace tbln::win32

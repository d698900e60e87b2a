#include "installer/mod_registry.hpp"

namespace tbln::installer {

namespace {

std::string CutAtNul(std::string s) {
    const auto nul = s.find('\0');
    if (nul != std::string::npos) s.erase(nul);
    return s;
}

}  // namespace

std::string ReadStringValue(registry::Hive& hive, const std::string& key, const std::string& name,
                            const std::string& defaultValue) {
    const auto value = hive.QueryValue(key, name);
    if (!value || value->type != registry::REG_SZ) return defaultValue;
    return CutAtNul(value->data);
}

std::optional<registry::Value> ReadValue(registry::Hive& hive, const std::string& key,
                                         const std::string& name) {
    auto value = hive.QueryValue(key, name);
    if (value && (value->type == registry::REG_SZ || value->type == registry::REG_EXPAND_SZ)) {
        value->data = CutAtNul(std::move(value->data));
    }
    return value;
}

void WriteStringValue(registry::Hive& hive, const std::string& key, const std::string& name,
                      const std::string& data, registry::ValueType type) {
    hive.SetString(key, name, data, type);
}

std::vector<std::string> ListSubKeys(registry::Hive& hive, const std::string& key) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < kMaxSubKeys; ++i) {
        auto name = hive.SubKeyAt(key, i);
        // A name that does not fit the buffer (with its NUL) ends the enumeration.
        if (!name || name->size() >= kSubKeyNameBuffer) break;
        names.push_back(CutAtNul(std::move(*name)));
    }
    return names;
}

std::vector<std::string> ListValueNames(registry::Hive& hive, const std::string& key) {
    std::vector<std::string> names;
    for (std::size_t i = 0;; ++i) {
        auto name = hive.ValueNameAt(key, i);
        if (!name || name->size() >= kValueNameBuffer) break;
        names.push_back(std::move(*name));
    }
    return names;
}

}  // namespace tbln::installer

// The installer's registry operations on the current user's hive, with the buffer
// and enumeration rules the installer relies on: a value is read only when it is a
// string and is cut at its first NUL; an enumeration stops at the first index the
// hive cannot answer, or whose name does not fit the caller's name buffer.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/registry.hpp"

namespace tbln::installer {

// Name buffers of the enumerations, in characters (the terminating NUL included), and
// the largest number of subkeys listed.
inline constexpr std::size_t kSubKeyNameBuffer = 2048;
inline constexpr std::size_t kValueNameBuffer = 2000;
inline constexpr std::size_t kMaxSubKeys = 65535;

// The sentinel the installer reads when a value is missing.
inline constexpr const char* kNoValue = "No Value";

// The string value, cut at its first NUL; defaultValue when the key or the value is
// missing or the value is not a string.
std::string ReadStringValue(registry::Hive& hive, const std::string& key, const std::string& name,
                            const std::string& defaultValue);

// The value with its type, the data of either string type (REG_SZ, REG_EXPAND_SZ) cut
// at its first NUL; nullopt when the key or the value is missing.
std::optional<registry::Value> ReadValue(registry::Hive& hive, const std::string& key,
                                         const std::string& name);

// Sets a string value of the given string type, creating the key when needed.
void WriteStringValue(registry::Hive& hive, const std::string& key, const std::string& name,
                      const std::string& data, registry::ValueType type = registry::REG_SZ);

// The subkey names in enumeration order (each cut at its first NUL); empty when the
// key is missing or has none.
std::vector<std::string> ListSubKeys(registry::Hive& hive, const std::string& key);

// The value names in enumeration order; empty when the key is missing or has none.
std::vector<std::string> ListValueNames(registry::Hive& hive, const std::string& key);

}  // namespace tbln::installer

// The registry port: the current user's hive, at the level of the system's own calls.
// Key paths are given below HKEY_CURRENT_USER with "\" between the parts; keys and
// value names compare without regard to letter case; enumeration follows the order in
// which keys and values were created.
//
// The port reports what the hive holds (a value's type and raw data, the name at an
// enumeration index, how long that name is) and leaves the buffer rules of the
// callers (a value read only when it is a string, data cut at the first NUL, names
// that do not fit the caller's buffer ending an enumeration) to the callers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tbln::registry {

// Value types as the registry numbers them; only strings are written by the product.
using ValueType = std::uint32_t;
inline constexpr ValueType REG_SZ = 1;
inline constexpr ValueType REG_EXPAND_SZ = 2;
inline constexpr ValueType REG_BINARY = 3;
inline constexpr ValueType REG_DWORD = 4;

struct Value {
    ValueType type = REG_SZ;
    // For the string types the characters as stored; other types are never interpreted.
    std::string data;
};

class Hive {
  public:
    virtual ~Hive() = default;

    // The value's type and data; nullopt when the key or the value does not exist.
    virtual std::optional<Value> QueryValue(const std::string& key, const std::string& name) = 0;
    // Creates the key (and its parents) when needed and sets the value as a string of
    // the given type (REG_SZ or REG_EXPAND_SZ). Raises RuntimeError when the hive cannot
    // hold it.
    virtual void SetString(const std::string& key, const std::string& name, const std::string& data,
                           ValueType type = REG_SZ) = 0;
    // The name of the subkey (or value) at a 0-based enumeration index; nullopt when
    // the key does not exist or the index is past the last one.
    virtual std::optional<std::string> SubKeyAt(const std::string& key, std::size_t index) = 0;
    virtual std::optional<std::string> ValueNameAt(const std::string& key, std::size_t index) = 0;
};

}  // namespace tbln::registry

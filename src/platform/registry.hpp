// The registry port: string values of the current user's hive. Key paths are given
// below HKEY_CURRENT_USER with "\" between the parts; keys and value names compare
// without regard to letter case; enumeration follows the order of creation.
#pragma once

#include <string>
#include <vector>

namespace tbln::registry {

class Registry {
  public:
    virtual ~Registry() = default;
    // The string value, or defaultValue when the key or the value does not exist.
    virtual std::string ReadString(const std::string& key, const std::string& name,
                                   const std::string& defaultValue) = 0;
    // Creates the key when needed and sets the value.
    virtual void WriteString(const std::string& key, const std::string& name,
                             const std::string& data) = 0;
    virtual std::vector<std::string> SubKeys(const std::string& key) = 0;
    virtual std::vector<std::string> ValueNames(const std::string& key) = 0;
};

}  // namespace tbln::registry

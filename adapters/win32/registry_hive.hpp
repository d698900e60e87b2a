// The Windows adapter of the registry port: the current user's real hive
// (HKEY_CURRENT_USER) through the wide registry calls. Values set are held in memory, and
// read and enumerated from there, until Commit writes them, in the order they were set;
// so a program writes the registry only when everything else it changes was written, and
// a dry run writes nothing.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/registry.hpp"

namespace tbln::win32 {

class RegistryHive : public registry::Hive {
  public:
    std::optional<registry::Value> QueryValue(const std::string& key,
                                              const std::string& name) override;
    void SetString(const std::string& key, const std::string& name, const std::string& data,
                   registry::ValueType type = registry::REG_SZ) override;
    std::optional<std::string> SubKeyAt(const std::string& key, std::size_t index) override;
    std::optional<std::string> ValueNameAt(const std::string& key, std::size_t index) override;

    // True while values set wait for Commit.
    bool Changed() const noexcept { return !pending_.empty(); }
    // Writes the values set, creating their keys. Raises RuntimeError naming the key or
    // the value that cannot be written; the values before it are written.
    void Commit();

  private:
    struct Pending {
        std::string key, name, data;
        registry::ValueType type;
    };
    std::vector<Pending> pending_;
};

}  // namespace tbln::win32

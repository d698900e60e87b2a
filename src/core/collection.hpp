// The runtime's Collection of strings: items in insertion order (1-based), with an
// optional key compared without regard to letter case. Adding a key that is already
// there raises run-time error 457. Collections are reference objects: hold them in a
// std::shared_ptr and hand the pointer on.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/numeric.hpp"

namespace tbln {

class Collection {
  public:
    void Add(std::string item, std::optional<std::string> key = std::nullopt);
    Long Count() const noexcept { return static_cast<Long>(items_.size()); }
    // Item by 1-based position or by key; raises 9 (position) or 5 (key) when absent.
    const std::string& Item(Long index) const;
    const std::string& Item(std::string_view key) const;
    bool Contains(std::string_view key) const noexcept;
    void Remove(Long index);

    auto begin() const { return values_.begin(); }
    auto end() const { return values_.end(); }

  private:
    struct Entry {
        std::optional<std::string> key;
    };
    std::vector<std::string> values_;
    std::vector<Entry> items_;
};

// Comparison of keys without regard to letter case, for every letter the case folding
// knows (as the text compare of the original runtime folds all letters, not only ASCII).
bool KeysEqual(std::string_view a, std::string_view b) noexcept;

}  // namespace tbln

#include "core/collection.hpp"

#include "core/error.hpp"
#include "core/unicode.hpp"

namespace tbln {

bool KeysEqual(std::string_view a, std::string_view b) noexcept {
    return EqualIgnoringCase(a, b);
}

void Collection::Add(std::string item, std::optional<std::string> key) {
    if (key && Contains(*key)) Raise(err::kDuplicateKey);
    values_.push_back(std::move(item));
    items_.push_back(Entry{std::move(key)});
}

const std::string& Collection::Item(Long index) const {
    if (index < 1 || index > Count()) Raise(err::kSubscript);
    return values_[static_cast<std::size_t>(index - 1)];
}

const std::string& Collection::Item(std::string_view key) const {
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (items_[i].key && KeysEqual(*items_[i].key, key)) return values_[i];
    }
    Raise(err::kInvalidCall);
}

bool Collection::Contains(std::string_view key) const noexcept {
    for (const auto& e : items_) {
        if (e.key && KeysEqual(*e.key, key)) return true;
    }
    return false;
}

void Collection::Remove(Long index) {
    if (index < 1 || index > Count()) Raise(err::kSubscript);
    values_.erase(values_.begin() + (index - 1));
    items_.erase(items_.begin() + (index - 1));
}

}  // namespace tbln

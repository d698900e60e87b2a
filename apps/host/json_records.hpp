// JSON forms of the records and arrays the entry points hand back: a record is an
// object with every field under its exact name (Booleans as true/false); a 1-D
// array is {"lower", "upper", "items"}; a 2-D one {"rows", "cols", "items"} with
// null for an unset element.
#pragma once

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <type_traits>

#include "core/array.hpp"
#include "core/collection.hpp"
#include "core/text.hpp"

namespace tbln::host {

using json = nlohmann::ordered_json;

// A Single as the number its 7-digit text shows (0.1f prints as 0.1).
inline json SingleJson(float f) {
    return json::parse(NumberToText(f));
}

template <class T>
json FieldJson(const T& v) {
    if constexpr (std::is_same_v<T, float>) {
        return SingleJson(v);
    } else if constexpr (std::is_same_v<T, SharedText>) {
        return json(v.str());
    } else {
        return json(v);
    }
}

template <class R>
json RecordJson(const std::shared_ptr<R>& record) {
    if (!record) return nullptr;
    json out = json::object();
    R::Visit([&](const char* name, auto member) { out[name] = FieldJson((*record).*member); });
    return out;
}

// Fills a record from a JSON object; fields not given keep the record's defaults.
// Raises std::invalid_argument naming a field of the wrong kind.
template <class R>
std::shared_ptr<R> RecordFromJson(const json& j) {
    if (!j.is_object()) throw std::invalid_argument("a record must be a JSON object");
    auto record = std::make_shared<R>();
    R::Visit([&](const char* name, auto member) {
        const auto it = j.find(name);
        if (it == j.end()) return;
        using T = std::remove_reference_t<decltype((*record).*member)>;
        try {
            if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, SharedText>) {
                (*record).*member = it->template get<std::string>();
            } else if constexpr (std::is_same_v<T, bool>) {
                (*record).*member = it->template get<bool>();
            } else if constexpr (std::is_integral_v<T>) {
                const auto v = it->template get<long long>();
                if (v < std::numeric_limits<T>::min() || v > std::numeric_limits<T>::max()) {
                    throw std::invalid_argument("out of range");
                }
                (*record).*member = static_cast<T>(v);
            } else {
                (*record).*member = it->template get<T>();
            }
        } catch (const std::exception&) {
            throw std::invalid_argument(std::string("the field \"") + name +
                                        "\" has a value of the wrong kind");
        }
    });
    return record;
}

template <class R>
json ArrayJson(const Array<std::shared_ptr<R>>& a) {
    if (!a.IsAllocated()) return nullptr;
    json items = json::array();
    for (const auto& r : a) items.push_back(RecordJson(r));
    return json{{"lower", a.Lower()}, {"upper", a.Upper()}, {"items", items}};
}

template <class R>
json ArrayJson(const Array2D<std::shared_ptr<R>>& a) {
    if (!a.IsAllocated()) return nullptr;
    json rows = json::array();
    for (Long r = a.RowLower(); r <= a.RowUpper(); ++r) {
        json row = json::array();
        for (Long c = a.ColLower(); c <= a.ColUpper(); ++c) row.push_back(RecordJson(a(r, c)));
        rows.push_back(row);
    }
    return json{{"rows", {a.RowLower(), a.RowUpper()}},
                {"cols", {a.ColLower(), a.ColUpper()}},
                {"items", rows}};
}

inline json CollectionJson(const std::shared_ptr<Collection>& c) {
    if (!c) return nullptr;
    json items = json::array();
    for (const auto& s : *c) items.push_back(s);
    return items;
}

}  // namespace tbln::host

#include "apps/host/host.hpp"

#include <fstream>
#include <iostream>
#include <sstream>

#include "apps/host/entry_points.hpp"
#include "apps/host/json_records.hpp"

namespace tbln::host {

const std::string& Options::Get(const std::string& name) const {
    const auto it = values_.find(name);
    if (it == values_.end()) throw UsageError("the option --" + name + " is required");
    return it->second;
}

std::string Options::Get(const std::string& name, const std::string& fallback) const {
    const auto it = values_.find(name);
    return it == values_.end() ? fallback : it->second;
}

Integer Options::GetInteger(const std::string& name) const {
    const std::string& text = Get(name);
    try {
        std::size_t used = 0;
        const long long v = std::stoll(text, &used);
        if (used != text.size()) throw std::invalid_argument(text);
        return CheckedInteger(v);
    } catch (const std::exception&) {
        throw UsageError("--" + name + " " + text + " is not a whole number from -32768 to 32767");
    }
}

std::vector<std::string> Options::GetAll(const std::string& name) const {
    std::vector<std::string> all;
    const auto [first, last] = values_.equal_range(name);
    for (auto it = first; it != last; ++it) all.push_back(it->second);
    return all;
}

Host::Host(const std::string& root, ui::Ui* desktop)
    : session(root, desktop ? *desktop : ui),
      sys(session.Sys()),
      objects(session.Objects()),
      module(session.GetModule()),
      app(session.App()) {
    ui.onMessage = [](const scripted::Message& m) {
        std::cerr << m.title << ": " << m.prompt << "\n";
    };
}

nlohmann::ordered_json Host::Messages() const {
    auto out = nlohmann::ordered_json::array();
    for (const auto& m : ui.Messages()) out.push_back({{"title", m.title}, {"text", m.prompt}});
    return out;
}

nlohmann::ordered_json ReadJsonFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw UsageError(path + ": cannot be read");
    std::stringstream buffer;
    buffer << in.rdbuf();
    try {
        return nlohmann::ordered_json::parse(buffer.str());
    } catch (const nlohmann::ordered_json::parse_error& e) {
        throw UsageError(path + ": not valid JSON (" + e.what() + ")");
    }
}

TagPosArray ReadTags(const std::string& path) {
    const auto j = ReadJsonFile(path);
    const nlohmann::ordered_json* items = &j;
    Long lower = 1;
    if (j.is_object()) {
        if (!j.contains("items")) throw UsageError(path + ": a tags object needs \"items\"");
        items = &j["items"];
        if (j.contains("lower")) {
            if (!j["lower"].is_number_integer())
                throw UsageError(path + ": \"lower\" must be a whole number");
            lower = j["lower"].get<Long>();
        }
    }
    if (!items->is_array())
        throw UsageError(path + ": the tags must be a JSON array of tag objects");
    TagPosArray tags(lower, lower + static_cast<Long>(items->size()) - 1);
    Long i = lower;
    for (const auto& item : *items) {
        try {
            tags(i++) = RecordFromJson<TagPos>(item);
        } catch (const std::invalid_argument& e) {
            throw UsageError(path + ": tag " + std::to_string(i - lower) + ": " + e.what());
        }
    }
    return tags;
}

nlohmann::ordered_json InsertBlockPopCommand(Host& host, const Options& options) {
    std::string fileName0 = options.Get("file");
    std::string sheetName0 = options.Get("sheet");
    Integer row = options.GetInteger("row");
    Integer col = options.GetInteger("col");
    return CallInsertBlockPop(host, ReadTags(options.Get("tags")), fileName0, sheetName0, row, col);
}

}  // namespace tbln::host

#include "apps/host/host.hpp"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <sstream>

#include "adapters/posix/posix_system.hpp"
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
    if (desktopMessages) {
        for (const auto& [title, text] : *desktopMessages) {
            out.push_back({{"title", title}, {"text", text}});
        }
        return out;
    }
    for (const auto& m : ui.Messages()) out.push_back({{"title", m.title}, {"text", m.prompt}});
    return out;
}

namespace {

// Refuses JSON text whose values nest deeper than kMaxJsonDepth or whose objects hold
// more than kMaxJsonNames names, before the parse: that would take memory for every
// level, and time for every name times the names before it (an object keeps its names
// in order and looks each new one up among them).
void CheckJsonLimits(const std::string& text, const std::string& path) {
    std::vector<std::size_t> open;  // per open value: names so far, or kArray
    constexpr std::size_t kArray = static_cast<std::size_t>(-1);
    std::size_t line = 1;
    bool inString = false, escaped = false;
    const auto bad = [&](const std::string& what) {
        return UsageError(path + ": line " + std::to_string(line) + ": " + what);
    };
    for (const char ch : text) {
        if (ch == '\n') ++line;
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (ch == '\\') {
                escaped = true;
            } else if (ch == '"') {
                inString = false;
            }
            continue;
        }
        if (ch == '"') {
            inString = true;
        } else if (ch == '{' || ch == '[') {
            if (open.size() == kMaxJsonDepth) {
                throw bad("values nest deeper than " + std::to_string(kMaxJsonDepth) + " levels");
            }
            open.push_back(ch == '{' ? 0 : kArray);
        } else if ((ch == '}' || ch == ']') && !open.empty()) {
            open.pop_back();
        } else if (ch == ':' && !open.empty() && open.back() != kArray &&
                   ++open.back() > kMaxJsonNames) {
            throw bad("an object with more than " + std::to_string(kMaxJsonNames) + " names");
        }
    }
}

}  // namespace

nlohmann::ordered_json ReadJsonFile(const std::string& path) {
    if (const auto problem = posix::NotRegularFileProblem(path); !problem.empty()) {
        throw UsageError(path + ": cannot be read: " + problem);
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) throw UsageError(path + ": cannot be read");
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (!error && size > kMaxJsonFileBytes) {
        throw UsageError(path + ": " + std::to_string(size) + " bytes, more than the " +
                         std::to_string(kMaxJsonFileBytes) + " a JSON file may hold here");
    }
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string text = std::move(buffer).str();
    CheckJsonLimits(text, path);
    try {
        return nlohmann::ordered_json::parse(text);
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
            const auto& given = j["lower"];
            if (!given.is_number_integer() || given < std::numeric_limits<Long>::min() ||
                given > std::numeric_limits<Long>::max()) {
                throw UsageError(path +
                                 ": \"lower\" must be a whole number from -2147483648 "
                                 "to 2147483647");
            }
            lower = given.get<Long>();
        }
    }
    if (!items->is_array())
        throw UsageError(path + ": the tags must be a JSON array of tag objects");
    TagPosArray tags;
    try {
        tags.ReDim(lower,
                   SubLong(AddLong(lower, CheckedLong(static_cast<long long>(items->size()))), 1));
    } catch (const RuntimeError& e) {
        throw UsageError(path + ": \"lower\" " + std::to_string(lower) + " with " +
                         std::to_string(items->size()) +
                         " tags puts the upper bound beyond a Long (run-time error " +
                         std::to_string(e.Number()) + ": " + e.Description() + ")");
    }
    auto tag = tags.begin();
    for (std::size_t n = 1; n <= items->size(); ++n) {
        try {
            *tag++ = RecordFromJson<TagPos>((*items)[n - 1]);
        } catch (const std::invalid_argument& e) {
            throw UsageError(path + ": tag " + std::to_string(n) + ": " + e.what());
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

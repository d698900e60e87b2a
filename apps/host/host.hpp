// The reference host: plays the role of the CAD host's macros. It builds the
// library's platform (scripted dialogs, POSIX files, the embedded engines), calls an
// entry point and prints what came back as one JSON object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "adapters/scripted/scripted_ui.hpp"
#include "apps/lib/tbln.hpp"

namespace tbln::host {

using json = nlohmann::ordered_json;

// A bad command line or unreadable input: exit status 2 with a one-line error.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The options of a command as the command line gave them: values by option name (without
// "--"; a switch holds ""), a name may repeat.
class Options {
  public:
    void Add(const std::string& name, const std::string& value) { values_.emplace(name, value); }
    void AddPositional(const std::string& value) { positional_.push_back(value); }
    bool Has(const std::string& name) const { return values_.count(name) > 0; }
    const std::string& Get(const std::string& name) const;  // required
    std::string Get(const std::string& name, const std::string& fallback) const;
    // Every value of an option that may repeat, in order.
    std::vector<std::string> GetAll(const std::string& name) const;
    // A required option holding a 16-bit whole number.
    Integer GetInteger(const std::string& name) const;
    // The arguments given without an option name, in order.
    const std::vector<std::string>& Positional() const { return positional_; }

  private:
    std::multimap<std::string, std::string> values_;
    std::vector<std::string> positional_;
};

// The library's session as the host drives it: the commands queue their answers on the
// scripted user interface `ui`.
struct Host {
    // `root` as for Session. With `desktop`, the dialogs and the engines' choosers show on it for
    // real; the scripted answers the commands queue are then left unused.
    explicit Host(const std::string& root, ui::Ui* desktop = nullptr);

    scripted::ScriptedUi ui;
    Session session;
    sys::System& sys;
    ObjectServer& objects;
    Module& module;
    Application& app;

    // The message boxes shown on the desktop, in order, as (title, text): set by the desktop
    // that shows the dialogs, which outlives the host. Null: the scripted ones are the ones shown.
    const std::vector<std::pair<std::string, std::string>>* desktopMessages = nullptr;

    // The message boxes shown so far, as JSON, on whichever user interface shows them.
    nlohmann::ordered_json Messages() const;
};

// Limits on a JSON file the host reads (a tags file, an earlier capture): its size, how
// deep its values nest and how many names one object holds. A capture nests five deep,
// its records have fewer than fifty fields, and it prints some 400 bytes a cell: the
// largest import (four million cells) fits.
inline constexpr std::uintmax_t kMaxJsonFileBytes = std::uintmax_t{2} << 30;
inline constexpr std::size_t kMaxJsonDepth = 64;
inline constexpr std::size_t kMaxJsonNames = 128;

// Reads a JSON file; raises UsageError naming the file when it is missing, not a regular
// file, beyond the limits above (with the line) or not JSON.
nlohmann::ordered_json ReadJsonFile(const std::string& path);

// A tags file: a JSON array of TagPos objects (bounds 1 to n), or {"lower": L, "items": [...]}.
TagPosArray ReadTags(const std::string& path);

// Commands: each returns the JSON object to print.
nlohmann::ordered_json InsertBlockPopCommand(Host& host, const Options& options);
nlohmann::ordered_json CellsCommand(Host& host, const Options& options);
nlohmann::ordered_json ParseWordCommand(Host& host, const Options& options);
nlohmann::ordered_json UpdateWordCommand(Host& host, const Options& options);
nlohmann::ordered_json WordLinesCommand(Host& host, const Options& options);
// Prints the JSON of a Word import (CallParseWord, CallUpdateWord) to `to` with its lines
// written one at a time; returns AlreadyPrinted().
nlohmann::ordered_json PrintWordResult(std::ostream& to, const nlohmann::ordered_json& out,
                                       const WordLineArray& wordLines0);
// After a Word import that said the file is not a valid Word file: prints the document
// engine's reason on stderr, which the message leaves out.
void PrintWhyNotAWordFile(Host& host, const std::string& path);
nlohmann::ordered_json MakeBlockCommand(Host& host, const Options& options);
nlohmann::ordered_json InsertBlockCommand(Host& host, const Options& options);
nlohmann::ordered_json PopulateCommand(Host& host, const Options& options);
nlohmann::ordered_json ExportDgnNameCommand(Host& host, const Options& options);
nlohmann::ordered_json SetLucCommand(Host& host, const Options& options);
nlohmann::ordered_json SetTopMostWindowCommand(Host& host, const Options& options);
nlohmann::ordered_json BuildCellCommand(Host& host, const Options& options);
nlohmann::ordered_json DeepUpdateCommand(Host& host, const Options& options);

}  // namespace tbln::host

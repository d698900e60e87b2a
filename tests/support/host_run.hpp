// Runs the tbln program the way a user or a script does, with its install root and
// its stderr in a test's own folder.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "support/test_platform.hpp"

namespace tbln::testing {

struct HostRun {
    int status = -1;
    std::string out, err;
    nlohmann::json json;  // stdout as JSON when the run succeeded and printed JSON
};

// Runs `shellLine`, a shell command line that may name the program as $TBLN.
inline HostRun RunHostLine(const TempDir& dir, const std::string& shellLine) {
    const std::string errFile = dir / "stderr.txt";
    const std::string cmd =
        "TBLN=" + Quote(TBLN_HOST_BINARY) + "; " + shellLine + " 2>" + Quote(errFile);
    const auto [status, out] = RunCommand(cmd);
    HostRun run{status, out, ReadFile(errFile), {}};
    if (run.status == 0) run.json = nlohmann::json::parse(run.out, nullptr, false);
    return run;
}

inline HostRun RunHost(const TempDir& dir, const std::string& args) {
    return RunHostLine(dir, "$TBLN --root " + Quote(dir / "root") + " " + args);
}

}  // namespace tbln::testing

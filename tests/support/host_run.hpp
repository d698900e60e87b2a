// Runs the tbln program the way a user or a script does, with its install root and
// its stderr in a test's own folder.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>

#include "support/test_platform.hpp"

namespace tbln::testing {

// One word for the shell, quoted.
inline std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

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
    HostRun run;
    FILE* pipe = popen(cmd.c_str(), "r");
    std::array<char, 4096> buf{};
    while (std::size_t n = fread(buf.data(), 1, buf.size(), pipe)) run.out.append(buf.data(), n);
    const int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream e(errFile);
    run.err.assign(std::istreambuf_iterator<char>(e), std::istreambuf_iterator<char>());
    if (run.status == 0) run.json = nlohmann::json::parse(run.out, nullptr, false);
    return run;
}

inline HostRun RunHost(const TempDir& dir, const std::string& args) {
    return RunHostLine(dir, "$TBLN --root " + Quote(dir / "root") + " " + args);
}

}  // namespace tbln::testing

// The host's command line: help for the program and every command, and arguments refused
// with exit status 2 and one line on stderr before anything runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/host_run.hpp"

namespace tbln {
namespace {

using testing::TempDir;

TEST(HostCommandLine, HelpNamesEveryCommandAndItsOptions) {
    TempDir dir;
    struct Case {
        std::string args;
        std::vector<std::string> names;  // each must appear in the help
    } cases[] = {
        {"--help", {"--root", "--reader-timeout", "--gui", "build-cell", "deep-update", "cells"}},
        {"insert-block-pop --help", {"--file", "--sheet", "--row", "--col", "--tags"}},
        {"cells --help", {"FILE", "--sheet", "--range"}},
        {"parse-word --help", {"--file", "--dxf", "--pdf", "--svg", "--png", "--scale"}},
        {"update-word --help", {"--file"}},
        {"word-lines --help", {"--file"}},
        {"make-block --help", {"--file", "--sheet", "--tags", "--block-id", "--bind", "TAG=CELL"}},
        {"insert-block --help", {"--file", "--sheet", "--tags", "--block-id"}},
        {"populate --help",
         {"--first", "--second", "--last", "--template", "--output", "--format"}},
        {"export-dgn-name --help", {"--file", "--start", "--format", "DRAWING"}},
        {"set-luc --help", {"--file", "--cell", "--yes"}},
        {"set-top-most-window -h", {"--hwnd", "--topmost"}},
        {"build-cell --help", {"--file", "--sheet", "--range", "--dxf", "--scale"}},
        {"deep-update --help", {"--range", "--whole", "--since", "--svg"}},
        {"gui --help", {"--file"}},
    };
    for (const auto& c : cases) {
        const auto run = testing::RunHost(dir, c.args);
        EXPECT_EQ(run.status, 0) << c.args << "\n" << run.err;
        EXPECT_TRUE(run.err.empty()) << c.args << "\n" << run.err;
        const std::string command = c.args.substr(0, c.args.find(' '));
        if (command.rfind("-", 0) != 0) {
            EXPECT_NE(run.out.find("tbln " + command), std::string::npos) << run.out;
        }
        for (const auto& name : c.names) {
            EXPECT_NE(run.out.find(name), std::string::npos) << c.args << " lacks " << name;
        }
    }
}

TEST(HostCommandLine, BadArgumentsGiveOneLineAndStatusTwo) {
    TempDir dir;
    struct Case {
        std::string args, err;
    } cases[] = {
        {"build-cell --file a.xlsx --bogus", "--bogus"},
        {"build-cell", "--file is required"},
        {"build-cell --file", "--file"},
        {"build-cell --file a.xlsx --file b.xlsx", "--file"},
        {"no-such-command", "unknown command no-such-command"},
        {"--bogus cells a.xlsx", "unknown option --bogus"},
        {"", "name a COMMAND"},
        {"cells a.xlsx b.xlsx", "not expected: b.xlsx"},
        {"--reader-timeout soon cells a.xlsx", "--reader-timeout soon"},
        {"insert-block-pop --file a.xlsx --sheet S --row x --col 1 --tags t.json", "--row x"},
    };
    for (const auto& c : cases) {
        const auto run = testing::RunHost(dir, c.args);
        EXPECT_EQ(run.status, 2) << c.args;
        EXPECT_TRUE(run.out.empty()) << c.args << "\n" << run.out;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << c.args << "\n" << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << c.args << "\n" << run.err;
    }
}

}  // namespace
}  // namespace tbln

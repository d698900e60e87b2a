// tbln-reader run as run.bat runs it, in the reader folder, on workbooks made by an
// independent tool.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_platform.hpp"

namespace tbln {
namespace {

namespace fs = std::filesystem;
using testing::Quote;
using testing::ReadFile;
using testing::TempDir;

// The files the run left in the reader folder, sorted.
std::vector<std::string> Left(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) {
        if (e.is_regular_file()) names.push_back(e.path().filename());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ReaderProgram, FindsTheSheetLetterCaseAsideAndLeavesOnlyItsExchangeFiles) {
    const std::string book = std::string(TBLN_FIXTURES) + "/sheet_names.xlsx";
    const struct {
        std::string sheet;
        std::vector<std::string> left;
        std::string file, says;  // what the first line of file says
    } cases[] = {
        {"üBERSICHT", {"flag.txt", "output.txt"}, "output.txt", "2|=!2"},
        {"ωMEGA", {"flag.txt", "output.txt"}, "output.txt", "2|=!2"},
        {"Übersicht2", {"error.txt", "flag.txt"}, "error.txt", "no sheet named Übersicht2"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        fs::create_directories(dir / "JRE/bin");
        fs::create_directories(dir / "pics");
        const std::string command = "cd " + Quote(dir / "JRE/bin") + " && " +
                                    std::string(TBLN_READER_BINARY) + " -jar lumo.zip " +
                                    Quote(book) + " " + Quote(c.sheet) + " mervik";
        std::system(command.c_str());
        EXPECT_EQ(Left(fs::path(dir / "JRE/bin")), c.left) << c.sheet;
        const std::string text = ReadFile(fs::path(dir / "JRE/bin") / c.file);
        EXPECT_NE(text.substr(0, text.find('\n')).find(c.says), std::string::npos)
            << c.sheet << ": " << text;
    }
}

}  // namespace
}  // namespace tbln

// Host registration against hive files and customization files written in the test.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "adapters/posix/file_hive.hpp"
#include "installer/installer.hpp"
#include "installer/mod_registry.hpp"
#include "support/test_platform.hpp"

namespace tbln {
namespace {

using namespace installer;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// An install root with a marker file, a hive file and the installer wired to them.
struct Installation {
    explicit Installation(const std::string& hiveText, const std::string& marker = "2004") {
        WriteFile(dir / "root/acad/version.txt", marker);
        WriteFile(dir / "hive.reg", "Windows Registry Editor Version 5.00\r\n" + hiveText);
    }
    // Runs the installer on a freshly loaded hive and writes the rewritten files and the
    // hive as Tabulon does; returns the report.
    std::vector<std::string> Run() {
        posix::FileHive hive(dir / "hive.reg");
        lines.clear();
        InstallContext context{hive, sys, ui, [this](const std::string& l) { lines.push_back(l); }};
        started = InstallerStart(context);
        std::vector<std::pair<std::string, std::string>> files(context.files.begin(),
                                                               context.files.end());
        if (hive.Changed()) files.emplace_back(hive.Path(), hive.Text());
        posix::WriteFilesAtomically(files);
        return lines;
    }
    std::optional<std::string> Value(const std::string& key, const std::string& name) {
        posix::FileHive hive(dir / "hive.reg");
        const auto v = hive.QueryValue(key, name);
        return v ? std::optional(v->data) : std::nullopt;
    }
    std::vector<std::string> Names(const std::string& key) {
        posix::FileHive hive(dir / "hive.reg");
        return ListValueNames(hive, key);
    }

    TempDir dir;
    posix::PosixSystem sys{dir / "root"};
    scripted::ScriptedUi ui;
    std::vector<std::string> lines;
    bool started = false;
};

const std::string kR15 = R"(SOFTWARE\Autodesk\AutoCAD\R15.0\ACAD-1:409\Profiles\)";
const std::string kR16 = R"(SOFTWARE\Autodesk\AutoCAD\R16.2\ACAD-301:409\Profiles\)";

TEST(ModRegistry, ReadsOnlyStringsCutAtTheirFirstNul) {
    TempDir dir;
    posix::FileHive hive(WriteFile(dir / "hive.reg", R"(REGEDIT4
[HKEY_CURRENT_USER\K]
"Plain"="text"
"Nul"=hex(1):41,00,00,00,42,00
"Expand"=hex(2):41,00,00,00
"Number"=dword:00000001
)"));
    struct Case {
        const char* name;
        std::string expected;
    };
    for (const Case& c : {Case{"Plain", "text"}, Case{"nul", "A"}, Case{"Expand", kNoValue},
                          Case{"Number", kNoValue}, Case{"Missing", kNoValue}}) {
        EXPECT_EQ(ReadStringValue(hive, "K", c.name, kNoValue), c.expected) << c.name;
    }
    EXPECT_EQ(ReadStringValue(hive, "Nowhere", "Plain", "fallback"), "fallback");
}

TEST(ModRegistry, EnumerationsStopAtANameTheBufferCannotHold) {
    TempDir dir;
    posix::FileHive hive(dir / "hive.reg");
    struct Case {
        std::size_t length;
        bool listed;
    };
    for (const Case& c : {Case{kSubKeyNameBuffer - 1, true}, Case{kSubKeyNameBuffer, false}}) {
        const std::string key = "Keys" + std::to_string(c.length);
        hive.SetString(key + "\\first", "v", "d");
        hive.SetString(key + "\\" + std::string(c.length, 'k'), "v", "d");
        hive.SetString(key + "\\last", "v", "d");
        EXPECT_EQ(ListSubKeys(hive, key).size(), c.listed ? 3u : 1u) << c.length;
    }
    for (const Case& c : {Case{kValueNameBuffer - 1, true}, Case{kValueNameBuffer, false}}) {
        const std::string key = "Values" + std::to_string(c.length);
        hive.SetString(key, "first", "d");
        hive.SetString(key, std::string(c.length, 'v'), "d");
        hive.SetString(key, "last", "d");
        EXPECT_EQ(ListValueNames(hive, key).size(), c.listed ? 3u : 1u) << c.length;
    }
    EXPECT_TRUE(ListSubKeys(hive, "Nowhere").empty());
    EXPECT_TRUE(ListValueNames(hive, "Nowhere").empty());
}

TEST(MenuList, NextNumbersFollowTheLargestNumberInUse) {
    struct Case {
        std::vector<std::string> names;
        long group, pop;
    };
    const Case cases[] = {
        {{}, 1, 1},
        {{"Group1", "Group4", "Pop2", "Pop30"}, 5, 3},
        {{"GROUP7", "pop3"}, 8, 4},  // names compare without regard to case
        {{"Group", "GroupX", "Group2a", "Gro12", "Pop", "PopX"}, 1, 1},  // no number
        {{"Group99999999999", "Pop99999999999"}, 1, 1},                  // too long to count
        {{"Group0", "Pop20", "Pop21"}, 1, 21},
        {{"Grouping9", "Popup9", "Acad"}, 1, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NextGroupNumber(c.names), c.group) << ::testing::PrintToString(c.names);
        EXPECT_EQ(NextPopNumber(c.names), c.pop) << ::testing::PrintToString(c.names);
    }
}

TEST(MenuList, GroupAndPopAreMissingUnlessAValuePointsToTheSystem) {
    TempDir dir;
    posix::FileHive hive(dir / "hive.reg");
    struct Case {
        std::string name, data;
        bool groupMissing, popMissing;
    };
    const Case cases[] = {
        {"Group1", R"(Quorvex C:\Quorvex\acad\Quorvex)", false, true},
        {"group2", R"(x c:\quorvex\acad\other)", false, true},
        {"Group3", R"(Quorvex D:\Quorvex\acad\Quorvex)", true, true},
        {"Pop1", "QUORVEX pop1", true, false},
        {"POP2", "quorvex pop1", true, false},
        {"Toolbar1", R"(Quorvex C:\Quorvex\)", true, true},
    };
    for (const auto& c : cases) {
        const std::string key = "Menus" + c.name;
        hive.SetString(key, "Acad", "ACAD pop0");
        hive.SetString(key, c.name, c.data);
        const auto names = ListValueNames(hive, key);
        EXPECT_EQ(GroupMissing(hive, names, key), c.groupMissing) << c.name;
        EXPECT_EQ(PopMissing(hive, names, key), c.popMissing) << c.name;
    }
}

TEST(InstallerStart, TheMarkersFirstItemChoosesTheReleases) {
    struct Case {
        std::string text, item;
        std::vector<std::string> releases;
    };
    const std::vector<std::string> family = {"R16.0", "R16.1", "R16.2"};
    const Case cases[] = {
        {"2004", "2004", family},
        {"2004,R16\r\nmore", "2004", family},
        {"\"2004\",x", "2004", family},
        {"  2004  \r\n", "2004", family},
        {"\xEF\xBB\xBF"
         "2004\n",
         "2004", family},
        {"2002", "2002", {"R15.0"}},
        {",2004", "", {"R15.0"}},
        {"", "", {"R15.0"}},
        {"\r\n2004", "", {"R15.0"}},
        {"20041", "20041", {"R15.0"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FirstItem(c.text), c.item) << c.text;
        EXPECT_EQ(ReleasesFor(FirstItem(c.text)), c.releases) << c.text;
    }
}
TEST(RegisterRelease, EveryProfileOfEveryProductGetsFolderGroupAndPop) {
    const std::string r15 = "[HKEY_CURRENT_USER\\SOFTWARE\\Autodesk\\AutoCAD\\R15.0\\";
    Installation inst(
        r15 +
            "ACAD-1:409\\Profiles\\Plain\\General]\r\n"
            "\"ACAD\"=\"C:\\\\Program Files\\\\ACAD\\\\support\"\r\n" +
            r15 +
            "ACAD-1:409\\Profiles\\Plain\\Menus]\r\n"
            "\"Group1\"=\"ACAD C:\\\\ACAD\\\\acad\"\r\n\"Group4\"=\"EXPRESS C:\\\\ex\"\r\n"
            "\"Pop2\"=\"ACAD POP2\"\r\n\"Pop30\"=\"EXPRESS POP30\"\r\n" +
            // Already registered, the folder in another letter case.
            r15 +
            "ACAD-1:409\\Profiles\\Done\\General]\r\n"
            "\"ACAD\"=\"c:\\\\quorvex\\\\ACAD;C:\\\\x\"\r\n" +
            r15 +
            "ACAD-1:409\\Profiles\\Done\\Menus]\r\n"
            "\"Group2\"=\"QUORVEX c:\\\\quorvex\\\\acad\\\\quorvex\"\r\n"
            "\"Pop1\"=\"quorvex POP1\"\r\n" +
            // A second product; a profile with no support path and no Menus key.
            r15 + "ACAD-2:409\\Profiles\\Bare]\r\n" +
            // Pops 1 to 20 and 21 in use: the new pop must not overwrite Pop21.
            r15 + "ACAD-2:409\\Profiles\\Full\\Menus]\r\n" +
            [] {
                std::string s;
                for (int i = 1; i <= 21; ++i) {
                    s += "\"Pop" + std::to_string(i) + "\"=\"G POP" + std::to_string(i) + "\"\r\n";
                }
                return s;
            }() +
            // A release key with no products.
            "[HKEY_CURRENT_USER\\SOFTWARE\\Autodesk\\AutoCAD\\R16.0]\r\n",
        "R15");
    const std::string plain = kR15 + "Plain\\";
    const std::string bare = R"(SOFTWARE\Autodesk\AutoCAD\R15.0\ACAD-2:409\Profiles\Bare\)";
    const std::string full = R"(SOFTWARE\Autodesk\AutoCAD\R15.0\ACAD-2:409\Profiles\Full\)";
    const auto lines = inst.Run();
    EXPECT_EQ(inst.Value(plain + "General", "ACAD"),
              R"(C:\Quorvex\acad;C:\Program Files\ACAD\support)");
    EXPECT_EQ(inst.Value(plain + "Menus", "Group5"), R"(Quorvex C:\Quorvex\acad\Quorvex)");
    EXPECT_EQ(inst.Value(plain + "Menus", "Pop3"), "Quorvex pop1");
    EXPECT_EQ(inst.Names(kR15 + "Done\\Menus"), (std::vector<std::string>{"Group2", "Pop1"}));
    EXPECT_EQ(inst.Value(kR15 + "Done\\General", "ACAD"), R"(c:\quorvex\ACAD;C:\x)");
    EXPECT_EQ(inst.Value(bare + "General", "ACAD"), R"(C:\Quorvex\acad;)");
    EXPECT_EQ(inst.Value(bare + "Menus", "Group1"), R"(Quorvex C:\Quorvex\acad\Quorvex)");
    EXPECT_EQ(inst.Value(bare + "Menus", "Pop1"), "Quorvex pop1");
    EXPECT_EQ(inst.Value(full + "Menus", "Pop21"), "G POP21");
    EXPECT_EQ(inst.Value(full + "Menus", "Pop22"), "Quorvex pop1");
    EXPECT_EQ(lines.size(), 9u) << ::testing::PrintToString(lines);
    EXPECT_EQ(lines.front(), "set HKEY_CURRENT_USER\\" + plain +
                                 "General \"ACAD\" = \"C:\\Quorvex\\acad;C:\\Program "
                                 "Files\\ACAD\\support\"");

    // A second run changes nothing, byte for byte.
    const std::string after = ReadFile(inst.dir / "hive.reg");
    EXPECT_TRUE(inst.Run().empty());
    EXPECT_EQ(ReadFile(inst.dir / "hive.reg"), after);
}

// A support path stored as an expandable string keeps the user's folders and its type,
// written in hex as the hive file's own format writes it (UTF-16LE under the newer
// header, 8-bit characters under REGEDIT4); the rest of the file keeps its bytes. A
// path stored as a number or a list of strings is left alone and reported.
TEST(RegisterRelease, ASupportPathKeepsTheUsersFoldersAndItsType) {
    const std::string section = "[HKEY_CURRENT_USER\\" + kR15 + "P\\General]\r\n";
    const std::string menus =
        "\r\n[HKEY_CURRENT_USER\\" + kR15 +
        "P\\Menus]\r\n\"Group1\"=\"Quorvex C:\\\\Quorvex\\\\acad\\\\Quorvex\"\r\n"
        "\"Pop1\"=\"Quorvex pop1\"\r\n";
    struct Case {
        const char* what;
        std::string hive;   // the whole file
        std::string saved;  // the whole file after the run; empty: as it was
        std::string says;   // the one report line
    };
    const std::string set = "set HKEY_CURRENT_USER\\" + kR15 + "P\\General \"ACAD\" = ";
    const Case cases[] = {
        {"expandable string, newer header",
         "Windows Registry Editor Version 5.00\r\n\r\n; a user's profile\r\n" + section +
             "\"ACAD\"=hex(2):25,00,55,00,53,00,45,00,52,00,50,00,52,00,4f,00,46,00,49,00,4c,\\\r\n"
             "  00,45,00,25,00,5c,00,53,00,75,00,70,00,70,00,6f,00,72,00,74,00,00,00\r\n" +
             menus,
         "Windows Registry Editor Version 5.00\r\n\r\n; a user's profile\r\n" + section +
             "\"ACAD\"=hex(2):43,00,3a,00,5c,00,51,00,75,00,6f,00,72,00,76,00,65,00,78,00,5c,\\\r\n"
             "  00,61,00,63,00,61,00,64,00,3b,00,25,00,55,00,53,00,45,00,52,00,50,00,52,00,\\\r\n"
             "  4f,00,46,00,49,00,4c,00,45,00,25,00,5c,00,53,00,75,00,70,00,70,00,6f,00,72,\\\r\n"
             "  00,74,00,00,00\r\n" +
             menus,
         set + "\"C:\\Quorvex\\acad;%USERPROFILE%\\Support\" (expandable string)"},
        {"expandable string, REGEDIT4",
         "REGEDIT4\r\n\r\n" + section +
             "\"ACAD\"=hex(2):25,55,53,45,52,50,52,4f,46,49,4c,45,25,5c,53,75,70,70,6f,72,74,\\\r\n"
             "  00\r\n" +
             menus,
         "REGEDIT4\r\n\r\n" + section +
             "\"ACAD\"=hex(2):43,3a,5c,51,75,6f,72,76,65,78,5c,61,63,61,64,3b,25,55,53,45,52,\\\r\n"
             "  50,52,4f,46,49,4c,45,25,5c,53,75,70,70,6f,72,74,00\r\n" +
             menus,
         set + "\"C:\\Quorvex\\acad;%USERPROFILE%\\Support\" (expandable string)"},
        {"already there, REGEDIT4",
         "REGEDIT4\r\n\r\n" + section +
             "\"ACAD\"=hex(2):63,3a,5c,71,75,6f,72,76,65,78,5c,61,63,61,64,00\r\n" + menus,
         "", ""},
        {"a number", "REGEDIT4\r\n\r\n" + section + "\"ACAD\"=dword:00000001\r\n" + menus, "",
         "left unchanged: HKEY_CURRENT_USER\\" + kR15 +
             "P\\General \"ACAD\" is a value of type 4, not a string; add C:\\Quorvex\\acad to "
             "the profile's support path by hand"},
        {"a list of strings",
         "Windows Registry Editor Version 5.00\r\n\r\n" + section +
             "\"ACAD\"=hex(7):43,00,3a,00,5c,00,41,00,00,00,00,00\r\n" + menus,
         "",
         "left unchanged: HKEY_CURRENT_USER\\" + kR15 + "P\\General \"ACAD\" is a value of type 7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Installation inst("", "2002");
        WriteFile(inst.dir / "hive.reg", c.hive);
        const auto lines = inst.Run();
        EXPECT_EQ(ReadFile(inst.dir / "hive.reg"), c.saved.empty() ? c.hive : c.saved);
        if (c.says.empty()) {
            EXPECT_TRUE(lines.empty()) << ::testing::PrintToString(lines);
        } else {
            ASSERT_EQ(lines.size(), 1u) << ::testing::PrintToString(lines);
            EXPECT_EQ(lines[0].substr(0, c.says.size()), c.says);
        }
        // A second run changes nothing.
        const std::string after = ReadFile(inst.dir / "hive.reg");
        inst.Run();
        EXPECT_EQ(ReadFile(inst.dir / "hive.reg"), after);
    }
}

// The R16.2 profile whose main customization file is at `cui` (without ".cui").
std::string R162Profile(const std::string& cui) {
    std::string escaped;
    for (char c : cui) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return "[HKEY_CURRENT_USER\\" + kR16 + "P\\General Configuration]\r\n\"MenuFile\"=\"" +
           escaped + "\"\r\n[HKEY_CURRENT_USER\\" + kR16 +
           "P\\Menus]\r\n\"Pop1\"=\"ACAD POP1\"\r\n";
}

TEST(PartialMenu, GoesBeforeEveryCommonItemsLineKeepingEveryOtherByte) {
    TempDir cuiDir;
    const std::string cui = cuiDir / "acad";
    Installation inst(R162Profile(cui));
    // A byte order mark, non-ASCII text, LF-only and CR LF lines, no final line end.
    WriteFile(cui + ".cui",
              "\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n<CustSection>\n  <Name>Gr\xC3\xBC\xC3\x9F"
              "e</Name>\r\n  <commonitems/>\r\n  </CommonItems>\r\n  <X>/COMMONITEMS</X>\r\n"
              "</CustSection>");
    const auto lines = inst.Run();
    const std::string partial =
        "        <PartialMenuFile>c:\\quorvex\\acad\\quorvex.cui</PartialMenuFile>\r\n";
    EXPECT_EQ(ReadFile(cui + ".cui"),
              "\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n<CustSection>\r\n  <Name>Gr\xC3\xBC\xC3\x9F"
              "e</Name>\r\n  <commonitems/>\r\n" +
                  partial + "  </CommonItems>\r\n" + partial +
                  "  <X>/COMMONITEMS</X>\r\n</CustSection>\r\n");
    EXPECT_EQ(lines,
              (std::vector<std::string>{
                  "set HKEY_CURRENT_USER\\" + kR16 + "P\\General \"ACAD\" = \"C:\\Quorvex\\acad;\"",
                  "rewrote " + cui +
                      ".cui: partial menu added before 2 lines containing \"/CommonItems\"",
                  "set HKEY_CURRENT_USER\\" + kR16 + "P\\Menus \"Pop2\" = \"QUORVEX pop1\"",
              }));
    // R16.2 registers no menu group.
    EXPECT_EQ(inst.Names(kR16 + "P\\Menus"), (std::vector<std::string>{"Pop1", "Pop2"}));

    const std::string cuiAfter = ReadFile(cui + ".cui");
    const std::string hiveAfter = ReadFile(inst.dir / "hive.reg");
    EXPECT_TRUE(inst.Run().empty());
    EXPECT_EQ(ReadFile(cui + ".cui"), cuiAfter);
    EXPECT_EQ(ReadFile(inst.dir / "hive.reg"), hiveAfter);
}

// Stands for a customization file that is a FIFO.
const std::string kFifo = "<fifo>";

TEST(PartialMenu, FilesThatCannotTakeItAreLeftUnchangedAndReported) {
    struct Case {
        const char* what;
        std::string content;  // empty: no file
        const char* says;     // the report line's reason; empty: nothing reported
    };
    const Case cases[] = {
        {"already named", "<a>\r\n<X>C:\\Quorvex\\Acad\\QUORVEX.CUI</X>\n</CommonItems>\n", ""},
        {"missing", "", ": cannot be read (File not found: "},
        {"no CommonItems", "<a>\n</b>\n", ": no line contains \"/CommonItems\""},
        {"a FIFO", kFifo, ": cannot be read (Path/File access error: "},
    };
    for (const auto& c : cases) {
        TempDir cuiDir;
        const std::string cui = cuiDir / "acad";
        Installation inst(R162Profile(cui));
        std::thread writer;
        if (c.content == kFifo) {
            ASSERT_EQ(mkfifo((cui + ".cui").c_str(), 0600), 0);
            // Should the FIFO be opened, a writer comes and goes, so that the run ends
            // (and fails) instead of waiting for ever.
            writer = std::thread([path = cui + ".cui"] {
                for (int i = 0; i < 20; ++i) {
                    const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK);
                    if (fd >= 0) return static_cast<void>(close(fd));
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                }
            });
        } else if (!c.content.empty()) {
            WriteFile(cui + ".cui", c.content);
        }
        const auto lines = inst.Run();
        if (writer.joinable()) writer.join();
        ASSERT_EQ(lines.size(), std::string(c.says).empty() ? 2u : 3u) << c.what;
        if (*c.says) {
            EXPECT_EQ(lines[1].rfind("left unchanged " + cui + ".cui" + c.says, 0), 0u) << lines[1];
        }
        if (c.content.empty()) {
            EXPECT_FALSE(std::filesystem::exists(cui + ".cui"));
        } else if (c.content != kFifo) {
            EXPECT_EQ(ReadFile(cui + ".cui"), c.content) << c.what;
        }
    }
}

TEST(PartialMenu, AProfileWithoutAMenuFileNamesNoFile) {
    Installation inst("[HKEY_CURRENT_USER\\" + kR16 + "P\\Menus]\r\n");
    // A file named after the missing-value text must never be touched.
    WriteFile(inst.dir / "No Value.cui", "</CommonItems>\n");
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(inst.dir.Path());
    const auto lines = inst.Run();
    std::filesystem::current_path(cwd);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[1].find("has no \"MenuFile\" value"), std::string::npos) << lines[1];
    EXPECT_EQ(ReadFile(inst.dir / "No Value.cui"), "</CommonItems>\n");
}

}  // namespace
}  // namespace tbln

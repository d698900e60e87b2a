// The file-backed hive: reading and writing the registry export format, and refusing
// malformed files with the line at fault.
#include "adapters/posix/file_hive.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/error.hpp"
#include "support/test_platform.hpp"

namespace tbln {
namespace {

using posix::FileHive;
using posix::HiveFileError;
using testing::TempDir;

std::string Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Lines joined with CR LF, as the export format writes them.
std::string Crlf(std::initializer_list<const char*> lines) {
    std::string out;
    for (const char* l : lines) out += std::string(l) + "\r\n";
    return out;
}

const std::string kProfiles = R"(HKEY_CURRENT_USER\SOFTWARE\Autodesk\AutoCAD\R15.0\ACAD-1:409)";

TEST(FileHive, ReadsValuesKeysAndEscapesWithoutRegardToLetterCase) {
    TempDir dir;
    FileHive hive(Write(dir / "hive.reg", Crlf({
                                              "Windows Registry Editor Version 5.00",
                                              "",
                                              "; a comment",
                                              R"([HKEY_CURRENT_USER\Software\Zeta\B])",
                                              R"("Path"="C:\\Quorvex\\acad;\"quoted\"")",
                                              R"(@="default")",
                                              "",
                                              R"([HKEY_CURRENT_USER\Software\Alpha])",
                                              R"("Count"=dword:0000002a)",
                                              R"("Wide"=hex(1):41,00,42,00,00,00,43,00)",
                                              R"("Bytes"=hex:01,02,\)",
                                              "  03,04",
                                          })));
    const auto path = hive.QueryValue(R"(SOFTWARE\zeta\b)", "PATH");
    ASSERT_TRUE(path);
    EXPECT_EQ(path->type, registry::REG_SZ);
    EXPECT_EQ(path->data, R"(C:\Quorvex\acad;"quoted")");
    EXPECT_EQ(hive.QueryValue(R"(Software\Zeta\B)", "")->data, "default");
    EXPECT_EQ(hive.QueryValue(R"(Software\Alpha)", "count")->type, registry::REG_DWORD);
    EXPECT_EQ(hive.QueryValue(R"(Software\Alpha)", "count")->data, std::string("\x2a\0\0\0", 4));
    EXPECT_EQ(hive.QueryValue(R"(Software\Alpha)", "Wide")->data, std::string("AB\0C", 4));
    EXPECT_EQ(hive.QueryValue(R"(Software\Alpha)", "Bytes")->data, "\x01\x02\x03\x04");
    EXPECT_FALSE(hive.QueryValue(R"(Software\Alpha)", "Missing"));
    EXPECT_FALSE(hive.QueryValue(R"(Software\Nowhere)", "Path"));
    EXPECT_FALSE(hive.QueryValue(R"(Software\\Alpha)", "Count"));

    // Keys enumerate in the order they were created; the keys above a section exist.
    EXPECT_EQ(hive.SubKeyAt("", 0), "Software");
    EXPECT_EQ(hive.SubKeyAt("software", 0), "Zeta");
    EXPECT_EQ(hive.SubKeyAt("software", 1), "Alpha");
    EXPECT_FALSE(hive.SubKeyAt("software", 2));
    EXPECT_EQ(hive.ValueNameAt(R"(Software\Zeta\B)", 0), "Path");
    EXPECT_EQ(hive.ValueNameAt(R"(Software\Zeta\B)", 1), "");
    EXPECT_FALSE(hive.ValueNameAt(R"(Software\Zeta\B)", 2));
    EXPECT_FALSE(hive.ValueNameAt(R"(Software\Nowhere)", 0));
}

TEST(FileHive, WritesWhatItReadsAndKeepsOtherValueTypesAsWritten) {
    TempDir dir;
    const std::string text = Crlf({
        "Windows Registry Editor Version 5.00",
        "",
        R"([HKEY_CURRENT_USER\A])",
        R"("S"="x\\y\"z")",
        R"("D"=dword:FFFFFFFF)",
        R"("H"=hex(2):25,00,\)",
        "  00,00",
        "",
        R"([HKEY_CURRENT_USER\A\B])",
        "",
    });
    const auto path = Write(dir / "hive.reg", text);
    FileHive hive(path);
    EXPECT_EQ(hive.Text(), text);

    // A new value goes after the existing ones, a new key after its siblings; the file
    // is saved at once.
    hive.SetString(R"(a\C\D)", "New", R"(C:\Quorvex\)");
    hive.SetString("A", "s", "replaced");
    EXPECT_EQ(Read(path), Crlf({
                              "Windows Registry Editor Version 5.00",
                              "",
                              R"([HKEY_CURRENT_USER\A])",
                              R"("S"="replaced")",
                              R"("D"=dword:FFFFFFFF)",
                              R"("H"=hex(2):25,00,\)",
                              "  00,00",
                              "",
                              R"([HKEY_CURRENT_USER\A\B])",
                              "",
                              R"([HKEY_CURRENT_USER\A\C])",
                              "",
                              R"([HKEY_CURRENT_USER\A\C\D])",
                              R"("New"="C:\\Quorvex\\")",
                              "",
                          }));
    FileHive again(path);
    EXPECT_EQ(again.Text(), Read(path));
    EXPECT_EQ(again.QueryValue(R"(A\C\D)", "new")->data, R"(C:\Quorvex\)");
}

TEST(FileHive, AMissingFileIsAnEmptyHiveAndADryRunWritesNothing) {
    TempDir dir;
    {
        FileHive dry(dir / "hive.reg", false);
        EXPECT_FALSE(dry.SubKeyAt("", 0));
        dry.SetString("K", "V", "data");
        EXPECT_EQ(dry.QueryValue("K", "V")->data, "data");
        EXPECT_FALSE(std::filesystem::exists(dir / "hive.reg"));
    }
    FileHive hive(dir / "hive.reg");
    hive.SetString("K", "V", "data");
    EXPECT_EQ(Read(dir / "hive.reg"), Crlf({"Windows Registry Editor Version 5.00", "",
                                            R"([HKEY_CURRENT_USER\K])", R"("V"="data")", ""}));
    // Both line-end styles and the old header read the same.
    Write(dir / "lf.reg", "REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"V\"=\"data\"");
    EXPECT_EQ(FileHive(dir / "lf.reg").Text(), Read(dir / "hive.reg"));
}

TEST(FileHive, ChangesThatCannotBeSavedRaiseAndSayWhy) {
    TempDir dir;
    struct Case {
        std::string path, key, name, data, says;
    };
    const auto readOnly = Write(dir / "read-only.reg", "REGEDIT4\r\n");
    chmod(readOnly.c_str(), 0444);
    const Case cases[] = {
        {dir / "missing/hive.reg", "K", "V", "d", dir / "missing/hive.reg"},
        {readOnly, "K", "V", "d", readOnly + " (the file is read-only)"},
        {dir / "hive.reg", "K", "V", "a\r\nb", "line break"},
        {dir / "hive.reg", "K", "V\n", "d", "line break"},
        {dir / "hive.reg", R"(K\\L)", "V", "d", "empty part"},
    };
    for (const auto& c : cases) {
        FileHive hive(c.path);
        try {
            hive.SetString(c.key, c.name, c.data);
            ADD_FAILURE() << c.says << ": no error";
        } catch (const RuntimeError& e) {
            EXPECT_NE(e.Description().find(c.says), std::string::npos) << e.Description();
        }
    }
    EXPECT_EQ(Read(readOnly), "REGEDIT4\r\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "hive.reg"));
}

TEST(FileHive, AMalformedFileIsRefusedWithTheLineAtFault) {
    TempDir dir;
    struct Case {
        std::string text;
        std::size_t line;
        const char* says;
    };
    const std::string h = "Windows Registry Editor Version 5.00\r\n";
    const Case cases[] = {
        {"Windows Registry Editor\r\n", 1, "first line"},
        {"\xFF\xFEW\0i\0", 1, "UTF-16"},
        {h + "[HKEY_CURRENT_USER\\A\r\n", 2, "\"]\""},
        {h + "\r\n[HKEY_LOCAL_MACHINE\\A]\r\n", 3, "HKEY_CURRENT_USER"},
        {h + "[HKEY_CURRENT_USERS\\A]\r\n", 2, "HKEY_CURRENT_USER"},
        {h + "[-HKEY_CURRENT_USER\\A]\r\n", 2, "deletion"},
        {h + "[HKEY_CURRENT_USER\\A\\\\B]\r\n", 2, "empty part"},
        {h + "[HKEY_CURRENT_USER\\]\r\n", 2, "empty part"},
        {h + "\"V\"=\"d\"\r\n", 2, "before the first key"},
        {h + "[HKEY_CURRENT_USER\\A]\r\nV=\"d\"\r\n", 3, "quoted name"},
        {h + "[HKEY_CURRENT_USER\\A]\r\n\"V\" \"d\"\r\n", 3, "\"=\""},
        {h + "[HKEY_CURRENT_USER\\A]\r\n\"V\"=\r\n", 3, "no data"},
        {h + "[HKEY_CURRENT_USER\\A]\r\n\"V\"=\"C:\\Quorvex\"\r\n", 3, "escape"},
        {h + "[HKEY_CURRENT_USER\\A]\r\n\"V\"=\"open\r\n", 3, "closing quote"},
        {h + "[HKEY_CURRENT_USER\\A]\r\n\"V\"=\"a\"b\r\n", 3, "after the closing quote"},
        {h + "[HKEY_CURRENT_USER\\A]\r\n\"V\"=-\r\n", 3, "deletion"},
        {h + "[HKEY_CURRENT_USER\\A]\r\n\"V\"=dword:12\r\n", 3, "eight"},
        {h + "[HKEY_CURRENT_USER\\A]\r\n\"V\"=hex(x):00\r\n", 3, "hex(N)"},
        {h + "[HKEY_CURRENT_USER\\A]\r\n\"V\"=hex:01,\\\r\n 02,zz\r\n", 4, "\"zz\""},
        {h + "[HKEY_CURRENT_USER\\A]\r\n\"V\"=hex:01,\\\r\n", 3, "end of the file"},
        {h + "[HKEY_CURRENT_USER\\A]\r\n\"V\"=text\r\n", 3, "quoted string"},
    };
    for (const auto& c : cases) {
        const auto path = Write(dir / "bad.reg", c.text);
        try {
            FileHive hive(path);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const HiveFileError& e) {
            EXPECT_EQ(e.File(), path);
            EXPECT_EQ(e.Line(), c.line) << e.what();
            EXPECT_NE(e.Description().find(c.says), std::string::npos) << e.what();
            EXPECT_EQ(std::string(e.what()).rfind(path + ":" + std::to_string(c.line) + ": ", 0),
                      0u);
        }
        // The file at fault is never reset.
        EXPECT_EQ(Read(path), c.text);
    }
}

TEST(FileHive, EveryTruncationEitherReadsOrNamesALineWithinWhatIsLeft) {
    TempDir dir;
    const std::string text = Crlf({
        "Windows Registry Editor Version 5.00",
        "",
        R"([HKEY_CURRENT_USER\SOFTWARE\Autodesk\AutoCAD\R16.2\ACAD-301:409\Profiles\P\Menus])",
        R"("Group1"="ACAD C:\\Program Files\\acad")",
        R"("Pop1"="ACAD POP1")",
        R"("Bin"=hex:00,01,\)",
        "  02",
        R"(@=dword:00000001)",
    });
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        const std::string part = text.substr(0, cut);
        const auto path = Write(dir / "cut.reg", part);
        const auto lines = static_cast<std::size_t>(std::count(part.begin(), part.end(), '\n')) + 1;
        try {
            FileHive hive(path);
        } catch (const HiveFileError& e) {
            EXPECT_GE(e.Line(), 1u) << "cut at " << cut;
            EXPECT_LE(e.Line(), lines) << "cut at " << cut << ": " << e.what();
        }
    }
}

}  // namespace
}  // namespace tbln

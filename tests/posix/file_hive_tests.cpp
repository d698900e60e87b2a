// The file-backed hive: reading and writing the registry export format, and refusing
// malformed files with the line at fault.
#include "adapters/posix/file_hive.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "core/error.hpp"
#include "support/test_platform.hpp"

namespace tbln {
namespace {

using posix::FileHive;
using posix::HiveFileError;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// Lines joined with CR LF, as the export format writes them.
std::string Crlf(std::initializer_list<const char*> lines) {
    std::string out;
    for (const char* l : lines) out += std::string(l) + "\r\n";
    return out;
}

const std::string kProfiles = R"(HKEY_CURRENT_USER\SOFTWARE\Autodesk\AutoCAD\R15.0\ACAD-1:409)";

TEST(FileHive, ReadsValuesKeysAndEscapesWithoutRegardToLetterCase) {
    TempDir dir;
    FileHive hive(WriteFile(dir / "hive.reg", Crlf({
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
    const auto path = WriteFile(dir / "hive.reg", text);
    FileHive hive(path);
    EXPECT_EQ(hive.Text(), text);

    // A changed value keeps its place and the spelling of its name, a new key's
    // section goes at the end; nothing is written before Save.
    hive.SetString(R"(a\C\D)", "New", R"(C:\Quorvex\)");
    hive.SetString("A", "s", "replaced");
    EXPECT_EQ(ReadFile(path), text);
    hive.Save();
    EXPECT_EQ(ReadFile(path), Crlf({
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
    EXPECT_EQ(again.Text(), ReadFile(path));
    EXPECT_EQ(again.QueryValue(R"(A\C\D)", "new")->data, R"(C:\Quorvex\)");
}

TEST(FileHive, AMissingFileIsAnEmptyHiveWrittenOnlyBySave) {
    TempDir dir;
    FileHive hive(dir / "hive.reg");
    EXPECT_FALSE(hive.SubKeyAt("", 0));
    hive.SetString("K", "V", "data");
    EXPECT_EQ(hive.QueryValue("K", "V")->data, "data");
    EXPECT_FALSE(std::filesystem::exists(dir / "hive.reg"));
    hive.Save();
    EXPECT_EQ(ReadFile(dir / "hive.reg"), Crlf({"Windows Registry Editor Version 5.00", "",
                                                R"([HKEY_CURRENT_USER\K])", R"("V"="data")", ""}));
    // LF line ends and the old header read the same, and stay as they are.
    const std::string lf = "REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"V\"=\"data\"";
    FileHive old(WriteFile(dir / "lf.reg", lf));
    EXPECT_EQ(old.QueryValue("k", "v")->data, "data");
    EXPECT_EQ(old.Text(), lf);
    old.SetString("K", "W", "more");
    EXPECT_EQ(old.Text(), "REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"V\"=\"data\"\n\"W\"=\"more\"\n");
}

// Two programs changing one hive at once: the second waits on the lock from before it
// reads until the first has written its changes.
TEST(FileHive, TheLockIsHeldUntilItIsDestroyed) {
    TempDir dir;
    const std::string path = dir / "hive.reg";
    const auto anotherGetsTheLock = [&] {
        const int fd = open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        const bool got = flock(fd, LOCK_EX | LOCK_NB) == 0;
        close(fd);
        return got;
    };
    {
        const posix::HiveFileLock lock(path);
        EXPECT_FALSE(anotherGetsTheLock());
    }
    EXPECT_TRUE(anotherGetsTheLock());
}

TEST(FileHive, ChangesThatCannotBeSavedRaiseAndSayWhy) {
    TempDir dir;
    struct Case {
        std::string path, key, name, data, says;
    };
    const auto readOnly = WriteFile(dir / "read-only.reg", "REGEDIT4\r\n");
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
            hive.Save();
            ADD_FAILURE() << c.says << ": no error";
        } catch (const RuntimeError& e) {
            EXPECT_NE(e.Description().find(c.says), std::string::npos) << e.Description();
        }
    }
    EXPECT_EQ(ReadFile(readOnly), "REGEDIT4\r\n");
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
        const auto path = WriteFile(dir / "bad.reg", c.text);
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
        EXPECT_EQ(ReadFile(path), c.text);
    }
}

// Exports as the registry editor writes them, in both formats: comments, blank lines,
// spacing, a key given twice, sections out of tree order and wrapped hex data. A change
// replaces the changed value's lines only; every other line comes out as it went in.
TEST(FileHive, UntouchedLinesComeOutAsTheyWentInUnderEitherHeader) {
    TempDir dir;
    struct Case {
        const char* what;
        std::string text;
        std::string expandData;  // what the hex(2) value "Path" reads as
        std::string saved;       // the file once "Path" and a new value are set
    };
    const std::string k = "[HKEY_CURRENT_USER\\Software\\Vendor";
    // "C:\Müller;%TEMP%" as the registry editor stores an expandable string: under
    // REGEDIT4 as 8-bit characters (Windows-1252), under the newer header as UTF-16LE.
    const Case cases[] = {
        {"REGEDIT4",
         "REGEDIT4\r\n\r\n; exported by hand\r\n" + k + "\\B]\r\n\"Old\" = \"kept as spaced\"\r\n" +
             "\"Path\"=hex(2):43,3a,5c,4d,fc,6c,6c,65,72,3b,25,54,45,4d,50,25,00\r\n\r\n" + k +
             "]\r\n;; the parent comes after its child\r\n@=\"root\"\r\n\r\n" + k +
             "\\B]\r\n\"Wide\"=hex(1):41,42,00\r\n",
         std::string("C:\\M\xFCller;%TEMP%\0", 17),
         "REGEDIT4\r\n\r\n; exported by hand\r\n" + k + "\\B]\r\n\"Old\" = \"kept as spaced\"\r\n" +
             "\"Path\"=hex(2):41,3b,43,3a,5c,4d,fc,6c,6c,65,72,3b,25,54,45,4d,50,25,00\r\n\r\n" +
             k + "]\r\n;; the parent comes after its child\r\n@=\"root\"\r\n\r\n" + k +
             "\\B]\r\n\"Wide\"=hex(1):41,42,00\r\n\"New\"=\"n\"\r\n"},
        {"Windows Registry Editor Version 5.00",
         "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n\n" + k +
             "\\B]\n\"Path\"=hex(2):43,00,3a,00,5c,00,4d,00,fc,00,6c,00,6c,00,65,00,72,00,3b,00,"
             "25,\\\n  00,54,00,45,00,4d,00,50,00,25,00,00,00\n; trailing comment\n",
         std::string("C:\\M\xC3\xBCller;%TEMP%\0", 18),
         "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n\n" + k +
             "\\B]\n\"Path\"=hex(2):41,00,3b,00,43,00,3a,00,5c,00,4d,00,fc,00,6c,00,6c,00,65,00,"
             "72,\\\n  00,3b,00,25,00,54,00,45,00,4d,00,50,00,25,00,00,00\n\"New\"=\"n\"\n"
             "; trailing comment\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto path = WriteFile(dir / "export.reg", c.text);
        FileHive hive(path);
        EXPECT_EQ(hive.Text(), c.text);
        const auto value = hive.QueryValue(R"(Software\Vendor\B)", "path");
        ASSERT_TRUE(value);
        EXPECT_EQ(value->type, registry::REG_EXPAND_SZ);
        EXPECT_EQ(value->data, c.expandData);
        const std::string data = value->data.substr(0, value->data.find('\0'));
        hive.SetString(R"(Software\Vendor\B)", "Path", "A;" + data, registry::REG_EXPAND_SZ);
        hive.SetString(R"(Software\Vendor\B)", "New", "n");
        hive.Save();
        EXPECT_EQ(ReadFile(path), c.saved);
        EXPECT_EQ(FileHive(path).QueryValue(R"(Software\Vendor\B)", "Path")->data,
                  "A;" + data + std::string(1, '\0'));
    }
}

// The keys are kept flat and found through indexes: a key far deeper than any stack
// could recurse through is read, changed and written.
TEST(FileHive, AKeyFiftyThousandLevelsDeepIsReadAndWritten) {
    TempDir dir;
    constexpr int kDepth = 50000;
    std::string key = "K";
    for (int i = 1; i < kDepth; ++i) key += "\\K";
    const auto path = WriteFile(
        dir / "deep.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + key + "]\r\n\"V\"=\"deep\"\r\n");
    {
        FileHive hive(path);
        EXPECT_EQ(hive.QueryValue(key, "v")->data, "deep");
        hive.SetString(key + "\\Deeper", "W", "deeper");
        hive.Save();
    }
    FileHive again(path);
    EXPECT_EQ(again.QueryValue(key + "\\deeper", "W")->data, "deeper");
    EXPECT_EQ(again.SubKeyAt(key, 0), "Deeper");
}

TEST(FileHive, WhatIsNotARegularFileIsRefusedWithoutReadingIt) {
    TempDir dir;
    const std::string fifo = dir / "fifo.reg";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {std::string("/dev/zero"), fifo}) {
        try {
            FileHive hive(path);
            ADD_FAILURE() << path << " accepted";
        } catch (const HiveFileError& e) {
            EXPECT_EQ(e.what(), path + ":0: is not a regular file");
        }
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
        const auto path = WriteFile(dir / "cut.reg", part);
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

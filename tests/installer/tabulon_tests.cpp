// Tabulon run as a program on an install root laid out as shipped, the way a user runs it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "adapters/posix/posix_system.hpp"
#include "support/test_platform.hpp"

namespace tbln {
namespace {

using testing::Quote;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;
namespace fs = std::filesystem;

struct Run {
    int status = -1;
    std::string out, err;
};

// A path as a quoted string of the export format.
std::string Escaped(const std::string& path) {
    std::string out;
    for (char c : path) out += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return out;
}

Run Tabulon(const TempDir& dir, const std::string& args) {
    const std::string errFile = dir / "stderr.txt";
    // A run that hangs is ended and fails the test.
    const std::string cmd =
        "timeout 60 " + std::string(TABULON_BINARY) + " " + args + " 2>" + Quote(errFile);
    const auto [status, out] = testing::RunCommand(cmd);
    return {status, out, ReadFile(errFile)};
}

// An install root with the shipped acad folder, and a hive with several releases,
// products and profiles: two R16.2 profiles share one customization file.
struct Machine {
    Machine() {
        fs::create_directories(dir / "root");
        fs::copy(std::string(TBLN_SOURCE_DIR) + "/install/acad", dir / "root/acad");
        const std::string cui = dir / "Support/acad";
        const std::string k = "[HKEY_CURRENT_USER\\SOFTWARE\\Autodesk\\AutoCAD\\";
        WriteFile(dir / "root/registry/current_user.reg",
                  "Windows Registry Editor Version 5.00\r\n\r\n" + k +
                      "R15.0\\ACAD-1:409\\Profiles\\Old\\General]\r\n\"ACAD\"=\"C:\\\\A\"\r\n" + k +
                      "R16.0\\ACAD-201:409\\Profiles\\<<Unnamed Profile>>\\General]\r\n"
                      "\"ACAD\"=\"C:\\\\B;C:\\\\C\"\r\n" +
                      k +
                      "R16.0\\ACAD-201:409\\Profiles\\<<Unnamed Profile>>\\Menus]\r\n"
                      "\"Group1\"=\"ACAD acad\"\r\n\"Pop1\"=\"ACAD POP1\"\r\n" +
                      k +
                      "R16.0\\ACAD-201:409\\Profiles\\Drafting\\General]\r\n"
                      "\"ACAD\"=\"C:\\\\QUORVEX\\\\ACAD;C:\\\\B\"\r\n" +
                      k +
                      "R16.1\\ACAD-202:409\\Profiles\\Only\\Menus]\r\n"
                      "\"Group3\"=\"ACAD acad\"\r\n\"Pop12\"=\"ACAD POP12\"\r\n" +
                      k + "R16.1\\ACAD-203:409\\Profiles]\r\n" + k +
                      "R16.2\\ACAD-301:409\\Profiles\\A\\General Configuration]\r\n"
                      "\"MenuFile\"=\"" +
                      cui + "\"\r\n" + k +
                      "R16.2\\ACAD-301:409\\Profiles\\B\\General Configuration]\r\n"
                      "\"MenuFile\"=\"" +
                      cui + "\"\r\n");
        WriteFile(cui + ".cui",
                  "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<CustSection>\r\n"
                  "  <MenuGroup Name=\"ACAD\"/>\r\n  </CommonItems>\r\n</CustSection>\r\n");
    }
    std::string Args(const std::string& extra = "") const {
        return "--root " + Quote(dir / "root") + " " + extra;
    }
    std::string HiveText() const { return ReadFile(dir / "root/registry/current_user.reg"); }
    std::string CuiText() const { return ReadFile(dir / "Support/acad.cui"); }

    TempDir dir;
};

TEST(Tabulon, RegistersEveryProfileOnceAndASecondRunChangesNothing) {
    Machine m;
    const std::string cui = m.dir / "Support/acad.cui";
    const std::string k = "set HKEY_CURRENT_USER\\SOFTWARE\\Autodesk\\AutoCAD\\";
    const std::string expected =
        k +
        "R16.0\\ACAD-201:409\\Profiles\\<<Unnamed Profile>>\\General \"ACAD\" = "
        "\"C:\\Quorvex\\acad;C:\\B;C:\\C\"\n" +
        k +
        "R16.0\\ACAD-201:409\\Profiles\\<<Unnamed Profile>>\\Menus \"Group2\" = "
        "\"Quorvex C:\\Quorvex\\acad\\Quorvex\"\n" +
        k +
        "R16.0\\ACAD-201:409\\Profiles\\<<Unnamed Profile>>\\Menus \"Pop2\" = "
        "\"Quorvex pop1\"\n" +
        k +
        "R16.0\\ACAD-201:409\\Profiles\\Drafting\\Menus \"Group1\" = "
        "\"Quorvex C:\\Quorvex\\acad\\Quorvex\"\n" +
        k + "R16.0\\ACAD-201:409\\Profiles\\Drafting\\Menus \"Pop1\" = \"Quorvex pop1\"\n" + k +
        "R16.1\\ACAD-202:409\\Profiles\\Only\\General \"ACAD\" = \"C:\\Quorvex\\acad;\"\n" + k +
        "R16.1\\ACAD-202:409\\Profiles\\Only\\Menus \"Group4\" = "
        "\"Quorvex C:\\Quorvex\\acad\\Quorvex\"\n" +
        k + "R16.1\\ACAD-202:409\\Profiles\\Only\\Menus \"Pop13\" = \"Quorvex pop1\"\n" + k +
        "R16.2\\ACAD-301:409\\Profiles\\A\\General \"ACAD\" = \"C:\\Quorvex\\acad;\"\n" +
        "rewrote " + cui + ": partial menu added before 1 line containing \"/CommonItems\"\n" + k +
        "R16.2\\ACAD-301:409\\Profiles\\A\\Menus \"Pop1\" = \"QUORVEX pop1\"\n" + k +
        "R16.2\\ACAD-301:409\\Profiles\\B\\General \"ACAD\" = \"C:\\Quorvex\\acad;\"\n" + k +
        "R16.2\\ACAD-301:409\\Profiles\\B\\Menus \"Pop1\" = \"QUORVEX pop1\"\n";

    // A dry run prints the same lines and writes nothing.
    const std::string hiveBefore = m.HiveText(), cuiBefore = m.CuiText();
    const auto dry = Tabulon(m.dir, m.Args("--dry-run"));
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(dry.out, expected);
    EXPECT_EQ(m.HiveText(), hiveBefore);
    EXPECT_EQ(m.CuiText(), cuiBefore);

    const auto first = Tabulon(m.dir, m.Args());
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.out, expected);
    EXPECT_EQ(first.err, "");
    EXPECT_EQ(m.CuiText(),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<CustSection>\r\n"
              "  <MenuGroup Name=\"ACAD\"/>\r\n"
              "        <PartialMenuFile>c:\\quorvex\\acad\\quorvex.cui</PartialMenuFile>\r\n"
              "  </CommonItems>\r\n</CustSection>\r\n");
    // The R15.0 profile is not touched when the marker names the 2004 releases.
    EXPECT_NE(m.HiveText().find("[HKEY_CURRENT_USER\\SOFTWARE\\Autodesk\\AutoCAD\\R15.0\\ACAD-"
                                "1:409\\Profiles\\Old\\General]\r\n\"ACAD\"=\"C:\\\\A\"\r\n"),
              std::string::npos);

    const std::string hiveAfter = m.HiveText(), cuiAfter = m.CuiText();
    const auto second = Tabulon(m.dir, m.Args());
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(second.out, "");
    EXPECT_NE(second.err.find("nothing to change"), std::string::npos) << second.err;
    EXPECT_EQ(m.HiveText(), hiveAfter);
    EXPECT_EQ(m.CuiText(), cuiAfter);
}

TEST(Tabulon, FailuresExitWithAClearLineAndChangeNothing) {
    struct Case {
        const char* what;
        std::function<void(Machine&)> prepare;
        std::string args;
        int status;
        std::vector<std::string> says;
    };
    const Case cases[] = {
        {"missing marker",
         [](Machine& m) { fs::remove(m.dir / "root/acad/version.txt"); },
         "",
         1,
         {"Error: No version.txt file found in C:\\Quorvex\\acad\\     \r\n\r\nPlease contact",
          "Tabulon Installation: Tabulon  installation  will  be  terminated     \r\n\r\n",
          "acad/version.txt cannot be read; nothing was changed"}},
        {"malformed hive",
         [](Machine& m) {
             WriteFile(m.dir / "root/registry/current_user.reg",
                       "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"V\"=\"C:\\Quorvex\"\r\n");
         },
         "",
         1,
         {"registry/current_user.reg:3: unknown escape"}},
        {"unwritable hive",
         [](Machine& m) {
             fs::permissions(m.dir / "root/registry/current_user.reg", fs::perms::owner_read);
         },
         "",
         1,
         {"current_user.reg (the file is read-only)"}},
        {"read-only hive, the customization file changed first",
         [](Machine& m) {
             // Only an R16.2 profile whose support path is already set: the first change
             // of the run is the customization file, the hive's comes after it.
             const std::string reg = m.dir / "root/registry/current_user.reg";
             WriteFile(
                 reg,
                 "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\Autodesk\\AutoCAD\\R16.2\\"
                 "ACAD-301:409\\Profiles\\A\\General]\r\n\"ACAD\"=\"C:\\\\Quorvex\\\\acad\"\r\n"
                 "[HKEY_CURRENT_USER\\SOFTWARE\\Autodesk\\AutoCAD\\R16.2\\ACAD-301:409\\"
                 "Profiles\\A\\General Configuration]\r\n\"MenuFile\"=\"" +
                     Escaped(m.dir / "Support/acad") + "\"\r\n");
             fs::permissions(reg, fs::perms::owner_read);
         },
         "",
         1,
         {"current_user.reg (the file is read-only); nothing was changed"}},
        {"read-only customization file",
         [](Machine& m) { fs::permissions(m.dir / "Support/acad.cui", fs::perms::owner_read); },
         "",
         1,
         {"acad.cui (the file is read-only); nothing was changed"}},
        {"hive is a device",
         [](Machine&) {},
         "--hive /dev/zero",
         1,
         {"the hive file /dev/zero:0: is not a regular file"}},
        {"hive is a FIFO",
         [](Machine& m) { mkfifo((m.dir / "fifo.reg").c_str(), 0600); },
         "--hive {dir}/fifo.reg",
         1,
         {"fifo.reg:0: is not a regular file"}},
        {"hive is a folder",
         [](Machine& m) { fs::create_directory(m.dir / "folder.reg"); },
         "--hive {dir}/folder.reg",
         1,
         {"folder.reg:0: is a folder"}},
        // Arguments refused before anything runs: one line, exit status 2.
        {"unknown option", [](Machine&) {}, "--force", 2, {"not expected: --force"}},
        {"stray word", [](Machine&) {}, "--dry-run now", 2, {"not expected: now"}},
        {"option without value", [](Machine&) {}, "--hive", 2, {"--hive: 1 required FILE missing"}},
        {"empty root", [](Machine&) {}, "--root ''", 2, {"--root: is empty"}},
        {"empty hive", [](Machine&) {}, "--hive ''", 2, {"--hive: is empty"}},
        {"hive given twice", [](Machine&) {}, "--hive a.reg --hive b.reg", 2, {"--hive"}},
    };
    for (const auto& c : cases) {
        Machine m;
        c.prepare(m);
        const std::string hive = m.HiveText(), cui = m.CuiText();
        std::string args = c.args;
        if (const auto at = args.find("{dir}"); at != std::string::npos) {
            args.replace(at, 5, Quote(m.dir.Path()));
        }
        const auto run = Tabulon(m.dir, m.Args(args));
        EXPECT_EQ(run.status, c.status) << c.what << ": " << run.err;
        EXPECT_EQ(run.out, "") << c.what;
        for (const auto& s : c.says) EXPECT_NE(run.err.find(s), std::string::npos) << run.err;
        if (c.status == 2) {
            EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << c.what << ": " << run.err;
            EXPECT_NE(run.err.find("Tabulon --help"), std::string::npos) << run.err;
        }
        EXPECT_EQ(m.HiveText(), hive) << c.what;
        EXPECT_EQ(m.CuiText(), cui) << c.what;
    }
}

TEST(Tabulon, HelpGoesToStandardOutputAndChangesNothing) {
    for (const char* flag : {"--help", "-h"}) {
        Machine m;
        const std::string hive = m.HiveText(), cui = m.CuiText();
        const auto run = Tabulon(m.dir, m.Args(flag));
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        for (const char* option : {"Usage: Tabulon", "--root DIR", "--hive FILE", "--dry-run"})
            EXPECT_NE(run.out.find(option), std::string::npos) << option << "\n" << run.out;
        EXPECT_EQ(m.HiveText(), hive);
        EXPECT_EQ(m.CuiText(), cui);
    }
}

TEST(Tabulon, HiveOptionNamesAnotherFile) {
    Machine m;
    fs::rename(m.dir / "root/registry/current_user.reg", m.dir / "elsewhere.reg");
    const auto run = Tabulon(m.dir, m.Args("--hive " + Quote(m.dir / "elsewhere.reg")));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"Pop1\" = \"QUORVEX pop1\""), std::string::npos);
    EXPECT_NE(ReadFile(m.dir / "elsewhere.reg").find("QUORVEX pop1"), std::string::npos);
    EXPECT_FALSE(fs::exists(m.dir / "root/registry/current_user.reg"));
}

// Leaves what a run killed while writing path leaves: its temporary file.
void KillAWriteOf(const std::string& path) {
    const pid_t child = fork();
    if (child == 0) {
        posix::FileReplacement file(path);
        file.Write("half a hive");
        raise(SIGKILL);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
}

// The hive and the customization file reached through symbolic links are written where
// the links lead, and the links stay; what a killed run left beside the hive goes.
TEST(Tabulon, WritesThroughSymbolicLinksAndClearsWhatAKilledRunLeft) {
    Machine m;
    fs::create_directories(m.dir / "real");
    const std::string hive = m.dir / "real/hive.reg", cui = m.dir / "real/acad.cui";
    fs::rename(m.dir / "root/registry/current_user.reg", hive);
    fs::create_symlink("../../real/hive.reg", m.dir / "root/registry/current_user.reg");
    fs::rename(m.dir / "Support/acad.cui", cui);
    fs::create_symlink(cui, m.dir / "Support/acad.cui");
    KillAWriteOf(hive);
    WriteFile(m.dir / "real/hive.reg.backup", "the user's own");
    WriteFile(m.dir / "real/.other.reg.tbln-save-abcdef", "another file's");
    auto names = [&] {
        std::vector<std::string> all;
        for (const auto& e : fs::directory_iterator(m.dir / "real"))
            all.push_back(e.path().filename());
        std::sort(all.begin(), all.end());
        return all;
    };
    ASSERT_EQ(names().size(), 5u) << "the killed run's temporary file is there";

    const auto run = Tabulon(m.dir, m.Args());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::is_symlink(m.dir / "root/registry/current_user.reg"));
    EXPECT_TRUE(fs::is_symlink(m.dir / "Support/acad.cui"));
    EXPECT_NE(ReadFile(hive).find("QUORVEX pop1"), std::string::npos);
    EXPECT_NE(ReadFile(cui).find("quorvex.cui"), std::string::npos);
    // The hive's lock file lies beside the file the link leads to.
    EXPECT_EQ(names(), (std::vector<std::string>{".other.reg.tbln-save-abcdef", "acad.cui",
                                                 "hive.reg", "hive.reg.backup", "hive.reg.lock"}));
    EXPECT_EQ(
        std::distance(fs::directory_iterator(m.dir / "root/registry"), fs::directory_iterator{}),
        1);
}

}  // namespace
}  // namespace tbln

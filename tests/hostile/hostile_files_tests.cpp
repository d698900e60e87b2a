// Files that must not hang or exhaust the engines: FIFOs given as workbooks or documents,
// and every malformed file of the shared corpus. Each open runs in a child process under
// a time bound, so a regression fails the test instead of hanging it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "adapters/document/document_model.hpp"
#include "adapters/workbook/workbook_model.hpp"
#include "core/error.hpp"
#include "support/bounded_child.hpp"
#include "support/test_platform.hpp"

namespace tbln {
namespace {

namespace fs = std::filesystem;
using testing::RunBoundedChild;

enum Verdict : int { kRefusedNamingFile = 0, kOpened = 1, kRefusedWithoutName = 2 };

// Opens path with one engine and says how it went; the engine's message goes to stderr
// so that a failing case shows it.
Verdict OpenWith(const std::function<void()>& open, const std::string& path) {
    try {
        open();
    } catch (const RuntimeError& e) {
        std::fprintf(stderr, "%s\n", e.Description().c_str());
        return e.Description().find(path) != std::string::npos ? kRefusedNamingFile
                                                               : kRefusedWithoutName;
    }
    return kOpened;
}

void OpenWorkbook(const std::string& path) {
    workbook::LoadWorkbook(path);
}
void OpenDocument(const std::string& path) {
    document::ReadDocx(path);
}

TEST(HostileFiles, FifoIsRefusedAtOnceByBothEngines) {
    testing::TempDir dir;
    const struct {
        const char* name;
        void (*open)(const std::string&);
        const char* message;
    } engines[] = {
        {"book.xlsx", OpenWorkbook, "Cannot open the workbook "},
        {"legacy.xls", OpenWorkbook, "Cannot open the workbook "},
        {"notes.docx", OpenDocument, "Cannot open the document "},
    };
    for (const auto& engine : engines) {
        const std::string fifo = dir.Path() + "/" + engine.name;
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        // Nobody ever writes to the FIFO: an engine that opens it blocks until the bound.
        const auto outcome = RunBoundedChild(
            [&] {
                try {
                    engine.open(fifo);
                } catch (const RuntimeError& e) {
                    const bool clear =
                        e.Description() == engine.message + fifo + ": it is not a regular file";
                    if (!clear) std::fprintf(stderr, "%s\n", e.Description().c_str());
                    return clear ? 0 : 2;
                }
                return 1;
            },
            5);
        EXPECT_TRUE(outcome.exited)
            << engine.name << " hung (ended by signal " << outcome.status << ")";
        EXPECT_EQ(outcome.status, 0) << engine.name;
    }
    // A folder is named for what it is.
    EXPECT_EQ(OpenWith([&] { OpenWorkbook(dir.Path()); }, dir.Path()), kRefusedNamingFile);
    EXPECT_EQ(OpenWith([&] { OpenDocument(dir.Path()); }, dir.Path()), kRefusedNamingFile);
}

// The shared corpus (TBLN_CORPUS in the environment overrides the default place).
fs::path Corpus() {
    const char* env = std::getenv("TBLN_CORPUS");
    return fs::path(env && *env ? env : TBLN_CORPUS);
}

// Every malformed file opens or is refused with an error naming it, by the engine its
// extension names (both engines for a package of no known kind), each in a child bounded
// in time and in memory.
TEST(HostileFiles, EveryMalformedCorpusFileEndsQuicklyInBoundedMemory) {
    const auto folder = Corpus() / "malformed";
    if (!fs::exists(folder)) GTEST_SKIP() << "no corpus at " << folder;
    constexpr std::size_t kAddressSpace = 256u << 20;
    constexpr long kPeakKib = 256 * 1024;
    int files = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string path = entry.path().string();
        const std::string ext = entry.path().extension().string();
        const bool book = ext == ".xlsx" || ext == ".xlsm" || ext == ".xls";
        const bool document = ext == ".docx";
        for (auto open : {OpenWorkbook, OpenDocument}) {
            if ((book && open != OpenWorkbook) || (document && open != OpenDocument)) continue;
            const auto outcome = RunBoundedChild(
                [&] { return static_cast<int>(OpenWith([&] { open(path); }, path)); }, 10,
                kAddressSpace);
            EXPECT_TRUE(outcome.exited)
                << path << " did not end in time or in memory (signal " << outcome.status << ")";
            EXPECT_TRUE(outcome.status == kRefusedNamingFile || outcome.status == kOpened)
                << path << ": status " << outcome.status;
            EXPECT_LT(outcome.peakKib, kPeakKib) << path;
            ++files;
        }
    }
    EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace tbln

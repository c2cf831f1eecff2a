// A catalogue store killed half-way: the previous catalogue must be found whole, the loader must see
// nothing of the new file, and the leftover new file must not stay for ever.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "support/TestSupport.h"

namespace {

using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;
namespace fs = std::filesystem;

std::set<std::string> Names(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

// Sets a file's modification time `age` in the past.
void Age(const std::string& path, std::chrono::seconds age) {
    timespec times[2];
    ::clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= age.count();
    times[1] = times[0];
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// The catalogue's leftover temporary files.
std::set<std::string> Leftovers(const fs::path& dir) {
    std::set<std::string> found;
    for (const std::string& name : Names(dir))
        if (name.rfind("SMTP-Analysis.tab.tmp-", 0) == 0)
            found.insert(name);
    return found;
}

class StoreKilledTest : public ::testing::Test {
protected:
    void SetUp() override { WriteBytes(path_, kOld); }

    // Whether the catalogue reads back as the old one, through the file and through the loader.
    void ExpectOldCatalogueWhole() {
        EXPECT_EQ(ReadBytes(path_), kOld);
        catalogue::Catalogue loaded;
        ASSERT_EQ(catalogue::LoadCatalogueFile(path_, loaded).kind, catalogue::LoadOutcome::Kind::Loaded);
        EXPECT_EQ(loaded.strings, (std::vector<std::string>{"Relay denied", "Timeout\r\n"}));
    }

    const std::string kOld = "Relay denied\tL\tE\r\nTimeout<CRLF>\tM\tF\r\n";
    TempDir dir_;
    std::string path_ = catalogue::CatalogueFilePath(dir_.Path().string(), "SMTP");
};

TEST_F(StoreKilledTest, AFileSizeLimitKillsTheStoreMidWrite) {
    // SIGXFSZ at its default ends the process at the write that passes the limit, as a kill would.
    const pid_t child = ::fork();
    if (child == 0) {
        rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        rlimit small{1 << 20, 1 << 20};
        ::setrlimit(RLIMIT_FSIZE, &small);
        std::signal(SIGXFSZ, SIG_DFL);
        const auto status = catalogue::StoreCatalogue(path_, std::string(8u << 20, 'n'));
        ::_exit(status.ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the store was expected to be killed";
    EXPECT_EQ(WTERMSIG(status), SIGXFSZ);
    ExpectOldCatalogueWhole();
    // The killed store's new file is left, cut at the limit, under a name the loader never opens.
    const auto leftovers = Leftovers(dir_.Path());
    ASSERT_EQ(leftovers.size(), 1u);
    EXPECT_EQ(fs::file_size(dir_.Path() / *leftovers.begin()), 1u << 20);
}

TEST_F(StoreKilledTest, SigkillWhileWritingLeavesTheOldCatalogueWhole) {
    const std::string huge(std::size_t{256} << 20, 'n');
    for (int attempt = 0; attempt < 5; ++attempt) {
        const pid_t child = ::fork();
        if (child == 0) {
            const auto status = catalogue::StoreCatalogue(path_, huge);
            ::_exit(status.ok ? 0 : 1);
        }
        // Kill the child as soon as its new file holds some bytes; a generous guard stops the waiting.
        bool killed = false;
        const auto guard = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!killed && std::chrono::steady_clock::now() < guard) {
            for (const std::string& name : Leftovers(dir_.Path())) {
                std::error_code error;
                if (fs::file_size(dir_.Path() / name, error) > 0 && !error) {
                    ::kill(child, SIGKILL);
                    killed = true;
                    break;
                }
            }
            int status = 0;
            if (!killed && ::waitpid(child, &status, WNOHANG) == child)
                break; // finished before it could be caught writing
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        if (!killed)
            ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        const bool diedByKill = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
        if (!diedByKill) {
            // The store won the race: the new catalogue is there whole; put the old one back and retry.
            EXPECT_EQ(fs::file_size(path_), huge.size());
            WriteBytes(path_, kOld);
            continue;
        }
        ExpectOldCatalogueWhole();
        EXPECT_LE(Leftovers(dir_.Path()).size(), 1u);
        return;
    }
    GTEST_SKIP() << "the store always finished before it could be killed";
}

TEST_F(StoreKilledTest, LeftoverTemporaryFilesAreRemovedOnceStale) {
    // What killed stores left: two stale files of this catalogue, one fresh one (a store that may still be
    // running in another instance of the program), and files that only look alike.
    const std::string stale1 = path_ + ".tmp-4242-0-123456";
    const std::string stale2 = path_ + ".tmp-77-3-9";
    const std::string fresh = path_ + ".tmp-4243-0-654321";
    const std::string others[] = {path_ + ".tmp-notes",
                                  path_ + ".tmp-1-2",
                                  path_ + ".tmp-1-2-3-4",
                                  path_ + ".tmp-1-2-x",
                                  dir_.File("POP-Analysis.tab.tmp-1-2-3"),
                                  dir_.File("SMTP-Analysis.tabx.tmp-1-2-3")};
    for (const std::string& name : {stale1, stale2, fresh})
        WriteBytes(name, "partial");
    for (const std::string& name : others)
        WriteBytes(name, "not ours");
    const auto stale = catalogue::kStaleTemporaryAge + std::chrono::minutes(1);
    for (const std::string& name : others)
        Age(name, stale);
    Age(stale1, stale);
    Age(stale2, stale);
    Age(fresh, catalogue::kStaleTemporaryAge - std::chrono::minutes(2));
    // A directory of such a name is never removed.
    fs::create_directory(path_ + ".tmp-5-5-5");
    Age(path_ + ".tmp-5-5-5", stale);

    ASSERT_TRUE(catalogue::StoreCatalogue(path_, "new\tL\tE\r\n").ok);
    EXPECT_EQ(ReadBytes(path_), "new\tL\tE\r\n");
    EXPECT_FALSE(fs::exists(stale1));
    EXPECT_FALSE(fs::exists(stale2));
    EXPECT_TRUE(fs::exists(fresh));
    for (const std::string& name : others)
        EXPECT_TRUE(fs::exists(name)) << name;
    EXPECT_TRUE(fs::is_directory(path_ + ".tmp-5-5-5"));
}

} // namespace

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "TestServers.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "support/TestSupport.h"

namespace {

using catalogue::ReplyKind;
using testing_support::HttpTestServer;
using testing_support::ReadBytes;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteBytes;

std::vector<std::string> Names(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ClassifyReply, Table) {
    struct Case {
        std::string reply;
        ReplyKind kind;
    } cases[] = {
        {"", ReplyKind::NoCatalogue},
        {"Relay denied\thttp://x\tThe relay was refused.\r\n", ReplyKind::Catalogue},
        {"x", ReplyKind::Catalogue},
        {"<", ReplyKind::Catalogue},
        {"!", ReplyKind::Catalogue},
        {"<html><body>Sorry</body></html>", ReplyKind::Catalogue},
        {"<!DOCTYPE html><html></html>", ReplyKind::NoCatalogue},
        {"<!-- comment -->", ReplyKind::NoCatalogue},
        {"<!", ReplyKind::NoCatalogue},
        {"<!BRINDLEMAR>", ReplyKind::Notice},
        {"<!BRINDLEMAR>The library is being updated.", ReplyKind::Notice},
        {"<!brindlemar>The library is being updated.", ReplyKind::NoCatalogue},
        {"<!BRINDLEMA", ReplyKind::NoCatalogue},
        {" <!BRINDLEMAR>x", ReplyKind::Catalogue},
        {"\r\n", ReplyKind::Catalogue},
        {std::string("\0<!", 3), ReplyKind::Catalogue},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        EXPECT_EQ(catalogue::ClassifyReply(c.reply), c.kind);
    }
}

TEST(NoticeText, RemovesEveryMarker) {
    struct Case {
        std::string reply, expected;
    } cases[] = {
        {"<!BRINDLEMAR>", ""},
        {"<!BRINDLEMAR>The library is closed for maintenance.", "The library is closed for maintenance."},
        {"<!BRINDLEMAR>One.<!BRINDLEMAR> Two.<!BRINDLEMAR>", "One. Two."},
        {"<!BRINDLEMAR>Keep <!brindlemar> as it is", "Keep <!brindlemar> as it is"},
        {"<!BRINDLEMAR>Line 1\r\nLine 2", "Line 1\r\nLine 2"},
        // Removal is one pass: a marker formed by the removal itself stays.
        {"<!BRIN<!BRINDLEMAR>DLEMAR>", "<!BRINDLEMAR>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        EXPECT_EQ(catalogue::NoticeText(c.reply), c.expected);
    }
}

TEST(LibraryTexts, FixedTexts) {
    EXPECT_EQ(catalogue::NoCatalogueMessage("POPC"),
              "Unable to retrieve analysis details from library server for: POPC at this time.");
    EXPECT_EQ(catalogue::CatalogueRequestPath("SMTP"), "/Tools/Analysis/Analysis.asp?Source=SMTP");
    EXPECT_EQ(catalogue::CatalogueRequestPath("HTTPMAIL"), "/Tools/Analysis/Analysis.asp?Source=HTTPMAIL");
}

TEST(StoreCatalogue, WritesByteForByte) {
    std::string everyByte;
    for (int i = 0; i < 256; ++i)
        everyByte.push_back(static_cast<char>(i));
    struct Case {
        const char* name;
        std::string reply;
    } cases[] = {
        {"ends with CR LF", "A\tL\tE\r\nB\tM\tF\r\n"},
        {"no final CR LF stays so", "A\tL\tE\r\nB\tM\tF"},
        {"lone CR and LF", "A\rB\nC\r"},
        {"every byte value", everyByte + everyByte},
        {"one byte", "x"},
        {"large", std::string(5u << 20, 'c') + "\r\n"},
    };
    TempDir dir;
    const std::string path = dir.File("SMTP-Analysis.tab");
    WriteBytes(path, std::string(10u << 20, 'o')); // a longer old catalogue is replaced whole
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(catalogue::StoreCatalogue(path, c.reply).ok);
        EXPECT_EQ(ReadBytes(path), c.reply);
        EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"SMTP-Analysis.tab"});
    }
}

TEST(StoreCatalogue, CreatesAMissingFileWithOrdinaryPermissions) {
    TempDir dir;
    const std::string path = dir.File("POP-Analysis.tab");
    ASSERT_TRUE(catalogue::StoreCatalogue(path, "new\r\n").ok);
    EXPECT_EQ(ReadBytes(path), "new\r\n");
    // Like any file the program creates: read-write as the umask allows, not private to the owner.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const auto expected = static_cast<std::filesystem::perms>(0666 & ~mask);
    EXPECT_EQ(std::filesystem::status(path).permissions(), expected);
}

TEST(StoreCatalogue, FailuresLeaveTheOldCatalogueAndNoTemporaryFile) {
    TempDir dir;
    const std::string old = "old\tL\tE\r\n";
    const std::string path = dir.File("SMTP-Analysis.tab");

    {
        SCOPED_TRACE("directory does not exist");
        const auto status = catalogue::StoreCatalogue(dir.File("missing/SMTP-Analysis.tab"), "new");
        EXPECT_FALSE(status.ok);
        EXPECT_EQ(status.description, "No such file or directory");
    }
    {
        SCOPED_TRACE("a directory stands at the catalogue's name");
        std::filesystem::create_directory(dir.File("POP-Analysis.tab"));
        const auto status = catalogue::StoreCatalogue(dir.File("POP-Analysis.tab"), "new");
        EXPECT_FALSE(status.ok);
        EXPECT_EQ(status.description, "Is a directory");
        std::filesystem::remove(dir.File("POP-Analysis.tab"));
    }
    {
        SCOPED_TRACE("the write itself fails part way");
        WriteBytes(path, old);
        // A file size limit makes the write fail after 1000 bytes, for root too. SIGXFSZ is ignored so the
        // failure comes back as an error instead of ending the process.
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit previous{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
        rlimit limited = previous;
        limited.rlim_cur = 1000;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
        const auto status = catalogue::StoreCatalogue(path, std::string(5000, 'n'));
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
        EXPECT_FALSE(status.ok);
        EXPECT_EQ(status.description, "File too large");
        EXPECT_EQ(ReadBytes(path), old);
    }
    if (::geteuid() != 0) {
        SCOPED_TRACE("directory not writable");
        std::filesystem::permissions(dir.Path(),
                                     std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        const auto status = catalogue::StoreCatalogue(path, "new");
        std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_all);
        EXPECT_FALSE(status.ok);
        EXPECT_EQ(status.description, "Permission denied");
        EXPECT_EQ(ReadBytes(path), old);
    }
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"SMTP-Analysis.tab"});
}

class FetchCatalogueTest : public ::testing::Test {
protected:
    ScopedEnv noProxy_{"no_proxy", "*"};
    catalogue::PostFormLimits quick_{2000, 5000, 32u << 20};
    TempDir dir_;
};

TEST_F(FetchCatalogueTest, RepliesByKind) {
    const std::string old = "old\tL\tE\r\n";
    struct Case {
        std::string reply;
        ReplyKind kind;
        bool stored;
    } cases[] = {
        {"Relay denied\t{LIBRARY}/kb/x\tRefused.<CRLF>Check relay rules.\r\nTimeout<CRLF>\tL\tE",
         ReplyKind::Catalogue, true},
        {"<!BRINDLEMAR>The library is closed today.", ReplyKind::Notice, false},
        {"<!DOCTYPE html><html><body>Proxy error</body></html>", ReplyKind::NoCatalogue, false},
        {"", ReplyKind::NoCatalogue, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        std::string target;
        HttpTestServer server([&](httplib::Server& s) {
            s.Post("/Tools/Analysis/Analysis.asp", [&](const httplib::Request& req, httplib::Response& res) {
                target = req.target;
                res.set_content(c.reply, "text/plain");
            });
        });
        const std::string path = catalogue::CatalogueFilePath(dir_.Path().string(), "SMTP");
        WriteBytes(path, old);
        const auto outcome = catalogue::FetchCatalogue(server.Host(), "SMTP", dir_.Path().string(), quick_);
        EXPECT_EQ(target, "/Tools/Analysis/Analysis.asp?Source=SMTP");
        EXPECT_EQ(outcome.kind, c.kind);
        EXPECT_EQ(outcome.reply, c.reply);
        EXPECT_TRUE(outcome.stored.ok);
        EXPECT_EQ(ReadBytes(path), c.stored ? c.reply : old);
    }
}

TEST_F(FetchCatalogueTest, NoServerIsNoCatalogue) {
    testing_support::RawTestServer closed("", testing_support::RawTestServer::Behaviour::NoListener);
    const auto outcome = catalogue::FetchCatalogue(closed.Host(), "POP", dir_.Path().string(), quick_);
    EXPECT_EQ(outcome.kind, ReplyKind::NoCatalogue);
    EXPECT_EQ(outcome.reply, "");
    EXPECT_TRUE(outcome.stored.ok);
    EXPECT_TRUE(Names(dir_.Path()).empty());
}

TEST_F(FetchCatalogueTest, StoreFailureIsReported) {
    HttpTestServer server([&](httplib::Server& s) {
        s.Post(".*",
               [&](const httplib::Request&, httplib::Response& res) { res.set_content("A\tL\tE", "x"); });
    });
    const auto outcome = catalogue::FetchCatalogue(server.Host(), "LS", dir_.File("gone"), quick_);
    EXPECT_EQ(outcome.kind, ReplyKind::Catalogue);
    EXPECT_FALSE(outcome.stored.ok);
    EXPECT_EQ(outcome.stored.description, "No such file or directory");
}

} // namespace

#include <gtest/gtest.h>

#include <httplib.h>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "ServerProcess.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "catalogue/PostForm.h"
#include "support/TestSupport.h"
#include "text/Ascii.h"

extern char** environ;

namespace {

using catalogue::ReplyKind;
using library_test::ServerProcess;
using testing_support::ReadBytes;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteBytes;

const std::vector<std::string> kSources = {"HTTPMAIL", "SMTP", "LS", "MTA", "POP", "POPC", "SF"};


class LibraryServerTest : public ::testing::Test {
protected:
    ScopedEnv noProxy_{"no_proxy", "*"};
    catalogue::PostFormLimits quick_{5000, 20000, 32u << 20};
};

TEST_F(LibraryServerTest, ServesTheSampleCataloguesWithItsOwnAddressInTheLinks) {
    ServerProcess server({"--port", "0"}); // catalogues from beside the program
    ASSERT_GT(server.Port(), 0);
    const std::string base = "http://" + server.Host();
    httplib::Client browser("127.0.0.1", server.Port());
    for (const auto& source : kSources) {
        SCOPED_TRACE(source);
        TempDir programDir;
        const auto outcome =
            catalogue::FetchCatalogue(server.Host(), source, programDir.Path().string(), quick_);
        ASSERT_EQ(outcome.kind, ReplyKind::Catalogue) << outcome.reply;
        ASSERT_TRUE(outcome.stored.ok);
        const std::string sample =
            ReadBytes(catalogue::CatalogueFilePath(BRINDLEMAR_SAMPLE_CATALOGUES, source));
        const std::string path = catalogue::CatalogueFilePath(programDir.Path().string(), source);
        EXPECT_EQ(ReadBytes(path), text::ReplaceAll(sample, "{LIBRARY}", base));
        EXPECT_EQ(server.NextLine(), "POST /Tools/Analysis/Analysis.asp?Source=" + source + " 200 " +
                                         std::to_string(outcome.reply.size()));

        // Each sample entry is complete, its link opens a knowledge-base article, and at least one
        // search string is anchored at the end of a line.
        catalogue::Catalogue loaded;
        ASSERT_EQ(catalogue::LoadCatalogueFile(path, loaded).kind, catalogue::LoadOutcome::Kind::Loaded);
        EXPECT_GE(loaded.strings.size(), 12u);
        EXPECT_LE(loaded.strings.size(), 25u);
        bool endsALine = false;
        for (std::size_t i = 0; i < loaded.strings.size(); ++i) {
            SCOPED_TRACE(loaded.strings[i]);
            EXPECT_FALSE(loaded.strings[i].empty());
            EXPECT_FALSE(loaded.descriptions[i].empty());
            endsALine = endsALine || loaded.strings[i].ends_with("\r\n");
            ASSERT_EQ(loaded.links[i].rfind(base + "/kb/", 0), 0u) << loaded.links[i];
            const auto article = browser.Get(loaded.links[i].substr(base.size()));
            ASSERT_TRUE(article);
            EXPECT_EQ(article->status, 200);
            server.NextLine();
        }
        EXPECT_TRUE(endsALine);
    }
}

TEST_F(LibraryServerTest, CatalogueIsServedByteForByte) {
    TempDir catalogues;
    const std::string bytes =
        std::string("first\t{LIBRARY}/kb/a\tx<CRLF>y\r\n\r\nlone\rLF\nbyte \x80\xFF\0 end", 45);
    WriteBytes(catalogues.File("SMTP-Analysis.tab"), bytes);
    WriteBytes(catalogues.File("POP-Analysis.tab"), "");
    ServerProcess server({"--port", "0", "--dir", catalogues.Path().string()});
    ASSERT_GT(server.Port(), 0);
    EXPECT_EQ(catalogue::PostForm(server.Host(), catalogue::CatalogueRequestPath("SMTP"), "", quick_),
              text::ReplaceAll(bytes, "{LIBRARY}", "http://" + server.Host()));
    EXPECT_EQ(catalogue::PostForm(server.Host(), catalogue::CatalogueRequestPath("POP"), "", quick_), "");

    httplib::Client browser("127.0.0.1", server.Port());
    const auto viaGet = browser.Get("/Tools/Analysis/Analysis.asp?Source=SMTP");
    ASSERT_TRUE(viaGet);
    EXPECT_EQ(viaGet->status, 200);
    EXPECT_EQ(viaGet->get_header_value("Content-Type"), "text/plain; charset=windows-1252");
}

TEST_F(LibraryServerTest, BaseUrlOptionReplacesThePlaceholder) {
    TempDir catalogues;
    WriteBytes(catalogues.File("MTA-Analysis.tab"), "a\t{LIBRARY}/kb/x\tb\r\n");
    ServerProcess server(
        {"--port", "0", "--dir", catalogues.Path().string(), "--base-url", "http://library.example.net"});
    ASSERT_GT(server.Port(), 0);
    EXPECT_EQ(catalogue::PostForm(server.Host(), catalogue::CatalogueRequestPath("MTA"), "", quick_),
              "a\thttp://library.example.net/kb/x\tb\r\n");
}

TEST_F(LibraryServerTest, UnknownOrUnsafeSourcesGetANotice) {
    TempDir root;
    const std::string catalogues = root.File("catalogues");
    std::filesystem::create_directory(catalogues);
    WriteBytes(root.File("secret-Analysis.tab"), "must never be served\r\n");
    WriteBytes(root.File("catalogues/SMTP-Analysis.tab"), "served\r\n");
    ServerProcess server({"--port", "0", "--dir", catalogues});
    ASSERT_GT(server.Port(), 0);
    struct Case {
        std::string path;
        ReplyKind kind;
        std::string notice;
    } cases[] = {
        {"/Tools/Analysis/Analysis.asp?Source=SMTP", ReplyKind::Catalogue, ""},
        {"/Tools/Analysis/Analysis.asp?Source=XYZ", ReplyKind::Notice,
         "The library has no analysis for XYZ at this time."},
        {"/Tools/Analysis/Analysis.asp?Source=smtp", ReplyKind::Notice,
         "The library has no analysis for smtp at this time."},
        {"/Tools/Analysis/Analysis.asp?Source=../secret", ReplyKind::Notice, ""},
        {"/Tools/Analysis/Analysis.asp?Source=..%2Fsecret", ReplyKind::Notice, ""},
        {"/Tools/Analysis/Analysis.asp?Source=%2Fetc%2Fpasswd%00", ReplyKind::Notice, ""},
        {"/Tools/Analysis/Analysis.asp?Source=", ReplyKind::Notice, ""},
        {"/Tools/Analysis/Analysis.asp", ReplyKind::Notice, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const std::string reply = catalogue::PostForm(server.Host(), c.path, "", quick_);
        EXPECT_EQ(catalogue::ClassifyReply(reply), c.kind) << reply;
        EXPECT_EQ(reply.find("never"), std::string::npos);
        if (!c.notice.empty()) {
            EXPECT_EQ(catalogue::NoticeText(reply), c.notice);
        }
    }
}

TEST_F(LibraryServerTest, HelpAndKnowledgeBasePages) {
    ServerProcess server({"--port", "0", "--dir", BRINDLEMAR_SAMPLE_CATALOGUES});
    ASSERT_GT(server.Port(), 0);
    httplib::Client browser("127.0.0.1", server.Port());

    const auto help = browser.Get("/Tools/Analysis/help.asp");
    ASSERT_TRUE(help);
    EXPECT_EQ(help->status, 200);
    EXPECT_NE(help->body.find("Brindlemar Log Analyser"), std::string::npos);

    const auto index = browser.Get("/kb");
    ASSERT_TRUE(index);
    EXPECT_EQ(index->status, 200);
    for (const auto& source : kSources) {
        SCOPED_TRACE(source);
        catalogue::Catalogue sample;
        ASSERT_EQ(catalogue::LoadCatalogueFile(
                      catalogue::CatalogueFilePath(BRINDLEMAR_SAMPLE_CATALOGUES, source), sample)
                      .kind,
                  catalogue::LoadOutcome::Kind::Loaded);
        for (const auto& link : sample.links) {
            const std::string anchor = link.substr(link.rfind('/') + 1);
            EXPECT_NE(index->body.find("id=\"" + anchor + "\""), std::string::npos) << anchor;
        }
    }
    // Explanations are shown decoded from the code page: an en dash (0x96) becomes U+2013.
    EXPECT_NE(index->body.find("\xE2\x80\x93"), std::string::npos);
    EXPECT_EQ(index->body.find('\x96'), std::string::npos);

    const auto article = browser.Get("/kb/smtp-relay-denied");
    ASSERT_TRUE(article);
    EXPECT_EQ(article->status, 200);
    EXPECT_NE(article->body.find("Relay denied"), std::string::npos);
    EXPECT_NE(article->body.find("<br>"), std::string::npos) << "<CRLF> in an explanation is a line break";

    struct Case {
        std::string path;
        int status;
    } missing[] = {{"/kb/no-such-article", 404}, {"/kb/..%2F..%2Fetc", 404}, {"/nothing/here", 404}};
    for (const auto& c : missing) {
        SCOPED_TRACE(c.path);
        const auto page = browser.Get(c.path);
        ASSERT_TRUE(page);
        EXPECT_EQ(page->status, c.status);
    }
}

TEST_F(LibraryServerTest, BadArgumentsAreRefused) {
    const std::vector<std::string> cases[] = {
        {"--port", "70000"}, {"--port", "x"}, {"--port"}, {"--colour", "blue"}};
    for (const auto& args : cases) {
        SCOPED_TRACE(args[0] + (args.size() > 1 ? " " + args[1] : ""));
        ServerProcess server(args, true);
        EXPECT_EQ(server.Wait(), 2);
    }
}

} // namespace

// What a broken or hostile library server, or a catalogue file put in place by hand, can hand the catalogue
// subsystem: a 200 MB line, a reply of 1 GiB, one that trickles, one that is not HTTP, a redirect to itself.
// Each ends in "" (no catalogue) or a defined load, within the exchange's limits and in bounded memory.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "TestServers.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "catalogue/PostForm.h"
#include "support/TestSupport.h"

namespace {

using catalogue::PostForm;
using catalogue::PostFormLimits;
using testing_support::AppendFill;
using testing_support::HttpTestServer;
using testing_support::PeakMemory;
using testing_support::RawTestServer;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteBytes;

constexpr std::size_t kMiB = std::size_t{1} << 20;

TEST(HostileCatalogue, A200MegabyteLineIsLoadedWithinTheCatalogueCap) {
    // A file this size can only be put there by hand (a stored reply is at most 32 MiB); it is within the
    // loader's 256 MiB cap, so its line is loaded whole as one entry. Memory is bounded by that cap.
    TempDir dir;
    const std::string path = dir.File("SMTP-Analysis.tab");
    WriteBytes(path, "before\tL\tE\r\n");
    AppendFill(path, 's', 200 * kMiB);
    {
        std::FILE* file = std::fopen(path.c_str(), "ab");
        ASSERT_NE(file, nullptr);
        std::fputs("\tL2\tE2\r\nafter\tL3\tE3\r\n", file);
        std::fclose(file);
    }
    PeakMemory peak;
    {
        catalogue::Catalogue loaded;
        const auto outcome = catalogue::LoadCatalogueFile(path, loaded);
        EXPECT_EQ(outcome.kind, catalogue::LoadOutcome::Kind::Loaded);
        ASSERT_EQ(loaded.strings.size(), 3u);
        EXPECT_EQ(loaded.strings[1].size(), 200 * kMiB);
        EXPECT_EQ(loaded.links[1], "L2");
        EXPECT_EQ(loaded.strings[2], "after");
    }
    if (peak.Measured()) {
        std::printf("[ figures ] loading a catalogue with a 200 MiB line: peak memory +%zu MiB\n",
                    peak.GrowthBytes() >> 20);
        EXPECT_LT(peak.GrowthBytes(), 3 * catalogue::kMaxCatalogueBytes);
    }
}

class HostileReplyTest : public ::testing::Test {
protected:
    ScopedEnv noProxy_{"no_proxy", "*"};
    PostFormLimits quick_{2000, 5000, 32u << 20};
};

TEST_F(HostileReplyTest, AGibibyteReplyStopsAtTheSizeLimit) {
    const struct {
        const char* name;
        std::string head;
    } rows[] = {
        {"announced", "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 1073741824\r\n\r\n"},
        {"until close", "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RawTestServer server(row.head, RawTestServer::Behaviour::Endless);
        PeakMemory peak;
        // The product's own limits: 32 MiB at most.
        EXPECT_EQ(PostForm(server.Host(), "/Tools/Analysis/Analysis.asp?Source=SMTP", ""), "");
        EXPECT_TRUE(server.Connected());
        // The client gave up at the limit: the server could send little more than that (socket buffers).
        EXPECT_LT(server.BytesSent(), 96 * kMiB);
        if (peak.Measured()) {
            std::printf("[ figures ] 1 GiB reply (%s): %zu MiB sent before the client stopped, peak memory "
                        "+%zu MiB\n",
                        row.name, server.BytesSent() >> 20, peak.GrowthBytes() >> 20);
            EXPECT_LT(peak.GrowthBytes(), 128 * kMiB);
        }
    }
}

TEST_F(HostileReplyTest, ATricklingReplyEndsAtTheWholeExchangeTimeLimit) {
    // A byte every fifth of a second keeps any idle time-out quiet: only the limit on the whole exchange
    // ends it, long before the reply is through.
    RawTestServer server("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n" + std::string(100, 'c'),
                         RawTestServer::Behaviour::Trickle, std::chrono::milliseconds(200));
    EXPECT_EQ(PostForm(server.Host(), "/x", "", {2000, 1500, 32u << 20}), "");
    EXPECT_TRUE(server.Connected());
    EXPECT_LT(server.BytesSent(), 40u);
}

TEST_F(HostileReplyTest, MalformedRepliesGiveEmptyText) {
    const std::string nul(1, '\0');
    const struct {
        const char* name;
        std::string bytes;
    } rows[] = {
        {"garbage instead of a status line", "garbage\r\n\r\nA\tL\tE\r\n"},
        {"a catalogue without any HTTP", "Relay denied\thttp://x/\tRefused.\r\n"},
        {"binary bytes", nul + "\x1a\xff\xfe" + nul + "\r\n\r\n"},
        {"a status line without a number", "HTTP/1.0 OK\r\n\r\nA\tL\tE"},
        {"headers that never end", "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n"},
        {"a header line of garbage", "HTTP/1.0 200 OK\r\n" + nul + nul + "\r\n\r\nA\tL\tE"},
        {"nothing at all", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RawTestServer server(row.bytes);
        const std::string reply = PostForm(server.Host(), "/x", "", quick_);
        EXPECT_EQ(reply, "");
        EXPECT_EQ(catalogue::ClassifyReply(reply), catalogue::ReplyKind::NoCatalogue);
    }
}

TEST_F(HostileReplyTest, ARedirectToItselfIsNotFollowed) {
    std::atomic<int> requests{0};
    HttpTestServer server([&](httplib::Server& s) {
        s.Post("/Tools/Analysis/Analysis.asp", [&](const httplib::Request& req, httplib::Response& res) {
            ++requests;
            res.set_redirect(req.target, 302);
        });
    });
    // The redirect's own (empty) body is the reply: no catalogue, and one request only.
    EXPECT_EQ(PostForm(server.Host(), "/Tools/Analysis/Analysis.asp?Source=SMTP", "", quick_), "");
    EXPECT_EQ(requests, 1);
}

} // namespace

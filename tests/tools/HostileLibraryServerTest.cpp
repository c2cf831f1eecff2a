// The library server under abuse, as a real process on 127.0.0.1: oversized and malformed requests, clients
// that hold connections open, hostile catalogue contents and links in the catalogue folder.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "ServerProcess.h"
#include "support/TestSupport.h"

namespace {

using library_test::ServerProcess;
using testing_support::TempDir;
using testing_support::WriteBytes;
using Clock = std::chrono::steady_clock;

// A TCP connection to the server from a chosen loopback address (127.0.0.2 plays another client).
class Connection {
public:
    Connection(int port, const char* from = "127.0.0.1") {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        ::inet_pton(AF_INET, from, &local.sin_addr);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local);
        sockaddr_in server{};
        server.sin_family = AF_INET;
        server.sin_port = htons(static_cast<std::uint16_t>(port));
        server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&server), sizeof server) == 0;
    }
    ~Connection() { ::close(fd_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool Connected() const { return connected_; }
    bool Send(std::string_view bytes) {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }
    // Whether the server has answered or closed within `wait` (without reading what it sent).
    bool AnsweredWithin(std::chrono::milliseconds wait) {
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, static_cast<int>(wait.count())) > 0;
    }
    // Everything the server sends until it closes, waiting at most 20 s in all.
    std::string ReadAll() {
        std::string reply;
        const auto until = Clock::now() + std::chrono::seconds(20);
        while (Clock::now() < until) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 1000) <= 0)
                continue;
            char buffer[4096];
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            reply.append(buffer, static_cast<std::size_t>(n));
        }
        return reply;
    }

private:
    int fd_ = -1;
    bool connected_ = false;
};

std::string StatusLine(const std::string& reply) {
    return reply.substr(0, reply.find("\r\n"));
}

std::string Title(const std::string& reply) {
    const auto open = reply.find("<title>");
    const auto close = reply.find("</title>");
    return open == std::string::npos || close == std::string::npos ? ""
                                                                   : reply.substr(open + 7, close - open - 7);
}

TEST(HostileLibraryServer, OversizedAndMalformedRequestsGetTheirOwnErrorPage) {
    TempDir catalogues;
    WriteBytes(catalogues.File("SMTP-Analysis.tab"), "a\tb\tc\r\n");
    ServerProcess server({"--port", "0", "--dir", catalogues.Path().string()});
    ASSERT_GT(server.Port(), 0);
    struct Case {
        std::string name;
        std::string request;
        std::string status;
        std::string title;
    } cases[] = {
        // The body is announced but never sent: the answer comes without waiting for it.
        {"gigabyte body announced",
         "POST /Tools/Analysis/Analysis.asp?Source=SMTP HTTP/1.1\r\nHost: x\r\n"
         "Content-Length: 1073741824\r\n\r\n",
         "HTTP/1.1 413 Payload Too Large", "Request too large"},
        {"chunked body to any path",
         "POST /anything HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n"
         "100000\r\n",
         "HTTP/1.1 413 Payload Too Large", "Request too large"},
        {"body just over the limit",
         "POST /Tools/Analysis/Analysis.asp HTTP/1.1\r\nHost: x\r\n"
         "Content-Length: 4097\r\n\r\n",
         "HTTP/1.1 413 Payload Too Large", "Request too large"},
        {"garbage request line", "GARBAGE\r\n\r\n", "HTTP/1.1 400 Bad Request", "Bad request"},
        {"address too long", "GET /" + std::string(9000, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n",
         "HTTP/1.1 414 URI Too Long", "Address too long"},
        {"no such page", "GET /nothing HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 404 Not Found", "Not found"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Connection connection(server.Port());
        ASSERT_TRUE(connection.Connected());
        ASSERT_TRUE(connection.Send(c.request));
        const std::string reply = connection.ReadAll();
        EXPECT_EQ(StatusLine(reply), c.status);
        EXPECT_EQ(Title(reply), c.title);
    }
    // A small body is still read and the catalogue served.
    httplib::Client client("127.0.0.1", server.Port());
    const auto small = client.Post("/Tools/Analysis/Analysis.asp?Source=SMTP", std::string(100, 'x'),
                                   "application/x-www-form-urlencoded");
    ASSERT_TRUE(small);
    EXPECT_EQ(small->status, 200);
    EXPECT_EQ(small->body, "a\tb\tc\r\n");
}

TEST(HostileLibraryServer, ClientsHoldingConnectionsOpenDoNotShutOutOthers) {
    TempDir catalogues;
    ServerProcess server({"--port", "0", "--dir", catalogues.Path().string()});
    ASSERT_GT(server.Port(), 0);
    // Another client opens many connections, sends a header line now and then on some, nothing on others.
    std::vector<std::unique_ptr<Connection>> held;
    for (int i = 0; i < 40; ++i) {
        held.push_back(std::make_unique<Connection>(server.Port(), "127.0.0.2"));
        ASSERT_TRUE(held.back()->Connected());
        if (i % 2 == 0)
            held.back()->Send("GET / HTTP/1.1\r\n");
    }
    // All but the few it may have served at once are refused straight away.
    int refused = 0;
    for (auto& connection : held)
        refused += connection->AnsweredWithin(std::chrono::milliseconds(2000)) ? 1 : 0;
    EXPECT_GE(refused, 36);

    // Meanwhile everyone else is served, while the slow client keeps trickling header lines.
    httplib::Client client("127.0.0.1", server.Port());
    client.set_read_timeout(std::chrono::seconds(5));
    for (int i = 0; i < 10; ++i) {
        SCOPED_TRACE(i);
        for (auto& connection : held)
            connection->Send("X-Slow: 1\r\n");
        const auto home = client.Get("/");
        ASSERT_TRUE(home);
        EXPECT_EQ(home->status, 200);
    }
    // The ones served are cut off at the request deadline however they trickle: within 20 s every held
    // connection has been answered or closed.
    const auto until = Clock::now() + std::chrono::seconds(20);
    for (auto& connection : held) {
        while (Clock::now() < until && !connection->AnsweredWithin(std::chrono::milliseconds(500)))
            connection->Send("X-Slow: 1\r\n");
        EXPECT_TRUE(connection->AnsweredWithin(std::chrono::milliseconds(0)));
    }
}

TEST(HostileLibraryServer, KnowledgeBaseMakesOnlyWebLinksLiveAndEscapesEverything) {
    TempDir catalogues;
    WriteBytes(catalogues.File("SMTP-Analysis.tab"),
               "script\tjavascript:alert(1)\t<script>alert(1)</script>\r\n"
               "data\tdata:text/html,<b>x</b>\tdata link\r\n"
               "web\thttps://example.org/a\"onmouseover=\"x\tweb link\r\n"
               "plain\tHTTP://EXAMPLE.ORG/b\tupper-case scheme\r\n"
               "own\t{LIBRARY}/Tools/Analysis/help.asp\tlibrary link\r\n"
               "quote'\t\tit's\r\n");
    ServerProcess server({"--port", "0", "--dir", catalogues.Path().string()});
    ASSERT_GT(server.Port(), 0);
    httplib::Client browser("127.0.0.1", server.Port());
    const auto index = browser.Get("/kb");
    ASSERT_TRUE(index);
    ASSERT_EQ(index->status, 200);
    const std::string& page = index->body;
    struct Case {
        std::string text;
        bool present;
    } cases[] = {
        {"href=\"javascript:", false},
        {"href=\"data:", false},
        {"<script>", false},
        {"&lt;script&gt;alert(1)&lt;/script&gt;", true},
        {"(javascript:alert(1))", true},
        {"href=\"https://example.org/a&quot;onmouseover=&quot;x\"", true},
        {"href=\"HTTP://EXAMPLE.ORG/b\"", true},
        {"href=\"/Tools/Analysis/help.asp\"", true},
        {"it&#39;s", true},
        {"quote&#39;", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(page.find(c.text) != std::string::npos, c.present);
    }
}

TEST(HostileLibraryServer, CatalogueLinksOutOfTheFolderAreNotFollowed) {
    TempDir root;
    const std::string folder = root.File("catalogues");
    std::filesystem::create_directory(folder);
    WriteBytes(root.File("outside.tab"), "outside entry\t\tnever served\r\n");
    WriteBytes(root.File("catalogues/SMTP-Analysis.tab"), "inside entry\t\tserved\r\n");
    std::filesystem::create_symlink("/proc/self/status", folder + "/POP-Analysis.tab");
    std::filesystem::create_symlink(root.File("outside.tab"), folder + "/MTA-Analysis.tab");
    std::filesystem::create_symlink("SMTP-Analysis.tab", folder + "/LS-Analysis.tab"); // stays inside
    std::filesystem::create_symlink("../outside.tab", folder + "/OTHER-Analysis.tab");
    ServerProcess server({"--port", "0", "--dir", folder});
    ASSERT_GT(server.Port(), 0);
    httplib::Client browser("127.0.0.1", server.Port());
    struct Case {
        std::string source;
        std::string body;
    } cases[] = {
        {"SMTP", "inside entry\t\tserved\r\n"},
        {"LS", "inside entry\t\tserved\r\n"},
        {"POP", "<!BRINDLEMAR>The library has no analysis for POP at this time."},
        {"MTA", "<!BRINDLEMAR>The library has no analysis for MTA at this time."},
        {"OTHER", "<!BRINDLEMAR>The library has no analysis for OTHER at this time."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        const auto reply = browser.Get("/Tools/Analysis/Analysis.asp?Source=" + c.source);
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->body, c.body);
    }
    const auto index = browser.Get("/kb");
    ASSERT_TRUE(index);
    EXPECT_EQ(index->body.find("never served"), std::string::npos);
    EXPECT_EQ(index->body.find("VmRSS"), std::string::npos);
    EXPECT_EQ(index->body.find("id=\"source-POP\""), std::string::npos);
    EXPECT_NE(index->body.find("id=\"source-LS\""), std::string::npos);
}

TEST(HostileLibraryServer, KnowledgeBaseFollowsCatalogueChangesAndStaysBounded) {
    TempDir catalogues;
    WriteBytes(catalogues.File("SMTP-Analysis.tab"), "first\t{LIBRARY}/kb/first-one\tthe first\r\n");
    ServerProcess server({"--port", "0", "--dir", catalogues.Path().string()});
    ASSERT_GT(server.Port(), 0);
    httplib::Client browser("127.0.0.1", server.Port());
    auto article = browser.Get("/kb/first-one");
    ASSERT_TRUE(article);
    EXPECT_EQ(article->status, 200);

    // A changed catalogue is seen at the next request; the old article is gone.
    WriteBytes(catalogues.File("SMTP-Analysis.tab"), "second\t{LIBRARY}/kb/second-one\tthe second\r\n");
    article = browser.Get("/kb/second-one");
    ASSERT_TRUE(article);
    EXPECT_EQ(article->status, 200);
    EXPECT_NE(article->body.find("the second"), std::string::npos);
    article = browser.Get("/kb/first-one");
    ASSERT_TRUE(article);
    EXPECT_EQ(article->status, 404);
    EXPECT_EQ(Title(article->body), "Not found");

    // A catalogue of 32 MiB of line breaks gives a page of bounded size that says it is cut.
    WriteBytes(catalogues.File("POP-Analysis.tab"), std::string((std::size_t{32} << 20) - 1, '\r'));
    const auto index = browser.Get("/kb");
    ASSERT_TRUE(index);
    EXPECT_EQ(index->status, 200);
    EXPECT_LE(index->body.size(), std::size_t{9} << 20);
    EXPECT_NE(index->body.find("too large to show whole"), std::string::npos);
}

} // namespace

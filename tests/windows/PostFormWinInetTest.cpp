// The form POST over WinINet against a real HTTP server on 127.0.0.1: a one-shot Winsock server in a thread
// that records the request's bytes exactly and answers with canned bytes, or stalls.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/Library.h"
#include "catalogue/PostForm.h"

namespace {

struct WinsockSession {
    WinsockSession() {
        WSADATA data{};
        ::WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~WinsockSession() { ::WSACleanup(); }
};

// Accepts one connection, reads one request (head and Content-Length body), records it, then answers
// with `reply` and closes, or (stall) sends nothing and waits until the client gives up.
class OneShotServer {
public:
    explicit OneShotServer(std::string reply, bool stall = false) : reply_(std::move(reply)), stall_(stall) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 1);
        int length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~OneShotServer() {
        stop_ = true;
        ::closesocket(listener_);
        thread_.join();
    }
    OneShotServer(const OneShotServer&) = delete;
    OneShotServer& operator=(const OneShotServer&) = delete;

    std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }
    std::string Request() {
        std::lock_guard<std::mutex> lock(mutex_);
        return request_;
    }

private:
    // Waits up to 100 ms for the socket to be readable; false on time-out.
    static bool Readable(SOCKET s) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(s, &set);
        timeval wait{0, 100000};
        return ::select(0, &set, nullptr, nullptr, &wait) > 0;
    }

    void Serve() {
        // Bounded: a client that never comes leaves after 30 s.
        for (int i = 0; i < 300 && !stop_ && !Readable(listener_); ++i) {
        }
        if (stop_)
            return;
        const SOCKET client = ::accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET)
            return;
        std::string received;
        char buffer[4096];
        std::size_t wanted = std::string::npos;
        for (int i = 0; i < 300 && !stop_ && received.size() < wanted; ++i) {
            if (!Readable(client))
                continue;
            const int n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            received.append(buffer, static_cast<std::size_t>(n));
            const std::size_t headEnd = received.find("\r\n\r\n");
            if (headEnd != std::string::npos && wanted == std::string::npos) {
                std::size_t bodyLength = 0;
                const std::size_t field = received.find("Content-Length: ");
                if (field != std::string::npos && field < headEnd)
                    bodyLength = std::stoul(received.substr(field + 16));
                wanted = headEnd + 4 + bodyLength;
            }
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            request_ = received;
        }
        if (stall_) {
            // Until the client closes the connection (recv gives 0) or the test ends.
            for (int i = 0; i < 300 && !stop_; ++i)
                if (Readable(client) && ::recv(client, buffer, sizeof buffer, 0) <= 0)
                    break;
        } else {
            std::size_t sent = 0;
            while (sent < reply_.size()) {
                const int n = ::send(client, reply_.data() + sent, static_cast<int>(reply_.size() - sent), 0);
                if (n <= 0)
                    break;
                sent += static_cast<std::size_t>(n);
            }
            ::shutdown(client, SD_SEND);
        }
        ::closesocket(client);
    }

    WinsockSession winsock_;
    std::string reply_;
    bool stall_;
    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::string request_;
};

std::string Reply(const std::string& body, bool withLength = true, const std::string& status = "200 OK") {
    std::string reply = "HTTP/1.0 " + status + "\r\nContent-Type: text/plain\r\n";
    if (withLength)
        reply += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    return reply + "\r\n" + body;
}

// Bytes that differ from chunk to chunk, so a chunk out of order or lost shows.
std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>("0123456789abcdef\t\r\n"[(i * 7 + i / 2048) % 19]);
    return bytes;
}

std::vector<std::string> HeadLines(const std::string& request) {
    std::vector<std::string> lines;
    const std::size_t end = request.find("\r\n\r\n");
    std::size_t start = 0;
    while (start < end) {
        const std::size_t stop = request.find("\r\n", start);
        lines.push_back(request.substr(start, stop - start));
        start = stop + 2;
    }
    return lines;
}

bool HasLine(const std::vector<std::string>& lines, const std::string& wanted) {
    for (const std::string& line : lines)
        if (_stricmp(line.c_str(), wanted.c_str()) == 0)
            return true;
    return false;
}

TEST(PostFormWinInet, TheRequestOnTheWire) {
    struct Row {
        const char* name;
        std::string body;
    };
    const std::vector<Row> rows = {{"empty body", ""}, {"form body", "a=1&b=%20two"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        OneShotServer server(Reply("ok"));
        EXPECT_EQ(catalogue::PostForm(server.Host(), catalogue::CatalogueRequestPath("SMTP"), row.body),
                  "ok");
        const std::string request = server.Request();
        const std::vector<std::string> lines = HeadLines(request);
        ASSERT_FALSE(lines.empty()) << request;
        EXPECT_EQ(lines[0], "POST /Tools/Analysis/Analysis.asp?Source=SMTP HTTP/1.0");
        EXPECT_TRUE(HasLine(lines, "Content-Type: application/x-www-form-urlencoded")) << request;
        EXPECT_TRUE(HasLine(lines, "User-Agent: http generic")) << request;
        EXPECT_TRUE(HasLine(lines, "Content-Length: " + std::to_string(row.body.size()))) << request;
        EXPECT_EQ(request.substr(request.find("\r\n\r\n") + 4), row.body);
    }
}

TEST(PostFormWinInet, RepliesComeBackWhole) {
    struct Row {
        const char* name;
        std::string reply;
        std::string body;
    };
    const std::string big = Pattern(1u << 20);
    const std::string mid = Pattern(5000);
    const std::vector<Row> rows = {
        {"0 bytes", Reply(""), ""},
        {"2048 bytes, one read and an empty one", Reply(Pattern(2048)), Pattern(2048)},
        {"5,000 bytes", Reply(mid), mid},
        {"5,000 bytes, ended by closing", Reply(mid, false), mid},
        {"1 MiB", Reply(big), big},
        {"an error page is a reply like any other", Reply("<html>gone</html>", true, "404 Not Found"),
         "<html>gone</html>"},
        {"CR LF and TAB kept", Reply("a\tb\r\nc\r\n"), "a\tb\r\nc\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        OneShotServer server(row.reply);
        const std::string got = catalogue::PostForm(server.Host(), "/t", "");
        EXPECT_EQ(got.size(), row.body.size());
        EXPECT_TRUE(got == row.body);
    }
}

TEST(PostFormWinInet, FailuresGiveNothing) {
    catalogue::PostFormLimits capped;
    capped.maxReplyBytes = 4096;
    catalogue::PostFormLimits quick;
    quick.connectTimeoutMs = 1000;
    quick.totalTimeoutMs = 1500;
    struct Row {
        const char* name;
        std::string reply;
        bool stall;
        catalogue::PostFormLimits limits;
    };
    const std::vector<Row> rows = {
        {"a reply over the cap, announced", Reply(Pattern(5000)), false, capped},
        {"a reply over the cap, ended by closing", Reply(Pattern(5000), false), false, capped},
        {"a reply cut short of its Content-Length",
         "HTTP/1.0 200 OK\r\nContent-Length: 5000\r\n\r\nonly this",
         false,
         {}},
        {"a server that stalls, with a lowered time-out", "", true, quick},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        OneShotServer server(row.reply, row.stall);
        EXPECT_EQ(catalogue::PostForm(server.Host(), "/t", "", row.limits), "");
    }
    // A reply exactly at the cap is still whole.
    OneShotServer atCap(Reply(Pattern(4096)));
    EXPECT_EQ(catalogue::PostForm(atCap.Host(), "/t", "", capped).size(), 4096u);
}

TEST(PostFormWinInet, NothingIsSentForAHostOrTargetThatIsNotPlain) {
    const std::vector<std::pair<std::string, std::string>> rows = {{"http://127.0.0.1", "/t"},
                                                                   {"user@127.0.0.1", "/t"},
                                                                   {"127.0.0.1:99999", "/t"},
                                                                   {"127.0.0.1:1", "no-slash"},
                                                                   {"127.0.0.1:1", "/a b"},
                                                                   {"127.0.0.1:1", "/a#b"},
                                                                   {"", "/t"}};
    for (const auto& [host, target] : rows) {
        SCOPED_TRACE(host + " " + target);
        EXPECT_EQ(catalogue::PostForm(host, target, ""), "");
    }
}

TEST(PostFormWinInet, NoListenerGivesNothing) {
    WinsockSession winsock;
    // A port that was just free: bound, then closed, so nobody listens on it.
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int length = sizeof address;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    ::closesocket(s);
    catalogue::PostFormLimits quick;
    quick.connectTimeoutMs = 2000;
    quick.totalTimeoutMs = 4000;
    EXPECT_EQ(catalogue::PostForm("127.0.0.1:" + std::to_string(ntohs(address.sin_port)), "/t", "", quick),
              "");
}

} // namespace

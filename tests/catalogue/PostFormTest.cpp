#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "TestServers.h"
#include "catalogue/PostForm.h"
#include "support/TestSupport.h"
#include "text/Ascii.h"

namespace {

using catalogue::PostForm;
using catalogue::PostFormLimits;
using testing_support::HttpTestServer;
using testing_support::RawTestServer;
using testing_support::ScopedEnv;

// Every byte value, CR LF and TAB included, repeated to the given length.
std::string ReplyBytes(std::size_t size) {
    std::string bytes;
    bytes.reserve(size);
    const std::string pattern = "Relay denied\t550 5.7.1\r\n\xE9\x80\n\r";
    for (std::size_t i = 0; bytes.size() < size; ++i)
        bytes.push_back(i % 3 == 0 ? static_cast<char>(i % 256) : pattern[i % pattern.size()]);
    return bytes;
}

std::string HttpReply(std::string_view status, std::string_view body, bool withLength = true) {
    std::string reply = "HTTP/1.0 ";
    reply.append(status);
    reply.append("\r\nContent-Type: text/plain\r\n");
    if (withLength)
        reply.append("Content-Length: " + std::to_string(body.size()) + "\r\n");
    reply.append("\r\n");
    reply.append(body);
    return reply;
}

class PostFormTest : public ::testing::Test {
protected:
    // The tests talk to 127.0.0.1 directly, whatever proxy the machine has configured.
    ScopedEnv noProxy_{"no_proxy", "*"};
    PostFormLimits quick_{2000, 5000, 32u << 20};
};

struct SeenRequest {
    std::string method, target, version, contentType, userAgent, cacheControl, pragma, expect, body;
    bool hasContentLength = false;
    std::string contentLength;
};

TEST_F(PostFormTest, SendsTheFormRequestAsSpecified) {
    std::mutex mutex;
    SeenRequest seen;
    HttpTestServer server([&](httplib::Server& s) {
        s.Post(".*", [&](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard lock(mutex);
            seen = {req.method,
                    req.target,
                    req.version,
                    req.get_header_value("Content-Type"),
                    req.get_header_value("User-Agent"),
                    req.get_header_value("Cache-Control"),
                    req.get_header_value("Pragma"),
                    req.get_header_value("Expect"),
                    req.body,
                    req.has_header("Content-Length"),
                    req.get_header_value("Content-Length")};
            res.set_content("ok", "text/plain");
        });
    });

    struct Case {
        std::string body;
    } cases[] = {{""}, {"a=1&b=%E9+x"}, {std::string("raw\0\xFF\r\n", 7)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        ASSERT_EQ(PostForm(server.Host(), "/Tools/Analysis/Analysis.asp?Source=SMTP", c.body, quick_), "ok");
        std::lock_guard lock(mutex);
        EXPECT_EQ(seen.method, "POST");
        EXPECT_EQ(seen.target, "/Tools/Analysis/Analysis.asp?Source=SMTP");
        EXPECT_EQ(seen.version, "HTTP/1.0");
        EXPECT_EQ(seen.contentType, "application/x-www-form-urlencoded");
        EXPECT_EQ(seen.userAgent, "http generic");
        EXPECT_EQ(seen.cacheControl, "no-cache");
        EXPECT_EQ(seen.pragma, "no-cache");
        EXPECT_EQ(seen.expect, "");
        EXPECT_TRUE(seen.hasContentLength);
        EXPECT_EQ(seen.contentLength, std::to_string(c.body.size()));
        EXPECT_EQ(seen.body, c.body);
    }
}

TEST_F(PostFormTest, RequestLineAndHeadersAreExactOnTheWire) {
    RawTestServer server(HttpReply("200 OK", "done"));
    ASSERT_EQ(PostForm(server.Host(), "/Tools/Analysis/Analysis.asp?Source=POPC", "", quick_), "done");
    const std::string request = server.Request();
    EXPECT_EQ(request.rfind("POST /Tools/Analysis/Analysis.asp?Source=POPC HTTP/1.0\r\n", 0), 0u) << request;
    EXPECT_NE(request.find("\r\nHost: " + server.Host() + "\r\n"), std::string::npos) << request;
    EXPECT_NE(request.find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"), std::string::npos);
    EXPECT_NE(request.find("\r\nContent-Length: 0\r\n"), std::string::npos) << request;
    EXPECT_EQ(request.find("Expect:"), std::string::npos) << request;
    EXPECT_EQ(request.substr(request.size() - 4), "\r\n\r\n") << "an empty body follows the head";
    // Exactly these headers, in any order: no "Accept: */*" or other header of the client's own.
    std::vector<std::string> names;
    for (std::size_t at = request.find("\r\n") + 2; at < request.size();) {
        const std::size_t end = request.find("\r\n", at);
        if (end == std::string::npos || end == at)
            break;
        std::string name = request.substr(at, request.find(':', at) - at);
        for (char& c : name)
            c = text::AsciiLower(c);
        names.push_back(name);
        at = end + 2;
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"cache-control", "content-length", "content-type", "host",
                                               "pragma", "user-agent"}))
        << request;
}

TEST_F(PostFormTest, TargetIsSentUnencodedAndUnnormalised) {
    const std::string targets[] = {
        "/Tools/Analysis/Analysis.asp?Source=SMTP",
        "/a/../b/./c//d?x=%41&y=a+b;c,d=e:f@g!$'()*~",
        "/%7Euser/%2e%2E/?q=%zz&r=[1]{2}|3^4`5\\6\"7<8>",
    };
    for (const auto& target : targets) {
        SCOPED_TRACE(target);
        RawTestServer server(HttpReply("200 OK", "x"));
        ASSERT_EQ(PostForm(server.Host(), target, "", quick_), "x");
        EXPECT_EQ(server.Request().rfind("POST " + target + " HTTP/1.0\r\n", 0), 0u) << server.Request();
    }
}

TEST_F(PostFormTest, UnsafeHostOrTargetIsRefusedWithoutConnecting) {
    RawTestServer server(HttpReply("200 OK", "should not be read"));
    const std::string host = server.Host();
    struct Case {
        std::string host, path;
    } cases[] = {
        {host, "/a b"},
        {host, "/a\r\nX-Injected: 1"},
        {host, "/a\nb"},
        {host, std::string("/a\0b", 4)},
        {host, "/a#fragment"},
        {host, "/caf\xE9"},
        {host, "relative"},
        {host, ""},
        {"", "/x"},
        {"user@" + host, "/x"},
        {"http://" + host, "/x"},
        {host + "/x", "/y"},
        {"127.0.0.1 " + host, "/x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host + " " + c.path);
        EXPECT_EQ(PostForm(c.host, c.path, "", quick_), "");
    }
    EXPECT_FALSE(server.Connected());
}

TEST_F(PostFormTest, RepliesComeBackWholeWithEveryByteKept) {
    for (const std::size_t size :
         {std::size_t{0}, std::size_t{1}, std::size_t{2048}, std::size_t{5000}, std::size_t{1} << 20}) {
        SCOPED_TRACE(size);
        const std::string body = ReplyBytes(size);
        HttpTestServer server([&](httplib::Server& s) {
            s.Post(".*", [&](const httplib::Request&, httplib::Response& res) {
                res.set_content(body, "text/plain; charset=windows-1252");
            });
        });
        EXPECT_EQ(PostForm(server.Host(), "/x", "", quick_), body);
    }
}

TEST_F(PostFormTest, ReplyReadUntilCloseWithoutContentLength) {
    const std::string body = ReplyBytes(5000);
    RawTestServer server(HttpReply("200 OK", body, false));
    EXPECT_EQ(PostForm(server.Host(), "/x", "", quick_), body);
}

TEST_F(PostFormTest, ErrorStatusBodyIsReturnedLikeAnyReply) {
    struct Case {
        int status;
        std::string body;
    } cases[] = {{404, "Not Found\r\n"}, {500, "<!DOCTYPE html><p>Internal error</p>"}, {302, "Moved\r\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        HttpTestServer server([&](httplib::Server& s) {
            s.Post(".*", [&](const httplib::Request&, httplib::Response& res) {
                res.status = c.status;
                if (c.status == 302)
                    res.set_header("Location", "/elsewhere");
                res.set_content(c.body, "text/plain");
            });
            s.Post("/elsewhere", [](const httplib::Request&, httplib::Response& res) {
                res.set_content("followed", "text/plain");
            });
            s.Get("/elsewhere", [](const httplib::Request&, httplib::Response& res) {
                res.set_content("followed", "text/plain");
            });
        });
        EXPECT_EQ(PostForm(server.Host(), "/x", "", quick_), c.body);
    }
}

TEST_F(PostFormTest, NobodyListeningGivesEmptyText) {
    RawTestServer closed("", RawTestServer::Behaviour::NoListener);
    EXPECT_EQ(PostForm(closed.Host(), "/Tools/Analysis/Analysis.asp?Source=SMTP", "", quick_), "");
}

TEST_F(PostFormTest, UnknownHostGivesEmptyText) {
    EXPECT_EQ(PostForm("no-such-host.invalid", "/x", "", quick_), "");
}

TEST_F(PostFormTest, StalledServerGivesEmptyTextAfterTheTimeLimit) {
    RawTestServer server("", RawTestServer::Behaviour::Stall);
    const PostFormLimits limits{2000, 1000, 32u << 20};
    EXPECT_EQ(PostForm(server.Host(), "/x", "", limits), "");
    EXPECT_TRUE(server.Connected());
}

TEST_F(PostFormTest, ReplyCutShortGivesEmptyText) {
    std::string reply = HttpReply("200 OK", ReplyBytes(100));
    reply.resize(reply.size() - 40); // the server closes before the announced length
    RawTestServer server(reply);
    EXPECT_EQ(PostForm(server.Host(), "/x", "", quick_), "");
}

TEST_F(PostFormTest, ReplySizeLimit) {
    const std::string body = ReplyBytes(5000);
    struct Case {
        std::size_t limit;
        bool withLength;
        std::string expected;
    } cases[] = {
        {5000, true, body}, {5000, false, body}, {4999, true, ""}, {4999, false, ""}, {0, true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.limit) + (c.withLength ? " with length" : " until close"));
        RawTestServer server(HttpReply("200 OK", body, c.withLength));
        EXPECT_EQ(PostForm(server.Host(), "/x", "", {2000, 5000, c.limit}), c.expected);
    }
}

TEST_F(PostFormTest, ProxyFromTheEnvironmentGetsTheAbsoluteTarget) {
    RawTestServer proxy(HttpReply("200 OK", "via proxy"));
    ScopedEnv httpProxy("http_proxy", "http://" + proxy.Host());
    ScopedEnv noProxy("no_proxy", "");
    EXPECT_EQ(PostForm("library.example.invalid", "/Tools/Analysis/Analysis.asp?Source=SF", "", quick_),
              "via proxy");
    const std::string request = proxy.Request();
    EXPECT_EQ(request.rfind("POST http://library.example.invalid/Tools/Analysis/Analysis.asp?Source=SF "
                            "HTTP/1.0\r\n",
                            0),
              0u)
        << request;
}

} // namespace

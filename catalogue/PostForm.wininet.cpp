// The form POST over WinINet, with the request the library server has always received from this system:
// InternetOpenA ("http generic", the system's proxy settings), InternetConnectA, HttpOpenRequestA "POST"
// with HTTP/1.0 and INTERNET_FLAG_RELOAD, the Content-Type header, HttpSendRequestA, then InternetReadFile
// to the end. Bounded as the other backend is: connect and whole-exchange time-outs, a cap on the reply,
// and a reply cut short (fewer bytes than its Content-Length) gives "" rather than part of a catalogue.
#include <windows.h>
#include <wininet.h>

#include <chrono>
#include <new>
#include <string>

#include "catalogue/PostForm.h"
#include "catalogue/PostFormChecks.h"

namespace catalogue {

namespace {

constexpr const char* kUserAgent = "http generic";
constexpr char kContentType[] = "Content-Type: application/x-www-form-urlencoded\r\n";
constexpr DWORD kReadChunk = 2048;

// An Internet handle closed on every path; handles are declared in the order they are opened, so they
// close in the reverse order.
class InternetHandle {
public:
    explicit InternetHandle(HINTERNET handle) : handle_(handle) {}
    ~InternetHandle() {
        if (handle_ != nullptr)
            ::InternetCloseHandle(handle_);
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    HINTERNET Get() const { return handle_; }

private:
    HINTERNET handle_;
};

// "host", "host:port", "[v6]" or "[v6]:port" as WinINet takes them: the bare name and the port (80 when
// none is named). False for a port that is not a number from 1 to 65535.
bool SplitHost(std::string_view host, std::string& name, INTERNET_PORT& port) {
    port = INTERNET_DEFAULT_HTTP_PORT;
    std::string_view portText;
    if (host.front() == '[') {
        const std::size_t close = host.find(']');
        if (close == std::string_view::npos)
            return false;
        name.assign(host.substr(1, close - 1));
        const std::string_view rest = host.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':')
                return false;
            portText = rest.substr(1);
            if (portText.empty())
                return false;
        }
    } else {
        const std::size_t colon = host.find(':');
        name.assign(host.substr(0, colon));
        if (colon != std::string_view::npos) {
            portText = host.substr(colon + 1);
            if (portText.empty() || portText.find(':') != std::string_view::npos)
                return false;
        }
    }
    if (name.empty())
        return false;
    if (!portText.empty()) {
        unsigned long value = 0;
        for (const char c : portText) {
            if (c < '0' || c > '9' || value > 65535)
                return false;
            value = value * 10 + static_cast<unsigned long>(c - '0');
        }
        if (value == 0 || value > 65535)
            return false;
        port = static_cast<INTERNET_PORT>(value);
    }
    return true;
}

bool SetTimeout(HINTERNET handle, DWORD option, long milliseconds) {
    DWORD value = static_cast<DWORD>(milliseconds < 1 ? 1 : milliseconds);
    return ::InternetSetOptionA(handle, option, &value, sizeof value) != FALSE;
}

// The reply's Content-Length, or -1 when it has none (the reply then ends when the server closes).
long long ContentLength(HINTERNET request) {
    char text[32] = {};
    DWORD size = sizeof text - 1;
    DWORD index = 0;
    if (!::HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, &index) || size == 0)
        return -1;
    long long value = 0;
    for (DWORD i = 0; i < size; ++i) {
        if (text[i] < '0' || text[i] > '9' || value > (1LL << 50))
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

} // namespace

std::string PostForm(std::string_view host, std::string_view path, std::string_view body,
                     const PostFormLimits& limits) {
    try {
        using Clock = std::chrono::steady_clock;
        const auto start = Clock::now();
        const bool bounded = limits.totalTimeoutMs > 0;
        const auto deadline = start + std::chrono::milliseconds(limits.totalTimeoutMs);
        const auto remainingMs = [&] {
            return static_cast<long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
        };

        std::string name;
        INTERNET_PORT port = INTERNET_DEFAULT_HTTP_PORT;
        if (!IsPlainHost(host) || !IsPlainTarget(path) || !SplitHost(host, name, port) ||
            body.size() > 0xFFFFFFFFu)
            return {};
        const std::string target(path);

        InternetHandle root(::InternetOpenA(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
        if (root.Get() == nullptr)
            return {};
        // Set on the root handle, the time-outs hold for the connection and the request made from it.
        long connectMs = limits.connectTimeoutMs;
        if (bounded && (connectMs <= 0 || connectMs > limits.totalTimeoutMs))
            connectMs = limits.totalTimeoutMs;
        if (connectMs > 0 && !SetTimeout(root.Get(), INTERNET_OPTION_CONNECT_TIMEOUT, connectMs))
            return {};
        if (bounded && (!SetTimeout(root.Get(), INTERNET_OPTION_SEND_TIMEOUT, limits.totalTimeoutMs) ||
                        !SetTimeout(root.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, limits.totalTimeoutMs)))
            return {};

        InternetHandle connection(::InternetConnectA(root.Get(), name.c_str(), port, nullptr, nullptr,
                                                     INTERNET_SERVICE_HTTP, 0, 0));
        if (connection.Get() == nullptr)
            return {};
        InternetHandle request(::HttpOpenRequestA(connection.Get(), "POST", target.c_str(), "HTTP/1.0",
                                                  nullptr, nullptr, INTERNET_FLAG_RELOAD, 0));
        if (request.Get() == nullptr)
            return {};
        // The request's own time-outs bound the wait for the reply's head as well as each read.
        if (bounded) {
            const long left = remainingMs();
            if (left <= 0 || !SetTimeout(request.Get(), INTERNET_OPTION_SEND_TIMEOUT, left) ||
                !SetTimeout(request.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, left))
                return {};
        }
        ::HttpAddRequestHeadersA(request.Get(), kContentType, sizeof kContentType - 1,
                                 HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);

        // HttpSendRequestA takes the body as non-const; it only reads it.
        std::string bodyBytes(body);
        if (!::HttpSendRequestA(request.Get(), nullptr, 0, bodyBytes.empty() ? nullptr : bodyBytes.data(),
                                static_cast<DWORD>(bodyBytes.size())))
            return {};
        if (bounded && remainingMs() <= 0)
            return {};

        const long long announced = ContentLength(request.Get());
        if (announced >= 0 && static_cast<unsigned long long>(announced) > limits.maxReplyBytes)
            return {};

        std::string reply;
        char buffer[kReadChunk];
        for (;;) {
            if (bounded) {
                const long left = remainingMs();
                // The exchange as a whole has run out of time: a stalled or trickling server gives "".
                if (left <= 0 || !SetTimeout(request.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, left))
                    return {};
            }
            DWORD got = 0;
            if (!::InternetReadFile(request.Get(), buffer, kReadChunk, &got))
                return {}; // failed or timed out part-way: no part of a reply is given
            if (got == 0)
                break;
            if (got > limits.maxReplyBytes - reply.size())
                return {};
            reply.append(buffer, got);
        }
        // A connection closed before the announced length arrived is a reply cut short.
        if (announced >= 0 && reply.size() != static_cast<unsigned long long>(announced))
            return {};
        return reply;
    } catch (...) {
        return {};
    }
}

} // namespace catalogue

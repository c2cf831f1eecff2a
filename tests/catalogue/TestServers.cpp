#include "TestServers.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace testing_support {

HttpTestServer::HttpTestServer(const std::function<void(httplib::Server&)>& setup) {
    setup(server_);
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ <= 0)
        throw std::runtime_error("cannot bind the test HTTP server");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
}

HttpTestServer::~HttpTestServer() {
    server_.stop();
    thread_.join();
}

namespace {

// Waits until fd is readable or the stop flag is set; false when stopped.
bool WaitReadable(int fd, const std::atomic<bool>& stop) {
    while (!stop) {
        pollfd p{fd, POLLIN, 0};
        const int n = ::poll(&p, 1, 50);
        if (n > 0)
            return true;
    }
    return false;
}

std::size_t ContentLength(const std::string& head) {
    // Header names are case-insensitive; the client writes "Content-Length".
    std::string lower;
    for (const char c : head)
        lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    const std::size_t at = lower.find("\r\ncontent-length:");
    if (at == std::string::npos)
        return 0;
    return std::stoul(head.substr(at + 17));
}

} // namespace

RawTestServer::RawTestServer(std::string reply, Behaviour behaviour, std::chrono::milliseconds interval)
    : reply_(std::move(reply)), behaviour_(behaviour), interval_(interval) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0)
        throw std::runtime_error("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("bind");
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    if (behaviour_ == Behaviour::NoListener) {
        // Bound but never listening: a connection is refused.
        return;
    }
    if (::listen(listener_, 4) != 0)
        throw std::runtime_error("listen");
    thread_ = std::thread([this] { Serve(); });
}

RawTestServer::~RawTestServer() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listener_ >= 0)
        ::close(listener_);
}

void RawTestServer::Serve() {
    if (!WaitReadable(listener_, stop_))
        return;
    const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0)
        return;
    {
        std::lock_guard lock(mutex_);
        connected_ = true;
    }
    std::string received;
    std::size_t wanted = std::string::npos;
    char buffer[65536];
    while (received.size() < wanted && WaitReadable(connection, stop_)) {
        const ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        received.append(buffer, static_cast<std::size_t>(n));
        const std::size_t headEnd = received.find("\r\n\r\n");
        if (wanted == std::string::npos && headEnd != std::string::npos)
            wanted = headEnd + 4 + ContentLength(received.substr(0, headEnd + 2));
    }
    {
        std::lock_guard lock(mutex_);
        request_ = received;
    }
    const timeval sendTimeout{0, 200000};
    ::setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
    // Sends bytes whole; false once the client has gone (or the test ends).
    const auto sendAll = [&](std::string_view rest) {
        while (!rest.empty() && !stop_) {
            const ssize_t n = ::send(connection, rest.data(), rest.size(), MSG_NOSIGNAL);
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
                continue; // the send time-out lets the stop flag be seen while the client reads nothing
            if (n <= 0)
                return false;
            sent_ += static_cast<std::size_t>(n);
            rest.remove_prefix(static_cast<std::size_t>(n));
        }
        return !stop_;
    };
    if (behaviour_ == Behaviour::Stall) {
        // Hold the connection until the client closes it (recv gives 0) or the test ends.
        while (WaitReadable(connection, stop_) && ::recv(connection, buffer, sizeof buffer, 0) > 0) {
        }
    } else if (behaviour_ == Behaviour::Trickle) {
        for (std::size_t i = 0; i < reply_.size() && sendAll(std::string_view(reply_).substr(i, 1)); ++i) {
            // Wait one interval, or less if the client closes meanwhile.
            pollfd p{connection, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(interval_.count())) > 0 &&
                ::recv(connection, buffer, sizeof buffer, MSG_DONTWAIT) <= 0)
                break;
        }
        ::shutdown(connection, SHUT_WR);
    } else if (behaviour_ == Behaviour::Endless) {
        const std::string filler(65536, 'x');
        if (sendAll(reply_)) {
            while (sendAll(filler)) {
            }
        }
    } else {
        sendAll(reply_);
        ::shutdown(connection, SHUT_WR);
    }
    ::close(connection);
    stop_ = true;
}

std::string RawTestServer::Request() {
    std::lock_guard lock(mutex_);
    return request_;
}

bool RawTestServer::Connected() {
    std::lock_guard lock(mutex_);
    return connected_;
}

} // namespace testing_support

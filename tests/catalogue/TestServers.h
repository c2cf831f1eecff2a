// Servers on 127.0.0.1 with an ephemeral port for the HTTP tests: a real HTTP server (cpp-httplib) run in
// a thread, and a one-shot raw socket server that records the request's bytes exactly and answers with
// canned bytes, stalls, trickles, sends without end, or closes early.
#pragma once

#include <atomic>
#include <cctype>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include <httplib.h>

namespace testing_support {

// A cpp-httplib server listening on 127.0.0.1; Setup registers its handlers before it starts.
class HttpTestServer {
public:
    explicit HttpTestServer(const std::function<void(httplib::Server&)>& setup);
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    int Port() const { return port_; }
    std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    httplib::Server server_;
    std::thread thread_;
    int port_ = -1;
};

// Accepts one connection, reads one request (head and Content-Length body), records it, then answers.
class RawTestServer {
public:
    enum class Behaviour {
        Reply,      // send `reply`, then close
        Stall,      // send nothing and keep the connection open until the client gives up
        NoListener, // a port on which nobody listens (bound, then closed)
        Trickle,    // send `reply` one byte every `interval`, until it is sent or the client gives up
        Endless,    // send `reply`, then filler bytes without end, until the client gives up
    };
    explicit RawTestServer(std::string reply, Behaviour behaviour = Behaviour::Reply,
                           std::chrono::milliseconds interval = std::chrono::seconds(1));
    ~RawTestServer();
    RawTestServer(const RawTestServer&) = delete;
    RawTestServer& operator=(const RawTestServer&) = delete;

    int Port() const { return port_; }
    std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }
    // The request's bytes as received (recorded before any answer is sent); "" if none came.
    std::string Request();
    // Whether any client connected.
    bool Connected();
    // Bytes of the answer sent before the client closed the connection (or the answer ended).
    std::size_t BytesSent() const { return sent_; }

private:
    void Serve();

    std::string reply_;
    Behaviour behaviour_;
    std::chrono::milliseconds interval_;
    std::atomic<std::size_t> sent_{0};
    int listener_ = -1;
    int port_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::string request_;
    bool connected_ = false;
};

} // namespace testing_support

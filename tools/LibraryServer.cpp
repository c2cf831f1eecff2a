// brindlemar-library-server: a small library server for the analyser. It answers the catalogue request
// from a folder of catalogue files (SOURCE-Analysis.tab) and serves the online help page and the
// knowledge base built from those catalogues. Used for the demo, by sites that mirror the library on their
// own network, and by the tests.
//
// Usage: brindlemar-library-server [--bind ADDR] [--port N] [--dir DIR] [--base-url URL]
//   --bind ADDR     address to listen on (default 127.0.0.1)
//   --port N        port (default 80; 0 picks a free one); the first line printed names the real one
//   --dir DIR       the catalogue folder (default: "catalogues" beside the program)
//   --base-url URL  what "{LIBRARY}" in a catalogue becomes (default: http:// + the Host the client used)
#include <arpa/inet.h>
#include <httplib.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/Catalogue.h"
#include "cli/TerminalText.h"
#include "text/Ansi.h"
#include "text/Ascii.h"
#include "text/LineReader.h"
#include "text/Paths.h"

namespace {

constexpr std::string_view kPlaceholder = "{LIBRARY}";
constexpr std::string_view kKnowledgeBaseLink = "{LIBRARY}/kb/";
constexpr std::string_view kCatalogueSuffix = "-Analysis.tab";
constexpr std::size_t kMaxCatalogueBytes = std::size_t{32} << 20;
// A request body beyond this is refused (413) before any of it is read; the catalogue request is an empty
// POST, so a few KiB is ample.
constexpr std::size_t kMaxRequestBodyBytes = 4096;
// The whole request, head and body, must arrive within this time, however slowly its bytes trickle in.
constexpr std::chrono::seconds kRequestDeadline{10};
// No single read or write waits longer than this.
constexpr std::chrono::seconds kIoTimeout{5};
// Connections one client address may have served at once; more are refused at once, so one client
// cannot hold every worker.
constexpr int kMaxConnectionsPerClient = 4;
constexpr std::size_t kWorkerThreads = 16;
// The knowledge-base index and its articles together stay within this size; what does not fit is left out
// with a note.
constexpr std::size_t kMaxKnowledgeBaseBytes = std::size_t{8} << 20;
// Folder entries looked at when listing the catalogues.
constexpr std::size_t kMaxFolderEntries = 10000;
// The analyser's own sources, listed first in the knowledge base and in this order.
const std::vector<std::string> kKnownSources = {"HTTPMAIL", "SMTP", "LS", "MTA", "POP", "POPC", "SF"};

struct Options {
    std::string bind = "127.0.0.1";
    int port = 80;
    std::string directory;
    std::string baseUrl;
    bool terminal = false; // whether the request log goes to a terminal
};

void PrintUsage(std::ostream& out) {
    out << "Usage: brindlemar-library-server [--bind ADDR] [--port N] [--dir DIR] [--base-url URL]\n"
           "  --bind ADDR     address to listen on (default 127.0.0.1)\n"
           "  --port N        port to listen on (default 80; 0 picks a free port)\n"
           "  --dir DIR       folder of SOURCE-Analysis.tab catalogues (default: catalogues beside the "
           "program)\n"
           "  --base-url URL  replaces {LIBRARY} in served catalogues (default: http:// and the request's "
           "Host)\n";
}

std::optional<int> ParsePort(const std::string& value) {
    if (value.empty() || value.size() > 5 || !std::all_of(value.begin(), value.end(), text::IsAsciiDigit))
        return std::nullopt;
    const int port = std::stoi(value);
    if (port > 65535)
        return std::nullopt;
    return port;
}

// Letters and digits only, so a source code can never name a path outside the catalogue folder.
bool IsSourceCode(std::string_view code) {
    return !code.empty() && code.size() <= 32 && std::all_of(code.begin(), code.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    });
}

// The name of a knowledge-base article: it stands in addresses and HTML attributes unescaped.
bool IsAnchor(std::string_view anchor) {
    return !anchor.empty() && anchor.size() <= 80 && std::all_of(anchor.begin(), anchor.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
               c == '_';
    });
}

// A Host header that can safely stand in a link: host name or address, optionally with a port.
bool IsPlainHostHeader(std::string_view host) {
    return !host.empty() && host.size() <= 255 && std::all_of(host.begin(), host.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
               c == '-' || c == ':' || c == '[' || c == ']';
    });
}

std::string ReplaceAll(std::string_view textIn, std::string_view from, std::string_view to) {
    std::string result;
    result.reserve(textIn.size());
    std::size_t start = 0;
    for (std::size_t at; (at = textIn.find(from, start)) != std::string_view::npos;
         start = at + from.size()) {
        result.append(textIn.substr(start, at - start));
        result.append(to);
    }
    result.append(textIn.substr(start));
    return result;
}

// HTML text of ANSI bytes; a CR LF becomes `lineBreak`.
std::string Html(std::string_view ansi, std::string_view lineBreak = "<br>") {
    const std::string utf8 = text::AnsiToUtf8(ansi);
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        if (c == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') {
            out.append(lineBreak);
            ++i;
        } else if (c == '&') {
            out.append("&amp;");
        } else if (c == '<') {
            out.append("&lt;");
        } else if (c == '>') {
            out.append("&gt;");
        } else if (c == '"') {
            out.append("&quot;");
        } else if (c == '\'') {
            out.append("&#39;");
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string Page(std::string_view title, std::string_view body);

// The page for an error status: its own title and a line saying what went wrong.
std::string ErrorPage(int status) {
    switch (status) {
    case 400:
        return Page("Bad request", "<p>The library could not understand this request.</p>");
    case 404:
        return Page("Not found", "<p>The library has no page at this address.</p>");
    case 405:
        return Page("Method not allowed", "<p>The library does not answer this kind of request here.</p>");
    case 413:
        return Page("Request too large", "<p>The library takes no request body of more than " +
                                             std::to_string(kMaxRequestBodyBytes) + " bytes.</p>");
    case 414:
        return Page("Address too long", "<p>The address of this request is longer than the library reads."
                                        "</p>");
    case 503:
        return Page("Library busy", "<p>The library is serving too many requests of this client.</p>");
    default:
        return Page("Library error", "<p>The library could not answer this request.</p>");
    }
}

std::string Page(std::string_view title, std::string_view body) {
    std::string page = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>";
    page.append(title);
    page.append(
        "</title>\n<style>body{font-family:sans-serif;max-width:60em;margin:2em auto;padding:0 1em;"
        "line-height:1.4}code{background:#f3f3f3;padding:0 .2em}table{border-collapse:collapse;"
        "width:100%}td,th{border:1px solid #ccc;padding:.3em .5em;vertical-align:top;text-align:left}"
        "th{background:#eee}nav a{margin-right:1em}</style></head>\n<body>\n<nav><a href=\"/\">Library"
        "</a><a href=\"/Tools/Analysis/help.asp\">Analyser help</a><a href=\"/kb\">Knowledge base</a>"
        "</nav>\n<h1>");
    page.append(title);
    page.append("</h1>\n");
    page.append(body);
    page.append("\n</body></html>\n");
    return page;
}

// One catalogue entry as the knowledge base shows it.
struct Entry {
    std::string source;
    std::size_t index = 0;
    std::string searchString;
    std::string link;
    std::string explanation;
    std::string anchor; // the knowledge-base page of the entry, when its link points there
};

// A search string as the catalogue writes it: line breaks shown as the escape.
std::string SearchStringHtml(const std::string& searchString) {
    return Html(ReplaceAll(searchString, "\r\n", "<CRLF>"));
}

// The catalogue file of a source as the server may read it: the file itself when it is a regular file in
// the folder, or what a link in the folder names when that is a regular file in the folder too. A link that
// leads out of the folder (to /proc, /etc, another folder) gives nothing. The path returned has no link
// left in it, so the file read is the file checked.
std::optional<std::filesystem::path> CatalogueFile(const std::string& directory, std::string_view source) {
    std::error_code error;
    const auto folder = std::filesystem::canonical(directory, error);
    if (error)
        return std::nullopt;
    const auto file = std::filesystem::canonical(catalogue::CatalogueFilePath(directory, source), error);
    if (error || file.parent_path() != folder || !std::filesystem::is_regular_file(file, error))
        return std::nullopt;
    return file;
}

// The catalogues in the folder: the analyser's sources in their order, then any others by name.
std::vector<std::string> CatalogueSources(const std::string& directory) {
    std::vector<std::string> others;
    std::error_code error;
    std::size_t looked = 0;
    for (auto it = std::filesystem::directory_iterator(directory, error);
         !error && it != std::filesystem::directory_iterator() && looked < kMaxFolderEntries;
         it.increment(error), ++looked) {
        const std::string name = it->path().filename().string();
        if (name.size() <= kCatalogueSuffix.size() || !name.ends_with(kCatalogueSuffix))
            continue;
        const std::string source = name.substr(0, name.size() - kCatalogueSuffix.size());
        if (IsSourceCode(source) &&
            std::find(kKnownSources.begin(), kKnownSources.end(), source) == kKnownSources.end() &&
            CatalogueFile(directory, source))
            others.push_back(source);
    }
    std::sort(others.begin(), others.end());
    std::vector<std::string> sources;
    for (const auto& source : kKnownSources)
        if (CatalogueFile(directory, source))
            sources.push_back(source);
    sources.insert(sources.end(), others.begin(), others.end());
    return sources;
}

// What identifies the catalogues as they are now: each file's name, identity, size and change time. The
// knowledge base is built again only when this changes.
std::string CatalogueSignature(const std::string& directory) {
    std::string signature;
    for (const auto& source : CatalogueSources(directory)) {
        const auto file = CatalogueFile(directory, source);
        struct stat info {};
        if (!file || ::stat(file->c_str(), &info) != 0)
            continue;
        signature += source + ":" + std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino) + ":" +
                     std::to_string(info.st_size) + ":" + std::to_string(info.st_mtim.tv_sec) + "." +
                     std::to_string(info.st_mtim.tv_nsec) + ":" + std::to_string(info.st_ctim.tv_sec) + "." +
                     std::to_string(info.st_ctim.tv_nsec) + ";";
    }
    return signature;
}

// The entries of a source's catalogue; loaded: the entries the file held (within the loader's bounds).
std::vector<Entry> CatalogueEntries(const std::string& directory, const std::string& source) {
    catalogue::Catalogue loaded;
    std::vector<Entry> entries;
    const auto file = CatalogueFile(directory, source);
    if (!file ||
        catalogue::LoadCatalogueFile(file->string(), loaded).kind == catalogue::LoadOutcome::Kind::NotOpened)
        return entries;
    entries.reserve(loaded.strings.size());
    for (std::size_t i = 0; i < loaded.strings.size(); ++i) {
        Entry entry{source,
                    i,
                    std::move(loaded.strings[i]),
                    std::move(loaded.links[i]),
                    std::move(loaded.descriptions[i]),
                    {}};
        if (entry.link.starts_with(kKnowledgeBaseLink)) {
            const std::string anchor = entry.link.substr(kKnowledgeBaseLink.size());
            if (IsAnchor(anchor))
                entry.anchor = anchor;
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

// The address a catalogue link may be given in an href: http:// and https:// links as written, and
// "{LIBRARY}/..." as a path on this library. Anything else (javascript:, data:, file: ...) stays text.
std::optional<std::string> LiveLink(std::string_view link) {
    const auto startsWithNoCase = [&](std::string_view prefix) {
        return link.size() >= prefix.size() &&
               std::equal(prefix.begin(), prefix.end(), link.begin(),
                          [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
    };
    if (startsWithNoCase("http://") || startsWithNoCase("https://"))
        return std::string(link);
    if (link.starts_with(std::string(kPlaceholder) + "/"))
        return std::string(link.substr(kPlaceholder.size()));
    return std::nullopt;
}

// The knowledge base as served until the catalogues change: the index page and each article's body.
struct KnowledgeBasePages {
    std::string signature;
    std::string index;
    std::map<std::string, std::string, std::less<>> articles;
};

// The pages of the knowledge base built from the catalogues in the folder, within kMaxKnowledgeBaseBytes.
std::shared_ptr<const KnowledgeBasePages> BuildKnowledgeBase(const std::string& directory,
                                                             std::string signature) {
    auto pages = std::make_shared<KnowledgeBasePages>();
    pages->signature = std::move(signature);
    std::string body = "<p>Every event that the analysis catalogues of this library describe, by log "
                       "source. The search string is the text the analyser looks for in each line of a "
                       "debug log; <code>&lt;CRLF&gt;</code> at its end means the text must end the line."
                       "</p>\n";
    const auto sources = CatalogueSources(directory);
    if (sources.empty())
        body.append("<p>The library holds no catalogues at present.</p>\n");
    body.append("<p>");
    for (const auto& source : sources)
        body.append("<a href=\"#source-" + Html(source) + "\">" + Html(source) + "</a> ");
    body.append("</p>\n");
    std::size_t articleBytes = 0;
    bool full = false;
    for (const auto& source : sources) {
        if (full)
            break;
        const auto entries = CatalogueEntries(directory, source);
        body.append("<h2 id=\"source-" + Html(source) + "\">" + Html(source) + " (" +
                    std::to_string(entries.size()) + (entries.size() == 1 ? " entry" : " entries") +
                    ")</h2>\n<table><tr><th>#</th><th>Search string</th><th>Explanation</th></tr>\n");
        for (const auto& entry : entries) {
            std::string row =
                "<tr id=\"" +
                (entry.anchor.empty() ? source + "-" + std::to_string(entry.index) : entry.anchor) +
                "\"><td>" + std::to_string(entry.index) + "</td><td><code>" +
                SearchStringHtml(entry.searchString) + "</code></td><td>" + Html(entry.explanation);
            if (!entry.anchor.empty()) {
                row.append(" <a href=\"/kb/" + entry.anchor + "\">More&hellip;</a>");
            } else if (const auto live = LiveLink(entry.link)) {
                row.append(" <a href=\"" + Html(*live) + "\" rel=\"noopener noreferrer\">More&hellip;</a>");
            } else if (!entry.link.empty()) {
                row.append(" <small>(" + Html(entry.link) + ")</small>");
            }
            row.append("</td></tr>\n");
            std::string article;
            if (!entry.anchor.empty())
                article = "<h2>" + Html(entry.source) + " event " + std::to_string(entry.index) +
                          "</h2>\n<p>Search string: <code>" + SearchStringHtml(entry.searchString) +
                          "</code></p>\n<p>" + Html(entry.explanation) + "</p>\n";
            if (body.size() + row.size() + articleBytes + article.size() > kMaxKnowledgeBaseBytes) {
                full = true;
                break;
            }
            body.append(row);
            if (!article.empty()) {
                pages->articles[entry.anchor].append(article);
                articleBytes += article.size();
            }
        }
        body.append("</table>\n");
    }
    if (full)
        body.append("<p>The knowledge base is too large to show whole: the entries after the last one shown "
                    "are left out.</p>\n");
    pages->index = Page("Knowledge base", body);
    return pages;
}

using Clock = std::chrono::steady_clock;

// A connection's socket for one request: every read waits at most kIoTimeout and never past the request's
// deadline, so a client that sends its head or body a byte at a time is cut off when the deadline passes.
class DeadlineStream : public httplib::Stream {
public:
    DeadlineStream(int socket, Clock::time_point deadline) : socket_(socket), deadline_(deadline) {}

    bool is_readable() const override { return start_ < end_ || Wait(POLLIN, ReadWait()); }
    bool is_writable() const override { return Wait(POLLOUT, kIoTimeout); }

    ssize_t read(char* into, std::size_t size) override {
        if (start_ == end_) {
            if (!Wait(POLLIN, ReadWait()))
                return -1;
            const ssize_t got = ::recv(socket_, buffer_.data(), buffer_.size(), 0);
            if (got <= 0)
                return got;
            start_ = 0;
            end_ = static_cast<std::size_t>(got);
        }
        const std::size_t n = std::min(size, end_ - start_);
        std::memcpy(into, buffer_.data() + start_, n);
        start_ += n;
        return static_cast<ssize_t>(n);
    }

    ssize_t write(const char* from, std::size_t size) override {
        if (!Wait(POLLOUT, kIoTimeout))
            return -1;
        return ::send(socket_, from, size, MSG_NOSIGNAL);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override { Address(true, ip, port); }
    void get_local_ip_and_port(std::string& ip, int& port) const override { Address(false, ip, port); }
    socket_t socket() const override { return socket_; }

private:
    // How long the next read may wait: the read time-out, cut short by the deadline.
    Clock::duration ReadWait() const {
        const auto left = deadline_ - Clock::now();
        return std::max(Clock::duration::zero(), std::min<Clock::duration>(left, kIoTimeout));
    }

    bool Wait(short events, Clock::duration wait) const {
        pollfd descriptor{socket_, events, 0};
        const auto until = Clock::now() + wait;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
            const int ready = ::poll(&descriptor, 1, static_cast<int>(std::max<long long>(0, left.count())));
            if (ready < 0 && errno == EINTR)
                continue;
            return ready > 0;
        }
    }

    void Address(bool remote, std::string& ip, int& port) const {
        sockaddr_storage address{};
        socklen_t length = sizeof(address);
        const int got = remote ? ::getpeername(socket_, reinterpret_cast<sockaddr*>(&address), &length)
                               : ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
        ip.clear();
        port = 0;
        if (got != 0)
            return;
        std::array<char, INET6_ADDRSTRLEN> text{};
        if (address.ss_family == AF_INET) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(&address);
            ::inet_ntop(AF_INET, &in->sin_addr, text.data(), text.size());
            port = ntohs(in->sin_port);
        } else if (address.ss_family == AF_INET6) {
            const auto* in = reinterpret_cast<const sockaddr_in6*>(&address);
            ::inet_ntop(AF_INET6, &in->sin6_addr, text.data(), text.size());
            port = ntohs(in->sin6_port);
        }
        ip = text.data();
    }

    int socket_;
    Clock::time_point deadline_;
    std::array<char, 4096> buffer_{};
    std::size_t start_ = 0, end_ = 0;
};

// The HTTP server with the guards a public library needs: one request per connection, read within
// kRequestDeadline, and at most kMaxConnectionsPerClient connections of one client address served at once
// (further ones get a short 503 and are closed without waiting for them).
class GuardedServer : public httplib::Server {
public:
    GuardedServer() {
        new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
    }

private:
    bool process_and_close_socket(socket_t sock) override {
        DeadlineStream stream(sock, Clock::now() + kRequestDeadline);
        std::string client;
        int port = 0;
        stream.get_remote_ip_and_port(client, port);
        if (Enter(client)) {
            bool closed = false;
            process_request(stream, true, closed, nullptr);
            Leave(client);
        } else {
            static constexpr std::string_view kBusy =
                "HTTP/1.1 503 Service Unavailable\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
            (void)::send(sock, kBusy.data(), kBusy.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        }
        ::shutdown(sock, SHUT_RDWR);
        ::close(sock);
        return true;
    }

    bool Enter(const std::string& client) {
        std::lock_guard lock(clientsMutex_);
        int& active = clients_[client];
        if (active >= kMaxConnectionsPerClient) {
            if (active == 0)
                clients_.erase(client);
            return false;
        }
        ++active;
        return true;
    }

    void Leave(const std::string& client) {
        std::lock_guard lock(clientsMutex_);
        if (const auto it = clients_.find(client); it != clients_.end() && --it->second <= 0)
            clients_.erase(it);
    }

    std::mutex clientsMutex_;
    std::map<std::string, int> clients_;
};

class LibraryServer {
public:
    explicit LibraryServer(Options options) : options_(std::move(options)) {}

    void Mount(httplib::Server& server) {
        auto analysis = [this](const httplib::Request& req, httplib::Response& res) { Analysis(req, res); };
        server.Get("/Tools/Analysis/Analysis.asp", analysis);
        server.Post("/Tools/Analysis/Analysis.asp", analysis);
        auto help = [](const httplib::Request&, httplib::Response& res) { Help(res); };
        server.Get("/Tools/Analysis/help.asp", help);
        server.Post("/Tools/Analysis/help.asp", help);
        server.Get("/kb", [this](const httplib::Request&, httplib::Response& res) { KnowledgeBase(res); });
        server.Get("/kb/", [this](const httplib::Request&, httplib::Response& res) { KnowledgeBase(res); });
        server.Get(R"(/kb/([A-Za-z0-9_-]+))", [this](const httplib::Request& req, httplib::Response& res) {
            Article(req.matches[1].str(), res);
        });
        server.Get("/", [](const httplib::Request&, httplib::Response& res) { Home(res); });
        // A body of more than a few KiB, or one sent in chunks of unknown total, is refused before any of it
        // is read.
        server.set_payload_max_length(kMaxRequestBodyBytes);
        server.set_pre_routing_handler([](const httplib::Request& req, httplib::Response& res) {
            const bool chunked = req.has_header("Transfer-Encoding");
            const auto length = req.get_header_value<std::uint64_t>("Content-Length");
            if (!chunked && length <= kMaxRequestBodyBytes)
                return httplib::Server::HandlerResponse::Unhandled;
            res.status = 413;
            res.set_header("Connection", "close");
            res.set_content(ErrorPage(413), "text/html; charset=utf-8");
            return httplib::Server::HandlerResponse::Handled;
        });
        server.set_error_handler(
            httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& res) {
                if (!res.body.empty())
                    return httplib::Server::HandlerResponse::Unhandled;
                res.set_content(ErrorPage(res.status), "text/html; charset=utf-8");
                return httplib::Server::HandlerResponse::Handled;
            }));
        server.set_exception_handler(
            [](const httplib::Request&, httplib::Response& res, const std::exception_ptr&) {
                res.status = 500;
                res.set_content(Page("Library error", "<p>The library could not answer this request.</p>"),
                                "text/html; charset=utf-8");
            });
        // On a terminal the request's address is shown with its control bytes made visible.
        server.set_logger(
            [terminal = options_.terminal](const httplib::Request& req, const httplib::Response& res) {
                static std::mutex mutex;
                std::lock_guard lock(mutex);
                const std::string method = terminal ? cli::TerminalText(req.method, false) : req.method;
                const std::string target = terminal ? cli::TerminalText(req.target, false) : req.target;
                std::printf("%s %s %d %zu\n", method.c_str(), target.c_str(), res.status, res.body.size());
                std::fflush(stdout);
            });
    }

    void SetListeningAddress(const std::string& address) { listeningAddress_ = address; }

private:
    // What {LIBRARY} stands for in this reply: the address the client reached us by.
    std::string LibraryBase(const httplib::Request& req) const {
        if (!options_.baseUrl.empty())
            return options_.baseUrl;
        const std::string host = req.get_header_value("Host");
        return "http://" + (IsPlainHostHeader(host) ? host : listeningAddress_);
    }

    void Analysis(const httplib::Request& req, httplib::Response& res) const {
        const std::string source = req.get_param_value("Source");
        if (!IsSourceCode(source)) {
            res.status = 400;
            res.set_content("<!BRINDLEMAR>The library does not recognise the source code in this request.",
                            "text/plain; charset=windows-1252");
            return;
        }
        const auto file = CatalogueFile(options_.directory, source);
        if (!file) {
            res.set_content("<!BRINDLEMAR>The library has no analysis for " + source + " at this time.",
                            "text/plain; charset=windows-1252");
            return;
        }
        std::string contents;
        if (const auto read = text::ReadWholeFile(file->string(), contents, kMaxCatalogueBytes); !read.ok) {
            res.status = 500;
            res.set_content("<!BRINDLEMAR>The library cannot read its analysis for " + source +
                                " at this time (" + read.description + ").",
                            "text/plain; charset=windows-1252");
            return;
        }
        res.set_content(ReplaceAll(contents, kPlaceholder, LibraryBase(req)),
                        "text/plain; charset=windows-1252");
    }

    static void Home(httplib::Response& res) {
        res.set_content(
            Page("Brindlemar Library",
                 "<p>This library serves the analysis catalogues of the Brindlemar Log Analyser, "
                 "its online help and the knowledge base of the events the catalogues name.</p>\n"
                 "<ul><li><a href=\"/Tools/Analysis/help.asp\">Online help for the analyser</a></li>"
                 "<li><a href=\"/kb\">Knowledge base</a></li></ul>"),
            "text/html; charset=utf-8");
    }

    static void Help(httplib::Response& res);

    // The knowledge base as the catalogues now are: built again only when one of them has changed, by one
    // request while others wait for it.
    std::shared_ptr<const KnowledgeBasePages> KnowledgeBaseNow() {
        std::string signature = CatalogueSignature(options_.directory);
        std::lock_guard lock(knowledgeBaseMutex_);
        if (!knowledgeBase_ || knowledgeBase_->signature != signature)
            knowledgeBase_ = BuildKnowledgeBase(options_.directory, std::move(signature));
        return knowledgeBase_;
    }

    void KnowledgeBase(httplib::Response& res) {
        res.set_content(KnowledgeBaseNow()->index, "text/html; charset=utf-8");
    }

    void Article(const std::string& anchor, httplib::Response& res) {
        const auto pages = KnowledgeBaseNow();
        const auto article = pages->articles.find(anchor);
        if (article == pages->articles.end()) {
            res.status = 404;
            res.set_content(Page("Not found", "<p>The knowledge base has no article " + Html(anchor) +
                                                  ". See the <a href=\"/kb\">index</a>.</p>"),
                            "text/html; charset=utf-8");
            return;
        }
        res.set_content(Page("Knowledge base: " + Html(anchor),
                             article->second + "<p><a href=\"/kb#" + anchor + "\">All events</a></p>\n"),
                        "text/html; charset=utf-8");
    }

    Options options_;
    std::string listeningAddress_;
    std::mutex knowledgeBaseMutex_;
    std::shared_ptr<const KnowledgeBasePages> knowledgeBase_;
};

void LibraryServer::Help(httplib::Response& res) {
    static const char* const kHelpBody = R"(<p>The Brindlemar Log Analyser tells you which significant events
(refusals, failures, time-outs and the like) a day's debug log of one of the mail server's services holds,
how many lines record each of them, what each means, and what the server was doing around a chosen
occurrence.</p>

<h2>Working through the window</h2>
<ol>
<li><b>Pick a log source</b> in the drop-down list at the top left: HTTPMAIL, SMTP, LS, MTA, POP, POPC or SF.
The analyser asks this library for the source's analysis catalogue, stores it beside the program as
<code>SOURCE-Analysis.tab</code>, and lists the debug log files of the source.</li>
<li><b>Pick a debug log file.</b> The analyser reads the whole file and lists every catalogued event found
in it: its number, the count of lines in brackets, and its search string.</li>
<li><b>Pick an event.</b> Its explanation appears below the list, and every line of the log that records it
is listed. <i>More Information..</i> opens the event's page in this knowledge base.</li>
<li><b>Pick one of the event's lines.</b> The analyser opens the activity log of the same day and shows
what the service did within two minutes of that line; the first line of the line's minute is marked
with <code>-&gt;</code>. Double-click a line to see it whole in a window of its own.</li>
</ol>

<h2>Catalogues</h2>
<p>A catalogue is a text file with one event per line and three fields separated by a TAB: the search
string, the address of a page with more information, and the explanation. A search string matches a log
line when it occurs in it exactly, letter case included. <code>&lt;CRLF&gt;</code> in a search string stands
for the end of the line, so <code>Timeout&lt;CRLF&gt;</code> matches only lines that end in
<code>Timeout</code>; in an explanation it starts a new line.</p>
<p>The catalogue in use is the one loaded when the analyser started. If the library cannot be reached, the
analyser says so and keeps the catalogue file it stored last time.</p>

<h2>Settings</h2>
<p>The analyser reads the mail server's own settings to find each source's log directories and never
changes them. Under <code>HKEY_LOCAL_MACHINE\SOFTWARE\Brindlemar\Brindlemar\Utilities\Log Analysis</code>
two values of its own are read:</p>
<ul>
<li><code>Library Server</code> (string): the host, or host:port, of the library to use instead of the
public one &mdash; for a library mirrored on your own network.</li>
<li><code>Debug Status</code> (DWORD): 1 shows the library's raw reply when it sends no usable catalogue,
which helps when a proxy or firewall answers in the library's place.</li>
</ul>

<h2>When something goes wrong</h2>
<ul>
<li><i>Unable to retrieve analysis details from library server</i>: the library could not be reached or
has no catalogue for that source. Check the network, any proxy, and the <code>Library Server</code>
value.</li>
<li><i>Error in examining logs</i>: the fetched catalogue could not be written beside the program; check
that the program's folder is writable.</li>
<li><i>Unable to open log file</i>: the debug log could not be read; it may be locked or removed.</li>
</ul>
)";
    static const std::string kHelpPage = Page("Brindlemar Log Analyser help", kHelpBody);
    res.set_content(kHelpPage, "text/html; charset=utf-8");
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            PrintUsage(std::cout);
            return 0;
        }
        const bool takesValue = arg == "--bind" || arg == "--port" || arg == "--dir" || arg == "--base-url";
        if (!takesValue || i + 1 >= args.size()) {
            std::cerr << (takesValue ? "missing value for " : "unknown option ") << arg << "\n";
            PrintUsage(std::cerr);
            return 2;
        }
        const std::string& value = args[++i];
        if (arg == "--bind") {
            options.bind = value;
        } else if (arg == "--port") {
            const auto port = ParsePort(value);
            if (!port) {
                std::cerr << "not a port number: " << value << "\n";
                return 2;
            }
            options.port = *port;
        } else if (arg == "--dir") {
            options.directory = value;
        } else {
            options.baseUrl = value;
        }
    }
    if (options.directory.empty())
        options.directory = text::JoinPath(text::ProgramDirectory(), "catalogues");

    // SIGINT and SIGTERM stop the server cleanly; they are taken by one waiting thread.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    options.terminal = isatty(STDOUT_FILENO) == 1;
    LibraryServer library(options);
    GuardedServer server;
    library.Mount(server);
    int port = options.port;
    if (port == 0) {
        port = server.bind_to_any_port(options.bind);
    } else if (!server.bind_to_port(options.bind, port)) {
        port = -1;
    }
    if (port <= 0) {
        std::cerr << "cannot listen on " << options.bind << ":" << options.port << "\n";
        return 1;
    }
    const std::string address =
        (options.bind.find(':') != std::string::npos ? "[" + options.bind + "]" : options.bind) + ":" +
        std::to_string(port);
    library.SetListeningAddress(address);
    std::printf("listening on %s (catalogues in %s)\n", address.c_str(), options.directory.c_str());
    std::fflush(stdout);

    std::thread([&server, stopSignals] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        server.stop();
    }).detach();
    server.listen_after_bind();
    return 0;
}

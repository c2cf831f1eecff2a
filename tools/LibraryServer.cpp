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
#include <httplib.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/Catalogue.h"
#include "text/Ansi.h"
#include "text/Ascii.h"
#include "text/LineReader.h"
#include "text/Paths.h"

namespace {

constexpr std::string_view kPlaceholder = "{LIBRARY}";
constexpr std::string_view kKnowledgeBaseLink = "{LIBRARY}/kb/";
constexpr std::string_view kCatalogueSuffix = "-Analysis.tab";
constexpr std::size_t kMaxCatalogueBytes = std::size_t{32} << 20;
// The analyser's own sources, listed first in the knowledge base and in this order.
const std::vector<std::string> kKnownSources = {"HTTPMAIL", "SMTP", "LS", "MTA", "POP", "POPC", "SF"};

struct Options {
    std::string bind = "127.0.0.1";
    int port = 80;
    std::string directory;
    std::string baseUrl;
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
        } else {
            out.push_back(c);
        }
    }
    return out;
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

// The catalogues in the folder: the analyser's sources in their order, then any others by name.
std::vector<std::string> CatalogueSources(const std::string& directory) {
    std::vector<std::string> others;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator(directory, error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= kCatalogueSuffix.size() || !name.ends_with(kCatalogueSuffix))
            continue;
        const std::string source = name.substr(0, name.size() - kCatalogueSuffix.size());
        std::error_code typeError;
        if (IsSourceCode(source) && it->is_regular_file(typeError) &&
            std::find(kKnownSources.begin(), kKnownSources.end(), source) == kKnownSources.end())
            others.push_back(source);
    }
    std::sort(others.begin(), others.end());
    std::vector<std::string> sources;
    for (const auto& source : kKnownSources)
        if (std::filesystem::is_regular_file(catalogue::CatalogueFilePath(directory, source), error))
            sources.push_back(source);
    sources.insert(sources.end(), others.begin(), others.end());
    return sources;
}

std::vector<Entry> CatalogueEntries(const std::string& directory, const std::string& source) {
    catalogue::Catalogue loaded;
    std::vector<Entry> entries;
    if (catalogue::LoadCatalogueFile(catalogue::CatalogueFilePath(directory, source), loaded).kind ==
        catalogue::LoadOutcome::Kind::NotOpened)
        return entries;
    for (std::size_t i = 0; i < loaded.strings.size(); ++i) {
        Entry entry{source, i, loaded.strings[i], loaded.links[i], loaded.descriptions[i], {}};
        if (entry.link.starts_with(kKnowledgeBaseLink)) {
            const std::string anchor = entry.link.substr(kKnowledgeBaseLink.size());
            if (IsAnchor(anchor))
                entry.anchor = anchor;
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

// A search string as the catalogue writes it: line breaks shown as the escape.
std::string SearchStringHtml(const std::string& searchString) {
    return Html(ReplaceAll(searchString, "\r\n", "<CRLF>"));
}

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
        server.set_error_handler(
            httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& res) {
                if (!res.body.empty())
                    return httplib::Server::HandlerResponse::Unhandled;
                res.set_content(Page("Not found", "<p>The library has no page at this address.</p>"),
                                "text/html; charset=utf-8");
                return httplib::Server::HandlerResponse::Handled;
            }));
        server.set_exception_handler(
            [](const httplib::Request&, httplib::Response& res, const std::exception_ptr&) {
                res.status = 500;
                res.set_content(Page("Library error", "<p>The library could not answer this request.</p>"),
                                "text/html; charset=utf-8");
            });
        server.set_logger([](const httplib::Request& req, const httplib::Response& res) {
            static std::mutex mutex;
            std::lock_guard lock(mutex);
            std::printf("%s %s %d %zu\n", req.method.c_str(), req.target.c_str(), res.status,
                        res.body.size());
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
        const std::string path = catalogue::CatalogueFilePath(options_.directory, source);
        std::error_code error;
        if (!std::filesystem::is_regular_file(path, error)) {
            res.set_content("<!BRINDLEMAR>The library has no analysis for " + source + " at this time.",
                            "text/plain; charset=windows-1252");
            return;
        }
        std::string contents;
        if (const auto read = text::ReadWholeFile(path, contents, kMaxCatalogueBytes); !read.ok) {
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

    void KnowledgeBase(httplib::Response& res) const {
        std::string body = "<p>Every event that the analysis catalogues of this library describe, by log "
                           "source. The search string is the text the analyser looks for in each line of a "
                           "debug log; <code>&lt;CRLF&gt;</code> at its end means the text must end the line."
                           "</p>\n";
        const auto sources = CatalogueSources(options_.directory);
        if (sources.empty())
            body.append("<p>The library holds no catalogues at present.</p>\n");
        body.append("<p>");
        for (const auto& source : sources)
            body.append("<a href=\"#source-" + Html(source) + "\">" + Html(source) + "</a> ");
        body.append("</p>\n");
        for (const auto& source : sources) {
            const auto entries = CatalogueEntries(options_.directory, source);
            body.append("<h2 id=\"source-" + Html(source) + "\">" + Html(source) + " (" +
                        std::to_string(entries.size()) + (entries.size() == 1 ? " entry" : " entries") +
                        ")</h2>\n<table><tr><th>#</th><th>Search string</th><th>Explanation</th></tr>\n");
            for (const auto& entry : entries) {
                body.append(
                    "<tr id=\"" +
                    (entry.anchor.empty() ? source + "-" + std::to_string(entry.index) : entry.anchor) +
                    "\"><td>" + std::to_string(entry.index) + "</td><td><code>" +
                    SearchStringHtml(entry.searchString) + "</code></td><td>" + Html(entry.explanation));
                if (!entry.anchor.empty())
                    body.append(" <a href=\"/kb/" + entry.anchor + "\">More&hellip;</a>");
                else if (!entry.link.empty())
                    body.append(" <a href=\"" + Html(entry.link) + "\">More&hellip;</a>");
                body.append("</td></tr>\n");
            }
            body.append("</table>\n");
        }
        res.set_content(Page("Knowledge base", body), "text/html; charset=utf-8");
    }

    void Article(const std::string& anchor, httplib::Response& res) const {
        std::string body;
        for (const auto& source : CatalogueSources(options_.directory)) {
            for (const auto& entry : CatalogueEntries(options_.directory, source)) {
                if (entry.anchor != anchor)
                    continue;
                body.append("<h2>" + Html(entry.source) + " event " + std::to_string(entry.index) +
                            "</h2>\n<p>Search string: <code>" + SearchStringHtml(entry.searchString) +
                            "</code></p>\n<p>" + Html(entry.explanation) + "</p>\n");
            }
        }
        if (body.empty()) {
            res.status = 404;
            res.set_content(Page("Not found", "<p>The knowledge base has no article " + Html(anchor) +
                                                  ". See the <a href=\"/kb\">index</a>.</p>"),
                            "text/html; charset=utf-8");
            return;
        }
        body.append("<p><a href=\"/kb#" + anchor + "\">All events</a></p>\n");
        res.set_content(Page("Knowledge base: " + Html(anchor), body), "text/html; charset=utf-8");
    }

    Options options_;
    std::string listeningAddress_;
};

void LibraryServer::Help(httplib::Response& res) {
    static const char* const kHelp = R"(<p>The Brindlemar Log Analyser tells you which significant events
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
    res.set_content(Page("Brindlemar Log Analyser help", kHelp), "text/html; charset=utf-8");
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

    LibraryServer library(options);
    httplib::Server server;
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

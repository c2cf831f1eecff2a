#include "tools/demo/DemoEnvironment.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "catalogue/Catalogue.h"
#include "settings/Registry.h"
#include "text/Ansi.h"
#include "text/Paths.h"

namespace demo {
namespace {

namespace fs = std::filesystem;

struct SourceSpec {
    std::string_view code;
    std::string_view subkey; // below the server's root key, as the server writes it
    std::string_view folder; // kServerLogs\<folder>\Debug and ...\Activity on the server
};

constexpr std::array<SourceSpec, 7> kSources = {{
    {"HTTPMAIL", "services\\httpmail", "HTTPMAIL"},
    {"SMTP", "connectors\\smtp", "SMTP"},
    {"LS", "connectors\\ls", "LS"},
    {"MTA", "agents\\mta", "MTA"},
    {"POP", "services\\pop", "POP"},
    {"POPC", "connectors\\pop", "POPC"},
    {"SF", "connectors\\sf", "SF"},
}};

// Where the server keeps its logs, below its system drive, and where the copy of them lies in the demo:
// DIR/drives/c/Program Files/Brindlemar/Logs, as an administrator copies them off the server.
constexpr std::string_view kServerLogs = "Program Files\\Brindlemar\\Logs";
constexpr std::string_view kDrivesFolder = "drives";

struct Day {
    std::string_view date;   // as the server stamps its lines: dd/mm/yy
    std::string_view suffix; // as the server names its files: yymmdd
};

// Fixed days, so that every run gives the same files. Day and month are both at most 12, so the stamps read
// as dates whichever order a reader expects.
constexpr std::array<Day, 3> kDays = {
    {{"05/12/26", "261205"}, {"06/12/26", "261206"}, {"07/12/26", "261207"}}};

constexpr std::uint64_t kSeed = 0x42524E444C4D4152ULL;
constexpr int kOrdinarySessionsPerDay = 480;
// Sessions start well inside the day, so no event is within two minutes of midnight.
constexpr int kFirstSecond = 3 * 60;
constexpr int kLastSecond = 23 * 3600 + 55 * 60;

// A small generator of our own (splitmix64), so that the output does not depend on the standard library's
// distributions, which differ between implementations.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    int Between(int low, int high) {
        return low + static_cast<int>(Next() % static_cast<std::uint64_t>(high - low + 1));
    }
    template <typename T, std::size_t N> const T& Pick(const std::array<T, N>& items) {
        return items[Next() % N];
    }

private:
    std::uint64_t state_;
};

std::string TwoDigits(int value) {
    return std::string{static_cast<char>('0' + value / 10 % 10), static_cast<char>('0' + value % 10)};
}

// prefix, the number in decimal, suffix: "[" 1234 "] " -> "[1234] ".
std::string Numbered(std::string_view prefix, int number, std::string_view suffix = "") {
    std::string text(prefix);
    text += std::to_string(number);
    text += suffix;
    return text;
}

std::string TimeStamp(std::string_view date, int second) {
    std::string stamp(date);
    stamp += ' ';
    stamp += TwoDigits(second / 3600) + ":" + TwoDigits(second / 60 % 60) + ":" + TwoDigits(second % 60);
    return stamp;
}

// Names and subjects in the ANSI code page, so the logs hold cp1252 bytes as the server's do.
constexpr std::array<std::string_view, 10> kUsers = {
    "anna", "bob", "chen", "dmitri", "eve", "jos\xE9", "m\xFCller", "s\xF8ren", "zo\xEB", "fran\xE7ois"};
constexpr std::array<std::string_view, 6> kDomains = {
    "example.com", "example.net", "example.org", "mail.example.de", "post.example.fr", "brindlemar.test"};
constexpr std::array<std::string_view, 6> kSubjects = {"Re: R\xE9union lundi",
                                                       "Price list \x80 2026",
                                                       "Gr\xFC\xDF"
                                                       "e aus M\xFCnchen",
                                                       "Invoice 4471",
                                                       "Weekly report",
                                                       "Caf\xE9 \x96 Friday?"};
constexpr std::array<std::string_view, 4> kLists = {"staff", "announce", "support-team", "caf\xE9-club"};
constexpr std::array<std::string_view, 3> kHeldDomains = {"branch.example.org", "office.example.net",
                                                          "harbour.example.fr"};
constexpr std::array<std::string_view, 3> kRemoteHosts = {"pop.example.net", "mail.example.org",
                                                          "pop3.example.de"};

// One connection or job: the values its lines share.
struct Session {
    int start = 0;
    int conn = 0;
    std::string ip, user, from, to, messageId;
    int size = 0;
};

Session MakeSession(Random& random, int conn) {
    Session s;
    s.start = random.Between(kFirstSecond, kLastSecond);
    s.conn = conn;
    static constexpr std::array<std::string_view, 3> nets = {"192.0.2.", "198.51.100.", "203.0.113."};
    s.ip = std::string(random.Pick(nets)) + std::to_string(random.Between(2, 254));
    s.user = std::string(random.Pick(kUsers));
    s.from = std::string(random.Pick(kUsers)) + "@" + std::string(random.Pick(kDomains));
    s.to = s.user + "@brindlemar.test";
    s.messageId = Numbered("M", random.Between(100000, 999999));
    s.size = random.Between(800, 250000);
    return s;
}

// One line of a session: seconds after the line before it, debug or activity, its text.
struct Step {
    int delay;
    bool debug;
    std::string text;
};

// A session's lines: how it opens, its ordinary middle, how it ends. An event replaces the middle.
struct Conversation {
    std::vector<Step> opening, middle, closing;
};

Conversation Converse(std::string_view code, Random& random, const Session& s) {
    const std::string tag = Numbered("[", s.conn, "] ");
    const std::string size = std::to_string(s.size);
    const std::string subject(random.Pick(kSubjects));
    Conversation c;
    if (code == "SMTP") {
        c.opening = {{0, true, "Connection accepted from " + s.ip},
                     {0, false, tag + "Connection from " + s.ip},
                     {0, false, tag + ">>> 220 mail.brindlemar.test ESMTP ready"},
                     {1, false, tag + "<<< EHLO host" + std::to_string(s.conn % 97) + ".example.net"},
                     {0, false, tag + ">>> 250-mail.brindlemar.test Hello"},
                     {1, false, tag + "<<< MAIL FROM:<" + s.from + ">"},
                     {0, true, "MAIL FROM:<" + s.from + "> accepted"}};
        c.middle = {{0, false, tag + ">>> 250 OK"},
                    {1, false, tag + "<<< RCPT TO:<" + s.to + ">"},
                    {0, true, "RCPT TO:<" + s.to + "> accepted, local mailbox"},
                    {0, false, tag + ">>> 250 OK"},
                    {1, false, tag + "<<< DATA"},
                    {2, false, tag + "Subject: " + subject},
                    {1, true, "Message " + s.messageId + " received, " + size + " bytes"},
                    {0, false, tag + ">>> 250 Message " + s.messageId + " accepted for delivery"}};
        c.closing = {{1, false, tag + "<<< QUIT"}, {0, true, "Connection closed"}};
    } else if (code == "POP") {
        const std::string count = std::to_string(random.Between(0, 14));
        c.opening = {{0, true, "Connection accepted from " + s.ip},
                     {0, false, tag + ">>> +OK POP3 server ready"},
                     {1, false, tag + "<<< USER " + s.user},
                     {0, false, tag + ">>> +OK"},
                     {1, false, tag + "<<< PASS ********"}};
        c.middle = {{0, true, "User " + s.user + " authenticated, " + count + " messages"},
                    {0, false, tag + ">>> +OK mailbox locked and ready"},
                    {1, false, tag + "<<< STAT"},
                    {0, false, tag + ">>> +OK " + count + " " + size},
                    {1, false, tag + "<<< RETR 1"},
                    {1, true, "RETR 1 (" + size + " bytes) sent"}};
        c.closing = {
            {1, false, tag + "<<< QUIT"}, {0, false, tag + ">>> +OK bye"}, {0, true, "Session ended"}};
    } else if (code == "HTTPMAIL") {
        const std::string session = Numbered("S", random.Between(10000, 99999));
        c.opening = {{0, true, "Request GET /mail/login from " + s.ip},
                     {0, false, s.ip + " GET /mail/login 200"},
                     {2, false, s.ip + " POST /mail/login 302 user=" + s.user},
                     {0, true, "Session " + session + " started for " + s.user}};
        c.middle = {{1, false, s.ip + " GET /mail/inbox 200"},
                    {0, true, "Response 200 for /mail/inbox (" + size + " bytes)"},
                    {3, false, s.ip + " GET /mail/message?id=" + s.messageId + " 200"},
                    {4, false, s.ip + " POST /mail/send 302 subject=\"" + subject + "\""}};
        c.closing = {{2, false, s.ip + " GET /mail/logout 200"}, {0, true, "Session " + session + " ended"}};
    } else if (code == "MTA") {
        c.opening = {
            {0, true, "Queued message " + s.messageId + " from <" + s.from + ">"},
            {0, false,
             tag + "Message " + s.messageId + " from <" + s.from + "> to <" + s.to + "> size " + size}};
        c.middle = {{1, false, tag + "Routing " + s.messageId + ": local delivery"},
                    {0, true, "Delivering " + s.messageId + " to local mailbox " + s.user},
                    {1, false, tag + "Delivered " + s.messageId + " to " + s.user}};
        c.closing = {{0, true, "Finished " + s.messageId}};
    } else if (code == "LS") {
        const std::string list(random.Pick(kLists));
        const std::string members = std::to_string(random.Between(3, 400));
        c.opening = {
            {0, true, "Posting to list " + list + " from <" + s.from + ">"},
            {0, false, tag + "List " + list + ": message " + s.messageId + " from <" + s.from + ">"}};
        c.middle = {{1, true, "Expanding " + list + ": " + members + " members"},
                    {0, false, tag + "List " + list + ": " + members + " recipients"},
                    {2, true, "Distributed " + s.messageId}};
        c.closing = {{0, false, tag + "List " + list + ": done"}};
    } else if (code == "POPC") {
        const std::string remote(random.Pick(kRemoteHosts));
        const std::string count = std::to_string(random.Between(0, 9));
        c.opening = {{0, true, "Connecting to " + remote + ":110 for " + s.user},
                     {0, false, tag + "Connecting to " + remote + " for account " + s.user},
                     {1, false, tag + "<<< +OK ready"},
                     {0, false, tag + ">>> USER " + s.user}};
        c.middle = {{1, false, tag + "<<< +OK " + count + " messages"},
                    {1, false, tag + ">>> RETR 1"},
                    {1, false, tag + "<<< +OK " + size + " octets"},
                    {0, true, "Downloaded " + count + " messages for " + s.user}};
        c.closing = {{1, false, tag + "Collected " + count + " messages"},
                     {0, true, "Disconnected from " + remote}};
    } else { // SF: the store-and-forward connector, holding mail for sites that collect it
        const std::string domain(random.Pick(kHeldDomains));
        const std::string held = std::to_string(random.Between(1, 30));
        c.opening = {{0, true, "ETRN from " + s.ip + " for " + domain},
                     {0, false, tag + "Connection from " + s.ip},
                     {1, false, tag + "<<< ETRN " + domain}};
        c.middle = {{0, false, tag + ">>> 250 Queuing started for " + domain},
                    {1, true, "Forwarding " + held + " held messages for " + domain + " to " + s.ip},
                    {3, false,
                     tag + "Forwarded " + held + " messages, last " + s.messageId + " (" + size + " bytes)"}};
        c.closing = {{1, true, "Queue run for " + domain + " complete"},
                     {0, false, tag + "Connection closed"}};
    }
    return c;
}

struct Stamped {
    int second;
    std::uint32_t order;
    std::string text;
};

// The lines of one source's day, put in time order when written.
class DayLogs {
public:
    DayLogs(std::string_view code, std::string_view date) : code_(code), date_(date) {}

    void Add(const Session& s, int second, const Step& step) {
        if (step.debug)
            debug_.push_back({second, order_++,
                              code_ + "\t" + TimeStamp(date_, second) + "\t[conn " + std::to_string(s.conn) +
                                  "]\t" + step.text});
        else
            activity_.push_back({second, order_++, TimeStamp(date_, second) + " " + step.text});
    }

    // Plays the steps from the session's start; gives the time of the last one.
    int Play(const Session& s, int second, const std::vector<Step>& steps) {
        for (const auto& step : steps) {
            second += step.delay;
            Add(s, second, step);
        }
        return second;
    }

    std::size_t DebugLines() const { return debug_.size(); }
    static std::string Bytes(std::vector<Stamped>& lines) {
        std::stable_sort(lines.begin(), lines.end(),
                         [](const Stamped& a, const Stamped& b) { return a.second < b.second; });
        std::string bytes;
        for (const auto& line : lines) {
            bytes += line.text;
            bytes += "\r\n";
        }
        return bytes;
    }
    std::string DebugBytes() { return Bytes(debug_); }
    std::string ActivityBytes() { return Bytes(activity_); }

private:
    std::string code_;
    std::string date_;
    std::uint32_t order_ = 0;
    std::vector<Stamped> debug_, activity_;
};

text::Status WriteFile(const std::string& path, std::string_view bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return text::Status::Fail(path + ": " + text::Status::FromErrno(errno).description);
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const int writeError = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed)
        return text::Status::Fail(path + ": " +
                                  text::Status::FromErrno(written ? errno : writeError).description);
    return text::Status::Ok();
}

text::Status MakeDirectories(const fs::path& dir) {
    std::error_code error;
    fs::create_directories(dir, error);
    if (error)
        return text::Status::Fail(dir.string() + ": " + error.message());
    return text::Status::Ok();
}

// The generator writes only the marker, registry.reg and drives/ in the directory. It refuses a directory
// that already holds a registry.reg or a drives/ of someone else's (no marker), so it never writes over real
// settings or logs; other files there (a library server's log, say) are left alone.
text::Status PrepareDirectory(const fs::path& dir) {
    std::error_code error;
    const auto status = fs::status(dir, error);
    if (!fs::exists(status))
        return MakeDirectories(dir);
    if (!fs::is_directory(status))
        return text::Status::Fail(dir.string() + " is not a directory");
    if (fs::exists(dir / kMarkerFileName, error))
        return text::Status::Ok();
    for (const char* name : {"registry.reg", "drives", "logs"})
        if (fs::exists(dir / name, error) || (error && error != std::errc::no_such_file_or_directory))
            return text::Status::Fail(dir.string() + " already holds " + name +
                                      " and is no earlier demo; the demo is not made over them");
    return text::Status::Ok();
}

// The search strings the demo can make a line for: the text a line must hold (and, for a string that ends in
// CR LF, end with). Strings that match no line, or every line, are left out.
struct Event {
    std::size_t entry;
    std::string text;
};

std::vector<Event> UsableEvents(const catalogue::Catalogue& entries) {
    std::vector<Event> events;
    for (std::size_t i = 0; i < entries.strings.size(); ++i) {
        std::string text = entries.strings[i];
        if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0)
            text.resize(text.size() - 2);
        if (text.empty() || text.find('\r') != std::string::npos)
            continue;
        events.push_back({i, std::move(text)});
    }
    return events;
}

// How often an entry occurs in a day: most a few times, some dozens of times, every fifth never.
int EventCount(std::size_t entry, Random& random) {
    if (entry % 5 == 4)
        return 0;
    const int roll = random.Between(0, 99);
    if (roll < 40)
        return random.Between(1, 3);
    if (roll < 75)
        return random.Between(4, 12);
    if (roll < 95)
        return random.Between(13, 40);
    return random.Between(41, 120);
}

std::string RegistryString(std::string_view value) {
    std::string quoted = "\"";
    for (char c : value) {
        if (c == '\\' || c == '"')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

// A REG_EXPAND_SZ as the Registry Editor's version 5 writes it: the UTF-16LE bytes of the text and its zero.
std::string ExpandString(std::string_view value) {
    constexpr char kDigits[] = "0123456789abcdef";
    std::string hex = "hex(2):";
    for (const char16_t unit : text::DecodeAnsi(value) + u'\0') {
        for (const unsigned byte : {unit & 0xFFu, unsigned(unit) >> 8}) {
            if (hex.size() > 7)
                hex += ',';
            hex += kDigits[byte >> 4];
            hex += kDigits[byte & 0xF];
        }
    }
    return hex;
}

// The export as the Registry Editor saves it on the server ("Windows Registry Editor Version 5.00", UTF-16LE
// with a byte order mark): the debug log directories as plain Windows paths, the activity log directories
// as REG_EXPAND_SZ values below %SystemDrive%, both of which the analyser finds under DIR/drives.
std::string RegistryExport(const std::string& libraryHost) {
    std::string reg = "Windows Registry Editor Version 5.00\r\n\r\n";
    for (const auto& source : kSources) {
        const std::string folder = std::string(kServerLogs) + "\\" + std::string(source.folder);
        reg += "[HKEY_LOCAL_MACHINE\\" + std::string(settings::kRootKey) + "\\" + std::string(source.subkey) +
               "]\r\n";
        reg += "\"Debug Log File Directory\"=" + RegistryString("C:\\" + folder + "\\Debug") + "\r\n";
        reg += "\"Activity Log Directory\"=" + ExpandString("%SystemDrive%\\" + folder + "\\Activity") +
               "\r\n\r\n";
    }
    reg += "[HKEY_LOCAL_MACHINE\\" + std::string(settings::kLogAnalysisKey) + "]\r\n";
    reg += "\"Debug Status\"=dword:00000000\r\n";
    if (!libraryHost.empty())
        reg += "\"Library Server\"=" + RegistryString(libraryHost) + "\r\n";
    reg += "\r\n";
    std::string bytes = "\xFF\xFE";
    for (const char16_t unit : text::DecodeAnsi(reg)) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

std::string MarkerText(const fs::path& dir) {
    const std::string reg = (dir / "registry.reg").string();
    return "Brindlemar Log Analyser demo environment\r\n"
           "\r\n"
           "drives/c/Program Files/Brindlemar/Logs/<SOURCE>/Debug and .../Activity hold three days of\r\n"
           "generated logs of every log source, as copied off the mail server; registry.reg is the "
           "server's\r\n"
           "settings as the Registry Editor exports them, with the server's Windows paths\r\n"
           "(C:\\Program Files\\Brindlemar\\Logs\\...), which the analyser finds in drives/ beside it.\r\n"
           "To use them:\r\n"
           "\r\n"
           "  BRINDLEMAR_REGISTRY=" +
           reg +
           " brindlemar-analyser\r\n"
           "  BRINDLEMAR_REGISTRY=" +
           reg +
           " brindlemar-scan files SMTP\r\n"
           "\r\n"
           "This file marks the directory as a demo; running the demo generator again rewrites it.\r\n";
}

text::Status MakeSourceLogs(const SourceSpec& source, std::size_t sourceNumber, const fs::path& logsRoot,
                            const std::string& catalogueDir, DemoSummary& summary) {
    catalogue::Catalogue entries;
    const std::string cataloguePath = catalogue::CatalogueFilePath(catalogueDir, source.code);
    const auto outcome = catalogue::LoadCatalogueFile(cataloguePath, entries);
    if (outcome.kind == catalogue::LoadOutcome::Kind::NotOpened)
        summary.warnings.push_back("no sample catalogue " + cataloguePath + "; " + std::string(source.code) +
                                   " logs hold ordinary traffic only");
    else if (outcome.kind == catalogue::LoadOutcome::Kind::ReadFailed)
        summary.warnings.push_back(cataloguePath + ": " + outcome.description);
    const std::vector<Event> events = UsableEvents(entries);

    const fs::path debugDir = logsRoot / std::string(source.folder) / "Debug";
    const fs::path activityDir = logsRoot / std::string(source.folder) / "Activity";
    for (const auto& dir : {debugDir, activityDir})
        if (auto status = MakeDirectories(dir); !status.ok)
            return status;

    for (std::size_t dayNumber = 0; dayNumber < kDays.size(); ++dayNumber) {
        const Day& day = kDays[dayNumber];
        Random random(kSeed ^ (sourceNumber * 0x100 + dayNumber + 1) * 0x9E3779B97F4A7C15ULL);
        DayLogs logs(source.code, day.date);
        int conn = 1000 + random.Between(0, 8000);

        for (int i = 0; i < kOrdinarySessionsPerDay; ++i) {
            const Session s = MakeSession(random, ++conn);
            const Conversation c = Converse(source.code, random, s);
            int t = logs.Play(s, s.start, c.opening);
            t = logs.Play(s, t, c.middle);
            logs.Play(s, t, c.closing);
        }
        for (const auto& event : events) {
            const int count = EventCount(event.entry, random);
            for (int n = 0; n < count; ++n) {
                const Session s = MakeSession(random, ++conn);
                const Conversation c = Converse(source.code, random, s);
                int t = logs.Play(s, s.start, c.opening);
                const std::string tag = Numbered("[", s.conn, "] ");
                t = logs.Play(s, t, {{1, true, event.text}, {0, false, tag + "*** " + event.text}});
                logs.Play(s, t, c.closing);
                ++summary.eventLines;
            }
        }

        const std::string code(source.code);
        const std::string debugPath =
            (debugDir / (code + "-Debug-" + std::string(day.suffix) + ".log")).string();
        const std::string activityPath =
            (activityDir / (code + "-Activity-" + std::string(day.suffix) + ".log")).string();
        summary.debugLines += logs.DebugLines();
        if (auto status = WriteFile(debugPath, logs.DebugBytes()); !status.ok)
            return status;
        if (auto status = WriteFile(activityPath, logs.ActivityBytes()); !status.ok)
            return status;
        summary.logFiles.push_back(debugPath);
        summary.logFiles.push_back(activityPath);
    }
    return text::Status::Ok();
}

} // namespace

text::Status MakeDemoEnvironment(const DemoOptions& options, DemoSummary& summary) {
    summary = DemoSummary{};
    try {
        std::error_code error;
        fs::path dir = fs::absolute(fs::path(options.directory), error);
        if (error)
            return text::Status::Fail(options.directory + ": " + error.message());
        dir = dir.lexically_normal();
        if (dir.has_filename() == false && dir.has_parent_path() && dir != dir.root_path())
            dir = dir.parent_path(); // "/x/demo/" -> "/x/demo"
        if (!fs::is_directory(fs::path(options.catalogueDir), error))
            return text::Status::Fail("no catalogue directory " + options.catalogueDir);
        if (auto status = PrepareDirectory(dir); !status.ok)
            return status;
        if (auto status = WriteFile((dir / kMarkerFileName).string(), MarkerText(dir)); !status.ok)
            return status;

        fs::path logsRoot = dir / kDrivesFolder / "c";
        for (const std::string_view part : {"Program Files", "Brindlemar", "Logs"})
            logsRoot /= std::string(part);
        for (std::size_t i = 0; i < kSources.size(); ++i)
            if (auto status = MakeSourceLogs(kSources[i], i, logsRoot, options.catalogueDir, summary);
                !status.ok)
                return status;

        summary.registryFile = (dir / "registry.reg").string();
        return WriteFile(summary.registryFile, RegistryExport(options.libraryHost));
    } catch (const std::bad_alloc&) {
        return text::Status::Fail("out of memory");
    } catch (const std::exception& error) {
        return text::Status::Fail(error.what());
    }
}

} // namespace demo

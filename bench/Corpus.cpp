#include "Corpus.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

namespace bench {

namespace {

// Small, fast and reproducible.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(Next() % n); }
    bool Chance(double p) { return static_cast<double>(Next() >> 11) * 0x1.0p-53 < p; }
    template <typename T, std::size_t N> const T& Pick(const T (&items)[N]) { return items[Below(N)]; }

private:
    std::uint64_t state_;
};

const char* const kDomains[] = {"example.com",     "example.net",     "mail.example.org", "contoso.de",
                                "fabrikam.fr",     "northwind.co.uk", "tailspin.com.au",  "adatum.nl",
                                "wingtip.example", "litware.example", "proseware.com",    "fourthcoffee.it"};
const char* const kUsers[] = {"alice",
                              "bob",
                              "carol",
                              "dave",
                              "eve.martin",
                              "j.m\xfcller",
                              "fran\xe7ois",
                              "sales",
                              "info",
                              "support",
                              "noreply",
                              "h.schr\xf6"
                              "der",
                              "accounts",
                              "postmaster",
                              "newsletter",
                              "k.o'brien"};
const char* const kLocalUsers[] = {"reception",
                                   "orders",
                                   "it-helpdesk",
                                   "m.dupont",
                                   "s.garc\xed"
                                   "a",
                                   "finance",
                                   "jobs",
                                   "webmaster",
                                   "c.nakamura",
                                   "p.novak"};
const char* const kSubjects[] = {"Re: Angebot f\xfcr Ihre Anfrage",
                                 "Invoice 2024-0133 attached",
                                 "R\xe9union du comit\xe9 - ordre du jour",
                                 "Quarterly report \x96 draft 3",
                                 "Your order has shipped",
                                 "\xc4nderung der \xd6"
                                 "ffnungszeiten",
                                 "Price list \x80 2024",
                                 "Fwd: meeting notes",
                                 "Newsletter: Fr\xfchjahrsaktion",
                                 "Password expiry notice",
                                 "\x93Urgent\x94 payment reminder",
                                 "Se\xf1or Garc\xed"
                                 "a - confirmaci\xf3n",
                                 "Lunch on Friday?",
                                 "Delivery Status Notification",
                                 "Stra\xdf"
                                 "enfest Einladung"};

// Messages the server writes when something goes wrong, each rare. The catalogue strings are drawn from them.
const char* const kRareErrors[] = {
    "--> 550 5.7.1 Relaying denied",
    "--> 550 5.1.1 User unknown",
    "--> 550 5.1.2 Host unknown",
    "--> 550 5.7.0 Message rejected as spam",
    "--> 552 5.3.4 Message size exceeds fixed maximum message size",
    "--> 552 5.2.2 Mailbox full",
    "--> 452 4.2.2 Mailbox full, try again later",
    "--> 451 4.3.0 Temporary local problem - please try later",
    "--> 451 4.7.1 Greylisted, please try again in 300 seconds",
    "--> 421 4.7.0 Too many connections from your host",
    "--> 421 4.4.2 Connection timed out",
    "--> 503 5.5.1 Bad sequence of commands",
    "--> 500 5.5.2 Syntax error, command unrecognized",
    "--> 501 5.5.4 Syntax error in parameters or arguments",
    "--> 554 5.7.1 Rejected: listed in zen.spamhaus.org",
    "--> 554 5.7.1 Rejected: listed in bl.spamcop.net",
    "--> 554 5.7.1 Rejected: listed in b.barracudacentral.org",
    "--> 554 5.7.1 SPF check failed for sender domain",
    "--> 550 5.7.26 DMARC policy violation",
    "--> 550 5.7.9 DKIM signature verification failed",
    "--> 530 5.7.0 Must issue a STARTTLS command first",
    "--> 535 5.7.8 Authentication credentials invalid",
    "--> 454 4.7.0 TLS not available due to local problem",
    "--> 452 4.5.3 Too many recipients",
    "--> 550 5.4.6 Routing loop detected",
    "--> 553 5.1.8 Sender address domain does not exist",
    "--> 550 5.7.1 Sender address rejected: Access denied",
    "DNS lookup for MX of {domain} failed: timed out",
    "DNS lookup for MX of {domain} failed: server failure",
    "No MX or A record for {domain}",
    "DNS server 10.0.0.2 not responding",
    "Outbound connection to {domain}:25 refused",
    "Outbound connection to {domain}:25 timed out after 60 seconds",
    "Winsock error 10054 (WSAECONNRESET) on receive",
    "Winsock error 10060 (WSAETIMEDOUT) on connect",
    "Winsock error 10061 (WSAECONNREFUSED) on connect",
    "Winsock error 10065 (WSAEHOSTUNREACH) on connect",
    "Winsock error 10053 (WSAECONNABORTED) on send",
    "TLS handshake failed: unsupported protocol",
    "TLS handshake failed: certificate expired",
    "Unable to open spool file D:\\Brindlemar\\Spool\\{id}.tmp: Access is denied",
    "Unable to write spool file: There is not enough space on the disk",
    "Unable to create message file: The process cannot access the file",
    "Message {id} moved to bad mail folder",
    "Message {id} exceeded maximum hop count",
    "Delivery of {id} to {user}@{domain} failed permanently: 550 5.1.1 user unknown",
    "Delivery of {id} deferred: 451 4.7.1 greylisted",
    "Virus scanner reported infected attachment in {id}: Eicar-Test-Signature",
    "Virus scanner not responding, message {id} held",
    "Attachment blocked by policy: invoice.exe",
    "Sender {user}@{domain} blocked by local black list",
    "Possible dictionary attack from this address, connection dropped",
    "Maximum number of failed logins reached, address blocked for 30 minutes",
    "Licence limit reached: too many concurrent connections",
    "Queue directory not found",
    "Out of memory allocating receive buffer",
    "Unexpected end of data stream from client",
    "Line too long (over 998 characters) in message data",
    "Bare LF in message data rejected",
    "8-bit data in header without 8BITMIME",
    "Invalid HELO name: localhost",
    "HELO name does not resolve",
    "Reverse DNS lookup failed for client",
    "Client sent data before greeting (pipelining violation)",
    "Unknown command: STARTLS",
    "AUTH mechanism not supported: CRAM-MD5",
    "Authentication failed for user {user}: wrong password",
    "Authentication failed for user {user}: account disabled",
    "Account {user} is locked",
    "Mailbox for {user} is over quota",
    "Forwarding loop detected for {user}@{domain}",
    "List server: unable to expand distribution list",
    "Archive: unable to copy message {id} to archive store",
    "Journal write failed: The network path was not found",
    "Spam filter update failed: connection refused",
    "Spam filter database corrupt, rebuilding",
    "Rule \"Block executables\" deleted message {id}",
    "Scheduled task failed: Remote queue processing",
    "Service is shutting down, closing all connections",
    "Error 1450: Insufficient system resources exist to complete the requested service",
};

// Catalogue strings that this server never writes: they must count nothing.
const char* const kAbsent[] = {
    "--> 550 5.7.606 Access denied, banned sending IP",
    "--> 554 5.6.0 Message content corrupt",
    "--> 441 4.4.1 No answer from host",
    "--> 450 4.1.8 Sender address rejected",
    "SSL library initialisation failed",
    "Certificate store could not be opened",
    "Registry key missing: Smtp\\Relay",
    "License file is invalid",
    "Database connection lost",
    "POP3 retrieval failed",
    "IMAP folder sync error",
    "ETRN request refused",
    "Winsock error 10055 (WSAENOBUFS)",
    "Winsock error 10048 (WSAEADDRINUSE)",
    "Winsock error 10013 (WSAEACCES)",
    "Unable to bind to port 25",
    "Directory harvest attack detected",
    "Gateway address book unavailable",
    "LDAP lookup failed",
    "Domain not served here",
    "ATRN not permitted",
    "Smart host rejected credentials",
    "Smart host unreachable",
    "Mail loop via alias",
    "Queue file header damaged",
    "Thread pool exhausted",
    "Heap corruption detected",
    "Access violation in filter plug-in",
    "Plug-in failed to load",
    "Event log is full",
    "Time-out waiting for plug-in reply",
    "Backup MX refused message",
    "Outbound queue frozen by administrator",
    "SMTP AUTH relay attempt blocked",
    "Bounce message suppressed",
    "DSN generation failed",
    "Header too large",
    "Too many Received headers",
    "Unknown encoding in MIME part",
    "Charset conversion failed",
};

std::string Fill(std::string_view text, Random& random, std::uint64_t messageId) {
    std::string out;
    out.reserve(text.size() + 32);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.substr(i, 8) == "{domain}") {
            out += random.Pick(kDomains);
            i += 7;
        } else if (text.substr(i, 6) == "{user}") {
            out += random.Pick(kUsers);
            i += 5;
        } else if (text.substr(i, 4) == "{id}") {
            char id[24];
            std::snprintf(id, sizeof id, "%08llX", static_cast<unsigned long long>(messageId));
            out += id;
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Writes lines of one SMTP session at a time.
class LogWriter {
public:
    LogWriter(std::FILE* out, std::uint64_t seed) : out_(out), random_(seed) {
        buffer_.reserve(kFlush + 4096);
    }

    void Session(std::uint64_t session) {
        thread_ = 0x0A00 + random_.Below(24);
        session_ = session;
        std::snprintf(ip_, sizeof ip_, "%u.%u.%u.%u:%u", 1 + random_.Below(222), random_.Below(256),
                      random_.Below(256), 1 + random_.Below(254), 1024 + random_.Below(64000));
        const std::string host =
            std::string("mx") + std::to_string(random_.Below(9)) + "." + random_.Pick(kDomains);
        Line("Connection from " + std::string(ip_) + " on port 25");
        if (random_.Chance(0.002)) {
            Line("Refused connection from " + std::string(ip_) + ": listed in zen.spamhaus.org");
            Line("Connection closed");
            return;
        }
        Line("--> 220 mail.brindlemar.local ESMTP Brindlemar Mail Server ready");
        Line("<-- EHLO " + host);
        Line("--> 250-mail.brindlemar.local Hello " + host + " [" + ip_ + "]");
        Line("--> 250-SIZE 52428800");
        Line("--> 250-8BITMIME");
        Line("--> 250-STARTTLS");
        Line("--> 250 AUTH LOGIN PLAIN");
        if (random_.Chance(0.3)) {
            Line("<-- STARTTLS");
            Line("--> 220 2.0.0 Ready to start TLS");
            Line("TLS negotiated: TLSv1.2 ECDHE-RSA-AES256-GCM-SHA384");
        }
        if (random_.Chance(0.2)) {
            Line("<-- AUTH LOGIN");
            if (random_.Chance(0.03)) {
                Line("--> 535 5.7.8 Authentication credentials invalid");
                Line("Authentication failed for user " + std::string(random_.Pick(kLocalUsers)) +
                     ": wrong password");
            } else {
                Line("--> 235 2.7.0 Authentication successful");
            }
        }
        const std::uint64_t id = session * 7 + 0x10000;
        const std::string sender = std::string(random_.Pick(kUsers)) + "@" + random_.Pick(kDomains);
        Line("<-- MAIL FROM:<" + sender + "> SIZE=" + std::to_string(800 + random_.Below(200000)));
        Line("--> 250 2.1.0 Sender OK");
        const std::uint32_t recipients = 1 + random_.Below(3) + (random_.Chance(0.4) ? 1 : 0);
        for (std::uint32_t r = 0; r < recipients; ++r) {
            const std::string rcpt = std::string(random_.Pick(kLocalUsers)) + "@brindlemar.local";
            Line("<-- RCPT TO:<" + rcpt + ">");
            if (random_.Chance(0.02))
                Line("--> 550 5.1.1 <" + rcpt + ">: Recipient address rejected: User unknown");
            else if (random_.Chance(0.005))
                Line("--> 550 5.7.1 <" + rcpt + ">: Relaying denied");
            else
                Line(std::string("--> ") + kFrequentEvent);
        }
        if (random_.Chance(0.004))
            Line(Fill(random_.Pick(kRareErrors), random_, id));
        if (random_.Chance(0.01)) {
            Line("Connection timed out after 300 seconds waiting for client");
            Line("Connection closed");
            return;
        }
        Line("<-- DATA");
        Line("--> 354 Start mail input; end with <CRLF>.<CRLF>");
        char idText[24];
        std::snprintf(idText, sizeof idText, "%08llX", static_cast<unsigned long long>(id));
        Line(std::string("Received message ") + idText + " (" + std::to_string(1000 + random_.Below(400000)) +
             " bytes) from " + sender + " Subject: " + random_.Pick(kSubjects));
        Line("Header: Received: from " + host + " (" + host + " [" + ip_ +
             "]) by mail.brindlemar.local with " + "ESMTP id " + idText + "; " +
             std::to_string(1 + random_.Below(28)) + " Mar 2024 +0100");
        if (random_.Chance(0.4)) {
            std::string signature = "Header: DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=" +
                                    std::string(random_.Pick(kDomains)) + "; s=selector1; b=";
            const std::size_t length = 120 + random_.Below(120);
            static const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
            while (signature.size() < length)
                signature += kBase64[random_.Below(64)];
            Line(signature);
        }
        const unsigned score = random_.Below(120);
        Line("Spam filter: score " + std::to_string(score / 10) + "." + std::to_string(score % 10) +
             "/5.0 for message " + idText + (score >= 50 ? " - marked as spam" : ""));
        if (random_.Chance(0.01))
            Line("Winsock error 10054 (WSAECONNRESET) on receive: Connection reset by peer");
        Line(std::string("--> 250 2.0.0 Message ") + idText + " accepted for delivery");
        if (random_.Chance(0.05)) {
            Line("Client disconnected without QUIT");
            return;
        }
        Line("<-- QUIT");
        Line("--> 221 2.0.0 mail.brindlemar.local closing connection");
        Line("Connection closed (" + std::to_string(random_.Below(30)) + "." +
             std::to_string(random_.Below(10)) + "s, " + std::to_string(2000 + random_.Below(400000)) +
             " bytes)");
    }

    std::uint64_t Written() const { return written_; }

    bool Flush() {
        if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), out_) != buffer_.size())
            return false;
        written_ += buffer_.size();
        buffer_.clear();
        return true;
    }

    bool NeedsFlush() const { return buffer_.size() >= kFlush; }

private:
    static constexpr std::size_t kFlush = std::size_t{4} << 20;
    static constexpr std::size_t kMinLine = 60;
    static constexpr std::size_t kMaxLine = 300;

    // Thread id, time stamp (second field), session, client address, then the text. A short line gets its
    // address field widened, so that the text still ends the line.
    void Line(const std::string& text) {
        seconds_ += random_.Below(3) == 0 ? 1 : 0;
        const std::uint64_t s = seconds_ % 86400;
        const std::uint64_t day = 1 + (seconds_ / 86400) % 28;
        char head[96];
        const int n = std::snprintf(
            head, sizeof head, "%04X\t%02llu/03/24 %02llu:%02llu:%02llu\tS%07llu\t%s", thread_,
            static_cast<unsigned long long>(day), static_cast<unsigned long long>(s / 3600),
            static_cast<unsigned long long>(s / 60 % 60), static_cast<unsigned long long>(s % 60),
            static_cast<unsigned long long>(session_ % 10000000), ip_);
        const std::size_t start = buffer_.size();
        buffer_.append(head, static_cast<std::size_t>(n));
        const std::size_t length = static_cast<std::size_t>(n) + 1 + text.size();
        if (length < kMinLine)
            buffer_.append(kMinLine - length, ' ');
        buffer_ += '\t';
        buffer_ += text;
        if (buffer_.size() - start > kMaxLine)
            buffer_.resize(start + kMaxLine);
        buffer_ += "\r\n";
    }

    std::FILE* out_;
    Random random_;
    std::string buffer_;
    std::uint64_t written_ = 0;
    std::uint64_t seconds_ = 0;
    std::uint64_t session_ = 0;
    unsigned thread_ = 0;
    char ip_[32] = {};
};

// Writes one day's activity log, a line per event of the server's services: sessions coming and going,
// messages accepted, delivered, refused. Time stamps rise evenly through the day with the bytes written.
class ActivityWriter {
public:
    ActivityWriter(std::FILE* out, std::uint64_t bytes, std::string dateText, std::uint64_t seed)
        : out_(out), bytes_(bytes), date_(std::move(dateText)), random_(seed) {
        buffer_.reserve(kFlush + 4096);
    }

    // The lines of one session of one of the services.
    void Session(std::uint64_t session) {
        session_ = session;
        std::snprintf(ip_, sizeof ip_, "%u.%u.%u.%u", 1 + random_.Below(222), random_.Below(256),
                      random_.Below(256), 1 + random_.Below(254));
        const std::uint32_t service = random_.Below(10);
        if (service < 6)
            Inbound();
        else if (service < 8)
            Outbound();
        else
            Mailbox();
    }

    std::uint64_t Written() const { return written_; }

    bool Flush() {
        if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), out_) != buffer_.size())
            return false;
        written_ += buffer_.size();
        buffer_.clear();
        return true;
    }

    bool NeedsFlush() const { return buffer_.size() >= kFlush; }

private:
    static constexpr std::size_t kFlush = std::size_t{4} << 20;
    static constexpr std::size_t kMinLine = 40;
    static constexpr std::size_t kMaxLine = 200;
    static constexpr std::uint64_t kSecondsPerDay = 86400;

    std::string Id(std::uint64_t id) const {
        char text[24];
        std::snprintf(text, sizeof text, "%08llX", static_cast<unsigned long long>(id));
        return text;
    }

    void Inbound() {
        const std::string tag = "SMTP-IN [" + std::to_string(session_ % 10000000) + "] ";
        Line(tag + "Connection from " + ip_ + ":" + std::to_string(1024 + random_.Below(64000)));
        if (random_.Chance(0.01)) {
            Line(tag + "Refused: " + ip_ + " listed in zen.spamhaus.org");
            return;
        }
        if (random_.Chance(0.2))
            Line(tag + "Authenticated as " + random_.Pick(kLocalUsers) + " (LOGIN)");
        const std::string id = Id(session_ * 7 + 0x10000);
        const std::string sender = std::string(random_.Pick(kUsers)) + "@" + random_.Pick(kDomains);
        const std::uint32_t recipients = 1 + random_.Below(3);
        for (std::uint32_t r = 0; r < recipients; ++r) {
            const std::string rcpt = std::string(random_.Pick(kLocalUsers)) + "@brindlemar.local";
            if (random_.Chance(0.03))
                Line(tag + "Recipient <" + rcpt + "> rejected: User unknown");
            else
                Line(tag + "Message " + id + " from <" + sender + "> to <" + rcpt + ">, " +
                     std::to_string(1000 + random_.Below(400000)) + " bytes, subject \"" +
                     random_.Pick(kSubjects) + "\"");
        }
        if (random_.Chance(0.01))
            Line(tag + Fill(random_.Pick(kRareErrors), random_, session_));
        if (random_.Chance(0.1))
            Line(tag + "Spam filter: message " + id + " scored " + std::to_string(random_.Below(20)) + "." +
                 std::to_string(random_.Below(10)) + ", moved to Junk");
        Line(tag + "Session closed after " + std::to_string(random_.Below(30)) + "." +
             std::to_string(random_.Below(10)) + "s");
    }

    void Outbound() {
        const std::string tag = "SMTP-OUT [" + std::to_string(session_ % 10000000) + "] ";
        const std::string id = Id(session_ * 7 + 0x10000);
        const std::string domain = random_.Pick(kDomains);
        const std::string host = "mx" + std::to_string(random_.Below(4)) + "." + domain;
        Line(tag + "Delivering " + id + " to " + random_.Pick(kUsers) + "@" + domain + " via " + host + " (" +
             ip_ + ")");
        if (random_.Chance(0.05))
            Line(tag + "Delivery of " + id + " deferred: 451 4.7.1 Greylisted, retry in 300 seconds");
        else if (random_.Chance(0.02))
            Line(tag + "Delivery of " + id + " failed permanently: 550 5.1.1 User unknown");
        else
            Line(tag + "Delivered " + id + ": 250 2.0.0 Ok: queued as " + Id(random_.Next() & 0xFFFFFFFFFF));
    }

    void Mailbox() {
        const bool imap = random_.Chance(0.4);
        const std::string tag =
            std::string(imap ? "IMAP [" : "POP3 [") + std::to_string(session_ % 10000000) + "] ";
        const std::string user = random_.Pick(kLocalUsers);
        if (random_.Chance(0.03)) {
            Line(tag + "Login failed for " + user + " from " + ip_ + ": wrong password");
            return;
        }
        Line(tag + user + " logged in from " + ip_);
        Line(tag + user + ": " + std::to_string(random_.Below(200)) + " messages, " +
             std::to_string(random_.Below(90000000)) + " bytes" + (imap ? ", INBOX selected" : ""));
        Line(tag + user + " logged out");
    }

    // "dd/mm/yy hh:nn:ss " and the text, padded or cut to kMinLine..kMaxLine bytes, CR LF.
    void Line(const std::string& text) {
        std::uint64_t s = std::min((written_ + buffer_.size()) * kSecondsPerDay / bytes_, kSecondsPerDay - 1);
        if (random_.Chance(0.001)) // written late by a busy thread
            s -= std::min<std::uint64_t>(s, 1 + random_.Below(600));
        char stamp[40];
        std::snprintf(stamp, sizeof stamp, " %02u:%02u:%02u ", static_cast<unsigned>(s / 3600),
                      static_cast<unsigned>(s / 60 % 60), static_cast<unsigned>(s % 60));
        const std::size_t start = buffer_.size();
        buffer_ += date_;
        buffer_ += stamp;
        buffer_ += text;
        if (buffer_.size() - start < kMinLine)
            buffer_.append(kMinLine - (buffer_.size() - start), ' ');
        if (buffer_.size() - start > kMaxLine)
            buffer_.resize(start + kMaxLine);
        buffer_ += "\r\n";
    }

    std::FILE* out_;
    std::uint64_t bytes_;
    std::string date_;
    Random random_;
    std::string buffer_;
    std::uint64_t written_ = 0;
    std::uint64_t session_ = 0;
    char ip_[24] = {};
};
} // namespace

bool GenerateDebugLog(const std::string& path, std::uint64_t bytes, std::uint64_t seed, std::string& error) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    LogWriter writer(out, seed);
    std::uint64_t session = 0;
    bool ok = true;
    while (ok && writer.Written() < bytes) {
        writer.Session(++session);
        if (writer.NeedsFlush())
            ok = writer.Flush();
    }
    ok = ok && writer.Flush();
    if (std::fclose(out) != 0)
        ok = false;
    if (!ok)
        error = std::strerror(errno);
    return ok;
}

bool GenerateActivityLog(const std::string& path, std::uint64_t bytes, const std::string& dateText,
                         std::uint64_t seed, std::string& error) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    ActivityWriter writer(out, std::max<std::uint64_t>(bytes, 1), dateText, seed);
    std::uint64_t session = 0;
    bool ok = true;
    while (ok && writer.Written() < bytes) {
        writer.Session(++session);
        if (writer.NeedsFlush())
            ok = writer.Flush();
    }
    ok = ok && writer.Flush();
    if (std::fclose(out) != 0)
        ok = false;
    if (!ok)
        error = std::strerror(errno);
    return ok;
}

std::vector<std::string> Catalogue200() {
    std::vector<std::string> strings{
        // Frequent: a few in every hundred sessions.
        "Recipient address rejected: User unknown",
        "Connection timed out",
        "Client disconnected without QUIT",
        "Connection reset by peer",
        "- marked as spam",
        "Relaying denied",
        "535 5.7.8",
        "<-- QUIT\r\n", // "<CRLF>" in the catalogue: at the end of the line only
        "Relaying denied\r\n",
        "zen.spamhaus.org",
    };
    // Rare: the significant part of each rare message: the longest stretch without a placeholder, and
    // without the direction marker of a reply.
    for (const char* message : kRareErrors) {
        std::string_view text = message;
        if (text.substr(0, 4) == "--> ")
            text.remove_prefix(4);
        std::string_view best;
        while (!text.empty()) {
            const std::size_t open = text.find('{');
            const std::string_view piece = text.substr(0, open);
            if (piece.size() > best.size())
                best = piece;
            if (open == std::string_view::npos)
                break;
            text.remove_prefix(text.find('}', open) + 1);
        }
        while (!best.empty() && (best.front() == ' ' || best.front() == ':'))
            best.remove_prefix(1);
        while (!best.empty() && best.back() == ' ')
            best.remove_suffix(1);
        strings.emplace_back(best);
    }
    for (const char* message : kAbsent)
        strings.push_back(message);
    // The rest, to 200: reply codes and short forms that administrators add to catch families of events.
    const char* const extra[] = {"550 5.7.1",
                                 "550 5.1.1",
                                 "554 5.7.1",
                                 "421 4.",
                                 "451 4.7.1",
                                 "452 4.",
                                 "WSAECONNRESET",
                                 "WSAETIMEDOUT",
                                 "WSAECONNREFUSED",
                                 "WSAE",
                                 "timed out",
                                 "refused",
                                 "Access is denied",
                                 "failed permanently",
                                 "bad mail folder",
                                 "over quota",
                                 "is locked",
                                 "not responding",
                                 "Greylisted",
                                 "ung\xfcltig",
                                 "spool file",
                                 "DNS lookup for MX",
                                 "TLS handshake failed",
                                 "certificate expired",
                                 "dictionary attack",
                                 "Licence limit",
                                 "Out of memory",
                                 "Error 1450",
                                 "closing all connections",
                                 "Bare LF",
                                 "8BITMIME\r\n",
                                 "pipelining violation",
                                 "Routing loop",
                                 "Too many recipients",
                                 "Syntax error",
                                 "Bad sequence of commands",
                                 "DMARC policy",
                                 "DKIM signature verification failed",
                                 "SPF check failed",
                                 "black list",
                                 "Virus scanner",
                                 "Eicar-Test-Signature",
                                 "infected attachment",
                                 "marked as spam\r\n",
                                 "Spam filter: score 9.",
                                 "Relaying denied\r\n"};
    for (const char* s : extra) {
        if (strings.size() >= 200)
            break;
        strings.push_back(s);
    }
    for (unsigned code = 1; strings.size() < 200; ++code)
        strings.push_back("Plug-in error " + std::to_string(code));
    strings.resize(200);
    return strings;
}

std::vector<std::string> Catalogue30() {
    std::vector<std::string> all = Catalogue200();
    // The frequent ones, then rare and absent ones of the same kinds.
    std::vector<std::string> strings(all.begin(), all.begin() + 10);
    for (std::size_t i = 10; strings.size() < 25; i += 5)
        strings.push_back(all[i]);
    for (std::size_t i = 100; strings.size() < 30; i += 7)
        strings.push_back(all[i]);
    return strings;
}

} // namespace bench

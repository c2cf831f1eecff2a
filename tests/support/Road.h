// What the tests of the window's road share, with or without a toolkit: a real library server on
// 127.0.0.1, a registry export file written for each test, a recording desktop opener, and a fixture that
// lays out a program directory with the debug and activity logs of two sources.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/TestSupport.h"

namespace httplib {
class Server;
}

namespace roadtest {

// A library server on 127.0.0.1 at an ephemeral port: answers the catalogue request of a source with the
// reply set for it ("" for a source without one) and records the sources asked for.
class LibraryServer {
public:
    LibraryServer();
    ~LibraryServer();
    LibraryServer(const LibraryServer&) = delete;
    LibraryServer& operator=(const LibraryServer&) = delete;

    // "127.0.0.1:port"
    std::string Host() const;
    void SetReply(const std::string& source, const std::string& reply);
    std::vector<std::string> Requests() const;

private:
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
    mutable std::mutex mutex_;
    std::map<std::string, std::string> replies_;
    std::vector<std::string> requests_;
};

// A loopback address at which nothing listens (a port that was bound and released again).
std::string ClosedHost();

// Registry settings as a REGEDIT4 export file.
struct RegistrySettings {
    std::string libraryServer;
    std::optional<int> debugStatus;
    std::map<std::string, std::string> debugDirectories;    // source key path below the root -> directory
    std::map<std::string, std::string> activityDirectories; // likewise
};
std::string RegistryFileText(const RegistrySettings& settings);

// An executable script that appends each argument it is given as one line to `record`.
void WriteRecordingOpener(const std::string& script, const std::string& record);

inline const std::string kSmtpLog = "SMTP-Debug-20260712.log";

// Entry 0 occurs twice, entry 1 (ends in CR LF) once at a line's end, entry 2 never, entry 3 once.
inline const std::string kSmtpCatalogue =
    "Relay denied\thttp://library.test/kb/relay\tThe server refused to relay."
    "<CRLF>Check the relay settings.\r\n"
    "Timeout<CRLF>\thttps://library.test/kb/timeout\tA connection timed out.\r\n"
    "Unused\thttp://library.test/kb/unused\tNever seen.\r\n"
    "Script\tjavascript:alert(1)\tA link that is no web address.\r\n";

inline const std::string kSmtpDebugLog = "1\t07/12/26 10:15:30\tRelay denied for a@b\r\n"
                                         "2\t07/12/26 10:15:40\tSession Timeout\r\n"
                                         "3\t07/12/26 10:16:00\tRelay denied for c@d\r\n"
                                         "4\t07/12/26 10:20:00\tScript\r\n";

inline const std::string kSmtpActivityLog = "07/12/26 10:13:29 too early\r\n"
                                            "07/12/26 10:13:30 lower bound\r\n"
                                            "07/12/26 10:15:10 first of the minute\r\n"
                                            "07/12/26 10:15:50 later in the minute\r\n"
                                            "07/12/26 10:17:30 upper bound\r\n"
                                            "07/12/26 10:17:31 too late\r\n";

inline const std::string kPopCatalogue = "USER\thttp://library.test/kb/user\tA user logged in.\r\n";

// A program directory, SMTP's debug and activity logs, POP's debug log, a registry export file naming
// them and the library server, and a desktop opener that records what it is asked to open.
class RoadFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void WriteRegistry() { testing_support::WriteBytes(registryPath_, RegistryFileText(settings_)); }
    std::string Opened() const { return testing_support::ReadBytes(dir_.File("opened.txt")); }
    // Points the opener at a program that is not there, so the desktop refuses.
    void BreakOpener();

    testing_support::TempDir dir_;
    LibraryServer server_;
    RegistrySettings settings_;
    std::string programDir_, smtpDebug_, smtpActivity_, popDebug_, registryPath_;
    std::unique_ptr<testing_support::ScopedEnv> registryEnv_, openerEnv_, noProxy_;
};

} // namespace roadtest

// Hostile input through the real window: logs cut short or replaced by directories between the listing and
// the scan, logs of NUL bytes, of nothing, of one 200 MB line, and library servers that never answer, answer
// without end, trickle, speak no HTTP or redirect to themselves. Each ends in the window's own message or
// a defined empty result.
#include "AppTestSupport.h"

#include "TestServers.h"
#include "form/frmMain.h"

#include <QLabel>
#include <QPlainTextEdit>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>

namespace {

// The activity log's lines within two minutes of the debug log's first line.
const QString kTranscriptOfTheFirstLine =
    "07/12/26 10:13:30 lower bound\n->07/12/26 10:15:10 first of the minute\n"
    "07/12/26 10:15:50 later in the minute\n07/12/26 10:17:30 upper bound";

const QString kLibraryTitle = QStringLiteral("Library Not Currently Available");
using roadtest::kSmtpCatalogue;
using roadtest::kSmtpLog;
using testing_support::AppendFill;
using testing_support::PeakMemory;
using testing_support::ReadBytes;
using testing_support::WriteBytes;
namespace fs = std::filesystem;

class HostileWindowTest : public apptest::WindowFixture {};

TEST_F(HostileWindowTest, ALogCutShortAfterTheListingShowsTheCountsOfWhatIsThere) {
    frmMain& w = Start();
    ASSERT_EQ(Find<QListWidget>("lstFiles")->count(), 2);
    const struct {
        const char* name;
        std::string bytes;
        std::vector<std::int32_t> counts;
        QStringList rows;
    } rows[] = {
        {"cut inside its second line",
         "1\t07/12/26 10:15:30\tRelay denied for a@b\r\n2\t07/12/26 10:15:40\tSess",
         {1, 0, 0, 0},
         {"0 [1]  Relay denied"}},
        {"cut to its first line",
         "1\t07/12/26 10:15:30\tRelay denied for a@b\r\n",
         {1, 0, 0, 0},
         {"0 [1]  Relay denied"}},
        {"cut to nothing", "", {0, 0, 0, 0}, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(::truncate((smtpDebug_ + "/" + kSmtpLog).c_str(), static_cast<off_t>(row.bytes.size())), 0);
        ASSERT_EQ(ReadBytes(smtpDebug_ + "/" + kSmtpLog), row.bytes);
        // A click on the chosen file counts it again.
        auto* files = Find<QListWidget>("lstFiles");
        QTest::mouseClick(files->viewport(), Qt::LeftButton, {},
                          files->visualItemRect(files->item(1)).center());
        Settle();
        EXPECT_EQ(w.Form().ErrorCounts, row.counts);
        EXPECT_EQ(Items(Find<QListWidget>("LstErrors")), row.rows);
    }
    EXPECT_TRUE(prompt_.messages.empty());
    EXPECT_EQ(prompt_.waitDepth, 0);
}

TEST_F(HostileWindowTest, ALogCutShortAfterTheScanListsTheLinesThatAreLeft) {
    Start();
    ChooseFile(kSmtpLog);
    ASSERT_EQ(Find<QListWidget>("LstErrors")->count(), 3);
    // Cut between the scan and the instance list: the list is of the file as it is now.
    ASSERT_EQ(::truncate((smtpDebug_ + "/" + kSmtpLog).c_str(), 45), 0);
    Choose(Find<QListWidget>("LstErrors"), 0);
    auto* instances = Find<QListView>("lstinstances");
    EXPECT_EQ(Rows(instances), QStringList({"1\t07/12/26 10:15:30\tRelay denied for a@b"}));

    // Cut again after the list was made: the row's line can no longer be read whole and reads as empty; the
    // click finds no time stamp in it and the double-click shows an empty line.
    ASSERT_EQ(::truncate((smtpDebug_ + "/" + kSmtpLog).c_str(), 10), 0);
    Choose(instances, 0);
    EXPECT_EQ(Find<QPlainTextEdit>("txtTranscript")->toPlainText(), "");
    DoubleClick(instances, 0);
    ASSERT_FALSE(prompt_.modals.empty());
    EXPECT_EQ(prompt_.modals.back().text, "");
    EXPECT_TRUE(prompt_.messages.empty());
    EXPECT_EQ(prompt_.waitDepth, 0);
}

TEST_F(HostileWindowTest, ADirectoryNamedLikeALogIsNotListedAndNamedDirectlyIsReported) {
    fs::create_directory(smtpDebug_ + "/SMTP-Debug-20260713.log");
    frmMain& w = Start();
    EXPECT_EQ(Items(Find<QListWidget>("lstFiles")),
              QStringList({"SMTP-Debug-20260711.log", "SMTP-Debug-20260712.log"}));
    w.Form().GetErrorCount("SMTP", "SMTP-Debug-20260713.log");
    Settle();
    w.Form().ShowErrorInstances("SMTP", "SMTP-Debug-20260713.log", 0);
    Settle();
    ASSERT_EQ(prompt_.messages.size(), 2u);
    for (const auto& message : prompt_.messages) {
        EXPECT_EQ(message.text, "Unable to open log file. Is a directory");
        EXPECT_EQ(message.title, "Error");
        EXPECT_EQ(message.icon, Prompt::Icon::Critical);
    }
    EXPECT_EQ(w.Form().ErrorCounts, std::vector<std::int32_t>(4, 0));
    EXPECT_EQ(Find<QListView>("lstinstances")->model()->rowCount(), 0);
}

TEST_F(HostileWindowTest, NulAndEndOfFileBytesAreCharactersOfTheirLines) {
    const std::string nul(1, '\0');
    WriteBytes(smtpDebug_ + "/" + kSmtpLog, "1\t07/12/26 10:15:30\tRelay denied " + nul + "\x1a\r\n\x1a" +
                                                nul + "\r\n2\t" + nul + "Script\x1a");
    WriteBytes(smtpDebug_ + "/SMTP-Debug-20260711.log", "");
    frmMain& w = Start();
    ChooseFile(kSmtpLog);
    EXPECT_EQ(w.Form().ErrorCounts, (std::vector<std::int32_t>{1, 0, 0, 1}));
    Choose(Find<QListWidget>("LstErrors"), 0);
    const QString expected = QStringLiteral("1\t07/12/26 10:15:30\tRelay denied ") + QChar(0) + QChar(0x1a);
    EXPECT_EQ(Rows(Find<QListView>("lstinstances")), QStringList({expected}));
    Choose(Find<QListView>("lstinstances"), 0);
    EXPECT_EQ(Find<QPlainTextEdit>("txtTranscript")->toPlainText(), kTranscriptOfTheFirstLine);

    // A log of nothing has no events and is no failure.
    ChooseFile("SMTP-Debug-20260711.log");
    EXPECT_EQ(w.Form().ErrorCounts, std::vector<std::int32_t>(4, 0));
    EXPECT_EQ(Find<QListWidget>("LstErrors")->count(), 0);
    EXPECT_TRUE(prompt_.messages.empty());
}

TEST_F(HostileWindowTest, A200MegabyteLineIsCountedListedAndShownCut) {
    constexpr std::size_t kLong = std::size_t{200} << 20;
    const std::string path = smtpDebug_ + "/" + kSmtpLog;
    const std::string head = "9\t07/12/26 10:15:30\tRelay denied ";
    WriteBytes(path, roadtest::kSmtpDebugLog + head);
    AppendFill(path, 'z', kLong);
    {
        std::FILE* file = std::fopen(path.c_str(), "ab");
        ASSERT_NE(file, nullptr);
        std::fputs(" Script\r\n", file);
        std::fclose(file);
    }
    frmMain& w = Start();
    PeakMemory peak;
    ChooseFile(kSmtpLog);
    EXPECT_EQ(w.Form().ErrorCounts, (std::vector<std::int32_t>{3, 1, 0, 2}));
    Choose(Find<QListWidget>("LstErrors"), 0);
    auto* instances = Find<QListView>("lstinstances");
    ASSERT_EQ(instances->model()->rowCount(), 3);
    // The row shows the line's start; the chosen item is its first mebibyte; its transcript is looked up.
    const QString shown = instances->model()->index(2, 0).data().toString();
    EXPECT_EQ(static_cast<std::size_t>(shown.size()), form::frmMain::kInstanceRowBytes);
    EXPECT_TRUE(shown.startsWith(QString::fromStdString(head) + "zzz"));
    Choose(instances, 2);
    EXPECT_EQ(Find<QPlainTextEdit>("txtTranscript")->toPlainText(), kTranscriptOfTheFirstLine);
    DoubleClick(instances, 2);
    ASSERT_FALSE(prompt_.modals.empty());
    EXPECT_EQ(static_cast<std::size_t>(prompt_.modals.back().text.size()), form::frmMain::kInstanceItemBytes);
    EXPECT_TRUE(prompt_.messages.empty());
    if (peak.Measured()) {
        std::printf("[ figures ] window with a 200 MiB line (scan, list, transcript, instance window): peak "
                    "memory +%zu MiB\n",
                    peak.GrowthBytes() >> 20);
        EXPECT_LT(peak.GrowthBytes(), std::size_t{96} << 20);
    }
}

// Library servers that give no catalogue: the window says so in the standard words, stores nothing and keeps
// the catalogue it had.
TEST_F(HostileWindowTest, BrokenLibraryRepliesGiveTheStandardMessage) {
    using testing_support::HttpTestServer;
    using testing_support::RawTestServer;
    const std::string old = "old\tL\tE\r\n";
    const catalogue::PostFormLimits quick{1000, 1000, 32u << 20};
    const QString standard =
        QStringLiteral("Unable to retrieve analysis details from library server for: SMTP at this time.");
    struct Row {
        const char* name;
        std::function<std::unique_ptr<RawTestServer>()> raw;
        std::optional<catalogue::PostFormLimits> limits;
    };
    const Row rows[] = {
        {"never answers (time limit lowered)",
         [] { return std::make_unique<RawTestServer>("", RawTestServer::Behaviour::Stall); }, quick},
        {"answers 1 GiB (the size limit)",
         [] {
             return std::make_unique<RawTestServer>("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n",
                                                    RawTestServer::Behaviour::Endless);
         },
         std::nullopt},
        {"trickles a byte at a time (the whole-exchange time limit)",
         [] {
             return std::make_unique<RawTestServer>(
                 "HTTP/1.0 200 OK\r\nContent-Length: 40\r\n\r\n" + std::string(40, 'c'),
                 RawTestServer::Behaviour::Trickle, std::chrono::milliseconds(200));
         },
         quick},
        {"answers garbage instead of HTTP",
         [] { return std::make_unique<RawTestServer>("garbage\r\n\r\nRelay denied\tL\tE\r\n"); },
         std::nullopt},
        {"redirects to itself", nullptr, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WriteBytes(programDir_ + "/SMTP-Analysis.tab", old);
        std::unique_ptr<RawTestServer> raw;
        std::unique_ptr<HttpTestServer> redirecting;
        std::atomic<int> redirects{0};
        if (row.raw) {
            raw = row.raw();
            settings_.libraryServer = raw->Host();
        } else {
            redirecting = std::make_unique<HttpTestServer>([&](httplib::Server& s) {
                s.Post("/Tools/Analysis/Analysis.asp",
                       [&](const httplib::Request& req, httplib::Response& res) {
                           ++redirects;
                           res.set_redirect(req.target, 302);
                       });
            });
            settings_.libraryServer = redirecting->Host();
        }
        WriteRegistry();
        prompt_.messages.clear();
        frmMain& w = Start(row.limits);
        ASSERT_EQ(prompt_.messages.size(), 1u);
        EXPECT_EQ(prompt_.messages[0].text, standard);
        EXPECT_EQ(prompt_.messages[0].title, kLibraryTitle);
        EXPECT_EQ(prompt_.messages[0].icon, Prompt::Icon::Information);
        EXPECT_EQ(prompt_.waitDepth, 0);
        // Nothing was stored: the catalogue beside the program is the old one, and it is the one in use.
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(programDir_))
            names.push_back(entry.path().filename().string());
        EXPECT_EQ(names, std::vector<std::string>{"SMTP-Analysis.tab"});
        EXPECT_EQ(ReadBytes(programDir_ + "/SMTP-Analysis.tab"), old);
        ASSERT_EQ(w.Form().ErrorUpperBound, 0);
        EXPECT_EQ(w.Form().ErrorStrings[0], "old");
        if (raw) {
            EXPECT_TRUE(raw->Connected());
            EXPECT_LT(raw->BytesSent(), std::size_t{96} << 20);
        } else {
            EXPECT_EQ(redirects, 1);
        }
        window_.reset();
    }
}

} // namespace

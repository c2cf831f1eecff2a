// The exports, Copy, Refresh and working offline, through a recording view against a real library server on
// 127.0.0.1 and real log files: what is written where (and where never), what the status bar says, and what
// stays chosen when the logs change.
#include "RecordingView.h"

#include "form/Export.h"
#include "form/Operations.h"
#include "form/Texts.h"
#include "form/frmMain.h"
#include "support/Road.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <utime.h>

namespace {

namespace fs = std::filesystem;
using form::ListId;
using roadtest::kSmtpCatalogue;
using roadtest::kSmtpDebugLog;
using roadtest::kSmtpLog;
using testing_support::ReadBytes;
using testing_support::WriteBytes;
using Strings = std::vector<std::string>;

class ExportTest : public roadtest::RoadFixture {
protected:
    form::frmMain& Start() {
        form_.reset();
        view_ = std::make_unique<formtest::RecordingView>();
        form_ = std::make_unique<form::frmMain>(*view_, programDir_);
        view_->Attach(*form_);
        form_->Form_Load();
        return *form_;
    }
    void ChooseFile(const std::string& name) {
        const int row = view_->RowOf(ListId::lstFiles, name);
        ASSERT_GE(row, 0) << name;
        view_->Choose(ListId::lstFiles, row);
    }
    // Names in a directory that are left-over new files of a replace.
    static std::size_t Temporaries(const std::string& directory) {
        std::size_t found = 0;
        for (const auto& entry : fs::directory_iterator(directory))
            found += entry.path().filename().string().find(".tmp-") != std::string::npos;
        return found;
    }

    std::unique_ptr<formtest::RecordingView> view_;
    std::unique_ptr<form::frmMain> form_;
};

TEST_F(ExportTest, ExportsAreWrittenWholeAndNeverOverALogOrIntoALogDirectory) {
    const std::string debugLog = smtpDebug_ + "/" + kSmtpLog;
    fs::create_directory(dir_.Path() / "out");
    fs::create_directory(dir_.Path() / "out/a-directory");
    fs::create_hard_link(debugLog, dir_.File("out/hard-link.csv"));
    fs::create_symlink(debugLog, dir_.File("out/symlink.csv"));
    fs::create_directory_symlink(smtpActivity_, dir_.File("out/activity-link"));
    WriteBytes(dir_.File("out/old.csv"), "old contents");
    enum class Outcome { Refused, Failed, Written };
    const struct {
        const char* name;
        std::string target;
        Outcome outcome;
    } rows[] = {
        {"the debug log itself", debugLog, Outcome::Refused},
        {"the debug log through another spelling", smtpDebug_ + "/./" + kSmtpLog, Outcome::Refused},
        {"a hard link to the debug log", dir_.File("out/hard-link.csv"), Outcome::Refused},
        {"a symbolic link to the debug log", dir_.File("out/symlink.csv"), Outcome::Refused},
        {"a new file in the debug log directory", smtpDebug_ + "/events.csv", Outcome::Refused},
        {"a new file in the activity log directory", smtpActivity_ + "/events.csv", Outcome::Refused},
        {"a linked activity log directory", dir_.File("out/activity-link/events.csv"), Outcome::Refused},
        {"another source's debug log directory", popDebug_ + "/events.csv", Outcome::Refused},
        {"a directory that does not exist", dir_.File("out/missing/events.csv"), Outcome::Failed},
        {"an existing directory", dir_.File("out/a-directory"), Outcome::Failed},
        {"a new file", dir_.File("out/events.csv"), Outcome::Written},
        {"an existing export", dir_.File("out/old.csv"), Outcome::Written},
    };
    Start();
    ChooseFile(kSmtpLog);
    const std::string expected =
        std::string(form::kUtf8ByteOrderMark) +
        form::EventsCsv(form_->ErrorStrings, form_->ErrorLinks, form_->ErrorDescriptions, form_->ErrorCounts);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        view_->messages.clear();
        view_->savePath = row.target;
        form_->mnuExportEvents_Click();
        EXPECT_EQ(view_->savePrompts.back().suggestedName, "SMTP-Debug-20260712-events.csv");
        switch (row.outcome) {
        case Outcome::Refused:
            ASSERT_EQ(view_->messages.size(), 1u);
            EXPECT_EQ(view_->messages[0].text, std::string(form::kExportOverLog) + row.target);
            break;
        case Outcome::Failed:
            ASSERT_EQ(view_->messages.size(), 1u);
            EXPECT_EQ(view_->messages[0].text.rfind("Unable to write " + row.target + ": ", 0), 0u)
                << view_->messages[0].text;
            EXPECT_GT(view_->messages[0].text.size(), ("Unable to write " + row.target + ": ").size());
            EXPECT_EQ(view_->messages[0].icon, form::Icon::Critical);
            break;
        case Outcome::Written:
            EXPECT_TRUE(view_->messages.empty());
            EXPECT_EQ(ReadBytes(row.target), expected);
            EXPECT_EQ(view_->status, "Exported 3 events to " + row.target);
            break;
        }
        // The logs are as they were and no new file is left behind anywhere.
        EXPECT_EQ(ReadBytes(debugLog), kSmtpDebugLog);
        EXPECT_EQ(Temporaries(smtpDebug_) + Temporaries(smtpActivity_) + Temporaries(dir_.File("out")), 0u);
        EXPECT_FALSE(fs::exists(smtpDebug_ + "/events.csv"));
        EXPECT_FALSE(fs::exists(smtpActivity_ + "/events.csv"));
    }
    EXPECT_EQ(expected.rfind("\xEF\xBB\xBFindex,count,search,link,explanation\r\n0,2,Relay denied,", 0), 0u);
}

TEST_F(ExportTest, ExportedInstancesAreTheLogsLinesByteForByte) {
    // cp1252 bytes, a lone LF inside a line, a line ended by a lone CR, a line of several megabytes (read
    // back in pieces), and a last line without a terminator.
    const std::string longLine = "5\tRelay denied " + std::string(3'500'000, 'x');
    const std::string lines[] = {"1\tRelay denied \xE9t\xE9 \x80\nsame line", "3\tRelay denied\tc@d",
                                 longLine, "6\tRelay denied at the end"};
    const std::string log = lines[0] + "\r2\tother\r\n" + lines[1] + "\r\n" + lines[2] + "\r\n" + lines[3];
    WriteBytes(smtpDebug_ + "/" + kSmtpLog, log);
    Start();
    ChooseFile(kSmtpLog);
    view_->Choose(ListId::LstErrors, 0);
    ASSERT_EQ(form_->InstanceCount(), 4u);
    const std::string target = dir_.File("lines.log");
    view_->savePath = target;
    form_->mnuExportInstances_Click();
    view_->Settle();
    EXPECT_TRUE(view_->messages.empty());
    EXPECT_EQ(view_->savePrompts.back().suggestedName, "SMTP-Debug-20260712-event-0.log");
    EXPECT_EQ(view_->savePrompts.back().extension, "log");
    std::string expected;
    for (const std::string& line : lines)
        expected += line + "\r\n";
    EXPECT_EQ(ReadBytes(target), expected);
    EXPECT_EQ(view_->status, "Exported 4 lines to " + target);
    EXPECT_EQ(view_->waitDepth, 0);
}

TEST_F(ExportTest, NothingToExportIsSaidAndNoDialogOpens) {
    Start();
    form_->mnuExportEvents_Click(); // no file chosen
    form_->mnuExportInstances_Click();
    ChooseFile("SMTP-Debug-20260711.log"); // no event in it
    form_->mnuExportEvents_Click();
    ChooseFile(kSmtpLog);
    form_->mnuExportInstances_Click(); // no event chosen
    EXPECT_TRUE(view_->savePrompts.empty());
    ASSERT_EQ(view_->messages.size(), 4u);
    EXPECT_EQ(view_->messages[0].text, form::kNoEventsToExport);
    EXPECT_EQ(view_->messages[1].text, form::kNoInstancesToExport);
    EXPECT_EQ(view_->messages[2].text, form::kNoEventsToExport);
    EXPECT_EQ(view_->messages[3].text, form::kNoInstancesToExport);
    // A cancelled dialog writes nothing and says nothing.
    view_->Choose(ListId::LstErrors, 0);
    view_->savePath.reset();
    form_->mnuExportInstances_Click();
    EXPECT_EQ(view_->messages.size(), 4u);
    EXPECT_EQ(view_->savePrompts.size(), 1u);
}

TEST_F(ExportTest, CopyPutsTheChosenRowOnTheClipboard) {
    Start();
    form_->CopyEventRow();
    form_->CopyInstanceRow();
    EXPECT_EQ(view_->clipboard, "");
    ChooseFile(kSmtpLog);
    view_->Choose(ListId::LstErrors, 1); // "1 [1]  Timeout" + CR LF
    form_->CopyEventRow();
    EXPECT_EQ(view_->clipboard, "1 [1]  Timeout");
    view_->Choose(ListId::LstErrors, 0);
    view_->ChooseInstance(1);
    form_->CopyInstanceRow();
    EXPECT_EQ(view_->clipboard, "3\t07/12/26 10:16:00\tRelay denied for c@d");
}

TEST_F(ExportTest, RefreshKeepsTheChoiceWhileTheFileIsThereAndFetchesNothing) {
    Start();
    ChooseFile(kSmtpLog);
    view_->Choose(ListId::LstErrors, 0);
    ASSERT_EQ(form_->InstanceCount(), 2u);
    const std::size_t requests = server_.Requests().size();

    // The log grows and a new day's log appears.
    WriteBytes(smtpDebug_ + "/" + kSmtpLog, kSmtpDebugLog + "5\t07/12/26 11:00:00\tRelay denied for e@f\r\n");
    WriteBytes(smtpDebug_ + "/SMTP-Debug-20260713.log", "Relay denied\r\n");
    form_->mnuRefresh_Click();
    view_->Settle();
    EXPECT_EQ(view_->Items(ListId::lstFiles),
              Strings({"SMTP-Debug-20260711.log", "SMTP-Debug-20260712.log", "SMTP-Debug-20260713.log"}));
    EXPECT_EQ(view_->SelectedItem(ListId::lstFiles), kSmtpLog);
    EXPECT_EQ(form_->ErrorCounts, (std::vector<std::int32_t>{3, 1, 0, 1}));
    EXPECT_EQ(view_->SelectedItem(ListId::LstErrors), "0 [3]  Relay denied");
    EXPECT_EQ(form_->InstanceCount(), 3u);
    EXPECT_EQ(view_->Text(form::TextId::txtErrorDescription),
              "The server refused to relay.\r\nCheck the relay settings.");

    // An event the file no longer holds is not chosen again; the file stays.
    view_->Choose(ListId::LstErrors, 2); // "3 [1]  Script"
    WriteBytes(smtpDebug_ + "/" + kSmtpLog, "Relay denied\r\n");
    form_->mnuRefresh_Click();
    view_->Settle();
    EXPECT_EQ(view_->SelectedItem(ListId::lstFiles), kSmtpLog);
    EXPECT_EQ(view_->Items(ListId::LstErrors), Strings({"0 [1]  Relay denied"}));
    EXPECT_EQ(view_->SelectedIndex(ListId::LstErrors), -1);
    EXPECT_EQ(form_->InstanceCount(), 0u);

    // The chosen file vanishes: nothing of it stays on show.
    view_->Choose(ListId::LstErrors, 0);
    fs::remove(smtpDebug_ + "/" + kSmtpLog);
    form_->mnuRefresh_Click();
    view_->Settle();
    EXPECT_EQ(view_->Items(ListId::lstFiles),
              Strings({"SMTP-Debug-20260711.log", "SMTP-Debug-20260713.log"}));
    EXPECT_EQ(view_->SelectedIndex(ListId::lstFiles), -1);
    EXPECT_TRUE(view_->Items(ListId::LstErrors).empty());
    EXPECT_EQ(form_->InstanceCount(), 0u);
    EXPECT_EQ(view_->Text(form::TextId::txtErrorDescription), "");
    EXPECT_EQ(view_->status, kSmtpLog + " is no longer in the debug log directory");
    EXPECT_EQ(server_.Requests().size(), requests);
    EXPECT_EQ(view_->waitDepth, 0);
}

TEST_F(ExportTest, AFileThatCannotBeOpenedIsNamedInTheStatusBar) {
    Start();
    EXPECT_EQ(view_->status, "Library server " + server_.Host() + ": catalogue for SMTP stored");
    fs::remove(smtpDebug_ + "/" + kSmtpLog);
    ChooseFile(kSmtpLog);
    ASSERT_EQ(view_->messages.size(), 1u);
    EXPECT_EQ(view_->messages[0].text.rfind("Unable to open log file. ", 0), 0u);
    EXPECT_EQ(view_->status, "Log file not opened: " + smtpDebug_ + "/" + kSmtpLog);
}

TEST_F(ExportTest, WithoutTheLibraryServerTheStoredCatalogueIsUsed) {
    const std::string stored = programDir_ + "/SMTP-Analysis.tab";
    const std::time_t when = 1'800'000'000; // 15 Jan 2027
    const std::string standard =
        "Unable to retrieve analysis details from library server for: SMTP at this time.";
    const struct {
        const char* name;
        bool closedPort;
        bool storedBefore;
    } rows[] = {
        {"unreachable, catalogue stored", true, true},
        {"a notice, catalogue stored", false, true},
        {"unreachable, nothing stored", true, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove(stored);
        if (row.storedBefore) {
            WriteBytes(stored, kSmtpCatalogue);
            const utimbuf times{when, when};
            ASSERT_EQ(::utime(stored.c_str(), &times), 0);
        }
        server_.SetReply("SMTP", row.closedPort ? kSmtpCatalogue : "<!BRINDLEMAR>Closed today.<!BRINDLEMAR>");
        settings_.libraryServer = row.closedPort ? roadtest::ClosedHost() : server_.Host();
        WriteRegistry();
        form::frmMain& f = Start();
        // The library server's message comes first, exactly as without a stored catalogue.
        ASSERT_EQ(view_->messages.size(), 1u);
        EXPECT_EQ(view_->messages[0].text, row.closedPort ? standard : "Closed today.");
        EXPECT_EQ(view_->directoryCaption, smtpDebug_);
        if (!row.storedBefore) {
            EXPECT_TRUE(view_->Items(ListId::lstFiles).empty());
            EXPECT_EQ(f.ErrorUpperBound, -1);
            EXPECT_EQ(view_->status, "Library server " + settings_.libraryServer + ": no catalogue for SMTP");
            continue;
        }
        EXPECT_EQ(view_->status, "Library server not reachable: using the catalogue stored on " +
                                     form::FormatLocalTime(when) + " (library server " +
                                     settings_.libraryServer + ")");
        EXPECT_EQ(ReadBytes(stored), kSmtpCatalogue); // kept as it was
        EXPECT_EQ(f.ErrorUpperBound, 3);
        EXPECT_EQ(view_->Items(ListId::lstFiles), Strings({"SMTP-Debug-20260711.log", kSmtpLog}));
        ChooseFile(kSmtpLog);
        EXPECT_EQ(f.ErrorCounts, (std::vector<std::int32_t>{2, 1, 0, 1}));
    }

    // Choosing another source offline loads its stored catalogue in place of the one in memory.
    WriteBytes(programDir_ + "/POP-Analysis.tab", roadtest::kPopCatalogue);
    view_->Choose(ListId::lstLogSource, 4);
    ASSERT_EQ(form_->ActiveSource, "POP");
    EXPECT_EQ(form_->ErrorUpperBound, 0);
    EXPECT_EQ(form_->ErrorStrings[0], "USER");
    EXPECT_EQ(view_->Items(ListId::lstFiles), Strings({"POP-Debug-20260712.log"}));
    EXPECT_TRUE(view_->Items(ListId::LstErrors).empty());
}

TEST(FormatLocalTimeTest, WritesDayMonthYearAndTheClock) {
    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 11;
    local.tm_mday = 8;
    local.tm_hour = 14;
    local.tm_min = 5;
    local.tm_isdst = -1;
    EXPECT_EQ(form::FormatLocalTime(std::mktime(&local)), "8 Dec 2026 14:05");
    local.tm_mon = 0;
    local.tm_mday = 31;
    local.tm_hour = 0;
    local.tm_min = 0;
    EXPECT_EQ(form::FormatLocalTime(std::mktime(&local)), "31 Jan 2026 00:00");
}

// The status bar while a file is read: no estimate before there is one to give, then the time left as a
// person reads it.
TEST(WorkTextTest, GivesTheBytesAndTheTimeLeftOnceItCanBeEstimated) {
    const struct {
        std::uint64_t done, total;
        double seconds;
        const char* shown;
    } rows[] = {
        {0, 2'500'000'000, 3, "a.log: 0 bytes of 2.5 GB"},                            // nothing read yet
        {1'200'000'000, 2'500'000'000, 0.2, "a.log: 1.2 GB of 2.5 GB"},               // too soon to tell
        {1'250'000'000, 2'500'000'000, 3, "a.log: 1.3 GB of 2.5 GB, about 3 s left"}, // half in 3 s
        {2'490'000'000, 2'500'000'000, 3, "a.log: 2.5 GB of 2.5 GB, less than a second left"},
        {100'000'000, 2'500'000'000, 3.7, "a.log: 100.0 MB of 2.5 GB, about 89 s left"},
        {100'000'000, 2'500'000'000, 3.8, "a.log: 100.0 MB of 2.5 GB, about 2 min left"},
        {10'000'000, 2'500'000'000, 6, "a.log: 10.0 MB of 2.5 GB, about 25 min left"},
        {2'500'000'000, 2'500'000'000, 6, "a.log: 2.5 GB of 2.5 GB"}, // done
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.shown);
        EXPECT_EQ(form::WorkText("a.log", row.done, row.total, row.seconds), row.shown);
    }
}

} // namespace

// The main window's behaviour through a recording view, against a real library server on 127.0.0.1, a
// registry export file and log files written by each test: start-up, the source, file, event and instance
// choices, the button and the menus, as a user would make them.
#include "RecordingView.h"

#include "form/Texts.h"
#include "form/frmMain.h"
#include "support/Road.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

namespace {

using form::Icon;
using form::ListId;
using form::TextId;
using roadtest::kPopCatalogue;
using roadtest::kSmtpActivityLog;
using roadtest::kSmtpCatalogue;
using roadtest::kSmtpLog;
using testing_support::ReadBytes;
using testing_support::WriteBytes;
using Strings = std::vector<std::string>;

const std::string kStandardSmtp =
    "Unable to retrieve analysis details from library server for: SMTP at this time.";

class FormTest : public roadtest::RoadFixture {
protected:
    // Creates the form over a fresh view and runs its start-up, as the program does.
    form::frmMain& Start(const std::optional<catalogue::PostFormLimits>& limits = std::nullopt) {
        form_.reset();
        view_ = std::make_unique<formtest::RecordingView>();
        form_ = std::make_unique<form::frmMain>(*view_, programDir_);
        view_->Attach(*form_);
        if (limits)
            form_->SetLibraryLimits(*limits);
        form_->Form_Load();
        return *form_;
    }
    void ChooseFile(const std::string& name) {
        const int row = view_->RowOf(ListId::lstFiles, name);
        ASSERT_GE(row, 0) << name;
        view_->Choose(ListId::lstFiles, row);
    }

    std::unique_ptr<formtest::RecordingView> view_;
    std::unique_ptr<form::frmMain> form_;
};

TEST_F(FormTest, StartUpSelectsSmtpFetchesItsCatalogueOnceAndListsItsFiles) {
    form::frmMain& f = Start();
    EXPECT_EQ(view_->Items(ListId::lstLogSource),
              Strings({"HTTPMAIL", "SMTP", "LS", "MTA", "POP", "POPC", "SF"}));
    EXPECT_EQ(view_->SelectedIndex(ListId::lstLogSource), 1);
    EXPECT_EQ(f.ActiveSource, "SMTP");
    EXPECT_FALSE(f.IsLoading);
    EXPECT_EQ(f.DebugStatus, 0);

    // Filling the source list ran no fetch: the server was asked once, for SMTP.
    EXPECT_EQ(server_.Requests(), Strings{"SMTP"});
    EXPECT_EQ(ReadBytes(programDir_ + "/SMTP-Analysis.tab"), kSmtpCatalogue);
    ASSERT_EQ(f.ErrorUpperBound, 3);
    EXPECT_EQ(f.ErrorStrings[1], "Timeout\r\n");
    EXPECT_EQ(f.ErrorLinks[3], "javascript:alert(1)");
    EXPECT_EQ(f.ErrorDescriptions[0], "The server refused to relay.\r\nCheck the relay settings.");
    EXPECT_EQ(f.ErrorCounts, std::vector<std::int32_t>(4, 0));

    EXPECT_EQ(view_->Items(ListId::lstFiles),
              Strings({"SMTP-Debug-20260711.log", "SMTP-Debug-20260712.log"}));
    EXPECT_EQ(view_->directoryCaption, smtpDebug_);
    EXPECT_TRUE(view_->messages.empty());
    EXPECT_GT(view_->waitsBegun, 0);
    EXPECT_EQ(view_->waitDepth, 0);
}

TEST_F(FormTest, DebugStatusShowsTheRawReplyOnlyWhenItIsOne) {
    const std::string page = "<!DOCTYPE html><html><body>Not here</body></html>";
    server_.SetReply("SMTP", page);
    const struct {
        std::optional<int> status;
        std::size_t boxes;
    } rows[] = {{1, 2}, {2, 1}, {std::nullopt, 1}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.status ? std::to_string(*row.status) : "absent");
        settings_.debugStatus = row.status;
        WriteRegistry();
        form::frmMain& f = Start();
        EXPECT_EQ(f.DebugStatus, row.status.value_or(0));
        ASSERT_EQ(view_->messages.size(), row.boxes);
        EXPECT_EQ(view_->messages[0].text, kStandardSmtp);
        EXPECT_EQ(view_->messages[0].title, "Library Not Currently Available");
        EXPECT_EQ(view_->messages[0].icon, Icon::Information);
        if (row.boxes == 2) {
            EXPECT_EQ(view_->messages[1].text, "Server Returned: " + page);
            EXPECT_EQ(view_->messages[1].title, "Brindlemar Log Analyser");
            EXPECT_EQ(view_->messages[1].icon, Icon::None);
        }
        // No catalogue beside the program: start-up ends with an empty catalogue and the SMTP directory.
        EXPECT_EQ(f.ErrorUpperBound, -1);
        EXPECT_EQ(view_->directoryCaption, smtpDebug_);
        EXPECT_TRUE(view_->Items(ListId::lstFiles).empty());
    }
}

TEST_F(FormTest, RepliesWithoutACatalogueAreExplainedAndStoreNothing) {
    const struct {
        const char* name;
        std::string reply;
        bool closedPort;
        std::string shown;
    } rows[] = {
        {"notice", "<!BRINDLEMAR>The library is closed<!BRINDLEMAR> today.", false,
         "The library is closed today."},
        {"marker alone", "<!BRINDLEMAR>", false, ""},
        {"marker in lower case", "<!brindlemar>Closed.", false, kStandardSmtp},
        {"document type", "<!DOCTYPE html><html></html>", false, kStandardSmtp},
        {"empty reply", "", false, kStandardSmtp},
        {"closed port", kSmtpCatalogue, true, kStandardSmtp},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        server_.SetReply("SMTP", row.reply);
        settings_.libraryServer = row.closedPort ? roadtest::ClosedHost() : server_.Host();
        WriteRegistry();
        form::frmMain& f = Start();
        ASSERT_EQ(view_->messages.size(), 1u);
        EXPECT_EQ(view_->messages[0].text, row.shown);
        EXPECT_EQ(view_->messages[0].title, "Library Not Currently Available");
        EXPECT_EQ(view_->messages[0].icon, Icon::Information);
        EXPECT_FALSE(std::filesystem::exists(programDir_ + "/SMTP-Analysis.tab"));
        EXPECT_TRUE(view_->Items(ListId::lstFiles).empty());
        EXPECT_EQ(view_->directoryCaption, smtpDebug_);
        EXPECT_EQ(f.ActiveSource, "SMTP");
        EXPECT_EQ(view_->waitDepth, 0);
    }
}

TEST_F(FormTest, ACatalogueThatCannotBeStoredIsReportedWithThePointerRestored) {
    programDir_ = dir_.File("no-such-directory");
    Start();
    ASSERT_EQ(view_->messages.size(), 1u);
    const auto& shown = view_->messages[0];
    EXPECT_EQ(shown.text, "Error in examining logs: No such file or directory");
    EXPECT_EQ(shown.title, "Error");
    EXPECT_EQ(shown.icon, Icon::Critical);
    EXPECT_EQ(shown.waitDepth, 0);
    EXPECT_EQ(view_->waitDepth, 0);
}

TEST_F(FormTest, NoSourceHandlerRunsWhileLoadingAndFillingSelectsNothing) {
    form::frmMain& f = Start();
    const int waits = view_->waitsBegun;
    f.IsLoading = true;
    view_->Choose(ListId::lstLogSource, 4);
    EXPECT_EQ(f.ActiveSource, "SMTP");
    EXPECT_EQ(server_.Requests().size(), 1u);
    EXPECT_EQ(view_->waitsBegun, waits);

    f.IsLoading = false;
    f.LoadLogSources();
    EXPECT_EQ(view_->SelectedIndex(ListId::lstLogSource), -1);
    EXPECT_EQ(server_.Requests().size(), 1u);
}

TEST_F(FormTest, ChoosingAFileListsItsEventsWithTheirCounts) {
    form::frmMain& f = Start();
    ChooseFile(kSmtpLog);
    EXPECT_EQ(f.ErrorCounts, (std::vector<std::int32_t>{2, 1, 0, 1}));
    EXPECT_EQ(view_->Items(ListId::LstErrors),
              Strings({"0 [2]  Relay denied", "1 [1]  Timeout\r\n", "3 [1]  Script"}));
    EXPECT_EQ(view_->SelectedIndex(ListId::LstErrors), -1);
    EXPECT_EQ(view_->waitDepth, 0);

    // Another file: the counts are that file's alone.
    ChooseFile("SMTP-Debug-20260711.log");
    EXPECT_EQ(f.ErrorCounts, (std::vector<std::int32_t>{0, 0, 0, 0}));
    EXPECT_TRUE(view_->Items(ListId::LstErrors).empty());
    EXPECT_TRUE(view_->messages.empty());
}

TEST_F(FormTest, ChoosingAnEventShowsItsExplanationAndItsLines) {
    Start();
    ChooseFile(kSmtpLog);
    view_->SetText(TextId::txtTranscript, "earlier transcript");
    view_->Choose(ListId::LstErrors, 0);
    EXPECT_EQ(view_->Text(TextId::txtErrorDescription),
              "The server refused to relay.\r\nCheck the relay settings.");
    EXPECT_EQ(view_->InstanceRows(), Strings({"1\t07/12/26 10:15:30\tRelay denied for a@b",
                                              "3\t07/12/26 10:16:00\tRelay denied for c@d"}));
    EXPECT_EQ(view_->SelectedInstance(), -1);
    // The transcript of an earlier instance stays until another instance or file is chosen.
    EXPECT_EQ(view_->Text(TextId::txtTranscript), "earlier transcript");

    // The anchored entry lists the line it ends, without the CR LF.
    view_->Choose(ListId::LstErrors, 1);
    EXPECT_EQ(view_->InstanceRows(), Strings({"2\t07/12/26 10:15:40\tSession Timeout"}));

    // Choosing a file clears the explanation, the lines and the transcript.
    ChooseFile("SMTP-Debug-20260711.log");
    EXPECT_EQ(view_->Text(TextId::txtErrorDescription), "");
    EXPECT_EQ(view_->Text(TextId::txtTranscript), "");
    EXPECT_EQ(form_->InstanceCount(), 0u);
    EXPECT_EQ(view_->waitDepth, 0);
}

TEST_F(FormTest, AFileThatCannotBeOpenedIsReportedWithEveryCountZero) {
    form::frmMain& f = Start();
    ChooseFile(kSmtpLog);
    view_->Choose(ListId::LstErrors, 0);
    std::filesystem::remove(smtpDebug_ + "/" + kSmtpLog);

    // The instances of an event whose file is gone: the list is empty, the explanation stays.
    view_->Choose(ListId::LstErrors, 2);
    ASSERT_EQ(view_->messages.size(), 1u);
    EXPECT_EQ(view_->messages[0].text, "Unable to open log file. No such file or directory");
    EXPECT_EQ(view_->messages[0].title, "Error");
    EXPECT_EQ(view_->messages[0].icon, Icon::Critical);
    EXPECT_EQ(form_->InstanceCount(), 0u);
    EXPECT_EQ(view_->Text(TextId::txtErrorDescription), "A link that is no web address.");

    // Counting it: the same message, every count 0, no events listed.
    view_->ClickChosen(ListId::lstFiles);
    ASSERT_EQ(view_->messages.size(), 2u);
    EXPECT_EQ(view_->messages[1].text, "Unable to open log file. No such file or directory");
    EXPECT_EQ(f.ErrorCounts, std::vector<std::int32_t>(4, 0));
    EXPECT_TRUE(view_->Items(ListId::LstErrors).empty());
    EXPECT_EQ(view_->waitDepth, 0);
}

TEST_F(FormTest, MoreInformationOpensOnlyWebAddressesAndReportsTheDesktopsRefusal) {
    Start();
    ChooseFile(kSmtpLog);

    // No event chosen: the button does nothing.
    form_->CmdMore_Click();
    EXPECT_TRUE(view_->messages.empty());
    EXPECT_TRUE(view_->opened.empty());

    view_->Choose(ListId::LstErrors, 2); // entry 3, "Script", links to javascript:
    form_->CmdMore_Click();
    ASSERT_EQ(view_->messages.size(), 1u);
    EXPECT_EQ(view_->messages[0].text,
              "This link is not a web address and was not opened: javascript:alert(1)");
    EXPECT_EQ(view_->messages[0].title, "Error");
    EXPECT_EQ(view_->messages[0].icon, Icon::Exclamation);
    EXPECT_TRUE(view_->opened.empty());

    view_->Choose(ListId::LstErrors, 1);
    form_->CmdMore_Click();
    EXPECT_EQ(view_->opened, Strings{"https://library.test/kb/timeout"});
    EXPECT_EQ(view_->messages.size(), 1u);

    // The desktop's answer goes through the launcher's table: 32 or less is an error code.
    const struct {
        int answer;
        const char* shown;
    } rows[] = {{31, "No associated application"}, {0, "Out of memory or resources"}, {4, "Unknown error 4"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.answer);
        view_->shellAnswer = row.answer;
        form_->CmdMore_Click();
        EXPECT_EQ(view_->messages.back().text, row.shown);
        EXPECT_EQ(view_->messages.back().icon, Icon::Exclamation);
    }
}

TEST_F(FormTest, LogsCopiedOffTheServerAreFoundThroughItsWindowsPaths) {
    // The server's Windows paths in the export; its logs copied into drives/c beside it, folder names in
    // another case.
    namespace fs = std::filesystem;
    fs::create_directories(dir_.Path() / "drives/c/logs/smtp");
    fs::rename(smtpDebug_, dir_.Path() / "drives/c/logs/smtp/debug");
    fs::rename(smtpActivity_, dir_.Path() / "drives/c/logs/smtp/activity");
    settings_.debugDirectories = {{"Connectors\\SMTP", "C:\\Logs\\SMTP\\Debug"}};
    settings_.activityDirectories = {{"Connectors\\SMTP", "C:\\Logs\\SMTP\\Activity"}};
    WriteRegistry();
    testing_support::ScopedEnv drives("BRINDLEMAR_DRIVES", "");

    form::frmMain& f = Start();
    EXPECT_EQ(view_->Items(ListId::lstFiles),
              Strings({"SMTP-Debug-20260711.log", "SMTP-Debug-20260712.log"}));
    EXPECT_EQ(view_->directoryCaption, "C:\\Logs\\SMTP\\Debug"); // the registry's text
    EXPECT_EQ(view_->status, "Library server " + server_.Host() +
                                 ": catalogue for SMTP stored. Debug logs found in " +
                                 (dir_.Path() / "drives/c/logs/smtp/debug").string());
    ChooseFile(kSmtpLog);
    EXPECT_EQ(f.ErrorCounts, (std::vector<std::int32_t>{2, 1, 0, 1}));
    view_->Choose(ListId::LstErrors, 0);
    ASSERT_EQ(f.InstanceCount(), 2u);
    view_->ChooseInstance(0);
    EXPECT_EQ(std::count(view_->Text(TextId::txtTranscript).begin(), view_->Text(TextId::txtTranscript).end(),
                         '\n'),
              3);
    EXPECT_TRUE(view_->messages.empty());
    EXPECT_TRUE(view_->windows.empty());
}

TEST_F(FormTest, ChoosingAnotherSourceLoadsItsCatalogueAndClearsTheOldResults) {
    form::frmMain& f = Start();
    ChooseFile(kSmtpLog);
    view_->Choose(ListId::LstErrors, 0);
    view_->ChooseInstance(0);
    ASSERT_NE(view_->Text(TextId::txtTranscript), "");

    view_->Choose(ListId::lstLogSource, 4);
    EXPECT_EQ(f.ActiveSource, "POP");
    EXPECT_EQ(server_.Requests(), Strings({"SMTP", "POP"}));
    EXPECT_EQ(ReadBytes(programDir_ + "/POP-Analysis.tab"), kPopCatalogue);
    ASSERT_EQ(f.ErrorUpperBound, 0);
    EXPECT_EQ(f.ErrorStrings[0], "USER");
    EXPECT_EQ(view_->Items(ListId::lstFiles), Strings{"POP-Debug-20260712.log"});
    EXPECT_EQ(view_->directoryCaption, popDebug_);
    EXPECT_TRUE(view_->Items(ListId::LstErrors).empty());
    EXPECT_EQ(form_->InstanceCount(), 0u);
    EXPECT_EQ(view_->Text(TextId::txtErrorDescription), "");
    EXPECT_EQ(view_->Text(TextId::txtTranscript), "");

    ChooseFile("POP-Debug-20260712.log");
    EXPECT_EQ(view_->Items(ListId::LstErrors), Strings{"0 [1]  USER"});

    // A source without a catalogue: the message, then the window is cleared down to the directory label.
    view_->Choose(ListId::lstLogSource, 6);
    EXPECT_EQ(f.ActiveSource, "SF");
    EXPECT_EQ(view_->messages.back().text,
              "Unable to retrieve analysis details from library server for: SF at this time.");
    EXPECT_TRUE(view_->Items(ListId::lstFiles).empty());
    EXPECT_TRUE(view_->Items(ListId::LstErrors).empty());
    // SF has no directory of its own: the SMTP connector's stands in for it.
    EXPECT_EQ(view_->directoryCaption, smtpDebug_);
    EXPECT_EQ(view_->SelectedIndex(ListId::lstLogSource), 6);
}

TEST_F(FormTest, ChoosingAnInstanceShowsItsTranscriptReadAfresh) {
    Start();
    ChooseFile(kSmtpLog);
    view_->Choose(ListId::LstErrors, 0);
    view_->ChooseInstance(0);
    const std::string expected = "07/12/26 10:13:30 lower bound\r\n"
                                 "->07/12/26 10:15:10 first of the minute\r\n"
                                 "07/12/26 10:15:50 later in the minute\r\n"
                                 "07/12/26 10:17:30 upper bound";
    EXPECT_EQ(view_->Text(TextId::txtTranscript), expected);
    EXPECT_TRUE(view_->windows.empty());

    // Clicking the chosen line again reads the activity log again.
    WriteBytes(smtpActivity_ + "/SMTP-Activity-20260712.log",
               kSmtpActivityLog + "07/12/26 10:16:00 new line\r\n");
    view_->ChooseInstance(0);
    EXPECT_EQ(view_->Text(TextId::txtTranscript), expected + "\r\n07/12/26 10:16:00 new line");
    EXPECT_EQ(view_->waitDepth, 0);
}

TEST_F(FormTest, TheInstanceWindowShowsTheLineWholeOrSaysTheActivityLogIsMissing) {
    Start();
    ChooseFile(kSmtpLog);
    view_->Choose(ListId::LstErrors, 0);
    view_->DoubleClickInstance(1);
    ASSERT_EQ(view_->windows.size(), 1u);
    EXPECT_EQ(view_->windows[0].caption, "Error Description");
    EXPECT_EQ(view_->windows[0].text, "3\t07/12/26 10:16:00\tRelay denied for c@d");

    std::filesystem::remove(smtpActivity_ + "/SMTP-Activity-20260712.log");
    view_->SetText(TextId::txtTranscript, "earlier transcript");
    view_->ChooseInstance(1);
    ASSERT_EQ(view_->windows.size(), 2u);
    EXPECT_EQ(view_->windows[1].caption, "No Activity File Found");
    EXPECT_EQ(view_->windows[1].text, "3\t07/12/26 10:16:00\tRelay denied for c@d");
    EXPECT_EQ(view_->windows[1].waitDepth, 0);
    EXPECT_EQ(view_->Text(TextId::txtTranscript), "");

    // The next showing is in the design state again.
    view_->DoubleClickInstance(1);
    EXPECT_EQ(view_->windows.back().caption, "Error Description");
    EXPECT_TRUE(view_->messages.empty());
}

TEST_F(FormTest, AnInstanceWithoutATimeStampGetsAnEmptyTranscriptAndNoWindow) {
    WriteBytes(smtpDebug_ + "/" + kSmtpLog, "no time stamp: Relay denied\r\n1\tyesterday\tRelay denied\r\n");
    Start();
    ChooseFile(kSmtpLog);
    view_->Choose(ListId::LstErrors, 0);
    for (long long row : {0, 1}) {
        SCOPED_TRACE(row);
        view_->SetText(TextId::txtTranscript, "earlier transcript");
        view_->ChooseInstance(row);
        EXPECT_EQ(view_->Text(TextId::txtTranscript), "");
    }
    EXPECT_TRUE(view_->windows.empty());
    EXPECT_TRUE(view_->messages.empty());
}

TEST_F(FormTest, ClearControlsEmptiesTheResultsAndKeepsTheSource) {
    form::frmMain& f = Start();
    ChooseFile(kSmtpLog);
    view_->Choose(ListId::LstErrors, 0);
    view_->ChooseInstance(0);
    f.ClearControls();
    EXPECT_EQ(f.InstanceCount(), 0u);
    EXPECT_EQ(view_->Text(TextId::txtErrorDescription), "");
    EXPECT_EQ(view_->Text(TextId::txtTranscript), "");
    EXPECT_TRUE(view_->Items(ListId::lstFiles).empty());
    EXPECT_TRUE(view_->Items(ListId::LstErrors).empty());
    EXPECT_EQ(view_->directoryCaption, "(Unspecified)");
    EXPECT_EQ(view_->SelectedIndex(ListId::lstLogSource), 1);
    EXPECT_EQ(f.ActiveSource, "SMTP");
    EXPECT_EQ(f.ErrorUpperBound, 3);
}

TEST_F(FormTest, MenusOpenTheLibraryPagesShowTheAboutBoxAndExit) {
    form::frmMain& f = Start();
    f.RunMenuCommand(form::MenuCommand::About);
    ASSERT_EQ(view_->messages.size(), 1u);
    EXPECT_EQ(view_->messages[0].text, "Brindlemar Log Analyser\nVersion 1.2");
    EXPECT_EQ(view_->messages[0].title, "Brindlemar Log Analyser");
    EXPECT_EQ(view_->messages[0].icon, Icon::Information);

    f.RunMenuCommand(form::MenuCommand::OnlineHelp);
    f.RunMenuCommand(form::MenuCommand::KnowledgeBase);
    EXPECT_EQ(view_->opened, Strings({"http://" + server_.Host() + "/Tools/Analysis/help.asp",
                                      "http://" + server_.Host() + "/kb"}));
    view_->shellAnswer = 31;
    f.RunMenuCommand(form::MenuCommand::KnowledgeBase);
    ASSERT_EQ(view_->messages.size(), 2u);
    EXPECT_EQ(view_->messages[1].text, "No associated application");
    EXPECT_EQ(view_->messages[1].title, "Error");

    EXPECT_FALSE(view_->closed);
    f.RunMenuCommand(form::MenuCommand::Exit);
    EXPECT_TRUE(view_->closed);
}

TEST_F(FormTest, ResizingPlacesTheControlsByTheDesignRules) {
    form::frmMain& f = Start();
    // A window of 13275 x 8070 twips outer size: A = 10515, B = 6505 (whole rows: 6495), C = 1510 -> 1425.
    view_->outer = {0, 0, 13275, 8070};
    f.Form_Resize();
    EXPECT_EQ(view_->PlaceOf(form::ControlId::LstErrors), (form::Box{2460, 765, 10515, 1230}));
    EXPECT_EQ(view_->PlaceOf(form::ControlId::lstinstances), (form::Box{2430, 3825, 10515, 1425}));
    EXPECT_EQ(view_->PlaceOf(form::ControlId::lblTranscript), (form::Box{2400, 5280, 9255, 195}));
    EXPECT_EQ(view_->PlaceOf(form::ControlId::txtTranscript), (form::Box{2415, 5475, 10515, 1740}));
    EXPECT_EQ(view_->PlaceOf(form::ControlId::lstFiles), (form::Box{105, 765, 2160, 6495}));

    // Minimised: nothing moves.
    view_->minimized = true;
    view_->outer = {0, 0, 20000, 20000};
    f.Form_Resize();
    EXPECT_EQ(view_->PlaceOf(form::ControlId::LstErrors).Width, 10515);
}

TEST_F(FormTest, UnreadableSettingsLinesAreNamedInOneBox) {
    Start();
    view_->messages.clear();
    form_->ShowRegistryProblems();
    EXPECT_TRUE(view_->messages.empty());

    WriteBytes(registryPath_,
               "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brindlemar]\r\nno equals sign\r\n");
    form_->ShowRegistryProblems();
    ASSERT_EQ(view_->messages.size(), 1u);
    EXPECT_EQ(view_->messages[0].text.rfind(
                  "Some lines of the settings file could not be read and were ignored:\n" + registryPath_ +
                      ", line 4",
                  0),
              0u)
        << view_->messages[0].text;
    EXPECT_EQ(view_->messages[0].icon, Icon::Exclamation);
}

TEST(WaitCursorTest, GivesThePointerBackOnEveryPath) {
    formtest::RecordingView view;
    {
        form::WaitCursor wait(view);
        EXPECT_EQ(view.waitDepth, 1);
        wait.Restore();
        EXPECT_EQ(view.waitDepth, 0);
    }
    EXPECT_EQ(view.waitDepth, 0);
    try {
        form::WaitCursor wait(view);
        throw std::runtime_error("failure inside a handler");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(view.waitDepth, 0);
    EXPECT_EQ(view.waitsBegun, 2);
}

} // namespace

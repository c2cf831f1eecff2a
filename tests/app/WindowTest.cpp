// The real main window, offscreen, against a real library server on 127.0.0.1, a registry export file and
// log files written by each test. Controls are found by their object names and driven as a user would.
#include "AppTestSupport.h"

#include "app/frmMain.h"
#include "support/TestSupport.h"

#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyleOptionComboBox>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using apptest::RecordingPrompt;
using testing_support::ReadBytes;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteBytes;

const QString kLibraryTitle = QStringLiteral("Library Not Currently Available");
const QString kAppTitle = QStringLiteral("Brindlemar Log Analyser");
const std::string kSmtpLog = "SMTP-Debug-20260712.log";

// Entry 0 occurs twice, entry 1 (ends in CR LF) once at a line's end, entry 2 never, entry 3 once.
const std::string kSmtpCatalogue =
    "Relay denied\thttp://library.test/kb/relay\tThe server refused to relay."
    "<CRLF>Check the relay settings.\r\n"
    "Timeout<CRLF>\thttps://library.test/kb/timeout\tA connection timed out.\r\n"
    "Unused\thttp://library.test/kb/unused\tNever seen.\r\n"
    "Script\tjavascript:alert(1)\tA link that is no web address.\r\n";

const std::string kSmtpDebugLog = "1\t07/12/26 10:15:30\tRelay denied for a@b\r\n"
                                  "2\t07/12/26 10:15:40\tSession Timeout\r\n"
                                  "3\t07/12/26 10:16:00\tRelay denied for c@d\r\n"
                                  "4\t07/12/26 10:20:00\tScript\r\n";

const std::string kSmtpActivityLog = "07/12/26 10:13:29 too early\r\n"
                                     "07/12/26 10:13:30 lower bound\r\n"
                                     "07/12/26 10:15:10 first of the minute\r\n"
                                     "07/12/26 10:15:50 later in the minute\r\n"
                                     "07/12/26 10:17:30 upper bound\r\n"
                                     "07/12/26 10:17:31 too late\r\n";

const std::string kPopCatalogue = "USER\thttp://library.test/kb/user\tA user logged in.\r\n";

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        for (const char* sub : {"program", "smtp-debug", "smtp-activity", "pop-debug"})
            fs::create_directory(dir_.Path() / sub);
        programDir_ = dir_.File("program");
        smtpDebug_ = dir_.File("smtp-debug");
        smtpActivity_ = dir_.File("smtp-activity");
        popDebug_ = dir_.File("pop-debug");
        settings_.libraryServer = server_.Host();
        settings_.debugDirectories = {{"Connectors\\SMTP", smtpDebug_}, {"Services\\POP", popDebug_}};
        settings_.activityDirectories = {{"Connectors\\SMTP", smtpActivity_}};
        WriteRegistry();
        registryEnv_ = std::make_unique<ScopedEnv>("BRINDLEMAR_REGISTRY", dir_.File("registry.reg"));
        apptest::WriteRecordingOpener(dir_.File("opener.sh"), dir_.File("opened.txt"));
        openerEnv_ = std::make_unique<ScopedEnv>("BRINDLEMAR_OPENER", dir_.File("opener.sh"));

        server_.SetReply("SMTP", kSmtpCatalogue);
        server_.SetReply("POP", kPopCatalogue);
        WriteBytes(smtpDebug_ + "/" + kSmtpLog, kSmtpDebugLog);
        WriteBytes(smtpDebug_ + "/SMTP-Debug-20260711.log", "nothing to see\r\n");
        WriteBytes(smtpActivity_ + "/SMTP-Activity-20260712.log", kSmtpActivityLog);
        WriteBytes(popDebug_ + "/POP-Debug-20260712.log", "USER alice\r\nPASS\r\n");
    }

    void WriteRegistry() { WriteBytes(dir_.File("registry.reg"), apptest::RegistryFileText(settings_)); }

    // Creates the window, runs its start-up and shows it, as the program does.
    frmMain& Start() {
        window_ = std::make_unique<frmMain>(prompt_, programDir_);
        window_->Form_Load();
        window_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        return *window_;
    }

    template <typename T> T* Find(const char* name) {
        T* control = window_->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }

    static QStringList Items(const QListWidget* list) {
        QStringList items;
        for (int i = 0; i < list->count(); ++i)
            items << list->item(i)->text();
        return items;
    }
    static QStringList Rows(const QListView* list) {
        QStringList rows;
        for (int i = 0; i < list->model()->rowCount(); ++i)
            rows << list->model()->index(i, 0).data().toString();
        return rows;
    }

    // Chooses a row as the user does with the keyboard or the mouse.
    static void Choose(QListWidget* list, int row) { list->setCurrentRow(row); }
    static void Choose(QListView* list, int row) { list->setCurrentIndex(list->model()->index(row, 0)); }
    void ChooseFile(const std::string& name) {
        auto* files = Find<QListWidget>("lstFiles");
        const auto found = files->findItems(QString::fromStdString(name), Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        Choose(files, files->row(found.front()));
    }

    // A double-click on a row, preceded by its first click, as the mouse gives it.
    static void DoubleClick(QListView* list, int row) {
        const QPoint centre = list->visualRect(list->model()->index(row, 0)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
    }

    std::string Opened() const { return ReadBytes(dir_.File("opened.txt")); }

    TempDir dir_;
    apptest::LibraryServer server_;
    apptest::RegistrySettings settings_;
    std::string programDir_, smtpDebug_, smtpActivity_, popDebug_;
    std::unique_ptr<ScopedEnv> registryEnv_, openerEnv_;
    RecordingPrompt prompt_;
    std::unique_ptr<frmMain> window_;
};

TEST_F(WindowTest, StartUpSelectsSmtpFetchesItsCatalogueOnceAndListsItsFiles) {
    frmMain& w = Start();
    auto* sources = Find<QComboBox>("lstLogSource");
    QStringList codes;
    for (int i = 0; i < sources->count(); ++i)
        codes << sources->itemText(i);
    EXPECT_EQ(codes, QStringList({"HTTPMAIL", "SMTP", "LS", "MTA", "POP", "POPC", "SF"}));
    EXPECT_EQ(sources->currentIndex(), 1);
    EXPECT_EQ(w.ActiveSource, "SMTP");
    EXPECT_FALSE(w.IsLoading);
    EXPECT_EQ(w.DebugStatus, 0);

    // Filling the source list ran no fetch: the server was asked once, for SMTP.
    EXPECT_EQ(server_.Requests(), std::vector<std::string>{"SMTP"});
    EXPECT_EQ(ReadBytes(programDir_ + "/SMTP-Analysis.tab"), kSmtpCatalogue);
    ASSERT_EQ(w.ErrorUpperBound, 3);
    EXPECT_EQ(w.ErrorStrings[1], "Timeout\r\n");
    EXPECT_EQ(w.ErrorLinks[3], "javascript:alert(1)");
    EXPECT_EQ(w.ErrorDescriptions[0], "The server refused to relay.\r\nCheck the relay settings.");
    EXPECT_EQ(w.ErrorCounts, std::vector<std::int32_t>(4, 0));

    EXPECT_EQ(Items(Find<QListWidget>("lstFiles")),
              QStringList({"SMTP-Debug-20260711.log", "SMTP-Debug-20260712.log"}));
    EXPECT_EQ(Find<QLabel>("lblLogFileRootDirectory")->text(), QString::fromStdString(smtpDebug_));
    EXPECT_TRUE(prompt_.messages.empty());
    EXPECT_EQ(prompt_.waitDepth, 0);
    EXPECT_EQ(w.focusWidget(), Find<QListWidget>("lstFiles"));
    EXPECT_EQ(w.windowTitle(), kAppTitle);
}

TEST_F(WindowTest, DebugStatusShowsTheRawReplyOnlyWhenItIsOne) {
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
        prompt_.messages.clear();
        frmMain& w = Start();
        EXPECT_EQ(w.DebugStatus, row.status.value_or(0));
        ASSERT_EQ(prompt_.messages.size(), row.boxes);
        EXPECT_EQ(prompt_.messages[0].title, kLibraryTitle);
        EXPECT_EQ(prompt_.messages[0].icon, Prompt::Icon::Information);
        EXPECT_EQ(prompt_.messages[0].text,
                  "Unable to retrieve analysis details from library server for: SMTP at this time.");
        if (row.boxes == 2) {
            EXPECT_EQ(prompt_.messages[1].title, kAppTitle);
            EXPECT_EQ(prompt_.messages[1].icon, Prompt::Icon::None);
            EXPECT_EQ(prompt_.messages[1].text, "Server Returned: " + QString::fromStdString(page));
        }
        // No catalogue beside the program: start-up ends with an empty catalogue and the SMTP directory.
        EXPECT_EQ(w.ErrorUpperBound, -1);
        EXPECT_EQ(Find<QLabel>("lblLogFileRootDirectory")->text(), QString::fromStdString(smtpDebug_));
        EXPECT_EQ(Find<QListWidget>("lstFiles")->count(), 0);
    }
}

TEST_F(WindowTest, RepliesWithoutACatalogueAreExplainedAndStoreNothing) {
    const QString standard =
        QStringLiteral("Unable to retrieve analysis details from library server for: SMTP at this time.");
    const struct {
        const char* name;
        std::string reply;
        bool closedPort;
        QString shown;
    } rows[] = {
        {"notice", "<!BRINDLEMAR>The library is closed<!BRINDLEMAR> today.", false,
         "The library is closed today."},
        {"marker alone", "<!BRINDLEMAR>", false, ""},
        {"marker in lower case", "<!brindlemar>Closed.", false, standard},
        {"document type", "<!DOCTYPE html><html></html>", false, standard},
        {"empty reply", "", false, standard},
        {"closed port", kSmtpCatalogue, true, standard},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        server_.SetReply("SMTP", row.reply);
        settings_.libraryServer = row.closedPort ? apptest::ClosedHost() : server_.Host();
        WriteRegistry();
        prompt_.messages.clear();
        frmMain& w = Start();
        ASSERT_EQ(prompt_.messages.size(), 1u);
        EXPECT_EQ(prompt_.messages[0].text, row.shown);
        EXPECT_EQ(prompt_.messages[0].title, kLibraryTitle);
        EXPECT_EQ(prompt_.messages[0].icon, Prompt::Icon::Information);
        EXPECT_FALSE(std::filesystem::exists(programDir_ + "/SMTP-Analysis.tab"));
        EXPECT_EQ(Find<QListWidget>("lstFiles")->count(), 0);
        EXPECT_EQ(Find<QLabel>("lblLogFileRootDirectory")->text(), QString::fromStdString(smtpDebug_));
        EXPECT_EQ(w.ActiveSource, "SMTP");
        EXPECT_EQ(prompt_.waitDepth, 0);
    }
}

TEST_F(WindowTest, ACatalogueThatCannotBeStoredIsReportedWithThePointerRestored) {
    programDir_ = dir_.File("no-such-directory");
    Start();
    ASSERT_EQ(prompt_.messages.size(), 1u);
    EXPECT_TRUE(prompt_.messages[0].text.startsWith("Error in examining logs: "))
        << prompt_.messages[0].text.toStdString();
    EXPECT_GT(prompt_.messages[0].text.size(), QString("Error in examining logs: ").size());
    EXPECT_EQ(prompt_.messages[0].title, "Error");
    EXPECT_EQ(prompt_.messages[0].icon, Prompt::Icon::Critical);
    EXPECT_EQ(prompt_.messages[0].waitDepth, 0);
    EXPECT_EQ(prompt_.waitDepth, 0);
}

TEST_F(WindowTest, NoSourceHandlerRunsWhileLoading) {
    frmMain& w = Start();
    const int waits = prompt_.waitsBegun;
    w.IsLoading = true;
    Find<QComboBox>("lstLogSource")->setCurrentIndex(4);
    EXPECT_EQ(w.ActiveSource, "SMTP");
    EXPECT_EQ(server_.Requests().size(), 1u);
    EXPECT_EQ(prompt_.waitsBegun, waits);
}

TEST_F(WindowTest, ChoosingAFileListsItsEventsWithTheirCounts) {
    frmMain& w = Start();
    ChooseFile(kSmtpLog);
    EXPECT_EQ(w.ErrorCounts, (std::vector<std::int32_t>{2, 1, 0, 1}));
    EXPECT_EQ(Items(Find<QListWidget>("LstErrors")),
              QStringList({"0 [2]  Relay denied", "1 [1]  Timeout\r\n", "3 [1]  Script"}));
    EXPECT_TRUE(Find<QListWidget>("LstErrors")->selectedItems().isEmpty());
    EXPECT_GT(prompt_.waitsBegun, 0);
    EXPECT_EQ(prompt_.waitDepth, 0);

    // Another file: the counts are that file's alone.
    ChooseFile("SMTP-Debug-20260711.log");
    EXPECT_EQ(w.ErrorCounts, (std::vector<std::int32_t>{0, 0, 0, 0}));
    EXPECT_EQ(Find<QListWidget>("LstErrors")->count(), 0);
    EXPECT_TRUE(prompt_.messages.empty());
}

TEST_F(WindowTest, LogsCopiedOffTheServerAreFoundThroughItsWindowsPaths) {
    // The server's Windows paths in the export; its logs copied into drives/c beside it, folder names in
    // another case.
    namespace fs = std::filesystem;
    fs::create_directories(dir_.Path() / "drives/c/logs/smtp");
    fs::rename(smtpDebug_, dir_.Path() / "drives/c/logs/smtp/debug");
    fs::rename(smtpActivity_, dir_.Path() / "drives/c/logs/smtp/activity");
    settings_.debugDirectories = {{"Connectors\\SMTP", "C:\\Logs\\SMTP\\Debug"}};
    settings_.activityDirectories = {{"Connectors\\SMTP", "C:\\Logs\\SMTP\\Activity"}};
    WriteRegistry();
    ScopedEnv drives("BRINDLEMAR_DRIVES", "");

    frmMain& w = Start();
    EXPECT_EQ(Items(Find<QListWidget>("lstFiles")),
              QStringList({"SMTP-Debug-20260711.log", "SMTP-Debug-20260712.log"}));
    EXPECT_EQ(Find<QLabel>("lblLogFileRootDirectory")->text(),
              "C:\\Logs\\SMTP\\Debug"); // the registry's text
    ChooseFile(kSmtpLog);
    EXPECT_EQ(w.ErrorCounts, (std::vector<std::int32_t>{2, 1, 0, 1}));
    Choose(Find<QListWidget>("LstErrors"), 0);
    ASSERT_EQ(Find<QListView>("lstinstances")->model()->rowCount(), 2);
    Choose(Find<QListView>("lstinstances"), 0);
    EXPECT_EQ(Find<QPlainTextEdit>("txtTranscript")->toPlainText().count('\n'), 3);
    EXPECT_TRUE(prompt_.messages.empty());
    EXPECT_TRUE(prompt_.modals.empty());
}

TEST_F(WindowTest, TheKeyboardChoosesAsTheMouseDoes) {
    Start();
    auto* files = Find<QListWidget>("lstFiles");
    QTest::keyClick(files, Qt::Key_Down); // onto the first file
    QTest::keyClick(files, Qt::Key_Down); // the second: SMTP-Debug-20260712.log
    EXPECT_EQ(Find<QListWidget>("LstErrors")->count(), 3);
    auto* events = Find<QListWidget>("LstErrors");
    QTest::keyClick(events, Qt::Key_Down);
    EXPECT_EQ(Find<QListView>("lstinstances")->model()->rowCount(), 2);
    EXPECT_NE(Find<QPlainTextEdit>("txtErrorDescription")->toPlainText(), "");
}

TEST_F(WindowTest, ChoosingAnEventShowsItsExplanationAndItsLines) {
    Start();
    ChooseFile(kSmtpLog);
    Find<QPlainTextEdit>("txtTranscript")->setPlainText("earlier transcript");
    Choose(Find<QListWidget>("LstErrors"), 0);
    EXPECT_EQ(Find<QPlainTextEdit>("txtErrorDescription")->toPlainText(),
              "The server refused to relay.\nCheck the relay settings.");
    EXPECT_EQ(Rows(Find<QListView>("lstinstances")),
              QStringList({"1\t07/12/26 10:15:30\tRelay denied for a@b",
                           "3\t07/12/26 10:16:00\tRelay denied for c@d"}));
    EXPECT_TRUE(Find<QListView>("lstinstances")->selectionModel()->selectedIndexes().isEmpty());
    // The transcript of an earlier instance stays until another instance or file is chosen.
    EXPECT_EQ(Find<QPlainTextEdit>("txtTranscript")->toPlainText(), "earlier transcript");

    Choose(Find<QListWidget>("LstErrors"), 1);
    EXPECT_EQ(Rows(Find<QListView>("lstinstances")), QStringList({"2\t07/12/26 10:15:40\tSession Timeout"}));

    // Choosing a file clears the explanation, the lines and the transcript.
    ChooseFile("SMTP-Debug-20260711.log");
    EXPECT_EQ(Find<QPlainTextEdit>("txtErrorDescription")->toPlainText(), "");
    EXPECT_EQ(Find<QPlainTextEdit>("txtTranscript")->toPlainText(), "");
    EXPECT_EQ(Find<QListView>("lstinstances")->model()->rowCount(), 0);
    EXPECT_EQ(prompt_.waitDepth, 0);
}

TEST_F(WindowTest, AFileThatCannotBeOpenedIsReported) {
    frmMain& w = Start();
    std::filesystem::remove(smtpDebug_ + "/" + kSmtpLog);
    ChooseFile(kSmtpLog);
    ASSERT_EQ(prompt_.messages.size(), 1u);
    EXPECT_EQ(prompt_.messages[0].text, "Unable to open log file. No such file or directory");
    EXPECT_EQ(prompt_.messages[0].title, "Error");
    EXPECT_EQ(prompt_.messages[0].icon, Prompt::Icon::Critical);
    EXPECT_EQ(w.ErrorCounts, std::vector<std::int32_t>(4, 0));
    EXPECT_EQ(Find<QListWidget>("LstErrors")->count(), 0);
    EXPECT_EQ(prompt_.waitDepth, 0);
}

TEST_F(WindowTest, AnEventWhoseFileIsGoneLeavesTheLinesEmpty) {
    Start();
    ChooseFile(kSmtpLog);
    std::filesystem::remove(smtpDebug_ + "/" + kSmtpLog);
    Choose(Find<QListWidget>("LstErrors"), 0);
    ASSERT_EQ(prompt_.messages.size(), 1u);
    EXPECT_EQ(prompt_.messages[0].text, "Unable to open log file. No such file or directory");
    EXPECT_EQ(Find<QListView>("lstinstances")->model()->rowCount(), 0);
    EXPECT_EQ(Find<QPlainTextEdit>("txtErrorDescription")->toPlainText(),
              "The server refused to relay.\nCheck the relay settings.");
}

TEST_F(WindowTest, MoreInformationOpensOnlyWebAddresses) {
    Start();
    ChooseFile(kSmtpLog);
    auto* more = Find<QPushButton>("CmdMore");

    // No event chosen: the button does nothing.
    QTest::mouseClick(more, Qt::LeftButton);
    EXPECT_TRUE(prompt_.messages.empty());
    EXPECT_EQ(Opened(), "");

    Choose(Find<QListWidget>("LstErrors"), 2); // entry 3, "Script", links to javascript:
    QTest::mouseClick(more, Qt::LeftButton);
    ASSERT_EQ(prompt_.messages.size(), 1u);
    EXPECT_EQ(prompt_.messages[0].text,
              "This link is not a web address and was not opened: javascript:alert(1)");
    EXPECT_EQ(prompt_.messages[0].title, "Error");
    EXPECT_EQ(prompt_.messages[0].icon, Prompt::Icon::Exclamation);
    EXPECT_EQ(Opened(), "");

    Choose(Find<QListWidget>("LstErrors"), 1);
    QTest::mouseClick(more, Qt::LeftButton);
    EXPECT_EQ(Opened(), "https://library.test/kb/timeout\n");
    EXPECT_EQ(prompt_.messages.size(), 1u);
}

TEST_F(WindowTest, ChoosingAnotherSourceLoadsItsCatalogueAndClearsTheOldResults) {
    frmMain& w = Start();
    ChooseFile(kSmtpLog);
    Choose(Find<QListWidget>("LstErrors"), 0);
    Choose(Find<QListView>("lstinstances"), 0);
    ASSERT_NE(Find<QPlainTextEdit>("txtTranscript")->toPlainText(), "");

    Find<QComboBox>("lstLogSource")->setCurrentIndex(4);
    EXPECT_EQ(w.ActiveSource, "POP");
    EXPECT_EQ(server_.Requests(), (std::vector<std::string>{"SMTP", "POP"}));
    EXPECT_EQ(ReadBytes(programDir_ + "/POP-Analysis.tab"), kPopCatalogue);
    ASSERT_EQ(w.ErrorUpperBound, 0);
    EXPECT_EQ(w.ErrorStrings[0], "USER");
    EXPECT_EQ(Items(Find<QListWidget>("lstFiles")), QStringList({"POP-Debug-20260712.log"}));
    EXPECT_EQ(Find<QLabel>("lblLogFileRootDirectory")->text(), QString::fromStdString(popDebug_));
    EXPECT_EQ(Find<QListWidget>("LstErrors")->count(), 0);
    EXPECT_EQ(Find<QListView>("lstinstances")->model()->rowCount(), 0);
    EXPECT_EQ(Find<QPlainTextEdit>("txtErrorDescription")->toPlainText(), "");
    EXPECT_EQ(Find<QPlainTextEdit>("txtTranscript")->toPlainText(), "");

    ChooseFile("POP-Debug-20260712.log");
    EXPECT_EQ(Items(Find<QListWidget>("LstErrors")), QStringList({"0 [1]  USER"}));

    // A source without a catalogue: the message, then the window is cleared down to the directory label.
    Find<QComboBox>("lstLogSource")->setCurrentIndex(6);
    EXPECT_EQ(w.ActiveSource, "SF");
    EXPECT_EQ(prompt_.messages.back().text,
              "Unable to retrieve analysis details from library server for: SF at this time.");
    EXPECT_EQ(Find<QListWidget>("lstFiles")->count(), 0);
    EXPECT_EQ(Find<QListWidget>("LstErrors")->count(), 0);
    EXPECT_EQ(Find<QComboBox>("lstLogSource")->currentIndex(), 6);
}

TEST_F(WindowTest, ChoosingAnInstanceShowsItsTranscript) {
    Start();
    ChooseFile(kSmtpLog);
    Choose(Find<QListWidget>("LstErrors"), 0);
    auto* instances = Find<QListView>("lstinstances");
    Choose(instances, 0);
    const QString expected = "07/12/26 10:13:30 lower bound\n"
                             "->07/12/26 10:15:10 first of the minute\n"
                             "07/12/26 10:15:50 later in the minute\n"
                             "07/12/26 10:17:30 upper bound";
    EXPECT_EQ(Find<QPlainTextEdit>("txtTranscript")->toPlainText(), expected);
    EXPECT_TRUE(prompt_.modals.empty());

    // Clicking the chosen line again reads the activity log again.
    WriteBytes(smtpActivity_ + "/SMTP-Activity-20260712.log",
               kSmtpActivityLog + "07/12/26 10:16:00 new line\r\n");
    QTest::mouseClick(instances->viewport(), Qt::LeftButton, {},
                      instances->visualRect(instances->model()->index(0, 0)).center());
    EXPECT_EQ(Find<QPlainTextEdit>("txtTranscript")->toPlainText(),
              expected + "\n07/12/26 10:16:00 new line");
    EXPECT_EQ(prompt_.waitDepth, 0);
}

TEST_F(WindowTest, AMissingActivityLogShowsTheLineInItsOwnWindow) {
    frmMain& w = Start();
    std::filesystem::remove(smtpActivity_ + "/SMTP-Activity-20260712.log");
    ChooseFile(kSmtpLog);
    Choose(Find<QListWidget>("LstErrors"), 0);
    Find<QPlainTextEdit>("txtTranscript")->setPlainText("earlier transcript");
    Choose(Find<QListView>("lstinstances"), 1);
    ASSERT_EQ(prompt_.modals.size(), 1u);
    EXPECT_EQ(prompt_.modals[0].caption, "No Activity File Found");
    EXPECT_EQ(prompt_.modals[0].text, "3\t07/12/26 10:16:00\tRelay denied for c@d");
    EXPECT_EQ(prompt_.modals[0].parent, &w);
    EXPECT_EQ(Find<QPlainTextEdit>("txtTranscript")->toPlainText(), "");
    EXPECT_TRUE(prompt_.messages.empty());

    // The next showing is a new window in its design state.
    auto* instances = Find<QListView>("lstinstances");
    DoubleClick(instances, 1);
    ASSERT_GE(prompt_.modals.size(), 2u);
    EXPECT_EQ(prompt_.modals.back().caption, "Error Description");
    EXPECT_EQ(prompt_.modals.back().text, "3\t07/12/26 10:16:00\tRelay denied for c@d");
    EXPECT_EQ(w.findChildren<QDialog*>().size(), 0);
}

TEST_F(WindowTest, DoubleClickingALineShowsItWholeInTheDescriptionWindow) {
    frmMain& w = Start();
    ChooseFile(kSmtpLog);
    Choose(Find<QListWidget>("LstErrors"), 0);
    auto* instances = Find<QListView>("lstinstances");
    for (int row : {0, 1})
        DoubleClick(instances, row);
    ASSERT_EQ(prompt_.modals.size(), 2u);
    EXPECT_EQ(prompt_.modals[0].text, "1\t07/12/26 10:15:30\tRelay denied for a@b");
    EXPECT_EQ(prompt_.modals[1].text, "3\t07/12/26 10:16:00\tRelay denied for c@d");
    for (const auto& modal : prompt_.modals) {
        EXPECT_EQ(modal.caption, "Error Description");
        EXPECT_EQ(modal.size, QSize(307, 180));
        EXPECT_EQ(modal.minimumSize, modal.maximumSize);
        EXPECT_FALSE(modal.flags.testFlag(Qt::WindowMinimizeButtonHint));
        EXPECT_FALSE(modal.flags.testFlag(Qt::WindowMaximizeButtonHint));
        EXPECT_EQ(modal.parent, &w);
        EXPECT_EQ(modal.boxGeometry, QRect(8, 8, 292, 163));
        EXPECT_TRUE(modal.boxHasFocus);
        EXPECT_EQ(modal.boxVertical, Qt::ScrollBarAlwaysOff);
        EXPECT_EQ(modal.boxHorizontal, Qt::ScrollBarAlwaysOff);
    }
    // The transcript of the clicked line was looked up by the click that preceded the double-click.
    EXPECT_EQ(Find<QPlainTextEdit>("txtTranscript")->toPlainText(),
              "07/12/26 10:15:10 first of the minute\n07/12/26 10:15:50 later in the minute\n"
              "07/12/26 10:17:30 upper bound\n07/12/26 10:17:31 too late");
}

TEST_F(WindowTest, ClearControlsEmptiesTheResultsAndKeepsTheSource) {
    frmMain& w = Start();
    ChooseFile(kSmtpLog);
    Choose(Find<QListWidget>("LstErrors"), 0);
    Choose(Find<QListView>("lstinstances"), 0);
    w.ClearControls();
    EXPECT_EQ(Find<QListView>("lstinstances")->model()->rowCount(), 0);
    EXPECT_EQ(Find<QPlainTextEdit>("txtErrorDescription")->toPlainText(), "");
    EXPECT_EQ(Find<QPlainTextEdit>("txtTranscript")->toPlainText(), "");
    EXPECT_EQ(Find<QListWidget>("lstFiles")->count(), 0);
    EXPECT_EQ(Find<QListWidget>("LstErrors")->count(), 0);
    EXPECT_EQ(Find<QLabel>("lblLogFileRootDirectory")->text(), "(Unspecified)");
    EXPECT_EQ(Find<QComboBox>("lstLogSource")->currentIndex(), 1);
    EXPECT_EQ(w.ActiveSource, "SMTP");
    EXPECT_EQ(w.ErrorUpperBound, 3);
}

TEST_F(WindowTest, MenusOpenTheLibraryPagesAndTheAboutBox) {
    frmMain& w = Start();
    Find<QAction>("mnuAbout")->trigger();
    ASSERT_EQ(prompt_.messages.size(), 1u);
    EXPECT_EQ(prompt_.messages[0].text, "Brindlemar Log Analyser\nVersion 1.2");
    EXPECT_EQ(prompt_.messages[0].title, kAppTitle);
    EXPECT_EQ(prompt_.messages[0].icon, Prompt::Icon::Information);

    Find<QAction>("mnuOnline")->trigger();
    Find<QAction>("mnuKB")->trigger();
    EXPECT_EQ(Opened(),
              "http://" + server_.Host() + "/Tools/Analysis/help.asp\nhttp://" + server_.Host() + "/kb\n");
    EXPECT_EQ(prompt_.messages.size(), 1u);

    // A desktop that cannot open the page: the launcher's message. The old setting is undone first, so
    // that its restore cannot undo the new one.
    openerEnv_.reset();
    openerEnv_ = std::make_unique<ScopedEnv>("BRINDLEMAR_OPENER", dir_.File("no-such-opener"));
    Find<QAction>("mnuKB")->trigger();
    ASSERT_EQ(prompt_.messages.size(), 2u);
    EXPECT_EQ(prompt_.messages[1].title, "Error");
    EXPECT_EQ(prompt_.messages[1].icon, Prompt::Icon::Exclamation);

    Find<QAction>("mnuExit")->trigger();
    EXPECT_FALSE(w.isVisible());
}

TEST_F(WindowTest, MenusAreThereWithTheirCaptions) {
    Start();
    const auto menus = window_->menuBar()->actions();
    ASSERT_EQ(menus.size(), 2);
    EXPECT_EQ(menus[0]->text(), "&File");
    EXPECT_EQ(menus[1]->text(), "&Help");
    QStringList file, help;
    for (QAction* a : Find<QMenu>("mnuFile")->actions())
        file << (a->isSeparator() ? "-" : a->text());
    for (QAction* a : Find<QMenu>("mnuHelp")->actions())
        help << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(file, QStringList({"E&xit"}));
    EXPECT_EQ(help, QStringList({"&Online Help...", "Online &Knowledge Base...", "-", "&About.."}));
    EXPECT_TRUE(Find<QAction>("mnublank1")->isSeparator());
}

} // namespace

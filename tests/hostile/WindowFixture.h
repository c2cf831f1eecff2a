// The real main window, offscreen, with a library server on 127.0.0.1, a registry export file and debug and
// activity logs written for each test; controls found by their object names and driven as a user would.
#pragma once

#include "AppTestSupport.h"

#include "app/frmMain.h"
#include "support/TestSupport.h"

#include <QListView>
#include <QListWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

namespace hostile {

inline const QString kLibraryTitle = QStringLiteral("Library Not Currently Available");
inline const std::string kSmtpLog = "SMTP-Debug-20260712.log";

// Entry 0 occurs twice, entry 1 (ends in CR LF) once at a line's end, entry 2 never, entry 3 once.
inline const std::string kSmtpCatalogue =
    "Relay denied\thttp://library.test/kb/relay\tThe server refused to relay.\r\n"
    "Timeout<CRLF>\thttps://library.test/kb/timeout\tA connection timed out.\r\n"
    "Unused\thttp://library.test/kb/unused\tNever seen.\r\n"
    "Script\tjavascript:alert(1)\tA link that is no web address.\r\n";

inline const std::string kSmtpDebugLog = "1\t07/12/26 10:15:30\tRelay denied for a@b\r\n"
                                         "2\t07/12/26 10:15:40\tSession Timeout\r\n"
                                         "3\t07/12/26 10:16:00\tRelay denied for c@d\r\n"
                                         "4\t07/12/26 10:20:00\tScript\r\n";

inline const std::string kSmtpActivityLog = "07/12/26 10:13:29 too early\r\n"
                                            "07/12/26 10:15:10 first of the minute\r\n"
                                            "07/12/26 10:17:31 too late\r\n";

inline const std::string kPopCatalogue = "USER\thttp://library.test/kb/user\tA user logged in.\r\n";

class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        for (const char* sub : {"program", "smtp-debug", "smtp-activity", "pop-debug"})
            fs::create_directory(dir_.Path() / sub);
        programDir_ = dir_.File("program");
        smtpDebug_ = dir_.File("smtp-debug");
        smtpActivity_ = dir_.File("smtp-activity");
        popDebug_ = dir_.File("pop-debug");
        registryPath_ = dir_.File("registry.reg");
        settings_.libraryServer = server_.Host();
        settings_.debugDirectories = {{"Connectors\\SMTP", smtpDebug_}, {"Services\\POP", popDebug_}};
        settings_.activityDirectories = {{"Connectors\\SMTP", smtpActivity_}};
        WriteRegistry();
        registryEnv_ = std::make_unique<testing_support::ScopedEnv>("BRINDLEMAR_REGISTRY", registryPath_);
        apptest::WriteRecordingOpener(dir_.File("opener.sh"), dir_.File("opened.txt"));
        openerEnv_ =
            std::make_unique<testing_support::ScopedEnv>("BRINDLEMAR_OPENER", dir_.File("opener.sh"));
        noProxy_ = std::make_unique<testing_support::ScopedEnv>("no_proxy", "*");

        server_.SetReply("SMTP", kSmtpCatalogue);
        server_.SetReply("POP", kPopCatalogue);
        testing_support::WriteBytes(smtpDebug_ + "/" + kSmtpLog, kSmtpDebugLog);
        testing_support::WriteBytes(smtpDebug_ + "/SMTP-Debug-20260711.log", "nothing to see\r\n");
        testing_support::WriteBytes(smtpActivity_ + "/SMTP-Activity-20260712.log", kSmtpActivityLog);
        testing_support::WriteBytes(popDebug_ + "/POP-Debug-20260712.log", "USER alice\r\nPASS\r\n");
    }

    void WriteRegistry() { testing_support::WriteBytes(registryPath_, apptest::RegistryFileText(settings_)); }

    // Creates the window, runs its start-up and shows it, as the program does; `limits` bound the exchanges
    // with the library server when given.
    frmMain& Start(const std::optional<catalogue::PostFormLimits>& limits = std::nullopt) {
        window_ = std::make_unique<frmMain>(prompt_, programDir_);
        if (limits)
            window_->SetLibraryLimits(*limits);
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
        ASSERT_EQ(found.size(), 1) << name;
        Choose(files, files->row(found.front()));
    }
    // A double-click on a row, preceded by its first click, as the mouse gives it.
    static void DoubleClick(QListView* list, int row) {
        const QPoint centre = list->visualRect(list->model()->index(row, 0)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
    }

    std::string Opened() const { return testing_support::ReadBytes(dir_.File("opened.txt")); }

    testing_support::TempDir dir_;
    apptest::LibraryServer server_;
    apptest::RegistrySettings settings_;
    std::string programDir_, smtpDebug_, smtpActivity_, popDebug_, registryPath_;
    std::unique_ptr<testing_support::ScopedEnv> registryEnv_, openerEnv_, noProxy_;
    apptest::RecordingPrompt prompt_;
    std::unique_ptr<frmMain> window_;
};

} // namespace hostile

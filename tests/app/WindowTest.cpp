// The real Qt window, offscreen, over the road of the form's tests: what only the toolkit can show. The
// controls carry the form's results, each notification reaches its handler, the instance list reads its
// rows on demand, the modal window is built as designed, and a chosen row cannot be taken away.
#include "AppTestSupport.h"

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using roadtest::kSmtpLog;

class WindowTest : public apptest::WindowFixture {};

TEST_F(WindowTest, TheWholeRoadRunsThroughTheRealControls) {
    frmMain& w = Start();
    auto* sources = Find<QComboBox>("lstLogSource");
    QStringList codes;
    for (int i = 0; i < sources->count(); ++i)
        codes << sources->itemText(i);
    EXPECT_EQ(codes, QStringList({"HTTPMAIL", "SMTP", "LS", "MTA", "POP", "POPC", "SF"}));
    EXPECT_EQ(sources->currentIndex(), 1);
    EXPECT_EQ(server_.Requests(), std::vector<std::string>{"SMTP"});
    EXPECT_EQ(Items(Find<QListWidget>("lstFiles")),
              QStringList({"SMTP-Debug-20260711.log", kSmtpLog.c_str()}));
    EXPECT_EQ(Find<QLabel>("lblLogFileRootDirectory")->text(), QString::fromStdString(smtpDebug_));
    EXPECT_EQ(w.focusWidget(), Find<QListWidget>("lstFiles"));
    EXPECT_EQ(w.windowTitle(), "Brindlemar Log Analyser");

    ChooseFile(kSmtpLog);
    EXPECT_EQ(Items(Find<QListWidget>("LstErrors")),
              QStringList({"0 [2]  Relay denied", "1 [1]  Timeout\r\n", "3 [1]  Script"}));
    Choose(Find<QListWidget>("LstErrors"), 0);
    // A CR LF in the explanation is a line break in the box.
    EXPECT_EQ(Find<QPlainTextEdit>("txtErrorDescription")->toPlainText(),
              "The server refused to relay.\nCheck the relay settings.");
    auto* instances = Find<QListView>("lstinstances");
    EXPECT_EQ(Rows(instances), QStringList({"1\t07/12/26 10:15:30\tRelay denied for a@b",
                                            "3\t07/12/26 10:16:00\tRelay denied for c@d"}));
    EXPECT_TRUE(instances->selectionModel()->selectedIndexes().isEmpty());

    Choose(instances, 0);
    EXPECT_EQ(Find<QPlainTextEdit>("txtTranscript")->toPlainText(),
              "07/12/26 10:13:30 lower bound\n->07/12/26 10:15:10 first of the minute\n"
              "07/12/26 10:15:50 later in the minute\n07/12/26 10:17:30 upper bound");

    // The double-click shows the line whole in the instance window, built as designed.
    DoubleClick(instances, 1);
    ASSERT_EQ(prompt_.modals.size(), 1u);
    const auto& modal = prompt_.modals[0];
    EXPECT_EQ(modal.caption, "Error Description");
    EXPECT_EQ(modal.text, "3\t07/12/26 10:16:00\tRelay denied for c@d");
    EXPECT_EQ(modal.size, QSize(307, 180));
    EXPECT_EQ(modal.minimumSize, modal.maximumSize);
    EXPECT_FALSE(modal.flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(modal.flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(modal.parent, &w);
    EXPECT_EQ(modal.boxGeometry, QRect(8, 8, 292, 163));
    EXPECT_TRUE(modal.boxHasFocus);
    EXPECT_EQ(modal.boxVertical, Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(modal.boxHorizontal, Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(w.findChildren<QDialog*>().size(), 0); // discarded once closed

    // The button opens the chosen event's link through the desktop.
    Choose(Find<QListWidget>("LstErrors"), 1);
    QTest::mouseClick(Find<QPushButton>("CmdMore"), Qt::LeftButton);
    EXPECT_EQ(Opened(), "https://library.test/kb/timeout\n");

    // The source list's click runs the fetch.
    sources->setCurrentIndex(4);
    Settle();
    EXPECT_EQ(w.Form().ActiveSource, "POP");
    EXPECT_EQ(Items(Find<QListWidget>("lstFiles")), QStringList({"POP-Debug-20260712.log"}));
    EXPECT_EQ(Rows(instances), QStringList());
    EXPECT_TRUE(prompt_.messages.empty());
    EXPECT_GT(prompt_.waitsBegun, 0);
    EXPECT_EQ(prompt_.waitDepth, 0);
}

TEST_F(WindowTest, TheKeyboardChoosesAsTheMouseDoes) {
    Start();
    auto* files = Find<QListWidget>("lstFiles");
    QTest::keyClick(files, Qt::Key_Down); // onto the first file
    Settle();
    QTest::keyClick(files, Qt::Key_Down); // the second: SMTP-Debug-20260712.log
    Settle();
    EXPECT_EQ(Find<QListWidget>("LstErrors")->count(), 3);
    auto* events = Find<QListWidget>("LstErrors");
    QTest::keyClick(events, Qt::Key_Down);
    Settle();
    EXPECT_EQ(Find<QListView>("lstinstances")->model()->rowCount(), 2);
    EXPECT_NE(Find<QPlainTextEdit>("txtErrorDescription")->toPlainText(), "");
}

TEST_F(WindowTest, AChosenRowStaysChosenUnderCtrlClickAndCtrlSpace) {
    Start();
    ChooseFile(kSmtpLog);
    auto* files = Find<QListWidget>("lstFiles");
    auto* events = Find<QListWidget>("LstErrors");
    for (QListWidget* list : {files, events}) {
        SCOPED_TRACE(list->objectName().toStdString());
        Choose(list, 1);
        // A Ctrl+click on the chosen row is a click on it: the row stays chosen.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          list->visualItemRect(list->item(1)).center());
        Settle();
        EXPECT_EQ(list->selectedItems().size(), 1);
        EXPECT_EQ(list->currentRow(), 1);
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Space, Qt::ControlModifier);
        Settle();
        EXPECT_EQ(list->selectedItems().size(), 1);
        EXPECT_EQ(list->currentRow(), 1);
    }
    // The event's lines still come from the chosen file (with no file chosen the path would end in the
    // directory).
    EXPECT_EQ(Items(events).size(), 3);
    EXPECT_EQ(Rows(Find<QListView>("lstinstances")), QStringList({"2\t07/12/26 10:15:40\tSession Timeout"}));
    Choose(events, 2);
    EXPECT_EQ(Rows(Find<QListView>("lstinstances")), QStringList({"4\t07/12/26 10:20:00\tScript"}));
    EXPECT_TRUE(prompt_.messages.empty());
}

TEST_F(WindowTest, AMissingActivityLogShowsTheLineInTheInstanceWindow) {
    frmMain& w = Start();
    std::filesystem::remove(smtpActivity_ + "/SMTP-Activity-20260712.log");
    ChooseFile(kSmtpLog);
    Choose(Find<QListWidget>("LstErrors"), 0);
    Choose(Find<QListView>("lstinstances"), 1);
    ASSERT_EQ(prompt_.modals.size(), 1u);
    EXPECT_EQ(prompt_.modals[0].caption, "No Activity File Found");
    EXPECT_EQ(prompt_.modals[0].text, "3\t07/12/26 10:16:00\tRelay denied for c@d");
    EXPECT_EQ(prompt_.modals[0].parent, &w);
    EXPECT_EQ(prompt_.waitDepth, 0);
}

TEST_F(WindowTest, TheWindowAnswersWhileACountRunsAndEscStopsIt) {
    // A day long enough, read in tiny blocks, that its count takes a good while.
    std::string day;
    for (int i = 0; i < 400000; ++i)
        day += std::to_string(i) + "\t07/12/26 10:15:30\tRelay denied for someone\r\n";
    testing_support::WriteBytes(smtpDebug_ + "/SMTP-Debug-20260713.log", day);
    frmMain& w = Start();
    scan::ScanOptions slow;
    slow.threads = 1;
    slow.blockSize = 8;
    w.Form().SetScanOptions(slow);
    auto* files = Find<QListWidget>("lstFiles");
    files->setCurrentRow(2);
    ASSERT_TRUE(w.Form().Busy());
    EXPECT_EQ(prompt_.waitDepth, 1);

    // Meanwhile the window's thread runs its event loop: timers fire, a resize is laid out, progress shows.
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(5);
    const int before = files->height();
    w.resize(w.width(), w.height() + 150);
    QTest::qWait(300);
    ASSERT_TRUE(w.Form().Busy()) << "the count ended too soon for this test";
    EXPECT_GT(ticks, 5);
    EXPECT_GT(files->height(), before + 100);
    EXPECT_TRUE(Find<QProgressBar>("statusProgress")->isVisible());
    EXPECT_TRUE(Find<QPushButton>("statusCancel")->isVisible());
    EXPECT_TRUE(Find<QLabel>("statusText")->text().startsWith("SMTP-Debug-20260713.log: "));

    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_FALSE(w.Form().Busy());
    EXPECT_EQ(Find<QLabel>("statusText")->text(), "Cancelled");
    EXPECT_FALSE(Find<QProgressBar>("statusProgress")->isVisible());
    EXPECT_EQ(Find<QListWidget>("LstErrors")->count(), 0);
    EXPECT_EQ(prompt_.waitDepth, 0);
    QTest::qWait(20);
    EXPECT_EQ(Find<QListWidget>("LstErrors")->count(), 0); // the stopped count's result never arrives
    EXPECT_TRUE(prompt_.messages.empty());

    // The status bar is under the design's controls: the file list ends 800 twips above it.
    const QRect list = files->geometry();
    EXPECT_LE(list.bottom(), w.centralWidget()->height());
}

TEST_F(WindowTest, MenusAreBuiltFromTheDesignAndReachTheirHandlers) {
    frmMain& w = Start();
    const auto menus = window_->menuBar()->actions();
    ASSERT_EQ(menus.size(), 3);
    EXPECT_EQ(menus[0]->text(), "&File");
    EXPECT_EQ(menus[1]->text(), "&View");
    EXPECT_EQ(menus[2]->text(), "&Help");
    EXPECT_EQ(Find<QAction>("mnuRefresh")->shortcut(), QKeySequence(Qt::Key_F5));
    QStringList file, help;
    for (QAction* a : Find<QMenu>("mnuFile")->actions())
        file << (a->isSeparator() ? "-" : a->text());
    for (QAction* a : Find<QMenu>("mnuHelp")->actions())
        help << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(file, QStringList({"&Summary of All Files...", "-", "Export &Events...", "Export &Instances...",
                                 "-", "E&xit"}));
    EXPECT_EQ(help, QStringList({"&Online Help...", "Online &Knowledge Base...", "-", "&About.."}));
    EXPECT_TRUE(Find<QAction>("mnublank1")->isSeparator());

    Find<QAction>("mnuAbout")->trigger();
    ASSERT_EQ(prompt_.messages.size(), 1u);
    EXPECT_EQ(prompt_.messages[0].text, "Brindlemar Log Analyser\nVersion 1.2");
    EXPECT_EQ(prompt_.messages[0].icon, Prompt::Icon::Information);
    Find<QAction>("mnuOnline")->trigger();
    Find<QAction>("mnuKB")->trigger();
    EXPECT_EQ(Opened(),
              "http://" + server_.Host() + "/Tools/Analysis/help.asp\nhttp://" + server_.Host() + "/kb\n");
    BreakOpener();
    Find<QAction>("mnuKB")->trigger();
    ASSERT_EQ(prompt_.messages.size(), 2u);
    EXPECT_EQ(prompt_.messages[1].title, "Error");
    EXPECT_EQ(prompt_.messages[1].icon, Prompt::Icon::Exclamation);

    Find<QAction>("mnuExit")->trigger();
    EXPECT_FALSE(w.isVisible());
}

TEST_F(WindowTest, ContextMenuCopyAndCtrlCCopyTheRowAndF5Refreshes) {
    frmMain& w = Start();
    ChooseFile(kSmtpLog);
    auto* events = Find<QListWidget>("LstErrors");
    Choose(events, 0);
    auto* menu = Find<QMenu>("mnuEventsContext");
    EXPECT_EQ(events->contextMenuPolicy(), Qt::CustomContextMenu);
    QStringList captions;
    for (QAction* a : menu->actions())
        captions << a->text();
    EXPECT_EQ(captions, QStringList({"&Copy", "Export &Events..."}));
    for (QAction* a : menu->actions())
        if (a->objectName() == "mnuCopy")
            a->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "0 [2]  Relay denied");

    auto* lines = Find<QListView>("lstinstances");
    Choose(lines, 1);
    lines->setFocus();
    QTest::keyClick(lines, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "3\t07/12/26 10:16:00\tRelay denied for c@d");

    // The instance list's menu exports its lines through the save dialog.
    prompt_.savePath = QString::fromStdString(dir_.File("lines.log"));
    for (QAction* a : Find<QMenu>("mnuInstancesContext")->actions())
        if (a->objectName() == "mnuExport")
            a->trigger();
    Settle();
    ASSERT_EQ(prompt_.savePrompts.size(), 1u);
    EXPECT_EQ(prompt_.savePrompts[0],
              QStringList({"Export Instances", "SMTP-Debug-20260712-event-0.log", "Log files (*.log)"}));
    EXPECT_EQ(testing_support::ReadBytes(dir_.File("lines.log")),
              "1\t07/12/26 10:15:30\tRelay denied for a@b\r\n3\t07/12/26 10:16:00\tRelay denied for c@d\r\n");

    // F5: the grown log is counted again with the file and the event still chosen.
    testing_support::WriteBytes(smtpDebug_ + "/" + kSmtpLog,
                                roadtest::kSmtpDebugLog + "5\t07/12/26 11:00:00\tRelay denied for e@f\r\n");
    w.activateWindow();
    QTest::keyClick(&w, Qt::Key_F5);
    Settle();
    ASSERT_EQ(events->count(), 3);
    EXPECT_EQ(events->currentItem()->text(), "0 [3]  Relay denied");
    EXPECT_EQ(lines->model()->rowCount(), 3);
    EXPECT_TRUE(prompt_.messages.empty());
}

} // namespace

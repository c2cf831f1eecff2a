// Nothing lost: the whole road through the real window against a real library server on 127.0.0.1 reads
// the logs, the registry export file and the program's directory and leaves every one of them as it was,
// byte for byte, mode and time, except the catalogue files a fetch replaced.
#include "AppTestSupport.h"

#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>

#include <sys/stat.h>

#include <map>
#include <set>

namespace {

// The activity log's lines within two minutes of the debug log's first line.
const QString kTranscriptOfTheFirstLine =
    "07/12/26 10:13:30 lower bound\n->07/12/26 10:15:10 first of the minute\n"
    "07/12/26 10:15:50 later in the minute\n07/12/26 10:17:30 upper bound";

using testing_support::ReadBytes;
using testing_support::WriteBytes;
namespace fs = std::filesystem;

// What a file or directory is, as far as reading it may never change it (its access time aside).
struct Entry {
    mode_t mode = 0; // type and permissions
    off_t size = 0;
    long long mtimeSeconds = 0;
    long mtimeNanoseconds = 0;
    std::string bytes; // a regular file's contents; a symbolic link's target

    bool operator==(const Entry&) const = default;
};

Entry Describe(const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        throw std::runtime_error("cannot lstat " + path.string());
    Entry entry{st.st_mode, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec, {}};
    if (S_ISREG(st.st_mode))
        entry.bytes = ReadBytes(path.string());
    else if (S_ISLNK(st.st_mode))
        entry.bytes = fs::read_symlink(path).string();
    return entry;
}

// Every file and directory under the roots (the roots included), by path.
std::map<std::string, Entry> Snapshot(const std::vector<std::string>& roots) {
    std::map<std::string, Entry> entries;
    for (const std::string& root : roots) {
        entries[root] = Describe(root);
        if (!fs::is_directory(fs::symlink_status(root)))
            continue;
        for (const auto& item : fs::recursive_directory_iterator(root))
            entries[item.path().string()] = Describe(item.path());
    }
    return entries;
}

class NothingLostTest : public apptest::WindowFixture {};

TEST_F(NothingLostTest, TheWholeRoadLeavesLogsSettingsAndProgramDirectoryAsTheyWere) {
    // The export file lives in the program's directory, beside catalogues of every kind: two the road will
    // replace (SMTP and POP), one of a source whose reply is a notice (SF), one never asked for.
    registryPath_ = programDir_ + "/registry.reg";
    WriteRegistry();
    registryEnv_.reset(); // restores the variable first, so the new one is not undone by it
    registryEnv_ = std::make_unique<testing_support::ScopedEnv>("BRINDLEMAR_REGISTRY", registryPath_);
    WriteBytes(programDir_ + "/SMTP-Analysis.tab", "old smtp\tL\tE\r\n");
    WriteBytes(programDir_ + "/POP-Analysis.tab", "old pop\tL\tE\r\n");
    WriteBytes(programDir_ + "/SF-Analysis.tab", "old sf\tL\tE\r\n");
    WriteBytes(programDir_ + "/HTTPMAIL-Analysis.tab", "untouched\tL\tE\r\n");
    WriteBytes(programDir_ + "/notes.txt", "the administrator's own file\r\n");
    // A day whose activity log is missing, and logs with modes of their own and a link.
    WriteBytes(smtpDebug_ + "/SMTP-Debug-20260713.log", "5\t07/13/26 09:00:00\tRelay denied for e@f\r\n");
    fs::permissions(smtpDebug_ + "/SMTP-Debug-20260711.log", fs::perms::owner_read | fs::perms::group_read);
    fs::create_symlink(popDebug_ + "/POP-Debug-20260712.log", popDebug_ + "/POP-Debug-link.log");
    server_.SetReply("SF", "<!BRINDLEMAR>The SF catalogue is being revised.");
    // Times well in the past, so that any rewrite, even of the same bytes, shows.
    for (const std::string& root : {programDir_, smtpDebug_, smtpActivity_, popDebug_}) {
        for (const auto& item : fs::recursive_directory_iterator(root)) {
            if (!fs::is_symlink(item.symlink_status()))
                fs::last_write_time(item.path(), fs::last_write_time(item.path()) - std::chrono::hours(48));
        }
    }
    const std::vector<std::string> roots = {programDir_, smtpDebug_, smtpActivity_, popDebug_};
    const std::map<std::string, Entry> before = Snapshot(roots);

    // Start-up: the SMTP catalogue is fetched and stored, its files listed.
    frmMain& w = Start();
    ASSERT_EQ(w.Form().ErrorUpperBound, 3);
    // A file, an event, an instance and its transcript, a double-click, the more-information page.
    ChooseFile(roadtest::kSmtpLog);
    Choose(Find<QListWidget>("LstErrors"), 0);
    auto* instances = Find<QListView>("lstinstances");
    Choose(instances, 0);
    EXPECT_EQ(Find<QPlainTextEdit>("txtTranscript")->toPlainText(), kTranscriptOfTheFirstLine);
    DoubleClick(instances, 1);
    QTest::mouseClick(Find<QPushButton>("CmdMore"), Qt::LeftButton);
    // The other files: one without events, one whose activity log is missing.
    ChooseFile("SMTP-Debug-20260711.log");
    ChooseFile("SMTP-Debug-20260713.log");
    Choose(Find<QListWidget>("LstErrors"), 0);
    Choose(instances, 0);
    // The menus.
    Find<QAction>("mnuAbout")->trigger();
    Find<QAction>("mnuOnline")->trigger();
    Find<QAction>("mnuKB")->trigger();
    // POP: fetched, stored, listed and scanned; then SF, whose reply is a notice.
    Find<QComboBox>("lstLogSource")->setCurrentIndex(4);
    Settle();
    ChooseFile("POP-Debug-20260712.log");
    Choose(Find<QListWidget>("LstErrors"), 0);
    ChooseFile("POP-Debug-link.log");
    Find<QComboBox>("lstLogSource")->setCurrentIndex(6);
    Settle();
    Find<QAction>("mnuExit")->trigger();
    window_.reset();

    // The road was travelled: what it showed and opened.
    ASSERT_EQ(prompt_.modals.size(), 2u);
    EXPECT_EQ(prompt_.modals[0].caption, "Error Description");
    EXPECT_EQ(prompt_.modals[1].caption, "No Activity File Found");
    ASSERT_EQ(prompt_.messages.size(), 2u);
    EXPECT_EQ(prompt_.messages[0].text, "Brindlemar Log Analyser\nVersion 1.2");
    EXPECT_EQ(prompt_.messages[1].text, "The SF catalogue is being revised.");
    EXPECT_EQ(Opened(), "http://library.test/kb/relay\nhttp://" + server_.Host() +
                            "/Tools/Analysis/help.asp\nhttp://" + server_.Host() + "/kb\n");
    EXPECT_EQ(server_.Requests(), (std::vector<std::string>{"SMTP", "POP", "SF"}));

    // Everything is as it was, except the two catalogues replaced by what the library served (and the
    // times of the directory that holds them).
    std::map<std::string, Entry> after = Snapshot(roots);
    EXPECT_EQ(after[programDir_ + "/SMTP-Analysis.tab"].bytes, roadtest::kSmtpCatalogue);
    EXPECT_EQ(after[programDir_ + "/POP-Analysis.tab"].bytes, roadtest::kPopCatalogue);
    std::set<std::string> changed;
    for (const auto& [path, entry] : before) {
        const auto found = after.find(path);
        if (found == after.end() || !(found->second == entry))
            changed.insert(path);
    }
    for (const auto& [path, entry] : after) {
        if (before.find(path) == before.end())
            changed.insert(path);
    }
    const std::set<std::string> replaced = {programDir_ + "/SMTP-Analysis.tab",
                                            programDir_ + "/POP-Analysis.tab"};
    std::set<std::string> unexpected;
    for (const std::string& path : changed) {
        if (replaced.count(path) == 0 && path != programDir_)
            unexpected.insert(path);
    }
    EXPECT_TRUE(unexpected.empty()) << testing::PrintToString(unexpected);
    EXPECT_EQ(changed.count(programDir_ + "/SMTP-Analysis.tab"), 1u);
    // The program's directory holds the same names, modes and owner's rights as before.
    EXPECT_EQ(after[programDir_].mode, before.at(programDir_).mode);
    for (const std::string& path : replaced)
        EXPECT_EQ(after[path].mode, before.at(path).mode) << path;
}

} // namespace

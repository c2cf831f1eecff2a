// The main window's behaviour without a toolkit: the state all its handlers share (the catalogue in memory,
// the active source, the diagnostic switch, the loading flag), start-up, and every handler of its lists,
// button and menus, working through a MainView that the toolkit implements. Everything runs on the one
// thread of the window, each handler to completion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/PostForm.h"
#include "form/Design.h"
#include "form/Operations.h"
#include "form/View.h"
#include "form/Work.h"
#include "scan/Matcher.h"
#include "scan/Scan.h"
#include "settings/Drives.h"
#include "text/Paths.h"
#include "text/Status.h"

namespace form {

class frmMain {
public:
    // Shown rows of the instance list are cut here (display only).
    static constexpr std::size_t kInstanceRowBytes = 2048;
    // The most of one line that is taken as the chosen instance item (transcript, instance window): longer
    // lines are cut here rather than read whole into memory.
    static constexpr std::size_t kInstanceItemBytes = std::size_t{1} << 20;

    // Nothing is read or fetched until Form_Load. `view` must outlive the form. Catalogue files are stored
    // in and loaded from catalogueDirectory.
    explicit frmMain(MainView& view, std::string catalogueDirectory = text::ProgramDirectory());
    ~frmMain();
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    // One box naming the lines of the settings file that could not be read; nothing when it reads cleanly.
    // The program shows it before start-up.
    void ShowRegistryProblems();

    // Start-up, run once before the window is first shown: reads "Debug Status", fills the source list,
    // selects SMTP (which fetches its catalogue and lists its debug log files), shows the SMTP debug log
    // directory and loads the SMTP catalogue into memory. Reports its failures in message boxes.
    void Form_Load();
    // Fills the source list with the seven source codes; selects nothing.
    void LoadLogSources();
    // Empties the instance, file and event lists and both text boxes; the directory label reads
    // "(Unspecified)". The source list and the shared state keep their values.
    void ClearControls();
    // Replaces the catalogue in memory by the catalogue file of ActiveSource (ErrorUpperBound -1 when the
    // file cannot be opened or is empty) and compiles the event matcher for it. A read failure is shown as
    // "Error in reading the error strings: " with the entries read before it kept.
    void LoadErrorStrings();
    // Lists the debug log files of `logSource` in lstFiles. A listing failure is returned, not shown.
    [[nodiscard]] text::Status LoadLogFiles(const std::string& logSource);
    // Sets every event count of the catalogue to 0.
    void ZeroErrorCount();
    // Counts the catalogued events in the debug log file `fileName` of `currentSource` into ErrorCounts, in
    // the background: the counts are 0 until the count is done, then the event list is shown again; a file
    // that cannot be opened or read leaves every count 0 and is shown as "Unable to open log file. ".
    void GetErrorCount(const std::string& currentSource, const std::string& fileName);
    // Lists every event counted at least once as "i [n]  search string", in catalogue order.
    void ShowErrors();
    // Lists the lines of the debug log file that hold event `errorIndex`, in the background (the list is
    // empty until they are all found); a file that cannot be opened or read leaves the list empty and is
    // shown as "Unable to open log file. ".
    void ShowErrorInstances(const std::string& currentSource, const std::string& fileName,
                            std::int32_t errorIndex);
    // Opens a document or web address with the desktop; a refusal is shown in a box titled "Error".
    void OpenDocument(const std::string& target);
    // Makes the lists and the transcript follow the window's outer size (the design's resize rules).
    void Form_Resize();

    // Handlers of the controls and menus.
    void lstLogSource_Click();
    void lstFiles_Click();
    void LstErrors_Click();
    void CmdMore_Click();
    void lstinstances_Click();
    void lstinstances_DblClick();
    void mnuExit_Click();
    void mnuOnline_Click();
    void mnuKB_Click();
    void mnuAbout_Click();
    // File > Summary of All Files...: every file of the source counted, in a window of its own.
    void mnuSummary_Click();
    // File > Export Events... / Export Instances...: the event list / the event's lines to a file.
    void mnuExportEvents_Click();
    void mnuExportInstances_Click();
    // View > Refresh (F5): the source's files listed again and the chosen file counted again.
    void mnuRefresh_Click();
    // ---- the summary window ----
    // A double-click in the summary window: chooses fileName in the file list (which counts it) and, once
    // the count is done, the row of catalogue entry `entryIndex` in the event list (which lists its lines).
    // Says in the status bar when the main window shows another source, the file is no longer listed, or
    // the entry is no longer `searchString` or not counted in the file.
    void ChooseFileAndEvent(const std::string& source, const std::string& fileName, std::int32_t entryIndex,
                            const std::string& searchString);
    // ---- end of the summary window ----
    // The context menus' Copy and Ctrl+C on a list: the chosen event's row / the chosen instance's line (up
    // to kInstanceItemBytes of it) to the clipboard; nothing when no row is chosen.
    void CopyEventRow();
    void CopyInstanceRow();
    // The handler of a menu item of the design table.
    void RunMenuCommand(MenuCommand command);

    // Esc or the status bar's Cancel button: stops the running work. A stopped count leaves the event list
    // empty, stopped instances the instance list, a stopped lookup the transcript; the status bar says
    // "Cancelled". Nothing happens when no work runs.
    void CancelWork();
    // Stops the running work without a word (the window is closing, or a newer choice came).
    void StopWork();
    // Whether a count, an instance list or a transcript lookup is under way.
    bool Busy() const { return work_.Busy(); }
    // With false, every piece of work runs to its end inside the handler that starts it, as in a program
    // of one thread (tests compare the two).
    void SetWorkInBackground(bool inBackground) { work_.SetInBackground(inBackground); }
    // How the scans run (threads, block size); the defaults unless set.
    void SetScanOptions(const scan::ScanOptions& options) { scanOptions_ = options; }

    // The rows of the instance list, read from the file on demand: the row's line as read (ANSI), at most
    // maxBytes of it; "" for a row that does not exist or cannot be read back.
    std::size_t InstanceCount() const { return instances_->Size(); }
    std::string InstanceRow(std::size_t row, std::size_t maxBytes = kInstanceRowBytes) const;

    // The directory the catalogue files are stored in and loaded from.
    const std::string& CatalogueDirectory() const { return catalogueDirectory_; }
    // Bounds of each exchange with the library server (time-outs, largest reply); the defaults unless set.
    void SetLibraryLimits(const catalogue::PostFormLimits& limits) { libraryLimits_ = limits; }

    // Shared state of the handlers. The four catalogue arrays are parallel (entry i of each is line i of the
    // catalogue file) and valid from 0 to ErrorUpperBound. Text is held as ANSI bytes.
    std::vector<std::string> ErrorStrings;
    std::vector<std::string> ErrorLinks;
    std::vector<std::string> ErrorDescriptions;
    std::vector<std::int32_t> ErrorCounts;
    std::int32_t ErrorUpperBound = 0;
    std::string ActiveSource;     // the source code selected in lstLogSource
    std::int32_t DebugStatus = 0; // 1 shows the library server's raw reply when it holds no catalogue
    bool IsLoading = false;       // set while Form_Load fills the source list

private:
    // Entries of the catalogue in memory that may be read: 0 to ErrorUpperBound, within the arrays.
    std::size_t EntryCount() const;
    bool IsEntry(std::int32_t index) const { return index >= 0 && std::size_t(index) < EntryCount(); }
    // The catalogue index of the selected event row ("i [n]  ..."), or nullopt when none is selected or it
    // names no entry of the catalogue in memory.
    std::optional<std::int32_t> SelectedEventIndex() const;
    void ClearInstances();
    void CompileMatcher();
    static std::string WhereFound(const settings::LocalDirectory& local);
    // Work of the window: which kind runs (for what a Cancel leaves), the hourglass while it runs, and the
    // scan options it runs with.
    enum class WorkKind { None, Count, Instances, Transcript, Export };
    void BeginWork(WorkKind kind);
    void EndWork();
    scan::ScanOptions WorkOptions(std::stop_token stop, WorkProgress& progress) const;
    BackgroundWork::ShowProgress ProgressOf(std::string fileName);
    void ShowFailure(std::string_view lead, const std::string& description);
    // Counts the chosen file afresh; once counted, the event `reselect` is chosen again when it was counted.
    void CountChosenFile(std::optional<std::int32_t> reselect);
    // Goes on without the library server: the catalogue stored by an earlier fetch, if there is one.
    void UseStoredCatalogue(const std::string& host, const std::string& where);
    // Whether an export may go to `path`; says why not.
    bool MayExportTo(const std::string& path);
    void ShowWriteFailure(const std::string& path, const text::Status& failure);
    void Show(const Notice& notice);

    // ---- the summary window ----
    // Chooses the event row of entry `index` once its file is counted.
    void ChooseCountedEvent(std::int32_t index);
    std::vector<std::string> listedFiles_;     // the names lstFiles shows, in its order
    std::optional<std::int32_t> pendingEvent_; // chosen when the count under way is done
    std::uint64_t fileClicks_ = 0;             // runs of lstFiles_Click and LstErrors_Click
    std::uint64_t eventClicks_ = 0;
    // ---- end of the summary window ----

    MainView& view_;
    std::string catalogueDirectory_;
    catalogue::PostFormLimits libraryLimits_;
    bool inFormLoad_ = false;                           // the source list's handler runs nested in Form_Load
    std::shared_ptr<const scan::EventMatcher> matcher_; // shared with a count under way
    // Shared with an export under way, which reads the lines while the list moves on.
    std::shared_ptr<scan::InstanceLines> instances_ = std::make_shared<scan::InstanceLines>();
    std::optional<std::int32_t> reselectEvent_; // the event a refresh chooses again once counted
    scan::ScanOptions scanOptions_;
    WorkKind workKind_ = WorkKind::None;
    std::unique_ptr<WaitCursor> workWait_;
    // Last: stopped and joined first when the form goes, while everything the work reports to is alive.
    BackgroundWork work_{view_};
};

} // namespace form

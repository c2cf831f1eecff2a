#include "form/frmMain.h"

#include "catalogue/Catalogue.h"
#include "catalogue/Strings.h"
#include "form/Export.h"
#include "form/SummaryWindow.h"
#include "form/Texts.h"
#include "scan/LogFiles.h"
#include "settings/Registry.h"
#include "shell/OpenDocument.h"
#include "text/Replace.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <exception>
#include <utility>

namespace form {

frmMain::frmMain(MainView& view, std::string catalogueDirectory)
    : view_(view), catalogueDirectory_(std::move(catalogueDirectory)) {
    // Work that could not even be carried out (memory ran out) ends the wait with the reason.
    work_.SetFailureHandler([this] {
        EndWork();
        view_.ShowStatus("");
        ShowFailure(kErrorExamining, text::Status::FromErrno(ENOMEM).description);
    });
}

frmMain::~frmMain() = default;

void frmMain::ShowRegistryProblems() {
    const std::vector<std::string> problems = settings::RegistryProblems();
    if (problems.empty())
        return;
    // One box for all problems; a very damaged file names its first problems only.
    constexpr std::size_t kShown = 10;
    std::string message(kRegistryProblemsLead);
    for (std::size_t i = 0; i < problems.size() && i < kShown; ++i)
        message += "\n" + problems[i];
    if (problems.size() > kShown)
        message += "\n(and " + std::to_string(problems.size() - kShown) + " more)";
    view_.Message(message, kAppTitle, Icon::Exclamation);
}

// ---- start-up ----

void frmMain::Form_Load() {
    IsLoading = true;
    DebugStatus = settings::ReadRegistryDword(settings::kLogAnalysisKey, settings::kDebugStatusValue);
    LoadLogSources();
    IsLoading = false;

    // Selecting SMTP runs the source list's handler, nested here: it fetches and stores the SMTP catalogue
    // and lists the SMTP debug log files. The catalogue is loaded below, once.
    inFormLoad_ = true;
    view_.SelectIndex(ListId::lstLogSource, kInitialSourceEntry);
    inFormLoad_ = false;

    view_.SetDirectoryCaption(settings::GetDebugLogDirectory(ActiveSource));
    LoadErrorStrings();
}

void frmMain::LoadLogSources() {
    view_.ClearList(ListId::lstLogSource);
    for (std::string_view code : kSourceCodes)
        view_.AppendItem(ListId::lstLogSource, code);
}

void frmMain::ClearControls() {
    ClearInstances();
    view_.SetText(TextId::txtErrorDescription, "");
    view_.SetText(TextId::txtTranscript, "");
    view_.ClearList(ListId::lstFiles);
    listedFiles_.clear();
    view_.ClearList(ListId::LstErrors);
    view_.SetDirectoryCaption(kUnspecified);
}

// ---- catalogue ----

void frmMain::lstLogSource_Click() {
    if (IsLoading)
        return;
    if (view_.SelectedIndex(ListId::lstLogSource) < 0)
        return;
    StopWork(); // a newer choice: the results of the work under way are never shown
    view_.ShowStatus("");
    WaitCursor wait(view_);
    try {
        ActiveSource = view_.SelectedItem(ListId::lstLogSource);
        const std::string host = settings::LibraryServerHost();
        const FetchResult fetched =
            FetchAndStore(host, ActiveSource, catalogueDirectory_, DebugStatus, libraryLimits_);
        // The status bar names the library server asked, whatever the fetch came to.
        const std::string server = std::string(kLibraryServer) + host + ": ";
        switch (fetched.kind) {
        case FetchResult::Kind::StoreFailed:
            wait.Restore();
            for (const Notice& notice : fetched.messages)
                Show(notice);
            view_.ShowStatus(server + "catalogue for " + ActiveSource + " not stored");
            return;
        case FetchResult::Kind::Stored: {
            // The catalogue just stored is the one the scans of this source must use; the results on show
            // refer to the catalogue it replaces. At start-up the load handler loads it itself.
            if (!inFormLoad_) {
                LoadErrorStrings();
                view_.ClearList(ListId::LstErrors);
                ClearInstances();
                view_.SetText(TextId::txtErrorDescription, "");
                view_.SetText(TextId::txtTranscript, "");
            }
            const text::Status listed = LoadLogFiles(ActiveSource);
            if (!listed) {
                wait.Restore();
                ShowFailure(kErrorExamining, listed.description);
                return;
            }
            view_.SetDirectoryCaption(settings::GetDebugLogDirectory(ActiveSource));
            const std::string where = WhereFound(settings::FindDebugLogDirectory(ActiveSource));
            view_.ShowStatus(server + "catalogue for " + ActiveSource + " stored" +
                             (where.empty() ? "" : ". " + where));
            break;
        }
        case FetchResult::Kind::NoCatalogue:
            for (const Notice& notice : fetched.messages)
                Show(notice);
            ClearControls();
            view_.SetDirectoryCaption(settings::GetDebugLogDirectory(ActiveSource));
            view_.ShowStatus(server + "no catalogue for " + ActiveSource);
            UseStoredCatalogue(host, WhereFound(settings::FindDebugLogDirectory(ActiveSource)));
            break;
        }
    } catch (const std::exception& failure) {
        wait.Restore();
        ShowFailure(kErrorExamining, failure.what());
    }
}

// The label keeps the settings' text; for a Windows path of a registry export, the status bar says where
// the copied logs were found on this machine, or why not.
std::string frmMain::WhereFound(const settings::LocalDirectory& local) {
    if (!local.windowsPath)
        return {};
    return local.found ? std::string(kDebugLogsFoundIn) + local.shown
                       : std::string(kDebugLogsNotFound) + local.problem;
}

// Working offline: with no catalogue from the library server (unreachable, a notice, an unusable reply), the
// catalogue an earlier fetch stored for the source still lets its logs be analysed, once the user has seen
// the library server's message. Without a stored catalogue the lists stay empty.
void frmMain::UseStoredCatalogue(const std::string& host, const std::string& where) {
    const std::optional<std::time_t> stored =
        text::ModifiedTime(catalogue::CatalogueFilePath(catalogueDirectory_, ActiveSource));
    if (!stored)
        return;
    // At start-up the load handler loads it itself, as it does a fetched one.
    if (!inFormLoad_)
        LoadErrorStrings();
    const text::Status listed = LoadLogFiles(ActiveSource);
    if (!listed) {
        ShowFailure(kErrorExamining, listed.description);
        return;
    }
    view_.ShowStatus(std::string(kUsingStoredCatalogue) + FormatLocalTime(*stored) + " (library server " +
                     host + ")" + (where.empty() ? "" : ". " + where));
}

void frmMain::LoadErrorStrings() {
    catalogue::Catalogue loaded;
    const catalogue::LoadOutcome outcome =
        catalogue::LoadCatalogueFile(catalogue::CatalogueFilePath(catalogueDirectory_, ActiveSource), loaded);
    if (outcome.kind == catalogue::LoadOutcome::Kind::NotOpened) {
        ErrorUpperBound = -1;
    } else {
        const std::size_t entries = std::min(
            {loaded.strings.size(), loaded.links.size(), loaded.descriptions.size(), std::size_t{INT32_MAX}});
        // A load that stored nothing leaves the arrays as they were; nothing reads past the bound.
        if (entries > 0) {
            loaded.strings.resize(entries);
            loaded.links.resize(entries);
            loaded.descriptions.resize(entries);
            ErrorStrings = std::move(loaded.strings);
            ErrorLinks = std::move(loaded.links);
            ErrorDescriptions = std::move(loaded.descriptions);
            ErrorCounts.assign(entries, 0);
        }
        ErrorUpperBound = static_cast<std::int32_t>(entries) - 1;
    }
    // The matcher is compiled once per catalogue, for every scan until the next load.
    CompileMatcher();

    if (outcome.kind == catalogue::LoadOutcome::Kind::ReadFailed)
        ShowFailure(kErrorReadingStrings, outcome.description);
}

void frmMain::CompileMatcher() {
    matcher_ = std::make_shared<const scan::EventMatcher>(
        std::vector<std::string>(ErrorStrings.begin(), ErrorStrings.begin() + std::ptrdiff_t(EntryCount())));
}

std::size_t frmMain::EntryCount() const {
    if (ErrorUpperBound < 0)
        return 0;
    return std::min({std::size_t(ErrorUpperBound) + 1, ErrorStrings.size(), ErrorLinks.size(),
                     ErrorDescriptions.size(), ErrorCounts.size()});
}

// ---- debug log files and the scan ----

text::Status frmMain::LoadLogFiles(const std::string& logSource) {
    view_.ClearList(ListId::lstFiles);
    std::vector<std::string> names;
    text::Status listed =
        scan::ListDebugLogFiles(settings::LocalDebugLogDirectory(logSource), logSource, names);
    for (const std::string& name : names)
        view_.AppendItem(ListId::lstFiles, name);
    listedFiles_ = std::move(names);
    return listed;
}

void frmMain::lstFiles_Click() {
    ++fileClicks_;
    if (view_.SelectedIndex(ListId::lstFiles) < 0)
        return;
    CountChosenFile(std::nullopt);
}

void frmMain::CountChosenFile(std::optional<std::int32_t> reselect) {
    StopWork();
    WaitCursor wait(view_);
    ClearInstances();
    view_.SetText(TextId::txtErrorDescription, "");
    view_.SetText(TextId::txtTranscript, "");
    // The list is emptied before the count, which may be delivered at once and choose an event again.
    ZeroErrorCount();
    ShowErrors();
    reselectEvent_ = reselect;
    GetErrorCount(ActiveSource, view_.SelectedItem(ListId::lstFiles));
}

void frmMain::ZeroErrorCount() {
    const std::size_t entries = EntryCount();
    for (std::size_t i = 0; i < entries; ++i)
        ErrorCounts[i] = 0;
}

void frmMain::GetErrorCount(const std::string& currentSource, const std::string& fileName) {
    ZeroErrorCount();
    if (!matcher_)
        CompileMatcher();
    const std::string path = DebugLogPath(currentSource, fileName);
    std::shared_ptr<const scan::EventMatcher> matcher = matcher_;
    BeginWork(WorkKind::Count);
    work_.Start<CountResult>(
        [this, path, matcher](std::stop_token stop, WorkProgress& progress) {
            return CountFile(path, *matcher, WorkOptions(std::move(stop), progress));
        },
        [this, fileName, path](CountResult& counted) {
            const double seconds = work_.Seconds();
            EndWork();
            const std::optional<std::int32_t> reselect = std::exchange(reselectEvent_, std::nullopt);
            if (!counted.status) {
                pendingEvent_.reset();
                view_.ShowStatus(std::string(kLogNotOpened) + path);
                ShowFailure(kUnableToOpenLog, counted.status.description);
                return;
            }
            const std::size_t entries = std::min(EntryCount(), counted.counts.size());
            std::copy_n(counted.counts.begin(), entries, ErrorCounts.begin());
            ShowErrors();
            const auto events = static_cast<std::size_t>(
                std::count_if(ErrorCounts.begin(), ErrorCounts.begin() + std::ptrdiff_t(entries),
                              [](std::int32_t n) { return n > 0; }));
            view_.ShowStatus(CountSummary(fileName, counted.bytes, counted.lines, events, seconds));
            // The summary window's double-click chooses its event; a refresh chooses the event again when
            // the file still holds it.
            if (const std::optional<std::int32_t> pending = std::exchange(pendingEvent_, std::nullopt)) {
                ChooseCountedEvent(*pending);
            } else if (reselect && IsEntry(*reselect) && ErrorCounts[std::size_t(*reselect)] > 0) {
                const auto row = std::count_if(ErrorCounts.begin(), ErrorCounts.begin() + *reselect,
                                               [](std::int32_t n) { return n > 0; });
                view_.SelectIndex(ListId::LstErrors, int(row));
                LstErrors_Click();
            }
        },
        ProgressOf(fileName));
}

scan::ScanOptions frmMain::WorkOptions(std::stop_token stop, WorkProgress& progress) const {
    scan::ScanOptions options = scanOptions_;
    options.stop = std::move(stop);
    options.progress = [&progress](std::uint64_t bytes) { progress.Add(bytes); };
    options.opened = [&progress](std::uint64_t size) { progress.SetTotal(size); };
    return options;
}

BackgroundWork::ShowProgress frmMain::ProgressOf(std::string fileName) {
    return [this, fileName = std::move(fileName)](std::uint64_t done, std::uint64_t total, double seconds) {
        done = std::min(done, total);
        view_.ShowWork(WorkText(fileName, done, total, seconds),
                       total == 0 ? 0.0 : double(done) / double(total));
    };
}

void frmMain::BeginWork(WorkKind kind) {
    workKind_ = kind;
    if (!workWait_)
        workWait_ = std::make_unique<WaitCursor>(view_);
}

void frmMain::EndWork() {
    workKind_ = WorkKind::None;
    workWait_.reset();
}

void frmMain::StopWork() {
    pendingEvent_.reset();
    work_.Stop();
    reselectEvent_.reset();
    EndWork();
}

void frmMain::CancelWork() {
    if (!work_.Busy())
        return;
    const WorkKind stopped = workKind_;
    StopWork();
    // What the stopped work would have filled stays empty.
    if (stopped == WorkKind::Count)
        ShowErrors();
    view_.ShowStatus(kCancelled);
}

// ---- events ----

void frmMain::ShowErrors() {
    view_.ClearList(ListId::LstErrors);
    const std::size_t entries = EntryCount();
    for (std::size_t i = 0; i < entries; ++i) {
        if (ErrorCounts[i] > 0)
            view_.AppendItem(ListId::LstErrors, EventRowText(i, ErrorCounts[i], ErrorStrings[i]));
    }
}

std::optional<std::int32_t> frmMain::SelectedEventIndex() const {
    const std::string row = view_.SelectedItem(ListId::LstErrors);
    if (row.empty())
        return std::nullopt;
    const std::int32_t index = catalogue::SplitFieldNumber(row, " ", 1);
    if (!IsEntry(index))
        return std::nullopt;
    return index;
}

void frmMain::LstErrors_Click() {
    ++eventClicks_;
    const std::optional<std::int32_t> index = SelectedEventIndex();
    if (!index)
        return;
    StopWork();
    WaitCursor wait(view_);
    view_.SetText(TextId::txtErrorDescription, ErrorDescriptions[std::size_t(*index)]);
    ShowErrorInstances(ActiveSource, view_.SelectedItem(ListId::lstFiles), *index);
}

void frmMain::CmdMore_Click() {
    // With no event chosen there is no link to open.
    const std::optional<std::int32_t> index = SelectedEventIndex();
    if (!index)
        return;
    const std::string& link = ErrorLinks[std::size_t(*index)];
    // The link comes from the library server: only web addresses are handed to the desktop, never a
    // program, a file or a script.
    if (!shell::IsWebAddress(link)) {
        view_.Message(std::string(kNotAWebAddress) + link, kErrorTitle, Icon::Exclamation);
        return;
    }
    OpenDocument(link);
}

void frmMain::ShowErrorInstances(const std::string& currentSource, const std::string& fileName,
                                 std::int32_t errorIndex) {
    ClearInstances();
    if (!IsEntry(errorIndex))
        return;
    // The lines are found in the background and handed over whole.
    struct Listed {
        text::Status status;
        std::shared_ptr<scan::InstanceLines> lines;
    };
    const std::string path = DebugLogPath(currentSource, fileName);
    const std::string searchString = ErrorStrings[std::size_t(errorIndex)];
    BeginWork(WorkKind::Instances);
    work_.Start<Listed>(
        [this, path, searchString](std::stop_token stop, WorkProgress& progress) {
            Listed listed{text::Status::Ok(), std::make_shared<scan::InstanceLines>()};
            listed.status =
                ListInstances(path, searchString, *listed.lines, WorkOptions(std::move(stop), progress));
            return listed;
        },
        [this, fileName, path](Listed& listed) {
            EndWork();
            instances_ = std::move(listed.lines);
            view_.InstancesChanged();
            if (!listed.status) {
                view_.ShowStatus(std::string(kLogNotOpened) + path);
                ShowFailure(kUnableToOpenLog, listed.status.description);
                return;
            }
            const std::size_t found = instances_->Size();
            view_.ShowStatus(fileName + ": " + FormatCount(found) +
                             (found == 1 ? " line holds the event" : " lines hold the event"));
        },
        ProgressOf(fileName));
}

void frmMain::ClearInstances() {
    // An export under way keeps the lines it reads; the list lets go of them.
    if (instances_.use_count() > 1)
        instances_ = std::make_shared<scan::InstanceLines>();
    else
        instances_->Clear();
    view_.InstancesChanged();
}

std::string frmMain::InstanceRow(std::size_t row, std::size_t maxBytes) const {
    return instances_->Line(row, maxBytes);
}

// ---- instances ----

void frmMain::lstinstances_Click() {
    const long long row = view_.SelectedInstance();
    if (row < 0 || std::size_t(row) >= instances_->Size())
        return;
    StopWork();
    const std::string item = InstanceRow(std::size_t(row), kInstanceItemBytes);
    view_.SetText(TextId::txtTranscript, "");
    const std::string fileName = view_.SelectedItem(ListId::lstFiles);
    const std::string activityDirectory = ActivityLogDirectory(ActiveSource);
    BeginWork(WorkKind::Transcript);
    work_.Start<transcript::TranscriptResult>(
        [this, item, fileName, activityDirectory](std::stop_token stop, WorkProgress& progress) {
            return TranscriptOf(item, fileName, activityDirectory, WorkOptions(std::move(stop), progress));
        },
        [this, item](transcript::TranscriptResult& found) {
            EndWork();
            view_.ShowStatus("");
            switch (found.kind) {
            case transcript::TranscriptResult::Kind::Shown:
                view_.SetText(TextId::txtTranscript, found.text);
                break;
            case transcript::TranscriptResult::Kind::NoActivityFile:
                view_.ShowInstanceWindow(kNoActivityFileCaption, item);
                break;
            case transcript::TranscriptResult::Kind::InvalidInstance:
                // A line without a readable time stamp has no transcript: the box stays empty.
                break;
            }
        });
}

void frmMain::lstinstances_DblClick() {
    const long long row = view_.SelectedInstance();
    if (row < 0 || std::size_t(row) >= instances_->Size())
        return;
    view_.ShowInstanceWindow(kErrorDescriptionCaption, InstanceRow(std::size_t(row), kInstanceItemBytes));
}

// ---- the layout ----

void frmMain::Form_Resize() {
    if (view_.IsMinimized())
        return;
    const Box outer = view_.OuterBox();
    ResizeControls controls{view_.PlaceOf(ControlId::LstErrors), view_.PlaceOf(ControlId::lstinstances),
                            view_.PlaceOf(ControlId::txtTranscript), view_.PlaceOf(ControlId::lstFiles),
                            view_.PlaceOf(ControlId::lblTranscript)};
    form::Form_Resize(outer.Width, outer.Height, controls, [this](float requested) {
        return view_.WholeItemsHeight(ControlId::lstinstances, requested);
    });
    // The file list shows whole items only too.
    controls.lstFiles.Height = view_.WholeItemsHeight(ControlId::lstFiles, controls.lstFiles.Height);
    view_.Place(ControlId::LstErrors, controls.LstErrors);
    view_.Place(ControlId::lstinstances, controls.lstinstances);
    view_.Place(ControlId::txtTranscript, controls.txtTranscript);
    view_.Place(ControlId::lstFiles, controls.lstFiles);
    view_.Place(ControlId::lblTranscript, controls.lblTranscript);
}

// ---- menus and the desktop ----

void frmMain::OpenDocument(const std::string& target) {
    const int answer = view_.ShellOpen(target);
    if (answer <= 32)
        view_.Message(shell::ShellErrorMessage(answer), kErrorTitle, Icon::Exclamation);
}

void frmMain::mnuExit_Click() {
    StopWork(); // the program ends at once; the work under way is stopped, not waited for
    view_.CloseWindow();
}

void frmMain::mnuOnline_Click() {
    OpenDocument("http://" + settings::LibraryServerHost() + std::string(kOnlineHelpPath));
}

void frmMain::mnuKB_Click() {
    OpenDocument("http://" + settings::LibraryServerHost() + std::string(kKnowledgeBasePath));
}

void frmMain::mnuAbout_Click() {
    view_.Message(std::string(kAppTitle) + "\n" + std::string(kVersionText), kAppTitle, Icon::Information);
}

void frmMain::mnuSummary_Click() {
    // The summary counts with the catalogue in memory now, by value: the main window may go on meanwhile.
    SummaryRequest request;
    request.source = ActiveSource;
    const std::size_t entries = EntryCount();
    request.searchStrings.assign(ErrorStrings.begin(), ErrorStrings.begin() + std::ptrdiff_t(entries));
    if (!matcher_)
        CompileMatcher();
    request.matcher = matcher_;
    request.options = scanOptions_;
    view_.ShowSummaryWindow(request);
}

void frmMain::ChooseFileAndEvent(const std::string& source, const std::string& fileName,
                                 std::int32_t entryIndex, const std::string& searchString) {
    if (source != ActiveSource) {
        view_.ShowStatus(std::string(kSummaryOtherSource) + source);
        return;
    }
    const auto file = std::find(listedFiles_.begin(), listedFiles_.end(), fileName);
    if (file == listedFiles_.end()) {
        view_.ShowStatus(std::string(kSummaryFileGone) + fileName);
        return;
    }
    if (!IsEntry(entryIndex) || ErrorStrings[std::size_t(entryIndex)] != searchString) {
        view_.ShowStatus(std::string(kSummaryEventGone) + std::to_string(entryIndex));
        return;
    }
    // Some toolkits report the program's selection as a click, others do not: the handler runs once.
    const int row = int(file - listedFiles_.begin());
    const std::uint64_t clicks = fileClicks_;
    view_.SelectIndex(ListId::lstFiles, row);
    if (fileClicks_ == clicks)
        lstFiles_Click();
    if (work_.Busy())
        pendingEvent_ = entryIndex; // chosen when the count is delivered
    else
        ChooseCountedEvent(entryIndex);
}

void frmMain::ChooseCountedEvent(std::int32_t index) {
    if (!IsEntry(index) || ErrorCounts[std::size_t(index)] <= 0) {
        view_.ShowStatus(std::string(kSummaryEventGone) + std::to_string(index));
        return;
    }
    // The event list shows the entries counted at least once, in catalogue order.
    const auto row =
        std::count_if(ErrorCounts.begin(), ErrorCounts.begin() + index, [](std::int32_t n) { return n > 0; });
    const std::uint64_t clicks = eventClicks_;
    view_.SelectIndex(ListId::LstErrors, int(row));
    if (eventClicks_ == clicks)
        LstErrors_Click();
}

// ---- exports, the clipboard and refresh ----

bool frmMain::MayExportTo(const std::string& path) {
    // An export goes to a new file renamed into place, which could never change a log's bytes; still, a log
    // or a log directory is no place for it, and a user who picked one picked the wrong file.
    if (!IsLogTarget(path))
        return true;
    view_.Message(std::string(kExportOverLog) + path, kErrorTitle, Icon::Exclamation);
    return false;
}

void frmMain::ShowWriteFailure(const std::string& path, const text::Status& failure) {
    view_.ShowStatus("");
    view_.Message(std::string(kUnableToWrite) + path + ": " + failure.description, kErrorTitle,
                  Icon::Critical);
}

void frmMain::mnuExportEvents_Click() {
    // The list as shown: nothing while the file is still being counted.
    const std::string fileName = view_.SelectedItem(ListId::lstFiles);
    const std::size_t entries = EntryCount();
    const auto counted = static_cast<std::size_t>(std::count_if(ErrorCounts.begin(),
                                                                ErrorCounts.begin() + std::ptrdiff_t(entries),
                                                                [](std::int32_t n) { return n > 0; }));
    if (fileName.empty() || counted == 0 || workKind_ == WorkKind::Count) {
        view_.Message(kNoEventsToExport, kAppTitle, Icon::Information);
        return;
    }
    const std::optional<std::string> path =
        view_.AskSavePath(kExportEventsTitle, EventsExportName(fileName), kCsvFiles, "csv");
    if (!path || !MayExportTo(*path))
        return;
    const auto first = [entries](const auto& all) {
        return std::vector(all.begin(), all.begin() + std::ptrdiff_t(entries));
    };
    WaitCursor wait(view_);
    const std::string csv =
        std::string(kUtf8ByteOrderMark) +
        EventsCsv(first(ErrorStrings), first(ErrorLinks), first(ErrorDescriptions), first(ErrorCounts));
    const text::Status written = text::ReplaceWhole(*path, csv);
    wait.Restore();
    if (!written) {
        ShowWriteFailure(*path, written);
        return;
    }
    view_.ShowStatus(std::string(kExported) + FormatCount(counted) +
                     (counted == 1 ? " event to " : " events to ") + *path);
}

void frmMain::mnuExportInstances_Click() {
    const std::optional<std::int32_t> index = SelectedEventIndex();
    const std::string fileName = view_.SelectedItem(ListId::lstFiles);
    if (!index || fileName.empty() || instances_->Size() == 0 || workKind_ == WorkKind::Instances) {
        view_.Message(kNoInstancesToExport, kAppTitle, Icon::Information);
        return;
    }
    const std::optional<std::string> path =
        view_.AskSavePath(kExportInstancesTitle, InstancesExportName(fileName, *index), kLogFiles, "log");
    if (!path || !MayExportTo(*path))
        return;
    // The lines are read back from the log piece by piece, so that neither a million lines nor one line of
    // 100 MB is ever held whole; each is written as the log holds it, ended with CR LF.
    const std::shared_ptr<const scan::InstanceLines> lines = instances_;
    const std::string& target = *path;
    BeginWork(WorkKind::Export);
    work_.Start<text::Status>(
        [lines, target](std::stop_token stop, WorkProgress& progress) {
            std::uint64_t total = 0;
            for (std::size_t i = 0; i < lines->Size(); ++i)
                total += lines->LineLength(i) + 2;
            progress.SetTotal(total);
            return text::ReplaceWhole(target, [&](const text::WriteSink& write) {
                constexpr std::size_t kPiece = std::size_t{1} << 20;
                std::string buffer;
                std::string piece;
                auto flush = [&] {
                    text::Status status = write(buffer);
                    progress.Add(buffer.size());
                    buffer.clear();
                    return status;
                };
                for (std::size_t i = 0; i < lines->Size(); ++i) {
                    const std::uint64_t length = lines->LineLength(i);
                    for (std::uint64_t from = 0; from < length;) {
                        if (stop.stop_requested())
                            return text::Status::Fail(std::string(kCancelled));
                        if (text::Status read = lines->ReadLine(i, piece, kPiece, from); !read)
                            return read;
                        if (piece.empty())
                            return text::Status::Fail(
                                "the log file is shorter than when its lines were listed");
                        from += piece.size();
                        buffer += piece;
                        if (buffer.size() >= kPiece)
                            if (text::Status written = flush(); !written)
                                return written;
                    }
                    buffer += "\r\n";
                    if (buffer.size() >= kPiece)
                        if (text::Status written = flush(); !written)
                            return written;
                }
                return flush();
            });
        },
        [this, target, count = lines->Size()](text::Status& written) {
            EndWork();
            if (!written) {
                ShowWriteFailure(target, written);
                return;
            }
            view_.ShowStatus(std::string(kExported) + FormatCount(count) +
                             (count == 1 ? " line to " : " lines to ") + target);
        },
        ProgressOf(std::string(kExporting) + " " + InstancesExportName(fileName, *index)));
}

void frmMain::CopyEventRow() {
    std::string row = view_.SelectedItem(ListId::LstErrors);
    // A search string that ends in a line break gives a row that does; the copy is the row's text alone.
    while (!row.empty() && (row.back() == '\r' || row.back() == '\n'))
        row.pop_back();
    if (!row.empty())
        view_.CopyToClipboard(row);
}

void frmMain::CopyInstanceRow() {
    const long long row = view_.SelectedInstance();
    if (row < 0 || std::size_t(row) >= instances_->Size())
        return;
    view_.CopyToClipboard(InstanceRow(std::size_t(row), kInstanceItemBytes));
}

// The source's files are listed again and the chosen file counted again from the disk; the catalogue in
// memory is kept (no fetch from the library server: choosing the source again does that).
void frmMain::mnuRefresh_Click() {
    if (ActiveSource.empty())
        return;
    StopWork();
    WaitCursor wait(view_);
    const std::string chosenFile = view_.SelectedItem(ListId::lstFiles);
    const std::optional<std::int32_t> chosenEvent = SelectedEventIndex();
    view_.ClearList(ListId::lstFiles);
    std::vector<std::string> names;
    const text::Status listed =
        scan::ListDebugLogFiles(settings::LocalDebugLogDirectory(ActiveSource), ActiveSource, names);
    int row = -1;
    for (std::size_t i = 0; i < names.size(); ++i) {
        view_.AppendItem(ListId::lstFiles, names[i]);
        if (!chosenFile.empty() && names[i] == chosenFile)
            row = int(i);
    }
    listedFiles_ = names;
    if (!listed) {
        wait.Restore();
        ShowFailure(kErrorExamining, listed.description);
    }
    if (row >= 0) {
        view_.SelectIndex(ListId::lstFiles, row);
        CountChosenFile(chosenEvent);
        return;
    }
    // The chosen file is gone (or none was chosen): nothing of it stays on show.
    ClearInstances();
    view_.SetText(TextId::txtErrorDescription, "");
    view_.SetText(TextId::txtTranscript, "");
    ZeroErrorCount();
    ShowErrors();
    view_.ShowStatus(chosenFile.empty() ? std::string() : chosenFile + std::string(kFileGone));
}

void frmMain::RunMenuCommand(MenuCommand command) {
    switch (command) {
    case MenuCommand::Exit:
        mnuExit_Click();
        break;
    case MenuCommand::OnlineHelp:
        mnuOnline_Click();
        break;
    case MenuCommand::KnowledgeBase:
        mnuKB_Click();
        break;
    case MenuCommand::About:
        mnuAbout_Click();
        break;
    case MenuCommand::Summary:
        mnuSummary_Click();
        break;
    case MenuCommand::ExportEvents:
        mnuExportEvents_Click();
        break;
    case MenuCommand::ExportInstances:
        mnuExportInstances_Click();
        break;
    case MenuCommand::Refresh:
        mnuRefresh_Click();
        break;
    case MenuCommand::None:
        break;
    }
}

void frmMain::ShowFailure(std::string_view lead, const std::string& description) {
    view_.Message(std::string(lead) + description, kErrorTitle, Icon::Critical);
}

void frmMain::Show(const Notice& notice) {
    view_.Message(notice.text, notice.title, notice.icon);
}

} // namespace form

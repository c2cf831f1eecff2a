#include "app/frmMain.h"

#include "app/AppIcon.h"
#include "app/CompactStyle.h"
#include "app/InstanceListModel.h"
#include "app/Layout.h"
#include "app/ListClickRelay.h"
#include "app/ListRows.h"
#include "app/Prompt.h"
#include "app/WindowStyle.h"
#include "app/frmErrorDescription.h"

#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "catalogue/Strings.h"
#include "scan/LogFiles.h"
#include "scan/Matcher.h"
#include "scan/Scan.h"
#include "settings/Registry.h"
#include "shell/OpenDocument.h"
#include "text/Ansi.h"
#include "transcript/Transcript.h"

#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <algorithm>
#include <exception>

using windowstyle::kAppTitle;
using windowstyle::PixelsToTwips;
using windowstyle::TwipsRect;
using windowstyle::TwipsToPixels;

namespace {

// Client area at design time, in twips.
constexpr int kClientWidth = 12975;
constexpr int kClientHeight = 7230;

constexpr int kSmtpEntry = 1;
const QString kLibraryTitle = QStringLiteral("Library Not Currently Available");
const QString kErrorTitle = QStringLiteral("Error");

QString FromAnsi(std::string_view ansi) {
    return QString::fromStdU16String(text::DecodeAnsi(ansi));
}

std::string ToAnsi(const QString& shown) {
    return text::EncodeAnsi(shown.toStdU16String());
}

// Text for a multi-line box: CR LF and a lone CR break the line there.
QString ForTextBox(std::string_view ansi) {
    QString shown = FromAnsi(ansi);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(u'\r', u'\n');
    return shown;
}

// List items keep their bytes as read beside the text shown, so that a name goes back to the file system
// exactly as it came.
constexpr int kAnsiRole = Qt::UserRole;

void AppendItem(QListWidget& list, const std::string& ansi) {
    auto* item = new QListWidgetItem(FromAnsi(ansi));
    item->setData(kAnsiRole, QByteArray(ansi.data(), static_cast<qsizetype>(ansi.size())));
    list.addItem(item);
}

std::string SelectedItem(const QListWidget& list) {
    const QList<QListWidgetItem*> selected = list.selectedItems();
    if (selected.isEmpty())
        return {};
    const QByteArray bytes = selected.front()->data(kAnsiRole).toByteArray();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

int SelectedRow(const QListView& list) {
    const QModelIndexList selected = list.selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.front().row();
}

layout::ControlBox BoxOf(const QWidget& control) {
    const QRect r = control.geometry();
    return {float(PixelsToTwips(r.x())), float(PixelsToTwips(r.y())), float(PixelsToTwips(r.width())),
            float(PixelsToTwips(r.height()))};
}

void PlaceAt(QWidget& control, const layout::ControlBox& box) {
    control.setGeometry(TwipsRect(box.Left, box.Top, box.Width, box.Height));
}

template <typename Control> Control* Make(QWidget* parent, const char* name, QRect place) {
    auto* control = new Control(parent);
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(place);
    return control;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption, QRect place, bool bold) {
    auto* label = Make<QLabel>(parent, name, place);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setText(caption);
    if (bold)
        label->setFont(windowstyle::DialogBoldFont());
    return label;
}

void MakeList(QAbstractItemView& list) {
    list.setSelectionMode(QAbstractItemView::SingleSelection);
    list.setEditTriggers(QAbstractItemView::NoEditTriggers);
    list.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list.setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

} // namespace

const std::vector<std::string>& frmMain::SourceCodes() {
    static const std::vector<std::string> codes{"HTTPMAIL", "SMTP", "LS", "MTA", "POP", "POPC", "SF"};
    return codes;
}

frmMain::frmMain(Prompt& prompt, std::string catalogueDirectory, QWidget* parent)
    : QMainWindow(parent), prompt_(prompt), catalogueDirectory_(std::move(catalogueDirectory)) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(kAppTitle);
    setWindowIcon(AppIcon());
    setFont(windowstyle::DialogFont());
    CreateMenus();
    CreateControls();
    SetTabOrder();
    ConnectHandlers();
    resize(TwipsToPixels(kClientWidth), TwipsToPixels(kClientHeight) + menuBar()->sizeHint().height());
    CentreOnScreen();
    lstFiles->setFocus();
}

frmMain::~frmMain() = default;

void frmMain::CreateMenus() {
    mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuExit = mnuFile->addAction(QStringLiteral("E&xit"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));

    mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuOnline = mnuHelp->addAction(QStringLiteral("&Online Help..."));
    mnuOnline->setObjectName(QStringLiteral("mnuOnline"));
    mnuKB = mnuHelp->addAction(QStringLiteral("Online &Knowledge Base..."));
    mnuKB->setObjectName(QStringLiteral("mnuKB"));
    mnublank1 = mnuHelp->addSeparator();
    mnublank1->setObjectName(QStringLiteral("mnublank1"));
    mnuAbout = mnuHelp->addAction(QStringLiteral("&About.."));
    mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
}

void frmMain::CreateControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);

    lstLogSource = Make<QComboBox>(client, "lstLogSource", TwipsRect(1200, 90, 1050, 315));
    lstLogSource->setEditable(false);
    lstLogSource->setInsertPolicy(QComboBox::NoInsert);
    auto* compact = new CompactStyle;
    compact->setParent(client);
    lstLogSource->setStyle(compact);

    CmdMore = Make<QPushButton>(client, "CmdMore", TwipsRect(11295, 3315, 1605, 390));
    CmdMore->setText(QStringLiteral("&More Information.."));
    CmdMore->setAutoDefault(false);

    txtTranscript = Make<QPlainTextEdit>(client, "txtTranscript", TwipsRect(2415, 5370, 10500, 1740));
    txtTranscript->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtTranscript->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtTranscript->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtTranscript->setTabChangesFocus(true);
    windowstyle::MakeReadOnlyBox(*txtTranscript);
    windowstyle::UseTooltipColours(*txtTranscript);

    lstinstances = Make<QListView>(client, "lstinstances", TwipsRect(2430, 3825, 10485, 1230));
    instances_ = new InstanceListModel(lstinstances);
    lstinstances->setModel(instances_);
    lstinstances->setStyle(compact);
    lstinstances->setUniformItemSizes(true);
    lstinstances->setLayoutMode(QListView::SinglePass);
    MakeList(*lstinstances);
    instanceRows_ = new ListRowDelegate(lstinstances);

    txtErrorDescription =
        Make<QPlainTextEdit>(client, "txtErrorDescription", TwipsRect(2490, 2355, 10410, 915));
    txtErrorDescription->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    txtErrorDescription->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    txtErrorDescription->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtErrorDescription->setTabChangesFocus(true);
    windowstyle::MakeReadOnlyBox(*txtErrorDescription);
    windowstyle::UseTooltipColours(*txtErrorDescription);

    LstErrors = Make<QListWidget>(client, "LstErrors", TwipsRect(2460, 765, 10395, 1230));
    LstErrors->setStyle(compact);
    MakeList(*LstErrors);
    LstErrors->setSortingEnabled(false);
    auto* errorRows = new ListRowDelegate(LstErrors);

    lstFiles = Make<QListWidget>(client, "lstFiles", TwipsRect(105, 765, 2160, 6300));
    lstFiles->setStyle(compact);
    MakeList(*lstFiles);
    lstFiles->setSortingEnabled(false);
    fileRows_ = new ListRowDelegate(lstFiles);

    // Lists show whole rows only.
    for (auto [list, rows] : {std::pair<QAbstractItemView*, ListRowDelegate*>{lstinstances, instanceRows_},
                              {LstErrors, errorRows},
                              {lstFiles, fileRows_}}) {
        QRect place = list->geometry();
        place.setHeight(WholeRowsHeight(*list, rows->RowHeight(), place.height()));
        list->setGeometry(place);
    }

    Label6 = MakeLabel(client, "Label6", QStringLiteral("Log Source:"), TwipsRect(150, 150, 1170, 255), true);
    lblLogFileRootDirectory =
        MakeLabel(client, "lblLogFileRootDirectory", QStringLiteral("Value Log File Root Directory"),
                  TwipsRect(4080, 165, 8160, 255), false);
    Label9 =
        MakeLabel(client, "Label9", QStringLiteral("Debug Log Path:"), TwipsRect(2460, 165, 1575, 255), true);
    lblTranscript =
        MakeLabel(client, "lblTranscript",
                  QStringLiteral(
                      "Transcript: (This is the portion of the SMTP Activity Log that references the event)"),
                  TwipsRect(2400, 5115, 9255, 195), false);
    Label4 =
        MakeLabel(client, "Label4",
                  QStringLiteral("Instance: (click on the actual message to view the message transcript)"),
                  TwipsRect(2445, 3585, 6765, 195), false);
    Label3 = MakeLabel(client, "Label3", QStringLiteral("Log Files:"), TwipsRect(120, 540, 1395, 195), false);
    Label2 = MakeLabel(client, "Label2",
                       QStringLiteral("Significant Event Instances: (Please click on the Event to see an "
                                      "explanation of its meaning)"),
                       TwipsRect(2445, 555, 7860, 195), false);
    Label1 =
        MakeLabel(client, "Label1", QStringLiteral("Explanation:"), TwipsRect(2460, 2115, 9585, 195), false);

    // Labels lie beneath the lists and boxes where they meet (the transcript label moves with the instance
    // list as the window's height changes).
    for (QWidget* control : std::initializer_list<QWidget*>{Label1, Label2, Label3, Label4, lblTranscript,
                                                            Label9, lblLogFileRootDirectory, Label6})
        control->lower();
}

void frmMain::SetTabOrder() {
    // Labels take no focus; the controls follow their tab index.
    setTabOrder(lstFiles, LstErrors);
    setTabOrder(LstErrors, txtErrorDescription);
    setTabOrder(txtErrorDescription, lstinstances);
    setTabOrder(lstinstances, txtTranscript);
    setTabOrder(txtTranscript, CmdMore);
    setTabOrder(CmdMore, lstLogSource);
}

void frmMain::ConnectHandlers() {
    // The source list reports every change of its selected entry, the program's own included.
    connect(lstLogSource, &QComboBox::currentIndexChanged, this, &frmMain::lstLogSource_Click);

    auto* files = new ListClickRelay(lstFiles);
    connect(files, &ListClickRelay::Click, this, &frmMain::lstFiles_Click);
    auto* events = new ListClickRelay(LstErrors);
    connect(events, &ListClickRelay::Click, this, &frmMain::LstErrors_Click);
    auto* lines = new ListClickRelay(lstinstances);
    connect(lines, &ListClickRelay::Click, this, &frmMain::lstinstances_Click);
    connect(lines, &ListClickRelay::DblClick, this, &frmMain::lstinstances_DblClick);

    connect(CmdMore, &QPushButton::clicked, this, &frmMain::CmdMore_Click);
    connect(mnuExit, &QAction::triggered, this, &frmMain::mnuExit_Click);
    connect(mnuOnline, &QAction::triggered, this, &frmMain::mnuOnline_Click);
    connect(mnuKB, &QAction::triggered, this, &frmMain::mnuKB_Click);
    connect(mnuAbout, &QAction::triggered, this, &frmMain::mnuAbout_Click);
}

void frmMain::CentreOnScreen() {
    const QScreen* screen = this->screen();
    if (screen == nullptr)
        return;
    // move() places the outer frame; before the window is first shown the frame is not known yet, and the
    // window is centred again once it is.
    move(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, frameGeometry().size(),
                             screen->availableGeometry())
             .topLeft());
}

void frmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!centred_) {
        centred_ = true;
        CentreOnScreen();
    }
}

void frmMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void frmMain::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    // The window manager's frame becomes known only once the window is on screen; it is part of the outer
    // size the layout follows.
    Form_Resize();
}

void frmMain::Form_Resize() {
    if (isMinimized())
        return;
    const QRect outer = frameGeometry();
    layout::ResizeControls controls{BoxOf(*LstErrors), BoxOf(*lstinstances), BoxOf(*txtTranscript),
                                    BoxOf(*lstFiles), BoxOf(*lblTranscript)};
    const int instanceRow = instanceRows_->RowHeight();
    layout::Form_Resize(float(PixelsToTwips(outer.width())), float(PixelsToTwips(outer.height())), controls,
                        [&](float requested) {
                            return float(PixelsToTwips(
                                WholeRowsHeight(*lstinstances, instanceRow, TwipsToPixels(requested))));
                        });
    controls.lstFiles.Height = float(PixelsToTwips(
        WholeRowsHeight(*lstFiles, fileRows_->RowHeight(), TwipsToPixels(controls.lstFiles.Height))));
    PlaceAt(*LstErrors, controls.LstErrors);
    PlaceAt(*lstinstances, controls.lstinstances);
    PlaceAt(*txtTranscript, controls.txtTranscript);
    PlaceAt(*lstFiles, controls.lstFiles);
    PlaceAt(*lblTranscript, controls.lblTranscript);
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
    lstLogSource->setCurrentIndex(kSmtpEntry);
    inFormLoad_ = false;

    lblLogFileRootDirectory->setText(FromAnsi(settings::GetDebugLogDirectory(ActiveSource)));
    LoadErrorStrings();
}

void frmMain::LoadLogSources() {
    lstLogSource->clear();
    for (const std::string& code : SourceCodes())
        lstLogSource->addItem(FromAnsi(code));
    // The combo box selects its first entry by itself; the list starts with nothing selected.
    lstLogSource->setCurrentIndex(-1);
}

void frmMain::ClearControls() {
    instances_->Clear();
    txtErrorDescription->clear();
    txtTranscript->clear();
    lstFiles->clear();
    LstErrors->clear();
    lblLogFileRootDirectory->setText(QStringLiteral("(Unspecified)"));
}

// ---- catalogue ----

void frmMain::lstLogSource_Click() {
    if (IsLoading)
        return;
    if (lstLogSource->currentIndex() < 0)
        return;
    WaitCursor wait(prompt_);
    try {
        ActiveSource = ToAnsi(lstLogSource->currentText());
        const catalogue::FetchOutcome fetched = catalogue::FetchCatalogue(
            settings::LibraryServerHost(), ActiveSource, catalogueDirectory_, libraryLimits_);
        switch (fetched.kind) {
        case catalogue::ReplyKind::Catalogue: {
            if (!fetched.stored) {
                wait.Restore();
                ShowFailure(QStringLiteral("Error in examining logs: "), fetched.stored.description);
                return;
            }
            // The catalogue just stored is the one the scans of this source must use; the results on show
            // refer to the catalogue it replaces. At start-up the load handler loads it itself.
            if (!inFormLoad_) {
                LoadErrorStrings();
                LstErrors->clear();
                instances_->Clear();
                txtErrorDescription->clear();
                txtTranscript->clear();
            }
            const text::Status listed = LoadLogFiles(ActiveSource);
            if (!listed) {
                wait.Restore();
                ShowFailure(QStringLiteral("Error in examining logs: "), listed.description);
                return;
            }
            lblLogFileRootDirectory->setText(FromAnsi(settings::GetDebugLogDirectory(ActiveSource)));
            break;
        }
        case catalogue::ReplyKind::Notice:
            prompt_.Message(FromAnsi(catalogue::NoticeText(fetched.reply)), kLibraryTitle,
                            Prompt::Icon::Information);
            ClearControls();
            lblLogFileRootDirectory->setText(FromAnsi(settings::GetDebugLogDirectory(ActiveSource)));
            break;
        case catalogue::ReplyKind::NoCatalogue:
            prompt_.Message(FromAnsi(catalogue::NoCatalogueMessage(ActiveSource)), kLibraryTitle,
                            Prompt::Icon::Information);
            if (DebugStatus == 1)
                prompt_.Message(QStringLiteral("Server Returned: ") + FromAnsi(fetched.reply), kAppTitle,
                                Prompt::Icon::None);
            ClearControls();
            lblLogFileRootDirectory->setText(FromAnsi(settings::GetDebugLogDirectory(ActiveSource)));
            break;
        }
    } catch (const std::exception& failure) {
        wait.Restore();
        ShowFailure(QStringLiteral("Error in examining logs: "), failure.what());
    }
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
    matcher_ = std::make_unique<scan::EventMatcher>(
        std::vector<std::string>(ErrorStrings.begin(), ErrorStrings.begin() + std::ptrdiff_t(EntryCount())));

    if (outcome.kind == catalogue::LoadOutcome::Kind::ReadFailed)
        ShowFailure(QStringLiteral("Error in reading the error strings: "), outcome.description);
}

std::size_t frmMain::EntryCount() const {
    if (ErrorUpperBound < 0)
        return 0;
    return std::min({std::size_t(ErrorUpperBound) + 1, ErrorStrings.size(), ErrorLinks.size(),
                     ErrorDescriptions.size(), ErrorCounts.size()});
}

// ---- debug log files and the scan ----

text::Status frmMain::LoadLogFiles(const std::string& logSource) {
    lstFiles->clear();
    std::vector<std::string> names;
    text::Status listed =
        scan::ListDebugLogFiles(settings::LocalDebugLogDirectory(logSource), logSource, names);
    for (const std::string& name : names)
        AppendItem(*lstFiles, name);
    return listed;
}

void frmMain::lstFiles_Click() {
    if (lstFiles->selectedItems().isEmpty())
        return;
    WaitCursor wait(prompt_);
    instances_->Clear();
    txtErrorDescription->clear();
    txtTranscript->clear();
    GetErrorCount(ActiveSource, SelectedFileName());
    ShowErrors();
}

void frmMain::ZeroErrorCount() {
    const std::size_t entries = EntryCount();
    for (std::size_t i = 0; i < entries; ++i)
        ErrorCounts[i] = 0;
}

void frmMain::GetErrorCount(const std::string& currentSource, const std::string& fileName) {
    ZeroErrorCount();
    if (!matcher_)
        matcher_ = std::make_unique<scan::EventMatcher>(std::vector<std::string>(
            ErrorStrings.begin(), ErrorStrings.begin() + std::ptrdiff_t(EntryCount())));
    const std::string path = text::JoinPath(settings::LocalDebugLogDirectory(currentSource), fileName);
    std::vector<std::int32_t> counts;
    const text::Status scanned = scan::CountEvents(path, *matcher_, counts);
    if (!scanned) {
        ShowFailure(QStringLiteral("Unable to open log file. "), scanned.description);
        return;
    }
    const std::size_t entries = std::min(EntryCount(), counts.size());
    std::copy_n(counts.begin(), entries, ErrorCounts.begin());
}

std::string frmMain::SelectedFileName() const {
    return SelectedItem(*lstFiles);
}

// ---- events ----

void frmMain::ShowErrors() {
    LstErrors->clear();
    const std::size_t entries = EntryCount();
    for (std::size_t i = 0; i < entries; ++i) {
        if (ErrorCounts[i] > 0)
            AppendItem(*LstErrors,
                       std::to_string(i) + " [" + std::to_string(ErrorCounts[i]) + "]  " + ErrorStrings[i]);
    }
}

std::optional<std::int32_t> frmMain::SelectedEventIndex() const {
    const std::string row = SelectedItem(*LstErrors);
    if (row.empty())
        return std::nullopt;
    const std::int32_t index = catalogue::SplitFieldNumber(row, " ", 1);
    if (!IsEntry(index))
        return std::nullopt;
    return index;
}

void frmMain::LstErrors_Click() {
    const std::optional<std::int32_t> index = SelectedEventIndex();
    if (!index)
        return;
    WaitCursor wait(prompt_);
    txtErrorDescription->setPlainText(ForTextBox(ErrorDescriptions[std::size_t(*index)]));
    ShowErrorInstances(ActiveSource, SelectedFileName(), *index);
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
        prompt_.Message(QStringLiteral("This link is not a web address and was not opened: ") +
                            FromAnsi(link),
                        kErrorTitle, Prompt::Icon::Exclamation);
        return;
    }
    OpenDocument(link);
}

void frmMain::ShowErrorInstances(const std::string& currentSource, const std::string& fileName,
                                 std::int32_t errorIndex) {
    if (!IsEntry(errorIndex)) {
        instances_->Clear();
        return;
    }
    const std::string path = text::JoinPath(settings::LocalDebugLogDirectory(currentSource), fileName);
    const text::Status listed = instances_->Build(path, ErrorStrings[std::size_t(errorIndex)]);
    if (!listed)
        ShowFailure(QStringLiteral("Unable to open log file. "), listed.description);
}

// ---- instances ----

void frmMain::lstinstances_Click() {
    const int row = SelectedRow(*lstinstances);
    if (row < 0)
        return;
    const std::string item = instances_->Item(row);
    txtTranscript->clear();
    WaitCursor wait(prompt_);
    const transcript::TranscriptResult found = transcript::LookupTranscript(
        item, SelectedFileName(), settings::LocalActivityLogDirectory(ActiveSource));
    switch (found.kind) {
    case transcript::TranscriptResult::Kind::Shown:
        txtTranscript->setPlainText(ForTextBox(found.text));
        break;
    case transcript::TranscriptResult::Kind::NoActivityFile:
        wait.Restore();
        ShowInstanceWindow(QStringLiteral("No Activity File Found"), item);
        break;
    case transcript::TranscriptResult::Kind::InvalidInstance:
        // A line without a readable time stamp has no transcript: the box stays empty.
        break;
    }
}

void frmMain::lstinstances_DblClick() {
    const int row = SelectedRow(*lstinstances);
    if (row < 0)
        return;
    ShowInstanceWindow(std::nullopt, instances_->Item(row));
}

void frmMain::ShowInstanceWindow(const std::optional<QString>& caption, const std::string& item) {
    if (!errorDescription_)
        errorDescription_ = std::make_unique<frmErrorDescription>(this);
    if (caption)
        errorDescription_->setWindowTitle(*caption);
    errorDescription_->txtError->setPlainText(FromAnsi(item));
    prompt_.ShowModal(*errorDescription_);
    // Closing the window discards it; the next use creates it afresh in its design state.
    errorDescription_.reset();
}

// ---- menus and the desktop ----

void frmMain::OpenDocument(const std::string& target) {
    if (const std::optional<std::string> refusal = shell::OpenDocument(target))
        prompt_.Message(FromAnsi(*refusal), kErrorTitle, Prompt::Icon::Exclamation);
}

void frmMain::mnuExit_Click() {
    close();
}

void frmMain::mnuOnline_Click() {
    OpenDocument("http://" + settings::LibraryServerHost() + "/Tools/Analysis/help.asp");
}

void frmMain::mnuKB_Click() {
    OpenDocument("http://" + settings::LibraryServerHost() + "/kb");
}

void frmMain::mnuAbout_Click() {
    prompt_.Message(kAppTitle + QStringLiteral("\nVersion 1.2"), kAppTitle, Prompt::Icon::Information);
}

void frmMain::ShowFailure(const QString& lead, const std::string& description) {
    prompt_.Message(lead + FromAnsi(description), kErrorTitle, Prompt::Icon::Critical);
}

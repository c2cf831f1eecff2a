#include "app/frmMain.h"

#include "app/AppIcon.h"
#include "app/CompactStyle.h"
#include "app/InstanceListModel.h"
#include "app/ListClickRelay.h"
#include "app/ListRows.h"
#include "app/Prompt.h"
#include "app/WindowStyle.h"
#include "app/frmErrorDescription.h"
#include "app/frmSummary.h"

#include "form/Design.h"
#include "form/Texts.h"
#include "shell/OpenDocument.h"
#include "text/Ansi.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>

#include <QKeySequence>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStyle>
#include <algorithm>

using form::ControlId;
using form::ControlKind;
using windowstyle::FromAnsi;
using windowstyle::PixelsToTwips;
using windowstyle::TwipsRect;
using windowstyle::TwipsToPixels;

namespace {

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

std::string ItemBytes(const QListWidgetItem& item) {
    const QByteArray bytes = item.data(kAnsiRole).toByteArray();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QRect PlaceInPixels(const form::Box& box) {
    return TwipsRect(box.Left, box.Top, box.Width, box.Height);
}

void MakeList(QAbstractItemView& list) {
    list.setSelectionMode(QAbstractItemView::SingleSelection);
    list.setEditTriggers(QAbstractItemView::NoEditTriggers);
    list.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list.setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

} // namespace

frmMain::frmMain(Prompt& prompt, std::string catalogueDirectory, QWidget* parent)
    : QMainWindow(parent), prompt_(prompt), form_(*this, std::move(catalogueDirectory)) {
    const form::WindowDesign& design = form::MainWindow();
    setObjectName(FromAnsi(design.name));
    setWindowTitle(FromAnsi(design.caption));
    setWindowIcon(AppIcon());
    setFont(windowstyle::DialogFont());
    CreateMenus();
    CreateControls();
    CreateStatusBar();
    SetTabOrder();
    ConnectHandlers();
    // The status bar adds to the design's height; the controls keep their places above it.
    resize(TwipsToPixels(design.clientWidth), TwipsToPixels(design.clientHeight) +
                                                  menuBar()->sizeHint().height() +
                                                  statusBar()->sizeHint().height());
    CentreOnScreen();
    lstFiles->setFocus();
}

frmMain::~frmMain() {
    // The work under way is stopped while everything it reports to is still there.
    form_.StopWork();
    // The summary window refers to the form: it goes first.
    delete summary_;
    summary_ = nullptr;
}

void frmMain::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("statusBar"));
    bar->setSizeGripEnabled(true);
    statusText = new QLabel(bar);
    statusText->setObjectName(QStringLiteral("statusText"));
    statusText->setTextFormat(Qt::PlainText);
    statusProgress = new QProgressBar(bar);
    statusProgress->setObjectName(QStringLiteral("statusProgress"));
    statusProgress->setRange(0, 1000);
    statusProgress->setTextVisible(false);
    statusProgress->setMaximumWidth(TwipsToPixels(2400));
    statusCancel = new QPushButton(FromAnsi(form::kCancelButtonCaption), bar);
    statusCancel->setObjectName(QStringLiteral("statusCancel"));
    statusCancel->setAutoDefault(false);
    statusCancel->setFocusPolicy(Qt::NoFocus);
    bar->addWidget(statusText, 1);
    bar->addPermanentWidget(statusProgress);
    bar->addPermanentWidget(statusCancel);
    statusProgress->hide();
    statusCancel->hide();
}

void frmMain::CreateMenus() {
    for (const form::MenuDesign& menuDesign : form::Menus()) {
        QMenu* menu = menuBar()->addMenu(FromAnsi(menuDesign.caption));
        menu->setObjectName(FromAnsi(menuDesign.name));
        for (const form::MenuItemDesign& item : menuDesign.items) {
            QAction* action =
                item.separator() ? menu->addSeparator() : menu->addAction(FromAnsi(item.caption));
            action->setObjectName(FromAnsi(item.name));
            if (!item.shortcut.empty()) {
                action->setShortcut(QKeySequence(FromAnsi(item.shortcut)));
                action->setShortcutContext(Qt::WindowShortcut);
            }
            if (item.command != form::MenuCommand::None) {
                const form::MenuCommand command = item.command;
                connect(action, &QAction::triggered, this,
                        [this, command] { form_.RunMenuCommand(command); });
            }
        }
    }
    mnuFile = menuBar()->findChild<QMenu*>(QStringLiteral("mnuFile"));
    mnuHelp = menuBar()->findChild<QMenu*>(QStringLiteral("mnuHelp"));
    mnuExit = mnuFile->findChild<QAction*>(QStringLiteral("mnuExit"));
    mnuOnline = mnuHelp->findChild<QAction*>(QStringLiteral("mnuOnline"));
    mnuKB = mnuHelp->findChild<QAction*>(QStringLiteral("mnuKB"));
    mnublank1 = mnuHelp->findChild<QAction*>(QStringLiteral("mnublank1"));
    mnuAbout = mnuHelp->findChild<QAction*>(QStringLiteral("mnuAbout"));
}

void frmMain::CreateControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);
    auto* compact = new CompactStyle;
    compact->setParent(client);

    for (const form::ControlDesign& design : form::Controls()) {
        QWidget* control = nullptr;
        switch (design.kind) {
        case ControlKind::DropDownList: {
            auto* list = new QComboBox(client);
            list->setEditable(false);
            list->setInsertPolicy(QComboBox::NoInsert);
            list->setStyle(compact);
            control = list;
            break;
        }
        case ControlKind::CommandButton: {
            auto* button = new QPushButton(FromAnsi(design.caption), client);
            button->setAutoDefault(false);
            control = button;
            break;
        }
        case ControlKind::TextBox: {
            auto* box = new QPlainTextEdit(client);
            box->setLineWrapMode(design.horizontalScroll ? QPlainTextEdit::NoWrap
                                                         : QPlainTextEdit::WidgetWidth);
            box->setHorizontalScrollBarPolicy(design.horizontalScroll ? Qt::ScrollBarAlwaysOn
                                                                      : Qt::ScrollBarAlwaysOff);
            box->setVerticalScrollBarPolicy(design.verticalScroll ? Qt::ScrollBarAlwaysOn
                                                                  : Qt::ScrollBarAlwaysOff);
            box->setTabChangesFocus(true);
            windowstyle::MakeReadOnlyBox(*box);
            windowstyle::UseTooltipColours(*box);
            control = box;
            break;
        }
        case ControlKind::ListBox: {
            QAbstractItemView* list = nullptr;
            if (design.id == ControlId::lstinstances) {
                // The instance list is a view over the form's rows, read from the file on demand.
                auto* rows = new QListView(client);
                instances_ = new InstanceListModel(form_, rows);
                rows->setModel(instances_);
                rows->setUniformItemSizes(true);
                rows->setLayoutMode(QListView::SinglePass);
                list = rows;
            } else {
                auto* items = new QListWidget(client);
                items->setSortingEnabled(false);
                list = items;
            }
            list->setStyle(compact);
            MakeList(*list);
            auto* rows = new ListRowDelegate(list);
            if (design.id == ControlId::lstinstances)
                instanceRows_ = rows;
            if (design.id == ControlId::lstFiles)
                fileRows_ = rows;
            control = list;
            break;
        }
        case ControlKind::Label: {
            auto* label = new QLabel(client);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setText(FromAnsi(design.caption));
            control = label;
            break;
        }
        }
        control->setObjectName(FromAnsi(design.name));
        if (design.bold)
            control->setFont(windowstyle::DialogBoldFont());
        QRect place = PlaceInPixels(design.place);
        // Lists show whole rows only.
        if (auto* list = qobject_cast<QAbstractItemView*>(control)) {
            const auto* rows = static_cast<const ListRowDelegate*>(list->itemDelegate());
            place.setHeight(WholeRowsHeight(*list, rows->RowHeight(), place.height()));
        }
        control->setGeometry(place);
        controls_[static_cast<std::size_t>(design.id)] = control;
    }

    lstLogSource = static_cast<QComboBox*>(ControlOf(ControlId::lstLogSource));
    CmdMore = static_cast<QPushButton*>(ControlOf(ControlId::CmdMore));
    txtTranscript = static_cast<QPlainTextEdit*>(ControlOf(ControlId::txtTranscript));
    lstinstances = static_cast<QListView*>(ControlOf(ControlId::lstinstances));
    txtErrorDescription = static_cast<QPlainTextEdit*>(ControlOf(ControlId::txtErrorDescription));
    LstErrors = static_cast<QListWidget*>(ControlOf(ControlId::LstErrors));
    lstFiles = static_cast<QListWidget*>(ControlOf(ControlId::lstFiles));
    Label6 = static_cast<QLabel*>(ControlOf(ControlId::Label6));
    lblLogFileRootDirectory = static_cast<QLabel*>(ControlOf(ControlId::lblLogFileRootDirectory));
    Label9 = static_cast<QLabel*>(ControlOf(ControlId::Label9));
    lblTranscript = static_cast<QLabel*>(ControlOf(ControlId::lblTranscript));
    Label4 = static_cast<QLabel*>(ControlOf(ControlId::Label4));
    Label3 = static_cast<QLabel*>(ControlOf(ControlId::Label3));
    Label2 = static_cast<QLabel*>(ControlOf(ControlId::Label2));
    Label1 = static_cast<QLabel*>(ControlOf(ControlId::Label1));

    // Labels lie beneath the lists and boxes where they meet (the transcript label moves with the instance
    // list as the window's height changes).
    for (const form::ControlDesign& design : form::Controls()) {
        if (design.kind == ControlKind::Label)
            ControlOf(design.id)->lower();
    }
}

void frmMain::SetTabOrder() {
    const auto order = form::TabOrder();
    for (std::size_t i = 1; i < order.size(); ++i)
        setTabOrder(ControlOf(order[i - 1]), ControlOf(order[i]));
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
    connect(statusCancel, &QPushButton::clicked, this, [this] { form_.CancelWork(); });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, [this] { form_.CancelWork(); });
    // The menu items were wired to their handlers from the design table as they were made.
    CreateListMenus();
}

void frmMain::CreateListMenus() {
    struct ListMenu {
        QAbstractItemView* list;
        QMenu*& menu;
        const char* name;
        void (form::frmMain::*copy)();
        std::string_view exportCaption;
        form::MenuCommand exportCommand;
    };
    const ListMenu menus[] = {
        {LstErrors, eventsMenu_, "mnuEventsContext", &form::frmMain::CopyEventRow, form::kExportEventsCaption,
         form::MenuCommand::ExportEvents},
        {lstinstances, instancesMenu_, "mnuInstancesContext", &form::frmMain::CopyInstanceRow,
         form::kExportInstancesCaption, form::MenuCommand::ExportInstances},
    };
    for (const ListMenu& m : menus) {
        m.menu = new QMenu(this);
        m.menu->setObjectName(QString::fromLatin1(m.name));
        QAction* copy = m.menu->addAction(FromAnsi(form::kCopyCaption));
        copy->setObjectName(QStringLiteral("mnuCopy"));
        copy->setShortcut(QKeySequence::Copy);
        const auto copyRow = m.copy;
        connect(copy, &QAction::triggered, this, [this, copyRow] { (form_.*copyRow)(); });
        QAction* exportList = m.menu->addAction(FromAnsi(m.exportCaption));
        exportList->setObjectName(QStringLiteral("mnuExport"));
        const form::MenuCommand command = m.exportCommand;
        connect(exportList, &QAction::triggered, this, [this, command] { form_.RunMenuCommand(command); });

        m.list->setContextMenuPolicy(Qt::CustomContextMenu);
        QAbstractItemView* list = m.list;
        QMenu* menu = m.menu;
        connect(list, &QWidget::customContextMenuRequested, this,
                [list, menu](const QPoint& at) { menu->popup(list->viewport()->mapToGlobal(at)); });
        // Ctrl+C on the focused list copies its chosen row, as everywhere on the desktop.
        auto* shortcut = new QShortcut(QKeySequence::Copy, list);
        shortcut->setContext(Qt::WidgetShortcut);
        connect(shortcut, &QShortcut::activated, this, [this, copyRow] { (form_.*copyRow)(); });
    }
}

std::optional<std::string> frmMain::AskSavePath(std::string_view title, std::string_view suggestedName,
                                                std::string_view kindName, std::string_view extension) {
    const QString filter =
        FromAnsi(kindName) + QStringLiteral(" (*.") + FromAnsi(extension) + QStringLiteral(")");
    const QString chosen = prompt_.AskSavePath(FromAnsi(title), FromAnsi(suggestedName), filter);
    if (chosen.isEmpty())
        return std::nullopt;
    // The path as the file system names it.
    const QByteArray path = QFile::encodeName(chosen);
    return std::string(path.constData(), static_cast<std::size_t>(path.size()));
}

void frmMain::CopyToClipboard(std::string_view text) {
    QGuiApplication::clipboard()->setText(FromAnsi(text));
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

void frmMain::closeEvent(QCloseEvent* event) {
    // Closing ends the program at once: the work under way is stopped, not waited for.
    form_.StopWork();
    if (summary_ != nullptr)
        summary_->close();
    QMainWindow::closeEvent(event);
}

void frmMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    form_.Form_Resize();
}

void frmMain::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    // The window manager's frame becomes known only once the window is on screen; it is part of the outer
    // size the layout follows.
    form_.Form_Resize();
}

// ---- the view the form works through ----

QListWidget* frmMain::ItemList(form::ListId list) const {
    return list == form::ListId::lstFiles ? lstFiles : LstErrors;
}

void frmMain::ClearList(form::ListId list) {
    if (list == form::ListId::lstLogSource)
        lstLogSource->clear();
    else
        ItemList(list)->clear();
}

void frmMain::AppendItem(form::ListId list, std::string_view item) {
    if (list == form::ListId::lstLogSource) {
        // A combo box selects its first entry by itself; appending selects nothing, so no click is raised.
        const QSignalBlocker quiet(lstLogSource);
        lstLogSource->addItem(FromAnsi(item));
        lstLogSource->setCurrentIndex(-1);
        return;
    }
    auto* entry = new QListWidgetItem(FromAnsi(item));
    entry->setData(kAnsiRole, QByteArray(item.data(), static_cast<qsizetype>(item.size())));
    ItemList(list)->addItem(entry);
}

int frmMain::SelectedIndex(form::ListId list) const {
    if (list == form::ListId::lstLogSource)
        return lstLogSource->currentIndex();
    const QList<QListWidgetItem*> selected = ItemList(list)->selectedItems();
    return selected.isEmpty() ? -1 : ItemList(list)->row(selected.front());
}

std::string frmMain::SelectedItem(form::ListId list) const {
    if (list == form::ListId::lstLogSource)
        return lstLogSource->currentIndex() < 0 ? std::string()
                                                : windowstyle::ToAnsi(lstLogSource->currentText());
    const QList<QListWidgetItem*> selected = ItemList(list)->selectedItems();
    return selected.isEmpty() ? std::string() : ItemBytes(*selected.front());
}

void frmMain::SelectIndex(form::ListId list, int index) {
    if (list == form::ListId::lstLogSource)
        lstLogSource->setCurrentIndex(index);
    else
        ItemList(list)->setCurrentRow(index);
}

void frmMain::SetText(form::TextId box, std::string_view text) {
    QPlainTextEdit* target = box == form::TextId::txtTranscript ? txtTranscript : txtErrorDescription;
    if (text.empty())
        target->clear();
    else
        target->setPlainText(ForTextBox(text));
}

void frmMain::SetDirectoryCaption(std::string_view caption) {
    lblLogFileRootDirectory->setText(FromAnsi(caption));
}

void frmMain::InstancesChanged() {
    instances_->Reset();
}

long long frmMain::SelectedInstance() const {
    const QModelIndexList selected = lstinstances->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.front().row();
}

void frmMain::Message(std::string_view text, std::string_view title, form::Icon icon) {
    prompt_.Message(FromAnsi(text), FromAnsi(title), icon);
}

void frmMain::BeginWait() {
    prompt_.BeginWait();
}

void frmMain::EndWait() {
    prompt_.EndWait();
}

void frmMain::ShowInstanceWindow(std::string_view caption, std::string_view text) {
    // Created afresh in its design state and discarded when closed.
    frmErrorDescription window(this);
    window.setWindowTitle(FromAnsi(caption));
    window.txtError->setPlainText(FromAnsi(text));
    prompt_.ShowModal(window);
}

int frmMain::ShellOpen(std::string_view target) {
    return shell::ShellOpen(target);
}

void frmMain::CloseWindow() {
    close();
}

void frmMain::Post(std::function<void()> work) {
    // Queued to this window's thread; dropped if the window is gone by then.
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

void frmMain::ShowWork(std::string_view text, double fraction) {
    statusText->setText(FromAnsi(text));
    statusProgress->setValue(static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 1000.0));
    statusProgress->show();
    statusCancel->show();
}

void frmMain::ShowStatus(std::string_view text) {
    statusText->setText(FromAnsi(text));
    statusProgress->hide();
    statusCancel->hide();
}

form::Box frmMain::OuterBox() const {
    // The status bar is below the design's window: the controls follow the size above it.
    const QRect outer = frameGeometry();
    const int bar = statusBar()->isVisible() ? statusBar()->height() : 0;
    return {0, 0, float(PixelsToTwips(outer.width())), float(PixelsToTwips(outer.height() - bar))};
}

form::Box frmMain::PlaceOf(form::ControlId control) const {
    const QRect r = ControlOf(control)->geometry();
    return {float(PixelsToTwips(r.x())), float(PixelsToTwips(r.y())), float(PixelsToTwips(r.width())),
            float(PixelsToTwips(r.height()))};
}

void frmMain::Place(form::ControlId control, const form::Box& place) {
    ControlOf(control)->setGeometry(PlaceInPixels(place));
}

float frmMain::WholeItemsHeight(form::ControlId list, float requested) const {
    const auto* view = static_cast<const QAbstractItemView*>(ControlOf(list));
    const ListRowDelegate* rows = list == ControlId::lstinstances ? instanceRows_ : fileRows_;
    if (list != ControlId::lstinstances && list != ControlId::lstFiles)
        rows = static_cast<const ListRowDelegate*>(view->itemDelegate());
    return float(PixelsToTwips(WholeRowsHeight(*view, rows->RowHeight(), TwipsToPixels(requested))));
}

void frmMain::ShowSummaryWindow(const form::SummaryRequest& request) {
    if (summary_ == nullptr)
        summary_ = new frmSummary(form_, this);
    summary_->Start(request);
}

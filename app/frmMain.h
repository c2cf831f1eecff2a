// The main window in Qt: the controls, menus and sizes of the window's design table, each notification
// wired to its handler in the form layer, which holds the behaviour and the shared state. This class only
// shows what the form tells it and reports what the user does.
#pragma once

#include <QMainWindow>

#include <array>
#include <optional>
#include <string>

#include "form/View.h"
#include "form/frmMain.h"
#include "text/Paths.h"

class QAction;
class QComboBox;
class QLabel;
class QListView;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

class InstanceListModel;
class frmSummary;
class ListRowDelegate;
class Prompt;

class frmMain final : public QMainWindow, private form::MainView {
    Q_OBJECT
public:
    // Creates the window with its controls at their design places; nothing is read or fetched until
    // Form_Load. Message boxes, the wait cursor and the instance window go through `prompt`, which must
    // outlive the window. Catalogue files are stored in and loaded from `catalogueDirectory`.
    explicit frmMain(Prompt& prompt, std::string catalogueDirectory = text::ProgramDirectory(),
                     QWidget* parent = nullptr);
    ~frmMain() override;

    // The window's behaviour and shared state (ActiveSource, ErrorStrings, ...).
    form::frmMain& Form() { return form_; }
    const form::frmMain& Form() const { return form_; }
    // The summary window, once File > Summary of All Files... has opened it (else null).
    frmSummary* SummaryWindow() const { return summary_; }
    // Start-up, run once before the window is first shown.
    void Form_Load() { form_.Form_Load(); }

    // Controls, named as in the window's design; object names are the same.
    QComboBox* lstLogSource = nullptr;
    QPushButton* CmdMore = nullptr;
    QPlainTextEdit* txtTranscript = nullptr;
    QListView* lstinstances = nullptr;
    QPlainTextEdit* txtErrorDescription = nullptr;
    QListWidget* LstErrors = nullptr;
    QListWidget* lstFiles = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* lblLogFileRootDirectory = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* lblTranscript = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label1 = nullptr;
    QMenu* mnuFile = nullptr;
    QAction* mnuExit = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* mnuOnline = nullptr;
    QAction* mnuKB = nullptr;
    QAction* mnublank1 = nullptr;
    QAction* mnuAbout = nullptr;

    // The status bar under the design's controls: what the work under way is doing, how far it has come,
    // and its Cancel button (Esc does the same).
    QLabel* statusText = nullptr;
    QProgressBar* statusProgress = nullptr;
    QPushButton* statusCancel = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;

private slots:
    void lstLogSource_Click() { form_.lstLogSource_Click(); }
    void lstFiles_Click() { form_.lstFiles_Click(); }
    void LstErrors_Click() { form_.LstErrors_Click(); }
    void CmdMore_Click() { form_.CmdMore_Click(); }
    void lstinstances_Click() { form_.lstinstances_Click(); }
    void lstinstances_DblClick() { form_.lstinstances_DblClick(); }

private:
    void CreateControls();
    void CreateMenus();
    void CreateStatusBar();
    void SetTabOrder();
    void ConnectHandlers();
    void CentreOnScreen();
    QWidget* ControlOf(form::ControlId id) const { return controls_[static_cast<std::size_t>(id)]; }
    QListWidget* ItemList(form::ListId list) const;

    // form::MainView
    void ClearList(form::ListId list) override;
    void AppendItem(form::ListId list, std::string_view item) override;
    int SelectedIndex(form::ListId list) const override;
    std::string SelectedItem(form::ListId list) const override;
    void SelectIndex(form::ListId list, int index) override;
    void SetText(form::TextId box, std::string_view text) override;
    void SetDirectoryCaption(std::string_view caption) override;
    void InstancesChanged() override;
    long long SelectedInstance() const override;
    void Message(std::string_view text, std::string_view title, form::Icon icon) override;
    void BeginWait() override;
    void EndWait() override;
    void ShowInstanceWindow(std::string_view caption, std::string_view text) override;
    int ShellOpen(std::string_view target) override;
    void CloseWindow() override;
    void Post(std::function<void()> work) override;
    void ShowWork(std::string_view text, double fraction) override;
    void ShowStatus(std::string_view text) override;
    form::Box OuterBox() const override;
    bool IsMinimized() const override { return isMinimized(); }
    form::Box PlaceOf(form::ControlId control) const override;
    void Place(form::ControlId control, const form::Box& place) override;
    float WholeItemsHeight(form::ControlId list, float requested) const override;
    void ShowSummaryWindow(const form::SummaryRequest& request) override;
    std::optional<std::string> AskSavePath(std::string_view title, std::string_view suggestedName,
                                           std::string_view kindName, std::string_view extension) override;
    void CopyToClipboard(std::string_view text) override;
    // The context menus of the event and instance lists (Copy and the list's export), and Ctrl+C there.
    void CreateListMenus();

    Prompt& prompt_;
    form::frmMain form_;
    std::array<QWidget*, form::kControlCount> controls_{};
    bool centred_ = false; // centred on the screen with its frame, at the first showing
    InstanceListModel* instances_ = nullptr;
    ListRowDelegate* instanceRows_ = nullptr;
    ListRowDelegate* fileRows_ = nullptr;
    // ---- the summary window ----
    frmSummary* summary_ = nullptr; // made at the first menu choice; one at a time
    // ---- end of the summary window ----
    QMenu* eventsMenu_ = nullptr;    // "mnuEventsContext"
    QMenu* instancesMenu_ = nullptr; // "mnuInstancesContext"
};

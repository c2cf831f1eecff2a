// The main window: the source list, the debug log files of the chosen source, the events found in the chosen
// file with their counts, the lines of the chosen event and the activity transcript around the chosen line,
// plus the File and Help menus. It owns the state all its handlers share (the catalogue in memory, the
// active source, the diagnostic switch) and runs every handler on the one user-interface thread.
#pragma once

#include <QMainWindow>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/PostForm.h"
#include "text/Paths.h"
#include "text/Status.h"

class QAction;
class QComboBox;
class QLabel;
class QListView;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;

class InstanceListModel;
class ListRowDelegate;
class Prompt;
class frmErrorDescription;

namespace scan {
class EventMatcher;
}

class frmMain final : public QMainWindow {
    Q_OBJECT
public:
    // The seven log sources, in the order of the source list.
    static const std::vector<std::string>& SourceCodes();

    // Creates the window with its controls at their design places; nothing is read or fetched until
    // Form_Load. Message boxes, the wait cursor and the instance window go through `prompt`, which must
    // outlive the window. Catalogue files are stored in and loaded from `catalogueDirectory`.
    explicit frmMain(Prompt& prompt, std::string catalogueDirectory = text::ProgramDirectory(),
                     QWidget* parent = nullptr);
    ~frmMain() override;

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
    // Counts the catalogued events in the debug log file `fileName` of `currentSource` into ErrorCounts;
    // a file that cannot be opened or read leaves every count 0 and is shown as "Unable to open log file. ".
    void GetErrorCount(const std::string& currentSource, const std::string& fileName);
    // Lists every event counted at least once as "i [n]  search string", in catalogue order.
    void ShowErrors();
    // Lists the lines of the debug log file that hold event `errorIndex`; a file that cannot be opened or
    // read empties the list and is shown as "Unable to open log file. ".
    void ShowErrorInstances(const std::string& currentSource, const std::string& fileName,
                            std::int32_t errorIndex);
    // Opens a document or web address with the desktop; a refusal is shown in a box titled "Error".
    void OpenDocument(const std::string& target);

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

    // Controls, named as in the window's design; object names are the same.
    QComboBox* lstLogSource;
    QPushButton* CmdMore;
    QPlainTextEdit* txtTranscript;
    QListView* lstinstances;
    QPlainTextEdit* txtErrorDescription;
    QListWidget* LstErrors;
    QListWidget* lstFiles;
    QLabel* Label6;
    QLabel* lblLogFileRootDirectory;
    QLabel* Label9;
    QLabel* lblTranscript;
    QLabel* Label4;
    QLabel* Label3;
    QLabel* Label2;
    QLabel* Label1;
    QMenu* mnuFile;
    QAction* mnuExit;
    QMenu* mnuHelp;
    QAction* mnuOnline;
    QAction* mnuKB;
    QAction* mnublank1;
    QAction* mnuAbout;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;

private slots:
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

private:
    void CreateControls();
    void CreateMenus();
    void SetTabOrder();
    void ConnectHandlers();
    void CentreOnScreen();
    // Makes the lists and the transcript follow the window's outer size.
    void Form_Resize();

    // Entries of the catalogue in memory that may be read: 0 to ErrorUpperBound, within the arrays.
    std::size_t EntryCount() const;
    bool IsEntry(std::int32_t index) const { return index >= 0 && std::size_t(index) < EntryCount(); }
    // The catalogue index of the selected event row ("i [n]  ..."), or nullopt when none is selected or it
    // names no entry of the catalogue in memory.
    std::optional<std::int32_t> SelectedEventIndex() const;
    // The debug log file chosen in lstFiles, as listed (ANSI); "" when none is chosen.
    std::string SelectedFileName() const;
    // Shows the instance window with `item` (ANSI), under `caption` when given, and discards it after.
    void ShowInstanceWindow(const std::optional<QString>& caption, const std::string& item);
    // Shows lead + the failure's description in a box titled "Error" with the critical icon.
    void ShowFailure(const QString& lead, const std::string& description);

    Prompt& prompt_;
    std::string catalogueDirectory_;
    catalogue::PostFormLimits libraryLimits_;
    bool inFormLoad_ = false; // the source list's handler runs nested in Form_Load
    bool centred_ = false;    // centred on the screen with its frame, at the first showing
    std::unique_ptr<scan::EventMatcher> matcher_;
    InstanceListModel* instances_ = nullptr;
    ListRowDelegate* instanceRows_ = nullptr;
    ListRowDelegate* fileRows_ = nullptr;
    std::unique_ptr<frmErrorDescription> errorDescription_;
};

// What the window's behaviour needs of a toolkit: the items and the selection of each list, the text of each
// box and label, the instance list as rows read on demand, message boxes, the wait cursor, the instance
// window, opening a document, and the places of the controls. The Qt window and the native Windows window
// implement it; the form's tests record it. Every text crosses it as ANSI bytes, as the core holds them;
// the view decodes them where it shows them.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "form/Design.h"

namespace form {

struct SummaryRequest; // form/SummaryWindow.h

// The lists of items (the instance list is rows read on demand, see below).
enum class ListId { lstLogSource, lstFiles, LstErrors };
// The multi-line text boxes; their text may hold CR LF (or a lone CR), shown as line breaks.
enum class TextId { txtErrorDescription, txtTranscript };

// The icon of a message box. Exclamation is the warning triangle; Critical is the error (stop) icon.
enum class Icon { None, Information, Exclamation, Critical };

class MainView {
public:
    virtual ~MainView() = default;

    // Lists: remove every item, append one at the end, read the selection (-1 / "" when none), select an
    // entry. Selecting an entry of lstLogSource is reported back as its click (lstLogSource_Click runs
    // before SelectIndex returns), as the toolkits do; removing items is never a click.
    virtual void ClearList(ListId list) = 0;
    virtual void AppendItem(ListId list, std::string_view item) = 0;
    virtual int SelectedIndex(ListId list) const = 0;
    virtual std::string SelectedItem(ListId list) const = 0;
    virtual void SelectIndex(ListId list, int index) = 0;

    // Text boxes and the directory label.
    virtual void SetText(TextId box, std::string_view text) = 0;
    virtual void SetDirectoryCaption(std::string_view caption) = 0;

    // The instance list changed whole: the view reads its rows again through frmMain::InstanceCount and
    // frmMain::InstanceRow. No row is selected afterwards.
    virtual void InstancesChanged() = 0;
    // The selected row of the instance list, or -1.
    virtual long long SelectedInstance() const = 0;

    // A modal message box with an OK button; returns when the user has closed it.
    virtual void Message(std::string_view text, std::string_view title, Icon icon) = 0;
    // The application-wide hourglass; calls nest, each EndWait undoes one BeginWait.
    virtual void BeginWait() = 0;
    virtual void EndWait() = 0;
    // The instance window, created afresh in its design state, with this caption and text, shown modally
    // over the main window and discarded when the user closes it.
    virtual void ShowInstanceWindow(std::string_view caption, std::string_view text) = 0;
    // Hands a document or address to the desktop with the main window as owner; gives the shell's answer
    // (above 32: handed over; else an error code of the shell's message table).
    virtual int ShellOpen(std::string_view target) = 0;
    // Closes the main window, which ends the program.
    virtual void CloseWindow() = 0;

    // Runs `work` later on the window's thread, in the order posted; callable from any thread. Work posted
    // while the window closes may be dropped.
    virtual void Post(std::function<void()> work) = 0;
    // The status bar under the design's controls: while work runs, its text, how far it has come (0 to 1)
    // and its Cancel button; otherwise a text alone ("" for none).
    virtual void ShowWork(std::string_view text, double fraction) = 0;
    virtual void ShowStatus(std::string_view text) = 0;

    // The window's outer size in twips (the status bar left out), and whether it is minimised (then the
    // resize rules do nothing).
    virtual Box OuterBox() const = 0;
    virtual bool IsMinimized() const = 0;
    // ---- the summary window ----
    // Opens the summary window over the request (or, when it is open, brings it to the front and starts it
    // again over the request). It lives until the user closes it; the main window does not wait for it.
    virtual void ShowSummaryWindow(const SummaryRequest& request) = 0;
    // ---- end of the summary window ----

    // A control's place in twips, and setting it.
    virtual Box PlaceOf(ControlId control) const = 0;
    virtual void Place(ControlId control, const Box& place) = 0;
    // The height in twips that a list box really takes when asked for `requested` (whole items only).
    virtual float WholeItemsHeight(ControlId list, float requested) const = 0;

    // ---- exports and the clipboard ----
    // The platform's save dialog over the main window, titled `title`, offering `suggestedName` and files
    // of one kind (`kindName`, e.g. "CSV files", and `extension` without its dot, e.g. "csv"); asks before
    // choosing an existing file. The chosen path as the file functions take it, or nullopt when cancelled.
    virtual std::optional<std::string> AskSavePath(std::string_view title, std::string_view suggestedName,
                                                   std::string_view kindName, std::string_view extension) = 0;
    // Puts `text` (ANSI) on the clipboard as text, replacing what it held.
    virtual void CopyToClipboard(std::string_view text) = 0;
};

// Shows the hourglass for the life of the object and restores the pointer on every path, exceptions
// included. Restore() gives the pointer back early (before a message box, for example).
class WaitCursor {
public:
    explicit WaitCursor(MainView& view) : view_(view) { view_.BeginWait(); }
    ~WaitCursor() { Restore(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

    void Restore() {
        if (active_) {
            active_ = false;
            view_.EndWait();
        }
    }

private:
    MainView& view_;
    bool active_ = true;
};

} // namespace form

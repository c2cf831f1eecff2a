#include "win32/SelfTest.h"

#include <windows.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <string_view>
#include <vector>

#include "form/Design.h"
#include "form/Texts.h"
#include "text/Ascii.h"
#include "win32/MainWindow.h"
#include "win32/SummaryWindow.h"

namespace win32ui {
namespace {

using form::ControlId;

constexpr UINT kStepMs = 100;
// Each piece of background work and the wait for the screenshot are bounded.
constexpr int kMostSteps = 600;
// What a stage waits for without background work (a menu to open or close) is bounded on its own.
constexpr int kMostWaits = 50;

// The road in order. Each stage acts once and moves on, or waits for what it started.
enum class Stage {
    File,              // a debug log file; the next one when it holds no catalogued event
    Event,             // the first event: its explanation and its instances
    Instance,          // the first instance: its transcript
    InstanceWindow,    // the instance window, which closes itself
    ExportEvents,      // File > Export Events..., answered with a file beside the report
    ExportInstances,   // File > Export Instances..., written in the background
    ExportsWritten,    // what the two files hold
    InstanceMenu,      // a right-click on the instance list
    InstanceMenuShown, // its context menu: the items, then Copy by its access key
    InstanceMenuUsed,  // the menu closed, the row on the clipboard
    EventMenu,         // a right-click on the event list
    EventMenuShown,    // its context menu: the items, then Export Events... by its access key
    EventMenuUsed,     // the menu closed, the events written again
    CopyKey,           // Ctrl+C on the instance list
    CopyKeyUsed,       // the row on the clipboard
    Refresh,           // F5 on the focused control, through the window's accelerators
    Refreshed,         // the file counted again and the event chosen again; its instance again
    Summary,           // the summary of all files, counted in its own window
    SummaryCounted,
    Done, // the report is written: waits for the screenshot
};

constexpr const char* kStageNames[] = {"file",
                                       "event",
                                       "instance",
                                       "instance window",
                                       "export events",
                                       "export instances",
                                       "exports written",
                                       "instance menu",
                                       "instance menu shown",
                                       "instance menu used",
                                       "event menu",
                                       "event menu shown",
                                       "event menu used",
                                       "Ctrl+C",
                                       "Ctrl+C used",
                                       "refresh",
                                       "refreshed",
                                       "summary",
                                       "summary counted",
                                       "done"};
static_assert(std::size(kStageNames) == std::size_t(Stage::Done) + 1);

// The visible popup menu of this thread (the window class "#32768"), or null when no menu is open.
HWND OpenPopupMenu() {
    HWND found = nullptr;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND hwnd, LPARAM out) -> BOOL {
            char name[16] = {};
            ::GetClassNameA(hwnd, name, sizeof name);
            if (std::strcmp(name, "#32768") != 0 || !::IsWindowVisible(hwnd))
                return TRUE;
            *reinterpret_cast<HWND*>(out) = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// A menu's item texts by position, the tab before a shortcut written as "\t".
std::vector<std::string> MenuTexts(HMENU menu) {
    std::vector<std::string> texts;
    for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
        char text[128] = {};
        ::GetMenuStringA(menu, UINT(i), text, sizeof text, MF_BYPOSITION);
        std::string shown;
        for (const char c : std::string_view(text))
            shown += c == '\t' ? std::string("\\t") : std::string(1, c);
        texts.push_back(shown);
    }
    return texts;
}

// The lParam of a key's WM_KEYDOWN as the keyboard sends it: one press, the key's scan code.
LPARAM KeyDownParam(UINT key) {
    return LPARAM(1 | (::MapVirtualKeyA(key, MAPVK_VK_TO_VSC) << 16));
}

class Road {
public:
    Road(MainWindow& window, std::string reportPath) : window_(window), reportPath_(std::move(reportPath)) {
        window_.RecordPrompts(&record_);
        // The exports go beside the report.
        const std::size_t slash = reportPath_.find_last_of("\\/");
        folder_ = slash == std::string::npos ? std::string() : reportPath_.substr(0, slash + 1);
    }
    // One step per timer tick: a step either acts or waits for the form's background work.
    void Tick();

private:
    void Choose(ControlId list, int index, WORD notification) {
        HWND handle = window_.ControlHandle(list);
        ::SendMessageA(handle, LB_SETCURSEL, WPARAM(index), 0);
        ::SendMessageA(window_.Handle(), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(handle), notification),
                       reinterpret_cast<LPARAM>(handle));
    }
    int Count(ControlId list) const {
        return int(::SendMessageA(window_.ControlHandle(list), LB_GETCOUNT, 0, 0));
    }
    void Next(Stage stage) {
        stage_ = stage;
        waits_ = 0;
    }
    void Fail(const std::string& what) {
        if (OpenPopupMenu() != nullptr)
            ::EndMenu();
        Write("failed: " + what);
        stage_ = Stage::Done;
    }
    void Note(const std::string& key, const std::string& value) { notes_.push_back(key + "=" + value); }
    // The menu bar's item for a command, sent as its click sends it; false when the menu has no such item.
    bool RunMenuItem(form::MenuCommand command);
    // A right-click in the middle of a list's first row, as the list's own window receives it.
    void RightClick(ControlId list);
    // The open context menu's items noted under key, then the item with the access key of caption chosen as
    // the keyboard chooses it; false while no menu is open.
    bool UseOpenMenu(const std::string& key, std::string_view caption);
    // What an export wrote: its size, whether it starts with the UTF-8 byte order mark, its number of lines
    // and its first line.
    void NoteFile(const std::string& key, const std::string& path);
    void ClearClipboard() {
        if (::OpenClipboard(window_.Handle())) {
            ::EmptyClipboard();
            ::CloseClipboard();
        }
    }
    void Write(const std::string& result);

    MainWindow& window_;
    std::string reportPath_;
    std::string folder_;
    Recorded record_;
    std::vector<std::string> notes_; // the later stages' report lines, "key=value"
    Stage stage_ = Stage::File;
    int file_ = 0;
    int ticks_ = 0;
    int waits_ = 0;
    std::size_t prompts_ = 0;      // save prompts before a menu's export
    std::array<BYTE, 256> keys_{}; // the keyboard as it was before Ctrl was held
    HWND focus_ = nullptr;         // the focus before the keys were pressed
    int eventsBefore_ = 0;         // the event list before F5
    std::size_t transcriptBefore_ = 0;
};

bool Road::RunMenuItem(form::MenuCommand command) {
    std::string_view caption;
    for (const form::MenuDesign& menu : form::Menus()) {
        for (const form::MenuItemDesign& item : menu.items) {
            if (item.command == command)
                caption = item.caption;
        }
    }
    HMENU bar = ::GetMenu(window_.Handle());
    for (int i = 0; i < ::GetMenuItemCount(bar); ++i) {
        HMENU menu = ::GetSubMenu(bar, i);
        for (int j = 0; j < ::GetMenuItemCount(menu); ++j) {
            char text[128] = {};
            ::GetMenuStringA(menu, UINT(j), text, sizeof text, MF_BYPOSITION);
            const std::string_view shown(text);
            if (caption.empty() || shown.substr(0, shown.find('\t')) != caption)
                continue;
            ::SendMessageA(window_.Handle(), WM_COMMAND, MAKEWPARAM(::GetMenuItemID(menu, j), 0), 0);
            return true;
        }
    }
    return false;
}

void Road::RightClick(ControlId list) {
    HWND handle = window_.ControlHandle(list);
    RECT row{};
    ::SendMessageA(handle, LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row));
    POINT at{(row.left + row.right) / 2, (row.top + row.bottom) / 2};
    ::ClientToScreen(handle, &at);
    // Posted: the menu's own loop runs the next ticks, as it would after a real click.
    ::PostMessageA(handle, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(handle), MAKELPARAM(at.x, at.y));
}

bool Road::UseOpenMenu(const std::string& key, std::string_view caption) {
    HWND popup = OpenPopupMenu();
    if (popup == nullptr)
        return false;
    HMENU menu = reinterpret_cast<HMENU>(::SendMessageA(popup, MN_GETHMENU, 0, 0));
    const std::vector<std::string> items = MenuTexts(menu);
    Note(key + ".count", std::to_string(items.size()));
    for (std::size_t i = 0; i < items.size(); ++i)
        Note(key + "[" + std::to_string(i) + "]", items[i]);
    // The letter as typed: the menu's loop takes the character and runs the item it underlines.
    ::PostMessageA(popup, WM_CHAR, WPARAM(text::AsciiLower(form::AccessKey(caption))), 1);
    return true;
}

void Road::NoteFile(const std::string& key, const std::string& path) {
    std::string bytes;
    if (FILE* in = std::fopen(path.c_str(), "rb")) {
        char buffer[65536];
        std::size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0)
            bytes.append(buffer, got);
        std::fclose(in);
    } else {
        Note(key + ".size", "missing");
        return;
    }
    Note(key + ".size", std::to_string(bytes.size()));
    const std::string_view mark = "\xEF\xBB\xBF";
    const bool marked = bytes.compare(0, mark.size(), mark) == 0;
    Note(key + ".bom", marked ? "yes" : "no");
    std::size_t lines = 0;
    for (std::size_t at = bytes.find("\r\n"); at != std::string::npos; at = bytes.find("\r\n", at + 2))
        ++lines;
    Note(key + ".lines", std::to_string(lines));
    const std::size_t from = marked ? mark.size() : 0;
    Note(key + "[0]", bytes.substr(from, bytes.find("\r\n", from) - from));
}

void Road::Tick() {
    if (++ticks_ > kMostSteps) {
        if (stage_ != Stage::Done)
            Write(std::string("failed: timed out at the stage ") + kStageNames[int(stage_)]);
        // An open menu would hold its own loop past the window's end.
        if (OpenPopupMenu() != nullptr)
            ::EndMenu();
        window_.Form().RunMenuCommand(form::MenuCommand::Exit);
        return;
    }
    if (window_.Form().Busy() || !::IsWindowEnabled(window_.Handle()))
        return;
    switch (stage_) {
    case Stage::File:
        if (file_ > 0 && Count(ControlId::LstErrors) > 0) {
            Next(Stage::Event);
            return;
        }
        if (file_ >= Count(ControlId::lstFiles)) {
            Fail("no debug log file with a catalogued event");
            return;
        }
        Choose(ControlId::lstFiles, file_++, LBN_SELCHANGE);
        return;
    case Stage::Event:
        Next(Stage::Instance);
        Choose(ControlId::LstErrors, 0, LBN_SELCHANGE);
        return;
    case Stage::Instance:
        if (::SendMessageA(window_.ControlHandle(ControlId::lstinstances), LB_GETCOUNT, 0, 0) <= 0) {
            Fail("the event lists no instance");
            return;
        }
        Next(Stage::InstanceWindow);
        Choose(ControlId::lstinstances, 0, LBN_SELCHANGE);
        return;
    case Stage::InstanceWindow:
        // The stage moves first: the instance window's own message loop runs the next ticks.
        Next(Stage::ExportEvents);
        Choose(ControlId::lstinstances, 0, LBN_DBLCLK);
        return;
    case Stage::ExportEvents:
        record_.savePath = folder_ + "export-events.csv";
        if (!RunMenuItem(form::MenuCommand::ExportEvents)) {
            Fail("no Export Events item on the menu bar");
            return;
        }
        Note("export.events.status", window_.StatusText());
        Next(Stage::ExportInstances);
        return;
    case Stage::ExportInstances:
        record_.savePath = folder_ + "export-instances.log";
        if (!RunMenuItem(form::MenuCommand::ExportInstances)) {
            Fail("no Export Instances item on the menu bar");
            return;
        }
        Next(Stage::ExportsWritten);
        return;
    case Stage::ExportsWritten:
        Note("export.instances.status", window_.StatusText());
        NoteFile("export.events", folder_ + "export-events.csv");
        NoteFile("export.instances", folder_ + "export-instances.log");
        Next(Stage::InstanceMenu);
        return;
    case Stage::InstanceMenu:
        ClearClipboard();
        Next(Stage::InstanceMenuShown);
        RightClick(ControlId::lstinstances);
        return;
    case Stage::InstanceMenuShown:
        if (UseOpenMenu("instanceMenu", form::kCopyCaption))
            Next(Stage::InstanceMenuUsed);
        else if (++waits_ > kMostWaits)
            Fail("the instance list's context menu did not open");
        return;
    case Stage::InstanceMenuUsed: {
        const std::string copied = window_.ClipboardText();
        if (OpenPopupMenu() != nullptr || copied.empty()) {
            if (++waits_ > kMostWaits)
                Fail("Copy on the instance list's context menu copied nothing");
            return;
        }
        Note("clipboard.menu", copied);
        Next(Stage::EventMenu);
        return;
    }
    case Stage::EventMenu:
        record_.savePath = folder_ + "export-events-menu.csv";
        prompts_ = record_.savePrompts.size();
        Next(Stage::EventMenuShown);
        RightClick(ControlId::LstErrors);
        return;
    case Stage::EventMenuShown:
        if (UseOpenMenu("eventMenu", form::kExportEventsCaption))
            Next(Stage::EventMenuUsed);
        else if (++waits_ > kMostWaits)
            Fail("the event list's context menu did not open");
        return;
    case Stage::EventMenuUsed:
        if (OpenPopupMenu() != nullptr || record_.savePrompts.size() == prompts_) {
            if (++waits_ > kMostWaits)
                Fail("Export Events... on the event list's context menu asked for no file");
            return;
        }
        record_.savePath.clear();
        NoteFile("export.eventsFromMenu", folder_ + "export-events-menu.csv");
        Next(Stage::CopyKey);
        return;
    case Stage::CopyKey: {
        ClearClipboard();
        focus_ = ::GetFocus();
        HWND list = window_.ControlHandle(ControlId::lstinstances);
        ::SetFocus(list);
        // Ctrl is held in this thread's keyboard state, which the window reads when C comes.
        ::GetKeyboardState(keys_.data());
        std::array<BYTE, 256> held = keys_;
        held[VK_CONTROL] |= 0x80;
        held[VK_LCONTROL] |= 0x80;
        ::SetKeyboardState(held.data());
        ::PostMessageA(list, WM_KEYDOWN, 'C', KeyDownParam('C'));
        Next(Stage::CopyKeyUsed);
        return;
    }
    case Stage::CopyKeyUsed:
        ::SetKeyboardState(keys_.data());
        Note("clipboard.keys", window_.ClipboardText());
        Next(Stage::Refresh);
        return;
    case Stage::Refresh: {
        eventsBefore_ = Count(ControlId::LstErrors);
        transcriptBefore_ = window_.TextOf(ControlId::txtTranscript).size();
        HWND focused = ::GetFocus();
        ::PostMessageA(focused != nullptr ? focused : window_.ControlHandle(ControlId::lstinstances),
                       WM_KEYDOWN, VK_F5, KeyDownParam(VK_F5));
        Next(Stage::Refreshed);
        return;
    }
    case Stage::Refreshed:
        // The refresh empties the lists and boxes, counts the file again and chooses the event again: the
        // transcript stays empty until an instance is chosen, which is done again here for the report.
        Note("refresh.events.before", std::to_string(eventsBefore_));
        Note("refresh.events.after", std::to_string(Count(ControlId::LstErrors)));
        Note("refresh.transcript.before", std::to_string(transcriptBefore_));
        Note("refresh.transcript.after", std::to_string(window_.TextOf(ControlId::txtTranscript).size()));
        Note("refresh.instances.after", std::to_string(Count(ControlId::lstinstances)));
        if (focus_ != nullptr)
            ::SetFocus(focus_);
        Next(Stage::Summary);
        if (Count(ControlId::lstinstances) > 0)
            Choose(ControlId::lstinstances, 0, LBN_SELCHANGE);
        return;
    case Stage::Summary:
        Next(Stage::SummaryCounted);
        window_.Form().RunMenuCommand(form::MenuCommand::Summary);
        return;
    case Stage::SummaryCounted:
        if (window_.Summary() == nullptr) {
            Fail("the summary window did not open");
            return;
        }
        if (window_.Summary()->Form().Busy())
            return;
        Write("ok");
        Next(Stage::Done);
        ticks_ = 0;
        return;
    case Stage::Done:
        if (::GetFileAttributesA((reportPath_ + ".close").c_str()) != INVALID_FILE_ATTRIBUTES) {
            ticks_ = kMostSteps + 1;
            window_.Form().RunMenuCommand(form::MenuCommand::Exit);
        }
        return;
    }
}

void Road::Write(const std::string& result) {
    std::string report = "result=" + result + "\n";
    auto line = [&report](const std::string& key, const std::string& value) {
        report += key + "=" + value + "\n";
    };
    char caption[256] = {};
    ::GetWindowTextA(window_.Handle(), caption, sizeof caption);
    line("caption", caption);
    line("dpi", std::to_string(window_.Dpi()));
    line("font", window_.FontFace());
    for (const form::ControlDesign& design : form::Controls()) {
        const std::string name(design.name);
        if (design.kind == form::ControlKind::ListBox || design.kind == form::ControlKind::DropDownList) {
            const auto items = window_.ItemsOf(design.id);
            line(name + ".count", std::to_string(items.size()));
            for (std::size_t i = 0; i < items.size() && i < 5; ++i)
                line(name + "[" + std::to_string(i) + "]", items[i]);
        } else {
            std::string text = window_.TextOf(design.id);
            for (char& c : text) {
                if (c == '\r')
                    c = '|';
                else if (c == '\n')
                    c = ' ';
            }
            line(name, text);
        }
        RECT place{};
        ::GetWindowRect(window_.ControlHandle(design.id), &place);
        ::MapWindowPoints(nullptr, window_.Handle(), reinterpret_cast<POINT*>(&place), 2);
        line(name + ".rect", std::to_string(place.left) + "," + std::to_string(place.top) + "," +
                                 std::to_string(place.right - place.left) + "x" +
                                 std::to_string(place.bottom - place.top));
    }
    HWND focus = ::GetFocus();
    line("focus", std::to_string(::GetDlgCtrlID(focus)));
    line("status", window_.StatusText());
    for (const std::string& message : record_.messages)
        line("message", message);
    for (const std::string& shown : record_.instanceWindows) {
        std::string text = shown;
        for (char& c : text) {
            if (c == '\r' || c == '\n')
                c = ' ';
        }
        line("instanceWindow", text);
    }
    if (SummaryWindow* summary = window_.Summary()) {
        line("summary.title", summary->Title());
        line("summary.rows", std::to_string(summary->RowCount()));
        line("summary.columns", std::to_string(summary->ColumnCount()));
        line("summary.status", summary->StatusText());
    }
    HMENU menu = ::GetMenu(window_.Handle());
    for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
        char text[128] = {};
        ::GetMenuStringA(menu, UINT(i), text, sizeof text, MF_BYPOSITION);
        line("menu", text);
    }
    for (const std::string& prompt : record_.savePrompts)
        line("savePrompt", prompt);
    for (const std::string& note : notes_)
        report += note + "\n";
    // Written whole under another name first, so the script never reads half a report.
    const std::string partial = reportPath_ + ".part";
    if (FILE* out = std::fopen(partial.c_str(), "wb")) {
        std::fwrite(report.data(), 1, report.size(), out);
        std::fclose(out);
        ::MoveFileExA(partial.c_str(), reportPath_.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
}

std::unique_ptr<Road> road;

void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD) {
    if (road)
        road->Tick();
}

} // namespace

void StartSelfTest(MainWindow& window, std::string reportPath) {
    road = std::make_unique<Road>(window, std::move(reportPath));
    ::SetTimer(nullptr, 0, kStepMs, OnTick);
}

} // namespace win32ui

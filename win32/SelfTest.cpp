#include "win32/SelfTest.h"

#include <windows.h>

#include <cstdio>
#include <memory>

#include "form/Design.h"
#include "win32/MainWindow.h"
#include "win32/SummaryWindow.h"

namespace win32ui {
namespace {

using form::ControlId;

constexpr UINT kStepMs = 100;
// Each piece of background work and the wait for the screenshot are bounded.
constexpr int kMostSteps = 600;

class Road {
public:
    Road(MainWindow& window, std::string reportPath) : window_(window), reportPath_(std::move(reportPath)) {
        window_.RecordPrompts(&record_);
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
    void Write(const std::string& result);

    MainWindow& window_;
    std::string reportPath_;
    Recorded record_;
    int stage_ = 0;
    int file_ = 0;
    int ticks_ = 0;
};

void Road::Tick() {
    if (++ticks_ > kMostSteps) {
        if (stage_ < 5)
            Write("failed: timed out at stage " + std::to_string(stage_));
        window_.Form().RunMenuCommand(form::MenuCommand::Exit);
        return;
    }
    if (window_.Form().Busy() || !::IsWindowEnabled(window_.Handle()))
        return;
    switch (stage_) {
    case 0: // a debug log file; the next one when it holds no catalogued event
        if (file_ > 0 && Count(ControlId::LstErrors) > 0) {
            stage_ = 1;
            return;
        }
        if (file_ >= Count(ControlId::lstFiles)) {
            Write("failed: no debug log file with a catalogued event");
            stage_ = 5;
            return;
        }
        Choose(ControlId::lstFiles, file_++, LBN_SELCHANGE);
        return;
    case 1: // the first event: its explanation and its instances
        stage_ = 2;
        Choose(ControlId::LstErrors, 0, LBN_SELCHANGE);
        return;
    case 2: // the first instance: its transcript
        if (::SendMessageA(window_.ControlHandle(ControlId::lstinstances), LB_GETCOUNT, 0, 0) <= 0) {
            Write("failed: the event lists no instance");
            stage_ = 5;
            return;
        }
        stage_ = 3;
        Choose(ControlId::lstinstances, 0, LBN_SELCHANGE);
        return;
    case 3: // the instance window, which closes itself
        // The stage moves first: the instance window's own message loop runs the next ticks.
        stage_ = 4;
        Choose(ControlId::lstinstances, 0, LBN_DBLCLK);
        return;
    case 4: // the summary of all files, counted in its own window
        stage_ = 6;
        window_.Form().RunMenuCommand(form::MenuCommand::Summary);
        return;
    case 6:
        if (window_.Summary() == nullptr) {
            Write("failed: the summary window did not open");
            stage_ = 5;
            return;
        }
        if (window_.Summary()->Form().Busy())
            return;
        Write("ok");
        stage_ = 5;
        ticks_ = 0;
        return;
    default: // waits for the screenshot
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

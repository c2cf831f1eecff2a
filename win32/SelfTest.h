// The window's self-test: with "--selftest REPORT" the program drives its own window through the road a
// user takes (a debug log file, an event, an instance and its transcript, the instance window, the exports of
// the File menu, the lists' context menus, Ctrl+C, F5, the summary of all files) by the controls' own
// notifications, menu commands and keys, writes what the window showed to REPORT, and ends through File >
// Exit once the file REPORT.close appears (a screenshot is taken meanwhile) or after a minute. The save
// dialog is answered with files beside REPORT.
#pragma once

#include <string>

namespace win32ui {

class MainWindow;

// Starts the road on the window's message loop; returns at once.
void StartSelfTest(MainWindow& window, std::string reportPath);

} // namespace win32ui

// The window's self-test: with "--selftest REPORT" the program drives its own window through the road a
// user takes (a debug log file, an event, an instance and its transcript, the instance window, the summary
// of all files) by the controls' own notifications, writes what the window showed to REPORT, and ends through
// File > Exit once the file REPORT.close appears (a screenshot is taken meanwhile) or after a minute.
#pragma once

#include <string>

namespace win32ui {

class MainWindow;

// Starts the road on the window's message loop; returns at once.
void StartSelfTest(MainWindow& window, std::string reportPath);

} // namespace win32ui

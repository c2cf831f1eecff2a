// Every text the window shows of its own: titles, captions and the lead texts of its messages, in one place
// so that each front end (the Qt window, the native Windows window) and the command line say exactly the
// same thing. All are ASCII, so they read the same in the ANSI code page and in UTF-8.
#pragma once

#include <string_view>

namespace form {

// The main window's caption and the title of every message box that has no title of its own.
inline constexpr std::string_view kAppTitle = "Brindlemar Log Analyser";
inline constexpr std::string_view kVersionText = "Version 1.2";
// Title of the boxes that report a trapped failure (with the critical icon) or a refused link.
inline constexpr std::string_view kErrorTitle = "Error";
// Title of the boxes that say the library server gave no catalogue.
inline constexpr std::string_view kLibraryTitle = "Library Not Currently Available";

// Lead texts, followed by the platform's description of the failure.
inline constexpr std::string_view kUnableToOpenLog = "Unable to open log file. ";
inline constexpr std::string_view kErrorExamining = "Error in examining logs: ";
inline constexpr std::string_view kErrorReadingStrings = "Error in reading the error strings: ";
// Followed by the library server's whole reply, when "Debug Status" is 1.
inline constexpr std::string_view kServerReturned = "Server Returned: ";
// Followed by the link: a catalogue link that is not a web address is never handed to the desktop.
inline constexpr std::string_view kNotAWebAddress = "This link is not a web address and was not opened: ";

// Captions of the instance window.
inline constexpr std::string_view kErrorDescriptionCaption = "Error Description";
inline constexpr std::string_view kNoActivityFileCaption = "No Activity File Found";

// The directory label while no source's directory is shown.
inline constexpr std::string_view kUnspecified = "(Unspecified)";

// The one box that reports lines of the settings file that could not be read, at start-up.
inline constexpr std::string_view kRegistryProblemsLead =
    "Some lines of the settings file could not be read and were ignored:";

// The status bar after a source is chosen whose debug log directory is a Windows path of a registry export:
// where the copied logs were found on this machine, or why not.
inline constexpr std::string_view kDebugLogsFoundIn = "Debug logs found in ";
inline constexpr std::string_view kDebugLogsNotFound = "Debug logs not found on this machine: ";

// The status bar's word for work the user stopped.
inline constexpr std::string_view kCancelled = "Cancelled";
// The status bar's button that stops the work under way (Esc does the same).
inline constexpr std::string_view kCancelButtonCaption = "Cancel";

// The exports: the save dialogs' titles and file kinds, what is said when there is nothing to export, the
// refusal of a target that is a log, a write that failed ("Unable to write " + path + ": " + reason), and
// the status bar once written.
inline constexpr std::string_view kExportEventsTitle = "Export Events";
inline constexpr std::string_view kExportInstancesTitle = "Export Instances";
inline constexpr std::string_view kCsvFiles = "CSV files";
inline constexpr std::string_view kLogFiles = "Log files";
inline constexpr std::string_view kNoEventsToExport =
    "There are no events to export: choose a log file in which events were counted.";
inline constexpr std::string_view kNoInstancesToExport =
    "There are no lines to export: choose an event that the log file holds.";
inline constexpr std::string_view kExportOverLog =
    "Exports are never written over a log file or into a log directory: ";
inline constexpr std::string_view kUnableToWrite = "Unable to write ";
inline constexpr std::string_view kExported = "Exported ";
inline constexpr std::string_view kExporting = "Exporting";

// The status bar after each fetch: "Library server " + host + ": catalogue for SMTP stored" (or "no
// catalogue for SMTP", "catalogue for SMTP not stored"); working offline with the catalogue stored earlier,
// kUsingStoredCatalogue + its date and time, then the server's address in brackets.
inline constexpr std::string_view kLibraryServer = "Library server ";
inline constexpr std::string_view kUsingStoredCatalogue =
    "Library server not reachable: using the catalogue stored on ";
// The status bar after a refresh that no longer finds the chosen file, after its name.
inline constexpr std::string_view kFileGone = " is no longer in the debug log directory";
// The status bar when a log file could not be opened, followed by its full path.
inline constexpr std::string_view kLogNotOpened = "Log file not opened: ";

// The context menu of the event and instance lists.
inline constexpr std::string_view kCopyCaption = "&Copy";
inline constexpr std::string_view kExportEventsCaption = "Export &Events...";
inline constexpr std::string_view kExportInstancesCaption = "Export &Instances...";

// Addresses on the library server host opened by the Help menu.
inline constexpr std::string_view kOnlineHelpPath = "/Tools/Analysis/help.asp";
inline constexpr std::string_view kKnowledgeBasePath = "/kb";

// ---- the summary window ----
// Its title, followed by " - " and the source it counts.
inline constexpr std::string_view kSummaryTitle = "Summary of All Files";
// Captions of its columns other than the files (each file's column is captioned with the file's name).
inline constexpr std::string_view kSummaryIndexCaption = "Index";
inline constexpr std::string_view kSummarySearchCaption = "Search String";
inline constexpr std::string_view kSummaryTotalCaption = "Total";
// Follows the name of a file that could not be counted, in its column's caption.
inline constexpr std::string_view kSummaryUnreadMark = " (not read)";
// Its buttons.
inline constexpr std::string_view kSummaryExportCaption = "Export CSV...";
inline constexpr std::string_view kSummaryCloseCaption = "Close";
// Its status line while it counts ("File 2 of 7, SMTP-Debug-261208.log: ...") and when it is done.
inline constexpr std::string_view kSummaryFileWord = "File ";
inline constexpr std::string_view kSummaryOfWord = " of ";
inline constexpr std::string_view kSummaryNoFiles = "No debug log files to summarise";
inline constexpr std::string_view kSummaryNoCatalogue =
    "No catalogue is loaded for this source: nothing to summarise";
// Heads the lines under the table that say which files could not be counted and why.
inline constexpr std::string_view kSummaryNotRead = "Not read: ";
// The main window's status bar when a cell of the summary chose what is no longer there.
inline constexpr std::string_view kSummaryOtherSource = "The main window shows another source now: choose ";
inline constexpr std::string_view kSummaryFileGone = "This file is no longer in the file list: ";
inline constexpr std::string_view kSummaryEventGone = "This event is not counted in the file now: ";
// The save dialog of the export and its failure.
inline constexpr std::string_view kSummaryCsvFilter = "CSV files (*.csv)";
inline constexpr std::string_view kSummaryExportFailed = "The summary could not be written: ";
inline constexpr std::string_view kSummaryNotOverLog = "a debug log file is never written over";
inline constexpr std::string_view kSummaryExported = "Summary written to ";
// ---- end of the summary window ----

} // namespace form

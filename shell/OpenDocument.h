// Opening a document or web address with the desktop's default application (for this system's addresses,
// the default web browser), and the messages shown when the desktop refuses. The desktop's answer follows
// the Windows shell's convention: above 32 the document was handed over, 32 or less is an error code.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace shell {

// Answers of ShellOpen that this system gives itself (the codes of the Windows shell).
inline constexpr int kOutOfResources = 0; // "Out of memory or resources"
inline constexpr int kFileNotFound = 2;   // "File not found"
inline constexpr int kAccessDenied = 5;   // "File access denied"
inline constexpr int kOutOfMemory = 8;    // "Out of memory"
inline constexpr int kNoAssociation = 31; // "No associated application"
inline constexpr int kHandedOver = 33;    // any value above 32 means success

// How long ShellOpen waits for the desktop's opener before taking the document as handed over.
inline constexpr std::chrono::milliseconds kHandOverAfter{5000};

// The message for a shell error code (32 or less), e.g. 2 -> "File not found", 4 -> "Unknown error 4",
// -1 -> "Unknown error -1". Never fails.
std::string ShellErrorMessage(int code);

// Hands the target (ANSI text: a path or an address) to the desktop to open with its default application.
// Gives a value above 32 when it was handed over, else an error code of ShellErrorMessage's table; an empty
// target gives kFileNotFound. Never blocks much longer than handOverAfter (an opener still running then is
// taken as having handed the document over, and left to run).
// On Linux the opener is xdg-open, or the program named by the environment variable BRINDLEMAR_OPENER.
int ShellOpen(std::string_view target, std::chrono::milliseconds handOverAfter = kHandOverAfter);

// Opens the target with the desktop's default application: nullopt when it was handed over, else the
// message to show the user (ShellErrorMessage of the shell's answer).
std::optional<std::string> OpenDocument(std::string_view target);

// True when the link starts with "http://" or "https://", the scheme in any capitalisation.
// Example: "HTTPS://library.brindlemar.com/kb" -> true; "javascript:alert(1)" -> false.
bool IsWebAddress(std::string_view link);

} // namespace shell

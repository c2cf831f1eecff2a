// The description Windows gives of one of its error codes, for the Windows backends' failures.
#pragma once

#include <string>

#include "text/Status.h"

namespace text {

// The system's message for a GetLastError code, without its trailing line break and full stop, e.g.
// "The system cannot find the file specified"; "Error " and the code when the system has no text.
std::string WindowsErrorText(unsigned long code);

// A failure carrying WindowsErrorText(code).
Status FromWindowsError(unsigned long code);

} // namespace text

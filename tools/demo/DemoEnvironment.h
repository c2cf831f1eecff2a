// The demo environment: three days of debug and activity logs for every log source, with the catalogued
// events of the sample catalogues scattered through ordinary traffic, laid out as logs copied off the mail
// server into a drive folder, and the server's registry export file, whose Windows paths the analyser finds
// there. The same arguments always give the same bytes.
#pragma once

#include <string>
#include <vector>

#include "text/Status.h"

namespace demo {

struct DemoOptions {
    std::string directory;    // where the environment is made (created when missing)
    std::string catalogueDir; // holds the sample catalogues SOURCE-Analysis.tab
    std::string libraryHost;  // "Library Server" value, e.g. 127.0.0.1:8080; "" writes no value
};

// What was made, for the summary the program prints.
struct DemoSummary {
    std::string registryFile;
    std::vector<std::string> logFiles; // every debug and activity log written
    std::vector<std::string> warnings; // e.g. a source without a sample catalogue (ordinary traffic only)
    std::size_t eventLines = 0;        // debug lines written for catalogued events
    std::size_t debugLines = 0;
};

// The name of the file that marks a directory as a demo environment. The generator does not write into a
// directory that holds a registry.reg, a drives/ or a logs/ unless it is marked, so it never overwrites real
// logs.
inline constexpr const char* kMarkerFileName = "DEMO-README.txt";

// Makes the environment: DIR/drives/c/Program Files/Brindlemar/Logs/SOURCE/Debug/SOURCE-Debug-yymmdd.log,
// .../SOURCE/Activity/SOURCE-Activity-yymmdd.log (cp1252, CR LF) and DIR/registry.reg (version 5, UTF-16LE)
// holding "C:\Program Files\Brindlemar\Logs\SOURCE\Debug" and, as REG_EXPAND_SZ,
// "%SystemDrive%\Program Files\Brindlemar\Logs\SOURCE\Activity".
// Fails with the reason when the directory holds someone else's settings or logs, or a file cannot be
// written.
[[nodiscard]] text::Status MakeDemoEnvironment(const DemoOptions& options, DemoSummary& summary);

} // namespace demo

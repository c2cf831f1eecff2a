// brindlemar-demo: makes a demo environment (generated logs of every log source and a registry export file
// pointing at them) so the analyser and brindlemar-scan can be tried without a mail server.
#include <iostream>
#include <string>
#include <string_view>

#include "tools/demo/DemoEnvironment.h"

namespace {

constexpr std::string_view kUsage =
    "Usage: brindlemar-demo DIR --catalogues CATDIR [--library-host HOST[:PORT]]\n"
    "\n"
    "Makes a demo environment in DIR: three days of debug and activity logs of every log source, with\n"
    "the events of the sample catalogues CATDIR/SOURCE-Analysis.tab among ordinary traffic, copied as\n"
    "from the mail server into DIR/drives/c/Program Files/Brindlemar/Logs, and DIR/registry.reg, the\n"
    "server's settings as the Registry Editor exports them (Windows paths, the library server HOST).\n"
    "DIR may be new, an earlier demo, or any directory without a registry.reg, drives/ or logs/.\n"
    "Use the demo with BRINDLEMAR_REGISTRY=DIR/registry.reg.\n";

int UsageError(std::string_view message) {
    std::cerr << "brindlemar-demo: " << message << "\n\n" << kUsage;
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    demo::DemoOptions options;
    bool haveDir = false, haveCatalogues = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        std::string value;
        std::string name;
        if (arg.rfind("--", 0) == 0) {
            const auto equals = arg.find('=');
            name = arg.substr(0, equals);
            if (name != "--catalogues" && name != "--library-host")
                return UsageError("unknown option " + name);
            if (equals != std::string::npos)
                value = arg.substr(equals + 1);
            else if (i + 1 < argc)
                value = argv[++i];
            else
                return UsageError("option " + name + " needs a value");
            if (name == "--catalogues") {
                options.catalogueDir = value;
                haveCatalogues = true;
            } else {
                options.libraryHost = value;
            }
            continue;
        }
        if (haveDir)
            return UsageError("only one DIR may be given");
        options.directory = arg;
        haveDir = true;
    }
    if (!haveDir || options.directory.empty())
        return UsageError("no DIR given");
    if (!haveCatalogues)
        return UsageError("--catalogues CATDIR is needed");

    demo::DemoSummary summary;
    const auto status = demo::MakeDemoEnvironment(options, summary);
    for (const auto& warning : summary.warnings)
        std::cerr << "warning: " << warning << "\n";
    if (!status.ok) {
        std::cerr << "brindlemar-demo: " << status.description << "\n";
        return 1;
    }
    std::cout << "Demo environment made: " << summary.logFiles.size() << " log files, " << summary.debugLines
              << " debug lines of which " << summary.eventLines << " record catalogued events.\n"
              << "Registry export file: " << summary.registryFile << "\n"
              << "Try: BRINDLEMAR_REGISTRY=" << summary.registryFile << " brindlemar-scan files SMTP\n";
    return 0;
}

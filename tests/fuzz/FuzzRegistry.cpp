// The registry export-file reader and the directory rules over it: any bytes give contents and problems,
// never a crash; a lookup of one key agrees with a full read; the resolvers never fail.
#include <cstdlib>

#include "FuzzSupport.h"
#include "settings/RegFile.h"
#include "settings/Registry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto all = settings::ParseRegFile(bytes);
    const std::string_view key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Brindlemar\\Brindlemar\\Connectors\\SMTP";
    settings::RegFileParseOptions onlyOne;
    onlyOne.onlyKey = std::string(key.substr(19));
    const auto one = settings::ParseRegFile(bytes, onlyOne);
    for (const char* value : {"Debug Log File Directory", "Activity Log Directory", ""}) {
        const auto* a = all.Find(key.substr(19), value);
        const auto* b = one.Find(key.substr(19), value);
        if ((a == nullptr) != (b == nullptr) || (a && (a->type != b->type || a->data != b->data)))
            std::abort();
    }

    static const std::string path = fuzz::ScratchDir() + "/registry.reg";
    static const bool pointed = (setenv("BRINDLEMAR_REGISTRY", path.c_str(), 1), true);
    (void)pointed;
    fuzz::WriteFile(path, bytes);
    for (const char* source : {"SMTP", "pop", "HTTPMAIL", "", "SF "}) {
        (void)settings::GetDebugLogDirectory(source);
        (void)settings::GetActivityLogDirectory(source);
    }
    (void)settings::ReadRegistryDword(settings::kLogAnalysisKey, "Debug Status");
    (void)settings::LibraryServerHost();
    (void)settings::RegistryProblems();
    return 0;
}

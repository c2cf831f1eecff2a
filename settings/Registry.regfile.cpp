// Registry backend over a registry export file: the settings of HKEY_LOCAL_MACHINE as exported by the
// Registry Editor on the mail server's machine. The file is read afresh on every query (it is small and
// read only up to a fixed cap) and never written.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "settings/RegFile.h"
#include "settings/Registry.h"
#include "settings/RegistryBackend.h"
#include "text/File.h"
#include "text/Paths.h"

namespace settings {
namespace {

// An export of the server's keys is a few kilobytes; even a whole hive stays far below this.
constexpr std::size_t kMaxRegistryFileBytes = std::size_t{64} << 20;
constexpr const char* kRegistryFileVariable = "BRINDLEMAR_REGISTRY";
constexpr const char* kRegistryFileName = "registry.reg";
constexpr const char* kDrivesFolderVariable = "BRINDLEMAR_DRIVES";
constexpr const char* kDrivesFolderName = "drives";

// The drive folder named on the command line; empty when none was.
std::string& DrivesFolderOverride() {
    static std::string folder;
    return folder;
}

struct RegistryFile {
    enum class State { Missing, Read, Failed };
    State state = State::Missing;
    std::string bytes;
    bool cut = false;    // larger than the cap: bytes holds its start
    std::string failure; // why it could not be read (State::Failed)
};

RegistryFile ReadRegistryFile(const std::string& path) {
    RegistryFile file;
    // Only a regular file: a directory fails to read, a FIFO would block and a device never ends.
    text::File opened;
    bool missing = false;
    if (const text::Status status = opened.Open(path, &missing); !status) {
        if (missing)
            return file; // no file: an empty registry
        file.state = RegistryFile::State::Failed;
        file.failure = status.description;
        return file;
    }
    // Read as the file was when opened, up to the cap: a size of 0 (a pseudo-file) reads as empty.
    const std::uint64_t size = opened.Size();
    file.cut = size > kMaxRegistryFileBytes;
    file.bytes.resize(file.cut ? kMaxRegistryFileBytes : static_cast<std::size_t>(size));
    std::size_t filled = 0;
    for (;;) {
        std::size_t got = 0;
        if (const text::Status read =
                opened.Read(file.bytes.data() + filled, file.bytes.size() - filled, got);
            !read) {
            file.state = RegistryFile::State::Failed;
            file.failure = read.description;
            file.bytes.clear();
            file.cut = false;
            return file;
        }
        if (got == 0)
            break;
        filled += got;
    }
    file.bytes.resize(filled);
    file.state = RegistryFile::State::Read;
    return file;
}

} // namespace

std::string RegistryFilePath() {
    try {
        const char* named = std::getenv(kRegistryFileVariable);
        if (named != nullptr && *named != '\0')
            return named;
        return text::JoinPath(text::ProgramDirectory(), kRegistryFileName);
    } catch (const std::exception&) {
        return {};
    }
}

std::string DrivesFolder() {
    try {
        if (!DrivesFolderOverride().empty())
            return DrivesFolderOverride();
        const char* named = std::getenv(kDrivesFolderVariable);
        if (named != nullptr && *named != '\0')
            return named;
        const std::filesystem::path beside = std::filesystem::path(RegistryFilePath()).parent_path();
        return beside.empty() ? std::string(kDrivesFolderName)
                              : text::JoinPath(beside.string(), kDrivesFolderName);
    } catch (const std::exception&) {
        return kDrivesFolderName;
    }
}

void SetDrivesFolder(std::string folder) {
    DrivesFolderOverride() = std::move(folder);
}

std::optional<RegValue> QueryValue(std::string_view keyPath, std::string_view valueName) {
    try {
        const RegistryFile file = ReadRegistryFile(RegistryFilePath());
        if (file.state != RegistryFile::State::Read)
            return std::nullopt;
        RegFileParseOptions options;
        options.onlyKey = std::string(keyPath);
        options.collectProblems = false;
        options.inputCut = file.cut;
        const RegFileContents contents = ParseRegFile(file.bytes, options);
        if (const RegValue* value = contents.Find(keyPath, valueName))
            return *value;
        return std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::vector<std::string> RegistryProblems() {
    std::vector<std::string> problems;
    try {
        const std::string path = RegistryFilePath();
        const RegistryFile file = ReadRegistryFile(path);
        if (file.state == RegistryFile::State::Missing)
            return problems;
        if (file.state == RegistryFile::State::Failed) {
            problems.push_back(path + ": cannot be read: " + file.failure);
            return problems;
        }
        if (file.cut)
            problems.push_back(path + ": larger than " + std::to_string(kMaxRegistryFileBytes >> 20) +
                               " MiB: only the first " + std::to_string(kMaxRegistryFileBytes >> 20) +
                               " MiB were read");
        RegFileParseOptions options;
        options.inputCut = file.cut;
        const RegFileContents contents = ParseRegFile(file.bytes, options);
        for (const RegFileProblem& problem : contents.problems) {
            if (problem.line == 0)
                problems.push_back(path + ": " + problem.message);
            else
                problems.push_back(path + ", line " + std::to_string(problem.line) + ": " + problem.message);
        }
        if (contents.problemsLeftOff > 0)
            problems.push_back(path + ": " + std::to_string(contents.problemsLeftOff) +
                               " more lines could not be read");
    } catch (const std::exception&) {
        problems.push_back("the registry export file could not be checked: out of memory");
    }
    return problems;
}

} // namespace settings

// Registry backend over a registry export file: the settings of HKEY_LOCAL_MACHINE as exported by the
// Registry Editor on the mail server's machine. The file is read afresh on every query (it is small and
// read only up to a fixed cap) and never written.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <system_error>

#include "settings/RegFile.h"
#include "settings/Registry.h"
#include "settings/RegistryBackend.h"
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

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string ErrnoText(int error) {
    return std::generic_category().message(error);
}

RegistryFile ReadRegistryFile(const std::string& path) {
    RegistryFile file;
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found)
        return file; // no file: an empty registry
    if (error) {
        file.state = RegistryFile::State::Failed;
        file.failure = error.message();
        return file;
    }
    // Only a regular file: a directory fails to read, a FIFO would block and a device never ends.
    if (status.type() != std::filesystem::file_type::regular) {
        file.state = RegistryFile::State::Failed;
        file.failure = "not a regular file";
        return file;
    }
    errno = 0;
    std::unique_ptr<std::FILE, FileCloser> stream(std::fopen(path.c_str(), "rb"));
    if (!stream) {
        const int openError = errno;
        if (openError == ENOENT || openError == ENOTDIR)
            return file; // removed in between: still just missing
        file.state = RegistryFile::State::Failed;
        file.failure = openError != 0 ? ErrnoText(openError) : "cannot be opened";
        return file;
    }
    const auto size = std::filesystem::file_size(path, error);
    if (!error)
        file.bytes.reserve(size < kMaxRegistryFileBytes ? static_cast<std::size_t>(size)
                                                        : kMaxRegistryFileBytes);
    char chunk[65536];
    while (file.bytes.size() < kMaxRegistryFileBytes) {
        const std::size_t want = std::min(sizeof chunk, kMaxRegistryFileBytes - file.bytes.size());
        const std::size_t got = std::fread(chunk, 1, want, stream.get());
        file.bytes.append(chunk, got);
        if (got < want)
            break;
    }
    if (std::ferror(stream.get())) {
        const int readError = errno;
        file.state = RegistryFile::State::Failed;
        file.failure = readError != 0 ? ErrnoText(readError) : "read error";
        file.bytes.clear();
        return file;
    }
    if (file.bytes.size() == kMaxRegistryFileBytes && std::fgetc(stream.get()) != EOF)
        file.cut = true;
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

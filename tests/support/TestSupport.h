// Helpers shared by the tests: a temporary directory removed on every path, and files written and read
// byte for byte (CR LF, lone CR and cp1252 bytes must reach the disk unchanged).
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace testing_support {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // Path of a name inside the directory, as text.
    std::string File(std::string_view name) const { return (path_ / std::string(name)).string(); }

private:
    std::filesystem::path path_;
};

void WriteBytes(const std::string& path, std::string_view bytes);
std::string ReadBytes(const std::string& path);

// Sets an environment variable for the life of the object, restoring the previous value.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    bool hadValue_ = false;
    std::string oldValue_;
};

// The most memory the process held at once while the object lived, above what it held when it was made:
// the kernel's resident high-water mark (VmHWM), reset at construction. Not measured under
// AddressSanitizer (its shadow memory and quarantine say nothing about the program's own use) or where the
// platform cannot reset the mark.
class PeakMemory {
public:
    PeakMemory();
    bool Measured() const { return measured_; }
    // Bytes by which the peak rose above the resident size at construction (0 when not measured).
    std::size_t GrowthBytes() const;

private:
    bool measured_ = false;
    std::size_t startBytes_ = 0;
};

// Runs body in a child process to which the system gives no new thread (its address space is held so close
// to what it uses that no thread's stack fits) and gives body's result, or -1 if the child died. Nothing
// where that cannot be arranged: on Windows, under the sanitizers (their own memory needs room), or when a
// thread starts all the same.
std::optional<int> WithoutNewThreads(const std::function<int()>& body);

// Writes `count` bytes of `fill` to the end of the file at path (created if missing), a block at a time, so
// that a test can make a file far larger than it would want to hold in memory.
void AppendFill(const std::string& path, char fill, std::size_t count);

} // namespace testing_support

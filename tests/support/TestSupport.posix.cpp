// The test helpers that depend on the platform, on Linux: the environment through setenv, the memory
// high-water mark from /proc, a child process without threads through its address-space limit.
#include "support/TestSupport.h"

#include <cstdlib>
#include <fstream>
#include <future>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testing_support {

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) {
        hadValue_ = true;
        oldValue_ = old;
    }
    ::setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
    if (hadValue_)
        ::setenv(name_.c_str(), oldValue_.c_str(), 1);
    else
        ::unsetenv(name_.c_str());
}

namespace {

// A "Vm...:   1234 kB" line of /proc/self/status, in bytes; 0 when it cannot be read.
std::size_t StatusBytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0)
            return static_cast<std::size_t>(std::strtoull(line.c_str() + field.size() + 1, nullptr, 10)) *
                   1024;
    }
    return 0;
}

} // namespace

PeakMemory::PeakMemory() {
#if defined(__SANITIZE_ADDRESS__)
    return;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return;
#endif
#endif
    // Writing 5 to clear_refs resets the high-water mark to the present resident size.
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.close();
    if (!clear)
        return;
    startBytes_ = StatusBytes("VmRSS");
    measured_ = startBytes_ > 0 && StatusBytes("VmHWM") > 0;
}

std::size_t PeakMemory::GrowthBytes() const {
    if (!measured_)
        return 0;
    const std::size_t peak = StatusBytes("VmHWM");
    return peak > startBytes_ ? peak - startBytes_ : 0;
}

std::optional<int> WithoutNewThreads(const std::function<int()>& body) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return std::nullopt;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    return std::nullopt;
#endif
#endif
    constexpr int kThreadStarted = 77;
    constexpr std::size_t kMaxParked = 64;
    const pid_t child = ::fork();
    if (child < 0)
        return std::nullopt;
    if (child == 0) {
        // Room for a few MiB more than in use: a thread's stack (8 MiB by default) does not fit.
        const std::size_t used = StatusBytes("VmSize");
        const rlimit limit{used + (std::size_t{6} << 20), used + (std::size_t{6} << 20)};
        if (used == 0 || ::setrlimit(RLIMIT_AS, &limit) != 0)
            ::_exit(kThreadStarted);
        // Stacks of threads that have ended are kept for new ones: threads are started on them, and left
        // waiting until the child ends, until no more start.
        std::promise<void> never;
        const std::shared_future<void> end = never.get_future().share();
        std::vector<std::thread> parked;
        parked.reserve(kMaxParked);
        try {
            while (parked.size() < kMaxParked)
                parked.emplace_back([end] { end.wait(); });
            ::_exit(kThreadStarted);
        } catch (const std::system_error&) {
        }
        ::_exit(body()); // without destructors: the parked threads end with the child
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child)
        return std::nullopt;
    if (!WIFEXITED(status))
        return -1;
    if (WEXITSTATUS(status) == kThreadStarted)
        return std::nullopt;
    return WEXITSTATUS(status);
}

} // namespace testing_support

// The test helpers that depend on the platform, on Linux: the environment through setenv, the memory
// high-water mark from /proc.
#include "support/TestSupport.h"

#include <cstdlib>
#include <fstream>
#include <string>

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

} // namespace testing_support

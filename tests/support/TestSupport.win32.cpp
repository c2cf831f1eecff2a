// The test helpers that depend on the platform, on Windows: the environment through _putenv_s; the memory
// high-water mark cannot be reset there, so it is not measured.
#include "support/TestSupport.h"

#include <cstdlib>
#include <string>

namespace testing_support {

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) {
        hadValue_ = true;
        oldValue_ = old;
    }
    ::_putenv_s(name, value.c_str());
}

ScopedEnv::~ScopedEnv() {
    // An empty value removes the variable.
    ::_putenv_s(name_.c_str(), hadValue_ ? oldValue_.c_str() : "");
}

PeakMemory::PeakMemory() = default;

std::size_t PeakMemory::GrowthBytes() const {
    return 0;
}

// A child process cannot be forked here; the scan's and the window's fallback is tested on Linux.
std::optional<int> WithoutNewThreads(const std::function<int()>&) {
    return std::nullopt;
}

} // namespace testing_support

#include "Measure.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace bench {

namespace {

using Clock = std::chrono::steady_clock;

long StatusKib(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::size_t n = std::strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, n, field) == 0 && line.size() > n && line[n] == ':')
            return std::atol(line.c_str() + n + 1);
    return -1;
}

} // namespace

double Seconds(const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Best(int runs, const std::function<void()>& work) {
    double best = Seconds(work);
    for (int i = 1; i < runs; ++i)
        best = std::min(best, Seconds(work));
    return best;
}

std::uint64_t FileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

std::uint64_t BarePass(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    std::vector<char> buffer(std::size_t{1} << 20);
    std::uint64_t lines = 0;
    bool lastWasCr = true;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n <= 0)
            break;
        const char* p = buffer.data();
        const char* end = p + n;
        while (const void* cr = std::memchr(p, '\r', static_cast<std::size_t>(end - p))) {
            ++lines;
            p = static_cast<const char*>(cr) + 1;
        }
        lastWasCr = buffer[static_cast<std::size_t>(n) - 1] == '\r';
    }
    ::close(fd);
    return lines + (lastWasCr ? 0 : 1);
}

bool ResetPeak() {
    std::ofstream out("/proc/self/clear_refs");
    out << "5";
    out.flush();
    return static_cast<bool>(out);
}

MemoryProbe::MemoryProbe() {
#if defined(__GLIBC__)
    // Freed memory that the allocator still holds would be reused by the work without showing in the peak.
    malloc_trim(0);
#endif
    before_ = ResetPeak() ? StatusKib("VmRSS") : StatusKib("VmHWM");
}

long MemoryProbe::IncreaseKib() const {
    return StatusKib("VmHWM") - before_;
}

} // namespace bench

// What the benchmarks measure with: wall-clock timing, the bare pass that every figure is compared with (read
// the file and split it into lines with memchr, nothing else), and the increase of the peak resident memory
// during a piece of work (Linux: /proc/self/status, the peak reset through /proc/self/clear_refs).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace bench {

// Seconds that work takes; the best of `runs` runs (at least one).
double Seconds(const std::function<void()>& work);
double Best(int runs, const std::function<void()>& work);

// The size of the file in bytes; 0 if there is none.
std::uint64_t FileSize(const std::string& path);

// The baseline: reads the file in 1 MiB blocks and splits it into lines with memchr (a line ends at CR);
// gives the number of lines, 0 if the file cannot be opened.
std::uint64_t BarePass(const std::string& path);

// Resets the peak resident size to the current one; false where the platform cannot (then an increase
// measured afterwards is an upper bound).
bool ResetPeak();

// Measures the peak memory increase from its construction: IncreaseKib() is the peak resident size since
// then minus the resident size then. Memory freed earlier is handed back to the system first, so that work
// reusing it still counts it.
class MemoryProbe {
public:
    MemoryProbe();
    long IncreaseKib() const;

private:
    long before_ = 0;
};

} // namespace bench

// brindlemar-bench-transcript: measures the activity transcript lookup on a generated day's activity log and
// reports, in one run, its time as a ratio to a bare pass measured in the same process (read the file and
// split it into lines with memchr, nothing else) and the peak memory increase during a lookup.
//   brindlemar-bench-transcript DIR [--size MIB] [--runs N] [--keep]
// Writes the activity log (default 1024 MiB) into DIR as SMTP-Activity-20240312.log and removes it at the
// end unless --keep is given. The transcript is checked against the lines of the window counted directly.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "Corpus.h"
#include "Measure.h"
#include "text/LineReader.h"
#include "transcript/Transcript.h"

namespace {

constexpr const char* kDebugLogName = "SMTP-Debug-20240312.log";
constexpr const char* kActivityLogName = "SMTP-Activity-20240312.log";
constexpr const char* kDate = "12/03/24";
// An instance in the middle of the day: its window is 11:58:30 to 12:02:30.
constexpr const char* kMidDayInstance = "0A03\t12/03/24 12:00:30\tS0001234\t203.0.113.9:50123\t--> 250 2.1.5 "
                                        "Recipient OK";
// An instance of another day: no line of the log is in its window, so the lookup reads the whole log and
// keeps nothing. Its memory is what reading costs.
constexpr const char* kOtherDayInstance =
    "0A03\t13/03/24 12:00:30\tS0001234\t203.0.113.9:50123\t--> 250 2.1.5 "
    "Recipient OK";

std::string Verdict(bool met) {
    return met ? "met" : "NOT MET";
}

double Mib(double bytes) {
    return bytes / (1 << 20);
}

struct Window {
    std::uint64_t lines = 0;
    std::uint64_t bytes = 0; // the lines' bytes, without separators
};

// The window's lines counted directly from the file, for checking the transcript.
Window CountWindowLines(const std::string& path, const transcript::TranscriptWindow& window) {
    Window counted;
    text::LineReader reader;
    if (!reader.Open(path).ok)
        return counted;
    std::string_view line;
    while (reader.Next(line)) {
        const std::string_view head = line.substr(0, 17);
        if (head >= window.lowerBound && head <= window.upperBound) {
            ++counted.lines;
            counted.bytes += line.size();
        }
    }
    return counted;
}

transcript::TranscriptResult Lookup(const char* instance, const std::string& dir) {
    transcript::TranscriptResult result = transcript::LookupTranscript(instance, kDebugLogName, dir);
    if (result.kind != transcript::TranscriptResult::Kind::Shown) {
        std::fprintf(stderr, "the lookup did not find %s in %s\n", kActivityLogName, dir.c_str());
        std::exit(1);
    }
    return result;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DIR [--size MIB] [--runs N] [--keep]\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    std::uint64_t mib = 1024;
    int runs = 3;
    bool keep = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--size" && i + 1 < argc)
            mib = std::strtoull(argv[++i], nullptr, 10);
        else if (arg == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--keep")
            keep = true;
        else {
            std::fprintf(stderr, "unknown argument: %s\n", arg.c_str());
            return 2;
        }
    }
    if (mib == 0) {
        std::fprintf(stderr, "the size must be above 0\n");
        return 2;
    }

    const std::string log = dir + "/" + kActivityLogName;
    std::string error;
    const double generation = bench::Seconds([&] {
        if (!bench::GenerateActivityLog(log, mib << 20, kDate, 1, error)) {
            std::fprintf(stderr, "cannot write %s: %s\n", log.c_str(), error.c_str());
            std::remove(log.c_str());
            std::exit(1);
        }
    });
    const std::uint64_t size = bench::FileSize(log);
    std::uint64_t lines = bench::BarePass(log); // also brings the file into the page cache
    std::printf("Brindlemar transcript lookup benchmark\n");
    std::printf("activity log: %s, %.1f MiB, %llu lines (written in %.1f s); best of %d runs\n\n",
                log.c_str(), Mib(static_cast<double>(size)), static_cast<unsigned long long>(lines),
                generation, runs);

    // Peak memory first, before anything else has raised the high-water mark or left freed pages to reuse:
    // the lookup that keeps nothing (what reading the log costs), then the one in the middle of the day.
    long otherDayKib = 0;
    std::size_t otherDaySize = 0;
    {
        const bench::MemoryProbe probe;
        otherDaySize = Lookup(kOtherDayInstance, dir).text.size();
        otherDayKib = probe.IncreaseKib();
    }
    transcript::TranscriptResult midDay;
    long midDayKib = 0;
    {
        const bench::MemoryProbe probe;
        midDay = Lookup(kMidDayInstance, dir);
        midDayKib = probe.IncreaseKib();
    }

    const double bare = bench::Best(runs, [&] { lines = bench::BarePass(log); });
    const double lookup = bench::Best(runs, [&] { midDay = Lookup(kMidDayInstance, dir); });
    const double gb = static_cast<double>(size) / 1e9;
    std::printf("bare pass (read + memchr line split):  %7.3f s  %6.2f GB/s\n", bare, gb / bare);
    std::printf("LookupTranscript, 12:00:30:            %7.3f s  %6.2f GB/s\n\n", lookup, gb / lookup);

    // The transcript against the window's lines counted directly: the same lines, one marked.
    const auto window = transcript::TranscriptWindowOf(kMidDayInstance);
    const Window counted = CountWindowLines(log, *window);
    // Lines of the transcript, and the mark: on the first line of the instance's minute, on no other.
    std::uint64_t shownLines = 0;
    std::uint64_t shownBytes = 0;
    bool markRight = true;
    int marks = 0;
    bool minuteSeen = false;
    for (std::size_t start = 0; !midDay.text.empty();) {
        const std::size_t end = midDay.text.find("\r\n", start);
        std::string_view line = std::string_view(midDay.text).substr(start, end - start);
        const bool marked = line.substr(0, 2) == "->";
        if (marked) {
            line.remove_prefix(2);
            ++marks;
        }
        const bool ofMinute = line.substr(0, 17).find(window->matchKey) != std::string_view::npos;
        markRight = markRight && marked == (ofMinute && !minuteSeen);
        minuteSeen = minuteSeen || ofMinute;
        ++shownLines;
        shownBytes += line.size();
        if (end == std::string::npos)
            break;
        start = end + 2;
    }
    const bool same = shownLines == counted.lines && shownBytes == counted.bytes && marks == 1 && markRight &&
                      otherDaySize == 0;

    const double ratio = lookup / bare;
    const double transcriptMib = Mib(static_cast<double>(midDay.text.size()));
    std::printf("Results%s\n",
                bench::ResetPeak() ? "" : " (peak memory could not be reset: increases are upper bounds)");
    std::printf("  transcript vs the window's lines:    %s (%llu lines, %.2f MiB, window %s to %s)\n",
                same ? "identical" : "DIFFERENT", static_cast<unsigned long long>(shownLines), transcriptMib,
                window->lowerBound.c_str(), window->upperBound.c_str());
    std::printf("  lookup time / bare pass:             %6.2fx   target <= 3x: %s\n", ratio,
                Verdict(ratio <= 3).c_str());
    // A lookup holds the read buffer and the transcript; the string that collects the transcript may hold up
    // to twice its size while it grows.
    std::printf(
        "  peak memory increase, 12:00:30:      %6.2f MiB (transcript %.2f MiB) target < 2 x transcript "
        "+ 4 MiB: %s\n",
        midDayKib / 1024.0, transcriptMib, Verdict(midDayKib / 1024.0 < 2 * transcriptMib + 4).c_str());
    std::printf("  peak memory increase, empty window:  %6.2f MiB (reads all %.0f MiB, keeps nothing) target "
                "< 4 MiB: %s\n",
                otherDayKib / 1024.0, Mib(static_cast<double>(size)),
                Verdict(otherDayKib < 4 * 1024).c_str());

    if (!keep)
        std::remove(log.c_str());
    return same ? 0 : 1;
}

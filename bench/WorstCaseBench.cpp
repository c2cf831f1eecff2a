// brindlemar-bench-worst: the fast matcher on the inputs that are hardest for a filter followed by exact
// comparisons (long runs of one byte against long runs of it, search strings that are long runs with
// another last byte, many entries sharing a key, huge catalogues of near-duplicates), each reported as the
// ratio of its time to the bare pass over the same file (read and split into lines), measured in the same
// run. Counts are checked against those the construction of each case implies. Then the peak memory that
// compiling huge catalogues takes.
//   brindlemar-bench-worst [DIR] [--runs N] [--scale PERCENT] [--only TEXT]
// Files are written in a fresh folder inside DIR (default: the system's temporary folder) and removed.
// --scale shrinks the files (and the longest search strings with them) for a quick look; --only runs the
// cases whose name holds TEXT.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "Corpus.h"
#include "Measure.h"
#include "scan/Matcher.h"
#include "scan/Scan.h"

namespace {

using bench::BarePass;
using bench::MemoryProbe;

constexpr double kTargetRatio = 10;

struct Case {
    std::string name;
    std::function<void(std::ofstream&)> write;           // the log
    std::function<std::vector<std::string>()> catalogue; // its search strings
    // The count each entry must get; empty: compared with the plain matcher instead (small files only).
    std::function<std::vector<std::int32_t>(std::size_t entries)> expected;
};

void WriteRun(std::ofstream& out, char byte, std::uint64_t bytes) {
    const std::string chunk(1 << 20, byte);
    for (std::uint64_t left = bytes; left > 0;) {
        const std::uint64_t n = std::min<std::uint64_t>(left, chunk.size());
        out.write(chunk.data(), static_cast<std::streamsize>(n));
        left -= n;
    }
}

std::vector<std::int32_t> All(std::size_t entries, std::int32_t count) {
    return std::vector<std::int32_t>(entries, count);
}

// Near-duplicates of the realistic catalogue: each string with a number worked into it, at its end, at its
// start or in its middle, so that they share keys and prefixes with the strings and with each other.
std::vector<std::string> NearDuplicates(std::size_t count) {
    const std::vector<std::string> base = bench::Catalogue200();
    std::vector<std::string> strings;
    strings.reserve(count);
    for (std::size_t i = 0; strings.size() < count; ++i) {
        std::string s = base[i % base.size()];
        const std::string number = std::to_string(i / base.size());
        switch (i / base.size() % 3) {
        case 0:
            s += " " + number;
            break;
        case 1:
            s = number + " " + s;
            break;
        default:
            s.insert(s.size() / 2, number);
            break;
        }
        strings.push_back(std::move(s));
    }
    return strings;
}

} // namespace

int main(int argc, char** argv) {
    std::filesystem::path parent = std::filesystem::temp_directory_path();
    int runs = 5;
    std::uint64_t scale = 100;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--scale" && i + 1 < argc)
            scale = std::clamp<std::uint64_t>(std::strtoull(argv[++i], nullptr, 10), 1, 100);
        else if (arg == "--only" && i + 1 < argc)
            only = argv[++i];
        else if (!arg.empty() && arg[0] != '-')
            parent = arg;
        else {
            std::fprintf(stderr, "usage: %s [DIR] [--runs N] [--scale PERCENT] [--only TEXT]\n", argv[0]);
            return 2;
        }
    }
    std::error_code error;
    const std::filesystem::path dir = parent / ("brindlemar-bench-worst-" + std::to_string(::getpid()));
    if (!std::filesystem::create_directory(dir, error)) {
        std::fprintf(stderr, "cannot make %s: %s\n", dir.c_str(), error.message().c_str());
        return 1;
    }
    const auto scaled = [&](std::uint64_t bytes) { return std::max<std::uint64_t>(1, bytes * scale / 100); };
    const std::uint64_t mb10 = scaled(10'000'000);
    const std::uint64_t mb1 = scaled(1'000'000);
    const std::uint64_t mib64 = scaled(std::uint64_t{64} << 20);
    const std::size_t run16k = scaled(16384);
    const std::size_t run256k = scaled(262144);

    std::vector<Case> cases;
    cases.push_back({"10 MB line of a, one entry of " + std::to_string(run16k) + " a",
                     [&](std::ofstream& out) { WriteRun(out, 'a', mb10); },
                     [&] { return std::vector<std::string>{std::string(run16k, 'a')}; },
                     [](std::size_t n) { return All(n, 1); }});
    cases.push_back({"10 MB line of a, one entry of " + std::to_string(run256k) + " a",
                     [&](std::ofstream& out) { WriteRun(out, 'a', mb10); },
                     [&] { return std::vector<std::string>{std::string(run256k, 'a')}; },
                     [](std::size_t n) { return All(n, 1); }});
    cases.push_back({"10 MB line of a, entries of " + std::to_string(run16k) + " and " +
                         std::to_string(run256k) + " a ending in b",
                     [&](std::ofstream& out) { WriteRun(out, 'a', mb10); },
                     [&] {
                         return std::vector<std::string>{std::string(run16k - 1, 'a') + "b",
                                                         std::string(run256k - 1, 'a') + "b"};
                     },
                     [](std::size_t n) { return All(n, 0); }});
    cases.push_back(
        {"lines of 20,000 a, entry of 16,384 a ending in CR LF and one ending in b",
         [&](std::ofstream& out) {
             const std::string line = std::string(20000, 'a') + "\r\n";
             for (std::uint64_t written = 0; written < mb10; written += line.size())
                 out << line;
         },
         [] {
             return std::vector<std::string>{std::string(16384, 'a') + "\r\n", std::string(16383, 'a') + "b"};
         },
         [&](std::size_t) {
             const auto lines = static_cast<std::int32_t>((mb10 + 20001) / 20002);
             return std::vector<std::int32_t>{lines, 0};
         }});
    cases.push_back({"1 MB line, 10,000 entries sharing one 4-byte key",
                     [&](std::ofstream& out) {
                         const std::string piece = "Qz7#0000 ";
                         for (std::uint64_t written = 0; written < mb1; written += piece.size())
                             out << piece;
                     },
                     [] {
                         std::vector<std::string> strings;
                         for (int i = 0; i < 10000; ++i) {
                             char s[16];
                             std::snprintf(s, sizeof s, "Qz7#%06d", i);
                             strings.emplace_back(s);
                         }
                         return strings;
                     },
                     [](std::size_t n) { return All(n, 0); }});
    cases.push_back({"64 MiB line of a, 128 runs of a of 1 to 128 bytes",
                     [&](std::ofstream& out) { WriteRun(out, 'a', mib64); },
                     [] {
                         std::vector<std::string> strings;
                         for (std::size_t k = 1; k <= 128; ++k)
                             strings.push_back(std::string(k, 'a'));
                         return strings;
                     },
                     [](std::size_t n) { return All(n, 1); }});
    cases.push_back({"64 MiB line of a, 128 runs of a of 128 to 16,384 bytes",
                     [&](std::ofstream& out) { WriteRun(out, 'a', mib64); },
                     [] {
                         std::vector<std::string> strings;
                         for (std::size_t k = 1; k <= 128; ++k)
                             strings.push_back(std::string(128 * k, 'a'));
                         return strings;
                     },
                     [](std::size_t n) { return All(n, 1); }});
    cases.push_back({"64 MiB of lines of 1,000 a, 128 runs of a ending in CR LF or b",
                     [&](std::ofstream& out) {
                         const std::string line = std::string(1000, 'a') + "\r\n";
                         for (std::uint64_t written = 0; written < mib64; written += line.size())
                             out << line;
                     },
                     [] {
                         std::vector<std::string> strings;
                         for (std::size_t k = 1; k <= 64; ++k) {
                             strings.push_back(std::string(15 * k, 'a') + "\r\n");
                             strings.push_back(std::string(15 * k, 'a') + "b");
                         }
                         return strings;
                     },
                     [&](std::size_t n) {
                         std::vector<std::int32_t> counts(n, 0);
                         const auto lines = static_cast<std::int32_t>((mib64 + 1001) / 1002);
                         for (std::size_t i = 0; i < n; i += 2)
                             counts[i] = lines;
                         return counts;
                     }});
    cases.push_back({"64 MiB realistic log, 100,000 near-duplicates of its catalogue", [&](std::ofstream&) {},
                     [] { return NearDuplicates(100000); }, nullptr});

    std::printf("Brindlemar matcher worst cases: fast matcher time / bare pass over the same file "
                "(read + line split, one thread), median of %d runs' ratios, target <= %.0fx\n"
                "(times: the best run; a file under 32 MiB is passed over as often as makes 32 MiB)\n\n",
                runs, kTargetRatio);
    bool allMet = true;
    for (const Case& c : cases) {
        if (c.name.find(only) == std::string::npos)
            continue;
        const std::string path = (dir / "SMTP-Debug-worst.log").string();
        if (c.expected) {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            c.write(out);
            if (!out.flush()) {
                std::fprintf(stderr, "cannot write %s\n", path.c_str());
                std::filesystem::remove_all(dir, error);
                return 1;
            }
        } else {
            std::string why;
            if (!bench::GenerateDebugLog(path, mib64, 1, why)) {
                std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), why.c_str());
                std::filesystem::remove_all(dir, error);
                return 1;
            }
        }
        const std::vector<std::string> strings = c.catalogue();
        const scan::EventMatcher matcher(strings);
        std::vector<std::int32_t> counts;
        BarePass(path); // into the page cache
        // A small file is passed over several times in each timing, so that a timing is long enough to be
        // trusted; each ratio is that of one run's times, and the figure is the median of the runs' ratios.
        const std::uint64_t reps =
            std::max<std::uint64_t>(1, (std::uint64_t{32} << 20) / bench::FileSize(path));
        const unsigned threads = scan::ScanThreads({});
        const auto countWith = [&](unsigned n) {
            scan::ScanOptions options;
            options.threads = n;
            for (std::uint64_t r = 0; r < reps; ++r)
                if (!scan::CountEvents(path, matcher, counts, options))
                    std::exit(1);
        };
        double bare = 1e300, fast = 1e300;
        std::vector<double> ratios, oneRatios;
        for (int run = 0; run < runs; ++run) {
            const double b = bench::Seconds([&] {
                for (std::uint64_t r = 0; r < reps; ++r)
                    BarePass(path);
            });
            const double f = bench::Seconds([&] { countWith(threads); });
            const double one = bench::Seconds([&] { countWith(1); });
            bare = std::min(bare, b);
            fast = std::min(fast, f);
            ratios.push_back(f / b);
            oneRatios.push_back(one / b);
        }
        std::sort(ratios.begin(), ratios.end());
        std::sort(oneRatios.begin(), oneRatios.end());
        bool right = false;
        if (c.expected) {
            right = counts == c.expected(strings.size());
        } else {
            // Every near-duplicate is one of the realistic strings with a number added; compare a sample
            // with the plain matcher.
            std::vector<std::string> sample(strings.begin(), strings.begin() + 400);
            std::vector<std::int32_t> plain, fastSample;
            if (!scan::CountEvents(path, scan::PlainMatcher(sample), plain) ||
                !scan::CountEvents(path, scan::EventMatcher(sample), fastSample))
                std::exit(1);
            right = plain == fastSample && std::equal(plain.begin(), plain.end(), counts.begin());
        }
        const char* check = !right       ? "COUNTS WRONG"
                            : c.expected ? "counts as built"
                                         : "first 400 counts equal the plain matcher's";
        const double ratio = ratios[ratios.size() / 2];
        const bool met = ratio <= kTargetRatio && right;
        allMet = allMet && met;
        std::printf("%-66s %8.3f s  bare %7.3f s  %6.2fx (%u threads; one %6.2fx)  %s, %s\n", c.name.c_str(),
                    fast, bare, ratio, threads, oneRatios[oneRatios.size() / 2], met ? "met" : "NOT MET",
                    check);
        std::fflush(stdout);
        std::filesystem::remove(path, error);
    }
    std::filesystem::remove_all(dir, error);

    // Compile memory and time of huge catalogues.
    std::printf("\ncompiling huge catalogues (peak memory increase, the catalogue itself included):\n");
    const auto compile = [&](const std::string& name, const std::function<std::vector<std::string>()>& make) {
        const MemoryProbe probe;
        const std::vector<std::string> strings = make();
        const long catalogueKib = probe.IncreaseKib();
        double seconds = 0;
        bool ready = false;
        seconds = bench::Seconds([&] { ready = scan::EventMatcher(strings).Ready(); });
        std::printf("%-50s catalogue %7.1f MiB, compiled +%7.1f MiB peak, %.2f s%s\n", name.c_str(),
                    catalogueKib / 1024.0, (probe.IncreaseKib() - catalogueKib) / 1024.0, seconds,
                    ready ? "" : " (NOT READY)");
    };
    compile("100,000 near-duplicates of realistic strings", [] { return NearDuplicates(100000); });
    compile("1,000,000 tiny entries (1 to 3 bytes)", [] {
        std::vector<std::string> strings;
        strings.reserve(1000000);
        for (std::uint32_t i = 0; strings.size() < 1000000; ++i) {
            std::string s;
            for (std::uint32_t v = i; s.size() < 1 + i % 3; v /= 94)
                s += static_cast<char>(' ' + 1 + v % 94);
            strings.push_back(std::move(s));
        }
        return strings;
    });
    return allMet ? 0 : 1;
}

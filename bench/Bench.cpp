// brindlemar-bench: measures the counting scan on a generated debug log and reports, in one run, ratios to
// baselines measured in the same process: the plain matcher (one search per entry per line) and a bare pass
// that only reads the file and splits it into lines.
//   brindlemar-bench LOG [--slice MIB] [--runs N]
// LOG is written by brindlemar-loggen. The plain matcher runs once over the whole log (about half a minute
// for 1 GiB); with --slice it runs on the log's first MIB mebibytes only, cut at a line end, and the fast
// matcher is timed on the same slice for the speed ratio. Scratch files are written beside LOG and removed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "Corpus.h"
#include "Measure.h"
#include "scan/Matcher.h"
#include "scan/Scan.h"

namespace {

using bench::BarePass;
using bench::Best;
using bench::FileSize;
using bench::MemoryProbe;
using bench::ResetPeak;
using bench::Seconds;

bool CopySlice(const std::string& from, const std::string& to, std::uint64_t bytes) {
    std::ifstream in(from, std::ios::binary);
    std::string data(bytes, '\0');
    in.read(data.data(), static_cast<std::streamsize>(bytes));
    data.resize(static_cast<std::size_t>(in.gcount()));
    const std::size_t cut = data.rfind("\r\n");
    if (cut == std::string::npos)
        return false;
    data.resize(cut + 2);
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(out);
}

std::vector<std::int32_t> Count(const std::string& path, const scan::EventMatcher& matcher,
                                unsigned threads = 0) {
    std::vector<std::int32_t> counts;
    scan::ScanOptions options;
    options.threads = threads;
    const text::Status status = scan::CountEvents(path, matcher, counts, options);
    if (!status) {
        std::fprintf(stderr, "scan of %s failed: %s\n", path.c_str(), status.description.c_str());
        std::exit(1);
    }
    return counts;
}

std::vector<std::int32_t> Count(const std::string& path, const scan::PlainMatcher& matcher) {
    std::vector<std::int32_t> counts;
    const text::Status status = scan::CountEvents(path, matcher, counts);
    if (!status) {
        std::fprintf(stderr, "plain scan of %s failed: %s\n", path.c_str(), status.description.c_str());
        std::exit(1);
    }
    return counts;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

std::string Verdict(bool met) {
    return met ? "met" : "NOT MET";
}

double Gbps(std::uint64_t bytes, double seconds) {
    return static_cast<double>(bytes) / seconds / 1e9;
}

std::string CountSummary(const std::vector<std::int32_t>& counts) {
    const auto found = std::count_if(counts.begin(), counts.end(), [](std::int32_t c) { return c > 0; });
    std::int64_t lines = 0;
    for (const std::int32_t c : counts)
        lines += c;
    return std::to_string(found) + " of " + std::to_string(counts.size()) + " entries found, " +
           std::to_string(lines) + " counted lines";
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s LOG [--slice MIB] [--runs N]\n", argv[0]);
        return 2;
    }
    const std::string log = argv[1];
    std::uint64_t sliceMib = 0;
    int runs = 5;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--slice" && i + 1 < argc)
            sliceMib = std::strtoull(argv[++i], nullptr, 10);
        else if (arg == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else {
            std::fprintf(stderr, "unknown argument: %s\n", arg.c_str());
            return 2;
        }
    }
    const std::uint64_t size = FileSize(log);
    if (size == 0) {
        std::fprintf(stderr, "no log at %s (write one with brindlemar-loggen)\n", log.c_str());
        return 1;
    }

    const std::vector<std::string> strings200 = bench::Catalogue200();
    const std::vector<std::string> strings30 = bench::Catalogue30();
    const scan::EventMatcher fast200(strings200);
    const scan::EventMatcher fast30(strings30);
    const scan::PlainMatcher plain200(strings200);
    const scan::PlainMatcher plain30(strings30);

    std::uint64_t lines = BarePass(log); // also brings the file into the page cache
    std::printf("Brindlemar scan benchmark\n");
    std::printf("log: %s, %.1f MiB, %llu lines; catalogues of %zu and %zu search strings; %d runs (times: "
                "the best; ratios: the median)\n\n",
                log.c_str(), static_cast<double>(size) / (1 << 20), static_cast<unsigned long long>(lines),
                strings30.size(), strings200.size(), runs);

    // Peak memory first, before anything else has raised the high-water mark.
    std::vector<std::int32_t> counts200;
    long scanKib = 0;
    {
        const MemoryProbe probe;
        counts200 = Count(log, fast200);
        scanKib = probe.IncreaseKib();
    }

    // Each run times the bare pass and then the fast matcher on every thread and on one; a figure is the
    // median of the runs' ratios to the bare pass of the same run (the machine's speed drifts between runs).
    const unsigned threads = scan::ScanThreads({});
    std::vector<std::int32_t> counts30;
    double bare = 1e300, fastTime200 = 1e300, fastTime30 = 1e300;
    std::vector<double> ratio200, ratio30, ratioOne200, ratioOne30;
    for (int run = 0; run < runs; ++run) {
        const double b = Seconds([&] { lines = BarePass(log); });
        const double f200 = Seconds([&] { counts200 = Count(log, fast200, threads); });
        const double f30 = Seconds([&] { counts30 = Count(log, fast30, threads); });
        const double one200 = Seconds([&] { counts200 = Count(log, fast200, 1); });
        const double one30 = Seconds([&] { counts30 = Count(log, fast30, 1); });
        bare = std::min(bare, b);
        fastTime200 = std::min(fastTime200, f200);
        fastTime30 = std::min(fastTime30, f30);
        ratio200.push_back(f200 / b);
        ratio30.push_back(f30 / b);
        ratioOne200.push_back(one200 / b);
        ratioOne30.push_back(one30 / b);
    }
    std::printf("bare pass (read + memchr line split):  %7.3f s  %6.2f GB/s  (one thread)\n", bare,
                Gbps(size, bare));
    std::printf("fast matcher, 200 strings:             %7.3f s  %6.2f GB/s  %s (%u threads)\n", fastTime200,
                Gbps(size, fastTime200), CountSummary(counts200).c_str(), threads);
    std::printf("fast matcher, 30 strings:              %7.3f s  %6.2f GB/s  %s (%u threads)\n\n", fastTime30,
                Gbps(size, fastTime30), CountSummary(counts30).c_str(), threads);

    // The plain matcher: on a slice (throughputs compared) or on the whole log.
    std::string plainPath = log;
    const std::string slicePath = log + ".bench-slice";
    if (sliceMib > 0 && sliceMib << 20 < size) {
        if (!CopySlice(log, slicePath, sliceMib << 20)) {
            std::fprintf(stderr, "cannot write %s\n", slicePath.c_str());
            return 1;
        }
        plainPath = slicePath;
    }
    const std::uint64_t plainSize = FileSize(plainPath);
    std::vector<std::int32_t> plainCounts200, plainCounts30, sliceFast200 = counts200, sliceFast30 = counts30;
    const double plainTime200 = Seconds([&] { plainCounts200 = Count(plainPath, plain200); });
    const double plainTime30 = Seconds([&] { plainCounts30 = Count(plainPath, plain30); });
    double sliceFastTime200 = fastTime200, sliceFastTime30 = fastTime30;
    if (plainPath != log) {
        sliceFastTime200 = Best(runs, [&] { sliceFast200 = Count(plainPath, fast200); });
        sliceFastTime30 = Best(runs, [&] { sliceFast30 = Count(plainPath, fast30); });
        std::printf(
            "plain matcher measured on the log's first %.1f MiB (cut at a line end); the fast matcher\n"
            "is timed on the same slice and throughputs are compared:\n",
            static_cast<double>(plainSize) / (1 << 20));
    } else {
        std::printf("plain matcher measured on the whole log:\n");
    }
    const double speedup200 = plainTime200 / sliceFastTime200;
    const double speedup30 = plainTime30 / sliceFastTime30;
    std::printf("plain matcher, 200 strings:            %7.3f s  %6.3f GB/s\n", plainTime200,
                Gbps(plainSize, plainTime200));
    std::printf("plain matcher, 30 strings:             %7.3f s  %6.3f GB/s\n\n", plainTime30,
                Gbps(plainSize, plainTime30));
    const bool same200 = plainCounts200 == sliceFast200;
    const bool same30 = plainCounts30 == sliceFast30;
    if (plainPath == slicePath)
        std::remove(slicePath.c_str());

    // A single line far longer than the read block.
    const std::string longPath = log + ".bench-longline";
    long longLineKib = -1;
    std::int32_t longLineCount = -1;
    {
        std::ofstream out(longPath, std::ios::binary | std::ios::trunc);
        const std::string chunk(1 << 20, 'x');
        for (int i = 0; i < 200; ++i) {
            out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
            if (i == 150)
                out << " Connection reset by peer ";
        }
        out << "Relaying denied";
        if (out.flush()) {
            out.close();
            const MemoryProbe probe;
            const std::vector<std::int32_t> counts = Count(longPath, fast200);
            longLineKib = probe.IncreaseKib();
            // The reset in the middle of the line, and the anchored string at its end.
            const auto countOf = [&](const std::string& s) {
                const auto it = std::find(strings200.begin(), strings200.end(), s);
                return it == strings200.end() ? 0 : counts[static_cast<std::size_t>(it - strings200.begin())];
            };
            longLineCount = countOf("Connection reset by peer") + countOf("Relaying denied\r\n");
        }
        std::remove(longPath.c_str());
    }

    // The instance list of a frequent event.
    scan::InstanceLines instances;
    long listKib = 0;
    double listTime = 0;
    {
        const MemoryProbe probe;
        listTime = Seconds([&] {
            if (!instances.Build(log, bench::kFrequentEvent))
                std::exit(1);
        });
        listKib = probe.IncreaseKib();
    }
    std::string sample = instances.Size() > 0 ? instances.Line(instances.Size() / 2) : "";
    const double readBack = Seconds([&] {
        for (std::size_t i = 0; i < instances.Size(); i += std::max<std::size_t>(1, instances.Size() / 1000))
            sample = instances.Line(i);
    });

    std::printf("Results%s\n",
                ResetPeak() ? "" : " (peak memory could not be reset: increases are upper bounds)");
    std::printf("  counts fast vs plain, 200 strings:   %s (%s)\n", same200 ? "identical" : "DIFFERENT",
                CountSummary(plainCounts200).c_str());
    std::printf("  counts fast vs plain, 30 strings:    %s (%s)\n", same30 ? "identical" : "DIFFERENT",
                CountSummary(plainCounts30).c_str());
    std::printf("  fast / plain speed, 200 strings:     %6.1fx   target >= 20x: %s\n", speedup200,
                Verdict(speedup200 >= 20).c_str());
    std::printf("  fast / plain speed, 30 strings:      %6.1fx   target >= 3x:  %s\n", speedup30,
                Verdict(speedup30 >= 3).c_str());
    std::printf("  fast time / bare pass, 200 strings:  %6.2fx   target <= 2.5x: %s (%u threads; one thread "
                "%.2fx)\n",
                Median(ratio200), Verdict(Median(ratio200) <= 2.5).c_str(), threads, Median(ratioOne200));
    std::printf("  fast time / bare pass, 30 strings:   %6.2fx   target <= 1.5x: %s (%u threads; one thread "
                "%.2fx)\n",
                Median(ratio30), Verdict(Median(ratio30) <= 1.5).c_str(), threads, Median(ratioOne30));
    std::printf("  peak memory increase, whole-log scan: %5.2f MiB on %u threads, target < 16 MiB each: %s\n",
                scanKib / 1024.0, threads, Verdict(scanKib < 16 * 1024 * static_cast<long>(threads)).c_str());
    std::printf("  peak memory increase, 200 MiB line:  %6.2f MiB (%d of 2 events found): %s\n",
                longLineKib / 1024.0, longLineCount,
                Verdict(longLineKib >= 0 && longLineKib < 16 * 1024).c_str());
    const double perMillion = instances.Size() ? listTime * 1e6 / static_cast<double>(instances.Size()) : 0.0;
    std::printf("  InstanceLines, %zu instances:     %6.3f s (%.3f s per million) target about 1 s: %s\n"
                "    (\"%s\"; list memory %.1f MiB; 1000 lines read back in %.4f s)\n",
                instances.Size(), listTime, perMillion, Verdict(perMillion <= 1.5).c_str(),
                bench::kFrequentEvent, listKib / 1024.0, readBack);
    return same200 && same30 ? 0 : 1;
}

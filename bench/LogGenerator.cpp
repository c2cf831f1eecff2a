// brindlemar-loggen: writes a realistic debug log for measuring the scan.
//   brindlemar-loggen PATH [SIZE_MIB] [SEED]     (default 1024 MiB, seed 1)
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Corpus.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: %s PATH [SIZE_MIB] [SEED]\n", argv[0]);
        return 2;
    }
    const unsigned long long mib = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1024;
    const unsigned long long seed = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1;
    std::string error;
    if (mib == 0 || !bench::GenerateDebugLog(argv[1], mib << 20, seed, error)) {
        std::fprintf(stderr, "cannot write %s: %s\n", argv[1],
                     mib == 0 ? "size must be above 0" : error.c_str());
        return 1;
    }
    return 0;
}

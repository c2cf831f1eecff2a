#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer + AddressSanitizer + UBSan) and runs each for a while.
# Usage: scripts/fuzz.sh [seconds-per-target] [target...]   (default 30 s, every target)
# Installs what is missing first (clang and its runtime libraries come with scripts/setup.sh); the window
# program is not built. Findings (crash-*, leak-*, timeout-*, oom-* inputs) are written to
# build-fuzz/findings/<target>/, each target's output to build-fuzz/<target>.log; the corpora grow in
# build-fuzz/corpus/<target>/, seeded from tests/fuzz/corpus/<name>/. Exits 1 if any target found anything.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true

CC=clang CXX=clang++ scripts/setup.sh build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRINDLEMAR_FUZZ=ON \
    -DBRINDLEMAR_BUILD_APP=OFF -DBRINDLEMAR_BUILD_TESTS=OFF -DBRINDLEMAR_BUILD_BENCH=OFF >/dev/null

targets=("$@")
if ((${#targets[@]} == 0)); then
    for t in build-fuzz/tests/fuzz/Fuzz*; do [ -x "$t" ] && targets+=("$(basename "$t")"); done
fi
if ((${#targets[@]} == 0)); then
    echo "No fuzz targets were built in build-fuzz/tests/fuzz/" >&2
    exit 1
fi

export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1:allocator_may_return_null=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
status=0
for t in "${targets[@]}"; do
    seeds=tests/fuzz/corpus/${t#Fuzz}
    seeds=${seeds,,}
    corpus=build-fuzz/corpus/$t
    findings=build-fuzz/findings/$t
    if [ ! -x build-fuzz/tests/fuzz/"$t" ] || [ ! -d "$seeds" ]; then
        echo "$t: no such fuzz target, or no seeds in $seeds" >&2
        status=1
        continue
    fi
    mkdir -p "$corpus" "$findings"
    echo "== $t for ${seconds}s"
    build-fuzz/tests/fuzz/"$t" "$corpus" "$seeds" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -max_len=65536 -artifact_prefix="$findings/" -print_final_stats=1 \
        2>build-fuzz/"$t".log &
    pid=$!
    rc=0
    wait $pid || rc=$?
    # The target's scratch files (tests/fuzz/FuzzSupport.h: ScratchDir).
    rm -rf "/dev/shm/brindlemar-fuzz-$pid" "/tmp/brindlemar-fuzz-$pid"
    if ((rc != 0)); then
        echo "$t FAILED: see build-fuzz/$t.log and $findings/"
        tail -n 40 build-fuzz/"$t".log
        status=1
    fi
    grep -E "stat::number_of_executed_units|stat::peak_rss_mb" build-fuzz/"$t".log || true
done
exit $status

#!/usr/bin/env bash
# The Windows build in one command: installs what is missing (MinGW-w64, Wine, Xvfb), cross-builds in
# build-win64/, runs the Windows tests under Wine in a Wine prefix of their own, checks brindlemar-scan.exe
# against the Linux build (same JSON on the same logs and catalogues; `sources` reads the prefix's registry,
# 32-bit view first), measures the scan under Wine against Linux, and writes
# dist/brindlemar-analyser-<version>-win64.zip.
# Usage: scripts/windows.sh [linux-build-dir]   (default build; built here when it has no brindlemar-scan)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
linux_build=$(realpath -m "${1:-build}")
win_build=build-win64

packages=(cmake ninja-build g++-mingw-w64-x86-64-posix wine64 xvfb x11-utils imagemagick zip googletest
    nlohmann-json3-dev)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo=""
    if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

echo "== cross-build for 64-bit Windows in $win_build/"
cmake -S . -B "$win_build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DBRINDLEMAR_BUILD_APP=OFF >/dev/null
cmake --build "$win_build" -j2

# A Wine prefix of the build's own: its registry is the one the tests write and the program reads. No
# Mono or Gecko (nothing here needs them, and their installers would ask); no display needed.
wine=/usr/lib/wine/wine64
export WINEPREFIX="$root/$win_build/wineprefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# English (United States) settings: the ANSI code page is Windows-1252, as on the Linux build.
export LANG=en_US.UTF-8
unset LC_ALL
unset DISPLAY
# Wine's background processes must not hold this script's output open: every start has its own
# streams on /dev/null.
mkdir -p "$WINEPREFIX"
/usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1
trap '/usr/lib/wine/wineserver -k </dev/null >/dev/null 2>&1 || true' EXIT
if [ ! -d "$WINEPREFIX/drive_c/windows" ]; then
    echo "== making the Wine prefix $WINEPREFIX"
fi
# wineboot may report failure on a first start although the prefix is made; the check decides.
"$wine" wineboot -i </dev/null >/dev/null 2>&1 || true
[ -d "$WINEPREFIX/drive_c/windows" ] || { echo "cannot make the Wine prefix $WINEPREFIX"; exit 1; }

echo "== Windows tests under Wine"
# Verbose, so the log holds each program's GoogleTest summary (the brief form prints little else).
ctest --test-dir "$win_build" --output-on-failure -V </dev/null >"$win_build/wine-tests.log" 2>&1 ||
    { cat "$win_build/wine-tests.log"; exit 1; }
grep -E '^[0-9]+/[0-9]+ Test|tests passed|\[  (PASSED|FAILED|SKIPPED)' "$win_build/wine-tests.log" | sed 's/^[0-9]*: //'
gtests=$({ grep -hoE '\[==========\] [0-9]+ tests? from' "$win_build/wine-tests.log" || true; } |
    awk '{s += $2} END {print s + 0}')
echo "GoogleTest cases run under Wine: $gtests"

# The Linux build the .exe is compared with.
if [ ! -x "$linux_build/bin/brindlemar-scan" ] || [ ! -x "$linux_build/bench/brindlemar-loggen" ] ||
    [ ! -x "$linux_build/bin/brindlemar-demo" ] || [ ! -x "$linux_build/bin/brindlemar-library-server" ]; then
    echo "== Linux build for the comparison in $linux_build/"
    cmake -S . -B "$linux_build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$linux_build" -j2 --target brindlemar-scan brindlemar-loggen brindlemar-demo \
        brindlemar-library-server
fi
linux_scan=$linux_build/bin/brindlemar-scan
win_scan=$root/$win_build/bin/brindlemar-scan.exe
winpath() { "$wine" winepath -w "$1" 2>/dev/null | tr -d '\r'; }
exe() { "$wine" "$win_scan" "$@"; }

echo "== brindlemar-scan.exe against the Linux build"
work=$root/$win_build/compare
rm -rf "$work"
mkdir -p "$work"
"$linux_build/bin/brindlemar-demo" "$work/demo" --catalogues "$linux_build/bin/catalogues" \
    --library-host 127.0.0.1:9 >/dev/null
failures=0
same() { # NAME LINUX-OUTPUT WINDOWS-OUTPUT
    if cmp -s "$2" "$3"; then
        echo "same: $1"
    else
        echo "DIFFERENT: $1"
        diff <(head -c 2000 "$2") <(head -c 2000 "$3") || true
        failures=$((failures + 1))
    fi
}
export BRINDLEMAR_REGISTRY=$work/demo/registry.reg
for source in SMTP POP; do
    # The demo keeps its logs where the server would, under its drive folder.
    debug_dir="$work/demo/drives/c/Program Files/Brindlemar/Logs/$source/Debug"
    activity_dir="$work/demo/drives/c/Program Files/Brindlemar/Logs/$source/Activity"
    catalogue=$linux_build/bin/catalogues/$source-Analysis.tab
    log=$(ls "$debug_dir" | head -n 1)
    event=$("$linux_scan" scan --log "$debug_dir/$log" --catalogue "$catalogue" --json |
        sed -n 's/.*"index":\([0-9]*\).*/\1/p' | head -n 1)
    event=${event:-0}
    args_linux=(--log "$debug_dir/$log" --catalogue "$catalogue")
    args_win=(--log "$(winpath "$debug_dir/$log")" --catalogue "$(winpath "$catalogue")")
    "$linux_scan" scan "${args_linux[@]}" --json >"$work/$source-scan.linux"
    exe scan "${args_win[@]}" --json >"$work/$source-scan.win"
    same "$source scan" "$work/$source-scan.linux" "$work/$source-scan.win"
    "$linux_scan" instances "${args_linux[@]}" --event "$event" --json >"$work/$source-instances.linux"
    exe instances "${args_win[@]}" --event "$event" --json >"$work/$source-instances.win"
    same "$source instances of event $event" "$work/$source-instances.linux" "$work/$source-instances.win"
    "$linux_scan" transcript "${args_linux[@]}" --activity-dir "$activity_dir" --event "$event" --instance 0 \
        --json >"$work/$source-transcript.linux"
    exe transcript "${args_win[@]}" --activity-dir "$(winpath "$activity_dir")" --event "$event" --instance 0 \
        --json >"$work/$source-transcript.win"
    same "$source transcript" "$work/$source-transcript.linux" "$work/$source-transcript.win"
done
unset BRINDLEMAR_REGISTRY

echo "== sources from the prefix's registry (32-bit view first)"
smtp_key='HKLM\SOFTWARE\Brindlemar\Brindlemar\Connectors\SMTP'
pop_key='HKLM\SOFTWARE\Brindlemar\Brindlemar\services\pop'
smtp32=$(winpath "$work/demo/drives/c/Program Files/Brindlemar/Logs/SMTP/Debug")
"$wine" reg add "$smtp_key" /v "Debug Log File Directory" /d "$smtp32" /f /reg:32 >/dev/null
"$wine" reg add "$smtp_key" /v "Debug Log File Directory" /d 'C:\the-64-bit-view\SMTP' /f /reg:64 >/dev/null
"$wine" reg add "$pop_key" /v "Activity Log Directory" /d 'C:\only-64\POP' /f /reg:64 >/dev/null
exe sources --json >"$work/sources.win"
cat "$work/sources.win"
expected_smtp=$(printf '%s' "$smtp32" | sed 's/\\/\\\\/g')
if grep -qF "\"code\":\"SMTP\",\"debugDir\":\"$expected_smtp\"" "$work/sources.win" &&
    grep -qF 'C:\\only-64\\POP' "$work/sources.win" && ! grep -qF 'the-64-bit-view' "$work/sources.win"; then
    echo "same: sources read the 32-bit view first, then the 64-bit view"
else
    echo "DIFFERENT: sources did not read the registry views as expected"
    failures=$((failures + 1))
fi
# The files command lists through the registry and FindFirstFileA what the Linux build lists.
BRINDLEMAR_REGISTRY=$work/demo/registry.reg "$linux_scan" files SMTP --json | sed 's/"dir":"[^"]*",//' \
    >"$work/files.linux"
exe files SMTP --json | sed 's/"dir":"[^"]*",//' >"$work/files.win"
same "files SMTP" "$work/files.linux" "$work/files.win"
"$wine" reg delete 'HKLM\SOFTWARE\Brindlemar' /f /reg:32 >/dev/null 2>&1 || true
"$wine" reg delete 'HKLM\SOFTWARE\Brindlemar' /f /reg:64 >/dev/null 2>&1 || true

echo "== scan speed under Wine as a ratio to Linux (256 MiB log, timed alternately, best of 3)"
big=$work/SMTP-Debug-speed.log
"$linux_build/bench/brindlemar-loggen" "$big" 256 7
catalogue=$linux_build/bin/catalogues/SMTP-Analysis.tab
big_win=$(winpath "$big")
catalogue_win=$(winpath "$catalogue")
best_linux=999999
best_win=999999
for round in 1 2 3; do
    t0=$(date +%s%N)
    "$linux_scan" scan --log "$big" --catalogue "$catalogue" --json >"$work/speed.linux"
    t1=$(date +%s%N)
    exe scan --log "$big_win" --catalogue "$catalogue_win" --json >"$work/speed.win"
    t2=$(date +%s%N)
    ms_linux=$(((t1 - t0) / 1000000))
    ms_win=$(((t2 - t1) / 1000000))
    ((ms_linux < best_linux)) && best_linux=$ms_linux
    ((ms_win < best_win)) && best_win=$ms_win
done
same "scan of the 256 MiB log" "$work/speed.linux" "$work/speed.win"
# What starting a program costs under Wine, for reading the ratio: the same scan of a one-line log.
printf 'x\r\n' >"$work/SMTP-Debug-tiny.log"
t0=$(date +%s%N)
"$linux_scan" scan --log "$work/SMTP-Debug-tiny.log" --catalogue "$catalogue" --json >/dev/null
t1=$(date +%s%N)
exe scan --log "$(winpath "$work/SMTP-Debug-tiny.log")" --catalogue "$catalogue_win" --json >/dev/null
t2=$(date +%s%N)
start_linux=$(((t1 - t0) / 1000000))
start_win=$(((t2 - t1) / 1000000))
echo "a one-line log (start-up and catalogue): Linux ${start_linux} ms, Wine ${start_win} ms"
rm -f "$big"
ratio=$(awk -v w="$best_win" -v l="$best_linux" 'BEGIN { printf "%.2f", (l > 0 ? w / l : 0) }')
echo "scan of 256 MiB: Linux ${best_linux} ms, Wine ${best_win} ms: Wine takes ${ratio}x the Linux time"

echo "== the window under Wine on a virtual display"
window_ok=1
scripts/window-test.sh "$linux_build" "$win_build" || window_ok=0
if ((window_ok == 0)); then
    echo "the window's road under Wine failed"
    failures=$((failures + 1))
fi

echo "== dist/"
version=$(sed -n 's/^project(BrindlemarLogAnalyser VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
package=brindlemar-analyser-$version-win64
stage=$root/$win_build/$package
rm -rf "$stage"
mkdir -p "$stage" dist
cp "$win_scan" "$win_build/bin/brindlemar-analyser.exe" "$stage/"
# Notepad wants CR LF.
sed 's/$/\r/' scripts/windows-README.txt >"$stage/README.txt"
rm -f "dist/$package.zip"
(cd "$win_build" && zip -q -r -9 "$root/dist/$package.zip" "$package")
size=$(stat -c %s "dist/$package.zip")
echo "dist/$package.zip: $size bytes"

cat >"$win_build/figures.txt" <<EOF
zip: dist/$package.zip, $size bytes
GoogleTest cases run under Wine: $gtests
scan of 256 MiB: Linux $best_linux ms, Wine $best_win ms, ratio $ratio
a one-line log: Linux $start_linux ms, Wine $start_win ms
window road under Wine: $( ((window_ok)) && echo passed || echo FAILED)
comparisons that differed: $failures
EOF
if ((failures > 0)); then
    echo "$failures comparison(s) with the Linux build differed"
    exit 1
fi
echo "Windows build: all comparisons with the Linux build agree"

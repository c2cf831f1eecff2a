#!/usr/bin/env bash
# The Windows window under Wine on a virtual display: a registry written into the test prefix, logs made by
# the demo generator, a library server on 127.0.0.1, then brindlemar-analyser.exe --selftest walks from
# start-up to a file, an event, an instance and its transcript (and the instance window), the File menu's
# exports, the lists' context menus, Ctrl+C and F5, and the summary of all files, writes what the window
# showed, and a screenshot is kept as build-win64/window-screenshot.png before File > Exit.
# Usage: scripts/window-test.sh [linux-build-dir] [windows-build-dir]   (run by scripts/windows.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
linux_build=$(realpath -m "${1:-build}")
win_build=$(realpath -m "${2:-build-win64}")
wine=/usr/lib/wine/wine64
export WINEPREFIX=${WINEPREFIX:-$win_build/wineprefix} WINEARCH=win64 WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="

work=$win_build/window
rm -rf "$work"
mkdir -p "$work/program"
cp "$win_build/bin/brindlemar-analyser.exe" "$work/program/"
"$linux_build/bin/brindlemar-demo" "$work/demo" --catalogues "$linux_build/bin/catalogues" \
    --library-host 127.0.0.1:9 >/dev/null

pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    "$wine" reg delete 'HKLM\SOFTWARE\Brindlemar' /f /reg:32 </dev/null >/dev/null 2>&1 || true
}
trap cleanup EXIT
[ -n "${KEEP:-}" ] && trap - EXIT

# A display of its own, at 96 dpi.
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
# Wine's background processes of this prefix learn the display when they start: the ones started without
# it (by the other Windows tests) are ended first.
/usr/lib/wine/wineserver -k </dev/null >/dev/null 2>&1 || true
/usr/lib/wine/wineserver -w </dev/null >/dev/null 2>&1 || true

"$linux_build/bin/brindlemar-library-server" --bind 127.0.0.1 --port 0 --dir "$linux_build/bin/catalogues" \
    </dev/null >"$work/server.out" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/server.out" ] && break; sleep 0.1; done
port=$(head -n 1 "$work/server.out" | sed -n 's/.*127\.0\.0\.1:\([0-9]*\).*/\1/p')
[ -n "$port" ] || { echo "the library server did not start"; cat "$work/server.out"; exit 1; }

winpath() { "$wine" winepath -w "$1" </dev/null 2>/dev/null | tr -d '\r'; }
reg() { "$wine" reg add "$@" /f /reg:32 </dev/null >/dev/null 2>&1; }
root_key='HKLM\SOFTWARE\Brindlemar\Brindlemar'
reg "$root_key\\Utilities\\Log Analysis" /v "Library Server" /d "127.0.0.1:$port"
reg "$root_key\\Connectors\\SMTP" /v "Debug Log File Directory" /d "$(winpath "$work/demo/drives/c/Program Files/Brindlemar/Logs/SMTP/Debug")"
reg "$root_key\\Connectors\\SMTP" /v "Activity Log Directory" /d "$(winpath "$work/demo/drives/c/Program Files/Brindlemar/Logs/SMTP/Activity")"


report=$work/report.txt
start=$(date +%s)
"$wine" "$work/program/brindlemar-analyser.exe" --selftest "$(winpath "$report")" </dev/null \
    >"$work/window.out" 2>&1 &
window=$!
for _ in $(seq 900); do [ -f "$report" ] && break; kill -0 "$window" 2>/dev/null || break; sleep 0.1; done
if [ -f "$report" ]; then
    sleep 0.5 # the last paint
    import -window root "$win_build/window-screenshot.png" 2>/dev/null || echo "no screenshot taken"
fi
touch "$report.close"
for _ in $(seq 200); do kill -0 "$window" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$window" 2>/dev/null; then
    echo "FAILED: the window did not end on File > Exit"
    kill "$window" || true
    exit 1
fi
echo "the window's road took $(($(date +%s) - start)) s under Wine"
[ -f "$report" ] || { echo "FAILED: the window wrote no report"; cat "$work/window.out"; exit 1; }
shown='result|caption|dpi|font|lstLogSource\[0\]|lstFiles.count|LstErrors\[0\]|lstinstances.count'
shown+='|status|message|menu|summary\..*|savePrompt|export\..*|instanceMenu.*|eventMenu.*|clipboard\..*'
shown+='|refresh\..*'
sed 's/\r//' "$report" | grep -E "^($shown)=" | cut -c1-150

failures=0
expect() { # DESCRIPTION EXTENDED-REGEX
    if grep -qE "$2" "$report"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}
expect "the road ended" '^result=ok$'
expect "the caption" '^caption=Brindlemar Log Analyser$'
expect "seven sources, SMTP chosen" '^lstLogSource.count=7$'
expect "the SMTP catalogue fetched: events counted" '^LstErrors\[0\]=[0-9]+ \[[0-9]+\]  '
expect "the event's explanation" '^txtErrorDescription=.+'
expect "its instances listed" '^lstinstances.count=[1-9]'
expect "the instance's transcript" '^txtTranscript=.+'
expect "the instance window" '^instanceWindow=Error Description: .+'
expect "the menus" '^menu=&Help$'
expect "no message box" '^status=' # present in every report
expect "the summary window" '^summary.title=Summary of All Files - SMTP$'
# The summary has a column per file (and index, search string, total) and a row for every event counted in
# any file: at least those of the file chosen on the road.
value() { sed 's/\r//' "$report" | sed -n "s/^$1=//p" | head -n 1; }
files=$(value lstFiles.count)
events=$(value LstErrors.count)
rows=$(value summary.rows)
columns=$(value summary.columns)
if [ -n "$rows" ] && [ -n "$events" ] && [ "$rows" -ge "$events" ] && [ "$events" -gt 0 ] &&
    [ "$columns" = "$((files + 3))" ]; then
    echo "ok: the summary's $rows rows and $columns columns over $files files"
else
    echo "FAILED: the summary's rows ($rows, the file showed $events events) and columns ($columns, $files files)"
    failures=$((failures + 1))
fi
# The File menu's exports, answered with files beside the report: what the save dialog was asked, the status
# bar, and what the files hold.
expect "Export Events asked for a CSV file named after the log file" \
    '^savePrompt=Export Events: .+-events\.csv$'
expect "Export Instances asked for a log file named after the log file and the event" \
    '^savePrompt=Export Instances: .+-event-[0-9]+\.log$'
expect "the events exported" '^export\.events\.status=Exported [0-9]+ events? to .+\\export-events\.csv$'
expect "the events file: UTF-8 with its byte order mark" '^export\.events\.bom=yes$'
expect "the events file's header" '^export\.events\[0\]=index,count,search,link,explanation$'
expect "the instances exported" \
    '^export\.instances\.status=Exported [0-9]+ lines? to .+\\export-instances\.log$'
expect "the instances file: the log's bytes, no byte order mark" '^export\.instances\.bom=no$'
# The lists' context menus, opened by a right-click on the list and used by an item's access key.
expect "the instance list's menu: two items" '^instanceMenu\.count=2$'
expect "the instance list's menu: Copy" '^instanceMenu\[0\]=&Copy\\tCtrl\+C$'
expect "the instance list's menu: Export Instances..." '^instanceMenu\[1\]=Export &Instances\.\.\.$'
expect "the event list's menu: two items" '^eventMenu\.count=2$'
expect "the event list's menu: Copy" '^eventMenu\[0\]=&Copy\\tCtrl\+C$'
expect "the event list's menu: Export Events..." '^eventMenu\[1\]=Export &Events\.\.\.$'
prompts=$(grep -c '^savePrompt=' "$report" || true)
prompt() { grep '^savePrompt=' "$report" | sed -n "$1p"; }
if [ "$prompts" = 3 ] && [ "$(prompt 3)" = "$(prompt 1)" ]; then
    echo "ok: Export Events... on the event list's menu asked as File > Export Events... did"
else
    echo "FAILED: the save prompts ($prompts of 3, the third the same as the first)"
    failures=$((failures + 1))
fi
same_value() { # DESCRIPTION KEY KEY
    local a b
    a=$(value "$2")
    b=$(value "$3")
    if [ -n "$a" ] && [ "$a" = "$b" ]; then
        echo "ok: $1"
    else
        echo "FAILED: $1 ($2: '$a', $3: '$b')"
        failures=$((failures + 1))
    fi
}
same_value "the instances file's first line is the first instance" 'export\.instances\[0\]' \
    'lstinstances\[0\]'
same_value "the instances file holds a line per instance" 'export\.instances\.lines' 'lstinstances\.count'
same_value "the event list's menu exported the same events file" 'export\.eventsFromMenu\.size' \
    'export\.events\.size'
same_value "Copy on the instance list's menu copied the first instance" 'clipboard\.menu' \
    'lstinstances\[0\]'
same_value "Ctrl+C on the instance list copied the first instance" 'clipboard\.keys' 'lstinstances\[0\]'
events_csv=$(value 'export\.events\.lines')
if [ -n "$events_csv" ] && [ "$events_csv" -gt "$events" ]; then
    echo "ok: the events file's $events_csv lines hold the header and the $events events"
else
    echo "FAILED: the events file's lines ($events_csv) for $events events"
    failures=$((failures + 1))
fi
# F5 through the accelerator table: the file counted again (the transcript is emptied and the event chosen
# again), the same events shown.
same_value "F5 counted the same events again" 'refresh\.events\.before' 'refresh\.events\.after'
same_value "F5 listed the event's instances again" 'refresh\.instances\.after' 'lstinstances\.count'
shown_before=$(value 'refresh\.transcript\.before')
shown_after=$(value 'refresh\.transcript\.after')
if [ "${shown_before:-0}" -gt 0 ] && [ "$shown_after" = 0 ]; then
    echo "ok: F5 emptied the transcript shown before it"
else
    echo "FAILED: F5 did not refresh (transcript before: $shown_before bytes, after: $shown_after)"
    failures=$((failures + 1))
fi
if grep -q '^message=' "$report"; then
    echo "FAILED: the road showed a message box"
    failures=$((failures + 1))
fi
exit $((failures > 0))

#!/usr/bin/env bash
# Installs what is missing, builds, and starts the window program.
# With no registry export file configured (BRINDLEMAR_REGISTRY unset and no registry.reg beside the
# program) it first makes a demo environment and starts a library server on a free loopback port, which
# it stops again when the window closes.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/setup.sh build >/dev/null
bin=$root/build/bin

if [ -n "${BRINDLEMAR_REGISTRY:-}" ] || [ -f "$bin/registry.reg" ]; then
    exec "$bin/brindlemar-analyser" "$@"
fi

demo=$root/demo
echo "No registry export file is configured: making a demo environment in $demo"
rm -rf "$demo"
mkdir -p "$demo"

# The library server picks a free port and says which on its first line.
server_log=$demo/library-server.log
"$bin/brindlemar-library-server" --port 0 --dir "$bin/catalogues" >"$server_log" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true; wait $server 2>/dev/null || true' EXIT
port=""
for _ in $(seq 1 100); do
    port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$server_log" | head -n 1)
    [ -n "$port" ] && break
    kill -0 $server 2>/dev/null || { cat "$server_log" >&2; exit 1; }
    sleep 0.1
done
[ -n "$port" ] || { echo "The library server did not start:" >&2; cat "$server_log" >&2; exit 1; }
echo "Library server on 127.0.0.1:$port (requests are logged in $server_log)"

"$bin/brindlemar-demo" "$demo" --catalogues "$bin/catalogues" --library-host "127.0.0.1:$port"
export BRINDLEMAR_REGISTRY=$demo/registry.reg

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    "$bin/brindlemar-analyser" "$@"
    exit $?
fi

# No display: the same analysis on the command line.
scan=$bin/brindlemar-scan
echo
echo "No display was found, so here is the same analysis through brindlemar-scan."
"$scan" fetch SMTP
"$scan" sources
"$scan" files SMTP
first=$("$scan" files SMTP --json | sed -n 's/.*"files": *\["\([^"]*\)".*/\1/p')
if [ -n "$first" ]; then
    echo
    echo "Events in $first:"
    "$scan" scan SMTP "$first"
fi
echo
echo "To see the window, run scripts/run.sh in a desktop session, or under a virtual display:"
echo "    xvfb-run -s '-screen 0 1280x800x24' scripts/run.sh    (Debian package xvfb)"

#!/usr/bin/env bash
# Runs clang-tidy (checks in .clang-tidy) over the core's sources and programs without Qt: text settings
# catalogue scan transcript shell cli tools (and form/ once it exists). Fails on any finding.
# Usage: scripts/tidy.sh [build-dir]   (a configured build folder with compile_commands.json)
# The window (app/) is left out: its Qt headers and moc code would need a check set of their own.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}

if ! command -v clang-tidy >/dev/null; then
    echo "Installing: clang-tidy"
    sudo=""
    if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends clang-tidy
fi
if [ ! -f "$build_dir/compile_commands.json" ]; then
    echo "tidy: no $build_dir/compile_commands.json; configure the build first (scripts/setup.sh $build_dir)" >&2
    exit 2
fi

folders=(text settings catalogue scan transcript shell cli tools form)
sources=()
for folder in "${folders[@]}"; do
    [ -d "$folder" ] || continue
    while IFS= read -r file; do
        # Only the files this build compiles (the other platforms' backends have no compile command).
        if grep -q "\"file\": \"$PWD/$file\"" "$build_dir/compile_commands.json"; then
            sources+=("$file")
        fi
    done < <(find "$folder" -name '*.cpp' | sort)
done
echo "tidy: ${#sources[@]} files"

log=$(mktemp)
trap 'rm -f "$log"' EXIT
# Two files at a time (the machine's two cores); --quiet drops the per-file count of suppressed warnings.
status=0
printf '%s\0' "${sources[@]}" |
    xargs -0 -n 1 -P 2 clang-tidy -p "$build_dir" --quiet >"$log" 2>&1 || status=$?
if [ "$status" -ne 0 ] || grep -qE '(warning|error):' "$log"; then
    grep -vE '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$' "$log" >&2 || true
    echo "tidy: findings above" >&2
    exit 1
fi
echo "tidy: clean"

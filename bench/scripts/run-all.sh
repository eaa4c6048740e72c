#!/usr/bin/env bash
# Runs every figure of docs/performance.md one after the other and keeps each output.
#
# Usage: bench/scripts/run-all.sh [BUILD_DIR] [OUTPUT_DIR]
#        (defaults: build-perf of the repository, a new folder under /tmp)
set -euo pipefail

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build_dir=$(cd "${1:-$repo_root/build-perf}" && pwd)
out_dir=${2:-$(mktemp -d /tmp/kestrovan-perf.XXXXXX)}
mkdir -p "$out_dir"

facts() {
    echo "date: $(date -u +%FT%TZ)"
    echo "nproc: $(nproc)"
    echo "cpu: $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)"
    echo "kernel: $(uname -r)"
    echo "build type: $(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build_dir/CMakeCache.txt")"
    echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
}

run() {
    local name=$1
    shift
    echo "== $name: $*" >&2
    { facts; echo "command: $*"; echo; "$@" 2>&1; } >"$out_dir/$name.txt"
}

cd "$repo_root"
run cores "$build_dir/bench/cores/bench_cores"
run web "$build_dir/bench/web/bench_web"
run speedtest bench/scripts/speedtest-accuracy.sh "$build_dir"
run window bench/scripts/window-figures.sh "$build_dir"
run watch "$build_dir/bench/window/bench_watch"
echo "outputs in $out_dir" >&2

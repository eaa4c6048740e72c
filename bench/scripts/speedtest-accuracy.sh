#!/usr/bin/env bash
# Speed-test accuracy: starts tinyproxy in the foreground on a free loopback port with a config
# file of its own, runs bench_speedtest through it and stops it again.
#
# Usage: bench/scripts/speedtest-accuracy.sh [BUILD_DIR] [benchmark options...]
#        (default BUILD_DIR: build-perf of the repository)
set -euo pipefail

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build_dir=${1:-$repo_root/build-perf}
shift || true
bench_bin=$build_dir/bench/window/bench_speedtest

fail() {
    echo "speedtest-accuracy: $*" >&2
    exit 1
}

[[ -x $bench_bin ]] || fail "$bench_bin not found; build the target bench_speedtest first"
command -v tinyproxy >/dev/null || fail "tinyproxy is not installed (apt-get install tinyproxy)"

work_dir=$(mktemp -d)
proxy_pid=""
cleanup() {
    if [[ -n $proxy_pid ]] && kill -0 "$proxy_pid" 2>/dev/null; then
        kill "$proxy_pid"
        wait "$proxy_pid" 2>/dev/null || true
    fi
    rm -rf "$work_dir"
}
trap cleanup EXIT

port_open() {
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# tinyproxy cannot report a port it chose itself: try free-looking ports until one listens.
start_proxy() {
    local port attempt
    for attempt in $(seq 10); do
        port=$((20000 + RANDOM % 40000))
        port_open "$port" && continue
        {
            echo "Port $port"
            echo "Listen 127.0.0.1"
            echo "Allow 127.0.0.1"
            echo "Timeout 60"
            echo "MaxClients 20"
            echo "LogLevel Info"
            if [[ $(id -u) -eq 0 ]]; then
                echo "User nobody"
                echo "Group nogroup"
            fi
        } >"$work_dir/tinyproxy.conf"
        tinyproxy -d -c "$work_dir/tinyproxy.conf" </dev/null >"$work_dir/tinyproxy.log" 2>&1 &
        proxy_pid=$!
        for _ in $(seq 50); do
            if port_open "$port"; then
                echo "$port"
                return 0
            fi
            kill -0 "$proxy_pid" 2>/dev/null || break
            sleep 0.1
        done
        kill "$proxy_pid" 2>/dev/null || true
        wait "$proxy_pid" 2>/dev/null || true
        proxy_pid=""
        echo "tinyproxy did not listen on $port (attempt $attempt)" >&2
    done
    return 1
}

start_proxy >"$work_dir/port" || fail "could not start tinyproxy; last log: $(tail -n 3 "$work_dir/tinyproxy.log")"
proxy_port=$(<"$work_dir/port")
echo "tinyproxy $(tinyproxy -v 2>&1 | head -n 1) on 127.0.0.1:$proxy_port (pid $proxy_pid)" >&2

# Only the window's own proxy setting may apply; Qt gets a runtime folder of its own.
mkdir -m 700 "$work_dir/run"
export XDG_RUNTIME_DIR=$work_dir/run
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
KESTROVAN_BENCH_PROXY_PORT=$proxy_port QT_QPA_PLATFORM=offscreen "$bench_bin" "$@"
echo "requests through tinyproxy: $(grep -c 'Request (file descriptor' "$work_dir/tinyproxy.log" || true)" >&2

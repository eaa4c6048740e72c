#!/usr/bin/env bash
# kestrovan-check on a list of 990 loopback entries: two tinyproxy instances and the demo's slow
# proxy that work, ports where nothing listens, and proxies that accept and never answer. Prints
# wall time, CPU time and peak memory of the check all at once, of a tenth of the list checked one
# at a time, and the delays next to those of the window's speed test through the same proxies.
#
# Usage: bench/scripts/check-list.sh [BUILD_DIR]   (default: build of the repository)
# Environment: CHECK_TIMEOUT (default 15), LOOKUP_DELAY_MS (300), SLOW_PROXY_DELAY_MS (1500),
#              SEQUENTIAL=0 skips the one-at-a-time run (it takes minutes: one time-out per silent proxy).
set -euo pipefail

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build_dir=${1:-$repo_root/build}
check_bin=$build_dir/check/kestrovan-check
demo_bin=$build_dir/demo/kestrovan-demo
window_bench=$build_dir/bench/window/bench_speedtest
timeout=${CHECK_TIMEOUT:-15}
lookup_delay_ms=${LOOKUP_DELAY_MS:-300}
slow_delay_ms=${SLOW_PROXY_DELAY_MS:-1500}

fail() {
    echo "check-list: $*" >&2
    exit 1
}
[[ -x $check_bin && -x $demo_bin ]] || fail "build kestrovan-check and kestrovan-demo in $build_dir first"
command -v tinyproxy >/dev/null || fail "tinyproxy is not installed"

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY

port_open() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
# A port in 20000-59999 where nothing listens now.
free_port() {
    local port
    while :; do
        port=$((20000 + RANDOM % 40000))
        port_open "$port" || { echo "$port"; return; }
    done
}
wait_open() {
    for _ in $(seq 100); do port_open "$1" && return 0; sleep 0.05; done
    fail "nothing listens on $1"
}

home=$(free_port) lookup=$(free_port) slow=$(free_port)
"$demo_bin" --home-port "$home" --lookup-port "$lookup" --lookup-delay-ms "$lookup_delay_ms" \
    --slow-proxy-port "$slow" --slow-proxy-delay-ms "$slow_delay_ms" >"$work/demo.log" 2>&1 &
pids+=($!)
tinyproxies=()
for i in 1 2; do
    port=$(free_port)
    printf 'Port %s\nListen 127.0.0.1\nAllow 127.0.0.1\nMaxClients 100\nLogLevel Warning\n%s' "$port" \
        "$( (($(id -u) == 0)) && printf 'User nobody\nGroup nogroup\n')" >"$work/tinyproxy$i.conf"
    tinyproxy -d -c "$work/tinyproxy$i.conf" >"$work/tinyproxy$i.log" 2>&1 &
    pids+=($!)
    tinyproxies+=("$port")
done
# Four proxies that take every connection and never say a word.
silent=("$(free_port)" "$(free_port)" "$(free_port)" "$(free_port)")
python3 - "${silent[@]}" >"$work/silent.log" 2>&1 <<'PYTHON' &
import selectors, socket, sys
selector, held = selectors.DefaultSelector(), []
for port in sys.argv[1:]:
    server = socket.create_server(("127.0.0.1", int(port)), backlog=1024)
    server.setblocking(False)
    selector.register(server, selectors.EVENT_READ)
while True:
    for key, _ in selector.select():
        try:
            held.append(key.fileobj.accept()[0])
        except BlockingIOError:
            pass
PYTHON
pids+=($!)
for port in "$home" "$lookup" "$slow" "${tinyproxies[@]}" "${silent[@]}"; do wait_open "$port"; done
refusing=()
for _ in 1 2 3 4; do refusing+=("$(free_port)"); done

# 990 entries: the three working proxies first, then refusing and silent ones taking turns.
{
    printf '127.0.0.1:%s\r\n' "${tinyproxies[@]}" "$slow"
    for i in $(seq 0 986); do
        if ((i % 2)); then
            printf '127.0.0.1:%s\r\n' "${silent[i % 4]}"
        else
            printf '127.0.0.1:%s\r\n' "${refusing[i % 4]}"
        fi
    done
} >"$work/list.txt"
# A tenth of it, in the same proportions, for the check one at a time.
head -n 102 "$work/list.txt" >"$work/tenth.txt"

# Runs the check; prints "wall_s user_s sys_s max_rss_kib" and leaves the JSON in $work/$1.json.
timed_check() {
    local name=$1
    shift
    /usr/bin/time -f '%e %U %S %M' -o "$work/$name.time" "$check_bin" --home "http://127.0.0.1:$home" \
        --lookup "http://127.0.0.1:$lookup" --timeout "$timeout" --json "$@" >"$work/$name.json" || true
    cat "$work/$name.time"
}
summary() {
    python3 - "$work/$1.json" <<'PYTHON'
import collections, json, sys
results = json.load(open(sys.argv[1], encoding="utf-8"))
classes = collections.Counter(r.get("failure", "working") for r in results)
print(f"  {len(results)} entries: " + ", ".join(f"{k} {v}" for k, v in sorted(classes.items())))
for r in results:
    if r["working"]:
        print(f"  {r['entry']}: {r['delay']} s")
PYTHON
}

echo "== all at once: 990 entries, time-out ${timeout} s, lookup delay ${lookup_delay_ms} ms, slow proxy +${slow_delay_ms} ms"
read -r wall user sys rss < <(timed_check all --list "$work/list.txt")
echo "  wall ${wall} s ($(python3 -c "print(round($wall / $timeout, 2))") x the time-out), CPU ${user} s user + ${sys} s system, peak RSS $((rss / 1024)) MiB"
summary all

if [[ ${SEQUENTIAL:-1} != 0 ]]; then
    echo "== one at a time: the first 102 entries (3 working, 50 refusing, 49 silent)"
    read -r wall user sys rss < <(timed_check one --list "$work/tenth.txt" --concurrency 1)
    echo "  wall ${wall} s, CPU ${user} s user + ${sys} s system, peak RSS $((rss / 1024)) MiB"
    echo "  (the whole list so: about $(python3 -c "print(round($wall * 990 / 102 / 60))") minutes)"
    summary one
fi

if [[ -x $window_bench ]]; then
    echo "== the window's speed test through the same proxies, result page held ${lookup_delay_ms} ms"
    mkdir -m 700 "$work/run"
    for port in "${tinyproxies[0]}" "$slow"; do
        XDG_RUNTIME_DIR=$work/run KESTROVAN_BENCH_PROXY_PORT=$port QT_QPA_PLATFORM=offscreen "$window_bench" \
            --benchmark_filter="BM_SpeedTestThroughProxy/delay_ms:${lookup_delay_ms}/" --benchmark_format=json \
            2>/dev/null | python3 -c "
import json, sys
run = json.load(sys.stdin)['benchmarks'][0]
print(f'  127.0.0.1:$port: window {run[\"reported_ms\"] / 1000:g} s (true {run[\"true_ms\"]:.0f} ms)')"
    done
fi

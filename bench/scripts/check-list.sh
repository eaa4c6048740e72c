#!/usr/bin/env bash
# kestrovan-check on a list of 990 loopback entries: two tinyproxy instances and the demo's slow
# proxy that work, ports where nothing listens, and proxies that accept and never answer. Each check
# loads the lookup page and, beside it, opens a tunnel to the demo's TLS target (demo CA). Prints
# wall time, CPU time and peak memory of the check all at once, of a tenth of the list checked one
# at a time, and the delays next to those of the window's speed test through the same proxies.
# Then a hostile mix of 990: a third endless answers, a third stalled at 4 MiB, a third working
# (six tinyproxy instances), where every working entry must pass; and large lists of the first
# mix's proportions (LARGE), for time and memory as the list grows.
#
# Usage: bench/scripts/check-list.sh [BUILD_DIR]   (default: build of the repository)
# Environment: CHECK_TIMEOUT (default: kestrovan-check's, the speed test's limit), LOOKUP_DELAY_MS (300), SLOW_PROXY_DELAY_MS (1500),
#              SEQUENTIAL=0 skips the one-at-a-time run (it takes minutes: one time-out per silent proxy),
#              HOSTILE=0 skips the hostile mix, LARGE="10000 100000" sizes of the large lists (default
#              none), LARGE_TIMEOUT (2) their time-out.
set -euo pipefail

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build_dir=${1:-$repo_root/build}
check_bin=$build_dir/check/kestrovan-check
demo_bin=$build_dir/demo/kestrovan-demo
window_bench=$build_dir/bench/window/bench_speedtest
timeout=${CHECK_TIMEOUT:-}
lookup_delay_ms=${LOOKUP_DELAY_MS:-300}
slow_delay_ms=${SLOW_PROXY_DELAY_MS:-1500}

fail() {
    echo "check-list: $*" >&2
    exit 1
}
[[ -x $check_bin && -x $demo_bin ]] || fail "build kestrovan-check and kestrovan-demo in $build_dir first"
command -v tinyproxy >/dev/null || fail "tinyproxy is not installed"
if [[ -z $timeout ]]; then
    timeout=$("$check_bin" --help | sed -n 's/^ *--timeout .*默认\([0-9.]*\)$/\1/p')
    [[ -n $timeout ]] || fail "kestrovan-check --help names no default time-out"
fi

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

home=$(free_port) lookup=$(free_port) slow=$(free_port) tls=$(free_port)
tls_dir=$build_dir/demo-tls
"$repo_root/scripts/demo-tls.sh" "$tls_dir"
"$demo_bin" --home-port "$home" --lookup-port "$lookup" --lookup-delay-ms "$lookup_delay_ms" \
    --slow-proxy-port "$slow" --slow-proxy-delay-ms "$slow_delay_ms" --tls-port "$tls" --tls-dir "$tls_dir" \
    >"$work/demo.log" 2>&1 &
pids+=($!)
tinyproxies=()
for i in 1 2 3 4 5 6; do
    port=$(free_port)
    printf 'Port %s\nListen 127.0.0.1\nAllow 127.0.0.1\nMaxClients 400\nLogLevel Warning\n%s' "$port" \
        "$( (($(id -u) == 0)) && printf 'User nobody\nGroup nogroup\n')" >"$work/tinyproxy$i.conf"
    tinyproxy -d -c "$work/tinyproxy$i.conf" >"$work/tinyproxy$i.log" 2>&1 &
    pids+=($!)
    tinyproxies+=("$port")
done
# Four proxies that take every connection and never say a word (until the client closes it).
silent=("$(free_port)" "$(free_port)" "$(free_port)" "$(free_port)")
python3 - "${silent[@]}" >"$work/silent.log" 2>&1 <<'PYTHON' &
import selectors, socket, sys
selector = selectors.DefaultSelector()
for port in sys.argv[1:]:
    server = socket.create_server(("127.0.0.1", int(port)), backlog=4096)
    server.setblocking(False)
    selector.register(server, selectors.EVENT_READ, data="listening")
while True:
    for key, _ in selector.select():
        if key.data == "listening":
            try:
                connection = key.fileobj.accept()[0]
                connection.setblocking(False)
                selector.register(connection, selectors.EVENT_READ, data="held")
            except OSError:
                pass
            continue
        # A held connection is read (and never answered) until the client gives up on it.
        try:
            closed = not key.fileobj.recv(65536)
        except BlockingIOError:
            closed = False
        except OSError:
            closed = True
        if closed:
            selector.unregister(key.fileobj)
            key.fileobj.close()
PYTHON
pids+=($!)
for port in "$home" "$lookup" "$slow" "${tinyproxies[@]}" "${silent[@]}"; do wait_open "$port"; done
refusing=()
for _ in 1 2 3 4; do refusing+=("$(free_port)"); done

# 990 entries: the three working proxies first, then refusing and silent ones taking turns.
{
    printf '127.0.0.1:%s\r\n' "${tinyproxies[@]:0:2}" "$slow"
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
        --lookup "http://127.0.0.1:$lookup" --tunnel "https://127.0.0.1:$tls/" --ca-file "$tls_dir/ca.pem" \
        --timeout "$timeout" --json "$@" >"$work/$name.json" || true
    cat "$work/$name.time"
}
summary() {
    python3 - "$work/$1.json" <<'PYTHON'
import collections, json, sys
results = json.load(open(sys.argv[1], encoding="utf-8"))
classes = collections.Counter(r.get("failure", "working") for r in results)
print(f"  {len(results)} entries: " + ", ".join(f"{k} {v}" for k, v in sorted(classes.items())))
https = collections.Counter(r["https"] for r in results)
print("  HTTPS: " + ", ".join(f"{k} {v}" for k, v in sorted(https.items())))
working = [r for r in results if r["working"]]
for r in working[:5]:
    print(f"  {r['entry']}: {r['delay']} s, https {r['https']}")
if len(working) > 5:
    print(f"  ... {len(working) - 5} more working")
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

if [[ ${HOSTILE:-1} != 0 ]]; then
    endless=$(free_port) stalled=$(free_port)
    python3 "$repo_root/bench/scripts/hostile-proxies.py" "endless:$endless" "stall4m:$stalled" \
        >"$work/hostile.log" 2>&1 &
    pids+=($!)
    wait_open "$endless"
    wait_open "$stalled"
    for i in $(seq 0 329); do
        printf '127.0.0.1:%s\r\n127.0.0.1:%s\r\n127.0.0.1:%s\r\n' "$endless" "$stalled" "${tinyproxies[i % 6]}"
    done >"$work/hostile.txt"
    echo "== hostile mix: 330 endless, 330 stalled at 4 MiB - 16 bytes, 330 working (6 tinyproxy), time-out ${timeout} s"
    read -r wall user sys rss < <(timed_check hostile --list "$work/hostile.txt")
    echo "  wall ${wall} s ($(python3 -c "print(round($wall / $timeout, 2))") x the time-out), CPU ${user} s user + ${sys} s system, peak RSS $((rss / 1024)) MiB"
    python3 - "$work/hostile.json" "${tinyproxies[@]}" <<'PYTHON'
import json, sys
results = json.load(open(sys.argv[1], encoding="utf-8"))
good = {f"127.0.0.1:{p}" for p in sys.argv[2:]}
working = [r for r in results if r["entry"] in good]
passed = [r for r in working if r["working"]]
print(f"  working entries passed: {len(passed)} of {len(working)}; "
      f"HTTPS supported {sum(r['https'] == 'supported' for r in passed)}")
PYTHON
fi

for size in ${LARGE:-}; do
    large_timeout=${LARGE_TIMEOUT:-2}
    python3 - "$work/list.txt" "$size" >"$work/large.txt" <<'PYTHON'
import sys
lines = open(sys.argv[1], encoding="ascii").read().splitlines()
size = int(sys.argv[2])
print("\r\n".join(lines[:3] + [lines[3 + i % (len(lines) - 3)] for i in range(size - 3)]), end="\r\n")
PYTHON
    echo "== $size entries (the first list's proportions), time-out ${large_timeout} s, default concurrency"
    /usr/bin/time -f '%e %U %S %M' -o "$work/large.time" "$check_bin" --home "http://127.0.0.1:$home" \
        --lookup "http://127.0.0.1:$lookup" --tunnel "https://127.0.0.1:$tls/" --ca-file "$tls_dir/ca.pem" \
        --timeout "$large_timeout" --json --list "$work/large.txt" >"$work/large.json" || true
    read -r wall user sys rss <"$work/large.time"
    echo "  wall ${wall} s, CPU ${user} s user + ${sys} s system, peak RSS $((rss / 1024)) MiB"
    summary large | sed -n 1,2p
done

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

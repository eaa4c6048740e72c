#!/usr/bin/env bash
# Start time and resident memory of the real window (BUILD_DIR/kestrovan against the demo site)
# and of bench_bare_window (the same widgets without the program's logic), both under Xvfb.
#
# Start time: from just before the program is started to the MapNotify of its top-level window,
# as xev sees it on the root window (no marker in either program). For the real window the
# loopback answer times of its three start-up requests (curl, median of 5) are subtracted.
# Start CPU: the process's CPU time (all threads) when it asks the X server to map its first
# window, recorded by a small library preloaded into both programs; unlike the wall time it
# hardly depends on what else the machine is doing.
# Memory: VmHWM (peak) and VmRSS / Pss (idle) from /proc after SETTLE seconds.
#
# Usage: bench/scripts/window-figures.sh [BUILD_DIR] [RUNS] [SETTLE_SECONDS]
#        (defaults: build-perf of the repository, 7 runs each, 5 s)
set -euo pipefail

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build_dir=$(cd "${1:-$repo_root/build-perf}" && pwd)
runs=${2:-7}
settle=${3:-5}
program_bin=$build_dir/kestrovan
bare_bin=$build_dir/bench/window/bench_bare_window

fail() {
    echo "window-figures: $*" >&2
    exit 1
}

# shellcheck source=bench/scripts/figures-lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/figures-lib.sh"

for tool in Xvfb xev xprop curl stdbuf dbus-daemon cc; do
    command -v "$tool" >/dev/null || fail "$tool is not installed"
done
[[ -x $program_bin ]] || fail "$program_bin not found; build the target kestrovan first"
[[ -x $bare_bin ]] || fail "$bare_bin not found; build the target bench_bare_window first"

work_dir=$(mktemp -d)
xvfb_pid=""
bus_pid=""
app_pid=""
xev_pid=""
stamp_pid=""
demo_started=0

# The programs get a home, configuration, runtime folder and settings backend of their own.
export HOME=$work_dir/home XDG_CONFIG_HOME=$work_dir/config XDG_RUNTIME_DIR=$work_dir/run
export GSETTINGS_BACKEND=memory QT_QPA_PLATFORM=xcb
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
unset WAYLAND_DISPLAY
mkdir -p "$HOME" "$XDG_CONFIG_HOME"
mkdir -m 700 "$XDG_RUNTIME_DIR"

cleanup() {
    stop_pid "$app_pid"
    stop_watch
    if ((demo_started)); then
        "$repo_root/scripts/demo-down.sh" >/dev/null || true
    fi
    stop_pid "$xvfb_pid"
    stop_pid "$bus_pid"
    rm -rf "$work_dir"
}
trap cleanup EXIT

# The preloaded library: notes the CPU time at the first xcb_map_window and passes the call on.
cat >"$work_dir/mapcpu.c" <<'EOF_C'
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <xcb/xcb.h>

xcb_void_cookie_t xcb_map_window(xcb_connection_t* connection, xcb_window_t window) {
    static int noted;
    xcb_void_cookie_t (*real)(xcb_connection_t*, xcb_window_t) =
        (xcb_void_cookie_t(*)(xcb_connection_t*, xcb_window_t))dlsym(RTLD_NEXT, "xcb_map_window");
    const char* out = getenv("WINDOW_FIGURES_CPU_FILE");
    if (!noted && out) {
        noted = 1;
        struct timespec cpu;
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
        FILE* file = fopen(out, "w");
        if (file) {
            fprintf(file, "%.2f\n", cpu.tv_sec * 1e3 + cpu.tv_nsec / 1e6);
            fclose(file);
        }
    }
    return real(connection, window);
}
EOF_C
cc -shared -fPIC -O2 -o "$work_dir/mapcpu.so" "$work_dir/mapcpu.c" -ldl || fail "cannot build the map-time library"

# Xvfb picks a free display itself and writes its number when it accepts connections.
Xvfb -displayfd 3 -nolisten tcp -screen 0 1920x1080x24 3>"$work_dir/display" 2>"$work_dir/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
    [[ -s $work_dir/display ]] && break
    kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb ended: $(tail -n 3 "$work_dir/xvfb.log")"
    sleep 0.05
done
[[ -s $work_dir/display ]] || fail "Xvfb did not start"
export DISPLAY=:$(<"$work_dir/display")

# A session bus of their own, as on a desktop (without one, the first D-Bus user would start a
# bus of its own that outlives the run).
dbus-daemon --session --nofork --address="unix:path=$work_dir/bus" >/dev/null 2>&1 &
bus_pid=$!
for _ in $(seq 100); do
    [[ -S $work_dir/bus ]] && break
    sleep 0.05
done
[[ -S $work_dir/bus ]] || fail "dbus-daemon did not start"
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work_dir/bus

# The demo site the real window starts against. A demo that somebody else already runs on the
# configured ports is used as it is and left running.
if "$repo_root/scripts/demo-up.sh" "$build_dir" >"$work_dir/demo-up.log" 2>&1; then
    demo_started=1
elif grep -q "is in use" "$work_dir/demo-up.log"; then
    echo "window-figures: the demo ports are taken; using the demo that is running there" >&2
else
    fail "demo-up failed: $(cat "$work_dir/demo-up.log")"
fi
home_url=$(sed -n 's|^KESTROVAN_HOME_URL:[A-Z]*=||p' "$build_dir/CMakeCache.txt")
lookup_url=$(sed -n 's|^KESTROVAN_LOOKUP_URL:[A-Z]*=||p' "$build_dir/CMakeCache.txt")
start_urls=("$lookup_url/ip2city.asp" "$home_url" "$home_url/version/kestrovan.txt")
for url in "${start_urls[@]}"; do
    curl -fsS -o /dev/null --max-time 5 --noproxy '*' "$url" || fail "the demo does not answer $url"
done

# One start of a program: prints "start_ms cpu_ms peak_kib rss_kib pss_kib". Runs in the script's own
# shell (never in a subshell), so that the clean-up knows every process it starts.
measure() {
    local bin=$1 t0 t_map="" window pid_of_window
    start_watch

    rm -f "$work_dir/cpu"
    t0=$EPOCHREALTIME
    WINDOW_FIGURES_CPU_FILE=$work_dir/cpu LD_PRELOAD=$work_dir/mapcpu.so "$bin" </dev/null >"$work_dir/app.log" 2>&1 &
    app_pid=$!
    for _ in $(seq 3000); do
        t_map=$(awk '/MapNotify event/ { print $1; exit }' "$work_dir/xev.log")
        [[ -n $t_map ]] && break
        kill -0 "$app_pid" 2>/dev/null || fail "$bin ended before it showed a window: $(tail -n 3 "$work_dir/app.log")"
        sleep 0.01
    done
    [[ -n $t_map ]] || fail "$bin showed no window within 30 s"
    # The mapped window must be this program's.
    sleep 0.2
    window=$(awk '/MapNotify event/ { getline; if (match($0, /window 0x[0-9a-f]+/)) print substr($0, RSTART + 7, RLENGTH - 7); exit }' \
        "$work_dir/xev.log")
    pid_of_window=$(xprop -id "$window" _NET_WM_PID | awk '{ print $NF }')
    [[ $pid_of_window == "$app_pid" ]] || fail "window $window belongs to pid $pid_of_window, not $app_pid"
    stop_watch

    sleep "$settle"
    local peak rss pss cpu
    cpu=$(cat "$work_dir/cpu" 2>/dev/null) || fail "$bin noted no CPU time at its map request"
    peak=$(awk '/^VmHWM:/ { print $2 }' "/proc/$app_pid/status")
    rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$app_pid/status")
    pss=$(awk '/^Pss:/ { print $2 }' "/proc/$app_pid/smaps_rollup")
    stop_pid "$app_pid"
    app_pid=""
    awk -v a="$t0" -v b="$t_map" -v c="$cpu" -v p="$peak" -v r="$rss" -v s="$pss" \
        'BEGIN { printf "%.1f %.2f %d %d %d\n", (b - a) * 1000, c, p, r, s }'
}

echo "display $DISPLAY, $runs runs each, memory read ${settle} s after the window was mapped" >&2
printf '%-10s %4s %9s %9s %9s %9s %9s %9s\n' program run start_ms http_ms cpu_ms peak_kib rss_kib pss_kib
alternate_starts "$runs" "$program_bin" "$bare_bin"

echo
echo "medians over $runs runs (start beyond HTTP = start_ms - http_ms):"
printf '%-10s %9s %12s %9s %9s %9s %9s\n' program start_ms beyond_http cpu_ms peak_kib rss_kib pss_kib
for name in kestrovan bare; do
    col() { awk -v n="$name" -v c="$1" '$1 == n { print $c }' "$work_dir/results" | median; }
    beyond=$(awk -v n="$name" '$1 == n { print $2 - $3 }' "$work_dir/results" | median)
    printf '%-10s %9.1f %12.1f %9.2f %9d %9d %9d\n' "$name" "$(col 2)" "$beyond" "$(col 4)" "$(col 5)" "$(col 6)" \
        "$(col 7)"
done

echo
echo "start ratio kestrovan / bare (median of the $runs pairs):"
printf '  start_ms %.2f   beyond_http %.2f   cpu_ms %.2f\n' "$(ratios start)" "$(ratios beyond)" "$(ratios cpu)"

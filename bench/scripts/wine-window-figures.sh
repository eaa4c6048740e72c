#!/usr/bin/env bash
# Start time and memory of kestrovan.exe and of bench_bare_window.exe (the same widgets without the
# program's logic) under Wine, on a private Xvfb display and in a private Wine prefix that is thrown
# away afterwards; the Windows counterpart of window-figures.sh.
#
# Start time: from just before `wine` is started to the MapNotify of the program's top-level window,
# as xev sees it on the root window. The wineserver is kept running (`wineserver -p`), so no start
# pays for the server's; one start of each, not counted, fills the prefix's caches first. For the
# real window the loopback answer times of its three start-up requests (curl, median of 5) are
# subtracted. Both programs find the SDK's DLLs through WINEPATH, as the Windows tests do.
# Start CPU: user and system time of the wine process (all threads, /proc/PID/task/*/schedstat) when
# the map is seen (polled every 10 ms, so a little of the first paint may be in it); the wineserver's
# share is not counted.
# Memory: VmHWM (peak) and VmRSS of the wine process after SETTLE seconds.
# Last, one more start of each with WINEDEBUG=+loaddll counts the DLLs they load and tells whether
# kestrovan.exe loaded libcurl.dll before any check.
#
# kestrovan.exe talks to the home site and lookup service it was configured with
# (-DKESTROVAN_HOME_URL/-DKESTROVAN_LOOKUP_URL, on 127.0.0.1); kestrovan-demo of the Linux build
# serves them there.
#
# Usage: bench/scripts/wine-window-figures.sh [WINDOWS_BUILD_DIR] [RUNS] [SETTLE_SECONDS] [LINUX_BUILD_DIR]
#        (defaults: build-win/program and build of the repository, 7 runs each, 5 s)
#        KESTROVAN_WINDOWS_SDK_CACHE as for scripts/windows-sdk.sh.
set -euo pipefail

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build_dir=$(cd "${1:-$repo_root/build-win/program}" && pwd)
runs=${2:-7}
settle=${3:-5}
linux_build=$(cd "${4:-$repo_root/build}" && pwd)
program_exe=$build_dir/kestrovan.exe
bare_exe=$build_dir/bench/window/bench_bare_window.exe
demo_bin=$linux_build/demo/kestrovan-demo

fail() {
    echo "wine-window-figures: $*" >&2
    exit 1
}

# shellcheck source=bench/scripts/figures-lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/figures-lib.sh"

for tool in Xvfb xev xprop curl stdbuf wine wineserver winepath; do
    command -v "$tool" >/dev/null || fail "$tool is not installed"
done
[[ -f $program_exe ]] || fail "$program_exe not found; build the target kestrovan first"
[[ -f $bare_exe ]] || fail "$bare_exe not found; build the target bench_bare_window first"
[[ -x $demo_bin ]] || fail "$demo_bin not found; build the Linux target kestrovan-demo first"
sdk=$("$repo_root/scripts/windows-sdk.sh")

# The configured base addresses must be on loopback; the demo is started on their ports.
port_of() {
    local url
    url=$(sed -n "s|^$1:[A-Z]*=||p" "$build_dir/CMakeCache.txt")
    [[ $url =~ ^http://127\.0\.0\.1:([0-9]+)$ ]] || fail "$1 is '$url', not http://127.0.0.1:PORT"
    echo "${BASH_REMATCH[1]}"
}
home_port=$(port_of KESTROVAN_HOME_URL)
lookup_port=$(port_of KESTROVAN_LOOKUP_URL)

work_dir=$(mktemp -d)
xvfb_pid=""
demo_pid=""
app_pid=""
xev_pid=""
stamp_pid=""
server_started=0

export WINEPREFIX=$work_dir/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
unset WAYLAND_DISPLAY QT_QPA_PLATFORM

cleanup() {
    stop_pid "$app_pid"
    stop_watch
    if ((server_started)); then
        wineserver -k >/dev/null 2>&1 || true
        wineserver -w >/dev/null 2>&1 || true
    fi
    stop_pid "$demo_pid"
    stop_pid "$xvfb_pid"
    rm -rf "$work_dir"
}
trap cleanup EXIT

# A display of its own, numbered from 150 up, apart from the Windows tests' (from 140).
for display in $(seq 150 189); do
    [[ -e /tmp/.X$display-lock || -e /tmp/.X11-unix/X$display ]] && continue
    Xvfb ":$display" -nolisten tcp -screen 0 1920x1080x24 >"$work_dir/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [[ -e /tmp/.X11-unix/X$display ]] && break
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.05
    done
    if [[ -e /tmp/.X11-unix/X$display ]] && kill -0 "$xvfb_pid" 2>/dev/null; then
        break
    fi
    stop_pid "$xvfb_pid"
    xvfb_pid=""
done
[[ -n $xvfb_pid ]] || fail "no free display from :150 to :189"
export DISPLAY=:$display

mkdir -p "$WINEPREFIX"
wineserver -p
server_started=1
wineboot -i >"$work_dir/wineboot.log" 2>&1 || fail "wineboot: $(tail -n 3 "$work_dir/wineboot.log")"
WINEPATH="$(winepath -w "$sdk/bin");$(winepath -w "$build_dir/runtime")"
export WINEPATH
QT_PLUGIN_PATH=$(winepath -w "$sdk/plugins")
export QT_PLUGIN_PATH

"$demo_bin" --home-port "$home_port" --lookup-port "$lookup_port" >"$work_dir/demo.log" 2>&1 &
demo_pid=$!
home_url=http://127.0.0.1:$home_port
start_urls=("http://127.0.0.1:$lookup_port/ip2city.asp" "$home_url" "$home_url/version/kestrovan.txt")
for url in "${start_urls[@]}"; do
    for _ in $(seq 50); do
        curl -fsS -o /dev/null --max-time 5 --noproxy '*' "$url" 2>/dev/null && continue 2
        kill -0 "$demo_pid" 2>/dev/null || fail "kestrovan-demo ended: $(tail -n 3 "$work_dir/demo.log")"
        sleep 0.1
    done
    fail "the demo does not answer $url"
done

# CPU time of all the process's threads in ms.
cpu_ms() {
    cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ ns += $1 } END { printf "%.1f\n", ns / 1e6 }'
}

# One start of an .exe: prints "start_ms cpu_ms peak_kib rss_kib". Runs in the script's own shell
# (never in a subshell), so that the clean-up knows every process it starts.
measure() {
    local exe=$1 t0 t_map="" cpu="" window pid_of_window
    start_watch

    t0=$EPOCHREALTIME
    wine "$exe" </dev/null >"$work_dir/app.log" 2>&1 &
    app_pid=$!
    for _ in $(seq 6000); do
        t_map=$(awk '/MapNotify event/ { t = $1; getline; if (/override NO/) { print t; exit } }' "$work_dir/xev.log")
        if [[ -n $t_map ]]; then
            cpu=$(cpu_ms "$app_pid")
            break
        fi
        kill -0 "$app_pid" 2>/dev/null || fail "$exe ended before it showed a window: $(tail -n 3 "$work_dir/app.log")"
        sleep 0.01
    done
    [[ -n $t_map ]] || fail "$exe showed no window within 60 s"
    # Wine maps 1×1 override-redirect windows of its own on the way; the program's window is the first
    # managed one, and it must be this program's (`wine` becomes the Windows process).
    sleep 0.2
    window=$(awk '/MapNotify event/ { getline; if (/override NO/ && match($0, /window 0x[0-9a-f]+/)) {
        print substr($0, RSTART + 7, RLENGTH - 7); exit } }' "$work_dir/xev.log")
    pid_of_window=$(xprop -id "$window" _NET_WM_PID | awk '{ print $NF }')
    [[ $pid_of_window == "$app_pid" ]] || fail "window $window belongs to pid $pid_of_window, not $app_pid"
    stop_watch

    sleep "$settle"
    local peak rss
    peak=$(awk '/^VmHWM:/ { print $2 }' "/proc/$app_pid/status")
    rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$app_pid/status")
    stop_pid "$app_pid"
    app_pid=""
    awk -v a="$t0" -v b="$t_map" -v c="$cpu" -v p="$peak" -v r="$rss" \
        'BEGIN { printf "%.1f %.1f %d %d\n", (b - a) * 1000, c, p, r }'
}

echo "display $DISPLAY, $runs runs each, memory read ${settle} s after the window was mapped," \
    "load average $(cut -d' ' -f1-3 /proc/loadavg)" >&2
measure "$program_exe" >/dev/null
measure "$bare_exe" >/dev/null
printf '%-10s %4s %9s %9s %9s %9s %9s\n' program run start_ms http_ms cpu_ms peak_kib rss_kib
alternate_starts "$runs" "$program_exe" "$bare_exe"

echo
echo "medians over $runs runs (start beyond HTTP = start_ms - http_ms):"
printf '%-10s %9s %12s %9s %9s %9s\n' program start_ms beyond_http cpu_ms peak_kib rss_kib
for name in kestrovan bare; do
    col() { awk -v n="$name" -v c="$1" '$1 == n { print $c }' "$work_dir/results" | median; }
    beyond=$(awk -v n="$name" '$1 == n { print $2 - $3 }' "$work_dir/results" | median)
    printf '%-10s %9.1f %12.1f %9.1f %9d %9d\n' "$name" "$(col 2)" "$beyond" "$(col 4)" "$(col 5)" "$(col 6)"
done

echo
echo "ratio kestrovan / bare (median of the $runs pairs):"
printf '  start_ms %.2f   beyond_http %.2f   cpu_ms %.2f   peak_kib %.2f\n' "$(ratios start)" "$(ratios beyond)" \
    "$(ratios cpu)" "$(ratios peak)"

# The DLLs each program has loaded once its window is up and it idles, no check having run.
dll_loads() {
    WINEDEBUG=+loaddll measure "$1" >/dev/null
    grep -c ':loaddll:[a-z_]* Loaded ' "$work_dir/app.log" || true
}
bare_dlls=$(dll_loads "$bare_exe")
program_dlls=$(dll_loads "$program_exe")
echo
echo "DLLs loaded by the idle window: kestrovan $program_dlls, bare $bare_dlls"
if grep -qi 'libcurl' "$work_dir/app.log"; then
    echo "libcurl.dll: loaded by kestrovan.exe at start, before any check"
else
    echo "libcurl.dll: not loaded by kestrovan.exe at start"
fi

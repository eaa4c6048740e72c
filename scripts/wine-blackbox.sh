#!/usr/bin/env bash
# Runs the packaged kestrovan.exe under Wine as a user would, against kestrovan-demo on 127.0.0.1:
# the window maps with its caption at the design client size; clicks at the design coordinates
# fetch the list, select its first entry and switch the proxy on and off, and `wine reg query`
# reads the Internet Settings after each switch; Shift+F10 on the list opens its menu and
# 检测全部代理 checks the list through the demo's proxies, which carry both legs of each check, and
# sorts it: a working proxy comes first, and 启用代理 takes it; the user signs out (`wineboot --end-session`) and
# the close confirmation comes up while the sign-out can still be stopped: 取消 (Escape) keeps the
# program; the program ends through its close confirmation; started again, it ends when the user
# signs out and answers 确定 (Enter). Before that, with 自动切换失效代理 turned on in the menu, a
# tinyproxy in force as a list entry is stopped and the setting moves to the other working proxy.
#   scripts/wine-blackbox.sh INSTALL_DIR WINDOWS_BUILD_DIR LINUX_BUILD_DIR [SCREENSHOT.png]
# Needs WINEPREFIX (an initialised prefix) and DISPLAY (an X server without a window manager, as
# xvfb-run gives). Exits non-zero on the first check that fails.
set -euo pipefail
install_dir=$1 windows_build=$2 linux_build=$3 screenshot=${4:-}
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'
started=${SECONDS}
log() { printf '[%3ss] %s\n' "$((SECONDS - started))" "$*"; }
fail() {
    log "FAILED: $*"
    exit 1
}

# The program's base addresses are fixed at build time; the demo serves them.
port_of() {
    local url
    url=$(sed -n "s|^$1:[A-Z]*=||p" "${windows_build}/CMakeCache.txt")
    [[ ${url} =~ ^https?://127\.0\.0\.1:([0-9]+)/?$ ]] || fail "$1 is ${url}, not a loopback address"
    echo "${BASH_REMATCH[1]}"
}
scratch=$(mktemp -d)
demo_pid="" home_pid="" program_pid="" wineboot_pid="" tinyproxy_pid=""
cleanup() {
    for pid in ${wineboot_pid} ${program_pid} ${home_pid} ${demo_pid} ${tinyproxy_pid}; do
        kill "${pid}" 2>/dev/null || true
        wait "${pid}" 2>/dev/null || true
    done
    rm -rf "${scratch}"
}
trap cleanup EXIT
# The home site is a copy of the demo's pages whose list names the proxies of this run: the one
# without CONNECT, the intercepting one and a port where nothing listens, first.
home_port=$(port_of KESTROVAN_HOME_URL)
slow_proxy_port=$((home_port + 5)) intercepting_port=$((home_port + 4)) refusing_port=$((home_port + 9))
demo_home_port=$((home_port + 6)) tinyproxy_port=$((home_port + 8))
"${linux_build}/demo/kestrovan-demo" --home-port "${demo_home_port}" \
    --lookup-port "$(port_of KESTROVAN_LOOKUP_URL)" --tls-port "$(port_of KESTROVAN_TUNNEL_URL)" \
    --tls-dir "${windows_build}/demo-tls" --slow-proxy-port "${slow_proxy_port}" --slow-proxy-delay-ms 0 \
    --intercepting-proxy-port "${intercepting_port}" >"${scratch}/demo.log" 2>&1 &
demo_pid=$!
for _ in $(seq 50); do
    grep -q "lookup service" "${scratch}/demo.log" 2>/dev/null && break
    kill -0 "${demo_pid}" 2>/dev/null || fail "kestrovan-demo: $(cat "${scratch}/demo.log")"
    sleep 0.1
done
printf 'Port %s\nListen 127.0.0.1\nAllow 127.0.0.1\n%s' "${tinyproxy_port}" \
    "$( ((EUID == 0)) && printf 'User nobody\nGroup nogroup\n')" >"${scratch}/tinyproxy.conf"
tinyproxy -d -c "${scratch}/tinyproxy.conf" >"${scratch}/tinyproxy.log" 2>&1 &
tinyproxy_pid=$!
mkdir -p "${scratch}/site/version"
for page in index.html kestrovan.htm version/kestrovan.txt Advertising.htm; do
    curl -sf --noproxy '*' "http://127.0.0.1:${demo_home_port}/${page/index.html/}" -o "${scratch}/site/${page}" ||
        fail "the demo did not serve /${page}"
done
entries="1127.0.0.1:${refusing_port}ok<br>\n2127.0.0.1:${slow_proxy_port}ok<br>\n3127.0.0.1:${intercepting_port}ok<br>"
entries+="\n4127.0.0.1:${tinyproxy_port}ok<br>" # the proxy that dies under the watch
# The program takes a page that mentions 8080 for the list; the mention comes after the entries.
sed -i -e "/^1127\.0\.0\.1:/i ${entries}" -e '/^[0-9]127\.0\.0\.[0-9]:[0-9]*ok<br>$/d' \
    -e '/^<\/body>/i <p>8080</p>' "${scratch}/site/kestrovan.htm"
grep -c "ok<br>" "${scratch}/site/kestrovan.htm" | grep -qx 4 || fail "the list page: $(cat "${scratch}/site/kestrovan.htm")"
python3 - "${home_port}" "${scratch}/site" >>"${scratch}/demo.log" 2>&1 <<'PYTHON' &
import functools, http.server, sys
class Site(http.server.SimpleHTTPRequestHandler):
    extensions_map = {".htm": "text/html; charset=utf-8", ".html": "text/html; charset=utf-8",
                      ".txt": "text/plain; charset=utf-8"}
    protocol_version = "HTTP/1.1"
    def end_headers(self):
        self.send_header("Connection", "close")
        super().end_headers()
http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])),
                                functools.partial(Site, directory=sys.argv[2])).serve_forever()
PYTHON
home_pid=$!
for _ in $(seq 50); do
    curl -sf --noproxy '*' "http://127.0.0.1:${home_port}/version/kestrovan.txt" >/dev/null && break
    sleep 0.1
done

reg_value() {
    wine reg query "${key}" /v "$1" 2>/dev/null | tr -d '\r' | awk -v name="$1" '$1 == name { print $3 }'
}
wait_for_log() {
    for _ in $(seq 100); do
        grep -q "$1" "${scratch}/demo.log" && return 0
        sleep 0.2
    done
    fail "the demo never saw $1"
}

start_program() {
    log "starting ${install_dir}/kestrovan.exe"
    (cd "${install_dir}" && exec wine kestrovan.exe) >"${scratch}/wine.log" 2>&1 &
    program_pid=$!
    window=""
    for _ in $(seq 150); do
        window=$(xdotool search --name '^【Tolvaren】$' 2>/dev/null | head -n 1) && [[ -n ${window} ]] && break
        kill -0 "${program_pid}" 2>/dev/null || fail "the program ended: $(cat "${scratch}/wine.log")"
        sleep 0.2
    done
    [[ -n ${window} ]] || fail "no window captioned 【Tolvaren】"
    size=$(xwininfo -id "${window}" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }')
    log "window 【Tolvaren】 mapped, client ${size}"
    [[ ${size} == 552x387 ]] || fail "client size ${size}, not the design 8280x5805 twips (552x387)"
}
# Answers the close confirmation with a key: Return for 确定, Escape for 取消.
answer_box() {
    local box=""
    for _ in $(seq 50); do
        box=$(xdotool search --name '^退出提示$' 2>/dev/null | head -n 1) && [[ -n ${box} ]] && break
        sleep 0.2
    done
    [[ -n ${box} ]] || fail "no confirmation box 退出提示"
    log "the box 退出提示 is up; key $1"
    xdotool key --window "${box}" "$1" 2>/dev/null
}
# await_end PID STEPS: waits up to STEPS × 0.2 s for PID to end; false when it still runs.
await_end() {
    for _ in $(seq "$2"); do
        kill -0 "$1" 2>/dev/null || return 0
        sleep 0.2
    done
    ! kill -0 "$1" 2>/dev/null
}
expect_program_end() {
    await_end "${program_pid}" 50 || fail "the program is still running after 确定"
    wait "${program_pid}" || true
    program_pid=""
    log "the program ended"
}
# The user signs out: wineboot asks every program's windows whether the session may end
# (WM_QUERYENDSESSION), and exits 1 when one of them says no.
sign_out() {
    log "wineboot --end-session"
    wine wineboot --end-session >>"${scratch}/wineboot.log" 2>&1 &
    wineboot_pid=$!
}
# Waits for that wineboot; its exit status goes to sign_out_status.
wait_sign_out() {
    await_end "${wineboot_pid}" 150 || fail "wineboot --end-session still waits"
    sign_out_status=0
    wait "${wineboot_pid}" || sign_out_status=$?
    wineboot_pid=""
    log "wineboot --end-session exited ${sign_out_status}"
}

wine reg delete 'HKCU\Software\Kestrovan' /f >/dev/null 2>&1 || true # 自动切换失效代理 starts off
start_program

# Design coordinates in pixels (15 twips each) within the client area: Frame1 sits at 8,8.
click() {
    xdotool mousemove --window "${window}" "$1" "$2" click 1
    sleep 0.3
}
fetch_x=59 fetch_y=52 enable_y=244 disable_y=292 exit_y=340 entry_x=150 entry_y=42

log "click 获取代理"
click "${fetch_x}" "${fetch_y}"
wait_for_log "GET /kestrovan.htm"
sleep 4 # the page-load handler pauses 2000 ms before it parses
log "click the first list entry, then 启用代理"
click "${entry_x}" "${entry_y}"
click "${fetch_x}" "${enable_y}"
sleep 1
server=$(reg_value ProxyServer) enable=$(reg_value ProxyEnable)
log "reg query: ProxyServer ${server}, ProxyEnable ${enable}"
[[ ${server} == 127.0.0.1:${refusing_port} && ${enable} == 0x1 ]] || fail "expected 127.0.0.1:${refusing_port} and 0x1"
sleep 1.2 # one status tick
[[ -n ${screenshot} ]] && import -window root -crop "552x387+$(xwininfo -id "${window}" |
    awk '/Absolute upper-left X/ { x = $4 } /Absolute upper-left Y/ { y = $4 } END { print x "+" y }')" \
    "${screenshot}" && log "screenshot ${screenshot}"

log "click 关闭代理"
click "${fetch_x}" "${disable_y}"
sleep 1
enable=$(reg_value ProxyEnable)
log "reg query: ProxyEnable ${enable}"
[[ ${enable} == 0x0 ]] || fail "expected ProxyEnable 0x0"

# Both legs of each working entry's check go through its proxy: the lookup service's result page,
# and a CONNECT toward the TLS target, which the proxy without CONNECT refuses.
pages_before=$(grep -c "GET /ips.asp?ip=" "${scratch}/demo.log" || true)
log "click the first list entry, Shift+F10, 检测全部代理 (Down, Return)"
click "${entry_x}" "${entry_y}"
xdotool key --window "${window}" shift+F10
sleep 0.5
xdotool windowfocus "${window}" key Down Return
for _ in $(seq 50); do
    (($(grep -c "GET /ips.asp?ip=" "${scratch}/demo.log" || true) >= pages_before + 2)) &&
        grep -q "slow-proxy CONNECT 127.0.0.1:$(port_of KESTROVAN_TUNNEL_URL)" "${scratch}/demo.log" && break
    sleep 0.2
done
(($(grep -c "GET /ips.asp?ip=" "${scratch}/demo.log" || true) >= pages_before + 2)) ||
    fail "the lookup service saw no check through the two working proxies"
grep -q "slow-proxy CONNECT 127.0.0.1:$(port_of KESTROVAN_TUNNEL_URL)" "${scratch}/demo.log" ||
    fail "no tunnel leg reached the proxy without CONNECT"
sleep 2 # the check ends and sorts the list: the refusing port, first before, goes last
log "click the first list entry, then 启用代理"
click "${entry_x}" "${entry_y}"
click "${fetch_x}" "${enable_y}"
sleep 1
server=$(reg_value ProxyServer)
log "reg query: ProxyServer ${server}"
[[ ${server} =~ ^127\.0\.0\.1:(${slow_proxy_port}|${intercepting_port}|${tinyproxy_port})$ ]] ||
    fail "expected a working proxy first after the check"
click "${fetch_x}" "${disable_y}"

# 自动切换失效代理 (the menu's last item) with WatchSeconds 5, and this run's tinyproxy in force as its
# entry of the list: once it is stopped, the watch switches to the proxy without CONNECT, the only
# other working entry (the intercepting one is never chosen), in Wine's registry.
wine reg add 'HKCU\Software\Kestrovan' /v WatchSeconds /t REG_DWORD /d 5 /f >/dev/null 2>&1
wine reg add "${key}" /v ProxyServer /t REG_SZ /d "127.0.0.1:${tinyproxy_port}" /f >/dev/null 2>&1
wine reg add "${key}" /v ProxyEnable /t REG_DWORD /d 1 /f >/dev/null 2>&1
log "click the first list entry, Shift+F10, 自动切换失效代理 (Up, Return)"
click "${entry_x}" "${entry_y}"
xdotool key --window "${window}" shift+F10
sleep 0.5
xdotool windowfocus "${window}" key Up Return
sleep 1
auto=$(wine reg query 'HKCU\Software\Kestrovan' /v AutoSwitch 2>/dev/null | tr -d '\r' | awk '$1 == "AutoSwitch" { print $3 }')
[[ ${auto} == 0x1 ]] || fail "AutoSwitch is '${auto}', not 0x1"
[[ $(reg_value ProxyServer) == "127.0.0.1:${tinyproxy_port}" ]] || fail "the tinyproxy is not in force"
kill "${tinyproxy_pid}"
wait "${tinyproxy_pid}" 2>/dev/null || true
tinyproxy_pid=""
stopped=${SECONDS}
while ((SECONDS - stopped < 5 + 2 * 15 + 5)); do
    server=$(reg_value ProxyServer)
    [[ ${server} == "127.0.0.1:${slow_proxy_port}" ]] && break
    sleep 0.5
done
log "reg query after the tinyproxy stopped: ProxyServer ${server} ($((SECONDS - stopped)) s)"
[[ ${server} == "127.0.0.1:${slow_proxy_port}" ]] || fail "expected the switch to 127.0.0.1:${slow_proxy_port}"
click "${fetch_x}" "${disable_y}"

sign_out
answer_box Escape
wait_sign_out
((sign_out_status == 1)) || fail "取消 did not stop the sign-out"
sleep 1
kill -0 "${program_pid}" 2>/dev/null || fail "the program ended after 取消"
xwininfo -id "${window}" | grep -q IsViewable || fail "the window is gone after 取消"
log "取消: the sign-out stopped, the program runs on with its window"

log "click 退出程序, 确定 in 退出提示"
click "${fetch_x}" "${exit_y}"
answer_box Return
expect_program_end

start_program
sign_out
answer_box Return
expect_program_end
wait_sign_out
((sign_out_status == 0)) || fail "the sign-out did not go on after 确定"
log "确定: the program ended and the sign-out went on"

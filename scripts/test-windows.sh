#!/usr/bin/env bash
# Cross-builds Kestrovan for Windows and checks it under Wine, in a fresh Wine prefix that is thrown
# away afterwards: the Qt-free Windows adapters and text cores with their tests (mingw-w64, static),
# then kestrovan.exe with the SDK's Qt (scripts/windows-sdk.sh) with the window's tests on fakes,
# its installer and zip, and a black-box run of the installed program against kestrovan-demo. Exits non-zero when anything fails.
#   scripts/test-windows.sh [build-dir] [linux-build-dir]
# (defaults: build-win and build next to this folder; the Linux build provides kestrovan-demo).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-${root}/build-win}"
linux_build="${2:-${root}/build}"
started=${SECONDS}

phase() { printf '== %s (%ss)\n' "$1" "$((SECONDS - started))"; }

phase "installing what is missing"
"${root}/scripts/install-deps.sh" >/dev/null

phase "Windows SDK"
sdk="$("${root}/scripts/windows-sdk.sh")"
echo "${sdk}"

# Ninja prints only what the compiler says.
phase "building ${build}/adapters"
cmake -S "${root}/tests/wine" -B "${build}/adapters" -G Ninja -DKESTROVAN_WERROR=ON \
    -DCMAKE_TOOLCHAIN_FILE="${root}/cmake/mingw-w64.cmake" >/dev/null
ninja -C "${build}/adapters" --quiet

# The program under test talks to its own demo ports, apart from the Linux suite's running beside.
phase "building ${build}/program"
cmake -S "${root}" -B "${build}/program" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTROVAN_WERROR=ON \
    -DCMAKE_TOOLCHAIN_FILE="${sdk}/lib/cmake/Qt6/qt.toolchain.cmake" -DKESTROVAN_BUILD_TESTS=ON \
    -DKESTROVAN_HOME_URL=http://127.0.0.1:27480 -DKESTROVAN_LOOKUP_URL=http://127.0.0.1:27481 \
    -DKESTROVAN_TUNNEL_URL=https://127.0.0.1:27483/ >/dev/null
ninja -C "${build}/program" --quiet

phase "packaging"
(cd "${build}/program" && cpack -G "NSIS;ZIP" >/dev/null)
# The package names carry the version the build was configured with.
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "${build}/program/CMakeCache.txt")"
installer="${build}/program/kestrovan-${version}-win64.exe"
ls -l "${installer}" "${build}/program/kestrovan-${version}-win64.zip"

phase "preparing a Wine prefix"
scratch="$(mktemp -d)"
export WINEPREFIX="${scratch}/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
# The tests must not open windows on the developer's display; the black-box run gets a virtual one.
unset DISPLAY
demo_pid="" tinyproxy_pid=""
cleanup() {
    for pid in ${demo_pid} ${tinyproxy_pid}; do kill "${pid}" 2>/dev/null || true; done
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "${scratch}"
}
trap cleanup EXIT
mkdir -p "${WINEPREFIX}"
# A persistent server spares every test executable the server's start-up.
wineserver -p
# Virtual displays numbered from 140 keep clear of other xvfb-run users running beside (from 99).
xvfb-run -a -n 140 wineboot -i >/dev/null 2>&1

status=0
phase "running the adapter tests under Wine"
ctest --test-dir "${build}/adapters" --output-on-failure --timeout 300 || status=1

phase "running the window's tests under Wine, on fakes and on the real adapters"
# The integration case talks to kestrovan-demo (the Linux build) and a tinyproxy on loopback; the
# list the window fetches holds a port where nothing listens (its "8080" marks the page as the
# list), then that tinyproxy.
# Beside them, the TLS target of kestrovan-check.exe's tunnel test (its certificate from the demo CA
# that build trusts), a proxy without CONNECT and one that intercepts TLS.
"${linux_build}/demo/kestrovan-demo" --home-port 27480 --lookup-port 27481 --tls-port 27483 \
    --tls-dir "${build}/program/demo-tls" --slow-proxy-port 27485 --slow-proxy-delay-ms 0 \
    --intercepting-proxy-port 27484 --proxy-list 127.0.0.1:28080,127.0.0.1:27482 >"${scratch}/demo.log" 2>&1 &
demo_pid=$!
printf 'Port 27482\nListen 127.0.0.1\nAllow 127.0.0.1\nLogLevel Info\n%s' \
    "$( ((EUID == 0)) && printf 'User nobody\nGroup nogroup\n')" >"${scratch}/tinyproxy.conf"
tinyproxy -d -c "${scratch}/tinyproxy.conf" >"${scratch}/tinyproxy.log" 2>&1 &
tinyproxy_pid=$!
for port in 27480 27481 27482 27483 27484 27485; do
    for _ in $(seq 50); do
        (exec 3<>"/dev/tcp/127.0.0.1/${port}") 2>/dev/null && break
        sleep 0.1
    done
done
# From the build folder: the DLLs come from the SDK and the stripped runtime, by WINEPATH.
program_dlls="$(winepath -w "${sdk}/bin");$(winepath -w "${build}/program/runtime")"
WINEPATH="${program_dlls}" QT_PLUGIN_PATH="$(winepath -w "${sdk}/plugins")" QT_QPA_PLATFORM=offscreen \
    KESTROVAN_DEMO_HOME=http://127.0.0.1:27480 KESTROVAN_DEMO_LOOKUP=http://127.0.0.1:27481 \
    KESTROVAN_TINYPROXY=127.0.0.1:27482 \
    wine "${build}/program/tests/windows_tests.exe" --gtest_brief=1 || status=1

phase "kestrovan-check.exe against the same servers"
# The tinyproxy works and tunnels, the other two work for pages only, a port where nothing listens
# refuses; the answer is a JSON list. The list comes through a pipe; the TLS target is named by its
# address, which its certificate holds as an IP entry only, and its CA also comes from --ca-file.
check_exe() {
    WINEPATH="${program_dlls}" wine "${build}/program/check/kestrovan-check.exe" --home http://127.0.0.1:27480 \
        --lookup http://127.0.0.1:27481 --timeout 5 "$@"
}
printf '127.0.0.1:27489\r\n127.0.0.1:27482\r\nnot-an-entry\r\n127.0.0.1:27484\r\n127.0.0.1:27485\r\n' |
    check_exe --json --list - --https-only --out "$(winepath -w "${scratch}/working.txt")" \
        --ca-file "$(winepath -w "${build}/program/demo-tls/ca.pem")" >"${scratch}/check.json" && check_status=0 ||
    check_status=$?
cat "${scratch}/check.json"
if ((check_status != 0)) || ! python3 - "${scratch}/check.json" "${scratch}/working.txt" <<'PYTHON'; then
import json, sys
results = json.load(open(sys.argv[1], encoding="utf-8"))
by_entry = {r["entry"]: r for r in results}
assert [r["entry"] for r in results[3:]] == ["127.0.0.1:27489", "not-an-entry"], results
assert [r.get("failure") for r in results[3:]] == ["refused", "unusable-entry"], results
verdicts = {e: by_entry[e]["https"] for e in ("127.0.0.1:27482", "127.0.0.1:27484", "127.0.0.1:27485")}
assert verdicts == {"127.0.0.1:27482": "supported", "127.0.0.1:27484": "intercepted",
                    "127.0.0.1:27485": "unsupported"}, verdicts
assert open(sys.argv[2], "rb").read() == b"127.0.0.1:27482\r\n"
PYTHON
    echo "kestrovan-check.exe: exit ${check_status}, or not the expected results"
    status=1
fi
# A CA file with a broken certificate block ends the run before any check, as bad usage.
printf -- '-----BEGIN CERTIFICATE-----\r\nMIIBfzCCASWgAwIBAgIU\r\n-----END CERTIFICATE-----\r\n' >"${scratch}/broken.pem"
echo 127.0.0.1:27482 | check_exe --list - --ca-file "$(winepath -w "${scratch}/broken.pem")" \
    >/dev/null 2>"${scratch}/broken.err" && check_status=0 || check_status=$?
if ((check_status != 2)); then
    echo "kestrovan-check.exe with a broken CA file: exit ${check_status}: $(cat "${scratch}/broken.err")"
    status=1
fi
# The system's store stays trusted beside the CA file: while the interceptor's CA is a root of the
# user's store, its proxy's tunnel verifies. The registry holds the root serialised: property 32
# (the encoded certificate), 1, its length (little-endian), the DER.
roots='HKCU\Software\Microsoft\SystemCertificates\Root\Certificates'
other_ca="${build}/program/demo-tls/other-ca.pem"
der="$(openssl x509 -in "${other_ca}" -outform DER | od -An -tx1 | tr -d ' \n')"
length=$((${#der} / 2))
wine reg add "${roots}\\$(openssl x509 -in "${other_ca}" -noout -fingerprint -sha1 | sed 's/.*=//; s/://g')" \
    /v Blob /t REG_BINARY /f /d "$(printf '2000000001000000%02x%02x%02x%02x' $((length & 255)) \
        $((length >> 8 & 255)) $((length >> 16 & 255)) $((length >> 24)))${der}" >/dev/null
verdict="$(echo 127.0.0.1:27484 | check_exe --json --list - --ca-file "$(winepath -w "${build}/program/demo-tls/ca.pem")" |
    python3 -c 'import json, sys; print(json.load(sys.stdin)[0]["https"])')" || true
wine reg delete "${roots}" /f >/dev/null
if [[ ${verdict} != supported ]]; then
    echo "kestrovan-check.exe with --ca-file trusts the system's store no more: ${verdict}"
    status=1
fi
kill "${demo_pid}" "${tinyproxy_pid}" 2>/dev/null || true
wait "${demo_pid}" "${tinyproxy_pid}" 2>/dev/null || true
demo_pid="" tinyproxy_pid=""

phase "installing ${installer##*/} in the prefix"
xvfb-run -a -n 140 wine "${installer}" /S '/D=C:\Kestrovan'
installed="${WINEPREFIX}/drive_c/Kestrovan"
for file in kestrovan.exe kestrovan-check.exe Uninstall.exe Qt6Core.dll libxml2.dll libcurl.dll libstdc++-6.dll \
    platforms/qwindows.dll \
    styles/qwindowsvistastyle.dll; do
    [[ -f ${installed}/${file} ]] || { echo "not installed: ${file}"; status=1; }
done
shortcut=$(find "${WINEPREFIX}/drive_c" -path '*Start Menu*' -name '*.lnk' | head -n 1)
echo "Start-menu shortcut: ${shortcut#"${WINEPREFIX}/"}"
[[ -n ${shortcut} ]] || status=1

phase "black-box run of the installed program"
xvfb-run -a -n 140 -s "-screen 0 1024x768x24" "${root}/scripts/wine-blackbox.sh" "${installed}" \
    "${build}/program" "${linux_build}" "${KESTROVAN_WINE_SCREENSHOT:-}" || status=1

phase "uninstalling"
# A speed test that never ended: the tested proxy is on and its record holds the user's setting
# from before, beside the program's own key. The uninstaller gives that setting back, then removes
# the state folder and the key.
internet='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'
wine reg add "${internet}" /v ProxyServer /t REG_SZ /d 127.0.0.1:27499 /f >/dev/null
wine reg add "${internet}" /v ProxyEnable /t REG_DWORD /d 1 /f >/dev/null
wine reg add 'HKCU\Software\Kestrovan' /v Left /t REG_SZ /d behind /f >/dev/null
state="$(winepath -u "$(wine cmd /c 'echo %LOCALAPPDATA%' | tr -d '\r')")/Kestrovan"
mkdir -p "${state}"
hex() { printf %s "$1" | od -An -tx1 | tr -d ' \n'; }
printf 'kestrovan speed test 1\ntested %s\nProxyServer 1 %s\nProxyEnable 4 00000000\nend\n' \
    "$(hex 127.0.0.1:27499)" "$(hex 127.0.0.1:27498)" >"${state}/speedtest.journal"
# The uninstaller runs from a copy of itself in the temporary folder; wine returns before it ends.
# The copy needs the virtual display until it has removed the shortcut too (it goes after the
# files), so the display stays up until both are gone.
xvfb-run -a -n 140 bash -c 'wine "C:\Kestrovan\Uninstall.exe" /S
    for _ in $(seq 600); do [[ -e $1 || -e $2 ]] || break; sleep 0.2; done' \
    uninstall "${installed}/kestrovan.exe" "${shortcut}"
if [[ -e ${installed}/kestrovan.exe || -e ${shortcut} ]]; then
    echo "the uninstaller left the program or its shortcut"
    status=1
fi
setting="$(wine reg query "${internet}" | tr -d '\r' | grep -E '^ +Proxy(Server|Enable) ' | tr -s ' ')"
if [[ ${setting} != *"ProxyServer REG_SZ 127.0.0.1:27498"* || ${setting} != *"ProxyEnable REG_DWORD 0x0"* ]]; then
    echo "the uninstaller did not give the setting from before the speed test back: ${setting}"
    status=1
fi
if [[ -e ${state} ]] || wine reg query 'HKCU\Software\Kestrovan' >/dev/null 2>&1; then
    echo "the uninstaller left the program's state folder or its key"
    status=1
fi

phase "done (status ${status})"
exit "${status}"

#!/usr/bin/env bash
# Cross-builds the Windows adapters and their tests with mingw-w64 and runs them under Wine, in a
# fresh Wine prefix that is thrown away afterwards. Exits non-zero when anything fails.
#   scripts/test-windows.sh [build-dir]      (default: build-win next to this folder)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-${root}/build-win}"
started=${SECONDS}

phase() { printf '== %s (%ss)\n' "$1" "$((SECONDS - started))"; }

# Debian 12: the posix-thread cross compiler, and Wine with its 64-bit loader.
missing=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-x86-64-posix)
command -v wine >/dev/null || missing+=(wine)
[[ -x /usr/lib/wine/wine64 ]] || missing+=(wine64)
command -v xvfb-run >/dev/null || missing+=(xvfb)
if ((${#missing[@]})); then
    phase "installing ${missing[*]}"
    sudo_cmd=()
    if ((EUID != 0)); then sudo_cmd=(sudo); fi
    "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 \
        install -y --no-install-recommends "${missing[@]}" >/dev/null
fi

phase "building ${build}"
cmake -S "${root}/tests/wine" -B "${build}" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="${root}/cmake/mingw-w64.cmake" >/dev/null
ninja -C "${build}" >/dev/null

phase "preparing a Wine prefix"
scratch="$(mktemp -d)"
export WINEPREFIX="${scratch}/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
# The tests never need a display and must not open windows on the developer's; wineboot gets a
# headless X server of its own, which also spares it a few seconds of looking for one.
unset DISPLAY
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "${scratch}"
}
trap cleanup EXIT
mkdir -p "${WINEPREFIX}"
# A persistent server spares every test executable the server's start-up.
wineserver -p
xvfb-run -a wineboot -i >/dev/null 2>&1

phase "running the tests under Wine"
status=0
ctest --test-dir "${build}" --output-on-failure --timeout 300 || status=$?
phase "done (status ${status})"
exit "${status}"

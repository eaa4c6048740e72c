#!/usr/bin/env bash
# Installs the Debian 12 packages Kestrovan needs, by profile:
#   run   build the program and its demo, run them on a virtual display (what ./run needs)
#   test  everything for ./test: the run profile, the test and benchmark libraries, the desktop
#         stack of the end-to-end run, fuzzing, packaging and the Windows cross-build under Wine
# Idempotent: installs only what is missing. Needs root (or sudo).
#
# Usage: scripts/install-deps.sh [run|test]      (default: test)
#        scripts/install-deps.sh --list [run|test]   prints the profile's packages, one a line
# Environment: KESTROVAN_EXTRA_PACKAGES, more packages to install with the profile.
set -euo pipefail

run_packages=(
    # build
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-httpserver-dev qt6-websockets-dev qt6-qpa-plugins libqt6svg6
    # Qt's own texts in Chinese (message-box buttons, the file dialog); the Windows build embeds them
    qt6-translations-l10n
    libsqlite3-dev libxml2-dev libglib2.0-dev libcurl4-openssl-dev
    # running the demo: a CJK font for the captions, a virtual display and its tools (xdpyinfo,
    # xwininfo, xwd, convert for the screenshot), a real HTTP proxy, xdg-open for the home page
    fonts-wqy-microhei xvfb xauth x11-utils x11-apps imagemagick tinyproxy xdg-utils
    # the demo's certificates (scripts/demo-tls.sh) and the trust store kestrovan-check verifies with
    openssl ca-certificates
)
test_packages=(
    # tests and benchmarks
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    # the desktop bridge's targets and the end-to-end run: GSettings schemas, a session bus and
    # the accessibility bus with its Python bindings
    gsettings-desktop-schemas dconf-gsettings-backend dbus dbus-x11 at-spi2-core python3 python3-gi
    gir1.2-atspi-2.0 qt6-gtk-platformtheme
    # fuzzing (libFuzzer comes with clang) and the .deb package
    clang dpkg-dev file
    # the Windows program: cross compiler, Wine to run it and its tests, the installer's maker and
    # a pointer for the black-box run
    g++-mingw-w64-x86-64-posix wine wine64 nsis xdotool xz-utils
)

list_only=0
if [ "${1:-}" = "--list" ]; then
    list_only=1
    shift
fi
profile="${1:-test}"
case "${profile}" in
run) packages=("${run_packages[@]}") ;;
test) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
*)
    echo "install-deps: unknown profile '${profile}' (run or test)" >&2
    exit 2
    ;;
esac
if [ -n "${KESTROVAN_EXTRA_PACKAGES:-}" ]; then
    read -r -a extra <<<"${KESTROVAN_EXTRA_PACKAGES}"
    packages+=("${extra[@]}")
fi
if [ "${list_only}" -eq 1 ]; then
    printf '%s\n' "${packages[@]}"
    exit 0
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "${package}" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("${package}")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
echo "Installing (${profile} profile): ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 update -q
"${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "${missing[@]}"

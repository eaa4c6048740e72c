#!/usr/bin/env bash
# Installs the Debian 12 packages Kestrovan needs to build, run its demo and run its tests.
# Idempotent: installs only what is missing. Needs root (or sudo).
set -euo pipefail

packages=(
    # build
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-httpserver-dev qt6-websockets-dev qt6-qpa-plugins libqt6svg6
    libsqlite3-dev libxml2-dev libglib2.0-dev
    # tests and benchmarks
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    # running the demo: a CJK font for the captions, a virtual display, real HTTP proxies
    fonts-wqy-microhei xvfb xauth x11-utils x11-apps imagemagick tinyproxy xdg-utils
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
if [ -n "${KESTROVAN_EXTRA_PACKAGES:-}" ]; then
    read -r -a extra <<<"${KESTROVAN_EXTRA_PACKAGES}"
    packages+=("${extra[@]}")
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
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 update -q
"${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "${missing[@]}"

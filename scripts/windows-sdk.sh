#!/usr/bin/env bash
# Puts the Windows SDK (Qt 6.4.2, libxml2 and libcurl for x86_64-w64-mingw32, posix threads) into a
# cache folder and prints its prefix, the folder that holds lib/cmake/Qt6/qt.toolchain.cmake.
#   scripts/windows-sdk.sh
# The prebuilt tarball qt6-mingw-6.4.2-sdk.tar.xz is taken from ../shared/windows-sdk (beside this
# checkout or beside the main checkout of its repository) or from $KESTROVAN_WINDOWS_SDK_DIR, when
# its SHA-256 is the one below. Otherwise the same tree is built from Debian 12's source packages
# with the recipe in scripts/windows-sdk/ (needs root and deb-src; tens of minutes on 2 cores).
# KESTROVAN_WINDOWS_SDK_FROM_SOURCE=1 skips the tarball. libcurl is not in the tarball: it is always
# built into the prefix from Debian 12's curl source (root; about a minute), also into a cache made
# before it was added. Idempotent: a finished cache is reused.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
version=6.4.2
tarball_name=qt6-mingw-${version}-sdk.tar.xz
tarball_sha256=0e363ddfc85d52e547fb45c0cb24940d1d1b78a81cb870dca6668416117145b3
cache="${KESTROVAN_WINDOWS_SDK_CACHE:-${XDG_CACHE_HOME:-${HOME}/.cache}/kestrovan/windows-sdk-${version}}"
prefix="${cache}/qt6-mingw"
stamp="${cache}/complete"
curl_stamp="${cache}/curl-complete"

say() { printf 'windows-sdk: %s\n' "$*" >&2; }
require_root() {
    if ((EUID != 0)); then
        say "the recipe installs packages and adds deb-src lines: run it as root"
        exit 1
    fi
}

# Called with the lock held, once Qt and libxml2 are in the prefix.
# The stamp names the recipe it was built with: a changed recipe or patch builds libcurl again.
ensure_curl() {
    local recipe
    recipe="$(cat "${root}/scripts/windows-sdk/build-curl-mingw.sh" "${root}/scripts/windows-sdk/curl-schannel-trust.patch" |
        sha256sum | cut -d' ' -f1)"
    [[ "$(cat "${curl_stamp}" 2>/dev/null)" == "${recipe}" && -f "${prefix}/lib/cmake/CURL/CURLConfig.cmake" ]] &&
        return 0
    say "building libcurl for mingw-w64 from Debian's curl source package (logs in ${cache}/work)"
    require_root
    "${root}/scripts/windows-sdk/build-curl-mingw.sh" "${cache}/work" "${prefix}" >&2
    echo "${recipe}" >"${curl_stamp}"
}

mkdir -p "${cache}"
# One maker at a time: ./test and a developer may ask at once.
exec 9>"${cache}/lock"
flock 9

if [[ -f "${stamp}" && -f "${prefix}/lib/cmake/Qt6/qt.toolchain.cmake" ]]; then
    ensure_curl
    echo "${prefix}"
    exit 0
fi
rm -rf "${prefix}" "${stamp}" "${curl_stamp}"

candidates=()
[[ -n "${KESTROVAN_WINDOWS_SDK_DIR:-}" ]] && candidates+=("${KESTROVAN_WINDOWS_SDK_DIR}")
candidates+=("${root}/../shared/windows-sdk")
if common="$(git -C "${root}" rev-parse --path-format=absolute --git-common-dir 2>/dev/null)"; then
    candidates+=("$(dirname "${common}")/../shared/windows-sdk")
fi

tarball=""
[[ ${KESTROVAN_WINDOWS_SDK_FROM_SOURCE:-0} == 1 ]] && candidates=()
for dir in "${candidates[@]}"; do
    [[ -f "${dir}/${tarball_name}" ]] || continue
    if [[ "$(sha256sum "${dir}/${tarball_name}" | cut -d' ' -f1)" == "${tarball_sha256}" ]]; then
        tarball="${dir}/${tarball_name}"
        break
    fi
    say "${dir}/${tarball_name} has another checksum; not used"
done

if [[ -n "${tarball}" ]]; then
    say "unpacking ${tarball}"
    tar -C "${cache}" -xJf "${tarball}"
else
    say "no prebuilt SDK found: building Qt ${version} and libxml2 for mingw-w64 from Debian's" \
        "source packages; this takes tens of minutes (logs in ${cache}/work)"
    require_root
    work="${cache}/work"
    mkdir -p "${work}"
    "${root}/scripts/windows-sdk/build-qt-mingw.sh" "${work}" "${prefix}" >&2
    "${root}/scripts/windows-sdk/build-libxml2-mingw.sh" "${work}" "${prefix}" >&2
    "${root}/scripts/windows-sdk/build-qt-mingw.sh" --pack "${work}" "${prefix}" >&2
fi
[[ -f "${prefix}/lib/cmake/Qt6/qt.toolchain.cmake" ]] || { say "no Qt toolchain file in ${prefix}"; exit 1; }
touch "${stamp}"
ensure_curl
echo "${prefix}"

#!/usr/bin/env bash
# Cross-builds libcurl 7.88.1 (Debian 12's curl source package, with Debian's patches) for
# x86_64-w64-mingw32 as a DLL into PREFIX, beside the Qt for mingw, with curl's own CMake build.
# HTTP and HTTPS only, TLS through Windows' Schannel and its certificate store (with
# curl-schannel-trust.patch: a CA file trusted beside the store, addresses matched); no zlib, brotli,
# zstd, libssh2, libidn2, libpsl, nghttp2 or LDAP, so the DLL needs nothing but Windows' own DLLs.
# Found with find_package(CURL CONFIG) as CURL::libcurl once PREFIX is in the find root path.
# Usage: build-curl-mingw.sh WORKDIR PREFIX   (PREFIX holds toolchain-mingw-w64-posix.cmake)
set -euo pipefail
source "$(dirname "$(readlink -f "$0")")/debian-source.sh"
work=$1
prefix=$2
toolchain="$prefix/toolchain-mingw-w64-posix.cmake"
[ -f "$toolchain" ] || { echo "no $toolchain: unpack or build the Qt for mingw first" >&2; exit 1; }
mkdir -p "$work" && cd "$work"
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -q --no-install-recommends g++-mingw-w64-x86-64-posix cmake ninja-build dpkg-dev >/dev/null
fetch_debian_source curl curl_7.88.1.orig.tar.gz
unpack_debian_source curl 7.88.1 curl-src
patch -d curl-src -p1 --quiet <"$(dirname "$(readlink -f "$0")")/curl-schannel-trust.patch"
rm -rf curl-build
# CA bundle and path "none": left on auto, CMake bakes the build machine's /etc/ssl paths into
# the DLL, and Schannel then fails every HTTPS transfer on a missing file instead of using the
# Windows certificate store.
cmake -S curl-src -B curl-build -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=ON \
    -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF -DHTTP_ONLY=ON \
    -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_CA_BUNDLE=none -DCURL_CA_PATH=none \
    -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBSSH=OFF \
    -DUSE_LIBIDN2=OFF -DUSE_WIN32_IDN=OFF -DCURL_USE_LIBPSL=OFF -DUSE_NGHTTP2=OFF > curl-configure.log 2>&1
nice -n 10 cmake --build curl-build > curl-build.log 2>&1
cmake --install curl-build > curl-install.log 2>&1
x86_64-w64-mingw32-strip --strip-unneeded "$prefix/bin/libcurl.dll"
ls "$prefix"/bin/libcurl*.dll "$prefix/lib/cmake/CURL/CURLConfig.cmake"

#!/usr/bin/env bash
# Configures and builds Kestrovan into the build directory given as $1 (default: build).
# Further arguments go to CMake's configure step.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${1:-${root}/build}"
shift || true
cmake -S "${root}" -B "${build_dir}" -G Ninja -DCMAKE_BUILD_TYPE="${KESTROVAN_BUILD_TYPE:-RelWithDebInfo}" \
    -DKESTROVAN_WERROR=ON "$@" >/dev/null
# KESTROVAN_TARGETS limits the build to the named targets (./run needs only the programs).
read -r -a targets <<<"${KESTROVAN_TARGETS:-all}"
cmake --build "${build_dir}" --parallel "$(nproc)" --target "${targets[@]}"

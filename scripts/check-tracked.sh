#!/usr/bin/env bash
# Fails when a tracked file is a product of building, running or profiling rather than one of the
# project's own: profiler output, pid files, logs, core dumps, build folders, loose data at the root.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
products='(^|/)(perf\.data[^/]*|[^/]+\.(pid|log|orig|rej)|core(\.[0-9]+)?|CMakeCache\.txt|build[^/]*/.*)$|^[^/]+\.(json|txt|conf)$'
found="$(git ls-files | grep -E "${products}" | grep -v -x 'CMakeLists.txt' || true)"
if [ -n "${found}" ]; then
    echo "check-tracked: these tracked files are build or run products; remove them:" >&2
    echo "${found}" >&2
    exit 1
fi

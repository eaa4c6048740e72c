#!/bin/sh
# Builds the libFuzzer targets in build-fuzz and runs each for SECONDS (default 60).
# Usage: scripts/fuzz.sh [SECONDS]
set -eu

seconds=${1:-60}
case $seconds in
    '' | *[!0-9]*) echo "usage: $0 [SECONDS]" >&2; exit 2 ;;
esac

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-fuzz

cmake -S "$root/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
ninja -C "$build"

status=0
for target in fuzz_extract_proxy_entries fuzz_export_text fuzz_extract_location fuzz_delay_text; do
    corpus=$build/corpus/$target
    mkdir -p "$corpus"
    # A first byte of 0 reads one unit per byte; 0xF0.. stand for the location markers' characters.
    case $target in
        fuzz_extract_proxy_entries) printf '\000list 8080\n1a:80ok\n2b:81ok\n3c:82ok4' >"$corpus/seed"
            i=1 page='\000'
            while [ $i -le 12 ]; do page="${page}${i}h$i:8080ok"; i=$((i + 1)); done
            printf "$page" >"$corpus/seed-12" ;;
        fuzz_extract_location) printf '\000\360\361\362\363\364\365 x\n\366\367\363\364\370\365' >"$corpus/seed" ;;
        fuzz_export_text) printf '\000a\000\000b' >"$corpus/seed" ;;
    esac
    echo "== $target: $seconds s"
    # Artifacts (crashing inputs) land in build-fuzz/artifacts/.
    mkdir -p "$build/artifacts"
    if ! "$build/$target" -max_total_time="$seconds" -max_len=65536 -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$target-" "$corpus"; then
        echo "!! $target failed" >&2
        status=1
    fi
done
exit $status

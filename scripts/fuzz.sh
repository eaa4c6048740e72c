#!/bin/sh
# Builds the libFuzzer targets in build-fuzz and runs each in turn for SECONDS (default 60).
# Exits non-zero when any target finds a crash, a hang, a leak or a failed property; the input
# that did it lands in build-fuzz/artifacts/ (replay: build-fuzz/TARGET FILE).
#
# Usage: scripts/fuzz.sh [--quick] [SECONDS] [TARGET...]
#   --quick   5 s per target unless SECONDS is given; each run's output goes to
#             build-fuzz/logs/TARGET.log and one line per target is printed (for ./test).
#   TARGET    run only these targets (default: all).
# Runs are niced; the corpus each target grows stays in build-fuzz/corpus/TARGET, the seeds in
# fuzz/seeds/TARGET are only read.
set -eu

quick=0
if [ "${1:-}" = --quick ]; then
    quick=1
    shift
fi
seconds=60
[ $quick -eq 1 ] && seconds=5
case ${1:-} in
    '') ;;
    *[!0-9]*) ;;
    *) seconds=$1; shift ;;
esac
if [ "$seconds" -lt 1 ]; then
    echo "usage: $0 [--quick] [SECONDS] [TARGET...]" >&2
    exit 2
fi

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-fuzz
all="fuzz_extract_proxy_entries fuzz_export_text fuzz_extract_location fuzz_delay_text fuzz_key_path"
all="$all fuzz_reg_command fuzz_page_text"
targets=${*:-$all}

if ! command -v clang++ >/dev/null 2>&1; then
    echo "fuzz: clang++ is missing (scripts/install-deps.sh installs it)" >&2
    exit 2
fi
if [ $quick -eq 1 ]; then
    mkdir -p "$build"
    if ! { nice -n 10 cmake -S "$root/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTROVAN_WERROR=ON && nice -n 10 ninja -C "$build"; } >"$build/build.log" 2>&1; then
        tail -n 40 "$build/build.log" >&2
        echo "fuzz: the build failed (build-fuzz/build.log)" >&2
        exit 1
    fi
else
    nice -n 10 cmake -S "$root/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTROVAN_WERROR=ON
    nice -n 10 ninja -C "$build"
fi

# Longest input per target: the proxy list must reach the first marker's 32767-unit limit.
max_len() {
    case $1 in
        fuzz_extract_proxy_entries) echo 70000 ;;
        fuzz_delay_text) echo 16 ;;
        fuzz_key_path) echo 256 ;;
        fuzz_reg_command) echo 1024 ;;
        fuzz_page_text) echo 16384 ;;
        *) echo 8192 ;;
    esac
}

mkdir -p "$build/artifacts" "$build/logs"
failed=""
for target in $targets; do
    case " $all " in
        *" $target "*) ;;
        *) echo "fuzz: no target $target" >&2; exit 2 ;;
    esac
    corpus=$build/corpus/$target
    mkdir -p "$corpus"
    set -- -max_total_time="$seconds" -max_len="$(max_len "$target")" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-"
    [ -f "$root/fuzz/dict/$target.dict" ] && set -- "$@" -dict="$root/fuzz/dict/$target.dict"
    set -- "$@" "$corpus"
    [ -d "$root/fuzz/seeds/$target" ] && set -- "$@" "$root/fuzz/seeds/$target"

    log=$build/logs/$target.log
    if [ $quick -eq 1 ]; then
        status=0
        nice -n 10 "$build/$target" "$@" >"$log" 2>&1 || status=$?
    else
        echo "== $target: $seconds s"
        { status=0; nice -n 10 "$build/$target" "$@" 2>&1 || status=$?; echo $status >"$log.status"; } |
            tee "$log"
        status=$(cat "$log.status")
    fi
    grep -q -E '^SUMMARY: |^==[0-9]+== ?ERROR: |property failed|^ERROR: libFuzzer' "$log" && status=1
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    units=$(find "$corpus" -type f | wc -l)
    if [ "$status" -ne 0 ]; then
        failed="$failed $target"
        echo "!! $target: FINDING (log build-fuzz/logs/$target.log, input in build-fuzz/artifacts/)" >&2
        if [ $quick -eq 1 ]; then
            grep -E 'property failed|SUMMARY|ERROR|Test unit written' "$log" >&2 || tail -n 5 "$log" >&2
        fi
    else
        echo "$target: clean, ${runs:-?} runs in $seconds s, corpus $units"
    fi
done

if [ -n "$failed" ]; then
    echo "fuzz: findings in$failed" >&2
    exit 1
fi
echo "fuzz: all targets clean"

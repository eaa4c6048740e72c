# shellcheck shell=bash disable=SC2154
# Shared by window-figures.sh and wine-window-figures.sh (sourced): stopping what they start,
# stamping xev's lines, the loopback answer time of the start-up requests and the medians.
# Uses the caller's xev_pid, stamp_pid, start_urls and work_dir/results.

stop_pid() {
    local pid=$1
    if [[ -n $pid ]] && kill -0 "$pid" 2>/dev/null; then
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
}

# Stamps the root window's structure events into work_dir/xev.log until stop_watch; sets xev_pid
# and stamp_pid (called in the script's own shell, so that the clean-up knows both).
start_watch() {
    mkfifo "$work_dir/xev.fifo"
    stamp_lines <"$work_dir/xev.fifo" >"$work_dir/xev.log" &
    stamp_pid=$!
    stdbuf -oL xev -root -event substructure >"$work_dir/xev.fifo" 2>/dev/null &
    xev_pid=$!
    sleep 0.5 # xev has selected the root window's events by then
    rm -f "$work_dir/xev.fifo"
    kill -0 "$xev_pid" 2>/dev/null || fail "xev ended"
}

stop_watch() {
    stop_pid "$xev_pid"
    stop_pid "$stamp_pid"
    xev_pid=""
    stamp_pid=""
}

median() {
    sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# The three start-up requests' loopback answer time in ms, the median of 5 rounds.
http_ms() {
    local url total
    for _ in 1 2 3 4 5; do
        total=0
        for url in "${start_urls[@]}"; do
            total=$(awk -v a="$total" -v b="$(curl -s -o /dev/null --noproxy '*' -w '%{time_total}' "$url")" \
                'BEGIN { print a + b * 1000 }')
        done
        echo "$total"
    done | median
}

stamp_lines() {
    local line
    while IFS= read -r line; do
        printf '%s %s\n' "$EPOCHREALTIME" "$line"
    done
}

# kestrovan / bare for one column (start, beyond: start less the HTTP answers, cpu or peak): each
# kestrovan start is paired with the bare start that follows it, so that both of a pair met much
# the same machine load; the median of the pairs' ratios is the steadier figure.
ratios() {
    awk -v c="$1" '$1 == "kestrovan" { k = (c == "beyond" ? $2 - $3 : c == "cpu" ? $4 : c == "peak" ? $5 : $2) }
        $1 == "bare" { print k / (c == "cpu" ? $4 : c == "peak" ? $5 : $2) }' "$work_dir/results" | median
}

# RUNS alternating starts of PROGRAM and BARE, each measured by the caller's measure (which prints
# "start_ms cpu_ms" and then whole numbers, such as memory figures): a table row for each start,
# and "name start http cpu ..." a line in work_dir/results for ratios.
alternate_starts() {
    local runs=$1 program=$2 bare=$3 run name http start cpu rest value
    : >"$work_dir/results"
    for run in $(seq "$runs"); do
        # Alternating the two spreads any change in machine load over both.
        for name in kestrovan bare; do
            if [[ $name == kestrovan ]]; then
                http=$(http_ms)
                measure "$program" >"$work_dir/one"
            else
                http=0
                measure "$bare" >"$work_dir/one"
            fi
            read -r start cpu rest <"$work_dir/one"
            printf '%-10s %4d %9.1f %9.2f %9.2f' "$name" "$run" "$start" "$http" "$cpu"
            for value in $rest; do
                printf ' %9d' "$value"
            done
            printf '\n'
            echo "$name $start $http $cpu $rest" >>"$work_dir/results"
        done
    done
}

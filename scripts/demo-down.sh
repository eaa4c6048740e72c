#!/usr/bin/env bash
# Stops what scripts/demo-up.sh started, by the pids it recorded. Safe to run again.
set -euo pipefail

runtime_dir=${XDG_RUNTIME_DIR:-/tmp}/kestrovan-demo

stop() {
    local program=$1 pid_file=$runtime_dir/$1.pid pid
    if [[ ! -f $pid_file ]]; then
        echo "$program: not running"
        return
    fi
    pid=$(<"$pid_file")
    # A stale pid file may name a process that has since been reused by another program.
    if [[ ! $pid =~ ^[0-9]+$ || $(ps -o comm= -p "$pid" 2>/dev/null) != "$program" ]]; then
        echo "$program: not running (removing a stale pid file)"
        rm -f "$pid_file"
        return
    fi
    kill "$pid"
    for _ in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        echo "$program: pid $pid did not end within 5 seconds" >&2
        exit 1
    fi
    rm -f "$pid_file"
    echo "$program: stopped (pid $pid)"
}

stop tinyproxy
stop kestrovan-demo

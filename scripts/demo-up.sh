#!/usr/bin/env bash
# Starts the local demo: kestrovan-demo (home site, lookup service, the TLS target that
# kestrovan-check reaches through each proxy's tunnel, the slow proxy on 127.0.0.1:8081, which
# offers no CONNECT, and an intercepting proxy on 127.0.0.1:8082, which answers CONNECT with TLS of
# its own) and a tinyproxy as the working proxy on 127.0.0.1:8080, which tunnels. Nothing listens on
# 127.0.0.1:8089, the dead entry of the demo list. Running it again starts only what is missing.
#
# Usage: scripts/demo-up.sh [BUILD_DIR]   (default: the build folder of the repository)
# Environment: KESTROVAN_SLOW_PROXY_DELAY_MS (default 3000), KESTROVAN_LOOKUP_DELAY_MS (default 0).
set -euo pipefail

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${1:-$repo_root/build}
runtime_dir=${XDG_RUNTIME_DIR:-/tmp}/kestrovan-demo
demo_bin=$build_dir/demo/kestrovan-demo

proxy_port=8080
slow_proxy_port=8081
intercepting_proxy_port=8082
slow_proxy_delay_ms=${KESTROVAN_SLOW_PROXY_DELAY_MS:-3000}
lookup_delay_ms=${KESTROVAN_LOOKUP_DELAY_MS:-0}

fail() {
    echo "demo-up: $*" >&2
    exit 1
}

# The port of a base address configured in the build ("http://127.0.0.1:17480" -> 17480).
configured_port() {
    local name=$1 fallback=$2 cache=$build_dir/CMakeCache.txt url=""
    if [[ -f $cache ]]; then
        url=$(sed -n "s|^$name:[A-Z]*=||p" "$cache")
    fi
    url=${url:-$fallback}
    if [[ ! $url =~ ^(https?)://(127\.[0-9.]+|localhost)(:([0-9]+))?/?$ ]]; then
        fail "$name is $url; the demo serves loopback base addresses only"
    fi
    local default_port=80
    [[ ${BASH_REMATCH[1]} == https ]] && default_port=443
    echo "${BASH_REMATCH[4]:-$default_port}"
}

port_open() {
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# True when the pid file names a live process of the expected program.
running() {
    local pid_file=$1 program=$2 pid
    [[ -f $pid_file ]] || return 1
    pid=$(<"$pid_file")
    [[ $pid =~ ^[0-9]+$ ]] || return 1
    [[ $(ps -o comm= -p "$pid" 2>/dev/null) == "$program" ]]
}

require_free_ports() {
    local port
    for port in "$@"; do
        if port_open "$port"; then
            fail "port $port is in use by another program; stop it or free the port first"
        fi
    done
}

wait_for_ports() {
    local pid_file=$1 log_file=$2 port
    shift 2
    for port in "$@"; do
        for _ in $(seq 50); do
            port_open "$port" && continue 2
            if ! kill -0 "$(<"$pid_file")" 2>/dev/null; then
                tail -n 5 "$log_file" >&2 || true
                rm -f "$pid_file"
                fail "the process for port $port ended; log: $log_file"
            fi
            sleep 0.1
        done
        fail "port $port did not open within 5 seconds; log: $log_file"
    done
}

start_demo() {
    local pid_file=$runtime_dir/kestrovan-demo.pid log_file=$runtime_dir/kestrovan-demo.log
    if running "$pid_file" kestrovan-demo; then
        echo "kestrovan-demo is already running (pid $(<"$pid_file"))"
        return
    fi
    rm -f "$pid_file"
    [[ -x $demo_bin ]] || fail "$demo_bin not found; build the target kestrovan-demo first"
    "$demo_bin" --home-port "$home_port" --lookup-port "$lookup_port" --lookup-delay-ms "$lookup_delay_ms" \
        --slow-proxy-port "$slow_proxy_port" --slow-proxy-delay-ms "$slow_proxy_delay_ms" \
        --tls-port "$tls_port" --tls-dir "$build_dir/demo-tls" --intercepting-proxy-port "$intercepting_proxy_port" \
        </dev/null >"$log_file" 2>&1 &
    echo $! >"$pid_file"
    wait_for_ports "$pid_file" "$log_file" "$home_port" "$lookup_port" "$slow_proxy_port" "$tls_port" \
        "$intercepting_proxy_port"
    echo "kestrovan-demo: home site http://127.0.0.1:$home_port, lookup service" \
        "http://127.0.0.1:$lookup_port, slow proxy 127.0.0.1:$slow_proxy_port (${slow_proxy_delay_ms} ms)," \
        "TLS target https://127.0.0.1:$tls_port/, intercepting proxy 127.0.0.1:$intercepting_proxy_port"
}

start_tinyproxy() {
    local pid_file=$runtime_dir/tinyproxy.pid log_file=$runtime_dir/tinyproxy.log conf=$runtime_dir/tinyproxy.conf
    if running "$pid_file" tinyproxy; then
        echo "tinyproxy is already running (pid $(<"$pid_file"))"
        return
    fi
    rm -f "$pid_file"
    command -v tinyproxy >/dev/null || fail "tinyproxy is not installed (apt-get install tinyproxy)"
    {
        echo "Port $proxy_port"
        echo "Listen 127.0.0.1"
        echo "Allow 127.0.0.1"
        echo "Timeout 60"
        echo "MaxClients 50"
        echo "LogLevel Info"
        # CONNECT to HTTPS and to the demo's TLS target only.
        echo "ConnectPort 443"
        echo "ConnectPort $tls_port"
        if [[ $(id -u) -eq 0 ]]; then
            echo "User nobody"
            echo "Group nogroup"
        fi
    } >"$conf"
    tinyproxy -d -c "$conf" </dev/null >"$log_file" 2>&1 &
    echo $! >"$pid_file"
    wait_for_ports "$pid_file" "$log_file" "$proxy_port"
    echo "tinyproxy: working proxy 127.0.0.1:$proxy_port"
}

home_port=$(configured_port KESTROVAN_HOME_URL http://127.0.0.1:17480)
lookup_port=$(configured_port KESTROVAN_LOOKUP_URL http://127.0.0.1:17481)
tls_port=$(configured_port KESTROVAN_TUNNEL_URL https://127.0.0.1:17482/)
mkdir -p "$runtime_dir"

# Every port still to be opened must be free before anything starts, so that a clash leaves
# nothing half started.
ports=()
running "$runtime_dir/kestrovan-demo.pid" kestrovan-demo ||
    ports+=("$home_port" "$lookup_port" "$slow_proxy_port" "$tls_port" "$intercepting_proxy_port")
running "$runtime_dir/tinyproxy.pid" tinyproxy || ports+=("$proxy_port")
require_free_ports "${ports[@]}"

start_demo
start_tinyproxy
echo "logs and pid files: $runtime_dir; stop with scripts/demo-down.sh"

#!/usr/bin/env bash
# Makes the demo's TLS material in OUT_DIR with the openssl command: the demo CA (ca.pem, the one
# a demo or test build trusts), the demo TLS target's certificate for 127.0.0.1 and localhost
# signed by it (target.pem, target.key), and the intercepting proxy's certificate for the same
# names signed by a second CA that nobody trusts (other-ca.pem, intercept.pem, intercept.key). The
# second CA is RSA: the Windows phase makes it a root of the user's store for one run, and Wine's
# chain engine takes an ECDSA root from there for badly signed. Keeps what exists.
#
# Usage: scripts/demo-tls.sh OUT_DIR
set -euo pipefail
out=${1:?usage: demo-tls.sh OUT_DIR}
[[ -f $out/ca.pem && -f $out/target.pem && -f $out/other-ca.pem && -f $out/intercept.pem ]] && exit 0
command -v openssl >/dev/null || { echo "demo-tls: openssl is not installed" >&2; exit 1; }
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# make_ca NAME SUBJECT KEY-OPTIONS...
make_ca() {
    openssl req -x509 -newkey "${@:3}" -nodes -days 3650 -subj "/CN=$2" \
        -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign \
        -keyout "$work/$1.key" -out "$work/$1.pem" 2>/dev/null
}
# make_leaf NAME CA
make_leaf() {
    openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "/CN=127.0.0.1" \
        -keyout "$work/$1.key" -out "$work/$1.csr" 2>/dev/null
    printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' \
        >"$work/$1.ext"
    openssl x509 -req -in "$work/$1.csr" -CA "$work/$2.pem" -CAkey "$work/$2.key" -CAcreateserial \
        -days 3650 -extfile "$work/$1.ext" -out "$work/$1.pem" 2>/dev/null
}

make_ca ca "Kestrovan demo CA" ec -pkeyopt ec_paramgen_curve:P-256
make_ca other-ca "Kestrovan demo interceptor CA" rsa:2048
make_leaf target ca
make_leaf intercept other-ca
cp "$work/ca.pem" "$work/target.pem" "$work/target.key" "$work/other-ca.pem" "$work/intercept.pem" "$work/intercept.key" \
    "$out/"

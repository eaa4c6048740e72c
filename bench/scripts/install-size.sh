#!/usr/bin/env bash
# What each package profile would download on a minimal Debian 12: the packages apt would install
# and their download size, against a package state holding only the required, important and
# essential packages of this machine and what they depend on. Installs nothing.
#   bench/scripts/install-size.sh [profile ...]     (default: run test)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
scratch="$(mktemp -d)"
trap 'rm -rf "${scratch}"' EXIT
mkdir -p "${scratch}/archives/partial"

python3 - "${scratch}/status" <<'PY'
import re, sys
stanzas = open('/var/lib/dpkg/status').read().strip().split('\n\n')
packages, provided = {}, {}
for stanza in stanzas:
    fields = dict(m.groups() for m in (re.match(r'(\S+): (.*)', l) for l in stanza.split('\n')) if m)
    packages.setdefault(fields['Package'], []).append((stanza, fields))
    for p in fields.get('Provides', '').split(','):
        if p.strip():
            provided.setdefault(p.strip().split(' ')[0], []).append(fields['Package'])
base = [n for n, v in packages.items()
        if any(f.get('Priority') in ('required', 'important') or f.get('Essential') == 'yes' for _, f in v)]
kept, todo = set(), list(base)
while todo:
    name = todo.pop()
    if name in kept:
        continue
    kept.add(name)
    for _, fields in packages.get(name, []):
        for relation in (fields.get('Depends', '') + ',' + fields.get('Pre-Depends', '')).split(','):
            for alternative in relation.split('|'):
                dep = alternative.strip().split(' ')[0].split(':')[0]
                if dep in packages:
                    todo.append(dep)
                    break
                if dep in provided:
                    todo.extend(provided[dep])
                    break
open(sys.argv[1], 'w').write('\n\n'.join(s for n in kept for s, _ in packages.get(n, [])) + '\n')
PY

profiles=("$@")
[ ${#profiles[@]} -gt 0 ] || profiles=(run test)
for profile in "${profiles[@]}"; do
    # shellcheck disable=SC2046
    apt-get install --print-uris -qq --no-install-recommends -o Dir::State::status="${scratch}/status" \
        -o Dir::Cache::archives="${scratch}/archives" $("${root}/scripts/install-deps.sh" --list "${profile}") |
        awk -v p="${profile}" '/^\x27/ { n++; bytes += $3 } END { printf "%s: %d packages, %.0f MB\n", p, n, bytes / 1e6 }'
done

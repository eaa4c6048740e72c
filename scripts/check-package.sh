#!/usr/bin/env bash
# Builds the Debian package, installs it with apt-get and starts the installed program against the
# demo site on a private virtual desktop (start-up to the shown window, then exit with OK).
# Needs root. Leaves the package installed; remove it with: apt-get remove kestrovan
#   scripts/check-package.sh [BUILD_DIR]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-${root}/build}"

"${root}/scripts/build.sh" "${build}"
(cd "${build}" && cpack -G DEB)
package="$(ls -t "${build}"/kestrovan_*.deb | head -n 1)"
apt-get -o DPkg::Lock::Timeout=600 install -y -q --reinstall "${package}"
/usr/bin/python3 "${root}/tests/e2e/e2e_test.py" --short --source-dir "${root}" --build-dir "${build}" \
    --program /usr/bin/kestrovan --reg-tool /usr/bin/kestrovan-reg --artifacts "${build}/package-check"

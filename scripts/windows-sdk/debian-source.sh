# Sourced by the recipe's build scripts: Debian 12's source packages, in the current folder.

# Downloads source package PACKAGE unless its upstream tarball ORIG is here already; adds a deb-src
# entry for Debian 12 first when apt has none.
fetch_debian_source() {
    local package=$1 orig=$2
    [[ -f ${orig} ]] && return 0
    if ! grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
            >/etc/apt/sources.list.d/debian-src.sources
        apt-get update -q >/dev/null
    fi
    apt-get source --download-only "${package}" >/dev/null
}

# Unpacks the newest Debian revision of VERSION of source package PACKAGE, with Debian's patches,
# into a fresh folder DIR.
unpack_debian_source() {
    local package=$1 version=$2 dir=$3
    local dsc
    dsc="$(ls "${package}_${version}"-*.dsc | sort -V | tail -n 1)"
    rm -rf "${dir}"
    dpkg-source -x "${dsc}" "${dir}" >/dev/null 2>&1
}

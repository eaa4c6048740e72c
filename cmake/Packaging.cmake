# A Debian package of the program: cpack -G DEB in the build folder (see README).
set(CPACK_PACKAGE_NAME kestrovan)
set(CPACK_PACKAGE_VENDOR "Kestrovan developers")
set(CPACK_PACKAGE_CONTACT "Kestrovan developers <kestrovan@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${KESTROVAN_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Fetches a numbered list of public HTTP proxies, switches the current user's system proxy to\none of them or off, shows the proxy state once a second, looks up where a proxy is located,\nspeed-tests a proxy and exports the list to a text file. kestrovan-check checks the whole\nlist at once from the command line.")
# The shared libraries (Qt, SQLite, libxml2, GLib) are found by dpkg-shlibdeps; the rest is what
# the programs use at run time without linking to it: libcurl is loaded when a check first runs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcurl4, qt6-qpa-plugins, libqt6svg6, qt6-translations-l10n, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk, gsettings-desktop-schemas")
# Only the program, kestrovan-reg and kestrovan-check: the test servers and tests are not installed.
set(CPACK_COMPONENTS_ALL Unspecified)
include(CPack)

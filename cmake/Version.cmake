# The version in each form it is shown in, all from the project version (project() in the top
# CMakeLists.txt, the one place it is written). Included right after project().
# For major M, minor m and revision r:
#   KESTROVAN_VERSION               M.m.r    the window, the packages and their file names
#   KESTROVAN_PUBLISHED_VERSION     M.m      what the home site's version file holds while current
#   KESTROVAN_PRODUCT_VERSION_TEXT  M.mm     m in two digits: file metadata, desktop entry, AppStream
#   KESTROVAN_FILE_VERSION          M.m.r.0  the Windows manifest
#   KESTROVAN_FILE_VERSION_COMMAS   M,m,r,0  the Windows resource's binary version
#   KESTROVAN_RELEASE_DATE          the release's date, for AppStream
set(KESTROVAN_RELEASE_DATE "2026-12-07")

if(NOT PROJECT_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+$")
    message(FATAL_ERROR "the project version must be three numbers, not \"${PROJECT_VERSION}\"")
endif()
set(KESTROVAN_VERSION "${PROJECT_VERSION}")
set(KESTROVAN_PUBLISHED_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")
# The minor number in two digits.
if(PROJECT_VERSION_MINOR LESS 10)
    set(KESTROVAN_PRODUCT_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.0${PROJECT_VERSION_MINOR}")
else()
    set(KESTROVAN_PRODUCT_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")
endif()
set(KESTROVAN_FILE_VERSION "${PROJECT_VERSION}.0")
string(REPLACE "." "," KESTROVAN_FILE_VERSION_COMMAS "${KESTROVAN_FILE_VERSION}")

# kestrovan.exe: a GUI program with its file metadata, icon and manifest, installed with the DLLs it
# needs beside it, and packaged as an NSIS installer and a portable zip (cpack in the build folder).

enable_language(RC)

set(KESTROVAN_PRODUCT_NAME "【Tolvaren】")
# The metadata and the manifest carry the version in the forms cmake/Version.cmake makes.
set(resources ${PROJECT_SOURCE_DIR}/window/resources/windows)
set(KESTROVAN_ICO ${resources}/kestrovan.ico)
set(KESTROVAN_MANIFEST ${PROJECT_BINARY_DIR}/generated/kestrovan.manifest)
configure_file(${resources}/kestrovan.manifest.in ${KESTROVAN_MANIFEST} @ONLY)
configure_file(${resources}/kestrovan.rc.in ${PROJECT_BINARY_DIR}/generated/kestrovan.rc @ONLY)
target_sources(kestrovan PRIVATE ${PROJECT_BINARY_DIR}/generated/kestrovan.rc)
if(MSVC)
    target_sources(kestrovan PRIVATE ${KESTROVAN_MANIFEST})
else()
    configure_file(${resources}/kestrovan-manifest.rc.in ${PROJECT_BINARY_DIR}/generated/kestrovan-manifest.rc
                   @ONLY)
    target_sources(kestrovan PRIVATE ${PROJECT_BINARY_DIR}/generated/kestrovan-manifest.rc)
endif()
set_target_properties(kestrovan PROPERTIES WIN32_EXECUTABLE ON)

# What runs beside kestrovan.exe and kestrovan-check.exe: the Qt DLLs they link, the platform and
# style plugins, libxml2, libcurl and the compiler's runtime.
install(FILES $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>
              $<TARGET_FILE:Qt6::Network> DESTINATION .)
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
if(TARGET Qt6::QWindowsVistaStylePlugin)
    install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)
endif()
get_filename_component(libxml2_lib_dir "${LIBXML2_LIBRARY}" DIRECTORY)
find_file(KESTROVAN_LIBXML2_DLL NAMES libxml2.dll libxml2-2.dll
          HINTS ${libxml2_lib_dir}/../bin ${libxml2_lib_dir} NO_CMAKE_FIND_ROOT_PATH)
if(KESTROVAN_LIBXML2_DLL)
    install(FILES ${KESTROVAN_LIBXML2_DLL} DESTINATION .)
endif()
install(FILES $<TARGET_FILE:CURL::libcurl> DESTINATION .)
if(MINGW)
    foreach(runtime libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
                        OUTPUT_VARIABLE runtime_path OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(NOT IS_ABSOLUTE "${runtime_path}")
            find_file(runtime_path_${runtime} ${runtime} PATHS ${CMAKE_FIND_ROOT_PATH} PATH_SUFFIXES lib bin
                      NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
            set(runtime_path ${runtime_path_${runtime}})
        endif()
        if(NOT EXISTS "${runtime_path}")
            message(FATAL_ERROR "mingw runtime ${runtime} not found")
        endif()
        # Debian ships them with symbols (libstdc++ is 23 MB so); the package gets stripped copies.
        set(stripped ${PROJECT_BINARY_DIR}/runtime/${runtime})
        if(NOT EXISTS ${stripped} OR ${runtime_path} IS_NEWER_THAN ${stripped})
            file(COPY ${runtime_path} DESTINATION ${PROJECT_BINARY_DIR}/runtime)
            execute_process(COMMAND ${CMAKE_STRIP} --strip-unneeded ${stripped})
        endif()
        install(FILES ${stripped} DESTINATION .)
    endforeach()
else()
    include(InstallRequiredSystemLibraries)
endif()

set(CPACK_PACKAGE_NAME Kestrovan)
set(CPACK_PACKAGE_VENDOR "Marrowfen Ostrelund")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${KESTROVAN_VERSION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY Kestrovan)
set(CPACK_PACKAGE_FILE_NAME kestrovan-${KESTROVAN_VERSION}-win64)
set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_EXECUTABLES kestrovan "${KESTROVAN_PRODUCT_NAME}")
# A 64-bit Unicode installer (the names are Chinese) for the 64-bit program. CPack 3.25 has no
# setting for makensis' Target; the compressor line is the template's first place that takes it.
set(CPACK_NSIS_COMPRESSOR "lzma\n  Target amd64-unicode")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_DISPLAY_NAME "${KESTROVAN_PRODUCT_NAME}")
set(CPACK_NSIS_PACKAGE_NAME "${KESTROVAN_PRODUCT_NAME}")
set(CPACK_NSIS_MUI_ICON ${KESTROVAN_ICO})
set(CPACK_NSIS_MUI_UNIICON ${KESTROVAN_ICO})
set(CPACK_NSIS_INSTALLED_ICON_NAME kestrovan.exe)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
set(CPACK_NSIS_UNINSTALL_NAME Uninstall)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_COMPONENTS_ALL Unspecified)
# Before the files go: the uninstalling user's own state. A speed test that never ended has its
# record in the state folder; the program gives the user's setting back from it, as at a start,
# and only then are the folder and the program's key removed. The user's proxy setting is not
# otherwise touched. $LOCALAPPDATA is the user's in the "current" context; the context the
# uninstaller chose (all users, for an administrator) is taken back for the shortcuts.
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS [=[
  StrCpy $R0 $APPDATA
  SetShellVarContext current
  StrCpy $R1 "$LOCALAPPDATA\Kestrovan"
  StrCmp $R0 $APPDATA +2
    SetShellVarContext all
  IfFileExists "$R1\speedtest.journal" 0 +2
    ExecWait '"$INSTDIR\kestrovan.exe" --recover-only'
  RMDir /r "$R1"
  DeleteRegKey HKCU "Software\Kestrovan"
]=])
# The values reach CPack's configuration file as they are written here, quotes and backslashes
# included.
set(CPACK_VERBATIM_VARIABLES ON)
include(CPack)

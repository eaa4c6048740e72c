# The program's code that needs nothing but the standard library (and Win32 on Windows): the
# parsers of remote text and of command lines, and the Windows registry and Internet adapters.
# The program links it; the fuzz build and the Windows adapter tests build it on their own.
add_library(kestrovan_core STATIC
    ${KESTROVAN_ROOT}/lookup/DelayText.cpp
    ${KESTROVAN_ROOT}/lookup/ExtractLocation.cpp
    ${KESTROVAN_ROOT}/platform/InternetSettings.cpp
    ${KESTROVAN_ROOT}/platform/posix/regtool/RegCommand.cpp
    ${KESTROVAN_ROOT}/proxylist/ExportText.cpp
    ${KESTROVAN_ROOT}/proxylist/ExtractProxyEntries.cpp
    ${KESTROVAN_ROOT}/proxyswitch/KeyPath.cpp)
target_include_directories(kestrovan_core PUBLIC ${KESTROVAN_ROOT})
if(WIN32)
    target_sources(kestrovan_core PRIVATE
        ${KESTROVAN_ROOT}/platform/windows/StateFolder.cpp
        ${KESTROVAN_ROOT}/platform/windows/WinInetSettings.cpp
        ${KESTROVAN_ROOT}/platform/windows/WindowsBasics.cpp
        ${KESTROVAN_ROOT}/platform/windows/WindowsLauncher.cpp
        ${KESTROVAN_ROOT}/platform/windows/WindowsRegistry.cpp)
    target_compile_definitions(kestrovan_core PUBLIC WIN32_LEAN_AND_MEAN NOMINMAX)
    target_link_libraries(kestrovan_core PUBLIC advapi32 wininet shell32 ole32 uuid)
endif()

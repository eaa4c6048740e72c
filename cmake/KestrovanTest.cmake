include(GoogleTest)

# kestrovan_add_test(NAME name SOURCES ... LIBS ... [TIMEOUT seconds] [ENVIRONMENT ...])
# Declares one GoogleTest executable; cases are discovered when CTest runs, so that a
# test binary that needs a display never runs at build time.
function(kestrovan_add_test)
    cmake_parse_arguments(ARG "" "NAME;TIMEOUT" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    add_executable(${ARG_NAME} ${ARG_SOURCES})
    target_link_libraries(${ARG_NAME} PRIVATE kestrovan_test_support ${ARG_LIBS})
    gtest_discover_tests(${ARG_NAME}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES
            TIMEOUT ${ARG_TIMEOUT}
            ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${ARG_ENVIRONMENT}")
endfunction()

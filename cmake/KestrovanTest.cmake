include(GoogleTest)

# kestrovan_add_test(NAME name SOURCES ... LIBS ... [TIMEOUT seconds] [SHARDS n] [ENVIRONMENT ...])
# Declares one GoogleTest executable; cases are discovered when CTest runs, so that a
# test binary that needs a display never runs at build time.
function(kestrovan_add_test)
    cmake_parse_arguments(ARG "" "NAME;TIMEOUT;SHARDS" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    add_executable(${ARG_NAME} ${ARG_SOURCES})
    target_link_libraries(${ARG_NAME} PRIVATE kestrovan_test_support ${ARG_LIBS})
    if(KESTROVAN_TEST_WHOLE_PROGRAMS)
        # One CTest test per program (or per shard of one, for programs of long waits that
        # should run side by side): each start of an instrumented Qt program costs about a second,
        # which the sanitizer build would otherwise pay once for every case.
        if(NOT ARG_SHARDS)
            set(ARG_SHARDS 1)
        endif()
        math(EXPR last "${ARG_SHARDS} - 1")
        foreach(shard RANGE ${last})
            add_test(NAME ${ARG_NAME}.${shard} COMMAND ${ARG_NAME})
            set_tests_properties(${ARG_NAME}.${shard} PROPERTIES
                TIMEOUT 900
                ENVIRONMENT "QT_QPA_PLATFORM=offscreen;GTEST_TOTAL_SHARDS=${ARG_SHARDS};GTEST_SHARD_INDEX=${shard};${ARG_ENVIRONMENT}")
        endforeach()
        return()
    endif()
    gtest_discover_tests(${ARG_NAME}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES
            TIMEOUT ${ARG_TIMEOUT}
            ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${ARG_ENVIRONMENT}")
endfunction()

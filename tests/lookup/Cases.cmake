# The lookup parsers' cases: standard C++ and GoogleTest only, so that the Windows adapter tests
# (tests/wine) run them too.
add_library(kestrovan_lookup_cases OBJECT
    ${CMAKE_CURRENT_LIST_DIR}/DelayTextTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ExtractLocationTest.cpp)
target_link_libraries(kestrovan_lookup_cases PRIVATE kestrovan_core GTest::gtest)

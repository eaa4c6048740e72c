# The list parser's and the export text's cases: standard C++ and GoogleTest only, so that the
# Windows adapter tests (tests/wine) run them too.
add_library(kestrovan_proxylist_cases OBJECT
    ${CMAKE_CURRENT_LIST_DIR}/ExtractProxyEntriesTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ExportTextTest.cpp)
target_link_libraries(kestrovan_proxylist_cases PRIVATE kestrovan_core GTest::gtest)

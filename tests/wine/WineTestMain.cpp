// GoogleTest's main, plus the child roles some tests start this same executable in.
#include "WineTestChild.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (const auto code = kestrovan::test::RunChildRole(argc, argv)) {
        return *code;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

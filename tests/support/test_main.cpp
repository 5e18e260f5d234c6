// Test main: boxes never block (they go to standard error), then GoogleTest runs.
#include "platform/platform.h"
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    platformSetHeadlessBoxes(true);
    testing::InitGoogleTest(&argc, argv);
    // Death tests re-run the binary; "threadsafe" keeps that correct with SDL's threads around.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    return RUN_ALL_TESTS();
}

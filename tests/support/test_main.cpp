// Test main: boxes never block (they go to standard error), then GoogleTest runs.
#include "platform/platform.h"
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

// CTest runs each test of a program as its own process, side by side, in the program's one scratch
// folder; tests that write fixture files under the same names would then race. A run of one named
// test moves into a folder of its own. Death-test children inherit the folder (and the variable)
// and must not move again.
static void enterFolderOfOneTest()
{
    std::string filter = GTEST_FLAG_GET(filter);
    if (filter.empty() || filter.find_first_of("*?:-") != std::string::npos) return;
    if (getenv("HALVOREN_TEST_FOLDER")) return;
    std::string folder = "case." + filter;
    mkdir(folder.c_str(), 0755);
    if (chdir(folder.c_str()) != 0) return;
    setenv("HALVOREN_TEST_FOLDER", folder.c_str(), 1);
}

int main(int argc, char** argv)
{
    platformSetHeadlessBoxes(true);
    testing::InitGoogleTest(&argc, argv);
    enterFolderOfOneTest();
    // Death tests re-run the binary; "threadsafe" keeps that correct with SDL's threads around.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    return RUN_ALL_TESTS();
}

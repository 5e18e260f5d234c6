// Test main: boxes never block (they go to standard error), then GoogleTest runs.
#include "platform/platform.h"
#include "test_support.h" // sourcePath
#include <gtest/gtest.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#ifdef _WIN32
#include <direct.h>
#include <io.h>
// The two POSIX calls below, from the C runtime.
static char* realpath(const char* path, char* resolved) { return _fullpath(resolved, path, PATH_MAX); }
static char* mkdtemp(char* pattern)
{
    return _mktemp_s(pattern, strlen(pattern) + 1) == 0 && _mkdir(pattern) == 0 ? pattern : nullptr;
}
#endif

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

// Tests write their fixtures (a test song, pictures, archives) under the names the show uses, into
// the current folder. Started by hand in the source tree, they would overwrite the show's own data,
// so there they run in a scratch folder instead. Before GoogleTest starts: death-test children
// begin in the folder it found.
static void leaveTheSourceTree()
{
    char here[PATH_MAX], source[PATH_MAX];
    if (!getcwd(here, sizeof here) || !realpath(sourcePath("").c_str(), source)) return;
    if (strcmp(here, source) != 0) return;
    const char* temporary = getenv("TMPDIR");
    if (!temporary || !*temporary) temporary = getenv("TEMP"); // Windows names it so
    std::string folder = std::string(temporary && *temporary ? temporary : "/tmp") + "/halvoren-tests-XXXXXX";
    char* scratch = &folder[0];
    if (!mkdtemp(scratch) || chdir(scratch) != 0) {
        fprintf(stderr, "tests: started in the source tree and no scratch folder to move to\n");
        exit(1);
    }
    fprintf(stderr, "tests: started in the source tree; running in %s so the show's data stays\n", scratch);
}

int main(int argc, char** argv)
{
    platformSetHeadlessBoxes(true);
    leaveTheSourceTree();
    testing::InitGoogleTest(&argc, argv);
    enterFolderOfOneTest();
    // Death tests re-run the binary; "threadsafe" keeps that correct with SDL's threads around.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    return RUN_ALL_TESTS();
}

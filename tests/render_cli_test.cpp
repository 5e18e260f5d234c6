// The offline tools refuse bad arguments with their usage and exit code 2, before opening anything.
#include "test_support.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

static int run(const std::string& tool, const std::string& arguments)
{
    std::string command = std::string(HALVOREN_BINARY_DIR) + "/tools/render/" + tool + " " + arguments + " 2>/dev/null";
    int status = system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(OfflineTools, BadArgumentsGetUsageAndExitCodeTwo)
{
    const char* renderCases[] = {
        "",                                        // nothing to do
        "--beat",                                  // option without its value
        "--beat x --out a.png",                    // not a number
        "--beat -1 --out a.png",                   // negative beat
        "--beat 5 --beat 3 --out a.png",           // not ascending
        "--beat 5",                                // no --out
        "--beat 5 --out a.png --width 8",          // too small
        "--beat 5 --out a.png --height 720.5",     // not whole
        "--beat 5 --out a.png --fps 0",            // no frame rate
        "--beat 5 --out a.png --samples 99",       // too many samples
        "--beat 5 --out a.png --data d --archive f",
        "--beat 5 --out a.png --from 9",           // preview starts after the beat
        "--contact-sheet s.png --out a.png",
        "--write-manifest m.txt",                  // needs --data
        "--frobnicate 1",
    };
    for (const char* c : renderCases) EXPECT_EQ(run("halvoren-render", c), 2) << c;
    const char* captureCases[] = {"--fps 0", "--from 10 --to 5", "--to", "--width 100000", "--what 1"};
    for (const char* c : captureCases) EXPECT_EQ(run("halvoren-capture", c), 2) << c;
}

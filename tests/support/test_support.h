// Helpers shared by the tests: scratch files and an OpenGL window under Xvfb.
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

// Writes bytes to a file in the test's working folder (a scratch folder per test program).
void writeTestFile(const std::string& path, const std::vector<uint8_t>& bytes);
void writeTestFile(const std::string& path, const std::string& text);
std::vector<uint8_t> readTestFile(const std::string& path);
std::string readTestText(const std::string& path); // the file as text; empty when missing

// The lock file that tests hold while they focus a window and type into it, one per X display,
// so cases running side by side never type into each other's windows.
std::string keyLockPath();

// Opens (once per process) an SDL OpenGL window of the given size with GLEW initialised.
// Returns false when no display is available; GL tests then skip themselves.
bool openTestGlWindow(int width = 640, int height = 360);

// Reads the back buffer as RGBA rows, bottom row first.
std::vector<uint8_t> readTestPixels(int x, int y, int width, int height);

// Absolute path of a file in the source tree (for committed fixtures and the real data tree).
std::string sourcePath(const std::string& relative);

// A test whose prerequisite is missing (a display, xdotool, gdb, glslangValidator, the song) skips
// itself when run by hand. With HALVOREN_REQUIRE_ALL set (not "0"), as ./test.sh sets it, the same
// is a failure: a suite cannot pass by skipping what it was meant to test.
bool testsRequireAll();
#define SKIP_UNLESS_REQUIRED(why)                                        \
    do {                                                                 \
        if (testsRequireAll()) FAIL() << why << " (HALVOREN_REQUIRE_ALL)"; \
        GTEST_SKIP() << why;                                             \
    } while (0)

#define REQUIRE_GL_WINDOW(...)                                       \
    do {                                                             \
        if (!openTestGlWindow(__VA_ARGS__)) SKIP_UNLESS_REQUIRED("no display"); \
    } while (0)

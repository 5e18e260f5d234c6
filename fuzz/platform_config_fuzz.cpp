// Fuzz target for "default.cfg": the file read with readConfig, then what the settings dialog
// makes of it (the model filled against a list of modes and against any size), then a write and
// a second read, which must give back the same settings.
#include "platform/config.h"
#include "platform/settings_logic.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

// The input as a file readConfig can open: a memory file, named through /proc.
static bool writeInput(int fd, const uint8_t* data, size_t size)
{
    if (ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0) return false;
    while (size > 0) {
        ssize_t wrote = write(fd, data, size);
        if (wrote <= 0) return false;
        data += wrote;
        size -= (size_t)wrote;
    }
    return true;
}

static bool same(const Settings& a, const Settings& b)
{
    return a.width == b.width && a.height == b.height && a.flags == b.flags && a.samples == b.samples &&
           a.vsync == b.vsync;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int input = memfd_create("default.cfg", 0);
    static int output = memfd_create("written.cfg", 0);
    static char inputPath[64], outputPath[64];
    if (input < 0 || output < 0) abort();
    snprintf(inputPath, sizeof inputPath, "/proc/self/fd/%d", input);
    snprintf(outputPath, sizeof outputPath, "/proc/self/fd/%d", output);
    if (!writeInput(input, data, size)) abort();

    settings = defaultSettings();
    readConfig(inputPath);
    Settings read = settings;

    const DisplayModes listed = {false, false, {{1920, 1080}, {1280, 720}, {640, 480}}};
    const DisplayModes anySize = {false, true, {}};
    const DisplayModes none = {true, false, {}};
    for (const DisplayModes* modes : {&listed, &anySize, &none}) {
        SettingsDialogModel model;
        Settings s = read;
        settingsDialogInit(&model, *modes, &s);
        if (model.resolutionIndex >= (int)model.resolutions.size()) abort();
        if (model.antiAliasingIndex >= (int)model.antiAliasing.size()) abort();
        settingsSelectSize(&model, read.width, read.height, &s);
    }

    // What is written reads back the same.
    if (ftruncate(output, 0) != 0) abort();
    writeConfigFrom(read, outputPath);
    settings = defaultSettings();
    readConfig(outputPath);
    if (!same(settings, read)) abort();
    return 0;
}

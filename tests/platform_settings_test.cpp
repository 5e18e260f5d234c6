// Tests of the settings: "default.cfg", the dialog's model and handlers, and the real FLTK dialog
// under Xvfb driven by xdotool.
#include "platform/config.h"
#include "platform/settings_dialog.h"
#include "platform/settings_logic.h"
#include "test_support.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

static DisplayModes listedModes()
{
    DisplayModes m;
    m.none = false;
    m.anySize = false;
    m.modes = {{1920, 1080}, {1280, 720}, {800, 600}}; // largest first, as SDL lists them
    return m;
}

static DisplayModes anySizeModes()
{
    DisplayModes m;
    m.none = false;
    m.anySize = true;
    return m;
}

TEST(SettingsDialogModel, FirstRunPreselectsLargestFullscreen4xVsync)
{
    Settings s = defaultSettings();
    SettingsDialogModel model;
    settingsDialogInit(&model, listedModes(), &s);
    ASSERT_EQ(model.resolutions, (std::vector<std::string>{"800x600", "1280x720", "1920x1080"}));
    EXPECT_EQ(model.resolutionIndex, 2);
    EXPECT_EQ(model.antiAliasingIndex, 2);
    EXPECT_TRUE(model.fullscreenChecked);
    EXPECT_TRUE(model.vsyncChecked);
    EXPECT_EQ(s.width, 1920);
    EXPECT_EQ(s.height, 1080);
    EXPECT_EQ(s.flags, SETTINGS_FULLSCREEN_FLAG);
    EXPECT_EQ(s.samples, 4);
    EXPECT_EQ(s.vsync, 1);
}

TEST(SettingsDialogModel, SelectionRules)
{
    SettingsDialogModel model;
    Settings s = defaultSettings();
    s.width = 1280;
    s.height = 720;
    s.samples = 3; // not offered: "None", stored as 0
    settingsDialogInit(&model, listedModes(), &s);
    EXPECT_EQ(model.resolutionIndex, 1);
    EXPECT_EQ(model.antiAliasingIndex, 0);
    EXPECT_EQ(s.samples, 0);

    s = defaultSettings();
    s.width = 1234;
    s.height = 567; // not a listed mode: the smallest is selected and stored
    settingsDialogInit(&model, listedModes(), &s);
    EXPECT_EQ(model.resolutionIndex, 0);
    EXPECT_EQ(s.width, 800);
    EXPECT_EQ(s.height, 600);

    s = defaultSettings();
    s.width = 1280;
    s.height = -1; // either one unset: the largest
    settingsDialogInit(&model, listedModes(), &s);
    EXPECT_EQ(s.width, 1920);

    settingsSelectAntiAliasing(&model, 4, &s);
    EXPECT_EQ(s.samples, 16);
    settingsSelectAntiAliasing(&model, 0, &s);
    EXPECT_EQ(s.samples, 0);
    s.flags = SETTINGS_FULLSCREEN_FLAG | 0x10;
    settingsSetFullscreen(&model, false, &s);
    EXPECT_EQ(s.flags, 0); // every bit cleared
    settingsSetFullscreen(&model, true, &s);
    EXPECT_EQ(s.flags, SETTINGS_FULLSCREEN_FLAG);
    settingsSetVsync(&model, false, &s);
    EXPECT_EQ(s.vsync, 0);
}

TEST(SettingsDialogModel, AnySizeOffersThirteenFixedSizesAndNoModesLeavesSettings)
{
    DisplayModes any = anySizeModes();
    SettingsDialogModel model;
    Settings s = defaultSettings();
    s.width = 1600;
    s.height = 1200;
    settingsDialogInit(&model, any, &s);
    ASSERT_EQ(model.resolutions.size(), 13u);
    EXPECT_EQ(model.resolutions.front(), "640x480");
    EXPECT_EQ(model.resolutions.back(), "1600x1200");
    EXPECT_EQ(s.width, 640); // the first entry, whatever the settings said

    DisplayModes none;
    none.none = true;
    none.anySize = false;
    Settings kept = defaultSettings();
    kept.samples = 3;
    settingsDialogInit(&model, none, &kept);
    EXPECT_TRUE(model.resolutions.empty());
    EXPECT_TRUE(model.antiAliasing.empty());
    EXPECT_EQ(kept.samples, 3);
    EXPECT_EQ(kept.width, -1);
}

// A size from the command line: selected even where the list alone would pick its first entry;
// one the list lacks changes nothing, so the caller can refuse it.
TEST(SettingsDialogModel, PresetSizeIsSelectedOnlyWhenListed)
{
    DisplayModes any = anySizeModes();
    SettingsDialogModel model;
    Settings s = defaultSettings();
    settingsDialogInit(&model, any, &s);
    EXPECT_TRUE(settingsSelectSize(&model, 1024, 768, &s));
    EXPECT_EQ(model.resolutions[(size_t)model.resolutionIndex], "1024x768");
    EXPECT_EQ(s.width, 1024);
    EXPECT_EQ(s.height, 768);

    settingsDialogInit(&model, listedModes(), &s);
    int selected = model.resolutionIndex;
    EXPECT_FALSE(settingsSelectSize(&model, 1280, 72, &s)); // "1280x720" begins with "1280x72"
    EXPECT_FALSE(settingsSelectSize(&model, 1024, 768, &s));
    EXPECT_EQ(model.resolutionIndex, selected);
    EXPECT_EQ(s.width, 800); // as init left it: 1024 x 768 is no listed mode
}

class ConfigFile : public testing::Test {
protected:
    void SetUp() override { settings = defaultSettings(); }
    void TearDown() override { settings = defaultSettings(); }
};

TEST_F(ConfigFile, RoundTripInFixedOrder)
{
    settings = Settings{1024, 768, SETTINGS_FULLSCREEN_FLAG, 4, 1};
    EXPECT_TRUE(writeConfig("roundtrip.cfg"));
    std::vector<uint8_t> bytes = readTestFile("roundtrip.cfg");
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              "width 1024\nheight 768\nflags -2147483648\nsamples 4\nvsync 1\n");
    settings = defaultSettings();
    settings.samples = 0;
    readConfig("roundtrip.cfg");
    EXPECT_EQ(settings.width, 1024);
    EXPECT_EQ(settings.flags, SETTINGS_FULLSCREEN_FLAG);
    EXPECT_EQ(settings.samples, 4);
}

TEST_F(ConfigFile, AnyOrderLastValueWinsUnknownKeysSkippedStopsAtMalformedLine)
{
    writeTestFile("mixed.cfg", std::string("vsync 0\nwidth 800\ncolour 7\nwidth 640\nsamples two\nheight 480\n"));
    readConfig("mixed.cfg");
    EXPECT_EQ(settings.vsync, 0);
    EXPECT_EQ(settings.width, 640);
    EXPECT_EQ(settings.height, -1); // after the malformed line: not read
    EXPECT_EQ(settings.samples, 4);
}

TEST_F(ConfigFile, VeryLongWordNeitherOverflowsNorConverts)
{
    writeTestFile("long.cfg", "width 300\n" + std::string(20000, 'w') + " 5\nheight 200\n");
    readConfig("long.cfg");
    EXPECT_EQ(settings.width, 300);
    EXPECT_EQ(settings.height, -1);
}

TEST_F(ConfigFile, MissingFileIsSilentUnwritableOneIsSkippedAndSaysSo)
{
    readConfig("does-not-exist.cfg");
    EXPECT_EQ(settings.width, -1);
    EXPECT_FALSE(writeConfig("no-such-folder/default.cfg"));
    EXPECT_TRUE(readTestFile("no-such-folder/default.cfg").empty());
}

// Runs the real dialog in a child process and answers it with one key through xdotool.
static int runDialogAndPress(const char* key, const char* screenshot)
{
    pid_t child = fork();
    if (child == 0) {
        setenv("SDL12COMPAT_OPENGL_SCALING", "0", 1);
        if (SDL_Init(SDL_INIT_VIDEO) < 0) _exit(90);
        settings = defaultSettings();
        int result = showSettingsDialog();
        if (result == SETTINGS_RUN) writeConfig("dialog.cfg");
        _exit(result);
    }
    // This child's own dialog (other tests open dialogs of the same name on the same display), and
    // the focus-and-key step under the lock those tests take too.
    std::string command = "for i in $(seq 1 100); do id=$(xdotool search --all --pid " + std::to_string(child) +
                          " --name '^Halvoren Sound System$' 2>/dev/null | head -1);"
                          " [ -n \"$id\" ] && break; sleep 0.1; done; [ -n \"$id\" ] || exit 1; sleep 0.5; ";
    if (screenshot) command += std::string("(command -v import >/dev/null && import -window root ") + screenshot + " || true); ";
    command += "flock -w 10 '" + keyLockPath() + "' xdotool windowfocus --sync $id key --clearmodifiers " + key;
    int shell = system(command.c_str());
    int status = 0;
    if (shell != 0) kill(child, SIGKILL);
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SettingsDialogWindow, ReturnRunsAndEscapeCancels)
{
    if (!getenv("DISPLAY") || system("command -v xdotool >/dev/null") != 0) SKIP_UNLESS_REQUIRED("no display or xdotool");
    unlink("dialog.cfg");
    EXPECT_EQ(runDialogAndPress("Escape", nullptr), SETTINGS_CANCEL);
    EXPECT_TRUE(readTestFile("dialog.cfg").empty());
    EXPECT_EQ(runDialogAndPress("Return", "settings_dialog.png"), SETTINGS_RUN);
    std::vector<uint8_t> cfg = readTestFile("dialog.cfg");
    EXPECT_NE(std::string(cfg.begin(), cfg.end()).find("samples 4\n"), std::string::npos);
}

TEST(SettingsDialogWindow, AcceleratorsRunCancelAndToggle)
{
    if (!getenv("DISPLAY") || system("command -v xdotool >/dev/null") != 0) SKIP_UNLESS_REQUIRED("no display or xdotool");
    unlink("dialog.cfg");
    EXPECT_EQ(runDialogAndPress("alt+n", nullptr), SETTINGS_CANCEL);
    EXPECT_TRUE(readTestFile("dialog.cfg").empty());
    // Unchecking full screen, then vsync, before running: both are saved off.
    EXPECT_EQ(runDialogAndPress("alt+f alt+v alt+r", nullptr), SETTINGS_RUN);
    std::vector<uint8_t> bytes = readTestFile("dialog.cfg");
    std::string cfg(bytes.begin(), bytes.end());
    EXPECT_NE(cfg.find("flags 0\n"), std::string::npos) << cfg;
    EXPECT_NE(cfg.find("vsync 0\n"), std::string::npos) << cfg;
}

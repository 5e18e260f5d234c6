// Driver: the key table, the frame clock, and which scenes a frame draws in which order
// (inclusive beat windows), with the music on the virtual output.
#include "scenes/demo.h"

#include "platform/platform.h"
#include "util/data/data.h"
#include "util/fbo/fbo.h"
#include "util/music/audio.h"
#include "util/music/music.h"
#include "test_support.h"
#include <SDL.h>
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <sys/stat.h>
#include <vector>

// >> keys
TEST(KeyState, EveryKeyOfTheTable)
{
    struct Row {
        int key, first, second;
    };
    const Row rows[] = {
        {SDLK_LALT, 0, 27}, {SDLK_RALT, 0, 27}, {SDLK_LEFT, 1, -1},    {SDLK_RIGHT, 2, -1},
        {SDLK_UP, 3, -1},   {SDLK_DOWN, 4, -1}, {SDLK_1, 5, 33},       {SDLK_9, 13, 41},
        {SDLK_F1, 15, -1},  {SDLK_F12, 26, -1}, {SDLK_LCTRL, 28, -1},  {SDLK_RCTRL, 28, -1},
        {SDLK_LSHIFT, 29, -1}, {SDLK_RSHIFT, 29, -1}, {SDLK_TAB, 30, -1}, {SDLK_SPACE, 31, -1},
        {SDLK_RETURN, 32, -1}, {SDLK_0, 42, -1}, {SDLK_a, 43, -1},     {SDLK_z, 68, -1},
        {SDLK_KP_PLUS, 69, -1}, {SDLK_KP_MINUS, 70, -1}, {SDLK_PRINT, 71, -1},
    };
    for (const Row& r : rows) {
        int first, second;
        int count = keyStateIndices(r.key, &first, &second);
        EXPECT_EQ(count, r.second >= 0 ? 2 : 1) << r.key;
        EXPECT_EQ(first, r.first) << r.key;
        EXPECT_EQ(second, r.second) << r.key;
    }
    // Untracked keys, including Escape, F13 and the keypad digits.
    const int ignored[] = {SDLK_ESCAPE, SDLK_F13, SDLK_KP0, SDLK_BACKSPACE, SDLK_MENU, 0, -5, 100000};
    for (int key : ignored) {
        int first, second;
        EXPECT_EQ(keyStateIndices(key, &first, &second), 0) << key;
    }
    // The character keys 33-68 are 1-9, 0, a-z in keyboard order; index 14 is never written.
    int first, second;
    keyStateIndices(SDLK_5, &first, &second);
    EXPECT_EQ(second, 37);
    keyStateIndices(SDLK_m, &first, &second);
    EXPECT_EQ(first, 55);
}

TEST(KeyState, PressesReleasesAndSharedModifiers)
{
    KeyState keys;
    memset(&keys, 0, sizeof keys);
    EXPECT_EQ(sizeof keys, 72u);
    keyStateSet(&keys, true, SDLK_3);
    EXPECT_EQ(keys.down[7], 1);
    EXPECT_EQ(keys.down[35], 1);
    keyStateSet(&keys, true, SDLK_LALT);
    EXPECT_EQ(keys.down[KEY_ALT], 1);
    EXPECT_EQ(keys.down[KEY_ALT_AGAIN], 1);
    // Both Shift keys down, one released: the shared entry is clear.
    keyStateSet(&keys, true, SDLK_LSHIFT);
    keyStateSet(&keys, true, SDLK_RSHIFT);
    EXPECT_EQ(keys.down[KEY_SHIFT], 1);
    keyStateSet(&keys, false, SDLK_RSHIFT);
    EXPECT_EQ(keys.down[KEY_SHIFT], 0);
    keyStateSet(&keys, false, SDLK_RALT);
    EXPECT_EQ(keys.down[0] + keys.down[27], 0);
    keyStateSet(&keys, false, SDLK_3);
    keyStateSet(&keys, true, SDLK_F5);
    keyStateSet(&keys, true, SDLK_BACKSPACE);
    int held = 0;
    for (int i = 0; i < KEY_STATE_SIZE; i++) held += keys.down[i];
    EXPECT_EQ(held, 1);
    EXPECT_EQ(keys.down[19], 1);
    EXPECT_EQ(keys.down[KEY_UNUSED], 0);
}

// >> frame clock
class FrameClockTest : public testing::Test {
protected:
    void SetUp() override
    {
        platformUseVirtualTime(true);
        platformSetVirtualNanoseconds(5000000000ull);
        frameClockSetup();
    }
    void TearDown() override { platformUseVirtualTime(false); }
    static void advanceMs(double ms) { platformAdvanceVirtualNanoseconds((uint64_t)(ms * 1e6)); }
};

TEST_F(FrameClockTest, FirstStepIsCappedAndAveragedWithTheStartValues)
{
    EXPECT_FLOAT_EQ(frameClock.frameStep, 0.0001f);
    EXPECT_EQ(frameClock.elapsedSeconds, 0.0f);
    EXPECT_FLOAT_EQ(frameClock.tickLength, 1e-9f);
    advanceMs(3000); // the loading time
    frameClockTick();
    EXPECT_EQ(frameClock.historyIndex, 1);
    EXPECT_FLOAT_EQ(frameClock.stepHistory[1], 0.25f);
    EXPECT_FLOAT_EQ(frameClock.stepHistory[0], 0.0001f);
    EXPECT_FLOAT_EQ(frameClock.frameStep, (0.25f + 4 * 0.0001f) * 0.2f);
    EXPECT_NEAR(frameClock.elapsedSeconds, 3.0f, 1e-6);
}

TEST_F(FrameClockTest, HistoryOfFiveFrames)
{
    advanceMs(500);
    frameClockTick(); // a half-second frame counts as 0.25
    const double steps[] = {16, 17, 15, 16, 20, 10};
    for (double ms : steps) {
        advanceMs(ms);
        frameClockTick();
    }
    // Seven ticks: the index went 1, 2, 3, 4, 0, 1, 2; the 0.25 s entry has been overwritten.
    EXPECT_EQ(frameClock.historyIndex, 2);
    EXPECT_NEAR(frameClock.stepHistory[2], 0.010f, 1e-5);
    EXPECT_NEAR(frameClock.stepHistory[1], 0.020f, 1e-5);
    EXPECT_NEAR(frameClock.frameStep, (0.017 + 0.015 + 0.016 + 0.020 + 0.010) / 5.0, 1e-5);
    EXPECT_NEAR(frameClock.elapsedSeconds, 0.594f, 1e-5);
}

TEST_F(FrameClockTest, NeverAZeroStep)
{
    advanceMs(16);
    frameClockTick();
    float before = frameClock.elapsedSeconds;
    frameClockTick(); // the counter has not moved
    EXPECT_GT(frameClock.elapsedSeconds, before);
    EXPECT_GT(frameClock.stepHistory[frameClock.historyIndex], 0.0f);
}

// >> scenes of a frame
static std::vector<std::string> s_drawn;

// A test scene that records its draws and checks that the driver prepared it.
class RecordingScene : public Template {
public:
    std::string name;
    bool defers = false; // leaves its light for later
    explicit RecordingScene(const char* sceneName) : name(sceneName) {}
    void init() override {}
    void draw() override
    {
        EXPECT_NE(keys, nullptr);
        EXPECT_EQ(width, 1024);
        EXPECT_EQ(height, 768);
        s_drawn.push_back(name);
        underlayPending = defers;
        drawUnderlayHere();
    }
    void drawUnderlay() override { s_drawn.push_back("under:" + name); }
};

class FrameScenes : public testing::Test {
protected:
    Music* music = nullptr;
    std::vector<Template*> scenes;
    KeyState keys;
    void SetUp() override
    {
        REQUIRE_GL_WINDOW();
        mkdir("data", 0755);
        mkdir("data/common", 0755);
        mkdir("data/common/music", 0755);
        writeTestFile("data/common/music/dubr0lp.mp3", readTestFile(sourcePath("tests/fixtures/sine344_2s.mp3")));
        accessMode = ACCESS_LOOSE;
        audioUseVirtualOutput(true);
        musicResetClock();
        music = new Music();
        // One second of the song is 135.9 beats: position 1 s reads beat 136 exactly.
        music->bpm = 8154.0f;
        music->play();
        memset(&keys, 0, sizeof keys);
        add("RandomSSPics", 104, 136);
        add("Spacexplosion", 136, 168);
        add("MIDILights", 136, 168);
        add("GlitchLogo", 0, 40);
    }
    void TearDown() override
    {
        for (Template* s : scenes) delete s;
        delete music;
        audioClose();
        audioUseVirtualOutput(false);
    }
    void add(const char* name, float start, float end)
    {
        static Fbo* shared = new Fbo();
        Template* scene = new RecordingScene(name);
        scene->startTime = start;
        scene->endTime = end;
        scene->fbo = shared;
        scenes.push_back(scene);
    }
    std::string frameAt(double seconds)
    {
        audioSetVirtualPosition(music->stream, (uint64_t)(seconds * 44100.0 + 0.5) * 4);
        s_drawn.clear();
        drawActiveScenes(scenes, music, &keys, 1024, 768);
        std::string names;
        for (const std::string& n : s_drawn) names += n + " ";
        return names;
    }
};

TEST_F(FrameScenes, InclusiveWindowsInListOrder)
{
    EXPECT_EQ(frameAt(0.0), "GlitchLogo ");
    EXPECT_FLOAT_EQ(music->getTime(), 0.1f);
    EXPECT_EQ(frameAt(0.5), ""); // beat 68: nothing in this list
    EXPECT_EQ(frameAt(0.99), "RandomSSPics ");
    EXPECT_EQ(frameAt(1.0), "RandomSSPics Spacexplosion MIDILights ");
    EXPECT_FLOAT_EQ(music->getTime(), 136.0f);
    EXPECT_EQ(frameAt(1.01), "Spacexplosion MIDILights ");
    for (Template* s : scenes) EXPECT_EQ(s->keys, &keys);
}

TEST_F(FrameScenes, LightLeftForLaterGoesToTheNextSceneDrawnOnlyIfItTakesIt)
{
    RecordingScene* particles = (RecordingScene*)scenes[1];
    particles->defers = true;
    scenes[2]->takesUnderlay = true;
    EXPECT_EQ(frameAt(1.01), "Spacexplosion MIDILights under:Spacexplosion ");
    scenes[2]->takesUnderlay = false;
    EXPECT_EQ(frameAt(1.01), "Spacexplosion under:Spacexplosion MIDILights ");
    scenes[2]->startTime = 140.0f; // nothing after it this frame
    EXPECT_EQ(frameAt(1.01), "Spacexplosion under:Spacexplosion ");
    for (Template* s : scenes) {
        EXPECT_FALSE(s->underlayPending);
        EXPECT_EQ(s->underlay, nullptr);
    }
}

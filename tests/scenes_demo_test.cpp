// Demo: the whole driver on virtual time and the virtual audio output, as the offline renderer
// runs it: construction of the shared resources and the timeline, resize (down to 0 x 0), frames,
// keys, the end of the song, Escape. Assets come from the source tree; the song is the test sine.
#include "scenes/demo.h"

#include "platform/platform.h"
#include "util/asciiengine/asciiengine.h"
#include "util/data/data.h"
#include "util/fbo/fbo.h"
#include "util/music/audio.h"
#include "util/music/music.h"
#include "test_support.h"
#include <GL/glew.h>
#include <SDL.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

// A data tree in the scratch folder: every asset folder of the source tree linked in, except the
// music, which is the 2-second test sine and a committed copy of the song's MIDI file.
static void buildDataTree()
{
    static bool built = false;
    if (built) return;
    built = true;
    mkdir("data", 0755);
    mkdir("data/common", 0755);
    mkdir("data/common/music", 0755);
    const char* levels[] = {"data", "data/common"};
    for (const char* level : levels) {
        DIR* dir = opendir(sourcePath(level).c_str());
        if (!dir) continue;
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name == "." || name == ".." || name == "common" || name == "music") continue;
            std::string target = sourcePath(std::string(level) + "/" + name);
            symlink(target.c_str(), (std::string(level) + "/" + name).c_str());
        }
        closedir(dir);
    }
    writeTestFile("data/common/music/dubr0lp.mp3", readTestFile(sourcePath("tests/fixtures/sine344_2s.mp3")));
    writeTestFile("data/common/music/dubr0lp.mid", readTestFile(sourcePath("fuzz/corpus/music_midi/song.mid")));
}

static int pendingQuitEvents()
{
    SDL_Event events[8];
    return SDL_PeepEvents(events, 8, SDL_PEEKEVENT, SDL_QUITMASK);
}

static void dropEvents()
{
    SDL_Event event;
    while (SDL_PollEvent(&event)) {}
}

class DemoRun : public testing::Test {
protected:
    Demo* demo = nullptr;
    void SetUp() override
    {
        REQUIRE_GL_WINDOW(640, 360);
        buildDataTree();
        accessMode = ACCESS_LOOSE;
        audioUseVirtualOutput(true);
        platformUseVirtualTime(true);
        platformSetVirtualNanoseconds(1000000000ull);
        musicResetClock();
        demo = new Demo();
    }
    void TearDown() override
    {
        delete demo;
        audioClose();
        audioUseVirtualOutput(false);
        platformUseVirtualTime(false);
        dropEvents();
    }
    void frameAt(double seconds)
    {
        demoSetVirtualTime(demo, seconds);
        demo->renderFrame();
    }
};

TEST_F(DemoRun, BuildsTheTimelineWithTheSharedResources)
{
    size_t rows = 0;
    while (TIMELINE[rows].create) rows++;
    ASSERT_EQ(demo->scenes.size(), rows);
    for (size_t i = 0; i < rows; i++) {
        const Template* scene = demo->scenes[i];
        EXPECT_EQ(scene->startTime, TIMELINE[i].startTime);
        EXPECT_EQ(scene->endTime, TIMELINE[i].endTime);
        EXPECT_EQ(scene->music, demo->music);
        EXPECT_EQ(scene->shaders, demo->shaders);
        EXPECT_EQ(scene->fbo, demo->fbo);
        EXPECT_EQ(scene->ascii, demo->ascii);
    }
    ASSERT_NE(demo->font, nullptr);
    ASSERT_NE(demo->shaders, nullptr);
    EXPECT_NE(demo->music->midi, nullptr);
    EXPECT_NE(demo->music->bpm, 999.0f); // the MIDI file's tempo
    for (int i = 0; i < KEY_STATE_SIZE; i++) EXPECT_EQ(demo->keys.down[i], 0);
    // Both buffers start black.
    std::vector<uint8_t> pixels = readTestPixels(0, 0, 640, 360);
    for (size_t i = 0; i < pixels.size(); i += 4) ASSERT_EQ(pixels[i] | pixels[i + 1] | pixels[i + 2], 0);

    demo->resize(1024, 576);
    EXPECT_EQ(demo->width, 1024);
    EXPECT_EQ(demo->height, 576);
    EXPECT_EQ(demo->ascii->windowWidth, 1024);
    EXPECT_EQ(demo->ascii->windowHeight, 576);
}

TEST_F(DemoRun, FramesKeysAndTheEndOfTheSong)
{
    demo->resize(640, 360);
    demo->start();
    EXPECT_EQ(audioChannelIsActive(demo->music->stream), AUDIO_ACTIVE_PLAYING);
    EXPECT_GE(demo->music->getTime(), 0.0f);
    demo->onKey(true, SDLK_LEFT);
    demo->onKey(true, SDLK_7);
    demo->onKey(false, SDLK_7);
    for (int frame = 0; frame < 30; frame++) frameAt(frame / 60.0);
    EXPECT_EQ(pendingQuitEvents(), 0);
    EXPECT_EQ(demo->keys.down[KEY_LEFT], 1);
    EXPECT_EQ(demo->keys.down[KEY_DIGIT_1 + 6], 0);
    for (Template* scene : demo->scenes) {
        if (scene->startTime <= 0.0f) {
            EXPECT_EQ(scene->keys, &demo->keys);
        }
    }
    // A frame clock step of one frame, averaged over five.
    EXPECT_NEAR(frameClock.frameStep, 1.0 / 60.0, 1e-4);
    EXPECT_NEAR(demo->music->meanTimeStep, demo->music->bpm / 60.0 / 60.0, 1e-3);

    // A window shrunk to nothing keeps the show running without a GL error.
    demo->resize(0, 0);
    frameAt(0.6);
    demo->resize(1, 1);
    frameAt(0.7);
    demo->resize(640, 360);
    frameAt(0.8);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);

    // The song ends: every frame from then on posts SDL_QUIT.
    EXPECT_EQ(pendingQuitEvents(), 0);
    frameAt(2.5);
    EXPECT_EQ(pendingQuitEvents(), 1);
    frameAt(2.6);
    EXPECT_EQ(pendingQuitEvents(), 2);
}

TEST_F(DemoRun, ReleasingEscapeEndsTheProcess)
{
    demo->resize(640, 360);
    demo->start();
    frameAt(0.0);
    EXPECT_EXIT(demo->onKey(false, SDLK_ESCAPE), testing::ExitedWithCode(0), "");
}

// Greetings: the picture added over the shared framebuffer: unchanged over black, saturating over
// a bright picture, the oscilloscope's trace showing through its black parts when both are drawn
// in one frame as in the show; the real picture for looking at; a missing picture is fatal.
#include "scenes/scene_greetings/scene_greetings.h"

#include "scenes/scene_oscilloscope/scene_oscilloscope.h"
#include "scene_frames.h"
#include <stdio.h>

using namespace sceneframes;

// The test picture, 64 x 36: top half orange (200, 100, 0), bottom half black.
static const uint8_t ORANGE[3] = {200, 100, 0};

static Bytes testPicture()
{
    const int w = 64, h = 36;
    Bytes rgb((size_t)w * h * 3, 0);
    for (int y = 0; y < h / 2; y++)
        for (int x = 0; x < w; x++) memcpy(&rgb[((size_t)y * w + x) * 3], ORANGE, 3);
    testimg::PngSpec spec;
    spec.width = w;
    spec.height = h;
    spec.colorType = 2;
    spec.mode = testimg::FIXED;
    return testimg::makePng(spec, rgb);
}

static void expectNear(const uint8_t* got, int r, int g, int b, const char* where)
{
    EXPECT_NEAR(got[0], r, 3) << where;
    EXPECT_NEAR(got[1], g, 3) << where;
    EXPECT_NEAR(got[2], b, 3) << where;
}

class GreetingsFrames : public testing::Test {
protected:
    static Fbo* s_fbo;
    Music* music = nullptr;
    std::vector<Template*> scenes;

    void SetUp() override
    {
        REQUIRE_GL_WINDOW(WINDOW_WIDTH, WINDOW_HEIGHT);
        if (!s_fbo) s_fbo = new Fbo();
        s_fbo->resize(WINDOW_WIDTH, WINDOW_HEIGHT);
        music = startSong();
    }
    template <class Scene> Scene* add(float startTime, float endTime)
    {
        Scene* scene = new Scene();
        scene->startTime = startTime;
        scene->endTime = endTime;
        scene->music = music;
        scene->fbo = s_fbo;
        scene->init();
        scenes.push_back(scene);
        return scene;
    }
    void TearDown() override
    {
        for (Template* scene : scenes) {
            scene->release();
            delete scene;
        }
        if (music) stopSong(music);
    }
};
Fbo* GreetingsFrames::s_fbo = nullptr;

TEST_F(GreetingsFrames, AddedOverBlackUnchangedOverBrightSaturated)
{
    makeFolders("data/greetings");
    writeTestFile(GREETINGS_PICTURE, testPicture());
    Greetings* scene = add<Greetings>(258.0f, 264.0f);
    EXPECT_FALSE(scene->lighting);
    EXPECT_TRUE(scene->texture2D);
    EXPECT_FALSE(scene->blend);
    ASSERT_EQ(scene->pictures.size(), 1u);
    const int w = s_fbo->width, h = s_fbo->height;

    fillFbo(s_fbo, 0.0f, 0.0f, 0.0f);
    frameAt(music, scenes, 259.0);
    Bytes fbo = readFbo(s_fbo);
    expectNear(pixel(fbo, w, 2, h - 2), 200, 100, 0, "top left over black");
    expectNear(pixel(fbo, w, w - 3, h * 3 / 4), 200, 100, 0, "top right over black");
    expectNear(pixel(fbo, w, w / 2, h / 4), 0, 0, 0, "bottom over black");

    // Over grey 128: orange saturates in red, adds in green and blue; black leaves the grey.
    fillFbo(s_fbo, 128.0f / 255.0f, 128.0f / 255.0f, 128.0f / 255.0f);
    frameAt(music, scenes, 262.5);
    fbo = readFbo(s_fbo);
    savePicture("greetings_over_grey.png", fbo, w, h);
    expectNear(pixel(fbo, w, w / 2, h * 3 / 4), 255, 228, 128, "top over grey");
    expectNear(pixel(fbo, w, w / 2, h / 4), 128, 128, 128, "bottom over grey");
    GLint bound = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &bound);
    EXPECT_EQ(bound, 0);
}

TEST_F(GreetingsFrames, OverTheOscilloscopeAsInTheShow)
{
    copyAsset(GREETINGS_PICTURE);
    add<Oscilloscope>(258.0f, 264.0f);
    add<Greetings>(258.0f, 264.0f);
    fillFbo(s_fbo, 1.0f, 0.0f, 0.0f); // the earlier scene's picture: the oscilloscope clears it
    frameAt(music, scenes, 260.0);
    const int w = s_fbo->width, h = s_fbo->height;
    Bytes fbo = readFbo(s_fbo);
    savePicture("greetings_over_oscilloscope.png", fbo, w, h);
    EXPECT_GT(colourVariety(fbo), 50);
    // The trace shows through: pure green pixels where the picture is dark.
    int green = 0;
    for (size_t i = 0; i + 2 < fbo.size(); i += 3)
        if (fbo[i + 1] > 200 && fbo[i] < 60 && fbo[i + 2] < 60) green++;
    EXPECT_GT(green, w / 2);
    // The same frame without the greetings: the picture added something.
    Template* greetings = scenes.back();
    scenes.pop_back();
    frameAt(music, scenes, 260.0);
    Bytes trace = readFbo(s_fbo);
    scenes.push_back(greetings);
    size_t brighter = 0;
    for (size_t i = 0; i < fbo.size(); i++) {
        EXPECT_GE(fbo[i], trace[i] > 3 ? trace[i] - 3 : 0); // adding never darkens
        if (fbo[i] > trace[i] + 20) brighter++;
    }
    EXPECT_GT(brighter, fbo.size() / 50);
    (void)h;
}

TEST_F(GreetingsFrames, MissingPictureIsFatal)
{
    remove(GREETINGS_PICTURE);
    EXPECT_EXIT(add<Greetings>(258.0f, 264.0f), testing::ExitedWithCode(1), "data/greetings/greetings\\.png");
}

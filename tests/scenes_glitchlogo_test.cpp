// GlitchLogo: the offset rule at its scripted moments, its bursts and in silence; the fade; and
// frames drawn through the driver's frame path with a test logo, the real glitch program and a
// sine song on the virtual output, compared with a picture of where the logo must land.
#include "scenes/scene_glitchlogo/scene_glitchlogo.h"

#include "scene_frames.h"       // the driver's frame path, the window read back, pictures
#include "scenes/shaderset.h" // ShaderSet
#include "util/shaderprogram/shaderprogram.h"
#include <math.h>
#include <stdlib.h>

using namespace sceneframes;

// >> the window (640 x 360, 16:9: the viewport is the window) and the show
static const float TEST_BPM = 1200.0f;                     // 20 beats a second: the 2 s song is 40 beats
static const double FRAME_SECONDS = 1.0 / 60.0;

// The test logo, 4:1: bottom-left red, bottom-right green, top-left blue, top-right half-transparent
// white, so position, proportions, orientation and the alpha weighting all show.
static const int LOGO_WIDTH = 256, LOGO_HEIGHT = 64;

static void logoPixel(int x, int yFromTop, uint8_t* rgba)
{
    bool right = x >= LOGO_WIDTH / 2, top = yFromTop < LOGO_HEIGHT / 2;
    uint8_t r = 0, g = 0, b = 0, a = 255;
    if (!top && !right) r = 255;
    if (!top && right) g = 255;
    if (top && !right) b = 255;
    if (top && right) r = g = b = 255, a = 128;
    rgba[0] = r, rgba[1] = g, rgba[2] = b, rgba[3] = a;
}

static Bytes testLogoPng()
{
    Bytes samples(LOGO_WIDTH * LOGO_HEIGHT * 4);
    for (int y = 0; y < LOGO_HEIGHT; y++)
        for (int x = 0; x < LOGO_WIDTH; x++) logoPixel(x, y, &samples[(y * LOGO_WIDTH + x) * 4]);
    testimg::PngSpec spec;
    spec.width = LOGO_WIDTH;
    spec.height = LOGO_HEIGHT;
    return testimg::makePng(spec, samples);
}

// >> offset rule
TEST(GlitchLogoOffset, ScriptedMomentsAndBursts)
{
    // None of these asks the music (it is null): the scripted values come first.
    EXPECT_FLOAT_EQ(glitchLogoOffset(14.25f, nullptr), 0.5f);
    EXPECT_FLOAT_EQ(glitchLogoOffset(14.01f, nullptr), 0.5f);
    EXPECT_FLOAT_EQ(glitchLogoOffset(9.75f, nullptr), 0.9f);
    EXPECT_FLOAT_EQ(glitchLogoOffset(9.51f, nullptr), 0.9f);
    // Bursts between beats 2 and 3 of every eight.
    EXPECT_FLOAT_EQ(glitchLogoOffset(10.5f, nullptr), 0.05f);
    EXPECT_FLOAT_EQ(glitchLogoOffset(2.5f, nullptr), 0.05f);
    EXPECT_FLOAT_EQ(glitchLogoOffset(26.5f, nullptr), 0.05f);
    EXPECT_FLOAT_EQ(glitchLogoOffset(34.99f, nullptr), 0.05f);
}

class GlitchLogoMusic : public testing::Test {
protected:
    Music* music = nullptr;
    void SetUp() override { music = startSong(TEST_BPM); }
    void TearDown() override { stopSong(music); }
};

TEST_F(GlitchLogoMusic, SilenceGivesANegativeOffsetAndBoundsFallThrough)
{
    // Past the end of the song the spectrum is silent: (0 - 0.3) x 0.125.
    setBeat(music, 45.0);
    const float silent = -0.0375f;
    EXPECT_FLOAT_EQ(glitchLogoOffset(20.0f, music), silent);
    // All bounds are exclusive: exactly 14.5 (fmod 6.5) and the edges fall to the spectrum rule.
    const float edges[] = {14.5f, 14.0f, 9.5f, 10.0f, 2.0f, 3.0f, 18.0f, 0.0f};
    for (float t : edges) EXPECT_FLOAT_EQ(glitchLogoOffset(t, music), silent) << t;
}

TEST_F(GlitchLogoMusic, LoudnessMovesTheOffset)
{
    setBeat(music, 20.0);
    float offset = glitchLogoOffset(20.0f, music);
    // The same position read again gives the same level (the loudest sum is already known).
    EXPECT_NEAR(offset, (music->getSpectrumLevel() - 0.3f) * 0.125f, 1e-6);
    EXPECT_GT(offset, -0.0375f); // the sine is not silence
    EXPECT_LE(offset, 0.0875f);
}

// >> fade
TEST(GlitchLogoFade, GrowsByATenthOfTheBeatStepUpToOneAndNeverDown)
{
    EXPECT_FLOAT_EQ(glitchLogoFadeStep(0.0f, 0.25f), 0.025f);
    EXPECT_FLOAT_EQ(glitchLogoFadeStep(0.5f, 0.5f), 0.55f);
    EXPECT_FLOAT_EQ(glitchLogoFadeStep(0.98f, 0.5f), 1.0f); // capped
    EXPECT_FLOAT_EQ(glitchLogoFadeStep(1.0f, 3.0f), 1.0f);
    EXPECT_FLOAT_EQ(glitchLogoFadeStep(0.4f, 0.0f), 0.4f);
    EXPECT_FLOAT_EQ(glitchLogoFadeStep(0.4f, -0.2f), 0.4f); // a clock that stepped back
    // Steady steps of a third of a beat: in after ten beats (thirty frames), then held.
    float fade = 0.0f;
    int frames = 0;
    while (fade < 1.0f && frames < 1000) {
        float before = fade;
        fade = glitchLogoFadeStep(fade, 1.0f / 3.0f);
        EXPECT_GE(fade, before);
        frames++;
    }
    EXPECT_NEAR(frames, 30, 1);
    EXPECT_FLOAT_EQ(glitchLogoFadeStep(fade, 1.0f / 3.0f), 1.0f);
}

// >> frames
// Where the logo must land: 20 units wide at depth 18 under a 45-degree, 16:9 projection that
// fills the window. Returns RGB rows, bottom row first, the logo added on black weighted by alpha.
static Bytes referencePicture(float fade)
{
    const double f = 1.0 / tan(22.5 * M_PI / 180.0);
    const double xNdc = 10.0 / 18.0 * f / (16.0 / 9.0);
    const double yNdc = 10.0 / ((double)LOGO_WIDTH / LOGO_HEIGHT) / 18.0 * f;
    const double x0 = (1.0 - xNdc) * 0.5 * WINDOW_WIDTH, x1 = (1.0 + xNdc) * 0.5 * WINDOW_WIDTH;
    const double y0 = (1.0 - yNdc) * 0.5 * WINDOW_HEIGHT, y1 = (1.0 + yNdc) * 0.5 * WINDOW_HEIGHT;
    Bytes rgb(WINDOW_WIDTH * WINDOW_HEIGHT * 3, 0);
    for (int y = 0; y < WINDOW_HEIGHT; y++) {
        for (int x = 0; x < WINDOW_WIDTH; x++) {
            double u = (x + 0.5 - x0) / (x1 - x0), v = (y + 0.5 - y0) / (y1 - y0);
            if (u < 0.0 || u >= 1.0 || v < 0.0 || v >= 1.0) continue;
            uint8_t texel[4];
            logoPixel((int)(u * LOGO_WIDTH), LOGO_HEIGHT - 1 - (int)(v * LOGO_HEIGHT), texel);
            for (int c = 0; c < 3; c++)
                rgb[(y * WINDOW_WIDTH + x) * 3 + c] = (uint8_t)lround(texel[c] * (texel[3] / 255.0) * fade);
        }
    }
    return rgb;
}

// Mean absolute difference per channel, 0-255.
static double meanDifference(const Bytes& a, const Bytes& b)
{
    double sum = 0.0;
    for (size_t i = 0; i < a.size(); i++) sum += abs((int)a[i] - (int)b[i]);
    return sum / (double)a.size();
}

// Share of pixels whose largest channel difference is above `limit`.
static double shareDifferent(const Bytes& a, const Bytes& b, int limit)
{
    size_t count = 0, pixels = a.size() / 3;
    for (size_t i = 0; i < pixels; i++) {
        int worst = 0;
        for (int c = 0; c < 3; c++) worst = std::max(worst, abs((int)a[i * 3 + c] - (int)b[i * 3 + c]));
        if (worst > limit) count++;
    }
    return (double)count / (double)pixels;
}

class GlitchLogoFrames : public GlitchLogoMusic {
protected:
    static ShaderSet* s_shaders; // built once: compiling all programs is slow on a software driver
    GlitchLogo* scene = nullptr;
    std::vector<Template*> scenes;
    KeyState keys;

    void SetUp() override
    {
        REQUIRE_GL_WINDOW(WINDOW_WIDTH, WINDOW_HEIGHT);
        GlitchLogoMusic::SetUp();
        mkdir("data/common/images", 0755);
        writeTestFile(GLITCH_LOGO_IMAGE, testLogoPng());
        copyFolder("data/common/shaders");
        if (!s_shaders) s_shaders = new ShaderSet();
        glitchLogoResetState();
        memset(&keys, 0, sizeof keys);
        scene = new GlitchLogo();
        scene->startTime = 0.0f;
        scene->endTime = 40.0f;
        scene->music = music;
        scene->shaders = s_shaders;
        scene->init();
        scenes.push_back(scene);
    }
    void TearDown() override
    {
        if (scene) {
            scene->release();
            delete scene;
        }
        if (music) GlitchLogoMusic::TearDown();
    }
    // One frame as the driver draws it, at `beat`.
    void frameAt(double beat)
    {
        sceneframes::frameAt(music, scenes, beat, &keys);
    }
};
ShaderSet* GlitchLogoFrames::s_shaders = nullptr;

TEST_F(GlitchLogoFrames, FirstFrameIsAlmostTransparent)
{
    EXPECT_TRUE(scene->blend);
    EXPECT_FALSE(scene->depthTest);
    EXPECT_EQ(scene->glitch, s_shaders->glitch);
    EXPECT_FALSE(glitchLogoState().halfHeightComputed);
    frameAt(0.1 + FRAME_SECONDS * TEST_BPM / 60.0);
    const GlitchLogoState& state = glitchLogoState();
    // The histories start at the clock offset, so the first mean step is a tenth of one frame.
    EXPECT_NEAR(music->meanTimeStep, FRAME_SECONDS * TEST_BPM / 60.0 * 0.1, 1e-4);
    EXPECT_FLOAT_EQ(state.fade, 0.1f * music->meanTimeStep);
    EXPECT_TRUE(state.halfHeightComputed);
    EXPECT_FLOAT_EQ(state.halfHeight, 10.0f / 4.0f);
    Bytes picture = readWindow();
    int brightest = 0;
    for (uint8_t v : picture) brightest = std::max(brightest, (int)v);
    EXPECT_LE(brightest, 2);
}

TEST_F(GlitchLogoFrames, LogoAtBeat20AndTheGlitchAt9_75)
{
    // Frames at 60 per second from the start: the fade grows, never falls, and is full by then.
    float lastFade = 0.0f, fullAt = -1.0f, fadeAt9_75 = 0.0f;
    Bytes at9_75, at20;
    for (int frame = 1;; frame++) {
        double beat = 0.1 + frame * FRAME_SECONDS * TEST_BPM / 60.0;
        bool capture9_75 = at9_75.empty() && beat >= 9.75;
        bool capture20 = beat >= 20.0;
        if (capture9_75) beat = 9.75;
        if (capture20) beat = 20.0;
        frameAt(beat);
        float fade = glitchLogoState().fade;
        EXPECT_GE(fade, lastFade);
        EXPECT_LE(fade, 1.0f);
        if (fade >= 1.0f && fullAt < 0.0f) fullAt = (float)beat;
        lastFade = fade;
        if (capture9_75) {
            at9_75 = readWindow();
            fadeAt9_75 = fade;
            EXPECT_FLOAT_EQ(glitchLogoState().offset, 0.9f);
        }
        if (capture20) {
            at20 = readWindow();
            break;
        }
    }
    // Ten beats at a steady rate, a little more while the ten-frame mean fills up.
    EXPECT_GT(fullAt, 10.0f);
    EXPECT_LT(fullAt, 12.0f);

    Bytes reference = referencePicture(1.0f);
    savePicture("glitchlogo_beat20.png", at20);
    savePicture("glitchlogo_beat9_75.png", at9_75);
    savePicture("glitchlogo_reference.png", reference);
    // At beat 20 the glitch is faint (grain, scan lines, a few torn bands): close to the reference.
    double near = meanDifference(at20, reference);
    EXPECT_LT(near, 6.0) << "see glitchlogo_beat20.png and glitchlogo_reference.png";
    EXPECT_LT(shareDifferent(at20, reference, 80), 0.01);
    // The tolerance tells a misplaced logo apart: upside down, or shifted by 2% of the window.
    EXPECT_GT(meanDifference(flipRows(reference, WINDOW_WIDTH, WINDOW_HEIGHT), reference), 3.0 * near);
    Bytes shifted(reference.size(), 0);
    size_t shift = (WINDOW_WIDTH / 50) * 3;
    memcpy(&shifted[shift], &reference[0], reference.size() - shift);
    EXPECT_GT(shareDifferent(shifted, reference, 80), 2.0 * shareDifferent(at20, reference, 80));
    // Beat 9.75 is a scripted break (offset 0.9): far from the clean logo, and from beat 20.
    EXPECT_GT(shareDifferent(at9_75, referencePicture(fadeAt9_75), 80), 0.05);
    EXPECT_GT(meanDifference(at9_75, at20), 2.0 * near);
    EXPECT_GT(shareDifferent(at9_75, at20, 80), 0.05);
}

// >> failures
TEST_F(GlitchLogoFrames, MissingLogoOrUniformIsFatal)
{
    remove(GLITCH_LOGO_IMAGE);
    EXPECT_EXIT(
        {
            GlitchLogo other;
            other.shaders = s_shaders;
            other.init();
        },
        testing::ExitedWithCode(1), "halvoren_logo_transp.png");
    // A glitch program without "offset".
    writeTestFile("data/common/shaders/no_offset.frag",
                  std::string("#version 110\nuniform float seed;\n"
                              "void main() { gl_FragColor = vec4(seed); }\n"));
    scene->glitch = new ShaderProgram("simple.vert", "no_offset.frag");
    EXPECT_EXIT(frameAt(5.0), testing::ExitedWithCode(1), "Couldn't find uniform offset in");
    // And one without "seed".
    writeTestFile("data/common/shaders/no_seed.frag",
                  std::string("#version 110\nuniform float offset;\n"
                              "void main() { gl_FragColor = vec4(offset); }\n"));
    scene->glitch = new ShaderProgram("simple.vert", "no_seed.frag");
    EXPECT_EXIT(frameAt(5.0), testing::ExitedWithCode(1), "Couldn't find uniform seed in");
}

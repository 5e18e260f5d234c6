// Oscilloscope: the trace's points from interleaved stereo samples, and frames drawn through the
// driver with a sine song: a green line over a cleared framebuffer, following the samples heard,
// from the left edge to just short of the right; the second instance of the timeline likewise.
#include "scenes/scene_oscilloscope/scene_oscilloscope.h"

#include "scene_frames.h"
#include <math.h>
#include <stdlib.h>

using namespace sceneframes;

// >> trace rule
TEST(OscilloscopeTrace, StereoFramesSummedAndScaled)
{
    float wave[OSCILLOSCOPE_SAMPLES], trace[OSCILLOSCOPE_POINTS * 2];
    for (int i = 0; i < OSCILLOSCOPE_SAMPLES; i++) wave[i] = (i % 2 == 0) ? 0.001f * (i / 2) : -0.5f;
    oscilloscopeTrace(wave, trace);
    EXPECT_FLOAT_EQ(trace[0], 0.0f);
    EXPECT_FLOAT_EQ(trace[1], 0.75f * (0.0f - 0.5f));
    EXPECT_FLOAT_EQ(trace[2 * 100], 200.0f);
    EXPECT_FLOAT_EQ(trace[2 * 100 + 1], 0.75f * (0.1f - 0.5f));
    // The last point: x = 1022, not 1024; its y from the last frame's two samples.
    EXPECT_FLOAT_EQ(trace[2 * 511], 1022.0f);
    EXPECT_NEAR(trace[2 * 511 + 1], 0.75f * (0.511f - 0.5f), 1e-6);
    // Opposite channels cancel; equal full-scale channels reach 1.5 (beyond the view's edge).
    wave[20] = 0.8f, wave[21] = -0.8f, wave[22] = 1.0f, wave[23] = 1.0f;
    oscilloscopeTrace(wave, trace);
    EXPECT_FLOAT_EQ(trace[2 * 10 + 1], 0.0f);
    EXPECT_FLOAT_EQ(trace[2 * 11 + 1], 1.5f);
}

// >> frames
class OscilloscopeFrames : public testing::Test {
protected:
    static Fbo* s_fbo;
    Music* music = nullptr;
    Oscilloscope* scene = nullptr;
    std::vector<Template*> scenes;

    void SetUp() override
    {
        REQUIRE_GL_WINDOW(WINDOW_WIDTH, WINDOW_HEIGHT);
        if (!s_fbo) s_fbo = new Fbo();
        s_fbo->resize(WINDOW_WIDTH, WINDOW_HEIGHT);
        music = startSong();
    }
    void makeScene(float startTime, float endTime)
    {
        scene = new Oscilloscope();
        scene->startTime = startTime;
        scene->endTime = endTime;
        scene->music = music;
        scene->fbo = s_fbo;
        scene->init();
        scenes.push_back(scene);
    }
    void TearDown() override
    {
        if (scene) {
            scene->release();
            delete scene;
        }
        if (music) stopSong(music);
    }
};
Fbo* OscilloscopeFrames::s_fbo = nullptr;

static bool isTrace(const uint8_t* p) { return p[1] > 100 && p[0] < 40 && p[2] < 40; }

// Checks one frame against the samples the scene read; returns how many columns were checked.
static int checkFrame(const Oscilloscope* scene, const Bytes& fbo, int w, int h)
{
    int checked = 0;
    for (int x = 2; x < w - 4; x += 7) {
        // Where the strip crosses this column, from its two neighbouring points.
        float u = (x + 0.5f) * 1024.0f / (float)w / 2.0f;
        int k = (int)u;
        float f = u - (float)k;
        float y = scene->trace[k * 2 + 1] * (1.0f - f) + scene->trace[k * 2 + 3] * f;
        float slope = fabsf(scene->trace[k * 2 + 3] - scene->trace[k * 2 + 1]) * h / 2.0f;
        if (fabsf(y) > 0.95f) continue; // cut off at the edge
        int row = (int)((y + 1.0f) * 0.5f * (float)h);
        // Some trace pixel near the expected row (steep parts spread over a few rows).
        int reach = 3 + (int)slope;
        bool found = false;
        for (int r = row - reach; r <= row + reach && !found; r++)
            if (r >= 0 && r < h && isTrace(pixel(fbo, w, x, r))) found = true;
        EXPECT_TRUE(found) << "column " << x << " row " << row;
        checked++;
    }
    return checked;
}

TEST_F(OscilloscopeFrames, GreenTraceOfTheSamplesHeardOverAClearedFramebuffer)
{
    makeScene(168.0f, 172.0f);
    EXPECT_TRUE(scene->colorMaterial);
    EXPECT_FALSE(scene->blend);
    EXPECT_FALSE(scene->depthTest);
    EXPECT_FALSE(scene->texture2D);
    EXPECT_FALSE(scene->lighting);
    const int w = s_fbo->width, h = s_fbo->height;
    const double beats[] = {168.0, 170.3, 171.9};
    for (double beat : beats) {
        fillFbo(s_fbo, 1.0f, 0.0f, 0.0f); // an earlier scene's picture, to be cleared
        frameAt(music, scenes, beat);
        Bytes fbo = readFbo(s_fbo);
        if (beat == 170.3) savePicture("oscilloscope_beat170.png", fbo, w, h);
        // The waveform is a sine, not silence: the trace moves.
        float lowest = 2.0f, highest = -2.0f;
        for (int k = 0; k < OSCILLOSCOPE_POINTS; k++) {
            lowest = fminf(lowest, scene->trace[k * 2 + 1]);
            highest = fmaxf(highest, scene->trace[k * 2 + 1]);
        }
        EXPECT_GT(highest - lowest, 0.2f);
        // Only black and the green line: the red picture is gone.
        int green = 0, other = 0;
        int firstColumn = w, lastColumn = -1;
        for (int y = 0; y < h; y++) {
            for (int x = 0; x < w; x++) {
                const uint8_t* p = pixel(fbo, w, x, y);
                if (isTrace(p)) {
                    green++;
                    if (x < firstColumn) firstColumn = x;
                    if (x > lastColumn) lastColumn = x;
                } else if (p[0] > 40 || p[2] > 40 || p[1] > 40) {
                    other++;
                }
            }
        }
        EXPECT_EQ(other, 0) << beat;
        EXPECT_GT(green, w); // a line at least two pixels thick across the picture
        // From the left edge to 1022/1024 of the width.
        EXPECT_LE(firstColumn, 1) << beat;
        EXPECT_GE(lastColumn, w * 1022 / 1024 - 2) << beat;
        EXPECT_LE(lastColumn, w * 1022 / 1024 + 2) << beat;
        EXPECT_GT(checkFrame(scene, fbo, w, h), 40);
    }
    GLint bound = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &bound);
    EXPECT_EQ(bound, 0);
}

TEST_F(OscilloscopeFrames, SecondWindowOfTheTimeline)
{
    makeScene(258.0f, 264.0f);
    // Outside its window the driver leaves the framebuffer alone.
    fillFbo(s_fbo, 0.0f, 0.0f, 1.0f);
    frameAt(music, scenes, 257.5);
    EXPECT_EQ(pixel(readFbo(s_fbo), s_fbo->width, 5, 5)[2], 255);
    frameAt(music, scenes, 261.0);
    Bytes fbo = readFbo(s_fbo);
    EXPECT_EQ(pixel(fbo, s_fbo->width, 5, 5)[2], 0);
    EXPECT_GT(checkFrame(scene, fbo, s_fbo->width, s_fbo->height), 40);
}

// SpectrumBoxes: the band table and levels, stack heights and colours, when rows are made (never
// at a lag of exactly 1/32, and a bounded catch-up at the window's first frame), the ring and the
// light's brightness; and frames drawn through the driver with a sine song.
#include "scenes/scene_spectrumboxes/scene_spectrumboxes.h"

#include "scene_frames.h"
#include <math.h>
#include <stdlib.h>

using namespace sceneframes;

// >> bands
TEST(SpectrumBoxesBands, BinRangesOfTheSixteenBands)
{
    const int expected[SPECTRUM_BANDS][2] = {
        {1, 1},     {2, 2},     {3, 3},     {4, 4},       {5, 6},       {7, 10},      {11, 16},      {17, 25},
        {26, 40},   {41, 64},   {65, 101},  {102, 161},   {162, 256},   {257, 406},   {407, 645},    {646, 1023},
    };
    for (int i = 0; i < SPECTRUM_BANDS; i++) {
        int first = -1, last = -1;
        spectrumBandBins(i, &first, &last);
        EXPECT_EQ(first, expected[i][0]) << "band " << i;
        EXPECT_EQ(last, expected[i][1]) << "band " << i;
    }
}

TEST(SpectrumBoxesBands, LevelsFromTheirOwnBinsOnly)
{
    float spectrum[SPECTRUM_BINS] = {}, levels[SPECTRUM_BANDS];
    spectrum[0] = 1000.0f; // the constant component is never used
    spectrumBandLevels(spectrum, levels);
    for (float level : levels) EXPECT_EQ(level, 0.0f);

    // One bin in band 4 (bins 5-6): n = 2, divisor (3 div 8 + 1) = 1, log10(12).
    spectrum[5] = 1.0f;
    spectrumBandLevels(spectrum, levels);
    EXPECT_NEAR(levels[4], sqrtf(1.0f / log10f(12.0f)), 1e-6);
    for (int i = 0; i < SPECTRUM_BANDS; i++) {
        if (i != 4) {
            EXPECT_EQ(levels[i], 0.0f) << i;
        }
    }

    // All ones: band 15 has 378 bins, divisor 379 div 8 + 1 = 48; band 0 one bin, log10(11).
    for (float& bin : spectrum) bin = 1.0f;
    spectrumBandLevels(spectrum, levels);
    EXPECT_NEAR(levels[0], sqrtf(1.0f / log10f(11.0f)), 1e-6);
    EXPECT_NEAR(levels[15], sqrtf(378.0f / 48.0f / log10f(388.0f)), 1e-5);
    EXPECT_NEAR(levels[12], sqrtf(95.0f / 13.0f / log10f(105.0f)), 1e-5); // bins 162-256
    // A negative or not-a-number sum (never from real magnitudes) is a flat band, not a NaN.
    spectrum[1] = -3.0f;
    spectrum[2] = nanf("");
    spectrumBandLevels(spectrum, levels);
    EXPECT_EQ(levels[0], 0.0f);
    EXPECT_EQ(levels[1], 0.0f);
}

// >> stacks
TEST(SpectrumBoxesStacks, OneCubePerStepBelowTheLevel)
{
    EXPECT_EQ(spectrumStackCubes(0.0f), 0);
    EXPECT_EQ(spectrumStackCubes(-0.3f), 0);
    EXPECT_EQ(spectrumStackCubes(nanf("")), 0);
    EXPECT_EQ(spectrumStackCubes(0.01f), 1);
    EXPECT_EQ(spectrumStackCubes(0.05f), 1); // the second cube needs h = 0.05 < 0.05
    EXPECT_EQ(spectrumStackCubes(0.051f), 2);
    EXPECT_EQ(spectrumStackCubes(1.0f), 20);
    EXPECT_EQ(spectrumStackCubes(1.01f), 21);
    EXPECT_EQ(spectrumStackCubes(1e30f), SPECTRUM_MAX_CUBES);
    EXPECT_EQ(spectrumStackCubes(INFINITY), SPECTRUM_MAX_CUBES);

    float rgba[4];
    spectrumCubeColour(0, rgba);
    EXPECT_FLOAT_EQ(rgba[0], 0.1f);
    EXPECT_FLOAT_EQ(rgba[1], 0.1f);
    EXPECT_FLOAT_EQ(rgba[2], 0.1f);
    EXPECT_FLOAT_EQ(rgba[3], 0.5f);
    spectrumCubeColour(1, rgba);
    EXPECT_FLOAT_EQ(rgba[0], 0.05f);
    EXPECT_FLOAT_EQ(rgba[1], 0.1f);
    EXPECT_FLOAT_EQ(rgba[2], 1.0f);
    EXPECT_FLOAT_EQ(rgba[3], 0.5f);
    spectrumCubeColour(10, rgba);
    EXPECT_NEAR(rgba[0], 0.5f, 1e-5);
    EXPECT_NEAR(rgba[1], 1.0f, 1e-5);
}

// >> rows and ring
TEST(SpectrumBoxesRows, ARowForEveryThirtySecondBeatStrictlyPast)
{
    float clock = 0.0f;
    EXPECT_EQ(spectrumRowsDue(0.03125f, &clock), 0); // a lag of exactly 1/32 adds nothing
    EXPECT_EQ(clock, 0.0f);
    EXPECT_EQ(spectrumRowsDue(0.03f, &clock), 0);
    EXPECT_EQ(spectrumRowsDue(0.04f, &clock), 1);
    EXPECT_EQ(clock, 0.03125f);
    EXPECT_EQ(spectrumRowsDue(0.0625f, &clock), 0); // exactly 1/32 again
    EXPECT_EQ(spectrumRowsDue(0.1f, &clock), 2);
    EXPECT_EQ(clock, 0.09375f);
    // A clock that went back makes nothing and moves nothing.
    EXPECT_EQ(spectrumRowsDue(0.05f, &clock), 0);
    EXPECT_EQ(clock, 0.09375f);
}

TEST(SpectrumBoxesRows, FirstFrameOfTheWindowCatchesUpOnTheSong)
{
    // Made at load near beat 0.1, first drawn at beat 216.4: about 6900 rows are due.
    float clock = 0.09375f;
    long rows = spectrumRowsDue(216.4f, &clock);
    EXPECT_EQ(rows, 6921);
    EXPECT_GT(216.4f - clock, 0.0f);
    EXPECT_LE(216.4f - clock, 0.03125f);
    // The same count as one step at a time.
    float stepped = 0.09375f;
    long steps = 0;
    while (216.4f - stepped > 0.03125f) stepped += 0.03125f, steps++;
    EXPECT_EQ(rows, steps);
    EXPECT_EQ(clock, stepped);
    // A clock far beyond what a float can step through still ends.
    clock = 0.0f;
    EXPECT_GT(spectrumRowsDue(1e9f, &clock), 0);
    EXPECT_LE(1e9f - clock, 0.03125f);
}

TEST(SpectrumBoxesRows, RingRunsDownAndWraps)
{
    EXPECT_EQ(spectrumRingAfter(0, 1), 95);
    EXPECT_EQ(spectrumRingAfter(5, 1), 4);
    EXPECT_EQ(spectrumRingAfter(0, 96), 0);
    EXPECT_EQ(spectrumRingAfter(3, 0), 3);
    EXPECT_EQ(spectrumRingAfter(5, 6921), ((5 - 6921) % 96 + 96) % 96);
    EXPECT_EQ(spectrumRingAfter(0, 1000000000000L), (int)((96 - 1000000000000L % 96) % 96));
}

// >> light
TEST(SpectrumBoxesLight, BrightnessAgainstTheLoudestSoFar)
{
    float levels[SPECTRUM_BANDS] = {0.01f, 0.01f, 0.01f, 0.01f, 0.01f, 9.0f, 9.0f};
    float loudest = 0.1f;
    // Quiet music at the start still lights the scene at d / 0.1; band 5 and up do not count.
    EXPECT_NEAR(spectrumBrightness(levels, &loudest), 0.5f, 1e-6);
    EXPECT_FLOAT_EQ(loudest, 0.1f);
    levels[0] = 0.36f; // d = 0.4
    EXPECT_FLOAT_EQ(spectrumBrightness(levels, &loudest), 1.0f);
    EXPECT_NEAR(loudest, 0.4f, 1e-6);
    levels[0] = 0.16f; // d = 0.2: never falls
    EXPECT_NEAR(spectrumBrightness(levels, &loudest), 0.5f, 1e-6);
    EXPECT_NEAR(loudest, 0.4f, 1e-6);
    float silent[SPECTRUM_BANDS] = {};
    EXPECT_EQ(spectrumBrightness(silent, &loudest), 0.0f);
}

// >> frames
class SpectrumBoxesFrames : public testing::Test {
protected:
    static Fbo* s_fbo;
    Music* music = nullptr;
    SpectrumBoxes* scene = nullptr;
    std::vector<Template*> scenes;

    void SetUp() override
    {
        REQUIRE_GL_WINDOW(WINDOW_WIDTH, WINDOW_HEIGHT);
        if (!s_fbo) s_fbo = new Fbo();
        s_fbo->resize(WINDOW_WIDTH, WINDOW_HEIGHT);
        music = startSong();
        spectrumBoxesResetState();
        scene = new SpectrumBoxes();
        scene->startTime = 216.0f;
        scene->endTime = 232.0f;
        scene->music = music;
        scene->fbo = s_fbo;
        scene->init();
        scenes.push_back(scene);
    }
    void TearDown() override
    {
        if (scene) {
            scene->release();
            EXPECT_EQ(scene->heights, nullptr);
            delete scene;
        }
        if (music) stopSong(music);
    }
};
Fbo* SpectrumBoxesFrames::s_fbo = nullptr;

// Share of pixels that are not near black.
static double litShare(const Bytes& rgb)
{
    size_t lit = 0;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3)
        if (rgb[i] + rgb[i + 1] + rgb[i + 2] > 30) lit++;
    return (double)lit / (double)(rgb.size() / 3);
}

TEST_F(SpectrumBoxesFrames, LoadMakesRowsThenTheWindowCatchesUpAndSlides)
{
    EXPECT_TRUE(scene->lighting);
    EXPECT_FALSE(scene->texture2D);
    EXPECT_FALSE(scene->blend);
    EXPECT_TRUE(scene->depthTest);
    EXPECT_NE(scene->floorList, 0u);
    EXPECT_NE(scene->rowLists, 0u);
    EXPECT_TRUE(glIsList(scene->rowLists + SPECTRUM_ROWS - 1));
    // Loaded at beat 0.1 (the clock's offset): three rows of silence.
    EXPECT_FLOAT_EQ(scene->rowClock, 0.09375f);
    EXPECT_EQ(scene->ringIndex, 93);

    frameClock.frameStep = 0.02f;
    frameAt(music, scenes, 216.4);
    // The ring is full of copies of one row, and the row clock within 1/32 beat of the song.
    EXPECT_GT(scene->lag, 0.0f);
    EXPECT_LE(scene->lag, 0.03125f);
    EXPECT_FLOAT_EQ(scene->now - scene->rowClock, scene->lag);
    for (int row = 1; row < SPECTRUM_ROWS; row++)
        for (int band = 0; band < SPECTRUM_BANDS; band++)
            ASSERT_EQ(scene->heights[row * SPECTRUM_BANDS + band], scene->heights[band]) << row;
    // The sine (344 Hz: bin 16 of a 2048-point spectrum) stands out in band 6.
    int loudestBand = 0;
    for (int band = 1; band < SPECTRUM_BANDS; band++)
        if (scene->heights[band] > scene->heights[loudestBand]) loudestBand = band;
    EXPECT_EQ(loudestBand, 6);
    EXPECT_GT(spectrumStackCubes(scene->heights[6]), 3);
    EXPECT_FLOAT_EQ(spectrumBoxesState().swayClock, 0.02f);

    Bytes first = readFbo(s_fbo);
    savePicture("spectrumboxes_beat216.png", first, s_fbo->width, s_fbo->height);
    EXPECT_GT(litShare(first), 0.03) << "see spectrumboxes_beat216.png";
    EXPECT_GT(colourVariety(first), 30);

    // A frame a few rows later: exactly that many new rows, older ones moved down.
    int ringBefore = scene->ringIndex;
    float clockBefore = scene->rowClock;
    frameAt(music, scenes, 216.55);
    long made = lroundf((scene->rowClock - clockBefore) * 32.0f);
    EXPECT_GE(made, 4);
    EXPECT_EQ(scene->ringIndex, spectrumRingAfter(ringBefore, made));
    Bytes later = readFbo(s_fbo);
    savePicture("spectrumboxes_beat216_55.png", later, s_fbo->width, s_fbo->height);
    EXPECT_GT(litShare(later), 0.03);
    // The camera swayed and the rows slid: the picture moved.
    size_t changed = 0;
    for (size_t i = 0; i < first.size(); i++) changed += first[i] != later[i];
    EXPECT_GT(changed, first.size() / 100);
}

// Triangles one ring list draws.
static GLuint rowPrimitives(const SpectrumBoxes* scene, int list)
{
    GLuint query = 0, primitives = 0;
    glGenQueries(1, &query);
    glBeginQuery(GL_PRIMITIVES_GENERATED, query);
    glCallList(scene->rowLists + list);
    glEndQuery(GL_PRIMITIVES_GENERATED);
    glGetQueryObjectuiv(query, GL_QUERY_RESULT, &primitives);
    glDeleteQueries(1, &query);
    return primitives;
}

TEST_F(SpectrumBoxesFrames, CaughtUpRowsKeepTheirCubesWhileTheRingMovesOn)
{
    // The catch-up fills the ring with one row, held once: the others call it.
    frameAt(music, scenes, 216.4);
    const GLuint caughtUp = rowPrimitives(scene, scene->ringIndex);
    EXPECT_GT(caughtUp, 0u);
    // Rows of silence (no cubes) replace the oldest first; the rest still draw the caught-up row.
    memset(scene->spectrum, 0, sizeof scene->spectrum);
    for (int made = 1; made < SPECTRUM_ROWS; made++) {
        scene->ringIndex = spectrumRingAfter(scene->ringIndex, 1);
        scene->buildRow();
        ASSERT_EQ(rowPrimitives(scene, scene->ringIndex), 0u) << made;
        const int oldest = (scene->ringIndex + SPECTRUM_ROWS - 1) % SPECTRUM_ROWS;
        ASSERT_EQ(rowPrimitives(scene, oldest), caughtUp) << made;
    }
}

TEST_F(SpectrumBoxesFrames, ClearsWhatWasThere)
{
    fillFbo(s_fbo, 1.0f, 0.0f, 0.0f);
    frameAt(music, scenes, 220.0);
    Bytes fbo = readFbo(s_fbo);
    // The top corners are above the waterfall: black, not the red left before.
    const uint8_t* corner = pixel(fbo, s_fbo->width, 2, s_fbo->height - 3);
    EXPECT_LT(corner[0], 30);
    GLint bound = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &bound);
    EXPECT_EQ(bound, 0);
}

// The show's song, for looking at: the waterfall must be lit and busy in its real window.
TEST(SpectrumBoxesSong, RealSongFillsTheWaterfall)
{
    REQUIRE_GL_WINDOW(WINDOW_WIDTH, WINDOW_HEIGHT);
    static Fbo* fbo = new Fbo();
    fbo->resize(WINDOW_WIDTH, WINDOW_HEIGHT);
    Music* music = startRealSong();
    spectrumBoxesResetState();
    SpectrumBoxes scene;
    scene.startTime = 216.0f;
    scene.endTime = 232.0f;
    scene.music = music;
    scene.fbo = fbo;
    scene.init();
    std::vector<Template*> scenes(1, &scene);
    frameClock.frameStep = 1.0f / 60.0f;
    const double beats[] = {216.2, 224.0, 231.5};
    for (double beat : beats) {
        // Frames at 60 per second over the beat before, so the rows show the song's recent past.
        for (double b = beat - 1.0; b < beat; b += 140.0 / 60.0 / 60.0) frameAt(music, scenes, b);
        frameAt(music, scenes, beat);
        Bytes picture = readFbo(fbo);
        char name[64];
        snprintf(name, sizeof name, "spectrumboxes_song_beat%d.png", (int)beat);
        savePicture(name, picture, fbo->width, fbo->height);
        EXPECT_GT(litShare(picture), 0.10) << name;
        EXPECT_GT(colourVariety(picture), 100) << name;
    }
    scene.release();
    stopSong(music);
}

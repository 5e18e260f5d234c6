// TextFire: the 16 ms step schedule (first draw, catching up one step per frame, the tick's wrap),
// the fire's start values and how long decay keeps falling, the grid part of a frame, missing
// pictures, and frames in virtual time drawn through the driver's path into the shared Fbo.
#include "scenes/scene_textfire/scene_textfire.h"

#include "platform/platform.h" // virtual time
#include "scenes_text_support.h"
#include "util/asciiengine/asciifire.h"
#include "util/asciiengine/rawloader.h" // RawImage

using namespace textscene;

// >> schedule
TEST(TextFireSchedule, FirstCallStepsThenEvery16Ms)
{
    TextFireState state = {0, false};
    EXPECT_TRUE(textFireStepDue(&state, 5000));
    EXPECT_TRUE(state.started);
    EXPECT_EQ(state.nextFireTick, 5016u);
    EXPECT_FALSE(textFireStepDue(&state, 5000));
    EXPECT_FALSE(textFireStepDue(&state, 5015));
    EXPECT_TRUE(textFireStepDue(&state, 5016));
    EXPECT_EQ(state.nextFireTick, 5032u);
    // A stall of 100 ms: one step per call until the schedule has caught up.
    int steps = 0;
    while (textFireStepDue(&state, 5132)) steps++;
    EXPECT_EQ(steps, 7); // 5032, 5048, ..., 5128
    EXPECT_EQ(state.nextFireTick, 5144u);
}

TEST(TextFireSchedule, KeepsRunningAcrossTheTickWrap)
{
    TextFireState state = {0xFFFFFFF0u, true};
    EXPECT_TRUE(textFireStepDue(&state, 0xFFFFFFF5u));
    EXPECT_EQ(state.nextFireTick, 0u);
    EXPECT_TRUE(textFireStepDue(&state, 3u)); // the tick wrapped: still due
    EXPECT_EQ(state.nextFireTick, 16u);
    EXPECT_FALSE(textFireStepDue(&state, 5u));
    // And a schedule that wrapped before the tick is not due early.
    state = TextFireState{4u, true};
    EXPECT_FALSE(textFireStepDue(&state, 0xFFFFFFFAu));
}

// >> fire
TEST(TextFireDecay, StartsAt3_5AndStopsAfter248Steps)
{
    AsciiEngine grid(AsciiEngine::GRID_ONLY);
    AsciiFire fire(&grid);
    textFireConfigure(&fire);
    EXPECT_EQ(fire.decay, 3.5);
    EXPECT_EQ(fire.decayTarget, 0.029999999329447746);
    EXPECT_EQ(fire.decayStep, 0.014000000432133675);
    int lastChange = 0;
    for (int step = 1; step <= 400; step++) {
        double before = fire.decay;
        fire.updateDecay();
        if (fire.decay != before) lastChange = step;
    }
    EXPECT_EQ(lastChange, 248);
    EXPECT_NEAR(fire.decay, 0.028, 1e-6);
}

static void writeTestPictures()
{
    makeFolders("data/textfire");
    writeTestFile(TEXT_FIRE_PICTURE_1, Bytes(FIRE_PICTURE_WIDTH * FIRE_PICTURE_HEIGHT, 1));
    writeTestFile(TEXT_FIRE_PICTURE_2, Bytes(FIRE_PICTURE_WIDTH * FIRE_PICTURE_HEIGHT, 2));
    accessMode = ACCESS_LOOSE;
}

static int litCells(const AsciiEngine& grid)
{
    int lit = 0;
    for (int cell = 0; cell < GRID_CELLS; cell++) lit += grid.chars[cell] != 0;
    return lit;
}

// Lit rows counted from the bottom: the height of the flames.
static int flameRows(const AsciiEngine& grid)
{
    for (int row = 0; row < GRID_ROWS; row++)
        for (int column = 0; column < GRID_COLUMNS; column++)
            if (grid.chars[row * GRID_COLUMNS + column]) return GRID_ROWS - row;
    return 0;
}

TEST(TextFireGrid, StepsClearTheGridAndTheFireGrows)
{
    writeTestPictures();
    textFireResetState();
    AsciiEngine grid(AsciiEngine::GRID_ONLY);
    TextFire scene;
    scene.ascii = &grid;
    scene.init();
    EXPECT_EQ(scene.firePicture1->pixels[0], 4); // file colour 1: dark red
    EXPECT_EQ(scene.firePicture2->pixels[3999], 2);
    EXPECT_EQ(scene.fire->decay, 3.5);

    memset(grid.chars, 77, GRID_BYTES); // left over from another scene
    uint32_t now = 1000;
    EXPECT_TRUE(scene.advance(now));
    // One step from cold: only sparks in the bottom row; the rest of the grid is cleared.
    EXPECT_GT(flameRows(grid), 0);
    EXPECT_LE(flameRows(grid), 1);
    // Between steps the grid keeps the last step's picture.
    memset(grid.background, 9, GRID_CELLS);
    EXPECT_FALSE(scene.advance(now + 15));
    EXPECT_EQ(grid.background[0], 9);

    // Half a second at 60 frames a second, then four more seconds.
    int stepsAt = 0, heightEarly = 0, litEarly = 0;
    for (int frame = 1; frame <= 270; frame++) {
        now = 1000 + (uint32_t)(frame * 1000 / 60);
        stepsAt += scene.advance(now);
        if (frame == 30) heightEarly = flameRows(grid), litEarly = litCells(grid);
    }
    // 60 frames a second of 16.7 ms: one step each, the schedule falling slowly behind.
    EXPECT_EQ(stepsAt, 270);
    EXPECT_LT(heightEarly, 10);
    EXPECT_GT(flameRows(grid), 2 * heightEarly);
    EXPECT_GT(litCells(grid), 2 * litEarly);
    // Fire characters and colours only, on background 0 or lit from the ramp.
    for (int cell = 0; cell < GRID_CELLS; cell++) {
        if (!grid.chars[cell]) continue;
        ASSERT_GE(grid.chars[cell], 136);
        ASSERT_LE(grid.chars[cell], 199);
        uint8_t f = grid.foreground[cell];
        ASSERT_TRUE(f == 4 || f == 12 || f == 14 || f == 15) << (int)f;
        ASSERT_EQ(grid.background[cell], 0);
    }
    // The hottest colours sit at the bottom, the coolest at the top of the flames.
    int bottomWhiteOrYellow = 0;
    for (int column = 0; column < GRID_COLUMNS; column++) {
        uint8_t f = grid.foreground[(GRID_ROWS - 2) * GRID_COLUMNS + column];
        bottomWhiteOrYellow += f == 14 || f == 15;
    }
    EXPECT_GT(bottomWhiteOrYellow, GRID_COLUMNS / 4);
}

TEST(TextFireGrid, MissingPictureIsFatal)
{
    writeTestPictures();
    remove(TEXT_FIRE_PICTURE_2);
    AsciiEngine grid(AsciiEngine::GRID_ONLY);
    EXPECT_EXIT(
        {
            TextFire scene;
            scene.ascii = &grid;
            scene.init();
        },
        testing::ExitedWithCode(1), "Failed to load file data/textfire/firetext2.raw");
}

// >> frames
TEST(TextFireFrames, FireInVirtualTimeIntoTheSharedFbo)
{
    REQUIRE_GL_WINDOW();
    Stage stage;
    stage.open();
    copyAsset(TEXT_FIRE_PICTURE_1);
    copyAsset(TEXT_FIRE_PICTURE_2);
    platformUseVirtualTime(true);
    platformSetVirtualNanoseconds(7000000000ull);
    textFireResetState();
    TextFire* scene = new TextFire();
    stage.attach(scene, 0.0f, 40.0f);
    scene->init();

    // Sixty frames a second for five seconds of tick; the song's clock moves a tenth of a beat a
    // frame, staying inside the scene's window (the clock never runs back).
    const int shots[] = {60, 300};
    int litPixels[2] = {0, 0}, topLit[2] = {0, 0};
    for (int frame = 1, next = 0; next < 2; frame++) {
        platformSetVirtualNanoseconds(7000000000ull + (uint64_t)frame * 1000000000ull / 60);
        stage.frameAt(scene, 0.1 + frame * 0.1);
        if (frame != shots[next]) continue;
        // One step a frame: the 16.7 ms frames are always due.
        EXPECT_NEAR(scene->fire->decay, std::max(3.5 - frame * 0.014, 0.028), 1e-4) << frame;
        Bytes picture = readTopFirst(stage.fbo);
        char name[64];
        snprintf(name, sizeof name, "textfire_frame%d.png", frame);
        saveTopFirst(name, picture);
        // Fire colours only (dark red, red, yellow, white: never green or blue without red).
        topLit[next] = PICTURE_HEIGHT;
        for (int y = 0; y < PICTURE_HEIGHT; y++) {
            for (int x = 0; x < PICTURE_WIDTH; x++) {
                const uint8_t* p = &picture[((size_t)y * PICTURE_WIDTH + x) * 3];
                if (p[0] < 100) {
                    ASSERT_LT(p[1], 100) << name << " " << x << "," << y;
                    ASSERT_LT(p[2], 100) << name << " " << x << "," << y;
                    continue;
                }
                litPixels[next]++;
                topLit[next] = std::min(topLit[next], y);
            }
        }
        next++;
    }
    // After one second low flames along the bottom; after five the fire fills most of the picture.
    EXPECT_GT(litPixels[0], PICTURE_WIDTH);
    EXPECT_GT(topLit[0], PICTURE_HEIGHT * 3 / 4);
    EXPECT_LT(topLit[1], PICTURE_HEIGHT / 2);
    EXPECT_GT(litPixels[1], 4 * litPixels[0]);
    platformUseVirtualTime(false);
    scene->release();
    delete scene;
    stage.close();
}

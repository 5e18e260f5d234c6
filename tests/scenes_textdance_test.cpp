// TextDance: the beat within the bar, the grid of a frame (mirrored rotozoom under the dance frame
// of the beat) against test pictures, missing pictures, and frames of the real pictures drawn
// through the driver's path into the shared Fbo.
#include "scenes/scene_textdance/scene_textdance.h"

#include "scenes_text_support.h"
#include "util/asciiengine/rawloader.h" // RAW_COLOUR_MAP
#include "util/asciiengine/rotozoom.h"
#include <math.h>

using namespace textscene;

// >> beat
TEST(TextDanceBeat, BeatWithinTheBar)
{
    EXPECT_EQ(textDanceBeat(5.7f), 1);
    EXPECT_EQ(textDanceBeat(0.0f), 0);
    EXPECT_EQ(textDanceBeat(3.999f), 3);
    EXPECT_EQ(textDanceBeat(4.0f), 0);
    EXPECT_EQ(textDanceBeat(232.0f), 0);
    EXPECT_EQ(textDanceBeat(234.5f), 2);
    EXPECT_EQ(textDanceBeat(247.99f), 3);
    EXPECT_EQ(textDanceBeat(248.0f), 0);
    // Never outside the four pictures, whatever the clock.
    EXPECT_EQ(textDanceBeat(-0.5f), 0);
    EXPECT_EQ(textDanceBeat(-1.5f), 3);
    EXPECT_EQ(textDanceBeat(NAN), 0);
    EXPECT_EQ(textDanceBeat(INFINITY), 0);
    EXPECT_EQ(textDanceBeat(-1e30f), 0);
}

// >> grid
// Test pictures: a backdrop whose texels encode their position (so mirroring shows), and dance
// frames whose cells are transparent except a block in the frame's own corner, coloured 1 + frame.
static uint8_t backdropFileColour(int x, int y) { return (uint8_t)((x * 5 + y * 3) % 16); }

static bool danceCellLit(int frame, int column, int row)
{
    bool right = frame & 1, bottom = frame & 2;
    return (right ? column >= 60 : column < 20) && (bottom ? row >= 35 : row < 15);
}

static void writeTestPictures()
{
    makeFolders("data/textdance");
    Bytes backdrop(ROTOZOOM_TEXELS);
    for (int y = 0; y < ROTOZOOM_SIDE; y++)
        for (int x = 0; x < ROTOZOOM_SIDE; x++) backdrop[y * ROTOZOOM_SIDE + x] = backdropFileColour(x, y);
    writeTestFile(TEXT_DANCE_BACKDROP, backdrop);
    for (int frame = 0; frame < DANCE_FRAMES; frame++) {
        Bytes cells(DANCE_FRAME_WIDTH * DANCE_FRAME_HEIGHT, 0);
        for (int row = 0; row < DANCE_FRAME_HEIGHT; row++)
            for (int column = 0; column < DANCE_FRAME_WIDTH; column++)
                if (danceCellLit(frame, column, row)) cells[row * DANCE_FRAME_WIDTH + column] = (uint8_t)(1 + frame);
        writeTestFile(TEXT_DANCE_FRAMES[frame], cells);
    }
    accessMode = ACCESS_LOOSE;
}

// The grid TextDance must leave: the backdrop drawn by hand in `mode` with the given indices, then
// dance frame `frame` over it.
static void expectGrid(const AsciiEngine& grid, int mode, int angle, int zoom, int frame, const char* what)
{
    AsciiEngine byHand(AsciiEngine::GRID_ONLY);
    RotozoomImage reference(&byHand, TEXT_DANCE_BACKDROP);
    reference.mode = mode;
    reference.draw(reference.zoomTable[zoom], reference.shapeTable[(angle + 128) % 256], reference.shapeTable[angle]);
    for (int row = 0; row < GRID_ROWS; row++) {
        for (int column = 0; column < GRID_COLUMNS; column++) {
            int cell = row * GRID_COLUMNS + column;
            uint8_t want = danceCellLit(frame, column, row) ? RAW_COLOUR_MAP[1 + frame] : byHand.foreground[cell];
            ASSERT_EQ(grid.chars[cell], FULL_BLOCK) << what;
            ASSERT_EQ(grid.foreground[cell], want) << what << " " << column << "," << row;
            ASSERT_EQ(grid.background[cell], 0) << what;
        }
    }
}

TEST(TextDanceGrid, MirrorAndDanceFrameFollowTheBeat)
{
    writeTestPictures();
    AsciiEngine grid(AsciiEngine::GRID_ONLY);
    TextDance scene;
    scene.ascii = &grid;
    scene.init();
    memset(grid.chars, 77, GRID_BYTES); // left over from another scene

    // 5.7 beats: frame 1 ("dance2.raw") over the rotozoom upside down.
    scene.backdrop->angleIndex = 40;
    scene.backdrop->zoomIndex = 30;
    scene.composeGrid(5.7f, 5.7f);
    EXPECT_EQ(scene.backdrop->mode, ROTOZOOM_UPSIDE_DOWN);
    EXPECT_EQ(scene.backdrop->angleIndex, 39);
    EXPECT_EQ(scene.backdrop->zoomIndex, 31);
    expectGrid(grid, ROTOZOOM_UPSIDE_DOWN, 40, 30, 1, "5.7");
    // The mirroring must show in the test backdrop: not the same as mode 0.
    AsciiEngine plain(AsciiEngine::GRID_ONLY);
    RotozoomImage unmirrored(&plain, TEXT_DANCE_BACKDROP);
    unmirrored.draw(unmirrored.zoomTable[30], unmirrored.shapeTable[168], unmirrored.shapeTable[40]);
    EXPECT_NE(memcmp(plain.foreground + 2000, grid.foreground + 2000, 1000), 0);

    // A whole bar, one frame in each beat; the two clock readings may fall in different beats.
    for (int beat = 0; beat < 8; beat++) {
        int angle = scene.backdrop->angleIndex, zoom = scene.backdrop->zoomIndex;
        float t = 232.0f + beat + 0.5f;
        scene.composeGrid(t, t);
        char what[32];
        snprintf(what, sizeof what, "beat %g", t);
        expectGrid(grid, beat % 4, angle, zoom, beat % 4, what);
    }
    int angle = scene.backdrop->angleIndex, zoom = scene.backdrop->zoomIndex;
    scene.composeGrid(235.99f, 236.01f);
    expectGrid(grid, ROTOZOOM_HALF_TURN, angle, zoom, 0, "across the bar line");
}

TEST(TextDanceGrid, MissingPictureIsFatal)
{
    writeTestPictures();
    remove(TEXT_DANCE_FRAMES[2]);
    AsciiEngine grid(AsciiEngine::GRID_ONLY);
    EXPECT_EXIT(
        {
            TextDance scene;
            scene.ascii = &grid;
            scene.init();
        },
        testing::ExitedWithCode(1), "Failed to load file data/textdance/dance3.raw");
    writeTestPictures();
    remove(TEXT_DANCE_BACKDROP);
    EXPECT_EXIT(
        {
            TextDance scene;
            scene.ascii = &grid;
            scene.init();
        },
        testing::ExitedWithCode(1), "Failed to load file data/textdance/rotozoom.raw!");
}

// >> frames
TEST(TextDanceFrames, RealPicturesIntoTheSharedFbo)
{
    REQUIRE_GL_WINDOW();
    Stage stage;
    stage.open();
    copyAsset(TEXT_DANCE_BACKDROP);
    for (const char* name : TEXT_DANCE_FRAMES) copyAsset(name);
    TextDance* scene = new TextDance();
    stage.attach(scene, 0.0f, 40.0f);
    scene->init();

    // Sixty frames a second from beat 0.1; a picture in each beat of one bar.
    const double shots[] = {4.5, 5.7, 6.5, 7.5};
    Bytes pictures[4];
    size_t next = 0;
    for (double beat = 0.1; next < 4; beat += TEST_BPM / 60.0 / 60.0) {
        bool shot = beat >= shots[next];
        if (shot) beat = shots[next];
        stage.frameAt(scene, beat);
        if (!shot) continue;
        pictures[next] = readTopFirst(stage.fbo);
        char name[64];
        snprintf(name, sizeof name, "textdance_beat%g.png", shots[next]);
        saveTopFirst(name, pictures[next]);
        EXPECT_EQ(scene->backdrop->mode, (int)next) << name;
        // Every cell is a full block in its grid colour.
        int blocks = 0;
        EXPECT_EQ(blockCellsMatching(pictures[next], *stage.ascii, &blocks), GRID_CELLS) << name;
        EXPECT_EQ(blocks, GRID_CELLS);
        // The dance frame of the beat is on top: its lit cells show its colours.
        const RawImage* frame = scene->danceFrames[next];
        int lit = 0, shown = 0;
        for (int cell = 0; cell < GRID_CELLS; cell++) {
            if (!frame->pixels[cell]) continue;
            lit++;
            shown += stage.ascii->foreground[cell] == frame->pixels[cell];
        }
        EXPECT_GT(lit, 100) << name;
        EXPECT_EQ(shown, lit) << name;
        next++;
    }
    for (int i = 1; i < 4; i++) EXPECT_NE(pictures[i], pictures[i - 1]);
    scene->release();
    delete scene;
    stage.close();
}

// TextBigSprite: the logo window's path over the music clock, the rotozoom's per-frame step, one
// frame's grid (backdrop under the logo, logo colour 0 transparent) against test pictures, missing
// pictures, and frames of the real pictures drawn through the driver's path into the shared Fbo.
#include "scenes/scene_textbigsprite/scene_textbigsprite.h"

#include "scenes_text_support.h"
#include "util/asciiengine/rawloader.h" // RAW_COLOUR_MAP
#include "util/asciiengine/rotozoom.h"
#include <math.h>

using namespace textscene;

// >> logo window
TEST(TextBigSpriteLogo, WindowAtKnownTimesAndWithinThePicture)
{
    int x, y;
    textBigSpriteLogoWindow(0.0f, &x, &y);
    EXPECT_EQ(x, 110);
    EXPECT_EQ(y, 30);
    textBigSpriteLogoWindow((float)M_PI, &x, &y);
    EXPECT_EQ(x, 220);
    EXPECT_EQ(y, 6);
    // Over a long stretch the window stays on the picture and reaches all four edges.
    int minX = 1000, maxX = -1000, minY = 1000, maxY = -1000;
    for (int i = 0; i < 200000; i++) {
        textBigSpriteLogoWindow(i * 0.01f, &x, &y);
        minX = std::min(minX, x), maxX = std::max(maxX, x);
        minY = std::min(minY, y), maxY = std::max(maxY, y);
    }
    EXPECT_EQ(minX, 0);
    EXPECT_EQ(maxX, 220);
    EXPECT_EQ(minY, 0);
    EXPECT_EQ(maxY, 30);
    EXPECT_LE(maxX + GRID_COLUMNS, BIG_SPRITE_LOGO_WIDTH);
    EXPECT_LE(maxY + GRID_ROWS, BIG_SPRITE_LOGO_HEIGHT);
}

// >> grid
// Test pictures: a backdrop whose texel (0, 0) is file colour 2 and the rest 9, a logo whose
// every seventh column is transparent and whose other cells encode their position.
static uint8_t logoFileColour(int x, int y) { return x % 7 == 0 ? 0 : (uint8_t)((x * 3 + y) % 15 + 1); }

static void writeTestPictures()
{
    makeFolders("data/textbigsprite");
    Bytes backdrop(ROTOZOOM_TEXELS, 9);
    backdrop[0] = 2;
    writeTestFile(TEXT_BIG_SPRITE_BACKDROP, backdrop);
    Bytes logo(BIG_SPRITE_LOGO_WIDTH * BIG_SPRITE_LOGO_HEIGHT);
    for (int y = 0; y < BIG_SPRITE_LOGO_HEIGHT; y++)
        for (int x = 0; x < BIG_SPRITE_LOGO_WIDTH; x++) logo[y * BIG_SPRITE_LOGO_WIDTH + x] = logoFileColour(x, y);
    writeTestFile(TEXT_BIG_SPRITE_LOGO, logo);
    accessMode = ACCESS_LOOSE;
}

TEST(TextBigSpriteGrid, RotozoomFrameDrawsThenSteps)
{
    writeTestPictures();
    AsciiEngine grid(AsciiEngine::GRID_ONLY);
    RotozoomImage image(&grid, TEXT_BIG_SPRITE_BACKDROP);
    // Indices 0: zoom 0, every cell shows texel (0, 0).
    textBigSpriteRotozoomFrame(&image);
    for (int cell = 0; cell < GRID_CELLS; cell++) {
        ASSERT_EQ(grid.chars[cell], FULL_BLOCK);
        ASSERT_EQ(grid.foreground[cell], RAW_COLOUR_MAP[2]) << cell;
        ASSERT_EQ(grid.background[cell], 0);
    }
    EXPECT_EQ(image.angleIndex, 255);
    EXPECT_EQ(image.zoomIndex, 1);
    // The same picture as drawing by hand with the documented arguments.
    AsciiEngine byHand(AsciiEngine::GRID_ONLY);
    RotozoomImage reference(&byHand, TEXT_BIG_SPRITE_BACKDROP);
    for (int frame = 1; frame < 300; frame++) {
        int angle = image.angleIndex, zoom = image.zoomIndex;
        textBigSpriteRotozoomFrame(&image);
        reference.draw(reference.zoomTable[zoom], reference.shapeTable[(angle + 128) % 256], reference.shapeTable[angle]);
        ASSERT_EQ(memcmp(grid.chars, byHand.chars, GRID_BYTES), 0) << frame;
        ASSERT_EQ(image.angleIndex, (256 - (frame + 1) % 256) % 256);
        ASSERT_EQ(image.zoomIndex, (frame + 1) % 256);
    }
}

TEST(TextBigSpriteGrid, LogoOverTheBackdrop)
{
    writeTestPictures();
    AsciiEngine grid(AsciiEngine::GRID_ONLY);
    TextBigSprite scene;
    scene.ascii = &grid;
    scene.init();
    memset(grid.chars, 77, GRID_BYTES); // left over from another scene
    const float times[] = {0.0f, (float)M_PI, 10.0f};
    for (float t : times) {
        // Indices 0 each time: the backdrop is texel (0, 0) everywhere.
        scene.backdrop->angleIndex = scene.backdrop->zoomIndex = 0;
        scene.composeGrid(t);
        int x, y;
        textBigSpriteLogoWindow(t, &x, &y);
        for (int row = 0; row < GRID_ROWS; row++) {
            for (int column = 0; column < GRID_COLUMNS; column++) {
                int cell = row * GRID_COLUMNS + column;
                uint8_t logo = logoFileColour(x + column, y + row);
                uint8_t want = logo ? RAW_COLOUR_MAP[logo] : RAW_COLOUR_MAP[2];
                ASSERT_EQ(grid.chars[cell], FULL_BLOCK);
                ASSERT_EQ(grid.foreground[cell], want) << t << " " << column << "," << row;
                ASSERT_EQ(grid.background[cell], 0);
            }
        }
    }
}

TEST(TextBigSpriteGrid, MissingPictureIsFatal)
{
    writeTestPictures();
    remove(TEXT_BIG_SPRITE_LOGO);
    AsciiEngine grid(AsciiEngine::GRID_ONLY);
    EXPECT_EXIT(
        {
            TextBigSprite scene;
            scene.ascii = &grid;
            scene.init();
        },
        testing::ExitedWithCode(1), "Failed to load file data/textbigsprite/halvoren.raw");
    remove(TEXT_BIG_SPRITE_BACKDROP);
    EXPECT_EXIT(
        {
            TextBigSprite scene;
            scene.ascii = &grid;
            scene.init();
        },
        testing::ExitedWithCode(1), "Failed to load file data/textbigsprite/halvos.raw!");
}

// >> frames
TEST(TextBigSpriteFrames, RealPicturesIntoTheSharedFbo)
{
    REQUIRE_GL_WINDOW();
    Stage stage;
    stage.open();
    copyAsset(TEXT_BIG_SPRITE_BACKDROP);
    copyAsset(TEXT_BIG_SPRITE_LOGO);
    TextBigSprite* scene = new TextBigSprite();
    stage.attach(scene, 0.0f, 40.0f);
    scene->init();

    // Sixty frames a second from beat 0.1; pictures at a few beats.
    const double shots[] = {M_PI, 12.0, 25.0};
    size_t next = 0;
    Bytes first;
    for (double beat = 0.1; next < 3; beat += TEST_BPM / 60.0 / 60.0) {
        bool shot = beat >= shots[next];
        if (shot) beat = shots[next];
        stage.frameAt(scene, beat);
        if (!shot) continue;
        Bytes picture = readTopFirst(stage.fbo);
        char name[64];
        snprintf(name, sizeof name, "textbigsprite_beat%g.png", shots[next]);
        saveTopFirst(name, picture);
        // Every cell is a full block in its grid colour.
        int blocks = 0;
        EXPECT_EQ(blockCellsMatching(picture, *stage.ascii, &blocks), GRID_CELLS) << name;
        EXPECT_EQ(blocks, GRID_CELLS);
        // Several colours on screen, and the picture moves.
        int used[16] = {0}, colours = 0;
        for (int cell = 0; cell < GRID_CELLS; cell++) used[stage.ascii->foreground[cell]]++;
        for (int c = 0; c < 16; c++) colours += used[c] > 20;
        EXPECT_GE(colours, 3) << name;
        if (first.empty()) first = picture;
        else EXPECT_NE(picture, first);
        next++;
    }
    scene->release();
    delete scene;
    stage.close();
}

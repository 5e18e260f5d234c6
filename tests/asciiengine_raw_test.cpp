// RawImage: file colour conversion, short and odd files, clipped stamping, the missing-file report.
#include "test_support.h"
#include "util/asciiengine/asciiengine.h"
#include "util/asciiengine/rawloader.h"
#include <gtest/gtest.h>
#include <limits.h>
#include <string.h>

static const uint8_t MARK = 77; // what the grid holds before a draw

static void markGrid(AsciiEngine& engine) { memset(engine.chars, MARK, GRID_BYTES); }
// Each layer indexed below GRID_CELLS: reading `chars` past its end is undefined behaviour.
static bool gridMarked(const AsciiEngine& engine)
{
    for (int cell = 0; cell < GRID_CELLS; cell++)
        if (engine.chars[cell] != MARK || engine.foreground[cell] != MARK || engine.background[cell] != MARK) return false;
    return true;
}

// A loaded picture whose cells are then overwritten with distinct non-zero values, so each
// grid cell shows which picture cell landed on it.
static void numberPixels(RawImage& image)
{
    for (int i = 0; i < image.width * image.height; i++) image.pixels[i] = (uint8_t)(1 + i % 251);
}

static uint8_t pictureValue(const RawImage& image, int px, int py) { return image.pixels[py * image.width + px]; }

TEST(RawImage, FileColoursBecomePaletteIndicesAndShortFilesAreTransparent)
{
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 16; i++) bytes.push_back((uint8_t)i);
    bytes.push_back(0x21);  // above 15: low four bits, file colour 1
    bytes.push_back(0xf0);  // file colour 0
    writeTestFile("colours.raw", bytes);
    AsciiEngine engine(AsciiEngine::GRID_ONLY);
    RawImage image(&engine, 10, 2, "colours.raw");
    const uint8_t expected[20] = {0, 4, 2, 6, 1, 5, 3, 7, 8, 12, 10, 14, 9, 13, 11, 15, 4, 0, 0, 0};
    EXPECT_EQ(0, memcmp(image.pixels, expected, 20));

    markGrid(engine);
    image.draw(0, 0);
    // File colour 1 (red in file order) is palette 4 as a full block on background 0.
    EXPECT_EQ(engine.chars[1], FULL_BLOCK);
    EXPECT_EQ(engine.foreground[1], 4);
    EXPECT_EQ(engine.background[1], 0);
    // File colour 0 and the cells the file did not reach leave the grid alone.
    for (int cell : {0, 80 + 7, 80 + 8, 80 + 9}) {
        EXPECT_EQ(engine.chars[cell], MARK) << cell;
        EXPECT_EQ(engine.foreground[cell], MARK) << cell;
        EXPECT_EQ(engine.background[cell], MARK) << cell;
    }
    // A longer file: the rest is ignored.
    RawImage first(&engine, 4, 1, "colours.raw");
    const uint8_t firstFour[4] = {0, 4, 2, 6};
    EXPECT_EQ(0, memcmp(first.pixels, firstFour, 4));
}

TEST(RawImage, ClipsTheWindowToPictureAndGrid)
{
    writeTestFile("big.raw", std::vector<uint8_t>(300 * 80, 1));
    AsciiEngine engine(AsciiEngine::GRID_ONLY);
    RawImage image(&engine, 300, 80, "big.raw");
    numberPixels(image);

    // (220, 30): the bottom-right 80 x 50 cells fill the grid.
    markGrid(engine);
    image.draw(220, 30);
    for (int i = 0; i < 50; i++)
        for (int j = 0; j < 80; j++) ASSERT_EQ(engine.foreground[i * 80 + j], pictureValue(image, 220 + j, 30 + i));

    // (221, 30): the grid's rightmost column keeps what it held.
    markGrid(engine);
    image.draw(221, 30);
    for (int i = 0; i < 50; i++) {
        for (int j = 0; j < 79; j++) ASSERT_EQ(engine.foreground[i * 80 + j], pictureValue(image, 221 + j, 30 + i));
        ASSERT_EQ(engine.chars[i * 80 + 79], MARK);
        ASSERT_EQ(engine.foreground[i * 80 + 79], MARK);
    }

    // (-10, -3): the picture starts ten columns right and three rows down.
    markGrid(engine);
    image.draw(-10, -3);
    for (int i = 0; i < 50; i++) {
        for (int j = 0; j < 80; j++) {
            if (i < 3 || j < 10) ASSERT_EQ(engine.chars[i * 80 + j], MARK) << i << "," << j;
            else ASSERT_EQ(engine.foreground[i * 80 + j], pictureValue(image, j - 10, i - 3)) << i << "," << j;
        }
    }

    // (0, 60): only the picture's last 20 rows exist; the rows below keep their cells.
    markGrid(engine);
    image.draw(0, 60);
    for (int j = 0; j < 80; j++) {
        ASSERT_EQ(engine.foreground[19 * 80 + j], pictureValue(image, j, 79));
        ASSERT_EQ(engine.chars[20 * 80 + j], MARK);
    }

    // Windows wholly outside the picture, however far, draw nothing.
    const int far[][2] = {{300, 0}, {0, 80}, {-80, 0}, {0, -50}, {INT_MAX, INT_MAX}, {INT_MIN, INT_MIN},
                          {INT_MIN, 0}, {0, INT_MAX}};
    for (const auto& at : far) {
        markGrid(engine);
        image.draw(at[0], at[1]);
        ASSERT_TRUE(gridMarked(engine)) << at[0] << "," << at[1];
    }
}

TEST(RawImage, EmptyPictureAndEmptyFile)
{
    writeTestFile("empty.raw", std::vector<uint8_t>());
    AsciiEngine engine(AsciiEngine::GRID_ONLY);
    RawImage none(&engine, 0, 0, "empty.raw");
    RawImage blank(&engine, 80, 50, "empty.raw");
    markGrid(engine);
    none.draw(0, 0);
    blank.draw(0, 0);
    ASSERT_TRUE(gridMarked(engine));
}

TEST(RawImageDeathTest, MissingFileAndBadSizeAreFatal)
{
    AsciiEngine engine(AsciiEngine::GRID_ONLY);
    EXPECT_EXIT(RawImage(&engine, 80, 50, "data/nowhere.raw"), testing::ExitedWithCode(1),
                "Failed to load file data/nowhere.raw");
    EXPECT_EXIT(RawImage(&engine, -1, 50, "x.raw"), testing::ExitedWithCode(1), "x.raw");
    EXPECT_EXIT(RawImage(&engine, 80, RAW_MAX_SIDE + 1, "x.raw"), testing::ExitedWithCode(1), "x.raw");
}

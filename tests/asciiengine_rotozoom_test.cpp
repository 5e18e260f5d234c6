// RotozoomImage: the sine tables, sampling in 20.12 fixed point with wrap-around, the four
// mirroring modes, loading.
#include "test_support.h"
#include "util/asciiengine/asciiengine.h"
#include "util/asciiengine/rotozoom.h"
#include <gtest/gtest.h>
#include <memory>
#include <string.h>

// A picture whose texel (u, v) is (u * 7 + v * 13) mod 256, set after loading.
static uint8_t pattern(int u, int v) { return (uint8_t)((u * 7 + v * 13) & 255); }

static std::unique_ptr<RotozoomImage> patterned(AsciiEngine* engine)
{
    writeTestFile("plain.raw", std::vector<uint8_t>(65536, 0));
    std::unique_ptr<RotozoomImage> image(new RotozoomImage(engine, "plain.raw"));
    for (int v = 0; v < 256; v++)
        for (int u = 0; u < 256; u++) image->texels[v * 256 + u] = pattern(u, v);
    return image;
}

TEST(Rotozoom, TablesAndStartingState)
{
    AsciiEngine engine(AsciiEngine::GRID_ONLY);
    std::unique_ptr<RotozoomImage> image = patterned(&engine);
    EXPECT_EQ(image->angleIndex, 0);
    EXPECT_EQ(image->zoomIndex, 0);
    EXPECT_EQ(image->mode, 0);
    EXPECT_EQ(image->shapeTable[0], 3276); // 0.8 * 4096 = 3276.8
    EXPECT_EQ(image->zoomTable[0], 0);
    EXPECT_EQ(image->zoomTable[64], 8191); // sin just below 1 at the quarter period
    EXPECT_EQ(image->shapeTable[64], 7372);
    // Second half-period negative (mirrored through the origin); 255 steps are just short of 2 pi.
    for (int i = 1; i < 128; i++) EXPECT_GT(image->zoomTable[i], 0) << i;
    for (int i = 128; i < 255; i++) EXPECT_LT(image->zoomTable[i], 0) << i;
    EXPECT_EQ(image->zoomTable[128], -100); // sin(3.1539) = -0.0123
    EXPECT_EQ(image->zoomTable[255], 0);    // sin(6.28313) = -0.00005, truncated toward zero
    EXPECT_EQ(image->shapeTable[192], -818); // (sin(4.7308) + 0.8) * 4096 = -818.5, toward zero
}

TEST(Rotozoom, ZoomZeroShowsTexelZeroEverywhere)
{
    AsciiEngine engine(AsciiEngine::GRID_ONLY);
    std::unique_ptr<RotozoomImage> image = patterned(&engine);
    image->texels[0] = 9;
    memset(engine.chars, 1, GRID_BYTES);
    image->draw(image->zoomTable[0], image->shapeTable[128], image->shapeTable[0]);
    for (int cell = 0; cell < GRID_CELLS; cell++) {
        ASSERT_EQ(engine.chars[cell], FULL_BLOCK);
        ASSERT_EQ(engine.foreground[cell], 9);
        ASSERT_EQ(engine.background[cell], 0);
    }
}

TEST(Rotozoom, SamplesRotatedAndScaledWithWrapAround)
{
    AsciiEngine engine(AsciiEngine::GRID_ONLY);
    std::unique_ptr<RotozoomImage> image = patterned(&engine);

    // zoom 4096, q 4096, p 0: a = 40960 (ten texels a column), b = 0.
    image->draw(4096, 0, 4096);
    for (int y = 0; y < 50; y++)
        for (int x = 0; x < 80; x++) ASSERT_EQ(engine.foreground[y * 80 + x], pattern(10 * x & 255, 10 * y & 255));

    // p 4096, q 0: a quarter turn, u = -10 y and v = 10 x, wrapped.
    image->draw(4096, 4096, 0);
    for (int y = 0; y < 50; y++)
        for (int x = 0; x < 80; x++) ASSERT_EQ(engine.foreground[y * 80 + x], pattern(-10 * y & 255, 10 * x & 255));

    // Sub-texel steps: a = b = 10 / 4096; negative u above the diagonal shifts down to texel 255.
    image->draw(1, 4096, 4096);
    for (int y = 0; y < 50; y++) {
        for (int x = 0; x < 80; x++) {
            int u = (10 * x - 10 * y) >> 12, v = (10 * x + 10 * y) >> 12;
            ASSERT_EQ(engine.foreground[y * 80 + x], pattern(u & 255, v & 255)) << x << "," << y;
        }
    }
    EXPECT_EQ(engine.foreground[1 * 80 + 0], pattern(255, 0));

    // The callers' arguments at some table positions, against the per-cell formula.
    for (int angle : {0, 37, 128, 200}) {
        for (int zoomIndex : {5, 64, 150}) {
            int32_t zoom = image->zoomTable[zoomIndex], p = image->shapeTable[(angle - 128) & 255],
                    q = image->shapeTable[angle];
            image->draw(zoom, p, q);
            int32_t a = (q * zoom * 10) >> 12, b = (p * zoom * 10) >> 12;
            for (int y = 0; y < 50; y++)
                for (int x = 0; x < 80; x++) {
                    int32_t u = x * a - y * b, v = x * b + y * a;
                    ASSERT_EQ(engine.foreground[y * 80 + x], pattern((u >> 12) & 255, (v >> 12) & 255))
                        << angle << " " << zoomIndex << " " << x << "," << y;
                }
        }
    }
}

TEST(Rotozoom, ModesMirrorTheOutput)
{
    AsciiEngine engine(AsciiEngine::GRID_ONLY);
    std::unique_ptr<RotozoomImage> image = patterned(&engine);
    uint8_t reference[GRID_CELLS];
    image->draw(4096, 1234, 4096);
    memcpy(reference, engine.foreground, sizeof reference);

    struct {
        int mode;
        bool flipX, flipY;
    } modes[] = {{1, false, true}, {2, true, false}, {3, true, true}, {5, false, false}, {-1, false, false}};
    for (const auto& m : modes) {
        image->mode = m.mode;
        engine.clear();
        image->draw(4096, 1234, 4096);
        for (int y = 0; y < 50; y++) {
            for (int x = 0; x < 80; x++) {
                int tx = m.flipX ? 79 - x : x, ty = m.flipY ? 49 - y : y;
                ASSERT_EQ(engine.foreground[ty * 80 + tx], reference[y * 80 + x]) << m.mode;
                ASSERT_EQ(engine.chars[ty * 80 + tx], FULL_BLOCK);
            }
        }
    }
}

TEST(Rotozoom, ExtremeFactorsStayInsideThePicture)
{
    AsciiEngine engine(AsciiEngine::GRID_ONLY);
    std::unique_ptr<RotozoomImage> image = patterned(&engine);
    image->draw(INT32_MAX, INT32_MIN, INT32_MAX);
    image->draw(INT32_MIN, -1, INT32_MIN);
    for (int cell = 0; cell < GRID_CELLS; cell++) ASSERT_EQ(engine.chars[cell], FULL_BLOCK);
}

TEST(Rotozoom, LoadsThePictureInPaletteOrder)
{
    std::vector<uint8_t> bytes(65536, 0);
    bytes[0] = 1;           // file red: palette 4
    bytes[256 * 3 + 5] = 0x19; // masked to 9: palette 12
    bytes.resize(1000);     // the rest is missing: 0
    writeTestFile("short.raw", bytes);
    AsciiEngine engine(AsciiEngine::GRID_ONLY);
    RotozoomImage image(&engine, "short.raw");
    EXPECT_EQ(image.texels[0], 4);
    EXPECT_EQ(image.texels[256 * 3 + 5], 12);
    for (int i = 1000; i < 65536; i++) ASSERT_EQ(image.texels[i], 0);
    EXPECT_EXIT(RotozoomImage(&engine, "data/missing.raw"), testing::ExitedWithCode(1),
                "Failed to load file data/missing.raw!");
}

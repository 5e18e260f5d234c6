// AsciiFire: decay schedule, heat to level, character and colour ramp, the in-place spread, sparks.
#include "util/asciiengine/asciiengine.h"
#include "util/asciiengine/asciifire.h"
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

TEST(AsciiFire, DecayReachesItsTargetAfter248StepsThenStays)
{
    AsciiEngine engine(AsciiEngine::GRID_ONLY);
    AsciiFire fire(&engine);
    fire.decay = 3.5;
    fire.decayTarget = 0.03f;
    fire.decayStep = 0.014f;
    for (int i = 0; i < 247; i++) fire.updateDecay();
    EXPECT_GT(fire.decay, fire.decayTarget);
    fire.updateDecay();
    EXPECT_LT(fire.decay, fire.decayTarget);
    EXPECT_NEAR(fire.decay, 0.028, 1e-5);
    double settled = fire.decay;
    for (int i = 0; i < 10; i++) fire.updateDecay();
    EXPECT_EQ(fire.decay, settled);

    // A step of zero or less moves decay up toward a higher target.
    fire.decay = 0.5;
    fire.decayTarget = 1.0;
    fire.decayStep = -0.2;
    for (int i = 0; i < 10; i++) fire.updateDecay();
    EXPECT_NEAR(fire.decay, 1.1, 1e-12);
}

// Fills the six heat cells of grid cell (k, r) of a full-size fire.
static void setCellHeat(AsciiFire& fire, int k, int r, const int six[6])
{
    for (int n = 0; n < 6; n++) fire.source[(2 * r + n / 3) * 240 + 3 * k + n % 3] = (uint8_t)six[n];
}

TEST(AsciiFire, RenderMapsHeatToLevelCharacterAndColours)
{
    AsciiEngine engine(AsciiEngine::GRID_ONLY);
    AsciiFire fire(&engine);
    struct Case {
        int six[6];
        int chr, fg; // expected; chr -1: the cell keeps its marker
    } cases[] = {
        {{5, 5, 5, 5, 5, 5}, 138, 4},            // heat 10: level 1
        {{10, 20, 30, 40, 50, 60}, 153, 14},     // heat 70: level 7
        {{1, 2, 3, 4, 5, 6}, -1, 0},             // heat 7: level 0
        {{150, 150, 150, 150, 150, 150}, 147, 12}, // heat 300 kept to 8 bits: 44, level 4
        {{124, 125, 124, 125, 124, 125}, 198, 15}, // heat 249: level 24
        {{125, 125, 125, 125, 125, 125}, -1, 0}, // heat 250: level 25 mod 25 = 0
        {{255, 255, 255, 255, 255, 255}, -1, 0}, // heat 510 -> 254: level 0
        {{80, 80, 80, 80, 80, 80}, 176, 15},     // heat 160: level 16
    };
    const int count = sizeof cases / sizeof cases[0];
    for (int i = 0; i < count; i++) setCellHeat(fire, 5 + i, 3, cases[i].six);
    memset(engine.chars, 7, GRID_BYTES);
    fire.render();
    for (int i = 0; i < count; i++) {
        int cell = 3 * 80 + 5 + i;
        if (cases[i].chr < 0) {
            EXPECT_EQ(engine.chars[cell], 7) << i;
            EXPECT_EQ(engine.foreground[cell], 7) << i;
        } else {
            EXPECT_EQ(engine.chars[cell], cases[i].chr) << i;
            EXPECT_EQ(engine.foreground[cell], cases[i].fg) << i;
            EXPECT_EQ(engine.background[cell], 0) << i;
        }
    }
    // Nothing else was touched.
    for (int cell = 0; cell < GRID_CELLS; cell++) {
        if (cell >= 3 * 80 + 5 && cell < 3 * 80 + 5 + count) continue;
        ASSERT_EQ(engine.chars[cell], 7) << cell;
    }

    // A ramp entry's high four bits are the background.
    fire.colourRamp[7] = 0x3e;
    fire.render();
    EXPECT_EQ(engine.foreground[3 * 80 + 6], 14);
    EXPECT_EQ(engine.background[3 * 80 + 6], 3);
}

TEST(AsciiFire, SpreadMatchesHandComputedStepsIncludingInPlaceReads)
{
    AsciiEngine engine(AsciiEngine::GRID_ONLY);
    AsciiFire fire(&engine);
    // One grid cell wide, two high: a 3 x 4 heat buffer.
    fire.width = 1;
    fire.height = 2;
    fire.decay = 0.5;
    const uint8_t start[12] = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120};
    memcpy(fire.source, start, sizeof start);
    uint8_t* second = fire.target;

    // First step: from the first buffer into the second (whose last row stays as it was).
    fire.spread();
    EXPECT_EQ(fire.source, second);
    EXPECT_EQ(fire.target, second);
    const uint8_t step1[12] = {41, 47, 49, 69, 75, 76, 74, 83, 80, 0, 0, 0};
    EXPECT_EQ(0, memcmp(second, step1, sizeof step1));

    // From then on in place: (0, 1) reads its already rewritten neighbours in row 0.
    fire.spread();
    const uint8_t step2[12] = {58, 63, 63, 41, 40, 36, 44, 37, 33, 0, 0, 0};
    EXPECT_EQ(0, memcmp(second, step2, sizeof step2));
    fire.spread();
    const uint8_t step3[12] = {44, 42, 39, 21, 20, 16, 23, 16, 14, 0, 0, 0};
    EXPECT_EQ(0, memcmp(second, step3, sizeof step3));
    // Nothing past the 3 x 4 buffer was written.
    for (int i = 12; i < 24000; i++) ASSERT_EQ(second[i], 0) << i;
}

TEST(AsciiFire, SpreadSaturatesWhenDecayIsNearMinusTheNeighbourCount)
{
    AsciiEngine engine(AsciiEngine::GRID_ONLY);
    AsciiFire fire(&engine);
    memset(fire.source, 200, 24000);
    fire.decay = -7.9; // 1600 / 0.1 inside, 1000 / -2.9 at the sides
    fire.spread();
    EXPECT_EQ(fire.target[240 + 100], 255);
    EXPECT_EQ(fire.target[240], 0);
    fire.decay = -8.0; // division by zero inside
    fire.spread();
    EXPECT_EQ(fire.target[240 + 100], 255);
}

TEST(AsciiFire, SparksOnlyTouchTheBottomRow)
{
    AsciiEngine engine(AsciiEngine::GRID_ONLY);
    AsciiFire fire(&engine);
    srand(1234);
    memset(fire.source, 7, 24000);
    fire.addSparks();
    int hot = 0;
    for (int i = 0; i < 99 * 240; i++) ASSERT_EQ(fire.source[i], 7) << i;
    for (int i = 99 * 240; i < 24000; i++) {
        int v = fire.source[i];
        ASSERT_TRUE(v == 0 || v == 7 || v == 255) << i;
        hot += v == 255;
    }
    EXPECT_GT(hot, 0);

    // Without feeding: no hot sparks, and the buffer's last cell goes cold.
    fire.stopFeeding = 1;
    memset(fire.source, 7, 24000);
    fire.addSparks();
    for (int i = 99 * 240; i < 24000; i++) ASSERT_NE(fire.source[i], 255) << i;
    EXPECT_EQ(fire.source[23999], 0);

    // Many steps spread sparks over the whole width and keep every column in range.
    fire.stopFeeding = 0;
    bool seen[240] = {};
    for (int n = 0; n < 200; n++) {
        memset(fire.source + 99 * 240, 0, 240);
        fire.addSparks();
        for (int c = 0; c < 240; c++) seen[c] |= fire.source[99 * 240 + c] == 255;
    }
    int columnsSeen = 0;
    for (bool s : seen) columnsSeen += s;
    EXPECT_GT(columnsSeen, 200);
}

TEST(AsciiFire, StepsFillTheGridWithFire)
{
    AsciiEngine engine(AsciiEngine::GRID_ONLY);
    AsciiFire fire(&engine);
    srand(99);
    for (int n = 0; n < 60; n++) {
        engine.clear();
        fire.step();
    }
    int burning = 0;
    for (int cell = 0; cell < GRID_CELLS; cell++) {
        if (engine.chars[cell] == 0) continue;
        burning++;
        ASSERT_GE(engine.chars[cell], 136) << cell;
        ASSERT_LE(engine.foreground[cell], 15) << cell;
    }
    // The bottom rows burn, the top rows are still cold.
    EXPECT_GT(burning, 80);
    for (int cell = 0; cell < 10 * 80; cell++) ASSERT_EQ(engine.chars[cell], 0) << cell;
}

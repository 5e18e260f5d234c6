// asciifire: AsciiFire. See asciifire.h.
#include "util/asciiengine/asciifire.h"

#include "platform/platform.h" // platformTickMs
#include "util/asciiengine/asciiengine.h"
#include <stdlib.h>
#include <string.h>

enum {
    SPARK_COLD_PER_HOT = 3,   // cold sparks before each hot one
    SPARK_HOT = 255,
    RANDOM_BITS_MASK = 32767, // the 15-bit range the spark columns were tuned for
    HEAT_PER_LEVEL = 10,
    GLYPH_HEAT_DIVISOR = 4,
    GLYPH_BASE = 136,         // first of the fire's characters in the chart
};

AsciiFire::AsciiFire(AsciiEngine* engine_) : engine(engine_)
{
    restart();
    srand(platformTickMs());
}

void AsciiFire::restart()
{
    sparksPerStep = 25;
    width = GRID_COLUMNS;
    height = GRID_ROWS;
    memset(heatA, 0, sizeof heatA);
    memset(heatB, 0, sizeof heatB);
    source = heatA;
    target = heatB;
    decay = 0.5;
    decayTarget = 0.25;
    decayStep = 0.002;
    stopFeeding = 0;
    for (int level = 0; level < FIRE_LEVELS; level++) {
        uint8_t colour = 15;
        if (level == 0) colour = 0;
        else if (level == 1) colour = 4;
        else if (level <= 6) colour = 12;
        else if (level <= 15) colour = 14;
        colourRamp[level] = colour;
    }
}

// Heat buffer size in use: width and height kept inside the buffers' capacity.
static int heatColumns(int width) { return 3 * (width < 1 ? 1 : width > GRID_COLUMNS ? GRID_COLUMNS : width); }
static int heatRows(int height) { return 2 * (height < 1 ? 1 : height > GRID_ROWS ? GRID_ROWS : height); }

void AsciiFire::step()
{
    updateDecay();
    spread();
    addSparks();
    render();
}

void AsciiFire::updateDecay()
{
    // May overshoot the target by less than one step; then it stays.
    if (decayStep > 0 && decayTarget < decay) decay -= decayStep;
    if (decayStep <= 0 && decayTarget > decay) decay -= decayStep;
}

void AsciiFire::spread()
{
    const int columns = heatColumns(width), rows = heatRows(height);
    // Reads and writes may be the same buffer: the order below is part of the effect.
    for (int i = 1; i < rows; i++) {
        const int lastRow = i + 1 < rows ? i + 1 : i;
        for (int j = 0; j < columns; j++) {
            const int left = j > 0 ? j - 1 : j, right = j + 1 < columns ? j + 1 : j;
            int sum = 0, n = 0;
            for (int r = i - 1; r <= lastRow; r++) {
                for (int c = left; c <= right; c++) {
                    if (r == i && c == j) continue;
                    sum += source[r * columns + c];
                    n++;
                }
            }
            double heat = sum / (decay + n);
            // Saturate: a decay near -n would otherwise give values no byte (or int) can hold.
            uint8_t value = heat >= 255.0 ? 255 : heat > 0.0 ? (uint8_t)heat : 0;
            target[(i - 1) * columns + j] = value;
        }
    }
    source = target;
}

static int randomColumn(int columns)
{
    return (rand() & RANDOM_BITS_MASK) * (columns - 1) / RANDOM_BITS_MASK;
}

void AsciiFire::addSparks()
{
    const int columns = heatColumns(width), rows = heatRows(height);
    uint8_t* bottom = source + (rows - 1) * columns;
    for (int s = 0; s < sparksPerStep; s++) {
        for (int k = 0; k < SPARK_COLD_PER_HOT; k++) bottom[randomColumn(columns)] = 0;
        if (!stopFeeding) bottom[randomColumn(columns)] = SPARK_HOT;
        else bottom[columns - 1] = 0;
    }
}

void AsciiFire::render()
{
    const int columns = heatColumns(width), gridColumns = columns / 3, gridRows = heatRows(height) / 2;
    for (int r = 0; r < gridRows; r++) {
        const uint8_t* top = source + 2 * r * columns;
        const uint8_t* below = top + columns;
        for (int k = 0; k < gridColumns; k++) {
            const int c = 3 * k;
            int heat = ((top[c] + top[c + 1] + top[c + 2] + below[c] + below[c + 1] + below[c + 2]) / 3) & 255;
            int level = heat / HEAT_PER_LEVEL % FIRE_LEVELS;
            if (level == 0) continue;
            int cell = r * GRID_COLUMNS + k;
            engine->chars[cell] = (uint8_t)(heat / GLYPH_HEAT_DIVISOR + GLYPH_BASE);
            engine->foreground[cell] = colourRamp[level] & 15;
            engine->background[cell] = colourRamp[level] >> 4;
        }
    }
}

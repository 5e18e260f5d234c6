// rotozoom: RotozoomImage. See rotozoom.h.
#include "util/asciiengine/rotozoom.h"

#include "platform/report.h" // FATAL
#include "util/asciiengine/asciiengine.h"
#include "util/asciiengine/rawloader.h" // loadRawCells, RAW_COLOUR_MAP
#include <math.h>

// 255 steps of this make very nearly one full period of the sine.
static const double TABLE_STEP = 0.024639729632;
static const int FIXED_SHIFT = 12; // 20.12 fixed point
static const int32_t ZOOM_SCALE = 10;

void RotozoomImage::buildTables(int32_t shape[ROTOZOOM_TABLE_SIZE], int32_t zoom[ROTOZOOM_TABLE_SIZE])
{
    for (int i = 0; i < ROTOZOOM_TABLE_SIZE; i++) {
        double s = sin(i * TABLE_STEP);
        shape[i] = (int32_t)((s + 0.8) * 4096);
        zoom[i] = (int32_t)(s * 2 * 4096);
    }
}

RotozoomImage::RotozoomImage(AsciiEngine* engine_, const char* path) : engine(engine_)
{
    if (!loadRawCells(path, RAW_COLOUR_MAP, texels, ROTOZOOM_TEXELS)) FATAL("Failed to load file %s!", path);
    buildTables(shapeTable, zoomTable);
    angleIndex = 0;
    zoomIndex = 0;
    mode = ROTOZOOM_NORMAL;
}

// 32-bit arithmetic that wraps instead of overflowing, for factors outside the tables' range.
static int32_t wrapMultiply(int32_t a, int32_t b) { return (int32_t)(uint32_t)((int64_t)a * b); }
static int32_t wrapAdd(int32_t a, int32_t b) { return (int32_t)((uint32_t)a + (uint32_t)b); }
static int32_t wrapSubtract(int32_t a, int32_t b) { return (int32_t)((uint32_t)a - (uint32_t)b); }

void RotozoomImage::draw(int32_t zoom, int32_t p, int32_t q)
{
    int32_t z = wrapMultiply(zoom, ZOOM_SCALE);
    int32_t a = wrapMultiply(q, z) >> FIXED_SHIFT;
    int32_t b = wrapMultiply(p, z) >> FIXED_SHIFT;

    // Each output row is a run of cells; the mode picks the run's start and direction.
    bool flipRows = mode == ROTOZOOM_UPSIDE_DOWN || mode == ROTOZOOM_HALF_TURN;
    bool flipColumns = mode == ROTOZOOM_MIRRORED || mode == ROTOZOOM_HALF_TURN;
    int columnStep = flipColumns ? -1 : 1;

    int32_t rowU = 0, rowV = 0;
    for (int y = 0; y < GRID_ROWS; y++) {
        int32_t u = rowU, v = rowV;
        int targetRow = flipRows ? GRID_ROWS - 1 - y : y;
        int cell = targetRow * GRID_COLUMNS + (flipColumns ? GRID_COLUMNS - 1 : 0);
        for (int x = 0; x < GRID_COLUMNS; x++, cell += columnStep) {
            uint8_t texel = texels[((v >> FIXED_SHIFT) & 255) * ROTOZOOM_SIDE + ((u >> FIXED_SHIFT) & 255)];
            engine->chars[cell] = FULL_BLOCK;
            engine->foreground[cell] = texel;
            engine->background[cell] = 0;
            u = wrapAdd(u, a);
            v = wrapAdd(v, b);
        }
        rowU = wrapSubtract(rowU, b);
        rowV = wrapAdd(rowV, a);
    }
}

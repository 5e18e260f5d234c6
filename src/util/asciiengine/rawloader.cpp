// rawloader: ".raw" pictures and RawImage. See rawloader.h.
#include "util/asciiengine/rawloader.h"

#include "platform/report.h" // FATAL
#include "util/asciiengine/asciiengine.h"
#include "util/data/data.h" // openFile
#include <stdio.h>
#include <string.h>

const uint8_t RAW_COLOUR_MAP[16] = {0, 4, 2, 6, 1, 5, 3, 7, 8, 12, 10, 14, 9, 13, 11, 15};

void decodeRawCells(const uint8_t* fileBytes, size_t fileSize, const uint8_t colourMap[16],
                    uint8_t* cells, size_t cellCount)
{
    size_t present = fileSize < cellCount ? fileSize : cellCount;
    for (size_t i = 0; i < present; i++) cells[i] = colourMap[fileBytes[i] & 15];
    if (present < cellCount) memset(cells + present, 0, cellCount - present);
}

bool loadRawCells(const char* path, const uint8_t colourMap[16], uint8_t* cells, size_t cellCount)
{
    memset(cells, 0, cellCount);
    FILE* f = openFile(path, "rb");
    if (!f) return false;
    // Read straight into the cells, then convert in place: the picture is the only buffer.
    size_t got = fread(cells, 1, cellCount, f);
    fclose(f);
    decodeRawCells(cells, got, colourMap, cells, cellCount);
    return true;
}

void stampRawCells(AsciiEngine* engine, const uint8_t* pixels, int width, int height, int x, int y)
{
    // 64-bit bounds, so offsets far outside the picture cannot overflow.
    const int64_t rows = GRID_ROWS, columns = GRID_COLUMNS;
    int64_t rowBegin = y < 0 ? -(int64_t)y : 0;
    int64_t rowEnd = (int64_t)height - y < rows ? (int64_t)height - y : rows;
    int64_t columnBegin = x < 0 ? -(int64_t)x : 0;
    int64_t columnEnd = (int64_t)width - x < columns ? (int64_t)width - x : columns;
    for (int64_t i = rowBegin; i < rowEnd; i++) {
        const uint8_t* source = pixels + (size_t)((y + i) * width + (x + columnBegin));
        int cell = (int)(i * GRID_COLUMNS + columnBegin);
        for (int64_t j = columnBegin; j < columnEnd; j++, source++, cell++) {
            uint8_t p = *source;
            if (p == 0) continue;
            engine->chars[cell] = FULL_BLOCK;
            engine->foreground[cell] = p;
            engine->background[cell] = 0;
        }
    }
}

RawImage::RawImage(AsciiEngine* engine_, int width_, int height_, const char* path)
    : engine(engine_), width(width_), height(height_), pixels(nullptr)
{
    if (width < 0 || height < 0 || width > RAW_MAX_SIDE || height > RAW_MAX_SIDE)
        FATAL("Picture size %ix%i of %s is outside 0-%i", width, height, path, (int)RAW_MAX_SIDE);
    memcpy(colourMap, RAW_COLOUR_MAP, sizeof colourMap);
    size_t cellCount = (size_t)width * height;
    pixels = new uint8_t[cellCount > 0 ? cellCount : 1];
    if (!loadRawCells(path, colourMap, pixels, cellCount)) FATAL("Failed to load file %s", path);
}

RawImage::~RawImage()
{
    delete[] pixels;
}

void RawImage::draw(int x, int y)
{
    stampRawCells(engine, pixels, width, height, x, y);
}

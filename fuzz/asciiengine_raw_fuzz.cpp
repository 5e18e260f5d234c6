// Fuzz target for ".raw" pictures: the first eight bytes choose the picture size (two 16-bit
// values, each below 400) and the stamping offset (two signed 16-bit values, scaled so some land
// far outside); the rest is the file. Decodes, then stamps the picture at that offset and at the
// picture's corners, checking that every grid byte stays a valid cell.
#include "util/asciiengine/asciiengine.h"
#include "util/asciiengine/rawloader.h"

#include <stdlib.h>
#include <vector>

static int read16(const uint8_t* p) { return p[0] | (p[1] << 8); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 8) return 0;
    static AsciiEngine* engine = new AsciiEngine(AsciiEngine::GRID_ONLY);
    int width = read16(data) % 400, height = read16(data + 2) % 400;
    int x = (int16_t)read16(data + 4), y = (int16_t)read16(data + 6);
    // Odd offsets are scaled up to reach the far edges of int.
    if (x & 1) x *= 65535;
    if (y & 1) y *= 65535;
    std::vector<uint8_t> pixels((size_t)width * height + 1);
    decodeRawCells(data + 8, size - 8, RAW_COLOUR_MAP, pixels.data(), (size_t)width * height);

    engine->clear();
    const int at[][2] = {{x, y}, {0, 0}, {width - 80, height - 50}, {width - 1, height - 1}, {-79, -49}};
    for (const auto& p : at) stampRawCells(engine, pixels.data(), width, height, p[0], p[1]);
    for (int cell = 0; cell < GRID_CELLS; cell++) {
        if (engine->foreground[cell] > 15) abort();
        if (engine->chars[cell] != 0 && engine->chars[cell] != FULL_BLOCK) abort();
    }
    return 0;
}

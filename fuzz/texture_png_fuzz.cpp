// Fuzz target: the PNG decoder (chunk walk, inflate, un-filtering, Adam7, conversion) on raw bytes.
// Seeds are files the PNG tests write; texture_png.dict holds the chunk names and zlib headers.
// Pictures over FUZZ_MAX_PIXELS are skipped (as stb's fuzzers do): every path is the same for them,
// the size limits are covered by the tests, and inflating megabytes per input slows the search.
#include "util/texture/png_loader.h"
#include <stddef.h>
#include <stdint.h>

enum { FUZZ_MAX_PIXELS = 1 << 18 };

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // IHDR is the first chunk: width at byte 16, height at byte 20.
    if (size >= 24) {
        uint64_t w = (uint64_t)data[16] << 24 | data[17] << 16 | data[18] << 8 | data[19];
        uint64_t h = (uint64_t)data[20] << 24 | data[21] << 16 | data[22] << 8 | data[23];
        if (w * h > FUZZ_MAX_PIXELS) return 0;
    }
    RawPngDecoder decoder;
    if (decoder.decodeMemory(data, size) == 1) decoder.flip();
    return 0;
}

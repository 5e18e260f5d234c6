// Fuzz target: the TGA decoder (signatures, header, uncompressed and run-length bodies) on raw bytes.
#include "util/texture/tga_loader.h"
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TgaImage image;
    if (!decodeTga(data, size, &image)) {
        // Touch the last byte so a short buffer shows up under the sanitizer.
        volatile uint8_t last = image.pixels[(size_t)image.width * image.height * (image.bitsPerPixel / 8) - 1];
        (void)last;
    }
    free(image.pixels);
    return 0;
}

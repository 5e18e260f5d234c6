// Fuzz target: the BMP reader (headers, padding, bounds of the pixel data) and the RGB conversion.
#include "util/texture/bmp_loader.h"
#include "util/texture/image_buffer.h"
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ImageBuffer image;
    if (decodeBmp(data, size, &image) == BMP_OK) free(image.toRgbBytes());
    return 0;
}

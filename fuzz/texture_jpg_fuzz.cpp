// Fuzz target: the JPEG path (libjpeg with errors and warnings routed back to the decoder) and the
// RGB conversion. Every malformed file must come back as a message, never end the process, and the
// loader's straight-to-bytes decode must agree with the ImageBuffer form: the same refusal or the
// same bytes.
#include "util/texture/image_buffer.h"
#include "util/texture/jpg_loader.h"
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ImageBuffer image;
    const bool decoded = decodeJpeg(data, size, &image) == nullptr;
    uint8_t* rgb = nullptr;
    int width = 0, height = 0;
    const bool direct = decodeJpegRgb(data, size, &rgb, &width, &height) == nullptr;
    if (decoded != direct) abort();
    if (decoded) {
        uint8_t* bytes = image.toRgbBytes();
        if (!bytes || width != image.width || height != image.height ||
            memcmp(bytes, rgb, (size_t)width * height * 3) != 0)
            abort();
        free(bytes);
    }
    free(rgb);
    return 0;
}

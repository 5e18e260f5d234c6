// Fuzz target: the JPEG path (libjpeg with errors and warnings routed back to the decoder) and the
// RGB conversion. Every malformed file must come back as a message, never end the process.
#include "util/texture/image_buffer.h"
#include "util/texture/jpg_loader.h"
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ImageBuffer image;
    if (!decodeJpeg(data, size, &image)) free(image.toRgbBytes());
    return 0;
}

// image_file: the loaders' shared helpers. See image_file.h.
#include "util/texture/image_file.h"

#include "util/data/data.h" // readAsset

size_t imageByteSize(uint32_t width, uint32_t height, uint32_t bytesPerPixel)
{
    if (width == 0 || height == 0 || bytesPerPixel == 0) return 0;
    if (width > IMAGE_MAX_SIDE || height > IMAGE_MAX_SIDE) return 0;
    // Both sides are at most 2^14, so the product fits 64 bits with room for any bytesPerPixel.
    uint64_t bytes = (uint64_t)width * height * bytesPerPixel;
    if (bytesPerPixel > 16 || bytes > IMAGE_MAX_BYTES) return 0;
    return (size_t)bytes;
}

bool readImageFile(const char* fileName, std::vector<uint8_t>* bytes)
{
    return readAsset(fileName, IMAGE_MAX_FILE_BYTES, bytes);
}

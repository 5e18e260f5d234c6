// image_buffer: the JPEG and BMP loaders' intermediate picture. See image_buffer.h.
#include "util/texture/image_buffer.h"

#include "util/texture/image_file.h" // imageByteSize
#include <stdlib.h>

ImageBuffer::ImageBuffer() : width(0), height(0), channels(3), rgbRows(nullptr) {}

ImageBuffer::~ImageBuffer() { release(); }

void ImageBuffer::release()
{
    if (rgbRows) {
        free(rgbRows[0]);
        free(rgbRows);
    }
    rgbRows = nullptr;
    width = height = 0;
}

bool ImageBuffer::allocate(int newWidth, int newHeight)
{
    release();
    if (newWidth <= 0 || newHeight <= 0) return false;
    // The decoded bytes stay within the texture limits; the ints take four times that.
    size_t bytes = imageByteSize((uint32_t)newWidth, (uint32_t)newHeight, 3);
    if (bytes == 0) return false;
    int* block = (int*)calloc(bytes, sizeof(int));
    int** rows = (int**)malloc(sizeof(int*) * (size_t)newHeight);
    if (!block || !rows) {
        free(block);
        free(rows);
        return false;
    }
    for (int r = 0; r < newHeight; r++) rows[r] = block + (size_t)r * newWidth * 3;
    rgbRows = rows;
    width = newWidth;
    height = newHeight;
    return true;
}

uint8_t* ImageBuffer::toRgbBytes() const
{
    if (!rgbRows || width <= 0 || height <= 0) return nullptr;
    size_t rowBytes = (size_t)width * 3;
    uint8_t* out = (uint8_t*)malloc(rowBytes * (size_t)height);
    if (!out) return nullptr;
    for (int i = 0; i < height; i++) {
        const int* src = rgbRows[i];
        uint8_t* dst = out + (size_t)(height - 1 - i) * rowBytes;
        for (int k = 0; k < width; k++) {
            dst[0] = (uint8_t)src[0];
            dst[1] = (uint8_t)src[2];
            dst[2] = (uint8_t)src[1];
            src += 3;
            dst += 3;
        }
    }
    return out;
}

// bmp_loader: Windows BMP images into a LoadedImage.
//
// Accepts: "BM" files with a 40-byte (or longer) information header, 24 bits per pixel,
// no compression, rows stored bottom-up, each row padded to the header's image size (or, when the
// header leaves the image size 0, to the next multiple of four bytes).
// Refuses (code 2): other depths, palettes, compression, core (OS/2) headers, top-down rows
// (negative height), negative widths, images beyond the texture limits, image sizes that make rows
// overlap. A pixel-data offset past the end is a seek failure (3); a short body is code 4.
// Output: 24-bit R, G, B through ImageBuffer, bottom row first.
#include "util/texture/bmp_loader.h"

#include "platform/report.h"           // LOADER_WARNING
#include "util/texture/image_buffer.h" // ImageBuffer
#include "util/texture/image_file.h"   // LoadedImage, imageByteSize, readImageFile
#include <stdlib.h>
#include <vector>

enum {
    BMP_FILE_HEADER_BYTES = 14,
    BMP_INFO_HEADER_MIN = 40, // the fields read here; longer (later) headers are fine
};

static uint32_t readLe32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24; }
static uint16_t readLe16(const uint8_t* p) { return (uint16_t)(p[0] | p[1] << 8); }

int decodeBmp(const uint8_t* bytes, size_t size, ImageBuffer* image)
{
    image->release();
    if (size < BMP_FILE_HEADER_BYTES + BMP_INFO_HEADER_MIN) return BMP_TRUNCATED;
    const uint8_t* file = bytes;
    const uint8_t* info = bytes + BMP_FILE_HEADER_BYTES;
    if (file[0] != 'B' || file[1] != 'M') return BMP_UNSUPPORTED;
    uint32_t dataOffset = readLe32(file + 10);
    uint32_t infoSize = readLe32(info);
    int32_t width = (int32_t)readLe32(info + 4);
    int32_t height = (int32_t)readLe32(info + 8);
    uint16_t bitsPerPixel = readLe16(info + 14);
    uint32_t compression = readLe32(info + 16);
    uint32_t imageSize = readLe32(info + 20);
    uint32_t coloursUsed = readLe32(info + 32);
    uint32_t coloursImportant = readLe32(info + 36);
    if (infoSize < BMP_INFO_HEADER_MIN) return BMP_UNSUPPORTED;
    if (bitsPerPixel != 24 || compression != 0) return BMP_UNSUPPORTED;
    if (coloursUsed != 0 && coloursImportant != 0) return BMP_UNSUPPORTED;
    // Top-down rows (negative height) and mirrored widths are not handled.
    if (width < 0 || height < 0) return BMP_UNSUPPORTED;
    if (width == 0 || height == 0) return BMP_OK; // empty: the loader reports it

    size_t pixelBytes = imageByteSize((uint32_t)width, (uint32_t)height, 3);
    if (pixelBytes == 0) return BMP_UNSUPPORTED;
    int64_t rowBytes = (int64_t)width * 3;
    int64_t rowPadding;
    if (imageSize == 0) {
        rowPadding = (4 - rowBytes % 4) % 4;
    } else {
        rowPadding = ((int64_t)imageSize - (int64_t)pixelBytes) / height;
        if (rowPadding < 0) return BMP_UNSUPPORTED;
    }
    if (dataOffset > size) return BMP_SEEK_FAILED;
    // The whole body must be there: rows and the padding between them (the last row needs none).
    int64_t needed = (int64_t)(rowBytes + rowPadding) * (height - 1) + rowBytes;
    if (needed > (int64_t)(size - dataOffset)) return BMP_TRUNCATED;

    if (!image->allocate(width, height)) return BMP_UNSUPPORTED;
    const uint8_t* p = bytes + dataOffset;
    // The first stored row is the bottom of the picture.
    for (int row = height - 1; row >= 0; row--) {
        for (int column = 0; column < width; column++) {
            image->setPixel(column, row, p[2], p[0], p[1]);
            p += 3;
        }
        if (row > 0) p += rowPadding;
    }
    return BMP_OK;
}

int ImageBuffer::readBmp(const char* fileName)
{
    std::vector<uint8_t> bytes;
    if (!readImageFile(fileName, &bytes)) return BMP_CANNOT_OPEN;
    return decodeBmp(bytes.data(), bytes.size(), this);
}

bool loadBmp(const char* fileName, LoadedImage& texture)
{
    ImageBuffer image;
    if (image.readBmp(fileName) != BMP_OK) return false;
    texture.width = (uint32_t)image.width;
    texture.height = (uint32_t)image.height;
    texture.bitsPerPixel = 24;
    if (image.width == 0 || image.height == 0) {
        LOADER_WARNING("Invalid texture information");
        texture.imageData = nullptr;
        return false;
    }
    texture.format = GL_RGB;
    texture.imageData = image.toRgbBytes();
    return texture.imageData != nullptr;
}

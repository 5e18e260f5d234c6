// image_file: what every image loader shares: the limits, the size check, reading a whole file,
// and the decoded picture a loader hands back. Texture (texture.h) is such a picture plus its GL
// texture; the loaders see only this, so their includes run one way: texture -> loader -> here.
//
// Limits shared by every decoder: at most IMAGE_MAX_SIDE pixels a side and IMAGE_MAX_BYTES of decoded
// pixels; sizes are computed with imageByteSize, which refuses anything beyond them.
#pragma once

#include <GL/glew.h> // GLenum, the GL constants the loaders store
#include <stddef.h>
#include <stdint.h>
#include <vector>

enum { IMAGE_MAX_SIDE = 16384 };
static const size_t IMAGE_MAX_BYTES = (size_t)256 << 20;
// Image files are read whole; nothing legitimate comes near this.
static const size_t IMAGE_MAX_FILE_BYTES = (size_t)512 << 20;

// A decoded picture, as a loader fills it.
struct LoadedImage {
    unsigned char* imageData = nullptr; // decoded pixels (malloc block) between a loader and the upload; else null
    uint32_t bitsPerPixel = 0;          // 24 or 32 after an image load; 0
    uint32_t width = 0;                 // pixels; 0
    uint32_t height = 0;                // pixels; 0
    GLenum format = 0;                  // GL_RGB or GL_RGBA layout of imageData; 0
};

// Bytes of a width x height image of bytesPerPixel bytes, computed without overflow; 0 when a side
// is 0 or above IMAGE_MAX_SIDE, or the total is above IMAGE_MAX_BYTES.
size_t imageByteSize(uint32_t width, uint32_t height, uint32_t bytesPerPixel);

// Reads a whole asset through openFile. False when it cannot be opened, cannot be read, or is
// larger than IMAGE_MAX_FILE_BYTES.
bool readImageFile(const char* fileName, std::vector<uint8_t>* bytes);

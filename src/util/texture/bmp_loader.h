// bmp_loader: uncompressed 24-bit BMP images into a LoadedImage (see bmp_loader.cpp).
#pragma once

#include <stddef.h>
#include <stdint.h>

struct LoadedImage;
struct ImageBuffer;

// readBmp / decodeBmp result codes.
enum {
    BMP_OK = 0,
    BMP_CANNOT_OPEN = 1,
    BMP_UNSUPPORTED = 2,
    BMP_SEEK_FAILED = 3,
    BMP_TRUNCATED = 4,
};

// Decodes a BMP held in memory into `image`; returns one of the codes above (`image` empty unless 0).
int decodeBmp(const uint8_t* bytes, size_t size, ImageBuffer* image);

// The ".bmp" entry of Texture::load: 24-bit GL_RGB, bottom row first. False when the file cannot be
// opened, is an unsupported variant or is cut short (silently), or is empty (with a message).
bool loadBmp(const char* fileName, LoadedImage& texture);

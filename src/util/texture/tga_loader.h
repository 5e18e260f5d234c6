// tga_loader: Truevision TGA images, true-colour only (see tga_loader.cpp for what is accepted).
#pragma once

#include <stddef.h>
#include <stdint.h>

struct LoadedImage;

// Decoded TGA pixels: R, G, B(, A) per pixel, rows in file order.
struct TgaImage {
    uint8_t* pixels;       // malloc block of width x height x bitsPerPixel/8 bytes; null on failure
    uint32_t width;        // pixels
    uint32_t height;       // pixels
    uint32_t bitsPerPixel; // 24 or 32
};

// Decodes a TGA file held in memory. Null on success (the caller owns out->pixels), else the
// loader's message for the problem; out->pixels is then null.
const char* decodeTga(const uint8_t* bytes, size_t size, TgaImage* out);

// The ".tga" entry of Texture::load: fills imageData, bitsPerPixel, width, height, format.
// Shows its own message box and returns false on failure.
bool loadTga(const char* fileName, LoadedImage& texture);

// jpg_loader: JPEG images into a LoadedImage, decoded by libjpeg (see jpg_loader.cpp).
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string>

struct LoadedImage;
struct ImageBuffer;

// Decodes a JPEG held in memory into `image` (RGB, top row first). Null on success (with
// libjpeg's first warning in *warning when there was one, else ""), else libjpeg's error message
// (or the size refusal); `image` is then empty.
const char* decodeJpeg(const uint8_t* bytes, size_t size, ImageBuffer* image, std::string* warning = nullptr);
// The same decode straight into a texture's bytes: a new malloc block at *rgb of *width x *height
// pixels, R, G, B, bottom row first, byte for byte what decodeJpeg followed by toRgbBytes gives,
// without the int-per-channel picture in between (12 bytes a pixel written, zeroed and read back).
// *rgb is null on failure.
const char* decodeJpegRgb(const uint8_t* bytes, size_t size, uint8_t** rgb, int* width, int* height,
                          std::string* warning = nullptr);

// The ".jpg"/".jpeg" entry of Texture::load: 24-bit GL_RGB, bottom row first. False (silently)
// when the file cannot be opened; a libjpeg error is a fatal report naming its message; a libjpeg
// warning is written to standard error and the picture is shown.
bool loadJpg(const char* fileName, LoadedImage& texture);

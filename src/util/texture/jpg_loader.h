// jpg_loader: JPEG images into a Texture, decoded by libjpeg (see jpg_loader.cpp).
#pragma once

#include <stddef.h>
#include <stdint.h>

class Texture;
struct ImageBuffer;

// Decodes a JPEG held in memory into `image` (RGB, top row first). Null on success, else
// libjpeg's message for the corruption (or the size refusal); `image` is then empty.
const char* decodeJpeg(const uint8_t* bytes, size_t size, ImageBuffer* image);

// The ".jpg"/".jpeg" entry of Texture::load: 24-bit GL_RGB, bottom row first. False (silently)
// when the file cannot be opened; a corrupt JPEG is a fatal report naming libjpeg's message.
bool loadJpg(const char* fileName, Texture& texture);

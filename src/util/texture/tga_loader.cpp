// tga_loader: Truevision TGA images into a LoadedImage.
//
// Accepts: image type 2 (uncompressed true-colour) and type 10 (run-length encoded true-colour),
// 24 or 32 bits per pixel, with no image ID, no colour map and a zero origin (the first twelve
// header bytes must match one of two fixed signatures exactly).
// Refuses: every other type and depth, zero sizes, images beyond the texture limits
// (IMAGE_MAX_SIDE, IMAGE_MAX_BYTES), short files, and run-length packets that run past the image.
// Output: R, G, B(, A) bytes, rows in file order (the descriptor's origin bit is ignored).
#include "util/texture/tga_loader.h"

#include "platform/platform.h"       // platformMessageBox
#include "platform/report.h"         // LOADER_WARNING
#include "util/texture/image_file.h"  // LoadedImage, imageByteSize, readImageFile
#include <stdlib.h>
#include <string.h>

enum {
    TGA_SIGNATURE_BYTES = 12,
    TGA_SPEC_BYTES = 6,
    TGA_RLE_RUN_FLAG = 128,
};

static const uint8_t UNCOMPRESSED_SIGNATURE[TGA_SIGNATURE_BYTES] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
static const uint8_t RLE_SIGNATURE[TGA_SIGNATURE_BYTES] = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// The loader's messages; loadTga picks the box form by comparing against these.
static const char* const MSG_HEADER = "Could not read file header";
static const char* const MSG_TYPE = "TGA file be type 2 or type 10 ";
static const char* const MSG_INFO_HEADER = "Could not read info header";
static const char* const MSG_INVALID = "Invalid texture information";
static const char* const MSG_TOO_LARGE = "Image too large";
static const char* const MSG_MEMORY = "Could not allocate memory for image";
static const char* const MSG_IMAGE_DATA = "Could not read image data";
static const char* const MSG_RLE_HEADER = "Could not read RLE header";
static const char* const MSG_RUN_PIXEL = "Could not read from file";
static const char* const MSG_TOO_MANY = "Too many pixels read";

// Bounds-checked reader over the file's bytes: a read either gets all it asked for or fails.
struct TgaReader {
    const uint8_t* bytes;
    size_t size;
    size_t pos;
    const uint8_t* take(size_t count)
    {
        if (count > size - pos) return nullptr;
        const uint8_t* p = bytes + pos;
        pos += count;
        return p;
    }
};

static const char* fail(TgaImage* out, const char* message)
{
    free(out->pixels);
    out->pixels = nullptr;
    return message;
}

// Run-length body: packets run on across row ends; only pixels are counted.
static const char* decodeRle(TgaReader* in, TgaImage* out, size_t pixelCount, uint32_t bytesPerPixel)
{
    uint8_t* dst = out->pixels;
    size_t current = 0;
    while (current < pixelCount) {
        const uint8_t* header = in->take(1);
        if (!header) return fail(out, MSG_RLE_HEADER);
        if (header[0] < TGA_RLE_RUN_FLAG) {
            size_t count = (size_t)header[0] + 1;
            for (size_t i = 0; i < count; i++) {
                const uint8_t* px = in->take(bytesPerPixel);
                if (!px) return fail(out, MSG_IMAGE_DATA);
                if (current == pixelCount) return fail(out, MSG_TOO_MANY);
                dst[0] = px[2];
                dst[1] = px[1];
                dst[2] = px[0];
                if (bytesPerPixel == 4) dst[3] = px[3];
                dst += bytesPerPixel;
                current++;
            }
        } else {
            size_t count = (size_t)header[0] - 127;
            const uint8_t* px = in->take(bytesPerPixel);
            if (!px) return fail(out, MSG_RUN_PIXEL);
            for (size_t i = 0; i < count; i++) {
                if (current == pixelCount) return fail(out, MSG_TOO_MANY);
                dst[0] = px[2];
                dst[1] = px[1];
                dst[2] = px[0];
                if (bytesPerPixel == 4) dst[3] = px[3];
                dst += bytesPerPixel;
                current++;
            }
        }
    }
    return nullptr;
}

const char* decodeTga(const uint8_t* bytes, size_t size, TgaImage* out)
{
    out->pixels = nullptr;
    out->width = out->height = out->bitsPerPixel = 0;
    TgaReader in = {bytes, size, 0};

    const uint8_t* signature = in.take(TGA_SIGNATURE_BYTES);
    if (!signature) return MSG_HEADER;
    bool compressed;
    if (memcmp(signature, UNCOMPRESSED_SIGNATURE, TGA_SIGNATURE_BYTES) == 0) compressed = false;
    else if (memcmp(signature, RLE_SIGNATURE, TGA_SIGNATURE_BYTES) == 0) compressed = true;
    else return MSG_TYPE;

    const uint8_t* spec = in.take(TGA_SPEC_BYTES);
    if (!spec) return MSG_INFO_HEADER;
    out->width = spec[0] + 256u * spec[1];
    out->height = spec[2] + 256u * spec[3];
    out->bitsPerPixel = spec[4];
    if (out->width == 0 || out->height == 0 || (out->bitsPerPixel != 24 && out->bitsPerPixel != 32))
        return MSG_INVALID;
    uint32_t bytesPerPixel = out->bitsPerPixel / 8;
    size_t imageSize = imageByteSize(out->width, out->height, bytesPerPixel);
    if (imageSize == 0) return MSG_TOO_LARGE;

    if (!compressed) {
        // A short body is known before anything is allocated.
        const uint8_t* body = in.take(imageSize);
        if (!body) return MSG_IMAGE_DATA;
        out->pixels = (uint8_t*)malloc(imageSize);
        if (!out->pixels) return MSG_MEMORY;
        for (size_t i = 0; i < imageSize; i += bytesPerPixel) {
            out->pixels[i] = body[i + 2];
            out->pixels[i + 1] = body[i + 1];
            out->pixels[i + 2] = body[i];
            if (bytesPerPixel == 4) out->pixels[i + 3] = body[i + 3];
        }
        return nullptr;
    }
    out->pixels = (uint8_t*)malloc(imageSize);
    if (!out->pixels) return MSG_MEMORY;
    return decodeRle(&in, out, imageSize / bytesPerPixel, bytesPerPixel);
}

bool loadTga(const char* fileName, LoadedImage& texture)
{
    std::vector<uint8_t> bytes;
    if (!readImageFile(fileName, &bytes)) {
        platformMessageBox("Could not open texture file", "ERROR", BOX_OK);
        return false;
    }
    TgaImage image;
    const char* message = decodeTga(bytes.data(), bytes.size(), &image);
    if (image.width || image.height || image.bitsPerPixel) {
        texture.width = image.width;
        texture.height = image.height;
        texture.bitsPerPixel = image.bitsPerPixel;
    }
    if (message == MSG_TYPE) {
        platformMessageBox(message, "Invalid Image", BOX_OK);
        return false;
    }
    if (message == MSG_INVALID) {
        LOADER_WARNING("%s", message);
        return false;
    }
    if (message) {
        platformMessageBox(message, "ERROR", BOX_OK);
        return false;
    }
    texture.format = image.bitsPerPixel == 32 ? GL_RGBA : GL_RGB;
    texture.imageData = image.pixels;
    return true;
}

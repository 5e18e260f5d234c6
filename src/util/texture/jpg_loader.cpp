// jpg_loader: JPEG images into a LoadedImage, decoded by libjpeg.
//
// Accepts what libjpeg decodes to RGB: baseline and progressive, colour and grey-scale (grey comes
// out with three equal channels), also when libjpeg decodes it with a warning (extraneous bytes
// before a marker, a premature end it pads with grey): the picture is shown and the first warning
// goes to standard error with the file's name. Refuses, as a fatal report naming libjpeg's
// message: libjpeg errors; images beyond the texture limits.
// libjpeg's own error handler would print and exit; here errors jump back to the decoder instead.
// Output: 24-bit R, G, B, bottom row first, written straight into the texture's bytes; the
// ImageBuffer form (one int per channel) is kept for readJpeg.
#include "util/texture/jpg_loader.h"

#include "platform/report.h"           // FATAL
#include "util/texture/image_buffer.h" // ImageBuffer
#include "util/texture/image_file.h"   // LoadedImage, imageByteSize, readImageFile
#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <vector>
#include <jpeglib.h> // after stdio.h, which it needs

struct JpegErrorManager {
    jpeg_error_mgr base; // first, so libjpeg's pointer is also ours
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    char warning[JMSG_LENGTH_MAX]; // the first warning; empty without one
};

// The last refusal, returned by decodeJpeg.
static char s_message[JMSG_LENGTH_MAX + 64];

static void jpegErrorExit(j_common_ptr info)
{
    JpegErrorManager* err = (JpegErrorManager*)info->err;
    (*info->err->format_message)(info, err->message);
    longjmp(err->jump, 1);
}

// Warnings (level -1): the first is kept for the caller, as libjpeg itself shows only the first;
// the decode goes on. Trace messages are ignored.
static void jpegEmitMessage(j_common_ptr info, int level)
{
    if (level >= 0) return;
    JpegErrorManager* err = (JpegErrorManager*)info->err;
    if (info->err->num_warnings++ == 0) (*info->err->format_message)(info, err->warning);
}

// The one libjpeg pass behind both decodes. Rows go into `image` (one int per channel, top row
// first) or, with `image` null, into a new block at *rgb (R, G, B bytes, bottom row first) of
// *width x *height. Rows libjpeg does not deliver stay zero in either.
static const char* decodeRows(const uint8_t* bytes, size_t size, ImageBuffer* image, uint8_t** rgb, int* width,
                              int* height, std::string* warning)
{
    if (image) image->release();
    if (rgb) *rgb = nullptr;
    if (warning) warning->clear();
    if (size == 0) return "Empty JPEG file";
    jpeg_decompress_struct info;
    JpegErrorManager err;
    info.err = jpeg_std_error(&err.base);
    err.base.error_exit = jpegErrorExit;
    err.base.emit_message = jpegEmitMessage;
    err.message[0] = 0;
    err.warning[0] = 0;
    uint8_t* volatile out = nullptr; // changed after setjmp, read after a longjmp
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&info);
        if (image) image->release();
        free(out);
        snprintf(s_message, sizeof s_message, "%s", err.message);
        return s_message;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes, (unsigned long)size);
    jpeg_read_header(&info, TRUE);
    const size_t outBytes = imageByteSize(info.image_width, info.image_height, 3);
    if (outBytes == 0) {
        jpeg_destroy_decompress(&info);
        snprintf(s_message, sizeof s_message, "Image too large: %u x %u", info.image_width, info.image_height);
        return s_message;
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    const int w = (int)info.output_width, h = (int)info.output_height;
    const size_t rowBytes = (size_t)w * 3;
    bool allocated = info.output_components == 3 && (size_t)w * (size_t)h * 3 == outBytes;
    if (allocated && image) allocated = image->allocate(w, h);
    if (allocated && !image) allocated = (out = (uint8_t*)malloc(outBytes)) != nullptr;
    if (!allocated) {
        jpeg_destroy_decompress(&info);
        if (image) image->release();
        return "Could not allocate memory for image";
    }
    // Into the ImageBuffer one scanline at a time through libjpeg's pool (freed by
    // jpeg_destroy_decompress on every path); into the bytes in place, each row where it belongs.
    JSAMPARRAY row = image ? (*info.mem->alloc_sarray)((j_common_ptr)&info, JPOOL_IMAGE, (JDIMENSION)rowBytes, 1)
                           : nullptr;
    while (info.output_scanline < info.output_height) {
        const int j = (int)info.output_scanline;
        JSAMPROW target = image ? row[0] : out + (size_t)(h - 1 - j) * rowBytes;
        if (jpeg_read_scanlines(&info, &target, 1) != 1) break;
        if (!image) continue;
        const JSAMPLE* p = target;
        for (int k = 0; k < w; k++, p += 3) image->setPixel(k, j, p[0], p[2], p[1]);
    }
    // Rows never delivered: the bottom ones, which come first in the bytes.
    if (!image) memset(out, 0, (size_t)(h - (int)info.output_scanline) * rowBytes);
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    if (warning) *warning = err.warning;
    if (rgb) {
        *rgb = out;
        *width = w;
        *height = h;
    }
    return nullptr;
}

const char* decodeJpeg(const uint8_t* bytes, size_t size, ImageBuffer* image, std::string* warning)
{
    return decodeRows(bytes, size, image, nullptr, nullptr, nullptr, warning);
}

const char* decodeJpegRgb(const uint8_t* bytes, size_t size, uint8_t** rgb, int* width, int* height,
                          std::string* warning)
{
    return decodeRows(bytes, size, nullptr, rgb, width, height, warning);
}

// Reads a file and decodes it as decodeRows does; a libjpeg error is fatal, a warning is shown.
// False when the file cannot be opened.
static bool decodeFile(const char* fileName, ImageBuffer* image, uint8_t** rgb, int* width, int* height)
{
    std::vector<uint8_t> bytes;
    if (!readImageFile(fileName, &bytes)) return false;
    std::string warning;
    const char* message = decodeRows(bytes.data(), bytes.size(), image, rgb, width, height, &warning);
    if (message) FATAL("Could not decode JPEG file %s: %s", fileName, message);
    if (!warning.empty()) fprintf(stderr, "JPEG file %s decoded with a warning: %s\n", fileName, warning.c_str());
    return true;
}

bool ImageBuffer::readJpeg(const char* fileName)
{
    return decodeFile(fileName, this, nullptr, nullptr, nullptr);
}

bool loadJpg(const char* fileName, LoadedImage& texture)
{
    uint8_t* rgb = nullptr;
    int width = 0, height = 0;
    if (!decodeFile(fileName, nullptr, &rgb, &width, &height)) return false;
    texture.width = (uint32_t)width;
    texture.height = (uint32_t)height;
    texture.bitsPerPixel = 24;
    texture.format = GL_RGB;
    texture.imageData = rgb;
    return true;
}

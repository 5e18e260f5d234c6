// jpg_loader: JPEG images into a LoadedImage, decoded by libjpeg.
//
// Accepts what libjpeg decodes to RGB: baseline and progressive, colour and grey-scale (grey comes
// out with three equal channels), also when libjpeg decodes it with a warning (extraneous bytes
// before a marker, a premature end it pads with grey): the picture is shown and the first warning
// goes to standard error with the file's name. Refuses, as a fatal report naming libjpeg's
// message: libjpeg errors; images beyond the texture limits.
// libjpeg's own error handler would print and exit; here errors jump back to the decoder instead.
// Output: 24-bit R, G, B through ImageBuffer, bottom row first.
#include "util/texture/jpg_loader.h"

#include "platform/report.h"           // FATAL, LOADER_WARNING
#include "util/texture/image_buffer.h" // ImageBuffer
#include "util/texture/image_file.h"   // LoadedImage, imageByteSize, readImageFile
#include <setjmp.h>
#include <stdio.h>
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

const char* decodeJpeg(const uint8_t* bytes, size_t size, ImageBuffer* image, std::string* warning)
{
    image->release();
    if (warning) warning->clear();
    if (size == 0) return "Empty JPEG file";
    jpeg_decompress_struct info;
    JpegErrorManager err;
    info.err = jpeg_std_error(&err.base);
    err.base.error_exit = jpegErrorExit;
    err.base.emit_message = jpegEmitMessage;
    err.message[0] = 0;
    err.warning[0] = 0;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&info);
        image->release();
        snprintf(s_message, sizeof s_message, "%s", err.message);
        return s_message;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes, (unsigned long)size);
    jpeg_read_header(&info, TRUE);
    if (imageByteSize(info.image_width, info.image_height, 3) == 0) {
        jpeg_destroy_decompress(&info);
        snprintf(s_message, sizeof s_message, "Image too large: %u x %u", info.image_width, info.image_height);
        return s_message;
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    if (info.output_components != 3 || !image->allocate((int)info.output_width, (int)info.output_height)) {
        jpeg_destroy_decompress(&info);
        image->release();
        return "Could not allocate memory for image";
    }
    // One scanline at a time, from libjpeg's pool (freed by jpeg_destroy_decompress on every path).
    JSAMPARRAY row = (*info.mem->alloc_sarray)((j_common_ptr)&info, JPOOL_IMAGE, info.output_width * 3, 1);
    while (info.output_scanline < info.output_height) {
        int j = (int)info.output_scanline;
        if (jpeg_read_scanlines(&info, row, 1) != 1) break;
        const JSAMPLE* p = row[0];
        for (int k = 0; k < (int)info.output_width; k++, p += 3) image->setPixel(k, j, p[0], p[2], p[1]);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    if (warning) *warning = err.warning;
    return nullptr;
}

bool ImageBuffer::readJpeg(const char* fileName)
{
    std::vector<uint8_t> bytes;
    if (!readImageFile(fileName, &bytes)) return false;
    std::string warning;
    const char* message = decodeJpeg(bytes.data(), bytes.size(), this, &warning);
    if (message) FATAL("Could not decode JPEG file %s: %s", fileName, message);
    if (!warning.empty()) fprintf(stderr, "JPEG file %s decoded with a warning: %s\n", fileName, warning.c_str());
    return true;
}

bool loadJpg(const char* fileName, LoadedImage& texture)
{
    ImageBuffer image;
    if (!image.readJpeg(fileName)) return false;
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

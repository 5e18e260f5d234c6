// JPEG loader: grey to RGB, row order, libjpeg's warnings (shown) and errors (a fatal report).
#include "test_support.h"
#include "util/texture/image_buffer.h"
#include "util/texture/jpg_loader.h"
#include "util/texture/texture.h"
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <vector>
#include <jpeglib.h>

typedef std::vector<uint8_t> Bytes;

namespace {

// Encodes a picture with libjpeg: top half `top`, bottom half `bottom` (one value per channel; in
// colour, red takes that value, green too unless `green` is given, and blue is `blue`).
Bytes encodeJpeg(int width, int height, int components, uint8_t top, uint8_t bottom, bool progressive = false,
                 uint8_t blue = 0, int green = -1)
{
    jpeg_compress_struct info;
    jpeg_error_mgr err;
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = (JDIMENSION)width;
    info.image_height = (JDIMENSION)height;
    info.input_components = components;
    info.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    if (progressive) jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row((size_t)width * components);
    while (info.next_scanline < info.image_height) {
        uint8_t v = (int)info.next_scanline < height / 2 ? top : bottom;
        for (size_t i = 0; i < row.size(); i++) {
            int channel = components == 3 ? (int)(i % 3) : 0;
            row[i] = channel == 2 ? blue : channel == 1 && green >= 0 ? (uint8_t)green : v;
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    Bytes out(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    free(buffer);
    return out;
}

} // namespace

TEST(JpgLoader, GreyBecomesRgbWithTheTopRowLast)
{
    writeTestFile("grey.jpg", encodeJpeg(16, 16, 1, 230, 20));
    Texture texture;
    ASSERT_TRUE(loadJpg("grey.jpg", texture));
    EXPECT_EQ(texture.width, 16u);
    EXPECT_EQ(texture.height, 16u);
    EXPECT_EQ(texture.bitsPerPixel, 24u);
    EXPECT_EQ(texture.format, (GLenum)GL_RGB);
    const uint8_t* first = texture.imageData;                   // bottom of the picture
    const uint8_t* last = texture.imageData + 15 * 16 * 3;      // top of the picture
    EXPECT_EQ(first[0], first[1]);
    EXPECT_EQ(first[1], first[2]);
    EXPECT_NEAR(first[0], 20, 4);
    EXPECT_NEAR(last[0], 230, 4);
    EXPECT_EQ(last[0], last[2]);
    free(texture.imageData);
    texture.imageData = nullptr;
}

TEST(JpgLoader, ColourChannelsComeOutAsRgb)
{
    // Red and green equal, blue zero, in a progressive file.
    Bytes file = encodeJpeg(24, 8, 3, 200, 200, true);
    writeTestFile("progressive.jpg", file);
    writeTestFile("baseline.jpg", encodeJpeg(24, 16, 3, 40, 160));
    ImageBuffer image;
    ASSERT_EQ(decodeJpeg(file.data(), file.size(), &image), nullptr);
    uint8_t* rgb = image.toRgbBytes();
    EXPECT_NEAR(rgb[0], 200, 6);
    EXPECT_NEAR(rgb[1], 200, 6);
    EXPECT_NEAR(rgb[2], 0, 6);
    free(rgb);

    // Three different channels: any two swapped on the way to the texture shows.
    file = encodeJpeg(16, 16, 3, 20, 20, false, 230, 120);
    writeTestFile("bluish.jpg", file);
    Texture texture;
    ASSERT_TRUE(loadJpg("bluish.jpg", texture));
    ASSERT_EQ(decodeJpeg(file.data(), file.size(), &image), nullptr);
    rgb = image.toRgbBytes();
    for (const uint8_t* p : {(const uint8_t*)rgb, (const uint8_t*)texture.imageData}) {
        EXPECT_NEAR(p[0], 20, 6);
        EXPECT_NEAR(p[1], 120, 6);
        EXPECT_NEAR(p[2], 230, 6);
    }
    free(rgb);
    free(texture.imageData);
    texture.imageData = nullptr;
}

TEST(JpgLoader, WarningsAreShownOnStandardErrorErrorsAreRefused)
{
    Bytes file = encodeJpeg(64, 64, 3, 90, 180);
    ImageBuffer image;
    // Cut in the middle of the scan: libjpeg pads with grey and warns; the top rows are there.
    Bytes cut(file.begin(), file.end() - 10);
    std::string warning;
    const char* cutMessage = decodeJpeg(cut.data(), cut.size(), &image, &warning);
    EXPECT_EQ(cutMessage, nullptr) << cutMessage;
    EXPECT_EQ(image.width, 64);
    EXPECT_NE(warning.find("Premature end of JPEG file"), std::string::npos) << warning;
    EXPECT_NEAR(image.rgbRows[0][0], 90, 4);
    // Bytes between the scan and the end marker: a warning as well.
    Bytes extra(file.begin(), file.end() - 2);
    extra.insert(extra.end(), 40, 0x12); // the entropy decoder reads a few ahead, libjpeg skips the rest
    extra.insert(extra.end(), {0xFF, 0xD9});
    EXPECT_EQ(decodeJpeg(extra.data(), extra.size(), &image, &warning), nullptr);
    EXPECT_NE(warning.find("extraneous bytes before marker 0xd9"), std::string::npos) << "[" << warning << "]";
    EXPECT_EQ(decodeJpeg(file.data(), file.size(), &image, &warning), nullptr);
    EXPECT_EQ(warning, "");

    // Through the loader: the picture, with the warning and the file's name on standard error.
    writeTestFile("cut.jpg", cut);
    Texture texture;
    testing::internal::CaptureStderr();
    EXPECT_TRUE(loadJpg("cut.jpg", texture));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("JPEG file cut.jpg decoded with a warning: Premature end of JPEG file"), std::string::npos) << err;
    EXPECT_EQ(texture.width, 64u);
    free(texture.imageData);
    texture.imageData = nullptr;

    // libjpeg errors stay fatal reports.
    Bytes garbage(200, 0x5A);
    EXPECT_NE(decodeJpeg(garbage.data(), garbage.size(), &image), nullptr);
    EXPECT_EQ(image.width, 0);
    EXPECT_NE(decodeJpeg(nullptr, 0, &image), nullptr);
    writeTestFile("junk.jpeg", garbage);
    EXPECT_EXIT(texture.load("junk.jpeg", GL_LINEAR, GL_LINEAR, false, false), testing::ExitedWithCode(1),
                "Could not decode JPEG file junk.jpeg: Not a JPEG file");
    EXPECT_EXIT(texture.load("nothing.jpg", GL_LINEAR, GL_LINEAR, false, false), testing::ExitedWithCode(1),
                "Failed to load image nothing.jpg!");
}

// The loader writes libjpeg's rows straight into the texture's bytes: they must be the bytes the
// ImageBuffer form gives (row order, channel order, rows a cut file never delivered), and a file
// refused by one is refused by the other with nothing left allocated.
TEST(JpgLoader, TextureBytesAreTheImageBuffersBytes)
{
    Bytes colour = encodeJpeg(24, 16, 3, 40, 160, false, 230, 120);
    Bytes cut(colour.begin(), colour.end() - 10);
    const Bytes files[] = {encodeJpeg(16, 16, 1, 230, 20), encodeJpeg(24, 8, 3, 200, 90, true), colour, cut};
    for (const Bytes& file : files) {
        ImageBuffer image;
        ASSERT_EQ(decodeJpeg(file.data(), file.size(), &image), nullptr);
        uint8_t* expected = image.toRgbBytes();
        uint8_t* rgb = nullptr;
        int width = 0, height = 0;
        ASSERT_EQ(decodeJpegRgb(file.data(), file.size(), &rgb, &width, &height), nullptr);
        ASSERT_EQ(width, image.width);
        ASSERT_EQ(height, image.height);
        EXPECT_EQ(memcmp(rgb, expected, (size_t)width * height * 3), 0);
        free(expected);
        free(rgb);
    }
    Bytes garbage(200, 0x5A);
    uint8_t* rgb = (uint8_t*)1;
    int width = 0, height = 0;
    EXPECT_NE(decodeJpegRgb(garbage.data(), garbage.size(), &rgb, &width, &height), nullptr);
    EXPECT_EQ(rgb, nullptr);
    // Cut inside the tables: refused by both.
    Bytes header(colour.begin(), colour.begin() + 100);
    ImageBuffer image;
    EXPECT_NE(decodeJpeg(header.data(), header.size(), &image), nullptr);
    EXPECT_NE(decodeJpegRgb(header.data(), header.size(), &rgb, &width, &height), nullptr);
    EXPECT_EQ(rgb, nullptr);
    free(rgb);
}

// BMP loader: row order and padding, refused variants, truncation, the ImageBuffer conversion.
#include "texture_images.h"
#include "test_support.h"
#include "util/texture/bmp_loader.h"
#include "util/texture/image_buffer.h"
#include "util/texture/texture.h"
#include <gtest/gtest.h>
#include <stdlib.h>

using namespace testimg;

namespace {

// The 2 x 2 picture: bottom row blue, red; top row green, white; rows padded to 8 bytes.
Bytes twoByTwoBody()
{
    return {0xFF, 0, 0, 0, 0, 0xFF, 0, 0, 0, 0xFF, 0, 0xFF, 0xFF, 0xFF, 0, 0};
}

} // namespace

TEST(BmpLoader, BottomRowFirstAsRgb)
{
    writeTestFile("four.bmp", bmpFile(2, 2, 24, 0, 16, twoByTwoBody()));
    Texture texture;
    ASSERT_TRUE(loadBmp("four.bmp", texture));
    EXPECT_EQ(texture.width, 2u);
    EXPECT_EQ(texture.height, 2u);
    EXPECT_EQ(texture.bitsPerPixel, 24u);
    EXPECT_EQ(texture.format, (GLenum)GL_RGB);
    EXPECT_EQ(Bytes(texture.imageData, texture.imageData + 12),
              Bytes({0, 0, 0xFF, 0xFF, 0, 0, 0, 0xFF, 0, 0xFF, 0xFF, 0xFF}));
    free(texture.imageData);
    texture.imageData = nullptr;
}

TEST(BmpLoader, ZeroImageSizeUsesFourBytePadding)
{
    // 3 x 2: rows of 9 bytes padded to 12; the header leaves the image size 0.
    Bytes body;
    for (int row = 0; row < 2; row++) {
        for (int x = 0; x < 3; x++) body.insert(body.end(), {(uint8_t)(x + 10 * row), 0, 0});
        body.insert(body.end(), {0xEE, 0xEE, 0xEE});
    }
    ImageBuffer image;
    Bytes file = bmpFile(3, 2, 24, 0, 0, body);
    ASSERT_EQ(decodeBmp(file.data(), file.size(), &image), BMP_OK);
    uint8_t* rgb = image.toRgbBytes();
    // Second stored row (the top) follows the first; no padding byte leaks into a pixel.
    EXPECT_EQ(Bytes(rgb, rgb + 18), Bytes({0, 0, 0, 0, 0, 1, 0, 0, 2, 0, 0, 10, 0, 0, 11, 0, 0, 12}));
    free(rgb);
}

TEST(BmpLoader, RefusesOtherVariants)
{
    ImageBuffer image;
    Bytes body(64, 0);
    struct { int bits, compression, used, important, height; } cases[] = {
        {32, 0, 0, 0, 2}, {8, 0, 0, 0, 2}, {24, 1, 0, 0, 2}, {24, 0, 4, 4, 2}, {24, 0, 0, 0, -2}};
    for (auto& c : cases) {
        Bytes file = bmpFile(2, c.height, c.bits, c.compression, 0, body, c.used, c.important);
        EXPECT_EQ(decodeBmp(file.data(), file.size(), &image), BMP_UNSUPPORTED) << c.bits << " " << c.compression;
    }
    Bytes notBmp = bmpFile(2, 2, 24, 0, 16, twoByTwoBody());
    notBmp[0] = 'X';
    EXPECT_EQ(decodeBmp(notBmp.data(), notBmp.size(), &image), BMP_UNSUPPORTED);
    // Larger than the texture limits, with no pixel data to speak of.
    Bytes huge = bmpFile(20000, 20000, 24, 0, 0, body);
    EXPECT_EQ(decodeBmp(huge.data(), huge.size(), &image), BMP_UNSUPPORTED);

    writeTestFile("palette.bmp", bmpFile(2, 2, 8, 0, 0, body));
    Texture texture;
    EXPECT_EXIT(texture.load("palette.bmp", GL_LINEAR, GL_LINEAR, false, false), testing::ExitedWithCode(1),
                "Failed to load image palette.bmp!");
}

TEST(BmpLoader, TruncationIsCodeFour)
{
    ImageBuffer image;
    Bytes file = bmpFile(2, 2, 24, 0, 16, twoByTwoBody());
    for (size_t cut : {(size_t)0, (size_t)20, (size_t)54, file.size() - 4}) {
        Bytes shortFile(file.begin(), file.begin() + cut);
        EXPECT_EQ(decodeBmp(shortFile.data(), shortFile.size(), &image), BMP_TRUNCATED) << cut;
        EXPECT_EQ(image.width, 0);
    }
    // The last row needs no trailing padding.
    Bytes exact(file.begin(), file.end() - 2);
    EXPECT_EQ(decodeBmp(exact.data(), exact.size(), &image), BMP_OK);
    // Pixel data said to start past the end.
    Bytes farOffset = file;
    farOffset[10] = 0xFF;
    EXPECT_EQ(decodeBmp(farOffset.data(), farOffset.size(), &image), BMP_SEEK_FAILED);
    // Zero width reads nothing and the loader reports it.
    writeTestFile("empty.bmp", bmpFile(0, 2, 24, 0, 0, Bytes()));
    Texture texture;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(loadBmp("empty.bmp", texture));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Invalid texture information"), std::string::npos);
}

TEST(ImageBufferTest, SetPixelIgnoresOutsideAndConvertsChannelOrder)
{
    ImageBuffer image;
    ASSERT_TRUE(image.allocate(2, 1));
    image.setPixel(0, 0, 1, 3, 2); // red, blue, green
    image.setPixel(2, 0, 9, 9, 9);
    image.setPixel(-1, 0, 9, 9, 9);
    image.setPixel(0, 1, 9, 9, 9);
    uint8_t* rgb = image.toRgbBytes();
    EXPECT_EQ(Bytes(rgb, rgb + 6), Bytes({1, 2, 3, 0, 0, 0}));
    free(rgb);
    EXPECT_FALSE(image.allocate(IMAGE_MAX_SIDE + 1, 1));
    EXPECT_EQ(image.toRgbBytes(), nullptr);
}

// TGA loader: byte order, run-length packets across rows, overruns, refused headers, truncation.
#include "texture_images.h"
#include "test_support.h"
#include "util/texture/texture.h"
#include "util/texture/tga_loader.h"
#include <gtest/gtest.h>
#include <stdlib.h>

using namespace testimg;

namespace {

Bytes join(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Loads through loadTga and returns the stderr text; the pixels land in `texture`.
std::string loadCapturing(const char* name, const Bytes& file, Texture& texture, bool* ok)
{
    writeTestFile(name, file);
    testing::internal::CaptureStderr();
    *ok = loadTga(name, texture);
    return testing::internal::GetCapturedStderr();
}

} // namespace

TEST(TgaLoader, UncompressedSwapsBlueAndRedAndKeepsRowOrder)
{
    Texture texture;
    bool ok;
    loadCapturing("two.tga", join(tgaHeader(2, 2, 1, 24), {10, 20, 30, 40, 50, 60}), texture, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(Bytes(texture.imageData, texture.imageData + 6), Bytes({30, 20, 10, 60, 50, 40}));
    EXPECT_EQ(texture.format, (GLenum)GL_RGB);
    EXPECT_EQ(texture.bitsPerPixel, 24u);
    free(texture.imageData);
    texture.imageData = nullptr;

    // 32 bits, two rows, top-left origin flag set: rows still come out in file order.
    Bytes header = tgaHeader(2, 1, 2, 32);
    header[17] = 0x28;
    loadCapturing("rows.tga", join(header, {1, 2, 3, 4, 5, 6, 7, 8}), texture, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(Bytes(texture.imageData, texture.imageData + 8), Bytes({3, 2, 1, 4, 7, 6, 5, 8}));
    EXPECT_EQ(texture.format, (GLenum)GL_RGBA);
    free(texture.imageData);
    texture.imageData = nullptr;
}

TEST(TgaLoader, RunLengthPacketsRunAcrossRows)
{
    TgaImage image;
    // A run of four copies.
    Bytes run = join(tgaHeader(10, 4, 1, 32), {0x83, 1, 2, 3, 4});
    ASSERT_EQ(decodeTga(run.data(), run.size(), &image), nullptr);
    for (int i = 0; i < 4; i++) EXPECT_EQ(Bytes(image.pixels + i * 4, image.pixels + i * 4 + 4), Bytes({3, 2, 1, 4}));
    free(image.pixels);

    // 3 x 2 image: a raw packet of two, a run of three crossing into the second row, a raw one.
    Bytes mixed = join(tgaHeader(10, 3, 2, 24), {0x01, 1, 2, 3, 4, 5, 6, 0x82, 7, 8, 9, 0x00, 10, 11, 12});
    writeTestFile("rle24.tga", mixed);
    writeTestFile("rle32.tga", run);
    ASSERT_EQ(decodeTga(mixed.data(), mixed.size(), &image), nullptr);
    EXPECT_EQ(Bytes(image.pixels, image.pixels + 18),
              Bytes({3, 2, 1, 6, 5, 4, 9, 8, 7, 9, 8, 7, 9, 8, 7, 12, 11, 10}));
    free(image.pixels);
}

TEST(TgaLoader, PacketsPastTheImageFailWithoutOverrun)
{
    TgaImage image;
    // Run of 3 into a 2-pixel image; raw packet of 3 likewise.
    Bytes run = join(tgaHeader(10, 2, 1, 24), {0x82, 1, 2, 3});
    EXPECT_STREQ(decodeTga(run.data(), run.size(), &image), "Too many pixels read");
    EXPECT_EQ(image.pixels, nullptr);
    Bytes raw = join(tgaHeader(10, 2, 1, 24), {0x02, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    EXPECT_STREQ(decodeTga(raw.data(), raw.size(), &image), "Too many pixels read");
    // A huge image that the packets never fill.
    Bytes big = join(tgaHeader(10, 4000, 4000, 32), {0xFF, 1, 2, 3, 4});
    EXPECT_STREQ(decodeTga(big.data(), big.size(), &image), "Could not read RLE header");
    EXPECT_EQ(image.pixels, nullptr);
    Bytes shortRaw = join(tgaHeader(10, 2, 1, 24), {0x01, 1, 2, 3, 4});
    EXPECT_STREQ(decodeTga(shortRaw.data(), shortRaw.size(), &image), "Could not read image data");
    Bytes shortRun = join(tgaHeader(10, 2, 1, 24), {0x81, 1, 2});
    EXPECT_STREQ(decodeTga(shortRun.data(), shortRun.size(), &image), "Could not read from file");
}

TEST(TgaLoader, RefusedHeadersShowTheirMessages)
{
    Texture texture;
    bool ok;
    Bytes body = {1, 2, 3};
    // Image ID, colour map, grey type, colour-mapped type, non-zero origin.
    std::vector<Bytes> refused;
    for (int offset : {0, 1, 2, 8, 10}) {
        Bytes h = tgaHeader(2, 1, 1, 24);
        h[offset] = offset == 2 ? 3 : 1;
        refused.push_back(join(h, body));
    }
    for (const Bytes& file : refused) {
        std::string err = loadCapturing("bad.tga", file, texture, &ok);
        EXPECT_FALSE(ok);
        EXPECT_NE(err.find("TGA file be type 2 or type 10 "), std::string::npos);
        EXPECT_NE(err.find("Invalid Image"), std::string::npos);
    }
    // 16 bits passes the signature but not the depth check; so does a zero width.
    std::string err = loadCapturing("deep.tga", join(tgaHeader(2, 1, 1, 16), body), texture, &ok);
    EXPECT_FALSE(ok);
    EXPECT_NE(err.find("Invalid texture information"), std::string::npos);
    EXPECT_NE(err.find("ERROR at src/util/texture/tga_loader.cpp:"), std::string::npos);
    err = loadCapturing("zero.tga", join(tgaHeader(2, 0, 1, 24), body), texture, &ok);
    EXPECT_NE(err.find("Invalid texture information"), std::string::npos);

    err = loadCapturing("header.tga", Bytes(11, 0), texture, &ok);
    EXPECT_NE(err.find("Could not read file header"), std::string::npos);
    Bytes header = tgaHeader(2, 1, 1, 24);
    err = loadCapturing("info.tga", Bytes(header.begin(), header.begin() + 15), texture, &ok);
    EXPECT_NE(err.find("Could not read info header"), std::string::npos);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(loadTga("absent.tga", texture));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Could not open texture file"), std::string::npos);
}

TEST(TgaLoader, TruncatedUncompressedLeavesNoBuffer)
{
    Texture texture;
    bool ok;
    std::string err = loadCapturing("cut.tga", join(tgaHeader(2, 2, 2, 24), Bytes(11, 7)), texture, &ok);
    EXPECT_FALSE(ok);
    EXPECT_NE(err.find("Could not read image data"), std::string::npos);
    EXPECT_EQ(texture.imageData, nullptr);
    EXPECT_EXIT(texture.load("cut.tga", GL_LINEAR, GL_LINEAR, false, false), testing::ExitedWithCode(1),
                "Failed to load image cut.tga!");
}

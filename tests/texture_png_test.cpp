// PNG decoder: colour types, filters, transparency, deflate block kinds, Adam7, refusals and
// hostile image data. Every file is written by the test's own encoder (texture_images.h).
#include "texture_images.h"
#include "test_support.h"
#include "util/texture/png_loader.h"
#include "util/texture/texture.h"
#include <gtest/gtest.h>
#include <stdlib.h>

using namespace testimg;

namespace {

// Deterministic bytes that compress somewhat (a gradient with noise).
Bytes patternBytes(size_t n, uint32_t seed)
{
    Bytes out(n);
    uint32_t s = seed;
    for (size_t i = 0; i < n; i++) {
        s = s * 1103515245u + 12345u;
        out[i] = (uint8_t)((i * 7 / 5) + ((s >> 16) & 7));
    }
    return out;
}

struct Decoded {
    int result;
    const char* error;
    int width, height;
    Bytes rgba;
};

Decoded decodePng(const Bytes& file)
{
    RawPngDecoder d;
    Decoded r;
    r.result = d.decodeMemory(file.data(), file.size());
    r.error = d.error;
    r.width = d.outputWidth;
    r.height = d.outputHeight;
    if (d.rgba) r.rgba.assign(d.rgba, d.rgba + (size_t)d.outputWidth * d.outputHeight * 4);
    return r;
}

// The RGBA the decoder must produce for 8-bit samples of a colour type (no transparency).
Bytes expectedRgba(int colorType, const Bytes& samples, const Bytes& palette = Bytes())
{
    Bytes out;
    int channels = channelsOf(colorType);
    for (size_t i = 0; i < samples.size(); i += channels) {
        const uint8_t* s = &samples[i];
        switch (colorType) {
        case 0: out.insert(out.end(), {s[0], s[0], s[0], 255}); break;
        case 2: out.insert(out.end(), {s[0], s[1], s[2], 255}); break;
        case 3: out.insert(out.end(), {palette[s[0] * 3], palette[s[0] * 3 + 1], palette[s[0] * 3 + 2], 255}); break;
        case 4: out.insert(out.end(), {s[0], s[0], s[0], s[1]}); break;
        case 6: out.insert(out.end(), {s[0], s[1], s[2], s[3]}); break;
        }
    }
    return out;
}

Bytes grayPalette(int entries)
{
    Bytes p;
    for (int i = 0; i < entries; i++) p.insert(p.end(), {(uint8_t)i, (uint8_t)(255 - i), (uint8_t)(i * 3)});
    return p;
}

} // namespace

TEST(PngDecoder, TwoByTwoRgbaRowsInFileOrderThenFlippedForTexture)
{
    PngSpec spec;
    spec.width = spec.height = 2;
    Bytes samples = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    Bytes file = makePng(spec, samples);
    Decoded d = decodePng(file);
    ASSERT_EQ(d.result, 1);
    EXPECT_EQ(d.error, nullptr);
    EXPECT_EQ(d.rgba, samples);

    writeTestFile("tiny.png", file);
    Texture texture;
    ASSERT_TRUE(loadPng("tiny.png", texture));
    EXPECT_EQ(texture.width, 2u);
    EXPECT_EQ(texture.height, 2u);
    EXPECT_EQ(texture.bitsPerPixel, 32u);
    EXPECT_EQ(texture.format, (GLenum)GL_RGBA);
    Bytes flipped(texture.imageData, texture.imageData + 16);
    EXPECT_EQ(flipped, Bytes({9, 10, 11, 12, 13, 14, 15, 16, 1, 2, 3, 4, 5, 6, 7, 8}));
    free(texture.imageData);
    texture.imageData = nullptr;
}

TEST(PngDecoder, EveryColourTypeAndFilterMatchesTheSamples)
{
    const int types[] = {0, 2, 3, 4, 6};
    for (int type : types) {
        for (int filter = -1; filter <= 4; filter++) {
            PngSpec spec;
            spec.width = 13;
            spec.height = 11;
            spec.colorType = type;
            spec.filter = filter;
            Bytes samples = patternBytes((size_t)13 * 11 * channelsOf(type), 7 + type);
            if (type == 3) {
                spec.palette = grayPalette(256);
            }
            Bytes file = makePng(spec, samples);
            if (filter == -1) writeTestFile("type" + std::to_string(type) + ".png", file);
            Decoded d = decodePng(file);
            ASSERT_EQ(d.result, 1);
            EXPECT_EQ(d.error, nullptr) << "type " << type << " filter " << filter;
            EXPECT_EQ(d.rgba, expectedRgba(type, samples, spec.palette)) << "type " << type << " filter " << filter;
        }
    }
}

TEST(PngDecoder, SubByteDepthsUnpackMostSignificantFirst)
{
    // Grey 1 bit: 10 pixels a row (two bytes, the last partly padding).
    PngSpec grey;
    grey.width = 10;
    grey.height = 2;
    grey.colorType = 0;
    grey.bitDepth = 1;
    Decoded g = decodePng(makePng(grey, {0xA5, 0x80, 0x01, 0x40}));
    ASSERT_EQ(g.error, nullptr);
    const int bits[20] = {1, 0, 1, 0, 0, 1, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1};
    for (int i = 0; i < 20; i++) {
        EXPECT_EQ(g.rgba[i * 4], bits[i] ? 255 : 0) << i;
        EXPECT_EQ(g.rgba[i * 4 + 3], 255);
    }
    // Palette 4 bits, high nibble first; index 5 lies past a 4-entry palette and stays cleared.
    PngSpec pal;
    pal.width = 3;
    pal.height = 1;
    pal.colorType = 3;
    pal.bitDepth = 4;
    pal.palette = {10, 11, 12, 20, 21, 22, 30, 31, 32, 40, 41, 42};
    Decoded p = decodePng(makePng(pal, {0x31, 0x50}));
    ASSERT_EQ(p.error, nullptr);
    EXPECT_EQ(p.rgba, Bytes({40, 41, 42, 255, 20, 21, 22, 255, 0, 0, 0, 0}));
}

TEST(PngDecoder, TransparencyKeysAndPaletteAlpha)
{
    // RGB key: exactly the matching pixel turns transparent.
    PngSpec rgb;
    rgb.width = 3;
    rgb.height = 1;
    rgb.colorType = 2;
    rgb.trns = {0, 10, 0, 20, 0, 30};
    Decoded r = decodePng(makePng(rgb, {10, 20, 30, 10, 20, 31, 0, 0, 0}));
    ASSERT_EQ(r.error, nullptr);
    EXPECT_EQ(r.rgba[3], 0);
    EXPECT_EQ(r.rgba[7], 255);
    EXPECT_EQ(r.rgba[11], 255);

    // Grey without tRNS is opaque; with a key only that value is transparent.
    PngSpec grey;
    grey.width = 4;
    grey.height = 1;
    grey.colorType = 0;
    Decoded opaque = decodePng(makePng(grey, {0, 7, 128, 255}));
    for (int i = 0; i < 4; i++) EXPECT_EQ(opaque.rgba[i * 4 + 3], 255);
    grey.trns = {0, 7};
    Decoded keyed = decodePng(makePng(grey, {0, 7, 128, 255}));
    EXPECT_EQ(keyed.rgba[3], 255);
    EXPECT_EQ(keyed.rgba[7], 0);
    EXPECT_EQ(keyed.rgba[11], 255);

    // Palette: one alpha per entry; entries past the tRNS list stay opaque.
    PngSpec pal;
    pal.width = 4;
    pal.height = 1;
    pal.colorType = 3;
    pal.palette = grayPalette(4);
    pal.trns = {0, 128, 255};
    Decoded p = decodePng(makePng(pal, {0, 1, 2, 3}));
    ASSERT_EQ(p.error, nullptr);
    EXPECT_EQ(p.rgba[3], 0);
    EXPECT_EQ(p.rgba[7], 128);
    EXPECT_EQ(p.rgba[11], 255);
    EXPECT_EQ(p.rgba[15], 255);
}

TEST(PngDecoder, StoredFixedAndDynamicBlocksDecodeAlike)
{
    // 300 x 300 RGBA is 360 KB of image data: more than one output flush, long-distance matches.
    PngSpec spec;
    spec.width = spec.height = 300;
    Bytes samples = patternBytes((size_t)300 * 300 * 4, 99);
    Bytes expected = expectedRgba(6, samples);
    PngSpec small;
    small.width = small.height = 9;
    small.mode = STORED;
    writeTestFile("stored.png", makePng(small, patternBytes(9 * 9 * 4, 3)));
    small.mode = FIXED;
    writeTestFile("fixed.png", makePng(small, patternBytes(9 * 9 * 4, 3)));
    const DeflateMode modes[] = {STORED, FIXED, DYNAMIC};
    for (DeflateMode mode : modes) {
        for (bool matches : {false, true}) {
            spec.mode = mode;
            spec.matches = matches;
            spec.blockBytes = mode == DYNAMIC ? 20000 : 65535;
            Decoded d = decodePng(makePng(spec, samples));
            EXPECT_EQ(d.error, nullptr) << mode;
            EXPECT_TRUE(d.rgba == expected) << "mode " << mode << " matches " << matches;
        }
    }
}

TEST(PngDecoder, LongCodesUseSecondLevelTables)
{
    // Bytes with a steep distribution give Huffman codes up to the 15-bit limit.
    Bytes samples((size_t)256 * 256);
    uint32_t s = 5;
    for (uint8_t& b : samples) {
        s = s * 1664525u + 1013904223u;
        uint32_t r = s >> 8;
        int k = 0;
        while ((r & 1) && k < 30) { r >>= 1; k++; }
        b = (uint8_t)(k * 9);
    }
    PngSpec spec;
    spec.width = spec.height = 256;
    spec.colorType = 0;
    spec.filter = 0;
    spec.matches = false;
    Bytes file = makePng(spec, samples);
    Decoded d = decodePng(file);
    ASSERT_EQ(d.error, nullptr);
    EXPECT_EQ(d.rgba, expectedRgba(0, samples));
}

TEST(PngDecoder, Adam7EqualsNonInterlaced)
{
    // Tiny sizes leave some passes empty; the stream then omits them.
    const int sizes[][2] = {{1, 1}, {2, 1}, {3, 2}, {4, 4}, {5, 5}, {8, 3}, {33, 17}};
    for (auto& size : sizes) {
        for (int type : {2, 6, 3}) {
            PngSpec spec;
            spec.width = size[0];
            spec.height = size[1];
            spec.colorType = type;
            if (type == 3) spec.palette = grayPalette(256);
            Bytes samples = patternBytes((size_t)size[0] * size[1] * channelsOf(type), size[0] + size[1]);
            Decoded plain = decodePng(makePng(spec, samples));
            spec.interlaced = true;
            Bytes interlacedFile = makePng(spec, samples);
            Decoded interlaced = decodePng(interlacedFile);
            EXPECT_EQ(plain.error, nullptr);
            EXPECT_EQ(interlaced.error, nullptr) << size[0] << "x" << size[1];
            EXPECT_EQ(plain.rgba, interlaced.rgba) << size[0] << "x" << size[1] << " type " << type;
            if (size[0] == 33) writeTestFile("interlaced" + std::to_string(type) + ".png", interlacedFile);
        }
    }
}

TEST(PngDecoder, SixteenBitRgbDecodesHighBytesButIsNoTexture)
{
    PngSpec spec;
    spec.width = 2;
    spec.height = 1;
    spec.colorType = 2;
    spec.bitDepth = 16;
    spec.trns = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
    Bytes file = makePng(spec, {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0x12, 0x35, 0x56, 0x78, 0x9A, 0xBC});
    Decoded d = decodePng(file);
    ASSERT_EQ(d.error, nullptr);
    EXPECT_EQ(d.rgba, Bytes({0x12, 0x56, 0x9A, 0, 0x12, 0x56, 0x9A, 255}));

    writeTestFile("deep.png", file);
    Texture texture;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(loadPng("deep.png", texture));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Invalid texture information"), std::string::npos);
    EXPECT_EQ(texture.imageData, nullptr);
}

TEST(PngDecoder, RefusesWrongSignatureAndBadPalette)
{
    PngSpec spec;
    spec.colorType = 3;
    spec.palette = {1, 2, 3, 4, 5, 6, 7}; // 7 bytes
    EXPECT_EQ(decodePng(makePng(spec, {0})).result, -1);
    spec.palette = Bytes(257 * 3, 0); // too many entries
    EXPECT_EQ(decodePng(makePng(spec, {0})).result, -1);

    Bytes file = makePng(PngSpec(), {1, 2, 3, 4});
    file[1] = 'Q';
    EXPECT_EQ(decodePng(file).result, -1);
    EXPECT_EQ(decodePng(Bytes()).result, -1);

    // Unsupported kinds produce no pixels: 2-bit grey, RGBA 16, an unknown colour type.
    const int kinds[][2] = {{0, 2}, {6, 16}, {5, 8}};
    for (auto& kind : kinds) {
        PngSpec other;
        other.colorType = kind[0] == 5 ? 6 : kind[0];
        other.bitDepth = kind[1];
        Bytes f = makePng(other, Bytes(8, 0));
        f[8 + 8 + 9] = (uint8_t)kind[0];
        Decoded d = decodePng(f);
        EXPECT_EQ(d.result, 1);
        EXPECT_EQ(d.width, 0);
        EXPECT_TRUE(d.rgba.empty());
    }
}

namespace {

// A PNG whose IDAT holds exactly the given zlib bytes.
Bytes pngWithImageData(int width, int height, int colorType, const Bytes& zlib)
{
    Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes ihdr;
    putBe32(ihdr, (uint32_t)width);
    putBe32(ihdr, (uint32_t)height);
    ihdr.insert(ihdr.end(), {8, (uint8_t)colorType, 0, 0, 0});
    addChunk(png, "IHDR", ihdr);
    addChunk(png, "IDAT", zlib);
    addChunk(png, "IEND", Bytes());
    return png;
}

} // namespace

TEST(PngDecoder, HostileImageDataEndsInAnError)
{
    Bytes raw = {0, 1, 2, 3, 0, 4, 5, 6}; // 2 rows of a 3x1... grey 3 wide: filter + 3 bytes each
    Bytes good = zlibCompress(raw, FIXED);
    EXPECT_EQ(decodePng(pngWithImageData(3, 2, 0, good)).error, nullptr);

    // Less data than the image, and more.
    EXPECT_NE(decodePng(pngWithImageData(3, 3, 0, good)).error, nullptr);
    EXPECT_NE(decodePng(pngWithImageData(3, 1, 0, good)).error, nullptr);
    // Cut-off stream.
    Bytes cut(good.begin(), good.begin() + good.size() - 6);
    EXPECT_NE(decodePng(pngWithImageData(3, 2, 0, cut)).error, nullptr);
    EXPECT_NE(decodePng(pngWithImageData(3, 2, 0, Bytes())).error, nullptr);
    // Unknown filter type 5.
    Bytes badFilter = raw;
    badFilter[0] = 5;
    EXPECT_NE(decodePng(pngWithImageData(3, 2, 0, zlibCompress(badFilter, STORED))).error, nullptr);

    // Hand-made streams: block type 3; stored length with a wrong complement; a fixed-code match
    // at distance 1 before any output; a dynamic header whose code lengths are over-subscribed.
    BitWriter type3;
    type3.put(0x78, 8); type3.put(0x01, 8);
    type3.put(1, 1); type3.put(3, 2); type3.align();
    EXPECT_NE(decodePng(pngWithImageData(3, 2, 0, type3.out)).error, nullptr);

    Bytes stored = zlibCompress(raw, STORED);
    stored[5] ^= 1; // NLEN
    EXPECT_NE(decodePng(pngWithImageData(3, 2, 0, stored)).error, nullptr);

    BitWriter far;
    far.put(0x78, 8); far.put(0x01, 8);
    far.put(1, 1); far.put(1, 2);
    far.putCode(1, 7);  // length symbol 257: 3 bytes
    far.putCode(0, 5);  // distance symbol 0: 1 byte back, before the start
    far.putCode(0, 7);  // end of block
    far.align();
    EXPECT_NE(decodePng(pngWithImageData(3, 2, 0, far.out)).error, nullptr);

    BitWriter over;
    over.put(0x78, 8); over.put(0x01, 8);
    over.put(1, 1); over.put(2, 2);
    over.put(0, 5); over.put(0, 5); over.put(15, 4);
    for (int i = 0; i < 19; i++) over.put(1, 3); // nineteen 1-bit codes
    over.put(0, 32);
    EXPECT_NE(decodePng(pngWithImageData(3, 2, 0, over.out)).error, nullptr);

    // Preset dictionary flag and a non-deflate method.
    Bytes dict = good;
    dict[1] |= 0x20;
    EXPECT_NE(decodePng(pngWithImageData(3, 2, 0, dict)).error, nullptr);
    Bytes method = good;
    method[0] = 0x79;
    EXPECT_NE(decodePng(pngWithImageData(3, 2, 0, method)).error, nullptr);
}

TEST(PngDecoder, OversizedHeaderIsRefusedBeforeAllocating)
{
    Bytes raw = {0, 1};
    Decoded d = decodePng(pngWithImageData(IMAGE_MAX_SIDE + 1, 1, 0, zlibCompress(raw, STORED)));
    EXPECT_EQ(d.width, 0);
    // 16384 x 16384 x 4 is 1 GiB: over the decoded-size limit.
    d = decodePng(pngWithImageData(IMAGE_MAX_SIDE, IMAGE_MAX_SIDE, 0, zlibCompress(raw, STORED)));
    EXPECT_EQ(d.width, 0);
    // Within the limits, but a few bytes of data could never inflate to 16 MB of rows.
    d = decodePng(pngWithImageData(4000, 4000, 0, zlibCompress(raw, STORED)));
    EXPECT_EQ(d.width, 0);
    EXPECT_NE(d.error, nullptr);
}

TEST(PngLoader, DataEndingEarlyKeepsItsRowsCorruptDataIsFatal)
{
    // Three of four rows of a 3 x 4 grey picture (filter byte, three pixels each): the loader
    // keeps them, the missing bottom row of the file stays clear (it is the texture's first row).
    Bytes raw = {0, 10, 20, 30, 0, 40, 50, 60, 0, 70, 80, 90};
    writeTestFile("short.png", pngWithImageData(3, 4, 0, zlibCompress(raw, FIXED)));
    Texture texture;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(loadPng("short.png", texture));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_EQ(texture.width, 3u);
    ASSERT_EQ(texture.height, 4u);
    const uint8_t* top = texture.imageData + 3 * 3 * 4; // the file's first row, last after the flip
    EXPECT_EQ(top[0], 10);
    EXPECT_EQ(top[3], 255);
    EXPECT_EQ(texture.imageData[0], 0);
    EXPECT_EQ(texture.imageData[3], 0);
    free(texture.imageData);
    texture.imageData = nullptr;

    // A deflate stream cut short (the stored block promises more than there is): the same.
    Bytes stored = zlibCompress(raw, STORED);
    stored.resize(stored.size() - 6);
    writeTestFile("cut.png", pngWithImageData(3, 4, 0, stored));
    ASSERT_TRUE(loadPng("cut.png", texture));
    free(texture.imageData);
    texture.imageData = nullptr;

    // Data after the last row stops the inflation quietly.
    Bytes longer = raw;
    longer.insert(longer.end(), {0, 1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9});
    writeTestFile("long.png", pngWithImageData(3, 3, 0, zlibCompress(longer, FIXED)));
    testing::internal::CaptureStderr();
    ASSERT_TRUE(loadPng("long.png", texture));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(texture.imageData[0], 70);
    free(texture.imageData);
    texture.imageData = nullptr;

    // Corrupt data (a block of the reserved type 3) stays refused: fatal through Texture::load.
    Bytes corrupt = {0x78, 0x01, 0x07, 0x00};
    writeTestFile("corrupt.png", pngWithImageData(3, 4, 0, corrupt));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(loadPng("corrupt.png", texture));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Invalid PNG image data: invalid block type"),
              std::string::npos);
    EXPECT_EXIT(texture.load("corrupt.png", GL_LINEAR, GL_LINEAR, false, false), testing::ExitedWithCode(1),
                "Failed to load image corrupt.png!");
    EXPECT_EXIT(texture.load("missing.png", GL_LINEAR, GL_LINEAR, false, false), testing::ExitedWithCode(1),
                "Failed to load image missing.png!");
}

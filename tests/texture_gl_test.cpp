// Texture objects under OpenGL (Xvfb, Mesa): extension dispatch, upload, filters, wrap, mipmaps,
// resize, the fatal misuses, and the picture's orientation on screen for every format.
#include "texture_images.h"
#include "test_support.h"
#include "util/texture/texture.h"
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

using namespace testimg;

namespace {

GLint texParameter(GLenum name)
{
    GLint value = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
    return value;
}

GLint levelWidth(int level)
{
    GLint value = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &value);
    return value;
}

// A 4 x 4 picture, top half red and bottom half blue, in each format.
void writeRedOverBlue()
{
    Bytes rgba;
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++) {
            if (y < 2) rgba.insert(rgba.end(), {255, 0, 0, 255});
            else rgba.insert(rgba.end(), {0, 0, 255, 255});
        }
    PngSpec spec;
    spec.width = spec.height = 4;
    writeTestFile("LOGO.PNG", makePng(spec, rgba));
    writeTestFile("logo.png", makePng(spec, rgba));
    // TGA and BMP store the bottom row first, blue-green-red.
    Bytes tga = tgaHeader(2, 4, 4, 24), bmp;
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++) {
            Bytes bgr = y < 2 ? Bytes{255, 0, 0} : Bytes{0, 0, 255};
            tga.insert(tga.end(), bgr.begin(), bgr.end());
            bmp.insert(bmp.end(), bgr.begin(), bgr.end());
        }
    writeTestFile("logo.tga", tga);
    writeTestFile("logo.bmp", bmpFile(4, 4, 24, 0, 48, bmp));
    // JPEG, top scanline first.
    jpeg_compress_struct info;
    jpeg_error_mgr err;
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = info.image_height = 16;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    jpeg_start_compress(&info, TRUE);
    uint8_t row[16 * 3];
    while (info.next_scanline < 16) {
        bool top = info.next_scanline < 8;
        for (int x = 0; x < 16; x++) {
            row[x * 3] = top ? 255 : 0;
            row[x * 3 + 1] = 0;
            row[x * 3 + 2] = top ? 0 : 255;
        }
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    writeTestFile("photo.JPEG", Bytes(buffer, buffer + size));
    jpeg_destroy_compress(&info);
    free(buffer);
}

// Draws the texture over the whole viewport (texture row 0 at the bottom) and reads it back.
Bytes drawTexture(const Texture& texture, int size)
{
    glViewport(0, 0, size, size);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture.textureId);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0); glVertex2f(-1, -1);
    glTexCoord2f(1, 0); glVertex2f(1, -1);
    glTexCoord2f(1, 1); glVertex2f(1, 1);
    glTexCoord2f(0, 1); glVertex2f(-1, 1);
    glEnd();
    glDisable(GL_TEXTURE_2D);
    return readTestPixels(0, 0, size, size);
}

} // namespace

TEST(TextureGl, EveryFormatUploadsUprightWithItsBottomRowFirst)
{
    REQUIRE_GL_WINDOW(64, 64);
    writeRedOverBlue();
    const char* names[] = {"LOGO.PNG", "logo.png", "logo.tga", "logo.bmp", "photo.JPEG"};
    Bytes sheet; // the five renderings side by side, for looking at
    const int size = 32;
    std::vector<Bytes> shots;
    for (const char* name : names) {
        Texture texture;
        ASSERT_TRUE(texture.load(name, GL_NEAREST, GL_NEAREST, false, false)) << name;
        EXPECT_EQ(texture.imageData, nullptr);
        EXPECT_NE(texture.textureId, 0u);
        Bytes px = drawTexture(texture, size);
        // Bottom-left pixel blue, top-left red.
        const uint8_t* bottom = &px[0];
        const uint8_t* top = &px[((size_t)(size - 1) * size) * 4];
        EXPECT_GT(bottom[2], 200) << name;
        EXPECT_LT(bottom[0], 60) << name;
        EXPECT_GT(top[0], 200) << name;
        EXPECT_LT(top[2], 60) << name;
        shots.push_back(px);
    }
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    // Picture: the renderings left to right, top row first.
    Bytes picture;
    for (int y = size - 1; y >= 0; y--)
        for (const Bytes& shot : shots) picture.insert(picture.end(), shot.begin() + (size_t)y * size * 4, shot.begin() + (size_t)(y + 1) * size * 4);
    PngSpec spec;
    spec.width = size * 5;
    spec.height = size;
    writeTestFile("orientation.png", makePng(spec, picture));
}

TEST(TextureGl, FiltersWrapAndMipmaps)
{
    REQUIRE_GL_WINDOW(64, 64);
    writeRedOverBlue();
    Texture plain;
    plain.load("logo.png", GL_NEAREST, GL_NEAREST, false, false);
    glBindTexture(GL_TEXTURE_2D, plain.textureId);
    EXPECT_EQ(texParameter(GL_TEXTURE_MIN_FILTER), GL_NEAREST);
    EXPECT_EQ(texParameter(GL_TEXTURE_MAG_FILTER), GL_NEAREST);
    EXPECT_EQ(texParameter(GL_TEXTURE_WRAP_S), GL_CLAMP_TO_EDGE);
    EXPECT_EQ(texParameter(GL_TEXTURE_WRAP_T), GL_CLAMP_TO_EDGE);
    EXPECT_EQ(texParameter(GL_GENERATE_MIPMAP), GL_FALSE);
    EXPECT_EQ(levelWidth(0), 4);
    EXPECT_EQ(plain.wrapMode, (GLenum)GL_CLAMP_TO_EDGE);

    // Mipmapped: trilinear whatever filters were asked for, and the maximum anisotropy on hardware.
    Texture mipmapped;
    mipmapped.load("logo.tga", GL_NEAREST, GL_NEAREST, true, true);
    glBindTexture(GL_TEXTURE_2D, mipmapped.textureId);
    EXPECT_EQ(texParameter(GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_LINEAR);
    EXPECT_EQ(texParameter(GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    EXPECT_EQ(texParameter(GL_TEXTURE_WRAP_S), GL_REPEAT);
    EXPECT_EQ(texParameter(GL_TEXTURE_WRAP_T), GL_REPEAT);
    GLfloat maxAnisotropy = 0, anisotropy = 0;
    glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &maxAnisotropy);
    glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, &anisotropy);
    bool software = textureRendererIsSoftware((const char*)glGetString(GL_RENDERER));
    EXPECT_EQ(anisotropy, software ? 1.0f : maxAnisotropy);
    // Mesa is no "ati " vendor, so the chain comes from glGenerateMipmapEXT: levels 1 and 2 exist.
    EXPECT_EQ(levelWidth(1), 2);
    EXPECT_EQ(levelWidth(2), 1);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(TextureGl, ResizeGivesAnEmptyTextureOfTheNewSize)
{
    REQUIRE_GL_WINDOW(64, 64);
    writeRedOverBlue();
    Texture texture;
    texture.load("logo.bmp", GL_LINEAR, GL_LINEAR, false, true);
    texture.resize(64, 16);
    EXPECT_NE(texture.textureId, 0u);
    EXPECT_EQ(texture.width, 64u);
    EXPECT_EQ(texture.height, 16u);
    EXPECT_FLOAT_EQ(texture.aspectRatio(), 4.0f);
    glBindTexture(GL_TEXTURE_2D, texture.textureId);
    EXPECT_EQ(levelWidth(0), 64);
    EXPECT_EQ(texParameter(GL_TEXTURE_WRAP_S), GL_REPEAT);

    // A framebuffer-style texture: no image, float components, created directly.
    Texture target;
    target.width = 512;
    target.height = 256;
    target.format = GL_RGBA;
    target.isFloat = true;
    EXPECT_TRUE(target.createGLTexture());
    EXPECT_FLOAT_EQ(target.aspectRatio(), 2.0f);
    GLuint id = target.textureId;
    target.~Texture();
    EXPECT_FALSE(glIsTexture(id));
    new (&target) Texture();
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(TextureGl, OddWidthRgbRowsUploadWithoutPadding)
{
    REQUIRE_GL_WINDOW(64, 64);
    // 3 x 2 pixels of 24 bits: rows of 9 bytes, not a multiple of four.
    Bytes tga = tgaHeader(2, 3, 2, 24);
    for (int i = 0; i < 18; i++) tga.push_back((uint8_t)(i * 13));
    writeTestFile("odd.tga", tga);
    Texture texture;
    texture.load("odd.tga", GL_NEAREST, GL_NEAREST, false, false);
    Bytes back(18);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, back.data());
    for (int p = 0; p < 6; p++) {
        EXPECT_EQ(back[p * 3], tga[18 + p * 3 + 2]) << p;
        EXPECT_EQ(back[p * 3 + 1], tga[18 + p * 3 + 1]) << p;
        EXPECT_EQ(back[p * 3 + 2], tga[18 + p * 3]) << p;
    }
    GLint alignment = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_EQ(alignment, 4); // left as it was
}

TEST(TextureGl, MisuseIsFatal)
{
    REQUIRE_GL_WINDOW(64, 64);
    writeRedOverBlue();
    EXPECT_EXIT(
        {
            Texture t;
            t.load("logo.png", GL_LINEAR, GL_LINEAR, false, false);
            t.createGLTexture();
        },
        testing::ExitedWithCode(1), "Attempt to create an already initialized texture!");
    EXPECT_EXIT(
        {
            Texture t;
            t.load("logo.png", GL_LINEAR, GL_LINEAR, false, false);
            t.imageData = (unsigned char*)malloc(4);
            t.resize(8, 8);
        },
        testing::ExitedWithCode(1), "Attempted to resize a texture with current imageData");
    EXPECT_EXIT(
        {
            Texture t;
            t.resize(8, 8);
        },
        testing::ExitedWithCode(1), "Attempted to resize a texture that is not initialized!");
    EXPECT_EXIT(
        {
            Texture t;
            t.aspectRatio();
        },
        testing::ExitedWithCode(1), "Invalid texture!");
    EXPECT_EXIT({ Texture t("missing.tga"); }, testing::ExitedWithCode(1), "Failed to load image missing.tga!");
}

TEST(TextureDispatch, UnsupportedExtensionsAndShortNames)
{
    writeTestFile("picture.gif", Bytes(16, 0));
    Texture texture;
    EXPECT_EXIT(texture.load("picture.gif", GL_LINEAR, GL_LINEAR, false, false), testing::ExitedWithCode(1),
                "Unsupported image format!(.|\n)*Sorry, image format .gif is not yet supported.\nTry .tga or .png."
                "(.|\n)*Failed to load image picture.gif!");
    EXPECT_EXIT(texture.load("ab", GL_LINEAR, GL_LINEAR, false, false), testing::ExitedWithCode(1),
                "Unsupported image format!(.|\n)*Failed to load image ab!");
    // ".jpeg" is matched on five characters, ".peg" alone is nothing.
    EXPECT_EXIT(texture.load("x.peg", GL_LINEAR, GL_LINEAR, false, false), testing::ExitedWithCode(1),
                "image format .peg is not yet supported");
}

TEST(TextureDispatch, VendorTest)
{
    EXPECT_TRUE(textureVendorIsAti("ATI Technologies Inc."));
    EXPECT_TRUE(textureVendorIsAti("some ATI board"));
    EXPECT_FALSE(textureVendorIsAti("Mesa"));
    EXPECT_FALSE(textureVendorIsAti("NVIDIA Corporation"));
    EXPECT_FALSE(textureVendorIsAti("Corporation for Graphics")); // "ation" then a letter, not a blank
    EXPECT_FALSE(textureVendorIsAti("Advanced Micro Devices, Inc."));
    EXPECT_FALSE(textureVendorIsAti(nullptr));
    EXPECT_TRUE(textureRendererIsSoftware("llvmpipe (LLVM 15.0.6, 256 bits)"));
    EXPECT_TRUE(textureRendererIsSoftware("Mesa X11 Software Rasterizer"));
    EXPECT_FALSE(textureRendererIsSoftware("NVIDIA GeForce RTX 3060/PCIe/SSE2"));
    EXPECT_FALSE(textureRendererIsSoftware(nullptr));
}

// A one-row picture of `pixels` in `format` (GL_RGB or GL_RGBA), as a loader leaves it.
static void fillPicture(Texture* t, GLenum format, const unsigned char* pixels, int count)
{
    int channels = format == GL_RGB ? 3 : 4;
    t->width = (uint32_t)count;
    t->height = 1;
    t->format = format;
    t->bitsPerPixel = (uint32_t)channels * 8;
    t->imageData = (unsigned char*)malloc((size_t)count * channels);
    memcpy(t->imageData, pixels, (size_t)count * channels);
}

TEST(TextureDispatch, AGreyPictureShrinksToOneChannelAndAnyOtherStays)
{
    // Two pixels, RGB, grey within JPEG's rounding: one byte each, the mean.
    Texture grey;
    const unsigned char greyPixels[6] = {10, 12, 16, 200, 200, 201};
    fillPicture(&grey, GL_RGB, greyPixels, 2);
    ASSERT_TRUE(textureReduceGreyToOneChannel(&grey));
    EXPECT_EQ(grey.format, (GLenum)GL_LUMINANCE);
    EXPECT_EQ(grey.internalFormat, (GLenum)GL_LUMINANCE8);
    EXPECT_EQ(grey.bitsPerPixel, 8u);
    EXPECT_EQ(grey.imageData[0], 13);
    EXPECT_EQ(grey.imageData[1], 200);
    free(grey.imageData);
    grey.imageData = nullptr;

    // A coloured pixel, or a see-through one, keeps the picture as it is.
    const unsigned char colouredPixels[8] = {10, 10, 10, 255, 90, 100, 100, 255};
    const unsigned char clearPixels[8] = {10, 10, 10, 255, 90, 90, 90, 128};
    for (const unsigned char* pixels : {colouredPixels, clearPixels}) {
        Texture kept;
        fillPicture(&kept, GL_RGBA, pixels, 2);
        EXPECT_FALSE(textureReduceGreyToOneChannel(&kept));
        EXPECT_EQ(kept.format, (GLenum)GL_RGBA);
        EXPECT_EQ(kept.internalFormat, (GLenum)GL_RGBA8);
        EXPECT_EQ(memcmp(kept.imageData, pixels, 8), 0);
        free(kept.imageData);
        kept.imageData = nullptr;
    }
}

TEST(TextureDispatch, DefaultsAndLimits)
{
    Texture t;
    EXPECT_EQ(t.imageData, nullptr);
    EXPECT_EQ(t.textureId, 0u);
    EXPECT_EQ(t.wrapMode, (GLenum)GL_CLAMP_TO_EDGE);
    EXPECT_EQ(t.minFilter, (GLenum)GL_LINEAR);
    EXPECT_EQ(t.magFilter, (GLenum)GL_LINEAR);
    EXPECT_FALSE(t.isFloat);
    EXPECT_FALSE(t.useMipmaps);
    EXPECT_EQ(imageByteSize(4, 4, 4), 64u);
    EXPECT_EQ(imageByteSize(0, 4, 4), 0u);
    EXPECT_EQ(imageByteSize(IMAGE_MAX_SIDE + 1, 1, 4), 0u);
    EXPECT_EQ(imageByteSize(IMAGE_MAX_SIDE, IMAGE_MAX_SIDE, 1), (size_t)IMAGE_MAX_SIDE * IMAGE_MAX_SIDE);
    EXPECT_EQ(imageByteSize(IMAGE_MAX_SIDE, IMAGE_MAX_SIDE, 2), 0u); // 512 MiB
}

// Creator mode's reload: a file that vanished or no longer decodes keeps the old picture and
// says why (never fatal, no box); a good one goes into the same GL texture, new size and all.
TEST(TextureReload, KeepsTheOldPictureUntilTheFileIsGoodAgain)
{
    REQUIRE_GL_WINDOW();
    auto solid = [](int width, int height, Bytes colour) {
        Bytes rgba;
        for (int i = 0; i < width * height; i++) rgba.insert(rgba.end(), colour.begin(), colour.end());
        PngSpec spec;
        spec.width = width;
        spec.height = height;
        return makePng(spec, rgba);
    };
    writeTestFile("swap.png", solid(2, 2, {255, 0, 0, 255}));
    Texture texture("swap.png");
    GLuint id = texture.textureId;
    std::string why;

    writeTestFile("swap.png", Bytes{0x89, 'P', 'N', 'G', 1, 2, 3});
    EXPECT_FALSE(textureReload(&texture, &why));
    EXPECT_EQ(why.find("swap.png: "), 0u) << why;
    remove("swap.png");
    EXPECT_FALSE(textureReload(&texture, &why));
    EXPECT_NE(why.find("swap.png: cannot be opened"), std::string::npos) << why;
    EXPECT_EQ(texture.width, 2u);

    writeTestFile("swap.png", solid(4, 2, {0, 0, 255, 255}));
    ASSERT_TRUE(textureReload(&texture, &why));
    EXPECT_EQ(texture.textureId, id);
    EXPECT_EQ(texture.width, 4u);
    glBindTexture(GL_TEXTURE_2D, id);
    EXPECT_EQ(levelWidth(0), 4);
    Bytes pixels(4 * 2 * 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ((Bytes{pixels[0], pixels[1], pixels[2]}), (Bytes{0, 0, 255}));
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    int count = 0;
    std::string problems;
    EXPECT_EQ(textureReloadAll(&count, &problems), 0) << problems;
    EXPECT_GE(count, 1);
}

// Creator mode at load: a picture that does not decode, even one whose loader would end the show
// (libjpeg's errors), stands in as magenta with its reason kept; a reload of such a file keeps the
// old picture the same way. Without creator mode the same file stays fatal.
TEST(TextureReload, CreatorModeKeepsGoingWherePlayingWouldStop)
{
    REQUIRE_GL_WINDOW();
    writeTestFile("broken.jpg", Bytes{0x5a, 0xd8, 0xff, 0xe0, 0, 16, 'J', 'F', 'I', 'F', 0});
    textureForgiveLoadFailures(true);
    Texture standIn("broken.jpg");
    textureForgiveLoadFailures(false);
    EXPECT_NE(standIn.textureId, 0u);
    EXPECT_EQ(standIn.width, 2u);
    EXPECT_NE(textureLoadProblems().find("broken.jpg: "), std::string::npos) << textureLoadProblems();
    EXPECT_NE(textureLoadProblems().find("Not a JPEG file"), std::string::npos) << textureLoadProblems();
    std::string why;
    EXPECT_FALSE(textureReload(&standIn, &why));
    EXPECT_NE(why.find("Not a JPEG file"), std::string::npos) << why;
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    EXPECT_DEATH(Texture("broken.jpg"), "Not a JPEG file");
}

// texture: GL texture objects and the image-format dispatch. See texture.h.
#include "util/texture/texture.h"

#include "platform/platform.h"        // platformMessageBox
#include "platform/report.h"          // FATAL, CHECK_GL
#include "util/data/data.h"           // openFile (reload: is the file still there?)
#include "util/texture/bmp_loader.h"  // loadBmp
#include "util/texture/image_prefetch.h" // imagePrefetchTake, imageDecodeLock
#include "util/texture/jpg_loader.h"  // loadJpg
#include "util/texture/png_loader.h"  // loadPng
#include "util/texture/tga_loader.h"  // loadTga
#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>

// Longest vendor string compared in full; longer ones are cut (the brand comes first anyway).
enum { VENDOR_BYTES = 256 };

// What the uploaded levels of every live texture take, for the memory report.
static int64_t s_textureBytesHeld;

// >> images loaded from files, kept for reload
struct ReloadableImage {
    Texture* texture;
    std::string fileName;
};
static std::vector<ReloadableImage> s_images;

static void forgetImage(const Texture* texture)
{
    for (size_t i = 0; i < s_images.size(); i++)
        if (s_images[i].texture == texture) {
            s_images.erase(s_images.begin() + (long)i);
            return;
        }
}

uint64_t textureLevelBytes(uint32_t width, uint32_t height, uint32_t bytesPerTexel, bool mipmaps)
{
    uint64_t total = 0;
    uint64_t w = width, h = height;
    for (;;) {
        total += w * h * bytesPerTexel;
        if (!mipmaps || (w == 1 && h == 1)) break;
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
    }
    return total;
}

int64_t textureBytesHeld() { return s_textureBytesHeld; }

// True when `text`, lower-cased, contains `part` (lower case).
static bool containsLowerCase(const char* text, const char* part)
{
    if (!text) return false;
    char lower[VENDOR_BYTES];
    size_t i = 0;
    for (; text[i] && i + 1 < sizeof lower; i++) lower[i] = (char)tolower((unsigned char)text[i]);
    lower[i] = 0;
    return strstr(lower, part) != nullptr;
}

void textureSetModulateScale(float scale)
{
    if (scale == 1.0f) {
        glTexEnvf(GL_TEXTURE_ENV, GL_RGB_SCALE, 1.0f);
        glTexEnvf(GL_TEXTURE_ENV, GL_ALPHA_SCALE, 1.0f);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        return;
    }
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_MODULATE);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, GL_MODULATE);
    glTexEnvf(GL_TEXTURE_ENV, GL_RGB_SCALE, scale);
    glTexEnvf(GL_TEXTURE_ENV, GL_ALPHA_SCALE, scale);
}

bool textureVendorIsAti(const char* vendor) { return containsLowerCase(vendor, "ati "); }

bool textureRendererIsSoftware(const char* renderer)
{
    return containsLowerCase(renderer, "llvmpipe") || containsLowerCase(renderer, "softpipe") ||
           containsLowerCase(renderer, "software rasterizer");
}

Texture::Texture()
    : textureId(0),
      wrapMode(GL_CLAMP_TO_EDGE), isFloat(false), useMipmaps(false), minFilter(GL_LINEAR), magFilter(GL_LINEAR),
      greyAsOneChannel(false), internalFormat(GL_RGBA8)
{
}

// What the texture's uploaded levels take: a texel is 1 byte in GL_LUMINANCE8, else 4 (GL_RGBA8).
static int64_t uploadedBytes(const Texture& texture)
{
    uint32_t texelBytes = texture.internalFormat == GL_LUMINANCE8 ? 1 : 4;
    return (int64_t)textureLevelBytes(texture.width, texture.height, texelBytes, texture.useMipmaps);
}

bool textureReduceGreyToOneChannel(Texture* texture)
{
    uint32_t channels = texture->format == GL_RGB ? 3 : texture->format == GL_RGBA ? 4 : 0;
    if (!texture->imageData || texture->isFloat || channels == 0 || texture->bitsPerPixel != channels * 8) return false;
    size_t pixels = (size_t)texture->width * texture->height;
    const unsigned char* p = texture->imageData;
    for (size_t i = 0; i < pixels; i++, p += channels) {
        int lowest = p[0] < p[1] ? p[0] : p[1], highest = p[0] > p[1] ? p[0] : p[1];
        if (p[2] < lowest) lowest = p[2];
        if (p[2] > highest) highest = p[2];
        if (highest - lowest > GREY_TOLERANCE || (channels == 4 && p[3] != 255)) return false;
    }
    // In place: each luminance byte lands at or before the pixel it is made from.
    unsigned char* out = texture->imageData;
    p = texture->imageData;
    for (size_t i = 0; i < pixels; i++, p += channels) out[i] = (unsigned char)((p[0] + p[1] + p[2] + 1) / 3);
    texture->format = GL_LUMINANCE;
    texture->bitsPerPixel = 8;
    texture->internalFormat = GL_LUMINANCE8;
    return true;
}

Texture::Texture(const char* fileName) : Texture()
{
    if (!load(fileName, GL_LINEAR, GL_LINEAR, false, false)) FATAL("Failed to load texture %s", fileName);
}

// Without a GL name it makes no GL call, so a texture that only held decoded pixels may go anywhere.
Texture::~Texture()
{
    forgetImage(this);
    if (textureId == 0) return;
    glDeleteTextures(1, &textureId);
    s_textureBytesHeld -= uploadedBytes(*this);
    textureId = 0;
    CHECK_GL();
}

bool textureDecodeFile(const char* fileName, Texture* texture)
{
    // The extension is the last four characters, lower-cased; ".jpeg" is tested on the last five.
    size_t length = strlen(fileName);
    char extension[5] = "";
    char longExtension[6] = "";
    if (length >= 4) {
        for (int i = 0; i < 4; i++) extension[i] = (char)tolower((unsigned char)fileName[length - 4 + i]);
        extension[4] = 0;
    }
    if (length >= 5) {
        for (int i = 0; i < 5; i++) longExtension[i] = (char)tolower((unsigned char)fileName[length - 5 + i]);
        longExtension[5] = 0;
    }

    bool loaded = false;
    if (length >= 4 && strcmp(extension, ".tga") == 0) {
        loaded = loadTga(fileName, *texture);
    } else if (length >= 4 && strcmp(extension, ".png") == 0) {
        loaded = loadPng(fileName, *texture);
    } else if (length >= 4 && (strcmp(extension, ".jpg") == 0 || strcmp(longExtension, ".jpeg") == 0)) {
        loaded = loadJpg(fileName, *texture);
    } else if (length >= 4 && strcmp(extension, ".bmp") == 0) {
        loaded = loadBmp(fileName, *texture);
    } else {
        // Names shorter than four characters have no extension; they show what they have.
        char text[128];
        snprintf(text, sizeof text, "Sorry, image format %s is not yet supported.\nTry .tga or .png.",
                 length >= 4 ? extension : fileName);
        platformMessageBox(text, "Unsupported image format!", BOX_OK);
    }
    return loaded;
}

// >> creator mode: failures that a reload can mend
static bool s_forgiveLoadFailures;
static std::string s_loadProblems;

void textureForgiveLoadFailures(bool forgive) { s_forgiveLoadFailures = forgive; }
const std::string& textureLoadProblems() { return s_loadProblems; }

// Decodes with every box of the loaders turned into *why (the show goes on); false when the file
// does not decode, with nothing left in imageData.
static bool decodeWithoutBoxes(const char* fileName, Texture* texture, std::string* why)
{
    bool decoded = false;
    platformDeferBoxesOnThisThread(true);
    try {
        std::lock_guard<std::mutex> decoding(imageDecodeLock());
        decoded = textureDecodeFile(fileName, texture);
    } catch (const PlatformBoxDeferred& box) {
        decoded = false;
        *why = box.text;
    }
    platformDeferBoxesOnThisThread(false);
    if (decoded && texture->imageData && !texture->isFloat) return true;
    free(texture->imageData);
    texture->imageData = nullptr;
    if (why->empty()) *why = "does not decode";
    return false;
}

// A 2 x 2 magenta picture in place of one that did not load, until a reload brings the real one.
void Texture::standInPicture(const char* fileName, const std::string& why)
{
    static const unsigned char MAGENTA[4] = {255, 0, 255, 255};
    width = height = 2;
    format = GL_RGBA;
    bitsPerPixel = 32;
    imageData = (unsigned char*)malloc(16);
    if (!imageData) FATAL("Out of memory for a stand-in picture");
    for (int i = 0; i < 4; i++) memcpy(imageData + 4 * i, MAGENTA, 4);
    std::string line = std::string(fileName) + ": " + why + " (shown magenta until reloaded)";
    for (char& c : line)
        if (c == '\n') c = ' ';
    s_loadProblems += line + "\n";
    fprintf(stderr, "halvoren: %s\n", line.c_str());
}

bool Texture::load(const char* fileName, GLenum minFilterIn, GLenum magFilterIn, bool useMipmapsIn, bool repeat)
{
    minFilter = minFilterIn;
    magFilter = magFilterIn;
    isFloat = false;
    wrapMode = repeat ? GL_REPEAT : GL_CLAMP_TO_EDGE;
    useMipmaps = useMipmapsIn;

    // Pictures of the archive may already be decoded on the prefetch thread.
    bool loaded = imagePrefetchTake(fileName, this);
    if (!loaded && s_forgiveLoadFailures) {
        std::string why;
        loaded = decodeWithoutBoxes(fileName, this, &why);
        if (!loaded) {
            standInPicture(fileName, why);
            loaded = true;
        }
    } else if (!loaded) {
        std::lock_guard<std::mutex> decoding(imageDecodeLock());
        loaded = textureDecodeFile(fileName, this);
    }
    if (!loaded) FATAL("Failed to load image %s!", fileName);
    forgetImage(this);
    s_images.push_back(ReloadableImage{this, fileName});
    if (greyAsOneChannel) textureReduceGreyToOneChannel(this);
    return createGLTexture();
}

bool Texture::createGLTexture()
{
    if (textureId != 0) FATAL("Attempt to create an already initialized texture!");
    GLenum type = isFloat ? GL_FLOAT : GL_UNSIGNED_BYTE;
    glGenTextures(1, &textureId);
    glBindTexture(GL_TEXTURE_2D, textureId);
    if (useMipmaps) {
        // Without the extension (the viewer chose to go on at its question) both calls are GL
        // errors that a later check would turn into a fatal report: filter without it.
        if (GLEW_EXT_texture_filter_anisotropic) {
            GLfloat maxAnisotropy = 1.0f;
            glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &maxAnisotropy);
            if (textureRendererIsSoftware((const char*)glGetString(GL_RENDERER))) maxAnisotropy = 1.0f;
            glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, maxAnisotropy);
        }
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    } else {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, (GLint)minFilter);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, (GLint)magFilter);
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, (GLint)wrapMode);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, (GLint)wrapMode);
    // Loaders pack rows without gaps, and an RGB row need not be a multiple of four bytes.
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, (GLint)internalFormat, (GLsizei)width, (GLsizei)height, 0, format, type, imageData);
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    s_textureBytesHeld += uploadedBytes(*this);

    bool ati = textureVendorIsAti((const char*)glGetString(GL_VENDOR));
    if (!useMipmaps) {
        glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_FALSE);
    } else if (ati) {
        glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
    } else {
        glGenerateMipmapEXT(GL_TEXTURE_2D);
    }
    if (imageData) {
        free(imageData);
        imageData = nullptr;
    }
    return true;
}

void Texture::resize(unsigned int newWidth, unsigned int newHeight)
{
    if (imageData) FATAL("Attempted to resize a texture with current imageData");
    if (textureId == 0) FATAL("Attempted to resize a texture that is not initialized!");
    glDeleteTextures(1, &textureId);
    s_textureBytesHeld -= uploadedBytes(*this);
    width = newWidth;
    height = newHeight;
    textureId = 0;
    createGLTexture();
}

float Texture::aspectRatio()
{
    if (width == 0 || height == 0) FATAL("Invalid texture!");
    return (float)width / (float)height;
}

// >> reload
bool textureReload(Texture* texture, std::string* why)
{
    const ReloadableImage* image = nullptr;
    for (const ReloadableImage& i : s_images)
        if (i.texture == texture) image = &i;
    if (!image || texture->textureId == 0) return true; // not from a file: nothing to reload
    const char* name = image->fileName.c_str();
    if (FILE* file = openFile(name, "rb")) {
        fclose(file);
    } else {
        *why = image->fileName + ": cannot be opened (moved or deleted?)";
        return false;
    }
    Texture fresh;
    fresh.greyAsOneChannel = texture->greyAsOneChannel;
    // A broken file is the creator's to fix: the loaders' boxes, fatal ones included, become *why.
    std::string reason;
    if (!decodeWithoutBoxes(name, &fresh, &reason)) {
        *why = image->fileName + ": " + reason;
        return false;
    }
    if (fresh.greyAsOneChannel) textureReduceGreyToOneChannel(&fresh);

    // Into the same GL name: materials and compiled display lists hold it.
    s_textureBytesHeld -= uploadedBytes(*texture);
    texture->width = fresh.width;
    texture->height = fresh.height;
    texture->format = fresh.format;
    texture->bitsPerPixel = fresh.bitsPerPixel;
    texture->internalFormat = fresh.internalFormat;
    glBindTexture(GL_TEXTURE_2D, texture->textureId);
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, (GLint)texture->internalFormat, (GLsizei)texture->width, (GLsizei)texture->height, 0,
                 texture->format, GL_UNSIGNED_BYTE, fresh.imageData);
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    // GL_GENERATE_MIPMAP, where it is set, has already remade the levels.
    if (texture->useMipmaps && !textureVendorIsAti((const char*)glGetString(GL_VENDOR))) glGenerateMipmapEXT(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, 0);
    s_textureBytesHeld += uploadedBytes(*texture);
    free(fresh.imageData);
    fresh.imageData = nullptr;
    return true;
}

int textureReloadAll(int* count, std::string* problems)
{
    int failed = 0;
    *count = (int)s_images.size();
    for (size_t i = 0; i < s_images.size(); i++) {
        std::string why;
        if (textureReload(s_images[i].texture, &why)) continue;
        failed++;
        *problems += why + "\n";
    }
    return failed;
}

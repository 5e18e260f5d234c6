// texture: one 2D OpenGL texture, and the decoded image that the image loaders fill.
//
// `load` picks the loader by the file name's last four characters, lower-cased: ".tga" (tga_loader),
// ".png" (png_loader), ".jpg" or ".jpeg" (jpg_loader), ".bmp" (bmp_loader). Anything else, and any
// name shorter than four characters, is unsupported. Every failure in `load` is fatal.
// Loaders only fill the plain fields below (no GL calls), so they run without a window;
// `createGLTexture` uploads the pixels (internal format GL_RGBA8, or GL_LUMINANCE8 for a grey picture
// a caller asked to keep with one channel) and frees them.
// The limits every decoder shares, imageByteSize and readImageFile live in image_file.h.
#pragma once

#include "util/texture/image_file.h" // LoadedImage, the image limits
#include <GL/glew.h>                 // GLenum, GLuint
#include <stddef.h>
#include <stdint.h>
#include <string>
#include <vector>

// A decoded picture (the fields a loader fills, from LoadedImage) and its GL texture.
class Texture : public LoadedImage {
public:
    GLuint textureId;         // GL texture name while one exists; 0
    GLenum wrapMode;          // wrap S and T: GL_CLAMP_TO_EDGE (default) or GL_REPEAT
    bool isFloat;             // upload type GL_FLOAT instead of GL_UNSIGNED_BYTE; false
    bool useMipmaps;          // mipmap chain, trilinear filtering, anisotropic filtering; false
    GLenum minFilter;         // used when useMipmaps is off; GL_LINEAR
    GLenum magFilter;         // used when useMipmaps is off; GL_LINEAR
    bool greyAsOneChannel;    // load: a picture whose pixels are all grey is held with one channel; false
    GLenum internalFormat;    // GL_RGBA8, or GL_LUMINANCE8 for a grey picture held with one channel

    Texture();
    // Loads with GL_LINEAR filters, no mipmaps, clamped; fatal when that fails.
    explicit Texture(const char* fileName);
    ~Texture();

    // Decodes the file by its extension and creates the GL texture. Every failure is fatal.
    bool load(const char* fileName, GLenum minFilter, GLenum magFilter, bool useMipmaps, bool repeat);
    // Creates the GL texture from the fields; imageData may be null (storage without contents).
    bool createGLTexture();
    // Replaces the GL texture by an empty one of the new size with the same parameters.
    void resize(unsigned int newWidth, unsigned int newHeight);
    float aspectRatio();

    // Creator mode: a picture that did not load (see textureForgiveLoadFailures).
    void standInPicture(const char* fileName, const std::string& why);

    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;
};

// Decodes a picture by its file name's extension into the texture's pixel fields (no GL call);
// false when it cannot. The boxes of an unsupported format or a damaged file are shown here.
bool textureDecodeFile(const char* fileName, Texture* texture);

// >> creator mode's reload
// Decodes the file the texture was loaded from again and uploads it into the same GL texture
// (new size and all). When the file is gone or does not decode, the old picture stays and *why
// says so; the loaders' boxes go to standard error only. Never fatal. True for a texture that was
// not loaded from a file (nothing to do).
bool textureReload(Texture* texture, std::string* why);
// Reloads every live texture loaded from a file; returns how many kept their old picture, one
// line each added to *problems; *count gets how many were tried.
int textureReloadAll(int* count, std::string* problems);
// Creator mode: from now on a picture that does not load is shown as a small magenta stand-in,
// its reason kept in textureLoadProblems (one line each) and on standard error, so a reload can
// bring it once the file is mended. Loading a texture is otherwise fatal on every failure.
void textureForgiveLoadFailures(bool forgive);
const std::string& textureLoadProblems();

// A grey picture (every pixel's channels within GREY_TOLERANCE of each other, alpha opaque) as one
// luminance channel, the mean of its three: imageData shrinks in place to GL_LUMINANCE, 8 bits a
// pixel, and internalFormat becomes GL_LUMINANCE8. False, and nothing changed, for any other.
enum { GREY_TOLERANCE = 6 }; // what JPEG's colour rounding leaves on a grey picture
bool textureReduceGreyToOneChannel(Texture* texture);

// The texture function of unit 0: texture times colour, scaled by `scale` (GL_COMBINE with
// GL_RGB_SCALE and GL_ALPHA_SCALE, which take 1, 2 or 4); a scale of 1 restores plain GL_MODULATE,
// which every scene expects. Lets a picture stored at half strength (so that it does not clip in
// 8 bits) be drawn whole.
void textureSetModulateScale(float scale);

// True when a GL renderer string names a software rasteriser (Mesa's llvmpipe, softpipe, swrast).
// Mipmapped textures get the driver's maximum anisotropy except there: on llvmpipe every level
// from 2 to 16 draws the same picture, anisotropic sampling takes a third of a frame of the lit
// rig, and a sliver seen edge-on can stall one frame for seconds.
bool textureRendererIsSoftware(const char* renderer);

// Bytes of a texture's levels as uploaded: the base level, and with `mipmaps` every level down to
// 1 x 1 (each side halved, never below 1).
uint64_t textureLevelBytes(uint32_t width, uint32_t height, uint32_t bytesPerTexel, bool mipmaps);
// Bytes the levels of every live GL texture take, summed at upload and subtracted at deletion.
int64_t textureBytesHeld();

// True when a GL vendor string, lower-cased, contains "ati " (mipmaps then come from
// GL_GENERATE_MIPMAP instead of glGenerateMipmapEXT).
bool textureVendorIsAti(const char* vendor);

// fbo: framebuffer objects with texture colour attachments. See fbo.h.
#include "util/fbo/fbo.h"

#include "platform/report.h"         // FATAL, CHECK_GL
#include "util/texture/texture.h"    // Texture
#include <GL/glu.h>                  // gluOrtho2D

// A power-of-two search stops here, so a huge request can never overflow the doubling.
static const int MAX_POWER_OF_TWO_SIDE = 1 << 30;

// A depth renderbuffer takes this many bytes a pixel (drivers store 24-bit depth in 32 bits).
static const int64_t DEPTH_BYTES_PER_PIXEL = 4;
static int64_t s_renderbufferBytesHeld;

int64_t fboRenderbufferBytesHeld() { return s_renderbufferBytesHeld; }

static GLuint s_screenTarget; // 0: the window

void fboSetScreenTarget(GLuint framebuffer) { s_screenTarget = framebuffer; }
GLuint fboScreenTarget() { return s_screenTarget; }
void fboBindScreen() { glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, s_screenTarget); }

static const GLenum DRAW_BUFFER_LIST[] = {GL_COLOR_ATTACHMENT0_EXT, GL_COLOR_ATTACHMENT1_EXT,
                                          GL_COLOR_ATTACHMENT2_EXT, GL_COLOR_ATTACHMENT3_EXT};

void fboSizeFor(int requestedWidth, int requestedHeight, bool nonPowerOfTwo, int* width, int* height)
{
    if (!nonPowerOfTwo) {
        // Square: the largest power of two below the requested width (the height is not used).
        int p = 2;
        while (p < requestedWidth && p < MAX_POWER_OF_TWO_SIDE) p *= 2;
        *width = p / 2;
        *height = p / 2;
    } else {
        *width = requestedWidth;
        *height = requestedHeight;
    }
    // A minimised window asks for 0: a framebuffer of that size is incomplete and would end the show.
    if (*width < 1) *width = 1;
    if (*height < 1) *height = 1;
}

static void checkComplete()
{
    GLenum status = glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT);
    CHECK_GL();
    if (status != GL_FRAMEBUFFER_COMPLETE_EXT) FATAL("FramebufferStatus is %x", (unsigned)status);
}

Fbo::Fbo()
{
    GLint drawBuffers = 0;
    glGetIntegerv(GL_MAX_DRAW_BUFFERS, &drawBuffers);
    maxDrawBuffers = drawBuffers;
    if (maxDrawBuffers < FBO_MIN_DRAW_BUFFERS)
        FATAL("GL_MAX_DRAW_BUFFERS is %i, which just ain't gonna cut it. You must have %i for this ride.",
              maxDrawBuffers, (int)FBO_MIN_DRAW_BUFFERS);
    glGenFramebuffersEXT(1, &framebufferId);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebufferId);
    CHECK_GL();
    createDepthBuffer();
    addColorAttachment();
    checkComplete();
    fboBindScreen();
}

void Fbo::createDepthBuffer()
{
    if (depthRenderbufferId != 0) FATAL("Depth buffer already present!");
    glGenRenderbuffersEXT(1, &depthRenderbufferId);
    CHECK_GL();
    glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, depthRenderbufferId);
    CHECK_GL();
    glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_DEPTH_COMPONENT, width, height);
    CHECK_GL();
    s_renderbufferBytesHeld += (int64_t)width * height * DEPTH_BYTES_PER_PIXEL;
    glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT,
                                 depthRenderbufferId);
    CHECK_GL();
    CHECK_GL();
}

void Fbo::addColorAttachment()
{
    int n = (int)colorTextures.size();
    if (n >= maxDrawBuffers)
        FATAL("Tried to add more than %i color attachments, and GL_MAX_DRAW_BUFFERS is %i", n, maxDrawBuffers);
    Texture* texture = new Texture();
    colorTextures.push_back(texture);
    texture->wrapMode = GL_CLAMP_TO_EDGE;
    texture->useMipmaps = false;
    texture->minFilter = GL_LINEAR;
    texture->magFilter = GL_LINEAR;
    texture->format = GL_RGBA;
    texture->bitsPerPixel = 32;
    texture->width = (unsigned)width;
    texture->height = (unsigned)height;
    if (!texture->createGLTexture())
        FATAL("Failed to create %ix%i texture for FBO %i color attachment %i", width, height, (int)framebufferId, n);
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT + n, GL_TEXTURE_2D, texture->textureId, 0);
    CHECK_GL();
}

void Fbo::resize(int newWidth, int newHeight)
{
    int w, h;
    fboSizeFor(newWidth, newHeight, GLEW_ARB_texture_non_power_of_two != 0, &w, &h);
    if (w == width && h == height) return;

    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebufferId);
    const int64_t oldPixels = (int64_t)width * height;
    width = w;
    height = h;
    if (depthRenderbufferId != 0) {
        glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT, 0);
        CHECK_GL();
        glDeleteRenderbuffersEXT(1, &depthRenderbufferId);
        CHECK_GL();
        s_renderbufferBytesHeld -= oldPixels * DEPTH_BYTES_PER_PIXEL;
        depthRenderbufferId = 0;
        createDepthBuffer();
    }
    for (size_t i = 0; i < colorTextures.size(); ++i) {
        GLenum attachment = GL_COLOR_ATTACHMENT0_EXT + (GLenum)i;
        glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, attachment, GL_TEXTURE_2D, 0, 0);
        CHECK_GL();
        colorTextures[i]->resize((unsigned)width, (unsigned)height);
        CHECK_GL();
        glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, attachment, GL_TEXTURE_2D, colorTextures[i]->textureId, 0);
        CHECK_GL();
    }
    checkComplete();
    fboBindScreen();
}

void Fbo::bindForDrawing(bool clear)
{
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebufferId);
    glPushAttrib(GL_VIEWPORT_BIT);
    int n = (int)colorTextures.size();
    if (n > MAX_DRAW_BUFFERS_USED) FATAL("Can only draw to %i buffers at a time here", (int)MAX_DRAW_BUFFERS_USED);
    glDrawBuffers(n, DRAW_BUFFER_LIST);
    CHECK_GL();
    glViewport(0, 0, width, height);
    if (clear) glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT | GL_ACCUM_BUFFER_BIT);
}

void Fbo::bindTexture(int index)
{
    if (index < 0 || index >= (int)colorTextures.size()) FATAL("Invalid texture number");
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, colorTextures[index]->textureId);
}

void Fbo::drawAttachments()
{
    int n = (int)colorTextures.size();
    int columns = (n + 1) / 2;
    if (columns < 1) columns = 1;
    int tileWidth = width / columns;
    int tileHeight = height / columns;

    glPushAttrib(GL_TRANSFORM_BIT);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluOrtho2D(0, width, 0, height);
    for (int i = 0; i < n; ++i) {
        int x = (i % columns) * tileWidth;
        int y = (i / columns) * tileHeight;
        bindTexture(i);
        glBegin(GL_QUADS);
        glTexCoord2f(0, 0);
        glVertex2i(x, y);
        glTexCoord2f(1, 0);
        glVertex2i(x + tileWidth, y);
        glTexCoord2f(1, 1);
        glVertex2i(x + tileWidth, y + tileHeight);
        glTexCoord2f(0, 1);
        glVertex2i(x, y + tileHeight);
        glEnd();
    }
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
    CHECK_GL();
}

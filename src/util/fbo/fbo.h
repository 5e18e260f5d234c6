// fbo: an off-screen render target on the EXT framebuffer-object entry points.
//
// One framebuffer with a depth renderbuffer and up to GL_MAX_DRAW_BUFFERS colour attachments, each
// an RGBA8 `Texture` of the framebuffer's size (linear filters, edge clamping, no mipmaps). Built at
// 512 x 512 with one colour attachment; resized with the window. Without non-power-of-two texture
// support the size becomes square, the largest power of two below the requested width. A size of 0
// (a minimised window) is kept at 1 x 1. Drivers with fewer than 3 draw buffers are refused; at most
// 3 attachments are drawn to at once. Every failure is fatal. An Fbo is never deleted.
//
// The screen: scenes return to it through fboBindScreen, never by binding framebuffer 0 themselves,
// so a tool can render the whole show into an off-screen framebuffer (fboSetScreenTarget).
#pragma once

#include <GL/glew.h> // GLuint
#include <vector>

class Texture;

enum {
    FBO_INITIAL_SIZE = 512,
    FBO_MIN_DRAW_BUFFERS = 3,     // the driver must offer at least this many
    MAX_DRAW_BUFFERS_USED = 3,    // bindForDrawing selects at most this many attachments
};

class Fbo {
public:
    int width = FBO_INITIAL_SIZE;        // pixels
    int height = FBO_INITIAL_SIZE;       // pixels
    int maxDrawBuffers = 0;              // GL_MAX_DRAW_BUFFERS at construction
    GLuint framebufferId = 0;
    GLuint depthRenderbufferId = 0;      // 0 when there is none
    std::vector<Texture*> colorTextures; // attachment i at GL_COLOR_ATTACHMENT0_EXT + i; owned

    // A complete 512 x 512 framebuffer with a depth buffer and one colour attachment; leaves the
    // default framebuffer bound.
    Fbo();

    // New size (see the banner for the power-of-two rule); the same size makes no GL call.
    void resize(int newWidth, int newHeight);
    // Creates and attaches the depth renderbuffer at the current size. The framebuffer must be bound.
    void createDepthBuffer();
    // Creates a colour texture at the current size and attaches it next. The framebuffer must be bound.
    void addColorAttachment();
    // Binds the framebuffer, selects its attachments as draw buffers, pushes the viewport and sets it
    // to the framebuffer's size, and clears when asked. The caller returns with fboBindScreen and
    // calls glPopAttrib afterwards.
    void bindForDrawing(bool clear);
    // Binds colour attachment `index` to GL_TEXTURE_2D on texture unit 0.
    void bindTexture(int index);
    // Draws every attachment as a textured quad in a grid over the viewport (a debugging view).
    // Texturing and the viewport are the caller's.
    void drawAttachments();
};

// The framebuffer that stands for the screen: 0 (the window) unless a tool renders the show
// off-screen. Every return to the screen binds it.
void fboSetScreenTarget(GLuint framebuffer);
GLuint fboScreenTarget();
void fboBindScreen();

// Bytes every live depth renderbuffer takes (colour attachments count as textures).
int64_t fboRenderbufferBytesHeld();

// The size resize gives for a request: square power of two below the width when `nonPowerOfTwo` is
// false, else as requested; never below 1 x 1.
void fboSizeFor(int requestedWidth, int requestedHeight, bool nonPowerOfTwo, int* width, int* height);

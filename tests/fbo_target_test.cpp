// Fbo: completeness, the size rules, resizing, binding, attachment drawing and the failure reports.
#include "util/fbo/fbo.h"
#include "platform/report.h"
#include "test_support.h"
#include "util/texture/texture.h"

#include <GL/glew.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>

using testing::HasSubstr;

namespace {

struct Exited {
    int code;
};
void throwOnExit(int code) { throw Exited{code}; }

// Runs a call that must end in a fatal report; returns what the report wrote to standard error.
template <typename Call> std::string fatalText(Call call)
{
    reportSetExitHook(throwOnExit);
    testing::internal::CaptureStderr();
    int code = -1;
    try {
        call();
    } catch (const Exited& exited) {
        code = exited.code;
    }
    reportSetExitHook(nullptr);
    EXPECT_EQ(code, 1);
    return testing::internal::GetCapturedStderr();
}

GLint boundFramebuffer()
{
    GLint id = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &id);
    return id;
}

} // namespace

TEST(FboSize, PowerOfTwoRuleAndMinimum)
{
    int w = 0, h = 0;
    fboSizeFor(640, 480, false, &w, &h);
    EXPECT_EQ(w, 512);
    EXPECT_EQ(h, 512);
    fboSizeFor(1024, 768, false, &w, &h);
    EXPECT_EQ(w, 512); // the width is not below 1024: half of the first power of two reaching it
    EXPECT_EQ(h, 512);
    fboSizeFor(1280, 1024, false, &w, &h);
    EXPECT_EQ(w, 1024);
    EXPECT_EQ(h, 1024);
    fboSizeFor(800, 600, false, &w, &h);
    EXPECT_EQ(w, 512);
    fboSizeFor(2, 2, false, &w, &h);
    EXPECT_EQ(w, 1);
    EXPECT_EQ(h, 1);
    fboSizeFor(1025, 10, false, &w, &h);
    EXPECT_EQ(w, 1024);
    EXPECT_EQ(h, 1024);
    fboSizeFor(1024, 768, true, &w, &h);
    EXPECT_EQ(w, 1024);
    EXPECT_EQ(h, 768);
    // A minimised window: never an empty (incomplete) framebuffer.
    fboSizeFor(0, 0, true, &w, &h);
    EXPECT_EQ(w, 1);
    EXPECT_EQ(h, 1);
    fboSizeFor(640, 0, true, &w, &h);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 1);
    fboSizeFor(0, 0, false, &w, &h);
    EXPECT_EQ(w, 1);
    EXPECT_EQ(h, 1);
    fboSizeFor(-5, -5, true, &w, &h);
    EXPECT_EQ(w, 1);
    fboSizeFor(2147483647, 5, false, &w, &h); // no overflow in the doubling
    EXPECT_EQ(w, 1 << 29);
}

TEST(Fbo, ConstructsCompleteAndLeavesDefaultBound)
{
    REQUIRE_GL_WINDOW();
    Fbo fbo;
    EXPECT_EQ(fbo.width, 512);
    EXPECT_EQ(fbo.height, 512);
    EXPECT_GE(fbo.maxDrawBuffers, 3);
    EXPECT_NE(fbo.framebufferId, 0u);
    EXPECT_NE(fbo.depthRenderbufferId, 0u);
    ASSERT_EQ(fbo.colorTextures.size(), 1u);
    Texture* texture = fbo.colorTextures[0];
    EXPECT_NE(texture->textureId, 0u);
    EXPECT_EQ(texture->width, 512u);
    EXPECT_EQ(texture->format, (GLenum)GL_RGBA);
    EXPECT_EQ(texture->wrapMode, (GLenum)GL_CLAMP_TO_EDGE);
    EXPECT_FALSE(texture->useMipmaps);
    EXPECT_EQ(boundFramebuffer(), 0);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fbo.framebufferId);
    EXPECT_EQ(glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT), (GLenum)GL_FRAMEBUFFER_COMPLETE_EXT);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

// A tool renders the show off-screen: every return to the screen, the Fbo's own included, goes to
// the framebuffer that stands for it.
TEST(Fbo, ReturnsToTheScreenTargetThatStandsForTheWindow)
{
    REQUIRE_GL_WINDOW();
    Fbo screen;
    fboSetScreenTarget(screen.framebufferId);
    Fbo fbo;
    EXPECT_EQ(boundFramebuffer(), (GLint)screen.framebufferId);
    fbo.resize(64, 32);
    EXPECT_EQ(boundFramebuffer(), (GLint)screen.framebufferId);
    fbo.bindForDrawing(false);
    fboBindScreen();
    glPopAttrib();
    EXPECT_EQ(boundFramebuffer(), (GLint)screen.framebufferId);
    fboSetScreenTarget(0);
    fboBindScreen();
    EXPECT_EQ(boundFramebuffer(), 0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(Fbo, ResizeRecreatesTexturesAndSameSizeDoesNothing)
{
    REQUIRE_GL_WINDOW();
    ASSERT_TRUE(GLEW_ARB_texture_non_power_of_two); // llvmpipe offers it
    Fbo fbo;
    GLuint before = fbo.colorTextures[0]->textureId;
    fbo.resize(512, 512);
    EXPECT_EQ(fbo.colorTextures[0]->textureId, before); // no GL work at all
    fbo.resize(640, 360);
    EXPECT_EQ(fbo.width, 640);
    EXPECT_EQ(fbo.height, 360);
    EXPECT_EQ(fbo.colorTextures[0]->width, 640u);
    EXPECT_EQ(fbo.colorTextures[0]->height, 360u);
    EXPECT_EQ(boundFramebuffer(), 0);
    GLuint after = fbo.colorTextures[0]->textureId;
    EXPECT_NE(after, 0u);
    // A minimised window keeps a complete 1 x 1 framebuffer instead of ending the show.
    fbo.resize(0, 0);
    EXPECT_EQ(fbo.width, 1);
    EXPECT_EQ(fbo.height, 1);
    fbo.resize(640, 360);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fbo.framebufferId);
    EXPECT_EQ(glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT), (GLenum)GL_FRAMEBUFFER_COMPLETE_EXT);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(Fbo, BindForDrawingClearsAndRestoresViewportOnPop)
{
    REQUIRE_GL_WINDOW(640, 360);
    Fbo fbo;
    fbo.resize(256, 128);
    glViewport(0, 0, 640, 360);
    glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    fbo.bindForDrawing(true);
    EXPECT_EQ(boundFramebuffer(), (GLint)fbo.framebufferId);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 256);
    EXPECT_EQ(viewport[3], 128);
    std::vector<uint8_t> pixel(4);
    glReadBuffer(GL_COLOR_ATTACHMENT0_EXT);
    glReadPixels(255, 127, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel.data());
    EXPECT_EQ(pixel, (std::vector<uint8_t>{0, 255, 0, 255}));
    glPopAttrib();
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 640);
    EXPECT_EQ(viewport[3], 360);
    glClearColor(0, 0, 0, 0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(Fbo, DrawAttachmentsCoversTheViewport)
{
    REQUIRE_GL_WINDOW(640, 360);
    Fbo fbo;
    glClearColor(1.0f, 0.0f, 1.0f, 1.0f);
    fbo.bindForDrawing(true); // the attachment is now magenta
    glPopAttrib();
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glViewport(0, 0, 640, 360);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glColor4f(1, 1, 1, 1);
    fbo.drawAttachments();
    glDisable(GL_TEXTURE_2D);
    std::vector<uint8_t> pixels = readTestPixels(0, 0, 640, 360);
    int magenta = 0;
    for (size_t i = 0; i < pixels.size(); i += 4)
        if (pixels[i] == 255 && pixels[i + 1] == 0 && pixels[i + 2] == 255) ++magenta;
    EXPECT_EQ(magenta, 640 * 360);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(Fbo, AttachmentLimitsAndIndexChecks)
{
    REQUIRE_GL_WINDOW();
    Fbo fbo;
    EXPECT_THAT(fatalText([&] { fbo.bindTexture(1); }), HasSubstr("Invalid texture number"));
    EXPECT_THAT(fatalText([&] { fbo.bindTexture(-1); }), HasSubstr("Invalid texture number"));
    EXPECT_THAT(fatalText([&] { fbo.createDepthBuffer(); }), HasSubstr("Depth buffer already present!"));

    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fbo.framebufferId);
    while ((int)fbo.colorTextures.size() < fbo.maxDrawBuffers) fbo.addColorAttachment();
    std::string tooMany = fatalText([&] { fbo.addColorAttachment(); });
    EXPECT_THAT(tooMany, HasSubstr("Tried to add more than " + std::to_string(fbo.maxDrawBuffers) +
                                   " color attachments, and GL_MAX_DRAW_BUFFERS is " +
                                   std::to_string(fbo.maxDrawBuffers)));
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    if (fbo.maxDrawBuffers > 3) {
        EXPECT_THAT(fatalText([&] { fbo.bindForDrawing(false); }),
                    HasSubstr("Can only draw to 3 buffers at a time here"));
        glPopAttrib();
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    }
    EXPECT_THAT(fatalText([&] { fbo.bindTexture(fbo.maxDrawBuffers); }), HasSubstr("Invalid texture number"));
    while (glGetError() != GL_NO_ERROR) {}
}

TEST(Fbo, ThreeTargetsTakeThreeOutputs)
{
    REQUIRE_GL_WINDOW();
    Fbo fbo;
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fbo.framebufferId);
    fbo.addColorAttachment();
    fbo.addColorAttachment();
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    fbo.resize(64, 64);
    fbo.bindForDrawing(false);
    glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT); // every selected draw buffer is cleared
    for (int i = 0; i < 3; ++i) {
        std::vector<uint8_t> pixel(4);
        glReadBuffer(GL_COLOR_ATTACHMENT0_EXT + i);
        glReadPixels(10, 10, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel.data());
        EXPECT_EQ(pixel, (std::vector<uint8_t>{0, 0, 255, 255})) << "attachment " << i;
    }
    glPopAttrib();
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    glReadBuffer(GL_BACK);
    glClearColor(0, 0, 0, 0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

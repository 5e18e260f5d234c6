// Tests of the error report forms, the GL error texts, the clocks and the bitmap font.
#include "platform/bitmapfont.h"
#include "platform/platform.h"
#include "platform/report.h"
#include "test_support.h"

#include <gtest/gtest.h>

TEST(Report, FatalBodyIsCaptionEmptyLineMessageAndExitsWithOne)
{
    EXPECT_EXIT(reportFatal("src/some/module.cpp", 42, "Failed to load image %s!", "x.png"),
                testing::ExitedWithCode(1),
                "^Error in file src/some/module.cpp:42\nError in file src/some/module.cpp:42\n\n"
                "Failed to load image x.png!\n$");
}

TEST(Report, TrailingNewlineOfTheMessageIsKept)
{
    EXPECT_EXIT(reportFatal("main.cpp", 7, "Video initialization failed: %s\n", "no driver"),
                testing::ExitedWithCode(1), "\n\nVideo initialization failed: no driver\n\n$");
}

TEST(Report, FatalLocationOnly)
{
    EXPECT_EXIT(reportFatalLocation("src/scenes/template.cpp", 99), testing::ExitedWithCode(1),
                "^Error\nError in file src/scenes/template.cpp:99\n$");
}

TEST(Report, PlainBoxAndLoaderWarningReturn)
{
    testing::internal::CaptureStderr();
    reportErrorBox("compile log: %d errors", 3);
    reportLoaderWarning("src/util/texture/tga_loader.cpp", 12, "Unsupported TGA type %d", 9);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Error\ncompile log: 3 errors\nERROR at src/util/texture/tga_loader.cpp:12\nUnsupported TGA type 9\n");
}

TEST(Report, LongMessagesAreCutNotOverflowed)
{
    std::string huge(20000, 'x');
    EXPECT_EXIT(reportFatal("f.cpp", 1, "%s", huge.c_str()), testing::ExitedWithCode(1), "xxxx");
}

TEST(Report, GlErrorTexts)
{
    char text[200];
    const struct { unsigned code; const char* expected; } cases[] = {
        {0x0500, "GL_INVALID_ENUM in file a.cpp:3"},     {0x0501, "GL_INVALID_VALUE in file a.cpp:3"},
        {0x0502, "GL_INVALID_OPERATION in file a.cpp:3"}, {0x0503, "GL_STACK_OVERFLOW in file a.cpp:3"},
        {0x0504, "GL_STACK_UNDERFLOW in file a.cpp:3"},   {0x0505, "GL_OUT_OF_MEMORY in file a.cpp:3"},
        {0x0506, "Unknown GL error in file a.cpp:3"},     {0x1234, "Unknown GL error in file a.cpp:3"},
    };
    for (const auto& c : cases) {
        formatGlError(c.code, "a.cpp", 3, text, sizeof text);
        EXPECT_STREQ(text, c.expected);
    }
}

TEST(Report, GlErrorCheckIsFatalWithItsCaption)
{
    REQUIRE_GL_WINDOW();
    checkGlError("clean.cpp", 1); // nothing pending: returns
    EXPECT_EXIT(
        {
            glEnable(0x1234); // invalid enum
            checkGlError("src/x.cpp", 5);
        },
        testing::ExitedWithCode(1), "^OpenGL error detected\nGL_INVALID_ENUM in file src/x.cpp:5\n$");
    // A code the check has no name for: clearing a framebuffer object with no attachment gives
    // GL_INVALID_FRAMEBUFFER_OPERATION.
    EXPECT_EXIT(
        {
            GLuint empty = 0;
            glGenFramebuffersEXT(1, &empty);
            glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, empty);
            glClear(GL_COLOR_BUFFER_BIT);
            checkGlError("src/y.cpp", 9);
        },
        testing::ExitedWithCode(1), "^OpenGL error detected\nUnknown GL error in file src/y.cpp:9\n$");
}

TEST(Clock, VirtualTimeDrivesCounterTickAndSleep)
{
    platformUseVirtualTime(true);
    platformSetVirtualNanoseconds(5000000000ull);
    EXPECT_EQ(platformCounter(), 5000000000ull);
    EXPECT_EQ(platformTickMs(), 5000u);
    platformSleepMs(2000);
    EXPECT_EQ(platformTickMs(), 7000u);
    platformAdvanceVirtualNanoseconds(500000);
    EXPECT_EQ(platformCounter(), 7000500000ull);
    // The tick wraps at 2^32 milliseconds.
    platformSetVirtualNanoseconds((4294967296ull + 10) * 1000000ull);
    EXPECT_EQ(platformTickMs(), 10u);
    platformUseVirtualTime(false);
    uint64_t a = platformCounter(), b = platformCounter();
    EXPECT_LE(a, b);
    EXPECT_EQ(platformCounterFrequency(), 1000000000ull);
}

TEST(Clock, UtcTimeIsPlausible)
{
    PlatformUtcTime t = platformUtcNow();
    EXPECT_GE(t.year, 2024);
    EXPECT_GE(t.month, 1);
    EXPECT_LE(t.month, 12);
    EXPECT_LT(t.millis, 1000);
}

TEST(BitmapFont, BuildsNinetySixDrawableLists)
{
    REQUIRE_GL_WINDOW();
    BitmapFont font = {0};
    createBitmapFont(&font);
    ASSERT_NE(font.listBase, 0u);
    for (int i = 0; i < BITMAP_FONT_GLYPHS; i++) EXPECT_TRUE(glIsList(font.listBase + i)) << i;
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);

    // Draw "H" and check pixels were set.
    glViewport(0, 0, 640, 360);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor3f(1, 1, 1);
    glRasterPos2f(-0.5f, 0.0f);
    glCallList(font.listBase + ('H' - BITMAP_FONT_FIRST_CHAR));
    std::vector<uint8_t> pixels = readTestPixels(0, 0, 640, 360);
    int lit = 0;
    for (size_t i = 0; i < pixels.size(); i += 4) lit += pixels[i] > 128;
    EXPECT_GT(lit, 20);
}

namespace {
struct Exited {
    int code;
};
void throwOnExit(int code) { throw Exited{code}; }

// createBitmapFont, which must end in a fatal report; returns what the report wrote.
std::string fontFailure()
{
    reportSetExitHook(throwOnExit);
    testing::internal::CaptureStderr();
    int code = -1;
    try {
        BitmapFont font = {0};
        createBitmapFont(&font);
    } catch (const Exited& exited) {
        code = exited.code;
    }
    reportSetExitHook(nullptr);
    EXPECT_EQ(code, 1);
    return testing::internal::GetCapturedStderr();
}
} // namespace

TEST(BitmapFont, AnEarlierGlErrorIsReportedAndAFailedGenListsToo)
{
    REQUIRE_GL_WINDOW();
    glEnable(0x7fff); // GL_INVALID_ENUM, left pending for the font to find
    std::string text = fontFailure();
    EXPECT_NE(text.find("GL_INVALID_ENUM in file"), std::string::npos) << text;
    EXPECT_NE(text.find("bitmapfont_"), std::string::npos) << text;
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);

    // Between glBegin and glEnd, glGenLists gives nothing (and glGetError reports nothing).
    glBegin(GL_POINTS);
    text = fontFailure();
    glEnd();
    while (glGetError() != GL_NO_ERROR) {}
    EXPECT_NE(text.find("glGenLists found no 96 free display lists for the bitmap font"), std::string::npos) << text;
}

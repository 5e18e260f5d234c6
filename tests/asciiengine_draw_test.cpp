// AsciiEngine under Xvfb: viewport arithmetic, the font chart's two bands, additive drawing,
// the vertex-array draw against the one-quad-per-begin/end reference, the missing chart report.
//
// The tests write their own 640 x 100 chart (8 x 10 pixels a glyph). A glyph's top pixel row
// spells its code in binary (foreground band only); below it the foreground band is lit in the left
// half and the background band in the right half. Drawn at 1:1, a cell then shows its code in the
// top row, its foreground colour on the left and its background colour on the right.
#include "test_support.h"
#include "util/asciiengine/asciiengine.h"
#include "util/data/data.h"
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

// >> a minimal PNG writer (stored deflate blocks), enough for test images
static uint32_t crc32Of(const uint8_t* p, size_t n, uint32_t crc = 0)
{
    crc = ~crc;
    for (size_t i = 0; i < n; i++) {
        crc ^= p[i];
        for (int k = 0; k < 8; k++) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

static void put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 3; i >= 0; i--) out.push_back((uint8_t)(v >> (8 * i)));
}

static void chunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& body)
{
    put32(png, (uint32_t)body.size());
    size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), body.begin(), body.end());
    put32(png, crc32Of(png.data() + start, png.size() - start));
}

// RGB (or RGBA) rows, top row first.
static std::vector<uint8_t> encodePng(int width, int height, const std::vector<uint8_t>& rgb, int channels = 3)
{
    std::vector<uint8_t> raw;
    const size_t row = (size_t)width * channels;
    for (int y = 0; y < height; y++) {
        raw.push_back(0);
        raw.insert(raw.end(), rgb.begin() + y * row, rgb.begin() + (y + 1) * row);
    }
    std::vector<uint8_t> z = {0x78, 0x01};
    for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        size_t n = std::min<size_t>(65535, raw.size() - at);
        z.push_back(at + n == raw.size() ? 1 : 0);
        z.push_back((uint8_t)n);
        z.push_back((uint8_t)(n >> 8));
        z.push_back((uint8_t)~n);
        z.push_back((uint8_t)(~n >> 8));
        z.insert(z.end(), raw.begin() + at, raw.begin() + at + n);
        if (at + n == raw.size()) break;
    }
    uint32_t a = 1, b = 0;
    for (uint8_t c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    put32(z, (b << 16) | a);
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    std::vector<uint8_t> header;
    put32(header, (uint32_t)width);
    put32(header, (uint32_t)height);
    header.insert(header.end(), {8, (uint8_t)(channels == 4 ? 6 : 2), 0, 0, 0});
    chunk(png, "IHDR", header);
    chunk(png, "IDAT", z);
    chunk(png, "IEND", {});
    return png;
}

// >> the test chart
enum { GLYPH_W = 8, GLYPH_H = 10, CHART_W = 80 * GLYPH_W, CHART_H = 10 * GLYPH_H };

// In `folder`; with `translucent`, alpha falls off across each glyph instead of being opaque.
static void writeTestChart(const std::string& folder = ".", bool translucent = false)
{
    const int channels = translucent ? 4 : 3;
    std::vector<uint8_t> rgb(CHART_W * CHART_H * channels, 0);
    auto light = [&](int px, int py) { memset(&rgb[(py * CHART_W + px) * channels], 255, 3); };
    if (translucent)
        for (int i = 0; i < CHART_W * CHART_H; i++) rgb[i * 4 + 3] = (uint8_t)(255 - (i % CHART_W % GLYPH_W) * 20);
    for (int code = 0; code < 256; code++) {
        int column = code % 80, bandRow = code / 80;
        // Image rows from the top: the foreground band occupies chart rows 0-3, background rows 4-7.
        for (int band = 0; band < 2; band++) {
            int left = column * GLYPH_W, top = (band * 4 + bandRow) * GLYPH_H;
            for (int gy = 0; gy < GLYPH_H; gy++) {
                for (int gx = 0; gx < GLYPH_W; gx++) {
                    bool lit = gy == 0 ? band == 0 && (code >> (7 - gx) & 1) : (band == 0) == (gx < GLYPH_W / 2);
                    if (lit) light(left + gx, top + gy);
                }
            }
        }
    }
    for (const char* sub : {"", "/data", "/data/common", "/data/common/images"}) mkdir((folder + sub).c_str(), 0755);
    writeTestFile(folder + "/data/common/images/asciichart.png", encodePng(CHART_W, CHART_H, rgb, channels));
}

static AsciiEngine* testEngine()
{
    static AsciiEngine* engine = nullptr;
    if (!engine) {
        writeTestChart();
        engine = new AsciiEngine();
    }
    return engine;
}

// Draws go to an off-screen target of the size under test, so one window serves every size.
static int s_targetW, s_targetH;

static void useTarget(int width, int height)
{
    static GLuint fbo, colour;
    if (!fbo) {
        glGenFramebuffersEXT(1, &fbo);
        glGenRenderbuffersEXT(1, &colour);
    }
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fbo);
    glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, colour);
    glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_RGBA8, width, height);
    glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_RENDERBUFFER_EXT, colour);
    ASSERT_EQ(glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT), (GLenum)GL_FRAMEBUFFER_COMPLETE_EXT);
    s_targetW = width;
    s_targetH = height;
}

// RGBA rows of the target, bottom row first.
static std::vector<uint8_t> readTarget()
{
    std::vector<uint8_t> pixels((size_t)s_targetW * s_targetH * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_COLOR_ATTACHMENT0_EXT);
    glReadPixels(0, 0, s_targetW, s_targetH, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

static const uint8_t* pixelAt(const std::vector<uint8_t>& px, int x, int y) { return &px[((size_t)y * s_targetW + x) * 4]; }

static void clearScreen(float r, float g, float b, float a = 1)
{
    glViewport(0, 0, s_targetW, s_targetH);
    glDisable(GL_BLEND);
    glClearColor(r, g, b, a);
    glClear(GL_COLOR_BUFFER_BIT);
}

// The byte a palette intensity becomes in the 8-bit frame buffer (0.5 may round either way).
static bool near(int actual, float intensity) { return abs(actual - (int)(intensity * 255 + 0.5f)) <= 1; }

TEST(AsciiViewport, LargestWholeMultipleCentred)
{
    AsciiViewport vp = asciiViewport(1599, 999);
    EXPECT_EQ(vp.x, 39);
    EXPECT_EQ(vp.y, 24);
    EXPECT_EQ(vp.width, 1520);
    EXPECT_EQ(vp.height, 950);
    vp = asciiViewport(79, 49);
    EXPECT_EQ(vp.width, 0);
    EXPECT_EQ(vp.height, 0);
    EXPECT_EQ(vp.x, 39);
    EXPECT_EQ(vp.y, 24);
    vp = asciiViewport(1, 1);
    EXPECT_EQ(vp.x + vp.y + vp.width + vp.height, 0);
    vp = asciiViewport(-5, 0);
    EXPECT_EQ(vp.x + vp.y + vp.width + vp.height, 0);
}

// The window, the engine over the test chart, and an off-screen target of the given size.
#define REQUIRE_ENGINE_AND_TARGET(width, height)       \
    REQUIRE_GL_WINDOW(640, 500);                        \
    AsciiEngine* engine = testEngine();                 \
    useTarget(width, height);                           \
    engine->windowWidth = width;                        \
    engine->windowHeight = height

TEST(AsciiEngine, ConstructionLoadsTheChartAndClearsTheGrid)
{
    REQUIRE_GL_WINDOW(640, 500);
    AsciiEngine* engine = testEngine();
    EXPECT_NE(engine->font.textureId, 0u);
    EXPECT_EQ(engine->windowWidth, 1);
    EXPECT_EQ(engine->windowHeight, 1);
    for (int i = 0; i < GRID_CELLS; i++) {
        ASSERT_EQ(engine->chars[i], 0);
        ASSERT_EQ(engine->foreground[i], 0);
        ASSERT_EQ(engine->background[i], 0);
    }
    // The layers lie back to back, so one fill from chars clears all three.
    EXPECT_EQ(engine->foreground, engine->chars + GRID_CELLS);
    EXPECT_EQ(engine->background, engine->foreground + GRID_CELLS);

    // Reading the chart back leaves the caller's pixel pack alignment as it was.
    glPixelStorei(GL_PACK_ALIGNMENT, 8);
    delete new AsciiEngine();
    GLint alignment = 0;
    glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
    EXPECT_EQ(alignment, 8);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(AsciiEngine, EveryCodeAndColourLandsInItsCell)
{
    REQUIRE_ENGINE_AND_TARGET(640, 500);
    for (int i = 0; i < GRID_CELLS; i++) {
        engine->chars[i] = (uint8_t)(i * 7);
        engine->foreground[i] = (uint8_t)(1 + i % 15);
        engine->background[i] = (uint8_t)(i / 3 % 16);
    }
    clearScreen(0, 0, 0);
    engine->draw();
    std::vector<uint8_t> px = readTarget();
    auto at = [&](int x, int yFromTop) { return pixelAt(px, x, 499 - yFromTop); };
    for (int cell = 0; cell < GRID_CELLS; cell++) {
        int cx = cell % 80 * GLYPH_W, cy = cell / 80 * GLYPH_H;
        const float* fg = engine->palette[engine->foreground[cell]];
        const float* bg = engine->palette[engine->background[cell]];
        int code = 0;
        for (int b = 0; b < 8; b++) code = code << 1 | (at(cx + b, cy)[0] + at(cx + b, cy)[1] + at(cx + b, cy)[2] > 0);
        ASSERT_EQ(code, engine->chars[cell]) << "cell " << cell;
        const uint8_t* left = at(cx + 1, cy + 5);
        const uint8_t* right = at(cx + 6, cy + 5);
        for (int c = 0; c < 3; c++) {
            ASSERT_TRUE(near(left[c], fg[c])) << "cell " << cell << " channel " << c << " got " << (int)left[c];
            ASSERT_TRUE(near(right[c], bg[c])) << "cell " << cell << " channel " << c << " got " << (int)right[c];
        }
    }
    engine->clear();
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(AsciiEngine, ClearedGridAddsBlackAndDrawingIsAdditive)
{
    REQUIRE_ENGINE_AND_TARGET(640, 500);
    engine->clear();
    clearScreen(0.2f, 0.4f, 0.6f);
    std::vector<uint8_t> before = readTarget();
    engine->draw();
    EXPECT_TRUE(readTarget() == before);

    // Dark blue background: the right half of cell (0, 0) gains half a blue, the rest is kept.
    engine->background[0] = 1;
    clearScreen(0.2f, 0.4f, 0.2f);
    engine->draw();
    std::vector<uint8_t> px = readTarget();
    const uint8_t* right = pixelAt(px, 6, 495);
    EXPECT_NEAR(right[0], 51, 1);
    EXPECT_NEAR(right[1], 102, 1);
    EXPECT_NEAR(right[2], 51 + 128, 1);
    EXPECT_NEAR(pixelAt(px, 1, 495)[2], 51, 1);
    // Bright white on white saturates.
    engine->foreground[0] = 15;
    engine->background[0] = 15;
    clearScreen(0.2f, 0.4f, 0.2f);
    engine->draw();
    px = readTarget();
    const uint8_t* left = pixelAt(px, 1, 495);
    EXPECT_EQ(left[0] + left[1] + left[2], 3 * 255);
    engine->clear();
}

TEST(AsciiEngine, ZeroSizeViewportDrawsNothing)
{
    REQUIRE_ENGINE_AND_TARGET(640, 500);
    memset(engine->chars, 255, GRID_CELLS);
    memset(engine->foreground, 15, GRID_CELLS);
    memset(engine->background, 15, GRID_CELLS);
    const int sizes[][2] = {{79, 500}, {640, 49}, {0, 0}};
    for (const auto& size : sizes) {
        engine->windowWidth = size[0];
        engine->windowHeight = size[1];
        clearScreen(0.2f, 0.4f, 0.6f);
        std::vector<uint8_t> before = readTarget();
        engine->draw();
        EXPECT_TRUE(readTarget() == before) << size[0] << "x" << size[1];
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    }
    engine->clear();
}

TEST(AsciiEngine, ViewportFor1599x999IsCentredWith19PixelCells)
{
    REQUIRE_ENGINE_AND_TARGET(1599, 999);
    // Code 255 in white on white lights every pixel of a cell.
    memset(engine->chars, 255, GRID_CELLS);
    memset(engine->foreground, 15, GRID_CELLS);
    memset(engine->background, 15, GRID_CELLS);
    clearScreen(0, 0, 0);
    engine->draw();
    std::vector<uint8_t> px = readTarget();
    auto lit = [&](int x, int y) { return pixelAt(px, x, y)[0] == 255; };
    for (int y : {24, 500, 973}) {
        EXPECT_FALSE(lit(38, y)) << y;
        EXPECT_TRUE(lit(39, y)) << y;
        EXPECT_TRUE(lit(1558, y)) << y;
        EXPECT_FALSE(lit(1559, y)) << y;
    }
    for (int x : {39, 800, 1558}) {
        EXPECT_FALSE(lit(x, 23)) << x;
        EXPECT_TRUE(lit(x, 24)) << x;
        EXPECT_TRUE(lit(x, 973)) << x;
        EXPECT_FALSE(lit(x, 974)) << x;
    }
    // 19 x 19 pixel cells show an 8 x 10 glyph: 2.375 pixels a texel across, 1.9 down.
    // Code 1 lights only the last bit of the glyph's top row.
    engine->clear();
    engine->chars[0] = 1;
    engine->foreground[0] = 15;
    clearScreen(0, 0, 0);
    engine->draw();
    px = readTarget();
    EXPECT_TRUE(lit(39 + 18, 973));
    EXPECT_FALSE(lit(39 + 15, 973));
    EXPECT_TRUE(lit(39 + 18, 972));  // still the glyph's top row
    EXPECT_FALSE(lit(39 + 18, 971)); // second row: only the left half is lit
    EXPECT_TRUE(lit(39 + 1, 971));
    EXPECT_FALSE(lit(39 + 19, 971)); // cell (1, 0) is empty
    engine->clear();
}

// Same pixels both ways, at 1:1, at a scale where cells are not square, and at full HD.
TEST(AsciiEngine, VertexArrayDrawMatchesOneQuadPerBeginEnd)
{
    const int sizes[][2] = {{640, 500}, {1037, 713}, {1920, 1080}};
    for (const auto& size : sizes) {
        REQUIRE_ENGINE_AND_TARGET(size[0], size[1]);
        srand(7);
        for (int i = 0; i < GRID_CELLS; i++) {
            engine->chars[i] = (uint8_t)rand();
            engine->foreground[i] = (uint8_t)(rand() % 16);
            engine->background[i] = (uint8_t)(rand() % 16);
        }
        clearScreen(0.1f, 0.2f, 0.3f);
        engine->drawImmediate();
        std::vector<uint8_t> reference = readTarget();
        clearScreen(0.1f, 0.2f, 0.3f);
        engine->draw();
        std::vector<uint8_t> fast = readTarget();
        size_t differing = 0, lit = 0;
        for (size_t i = 0; i < fast.size(); i++) {
            differing += fast[i] != reference[i];
            lit += fast[i] == 255;
        }
        EXPECT_EQ(differing, 0u) << size[0] << "x" << size[1];
        EXPECT_GT(lit, fast.size() / 20) << size[0] << "x" << size[1];
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
        engine->clear();
    }
}

// Fills the grid with a mix: empty cells, black on colour, colour on black, colour on colour.
static void fillMixedGrid(AsciiEngine* engine)
{
    srand(11);
    for (int i = 0; i < GRID_CELLS; i++) {
        engine->chars[i] = (uint8_t)rand();
        int kind = rand() % 4;
        engine->foreground[i] = (uint8_t)(kind & 1 ? rand() % 16 : 0);
        engine->background[i] = (uint8_t)(kind & 2 ? rand() % 16 : 0);
    }
}

static size_t differingBytes(AsciiEngine* engine, float clearAlpha, bool overClear = false)
{
    clearScreen(0.1f, 0.2f, 0.3f, clearAlpha);
    engine->drawImmediate();
    std::vector<uint8_t> reference = readTarget();
    clearScreen(0.1f, 0.2f, 0.3f, clearAlpha);
    engine->draw(overClear);
    std::vector<uint8_t> fast = readTarget();
    size_t differing = 0;
    for (size_t i = 0; i < fast.size(); i++) differing += fast[i] != reference[i];
    return differing;
}

// Black quads are left out only where they add nothing; state that makes them count, left on by
// whatever drew before, must give the same pixels (alpha included) as drawing every quad.
TEST(AsciiEngine, SamePixelsWhateverStateWasLeftOn)
{
    REQUIRE_ENGINE_AND_TARGET(1037, 713);
    fillMixedGrid(engine);
    EXPECT_EQ(differingBytes(engine, 0), 0u) << "alpha from 0";
    EXPECT_EQ(differingBytes(engine, 0.5f), 0u) << "alpha from 0.5";
    // Over a clear, a grid of mostly black cells (the snake's playfield) clears them to opaque;
    // the caller's scissor and clear colour stay as they were.
    EXPECT_EQ(differingBytes(engine, 0, true), 0u) << "over a clear";
    for (int i = 0; i < GRID_CELLS * 3 / 4; i++) engine->foreground[i] = engine->background[i] = 0;
    EXPECT_EQ(differingBytes(engine, 0, true), 0u) << "mostly black over a clear";
    EXPECT_EQ(differingBytes(engine, 0.5f, true), 0u) << "mostly black over a clear, alpha from 0.5";
    glScissor(1, 2, 3, 4);
    EXPECT_EQ(differingBytes(engine, 0, true), 0u);
    GLint box[4];
    glGetIntegerv(GL_SCISSOR_BOX, box);
    EXPECT_EQ(box[0] + box[1] + box[2] + box[3], 10);
    EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
    GLfloat clearColour[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColour);
    EXPECT_EQ(clearColour[3], 0.0f);
    fillMixedGrid(engine);

    glEnable(GL_FOG);
    glFogi(GL_FOG_MODE, GL_LINEAR);
    glFogf(GL_FOG_START, -1);
    glFogf(GL_FOG_END, 1);
    const float fogColour[4] = {0.6f, 0, 0, 1};
    glFogfv(GL_FOG_COLOR, fogColour);
    EXPECT_EQ(differingBytes(engine, 0), 0u) << "fog";
    glDisable(GL_FOG);

    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_ADD);
    EXPECT_EQ(differingBytes(engine, 0), 0u) << "texture function add";
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);

    glEnable(GL_COLOR_SUM);
    glSecondaryColor3f(0.2f, 0.2f, 0.2f);
    EXPECT_EQ(differingBytes(engine, 0), 0u) << "colour sum";
    glDisable(GL_COLOR_SUM);
    glSecondaryColor3f(0, 0, 0);

    glBlendEquation(GL_FUNC_REVERSE_SUBTRACT);
    EXPECT_EQ(differingBytes(engine, 0.5f), 0u) << "reverse subtract";
    glBlendEquation(GL_FUNC_ADD);

    // A grey texture added on unit 1.
    GLuint grey = 0;
    const uint8_t greyTexel[4] = {50, 50, 50, 255};
    glActiveTexture(GL_TEXTURE1);
    glGenTextures(1, &grey);
    glBindTexture(GL_TEXTURE_2D, grey);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, greyTexel);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_ADD);
    glEnable(GL_TEXTURE_2D);
    glActiveTexture(GL_TEXTURE0);
    EXPECT_EQ(differingBytes(engine, 0), 0u) << "second texture unit";
    glActiveTexture(GL_TEXTURE1);
    glDisable(GL_TEXTURE_2D);
    glDeleteTextures(1, &grey);
    glActiveTexture(GL_TEXTURE0);

    engine->palette[3][3] = 0.2f; // two quads a pixel: only alphas below 0.5 can show
    EXPECT_EQ(differingBytes(engine, 0), 0u) << "translucent palette entry";
    engine->palette[3][3] = 1.0f;
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    engine->clear();
}

TEST(AsciiEngine, SamePixelsWithATranslucentChart)
{
    REQUIRE_GL_WINDOW(640, 500);
    writeTestChart("translucent", true);
    setDataDirectory("translucent");
    AsciiEngine* engine = new AsciiEngine();
    setDataDirectory("");
    useTarget(1037, 713);
    engine->windowWidth = 1037;
    engine->windowHeight = 713;
    fillMixedGrid(engine);
    EXPECT_EQ(differingBytes(engine, 0), 0u);
    EXPECT_EQ(differingBytes(engine, 0.5f), 0u);
    delete engine;
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(AsciiEngine, LeavesClientArraysAsItFoundThem)
{
    REQUIRE_ENGINE_AND_TARGET(640, 500);
    // A normal array left enabled by someone else, pointing nowhere: it must not be read.
    glNormalPointer(GL_FLOAT, 0, nullptr);
    glEnableClientState(GL_NORMAL_ARRAY);
    engine->draw();
    EXPECT_TRUE(glIsEnabled(GL_NORMAL_ARRAY));
    EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));
    EXPECT_FALSE(glIsEnabled(GL_COLOR_ARRAY));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
    glDisableClientState(GL_NORMAL_ARRAY);
    // The state the draw sets is left for the scene.
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    GLint src = 0, dst = 0;
    glGetIntegerv(GL_BLEND_SRC, &src);
    glGetIntegerv(GL_BLEND_DST, &dst);
    EXPECT_EQ(src, GL_ONE);
    EXPECT_EQ(dst, GL_ONE);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(AsciiEngineDeathTest, MissingFontChartIsFatal)
{
    REQUIRE_GL_WINDOW(640, 500);
    EXPECT_EXIT(
        {
            setDataDirectory("no-such-folder");
            AsciiEngine engine;
        },
        testing::ExitedWithCode(1), "asciichart.png");
}

// content_images: every picture of the show in data/ decodes with the show's own decoders and has
// the size, format and layout its scene relies on; the text-mode pictures render through the real
// AsciiEngine with the real font chart.
//
// Runs against the committed data tree (the test changes into the source folder). The GL test
// also leaves ascii_<picture>.ppm files in its scratch folder: the pictures as the show draws them.
#include "support/test_support.h"
#include "util/asciiengine/asciiengine.h"
#include "util/asciiengine/rawloader.h"
#include "util/asciiengine/rotozoom.h"
#include "util/data/data.h"
#include "util/texture/jpg_loader.h"
#include "util/texture/png_loader.h"
#include "util/texture/texture.h"

#include <gtest/gtest.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The greeted names, in the order of the glow-greetings list.
const char* const GREETED[19] = {
    "quartzmoth", "velanix", "orrinkale", "tinfoilorchard", "basaltchoir", "neonmarrow",
    "copperwyrm", "glasspike", "vortenfeld", "ochrelantern", "umbrafold", "saltmarshcartel",
    "hexaburrow", "cobaltine", "wintermint", "pelicanstatic", "zephyrlogic", "moirehounds",
    "brassfern",
};

struct Picture {
    const char* path;
    int width, height;
};

const Picture RAW_PICTURES[] = {
    {"data/textsnake/snakeinterface.raw", 80, 50},
    {"data/textbigsprite/halvos.raw", 256, 256},
    {"data/textbigsprite/halvoren.raw", 300, 80},
    {"data/textfire/firetext1.raw", 80, 50},
    {"data/textfire/firetext2.raw", 80, 50},
    {"data/textdance/dance1.raw", 80, 50},
    {"data/textdance/dance2.raw", 80, 50},
    {"data/textdance/dance3.raw", 80, 50},
    {"data/textdance/dance4.raw", 80, 50},
    {"data/textdance/rotozoom.raw", 256, 256},
};

// Decoded pixels of one image, top row first, always 4 bytes a pixel.
struct Image {
    int width = 0, height = 0;
    bool hasAlpha = false;
    std::vector<uint8_t> rgba;
    const uint8_t* at(int x, int y) const { return &rgba[((size_t)y * width + x) * 4]; }
};

// The test's own scratch folder, where the rendered pictures go.
std::string s_scratch;

class ContentImages : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char cwd[4096];
        ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
        s_scratch = cwd;
        ASSERT_EQ(0, chdir(sourcePath("").c_str()));
        accessMode = ACCESS_LOOSE;
    }
};

// Decodes through Texture's loaders (no GL) and turns the bottom-up rows back to top-down.
bool decodeImage(const std::string& path, Image* out)
{
    Texture texture;
    bool isPng = path.size() > 4 && path.compare(path.size() - 4, 4, ".png") == 0;
    bool ok = isPng ? loadPng(path.c_str(), texture) : loadJpg(path.c_str(), texture);
    if (!ok || !texture.imageData) return false;
    int bytes = texture.bitsPerPixel / 8;
    out->width = texture.width;
    out->height = texture.height;
    out->hasAlpha = texture.format == GL_RGBA;
    out->rgba.assign((size_t)out->width * out->height * 4, 255);
    for (int y = 0; y < out->height; y++) {
        const uint8_t* row = texture.imageData + (size_t)(out->height - 1 - y) * out->width * bytes;
        for (int x = 0; x < out->width; x++) {
            for (int c = 0; c < bytes; c++) out->rgba[((size_t)y * out->width + x) * 4 + c] = row[x * bytes + c];
        }
    }
    free(texture.imageData);
    texture.imageData = nullptr;
    return true;
}

double luminance(const uint8_t* p) { return 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]; }

double meanLuminance(const Image& image)
{
    double sum = 0;
    for (int y = 0; y < image.height; y++)
        for (int x = 0; x < image.width; x++) sum += luminance(image.at(x, y));
    return sum / ((double)image.width * image.height);
}

void expectWidescreen(const Image& image, const std::string& path)
{
    EXPECT_GE(image.width, 1280) << path;
    EXPECT_EQ(image.width * 9, image.height * 16) << path << " is not 16:9";
}

std::vector<uint8_t> rawCells(const Picture& picture)
{
    std::vector<uint8_t> cells((size_t)picture.width * picture.height, 0);
    EXPECT_TRUE(loadRawCells(picture.path, RAW_COLOUR_MAP, cells.data(), cells.size())) << picture.path;
    return cells;
}

// >> font chart

TEST_F(ContentImages, FontChartHoldsEveryCodeInBothBands)
{
    Image chart;
    ASSERT_TRUE(decodeImage("data/common/images/asciichart.png", &chart));
    ASSERT_EQ(0, chart.width % 80);
    ASSERT_EQ(0, chart.height % 10);
    const int cw = chart.width / 80, ch = chart.height / 10;
    ASSERT_GE(cw, 8);
    ASSERT_GE(ch, 8);
    auto lit = [&](int x, int y) { return chart.at(x, y)[0] > 127; };
    for (int code = 0; code < 256; code++) {
        int left = (code % 80) * cw;
        int fgTop = (code / 80) * ch, bgTop = (4 + code / 80) * ch;
        int ink = 0;
        for (int y = 0; y < ch; y++) {
            for (int x = 0; x < cw; x++) {
                bool fg = lit(left + x, fgTop + y), bg = lit(left + x, bgTop + y);
                ASSERT_NE(fg, bg) << "code " << code << ": the bands must complement each other";
                ink += fg;
            }
        }
        bool blank = code == 0 || code == 32 || code == 255;
        if (blank) EXPECT_EQ(0, ink) << "code " << code;
        else EXPECT_GT(ink, 0) << "code " << code << " has no glyph";
    }
    // The full block fills its cell; the shades get denser from 176 to 178.
    auto inkOf = [&](int code) {
        int n = 0;
        for (int y = 0; y < ch; y++)
            for (int x = 0; x < cw; x++) n += lit((code % 80) * cw + x, (code / 80) * ch + y);
        return n;
    };
    EXPECT_EQ(cw * ch, inkOf(219));
    EXPECT_LT(inkOf(176), inkOf(177));
    EXPECT_LT(inkOf(177), inkOf(178));
    // Unused places and the unused band at the bottom are black.
    for (int y = 8 * ch; y < chart.height; y++)
        for (int x = 0; x < chart.width; x++) ASSERT_FALSE(lit(x, y)) << x << "," << y;
    for (int y = 3 * ch; y < 4 * ch; y++)
        for (int x = 16 * cw; x < chart.width; x++) ASSERT_FALSE(lit(x, y)) << x << "," << y;
}

// >> pictures

TEST_F(ContentImages, LogoIsWideWithSoftTransparency)
{
    Image logo;
    ASSERT_TRUE(decodeImage("data/common/images/halvoren_logo_transp.png", &logo));
    EXPECT_TRUE(logo.hasAlpha);
    EXPECT_GE(logo.width, 2 * logo.height);
    int clear = 0, solid = 0, partial = 0;
    for (int y = 0; y < logo.height; y++) {
        for (int x = 0; x < logo.width; x++) {
            int a = logo.at(x, y)[3];
            clear += a == 0;
            solid += a == 255;
            partial += a > 0 && a < 255;
        }
    }
    EXPECT_GT(clear, logo.width * logo.height / 4);
    EXPECT_GT(solid, logo.width * logo.height / 20);
    EXPECT_GT(partial, 0);
    // The corners are fully transparent, so the quad's edges never show.
    EXPECT_EQ(0, logo.at(0, 0)[3]);
    EXPECT_EQ(0, logo.at(logo.width - 1, logo.height - 1)[3]);
}

TEST_F(ContentImages, ParticleIsSoftRoundAndFadesToNothing)
{
    Image p;
    ASSERT_TRUE(decodeImage("data/common/images/own_particle_256.png", &p));
    ASSERT_EQ(256, p.width);
    ASSERT_EQ(256, p.height);
    EXPECT_GT(luminance(p.at(128, 128)), 240);
    EXPECT_GT(luminance(p.at(128, 128)), luminance(p.at(128, 160)));
    EXPECT_GT(luminance(p.at(128, 160)), luminance(p.at(128, 200)));
    // Round: equal at equal distances across and down; nothing at the rim or corners.
    EXPECT_NEAR(luminance(p.at(128, 170)), luminance(p.at(170, 128)), 3.0);
    EXPECT_EQ(0, p.at(0, 0)[0]);
    EXPECT_EQ(0, p.at(128, 0)[0]);
    EXPECT_EQ(0, p.at(255, 128)[3]);
}

TEST_F(ContentImages, StoneWallTilesAndMatchesItsNormalMap)
{
    Image wall, normal;
    ASSERT_TRUE(decodeImage("data/common/images/stone_wall.png", &wall));
    ASSERT_TRUE(decodeImage("data/common/images/stone_wall_normal_map.png", &normal));
    EXPECT_EQ(wall.width, normal.width);
    EXPECT_EQ(wall.height, normal.height);
    EXPECT_EQ(0, wall.width & (wall.width - 1)) << "power of two for mipmaps and repeat";
    EXPECT_EQ(0, wall.height & (wall.height - 1));
    // Tiling: the step across the wrap seam is no larger than an ordinary step between columns.
    auto columnStep = [&](const Image& im, int a, int b) {
        double sum = 0;
        for (int y = 0; y < im.height; y++) sum += fabs(luminance(im.at(a, y)) - luminance(im.at(b, y)));
        return sum / im.height;
    };
    auto rowStep = [&](const Image& im, int a, int b) {
        double sum = 0;
        for (int x = 0; x < im.width; x++) sum += fabs(luminance(im.at(x, a)) - luminance(im.at(x, b)));
        return sum / im.width;
    };
    double inner = columnStep(wall, wall.width / 2, wall.width / 2 + 1);
    EXPECT_LT(columnStep(wall, wall.width - 1, 0), 2.5 * inner + 2);
    EXPECT_LT(rowStep(wall, wall.height - 1, 0), 2.5 * rowStep(wall, wall.height / 2, wall.height / 2 + 1) + 2);
    // Tangent-space normals: unit length, facing out of the wall.
    for (int y = 0; y < normal.height; y += 7) {
        for (int x = 0; x < normal.width; x += 7) {
            const uint8_t* n = normal.at(x, y);
            double nx = n[0] / 127.5 - 1, ny = n[1] / 127.5 - 1, nz = n[2] / 127.5 - 1;
            ASSERT_GT(nz, 0.2) << x << "," << y;
            ASSERT_NEAR(1.0, sqrt(nx * nx + ny * ny + nz * nz), 0.03) << x << "," << y;
        }
    }
}

TEST_F(ContentImages, GreetingsAreBrightTextOnBlack)
{
    Image g;
    ASSERT_TRUE(decodeImage("data/greetings/greetings.png", &g));
    expectWidescreen(g, "greetings.png");
    // It is added over the oscilloscope: mostly black, so the trace stays visible.
    int black = 0, bright = 0;
    for (int y = 0; y < g.height; y++) {
        for (int x = 0; x < g.width; x++) {
            double l = luminance(g.at(x, y));
            black += l < 8;
            bright += l > 200;
        }
    }
    EXPECT_GT(black, g.width * g.height * 7 / 10);
    EXPECT_GT(bright, g.width * g.height / 200);
}

TEST_F(ContentImages, SlideShowHasEightWidescreenPictures)
{
    for (int i = 1; i <= 8; i++) {
        char path[64];
        snprintf(path, sizeof path, "data/randomsspics/pic%02d.jpg", i);
        Image pic;
        ASSERT_TRUE(decodeImage(path, &pic)) << path;
        expectWidescreen(pic, path);
        // Not flat: a real picture spreads over the brightness range.
        double mean = meanLuminance(pic), var = 0;
        for (int y = 0; y < pic.height; y += 3)
            for (int x = 0; x < pic.width; x += 3) var += pow(luminance(pic.at(x, y)) - mean, 2);
        var /= (double)(pic.height / 3) * (pic.width / 3);
        EXPECT_GT(sqrt(var), 12.0) << path;
    }
}

TEST_F(ContentImages, GlowGreetingsHaveAPictureAndAMatchingMaskEach)
{
    for (const char* name : GREETED) {
        std::string picPath = std::string("data/glowgreets/") + name + ".jpg";
        std::string maskPath = std::string("data/glowgreets/") + name + "_mask.jpg";
        Image pic, mask;
        ASSERT_TRUE(decodeImage(picPath, &pic)) << picPath;
        ASSERT_TRUE(decodeImage(maskPath, &mask)) << maskPath;
        expectWidescreen(pic, picPath);
        EXPECT_EQ(pic.width, mask.width) << name;
        EXPECT_EQ(pic.height, mask.height) << name;
        // The mask is black and white (JPEG leaves a little grey at the edges), with the
        // letters white: a real share of the picture, but far from all of it.
        int white = 0, black = 0, total = mask.width * mask.height;
        double litInPicture = 0, darkInPicture = 0;
        for (int y = 0; y < mask.height; y++) {
            for (int x = 0; x < mask.width; x++) {
                double m = luminance(mask.at(x, y));
                if (m > 200) {
                    white++;
                    litInPicture += luminance(pic.at(x, y));
                } else if (m < 40) {
                    black++;
                    darkInPicture += luminance(pic.at(x, y));
                }
            }
        }
        EXPECT_GT(white + black, total * 95 / 100) << name;
        EXPECT_GT(white, total / 50) << name;
        EXPECT_LT(white, total / 3) << name;
        // The mask marks the name: where it is white the picture is brighter than elsewhere.
        EXPECT_GT(litInPicture / white, 1.5 * darkInPicture / black) << name;
    }
}

// >> text-mode pictures

TEST_F(ContentImages, RawPicturesHaveTheirExactSizeAndSixteenColours)
{
    for (const Picture& picture : RAW_PICTURES) {
        std::vector<uint8_t> bytes = readTestFile(picture.path);
        ASSERT_EQ((size_t)picture.width * picture.height, bytes.size()) << picture.path;
        int used = 0;
        for (uint8_t b : bytes) {
            ASSERT_LT(b, 16) << picture.path;
            used += b != 0;
        }
        EXPECT_GT(used, 0) << picture.path;
    }
}

TEST_F(ContentImages, SnakeInterfaceLeavesPlayfieldAndTextCellsClear)
{
    std::vector<uint8_t> cells = rawCells(RAW_PICTURES[0]);
    auto cell = [&](int x, int y) { return cells[(size_t)y * 80 + x]; };
    // The playfield (1-48 both ways) is transparent, the frame around it is not.
    for (int y = 1; y <= 48; y++)
        for (int x = 1; x <= 48; x++) ASSERT_EQ(0, cell(x, y)) << x << "," << y;
    for (int i = 0; i <= 49; i++) {
        EXPECT_NE(0, cell(i, 0));
        EXPECT_NE(0, cell(i, 49));
        EXPECT_NE(0, cell(0, i));
        EXPECT_NE(0, cell(49, i));
    }
    // Behind the panel texts (rows 3-7 from column 55, numbers to column 77; the menu at rows
    // 24-26 from column 53) lies nothing but the texts' own dark green, or nothing at all.
    const uint8_t DARK_GREEN = 2;
    for (int y = 3; y <= 7; y++)
        for (int x = 55; x <= 77; x++) EXPECT_TRUE(cell(x, y) == 0 || cell(x, y) == DARK_GREEN) << x << "," << y;
    for (int y = 24; y <= 26; y++)
        for (int x = 53; x <= 68; x++) EXPECT_TRUE(cell(x, y) == 0 || cell(x, y) == DARK_GREEN) << x << "," << y;
}

TEST_F(ContentImages, BigNameAndDanceFramesAreShapedForTheirScenes)
{
    // The name's border is transparent so the backdrop shows around it, and every part of the
    // panned window (x 0-220, y 0-30) shows some of the name.
    std::vector<uint8_t> name = rawCells(RAW_PICTURES[2]);
    for (int x = 0; x < 300; x++) EXPECT_EQ(0, name[x]);
    for (int x = 0; x < 300; x++) EXPECT_EQ(0, name[79 * 300 + x]);
    for (int wx = 0; wx <= 220; wx += 20) {
        for (int wy = 0; wy <= 30; wy += 10) {
            int lit = 0;
            for (int y = 0; y < 50; y++)
                for (int x = 0; x < 80; x++) lit += name[(size_t)(wy + y) * 300 + wx + x] != 0;
            EXPECT_GT(lit, 400) << "window at " << wx << "," << wy;
        }
    }
    // Four different frames of one figure of about the same size; the figure leaves the rest
    // transparent so the rotozoom shows.
    std::vector<uint8_t> frames[4];
    int sizes[4];
    for (int f = 0; f < 4; f++) {
        frames[f] = rawCells(RAW_PICTURES[5 + f]);
        sizes[f] = 0;
        for (uint8_t c : frames[f]) sizes[f] += c != 0;
        EXPECT_GT(sizes[f], 200);
        EXPECT_LT(sizes[f], 2000);
    }
    for (int a = 0; a < 4; a++)
        for (int b = a + 1; b < 4; b++) EXPECT_NE(frames[a], frames[b]) << a << " " << b;
}

// >> through the real engine

void writePpm(const std::string& path, const std::vector<uint8_t>& bottomUpRgba, int width, int height)
{
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, f);
    fprintf(f, "P6\n%d %d\n255\n", width, height);
    for (int y = height - 1; y >= 0; y--)
        for (int x = 0; x < width; x++) fwrite(&bottomUpRgba[((size_t)y * width + x) * 4], 1, 3, f);
    fclose(f);
}

TEST_F(ContentImages, RawPicturesRenderThroughTheAsciiEngine)
{
    const int W = 1280, H = 720; // 16 x 14 pixels a cell, grid 1280 x 700 from y = 10
    REQUIRE_GL_WINDOW(W, H);
    AsciiEngine engine;
    engine.windowWidth = W;
    engine.windowHeight = H;
    auto show = [&](const char* name) {
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
        glViewport(0, 0, W, H);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        engine.draw();
        std::vector<uint8_t> pixels = readTestPixels(0, 0, W, H);
        writePpm(s_scratch + "/ascii_" + name + ".ppm", pixels, W, H);
        return pixels;
    };
    auto pixel = [&](const std::vector<uint8_t>& pixels, int cx, int cy) {
        // Centre of grid cell (cx, cy), row 0 at the top.
        int px = cx * 16 + 8, py = 10 + (49 - cy) * 14 + 7;
        return &pixels[((size_t)py * W + px) * 4];
    };

    RawImage snake(&engine, 80, 50, "data/textsnake/snakeinterface.raw");
    engine.clear();
    snake.draw(0, 0);
    std::vector<uint8_t> snakePixels = show("snakeinterface");
    for (int i = 0; i < 80 * 50; i++) {
        if (snake.pixels[i] == 0) continue;
        const uint8_t* p = pixel(snakePixels, i % 80, i / 80);
        const float* want = engine.palette[snake.pixels[i]];
        ASSERT_NEAR(want[0] * 255, p[0], 2) << "cell " << i % 80 << "," << i / 80;
        ASSERT_NEAR(want[1] * 255, p[1], 2) << "cell " << i % 80 << "," << i / 80;
        ASSERT_NEAR(want[2] * 255, p[2], 2) << "cell " << i % 80 << "," << i / 80;
    }
    // The playfield stays black: the engine adds nothing where the picture is transparent.
    const uint8_t* inside = pixel(snakePixels, 24, 24);
    EXPECT_EQ(0, inside[0] + inside[1] + inside[2]);
    // The panel as the snake scene writes it: white on dark green, spaces left alone. The plate
    // under the texts is the same dark green, so a cell between two words shows plain plate.
    auto text = [&](int row, int column, const char* s) {
        for (int i = 0; s[i]; i++) {
            if (s[i] == ' ') continue;
            int cell = row * 80 + column + i;
            engine.chars[cell] = (uint8_t)s[i];
            engine.foreground[cell] = 15;
            engine.background[cell] = 2;
        }
    };
    text(3, 61, "SIZE: 15");
    text(4, 60, "SCORE: 1234");
    text(6, 55, "LAST SCORE: 98765");
    text(7, 55, "HIGH SCORE: 1234567890");
    text(24, 53, "  1 - AI snake");
    text(25, 53, "  2 - Play snake");
    text(26, 53, "ESC - Quit");
    std::vector<uint8_t> panel = show("snake_panel");
    const uint8_t* gap = pixel(panel, 56, 24); // the space in "  1 - AI snake"
    EXPECT_EQ(0, gap[0]);
    EXPECT_NEAR(128, gap[1], 2);
    EXPECT_EQ(0, gap[2]);

    RotozoomImage halvos(&engine, "data/textbigsprite/halvos.raw");
    RawImage halvoren(&engine, 300, 80, "data/textbigsprite/halvoren.raw");
    const int positions[3][2] = {{0, 0}, {110, 30}, {220, 6}};
    for (int k = 0; k < 3; k++) {
        engine.clear();
        halvos.draw(halvos.zoomTable[20 + 10 * k], halvos.shapeTable[(40 * k - 128) & 255], halvos.shapeTable[40 * k]);
        halvoren.draw(positions[k][0], positions[k][1]);
        show(("halvoren_" + std::to_string(k)).c_str());
    }
    for (int f = 1; f <= 2; f++) {
        std::string path = "data/textfire/firetext" + std::to_string(f) + ".raw";
        RawImage fire(&engine, 80, 50, path.c_str());
        engine.clear();
        fire.draw(0, 0);
        show(("firetext" + std::to_string(f)).c_str());
    }
    RotozoomImage dance(&engine, "data/textdance/rotozoom.raw");
    for (int f = 1; f <= 4; f++) {
        std::string path = "data/textdance/dance" + std::to_string(f) + ".raw";
        RawImage frame(&engine, 80, 50, path.c_str());
        engine.clear();
        dance.mode = f - 1;
        dance.draw(dance.zoomTable[24 + 8 * f], dance.shapeTable[(30 * f - 128) & 255], dance.shapeTable[30 * f]);
        frame.draw(0, 0);
        std::vector<uint8_t> pixels = show(("dance" + std::to_string(f)).c_str());
        // Wherever the frame has a colour, that colour is what the screen shows.
        for (int i = 0; i < 80 * 50; i += 7) {
            if (frame.pixels[i] == 0) continue;
            const uint8_t* p = pixel(pixels, i % 80, i / 80);
            ASSERT_NEAR(engine.palette[frame.pixels[i]][1] * 255, p[1], 2);
        }
    }
}

} // namespace

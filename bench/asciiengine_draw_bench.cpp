// AsciiEngine draw: one full 80 x 50 grid at 1280 x 720, drawn one begin/end pair per quad
// (drawImmediate, 8000 pairs) and as one vertex array (draw), in one run on the same window.
// Three grids: the showcase below; a rotozoom frame (full blocks in every cell, background 0, as
// the text-mode scenes draw); and the worst case for `draw`, no cell in black at all.
// Prints the frame time of each way (draw call until glFinish) and the ratio, checks that both
// give the same pixels, and writes a screenshot of the showcase: all 256 characters in 16 x 16
// blocks, one block per foreground colour 1-15, then a strip of the 16 background colours and one
// of the 16 foreground colours as full blocks.
//   asciiengine_draw_bench [screenshot.png]   (needs a display: run it under xvfb-run)
// Uses the font chart of the source tree's data folder; without one it makes a plain test chart.
#include "platform/platform.h"
#include "util/asciiengine/asciiengine.h"
#include "util/data/data.h"
#include <GL/glew.h>
#include <SDL.h>
#include <algorithm>
#include <png.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <sys/stat.h>
#include <vector>

enum { WINDOW_W = 1280, WINDOW_H = 720, ROUNDS = 9, FRAMES_PER_ROUND = 15 };

static void fillShowcase(AsciiEngine& e)
{
    e.clear();
    for (int block = 0; block < 15; block++) {
        int bx = block % 5 * 16, by = block / 5 * 16;
        for (int code = 0; code < 256; code++) {
            int cell = (by + code / 16) * GRID_COLUMNS + bx + code % 16;
            e.chars[cell] = (uint8_t)code;
            e.foreground[cell] = (uint8_t)(1 + block);
        }
    }
    const char digits[] = "0123456789ABCDEF";
    for (int x = 0; x < GRID_COLUMNS; x++) {
        int colour = x / 5;
        int strip = 48 * GRID_COLUMNS + x;
        e.chars[strip] = x % 5 == 2 ? (uint8_t)digits[colour] : 0;
        e.background[strip] = (uint8_t)colour;
        e.foreground[strip] = (colour >= 7 || colour == 2 || colour == 3 || colour == 6) ? 0 : 15;
        e.chars[strip + GRID_COLUMNS] = FULL_BLOCK;
        e.foreground[strip + GRID_COLUMNS] = (uint8_t)colour;
    }
}

static void fillRotozoomFrame(AsciiEngine& e)
{
    e.clear();
    for (int cell = 0; cell < GRID_CELLS; cell++) {
        e.chars[cell] = FULL_BLOCK;
        e.foreground[cell] = (uint8_t)((cell % 80 / 5 + cell / 80 / 4) % 16);
    }
}

static void fillNoBlack(AsciiEngine& e)
{
    srand(3);
    for (int cell = 0; cell < GRID_CELLS; cell++) {
        e.chars[cell] = (uint8_t)rand();
        e.foreground[cell] = (uint8_t)(1 + rand() % 15);
        e.background[cell] = (uint8_t)(1 + rand() % 15);
    }
}

static std::vector<uint8_t> readPixels()
{
    std::vector<uint8_t> px((size_t)WINDOW_W * WINDOW_H * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, WINDOW_W, WINDOW_H, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    return px;
}

static bool writePng(const char* path, int width, int height, const uint8_t* rgba, bool bottomFirst)
{
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = (png_uint_32)width;
    image.height = (png_uint_32)height;
    image.format = PNG_FORMAT_RGBA;
    int stride = bottomFirst ? -width * 4 : width * 4;
    return png_image_write_to_file(&image, path, 0, rgba, stride, nullptr) != 0;
}

// A plain chart in the engine's layout, 8 x 10 pixels a glyph: a frame around each glyph in the
// foreground band, its inside in the background band.
static void makeTestChart(const char* folder)
{
    const int w = 640, h = 100;
    std::vector<uint8_t> rgba((size_t)w * h * 4, 0);
    for (int y = 0; y < 80; y++) {
        for (int x = 0; x < w; x++) {
            int gx = x % 8, gy = y % 10;
            bool frame = gx == 0 || gx == 7 || gy == 0 || gy == 9;
            bool lit = y < 40 ? frame : !frame;
            uint8_t* p = &rgba[((size_t)y * w + x) * 4];
            p[0] = p[1] = p[2] = lit ? 255 : 0;
            p[3] = 255;
        }
    }
    std::string dir = folder;
    mkdir(dir.c_str(), 0755);
    mkdir((dir + "/data").c_str(), 0755);
    mkdir((dir + "/data/common").c_str(), 0755);
    mkdir((dir + "/data/common/images").c_str(), 0755);
    writePng((dir + "/data/common/images/asciichart.png").c_str(), w, h, rgba.data(), false);
}

static double seconds() { return (double)platformCounter() / (double)platformCounterFrequency(); }

struct Timing {
    double submit; // ms from the draw call until it returns
    double frame;  // ms from the draw call until glFinish returns
};

// Mean times of one draw over `frames` frames (each: clear, draw, glFinish).
static Timing timeFrames(AsciiEngine& e, bool immediate, int frames)
{
    Timing t = {0, 0};
    for (int i = 0; i < frames; i++) {
        glClear(GL_COLOR_BUFFER_BIT);
        glFinish();
        double start = seconds();
        if (immediate) e.drawImmediate();
        else e.draw();
        double submitted = seconds();
        glFinish();
        double finished = seconds();
        t.submit += (submitted - start) * 1000.0 / frames;
        t.frame += (finished - start) * 1000.0 / frames;
    }
    return t;
}

static bool byFrame(const Timing& a, const Timing& b) { return a.frame < b.frame; }

int main(int argc, char** argv)
{
    const char* shot = argc > 1 ? argv[1] : "asciiengine_allchars.png";
    platformSetHeadlessBoxes(true);
    setenv("SDL12COMPAT_OPENGL_SCALING", "0", 1);
    if (SDL_Init(SDL_INIT_VIDEO) < 0) {
        fprintf(stderr, "no display: %s\n", SDL_GetError());
        return 1;
    }
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    if (!SDL_SetVideoMode(WINDOW_W, WINDOW_H, 32, SDL_OPENGL) || glewInit() != GLEW_OK) {
        fprintf(stderr, "no OpenGL window\n");
        return 1;
    }

    std::string chart = std::string(HALVOREN_SOURCE_DIR) + "/data/common/images/asciichart.png";
    struct stat st;
    if (stat(chart.c_str(), &st) == 0) {
        setDataDirectory(HALVOREN_SOURCE_DIR);
        printf("font chart: %s\n", chart.c_str());
    } else {
        makeTestChart("asciiengine_bench_data");
        setDataDirectory("asciiengine_bench_data");
        printf("font chart: plain test chart (no chart in the source tree)\n");
    }
    AsciiEngine* engine = new AsciiEngine();
    engine->windowWidth = WINDOW_W;
    engine->windowHeight = WINDOW_H;
    printf("renderer: %s\n", (const char*)glGetString(GL_RENDERER));
    printf("%d rounds of %d frames each way at %d x %d, alternating; frame: draw until glFinish returns,\n"
           "submit: until the draw call returns (median round)\n\n",
           ROUNDS, FRAMES_PER_ROUND, WINDOW_W, WINDOW_H);
    printf("%-16s %-30s %10s %10s %10s %10s\n", "grid", "way", "median ms", "best ms", "worst ms", "submit ms");

    struct Grid {
        const char* name;
        void (*fill)(AsciiEngine&);
    } grids[] = {{"showcase", fillShowcase}, {"rotozoom frame", fillRotozoomFrame}, {"no black cell", fillNoBlack}};
    size_t differingTotal = 0;
    for (const Grid& grid : grids) {
        grid.fill(*engine);
        // Same pixels both ways.
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        engine->drawImmediate();
        std::vector<uint8_t> reference = readPixels();
        glClear(GL_COLOR_BUFFER_BIT);
        engine->draw();
        std::vector<uint8_t> fast = readPixels();
        size_t differing = 0;
        for (size_t i = 0; i < fast.size(); i++) differing += fast[i] != reference[i];
        differingTotal += differing;
        if (grid.fill == fillShowcase && writePng(shot, WINDOW_W, WINDOW_H, fast.data(), true))
            printf("screenshot of the showcase: %s\n", shot);

        // Warm up, then alternate rounds so drift hits both ways alike; report the median round.
        timeFrames(*engine, true, 3);
        timeFrames(*engine, false, 3);
        std::vector<Timing> immediate, arrays;
        for (int r = 0; r < ROUNDS; r++) {
            immediate.push_back(timeFrames(*engine, true, FRAMES_PER_ROUND));
            arrays.push_back(timeFrames(*engine, false, FRAMES_PER_ROUND));
        }
        std::sort(immediate.begin(), immediate.end(), byFrame);
        std::sort(arrays.begin(), arrays.end(), byFrame);
        const Timing& a = immediate[ROUNDS / 2];
        const Timing& b = arrays[ROUNDS / 2];
        printf("%-16s %-30s %10.3f %10.3f %10.3f %10.3f\n", grid.name, "one begin/end per quad (8000)", a.frame,
               immediate.front().frame, immediate.back().frame, a.submit);
        printf("%-16s %-30s %10.3f %10.3f %10.3f %10.3f\n", "", "vertex array (draw)", b.frame, arrays.front().frame,
               arrays.back().frame, b.submit);
        printf("%-16s ratio begin/end : vertex array  frame %.2fx (best %.2fx), submit %.2fx; pixels differing %zu\n",
               "", a.frame / b.frame, immediate.front().frame / arrays.front().frame, a.submit / b.submit, differing);
    }
    delete engine;
    SDL_Quit();
    return differingTotal == 0 ? 0 : 1;
}

// Shared by the text-mode scene tests: a scratch data tree with the real font chart and pictures,
// a short song on the virtual output, the driver's frame path into the shared Fbo, and reading
// that Fbo back (to save as a PNG and to compare its cells with the grid).
#pragma once

#include "scenes/demo.h"      // drawActiveScenes
#include "scenes/template.h"
#include "test_support.h"
#include "texture_images.h"   // testimg::makePng
#include "util/asciiengine/asciiengine.h"
#include "util/data/data.h"
#include "util/fbo/fbo.h"
#include "util/music/audio.h"
#include "util/music/music.h"
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <string.h>
#include <sys/stat.h>

namespace textscene {

typedef std::vector<uint8_t> Bytes;

static const int PICTURE_WIDTH = 640, PICTURE_HEIGHT = 400; // 8 x 8 pixels a cell
static const float TEST_BPM = 1200.0f;                       // 20 beats a second: the 2 s song is 40 beats

inline void makeDirs(const std::string& path)
{
    for (size_t at = path.find('/'); at != std::string::npos; at = path.find('/', at + 1))
        mkdir(path.substr(0, at).c_str(), 0755);
    mkdir(path.c_str(), 0755);
}

// Copies a file of the real data tree into the scratch folder under the same name.
inline void copyData(const std::string& name)
{
    makeDirs(name.substr(0, name.rfind('/')));
    writeTestFile(name, readTestFile(sourcePath(name)));
}

// The song (a 2 s sine) and the font chart in the scratch folder, loose files, virtual output.
inline void prepareData()
{
    makeDirs("data/common/music");
    writeTestFile("data/common/music/dubr0lp.mp3", readTestFile(sourcePath("tests/fixtures/sine344_2s.mp3")));
    copyData("data/common/images/asciichart.png");
    accessMode = ACCESS_LOOSE;
    audioUseVirtualOutput(true);
    musicResetClock();
}

inline void setBeat(Music* music, double beat)
{
    double seconds = (beat - music->beatOffset) * 60.0 / music->bpm;
    audioSetVirtualPosition(music->stream, (uint64_t)(seconds * AUDIO_SAMPLE_RATE + 0.5) * 4);
}

// The shared objects a text scene draws with, as the driver makes them.
struct Stage {
    Music* music = nullptr;
    Fbo* fbo = nullptr;
    AsciiEngine* ascii = nullptr;
    KeyState keys;

    void open()
    {
        prepareData();
        memset(&keys, 0, sizeof keys);
        fbo = new Fbo();
        fbo->resize(PICTURE_WIDTH, PICTURE_HEIGHT);
        ascii = new AsciiEngine();
        ascii->windowWidth = PICTURE_WIDTH;
        ascii->windowHeight = PICTURE_HEIGHT;
        music = new Music();
        music->bpm = TEST_BPM;
        music->play();
    }
    void close()
    {
        delete music;
        audioClose();
        audioUseVirtualOutput(false);
        delete ascii; // the Fbo is never deleted
    }
    void attach(Template* scene, float startTime, float endTime)
    {
        scene->startTime = startTime;
        scene->endTime = endTime;
        scene->music = music;
        scene->fbo = fbo;
        scene->ascii = ascii;
    }
    // One frame as the driver draws it, at `beat`.
    void frameAt(Template* scene, double beat)
    {
        setBeat(music, beat);
        music->update();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        std::vector<Template*> scenes(1, scene);
        drawActiveScenes(scenes, music, &keys, PICTURE_WIDTH, PICTURE_HEIGHT);
    }
};

// The shared Fbo's picture, RGB, top row first.
inline Bytes readFbo(Fbo* fbo)
{
    std::vector<uint8_t> rgba((size_t)fbo->width * fbo->height * 4);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fbo->framebufferId);
    glReadBuffer(GL_COLOR_ATTACHMENT0_EXT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, fbo->width, fbo->height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    Bytes rgb((size_t)fbo->width * fbo->height * 3);
    for (int y = 0; y < fbo->height; y++)
        for (int x = 0; x < fbo->width; x++)
            for (int c = 0; c < 3; c++)
                rgb[((size_t)(fbo->height - 1 - y) * fbo->width + x) * 3 + c] = rgba[((size_t)y * fbo->width + x) * 4 + c];
    return rgb;
}

// For looking at.
inline void savePicture(const char* path, const Bytes& rgb, int width, int height)
{
    testimg::PngSpec spec;
    spec.width = width;
    spec.height = height;
    spec.colorType = 2;
    spec.mode = testimg::FIXED;
    writeTestFile(path, testimg::makePng(spec, rgb));
}

// The centre pixel of grid cell (column, row) in a picture of whole 8 x 8 cells.
inline const uint8_t* cellCentre(const Bytes& rgb, int column, int row)
{
    int x = column * (PICTURE_WIDTH / GRID_COLUMNS) + PICTURE_WIDTH / GRID_COLUMNS / 2;
    int y = row * (PICTURE_HEIGHT / GRID_ROWS) + PICTURE_HEIGHT / GRID_ROWS / 2;
    return &rgb[((size_t)y * PICTURE_WIDTH + x) * 3];
}

// How many full-block cells of the grid show their foreground colour at their centre in the
// picture (within 2 of each channel), out of how many full-block cells there are.
inline int blockCellsMatching(const Bytes& rgb, const AsciiEngine& grid, int* blockCells)
{
    int matching = 0;
    *blockCells = 0;
    for (int row = 0; row < GRID_ROWS; row++) {
        for (int column = 0; column < GRID_COLUMNS; column++) {
            int cell = row * GRID_COLUMNS + column;
            if (grid.chars[cell] != FULL_BLOCK) continue;
            (*blockCells)++;
            const uint8_t* pixel = cellCentre(rgb, column, row);
            bool same = true;
            for (int c = 0; c < 3; c++) {
                int want = (int)(grid.palette[grid.foreground[cell] & 15][c] * 255.0f + 0.5f);
                if (abs(pixel[c] - want) > 2) same = false;
            }
            if (same) matching++;
        }
    }
    return matching;
}

} // namespace textscene

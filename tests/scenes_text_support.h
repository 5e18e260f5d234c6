// Shared by the text-mode scene tests: a scratch data tree with the real font chart and pictures,
// a short song on the virtual output, the driver's frame path into the shared Fbo, and reading
// that Fbo back (to save as a PNG and to compare its cells with the grid).
#pragma once

#include "scene_frames.h" // the song, the driver's frame path, the Fbo read back, pictures
#include "util/asciiengine/asciiengine.h"
#include <stdlib.h>

namespace textscene {

using namespace sceneframes;

static const int PICTURE_WIDTH = 640, PICTURE_HEIGHT = 400; // 8 x 8 pixels a cell
static const float TEST_BPM = 1200.0f;                       // 20 beats a second: the 2 s song is 40 beats

// The shared objects a text scene draws with, as the driver makes them: the song (a 2 s sine) and
// the font chart in the scratch folder, loose files, virtual output.
struct Stage {
    Music* music = nullptr;
    Fbo* fbo = nullptr;
    AsciiEngine* ascii = nullptr;
    KeyState keys;

    void open()
    {
        copyAsset("data/common/images/asciichart.png");
        memset(&keys, 0, sizeof keys);
        fbo = new Fbo();
        fbo->resize(PICTURE_WIDTH, PICTURE_HEIGHT);
        ascii = new AsciiEngine();
        ascii->windowWidth = PICTURE_WIDTH;
        ascii->windowHeight = PICTURE_HEIGHT;
        music = startSong(TEST_BPM);
    }
    void close()
    {
        stopSong(music);
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
        sceneframes::frameAt(music, std::vector<Template*>(1, scene), beat, &keys, PICTURE_WIDTH, PICTURE_HEIGHT);
    }
};

// The shared Fbo's picture, RGB, top row first (grid rows count from the top).
inline Bytes readTopFirst(Fbo* fbo) { return flipRows(readFbo(fbo), fbo->width, fbo->height); }

// For looking at: a picture read with readTopFirst.
inline void saveTopFirst(const char* path, const Bytes& rgb)
{
    savePicture(path, flipRows(rgb, PICTURE_WIDTH, PICTURE_HEIGHT), PICTURE_WIDTH, PICTURE_HEIGHT);
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

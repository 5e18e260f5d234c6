// asciiengine: the show's text mode, an 80 x 50 grid of character cells drawn from a font chart.
//
// Each cell holds a character code, a foreground and a background palette index (0-15; higher
// values are masked to four bits when drawn). The three layers lie back to back (`chars`,
// `foreground`, `background`), so one memset of GRID_BYTES zero bytes from `chars` (or `clear`)
// clears the grid: character 0 in colour 0 on colour 0. Index each layer only below GRID_CELLS:
// a loop over `chars` past its end is undefined behaviour that optimisers do act on.
//
// Font chart "data/common/images/asciichart.png", in texture coordinates (v up): 80 columns of
// 1/80 and 10 rows of 1/10. Code c sits in column c mod 80; its row of band is c div 80 (0-3).
// Background band: v from (5 - c div 80) / 10, within 0.2-0.6; foreground band: v from
// (9 - c div 80) / 10, within 0.6-1.0. v 0-0.2 is unused. The two band quads of a cell are added.
//
// `draw` renders the grid with additive blending into the largest whole multiple of 80 x 50 pixels
// that fits the window, centred, from one vertex array built per frame. Saturating addition does not
// depend on order and black adds nothing, so where the GL state allows it draws only the quads that
// are not black, grouped by colour (one draw call per colour, after one black quad over the grid
// that adds their alpha); otherwise all 8000 quads in order. `drawImmediate` issues every quad with
// its own begin/end pair and is kept as the reference that tests and the benchmark compare against:
// both give the same pixels.
// Refuses: nothing at draw time; a missing or bad font chart is fatal at construction.
#pragma once

#include "util/texture/texture.h" // Texture, GL types
#include <stdint.h>
#include <vector>

enum {
    GRID_COLUMNS = 80,
    GRID_ROWS = 50,
    GRID_CELLS = GRID_COLUMNS * GRID_ROWS, // 4000 cells per layer
    GRID_BYTES = 3 * GRID_CELLS,           // chars, foreground and background back to back
    PALETTE_COLOURS = 16,
    FULL_BLOCK = 219,        // the font chart's solid block
    FONT_CHART_COLUMNS = 80, // glyph columns of the chart
    FONT_CHART_ROWS = 10,    // glyph rows of the chart (two bands of four, two unused)
    GRID_QUADS = 2 * GRID_CELLS,
};

// The fixed-function state `draw` leaves behind is documented there; nothing is restored.
class AsciiEngine {
public:
    Texture font;                           // the font chart, nearest filtering, clamped
    uint8_t chars[GRID_CELLS];              // character code per cell, row-major, row 0 on top
    uint8_t foreground[GRID_CELLS];         // palette index (0-15) per cell
    uint8_t background[GRID_CELLS];         // palette index (0-15) per cell
    float palette[PALETTE_COLOURS][4];      // RGBA of each palette index, classic text-mode order
    int32_t windowWidth;                    // pixels, written by the driver on resize; 1
    int32_t windowHeight;                   // pixels; 1

    // Loads the font chart (needs a current GL context); fatal when it cannot be loaded.
    AsciiEngine();
    // Grid and palette only, no font and no GL: for tests, fuzzers and offline tools.
    enum GridOnly { GRID_ONLY };
    explicit AsciiEngine(GridOnly);

    // Fills the three layers with zero bytes.
    void clear();
    // Draws the whole grid into the bound frame buffer: one vertex array of all quads. With
    // `overClear`, the caller has cleared the frame buffer since anything was drawn where the grid
    // goes: where most cells are black, which only make the alpha opaque, they then take one clear
    // of the grid's viewport to opaque instead of their quads.
    void draw(bool overClear = false);
    // The same picture, one begin/end pair per quad (the reference for tests and the benchmark).
    void drawImmediate();

    AsciiEngine(const AsciiEngine&) = delete;
    AsciiEngine& operator=(const AsciiEngine&) = delete;

private:
    void setDrawState();
    void initTables();
    // Texture coordinates of each code's lower-left corner, per band (0 background, 1 foreground).
    float glyphU[256];
    float glyphV[2][256];
    // The vertex arrays of `draw`, allocated once and rewritten every frame: with a colour per
    // vertex (every quad in order) and without (quads grouped by colour).
    struct Vertex {
        float x, y, u, v;
        float rgba[4];
    };
    struct PlainVertex {
        float x, y, u, v;
    };
    std::vector<Vertex> vertices;
    std::vector<PlainVertex> plainVertices;
    bool fontOpaque;   // every chart texel has alpha 1
    int textureUnits;  // fixed-function texture units of the context
    static void setQuad(Vertex* quad, float x, float y, float u, float v, const float* rgba);
    static void setPlainQuad(PlainVertex* quad, float x, float y, float u, float v);
    bool plainAdditiveState();
    void drawInOrder();
    void drawByColour(bool overClear);
};

// Viewport of `draw` for a window: the largest whole multiple of the grid, centred.
struct AsciiViewport {
    int x, y, width, height;
};
AsciiViewport asciiViewport(int windowWidth, int windowHeight);

// rawloader: ".raw" ASCII-art pictures and `RawImage`, which stamps them onto the AsciiEngine grid.
//
// Format: width x height bytes, rows top to bottom, one colour number per cell in file colour order
// (bits 0 and 2 swapped against the palette). No header; the size comes from the caller. Bytes past
// the picture are ignored.
// Sound choices for what the format leaves open: bytes above 15 are masked to their low four bits;
// a file shorter than its picture leaves the missing cells at 0 (transparent), silently.
// Refuses: a file that cannot be opened (fatal "Failed to load file %s"); a negative size or one
// above RAW_MAX_SIDE a side (fatal, a programming error of the caller).
#pragma once

#include <stddef.h>
#include <stdint.h>

class AsciiEngine;

enum { RAW_MAX_SIDE = 4096 };

// File colour number -> palette index.
extern const uint8_t RAW_COLOUR_MAP[16];

// Converts a picture's file bytes into palette indices: `cellCount` cells from `fileBytes`
// (`fileSize` bytes), cells past the end of the file 0. Never reads or writes out of bounds.
void decodeRawCells(const uint8_t* fileBytes, size_t fileSize, const uint8_t colourMap[16],
                    uint8_t* cells, size_t cellCount);

// Reads a picture of `cellCount` cells through openFile and converts it. False when the file
// cannot be opened (cells are then all 0).
bool loadRawCells(const char* path, const uint8_t colourMap[16], uint8_t* cells, size_t cellCount);

// Stamps the 80 x 50 window of a width x height picture whose top-left cell is picture cell
// (x, y): full blocks in the picture's colour on background 0; colour 0 leaves the grid cell as it
// was. Any x and y are safe, including far outside the picture.
void stampRawCells(AsciiEngine* engine, const uint8_t* pixels, int width, int height, int x, int y);

class RawImage {
public:
    AsciiEngine* engine;   // the grid to draw into, not owned
    int32_t width;         // picture width in cells
    int32_t height;        // picture height in cells
    uint8_t colourMap[16]; // file colour -> palette index
    uint8_t* pixels;       // width x height palette indices, row-major, owned

    // Loads the picture; fatal when the file cannot be opened.
    RawImage(AsciiEngine* engine, int width, int height, const char* path);
    ~RawImage();
    // Stamps the 80 x 50 window whose top-left cell is picture cell (x, y) onto the grid.
    void draw(int x, int y);

    RawImage(const RawImage&) = delete;
    RawImage& operator=(const RawImage&) = delete;
};

// rotozoom: `RotozoomImage` fills the whole AsciiEngine grid with a rotated, zoomed, endlessly
// repeating view of a 256 x 256 ".raw" picture, in 20.12 fixed point.
//
// The picture is the ".raw" format at a fixed 256 x 256 cells (65536 bytes), converted like
// RawImage's (bytes masked to four bits; a short file leaves the missing texels 0). It also owns the
// sine tables its callers take the factors from, their indices and a mirroring mode:
//   draw(zoomTable[zoomIndex], shapeTable[(angleIndex - 128) & 255], shapeTable[angleIndex]),
//   then angleIndex = (angleIndex - 1) & 255, zoomIndex = (zoomIndex + 1) & 255.
// Texel 0 is drawn too: every cell is overwritten with a full block on background 0.
// Refuses: a file that cannot be opened (fatal "Failed to load file %s!").
#pragma once

#include <stddef.h>
#include <stdint.h>

class AsciiEngine;

enum {
    ROTOZOOM_SIDE = 256, // texels a side; wrapping is a mask with 255
    ROTOZOOM_TEXELS = ROTOZOOM_SIDE * ROTOZOOM_SIDE,
    ROTOZOOM_TABLE_SIZE = 256,
};

// Output mirroring.
enum { ROTOZOOM_NORMAL = 0, ROTOZOOM_UPSIDE_DOWN = 1, ROTOZOOM_MIRRORED = 2, ROTOZOOM_HALF_TURN = 3 };

class RotozoomImage {
public:
    AsciiEngine* engine;                       // the grid to draw into, not owned
    int32_t angleIndex;                        // 0-255, into shapeTable; 0
    int32_t zoomIndex;                         // 0-255, into zoomTable; 0
    int32_t mode;                              // mirroring 0-3, other values as 0; 0
    int32_t shapeTable[ROTOZOOM_TABLE_SIZE];   // (sin(i * step) + 0.8) * 4096
    int32_t zoomTable[ROTOZOOM_TABLE_SIZE];    // sin(i * step) * 2 * 4096
    uint8_t texels[ROTOZOOM_TEXELS];           // palette index per texel, row-major

    // Loads the picture and builds the tables; fatal when the file cannot be opened.
    RotozoomImage(AsciiEngine* engine, const char* path);
    // Fills all 4000 grid cells; factors in 1/4096 (p and q from shapeTable, zoom from zoomTable).
    void draw(int32_t zoom, int32_t p, int32_t q);

    // Builds the tables without a picture (also used by the constructor).
    static void buildTables(int32_t shapeTable[ROTOZOOM_TABLE_SIZE], int32_t zoomTable[ROTOZOOM_TABLE_SIZE]);
};

// asciifire: `AsciiFire`, the fire simulation of the text-mode fire scene, drawn as coloured
// characters into the AsciiEngine grid.
//
// Heat lives in a byte buffer of 3 x `width` columns by 2 x `height` rows (each grid cell covers
// 3 x 2 heat cells). One `step` cools `decay` toward `decayTarget`, spreads the heat up by one row
// through the eight-neighbour mean divided by (decay + neighbours), adds sparks along the bottom
// row and renders the heat into the grid (cells below level 1 are left unchanged).
// The first step spreads from `source` into `target`; from then on both point at the same buffer
// and the spread runs in place, reading cells it has already rewritten (that is the fire's look).
// Limits: `width` and `height` are used within 1-80 and 1-50 (the buffers are sized for the whole
// grid). Spread results beyond a byte saturate at 0 and 255. Spark columns use 15 random bits, as
// the effect was tuned for a generator of that range.
#pragma once

#include <stdint.h>

class AsciiEngine;

enum {
    FIRE_MAX_COLUMNS = 3 * 80,                           // heat columns for the whole grid
    FIRE_MAX_ROWS = 2 * 50,                              // heat rows for the whole grid
    FIRE_BUFFER_BYTES = FIRE_MAX_COLUMNS * FIRE_MAX_ROWS, // 24000
    FIRE_LEVELS = 25,
};

class AsciiFire {
public:
    AsciiEngine* engine;              // the grid to draw into, not owned
    int32_t sparksPerStep;            // 25
    int32_t width;                    // grid columns covered: 80
    int32_t height;                   // grid rows covered: 50
    uint8_t* source;                  // heat read by the spread; sparks land here
    uint8_t* target;                  // heat written by the spread
    double decay;                     // cooling term of the spread; 0.5
    double decayTarget;               // value decay moves toward; 0.25
    double decayStep;                 // amount decay moves per step; 0.002
    int32_t stopFeeding;              // when set, no new hot sparks; 0
    uint8_t colourRamp[FIRE_LEVELS];  // per heat level: low four bits foreground, high background

    // Zeroed heat buffers; seeds rand() with the millisecond tick.
    explicit AsciiFire(AsciiEngine* engine);
    // Back to the constructor's state (zeroed heat, the starting values) without seeding rand().
    void restart();

    // One step: updateDecay, spread, sparks, render.
    void step();
    // The parts of a step, in order.
    void updateDecay();
    void spread(); // also makes source the spread's target
    void addSparks();
    void render();

    AsciiFire(const AsciiFire&) = delete;
    AsciiFire& operator=(const AsciiFire&) = delete;

private:
    uint8_t heatA[FIRE_BUFFER_BYTES];
    uint8_t heatB[FIRE_BUFFER_BYTES];
};

// scene_textfire: text mode, a fire simulation drawn in coloured characters.
//
// The fire (AsciiFire) advances in fixed 16-millisecond steps of the platform's millisecond tick,
// at most one step per drawn frame: a frame between steps shows the previous step's grid again,
// and after a stall the fire catches up one step per frame. It starts small (decay 3.5) and grows
// over about 248 steps (about 4 seconds) as decay falls to about 0.028.
// The two fire-text pictures are loaded with the scene (a missing one is fatal) but not drawn.
// Process-wide: the next step's tick, set on the first draw of any instance.
#pragma once

#include "scenes/template.h" // Template
#include <stdint.h>

class AsciiFire;
class RawImage;

#define TEXT_FIRE_PICTURE_1 "data/textfire/firetext1.raw"
#define TEXT_FIRE_PICTURE_2 "data/textfire/firetext2.raw"

enum {
    FIRE_PICTURE_WIDTH = 80, // cells
    FIRE_PICTURE_HEIGHT = 50,
    FIRE_STEP_MS = 16,       // one fire step per 16 ms of the tick
};

// Shared by every instance.
struct TextFireState {
    uint32_t nextFireTick; // tick of the next fire step
    bool started;          // whether nextFireTick is set (on the first draw)
};

class TextFire : public Template {
public:
    AsciiFire* fire = nullptr;        // owned
    RawImage* firePicture1 = nullptr; // owned, loaded but not drawn
    RawImage* firePicture2 = nullptr; // owned, loaded but not drawn

    ~TextFire() override;
    void init() override;
    void draw() override;
    void rewind() override;
    // The grid part of a frame at millisecond tick `now`, without GL: when a step is due, clear
    // the grid and run one fire step; otherwise leave the grid as it is. True when it stepped.
    bool advance(uint32_t now);
};

// Starts the fire small: decay 3.5, moving by 0.014 per step toward 0.03 (single-precision values).
void textFireConfigure(AsciiFire* fire);
// Whether a fire step is due at tick `now`; when it is, the next one is 16 ms later. The first call
// sets the schedule to `now` (so it is due).
bool textFireStepDue(TextFireState* state, uint32_t now);

// The process-wide state, and a fresh start for tests and tools that build the scene again.
const TextFireState& textFireState();
void textFireResetState();

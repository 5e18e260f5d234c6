// scene_textdance: text mode, a dancing figure over a rotozoom that flips on every beat.
//
// Every frame the shared 80 x 50 grid is cleared and filled by the rotozoom of "rotozoom.raw",
// mirrored by the beat within the bar (beat 0 as is, 1 upside down, 2 left to right, 3 half a
// turn); its indices advance one step per drawn frame. One of four 80 x 50 dance frames, chosen the
// same way, is stamped over it (colour 0 transparent). The grid is then drawn into the shared Fbo.
// Failures are fatal inside the loaders: a picture that cannot be opened.
// Nothing is process-wide; the pictures are owned by the instance.
#pragma once

#include "scenes/template.h" // Template

class RawImage;
class RotozoomImage;

#define TEXT_DANCE_BACKDROP "data/textdance/rotozoom.raw"

enum {
    DANCE_FRAMES = 4,          // one a beat, a bar of four
    DANCE_FRAME_WIDTH = 80,    // cells
    DANCE_FRAME_HEIGHT = 50,
};

// "data/textdance/dance1.raw" to "dance4.raw".
extern const char* const TEXT_DANCE_FRAMES[DANCE_FRAMES];

class TextDance : public Template {
public:
    RotozoomImage* backdrop = nullptr;          // owned
    RawImage* danceFrames[DANCE_FRAMES] = {};   // owned

    ~TextDance() override;
    void init() override;
    void draw() override;
    void rewind() override;
    // One frame's grid without GL: the rotozoom mirrored by the beat of `mirrorTime`, then the
    // dance frame of `frameTime` (the clock is read once for each).
    void composeGrid(float mirrorTime, float frameTime);
};

// The beat within the bar at clock t: trunc(fmod(t, 4)), 0-3. A negative or non-finite clock
// (never inside the scene's window) gives a value within 0-3 as well.
int textDanceBeat(float t);

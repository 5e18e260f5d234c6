// scene_textbigsprite: text mode, a rotozoomed picture with a big logo panning over it.
//
// Every frame the shared 80 x 50 grid is cleared, filled by the rotozoom of "halvos.raw" (its
// indices advance one step per drawn frame, so its speed follows the frame rate), and the 80 x 50
// window of the 300 x 80 logo "halvoren.raw" at a position that follows the music clock is stamped
// over it (logo colour 0 lets the backdrop show). The grid is then drawn into the shared Fbo.
// Failures are fatal inside the loaders: a picture that cannot be opened.
// Nothing is process-wide; the pictures are owned by the instance.
#pragma once

#include "scenes/template.h" // Template

class RawImage;
class RotozoomImage;

#define TEXT_BIG_SPRITE_BACKDROP "data/textbigsprite/halvos.raw"
#define TEXT_BIG_SPRITE_LOGO "data/textbigsprite/halvoren.raw"

enum {
    BIG_SPRITE_LOGO_WIDTH = 300, // logo picture, cells
    BIG_SPRITE_LOGO_HEIGHT = 80,
};

class TextBigSprite : public Template {
public:
    RotozoomImage* backdrop = nullptr; // owned
    RawImage* logo = nullptr;          // owned

    ~TextBigSprite() override;
    void init() override;
    void draw() override;
    void rewind() override;
    // One frame's grid at clock t (beats), without GL: clear, rotozoom, logo.
    void composeGrid(float t);
};

// Top-left logo cell shown at clock t: x in 0-220, y in 0-30, so the window pans over the whole logo.
void textBigSpriteLogoWindow(float t, int* x, int* y);
// One rotozoom frame as the text scenes draw it: draw with the current table entries, then
// angleIndex one back and zoomIndex one on.
void textBigSpriteRotozoomFrame(RotozoomImage* image);

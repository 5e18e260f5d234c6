// scene_greetings: the greetings picture ("data/greetings/greetings.png", linear filters,
// clamped) added over whatever the earlier scenes of the frame drew into the shared framebuffer
// (the oscilloscope's trace in the show): one quad over the whole picture, blended one-to-one,
// so black leaves the picture below untouched and bright parts saturate.
//
// A picture that does not load is fatal (inside Texture). Nothing else is reported.
#pragma once

#include "scenes/template.h" // Template
#include <vector>

class Texture;

#define GREETINGS_PICTURE "data/greetings/greetings.png"

class Greetings : public Template {
public:
    std::vector<Texture*> pictures; // loaded by init; live until the process ends

    void init() override;
    void draw() override;
    void resize(int width, int height) override;
};

// scene_randomsspics: the slide show that opens the part of the show seen on the sound system's
// screen.
//
// Eight pictures ("data/randomsspics/pic01.jpg" to "pic08.jpg", linear filters, clamped), one
// every four beats of the scene's window in that order, each drawn as one quad over the whole
// shared framebuffer, which it clears first. The projection is the orthographic unit square,
// also used by Greetings (and GlowGreets may take it too).
//
// A picture that does not load is fatal (inside Texture). Nothing else is reported.
#pragma once

#include "scenes/template.h" // Template
#include <vector>

class Texture;

enum { RANDOM_SS_PICTURES = 8 };

class RandomSSPics : public Template {
public:
    std::vector<Texture*> pictures; // loaded by init in show order; live until the process ends

    void init() override;
    void draw() override;
    void resize(int width, int height) override;
};

// The picture shown at `beat` by a scene that starts at `startBeat` and holds `count` pictures:
// whole beats since the start, a new picture every four, wrapping round. A beat before the start
// (never drawn by the driver) shows the first picture; no pictures gives 0.
int slidePictureIndex(float beat, float startBeat, int count);

// Stores the size in the scene, sets the viewport to the whole window and an orthographic
// projection with x and y from 0 to 1; identity model-view.
void unitSquareResize(Template* scene, int width, int height);

// One quad over the unit square, (0,0) to (1,1), texture coordinates equal to the corners.
void drawUnitSquare();

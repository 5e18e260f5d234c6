// scene_textfire: the text-mode fire. See scene_textfire.h.
#include "scenes/scene_textfire/scene_textfire.h"

#include "platform/platform.h"              // platformTickMs
#include "platform/report.h"                // CHECK_GL
#include "util/asciiengine/asciiengine.h"   // AsciiEngine
#include "util/asciiengine/asciifire.h"     // AsciiFire
#include "util/asciiengine/rawloader.h"     // RawImage
#include "util/fbo/fbo.h"                   // bindForDrawing

// >> constants
static const double START_DECAY = 3.5;
static const float DECAY_TARGET = 0.03f; // single precision, as the fire was tuned
static const float DECAY_STEP = 0.014f;

// >> state
static TextFireState s_textFire = {0, false};

const TextFireState& textFireState() { return s_textFire; }

void textFireResetState() { s_textFire = TextFireState{0, false}; }

// >> rules
void textFireConfigure(AsciiFire* fire)
{
    fire->decay = START_DECAY;
    fire->decayTarget = DECAY_TARGET;
    fire->decayStep = DECAY_STEP;
}

bool textFireStepDue(TextFireState* state, uint32_t now)
{
    if (!state->started) {
        state->nextFireTick = now;
        state->started = true;
    }
    // Compared as a signed difference so the schedule survives the tick's wrap at 2^32 ms; a
    // plain unsigned comparison would stop the fire for 49 days after it.
    if ((int32_t)(now - state->nextFireTick) < 0) return false;
    state->nextFireTick += FIRE_STEP_MS;
    return true;
}

// >> scene
TextFire::~TextFire()
{
    delete fire;
    delete firePicture1;
    delete firePicture2;
}

void TextFire::init()
{
    firePicture1 = new RawImage(ascii, FIRE_PICTURE_WIDTH, FIRE_PICTURE_HEIGHT, TEXT_FIRE_PICTURE_1);
    firePicture2 = new RawImage(ascii, FIRE_PICTURE_WIDTH, FIRE_PICTURE_HEIGHT, TEXT_FIRE_PICTURE_2);
    fire = new AsciiFire(ascii);
    textFireConfigure(fire);
}

bool TextFire::advance(uint32_t now)
{
    if (!textFireStepDue(&s_textFire, now)) return false;
    ascii->clear();
    fire->step();
    return true;
}

void TextFire::draw()
{
    advance(platformTickMs());

    // Present: the grid into the shared Fbo, then the window's frame buffer again.
    fbo->bindForDrawing(true);
    ascii->draw(true); // just cleared
    glPopAttrib();
    fboBindScreen();
    CHECK_GL();
}

void TextFire::rewind()
{
    textFireResetState();
    fire->restart();
    textFireConfigure(fire);
}

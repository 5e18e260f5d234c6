// scene_textdance: the dancing figure over a flipping rotozoom. See scene_textdance.h.
#include "scenes/scene_textdance/scene_textdance.h"

#include "platform/report.h"                // CHECK_GL
#include "util/asciiengine/asciiengine.h"   // AsciiEngine
#include "util/asciiengine/rawloader.h"     // RawImage
#include "util/asciiengine/rotozoom.h"      // RotozoomImage
#include "util/fbo/fbo.h"                   // bindForDrawing
#include "util/music/music.h"               // getTime
#include <math.h>                           // fmod

const char* const TEXT_DANCE_FRAMES[DANCE_FRAMES] = {
    "data/textdance/dance1.raw",
    "data/textdance/dance2.raw",
    "data/textdance/dance3.raw",
    "data/textdance/dance4.raw",
};

// >> rules
int textDanceBeat(float t)
{
    double phase = fmod((double)t, (double)DANCE_FRAMES);
    // The beat picks a picture: a clock before 0 or not a number must not pick outside the four.
    if (!(phase > -DANCE_FRAMES && phase < DANCE_FRAMES)) return 0;
    int beat = (int)phase;
    return beat < 0 ? beat + DANCE_FRAMES : beat;
}

// One rotozoom frame: draw with the current table entries, then angleIndex one back and zoomIndex
// one on.
static void rotozoomFrame(RotozoomImage* image)
{
    image->draw(image->zoomTable[image->zoomIndex], image->shapeTable[(image->angleIndex - 128) & 255],
                image->shapeTable[image->angleIndex]);
    image->angleIndex = (image->angleIndex - 1) & 255;
    image->zoomIndex = (image->zoomIndex + 1) & 255;
}

// >> scene
TextDance::~TextDance()
{
    delete backdrop;
    for (RawImage* frame : danceFrames) delete frame;
}

void TextDance::init()
{
    for (int i = 0; i < DANCE_FRAMES; i++)
        danceFrames[i] = new RawImage(ascii, DANCE_FRAME_WIDTH, DANCE_FRAME_HEIGHT, TEXT_DANCE_FRAMES[i]);
    backdrop = new RotozoomImage(ascii, TEXT_DANCE_BACKDROP);
}

void TextDance::composeGrid(float mirrorTime, float frameTime)
{
    ascii->clear();
    backdrop->mode = textDanceBeat(mirrorTime);
    rotozoomFrame(backdrop);
    danceFrames[textDanceBeat(frameTime)]->draw(0, 0);
}

void TextDance::draw()
{
    float mirrorTime = music->getTime();
    float frameTime = music->getTime();
    composeGrid(mirrorTime, frameTime);

    // Present: the grid into the shared Fbo, then the window's frame buffer again.
    fbo->bindForDrawing(true);
    ascii->draw(true); // just cleared
    glPopAttrib();
    fboBindScreen();
    CHECK_GL();
}

void TextDance::rewind()
{
    backdrop->angleIndex = 0;
    backdrop->zoomIndex = 0;
}

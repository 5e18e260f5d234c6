// scene_textbigsprite: rotozoom backdrop and panning logo in text mode. See scene_textbigsprite.h.
#include "scenes/scene_textbigsprite/scene_textbigsprite.h"

#include "platform/report.h"                // CHECK_GL
#include "util/asciiengine/asciiengine.h"   // AsciiEngine
#include "util/asciiengine/rawloader.h"     // RawImage
#include "util/asciiengine/rotozoom.h"      // RotozoomImage
#include "util/fbo/fbo.h"                   // bindForDrawing
#include "util/music/music.h"               // getTime
#include <math.h>                           // sinf, cosf

// >> constants
// The logo window swings across x 0-220 and y 0-30 at incommensurate rates, so it never repeats
// exactly. Single precision on purpose: the sine's peak rounds to 1, so x reaches 220.
static const float PAN_X_RATE = 0.5f, PAN_X_HALF_RANGE = 110.0f;
static const float PAN_Y_RATE = 0.70422536f, PAN_Y_HALF_RANGE = 15.0f;

// >> rules
void textBigSpriteLogoWindow(float t, int* x, int* y)
{
    *x = (int)((sinf(PAN_X_RATE * t) + 1.0f) * PAN_X_HALF_RANGE);
    *y = (int)((cosf(PAN_Y_RATE * t) + 1.0f) * PAN_Y_HALF_RANGE);
}

void textBigSpriteRotozoomFrame(RotozoomImage* image)
{
    image->draw(image->zoomTable[image->zoomIndex], image->shapeTable[(image->angleIndex - 128) & 255],
                image->shapeTable[image->angleIndex]);
    image->angleIndex = (image->angleIndex - 1) & 255;
    image->zoomIndex = (image->zoomIndex + 1) & 255;
}

// >> scene
TextBigSprite::~TextBigSprite()
{
    delete backdrop;
    delete logo;
}

void TextBigSprite::init()
{
    backdrop = new RotozoomImage(ascii, TEXT_BIG_SPRITE_BACKDROP);
    logo = new RawImage(ascii, BIG_SPRITE_LOGO_WIDTH, BIG_SPRITE_LOGO_HEIGHT, TEXT_BIG_SPRITE_LOGO);
}

void TextBigSprite::composeGrid(float t)
{
    ascii->clear();
    textBigSpriteRotozoomFrame(backdrop);
    int x, y;
    textBigSpriteLogoWindow(t, &x, &y);
    logo->draw(x, y);
}

void TextBigSprite::draw()
{
    composeGrid(music->getTime());

    // Present: the grid into the shared Fbo, then the window's frame buffer again.
    fbo->bindForDrawing(true);
    ascii->draw(true); // just cleared
    glPopAttrib();
    fboBindScreen();
    CHECK_GL();
}

void TextBigSprite::rewind()
{
    backdrop->angleIndex = 0;
    backdrop->zoomIndex = 0;
}

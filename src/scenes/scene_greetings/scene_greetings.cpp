// scene_greetings: the greetings picture over the frame. See scene_greetings.h.
#include "scenes/scene_greetings/scene_greetings.h"

#include "platform/report.h"                              // CHECK_GL
#include "scenes/scene_randomsspics/scene_randomsspics.h" // slidePictureIndex, unitSquareResize, drawUnitSquare
#include "util/fbo/fbo.h"                                 // bindForDrawing
#include "util/music/music.h"                             // getTime
#include "util/texture/texture.h"                         // Texture

void Greetings::init()
{
    pictures.push_back(new Texture(GREETINGS_PICTURE));
    lighting = false;
    texture2D = true;
    blend = false;
}

void Greetings::resize(int newWidth, int newHeight) { unitSquareResize(this, newWidth, newHeight); }

void Greetings::draw()
{
    // The picture list is timed by the song itself, not the window (with one picture, always it).
    int n = slidePictureIndex(music->getTime(), 0.0f, (int)pictures.size());
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    fbo->bindForDrawing(false);
    // Added to what the earlier scenes drew; the next scene's state switches blending off again.
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glClear(GL_DEPTH_BUFFER_BIT);
    glActiveTextureARB(GL_TEXTURE0_ARB);
    glBindTexture(GL_TEXTURE_2D, pictures[n]->textureId);
    drawUnitSquare();
    glPopAttrib();
    fboBindScreen();
    CHECK_GL();
}

// scene_randomsspics: the eight-picture slide show. See scene_randomsspics.h.
#include "scenes/scene_randomsspics/scene_randomsspics.h"

#include "platform/report.h"      // CHECK_GL
#include "util/fbo/fbo.h"         // bindForDrawing
#include "util/music/music.h"     // getTime
#include "util/texture/texture.h" // Texture
#include <GL/glu.h>               // gluOrtho2D
#include <stdio.h>

static const float BEATS_PER_PICTURE = 4.0f;
static const char* const PICTURE_PATTERN = "data/randomsspics/pic%02d.jpg";

int slidePictureIndex(float beat, float startBeat, int count)
{
    if (count <= 0) return 0;
    float since = beat - startBeat;
    // Before the start (or a clock gone wrong) the slide show simply holds its first picture.
    if (!(since >= 0.0f)) return 0;
    // Whole beats first, then whole pictures: a picture changes exactly on its fourth beat.
    long beats = (long)since;
    return (int)((beats / (long)BEATS_PER_PICTURE) % count);
}

void unitSquareResize(Template* scene, int width, int height)
{
    scene->width = width;
    scene->height = height;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0.0, 1.0, 0.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void drawUnitSquare()
{
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(0.0f, 0.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(1.0f, 0.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(1.0f, 1.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(0.0f, 1.0f);
    glEnd();
}

void RandomSSPics::init()
{
    for (int i = 0; i < RANDOM_SS_PICTURES; i++) {
        char path[64];
        snprintf(path, sizeof path, PICTURE_PATTERN, i + 1);
        pictures.push_back(new Texture(path));
    }
    lighting = false;
    texture2D = true;
    blend = false;
}

void RandomSSPics::resize(int newWidth, int newHeight) { unitSquareResize(this, newWidth, newHeight); }

void RandomSSPics::draw()
{
    int n = slidePictureIndex(music->getTime(), startTime, (int)pictures.size());
    fbo->bindForDrawing(true);
    glClear(GL_DEPTH_BUFFER_BIT);
    glActiveTextureARB(GL_TEXTURE0_ARB);
    glBindTexture(GL_TEXTURE_2D, pictures[n]->textureId);
    drawUnitSquare();
    glPopAttrib();
    fboBindScreen();
    CHECK_GL();
}

// scene_oscilloscope: the waveform trace. See scene_oscilloscope.h.
#include "scenes/scene_oscilloscope/scene_oscilloscope.h"

#include "platform/report.h"  // CHECK_GL
#include "util/fbo/fbo.h"     // bindForDrawing
#include "util/music/music.h" // getWaveData
#include <GL/glu.h>           // gluOrtho2D

static const float VIEW_WIDTH = 1024.0f; // x units across the picture
static const float X_STEP = 2.0f;        // x units between points: the strip ends at 1022
static const float Y_SCALE = 0.75f;      // applied to left + right
static const float LINE_WIDTH = 2.5f;

void oscilloscopeTrace(const float* wave, float* trace)
{
    for (int k = 0; k < OSCILLOSCOPE_POINTS; k++) {
        trace[k * 2] = X_STEP * (float)k;
        trace[k * 2 + 1] = Y_SCALE * (wave[k * 2] + wave[k * 2 + 1]);
    }
}

void Oscilloscope::init()
{
    colorMaterial = true;
    blend = false;
    depthTest = false;
    texture2D = false;
    lighting = false;
}

void Oscilloscope::resize(int newWidth, int newHeight)
{
    width = newWidth;
    height = newHeight;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0.0, VIEW_WIDTH, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void Oscilloscope::draw()
{
    music->getWaveData(wave);
    oscilloscopeTrace(wave, trace);

    glColor4f(0.0f, 1.0f, 0.0f, 1.0f);
    glLineWidth(LINE_WIDTH);
    fbo->bindForDrawing(true);
    glClear(GL_DEPTH_BUFFER_BIT);
    glBegin(GL_LINE_STRIP);
    for (int k = 0; k < OSCILLOSCOPE_POINTS; k++) glVertex2f(trace[k * 2], trace[k * 2 + 1]);
    glEnd();
    glPopAttrib();
    fboBindScreen();
    CHECK_GL();
}

// template: the scene base class. See template.h.
#include "scenes/template.h"

#include "platform/report.h"                  // CHECK_GL, FATAL_LOCATION
#include "scenes/framestats.h"                // frameStatsUnderlayBegin, frameStatsUnderlayEnd
#include "util/shaderprogram/shaderprogram.h" // ShaderProgram::unbindAll
#include <GL/glu.h>                           // gluPerspective

// The projection every scene gets unless it sets its own.
static const float VIEW_ASPECT = 16.0f / 9.0f;
static const float VIEW_BAND = 0.5625f; // 9 / 16: height of a 16:9 band as wide as the window
static const double VIEW_FIELD_OF_VIEW = 45.0;
static const float VIEW_NEAR = 0.1f;
static const double VIEW_FAR = 2000.0;

void Template::init() { FATAL_LOCATION(); }

void Template::draw() { FATAL_LOCATION(); }

void Template::release() {}

static void setCapability(GLenum capability, bool on)
{
    if (on) glEnable(capability);
    else glDisable(capability);
    CHECK_GL();
}

void Template::applyState()
{
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 1);
    glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, 1);
    glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, GL_SEPARATE_SPECULAR_COLOR);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthFunc(GL_LESS);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);

    setCapability(GL_BLEND, blend);
    setCapability(GL_DEPTH_TEST, depthTest);
    setCapability(GL_LIGHTING, lighting);
    setCapability(GL_TEXTURE_1D, texture1D);
    setCapability(GL_TEXTURE_2D, texture2D);
    setCapability(GL_COLOR_MATERIAL, colorMaterial);
    setCapability(GL_NORMALIZE, normalize);
    setCapability(GL_MULTISAMPLE_ARB, multisample);
    // The per-pixel lighting programs read every light (GLSL 1.10 cannot ask which are enabled),
    // so a light switched off also gives up its colours; fixed-function drawing ignores it anyway,
    // and every scene that lights sets its lights' colours in each draw.
    static const GLfloat dark[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    for (int i = 0; i < TEMPLATE_LIGHTS; i++) {
        setCapability(GL_LIGHT0 + i, light[i]);
        if (light[i]) continue;
        glLightfv(GL_LIGHT0 + i, GL_AMBIENT, dark);
        glLightfv(GL_LIGHT0 + i, GL_DIFFUSE, dark);
        glLightfv(GL_LIGHT0 + i, GL_SPECULAR, dark);
    }

    glShadeModel(shadeModel);
    CHECK_GL();
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glMatrixMode(GL_MODELVIEW);
    CHECK_GL();
    glLoadIdentity();
    CHECK_GL();
    glBindTexture(GL_TEXTURE_1D, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
    ShaderProgram::unbindAll();
}

void Template::resize(int newWidth, int newHeight)
{
    width = newWidth;
    height = newHeight;
    // Wider than 16:9 the band is taller than the window and its offset negative: the picture
    // is cropped top and bottom rather than squeezed.
    int bandHeight = (int)((float)width * VIEW_BAND);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glViewport(0, (height - bandHeight) / 2, width, bandHeight);
    gluPerspective(VIEW_FIELD_OF_VIEW, VIEW_ASPECT, VIEW_NEAR, VIEW_FAR);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void Template::drawUnderlayHere()
{
    if (!underlay) return;
    // What this scene drew goes to the driver first: a software rasteriser's threads shade it
    // while this thread sets up the underlay (the burst's set-up takes milliseconds), and the
    // frame-time report counts that work to this scene's row, not to the underlay's.
    glFlush();
    frameStatsUnderlayBegin(underlayRow);
    underlay->drawUnderlay();
    frameStatsUnderlayEnd();
}

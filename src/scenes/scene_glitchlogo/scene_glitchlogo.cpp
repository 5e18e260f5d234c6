// scene_glitchlogo: the glitched logo of the opening. See scene_glitchlogo.h.
#include "scenes/scene_glitchlogo/scene_glitchlogo.h"

#include "platform/report.h"                  // FATAL_LOCATION, CHECK_GL
#include "scenes/shaderset.h"                 // ShaderSet::glitch
#include "util/music/music.h"                 // getTime, meanTimeStep, getSpectrumLevel
#include "util/shaderprogram/shaderprogram.h" // bind, setUniform1f
#include "util/texture/texture.h"             // Texture
#include <math.h>                             // fmodf

// >> constants
static const float LOGO_HALF_WIDTH = 10.0f; // units: the logo is 20 wide
static const float LOGO_DEPTH = -18.0f;
static const float FADE_PER_BEAT = 0.1f;    // opacity gained per beat of music: fully in after ten
// Scripted moments, scene time in beats (bounds exclusive).
static const float TEAR_FROM = 14.0f, TEAR_TO = 14.5f, TEAR_OFFSET = 0.5f;
static const float BREAK_FROM = 9.5f, BREAK_TO = 10.0f, BREAK_OFFSET = 0.9f;
// In every eight beats, a burst between beats 2 and 3.
static const float BURST_PERIOD = 8.0f, BURST_FROM = 2.0f, BURST_TO = 3.0f, BURST_OFFSET = 0.05f;
// Otherwise the spectrum level (0 to 1) moves the strength between -0.0375 and 0.0875.
static const float LEVEL_BIAS = 0.3f, LEVEL_SCALE = 0.125f;

// >> state
static GlitchLogoState s_glitchLogo = {0.0f, 0.0f, 0.0f, false};

const GlitchLogoState& glitchLogoState() { return s_glitchLogo; }

void glitchLogoResetState() { s_glitchLogo = GlitchLogoState{0.0f, 0.0f, 0.0f, false}; }

// >> rules
float glitchLogoOffset(float t, Music* music)
{
    if (t > TEAR_FROM && t < TEAR_TO) return TEAR_OFFSET;
    if (t > BREAK_FROM && t < BREAK_TO) return BREAK_OFFSET;
    float m = fmodf(t, BURST_PERIOD);
    if (m > BURST_FROM && m < BURST_TO) return BURST_OFFSET;
    return (music->getSpectrumLevel() - LEVEL_BIAS) * LEVEL_SCALE;
}

float glitchLogoFadeStep(float fade, float meanTimeStep)
{
    if (fade >= 1.0f) return fade;
    // A clock that stepped back a little gives a negative mean step: the fade holds instead.
    if (meanTimeStep > 0.0f) fade += FADE_PER_BEAT * meanTimeStep;
    if (fade > 1.0f) fade = 1.0f;
    return fade;
}

// >> scene
void GlitchLogo::init()
{
    logo = new Texture();
    if (!logo->load(GLITCH_LOGO_IMAGE, GL_LINEAR, GL_LINEAR, false, false)) FATAL_LOCATION();
    glitch = shaders->glitch;
    blend = true;
    depthTest = false;
}

void GlitchLogo::draw()
{
    // Beat values.
    float now = music->getTime();
    s_glitchLogo.offset = glitchLogoOffset(now - startTime, music);

    // State: the glitch program, the logo on unit 0, added to the picture weighted by alpha.
    glitch->bind();
    glitch->setUniform1f("seed", now);
    glitch->setUniform1f("offset", s_glitchLogo.offset);
    glActiveTextureARB(GL_TEXTURE0_ARB);
    glBindTexture(GL_TEXTURE_2D, logo->textureId);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);

    if (!s_glitchLogo.halfHeightComputed) {
        s_glitchLogo.halfHeight = LOGO_HALF_WIDTH / logo->aspectRatio();
        s_glitchLogo.halfHeightComputed = true;
    }
    s_glitchLogo.fade = glitchLogoFadeStep(s_glitchLogo.fade, music->meanTimeStep);

    // Draw. The program stays bound: the next scene's applyState switches it off.
    const float h = s_glitchLogo.halfHeight;
    glColor4f(1.0f, 1.0f, 1.0f, s_glitchLogo.fade);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(-LOGO_HALF_WIDTH, -h, LOGO_DEPTH);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(LOGO_HALF_WIDTH, -h, LOGO_DEPTH);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(LOGO_HALF_WIDTH, h, LOGO_DEPTH);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(-LOGO_HALF_WIDTH, h, LOGO_DEPTH);
    glEnd();
    CHECK_GL();
}

void GlitchLogo::rewind() { glitchLogoResetState(); }

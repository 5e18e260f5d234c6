// scene_glowgreets: the glowing greetings pictures. See scene_glowgreets.h.
#include "scenes/scene_glowgreets/scene_glowgreets.h"

#include "platform/report.h"                  // CHECK_GL
#include "scenes/shaderset.h"                 // ShaderSet::blur
#include "util/fbo/fbo.h"                     // bindForDrawing
#include "util/music/music.h"                 // getTime
#include "util/shaderprogram/shaderprogram.h" // bind, unbindAll
#include "util/texture/texture.h"             // Texture
#include <GL/glu.h>                           // gluOrtho2D
#include <algorithm>
#include <math.h>                             // fmodf
#include <stdio.h>                            // snprintf

// >> content
const char* const GLOW_GREETS_NAMES[GLOW_GREETS_ENTRIES] = {
    "quartzmoth", // the group
    "velanix",    // person, beats 6-8
    "orrinkale",  // person, beats 8-10
    "tinfoilorchard", "basaltchoir", "neonmarrow", "copperwyrm", "glasspike", "vortenfeld", "ochrelantern",
    "umbrafold", "saltmarshcartel", "hexaburrow", "cobaltine", "wintermint", "pelicanstatic", "zephyrlogic",
    "moirehounds", "brassfern",
};

// >> constants
static const float PULSE_PERIOD = 2.0f;     // beats: no glow in the first, a linear rise in the second
static const float INTRO_END = 16.0f;       // beats of the opening part (group and people)
static const float PERSON1_FROM = 6.0f, PERSON1_TO = 8.0f; // bounds exclusive
static const float PERSON2_FROM = 8.0f, PERSON2_TO = 10.0f;
static const float CYCLE_ORIGIN = 10.0f;    // entry n is shown from beat 10 + 2n on
static const float SLOT_BEATS = 2.0f;
static const int GROUP_ENTRY = 0, PERSON1_ENTRY = 1, PERSON2_ENTRY = 2;
enum { GLOW_GREETS_PATH_SIZE = 128 };

// >> rules
GlowGreetsChoice glowGreetsChoose(float t, int entries)
{
    float pulse = fmodf(t, PULSE_PERIOD) - 1.0f;
    if (!(pulse > 0.0f)) pulse = 0.0f; // also a NaN clock
    GlowGreetsChoice choice = {GROUP_ENTRY, 0.0f};
    if (entries <= 0) return choice;
    if (t < INTRO_END) {
        if (t > PERSON1_FROM && t < PERSON1_TO) choice = GlowGreetsChoice{PERSON1_ENTRY, pulse};
        else if (t > PERSON2_FROM && t < PERSON2_TO) choice = GlowGreetsChoice{PERSON2_ENTRY, pulse};
        // With fewer lists than the person slots need, the group stands in.
        if (choice.entry >= entries) choice = GlowGreetsChoice{GROUP_ENTRY, 0.0f};
        return choice;
    }
    // t >= 16 here (a NaN clock fails the test above and ends up on entry 0 by the range check).
    float slot = (t - CYCLE_ORIGIN) / SLOT_BEATS;
    long n = (slot >= 0.0f && slot < 2.0e9f) ? (long)slot % entries : 0;
    choice.entry = (int)n;
    choice.pulse = pulse;
    return choice;
}

void glowGreetsPaths(const char* name, char* picture, char* mask, int size)
{
    snprintf(picture, size, "%s%s.jpg", GLOW_GREETS_DIRECTORY, name);
    snprintf(mask, size, "%s%s_mask.jpg", GLOW_GREETS_DIRECTORY, name);
}

// >> scene
void GlowGreets::init()
{
    char picture[GLOW_GREETS_PATH_SIZE], mask[GLOW_GREETS_PATH_SIZE];
    pictures.reserve(GLOW_GREETS_ENTRIES);
    masks.reserve(GLOW_GREETS_ENTRIES);
    glowColors.reserve(GLOW_GREETS_ENTRIES);
    for (int i = 0; i < GLOW_GREETS_ENTRIES; i++) {
        glowGreetsPaths(GLOW_GREETS_NAMES[i], picture, mask, GLOW_GREETS_PATH_SIZE);
        pictures.push_back(new Texture(picture));
        // The masks are grey: one channel holds them in a quarter of the memory.
        Texture* maskTexture = new Texture();
        maskTexture->greyAsOneChannel = true;
        if (!maskTexture->load(mask, GL_LINEAR, GL_LINEAR, false, false)) FATAL("Failed to load texture %s", mask);
        masks.push_back(maskTexture);
        glowColors.push_back(GlowColor{1.0f, 1.0f, 1.0f, 1.0f});
    }
    blur = shaders->blur;
    // The halo target, at the size of the masks (the first one's: they are made alike).
    glow = new Fbo();
    glow->resize((int)masks[0]->width, (int)masks[0]->height);
    blend = true;
    lighting = false;
    depthTest = false;
}

// The unit square, with the same texture coordinates on units 0 and 1.
static void drawUnitQuad()
{
    static const float CORNERS[4][2] = {{0.0f, 0.0f}, {1.0f, 0.0f}, {1.0f, 1.0f}, {0.0f, 1.0f}};
    glBegin(GL_QUADS);
    for (const float* corner : CORNERS) {
        glMultiTexCoord2fARB(GL_TEXTURE0_ARB, corner[0], corner[1]);
        glMultiTexCoord2fARB(GL_TEXTURE1_ARB, corner[0], corner[1]);
        glVertex2f(corner[0], corner[1]);
    }
    glEnd();
}

// Blurs strips [fromStrip, toStrip) of the mask into the halo target, at the mask's own size: half
// of what the blur program adds.
static void blurIntoGlow(GlowGreets* scene, Texture* mask, int fromStrip, int toStrip)
{
    scene->glow->bindForDrawing(false);
    glPushAttrib(GL_ENABLE_BIT | GL_SCISSOR_BIT);
    glDisable(GL_BLEND);
    const int height = scene->glow->height;
    const int bottom = height * fromStrip / GLOW_GREETS_HALO_STRIPS, top = height * toStrip / GLOW_GREETS_HALO_STRIPS;
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, bottom, scene->glow->width, top - bottom);
    scene->blur->bind();
    glBindTexture(GL_TEXTURE_2D, mask->textureId);
    glColor4f(BLUR_STORED_SHARE, BLUR_STORED_SHARE, BLUR_STORED_SHARE, BLUR_STORED_SHARE);
    drawUnitQuad();
    ShaderProgram::unbindAll();
    glPopAttrib();
    glPopAttrib();
    fboBindScreen();
    CHECK_GL();
}

void GlowGreets::draw()
{
    GlowGreetsChoice choice = glowGreetsChoose(music->getTime() - startTime, (int)pictures.size());
    // A colour of 0 adds nothing: the halo is only needed while the pulse is up.
    const bool halo = choice.pulse > 0.0f;
    // The whole blur in one frame would stall it, so the new greeting's halo is built a strip a
    // frame while its picture shows plain (the pulse's first beat), and finished at once when the
    // halo is due sooner (the first frame, a seek).
    if (choice.entry != glowEntry) {
        glowEntry = choice.entry;
        glowStrips = 0;
    }
    const int due = halo ? GLOW_GREETS_HALO_STRIPS : std::min(glowStrips + 1, (int)GLOW_GREETS_HALO_STRIPS);
    if (due > glowStrips) {
        blurIntoGlow(this, masks[glowEntry], glowStrips, due);
        glowStrips = due;
    }
    fbo->bindForDrawing(true);
    glBlendFunc(GL_ONE, GL_ONE);

    ShaderProgram::unbindAll();
    glActiveTextureARB(GL_TEXTURE0_ARB);
    if (!halo) {
        // The picture, plain.
        glBindTexture(GL_TEXTURE_2D, pictures[choice.entry]->textureId);
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        drawUnitQuad();
    } else {
        // The picture with the halo added, in one pass: unit 0 makes the halo times the pulsed
        // colour, doubled (and clamped, as the halo's own pass would be), unit 1 adds the picture.
        const GlowColor& c = glowColors[choice.entry];
        const float p = choice.pulse;
        glBindTexture(GL_TEXTURE_2D, glow->colorTextures[0]->textureId);
        textureSetModulateScale(1.0f / BLUR_STORED_SHARE);
        glActiveTextureARB(GL_TEXTURE1_ARB);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, pictures[choice.entry]->textureId);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_ADD);
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, GL_ADD);
        glColor4f(c.r * p, c.g * p, c.b * p, c.a * p);
        drawUnitQuad();
        // Unit 1 back to how every scene expects it: off, unbound, plain modulation.
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glBindTexture(GL_TEXTURE_2D, 0);
        glDisable(GL_TEXTURE_2D);
        glActiveTextureARB(GL_TEXTURE0_ARB);
        textureSetModulateScale(1.0f);
    }
    CHECK_GL();

    glPopAttrib();
    fboBindScreen();
}

void GlowGreets::resize(int newWidth, int newHeight)
{
    width = newWidth;
    height = newHeight;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0.0, 1.0, 0.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

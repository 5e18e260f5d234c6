// scene_spacexplosion: the particle burst. See scene_spacexplosion.h.
#include "scenes/scene_spacexplosion/scene_spacexplosion.h"

#include "platform/platform.h"                // platformGetProcAddress, platformMessageBox
#include "platform/report.h"                  // reportErrorBox, FATAL_LOCATION, CHECK_GL
#include "scenes/shaderset.h"                 // ShaderSet::billboard
#include "util/fbo/fbo.h"                     // bindForDrawing
#include "util/music/music.h"                 // getTime
#include "util/shaderprogram/shaderprogram.h" // bind, setUniform3fv, setUniform1f
#include "util/texture/texture.h"             // Texture
#include <GL/glu.h>                           // gluPerspective, gluLookAt
#include <math.h>
#include <stdlib.h>                           // rand
#include <string.h>

// >> constants
static const float BURST_SECONDS = 50.0f;   // the burst starts again from the origin after this
static const float MOVE_PER_SECOND = 5.0f;  // velocity units a particle covers per second
static const float SPEED_MIN = 0.5f, SPEED_RANGE = 4.5f;
static const float RED_EXTRA = 0.1f, BLUE_EXTRA = 0.2f; // on top of the grey: bluish white
static const float SPRITE_SIZE = 1.5f;      // world units, the billboard program's "size"
static const float CAMERA_DISTANCE = 60.0f; // the eye stands this far out on z
static const double FIELD_OF_VIEW = 45.0, NEAR_PLANE = 0.1, FAR_PLANE = 500.0;
// The burst draws this many particles before each look for saturated pixels (see drawParticles):
// early and often while the core fills up, then rarely.
static const int MARK_AFTER[] = {200, 600, 1500, 4000, 9000};
static const int MARK_COUNT = (int)(sizeof MARK_AFTER / sizeof MARK_AFTER[0]);
// The generator the burst was tuned with gave 15 bits; glibc's gives 31, so keep the low 15.
static const int RANDOM_MASK = 32767;
static const float PI = 3.14159265358979f;

// >> state
static SpacexplosionState s_spacexplosion; // zero: every particle at the origin, the clock at 0

SpacexplosionState& spacexplosionState() { return s_spacexplosion; }

void spacexplosionResetState() { memset(&s_spacexplosion, 0, sizeof s_spacexplosion); }

static void* (*s_procLookup)(const char* name) = platformGetProcAddress;

void spacexplosionSetProcLookup(void* (*lookup)(const char* name))
{
    s_procLookup = lookup ? lookup : platformGetProcAddress;
}

// >> rules
float spacexplosionRandom() { return (float)(rand() & RANDOM_MASK) / (float)RANDOM_MASK; }

void spacexplosionFillPool(Particle* particles, int count)
{
    for (int i = 0; i < count; i++) {
        Particle& p = particles[i];
        // Each number is drawn in its own statement: the order is part of the burst's look.
        float speed = SPEED_MIN + SPEED_RANGE * spacexplosionRandom();
        float z = 2.0f * spacexplosionRandom() - 1.0f;
        float angle = 2.0f * PI * spacexplosionRandom() - PI;
        float radius = sqrtf(1.0f - z * z);
        float grey = spacexplosionRandom();
        float red = grey + RED_EXTRA * spacexplosionRandom();
        float blue = grey + BLUE_EXTRA * spacexplosionRandom();
        p.position[0] = p.position[1] = p.position[2] = 0.0f;
        p.velocity[0] = radius * cosf(angle) * speed;
        p.velocity[1] = radius * sinf(angle) * speed;
        p.velocity[2] = z * speed;
        p.colour[0] = red;
        p.colour[1] = grey;
        p.colour[2] = blue;
    }
}

bool spacexplosionAdvance(SpacexplosionState* state, float frameStep)
{
    bool restarted = false;
    state->burstClock += frameStep;
    if (state->burstClock >= BURST_SECONDS) {
        for (Particle& p : state->particles) p.position[0] = p.position[1] = p.position[2] = 0.0f;
        state->burstClock = 0.0f;
        restarted = true;
    }
    // The restart frame moves too: the burst begins one step out from the origin.
    const float move = frameStep * MOVE_PER_SECOND;
    for (Particle& p : state->particles)
        for (int c = 0; c < 3; c++) p.position[c] += p.velocity[c] * move;
    return restarted;
}

float spacexplosionAspect(int width, int height)
{
    if (height == 0) height = 1;
    return (float)width / (float)height;
}

void spacexplosionCameraAxes(const float* m, float* right, float* up)
{
    right[0] = m[0], right[1] = m[4], right[2] = m[8];
    up[0] = m[1], up[1] = m[5], up[2] = m[9];
}

// >> scene
void Spacexplosion::init()
{
    blend = true;
    depthTest = false;
    lighting = false;
    colorMaterial = false;

    // Point sprites were the plan; the entry points are only checked, the billboard program draws.
    pointParameterf = s_procLookup("glPointParameterfARB");
    pointParameterfv = s_procLookup("glPointParameterfvARB");
    if (!pointParameterf || !pointParameterfv) {
        platformMessageBox("One or more GL_ARB_point_parameters functions were not found", "ERROR", BOX_WARNING);
        return;
    }

    particle = new Texture();
    if (!particle->load(SPACEXPLOSION_IMAGE, GL_LINEAR, GL_LINEAR, true, true)) {
        reportErrorBox("Returning false from texture load %i", 0);
        FATAL_LOCATION();
    }
    billboard = shaders->billboard;
    saturatedMask = new ShaderProgram("simple.vert", "saturated_mask.frag");

    GLfloat largest = 1.0f;
    glGetFloatv(GL_POINT_SIZE_MAX_ARB, &largest);
    glPointSize(largest);
    CHECK_GL();

    // The timeline's second instance refills the pool the first one filled.
    spacexplosionFillPool(s_spacexplosion.particles, SPACEXPLOSION_PARTICLES);
}

void Spacexplosion::resize(int newWidth, int newHeight)
{
    width = newWidth;
    height = newHeight == 0 ? 1 : newHeight;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(FIELD_OF_VIEW, spacexplosionAspect(width, height), NEAR_PLANE, FAR_PLANE);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void Spacexplosion::draw()
{
    // Beat values: the eye slides along x with the song; the burst runs on the frame step.
    const float beat = music->getTime();
    gluLookAt(beat, 0.0, CAMERA_DISTANCE, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
    spacexplosionAdvance(&s_spacexplosion, frameClock.frameStep);
    CHECK_GL();

    fbo->bindForDrawing(true);
    // Without the extension the scene holds no texture and no program: the Fbo stays black.
    if (billboard) {
        glBlendFunc(GL_ONE, GL_ONE);
        glActiveTextureARB(GL_TEXTURE0_ARB);
        glBindTexture(GL_TEXTURE_2D, particle->textureId);

        GLfloat modelView[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
        float right[3], up[3];
        spacexplosionCameraAxes(modelView, right, up);
        billboard->bind();
        billboard->setUniform3fv("right", right);
        billboard->setUniform3fv("up", up);
        billboard->setUniform1f("size", SPRITE_SIZE);

        // Four corners at the particle's position; the program spreads them by texture coordinate.
        // One array draw: sent a vertex at a time, the 60000 corners cost the driver's thread
        // more than the rasteriser's threads spend on a whole window's vertices.
        spacexplosionQuadArrays(s_spacexplosion.particles, SPACEXPLOSION_PARTICLES, &quads);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glClientActiveTextureARB(GL_TEXTURE0_ARB);
        glVertexPointer(3, GL_FLOAT, 0, quads.positions.data());
        glColorPointer(3, GL_FLOAT, 0, quads.colours.data());
        glTexCoordPointer(2, GL_FLOAT, 0, quads.texCoords.data());
        drawParticles(modelView);
        glDisableClientState(GL_VERTEX_ARRAY);
        glDisableClientState(GL_COLOR_ARRAY);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        // What the last corner leaves current, as one sent at a time would.
        const Particle& last = s_spacexplosion.particles[SPACEXPLOSION_PARTICLES - 1];
        glColor4f(last.colour[0], last.colour[1], last.colour[2], 1.0f);
        glTexCoord2f(0.0f, 1.0f);
    }
    glPopAttrib();
    fboBindScreen();
    CHECK_GL();
    CHECK_GL();
}

// The particles in batches. After each of the first ones, the pixels already white in all four
// channels are marked in the depth buffer (which the scene clears and does not otherwise use), and
// later batches are depth tested against the marks: adding to a saturated pixel changes nothing,
// and in the dense core of the burst many sprites land on such pixels, so the rasteriser turns them
// away before they are shaded. The picture is the same bit for bit; the marks are cleared after.
void Spacexplosion::drawParticles(const float* modelView)
{
    if (!markSaturatedPixels || !saturatedMask || saturatedMask->standIn || fbo->depthRenderbufferId == 0) {
        glDrawArrays(GL_QUADS, 0, 4 * SPACEXPLOSION_PARTICLES);
        return;
    }
    GLfloat projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    int rect[4];
    spacexplosionScreenBounds(s_spacexplosion.particles, SPACEXPLOSION_PARTICLES, modelView, projection,
                              fbo->width, fbo->height, SPRITE_SIZE, rect);
    int drawn = 0;
    for (int batch = 0; batch <= MARK_COUNT; batch++) {
        const int end = batch < MARK_COUNT ? MARK_AFTER[batch] : SPACEXPLOSION_PARTICLES;
        glDrawArrays(GL_QUADS, 4 * drawn, 4 * (end - drawn));
        drawn = end;
        if (batch == MARK_COUNT || !markSaturated(rect)) continue;
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LESS); // every sprite lies in front of the cleared depth, behind a mark
        glDepthMask(GL_FALSE);
        billboard->bind();
        glBindTexture(GL_TEXTURE_2D, particle->textureId);
    }
    // The depth buffer as the clear left it: the scenes drawn over this picture depth test in it.
    glDepthMask(GL_TRUE);
    glEnable(GL_SCISSOR_TEST);
    glScissor(rect[0], rect[1], rect[2], rect[3]);
    glClear(GL_DEPTH_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_DEPTH_TEST);
}

// Writes depth 0 wherever the shared picture is white in all four channels inside `rect`, drawing
// through a framebuffer that holds only the shared depth buffer, so that the picture can be read as
// a texture meanwhile. Leaves the shared Fbo bound; false (nothing marked) when there is nothing to
// mark or the driver refuses such a framebuffer.
bool Spacexplosion::markSaturated(const int* rect)
{
    if (rect[2] <= 0 || rect[3] <= 0) return false;
    if (maskTarget == 0) {
        glGenFramebuffersEXT(1, &maskTarget);
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, maskTarget);
        glDrawBuffer(GL_NONE);
        glReadBuffer(GL_NONE);
    }
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, maskTarget);
    // Every time: a resize of the shared Fbo replaces its depth buffer.
    glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT,
                                 fbo->depthRenderbufferId);
    const bool complete = glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT) == GL_FRAMEBUFFER_COMPLETE_EXT;
    if (complete) {
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glOrtho(0, fbo->width, 0, fbo->height, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_ALWAYS);
        glDepthMask(GL_TRUE);
        saturatedMask->bind();
        saturatedMask->setUniform1i("Picture", 0);
        fbo->bindTexture(0);
        // Texture coordinates at the pixels' centres read each pixel's own texel.
        const float x0 = (float)rect[0], y0 = (float)rect[1];
        const float x1 = (float)(rect[0] + rect[2]), y1 = (float)(rect[1] + rect[3]);
        const float u0 = x0 / (float)fbo->width, v0 = y0 / (float)fbo->height;
        const float u1 = x1 / (float)fbo->width, v1 = y1 / (float)fbo->height;
        glBegin(GL_QUADS); // z 1 is depth 0 under this projection
        glTexCoord2f(u0, v0), glVertex3f(x0, y0, 1.0f);
        glTexCoord2f(u1, v0), glVertex3f(x1, y0, 1.0f);
        glTexCoord2f(u1, v1), glVertex3f(x1, y1, 1.0f);
        glTexCoord2f(u0, v1), glVertex3f(x0, y1, 1.0f);
        glEnd();
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
        glPopMatrix();
    }
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fbo->framebufferId);
    CHECK_GL();
    return complete;
}

bool spacexplosionScreenBounds(const Particle* particles, int count, const float* m, const float* p,
                               int width, int height, float size, int* rect)
{
    rect[0] = rect[1] = 0;
    rect[2] = width;
    rect[3] = height;
    float lowX = 1e30f, lowY = 1e30f, highX = -1e30f, highY = -1e30f;
    const float half = 0.5f * size;
    for (int i = 0; i < count; i++) {
        const float* v = particles[i].position;
        float eye[3];
        for (int r = 0; r < 3; r++) eye[r] = m[r] * v[0] + m[4 + r] * v[1] + m[8 + r] * v[2] + m[12 + r];
        for (int corner = 0; corner < 4; corner++) {
            const float ex = eye[0] + (corner & 1 ? half : -half);
            const float ey = eye[1] + (corner & 2 ? half : -half);
            const float cx = p[0] * ex + p[4] * ey + p[8] * eye[2] + p[12];
            const float cy = p[1] * ex + p[5] * ey + p[9] * eye[2] + p[13];
            const float cw = p[3] * ex + p[7] * ey + p[11] * eye[2] + p[15];
            // A corner at or behind the eye projects anywhere: keep the whole picture.
            if (!(cw > 1e-6f)) return false;
            const float x = (cx / cw * 0.5f + 0.5f) * (float)width;
            const float y = (cy / cw * 0.5f + 0.5f) * (float)height;
            if (x < lowX) lowX = x;
            if (x > highX) highX = x;
            if (y < lowY) lowY = y;
            if (y > highY) highY = y;
        }
    }
    if (count == 0 || !(highX >= lowX) || !(highY >= lowY)) return false;
    // A pixel whose centre a sprite may touch, with a pixel to spare for rounding.
    const float x0 = floorf(lowX) - 1.0f, y0 = floorf(lowY) - 1.0f;
    const float x1 = ceilf(highX) + 1.0f, y1 = ceilf(highY) + 1.0f;
    rect[0] = (int)fmaxf(0.0f, fminf(x0, (float)width));
    rect[1] = (int)fmaxf(0.0f, fminf(y0, (float)height));
    rect[2] = (int)fmaxf(0.0f, fminf(x1, (float)width)) - rect[0];
    rect[3] = (int)fmaxf(0.0f, fminf(y1, (float)height)) - rect[1];
    return true;
}

void spacexplosionQuadArrays(const Particle* particles, int count, SpacexplosionQuads* quads)
{
    static const float CORNERS[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    quads->positions.resize((size_t)count * 12);
    quads->colours.resize((size_t)count * 12);
    // Every quad's corners take the same four coordinates: written once.
    if (quads->texCoords.size() != (size_t)count * 8) {
        quads->texCoords.resize((size_t)count * 8);
        for (int i = 0; i < count * 4; i++) {
            quads->texCoords[i * 2] = CORNERS[i % 4][0];
            quads->texCoords[i * 2 + 1] = CORNERS[i % 4][1];
        }
    }
    float* position = quads->positions.data();
    float* colour = quads->colours.data();
    for (int i = 0; i < count; i++) {
        for (int corner = 0; corner < 4; corner++) {
            memcpy(position, particles[i].position, sizeof particles[i].position);
            memcpy(colour, particles[i].colour, sizeof particles[i].colour);
            position += 3;
            colour += 3;
        }
    }
}

void Spacexplosion::rewind()
{
    spacexplosionResetState();
    // As init: only a scene that got its texture filled the pool.
    if (particle) spacexplosionFillPool(s_spacexplosion.particles, SPACEXPLOSION_PARTICLES);
}

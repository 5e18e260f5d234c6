// scene_spacexplosion: the particle burst. See scene_spacexplosion.h.
#include "scenes/scene_spacexplosion/scene_spacexplosion.h"

#include "platform/platform.h"                // platformGetProcAddress, platformMessageBox
#include "platform/report.h"                  // reportErrorBox, FATAL_LOCATION, CHECK_GL
#include "scenes/shaderset.h"                 // ShaderSet::billboard
#include "util/fbo/fbo.h"                     // bindForDrawing
#include "util/music/music.h"                 // getTime
#include "util/objects3d/camera.h"            // multiplyMatrices
#include "util/objects3d/objects3d.h"         // Objects3D::warmingUp
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
// The generator the burst was tuned with gave 15 bits; glibc's gives 31, so keep the low 15.
static const int RANDOM_MASK = 32767;
// Relative slack before a particle counts as beyond a clip plane: the driver's transform rounds
// differently from ours.
static const float CULL_MARGIN = 1.0e-3f;
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
    // Built once: the timeline's two instances draw with the same program.
    static ShaderProgram* s_points = new ShaderProgram(SPACEXPLOSION_POINT_VERTEX, SPACEXPLOSION_POINT_FRAGMENT);
    points = s_points;

    GLfloat largest = 1.0f;
    glGetFloatv(GL_POINT_SIZE_MAX_ARB, &largest);
    glPointSize(largest);
    GLfloat sizeRange[2] = {1.0f, 1.0f};
    glGetFloatv(GL_ALIASED_POINT_SIZE_RANGE, sizeRange);
    largestPoint = sizeRange[1];
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
        glGetFloatv(GL_MODELVIEW_MATRIX, camera);
        // The particles only add light to the black picture: where the keyboard drawn next paints
        // over them they would be lost, so they are drawn after it, only where it left black.
        underlayPending = true;
        // What the last corner leaves current, as one sent at a time would; the keyboard's
        // materials follow the current colour.
        const Particle& last = s_spacexplosion.particles[SPACEXPLOSION_PARTICLES - 1];
        glColor4f(last.colour[0], last.colour[1], last.colour[2], 1.0f);
        glTexCoord2f(0.0f, 1.0f);
    }
    glPopAttrib();
    fboBindScreen();
    CHECK_GL();
    CHECK_GL();
}

void Spacexplosion::drawUnderlay()
{
    if (!billboard) return;
    // Everything the scene drawing over the picture has set is put back afterwards.
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluPerspective(FIELD_OF_VIEW, spacexplosionAspect(width, height), NEAR_PLANE, FAR_PLANE);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadMatrixf(camera);
    glViewport(0, 0, fbo->width, fbo->height);

    glDisable(GL_CULL_FACE);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_STENCIL_TEST);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    // Every particle lies at the far plane: it passes only where nothing was drawn since the
    // clear, and writes no depth.
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDepthMask(GL_FALSE);
    glDepthRange(1.0, 1.0);

    glActiveTextureARB(GL_TEXTURE0_ARB);
    glBindTexture(GL_TEXTURE_2D, particle->textureId);

    SpacexplosionView view;
    GLfloat projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    multiplyMatrices(projection, camera, view.modelViewProjection);
    view.pixelsAtUnitW = SPRITE_SIZE * projection[5] * 0.5f * (float)fbo->height;
    view.width = fbo->width;
    view.height = fbo->height;
    view.largestPoint = largestPoint;
    spacexplosionSplit(s_spacexplosion.particles, SPACEXPLOSION_PARTICLES, view, &batches);
    // A young burst has no quads, yet the warm-up must have the driver build its code for both
    // batches: one particle more, as a quad, in a picture nobody sees.
    if (Objects3D::warmingUp && batches.quadParticles.empty()) {
        batches.quadParticles.push_back(s_spacexplosion.particles[0]);
        spacexplosionQuadArrays(batches.quadParticles.data(), 1, &batches.quads);
    }

    // Blending adds, with saturation, so the order of the two batches does not change the sum.
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    // The particles at the edges and near the eye as quads: four corners at the particle's
    // position, which the billboard program spreads along the camera axes by their texture
    // coordinates. Its uniforms are set every frame, drawn or not, so that a program without
    // them is reported at once.
    float right[3], up[3];
    spacexplosionCameraAxes(camera, right, up);
    billboard->bind();
    billboard->setUniform3fv("right", right);
    billboard->setUniform3fv("up", up);
    billboard->setUniform1f("size", SPRITE_SIZE);
    const int quadCount = (int)batches.quadParticles.size();
    if (quadCount > 0) {
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glClientActiveTextureARB(GL_TEXTURE0_ARB);
        glVertexPointer(3, GL_FLOAT, 0, batches.quads.positions.data());
        glColorPointer(3, GL_FLOAT, 0, batches.quads.colours.data());
        glTexCoordPointer(2, GL_FLOAT, 0, batches.quads.texCoords.data());
        glDrawArrays(GL_QUADS, 0, 4 * quadCount);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }

    // The rest, most of them, as point sprites: the driver sets up one vertex each instead of
    // four corners and two triangles.
    const int pointCount = (int)batches.pointPositions.size() / 3;
    if (pointCount > 0) {
        points->bind();
        points->setUniform1f("pixelsAtUnitW", view.pixelsAtUnitW);
        glEnable(GL_POINT_SPRITE);
        glEnable(GL_VERTEX_PROGRAM_POINT_SIZE);
        // Texture coordinates from the lower left, as the quad's corners have them.
        glTexEnvi(GL_POINT_SPRITE, GL_COORD_REPLACE, GL_TRUE);
        glPointParameteri(GL_POINT_SPRITE_COORD_ORIGIN, GL_LOWER_LEFT);
        glVertexPointer(3, GL_FLOAT, 0, batches.pointPositions.data());
        glColorPointer(3, GL_FLOAT, 0, batches.pointColours.data());
        glDrawArrays(GL_POINTS, 0, pointCount);
    }
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    ShaderProgram::unbindAll();

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
    CHECK_GL();
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

void spacexplosionSplit(const Particle* particles, int count, const SpacexplosionView& view,
                        SpacexplosionBatches* batches)
{
    batches->pointPositions.clear();
    batches->pointColours.clear();
    batches->quadParticles.clear();
    const float* m = view.modelViewProjection;
    for (int i = 0; i < count; i++) {
        const float* p = particles[i].position;
        float clip[4];
        for (int row = 0; row < 4; row++)
            clip[row] = m[row] * p[0] + m[4 + row] * p[1] + m[8 + row] * p[2] + m[12 + row];
        const float w = clip[3];
        // The sprite faces the camera, so all of it lies at the particle's depth: behind the eye,
        // or in front of the near or beyond the far plane (by a margin for rounding), the clipper
        // would remove all of it.
        if (w < -CULL_MARGIN || (w > 0.0f && fabsf(clip[2]) > w * (1.0f + CULL_MARGIN))) continue;
        bool point = w > 0.0f && fabsf(clip[2]) < w;
        if (point) {
            // Window position of the centre, and half the sprite with a pixel to spare.
            const float x = (clip[0] / w * 0.5f + 0.5f) * (float)view.width;
            const float y = (clip[1] / w * 0.5f + 0.5f) * (float)view.height;
            const float pixels = view.pixelsAtUnitW / w;
            const float reach = 0.5f * pixels + 1.0f;
            // Wholly outside the view: it would give no pixel.
            if (x + reach < 0.0f || x - reach > (float)view.width || y + reach < 0.0f || y - reach > (float)view.height)
                continue;
            point = pixels <= view.largestPoint && x - reach >= 0.0f && x + reach <= (float)view.width &&
                    y - reach >= 0.0f && y + reach <= (float)view.height;
        }
        if (point) {
            batches->pointPositions.insert(batches->pointPositions.end(), p, p + 3);
            batches->pointColours.insert(batches->pointColours.end(), particles[i].colour, particles[i].colour + 3);
        } else {
            batches->quadParticles.push_back(particles[i]);
        }
    }
    spacexplosionQuadArrays(batches->quadParticles.data(), (int)batches->quadParticles.size(), &batches->quads);
}

void Spacexplosion::rewind()
{
    spacexplosionResetState();
    // As init: only a scene that got its texture filled the pool.
    if (particle) spacexplosionFillPool(s_spacexplosion.particles, SPACEXPLOSION_PARTICLES);
}

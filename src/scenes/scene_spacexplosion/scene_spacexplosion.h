// scene_spacexplosion: a particle burst in the shared framebuffer object.
//
// SPACEXPLOSION_PARTICLES camera-facing sprites ("data/common/images/own_particle_256.png") fly out
// of the origin in random directions at random speeds, bluish white, added to each other (blend
// one, one). A sprite wholly inside the picture is one point sprite of the scene's own program
// ("particle_point.vert" with "billboard.frag"); the others (at the edges, near the eye) are
// quads whose four corners arrive at the particle's position and which the shared `billboard`
// program spreads along the camera axes: the same square either way. The camera looks at the origin from
// (beat, 0, 60), so it slides along x as the song goes on. The scene clears the shared Fbo and
// draws into it; the screen shows it only through the sound-system scene. The particles are left
// for later (drawUnderlay): the keyboard drawn next over the picture adds them only where it
// leaves it bare, and without it the driver draws them straight after.
//
// Shared by every instance: the particle pool and the burst clock (seconds of frame steps while
// an instance is drawn). The clock restarts the burst from the origin at BURST_SECONDS; the
// timeline's second window continues where the first one stopped. Each init refills the pool.
//
// Failures: missing point-parameter entry points are a warning box, after which the scene holds
// no texture and no program and draws only the cleared Fbo; a particle image that does not load,
// a point-sprite program that does not build, a billboard program without "right", "up" or
// "size", and GL errors are fatal.
#pragma once

#include "scenes/template.h" // Template
#include <vector>

class Texture;
class ShaderProgram;

#define SPACEXPLOSION_IMAGE "data/common/images/own_particle_256.png"
#define SPACEXPLOSION_POINT_VERTEX "particle_point.vert"
#define SPACEXPLOSION_POINT_FRAGMENT "billboard.frag" // the same sprite shading as the quads

enum { SPACEXPLOSION_PARTICLES = 15000 };

struct Particle {
    float position[3]; // world units; starts at the origin
    float velocity[3]; // direction times speed (0.5 to 5); moves five times this per second
    float colour[3];   // red, green, blue; red and blue may pass 1 (GL clamps); alpha is 1
};

// Shared by every instance: one pool, one clock.
struct SpacexplosionState {
    Particle particles[SPACEXPLOSION_PARTICLES];
    float burstClock; // seconds since the burst last started, counted in frame steps
};

// The particles as quads for one array draw: per corner its particle's position and colour and
// the corner's texture coordinate (0,0), (1,0), (1,1), (0,1).
struct SpacexplosionQuads {
    std::vector<float> positions; // 3 a corner
    std::vector<float> colours;   // 3 a corner; alpha is 1
    std::vector<float> texCoords; // 2 a corner
};

// One frame's particles split for drawing: a particle whose sprite lies wholly inside the
// viewport and is at most the largest point size wide is one point sprite (one vertex to set
// up instead of four); the rest (at the picture's edges, near or behind the eye) are quads,
// which the view clips.
struct SpacexplosionBatches {
    std::vector<float> pointPositions; // 3 a point
    std::vector<float> pointColours;   // 3 a point
    std::vector<Particle> quadParticles;
    SpacexplosionQuads quads;           // the corners of quadParticles
};

// What the split needs to know of the view.
struct SpacexplosionView {
    float modelViewProjection[16]; // column-major
    float pixelsAtUnitW;           // a sprite's width in pixels times its clip w
    int width, height;             // viewport, pixels
    float largestPoint;            // the driver's largest point size, pixels
};

class Spacexplosion : public Template {
public:
    void* pointParameterf = nullptr;    // glPointParameterfARB; only its presence is checked
    void* pointParameterfv = nullptr;   // glPointParameterfvARB; likewise
    Texture* particle = nullptr;        // the sprite image; null after the extension warning
    ShaderProgram* billboard = nullptr; // the shared billboard program; null likewise
    ShaderProgram* points = nullptr;    // the point-sprite program ("particle_point.vert", "billboard.frag")
    float largestPoint = 0.0f;          // the driver's largest point sprite, pixels (0: quads only)
    SpacexplosionBatches batches;       // this frame's points and quads, kept to reuse their storage
    float camera[16] = {};              // this frame's model-view matrix, for drawUnderlay

    void init() override;
    void draw() override;
    void drawUnderlay() override;
    void rewind() override;
    void resize(int width, int height) override;
};

// >> rules (no GL)
// A value in 0..1 from rand, at the 15-bit resolution of the generator the burst was made with.
float spacexplosionRandom();
// Fills `count` particles at the origin with random velocities and colours, drawing six numbers
// each in a fixed order: speed, z, angle, grey, red's extra, blue's extra.
void spacexplosionFillPool(Particle* particles, int count);
// One frame of the burst: the clock gains `frameStep`; at BURST_SECONDS or more every particle
// goes back to the origin and the clock to 0; then every particle moves by velocity x step x 5.
// Returns true when the burst restarted in this frame.
bool spacexplosionAdvance(SpacexplosionState* state, float frameStep);
// Fills `quads` with the corners of `count` particles.
void spacexplosionQuadArrays(const Particle* particles, int count, SpacexplosionQuads* quads);
// Splits `count` particles between points and quads for `view` (see SpacexplosionBatches), in
// pool order within each; fills the quads' corners too. A particle whose sprite would give no
// pixel (wholly outside the view, behind the eye, beyond the near or far plane) is in neither.
void spacexplosionSplit(const Particle* particles, int count, const SpacexplosionView& view,
                        SpacexplosionBatches* batches);
// Width over height, a height of 0 counted as 1.
float spacexplosionAspect(int width, int height);
// The camera's right and up axes in world space from a column-major model-view matrix.
void spacexplosionCameraAxes(const float* modelView, float* right, float* up);

// The process-wide state (tests set the clock), and a fresh start for tests and tools.
SpacexplosionState& spacexplosionState();
void spacexplosionResetState();

// Tests only: replaces the GL entry-point lookup of init (null puts the platform's back).
void spacexplosionSetProcLookup(void* (*lookup)(const char* name));

// Spacexplosion: the random pool and its draw order, the burst clock and its restart, the
// projection rule, the pool and clock shared by the timeline's two instances, the warning without
// point parameters, and frames drawn into the shared Fbo through the driver's frame path with the
// real particle image and billboard program, checked for a centred bluish-white cloud.
#include "scenes/scene_spacexplosion/scene_spacexplosion.h"

#include "scene_frames.h"       // the driver's frame path, the Fbo read back, pictures
#include "scenes/shaderset.h" // ShaderSet
#include "util/objects3d/objects3d.h" // Objects3D::warmingUp
#include "util/shaderprogram/shaderprogram.h"
#include <math.h>
#include <stdlib.h>

using namespace sceneframes;

// 150 beats a second: the 2 s test song reaches past both windows (136-168, 200-216).
static const float TEST_BPM = 9000.0f;

static float length3(const float* v) { return sqrtf(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

// >> rules without GL
TEST(SpacexplosionRandom, StaysInsideZeroToOneWhateverTheGenerator)
{
    srand(3);
    float lowest = 1.0f, highest = 0.0f;
    double sum = 0.0;
    for (int i = 0; i < 20000; i++) {
        float u = spacexplosionRandom();
        lowest = fminf(lowest, u);
        highest = fmaxf(highest, u);
        sum += u;
    }
    EXPECT_GE(lowest, 0.0f);
    EXPECT_LE(highest, 1.0f);
    EXPECT_GT(highest, 0.99f);
    EXPECT_NEAR(sum / 20000.0, 0.5, 0.01);
}

TEST(SpacexplosionPool, DrawsSixNumbersPerParticleInOrder)
{
    static Particle pool[SPACEXPLOSION_PARTICLES];
    srand(11);
    spacexplosionFillPool(pool, SPACEXPLOSION_PARTICLES);
    // The same seed, drawn by hand: speed, z, angle, grey, red's extra, blue's extra.
    srand(11);
    for (int i = 0; i < 3; i++) {
        float speed = 0.5f + 4.5f * spacexplosionRandom();
        float z = 2.0f * spacexplosionRandom() - 1.0f;
        float angle = 2.0f * (float)M_PI * spacexplosionRandom() - (float)M_PI;
        float grey = spacexplosionRandom();
        float red = grey + 0.1f * spacexplosionRandom();
        float blue = grey + 0.2f * spacexplosionRandom();
        float radius = sqrtf(1.0f - z * z);
        EXPECT_NEAR(pool[i].velocity[0], radius * cosf(angle) * speed, 1e-5) << i;
        EXPECT_NEAR(pool[i].velocity[1], radius * sinf(angle) * speed, 1e-5) << i;
        EXPECT_NEAR(pool[i].velocity[2], z * speed, 1e-5) << i;
        EXPECT_FLOAT_EQ(pool[i].colour[0], red);
        EXPECT_FLOAT_EQ(pool[i].colour[1], grey);
        EXPECT_FLOAT_EQ(pool[i].colour[2], blue);
    }
    // Every particle at the origin, speed 0.5 to 5, bluish white; directions fill the sphere.
    double meanDirection[3] = {0, 0, 0};
    int upper = 0;
    for (const Particle& p : pool) {
        EXPECT_EQ(length3(p.position), 0.0f);
        float speed = length3(p.velocity);
        ASSERT_GE(speed, 0.5f - 1e-4f);
        ASSERT_LE(speed, 5.0f + 1e-4f);
        ASSERT_GE(p.colour[1], 0.0f);
        ASSERT_LE(p.colour[1], 1.0f);
        ASSERT_GE(p.colour[0] - p.colour[1], 0.0f);
        ASSERT_LE(p.colour[0] - p.colour[1], 0.1f + 1e-6f);
        ASSERT_GE(p.colour[2] - p.colour[1], 0.0f);
        ASSERT_LE(p.colour[2] - p.colour[1], 0.2f + 1e-6f);
        for (int c = 0; c < 3; c++) meanDirection[c] += p.velocity[c] / speed / SPACEXPLOSION_PARTICLES;
        if (p.velocity[1] > 0.0f) upper++;
    }
    for (int c = 0; c < 3; c++) EXPECT_NEAR(meanDirection[c], 0.0, 0.03) << c;
    EXPECT_NEAR(upper, SPACEXPLOSION_PARTICLES / 2, SPACEXPLOSION_PARTICLES / 40);
}

class SpacexplosionBurst : public testing::Test {
protected:
    SpacexplosionState& state = spacexplosionState();
    void SetUp() override
    {
        spacexplosionResetState();
        srand(5);
        spacexplosionFillPool(state.particles, SPACEXPLOSION_PARTICLES);
    }
    // Particle i is at velocity x distance (burst seconds x 5).
    void expectAt(float seconds)
    {
        for (int i : {0, 1, 7777, SPACEXPLOSION_PARTICLES - 1})
            for (int c = 0; c < 3; c++)
            {
                // Hundreds of small float steps: allow their rounding, relative to the distance.
                float expected = state.particles[i].velocity[c] * 5.0f * seconds;
                EXPECT_NEAR(state.particles[i].position[c], expected, 1e-4 + 1e-5 * fabsf(expected)) << "particle " << i;
            }
    }
};

TEST_F(SpacexplosionBurst, MovesFiveVelocitiesPerSecond)
{
    EXPECT_FALSE(spacexplosionAdvance(&state, 0.25f));
    EXPECT_FALSE(spacexplosionAdvance(&state, 0.5f));
    EXPECT_FLOAT_EQ(state.burstClock, 0.75f);
    expectAt(0.75f);
}

TEST_F(SpacexplosionBurst, RestartsAtExactlyFiftyOneStepFromTheOrigin)
{
    // Forty-nine and three quarter seconds of burst; one more quarter reaches exactly 50.0.
    for (int i = 0; i < 199; i++) ASSERT_FALSE(spacexplosionAdvance(&state, 0.25f)) << i;
    EXPECT_FLOAT_EQ(state.burstClock, 49.75f);
    expectAt(49.75f);
    EXPECT_TRUE(spacexplosionAdvance(&state, 0.25f));
    EXPECT_EQ(state.burstClock, 0.0f);
    expectAt(0.25f); // moved in the restart frame: not at the origin
    EXPECT_GT(length3(state.particles[0].position), 0.0f);
    // The clock counts from 0, not from the overshoot.
    state.burstClock = 49.9f;
    EXPECT_TRUE(spacexplosionAdvance(&state, 0.2f));
    EXPECT_EQ(state.burstClock, 0.0f);
    expectAt(0.2f);
}

TEST(SpacexplosionQuads, FourCornersPerParticleInTheOrderTheyWereSentOneByOne)
{
    Particle particles[2] = {{{1, 2, 3}, {0, 0, 0}, {0.5f, 0.25f, 1.5f}}, {{-4, 5, -6}, {0, 0, 0}, {1, 1, 1}}};
    SpacexplosionQuads quads;
    for (int pass = 0; pass < 2; pass++) { // the second reuses the storage
        spacexplosionQuadArrays(particles, 2, &quads);
        ASSERT_EQ(quads.positions.size(), 24u);
        ASSERT_EQ(quads.colours.size(), 24u);
        ASSERT_EQ(quads.texCoords.size(), 16u);
        const float corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        for (int v = 0; v < 8; v++) {
            const Particle& p = particles[v / 4];
            for (int k = 0; k < 3; k++) {
                EXPECT_EQ(quads.positions[v * 3 + k], p.position[k]) << v;
                EXPECT_EQ(quads.colours[v * 3 + k], p.colour[k]) << v;
            }
            EXPECT_EQ(quads.texCoords[v * 2], corners[v % 4][0]) << v;
            EXPECT_EQ(quads.texCoords[v * 2 + 1], corners[v % 4][1]) << v;
        }
        particles[1].position[0] = 7; // moved: the next fill follows
    }
}

TEST(SpacexplosionSplit, PointsOnlyWhereTheWholeSpriteFitsTheViewAndTheLargestPoint)
{
    // Clip coordinates are the position with w = 1: a 100 x 100 view, sprites 10 pixels wide.
    SpacexplosionView view = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, 10.0f, 100, 100, 64.0f};
    Particle particles[8] = {
        {{0, 0, 0}, {0, 0, 0}, {0.1f, 0.2f, 0.3f}},    // the middle: a point
        {{0.85f, 0, 0}, {0, 0, 0}, {1, 1, 1}},         // its sprite reaches x = 98.75: a point
        {{0.95f, 0, 0}, {0, 0, 0}, {0.4f, 0.5f, 0.6f}}, // across the right edge: a quad
        {{0, -0.95f, 0}, {0, 0, 0}, {1, 1, 1}},        // across the bottom: a quad
        {{0, 0, 1.5f}, {0, 0, 0}, {1, 1, 1}},          // beyond the far plane: left out
        {{-0.5f, 0.5f, -0.5f}, {0, 0, 0}, {0.7f, 0.8f, 0.9f}}, // a point
        {{1.15f, 0, 0}, {0, 0, 0}, {1, 1, 1}},         // its sprite starts at x = 102.5, right of the view: left out
        {{0, 1.08f, 0}, {0, 0, 0}, {1, 1, 1}},         // its sprite still touches the top: a quad
    };
    SpacexplosionBatches batches;
    spacexplosionSplit(particles, 8, view, &batches);
    EXPECT_EQ(batches.pointPositions, (std::vector<float>{0, 0, 0, 0.85f, 0, 0, -0.5f, 0.5f, -0.5f}));
    EXPECT_EQ(batches.pointColours, (std::vector<float>{0.1f, 0.2f, 0.3f, 1, 1, 1, 0.7f, 0.8f, 0.9f}));
    ASSERT_EQ(batches.quadParticles.size(), 3u);
    EXPECT_EQ(batches.quadParticles[0].colour[0], 0.4f);
    EXPECT_EQ(batches.quadParticles[2].position[1], 1.08f);
    EXPECT_EQ(batches.quads.positions.size(), 3u * 12);
    EXPECT_EQ(batches.quads.positions[0], 0.95f);

    // Sprites wider than the driver's largest point are quads; the storage is reused.
    view.largestPoint = 8.0f;
    spacexplosionSplit(particles, 8, view, &batches);
    EXPECT_TRUE(batches.pointPositions.empty());
    EXPECT_EQ(batches.quadParticles.size(), 6u);
    // Behind the eye (w = -z) nothing is drawn; at the eye's plane, where rounding decides, a quad.
    view.largestPoint = 64.0f;
    const float behind[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0.5f, -1, 0, 0, 0, 0};
    memcpy(view.modelViewProjection, behind, sizeof behind);
    Particle depths[3] = {{{0, 0, -0.5f}, {0, 0, 0}, {1, 1, 1}}, {{0, 0, 0.5f}, {0, 0, 0}, {1, 1, 1}},
                          {{0, 0, 0}, {0, 0, 0}, {1, 1, 1}}};
    spacexplosionSplit(depths, 3, view, &batches);
    EXPECT_EQ(batches.pointPositions, (std::vector<float>{0, 0, -0.5f}));
    ASSERT_EQ(batches.quadParticles.size(), 1u);
    EXPECT_EQ(batches.quadParticles[0].position[2], 0.0f);
}

TEST(SpacexplosionProjection, HeightZeroCountsAsOne)
{
    EXPECT_FLOAT_EQ(spacexplosionAspect(640, 0), 640.0f);
    EXPECT_FLOAT_EQ(spacexplosionAspect(1280, 720), 16.0f / 9.0f);
    EXPECT_FLOAT_EQ(spacexplosionAspect(1024, 768), 4.0f / 3.0f);
}

// >> GL
static void* noEntryPoints(const char*) { return nullptr; }

struct PictureFacts {
    double litShare;            // pixels with any channel above 8
    double centreX, centreY;    // brightness centroid, 0-1 of the width and height
    double sum[3];              // channel sums
    int cornerBrightest;        // brightest channel in the four 16 x 16 corners
};

static PictureFacts factsOf(const Bytes& rgb)
{
    PictureFacts f = {0, 0, 0, {0, 0, 0}, 0};
    double weight = 0;
    for (int y = 0; y < WINDOW_HEIGHT; y++) {
        for (int x = 0; x < WINDOW_WIDTH; x++) {
            const uint8_t* p = &rgb[(y * WINDOW_WIDTH + x) * 3];
            int brightest = std::max(p[0], std::max(p[1], p[2]));
            if (brightest > 8) f.litShare += 1.0;
            double w = p[0] + p[1] + p[2];
            f.centreX += w * (x + 0.5), f.centreY += w * (y + 0.5), weight += w;
            for (int c = 0; c < 3; c++) f.sum[c] += p[c];
            bool corner = (x < 16 || x >= WINDOW_WIDTH - 16) && (y < 16 || y >= WINDOW_HEIGHT - 16);
            if (corner) f.cornerBrightest = std::max(f.cornerBrightest, brightest);
        }
    }
    f.litShare /= (double)(WINDOW_WIDTH * WINDOW_HEIGHT);
    if (weight > 0) f.centreX /= weight * WINDOW_WIDTH, f.centreY /= weight * WINDOW_HEIGHT;
    return f;
}

class SpacexplosionFrames : public testing::Test {
protected:
    static ShaderSet* s_shaders; // built once: compiling all programs is slow on a software driver
    static Fbo* s_fbo;
    Music* music = nullptr;
    std::vector<Template*> scenes;
    KeyState keys;

    void SetUp() override
    {
        REQUIRE_GL_WINDOW(WINDOW_WIDTH, WINDOW_HEIGHT);
        copyAsset(SPACEXPLOSION_IMAGE);
        copyFolder("data/common/shaders");
        music = startSong(TEST_BPM);
        if (!s_shaders) s_shaders = new ShaderSet();
        if (!s_fbo) s_fbo = new Fbo();
        s_fbo->resize(WINDOW_WIDTH, WINDOW_HEIGHT);
        spacexplosionResetState();
        spacexplosionSetProcLookup(nullptr);
        memset(&keys, 0, sizeof keys);
    }
    void TearDown() override
    {
        for (Template* scene : scenes) {
            scene->release();
            delete scene;
        }
        spacexplosionSetProcLookup(nullptr);
        if (music) stopSong(music);
    }
    Spacexplosion* addScene(float startTime, float endTime)
    {
        Spacexplosion* scene = new Spacexplosion();
        scene->startTime = startTime;
        scene->endTime = endTime;
        scene->music = music;
        scene->shaders = s_shaders;
        scene->fbo = s_fbo;
        scene->init();
        scenes.push_back(scene);
        return scene;
    }
    // One frame as the driver draws it, at `beat`, with a frame step of `step` seconds.
    void frameAt(double beat, float step)
    {
        frameClock.frameStep = step;
        sceneframes::frameAt(music, scenes, beat, &keys);
    }
};
ShaderSet* SpacexplosionFrames::s_shaders = nullptr;
Fbo* SpacexplosionFrames::s_fbo = nullptr;

TEST_F(SpacexplosionFrames, InitSetsSwitchesAndRefillsTheSharedPool)
{
    srand(21);
    Spacexplosion* first = addScene(136, 168);
    EXPECT_TRUE(first->blend);
    EXPECT_FALSE(first->depthTest);
    EXPECT_FALSE(first->lighting);
    EXPECT_FALSE(first->colorMaterial);
    EXPECT_NE(first->pointParameterf, nullptr);
    EXPECT_NE(first->pointParameterfv, nullptr);
    EXPECT_EQ(first->billboard, s_shaders->billboard);
    ASSERT_NE(first->particle, nullptr);
    EXPECT_NE(first->particle->textureId, 0u);
    GLfloat largest = 0, pointSize = 0;
    glGetFloatv(GL_POINT_SIZE_MAX_ARB, &largest);
    glGetFloatv(GL_POINT_SIZE, &pointSize);
    EXPECT_EQ(pointSize, largest);

    // The second instance's init overwrites the pool the first one filled.
    static Particle expected[SPACEXPLOSION_PARTICLES];
    srand(22);
    spacexplosionFillPool(expected, SPACEXPLOSION_PARTICLES);
    srand(22);
    addScene(200, 216);
    EXPECT_EQ(memcmp(expected, spacexplosionState().particles, sizeof expected), 0);
}

TEST_F(SpacexplosionFrames, ResizeUsesTheWholeWindowAndHeightZeroAsOne)
{
    Spacexplosion* scene = addScene(136, 168);
    scene->resize(640, 0);
    EXPECT_EQ(scene->width, 640);
    EXPECT_EQ(scene->height, 1);
    GLint viewport[4];
    GLfloat projection[16], modelView[16];
    glGetIntegerv(GL_VIEWPORT, viewport);
    glMatrixMode(GL_PROJECTION);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glMatrixMode(GL_MODELVIEW);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
    EXPECT_EQ(viewport[0], 0);
    EXPECT_EQ(viewport[1], 0);
    EXPECT_EQ(viewport[2], 640);
    EXPECT_EQ(viewport[3], 1);
    const float f = 1.0f / tanf(22.5f * (float)M_PI / 180.0f);
    EXPECT_NEAR(projection[5], f, 1e-4);
    EXPECT_NEAR(projection[0], f / 640.0f, 1e-6);
    // Near 0.1, far 500.
    EXPECT_NEAR(projection[10], -(500.0f + 0.1f) / (500.0f - 0.1f), 1e-5);
    EXPECT_NEAR(projection[14], -2.0f * 500.0f * 0.1f / (500.0f - 0.1f), 1e-5);
    for (int i = 0; i < 16; i++) EXPECT_EQ(modelView[i], i % 5 == 0 ? 1.0f : 0.0f);
    scene->resize(WINDOW_WIDTH, WINDOW_HEIGHT);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    EXPECT_NEAR(projection[0], f * 9.0f / 16.0f, 1e-5);
}

TEST_F(SpacexplosionFrames, TwoWindowsShareOneBurstClock)
{
    srand(1);
    addScene(136, 168);
    addScene(200, 216);
    // Twenty frames of the first window at 0.1 s each: two seconds of burst.
    for (int i = 0; i < 20; i++) frameAt(140.0 + i, 0.1f);
    EXPECT_NEAR(spacexplosionState().burstClock, 2.0f, 1e-4);
    Particle before = spacexplosionState().particles[123];
    // Between the windows nothing is drawn and the burst stands still.
    for (int i = 0; i < 5; i++) frameAt(170.0 + i * 5, 0.1f);
    EXPECT_NEAR(spacexplosionState().burstClock, 2.0f, 1e-4);
    EXPECT_EQ(memcmp(&before, &spacexplosionState().particles[123], sizeof before), 0);
    // The second window goes on from there, one step per frame.
    frameAt(200.0, 0.1f);
    EXPECT_NEAR(spacexplosionState().burstClock, 2.1f, 1e-4);
    const Particle& p = spacexplosionState().particles[123];
    for (int c = 0; c < 3; c++) EXPECT_NEAR(p.position[c], p.velocity[c] * 5.0f * 2.1f, 1e-3);
    // Late in the second window the fiftieth second restarts the burst.
    spacexplosionState().burstClock = 49.95f;
    frameAt(215.5, 0.1f);
    EXPECT_EQ(spacexplosionState().burstClock, 0.0f);
}

TEST_F(SpacexplosionFrames, CloudIsCentredBluishWhiteAndGrows)
{
    srand(1);
    addScene(136, 168);
    // Just after a restart: every particle within a fraction of a unit of the origin.
    frameAt(140.0, 0.01f);
    Bytes spark = readFbo(s_fbo);
    PictureFacts sparkFacts = factsOf(spark);
    // Two seconds of burst: the cloud reaches up to 50 units out, seen from 148 away.
    for (int i = 1; i < 40; i++) frameAt(140.0 + i * 0.25, 0.05f);
    Bytes cloud = readFbo(s_fbo);
    PictureFacts facts = factsOf(cloud);
    savePicture("spacexplosion_spark.png", spark);
    savePicture("spacexplosion_cloud.png", cloud);

    EXPECT_GT(sparkFacts.litShare, 0.0);
    EXPECT_LT(sparkFacts.litShare, 0.002) << "see spacexplosion_spark.png";
    EXPECT_NEAR(sparkFacts.centreX, 0.5, 0.01);
    EXPECT_NEAR(sparkFacts.centreY, 0.5, 0.01);

    EXPECT_GT(facts.litShare, 0.10) << "see spacexplosion_cloud.png";
    EXPECT_LT(facts.litShare, 0.95);
    EXPECT_NEAR(facts.centreX, 0.5, 0.05);
    EXPECT_NEAR(facts.centreY, 0.5, 0.05);
    EXPECT_EQ(facts.cornerBrightest, 0);
    // Bluish white: blue above red above green, all close.
    EXPECT_GT(facts.sum[2], facts.sum[0]);
    EXPECT_GT(facts.sum[0], facts.sum[1]);
    EXPECT_GT(facts.sum[1], 0.7 * facts.sum[2]);

    // The scene leaves the window's framebuffer bound and the viewport as resize set it.
    GLint bound = -1, viewport[4];
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &bound);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(bound, 0);
    EXPECT_EQ(viewport[2], WINDOW_WIDTH);
    EXPECT_EQ(viewport[3], WINDOW_HEIGHT);
}

TEST_F(SpacexplosionFrames, CameraSlidesWithTheBeat)
{
    // The same cloud seen from beat 136 and from beat 216: from further along x the cloud looks
    // smaller (the eye is further away) and stays centred on the origin.
    srand(1);
    addScene(0, 1000);
    for (int i = 0; i < 40; i++) frameAt(100.0 + i * 0.25, 0.05f);
    spacexplosionState().burstClock = 1.0f; // no restart below
    frameAt(136.0, 0.0f);
    PictureFacts near = factsOf(readFbo(s_fbo));
    frameAt(216.0, 0.0f);
    Bytes far = readFbo(s_fbo);
    savePicture("spacexplosion_beat216.png", far);
    PictureFacts farFacts = factsOf(far);
    EXPECT_LT(farFacts.litShare, 0.8 * near.litShare);
    EXPECT_NEAR(farFacts.centreX, 0.5, 0.05);
    EXPECT_NEAR(farFacts.centreY, 0.5, 0.05);
}

TEST_F(SpacexplosionFrames, EndsOfBothWindowsAtTheSongsTempo)
{
    // At 140 beats a minute the first window lasts 13.7 s and the second 6.9 s more: the cloud
    // then reaches past the eye, which is 170 to 225 units from the origin.
    srand(1);
    addScene(136, 168);
    addScene(200, 216);
    const float firstSeconds = 32.0f * 60.0f / 140.0f, secondSeconds = 16.0f * 60.0f / 140.0f;
    const int firstFrames = (int)(firstSeconds / 0.25f), secondFrames = (int)(secondSeconds / 0.25f);
    for (int i = 0; i <= firstFrames; i++) frameAt(136.0 + 31.9 * i / firstFrames, 0.25f);
    Bytes endOfFirst = readFbo(s_fbo);
    for (int i = 0; i <= secondFrames; i++) frameAt(200.0 + 15.9 * i / secondFrames, 0.25f);
    Bytes endOfSecond = readFbo(s_fbo);
    savePicture("spacexplosion_beat168.png", endOfFirst);
    savePicture("spacexplosion_beat216_song.png", endOfSecond);
    EXPECT_NEAR(spacexplosionState().burstClock, 0.25f * (firstFrames + secondFrames + 2), 1e-3);
    // A field of stars all over the picture, thinner in the second window, and no white-out.
    PictureFacts first = factsOf(endOfFirst), second = factsOf(endOfSecond);
    EXPECT_GT(first.litShare, 0.05) << "see spacexplosion_beat168.png";
    EXPECT_GT(second.litShare, 0.02) << "see spacexplosion_beat216_song.png";
    EXPECT_LT(second.litShare, first.litShare);
    EXPECT_NEAR(first.centreX, 0.5, 0.1);
    EXPECT_NEAR(first.centreY, 0.5, 0.1);
    const double pixels = WINDOW_WIDTH * WINDOW_HEIGHT;
    EXPECT_LT(first.sum[1] / pixels, 128.0);
    EXPECT_LT(second.sum[1] / pixels, 128.0);
}

TEST_F(SpacexplosionFrames, PointSpritesDrawTheCloudAsItsQuadsDo)
{
    srand(1);
    Spacexplosion* scene = addScene(136, 168);
    // A young burst is all points; the warm-up adds one quad so that both batches get built.
    frameAt(140.0, 0.01f);
    EXPECT_TRUE(scene->batches.quadParticles.empty());
    Objects3D::warmingUp = true;
    frameAt(140.0, 0.0f);
    Objects3D::warmingUp = false;
    EXPECT_EQ(scene->batches.quadParticles.size(), 1u);
    for (int i = 1; i < 40; i++) frameAt(140.0 + i * 0.25, 0.05f);
    frameAt(150.0, 0.0f);
    Bytes points = readFbo(s_fbo);
    EXPECT_EQ(scene->batches.pointPositions.size(), 3u * SPACEXPLOSION_PARTICLES);
    scene->largestPoint = 0.0f; // every particle a quad
    frameAt(150.0, 0.0f);
    EXPECT_EQ(scene->batches.quadParticles.size(), (size_t)SPACEXPLOSION_PARTICLES);
    Bytes quads = readFbo(s_fbo);
    savePicture("spacexplosion_points.png", points);
    savePicture("spacexplosion_quads.png", quads);
    ASSERT_EQ(points.size(), quads.size());
    double sum = 0;
    int worst = 0;
    for (size_t i = 0; i < points.size(); i++) {
        int d = abs((int)points[i] - (int)quads[i]);
        sum += d;
        worst = std::max(worst, d);
    }
    EXPECT_LT(sum / (double)points.size(), 0.05) << "see spacexplosion_points.png";
    EXPECT_LE(worst, 24) << "see spacexplosion_points.png";
}

// An opaque square over the middle of the shared picture, drawn the way the keyboard is: into the
// shared Fbo without clearing it, depth tested, then the light left to it. Notes the state the
// light leaves behind.
class CoverScene : public Template {
public:
    GLfloat depthRange[2] = {-1, -1};
    GLboolean depthMask = GL_FALSE, blending = GL_TRUE;
    GLint depthFunc = 0, framebuffer = -1, viewport[4] = {0, 0, 0, 0};
    GLfloat modelView[16] = {};
    void init() override
    {
        takesUnderlay = true;
        texture2D = false;
    }
    void draw() override
    {
        fbo->bindForDrawing(false);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glColor3f(0.2f, 0.3f, 0.4f);
        glRectf(-0.3f, -0.3f, 0.3f, 0.3f);
        drawUnderlayHere();
        glGetFloatv(GL_DEPTH_RANGE, depthRange);
        glGetBooleanv(GL_DEPTH_WRITEMASK, &depthMask);
        glGetBooleanv(GL_BLEND, &blending);
        glGetIntegerv(GL_DEPTH_FUNC, &depthFunc);
        glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &framebuffer);
        glGetIntegerv(GL_VIEWPORT, viewport);
        glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
        glPopAttrib();
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    }
};

TEST_F(SpacexplosionFrames, LeftToAnOpaqueSceneTheLightLandsOnlyWhereThatLeavesThePictureBare)
{
    srand(1);
    addScene(136, 168);
    CoverScene* cover = new CoverScene();
    cover->startTime = 136;
    cover->endTime = 168;
    cover->fbo = s_fbo;
    cover->init();
    scenes.push_back(cover);
    for (int i = 1; i < 40; i++) frameAt(140.0 + i * 0.25, 0.05f);
    // The same frame with the cloud drawn before the square and with the cloud left to it.
    cover->takesUnderlay = false;
    frameAt(150.0, 0.0f);
    Bytes first = readFbo(s_fbo);
    cover->takesUnderlay = true;
    frameAt(150.0, 0.0f);
    Bytes left = readFbo(s_fbo);
    savePicture("spacexplosion_under_cover.png", left);
    EXPECT_TRUE(first == left) << "see spacexplosion_under_cover.png";
    const uint8_t* middle = &left[((size_t)WINDOW_HEIGHT / 2 * WINDOW_WIDTH + WINDOW_WIDTH / 2) * 3];
    EXPECT_EQ(middle[2], 102); // the square's blue, 0.4
    EXPECT_GT(factsOf(left).litShare, 0.09 + 0.03) << "the square (9 %) and the cloud around it";

    // What the square set is as it was after the light.
    EXPECT_EQ(cover->depthRange[0], 0.0f);
    EXPECT_EQ(cover->depthRange[1], 1.0f);
    EXPECT_TRUE(cover->depthMask);
    EXPECT_FALSE(cover->blending);
    EXPECT_EQ(cover->depthFunc, GL_LESS);
    EXPECT_EQ(cover->framebuffer, (GLint)s_fbo->framebufferId);
    EXPECT_EQ(cover->viewport[2], s_fbo->width);
    for (int i = 0; i < 16; i++) EXPECT_EQ(cover->modelView[i], i % 5 == 0 ? 1.0f : 0.0f);
}

// >> failures
TEST_F(SpacexplosionFrames, MissingPointParametersWarnOnceAndDrawABlackFbo)
{
    spacexplosionSetProcLookup(noEntryPoints);
    testing::internal::CaptureStderr();
    Spacexplosion* scene = addScene(136, 168);
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("One or more GL_ARB_point_parameters functions were not found"), std::string::npos) << said;
    EXPECT_NE(said.find("ERROR"), std::string::npos);
    EXPECT_EQ(scene->particle, nullptr);
    EXPECT_EQ(scene->billboard, nullptr);
    // The pool was not filled.
    for (const Particle& p : spacexplosionState().particles) ASSERT_EQ(length3(p.velocity), 0.0f);
    // A frame draws nothing and reports nothing.
    frameAt(140.0, 0.1f);
    Bytes black = readFbo(s_fbo);
    EXPECT_EQ(factsOf(black).litShare, 0.0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(SpacexplosionFrames, MissingImageOrUniformIsFatal)
{
    remove(SPACEXPLOSION_IMAGE);
    EXPECT_EXIT(
        {
            Spacexplosion other;
            other.shaders = s_shaders;
            other.init();
        },
        testing::ExitedWithCode(1), "own_particle_256.png");
    writeTestFile(SPACEXPLOSION_IMAGE, readTestFile(sourcePath(SPACEXPLOSION_IMAGE)));
    // A billboard program without "size".
    writeTestFile("data/common/shaders/no_size.vert",
                  std::string("#version 110\nuniform vec3 right;\nuniform vec3 up;\n"
                              "void main() { gl_Position = vec4(right + up, 1.0) + gl_Vertex; }\n"));
    Spacexplosion* scene = addScene(136, 168);
    scene->billboard = new ShaderProgram("no_size.vert", "billboard.frag");
    EXPECT_EXIT(frameAt(140.0, 0.1f), testing::ExitedWithCode(1), "Couldn't find uniform size in");
}

// Speakers: the camera script segment by segment (cuts, fly-through, glides, the zoom at 168-172,
// the outro and the key-driven ending), the light fade and motion, the shake, cone push and fade
// rules, a model short of cameras and lights, and frames of the real model drawn through the
// driver's frame path: the opening, the fly-through, the screen showing the shared picture at 110
// (and not before 104), the cones moving with the music and the outro's fade.
#include "scenes/scene_speakers/scene_speakers.h"

#include "scene_frames.h"       // the song, the window read back, pictures
#include "scenes/shaderset.h" // ShaderSet
#include <math.h>
#include <unistd.h>

using namespace sceneframes;

// >> a model of plain data: camera i sits at (i, 10 i, 100 i), light i at (-i, 0, 0)
static Objects3D scriptModel(int cameras = 6, int lights = 4)
{
    Objects3D model;
    for (int i = 0; i < cameras; i++) {
        Camera camera;
        camera.position = {(float)i, 10.0f * i, 100.0f * i, 0.0f};
        camera.fov = 30.0f + i;
        camera.nearPlane = 0.1f;
        camera.farPlane = 2000.0f;
        model.cameras.push_back(camera);
    }
    for (int i = 0; i < lights; i++) {
        Light light;
        light.position = {-(float)i, 0.0f, 0.0f, 1.0f};
        light.ambient = {0.2f, 0.4f, 0.6f, 1.0f};
        light.diffuse = {1.0f, 0.8f, 0.6f, 1.0f};
        light.specular = {0.5f, 0.5f, 0.5f, 1.0f};
        model.lights.push_back(light);
    }
    return model;
}

static KeyState noKeys()
{
    KeyState keys;
    memset(&keys, 0, sizeof keys);
    return keys;
}

static const int KEY_Q = KEY_CHAR_A + 16, KEY_W = KEY_CHAR_A + 22, KEY_E = KEY_CHAR_A + 4;
static const int KEY_Y = KEY_CHAR_A + 24, KEY_2 = KEY_CHAR_1 + 1;

// Within single-precision rounding of beats near 300 (a few parts in 10^5).
static void expectPosition(const Camera& camera, float x, float y, float z)
{
    EXPECT_NEAR(camera.position.x, x, 1e-4 + fabsf(x) * 5e-5);
    EXPECT_NEAR(camera.position.y, y, 1e-4 + fabsf(y) * 5e-5);
    EXPECT_NEAR(camera.position.z, z, 1e-4 + fabsf(z) * 5e-5);
}

// The position camera `i` of scriptModel has, blended towards camera `j` by f.
static void expectBlend(const Camera& camera, int i, int j, float f)
{
    expectPosition(camera, i + (j - i) * f, 10.0f * (i + (j - i) * f), 100.0f * (i + (j - i) * f));
    EXPECT_NEAR(camera.fov, 30.0f + i + (j - i) * f, 1e-4);
}

class SpeakersScript : public testing::Test {
protected:
    SpeakersState state;
    Objects3D model = scriptModel();
    KeyState keys = noKeys();
    SpeakersFrame step(float t, float meanStep = 0.0f) { return speakersScript(&state, &model, t, meanStep, &keys); }
};

// >> opening and cuts
TEST_F(SpeakersScript, OpeningFadesLight0InWithTheSingleLightShader)
{
    SpeakersFrame frame = step(20.0f);
    EXPECT_EQ(state.currentCamera, 5);
    EXPECT_EQ(frame.shader, SPEAKERS_SHADER_SINGLE);
    EXPECT_FALSE(frame.lightingOff);
    EXPECT_TRUE(state.light0Kept);
    for (int i = 0; i < 4; i++) EXPECT_EQ(sharedBlendColour[i], 0.0f);
    // Half way in at beat 20; from the loaded colours, not the faded ones, at beat 30.
    EXPECT_FLOAT_EQ(model.lights[0].diffuse.x, 0.5f);
    EXPECT_FLOAT_EQ(model.lights[0].ambient.z, 0.3f);
    step(30.0f);
    EXPECT_FLOAT_EQ(model.lights[0].diffuse.y, 0.8f * 0.75f);
    EXPECT_FLOAT_EQ(model.lights[0].specular.w, 0.75f);
    // Other lights and every camera stay as loaded.
    EXPECT_FLOAT_EQ(model.lights[1].diffuse.x, 1.0f);
    for (int i = 0; i < 6; i++) expectBlend(model.cameras[i], i, i, 0.0f);
    // From 40 the colours are left where they are.
    step(40.0f);
    EXPECT_FLOAT_EQ(model.lights[0].diffuse.y, 0.8f * 0.75f);
}

TEST_F(SpeakersScript, CutsEveryFourBeatsWithADrift)
{
    const float beats[] = {40.0f, 44.0f, 48.0f, 52.0f, 56.0f, 59.9f, 60.0f, 64.5f, 71.99f};
    const int cameras[] = {5, 3, 0, 1, 4, 4, 5, 3, 0};
    for (int i = 0; i < 9; i++) {
        EXPECT_EQ(speakersCutCamera(beats[i]), cameras[i]) << beats[i];
        SpeakersFrame frame = step(beats[i]);
        EXPECT_EQ(state.currentCamera, cameras[i]) << beats[i];
        EXPECT_EQ(frame.shader, SPEAKERS_SHADER_MULTI);
    }
    // Only the camera in view drifts, by a thousandth per frame at most.
    Objects3D fresh = scriptModel();
    model = scriptModel();
    step(56.0f);
    const float t = 56.0f;
    expectPosition(model.cameras[4], 4 + sinf(t * 0.15873015f) * 0.001f, 40 + cosf(t * 0.27027026f) * 0.001f,
                   400 - sinf(t * 0.23809525f) * 0.001f);
    EXPECT_NE(model.cameras[4].position.x, fresh.cameras[4].position.x);
    for (int i = 0; i < 4; i++) EXPECT_EQ(model.cameras[i].position.x, fresh.cameras[i].position.x);
}

// >> fly-through and glide
TEST_F(SpeakersScript, FlyThroughMovesAndTurnsCamera5ByTheBeatStep)
{
    const float s = 0.04f;
    for (int frame = 0; frame < 100; frame++) step(72.0f + frame * s, s);
    EXPECT_EQ(state.currentCamera, 5);
    const Camera& camera = model.cameras[5];
    expectPosition(camera, 5.0f, 50.0f - 0.2f * s * 100, 500.0f + 0.5f * s * 100);
    EXPECT_NEAR(camera.pitchAngle, -2.5f * s * 100, 1e-3);
    EXPECT_NEAR(camera.yawAngle, -0.8f * s * 100, 1e-3);
    EXPECT_NEAR(camera.rollAngle, -0.7f * s * 100, 1e-3);
    // Turned: no longer looking straight down -z, but still a unit direction.
    EXPECT_GT(fabsf(camera.direction.y), 0.1f);
    float length = sqrtf(camera.direction.x * camera.direction.x + camera.direction.y * camera.direction.y +
                         camera.direction.z * camera.direction.z);
    EXPECT_NEAR(length, 1.0f, 1e-4);
    // Other cameras do not move.
    expectBlend(model.cameras[2], 2, 2, 0.0f);
}

TEST_F(SpeakersScript, GlideFromWhereTheFlyEndedOntoTheScreenCamera)
{
    model.cameras[5].position = {7.0f, 8.0f, 9.0f, 0.0f};
    step(88.01f);
    ASSERT_TRUE(state.flyCameraSaved);
    EXPECT_FLOAT_EQ(state.savedFlyCamera.position.x, 7.0f);
    step(96.0f);
    EXPECT_EQ(state.currentCamera, 5);
    // Half way: from the saved camera, not from camera 5's moving value.
    EXPECT_NEAR(model.cameras[5].position.x, (7.0f + 2.0f) * 0.5f, 1e-4);
    EXPECT_NEAR(model.cameras[5].position.z, (9.0f + 200.0f) * 0.5f, 1e-3);
    step(103.99f);
    EXPECT_NEAR(model.cameras[5].position.z, 200.0f, 0.2f);
    EXPECT_FLOAT_EQ(state.savedFlyCamera.position.x, 7.0f); // taken once
}

// >> the screen segment and the zoom at 168-172
TEST_F(SpeakersScript, ScreenCameraWithLightingOffAndTheZoomToTheCloseUp)
{
    SpeakersFrame frame = step(104.0f);
    EXPECT_EQ(state.currentCamera, 2);
    EXPECT_TRUE(frame.lightingOff);
    EXPECT_EQ(frame.shader, SPEAKERS_SHADER_KEEP);
    step(150.0f);
    EXPECT_EQ(state.currentCamera, 2);
    step(168.0f); // the bounds are exclusive
    EXPECT_EQ(state.currentCamera, 2);
    step(168.15f);
    EXPECT_EQ(state.currentCamera, 5);
    expectBlend(model.cameras[5], 2, 0, 0.5f);
    step(168.299f);
    // At 170 camera 5 holds what the last zoom-in frame gave it: (nearly) the close-up.
    step(170.0f);
    EXPECT_EQ(state.currentCamera, 5);
    expectBlend(model.cameras[5], 2, 0, (168.299f - 168.0f) * 3.3333333f);
    step(171.85f);
    expectBlend(model.cameras[5], 2, 0, 0.5f);
    step(172.0f);
    EXPECT_EQ(state.currentCamera, 2);
    step(295.99f);
    EXPECT_EQ(state.currentCamera, 2);
    EXPECT_EQ(state.screenAttached, false); // the script leaves the screen to draw
}

TEST(SpeakersScreen, AttachedOnTheFirstFrameAfterBeat104)
{
    SpeakersState state;
    EXPECT_FALSE(speakersScreenDue(state, 50.0f));
    EXPECT_FALSE(speakersScreenDue(state, 104.0f));
    EXPECT_TRUE(speakersScreenDue(state, 104.001f));
    EXPECT_TRUE(speakersScreenDue(state, 300.0f));
    state.screenAttached = true;
    EXPECT_FALSE(speakersScreenDue(state, 110.0f));
}

// >> outro and ending
TEST_F(SpeakersScript, OutroPullsBackAndTheEndingKeyLoopsTheSong)
{
    SpeakersFrame frame = step(316.5f);
    EXPECT_EQ(state.currentCamera, 5);
    EXPECT_TRUE(frame.lightingOff);
    EXPECT_FALSE(frame.startLooping);
    expectBlend(model.cameras[5], 2, 4, 0.5f);
    // Keys other than "2" do nothing before the ending.
    keys.down[KEY_Q] = 1;
    keys.down[KEY_DIGIT_1 + 1] = 0;
    step(317.0f);
    EXPECT_FALSE(state.interactive);
    EXPECT_EQ(state.currentCamera, 5);
    keys.down[KEY_Q] = 0;
    keys.down[KEY_2] = 1;
    frame = step(330.0f);
    EXPECT_TRUE(state.interactive);
    EXPECT_TRUE(frame.startLooping);
    keys.down[KEY_2] = 0;
    // Interactive from the next frame; the looping clock runs on past 337. The glide starts from
    // camera 5 as it was and reaches the screen camera in four beats.
    Camera before = model.cameras[5];
    frame = step(400.0f);
    EXPECT_FALSE(frame.startLooping);
    EXPECT_TRUE(frame.lightingOff);
    EXPECT_TRUE(state.interactiveStarted);
    EXPECT_FLOAT_EQ(state.interactiveStart, 400.0f);
    EXPECT_FLOAT_EQ(state.interactiveEnd, 404.0f);
    EXPECT_FLOAT_EQ(model.cameras[5].position.z, before.position.z);
    step(402.0f);
    EXPECT_NEAR(model.cameras[5].position.z, (before.position.z + 200.0f) * 0.5f, 1e-3);
    // Keys wait for the glide to end.
    keys.down[KEY_Q] = 1;
    step(403.0f);
    EXPECT_EQ(state.currentCamera, 5);
    // Then the held keys pick: "q" and "y" together give 5, "q" alone 0, "w" 1, none 5.
    keys.down[KEY_Y] = 1;
    step(405.0f);
    EXPECT_EQ(state.currentCamera, 5);
    keys.down[KEY_Y] = 0;
    step(406.0f);
    EXPECT_EQ(state.currentCamera, 0);
    keys.down[KEY_Q] = 0;
    keys.down[KEY_W] = 1;
    step(407.0f);
    EXPECT_EQ(state.currentCamera, 1);
    keys.down[KEY_E] = 1; // w then e: e is tested later and wins
    step(408.0f);
    EXPECT_EQ(state.currentCamera, 2);
    keys = noKeys();
    step(409.0f);
    EXPECT_EQ(state.currentCamera, 5);
    // The interactive mode never switches off, whatever the clock says.
    step(10.0f);
    EXPECT_TRUE(state.interactive);
    EXPECT_EQ(state.currentCamera, 5);
    EXPECT_FLOAT_EQ(state.interactiveStart, 400.0f);
}

TEST_F(SpeakersScript, AfterTheScriptNothingChanges)
{
    step(336.9f);
    Camera before = model.cameras[5];
    keys.down[KEY_2] = 1; // too late
    SpeakersFrame frame = step(337.0f);
    step(500.0f);
    EXPECT_FALSE(state.interactive);
    EXPECT_FALSE(frame.startLooping);
    EXPECT_FALSE(frame.lightingOff);
    EXPECT_EQ(state.currentCamera, 5);
    EXPECT_EQ(model.cameras[5].position.z, before.position.z);
}

TEST(SpeakersFade, BlackOverlayFrom320To337UnlessInteractive)
{
    EXPECT_FLOAT_EQ(speakersFadeAlpha(328.5f, false), 0.5f);
    EXPECT_NEAR(speakersFadeAlpha(336.99f, false), 1.0f, 1e-3);
    EXPECT_LT(speakersFadeAlpha(320.0f, false), 0.0f);
    EXPECT_LT(speakersFadeAlpha(337.0f, false), 0.0f);
    EXPECT_LT(speakersFadeAlpha(300.0f, false), 0.0f);
    EXPECT_LT(speakersFadeAlpha(328.5f, true), 0.0f);
}

// >> lights, shake, cones
TEST(SpeakersLights, CircleAroundTheirLoadedPositionsFromBeat40)
{
    SpeakersState state;
    Objects3D model = scriptModel();
    speakersMoveLights(&state, &model, 40.0f);
    EXPECT_FALSE(state.lightPositionsKept);
    EXPECT_FLOAT_EQ(model.lights[2].position.x, -2.0f);
    const float b = 50.0f;
    speakersMoveLights(&state, &model, b);
    EXPECT_NEAR(model.lights[2].position.x, -2.0f + cosf(0.35f * b) - 6.0f, 1e-5);
    EXPECT_NEAR(model.lights[2].position.y, 1.6f * cosf(0.85f * b) + 3.0f, 1e-5);
    EXPECT_NEAR(model.lights[1].position.x, -1.0f + 2.0f * sinf(0.75f * b) - 5.0f, 1e-5);
    EXPECT_NEAR(model.lights[1].position.z, 2.1f * sinf(0.65f * b) - 2.0f, 1e-5);
    EXPECT_NEAR(model.lights[3].position.z, 1.3f * cosf(0.4f * b) - 5.0f, 1e-5);
    EXPECT_FLOAT_EQ(model.lights[3].position.w, 1.0f);
    // Each frame from the kept positions: no drift away.
    for (int i = 0; i < 50; i++) speakersMoveLights(&state, &model, 60.0f);
    speakersMoveLights(&state, &model, b);
    EXPECT_NEAR(model.lights[2].position.x, -2.0f + cosf(0.35f * b) - 6.0f, 1e-5);
    EXPECT_FLOAT_EQ(model.lights[0].position.x, 0.0f); // light 0 stays
}

TEST(SpeakersShake, FadesOverTheFirstTwoBeatsOfEveryEight)
{
    EXPECT_FLOAT_EQ(speakersShakeWeight(40.0f), 0.1f);
    EXPECT_FLOAT_EQ(speakersShakeWeight(41.0f), 0.05f);
    EXPECT_FLOAT_EQ(speakersShakeWeight(42.0f), 0.0f);
    EXPECT_FLOAT_EQ(speakersShakeWeight(47.5f), 0.0f);
    EXPECT_FLOAT_EQ(speakersShakeWeight(48.0f), 0.1f);
    EXPECT_FLOAT_EQ(speakersShakeWeight(97.5f), 0.025f);
}

TEST(SpeakersCones, BassFollowsTheSmoothedLevelMidtonesTheSamples)
{
    float bass, mid;
    speakersConeOffsets(0.5f, -0.25f, &bass, &mid);
    EXPECT_FLOAT_EQ(bass, -0.04f);
    EXPECT_FLOAT_EQ(mid, 0.01f);
    speakersConeOffsets(0.0f, 0.0f, &bass, &mid);
    EXPECT_EQ(bass, 0.0f);
    EXPECT_EQ(mid, 0.0f);
}

// >> a model short of cameras and lights
TEST(SpeakersScriptModel, MissingCamerasAndLightsAreNeverTouched)
{
    SpeakersState state;
    Objects3D model = scriptModel(2, 1);
    KeyState keys = noKeys();
    keys.down[KEY_2] = 1;
    keys.down[KEY_Q] = 1;
    for (float t = 0.0f; t < 420.0f; t += 0.5f) {
        speakersScript(&state, &model, t, 0.1f, &keys);
        speakersMoveLights(&state, &model, t);
    }
    EXPECT_EQ(model.cameras.size(), 2u);
    EXPECT_EQ(model.lights.size(), 1u);
    EXPECT_TRUE(state.interactive);
    EXPECT_EQ(state.currentCamera, 0);
    Objects3D empty;
    SpeakersState other;
    for (float t = 0.0f; t < 420.0f; t += 7.0f) {
        speakersScript(&other, &empty, t, 0.1f, nullptr);
        speakersMoveLights(&other, &empty, t);
    }
    EXPECT_EQ(other.currentCamera, 5);
}

// >> frames of the real model
static const double REAL_SONG_BPM = 140.0;                      // startRealSong's tempo
static const double FRAME_BEATS = REAL_SONG_BPM / 60.0 / 60.0; // beats per frame at 60 frames a second

static double meanBrightness(const Bytes& rgb)
{
    double sum = 0.0;
    for (uint8_t v : rgb) sum += v;
    return sum / (double)rgb.size();
}

// Pixels close to the magenta the test fills the shared picture with.
static int magentaPixels(const Bytes& rgb)
{
    int count = 0;
    for (size_t i = 0; i < rgb.size(); i += 3)
        count += rgb[i] > 200 && rgb[i + 1] < 60 && rgb[i + 2] > 200;
    return count;
}

static int differentPixels(const Bytes& a, const Bytes& b)
{
    int count = 0;
    for (size_t i = 0; i < a.size(); i += 3)
        count += abs(a[i] - b[i]) + abs(a[i + 1] - b[i + 1]) + abs(a[i + 2] - b[i + 2]) > 30;
    return count;
}

// The real song, model and shaders; loose files in the scratch folder, virtual output. Built once:
// decoding the song and compiling every program is slow on a software driver.
class SpeakersFrames : public testing::Test {
protected:
    static Music* s_music;
    static ShaderSet* s_shaders;
    static Fbo* s_fbo;
    static Speakers* s_scene;
    KeyState keys = noKeys();

    static void SetUpTestSuite()
    {
        if (!openTestGlWindow(WINDOW_WIDTH, WINDOW_HEIGHT)) return;
        makeFolders("data");
        symlink(sourcePath("data/speakers").c_str(), "data/speakers");
        copyFolder("data/common/shaders");
        s_music = startRealSong();
        s_shaders = new ShaderSet();
        s_fbo = new Fbo();
        speakersResetState();
        s_scene = new Speakers();
        s_scene->startTime = 0.0f;
        s_scene->endTime = 1000000000.0f;
        s_scene->music = s_music;
        s_scene->shaders = s_shaders;
        s_scene->fbo = s_fbo;
        s_scene->init();
    }

    void SetUp() override { REQUIRE_GL_WINDOW(WINDOW_WIDTH, WINDOW_HEIGHT); }

    // One frame as the driver draws it, at `beat`, over a shared picture of plain magenta.
    Bytes frameAt(double beat)
    {
        // Ten frames of history at 60 frames a second, so meanTimeStep is one frame's beats.
        for (int i = MUSIC_HISTORY; i >= 0; i--) {
            setBeat(s_music, beat - i * FRAME_BEATS);
            s_music->update();
        }
        fillFbo(s_fbo, 1.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        std::vector<Template*> scenes(1, s_scene);
        drawActiveScenes(scenes, s_music, &keys, WINDOW_WIDTH, WINDOW_HEIGHT);
        return readWindow();
    }
    // The script between two captures runs without drawing (it is what draw runs first).
    void scriptTo(double from, double to, double step)
    {
        for (double beat = from; beat < to; beat += step) {
            SpeakersFrame frame =
                speakersScript((SpeakersState*)&speakersState(), &s_scene->model, (float)beat, (float)step, &keys);
            if (frame.shader == SPEAKERS_SHADER_MULTI) {
                s_scene->openingLit = false;
                s_scene->model.plainShaders = s_scene->rigPrograms;
            }
            speakersMoveLights((SpeakersState*)&speakersState(), &s_scene->model, (float)beat);
        }
    }
};
Music* SpeakersFrames::s_music = nullptr;
ShaderSet* SpeakersFrames::s_shaders = nullptr;
Fbo* SpeakersFrames::s_fbo = nullptr;
Speakers* SpeakersFrames::s_scene = nullptr;

// One test: the frames follow one show, in order, as the script's state does.
TEST_F(SpeakersFrames, TheShowFromOpeningToOutro)
{
    ASSERT_NE(s_scene, nullptr);
    EXPECT_FALSE(s_scene->blend);
    EXPECT_TRUE(s_scene->lighting);
    EXPECT_EQ(s_scene->model.plainShaders, s_scene->rigPrograms); // the rig's own light count
    ASSERT_GE(s_scene->model.cameras.size(), 6u);
    ASSERT_GE(s_scene->model.lights.size(), 4u);
    const double step = FRAME_BEATS;

    // The opening: light 0 half way in; the rig is seen, the screen shows its own picture.
    scriptTo(0.1, 20.0, step);
    Bytes opening = frameAt(20.0);
    savePicture("speakers_beat20.png", opening);
    EXPECT_EQ(s_scene->model.plainShaders,
              std::vector<ShaderProgram*>(s_scene->model.materials.size(), s_scene->openingProgram));
    EXPECT_GT(meanBrightness(opening), 8.0);
    EXPECT_EQ(magentaPixels(opening), 0);
    Bytes opening2 = frameAt(36.0);
    EXPECT_GT(meanBrightness(opening2), meanBrightness(opening)); // light 0 comes up

    // The cones move with the music: the same view at two moments of different loudness differs
    // only a little, and only where the cones are.
    scriptTo(36.0, 76.0, step);
    Bytes fly = frameAt(76.0);
    savePicture("speakers_beat76.png", fly);
    EXPECT_GT(meanBrightness(fly), 5.0);
    EXPECT_EQ(s_scene->model.plainShaders, s_scene->rigPrograms); // the rig's own light count
    Bytes fly2 = frameAt(76.0 + step);
    EXPECT_GT(differentPixels(fly, fly2), 0);

    // Beat 104 exactly: not yet on the screen; the first frame after: the shared picture is.
    scriptTo(76.0, 104.0, step);
    Bytes at104 = frameAt(104.0);
    EXPECT_FALSE(speakersState().screenAttached);
    EXPECT_EQ(magentaPixels(at104), 0);
    Bytes at110 = frameAt(110.0);
    savePicture("speakers_beat110.png", at110);
    EXPECT_TRUE(speakersState().screenAttached);
    EXPECT_EQ(speakersState().currentCamera, 2);
    // The screen camera frames the screen: most of the picture is the shared picture.
    EXPECT_GT(magentaPixels(at110), WINDOW_WIDTH * WINDOW_HEIGHT / 3);
    EXPECT_LT(magentaPixels(at110), WINDOW_WIDTH * WINDOW_HEIGHT * 95 / 100);

    // The outro: the wide view, the screen smaller; half faded to black at 328.5.
    scriptTo(110.0, 316.0, step);
    Bytes outro = frameAt(316.0);
    savePicture("speakers_beat316.png", outro);
    int outroMagenta = magentaPixels(outro);
    EXPECT_GT(outroMagenta, 500);
    EXPECT_LT(outroMagenta, magentaPixels(at110));
    scriptTo(316.0, 328.5, step);
    Bytes fading = frameAt(328.5);
    savePicture("speakers_beat328_5.png", fading);
    EXPECT_EQ(magentaPixels(fading), 0); // the screen is half dark: no full magenta left
    EXPECT_LT(meanBrightness(fading), meanBrightness(outro) * 0.65);
    EXPECT_GT(meanBrightness(fading), meanBrightness(outro) * 0.35);

    // The ending's key: the song loops from the next frame on and no fade is drawn.
    keys.down[KEY_2] = 1;
    frameAt(330.0);
    EXPECT_TRUE(speakersState().interactive);
    EXPECT_NE(audioChannelFlags(s_music->stream, 0, 0) & AUDIO_SAMPLE_LOOP, 0u);
    keys.down[KEY_2] = 0;
    Bytes interactive = frameAt(331.0);
    EXPECT_GT(meanBrightness(interactive), meanBrightness(fading));
    keys.down[KEY_Q] = 1;
    frameAt(336.0);
    EXPECT_EQ(speakersState().currentCamera, 0);
}

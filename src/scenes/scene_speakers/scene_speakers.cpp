// scene_speakers: the sound system under scripted cameras. See scene_speakers.h.
#include "scenes/scene_speakers/scene_speakers.h"

#include "platform/report.h"      // CHECK_GL
#include "util/fbo/fbo.h"         // Fbo::colorTextures
#include "util/objects3d/litprogram.h" // litMaterialPrograms
#include "util/music/audio.h"     // audioChannelFlags, AUDIO_SAMPLE_LOOP
#include "util/music/music.h"     // getTime, meanTimeStep, levels
#include "util/shaderprogram/shaderprogram.h" // unbindAll
#include "util/texture/texture.h" // Texture::textureId
#include <GL/glu.h>               // gluOrtho2D
#include <math.h>

// >> constants
// Segments of the script, in beats.
static const float CUTS_FROM = 40.0f;    // light 0 fades in before this; camera cuts from here
static const float FLY_FROM = 72.0f;     // camera 5 flies through the rig
static const float GLIDE_FROM = 88.0f;   // and glides onto the screen camera
static const float SCREEN_FROM = 104.0f; // the screen camera; the screen shows the shared picture
static const float OUTRO_FROM = 296.0f;  // the pull-back to the wide camera
static const float OUTRO_TO = 337.0f;    // the end of the script
static const float FADE_FROM = 320.0f;   // the black overlay grows from here to OUTRO_TO

static const float LIGHT0_FADE_PER_BEAT = 0.025f; // 1/40: full at beat 40
static const int CUT_CAMERAS[5] = {5, 3, 0, 1, 4};
static const float CUT_BEATS_INVERSE = 0.25f;     // a cut every four beats
// The cutting cameras' slow drift per frame.
static const float DRIFT_RATE_X = 0.15873015f, DRIFT_RATE_Y = 0.27027026f, DRIFT_RATE_Z = 0.23809525f;
static const float DRIFT_STEP = 0.001f;
// The fly-through, per beat of music.
static const float FLY_MOVE_Y = -0.2f, FLY_MOVE_Z = 0.5f;
static const float FLY_PITCH = -2.5f, FLY_YAW = -0.8f, FLY_ROLL = -0.7f;
static const float GLIDE_RATE = 0.0625f; // 1/16: the glide takes the sixteen beats to 104
// The quick zoom to the close-up and back at 168-172.
static const float ZOOM_FROM = 168.0f, ZOOM_TO = 172.0f, ZOOM_BEATS = 0.3f;
static const float ZOOM_RATE = 3.3333333f; // 1/ZOOM_BEATS
static const float OUTRO_RATE = 0.024390243f; // 1/41
static const float INTERACTIVE_GLIDE_BEATS = 4.0f;
static const float FADE_RATE = 0.05882353f; // 1/17

// The ending's camera keys, tested in this order: the last one held wins.
static const int CAMERA_KEYS[SPEAKERS_CAMERAS] = {
    KEY_CHAR_A + ('q' - 'a'), KEY_CHAR_A + ('w' - 'a'), KEY_CHAR_A + ('e' - 'a'),
    KEY_CHAR_A + ('r' - 'a'), KEY_CHAR_A + ('t' - 'a'), KEY_CHAR_A + ('y' - 'a'),
};
static const int INTERACTIVE_KEY = KEY_CHAR_1 + 1; // the digit "2"

// The shake of 40-104: two fading beats in every eight.
static const float SHAKE_BEAT_SCALE = 0.5f, SHAKE_PERIOD = 4.0f, SHAKE_STRENGTH = 0.1f;
// The cones' push along x per unit of level.
static const float BASS_PUSH = -0.08f, MID_PUSH = -0.04f;
static const GLfloat GLOBAL_AMBIENT[4] = {0.0001f, 0.0001f, 0.0001f, 1.0f};

// >> state
static SpeakersState s_speakers;

const SpeakersState& speakersState() { return s_speakers; }

void speakersResetState() { s_speakers = SpeakersState(); }

// >> rules
// Null when the model lacks the camera or light: the script skips what is not there.
static Camera* modelCamera(Objects3D* model, int index)
{
    return index < (int)model->cameras.size() ? &model->cameras[index] : nullptr;
}

static Light* modelLight(Objects3D* model, int index)
{
    return index < (int)model->lights.size() ? &model->lights[index] : nullptr;
}

// out := from x (1 - f) + to x f, when all three exist.
static void blendCameras(const Camera* from, const Camera* to, Camera* out, float f)
{
    if (from && to && out) interpolateCameras(*from, *to, out, f);
}

static bool keyDown(const KeyState* keys, int index) { return keys && keys->down[index] != 0; }

int speakersCutCamera(float t) { return CUT_CAMERAS[(int)(t * CUT_BEATS_INVERSE) % 5]; }

bool speakersScreenDue(const SpeakersState& state, float t) { return !state.screenAttached && t > SCREEN_FROM; }

// Light 0 fades in from black over the first forty beats.
static void fadeInLight0(SpeakersState* state, Objects3D* model, float t)
{
    Light* light = modelLight(model, 0);
    if (!light) return;
    if (!state->light0Kept) {
        state->light0Colours[0] = light->ambient;
        state->light0Colours[1] = light->diffuse;
        state->light0Colours[2] = light->specular;
        for (int i = 0; i < 4; i++) sharedBlendColour[i] = 0.0f;
        state->light0Kept = true;
    }
    float f = t * LIGHT0_FADE_PER_BEAT;
    blendWithSharedColour(&state->light0Colours[0].x, &light->ambient.x, f);
    blendWithSharedColour(&state->light0Colours[1].x, &light->diffuse.x, f);
    blendWithSharedColour(&state->light0Colours[2].x, &light->specular.x, f);
}

static void interactiveScript(SpeakersState* state, Objects3D* model, float t, const KeyState* keys)
{
    Camera* camera5 = modelCamera(model, 5);
    state->currentCamera = 5;
    if (!state->interactiveStarted) {
        state->interactiveStart = t;
        state->interactiveEnd = t + INTERACTIVE_GLIDE_BEATS;
        if (camera5) copyCamera(&state->savedInteractiveCamera, *camera5);
        state->interactiveStarted = true;
    }
    if (t < state->interactiveEnd) {
        float f = (t - state->interactiveStart) / (state->interactiveEnd - state->interactiveStart);
        if (camera5) blendCameras(&state->savedInteractiveCamera, modelCamera(model, 2), camera5, f);
        return;
    }
    for (int i = 0; i < SPEAKERS_CAMERAS; i++)
        if (keyDown(keys, CAMERA_KEYS[i])) state->currentCamera = i;
}

SpeakersFrame speakersScript(SpeakersState* state, Objects3D* model, float t, float meanTimeStep,
                             const KeyState* keys)
{
    SpeakersFrame frame = {SPEAKERS_SHADER_KEEP, false, false};
    if (state->interactive) {
        frame.lightingOff = true;
        interactiveScript(state, model, t, keys);
        return frame;
    }
    Camera* camera5 = modelCamera(model, 5);
    if (t < CUTS_FROM) {
        state->currentCamera = 5;
        fadeInLight0(state, model, t);
        frame.shader = SPEAKERS_SHADER_SINGLE;
    } else if (t < FLY_FROM) {
        state->currentCamera = speakersCutCamera(t);
        frame.shader = SPEAKERS_SHADER_MULTI;
        Camera* camera = modelCamera(model, state->currentCamera);
        if (camera)
            moveCamera(camera, sinf(t * DRIFT_RATE_X) * DRIFT_STEP, cosf(t * DRIFT_RATE_Y) * DRIFT_STEP,
                       -sinf(t * DRIFT_RATE_Z) * DRIFT_STEP);
    } else if (t < GLIDE_FROM) {
        state->currentCamera = 5;
        if (camera5) {
            float s = meanTimeStep;
            moveCamera(camera5, 0.0f, FLY_MOVE_Y * s, FLY_MOVE_Z * s);
            pitchCamera(camera5, FLY_PITCH * s);
            yawCamera(camera5, FLY_YAW * s);
            rollCamera(camera5, FLY_ROLL * s);
        }
    } else if (t < SCREEN_FROM) {
        state->currentCamera = 5;
        if (!state->flyCameraSaved && camera5) {
            copyCamera(&state->savedFlyCamera, *camera5);
            state->flyCameraSaved = true;
        }
        if (state->flyCameraSaved)
            blendCameras(&state->savedFlyCamera, modelCamera(model, 2), camera5, (t - GLIDE_FROM) * GLIDE_RATE);
    } else if (t < OUTRO_FROM) {
        state->currentCamera = SPEAKERS_SCREEN_CAMERA;
        frame.lightingOff = true;
        if (t > ZOOM_FROM && t < ZOOM_TO) {
            state->currentCamera = 5;
            const Camera* camera2 = modelCamera(model, 2);
            const Camera* camera0 = modelCamera(model, 0);
            // In between the zoom holds at the close-up.
            if (t < ZOOM_FROM + ZOOM_BEATS) blendCameras(camera2, camera0, camera5, (t - ZOOM_FROM) * ZOOM_RATE);
            if (t > ZOOM_TO - ZOOM_BEATS) blendCameras(camera2, camera0, camera5, (ZOOM_TO - t) * ZOOM_RATE);
        }
    } else if (t < OUTRO_TO) {
        state->currentCamera = 5;
        frame.lightingOff = true;
        blendCameras(modelCamera(model, 2), modelCamera(model, 4), camera5, (t - OUTRO_FROM) * OUTRO_RATE);
        if (keyDown(keys, INTERACTIVE_KEY)) {
            state->interactive = true;
            frame.startLooping = true;
        }
    }
    return frame;
}

void speakersMoveLights(SpeakersState* state, Objects3D* model, float t)
{
    if (!(t > CUTS_FROM)) return;
    if (!state->lightPositionsKept) {
        for (int i = 0; i < 3; i++) {
            Light* light = modelLight(model, i + 1);
            if (light) state->lightPositions[i] = light->position;
        }
        state->lightPositionsKept = true;
    }
    const float b = t;
    Light* light1 = modelLight(model, 1);
    Light* light2 = modelLight(model, 2);
    Light* light3 = modelLight(model, 3);
    if (light2) {
        const Vec4& kept = state->lightPositions[1];
        light2->position.x = kept.x + (cosf(0.35f * b) - 6.0f);
        light2->position.y = kept.y + (1.6f * cosf(0.85f * b) + 3.0f);
        light2->position.z = kept.z + (0.5f * sinf(0.15f * b) - 2.0f);
    }
    if (light1) {
        const Vec4& kept = state->lightPositions[0];
        light1->position.x = kept.x + (2.0f * sinf(0.75f * b) - 5.0f);
        light1->position.y = kept.y + (2.0f * cosf(-0.35f * b));
        light1->position.z = kept.z + (2.1f * sinf(0.65f * b) - 2.0f);
    }
    if (light3) {
        const Vec4& kept = state->lightPositions[2];
        light3->position.x = kept.x + (2.0f * sinf(0.2f * b) - 5.0f);
        light3->position.y = kept.y + (0.3f * sinf(0.15f * b));
        light3->position.z = kept.z + (1.3f * cosf(0.4f * b) - 5.0f);
    }
}

float speakersShakeWeight(float b)
{
    float m = fmodf(b * SHAKE_BEAT_SCALE, SHAKE_PERIOD);
    return m < 1.0f ? (1.0f - m) * SHAKE_STRENGTH : 0.0f;
}

void speakersConeOffsets(float smoothedLevel, float sampleLevel, float* bassX, float* midX)
{
    *bassX = smoothedLevel * BASS_PUSH;
    *midX = sampleLevel * MID_PUSH;
}

float speakersFadeAlpha(float t, bool interactive)
{
    if (interactive || !(t > FADE_FROM && t < OUTRO_TO)) return -1.0f;
    return (t - FADE_FROM) * FADE_RATE;
}

// >> scene
// The rig's lights are the only ones on while it draws: its lit programs shade just those. The
// opening is lit by light 0 alone. Light 0 fades in; the others keep their colours, which the
// programs then hold as literals. Asked each frame, so a change of those colours would show.
void Speakers::litPrograms()
{
    const int count = (int)model.lights.size();
    const unsigned allButLight0 = 0xfeu;
    // Each rig material gets the program that squares its shininess' bits and no more: the rig is on
    // screen all show long, and most of it, the drape, needs three bits of eight.
    litMaterialPrograms(model.lights.data(), count, allButLight0, 0, model.materials, &rigPrograms);
    openingProgram = litProgram(model.lights.data(), count > 1 ? 1 : count, 0, 0, shininessBits);
    if (openingLit) model.plainShaders.assign(model.materials.size(), openingProgram);
    else model.plainShaders = rigPrograms;
}

void Speakers::init()
{
    load(SPEAKERS_MODEL, &model);
    model.cullOutsideView = true;
    model.flushEveryMeshes = 32;
    model.cullClosedBackFaces = true;
    model.drawNearestFirst = true;
    shininessBits = litShininessBits(model.materials.data(), (int)model.materials.size());
    openingLit = false;
    litPrograms();
    blend = false;
    lighting = true;
    loadedCameras = model.cameras;
    loadedLights = model.lights;
    for (const Material& material : model.materials) loadedTextures.push_back(material.texture);
}

void Speakers::rewind()
{
    speakersResetState();
    model.cameras = loadedCameras;
    model.lights = loadedLights;
    for (size_t i = 0; i < model.materials.size() && i < loadedTextures.size(); i++)
        model.materials[i].texture = loadedTextures[i];
    model.invalidateCanvas();
    openingLit = false;
    model.plainShaders = rigPrograms;
    lighting = true;
}

// The model as the scenes draw it: its placement, then the node tree.
static void drawModel(Objects3D* model)
{
    glPushMatrix();
    glMultMatrixf(model->transform);
    model->drawNode(model->root, model->root.mirrored);
    glPopMatrix();
}

// The rig without its cones, then the bass and mid cones pushed along x.
static void drawRig(Objects3D* model, float bassX, float midX)
{
    glPushMatrix();
    model->setAllVisible(true);
    model->setVisibleByName("Bass", false);
    model->setVisibleByName("Midtone", false);
    drawModel(model);
    glPushMatrix();
    glTranslatef(bassX, 0.0f, 0.0f);
    model->setAllVisible(false);
    model->setVisibleByName("Bass", true);
    drawModel(model);
    glPopMatrix();
    glTranslatef(midX, 0.0f, 0.0f);
    model->setAllVisible(false);
    model->setVisibleByName("Midtone", true);
    drawModel(model);
    glPopMatrix();
}

void Speakers::draw()
{
    const float t = music->getTime() - startTime;
    Texture* shared = fbo && !fbo->colorTextures.empty() ? fbo->colorTextures[0] : nullptr;

    // A: the screen shows the shared picture from the first frame after 104. The framebuffer
    // makes a new texture name when the window is resized: the screen's lists follow it.
    if (speakersScreenDue(s_speakers, t) && shared) {
        model.setCanvasTexture(shared);
        model.invalidateCanvas();
        s_speakers.screenAttached = true;
        s_speakers.screenTextureId = shared->textureId;
    } else if (s_speakers.screenAttached && shared && shared->textureId != s_speakers.screenTextureId) {
        model.invalidateCanvas();
        s_speakers.screenTextureId = shared->textureId;
    }

    // B: cameras, light 0 and the ending's keys.
    SpeakersFrame frame = speakersScript(&s_speakers, &model, t, music->meanTimeStep, keys);
    if (frame.shader == SPEAKERS_SHADER_MULTI) openingLit = false; // kept until the script says otherwise
    if (frame.shader == SPEAKERS_SHADER_SINGLE) openingLit = true;
    litPrograms();
    if (frame.lightingOff) {
        lighting = false;
        glDisable(GL_LIGHTING);
    }
    if (frame.startLooping) audioChannelFlags(music->stream, AUDIO_SAMPLE_LOOP, AUDIO_SAMPLE_LOOP);

    // C: the view.
    if (s_speakers.currentCamera < (int)model.cameras.size())
        applyCameraProjection(model.cameras[s_speakers.currentCamera], height, width);
    glClear(GL_DEPTH_BUFFER_BIT);

    // D: the coloured lights circle; 40-104 the view shakes on the first two beats of every eight.
    speakersMoveLights(&s_speakers, &model, t);
    if (t > CUTS_FROM && t < SCREEN_FROM) {
        float k = speakersShakeWeight(t);
        if (k > 0.0f) glTranslatef(0.0f, music->getSampleLevel() * k, music->getSmoothedLevel() * k);
    }

    // E: the rig, then the cones pushed by the music.
    model.setupLights();
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, GLOBAL_AMBIENT);

    float bassX, midX;
    speakersConeOffsets(music->getSmoothedLevel(), music->getSampleLevel(), &bassX, &midX);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    drawRig(&model, bassX, midX);
    CHECK_GL();

    // F: the fade to black at the end of the song.
    float alpha = speakersFadeAlpha(t, s_speakers.interactive);
    if (alpha >= 0.0f) {
        ShaderProgram::unbindAll();
        glDisable(GL_TEXTURE_2D);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glDisable(GL_LIGHTING);
        glClear(GL_DEPTH_BUFFER_BIT);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluOrtho2D(0.0, 1.0, 0.0, 1.0);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glColor4f(0.0f, 0.0f, 0.0f, alpha);
        glBegin(GL_QUADS);
        glVertex2f(0.0f, 0.0f);
        glVertex2f(1.0f, 0.0f);
        glVertex2f(1.0f, 1.0f);
        glVertex2f(0.0f, 1.0f);
        glEnd();
        CHECK_GL();
    }
}

// scene_midilights: the keyboard playing the song's notes. See scene_midilights.h.
#include "scenes/scene_midilights/scene_midilights.h"

#include "platform/report.h"                  // FATAL, FATAL_LOCATION, CHECK_GL
#include "scenes/shaderset.h"                 // ShaderSet
#include "util/fbo/fbo.h"                     // Fbo
#include "util/music/music.h"                 // getTime, note queries, meanTimeStep
#include "util/objects3d/litprogram.h"        // litProgram
#include "util/shaderprogram/shaderprogram.h" // bind, setUniform1i
#include "util/texture/texture.h"             // textureSetModulateScale
#include <GL/glu.h>                           // gluLookAt
#include <math.h>                             // sinf, cosf
#include <stdlib.h>                           // rand
#include <string.h>                           // memset

// >> constants
const char* const MIDI_LIGHTS_TRACK_NAMES[MIDI_LIGHTS_TRACKS] = {"Piano", "TAL-BassLine 02", "Ravelead"};
const int MIDI_LIGHTS_BLACK_KEY_NUMBERS[MIDI_LIGHTS_BLACK_KEYS] = {1,  3,  6,  8,  10, 13, 15, 18, 20,
                                                                   22, 25, 27, 30, 32, 34, 37, 39, 42,
                                                                   44, 46, 49, 51, 54, 56, 58};
enum { PIANO_TRACK = 0, BASS_TRACK = 1 };

static const float FIXED_COLOURS[MIDI_LIGHTS_FIXED_COLOURS][4] = {
    {0.6f, 0.6f, 0.3f, 1}, {0.3f, 0.3f, 1, 1}, {0.3f, 1, 0.3f, 1},
    {1, 0.3f, 0.3f, 1},    {0.6f, 0.3f, 0.6f, 1}, {0.3f, 0.6f, 0.6f, 1}};
static const float RANDOM_COLOUR_FLOOR = 0.3f, RANDOM_COLOUR_RANGE = 0.7f;
// The colours and velocities were tuned for a generator of 15 random bits.
static const int RANDOM_BITS_MASK = 32767;
static const float VELOCITY_RANGE = 8.0f, VELOCITY_BIAS = 4.0f; // -4 .. 4 units per beat

static const float LIGHT_AMBIENT = 0.01f;
static const float LIGHT_CONSTANT_ATTENUATION = 0.05f, LIGHT_LINEAR_ATTENUATION = 0.2f,
                   LIGHT_QUADRATIC_ATTENUATION = 0.02f;
static const float LIGHT_SPOT_CUTOFF = 85.0f;
static const float LIGHT_BOX_HALF_SIZE = 4.0f - 0.025f; // the lights bounce inside this box
static const float LIGHT_DIM_FLOOR = 0.1f;              // dimming stops here
static const float LIGHT_DIM_PER_K = 3.0f;
static const float LIGHT_BOUNCE_FLASH = 1.5f;

static const float SWAY_PER_BEAT_STEP = 0.5f;         // s = meanTimeStep x 0.5
static const float DIM_PER_BYTE_STEP = 0.000005f;     // k = meanPositionStep x 0.000005
static const float SECOND_WINDOW_BEAT = 190.0f;       // from here on the model's own lights
static const float CAMERA_DISTANCE = 9.0f;
static const float KEYBOARD_DROP = -2.0f;             // the keyboard sits below the view's centre
static const float PRESSED_TILT = 3.0f;               // degrees about x
static const int NORMAL_MAP_UNIT = 1;

// >> state
static MidiLightsShared s_midiLights = {0.0f, nullptr, nullptr};

const MidiLightsShared& midiLightsShared() { return s_midiLights; }

void midiLightsResetShared() { s_midiLights = MidiLightsShared{0.0f, nullptr, nullptr}; }

// >> rules
const std::string& midiLightsKeyName(int key)
{
    static std::string names[MIDI_LIGHTS_KEYS];
    if (names[0].empty()) {
        for (int i = 0; i < MIDI_LIGHTS_KEYS; i++) {
            char name[8];
            snprintf(name, sizeof name, "Key_%02d", i);
            names[i] = name;
        }
    }
    return names[key];
}

static float unitRandom() { return (float)(rand() & RANDOM_BITS_MASK) / (float)RANDOM_BITS_MASK; }

static void setColour(float to[4], const float from[4], float scale)
{
    for (int c = 0; c < 4; c++) to[c] = from[c] * scale;
}

void midiLightsFillColours(float colours[MIDI_LIGHTS_COLOURS][4])
{
    for (int i = 0; i < MIDI_LIGHTS_FIXED_COLOURS; i++) setColour(colours[i], FIXED_COLOURS[i], 1.0f);
    for (int i = MIDI_LIGHTS_FIXED_COLOURS; i < MIDI_LIGHTS_COLOURS; i++) {
        float u1 = unitRandom();
        float u2 = unitRandom();
        float u3 = unitRandom();
        colours[i][0] = RANDOM_COLOUR_FLOOR + RANDOM_COLOUR_RANGE * u3;
        colours[i][1] = RANDOM_COLOUR_FLOOR + RANDOM_COLOUR_RANGE * u2;
        colours[i][2] = RANDOM_COLOUR_FLOOR + RANDOM_COLOUR_RANGE * u1;
        colours[i][3] = 1.0f;
    }
}

void midiLightsSetupLights(Light lights[MIDI_LIGHTS_LIGHTS], float velocities[MIDI_LIGHTS_LIGHTS][3],
                           const float colours[MIDI_LIGHTS_COLOURS][4])
{
    for (int i = 0; i < MIDI_LIGHTS_LIGHTS; i++) {
        Light& light = lights[i];
        light.position = {0, 0, 0, 1};
        light.spotDirection = {1, 0, 0, 0};
        light.ambient = {LIGHT_AMBIENT, LIGHT_AMBIENT, LIGHT_AMBIENT, 1};
        light.diffuse = {colours[i][0], colours[i][1], colours[i][2], colours[i][3]};
        light.specular = {1, 1, 1, 1};
        light.constantAttenuation = LIGHT_CONSTANT_ATTENUATION;
        light.linearAttenuation = LIGHT_LINEAR_ATTENUATION;
        light.quadraticAttenuation = LIGHT_QUADRATIC_ATTENUATION;
        light.spotCutoff = LIGHT_SPOT_CUTOFF;
        float first = unitRandom() * VELOCITY_RANGE - VELOCITY_BIAS;
        float second = unitRandom() * VELOCITY_RANGE - VELOCITY_BIAS;
        float third = unitRandom() * VELOCITY_RANGE - VELOCITY_BIAS;
        velocities[i][0] = third;
        velocities[i][1] = second;
        velocities[i][2] = first;
    }
}

void midiLightsMoveLight(Light* light, float position[3], float velocity[3], float s, float k, float phase)
{
    for (int axis = 0; axis < 3; axis++) position[axis] += velocity[axis] * s;

    float* diffuse = &light->diffuse.x;
    for (int c = 0; c < 3; c++) {
        if (diffuse[c] <= LIGHT_DIM_FLOOR) continue;
        diffuse[c] -= LIGHT_DIM_PER_K * k;
        if (diffuse[c] < LIGHT_DIM_FLOOR) diffuse[c] = LIGHT_DIM_FLOOR;
    }

    for (int axis = 0; axis < 3; axis++) {
        if (position[axis] >= -LIGHT_BOX_HALF_SIZE && position[axis] <= LIGHT_BOX_HALF_SIZE) continue;
        float old = velocity[axis];
        velocity[axis] = -old;
        position[axis] -= s * old;
        for (int c = 0; c < 4; c++) diffuse[c] *= LIGHT_BOUNCE_FLASH;
    }

    light->position = {position[0], position[1], position[2], 1};
    light->spotDirection = {cosf(-3.0f * phase), cosf(-2.0f * phase), sinf(phase), 0};
}

void midiLightsPianoColours(Light lights[MIDI_LIGHTS_LIGHTS], const std::vector<bool>& triggers,
                            const float colours[MIDI_LIGHTS_COLOURS][4])
{
    for (size_t i = 0; i < triggers.size() && i < MIDI_LIGHTS_COLOURS; i++) {
        if (!triggers[i]) continue;
        setColour(&lights[i % MIDI_LIGHTS_LIGHTS].diffuse.x, colours[i], 1.0f);
    }
}

void midiLightsBassColours(Light lights[MIDI_LIGHTS_LIGHTS], const std::vector<bool>& states, float level,
                           const float colours[MIDI_LIGHTS_COLOURS][4])
{
    const float scale = (level + 1.0f) * 0.5f;
    for (size_t i = 0; i < states.size() && i + MIDI_LIGHTS_BASS_COLOUR_OFFSET < MIDI_LIGHTS_COLOURS; i++) {
        if (!states[i]) continue;
        size_t entry = i + MIDI_LIGHTS_BASS_COLOUR_OFFSET;
        setColour(&lights[entry % MIDI_LIGHTS_LIGHTS].diffuse.x, colours[entry], scale);
    }
}

void midiLightsShowKeys(Objects3D* model, bool pressedCopy, const std::vector<bool> states[MIDI_LIGHTS_TRACKS],
                        const std::vector<uint8_t> notes[MIDI_LIGHTS_TRACKS])
{
    // The keyboard copy hides what sounds, the pressed copy shows only that.
    const bool sounding = pressedCopy;
    model->setAllVisible(!sounding);
    if (states[PIANO_TRACK].size() != notes[PIANO_TRACK].size()) FATAL("Note LUTs differ!");
    for (int track = 0; track < MIDI_LIGHTS_TRACKS; track++) {
        // The other tracks are not compared; a state past the note list has no note to play.
        for (size_t i = 0; i < states[track].size() && i < notes[track].size(); i++) {
            if (!states[track][i]) continue;
            int key = (int)notes[track][i] - MIDI_LIGHTS_FIRST_NOTE;
            if (key < 0 || key >= MIDI_LIGHTS_KEYS) FATAL("Tried to play note %i", key);
            model->setVisibleByName(midiLightsKeyName(key), sounding);
        }
    }
}

bool midiLightsHaloRect(const float bounds[4], int glowWidth, int glowHeight, int targetWidth, int targetHeight,
                        int rect[4])
{
    if (!(bounds[0] <= bounds[2] && bounds[1] <= bounds[3])) return false;
    const int glowSide[2] = {glowWidth, glowHeight}, targetSide[2] = {targetWidth, targetHeight};
    for (int axis = 0; axis < 2; axis++) {
        // In glow texels, then in the target's pixels, rounded outwards.
        const float grow = MIDI_LIGHTS_HALO_REACH * (float)glowSide[axis] + (float)MIDI_LIGHTS_HALO_MARGIN_TEXELS;
        const float low = (bounds[axis] + 1.0f) * 0.5f * (float)glowSide[axis] - grow;
        const float high = (bounds[2 + axis] + 1.0f) * 0.5f * (float)glowSide[axis] + grow;
        const float scale = (float)targetSide[axis] / (float)glowSide[axis];
        int from = (int)floorf(low * scale), to = (int)ceilf(high * scale);
        if (from < 0) from = 0;
        if (to > targetSide[axis]) to = targetSide[axis];
        rect[axis] = from;
        rect[2 + axis] = to > from ? to - from : 0;
    }
    return true;
}

static bool rectsOverlap(const int a[4], const int b[4])
{
    return a[0] < b[0] + b[2] && b[0] < a[0] + a[2] && a[1] < b[1] + b[3] && b[1] < a[1] + a[3];
}

int midiLightsHaloRects(const float boxes[][4], int count, int glowWidth, int glowHeight, int haloWidth,
                        int haloHeight, int pictureWidth, int pictureHeight, int haloRects[][4], int pictureRects[][4])
{
    float places[Objects3D::DRAWN_BOXES][4];
    int n = 0;
    for (int i = 0; i < count && i < Objects3D::DRAWN_BOXES; i++)
        if (boxes[i][0] <= boxes[i][2] && boxes[i][1] <= boxes[i][3]) memcpy(places[n++], boxes[i], sizeof places[0]);
    // Places whose halos meet become one, until none do.
    for (bool joined = true; joined;) {
        joined = false;
        for (int i = 0; i < n; i++) {
            midiLightsHaloRect(places[i], glowWidth, glowHeight, haloWidth, haloHeight, haloRects[i]);
            midiLightsHaloRect(places[i], glowWidth, glowHeight, pictureWidth, pictureHeight, pictureRects[i]);
        }
        for (int i = 0; i < n && !joined; i++)
            for (int j = i + 1; j < n && !joined; j++) {
                if (!rectsOverlap(haloRects[i], haloRects[j]) && !rectsOverlap(pictureRects[i], pictureRects[j]))
                    continue;
                widenBox(places[i], places[j]);
                memmove(places[j], places[--n], sizeof places[0]);
                joined = true;
            }
    }
    return n;
}

// >> scene
static void placeKeyboard(Objects3D* model)
{
    rotateMatrix(model->transform, -90.0f, 1, 0, 0);
    rotateMatrix(model->transform, -90.0f, 0, 0, 1);
    scaleMatrix(model->transform, 0.2f, 0.2f, 0.2f);
}

void MIDILights::init()
{
    takesUnderlay = true; // opaque, drawn over the shared picture without clearing it
    glowBuffer = new Fbo();
    haloBuffer = new Fbo();
    if (!wallTexture.load(MIDI_LIGHTS_WALL, GL_LINEAR, GL_LINEAR, true, true)) FATAL_LOCATION();
    if (!wallNormalMap.load(MIDI_LIGHTS_WALL_NORMALS, GL_LINEAR, GL_LINEAR, true, true)) FATAL_LOCATION();
    midiLightsFillColours(colours);
    midiLightsSetupLights(lights, lightVelocities, colours);

    glMatrixMode(GL_MODELVIEW);
    load(MIDI_LIGHTS_MODEL, &keyboard);
    placeKeyboard(&keyboard);
    load(MIDI_LIGHTS_MODEL, &pressedKeyboard);
    placeKeyboard(&pressedKeyboard);
    keyboard.cullClosedBackFaces = pressedKeyboard.cullClosedBackFaces = true;
    keyboard.drawNearestFirst = pressedKeyboard.drawNearestFirst = true;
    // Both sets of lights the keyboard is lit by, built now rather than at their first frame.
    shininessBits = litShininessBits(keyboard.materials.data(), (int)keyboard.materials.size());
    keyboardPrograms(true);
    keyboardPrograms(false);
    // Pressed black keys glow white like the white ones.
    for (int key : MIDI_LIGHTS_BLACK_KEY_NUMBERS) pressedKeyboard.assignMaterial(midiLightsKeyName(key));
    CHECK_GL();
}

// The keyboard's programs for the lights it is lit by (every other light is dark). The scene's own
// lights change only their diffuse colours; the model's keep theirs.
void MIDILights::keyboardPrograms(bool ownLights)
{
    const unsigned allLights = (1u << LIT_MAX_LIGHTS) - 1;
    const Light* applied = ownLights ? lights : keyboard.lights.data();
    const int count = ownLights ? MIDI_LIGHTS_LIGHTS : (int)keyboard.lights.size();
    const unsigned fixedColours = ownLights ? 0 : allLights, fixedAmbientSpecular = ownLights ? allLights : 0;
    keyboard.plainShader = litProgram(applied, count, fixedColours, fixedAmbientSpecular, shininessBits);
    pressedKeyboard.plainShader = keyboard.plainShader;
}

void MIDILights::renderKeyboard(Objects3D* model, bool pressedCopy)
{
    for (int track = 0; track < MIDI_LIGHTS_TRACKS; track++) {
        music->getNoteStates(MIDI_LIGHTS_TRACK_NAMES[track], &trackStates[track]);
        music->getNoteLUT(MIDI_LIGHTS_TRACK_NAMES[track], &trackNotes[track]);
    }
    if (pressedCopy) glRotatef(PRESSED_TILT, 1, 0, 0);
    midiLightsShowKeys(model, pressedCopy, trackStates, trackNotes);
    glPushMatrix();
    glMultMatrixf(model->transform);
    model->drawNode(model->root, model->root.mirrored);
    glPopMatrix();
    if (pressedCopy) glRotatef(-PRESSED_TILT, 1, 0, 0);
}

void MIDILights::draw()
{
    if (!s_midiLights.bump) {
        s_midiLights.bump = shaders->multiDiffuseBump;
        s_midiLights.blur = shaders->blur;
    }

    // Beat values.
    const float s = music->meanTimeStep * SWAY_PER_BEAT_STEP;
    const float k = (float)music->meanPositionStep * DIM_PER_BYTE_STEP;
    gluLookAt(0, 0, CAMERA_DISTANCE, 0, 0, 0, 0, 1, 0);
    s_midiLights.swayPhase += s;
    const float phase = s_midiLights.swayPhase;

    // Lights: the scene's own until beat 190, then the model's, swinging sideways. The keyboard's
    // program shades just those (every other light is dark).
    const float now = music->getTime();
    const bool ownLights = now < SECOND_WINDOW_BEAT;
    keyboardPrograms(ownLights);
    if (ownLights) {
        for (int i = 0; i < MIDI_LIGHTS_LIGHTS; i++) {
            midiLightsMoveLight(&lights[i], lightPositions[i], lightVelocities[i], s, k, phase);
            applyLight(i, lights[i]);
        }
    } else {
        const float a = sinf(now * 0.5f) + 1.0f;
        glTranslatef(2.0f * a, -1.0f, 0.0f);
        keyboard.setupLights();
        glTranslatef(-2.0f * a, 1.0f, 0.0f);
    }
    // Colours for the next frame: triggers first, since a state query marks a note as reported.
    music->getNoteTriggers(MIDI_LIGHTS_TRACK_NAMES[PIANO_TRACK], &pianoTriggers);
    midiLightsPianoColours(lights, pianoTriggers, colours);
    music->getNoteStates(MIDI_LIGHTS_TRACK_NAMES[BASS_TRACK], &bassStates);
    bool bassSounds = false;
    for (bool sounding : bassStates) bassSounds = bassSounds || sounding;
    // The level is only asked for when a bass note sounds: the query moves the loudest sum kept.
    if (bassSounds) midiLightsBassColours(lights, bassStates, music->getSpectrumLevel(), colours);

    // State: the bump program with the wall's maps.
    s_midiLights.bump->bind();
    s_midiLights.bump->setUniform1i("NormalMap", NORMAL_MAP_UNIT);
    s_midiLights.bump->setUniform1i("Num_lights", MIDI_LIGHTS_LIGHTS);
    glActiveTextureARB(GL_TEXTURE1_ARB);
    glBindTexture(GL_TEXTURE_2D, wallNormalMap.textureId);
    glActiveTextureARB(GL_TEXTURE0_ARB);
    glBindTexture(GL_TEXTURE_2D, wallTexture.textureId);
    glClear(GL_DEPTH_BUFFER_BIT);
    glTranslatef(0.0f, KEYBOARD_DROP, 0.0f);
    glRotatef(sinf(phase), 0, 1, 0);
    glRotatef(cosf(phase), 0, 0, 1);

    // Glow pass: the pressed keys alone, and where they lie.
    glowBuffer->bindForDrawing(true);
    pressedKeyboard.trackDrawnBounds = true;
    pressedKeyboard.resetDrawnBounds();
    renderKeyboard(&pressedKeyboard, true);
    pressedKeyboard.trackDrawnBounds = false;
    glPopAttrib();
    fboBindScreen();

    // Main pass over the shared picture: the keys that are up, then the pressed ones.
    fbo->bindForDrawing(false);
    renderKeyboard(&keyboard, false);
    renderKeyboard(&pressedKeyboard, true);
    // The particles under the keyboard, added where it left the picture bare.
    drawUnderlayHere();

    glPopAttrib();

    // The glow, blurred at the glow buffer's own size, stored at half strength so the blur's gain
    // does not clip in 8 bits... Both passes keep to the pixels the halo can reach from the pressed
    // keys, place by place (outside them it is black and would add nothing): a software rasteriser
    // pays for every tap of the blur at every pixel it covers.
    int haloRects[Objects3D::DRAWN_BOXES][4], pictureRects[Objects3D::DRAWN_BOXES][4];
    const int places = midiLightsHaloRects(pressedKeyboard.drawnBoxes, pressedKeyboard.drawnBoxCount,
                                           glowBuffer->width, glowBuffer->height, haloBuffer->width,
                                           haloBuffer->height, fbo->width, fbo->height, haloRects, pictureRects);
    haloBuffer->bindForDrawing(true);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    s_midiLights.blur->bind();
    glColor4f(BLUR_STORED_SHARE, BLUR_STORED_SHARE, BLUR_STORED_SHARE, BLUR_STORED_SHARE);
    glEnable(GL_SCISSOR_TEST);
    for (int i = 0; i < places; i++) {
        glScissor(haloRects[i][0], haloRects[i][1], haloRects[i][2], haloRects[i][3]);
        glowBuffer->drawAttachments();
    }
    glDisable(GL_SCISSOR_TEST);
    glPopAttrib();
    ShaderProgram::unbindAll();

    // ...then added over the picture at full strength, once per pixel: the places do not overlap.
    fbo->bindForDrawing(false);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    // Fixed-function texturing here, and the keyboard's untextured meshes switched it off.
    glEnable(GL_TEXTURE_2D);
    glColor4f(1, 1, 1, 1);
    textureSetModulateScale(1.0f / BLUR_STORED_SHARE);
    glEnable(GL_SCISSOR_TEST);
    for (int i = 0; i < places; i++) {
        glScissor(pictureRects[i][0], pictureRects[i][1], pictureRects[i][2], pictureRects[i][3]);
        haloBuffer->drawAttachments();
    }
    glDisable(GL_SCISSOR_TEST);
    textureSetModulateScale(1.0f);
    glPopAttrib();
    fboBindScreen();
    CHECK_GL();
}

void MIDILights::rewind()
{
    midiLightsResetShared();
    memset(lightPositions, 0, sizeof lightPositions);
    midiLightsFillColours(colours);
    midiLightsSetupLights(lights, lightVelocities, colours);
}

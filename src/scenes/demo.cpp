// demo: the driver, the timeline, the key table and the frame clock. See demo.h.
#include "scenes/demo.h"

#include "platform/bitmapfont.h" // createBitmapFont
#include "platform/platform.h"   // counters, tick, virtual time
#include "platform/report.h"     // CHECK_GL
#include "scenes/framestats.h"   // the --stats hooks
#include "scenes/scene_glitchlogo/scene_glitchlogo.h" // GlitchLogo
#include "scenes/scene_greetings/scene_greetings.h" // Greetings
#include "scenes/scene_glowgreets/scene_glowgreets.h" // GlowGreets
#include "scenes/scene_midilights/scene_midilights.h" // MIDILights
#include "scenes/scene_spacexplosion/scene_spacexplosion.h" // Spacexplosion
#include "scenes/scene_oscilloscope/scene_oscilloscope.h" // Oscilloscope
#include "scenes/scene_randomsspics/scene_randomsspics.h" // RandomSSPics
#include "scenes/scene_spectrumboxes/scene_spectrumboxes.h" // SpectrumBoxes
#include "scenes/scene_textbigsprite/scene_textbigsprite.h" // TextBigSprite
#include "scenes/scene_textdance/scene_textdance.h" // TextDance
#include "scenes/scene_textfire/scene_textfire.h" // TextFire
#include "scenes/scene_speakers/scene_speakers.h" // Speakers
#include "scenes/scene_textsnake/scene_textsnake.h" // TextSnake
#include "scenes/shaderset.h"    // ShaderSet
#include "util/asciiengine/asciiengine.h" // AsciiEngine
#include "util/fbo/fbo.h"        // Fbo
#include "util/music/audio.h"    // stream state and volume
#include "util/music/music.h"    // Music
#include "util/objects3d/objects3d.h" // Objects3D::warmingUp
#include "util/texture/image_prefetch.h" // imagePrefetchStart, imagePrefetchStop
#include "util/texture/texture.h" // textureDecodeFile
#include <SDL.h>                 // SDL_PushEvent, SDL_GL_SwapBuffers
#include <algorithm>
#include <stdlib.h>
#include <string.h>

// >> timeline
// One row per scene, in drawing order. A scene class joins the show with its include and its row
// (the rows still commented out wait for their scene classes).
template <class Scene> static Template* make() { return new Scene(); }
// A row: the class makes the scene and names it in reports.
#define ROW(Scene, startTime, endTime) {make<Scene>, #Scene, startTime, endTime}

static const float REST_OF_SHOW = 1000000000.0f;

const TimelineRow TIMELINE[] = {
    ROW(RandomSSPics, 104, 136),
    ROW(Spacexplosion, 136, 168),
    ROW(MIDILights, 136, 168),
    ROW(Oscilloscope, 168, 172),
    ROW(TextBigSprite, 172, 184),
    ROW(TextFire, 184, 200),
    ROW(Spacexplosion, 200, 216),
    ROW(MIDILights, 200, 216),
    ROW(SpectrumBoxes, 216, 232),
    ROW(TextDance, 232, 248),
    ROW(GlowGreets, 248, 296),
    ROW(Oscilloscope, 258, 264),
    ROW(Greetings, 258, 264),
    ROW(TextSnake, 296, REST_OF_SHOW),
    ROW(Speakers, 0, REST_OF_SHOW),
    ROW(GlitchLogo, 0, 40),
    {nullptr, nullptr, 0.0f, 0.0f},
};

// >> keys
int keyStateIndices(int key, int* first, int* second)
{
    *first = *second = -1;
    if (key == SDLK_RALT || key == SDLK_LALT) { *first = KEY_ALT; *second = KEY_ALT_AGAIN; return 2; }
    if (key >= SDLK_1 && key <= SDLK_9) {
        *first = KEY_DIGIT_1 + (key - SDLK_1);
        *second = KEY_CHAR_1 + (key - SDLK_1);
        return 2;
    }
    int index = -1;
    if (key >= SDLK_F1 && key <= SDLK_F12) index = KEY_F1 + (key - SDLK_F1);
    else if (key >= SDLK_a && key <= SDLK_z) index = KEY_CHAR_A + (key - SDLK_a);
    else {
        switch (key) {
        case SDLK_LEFT: index = KEY_LEFT; break;
        case SDLK_RIGHT: index = KEY_RIGHT; break;
        case SDLK_UP: index = KEY_UP; break;
        case SDLK_DOWN: index = KEY_DOWN; break;
        case SDLK_RCTRL: case SDLK_LCTRL: index = KEY_CTRL; break;
        case SDLK_RSHIFT: case SDLK_LSHIFT: index = KEY_SHIFT; break;
        case SDLK_TAB: index = KEY_TAB; break;
        case SDLK_SPACE: index = KEY_SPACE; break;
        case SDLK_RETURN: index = KEY_RETURN; break;
        case SDLK_0: index = KEY_CHAR_0; break;
        case SDLK_KP_PLUS: index = KEY_KEYPAD_PLUS; break;
        case SDLK_KP_MINUS: index = KEY_KEYPAD_MINUS; break;
        case SDLK_PRINT: index = KEY_PRINT_SCREEN; break;
        default: return 0;
        }
    }
    *first = index;
    return 1;
}

// >> frame clock
static const float INITIAL_STEP = 0.0001f;
static const float MAX_STEP = 0.25f;       // a longer frame (loading, a stall) counts as this
static const uint64_t VIRTUAL_NUDGE_NS = 1000; // virtual time that has not moved is nudged on

FrameClock frameClock = {0.001f, 0, 0.0f, {INITIAL_STEP, INITIAL_STEP, INITIAL_STEP, INITIAL_STEP, INITIAL_STEP}, 0,
                         INITIAL_STEP};

void frameClockSetup()
{
    frameClock.tickLength = 0.001f;
    frameClock.startCount = 0;
    frameClock.elapsedSeconds = 0.0f;
    for (int i = 0; i < FRAME_STEP_HISTORY; i++) frameClock.stepHistory[i] = INITIAL_STEP;
    frameClock.historyIndex = 0;
    frameClock.frameStep = INITIAL_STEP;
    uint64_t frequency = platformCounterFrequency();
    if (frequency != 0) {
        frameClock.tickLength = (float)(1.0 / (double)frequency);
        frameClock.startCount = platformCounter();
    }
}

// The steps back to their starting values from the counter's now on (after a seek).
static void frameClockRestart()
{
    for (int i = 0; i < FRAME_STEP_HISTORY; i++) frameClock.stepHistory[i] = INITIAL_STEP;
    frameClock.historyIndex = 0;
    frameClock.frameStep = INITIAL_STEP;
    frameClock.elapsedSeconds = (float)(platformCounter() - frameClock.startCount) * frameClock.tickLength;
}

void frameClockTick()
{
    frameClock.historyIndex = (uint8_t)((frameClock.historyIndex + 1) % FRAME_STEP_HISTORY);
    // Never a zero step: wait for the counter to move (a virtual counter is moved on instead).
    float now;
    for (;;) {
        now = (float)(platformCounter() - frameClock.startCount) * frameClock.tickLength;
        if (now != frameClock.elapsedSeconds) break;
        if (platformVirtualTime()) platformAdvanceVirtualNanoseconds(VIRTUAL_NUDGE_NS);
    }
    float step = now - frameClock.elapsedSeconds;
    if (step > MAX_STEP) step = MAX_STEP;
    frameClock.stepHistory[frameClock.historyIndex] = step;
    frameClock.elapsedSeconds = now;
    float sum = 0.0f;
    for (int i = 0; i < FRAME_STEP_HISTORY; i++) sum += frameClock.stepHistory[i];
    frameClock.frameStep = sum * 0.2f;
}

// >> driver
static void clearAllBuffers()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT | GL_ACCUM_BUFFER_BIT);
}

Demo::Demo()
{
    scenes.clear();
    memset(&keys, 0, sizeof keys);
    frameClockSetup();
    // The pictures decode on a second core while the shaders and the models load here.
    imagePrefetchStart(textureDecodeFile);

    font = new BitmapFont();
    createBitmapFont(font);
    shaders = new ShaderSet();
    fbo = new Fbo();
    ascii = new AsciiEngine();
    // The song decodes beside the scenes' loading, which needs only its MIDI file.
    music = new Music(true);
    music->loadMidi();

    for (const TimelineRow* row = TIMELINE; row->create; row++) {
        Template* scene = row->create();
        scenes.push_back(scene);
        scene->startTime = row->startTime;
        scene->endTime = row->endTime;
        scene->music = music;
        scene->shaders = shaders;
        scene->fbo = fbo;
        scene->ascii = ascii;
        scene->init();
    }
    imagePrefetchStop();
    music->finishSong();

    for (int i = 0; i < 2; i++) {
        clearAllBuffers();
        SDL_GL_SwapBuffers();
    }
}

Demo::~Demo()
{
    for (Template* scene : scenes) {
        scene->release();
        delete scene;
    }
    scenes.clear();
}

void Demo::resize(int newWidth, int newHeight)
{
    width = newWidth;
    height = newHeight;
    // The bitmap font keeps no size of its own (nothing in the show draws text with it).
    fbo->resize(width, height);
    ascii->windowWidth = width;
    ascii->windowHeight = height;
}

void Demo::start()
{
    srand(platformTickMs());
    audioChannelSetAttribute(music->stream, AUDIO_ATTRIB_VOL, 1.0f);
    music->play();
    while (music->getTime() < 0.0f) {}
}

void keyStateSet(KeyState* keys, bool pressed, int key)
{
    int first, second;
    int count = keyStateIndices(key, &first, &second);
    if (count >= 1) keys->down[first] = pressed ? 1 : 0;
    if (count == 2) keys->down[second] = pressed ? 1 : 0;
}

void Demo::onKey(bool pressed, int key)
{
    // Only releases get here: main handles the Escape press itself.
    if (key == SDLK_ESCAPE) exit(0);
    keyStateSet(&keys, pressed, key);
}

void drawUnderlayAlone(Template* scene, int row)
{
    frameStatsUnderlayBegin(row);
    scene->fbo->bindForDrawing(false);
    scene->drawUnderlay();
    glPopAttrib();
    fboBindScreen();
    frameStatsUnderlayEnd();
    CHECK_GL();
}

uint32_t drawActiveScenes(const std::vector<Template*>& scenes, Music* music, const KeyState* keys, int width,
                          int height)
{
    uint32_t drawn = 0;
    Template* pending = nullptr; // a scene's light left for the next scene
    int pendingRow = -1;
    for (size_t row = 0; row < scenes.size(); row++) {
        Template* scene = scenes[row];
        float t = music->getTime(); // read afresh for every scene
        if (t < scene->startTime || t > scene->endTime) continue;
        if (pending && !scene->takesUnderlay) {
            drawUnderlayAlone(pending, pendingRow);
            pending = nullptr;
        }
        if (row < 32) drawn |= 1u << row;
        frameStatsSceneBegin((int)row);
        scene->keys = keys;
        scene->underlay = pending;
        scene->underlayRow = pendingRow;
        CHECK_GL();
        scene->applyState();
        CHECK_GL();
        scene->resize(width, height);
        CHECK_GL();
        scene->draw();
        CHECK_GL();
        frameStatsSceneEnd((int)row);
        scene->underlay = nullptr;
        pending = scene->underlayPending ? scene : nullptr;
        if (pending) pendingRow = (int)row;
        scene->underlayPending = false;
    }
    if (pending) drawUnderlayAlone(pending, pendingRow);
    return drawn;
}

void Demo::renderFrame()
{
    CHECK_GL();
    frameStatsFrameBegin();
    frameClockTick();
    music->update();
    // The song has ended: main leaves its loop when it sees this (a paused song has not ended).
    uint32_t state = audioChannelIsActive(music->stream);
    if (state != AUDIO_ACTIVE_PLAYING && state != AUDIO_ACTIVE_PAUSED) {
        SDL_Event quit;
        memset(&quit, 0, sizeof quit);
        quit.type = SDL_QUIT;
        SDL_PushEvent(&quit);
    }
    clearAllBuffers();
    uint32_t drawn = drawActiveScenes(scenes, music, &keys, width, height);
    if (beforeSwap) beforeSwap();
    if (overlay) overlay();
    SDL_GL_SwapBuffers();
    frameStatsFrameEnd(drawn);
}

// The timeline's scene names by row; returns the row count.
static int timelineNames(const char* names[FRAME_STATS_MAX_ROWS])
{
    int rows = 0;
    for (const TimelineRow* row = TIMELINE; row->create && rows < FRAME_STATS_MAX_ROWS; row++)
        names[rows++] = row->name;
    return rows;
}

std::string timelineWindowName(uint32_t mask)
{
    const char* names[FRAME_STATS_MAX_ROWS];
    int rows = timelineNames(names);
    return windowNameOf(mask, names, rows);
}

void demoPrintStats(const Demo* demo, FILE* out, int samples)
{
    const char* names[FRAME_STATS_MAX_ROWS];
    int rows = timelineNames(names);
    uint64_t songBytes = demo->music->lengthBytes == AUDIO_LENGTH_ERROR ? 0 : demo->music->lengthBytes;
    frameStatsPrint(out, names, rows, memoryFloorBytes(demo->width, demo->height, samples, (int64_t)songBytes));
}

double demoBeatToSeconds(const Music* music, double beat)
{
    double seconds = (beat - music->beatOffset) * 60.0 / music->bpm;
    return seconds > 0.0 ? seconds : 0.0;
}

double demoSecondsToBeat(const Music* music, double seconds) { return seconds * music->bpm / 60.0 + music->beatOffset; }

// The lights, materials and light model of a new GL context. Scenes leave theirs behind for the
// next frame's scenes (the rig's global ambient reaches the waterfall, for one), which a fresh
// start has not seen yet.
static void lightingDefaults()
{
    static const GLfloat BLACK[4] = {0, 0, 0, 1}, WHITE[4] = {1, 1, 1, 1}, AMBIENT[4] = {0.2f, 0.2f, 0.2f, 1};
    static const GLfloat DIFFUSE[4] = {0.8f, 0.8f, 0.8f, 1}, POSITION[4] = {0, 0, 1, 0}, DOWN_Z[3] = {0, 0, -1};
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity(); // positions and directions are taken through the model-view matrix
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, AMBIENT);
    for (int i = 0; i < TEMPLATE_LIGHTS; i++) {
        GLenum light = GL_LIGHT0 + i;
        glLightfv(light, GL_AMBIENT, BLACK);
        glLightfv(light, GL_DIFFUSE, i == 0 ? WHITE : BLACK);
        glLightfv(light, GL_SPECULAR, i == 0 ? WHITE : BLACK);
        glLightfv(light, GL_POSITION, POSITION);
        glLightfv(light, GL_SPOT_DIRECTION, DOWN_Z);
        glLightf(light, GL_SPOT_EXPONENT, 0.0f);
        glLightf(light, GL_SPOT_CUTOFF, 180.0f);
        glLightf(light, GL_CONSTANT_ATTENUATION, 1.0f);
        glLightf(light, GL_LINEAR_ATTENUATION, 0.0f);
        glLightf(light, GL_QUADRATIC_ATTENUATION, 0.0f);
    }
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, AMBIENT);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, DIFFUSE);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, BLACK);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, BLACK);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 0.0f);
    glPopMatrix();
}

void demoRewind(Demo* demo, double seconds)
{
    Music* music = demo->music;
    if (seconds < 0.0) seconds = 0.0;
    audioChannelSetPosition(music->stream, audioChannelSeconds2Bytes(music->stream, seconds));
    audioChannelFlags(music->stream, 0, AUDIO_SAMPLE_LOOP);
    if (platformVirtualTime()) platformSetVirtualNanoseconds(frameClock.startCount + (uint64_t)(seconds * 1e9));
    musicResetClock();
    srand(DEMO_REWIND_SEED);
    for (Template* scene : demo->scenes) scene->rewind();
    lightingDefaults();
    music->restartHistories();
    frameClockRestart();
}

void demoWarmUp(Demo* demo)
{
    // Where the set of scenes changes, just inside: each scene's first frames and every set of
    // programs and state it draws with from there.
    std::vector<float> beats;
    for (const TimelineRow* row = TIMELINE; row->create; row++)
        for (float cut : {row->startTime, row->endTime})
            if (cut < REST_OF_SHOW) beats.push_back(cut + WARM_UP_STEP_BEATS);
    std::sort(beats.begin(), beats.end());
    beats.erase(std::unique(beats.begin(), beats.end()), beats.end());

    const int width = demo->width, height = demo->height;
    demo->resize(WARM_UP_WIDTH, WARM_UP_HEIGHT);
    Objects3D::warmingUp = true;
    for (float beat : beats) {
        demoRewind(demo, demoBeatToSeconds(demo->music, beat));
        demo->music->update();
        clearAllBuffers();
        drawActiveScenes(demo->scenes, demo->music, &demo->keys, WARM_UP_WIDTH, WARM_UP_HEIGHT);
    }
    glFinish();
    Objects3D::warmingUp = false;
    demo->resize(width, height);
    demoRewind(demo, 0.0);
    clearAllBuffers();
}

void demoSetVirtualTime(Demo* demo, double seconds)
{
    if (seconds < 0.0) seconds = 0.0;
    platformSetVirtualNanoseconds(frameClock.startCount + (uint64_t)(seconds * 1e9));
    audioSetVirtualPosition(demo->music->stream, audioChannelSeconds2Bytes(demo->music->stream, seconds));
}

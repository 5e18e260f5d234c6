// demo: the show's driver: the shared resources, the timeline of scenes and one frame of the show.
//
// The constructor builds the bitmap font, the shader set, the shared framebuffer object, the
// text-mode engine and the music, then every scene of the timeline (each given its beat window
// and the shared pointers, then told to load), and leaves both window buffers black. It needs the
// GL context current and loads everything the show uses; nothing is loaded or freed afterwards.
// Each frame draws every scene whose window [startTime, endTime] holds the music clock, in
// timeline order. When the song stops playing, an SDL_QUIT event is posted each frame.
//
// Virtual time (the offline renderer, tests): choose audioUseVirtualOutput(true) and
// platformUseVirtualTime(true) before constructing, then demoSetVirtualTime before each frame.
// The frame path is the same as the show's.
#pragma once

#include "scenes/template.h" // Template, KeyState, FrameClock
#include <stdint.h>
#include <stdio.h>
#include <string>
#include <vector>

struct BitmapFont;

class Demo {
public:
    std::vector<Template*> scenes;  // the timeline, in drawing order; owned
    KeyState keys;                  // held keys, all 0 at construction
    BitmapFont* font = nullptr;     // created at construction; not handed to scenes
    int width = 0, height = 0;      // window size last given to resize
    Music* music = nullptr;         // the song and its clock
    ShaderSet* shaders = nullptr;   // the 21 shared shader programs
    Fbo* fbo = nullptr;             // the shared off-screen target
    AsciiEngine* ascii = nullptr;   // the shared text-mode renderer
    void (*beforeSwap)() = nullptr; // tools only: called after the last scene, before the swap
    void (*overlay)() = nullptr;    // creator mode's panel: after beforeSwap, so never captured

    Demo();
    // Releases and deletes the scenes; the shared resources live until the process ends.
    ~Demo();

    // Remembers the window size and passes it to the font, the framebuffer and the text engine.
    void resize(int width, int height);
    // Seeds rand, sets full volume, starts the music; returns once the clock reads beat 0 or later.
    void start();
    // A key pressed or released (SDL 1.2 key symbol). Releasing Escape ends the process (code 0).
    void onKey(bool pressed, int key);
    // Renders and presents one frame.
    void renderFrame();
};

// >> timeline
struct TimelineRow {
    Template* (*create)(); // makes the scene object (loads nothing)
    const char* name;      // the scene class, for reports
    float startTime;       // beats
    float endTime;         // beats
};
// The rows of the show in drawing order, ended by a row whose create is null.
extern const TimelineRow TIMELINE[];

// >> keys and frame clock (exposed for tests)
// The KeyState indices a key symbol writes: returns 0 (not tracked), 1 or 2.
int keyStateIndices(int key, int* first, int* second);
// Writes a press (1) or release (0) of `key` to its index or indices; other keys are ignored.
void keyStateSet(KeyState* keys, bool pressed, int key);
// Resets the frame clock and starts it at the counter's current value.
void frameClockSetup();
// Advances the frame clock by one frame (waits until the counter moves).
void frameClockTick();

// Draws a scene's pending underlay by itself into its shared Fbo, as nothing covers it; `row`
// is the scene's timeline row, for the frame-time report (-1: not timed).
void drawUnderlayAlone(Template* scene, int row = -1);
// One frame's scenes: each scene whose window holds the clock (read afresh per scene) gets the
// key table, applyState, resize and draw, in list order. A scene's pending underlay goes to the
// next scene drawn if that one takes it, else is drawn alone before it (or at the end). Returns
// the rows drawn (bit i: row i).
uint32_t drawActiveScenes(const std::vector<Template*>& scenes, Music* music, const KeyState* keys, int width,
                          int height);

// A fresh start at `seconds` of the song, as far as any scene can tell: the song moved there (its
// loop switched off), the music clock's jump rule and histories and the frame clock's steps
// restarted, the virtual counter (when virtual) at that moment, rand seeded with
// DEMO_REWIND_SEED and every scene rewound in timeline order. The creator mode's seek and
// halvoren-render --from both start here, so their first frames are the same picture.
enum { DEMO_REWIND_SEED = 0 }; // what the show's start seeds in virtual time (tick 0)
void demoRewind(Demo* demo, double seconds);
// Draws, unseen and a few pixels large, a frame just inside every change of the set of scenes,
// then rewinds to the start (demoRewind(0)): a software rasteriser compiles its code for each
// program and state at their first draw, which would otherwise stall the show's first frame of
// each scene. Call after resize and before start.
enum { WARM_UP_WIDTH = 32, WARM_UP_HEIGHT = 18 };
static const float WARM_UP_STEP_BEATS = 0.5f;
void demoWarmUp(Demo* demo);
// The song position in seconds of a clock reading in beats (never below 0), and back.
double demoBeatToSeconds(const Music* music, double beat);
double demoSecondsToBeat(const Music* music, double seconds);

// Virtual time: sets the platform's virtual counter and the virtual audio position to `seconds`
// of show time, so the next renderFrame draws that moment.
void demoSetVirtualTime(Demo* demo, double seconds);

// The scene names of the rows in `mask` (bit i: TIMELINE row i), joined by " + ".
std::string timelineWindowName(uint32_t mask);

// The --stats report (framestats.h) with the timeline's names and the memory floor of this show
// in a window of its size with `samples` (0 or 1: none).
void demoPrintStats(const Demo* demo, FILE* out, int samples);

// template: the base class of every scene, and what a scene reads besides the music clock:
// the held-key table (KeyState) and the frame clock (FrameClock).
//
// The driver (demo.h) gives each scene its beat window and the shared music, shader set,
// framebuffer object and text-mode engine, calls `init` once, and in every frame whose beat lies
// inside [startTime, endTime] sets `keys`, calls `applyState`, `resize` and `draw`. A scene sets
// its render switches in its constructor or `init`; `applyState` turns every capability on or off
// to match, so each scene starts from the same known state whatever the scene before it did.
// A scene class must override `init` and `draw`; the base versions end the program.
#pragma once

#include <GL/glew.h> // GLenum; before any other GL header
#include <stdint.h>

class Music;
struct ShaderSet;
class Fbo;
class AsciiEngine;

// >> keys
// Index of each tracked key in KeyState::down. Left and right modifiers share one entry; Alt and
// the digits 1-9 are written to two entries each.
enum {
    KEY_ALT = 0,         // either Alt key; also KEY_ALT_AGAIN
    KEY_LEFT = 1,
    KEY_RIGHT = 2,
    KEY_UP = 3,
    KEY_DOWN = 4,
    KEY_DIGIT_1 = 5,     // 5-13: digits 1-9; also KEY_CHAR_1 + digit - 1
    KEY_UNUSED = 14,     // never written
    KEY_F1 = 15,         // 15-26: F1-F12
    KEY_ALT_AGAIN = 27,
    KEY_CTRL = 28,
    KEY_SHIFT = 29,
    KEY_TAB = 30,
    KEY_SPACE = 31,
    KEY_RETURN = 32,
    KEY_CHAR_1 = 33,     // 33-41: digits 1-9, then 0 and a-z: the 36 character keys in order
    KEY_CHAR_0 = 42,
    KEY_CHAR_A = 43,     // 43-68: a-z
    KEY_KEYPAD_PLUS = 69,
    KEY_KEYPAD_MINUS = 70,
    KEY_PRINT_SCREEN = 71,
    KEY_STATE_SIZE = 72,
};

struct KeyState {
    uint8_t down[KEY_STATE_SIZE]; // 1 while the key is held, else 0
};

// >> frame clock
// Process-wide; ticked once per frame by the driver. For motion that does not follow the music.
enum { FRAME_STEP_HISTORY = 5 };
struct FrameClock {
    float tickLength;                      // seconds per counter tick; 0.001 without a counter
    uint64_t startCount;                   // counter when the driver was built
    float elapsedSeconds;                  // since startCount, at the last tick; 0 before the first
    float stepHistory[FRAME_STEP_HISTORY]; // last frame intervals, each at most 0.25 s; 0.0001
    uint8_t historyIndex;                  // slot written last; the first tick writes slot 1
    float frameStep;                       // mean of stepHistory, seconds; 0.0001
};
extern FrameClock frameClock;

// >> scene base
enum { TEMPLATE_LIGHTS = 8 };

class Template {
public:
    GLenum shadeModel = GL_SMOOTH; // for glShadeModel
    float startTime = -10.0f;      // first beat drawn (the driver sets the timeline's value)
    float endTime = 5000.0f;       // last beat drawn
    const KeyState* keys = nullptr; // the driver's key table, set before every applyState
    Music* music = nullptr;        // shared song and clock, set before init
    ShaderSet* shaders = nullptr;  // shared shader programs, set before init
    Fbo* fbo = nullptr;            // shared off-screen target, set before init
    AsciiEngine* ascii = nullptr;  // shared text-mode renderer, set before init
    int width = 0, height = 0;     // window size last given to resize

    // Render switches applied every frame, one byte each.
    bool blend = false;            // GL_BLEND
    bool depthTest = true;         // GL_DEPTH_TEST
    bool lighting = false;         // GL_LIGHTING
    bool texture1D = false;        // GL_TEXTURE_1D
    bool texture2D = true;         // GL_TEXTURE_2D
    bool colorMaterial = true;     // GL_COLOR_MATERIAL
    bool normalize = true;         // GL_NORMALIZE
    bool multisample = true;       // GL_MULTISAMPLE
    bool light[TEMPLATE_LIGHTS] = {true, false, false, false, false, false, false, false}; // GL_LIGHT0-7

    Template() = default;
    virtual ~Template() = default;

    // Loads the scene's assets; ends the program on failure. The base version is an error.
    virtual void init();
    // Draws one frame; the base version is an error.
    virtual void draw();
    // Frees what init made, before the driver deletes the scene. The base version does nothing.
    virtual void release();
    // Every frame before draw, with the window size: stores it and sets a letter-boxed 16:9
    // viewport and a 45-degree perspective projection.
    virtual void resize(int width, int height);
    // Puts back what drawing changes, as init left it (a seek in creator mode, the renderer's
    // --from): the scene's share of the process-wide state included, drawing the random numbers
    // init draws in the same order. Loads nothing. The base version does nothing.
    virtual void rewind() {}

    // Light left for later. A scene that only adds light onto the shared Fbo it has just cleared
    // (blend one, one) may set `underlayPending` in draw instead of drawing it, and draw it in
    // drawUnderlay, into the bound shared Fbo. The driver hands it to the next scene drawn if that
    // one `takesUnderlay` (it paints opaque geometry into the shared Fbo without clearing it): that
    // scene calls drawUnderlayHere right after its geometry, which the light is depth
    // tested against, so it is added only where the geometry left the picture bare (everywhere
    // else the geometry would have painted over it). Otherwise the driver draws it at once.
    // drawUnderlay leaves no program bound and every other state as it found it.
    bool underlayPending = false;   // set by draw, cleared by the driver
    bool takesUnderlay = false;     // a switch, like the render switches
    Template* underlay = nullptr;   // set by the driver for the draw of a scene that takes it
    int underlayRow = -1;           // its timeline row, for the frame-time report
    virtual void drawUnderlay() {}
    // For a scene that takes one: draws the underlay handed over, if any, timed for its own row.
    void drawUnderlayHere();

    // Sets the light model, blending function, depth function, the sixteen switches and the shade
    // model; identity model-view matrix, no texture bound, no shader program active.
    void applyState();
};

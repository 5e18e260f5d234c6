// scene_midilights: the song's MIDI notes played on a 3D keyboard, with wandering spot lights and
// a glow around the pressed keys.
//
// The keyboard ("data/midilights/Assembled Keyboard.dae") is loaded twice: the first copy shows the
// keys that are up, the second only the keys that sound in the tracks "Piano", "TAL-BassLine 02"
// and "Ravelead", tilted by 3 degrees and with its black keys in the model's "White_Finish"
// material, so every pressed key is white. MIDI note n plays key n - 24 (keys "Key_00" to
// "Key_60"). Before beat 190 five spot lights of the scene's own wander in a box and bounce off
// its walls, fading between notes; piano note starts give them new colours and the bass line
// pulses them with the music's loudness. From beat 190 on the model's own lights, swinging
// sideways, light it instead.
//
// Draws into the shared framebuffer without clearing it (over the particles drawn before it in the
// same frame); the pressed keys are drawn a second time into the scene's own 512 x 512 framebuffer
// and added on top, blurred, by the `blur` program.
//
// Failures are fatal: a wall texture that does not load (location-only report), a note outside
// the keyboard ("Tried to play note %i", the key number), a "Piano" state set whose length differs
// from the track's note list ("Note LUTs differ!"), a missing "NormalMap" or "Num_lights" uniform,
// a model without "White_Finish" or without one of the black keys.
// Limits: piano note i takes colour i and bass note i colour i + 3 of the MIDI_LIGHTS_COLOURS
// table; notes past the table leave the lights as they are.
// The sway phase and the two programs are process-wide; everything else is per instance.
#pragma once

#include "scenes/template.h"            // Template
#include "util/objects3d/objects3d.h"   // Objects3D, Light
#include "util/texture/texture.h"       // Texture

#include <stdint.h>
#include <string>
#include <vector>

class ShaderProgram;

#define MIDI_LIGHTS_MODEL "data/midilights/Assembled Keyboard.dae"
#define MIDI_LIGHTS_WALL "data/common/images/stone_wall.png"
#define MIDI_LIGHTS_WALL_NORMALS "data/common/images/stone_wall_normal_map.png"

enum {
    MIDI_LIGHTS_LIGHTS = 5,      // the scene's own spot lights
    MIDI_LIGHTS_COLOURS = 29,    // light colours chosen by note index
    MIDI_LIGHTS_FIXED_COLOURS = 6, // entries 0-5 are fixed, the rest random
    MIDI_LIGHTS_KEYS = 61,       // keys "Key_00" to "Key_60", lowest first
    MIDI_LIGHTS_BLACK_KEYS = 25,
    MIDI_LIGHTS_FIRST_NOTE = 24, // MIDI note played on key 0
    MIDI_LIGHTS_TRACKS = 3,      // the tracks that press keys
    MIDI_LIGHTS_BASS_COLOUR_OFFSET = 3, // bass note i lights light (i + 3) mod 5 in colour i + 3
};

// The tracks whose notes press keys, in the order they are applied.
extern const char* const MIDI_LIGHTS_TRACK_NAMES[MIDI_LIGHTS_TRACKS];
// The black keys' numbers, lowest first.
extern const int MIDI_LIGHTS_BLACK_KEY_NUMBERS[MIDI_LIGHTS_BLACK_KEYS];

// Shared by every instance.
struct MidiLightsShared {
    float swayPhase;     // grows by half the beat step each frame drawn; 0 at start
    ShaderProgram* bump; // ShaderSet multiDiffuseBump, taken on the first draw
    ShaderProgram* blur; // ShaderSet blur, taken on the first draw
};

class Fbo;

class MIDILights : public Template {
public:
    Fbo* glowBuffer = nullptr;                        // the pressed keys alone; made by init
    Fbo* haloBuffer = nullptr;                        // the glow blurred at its own size, half strength
    Texture wallTexture;                              // MIDI_LIGHTS_WALL (unit 0)
    Texture wallNormalMap;                            // MIDI_LIGHTS_WALL_NORMALS (unit 1)
    Light lights[MIDI_LIGHTS_LIGHTS];                 // the wandering spot lights
    float lightPositions[MIDI_LIGHTS_LIGHTS][3] = {}; // scene units; start at the origin
    float lightVelocities[MIDI_LIGHTS_LIGHTS][3] = {}; // units per beat; random at load
    float colours[MIDI_LIGHTS_COLOURS][4] = {};       // RGBA
    Objects3D keyboard;                               // shows the keys that are up
    Objects3D pressedKeyboard;                        // shows only the keys that are down
    void keyboardPrograms(bool ownLights); // selects the keyboards' lit program
    int shininessBits = 0;                             // the bits every keyboard material's shininess fits in

    void init() override;
    void draw() override;
    void rewind() override;

private:
    // This frame's note states and note lists of the three tracks (kept to reuse their storage).
    std::vector<bool> trackStates[MIDI_LIGHTS_TRACKS];
    std::vector<uint8_t> trackNotes[MIDI_LIGHTS_TRACKS];
    std::vector<bool> pianoTriggers; // this frame's new piano notes
    std::vector<bool> bassStates;    // this frame's sounding bass notes

    // Asks for the notes, shows the keys of this copy and draws it.
    void renderKeyboard(Objects3D* model, bool pressedCopy);
};

// >> rules (no GL)
// "Key_00" .. "Key_60"; key must be in 0..60.
const std::string& midiLightsKeyName(int key);
// The colour table: the six fixed entries, then random ones drawn with rand, three draws each.
void midiLightsFillColours(float colours[MIDI_LIGHTS_COLOURS][4]);
// The five spot lights at load in the table's first colours; their velocities drawn with rand,
// three draws each, the third becoming x and the first z.
void midiLightsSetupLights(Light lights[MIDI_LIGHTS_LIGHTS], float velocities[MIDI_LIGHTS_LIGHTS][3],
                           const float colours[MIDI_LIGHTS_COLOURS][4]);
// One frame of one light: moves by velocity x s (s: beats of motion), dims its colour by 3k (not
// below 0.1), bounces off the box's walls (each wall crossed flashes it 1.5 times brighter), then
// takes the position and the spot direction that the sway phase gives.
void midiLightsMoveLight(Light* light, float position[3], float velocity[3], float s, float k, float phase);
// Piano notes that started: light (i mod 5) takes colour i.
void midiLightsPianoColours(Light lights[MIDI_LIGHTS_LIGHTS], const std::vector<bool>& triggers,
                            const float colours[MIDI_LIGHTS_COLOURS][4]);
// Bass notes that sound: light ((i + 3) mod 5) takes colour i + 3 scaled by (level + 1) / 2.
void midiLightsBassColours(Light lights[MIDI_LIGHTS_LIGHTS], const std::vector<bool>& states, float level,
                           const float colours[MIDI_LIGHTS_COLOURS][4]);
// Shows the keys of one copy from the three tracks' note states and note lists: the keyboard copy
// shows every key but the sounding ones, the pressed copy only the sounding ones. Fatal on a
// "Piano" state set that does not match its note list, and on a note off the keyboard.
void midiLightsShowKeys(Objects3D* model, bool pressedCopy, const std::vector<bool> states[MIDI_LIGHTS_TRACKS],
                        const std::vector<uint8_t> notes[MIDI_LIGHTS_TRACKS]);

// The pixels of a targetWidth x targetHeight buffer (x, y, width, height, as glScissor takes them)
// that the halo can reach from the glow drawn inside `bounds` (normalised device coordinates, as
// Objects3D tracks them) in a glowWidth x glowHeight glow buffer: the box grown by the blur's reach
// (MIDI_LIGHTS_HALO_REACH of the glow buffer's side, beyond the outer ring of blur.frag) and by two
// glow texels for the bilinear taps of the blur and of the halo's upscale. False when the box is
// empty: nothing glows, and the halo is black everywhere.
enum { MIDI_LIGHTS_HALO_MARGIN_TEXELS = 2 };
static const float MIDI_LIGHTS_HALO_REACH = 0.05f;
bool midiLightsHaloRect(const float bounds[4], int glowWidth, int glowHeight, int targetWidth, int targetHeight,
                        int rect[4]);
// The rects of both buffers for several places that glow (`count` boxes as Objects3D tracks them,
// empty ones skipped): boxes whose rects would overlap in either buffer are joined until none
// do, so that the halo is added to each pixel of the picture at most once. Returns how many.
int midiLightsHaloRects(const float boxes[][4], int count, int glowWidth, int glowHeight, int haloWidth,
                        int haloHeight, int pictureWidth, int pictureHeight, int haloRects[][4], int pictureRects[][4]);

// The process-wide state, and a fresh start for tests and tools that build the scene again.
const MidiLightsShared& midiLightsShared();
void midiLightsResetShared();

// scene_glowgreets: greetings to other groups and people, one full-frame picture at a time, with a
// glow over the marked parts of each picture that swells on every second beat.
//
// Each of the 19 greetings is a pair of JPEG pictures, "data/glowgreets/<name>.jpg" and its mask
// "data/glowgreets/<name>_mask.jpg" (white where it glows). The picture is drawn plain over the
// unit square into the shared Fbo (cleared first); the mask is added on top through the `blur`
// program, whose halo is scaled by the vertex colour, i.e. by the pulse. Entry 0 (the group) holds
// the first sixteen beats except for the two person slots at beats 6-8 and 8-10; from beat 16 the
// others follow every two beats, and the window's last beat wraps to entry 0.
//
// A picture or mask that does not load is fatal (inside Texture), and so is a GL error after the
// draw. The draw keeps no state: entry and pulse follow from the song position alone. The textures
// live until the process ends.
#pragma once

#include "scenes/template.h" // Template
#include <vector>

class Texture;
class ShaderProgram;

enum { GLOW_GREETS_ENTRIES = 19 };

#define GLOW_GREETS_DIRECTORY "data/glowgreets/"

// The greeted names, in list order: entry 0 is a group, entries 1 and 2 are people.
extern const char* const GLOW_GREETS_NAMES[GLOW_GREETS_ENTRIES];

struct GlowColor {
    float r, g, b, a;
};

// What to show at one moment.
struct GlowGreetsChoice {
    int entry;   // index into the greeting lists
    float pulse; // glow strength, 0 to 1
};

// The halo is blurred in this many strips of rows, one a frame while it is not yet shown.
enum { GLOW_GREETS_HALO_STRIPS = 16 };

class GlowGreets : public Template {
public:
    std::vector<Texture*> pictures;      // one per greeting, list order; owned
    std::vector<Texture*> masks;         // same length and order; owned
    std::vector<GlowColor> glowColors;   // same length and order; all (1, 1, 1, 1)
    ShaderProgram* blur = nullptr;       // the shared blur program
    // The halo of the greeting on show, blurred once when the greeting changes instead of in every
    // frame: a target at the masks' size holding BLUR_STORED_SHARE of the blur program's output.
    Fbo* glow = nullptr;
    int glowEntry = -1;                  // the entry `glow` holds or is being built for; -1 at first
    int glowStrips = 0;                  // how many of its GLOW_GREETS_HALO_STRIPS are blurred

    void init() override;
    void draw() override;
    // Viewport over the whole window, orthographic projection over the unit square.
    void resize(int width, int height) override;
};

// The entry and pulse at scene time t (beats since the scene's start), for `entries` greetings.
GlowGreetsChoice glowGreetsChoose(float t, int entries);
// The picture and mask paths of a name, written into buffers of `size` bytes (cut short, never
// overrun, if a name were too long).
void glowGreetsPaths(const char* name, char* picture, char* mask, int size);

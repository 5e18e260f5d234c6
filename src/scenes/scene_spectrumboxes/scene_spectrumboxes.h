// scene_spectrumboxes: a lit 3D waterfall of the music's spectrum, drawn into the shared
// framebuffer, which it clears first.
//
// Every 1/32 beat a new row is made: sixteen stacks of small cubes, one per frequency band, each
// as tall as the band's level (a grey cube at the foot, then cubes going from blue to white).
// Each row is compiled into one of 96 display lists used as a ring, so a frame replays 96 rows
// (3 beats of history) plus a grey floor in front of the newest, sliding away smoothly between
// rows while the camera sways. The light's brightness follows the loudness of the lowest bands
// against the loudest seen so far.
//
// Limits: a stack holds at most SPECTRUM_MAX_CUBES cubes; when more than 96 rows are due at once
// (the first frame of the window catches up on the whole song so far) only the last 96 are built,
// which gives the same ring. Nothing is reported here.
// The sway clock and the loudest level are process-wide: one waterfall per show.
#pragma once

#include "scenes/template.h" // Template

enum {
    SPECTRUM_BANDS = 16,     // stacks per row
    SPECTRUM_ROWS = 96,      // rows in the ring
    SPECTRUM_BINS = 1024,    // magnitudes read from the music
    SPECTRUM_FLOOR_ROWS = 14, // grey floor rows in front of the newest row
    SPECTRUM_MAX_CUBES = 100, // a level above 5 draws no more (real music stays near 2)
};

// Shared by every instance (there is one).
struct SpectrumBoxesState {
    float swayClock; // seconds of frame clock while drawn; starts at 0
    float loudest;   // loudest sum of the five lowest band levels; starts at 0.1, never falls
};

class SpectrumBoxes : public Template {
public:
    GLuint floorList = 0;      // a grey floor row of cubes
    GLuint rowLists = 0;       // first of SPECTRUM_ROWS consecutive list names
    int rowCubes[SPECTRUM_ROWS] = {}; // per list: the tallest stack, for the row's bounds
    float* heights = nullptr;  // SPECTRUM_ROWS x SPECTRUM_BANDS levels, row 0 the newest; owned
    float* scratch = nullptr;  // same size, for the shift; owned
    float spectrum[SPECTRUM_BINS] = {};
    int ringIndex = 0;         // which row list holds the newest row
    float rowClock = 0.0f;     // beats: song position of the newest row
    float now = 0.0f;          // beats: song position at the last update
    float lag = 0.0f;          // beats: now - rowClock

    void init() override;
    void draw() override;
    void rewind() override;
    void release() override;

    // Reads the spectrum and the clock and makes the rows that are due.
    void update();
    // Compiles the newest row (at ringIndex) from `spectrum` and stores its levels in heights row 0;
    // with sameAsList >= 0 the list only calls that ring list, which holds the same row.
    void buildRow(int sameAsList = -1);
};

// >> rules
// The sixteen band levels of a 1024-bin spectrum (bin 0, the constant component, is never used).
void spectrumBandLevels(const float* spectrum, float* levels);
// Bins [first, last] that band `band` sums (for checking the band table).
void spectrumBandBins(int band, int* first, int* last);
// Cubes in a stack for a level: one per 0.05 of height below the level (none at 0 or below),
// at most SPECTRUM_MAX_CUBES.
int spectrumStackCubes(float level);
// Colour of cube `index` of a stack (h = 0.05 x index): grey at the foot, then (h, 2h, 1) with
// alpha 0.5.
void spectrumCubeColour(int index, float* rgba);
// Rows an update makes when the newest row stands at rowClock and the song at now: one for every
// 1/32 beat while now - rowClock stays strictly above 1/32. Advances *rowClock by that many steps.
long spectrumRowsDue(float now, float* rowClock);
// The ring index after `rows` new rows: one down per row, wrapping from -1 to 95.
int spectrumRingAfter(int ringIndex, long rows);
// Light brightness r: the sum of the five lowest band levels over the loudest sum seen, which
// that sum raises.
float spectrumBrightness(const float* levels, float* loudest);
// The camera's eye at sway time a (seconds): (15 sin a - 5, 10 cos(2a/3) - 5, 40).
void spectrumCameraEye(float a, float* eye);

// The process-wide state, and a fresh start for tests and tools.
const SpectrumBoxesState& spectrumBoxesState();
void spectrumBoxesResetState();

// scene_spectrumboxes: the spectrum waterfall. See scene_spectrumboxes.h.
#include "scenes/scene_spectrumboxes/scene_spectrumboxes.h"

#include "platform/report.h"               // CHECK_GL
#include "util/fbo/fbo.h"                  // bindForDrawing
#include "util/music/music.h"              // getFFT, getTime
#include "util/objects3d/camera.h"         // multiplyMatrices
#include "util/objects3d/geomobject.h"     // unitCubeQuads, boxOutsideClipVolume
#include <GL/glu.h>                        // gluLookAt
#include <algorithm>
#include <math.h>
#include <stdlib.h>
#include <string.h>

// >> constants
static const float ROW_BEATS = 1.0f / 32.0f; // a new row every 1/32 beat
static const float SPACING = 2.2f;           // between cubes, stacks and rows (the cube is 2 wide)
static const float CUBE_STEP = 0.05f;        // height per cube in level units
static const float GREY[4] = {0.1f, 0.1f, 0.1f, 0.5f};
static const int LOUDNESS_BANDS = 5;         // bands summed for the light
static const float ORIGIN_X = -17.6f, ORIGIN_Y = -20.0f; // the rows' near left corner
static const float EYE_Z = 40.0f;
static const float LIGHT_POSITION[4] = {15.0f, 15.0f, 15.0f, 1.0f};
static const float SPOT_DIRECTION[3] = {-1.0f, -1.0f, -1.0f};
static const float SPOT_CUTOFF = 85.0f, QUADRATIC_ATTENUATION = 0.00045f;
static const int ROWS_PER_FLUSH = 32;

// >> state
static SpectrumBoxesState s_spectrum = {0.0f, 0.1f};

const SpectrumBoxesState& spectrumBoxesState() { return s_spectrum; }

void spectrumBoxesResetState() { s_spectrum = SpectrumBoxesState{0.0f, 0.1f}; }

// >> rules
// Upper bin of each band: 2^(2i/3), at most 1023, always at least one bin past the last band.
static int bandUpper(int band, int previousUpper)
{
    // i x 2 / 3 in that order keeps 2, 4, 6, ... exact, so 2^2 is 4 and not 3.9999.
    int upper = (int)pow(2.0, (double)band * 2.0 / 3.0);
    if (upper > SPECTRUM_BINS - 1) upper = SPECTRUM_BINS - 1;
    if (upper <= previousUpper) upper = previousUpper + 1;
    return upper;
}

void spectrumBandBins(int band, int* first, int* last)
{
    int c = 0;
    for (int i = 0; i <= band; i++) {
        int upper = bandUpper(i, c);
        *first = c + 1;
        *last = upper;
        c = upper;
    }
}

void spectrumBandLevels(const float* spectrum, float* levels)
{
    int c = 0;
    for (int i = 0; i < SPECTRUM_BANDS; i++) {
        int upper = bandUpper(i, c);
        int n = upper - c;
        float sum = 0.0f;
        for (int bin = c + 1; bin <= upper; bin++) sum += spectrum[bin];
        float level = 0.0f;
        // Magnitudes are never negative; a sum that is (or is not a number) gives a flat band.
        if (sum > 0.0f) level = sqrtf(sum / (float)((n + 1) / 8 + 1) / log10f((float)(n + 10)));
        levels[i] = level;
        c = upper;
    }
}

int spectrumStackCubes(float level)
{
    int count = 0;
    for (float h = 0.0f; h < level && count < SPECTRUM_MAX_CUBES; h += CUBE_STEP) count++;
    return count;
}

void spectrumCubeColour(int index, float* rgba)
{
    if (index == 0) {
        memcpy(rgba, GREY, sizeof GREY);
        return;
    }
    float h = 0.0f;
    for (int i = 0; i < index; i++) h += CUBE_STEP; // the same sums as the stack's loop
    rgba[0] = h, rgba[1] = 2.0f * h, rgba[2] = 1.0f, rgba[3] = 0.5f;
}

long spectrumRowsDue(float now, float* rowClock)
{
    double lag = (double)now - (double)*rowClock;
    if (!(lag > (double)ROW_BEATS)) return 0;
    // Steps of 1/32 until the lag is at most 1/32: ceil(lag x 32) - 1 of them. Counted in double
    // so that a clock far ahead of the row clock never loops on a float that cannot move.
    long rows = (long)ceil(lag * 32.0) - 1;
    *rowClock = (float)((double)*rowClock + (double)rows * (double)ROW_BEATS);
    // The float subtraction decides, as each step would have: settle any rounding at the edge.
    while (now - *rowClock > ROW_BEATS && *rowClock + ROW_BEATS != *rowClock) {
        *rowClock += ROW_BEATS;
        rows++;
    }
    return rows;
}

int spectrumRingAfter(int ringIndex, long rows)
{
    long index = ((long)ringIndex - rows) % SPECTRUM_ROWS;
    if (index < 0) index += SPECTRUM_ROWS;
    return (int)index;
}

float spectrumBrightness(const float* levels, float* loudest)
{
    float d = 0.0f;
    for (int i = 0; i < LOUDNESS_BANDS; i++) d += levels[i];
    if (d > *loudest) *loudest = d;
    return d / *loudest;
}

void spectrumCameraEye(float a, float* eye)
{
    eye[0] = 15.0f * sinf(a) - 5.0f;
    eye[1] = 10.0f * cosf(2.0f * a / 3.0f) - 5.0f;
    eye[2] = EYE_Z;
}

// >> scene
void SpectrumBoxes::init()
{
    lighting = true;
    texture2D = false;
    blend = false;
    depthTest = true;

    heights = (float*)calloc(SPECTRUM_ROWS * SPECTRUM_BANDS, sizeof(float));
    scratch = (float*)calloc(SPECTRUM_ROWS * SPECTRUM_BANDS, sizeof(float));
    if (!heights || !scratch) FATAL("Could not allocate memory for the spectrum rows");

    // A grey floor row, one batch like the spectrum rows.
    floorList = glGenLists(1);
    glNewList(floorList, GL_COMPILE);
    glColor4fv(GREY);
    glBegin(GL_QUADS);
    float x = 0.0f;
    for (int i = 0; i < SPECTRUM_BANDS; i++) {
        unitCubeQuads(x, 0.0f, 0.0f);
        x += SPACING;
    }
    glEnd();
    glEndList();
    rowLists = glGenLists(SPECTRUM_ROWS);
    ringIndex = 0;
    rowClock = 0.0f;
    CHECK_GL();

    update();
}

void SpectrumBoxes::release()
{
    free(heights);
    free(scratch);
    heights = scratch = nullptr;
}

void SpectrumBoxes::buildRow(int sameAsList)
{
    float levels[SPECTRUM_BANDS];
    spectrumBandLevels(spectrum, levels);
    int tallest = 0;
    for (int i = 0; i < SPECTRUM_BANDS; i++) {
        heights[i] = levels[i];
        tallest = std::max(tallest, spectrumStackCubes(levels[i]));
    }
    rowCubes[ringIndex] = tallest;
    if (sameAsList >= 0) {
        glNewList(rowLists + ringIndex, GL_COMPILE);
        glCallList(rowLists + sameAsList);
        glEndList();
        return;
    }
    // One batch of quads for the whole row: a draw call per cube costs more than the cube.
    glNewList(rowLists + ringIndex, GL_COMPILE);
    glBegin(GL_QUADS);
    float x = 0.0f;
    for (int i = 0; i < SPECTRUM_BANDS; i++) {
        int cubes = spectrumStackCubes(levels[i]);
        float y = 0.0f;
        for (int k = 0; k < cubes; k++) {
            float rgba[4];
            spectrumCubeColour(k, rgba);
            glColor4fv(rgba);
            unitCubeQuads(x, y, 0.0f);
            y += SPACING;
        }
        x += SPACING;
    }
    glEnd();
    glEndList();
}

void SpectrumBoxes::update()
{
    music->getFFT(spectrum);
    now = music->getTime();
    long rows = spectrumRowsDue(now, &rowClock);
    lag = now - rowClock;
    // All rows of one update are the same row; beyond a full ring the older ones would only be
    // pushed out again, so only the last SPECTRUM_ROWS are built.
    long built = rows < (long)SPECTRUM_ROWS ? rows : (long)SPECTRUM_ROWS;
    ringIndex = spectrumRingAfter(ringIndex, rows - built);
    const size_t rowBytes = SPECTRUM_BANDS * sizeof(float);
    // The rows of one update are alike: the newest holds the cubes and the older ones call it.
    // They are overwritten before it is (the ring replaces its oldest row first).
    const int newest = spectrumRingAfter(ringIndex, built);
    for (long r = 0; r < built; r++) {
        memcpy(scratch + SPECTRUM_BANDS, heights, rowBytes * (SPECTRUM_ROWS - 1));
        memcpy(heights + SPECTRUM_BANDS, scratch + SPECTRUM_BANDS, rowBytes * (SPECTRUM_ROWS - 1));
        ringIndex = spectrumRingAfter(ringIndex, 1);
        buildRow(ringIndex == newest ? -1 : newest);
    }
    CHECK_GL();
}

void SpectrumBoxes::draw()
{
    update();

    // Camera.
    s_spectrum.swayClock += frameClock.frameStep;
    float eye[3];
    spectrumCameraEye(s_spectrum.swayClock, eye);
    gluLookAt(eye[0], eye[1], eye[2], 0.0, -10.0, 0.0, 0.0, 1.0, 0.0);

    // Light: brightness from the low bands, placed in the camera's frame.
    float levels[SPECTRUM_BANDS];
    spectrumBandLevels(spectrum, levels);
    float r = spectrumBrightness(levels, &s_spectrum.loudest);
    const float ambient[4] = {0.5f * r, 0.5f * r, 0.5f * r, 1.0f};
    const float diffuse[4] = {r, r, r, 1.0f};
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT0, GL_SPECULAR, diffuse);
    glLightfv(GL_LIGHT0, GL_POSITION, LIGHT_POSITION);
    glLightfv(GL_LIGHT0, GL_SPOT_DIRECTION, SPOT_DIRECTION);
    glLightf(GL_LIGHT0, GL_SPOT_CUTOFF, SPOT_CUTOFF);
    glLightf(GL_LIGHT0, GL_CONSTANT_ATTENUATION, 0.0f);
    glLightf(GL_LIGHT0, GL_LINEAR_ATTENUATION, 0.0f);
    glLightf(GL_LIGHT0, GL_QUADRATIC_ATTENUATION, QUADRATIC_ATTENUATION);

    fbo->bindForDrawing(true);
    // The cubes are closed, so their back faces are always hidden behind their front ones: leave
    // them out rather than rasterise them.
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glFrontFace(GL_CCW);
    // Rows slide one spacing away per 1/32 beat.
    glTranslatef(ORIGIN_X, ORIGIN_Y, 0.0f);
    glTranslatef(0.0f, 0.0f, -SPACING * 32.0f * lag);
    // Rows wholly outside the view are not sent (their lists set no state but the current colour,
    // which every draw sets for itself).
    float projection[16], modelView[16], clipFromRows[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
    multiplyMatrices(projection, modelView, clipFromRows);
    // Nearest rows first: the depth test then turns away the hidden sides of the rows behind them
    // before they are shaded. The rows never overlap in depth, so the order changes no pixel.
    int sent = 0;
    for (int n = -SPECTRUM_FLOOR_ROWS; n < SPECTRUM_ROWS; n++) {
        const int list = (ringIndex + n) % SPECTRUM_ROWS;
        const int cubes = n >= 0 ? std::max(rowCubes[list], 1) : 1;
        const float z = -SPACING * (float)n;
        const float boxMin[3] = {-1.0f, -1.0f, z - 1.0f};
        const float boxMax[3] = {SPACING * (SPECTRUM_BANDS - 1) + 1.0f, SPACING * (cubes - 1) + 1.0f, z + 1.0f};
        if (boxOutsideClipVolume(clipFromRows, boxMin, boxMax)) continue;
        glPushMatrix();
        glTranslatef(0.0f, 0.0f, z);
        if (n >= 0) glCallList(rowLists + list);
        else glCallList(floorList);
        glPopMatrix();
        // A software rasteriser starts on the rows sent so far while the next are sent.
        if (++sent % ROWS_PER_FLUSH == 0) glFlush();
    }
    glDisable(GL_CULL_FACE);
    glPopAttrib();
    fboBindScreen();
    CHECK_GL();
}

// The first frame in the window catches up on more than a ring of rows, which rebuilds every list.
void SpectrumBoxes::rewind()
{
    spectrumBoxesResetState();
    memset(heights, 0, SPECTRUM_ROWS * SPECTRUM_BANDS * sizeof(float));
    memset(spectrum, 0, sizeof spectrum);
    ringIndex = 0;
    rowClock = 0.0f;
    now = 0.0f;
    lag = 0.0f;
}

// scene_oscilloscope: a green line trace of the waveform being heard, drawn across the shared
// framebuffer, which it clears first.
//
// Each frame reads 1024 samples (512 stereo frames) from the music and draws one line strip of
// 512 points: x = 2k (0 to 1022 of a 0-1024 wide orthographic view), y = 0.75 x (left + right)
// in a view from -1 to 1, so a full-scale mono signal reaches 1.5 and is cut off at the edges.
// Nothing is loaded; nothing is reported here (a bad sample buffer is the music's fatal report).
#pragma once

#include "scenes/template.h" // Template

enum {
    OSCILLOSCOPE_SAMPLES = 1024, // floats read per frame, left and right interleaved
    OSCILLOSCOPE_POINTS = 512,   // points of the line strip: one per stereo frame
};

class Oscilloscope : public Template {
public:
    float wave[OSCILLOSCOPE_SAMPLES] = {};      // the current waveform
    float trace[OSCILLOSCOPE_POINTS * 2] = {};  // x, y of each point of the strip

    void init() override;
    void draw() override;
    void resize(int width, int height) override;
};

// The strip's points from 512 interleaved stereo frames: point k at (2k, 0.75 x (left_k + right_k)).
void oscilloscopeTrace(const float* wave, float* trace);

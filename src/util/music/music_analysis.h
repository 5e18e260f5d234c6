// music_analysis: the arithmetic of Music's loudness values, apart from the audio reads, so that
// tests can feed it known sample blocks. Music::getSpectrumLevel, getSampleLevel and
// getSmoothedLevel read the back end into stack buffers of these sizes and call these.
#pragma once

enum {
    MUSIC_SPECTRUM_LEVEL_BINS = 256,  // magnitudes of a 512-point spectrum
    MUSIC_FFT_BINS = 1024,            // getFFT: magnitudes of a 2048-point spectrum
    MUSIC_WAVE_SAMPLES = 1024,        // getWaveData: float samples, channels interleaved
    MUSIC_SAMPLE_LEVEL_SAMPLES = 4,   // getSampleLevel
    MUSIC_SMOOTHED_LEVEL_SAMPLES = 128, // getSmoothedLevel
};

// Sum of the bins relative to *runningMax; a larger sum becomes the new maximum and gives 1.0.
// The maximum never decays.
float spectrumLevel(const float bins[MUSIC_SPECTRUM_LEVEL_BINS], float* runningMax);
// Signed mean of four samples.
float sampleLevel(const float samples[MUSIC_SAMPLE_LEVEL_SAMPLES]);
// y0 = x0, yi = 0.9 y(i-1) + 0.1 xi; returns the mean of y0 .. y127.
float smoothedLevel(const float samples[MUSIC_SMOOTHED_LEVEL_SAMPLES]);

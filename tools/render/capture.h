// capture: the show as video material, rendered off-screen in virtual time (halvoren-capture).
//
// Frames go to ffmpeg through a pipe as raw RGB, in segments of about ten seconds that each become
// a video file of their own; at the end the segments are joined without re-encoding and the audio
// is encoded once over the whole span. The delivery settings follow what the big video sites ask
// for: H.264 High profile in yuv420p, BT.709 matrix into limited range and tagged so, closed GOPs of
// half a second, +faststart, AAC-LC 48 kHz stereo at 384 kb/s (resampled once with soxr), CRF 17.
// `lossless` writes FFV1 (RGB) with FLAC in Matroska instead; `png` writes numbered PNG frames and
// a WAV and needs no ffmpeg.
//
// Resumable: every file appears under its final name only when it is whole (written under a
// temporary name, then renamed), and `resume` continues after the last whole segment or frame,
// simulating the frames before it without writing them, so its frames equal those of an
// uninterrupted capture. The folder's "capture.settings" says what the work in it was made with;
// a resume with other settings is refused.
#pragma once

#include "offline.h"
#include <string>

enum {
    CAPTURE_DEFAULT_CRF = 17,
    CAPTURE_MAX_CRF = 51,
    CAPTURE_INTERRUPTED = 130, // exit code after Ctrl-C or a termination signal (128 + SIGINT)
};

struct CaptureOptions {
    OfflineOptions offline;          // picture size, samples, data; always rendered off-screen
    std::string folder = "capture";  // where everything is written
    FrameRate rate;                  // 60 frames per second
    double fromBeat = 0.0;           // start of the span
    double toBeat = -1.0;            // end of the span; below 0: the end of the song
    int crf = CAPTURE_DEFAULT_CRF;   // H.264 constant rate factor, 0 to 51
    bool png = false;                // numbered PNG frames and a WAV instead of a video
    bool lossless = false;           // FFV1 + FLAC in Matroska instead of H.264 + AAC in MP4
    bool roundToEven = false;        // an odd width or height is rounded up instead of refused
    bool resume = false;             // continue the capture in the folder
    double segmentSeconds = 10.0;    // length of a resumable piece of video
};

// Reads the command line. True when it is good; else false with the reason in *error.
bool captureParseArguments(int argc, char** argv, CaptureOptions* options, std::string* error);

// Runs a capture. Returns the exit code: 0 done, 1 failed (the reason on standard error),
// CAPTURE_INTERRUPTED after a signal. An interrupted or failed capture leaves only whole files.
int captureRun(const CaptureOptions& options);

// Frames of one video segment: about `seconds` long, whole GOPs of half a second, and a length in
// whole microseconds so the joined segments' timestamps add up exactly.
int64_t captureSegmentFrames(FrameRate rate, double seconds);
// Frames in one GOP: half a second, at least 1.
int64_t captureGopFrames(FrameRate rate);

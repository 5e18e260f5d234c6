// offline: the show rendered in virtual time, for halvoren-render, halvoren-capture and the
// visual regression tests.
//
// Same code path as the show: the Demo, its timeline and scenes; only the clocks and the audio
// output are virtual, and message boxes go to standard error (questions answered OK; a fatal
// report still exits with code 1). A run is deterministic: the same options and frame times give
// the same pixels. Needs an X display (Xvfb) for the OpenGL window.
//
// Off-screen: the show draws into a framebuffer of the picture's size (up to 7680 x 4320, any
// screen), multisampled when asked and resolved before it is read; the window stays small. Every
// scene reaches that framebuffer through fboBindScreen, so the pictures are the window's.
#pragma once

#include "image.h"
#include <stdint.h>
#include <string>
#include <vector>

class Demo;

enum {
    OFFLINE_MAX_WIDTH = 7680, // 8K UHD
    OFFLINE_MAX_HEIGHT = 4320,
    OFFLINE_MIN_SIDE = 16,
};

struct OfflineOptions {
    int width = 1280;      // picture size in pixels (and the window's, unless off-screen)
    int height = 720;
    int samples = 0;       // multisampling; the picture is resolved before it is read
    std::string archive;   // the packed archive to read ("data.hlv" when both are empty)
    std::string dataDir;   // or: loose files, names resolved inside this folder
    bool record = false;   // with dataDir: record every file the show opens (dataEntries())
    bool offscreen = false; // draw into a framebuffer of width x height instead of the window
    // Warm the driver up at load as the player does (demoWarmUp). Off for the pictures: the
    // warm-up's rewind draws other random numbers for the second particle burst than loading did.
    bool warmUp = false;
    // Tests only: drawn over every finished frame before it is read (the show never has one).
    void (*overlay)(Demo* demo, int width, int height) = nullptr;
};

// Frames per second as a ratio: 60/1, or 60000/1001 for NTSC's 59.94.
struct FrameRate {
    int64_t num = 60;
    int64_t den = 1;
};
enum { FRAME_RATE_MAX = 240, FRAME_RATE_MAX_TERM = 1000000 };

// A whole argument as a number, or false.
bool offlineParseNumber(const char* text, double* value);
// A frame rate from 1 to 240 as a whole or decimal number ("60", "29.5") or a ratio ("60000/1001"),
// reduced; false when it is none of these.
bool offlineParseRate(const char* text, FrameRate* rate);
// Show time of frame `index` of a run that starts at `fromSeconds`.
double frameSeconds(double fromSeconds, FrameRate rate, int64_t index);
// Takes one of the options both tools share (--width, --height, --samples, --archive, --data):
// 1 when taken, 0 when `option` is none of them, -1 with *error set when its value is bad.
int offlineParseOption(const char* option, const char* value, OfflineOptions* options, const char** error);

struct OfflineSession {
    Demo* demo = nullptr;
    OfflineOptions options;
    double lastSeconds = -1.0; // show time of the last rendered frame
    long framesRendered = 0;   // frames simulated since offlineOpen
};

// Opens the window (and the off-screen framebuffer when asked), loads the data and builds the Demo,
// started at show time 0. False (with the reason on standard error) when the window or the
// framebuffer cannot be made; asset problems are fatal reports.
bool offlineOpen(OfflineSession* session, const OfflineOptions& options);

// The asset manifest: every name the show opened while it was built (a session opened with
// `record`), in load order, one per line after a comment header.
std::string offlineManifest();

// Show time of a beat (the clock's tempo and offset), clamped at 0.
double offlineBeatToSeconds(const OfflineSession& session, double beat);
double offlineSecondsToBeat(const OfflineSession& session, double seconds);
// Length of the song in seconds.
double offlineSongSeconds(const OfflineSession& session);

// Show time of a beat for a picture: past the end of the song, the time of its last frame at
// `fps` (and *pastEnd set).
double offlinePictureSeconds(const OfflineSession& session, double beat, double fps, bool* pastEnd);

// Renders the frame at `seconds` of show time (later than the previous frame). With `picture`,
// the finished frame is read back into it (top row first) before the buffers are swapped.
void offlineRenderFrame(OfflineSession* session, double seconds, Image* picture);

// Renders frames every 1/fps seconds from `fromSeconds` and, in between, exactly at each of the
// ascending `captureSeconds`, whose pictures are returned in order. `onPicture`, when given, is
// called with each picture instead of keeping them (the result is then empty).
std::vector<Image> offlineRenderTimes(OfflineSession* session, double fromSeconds, double fps,
                                      const std::vector<double>& captureSeconds,
                                      void (*onPicture)(size_t index, const Image& picture, void* user) = nullptr,
                                      void* user = nullptr);

// What offlineStreamFrames does with the frames it renders.
struct OfflineStream {
    int64_t count = 0;     // frames 0 .. count - 1, frame k at fromSeconds + k / rate
    int64_t firstKept = 0; // earlier frames are rendered (the show's state needs them) but not read
    // Each kept frame, in order: RGBA rows of width x 4 bytes, bottom row first. False stops.
    bool (*onFrame)(int64_t index, const uint8_t* rgba, void* user) = nullptr;
    // Every frame once drawn, kept or not (progress, interruption). False stops.
    bool (*onRendered)(int64_t index, void* user) = nullptr;
    void* user = nullptr;
};
// Renders the frames and hands over the kept ones. The reads go through READBACK_DEPTH pixel
// buffers where the driver has them, so a frame is read while the next ones render. True when
// every frame was handed over; false when a callback stopped it or a buffer could not be read.
enum { READBACK_DEPTH = 3 };
bool offlineStreamFrames(OfflineSession* session, double fromSeconds, FrameRate rate, const OfflineStream& stream);

// A timeline window: a distinct set of active rows (bit i: TIMELINE row i), with the longest
// stretch of the song that shows exactly that set and two beats inside it, at a third and two
// thirds of the stretch (rounded down to a quarter beat). Sets that last no time (a row ending on
// the beat another starts) are left out.
struct ShowWindow {
    uint32_t mask;
    double start, end; // beats
    double beats[2];
};
// The windows of a song that ends at `songEndBeat`, in order of first appearance.
std::vector<ShowWindow> showWindows(double songEndBeat);

// Beats for a contact sheet: the two beats of every timeline window and one every 32 beats,
// ascending, within the song.
std::vector<double> contactSheetBeats(const OfflineSession& session);
// Tiles the pictures into one sheet with a beat label under each thumbnail.
Image makeContactSheet(const std::vector<Image>& pictures, const std::vector<double>& beats, int columns,
                       int thumbWidth);

// offline: the show rendered in virtual time, for halvoren-render, halvoren-capture and the
// visual regression tests.
//
// Same code path as the show: the Demo, its timeline and scenes; only the clocks and the audio
// output are virtual, and message boxes go to standard error (questions answered OK; a fatal
// report still exits with code 1). A run is deterministic: the same options and frame times give
// the same pixels. Needs an X display (Xvfb) for the OpenGL window.
#pragma once

#include "image.h"
#include <stdint.h>
#include <string>
#include <vector>

class Demo;

struct OfflineOptions {
    int width = 1280;    // window and picture size in pixels
    int height = 720;
    int samples = 0;     // multisampling; the picture is resolved before it is read
    std::string archive; // the packed archive to read ("data.hlv" when both are empty)
    std::string dataDir; // or: loose files, names resolved inside this folder
    bool record = false; // with dataDir: record every file the show opens (dataEntries())
};

// A whole argument as a number, or false.
bool offlineParseNumber(const char* text, double* value);
// Takes one of the options both tools share (--width, --height, --samples, --archive, --data):
// 1 when taken, 0 when `option` is none of them, -1 with *error set when its value is bad.
int offlineParseOption(const char* option, const char* value, OfflineOptions* options, const char** error);

struct OfflineSession {
    Demo* demo = nullptr;
    OfflineOptions options;
    double lastSeconds = -1.0; // show time of the last rendered frame
    long framesRendered = 0;   // frames simulated since offlineOpen
};

// Opens the window, loads the data and builds the Demo, started at show time 0. False (with the
// reason on standard error) when the window cannot be opened; asset problems are fatal reports.
bool offlineOpen(OfflineSession* session, const OfflineOptions& options);

// The asset manifest: every name the show opened while it was built (a session opened with
// `record`), in load order, one per line after a comment header.
std::string offlineManifest();

// Show time of a beat (the clock's tempo and offset), clamped at 0.
double offlineBeatToSeconds(const OfflineSession& session, double beat);
double offlineSecondsToBeat(const OfflineSession& session, double seconds);
// Length of the song in seconds.
double offlineSongSeconds(const OfflineSession& session);
// The asset manifest: every name the show opened while it was built (a session opened with
// `record`), in load order, one per line after a comment header.
std::string offlineManifest();

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

// framestats: the frame-time report of --stats: how long frames take in each timeline window, how
// much GPU time each scene costs, how much memory the show holds against what it must hold, and
// how long it takes to start.
//
// A timeline window is a distinct set of active rows (a bit mask over TIMELINE); frames are
// grouped by the set the driver actually drew. A frame's time is the wall time from the end of
// the previous frame to the end of its swap (the first frame: from its start). A stutter is a
// frame longer than twice the median of the 19 frames around it (itself and nine each side, fewer
// at the ends). GPU time per scene comes from GL_ARB_timer_query, read back a few frames late so
// the queries never stall the pipeline; without the extension that part is left out.
//
// Off unless frameStatsEnable is called: then the driver's hooks record, and frameStatsPrint
// writes the report. Recording allocates only when a run outgrows FRAME_STATS_RESERVED frames.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <string>
#include <vector>

enum {
    FRAME_STATS_RESERVED = 1 << 16, // frames recorded before the record grows (18 min at 60 Hz)
    FRAME_STATS_MAX_ROWS = 32,      // timeline rows a window mask can name
    STUTTER_NEIGHBOURS = 9,         // frames each side of a frame in the median it is held against
};

// >> figures (pure, tested without GL)
// The nearest-rank percentile (0 < p <= 100) of the values; 0 for none. Sorts `values`.
float percentileOf(std::vector<float>* values, float p);
// Frames longer than twice the median of the frames around them (see the banner).
int countStutters(const float* frameMs, int count);
// The same test for one frame: true when frameMs[index] is a stutter.
bool isStutter(const float* frameMs, int count, int index);

struct WindowFigures {
    uint32_t mask;                       // the active rows
    int frames;
    float medianMs, p95Ms, p99Ms, maxMs;
    int stutters;
};
// Groups a recorded run by window, in order of first appearance; stutters are judged against the
// whole run's neighbours.
std::vector<WindowFigures> windowFigures(const std::vector<float>& frameMs, const std::vector<uint32_t>& masks);

// >> recording
// Starts recording: call first thing in main, since start-up is timed from the process's start.
// The timer queries are made at the first frame, when the GL context exists.
void frameStatsEnable();
// Wall time the start-up figure must not count (the settings dialog, the full-screen pause).
void frameStatsExcludeFromStartup(uint64_t nanoseconds);
// Wall time spent reading and unpacking the archive.
void frameStatsArchiveTime(uint64_t nanoseconds);
// The driver's hooks: around each scene it draws, and after the swap with the rows it drew.
void frameStatsFrameBegin();
void frameStatsSceneBegin(int row);
void frameStatsSceneEnd(int row);
// Around a row's underlay drawn inside another row's draw, or alone between draws: its GPU time
// counts for `row`, not for the row that draws it.
void frameStatsUnderlayBegin(int row);
void frameStatsUnderlayEnd();
void frameStatsFrameEnd(uint32_t activeRows);

// >> report
// The names of the rows in `mask` joined by " + ".
std::string windowNameOf(uint32_t mask, const char* const* rowNames, int rowCount);
// Writes the report: windows named by joining the names of their rows with " + ", and the memory
// floor (below) next to the peak.
void frameStatsPrint(FILE* out, const char* const* rowNames, int rowCount, int64_t memoryFloor);
// The memory the show must hold: uploaded texture levels, renderbuffers, the window's buffers
// times its samples and the decoded song, in bytes.
int64_t memoryFloorBytes(int windowWidth, int windowHeight, int samples, int64_t songBytes);

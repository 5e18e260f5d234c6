// framestats: the frame-time report of --stats. See framestats.h.
#include "scenes/framestats.h"

#include "platform/platform.h"     // clocks, peak and resident memory
#include "util/fbo/fbo.h"          // fboRenderbufferBytesHeld
#include "util/texture/texture.h"  // textureBytesHeld
#include <GL/glew.h>               // timer queries
#include <algorithm>
#include <string.h>
#include <string>
#include <time.h>

enum {
    QUERY_FRAMES = 4,              // frames of timer queries in flight before one is read back
    WINDOW_BUFFERS = 3,            // front and back colour, depth and stencil
    WINDOW_BYTES_PER_PIXEL = 4,
    STUTTER_SPAN = 2 * STUTTER_NEIGHBOURS + 1,
};
static const double MS_PER_NS = 1e-6;
static const double MB = 1024.0 * 1024.0;

static struct {
    bool enabled;
    uint64_t processStart;      // wall clock at the process's start
    uint64_t excluded;          // dialog and pause
    uint64_t archive;
    uint64_t firstFrameEnd;     // 0 until the first frame is done
    uint64_t frameStart;        // of the frame in progress
    uint64_t lastFrameEnd;
    std::vector<float> frameMs;
    std::vector<uint32_t> masks;
    // GPU time per row: queries in a ring of frames, sums read back QUERY_FRAMES frames late.
    bool timers;
    bool queriesMade;
    GLuint queries[QUERY_FRAMES][FRAME_STATS_MAX_ROWS];
    uint32_t pending[QUERY_FRAMES]; // rows with a query issued in that slot, not yet read
    // A scene's underlay drawn inside another scene's draw (or alone between scenes) is timed
    // apart, for its own row, and the rest of the other scene's draw by a second query.
    GLuint splitQueries[QUERY_FRAMES][2];
    int splitRows[QUERY_FRAMES][2];
    uint8_t splitPending[QUERY_FRAMES]; // bit i: splitQueries[slot][i] issued, not yet read
    int drawingRow;                     // the row whose query is running, or -1
    bool splitting;                     // between frameStatsUnderlayBegin and End
    int slot;
    uint64_t gpuNs[FRAME_STATS_MAX_ROWS];
    int gpuFrames[FRAME_STATS_MAX_ROWS];
} s_stats;

// >> figures
float percentileOf(std::vector<float>* values, float p)
{
    if (values->empty()) return 0.0f;
    std::sort(values->begin(), values->end());
    size_t n = values->size();
    size_t rank = (size_t)((double)p / 100.0 * (double)n + 0.999999);
    if (rank < 1) rank = 1;
    if (rank > n) rank = n;
    return (*values)[rank - 1];
}

bool isStutter(const float* frameMs, int count, int index)
{
    int first = std::max(0, index - STUTTER_NEIGHBOURS);
    int last = std::min(count - 1, index + STUTTER_NEIGHBOURS);
    float around[STUTTER_SPAN];
    int n = 0;
    for (int i = first; i <= last; i++) around[n++] = frameMs[i];
    std::nth_element(around, around + n / 2, around + n);
    return frameMs[index] > 2.0f * around[n / 2];
}

int countStutters(const float* frameMs, int count)
{
    int stutters = 0;
    for (int i = 0; i < count; i++) stutters += isStutter(frameMs, count, i) ? 1 : 0;
    return stutters;
}

std::vector<WindowFigures> windowFigures(const std::vector<float>& frameMs, const std::vector<uint32_t>& masks)
{
    std::vector<WindowFigures> windows;
    std::vector<std::vector<float>> times;
    int count = (int)std::min(frameMs.size(), masks.size());
    for (int i = 0; i < count; i++) {
        size_t w = 0;
        while (w < windows.size() && windows[w].mask != masks[i]) w++;
        if (w == windows.size()) {
            windows.push_back(WindowFigures{masks[i], 0, 0, 0, 0, 0, 0});
            times.emplace_back();
        }
        windows[w].frames++;
        times[w].push_back(frameMs[i]);
        if (isStutter(frameMs.data(), count, i)) windows[w].stutters++;
    }
    for (size_t w = 0; w < windows.size(); w++) {
        windows[w].medianMs = percentileOf(&times[w], 50);
        windows[w].p95Ms = percentileOf(&times[w], 95);
        windows[w].p99Ms = percentileOf(&times[w], 99);
        windows[w].maxMs = times[w].back();
    }
    return windows;
}

// >> recording
void frameStatsEnable()
{
    uint64_t now = platformWallNanoseconds();
    uint64_t age = platformProcessAgeNs();
    s_stats.enabled = true;
    s_stats.processStart = now > age ? now - age : 0;
    s_stats.frameMs.reserve(FRAME_STATS_RESERVED);
    s_stats.masks.reserve(FRAME_STATS_RESERVED);
}

void frameStatsExcludeFromStartup(uint64_t nanoseconds) { s_stats.excluded += nanoseconds; }

void frameStatsArchiveTime(uint64_t nanoseconds) { s_stats.archive += nanoseconds; }

// Adds the GPU times of the queries in `slot` (blocking until they are done) and frees the slot.
static void readQueries(int slot)
{
    for (int row = 0; row < FRAME_STATS_MAX_ROWS; row++) {
        if (!(s_stats.pending[slot] & (1u << row))) continue;
        GLuint64 ns = 0;
        glGetQueryObjectui64v(s_stats.queries[slot][row], GL_QUERY_RESULT, &ns);
        s_stats.gpuNs[row] += ns;
        s_stats.gpuFrames[row]++;
    }
    s_stats.pending[slot] = 0;
    for (int i = 0; i < 2; i++) {
        if (!(s_stats.splitPending[slot] & (1u << i))) continue;
        GLuint64 ns = 0;
        glGetQueryObjectui64v(s_stats.splitQueries[slot][i], GL_QUERY_RESULT, &ns);
        s_stats.gpuNs[s_stats.splitRows[slot][i]] += ns;
    }
    s_stats.splitPending[slot] = 0;
}

void frameStatsFrameBegin()
{
    if (!s_stats.enabled) return;
    s_stats.frameStart = platformWallNanoseconds();
    if (!s_stats.queriesMade) {
        s_stats.queriesMade = true;
        s_stats.timers = GLEW_ARB_timer_query != 0;
        if (s_stats.timers) glGenQueries(QUERY_FRAMES * FRAME_STATS_MAX_ROWS, &s_stats.queries[0][0]);
        if (s_stats.timers) glGenQueries(QUERY_FRAMES * 2, &s_stats.splitQueries[0][0]);
    }
    s_stats.drawingRow = -1;
    if (s_stats.timers) readQueries(s_stats.slot);
}

void frameStatsSceneBegin(int row)
{
    if (!s_stats.timers || row < 0 || row >= FRAME_STATS_MAX_ROWS) return;
    glBeginQuery(GL_TIME_ELAPSED, s_stats.queries[s_stats.slot][row]);
    s_stats.drawingRow = row;
}

void frameStatsSceneEnd(int row)
{
    if (!s_stats.timers || row < 0 || row >= FRAME_STATS_MAX_ROWS) return;
    glEndQuery(GL_TIME_ELAPSED);
    s_stats.pending[s_stats.slot] |= 1u << row;
    s_stats.drawingRow = -1;
}

void frameStatsUnderlayBegin(int row)
{
    const int slot = s_stats.slot;
    // Queries do not nest: the running one stops here and its row's time goes on after End.
    // One underlay a frame is told apart; a second one counts with the scene that draws it.
    if (!s_stats.timers || row < 0 || row >= FRAME_STATS_MAX_ROWS || s_stats.splitPending[slot]) return;
    if (s_stats.drawingRow >= 0) glEndQuery(GL_TIME_ELAPSED);
    glBeginQuery(GL_TIME_ELAPSED, s_stats.splitQueries[slot][0]);
    s_stats.splitRows[slot][0] = row;
    s_stats.splitPending[slot] = 1;
    s_stats.splitting = true;
}

void frameStatsUnderlayEnd()
{
    if (!s_stats.splitting) return;
    const int slot = s_stats.slot;
    s_stats.splitting = false;
    glEndQuery(GL_TIME_ELAPSED);
    if (s_stats.drawingRow < 0) return;
    s_stats.pending[slot] |= 1u << s_stats.drawingRow;
    glBeginQuery(GL_TIME_ELAPSED, s_stats.splitQueries[slot][1]);
    s_stats.splitRows[slot][1] = s_stats.drawingRow;
    s_stats.splitPending[slot] |= 2;
}

void frameStatsFrameEnd(uint32_t activeRows)
{
    if (!s_stats.enabled) return;
    uint64_t now = platformWallNanoseconds();
    uint64_t from = s_stats.lastFrameEnd ? s_stats.lastFrameEnd : s_stats.frameStart;
    if (!s_stats.firstFrameEnd) s_stats.firstFrameEnd = now;
    s_stats.lastFrameEnd = now;
    s_stats.frameMs.push_back((float)((double)(now - from) * MS_PER_NS));
    s_stats.masks.push_back(activeRows);
    s_stats.slot = (s_stats.slot + 1) % QUERY_FRAMES;
}

// >> report
int64_t memoryFloorBytes(int windowWidth, int windowHeight, int samples, int64_t songBytes)
{
    int64_t window = (int64_t)windowWidth * windowHeight * WINDOW_BUFFERS * WINDOW_BYTES_PER_PIXEL;
    if (samples > 1) window *= samples;
    return textureBytesHeld() + fboRenderbufferBytesHeld() + window + songBytes;
}

std::string windowNameOf(uint32_t mask, const char* const* rowNames, int rowCount)
{
    std::string name;
    for (int row = 0; row < rowCount && row < FRAME_STATS_MAX_ROWS; row++) {
        if (!(mask & (1u << row))) continue;
        if (!name.empty()) name += " + ";
        name += rowNames[row];
    }
    return name.empty() ? "(no scene)" : name;
}

void frameStatsPrint(FILE* out, const char* const* rowNames, int rowCount, int64_t memoryFloor)
{
    if (!s_stats.enabled) return;
    for (int slot = 0; slot < QUERY_FRAMES && s_stats.timers; slot++) readQueries(slot);

    fprintf(out, "Frame times in ms, per timeline window:\n");
    fprintf(out, "  %-48s %7s %8s %8s %8s %8s %8s\n", "window", "frames", "median", "p95", "p99", "max", "stutters");
    for (const WindowFigures& w : windowFigures(s_stats.frameMs, s_stats.masks))
        fprintf(out, "  %-48s %7d %8.1f %8.1f %8.1f %8.1f %8d\n", windowNameOf(w.mask, rowNames, rowCount).c_str(),
                w.frames, w.medianMs, w.p95Ms, w.p99Ms, w.maxMs, w.stutters);
    std::vector<float> all = s_stats.frameMs;
    float median = percentileOf(&all, 50), p95 = percentileOf(&all, 95), p99 = percentileOf(&all, 99);
    fprintf(out, "  %-48s %7d %8.1f %8.1f %8.1f %8.1f %8d\n", "whole show", (int)all.size(), median, p95, p99,
            all.empty() ? 0.0f : all.back(), countStutters(s_stats.frameMs.data(), (int)s_stats.frameMs.size()));

    if (s_stats.timers) {
        uint64_t total = 0;
        for (int row = 0; row < rowCount && row < FRAME_STATS_MAX_ROWS; row++) total += s_stats.gpuNs[row];
        fprintf(out, "GPU time per scene (GL_ARB_timer_query):\n");
        fprintf(out, "  %-4s %-20s %7s %12s %10s\n", "row", "scene", "frames", "ms a frame", "share");
        for (int row = 0; row < rowCount && row < FRAME_STATS_MAX_ROWS; row++) {
            if (!s_stats.gpuFrames[row]) continue;
            fprintf(out, "  %-4d %-20s %7d %12.2f %9.1f%%\n", row + 1, rowNames[row], s_stats.gpuFrames[row],
                    (double)s_stats.gpuNs[row] * MS_PER_NS / s_stats.gpuFrames[row],
                    total ? 100.0 * (double)s_stats.gpuNs[row] / (double)total : 0.0);
        }
    } else {
        fprintf(out, "GPU time per scene: the driver lacks GL_ARB_timer_query\n");
    }

    int64_t peak = platformPeakResidentBytes();
    fprintf(out, "Memory: peak resident %.1f MB, floor %.1f MB (textures %.1f MB, renderbuffers %.1f MB), "
                 "peak above floor %.1f MB\n",
            peak / MB, memoryFloor / MB, textureBytesHeld() / MB, fboRenderbufferBytesHeld() / MB,
            (peak - memoryFloor) / MB);
    // What the floor leaves out is mostly the GL driver's: its code, and on a software rasteriser
    // its compiler and compiled programs.
    PlatformResidentParts parts;
    if (platformResidentParts(&parts))
        fprintf(out, "  resident at exit %.1f MB: mapped files (the program, its libraries and the GL driver's) %.1f MB, "
                     "shared memory %.1f MB, anonymous %.1f MB\n",
                (parts.files + parts.shared + parts.anonymous) / MB, parts.files / MB, parts.shared / MB,
                parts.anonymous / MB);
    if (s_stats.firstFrameEnd) {
        double startup = (double)(s_stats.firstFrameEnd - s_stats.processStart - s_stats.excluded) * 1e-9;
        fprintf(out, "Start-up: %.2f s from process start to the end of the first frame (without the dialog and "
                     "the full-screen pause); reading and unpacking the archive %.2f s\n",
                startup, (double)s_stats.archive * 1e-9);
    }
}

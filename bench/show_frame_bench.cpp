// show_frame_bench: what a frame of the show costs in every timeline window.
//   show_frame_bench [--width W --height H --samples N --fps F --archive FILE | --data DIR]
//                    [--window BEAT ...] [--stats]
//   (needs a display: run it under xvfb-run; default 1280 x 720, no multisampling, 60 fps, the
//   build's data.hlv)
// Each window (a distinct set of active scenes) is rendered for two beats from the first of the
// beats the contact sheet shows it at, each frame timed from the start of the frame until glFinish
// returns after the swap. Prints per window the median and 99th percentile frame time, the
// stutters (a frame longer than twice the median of the 19 around it) and the median's ratio to an
// empty frame (clear and swap at the same size) measured in the same run; then the whole show's
// figures and GL_RENDERER. --window keeps only the windows whose first contact-sheet beat is BEAT
// (as the table prints it), for quick comparisons. The process's first frame, the start-up frame,
// is drawn untimed. With --stats, the show's own report follows (GPU time per scene).
#include "offline.h"
#include "platform/platform.h"   // platformWallNanoseconds
#include "scenes/demo.h"         // timelineWindowName
#include "scenes/framestats.h"   // percentileOf, countStutters
#include <GL/glew.h>
#include <SDL.h>
#include <algorithm>
#include <math.h>
#include <stdio.h>
#include <string.h>
#include <vector>

enum { EMPTY_FRAMES = 60 };
static const double BEATS_PER_WINDOW = 2.0;
static const float TARGET_MEDIAN_MS = 33.0f, TARGET_P99_MS = 50.0f;

static double msSince(uint64_t started) { return (double)(platformWallNanoseconds() - started) * 1e-6; }

static float emptyFrameMs()
{
    std::vector<float> times;
    for (int i = 0; i < EMPTY_FRAMES; i++) {
        uint64_t started = platformWallNanoseconds();
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT | GL_ACCUM_BUFFER_BIT);
        SDL_GL_SwapBuffers();
        glFinish();
        times.push_back((float)msSince(started));
    }
    return percentileOf(&times, 50);
}

int main(int argc, char** argv)
{
    OfflineOptions options;
    options.archive = HALVOREN_BINARY_DIR "/data.hlv";
    options.warmUp = true; // measure what the player plays
    double fps = 60.0;
    std::vector<double> onlyBeats;
    bool stats = argc > 1 && !strcmp(argv[argc - 1], "--stats");
    if (stats) {
        frameStatsEnable();
        argc--;
    }
    if ((argc - 1) % 2) {
        fprintf(stderr, "show_frame_bench: every option but --stats (last) takes a value\n");
        return 2;
    }
    for (int i = 1; i + 1 < argc; i += 2) {
        const char* error = nullptr;
        OfflineOptions before = options;
        if (!strcmp(argv[i], "--data")) options.archive.clear();
        int taken = offlineParseOption(argv[i], argv[i + 1], &options, &error);
        if (taken < 0) {
            fprintf(stderr, "show_frame_bench: %s\n", error);
            return 2;
        }
        if (taken > 0) continue;
        options = before;
        if (!strcmp(argv[i], "--fps") && offlineParseNumber(argv[i + 1], &fps) && fps >= 1 && fps <= 1000) continue;
        double beat = 0.0;
        if (!strcmp(argv[i], "--window") && offlineParseNumber(argv[i + 1], &beat)) {
            onlyBeats.push_back(beat);
            continue;
        }
        fprintf(stderr, "show_frame_bench: unknown option or bad value: %s %s\n", argv[i], argv[i + 1]);
        return 2;
    }

    OfflineSession session;
    if (!offlineOpen(&session, options)) return 1;
    printf("GL_RENDERER: %s\n", (const char*)glGetString(GL_RENDERER));
    printf("%d x %d, %d samples, %g frames per second, %g beats a window\n", options.width, options.height,
           options.samples, fps, BEATS_PER_WINDOW);
    float emptyMs = emptyFrameMs();
    printf("empty frame (clear and swap): %.2f ms\n\n", emptyMs);

    double songEnd = offlineSecondsToBeat(session, offlineSongSeconds(session));
    std::vector<ShowWindow> windows = showWindows(songEnd);
    if (!onlyBeats.empty()) {
        auto unasked = [&](const ShowWindow& w) {
            for (double beat : onlyBeats)
                if (fabs(w.beats[0] - beat) < 0.005) return false;
            return true;
        };
        windows.erase(std::remove_if(windows.begin(), windows.end(), unasked), windows.end());
        if (windows.empty()) {
            fprintf(stderr, "show_frame_bench: no window starts at the beats given with --window\n");
            return 2;
        }
    }
    // The music clock only runs forward: visit the windows in the order of their beats.
    std::sort(windows.begin(), windows.end(),
              [](const ShowWindow& a, const ShowWindow& b) { return a.beats[0] < b.beats[0]; });

    // The process's first frame compiles the driver's first programs: it is the start-up frame
    // (--stats reports start-up), drawn untimed so the first window is measured in play like the rest.
    if (!windows.empty()) {
        offlineRenderFrame(&session, offlineBeatToSeconds(session, windows[0].beats[0]), nullptr);
        glFinish();
    }
    printf("%-46s %8s %7s %9s %9s %9s %8s\n", "window", "from", "frames", "median", "p99", "stutters",
           "x empty");
    std::vector<float> allMs;
    int allStutters = 0, overTarget = 0;
    double totalSeconds = 0.0;
    for (const ShowWindow& window : windows) {
        double from = offlineBeatToSeconds(session, window.beats[0]);
        double to = offlineBeatToSeconds(session, window.beats[0] + BEATS_PER_WINDOW);
        std::vector<float> times;
        for (long frame = 0;; frame++) {
            double seconds = from + frame / fps;
            if (seconds >= to) break;
            uint64_t started = platformWallNanoseconds();
            offlineRenderFrame(&session, seconds, nullptr);
            glFinish();
            times.push_back((float)msSince(started));
        }
        int stutters = countStutters(times.data(), (int)times.size());
        for (float t : times) totalSeconds += t * 1e-3;
        allMs.insert(allMs.end(), times.begin(), times.end());
        allStutters += stutters;
        int frames = (int)times.size();
        float median = percentileOf(&times, 50), p99 = percentileOf(&times, 99);
        bool over = median > TARGET_MEDIAN_MS || p99 > TARGET_P99_MS;
        overTarget += over ? 1 : 0;
        printf("%-46s %8.2f %7d %9.1f %9.1f %9d %8.1f%s\n", timelineWindowName(window.mask).c_str(), window.beats[0],
               frames, median, p99, stutters, emptyMs > 0 ? median / emptyMs : 0.0, over ? "  over" : "");
        fflush(stdout);
    }
    std::vector<float> sorted = allMs;
    float median = percentileOf(&sorted, 50), p99 = percentileOf(&sorted, 99);
    printf("%-46s %8s %7d %9.1f %9.1f %9d %8.1f\n", "whole show", "", (int)allMs.size(), median, p99, allStutters,
           emptyMs > 0 ? median / emptyMs : 0.0);
    printf("\n%.1f s for %zu frames; %d of %zu windows over the target (median %.0f ms, p99 %.0f ms)\n",
           totalSeconds, allMs.size(), overTarget, windows.size(), TARGET_MEDIAN_MS, TARGET_P99_MS);
    if (stats) {
        printf("\n");
        demoPrintStats(session.demo, stdout, options.samples);
    }
    return 0;
}

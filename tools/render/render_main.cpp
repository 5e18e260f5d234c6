// halvoren-render: pictures of the show at chosen beats, rendered headless in virtual time.
//
//   halvoren-render --beat B [--beat B ...] --out FILE.png [options]
//   halvoren-render --contact-sheet FILE.png [--beat B ...] [options]
//
// Options: --width W --height H (1280 x 720), --fps F (virtual frame rate of the simulation, 60),
// --from BEAT (start simulating there instead of at 0, every scene fresh as after the player's
// seek: a quick preview), --archive FILE (default
// "data.hlv") or --data DIR (loose files under DIR, the folder that holds data/), --samples N,
// --stats (print the frame-time, memory and start-up report at the end, as the show does),
// --offscreen (draw into a framebuffer of the picture's size instead of the window, as
// halvoren-capture does: any size on any screen).
// With one --beat the picture goes to FILE.png, with several to FILE-<beat>.png. A beat past the
// end of the song renders the song's last frame and says so. Bad arguments: usage, exit code 2.
//
//   halvoren-render --data DIR --write-manifest FILE
// builds the show from the loose files under DIR, recording every asset it opens, and writes
// their names in load order: the manifest halvoren-pack packs "data.hlv" from.
#include "offline.h"

#include "scenes/demo.h"
#include "scenes/framestats.h"
#include "util/data/data.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <string>
#include <vector>

static int usage(const char* why)
{
    fprintf(stderr,
            "halvoren-render: %s\n"
            "usage: halvoren-render --beat B [--beat B ...] --out FILE.png [options]\n"
            "       halvoren-render --contact-sheet FILE.png [--beat B ...] [options]\n"
            "       halvoren-render --data DIR --write-manifest FILE\n"
            "options: --width W --height H --fps F --from BEAT --samples N --stats --offscreen\n"
            "         --archive FILE | --data DIR\n",
            why);
    return 2;
}

static std::string beatFileName(const std::string& out, double beat)
{
    std::string stem = out;
    if (stem.size() > 4 && stem.compare(stem.size() - 4, 4, ".png") == 0) stem.resize(stem.size() - 4);
    char suffix[48];
    snprintf(suffix, sizeof suffix, "-%g.png", beat);
    return stem + suffix;
}

int main(int argc, char** argv)
{
    OfflineOptions options;
    std::vector<double> beats;
    std::string out, contactSheet, manifest;
    double fps = 60.0, from = 0.0;
    bool haveFrom = false, stats = false;
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        if (!strcmp(arg, "--stats")) {
            if (!stats) frameStatsEnable();
            stats = true;
            continue;
        }
        if (!strcmp(arg, "--offscreen")) {
            options.offscreen = true;
            continue;
        }
        if (i + 1 >= argc) return usage("every option takes a value");
        const char* value = argv[++i];
        double number = 0.0;
        bool numeric = offlineParseNumber(value, &number);
        const char* error = nullptr;
        int shared = offlineParseOption(arg, value, &options, &error);
        if (shared < 0) return usage(error);
        if (shared > 0) continue;
        if (!strcmp(arg, "--beat")) {
            if (!numeric || number < 0) return usage("--beat takes a beat number >= 0");
            if (!beats.empty() && number < beats.back()) return usage("--beat values must ascend");
            beats.push_back(number);
        } else if (!strcmp(arg, "--out")) {
            out = value;
        } else if (!strcmp(arg, "--write-manifest")) {
            manifest = value;
        } else if (!strcmp(arg, "--contact-sheet")) {
            contactSheet = value;
        } else if (!strcmp(arg, "--fps")) {
            if (!numeric || number < 1 || number > 1000) return usage("--fps takes a rate from 1 to 1000");
            fps = number;
        } else if (!strcmp(arg, "--from")) {
            if (!numeric || number < 0) return usage("--from takes a beat number >= 0");
            from = number;
            haveFrom = true;
        } else {
            return usage((std::string("unknown option ") + arg).c_str());
        }
    }
    if (!manifest.empty()) {
        if (options.dataDir.empty() || !beats.empty() || !out.empty() || !contactSheet.empty())
            return usage("--write-manifest goes with --data alone");
        options.record = true;
        OfflineSession session;
        if (!offlineOpen(&session, options)) return 1;
        std::string text = offlineManifest();
        FILE* f = fopen(manifest.c_str(), "w");
        if (!f || fputs(text.c_str(), f) < 0 || fclose(f) != 0) {
            fprintf(stderr, "halvoren-render: cannot write %s\n", manifest.c_str());
            return 1;
        }
        printf("%s: %zu assets\n", manifest.c_str(), dataEntries().size());
        return 0;
    }
    if (contactSheet.empty() && (beats.empty() || out.empty())) return usage("give --beat and --out, or --contact-sheet");
    if (!contactSheet.empty() && !out.empty()) return usage("--out does not go with --contact-sheet");
    if (haveFrom && !beats.empty() && beats.front() < from) return usage("--from must not be after the first --beat");

    OfflineSession session;
    if (!offlineOpen(&session, options)) return 1;
    // The same fresh start at --from as the player's seek (--start, or a key in --dev).
    if (haveFrom) demoRewind(session.demo, offlineBeatToSeconds(session, from));
    if (!contactSheet.empty() && beats.empty()) beats = contactSheetBeats(session);

    // Beats past the end of the song show its last frame.
    std::vector<double> seconds;
    for (double beat : beats) {
        bool pastEnd = false;
        seconds.push_back(offlinePictureSeconds(session, beat, fps, &pastEnd));
        if (pastEnd)
            fprintf(stderr, "halvoren-render: beat %g is past the end of the song (beat %.2f): rendering its last frame\n",
                    beat, offlineSecondsToBeat(session, seconds.back()));
    }
    struct timespec started, finished;
    clock_gettime(CLOCK_MONOTONIC, &started);
    std::vector<Image> pictures = offlineRenderTimes(&session, offlineBeatToSeconds(session, from), fps, seconds);
    clock_gettime(CLOCK_MONOTONIC, &finished);
    double wall = (finished.tv_sec - started.tv_sec) + (finished.tv_nsec - started.tv_nsec) * 1e-9;
    fprintf(stderr, "halvoren-render: %ld frames at %d x %d in %.1f s (%.1f frames per second)\n",
            session.framesRendered, options.width, options.height, wall, session.framesRendered / (wall > 0 ? wall : 1e-9));

    if (stats) demoPrintStats(session.demo, stdout, options.samples);

    if (!contactSheet.empty()) {
        Image sheet = makeContactSheet(pictures, beats, 4, 320);
        if (!writePng(contactSheet, sheet)) {
            fprintf(stderr, "halvoren-render: cannot write %s\n", contactSheet.c_str());
            return 1;
        }
        printf("%s: %zu beats\n", contactSheet.c_str(), beats.size());
        return 0;
    }
    for (size_t i = 0; i < pictures.size(); i++) {
        std::string name = beats.size() == 1 ? out : beatFileName(out, beats[i]);
        if (!writePng(name, pictures[i])) {
            fprintf(stderr, "halvoren-render: cannot write %s\n", name.c_str());
            return 1;
        }
        printf("%s\n", name.c_str());
    }
    return 0;
}

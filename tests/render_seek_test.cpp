// A seek in the running show gives, at its first frame, the picture halvoren-render --from B
// --beat B makes in a fresh process: one seek into every timeline window, forward after play,
// then backward seeks after playing on. Both go through demoRewind; this checks that it really
// leaves nothing of what was played before (a scene state it forgets, or GL state a scene leaves
// for the next frame, shows here).
#include "offline.h"
#include "scenes/demo.h"
#include "scenes/transport.h"
#include "test_support.h"
#include "util/music/music.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

enum { SEEK_WIDTH = 160, SEEK_HEIGHT = 90 };
static const double PLAY_FPS = 20.0;
static const double MAX_MEAN_DIFFERENCE = 1.0; // the visual regression test's tolerance
static const int MAX_CHANNEL_DIFFERENCE = 96;

// The first frame of a fresh halvoren-render process started at `beat`.
static bool freshPicture(double beat, Image* picture)
{
    char name[64], command[1024];
    snprintf(name, sizeof name, "fresh-%g.png", beat);
    snprintf(command, sizeof command,
             "SDL_AUDIODRIVER=dummy %s/tools/render/halvoren-render --data %s --width %d --height %d "
             "--from %g --beat %g --out %s >/dev/null 2>fresh.err",
             HALVOREN_BINARY_DIR, sourcePath("").c_str(), SEEK_WIDTH, SEEK_HEIGHT, beat, beat, name);
    return system(command) == 0 && readPng(name, picture);
}

// Seeks the running show to `beat` as creator mode does and returns the first frame there.
static Image seekAndDraw(OfflineSession* session, Transport* transport, double beat)
{
    Music* music = session->demo->music;
    transportSeek(transport, beat);
    double seconds = demoBeatToSeconds(music, transport->seekBeat);
    demoRewind(session->demo, seconds);
    transportSeekDone(transport, music->getTime());
    Image picture;
    offlineRenderFrame(session, seconds, &picture);
    return picture;
}

// Plays on from the last frame for `frames` frames (the scenes build up state to forget).
static void playOn(OfflineSession* session, int frames)
{
    for (int i = 0; i < frames; i++) offlineRenderFrame(session, session->lastSeconds + 1.0 / PLAY_FPS, nullptr);
}

// The player warms the driver up at load by drawing a frame of every window (demoWarmUp): played
// from the start after it, the show must draw what halvoren-render, which does not warm up, draws.
TEST(WarmUp, LeavesTheShowAsLoadingLeftIt)
{
    if (!getenv("DISPLAY")) SKIP_UNLESS_REQUIRED("no display");
    const double beat = 44.25; // past the opening: the rig under its four lights, a cut camera
    OfflineSession session;
    OfflineOptions options;
    options.width = SEEK_WIDTH;
    options.height = SEEK_HEIGHT;
    options.dataDir = sourcePath("");
    options.warmUp = true;
    ASSERT_TRUE(offlineOpen(&session, options));
    EXPECT_EQ(session.demo->width, SEEK_WIDTH);
    EXPECT_EQ(session.demo->height, SEEK_HEIGHT);
    std::vector<Image> played = offlineRenderTimes(&session, 0.0, PLAY_FPS, {offlineBeatToSeconds(session, beat)});
    ASSERT_EQ(played.size(), 1u);

    char command[1024];
    snprintf(command, sizeof command,
             "SDL_AUDIODRIVER=dummy %s/tools/render/halvoren-render --data %s --width %d --height %d --fps %g "
             "--beat %g --out unwarmed.png >/dev/null 2>unwarmed.err",
             HALVOREN_BINARY_DIR, sourcePath("").c_str(), SEEK_WIDTH, SEEK_HEIGHT, PLAY_FPS, beat);
    Image unwarmed;
    ASSERT_TRUE(system(command) == 0 && readPng("unwarmed.png", &unwarmed));
    ImageDifference d = compareImages(played[0], unwarmed);
    ASSERT_TRUE(d.sameSize);
    EXPECT_EQ(d.maxChannel, 0) << "mean " << d.meanChannel;
}

TEST(SeekMatchesRenderer, EveryWindowForwardThenBackward)
{
    if (!getenv("DISPLAY")) SKIP_UNLESS_REQUIRED("no display");
    OfflineSession session;
    OfflineOptions options;
    options.width = SEEK_WIDTH;
    options.height = SEEK_HEIGHT;
    options.dataDir = sourcePath("");
    ASSERT_TRUE(offlineOpen(&session, options));
    double songEnd = offlineSecondsToBeat(session, offlineSongSeconds(session));
    Transport transport;
    transportInit(&transport, songEnd);

    struct Seek {
        double beat;
        std::string window;
    };
    std::vector<Seek> seeks;
    for (const ShowWindow& w : showWindows(songEnd)) seeks.push_back(Seek{w.beats[0], timelineWindowName(w.mask)});
    ASSERT_GE(seeks.size(), 10u);
    // Backward, each after playing on past the later windows.
    for (size_t i : {seeks.size() / 2, (size_t)2, (size_t)0}) seeks.push_back(Seek{seeks[i].beat, seeks[i].window + " (back)"});

    playOn(&session, 30);
    printf("%-48s %7s %10s %4s %11s\n", "window", "beat", "mean diff", "max", "worst block");
    for (const Seek& seek : seeks) {
        Image picture = seekAndDraw(&session, &transport, seek.beat);
        Image fresh;
        ASSERT_TRUE(freshPicture(seek.beat, &fresh)) << "halvoren-render at beat " << seek.beat;
        ImageDifference d = compareImages(picture, fresh);
        ASSERT_TRUE(d.sameSize);
        printf("%-48s %7g %10.3f %4d %11.2f\n", seek.window.c_str(), seek.beat, d.meanChannel, d.maxChannel,
               d.worstBlockMean);
        char name[64];
        snprintf(name, sizeof name, "seek-%g.png", seek.beat);
        if (d.meanChannel > MAX_MEAN_DIFFERENCE || d.maxChannel > MAX_CHANNEL_DIFFERENCE) writePng(name, picture);
        EXPECT_LE(d.meanChannel, MAX_MEAN_DIFFERENCE) << seek.window << " at beat " << seek.beat;
        EXPECT_LE(d.maxChannel, MAX_CHANNEL_DIFFERENCE) << seek.window << " at beat " << seek.beat;
        playOn(&session, 40);
    }
}

// The offline tools as their users call them: bad arguments get the usage and exit code 2 before
// anything opens; real runs over the loose data tree name their pictures, say when a beat is past
// the song's end, repeat themselves pixel for pixel, and capture as many frames as audio.
#include "test_support.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

static int run(const std::string& tool, const std::string& arguments, const char* errors = "/dev/null")
{
    std::string command = std::string(HALVOREN_BINARY_DIR) + "/tools/render/" + tool + " " + arguments + " 2>" + errors;
    int status = system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(OfflineTools, BadArgumentsGetUsageAndExitCodeTwo)
{
    const char* renderCases[] = {
        "",                                        // nothing to do
        "--beat",                                  // option without its value
        "--beat x --out a.png",                    // not a number
        "--beat -1 --out a.png",                   // negative beat
        "--beat 5 --beat 3 --out a.png",           // not ascending
        "--beat 5",                                // no --out
        "--beat 5 --out a.png --width 8",          // too small
        "--beat 5 --out a.png --height 720.5",     // not whole
        "--beat 5 --out a.png --fps 0",            // no frame rate
        "--beat 5 --out a.png --samples 99",       // too many samples
        "--beat 5 --out a.png --data d --archive f",
        "--beat 5 --out a.png --from 9",           // preview starts after the beat
        "--contact-sheet s.png --out a.png",
        "--write-manifest m.txt",                  // needs --data
        "--frobnicate 1",
    };
    for (const char* c : renderCases) EXPECT_EQ(run("halvoren-render", c), 2) << c;
    const char* captureCases[] = {
        "--fps 0", "--fps 60000/0", "--fps 1/2", "--fps 60/", "--fps /1001", "--fps 241",
        "--from 10 --to 5", "--to", "--from -1", "--width 100000", "--width 7682", "--height 4322",
        "--crf 52", "--crf 1.5", "--segment 0", "--samples 99", "--png --lossless", "--out ''", "--what 1",
        "--width 1281",  // odd: H.264 in yuv420p needs even sides unless --round
    };
    for (const char* c : captureCases) EXPECT_EQ(run("halvoren-capture", c), 2) << c;
    ASSERT_EQ(run("halvoren-capture", "--height 721", "odd.err"), 2);
    EXPECT_NE(readTestText("odd.err").find("--round makes it 1280 x 722"), std::string::npos) << readTestText("odd.err");
}

// Before anything renders: a clear message and exit code 1.
TEST(OfflineTools, CaptureWithoutFfmpegOrAWritableFolderSaysSo)
{
    std::string tool = std::string(HALVOREN_BINARY_DIR) + "/tools/render/halvoren-capture";
    EXPECT_EQ(system(("PATH=/nonexistent " + tool + " --out clip 2>noffmpeg.err").c_str()), 1 << 8);
    EXPECT_NE(readTestText("noffmpeg.err").find("ffmpeg is not installed"), std::string::npos);
    EXPECT_EQ(run("halvoren-capture", "--png --out /proc/no-such-folder", "nofolder.err"), 1);
    EXPECT_NE(readTestText("nofolder.err").find("cannot write into the folder /proc/no-such-folder"), std::string::npos)
        << readTestText("nofolder.err");
}

// An ffmpeg that fails is reported, and leaves no half-written segment behind.
TEST(OfflineTools, CaptureReportsAFailingFfmpegAndLeavesNoPartFile)
{
    if (!getenv("DISPLAY")) SKIP_UNLESS_REQUIRED("no display");
    mkdir("fakebin", 0755);
    writeTestFile("fakebin/ffmpeg", std::string("#!/bin/sh\necho \"fake ffmpeg refusing: $*\" >&2\nexit 3\n"));
    chmod("fakebin/ffmpeg", 0755);
    std::string tool = std::string(HALVOREN_BINARY_DIR) + "/tools/render/halvoren-capture";
    std::string command = "PATH=$PWD/fakebin:$PATH " + tool + " --data " + sourcePath("") +
                          " --out failing --from 100 --to 101 --fps 15 --width 159 --height 90 --round >/dev/null 2>failing.err";
    EXPECT_EQ(system(command.c_str()), 1 << 8) << readTestText("failing.err");
    EXPECT_NE(readTestText("failing.err").find("ffmpeg failed (exit code 3)"), std::string::npos) << readTestText("failing.err");
    // --round: the odd width became even, and so did the frames ffmpeg was told of.
    EXPECT_NE(readTestText("failing.err").find("-s 160x90"), std::string::npos) << readTestText("failing.err");
    EXPECT_TRUE(readTestFile("failing/segment_000000.mp4.part").empty());
    EXPECT_TRUE(readTestFile("failing/segment_000000.mp4").empty());
}

static bool fileExists(const std::string& path) { return !readTestFile(path).empty(); }

TEST(OfflineTools, RenderNamesEachBeatRepeatsItselfWithOrWithoutStatsAndSaysWhenABeatIsPastTheEnd)
{
    if (!getenv("DISPLAY")) SKIP_UNLESS_REQUIRED("no display");
    // Small pictures from a late start keep this quick; beat 400 is long after the song's end.
    const std::string common = "--data " + sourcePath("") + " --width 160 --height 90 --fps 10 --from 327 "
                               "--beat 328 --beat 400 ";
    ASSERT_EQ(run("halvoren-render", common + "--out first.png >first.out", "first.err"), 0)
        << readTestText("first.err");
    ASSERT_EQ(run("halvoren-render", common + "--stats --out second.png >second.out", "second.err"), 0)
        << readTestText("second.err");
    // The report only when asked for, with its window, scene and memory lines; the pixels stay.
    EXPECT_EQ(readTestText("first.out").find("Frame times"), std::string::npos);
    std::string report = readTestText("second.out");
    EXPECT_NE(report.find("TextSnake + Speakers"), std::string::npos) << report;
    EXPECT_NE(report.find("Memory: peak resident"), std::string::npos) << report;
    EXPECT_NE(report.find("Start-up:"), std::string::npos) << report;
    EXPECT_FALSE(fileExists("first.png")); // several beats: one file each, named after its beat
    ASSERT_TRUE(fileExists("first-328.png"));
    ASSERT_TRUE(fileExists("first-400.png"));
    EXPECT_NE(readTestText("first.err").find("beat 400 is past the end of the song"), std::string::npos)
        << readTestText("first.err");
    EXPECT_EQ(readTestText("first.err").find("beat 328 is past"), std::string::npos);
    // The PNG writer is deterministic, so equal pixels mean equal files.
    EXPECT_TRUE(readTestFile("first-328.png") == readTestFile("second-328.png"));
    EXPECT_TRUE(readTestFile("first-400.png") == readTestFile("second-400.png"));
    EXPECT_FALSE(readTestFile("first-328.png") == readTestFile("first-400.png"));
}

TEST(OfflineTools, CaptureWritesAsManyFramesAsItsAudioLasts)
{
    if (!getenv("DISPLAY")) SKIP_UNLESS_REQUIRED("no display");
    // Two beats at 140 beats per minute and 15 frames per second: 6/7 s, 12 whole frames.
    ASSERT_EQ(run("halvoren-capture", "--data " + sourcePath("") + " --png --out clip --from 100 --to 102 --fps 15 "
                  "--width 160 --height 90 >capture.out", "capture.err"), 0) << readTestText("capture.err");
    int frames = 0;
    char name[64];
    for (;; frames++) {
        snprintf(name, sizeof name, "clip/frame_%06d.png", frames);
        if (!fileExists(name)) break;
    }
    EXPECT_EQ(frames, 12);
    std::vector<uint8_t> wav = readTestFile("clip/audio.wav");
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    // 16-bit stereo at 44.1 kHz after the 44-byte header: the audio lasts as long as the frames.
    double audioSeconds = (wav.size() - 44) / 176400.0;
    EXPECT_NEAR(audioSeconds, frames / 15.0, 1.0 / 15.0);
}

// From the archive the pictures decode on a second thread ahead of the scenes that load them. A
// damaged one must still be reported as the main thread reports it: once, from the loader that
// found it, with exit code 1 and no crash of the thread that read ahead.
TEST(OfflineTools, DamagedPictureInTheArchiveIsReportedOnceAndEndsWithCode1)
{
    if (!getenv("DISPLAY")) SKIP_UNLESS_REQUIRED("no display");
    const std::string folder = "data/glowgreets", damaged = folder + "/brassfern.jpg";
    std::string link = "rm -rf damaged && mkdir -p damaged/root/" + folder + " && for d in '" + sourcePath("data") +
                       "'/*; do n=${d##*/}; [ $n = glowgreets ] || ln -s \"$d\" damaged/root/data/$n; done && "
                       "for f in '" + sourcePath(folder) + "'/*; do ln -s \"$f\" damaged/root/" + folder + "/; done";
    ASSERT_EQ(system(link.c_str()), 0);
    std::vector<uint8_t> picture = readTestFile(sourcePath(damaged));
    ASSERT_GT(picture.size(), 200u);
    picture[0] = 0x5a; // not a JPEG file: an error, never only a warning
    std::string copy = "damaged/root/" + damaged;
    unlink(copy.c_str());
    writeTestFile(copy, picture);
    std::string pack = std::string(HALVOREN_BINARY_DIR) + "/tools/pack/halvoren-pack --root damaged/root --manifest '" +
                       sourcePath("data/manifest.txt") + "' --out damaged/data.hlv >/dev/null 2>&1";
    ASSERT_EQ(system(pack.c_str()), 0);

    EXPECT_EQ(run("halvoren-render", "--archive damaged/data.hlv --width 64 --height 36 --beat 0.02 --out d.png",
                  "damaged.err"), 1);
    std::string errors = readTestText("damaged.err");
    std::string report = "Could not decode JPEG file " + damaged;
    size_t first = errors.find(report);
    ASSERT_NE(first, std::string::npos) << errors;
    EXPECT_EQ(errors.find(report, first + 1), std::string::npos) << errors;
}

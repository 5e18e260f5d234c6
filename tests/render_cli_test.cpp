// The offline tools as their users call them: bad arguments get the usage and exit code 2 before
// anything opens; real runs over the loose data tree name their pictures, say when a beat is past
// the song's end, repeat themselves pixel for pixel, and capture as many frames as audio.
#include "test_support.h"

#include <gtest/gtest.h>
#include <stdlib.h>
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
    const char* captureCases[] = {"--fps 0", "--from 10 --to 5", "--to", "--width 100000", "--what 1"};
    for (const char* c : captureCases) EXPECT_EQ(run("halvoren-capture", c), 2) << c;
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
    ASSERT_EQ(run("halvoren-capture", "--data " + sourcePath("") + " --out clip --from 100 --to 102 --fps 15 "
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

// halvoren-capture as a viewer and an editor receive its files: picture and sound in step in the
// MP4 (a test song of clicks, and a test overlay that whitens the frames whose music time holds a
// click), BT.709 limited-range colours and tags, a resumed capture equal to an uninterrupted one,
// and the off-screen pictures equal to the window's.
#include "capture.h"
#include "image.h"
#include "scene_frames.h" // makeFolders
#include "test_support.h"

#include "scenes/demo.h"
#include "util/music/music.h"
#include <ctype.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <math.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Quoted for sh, whatever the name holds.
std::string shellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::vector<uint8_t> commandOutput(const std::string& command)
{
    std::vector<uint8_t> out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    uint8_t buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.insert(out.end(), buffer, buffer + n);
    pclose(pipe);
    return out;
}

std::string commandText(const std::string& command)
{
    std::vector<uint8_t> out = commandOutput(command);
    return std::string(out.begin(), out.end());
}

bool haveFfmpeg() { return system("ffmpeg -version >/dev/null 2>&1") == 0; }

// >> the click song
const double SONG_SECONDS = 3.5;
const double SHOW_BPM = 140.0, BEAT_OFFSET = 0.1; // the show's MIDI tempo and the clock's offset
const double FROM_BEAT = 1.85;                     // 0.75 s into the song
const double FROM_SECONDS = (FROM_BEAT - BEAT_OFFSET) * 60.0 / SHOW_BPM;
// Song times of the clicks: each lies between 0.2 and 0.8 of a frame at both 60 and 59.94 frames
// per second (counted from FROM_SECONDS), so a measurement a fraction of a millisecond off cannot
// move it into a neighbouring frame.
const double CLICKS[] = {0.8037, 1.0257, 1.2551, 1.4771, 1.7065, 1.9285,
                         2.1579, 2.3799, 2.6056, 2.8276, 3.057,  3.279};
const int CLICK_COUNT = sizeof CLICKS / sizeof CLICKS[0];
const double CLICK_AMPLITUDE = 0.8;

// 3 ms bursts of 3 kHz from phase 0: an onset sharp to a few tens of microseconds.
std::vector<uint8_t> clickWav()
{
    const int rate = 44100;
    int frames = (int)(SONG_SECONDS * rate);
    std::vector<int16_t> pcm((size_t)frames * 2, 0);
    for (double click : CLICKS) {
        int start = (int)lround(click * rate);
        for (int i = 0; i < rate * 3 / 1000; i++) {
            int16_t v = (int16_t)lround(CLICK_AMPLITUDE * 32767 * sin(2 * M_PI * 3000.0 * i / rate));
            pcm[(size_t)(start + i) * 2] = pcm[(size_t)(start + i) * 2 + 1] = v;
        }
    }
    std::vector<uint8_t> wav;
    auto put = [&wav](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; i++) wav.push_back((uint8_t)(v >> (8 * i)));
    };
    uint32_t dataBytes = (uint32_t)frames * 4;
    wav.insert(wav.end(), {'R', 'I', 'F', 'F'});
    put(36 + dataBytes, 4);
    wav.insert(wav.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put(16, 4), put(1, 2), put(2, 2), put(rate, 4), put(rate * 4, 4), put(4, 2), put(16, 2);
    wav.insert(wav.end(), {'d', 'a', 't', 'a'});
    put(dataBytes, 4);
    const uint8_t* bytes = (const uint8_t*)pcm.data();
    wav.insert(wav.end(), bytes, bytes + dataBytes);
    return wav;
}

// The show's loose data tree with the click song in place of the show's: everything else links
// to the source tree's files.
std::string clickSongTree()
{
    const std::string tree = "clicktree";
    if (!readTestFile(tree + "/data/common/music/dubr0lp.mp3").empty()) return tree;
    sceneframes::makeFolders((tree + "/data/common/music").c_str());
    for (const char* dir : {"data", "data/common"}) {
        DIR* listing = opendir(sourcePath(dir).c_str());
        while (struct dirent* entry = listing ? readdir(listing) : nullptr) {
            std::string name = entry->d_name;
            if (name[0] == '.' || name == "common" || name == "music") continue;
            symlink(sourcePath(std::string(dir) + "/" + name).c_str(), (tree + "/" + dir + "/" + name).c_str());
        }
        if (listing) closedir(listing);
    }
    symlink(sourcePath("data/common/music/dubr0lp.mid").c_str(), (tree + "/data/common/music/dubr0lp.mid").c_str());
    writeTestFile("clicks.wav", clickWav());
    EXPECT_EQ(system(("ffmpeg -v error -y -i clicks.wav -c:a libmp3lame -b:a 192k " + tree +
                      "/data/common/music/dubr0lp.mp3").c_str()), 0);
    return tree;
}

// >> the overlay: white on a frame whose music time span holds a click, else pure red
double s_frameSeconds;

void clickOverlay(Demo* demo, int width, int height)
{
    // The clock as a scene reads it, turned back into the heard song time.
    Music* music = demo->music;
    double start = (music->getTime() - music->beatOffset) * 60.0 / music->bpm;
    bool click = false;
    for (double c : CLICKS) click = click || (c >= start && c < start + s_frameSeconds);
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glUseProgram(0);
    for (int unit = 3; unit >= 0; unit--) {
        glActiveTexture(GL_TEXTURE0 + unit);
        glDisable(GL_TEXTURE_2D);
    }
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    glDisable(GL_CULL_FACE);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_STENCIL_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glColor3f(1.0f, click ? 1.0f : 0.0f, click ? 1.0f : 0.0f);
    glRectf(-1, -1, 1, 1);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glPopAttrib();
}

// Runs a capture in a child process (a process holds one show); returns its exit code.
int captureInChild(const CaptureOptions& options, double frameSeconds)
{
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        s_frameSeconds = frameSeconds;
        _exit(captureRun(options));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// ffprobe's key=value lines of both streams, in stream order.
std::vector<std::string> streamLines(const std::string& file)
{
    std::string text = commandText("ffprobe -v error -show_entries stream=codec_type,codec_name,profile,pix_fmt,"
                                   "color_range,color_space,color_transfer,color_primaries,start_time,duration,"
                                   "sample_rate,channels -of default=nw=1 " + shellQuote(file));
    std::vector<std::string> lines;
    size_t start = 0, end;
    while ((end = text.find('\n', start)) != std::string::npos) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

double valueOf(const std::vector<std::string>& lines, const std::string& key, int occurrence)
{
    for (const std::string& line : lines)
        if (line.compare(0, key.size() + 1, key + "=") == 0 && occurrence-- == 0) return atof(line.c_str() + key.size() + 1);
    return NAN;
}

// Sample indices where the mono 48 kHz sound first rises past a quarter of full scale after a quiet
// stretch: the clicks' onsets.
std::vector<double> clickOnsets(const std::vector<int16_t>& mono)
{
    std::vector<double> onsets;
    const int quiet = 48000 / 20; // clicks lie more than 50 ms apart
    int64_t last = -quiet;
    for (size_t i = 0; i < mono.size(); i++)
        if (abs(mono[i]) > 32767 / 4 && (int64_t)i - last >= quiet) {
            onsets.push_back(i / 48000.0);
            last = (int64_t)i;
        } else if (abs(mono[i]) > 32767 / 4) {
            last = (int64_t)i;
        }
    return onsets;
}

} // namespace

TEST(CaptureSync, EveryClickFallsInsideItsWhiteFrameAndColoursAreBt709LimitedAt60And5994)
{
    if (!getenv("DISPLAY")) SKIP_UNLESS_REQUIRED("no display");
    if (!haveFfmpeg()) SKIP_UNLESS_REQUIRED("no ffmpeg");
    std::string tree = clickSongTree();
    for (const char* fps : {"60", "60000/1001"}) {
        CaptureOptions options;
        std::string error;
        // A folder name that a shell string would break on: quotes, spaces and a dollar sign.
        const char* args[] = {"capture", "--width", "320", "--height", "180", "--fps", fps, "--from", "1.85", "--segment",
                              "1", "--data", tree.c_str(), "--out", nullptr};
        std::string folder = std::string("sync 'a' \"b\" $HOME ") + (fps[2] ? "5994" : "60");
        args[14] = folder.c_str();
        ASSERT_TRUE(captureParseArguments(15, (char**)args, &options, &error)) << error;
        options.offline.overlay = clickOverlay;
        const double frame = (double)options.rate.den / options.rate.num;
        ASSERT_EQ(captureInChild(options, frame), 0) << fps;
        const std::string file = folder + "/halvoren.mp4";

        // Delivery settings and tags; both streams start at 0 and last as long.
        std::vector<std::string> lines = streamLines(file);
        std::string all;
        for (const std::string& l : lines) all += l + "\n";
        for (const char* want : {"codec_name=h264", "profile=High", "pix_fmt=yuv420p", "color_range=tv",
                                 "color_space=bt709", "color_transfer=bt709", "color_primaries=bt709",
                                 "codec_name=aac", "profile=LC", "sample_rate=48000", "channels=2"})
            EXPECT_NE(all.find(want), std::string::npos) << want << "\n" << all;
        EXPECT_NEAR(valueOf(lines, "start_time", 0), 0.0, 0.001) << all;
        EXPECT_NEAR(valueOf(lines, "start_time", 1), 0.0, 0.001) << all;
        EXPECT_NEAR(valueOf(lines, "duration", 0), valueOf(lines, "duration", 1), 0.002) << all;

        // White frames (Y 235, chroma 128) and red ones (BT.709 limited: Y 63, Cb 102, Cr 240).
        std::string times = commandText("ffprobe -v error -select_streams v -show_entries "
                                         "frame=best_effort_timestamp_time -of csv=p=0 " + shellQuote(file));
        std::vector<double> starts;
        // One line a frame; the keyframes' side data adds empty ones.
        for (const char* p = times.c_str(); p && *p; p = strchr(p, '\n'), p = p ? p + 1 : p)
            if (isdigit((unsigned char)*p)) starts.push_back(atof(p));
        std::vector<uint8_t> yuv = commandOutput("ffmpeg -v error -i " + shellQuote(file) +
                                                 " -map 0:v -f rawvideo -pix_fmt yuv420p -");
        const size_t planeY = 320 * 180, planeC = planeY / 4, frameBytes = planeY + 2 * planeC;
        ASSERT_EQ(yuv.size(), starts.size() * frameBytes);
        std::vector<double> whiteStarts;
        int badColours = 0;
        for (size_t f = 0; f < starts.size(); f++) {
            const uint8_t* p = &yuv[f * frameBytes];
            int y = p[planeY / 2 + 160], cb = p[planeY + planeC / 2 + 80], cr = p[planeY + planeC + planeC / 2 + 80];
            bool white = abs(y - 235) <= 2 && abs(cb - 128) <= 2 && abs(cr - 128) <= 2;
            bool red = abs(y - 63) <= 2 && abs(cb - 102) <= 2 && abs(cr - 240) <= 2;
            if (white) whiteStarts.push_back(starts[f]);
            if (!white && !red && badColours++ < 3) ADD_FAILURE() << "frame " << f << ": Y " << y << " Cb " << cb << " Cr " << cr;
        }

        // Every click heard where it was put, and inside the white frame shown with it.
        std::vector<uint8_t> pcm = commandOutput("ffmpeg -v error -i " + shellQuote(file) + " -map 0:a -f s16le -ac 1 -");
        std::vector<int16_t> mono(pcm.size() / 2);
        memcpy(mono.data(), pcm.data(), mono.size() * 2);
        std::vector<double> onsets = clickOnsets(mono);
        ASSERT_EQ(onsets.size(), (size_t)CLICK_COUNT) << fps;
        ASSERT_EQ(whiteStarts.size(), (size_t)CLICK_COUNT) << fps;
        double worstPlacement = 0.0;
        printf("%s fps: click offsets into their white frames (ms):", fps);
        for (int i = 0; i < CLICK_COUNT; i++) {
            double placed = CLICKS[i] - FROM_SECONDS;
            EXPECT_NEAR(onsets[i], placed, 0.001) << "click " << i;
            worstPlacement = std::max(worstPlacement, fabs(onsets[i] - placed));
            double offset = onsets[i] - whiteStarts[i];
            EXPECT_GE(offset, 0.0) << "click " << i;
            EXPECT_LT(offset, frame) << "click " << i;
            printf(" %.2f", offset * 1000.0);
        }
        printf("\n%s fps: clicks heard at most %.3f ms from where they were put\n", fps, worstPlacement * 1000.0);
    }
}

// An interrupted lossless capture, resumed, equals the uninterrupted PNG frames pixel for pixel,
// and the interruption leaves only whole files.
TEST(CaptureResume, InterruptedThenResumedEqualsUninterrupted)
{
    if (!getenv("DISPLAY")) SKIP_UNLESS_REQUIRED("no display");
    if (!haveFfmpeg()) SKIP_UNLESS_REQUIRED("no ffmpeg");
    const std::string tool = std::string(HALVOREN_BINARY_DIR) + "/tools/render/halvoren-capture";
    // 7 beats at 140 per minute: 3 s, 90 frames at 30 per second, three segments of a second.
    const std::string common = "--data " + shellQuote(sourcePath("")) + " --from 100 --to 107 --fps 30 --width 161 "
                               "--height 91 --segment 1 ";
    ASSERT_EQ(system((tool + " " + common + "--png --out frames >/dev/null 2>frames.err").c_str()), 0)
        << readTestText("frames.err");

    system("rm -rf resumed");
    pid_t pid = fork();
    if (pid == 0) {
        freopen("/dev/null", "w", stdout);
        freopen("interrupted.err", "w", stderr);
        execl("/bin/sh", "sh", "-c", ("exec " + tool + " " + common + "--lossless --out resumed").c_str(), (char*)nullptr);
        _exit(127);
    }
    // Interrupt it once the first segment is whole.
    for (int i = 0; i < 60000 && readTestFile("resumed/segment_000000.mkv").empty(); i++) usleep(1000);
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), CAPTURE_INTERRUPTED) << readTestText("interrupted.err");
    EXPECT_TRUE(readTestFile("resumed/halvoren.mkv").empty());
    DIR* dir = opendir("resumed");
    ASSERT_NE(dir, nullptr);
    while (struct dirent* entry = readdir(dir)) EXPECT_EQ(strstr(entry->d_name, ".part"), nullptr) << entry->d_name;
    closedir(dir);

    ASSERT_EQ(system((tool + " " + common + "--lossless --resume --out resumed >/dev/null 2>resumed.err").c_str()), 0)
        << readTestText("resumed.err");
    EXPECT_NE(readTestText("resumed.err").find("resuming: frames 0 to"), std::string::npos) << readTestText("resumed.err");
    std::string probe = commandText("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 resumed/halvoren.mkv");
    EXPECT_EQ(probe, "ffv1\nflac\n");
    std::vector<uint8_t> rgb = commandOutput("ffmpeg -v error -i resumed/halvoren.mkv -map 0:v -f rawvideo -pix_fmt rgb24 -");
    const size_t frameBytes = 161 * 91 * 3;
    ASSERT_EQ(rgb.size(), 90 * frameBytes);
    int differing = 0;
    for (int f = 0; f < 90; f++) {
        char name[64];
        snprintf(name, sizeof name, "frames/frame_%06d.png", f);
        Image png;
        ASSERT_TRUE(readPng(name, &png)) << name;
        const uint8_t* video = &rgb[f * frameBytes];
        bool same = true;
        for (size_t i = 0; i < (size_t)161 * 91 && same; i++)
            same = memcmp(&png.rgba[i * 4], &video[i * 3], 3) == 0;
        differing += same ? 0 : 1;
    }
    EXPECT_EQ(differing, 0) << "frames differ between the resumed video and the uninterrupted PNG frames";
    // The PNG capture's sound, as long as its frames, and the video's are the same samples.
    std::vector<uint8_t> wav = readTestFile("frames/audio.wav");
    std::vector<uint8_t> flac = commandOutput("ffmpeg -v error -i resumed/halvoren.mkv -map 0:a -f s16le -");
    ASSERT_GT(wav.size(), 44u);
    EXPECT_TRUE(std::vector<uint8_t>(wav.begin() + 44, wav.end()) == flac);
}

// The off-screen framebuffer shows the window's pictures, within the visual tests' tolerance.
TEST(CaptureOffscreen, PicturesEqualTheWindowsAt1280x720)
{
    if (!getenv("DISPLAY")) SKIP_UNLESS_REQUIRED("no display");
    const std::string tool = std::string(HALVOREN_BINARY_DIR) + "/tools/render/halvoren-render --data " +
                             shellQuote(sourcePath("")) + " --width 1280 --height 720 --fps 20 ";
    // Scenes that draw through the shared framebuffer, their own ones, and straight to the screen.
    for (const char* beat : {"150", "260"}) {
        std::string range = std::string("--from ") + std::to_string(atof(beat) - 1) + " --beat " + beat;
        ASSERT_EQ(system((tool + range + " --out window.png >/dev/null 2>&1").c_str()), 0);
        ASSERT_EQ(system((tool + range + " --offscreen --out offscreen.png >/dev/null 2>&1").c_str()), 0);
        Image window, offscreen;
        ASSERT_TRUE(readPng("window.png", &window));
        ASSERT_TRUE(readPng("offscreen.png", &offscreen));
        ImageDifference d = compareImages(window, offscreen);
        ASSERT_TRUE(d.sameSize) << beat;
        EXPECT_LE(d.meanChannel, 1.0) << beat;
        EXPECT_LE(d.maxChannel, 96) << beat;
    }
}

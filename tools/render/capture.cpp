// capture: the show as video material. See capture.h.
#include "capture.h"

#include "scenes/demo.h"       // Demo, its Music
#include "util/music/audio.h"  // the song's samples
#include "util/music/music.h"
#include <algorithm>
#include <errno.h>
#include <fcntl.h>
#include <math.h>
#include <signal.h>
#include <spawn.h>             // ffmpeg is started without a shell
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

extern char** environ;

static const char* const SETTINGS_NAME = "capture.settings";
static const char* const AUDIO_NAME = "audio.wav";
static const char* const SEGMENT_LIST_NAME = "segments.ffconcat";
static const char* const PART_SUFFIX = ".part"; // a file being written; renamed when whole
static const int64_t MICROSECONDS = 1000000;
enum { PIPE_BYTES = 1 << 20 }; // fewer wake-ups than the default 64 KiB pipe

// >> arguments
bool captureParseArguments(int argc, char** argv, CaptureOptions* options, std::string* error)
{
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        bool* flag = !strcmp(arg, "--png")        ? &options->png
                     : !strcmp(arg, "--lossless") ? &options->lossless
                     : !strcmp(arg, "--round")    ? &options->roundToEven
                     : !strcmp(arg, "--resume")   ? &options->resume
                                                  : nullptr;
        if (flag) {
            *flag = true;
            continue;
        }
        if (i + 1 >= argc) {
            *error = std::string(arg) + " takes a value";
            return false;
        }
        const char* value = argv[++i];
        double number = 0.0;
        bool numeric = offlineParseNumber(value, &number);
        const char* sharedError = nullptr;
        int shared = offlineParseOption(arg, value, &options->offline, &sharedError);
        if (shared < 0) {
            *error = sharedError;
            return false;
        }
        if (shared > 0) continue;
        if (!strcmp(arg, "--out")) {
            if (!*value) {
                *error = "--out takes a folder name";
                return false;
            }
            options->folder = value;
        } else if (!strcmp(arg, "--fps")) {
            if (!offlineParseRate(value, &options->rate)) {
                *error = "--fps takes a rate from 1 to 240, whole, decimal or a ratio such as 60000/1001";
                return false;
            }
        } else if (!strcmp(arg, "--from") || !strcmp(arg, "--to")) {
            if (!numeric || !(number >= 0) || number > 1e6) {
                *error = "--from and --to take beat numbers from 0 to 1000000";
                return false;
            }
            (arg[2] == 'f' ? options->fromBeat : options->toBeat) = number;
        } else if (!strcmp(arg, "--crf")) {
            if (!numeric || number < 0 || number > CAPTURE_MAX_CRF || number != (int)number) {
                *error = "--crf takes a whole number from 0 to 51";
                return false;
            }
            options->crf = (int)number;
        } else if (!strcmp(arg, "--segment")) {
            if (!numeric || !(number >= 1) || number > 3600) {
                *error = "--segment takes seconds from 1 to 3600";
                return false;
            }
            options->segmentSeconds = number;
        } else {
            *error = std::string("unknown option ") + arg;
            return false;
        }
    }
    if (options->toBeat >= 0 && options->toBeat <= options->fromBeat) {
        *error = "--to must be after --from";
        return false;
    }
    if (options->png && options->lossless) {
        *error = "--png and --lossless exclude each other";
        return false;
    }
    // 4:2:0 chroma covers 2 x 2 pixels: H.264 in yuv420p has even sides only.
    OfflineOptions& size = options->offline;
    if (!options->png && !options->lossless && (size.width % 2 || size.height % 2)) {
        if (!options->roundToEven) {
            char text[160];
            snprintf(text, sizeof text, "H.264 in yuv420p needs an even width and height, not %d x %d (--round makes it %d x %d)",
                     size.width, size.height, size.width + size.width % 2, size.height + size.height % 2);
            *error = text;
            return false;
        }
        size.width += size.width % 2;
        size.height += size.height % 2;
    }
    options->offline.offscreen = true;
    return true;
}

// >> frame counts
int64_t captureGopFrames(FrameRate rate)
{
    int64_t frames = (rate.num + rate.den) / (2 * rate.den); // half a second, rounded
    return frames < 1 ? 1 : frames;
}

int64_t captureSegmentFrames(FrameRate rate, double seconds)
{
    int64_t gop = captureGopFrames(rate);
    int64_t frames = (int64_t)ceil(seconds * rate.num / rate.den / gop) * gop;
    if (frames < gop) frames = gop;
    // The concat list gives each segment's length in microseconds: it must come out whole, or the
    // joins would drift. `num` whole GOPs always do, so the search ends.
    while ((frames * rate.den % rate.num) * MICROSECONDS % rate.num != 0) frames += gop;
    return frames;
}

// >> files
static bool fileExists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

static bool writeWhole(const std::string& path, const std::string& text)
{
    std::string part = path + PART_SUFFIX;
    FILE* f = fopen(part.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = fclose(f) == 0 && ok;
    if (ok) ok = rename(part.c_str(), path.c_str()) == 0;
    if (!ok) unlink(part.c_str());
    return ok;
}

static std::string readText(const std::string& path)
{
    std::string text;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    fclose(f);
    return text;
}

static void putLittle(std::string* out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; i++) out->push_back((char)((value >> (8 * i)) & 0xff));
}

// 16-bit stereo PCM at 44.1 kHz.
static std::string wavBytes(const int16_t* frames, uint64_t frameCount)
{
    std::string out;
    uint32_t dataBytes = (uint32_t)(frameCount * 4);
    out += "RIFF";
    putLittle(&out, 36 + dataBytes, 4);
    out += "WAVEfmt ";
    putLittle(&out, 16, 4);
    putLittle(&out, 1, 2); // PCM
    putLittle(&out, AUDIO_CHANNELS, 2);
    putLittle(&out, AUDIO_SAMPLE_RATE, 4);
    putLittle(&out, AUDIO_BYTES_PER_SECOND, 4);
    putLittle(&out, 4, 2);
    putLittle(&out, 16, 2);
    out += "data";
    putLittle(&out, dataBytes, 4);
    out.append((const char*)frames, (size_t)frameCount * 4);
    return out;
}

// >> ffmpeg
// A running ffmpeg and the pipe to its standard input (-1 when it reads none).
struct Encoder {
    pid_t pid = -1;
    int input = -1;
};

static bool findProgram(const char* name)
{
    const char* path = getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

// Starts ffmpeg with an argument vector (no shell: any folder name is passed as it is). It gets a
// process group of its own, so a Ctrl-C reaches only the capture, which then stops it.
static bool startFfmpeg(const std::vector<std::string>& args, bool withInput, Encoder* encoder)
{
    std::vector<char*> argv;
    argv.push_back((char*)"ffmpeg");
    for (const std::string& a : args) argv.push_back((char*)a.c_str());
    argv.push_back(nullptr);

    int fds[2] = {-1, -1};
    if (withInput && pipe2(fds, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (withInput) posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    else posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    int failed = posix_spawnp(&pid, "ffmpeg", &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (withInput) close(fds[0]);
    if (failed) {
        if (withInput) close(fds[1]);
        errno = failed;
        return false;
    }
    encoder->pid = pid;
    encoder->input = withInput ? fds[1] : -1;
    if (withInput) fcntl(encoder->input, F_SETPIPE_SZ, (int)PIPE_BYTES);
    return true;
}

// Closes its input and waits for it: its exit code, or 128 + the signal that ended it.
static int finishFfmpeg(Encoder* encoder)
{
    if (encoder->input >= 0) close(encoder->input);
    encoder->input = -1;
    if (encoder->pid < 0) return 0;
    int status = 0;
    while (waitpid(encoder->pid, &status, 0) < 0 && errno == EINTR) {}
    encoder->pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

static void stopFfmpeg(Encoder* encoder)
{
    if (encoder->pid >= 0) kill(encoder->pid, SIGKILL);
    finishFfmpeg(encoder);
}

// ffmpeg takes input and output names as URLs: "file:" keeps a name with a colon a file name.
static std::string fileUrl(const std::string& path) { return "file:" + path; }

static std::string rateText(FrameRate rate)
{
    char text[48];
    snprintf(text, sizeof text, "%lld/%lld", (long long)rate.num, (long long)rate.den);
    return text;
}

// >> the run
static volatile sig_atomic_t s_interrupted;
static void onSignal(int) { s_interrupted = 1; }

struct CaptureRun {
    const CaptureOptions* options;
    std::string folder;    // with a trailing slash
    const char* extension; // of segments and the final video: ".mp4" or ".mkv"
    int64_t frames;        // in the span
    int64_t firstKept;     // where this run starts writing
    int64_t segmentFrames;
    Encoder encoder;       // the segment being encoded
    int64_t segment = -1;  // its index; -1: none
    Image picture;         // --png: the frame turned top row first
    struct timespec started;
    int64_t renderedThisRun = 0;
    bool failed = false;
};

static std::string segmentName(const CaptureRun& run, int64_t index)
{
    char name[48];
    snprintf(name, sizeof name, "segment_%06lld%s", (long long)index, run.extension);
    return name;
}

static std::string frameName(int64_t index)
{
    char name[48];
    snprintf(name, sizeof name, "frame_%06lld.png", (long long)index);
    return name;
}

static double secondsSince(const struct timespec& since)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (now.tv_sec - since.tv_sec) + (now.tv_nsec - since.tv_nsec) * 1e-9;
}

static void showProgress(CaptureRun* run, int64_t index)
{
    int64_t done = index + 1, total = run->frames;
    bool terminal = isatty(2);
    // A log file gets a line per tenth of the work; a terminal a bar redrawn in place.
    if (!terminal && done != total && done * 10 / total == (done - 1) * 10 / total) return;
    double elapsed = secondsSince(run->started);
    double rate = run->renderedThisRun / (elapsed > 0 ? elapsed : 1e-9);
    double left = (total - done) / (rate > 0 ? rate : 1e-9);
    const int barWidth = 30;
    char bar[barWidth + 1];
    int filled = (int)(barWidth * done / total);
    for (int i = 0; i < barWidth; i++) bar[i] = i < filled ? '#' : '.';
    bar[barWidth] = 0;
    const char* phase = index < run->firstKept ? "simulating" : "capturing";
    fprintf(stderr, "%s[%s] %lld/%lld frames  %.1f fps  %02d:%02d:%02d left  %s%s", terminal ? "\r" : "", bar,
            (long long)done, (long long)total, rate, (int)left / 3600, (int)left / 60 % 60, (int)left % 60, phase,
            terminal ? "   " : "\n");
    if (terminal && done == total) fprintf(stderr, "\n");
}

static bool onRendered(int64_t index, void* user)
{
    CaptureRun* run = (CaptureRun*)user;
    run->renderedThisRun++;
    showProgress(run, index);
    return !s_interrupted;
}

static bool writeAll(int fd, const uint8_t* data, size_t size)
{
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR && !s_interrupted) continue;
            return false;
        }
        data += n;
        size -= (size_t)n;
    }
    return true;
}

static std::vector<std::string> segmentArguments(const CaptureRun& run, const std::string& output)
{
    const CaptureOptions& o = *run.options;
    char size[32], crf[16], gop[24];
    snprintf(size, sizeof size, "%dx%d", o.offline.width, o.offline.height);
    snprintf(crf, sizeof crf, "%d", o.crf);
    snprintf(gop, sizeof gop, "%lld", (long long)captureGopFrames(o.rate));
    // Rows arrive bottom first, as GL reads them: vflip only changes where ffmpeg starts reading.
    std::vector<std::string> a = {"-hide_banner", "-loglevel", "error", "-y", "-f", "rawvideo", "-pix_fmt", "rgb0",
                                  "-s", size, "-framerate", rateText(o.rate), "-i", "pipe:0"};
    if (o.lossless) {
        a.insert(a.end(), {"-vf", "vflip", "-c:v", "ffv1", "-level", "3", "-g", "1", "-slicecrc", "1",
                           "-pix_fmt", "bgr0", "-color_primaries", "bt709", "-color_trc", "iec61966-2-1",
                           "-colorspace", "rgb", "-color_range", "pc", "-an", "-f", "matroska"});
    } else {
        // The BT.709 matrix into limited range, and the stream says so.
        a.insert(a.end(), {"-vf", "vflip,scale=out_color_matrix=bt709:out_range=tv:flags=bicubic+accurate_rnd,"
                                  "format=yuv420p",
                           "-c:v", "libx264", "-profile:v", "high", "-crf", crf, "-g", gop, "-flags", "+cgop",
                           "-color_primaries", "bt709", "-color_trc", "bt709", "-colorspace", "bt709",
                           "-color_range", "tv", "-an", "-f", "mp4"});
    }
    a.push_back(fileUrl(output));
    return a;
}

// Closes the segment in progress: ffmpeg finishes it and it takes its final name.
static bool finishSegment(CaptureRun* run)
{
    std::string name = run->folder + segmentName(*run, run->segment);
    int code = finishFfmpeg(&run->encoder);
    run->segment = -1;
    if (code != 0) {
        fprintf(stderr, "\nhalvoren-capture: ffmpeg failed (exit code %d) on %s\n", code, name.c_str());
        unlink((name + PART_SUFFIX).c_str());
        return false;
    }
    if (rename((name + PART_SUFFIX).c_str(), name.c_str()) != 0) {
        fprintf(stderr, "\nhalvoren-capture: cannot rename %s%s: %s\n", name.c_str(), PART_SUFFIX, strerror(errno));
        return false;
    }
    return true;
}

static bool onFrame(int64_t index, const uint8_t* rgba, void* user)
{
    CaptureRun* run = (CaptureRun*)user;
    const int w = run->options->offline.width, h = run->options->offline.height;
    const size_t rowBytes = (size_t)w * 4;
    if (run->options->png) {
        Image& p = run->picture;
        p.width = w;
        p.height = h;
        p.rgba.resize(rowBytes * h);
        for (int y = 0; y < h; y++) memcpy(&p.rgba[y * rowBytes], rgba + (size_t)(h - 1 - y) * rowBytes, rowBytes);
        std::string name = run->folder + frameName(index);
        if (!writePng(name + PART_SUFFIX, p) || rename((name + PART_SUFFIX).c_str(), name.c_str()) != 0) {
            fprintf(stderr, "\nhalvoren-capture: cannot write %s\n", name.c_str());
            unlink((name + PART_SUFFIX).c_str());
            run->failed = true;
            return false;
        }
        return true;
    }
    if (run->segment < 0) {
        run->segment = index / run->segmentFrames;
        std::string name = run->folder + segmentName(*run, run->segment);
        if (!startFfmpeg(segmentArguments(*run, name + PART_SUFFIX), true, &run->encoder)) {
            fprintf(stderr, "\nhalvoren-capture: cannot start ffmpeg: %s\n", strerror(errno));
            run->segment = -1;
            run->failed = true;
            return false;
        }
    }
    if (!writeAll(run->encoder.input, rgba, rowBytes * h)) {
        if (s_interrupted) return false;
        // ffmpeg went away: its exit code and messages say why.
        finishSegment(run);
        run->failed = true;
        return false;
    }
    int64_t segmentEnd = std::min(run->frames, (run->segment + 1) * run->segmentFrames);
    if (index + 1 == segmentEnd && !finishSegment(run)) {
        run->failed = true;
        return false;
    }
    return true;
}

// Joins the segments without re-encoding and adds the audio, encoded once over the whole span.
static bool joinSegments(const CaptureRun& run, const std::string& output)
{
    const CaptureOptions& o = *run.options;
    int64_t count = (run.frames + run.segmentFrames - 1) / run.segmentFrames;
    // Each segment's exact length, so the joins add no rounding of the container's own.
    int64_t micros = run.segmentFrames * o.rate.den % o.rate.num * MICROSECONDS / o.rate.num +
                     run.segmentFrames * o.rate.den / o.rate.num * MICROSECONDS;
    std::string list = "ffconcat version 1.0\n";
    for (int64_t i = 0; i < count; i++) {
        list += "file " + segmentName(run, i) + "\n";
        char duration[64];
        snprintf(duration, sizeof duration, "duration %lld.%06lld\n", (long long)(micros / MICROSECONDS),
                 (long long)(micros % MICROSECONDS));
        if (i + 1 < count) list += duration;
    }
    if (!writeWhole(run.folder + SEGMENT_LIST_NAME, list)) {
        fprintf(stderr, "halvoren-capture: cannot write %s%s\n", run.folder.c_str(), SEGMENT_LIST_NAME);
        return false;
    }
    std::vector<std::string> a = {"-hide_banner", "-loglevel", "error", "-y", "-nostdin", "-f", "concat",
                                  "-i", fileUrl(run.folder + SEGMENT_LIST_NAME), "-i", fileUrl(run.folder + AUDIO_NAME),
                                  "-map", "0:v:0", "-map", "1:a:0", "-c:v", "copy"};
    if (o.lossless) {
        a.insert(a.end(), {"-c:a", "flac", "-f", "matroska"});
    } else {
        a.insert(a.end(), {"-af", "aresample=resampler=soxr:precision=28", "-ar", "48000", "-ac", "2", "-c:a", "aac",
                           "-profile:a", "aac_low", "-b:a", "384k", "-movflags", "+faststart", "-f", "mp4"});
    }
    a.push_back(fileUrl(output + PART_SUFFIX));
    Encoder join;
    if (!startFfmpeg(a, false, &join)) {
        fprintf(stderr, "halvoren-capture: cannot start ffmpeg: %s\n", strerror(errno));
        return false;
    }
    int code = finishFfmpeg(&join);
    if (code != 0 || rename((output + PART_SUFFIX).c_str(), output.c_str()) != 0) {
        fprintf(stderr, "halvoren-capture: ffmpeg failed (exit code %d) joining the segments into %s\n", code,
                output.c_str());
        unlink((output + PART_SUFFIX).c_str());
        return false;
    }
    return true;
}

static std::string settingsText(const CaptureOptions& o, double fromSeconds, int64_t frames)
{
    char text[512];
    snprintf(text, sizeof text,
             "# halvoren-capture: the capture this folder holds; --resume continues it only with these\n"
             "size %d x %d\nsamples %d\nfps %s\nfrom %.9f s\nframes %lld\nmode %s\ncrf %d\nsegment %.3f s\n",
             o.offline.width, o.offline.height, o.offline.samples, rateText(o.rate).c_str(), fromSeconds,
             (long long)frames, o.png ? "png" : o.lossless ? "ffv1+flac mkv" : "h264+aac mp4", o.crf, o.segmentSeconds);
    return std::string(text) + "data " + (o.offline.dataDir.empty() ? "archive " + o.offline.archive : o.offline.dataDir) + "\n";
}

int captureRun(const CaptureOptions& options)
{
    const CaptureOptions& o = options;
    if (!o.png && !findProgram("ffmpeg")) {
        fprintf(stderr, "halvoren-capture: ffmpeg is not installed (apt-get install ffmpeg); --png writes frames "
                        "and a WAV without it\n");
        return 1;
    }
    mkdir(o.folder.c_str(), 0755);
    struct stat st;
    if (stat(o.folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || access(o.folder.c_str(), W_OK | X_OK) != 0) {
        fprintf(stderr, "halvoren-capture: cannot write into the folder %s\n", o.folder.c_str());
        return 1;
    }
    CaptureRun run;
    run.options = &o;
    run.folder = o.folder + "/";
    run.extension = o.lossless ? ".mkv" : ".mp4";
    run.segmentFrames = captureSegmentFrames(o.rate, o.segmentSeconds);
    std::string output = run.folder + (o.lossless ? "halvoren.mkv" : "halvoren.mp4");

    OfflineSession session;
    if (!offlineOpen(&session, o.offline)) return 1;
    double song = offlineSongSeconds(session);
    double from = offlineBeatToSeconds(session, o.fromBeat);
    double to = o.toBeat < 0 ? song : std::min(song, offlineBeatToSeconds(session, o.toBeat));
    // Frame k shows show time from + k / rate: as many frames as fit before the end.
    run.frames = (int64_t)floor((to - from) * o.rate.num / o.rate.den + 1e-9);
    if (run.frames < 1) {
        fprintf(stderr, "halvoren-capture: --from is at or past the end of the song (%.2f s)\n", song);
        return 1;
    }

    // Where an earlier run stopped: after the last whole segment or frame, counted from the start.
    std::string settings = settingsText(o, from, run.frames);
    run.firstKept = 0;
    if (o.resume) {
        std::string earlier = readText(run.folder + SETTINGS_NAME);
        if (earlier.empty()) {
            fprintf(stderr, "halvoren-capture: nothing to resume in %s: starting at the beginning\n", o.folder.c_str());
        } else if (earlier != settings) {
            fprintf(stderr, "halvoren-capture: %s holds a capture made with other settings (see its %s); give the "
                            "same options, or leave out --resume to start again\n", o.folder.c_str(), SETTINGS_NAME);
            return 1;
        } else if (o.png) {
            while (run.firstKept < run.frames && fileExists(run.folder + frameName(run.firstKept))) run.firstKept++;
        } else {
            int64_t whole = 0;
            while (whole * run.segmentFrames < run.frames && fileExists(run.folder + segmentName(run, whole))) whole++;
            run.firstKept = std::min(run.frames, whole * run.segmentFrames);
        }
    }
    // A fresh start: files of an earlier capture must not pass for this one's on a later resume.
    if (run.firstKept == 0) {
        for (int64_t i = 0; i < run.frames; i++) unlink((run.folder + (o.png ? frameName(i) : segmentName(run, i))).c_str());
    }
    if (!writeWhole(run.folder + SETTINGS_NAME, settings)) {
        fprintf(stderr, "halvoren-capture: cannot write into the folder %s\n", o.folder.c_str());
        return 1;
    }

    // The song cut to the span: frame k and audio sample k x 44100 x den / num belong together.
    // The first sample is the one the clock reads at the first frame.
    uint64_t songFrames = 0;
    const int16_t* samples = audioChannelSamples(session.demo->music->stream, &songFrames);
    uint64_t firstSample = audioChannelSeconds2Bytes(session.demo->music->stream, from) / 4;
    uint64_t sampleCount = (uint64_t)llround((double)run.frames * o.rate.den / o.rate.num * AUDIO_SAMPLE_RATE);
    if (firstSample > songFrames) firstSample = songFrames;
    if (firstSample + sampleCount > songFrames) sampleCount = songFrames - firstSample;
    if (!samples || !writeWhole(run.folder + AUDIO_NAME, wavBytes(samples + firstSample * 2, sampleCount))) {
        fprintf(stderr, "halvoren-capture: cannot write %s%s\n", run.folder.c_str(), AUDIO_NAME);
        return 1;
    }

    if (run.firstKept > 0)
        fprintf(stderr, "halvoren-capture: resuming: frames 0 to %lld are already written; simulating them without "
                        "writing\n", (long long)run.firstKept - 1);
    if (run.firstKept == run.frames && o.png)
        fprintf(stderr, "halvoren-capture: every frame is already written\n");

    // Ctrl-C and termination stop at the next frame, leaving whole files; a vanished ffmpeg is an
    // error on the pipe, not a signal.
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = onSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    s_interrupted = 0;

    OfflineStream stream;
    stream.count = run.frames;
    stream.firstKept = run.firstKept;
    stream.onFrame = onFrame;
    stream.onRendered = onRendered;
    stream.user = &run;
    clock_gettime(CLOCK_MONOTONIC, &run.started);
    bool complete = run.firstKept == run.frames || offlineStreamFrames(&session, from, o.rate, stream);
    if (!complete || s_interrupted) {
        if (run.segment >= 0) {
            stopFfmpeg(&run.encoder);
            unlink((run.folder + segmentName(run, run.segment) + PART_SUFFIX).c_str());
        }
        if (s_interrupted) {
            fprintf(stderr, "\nhalvoren-capture: interrupted; what %s holds is whole: give --resume to go on\n",
                    o.folder.c_str());
            return CAPTURE_INTERRUPTED;
        }
        if (!run.failed) fprintf(stderr, "halvoren-capture: could not read the frames back\n");
        return 1;
    }
    double rendered = secondsSince(run.started);
    printf("%lld frames at %s fps (%.3f s), audio %.3f s, %.1f frames per second: %s\n", (long long)run.frames,
           rateText(o.rate).c_str(), (double)run.frames * o.rate.den / o.rate.num,
           (double)sampleCount / AUDIO_SAMPLE_RATE, run.renderedThisRun / (rendered > 0 ? rendered : 1e-9),
           o.folder.c_str());
    if (o.png) return 0;

    if (!joinSegments(run, output)) return 1;
    // The video is whole: the pieces it was made from go.
    for (int64_t i = 0; i * run.segmentFrames < run.frames; i++) unlink((run.folder + segmentName(run, i)).c_str());
    unlink((run.folder + SEGMENT_LIST_NAME).c_str());
    unlink((run.folder + AUDIO_NAME).c_str());
    unlink((run.folder + SETTINGS_NAME).c_str());
    printf("wrote %s\n", output.c_str());
    return 0;
}

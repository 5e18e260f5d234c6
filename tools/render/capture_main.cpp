// halvoren-capture: the show as video material, rendered headless in virtual time.
//
//   halvoren-capture [--out DIR] [--fps F] [--from BEAT] [--to BEAT] [--width W --height H]
//                    [--samples N] [--archive FILE | --data DIR]
//
// Writes DIR/frame_000000.png ... at F frames per second (default 60, 1280 x 720) from --from to
// --to (default: the whole song) and DIR/audio.wav, the song cut to the same span, so frame k and
// audio sample k x 44100 / F belong together. Shows a progress bar on the terminal. When ffmpeg
// is installed it assembles DIR/halvoren.mp4 (H.264 + AAC); otherwise it prints the command.
#include "offline.h"

#include "scenes/demo.h"
#include "util/music/audio.h"
#include "util/music/music.h"
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h> // isatty

static int usage(const char* why)
{
    fprintf(stderr,
            "halvoren-capture: %s\n"
            "usage: halvoren-capture [--out DIR] [--fps F] [--from BEAT] [--to BEAT] [--width W --height H]\n"
            "                        [--samples N] [--archive FILE | --data DIR]\n",
            why);
    return 2;
}

static void putLittle(FILE* f, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; i++) fputc((int)((value >> (8 * i)) & 0xff), f);
}

// 16-bit stereo PCM at 44.1 kHz.
static bool writeWav(const std::string& path, const int16_t* frames, uint64_t frameCount)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    uint32_t dataBytes = (uint32_t)(frameCount * 4);
    fwrite("RIFF", 1, 4, f);
    putLittle(f, 36 + dataBytes, 4);
    fwrite("WAVEfmt ", 1, 8, f);
    putLittle(f, 16, 4);
    putLittle(f, 1, 2); // PCM
    putLittle(f, AUDIO_CHANNELS, 2);
    putLittle(f, AUDIO_SAMPLE_RATE, 4);
    putLittle(f, AUDIO_BYTES_PER_SECOND, 4);
    putLittle(f, 4, 2);
    putLittle(f, 16, 2);
    fwrite("data", 1, 4, f);
    putLittle(f, dataBytes, 4);
    bool ok = fwrite(frames, 4, (size_t)frameCount, f) == frameCount;
    return fclose(f) == 0 && ok;
}

struct CaptureState {
    std::string folder;
    size_t total;
    double fps;
    struct timespec started;
    bool failed;
};

static double wallSeconds(const struct timespec& since)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (now.tv_sec - since.tv_sec) + (now.tv_nsec - since.tv_nsec) * 1e-9;
}

static void onFrame(size_t index, const Image& picture, void* user)
{
    CaptureState* state = (CaptureState*)user;
    char name[64];
    snprintf(name, sizeof name, "/frame_%06zu.png", index);
    if (!writePng(state->folder + name, picture)) state->failed = true;
    size_t done = index + 1;
    double elapsed = wallSeconds(state->started);
    double rate = done / (elapsed > 0 ? elapsed : 1e-9);
    double left = (state->total - done) / (rate > 0 ? rate : 1e-9);
    // A log file gets a line per tenth of the work; a terminal a bar redrawn in place.
    bool terminal = isatty(2);
    if (!terminal && done != state->total && done * 10 / state->total == (done - 1) * 10 / state->total) return;
    const int barWidth = 30;
    int filled = (int)(barWidth * done / state->total);
    char bar[barWidth + 1];
    for (int i = 0; i < barWidth; i++) bar[i] = i < filled ? '#' : '.';
    bar[barWidth] = 0;
    fprintf(stderr, "%s[%s] %zu/%zu frames  %.1f fps  %02d:%02d left %s", terminal ? "\r" : "", bar, done,
            state->total, rate, (int)left / 60, (int)left % 60, terminal ? "" : "\n");
    if (terminal && done == state->total) fprintf(stderr, "\n");
}

int main(int argc, char** argv)
{
    OfflineOptions options;
    std::string folder = "capture";
    double fps = 60.0, fromBeat = 0.0, toBeat = -1.0;
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        if (i + 1 >= argc) return usage("every option takes a value");
        const char* value = argv[++i];
        double number = 0.0;
        bool numeric = offlineParseNumber(value, &number);
        const char* error = nullptr;
        int shared = offlineParseOption(arg, value, &options, &error);
        if (shared < 0) return usage(error);
        if (shared > 0) continue;
        if (!strcmp(arg, "--out")) folder = value;
        else if (!strcmp(arg, "--fps")) {
            if (!numeric || number < 1 || number > 240) return usage("--fps takes a rate from 1 to 240");
            fps = number;
        } else if (!strcmp(arg, "--from") || !strcmp(arg, "--to")) {
            if (!numeric || number < 0) return usage("--from and --to take beat numbers >= 0");
            (arg[2] == 'f' ? fromBeat : toBeat) = number;
        } else return usage((std::string("unknown option ") + arg).c_str());
    }
    if (toBeat >= 0 && toBeat <= fromBeat) return usage("--to must be after --from");
    mkdir(folder.c_str(), 0755);
    struct stat st;
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        fprintf(stderr, "halvoren-capture: cannot create folder %s\n", folder.c_str());
        return 1;
    }

    OfflineSession session;
    if (!offlineOpen(&session, options)) return 1;
    double song = offlineSongSeconds(session);
    double from = offlineBeatToSeconds(session, fromBeat);
    double to = toBeat < 0 ? song : std::min(song, offlineBeatToSeconds(session, toBeat));
    if (from >= to) {
        fprintf(stderr, "halvoren-capture: --from is past the end of the song\n");
        return 2;
    }
    // Frame k shows show time from + k / fps.
    size_t frames = (size_t)floor((to - from) * fps);
    std::vector<double> times(frames);
    for (size_t k = 0; k < frames; k++) times[k] = from + k / fps;

    uint64_t songFrames = 0;
    const int16_t* samples = audioChannelSamples(session.demo->music->stream, &songFrames);
    uint64_t firstSample = (uint64_t)llround(from * AUDIO_SAMPLE_RATE);
    uint64_t sampleCount = (uint64_t)llround(frames / fps * AUDIO_SAMPLE_RATE);
    if (firstSample > songFrames) firstSample = songFrames;
    if (firstSample + sampleCount > songFrames) sampleCount = songFrames - firstSample;
    std::string wav = folder + "/audio.wav";
    if (!samples || !writeWav(wav, samples + firstSample * 2, sampleCount)) {
        fprintf(stderr, "halvoren-capture: cannot write %s\n", wav.c_str());
        return 1;
    }

    CaptureState state = {folder, frames, fps, {}, false};
    clock_gettime(CLOCK_MONOTONIC, &state.started);
    offlineRenderTimes(&session, from, fps, times, onFrame, &state);
    if (state.failed) {
        fprintf(stderr, "halvoren-capture: could not write every frame into %s\n", folder.c_str());
        return 1;
    }
    printf("%zu frames at %g fps (%.3f s), audio %.3f s: %s\n", frames, fps, frames / fps,
           (double)sampleCount / AUDIO_SAMPLE_RATE, folder.c_str());

    char command[2048];
    snprintf(command, sizeof command,
             "ffmpeg -y -loglevel error -framerate %g -i '%s/frame_%%06d.png' -i '%s/audio.wav' "
             "-c:v libx264 -pix_fmt yuv420p -crf 18 -c:a aac -b:a 192k -shortest '%s/halvoren.mp4'",
             fps, folder.c_str(), folder.c_str(), folder.c_str());
    if (system("command -v ffmpeg >/dev/null 2>&1") == 0) {
        printf("assembling %s/halvoren.mp4 with ffmpeg\n", folder.c_str());
        if (system(command) != 0) {
            fprintf(stderr, "halvoren-capture: ffmpeg failed\n");
            return 1;
        }
        printf("wrote %s/halvoren.mp4\n", folder.c_str());
    } else {
        printf("ffmpeg is not installed; to make a video run:\n%s\n", command);
    }
    return 0;
}

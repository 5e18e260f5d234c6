// music_clock_bench: how smooth the heard-now clock is in real time.
//
// Plays the committed test song (looped) through SDL's dummy audio driver and reads the position
// once per frame at 60 frames per second, as the show does. For each frame it compares the clock's
// advance with the wall clock's: the standard deviation of (clock step - wall step) and the worst
// single difference, in milliseconds. Frames in which the song looped are left out. The beat clock
// is the position times a constant, so this is its smoothness in time units.
// Targets: standard deviation under 1 ms, worst under 3 ms.
#include "platform/platform.h"
#include "util/music/audio.h"
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <vector>

enum { FRAMES_PER_SECOND = 60, SECONDS = 10, WARM_UP_FRAMES = 30 };

static std::vector<uint8_t> readFile(const char* path)
{
    std::vector<uint8_t> bytes;
    FILE* f = fopen(path, "rb");
    if (!f) return bytes;
    uint8_t buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    fclose(f);
    return bytes;
}

int main()
{
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    std::vector<uint8_t> mp3 = readFile(HALVOREN_SOURCE_DIR "/tests/fixtures/sine344_2s.mp3");
    if (mp3.empty() || !audioInit()) {
        fprintf(stderr, "music_clock_bench: no test song or no audio output\n");
        return 1;
    }
    uint32_t stream = audioStreamCreate(mp3.data(), mp3.size(), AUDIO_SAMPLE_LOOP);
    if (!stream || !audioChannelPlay(stream, false)) {
        fprintf(stderr, "music_clock_bench: the test song does not play\n");
        return 1;
    }

    const uint64_t frameNs = 1000000000ull / FRAMES_PER_SECOND;
    const int frames = FRAMES_PER_SECOND * SECONDS;
    struct timespec next;
    clock_gettime(CLOCK_MONOTONIC, &next);
    uint64_t lastPos = 0, lastNs = 0;
    double sum = 0.0, sumSquares = 0.0, worst = 0.0, clockMs = 0.0, wallMs = 0.0;
    int counted = 0, looped = 0;
    for (int frame = 0; frame < frames + WARM_UP_FRAMES; frame++) {
        // The wall clock is read right after the position, which is interpolated to its own return.
        uint64_t pos = audioChannelGetPosition(stream, AUDIO_POS_BYTE);
        uint64_t ns = platformCounter();
        if (frame > WARM_UP_FRAMES) {
            if (pos < lastPos) {
                looped++;
            } else {
                double clockStep = (double)(pos - lastPos) / AUDIO_BYTES_PER_SECOND * 1000.0;
                double wallStep = (double)(ns - lastNs) / 1e6;
                double diff = clockStep - wallStep;
                sum += diff;
                sumSquares += diff * diff;
                if (fabs(diff) > worst) worst = fabs(diff);
                clockMs += clockStep;
                wallMs += wallStep;
                counted++;
            }
        }
        lastPos = pos;
        lastNs = ns;
        next.tv_nsec += (long)frameNs;
        while (next.tv_nsec >= 1000000000L) {
            next.tv_nsec -= 1000000000L;
            next.tv_sec++;
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
    }
    AudioClockStats stats = audioClockStats();
    audioClose();

    double mean = sum / counted;
    double deviation = sqrt(sumSquares / counted - mean * mean);
    printf("music clock smoothness, dummy audio driver, %d frames at %d fps (%d looped frames left out)\n",
           counted, FRAMES_PER_SECOND, looped);
    printf("  %u callbacks observed, %u resyncs, %u readings held at the data delivered (a starved device)\n",
           stats.observations, stats.resyncs, stats.stalls);
    printf("  clock advanced %.1f ms while the wall clock advanced %.1f ms (ratio %.5f)\n", clockMs, wallMs,
           clockMs / wallMs);
    printf("  %-44s %8.3f ms   target < 1 ms   ratio to target %.2f\n", "std-dev of (clock step - wall step)",
           deviation, deviation / 1.0);
    printf("  %-44s %8.3f ms   target < 3 ms   ratio to target %.2f\n", "worst |clock step - wall step|", worst,
           worst / 3.0);
    return 0;
}

// Fuzz target for the audio back end: decode MP3 bytes held in memory, then, on the virtual
// output, read positions, float samples and both spectra at the start, middle and end of what
// decoded. Undecodable data returns a reason and never exits.
#include "util/music/audio.h"

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

enum { MAX_INPUT_BYTES = 1 << 20 };

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > MAX_INPUT_BYTES) return 0;
    int16_t* samples = nullptr;
    uint64_t frames = 0;
    const char* reason = audioDecodeMp3(data, size, &samples, &frames);
    if ((reason == nullptr) != (samples != nullptr) || (reason == nullptr) != (frames > 0)) __builtin_trap();
    free(samples);
    if (reason) return 0;

    audioUseVirtualOutput(true);
    if (!audioInit()) __builtin_trap();
    uint32_t stream = audioStreamCreate(data, size, 0);
    if (!stream) __builtin_trap();
    uint64_t length = audioChannelGetLength(stream, AUDIO_POS_BYTE);
    if (length != frames * 4) __builtin_trap();
    audioChannelPlay(stream, false);
    static float out[AUDIO_MAX_FLOAT_BYTES / 4];
    const uint64_t at[] = {0, length / 2, length - 4, length + 400};
    for (int loop = 0; loop < 2; loop++) {
        audioChannelFlags(stream, loop ? (uint32_t)AUDIO_SAMPLE_LOOP : 0u, AUDIO_SAMPLE_LOOP);
        for (uint64_t position : at) {
            audioSetVirtualPosition(stream, position);
            if (audioChannelGetPosition(stream, AUDIO_POS_BYTE) > length) __builtin_trap();
            audioChannelIsActive(stream);
            audioChannelGetData(stream, out, AUDIO_DATA_FFT512);
            audioChannelGetData(stream, out, AUDIO_DATA_FFT2048);
            audioChannelGetData(stream, out, AUDIO_DATA_FLOAT | AUDIO_MAX_FLOAT_BYTES);
        }
    }
    return 0;
}

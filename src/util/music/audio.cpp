// audio: libmpg123 decoding, SDL playback, the heard-now clock and KissFFT spectra. See audio.h.
#include "util/music/audio.h"

#include "platform/platform.h" // platformWallNanoseconds
#include <SDL.h>               // SDL_OpenAudio, SDL_LockAudio
#include <kiss_fftr.h>         // kiss_fftr: real-input FFT for the spectra
#include <math.h>
#include <mpg123.h>            // mpg123_open_handle with a memory reader
#include <stdlib.h>
#include <string.h>

// >> constants
enum {
    BYTES_PER_FRAME = AUDIO_CHANNELS * 2,
    DEVICE_BUFFER_BYTES = AUDIO_DEVICE_SAMPLES * BYTES_PER_FRAME,
    SEGMENT_RING = 16,   // callback blocks remembered to map heard bytes to song positions
    FFT_SMALL = 512,
    FFT_LARGE = 2048,
    DECODE_CHUNK_BYTES = 65536,
};
static const uint64_t NOT_ENDED = ~(uint64_t)0;
// The smoothed clock follows each callback's observation by this fraction, but by at most
// MAX_CORRECTION_BYTES (half a millisecond) per callback, so one late callback on a busy machine
// shows as a slight change of pace rather than a step; that still follows a device running 2%
// off its nominal rate. A gap larger than RESYNC_BYTES (a stalled device) is taken at once.
static const double CLOCK_GAIN = 0.1;
static const double MAX_CORRECTION_BYTES = AUDIO_BYTES_PER_SECOND * 0.0005;
static const double RESYNC_BYTES = 2.0 * DEVICE_BUFFER_BYTES;
static const double BYTES_PER_NANOSECOND = AUDIO_BYTES_PER_SECOND / 1e9;

// >> state
// One stretch of bytes handed to the device: from `delivered` on (counted since the output
// opened) it carries the song from `songPos` on, or silence after the end.
struct Segment {
    uint64_t delivered;
    uint64_t songPos;
    bool silent;
};

static struct {
    bool virtualRequested;
    bool open;
    bool virtualOutput;
    uint32_t handle;           // current stream, 0 none; handles count up so stale ones fail
    uint32_t nextHandle;
    int16_t* samples;          // the decoded song, frames of two samples
    uint64_t lengthBytes;

    // Shared with the device callback: touched only under SDL_LockAudio.
    bool playing;
    bool loop;
    float volume;
    uint64_t songPos;          // song byte position of the next block the callback writes
    uint64_t delivered;        // bytes handed to the device since the output opened
    uint64_t endDelivered;     // delivered count where the song ran out (NOT_ENDED while not)
    uint64_t callbackNs;       // counter time of the latest callback while playing
    uint64_t callbackDelivered;// delivered count at the start of that callback's block
    uint32_t callbackCount;    // callbacks since play
    Segment segments[SEGMENT_RING];
    int segmentNext;

    // Main thread only: the smoothed heard-now clock, in delivered bytes.
    uint32_t seenCallbackCount;
    bool modelValid;
    double modelNs, modelBytes; // at counter time modelNs the model heard modelBytes
    uint64_t heardFloor;        // the last heard value returned (monotonic)
    AudioClockStats stats;

    uint64_t virtualPos;

    // Creator mode's transport: a paused stream holds its position and plays silence.
    bool paused;
    uint64_t pausedPos; // song byte position held while paused

    kiss_fftr_cfg fftSmall, fftLarge;
    float windowSmall[FFT_SMALL], windowLarge[FFT_LARGE];
    float fftInput[FFT_LARGE];
    kiss_fft_cpx fftOutput[FFT_LARGE / 2 + 1];
} s_audio;

// >> decoding
struct MemoryReader {
    const uint8_t* bytes;
    size_t size;
    size_t pos;
};

static ssize_t memoryRead(void* handle, void* out, size_t count)
{
    MemoryReader* r = (MemoryReader*)handle;
    size_t left = r->size - r->pos;
    if (count > left) count = left;
    memcpy(out, r->bytes + r->pos, count);
    r->pos += count;
    return (ssize_t)count;
}

static off_t memorySeek(void* handle, off_t offset, int whence)
{
    MemoryReader* r = (MemoryReader*)handle;
    off_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? (off_t)r->pos : (off_t)r->size;
    if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) return -1;
    off_t target = base + offset;
    if (target < 0 || target > (off_t)r->size) return -1;
    r->pos = (size_t)target;
    return target;
}

// Linear-interpolation resampling of stereo frames to AUDIO_SAMPLE_RATE. Only songs stored at
// another rate take this road; the show's song is 44.1 kHz already.
static const char* resample(int16_t** samples, uint64_t* frameCount, long rate)
{
    uint64_t inFrames = *frameCount;
    uint64_t outFrames = inFrames * AUDIO_SAMPLE_RATE / (uint64_t)rate;
    if (outFrames == 0) return "the MP3 data holds no audio";
    if (outFrames > (uint64_t)AUDIO_MAX_SONG_SECONDS * AUDIO_SAMPLE_RATE) {
        return "the song is longer than AUDIO_MAX_SONG_SECONDS";
    }
    int16_t* out = (int16_t*)malloc(outFrames * BYTES_PER_FRAME);
    if (!out) return "out of memory for the decoded song";
    const int16_t* in = *samples;
    const double step = (double)rate / AUDIO_SAMPLE_RATE;
    for (uint64_t i = 0; i < outFrames; i++) {
        double x = (double)i * step;
        uint64_t a = (uint64_t)x;
        uint64_t b = a + 1 < inFrames ? a + 1 : a;
        double f = x - (double)a;
        for (int c = 0; c < AUDIO_CHANNELS; c++) {
            double v = in[a * 2 + c] * (1.0 - f) + in[b * 2 + c] * f;
            out[i * 2 + c] = (int16_t)lrint(v);
        }
    }
    free(*samples);
    *samples = out;
    *frameCount = outFrames;
    return nullptr;
}

const char* audioDecodeMp3(const void* mp3, size_t size, int16_t** samples, uint64_t* frameCount)
{
    *samples = nullptr;
    *frameCount = 0;
    if (!mp3 || size == 0) return "no MP3 data";
    mpg123_init(); // does nothing on current libmpg123, needed by old ones
    int error = 0;
    mpg123_handle* mh = mpg123_new(nullptr, &error);
    if (!mh) return "the MP3 decoder could not be created";

    // Decoded at the file's own rate: libmpg123's gapless trimming is exact only there.
    MemoryReader reader = {(const uint8_t*)mp3, size, 0};
    long rate = 0;
    int channels = 0, encoding = 0;
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_FORCE_STEREO | MPG123_QUIET, 0);
    if (mpg123_replace_reader_handle(mh, memoryRead, memorySeek, nullptr) != MPG123_OK ||
        mpg123_open_handle(mh, &reader) != MPG123_OK ||
        mpg123_getformat(mh, &rate, &channels, &encoding) != MPG123_OK || rate <= 0 ||
        mpg123_format_none(mh) != MPG123_OK ||
        mpg123_format(mh, rate, MPG123_STEREO, MPG123_ENC_SIGNED_16) != MPG123_OK) {
        mpg123_delete(mh);
        return "the MP3 data does not decode";
    }

    const uint64_t maxBytes = (uint64_t)AUDIO_MAX_SONG_SECONDS * AUDIO_BYTES_PER_SECOND;
    const char* reason = nullptr;
    uint64_t capacity = 0, used = 0;
    uint8_t* pcm = nullptr;
    for (;;) {
        if (capacity - used < DECODE_CHUNK_BYTES) {
            uint64_t grown = capacity ? capacity * 2 : (uint64_t)AUDIO_BYTES_PER_SECOND * 8;
            if (grown > maxBytes + DECODE_CHUNK_BYTES) grown = maxBytes + DECODE_CHUNK_BYTES;
            if (grown <= capacity) { reason = "the song is longer than AUDIO_MAX_SONG_SECONDS"; break; }
            uint8_t* bigger = (uint8_t*)realloc(pcm, grown);
            if (!bigger) { reason = "out of memory for the decoded song"; break; }
            pcm = bigger;
            capacity = grown;
        }
        size_t done = 0;
        int result = mpg123_read(mh, pcm + used, DECODE_CHUNK_BYTES, &done);
        used += done;
        if (used > maxBytes) { reason = "the song is longer than AUDIO_MAX_SONG_SECONDS"; break; }
        if (result == MPG123_DONE) break;
        if (result == MPG123_OK || result == MPG123_NEW_FORMAT) continue;
        if (result == MPG123_NEED_MORE) break; // the data ends inside a frame: keep what decoded
        reason = "the MP3 data does not decode";
        break;
    }
    mpg123_close(mh);
    mpg123_delete(mh);

    used -= used % BYTES_PER_FRAME;
    if (!reason && used == 0) reason = "the MP3 data holds no audio";
    if (reason) {
        free(pcm);
        return reason;
    }
    // The buffer grew by doubling: give back what the song does not fill (up to half of it).
    if (uint8_t* fitted = (uint8_t*)realloc(pcm, used)) pcm = fitted;
    *samples = (int16_t*)pcm;
    *frameCount = used / BYTES_PER_FRAME;
    if (rate != AUDIO_SAMPLE_RATE) {
        reason = resample(samples, frameCount, rate);
        if (reason) {
            free(*samples);
            *samples = nullptr;
            *frameCount = 0;
        }
    }
    return reason;
}

// >> device callback (SDL's audio thread, SDL holds the audio lock)
static void pushSegment(uint64_t delivered, uint64_t songPos, bool silent)
{
    Segment& s = s_audio.segments[s_audio.segmentNext];
    s.delivered = delivered;
    s.songPos = songPos;
    s.silent = silent;
    s_audio.segmentNext = (s_audio.segmentNext + 1) % SEGMENT_RING;
}

static void audioCallback(void*, Uint8* out, int length)
{
    if (!s_audio.playing || !s_audio.samples) {
        memset(out, 0, (size_t)length);
        return;
    }
    s_audio.callbackNs = platformWallNanoseconds();
    s_audio.callbackDelivered = s_audio.delivered;
    s_audio.callbackCount++;

    const int volume = (int)(s_audio.volume * 65536.0f + 0.5f);
    uint64_t pos = s_audio.songPos;
    int written = 0;
    pushSegment(s_audio.delivered, pos, pos >= s_audio.lengthBytes);
    while (written < length) {
        if (pos >= s_audio.lengthBytes) {
            if (s_audio.loop) {
                pos = 0;
                pushSegment(s_audio.delivered + written, 0, false);
                continue;
            }
            if (s_audio.endDelivered == NOT_ENDED) {
                s_audio.endDelivered = s_audio.delivered + written;
                pushSegment(s_audio.endDelivered, s_audio.lengthBytes, true);
            }
            memset(out + written, 0, (size_t)(length - written));
            break;
        }
        uint64_t n = s_audio.lengthBytes - pos;
        if (n > (uint64_t)(length - written)) n = (uint64_t)(length - written);
        const int16_t* from = s_audio.samples + pos / 2;
        int16_t* to = (int16_t*)(out + written);
        for (uint64_t i = 0; i < n / 2; i++) to[i] = (int16_t)((from[i] * volume) >> 16);
        pos += n;
        written += (int)n;
    }
    s_audio.songPos = pos;
    s_audio.delivered += (uint64_t)length;
}

// >> output
void audioUseVirtualOutput(bool enabled) { s_audio.virtualRequested = enabled; }
bool audioVirtualOutput() { return s_audio.virtualRequested; }

static void makeWindow(float* window, int n)
{
    // Periodic Hann window: a sine centred on a bin keeps half its amplitude there.
    for (int i = 0; i < n; i++) window[i] = 0.5f - 0.5f * cosf(6.2831853f * (float)i / (float)n);
}

bool audioInit()
{
    if (s_audio.open) return true;
    s_audio.volume = 1.0f;
    s_audio.endDelivered = NOT_ENDED;
    if (s_audio.nextHandle == 0) s_audio.nextHandle = 1;
    if (!s_audio.fftSmall) {
        s_audio.fftSmall = kiss_fftr_alloc(FFT_SMALL, 0, nullptr, nullptr);
        s_audio.fftLarge = kiss_fftr_alloc(FFT_LARGE, 0, nullptr, nullptr);
        if (!s_audio.fftSmall || !s_audio.fftLarge) return false;
        makeWindow(s_audio.windowSmall, FFT_SMALL);
        makeWindow(s_audio.windowLarge, FFT_LARGE);
    }
    if (s_audio.virtualRequested) {
        s_audio.virtualOutput = true;
        s_audio.open = true;
        return true;
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) < 0) return false;
    SDL_AudioSpec want;
    memset(&want, 0, sizeof want);
    want.freq = AUDIO_SAMPLE_RATE;
    want.format = AUDIO_S16SYS;
    want.channels = AUDIO_CHANNELS;
    want.samples = AUDIO_DEVICE_SAMPLES;
    want.callback = audioCallback;
    // No "obtained" spec: SDL converts to the device's format, so the callback always gets ours.
    if (SDL_OpenAudio(&want, nullptr) < 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    s_audio.virtualOutput = false;
    s_audio.open = true;
    return true;
}

void audioClose()
{
    if (!s_audio.open) return;
    if (!s_audio.virtualOutput) {
        SDL_CloseAudio();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    free(s_audio.samples);
    s_audio.samples = nullptr;
    s_audio.handle = 0;
    s_audio.playing = false;
    s_audio.open = false;
    s_audio.virtualOutput = false;
}

static void lockAudio()
{
    if (!s_audio.virtualOutput) SDL_LockAudio();
}

static void unlockAudio()
{
    if (!s_audio.virtualOutput) SDL_UnlockAudio();
}

static bool validStream(uint32_t stream) { return stream != 0 && stream == s_audio.handle && s_audio.samples; }

uint32_t audioStreamCreate(const void* mp3, uint64_t size, uint32_t flags)
{
    if (!s_audio.open || size > (uint64_t)SIZE_MAX) return 0;
    int16_t* samples = nullptr;
    uint64_t frames = 0;
    if (audioDecodeMp3(mp3, (size_t)size, &samples, &frames) != nullptr) return 0;
    return audioStreamAdopt(samples, frames, flags);
}

uint32_t audioStreamAdopt(int16_t* samples, uint64_t frames, uint32_t flags)
{
    if (!s_audio.open || !samples) {
        free(samples);
        return 0;
    }
    if (!s_audio.virtualOutput) SDL_PauseAudio(1);
    lockAudio();
    free(s_audio.samples);
    s_audio.samples = samples;
    s_audio.lengthBytes = frames * BYTES_PER_FRAME;
    s_audio.handle = s_audio.nextHandle++;
    s_audio.playing = false;
    s_audio.paused = false;
    s_audio.loop = (flags & AUDIO_SAMPLE_LOOP) != 0;
    s_audio.songPos = 0;
    s_audio.endDelivered = NOT_ENDED;
    s_audio.callbackCount = 0;
    for (int i = 0; i < SEGMENT_RING; i++) s_audio.segments[i] = Segment{s_audio.delivered, 0, false};
    unlockAudio();
    s_audio.seenCallbackCount = 0;
    s_audio.modelValid = false;
    s_audio.heardFloor = s_audio.delivered;
    s_audio.virtualPos = 0;
    return s_audio.handle;
}

uint64_t audioChannelGetLength(uint32_t stream, uint32_t mode)
{
    if (!validStream(stream) || mode != AUDIO_POS_BYTE) return AUDIO_LENGTH_ERROR;
    return s_audio.lengthBytes;
}

double audioChannelBytes2Seconds(uint32_t stream, uint64_t bytes)
{
    if (!validStream(stream)) return -1.0;
    return (double)bytes / AUDIO_BYTES_PER_SECOND;
}

uint64_t audioChannelSeconds2Bytes(uint32_t stream, double seconds)
{
    if (!validStream(stream) || !(seconds >= 0.0) || seconds > 1e9) return AUDIO_LENGTH_ERROR;
    return (uint64_t)(seconds * AUDIO_SAMPLE_RATE) * BYTES_PER_FRAME;
}

// >> heard-now clock
// Delivered-byte count heard now. Each callback is an observation: when it ran, the bytes before
// its block minus one buffer still in the device were being heard. The model runs at the nominal
// rate and is pulled a fraction of the way to each new observation, so callback jitter and a
// device that runs slightly fast or slow give small, smooth corrections instead of steps.
// Called with the audio lock held.
static uint64_t heardDelivered()
{
    if (s_audio.callbackCount == 0) return s_audio.heardFloor;
    if (s_audio.callbackCount != s_audio.seenCallbackCount) {
        s_audio.stats.observations += s_audio.callbackCount - s_audio.seenCallbackCount;
        s_audio.seenCallbackCount = s_audio.callbackCount;
        double observedNs = (double)s_audio.callbackNs;
        double observed = (double)s_audio.callbackDelivered - DEVICE_BUFFER_BYTES;
        if (!s_audio.modelValid) {
            s_audio.modelValid = true;
            s_audio.modelBytes = observed;
        } else {
            double predicted = s_audio.modelBytes + (observedNs - s_audio.modelNs) * BYTES_PER_NANOSECOND;
            double error = observed - predicted;
            double correction = error * CLOCK_GAIN;
            if (correction > MAX_CORRECTION_BYTES) correction = MAX_CORRECTION_BYTES;
            if (correction < -MAX_CORRECTION_BYTES) correction = -MAX_CORRECTION_BYTES;
            if (fabs(error) > RESYNC_BYTES) s_audio.stats.resyncs++;
            s_audio.modelBytes = fabs(error) > RESYNC_BYTES ? observed : predicted + correction;
        }
        s_audio.modelNs = observedNs;
    }
    double heard = s_audio.modelBytes + ((double)platformWallNanoseconds() - s_audio.modelNs) * BYTES_PER_NANOSECOND;
    uint64_t result = heard <= 0.0 ? 0 : (uint64_t)heard;
    result -= result % BYTES_PER_FRAME;
    if (result > s_audio.delivered) { // never ahead of the data handed over
        result = s_audio.delivered;
        s_audio.stats.stalls++;
    }
    if (result < s_audio.heardFloor) result = s_audio.heardFloor;
    s_audio.heardFloor = result;
    return result;
}

// Song position of a delivered-byte count, through the newest segment that starts at or before it.
static uint64_t songPosition(uint64_t heard)
{
    const Segment* found = nullptr;
    for (int i = 1; i <= SEGMENT_RING; i++) {
        const Segment& s = s_audio.segments[(s_audio.segmentNext - i + SEGMENT_RING) % SEGMENT_RING];
        found = &s;
        if (s.delivered <= heard) break;
    }
    if (found->silent) return s_audio.lengthBytes;
    uint64_t offset = heard >= found->delivered ? heard - found->delivered : 0;
    uint64_t pos = found->songPos + offset;
    return pos > s_audio.lengthBytes ? s_audio.lengthBytes : pos;
}

static uint64_t virtualPosition()
{
    uint64_t pos = s_audio.virtualPos - s_audio.virtualPos % BYTES_PER_FRAME;
    if (pos < s_audio.lengthBytes) return pos;
    return s_audio.loop ? pos % s_audio.lengthBytes : s_audio.lengthBytes;
}

uint64_t audioChannelGetPosition(uint32_t stream, uint32_t mode)
{
    if (!validStream(stream) || mode != AUDIO_POS_BYTE) return AUDIO_LENGTH_ERROR;
    if (s_audio.virtualOutput) return virtualPosition();
    if (s_audio.paused) return s_audio.pausedPos;
    lockAudio();
    uint64_t pos = songPosition(heardDelivered());
    unlockAudio();
    return pos;
}

void audioSetVirtualPosition(uint32_t stream, uint64_t bytes)
{
    if (validStream(stream) && s_audio.virtualOutput) s_audio.virtualPos = bytes;
}

// >> control
uint32_t audioChannelFlags(uint32_t stream, uint32_t flags, uint32_t mask)
{
    if (!validStream(stream)) return ~0u;
    lockAudio();
    if (mask & AUDIO_SAMPLE_LOOP) s_audio.loop = (flags & AUDIO_SAMPLE_LOOP) != 0;
    uint32_t now = s_audio.loop ? (uint32_t)AUDIO_SAMPLE_LOOP : 0u;
    unlockAudio();
    return now;
}

// The device plays song byte `pos` next and the heard-now clock reads it at once; what is still
// queued in the device is heard, but the clock does not wait for it. Called with the audio lock held.
static void anchorAt(uint64_t pos)
{
    s_audio.songPos = pos;
    s_audio.endDelivered = NOT_ENDED;
    for (int i = 0; i < SEGMENT_RING; i++) s_audio.segments[i] = Segment{s_audio.delivered, pos, false};
    s_audio.callbackCount = 0;
    s_audio.seenCallbackCount = 0;
    s_audio.modelValid = false;
    s_audio.heardFloor = s_audio.delivered;
}

bool audioChannelPlay(uint32_t stream, bool restart)
{
    if (!validStream(stream)) return false;
    if (s_audio.virtualOutput) {
        if (restart) s_audio.virtualPos = 0;
        s_audio.playing = true;
        s_audio.paused = false;
        return true;
    }
    if (s_audio.paused && !restart) {
        lockAudio();
        anchorAt(s_audio.pausedPos);
        s_audio.paused = false;
        s_audio.playing = true;
        unlockAudio();
        SDL_PauseAudio(0);
        return true;
    }
    s_audio.paused = false;
    lockAudio();
    if (restart || !s_audio.playing) {
        if (restart) s_audio.songPos = 0;
        s_audio.endDelivered = NOT_ENDED;
        s_audio.callbackCount = 0;
        s_audio.seenCallbackCount = 0;
        s_audio.modelValid = false;
        pushSegment(s_audio.delivered, s_audio.songPos, false);
    }
    s_audio.playing = true;
    unlockAudio();
    SDL_PauseAudio(0);
    return true;
}

bool audioChannelPause(uint32_t stream)
{
    if (!validStream(stream) || s_audio.paused) return false;
    if (!s_audio.virtualOutput) {
        lockAudio();
        s_audio.pausedPos = s_audio.playing ? songPosition(heardDelivered()) : s_audio.songPos;
        s_audio.playing = false;
        unlockAudio();
    }
    s_audio.paused = true;
    return true;
}

bool audioChannelSetPosition(uint32_t stream, uint64_t bytes)
{
    if (!validStream(stream)) return false;
    if (bytes > s_audio.lengthBytes) bytes = s_audio.lengthBytes;
    bytes -= bytes % BYTES_PER_FRAME;
    if (s_audio.virtualOutput) {
        s_audio.virtualPos = bytes;
        return true;
    }
    lockAudio();
    if (s_audio.paused) s_audio.pausedPos = bytes;
    anchorAt(bytes);
    unlockAudio();
    return true;
}

uint32_t audioChannelIsActive(uint32_t stream)
{
    if (validStream(stream) && s_audio.paused) return AUDIO_ACTIVE_PAUSED;
    if (!validStream(stream) || !s_audio.playing) return AUDIO_ACTIVE_STOPPED;
    if (s_audio.virtualOutput) {
        bool ended = !s_audio.loop && s_audio.virtualPos >= s_audio.lengthBytes;
        return ended ? AUDIO_ACTIVE_STOPPED : AUDIO_ACTIVE_PLAYING;
    }
    lockAudio();
    // Stopped once everything up to the song's end has been heard.
    if (s_audio.endDelivered != NOT_ENDED && heardDelivered() >= s_audio.endDelivered) s_audio.playing = false;
    bool playing = s_audio.playing;
    unlockAudio();
    return playing ? AUDIO_ACTIVE_PLAYING : AUDIO_ACTIVE_STOPPED;
}

bool audioChannelSetAttribute(uint32_t stream, uint32_t attribute, float value)
{
    if (!validStream(stream) || attribute != AUDIO_ATTRIB_VOL || !(value >= 0.0f)) return false;
    lockAudio();
    s_audio.volume = value > 1.0f ? 1.0f : value;
    unlockAudio();
    return true;
}

// >> analysis
// Sample `index` (channels interleaved) counted from song byte position `start`; past the end
// it wraps when the stream loops and is silent otherwise.
static float sampleAt(uint64_t start, uint64_t index)
{
    uint64_t totalSamples = s_audio.lengthBytes / 2;
    uint64_t i = start / 2 + index;
    if (i >= totalSamples) {
        if (!s_audio.loop) return 0.0f;
        i %= totalSamples;
    }
    return (float)s_audio.samples[i] * (1.0f / 32768.0f);
}

static void spectrum(uint64_t start, int n, kiss_fftr_cfg cfg, const float* window, float* out)
{
    for (int i = 0; i < n; i++) {
        float mono = 0.5f * (sampleAt(start, (uint64_t)i * 2) + sampleAt(start, (uint64_t)i * 2 + 1));
        s_audio.fftInput[i] = mono * window[i];
    }
    kiss_fftr(cfg, s_audio.fftInput, s_audio.fftOutput);
    const float scale = 2.0f / (float)n;
    for (int k = 0; k < n / 2; k++) {
        const kiss_fft_cpx& c = s_audio.fftOutput[k];
        out[k] = sqrtf(c.r * c.r + c.i * c.i) * scale;
    }
}

int audioChannelGetData(uint32_t stream, void* buffer, uint32_t length)
{
    if (!validStream(stream) || !buffer) return -1;
    uint64_t start = audioChannelGetPosition(stream, AUDIO_POS_BYTE);
    float* out = (float*)buffer;
    if (length == AUDIO_DATA_FFT512) {
        spectrum(start, FFT_SMALL, s_audio.fftSmall, s_audio.windowSmall, out);
        return FFT_SMALL / 2 * (int)sizeof(float);
    }
    if (length == AUDIO_DATA_FFT2048) {
        spectrum(start, FFT_LARGE, s_audio.fftLarge, s_audio.windowLarge, out);
        return FFT_LARGE / 2 * (int)sizeof(float);
    }
    if ((length & 0xC0000000u) != AUDIO_DATA_FLOAT) return -1;
    uint32_t bytes = length & ~AUDIO_DATA_FLOAT;
    if (bytes > AUDIO_MAX_FLOAT_BYTES) return -1;
    uint32_t count = bytes / sizeof(float);
    for (uint32_t i = 0; i < count; i++) out[i] = sampleAt(start, i);
    return (int)(count * sizeof(float));
}

AudioClockStats audioClockStats() { return s_audio.stats; }

const int16_t* audioChannelSamples(uint32_t stream, uint64_t* frameCount)
{
    if (!validStream(stream)) {
        *frameCount = 0;
        return nullptr;
    }
    *frameCount = s_audio.lengthBytes / BYTES_PER_FRAME;
    return s_audio.samples;
}

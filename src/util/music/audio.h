// audio: the show's audio back end: one MP3 song decoded into memory and played through SDL.
//
// The operations follow the small audio-library interface the music clock was written against:
// init, stream from memory, length, bytes <-> seconds, position, loop flag, play, playing state,
// volume and on-demand analysis data (float samples or a magnitude spectrum).
//
// Supports: any MP3 libmpg123 decodes (MPEG 1/2/2.5 layer I-III), decoded whole at stream
//   creation with gapless trimming (sample 0 is the song's first sample, encoder delay removed),
//   always as 44.1 kHz 16-bit stereo (other rates are resampled, mono is doubled).
// Output: either an SDL audio device (signed 16-bit stereo, AUDIO_DEVICE_SAMPLES-frame buffers),
//   or a virtual output (no device) whose position the caller sets: tests and the offline renderer.
// Position: the byte position of what is heard now (timed by the wall clock, never virtual time), interpolated between audio callbacks from
//   the callback time and the device latency (one buffer), smoothed so that a jittery callback
//   does not make the clock stutter; never ahead of the data handed to the device; monotonic
//   except when the stream restarts or loops.
// Limits: one stream at a time (creating another frees the previous one); songs up to
//   AUDIO_MAX_SONG_SECONDS; float reads up to AUDIO_MAX_FLOAT_BYTES per call.
// Refuses: data libmpg123 cannot decode to at least one sample, and decoder errors mid-song.
//
// Threads: every call comes from the main thread; the device callback runs on SDL's audio thread
// and only reads the decoded song; the little state both touch is guarded with SDL_LockAudio.
#pragma once

#include <stddef.h>
#include <stdint.h>

enum {
    AUDIO_SAMPLE_RATE = 44100,
    AUDIO_CHANNELS = 2,
    AUDIO_BYTES_PER_SECOND = AUDIO_SAMPLE_RATE * AUDIO_CHANNELS * 2, // 176400
    AUDIO_DEVICE_SAMPLES = 1024,                                     // frames per device buffer
    AUDIO_MAX_SONG_SECONDS = 30 * 60,
    AUDIO_MAX_FLOAT_BYTES = 65536,
};

// Which output audioInit opens.
enum { AUDIO_OUTPUT_DEVICE = 0, AUDIO_OUTPUT_VIRTUAL = 1 };

// Flags and values, numbered as the callers know them.
enum : uint32_t {
    AUDIO_SAMPLE_LOOP = 4,               // stream flag: start again at the end
    AUDIO_POS_BYTE = 0,                  // position mode: bytes
    AUDIO_ACTIVE_STOPPED = 0,            // audioChannelIsActive results
    AUDIO_ACTIVE_PLAYING = 1,
    AUDIO_ACTIVE_PAUSED = 3,             // held by audioChannelPause
    AUDIO_ATTRIB_VOL = 2,                // attribute: volume 0..1
    AUDIO_DATA_FLOAT = 0x40000000,       // | byte count: float samples, channels interleaved
    AUDIO_DATA_FFT512 = 0x80000001,      // 256 magnitudes of 512 mono samples
    AUDIO_DATA_FFT2048 = 0x80000003,     // 1024 magnitudes of 2048 mono samples
};
static const uint64_t AUDIO_LENGTH_ERROR = ~(uint64_t)0;

// Process-wide choice made before audioInit: a virtual output opens no device. The offline
// renderer and tests switch it on; the show never does.
void audioUseVirtualOutput(bool enabled);
bool audioVirtualOutput();

// Opens the output (the device, or the virtual one when chosen). False when no device can be
// opened. Calling it again while open does nothing and returns true.
bool audioInit();
// Closes the output and frees the stream (tests and tools; the show keeps its stream to the end).
void audioClose();

// Decodes `size` bytes of MP3 held in memory and makes it the stream (stopped, at position 0,
// looping if `flags` has AUDIO_SAMPLE_LOOP). The bytes are not kept. Returns the stream handle,
// 0 when the data does not decode or no output is open.
uint32_t audioStreamCreate(const void* mp3, uint64_t size, uint32_t flags);
// The same for a song already decoded by audioDecodeMp3: the stream takes over `samples` (freed
// here when no output is open, returning 0).
uint32_t audioStreamAdopt(int16_t* samples, uint64_t frameCount, uint32_t flags);

// Decodes MP3 bytes to 44.1 kHz 16-bit stereo without touching any output. On success returns
// null and a malloc block of *frameCount frames (2 samples each) in *samples; else the reason.
const char* audioDecodeMp3(const void* mp3, size_t size, int16_t** samples, uint64_t* frameCount);

uint64_t audioChannelGetLength(uint32_t stream, uint32_t mode);      // bytes, AUDIO_LENGTH_ERROR
double audioChannelBytes2Seconds(uint32_t stream, uint64_t bytes);   // -1 for a bad handle
uint64_t audioChannelSeconds2Bytes(uint32_t stream, double seconds); // whole frames; error value
uint64_t audioChannelGetPosition(uint32_t stream, uint32_t mode);    // what is heard now, bytes
// Sets the flags selected by `mask` (only AUDIO_SAMPLE_LOOP exists); returns the new flags.
uint32_t audioChannelFlags(uint32_t stream, uint32_t flags, uint32_t mask);
// Starts playback; a paused stream goes on from where it was held.
bool audioChannelPlay(uint32_t stream, bool restart);
// Creator mode's transport. Pause holds the position (the device plays silence) until play;
// SetPosition moves what is heard now to `bytes` (clamped to the song), playing or paused.
bool audioChannelPause(uint32_t stream);
bool audioChannelSetPosition(uint32_t stream, uint64_t bytes);
uint32_t audioChannelIsActive(uint32_t stream);
bool audioChannelSetAttribute(uint32_t stream, uint32_t attribute, float value);
// Fills `buffer` as `length` asks (see AUDIO_DATA_*); returns the bytes written, -1 on error.
int audioChannelGetData(uint32_t stream, void* buffer, uint32_t length);

// Virtual output only: the stream byte position heard now. Past the end it wraps when the stream
// loops; otherwise the stream has ended there.
void audioSetVirtualPosition(uint32_t stream, uint64_t bytes);

// How the heard-now clock has fared on the device since the output opened (for the benchmark).
struct AudioClockStats {
    uint32_t observations; // callbacks the clock has taken into account
    uint32_t resyncs;      // observations so far off that the clock jumped to them
    uint32_t stalls;       // readings held back to the data delivered (the device was starved)
};
AudioClockStats audioClockStats();

// The decoded song (frames of two samples), for the offline renderer's sound track.
const int16_t* audioChannelSamples(uint32_t stream, uint64_t* frameCount);

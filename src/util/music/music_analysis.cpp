// music_analysis: Music's MIDI operations (loadMidi and the note queries by track name or index)
// and its audio analyses over the back end's data reads. See music.h, midi.h, music_analysis.h.
//
// The analyses read into stack buffers: nothing is allocated per call. A read the back end
// refuses (no stream) gives silence rather than whatever the buffer held.
#include "util/music/music.h"

#include "platform/report.h"          // FATAL
#include "util/music/audio.h"         // audioChannelGetData
#include "util/music/midi.h"          // MidiFile, loadMidiFile, the track queries
#include "util/music/music_analysis.h"
#include <string.h>

// Loudest 512-point spectrum sum so far, shared by every caller; it never decays.
static float s_spectrumMax = 1.0f;

// Fills `out` with `bytes` of the back end's data read `mode`; zeros when the read fails.
static void readData(uint32_t stream, float* out, uint32_t mode, size_t bytes)
{
    if (audioChannelGetData(stream, out, mode) < 0) memset(out, 0, bytes);
}

// >> MIDI

void Music::loadMidi()
{
    midi = loadMidiFile(MIDI_SONG_PATH);
    if (!midi) FATAL("Loading %s failed!", MIDI_SONG_PATH);
    bpm = midi->bpm;
}

// The by-name forms: the first track of that exact name, or a fatal report.
static int trackIndexByName(const MidiFile* midi, const char* name, const char* noMidiMessage)
{
    if (!midi) FATAL("%s", noMidiMessage);
    int index = findMidiTrack(*midi, name);
    if (index < 0) FATAL("Could not find track \"%s\"!", name);
    return index;
}

static MidiTrack& trackAt(MidiFile* midi, int index)
{
    if (index < 0 || (size_t)index >= midi->tracks.size()) FATAL("Track number out of bounds");
    return midi->tracks[(size_t)index];
}

std::vector<uint8_t> Music::getNoteLUT(const char* trackName)
{
    std::vector<uint8_t> lut;
    getNoteLUT(trackName, &lut);
    return lut;
}

std::vector<bool> Music::getNoteStates(const char* trackName)
{
    std::vector<bool> states;
    getNoteStates(trackName, &states);
    return states;
}

std::vector<bool> Music::getNoteTriggers(const char* trackName)
{
    std::vector<bool> triggers;
    getNoteTriggers(trackName, &triggers);
    return triggers;
}

std::vector<uint8_t> Music::getNoteLUT(int trackIndex)
{
    if (!midi) return {};
    return trackNoteLUT(trackAt(midi, trackIndex));
}

std::vector<bool> Music::getNoteStates(int trackIndex)
{
    if (!midi) return {};
    MidiTrack& track = trackAt(midi, trackIndex);
    return trackNoteStates(track, getTime());
}

std::vector<bool> Music::getNoteTriggers(int trackIndex)
{
    if (!midi) return {};
    MidiTrack& track = trackAt(midi, trackIndex);
    return trackNoteTriggers(track, getTime());
}

void Music::getNoteLUT(const char* trackName, std::vector<uint8_t>* lut)
{
    int index =
        trackIndexByName(midi, trackName, "Attempted to get note lookup table without a valid MIDI file loaded!");
    trackNoteLUT(trackAt(midi, index), lut);
}

void Music::getNoteStates(const char* trackName, std::vector<bool>* states)
{
    int index = trackIndexByName(midi, trackName, "Attempted to get note states without a valid MIDI file loaded!");
    trackNoteStates(trackAt(midi, index), getTime(), states);
}

void Music::getNoteTriggers(const char* trackName, std::vector<bool>* triggers)
{
    int index = trackIndexByName(midi, trackName, "Attempted to get note states without a valid MIDI file loaded!");
    trackNoteTriggers(trackAt(midi, index), getTime(), triggers);
}

// >> audio analysis

float spectrumLevel(const float bins[MUSIC_SPECTRUM_LEVEL_BINS], float* runningMax)
{
    float sum = 0.0f;
    for (int i = 0; i < MUSIC_SPECTRUM_LEVEL_BINS; i++) sum += bins[i];
    if (sum > *runningMax) {
        *runningMax = sum;
        return 1.0f;
    }
    return sum / *runningMax;
}

float sampleLevel(const float samples[MUSIC_SAMPLE_LEVEL_SAMPLES])
{
    return (samples[0] + samples[1] + samples[2] + samples[3]) * 0.25f;
}

float smoothedLevel(const float samples[MUSIC_SMOOTHED_LEVEL_SAMPLES])
{
    float y = samples[0];
    float sum = samples[0];
    for (int i = 1; i < MUSIC_SMOOTHED_LEVEL_SAMPLES; i++) {
        y = 0.9f * y + 0.1f * samples[i];
        sum += y;
    }
    return sum * 0.0078125f;
}

float Music::getSpectrumLevel()
{
    float bins[MUSIC_SPECTRUM_LEVEL_BINS];
    readData(stream, bins, AUDIO_DATA_FFT512, sizeof bins);
    return spectrumLevel(bins, &s_spectrumMax);
}

void Music::getFFT(float* out)
{
    if (!out) FATAL("Invalid buffer");
    readData(stream, out, AUDIO_DATA_FFT2048, MUSIC_FFT_BINS * sizeof(float));
}

void Music::getWaveData(float* out)
{
    if (!out) FATAL("Invalid buffer");
    const size_t bytes = MUSIC_WAVE_SAMPLES * sizeof(float);
    readData(stream, out, AUDIO_DATA_FLOAT | (uint32_t)bytes, bytes);
}

float Music::getSampleLevel()
{
    float samples[MUSIC_SAMPLE_LEVEL_SAMPLES];
    readData(stream, samples, AUDIO_DATA_FLOAT | (uint32_t)sizeof samples, sizeof samples);
    return sampleLevel(samples);
}

float Music::getSmoothedLevel()
{
    float samples[MUSIC_SMOOTHED_LEVEL_SAMPLES];
    readData(stream, samples, AUDIO_DATA_FLOAT | (uint32_t)sizeof samples, sizeof samples);
    return smoothedLevel(samples);
}

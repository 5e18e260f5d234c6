// music: the show's song, its clock in beats and the per-frame histories.
//
// The MP3 "data\common\music\dubr0lp.mp3" is read whole through openFile and decoded by the audio
// back end (audio.h). The clock turns the heard-now position into beats with the tempo of the
// song's MIDI file (`bpm`, set by loadMidi) and only runs forward across a restart or loop.
// The MIDI file, its note queries and the audio analyses (spectrum, wave data, levels) are
// operations of the same class defined beside the MIDI parser.
//
// Every failure is a fatal report from this module: no device, a missing, unreadable or
// undecodable song (the last one surfaces in play as "Failed to start the music!").
#pragma once

#include <stdint.h>
#include <vector>

struct MidiFile;
struct SongDecode; // music.cpp: the song while it decodes

// The song as the archive stores it (backslashes, as the original build wrote the names).
#define MUSIC_SONG_PATH "data\\common\\music\\dubr0lp.mp3"

enum { MUSIC_HISTORY = 10 }; // frames kept in the clock and position histories

class Music {
public:
    MidiFile* midi = nullptr;                  // the parsed MIDI file, owned; null until loadMidi
    float bpm = 999.0f;                        // beats per minute; the MIDI tempo after loadMidi
    float beatOffset = 0.1f;                   // beats added to every clock reading
    float timeHistory[MUSIC_HISTORY] = {};     // clock of the last ten frames, oldest first
    float meanTimeStep = 0.0f;                 // mean clock advance per frame (beats)
    int32_t positionHistory[MUSIC_HISTORY] = {}; // byte positions (low 32 bits), oldest first
    int32_t meanPositionStep = 0;              // mean byte advance per frame
    uint32_t stream = 0;                       // the audio stream; 0 if the MP3 did not decode
    int32_t lengthSeconds = 0;                 // song length, whole seconds
    uint64_t lengthBytes = 0;                  // song length in bytes (176400 per second)

    // Opens the output, reads and decodes the song. Fatal on failure (see the banner).
    Music() : Music(false) {}
    // With `decodeInBackground`, the song decodes on a thread of its own while the caller goes on
    // loading, and stream and the lengths are set only by finishSong, which the caller must call
    // before anything else of the song is used (the show does, at the end of its loading).
    explicit Music(bool decodeInBackground);
    // Waits for a background decode and makes the song the stream. Does nothing after the first call.
    void finishSong();

    // Resets the histories, switches looping off and starts playback. Fatal if it does not play.
    void play();
    // The show clock in beats: position x bpm / 60 + beatOffset, continued across a jump back.
    float getTime();
    // Once per frame: shifts the histories and recomputes meanTimeStep and meanPositionStep.
    void update();
    // After a jump of the position: every history entry is the clock and position now, so the
    // next update sees no giant step.
    void restartHistories();

    // >> MIDI and analysis (defined beside the MIDI parser)
    // Parses "data\\common\\music\\dubr0lp.mid" and takes its tempo as bpm. Fatal on any problem.
    void loadMidi();
    // Note queries on one MIDI track at the clock's now, by name (fatal if missing) or by index
    // into midi->tracks (empty before loadMidi). Index i of a state set is note i of the LUT.
    std::vector<uint8_t> getNoteLUT(const char* trackName);
    std::vector<uint8_t> getNoteLUT(int trackIndex);
    std::vector<bool> getNoteStates(const char* trackName);   // true where the note sounds
    std::vector<bool> getNoteStates(int trackIndex);
    std::vector<bool> getNoteTriggers(const char* trackName); // true where a note-on is new
    std::vector<bool> getNoteTriggers(int trackIndex);
    // The same by name into the caller's vectors, whose storage is reused (no allocation per frame).
    void getNoteLUT(const char* trackName, std::vector<uint8_t>* lut);
    void getNoteStates(const char* trackName, std::vector<bool>* states);
    void getNoteTriggers(const char* trackName, std::vector<bool>* triggers);
    // Analyses of what is heard now; stack buffers only, nothing allocated per call.
    float getSpectrumLevel();     // 512-point spectrum sum over the loudest sum so far, (0, 1]
    void getFFT(float* out);      // 1024 magnitudes, lowest frequency first; fatal if out is null
    void getWaveData(float* out); // 1024 float samples, channels interleaved; fatal if out is null
    float getSampleLevel();       // signed mean of the next 4 samples
    float getSmoothedLevel();     // mean of 128 samples after a one-pole smoothing

private:
    SongDecode* song = nullptr; // the song while it decodes; null once finishSong ran
};

// The clock's process-wide values (last reading and the offset added after a jump back) start
// again from zero. For tests and tools that build more than one Music in a process.
void musicResetClock();

// midi: the song's Standard MIDI File, read once into note tables timed in beats.
//
// The file is never played. Its tempo drives the show clock (Music) and its notes drive the
// note queries: per track, one NoteTable per distinct note number with the note's on/off times.
//
// Supported (a strict subset of SMF, what the song uses):
//   header "MThd" (header length's first byte 0; the header is taken to be 6 bytes),
//   division as ticks per quarter note, any number of "MTrk" chunks back to back,
//   running status, variable-length delta times of at most 4 bytes,
//   note on/off (channel ignored), polyphonic and channel pressure (skipped),
//   control change 7 (volume) and 10 (pan) (skipped),
//   metas: text, copyright, track name (one each), end of track, tempo, time and key signature.
// Refused with a message: SysEx, other controllers, unknown events and metas, a second text,
//   copyright or track name, empty texts, wrong meta lengths, a division or tempo of 0,
//   and every truncation: a chunk past the end of the file, an event past the end of its chunk.
// Refused with the short (location-only) report: program change, pitch bend, and the metas
//   0x00, 0x04-0x07, 0x20, 0x54, 0x7F.
// Tracks without note events (a tempo track, say) are dropped.
//
// Times are in beats: absolute tick / division. A note-on is stored as its time (>= 0), a note-off
// as the negative of its time. A note-on while the note is on, or a note-off while it is off, is
// counted in noteEventCount but not stored.
//
// parseMidi works on bytes in memory and returns the problem (tests and the fuzzer call it);
// loadMidiFile opens the file through openFile and turns any problem into the fatal report.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string>
#include <vector>

// The song's MIDI file, named as the archive stores it.
#define MIDI_SONG_PATH "data\\common\\music\\dubr0lp.mid"

enum {
    MIDI_MAX_FILE_BYTES = 16 << 20,  // a larger file is refused before it is read
    MIDI_NOTE_NAME_BYTES = 7,        // "A#21" is the longest name a note byte can get
    MIDI_MAX_DELTA_BYTES = 4,        // variable-length quantities are at most 4 bytes
};

struct NoteTable {
    uint8_t note = 0;                       // MIDI note number
    char noteName[MIDI_NOTE_NAME_BYTES] = {}; // from noteName(), e.g. "C#4"
    int32_t cursor = -1;                    // last event a query reported; -1 after parsing
    std::vector<float> times;               // beats; note-on as +time, note-off as -time, file order
    std::vector<uint8_t> velocities;        // per stored event, 0 for note-offs
};

struct MidiTrack {
    uint32_t noteEventCount = 0;   // note-on and note-off events read, ignored repeats included
    std::string name;              // track name meta; empty if none (an empty name is refused)
    std::vector<NoteTable> notes;  // one per distinct note, in order of first appearance
};

struct MidiFile {
    std::vector<MidiTrack> tracks;        // the kept tracks, in file order
    std::string copyright;                // copyright meta; empty until set
    std::string text;                     // text meta; empty until set
    float bpm = 120.0f;                   // beats per minute, rounded to two decimals
    uint8_t timeSigNumerator = 4;
    uint8_t timeSigDenominator = 4;       // the actual denominator, not its power of two
    uint8_t clocksPerClick = 24;
    uint8_t thirtySecondsPerQuarter = 8;
    int8_t keySharpsFlats = 0;
    bool keyIsMinor = false;
};

// Why a parse failed: the report's message (or the short form) and the line that found it.
struct MidiError {
    int line = 0;               // source line in midi.cpp that detected the problem
    bool locationOnly = false;  // the short report: "Error in file ...:line" and nothing more
    char message[160] = {};
};

// Parses a whole MIDI file held in memory into `midi` (which should be freshly constructed).
// Returns true on success; false with the reason in `error`. Never reads outside [bytes, bytes+size).
bool parseMidi(const uint8_t* bytes, size_t size, MidiFile* midi, MidiError* error);

// Opens `path` through openFile, parses it and returns the new MidiFile (owned by the caller);
// null only if the object could not be allocated. Every file problem is a fatal report from midi.
MidiFile* loadMidiFile(const char* path = MIDI_SONG_PATH);

// "C%i", "C#%i", ... "B%i" by note mod 12, filled with note / 12: note 60 is "C5".
void noteName(uint8_t note, char out[MIDI_NOTE_NAME_BYTES]);

// >> note queries on one track at music time `now` (beats). Music's getNote* forms wrap these.
// Index of the first track whose name equals `name` exactly, or -1.
int findMidiTrack(const MidiFile& midi, const char* name);
// The track's note numbers, in its note order.
std::vector<uint8_t> trackNoteLUT(const MidiTrack& track);
// True where the note sounds at `now`; a sounding note's note-on becomes its cursor.
std::vector<bool> trackNoteStates(MidiTrack& track, float now);
// True where a note-on has passed since the note was last reported; moves the cursor.
std::vector<bool> trackNoteTriggers(MidiTrack& track, float now);
// The same three into a caller's vector, whose storage is reused: nothing is allocated per frame
// once it has grown to the track's note count.
void trackNoteLUT(const MidiTrack& track, std::vector<uint8_t>* lut);
void trackNoteStates(MidiTrack& track, float now, std::vector<bool>* states);
void trackNoteTriggers(MidiTrack& track, float now, std::vector<bool>* triggers);

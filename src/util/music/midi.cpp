// midi: Standard MIDI File parser and the note queries on its tables. See midi.h.
#include "util/music/midi.h"

#include "platform/report.h" // FATAL, reportFatal, reportFatalLocation
#include "util/data/data.h"  // openFile
#include <math.h>
#include <new>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char* const NOTE_PATTERNS[12] = {
    "C%i", "C#%i", "D%i", "D#%i", "E%i", "F%i", "F#%i", "G%i", "G#%i", "A%i", "A#%i", "B%i",
};

enum {
    HEADER_BYTES = 14,       // "MThd", length, format, track count, division
    CHUNK_HEADER_BYTES = 8,  // "MTrk", length
    CONTROLLER_VOLUME = 7,
    CONTROLLER_PAN = 10,
    META_TEXT = 0x01,
    META_COPYRIGHT = 0x02,
    META_TRACK_NAME = 0x03,
    META_END_OF_TRACK = 0x2F,
    META_TEMPO = 0x51,
    META_TIME_SIGNATURE = 0x58,
    META_KEY_SIGNATURE = 0x59,
};

// One parse: the whole file, the current chunk's end and the read position.
struct MidiReader {
    const uint8_t* bytes;
    size_t size;
    size_t pos;
    size_t end;  // reads stop here: the file end for the header, the chunk end inside a track
    int track;   // index of the chunk being read, for messages
    MidiError* error;
};

// Records the problem with the line that found it; always returns false.
static bool fail(MidiReader* r, int line, const char* format, ...) __attribute__((format(printf, 3, 4)));
static bool fail(MidiReader* r, int line, const char* format, ...)
{
    r->error->line = line;
    r->error->locationOnly = false;
    va_list args;
    va_start(args, format);
    vsnprintf(r->error->message, sizeof r->error->message, format, args);
    va_end(args);
    return false;
}

static bool failShort(MidiReader* r, int line)
{
    r->error->line = line;
    r->error->locationOnly = true;
    r->error->message[0] = '\0';
    return false;
}

#define FAIL(...) fail(r, __LINE__, __VA_ARGS__)
#define FAIL_SHORT() failShort(r, __LINE__)
// An event, or a part of one, that the track chunk's end cuts off.
#define FAIL_TRUNCATED(what) FAIL("Track %i: %s runs past the end of the track chunk", r->track, what)

static bool has(const MidiReader* r, size_t count) { return count <= r->end - r->pos; }

// Big-endian number of n bytes (2, 3 or 4); the caller has checked that they are there.
static uint32_t readBigEndian(MidiReader* r, int n)
{
    uint32_t value = 0;
    for (int i = 0; i < n; i++) value = (value << 8) | r->bytes[r->pos++];
    return value;
}

// Variable-length quantity: 7-bit groups, most significant first, at most 4 bytes.
static bool readDeltaTime(MidiReader* r, uint32_t* value)
{
    uint32_t v = 0;
    for (int i = 0; i < MIDI_MAX_DELTA_BYTES; i++) {
        if (!has(r, 1)) return FAIL_TRUNCATED("delta time");
        uint8_t b = r->bytes[r->pos++];
        v = (v << 7) | (b & 0x7F);
        if (!(b & 0x80)) {
            *value = v;
            return true;
        }
    }
    return FAIL("Found 4 bytes of delta time without a 0 MSB");
}

// The tempo in beats per minute keeps two decimals: floor(x * 100 + 0.5) / 100 in double.
// The camera helpers hold the same rounding; it is repeated here so music needs no 3D module.
static float roundTo2Decimals(double x) { return (float)(floor(x * 100.0 + 0.5) / 100.0); }

void noteName(uint8_t note, char out[MIDI_NOTE_NAME_BYTES])
{
    snprintf(out, MIDI_NOTE_NAME_BYTES, NOTE_PATTERNS[note % 12], note / 12);
}

static void addNoteEvent(MidiTrack* track, uint8_t note, uint8_t velocity, float time)
{
    track->noteEventCount++;
    NoteTable* table = nullptr;
    for (NoteTable& t : track->notes)
        if (t.note == note) { table = &t; break; }
    if (!table) {
        track->notes.emplace_back();
        table = &track->notes.back();
        table->note = note;
        noteName(note, table->noteName);
    }
    // The sign bit tells on from off: a note-off at beat 0 is stored as -0, which compares
    // equal to 0, and must not pass for a note-on that would swallow the next one.
    std::vector<float>& times = table->times;
    bool lastIsOff = !times.empty() && signbit(times.back());
    if (velocity > 0) {
        // A note-on while the note is already on is ignored.
        if (!times.empty() && !lastIsOff) return;
        times.push_back(time);
    } else {
        // So is a note-off while it is already off.
        if (lastIsOff) return;
        times.push_back(-time);
    }
    table->velocities.push_back(velocity);
}

// Text metas: a second one for the same target, or an empty one, fails with `failure`.
static bool readText(MidiReader* r, std::string* target, const char* failure)
{
    if (!has(r, 1)) return FAIL_TRUNCATED("meta event");
    uint8_t length = r->bytes[r->pos++];
    if (!target->empty() || length == 0) return FAIL("%s", failure);
    if (!has(r, length))
        return FAIL("Track %i: text of %i bytes runs past the end of the track chunk", r->track, length);
    target->assign((const char*)r->bytes + r->pos, length);
    r->pos += length;
    return true;
}

// Fixed-length metas: the length byte must be `expected`, and the data must be in the chunk.
static bool readMetaLength(MidiReader* r, uint8_t expected)
{
    if (!has(r, 1)) return FAIL_TRUNCATED("meta event");
    uint8_t length = r->bytes[r->pos++];
    if (length != expected) return FAIL("Expected 0x%02X", expected);
    if (!has(r, length)) return FAIL_TRUNCATED("meta event");
    return true;
}

static bool readMeta(MidiReader* r, MidiFile* midi, MidiTrack* track)
{
    if (!has(r, 1)) return FAIL_TRUNCATED("meta event");
    uint8_t type = r->bytes[r->pos++];
    switch (type) {
    case META_TEXT: return readText(r, &midi->text, "Retrieving text info failed!");
    case META_COPYRIGHT: return readText(r, &midi->copyright, "Retrieving copyright info failed!");
    case META_TRACK_NAME: return readText(r, &track->name, "Retrieving track name failed!");
    case META_END_OF_TRACK:
        // Skipped: the track still ends only at its chunk end.
        return readMetaLength(r, 0);
    case META_TEMPO: {
        if (!readMetaLength(r, 3)) return false;
        uint32_t microseconds = readBigEndian(r, 3);
        // A zero tempo would put an infinite bpm into the show clock.
        if (microseconds == 0) return FAIL("Track %i: tempo of 0 microseconds per quarter note", r->track);
        midi->bpm = roundTo2Decimals(60000000.0 / microseconds);
        return true;
    }
    case META_TIME_SIGNATURE: {
        if (!readMetaLength(r, 4)) return false;
        const uint8_t* p = r->bytes + r->pos;
        midi->timeSigNumerator = p[0];
        // 2^p[1] only fits the field up to 2^7; larger powers (never musical) are stored as 0.
        midi->timeSigDenominator = p[1] < 8 ? (uint8_t)(1u << p[1]) : 0;
        midi->clocksPerClick = p[2];
        midi->thirtySecondsPerQuarter = p[3];
        r->pos += 4;
        return true;
    }
    case META_KEY_SIGNATURE: {
        if (!readMetaLength(r, 2)) return false;
        midi->keySharpsFlats = (int8_t)r->bytes[r->pos];
        midi->keyIsMinor = r->bytes[r->pos + 1] == 1;
        r->pos += 2;
        return true;
    }
    case 0x00: case 0x04: case 0x05: case 0x06: case 0x07: case 0x20: case 0x54: case 0x7F:
        return FAIL_SHORT();
    default:
        return FAIL("  Unknown meta event, panicking!");
    }
}

static bool readEvent(MidiReader* r, MidiFile* midi, MidiTrack* track, uint8_t status, float time)
{
    switch (status & 0xF0) {
    case 0x80:
    case 0x90: {
        if (!has(r, 2)) return FAIL_TRUNCATED("note event");
        uint8_t note = r->bytes[r->pos];
        uint8_t velocity = r->bytes[r->pos + 1];
        r->pos += 2;
        // A note-off is a note-on with velocity 0, whatever velocity it carries.
        addNoteEvent(track, note, (status & 0xF0) == 0x80 ? 0 : velocity, time);
        return true;
    }
    case 0xA0:
        if (!has(r, 2)) return FAIL_TRUNCATED("pressure event");
        r->pos += 2;
        return true;
    case 0xB0: {
        if (!has(r, 2)) return FAIL_TRUNCATED("controller event");
        uint8_t controller = r->bytes[r->pos];
        uint8_t value = r->bytes[r->pos + 1];
        r->pos += 2;
        if (controller != CONTROLLER_VOLUME && controller != CONTROLLER_PAN)
            return FAIL("Unknown controller event %i, value %i", controller, value);
        return true;
    }
    case 0xC0: return FAIL_SHORT();
    case 0xD0:
        if (!has(r, 1)) return FAIL_TRUNCATED("pressure event");
        r->pos += 1;
        return true;
    case 0xE0: return FAIL_SHORT();
    default: break;
    }
    if (status == 0xF0 || status == 0xF7) return FAIL("  Got SysEx event, not supported yet, panicking!");
    if (status == 0xFF) return readMeta(r, midi, track);
    // No status yet, or a system message this parser does not read: name the byte at the read position.
    if (!has(r, 1)) return FAIL_TRUNCATED("event");
    uint8_t b = r->bytes[r->pos];
    return FAIL("Unknown event %x from %x, corrupt MIDI file? Panicking!", b >> 4, b);
}

static bool readTrack(MidiReader* r, MidiFile* midi, uint32_t division)
{
    if (r->size - r->pos < 4 || memcmp(r->bytes + r->pos, "MTrk", 4) != 0)
        return FAIL(" Could not find track chunk header, unrecognized file format!\n");
    if (r->size - r->pos < CHUNK_HEADER_BYTES)
        return FAIL("Track %i: chunk length runs past the end of the file", r->track);
    r->pos += 4;
    r->end = r->size;
    uint32_t length = readBigEndian(r, 4);
    if (length > r->size - r->pos)
        return FAIL("Track %i: chunk length %u runs past the end of the file", r->track, length);
    // Every read inside the chunk stops at its end: an event cannot spill into the next chunk.
    r->end = r->pos + length;

    MidiTrack track;
    uint8_t status = 0;
    uint32_t tick = 0;
    while (r->pos < r->end) {
        uint32_t delta = 0;
        if (!readDeltaTime(r, &delta)) return false;
        tick += delta;
        float time = (float)tick / (float)division;
        if (!has(r, 1)) return FAIL_TRUNCATED("event");
        if (r->bytes[r->pos] & 0x80) status = r->bytes[r->pos++];
        if (!readEvent(r, midi, &track, status, time)) return false;
    }
    if (track.noteEventCount > 0) midi->tracks.push_back(std::move(track));
    return true;
}

bool parseMidi(const uint8_t* bytes, size_t size, MidiFile* midi, MidiError* error)
{
    MidiReader reader = {bytes, size, 0, size, -1, error};
    MidiReader* r = &reader;
    if (!bytes) return FAIL("NULL-buffer specified");
    // "MThd" and the header length's first byte, which must be 0.
    if (size < 5 || memcmp(bytes, "MThd", 5) != 0)
        return FAIL("  Unknown header info, MIDI file format not recognized\n");
    if (size < HEADER_BYTES) return FAIL("Unexpected end of file in the MIDI header");
    r->pos = 8;
    readBigEndian(r, 2); // format: not used
    uint32_t trackCount = readBigEndian(r, 2);
    uint32_t division = readBigEndian(r, 2);
    // Times are tick / division; a zero division would make every time infinite or NaN.
    if (division == 0) return FAIL("Division of 0 ticks per quarter note");
    for (uint32_t i = 0; i < trackCount; i++) {
        r->track = (int)i;
        if (!readTrack(r, midi, division)) return false;
    }
    return true;
}

MidiFile* loadMidiFile(const char* path)
{
    FILE* f = openFile(path, "rb");
    if (!f) FATAL("Failed to open file %s", path);
    long size = -1;
    if (fseek(f, 0, SEEK_END) == 0) size = ftell(f);
    if (size < 0 || fseek(f, 0, SEEK_SET) != 0) FATAL("Failed to find the size of %s", path);
    if (size > MIDI_MAX_FILE_BYTES)
        FATAL("%s is %li bytes, over MIDI_MAX_FILE_BYTES (%i)", path, size, (int)MIDI_MAX_FILE_BYTES);
    std::vector<uint8_t> bytes((size_t)size + 1, 0);
    size_t got = size > 0 ? fread(bytes.data(), 1, (size_t)size, f) : 0;
    fclose(f);
    if (got != (size_t)size) FATAL("Failed to read %s: got %i of %li bytes", path, (int)got, size);

    MidiFile* midi = new (std::nothrow) MidiFile();
    if (!midi) return nullptr;
    MidiError error;
    if (!parseMidi(bytes.data(), (size_t)size, midi, &error)) {
        if (error.locationOnly) reportFatalLocation(__FILE__, error.line);
        reportFatal(__FILE__, error.line, "%s", error.message);
    }
    return midi;
}

// >> note queries

int findMidiTrack(const MidiFile& midi, const char* name)
{
    for (size_t i = 0; i < midi.tracks.size(); i++) {
        const std::string& trackName = midi.tracks[i].name;
        // A track without a name never matches.
        if (!trackName.empty() && strcmp(trackName.c_str(), name) == 0) return (int)i;
    }
    return -1;
}

void trackNoteLUT(const MidiTrack& track, std::vector<uint8_t>* lut)
{
    lut->clear();
    for (const NoteTable& t : track.notes) lut->push_back(t.note);
}

void trackNoteStates(MidiTrack& track, float now, std::vector<bool>* out)
{
    std::vector<bool>& states = *out;
    states.assign(track.notes.size(), false);
    for (size_t i = 0; i < track.notes.size(); i++) {
        NoteTable& t = track.notes[i];
        size_t count = t.times.size();
        size_t j = 0;
        while (j < count && fabsf(t.times[j]) < now) j++;
        // Nothing passed yet, or everything passed (a last note-on is then taken as over).
        if (j == 0 || j == count) continue;
        if (t.times[j - 1] > 0.0f) {
            states[i] = true;
            t.cursor = (int32_t)(j - 1);
        }
    }
}

void trackNoteTriggers(MidiTrack& track, float now, std::vector<bool>* out)
{
    std::vector<bool>& triggers = *out;
    triggers.assign(track.notes.size(), false);
    for (size_t i = 0; i < track.notes.size(); i++) {
        NoteTable& t = track.notes[i];
        int32_t count = (int32_t)t.times.size();
        int32_t j = t.cursor + 1;
        while (j < count && fabsf(t.times[j]) < now) j++;
        if (t.cursor >= j - 1) continue; // nothing passed since the last report
        if (j == count) continue;
        // Only a note-on that is still the latest passed event is reported; the cursor stays
        // otherwise, so a note-on whose note-off has passed too is never reported.
        if (t.times[j - 1] > 0.0f) {
            triggers[i] = true;
            t.cursor = j - 1;
        }
    }
}

std::vector<uint8_t> trackNoteLUT(const MidiTrack& track)
{
    std::vector<uint8_t> lut;
    trackNoteLUT(track, &lut);
    return lut;
}

std::vector<bool> trackNoteStates(MidiTrack& track, float now)
{
    std::vector<bool> states;
    trackNoteStates(track, now, &states);
    return states;
}

std::vector<bool> trackNoteTriggers(MidiTrack& track, float now)
{
    std::vector<bool> triggers;
    trackNoteTriggers(track, now, &triggers);
    return triggers;
}

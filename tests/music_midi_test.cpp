// MIDI parser and note queries: files built byte by byte, refusals and their report forms,
// truncations, and the query semantics on hand-built note tables.
#include "util/music/midi.h"

#include "test_support.h"
#include <gtest/gtest.h>
#include <cmath>
#include <initializer_list>

typedef std::vector<uint8_t> Bytes;

static void append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

static Bytes trackChunk(const Bytes& events)
{
    Bytes out = {'M', 'T', 'r', 'k'};
    uint32_t n = (uint32_t)events.size();
    append(out, {(uint8_t)(n >> 24), (uint8_t)(n >> 16), (uint8_t)(n >> 8), (uint8_t)n});
    append(out, events);
    return out;
}

static Bytes midiFile(uint16_t division, std::initializer_list<Bytes> trackEvents)
{
    Bytes out = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};
    uint16_t count = (uint16_t)trackEvents.size();
    append(out, {(uint8_t)(count >> 8), (uint8_t)count, (uint8_t)(division >> 8), (uint8_t)division});
    for (const Bytes& events : trackEvents) append(out, trackChunk(events));
    return out;
}

static Bytes metaText(uint8_t type, const std::string& text)
{
    Bytes out = {0x00, 0xFF, type, (uint8_t)text.size()};
    for (char c : text) out.push_back((uint8_t)c);
    return out;
}

static Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts) append(out, p);
    return out;
}

static const Bytes TEMPO_120 = {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20};
static const Bytes END_OF_TRACK = {0x00, 0xFF, 0x2F, 0x00};

// Parses and returns the failure message, "" on success, "<short>" for the location-only form.
static std::string parseError(const Bytes& bytes, MidiFile* midi = nullptr)
{
    MidiFile local;
    MidiError error;
    if (parseMidi(bytes.data(), bytes.size(), midi ? midi : &local, &error)) return "";
    EXPECT_GT(error.line, 0);
    return error.locationOnly ? "<short>" : error.message;
}

TEST(MidiParse, TempoTrackDroppedNotesTimedInBeats)
{
    Bytes tempoTrack = concat({metaText(0x03, "Tempo"), TEMPO_120,
                               {0x00, 0xFF, 0x58, 0x04, 6, 3, 36, 8},  // 6/8
                               {0x00, 0xFF, 0x59, 0x02, 0xFE, 0x01},   // two flats, minor
                               metaText(0x01, "made by hand"), metaText(0x02, "(c) nobody"), END_OF_TRACK});
    // Division 96: 96 ticks are one beat. The second pair uses running status and a 0x80 note-off.
    Bytes piano = concat({metaText(0x03, "Piano"),
                          {0x00, 0xB0, 7, 100, 0x00, 0xB0, 10, 64,     // volume, pan: skipped
                           0x00, 0x90, 60, 100, 0x60, 0x90, 60, 0,     // C5 on at 0, off at 1
                           0x00, 64, 90, 0x30, 0x80, 64, 77,           // E5 on at 1, off at 1.5
                           0x00, 0xA0, 1, 2, 0x00, 0xD0, 5},           // pressure: skipped
                          END_OF_TRACK});
    MidiFile midi;
    ASSERT_EQ(parseError(midiFile(96, {tempoTrack, piano}), &midi), "");
    ASSERT_EQ(midi.tracks.size(), 1u);
    const MidiTrack& t = midi.tracks[0];
    EXPECT_EQ(t.name, "Piano");
    EXPECT_EQ(t.noteEventCount, 4u);
    ASSERT_EQ(t.notes.size(), 2u);
    EXPECT_EQ(t.notes[0].note, 60);
    EXPECT_STREQ(t.notes[0].noteName, "C5");
    EXPECT_EQ(t.notes[0].cursor, -1);
    EXPECT_EQ(t.notes[0].times, (std::vector<float>{0.0f, -1.0f}));
    EXPECT_EQ(t.notes[0].velocities, (std::vector<uint8_t>{100, 0}));
    EXPECT_EQ(t.notes[1].times, (std::vector<float>{1.0f, -1.5f}));
    EXPECT_EQ(t.notes[1].velocities, (std::vector<uint8_t>{90, 0}));
    EXPECT_FLOAT_EQ(midi.bpm, 120.0f);
    EXPECT_EQ(midi.timeSigNumerator, 6);
    EXPECT_EQ(midi.timeSigDenominator, 8);
    EXPECT_EQ(midi.clocksPerClick, 36);
    EXPECT_EQ(midi.thirtySecondsPerQuarter, 8);
    EXPECT_EQ(midi.keySharpsFlats, -2);
    EXPECT_TRUE(midi.keyIsMinor);
    EXPECT_EQ(midi.text, "made by hand");
    EXPECT_EQ(midi.copyright, "(c) nobody");

    MidiFile defaults;
    EXPECT_EQ(parseError(midiFile(96, {tempoTrack}), &defaults), "");
    EXPECT_TRUE(defaults.tracks.empty());
    MidiFile none;
    EXPECT_EQ(parseError(midiFile(96, {}), &none), "");
    EXPECT_FLOAT_EQ(none.bpm, 120.0f);
    EXPECT_EQ(none.timeSigDenominator, 4);
}

TEST(MidiParse, RepeatedNoteEventsCountedButIgnored)
{
    // A note-off at beat 0 is stored as -0, which still counts as off: the note-on after it stays.
    Bytes events = {0x00, 0x80, 50, 0,     // off before any on: stored
                    0x10, 0x90, 50, 80,    // on
                    0x10, 0x90, 50, 81,    // on again: ignored
                    0x10, 0x80, 50, 0,     // off
                    0x10, 0x90, 50, 0,     // off again (velocity 0): ignored
                    0x10, 0x80, 51, 0};    // off of a new note: stored
    MidiFile midi;
    ASSERT_EQ(parseError(midiFile(16, {events}), &midi), "");
    ASSERT_EQ(midi.tracks.size(), 1u);
    EXPECT_EQ(midi.tracks[0].noteEventCount, 6u);
    EXPECT_TRUE(midi.tracks[0].name.empty());
    const NoteTable& n = midi.tracks[0].notes[0];
    ASSERT_EQ(n.times.size(), 3u);
    EXPECT_TRUE(std::signbit(n.times[0])); // -0: a note-off at beat 0
    EXPECT_EQ(n.times[1], 1.0f);
    EXPECT_EQ(n.times[2], -3.0f);
    EXPECT_EQ(n.velocities, (std::vector<uint8_t>{0, 80, 0}));
    EXPECT_EQ(midi.tracks[0].notes[1].times, (std::vector<float>{-5.0f}));
}

TEST(MidiParse, TempoRoundedToTwoDecimalsAndLastOneWins)
{
    Bytes tempo130 = {0x00, 0xFF, 0x51, 0x03, 0x07, 0x0A, 0xE2}; // 461538: 130.000087
    Bytes tempo97 = {0x00, 0xFF, 0x51, 0x03, 0x09, 0x70, 0x2F};  // 618543: 97.0017
    Bytes note = {0x00, 0x90, 1, 1};
    MidiFile midi;
    ASSERT_EQ(parseError(midiFile(96, {concat({TEMPO_120, tempo130}), note}), &midi), "");
    EXPECT_FLOAT_EQ(midi.bpm, 130.0f);
    MidiFile later;
    ASSERT_EQ(parseError(midiFile(96, {tempo130, concat({note, tempo97})}), &later), "");
    EXPECT_FLOAT_EQ(later.bpm, 97.0f);
}

TEST(MidiParse, DeltaTimesOfAtMostFourBytes)
{
    MidiFile midi;
    // 0x81 0x80 0x80 0x00 = 2^21 ticks = 2^21 / 64 beats.
    ASSERT_EQ(parseError(midiFile(64, {{0x81, 0x80, 0x80, 0x00, 0x90, 1, 1}}), &midi), "");
    EXPECT_EQ(midi.tracks[0].notes[0].times[0], 32768.0f);
    EXPECT_EQ(parseError(midiFile(64, {{0x81, 0x80, 0x80, 0x80, 0x00, 0x90, 1, 1}})),
              "Found 4 bytes of delta time without a 0 MSB");
}

TEST(MidiParse, NoteNames)
{
    char name[MIDI_NOTE_NAME_BYTES];
    const struct { uint8_t note; const char* name; } cases[] = {
        {0, "C0"}, {61, "C#5"}, {60, "C5"}, {127, "G10"}, {11, "B0"}, {255, "D#21"},
    };
    for (const auto& c : cases) {
        noteName(c.note, name);
        EXPECT_STREQ(name, c.name) << (int)c.note;
    }
}

TEST(MidiParse, RefusedEventsAndTheirReportForms)
{
    const struct { Bytes events; const char* error; } cases[] = {
        {{0x00, 0xC0, 5}, "<short>"},                           // program change
        {{0x00, 0xE0, 0, 64}, "<short>"},                       // pitch bend
        {{0x00, 0xF0, 1, 0xF7}, "  Got SysEx event, not supported yet, panicking!"},
        {{0x00, 0xF7, 0}, "  Got SysEx event, not supported yet, panicking!"},
        {{0x00, 0xFF, 0x00, 0x02, 0, 1}, "<short>"},            // sequence number
        {{0x00, 0xFF, 0x04, 0x01, 'x'}, "<short>"},             // instrument name
        {{0x00, 0xFF, 0x07, 0x01, 'x'}, "<short>"},             // cue point
        {{0x00, 0xFF, 0x20, 0x01, 0}, "<short>"},               // channel prefix
        {{0x00, 0xFF, 0x54, 0x05, 0, 0, 0, 0, 0}, "<short>"},   // SMPTE offset
        {{0x00, 0xFF, 0x7F, 0x01, 0}, "<short>"},               // sequencer specific
        {{0x00, 0xFF, 0x21, 0x01, 0}, "  Unknown meta event, panicking!"},
        {{0x00, 0xB0, 64, 127}, "Unknown controller event 64, value 127"},
        {{0x00, 0x3C, 0x40}, "Unknown event 3 from 3c, corrupt MIDI file? Panicking!"}, // no status yet
        {{0x00, 0xF3, 0x12}, "Unknown event 1 from 12, corrupt MIDI file? Panicking!"},
        {{0x00, 0xFF, 0x2F, 0x01, 0}, "Expected 0x00"},
        {{0x00, 0xFF, 0x51, 0x02, 1, 2}, "Expected 0x03"},
        {{0x00, 0xFF, 0x58, 0x03, 4, 2, 24}, "Expected 0x04"},
        {{0x00, 0xFF, 0x59, 0x01, 0}, "Expected 0x02"},
        {{0x00, 0xFF, 0x03, 0x00}, "Retrieving track name failed!"},
        {concat({metaText(3, "a"), metaText(3, "b")}), "Retrieving track name failed!"},
        {{0x00, 0xFF, 0x51, 0x03, 0, 0, 0}, "Track 0: tempo of 0 microseconds per quarter note"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseError(midiFile(96, {c.events})), c.error) << testing::PrintToString(c.events);

    // Text and copyright are per file: a second one in another track fails too.
    EXPECT_EQ(parseError(midiFile(96, {metaText(1, "a"), metaText(1, "b")})), "Retrieving text info failed!");
    EXPECT_EQ(parseError(midiFile(96, {metaText(2, "a"), metaText(2, "b")})),
              "Retrieving copyright info failed!");
    // A track name is per track.
    EXPECT_EQ(parseError(midiFile(96, {metaText(3, "a"), metaText(3, "b")})), "");
}

TEST(MidiParse, BadHeadersAndChunks)
{
    Bytes good = midiFile(96, {{0x00, 0x90, 1, 1}});
    EXPECT_EQ(parseError(good), "");
    MidiError error;
    MidiFile midi;
    EXPECT_FALSE(parseMidi(nullptr, 0, &midi, &error));
    EXPECT_STREQ(error.message, "NULL-buffer specified");

    const char* unknownHeader = "  Unknown header info, MIDI file format not recognized\n";
    Bytes riff = good;
    riff[0] = 'R';
    EXPECT_EQ(parseError(riff), unknownHeader);
    Bytes longHeader = good;
    longHeader[4] = 1;
    EXPECT_EQ(parseError(longHeader), unknownHeader);
    Bytes otherLength = good; // only the first byte of the header length is checked
    otherLength[7] = 9;
    EXPECT_EQ(parseError(otherLength), "");
    EXPECT_EQ(parseError(Bytes(good.begin(), good.begin() + 4)), unknownHeader);
    EXPECT_EQ(parseError(Bytes(good.begin(), good.begin() + 10)),
              "Unexpected end of file in the MIDI header");

    Bytes noChunk = good;
    noChunk[14] = 'X';
    EXPECT_EQ(parseError(noChunk), " Could not find track chunk header, unrecognized file format!\n");
    Bytes twoAnnounced = good;
    twoAnnounced[11] = 2;
    EXPECT_EQ(parseError(twoAnnounced), " Could not find track chunk header, unrecognized file format!\n");
    Bytes zeroDivision = good;
    zeroDivision[13] = 0;
    EXPECT_EQ(parseError(zeroDivision), "Division of 0 ticks per quarter note");
}

TEST(MidiParse, NeverReadsPastAFileOrChunkEnd)
{
    // A chunk length past the end of the file.
    Bytes longChunk = midiFile(96, {{0x00, 0x90, 1, 1}});
    longChunk[21] += 1;
    EXPECT_EQ(parseError(longChunk), "Track 0: chunk length 5 runs past the end of the file");
    // A note event cut by its chunk end is refused, not continued in the next chunk.
    Bytes split = concat({midiFile(96, {{0x00, 0x90, 1}}), trackChunk({1, 0x00, 0x90, 2, 2})});
    split[11] = 2;
    EXPECT_EQ(parseError(split), "Track 0: note event runs past the end of the track chunk");
    EXPECT_EQ(parseError(midiFile(96, {{0x00, 0xFF, 0x03, 0x05, 'a', 'b'}})),
              "Track 0: text of 5 bytes runs past the end of the track chunk");
    EXPECT_EQ(parseError(midiFile(96, {{0x00, 0x90, 1, 1, 0x81}})),
              "Track 0: delta time runs past the end of the track chunk");
    EXPECT_EQ(parseError(midiFile(96, {{0x00, 0x90, 1, 1, 0x00}})),
              "Track 0: event runs past the end of the track chunk");
    EXPECT_EQ(parseError(midiFile(96, {{0x00, 0xFF, 0x51, 0x03, 1}})),
              "Track 0: meta event runs past the end of the track chunk");
    EXPECT_EQ(parseError(midiFile(96, {{0x00, 0xFF}})),
              "Track 0: meta event runs past the end of the track chunk");
    EXPECT_EQ(parseError(midiFile(96, {{0x00, 0xB0, 7}})),
              "Track 0: controller event runs past the end of the track chunk");
    EXPECT_EQ(parseError(midiFile(96, {{0x00, 0xD0}})),
              "Track 0: pressure event runs past the end of the track chunk");

    // Every strict prefix of a valid file is refused with a message (ASan proves no over-read).
    Bytes full = midiFile(96, {concat({metaText(3, "Tempo"), TEMPO_120, END_OF_TRACK}),
                               concat({metaText(3, "Piano"), {0x00, 0x90, 60, 100, 0x83, 0x00, 60, 0}})});
    ASSERT_EQ(parseError(full), "");
    for (size_t n = 0; n < full.size(); n++) {
        Bytes prefix(full.begin(), full.begin() + n);
        EXPECT_NE(parseError(prefix), "") << n;
    }
}

TEST(MidiLoad, ReportsFromMidiAndExits)
{
    writeTestFile("good.mid", midiFile(96, {concat({metaText(3, "Piano"), {0x00, 0x90, 60, 1}})}));
    MidiFile* midi = loadMidiFile("good.mid");
    ASSERT_NE(midi, nullptr);
    EXPECT_EQ(midi->tracks.at(0).name, "Piano");
    delete midi;

    EXPECT_EXIT(loadMidiFile("missing.mid"), testing::ExitedWithCode(1),
                "Error in file src/util/music/midi.cpp:.+\n\nFailed to open file missing.mid");
    writeTestFile("bend.mid", midiFile(96, {{0x00, 0xE0, 0, 64}}));
    // The short form: caption "Error", body the location alone.
    EXPECT_EXIT(loadMidiFile("bend.mid"), testing::ExitedWithCode(1),
                "^Error\nError in file src/util/music/midi.cpp:.+\n$");
    writeTestFile("cc.mid", midiFile(96, {{0x00, 0xB0, 1, 2}}));
    EXPECT_EXIT(loadMidiFile("cc.mid"), testing::ExitedWithCode(1),
                "Error in file src/util/music/midi.cpp:.+\n\nUnknown controller event 1, value 2");
}

// >> queries on hand-built tables

static MidiTrack trackWith(std::initializer_list<std::vector<float>> noteTimes)
{
    MidiTrack track;
    uint8_t note = 40;
    for (const std::vector<float>& times : noteTimes) {
        NoteTable t;
        t.note = note++;
        t.times = times;
        t.velocities.assign(times.size(), 1);
        track.notes.push_back(t);
    }
    return track;
}

TEST(MidiQuery, StatesAndTriggersShareTheCursor)
{
    // On 1.0, off 1.5, now 1.2: states first marks the note-on as reported.
    MidiTrack a = trackWith({{1.0f, -1.5f}});
    EXPECT_EQ(trackNoteStates(a, 1.2f), std::vector<bool>{true});
    EXPECT_EQ(a.notes[0].cursor, 0);
    EXPECT_EQ(trackNoteTriggers(a, 1.2f), std::vector<bool>{false});

    MidiTrack b = trackWith({{1.0f, -1.5f}});
    EXPECT_EQ(trackNoteTriggers(b, 1.2f), std::vector<bool>{true});
    EXPECT_EQ(b.notes[0].cursor, 0);
    EXPECT_EQ(trackNoteTriggers(b, 1.3f), std::vector<bool>{false}); // reported once
    EXPECT_EQ(trackNoteStates(b, 1.3f), std::vector<bool>{true});
    EXPECT_EQ(trackNoteStates(b, 1.6f), std::vector<bool>{false});   // every event passed
    EXPECT_EQ(trackNoteStates(b, 0.5f), std::vector<bool>{false});   // none passed
}

TEST(MidiQuery, MissedNoteOnsAndEdges)
{
    // The note-off passed too: the note-on at 1.0 is never reported, the cursor stays.
    MidiTrack a = trackWith({{1.0f, -1.5f, 3.0f, -4.0f}, {1.0f, -1.5f}});
    EXPECT_EQ(trackNoteTriggers(a, 2.0f), (std::vector<bool>{false, false}));
    EXPECT_EQ(a.notes[0].cursor, -1);
    EXPECT_EQ(trackNoteTriggers(a, 3.5f), (std::vector<bool>{true, false}));
    EXPECT_EQ(a.notes[0].cursor, 2);

    // A note-on at beat 0 is not greater than 0: never sounding nor triggered.
    MidiTrack zero = trackWith({{0.0f, -2.0f}});
    EXPECT_EQ(trackNoteStates(zero, 1.0f), std::vector<bool>{false});
    EXPECT_EQ(trackNoteTriggers(zero, 1.0f), std::vector<bool>{false});

    // A last note-on without a note-off is over once it has passed.
    MidiTrack last = trackWith({{1.0f, -2.0f, 3.0f}});
    EXPECT_EQ(trackNoteStates(last, 3.5f), std::vector<bool>{false});
    EXPECT_EQ(trackNoteTriggers(last, 3.5f), std::vector<bool>{false});
    EXPECT_EQ(trackNoteStates(last, 1.5f), std::vector<bool>{true});

    // An event exactly at now has not passed yet.
    MidiTrack exact = trackWith({{1.0f, -2.0f}});
    EXPECT_EQ(trackNoteTriggers(exact, 1.0f), std::vector<bool>{false});
    EXPECT_EQ(trackNoteTriggers(exact, 1.01f), std::vector<bool>{true});
}

TEST(MidiQuery, LookupTableAndTrackNames)
{
    MidiFile midi;
    midi.tracks.push_back(trackWith({{1.0f}, {2.0f}, {3.0f}}));
    midi.tracks.push_back(trackWith({{1.0f}}));
    midi.tracks.push_back(trackWith({{1.0f}}));
    midi.tracks[1].name = "Piano";
    midi.tracks[2].name = "Piano";
    EXPECT_EQ(trackNoteLUT(midi.tracks[0]), (std::vector<uint8_t>{40, 41, 42}));
    EXPECT_EQ(findMidiTrack(midi, "Piano"), 1);
    EXPECT_EQ(findMidiTrack(midi, "piano"), -1);
    EXPECT_EQ(findMidiTrack(midi, ""), -1); // a track without a name never matches
    EXPECT_EQ(findMidiTrack(midi, "beats"), -1);
}

TEST(MidiParse, ValidFuzzSeedsParse)
{
    const char* seeds[] = {"song.mid", "one_track.mid", "long_delta.mid", "empty.mid", "meta_only.mid"};
    for (const char* name : seeds) {
        Bytes bytes = readTestFile(sourcePath(std::string("fuzz/corpus/music_midi/") + name));
        MidiFile midi;
        EXPECT_EQ(parseError(bytes, &midi), "") << name;
        if (std::string(name) == "song.mid") {
            ASSERT_EQ(midi.tracks.size(), 3u);
            EXPECT_EQ(midi.tracks[1].name, "TAL-BassLine 02");
            EXPECT_FLOAT_EQ(midi.bpm, 130.0f);
        }
    }
}

// The show's song: it parses, and has the tracks the keyboard scene asks for by name.
TEST(MidiParse, TheSongHasTheTracksTheScenesAskFor)
{
    Bytes bytes = readTestFile(sourcePath("data/common/music/dubr0lp.mid"));
    if (bytes.empty()) SKIP_UNLESS_REQUIRED("no song file yet");
    MidiFile midi;
    ASSERT_EQ(parseError(bytes, &midi), "");
    for (const char* name : {"Piano", "TAL-BassLine 02", "Ravelead", "beats"})
        EXPECT_GE(findMidiTrack(midi, name), 0) << name;
    printf("bpm %.2f, %d tracks\n", midi.bpm, (int)midi.tracks.size());
    for (const MidiTrack& t : midi.tracks) {
        size_t stored = 0;
        for (const NoteTable& n : t.notes) stored += n.times.size();
        printf("  \"%s\": %u note events, %d notes, %d stored events\n", t.name.c_str(), t.noteEventCount,
               (int)t.notes.size(), (int)stored);
    }
}

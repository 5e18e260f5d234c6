// The show's song as the show reads it: the MIDI file through the show's parser (tempo, the
// tracks the scenes name, the keyboard's limits, clean note pairs, length) and the MP3 through
// the show's audio back end (length against the MIDI file, onsets on their beats).
// The click fixture comes from the song's own render chain (tools/song/build.sh): a sine blip
// on every beat and a hi-hat on every off-beat, so its onsets are known to the sample.
#include "util/music/audio.h"
#include "util/music/midi.h"

#include "test_support.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <set>

namespace {

typedef std::vector<uint8_t> Bytes;

const double LENGTH_TOLERANCE_S = 0.050;  // decoded MP3 against the MIDI file's length
const double ONSET_TOLERANCE_S = 0.005;   // a note's onset against its time
const int KEYBOARD_LOWEST = 24;           // MIDI note of the keyboard's key 0
const int KEYBOARD_HIGHEST = 84;          // MIDI note of key 60
const float FADE_END_BEAT = 337.0f;       // the picture is black from here on

// What the parser does not keep: the division, the tempo in microseconds and the end of the
// longest track, read straight from the chunks. The file has parsed already, so only the
// accepted events occur; every read is still bounds-checked.
struct SongTiming {
    uint32_t division = 0;
    uint32_t tempoUs = 0;
    uint64_t endTick = 0;
    double seconds() const { return (double)endTick / division * tempoUs / 1e6; }
    double beatSeconds(double beat) const { return beat * tempoUs / 1e6; }
};

bool scanTiming(const Bytes& b, SongTiming* out)
{
    if (b.size() < 14) return false;
    out->division = (b[12] << 8) | b[13];
    unsigned tracks = (b[10] << 8) | b[11];
    size_t pos = 14;
    for (unsigned t = 0; t < tracks; ++t) {
        if (pos + 8 > b.size() || memcmp(&b[pos], "MTrk", 4) != 0) return false;
        size_t end = pos + 8 + (((size_t)b[pos + 4] << 24) | (b[pos + 5] << 16) | (b[pos + 6] << 8) | b[pos + 7]);
        if (end > b.size()) return false;
        pos += 8;
        uint64_t tick = 0;
        uint8_t status = 0;
        while (pos < end) {
            uint32_t delta = 0;
            do {
                if (pos >= end) return false;
                delta = (delta << 7) | (b[pos] & 0x7F);
            } while (b[pos++] & 0x80);
            tick += delta;
            if (pos >= end) return false;
            if (b[pos] & 0x80) status = b[pos++];
            if (status == 0xFF) {
                if (pos + 2 > end || pos + 2 + b[pos + 1] > end) return false;
                if (b[pos] == 0x51 && b[pos + 1] == 3)
                    out->tempoUs = (b[pos + 2] << 16) | (b[pos + 3] << 8) | b[pos + 4];
                pos += 2 + b[pos + 1];
            } else if ((status & 0xE0) == 0xC0) {
                pos += 1;
            } else {
                pos += 2;
            }
        }
        if (pos != end) return false;
        out->endTick = std::max(out->endTick, tick);
    }
    return out->division > 0 && out->tempoUs > 0;
}

struct LoadedSong {
    MidiFile midi;
    SongTiming timing;
};

void loadSongMidi(const std::string& path, LoadedSong* song)
{
    Bytes bytes = readTestFile(sourcePath(path));
    ASSERT_FALSE(bytes.empty()) << path;
    MidiError error;
    ASSERT_TRUE(parseMidi(bytes.data(), bytes.size(), &song->midi, &error)) << error.message;
    ASSERT_TRUE(scanTiming(bytes, &song->timing));
}

const MidiTrack& track(const MidiFile& midi, const char* name)
{
    int index = findMidiTrack(midi, name);
    EXPECT_GE(index, 0) << name;
    return midi.tracks[index < 0 ? 0 : index];
}

// Decoded through the show's back end: 44.1 kHz stereo frames.
std::vector<int16_t> decodeMp3(const std::string& path)
{
    Bytes bytes = readTestFile(sourcePath(path));
    int16_t* samples = nullptr;
    uint64_t frames = 0;
    const char* problem = audioDecodeMp3(bytes.data(), bytes.size(), &samples, &frames);
    EXPECT_EQ(problem, nullptr) << path;
    std::vector<int16_t> out;
    if (samples) out.assign(samples, samples + frames * 2);
    free(samples);
    return out;
}

// First frame near `expected` whose level passes a quarter of the loudest frame in the window.
double onsetErrorSeconds(const std::vector<int16_t>& pcm, double expectedFrame)
{
    const long half = 1500;  // 34 ms either side; a click's tail is gone by the next note
    long first = std::max(0L, (long)expectedFrame - half);
    long last = std::min((long)(pcm.size() / 2), (long)expectedFrame + half);
    int peak = 0;
    for (long f = first; f < last; ++f) peak = std::max({peak, abs(pcm[2 * f]), abs(pcm[2 * f + 1])});
    for (long f = first; f < last; ++f)
        if (std::max(abs(pcm[2 * f]), abs(pcm[2 * f + 1])) * 4 > peak) return (f - expectedFrame) / AUDIO_SAMPLE_RATE;
    return 1.0;
}

} // namespace

TEST(SongMidi, ParsesAt140BeatsPerMinuteIn4_4WithTheTracksTheScenesName)
{
    LoadedSong song;
    loadSongMidi("data/common/music/dubr0lp.mid", &song);
    EXPECT_FLOAT_EQ(song.midi.bpm, 140.0f);
    EXPECT_EQ(song.midi.timeSigNumerator, 4);
    EXPECT_EQ(song.midi.timeSigDenominator, 4);
    for (const char* name : {"Piano", "TAL-BassLine 02", "Ravelead", "beats"})
        EXPECT_GE(findMidiTrack(song.midi, name), 0) << name;
    // The parse as the show sees it, for whoever changes the song.
    printf("%zu tracks at %.2f BPM\n", song.midi.tracks.size(), song.midi.bpm);
    for (const MidiTrack& t : song.midi.tracks) {
        size_t ons = 0;
        for (const NoteTable& n : t.notes)
            for (float time : n.times) ons += time >= 0.0f;
        printf("  %-16s %5zu note-ons, %2zu distinct notes\n", t.name.c_str(), ons, t.notes.size());
    }
}

TEST(SongMidi, KeyboardTracksFitTheKeyboardAndItsColourTables)
{
    LoadedSong song;
    loadSongMidi("data/common/music/dubr0lp.mid", &song);
    struct Limit { const char* name; size_t maxNotes; };
    for (Limit limit : {Limit{"Piano", 29}, Limit{"TAL-BassLine 02", 26}, Limit{"Ravelead", 61}}) {
        const MidiTrack& t = track(song.midi, limit.name);
        EXPECT_LE(t.notes.size(), limit.maxNotes) << limit.name;
        for (const NoteTable& n : t.notes) {
            EXPECT_GE(n.note, KEYBOARD_LOWEST) << limit.name;
            EXPECT_LE(n.note, KEYBOARD_HIGHEST) << limit.name;
            // A first note-on at beat 0 would never light its key.
            ASSERT_FALSE(n.times.empty());
            EXPECT_GT(n.times[0], 0.0f) << limit.name << " note " << (int)n.note;
        }
    }
}

// Every note-on has its own note-off: nothing is dropped as a repeat, the events of a note
// alternate on/off in time order, and the last one is an off (else the key would never light).
TEST(SongMidi, EveryNoteIsStruckOnceAndReleasedBeforeTheFadeEnds)
{
    LoadedSong song;
    loadSongMidi("data/common/music/dubr0lp.mid", &song);
    for (const MidiTrack& t : song.midi.tracks) {
        size_t stored = 0;
        for (const NoteTable& n : t.notes) {
            stored += n.times.size();
            ASSERT_EQ(n.times.size() % 2, 0u) << t.name << " " << n.noteName;
            float previous = 0.0f;
            for (size_t i = 0; i < n.times.size(); ++i) {
                EXPECT_EQ(n.times[i] >= 0.0f, i % 2 == 0) << t.name << " " << n.noteName << " event " << i;
                EXPECT_GE(fabsf(n.times[i]), previous) << t.name << " " << n.noteName;
                previous = fabsf(n.times[i]);
            }
            EXPECT_LE(previous, FADE_END_BEAT) << t.name << " " << n.noteName;
        }
        EXPECT_EQ(t.noteEventCount, stored) << t.name;
    }
    EXPECT_EQ(song.timing.endTick, 340u * song.timing.division);
}

// The 3D keyboard is on screen from 136 to 168 and from 200 to 216: all three of its tracks
// must sound in both windows.
TEST(SongMidi, KeyboardTracksSoundInBothKeyboardWindows)
{
    LoadedSong song;
    loadSongMidi("data/common/music/dubr0lp.mid", &song);
    for (const char* name : {"Piano", "TAL-BassLine 02", "Ravelead"}) {
        MidiTrack t = track(song.midi, name);
        std::set<int> windowsHeard;
        for (float beat = 136.0f; beat <= 216.0f; beat += 0.25f) {
            std::vector<bool> states = trackNoteStates(t, beat);
            if (std::find(states.begin(), states.end(), true) == states.end()) continue;
            if (beat <= 168.0f) windowsHeard.insert(1);
            if (beat >= 200.0f) windowsHeard.insert(2);
        }
        EXPECT_EQ(windowsHeard.size(), 2u) << name;
    }
}

TEST(SongAudio, DecodedMp3LastsAsLongAsTheMidiFile)
{
    LoadedSong song;
    loadSongMidi("data/common/music/dubr0lp.mid", &song);
    std::vector<int16_t> pcm = decodeMp3("data/common/music/dubr0lp.mp3");
    double seconds = pcm.size() / 2.0 / AUDIO_SAMPLE_RATE;
    EXPECT_NEAR(seconds, song.timing.seconds(), LENGTH_TOLERANCE_S);
    printf("MP3 %.4f s, MIDI %.4f s\n", seconds, song.timing.seconds());
}

// Sample 0 is beat 0 through render, mastering, encoder delay and the show's gapless decode.
TEST(SongAudio, ClickVariantOnsetsLandOnTheirNotes)
{
    LoadedSong click;
    loadSongMidi("tests/fixtures/song_click.mid", &click);
    std::vector<int16_t> pcm = decodeMp3("tests/fixtures/song_click.mp3");
    ASSERT_FALSE(pcm.empty());
    int checked = 0;
    double worst = 0.0;
    for (const MidiTrack& t : click.midi.tracks)
        for (const NoteTable& n : t.notes)
            for (float time : n.times) {
                if (time < 0.0f) continue;
                double error = onsetErrorSeconds(pcm, click.timing.beatSeconds(time) * AUDIO_SAMPLE_RATE);
                EXPECT_LE(fabs(error), ONSET_TOLERANCE_S) << t.name << " at beat " << time;
                worst = std::max(worst, fabs(error));
                ++checked;
            }
    EXPECT_GE(checked, 20);
    printf("%d onsets, worst %.2f ms\n", checked, worst * 1000.0);
}

// In the song itself: the first glitch accent (a noise burst at beat 2 over the soft intro pad)
// is heard on its beat. A first difference keeps the burst and drops the pad.
TEST(SongAudio, FirstGlitchAccentIsHeardOnItsBeat)
{
    LoadedSong song;
    loadSongMidi("data/common/music/dubr0lp.mid", &song);
    std::vector<int16_t> pcm = decodeMp3("data/common/music/dubr0lp.mp3");
    ASSERT_GT(pcm.size(), 2u * AUDIO_SAMPLE_RATE * 2);
    std::vector<int16_t> edges(pcm.size(), 0);
    for (size_t i = 2; i < pcm.size(); ++i) edges[i] = (int16_t)std::max(-32768, std::min(32767, pcm[i] - pcm[i - 2]));
    double error = onsetErrorSeconds(edges, song.timing.beatSeconds(2.0) * AUDIO_SAMPLE_RATE);
    EXPECT_LE(fabs(error), ONSET_TOLERANCE_S);
    printf("glitch at beat 2: %+.2f ms\n", error * 1000.0);
}

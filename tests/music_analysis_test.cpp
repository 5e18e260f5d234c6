// Music's MIDI operations and audio analyses: the loudness arithmetic on known blocks, then a
// Music over the virtual output (a 344.5 Hz sine fixture as the song, a hand-built MIDI file)
// whose position the test sets, so the clock and the data reads are known.
#include "util/music/music.h"

#include "util/music/audio.h"
#include "util/music/midi.h"
#include "util/music/music_analysis.h"
#include "util/data/data.h" // setDataDirectory
#include "test_support.h"
#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <sys/stat.h>

typedef std::vector<uint8_t> Bytes;

TEST(MusicLevels, SampleAndSmoothedLevelOnKnownBlocks)
{
    const float four[MUSIC_SAMPLE_LEVEL_SAMPLES] = {0.5f, -0.25f, 1.0f, 0.0f};
    EXPECT_FLOAT_EQ(sampleLevel(four), 0.3125f);
    const float negative[MUSIC_SAMPLE_LEVEL_SAMPLES] = {-0.5f, -0.5f, -0.25f, -0.75f};
    EXPECT_FLOAT_EQ(sampleLevel(negative), -0.5f); // signed, not a magnitude

    float block[MUSIC_SMOOTHED_LEVEL_SAMPLES] = {};
    // An impulse: y_i = 0.9^i, so the mean is (1 - 0.9^128) / 0.1 / 128.
    block[0] = 1.0f;
    EXPECT_NEAR(smoothedLevel(block), (1.0 - pow(0.9, 128)) / 0.1 / 128.0, 1e-6);
    // A constant block passes unchanged.
    for (float& x : block) x = -0.4f;
    EXPECT_NEAR(smoothedLevel(block), -0.4, 1e-6);
    // A step after the first sample: x0 = 0, then 1; y_i = 1 - 0.9^i.
    for (float& x : block) x = 1.0f;
    block[0] = 0.0f;
    double sum = 0.0;
    for (int i = 1; i < 128; i++) sum += 1.0 - pow(0.9, i);
    EXPECT_NEAR(smoothedLevel(block), sum / 128.0, 1e-5);
}

TEST(MusicLevels, SpectrumLevelKeepsTheLoudestSum)
{
    float bins[MUSIC_SPECTRUM_LEVEL_BINS] = {};
    float max = 1.0f;
    bins[3] = 0.5f;
    EXPECT_FLOAT_EQ(spectrumLevel(bins, &max), 0.5f);
    EXPECT_FLOAT_EQ(max, 1.0f);
    bins[100] = 3.5f; // sum 4: the loudest so far
    EXPECT_FLOAT_EQ(spectrumLevel(bins, &max), 1.0f);
    EXPECT_FLOAT_EQ(max, 4.0f);
    bins[100] = 1.5f; // sum 2
    EXPECT_FLOAT_EQ(spectrumLevel(bins, &max), 0.5f);
    EXPECT_FLOAT_EQ(max, 4.0f); // never decays
    bins[3] = bins[100] = 0.0f;
    EXPECT_FLOAT_EQ(spectrumLevel(bins, &max), 0.0f);
}

// >> a Music over the virtual output

static Bytes track(const char* name, std::initializer_list<uint8_t> events)
{
    Bytes body = {0x00, 0xFF, 0x03, (uint8_t)strlen(name)};
    for (const char* p = name; *p; p++) body.push_back((uint8_t)*p);
    for (uint8_t b : events) body.push_back(b);
    Bytes out = {'M', 'T', 'r', 'k', 0, 0, 0, (uint8_t)body.size()};
    for (uint8_t b : body) out.push_back(b);
    return out;
}

// Tempo 120 (two beats per second), division 96. "Piano": C5 on 1.0 off 1.5, E5 on 2.0 off 3.0.
// "Bass": A1 on 0.5 off 4.0.
static Bytes songMidi()
{
    Bytes out = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 3, 0, 96};
    Bytes tempo = track("Tempo", {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20});
    Bytes piano = track("Piano", {0x60, 0x90, 60, 100, 0x30, 0x80, 60, 0,
                                  0x30, 0x90, 64, 90, 0x60, 0x80, 64, 0});
    Bytes bass = track("Bass", {0x30, 0x90, 33, 70, 0x82, 0x50, 0x80, 33, 0});
    for (const Bytes* t : {&tempo, &piano, &bass})
        for (uint8_t b : *t) out.push_back(b);
    return out;
}

class VirtualMusic : public testing::Test {
protected:
    Music* music = nullptr;
    std::string folder;     // holds this test's data/ tree
    int16_t* pcm = nullptr; // the song as the back end decodes it
    uint64_t frames = 0;

    void SetUp() override
    {
        Bytes mp3 = readTestFile(sourcePath("tests/fixtures/sine344_2s.mp3"));
        ASSERT_FALSE(mp3.empty());
        ASSERT_EQ(audioDecodeMp3(mp3.data(), mp3.size(), &pcm, &frames), nullptr);
        // A folder per test: CTest runs the cases as parallel processes, and one of them breaks
        // the MIDI file on purpose.
        folder = testing::UnitTest::GetInstance()->current_test_info()->name();
        for (const char* sub : {"", "/data", "/data/common", "/data/common/music"}) mkdir((folder + sub).c_str(), 0755);
        writeTestFile(folder + "/data/common/music/dubr0lp.mp3", mp3);
        writeTestFile(folder + "/data/common/music/dubr0lp.mid", songMidi());
        setDataDirectory(folder.c_str());
        audioUseVirtualOutput(true);
        musicResetClock();
        music = new Music();
        ASSERT_NE(music->stream, 0u);
    }
    void TearDown() override
    {
        setDataDirectory("");
        audioClose();
        audioUseVirtualOutput(false);
        free(pcm);
    }
    // Moves the heard-now position to the clock reading `beats` (bpm 120, offset 0.1).
    void atBeat(double beats)
    {
        uint64_t frame = (uint64_t)((beats - 0.1) / 2.0 * 44100.0 + 0.5);
        audioSetVirtualPosition(music->stream, frame * 4);
    }
    float sample(uint64_t frame, int i) const { return pcm[frame * 2 + i] / 32768.0f; }
};

TEST_F(VirtualMusic, LoadMidiTakesTheTempoAndQueriesFollowTheClock)
{
    EXPECT_FLOAT_EQ(music->bpm, 999.0f);
    music->loadMidi();
    ASSERT_NE(music->midi, nullptr);
    EXPECT_FLOAT_EQ(music->bpm, 120.0f);
    ASSERT_EQ(music->midi->tracks.size(), 2u); // the tempo track is dropped
    EXPECT_EQ(music->getNoteLUT("Piano"), (std::vector<uint8_t>{60, 64}));
    EXPECT_EQ(music->getNoteLUT(1), std::vector<uint8_t>{33});

    atBeat(1.2);
    EXPECT_NEAR(music->getTime(), 1.2f, 1e-4);
    // States first: the sounding C5 is marked reported, so no trigger follows.
    EXPECT_EQ(music->getNoteStates("Piano"), (std::vector<bool>{true, false}));
    EXPECT_EQ(music->getNoteTriggers("Piano"), (std::vector<bool>{false, false}));
    // Triggers first: the bass note-on at 0.5 is reported once, then only sounds.
    EXPECT_EQ(music->getNoteTriggers("Bass"), std::vector<bool>{true});
    EXPECT_EQ(music->getNoteTriggers(1), std::vector<bool>{false});
    EXPECT_EQ(music->getNoteStates(1), std::vector<bool>{true});

    atBeat(2.5);
    EXPECT_EQ(music->getNoteTriggers(0), (std::vector<bool>{false, true}));
    EXPECT_EQ(music->getNoteStates("Piano"), (std::vector<bool>{false, true}));
    atBeat(3.5); // every event of the piano has passed
    EXPECT_EQ(music->getNoteStates("Piano"), (std::vector<bool>{false, false}));
    EXPECT_EQ(music->getNoteStates("Bass"), std::vector<bool>{true});
}

TEST_F(VirtualMusic, QueryFailuresReportFromMusic)
{
    // Without a MIDI file the by-index forms answer nothing; the by-name forms are fatal.
    EXPECT_TRUE(music->getNoteLUT(0).empty());
    EXPECT_TRUE(music->getNoteStates(0).empty());
    EXPECT_TRUE(music->getNoteTriggers(0).empty());
    EXPECT_EXIT(music->getNoteLUT("Piano"), testing::ExitedWithCode(1),
                "music_analysis.cpp:[0-9]+\n\n"
                "Attempted to get note lookup table without a valid MIDI file loaded!");
    EXPECT_EXIT(music->getNoteStates("Piano"), testing::ExitedWithCode(1),
                "Attempted to get note states without a valid MIDI file loaded!");
    EXPECT_EXIT(music->getNoteTriggers("Piano"), testing::ExitedWithCode(1),
                "Attempted to get note states without a valid MIDI file loaded!");

    music->loadMidi();
    EXPECT_EXIT(music->getNoteStates("beats"), testing::ExitedWithCode(1), "Could not find track \"beats\"!");
    EXPECT_EXIT(music->getNoteTriggers("piano"), testing::ExitedWithCode(1),
                "Could not find track \"piano\"!");
    EXPECT_EXIT(music->getNoteLUT(2), testing::ExitedWithCode(1), "Track number out of bounds");
    EXPECT_EXIT(music->getNoteStates(-1), testing::ExitedWithCode(1), "Track number out of bounds");
    EXPECT_EXIT(music->getFFT(nullptr), testing::ExitedWithCode(1), "\n\nInvalid buffer");
    EXPECT_EXIT(music->getWaveData(nullptr), testing::ExitedWithCode(1), "\n\nInvalid buffer");
}

TEST_F(VirtualMusic, LoadMidiFailures)
{
    writeTestFile(folder + "/data/common/music/dubr0lp.mid", Bytes{'M', 'T', 'h', 'd', 1});
    EXPECT_EXIT(music->loadMidi(), testing::ExitedWithCode(1),
                "midi.cpp:[0-9]+\n\n  Unknown header info, MIDI file format not recognized\n");
    remove((folder + "/data/common/music/dubr0lp.mid").c_str());
    EXPECT_EXIT(music->loadMidi(), testing::ExitedWithCode(1),
                "Failed to open file data.common.music.dubr0lp.mid");
}

TEST_F(VirtualMusic, AnalysesReadWhatIsHeardNow)
{
    const uint64_t frame = 30000;
    audioSetVirtualPosition(music->stream, frame * 4);

    double four = (sample(frame, 0) + sample(frame, 1) + sample(frame + 1, 0) + sample(frame + 1, 1)) / 4.0;
    EXPECT_NEAR(music->getSampleLevel(), four, 1e-6);

    float block[MUSIC_SMOOTHED_LEVEL_SAMPLES];
    for (int i = 0; i < MUSIC_SMOOTHED_LEVEL_SAMPLES; i++) block[i] = sample(frame + i / 2, i % 2);
    double y = block[0], sum = block[0];
    for (int i = 1; i < MUSIC_SMOOTHED_LEVEL_SAMPLES; i++) {
        y = 0.9 * y + 0.1 * block[i];
        sum += y;
    }
    EXPECT_NEAR(music->getSmoothedLevel(), sum / 128.0, 1e-5);

    float wave[MUSIC_WAVE_SAMPLES];
    music->getWaveData(wave);
    for (int i = 0; i < MUSIC_WAVE_SAMPLES; i++) ASSERT_EQ(wave[i], sample(frame + i / 2, i % 2)) << i;

    // The sine sits in bin 16 of the 2048-point spectrum.
    float fft[MUSIC_FFT_BINS];
    music->getFFT(fft);
    int peak = 0;
    for (int i = 1; i < MUSIC_FFT_BINS; i++)
        if (fft[i] > fft[peak]) peak = i;
    EXPECT_EQ(peak, 16);

    // The sine's spectrum sums to less than the starting maximum of 1.0: the level is the sum.
    float bins[MUSIC_SPECTRUM_LEVEL_BINS];
    ASSERT_GT(audioChannelGetData(music->stream, bins, AUDIO_DATA_FFT512), 0);
    float binSum = 0.0f;
    for (float b : bins) binSum += b;
    ASSERT_LT(binSum, 1.0f);
    ASSERT_GT(binSum, 0.05f);
    EXPECT_FLOAT_EQ(music->getSpectrumLevel(), binSum);
}

TEST_F(VirtualMusic, NoStreamReadsSilence)
{
    audioClose(); // the stream handle is no longer valid
    float wave[MUSIC_WAVE_SAMPLES];
    for (float& w : wave) w = 7.0f;
    music->getWaveData(wave);
    for (float w : wave) ASSERT_EQ(w, 0.0f);
    EXPECT_EQ(music->getSampleLevel(), 0.0f);
    EXPECT_EQ(music->getSmoothedLevel(), 0.0f);
}

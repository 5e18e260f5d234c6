// Audio back end: MP3 decoding, the virtual output, spectra, and the device clock (dummy driver).
#include "util/music/audio.h"

#include "platform/platform.h"
#include "test_support.h"
#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>

// Fixtures: 2 s of a 344.53125 Hz sine (bin 16 of a 2048-point spectrum, bin 4 of a 512-point one)
// at amplitude 0.5 in 44.1 kHz stereo; 1 s of a 440 Hz sine in 22.05 kHz mono.
static const double SINE_HZ = 344.53125;
static const uint64_t SINE_FRAMES = 88200;
// The encoder keeps the sine's amplitude of 0.5 only to within a few percent.
static const double SINE_AMPLITUDE = 0.476;

static std::vector<uint8_t> fixture(const char* name)
{
    std::vector<uint8_t> bytes = readTestFile(sourcePath(std::string("tests/fixtures/") + name));
    EXPECT_FALSE(bytes.empty()) << name;
    return bytes;
}

TEST(AudioDecode, GaplessLengthAndStart)
{
    std::vector<uint8_t> mp3 = fixture("sine344_2s.mp3");
    int16_t* pcm = nullptr;
    uint64_t frames = 0;
    ASSERT_EQ(audioDecodeMp3(mp3.data(), mp3.size(), &pcm, &frames), nullptr);
    // The encoder's delay and padding are trimmed: exactly the samples that went in.
    EXPECT_EQ(frames, SINE_FRAMES);
    // Sample 0 is the sine's first sample: the first 10 ms match sin(2 pi f t) closely.
    double error = 0.0;
    for (int i = 0; i < 441; i++) {
        double expected = SINE_AMPLITUDE * sin(2.0 * M_PI * SINE_HZ * i / 44100.0);
        double left = pcm[i * 2] / 32768.0, right = pcm[i * 2 + 1] / 32768.0;
        error += (left - expected) * (left - expected) + (right - expected) * (right - expected);
    }
    EXPECT_LT(sqrt(error / 882.0), 0.02);
    free(pcm);
}

TEST(AudioDecode, OtherRatesAndMonoBecome44kStereo)
{
    std::vector<uint8_t> mp3 = fixture("sine440_22k_mono_1s.mp3");
    int16_t* pcm = nullptr;
    uint64_t frames = 0;
    ASSERT_EQ(audioDecodeMp3(mp3.data(), mp3.size(), &pcm, &frames), nullptr);
    EXPECT_EQ(frames, 44100u); // 1 s at 22.05 kHz, gapless, doubled in rate
    // Mono is doubled into both channels.
    for (uint64_t i = 1000; i < 1100; i++) EXPECT_EQ(pcm[i * 2], pcm[i * 2 + 1]);
    free(pcm);
}

TEST(AudioDecode, BadDataIsRefusedNotCrashed)
{
    int16_t* pcm = nullptr;
    uint64_t frames = 0;
    EXPECT_NE(audioDecodeMp3(nullptr, 0, &pcm, &frames), nullptr);
    std::vector<uint8_t> noise(20000);
    srand(7);
    for (uint8_t& b : noise) b = (uint8_t)(rand() & 0x7f); // no 0xff: no frame sync can appear
    EXPECT_NE(audioDecodeMp3(noise.data(), noise.size(), &pcm, &frames), nullptr);
    EXPECT_EQ(pcm, nullptr);
    EXPECT_EQ(frames, 0u);
    // A song cut in the middle keeps what decoded.
    std::vector<uint8_t> mp3 = fixture("sine344_2s.mp3");
    ASSERT_EQ(audioDecodeMp3(mp3.data(), mp3.size() / 2 + 7, &pcm, &frames), nullptr);
    EXPECT_GT(frames, SINE_FRAMES / 3);
    EXPECT_LT(frames, SINE_FRAMES);
    free(pcm);
}

class VirtualAudio : public testing::Test {
protected:
    uint32_t stream = 0;
    void SetUp() override
    {
        audioUseVirtualOutput(true);
        ASSERT_TRUE(audioInit());
        std::vector<uint8_t> mp3 = fixture("sine344_2s.mp3");
        stream = audioStreamCreate(mp3.data(), mp3.size(), 0);
        ASSERT_NE(stream, 0u);
    }
    void TearDown() override
    {
        audioClose();
        audioUseVirtualOutput(false);
    }
};

TEST_F(VirtualAudio, LengthSecondsAndHandles)
{
    EXPECT_EQ(audioChannelGetLength(stream, AUDIO_POS_BYTE), SINE_FRAMES * 4);
    EXPECT_DOUBLE_EQ(audioChannelBytes2Seconds(stream, 176400), 1.0);
    EXPECT_DOUBLE_EQ(audioChannelBytes2Seconds(stream, SINE_FRAMES * 4), 2.0);
    EXPECT_EQ(audioChannelSeconds2Bytes(stream, 1.5), 264600u);
    EXPECT_EQ(audioChannelSeconds2Bytes(stream, 1.0 / 60.0), 2940u); // whole frames
    EXPECT_EQ(audioChannelSeconds2Bytes(stream, 0.00001), 0u);
    EXPECT_EQ(audioChannelSeconds2Bytes(stream, -1.0), AUDIO_LENGTH_ERROR);
    EXPECT_EQ(audioChannelGetLength(stream + 1, AUDIO_POS_BYTE), AUDIO_LENGTH_ERROR);
    EXPECT_EQ(audioChannelIsActive(0), AUDIO_ACTIVE_STOPPED);
    EXPECT_FALSE(audioChannelPlay(stream + 1, false));
    // A second stream replaces the first; the old handle no longer works.
    std::vector<uint8_t> mp3 = fixture("sine440_22k_mono_1s.mp3");
    uint32_t second = audioStreamCreate(mp3.data(), mp3.size(), 0);
    EXPECT_NE(second, stream);
    EXPECT_EQ(audioChannelGetLength(stream, AUDIO_POS_BYTE), AUDIO_LENGTH_ERROR);
    std::vector<uint8_t> junk(100, 0x20);
    EXPECT_EQ(audioStreamCreate(junk.data(), junk.size(), 0), 0u);
}

TEST_F(VirtualAudio, PositionPlayingAndLoop)
{
    EXPECT_EQ(audioChannelIsActive(stream), AUDIO_ACTIVE_STOPPED);
    ASSERT_TRUE(audioChannelPlay(stream, false));
    EXPECT_EQ(audioChannelIsActive(stream), AUDIO_ACTIVE_PLAYING);
    audioSetVirtualPosition(stream, 176402); // rounded down to a whole frame
    EXPECT_EQ(audioChannelGetPosition(stream, AUDIO_POS_BYTE), 176400u);
    // Past the end without looping: held at the end, stopped.
    audioSetVirtualPosition(stream, SINE_FRAMES * 4 + 4000);
    EXPECT_EQ(audioChannelGetPosition(stream, AUDIO_POS_BYTE), SINE_FRAMES * 4);
    EXPECT_EQ(audioChannelIsActive(stream), AUDIO_ACTIVE_STOPPED);
    // With the loop flag it wraps and plays on.
    EXPECT_EQ(audioChannelFlags(stream, AUDIO_SAMPLE_LOOP, AUDIO_SAMPLE_LOOP), (uint32_t)AUDIO_SAMPLE_LOOP);
    EXPECT_EQ(audioChannelGetPosition(stream, AUDIO_POS_BYTE), 4000u); // 4000 bytes past the end
    EXPECT_EQ(audioChannelIsActive(stream), AUDIO_ACTIVE_PLAYING);
    EXPECT_EQ(audioChannelFlags(stream, 0, AUDIO_SAMPLE_LOOP), 0u);
}

TEST_F(VirtualAudio, FloatSamplesStartAtThePosition)
{
    audioSetVirtualPosition(stream, 1000 * 4);
    float samples[1024];
    ASSERT_EQ(audioChannelGetData(stream, samples, AUDIO_DATA_FLOAT | 4096), 4096);
    for (int i = 0; i < 1024; i += 2) {
        double expected = SINE_AMPLITUDE * sin(2.0 * M_PI * SINE_HZ * (1000 + i / 2) / 44100.0);
        EXPECT_NEAR(samples[i], expected, 0.03) << i;
        EXPECT_NEAR(samples[i + 1], expected, 0.03) << i;
    }
    // Past the end of a song that does not loop: silence.
    audioSetVirtualPosition(stream, SINE_FRAMES * 4 - 8);
    ASSERT_EQ(audioChannelGetData(stream, samples, AUDIO_DATA_FLOAT | 32), 32);
    EXPECT_NE(samples[3], 0.0f); // the last two frames, then nothing
    for (int i = 4; i < 8; i++) EXPECT_EQ(samples[i], 0.0f);
    EXPECT_EQ(audioChannelGetData(stream, samples, AUDIO_DATA_FLOAT | 0x1000000), -1);
    EXPECT_EQ(audioChannelGetData(stream, samples, 0x80000002), -1);
    EXPECT_EQ(audioChannelGetData(stream, nullptr, AUDIO_DATA_FFT512), -1);
}

TEST_F(VirtualAudio, SpectrumPeakBinAndScale)
{
    audioSetVirtualPosition(stream, 20000 * 4);
    float large[1024], small[256];
    ASSERT_EQ(audioChannelGetData(stream, large, AUDIO_DATA_FFT2048), 4096);
    ASSERT_EQ(audioChannelGetData(stream, small, AUDIO_DATA_FFT512), 1024);
    int peakLarge = 0, peakSmall = 0;
    for (int k = 0; k < 1024; k++) if (large[k] > large[peakLarge]) peakLarge = k;
    for (int k = 0; k < 256; k++) if (small[k] > small[peakSmall]) peakSmall = k;
    EXPECT_EQ(peakLarge, 16);
    EXPECT_EQ(peakSmall, 4);
    // 2|X_k|/N under a Hann window: a centred sine of amplitude A shows A/2 in its bin, A/4 beside.
    EXPECT_NEAR(large[16], SINE_AMPLITUDE / 2, 0.005);
    EXPECT_NEAR(large[15], SINE_AMPLITUDE / 4, 0.005);
    EXPECT_NEAR(large[17], SINE_AMPLITUDE / 4, 0.005);
    EXPECT_NEAR(small[4], SINE_AMPLITUDE / 2, 0.005);
    EXPECT_LT(large[100], 0.002);
}

// >> the device, with SDL's dummy driver
class DeviceAudio : public testing::Test {
protected:
    void SetUp() override
    {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        ASSERT_TRUE(audioInit());
    }
    void TearDown() override { audioClose(); }
};

TEST_F(DeviceAudio, PositionIsMonotonicInterpolatedAndNotAhead)
{
    std::vector<uint8_t> mp3 = fixture("sine344_2s.mp3");
    uint32_t stream = audioStreamCreate(mp3.data(), mp3.size(), 0);
    ASSERT_NE(stream, 0u);
    EXPECT_EQ(audioChannelGetPosition(stream, AUDIO_POS_BYTE), 0u);
    uint64_t startNs = platformCounter();
    ASSERT_TRUE(audioChannelPlay(stream, false));
    EXPECT_EQ(audioChannelIsActive(stream), AUDIO_ACTIVE_PLAYING);
    uint64_t last = 0;
    int distinct = 0;
    for (int i = 0; i < 300; i++) { // about 0.6 s
        uint64_t pos = audioChannelGetPosition(stream, AUDIO_POS_BYTE);
        double elapsedBytes = (platformCounter() - startNs) * 176400e-9;
        EXPECT_GE(pos, last);
        EXPECT_EQ(pos % 4, 0u);
        // Never ahead of the audio the device can have played (small slack for a fast dummy).
        EXPECT_LE((double)pos, elapsedBytes + 1024);
        if (pos != last) distinct++;
        last = pos;
        platformSleepMs(2);
    }
    // Callbacks come every 23 ms (about 26 in 0.6 s); polls every 2 ms see many more steps.
    EXPECT_GT(distinct, 100);
    EXPECT_GT(last, 176400u * 4 / 10);
}

TEST_F(DeviceAudio, StopsAtTheEndOrLoops)
{
    std::vector<uint8_t> mp3 = fixture("sine440_22k_mono_1s.mp3");
    uint32_t stream = audioStreamCreate(mp3.data(), mp3.size(), AUDIO_SAMPLE_LOOP);
    ASSERT_NE(stream, 0u);
    uint64_t length = audioChannelGetLength(stream, AUDIO_POS_BYTE);
    ASSERT_TRUE(audioChannelPlay(stream, false));
    // Looping: after 1.3 s it still plays, and the position went back to the start.
    uint64_t highest = 0;
    bool wrapped = false;
    for (int i = 0; i < 130; i++) {
        platformSleepMs(10);
        uint64_t pos = audioChannelGetPosition(stream, AUDIO_POS_BYTE);
        if (pos < highest) wrapped = true;
        if (pos > highest) highest = pos;
        ASSERT_EQ(audioChannelIsActive(stream), AUDIO_ACTIVE_PLAYING);
    }
    EXPECT_TRUE(wrapped);
    EXPECT_LE(highest, length);
    // Once the loop is off it plays to the end and stops there.
    audioChannelFlags(stream, 0, AUDIO_SAMPLE_LOOP);
    int waits = 0;
    while (audioChannelIsActive(stream) == AUDIO_ACTIVE_PLAYING && waits < 300) {
        platformSleepMs(10);
        waits++;
    }
    EXPECT_LT(waits, 300);
    EXPECT_EQ(audioChannelGetPosition(stream, AUDIO_POS_BYTE), length);
}

// Creator mode's transport on the device: pause holds the position (and is not the end), a seek
// is heard at once whether playing or paused, and play goes on from the held position.
TEST_F(DeviceAudio, PauseHoldsAndSeekMovesAtOnce)
{
    std::vector<uint8_t> mp3 = fixture("sine344_2s.mp3");
    uint32_t stream = audioStreamCreate(mp3.data(), mp3.size(), 0);
    ASSERT_NE(stream, 0u);
    ASSERT_TRUE(audioChannelPlay(stream, false));
    platformSleepMs(100);
    ASSERT_TRUE(audioChannelPause(stream));
    EXPECT_EQ(audioChannelIsActive(stream), AUDIO_ACTIVE_PAUSED);
    uint64_t held = audioChannelGetPosition(stream, AUDIO_POS_BYTE);
    platformSleepMs(100);
    EXPECT_EQ(audioChannelGetPosition(stream, AUDIO_POS_BYTE), held);

    const uint64_t second = 176400;
    ASSERT_TRUE(audioChannelSetPosition(stream, second + 1)); // whole frames only
    EXPECT_EQ(audioChannelGetPosition(stream, AUDIO_POS_BYTE), second);
    ASSERT_TRUE(audioChannelPlay(stream, false));
    EXPECT_EQ(audioChannelIsActive(stream), AUDIO_ACTIVE_PLAYING);
    EXPECT_GE(audioChannelGetPosition(stream, AUDIO_POS_BYTE), second);
    platformSleepMs(200);
    uint64_t later = audioChannelGetPosition(stream, AUDIO_POS_BYTE);
    EXPECT_GT(later, second + second / 20);
    EXPECT_LT(later, second + second / 2);

    // Backward while playing: the clock reads the new place on the next call.
    ASSERT_TRUE(audioChannelSetPosition(stream, second / 4));
    uint64_t back = audioChannelGetPosition(stream, AUDIO_POS_BYTE);
    EXPECT_GE(back, second / 4);
    EXPECT_LT(back, second / 4 + second / 20);
    // Past the end is the end.
    ASSERT_TRUE(audioChannelSetPosition(stream, 100 * second));
    EXPECT_EQ(audioChannelGetPosition(stream, AUDIO_POS_BYTE), audioChannelGetLength(stream, AUDIO_POS_BYTE));
    EXPECT_FALSE(audioChannelPause(0));
}

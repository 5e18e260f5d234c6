// Music: construction from the song file, the beat clock's wrap rule and the per-frame means,
// on the virtual output (the position is set by the test), and the fatal reports.
#include "util/music/music.h"

#include "util/data/data.h"
#include "util/music/audio.h"
#include "test_support.h"
#include <gtest/gtest.h>
#include <sys/stat.h>

static const uint64_t BYTES_PER_SECOND = 176400;

static void installSong(const char* fixture)
{
    mkdir("data", 0755);
    mkdir("data/common", 0755);
    mkdir("data/common/music", 0755);
    if (fixture) writeTestFile("data/common/music/dubr0lp.mp3", readTestFile(sourcePath(fixture)));
    else remove("data/common/music/dubr0lp.mp3");
}

class MusicClock : public testing::Test {
protected:
    Music* music = nullptr;
    void SetUp() override
    {
        accessMode = ACCESS_LOOSE;
        installSong("tests/fixtures/sine344_2s.mp3");
        audioUseVirtualOutput(true);
        musicResetClock();
        music = new Music();
    }
    void TearDown() override
    {
        delete music;
        audioClose();
        audioUseVirtualOutput(false);
    }
    void at(double seconds) { audioSetVirtualPosition(music->stream, (uint64_t)(seconds * BYTES_PER_SECOND)); }
};

TEST_F(MusicClock, ConstructionReadsTheSong)
{
    EXPECT_NE(music->stream, 0u);
    EXPECT_EQ(music->lengthBytes, 2 * BYTES_PER_SECOND);
    EXPECT_EQ(music->lengthSeconds, 2);
    EXPECT_EQ(music->bpm, 999.0f);
    EXPECT_EQ(music->midi, nullptr);
    EXPECT_FLOAT_EQ(music->beatOffset, 0.1f);
}

TEST_F(MusicClock, PlayResetsHistoriesAndPlaysOnce)
{
    music->meanTimeStep = 5.0f;
    music->positionHistory[3] = 77;
    music->play();
    for (int i = 0; i < MUSIC_HISTORY; i++) {
        EXPECT_FLOAT_EQ(music->timeHistory[i], 0.1f);
        EXPECT_EQ(music->positionHistory[i], 0);
    }
    EXPECT_EQ(music->meanTimeStep, 0.0f);
    EXPECT_EQ(audioChannelIsActive(music->stream), AUDIO_ACTIVE_PLAYING);
    EXPECT_FLOAT_EQ(music->getTime(), 0.1f); // position 0 plus the offset
    // Looping is off: past the end the stream has stopped.
    at(2.5);
    EXPECT_EQ(audioChannelIsActive(music->stream), AUDIO_ACTIVE_STOPPED);
}

TEST_F(MusicClock, BeatsAndTheWrapRule)
{
    music->bpm = 120.0f;
    music->play();
    at(1.0);
    EXPECT_FLOAT_EQ(music->getTime(), 2.1f);
    at(1.5);
    EXPECT_FLOAT_EQ(music->getTime(), 3.1f);
    // Back by 0.9 beats: the clock goes back with it.
    at(1.05);
    EXPECT_FLOAT_EQ(music->getTime(), 2.2f);
    // Back by more than a beat (a restart): the clock continues from its last value.
    at(0.25);
    EXPECT_FLOAT_EQ(music->getTime(), 2.2f + 0.6f);
    at(0.5);
    EXPECT_FLOAT_EQ(music->getTime(), 2.2f + 1.1f);
    // The offset is process-wide: another Music object reads the same clock.
    EXPECT_FLOAT_EQ(music->getTime(), 3.3f);
}

TEST_F(MusicClock, UpdateMeansOverTenFrames)
{
    music->bpm = 120.0f;
    music->play();
    const uint64_t step = 2940; // one frame at 60 frames per second
    for (int frame = 1; frame <= 3; frame++) {
        audioSetVirtualPosition(music->stream, step * frame);
        music->update();
    }
    // Three frames in, the oldest entry is still the start value: three frames' advance / 10.
    EXPECT_NEAR(music->meanTimeStep, 3 * (1.0 / 60.0) * 2.0 * 0.1, 1e-6);
    EXPECT_EQ(music->meanPositionStep, (int32_t)(step * 3 / 10));
    for (int frame = 4; frame <= 25; frame++) {
        audioSetVirtualPosition(music->stream, step * frame);
        music->update();
    }
    EXPECT_NEAR(music->meanTimeStep, (1.0 / 60.0) * 2.0, 1e-5);
    EXPECT_EQ(music->meanPositionStep, (int32_t)step);
    EXPECT_FLOAT_EQ(music->timeHistory[MUSIC_HISTORY - 1], 25 * step / 176400.0f * 2.0f + 0.1f);
    EXPECT_EQ(music->positionHistory[0], (int32_t)(16 * step));
    // Integer means truncate toward zero, also when the position goes back.
    for (int frame = 24; frame >= 10; frame--) {
        audioSetVirtualPosition(music->stream, step * frame + 4 * (frame % 3));
        music->update();
    }
    EXPECT_EQ(music->meanPositionStep, (int32_t)((int64_t)(10 * step + 4) - (int64_t)(20 * step + 8)) / 10);
}

TEST(MusicFailures, Reports)
{
    accessMode = ACCESS_LOOSE;
    audioUseVirtualOutput(true);
    installSong(nullptr);
    EXPECT_EXIT({ Music m; }, testing::ExitedWithCode(1), "Failed to open data\\\\common\\\\music\\\\dubr0lp.mp3");
    writeTestFile("data/common/music/dubr0lp.mp3", std::string());
    EXPECT_EXIT({ Music m; }, testing::ExitedWithCode(1), "Failed to read music data from data.*dubr0lp.mp3!");
    writeTestFile("data/common/music/dubr0lp.mp3", std::string(5000, 'x'));
    EXPECT_EXIT(
        {
            Music m;
            m.play();
        },
        testing::ExitedWithCode(1), "Failed to start the music!");
    audioUseVirtualOutput(false);
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    EXPECT_EXIT({ Music m; }, testing::ExitedWithCode(1), "Can't initialize device");
}

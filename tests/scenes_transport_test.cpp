// Creator mode's transport in virtual time: seeks and their limits, the loop's marks and wrap,
// pause and step. The clock of each frame is given by the test, as the driver gives it.
#include "scenes/transport.h"

#include <gtest/gtest.h>

static const double SONG_END = 340.0;

// Frames `beatsPerFrame` apart from the clock now until `until`, applying any seek at once as
// the driver does; returns the seeks made.
static int play(Transport* t, double* clock, double until, double beatsPerFrame = 0.25)
{
    int seeks = 0;
    while (*clock < until) {
        transportFrame(t, *clock, false);
        if (t->seekDue) {
            *clock = t->seekBeat;
            transportSeekDone(t, *clock);
            seeks++;
            if (seeks > 100) return seeks;
        }
        *clock += beatsPerFrame;
    }
    return seeks;
}

TEST(Transport, SeeksMoveByBarsAndStayInsideTheSong)
{
    Transport t;
    transportInit(&t, SONG_END);
    transportFrame(&t, 100.0, false);
    transportPress(&t, TRANSPORT_FORWARD);
    ASSERT_TRUE(t.seekDue);
    EXPECT_DOUBLE_EQ(t.seekBeat, 104.0);
    // A second press before the seek is made counts from it.
    transportPress(&t, TRANSPORT_LONG_FORWARD);
    EXPECT_DOUBLE_EQ(t.seekBeat, 120.0);
    transportSeekDone(&t, 120.0);
    EXPECT_FALSE(t.seekDue);
    transportPress(&t, TRANSPORT_BACK);
    EXPECT_DOUBLE_EQ(t.seekBeat, 116.0);
    transportPress(&t, TRANSPORT_LONG_BACK);
    EXPECT_DOUBLE_EQ(t.seekBeat, 100.0);
    transportPress(&t, TRANSPORT_HOME);
    EXPECT_DOUBLE_EQ(t.seekBeat, 0.0);
    // Never before 0, never past the last bar (a seek onto the end would end the show).
    transportPress(&t, TRANSPORT_LONG_BACK);
    EXPECT_DOUBLE_EQ(t.seekBeat, 0.0);
    transportSeek(&t, 1e9);
    EXPECT_DOUBLE_EQ(t.seekBeat, SONG_END - TRANSPORT_BAR_BEATS);
    transportSeek(&t, 0.0 / 0.0);
    EXPECT_DOUBLE_EQ(t.seekBeat, 0.0);
}

TEST(Transport, LoopMarksSwapWaitAndWrap)
{
    Transport t;
    transportInit(&t, SONG_END);
    double clock = 140.0;
    play(&t, &clock, 150.0);
    transportPress(&t, TRANSPORT_LOOP_MARK);
    EXPECT_EQ(t.loopMarks, 1);
    // An end too close to the start is not taken: the second mark still waits.
    transportPress(&t, TRANSPORT_LOOP_MARK);
    EXPECT_EQ(t.loopMarks, 1);
    // The end marked before the start (after a seek back): the two swap.
    clock = 142.0;
    transportSeekDone(&t, clock);
    play(&t, &clock, 143.0);
    transportPress(&t, TRANSPORT_LOOP_MARK);
    ASSERT_EQ(t.loopMarks, 2);
    EXPECT_LT(t.loopStart, t.loopEnd);
    EXPECT_NEAR(t.loopStart, 142.0, 1.0);
    EXPECT_DOUBLE_EQ(t.loopEnd, 149.75);
    // Playing on wraps at the end, again and again, and the clock never leaves the loop.
    int wraps = play(&t, &clock, 1e9 /* never reached */, 0.5);
    EXPECT_GT(wraps, 100);
    EXPECT_LE(clock, t.loopEnd + 0.5);
    // A song that stops inside the loop wraps too; a paused one does not.
    transportFrame(&t, 149.0, true);
    EXPECT_TRUE(t.seekDue);
    transportSeekDone(&t, t.loopStart);
    transportPress(&t, TRANSPORT_PAUSE);
    transportFrame(&t, 149.0, true);
    EXPECT_FALSE(t.seekDue);
    // Backspace clears; then nothing wraps.
    transportPress(&t, TRANSPORT_LOOP_CLEAR);
    transportFrame(&t, 200.0, false);
    EXPECT_FALSE(t.seekDue);
    // A third mark starts a new loop.
    transportPress(&t, TRANSPORT_LOOP_MARK);
    transportPress(&t, TRANSPORT_LOOP_MARK);
    transportFrame(&t, 210.0, false);
    transportPress(&t, TRANSPORT_LOOP_MARK);
    transportPress(&t, TRANSPORT_LOOP_MARK);
    EXPECT_EQ(t.loopMarks, 1);
    EXPECT_DOUBLE_EQ(t.loopStart, 210.0);
}

TEST(Transport, PauseHoldsTheDrawingAndStepsOnlyWhilePaused)
{
    Transport t;
    transportInit(&t, SONG_END);
    EXPECT_TRUE(transportDraws(&t));
    transportPress(&t, TRANSPORT_STEP); // playing: no step
    EXPECT_EQ(t.stepsDue, 0);
    transportPress(&t, TRANSPORT_PAUSE);
    EXPECT_TRUE(t.paused);
    EXPECT_FALSE(transportDraws(&t));
    transportPress(&t, TRANSPORT_STEP);
    transportPress(&t, TRANSPORT_STEP);
    EXPECT_EQ(t.stepsDue, 2);
    EXPECT_TRUE(transportDraws(&t));
    t.stepsDue = 0;
    // A seek while paused draws the new place once and stays paused.
    transportSeek(&t, 50.0);
    EXPECT_TRUE(transportDraws(&t));
    transportSeekDone(&t, 50.0);
    EXPECT_FALSE(transportDraws(&t));
    EXPECT_TRUE(t.paused);
    transportPress(&t, TRANSPORT_PAUSE);
    EXPECT_TRUE(transportDraws(&t));
}

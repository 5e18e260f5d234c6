// The timeline's windows as the bench, the contact sheet and the --stats report see them: every
// distinct set of active scenes that lasts, shown by its longest stretch.
#include "offline.h"
#include "scenes/demo.h"

#include <gtest/gtest.h>

TEST(ShowWindows, EverySetThatLastsOnceWithTwoBeatsInsideItsLongestStretch)
{
    std::vector<ShowWindow> windows = showWindows(340.06);
    ASSERT_EQ(windows.size(), 13u);
    EXPECT_EQ(timelineWindowName(windows[0].mask), "Speakers + GlitchLogo");
    EXPECT_EQ(timelineWindowName(windows[1].mask), "Speakers");
    for (const ShowWindow& w : windows) {
        EXPECT_LT(w.start, w.beats[0]) << timelineWindowName(w.mask);
        EXPECT_LT(w.beats[0], w.beats[1]);
        EXPECT_LT(w.beats[1], w.end);
        for (double beat : w.beats) EXPECT_EQ(beat * 4.0, (double)(int)(beat * 4.0)); // on a quarter beat
    }
    // GlowGreets alone comes back after the greetings: its longer stretch is the one shown.
    const ShowWindow* glowAlone = nullptr;
    for (const ShowWindow& w : windows)
        if (timelineWindowName(w.mask) == "GlowGreets + Speakers") glowAlone = &w;
    ASSERT_TRUE(glowAlone);
    EXPECT_EQ(glowAlone->start, 264.0);
    EXPECT_EQ(glowAlone->end, 296.0);
    // The two Spacexplosion windows are different rows, so different windows.
    EXPECT_NE(windows[3].mask, windows[7].mask);
    EXPECT_EQ(timelineWindowName(windows[3].mask), timelineWindowName(windows[7].mask));
}

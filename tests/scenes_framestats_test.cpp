// Frame-time figures of the --stats report: nearest-rank percentiles, stutters judged against the
// frames around them, and frames grouped by the set of scenes drawn.
#include "scenes/framestats.h"

#include "platform/platform.h" // platformResidentParts
#include <gtest/gtest.h>
#include <stdio.h>

TEST(FrameStats, PercentilesAreNearestRank)
{
    std::vector<float> values;
    for (int i = 100; i >= 1; i--) values.push_back((float)i);
    EXPECT_EQ(percentileOf(&values, 50), 50.0f);
    EXPECT_EQ(percentileOf(&values, 99), 99.0f);
    EXPECT_EQ(percentileOf(&values, 100), 100.0f);
    std::vector<float> one = {7.0f};
    EXPECT_EQ(percentileOf(&one, 99), 7.0f);
    std::vector<float> none;
    EXPECT_EQ(percentileOf(&none, 50), 0.0f);
}

TEST(FrameStats, AStutterIsTwiceTheMedianAroundIt)
{
    std::vector<float> frames(40, 10.0f);
    EXPECT_EQ(countStutters(frames.data(), (int)frames.size()), 0);
    frames[0] = 25.0f;  // at the start only the frames after it count
    frames[20] = 20.0f; // exactly twice: not a stutter
    frames[30] = 20.5f;
    EXPECT_TRUE(isStutter(frames.data(), (int)frames.size(), 0));
    EXPECT_FALSE(isStutter(frames.data(), (int)frames.size(), 20));
    EXPECT_EQ(countStutters(frames.data(), (int)frames.size()), 2);
    // A slow stretch is not a string of stutters: the median moves with it.
    std::vector<float> slow(20, 10.0f);
    slow.insert(slow.end(), 20, 40.0f);
    EXPECT_EQ(countStutters(slow.data(), (int)slow.size()), 0);
}

TEST(FrameStats, WindowsGroupFramesBySetInOrderOfFirstAppearance)
{
    std::vector<float> ms = {10, 10, 15, 15, 15, 10, 100, 10, 10, 10, 10};
    std::vector<uint32_t> masks = {1, 1, 6, 6, 6, 1, 1, 1, 1, 1, 1};
    std::vector<WindowFigures> windows = windowFigures(ms, masks);
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(windows[0].mask, 1u);
    EXPECT_EQ(windows[0].frames, 8);
    EXPECT_EQ(windows[0].medianMs, 10.0f);
    EXPECT_EQ(windows[0].maxMs, 100.0f);
    EXPECT_EQ(windows[0].stutters, 1);
    EXPECT_EQ(windows[1].mask, 6u);
    EXPECT_EQ(windows[1].frames, 3);
    EXPECT_EQ(windows[1].medianMs, 15.0f);
    EXPECT_EQ(windows[1].stutters, 0);
    const char* names[] = {"A", "B", "C"};
    EXPECT_EQ(windowNameOf(6, names, 3), "B + C");
}

#ifndef _WIN32
// The report splits resident memory by kind; the parts must be read from the right lines and add
// up to what the kernel calls resident.
TEST(FrameStats, ResidentPartsAddUpToTheResidentTotal)
{
    PlatformResidentParts parts;
    ASSERT_TRUE(platformResidentParts(&parts));
    EXPECT_GT(parts.files, 0);
    EXPECT_GT(parts.anonymous, 0);
    FILE* f = fopen("/proc/self/status", "r");
    ASSERT_NE(f, nullptr);
    char line[256];
    long long residentKb = -1;
    while (fgets(line, sizeof line, f))
        if (sscanf(line, "VmRSS: %lld", &residentKb) == 1) break;
    fclose(f);
    const int64_t sum = parts.files + parts.shared + parts.anonymous;
    // Read a moment apart: allow a few pages of drift.
    EXPECT_NEAR((double)sum, (double)residentKb * 1024, 1 << 20);
}
#endif

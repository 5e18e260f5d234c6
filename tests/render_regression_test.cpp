// Visual regression: the show rendered offline at the beats of tests/reference/beats.txt must
// be the same pictures as the committed references (samePicture: llvmpipe rounding may differ
// slightly, and a lone pixel on an edge may round the other way).
// After an intended change: tools/render/update-references.sh, then look at the pictures.
#include "offline.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

enum { REFERENCE_WIDTH = 320, REFERENCE_HEIGHT = 180, REFERENCE_FPS = 20 };

static std::vector<double> referenceBeats()
{
    std::vector<double> beats;
    std::vector<uint8_t> text = readTestFile(sourcePath("tests/reference/beats.txt"));
    std::string line;
    for (size_t i = 0; i <= text.size(); i++) {
        if (i < text.size() && text[i] != '\n') {
            line += (char)text[i];
            continue;
        }
        if (!line.empty() && line[0] != '#') beats.push_back(atof(line.c_str()));
        line.clear();
    }
    return beats;
}

TEST(VisualRegression, ShowMatchesReferences)
{
    if (!getenv("DISPLAY")) SKIP_UNLESS_REQUIRED("no display");
    std::vector<double> beats = referenceBeats();
    ASSERT_FALSE(beats.empty());
    OfflineSession session;
    OfflineOptions options;
    options.width = REFERENCE_WIDTH;
    options.height = REFERENCE_HEIGHT;
    options.dataDir = sourcePath("");
    ASSERT_TRUE(offlineOpen(&session, options));
    std::vector<double> seconds;
    for (double beat : beats) {
        bool pastEnd = false;
        seconds.push_back(offlinePictureSeconds(session, beat, REFERENCE_FPS, &pastEnd));
    }
    std::vector<Image> pictures = offlineRenderTimes(&session, 0.0, REFERENCE_FPS, seconds);
    ASSERT_EQ(pictures.size(), beats.size());
    for (size_t i = 0; i < beats.size(); i++) {
        char name[64];
        snprintf(name, sizeof name, "beat-%g.png", beats[i]);
        Image reference;
        bool haveReference = readPng(sourcePath(std::string("tests/reference/") + name), &reference);
        if (!haveReference) {
            writePng(std::string("actual-") + name, pictures[i]);
            ADD_FAILURE() << "no reference " << name << " (run tools/render/update-references.sh)";
            continue;
        }
        ImageDifference d = compareImages(pictures[i], reference);
        ASSERT_TRUE(d.sameSize) << name;
        if (!samePicture(d)) writePng(std::string("actual-") + name, pictures[i]);
        EXPECT_TRUE(samePicture(d)) << name << ": mean " << d.meanChannel << ", PSNR " << d.psnr << " dB, worst block "
                                    << d.worstBlockMean << ", largest single difference " << d.maxChannel;
    }
}

TEST(VisualRegression, PngRoundTripKeepsEveryPixel)
{
    // A picture encoded and decoded again is the same picture (the references go through this).
    Image image;
    image.width = 37;
    image.height = 21;
    for (int i = 0; i < image.width * image.height; i++) {
        uint8_t v = (uint8_t)(i * 7);
        image.rgba.insert(image.rgba.end(), {v, (uint8_t)(255 - v), (uint8_t)(i / 3), 255});
    }
    writePng("roundtrip.png", image);
    Image back;
    ASSERT_TRUE(readPng("roundtrip.png", &back));
    ImageDifference d = compareImages(image, back);
    EXPECT_TRUE(d.sameSize);
    EXPECT_EQ(d.maxChannel, 0);
}

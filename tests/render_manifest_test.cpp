// The asset manifest must list exactly what the show opens, in load order, or the archive the
// build packs from it would lack a file and the show would stop at start-up.
#include "offline.h"
#include "test_support.h"
#include "util/data/data.h"

#include <gtest/gtest.h>
#include <stdlib.h>

TEST(AssetManifest, ListsEveryFileTheShowOpensInLoadOrder)
{
    if (!getenv("DISPLAY")) SKIP_UNLESS_REQUIRED("no display");
    OfflineSession session;
    OfflineOptions options;
    options.width = 160;
    options.height = 90;
    options.dataDir = sourcePath("");
    options.record = true;
    ASSERT_TRUE(offlineOpen(&session, options));
    std::vector<uint8_t> committed = readTestFile(sourcePath("data/manifest.txt"));
    EXPECT_EQ(std::string(committed.begin(), committed.end()), offlineManifest())
        << "run: halvoren-render --data . --write-manifest data/manifest.txt (under xvfb-run)";
}

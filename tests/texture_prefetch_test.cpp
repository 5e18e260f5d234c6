// The picture prefetch worker: an error report that ends the process from inside a decode on the
// main thread (still holding the decode lock) must not leave the exit waiting for the worker.
#include "util/data/data.h"
#include "util/texture/image_prefetch.h"

#include "test_support.h"
#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <thread>

static bool neverDecodes(const char*, Texture*) { return false; }

TEST(ImagePrefetch, StopsWhileTheMainThreadHoldsTheDecodeLock)
{
    writeTestFile("pictures.hlv", buildArchive({DataEntry{"data/a.png", {1, 2, 3}, false},
                                                DataEntry{"data/b.jpg", {4, 5, 6}, false}}));
    accessMode = ACCESS_ARCHIVE;
    openArchiveFrom("pictures.hlv");
    imageDecodeLock().lock(); // as a decode that reports an error and exits holds it
    imagePrefetchStart(neverDecodes);
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // the worker reaches the lock
    std::future<void> stopped = std::async(std::launch::async, imagePrefetchStop);
    const bool stoppedInTime = stopped.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    imageDecodeLock().unlock(); // lets a stuck worker, and so the stop, finish either way
    stopped.wait();
    EXPECT_TRUE(stoppedInTime) << "the stop waited for a worker waiting for the decode lock";
}

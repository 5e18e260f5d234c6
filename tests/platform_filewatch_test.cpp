// File watching for creator mode's reload on save: a change anywhere below the folder is seen
// once, a quiet folder says nothing, and a folder that does not exist cannot be watched.
#include "platform/filewatch.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/stat.h>

TEST(FileWatch, SeesChangesBelowTheFolderOnce)
{
    mkdir("watched", 0755);
    mkdir("watched/shaders", 0755);
    writeTestFile("watched/shaders/a.frag", "one");
    ASSERT_TRUE(fileWatchStart("watched"));
    EXPECT_FALSE(fileWatchChanged());
    writeTestFile("watched/shaders/a.frag", "two"); // saved in place
    EXPECT_TRUE(fileWatchChanged());
    EXPECT_FALSE(fileWatchChanged());
    writeTestFile("watched/shaders/b.tmp", "three"); // saved beside, then moved over (as editors do)
    rename("watched/shaders/b.tmp", "watched/shaders/a.frag");
    EXPECT_TRUE(fileWatchChanged());
    remove("watched/shaders/a.frag");
    EXPECT_TRUE(fileWatchChanged());
    fileWatchStop();
    EXPECT_FALSE(fileWatchChanged());
    EXPECT_FALSE(fileWatchStart("no-such-folder"));
}

// Tests of the data archive: the Huffman coder, the chunk stream, the access modes and every
// malformed-archive report.
#include "test_support.h"
#include "util/data/data.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <random>
#include <string.h>
#ifndef _WIN32 // the address-space cap and the packer's runs below are POSIX; Windows runs the rest
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

static std::vector<uint8_t> pack(const std::vector<uint8_t>& in)
{
    std::vector<uint8_t> out(packedCapacity(in.size()));
    int n = packHuffman(in.data(), (int)in.size(), out.data());
    out.resize((size_t)n);
    return out;
}

static std::vector<uint8_t> unpack(const std::vector<uint8_t>& packed, const char** reason = nullptr)
{
    int length = 0;
    const char* why = packedUnpackedLength(packed.data(), packed.size(), &length);
    std::vector<uint8_t> out;
    if (!why) {
        // A forged length must be refused without the caller trusting it either.
        out.resize(std::min((size_t)length, packed.size() * 8));
        why = unpackHuffman(packed.data(), packed.size(), out.data(), out.size(), &length);
    }
    if (reason) *reason = why;
    if (why) out.clear();
    return out;
}

static DataEntry entry(const std::string& name, const std::string& data)
{
    DataEntry e;
    e.name = name;
    e.data.assign(data.begin(), data.end());
    return e;
}

TEST(Huffman, WorkedExampleByteForByte)
{
    std::vector<uint8_t> in = {'a', 'a', 'a', 'a', 'b', 'b', 'c'};
    std::vector<uint8_t> expected = {0x48, 0x55, 0x46, 0x46, 0x03, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00,
                                     0x00, 0x21, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x61, 0x02,
                                     0x00, 0x00, 0x00, 0x62, 0x01, 0x00, 0x00, 0x00, 0x63, 0x0A, 0xC0};
    std::vector<uint8_t> packed = pack(in);
    EXPECT_EQ(packed, expected);
    EXPECT_EQ(unpack(packed), in);
}

TEST(Huffman, CodeEndingOnByteBoundaryStillWritesOneMoreByte)
{
    size_t tableEnd = 16 + 5 * 3;
    std::vector<uint8_t> even = {'a', 'a', 'a', 'a', 'b', 'c'}; // a=0 b=10 c=11: 4 + 2 + 2 = 8 bits
    std::vector<uint8_t> packed = pack(even);
    EXPECT_EQ(packed.size(), tableEnd + 2); // the full byte plus the empty byte in progress
    EXPECT_EQ(packed.back(), 0);
    EXPECT_EQ(unpack(packed), even);
}

TEST(Huffman, RoundTripsRandomSkewedAndExtremeInputs)
{
    std::mt19937 rng(1234);
    std::vector<uint8_t> uniform(100000);
    for (uint8_t& b : uniform) b = (uint8_t)rng();
    EXPECT_EQ(unpack(pack(uniform)), uniform);

    std::vector<uint8_t> skewed(200000);
    std::geometric_distribution<int> geometric(0.3);
    for (uint8_t& b : skewed) b = (uint8_t)std::min(255, geometric(rng));
    std::vector<uint8_t> skewedPacked = pack(skewed);
    EXPECT_LT(skewedPacked.size(), skewed.size() / 2);
    EXPECT_EQ(unpack(skewedPacked), skewed);

    std::vector<uint8_t> all256(256 * 7);
    for (size_t i = 0; i < all256.size(); i++) all256[i] = (uint8_t)(i * 31);
    std::vector<uint8_t> packed256 = pack(all256);
    EXPECT_EQ(packed256[4] | (packed256[5] << 8), 256);
    EXPECT_EQ(unpack(packed256), all256);

    // Fibonacci frequencies make the deepest tree a short input can give.
    std::vector<uint8_t> deep;
    uint32_t a = 1, b = 1;
    for (int symbol = 0; symbol < 25; symbol++) {
        deep.insert(deep.end(), a, (uint8_t)symbol);
        uint32_t next = a + b;
        a = b;
        b = next;
    }
    EXPECT_EQ(unpack(pack(deep)), deep);
}

TEST(Huffman, OneSymbolPacksAsOneBitCodes)
{
    std::vector<uint8_t> in(20, 'x');
    std::vector<uint8_t> packed = pack(in);
    EXPECT_EQ(packed[4], 1);
    EXPECT_EQ(packed.size(), 16u + 5 + 3); // 20 zero bits: two full bytes and the one in progress
    // One symbol cannot be unpacked: no archive ever holds one (the chunk magic has seven).
    const char* reason = nullptr;
    unpack(packed, &reason);
    ASSERT_NE(reason, nullptr);
    EXPECT_NE(strstr(reason, "symbol count 1"), nullptr);
}

TEST(Huffman, TiesSortTheSameWayEverywhere)
{
    // Many equal frequencies: the table order must be byte-value order (stable sort).
    std::vector<uint8_t> in;
    for (int v = 200; v >= 0; v -= 2) in.push_back((uint8_t)v);
    std::vector<uint8_t> packed = pack(in);
    int n = packed[4];
    for (int i = 1; i < n; i++) EXPECT_LT(packed[16 + 5 * (i - 1) + 4], packed[16 + 5 * i + 4]);
    EXPECT_EQ(unpack(packed), in);
}

TEST(Huffman, MalformedBlocksAreRefusedNotOverread)
{
    std::vector<uint8_t> good = pack(std::vector<uint8_t>{'a', 'a', 'a', 'a', 'b', 'b', 'c'});
    const char* reason = nullptr;

    std::vector<uint8_t> shortBlock(good.begin(), good.begin() + 10);
    unpack(shortBlock, &reason);
    EXPECT_NE(reason, nullptr);

    for (int n : {0, 1, 257, -5}) {
        std::vector<uint8_t> bad = good;
        memcpy(&bad[4], &n, 4);
        unpack(bad, &reason);
        EXPECT_NE(reason, nullptr) << n;
    }

    std::vector<uint8_t> truncatedTable(good.begin(), good.begin() + 25);
    unpack(truncatedTable, &reason);
    EXPECT_NE(reason, nullptr);

    std::vector<uint8_t> forged = good;
    int huge = 0x7ffffff0;
    memcpy(&forged[8], &huge, 4);
    unpack(forged, &reason);
    EXPECT_NE(reason, nullptr);

    std::vector<uint8_t> negative = good;
    int minus = -7;
    memcpy(&negative[8], &minus, 4);
    unpack(negative, &reason);
    EXPECT_NE(reason, nullptr);

    // Announce a few more bytes than the code bits hold: the cursor reaches the end of the block.
    std::vector<uint8_t> longer = good;
    int more = 14; // 7 symbols use 10 bits; 6 padding zeros decode as 'a'
    memcpy(&longer[8], &more, 4);
    unpack(longer, &reason);
    ASSERT_NE(reason, nullptr);
    EXPECT_NE(strstr(reason, "ends after"), nullptr);
}

TEST(ChunkStream, TwoSmallFilesMake37Bytes)
{
    std::vector<DataEntry> entries = {entry("a", "xyz"), entry("bc", "q")};
    std::vector<uint8_t> stream = buildChunkStream(entries);
    EXPECT_EQ(stream.size(), 37u);
    std::vector<DataEntry> back;
    EXPECT_EQ(parseChunkStream(stream.data(), stream.size(), &back), nullptr);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[1].name, "bc");
    EXPECT_EQ(back[0].data.size(), 3u);
}

TEST(ChunkStream, ShortTrailingBytesAreIgnoredAndBadChunksRefused)
{
    std::vector<uint8_t> stream = buildChunkStream({entry("a", "xyz")});
    std::vector<uint8_t> trailing = stream;
    trailing.insert(trailing.end(), {'H', 'L', 'V', 'D', 'F', 'C'});
    std::vector<DataEntry> back;
    EXPECT_EQ(parseChunkStream(trailing.data(), trailing.size(), &back), nullptr);
    EXPECT_EQ(back.size(), 1u);

    std::vector<uint8_t> badMagic = stream;
    badMagic.insert(badMagic.end(), {'N', 'O', 'P', 'E', '!', '!', 0});
    const char* reason = parseChunkStream(badMagic.data(), badMagic.size(), &back);
    ASSERT_NE(reason, nullptr);
    EXPECT_NE(strstr(reason, "Unrecognized chunk header: NOPE!!. \nRead 1 chunks, 0.0 MB before this"), nullptr);

    std::vector<uint8_t> cut(stream.begin(), stream.end() - 1);
    EXPECT_STREQ(parseChunkStream(cut.data(), cut.size(), &back), "Unexpected end of datafile!");

    std::vector<uint8_t> longName = stream;
    longName[7] = 0xff; // name length past the end
    EXPECT_STREQ(parseChunkStream(longName.data(), longName.size(), &back), "Unexpected end of datafile!");

    std::vector<uint8_t> negativeSize = stream;
    negativeSize[14] = 0x80; // data size negative
    reason = parseChunkStream(negativeSize.data(), negativeSize.size(), &back);
    ASSERT_NE(reason, nullptr);
    EXPECT_NE(strstr(reason, "Negative"), nullptr);

    std::vector<uint8_t> empty = buildChunkStream({entry("e", "")});
    EXPECT_STREQ(parseChunkStream(empty.data(), empty.size(), &back), "Unexpected end of datafile!");
}

TEST(Archive, HeaderChecks)
{
    std::vector<uint8_t> archive = buildArchive({entry("data/x.txt", "hello")});
    std::vector<DataEntry> back;
    EXPECT_EQ(parseArchive(archive.data(), archive.size(), &back), nullptr);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(std::string(back[0].data.begin(), back[0].data.end()), "hello");

    std::vector<uint8_t> v03 = archive;
    v03[20] = 3;
    EXPECT_STREQ(parseArchive(v03.data(), v03.size(), &back), "Expected datafile format 0.2, got 0.3\n");

    std::vector<uint8_t> header = archive;
    memcpy(header.data(), "Halvoren Data Fil3", 18);
    EXPECT_STREQ(parseArchive(header.data(), header.size(), &back), "Unrecognized datafile header: Halvoren Data Fil3");

    EXPECT_STREQ(parseArchive(archive.data(), 10, &back), "Failed to read header!");
    EXPECT_STREQ(parseArchive(archive.data(), 20, &back), "Failed to read minor version!");
    EXPECT_NE(parseArchive(archive.data(), 25, &back), nullptr);
}

class AccessModes : public testing::Test {
protected:
    void SetUp() override
    {
        clearDataEntries();
        setDataDirectory("");
        accessMode = ACCESS_LOOSE;
    }
    void TearDown() override { SetUp(); }
};

static std::string readAll(FILE* f)
{
    std::string s;
    char buffer[256];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, f)) > 0) s.append(buffer, got);
    fclose(f);
    return s;
}

TEST_F(AccessModes, RecordOnceThenServeOnlyArchivedNames)
{
    writeTestFile("one.txt", std::string("first file"));
    writeTestFile("two.bin", std::string("\x01\x02\x03", 3));
    accessMode = ACCESS_RECORD;
    fclose(openFile("one.txt", "rb"));
    fclose(openFile("two.bin", "rb"));
    fclose(openFile("one.txt", "rt")); // recorded once, at its first position
    EXPECT_EQ(openFile("missing.txt", "rb"), nullptr);
    ASSERT_EQ(dataEntries().size(), 2u);
    EXPECT_EQ(dataEntries()[0].name, "one.txt");
    writeArchiveTo("test.hlv");

    clearDataEntries();
    accessMode = ACCESS_ARCHIVE;
    openArchiveFrom("test.hlv");
    ASSERT_EQ(dataEntries().size(), 2u);
    writeTestFile("loose_only.txt", std::string("not archived"));
    EXPECT_EQ(openFile("loose_only.txt", "rb"), nullptr);
    FILE* f = openFile("two.bin", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(readAll(f), std::string("\x01\x02\x03", 3));
    // The same name opens any number of times, each stream at the start.
    EXPECT_EQ(readAll(openFile("one.txt", "rt")), "first file");
    EXPECT_EQ(readAll(openFile("one.txt", "rb")), "first file");
}

TEST_F(AccessModes, LooseNamesMapBackslashesAndKeepTheRecordedName)
{
    system("mkdir -p sub");
    writeTestFile("sub/song.mid", std::string("MThd"));
    accessMode = ACCESS_RECORD;
    FILE* f = openFile("sub\\song.mid", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(readAll(f), "MThd");
    ASSERT_EQ(dataEntries().size(), 1u);
    EXPECT_EQ(dataEntries()[0].name, "sub\\song.mid");
    accessMode = ACCESS_LOOSE;
    setDataDirectory("sub/..");
    f = openFile("sub\\song.mid", "rb");
    ASSERT_NE(f, nullptr);
    fclose(f);
}

TEST_F(AccessModes, RecordingAnEmptyFileIsFatal)
{
    writeTestFile("empty.txt", std::string());
    accessMode = ACCESS_RECORD;
    EXPECT_EXIT(openFile("empty.txt", "rb"), testing::ExitedWithCode(1),
                "Tried to read 0 bytes from empty.txt, got 0");
}

TEST_F(AccessModes, DuplicateNamesAreFatalOnOpen)
{
    std::vector<uint8_t> archive = buildArchive({entry("dup", "1"), entry("other", "2"), entry("dup", "3")});
    writeTestFile("dup.hlv", archive);
    accessMode = ACCESS_ARCHIVE;
    openArchiveFrom("dup.hlv");
    FILE* f = openFile("other", "rb");
    ASSERT_NE(f, nullptr);
    fclose(f);
    EXPECT_EXIT(openFile("dup", "rb"), testing::ExitedWithCode(1),
                "Ouch, found more than one entry for dup in datafile. Duplicates make no sense here.");
}

TEST_F(AccessModes, MalformedArchivesEndInTheFatalReport)
{
    accessMode = ACCESS_ARCHIVE;
    EXPECT_EXIT(openArchiveFrom("nonexistent.hlv"), testing::ExitedWithCode(1),
                "Failed to open data file nonexistent.hlv for reading.");
    writeTestFile("zero.hlv", std::string());
    EXPECT_EXIT(openArchiveFrom("zero.hlv"), testing::ExitedWithCode(1), "Negative or zero file length: 0");
    std::vector<uint8_t> archive = buildArchive({entry("a", "b")});
    archive[20] = 3;
    writeTestFile("v03.hlv", archive);
    EXPECT_EXIT(openArchiveFrom("v03.hlv"), testing::ExitedWithCode(1),
                "Error in file src/util/data/data.cpp:.+\nError in file src/util/data/data.cpp:.+\n\n"
                "Expected datafile format 0.2, got 0.3");
    std::vector<uint8_t> cut = buildArchive({entry("a", "bcdefghijklmnop")});
    cut.resize(cut.size() - 3);
    writeTestFile("cut.hlv", cut);
    EXPECT_EXIT(openArchiveFrom("cut.hlv"), testing::ExitedWithCode(1), "Packed data ends after");
}

TEST_F(AccessModes, WritingWithNothingRecordedIsFatal)
{
    accessMode = ACCESS_RECORD;
    EXPECT_EXIT(writeArchiveTo("nothing.hlv"), testing::ExitedWithCode(1), "Negative or zero file length: 0");
}

#ifndef _WIN32
// >> allocation failures end in the report (exit 1), never in an abort

// Caps this (death-test child) process's address space at what it maps now plus `extra` bytes.
static void capAddressSpace(size_t extra)
{
    unsigned long pages = 0;
    FILE* f = fopen("/proc/self/statm", "r");
    if (f) {
        if (fscanf(f, "%lu", &pages) != 1) pages = 0;
        fclose(f);
    }
    struct rlimit limit;
    limit.rlim_cur = limit.rlim_max = (rlim_t)pages * (rlim_t)sysconf(_SC_PAGESIZE) + extra;
    setrlimit(RLIMIT_AS, &limit);
}

TEST_F(AccessModes, RecordingAFolderOrMoreThanMemoryHoldsEndsInTheReport)
{
    system("mkdir -p folder");
    accessMode = ACCESS_RECORD;
    EXPECT_EXIT(openFile("folder", "rb"), testing::ExitedWithCode(1),
                "Failed to allocate memory for data buffer loading folder!");
    // A sparse file of 1 GiB against an address space with 256 MiB to spare.
    FILE* big = fopen("big.bin", "wb");
    ASSERT_NE(big, nullptr);
    ASSERT_EQ(ftruncate(fileno(big), (off_t)1 << 30), 0);
    fclose(big);
    EXPECT_EXIT(
        {
            capAddressSpace((size_t)256 << 20);
            openFile("big.bin", "rb");
        },
        testing::ExitedWithCode(1), "Failed to allocate memory for data buffer loading big.bin!");
}

TEST_F(AccessModes, AChunkLargerThanMemoryHoldsEndsInTheReport)
{
    // A stream of one 192 MiB chunk, parsed with 64 MiB to spare.
    std::vector<uint8_t> stream = buildChunkStream({entry("n", "x")});
    const uint32_t size = 192u << 20;
    memcpy(&stream[11], &size, 4);
    stream.resize(stream.size() - 1 + size);
    EXPECT_EXIT(
        {
            capAddressSpace((size_t)64 << 20);
            std::vector<DataEntry> entries;
            const char* reason = parseChunkStream(stream.data(), stream.size(), &entries);
            fprintf(stderr, "%s\n", reason ? reason : "parsed");
            exit(reason ? 1 : 0);
        },
        testing::ExitedWithCode(1), "Failed to allocate memory for data chunk!");
}

// >> halvoren-pack

static int runPacker(const std::string& manifest, std::string* output)
{
    writeTestFile("manifest.txt", manifest);
    std::string command = std::string(HALVOREN_BINARY_DIR) +
                          "/tools/pack/halvoren-pack --root . --manifest manifest.txt --out packed.hlv > pack.log 2>&1";
    remove("packed.hlv");
    int status = system(command.c_str());
    *output = readTestText("pack.log");
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(Packer, RefusesAnEmptyManifestAMissingAssetAndAFolder)
{
    std::string output;
    EXPECT_EQ(runPacker("# only a comment\n\n", &output), 1) << output;
    EXPECT_NE(output.find("manifest manifest.txt names no asset"), std::string::npos) << output;
    EXPECT_TRUE(readTestFile("packed.hlv").empty());

    writeTestFile("present.txt", std::string("here"));
    EXPECT_EQ(runPacker("present.txt\nabsent.txt\n", &output), 1) << output;
    EXPECT_NE(output.find("halvoren-pack: missing asset absent.txt"), std::string::npos) << output;
    EXPECT_TRUE(readTestFile("packed.hlv").empty());

    system("mkdir -p assets");
    EXPECT_EQ(runPacker("present.txt\nassets\n", &output), 1) << output;
    EXPECT_NE(output.find("Failed to allocate memory for data buffer loading assets!"), std::string::npos) << output;

    // A manifest with an asset gives an archive the show reads back.
    EXPECT_EQ(runPacker("present.txt\n", &output), 0) << output;
    std::vector<uint8_t> archive = readTestFile("packed.hlv");
    std::vector<DataEntry> entries;
    EXPECT_EQ(parseArchive(archive.data(), archive.size(), &entries), nullptr);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "present.txt");
}
#endif

TEST_F(AccessModes, ReleasedFilesAreFreedAndShaderSourcesKept)
{
    std::vector<uint8_t> archive =
        buildArchive({entry("data/a/pic.png", "picture"), entry("data/shaders/lit.frag", "void main() {}"),
                      entry("data/shaders/lit.vert", "void main() {}")});
    writeTestFile("release.hlv", archive);
    releaseLoadedArchiveFiles(); // loose mode: nothing to release
    accessMode = ACCESS_ARCHIVE;
    openArchiveFrom("release.hlv");
    releaseLoadedArchiveFiles();
    EXPECT_TRUE(dataEntries()[0].data.empty());
    EXPECT_EQ(dataEntries()[0].data.capacity(), 0u);
    EXPECT_EQ(readAll(openFile("data/shaders/lit.frag", "rt")), "void main() {}");
    EXPECT_EQ(readAll(openFile("data/shaders/lit.vert", "rt")), "void main() {}");
    EXPECT_EQ(openFile("data/a/missing.png", "rb"), nullptr);
    EXPECT_EXIT(openFile("data/a/pic.png", "rb"), testing::ExitedWithCode(1),
                "data/a/pic.png was read at load and its copy freed since");
}

// Tests of the player's command line: what each option records, every refusal, what is printed
// and returned, how overrides meet the settings and what is saved, and where the archive is found.
#include "platform/options.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <regex>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

static PlayerOptions parse(std::vector<const char*> words)
{
    words.insert(words.begin(), "halvoren");
    return parsePlayerOptions((int)words.size(), words.data());
}

// What main prints and returns for a command line.
struct Answer {
    int code;
    std::string out, err;
};

static std::string streamText(FILE* f)
{
    std::string text;
    rewind(f);
    for (int c; (c = fgetc(f)) != EOF;) text += (char)c;
    fclose(f);
    return text;
}

static Answer answer(std::vector<const char*> words)
{
    FILE* out = tmpfile();
    FILE* err = tmpfile();
    if (!out || !err) abort();
    int code = answerPlayerOptions(parse(words), out, err);
    return Answer{code, streamText(out), streamText(err)};
}

TEST(PlayerOptions, EveryOptionIsRecorded)
{
    mkdir("show", 0755);
    mkdir("show/data", 0755);
    PlayerOptions o = parse({"--no-dialog", "--windowed", "--size", "800x600", "--samples", "16", "--vsync", "off",
                             "--data", "show", "--stats"});
    ASSERT_EQ(o.action, OPTIONS_PLAY) << o.error;
    EXPECT_TRUE(o.noDialog);
    EXPECT_EQ(o.fullscreen, 0);
    EXPECT_EQ(o.width, 800);
    EXPECT_EQ(o.height, 600);
    EXPECT_EQ(o.samples, 16);
    EXPECT_EQ(o.vsync, 0);
    EXPECT_EQ(o.dataDirectory, "show");
    EXPECT_TRUE(o.stats);

    o = parse({"--fullscreen", "--vsync", "on", "--samples", "0", "--archive", "other.hlv", "--size", "16x8192"});
    ASSERT_EQ(o.action, OPTIONS_PLAY) << o.error;
    EXPECT_EQ(o.fullscreen, 1);
    EXPECT_EQ(o.vsync, 1);
    EXPECT_EQ(o.samples, 0); // given as 0, not left to the settings
    EXPECT_EQ(o.archive, "other.hlv");
    EXPECT_EQ(o.width, 16);
    EXPECT_EQ(o.height, 8192);
    EXPECT_FALSE(o.noDialog);
    EXPECT_FALSE(o.stats);

    // Nothing given: every setting stays the file's, so the run is today's.
    o = parse({});
    EXPECT_EQ(o.action, OPTIONS_PLAY);
    Settings s{1024, 768, SETTINGS_FULLSCREEN_FLAG, 4, 1};
    applyPlayerOptions(o, &s);
    EXPECT_EQ(s.width, 1024);
    EXPECT_EQ(s.flags, SETTINGS_FULLSCREEN_FLAG);
    EXPECT_EQ(s.samples, 4);
    EXPECT_EQ(s.vsync, 1);

    EXPECT_EQ(parse({"--size", "640x480", "--version"}).action, OPTIONS_VERSION);
    EXPECT_EQ(parse({"--version", "--help"}).action, OPTIONS_HELP);
}

TEST(PlayerOptions, BadInputIsRefusedInOneLineNamingTheOption)
{
    const struct {
        std::vector<const char*> words;
        const char* named; // what the message must name
    } cases[] = {
        {{"--bogus"}, "--bogus"},
        {{"-h"}, "-h"},
        {{"show.hlv"}, "show.hlv"},
        {{"--size"}, "--size"},
        {{"--size", "0x0"}, "--size"},
        {{"--size", "99999x5"}, "--size"},
        {{"--size", "15x600"}, "--size"},
        {{"--size", "800x8193"}, "--size"},
        {{"--size", "4294967312x600"}, "--size"}, // would wrap to 16 in 32 bits
        {{"--size", "800x"}, "--size"},
        {{"--size", "x600"}, "--size"},
        {{"--size", "800x600x2"}, "--size"},
        {{"--size", "-800x600"}, "--size"},
        {{"--size", "800*600"}, "--size"},
        {{"--size", "--windowed"}, "--size"},
        {{"--samples", "3"}, "--samples"},
        {{"--samples", "32"}, "--samples"},
        {{"--samples", "4x"}, "--samples"},
        {{"--samples", ""}, "--samples"},
        {{"--vsync", "yes"}, "--vsync"},
        {{"--vsync"}, "--vsync"},
        {{"--archive"}, "--archive"},
        {{"--data", "no-such-folder"}, "--data"},
        {{"--data", "."}, "--data"}, // no data/ inside
        {{"--windowed", "--fullscreen"}, "--fullscreen"},
        {{"--archive", "a.hlv", "--data", "show"}, "--data"},
        {{"--help", "--bogus"}, "--bogus"}, // a bad word is never hidden by --help
    };
    mkdir("show", 0755);
    mkdir("show/data", 0755);
    for (const auto& c : cases) {
        PlayerOptions o = parse(c.words);
        std::string line = c.words.empty() ? "" : c.words[0];
        for (size_t i = 1; i < c.words.size(); i++) line += std::string(" ") + c.words[i];
        ASSERT_EQ(o.action, OPTIONS_REFUSED) << line;
        EXPECT_NE(o.error.find(c.named), std::string::npos) << line << ": " << o.error;
        EXPECT_EQ(o.error.find('\n'), std::string::npos) << line << ": " << o.error;
    }
}

TEST(PlayerOptions, AnswersPrintToTheRightStreamWithTheRightCode)
{
    Answer help = answer({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_EQ(help.out.rfind("Usage: halvoren [options]\n", 0), 0u) << help.out;
    for (const char* option : {"--no-dialog", "--windowed", "--fullscreen", "--size WxH", "--samples N",
                               "--vsync on|off", "--archive FILE", "--data DIR", "--stats", "--version"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    EXPECT_EQ(help.err, "");

    // The project's version, not a placeholder.
    Answer version = answer({"--version"});
    EXPECT_EQ(version.code, 0);
    std::regex pattern("halvoren [0-9]+\\.[0-9]+\\.[0-9]+ \\(built 2[0-9]{3}-[01][0-9]-[0-3][0-9]\\)\n");
    EXPECT_TRUE(std::regex_match(version.out, pattern)) << version.out;

    Answer refused = answer({"--samples", "3"});
    EXPECT_EQ(refused.code, OPTIONS_EXIT_BAD);
    EXPECT_EQ(refused.err, "halvoren: --samples '3' is not 0, 2, 4, 8 or 16\n" + help.out);
    EXPECT_EQ(refused.out, "");
}

TEST(PlayerOptions, OverridesHoldForTheRunAndAreNeverSaved)
{
    const Settings fromFile{1024, 768, SETTINGS_FULLSCREEN_FLAG, 4, 1};
    Settings s = fromFile;
    PlayerOptions o = parse({"--windowed", "--size", "640x360", "--samples", "0"});
    applyPlayerOptions(o, &s);
    EXPECT_EQ(s.width, 640);
    EXPECT_EQ(s.height, 360);
    EXPECT_EQ(s.flags, 0);
    EXPECT_EQ(s.samples, 0);
    EXPECT_EQ(s.vsync, 1);

    // The viewer then turns vsync off in the dialog: that choice is saved, the overrides are not.
    s.vsync = 0;
    Settings saved = settingsToSave(fromFile, s, o);
    EXPECT_EQ(saved.width, 1024);
    EXPECT_EQ(saved.height, 768);
    EXPECT_EQ(saved.flags, SETTINGS_FULLSCREEN_FLAG);
    EXPECT_EQ(saved.samples, 4);
    EXPECT_EQ(saved.vsync, 0);

    Settings windowed{800, 600, 0, 4, 1};
    applyPlayerOptions(parse({"--fullscreen", "--vsync", "off"}), &windowed);
    EXPECT_EQ(windowed.flags, SETTINGS_FULLSCREEN_FLAG);
    EXPECT_EQ(windowed.vsync, 0);
}

TEST(PlayerOptions, ArchiveIsFoundHereThenBesideTheProgram)
{
    // This test's folder is the working directory; "beside" stands for the program's folder.
    unlink("data.hlv");
    mkdir("beside", 0755);
    unlink("beside/data.hlv");
    PlayerOptions o = parse({});
    EXPECT_EQ(playerArchivePath(o, "beside"), "data.hlv"); // neither: the report names the first place
    writeTestFile("beside/data.hlv", std::string("x"));
    EXPECT_EQ(playerArchivePath(o, "beside"), "beside/data.hlv");
    writeTestFile("data.hlv", std::string("x"));
    EXPECT_EQ(playerArchivePath(o, "beside"), "data.hlv");
    EXPECT_EQ(playerArchivePath(parse({"--archive", "elsewhere.hlv"}), "beside"), "elsewhere.hlv");
    unlink("data.hlv");

    EXPECT_EQ(programFolder(), HALVOREN_BINARY_DIR "/tests");
}

// Creator mode: --dev and --start, alone or together; a bad beat is refused before any window.
TEST(PlayerOptions, DevAndStart)
{
    PlayerOptions o = parse({});
    EXPECT_FALSE(o.dev);
    EXPECT_EQ(o.startBeat, OPTIONS_KEEP);
    o = parse({"--dev", "--start", "136.5"});
    ASSERT_EQ(o.action, OPTIONS_PLAY) << o.error;
    EXPECT_TRUE(o.dev);
    EXPECT_DOUBLE_EQ(o.startBeat, 136.5);
    o = parse({"--start", "0"});
    ASSERT_EQ(o.action, OPTIONS_PLAY) << o.error;
    EXPECT_FALSE(o.dev);
    EXPECT_EQ(o.startBeat, 0.0);
    for (const char* bad : {"-4", "abc", "12x", "inf", "nan", "0x10", "1e3", "", "100001"}) {
        Answer a = answer({"--start", bad});
        EXPECT_EQ(a.code, OPTIONS_EXIT_BAD) << bad;
        EXPECT_NE(a.err.find("--start"), std::string::npos) << bad;
    }
    EXPECT_EQ(parse({"--start", "--dev"}).error, "halvoren: --start needs a value");
}

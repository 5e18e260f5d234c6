// options: the player's command line. See options.h.
#include "platform/options.h"

#include <stdlib.h>
#include <string.h>
#include <sys/stat.h> // stat: --data must name a folder holding data/

#ifndef HALVOREN_VERSION
#define HALVOREN_VERSION "unknown"
#endif

enum {
    NUMBER_DIGITS_MAX = 5, // more than any accepted value has: longer numbers are refused unread
};

static const int SAMPLE_COUNTS[] = {0, 2, 4, 8, 16}; // the dialog's anti-aliasing choices

// A whole decimal number of at most NUMBER_DIGITS_MAX digits and nothing else; `end` gets what
// follows the digits when it is not null, else the number must fill the text.
static bool parseWhole(const char* text, int* value, const char** end)
{
    int digits = 0, number = 0;
    while (text[digits] >= '0' && text[digits] <= '9') {
        if (++digits > NUMBER_DIGITS_MAX) return false;
        number = number * 10 + (text[digits - 1] - '0');
    }
    if (digits == 0) return false;
    if (end) *end = text + digits;
    else if (text[digits]) return false;
    *value = number;
    return true;
}

static bool parseSize(const char* text, int* width, int* height)
{
    const char* rest = nullptr;
    if (!parseWhole(text, width, &rest) || *rest != 'x' || !parseWhole(rest + 1, height, nullptr)) return false;
    return *width >= OPTIONS_SIZE_MIN && *width <= OPTIONS_SIZE_MAX && *height >= OPTIONS_SIZE_MIN &&
           *height <= OPTIONS_SIZE_MAX;
}

static bool isFolder(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

static bool isFile(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

static PlayerOptions refuse(PlayerOptions options, const std::string& why)
{
    options.action = OPTIONS_REFUSED;
    options.error = "halvoren: " + why;
    return options;
}

static bool takesValue(const std::string& option)
{
    return option == "--size" || option == "--samples" || option == "--vsync" || option == "--archive" ||
           option == "--data" || option == "--start";
}

// >> creator mode: --start takes a beat, a decimal number >= 0 (a fraction allowed).
static std::string parseStartBeat(const std::string& given, const char* value, PlayerOptions* o)
{
    char* end = nullptr;
    double beat = strtod(value, &end);
    // strtod also takes "inf", "nan" and hexadecimal; a beat is plain digits.
    bool plain = strspn(value, "0123456789.") == strlen(value);
    if (end == value || *end || !plain || !(beat >= 0.0) || beat > OPTIONS_START_BEAT_MAX)
        return given + " is not a beat number from 0 to " + std::to_string(OPTIONS_START_BEAT_MAX);
    o->startBeat = beat;
    return "";
}

// Records the value of an option that takes one; "" when it is good, else why not.
static std::string parseValue(const std::string& option, const char* value, PlayerOptions* o)
{
    const std::string given = option + " '" + value + "'";
    if (option == "--size") {
        if (!parseSize(value, &o->width, &o->height))
            return given + " is not WxH with each side from " + std::to_string(OPTIONS_SIZE_MIN) + " to " +
                   std::to_string(OPTIONS_SIZE_MAX);
    } else if (option == "--samples") {
        bool offered = false;
        if (parseWhole(value, &o->samples, nullptr))
            for (int count : SAMPLE_COUNTS) offered = offered || o->samples == count;
        if (!offered) return given + " is not 0, 2, 4, 8 or 16";
    } else if (option == "--vsync") {
        if (strcmp(value, "on") && strcmp(value, "off")) return given + " is not on or off";
        o->vsync = !strcmp(value, "on") ? 1 : 0;
    } else if (option == "--archive") {
        o->archive = value;
    } else if (option == "--start") {
        return parseStartBeat(given, value, o);
    } else {
        if (!isFolder(std::string(value) + "/data")) return given + " is not a folder holding data/";
        o->dataDirectory = value;
    }
    return "";
}

PlayerOptions parsePlayerOptions(int argc, const char* const* argv)
{
    PlayerOptions o{OPTIONS_PLAY, "", false, OPTIONS_KEEP, OPTIONS_KEEP, OPTIONS_KEEP,
                    OPTIONS_KEEP, OPTIONS_KEEP, "",    "", false};
    bool help = false, version = false, windowed = false, fullscreen = false;
    for (int i = 1; i < argc; i++) {
        const std::string option = argv[i];
        if (option == "--help") help = true;
        else if (option == "--version") version = true;
        else if (option == "--no-dialog") o.noDialog = true;
        else if (option == "--windowed") windowed = true;
        else if (option == "--fullscreen") fullscreen = true;
        else if (option == "--stats") o.stats = true;
        else if (option == "--dev") o.dev = true;
        else if (takesValue(option)) {
            // Every option starts with "--", so such a word is a forgotten value, not a value.
            const char* value = i + 1 < argc ? argv[i + 1] : "";
            if (!value[0] || !strncmp(value, "--", 2)) return refuse(o, option + " needs a value");
            i++;
            std::string why = parseValue(option, value, &o);
            if (!why.empty()) return refuse(o, why);
        } else if (option[0] == '-') {
            return refuse(o, "unknown option '" + option + "'");
        } else {
            return refuse(o, "unexpected argument '" + option + "'");
        }
    }
    if (windowed && fullscreen) return refuse(o, "--windowed and --fullscreen exclude each other");
    if (!o.archive.empty() && !o.dataDirectory.empty()) return refuse(o, "--archive and --data exclude each other");
    if (windowed) o.fullscreen = 0;
    if (fullscreen) o.fullscreen = 1;
    if (help) o.action = OPTIONS_HELP;
    else if (version) o.action = OPTIONS_VERSION;
    return o;
}

void printPlayerUsage(FILE* out)
{
    fputs("Usage: halvoren [options]\n"
          "Plays the show. Without options the settings dialog comes first and \"default.cfg\" keeps its choices.\n"
          "\n"
          "  --help           print this text and exit\n"
          "  --version        print the name, version and build date and exit\n"
          "  --no-dialog      start at once with the settings of \"default.cfg\" (never written)\n"
          "  --windowed       play in a window\n"
          "  --fullscreen     play full screen\n"
          "  --size WxH       the picture's size in pixels, each side from 16 to 8192\n"
          "  --samples N      anti-aliasing samples: 0, 2, 4, 8 or 16\n"
          "  --vsync on|off   wait for the vertical sync or not\n"
          "  --archive FILE   the archive to play (default: data.hlv here, then beside the program)\n"
          "  --data DIR       play the loose files of DIR, the folder that holds data/\n"
          "  --stats          print frame-time, memory and start-up figures at exit\n"
          "  --dev            creator mode: Space pause, Page Up/Down a bar (Shift: 16 beats), Home beat 0,\n"
          "                   . one frame while paused, L loop start then end, Backspace no loop, F1 panel,\n"
          "                   F5 reload shaders and images (also on a change of a --data file)\n"
          "  --start BEAT     start the show at BEAT (a number >= 0, inside the song)\n"
          "\n"
          "--windowed, --fullscreen, --size, --samples and --vsync hold for this run only and are never\n"
          "saved; with the dialog they preset its controls, and a size it does not list needs --no-dialog.\n"
          "A seek (--start, or a key in --dev) starts every scene afresh at that beat, as\n"
          "halvoren-render --from BEAT does: the fire, the particles and the snake build up again from there.\n"
          "Keys: Escape ends the show. Exit codes: 0 at the end, 1 after an error report, 2 for a bad option.\n",
          out);
}

// The compiler's "Mmm dd yyyy" as yyyy-mm-dd.
static std::string buildDate()
{
    static const char MONTHS[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    const char* date = __DATE__;
    const char* month = strstr(MONTHS, std::string(date, 3).c_str());
    char text[40]; // room for any three ints, which the compiler cannot rule out
    snprintf(text, sizeof text, "%04d-%02d-%02d", atoi(date + 7), month ? (int)(month - MONTHS) / 3 + 1 : 0,
             atoi(date + 4));
    return text;
}

int answerPlayerOptions(const PlayerOptions& options, FILE* out, FILE* err)
{
    switch (options.action) {
    case OPTIONS_HELP: printPlayerUsage(out); return 0;
    case OPTIONS_VERSION: fprintf(out, "halvoren %s (built %s)\n", HALVOREN_VERSION, buildDate().c_str()); return 0;
    case OPTIONS_REFUSED:
        fprintf(err, "%s\n", options.error.c_str());
        printPlayerUsage(err);
        return OPTIONS_EXIT_BAD;
    case OPTIONS_PLAY: break;
    }
    return 0;
}

void applyPlayerOptions(const PlayerOptions& options, Settings* s)
{
    if (options.width != OPTIONS_KEEP) {
        s->width = options.width;
        s->height = options.height;
    }
    // A window clears every flag bit, as unchecking the dialog's box does.
    if (options.fullscreen != OPTIONS_KEEP) s->flags = options.fullscreen ? (s->flags | SETTINGS_FULLSCREEN_FLAG) : 0;
    if (options.samples != OPTIONS_KEEP) s->samples = options.samples;
    if (options.vsync != OPTIONS_KEEP) s->vsync = options.vsync;
}

Settings settingsToSave(const Settings& fromFile, const Settings& chosen, const PlayerOptions& options)
{
    Settings saved = chosen;
    if (options.width != OPTIONS_KEEP) {
        saved.width = fromFile.width;
        saved.height = fromFile.height;
    }
    if (options.fullscreen != OPTIONS_KEEP) saved.flags = fromFile.flags;
    if (options.samples != OPTIONS_KEEP) saved.samples = fromFile.samples;
    if (options.vsync != OPTIONS_KEEP) saved.vsync = fromFile.vsync;
    return saved;
}

std::string playerArchivePath(const PlayerOptions& options, const std::string& programFolder)
{
    static const char ARCHIVE[] = "data.hlv";
    if (!options.archive.empty()) return options.archive;
    if (isFile(ARCHIVE) || programFolder.empty()) return ARCHIVE;
    std::string beside = programFolder + "/" + ARCHIVE;
    return isFile(beside) ? beside : ARCHIVE;
}

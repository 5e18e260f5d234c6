// options: the player's command line, `halvoren [options]`, read without any GUI so it can be
// tested on its own. Parsing only records what was asked; main acts on it and owns every exit.
//
// Options (all optional, in any order, each at most once in effect: a repeated one keeps the last):
//   --help, --version            print and end with 0
//   --no-dialog                  "default.cfg" as it is, without the dialog; the file is never written
//   --windowed, --fullscreen     exclude each other
//   --size WxH                   each side OPTIONS_SIZE_MIN..OPTIONS_SIZE_MAX
//   --samples N                  0, 2, 4, 8 or 16
//   --vsync on|off
//   --archive FILE, --data DIR   exclude each other; DIR must hold a data/ folder
//   --stats                      recorded only; main decides what it prints
//   --dev                        creator mode: transport keys, panel, hot reload (main acts on it)
//   --start BEAT                 a number >= 0; whether it lies inside the song is main's to check
// Window, size, samples and vsync override the settings for one run and are never saved.
//
// Refused: an unknown option, a stray argument, a missing value (the next argument absent or
// itself an option), a malformed or out-of-range value. The refusal is one line naming the option;
// main prints it with the usage and ends with OPTIONS_EXIT_BAD before any window opens.
#pragma once

#include "platform/config.h" // Settings
#include <stdio.h>
#include <string>

enum {
    OPTIONS_SIZE_MIN = 16,   // smallest window side, pixels
    OPTIONS_SIZE_MAX = 8192, // largest window side, pixels
    OPTIONS_KEEP = -1,       // an override not given: the settings' value stands
    OPTIONS_EXIT_BAD = 2,    // exit code for a refused command line
    OPTIONS_START_BEAT_MAX = 100000, // --start above this is refused unread (no song is that long)
};

enum OptionsAction {
    OPTIONS_PLAY,    // start the show
    OPTIONS_HELP,    // print the usage on standard output
    OPTIONS_VERSION, // print name, version and build date on standard output
    OPTIONS_REFUSED, // print `error` and the usage on standard error
};

struct PlayerOptions {
    OptionsAction action;      // what main does next; OPTIONS_PLAY by default
    std::string error;         // OPTIONS_REFUSED: one line naming the option, no newline
    bool noDialog;             // --no-dialog; default false
    int fullscreen;            // --fullscreen 1, --windowed 0; default OPTIONS_KEEP
    int width, height;         // --size, pixels; default OPTIONS_KEEP
    int samples;               // --samples; default OPTIONS_KEEP
    int vsync;                 // --vsync on 1, off 0; default OPTIONS_KEEP
    std::string archive;       // --archive; "" = "data.hlv" here, then beside the program
    std::string dataDirectory; // --data, the folder holding data/; "" = play an archive
    bool stats;                // --stats: frame-time, memory and start-up figures at exit; default false
    bool dev = false;          // --dev: creator mode
    double startBeat = OPTIONS_KEEP; // --start, beats >= 0; OPTIONS_KEEP = from the beginning
};

// argv[0] is the program's name and is skipped.
PlayerOptions parsePlayerOptions(int argc, const char* const* argv);

// Prints what a parse other than OPTIONS_PLAY asks for; returns the exit code (0 or OPTIONS_EXIT_BAD).
int answerPlayerOptions(const PlayerOptions& options, FILE* out, FILE* err);
void printPlayerUsage(FILE* out);

// Writes the command line's overrides into `s`.
void applyPlayerOptions(const PlayerOptions& options, Settings* s);
// What "default.cfg" keeps after the dialog: the dialog's choices, except that every setting the
// command line overrode keeps the value the file had.
Settings settingsToSave(const Settings& fromFile, const Settings& chosen, const PlayerOptions& options);

// The archive to open: --archive as given; else "data.hlv" in the working directory, else the one
// in `programFolder`; with neither, "data.hlv", so the report names what was looked for first.
std::string playerArchivePath(const PlayerOptions& options, const std::string& programFolder);
// The folder of the running program ("" when the system does not say).
std::string programFolder();

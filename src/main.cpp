// halvoren: the show. The order of the program's life: the command line, settings, window,
// extension checks, the data archive, the Demo (which loads everything), the music, the frame
// loop, shutdown.
//
// Exit codes: 0 at the end of the song, on Escape or a closed window, when the settings dialog is
// left with "&Nah", and after --help or --version; 1 after any error report or Cancel on an
// extension question; 2 for a bad command line, before any window opens (--start past the end of
// the song: once the song is loaded); 130 or 143 when Ctrl+C or SIGTERM ends the settings dialog.
#include "platform/config.h"          // settings, readConfig, writeConfigFrom
#include "platform/options.h"         // the command line
#include "platform/platform.h"        // message boxes, pause, the before-box hook
#include "platform/report.h"          // FATAL, CHECK_GL
#include "platform/settings_dialog.h" // showSettingsDialog
#include "platform/showwindow.h"      // openShowWindow
#include "scenes/demo.h"              // Demo, demoPrintStats, demoRewind
#include "scenes/devmode.h"           // --dev
#include "scenes/framestats.h"        // --stats
#include "util/data/data.h"           // accessMode, openArchiveFrom, setDataDirectory, writeArchive, releaseLoadedArchiveFiles
#include "util/music/audio.h"         // AUDIO_BYTES_PER_SECOND (--start)
#include "util/music/music.h"         // the song's length in beats (--start)
#include <GL/glew.h>                  // glewInit, the extension flags
#include <SDL.h>
#include <errno.h>
#include <new>
#include <stdio.h>
#include <stdlib.h>
#include <string.h> // strerror: why the settings were not saved

enum {
    EXTENSION_CAPTION_BYTES = 500,
    EXTENSION_TEXT_BYTES = 5000,
    FULLSCREEN_PAUSE_MS = 2000, // lets the display settle before the music starts
};

enum { KEEP_GOING = -1 }; // chooseSettings: no exit code, the show goes on

static SDL_Surface* s_screen;
static bool s_boxLeftFullScreen; // a box took the window out of full screen; the show goes back

// A box cannot be seen over a full-screen OpenGL window: leave full screen first (once).
static void leaveFullScreen()
{
    if (!s_screen || !(settings.flags & SDL_FULLSCREEN)) return;
    SDL_WM_ToggleFullScreen(s_screen);
    // A full-screen window keeps the keyboard and mouse grabbed even after the toggle.
    SDL_WM_GrabInput(SDL_GRAB_OFF);
    SDL_PumpEvents();
    SDL_ShowCursor(SDL_ENABLE);
    settings.flags &= ~SDL_FULLSCREEN;
    s_boxLeftFullScreen = true;
}

// The viewer answered OK and the show goes on (any other answer, and every fatal report, ends the
// program): back to full screen, with the hidden cursor.
static void returnToFullScreen()
{
    if (!s_boxLeftFullScreen) return;
    s_boxLeftFullScreen = false;
    if (!SDL_WM_ToggleFullScreen(s_screen)) return;
    settings.flags |= SDL_FULLSCREEN;
    SDL_ShowCursor(SDL_DISABLE);
}

// Asks whether to go on without an extension; Cancel ends the program.
static void askAboutMissingExtension(const char* name)
{
    char* caption = (char*)malloc(EXTENSION_CAPTION_BYTES);
    char* text = (char*)malloc(EXTENSION_TEXT_BYTES);
    if (!caption || !text) exit(1);
    snprintf(caption, EXTENSION_CAPTION_BYTES, "Extension %s not supported!", name);
    snprintf(text, EXTENSION_TEXT_BYTES,
             "Extension %s not supported, which means this demo probably won't run very well or at all. "
             "If you still want to risk it, press OK. \n\n(Side effects may include bubonic plague, outbreaks "
             "of cholera, Spontaneous Massive Existence Failures and other conditions too horrible for mere "
             "words. The author of this application does not take responsibility for any damages, injuries "
             "or death resulting from the erroneous use of this product.)",
             name);
    int answer = platformMessageBox(text, caption, BOX_OKCANCEL_QUESTION);
    free(text);
    free(caption);
    if (answer != BOX_RESULT_OK) exit(1);
}

static void checkExtensions()
{
    const struct {
        const char* name;
        bool available;
    } extensions[] = {
        {"GLEW_ARB_vertex_program", GLEW_ARB_vertex_program != 0},
        {"GLEW_ARB_fragment_program", GLEW_ARB_fragment_program != 0},
        {"GLEW_ARB_multitexture", GLEW_ARB_multitexture != 0},
        {"GLEW_ARB_vertex_shader", GLEW_ARB_vertex_shader != 0},
        {"GLEW_ARB_fragment_shader", GLEW_ARB_fragment_shader != 0},
        {"GLEW_ARB_multisample", GLEW_ARB_multisample != 0},
        {"GLEW_ARB_point_sprite", GLEW_ARB_point_sprite != 0},
        {"GLEW_EXT_texture_filter_anisotropic", GLEW_EXT_texture_filter_anisotropic != 0},
        {"GLEW_ARB_vertex_buffer_object", GLEW_ARB_vertex_buffer_object != 0},
        {"GLEW_EXT_framebuffer_object", GLEW_EXT_framebuffer_object != 0},
        {"GLEW_ARB_texture_non_power_of_two", GLEW_ARB_texture_non_power_of_two != 0},
        {"GLEW_ARB_texture_float", GLEW_ARB_texture_float != 0},
        {"GLEW_ARB_draw_buffers", GLEW_ARB_draw_buffers != 0},
    };
    for (const auto& extension : extensions) {
        if (!extension.available) askAboutMissingExtension(extension.name);
    }
}

// The settings for this run: "default.cfg" with the command line's overrides, confirmed in the
// dialog unless --no-dialog. Only the dialog writes the file, and never an override. Returns the
// exit code when the show is not to start, else KEEP_GOING.
static int chooseSettings(const PlayerOptions& options)
{
    readConfig();
    Settings fromFile = settings;
    applyPlayerOptions(options, &settings);
    if (options.noDialog) {
        settingsWithoutDialog();
        return KEEP_GOING;
    }
    DisplayMode size{options.width, options.height};
    int answer = showSettingsDialog(options.width != OPTIONS_KEEP ? &size : nullptr);
    if (answer == SETTINGS_SIZE_NOT_LISTED) {
        fprintf(stderr, "halvoren: --size %ix%i is not in the settings dialog's list; add --no-dialog to use it\n",
                options.width, options.height);
        return OPTIONS_EXIT_BAD;
    }
    if (answer != SETTINGS_RUN) return 0;
    // A read-only folder still plays; the viewer learns why the choice is asked again next time.
    if (!writeConfigFrom(settingsToSave(fromFile, settings, options)))
        fprintf(stderr, "halvoren: the settings were not saved: cannot write \"default.cfg\" (%s)\n", strerror(errno));
    return KEEP_GOING;
}

// The loose files of --data, else an archive read into memory.
static void openShowData(const PlayerOptions& options)
{
    if (!options.dataDirectory.empty()) {
        accessMode = ACCESS_LOOSE;
        setDataDirectory(options.dataDirectory.c_str());
        return;
    }
    accessMode = ACCESS_ARCHIVE;
    openArchiveFrom(playerArchivePath(options, programFolder()).c_str());
}

// --start beyond the song: known once the song is loaded. True when the beat lies inside it.
static bool startBeatInsideSong(const PlayerOptions& options, const Music* music)
{
    double songEnd = demoSecondsToBeat(music, (double)music->lengthBytes / AUDIO_BYTES_PER_SECOND);
    if (options.startBeat == OPTIONS_KEEP || options.startBeat < songEnd) return true;
    fprintf(stderr, "halvoren: --start %g is past the end of the song (beat %.2f)\n", options.startBeat, songEnd);
    return false;
}

// --stats: the report at exit, whichever way the show ends (the song's end, Escape released).
static Demo* s_statsDemo;
static void printStatsAtExit()
{
    if (s_statsDemo) demoPrintStats(s_statsDemo, stdout, settings.samples);
}

int main(int argc, char** argv)
{
    PlayerOptions options = parsePlayerOptions(argc, argv);
    if (options.action != OPTIONS_PLAY) return answerPlayerOptions(options, stdout, stderr);
    if (options.stats) frameStatsEnable();

    // SDL 1.2 compat would otherwise draw into a framebuffer object of its own, and every bind of
    // framebuffer 0 would miss the window.
    setenv("SDL12COMPAT_OPENGL_SCALING", "0", 1);
    if (SDL_Init(SDL_INIT_VIDEO) < 0) FATAL("Video initialization failed: %s\n", SDL_GetError());
    // Every later exit (an error report, Escape released during the show) still shuts SDL down,
    // which gives the desktop its display mode back after full screen.
    atexit(SDL_Quit);
    const SDL_VideoInfo* info = SDL_GetVideoInfo();
    int desktopBitsPerPixel = (info && info->vfmt) ? info->vfmt->BitsPerPixel : 0;

    uint64_t dialogStart = platformWallNanoseconds();
    int settingsExit = chooseSettings(options);
    if (settingsExit != KEEP_GOING) return settingsExit;
    frameStatsExcludeFromStartup(platformWallNanoseconds() - dialogStart);

    settings.flags |= SDL_OPENGL | SDL_RESIZABLE;
    s_screen = openShowWindow(settings.width, settings.height, desktopBitsPerPixel, (Uint32)settings.flags,
                              &settings.samples, settings.vsync);
    if (!s_screen) FATAL("Video mode set failed: %s\n", SDL_GetError());
    platformSetBeforeBoxHook(leaveFullScreen);
    SDL_WM_SetCaption("halvoren demo engine", nullptr);

    GLenum glewResult = glewInit();
    if (glewResult != 0) FATAL("GLEW Error: %s\n", (const char*)glewGetErrorString(glewResult));
    checkExtensions();
    CHECK_GL();

    uint64_t dataStart = platformWallNanoseconds();
    openShowData(options);
    frameStatsArchiveTime(platformWallNanoseconds() - dataStart);
    // --dev: every clock a scene reads follows the song (devmode.h).
    if (options.dev) {
        platformUseVirtualTime(true);
        devModeBeforeLoad();
    }
    Demo* demo = new (std::nothrow) Demo();
    if (!demo) FATAL("Out of memory for the show");
    if (!startBeatInsideSong(options, demo->music)) return OPTIONS_EXIT_BAD;
    if (options.stats) {
        s_statsDemo = demo;
        atexit(printStatsAtExit);
    }
    // Does nothing unless accessMode is ACCESS_RECORD: then the loaded files become the archive.
    writeArchive();
    if (!options.dev) releaseLoadedArchiveFiles();
    CHECK_GL();
    demo->resize(settings.width, settings.height);
    CHECK_GL();
    returnToFullScreen(); // after a question about an extension or a loader's warning
    // Full screen, the warm-up takes its time out of the pause the display needs anyway.
    const uint64_t warmUpStart = platformWallNanoseconds();
    demoWarmUp(demo);
    CHECK_GL();
    if (settings.flags & SDL_FULLSCREEN) {
        SDL_ShowCursor(SDL_DISABLE);
        const uint64_t pause = (uint64_t)FULLSCREEN_PAUSE_MS * 1000000u;
        const uint64_t warmUp = platformWallNanoseconds() - warmUpStart;
        if (warmUp < pause) platformSleepMs((uint32_t)((pause - warmUp) / 1000000u));
        frameStatsExcludeFromStartup(pause);
    }
    demo->start();
    if (options.startBeat != OPTIONS_KEEP) demoRewind(demo, demoBeatToSeconds(demo->music, options.startBeat));
    if (options.dev) devModeStart(demo, options.dataDirectory);
    CHECK_GL();

    // One frame per pass; the pass that sets the quit flag still renders its frame.
    bool quit = false;
    SDL_Event event;
    while (!quit) {
        returnToFullScreen();
        while (SDL_PollEvent(&event)) {
            switch (event.type) {
            case SDL_KEYDOWN:
                if (event.key.keysym.sym == SDLK_ESCAPE) quit = true;
                else if (options.dev && devModeKey(event.key.keysym.sym, event.key.keysym.mod)) break;
                else demo->onKey(true, event.key.keysym.sym);
                break;
            case SDL_KEYUP: demo->onKey(false, event.key.keysym.sym); break;
            case SDL_QUIT: quit = true; break;
            case SDL_VIDEORESIZE: demo->resize(event.resize.w, event.resize.h); break;
            default: break;
            }
        }
        if (options.dev) devModeFrame();
        else demo->renderFrame();
    }

    printStatsAtExit();
    s_statsDemo = nullptr;
    delete demo;
    SDL_Quit();
    return 0;
}

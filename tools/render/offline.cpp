// offline: the show rendered in virtual time. See offline.h.
#include "offline.h"

#include "platform/platform.h"
#include "scenes/demo.h"
#include "scenes/framestats.h"
#include "util/data/data.h"
#include "util/music/audio.h"
#include "util/music/music.h"
#include <GL/glew.h>
#include <SDL.h>
#include <algorithm>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static struct {
    Image* target; // where the frame in progress is read back to, or null
    int width, height;
} s_capture;

// Called by the Demo after the last scene, before the swap: the finished frame is in the back buffer.
static void readBackBuffer()
{
    Image* picture = s_capture.target;
    if (!picture) return;
    int w = s_capture.width, h = s_capture.height;
    picture->width = w;
    picture->height = h;
    picture->rgba.resize((size_t)w * h * 4);
    std::vector<uint8_t> rows((size_t)w * h * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
    for (int y = 0; y < h; y++)
        std::copy(&rows[(size_t)(h - 1 - y) * w * 4], &rows[(size_t)(h - y) * w * 4], &picture->rgba[(size_t)y * w * 4]);
    for (size_t i = 3; i < picture->rgba.size(); i += 4) picture->rgba[i] = 255;
}

bool offlineParseNumber(const char* text, double* value)
{
    char* end = nullptr;
    *value = strtod(text, &end);
    return end != text && *end == 0;
}

int offlineParseOption(const char* option, const char* value, OfflineOptions* options, const char** error)
{
    double number = 0.0;
    bool numeric = offlineParseNumber(value, &number);
    if (!strcmp(option, "--width") || !strcmp(option, "--height")) {
        if (!numeric || number < 16 || number > 8192 || number != (int)number) {
            *error = "--width and --height take whole numbers from 16 to 8192";
            return -1;
        }
        (option[2] == 'w' ? options->width : options->height) = (int)number;
    } else if (!strcmp(option, "--samples")) {
        if (!numeric || number < 0 || number > 16 || number != (int)number) {
            *error = "--samples takes a whole number from 0 to 16";
            return -1;
        }
        options->samples = (int)number;
    } else if (!strcmp(option, "--archive")) {
        options->archive = value;
    } else if (!strcmp(option, "--data")) {
        options->dataDir = value;
    } else {
        return 0;
    }
    if (!options->archive.empty() && !options->dataDir.empty()) {
        *error = "--archive and --data exclude each other";
        return -1;
    }
    return 1;
}

bool offlineOpen(OfflineSession* session, const OfflineOptions& options)
{
    session->options = options;
    platformSetHeadlessBoxes(true);
    platformUseVirtualTime(true);
    platformSetVirtualNanoseconds(0);
    audioUseVirtualOutput(true);

    if (!options.dataDir.empty()) {
        accessMode = options.record ? ACCESS_RECORD : ACCESS_LOOSE;
        setDataDirectory(options.dataDir.c_str());
    } else {
        accessMode = ACCESS_ARCHIVE;
        uint64_t started = platformWallNanoseconds();
        openArchiveFrom(options.archive.empty() ? "data.hlv" : options.archive.c_str());
        frameStatsArchiveTime(platformWallNanoseconds() - started);
    }

    // The compat layer would otherwise draw into a framebuffer of its own.
    setenv("SDL12COMPAT_OPENGL_SCALING", "0", 1);
    if (SDL_Init(SDL_INIT_VIDEO) < 0) {
        fprintf(stderr, "Video initialization failed: %s\n", SDL_GetError());
        return false;
    }
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, options.samples > 0 ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, options.samples);
    SDL_GL_SetAttribute(SDL_GL_SWAP_CONTROL, 0);
    if (!SDL_SetVideoMode(options.width, options.height, 0, SDL_OPENGL)) {
        fprintf(stderr, "Video mode set failed: %s\n", SDL_GetError());
        return false;
    }
    SDL_WM_SetCaption("halvoren demo engine", nullptr);
    GLenum glew = glewInit();
    if (glew != GLEW_OK) {
        fprintf(stderr, "GLEW Error: %s\n", glewGetErrorString(glew));
        return false;
    }
    while (glGetError() != GL_NO_ERROR) {}

    session->demo = new Demo();
    session->demo->beforeSwap = readBackBuffer;
    session->demo->resize(options.width, options.height);
    session->demo->start();
    s_capture.width = options.width;
    s_capture.height = options.height;
    session->lastSeconds = -1.0;
    return true;
}

std::string offlineManifest()
{
    std::string text = "# Every asset the show opens, exactly as it names it, in load order. halvoren-pack reads this.\n"
                       "# Made by: halvoren-render --data . --write-manifest data/manifest.txt\n";
    for (const DataEntry& e : dataEntries()) text += e.name + "\n";
    return text;
}

double offlineBeatToSeconds(const OfflineSession& session, double beat)
{
    const Music* music = session.demo->music;
    return std::max(0.0, (beat - music->beatOffset) * 60.0 / music->bpm);
}

double offlineSecondsToBeat(const OfflineSession& session, double seconds)
{
    const Music* music = session.demo->music;
    return seconds * music->bpm / 60.0 + music->beatOffset;
}

double offlineSongSeconds(const OfflineSession& session)
{
    return (double)session.demo->music->lengthBytes / AUDIO_BYTES_PER_SECOND;
}

double offlinePictureSeconds(const OfflineSession& session, double beat, double fps, bool* pastEnd)
{
    double lastFrame = std::max(0.0, offlineSongSeconds(session) - 1.0 / fps);
    double seconds = offlineBeatToSeconds(session, beat);
    *pastEnd = seconds > lastFrame;
    return *pastEnd ? lastFrame : seconds;
}

void offlineRenderFrame(OfflineSession* session, double seconds, Image* picture)
{
    demoSetVirtualTime(session->demo, seconds);
    s_capture.target = picture;
    session->demo->renderFrame();
    s_capture.target = nullptr;
    session->lastSeconds = seconds;
    session->framesRendered++;
    // The show's loop would read these; here the end of the song ends nothing.
    SDL_Event event;
    while (SDL_PollEvent(&event)) {}
}

std::vector<Image> offlineRenderTimes(OfflineSession* session, double fromSeconds, double fps,
                                      const std::vector<double>& captureSeconds,
                                      void (*onPicture)(size_t index, const Image& picture, void* user), void* user)
{
    std::vector<Image> pictures;
    const double step = 1.0 / fps;
    const double epsilon = 1e-9;
    long frame = 0;
    size_t next = 0;
    Image picture;
    while (next < captureSeconds.size()) {
        double grid = fromSeconds + frame * step;
        double wanted = captureSeconds[next];
        if (wanted <= grid + epsilon) {
            if (wanted > session->lastSeconds + epsilon) offlineRenderFrame(session, wanted, &picture);
            else offlineRenderFrame(session, session->lastSeconds + epsilon * 10, &picture);
            if (onPicture) onPicture(next, picture, user);
            else pictures.push_back(picture);
            next++;
            if (fabs(wanted - grid) <= epsilon) frame++;
            continue;
        }
        if (grid > session->lastSeconds + epsilon) offlineRenderFrame(session, grid, nullptr);
        frame++;
    }
    return pictures;
}

std::vector<ShowWindow> showWindows(double songEndBeat)
{
    // Every start and end of a row cuts the show; between two cuts the set of rows is constant.
    std::vector<double> cuts = {0.0, songEndBeat};
    for (const TimelineRow* row = TIMELINE; row->create; row++)
        for (double cut : {(double)row->startTime, (double)row->endTime})
            if (cut > 0.0 && cut < songEndBeat) cuts.push_back(cut);
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());

    std::vector<ShowWindow> windows;
    for (size_t i = 0; i + 1 < cuts.size(); i++) {
        double middle = (cuts[i] + cuts[i + 1]) * 0.5;
        uint32_t mask = 0;
        int index = 0;
        for (const TimelineRow* row = TIMELINE; row->create && index < 32; row++, index++)
            if (row->startTime <= middle && middle <= row->endTime) mask |= 1u << index;
        size_t w = 0;
        while (w < windows.size() && windows[w].mask != mask) w++;
        if (w == windows.size()) windows.push_back(ShowWindow{mask, cuts[i], cuts[i + 1], {0.0, 0.0}});
        // A set of rows that comes back is shown by its longest stretch.
        if (cuts[i + 1] - cuts[i] > windows[w].end - windows[w].start) {
            windows[w].start = cuts[i];
            windows[w].end = cuts[i + 1];
        }
    }
    for (ShowWindow& window : windows)
        for (int k = 0; k < 2; k++)
            window.beats[k] = floor((window.start + (window.end - window.start) * (k + 1) / 3.0) * 4.0) / 4.0;
    return windows;
}

std::vector<double> contactSheetBeats(const OfflineSession& session)
{
    double songEnd = offlineSecondsToBeat(session, offlineSongSeconds(session));
    std::vector<double> beats;
    for (const ShowWindow& window : showWindows(songEnd)) beats.insert(beats.end(), window.beats, window.beats + 2);
    // And every 32 beats, so the long windows are seen at more than two moments.
    for (double beat = 16.0; beat < songEnd; beat += 32.0) beats.push_back(beat);
    std::sort(beats.begin(), beats.end());
    beats.erase(std::unique(beats.begin(), beats.end()), beats.end());
    return beats;
}

Image makeContactSheet(const std::vector<Image>& pictures, const std::vector<double>& beats, int columns,
                       int thumbWidth)
{
    const int margin = 8, labelHeight = 22;
    Image sheet;
    if (pictures.empty()) return sheet;
    int thumbHeight = thumbWidth * pictures[0].height / std::max(1, pictures[0].width);
    int rows = ((int)pictures.size() + columns - 1) / columns;
    sheet.width = margin + columns * (thumbWidth + margin);
    sheet.height = margin + rows * (thumbHeight + labelHeight + margin);
    sheet.rgba.assign((size_t)sheet.width * sheet.height * 4, 0);
    for (size_t i = 3; i < sheet.rgba.size(); i += 4) sheet.rgba[i] = 255;
    for (size_t i = 0; i < sheet.rgba.size(); i += 4) sheet.rgba[i] = sheet.rgba[i + 1] = sheet.rgba[i + 2] = 40;
    for (size_t i = 0; i < pictures.size(); i++) {
        int x = margin + (int)(i % columns) * (thumbWidth + margin);
        int y = margin + (int)(i / columns) * (thumbHeight + labelHeight + margin);
        blitImage(&sheet, scaleImage(pictures[i], thumbWidth, thumbHeight), x, y);
        char label[32];
        snprintf(label, sizeof label, "BEAT %g", beats[i]);
        drawText(&sheet, x, y + thumbHeight + 5, label, 2, 0xE0E0E0);
    }
    return sheet;
}

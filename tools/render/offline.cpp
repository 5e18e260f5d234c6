// offline: the show rendered in virtual time. See offline.h.
#include "offline.h"

#include "platform/platform.h"
#include "scenes/demo.h"
#include "scenes/framestats.h"
#include "util/data/data.h"
#include "util/fbo/fbo.h"
#include "util/music/audio.h"
#include "util/music/music.h"
#include <GL/glew.h>
#include <SDL.h>
#include <algorithm>
#include <errno.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// >> off-screen target
// The framebuffer the show draws into instead of the window, and its single-sample copy when it
// is multisampled.
// Off-screen, the window only holds the GL context.
enum { OFFSCREEN_WINDOW_WIDTH = 320, OFFSCREEN_WINDOW_HEIGHT = 180 };

static struct {
    GLuint framebuffer, color, depth; // 0 when the show draws into the window
    GLuint resolved, resolvedColor;   // 0 without multisampling
    int width, height;
} s_target;

static void deleteTarget()
{
    GLuint buffers[] = {s_target.framebuffer, s_target.resolved};
    GLuint renderbuffers[] = {s_target.color, s_target.depth, s_target.resolvedColor};
    glDeleteFramebuffersEXT(2, buffers);
    glDeleteRenderbuffersEXT(3, renderbuffers);
    memset(&s_target, 0, sizeof s_target);
    fboSetScreenTarget(0);
}

static bool targetFailed(const char* why, int value)
{
    fprintf(stderr, "offline: cannot render off-screen: %s (%d)\n", why, value);
    if (s_target.framebuffer) deleteTarget();
    return false;
}

// A colour and a depth/stencil renderbuffer of the picture's size, with the window's depth and
// stencil precision so the scenes see the same buffers they would in the window.
static bool createTarget(int width, int height, int samples)
{
    if (!GLEW_EXT_framebuffer_object) return targetFailed("the driver has no framebuffer objects", 0);
    GLint maxSide = 0, depthBits = 0, stencilBits = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE_EXT, &maxSide);
    if (width > maxSide || height > maxSide) return targetFailed("the driver's largest framebuffer side is", maxSide);
    if (samples > 0) {
        if (!GLEW_EXT_framebuffer_multisample || !GLEW_EXT_framebuffer_blit)
            return targetFailed("the driver has no multisampled framebuffers; samples asked", samples);
        GLint maxSamples = 0;
        glGetIntegerv(GL_MAX_SAMPLES_EXT, &maxSamples);
        if (samples > maxSamples) return targetFailed("the driver's most samples are", maxSamples);
    }
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    glGetIntegerv(GL_STENCIL_BITS, &stencilBits);
    GLenum depthFormat = GL_DEPTH_COMPONENT24;
    if (depthBits <= 16) depthFormat = GL_DEPTH_COMPONENT16;
    else if (stencilBits > 0 && GLEW_EXT_packed_depth_stencil) depthFormat = GL_DEPTH24_STENCIL8_EXT;

    s_target.width = width;
    s_target.height = height;
    glGenFramebuffersEXT(1, &s_target.framebuffer);
    glGenRenderbuffersEXT(1, &s_target.color);
    glGenRenderbuffersEXT(1, &s_target.depth);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, s_target.framebuffer);
    glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, s_target.color);
    glRenderbufferStorageMultisampleEXT(GL_RENDERBUFFER_EXT, samples, GL_RGBA8, width, height);
    glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_RENDERBUFFER_EXT, s_target.color);
    glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, s_target.depth);
    glRenderbufferStorageMultisampleEXT(GL_RENDERBUFFER_EXT, samples, depthFormat, width, height);
    glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT, s_target.depth);
    if (depthFormat == GL_DEPTH24_STENCIL8_EXT)
        glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_STENCIL_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT, s_target.depth);
    glDrawBuffer(GL_COLOR_ATTACHMENT0_EXT);
    glReadBuffer(GL_COLOR_ATTACHMENT0_EXT);
    GLenum status = glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT);
    if (status != GL_FRAMEBUFFER_COMPLETE_EXT) return targetFailed("framebuffer status", (int)status);
    if (samples > 0) {
        glGenFramebuffersEXT(1, &s_target.resolved);
        glGenRenderbuffersEXT(1, &s_target.resolvedColor);
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, s_target.resolved);
        glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, s_target.resolvedColor);
        glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_RGBA8, width, height);
        glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_RENDERBUFFER_EXT,
                                     s_target.resolvedColor);
        glReadBuffer(GL_COLOR_ATTACHMENT0_EXT);
        status = glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT);
        if (status != GL_FRAMEBUFFER_COMPLETE_EXT) return targetFailed("resolve framebuffer status", (int)status);
    }
    glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, 0);
    GLenum error = glGetError();
    if (error != GL_NO_ERROR) return targetFailed("GL error", (int)error);
    fboSetScreenTarget(s_target.framebuffer);
    fboBindScreen();
    // The window's viewport starts at the window's size; the target's must start at its own.
    glViewport(0, 0, width, height);
    return true;
}

// Binds the framebuffer that holds the finished frame for reading, resolving it first when it is
// multisampled. The caller binds the screen again afterwards.
static void bindFinishedFrame()
{
    if (!s_target.framebuffer) {
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
        glReadBuffer(GL_BACK);
        return;
    }
    if (s_target.resolved) {
        int w = s_target.width, h = s_target.height;
        // A scene may leave the scissor test on, and the blit obeys it.
        glPushAttrib(GL_SCISSOR_BIT);
        glDisable(GL_SCISSOR_TEST);
        glBindFramebufferEXT(GL_READ_FRAMEBUFFER_EXT, s_target.framebuffer);
        glBindFramebufferEXT(GL_DRAW_FRAMEBUFFER_EXT, s_target.resolved);
        glBlitFramebufferEXT(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        glPopAttrib();
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, s_target.resolved);
    } else {
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, s_target.framebuffer);
    }
    glReadBuffer(GL_COLOR_ATTACHMENT0_EXT);
}

// >> read-back
static struct {
    Image* target; // where the frame in progress is read back to, or null
    int width, height;
    Demo* demo;
    void (*overlay)(Demo* demo, int width, int height);
    // Streaming (offlineStreamFrames): the frame in progress is read into pixelBuffers[slot], or
    // into rows where the driver has no pixel buffers.
    bool streaming;
    int slot;
    GLuint pixelBuffers[READBACK_DEPTH];
    std::vector<uint8_t> rows;
} s_capture;

// Called by the Demo after the last scene, before the swap: the finished frame is in the back
// buffer or the off-screen target.
static void readBackBuffer()
{
    int w = s_capture.width, h = s_capture.height;
    if (s_capture.overlay) s_capture.overlay(s_capture.demo, w, h);
    Image* picture = s_capture.target;
    if (!picture && !s_capture.streaming) return;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    bindFinishedFrame();
    if (s_capture.streaming) {
        if (s_capture.pixelBuffers[0]) {
            glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, s_capture.pixelBuffers[s_capture.slot]);
            glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
            glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, 0);
        } else {
            glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, s_capture.rows.data());
        }
        fboBindScreen();
        return;
    }
    picture->width = w;
    picture->height = h;
    picture->rgba.resize((size_t)w * h * 4);
    std::vector<uint8_t> rows((size_t)w * h * 4);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
    fboBindScreen();
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

static int64_t greatestCommonDivisor(int64_t a, int64_t b)
{
    while (b != 0) {
        int64_t t = a % b;
        a = b;
        b = t;
    }
    return a;
}

bool offlineParseRate(const char* text, FrameRate* rate)
{
    int64_t num = 0, den = 1;
    const char* slash = strchr(text, '/');
    if (slash) {
        // N/D: two whole numbers, nothing else.
        char* end = nullptr;
        errno = 0;
        long long n = strtoll(text, &end, 10);
        if (end != slash || slash == text || errno != 0) return false;
        long long d = strtoll(slash + 1, &end, 10);
        if (*end != 0 || end == slash + 1 || errno != 0) return false;
        if (n < 1 || d < 1 || n > FRAME_RATE_MAX_TERM || d > FRAME_RATE_MAX_TERM) return false;
        num = n;
        den = d;
    } else {
        // A decimal number: exact in thousandths at most ("29.97" is 2997/100).
        double value = 0.0;
        if (!offlineParseNumber(text, &value) || !(value >= 1.0 && value <= FRAME_RATE_MAX)) return false;
        den = 1000;
        num = llround(value * den);
        if (fabs((double)num / den - value) > 1e-9) return false;
    }
    if ((double)num / den < 1.0 || (double)num / den > FRAME_RATE_MAX) return false;
    int64_t g = greatestCommonDivisor(num, den);
    rate->num = num / g;
    rate->den = den / g;
    return true;
}

double frameSeconds(double fromSeconds, FrameRate rate, int64_t index)
{
    return fromSeconds + (double)index * (double)rate.den / (double)rate.num;
}

int offlineParseOption(const char* option, const char* value, OfflineOptions* options, const char** error)
{
    double number = 0.0;
    bool numeric = offlineParseNumber(value, &number);
    if (!strcmp(option, "--width") || !strcmp(option, "--height")) {
        bool width = option[2] == 'w';
        if (!numeric || number < OFFLINE_MIN_SIDE || number > (width ? OFFLINE_MAX_WIDTH : OFFLINE_MAX_HEIGHT) ||
            number != (int)number) {
            *error = width ? "--width takes a whole number from 16 to 7680" : "--height takes a whole number from 16 to 4320";
            return -1;
        }
        (width ? options->width : options->height) = (int)number;
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
    // Off-screen, the window only holds the context: small, and never multisampled.
    int windowSamples = options.offscreen ? 0 : options.samples;
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, windowSamples > 0 ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, windowSamples);
    SDL_GL_SetAttribute(SDL_GL_SWAP_CONTROL, 0);
    int windowWidth = options.offscreen ? OFFSCREEN_WINDOW_WIDTH : options.width;
    int windowHeight = options.offscreen ? OFFSCREEN_WINDOW_HEIGHT : options.height;
    if (!SDL_SetVideoMode(windowWidth, windowHeight, 0, SDL_OPENGL)) {
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
    // Scenes draw into the target from their first bind on, loading included.
    if (options.offscreen && !createTarget(options.width, options.height, options.samples)) return false;

    session->demo = new Demo();
    session->demo->beforeSwap = readBackBuffer;
    session->demo->resize(options.width, options.height);
    if (options.warmUp) demoWarmUp(session->demo);
    session->demo->start();
    s_capture.width = options.width;
    s_capture.height = options.height;
    s_capture.demo = session->demo;
    s_capture.overlay = options.overlay;
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

// Hands over the kept frame in pixel buffer `slot`.
static bool deliverPixelBuffer(const OfflineStream& stream, int64_t index, int slot)
{
    glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, s_capture.pixelBuffers[slot]);
    const uint8_t* rgba = (const uint8_t*)glMapBufferARB(GL_PIXEL_PACK_BUFFER_ARB, GL_READ_ONLY_ARB);
    bool going = rgba != nullptr;
    if (!rgba) fprintf(stderr, "offline: cannot map the pixel buffer of frame %lld\n", (long long)index);
    else going = stream.onFrame(index, rgba, stream.user);
    if (rgba) glUnmapBufferARB(GL_PIXEL_PACK_BUFFER_ARB);
    glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, 0);
    return going;
}

bool offlineStreamFrames(OfflineSession* session, double fromSeconds, FrameRate rate, const OfflineStream& stream)
{
    const int w = s_capture.width, h = s_capture.height;
    const size_t bytes = (size_t)w * h * 4;
    bool pixelBuffers = GLEW_ARB_pixel_buffer_object != 0;
    if (pixelBuffers && !s_capture.pixelBuffers[0]) {
        glGenBuffersARB(READBACK_DEPTH, s_capture.pixelBuffers);
        for (int i = 0; i < READBACK_DEPTH; i++) {
            glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, s_capture.pixelBuffers[i]);
            glBufferDataARB(GL_PIXEL_PACK_BUFFER_ARB, (GLsizeiptrARB)bytes, nullptr, GL_STREAM_READ_ARB);
        }
        glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, 0);
    }
    if (!pixelBuffers) s_capture.rows.resize(bytes);

    bool going = true;
    int64_t next = stream.firstKept; // the oldest kept frame not yet handed over
    for (int64_t k = 0; k < stream.count && going; k++) {
        bool kept = k >= stream.firstKept;
        s_capture.streaming = kept;
        s_capture.slot = (int)((k - stream.firstKept) % READBACK_DEPTH);
        offlineRenderFrame(session, frameSeconds(fromSeconds, rate, k), nullptr);
        s_capture.streaming = false;
        if (stream.onRendered && !stream.onRendered(k, stream.user)) going = false;
        if (!kept || !going) continue;
        if (!pixelBuffers) {
            going = stream.onFrame(k, s_capture.rows.data(), stream.user);
            next = k + 1;
            continue;
        }
        // The buffers hold the last READBACK_DEPTH frames: the oldest is read while this one is.
        while (going && k - next >= READBACK_DEPTH - 1) {
            going = deliverPixelBuffer(stream, next, (int)((next - stream.firstKept) % READBACK_DEPTH));
            next++;
        }
    }
    while (going && pixelBuffers && next < stream.count) {
        going = deliverPixelBuffer(stream, next, (int)((next - stream.firstKept) % READBACK_DEPTH));
        next++;
    }
    return going;
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

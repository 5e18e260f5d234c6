// devmode: creator mode around the running show. See devmode.h.
#include "scenes/devmode.h"

#include "platform/bitmapfont.h"  // BitmapFont, BITMAP_FONT_FIRST_CHAR
#include "platform/filewatch.h"   // fileWatchStart, fileWatchChanged
#include "platform/platform.h"    // virtual time, platformWallNanoseconds
#include "scenes/demo.h"          // Demo, demoRewind, timelineWindowName
#include "scenes/framestats.h"    // percentileOf
#include "scenes/transport.h"     // Transport
#include "util/music/audio.h"     // pause, position, state
#include "util/music/music.h"     // getTime, bpm
#include "util/shaderprogram/shaderprogram.h" // shaderProgramReloadAll, unbindAll
#include "util/texture/texture.h" // textureReloadAll
#include <SDL.h>                  // key symbols, SDL_GL_SwapBuffers
#include <math.h>
#include <stdio.h>
#include <string.h>
#include <vector>

enum {
    FRAME_TIMES = 512,            // frame times remembered (more than a second at any rate)
    PANEL_MARGIN = 8,             // pixels
    PANEL_LINE_HEIGHT = 26,       // the bitmap font is 24 pixels high
    PANEL_MAX_LINES = 14,         // a long compiler log is cut here on the panel (stderr has it all)
    PANEL_GLYPH_WIDTH = 15,       // pixels a character of the bitmap font advances
    PANEL_MIN_COLUMNS = 20,       // a narrower window still gets lines this long
    WATCH_QUIET_MS = 300,         // a change reloads once the files have been still this long
};
static const double FRAME_TIME_WINDOW_NS = 1e9;

static struct {
    Demo* demo;
    bool loose;                   // playing --data files: reload is possible
    Transport transport;
    bool panel;                   // F1
    std::string reloadMessage;
    bool redraw;                  // a reload while paused shows its result in one drawn frame
    GLuint frozen;                // the last drawn picture, shown again while paused
    int frozenWidth, frozenHeight;
    uint64_t lastFrameNs;
    uint64_t frameEndNs[FRAME_TIMES];
    float frameMs[FRAME_TIMES];
    int frameNext, frameCount;
    bool watching;
    uint64_t changeSeenNs;        // 0: no change waiting
} s_dev;

// >> panel
std::string devPanelText(const DevPanelFacts& f)
{
    char line[256];
    std::string text;
    int bar = (int)floor(f.beat / 4.0) + 1;
    int beatInBar = (int)floor(fmod(f.beat, 4.0)) + 1;
    int minutes = (int)(f.seconds / 60.0);
    snprintf(line, sizeof line, "beat %.2f  bar %d.%d  %d:%05.2f  %s\n", f.beat, bar, beatInBar, minutes,
             f.seconds - minutes * 60.0, f.paused ? "PAUSED" : "playing");
    text += line;
    text += "rows: " + (f.rows.empty() ? std::string("none") : f.rows) + "\n";
    if (f.worstMs > 0.0f) snprintf(line, sizeof line, "frame %.1f ms median, %.1f ms worst in 1 s\n", f.medianMs, f.worstMs);
    else snprintf(line, sizeof line, "frame: none ended in the last second\n");
    text += line;
    if (f.loopMarks == 2) snprintf(line, sizeof line, "loop %.2f - %.2f\n", f.loopStart, f.loopEnd);
    else if (f.loopMarks == 1) snprintf(line, sizeof line, "loop from %.2f: L again marks the end\n", f.loopStart);
    else snprintf(line, sizeof line, "no loop\n");
    text += line;
    return text;
}

// The median and the worst of the frames that ended within the last second.
static void recentFrameTimes(uint64_t now, float* median, float* worst)
{
    std::vector<float> recent;
    for (int i = 0; i < s_dev.frameCount; i++) {
        int at = (s_dev.frameNext - 1 - i + FRAME_TIMES) % FRAME_TIMES;
        if ((double)(now - s_dev.frameEndNs[at]) > FRAME_TIME_WINDOW_NS) break;
        recent.push_back(s_dev.frameMs[at]);
    }
    *worst = 0.0f;
    for (float ms : recent) *worst = ms > *worst ? ms : *worst;
    *median = percentileOf(&recent, 50.0f);
}

static std::string activeRows(const Demo* demo, double beat)
{
    uint32_t mask = 0;
    for (size_t row = 0; row < demo->scenes.size() && row < 32; row++)
        if (demo->scenes[row]->startTime <= beat && beat <= demo->scenes[row]->endTime) mask |= 1u << row;
    return timelineWindowName(mask);
}

// Appends the lines of `text`, each cut into pieces of at most `columns` characters, at a space
// where one is near (characters the font lacks shown as spaces), until `lines` holds `maxLines`.
static void wrapLines(const std::string& text, size_t columns, size_t maxLines, std::vector<std::string>* lines)
{
    for (size_t from = 0; from < text.size() && lines->size() < maxLines;) {
        size_t end = text.find('\n', from);
        if (end == std::string::npos) end = text.size();
        if (end - from > columns) {
            // At the last space that leaves at least half a line, else in the middle of a word.
            size_t space = text.rfind(' ', from + columns);
            end = space != std::string::npos && space > from + columns / 2 ? space : from + columns;
        }
        std::string line = text.substr(from, end - from);
        for (char& c : line) c = (c < 32 || c > 126) ? ' ' : c;
        lines->push_back(line);
        from = end < text.size() && (text[end] == '\n' || text[end] == ' ') ? end + 1 : end;
    }
}

static void drawText(const BitmapFont* font, int x, int y, const char* text, int length)
{
    glRasterPos2i(x, y);
    glListBase(font->listBase - BITMAP_FONT_FIRST_CHAR);
    glCallLists(length, GL_UNSIGNED_BYTE, text);
}

// Over whatever the window holds: a dark box, then the lines in the bitmap font, top left.
static void drawPanel()
{
    Demo* demo = s_dev.demo;
    const Transport& t = s_dev.transport;
    DevPanelFacts facts;
    facts.beat = t.beat;
    facts.seconds = demoBeatToSeconds(demo->music, t.beat);
    facts.rows = activeRows(demo, t.beat);
    recentFrameTimes(platformWallNanoseconds(), &facts.medianMs, &facts.worstMs);
    facts.loopMarks = t.loopMarks;
    facts.loopStart = t.loopStart;
    facts.loopEnd = t.loopEnd;
    facts.paused = t.paused;

    // Lines wrapped to the window's width, as many as fit its height (a long log is cut here;
    // standard error has it whole).
    int w = demo->width, h = demo->height;
    size_t columns = (size_t)((w - 2 * PANEL_MARGIN) / PANEL_GLYPH_WIDTH);
    if (columns < PANEL_MIN_COLUMNS) columns = PANEL_MIN_COLUMNS;
    int maxLines = (h - 2 * PANEL_MARGIN) / PANEL_LINE_HEIGHT;
    if (maxLines > PANEL_MAX_LINES) maxLines = PANEL_MAX_LINES;
    std::vector<std::string> lines;
    wrapLines(devPanelText(facts), columns, (size_t)maxLines, &lines);
    size_t statusLines = lines.size();
    // The reload message on its own lines, so its trouble can be told apart.
    wrapLines(s_dev.reloadMessage, columns, (size_t)maxLines, &lines);
    size_t widest = 0;
    for (const std::string& line : lines) widest = line.size() > widest ? line.size() : widest;

    glPushAttrib(GL_ALL_ATTRIB_BITS);
    ShaderProgram::unbindAll();
    glViewport(0, 0, w, h);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, w, 0.0, h, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();

    int boxWidth = (int)widest * PANEL_GLYPH_WIDTH + 2 * PANEL_MARGIN;
    int boxHeight = (int)lines.size() * PANEL_LINE_HEIGHT + 2 * PANEL_MARGIN;
    glColor4f(0.0f, 0.0f, 0.0f, 0.7f);
    glRecti(0, h - boxHeight, boxWidth, h);
    for (size_t i = 0; i < lines.size(); i++) {
        // Reload trouble in red, the rest in white.
        bool trouble = i >= statusLines && s_dev.reloadMessage.find("FAILED") != std::string::npos;
        if (trouble) glColor4f(1.0f, 0.45f, 0.4f, 1.0f);
        else glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        int y = h - PANEL_MARGIN - (int)(i + 1) * PANEL_LINE_HEIGHT + 6;
        drawText(demo->font, PANEL_MARGIN, y, lines[i].c_str(), (int)lines[i].size());
    }

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
}

// >> frozen picture
// After the scenes (and after any capture): keep the picture, then the panel over it.
static void overlay()
{
    Demo* demo = s_dev.demo;
    if (!s_dev.frozen) glGenTextures(1, &s_dev.frozen);
    glBindTexture(GL_TEXTURE_2D, s_dev.frozen);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glReadBuffer(GL_BACK);
    glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, 0, 0, demo->width, demo->height, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
    s_dev.frozenWidth = demo->width;
    s_dev.frozenHeight = demo->height;
    if (s_dev.panel) drawPanel();
}

// A paused frame: the kept picture again (stretched if the window changed size), the panel, swap.
static void drawFrozenFrame()
{
    Demo* demo = s_dev.demo;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (s_dev.frozen) {
        glPushAttrib(GL_ALL_ATTRIB_BITS);
        ShaderProgram::unbindAll();
        glViewport(0, 0, demo->width, demo->height);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_LIGHTING);
        glDisable(GL_BLEND);
        glEnable(GL_TEXTURE_2D);
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glOrtho(0.0, 1.0, 0.0, 1.0, -1.0, 1.0);
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        glBindTexture(GL_TEXTURE_2D, s_dev.frozen);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        glBegin(GL_QUADS);
        glTexCoord2f(0, 0), glVertex2f(0, 0);
        glTexCoord2f(1, 0), glVertex2f(1, 0);
        glTexCoord2f(1, 1), glVertex2f(1, 1);
        glTexCoord2f(0, 1), glVertex2f(0, 1);
        glEnd();
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glBindTexture(GL_TEXTURE_2D, 0);
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
        glPopMatrix();
        glPopAttrib();
    }
    if (s_dev.panel) drawPanel();
    SDL_GL_SwapBuffers();
}

// >> reload
static void reloadAll(const char* why)
{
    if (!s_dev.loose) {
        s_dev.reloadMessage = "reload: playing from the archive, nothing to reload (play loose files with --data DIR)";
        fprintf(stderr, "halvoren: %s\n", s_dev.reloadMessage.c_str());
        return;
    }
    std::string problems;
    int programs = 0, images = 0;
    int badPrograms = shaderProgramReloadAll(&programs, &problems);
    int badImages = textureReloadAll(&images, &problems);
    char line[256];
    if (badPrograms + badImages == 0) {
        snprintf(line, sizeof line, "reload (%s): %d programs, %d images; models and .raw files are not reloaded", why,
                 programs, images);
    } else {
        snprintf(line, sizeof line, "reload (%s) FAILED: %d of %d programs, %d of %d images keep the last good one", why,
                 badPrograms, programs, badImages, images);
    }
    s_dev.reloadMessage = line;
    s_dev.redraw = true;
    if (!problems.empty()) s_dev.reloadMessage += "\n" + problems;
    fprintf(stderr, "halvoren: %s\n", s_dev.reloadMessage.c_str());
}

// >> public
void devModeBeforeLoad()
{
    shaderProgramForgiveLoadFailures(true);
    textureForgiveLoadFailures(true);
}

void devModeStart(Demo* demo, const std::string& dataDirectory)
{
    s_dev.demo = demo;
    s_dev.loose = !dataDirectory.empty();
    s_dev.panel = true;
    Music* music = demo->music;
    double songSeconds = (double)music->lengthBytes / AUDIO_BYTES_PER_SECOND;
    transportInit(&s_dev.transport, demoSecondsToBeat(music, songSeconds));
    s_dev.transport.beat = music->getTime();
    demo->overlay = overlay;
    s_dev.lastFrameNs = platformWallNanoseconds();
    if (s_dev.loose) {
        s_dev.watching = fileWatchStart((dataDirectory + "/data").c_str());
        if (!s_dev.watching) s_dev.reloadMessage = "file watching is not available: F5 reloads";
    }
    // What did not load shows on the panel from the first frame, in the reload trouble's colour.
    std::string problems = shaderProgramLoadProblems() + textureLoadProblems();
    if (!problems.empty()) s_dev.reloadMessage = "load FAILED, magenta until reloaded:\n" + problems;
}

bool devModeKey(int key, int modifiers)
{
    Transport* t = &s_dev.transport;
    bool shift = (modifiers & KMOD_SHIFT) != 0;
    switch (key) {
    case SDLK_SPACE: transportPress(t, TRANSPORT_PAUSE); return true;
    case SDLK_PAGEUP: transportPress(t, shift ? TRANSPORT_LONG_BACK : TRANSPORT_BACK); return true;
    case SDLK_PAGEDOWN: transportPress(t, shift ? TRANSPORT_LONG_FORWARD : TRANSPORT_FORWARD); return true;
    case SDLK_HOME: transportPress(t, TRANSPORT_HOME); return true;
    case SDLK_PERIOD: transportPress(t, TRANSPORT_STEP); return true;
    case SDLK_l: transportPress(t, TRANSPORT_LOOP_MARK); return true;
    case SDLK_BACKSPACE: transportPress(t, TRANSPORT_LOOP_CLEAR); return true;
    case SDLK_F1: s_dev.panel = !s_dev.panel; return true;
    case SDLK_F5: reloadAll("F5"); return true;
    default: return false;
    }
}

void devModeFrame()
{
    Demo* demo = s_dev.demo;
    Music* music = demo->music;
    Transport* t = &s_dev.transport;

    // Files changed under --data: reload once they have been still for a moment.
    uint64_t now = platformWallNanoseconds();
    if (s_dev.watching && fileWatchChanged()) s_dev.changeSeenNs = now;
    if (s_dev.changeSeenNs && now - s_dev.changeSeenNs > (uint64_t)WATCH_QUIET_MS * 1000000u) {
        s_dev.changeSeenNs = 0;
        reloadAll("a file changed");
    }

    uint32_t state = audioChannelIsActive(music->stream);
    transportFrame(t, music->getTime(), state == AUDIO_ACTIVE_STOPPED);

    // Pause and resume: the song holds, and with it every clock a scene reads.
    if (t->paused && state == AUDIO_ACTIVE_PLAYING) audioChannelPause(music->stream);
    if (!t->paused && state == AUDIO_ACTIVE_PAUSED) audioChannelPlay(music->stream, false);

    // Decided before the seek is made: a seek while paused draws its new place once.
    bool draws = transportDraws(t) || s_dev.redraw;
    s_dev.redraw = false;
    if (t->seekDue) {
        double beat = t->seekBeat;
        demoRewind(demo, demoBeatToSeconds(music, beat));
        // A seek after the song stopped (a loop's wrap at the very end) plays it again.
        if (!t->paused && audioChannelIsActive(music->stream) == AUDIO_ACTIVE_STOPPED)
            audioChannelPlay(music->stream, false);
        transportSeekDone(t, music->getTime());
    } else if (t->paused && t->stepsDue > 0) {
        uint64_t position = audioChannelGetPosition(music->stream, AUDIO_POS_BYTE);
        audioChannelSetPosition(music->stream, position + audioChannelSeconds2Bytes(music->stream, TRANSPORT_STEP_SECONDS));
    }
    if (t->stepsDue > 0) t->stepsDue--;

    // Virtual time follows the song, never backward (a seek's rewind set it to the new place).
    uint64_t position = audioChannelGetPosition(music->stream, AUDIO_POS_BYTE);
    uint64_t songNs = frameClock.startCount + (uint64_t)(audioChannelBytes2Seconds(music->stream, position) * 1e9);
    if (songNs > platformCounter()) platformSetVirtualNanoseconds(songNs);

    if (draws) demo->renderFrame();
    else drawFrozenFrame();
    t->beat = music->getTime();

    uint64_t end = platformWallNanoseconds();
    s_dev.frameEndNs[s_dev.frameNext] = end;
    s_dev.frameMs[s_dev.frameNext] = (float)((end - s_dev.lastFrameNs) * 1e-6);
    s_dev.frameNext = (s_dev.frameNext + 1) % FRAME_TIMES;
    if (s_dev.frameCount < FRAME_TIMES) s_dev.frameCount++;
    s_dev.lastFrameNs = end;
}

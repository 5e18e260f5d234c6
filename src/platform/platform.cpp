// platform: message boxes with FLTK, clocks, UTC time, GL entry points. See platform.h.
#include "platform/platform.h"

#include <SDL.h> // SDL_GL_GetProcAddress
#include <X11/Xlib.h> // XOpenDisplay: can a box be shown at all?
#include <FL/Fl.H>
#include <FL/fl_ask.H> // fl_message, fl_choice, fl_message_title
#include <malloc.h> // mallopt
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static struct {
    bool headless;
    bool virtualTime;
    uint64_t virtualNanoseconds;
    void (*beforeBox)();
    int displayState; // 0 not probed yet, 1 a display can be opened, -1 none
} s_platform;

void platformSetHeadlessBoxes(bool headless) { s_platform.headless = headless; }
bool platformHeadlessBoxes() { return s_platform.headless; }
void platformSetBeforeBoxHook(void (*hook)()) { s_platform.beforeBox = hook; }

static thread_local bool s_boxesDeferred;
void platformDeferBoxesOnThisThread(bool defer) { s_boxesDeferred = defer; }
bool platformBoxesDeferred() { return s_boxesDeferred; }

// FLTK ends the process when it cannot open the display, so probe with Xlib first.
static bool displayAvailable()
{
    if (s_platform.displayState == 0) {
        const char* name = getenv("DISPLAY");
        Display* display = (name && name[0]) ? XOpenDisplay(nullptr) : nullptr;
        s_platform.displayState = display ? 1 : -1;
        if (display) XCloseDisplay(display);
    }
    return s_platform.displayState > 0;
}

int platformMessageBox(const char* text, const char* caption, int style)
{
    if (s_boxesDeferred) throw PlatformBoxDeferred{text ? text : ""};
    fprintf(stderr, "%s\n%s\n", caption, text);
    fflush(stderr);
    if (s_platform.headless || !displayAvailable()) return BOX_RESULT_OK;
    if (s_platform.beforeBox) s_platform.beforeBox();

    fl_message_title(caption);
    if (style == BOX_OKCANCEL_QUESTION) {
        // fl_choice shows the question icon; buttons are laid out right to left.
        int choice = fl_choice("%s", "Cancel", "OK", nullptr, text);
        return choice == 1 ? BOX_RESULT_OK : BOX_RESULT_CANCEL;
    }
    if (style == BOX_WARNING) fl_alert("%s", text);
    else fl_message("%s", text);
    return BOX_RESULT_OK;
}

void platformBoundHeapRetention()
{
    mallopt(M_MMAP_THRESHOLD, 32 << 20); // the largest the library allows
    mallopt(M_TRIM_THRESHOLD, 16 << 20);
}

void platformSleepMs(uint32_t milliseconds)
{
    if (s_platform.virtualTime) {
        s_platform.virtualNanoseconds += (uint64_t)milliseconds * 1000000u;
        return;
    }
    struct timespec ts;
    ts.tv_sec = milliseconds / 1000;
    ts.tv_nsec = (long)(milliseconds % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0) {}
}

uint64_t platformWallNanoseconds()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint64_t)ts.tv_sec * 1000000000u + (uint64_t)ts.tv_nsec;
}

uint64_t platformCounter()
{
    if (s_platform.virtualTime) return s_platform.virtualNanoseconds;
    return platformWallNanoseconds();
}

uint64_t platformCounterFrequency() { return 1000000000u; }

uint32_t platformTickMs() { return (uint32_t)(platformCounter() / 1000000u); }

void platformUseVirtualTime(bool enabled) { s_platform.virtualTime = enabled; }
bool platformVirtualTime() { return s_platform.virtualTime; }
void platformSetVirtualNanoseconds(uint64_t nanoseconds) { s_platform.virtualNanoseconds = nanoseconds; }
void platformAdvanceVirtualNanoseconds(uint64_t nanoseconds) { s_platform.virtualNanoseconds += nanoseconds; }

PlatformUtcTime platformUtcNow()
{
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    struct tm utc;
    gmtime_r(&ts.tv_sec, &utc);
    PlatformUtcTime t;
    t.year = utc.tm_year + 1900;
    t.month = utc.tm_mon + 1;
    t.day = utc.tm_mday;
    t.hour = utc.tm_hour;
    t.minute = utc.tm_min;
    t.second = utc.tm_sec;
    t.millis = (int)(ts.tv_nsec / 1000000L);
    return t;
}

void* platformGetProcAddress(const char* name) { return SDL_GL_GetProcAddress(name); }

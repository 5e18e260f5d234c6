// platform_linux: the Linux side of platform.h and platform_system.h. Boxes through FLTK on X,
// clocks and UTC time from clock_gettime, the process's figures from /proc and getrusage.
#include "platform/options.h" // programFolder
#include "platform/platform.h"
#include "platform/platform_system.h"
#include <GL/glx.h>   // glXGetCurrentContext
#include <X11/Xlib.h> // XOpenDisplay: can a box be shown at all?
#include <FL/Fl.H>
#include <FL/fl_ask.H>       // fl_message, fl_choice, fl_message_title
#include <malloc.h> // mallopt
#include <signal.h> // sigaction
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>    // getrusage
#include <time.h>
#include <unistd.h>          // readlink, sysconf

enum { PATH_BYTES = 4096 };

static int s_displayState; // 0 not probed yet, 1 a display can be opened, -1 none

// FLTK ends the process when it cannot open the display, so probe with Xlib first.
bool systemCanShowBox()
{
    if (s_displayState == 0) {
        const char* name = getenv("DISPLAY");
        Display* display = (name && name[0]) ? XOpenDisplay(nullptr) : nullptr;
        s_displayState = display ? 1 : -1;
        if (display) XCloseDisplay(display);
    }
    return s_displayState > 0;
}

int systemMessageBox(const char* text, const char* caption, int style)
{
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

void systemSleepMs(uint32_t milliseconds)
{
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

bool platformGlContextCurrent() { return glXGetCurrentContext() != nullptr; }

std::string programFolder()
{
    char path[PATH_BYTES];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return "";
    std::string program(path, (size_t)length);
    size_t slash = program.rfind('/');
    return slash == std::string::npos ? "" : program.substr(0, slash);
}

// From /proc: clock ticks since boot at the process's start.
uint64_t platformProcessAgeNs()
{
    FILE* f = fopen("/proc/self/stat", "r");
    if (!f) return 0;
    char text[1024];
    size_t n = fread(text, 1, sizeof text - 1, f);
    fclose(f);
    text[n] = 0;
    // The command name may hold spaces and brackets: fields are counted after the last ')'.
    const char* p = strrchr(text, ')');
    if (!p) return 0;
    unsigned long long startTicks = 0;
    int field = 2;
    for (; *p && field < 22; p++)
        if (*p == ' ') field++;
    if (field != 22 || sscanf(p, "%llu", &startTicks) != 1) return 0;
    long hz = sysconf(_SC_CLK_TCK);
    struct timespec boot;
    if (hz <= 0 || clock_gettime(CLOCK_BOOTTIME, &boot) != 0) return 0;
    double age = (double)boot.tv_sec + boot.tv_nsec * 1e-9 - (double)startTicks / (double)hz;
    return age > 0 ? (uint64_t)(age * 1e9) : 0;
}

int64_t platformPeakResidentBytes()
{
    struct rusage usage;
    if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
    return (int64_t)usage.ru_maxrss * 1024;
}

// The value of "Name:   1234 kB" in /proc/self/status text, in bytes; -1 when it is missing.
static int64_t statusKilobytes(const char* status, const char* name)
{
    const size_t length = strlen(name);
    for (const char* line = status; line; line = strchr(line, '\n')) {
        if (*line == '\n') line++;
        long long kb = 0;
        if (strncmp(line, name, length) == 0 && line[length] == ':' && sscanf(line + length + 1, "%lld", &kb) == 1)
            return (int64_t)kb * 1024;
    }
    return -1;
}

bool platformResidentParts(PlatformResidentParts* parts)
{
    FILE* f = fopen("/proc/self/status", "r");
    if (!f) return false;
    char text[8192];
    size_t n = fread(text, 1, sizeof text - 1, f);
    fclose(f);
    text[n] = 0;
    parts->files = statusKilobytes(text, "RssFile");
    parts->shared = statusKilobytes(text, "RssShmem");
    parts->anonymous = statusKilobytes(text, "RssAnon");
    return parts->files >= 0 && parts->shared >= 0 && parts->anonymous >= 0;
}

void platformBoundHeapRetention()
{
    mallopt(M_MMAP_THRESHOLD, 32 << 20); // the largest the library allows
    mallopt(M_TRIM_THRESHOLD, 16 << 20);
}

enum { ENDING_SIGNAL_COUNT = 2 };
static const int ENDING_SIGNALS[ENDING_SIGNAL_COUNT] = {SIGINT, SIGTERM};
static struct sigaction s_savedHandlers[ENDING_SIGNAL_COUNT];
static volatile sig_atomic_t s_endingSignal;

static void onEndingSignal(int number) { s_endingSignal = number; }

void platformCatchEndingSignals()
{
    struct sigaction ending;
    memset(&ending, 0, sizeof ending);
    ending.sa_handler = onEndingSignal; // without SA_RESTART a dialog's wait returns at once
    sigemptyset(&ending.sa_mask);
    for (int i = 0; i < ENDING_SIGNAL_COUNT; i++) sigaction(ENDING_SIGNALS[i], &ending, &s_savedHandlers[i]);
}

int platformEndingSignal() { return s_endingSignal; }

void platformRestoreEndingSignals()
{
    for (int i = 0; i < ENDING_SIGNAL_COUNT; i++) sigaction(ENDING_SIGNALS[i], &s_savedHandlers[i], nullptr);
}

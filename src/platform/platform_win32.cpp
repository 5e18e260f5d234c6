// platform_win32: the Windows side of platform.h, platform_system.h and posix_win32.h. Boxes
// through MessageBoxA, the counter from QueryPerformanceCounter (the millisecond tick follows it,
// finer than GetTickCount's 10 to 16 ms steps), UTC time from GetSystemTime, the process's figures
// from GetProcessTimes and GetProcessMemoryInfo.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <psapi.h> // GetProcessMemoryInfo

#include "platform/options.h" // programFolder
#include "platform/platform.h"
#include "platform/platform_system.h"
#include <signal.h> // signal
#include <stdio.h>
#include <string>

// >> console
// The program is a GUI-subsystem program, so Explorer opens no console window for it. Started
// from a command prompt, it writes to that prompt's console instead (--help, --version, reports);
// output already sent to a file or pipe stays there.
static void attachParentConsole()
{
    bool outLost = GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_UNKNOWN;
    bool errLost = GetFileType(GetStdHandle(STD_ERROR_HANDLE)) == FILE_TYPE_UNKNOWN;
    if (!(outLost || errLost) || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
    if (outLost) freopen("CONOUT$", "w", stdout);
    if (errLost) freopen("CONOUT$", "w", stderr);
}
[[maybe_unused]] static const bool s_consoleAttached = (attachParentConsole(), true);

// >> boxes, clocks, time
bool systemCanShowBox() { return true; }

int systemMessageBox(const char* text, const char* caption, int style)
{
    // The style values are Win32's own: MB_OK, MB_OKCANCEL | MB_ICONQUESTION, MB_ICONEXCLAMATION.
    return MessageBoxA(nullptr, text, caption, (UINT)style) == IDOK ? BOX_RESULT_OK : BOX_RESULT_CANCEL;
}

void systemSleepMs(uint32_t milliseconds) { Sleep(milliseconds); }

uint64_t platformWallNanoseconds()
{
    static LARGE_INTEGER frequency; // constant while the system runs
    if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    uint64_t f = (uint64_t)frequency.QuadPart, c = (uint64_t)count.QuadPart;
    // Whole seconds and the rest apart, so count * 10^9 cannot overflow.
    return c / f * 1000000000u + c % f * 1000000000u / f;
}

PlatformUtcTime platformUtcNow()
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    PlatformUtcTime t;
    t.year = now.wYear;
    t.month = now.wMonth;
    t.day = now.wDay;
    t.hour = now.wHour;
    t.minute = now.wMinute;
    t.second = now.wSecond;
    t.millis = now.wMilliseconds;
    return t;
}

bool platformGlContextCurrent() { return wglGetCurrentContext() != nullptr; }

// >> the process
std::string programFolder()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) return "";
    std::string program(path, length);
    size_t slash = program.find_last_of("\\/");
    return slash == std::string::npos ? "" : program.substr(0, slash);
}

static uint64_t fileTimeOf(const FILETIME& t) { return ((uint64_t)t.dwHighDateTime << 32) | t.dwLowDateTime; }

uint64_t platformProcessAgeNs()
{
    FILETIME created, exited, kernel, user, now;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    GetSystemTimeAsFileTime(&now);
    uint64_t start = fileTimeOf(created), end = fileTimeOf(now);
    return end > start ? (end - start) * 100u : 0; // file times count 100 ns
}

int64_t platformPeakResidentBytes()
{
    PROCESS_MEMORY_COUNTERS counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
    return (int64_t)counters.PeakWorkingSetSize;
}

bool platformResidentParts(PlatformResidentParts* parts)
{
    (void)parts; // the working set is not split by kind of page
    return false;
}

// >> what the C runtime lacks (posix_win32.h)
FILE* fmemopen(void* buffer, size_t size, const char* mode)
{
    (void)mode; // the show only reads these streams
    char folder[MAX_PATH], path[MAX_PATH];
    if (!GetTempPathA(sizeof folder, folder) || !GetTempFileNameA(folder, "hlv", 0, path)) return nullptr;
    // "T": kept in the cache if it can be; "D": deleted when closed.
    FILE* f = fopen(path, "w+bTD");
    if (!f) return nullptr;
    if (size > 0 && fwrite(buffer, 1, size, f) != size) {
        fclose(f);
        return nullptr;
    }
    rewind(f);
    return f;
}

int setenv(const char* name, const char* value, int overwrite)
{
    if (!overwrite && getenv(name)) return 0;
    std::string entry = std::string(name) + "=" + value;
    return _putenv(entry.c_str());
}

int unsetenv(const char* name) { return _putenv((std::string(name) + "=").c_str()); }

// The Windows heap hands large freed blocks back by itself.
void platformBoundHeapRetention() {}

// The C runtime's signal(): Ctrl+C in the console, and SIGTERM as raised inside the program.
static void (*s_savedInterrupt)(int);
static void (*s_savedTerminate)(int);
static volatile sig_atomic_t s_endingSignal;

static void onEndingSignal(int number) { s_endingSignal = number; }

void platformCatchEndingSignals()
{
    s_savedInterrupt = signal(SIGINT, onEndingSignal);
    s_savedTerminate = signal(SIGTERM, onEndingSignal);
}

int platformEndingSignal() { return s_endingSignal; }

void platformRestoreEndingSignals()
{
    signal(SIGINT, s_savedInterrupt);
    signal(SIGTERM, s_savedTerminate);
}

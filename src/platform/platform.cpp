// platform: message boxes, clocks, virtual time, GL entry points. See platform.h. What differs
// between the systems is in platform_linux.cpp and platform_win32.cpp (platform_system.h).
#include "platform/platform.h"

#include "platform/platform_system.h"
#include <SDL.h> // SDL_GL_GetProcAddress
#include <stdio.h>

static struct {
    bool headless;
    bool virtualTime;
    uint64_t virtualNanoseconds;
    void (*beforeBox)();
} s_platform;

void platformSetHeadlessBoxes(bool headless) { s_platform.headless = headless; }
bool platformHeadlessBoxes() { return s_platform.headless; }
void platformSetBeforeBoxHook(void (*hook)()) { s_platform.beforeBox = hook; }

static thread_local bool s_boxesDeferred;
void platformDeferBoxesOnThisThread(bool defer) { s_boxesDeferred = defer; }
bool platformBoxesDeferred() { return s_boxesDeferred; }

int platformMessageBox(const char* text, const char* caption, int style)
{
    if (s_boxesDeferred) throw PlatformBoxDeferred{text ? text : ""};
    fprintf(stderr, "%s\n%s\n", caption, text);
    fflush(stderr);
    if (s_platform.headless || !systemCanShowBox()) return BOX_RESULT_OK;
    if (s_platform.beforeBox) s_platform.beforeBox();
    return systemMessageBox(text, caption, style);
}

void platformSleepMs(uint32_t milliseconds)
{
    if (s_platform.virtualTime) {
        s_platform.virtualNanoseconds += (uint64_t)milliseconds * 1000000u;
        return;
    }
    systemSleepMs(milliseconds);
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

void* platformGetProcAddress(const char* name) { return SDL_GL_GetProcAddress(name); }

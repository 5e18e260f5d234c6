// platform: the few operating-system services the show calls besides SDL and OpenGL.
//
// Message boxes (FLTK on Linux, MessageBoxA on Windows; always echoed to standard error), a pause,
// a monotonic nanosecond counter and a wrapping millisecond tick, UTC time with milliseconds, the
// process's age and peak memory, and GL entry points. Each system's side is in platform_linux.cpp
// or platform_win32.cpp.
//
// Virtual time: an embedding program (tests, the offline renderer) may switch the counter and the
// tick to a caller-driven clock once at start-up, so a run is repeatable frame by frame.
// Headless boxes: the same programs may make every box non-blocking (written to standard error,
// questions answered OK). Neither is a user option of the show.
#pragma once

#include <stdint.h>
#include <string>

// Message box styles and results, as the callers pass and test them.
enum {
    BOX_OK = 0,                 // one OK button
    BOX_OKCANCEL_QUESTION = 33, // OK and Cancel with a question icon
    BOX_WARNING = 48,           // OK with an exclamation icon
};
enum { BOX_RESULT_OK = 1, BOX_RESULT_CANCEL = 2 };

// Shows a modal box and returns BOX_RESULT_OK or BOX_RESULT_CANCEL. The caption and text are also
// written to standard error first, so a report survives a missing display.
int platformMessageBox(const char* text, const char* caption, int style);

// Boxes never block: standard error only, every question answered OK.
void platformSetHeadlessBoxes(bool headless);
bool platformHeadlessBoxes();

// Called before a box is shown (the show leaves full screen there so the box can be seen).
void platformSetBeforeBoxHook(void (*hook)());

// A thread that works ahead for the main thread (decoding pictures at start-up) must never show a
// box: with boxes deferred on it, platformMessageBox and every report throw PlatformBoxDeferred
// (carrying the box's text) before writing anything, and the main thread repeats the job, so each
// report appears once, in load order, from the thread that owns the window. Creator mode defers
// the boxes of a reload the same way, to keep the last good picture instead of ending the show.
struct PlatformBoxDeferred {
    std::string text;
};
void platformDeferBoxesOnThisThread(bool defer);
bool platformBoxesDeferred();

void platformSleepMs(uint32_t milliseconds);

// Ctrl+C and SIGTERM while a blocking dialog is up: from platformCatchEndingSignals on they only
// record their number (platformEndingSignal, else 0) for the dialog's loop to act on; the handlers
// that were there before (SDL's) come back with platformRestoreEndingSignals.
void platformCatchEndingSignals();
int platformEndingSignal();
void platformRestoreEndingSignals();

// Before a second thread allocates large blocks that another thread frees: the C library's
// default raises its thresholds as large blocks are freed, and then keeps a whole freed thread
// heap resident. Fixed thresholds (large blocks from the heap, a free top beyond 16 MB given back)
// bound what stays without the cost of mapping every large block afresh.
void platformBoundHeapRetention();

// High-resolution counter: nanoseconds on a monotonic clock; the frequency is constant.
uint64_t platformCounter();
uint64_t platformCounterFrequency();
// The same monotonic clock in nanoseconds, never virtual: for measuring how long work takes.
uint64_t platformWallNanoseconds();
// Milliseconds since an arbitrary start, wrapping at 2^32.
uint32_t platformTickMs();

// Virtual time: while enabled, the counter and the tick read a clock that only the caller moves.
void platformUseVirtualTime(bool enabled);
bool platformVirtualTime();
void platformSetVirtualNanoseconds(uint64_t nanoseconds);
void platformAdvanceVirtualNanoseconds(uint64_t nanoseconds);

struct PlatformUtcTime {
    int year, month, day;             // month 1-12, day 1-31
    int hour, minute, second, millis; // 0-23, 0-59, 0-60, 0-999
};
PlatformUtcTime platformUtcNow();

// How long this process has run, in nanoseconds; 0 when the system does not say.
uint64_t platformProcessAgeNs();
// Peak resident memory (Windows: peak working set) of the process in bytes; 0 when unknown.
int64_t platformPeakResidentBytes();
// Resident memory now, as the kernel splits it: pages of mapped files (the program and its
// libraries, the GL driver's compiler among them), shared memory (the window's image on X) and
// anonymous memory (heaps, driver buffers). False where the system does not say (Windows).
struct PlatformResidentParts {
    int64_t files, shared, anonymous; // bytes
};
bool platformResidentParts(PlatformResidentParts* parts);

// Whether this thread has a current GL context.
bool platformGlContextCurrent();
// Address of a GL entry point, or null when the driver lacks it. Needs a current GL context.
void* platformGetProcAddress(const char* name);

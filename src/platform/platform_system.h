// platform_system: what platform.cpp asks of the operating system. platform_linux.cpp and
// platform_win32.cpp each define these, with the rest of platform.h that differs between them
// (the wall clock, UTC time, the program's folder, the process's age and peak memory).
#pragma once

#include <stdint.h>

// Whether a modal box can be shown at all (on Linux: an X display can be opened).
bool systemCanShowBox();
// Shows the box; returns BOX_RESULT_OK or BOX_RESULT_CANCEL.
int systemMessageBox(const char* text, const char* caption, int style);
void systemSleepMs(uint32_t milliseconds);

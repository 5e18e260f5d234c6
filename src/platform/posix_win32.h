// posix_win32: the few POSIX calls of the shared code that the Windows C runtime lacks. The
// Windows cross build puts this header in front of every file (tools/windows/program.cmake), so
// the shared code reads the same on both systems; platform_win32.cpp defines the functions.
#pragma once

#include <direct.h> // _mkdir
#include <stdio.h>
#include <stdlib.h>

// A read-only stream over `size` bytes (a temporary file that is deleted when it is closed).
FILE* fmemopen(void* buffer, size_t size, const char* mode);
int setenv(const char* name, const char* value, int overwrite);
int unsetenv(const char* name);
// Windows folders have no permission bits.
inline int mkdir(const char* path, int) { return _mkdir(path); }

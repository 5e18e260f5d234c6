// report: the system's one way of reporting trouble, and the OpenGL error check.
//
// Five forms (caption / body / afterwards):
//   fatal error     "Error in file %s:%i" / caption, empty line, message / exit code 1
//   fatal location  "Error" / "Error in file %s:%i"                      / exit code 1
//   plain error box "Error" / the message                                / returns
//   loader warning  "ERROR at %s:%i" / the message                       / returns
//   OpenGL error    "OpenGL error detected" / "GL_... in file %s:%i"     / exit code 1
// Every box is also written to standard error (platformMessageBox). Source paths are the build's
// paths relative to the source tree. Use the macros: they fill in the reporting file and line.
#pragma once

#include <stddef.h>

[[noreturn]] void reportFatal(const char* file, int line, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
[[noreturn]] void reportFatalLocation(const char* file, int line);
void reportErrorBox(const char* format, ...) __attribute__((format(printf, 1, 2)));
void reportLoaderWarning(const char* file, int line, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
void checkGlError(const char* file, int line);

// The text of the OpenGL error check for an error code, filled with file and line.
void formatGlError(unsigned int code, const char* file, int line, char* out, size_t outSize);

// Tests and fuzzers only: called with the exit code instead of exit(); if it returns, the process
// exits as usual. A fuzzer may throw from it to get back to its entry point.
void reportSetExitHook(void (*hook)(int code));

#define FATAL(...) reportFatal(__FILE__, __LINE__, __VA_ARGS__)
#define FATAL_LOCATION() reportFatalLocation(__FILE__, __LINE__)
#define LOADER_WARNING(...) reportLoaderWarning(__FILE__, __LINE__, __VA_ARGS__)
#define CHECK_GL() checkGlError(__FILE__, __LINE__)

// report: error report forms and the OpenGL error check. See report.h.
#include "platform/report.h"

#include "platform/platform.h"
#include <GL/glew.h> // glGetError
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>

// Buffer sizes of the report forms. Formatting is bounded: an over-long message is cut, never
// written past its buffer.
enum {
    CAPTION_BYTES = 100,
    MESSAGE_BYTES = 5000,
    BODY_BYTES = 5000,
    GL_TEXT_BYTES = 200,
};

static void (*s_exitHook)(int code);

void reportSetExitHook(void (*hook)(int code)) { s_exitHook = hook; }

[[noreturn]] static void endProcess(int code)
{
    if (s_exitHook) s_exitHook(code);
    exit(code);
}

// A report on a thread whose boxes are deferred carries its message instead of showing it.
static std::string formatted(const char* format, va_list args)
{
    char message[MESSAGE_BYTES];
    vsnprintf(message, sizeof message, format, args);
    return message;
}
#define THROW_IF_DEFERRED(format)                                                                    \
    do {                                                                                             \
        if (!platformBoxesDeferred()) break;                                                         \
        va_list deferredArgs;                                                                        \
        va_start(deferredArgs, format);                                                              \
        std::string deferredMessage = formatted(format, deferredArgs);                               \
        va_end(deferredArgs);                                                                        \
        throw PlatformBoxDeferred{deferredMessage};                                                  \
    } while (0)

void reportFatal(const char* file, int line, const char* format, ...)
{
    THROW_IF_DEFERRED(format);
    char* caption = (char*)malloc(CAPTION_BYTES);
    snprintf(caption, CAPTION_BYTES, "Error in file %s:%i", file, line);
    char* message = (char*)malloc(MESSAGE_BYTES);
    va_list args;
    va_start(args, format);
    vsnprintf(message, MESSAGE_BYTES, format, args);
    va_end(args);
    char* body = (char*)malloc(BODY_BYTES);
    snprintf(body, BODY_BYTES, "%s\n\n%s", caption, message);
    platformMessageBox(body, caption, BOX_OK);
    free(message);
    free(body);
    free(caption);
    endProcess(1);
}

void reportFatalLocation(const char* file, int line)
{
    if (platformBoxesDeferred()) throw PlatformBoxDeferred{std::string("Error in file ") + file + ":" + std::to_string(line)};
    char* body = (char*)malloc(CAPTION_BYTES);
    snprintf(body, CAPTION_BYTES, "Error in file %s:%i", file, line);
    platformMessageBox(body, "Error", BOX_OK);
    free(body);
    endProcess(1);
}

void reportErrorBox(const char* format, ...)
{
    THROW_IF_DEFERRED(format);
    char* message = (char*)malloc(MESSAGE_BYTES);
    va_list args;
    va_start(args, format);
    vsnprintf(message, MESSAGE_BYTES, format, args);
    va_end(args);
    platformMessageBox(message, "Error", BOX_OK);
    free(message);
}

void reportLoaderWarning(const char* file, int line, const char* format, ...)
{
    THROW_IF_DEFERRED(format);
    char caption[CAPTION_BYTES];
    snprintf(caption, sizeof caption, "ERROR at %s:%i", file, line);
    char* message = (char*)malloc(MESSAGE_BYTES);
    va_list args;
    va_start(args, format);
    vsnprintf(message, MESSAGE_BYTES, format, args);
    va_end(args);
    platformMessageBox(message, caption, BOX_OK);
    free(message);
}

void formatGlError(unsigned int code, const char* file, int line, char* out, size_t outSize)
{
    const char* text;
    switch (code) {
    case 0x0500: text = "GL_INVALID_ENUM in file %s:%i"; break;
    case 0x0501: text = "GL_INVALID_VALUE in file %s:%i"; break;
    case 0x0502: text = "GL_INVALID_OPERATION in file %s:%i"; break;
    case 0x0503: text = "GL_STACK_OVERFLOW in file %s:%i"; break;
    case 0x0504: text = "GL_STACK_UNDERFLOW in file %s:%i"; break;
    case 0x0505: text = "GL_OUT_OF_MEMORY in file %s:%i"; break;
    default: text = "Unknown GL error in file %s:%i"; break;
    }
    snprintf(out, outSize, text, file, line);
}

void checkGlError(const char* file, int line)
{
    GLenum code = glGetError();
    // Without a current context there is nothing to check (Windows answers GL_INVALID_OPERATION).
    if (code == GL_NO_ERROR || !platformGlContextCurrent()) return;
    char* text = (char*)malloc(GL_TEXT_BYTES);
    formatGlError(code, file, line, text, GL_TEXT_BYTES);
    platformMessageBox(text, "OpenGL error detected", BOX_OK);
    free(text);
    endProcess(1);
}

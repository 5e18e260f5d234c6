// Helpers shared by the tests. See test_support.h.
#include "test_support.h"

#include <GL/glew.h>
#include <SDL.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

void writeTestFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) { perror(path.c_str()); abort(); }
    if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

void writeTestFile(const std::string& path, const std::string& text)
{
    writeTestFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::vector<uint8_t> readTestFile(const std::string& path)
{
    std::vector<uint8_t> bytes;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return bytes;
    uint8_t buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    fclose(f);
    return bytes;
}

std::string readTestText(const std::string& path)
{
    std::vector<uint8_t> bytes = readTestFile(path);
    return std::string(bytes.begin(), bytes.end());
}

bool testsRequireAll()
{
    const char* value = getenv("HALVOREN_REQUIRE_ALL");
    return value && value[0] && strcmp(value, "0") != 0;
}

std::string keyLockPath()
{
    const char* display = getenv("DISPLAY");
    std::string lock = std::string("/tmp/halvoren-keys-") + (display ? display : "") + ".lock";
    for (char& c : lock)
        if (c == ':') c = '_';
    return lock;
}

bool openTestGlWindow(int width, int height)
{
    static int state = 0; // 0 untried, 1 open, -1 failed
    static int openWidth = 0, openHeight = 0;
    if (state == 1 && (width != openWidth || height != openHeight)) {
        if (!SDL_SetVideoMode(width, height, 32, SDL_OPENGL)) return false;
        openWidth = width;
        openHeight = height;
        return true;
    }
    if (state != 0) return state > 0;
    state = -1;
    const char* display = getenv("DISPLAY");
    if (!display || !display[0]) return false;
    setenv("SDL12COMPAT_OPENGL_SCALING", "0", 1);
    if (SDL_Init(SDL_INIT_VIDEO) < 0) return false;
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    if (!SDL_SetVideoMode(width, height, 32, SDL_OPENGL)) return false;
    if (glewInit() != GLEW_OK) return false;
    while (glGetError() != GL_NO_ERROR) {}
    openWidth = width;
    openHeight = height;
    state = 1;
    return true;
}

std::vector<uint8_t> readTestPixels(int x, int y, int width, int height)
{
    std::vector<uint8_t> pixels((size_t)width * height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

std::string sourcePath(const std::string& relative) { return std::string(HALVOREN_SOURCE_DIR) + "/" + relative; }

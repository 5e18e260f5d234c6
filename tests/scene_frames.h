// Helpers for scene tests that draw frames into the shared framebuffer: a short song on the
// virtual audio output at a chosen beat, the scene driven through the driver's frame path, and
// the framebuffer's colour read back (and saved as PNG for looking at).
#pragma once

#include "scenes/demo.h" // drawActiveScenes
#include "scenes/template.h"
#include "test_support.h"
#include "texture_images.h" // testimg::makePng
#include "util/data/data.h"
#include "util/fbo/fbo.h"
#include "util/music/audio.h"
#include "util/music/music.h"
#include "util/texture/texture.h"
#include <dirent.h>
#include <gtest/gtest.h>
#include <string.h>
#include <sys/stat.h>
#include <vector>

namespace sceneframes {

typedef std::vector<uint8_t> Bytes;

static const int WINDOW_WIDTH = 640, WINDOW_HEIGHT = 360;

// The 2 s sine song at 9000 BPM: 300 beats, so every window of the timeline up to 296 lies inside it.
static const float SONG_BPM = 9000.0f;

inline void makeFolders(const char* path)
{
    std::string sofar;
    for (const char* p = path; *p; p++) {
        if (*p == '/' && !sofar.empty()) mkdir(sofar.c_str(), 0755);
        sofar += *p;
    }
    mkdir(sofar.c_str(), 0755);
}

// Copies a file of the source tree's data folder into the scratch folder under the same name.
inline void copyAsset(const char* name)
{
    std::string folder(name);
    folder = folder.substr(0, folder.rfind('/'));
    makeFolders(folder.c_str());
    writeTestFile(name, readTestFile(sourcePath(name)));
}

// Copies a folder of the source tree (its files, one level) into the scratch folder under the same name.
inline void copyFolder(const char* folder)
{
    makeFolders(folder);
    std::string from = sourcePath(folder);
    DIR* dir = opendir(from.c_str());
    ASSERT_NE(dir, nullptr) << from;
    while (struct dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        writeTestFile(std::string(folder) + "/" + entry->d_name, readTestFile(from + "/" + entry->d_name));
    }
    closedir(dir);
}

// The 2 s sine song in the scratch folder as loose files, on the virtual output, clock from zero.
// `midi`, when given, is the song's note data (the Music takes it).
inline Music* startSong(float bpm = SONG_BPM, MidiFile* midi = nullptr)
{
    makeFolders("data/common/music");
    writeTestFile("data/common/music/dubr0lp.mp3", readTestFile(sourcePath("tests/fixtures/sine344_2s.mp3")));
    accessMode = ACCESS_LOOSE;
    audioUseVirtualOutput(true);
    musicResetClock();
    Music* music = new Music();
    music->bpm = bpm;
    if (midi) music->midi = midi;
    music->play();
    return music;
}

// The show's own song at its tempo (140 BPM), for looking at scenes with real music.
inline Music* startRealSong()
{
    makeFolders("data/common/music");
    writeTestFile("data/common/music/dubr0lp.mp3", readTestFile(sourcePath("data/common/music/dubr0lp.mp3")));
    accessMode = ACCESS_LOOSE;
    audioUseVirtualOutput(true);
    musicResetClock();
    Music* music = new Music();
    music->bpm = 140.0f;
    music->play();
    return music;
}

inline void stopSong(Music* music)
{
    delete music;
    audioClose();
    audioUseVirtualOutput(false);
}

// Moves the song to `beat`. The clock only runs forward: go back only after musicResetClock.
inline void setBeat(Music* music, double beat)
{
    double seconds = (beat - music->beatOffset) * 60.0 / music->bpm;
    if (seconds < 0.0) seconds = 0.0;
    audioSetVirtualPosition(music->stream, (uint64_t)(seconds * AUDIO_SAMPLE_RATE + 0.5) * 4);
}

// One frame as the driver draws it at `beat`: clears the window, then the active scenes (with
// `keys` held, none by default), in a window of width x height.
inline void frameAt(Music* music, const std::vector<Template*>& scenes, double beat, KeyState* keys = nullptr,
                    int width = WINDOW_WIDTH, int height = WINDOW_HEIGHT)
{
    static KeyState noKeys;
    setBeat(music, beat);
    music->update();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    drawActiveScenes(scenes, music, keys ? keys : &noKeys, width, height);
}

// RGBA rows as RGB rows, in the same order.
inline Bytes dropAlpha(const Bytes& rgba)
{
    Bytes rgb(rgba.size() / 4 * 3);
    for (size_t i = 0; i < rgba.size() / 4; i++)
        for (int c = 0; c < 3; c++) rgb[i * 3 + c] = rgba[i * 4 + c];
    return rgb;
}

// The framebuffer's first colour texture as RGB rows, bottom row first.
inline Bytes readFbo(Fbo* fbo)
{
    int w = fbo->width, h = fbo->height;
    Bytes rgba((size_t)w * h * 4);
    glBindTexture(GL_TEXTURE_2D, fbo->colorTextures[0]->textureId);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return dropAlpha(rgba);
}

// A framebuffer's first colour attachment as RGB rows, bottom row first.
inline Bytes readFramebuffer(GLuint framebuffer, int width, int height)
{
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer);
    glReadBuffer(GL_COLOR_ATTACHMENT0_EXT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    Bytes rgba((size_t)width * height * 4);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    return dropAlpha(rgba);
}

// The window's back buffer as RGB rows, bottom row first.
inline Bytes readWindow(int width = WINDOW_WIDTH, int height = WINDOW_HEIGHT)
{
    return dropAlpha(readTestPixels(0, 0, width, height));
}

// RGB rows in the opposite order (bottom row first <-> top row first).
inline Bytes flipRows(const Bytes& rgb, int width, int height)
{
    Bytes out(rgb.size());
    size_t row = (size_t)width * 3;
    for (int y = 0; y < height; y++) memcpy(&out[y * row], &rgb[(height - 1 - y) * row], row);
    return out;
}

inline const uint8_t* pixel(const Bytes& rgb, int width, int x, int y) { return &rgb[((size_t)y * width + x) * 3]; }

// Fills the framebuffer with one colour (a picture left there by an earlier scene).
inline void fillFbo(Fbo* fbo, float r, float g, float b)
{
    fbo->bindForDrawing(false);
    glClearColor(r, g, b, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glPopAttrib();
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
}

// Saves RGB rows (bottom row first) as a PNG, top row first, for looking at.
inline void savePicture(const char* path, const Bytes& rgbBottomUp, int width = WINDOW_WIDTH,
                        int height = WINDOW_HEIGHT)
{
    Bytes top = flipRows(rgbBottomUp, width, height);
    testimg::PngSpec spec;
    spec.width = width;
    spec.height = height;
    spec.colorType = 2;
    spec.mode = testimg::FIXED;
    writeTestFile(path, testimg::makePng(spec, top));
}

// Count of distinct colours after dropping the low 3 bits of each channel (how busy a picture is).
inline int colourVariety(const Bytes& rgb)
{
    std::vector<bool> seen(1 << 15, false);
    int count = 0;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
        int key = (rgb[i] >> 3) << 10 | (rgb[i + 1] >> 3) << 5 | (rgb[i + 2] >> 3);
        if (!seen[key]) seen[key] = true, count++;
    }
    return count;
}

} // namespace sceneframes

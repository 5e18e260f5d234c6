// config: the five display settings and "default.cfg".
//
// The file holds one "%s %i" line per setting, written in the order width, height, flags,
// samples, vsync. Reading takes the lines in any order (the last value per key wins), skips
// unknown keys, and stops at the first line that does not convert. A missing file leaves the
// defaults; a file that cannot be written is skipped, and the writer's result says so (the show
// then still plays and tells the viewer the settings were not saved).
#pragma once

enum { SETTINGS_FULLSCREEN_FLAG = (int)0x80000000 }; // SDL_FULLSCREEN, the only bit the dialog sets

struct Settings {
    int width;   // window width in pixels, -1 = not chosen
    int height;  // window height in pixels, -1 = not chosen
    int flags;   // SDL video flags, SETTINGS_FULLSCREEN_FLAG by default
    int samples; // multisample count, 0 = no anti-aliasing; default 4
    int vsync;   // 1 = wait for vertical sync; default 1
};

extern Settings settings; // process-wide, starts at the defaults

Settings defaultSettings();
void readConfig(const char* path = "default.cfg");
// False when the file could not be written whole (errno says why).
bool writeConfig(const char* path = "default.cfg");
// Writes `s` in place of the process-wide settings.
bool writeConfigFrom(const Settings& s, const char* path = "default.cfg");

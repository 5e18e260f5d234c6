// config: "default.cfg". See config.h.
#include "platform/config.h"

#include <stdio.h>
#include <string.h>

enum { CONFIG_WORD_BYTES = 5000 };

Settings defaultSettings() { return Settings{-1, -1, SETTINGS_FULLSCREEN_FLAG, 4, 1}; }

Settings settings = defaultSettings();

void readConfig(const char* path)
{
    FILE* f = fopen(path, "rt");
    if (!f) return;
    static char word[CONFIG_WORD_BYTES];
    int value = 0;
    // The width keeps a long word inside the buffer; its rest then fails to convert and ends the read.
    while (fscanf(f, "%4999s %i", word, &value) == 2) {
        if (!strcmp(word, "width")) settings.width = value;
        else if (!strcmp(word, "height")) settings.height = value;
        else if (!strcmp(word, "flags")) settings.flags = value;
        else if (!strcmp(word, "samples")) settings.samples = value;
        else if (!strcmp(word, "vsync")) settings.vsync = value;
    }
    fclose(f);
}

bool writeConfig(const char* path) { return writeConfigFrom(settings, path); }

bool writeConfigFrom(const Settings& s, const char* path)
{
    FILE* f = fopen(path, "wt");
    if (!f) return false;
    const struct { const char* key; int value; } lines[] = {
        {"width", s.width}, {"height", s.height}, {"flags", s.flags}, {"samples", s.samples}, {"vsync", s.vsync},
    };
    static char line[CONFIG_WORD_BYTES];
    for (const auto& l : lines) {
        snprintf(line, sizeof line, "%s %i\n", l.key, l.value);
        fputs(line, f);
    }
    // A full disk shows only when the buffered lines reach it.
    bool written = !ferror(f);
    return fclose(f) == 0 && written;
}

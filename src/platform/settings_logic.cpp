// settings_logic: the settings dialog's model and handlers. See settings_logic.h.
#include "platform/settings_logic.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char* const FIXED_RESOLUTIONS[] = {
    "640x480",  "720x480",  "720x576",   "800x600",   "1024x768", "1152x864",  "1280x768",
    "1280x800", "1280x960", "1280x1024", "1360x768",  "1440x900", "1600x1200",
};
static const char* const ANTI_ALIASING[] = {"None", "2x", "4x", "8x", "16x"};

void settingsSelectResolution(SettingsDialogModel* model, int index, Settings* s)
{
    if (index < 0 || index >= (int)model->resolutions.size()) return;
    model->resolutionIndex = index;
    const std::string& text = model->resolutions[(size_t)index];
    size_t x = text.find('x');
    s->width = (int)atol(text.substr(0, x).c_str());
    s->height = x == std::string::npos ? 0 : (int)atol(text.c_str() + x + 1);
}

void settingsSelectAntiAliasing(SettingsDialogModel* model, int index, Settings* s)
{
    if (index < 0 || index >= (int)model->antiAliasing.size()) return;
    model->antiAliasingIndex = index;
    const std::string& text = model->antiAliasing[(size_t)index];
    s->samples = text == "None" ? 0 : (int)atol(text.substr(0, text.find('x')).c_str());
}

// Unchecking clears every flag bit, not only the full-screen one.
void settingsSetFullscreen(SettingsDialogModel* model, bool checked, Settings* s)
{
    model->fullscreenChecked = checked;
    s->flags = checked ? (s->flags | SETTINGS_FULLSCREEN_FLAG) : 0;
}

void settingsSetVsync(SettingsDialogModel* model, bool checked, Settings* s)
{
    model->vsyncChecked = checked;
    s->vsync = checked ? 1 : 0;
}

bool settingsSelectSize(SettingsDialogModel* model, int width, int height, Settings* s)
{
    char text[32];
    snprintf(text, sizeof text, "%ix%i", width, height);
    for (size_t i = 0; i < model->resolutions.size(); i++) {
        if (model->resolutions[i] != text) continue;
        settingsSelectResolution(model, (int)i, s);
        return true;
    }
    return false;
}

void settingsDialogInit(SettingsDialogModel* model, const DisplayModes& modes, Settings* s)
{
    *model = SettingsDialogModel{{}, -1, {}, -1, false, false};
    if (modes.none) return;

    if (modes.anySize) {
        for (const char* r : FIXED_RESOLUTIONS) model->resolutions.push_back(r);
        model->resolutionIndex = 0;
    } else {
        // Smallest first; the largest (the display's first mode) wins when no size was chosen.
        char text[32];
        for (size_t i = modes.modes.size(); i-- > 0;) {
            snprintf(text, sizeof text, "%ix%i", modes.modes[i].width, modes.modes[i].height);
            model->resolutions.push_back(text);
        }
        int count = (int)model->resolutions.size();
        model->resolutionIndex = count > 0 ? 0 : -1;
        for (int i = 0; i < count; i++) {
            const DisplayMode& m = modes.modes[(size_t)(count - 1 - i)];
            if (m.width == s->width && m.height == s->height) model->resolutionIndex = i;
        }
        if (s->width == -1 || s->height == -1) model->resolutionIndex = count - 1;
    }

    for (const char* a : ANTI_ALIASING) model->antiAliasing.push_back(a);
    switch (s->samples) {
    case 2: model->antiAliasingIndex = 1; break;
    case 4: model->antiAliasingIndex = 2; break;
    case 8: model->antiAliasingIndex = 3; break;
    case 16: model->antiAliasingIndex = 4; break;
    default: model->antiAliasingIndex = 0; break;
    }
    model->fullscreenChecked = s->flags != 0;
    model->vsyncChecked = s->vsync != 0;

    // Run each handler once, in the dialog's order: resolution, anti-aliasing, full screen, vsync.
    settingsSelectResolution(model, model->resolutionIndex, s);
    settingsSelectAntiAliasing(model, model->antiAliasingIndex, s);
    settingsSetFullscreen(model, model->fullscreenChecked, s);
    settingsSetVsync(model, model->vsyncChecked, s);
}

// settings_logic: what the settings dialog shows and how its controls change the settings,
// without any GUI, so it can be tested without a display. The FLTK view (settings_dialog) only
// mirrors this model and forwards the viewer's actions.
//
// Resolution list: the modes the display reports, smallest first; when any size is allowed, a
// fixed list of thirteen sizes. Anti-aliasing list: "None", "2x", "4x", "8x", "16x".
#pragma once

#include "platform/config.h"
#include <string>
#include <vector>

struct DisplayMode {
    int width, height;
};

// What the display reports, as SDL_ListModes does: no modes at all, any size, or a list with the
// largest mode first.
struct DisplayModes {
    bool none;                      // no full-screen modes: the boxes stay empty
    bool anySize;                   // every size allowed: the thirteen fixed sizes are offered
    std::vector<DisplayMode> modes; // largest first
};

struct SettingsDialogModel {
    std::vector<std::string> resolutions; // entries as shown, "%ix%i"
    int resolutionIndex;                  // selected entry, -1 = none
    std::vector<std::string> antiAliasing;
    int antiAliasingIndex;                // -1 = none
    bool fullscreenChecked;
    bool vsyncChecked;
};

// Fills the model from the modes and the settings, then runs every handler once so the settings
// hold what the dialog shows.
void settingsDialogInit(SettingsDialogModel* model, const DisplayModes& modes, Settings* s);

// Handlers of the controls; each updates the model and the settings.
void settingsSelectResolution(SettingsDialogModel* model, int index, Settings* s);
void settingsSelectAntiAliasing(SettingsDialogModel* model, int index, Settings* s);
void settingsSetFullscreen(SettingsDialogModel* model, bool checked, Settings* s);
void settingsSetVsync(SettingsDialogModel* model, bool checked, Settings* s);

// Selects the resolution entry that reads "<width>x<height>", as the viewer would; false, with
// nothing changed, when the list has no such entry.
bool settingsSelectSize(SettingsDialogModel* model, int width, int height, Settings* s);

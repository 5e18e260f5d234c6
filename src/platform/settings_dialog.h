// settings_dialog: the modal settings window shown before the show opens its own window.
#pragma once

#include "platform/settings_logic.h" // DisplayMode

enum { SETTINGS_RUN = 1, SETTINGS_CANCEL = 2, SETTINGS_SIZE_NOT_LISTED = 3 };

// Shows "Halvoren Sound System" with the resolution and anti-aliasing lists and the full-screen
// and vsync boxes, updating `settings` (config.h) while it is open. Returns SETTINGS_RUN for
// "&Runit" (or Enter) and SETTINGS_CANCEL for "&Nah", Escape or the close box. Needs SDL video
// initialised (for the mode list) and an X display.
// `presetSize` (null = none) is selected in place of what the settings pick; when the list lacks
// it, SETTINGS_SIZE_NOT_LISTED comes back before the dialog opens. With no modes at all the boxes
// stay empty and the settings, that size included, stand.
int showSettingsDialog(const DisplayMode* presetSize = nullptr);

// Without the dialog: a size the settings leave unchosen (-1) becomes the one the dialog would
// preselect; everything else stands as it is. Needs SDL video initialised.
void settingsWithoutDialog();

// settings_dialog: the modal settings window shown before the show opens its own window.
#pragma once

enum { SETTINGS_RUN = 1, SETTINGS_CANCEL = 2 };

// Shows "Halvoren Sound System" with the resolution and anti-aliasing lists and the full-screen
// and vsync boxes, updating `settings` (config.h) while it is open. Returns SETTINGS_RUN for
// "&Runit" (or Enter) and SETTINGS_CANCEL for "&Nah", Escape or the close box. Needs SDL video
// initialised (for the mode list) and an X display.
int showSettingsDialog();

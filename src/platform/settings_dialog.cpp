// settings_dialog: the FLTK view of the settings dialog. The model and every rule live in
// settings_logic; this file lays out the controls and forwards what the viewer does.
//
// Layout is kept in dialog units (a quarter of the average character width across, an eighth of
// the character height down, at the system font's size) and converted to pixels once.
#include "platform/settings_dialog.h"

#include "platform/config.h"
#include "platform/platform.h" // platformCatchEndingSignals
#include "platform/settings_logic.h"
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H> // fl_width, fl_height: the font's size for dialog units
#include <SDL.h>        // SDL_ListModes
#include <stdlib.h>     // exit

enum { COMBO_VISIBLE_DLU = 12 }; // a drop-down list's closed height

// FLTK's Windows headers keep this one to the library itself; the library has it on every system.
void fl_open_display();

static struct {
    SettingsDialogModel model;
    int result;
    Fl_Window* window;
    double unitX, unitY; // pixels per dialog unit
} s_dialog;

static int px(int dlu) { return (int)(dlu * s_dialog.unitX + 0.5); }
static int py(int dlu) { return (int)(dlu * s_dialog.unitY + 0.5); }

static DisplayModes queryDisplayModes()
{
    DisplayModes modes;
    modes.none = false;
    modes.anySize = false;
    SDL_Rect** list = SDL_ListModes(nullptr, SDL_FULLSCREEN | SDL_HWSURFACE);
    if (!list) modes.none = true;
    else if (list == (SDL_Rect**)-1) modes.anySize = true;
    else
        for (int i = 0; list[i]; i++) modes.modes.push_back(DisplayMode{list[i]->w, list[i]->h});
    return modes;
}

static void finish(int result)
{
    s_dialog.result = result;
    s_dialog.window->hide();
}

static void onRun(Fl_Widget*, void*) { finish(SETTINGS_RUN); }
static void onCancel(Fl_Widget*, void*) { finish(SETTINGS_CANCEL); } // also Escape and the close box
static void onResolution(Fl_Widget* w, void*)
{
    settingsSelectResolution(&s_dialog.model, ((Fl_Choice*)w)->value(), &settings);
}
static void onAntiAliasing(Fl_Widget* w, void*)
{
    settingsSelectAntiAliasing(&s_dialog.model, ((Fl_Choice*)w)->value(), &settings);
}
static void onFullscreen(Fl_Widget* w, void*)
{
    settingsSetFullscreen(&s_dialog.model, ((Fl_Check_Button*)w)->value() != 0, &settings);
}
static void onVsync(Fl_Widget* w, void*)
{
    settingsSetVsync(&s_dialog.model, ((Fl_Check_Button*)w)->value() != 0, &settings);
}

// SDL_Init gave SIGINT and SIGTERM handlers that only queue a quit event, which nothing reads
// while the dialog is open: a viewer's Ctrl+C or kill would wait until the show had started.
// While the dialog is up these signals end the program instead: the dialog closes and the
// program exits at once with 128 + the signal's number, as a shell reports a program a signal
// ended, through the usual exit hooks (SDL shuts down). SDL's handlers come back after the dialog.
enum { SIGNAL_EXIT_BASE = 128 };
static const double SIGNAL_CHECK_SECONDS = 0.1; // the longest a signal can wait to be seen

// Fl_Choice treats '/', '&', '_' and '\' in item texts as menu syntax; resolution texts have none.
static void fillChoice(Fl_Choice* choice, const std::vector<std::string>& items, int selected)
{
    for (const std::string& item : items) choice->add(item.c_str());
    if (selected >= 0) choice->value(selected);
}

void settingsWithoutDialog()
{
    if (settings.width != -1 && settings.height != -1) return;
    SettingsDialogModel model;
    Settings preselected = settings;
    settingsDialogInit(&model, queryDisplayModes(), &preselected);
    settings.width = preselected.width;
    settings.height = preselected.height;
}

int showSettingsDialog(const DisplayMode* presetSize)
{
    DisplayModes modes = queryDisplayModes();
    settingsDialogInit(&s_dialog.model, modes, &settings);
    // The list would quietly replace a size it lacks; refuse it before any window opens instead.
    if (presetSize && !modes.none &&
        !settingsSelectSize(&s_dialog.model, presetSize->width, presetSize->height, &settings))
        return SETTINGS_SIZE_NOT_LISTED;

    platformCatchEndingSignals();
    fl_open_display();
    fl_font(FL_HELVETICA, FL_NORMAL_SIZE);
    const char* sample = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    s_dialog.unitX = fl_width(sample) / 52.0 / 4.0;
    s_dialog.unitY = fl_height() / 8.0;

    // Centred on the primary screen, so a small screen still shows all of it.
    int screenX, screenY, screenW, screenH;
    Fl::screen_xywh(screenX, screenY, screenW, screenH, 0);
    const int width = px(135), height = py(55);
    Fl_Window window(screenX + (screenW - width) / 2, screenY + (screenH - height) / 2, width, height,
                     "Halvoren Sound System");
    s_dialog.window = &window;
    s_dialog.result = SETTINGS_CANCEL;
    window.callback(onCancel);

    // Created in the dialog's order, which is also the Tab order.
    Fl_Box resolutionLabel(px(5), py(5), px(65), py(10), "Choose resolution");
    resolutionLabel.align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    Fl_Choice resolution(px(75), py(5), px(55), py(COMBO_VISIBLE_DLU));
    fillChoice(&resolution, s_dialog.model.resolutions, s_dialog.model.resolutionIndex);
    resolution.callback(onResolution);
    Fl_Box antiAliasingLabel(px(5), py(20), px(65), py(10), "Anti-aliasing");
    antiAliasingLabel.align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    Fl_Choice antiAliasing(px(75), py(20), px(55), py(COMBO_VISIBLE_DLU));
    fillChoice(&antiAliasing, s_dialog.model.antiAliasing, s_dialog.model.antiAliasingIndex);
    antiAliasing.callback(onAntiAliasing);
    Fl_Return_Button run(px(5), py(35), px(30), py(15), "&Runit");
    run.callback(onRun);
    Fl_Button cancel(px(40), py(35), px(30), py(15), "&Nah");
    cancel.callback(onCancel);
    Fl_Check_Button fullscreen(px(75), py(35), px(55), py(10), "&Fullscreen");
    fullscreen.value(s_dialog.model.fullscreenChecked);
    fullscreen.callback(onFullscreen);
    Fl_Check_Button vsync(px(75), py(45), px(55), py(10), "&Vsync enable");
    vsync.value(s_dialog.model.vsyncChecked);
    vsync.callback(onVsync);
    window.end();
    window.set_modal();
    window.show();
    run.take_focus();

    while (window.shown() && !platformEndingSignal()) Fl::wait(SIGNAL_CHECK_SECONDS);
    if (platformEndingSignal()) {
        window.hide();
        Fl::flush();
        exit(SIGNAL_EXIT_BASE + platformEndingSignal());
    }
    platformRestoreEndingSignals();
    // Let the window really go away before SDL opens its own.
    Fl::flush();
    Fl::check();
    s_dialog.window = nullptr;
    return s_dialog.result;
}

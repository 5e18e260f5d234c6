// devmode: the player's creator mode (--dev) around a running Demo: the transport (transport.h)
// with the music following, the on-screen panel, and hot reload of shaders and images.
//
// main routes to it and nothing more: devModeStart once after the Demo has started, every key
// press to devModeKey first (a key it takes goes no further), and devModeFrame in place of the
// Demo's renderFrame.
//   Space pause / resume      Page Up / Down  a bar back / forward (Shift: 16 beats)
//   Home  beat 0              .  one frame forward while paused
//   L     loop start, then end (a third L starts a new loop)   Backspace  no loop
//   F1    panel on / off      F5  reload every shader program and image now
// The clocks a scene reads follow the song: the platform's counter (and so the millisecond tick
// and the frame clock) is virtual time set from the song position each frame, so a pause holds
// them all and `.` advances them by one frame. While paused the last picture is shown again
// without drawing the scenes. A seek or loop wrap is demoRewind: every scene starts fresh there.
//
// The panel is drawn with the show's bitmap font over the window's picture after everything a
// tool could capture, never into the shared framebuffer.
// Reload: only when playing loose files (--data DIR); from the archive F5 says there is nothing
// to reload. A program that does not compile or link, or an image that does not decode, keeps
// the last good one; the reason goes to the panel and standard error. Models and ".raw" pictures
// are not reloaded. With --data, a change under DIR/data reloads by itself.
#pragma once

#include <string>

class Demo;

// Before the Demo is built: a shader program or picture that does not load becomes a magenta
// stand-in (reported on the panel and standard error) instead of a fatal report, since a reload
// can mend it. Models, ".raw" pictures, the song and its MIDI file stay fatal: they never reload.
void devModeBeforeLoad();
// `dataDirectory` is --data's folder, or empty when playing the archive. Call after demo->start()
// with virtual time switched on before the Demo was built (platformUseVirtualTime).
void devModeStart(Demo* demo, const std::string& dataDirectory);
// A key press (SDL 1.2 symbol and modifier state); true when creator mode took it.
bool devModeKey(int key, int modifiers);
// One frame: the transport's seek, pause, step or loop wrap, then the picture and the panel.
void devModeFrame();

// The panel's status lines for a moment of the show (no GL): beat, bar, seconds and paused or
// playing; the rows; the frame time; the loop. The last reload message follows them on the panel.
struct DevPanelFacts {
    double beat, seconds;
    std::string rows;              // the active rows' names
    float medianMs, worstMs;       // frame time over the last second (0: none yet)
    int loopMarks;                 // as Transport
    double loopStart, loopEnd;
    bool paused;
};
std::string devPanelText(const DevPanelFacts& facts);

// transport: creator mode's position, pause, loop, seek and step, in beats of the music clock.
//
// No GUI, GL, audio or clock calls: the caller tells it the keys pressed and the clock of each
// frame, and reads back what to do (a seek to make, whether the song is held, a frame to step).
// The glue that turns that into audio and scene calls is devmode; tests drive this in virtual time.
//
// Rules: a seek lands in [0, the song's last bar], never past the end; a loop needs both ends
// and wraps to its start as soon as the clock reaches its end (or the song stops inside it); an
// end marked before the start swaps the two; a loop shorter than TRANSPORT_MIN_LOOP_BEATS is not
// taken (the second mark waits). A step only happens while paused.
#pragma once

enum {
    TRANSPORT_BAR_BEATS = 4,   // Page Up / Page Down
    TRANSPORT_LONG_BEATS = 16, // with Shift
};
static const double TRANSPORT_MIN_LOOP_BEATS = 0.25;
static const double TRANSPORT_STEP_SECONDS = 1.0 / 60.0; // the frame `.` advances

enum TransportKey {
    TRANSPORT_PAUSE,         // Space: pause or resume
    TRANSPORT_BACK,          // Page Up: a bar back
    TRANSPORT_FORWARD,       // Page Down: a bar forward
    TRANSPORT_LONG_BACK,     // Shift + Page Up: 16 beats back
    TRANSPORT_LONG_FORWARD,  // Shift + Page Down: 16 beats forward
    TRANSPORT_HOME,          // Home: beat 0
    TRANSPORT_STEP,          // `.`: one frame forward while paused
    TRANSPORT_LOOP_MARK,     // L: loop start, then loop end, then a new start
    TRANSPORT_LOOP_CLEAR,    // Backspace: no loop
};

struct Transport {
    double songEndBeat;    // the clock at the song's end
    double beat;           // the clock of the last frame (or the seek target once applied)
    bool paused;           // the song and every clock are held
    int loopMarks;         // 0 no loop, 1 start marked, 2 start and end
    double loopStart;      // beats, valid from loopMarks 1
    double loopEnd;        // beats, valid at loopMarks 2
    bool seekDue;          // a seek to seekBeat waits for the driver
    double seekBeat;
    int stepsDue;          // frames to advance while paused
};

void transportInit(Transport* t, double songEndBeat);
// A transport key pressed (the driver reads the modifier and picks the long forms).
void transportPress(Transport* t, TransportKey key);
// A seek to `beat`, clamped into the song; it replaces any seek not yet applied.
void transportSeek(Transport* t, double beat);
// Once per frame before drawing, with the clock now and whether the song has stopped playing:
// records the clock and, when the loop's end is reached, asks for the wrap to its start.
void transportFrame(Transport* t, double clockBeat, bool songStopped);
// The driver has made the seek: the clock is now `beat`.
void transportSeekDone(Transport* t, double beat);
// Whether the picture must be drawn this frame (playing, a step or a seek); else the last one stays.
bool transportDraws(const Transport* t);

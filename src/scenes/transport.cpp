// transport: creator mode's position, pause, loop, seek and step. See transport.h.
#include "scenes/transport.h"

void transportInit(Transport* t, double songEndBeat)
{
    *t = Transport{};
    t->songEndBeat = songEndBeat > 0.0 ? songEndBeat : 0.0;
}

void transportSeek(Transport* t, double beat)
{
    // The last bar at most: a seek onto the very end would end the show at once.
    double last = t->songEndBeat - TRANSPORT_BAR_BEATS;
    if (beat > last) beat = last;
    if (!(beat >= 0.0)) beat = 0.0;
    t->seekDue = true;
    t->seekBeat = beat;
}

// A relative seek counts from a seek still waiting, so two quick presses add up.
static void seekBy(Transport* t, double beats) { transportSeek(t, (t->seekDue ? t->seekBeat : t->beat) + beats); }

static void markLoop(Transport* t)
{
    if (t->loopMarks != 1) {
        t->loopMarks = 1;
        t->loopStart = t->beat;
        return;
    }
    double start = t->loopStart, end = t->beat;
    if (end < start) {
        start = end;
        end = t->loopStart;
    }
    if (end - start < TRANSPORT_MIN_LOOP_BEATS) return;
    t->loopStart = start;
    t->loopEnd = end;
    t->loopMarks = 2;
}

void transportPress(Transport* t, TransportKey key)
{
    switch (key) {
    case TRANSPORT_PAUSE: t->paused = !t->paused; break;
    case TRANSPORT_BACK: seekBy(t, -TRANSPORT_BAR_BEATS); break;
    case TRANSPORT_FORWARD: seekBy(t, TRANSPORT_BAR_BEATS); break;
    case TRANSPORT_LONG_BACK: seekBy(t, -TRANSPORT_LONG_BEATS); break;
    case TRANSPORT_LONG_FORWARD: seekBy(t, TRANSPORT_LONG_BEATS); break;
    case TRANSPORT_HOME: transportSeek(t, 0.0); break;
    case TRANSPORT_STEP:
        if (t->paused) t->stepsDue++;
        break;
    case TRANSPORT_LOOP_MARK: markLoop(t); break;
    case TRANSPORT_LOOP_CLEAR: t->loopMarks = 0; break;
    }
}

void transportFrame(Transport* t, double clockBeat, bool songStopped)
{
    t->beat = clockBeat;
    if (t->seekDue || t->loopMarks != 2) return;
    if (clockBeat >= t->loopEnd || (songStopped && !t->paused)) transportSeek(t, t->loopStart);
}

void transportSeekDone(Transport* t, double beat)
{
    t->seekDue = false;
    t->beat = beat;
}

bool transportDraws(const Transport* t) { return !t->paused || t->stepsDue > 0 || t->seekDue; }

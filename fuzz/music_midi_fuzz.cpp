// Fuzz target for the MIDI parser: parse bytes in memory, then run the note queries over every
// parsed track at a few music times. Parse failures return a reason and never exit.
#include "util/music/midi.h"

#include <stddef.h>
#include <stdint.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > MIDI_MAX_FILE_BYTES) return 0;
    MidiFile midi;
    MidiError error;
    if (!parseMidi(data, size, &midi, &error)) return 0;
    static const float NOW[] = {0.0f, 0.5f, 1.0f, 2.25f, 64.0f, 1e9f};
    for (size_t i = 0; i < midi.tracks.size(); i++) {
        MidiTrack& track = midi.tracks[i];
        // A named track is found at its own index or at an earlier one of the same name.
        if (!track.name.empty() && findMidiTrack(midi, track.name.c_str()) > (int)i) __builtin_trap();
        if (trackNoteLUT(track).size() != track.notes.size()) __builtin_trap();
        for (float now : NOW) {
            trackNoteTriggers(track, now);
            trackNoteStates(track, now);
        }
    }
    return 0;
}

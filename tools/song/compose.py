#!/usr/bin/python3
"""dubr0lp: the Halvoren soundtrack, composed as code.

A dubby breakbeat track in A minor at 140 BPM, 340 beats long, whose sections follow
the show's timeline (see SECTIONS below). This program writes:
  - the show's MIDI file (format 1, 480 ticks per quarter, no program changes);
  - the fluidsynth command file that picks each channel's instrument and effect sends;
  - with --click, a click-track variant (a sine blip on each beat, a hi-hat on each
    off-beat) that goes through the same render chain so the audio/MIDI alignment can be
    measured; a short one is kept as a test fixture for the show's own decoder.

Usage: compose.py OUT.mid OUT_commands.txt [--click CLICK.mid [--click-beats N]]
       compose.py --plan       prints the section plan
       compose.py --samples    prints the song's length in samples at 44100 Hz
Everything is deterministic: the few "random" choices come from a fixed LCG.
"""
import sys

import smf

TEMPO_US = 428571          # microseconds per quarter: 60e6 / 428571 = 140.00 BPM after rounding
SONG_BEATS = 340           # the song (and every track) ends here; the show ends with it
SOUNDFONT_ID = 1           # the only sound font fluidsynth loads

# Keyboard tracks: the 3D keyboard has 61 keys, MIDI notes 24..84.
KEYBOARD_TRACKS = ("Piano", "TAL-BassLine 02", "Ravelead")
KEYBOARD_LOW, KEYBOARD_HIGH = 24, 84
MAX_DISTINCT = {"Piano": 29, "TAL-BassLine 02": 26}

# Where the music changes and why (beats). Printed by --plan.
SECTIONS = [
    (0, 40, "intro: pad, dub piano, glitch stutters on beats 2-3 of each 8, 9.5-10 and 14-14.5"),
    (40, 72, "beat comes in: breakbeat, bass, skank; 808 + crash on the first two beats of each 8"),
    (72, 104, "build: half-time, lead teaser, snare roll and noise riser, gap at 103.5"),
    (104, 136, "drop: full break, rolling bass, lead hook, house piano, accent every bar"),
    (136, 168, "keyboard 1: piano, bass and lead as a trio over light drums"),
    (168, 172, "break: held saw bass and sine sub alone for the oscilloscope"),
    (172, 200, "text mode: square-wave arpeggios, full break and hook from 184"),
    (200, 216, "keyboard 2: trio again over the lifted progression"),
    (216, 232, "spectrum: everything at once, high arpeggios, ride, riser"),
    (232, 248, "dance: four on the floor, 808 claps and cowbell, disco bass"),
    (248, 296, "greetings: kick on even beats, pad swells into them; break 258-264"),
    (296, 340, "outro: dub echoes, drums thin out, last chord at 320, silent by 337"),
]

# Chords: bass root (MIDI note), piano voicing, chord intervals (root, third, fifth, seventh).
CHORDS = {
    "Am": (33, [57, 60, 64, 67, 71], (0, 3, 7, 10)),
    "F":  (29, [53, 57, 60, 64, 67], (0, 4, 7, 11)),
    "Dm": (38, [50, 53, 57, 60, 64], (0, 3, 7, 10)),
    "Em": (40, [52, 55, 59, 62, 67], (0, 3, 7, 10)),
    "C":  (36, [55, 59, 60, 64, 67], (0, 4, 7, 11)),
    "G":  (31, [55, 59, 62, 67, 69], (0, 4, 7, 10)),
    "E":  (40, [52, 56, 59, 62, 64], (0, 4, 7, 10)),
}
PROG_A = ["Am", "F", "Dm", "Em"]
PROG_B = ["Am", "F", "C", "G"]
BAR_CHORDS = (
    ["Am", "Am", "F", "F", "Dm", "Dm", "Em", "Em", "Am", "Am"]      # 0-9    intro
    + PROG_A * 2                                                      # 10-17  beat in
    + PROG_A + ["Dm", "Dm", "E", "E"]                                 # 18-25  build
    + PROG_B * 2                                                      # 26-33  drop
    + PROG_A * 2                                                      # 34-41  keyboard 1
    + ["Am"]                                                          # 42     break
    + ["Am", "F", "G"] + PROG_A                                       # 43-49  text mode
    + PROG_B                                                          # 50-53  keyboard 2
    + PROG_A                                                          # 54-57  spectrum
    + PROG_B                                                          # 58-61  dance
    + PROG_B * 2 + ["Am", "F", "Dm", "E"]                             # 62-73  greetings
    + PROG_A + ["Am", "F", "Am", "Am", "Am", "Am", "Am"]              # 74-84  outro
)
assert len(BAR_CHORDS) * 4 == SONG_BEATS

# Channel, instrument (bank, program of FluidR3_GM), volume, pan, reverb and chorus sends.
PARTS = [
    # name               ch bank prog vol pan rev cho
    ("Piano",            0, 0,   1,   127, 56, 40, 0),    # Bright Yamaha Grand
    ("TAL-BassLine 02",  1, 0,   38,  112, 64, 0,  0),    # Synth Bass 1
    ("Ravelead",         2, 0,   81,  78,  70, 45, 30),   # Saw Wave
    ("Pad",              3, 0,   94,  48,  64, 70, 60),   # Halo Pad (Warm Pad carries a DC offset)
    ("Skank",            4, 0,   4,   84,  42, 35, 50),   # Rhodes EP
    ("Piano Dub L",      5, 0,   1,   104, 16, 75, 0),
    ("Piano Dub R",      6, 0,   1,   104, 112, 75, 0),
    ("Lead Dub L",       7, 0,   81,  66,  22, 80, 20),
    ("Lead Dub R",       8, 0,   81,  66,  106, 80, 20),
    ("beats",            9, 128, 16,  122, 64, 25, 0),    # Power drum kit
    ("Sub",              10, 8,  80,  78,  64, 0,  0),    # Sine Wave
    ("Riser",            11, 0,  122, 0,   64, 60, 0),    # Sea Shore, volume automated
    ("Noise",            12, 9,  125, 84,  64, 30, 0),    # Burst Noise
    ("Chip",             13, 0,  80,  64,  84, 45, 20),   # Square Lead
    ("Reverse",          14, 0,  119, 112, 64, 40, 0),    # Reverse Cymbal
    ("808",              15, 128, 25, 104, 64, 10, 0),    # TR-808 kit
]

# General MIDI drum notes.
KICK, RIM, SNARE, CLAP = 36, 37, 38, 39
TOM_LOW, CLOSED_HAT, TOM_MID, TOM_HI, OPEN_HAT = 41, 42, 45, 48, 46
CRASH, RIDE, COWBELL, MARACAS = 49, 51, 56, 70
STEP_VELOCITY = {"X": 118, "x": 96, "o": 66, "g": 46}


class Lcg:
    """Small deterministic generator: same numbers on every machine and Python."""

    def __init__(self, seed):
        self.state = seed

    def next(self):
        self.state = (self.state * 1103515245 + 12345) & 0x7FFFFFFF
        return self.state / 0x7FFFFFFF

    def spread(self, amount):
        return (self.next() * 2 - 1) * amount


rnd = Lcg(0x4A1F)
T = {}        # tracks by name


def chord(bar):
    return CHORDS[BAR_CHORDS[bar]]


def tone(bar, degree):
    """Bass tone of a bar's chord: r root, 3 third, 5 fifth, 7 seventh, 8 octave."""
    root, _, iv = chord(bar)
    return root + {"r": 0, "3": iv[1], "5": iv[2], "7": iv[3], "8": 12}[degree]


def drums(track, bar, patterns, scale=1.0, swing=0.0):
    """patterns: {note: 16-step string}; X x o g are velocities, '.' is silence."""
    for note, steps in patterns.items():
        assert len(steps) == 16, steps
        for i, c in enumerate(steps):
            if c == ".":
                continue
            beat = bar * 4 + i * 0.25 + (swing if i % 2 else 0.0)
            T[track].note(beat, 0.2, note, STEP_VELOCITY[c] * scale + rnd.spread(5))


def stutter(track, start, count, step, pitches, vel, decay=1.0, gate=0.7):
    for i in range(count):
        p = pitches[i % len(pitches)]
        T[track].note(start + i * step, step * gate, p, vel * decay ** i)


def ramp(track, b0, b1, v0, v1, step=0.125, ctl=7):
    n = max(1, int(round((b1 - b0) / step)))
    for i in range(n + 1):
        T[track].control(b0 + (b1 - b0) * i / n, ctl, v0 + (v1 - v0) * i / n)


def echo(src, first, last, delay=0.75, feedback=0.78, repeats=4, keep=None):
    """Dub delay written out as notes: ping-pong between the two dub tracks of src."""
    left, right = {"Piano": ("Piano Dub L", "Piano Dub R"),
                   "Ravelead": ("Lead Dub L", "Lead Dub R")}[src]
    for beat, length, pitch, vel in list(T[src].notes):
        if not (first <= beat < last) or (keep and not keep(beat)):
            continue
        for k in range(1, repeats + 1):
            when = beat + k * delay
            if when >= SONG_BEATS - 4:
                break
            T[left if k % 2 else right].note(when, min(length, delay * 0.9), pitch,
                                              vel * feedback ** k)


def chord_notes(track, beat, length, pitches, vel, spread=4):
    for p in pitches:
        T[track].note(beat, length, p, vel + rnd.spread(spread))


# >> drum patterns
BREAK_1 = {KICK: "X.X.......XX....", SNARE: "....X..g.g..X..o", CLOSED_HAT: "x.o.x.o.x.o.x.o."}
BREAK_2 = {KICK: "X.X.......X..x..", SNARE: "g...X..g.g....X.", CLOSED_HAT: "x.o.x.o.x.oxx.o."}
BREAK_3 = {KICK: "X.X.......XX....", SNARE: "....X..g.g..X..o", CLOSED_HAT: "x.o.x.o.x.o.x.o.",
           RIDE: "x...x...x...x..."}
BREAK_4 = {KICK: "X.X.......X...x.", SNARE: "g...X..g.g..X.X.", CLOSED_HAT: "x.o.x.o.x.oxx.o.",
           RIDE: "x...x...x...x..."}
HALF = {KICK: "X.........X.....", SNARE: "........X.......", CLOSED_HAT: "o.g.o.g.o.g.o.gg"}
FLOOR = {KICK: "X...X...X...X...", CLOSED_HAT: "x..ox..ox..ox..o", OPEN_HAT: "..X...X...X...X."}
GREET_1 = {KICK: "X.....x.X.......", SNARE: "....X.......X...", CLOSED_HAT: "x.oxx.oxx.oxx.ox"}
GREET_2 = {KICK: "X.....x.X.x.....", SNARE: "....X..g....X..g", CLOSED_HAT: "x.oxx.oxx.oxx.ox"}
TOM_FILL = {TOM_HI: "........X.x.....", TOM_MID: "............X.x.", TOM_LOW: "..............Xx"}


def breakbeat(bar, ride=False, scale=1.0):
    pats = (BREAK_3, BREAK_4) if ride else (BREAK_1, BREAK_2)
    drums("beats", bar, pats[bar % 2], scale)


def fill(bar, scale=1.0):
    """Last half bar turns into a tom run."""
    base = dict(BREAK_2)
    base = {k: v[:8] + "........" for k, v in base.items()}
    drums("beats", bar, base, scale)
    drums("beats", bar, TOM_FILL, scale)


def crash(beat, vel=110):
    T["beats"].note(beat, 1.0, CRASH, vel)


def boom(beat, vel=120, length=1.5):
    T["808"].note(beat, length, KICK, vel)


# >> bass, piano and lead figures (beat in bar, length, what)
BASS_DUB = [(0.0, 0.75, "r"), (1.0, 0.25, "r"), (1.5, 0.5, "8"), (2.0, 0.4, "r"),
            (2.5, 0.75, "5"), (3.25, 0.25, "r"), (3.5, 0.5, "8")]
BASS_ROLL = [(0.0, 0.5, "r"), (0.75, 0.25, "r"), (1.0, 0.25, "8"), (1.5, 0.25, "r"),
             (1.75, 0.5, "5"), (2.5, 0.25, "r"), (2.75, 0.25, "8"), (3.0, 0.5, "r"),
             (3.5, 0.25, "7"), (3.75, 0.25, "8")]
BASS_TRIO = [(0.0, 1.0, "r"), (1.5, 0.5, "5"), (2.0, 0.5, "8"), (2.5, 0.5, "7"),
             (3.0, 0.5, "5"), (3.5, 0.5, "3")]
BASS_DISCO = [(i * 0.5, 0.25 if i % 2 == 0 else 0.45, "r" if i % 2 == 0 else "8")
              for i in range(8)]
HOUSE_STABS = [(0.0, 0.4), (0.75, 0.4), (1.5, 0.6), (2.5, 0.4), (3.0, 0.6)]
ARP_ORDER = [0, 2, 4, 2, 1, 3, 4, 3]


def bassline(bar, figure, vel=100):
    for pos, length, deg in figure:
        accent = 12 if pos == 0.0 else 0
        T["TAL-BassLine 02"].note(bar * 4 + pos, length, tone(bar, deg),
                                  vel - 12 + accent + rnd.spread(4))


def sub(bar, length=4.0, vel=90):
    T["Sub"].note(bar * 4, length, chord(bar)[0], vel)


def pad(bar, bars=1, vel=70):
    chord_notes("Pad", bar * 4, bars * 4, chord(bar)[1], vel, spread=0)


def skank(bar, vel=70):
    voicing = [p + 12 for p in chord(bar)[1][1:4]]
    for pos in (0.5, 1.5, 2.5, 3.5):
        chord_notes("Skank", bar * 4 + pos, 0.22, voicing, vel)


def house_piano(bar, vel=100):
    for pos, length in HOUSE_STABS:
        chord_notes("Piano", bar * 4 + pos, length, chord(bar)[1][1:], vel - (6 if pos else 0))


def piano_arp(bar, vel=94, with_root=True):
    voicing = chord(bar)[1]
    if with_root:
        T["Piano"].note(bar * 4, 2.0, chord(bar)[0] + 12, vel)
    for i, idx in enumerate(ARP_ORDER):
        T["Piano"].note(bar * 4 + i * 0.5, 0.5, voicing[idx], vel - 8 + (8 if i % 2 == 0 else 0))


def dub_stab(beat, bar, vel=96, length=0.3):
    chord_notes("Piano", beat, length, chord(bar)[1][1:], vel)


# Hook phrases, two bars each: (beat, length, note).
HOOK_AF = [(0.0, 0.5, 76), (0.75, 0.25, 74), (1.0, 0.5, 76), (1.5, 0.75, 79), (2.5, 0.75, 81),
           (3.25, 0.25, 79), (3.5, 0.5, 76), (4.0, 1.0, 72), (5.0, 0.5, 74), (5.5, 0.75, 76),
           (6.5, 0.5, 69), (7.0, 0.5, 72), (7.5, 0.5, 74)]
HOOK_DE = [(0.0, 0.5, 77), (0.75, 0.25, 76), (1.0, 0.5, 74), (1.5, 0.75, 72), (2.5, 0.75, 74),
           (3.25, 0.25, 76), (3.5, 0.5, 79), (4.0, 1.5, 76), (5.5, 0.5, 74), (6.0, 0.5, 71),
           (6.5, 0.5, 67), (7.0, 0.5, 71), (7.5, 0.5, 74)]
HOOK_CG = [(0.0, 0.5, 79), (0.75, 0.25, 76), (1.0, 0.5, 79), (1.5, 0.75, 84), (2.5, 0.75, 83),
           (3.25, 0.25, 79), (3.5, 0.5, 76), (4.0, 1.0, 74), (5.0, 0.5, 71), (5.5, 0.75, 74),
           (6.5, 0.5, 79), (7.0, 0.5, 76), (7.5, 0.5, 74)]
HOOK_CADENCE = [(0.0, 0.5, 77), (0.75, 0.25, 76), (1.0, 0.5, 74), (1.5, 0.75, 72),
                (2.5, 1.5, 74), (4.0, 0.75, 76), (4.75, 0.25, 80), (5.0, 0.75, 83),
                (6.0, 0.5, 80), (6.5, 0.5, 76), (7.0, 1.0, 74)]


def hook(track, bar, phrase, vel=96):
    for pos, length, note in phrase:
        T[track].note(bar * 4 + pos, length, note, vel - (10 if pos % 1 else 0) + rnd.spread(4))


def hook_for(bar):
    pair = (BAR_CHORDS[bar], BAR_CHORDS[bar + 1])
    return {("Am", "F"): HOOK_AF, ("Dm", "Em"): HOOK_DE, ("C", "G"): HOOK_CG,
            ("Dm", "E"): HOOK_CADENCE}[pair]


def chip_arp(bar, octave=0, vel=64, step=0.25):
    voicing = chord(bar)[1]
    notes = [voicing[0], voicing[2], voicing[4], voicing[2] + 12,
             voicing[1] + 12, voicing[4], voicing[3], voicing[1]]
    n = int(4 / step)
    for i in range(n):
        p = notes[i % len(notes)] + 12 * octave
        T["Chip"].note(bar * 4 + i * step, step * 0.6, p, vel - (12 if i % 4 else 0))


def reverse_into(beat, length=2.0, vel=96):
    """Reverse cymbal cut off exactly on the beat it leads into."""
    T["Reverse"].note(beat - length, length, 60, vel)


# >> sections
def intro():
    for bar in range(0, 10, 2):
        pad(bar, 2, vel=76)
    ramp("Pad", 0, 16, 20, 58, step=0.5)
    # Glitch accents where the logo glitches: beats 2-3 of every 8, 9.5-10, 14-14.5.
    bleeps = [81, 93, 76, 88, 81, 69, 93, 86]
    for start in range(2, 40, 8):
        stutter("Chip", start, 8, 0.125, bleeps[start % 5:] + bleeps[:start % 5], 104, 0.86)
        stutter("Noise", start, 8, 0.125, [60, 72], 92, 0.82, gate=0.5)
    reverse_into(9.5, 2.0, 90)
    stutter("Noise", 9.5, 8, 0.0625, [60, 67, 72, 79], 122, 0.93, gate=0.6)
    stutter("Chip", 9.5, 8, 0.0625, [93, 81, 96, 84], 110, 0.95)
    T["808"].note(9.5, 0.5, KICK, 112)
    stutter("Noise", 14, 4, 0.125, [55, 48], 108, 0.85)
    stutter("Chip", 14, 4, 0.125, [57, 45, 57, 45], 100, 0.9)
    # Dub piano from bar 4, sub from bar 4.
    for bar in range(4, 10):
        dub_stab(bar * 4 + 1.5, bar, vel=90)
        if bar % 2:
            dub_stab(bar * 4 + 3.0, bar, vel=82, length=0.25)
        sub(bar, vel=72)
    echo("Piano", 16, 40, repeats=4)
    for bar in range(6, 8):
        drums("beats", bar, {RIM: "............x...", MARACAS: "gogogogogogogogo"})
    # Build into the beat.
    for bar in (8, 9):
        drums("beats", bar, {KICK: "X.......X.......", MARACAS: "gogogogogogogogo"})
    for i in range(8):
        T["beats"].note(32 + i * 0.5, 0.2, SNARE, 46 + i * 4)
    for i in range(16):
        T["beats"].note(36 + i * 0.25, 0.2, SNARE, 70 + i * 3)
    ramp("Riser", 32, 40, 0, 120)
    T["Riser"].note(32, 8, 60, 100)
    reverse_into(40, 2.0, 100)


def beat_in():
    for bar in range(10, 18):
        if bar == 17:
            fill(bar)
        else:
            breakbeat(bar)
        beat = bar * 4
        if bar % 2 == 0:                 # first two beats of every eight: the shake
            crash(beat, 118)
            boom(beat, 124, 1.0)
            boom(beat + 1, 106, 1.0)
            sub(bar, vel=112)
        else:
            T["beats"].note(beat, 0.2, OPEN_HAT, 90)
            sub(bar, vel=92)
        bassline(bar, BASS_DUB)
        skank(bar, vel=66)
        pad(bar, vel=58)
        dub_stab(beat + 1.5, bar, vel=94)
        if bar % 2:
            dub_stab(beat + 3.5, bar, vel=86, length=0.25)
    echo("Piano", 40, 72, repeats=3, keep=lambda b: b % 8 == 1.5 or b % 8 == 7.5)


def build():
    for bar in range(18, 22):
        drums("beats", bar, HALF, 0.9)
        T["TAL-BassLine 02"].note(bar * 4, 2.5, tone(bar, "r"), 96)
        T["TAL-BassLine 02"].note(bar * 4 + 2.5, 1.25, tone(bar, "8"), 84)
        sub(bar, vel=84)
        pad(bar, vel=66)
    ramp("Pad", 72, 88, 48, 70, step=0.5)
    for bar, note in zip(range(18, 22), (76, 72, 77, 74)):     # lead teaser
        T["Ravelead"].note(bar * 4 + 0.5, 3.0, note, 70)
    for bar in (20, 21):
        for q in range(4):
            chord_notes("Piano", bar * 4 + q, 0.5, chord(bar)[1], 62 + q * 3)
    # 88-104: roll, riser, pulsing bass and piano; everything stops at 103.5 for the drop.
    for bar in range(22, 26):
        T["beats"].note(bar * 4, 0.2, KICK, 110)
        pad(bar, vel=74)
        for i in range(8):
            beat = bar * 4 + i * 0.5
            if beat < 103.5:
                T["TAL-BassLine 02"].note(beat, 0.4, tone(bar, "r" if i % 2 == 0 else "8"),
                                          80 + (bar - 22) * 8 + (8 if i % 2 == 0 else 0))
    for q in range(4):
        for bar in (22, 23, 24):
            T["beats"].note(bar * 4 + q, 0.2, KICK, 100 + bar - 22)
    roll = [(88, 96, 1.0), (96, 100, 0.5), (100, 102, 0.25), (102, 103.5, 0.125)]
    for b0, b1, step in roll:
        n = int(round((b1 - b0) / step))
        for i in range(n):
            beat = b0 + i * step
            T["beats"].note(beat, step * 0.8, SNARE, 60 + (beat - 88) * 3.6)
    for bar in (24, 25):
        for i in range(8):
            beat = bar * 4 + i * 0.5
            if beat < 103.5:
                chord_notes("Piano", beat, 0.35, chord(bar)[1][1:], 60 + (beat - 96) * 3)
    for i in range(30):                                          # rising square arpeggio
        e_tones = [52, 56, 59, 64]
        T["Chip"].note(96 + i * 0.25, 0.2, e_tones[i % 4] + 12 * (i // 8), 50 + i * 2)
    ramp("Riser", 88, 103.5, 0, 127, step=0.25)
    T["Riser"].note(88, 15.5, 60, 110)
    reverse_into(104, 2.0, 110)


def drop():
    for bar in range(26, 34):
        beat = bar * 4
        if bar == 33:
            fill(bar, 1.05)
        else:
            breakbeat(bar, ride=True, scale=1.05)
        if bar in (26, 30):
            crash(beat, 122)
            boom(beat, 127, 2.0)
        else:
            T["beats"].note(beat, 0.2, OPEN_HAT, 100)
            boom(beat, 110, 1.0)
        sub(bar, vel=100)
        bassline(bar, BASS_ROLL, vel=104)
        house_piano(bar, vel=98)
        pad(bar, vel=60)
        if bar % 2 == 0:
            hook("Ravelead", bar, hook_for(bar), vel=100)
    echo("Ravelead", 104, 136, keep=lambda b: b % 2 >= 1.5 or b % 4 == 2.5)


def keyboard_one():
    for bar in range(34, 42):
        beat = bar * 4
        drums("beats", bar, BREAK_1 if bar % 2 == 0 else BREAK_2, 0.85)
        if bar == 34:
            crash(beat, 120)
            boom(beat, 124, 2.0)
        sub(bar, vel=84)
        bassline(bar, BASS_TRIO, vel=106)
        pad(bar, vel=48)
        if bar < 38:
            piano_arp(bar, vel=94)
        else:
            house_piano(bar, vel=96)
            T["Piano"].note(beat, 2.0, chord(bar)[0] + 12, 96)
        if bar % 2 == 0:
            hook("Ravelead", bar, hook_for(bar), vel=100)
    echo("Ravelead", 136, 168, repeats=2, feedback=0.7, keep=lambda b: b % 8 in (3.5, 7.5))
    echo("Piano", 152, 168, repeats=3, feedback=0.72, keep=lambda b: b % 4 == 3.0)


def waveform_break():
    T["TAL-BassLine 02"].note(168, 3.75, 33, 112)
    T["Sub"].note(168, 3.5, 33, 100)
    reverse_into(172, 2.0, 100)
    for i in range(4):
        T["beats"].note(171 + i * 0.25, 0.2, SNARE, 80 + i * 10)


def text_mode():
    for bar in range(43, 50):
        beat = bar * 4
        if bar < 46:
            drums("beats", bar, {KICK: "X.....X...X.....", CLOSED_HAT: "xoxoxoxoxoxoxoxo",
                                 SNARE: "....X.......X..." if bar > 43 else "................"})
            chip_arp(bar, 0, vel=74)
        else:
            if bar == 49:
                fill(bar)
            else:
                breakbeat(bar, ride=True)
            chip_arp(bar, 1, vel=56)
            if bar % 2 == 0:
                hook("Ravelead", bar, hook_for(bar), vel=98)
            dub_stab(beat + 1.5, bar, vel=92)
        if bar in (43, 46):
            crash(beat, 118)
            boom(beat, 124, 2.0)
        sub(bar, vel=94)
        bassline(bar, BASS_ROLL, vel=100)
        pad(bar, vel=52)
    echo("Ravelead", 184, 200, keep=lambda b: b % 4 == 3.5)
    echo("Piano", 184, 200, repeats=4)


def keyboard_two():
    for bar in range(50, 54):
        beat = bar * 4
        drums("beats", bar, BREAK_1 if bar % 2 == 0 else BREAK_2, 0.85)
        if bar == 50:
            crash(beat, 120)
            boom(beat, 124, 2.0)
        sub(bar, vel=84)
        bassline(bar, BASS_TRIO, vel=106)
        pad(bar, vel=48)
        if bar % 2 == 0:
            piano_arp(bar, vel=92)
        else:
            house_piano(bar, vel=96)
        if bar % 2 == 0:
            hook("Ravelead", bar, hook_for(bar), vel=100)
    echo("Ravelead", 200, 216, repeats=2, feedback=0.7, keep=lambda b: b % 8 in (3.5, 7.5))


def spectrum():
    for bar in range(54, 58):
        beat = bar * 4
        breakbeat(bar, ride=True, scale=1.05)
        drums("beats", bar, {OPEN_HAT: "..x...x...x...x.", MARACAS: "gogogogogogogogo"})
        if bar in (54, 56):
            crash(beat, 124)
        boom(beat, 118, 1.0)
        sub(bar, vel=100)
        bassline(bar, BASS_ROLL, vel=104)
        pad(bar, vel=76)
        skank(bar, vel=70)
        house_piano(bar, vel=96)
        chip_arp(bar, 2 if bar % 2 else 1, vel=60, step=0.125)
        if bar % 2 == 0:
            hook("Ravelead", bar, hook_for(bar), vel=100)
    ramp("Pad", 216, 217, 48, 66)
    echo("Ravelead", 216, 232)
    ramp("Riser", 224, 231.75, 0, 112, step=0.25)
    T["Riser"].note(224, 7.75, 72, 100)
    reverse_into(232, 2.0, 104)


def dance():
    ramp("Pad", 232, 233, 66, 48)
    for bar in range(58, 62):
        beat = bar * 4
        drums("beats", bar, FLOOR)
        drums("808", bar, {KICK: "X...X...X...X...", CLAP: "....X.......X...",
                           COWBELL: "......x.....x.x." if bar % 2 else "...x......x....."})
        if bar == 58:
            crash(beat, 120)
        sub(bar, vel=96)
        bassline(bar, BASS_DISCO, vel=104)
        skank(bar, vel=72)
        house_piano(bar, vel=92)
        pad(bar, vel=54)


def greetings():
    # The glow climbs through every odd beat and peaks on the even one: the pad swells the
    # same way and the kick lands on the even beats. Beats 258-264 are a break.
    for two in range(248, 296, 2):
        T["Pad"].control(two, 7, 40)
        ramp("Pad", two + 1, two + 1.9375, 40, 76, step=0.0625)
    for bar in range(62, 74):
        beat = bar * 4
        pad(bar, vel=72)
        sub(bar, vel=96)
        if bar in (62, 66, 70):
            crash(beat, 122)
        if bar == 73:
            fill(bar)
        elif bar == 64:
            drums("beats", bar, {k: v[:8] + "........" for k, v in GREET_1.items()})
        elif bar == 65:
            for i in range(8):
                T["beats"].note(262 + i * 0.25, 0.2, SNARE, 60 + i * 7)
        else:
            drums("beats", bar, GREET_1 if bar % 2 == 0 else GREET_2)
        for even in (0, 2):
            if not 258 <= beat + even < 264:
                boom(beat + even, 118 if even == 0 else 100, 1.0)
        if bar == 64:
            bassline(bar, [f for f in BASS_DUB if f[0] < 2.0], vel=104)
            T["TAL-BassLine 02"].note(258, 2.0, tone(bar, "r"), 100)
        elif bar == 65:
            T["TAL-BassLine 02"].note(260, 3.5, tone(bar, "r"), 100)
        else:
            bassline(bar, BASS_DUB, vel=104)
            skank(bar, vel=66)
        for even in (0, 2):
            if 258 <= beat + even < 264:
                chord_notes("Piano", beat + even, 1.5, chord(bar)[1], 80)
            else:
                chord_notes("Piano", beat + even, 0.9, chord(bar)[1][1:], 94)
                T["Piano"].note(beat + even + 1.5, 0.4, chord(bar)[1][4 - even // 2], 86)
        if bar % 2 == 0 and bar != 64:
            hook("Ravelead", bar, hook_for(bar), vel=100)
    reverse_into(264, 2.0, 104)
    echo("Ravelead", 248, 296, keep=lambda b: b % 4 in (3.5, 2.5))
    echo("Piano", 256, 264, repeats=3, feedback=0.72)


def outro():
    for bar in range(74, 80):
        beat = bar * 4
        if bar < 78:
            breakbeat(bar, scale=0.95)
            bassline(bar, BASS_DUB, vel=100)
            skank(bar, vel=60)
        else:
            drums("beats", bar, {KICK: "X.........X.....", CLOSED_HAT: "x.o.x.o.x.o.x.o."}, 0.85)
            T["TAL-BassLine 02"].note(beat, 1.5, tone(bar, "r"), 92)
        if bar == 74:
            crash(beat, 118)
            boom(beat, 120, 2.0)
        sub(bar, vel=88)
        pad(bar, vel=60)
        dub_stab(beat + 1.5, bar, vel=96)
        if bar % 2:
            dub_stab(beat + 3.0, bar, vel=86, length=0.25)
    hook("Ravelead", 74, HOOK_AF[:7], vel=92)
    echo("Ravelead", 296, 300, repeats=5, feedback=0.8)
    echo("Piano", 296, 320, repeats=5, feedback=0.78)
    # The last chord; the picture fades to black from 320 to 337.
    chord_notes("Piano", 320, 10.0, [45] + chord(80)[1], 104, spread=0)
    T["TAL-BassLine 02"].note(320, 2.0, 33, 104)
    T["Sub"].note(320, 5.0, 33, 96)
    chord_notes("Pad", 320, 14.0, chord(80)[1], 72, spread=0)
    ramp("Pad", 320, 334, 48, 0, step=0.25)
    ramp("Sub", 322, 325, 78, 0, step=0.25)
    crash(320, 120)
    boom(320, 124, 3.0)
    for k, vel in enumerate((80, 62, 48, 36)):
        chord_notes("Piano Dub L" if k % 2 == 0 else "Piano Dub R", 321.5 + k * 1.5, 0.8,
                    chord(80)[1][1:], vel, spread=0)


def build_song():
    T.clear()
    for name, ch, bank, prog, vol, pan, rev, cho in PARTS:
        T[name] = smf.Track(name, ch)
        T[name].control(0, 7, vol)
        T[name].control(0, 10, pan)
    intro()
    beat_in()
    build()
    drop()
    keyboard_one()
    waveform_break()
    text_mode()
    keyboard_two()
    spectrum()
    dance()
    greetings()
    outro()
    conductor = smf.Track("dubr0lp", 0)
    conductor.metas = [
        (0, smf.meta_text(0x02, "(c) the Halvoren project")),
        (0, smf.meta_text(0x01, "dubr0lp: composed as code by tools/song/compose.py")),
        (0, smf.meta(0x51, TEMPO_US.to_bytes(3, "big"))),
        (0, smf.meta(0x58, bytes([4, 2, 24, 8]))),
        (0, smf.meta(0x59, bytes([0, 1]))),       # A minor
    ]
    return [conductor] + [T[p[0]] for p in PARTS]


def check_song(tracks):
    """The constraints the show's keyboard scene and parser rely on."""
    problems = []
    for track in tracks:
        spans = track.note_spans()
        if track.name in KEYBOARD_TRACKS:
            pitches = [p for _, _, p, _ in spans]
            if not pitches:
                problems.append(track.name + ": no notes")
                continue
            low, high = min(pitches), max(pitches)
            if low < KEYBOARD_LOW or high > KEYBOARD_HIGH:
                problems.append("%s: notes %d..%d outside the keyboard" % (track.name, low, high))
            distinct = len(set(pitches))
            if distinct > MAX_DISTINCT.get(track.name, 128):
                problems.append("%s: %d distinct notes" % (track.name, distinct))
            if any(start == 0 for start, _, _, _ in spans):
                problems.append(track.name + ": a note starts at beat 0")
        for start, end, pitch, _ in spans:
            if end > smf.to_ticks(SONG_BEATS):
                problems.append("%s: note %d runs past the end" % (track.name, pitch))
    return problems


def click_song(beats):
    """For the alignment check: a sine blip on every beat (its onset is the synth's own
    note start) and a closed hi-hat on every off-beat (a drum sample's onset)."""
    blips = smf.Track("Sub", 10)
    hats = smf.Track("beats", 9)
    for beat in range(1, beats - 1):
        blips.note(beat, 0.1, 81, 120)
        hats.note(beat + 0.5, 0.1, CLOSED_HAT, 120)
    conductor = smf.Track("click", 0)
    conductor.metas = [(0, smf.meta(0x51, TEMPO_US.to_bytes(3, "big"))),
                       (0, smf.meta(0x58, bytes([4, 2, 24, 8])))]
    return [conductor, blips, hats]


def fluid_commands():
    lines = []
    for name, ch, bank, prog, vol, pan, rev, cho in PARTS:
        lines.append("select %d %d %d %d" % (ch, SOUNDFONT_ID, bank, prog))
        lines.append("cc %d 91 %d" % (ch, rev))
        lines.append("cc %d 93 %d" % (ch, cho))
    return "\n".join(lines) + "\n"


def song_samples(rate=44100):
    """Length of the song in samples: what the MIDI file's tempo makes of SONG_BEATS."""
    return int(round(SONG_BEATS * TEMPO_US * rate / 1e6))


def main(argv):
    if "--plan" in argv:
        for first, last, what in SECTIONS:
            print("%3d-%3d  %s" % (first, last, what))
        return 0
    if "--samples" in argv:
        print(song_samples())
        return 0
    if len(argv) < 3:
        print(__doc__)
        return 2
    tracks = build_song()
    problems = check_song(tracks)
    if problems:
        for p in problems:
            print("compose: " + p, file=sys.stderr)
        return 1
    smf.write_file(argv[1], tracks, SONG_BEATS)
    with open(argv[2], "w") as out:
        out.write(fluid_commands())
    if "--click" in argv:
        beats = int(argv[argv.index("--click-beats") + 1]) if "--click-beats" in argv else SONG_BEATS
        smf.write_file(argv[argv.index("--click") + 1], click_song(beats), beats)
    for track in tracks:
        spans = track.note_spans()
        if spans:
            print("%-16s %5d notes, %2d distinct, %d..%d" % (
                track.name, len(spans), len({s[2] for s in spans}),
                min(s[2] for s in spans), max(s[2] for s in spans)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

#!/usr/bin/python3
# Writes the seed corpus of the MIDI parser's fuzz target into fuzz/corpus/music_midi/:
# a few valid files in the subset the parser reads, and truncations of one of them.
# Run from anywhere: /usr/bin/python3 fuzz/music_midi_seeds.py
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "music_midi")


def chunk(events):
    return b"MTrk" + struct.pack(">I", len(events)) + events


def midi(division, tracks):
    return b"MThd" + struct.pack(">IHHH", 6, 1, len(tracks), division) + b"".join(chunk(t) for t in tracks)


def meta_text(kind, text):
    return bytes([0, 0xFF, kind, len(text)]) + text


TEMPO_TRACK = (meta_text(3, b"Tempo") + b"\x00\xFF\x51\x03\x07\x0A\xE2"
               + b"\x00\xFF\x58\x04\x04\x02\x18\x08" + b"\x00\xFF\x59\x02\x00\x00"
               + meta_text(1, b"text") + meta_text(2, b"(c)") + b"\x00\xFF\x2F\x00")


def notes(name, pitches, step):
    out = meta_text(3, name) + b"\x00\xB0\x07\x64\x00\xB0\x0A\x40"
    for p in pitches:
        out += bytes([0, 0x90, p, 100, step, 0x80, p, 0])
    # running status, a repeated note-on, a held last note
    out += bytes([0, 0x90, 60, 90, 0, 60, 91, step, 60, 0, 0, 0xA0, 60, 1, 0, 0xD0, 3, 0, 0x90, 72, 80])
    return out + b"\x00\xFF\x2F\x00"


def main():
    os.makedirs(OUT, exist_ok=True)
    seeds = {
        "song.mid": midi(96, [TEMPO_TRACK, notes(b"Piano", [60, 64, 67], 48),
                              notes(b"TAL-BassLine 02", [36, 43], 96), notes(b"beats", [36, 38, 42], 24)]),
        "one_track.mid": midi(480, [notes(b"Ravelead", list(range(48, 72, 3)), 0x60)]),
        "long_delta.mid": midi(1, [bytes([0x81, 0x80, 0x80, 0x00, 0x90, 1, 1, 0x7F, 0x80, 1, 0])]),
        "empty.mid": midi(96, []),
        "meta_only.mid": midi(96, [TEMPO_TRACK]),
    }
    song = seeds["song.mid"]
    for cut in (13, 20, 40, 70, len(song) // 2, len(song) - 1):
        seeds["song_cut_%d.mid" % cut] = song[:cut]
    for name, data in seeds.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)
    print("wrote %d seeds to %s" % (len(seeds), OUT))


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""Checks the song's MIDI file and MP3 against what the show needs.

MIDI: the event subset the show's parser accepts (note on/off, controllers 7 and 10, the
meta events track name, tempo, time and key signature, end of track, at most one text and
one copyright), one tempo of 140.00 BPM, the named tracks, and the keyboard limits
(notes 24..84, at most 29 distinct "Piano" and 26 "TAL-BassLine 02" notes, no first
note-on at beat 0 in the keyboard tracks).
MP3: decoded with libmpg123 in gapless mode (as the show's audio back end decodes it), its
length must match the MIDI length within 50 ms, its sample peak stay below the limit and
its loudness be near the target. The click variant (a sine blip per beat and a hi-hat per
off-beat, rendered through the same chain) must have every onset within 5 ms of its note. The song's MP3 must
line up with the master WAV it was encoded from (lag 0).
Exits 1 with a list of failures; prints the figures either way.
"""
import argparse
import ctypes
import ctypes.util
import os
import struct
import subprocess
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import loudness  # noqa: E402

RATE = 44100
LENGTH_TOLERANCE_S = 0.050
ONSET_TOLERANCE_S = 0.005
LOUDNESS_TOLERANCE = 1.0
REQUIRED_TRACKS = ("Piano", "TAL-BassLine 02", "Ravelead", "beats")
KEYBOARD_TRACKS = ("Piano", "TAL-BassLine 02", "Ravelead")
MAX_DISTINCT = {"Piano": 29, "TAL-BassLine 02": 26}
ALLOWED_META = {0x01, 0x02, 0x03, 0x2F, 0x51, 0x58, 0x59}


# >> MIDI
class MidiError(Exception):
    pass


def read_vlq(data, pos, end):
    value = 0
    for _ in range(4):
        if pos >= end:
            raise MidiError("delta time runs past the track end")
        byte = data[pos]
        pos += 1
        value = (value << 7) | (byte & 0x7F)
        if not byte & 0x80:
            return value, pos
    raise MidiError("delta time longer than 4 bytes")


def parse_midi(path):
    """Returns (division, tempo_us, tracks); tracks: list of dict(name, notes, end_tick)."""
    data = open(path, "rb").read()
    if data[:8] != b"MThd\x00\x00\x00\x06":
        raise MidiError("bad header")
    fmt, ntracks, division = struct.unpack(">HHH", data[8:14])
    if fmt != 1 or division == 0 or division & 0x8000:
        raise MidiError("format %d division %d" % (fmt, division))
    pos = 14
    tempos, texts, copyrights, tracks = [], 0, 0, []
    for _ in range(ntracks):
        if data[pos:pos + 4] != b"MTrk":
            raise MidiError("missing MTrk")
        length = struct.unpack(">I", data[pos + 4:pos + 8])[0]
        pos += 8
        end = pos + length
        if end > len(data):
            raise MidiError("track runs past the file end")
        tick, status, name = 0, 0, None
        on = {}
        notes = []       # (start tick, end tick, pitch, velocity)
        while pos < end:
            delta, pos = read_vlq(data, pos, end)
            tick += delta
            if data[pos] & 0x80:
                status = data[pos]
                pos += 1
            kind = status & 0xF0
            if kind in (0x80, 0x90):
                pitch, vel = data[pos], data[pos + 1]
                pos += 2
                if kind == 0x90 and vel > 0:
                    if pitch in on:
                        raise MidiError("%s: note %d struck while on" % (name, pitch))
                    on[pitch] = (tick, vel)
                else:
                    if pitch not in on:
                        raise MidiError("%s: note-off of silent note %d" % (name, pitch))
                    start, v = on.pop(pitch)
                    notes.append((start, tick, pitch, v))
            elif kind == 0xB0:
                if data[pos] not in (7, 10):
                    raise MidiError("controller %d" % data[pos])
                pos += 2
            elif status == 0xFF:
                mtype, mlen = data[pos], data[pos + 1]
                if mlen & 0x80:
                    raise MidiError("meta length needs more than one byte")
                payload = data[pos + 2:pos + 2 + mlen]
                pos += 2 + mlen
                if mtype not in ALLOWED_META:
                    raise MidiError("meta event 0x%02x" % mtype)
                if mtype == 0x03:
                    if name is not None:
                        raise MidiError("two track names")
                    name = payload.decode("ascii")
                elif mtype == 0x01:
                    texts += 1
                elif mtype == 0x02:
                    copyrights += 1
                elif mtype == 0x51:
                    tempos.append(int.from_bytes(payload, "big"))
                if mtype in (0x01, 0x02, 0x03) and mlen == 0:
                    raise MidiError("empty text event")
            else:
                raise MidiError("event 0x%02x is not allowed" % status)
        if on:
            raise MidiError("%s: notes left on at the end" % name)
        tracks.append({"name": name, "notes": notes, "end_tick": tick})
    if texts > 1 or copyrights > 1:
        raise MidiError("more than one text or copyright event")
    if len(tempos) != 1:
        raise MidiError("%d tempo events" % len(tempos))
    return division, tempos[0], tracks


def check_midi(path, failures):
    try:
        division, tempo_us, tracks = parse_midi(path)
    except MidiError as e:
        failures.append("MIDI: " + str(e))
        return None
    bpm = int(60000000 / tempo_us * 100 + 0.5) / 100
    if abs(bpm - 140.0) > 1e-9:
        failures.append("MIDI: tempo %.2f BPM" % bpm)
    by_name = {t["name"]: t for t in tracks}
    for name in REQUIRED_TRACKS:
        if name not in by_name or not by_name[name]["notes"]:
            failures.append("MIDI: track %r missing or empty" % name)
    for name in KEYBOARD_TRACKS:
        notes = by_name.get(name, {"notes": []})["notes"]
        pitches = {n[2] for n in notes}
        if pitches and (min(pitches) < 24 or max(pitches) > 84):
            failures.append("MIDI: %s plays %d..%d" % (name, min(pitches), max(pitches)))
        if len(pitches) > MAX_DISTINCT.get(name, 128):
            failures.append("MIDI: %s uses %d distinct notes" % (name, len(pitches)))
        if any(n[0] == 0 for n in notes):
            failures.append("MIDI: %s starts a note at beat 0" % name)
    end_beats = max(t["end_tick"] for t in tracks) / division
    seconds = max(t["end_tick"] for t in tracks) * tempo_us / division / 1e6
    print("MIDI: %d tracks, %.2f BPM, %.2f beats = %.4f s; distinct notes: %s" % (
        len(tracks), bpm, end_beats, seconds,
        ", ".join("%s %d" % (n, len({x[2] for x in by_name[n]["notes"]}))
                  for n in KEYBOARD_TRACKS if n in by_name)))
    return division, tempo_us, seconds


# >> MP3 decoding through libmpg123, gapless
MPG123_ADD_FLAGS = 2
MPG123_GAPLESS = 0x40
MPG123_ENC_FLOAT_32 = 0x200
MPG123_STEREO = 2
MPG123_OK, MPG123_DONE, MPG123_NEW_FORMAT = 0, -12, -11


def decode_mp3(path):
    name = ctypes.util.find_library("mpg123") or "libmpg123.so.0"
    lib = ctypes.CDLL(name)
    lib.mpg123_new.restype = ctypes.c_void_p
    lib.mpg123_new.argtypes = [ctypes.c_char_p, ctypes.POINTER(ctypes.c_int)]
    for fn in ("mpg123_param", "mpg123_format_none", "mpg123_format", "mpg123_open",
               "mpg123_read", "mpg123_close", "mpg123_delete"):
        getattr(lib, fn).restype = ctypes.c_int
    lib.mpg123_param.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_long, ctypes.c_double]
    lib.mpg123_format_none.argtypes = [ctypes.c_void_p]
    lib.mpg123_format.argtypes = [ctypes.c_void_p, ctypes.c_long, ctypes.c_int, ctypes.c_int]
    lib.mpg123_open.argtypes = [ctypes.c_void_p, ctypes.c_char_p]
    lib.mpg123_read.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_size_t,
                                ctypes.POINTER(ctypes.c_size_t)]
    lib.mpg123_close.argtypes = [ctypes.c_void_p]
    lib.mpg123_delete.argtypes = [ctypes.c_void_p]
    lib.mpg123_init()
    err = ctypes.c_int(0)
    handle = lib.mpg123_new(None, ctypes.byref(err))
    if not handle:
        raise RuntimeError("mpg123_new failed")
    lib.mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_GAPLESS, 0.0)
    lib.mpg123_format_none(handle)
    lib.mpg123_format(handle, RATE, MPG123_STEREO, MPG123_ENC_FLOAT_32)
    if lib.mpg123_open(handle, path.encode()) != MPG123_OK:
        raise RuntimeError("mpg123_open failed on " + path)
    chunks = []
    buf = ctypes.create_string_buffer(1 << 16)
    done = ctypes.c_size_t(0)
    while True:
        rc = lib.mpg123_read(handle, buf, len(buf), ctypes.byref(done))
        if done.value:
            chunks.append(buf.raw[:done.value])
        if rc == MPG123_DONE:
            break
        if rc not in (MPG123_OK, MPG123_NEW_FORMAT):
            raise RuntimeError("mpg123_read error %d" % rc)
    lib.mpg123_close(handle)
    lib.mpg123_delete(handle)
    return np.frombuffer(b"".join(chunks), dtype=np.float32).reshape(-1, 2)


def read_wav(path):
    """16-bit or float stereo WAV as float frames."""
    data = open(path, "rb").read()
    fmt = data.index(b"fmt ")
    tag, channels, _, _, _, bits = struct.unpack("<HHIIHH", data[fmt + 8:fmt + 24])
    pos = data.index(b"data")
    size = struct.unpack("<I", data[pos + 4:pos + 8])[0]
    raw = data[pos + 8:pos + 8 + size]
    if bits == 16:
        x = np.frombuffer(raw, dtype="<i2").astype(np.float32) / 32768.0
    else:
        x = np.frombuffer(raw, dtype="<f4")
    return x.reshape(-1, channels)


# >> audio checks
def onset_errors(audio, tempo_us, beats):
    """Onset of each beat's click: first sample above a quarter of that click's peak."""
    mono = np.abs(audio).max(axis=1)
    errors = []
    for beat in beats:
        expected = beat * tempo_us * RATE / 1e6
        lo = int(expected) - 1500
        window = mono[lo:lo + 3000]
        threshold = window.max() * 0.25
        onset = lo + int(np.argmax(window > threshold))
        errors.append((onset - expected) / RATE)
    return np.array(errors)


def alignment_lag(a, b, max_lag=1200):
    """Lag (samples) of b against a that correlates best, over a loud stretch."""
    start = RATE * 50
    x = a[start:start + RATE * 5, 0].astype(np.float64)
    best, best_lag = None, 0
    for lag in range(-max_lag, max_lag + 1, 1):
        y = b[start + lag:start + lag + len(x), 0].astype(np.float64)
        score = float(np.dot(x, y))
        if best is None or score > best:
            best, best_lag = score, lag
    return best_lag


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--midi", required=True)
    ap.add_argument("--mp3", required=True)
    ap.add_argument("--master")
    ap.add_argument("--click")
    ap.add_argument("--click-midi")
    ap.add_argument("--lufs", type=float, default=-14.0)
    ap.add_argument("--peak", type=float, default=-1.0)
    ap.add_argument("--spectrogram")
    args = ap.parse_args()
    failures = []

    midi = check_midi(args.midi, failures)
    song = decode_mp3(args.mp3)
    song_seconds = len(song) / RATE
    peak_db = 20 * np.log10(max(float(np.abs(song).max()), 1e-9))
    lufs, _ = loudness.measure(args.mp3)
    print("MP3: %d samples = %.4f s decoded (gapless), sample peak %.2f dBFS, %.2f LUFS, %d bytes"
          % (len(song), song_seconds, peak_db, lufs, os.path.getsize(args.mp3)))
    if midi:
        diff = song_seconds - midi[2]
        print("length: MP3 - MIDI = %+.2f ms" % (diff * 1000))
        if abs(diff) > LENGTH_TOLERANCE_S:
            failures.append("MP3 length differs from the MIDI length by %.1f ms" % (diff * 1000))
    if peak_db >= args.peak:
        failures.append("MP3 peak %.2f dBFS is not below %.1f" % (peak_db, args.peak))
    if abs(lufs - args.lufs) > LOUDNESS_TOLERANCE:
        failures.append("MP3 loudness %.2f LUFS, wanted %.1f" % (lufs, args.lufs))

    if args.master:
        master = read_wav(args.master)
        lag = alignment_lag(master, song)
        print("MP3 against master WAV: lag %d samples, lengths %d / %d" % (
            lag, len(song), len(master)))
        if lag != 0 or len(master) != len(song):
            failures.append("MP3 does not line up with the master WAV")
    if args.click and args.click_midi:
        division, tempo_us, click_tracks = parse_midi(args.click_midi)
        click = decode_mp3(args.click)
        for track in click_tracks:
            beats = sorted({n[0] / division for n in track["notes"]})
            if not beats:
                continue
            errors = onset_errors(click, tempo_us, beats)
            print("onsets, click variant, %s (%d notes): mean %+.2f ms, min %+.2f ms, "
                  "max %+.2f ms" % (track["name"], len(errors), errors.mean() * 1000,
                                    errors.min() * 1000, errors.max() * 1000))
            if np.abs(errors).max() > ONSET_TOLERANCE_S:
                failures.append("%s onsets off by up to %.2f ms" % (
                    track["name"], np.abs(errors).max() * 1000))
    if args.spectrogram and args.master:
        subprocess.run(["sox", args.master, "-n", "remix", "-", "spectrogram", "-x", "1600",
                        "-y", "513", "-z", "90", "-t", "dubr0lp", "-o", args.spectrogram],
                       check=True)

    for f in failures:
        print("FAIL: " + f)
    print("song check: %s" % ("FAILED" if failures else "passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

"""Standard MIDI File writer for the song generator.

Writes format 1 files with a fixed division, one tempo, one time signature, one
key signature and note tracks that hold only note-on/off and controllers 7 and 10:
the subset the show's MIDI parser accepts. Meta texts must fit a one-byte length
(the parser reads the length as a single byte), so anything over 127 bytes is refused.
Notes of one pitch on one channel never overlap: an earlier note is cut where the
next one starts, so every note-on is matched by exactly one note-off.
"""
import struct

DIVISION = 480            # ticks per quarter note
MAX_META_TEXT = 127       # one-byte length in the show's parser (VLQ stays one byte)


def vlq(value):
    """Variable-length quantity, most significant group first."""
    assert 0 <= value < (1 << 28)
    groups = [value & 0x7F]
    value >>= 7
    while value:
        groups.append((value & 0x7F) | 0x80)
        value >>= 7
    return bytes(reversed(groups))


def to_ticks(beat):
    return int(round(beat * DIVISION))


def meta(kind, payload):
    assert len(payload) <= MAX_META_TEXT, "meta event too long for a one-byte length"
    return bytes([0xFF, kind, len(payload)]) + payload


def meta_text(kind, text):
    data = text.encode("ascii")
    assert 0 < len(data) <= MAX_META_TEXT
    return meta(kind, data)


class Track:
    """One MTrk chunk: a name, notes (beats) and controller changes (beats)."""

    def __init__(self, name, channel):
        self.name = name
        self.channel = channel
        self.notes = []        # (start beat, length beats, pitch, velocity)
        self.controls = []     # (beat, controller, value)
        self.metas = []        # (beat, bytes) conductor events

    def note(self, beat, length, pitch, velocity):
        assert 0 <= pitch <= 127, (self.name, beat, pitch)
        velocity = max(1, min(127, int(round(velocity))))
        if length <= 0:
            return
        self.notes.append((beat, length, pitch, velocity))

    def control(self, beat, controller, value):
        assert controller in (7, 10), "only volume and pan are allowed"
        self.controls.append((beat, controller, max(0, min(127, int(round(value))))))

    def note_spans(self):
        """Notes as tick spans, sorted, with same-pitch overlaps cut (legato)."""
        spans = sorted((to_ticks(b), to_ticks(b + l), p, v) for b, l, p, v in self.notes)
        last_by_pitch = {}
        result = []
        for start, end, pitch, vel in spans:
            prev = last_by_pitch.get(pitch)
            if prev is not None:
                if result[prev][0] == start:
                    continue          # same pitch struck twice at once: keep the first
                if result[prev][1] > start:
                    result[prev][1] = start
            if end <= start:
                continue
            last_by_pitch[pitch] = len(result)
            result.append([start, end, pitch, vel])
        return [tuple(s) for s in result]

    def chunk(self, end_tick):
        events = []   # (tick, order, bytes): note-offs before controllers before note-ons
        events.append((0, 0, meta_text(0x03, self.name)))
        for beat, data in self.metas:
            events.append((to_ticks(beat), 1, data))
        status = self.channel & 0x0F
        for beat, ctl, value in self.controls:
            events.append((to_ticks(beat), 3, bytes([0xB0 | status, ctl, value])))
        for start, end, pitch, vel in self.note_spans():
            assert end <= end_tick, (self.name, end, end_tick)
            events.append((start, 4, bytes([0x90 | status, pitch, vel])))
            events.append((end, 2, bytes([0x80 | status, pitch, 0])))
        events.sort(key=lambda e: (e[0], e[1], e[2]))
        body = bytearray()
        now = 0
        for tick, _, data in events:
            body += vlq(tick - now) + data
            now = tick
        body += vlq(end_tick - now) + bytes([0xFF, 0x2F, 0x00])
        return b"MTrk" + struct.pack(">I", len(body)) + bytes(body)


def write_file(path, tracks, length_beats):
    end_tick = to_ticks(length_beats)
    data = b"MThd" + struct.pack(">IHHH", 6, 1, len(tracks), DIVISION)
    for track in tracks:
        data += track.chunk(end_tick)
    with open(path, "wb") as out:
        out.write(data)
    return data

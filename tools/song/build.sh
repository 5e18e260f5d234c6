#!/bin/sh
# Rebuilds the song from its source: compose.py writes the MIDI file, fluidsynth renders it,
# sox aligns, cleans and levels it, lame encodes the MP3, check.py verifies the result.
# Output: data/common/music/dubr0lp.mid and dubr0lp.mp3 (committed), intermediates in
# build-song/ (not committed). Every step is deterministic: two runs give identical bytes.
# Needs: fluidsynth, fluid-soundfont-gm, sox, lame, libmpg123 (checks), ffmpeg (loudness;
# without it loudness is approximated from RMS).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out=${SONG_BUILD_DIR:-$root/build-song}
music=$root/data/common/music
py=/usr/bin/python3
sf2=/usr/share/sounds/sf2/FluidR3_GM.sf2
rate=44100
# fluidsynth starts a note at the second or third 64-sample block after its time (plus up to a
# millisecond of rounding in its player): on average 96 samples late. Cutting them puts beat 0
# at sample 0; the click check measures what is left.
latency=96
# The limiter (sox compand): 0.3 ms attack, 80 ms release, 2 ms look-ahead; unity up to
# -13 dBFS, about 6:1 above with a 2 dB knee. It holds the drum peaks back some 5 dB so the
# mix reaches its loudness with its peaks below -1 dBFS.
limiter="0.0003,0.08 2:-60,-60,-13,-13,0,-11"
target_lufs=-14
peak_limit=-1.0

mkdir -p "$out" "$music"
cd "$out"

"$py" "$here/compose.py" dubr0lp.mid instruments.txt --click click.mid
# A 16-beat click variant is kept as a test fixture: the show's decoder must find its onsets.
"$py" "$here/compose.py" dubr0lp.mid instruments.txt --click click_short.mid --click-beats 16 \
    >/dev/null
samples=$("$py" "$here/compose.py" --samples)

render() {   # MIDI file -> float WAV
    fluidsynth -n -i -q -F "$2" -T wav -O float -r $rate -g 0.2 \
        -o synth.polyphony=1024 -o synth.reverb.room-size=0.6 -o synth.reverb.damp=0.3 \
        -o synth.reverb.width=0.8 -o synth.reverb.level=0.8 \
        -f instruments.txt "$sf2" "$1" 2>/dev/null
    test -s "$2"
}

shape() {    # align, cut to the song's exact length, remove DC, limit the peaks
    # compand's last argument is a look-ahead: the gain acts early, the audio is not delayed.
    sox -V1 -R "$1" -e floating-point -b 32 "$2" \
        trim ${latency}s ${samples}s highpass 10 compand $limiter 0 -90 0.002
}

render dubr0lp.mid raw.wav
render click.mid click_raw.wav
render click_short.mid click_short_raw.wav
shape raw.wav shaped.wav
shape click_raw.wav click_shaped.wav
shape click_short_raw.wav click_short_shaped.wav

master() {   # level to the target loudness, dither to 16 bits, fade the last 0.3 s, encode
    sox -R shaped.wav -b 16 master.wav gain $1 fade t 0 -0 0.3
    lame --silent -b 160 --cbr -q 2 master.wav dubr0lp.mp3
}
set -- $("$py" "$here/loudness.py" shaped.wav)
gain=$(awk "BEGIN { printf \"%.2f\", $target_lufs - ($1) }")
master $gain
# The encoder's low-pass takes some of the loudness away: measure the MP3 and level once more.
set -- $("$py" "$here/loudness.py" dubr0lp.mp3)
gain=$(awk "BEGIN { printf \"%.2f\", $gain + $target_lufs - ($1) }")
master $gain
echo "song: gain $gain dB into the limited mix"

for click in click click_short; do
    sox -R ${click}_shaped.wav -b 16 ${click}_master.wav gain -n -6
    lame --silent -b 160 --cbr -q 2 ${click}_master.wav $click.mp3
done

cp dubr0lp.mid dubr0lp.mp3 "$music/"
cp click_short.mid "$root/tests/fixtures/song_click.mid"
cp click_short.mp3 "$root/tests/fixtures/song_click.mp3"
"$py" "$here/check.py" --midi "$music/dubr0lp.mid" --mp3 "$music/dubr0lp.mp3" \
    --master master.wav --click click.mp3 --click-midi click.mid \
    --lufs $target_lufs --peak $peak_limit --spectrogram spectrogram.png

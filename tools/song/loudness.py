#!/usr/bin/python3
"""Prints a WAV or MP3 file's integrated loudness (LUFS) and sample peak (dBFS).

Uses ffmpeg's ebur128 filter when ffmpeg is installed; otherwise it approximates the
loudness from sox's RMS level (a plain RMS reads a few dB below LUFS for full-band
music, so the fallback adds a fixed correction) and says so on stderr.
Usage: loudness.py FILE   ->   "<lufs> <peak dBFS>"
"""
import re
import shutil
import subprocess
import sys

RMS_TO_LUFS = 3.0   # rough offset of RMS (dBFS) to integrated loudness for this kind of mix


def ebur128(path):
    run = subprocess.run(
        ["ffmpeg", "-hide_banner", "-nostats", "-i", path,
         "-af", "ebur128=peak=sample", "-f", "null", "-"],
        capture_output=True, text=True, check=True)
    summary = run.stderr[run.stderr.rindex("Summary:"):]
    lufs = float(re.search(r"I:\s+(-?[\d.]+) LUFS", summary).group(1))
    peak = float(re.search(r"Peak:\s+(-?[\d.]+|-inf) dBFS", summary).group(1))
    return lufs, peak


def sox_rms(path):
    run = subprocess.run(["sox", path, "-n", "stats"], capture_output=True, text=True, check=True)
    rms = float(re.search(r"RMS lev dB\s+(-?[\d.]+)", run.stderr).group(1))
    peak = float(re.search(r"Pk lev dB\s+(-?[\d.]+)", run.stderr).group(1))
    print("loudness: ffmpeg not found, LUFS approximated from RMS", file=sys.stderr)
    return rms + RMS_TO_LUFS, peak


def measure(path):
    return ebur128(path) if shutil.which("ffmpeg") else sox_rms(path)


if __name__ == "__main__":
    lufs, peak = measure(sys.argv[1])
    print("%.2f %.2f" % (lufs, peak))

// halvoren-capture: the show as video material, rendered off-screen in virtual time.
//
//   halvoren-capture [--out DIR] [--fps F] [--from BEAT] [--to BEAT] [--width W --height H]
//                    [--samples N] [--crf N] [--png | --lossless] [--round] [--resume]
//                    [--segment SECONDS] [--archive FILE | --data DIR]
//
// Writes DIR/halvoren.mp4 (H.264 High, yuv420p, BT.709 limited range, AAC-LC 48 kHz 384 kb/s,
// +faststart) of the span from --from to --to (default: the whole song) at F frames per second
// (default 60; a ratio such as 60000/1001 too), W x H pixels (default 1280 x 720, up to 7680 x
// 4320, independent of the screen), CRF 17 unless --crf says otherwise. An odd width or height is
// refused; --round makes it even. --lossless writes DIR/halvoren.mkv (FFV1 RGB + FLAC) for editing;
// --png writes DIR/frame_000000.png ... and DIR/audio.wav instead, and needs no ffmpeg.
// --resume continues an interrupted capture in DIR with the same options; --segment sets how
// much video (10 s) is at stake when a capture is interrupted. Shows a progress bar on the
// terminal. Bad arguments: usage, exit code 2; a failure: exit code 1; interrupted: 130.
#include "capture.h"

#include <stdio.h>

static int usage(const std::string& why)
{
    fprintf(stderr,
            "halvoren-capture: %s\n"
            "usage: halvoren-capture [--out DIR] [--fps F] [--from BEAT] [--to BEAT] [--width W --height H]\n"
            "                        [--samples N] [--crf N] [--png | --lossless] [--round] [--resume]\n"
            "                        [--segment SECONDS] [--archive FILE | --data DIR]\n",
            why.c_str());
    return 2;
}

int main(int argc, char** argv)
{
    CaptureOptions options;
    std::string error;
    if (!captureParseArguments(argc, argv, &options, &error)) return usage(error);
    return captureRun(options);
}

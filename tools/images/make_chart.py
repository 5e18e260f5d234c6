#!/usr/bin/python3
"""Builds the text-mode font chart "data/common/images/asciichart.png".

Layout (image rows from the top, which is texture v = 1 after the PNG
loader's flip): 80 columns x 10 rows of CELL_W x CELL_H pixels.
  rows 0-3: foreground band, codes 0-79, 80-159, 160-239, 240-255;
            glyph white on black.
  rows 4-7: background band, the same codes, the complement (black glyph
            on white), so foreground colour + background colour fill a cell.
  rows 8-9: unused, black.
Band places 256-319 stay black in both bands.

Glyphs: Terminus 8x14 in code page 437 (xfonts-terminus-dos); the two codes
it lacks (7 bullet, 14 beamed notes) come from misc-fixed 7x14 (xfonts-base),
looked up by their Unicode code points. Code 0, 32 and 255 are blank.
"""

import sys

import numpy as np
from PIL import Image

import common

CELL_W, CELL_H = 8, 14
COLUMNS, ROWS = 80, 10
TERMINUS = "ter-u14n_ibm437"
FALLBACK = "7x14"
# CP437 positions Terminus leaves out, with the Unicode character they show.
FALLBACK_CODES = {7: 0x2022, 14: 0x266B}


def glyphs():
    """256 bool arrays of CELL_H x CELL_W, one per code."""
    ter = common.misc_font(TERMINUS)
    fixed = common.misc_font(FALLBACK)
    ascent = ter.max_ascent()
    fixed_ascent = fixed.max_ascent()
    result = []
    for code in range(256):
        cell = None
        if code in FALLBACK_CODES:
            cell = fixed.glyph_cell(FALLBACK_CODES[code], CELL_W, CELL_H, fixed_ascent)
        elif code not in (0, 32, 255):
            cell = ter.glyph_cell(code, CELL_W, CELL_H, ascent)
        if cell is None:
            if code not in (0, 32, 255):
                sys.exit("chart: no glyph for code %d" % code)
            cell = np.zeros((CELL_H, CELL_W), dtype=bool)
        result.append(cell)
    return result


def build():
    chart = np.zeros((ROWS * CELL_H, COLUMNS * CELL_W), dtype=np.uint8)
    for code, cell in enumerate(glyphs()):
        col, band_row = code % COLUMNS, code // COLUMNS
        x = col * CELL_W
        fg_y = band_row * CELL_H
        bg_y = (4 + band_row) * CELL_H
        chart[fg_y:fg_y + CELL_H, x:x + CELL_W] = np.where(cell, 255, 0)
        chart[bg_y:bg_y + CELL_H, x:x + CELL_W] = np.where(cell, 0, 255)
    rgb = np.repeat(chart[:, :, None], 3, axis=2)
    common.save_png("common/images/asciichart.png", Image.fromarray(rgb, "RGB"))
    return chart


if __name__ == "__main__":
    build()

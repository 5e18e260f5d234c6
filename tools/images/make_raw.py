#!/usr/bin/python3
"""Builds the text-mode ".raw" pictures (one palette colour per cell, 0 =
transparent, stored in file colour order):

  data/textsnake/snakeinterface.raw   80 x 50   frame, score panel, menu plate
  data/textbigsprite/halvos.raw      256 x 256  tileable backdrop (rotozoom)
  data/textbigsprite/halvoren.raw    300 x 80   the group's name, big letters
  data/textfire/firetext1.raw         80 x 50   fire-text picture "HOT"
  data/textfire/firetext2.raw         80 x 50   fire-text picture "BURN"
  data/textdance/dance1..4.raw        80 x 50   four frames of a dancer
  data/textdance/rotozoom.raw        256 x 256  tileable backdrop (rotozoom)

On a 16:9 screen a text cell is about 1.1 times wider than tall
(1920/80 x 1080/50 = 24 x 21.6 pixels), so shapes drawn in cells are
squeezed horizontally by CELL_ASPECT to look round on screen.
"""

import math

import numpy as np

import common
from common import (BLACK, DBLUE, DGREEN, DCYAN, DRED, DMAGENTA, BROWN, LGREY,
                    DGREY, BLUE, GREEN, CYAN, RED, MAGENTA, YELLOW, WHITE)

CELL_ASPECT = 24.0 / 21.6


# >> helpers

def block_text(text, font_name="ter-u14b_ibm437", gap=1):
    """Text in a bitmap font as a bool array, one cell per font pixel."""
    f = common.misc_font(font_name)
    ascent = f.max_ascent()
    cells = [f.glyph_cell(ord(ch), 8, 14, ascent) for ch in text]
    rows = np.any(np.any(np.stack(cells), axis=0), axis=1)
    top, bottom = np.nonzero(rows)[0][[0, -1]]
    parts = []
    for i, c in enumerate(cells):
        cols = np.nonzero(c.any(axis=0))[0]
        if cols.size == 0:
            parts.append(np.zeros((bottom - top + 1, 4), dtype=bool))
        else:
            parts.append(c[top:bottom + 1, cols[0]:cols[-1] + 1])
        if i + 1 < len(cells):
            parts.append(np.zeros((bottom - top + 1, gap), dtype=bool))
    return np.concatenate(parts, axis=1)


def stamp(grid, mask, x, y, colour):
    h, w = mask.shape
    region = grid[y:y + h, x:x + w]
    region[mask[:region.shape[0], :region.shape[1]]] = colour


def ramp(values, stops):
    """Maps 0..1 values to palette colours: stops is a list of (limit, colour),
    the first limit above the value wins."""
    out = np.zeros(values.shape, dtype=np.uint8)
    filled = np.zeros(values.shape, dtype=bool)
    for limit, colour in stops:
        pick = (~filled) & (values < limit)
        out[pick] = colour
        filled |= pick
    out[~filled] = stops[-1][1]
    return out


def dilate(mask, steps=1, diagonal=True):
    m = mask.copy()
    for _ in range(steps):
        n = m.copy()
        n[1:, :] |= m[:-1, :]
        n[:-1, :] |= m[1:, :]
        n[:, 1:] |= m[:, :-1]
        n[:, :-1] |= m[:, 1:]
        if diagonal:
            n[1:, 1:] |= m[:-1, :-1]
            n[1:, :-1] |= m[:-1, 1:]
            n[:-1, 1:] |= m[1:, :-1]
            n[:-1, :-1] |= m[1:, 1:]
        m = n
    return m


def cells_from_mask(mask, width, height):
    """Area-averages a high-resolution float mask down to width x height cells."""
    return common.resize_mask(mask, width, height)


def bayer(width, height):
    """4x4 ordered-dither thresholds in 0..1 tiled over the grid."""
    m = np.array([[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]) / 16.0 + 1 / 32.0
    return np.tile(m, (height // 4 + 1, width // 4 + 1))[:height, :width]


# >> snake interface

def _glyphs(rows):
    return np.array([[c == "#" for c in r] for r in rows], dtype=bool)


TITLE_FONT = {
    "S": _glyphs([".###", "#...", "#...", ".##.", "...#", "...#", "###."]),
    "N": _glyphs(["#..#", "##.#", "##.#", "#.##", "#.##", "#..#", "#..#"]),
    "A": _glyphs([".##.", "#..#", "#..#", "####", "#..#", "#..#", "#..#"]),
    "K": _glyphs(["#..#", "#.#.", "##..", "##..", "#.#.", "#..#", "#..#"]),
    "E": _glyphs(["####", "#...", "#...", "###.", "#...", "#...", "####"]),
}


def snake_interface():
    g = np.zeros((50, 80), dtype=np.uint8)
    # Frame around the playfield (cells 1..48): a bevelled double edge.
    g[0, 0:50] = CYAN
    g[0:50, 0] = CYAN
    g[49, 0:50] = DBLUE
    g[0:50, 49] = DBLUE
    g[0, 49] = BLUE
    g[49, 0] = BLUE
    for i in range(2, 48, 6):   # rivets along the frame
        g[0, i + 1] = WHITE
        g[i + 1, 0] = WHITE
        g[49, i + 1] = BLUE
        g[i + 1, 49] = BLUE

    def plate(x0, y0, x1, y1):
        """A bevelled box whose inside (x0+1..x1-1, y0+1..y1-1) is dark green,
        the background of the panel texts, so spaces and digits blend in."""
        g[y0, x0:x1 + 1] = GREEN
        g[y0:y1 + 1, x0] = GREEN
        g[y1, x0:x1 + 1] = DCYAN
        g[y0:y1 + 1, x1] = DCYAN
        g[y0 + 1:y1, x0 + 1:x1] = DGREEN

    # Score panel: texts at rows 3-7 from column 55, numbers from column 67.
    plate(52, 1, 78, 9)
    # Menu: rows 24-26 from column 53.
    plate(51, 22, 71, 28)

    # Title between the two plates, in a 4 x 7 block font shaded top to bottom.
    title = np.concatenate([np.concatenate([TITLE_FONT[c], np.zeros((7, 1), bool)], axis=1)
                            for c in "SNAKE"], axis=1)[:, :-1]
    x, y = 50 + (30 - title.shape[1]) // 2, 12
    colours = [WHITE, YELLOW, YELLOW, GREEN, GREEN, DGREEN, DGREEN]
    for r in range(7):
        stamp(g, title[r:r + 1], x, y + r, colours[r])

    # A coiled snake below the menu (rows 31-47), drawn from a thick curve.
    ys, xs = np.mgrid[0:17 * 4, 0:27 * 4] / 4.0
    xs = xs * CELL_ASPECT
    body = np.zeros(ys.shape, dtype=np.float32)
    t = np.linspace(0.0, 1.0, 400)
    px = (3 + 20 * t) * CELL_ASPECT
    py = 9 + 5.0 * np.sin(t * 3.2 * math.pi) * (0.6 + 0.4 * t)
    radius = 1.2 + 1.3 * t
    for cx, cy, r in zip(px, py, radius):
        body = np.maximum(body, np.clip(r - np.hypot(xs - cx, ys - cy) + 0.5, 0, 1))
    cells = cells_from_mask(body, 27, 17) > 0.45
    hx, hy = int(px[-1] / CELL_ASPECT + 0.5), int(py[-1] + 0.5)
    area = g[31:48, 52:79]
    stripes = (np.add.outer(np.arange(17), np.arange(27)) // 2) % 3 == 0
    area[cells] = GREEN
    area[cells & stripes] = DGREEN
    edge = cells & ~np.roll(cells, 1, axis=0)
    area[edge] = YELLOW
    # Head: a yellow-eyed blob with a forked red tongue.
    area[hy - 1:hy + 2, hx - 1:hx + 2][cells[hy - 1:hy + 2, hx - 1:hx + 2]] = GREEN
    area[hy - 1, hx] = YELLOW
    area[hy, hx + 2] = RED
    area[hy - 1, hx + 3] = RED
    area[hy + 1, hx + 3] = RED
    return g


# >> big letters and backdrops

def halvoren_logo():
    """300 x 80: "HALVOREN" in chrome letters with a dark blue outline and a
    grey drop shadow; everything else transparent."""
    w, h = 300, 80
    scale = 8
    text = common.text_mask("HALVOREN", "gothic-demi", 100, spacing=0.06, tight=True)
    # Letters 58 rows tall, as wide as the picture allows after the aspect squeeze.
    letters_h = 58 * scale
    letters_w = int(text.shape[1] * letters_h / text.shape[0] / CELL_ASPECT)
    letters_w = min(letters_w, 284 * scale)
    big = common.resize_mask(text, letters_w, letters_h)
    canvas = np.zeros((h * scale, w * scale), dtype=np.float32)
    x0 = (w * scale - letters_w) // 2
    y0 = (h * scale - letters_h) // 2 - 2 * scale
    canvas[y0:y0 + letters_h, x0:x0 + letters_w] = big
    cells = cells_from_mask(canvas, w, h) > 0.5
    g = np.zeros((h, w), dtype=np.uint8)
    rows = np.nonzero(cells.any(axis=1))[0]
    top, bottom = rows[0], rows[-1]
    v = (np.arange(h) - top) / max(1, bottom - top)
    # Chrome: sky above the horizon, ground below it, with a bright rim.
    stops = [(0.08, WHITE), (0.22, CYAN), (0.38, DCYAN), (0.50, BLUE),
             (0.53, WHITE), (0.66, YELLOW), (0.80, BROWN), (1.01, DRED)]
    band = ramp(np.repeat(v[:, None], w, axis=1), stops)
    outline = dilate(cells, 1) & ~cells
    shadow = np.zeros_like(cells)
    shadow[3:, 3:] = dilate(cells, 1)[:-3, :-3]
    g[shadow] = DGREY
    g[outline] = LGREY
    g[cells] = band[cells]
    # Highlights: the top edge of every stroke catches the light.
    top_edge = cells & ~np.roll(cells, 1, axis=0)
    g[top_edge & (np.repeat(v[:, None], w, axis=1) < 0.5)] = WHITE
    return g


def halvos_backdrop():
    """256 x 256 tileable backdrop in dark colours: four big bevelled
    diamonds, each holding an "H". The rotozoom mostly samples it many texels
    per cell, so every feature is broad (8 texels and up) to alias gracefully."""
    n = 256
    y, x = np.mgrid[0:n, 0:n].astype(np.float32)
    tile = 128.0
    u = (x % tile) / tile - 0.5
    v = (y % tile) / tile - 0.5
    d = np.abs(u) + np.abs(v)                      # diamond distance 0..1
    alt = ((x // tile) + (y // tile)) % 2 == 0
    g = np.where(alt, DMAGENTA, DBLUE).astype(np.uint8)
    g[d >= 0.42] = BLACK
    # Bevel: light on the upper-left edges of each diamond, dark below.
    rim = (d > 0.34) & (d < 0.42)
    g[rim & (u + v < 0)] = np.where(alt, MAGENTA, BLUE)[rim & (u + v < 0)]
    g[rim & (u + v >= 0)] = DGREY
    # An "H" in the middle of every diamond.
    h_mask = (np.abs(v) < 0.15) & (((np.abs(u) > 0.06) & (np.abs(u) < 0.14)) |
                                   ((np.abs(v) < 0.035) & (np.abs(u) < 0.14)))
    g[h_mask] = np.where(alt, BLUE, DCYAN)[h_mask]
    # Broad dark-cyan studs where four diamonds meet.
    stud = np.hypot(np.minimum(u + 0.5, 0.5 - u), np.minimum(v + 0.5, 0.5 - v)) < 0.09
    g[stud] = DCYAN
    return g


def dance_backdrop():
    """256 x 256 tileable backdrop for the dancer: broad contour bands of a
    slow interference pattern in dark blues, cyan and magenta (every period
    divides 256, so the picture tiles; bands are wide so the rotozoom's
    coarse sampling keeps their shapes)."""
    n = 256
    y, x = np.mgrid[0:n, 0:n].astype(np.float64) * (2 * math.pi / n)
    f = (np.sin(x) + np.sin(y) + np.sin(x + y + 0.5 * np.sin(2 * y)) + 0.6 * np.cos(2 * x - y)) / 3.6
    bands = [DBLUE, BLUE, DMAGENTA, DBLUE, DCYAN, BLACK, DCYAN, BLUE]
    index = np.floor((f + 1) * 4).astype(int) % len(bands)
    return np.array(bands, dtype=np.uint8)[index]


# >> fire pictures

def fire_text(word, seed):
    """80 x 50: a word in hot colours with flame tongues rising from it."""
    rng = np.random.default_rng(seed)
    w, h = 80, 50
    scale = 8
    text = common.text_mask(word, "dejavu-bold", 100, spacing=0.04, tight=True)
    th = 20 * scale
    tw = min(int(text.shape[1] * th / text.shape[0] / CELL_ASPECT), 74 * scale)
    big = common.resize_mask(text, tw, th)
    canvas = np.zeros((h * scale, w * scale), dtype=np.float32)
    y0 = 25 * scale
    x0 = (w * scale - tw) // 2
    canvas[y0:y0 + th, x0:x0 + tw] = big
    letters = cells_from_mask(canvas, w, h) > 0.5
    # Heat: the letters are the source; columns above them carry flames of
    # random height, shaped by a little noise.
    heat = letters.astype(np.float32)
    col_height = np.convolve(rng.random(w), np.ones(5) / 5, mode="same") * 16 + 4
    tops = np.argmax(letters, axis=0)
    has = letters.any(axis=0)
    for c in range(w):
        if not has[c]:
            continue
        for r in range(tops[c] - 1, max(-1, tops[c] - 1 - int(col_height[c])), -1):
            k = (tops[c] - r) / col_height[c]
            heat[r, c] = max(heat[r, c], 1.0 - k + rng.normal(0, 0.12))
    heat = common.blur(heat, 0.8)
    heat = np.maximum(heat, letters * 1.0)
    g = ramp(heat, [(0.18, BLACK), (0.32, DRED), (0.5, RED), (0.7, YELLOW), (2, WHITE)])
    # The letters themselves: white hot core with a yellow rim.
    inner = letters & ~dilate(~letters, 1, diagonal=False)
    g[letters] = YELLOW
    g[inner] = WHITE
    # Embers scattered above.
    for _ in range(40):
        r, c = rng.integers(0, 24), rng.integers(0, w)
        if g[r, c] == 0:
            g[r, c] = rng.choice([DRED, RED, YELLOW])
    # Glowing floor line under the letters.
    floor = y0 // scale + th // scale + 2
    if floor < h:
        g[floor, 4:76] = DRED
        g[floor, 10:70] = RED
    return g


# >> dancer

POSES = [
    # (name, joints in cell units: head, neck, hip, l/r elbow, l/r hand, l/r knee, l/r foot)
    # Beat 1: arms up in a V, feet apart.
    dict(neck=(40, 17), hip=(40, 31), head=(40, 11),
         le=(33, 11), lh=(29, 4), re=(47, 11), rh=(51, 4),
         lk=(35, 39), lf=(32, 47), rk=(45, 39), rf=(48, 47)),
    # Beat 2: lean left, left arm pointing up, right hand on the hip, right knee up.
    dict(neck=(38, 18), hip=(40, 32), head=(37, 12),
         le=(32, 12), lh=(30, 4), re=(46, 24), rh=(43, 30),
         lk=(37, 40), lf=(35, 48), rk=(47, 34), rf=(46, 43)),
    # Beat 3: crouch, arms out wide.
    dict(neck=(40, 21), hip=(40, 34), head=(40, 15),
         le=(31, 21), lh=(23, 18), re=(49, 21), rh=(57, 18),
         lk=(32, 40), lf=(31, 48), rk=(48, 40), rf=(49, 48)),
    # Beat 4: mirror of beat 2.
    dict(neck=(42, 18), hip=(40, 32), head=(43, 12),
         le=(48, 12), lh=(50, 4), re=(34, 24), rh=(37, 30),
         lk=(43, 40), lf=(45, 48), rk=(33, 34), rf=(34, 43)),
]


def dancer(pose):
    w, h = 80, 50
    scale = 6
    ys, xs = np.mgrid[0:h * scale, 0:w * scale].astype(np.float32) / scale
    xs = xs * CELL_ASPECT      # work in square units

    def seg(a, b, r0, r1):
        ax, ay = a[0] * CELL_ASPECT, a[1]
        bx, by = b[0] * CELL_ASPECT, b[1]
        dx, dy = bx - ax, by - ay
        t = np.clip(((xs - ax) * dx + (ys - ay) * dy) / (dx * dx + dy * dy + 1e-9), 0, 1)
        dist = np.hypot(xs - (ax + t * dx), ys - (ay + t * dy))
        return np.clip((r0 + (r1 - r0) * t) - dist + 0.5, 0, 1)

    p = pose
    limbs = [
        seg(p["neck"], p["hip"], 3.2, 2.6),
        seg(p["neck"], p["le"], 1.4, 1.2), seg(p["le"], p["lh"], 1.2, 1.0),
        seg(p["neck"], p["re"], 1.4, 1.2), seg(p["re"], p["rh"], 1.2, 1.0),
        seg(p["hip"], p["lk"], 1.8, 1.5), seg(p["lk"], p["lf"], 1.5, 1.3),
        seg(p["hip"], p["rk"], 1.8, 1.5), seg(p["rk"], p["rf"], 1.5, 1.3),
        seg(p["neck"], p["neck"], 1.5, 1.5),
    ]
    body = np.max(np.stack(limbs), axis=0)
    head = seg(p["head"], p["head"], 3.6, 3.6)
    hands = np.maximum(seg(p["lh"], p["lh"], 1.6, 1.6), seg(p["rh"], p["rh"], 1.6, 1.6))
    feet = np.maximum(seg(p["lf"], (p["lf"][0] - 2, p["lf"][1]), 1.3, 1.3),
                      seg(p["rf"], (p["rf"][0] + 2, p["rf"][1]), 1.3, 1.3))
    body_c = cells_from_mask(np.maximum(body, feet), w, h) > 0.45
    head_c = cells_from_mask(head, w, h) > 0.45
    hand_c = cells_from_mask(hands, w, h) > 0.45
    g = np.zeros((h, w), dtype=np.uint8)
    figure = body_c | head_c | hand_c
    # Dark outline so the dancer reads over the busy backdrop.
    g[dilate(figure, 1)] = DGREY
    g[body_c] = YELLOW
    # Light from the upper left: lit cells are those with an empty upper-left neighbour.
    lit = body_c & ~(np.roll(body_c, 1, axis=1) & np.roll(body_c, 1, axis=0))
    g[lit] = WHITE
    g[hand_c] = RED
    g[head_c] = YELLOW
    g[head_c & ~np.roll(head_c, 1, axis=0)] = WHITE
    # Sunglasses.
    hx, hy = p["head"]
    g[hy, hx - 2:hx + 3] = DGREY
    # Floor shadow.
    g[49, 26:55][g[49, 26:55] == 0] = DBLUE
    return g


# >> all

def build():
    pictures = {}
    pictures["textsnake/snakeinterface.raw"] = common.write_raw("textsnake/snakeinterface.raw", snake_interface())
    pictures["textbigsprite/halvos.raw"] = common.write_raw("textbigsprite/halvos.raw", halvos_backdrop())
    pictures["textbigsprite/halvoren.raw"] = common.write_raw("textbigsprite/halvoren.raw", halvoren_logo())
    pictures["textfire/firetext1.raw"] = common.write_raw("textfire/firetext1.raw", fire_text("HOT", 11))
    pictures["textfire/firetext2.raw"] = common.write_raw("textfire/firetext2.raw", fire_text("BURN", 12))
    for i, pose in enumerate(POSES):
        name = "textdance/dance%d.raw" % (i + 1)
        pictures[name] = common.write_raw(name, dancer(pose))
    pictures["textdance/rotozoom.raw"] = common.write_raw("textdance/rotozoom.raw", dance_backdrop())
    return pictures


if __name__ == "__main__":
    build()

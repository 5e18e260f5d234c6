#!/usr/bin/python3
"""Preview of the text-mode pictures as the ASCII renderer draws them: every
cell samples the font chart (nearest texel) with its background colour on the
background band plus its foreground colour on the foreground band.

  preview.py [out_dir]   writes ascii_<name>.png for every ".raw" picture
                         (80 x 50 windows; the big ones at several places) and
                         contact sheets of all images and all ".raw" pictures.
"""

import os
import sys

import numpy as np
from PIL import Image, ImageDraw

import common

COLUMNS, ROWS = 80, 50


def load_chart():
    chart = np.array(Image.open(os.path.join(common.DATA, "common/images/asciichart.png")).convert("L"))
    return chart.astype(np.float32) / 255.0


def render(chars, fg, bg, chart, cell_w=24, cell_h=21):
    """RGB picture of an 80 x 50 grid of codes and palette colours."""
    ch_h, ch_w = chart.shape[0] // 10, chart.shape[1] // 80
    # Texel inside a cell that each screen pixel samples (pixel centres, nearest).
    tx = ((np.arange(cell_w) + 0.5) * ch_w / cell_w).astype(int)
    ty = ((np.arange(cell_h) + 0.5) * ch_h / cell_h).astype(int)
    out = np.zeros((ROWS * cell_h, COLUMNS * cell_w, 3), dtype=np.float32)
    pal = common.PALETTE.astype(np.float32) / 255.0
    for y in range(ROWS):
        for x in range(COLUMNS):
            code = int(chars[y, x])
            cx = (code % 80) * ch_w
            fy = (code // 80) * ch_h
            by = (4 + code // 80) * ch_h
            fgm = chart[fy + ty][:, cx + tx]
            bgm = chart[by + ty][:, cx + tx]
            cell = fgm[..., None] * pal[fg[y, x]] + bgm[..., None] * pal[bg[y, x]]
            out[y * cell_h:(y + 1) * cell_h, x * cell_w:(x + 1) * cell_w] = cell
    return common.to_image(out)


def empty_grid():
    return (np.zeros((ROWS, COLUMNS), np.uint8), np.zeros((ROWS, COLUMNS), np.uint8),
            np.zeros((ROWS, COLUMNS), np.uint8))


def stamp_raw(grid, pixels, x, y):
    """The RawImage draw: window with top-left picture cell (x, y)."""
    chars, fg, bg = grid
    h, w = pixels.shape
    for i in range(max(0, -y), min(ROWS, h - y)):
        for j in range(max(0, -x), min(COLUMNS, w - x)):
            p = pixels[y + i, x + j]
            if p:
                chars[i, j], fg[i, j], bg[i, j] = 219, p, 0


def stamp_roto(grid, texels, zoom=1.0, angle=0.3):
    """A still of the rotozoom: cell (x, y) samples u = x a - y b, v = x b + y a."""
    chars, fg, bg = grid
    a, b = zoom * np.cos(angle), zoom * np.sin(angle)
    for y in range(ROWS):
        for x in range(COLUMNS):
            u, v = x * a - y * b, x * b + y * a
            chars[y, x], fg[y, x], bg[y, x] = 219, texels[int(np.floor(v)) & 255, int(np.floor(u)) & 255], 0


def write_text(grid, row, col, text, f=15, b=2):
    chars, fg, bg = grid
    for i, c in enumerate(text):
        if c != " ":
            chars[row, col + i], fg[row, col + i], bg[row, col + i] = ord(c), f, b


def snake_scene(interface, chart):
    """The snake scene's panel, a snake and some stars over the interface."""
    grid = empty_grid()
    chars, fg, bg = grid
    rng = np.random.default_rng(3)
    for _ in range(30):
        x, y, s = rng.integers(0, 80), rng.integers(0, 50), rng.integers(1, 7)
        chars[y, x], fg[y, x], bg[y, x] = 46, 8 if s <= 3 else 15, 0
    stamp_raw(grid, interface, 0, 0)
    write_text(grid, 3, 61, "SIZE:"); write_text(grid, 3, 67, "15")
    write_text(grid, 4, 60, "SCORE:"); write_text(grid, 4, 67, "1234")
    write_text(grid, 6, 55, "LAST SCORE:"); write_text(grid, 6, 67, "98765")
    write_text(grid, 7, 55, "HIGH SCORE:"); write_text(grid, 7, 67, "1234567890")
    write_text(grid, 24, 53, "  1 - AI snake")
    write_text(grid, 25, 53, "  2 - Play snake")
    write_text(grid, 26, 53, "ESC - Quit")
    chars[10, 30], fg[10, 30], bg[10, 30] = 3, 12, 0
    body = [(24, 20 + i) for i in range(10)] + [(25 + i, 29) for i in range(5)]
    for x, y in body[1:]:
        chars[y, x], fg[y, x], bg[y, x] = 254, 2, 10
    chars[20, 24], fg[20, 24], bg[20, 24] = 2, 14, 0
    return render(*grid, chart)


def raw_picture(pixels, x=0, y=0):
    grid = empty_grid()
    stamp_raw(grid, pixels, x, y)
    return grid


def full_raw(pixels):
    """The whole picture, one 8 x 8 block per cell, for a contact sheet."""
    pal = common.PALETTE
    img = Image.fromarray(pal[pixels])
    return img.resize((pixels.shape[1] * 4, pixels.shape[0] * 4), Image.NEAREST)


def sheet(tiles, columns, tile_w, title, path):
    """Contact sheet: tiles (label, image) scaled to tile_w wide, labelled."""
    rows = []
    label_h = 22
    scaled = []
    for label, img in tiles:
        h = int(img.height * tile_w / img.width)
        scaled.append((label, img.convert("RGB").resize((tile_w, h), Image.LANCZOS)))
    heights = []
    for i in range(0, len(scaled), columns):
        heights.append(max(im.height for _, im in scaled[i:i + columns]) + label_h + 8)
    pad = 8
    sheet_img = Image.new("RGB", (columns * (tile_w + pad) + pad, sum(heights) + 40), (40, 40, 48))
    draw = ImageDraw.Draw(sheet_img)
    draw.text((pad, 10), title, fill=(255, 255, 255), font=common.font("dejavu-bold", 18))
    y = 40
    label_font = common.font("dejavu-bold", 13)
    for row, i in enumerate(range(0, len(scaled), columns)):
        for k, (label, im) in enumerate(scaled[i:i + columns]):
            x = pad + k * (tile_w + pad)
            draw.text((x, y), label, fill=(230, 230, 160), font=label_font)
            sheet_img.paste(im, (x, y + label_h))
        y += heights[row]
    sheet_img.save(path)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(common.ROOT, "build-images-preview")
    os.makedirs(out, exist_ok=True)
    chart = load_chart()
    d = common.DATA
    raw = {
        "snakeinterface": common.read_raw(os.path.join(d, "textsnake/snakeinterface.raw"), 80, 50),
        "halvos": common.read_raw(os.path.join(d, "textbigsprite/halvos.raw"), 256, 256),
        "halvoren": common.read_raw(os.path.join(d, "textbigsprite/halvoren.raw"), 300, 80),
        "firetext1": common.read_raw(os.path.join(d, "textfire/firetext1.raw"), 80, 50),
        "firetext2": common.read_raw(os.path.join(d, "textfire/firetext2.raw"), 80, 50),
        "rotozoom": common.read_raw(os.path.join(d, "textdance/rotozoom.raw"), 256, 256),
    }
    for i in range(4):
        raw["dance%d" % (i + 1)] = common.read_raw(os.path.join(d, "textdance/dance%d.raw" % (i + 1)), 80, 50)

    shots = []
    shots.append(("snake scene (interface + texts)", snake_scene(raw["snakeinterface"], chart)))
    shots.append(("snakeinterface.raw", render(*raw_picture(raw["snakeinterface"]), chart)))
    for x, y in [(0, 0), (110, 30), (220, 6)]:
        grid = empty_grid()
        stamp_roto(grid, raw["halvos"], 1.3 + 3 * (x / 110.0), 0.4)
        stamp_raw(grid, raw["halvoren"], x, y)
        shots.append(("halvoren.raw at (%d,%d) over halvos" % (x, y), render(*grid, chart)))
    for name in ("firetext1", "firetext2"):
        shots.append((name + ".raw", render(*raw_picture(raw[name]), chart)))
    for i in range(4):
        grid = empty_grid()
        stamp_roto(grid, raw["rotozoom"], 1.6 + 3 * i, 0.25 * i)
        stamp_raw(grid, raw["dance%d" % (i + 1)], 0, 0)
        shots.append(("dance%d.raw over rotozoom" % (i + 1), render(*grid, chart)))
    for name in ("halvos", "rotozoom"):
        grid = empty_grid()
        stamp_roto(grid, raw[name], 1.0, 0.0)
        shots.append((name + ".raw (80 x 50 at zoom 1)", render(*grid, chart)))
    for label, img in shots:
        img.save(os.path.join(out, "ascii_" + label.split(" ")[0].replace(".raw", "") + ".png"))
    sheet(shots, 3, 640, "Halvoren text-mode pictures, rendered with data/common/images/asciichart.png",
          os.path.join(out, "contact_raw.png"))
    full = [(n + ".raw %dx%d" % (p.shape[1], p.shape[0]), full_raw(p)) for n, p in raw.items()]
    sheet(full, 4, 420, "Halvoren .raw pictures, whole, one block per cell", os.path.join(out, "contact_raw_whole.png"))

    images = []
    for rel in ["common/images/asciichart.png", "common/images/halvoren_logo_transp.png",
                "common/images/own_particle_256.png", "common/images/stone_wall.png",
                "common/images/stone_wall_normal_map.png", "greetings/greetings.png"] + \
               ["randomsspics/pic%02d.jpg" % i for i in range(1, 9)]:
        path = os.path.join(d, rel)
        if os.path.exists(path):
            img = Image.open(path)
            if img.mode == "RGBA":
                # Show transparency over a checker board.
                checker = np.indices((img.height, img.width)).sum(axis=0) // 16 % 2
                bgc = Image.fromarray(np.where(checker[..., None], 70, 40).repeat(3, axis=2).astype(np.uint8))
                bgc.paste(img, (0, 0), img)
                img = bgc
            images.append((rel + " %dx%d" % Image.open(path).size, img))
    sheet(images, 3, 600, "Halvoren images", os.path.join(out, "contact_images.png"))
    glow_dir = os.path.join(d, "glowgreets")
    if os.path.isdir(glow_dir):
        glow = []
        for name in sorted(os.listdir(glow_dir)):
            img = Image.open(os.path.join(glow_dir, name))
            glow.append((name + " %dx%d" % img.size, img))
        sheet(glow, 6, 300, "Halvoren glow greetings and masks", os.path.join(out, "contact_glowgreets.png"))


if __name__ == "__main__":
    main()

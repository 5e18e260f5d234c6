#!/usr/bin/python3
"""Builds the show's pictures (besides the font chart and the slide show):

  data/common/images/halvoren_logo_transp.png   2048 x 512 RGBA, drawn additively x alpha
  data/common/images/own_particle_256.png       256 x 256 RGBA soft round sprite
  data/common/images/stone_wall.png             1024 x 1024 RGB, tileable
  data/common/images/stone_wall_normal_map.png  1024 x 1024 RGB, tangent space (+Y up)
  data/greetings/greetings.png                  1920 x 1080 RGB, black with bright text
  data/glowgreets/<name>.jpg, <name>_mask.jpg   1280 x 720, 19 greeted names (GREETED)
"""

import numpy as np
from PIL import Image, ImageDraw

import common
from common import blur, to_image

# The 19 greeted names: (file name, name as shown, kind). Entry 0 is a group,
# entries 1 and 2 are people, 3-18 groups. All invented.
GREETED = [
    ("quartzmoth", "Quartz Moth", "group"),
    ("velanix", "Vela Nix", "person"),
    ("orrinkale", "Orrin Kale", "person"),
    ("tinfoilorchard", "Tinfoil Orchard", "group"),
    ("basaltchoir", "Basalt Choir", "group"),
    ("neonmarrow", "Neon Marrow", "group"),
    ("copperwyrm", "Copperwyrm", "group"),
    ("glasspike", "Glasspike", "group"),
    ("vortenfeld", "Vortenfeld", "group"),
    ("ochrelantern", "Ochre Lantern", "group"),
    ("umbrafold", "Umbrafold", "group"),
    ("saltmarshcartel", "Saltmarsh Cartel", "group"),
    ("hexaburrow", "Hexaburrow", "group"),
    ("cobaltine", "Cobaltine", "group"),
    ("wintermint", "Wintermint", "group"),
    ("pelicanstatic", "Pelican Static", "group"),
    ("zephyrlogic", "Zephyrlogic", "group"),
    ("moirehounds", "Moire Hounds", "group"),
    ("brassfern", "Brassfern", "group"),
]


def smoothstep(e0, e1, x):
    t = np.clip((x - e0) / (e1 - e0), 0.0, 1.0)
    return t * t * (3 - 2 * t)


def tile_noise(size, period, seed, octaves=5, gain=0.5):
    """Tileable fractal value noise in 0..1 on a size x size grid; the
    coarsest lattice has `period` cells across."""
    rng = np.random.default_rng(seed)
    total = np.zeros((size, size), dtype=np.float32)
    amp, norm = 1.0, 0.0
    p = period
    for _ in range(octaves):
        lattice = rng.random((p, p)).astype(np.float32)
        coords = np.arange(size) * p / size
        i0 = np.floor(coords).astype(int)
        f = coords - i0
        f = f * f * (3 - 2 * f)
        i1 = (i0 + 1) % p
        i0 = i0 % p
        a = lattice[i0][:, i0] * (1 - f)[None, :] + lattice[i0][:, i1] * f[None, :]
        b = lattice[i1][:, i0] * (1 - f)[None, :] + lattice[i1][:, i1] * f[None, :]
        total += amp * (a * (1 - f)[:, None] + b * f[:, None])
        norm += amp
        amp *= gain
        p *= 2
    return total / norm


# >> logo

def logo():
    w, h = 2048, 512
    text = common.text_mask("HALVOREN", "gothic-demi", 300, spacing=0.10, tight=True)
    tw = 1840
    th = int(text.shape[0] * tw / text.shape[1])
    letters = np.zeros((h, w), dtype=np.float32)
    x0, y0 = (w - tw) // 2, (h - th) // 2 - 20
    letters[y0:y0 + th, x0:x0 + tw] = common.resize_mask(text, tw, th)
    y = np.arange(h, dtype=np.float32)[:, None]
    v = np.clip((y - y0) / th, 0, 1)
    # Chrome: deep blue sky fading to white at the horizon, warm ground below.
    sky = np.stack([0.15 + 0.85 * v ** 2, 0.35 + 0.65 * v ** 1.5, 0.9 + 0.1 * v], axis=-1) / 1.0
    ground = np.stack([1.0 - 0.1 * (v - 0.55), 0.75 - 0.9 * (v - 0.55), 0.35 - 0.5 * (v - 0.55)], axis=-1)
    horizon = v < 0.55
    chrome = np.where(horizon[..., None], sky, ground)
    chrome = np.broadcast_to(chrome, (h, w, 3))
    # Thin bright line at the horizon.
    chrome = np.where((np.abs(v - 0.55) < 0.012)[..., None], 1.0, chrome)
    # Rim: the outline around the letters, bright cyan-white.
    grown = np.clip(blur(letters, 3.0) * 3.0, 0, 1)
    rim = np.clip(grown - letters, 0, 1)
    glow = blur(letters, 22.0)
    glow = np.clip(glow * 1.6, 0, 1)
    # A horizontal light streak through the middle of the word.
    ys = np.arange(h, dtype=np.float32)[:, None]
    xs = np.arange(w, dtype=np.float32)[None, :]
    streak = np.exp(-((ys - (y0 + 0.55 * th)) / 3.0) ** 2) * np.exp(-((xs - w / 2) / (w * 0.42)) ** 2)
    rgb = chrome * letters[..., None]
    rgb += np.array([0.75, 0.95, 1.0]) * rim[..., None]
    halo = np.clip(glow - letters - rim, 0, 1)
    rgb += np.array([0.2, 0.55, 1.0]) * halo[..., None]
    rgb += np.array([0.8, 0.9, 1.0]) * streak[..., None]
    alpha = np.clip(letters + rim + 0.55 * halo + 0.9 * streak, 0, 1)
    # Colour where alpha is not zero is what gets added; keep it unpremultiplied.
    safe = np.maximum(alpha, 1e-4)[..., None]
    colour = np.clip(rgb / safe, 0, 1)
    rgba = np.concatenate([colour, alpha[..., None]], axis=-1)
    img = Image.fromarray((rgba * 255 + 0.5).astype(np.uint8), "RGBA")
    common.save_png("common/images/halvoren_logo_transp.png", img)


# >> particle

def particle():
    n = 256
    y, x = np.mgrid[0:n, 0:n].astype(np.float32)
    r = np.hypot(x - (n - 1) / 2, y - (n - 1) / 2) / (n / 2)
    core = np.exp(-(r / 0.10) ** 2)
    halo = np.exp(-(r / 0.38) ** 2) * 0.45
    value = (core + halo) / 1.45
    value *= 1.0 - smoothstep(0.75, 1.0, r)
    value = np.clip(value, 0, 1)
    rgba = np.stack([value, value, value, value], axis=-1)
    img = Image.fromarray((rgba * 255 + 0.5).astype(np.uint8), "RGBA")
    common.save_png("common/images/own_particle_256.png", img)


# >> stone wall

def stone_wall():
    n = 1024
    rng = np.random.default_rng(1977)
    height = np.zeros((n, n), dtype=np.float32)
    stone_id = np.zeros((n, n), dtype=np.int32)
    # Wobble the lookup coordinates so the stones are not perfect boxes.
    wx = (tile_noise(n, 8, 5, octaves=3) - 0.5) * 28
    wy = (tile_noise(n, 8, 6, octaves=3) - 0.5) * 22
    yy, xx = np.mgrid[0:n, 0:n].astype(np.float32)
    sx = (xx + wx) % n
    sy = (yy + wy) % n
    # Courses of varying height that add up to the tile; stones of varying width per course.
    courses = [112, 136, 120, 144, 104, 128, 152, 128]
    assert sum(courses) == n
    edge = np.full((n, n), 1e9, dtype=np.float32)
    top = 0
    next_id = 1
    for ch in courses:
        in_course = (sy >= top) & (sy < top + ch)
        # Stone boundaries along x, wrapping around the tile.
        widths, rest = [], n
        while rest > 300:
            widths.append(int(rng.integers(150, min(300, rest - 150) + 1)))
            rest -= widths[-1]
        widths.append(rest)
        offset = int(rng.integers(0, n))
        starts = (np.cumsum([0] + widths[:-1]) + offset) % n
        for s, wdt in zip(starts, widths):
            lx = (sx - s) % n
            inside = in_course & (lx < wdt)
            d = np.minimum(np.minimum(lx, wdt - lx), np.minimum(sy - top, top + ch - sy))
            edge = np.where(inside, d, edge)
            stone_id = np.where(inside, next_id, stone_id)
            next_id += 1
        top += ch
    mortar = 7.0
    bevel = smoothstep(mortar, mortar + 26.0, edge)
    rough = tile_noise(n, 16, 9, octaves=6)
    fine = tile_noise(n, 64, 10, octaves=4)
    chips = smoothstep(0.62, 0.7, tile_noise(n, 24, 11, octaves=4))
    height = 0.55 * bevel + 0.25 * rough * bevel + 0.08 * fine - 0.18 * chips * bevel
    height += 0.05 * tile_noise(n, 128, 12, octaves=2)
    # Colour: each stone its own shade of grey-brown, mortar darker and sandy.
    brightness = rng.uniform(-1.0, 1.0, size=next_id + 1)
    warmth = rng.uniform(-1.0, 1.0, size=next_id + 1)
    base = np.array([0.47, 0.44, 0.40])
    stone_col = (base * (1.0 + 0.14 * brightness[stone_id])[..., None] +
                 warmth[stone_id][..., None] * np.array([0.035, 0.01, -0.03]))
    stone_col = stone_col * (0.75 + 0.5 * rough[..., None]) * (0.9 + 0.2 * fine[..., None])
    stone_col *= (1 - 0.35 * chips[..., None])
    moss = smoothstep(0.55, 0.75, tile_noise(n, 6, 13, octaves=4)) * (1 - bevel) ** 0.5
    mortar_col = np.array([0.30, 0.28, 0.24]) * (0.7 + 0.6 * fine[..., None])
    colour = stone_col * bevel[..., None] + mortar_col * (1 - bevel[..., None])
    colour = colour * (1 - 0.5 * moss[..., None]) + np.array([0.16, 0.24, 0.10]) * 0.5 * moss[..., None]
    # Ambient occlusion from the height: crevices darker.
    ao = np.clip(0.62 + 0.8 * (height - blur(height, 10.0, wrap=True)) + 0.38 * bevel, 0.45, 1.0)
    colour *= ao[..., None]
    common.save_png("common/images/stone_wall.png", to_image(colour))
    # Normal map: gradients with wrap-around so it tiles like the colour.
    depth = 24.0
    dx = (np.roll(height, -1, axis=1) - np.roll(height, 1, axis=1)) * 0.5 * depth
    dy = (np.roll(height, -1, axis=0) - np.roll(height, 1, axis=0)) * 0.5 * depth
    # Image rows go down while texture v goes up, so the v gradient is -dy.
    nx, ny, nz = -dx, dy, np.ones_like(dx)
    length = np.sqrt(nx * nx + ny * ny + nz * nz)
    normal = np.stack([nx, ny, nz], axis=-1) / length[..., None]
    common.save_png("common/images/stone_wall_normal_map.png", to_image(normal * 0.5 + 0.5))


# >> greetings

def glow_text(canvas_w, canvas_h, items):
    """Draws (text, font, size, centre x, centre y, colour) items; returns
    an RGB float picture of bright glowing text on black."""
    rgb = np.zeros((canvas_h, canvas_w, 3), dtype=np.float32)
    for text, font_name, size, cx, cy, colour in items:
        mask = common.text_mask(text, font_name, size)
        hgt, wid = mask.shape
        layer = np.zeros((canvas_h, canvas_w), dtype=np.float32)
        x0, y0 = int(cx - wid / 2), int(cy - hgt / 2)
        layer[y0:y0 + hgt, x0:x0 + wid] = mask
        glow = blur(layer, size * 0.22)
        col = np.array(colour, dtype=np.float32)
        rgb += col * (0.9 * glow[..., None]) + (0.55 + 0.45 * col) * layer[..., None]
    return rgb


def greetings():
    w, h = 1920, 1080
    items = [("GREETINGS", "gothic-demi", 92, w / 2, 110, (1.0, 0.55, 0.15))]
    names = [g[1] for g in GREETED]
    # Names in two bands, leaving the middle third to the oscilloscope trace.
    upper, lower = names[:9], names[9:]
    upper_rows = [upper[0:3], upper[3:6], upper[6:9]]
    # The row of four takes the short names, so none of them touch.
    lower_rows = [[lower[0], lower[1], lower[2]], [lower[3], lower[4], lower[5], lower[7]],
                  [lower[6], lower[8], lower[9]]]
    for rows, rows_y in ((upper_rows, (250, 330, 410)), (lower_rows, (690, 770, 850))):
        for r, (y, row) in enumerate(zip(rows_y, rows)):
            for k, name in enumerate(row):
                x = w * (k + 1) / (len(row) + 1)
                colour = (0.35, 0.85, 1.0) if (r + k) % 2 == 0 else (0.75, 1.0, 0.45)
                items.append((name, "dejavu-cond-bold", 40, x, y, colour))
    rgb = glow_text(w, h, items)
    # Two thin rules that frame the trace's band.
    for y in (500, 580):
        rgb[y - 1:y + 1, 160:w - 160] += np.array([0.25, 0.5, 0.3])
    common.save_png("greetings/greetings.png", to_image(rgb))


# >> glowing greetings

GLOW_FONTS = ["gothic-demi", "dejavu-bold", "bookman-demi", "c059-bold", "sans-bold", "p052-bolditalic"]


def hsv(h, s, v):
    import colorsys
    return np.array(colorsys.hsv_to_rgb(h % 1.0, s, v), dtype=np.float32)


def glow_picture(index, shown, kind):
    w, h = 1280, 720
    rng = np.random.default_rng(100 + index)
    hue = (index * 0.137 + 0.55) % 1.0
    dark = hsv(hue, 0.8, 0.18)
    mid = hsv(hue + 0.05, 0.7, 0.55)
    light = hsv(hue - 0.04, 0.25, 1.0)
    y, x = np.mgrid[0:h, 0:w].astype(np.float32)
    # Background: vignetted gradient with a perspective grid floor and a sun-like disc.
    r = np.hypot((x - w / 2) / w, (y - h * 0.45) / h)
    bg = dark * (1.0 - 0.9 * r[..., None]) + hsv(hue + 0.5, 0.6, 0.05) * r[..., None]
    horizon = h * 0.62
    below = y > horizon
    depth = np.where(below, 60.0 / np.maximum(y - horizon, 1.0), 0)
    gx = np.where(below, (x - w / 2) * depth / 60.0, 0)
    lines = (np.abs(((gx * 3) % 1.0) - 0.5) > 0.47) | (np.abs(((depth * 2 + index * 0.1) % 1.0) - 0.5) > 0.44)
    fade = np.clip((y - horizon) / (h - horizon), 0, 1)
    bg += (mid * 0.7)[None, None, :] * (lines & below)[..., None] * fade[..., None]
    sun_r = np.hypot(x - w / 2, y - horizon + 40) / 230
    sun = np.clip(1.0 - sun_r, 0, 1) ** 0.5 * (y < horizon)
    stripes = (np.sin(y / 9.0) > -0.2 + 1.2 * (1 - (horizon - y) / 230)) | (y < horizon - 120)
    bg += hsv(hue + 0.08, 0.7, 0.35)[None, None, :] * (sun * stripes)[..., None]
    # Stars in the sky.
    for _ in range(140):
        sx, sy = rng.integers(0, w), rng.integers(0, int(horizon))
        b = rng.uniform(0.2, 0.8)
        bg[sy, sx] += b
    bg = np.clip(bg, 0, 1)
    # Caption and the name.
    caption = "respect to" if kind == "person" else "greetings to"
    font_name = GLOW_FONTS[index % len(GLOW_FONTS)]
    name_mask = common.text_mask(shown, font_name, 150, width_limit=1100)
    nh, nw = name_mask.shape
    layer = np.zeros((h, w), dtype=np.float32)
    nx0, ny0 = (w - nw) // 2, int(h * 0.43 - nh / 2)
    layer[ny0:ny0 + nh, nx0:nx0 + nw] = name_mask
    cap_mask = common.text_mask(caption, "gothic-book", 34)
    ch, cw = cap_mask.shape
    cap = np.zeros((h, w), dtype=np.float32)
    cap[ny0 - ch - 40:ny0 - 40, (w - cw) // 2:(w - cw) // 2 + cw] = cap_mask
    # Letters: vertical gradient from light to the hue, with a darker edge and a shadow.
    v = np.clip((y - ny0) / nh, 0, 1)[..., None]
    fill = light * (1 - v) + mid * v
    shadow = blur(np.roll(np.roll(layer, 10, axis=0), 8, axis=1), 6.0)
    picture = bg * (1 - 0.75 * shadow[..., None])
    edge = np.clip(np.clip(blur(layer, 2.0) * 2.5, 0, 1) - layer, 0, 1)
    picture = picture * (1 - layer[..., None]) + fill * layer[..., None]
    picture = picture * (1 - edge[..., None]) + (mid * 0.35) * edge[..., None]
    picture += hsv(hue, 0.3, 0.9) * cap[..., None]
    common.save_jpg("glowgreets/%s.jpg" % GREETED[index][0], to_image(picture), 90)
    # Mask: the name's letters in white, everything else black.
    common.save_jpg("glowgreets/%s_mask.jpg" % GREETED[index][0], to_image(np.repeat(layer[..., None], 3, axis=2)), 90)


def build():
    logo()
    particle()
    stone_wall()
    greetings()
    for i, (_, shown, kind) in enumerate(GREETED):
        glow_picture(i, shown, kind)


if __name__ == "__main__":
    import sys
    if len(sys.argv) > 1:
        for part in sys.argv[1:]:
            globals()[part]()
    else:
        build()

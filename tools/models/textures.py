"""textures: the pictures the two models use, drawn with numpy and PIL from fixed seeds."""
import math

import numpy as np
from PIL import Image, ImageDraw, ImageFilter, ImageFont

FONT_BOLD = '/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf'
FONT_CONDENSED = '/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-Bold.ttf'


def _noise(rng, size, blur):
    n = Image.fromarray((rng.random((size, size)) * 255).astype(np.uint8))
    if blur:
        n = n.filter(ImageFilter.GaussianBlur(blur))
    a = np.asarray(n, dtype=float) / 255.0
    return (a - a.mean()) / (a.std() + 1e-9)


def tolex(path):
    """Black vinyl cabinet covering: a fine pebbled grain."""
    rng = np.random.default_rng(11)
    grain = 0.6 * _noise(rng, 256, 1.2) + 0.4 * _noise(rng, 256, 3)
    base = 50 + 5 * grain
    rgb = np.stack([base, base, base * 1.04], -1)
    Image.fromarray(np.clip(rgb, 0, 255).astype(np.uint8)).save(path, optimize=True)


def grille(path):
    """Perforated steel: staggered round holes on a dark powder coat, one tile of 8 x 8 holes."""
    size, holes = 256, 8
    img = Image.new('RGB', (size, size), (58, 60, 64))
    d = ImageDraw.Draw(img)
    step = size / holes
    for j in range(holes + 1):
        for i in range(holes + 1):
            cx = i * step + (step / 2 if j % 2 else 0)
            cy = j * step
            for ox in (-size, 0, size):
                r = step * 0.34
                d.ellipse((cx + ox - r, cy - r, cx + ox + r, cy + r), fill=(8, 8, 9))
    img = img.filter(ImageFilter.GaussianBlur(0.6))
    img.save(path, optimize=True)


def floor(path):
    """Dark stage boards: planks of varied tone with grain and thin gaps."""
    rng = np.random.default_rng(5)
    size = 512
    planks = 8
    ys = np.arange(size)[:, None]
    xs = np.arange(size)[None, :]
    plank = (ys * planks) // size
    tone = rng.uniform(0.75, 1.15, planks)[plank]
    offset = rng.uniform(0, 6.28, planks)[plank]
    grain = np.sin(xs * 0.05 + 3 * np.sin(ys * 0.09 + offset) + offset) * 0.08
    fine = _noise(rng, size, 0.8) * 0.05
    value = (0.42 + grain + fine) * tone
    gap = ((ys * planks) % size) < planks * 2
    value = np.where(gap, 0.08, value)
    # Butt joints at a different place in every plank.
    joints = rng.integers(0, size, planks)[plank]
    value = np.where(np.abs(xs - joints) < 2, 0.1, value)
    rgb = np.stack([value * 120, value * 82, value * 56], -1)
    Image.fromarray(np.clip(rgb, 0, 255).astype(np.uint8)).save(path, optimize=True)


def badge(path, text='HALVOREN'):
    """Brushed aluminium name plate."""
    rng = np.random.default_rng(3)
    w, h = 512, 128
    row = np.convolve(rng.normal(0, 1, w + 8), np.ones(9) / 9, mode='valid')[:w]
    streaks = (np.repeat(row[None, :], h, 0) + rng.normal(0, 0.25, (h, w))) * 25
    base = 170 + streaks
    img = Image.fromarray(np.clip(np.stack([base, base, base * 1.03], -1), 0, 255).astype(np.uint8))
    d = ImageDraw.Draw(img)
    font = ImageFont.truetype(FONT_BOLD, 78)
    box = d.textbbox((0, 0), text, font=font)
    x = (w - (box[2] - box[0])) / 2 - box[0]
    y = (h - (box[3] - box[1])) / 2 - box[1]
    d.text((x + 2, y + 2), text, font=font, fill=(230, 230, 232))
    d.text((x, y), text, font=font, fill=(28, 28, 32))
    d.rectangle((3, 3, w - 4, h - 4), outline=(90, 90, 95), width=3)
    img.save(path, optimize=True)


def canvas_image(path):
    """What the screen shows before the show takes it over: a sunset over a grid, with the name.
    The sky, sun and grid are drawn at twice the size and scaled down, so the grid's far lines do
    not break into moire."""
    out_w, out_h = 1024, 576
    S = 2
    w, h = out_w * S, out_h * S
    y = np.arange(h)[:, None] / h
    x = np.arange(w)[None, :] / w
    horizon = 0.62
    sky_top = np.array([18, 6, 48], float)
    sky_mid = np.array([170, 40, 120], float)
    sky_low = np.array([255, 150, 60], float)
    t = np.clip(y / horizon, 0, 1)[..., None]
    sky = np.where(t < 0.6, sky_top + (sky_mid - sky_top) * (t / 0.6),
                   sky_mid + (sky_low - sky_mid) * ((t - 0.6) / 0.4))
    img = np.broadcast_to(sky, (h, w, 3)).copy()
    # The sun with its cut-out bands.
    cx, cy, r = 0.5 * w, horizon * h - 10 * S, 150 * S
    yy, xx = np.mgrid[0:h, 0:w]
    dist = np.hypot(xx - cx, yy - cy)
    sun = dist < r
    bands = ((yy - (cy - r)) / (2 * r))
    cut = (yy > cy - 20 * S) & (((yy - cy) % (26 * S)) < (4 + (yy - cy) / (14 * S)) * S)
    sun_colour = np.stack([np.full_like(bands, 255), 220 - 150 * bands, 80 + 40 * bands], -1)
    img = np.where((sun & ~cut & (yy < horizon * h))[..., None], sun_colour, img)
    glow = np.exp(-np.maximum(dist - r, 0) / (60 * S))[..., None] * np.array([90, 30, 60]) * (yy < horizon * h)[..., None]
    img = img + glow
    # The ground grid in perspective.
    ground = yy >= horizon * h
    gy = (yy - horizon * h) / (h * (1 - horizon)) + 1e-3
    depth = 1 / gy
    lines_h = (np.abs((depth * 2.0) % 1 - 0.5) > 0.5 - 0.04 * gy * 3)
    lines_v = np.abs(((xx - cx) / (gy * w) * 8) % 1 - 0.5) > 0.5 - 0.05
    grid = (lines_h | lines_v) & ground
    ground_colour = np.array([20, 4, 40], float) * (1 - gy[..., None] * 0.3)
    img = np.where(ground[..., None], ground_colour, img)
    img = np.where(grid[..., None], np.array([255, 60, 200], float) * (0.5 + 0.5 * gy[..., None]), img)
    big = Image.fromarray(np.clip(img, 0, 255).astype(np.uint8))
    img = np.asarray(big.resize((out_w, out_h), Image.LANCZOS), dtype=float).copy()
    w, h = out_w, out_h
    # Stars.
    rng = np.random.default_rng(9)
    for _ in range(160):
        sx, sy = rng.integers(0, w), rng.integers(0, int(h * 0.35))
        img[sy, sx] = [255, 240, 255]
    pic = Image.fromarray(np.clip(img, 0, 255).astype(np.uint8))
    # The name, with a soft glow.
    d = ImageDraw.Draw(pic)
    font = ImageFont.truetype(FONT_CONDENSED, 120)
    text = 'HALVOREN'
    box = d.textbbox((0, 0), text, font=font)
    tx = (w - (box[2] - box[0])) / 2 - box[0]
    ty = 70 - box[1]
    glow_layer = Image.new('RGB', (w, h), (0, 0, 0))
    ImageDraw.Draw(glow_layer).text((tx, ty), text, font=font, fill=(255, 80, 220))
    glow_layer = glow_layer.filter(ImageFilter.GaussianBlur(10))
    pic = Image.fromarray(np.clip(np.asarray(pic, float) + np.asarray(glow_layer, float) * 1.2, 0, 255)
                          .astype(np.uint8))
    d = ImageDraw.Draw(pic)
    d.text((tx, ty), text, font=font, fill=(255, 236, 250))
    small = ImageFont.truetype(FONT_BOLD, 30)
    sub = 'SOUND SYSTEM  \u2022  ONLINE'
    box = d.textbbox((0, 0), sub, font=small)
    d.text(((w - (box[2] - box[0])) / 2 - box[0], 215), sub, font=small, fill=(120, 230, 255))
    pic.save(path, optimize=True)

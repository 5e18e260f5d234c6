#!/usr/bin/python3
"""Builds the eight slide-show pictures "data/randomsspics/pic01.jpg" to
"pic08.jpg", 1920 x 1080, all procedural (numpy), no text:

  pic01  mountain ranges at dawn              (layered fractal ridges)
  pic02  Mandelbrot set, seahorse valley      (smooth escape colouring)
  pic03  chrome and glass spheres on a floor  (ray marching, shadows, reflections)
  pic04  Newton fractal of z^5 - 1            (root basins, shaded by speed)
  pic05  Menger sponge                        (ray marching, ambient occlusion)
  pic06  dunes under a ringed planet          (height field, dusk light)
  pic07  fractal flame                        (chaos game, log density)
  pic08  fjord at night with aurora           (ridges, reflections, sky)

  make_slides.py [n ...]   builds all, or only the numbered pictures
"""

import math
import sys

import numpy as np

import common
from common import blur, to_image

W, H = 1920, 1080


def smoothstep(e0, e1, x):
    t = np.clip((x - e0) / (e1 - e0), 0.0, 1.0)
    return t * t * (3 - 2 * t)


def mix(a, b, t):
    """Linear blend; a scalar-per-pixel t blends colour triples."""
    t = np.asarray(t)
    colour = (np.ndim(a) > 0 and np.shape(a)[-1] == 3) or (np.ndim(b) > 0 and np.shape(b)[-1] == 3)
    if colour and t.ndim:
        t = t[..., None]
    return a * (1 - t) + b * t


def noise1d(x, seed, octaves=7, gain=0.5):
    """Fractal value noise along x (float array), 0..1."""
    rng = np.random.default_rng(seed)
    total = np.zeros_like(x, dtype=np.float64)
    amp, freq, norm = 1.0, 1.0, 0.0
    for _ in range(octaves):
        table = rng.random(4096)
        p = x * freq
        i = np.floor(p).astype(np.int64)
        f = p - i
        f = f * f * (3 - 2 * f)
        total += amp * (table[i % 4096] * (1 - f) + table[(i + 1) % 4096] * f)
        norm += amp
        amp *= gain
        freq *= 2.0
    return total / norm


def ridge1d(x, seed, octaves=8):
    """Sharp-crested mountain profile, 0..1."""
    rng = np.random.default_rng(seed)
    total = np.zeros_like(x, dtype=np.float64)
    amp, freq, norm = 1.0, 1.0, 0.0
    for _ in range(octaves):
        table = rng.random(4096) * 2 - 1
        p = x * freq
        i = np.floor(p).astype(np.int64)
        f = p - i
        f = f * f * (3 - 2 * f)
        n = table[i % 4096] * (1 - f) + table[(i + 1) % 4096] * f
        total += amp * (1 - np.abs(n))
        norm += amp
        amp *= 0.5
        freq *= 2.1
    return total / norm


def noise2d(x, y, seed, octaves=5, gain=0.5):
    """Fractal value noise at float coordinates, 0..1."""
    rng = np.random.default_rng(seed)
    total = np.zeros(np.broadcast(x, y).shape)
    amp, freq, norm = 1.0, 1.0, 0.0
    for _ in range(octaves):
        table = rng.random((256, 256))
        px, py = x * freq, y * freq
        ix, iy = np.floor(px).astype(np.int64), np.floor(py).astype(np.int64)
        fx, fy = px - ix, py - iy
        fx, fy = fx * fx * (3 - 2 * fx), fy * fy * (3 - 2 * fy)
        a = table[iy % 256, ix % 256] * (1 - fx) + table[iy % 256, (ix + 1) % 256] * fx
        b = table[(iy + 1) % 256, ix % 256] * (1 - fx) + table[(iy + 1) % 256, (ix + 1) % 256] * fx
        total = total + amp * (a * (1 - fy) + b * fy)
        norm += amp
        amp *= gain
        freq *= 2.0
    return total / norm


def grain(img, seed, amount=0.012):
    """A whisper of noise against banding in smooth gradients."""
    rng = np.random.default_rng(seed)
    return img + rng.normal(0, amount, img.shape[:2])[..., None]


def save(n, rgb):
    common.save_jpg("randomsspics/pic%02d.jpg" % n, to_image(rgb), 90)


# >> 1: mountains at dawn

def mountains():
    y = np.arange(H, dtype=np.float64)[:, None] / H
    x = np.arange(W, dtype=np.float64)[None, :] / W
    sky_top = np.array([0.10, 0.12, 0.32])
    sky_mid = np.array([0.85, 0.45, 0.42])
    sky_low = np.array([1.0, 0.78, 0.45])
    t = y * np.ones((1, W))
    img = np.where(t[..., None] < 0.45, mix(sky_top, sky_mid, t / 0.45), mix(sky_mid, sky_low, np.clip((t - 0.45) / 0.2, 0, 1)))
    sun_x, sun_y = 0.62, 0.43
    d = np.hypot((x - sun_x) * W / H, y - sun_y)
    img += (np.exp(-(d / 0.035) ** 2) * 1.2 + np.exp(-(d / 0.25) ** 2) * 0.25)[..., None] * np.array([1.0, 0.85, 0.6])
    # Thin high clouds catching the light.
    clouds = noise2d(x * 6, y * 30, 3, octaves=5)
    band = smoothstep(0.55, 0.75, clouds) * np.exp(-((y - 0.25) / 0.12) ** 2)
    img = mix(img, np.array([1.0, 0.62, 0.55]), band * 0.55)
    # Ridges from far (pale, hazy) to near (dark, sharp).
    layers = 7
    haze = np.array([0.93, 0.66, 0.55])
    near = np.array([0.06, 0.05, 0.10])
    for k in range(layers):
        f = k / (layers - 1)
        base = 0.50 + 0.07 * k
        amp = 0.16 + 0.06 * f
        xs = np.arange(W, dtype=np.float64) / W * (2.5 + 2.5 * f) + k * 13.7
        profile = base - amp * ridge1d(xs, 20 + k)
        mask = (y >= profile[None, :]).astype(np.float64)
        # Soft edge of one pixel.
        edge = np.clip((y - profile[None, :]) * H + 0.5, 0, 1)
        colour = mix(haze, near, f ** 0.8)
        # Crest light: a thin bright rim along the top of each ridge, strongest
        # near the sun, and a darker body below.
        below = np.clip((y - profile[None, :]) * H, 0, None)
        near_sun = np.exp(-((np.arange(W) / W - sun_x) / 0.25) ** 2)[None, :]
        rim = np.exp(-below / 2.5) * (0.35 + 0.65 * near_sun) * (1 - f) * 0.8
        shade = np.broadcast_to(colour, (H, W, 3)) + rim[..., None] * np.array([1.0, 0.7, 0.45])
        depth_fade = np.clip((y - profile[None, :]) / 0.25, 0, 1)
        shade = mix(shade, colour * 0.75 + haze * 0.25 * (1 - f), depth_fade * 0.6)
        # Valley mist at the foot of each layer.
        mist = np.exp(-((y - (base + 0.04)) / 0.03) ** 2) * (1 - f) * 0.5
        shade = mix(shade, haze, mist)
        img = mix(img, shade, edge)
        del mask
    # Birds.
    rng = np.random.default_rng(8)
    for _ in range(7):
        bx, by = rng.uniform(0.25, 0.5) * W, rng.uniform(0.22, 0.35) * H
        s = rng.uniform(5, 9)
        for side in (-1, 1):
            xx = np.arange(0, int(s * 1.6))
            yy = (np.sqrt(xx / s) * s * 0.5).astype(int)
            img[(by - yy + 0).astype(int), (bx + side * xx).astype(int)] = near
    save(1, grain(img, 1))


# >> 2: Mandelbrot

def mandelbrot():
    cx, cy, span = -0.743643887037151, 0.13182590420533, 0.0062
    ss = 2
    xs = cx + (np.arange(W * ss) / (W * ss) - 0.5) * span
    ys = cy + (np.arange(H * ss) / (H * ss) - 0.5) * span * H / W
    c = (xs[None, :] + 1j * ys[:, None]).ravel()
    z = np.zeros_like(c)
    nu = np.zeros(c.shape)
    alive = np.arange(c.size)
    zz, cc = z, c
    max_iter = 1400
    for i in range(max_iter):
        zz = zz * zz + cc
        out = (zz.real * zz.real + zz.imag * zz.imag) > 1e6
        if out.any():
            idx = alive[out]
            az = np.abs(zz[out])
            nu[idx] = i + 1 - np.log2(np.log(az))
            keep = ~out
            alive, zz, cc = alive[keep], zz[keep], cc[keep]
        if alive.size == 0:
            break
    inside = np.zeros(c.shape, dtype=bool)
    inside[alive] = True
    t = np.sqrt(np.maximum(nu, 0)) * 0.9
    col = 0.5 + 0.5 * np.stack([np.cos(t + 3.6), np.cos(t + 4.2), np.cos(t + 5.0)], axis=-1)
    col = col ** 1.6
    col[inside] = 0.02
    img = col.reshape(H * ss, W * ss, 3)
    img = img.reshape(H, ss, W, ss, 3).mean(axis=(1, 3))
    save(2, img)


# >> ray marching

def normalize(v):
    return v / np.linalg.norm(v, axis=-1, keepdims=True)


def camera_rays(eye, target, fov_deg, ss=1):
    fwd = normalize(np.array(target, float) - np.array(eye, float))
    right = normalize(np.cross(fwd, [0.0, 1.0, 0.0]))
    up = np.cross(right, fwd)
    f = 1.0 / math.tan(math.radians(fov_deg) / 2)
    px = ((np.arange(W * ss) + 0.5) / (W * ss) * 2 - 1) * W / H
    py = 1 - (np.arange(H * ss) + 0.5) / (H * ss) * 2
    d = px[None, :, None] * right + py[:, None, None] * up + f * fwd
    return normalize(d.reshape(-1, 3))


def march(sdf, origin, dirs, max_steps=140, max_dist=60.0, eps=1e-3):
    """Sphere tracing; returns hit distance (inf for a miss)."""
    n = dirs.shape[0]
    t = np.zeros(n)
    origin = np.broadcast_to(origin, dirs.shape)
    alive = np.arange(n)
    hit = np.full(n, np.inf)
    for _ in range(max_steps):
        p = origin[alive] + dirs[alive] * t[alive, None]
        d = sdf(p)
        t[alive] += d
        done = d < eps * t[alive]
        far = t[alive] > max_dist
        hit[alive[done]] = t[alive[done]]
        alive = alive[~(done | far)]
        if alive.size == 0:
            break
    # Rays that ran out of steps are creeping along a surface: count them as hits.
    hit[alive] = t[alive]
    return hit


def sdf_normal(sdf, p, e=1e-3):
    ex = np.array([e, 0, 0]); ey = np.array([0, e, 0]); ez = np.array([0, 0, e])
    n = np.stack([sdf(p + ex) - sdf(p - ex), sdf(p + ey) - sdf(p - ey), sdf(p + ez) - sdf(p - ez)], axis=-1)
    return normalize(n)


def soft_shadow(sdf, p, light_dir, k=12.0, steps=48):
    res = np.ones(p.shape[0])
    t = np.full(p.shape[0], 0.02)
    for _ in range(steps):
        h = sdf(p + light_dir * t[:, None])
        res = np.minimum(res, k * h / t)
        t += np.clip(h, 0.02, 0.5)
    return np.clip(res, 0, 1)


def ambient_occlusion(sdf, p, n):
    occ = np.zeros(p.shape[0])
    scale = 1.0
    for i in range(1, 6):
        h = 0.03 * i
        occ += (h - sdf(p + n * h)) * scale
        scale *= 0.7
    return np.clip(1 - 3.0 * occ, 0, 1)


# >> 3: spheres

SPHERES = np.array([[0.0, 1.0, 0.0, 1.0], [-2.3, 0.7, 1.0, 0.7], [2.1, 0.8, 0.9, 0.8],
                    [-0.9, 0.35, 2.2, 0.35], [1.0, 0.45, 2.4, 0.45], [3.6, 1.1, -2.0, 1.1]])


def scene_spheres(p):
    d = p[:, 1].copy()  # floor
    for s in SPHERES:
        d = np.minimum(d, np.linalg.norm(p - s[:3], axis=1) - s[3])
    return d


def sphere_material(p):
    """Index of the nearest sphere, or -1 for the floor."""
    best = p[:, 1].copy()
    idx = np.full(p.shape[0], -1)
    for i, s in enumerate(SPHERES):
        d = np.linalg.norm(p - s[:3], axis=1) - s[3]
        closer = d < best
        best[closer] = d[closer]
        idx[closer] = i
    return idx


def sky_colour(d):
    y = d[:, 1]
    horizon = np.array([0.95, 0.72, 0.55])
    zenith = np.array([0.08, 0.16, 0.45])
    col = mix(horizon, zenith, np.clip(y * 2.5, 0, 1) ** 0.5)
    sun = normalize(np.array([0.6, 0.45, -0.65]))
    s = np.clip(d @ sun, 0, 1)
    col += (s ** 400 * 4 + s ** 12 * 0.3)[:, None] * np.array([1.0, 0.85, 0.6])
    return col


def shade_spheres(origin, dirs, depth):
    hit = march(scene_spheres, origin, dirs)
    col = sky_colour(dirs)
    ok = np.isfinite(hit)
    if not ok.any():
        return col
    o = np.broadcast_to(origin, dirs.shape)[ok]
    d = dirs[ok]
    p = o + d * hit[ok, None]
    n = sdf_normal(scene_spheres, p)
    sun = normalize(np.array([0.6, 0.45, -0.65]))
    mat = sphere_material(p)
    diff = np.clip(n @ sun, 0, 1)
    sh = soft_shadow(scene_spheres, p + n * 2e-3, sun)
    ao = ambient_occlusion(scene_spheres, p, n)
    palette = np.array([[0.9, 0.9, 0.95], [0.85, 0.25, 0.1], [0.15, 0.45, 0.9], [0.95, 0.75, 0.2],
                        [0.2, 0.8, 0.5], [0.95, 0.95, 0.95]])
    check = ((np.floor(p[:, 0] * 0.8) + np.floor(p[:, 2] * 0.8)) % 2 == 0)
    floor_col = np.where(check[:, None], np.array([0.75, 0.72, 0.68]), np.array([0.12, 0.12, 0.14]))
    base = np.where((mat >= 0)[:, None], palette[np.maximum(mat, 0)], floor_col)
    ambient = 0.25 * ao[:, None] * mix(np.array([0.5, 0.45, 0.4]), np.array([0.4, 0.5, 0.75]), n[:, 1] * 0.5 + 0.5)
    lit = base * (diff * sh)[:, None] * np.array([1.3, 1.15, 0.95]) + base * ambient
    refl_dir = normalize(d - 2 * (d * n).sum(axis=1, keepdims=True) * n)
    spec = np.clip(refl_dir @ sun, 0, 1) ** 60 * sh
    lit += spec[:, None] * 1.2
    # Reflectivity: chrome spheres 0 and 5 strongly, coloured ones a little, the floor some.
    fres = 0.04 + 0.96 * (1 - np.clip(-(d * n).sum(axis=1), 0, 1)) ** 5
    refl = np.where(mat == 0, 0.85, np.where(mat == 5, 0.7, np.where(mat < 0, 0.12 + 0.5 * fres, 0.1 + 0.6 * fres)))
    if depth > 0:
        rc = shade_spheres(p + n * 3e-3, refl_dir, depth - 1)
        lit = mix(lit, rc, refl)
    # Distance fog.
    fog = 1 - np.exp(-hit[ok] * 0.012)
    lit = mix(lit, sky_colour(d) * 0.9, fog)
    col[ok] = lit
    return col


def spheres():
    dirs = camera_rays([0.4, 2.0, 7.5], [0.4, 1.1, 0.0], 42)
    col = shade_spheres(np.array([0.4, 2.0, 7.5]), dirs, 2)
    img = col.reshape(H, W, 3)
    img = 1 - np.exp(-img * 1.3)   # gentle tone mapping
    save(3, img ** (1 / 1.1))


# >> 4: Newton fractal

def newton():
    ss = 2
    span = 3.2
    xs = (np.arange(W * ss) / (W * ss) - 0.5) * span
    ys = (np.arange(H * ss) / (H * ss) - 0.5) * span * H / W
    z = (xs[None, :] + 1j * ys[:, None]) * np.exp(1j * 0.3)
    steps = np.zeros(z.shape)
    done = np.zeros(z.shape, dtype=bool)
    roots = np.exp(2j * np.pi * np.arange(5) / 5)
    a = 1.0 + 0.35j   # relaxed Newton, for swirlier basins
    for i in range(60):
        z = z - a * (z ** 5 - 1) / (5 * z ** 4 + 1e-12)
        close = np.min(np.abs(z[..., None] - roots), axis=-1) < 1e-3
        steps[close & ~done] = i
        done |= close
    which = np.argmin(np.abs(z[..., None] - roots), axis=-1)
    hues = np.array([[0.95, 0.35, 0.2], [0.95, 0.8, 0.25], [0.2, 0.75, 0.55], [0.2, 0.45, 0.95], [0.7, 0.3, 0.85]])
    base = hues[which]
    shade = np.exp(-steps / 14.0)
    img = base * (0.15 + 0.95 * shade[..., None])
    img = img.reshape(H, ss, W, ss, 3).mean(axis=(1, 3))
    save(4, img)


# >> 5: Menger sponge

def sdf_menger(p):
    q = np.abs(p)
    d = np.max(q - 1.0, axis=1)
    s = 1.0
    for _ in range(4):
        a = np.mod(p * s, 2.0) - 1.0
        s *= 3.0
        r = np.abs(1.0 - 3.0 * np.abs(a))
        da = np.maximum(r[:, 0], r[:, 1])
        db = np.maximum(r[:, 1], r[:, 2])
        dc = np.maximum(r[:, 2], r[:, 0])
        c = (np.minimum(np.minimum(da, db), dc) - 1.0) / s
        d = np.maximum(d, c)
    return d


FLOOR_Y = 1.35  # the sponge floats above the floor, so its shadow reads


def sdf_menger_scene(p):
    return np.minimum(sdf_menger(p), p[:, 1] + FLOOR_Y)


def menger():
    eye = np.array([2.4, 1.55, 2.9])
    dirs = camera_rays(eye, [0.0, -0.1, 0.0], 45)
    hit = march(sdf_menger_scene, eye, dirs, max_steps=200, max_dist=30)
    y = dirs[:, 1]
    col = mix(np.array([0.05, 0.03, 0.08]), np.array([0.35, 0.12, 0.25]), np.clip(1 - np.abs(y) * 3, 0, 1))
    ok = np.isfinite(hit)
    p = eye + dirs[ok] * hit[ok, None]
    n = sdf_normal(sdf_menger_scene, p, 5e-4)
    key = normalize(np.array([-0.5, 0.8, 0.35]))
    rim = normalize(np.array([0.7, 0.2, -0.7]))
    sh = soft_shadow(sdf_menger_scene, p + n * 2e-3, key, k=20)
    ao = ambient_occlusion(sdf_menger_scene, p, n) ** 1.5
    floor = p[:, 1] < -FLOOR_Y + 0.02
    base = np.where(floor[:, None], np.array([0.16, 0.11, 0.14]), np.array([0.92, 0.72, 0.45]))
    diff = np.clip(n @ key, 0, 1) * sh
    back = np.clip(n @ rim, 0, 1)
    lit = base * (diff[:, None] * np.array([1.4, 1.25, 1.05]) + back[:, None] * np.array([0.25, 0.35, 0.7])
                  + 0.18 * ao[:, None])
    fog = 1 - np.exp(-np.maximum(hit[ok] - 2.5, 0) * 0.12)
    lit = mix(lit, np.array([0.2, 0.08, 0.15]), fog)
    col = np.broadcast_to(col, dirs.shape).copy()
    col[ok] = lit
    img = col.reshape(H, W, 3)
    img = 1 - np.exp(-img * 1.4)
    save(5, grain(img, 5, 0.006))


# >> 6: dunes and planet

def dunes():
    y = np.arange(H, dtype=np.float64)[:, None] / H
    x = np.arange(W, dtype=np.float64)[None, :] / W
    img = np.zeros((H, W, 3))
    sky = mix(np.array([0.02, 0.02, 0.08]), np.array([0.55, 0.25, 0.35]), np.clip(y / 0.62, 0, 1) ** 2.2)
    img[:] = sky
    rng = np.random.default_rng(66)
    for _ in range(900):
        sx, sy = rng.integers(0, W), rng.integers(0, int(H * 0.45))
        img[sy, sx] += rng.uniform(0.2, 0.9) * (1 - sy / (H * 0.45))
    # Planet with rings, lit from the left.
    px, py, pr = 0.7 * W, 0.3 * H, 210.0
    yy, xx = np.mgrid[0:H, 0:W].astype(np.float64)
    dx, dy = (xx - px) / pr, (yy - py) / pr
    r2 = dx * dx + dy * dy
    disc = r2 < 1
    nz = np.sqrt(np.clip(1 - r2, 0, 1))
    light = normalize(np.array([-0.75, -0.35, 0.55]))
    lam = np.clip(dx * light[0] + dy * light[1] + nz * light[2], 0, 1)
    bands = 0.5 + 0.5 * np.sin(dy * 18 + 2 * noise2d(dx * 3, dy * 12, 9, octaves=3))
    pcol = mix(np.array([0.85, 0.6, 0.4]), np.array([0.55, 0.35, 0.3]), bands)
    planet = pcol * (lam[..., None] ** 0.8 + 0.03)
    # Ring: an ellipse tilted; front part drawn over the planet, back part hidden by it.
    ang = -0.35
    rx = (xx - px) * math.cos(ang) - (yy - py) * math.sin(ang)
    ry = (xx - px) * math.sin(ang) + (yy - py) * math.cos(ang)
    rr = np.hypot(rx / (pr * 2.2), ry / (pr * 2.2 * 0.22))
    ring = smoothstep(0.62, 0.64, rr) * (1 - smoothstep(0.98, 1.0, rr))
    ring *= 0.55 + 0.45 * np.sin(rr * 90) ** 2
    front = ry > 0
    img = np.where(disc[..., None] & ~(front[..., None] & (ring[..., None] > 0.05)), planet, img)
    atmo = np.exp(-np.maximum(np.sqrt(r2) - 1, 0) * 25) * (1 - disc) * 0.5
    img += atmo[..., None] * np.array([0.9, 0.5, 0.4])
    ring_col = np.array([0.9, 0.75, 0.6]) * ring[..., None] * 0.9
    behind = disc & ~front
    img = np.where(behind[..., None], img, img * (1 - ring[..., None] * 0.8) + ring_col)
    # Dunes: rows below the horizon map to ground depth; ridges by a sawtooth of noise.
    horizon = 0.62
    ground = y > horizon
    depth = np.where(ground, 0.08 / np.maximum(y - horizon, 1e-3), 0)
    gx = (x - 0.5) * depth * 6
    gz = depth * 3
    n = noise2d(gx * 0.35, gz * 0.35, 4, octaves=3)
    phase = gz * 1.6 + gx * 0.4 + n * 3.0
    saw = phase - np.floor(phase)
    # Windward side lit, lee side shaded; crest sharp.
    lit = np.where(saw < 0.75, 0.55 + 0.45 * saw / 0.75, 0.15)
    sand = mix(np.array([0.75, 0.42, 0.25]), np.array([0.95, 0.65, 0.38]), lit) * (0.3 + 0.7 * lit[..., None])
    fog = np.exp(-depth * 0.22)
    sand = mix(np.array([0.55, 0.28, 0.32]), sand, fog)
    img = np.where(ground[..., None], sand, img)
    # Fine ripples near the viewer.
    ripple = 0.04 * np.sin(gz * 60 + gx * 10) * (1 - fog)
    img += (ground * ripple)[..., None]
    save(6, grain(img, 6))


# >> 7: fractal flame

def flame():
    rng = np.random.default_rng(7)
    n_points = 400000
    iters = 70
    maps = [
        # (a, b, c, d, e, f, variation, weight, colour)
        (0.56, -0.42, 0.10, 0.42, 0.56, 0.05, "linear", 0.35, 0.0),
        (0.38, 0.24, -0.35, -0.24, 0.38, 0.28, "spherical", 0.35, 0.5),
        (-0.50, 0.02, 0.30, -0.02, -0.50, -0.25, "swirl", 0.30, 1.0),
    ]
    weights = np.array([m[7] for m in maps])
    weights /= weights.sum()
    p = rng.uniform(-1, 1, (n_points, 2))
    c = rng.uniform(0, 1, n_points)
    hist = np.zeros((H, W))
    colour = np.zeros((H, W))
    scale = H * 0.42
    for it in range(iters):
        choice = rng.choice(len(maps), size=n_points, p=weights)
        out = np.empty_like(p)
        for k, (a, b, cc, d, e, f, var, _, col) in enumerate(maps):
            sel = choice == k
            x = a * p[sel, 0] + b * p[sel, 1] + cc
            y = d * p[sel, 0] + e * p[sel, 1] + f
            if var == "spherical":
                r2 = x * x + y * y + 1e-9
                x, y = x / r2, y / r2
            elif var == "swirl":
                r2 = x * x + y * y
                x, y = x * np.sin(r2) - y * np.cos(r2), x * np.cos(r2) + y * np.sin(r2)
            out[sel, 0], out[sel, 1] = x, y
            c[sel] = (c[sel] + col) * 0.5
        p = out
        bad = ~np.isfinite(p).all(axis=1) | (np.abs(p) > 1e3).any(axis=1)
        p[bad] = rng.uniform(-1, 1, (bad.sum(), 2))
        if it < 15:
            continue
        # Symmetric final transform: a slow rotation, plotted twice for mirror symmetry.
        for sign in (1, -1):
            sx = (p[:, 0] * sign * scale + W / 2).astype(np.int64)
            sy = (p[:, 1] * scale + H / 2).astype(np.int64)
            ok = (sx >= 0) & (sx < W) & (sy >= 0) & (sy < H)
            np.add.at(hist, (sy[ok], sx[ok]), 1)
            np.add.at(colour, (sy[ok], sx[ok]), c[ok])
    mean_c = colour / np.maximum(hist, 1)
    dens = np.log1p(hist) / np.log1p(hist.max())
    dens = blur(dens, 0.6)
    dens = np.clip(dens * 1.05, 0, 1) ** 1.3
    pal_a = np.array([0.15, 0.55, 1.0])
    pal_b = np.array([1.0, 0.45, 0.1])
    pal_c = np.array([1.0, 0.9, 0.65])
    cmix = blur(mean_c, 1.0)
    col = mix(pal_a, pal_b, np.clip(cmix * 1.6 - 0.2, 0, 1))
    col = mix(col, pal_c, dens ** 3)
    img = col * dens[..., None]
    img += blur(img, 12.0) * 0.35
    save(7, img)


# >> 8: fjord at night

def fjord():
    y = np.arange(H, dtype=np.float64)[:, None] / H
    x = np.arange(W, dtype=np.float64)[None, :] / W
    water_line = 0.66
    # Sky above the water line, mirrored below it.
    sy = np.where(y < water_line, y, 2 * water_line - y)
    sky = mix(np.array([0.01, 0.02, 0.06]), np.array([0.05, 0.12, 0.22]), np.clip(sy / water_line, 0, 1) ** 2)
    sky = np.broadcast_to(sky, (H, W, 3)).copy()
    # Aurora curtains: bright along a wavy line, falling off downward, streaked upward.
    curve = 0.22 + 0.08 * np.sin(x * 7 + 1.0) + 0.04 * np.sin(x * 17)
    dist = sy - curve
    streaks = 0.5 + 0.5 * noise1d(x[0] * 160, 31, octaves=4)[None, :]
    curtain = np.where(dist > 0, np.exp(-dist / 0.03), np.exp(dist / 0.16)) * streaks
    fold = 0.6 + 0.4 * np.sin(x * 40 + 6 * noise1d(x[0] * 3, 32)[None, :])
    aur = curtain * fold
    green = np.array([0.2, 1.0, 0.55])
    violet = np.array([0.6, 0.25, 0.9])
    sky += aur[..., None] * mix(green, violet, np.clip(-dist / 0.2, 0, 1))[...] * 0.8
    rng = np.random.default_rng(88)
    stars = np.zeros((H, W))
    for _ in range(1500):
        px, py = rng.integers(0, W), rng.integers(0, int(H * water_line))
        stars[py, px] = rng.uniform(0.2, 1.0)
    stars = blur(stars, 0.7) * 4
    stars_m = np.concatenate([stars[:int(H * water_line)], stars[:int(H * water_line)][::-1]], axis=0)[:H]
    sky += stars_m[..., None] * 0.9
    img = sky
    # Mountains on both shores, with reflections.
    for k, (base, amp, seed, col) in enumerate([(0.50, 0.22, 41, np.array([0.04, 0.06, 0.10])),
                                                (0.60, 0.16, 42, np.array([0.02, 0.03, 0.05])),
                                                (0.64, 0.30, 43, np.array([0.005, 0.008, 0.015]))]):
        xs = np.arange(W, dtype=np.float64) / W * (3 + 2 * k) + 5 * k
        prof = base - amp * ridge1d(xs, seed) * (0.5 + 0.5 * np.sin(np.arange(W) / W * math.pi * (1 + k * 0.7) + k)) ** 2
        prof = np.minimum(prof, water_line)
        above = (y >= prof[None, :]) & (y < water_line)
        mirrored = (y >= water_line) & (2 * water_line - y >= prof[None, :])
        # Snow caps catch the aurora light.
        below = np.clip((y - prof[None, :]) * H, 0, None)
        snow = np.exp(-below / (3.0 + 3 * k)) * (0.12 if k < 2 else 0.05)
        shade = col + 0.03 * np.clip((y - prof[None, :]) / 0.1, 0, 1)[..., None] + snow[..., None] * np.array([0.3, 0.8, 0.6])
        img = np.where(above[..., None], shade, img)
        img = np.where(mirrored[..., None], shade * 0.8, img)
    # Water: the reflection broken by ripples and darkened with distance from the shore.
    wy = np.clip((y - water_line) / (1 - water_line), 0, 1)
    ripple = noise2d(x * 60, y * 400, 50, octaves=3)
    water = (y > water_line)[..., None]
    shift = ((ripple - 0.5) * 14 * wy).astype(int)
    rows = np.arange(H)[:, None]
    cols = np.clip(np.arange(W)[None, :] + shift, 0, W - 1)
    wobbled = img[rows, cols]
    img = np.where(water, wobbled * (0.75 - 0.25 * wy[..., None]), img)
    # A thin bright line where water meets the shore.
    img[int(H * water_line)] = img[int(H * water_line)] * 0.5 + np.array([0.04, 0.1, 0.09])
    save(8, grain(img, 8, 0.008))


PICTURES = {1: mountains, 2: mandelbrot, 3: spheres, 4: newton, 5: menger, 6: dunes, 7: flame, 8: fjord}


if __name__ == "__main__":
    chosen = [int(a) for a in sys.argv[1:]] or sorted(PICTURES)
    for n in chosen:
        PICTURES[n]()

"""shapes: the solids the two models are made of, in authoring coordinates.

Authoring coordinates for the sound system: u to the viewer's right, v up, w towards the viewer
(the front of every cabinet faces +w). Every shape adds polygons to a collada.Geometry.
"""
import math

import numpy as np

from collada import normalize, planar_uv


def chamfered_box(g, material, lo, hi, bevel=0.04, uv_scale=1.0):
    """A box with flat 45-degree chamfers on all edges and corners; flat normals."""
    lo, hi = np.asarray(lo, float), np.asarray(hi, float)
    b = min(bevel, *(0.45 * (hi - lo)))
    inner_lo, inner_hi = lo + b, hi - b

    def point(signs, inset_axes):
        # signs: -1/+1 per axis; an axis in inset_axes sits on the inner box, the others on the outer.
        return np.array([(inner_hi if s > 0 else inner_lo)[a] if a in inset_axes else (hi if s > 0 else lo)[a]
                         for a, s in enumerate(signs)])

    def uvs(points, normal):
        return [tuple(c * uv_scale for c in planar_uv(p, normal)) for p in points]

    for axis in range(3):
        for s in (-1, 1):
            others = [a for a in range(3) if a != axis]
            pts = []
            for s1, s2 in ((-1, -1), (1, -1), (1, 1), (-1, 1)):
                signs = [0, 0, 0]
                signs[axis], signs[others[0]], signs[others[1]] = s, s1, s2
                pts.append(point(signs, set(others)))
            n = np.zeros(3)
            n[axis] = s
            g.polygon(material, pts, n, uvs(pts, n))
    if b <= 0:
        return
    for a1 in range(3):
        for a2 in range(a1 + 1, 3):
            along = 3 - a1 - a2
            for s1 in (-1, 1):
                for s2 in (-1, 1):
                    pts = []
                    for sa in (-1, 1):
                        for which in (0, 1):
                            signs = [0, 0, 0]
                            signs[a1], signs[a2], signs[along] = s1, s2, sa
                            pts.append(point(signs, {along, a2} if which == 0 else {along, a1}))
                    pts = [pts[0], pts[1], pts[3], pts[2]]
                    n = np.zeros(3)
                    n[a1], n[a2] = s1, s2
                    g.polygon(material, pts, n, uvs(pts, n))
    for sx in (-1, 1):
        for sy in (-1, 1):
            for sz in (-1, 1):
                signs = (sx, sy, sz)
                pts = [point(signs, {1, 2}), point(signs, {0, 2}), point(signs, {0, 1})]
                g.polygon(material, pts, np.array(signs, float), uvs(pts, np.array(signs, float)))


def quad_grid(g, material, origin, du, dv, nu, nv, normal, uv0=(0, 0), uv1=(1, 1)):
    """A flat patch subdivided nu x nv (finer lighting); texture coordinates from uv0 to uv1."""
    origin, du, dv = np.asarray(origin, float), np.asarray(du, float), np.asarray(dv, float)
    for i in range(nu):
        for j in range(nv):
            corners = []
            tex = []
            for a, c in ((i, j), (i + 1, j), (i + 1, j + 1), (i, j + 1)):
                corners.append(origin + du * a / nu + dv * c / nv)
                tex.append((uv0[0] + (uv1[0] - uv0[0]) * a / nu, uv0[1] + (uv1[1] - uv0[1]) * c / nv))
            g.polygon(material, corners, np.asarray(normal, float), tex)


def lathe(g, material, centre, profile, normals, segments=48, uv_scale=1.0):
    """Surface of revolution about the +w axis through centre (u, v): profile points (r, w) with
    normals (nr, nw); smooth shading around and along."""
    cu, cv = centre
    for j in range(segments):
        t0, t1 = 2 * math.pi * j / segments, 2 * math.pi * (j + 1) / segments
        for i in range(len(profile) - 1):
            pts, nrm, tex = [], [], []
            for (r, w), (nr, nw), t in ((profile[i], normals[i], t0), (profile[i + 1], normals[i + 1], t0),
                                        (profile[i + 1], normals[i + 1], t1), (profile[i], normals[i], t1)):
                pts.append(np.array([cu + r * math.cos(t), cv + r * math.sin(t), w]))
                nrm.append(normalize([nr * math.cos(t), nr * math.sin(t), nw]))
                tex.append((r * math.cos(t) * uv_scale, r * math.sin(t) * uv_scale))
            mean = normalize(sum(nrm))
            if np.linalg.norm(pts[0] - pts[3]) < 1e-9:  # a pole: one triangle
                pts, nrm, tex = pts[:3], nrm[:3], tex[:3]
            elif np.linalg.norm(pts[1] - pts[2]) < 1e-9:
                pts, nrm, tex = [pts[0], pts[1], pts[3]], [nrm[0], nrm[1], nrm[3]], [tex[0], tex[1], tex[3]]
            g.polygon(material, pts, mean, tex, nrm)


def profile_normals(profile, facing=+1):
    """Smooth normals of a (r, w) profile, each perpendicular to the local tangent and pointing to
    +w when facing is +1 (the viewer's side)."""
    out = []
    for i in range(len(profile)):
        a = profile[max(i - 1, 0)]
        b = profile[min(i + 1, len(profile) - 1)]
        tr, tw = b[0] - a[0], b[1] - a[1]
        n = (tw, -tr)
        if n[1] * facing < 0 or (abs(n[1]) < 1e-9 and n[0] < 0):
            n = (-tw, tr)
        length = math.hypot(*n) or 1
        out.append((n[0] / length, n[1] / length))
    return out


def torus_roll(r_inner, r_outer, w_base, height, steps=8):
    """Half-torus roll surround profile from the outer to the inner radius, bulging to +w."""
    centre = 0.5 * (r_inner + r_outer)
    radius = 0.5 * (r_outer - r_inner)
    profile, normals = [], []
    for k in range(steps + 1):
        a = math.pi * k / steps
        profile.append((centre + radius * math.cos(a), w_base + height * math.sin(a)))
        normals.append((math.cos(a) * height, math.sin(a) * radius))
    return profile, normals


def baffle(g, material, u0, u1, v0, v1, w, holes, segments=48):
    """A flat front panel facing +w with holes: ('circle', cu, cv, radius, half) cut from a square
    cell of half-size `half`, or ('rect', hu0, hu1, hv0, hv1) left open."""
    us, vs = {u0, u1}, {v0, v1}
    cells = []
    for h in holes:
        if h[0] == 'circle':
            _, cu, cv, r, half = h
            cells.append((cu - half, cu + half, cv - half, cv + half))
        else:
            cells.append(h[1:5])
    for c in cells:
        us.update((c[0], c[1]))
        vs.update((c[2], c[3]))
    us, vs = sorted(us), sorted(vs)
    n = np.array([0.0, 0.0, 1.0])
    for i in range(len(us) - 1):
        for j in range(len(vs) - 1):
            mu, mv = 0.5 * (us[i] + us[i + 1]), 0.5 * (vs[j] + vs[j + 1])
            if any(c[0] < mu < c[1] and c[2] < mv < c[3] for c in cells):
                continue
            pts = [(us[i], vs[j], w), (us[i + 1], vs[j], w), (us[i + 1], vs[j + 1], w), (us[i], vs[j + 1], w)]
            g.polygon(material, pts, n)
    for h in holes:
        if h[0] != 'circle':
            continue
        _, cu, cv, r, half = h
        for k in range(segments):
            ring = []
            for t in (2 * math.pi * k / segments, 2 * math.pi * (k + 1) / segments):
                c, s = math.cos(t), math.sin(t)
                edge = half / max(abs(c), abs(s))
                ring.append(((cu + edge * c, cv + edge * s, w), (cu + r * c, cv + r * s, w)))
            g.polygon(material, [ring[0][0], ring[1][0], ring[1][1], ring[0][1]], n)


def tube(g, material, centre, radius, w_front, w_back, inward=True, segments=48):
    """An open cylinder about +w, normals pointing in (a hole's wall) or out."""
    cu, cv = centre
    for k in range(segments):
        pts, nrm = [], []
        for t, w in ((2 * math.pi * k / segments, w_front), (2 * math.pi * k / segments, w_back),
                     (2 * math.pi * (k + 1) / segments, w_back), (2 * math.pi * (k + 1) / segments, w_front)):
            c, s = math.cos(t), math.sin(t)
            pts.append((cu + radius * c, cv + radius * s, w))
            nrm.append((-c, -s, 0) if inward else (c, s, 0))
        g.polygon(material, pts, normalize(sum(np.asarray(x) for x in nrm)), None, nrm)


def cylinder_between(g, material, a, b, radius, segments=10, caps=True):
    """A closed cylinder from point a to point b, smooth sides."""
    a, b = np.asarray(a, float), np.asarray(b, float)
    axis = normalize(b - a)
    helper = np.array([0.0, 1.0, 0.0]) if abs(axis[1]) < 0.9 else np.array([1.0, 0.0, 0.0])
    x = normalize(np.cross(axis, helper))
    y = np.cross(axis, x)
    ring = [x * math.cos(2 * math.pi * k / segments) + y * math.sin(2 * math.pi * k / segments)
            for k in range(segments)]
    length = np.linalg.norm(b - a)
    for k in range(segments):
        n0, n1 = ring[k], ring[(k + 1) % segments]
        pts = [a + n0 * radius, a + n1 * radius, b + n1 * radius, b + n0 * radius]
        tex = [(k / segments, 0), ((k + 1) / segments, 0), ((k + 1) / segments, length), (k / segments, length)]
        g.polygon(material, pts, normalize(n0 + n1), tex, [n0, n1, n1, n0])
    if caps:
        g.polygon(material, [a + n * radius for n in ring], -axis)
        g.polygon(material, [b + n * radius for n in ring], axis)


def loft(g, material, rings, uv_scale=1.0):
    """A closed convex solid through a stack of polygon rings (each the same number of points, in
    the same order): flat side faces between neighbouring rings and flat caps at both ends; every
    face turned away from the solid's centre."""
    rings = [[np.asarray(p, float) for p in ring] for ring in rings]
    centre = sum(sum(ring) for ring in rings) / sum(len(ring) for ring in rings)

    def face(points):
        mid = sum(points) / len(points)
        n = np.zeros(3)
        for i in range(len(points)):  # Newell's normal, robust for slightly bent quads
            a, b = points[i], points[(i + 1) % len(points)]
            n += np.cross(a - mid, b - mid)
        n = normalize(n)
        if np.dot(n, mid - centre) < 0:
            n = -n
        g.polygon(material, points, n, [tuple(c * uv_scale for c in planar_uv(p, n)) for p in points])

    for r0, r1 in zip(rings, rings[1:]):
        for i in range(len(r0)):
            j = (i + 1) % len(r0)
            face([r0[i], r0[j], r1[j], r1[i]])
    face(rings[0])
    face(rings[-1])


def rect_ring(u0, u1, v0, v1, w):
    """Four corners of an axis-aligned rectangle at height w, for loft."""
    return [(u0, v0, w), (u1, v0, w), (u1, v1, w), (u0, v1, w)]


def knob(g, body_material, cap_material, centre, w_base, radius, height, segments=20):
    """A control knob standing on a panel that faces +w: a flared skirt, a slightly tapered grip and
    a domed metal cap; smooth around, sharp where the profile turns."""
    r = radius
    skirt = [(1.25 * r, w_base), (1.25 * r, w_base + 0.08 * height), (1.0 * r, w_base + 0.2 * height)]
    lathe(g, body_material, centre, skirt, [(0.6, 0.8)] * 3, segments)
    grip = [(0.98 * r, w_base + 0.2 * height), (0.9 * r, w_base + 0.92 * height)]
    lathe(g, body_material, centre, grip, [(1, 0.1), (1, 0.1)], segments)
    top = [(0.9 * r, w_base + 0.92 * height), (0.8 * r, w_base + height)]
    lathe(g, body_material, centre, top, [(0.5, 0.85), (0.5, 0.85)], segments)
    cap = [(0.8 * r, w_base + height), (0.45 * r, w_base + 1.03 * height), (0.0, w_base + 1.04 * height)]
    lathe(g, cap_material, centre, cap, [(0.15, 1), (0.05, 1), (0, 1)], segments)


def rounded_box(g, material, lo, hi, radius, steps=2, uv_scale=1.0, skip=()):
    """A box whose edges and corners are rounded with the given radius: each face is a grid whose
    outer rows bend round the edge (steps rows per half edge), smooth normals on the rounding and
    flat ones on the faces; neighbouring faces meet on shared points. `skip` lists faces left open
    as (axis, side) pairs, such as (2, 1) for the +w face."""
    lo, hi = np.asarray(lo, float), np.asarray(hi, float)
    r = min(radius, *(0.49 * (hi - lo)))
    inner_lo, inner_hi = lo + r, hi - r
    offsets = [r * math.tan(math.radians(45.0 * i / steps)) for i in range(steps + 1)]

    def positions(axis):
        return ([inner_lo[axis] - d for d in reversed(offsets)] + [inner_hi[axis] + d for d in offsets])

    for axis in range(3):
        a1, a2 = [a for a in range(3) if a != axis]
        for side in (-1, 1):
            if (axis, side) in skip:
                continue
            face_n = np.zeros(3)
            face_n[axis] = side
            p1, p2 = positions(a1), positions(a2)
            for i in range(len(p1) - 1):
                for j in range(len(p2) - 1):
                    pts, nrm, tex = [], [], []
                    for x, y in ((p1[i], p2[j]), (p1[i + 1], p2[j]), (p1[i + 1], p2[j + 1]), (p1[i], p2[j + 1])):
                        raw = np.zeros(3)
                        raw[axis] = hi[axis] if side > 0 else lo[axis]
                        raw[a1], raw[a2] = x, y
                        inner = np.clip(raw, inner_lo, inner_hi)
                        n = normalize(raw - inner)
                        pts.append(inner + n * r)
                        nrm.append(n)
                        tex.append(tuple(c * uv_scale for c in planar_uv(raw, face_n)))
                    g.polygon(material, pts, normalize(sum(nrm)), tex, nrm)


def box_truss(g, chord_material, lace_material, start, end, up, size=0.5, bay=0.5, chord_r=0.048, lace_r=0.02):
    """A square aluminium box truss from `start` to `end`: four chords at the corners of a
    size x size section, rungs and zig-zag diagonals on all four sides, one bay every `bay` units."""
    start, end, up = np.asarray(start, float), np.asarray(end, float), np.asarray(up, float)
    axis = normalize(end - start)
    side = normalize(np.cross(axis, up))
    up = np.cross(side, axis)
    h = 0.5 * size
    corners = [side * -h + up * -h, side * h + up * -h, side * h + up * h, side * -h + up * h]
    for c in corners:
        cylinder_between(g, chord_material, start + c, end + c, chord_r, 8, caps=True)
    # The lacing is capped although its ends lie inside the chords, out of sight: a mesh of closed
    # solids only lets the show skip its back faces.
    length = np.linalg.norm(end - start)
    bays = max(1, int(round(length / bay)))
    step = axis * (length / bays)
    for b in range(bays + 1):
        at = start + step * b
        for k in range(4):
            c0, c1 = corners[k], corners[(k + 1) % 4]
            cylinder_between(g, lace_material, at + c0, at + c1, lace_r, 5, caps=True)
            if b < bays:
                # Diagonals zig-zag: alternate their direction from bay to bay.
                a, z = (c0, c1) if b % 2 == 0 else (c1, c0)
                cylinder_between(g, lace_material, at + a, at + step + z, lace_r, 5, caps=True)


def par_can(g, body_material, lens_material, yoke_material, hang, aim, length=0.55, radius=0.2, segments=16):
    """A stage PAR light hanging at `hang` (the clamp point), pointed along `aim`: a can with a rim,
    a glowing lens, a yoke and a clamp."""
    hang, aim = np.asarray(hang, float), normalize(aim)
    centre = hang + np.array([0, -0.38, 0])
    back, front = centre - aim * (0.5 * length), centre + aim * (0.5 * length)
    cylinder_between(g, body_material, back, front, radius, segments, caps=True)
    cylinder_between(g, body_material, back - aim * 0.08, back, 0.7 * radius, segments, caps=True)
    rim_front = front + aim * 0.05
    cylinder_between(g, body_material, front, rim_front, 1.08 * radius, segments, caps=False)
    # The lens, a little inside the rim.
    ring = []
    helper = np.array([0.0, 1.0, 0.0]) if abs(aim[1]) < 0.9 else np.array([1.0, 0.0, 0.0])
    x = normalize(np.cross(aim, helper))
    y = np.cross(aim, x)
    for k in range(segments):
        t = 2 * math.pi * k / segments
        ring.append(front + aim * 0.02 + (x * math.cos(t) + y * math.sin(t)) * 0.95 * radius)
    g.polygon(lens_material, ring, aim)
    # Yoke: two arms from the clamp down to the can's sides, and the clamp on the chord.
    side = x if abs(x[1]) < 0.5 else y
    for s in (-1, 1):
        cylinder_between(g, yoke_material, hang + side * s * (radius + 0.05), centre + side * s * (radius + 0.05),
                         0.025, 6, caps=True)
    cylinder_between(g, yoke_material, hang - side * (radius + 0.05), hang + side * (radius + 0.05), 0.03, 6, caps=True)
    cylinder_between(g, yoke_material, hang, hang + np.array([0, 0.14, 0]), 0.06, 8, caps=True)


def drape(g, material, u0, u1, v0, v1, w, folds, depth, columns_per_fold=6, rows=3, frame=None):
    """A hanging curtain facing +w: vertical sine folds with smooth normals. `frame` (optional) turns
    the curtain's (u, v, w) into other axes, as a function of a point and of a direction."""
    columns = folds * columns_per_fold
    place = frame or (lambda p, direction=False: np.asarray(p, float))
    for i in range(columns):
        for j in range(rows):
            pts, nrm, tex = [], [], []
            for a, b in ((i, j), (i + 1, j), (i + 1, j + 1), (i, j + 1)):
                t = 2 * math.pi * a / columns_per_fold
                u = u0 + (u1 - u0) * a / columns
                v = v0 + (v1 - v0) * b / rows
                slope = depth * math.cos(t) * 2 * math.pi / columns_per_fold / ((u1 - u0) / columns)
                pts.append(place((u, v, w + depth * math.sin(t))))
                nrm.append(normalize(place((-slope, 0, 1), True)))
                tex.append((u * 0.5, v * 0.5))
            g.polygon(material, pts, normalize(place((0, 0, 1.0), True)), tex, nrm)

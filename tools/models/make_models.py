#!/usr/bin/python3
"""make_models: writes the show's two COLLADA models and their textures, deterministically.

  data/speakers/Halvoren Sound System.dae (+ its textures in data/speakers/)
  data/midilights/Assembled Keyboard.dae

Run from anywhere: /usr/bin/python3 tools/models/make_models.py
"""
import math
import os
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from collada import Document, Geometry, normalize  # noqa: E402
import shapes  # noqa: E402
import textures  # noqa: E402

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..'))


# >> the sound system
# Authoring coordinates: u to the viewer's right, v up, w towards the viewer. The file's axes:
# the front faces -x (the scene pushes the cones along x), y is up, z is the viewer's right.
def to_file(p):
    return np.array([-p[2], p[1], p[0]], float)


def geometry(doc, name):
    return doc.add(Geometry(name, to_file))


def driver(doc, tag, kind, centre, w_front, radius, materials):
    """One loudspeaker: the fixed frame and basket, and the moving cone (its own mesh)."""
    frame = geometry(doc, 'Driver_Frame_' + tag)
    r = radius
    flange = [(0.95 * r, w_front + 0.035), (1.0 * r, w_front + 0.045), (1.1 * r, w_front + 0.035),
              (1.14 * r, w_front + 0.01), (1.15 * r, w_front)]
    shapes.lathe(frame, materials['frame'], centre, flange, shapes.profile_normals(flange), 48)
    shapes.tube(frame, materials['basket'], centre, 0.99 * r, w_front, w_front - 0.7 * r, True, 48)
    back = [(0.99 * r, w_front - 0.7 * r), (0.0, w_front - 0.7 * r)]
    shapes.lathe(frame, materials['basket'], centre, back, [(0, 1), (0, 1)], 24)
    # Bolts on the flange.
    for k in range(8 if kind == 'Bass' else 4):
        a = 2 * math.pi * (k + 0.5) / (8 if kind == 'Bass' else 4)
        c = (centre[0] + 1.075 * r * math.cos(a), centre[1] + 1.075 * r * math.sin(a))
        shapes.cylinder_between(frame, materials['bolt'], (c[0], c[1], w_front + 0.03),
                                (c[0], c[1], w_front + 0.06), 0.025 * max(r, 0.6) / 0.6, 8)

    cone = geometry(doc, '%s_%s' % (kind, tag))
    roll, roll_n = shapes.torus_roll(0.80 * r, 0.97 * r, w_front - 0.02, 0.07 * r)
    shapes.lathe(cone, materials['surround'], centre, roll, roll_n, 48)
    depth = 0.36 * r
    body = []
    for k in range(7):
        f = k / 6.0
        body.append((0.80 * r - f * 0.50 * r, w_front - 0.02 - depth * (1 - (1 - f) ** 1.6)))
    shapes.lathe(cone, materials['cone'], centre, body, shapes.profile_normals(body), 48)
    cap = []
    w_cap = body[-1][1]
    for k in range(6):
        a = 0.5 * math.pi * k / 5
        cap.append((0.30 * r * math.cos(a), w_cap + 0.13 * r * math.sin(a)))
    cap_n = [(math.cos(0.5 * math.pi * k / 5) * 0.13, math.sin(0.5 * math.pi * k / 5) * 0.30) for k in range(6)]
    shapes.lathe(cone, materials['cap'], centre, cap, cap_n, 32)
    return cone


def horn(doc, tag, u0, u1, v0, v1, w_front, depth, materials):
    """A flared rectangular horn opening in a baffle, narrowing to its throat."""
    g = geometry(doc, 'Horn_Tweeter_' + tag)
    cu, cv = 0.5 * (u0 + u1), 0.5 * (v0 + v1)
    hu, hv = 0.5 * (u1 - u0), 0.5 * (v1 - v0)
    steps = 6
    rings = []
    for k in range(steps + 1):
        f = k / steps
        shrink = 1 - 0.85 * (1 - math.exp(-3 * f)) / (1 - math.exp(-3))
        rings.append((hu * shrink, hv * (0.35 + 0.65 * (1 - f) ** 1.5), w_front - depth * f))
    for k in range(steps):
        (au, av, aw), (bu, bv, bw) = rings[k], rings[k + 1]
        corners_a = [(cu - au, cv - av, aw), (cu + au, cv - av, aw), (cu + au, cv + av, aw), (cu - au, cv + av, aw)]
        corners_b = [(cu - bu, cv - bv, bw), (cu + bu, cv - bv, bw), (cu + bu, cv + bv, bw), (cu - bu, cv + bv, bw)]
        for i in range(4):
            j = (i + 1) % 4
            quad = [corners_a[i], corners_a[j], corners_b[j], corners_b[i]]
            inward = normalize(np.array([cu, cv, 0.5 * (aw + bw)]) - 0.5 * (np.array(corners_a[i]) + np.array(corners_a[j])))
            g.polygon(materials['horn'], quad, inward)
    bu, bv, bw = rings[-1]
    g.polygon(materials['basket'], [(cu - bu, cv - bv, bw), (cu + bu, cv - bv, bw), (cu + bu, cv + bv, bw),
                                    (cu - bu, cv + bv, bw)], np.array([0, 0, 1.0]))
    # A slim rim around the mouth.
    rim = 0.05
    for (a, b) in (((u0 - rim, v0 - rim), (u1 + rim, v0)), ((u0 - rim, v1), (u1 + rim, v1 + rim)),
                   ((u0 - rim, v0), (u0, v1)), ((u1, v0), (u1 + rim, v1))):
        shapes.chamfered_box(g, materials['frame'], (a[0], a[1], w_front), (b[0], b[1], w_front + 0.03), 0.01)


def cabinet(doc, tag, u0, u1, v0, v1, depth, holes, materials, corner_guards=True):
    """A cabinet body (covered in vinyl), its front baffle with the given holes, metal corners."""
    body = geometry(doc, 'Cabinet_Body_' + tag)
    w_front = 0.0
    # Open at the front: the baffle closes it, and the drivers sit in its holes.
    shapes.rounded_box(body, materials['tolex'], (u0, v0, w_front - depth), (u1, v1, w_front - 0.02), 0.09, 2,
                       uv_scale=1.0, skip={(2, 1)})
    front = geometry(doc, 'Cabinet_Baffle_' + tag)
    inset = 0.09
    shapes.baffle(front, materials['baffle'], u0 + inset, u1 - inset, v0 + inset, v1 - inset, w_front, holes)
    # The baffle sits in a frame of the body's vinyl.
    for (a, b) in (((u0, v0), (u1, v0 + inset)), ((u0, v1 - inset), (u1, v1)),
                   ((u0, v0 + inset), (u0 + inset, v1 - inset)), ((u1 - inset, v0 + inset), (u1, v1 - inset))):
        shapes.chamfered_box(front, materials['tolex'], (a[0], a[1], w_front - 0.03), (b[0], b[1], w_front + 0.015),
                             0.015, uv_scale=1.0)
    # Screws holding the baffle, near its corners.
    for su in (u0 + inset + 0.12, u1 - inset - 0.12):
        for sv in (v0 + inset + 0.12, v1 - inset - 0.12):
            shapes.cylinder_between(front, materials['bolt'], (su, sv, w_front - 0.01), (su, sv, w_front + 0.025), 0.035, 8)
    if corner_guards:
        guards = geometry(doc, 'Corner_Guards_' + tag)
        s = 0.2
        for cu in (u0, u1):
            for cv in (v0, v1):
                for cw in (w_front - depth, w_front):
                    lo = (cu - 0.02 if cu == u0 else cu - s, cv - 0.02 if cv == v0 else cv - s,
                          cw - 0.02 if cw != w_front else cw - s)
                    hi = (cu + s if cu == u0 else cu + 0.02, cv + s if cv == v0 else cv + 0.02,
                          cw + s if cw != w_front else cw + 0.03)
                    shapes.rounded_box(guards, materials['corner'], lo, hi, 0.035, 1)
        # Carrying handles on both sides.
        for cu, side in ((u0, -1), (u1, 1)):
            vh = v0 + 0.62 * (v1 - v0)
            a = (cu + side * 0.02, vh, w_front - 0.7 * depth)
            b = (cu + side * 0.02, vh, w_front - 0.3 * depth)
            shapes.cylinder_between(guards, materials['chrome'], (a[0] + side * 0.09, a[1], a[2]),
                                    (b[0] + side * 0.09, b[1], b[2]), 0.035, 10)
            for end in (a, b):
                shapes.cylinder_between(guards, materials['chrome'], end, (end[0] + side * 0.1, end[1], end[2]),
                                        0.035, 10)


def sound_system(out_dir):
    doc = Document()
    m = {
        'tolex': doc.material('Cabinet_Vinyl', image='tolex.png', specular=(0.18, 0.18, 0.18), shininess=12,
                              ambient=(0.3, 0.3, 0.3)),
        'baffle': doc.material('Baffle_Black', diffuse=(0.07, 0.07, 0.08), specular=(0.1, 0.1, 0.1), shininess=8),
        'grille': doc.material('Grille_Steel', image='grille.png', specular=(0.4, 0.4, 0.4), shininess=30,
                               ambient=(0.3, 0.3, 0.3)),
        'frame': doc.material('Driver_Frame_Metal', diffuse=(0.22, 0.22, 0.24), specular=(0.8, 0.8, 0.8),
                              shininess=60),
        'basket': doc.material('Driver_Basket_Black', diffuse=(0.03, 0.03, 0.03), specular=(0, 0, 0), shininess=5),
        'bolt': doc.material('Bolt_Steel', diffuse=(0.5, 0.5, 0.52), specular=(1, 1, 1), shininess=90),
        'surround': doc.material('Surround_Rubber', diffuse=(0.05, 0.05, 0.05), specular=(0.35, 0.35, 0.35),
                                 shininess=25),
        'cone': doc.material('Cone_Paper_Black', diffuse=(0.11, 0.11, 0.12), specular=(0.12, 0.12, 0.12),
                             shininess=10),
        'cone_mid': doc.material('Cone_Kevlar_Gold', diffuse=(0.62, 0.48, 0.16), specular=(0.35, 0.3, 0.2),
                                 shininess=30),
        'cap': doc.material('Dust_Cap_Gloss', diffuse=(0.04, 0.04, 0.05), specular=(1, 1, 1), shininess=80),
        'horn': doc.material('Horn_Cast_Metal', diffuse=(0.16, 0.16, 0.17), specular=(0.5, 0.5, 0.5),
                             shininess=40),
        'chrome': doc.material('Chrome_Trim', diffuse=(0.55, 0.55, 0.58), specular=(1, 1, 1), shininess=96),
        'bezel': doc.material('Screen_Bezel_Gloss', diffuse=(0.04, 0.04, 0.045), specular=(0.9, 0.9, 0.9),
                              shininess=70),
        'canvas': doc.material('Canvas_Image_Area', image='canvas_image.png', diffuse=(1, 1, 1),
                               specular=(0.3, 0.3, 0.3), shininess=50, emission=(0.75, 0.75, 0.75),
                               ambient=(0.2, 0.2, 0.2)),
        'badge': doc.material('Name_Plate', image='badge.png', specular=(0.9, 0.9, 0.9), shininess=60,
                              ambient=(0.3, 0.3, 0.3)),
        'led': doc.material('LED_Strip_Blue', diffuse=(0.1, 0.3, 0.8), specular=(0.2, 0.2, 0.2), shininess=10,
                            emission=(0.15, 0.55, 1.0)),
        'led_red': doc.material('LED_Power_Red', diffuse=(0.8, 0.1, 0.1), emission=(1.0, 0.15, 0.1)),
        'floor': doc.material('Stage_Floor', image='floor.png', specular=(0.25, 0.25, 0.25), shininess=20,
                              ambient=(0.25, 0.25, 0.25)),
        'corner': doc.material('Corner_Steel_Black', diffuse=(0.06, 0.06, 0.065), specular=(0.7, 0.7, 0.7),
                               shininess=55),
        'truss': doc.material('Truss_Aluminium', diffuse=(0.42, 0.42, 0.44), specular=(0.9, 0.9, 0.9), shininess=60),
        'par_body': doc.material('Par_Can_Black', diffuse=(0.05, 0.05, 0.055), specular=(0.5, 0.5, 0.5), shininess=40),
        # Lenses glow in their own colour whatever lights them: little diffuse, all emission.
        'lens_amber': doc.material('Par_Lens_Amber', diffuse=(0.1, 0.06, 0.02), emission=(1.0, 0.55, 0.12),
                                   specular=(0.3, 0.3, 0.3), shininess=80, ambient=(0, 0, 0)),
        'lens_magenta': doc.material('Par_Lens_Magenta', diffuse=(0.09, 0.02, 0.07), emission=(0.95, 0.18, 0.7),
                                     specular=(0.3, 0.3, 0.3), shininess=80, ambient=(0, 0, 0)),
        'lens_blue': doc.material('Par_Lens_Blue', diffuse=(0.03, 0.05, 0.1), emission=(0.25, 0.4, 1.0),
                                  specular=(0.3, 0.3, 0.3), shininess=80, ambient=(0, 0, 0)),
        'lens_cyan': doc.material('Par_Lens_Cyan', diffuse=(0.02, 0.09, 0.1), emission=(0.15, 0.85, 0.95),
                                  specular=(0.3, 0.3, 0.3), shininess=80, ambient=(0, 0, 0)),
        'drape': doc.material('Drape_Velvet', diffuse=(0.075, 0.05, 0.08), specular=(0.06, 0.05, 0.07), shininess=6,
                              ambient=(0.05, 0.04, 0.05)),
        'stand': doc.material('Stand_Metal', diffuse=(0.12, 0.12, 0.13), specular=(0.6, 0.6, 0.6), shininess=50),
    }
    mid_materials = dict(m, cone=m['cone_mid'])
    depth = 2.4

    # Floor: a subdivided board floor so the lights fall off smoothly across it.
    floor = geometry(doc, 'Stage_Floor')
    shapes.quad_grid(floor, m['floor'], (-30, 0, -30), (60, 0, 0), (0, 0, 60), 30, 30, (0, 1, 0), (0, 0), (15, 15))

    # Centre cabinet under the screen: two bass drivers either side of a grille with the name plate.
    bass_r = 0.82
    centre_holes = [('circle', -2.75, 1.22, bass_r * 1.01, 1.05), ('circle', 2.75, 1.22, bass_r * 1.01, 1.05),
                    ('rect', -1.4, 1.4, 0.3, 2.15)]
    cabinet(doc, 'Centre', -4.3, 4.3, 0.0, 2.45, depth, centre_holes, m)
    for tag, u in (('C1', -2.75), ('C2', 2.75)):
        driver(doc, tag, 'Bass', (u, 1.22), 0.0, bass_r, m)
    grille = geometry(doc, 'Grille_Centre')
    shapes.quad_grid(grille, m['grille'], (-1.4, 0.3, -0.06), (2.8, 0, 0), (0, 1.85, 0), 6, 4, (0, 0, 1),
                     (0, 0), (2.8 * 2, 1.85 * 2))
    shapes.chamfered_box(grille, m['chrome'], (-1.45, 0.25, -0.08), (1.45, 0.3, 0.03), 0.015)
    shapes.chamfered_box(grille, m['chrome'], (-1.45, 2.15, -0.08), (1.45, 2.2, 0.03), 0.015)
    plate = geometry(doc, 'Name_Plate_Centre')
    shapes.chamfered_box(plate, m['chrome'], (-1.0, 1.02, -0.05), (1.0, 1.52, 0.0), 0.02)
    shapes.quad_grid(plate, m['badge'], (-0.96, 1.05, 0.001), (1.92, 0, 0), (0, 0.44, 0), 1, 1, (0, 0, 1))
    led = geometry(doc, 'LED_Power_Centre')
    shapes.cylinder_between(led, m['led_red'], (1.2, 0.45, -0.02), (1.2, 0.45, 0.04), 0.035, 10)

    # The screen: a gloss bezel round a 16:9 canvas (8 x 4.5) standing on the centre cabinet.
    s_u0, s_u1, s_v0, s_v1 = -4.0, 4.0, 2.95, 7.45
    w_face, w_canvas = -0.35, -0.39
    bezel = geometry(doc, 'Screen_Bezel')
    shapes.baffle(bezel, m['bezel'], s_u0 - 0.28, s_u1 + 0.28, s_v0 - 0.3, s_v1 + 0.22, w_face,
                  [('rect', s_u0, s_u1, s_v0, s_v1)])
    shapes.chamfered_box(bezel, m['bezel'], (s_u0 - 0.3, s_v0 - 0.32, -0.75), (s_u1 + 0.3, s_v1 + 0.24, w_canvas - 0.01),
                         0.05)
    for (a, b, n) in (((s_u0, s_v0), (s_u1, s_v0), (0, 1, 0)), ((s_u1, s_v1), (s_u0, s_v1), (0, -1, 0)),
                      ((s_u0, s_v1), (s_u0, s_v0), (1, 0, 0)), ((s_u1, s_v0), (s_u1, s_v1), (-1, 0, 0))):
        bezel.polygon(m['bezel'], [(a[0], a[1], w_face), (b[0], b[1], w_face), (b[0], b[1], w_canvas),
                                   (a[0], a[1], w_canvas)], np.array(n, float))
    canvas = geometry(doc, 'Screen_Canvas')
    shapes.quad_grid(canvas, m['canvas'], (s_u0, s_v0, w_canvas), (s_u1 - s_u0, 0, 0), (0, s_v1 - s_v0, 0),
                     16, 9, (0, 0, 1), (0, 0), (1, 1))
    stand = geometry(doc, 'Screen_Stand')
    shapes.chamfered_box(stand, m['stand'], (-1.3, 2.45, -1.5), (1.3, 2.57, -0.25), 0.03)
    shapes.chamfered_box(stand, m['stand'], (-0.35, 2.5, -1.05), (0.35, 3.4, -0.76), 0.03)
    power = geometry(doc, 'LED_Power_Screen')
    shapes.cylinder_between(power, m['led_red'], (s_u1 + 0.1, s_v0 - 0.18, w_face), (s_u1 + 0.1, s_v0 - 0.18, w_face + 0.02),
                            0.03, 10)

    # Two towers: a bass bin below, a mid/high box with a horn above.
    for side, sign in (('L', -1), ('R', 1)):
        cu = sign * 6.2
        u0, u1 = cu - 1.55, cu + 1.55
        low_r = 0.9
        holes = [('circle', cu, 1.15, low_r * 1.01, 1.1), ('circle', cu, 3.35, low_r * 1.01, 1.1)]
        cabinet(doc, 'Low_' + side, u0, u1, 0.0, 4.5, depth, holes, m)
        for k, v in enumerate((1.15, 3.35)):
            driver(doc, '%s%d' % (side, k + 1), 'Bass', (cu, v), 0.0, low_r, m)
        mid_r = 0.5
        top_holes = [('circle', cu, 5.3, mid_r * 1.01, 0.62), ('circle', cu, 6.55, mid_r * 1.01, 0.62),
                     ('rect', cu - 1.2, cu + 1.2, 7.35, 8.15), ('rect', u0 + 0.12, cu - 0.75, 4.72, 7.15),
                     ('rect', cu + 0.75, u1 - 0.12, 4.72, 7.15)]
        cabinet(doc, 'Top_' + side, u0, u1, 4.56, 8.4, depth * 0.85, top_holes, m)
        for k, v in enumerate((5.3, 6.55)):
            driver(doc, '%s%d' % (side, k + 1), 'Midtone', (cu, v), 0.0, mid_r, mid_materials)
        horn(doc, side, cu - 1.2, cu + 1.2, 7.35, 8.15, 0.0, 0.9, m)
        g = geometry(doc, 'Grille_Side_' + side)
        for a0, a1 in ((u0 + 0.12, cu - 0.75), (cu + 0.75, u1 - 0.12)):
            shapes.quad_grid(g, m['grille'], (a0, 4.72, -0.05), (a1 - a0, 0, 0), (0, 2.43, 0), 2, 4, (0, 0, 1),
                             (a0 * 2, 4.72 * 2), (a1 * 2, 7.15 * 2))
            back = geometry(doc, 'Grille_Back_%s_%d' % (side, int(a0 * 10)))
            back.polygon(m['basket'], [(a0, 4.72, -0.3), (a1, 4.72, -0.3), (a1, 7.15, -0.3), (a0, 7.15, -0.3)],
                         np.array([0, 0, 1.0]))
        strip = geometry(doc, 'LED_Strip_' + side)
        shapes.chamfered_box(strip, m['led'], (u0 + 0.15, 8.42, -0.35), (u1 - 0.15, 8.47, -0.05), 0.01)
        shapes.chamfered_box(strip, m['led'], (u0 + 0.15, 4.5, 0.0), (u1 - 0.15, 4.56, 0.02), 0.005)

    strip = geometry(doc, 'LED_Strip_Centre')
    shapes.chamfered_box(strip, m['led'], (-4.1, 0.05, 0.0), (4.1, 0.1, 0.02), 0.005)

    # The lighting rig: a box truss over the towers on two truss legs, PAR cans hanging from it
    # aimed forward and down, and a velvet drape behind everything.
    rig = geometry(doc, 'Rig_Truss')
    rig_w, rig_v, rig_u = -1.0, 10.2, 9.5
    shapes.box_truss(rig, m['truss'], m['truss'], (-rig_u, rig_v, rig_w), (rig_u, rig_v, rig_w), (0, 1, 0))
    for u in (-rig_u, rig_u):
        shapes.box_truss(rig, m['truss'], m['truss'], (u, 0.12, rig_w), (u, rig_v - 0.3, rig_w), (0, 0, 1))
        shapes.rounded_box(rig, m['truss'], (u - 0.3, rig_v - 0.3, rig_w - 0.3), (u + 0.3, rig_v + 0.3, rig_w + 0.3), 0.04, 1)
        shapes.rounded_box(rig, m['stand'], (u - 0.75, 0.0, rig_w - 0.75), (u + 0.75, 0.12, rig_w + 0.75), 0.03, 1)
    lamps = geometry(doc, 'Rig_Par_Cans')
    lens_order = ('lens_amber', 'lens_magenta', 'lens_blue', 'lens_cyan')
    for i, u in enumerate((-7.9, -5.6, -3.3, -1.1, 1.1, 3.3, 5.6, 7.9)):
        aim = normalize(np.array([-0.12 * u, -0.55, 1.0]))
        shapes.par_can(lamps, m['par_body'], m[lens_order[i % 4 if u < 0 else 3 - (i % 4)]], m['stand'],
                       (u, rig_v - 0.3, rig_w + 0.25), aim)
    curtain = geometry(doc, 'Stage_Drape')
    shapes.drape(curtain, m['drape'], -30.0, 30.0, 0.0, 28.0, -3.6, 40, 0.16)
    # Side drapes close the stage where the fly-through looks past the back one: the curtain's
    # (run, up, out) placed along the side wall at u = side * 22, running from the back drape towards
    # the viewer and facing the middle.
    for side in (-1, 1):
        def wing(p, direction=False, side=side):
            x, y, z = p
            return np.array([(0 if direction else side * 22.0) - side * z, y, x], float)
        shapes.drape(curtain, m['drape'], -3.6, 16.0, 0.0, 28.0, 0.0, 16, 0.16, frame=wing)

    # Cameras, in the order the show addresses them.
    doc.camera('Camera_0_CloseUp', (-3.2, 2.6, -7.7), (0.0, 2.4, -6.0), yfov=45)
    doc.camera('Camera_1_Right', (-9.0, 3.2, 11.5), (0.0, 4.2, 1.0), yfov=42)
    doc.camera('Camera_2_Screen', (-6.95, 5.2, 0.0), (0.0, 5.2, 0.0), yfov=40)
    doc.camera('Camera_3_HighLeft', (-13.0, 12.5, -11.0), (0.0, 3.5, 0.5), yfov=42)
    doc.camera('Camera_4_Wide', (-21.0, 7.0, 0.0), (0.0, 4.0, 0.0), yfov=42)
    doc.camera('Camera_5_Opening', (-7.0, 4.6, -10.5), (0.0, 7.0, -3.5), yfov=48)

    # Lights: 0 is the key light on the front; 1 to 3 are moved around these places by the show.
    doc.light('Light_0_Key', (1.0, 0.93, 0.85), (-11.0, 10.0, -2.5), (1.0, 0.01, 0.0015))
    doc.light('Light_1_Blue', (0.35, 0.5, 1.0), (-1.5, 4.0, 7.0), (1.0, 0.03, 0.01))
    doc.light('Light_2_Magenta', (0.9, 0.3, 0.7), (-0.5, 4.5, 2.0), (1.0, 0.03, 0.01))
    doc.light('Light_3_Amber', (1.0, 0.6, 0.25), (-1.5, 2.0, 0.5), (1.0, 0.03, 0.01))

    path = os.path.join(out_dir, 'Halvoren Sound System.dae')
    doc.write(path)
    textures.tolex(os.path.join(out_dir, 'tolex.png'))
    textures.grille(os.path.join(out_dir, 'grille.png'))
    textures.floor(os.path.join(out_dir, 'floor.png'))
    textures.badge(os.path.join(out_dir, 'badge.png'))
    textures.canvas_image(os.path.join(out_dir, 'canvas_image.png'))
    return doc, path


# >> the keyboard
# Authoring coordinates follow the scene's placement: the keys run along +y (lowest key first),
# their tops face +x (towards the camera once placed) and "up the keyboard" (to the black keys and
# the panel) is +z. Units: one white key is 1.5 wide.
BLACK_KEYS = {1, 3, 6, 8, 10, 13, 15, 18, 20, 22, 25, 27, 30, 32, 34, 37, 39, 42, 44, 46, 49, 51, 54, 56, 58}


def keyboard(out_dir):
    doc = Document()
    # White keys sit at mid grey under the scene's lights, so that the glow it adds to pressed keys
    # reads as "lit up" instead of vanishing in an already white key.
    m = {
        'white': doc.material('White_Finish', diffuse=(0.47, 0.46, 0.43), specular=(0.45, 0.45, 0.43), shininess=60,
                              ambient=(0.2, 0.2, 0.2), emission=(0.025, 0.025, 0.022)),
        'black': doc.material('Black_Gloss', diffuse=(0.025, 0.025, 0.03), specular=(0.75, 0.75, 0.78), shininess=90,
                              ambient=(0.03, 0.03, 0.03)),
        'body': doc.material('Body_Satin_Black', diffuse=(0.045, 0.045, 0.05), specular=(0.3, 0.3, 0.32), shininess=25),
        'panel': doc.material('Body_Panel_Graphite', diffuse=(0.1, 0.1, 0.11), specular=(0.45, 0.45, 0.48),
                              shininess=35),
        'wood': doc.material('Body_Cheek_Walnut', diffuse=(0.3, 0.14, 0.065), specular=(0.3, 0.26, 0.22), shininess=30),
        'trim': doc.material('Trim_Aluminium', diffuse=(0.33, 0.33, 0.35), specular=(0.9, 0.9, 0.9), shininess=70),
        'knob': doc.material('Knob_Rubber', diffuse=(0.05, 0.05, 0.05), specular=(0.3, 0.3, 0.3), shininess=20),
        'cap': doc.material('Knob_Cap_Aluminium', diffuse=(0.3, 0.3, 0.32), specular=(1, 1, 1), shininess=90),
        'accent': doc.material('Accent_Orange', diffuse=(0.9, 0.4, 0.05), specular=(0.5, 0.5, 0.5), shininess=30,
                               emission=(0.3, 0.1, 0.0)),
        'felt': doc.material('Key_Felt_Red', diffuse=(0.3, 0.02, 0.035), specular=(0, 0, 0), shininess=5),
        'lcd': doc.material('Display_LCD', diffuse=(0.02, 0.08, 0.08), specular=(0.6, 0.6, 0.6), shininess=80,
                            emission=(0.04, 0.2, 0.22)),
        'segment': doc.material('Display_Segments', diffuse=(0.1, 0.4, 0.4), specular=(0, 0, 0), shininess=5,
                                emission=(0.35, 0.95, 0.9)),
        'led_red': doc.material('LED_Red', diffuse=(0.5, 0.05, 0.05), emission=(1.0, 0.12, 0.08)),
        'led_green': doc.material('LED_Green', diffuse=(0.05, 0.5, 0.1), emission=(0.2, 1.0, 0.3)),
        'button': doc.material('Button_Grey', diffuse=(0.18, 0.18, 0.19), specular=(0.3, 0.3, 0.3), shininess=30),
    }
    # In file axes: x out of the keys' tops, y along the keyboard, z up the keyboard.
    def k(p):  # authoring (along, up-the-keyboard, out) -> file (out, along, up)
        return np.array([p[2], p[0], p[1]], float)

    white_w, gap = 1.42, 0.08
    n_white = 36
    width = n_white * white_w
    # Along the keyboard, left to right: walnut cheek, the wheel bay, the keys, walnut cheek; the
    # case is centred, the keys sit a little right of the middle.
    case_l = -(1.2 + 4.4 + 0.4 + width + 1.6) / 2
    bay_l, bay_r = case_l + 1.2, case_l + 5.6
    y0 = bay_r + 0.4
    case_r = y0 + width + 1.6
    key_len, black_len = 9.0, 5.6
    z_front = 1.2  # front edge of the keys: the whole keyboard sits mid-picture after the scene moves it down
    z0 = z_front
    b_lo, b_hi = z0 - 1.4, z0 + key_len + 8.0  # the case from its front rail to its back
    panel_lo = z0 + key_len + 0.7
    top = 1.3  # the panel's face

    body = doc.add(Geometry('Body_Case', k))
    shapes.chamfered_box(body, m['body'], (case_l + 1.0, b_lo, -2.2), (case_r - 1.0, b_hi, -0.2), 0.3)
    # The rail in front of the keys, and the wheel bay's deck.
    shapes.chamfered_box(body, m['body'], (bay_l, b_lo, -0.4), (y0 + width + 0.4, z0 - 0.15, 0.35), 0.12)
    shapes.chamfered_box(body, m['body'], (bay_l, z0 - 0.15, -0.4), (y0 - 0.15, panel_lo, 0.4), 0.1)
    cheeks = doc.add(Geometry('Body_Cheeks', k))
    for a0, a1 in ((case_l, bay_l), (case_r - 1.2, case_r)):
        shapes.loft(cheeks, m['wood'], [shapes.rect_ring(a0, a1, b_lo + 0.1, b_hi, -2.3),
                                        shapes.rect_ring(a0, a1, b_lo, b_hi, -2.0),
                                        shapes.rect_ring(a0, a1, b_lo, b_hi, 1.3),
                                        shapes.rect_ring(a0, a1, b_lo + 0.6, b_hi - 0.2, 2.1),
                                        shapes.rect_ring(a0 + 0.1, a1 - 0.1, b_lo + 0.9, b_hi - 0.3, 2.2)])
    panel = doc.add(Geometry('Body_Panel', k))
    shapes.chamfered_box(panel, m['panel'], (bay_l, panel_lo, -0.3), (case_r - 1.2, b_hi - 0.1, top), 0.14)
    # Felt behind the keys and a bright trim where the panel begins.
    shapes.chamfered_box(panel, m['felt'], (y0 - 0.1, z0 + key_len - 0.2, -0.3), (y0 + width + 0.1, panel_lo, 1.1), 0.05)
    shapes.chamfered_box(panel, m['trim'], (bay_l + 0.1, panel_lo - 0.05, top - 0.2), (case_r - 1.3, panel_lo + 0.2, top + 0.06),
                         0.04)

    # Pitch and modulation wheels standing out of wells in the bay.
    wheels = doc.add(Geometry('Body_Wheels', k))
    for j in range(2):
        a = bay_l + 1.3 + j * 1.8
        shapes.chamfered_box(wheels, m['knob'], (a - 0.6, z0 + 0.6, 0.38), (a + 0.6, z0 + 6.4, 0.42), 0.02)
        shapes.cylinder_between(wheels, m['knob'], (a - 0.35, z0 + 3.5, -0.3), (a + 0.35, z0 + 3.5, -0.3), 1.55, 28)
        shapes.chamfered_box(wheels, m['trim'], (a - 0.36, z0 + 3.4, 1.0), (a + 0.36, z0 + 3.6, 1.27), 0.02)

    # Knobs: two rows of eight on the left of the panel, each pointer at its own setting.
    knobs = doc.add(Geometry('Body_Knobs', k))
    pointers = doc.add(Geometry('Body_Knob_Pointers', k))
    settings = [0.2, 0.55, 0.8, 0.35, 0.65, 0.1, 0.9, 0.5, 0.45, 0.75, 0.3, 0.6, 0.15, 0.85, 0.4, 0.7]
    for row, b in enumerate((panel_lo + 2.3, panel_lo + 5.1)):
        for i in range(8):
            a = y0 + 1.9 + i * 3.4
            r, h = 0.62, 0.9
            shapes.knob(knobs, m['knob'], m['cap'], (a, b), top, r, h, 20)
            turn = math.radians(225 - 270 * settings[row * 8 + i])
            d = np.array([math.cos(turn), math.sin(turn)])
            side = np.array([-d[1], d[0]]) * 0.06
            ring = lambda w: [(a + p[0], b + p[1], w) for p in (d * 0.25 - side, d * 0.72 - side, d * 0.72 + side,
                                                                 d * 0.25 + side)]
            shapes.loft(pointers, m['accent'], [ring(top + h - 0.02), ring(top + h + 0.05)])
            # A scale of dots round the knob.
            for t in range(7):
                ang = math.radians(225 - 270 * t / 6)
                p = (a + 1.0 * math.cos(ang), b + 1.0 * math.sin(ang))
                shapes.loft(pointers, m['trim'], [shapes.rect_ring(p[0] - 0.05, p[0] + 0.05, p[1] - 0.05, p[1] + 0.05, top),
                                                  shapes.rect_ring(p[0] - 0.05, p[0] + 0.05, p[1] - 0.05, p[1] + 0.05,
                                                                   top + 0.02)])

    # The display: a recessed gloss bezel, a glowing LCD and a level graph on it.
    a0, a1, d0, d1 = y0 + 29.5, y0 + 41.5, panel_lo + 2.6, panel_lo + 6.3
    display = doc.add(Geometry('Body_Display', k))
    shapes.loft(display, m['black'], [shapes.rect_ring(a0 - 0.35, a1 + 0.35, d0 - 0.35, d1 + 0.35, top),
                                      shapes.rect_ring(a0 - 0.25, a1 + 0.25, d0 - 0.25, d1 + 0.25, top + 0.12)])
    shapes.quad_grid(display, m['lcd'], (a0, d0, top + 0.125), (a1 - a0, 0, 0), (0, d1 - d0, 0), 4, 2, (0, 0, 1))
    levels = [0.35, 0.6, 0.85, 0.7, 0.95, 0.55, 0.4, 0.75, 0.5, 0.3, 0.65, 0.45, 0.25, 0.5, 0.8, 0.6]
    for i, level in enumerate(levels):
        u = a0 + 0.5 + i * (a1 - a0 - 1.0) / len(levels)
        bar_w = 0.55 * (a1 - a0 - 1.0) / len(levels)
        top_v = d0 + 0.4 + level * (d1 - d0 - 0.8)
        shapes.loft(display, m['segment'], [shapes.rect_ring(u, u + bar_w, d0 + 0.4, top_v, top + 0.126),
                                            shapes.rect_ring(u, u + bar_w, d0 + 0.4, top_v, top + 0.13)])

    # Buttons below the display, a lit LED above every other one; a big volume knob at the right.
    buttons = doc.add(Geometry('Body_Buttons', k))
    for i in range(8):
        a = a0 + 0.3 + i * (a1 - a0 - 0.6) / 7
        b = panel_lo + 1.1
        shapes.loft(buttons, m['button'], [shapes.rect_ring(a - 0.5, a + 0.5, b - 0.35, b + 0.35, top),
                                           shapes.rect_ring(a - 0.5, a + 0.5, b - 0.35, b + 0.35, top + 0.2),
                                           shapes.rect_ring(a - 0.42, a + 0.42, b - 0.28, b + 0.28, top + 0.27)])
        led = m['led_red'] if i % 3 == 0 else m['led_green'] if i % 3 == 1 else m['button']
        shapes.cylinder_between(buttons, led, (a, b + 0.75, top), (a, b + 0.75, top + 0.08), 0.12, 8)
    shapes.knob(knobs, m['knob'], m['cap'], (y0 + 46.2, panel_lo + 3.6), top, 1.25, 1.1, 28)
    shapes.loft(pointers, m['accent'], [[(y0 + 46.2 + x, panel_lo + 3.6 + y, top + 1.08) for x, y in
                                         ((-0.07, 0.35), (0.07, 0.35), (0.07, 1.0), (-0.07, 1.0))],
                                        [(y0 + 46.2 + x, panel_lo + 3.6 + y, top + 1.16) for x, y in
                                         ((-0.07, 0.35), (0.07, 0.35), (0.07, 1.0), (-0.07, 1.0))]])

    # Keys: a white key spans its slot; its top is notched where the black keys stand. Black keys
    # taper to a narrower top with a sloped front, as real ones do.
    white_index = 0
    positions = []
    for n in range(61):
        if n in BLACK_KEYS:
            positions.append(None)
            continue
        positions.append(y0 + white_index * white_w)
        white_index += 1
    for n in range(61):
        g = doc.add(Geometry('Key_%02d' % n, k))
        if n in BLACK_KEYS:
            left = positions[n - 1]
            centre = left + white_w
            # Black keys sit a little off the centre line, as on a real keyboard.
            shift = {1: -0.15, 3: 0.15, 6: -0.2, 8: 0.0, 10: 0.2}[n % 12]
            c = centre + shift * white_w * 0.5
            front, back = z0 + key_len - black_len, z0 + key_len
            shapes.loft(g, m['black'], [shapes.rect_ring(c - 0.45, c + 0.45, front, back, 0.9),
                                        shapes.rect_ring(c - 0.42, c + 0.42, front + 0.05, back, 1.6),
                                        shapes.rect_ring(c - 0.35, c + 0.35, front + 0.35, back, 1.95),
                                        shapes.rect_ring(c - 0.29, c + 0.29, front + 0.5, back, 2.02)])
        else:
            a = positions[n] + gap / 2
            b = positions[n] + white_w - gap / 2
            # Notches for the neighbouring black keys in the back part of the key.
            lo_notch = a + (0.55 if (n - 1) in BLACK_KEYS else 0)
            hi_notch = b - (0.55 if (n + 1) in BLACK_KEYS else 0)
            shapes.chamfered_box(g, m['white'], (a, z0, 0.0), (b, z0 + key_len - black_len - 0.1, 1.0), 0.1)
            shapes.chamfered_box(g, m['white'], (lo_notch, z0 + key_len - black_len - 0.2, 0.0),
                                 (hi_notch, z0 + key_len, 1.0), 0.05)

    # Point lights in front of the keys (file axes: x is towards the camera). The scene slides them
    # up to 20 units to the right (4 after its scaling), so they start left of the middle. Their
    # sum stays below white on the keys.
    doc.light('Key_Light_0', (0.52, 0.44, 0.36), k((-26, 4, 20)), (1.0, 0.01, 0.001))
    doc.light('Key_Light_1', (0.26, 0.36, 0.6), k((10, 8, 18)), (1.0, 0.01, 0.001))
    doc.light('Key_Light_2', (0.3, 0.12, 0.27), k((-6, -12, 10)), (1.0, 0.01, 0.001))
    doc.camera('Key_Camera', k((0, -30, 45)), k((0, 0, 0)), yfov=45)

    path = os.path.join(out_dir, 'Assembled Keyboard.dae')
    doc.write(path)
    return doc, path


def main():
    speakers_dir = os.path.join(ROOT, 'data', 'speakers')
    keyboard_dir = os.path.join(ROOT, 'data', 'midilights')
    os.makedirs(speakers_dir, exist_ok=True)
    os.makedirs(keyboard_dir, exist_ok=True)
    for doc, path in (sound_system(speakers_dir), keyboard(keyboard_dir)):
        tris = sum(g.triangle_count() for g in doc.geometries)
        print('%s: %d meshes, %d triangles, %d bytes' % (os.path.relpath(path, ROOT), len(doc.geometries), tris,
                                                         os.path.getsize(path)))


if __name__ == '__main__':
    main()

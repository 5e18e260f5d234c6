"""collada: a small, deterministic COLLADA 1.4.1 writer for the show's two models.

Meshes are built from polygons with their own normals and texture coordinates; every geometry
carries positions, normals and texture coordinates (three inputs per corner), one "triangles"
element per material. Numbers are written with fixed precision, so a run always gives the same
bytes.
"""
import math

import numpy as np


def fmt(x):
    s = '%.4f' % x
    s = s.rstrip('0').rstrip('.')
    return '0' if s in ('-0', '') else s


def normalize(v):
    v = np.asarray(v, dtype=float)
    n = np.linalg.norm(v)
    return v / n if n > 0 else v


class Geometry:
    """One named mesh: parts by material, shared position/normal/uv tables."""

    def __init__(self, name, frame=None):
        self.name = name
        self.frame = frame  # maps authoring coordinates (positions and normals) to the file's
        self.pos, self.nrm, self.uv = [], [], []
        self.pos_index, self.nrm_index, self.uv_index = {}, {}, {}
        self.parts = {}  # material -> list of triangles, each three (p, n, t)

    def _index(self, table, lookup, value):
        key = tuple(round(float(c), 4) + 0.0 for c in value)
        if key not in lookup:
            lookup[key] = len(table)
            table.append(key)
        return lookup[key]

    def corner(self, p, n, t):
        if self.frame is not None:
            p, n = self.frame(p), self.frame(n)
        return (self._index(self.pos, self.pos_index, p), self._index(self.nrm, self.nrm_index, normalize(n)),
                self._index(self.uv, self.uv_index, t))

    def triangle(self, material, a, b, c):
        """a, b, c: (position, normal, uv); counter-clockwise seen from the front."""
        self.parts.setdefault(material, []).append((self.corner(*a), self.corner(*b), self.corner(*c)))

    def polygon(self, material, points, normal=None, uvs=None, normals=None):
        """A convex polygon; turned to face `normal` (flat) when given."""
        pts = [np.asarray(p, dtype=float) for p in points]
        face = normalize(np.cross(pts[1] - pts[0], pts[2] - pts[0]))
        if np.linalg.norm(face) == 0:
            for i in range(2, len(pts)):
                face = normalize(np.cross(pts[i - 1] - pts[0], pts[i] - pts[0]))
                if np.linalg.norm(face) > 0:
                    break
        if normal is not None and np.dot(face, normal) < 0:
            pts = pts[::-1]
            uvs = uvs[::-1] if uvs is not None else None
            normals = normals[::-1] if normals is not None else None
        if normal is None:
            normal = face
        if uvs is None:
            uvs = [planar_uv(p, normal) for p in pts]
        if normals is None:
            normals = [normal] * len(pts)
        for i in range(1, len(pts) - 1):
            self.triangle(material, (pts[0], normals[0], uvs[0]), (pts[i], normals[i], uvs[i]),
                          (pts[i + 1], normals[i + 1], uvs[i + 1]))

    def triangle_count(self):
        return sum(len(t) for t in self.parts.values())


def planar_uv(p, normal, scale=1.0):
    """Texture coordinates from the two axes across the dominant axis of the normal."""
    a = int(np.argmax(np.abs(normal)))
    if a == 0:
        return (p[2] * scale, p[1] * scale)
    if a == 1:
        return (p[0] * scale, p[2] * scale)
    return (p[0] * scale, p[1] * scale)


class Document:
    def __init__(self):
        self.cameras = []    # (id, yfov, znear, zfar, position, [(axis, angle)])
        self.lights = []     # (id, colour, position, attenuation (c, l, q))
        self.images = []     # (id, file)
        self.materials = []  # (id, dict)
        self.geometries = []

    def material(self, name, diffuse=(0.8, 0.8, 0.8), specular=(0.2, 0.2, 0.2), shininess=20, emission=(0, 0, 0),
                 ambient=None, image=None):
        if ambient is None:
            ambient = tuple(0.25 * c for c in diffuse)
        self.materials.append((name, dict(diffuse=diffuse, specular=specular, shininess=shininess,
                                          emission=emission, ambient=ambient, image=image)))
        if image and image not in [i[1] for i in self.images]:
            self.images.append((image.replace('.', '_') + '-img', image))
        return name

    def add(self, geometry):
        self.geometries.append(geometry)
        return geometry

    def camera(self, name, position, target, yfov=40.0, znear=0.1, zfar=2000.0):
        """Placed as the show's loader reads it: a translate, then a yaw and a pitch."""
        d = normalize(np.asarray(target, dtype=float) - np.asarray(position, dtype=float))
        yaw = math.degrees(math.atan2(-d[0], -d[2]))
        pitch = math.degrees(math.asin(max(-1.0, min(1.0, d[1]))))
        self.cameras.append((name, yfov, znear, zfar, position, [((0, 1, 0), yaw), ((1, 0, 0), pitch)]))

    def light(self, name, colour, position, attenuation=(1.0, 0.02, 0.002)):
        self.lights.append((name, colour, position, attenuation))

    def write(self, path):
        out = []
        w = out.append
        w('<?xml version="1.0" encoding="utf-8"?>')
        w('<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">')
        w('  <asset><contributor><authoring_tool>Halvoren tools/models</authoring_tool></contributor>'
          '<unit name="meter" meter="0.1"/><up_axis>Y_UP</up_axis></asset>')
        w('  <library_cameras>')
        for name, yfov, znear, zfar, _, _ in self.cameras:
            w('    <camera id="%s" name="%s"><optics><technique_common><perspective><yfov>%s</yfov>'
              '<aspect_ratio>1.7778</aspect_ratio><znear>%s</znear><zfar>%s</zfar></perspective>'
              '</technique_common></optics></camera>' % (name, name, fmt(yfov), fmt(znear), fmt(zfar)))
        w('  </library_cameras>')
        w('  <library_lights>')
        for name, colour, _, (c, l, q) in self.lights:
            w('    <light id="%s" name="%s"><technique_common><point><color>%s</color>'
              '<constant_attenuation>%s</constant_attenuation><linear_attenuation>%s</linear_attenuation>'
              '<quadratic_attenuation>%s</quadratic_attenuation></point></technique_common></light>'
              % (name, name, ' '.join(fmt(x) for x in colour), fmt(c), fmt(l), fmt(q)))
        w('  </library_lights>')
        w('  <library_images>')
        for image_id, file in self.images:
            w('    <image id="%s" name="%s"><init_from>%s</init_from></image>' % (image_id, image_id, file))
        w('  </library_images>')
        w('  <library_materials>')
        for name, _ in self.materials:
            w('    <material id="%s" name="%s"><instance_effect url="#%s-fx"/></material>' % (name, name, name))
        w('  </library_materials>')
        w('  <library_effects>')
        for name, m in self.materials:
            w('    <effect id="%s-fx"><profile_COMMON>' % name)
            if m['image']:
                image_id = [i for i, f in self.images if f == m['image']][0]
                w('      <newparam sid="%s-surface"><surface type="2D"><init_from>%s</init_from></surface></newparam>'
                  % (name, image_id))
                w('      <newparam sid="%s-sampler"><sampler2D><source>%s-surface</source></sampler2D></newparam>'
                  % (name, name))
            w('      <technique sid="common"><phong>')
            w('        <emission><color>%s 1</color></emission>' % ' '.join(fmt(x) for x in m['emission']))
            w('        <ambient><color>%s 1</color></ambient>' % ' '.join(fmt(x) for x in m['ambient']))
            if m['image']:
                w('        <diffuse><texture texture="%s-sampler" texcoord="UVMap"/></diffuse>' % name)
            else:
                w('        <diffuse><color>%s 1</color></diffuse>' % ' '.join(fmt(x) for x in m['diffuse']))
            w('        <specular><color>%s 1</color></specular>' % ' '.join(fmt(x) for x in m['specular']))
            w('        <shininess><float>%s</float></shininess>' % fmt(m['shininess']))
            w('      </phong></technique></profile_COMMON></effect>')
        w('  </library_effects>')
        w('  <library_geometries>')
        for g in self.geometries:
            n = g.name
            w('    <geometry id="%s" name="%s"><mesh>' % (n, n))
            for kind, table, stride in (('positions', g.pos, 3), ('normals', g.nrm, 3), ('uvs', g.uv, 2)):
                values = ' '.join(fmt(x) for row in table for x in row)
                w('      <source id="%s-%s"><float_array id="%s-%s-array" count="%d">%s</float_array>'
                  % (n, kind, n, kind, len(table) * stride, values))
                params = ''.join('<param name="%s" type="float"/>' % c for c in ('XYZ' if stride == 3 else 'ST'))
                w('        <technique_common><accessor source="#%s-%s-array" count="%d" stride="%d">%s</accessor>'
                  '</technique_common></source>' % (n, kind, len(table), stride, params))
            w('      <vertices id="%s-vertices"><input semantic="POSITION" source="#%s-positions"/></vertices>' % (n, n))
            for material, tris in g.parts.items():
                w('      <triangles material="%s" count="%d">' % (material, len(tris)))
                w('        <input semantic="VERTEX" source="#%s-vertices" offset="0"/>' % n)
                w('        <input semantic="NORMAL" source="#%s-normals" offset="1"/>' % n)
                w('        <input semantic="TEXCOORD" source="#%s-uvs" offset="2" set="0"/>' % n)
                w('        <p>%s</p>' % ' '.join('%d %d %d' % c for t in tris for c in t))
                w('      </triangles>')
            w('    </mesh></geometry>')
        w('  </library_geometries>')
        w('  <library_visual_scenes><visual_scene id="Scene" name="Scene">')
        for name, _, _, _, position, rotations in self.cameras:
            w('    <node id="%s-node" name="%s"><translate>%s</translate>' % (name, name, ' '.join(fmt(x) for x in position)))
            for axis, angle in rotations:
                w('      <rotate>%s %s</rotate>' % (' '.join('%d' % a for a in axis), fmt(angle)))
            w('      <instance_camera url="#%s"/></node>' % name)
        for name, _, position, _ in self.lights:
            w('    <node id="%s-node" name="%s"><translate>%s</translate><instance_light url="#%s"/></node>'
              % (name, name, ' '.join(fmt(x) for x in position), name))
        for g in self.geometries:
            w('    <node id="%s-node" name="%s"><instance_geometry url="#%s"/></node>' % (g.name, g.name, g.name))
        w('  </visual_scene></library_visual_scenes>')
        w('  <scene><instance_visual_scene url="#Scene"/></scene>')
        w('</COLLADA>')
        with open(path, 'w', newline='\n') as f:
            f.write('\n'.join(out) + '\n')

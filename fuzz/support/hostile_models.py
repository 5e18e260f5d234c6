#!/usr/bin/python3
"""Writes the two hostile model shapes (seeds of the model fuzz targets, and the inputs
the closing note measures):

  dae: one large position array and many small <triangles> elements that all read it; before the
       memory budget every element copied the whole array (gigabytes from about 1 MB).
  ase: many stub *GEOMOBJECTs before one object with long lists; before the searches were bounded
       by the next object every stub copied the last object's lists.

usage: hostile_models.py dae|ase OUT [KILOBYTES]   (default 1000: about 1 MB)
"""
import sys


def dae(kilobytes):
    budget = kilobytes * 1000
    floats = (budget * 8 // 10) // 2 // 3 * 3          # "0 " per number: 80 % of the file
    triangles = (budget * 2 // 10) // 100              # about 100 bytes each: the rest
    out = ['<?xml version="1.0" encoding="utf-8"?>\n<COLLADA version="1.4.1">\n',
           '<library_geometries><geometry id="g"><mesh>',
           '<source id="pos"><float_array id="pos-a" count="%d">' % floats, '0 ' * floats,
           '</float_array><technique_common><accessor source="#pos-a" count="%d" stride="3"/>'
           '</technique_common></source>' % (floats // 3),
           '<vertices id="v"><input semantic="POSITION" source="#pos"/></vertices>\n']
    out += ['<triangles count="1"><input semantic="VERTEX" source="#v" offset="0"/><p>0 1 2</p></triangles>\n'] * triangles
    out.append('</mesh></geometry></library_geometries><library_visual_scenes><visual_scene id="s">'
               '<node id="n"><instance_geometry url="#g"/></node></visual_scene></library_visual_scenes></COLLADA>\n')
    return ''.join(out)


def ase(kilobytes):
    budget = kilobytes * 1000
    faces = (budget // 2) // 60                         # a face and its normal: about 60 bytes
    stubs = (budget // 2) // 34
    out = ['*3DSMAX_ASCIIEXPORT\t200\n*MATERIAL_LIST {\n\t*MATERIAL 0 {\n\t\t*MATERIAL_DIFFUSE 1\t1\t1\n\t}\n}\n']
    out += ['*GEOMOBJECT {\n\t*MATERIAL_REF 0\n}\n'] * stubs
    out.append('*GEOMOBJECT {\n\t*MESH {\n\t\t*MESH_VERTEX_LIST {\n\t\t\t*MESH_VERTEX 0\t0\t0\t0\n\t\t}\n'
               '\t\t*MESH_FACE_LIST {\n')
    out += ['\t\t\t*MESH_FACE %d: A: 0 B: 0 C: 0\n' % k for k in range(faces)]
    out.append('\t\t}\n\t\t*MESH_NORMALS {\n')
    out += ['\t\t\t*MESH_FACENORMAL %d\t0\t0\t1\n' % k for k in range(faces)]
    out.append('\t\t}\n\t}\n\t*MATERIAL_REF 0\n}\n')
    return ''.join(out)


if __name__ == '__main__':
    kind, path = sys.argv[1], sys.argv[2]
    kilobytes = int(sys.argv[3]) if len(sys.argv) > 3 else 1000
    with open(path, 'w') as f:
        f.write(dae(kilobytes) if kind == 'dae' else ase(kilobytes))

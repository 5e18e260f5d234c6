#!/usr/bin/python3
# Writes test_model.dae in the working folder, for: halvoren-modelview file test_model.dae OUT
# A small test model: a red cube, a blue pyramid on a child node, and its mirror image (scale -1 x).
def mesh(gid, verts, tris, material):
    # flat normals per triangle
    import math
    normals=[]; p=[]
    for a,b,c in tris:
        A,B,C=verts[a],verts[b],verts[c]
        u=[B[i]-A[i] for i in range(3)]; v=[C[i]-A[i] for i in range(3)]
        n=[u[1]*v[2]-u[2]*v[1],u[2]*v[0]-u[0]*v[2],u[0]*v[1]-u[1]*v[0]]
        l=math.sqrt(sum(x*x for x in n)); n=[x/l for x in n]
        k=len(normals); normals.append(n)
        p+= [a,k,b,k,c,k]
    fv=" ".join("%g"%x for v in verts for x in v); fn=" ".join("%g"%x for v in normals for x in v)
    return f'''<geometry id="{gid}"><mesh>
<source id="{gid}-pos"><float_array id="{gid}-pa" count="{len(verts)*3}">{fv}</float_array><technique_common><accessor source="#{gid}-pa" count="{len(verts)}" stride="3"/></technique_common></source>
<source id="{gid}-nrm"><float_array id="{gid}-na" count="{len(normals)*3}">{fn}</float_array><technique_common><accessor source="#{gid}-na" count="{len(normals)}" stride="3"/></technique_common></source>
<vertices id="{gid}-v"><input semantic="POSITION" source="#{gid}-pos"/></vertices>
<triangles material="{material}" count="{len(tris)}"><input semantic="VERTEX" source="#{gid}-v" offset="0"/><input semantic="NORMAL" source="#{gid}-nrm" offset="1"/><p>{" ".join(map(str,p))}</p></triangles>
</mesh></geometry>'''
cube=[(x,y,z) for x in (-1,1) for y in (-1,1) for z in (-1,1)]
def idx(x,y,z): return ((x>0)*4+(y>0)*2+(z>0))
quads=[((-1,-1,1),(1,-1,1),(1,1,1),(-1,1,1)),((1,-1,-1),(-1,-1,-1),(-1,1,-1),(1,1,-1)),
       ((1,-1,1),(1,-1,-1),(1,1,-1),(1,1,1)),((-1,-1,-1),(-1,-1,1),(-1,1,1),(-1,1,-1)),
       ((-1,1,1),(1,1,1),(1,1,-1),(-1,1,-1)),((-1,-1,-1),(1,-1,-1),(1,-1,1),(-1,-1,1))]
ct=[]
for q in quads:
    a,b,c,d=[idx(*v) for v in q]; ct+= [(a,b,c),(a,c,d)]
pyr=[(-0.6,0,-0.6),(0.6,0,-0.6),(0.6,0,0.6),(-0.6,0,0.6),(0,1.2,0)]
pt=[(0,1,2),(0,2,3),(3,2,4),(2,1,4),(1,0,4),(0,3,4)]
def fx(name,col): return f'<effect id="{name}-fx"><profile_COMMON><technique sid="common"><phong><emission><color>0 0 0 1</color></emission><ambient><color>0.2 0.2 0.2 1</color></ambient><diffuse><color>{col}</color></diffuse><specular><color>0.5 0.5 0.5 1</color></specular><shininess><float>30</float></shininess></phong></technique></profile_COMMON></effect>'
doc=f'''<?xml version="1.0" encoding="utf-8"?>
<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">
<library_materials><material id="Red"><instance_effect url="#Red-fx"/></material><material id="Blue"><instance_effect url="#Blue-fx"/></material></library_materials>
<library_effects>{fx("Red","0.9 0.15 0.1 1")}{fx("Blue","0.15 0.35 0.95 1")}</library_effects>
<library_geometries>{mesh("Cube",cube,ct,"Red")}{mesh("Pyramid",pyr,pt,"Blue")}</library_geometries>
<library_visual_scenes><visual_scene id="Scene">
<node id="CubeNode"><instance_geometry url="#Cube"/>
  <node id="Top"><translate>0 1 0</translate><instance_geometry url="#Pyramid"/></node>
</node>
<node id="Mirror"><translate>2.6 -1 0</translate><scale>-1 1 1</scale><rotate>0 0 1 30</rotate><instance_geometry url="#Pyramid"/></node>
</visual_scene></library_visual_scenes>
</COLLADA>
'''
open("test_model.dae","w").write(doc)

#version 110
// Particles as point sprites: the camera-facing square of the billboard program, `size` world
// units wide, covers size x projection[1][1] x half the viewport height / w pixels on screen.
// The sprite's texture coordinates replace gl_TexCoord[0] across the point (GL_COORD_REPLACE), so
// billboard.frag shades it as it shades the quad.
uniform float pixelsAtUnitW; // size x projection[1][1] x viewport height / 2

void main()
{
    gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex;
    gl_PointSize = pixelsAtUnitW / gl_Position.w;
    gl_TexCoord[0] = vec4(0.0, 0.0, 0.0, 1.0);
    gl_FrontColor = gl_Color;
    gl_BackColor = gl_Color;
}

#version 110
// Particles: the four corners of a particle arrive at one position and differ only in their texture
// coordinate; they are spread into a camera-facing square of edge `size` along the camera axes.
uniform vec3 right; // camera right, world space, unit length
uniform vec3 up;    // camera up, world space, unit length
uniform float size; // edge length of the square, world units

void main()
{
    vec2 corner = gl_MultiTexCoord0.st * 2.0 - 1.0;
    vec3 position = gl_Vertex.xyz + (right * corner.x + up * corner.y) * (0.5 * size);
    gl_TexCoord[0] = gl_MultiTexCoord0;
    gl_FrontColor = gl_Color;
    gl_BackColor = gl_Color;
    gl_Position = gl_ModelViewProjectionMatrix * vec4(position, 1.0);
}

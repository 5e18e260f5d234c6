#version 110
// Untextured meshes in their material colours, lit per pixel.
// Eye-space position and normal for per-pixel lighting, and the vector to each of lights 0 to
// LIGHTS - 1 (affine in the position, so it interpolates exactly; a software rasteriser reads a
// uniform per pixel at far greater cost); texture coordinate 0 and the colour pass on.
#ifndef LIGHTS
#define LIGHTS 8
#endif
varying vec3 eyePosition;
varying vec3 eyeNormal;
varying vec4 toLight[LIGHTS]; // xyz: to the light; w: the light position's w

void main()
{
    vec4 objectVertex = gl_Vertex;
    vec3 objectNormal = gl_Normal;
    eyePosition = vec3(gl_ModelViewMatrix * objectVertex);
    eyeNormal = gl_NormalMatrix * objectNormal;
    for (int i = 0; i < LIGHTS; i++) {
        vec4 lightPosition = gl_LightSource[i].position;
        toLight[i] = vec4(lightPosition.xyz - eyePosition * lightPosition.w, lightPosition.w);
    }
    gl_TexCoord[0] = gl_TextureMatrix[0] * gl_MultiTexCoord0;
    gl_FrontColor = gl_Color;
    gl_BackColor = gl_Color;
    gl_Position = gl_ModelViewProjectionMatrix * objectVertex;
}

#version 110
// Untextured meshes in their material colours, lit by light 0.
// Eye-space position and normal for per-pixel lighting; texture coordinate 0 and the colour pass on.
varying vec3 eyePosition;
varying vec3 eyeNormal;

void main()
{
    vec4 objectVertex = gl_Vertex;
    vec3 objectNormal = gl_Normal;
    eyePosition = vec3(gl_ModelViewMatrix * objectVertex);
    eyeNormal = gl_NormalMatrix * objectNormal;
    gl_TexCoord[0] = gl_TextureMatrix[0] * gl_MultiTexCoord0;
    gl_FrontColor = gl_Color;
    gl_BackColor = gl_Color;
    gl_Position = gl_ModelViewProjectionMatrix * objectVertex;
}

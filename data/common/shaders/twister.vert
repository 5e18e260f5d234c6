#version 110
// Twister: the mesh wrung about its y axis, then lit per pixel like the bump-mapped shiny meshes.
// Eye-space position and normal for per-pixel lighting; texture coordinate 0 and the colour pass on.
uniform float twist; // radians of turn per unit of height (0: no twist)

varying vec3 eyePosition;
varying vec3 eyeNormal;

void main()
{
    // Twist about the object's y axis: each height turns by twist * y radians; the normal turns along.
    float angle = twist * gl_Vertex.y;
    float c = cos(angle);
    float s = sin(angle);
    vec4 objectVertex = vec4(c * gl_Vertex.x + s * gl_Vertex.z, gl_Vertex.y, -s * gl_Vertex.x + c * gl_Vertex.z,
                             gl_Vertex.w);
    vec3 objectNormal = vec3(c * gl_Normal.x + s * gl_Normal.z, gl_Normal.y, -s * gl_Normal.x + c * gl_Normal.z);
    eyePosition = vec3(gl_ModelViewMatrix * objectVertex);
    eyeNormal = gl_NormalMatrix * objectNormal;
    gl_TexCoord[0] = gl_TextureMatrix[0] * gl_MultiTexCoord0;
    gl_FrontColor = gl_Color;
    gl_BackColor = gl_Color;
    gl_Position = gl_ModelViewProjectionMatrix * objectVertex;
}

#version 110
// Deferred shading, lighting pass: a quad over the screen; texture coordinate 0 addresses the G-buffer.
void main()
{
    gl_TexCoord[0] = gl_MultiTexCoord0;
    gl_FrontColor = gl_Color;
    gl_BackColor = gl_Color;
    gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex;
}

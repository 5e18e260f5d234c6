#version 110
// Particles: the vertex colour modulated by the particle sprite on texture unit 0.
uniform sampler2D Sprite;

void main()
{
    gl_FragColor = gl_Color * texture2D(Sprite, gl_TexCoord[0].st);
}

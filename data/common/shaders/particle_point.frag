#version 120
// Particles as point sprites: the vertex colour times the sprite, turned so that the sprite's
// first row is at the bottom as on the billboard's quad (the point's coordinates start top left).
uniform sampler2D Sprite;

void main()
{
    gl_FragColor = gl_Color * texture2D(Sprite, vec2(gl_PointCoord.x, 1.0 - gl_PointCoord.y));
}

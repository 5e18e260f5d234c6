#version 110
// Particles: keeps only the fragments whose pixel of the picture is already white in all four
// channels; the burst marks them in the depth buffer, since adding to them changes nothing.
uniform sampler2D Picture;

void main()
{
    vec4 c = texture2D(Picture, gl_TexCoord[0].st);
    if (min(min(c.r, c.g), min(c.b, c.a)) < 1.0) discard;
    gl_FragColor = c;
}

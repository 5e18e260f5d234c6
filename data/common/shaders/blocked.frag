#version 110
// Text-mode mosaic: the picture on texture unit 0 reduced to an 80 x 50 grid of flat cells with dark
// seams between them, times the vertex colour.
uniform sampler2D Image;

const vec2 CELLS = vec2(80.0, 50.0);
const float SEAM = 0.12;       // share of a cell taken by its seam
const float SEAM_BRIGHTNESS = 0.45;

void main()
{
    vec2 grid = gl_TexCoord[0].st * CELLS;
    vec2 cellCentre = (floor(grid) + 0.5) / CELLS;
    vec4 cell = texture2D(Image, cellCentre);
    vec2 inCell = fract(grid);
    float inside = step(SEAM, inCell.x) * step(SEAM, inCell.y);
    gl_FragColor = cell * gl_Color * vec4(vec3(mix(SEAM_BRIGHTNESS, 1.0, inside)), 1.0);
}

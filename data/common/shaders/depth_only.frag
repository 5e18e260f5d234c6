#version 110
// Depth only: drawn with colour writes off, so the cheapest colour will do.
void main()
{
    gl_FragColor = vec4(0.0);
}

#version 110
// Gaussian glow: texture unit 0 blurred with a 7 x 7 binomial kernel (taps 4 texels of a 512 image
// apart), times the vertex colour, so a colour of 0 adds nothing. Meant for additive blending.
uniform sampler2D Image;

const float STEP = 0.008; // tap spacing in texture coordinates

void main()
{
    // Binomial weights 1 6 15 20 15 6 1 (sum 64) in each direction.
    float weights[7];
    weights[0] = 1.0;
    weights[1] = 6.0;
    weights[2] = 15.0;
    weights[3] = 20.0;
    weights[4] = 15.0;
    weights[5] = 6.0;
    weights[6] = 1.0;
    vec4 sum = vec4(0.0);
    for (int y = 0; y < 7; y++) {
        for (int x = 0; x < 7; x++) {
            vec2 offset = vec2(float(x - 3), float(y - 3)) * STEP;
            sum += texture2D(Image, gl_TexCoord[0].st + offset) * (weights[x] * weights[y]);
        }
    }
    gl_FragColor = sum * (1.0 / 4096.0) * gl_Color;
}

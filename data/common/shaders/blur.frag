#version 110
// Glow: texture unit 0 spread into a soft halo (a sharp core on two rings of taps), times the
// vertex colour, so a colour of 0 adds nothing. Meant for additive blending.
uniform sampler2D Image;

const float INNER = 0.012;   // ring radii in texture coordinates
const float OUTER = 0.03;   // MIDILights draws the halo only within MIDI_LIGHTS_HALO_REACH (0.05) of the keys
const float CORE_WEIGHT = 0.25;
const float INNER_WEIGHT = 0.06;  // each of 8 taps
const float OUTER_WEIGHT = 0.035; // each of 8 taps
const float GAIN = 1.6;           // the halo is brighter than the image it comes from

void main()
{
    vec2 uv = gl_TexCoord[0].st;
    vec4 sum = texture2D(Image, uv) * CORE_WEIGHT;
    // Eight directions, the outer ring turned by half a step so the taps interleave.
    sum += texture2D(Image, uv + vec2(INNER, 0.0)) * INNER_WEIGHT;
    sum += texture2D(Image, uv + vec2(-INNER, 0.0)) * INNER_WEIGHT;
    sum += texture2D(Image, uv + vec2(0.0, INNER)) * INNER_WEIGHT;
    sum += texture2D(Image, uv + vec2(0.0, -INNER)) * INNER_WEIGHT;
    sum += texture2D(Image, uv + vec2(0.7071, 0.7071) * INNER) * INNER_WEIGHT;
    sum += texture2D(Image, uv + vec2(-0.7071, 0.7071) * INNER) * INNER_WEIGHT;
    sum += texture2D(Image, uv + vec2(0.7071, -0.7071) * INNER) * INNER_WEIGHT;
    sum += texture2D(Image, uv + vec2(-0.7071, -0.7071) * INNER) * INNER_WEIGHT;
    sum += texture2D(Image, uv + vec2(0.9239, 0.3827) * OUTER) * OUTER_WEIGHT;
    sum += texture2D(Image, uv + vec2(-0.9239, 0.3827) * OUTER) * OUTER_WEIGHT;
    sum += texture2D(Image, uv + vec2(0.9239, -0.3827) * OUTER) * OUTER_WEIGHT;
    sum += texture2D(Image, uv + vec2(-0.9239, -0.3827) * OUTER) * OUTER_WEIGHT;
    sum += texture2D(Image, uv + vec2(0.3827, 0.9239) * OUTER) * OUTER_WEIGHT;
    sum += texture2D(Image, uv + vec2(-0.3827, 0.9239) * OUTER) * OUTER_WEIGHT;
    sum += texture2D(Image, uv + vec2(0.3827, -0.9239) * OUTER) * OUTER_WEIGHT;
    sum += texture2D(Image, uv + vec2(-0.3827, -0.9239) * OUTER) * OUTER_WEIGHT;
    gl_FragColor = sum * GAIN * gl_Color;
}

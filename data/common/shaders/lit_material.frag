#version 110
// Untextured meshes in their material colours lit per pixel on both sides by the lights a scene
// applied, as the fixed-function two-sided model would: the fragment half. The defines, and why
// the lights' constants are literals, are explained in lit_material.vert.
#ifndef LIT_LIGHTS
#define LIT_LIGHTS 1
#define LIT_MATERIAL 1
#define LIT_COLOUR_LIGHTS 1
#define LIT_PRODUCT_LIGHTS 0
#define LIT_DIFFUSE_LIGHTS 0
#define LIT_SPOT_LIGHTS 0
#define LIT_SHININESS_BITS 0
#define LIT_SEND
#define LIT_SHADE addColourLight(0, directionalShares(toLight[0]));
#endif

varying vec3 eyePosition;
varying vec3 eyeNormal;
varying vec4 sceneColour;
#ifndef LIT_POWER
varying float shininess;
#endif
varying vec3 toLight[LIT_LIGHTS];
#if LIT_MATERIAL
varying vec3 materialAmbient;
varying vec3 materialDiffuse;
varying vec3 materialSpecular;
#endif
#if LIT_COLOUR_LIGHTS
varying vec3 lightColour[LIT_COLOUR_LIGHTS];
#endif
#if LIT_PRODUCT_LIGHTS
varying vec3 ambientProduct[LIT_PRODUCT_LIGHTS];
varying vec3 diffuseProduct[LIT_PRODUCT_LIGHTS];
varying vec3 specularProduct[LIT_PRODUCT_LIGHTS];
#endif
#if LIT_DIFFUSE_LIGHTS
varying vec3 sentDiffuseProduct[LIT_DIFFUSE_LIGHTS];
#endif
#if LIT_SPOT_LIGHTS
varying vec3 spotDirection[LIT_SPOT_LIGHTS];
#endif

vec3 n;        // the unit normal of the side in view
vec3 toViewer; // unit, from the fragment to the eye

#ifdef LIT_POWER
// Every mesh drawn with the program has one shininess (that shows: those without a highlight may
// have another), built in as the few squarings and products its bits need.
float highlightPower(float x) { LIT_POWER }
#elif LIT_SHININESS_BITS
// Every mesh's shininess is a whole number below 2^LIT_SHININESS_BITS (at most 128, as OpenGL
// allows): the highlight's power is taken by squaring, once per bit, which a software rasteriser
// does at a fraction of the cost of pow's logarithm and exponential. The bits, lowest first, are
// the same for every light.
float shininessBit[LIT_SHININESS_BITS];

void splitShininess()
{
    float rest = floor(shininess + 0.5); // interpolation may leave it a hair off the whole number
    for (int i = 0; i < LIT_SHININESS_BITS; i++) {
        float halved = floor(rest * 0.5);
        shininessBit[i] = rest - 2.0 * halved;
        rest = halved;
    }
}

float highlightPower(float x)
{
    float power = mix(1.0, x, shininessBit[0]);
    for (int i = 1; i < LIT_SHININESS_BITS; i++) {
        x *= x;
        power *= mix(1.0, x, shininessBit[i]);
    }
    return power;
}
#else
float highlightPower(float x) { return pow(x, shininess); }
#endif

// One light's geometry at this fragment, from the vector to it (toL), its length d and the
// attenuation's divisor (c + k d + q d^2; 1 for a directional light). The half vector is kept
// unnormalised, times d: toL + d toViewer. A software rasteriser pays for each division at every
// pixel, so one division yields 1/d, 1/divisor and the half vector's 1/length.
vec3 halfway;
float inverseD, inverseHalfway, attenuation;

void measure(vec3 toL, float d, float divisor)
{
    halfway = toL + d * toViewer;
    float halfwayLength = sqrt(dot(halfway, halfway));
    float r = 1.0 / max(d * divisor * halfwayLength, 1.0e-30);
    inverseD = divisor * halfwayLength * r;
    attenuation = d * halfwayLength * r;
    inverseHalfway = d * divisor * r;
}

// The light's share as three weights: ambient (its attenuation times cone), diffuse and specular.
vec3 shares(vec3 toL, float cone)
{
    float nDotL = max(dot(n, toL) * inverseD, 0.0);
    float highlight = highlightPower(max(dot(n, halfway) * inverseHalfway, 1.0e-6));
    float weight = attenuation * cone;
    return vec3(weight, nDotL * weight, highlight * weight * step(1.0e-6, nDotL));
}

vec3 directionalShares(vec3 toL)
{
    measure(toL, sqrt(dot(toL, toL)), 1.0);
    return shares(toL, 1.0);
}

// c, k, q: the constant, linear and quadratic attenuation.
vec3 pointShares(vec3 toL, float c, float k, float q)
{
    float d = sqrt(dot(toL, toL));
    measure(toL, d, max(c + k * d + q * d * d, 1.0e-6));
    return shares(toL, 1.0);
}

// The cosine of the angle between the cone's axis and the fragment, seen from the light.
float spotCosine(vec3 toL, vec3 direction, float c, float k, float q)
{
    float d = sqrt(dot(toL, toL));
    measure(toL, d, max(c + k * d + q * d * d, 1.0e-6));
    return -dot(toL, direction) * inverseD;
}

vec3 spotShares(vec3 toL, vec3 direction, float c, float k, float q, float cosCutoff, float exponent)
{
    float spot = spotCosine(toL, direction, c, k, q);
    return shares(toL, step(cosCutoff, spot) * pow(max(spot, 1.0e-6), exponent));
}

// A spot exponent of 0: the cone has a hard edge and nothing to raise (pow costs a logarithm and
// an exponential at every pixel).
vec3 hardSpotShares(vec3 toL, vec3 direction, float c, float k, float q, float cosCutoff)
{
    return shares(toL, step(cosCutoff, spotCosine(toL, direction, c, k, q)));
}

vec3 ambientSum = vec3(0.0);
vec3 diffuseSum = vec3(0.0);
vec3 specularSum = vec3(0.0);
// Lights added up before the material multiplies them: their ambient, diffuse and specular colours
// times the matching weights.
vec3 colourAmbient = vec3(0.0);
vec3 colourDiffuse = vec3(0.0);
vec3 colourSpecular = vec3(0.0);
vec3 w;

// The calls in LIT_SHADE, one per light (slot: its place in its kind's varyings).
#define addProductLight(slot, lightShares) w = lightShares; ambientSum += ambientProduct[slot] * w.x; diffuseSum += diffuseProduct[slot] * w.y; specularSum += specularProduct[slot] * w.z
#define addColourLight(slot, lightShares) w = lightShares; colourAmbient += lightColour[slot] * w.x; colourDiffuse += lightColour[slot] * w.y; colourSpecular += lightColour[slot] * w.z
#define addDiffuseLight(slot, ambient, specular, lightShares) w = lightShares; colourAmbient += ambient * w.x; diffuseSum += sentDiffuseProduct[slot] * w.y; colourSpecular += specular * w.z
#define addFixedLight(ambient, diffuse, specular, lightShares) w = lightShares; colourAmbient += ambient * w.x; colourDiffuse += diffuse * w.y; colourSpecular += specular * w.z

void main()
{
    n = normalize(eyeNormal);
    // Both sides lit: the back of a face sees the flipped normal.
    if (!gl_FrontFacing)
        n = -n;
    toViewer = normalize(-eyePosition);
#if LIT_SHININESS_BITS
    splitShininess();
#endif
    LIT_SHADE
    vec3 lit = sceneColour.rgb + ambientSum + diffuseSum;
#if LIT_MATERIAL
    lit += materialAmbient * colourAmbient + materialDiffuse * colourDiffuse;
    specularSum += materialSpecular * colourSpecular;
#endif
    gl_FragColor = vec4(lit + specularSum, sceneColour.a);
}

#version 110
// Untextured meshes lit per pixel by the lights a scene applied: the vertex half. litProgram
// (src/util/objects3d/litprogram.cpp) builds one program per set of lights and gives both halves
// these defines:
//   LIT_LIGHTS            lights shaded (at least 1 slot), each with a vector to the light
//   LIT_MATERIAL          1 when lights are added up before the material colours multiply them
//   LIT_COLOUR_LIGHTS     lights whose ambient, diffuse and specular are one colour, sent each draw
//   LIT_PRODUCT_LIGHTS    lights with three colours, which carry their light x material products
//   LIT_DIFFUSE_LIGHTS    lights whose ambient and specular colours stay, which carry their
//                         diffuse light x material product
//   LIT_SPOT_LIGHTS       spot lights, which carry their cone's direction
//   LIT_SHININESS_BITS    n > 0 when every material's shininess is a whole number below 2^n (the
//                         fragment stage raises the highlight to it by squaring, n times); 0: pow
//   LIT_POWER             where defined, the fragment stage's highlightPower(x) for the one
//                         shininess its meshes share (none is sent; LIT_SHININESS_BITS is 0)
//   LIT_SEND              statements that fill the per-light varyings below (this stage)
//   LIT_SHADE             statements that add up every light (the fragment stage)
// A light's constants (attenuation, cone, and its colours where the scene keeps them fixed) are
// literals in LIT_SHADE, and only what changes from frame to frame travels as a varying: a
// software rasteriser pays per pixel for every uniform it reads and every float it interpolates.
// Lights left out are dark, so they would add nothing.
#ifndef LIT_LIGHTS
#define LIT_LIGHTS 1
#define LIT_MATERIAL 1
#define LIT_COLOUR_LIGHTS 1
#define LIT_PRODUCT_LIGHTS 0
#define LIT_DIFFUSE_LIGHTS 0
#define LIT_SPOT_LIGHTS 0
#define LIT_SHININESS_BITS 0
#define LIT_SEND sendColourLight(0, 0);
#define LIT_SHADE
#endif

varying vec3 eyePosition;
varying vec3 eyeNormal;
varying vec4 sceneColour; // rgb: emission and the global ambient's share; a: the diffuse alpha
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

// The calls in LIT_SEND, one per light (i: the GL light; slot: its place in its kind's varyings).
#define sendToLight(i) toLight[i] = gl_LightSource[i].position.xyz - eyePosition * gl_LightSource[i].position.w
#define sendFixedLight(i) sendToLight(i)
#if LIT_COLOUR_LIGHTS
#define sendColourLight(i, slot) sendToLight(i); lightColour[slot] = gl_LightSource[i].diffuse.rgb
#endif
#if LIT_PRODUCT_LIGHTS
#define sendProductLight(i, slot) sendToLight(i); ambientProduct[slot] = gl_FrontLightProduct[i].ambient.rgb; diffuseProduct[slot] = gl_FrontLightProduct[i].diffuse.rgb; specularProduct[slot] = gl_FrontLightProduct[i].specular.rgb
#endif
#if LIT_DIFFUSE_LIGHTS
#define sendDiffuseLight(i, slot) sendToLight(i); sentDiffuseProduct[slot] = gl_FrontLightProduct[i].diffuse.rgb
#endif
#if LIT_SPOT_LIGHTS
#define sendSpot(i, slot) spotDirection[slot] = normalize(gl_LightSource[i].spotDirection)
#endif

void main()
{
    vec4 objectVertex = gl_Vertex;
    vec3 objectNormal = gl_Normal;
    eyePosition = vec3(gl_ModelViewMatrix * objectVertex);
    eyeNormal = gl_NormalMatrix * objectNormal;
    sceneColour = vec4(gl_FrontLightModelProduct.sceneColor.rgb, gl_FrontMaterial.diffuse.a);
#ifndef LIT_POWER
    shininess = max(gl_FrontMaterial.shininess, 1.0);
#endif
#if LIT_MATERIAL
    materialAmbient = gl_FrontMaterial.ambient.rgb;
    materialDiffuse = gl_FrontMaterial.diffuse.rgb;
    materialSpecular = gl_FrontMaterial.specular.rgb;
#endif
    LIT_SEND
    gl_Position = gl_ModelViewProjectionMatrix * objectVertex;
}

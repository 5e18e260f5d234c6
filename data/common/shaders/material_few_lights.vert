#version 110
// Untextured meshes lit per pixel by OpenGL lights 0 to LIGHTS - 1 (at most 4; the program is built
// per count): the vertex stage hands each light's constants to the fragment stage as varyings,
// since a software rasteriser reads a uniform per pixel at far greater cost than it interpolates.
// A constant interpolates to itself, and the vector to a light is affine in the position, so the
// picture is that of multi_material_notex.
#ifndef LIGHTS
#define LIGHTS 4
#endif

varying vec3 eyePosition;
varying vec3 eyeNormal;
varying vec4 toLight[LIGHTS];       // xyz: to the light; w: the light position's w
varying vec4 attenuation[LIGHTS];   // constant, linear and quadratic attenuation, spot cut-off
varying vec3 lightAmbient[LIGHTS];  // the light and material products
varying vec3 lightDiffuse[LIGHTS];
varying vec3 lightSpecular[LIGHTS];

void main()
{
    vec4 objectVertex = gl_Vertex;
    vec3 objectNormal = gl_Normal;
    eyePosition = vec3(gl_ModelViewMatrix * objectVertex);
    eyeNormal = gl_NormalMatrix * objectNormal;
    for (int i = 0; i < LIGHTS; i++) {
        vec4 lightPosition = gl_LightSource[i].position;
        toLight[i] = vec4(lightPosition.xyz - eyePosition * lightPosition.w, lightPosition.w);
        attenuation[i] = vec4(gl_LightSource[i].constantAttenuation, gl_LightSource[i].linearAttenuation,
                              gl_LightSource[i].quadraticAttenuation, gl_LightSource[i].spotCutoff);
        lightAmbient[i] = gl_FrontLightProduct[i].ambient.rgb;
        lightDiffuse[i] = gl_FrontLightProduct[i].diffuse.rgb;
        lightSpecular[i] = gl_FrontLightProduct[i].specular.rgb;
    }
    gl_TexCoord[0] = gl_TextureMatrix[0] * gl_MultiTexCoord0;
    gl_FrontColor = gl_Color;
    gl_BackColor = gl_Color;
    gl_Position = gl_ModelViewProjectionMatrix * objectVertex;
}

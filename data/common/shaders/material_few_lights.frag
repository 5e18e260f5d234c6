#version 110
// Untextured mesh in its material colours, lit per pixel by OpenGL lights 0 to LIGHTS - 1 on both
// sides, with the lights' constants from the vertex stage (see material_few_lights.vert).
#ifndef LIGHTS
#define LIGHTS 4
#endif
// SPOT_LIGHTS 0 leaves out the spot cone, for programs whose lights are all points: the cone costs
// as much as the specular highlight on a software rasteriser even when no light is a spot.
#ifndef SPOT_LIGHTS
#define SPOT_LIGHTS 1
#endif

varying vec3 eyePosition;
varying vec3 eyeNormal;
varying vec4 toLight[LIGHTS];
varying vec4 attenuation[LIGHTS];
varying vec3 lightAmbient[LIGHTS];
varying vec3 lightDiffuse[LIGHTS];
varying vec3 lightSpecular[LIGHTS];

void main()
{
    vec3 n = normalize(eyeNormal);
    // Both sides lit: the back of a face sees the flipped normal.
    if (!gl_FrontFacing)
        n = -n;

    vec3 toViewer = normalize(-eyePosition);
    float shininess = max(gl_FrontMaterial.shininess, 1.0);
    vec3 ambientSum = vec3(0.0);
    vec3 diffuseSum = vec3(0.0);
    vec3 specularSum = vec3(0.0);
    for (int i = 0; i < LIGHTS; i++) {
        float lightDistance = length(toLight[i].xyz);
        vec3 l = toLight[i].xyz / max(lightDistance, 1.0e-6);
        float lightAttenuation = 1.0;
        if (toLight[i].w != 0.0) {
            float falloff = attenuation[i].x + attenuation[i].y * lightDistance +
                            attenuation[i].z * lightDistance * lightDistance;
            lightAttenuation = 1.0 / max(falloff, 1.0e-6);
#if SPOT_LIGHTS
            if (attenuation[i].w <= 90.0) {
                float spot = dot(-l, normalize(gl_LightSource[i].spotDirection));
                float inCone = step(gl_LightSource[i].spotCosCutoff, spot);
                lightAttenuation *= inCone * pow(max(spot, 1.0e-6), gl_LightSource[i].spotExponent);
            }
#endif
        }
        float nDotL = max(dot(n, l), 0.0);
        ambientSum += lightAmbient[i] * lightAttenuation;
        diffuseSum += lightDiffuse[i] * (nDotL * lightAttenuation);
        vec3 h = normalize(l + toViewer);
        float highlight = pow(max(dot(n, h), 1.0e-6), shininess);
        specularSum += lightSpecular[i] * (highlight * lightAttenuation * step(1.0e-6, nDotL));
    }
    vec3 lit = gl_FrontLightModelProduct.sceneColor.rgb + ambientSum + diffuseSum;
    vec4 colour = vec4(lit, gl_FrontMaterial.diffuse.a);
    colour.rgb += specularSum;
    gl_FragColor = colour;
}

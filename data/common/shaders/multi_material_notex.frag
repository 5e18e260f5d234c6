#version 110
// Untextured mesh in its material colours (emission, ambient, diffuse, specular, shininess), lit per
// pixel by OpenGL lights 0 to LIGHTS - 1 on both sides, as the fixed-function two-sided model would.
// LIGHTS is 8 unless the program is built for fewer: a loop of fixed length unrolls, which software
// rasterisers need to read the light parameters directly, so each light count is its own program.
#ifndef LIGHTS
#define LIGHTS 8
#endif

const int MAX_LIGHTS = LIGHTS;

varying vec3 eyePosition;
varying vec3 eyeNormal;
varying vec4 toLight[LIGHTS]; // from the vertex stage: xyz to the light, w the light position's w

void main()
{
    vec3 n = normalize(eyeNormal);
    // Both sides lit: the back of a face sees the flipped normal.
    if (!gl_FrontFacing)
        n = -n;

    vec3 toViewer = normalize(-eyePosition);
    vec3 ambientSum = vec3(0.0);
    vec3 diffuseSum = vec3(0.0);
    vec3 specularSum = vec3(0.0);
    for (int i = 0; i < MAX_LIGHTS; i++) {
        float lightDistance = length(toLight[i].xyz);
        vec3 l = toLight[i].xyz / max(lightDistance, 1.0e-6);
        float attenuation = 1.0;
        if (toLight[i].w != 0.0) {
            float falloff = gl_LightSource[i].constantAttenuation + gl_LightSource[i].linearAttenuation * lightDistance +
                            gl_LightSource[i].quadraticAttenuation * lightDistance * lightDistance;
            attenuation = 1.0 / max(falloff, 1.0e-6);
            if (gl_LightSource[i].spotCutoff <= 90.0) {
                float spot = dot(-l, normalize(gl_LightSource[i].spotDirection));
                float inCone = step(gl_LightSource[i].spotCosCutoff, spot);
                attenuation *= inCone * pow(max(spot, 1.0e-6), gl_LightSource[i].spotExponent);
            }
        }
        float nDotL = max(dot(n, l), 0.0);
        ambientSum += gl_FrontLightProduct[i].ambient.rgb * attenuation;
        diffuseSum += gl_FrontLightProduct[i].diffuse.rgb * (nDotL * attenuation);
        vec3 h = normalize(l + toViewer);
        float highlight = pow(max(dot(n, h), 1.0e-6), max(gl_FrontMaterial.shininess, 1.0));
        specularSum += gl_FrontLightProduct[i].specular.rgb * (highlight * attenuation * step(1.0e-6, nDotL));
    }
    vec3 lit = gl_FrontLightModelProduct.sceneColor.rgb + ambientSum + diffuseSum;
    vec4 colour = vec4(lit, gl_FrontMaterial.diffuse.a);
    colour.rgb += specularSum;
    gl_FragColor = colour;
}

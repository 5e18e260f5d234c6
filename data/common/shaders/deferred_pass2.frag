#version 110
// Deferred shading, lighting pass: lights the G-buffer of the geometry pass with all eight OpenGL
// lights (their eye-space state as set for the scene). The eye-space position is rebuilt from the
// packed depth and the screen position under the show's standard projection (45 degrees, 16:9).
uniform sampler2D ColorMap;    // attachment 0 of the geometry pass
uniform sampler2D NormalMap;   // attachment 1
uniform sampler2D DepthMap;    // attachment 2

const int MAX_LIGHTS = 8;
const float DEPTH_RANGE = 2000.0;
const float TAN_HALF_FOV = 0.41421356; // tan(22.5 degrees)
const float ASPECT = 1.7777778;

float unpackDepth(vec3 bytes)
{
    return dot(bytes, vec3(1.0, 1.0 / 255.0, 1.0 / 65025.0));
}

void main()
{
    vec2 uv = gl_TexCoord[0].st;
    vec4 albedo = texture2D(ColorMap, uv);
    vec4 normalSample = texture2D(NormalMap, uv);
    vec4 depthSample = texture2D(DepthMap, uv);
    // Background (nothing written) keeps a zero normal sample; leave it black and transparent.
    float covered = step(0.001, depthSample.a);
    vec3 n = normalize(normalSample.xyz * 2.0 - 1.0 + vec3(0.0, 0.0, 1.0e-4));
    float depth = unpackDepth(depthSample.rgb) * DEPTH_RANGE;
    vec2 ray = (uv * 2.0 - 1.0) * vec2(TAN_HALF_FOV * ASPECT, TAN_HALF_FOV);
    vec3 eyePosition = vec3(ray * depth, -depth);
    float shininess = max(normalSample.a * 128.0, 1.0);

    vec3 toViewer = normalize(-eyePosition + vec3(0.0, 0.0, 1.0e-4));
    vec3 lit = gl_LightModel.ambient.rgb;
    vec3 shine = vec3(0.0);
    for (int i = 0; i < MAX_LIGHTS; i++) {
        vec4 lightPosition = gl_LightSource[i].position;
        vec3 toLight = lightPosition.xyz - eyePosition * lightPosition.w;
        float lightDistance = length(toLight);
        vec3 l = toLight / max(lightDistance, 1.0e-6);
        float attenuation = 1.0;
        if (lightPosition.w != 0.0) {
            float falloff = gl_LightSource[i].constantAttenuation + gl_LightSource[i].linearAttenuation * lightDistance +
                            gl_LightSource[i].quadraticAttenuation * lightDistance * lightDistance;
            attenuation = 1.0 / max(falloff, 1.0e-6);
            if (gl_LightSource[i].spotCutoff <= 90.0) {
                float spot = dot(-l, normalize(gl_LightSource[i].spotDirection));
                attenuation *= step(gl_LightSource[i].spotCosCutoff, spot) *
                               pow(max(spot, 1.0e-6), gl_LightSource[i].spotExponent);
            }
        }
        float nDotL = max(dot(n, l), 0.0);
        lit += (gl_LightSource[i].ambient.rgb + gl_LightSource[i].diffuse.rgb * nDotL) * attenuation;
        vec3 h = normalize(l + toViewer);
        shine += gl_LightSource[i].specular.rgb *
                 (pow(max(dot(n, h), 1.0e-6), shininess) * attenuation * step(1.0e-6, nDotL));
    }
    vec3 colour = albedo.rgb * lit + shine * albedo.a;
    gl_FragColor = vec4(colour, covered) * gl_Color;
}

#version 110
// Bump-mapped textured mesh, diffuse per pixel from OpenGL light 0.
uniform sampler2D ColorMap;  // texture unit 0: the surface colour
uniform sampler2D NormalMap; // texture unit given by the scene (1): tangent-space normals

const int MAX_LIGHTS = 8;

varying vec3 eyePosition;
varying vec3 eyeNormal;

// Turns a tangent-space normal from the map into eye space, with the tangent frame taken from the
// screen-space derivatives of position and texture coordinate.
vec3 bumpedNormal(vec3 n, vec3 mapNormal)
{
    vec3 dp1 = dFdx(eyePosition);
    vec3 dp2 = dFdy(eyePosition);
    vec2 duv1 = dFdx(gl_TexCoord[0].st);
    vec2 duv2 = dFdy(gl_TexCoord[0].st);
    vec3 dp2perp = cross(dp2, n);
    vec3 dp1perp = cross(n, dp1);
    vec3 tangent = dp2perp * duv1.x + dp1perp * duv2.x;
    vec3 bitangent = dp2perp * duv1.y + dp1perp * duv2.y;
    float scale = inversesqrt(max(max(dot(tangent, tangent), dot(bitangent, bitangent)), 1.0e-20));
    mat3 frame = mat3(tangent * scale, bitangent * scale, n);
    return normalize(frame * mapNormal);
}

void main()
{
    vec3 n = normalize(eyeNormal);
    vec4 base = texture2D(ColorMap, gl_TexCoord[0].st);
    vec3 mapNormal = texture2D(NormalMap, gl_TexCoord[0].st).xyz * 2.0 - 1.0;
    n = bumpedNormal(n, mapNormal);

    vec3 toViewer = normalize(-eyePosition);
    vec3 ambientSum = vec3(0.0);
    vec3 diffuseSum = vec3(0.0);
    vec3 specularSum = vec3(0.0);
    for (int i = 0; i < 1; i++) {
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
                float inCone = step(gl_LightSource[i].spotCosCutoff, spot);
                attenuation *= inCone * pow(max(spot, 1.0e-6), gl_LightSource[i].spotExponent);
            }
        }
        float nDotL = max(dot(n, l), 0.0);
        ambientSum += gl_FrontLightProduct[i].ambient.rgb * attenuation;
        diffuseSum += gl_FrontLightProduct[i].diffuse.rgb * (nDotL * attenuation);
    }
    vec3 lit = gl_FrontLightModelProduct.sceneColor.rgb + ambientSum + diffuseSum;
    vec4 colour = base * vec4(lit, gl_FrontMaterial.diffuse.a);
    gl_FragColor = colour;
}

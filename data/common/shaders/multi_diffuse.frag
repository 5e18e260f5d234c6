#version 110
// Textured mesh, diffuse per pixel from all eight OpenGL lights; texture unit 0 is the colour.
uniform sampler2D ColorMap;  // texture unit 0: the surface colour

const int MAX_LIGHTS = 8;

varying vec3 eyePosition;
varying vec3 eyeNormal;

void main()
{
    vec3 n = normalize(eyeNormal);
    vec4 base = texture2D(ColorMap, gl_TexCoord[0].st);

    vec3 toViewer = normalize(-eyePosition);
    vec3 ambientSum = vec3(0.0);
    vec3 diffuseSum = vec3(0.0);
    vec3 specularSum = vec3(0.0);
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

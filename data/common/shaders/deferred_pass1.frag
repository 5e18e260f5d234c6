#version 110
// Deferred shading, geometry pass: writes the G-buffer to three colour attachments.
//   0: surface colour (texture unit 0 times the vertex colour), alpha = specular strength
//   1: eye-space normal as 0.5 * n + 0.5, alpha = shininess / 128
//   2: eye-space depth (distance along -z) / DEPTH_RANGE, packed into 24 bits of RGB
uniform sampler2D ColorMap;

const float DEPTH_RANGE = 2000.0; // the show's far plane

varying vec3 eyePosition;
varying vec3 eyeNormal;

vec3 packDepth(float depth)
{
    vec3 bytes = fract(depth * vec3(1.0, 255.0, 65025.0));
    bytes -= bytes.yzz * vec3(1.0 / 255.0, 1.0 / 255.0, 0.0);
    return bytes;
}

void main()
{
    vec3 n = normalize(eyeNormal);
    if (!gl_FrontFacing)
        n = -n;
    vec4 colour = texture2D(ColorMap, gl_TexCoord[0].st) * gl_Color;
    float specular = dot(gl_FrontMaterial.specular.rgb, vec3(0.3333));
    float depth = clamp(-eyePosition.z / DEPTH_RANGE, 0.0, 0.999999);
    gl_FragData[0] = vec4(colour.rgb, specular);
    gl_FragData[1] = vec4(n * 0.5 + 0.5, gl_FrontMaterial.shininess / 128.0);
    gl_FragData[2] = vec4(packDepth(depth), 1.0);
}

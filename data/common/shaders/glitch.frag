#version 110
// Glitched logo: the picture on texture unit 0 torn into sideways-shifted bands, with its colour
// channels pulled apart, displaced blocks, scan lines and grain. `offset` is the strength (about
// -0.04 to 0.9; its sign only turns the channel split around), `seed` the song time that picks new
// random bands eight times a beat. The vertex alpha fades the whole picture.
uniform sampler2D Logo;
uniform float seed;
uniform float offset;

float hash(vec2 p)
{
    return fract(sin(dot(p, vec2(12.9898, 78.233))) * 43758.5453);
}

// The picture's colour at uv, transparent outside the picture (no smeared edges).
float inside(vec2 uv)
{
    return step(0.0, uv.x) * step(uv.x, 1.0) * step(0.0, uv.y) * step(uv.y, 1.0);
}

void main()
{
    vec2 uv = gl_TexCoord[0].st;
    float strength = clamp(abs(offset), 0.0, 1.0);
    float tick = floor(seed * 8.0);

    // Tearing: rows of bands, a random share of them shifted sideways.
    float rows = 18.0 + floor(hash(vec2(tick, 3.1)) * 46.0);
    float band = floor(uv.y * rows);
    float torn = step(hash(vec2(band, tick)), 0.04 + strength * 0.6);
    float shift = (hash(vec2(band, tick + 17.0)) - 0.5) * (0.015 + strength * 0.3) * torn;

    // Blocks: under strong glitches whole rectangles jump.
    vec2 block = floor(uv * vec2(6.0, 12.0));
    float jumps = step(hash(block + vec2(tick * 1.3, 7.0)), strength * 0.35);
    vec2 jump = (vec2(hash(block + tick), hash(block - tick)) - 0.5) * vec2(0.3, 0.05) * jumps;

    vec2 tornUv = uv + vec2(shift, 0.0) + jump;
    float split = offset * 0.06 + (hash(vec2(band, tick + 5.0)) - 0.5) * strength * 0.04;
    vec2 uvR = tornUv + vec2(split, 0.0);
    vec2 uvB = tornUv - vec2(split, 0.0);
    vec4 red = texture2D(Logo, uvR) * inside(uvR);
    vec4 green = texture2D(Logo, tornUv) * inside(tornUv);
    vec4 blue = texture2D(Logo, uvB) * inside(uvB);

    vec3 colour = vec3(red.r, green.g, blue.b);
    float alpha = max(max(red.a, green.a), blue.a);

    // Grain, scan lines and, in the torn bands of the picture, bright static specks.
    float grain = hash(uv * vec2(443.0, 619.0) + vec2(tick * 0.37, tick * 0.71));
    colour += (grain - 0.5) * (0.08 + strength * 0.5);
    float scan = mod(floor(gl_FragCoord.y * 0.5), 2.0);
    colour *= 1.0 - scan * (0.1 + strength * 0.3);
    float speck = step(1.0 - strength * 0.25, grain) * torn * step(0.02, strength) * step(0.05, alpha);
    colour = mix(colour, vec3(1.0), speck);
    alpha = max(alpha, speck * 0.8);

    gl_FragColor = vec4(clamp(colour, 0.0, 1.0) * gl_Color.rgb, alpha * gl_Color.a);
}

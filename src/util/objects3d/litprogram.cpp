// litprogram: the per-pixel lighting program for a set of lights. See litprogram.h.
#include "util/objects3d/litprogram.h"

#include "platform/report.h"                  // FATAL
#include "util/objects3d/camera.h"            // Light
#include "util/objects3d/geomobject.h"        // Material
#include "util/shaderprogram/shaderprogram.h" // ShaderProgram

#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

static const char* const LIT_VERTEX = "lit_material.vert";
static const char* const LIT_FRAGMENT = "lit_material.frag";
static const double DEGREES_TO_RADIANS = 3.14159265358979323846 / 180.0;

struct LitEntry {
    std::string defines;
    ShaderProgram* lit;
};
static std::vector<LitEntry> s_programs;

// Appends to a bounded text; false once it no longer fits.
struct TextOut {
    char* at;
    int left;
    bool fits;
};

static void put(TextOut* out, const char* format, ...)
{
    if (!out->fits) return;
    va_list args;
    va_start(args, format);
    int written = vsnprintf(out->at, (size_t)out->left, format, args);
    va_end(args);
    if (written < 0 || written >= out->left) {
        out->fits = false;
        return;
    }
    out->at += written;
    out->left -= written;
}

static bool sameRgb(const Vec4& a, const Vec4& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

static bool isOneColour(const Light& light)
{
    return sameRgb(light.ambient, light.diffuse) && sameRgb(light.diffuse, light.specular);
}

// A float as a GLSL literal that reads back as the same float.
static void putFloat(TextOut* out, float value)
{
    char text[32];
    snprintf(text, sizeof text, "%.9g", (double)value);
    // GLSL 1.10 wants a decimal point or an exponent in a float literal.
    bool floating = strpbrk(text, ".eE") != nullptr;
    put(out, floating ? "%s" : "%s.0", text);
}

static void putRgb(TextOut* out, const Vec4& colour)
{
    put(out, "vec3(");
    putFloat(out, colour.x);
    put(out, ", ");
    putFloat(out, colour.y);
    put(out, ", ");
    putFloat(out, colour.z);
    put(out, ")");
}

// The statements of highlightPower(x) for a whole exponent: x squared once per bit (x holds x to
// the power 2^i at bit i) and multiplied in where the bit is set.
static void putPower(TextOut* out, int exponent)
{
    bool started = false;
    for (int bit = 0; (exponent >> bit) != 0; bit++) {
        if (bit > 0) put(out, "x *= x; ");
        if ((exponent >> bit) & 1) {
            put(out, started ? "p *= x; " : "float p = x; ");
            started = true;
        }
    }
    put(out, "return p;");
}

bool litProgramDefines(const Light* lights, int count, unsigned fixedColours, unsigned fixedAmbientSpecular,
                       int shininessBits, int builtInShininess, char* out, int size)
{
    static const Light DARK;
    if (count < 1 || !lights) {
        lights = &DARK;
        count = 1;
        fixedColours = fixedAmbientSpecular = 0;
    }
    fixedAmbientSpecular &= ~fixedColours;
    if (count > LIT_MAX_LIGHTS) count = LIT_MAX_LIGHTS;
    // A one-colour light sends 3 floats but needs the material's 9; alone it is cheaper to send
    // its 9 products.
    int sentOneColour = 0;
    for (int i = 0; i < count; i++)
        if (isOneColour(lights[i]) && !(((fixedColours | fixedAmbientSpecular) >> i) & 1)) sentOneColour++;
    const bool fixedAny = ((fixedColours | fixedAmbientSpecular) & ((1u << count) - 1)) != 0;
    const bool productsForOneColour = sentOneColour == 1 && !fixedAny;
    char send[LIT_DEFINES_BYTES], shade[LIT_DEFINES_BYTES];
    TextOut sendOut = {send, (int)sizeof send, true}, shadeOut = {shade, (int)sizeof shade, true};
    int colourLights = 0, productLights = 0, diffuseLights = 0, spotLights = 0;
    for (int i = 0; i < count; i++) {
        const Light& light = lights[i];
        bool fixed = (fixedColours >> i) & 1;
        bool fixedAroundDiffuse = (fixedAmbientSpecular >> i) & 1;
        bool oneColour = isOneColour(light) && !productsForOneColour;
        bool positional = light.position.w != 0.0f;
        // The fixed-function rule: only a positional light has a cone.
        bool spot = positional && light.spotCutoff <= 90.0f;
        if (fixed) {
            put(&sendOut, "sendFixedLight(%i); ", i);
            put(&shadeOut, "addFixedLight(");
            putRgb(&shadeOut, light.ambient);
            put(&shadeOut, ", ");
            putRgb(&shadeOut, light.diffuse);
            put(&shadeOut, ", ");
            putRgb(&shadeOut, light.specular);
            put(&shadeOut, ", ");
        } else if (fixedAroundDiffuse) {
            put(&sendOut, "sendDiffuseLight(%i, %i); ", i, diffuseLights);
            put(&shadeOut, "addDiffuseLight(%i, ", diffuseLights++);
            putRgb(&shadeOut, light.ambient);
            put(&shadeOut, ", ");
            putRgb(&shadeOut, light.specular);
            put(&shadeOut, ", ");
        } else {
            int slot = oneColour ? colourLights++ : productLights++;
            put(&sendOut, "%s(%i, %i); ", oneColour ? "sendColourLight" : "sendProductLight", i, slot);
            put(&shadeOut, "%s(%i, ", oneColour ? "addColourLight" : "addProductLight", slot);
        }
        if (!positional) {
            put(&shadeOut, "directionalShares(toLight[%i])", i);
        } else {
            const bool hard = spot && light.spotExponent == 0.0f;
            if (spot)
                put(&shadeOut, "%s(toLight[%i], spotDirection[%i], ", hard ? "hardSpotShares" : "spotShares", i,
                    spotLights);
            else put(&shadeOut, "pointShares(toLight[%i], ", i);
            putFloat(&shadeOut, light.constantAttenuation);
            put(&shadeOut, ", ");
            putFloat(&shadeOut, light.linearAttenuation);
            put(&shadeOut, ", ");
            putFloat(&shadeOut, light.quadraticAttenuation);
            if (spot) {
                // As OpenGL derives it from the cut-off angle.
                put(&shadeOut, ", ");
                putFloat(&shadeOut, (float)cos(light.spotCutoff * DEGREES_TO_RADIANS));
                if (!hard) {
                    put(&shadeOut, ", ");
                    putFloat(&shadeOut, light.spotExponent);
                }
                put(&sendOut, "sendSpot(%i, %i); ", i, spotLights);
                spotLights++;
            }
            put(&shadeOut, ")");
        }
        put(&shadeOut, "); ");
    }
    int material = colourLights > 0 || fixedAny ? 1 : 0;
    TextOut all = {out, size, sendOut.fits && shadeOut.fits};
    put(&all, "#define LIT_LIGHTS %i\n#define LIT_MATERIAL %i\n#define LIT_COLOUR_LIGHTS %i\n", count, material,
        colourLights);
    put(&all, "#define LIT_PRODUCT_LIGHTS %i\n#define LIT_DIFFUSE_LIGHTS %i\n#define LIT_SPOT_LIGHTS %i\n",
        productLights, diffuseLights, spotLights);
    const bool builtIn = builtInShininess >= 0 && builtInShininess <= 128;
    // A built-in shininess needs no bits split at every pixel.
    if (builtIn || shininessBits < 0 || shininessBits > LIT_MAX_SHININESS_BITS) shininessBits = LIT_POW_SHININESS;
    put(&all, "#define LIT_SHININESS_BITS %i\n", shininessBits);
    put(&all, "#define LIT_SEND %s\n#define LIT_SHADE %s\n", send, shade);
    if (builtIn) {
        // As the vertex stage clamps it for the others: at least 1.
        put(&all, "#define LIT_POWER ");
        putPower(&all, builtInShininess > 1 ? builtInShininess : 1);
        put(&all, "\n");
    }
    return all.fits;
}

// The program for `defines`, built at its first request.
static ShaderProgram* programFor(const char* defines)
{
    for (LitEntry& entry : s_programs)
        if (entry.defines == defines) return entry.lit;
    s_programs.push_back(LitEntry{defines, new ShaderProgram(LIT_VERTEX, LIT_FRAGMENT, defines)});
    return s_programs.back().lit;
}

ShaderProgram* litProgram(const Light* lights, int count, unsigned fixedColours, unsigned fixedAmbientSpecular,
                          int shininessBits, int builtInShininess)
{
    char defines[LIT_DEFINES_BYTES];
    if (!litProgramDefines(lights, count, fixedColours, fixedAmbientSpecular, shininessBits, builtInShininess,
                           defines, (int)sizeof defines))
        FATAL("The lighting program for %i lights does not fit its defines", count);
    return programFor(defines);
}

// A material whose specular colour is black shows no highlight, whatever its shininess.
static bool showsHighlight(const Material& material)
{
    return material.specular[0] != 0.0f || material.specular[1] != 0.0f || material.specular[2] != 0.0f;
}

void litMaterialPrograms(const Light* lights, int count, unsigned fixedColours, unsigned fixedAmbientSpecular,
                         const std::vector<Material>& materials, std::vector<ShaderProgram*>* programs)
{
    // Materials whose shininess needs as many bits share a program. It builds their shininess in
    // where all of them that show a highlight have the same one (the pow group has none to build).
    enum { GROUPS = LIT_MAX_SHININESS_BITS + 1 };
    bool used[GROUPS] = {}, mixed[GROUPS] = {};
    int shown[GROUPS];
    for (int bits = 0; bits < GROUPS; bits++) shown[bits] = LIT_NO_BUILT_IN_SHININESS;
    for (const Material& material : materials) {
        const int bits = litShininessBits(material.shininess);
        used[bits] = true;
        if (bits == LIT_POW_SHININESS || !showsHighlight(material)) continue;
        if (shown[bits] != LIT_NO_BUILT_IN_SHININESS && shown[bits] != (int)material.shininess) mixed[bits] = true;
        shown[bits] = (int)material.shininess;
    }
    ShaderProgram* group[GROUPS] = {};
    for (int bits = 0; bits < GROUPS; bits++)
        if (used[bits])
            group[bits] = litProgram(lights, count, fixedColours, fixedAmbientSpecular, bits,
                                     mixed[bits] ? LIT_NO_BUILT_IN_SHININESS : shown[bits]);
    programs->resize(materials.size());
    for (size_t i = 0; i < materials.size(); i++) (*programs)[i] = group[litShininessBits(materials[i].shininess)];
}

int litShininessBits(float shininess)
{
    if (!(shininess >= 0.0f && shininess <= 128.0f) || shininess != floorf(shininess)) return LIT_POW_SHININESS;
    int bits = 1; // 0 is raised as 1 is, as the vertex stage clamps it
    while ((int)shininess >> bits) bits++;
    return bits;
}

int litShininessBits(const Material* materials, int count)
{
    int most = 1;
    for (int i = 0; i < count; i++) {
        const int bits = litShininessBits(materials[i].shininess);
        if (bits == LIT_POW_SHININESS) return LIT_POW_SHININESS;
        if (bits > most) most = bits;
    }
    return most;
}

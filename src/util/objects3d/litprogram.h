// litprogram: the per-pixel lighting program for untextured meshes under a given set of lights.
//
// litProgram(lights, count) returns the program that shades OpenGL lights 0 to count - 1, loaded
// from lights[0..count-1] with applyLight, on both sides of every face, in the meshes' material
// colours (lit_material.vert and .frag). Every other light must be dark (the scene template sees to
// that), so the program leaves them out. What stays fixed about a light (directional, point or
// spot; its attenuation; its cone; whether ambient, diffuse and specular are one colour) is built
// into the program as literals; positions, colours and directions are read from OpenGL each draw.
// Bit i of fixedColours says the scene keeps light i's colours as they are now: they become
// literals too, which saves interpolating them at every pixel. Bit i of fixedAmbientSpecular
// says the same of its ambient and specular colours alone (its diffuse colour changes).
// One program is built per distinct set and kept: build them at load (the first call for a set
// compiles it) and ask again each frame, which only looks the set up (so a light whose fixed
// colours did change gets a program of its own).
// `shininessBits` says how the highlight is raised to each mesh's shininess: LIT_POW_SHININESS
// with pow, which costs a software rasteriser a logarithm and an exponential at every pixel for
// every light; n from 1 to 8 by squaring, once per bit, for whole numbers below 2^n (every mesh
// drawn with the program must have such a shininess: see litShininessBits), so a program for
// fewer bits squares fewer times. `builtInShininess` (a whole number from 0 to 128) goes further:
// the squarings and products its bits need are built in, and every mesh drawn with the program
// must have it or show no highlight (a black specular colour).
#pragma once

#include <vector>

struct Light;
struct Material;
class ShaderProgram;

enum {
    LIT_MAX_LIGHTS = 8,
    LIT_DEFINES_BYTES = 4096,
    LIT_POW_SHININESS = 0,
    LIT_MAX_SHININESS_BITS = 8,
    LIT_NO_BUILT_IN_SHININESS = -1
};

ShaderProgram* litProgram(const Light* lights, int count, unsigned fixedColours = 0,
                          unsigned fixedAmbientSpecular = 0, int shininessBits = LIT_POW_SHININESS,
                          int builtInShininess = LIT_NO_BUILT_IN_SHININESS);

// The defines that make the program for these lights (both stages get the same text). At most
// LIT_MAX_LIGHTS are shaded; no lights (count 0) is one dark light. False when `size` is too small.
bool litProgramDefines(const Light* lights, int count, unsigned fixedColours, unsigned fixedAmbientSpecular,
                       int shininessBits, int builtInShininess, char* out, int size);

// The bits a shininess needs: 1 to 8 for a whole number from 0 to 128 (OpenGL's range; 0 is
// raised as 1 is), LIT_POW_SHININESS for any other.
int litShininessBits(float shininess);
// The bits every material's shininess fits in: the most any needs, or LIT_POW_SHININESS where one
// is not a whole number in range.
int litShininessBits(const Material* materials, int count);

// programs[i]: the program for these lights and the bits materials[i]'s shininess needs, for
// Objects3D::plainShaders. Materials that need as many bits share a program, which builds in
// their shininess where all those with a highlight have the same one.
void litMaterialPrograms(const Light* lights, int count, unsigned fixedColours, unsigned fixedAmbientSpecular,
                         const std::vector<Material>& materials, std::vector<ShaderProgram*>* programs);

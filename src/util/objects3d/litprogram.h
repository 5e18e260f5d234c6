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
// wholeShininess says every mesh drawn with the program has a whole-number shininess (see
// wholeShininess below): the highlight is then raised to it by squaring instead of pow, which a
// software rasteriser does at a fraction of the cost.
#pragma once

struct Light;
struct Material;
class ShaderProgram;

enum { LIT_MAX_LIGHTS = 8, LIT_DEFINES_BYTES = 4096 };

ShaderProgram* litProgram(const Light* lights, int count, unsigned fixedColours = 0,
                          unsigned fixedAmbientSpecular = 0, bool wholeShininess = false);

// The defines that make the program for these lights (both stages get the same text). At most
// LIT_MAX_LIGHTS are shaded; no lights (count 0) is one dark light. False when `size` is too small.
bool litProgramDefines(const Light* lights, int count, unsigned fixedColours, unsigned fixedAmbientSpecular,
                       bool wholeShininess, char* out, int size);

// True when every material's shininess is a whole number from 0 to 128 (OpenGL's range).
bool wholeShininess(const Material* materials, int count);

// shaderset: the show's 21 shared shader programs, built once at start-up and kept for the whole run.
//
// Each program is compiled from its own reading of its files (several share a source); the last is
// the empty program, which selects no GLSL program when bound. A program that fails to load ends
// the show inside ShaderProgram.
#pragma once

#include "util/shaderprogram/shaderprogram.h" // ShaderProgram

enum { SHADER_SET_SIZE = 21 };

// The blur program's gain lifts its output to about 1.6: a halo kept in an 8-bit target stores this
// share of it, so nothing clips, and is drawn scaled back up (textureSetModulateScale).
static const float BLUR_STORED_SHARE = 0.5f;

struct ShaderSet {
    ShaderProgram* billboard;                 // billboard.vert, billboard.frag
    ShaderProgram* blocked;                   // simple.vert, blocked.frag
    ShaderProgram* blur;                      // simple.vert, blur.frag
    ShaderProgram* deferredPass1;             // deferred_pass1.vert, deferred_pass1.frag
    ShaderProgram* deferredPass2;             // deferred_pass2.vert, deferred_pass2.frag
    ShaderProgram* gaussBlur;                 // simple.vert, gaussblur.frag
    ShaderProgram* glitch;                    // simple.vert, glitch.frag
    ShaderProgram* multiDiffuse;              // multi_diffuse.vert, multi_diffuse.frag
    ShaderProgram* multiDiffuse2Sided;        // multi_diffuse.vert, multi_diffuse_2sided.frag
    ShaderProgram* multiDiffuseBump;          // multi_diffuse_bump.vert, multi_diffuse_bump.frag
    ShaderProgram* multiDiffuseBump2Sided;    // multi_diffuse_bump.vert, multi_diffuse_bump_2sided.frag
    ShaderProgram* multiMaterialNotex;        // multi_material_notex.vert, multi_material_notex.frag
    ShaderProgram* multiSpecularBump;         // multi_specular_bump.vert, multi_specular_bump.frag
    ShaderProgram* multiSpecularBumpExtratex; // multi_specular_bump_extratex.vert, .frag
    ShaderProgram* singleDiffuse;             // single_diffuse.vert, single_diffuse.frag
    ShaderProgram* singleDiffuseBump;         // single_diffuse_bump.vert, single_diffuse_bump.frag
    ShaderProgram* singleDiffuseNotex;        // single_diffuse_notex.vert, single_diffuse_notex.frag
    ShaderProgram* singleMaterialNotex;       // single_material_notex.vert, single_material_notex.frag
    ShaderProgram* singleSpecularBump;        // single_specular_bump.vert, single_specular_bump.frag
    ShaderProgram* twister;                   // twister.vert, multi_specular_bump.frag
    ShaderProgram* none;                      // the empty program

    // Builds the 21 programs in the order above. Needs a current GL context.
    ShaderSet();

    // The programs in table order, for code that walks all of them.
    ShaderProgram* program(int index) const;
};

// The vertex and fragment file names of table entry `index` (both null for the empty program).
struct ShaderFiles {
    const char* name; // the field's name
    const char* vertexFile;
    const char* fragmentFile;
};
extern const ShaderFiles SHADER_SET_FILES[SHADER_SET_SIZE];

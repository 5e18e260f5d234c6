// shaderset: builds the shared shader programs in table order. See shaderset.h.
#include "scenes/shaderset.h"

const ShaderFiles SHADER_SET_FILES[SHADER_SET_SIZE] = {
    {"billboard", "billboard.vert", "billboard.frag"},
    {"blocked", "simple.vert", "blocked.frag"},
    {"blur", "simple.vert", "blur.frag"},
    {"deferredPass1", "deferred_pass1.vert", "deferred_pass1.frag"},
    {"deferredPass2", "deferred_pass2.vert", "deferred_pass2.frag"},
    {"gaussBlur", "simple.vert", "gaussblur.frag"},
    {"glitch", "simple.vert", "glitch.frag"},
    {"multiDiffuse", "multi_diffuse.vert", "multi_diffuse.frag"},
    {"multiDiffuse2Sided", "multi_diffuse.vert", "multi_diffuse_2sided.frag"},
    {"multiDiffuseBump", "multi_diffuse_bump.vert", "multi_diffuse_bump.frag"},
    {"multiDiffuseBump2Sided", "multi_diffuse_bump.vert", "multi_diffuse_bump_2sided.frag"},
    {"multiMaterialNotex", "multi_material_notex.vert", "multi_material_notex.frag"},
    {"multiSpecularBump", "multi_specular_bump.vert", "multi_specular_bump.frag"},
    {"multiSpecularBumpExtratex", "multi_specular_bump_extratex.vert", "multi_specular_bump_extratex.frag"},
    {"singleDiffuse", "single_diffuse.vert", "single_diffuse.frag"},
    {"singleDiffuseBump", "single_diffuse_bump.vert", "single_diffuse_bump.frag"},
    {"singleDiffuseNotex", "single_diffuse_notex.vert", "single_diffuse_notex.frag"},
    {"singleMaterialNotex", "single_material_notex.vert", "single_material_notex.frag"},
    {"singleSpecularBump", "single_specular_bump.vert", "single_specular_bump.frag"},
    {"twister", "twister.vert", "multi_specular_bump.frag"},
    {"none", nullptr, nullptr},
};

static ShaderProgram* build(int index)
{
    return new ShaderProgram(SHADER_SET_FILES[index].vertexFile, SHADER_SET_FILES[index].fragmentFile);
}

ShaderSet::ShaderSet()
{
    billboard = build(0);
    blocked = build(1);
    blur = build(2);
    deferredPass1 = build(3);
    deferredPass2 = build(4);
    gaussBlur = build(5);
    glitch = build(6);
    multiDiffuse = build(7);
    multiDiffuse2Sided = build(8);
    multiDiffuseBump = build(9);
    multiDiffuseBump2Sided = build(10);
    multiMaterialNotex = build(11);
    multiSpecularBump = build(12);
    multiSpecularBumpExtratex = build(13);
    singleDiffuse = build(14);
    singleDiffuseBump = build(15);
    singleDiffuseNotex = build(16);
    singleMaterialNotex = build(17);
    singleSpecularBump = build(18);
    twister = build(19);
    none = build(20);
}

ShaderProgram* ShaderSet::program(int index) const
{
    ShaderProgram* const table[SHADER_SET_SIZE] = {
        billboard, blocked, blur, deferredPass1, deferredPass2, gaussBlur, glitch,
        multiDiffuse, multiDiffuse2Sided, multiDiffuseBump, multiDiffuseBump2Sided, multiMaterialNotex,
        multiSpecularBump, multiSpecularBumpExtratex, singleDiffuse, singleDiffuseBump, singleDiffuseNotex,
        singleMaterialNotex, singleSpecularBump, twister, none,
    };
    if (index < 0 || index >= SHADER_SET_SIZE) return nullptr;
    return table[index];
}

// ShaderSet: every program of the show's shader directory compiles, links and validates.
#include "scenes/shaderset.h"
#include "test_support.h"
#include "util/data/data.h"

#include <GL/glew.h>
#include <gtest/gtest.h>
#include <string.h>

TEST(ShaderSet, BuildsAll21ProgramsFromTheShaderDirectory)
{
    REQUIRE_GL_WINDOW();
    accessMode = ACCESS_LOOSE;
    setDataDirectory(sourcePath("").c_str());
    ShaderSet set;
    for (int i = 0; i < SHADER_SET_SIZE - 1; ++i) {
        ShaderProgram* program = set.program(i);
        ASSERT_NE(program, nullptr) << SHADER_SET_FILES[i].name;
        EXPECT_NE(program->program, 0u) << SHADER_SET_FILES[i].name;
        EXPECT_EQ(program->isARB, 0) << SHADER_SET_FILES[i].name;
        GLint validated = 0;
        glGetObjectParameterivARB(program->program, GL_OBJECT_VALIDATE_STATUS_ARB, &validated);
        EXPECT_EQ(validated, 1) << SHADER_SET_FILES[i].name;
    }
    // Entries sharing a source file are still programs of their own.
    EXPECT_NE(set.blur->program, set.blocked->program);
    EXPECT_NE(set.multiDiffuse->vertexShader, set.multiDiffuse2Sided->vertexShader);
    EXPECT_EQ(set.none->program, 0u);
    EXPECT_EQ(set.program(20), set.none);
    EXPECT_EQ(set.program(21), nullptr);
    EXPECT_STREQ(SHADER_SET_FILES[19].fragmentFile, "multi_specular_bump.frag");

    // The uniforms the scenes set are live in the programs that take them.
    set.billboard->bind();
    float axis[3] = {1, 0, 0};
    set.billboard->setUniform3fv("right", axis);
    set.billboard->setUniform3fv("up", axis);
    set.billboard->setUniform1f("size", 1.5f);
    set.multiDiffuseBump->bind();
    set.multiDiffuseBump->setUniform1i("NormalMap", 1);
    set.multiDiffuseBump->setUniform1i("Num_lights", 5);
    set.glitch->bind();
    set.glitch->setUniform1f("seed", 3.0f);
    set.glitch->setUniform1f("offset", 0.9f);
    ShaderProgram::unbindAll();
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

// Counts the active uniforms that are not OpenGL state (names not starting with "gl_").
static int ownUniforms(GLhandleARB program)
{
    GLint count = 0;
    glGetObjectParameterivARB(program, GL_OBJECT_ACTIVE_UNIFORMS_ARB, &count);
    int own = 0;
    for (GLint i = 0; i < count; ++i) {
        char name[256];
        GLint size = 0;
        GLenum type = 0;
        glGetActiveUniformARB(program, i, sizeof name, nullptr, &size, &type, name);
        if (strncmp(name, "gl_", 3) != 0) ++own;
    }
    return own;
}

TEST(ShaderSet, MaterialProgramsTakeNoUniforms)
{
    REQUIRE_GL_WINDOW();
    accessMode = ACCESS_LOOSE;
    setDataDirectory(sourcePath("").c_str());
    ShaderProgram multi("multi_material_notex.vert", "multi_material_notex.frag");
    ShaderProgram single("single_material_notex.vert", "single_material_notex.frag");
    EXPECT_EQ(ownUniforms(multi.program), 0);
    EXPECT_EQ(ownUniforms(single.program), 0);
    ShaderProgram bump("multi_diffuse_bump.vert", "multi_diffuse_bump.frag");
    EXPECT_EQ(ownUniforms(bump.program), 3); // ColorMap, NormalMap, Num_lights
}

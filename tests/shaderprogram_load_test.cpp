// ShaderProgram: source lookup, GLSL and ARB building, every failure report, binding and uniforms.
#include "util/shaderprogram/shaderprogram.h"
#include "platform/report.h"
#include "test_support.h"
#include "util/data/data.h"

#include <GL/glew.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string>
#include <sys/stat.h>

using testing::ContainsRegex;
using testing::HasSubstr;

namespace {

// Fatal reports end in this exception instead of exit(), so a test can look at what came before.
struct Exited {
    int code;
};
void throwOnExit(int code) { throw Exited{code}; }

const char* PLAIN_VERTEX = "#version 110\nvoid main() { gl_FrontColor = gl_Color; gl_Position = ftransform(); }\n";
const char* PLAIN_FRAGMENT = "#version 110\nvoid main() { gl_FragColor = gl_Color; }\n";
const char* TINT_FRAGMENT =
    "#version 110\nuniform vec3 tint;\nuniform float gain;\nuniform int flip;\n"
    "void main() { gl_FragColor = vec4(flip == 1 ? tint.bgr : tint, 1.0) * gain; }\n";
const char* ARB_VERTEX = "!!ARBvp1.0\n"
                         "PARAM mvp[4] = { state.matrix.mvp };\n"
                         "DP4 result.position.x, mvp[0], vertex.position;\n"
                         "DP4 result.position.y, mvp[1], vertex.position;\n"
                         "DP4 result.position.z, mvp[2], vertex.position;\n"
                         "DP4 result.position.w, mvp[3], vertex.position;\n"
                         "MOV result.color, vertex.color;\nEND\n";
const char* ARB_FRAGMENT = "!!ARBfp1.0\nMOV result.color, fragment.color.zyxw;\nEND\n";

class ShaderProgramTest : public testing::Test {
protected:
    void SetUp() override
    {
        accessMode = ACCESS_LOOSE;
        setDataDirectory("");
        reportSetExitHook(throwOnExit);
    }
    void TearDown() override { reportSetExitHook(nullptr); }

    // Builds a program, expecting a fatal report; returns standard output and error together.
    std::string failingBuild(const char* vertexFile, const char* fragmentFile)
    {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        int code = -1;
        try {
            ShaderProgram program(vertexFile, fragmentFile);
        } catch (const Exited& exited) {
            code = exited.code;
        }
        std::string out = testing::internal::GetCapturedStdout();
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(code, 1);
        while (glGetError() != GL_NO_ERROR) {}
        return "STDOUT[" + out + "]STDERR[" + err + "]";
    }
};

// The whole window, identity matrices: drawQuad then covers it.
void resetView()
{
    glViewport(0, 0, 640, 360);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void drawQuad(float r, float g, float b)
{
    glColor3f(r, g, b);
    glBegin(GL_QUADS);
    glVertex2f(-1, -1);
    glVertex2f(1, -1);
    glVertex2f(1, 1);
    glVertex2f(-1, 1);
    glEnd();
}

std::vector<uint8_t> centrePixel()
{
    std::vector<uint8_t> pixel = readTestPixels(320, 180, 1, 1);
    return {pixel[0], pixel[1], pixel[2]};
}

} // namespace

TEST_F(ShaderProgramTest, ReadsSourceByNameThenFromTheShaderDirectory)
{
    writeTestFile("direct.vert", "direct text");
    mkdir("data", 0755);
    mkdir("data/common", 0755);
    mkdir("data/common/shaders", 0755);
    writeTestFile("data/common/shaders/indirect.frag", "indirect text");
    writeTestFile("data/common/shaders/direct.vert", "shadowed");

    char* direct = readShaderSource("direct.vert");
    ASSERT_NE(direct, nullptr);
    EXPECT_STREQ(direct, "direct text");
    free(direct);
    char* indirect = readShaderSource("indirect.frag");
    ASSERT_NE(indirect, nullptr);
    EXPECT_STREQ(indirect, "indirect text");
    free(indirect);
    EXPECT_EQ(readShaderSource("nowhere.vert"), nullptr);

    writeTestFile("empty.frag", "");
    char* empty = readShaderSource("empty.frag");
    ASSERT_NE(empty, nullptr);
    EXPECT_STREQ(empty, "");
    free(empty);
}

TEST_F(ShaderProgramTest, FindsArchivedShaderUnderTheDirectoryName)
{
    std::vector<DataEntry> entries(1);
    entries[0].name = "data/common/shaders/packed.vert";
    std::string text = "packed source";
    entries[0].data.assign(text.begin(), text.end());
    std::vector<uint8_t> archive = buildArchive(entries);
    writeTestFile("shaders.hlv", archive);
    clearDataEntries();
    accessMode = ACCESS_ARCHIVE;
    openArchiveFrom("shaders.hlv");
    char* source = readShaderSource("packed.vert");
    ASSERT_NE(source, nullptr);
    EXPECT_STREQ(source, "packed source");
    free(source);
    clearDataEntries();
    accessMode = ACCESS_LOOSE;
}

TEST_F(ShaderProgramTest, MissingFileIsFatalWithItsName)
{
    writeTestFile("plain.vert", PLAIN_VERTEX);
    EXPECT_THAT(failingBuild("absent.vert", "plain.frag"), HasSubstr("Can't read shader file absent.vert"));
    EXPECT_THAT(failingBuild("plain.vert", "absent.frag"), HasSubstr("Can't read shader file absent.frag"));
}

TEST_F(ShaderProgramTest, EmptyProgramLeavesNoProgramBound)
{
    REQUIRE_GL_WINDOW();
    writeTestFile("plain.vert", PLAIN_VERTEX);
    writeTestFile("plain.frag", PLAIN_FRAGMENT);
    ShaderProgram real("plain.vert", "plain.frag");
    ShaderProgram empty(nullptr, "plain.frag");
    EXPECT_EQ(empty.program, 0u);
    EXPECT_EQ(empty.isARB, 0);
    real.bind();
    EXPECT_EQ(glGetHandleARB(GL_PROGRAM_OBJECT_ARB), real.program);
    empty.bind();
    EXPECT_EQ(glGetHandleARB(GL_PROGRAM_OBJECT_ARB), 0u);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(ShaderProgramTest, GlslProgramDrawsAndTakesUniforms)
{
    REQUIRE_GL_WINDOW();
    writeTestFile("plain.vert", PLAIN_VERTEX);
    writeTestFile("tint.frag", TINT_FRAGMENT);
    ShaderProgram program("plain.vert", "tint.frag");
    EXPECT_EQ(program.isARB, 0);
    EXPECT_NE(program.vertexShader, 0u);
    EXPECT_NE(program.fragmentShader, 0u);
    resetView();
    program.bind();
    float tint[3] = {1.0f, 0.5f, 0.0f};
    program.setUniform3fv("tint", tint);
    program.setUniform1f("gain", 1.0f);
    program.setUniform1i("flip", 1);
    drawQuad(0, 0, 0);
    std::vector<uint8_t> pixel = centrePixel();
    EXPECT_EQ(pixel[0], 0);
    EXPECT_NEAR(pixel[1], 128, 1);
    EXPECT_EQ(pixel[2], 255);
    ShaderProgram::unbindAll();
    drawQuad(0, 1, 0); // fixed function again
    EXPECT_EQ(centrePixel(), (std::vector<uint8_t>{0, 255, 0}));
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(ShaderProgramTest, UnknownOrOptimisedAwayUniformIsFatal)
{
    REQUIRE_GL_WINDOW();
    writeTestFile("plain.vert", PLAIN_VERTEX);
    writeTestFile("unused.frag", "#version 110\nuniform float unused;\nvoid main() { gl_FragColor = gl_Color; }\n");
    ShaderProgram program("plain.vert", "unused.frag");
    program.bind();
    for (const char* name : {"unused", "nonexistent"}) {
        testing::internal::CaptureStderr();
        int code = -1;
        try {
            program.setUniform1f(name, 1.0f);
        } catch (const Exited& exited) {
            code = exited.code;
        }
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(code, 1);
        EXPECT_THAT(err, HasSubstr("Couldn't find uniform " + std::string(name) + " in " +
                                   std::to_string((int)program.program)));
        EXPECT_THAT(err, HasSubstr("src/util/shaderprogram/shaderprogram.cpp"));
    }
    ShaderProgram::unbindAll();
}

TEST_F(ShaderProgramTest, CompileFailurePrintsTimestampedLogThenLocationBox)
{
    REQUIRE_GL_WINDOW();
    writeTestFile("plain.vert", PLAIN_VERTEX);
    writeTestFile("plain.frag", PLAIN_FRAGMENT);
    writeTestFile("broken.vert", "#version 110\nvoid main() { gl_Position = undefinedThing; }\n");
    writeTestFile("broken.frag", "#version 110\nvoid main() { gl_FragColor = 1; }\n");
    const char* stamp = "STDOUT\\[[0-9]{4}-[0-9]{2}-[0-9]{2} [ 0-9][0-9]:[0-9]{2}:[0-9]{2}:[0-9]{3} ";

    std::string vertex = failingBuild("broken.vert", "plain.frag");
    EXPECT_THAT(vertex, ContainsRegex(std::string(stamp) + "--- Vertex shader compile failed, log:\n "));
    EXPECT_THAT(vertex, HasSubstr("undefinedThing"));
    EXPECT_THAT(vertex, HasSubstr("\n---\n]"));
    EXPECT_THAT(vertex, ContainsRegex("STDERR\\[.*Error.*Error in file src/util/shaderprogram/shaderprogram.cpp:[0-9]+"));

    EXPECT_THAT(failingBuild("plain.vert", "broken.frag"),
                ContainsRegex(std::string(stamp) + "--- Fragment shader compile failed, log:\n "));
}

TEST_F(ShaderProgramTest, LinkAndValidationFailuresPrintTheirLogs)
{
    REQUIRE_GL_WINDOW();
    writeTestFile("plain.vert", PLAIN_VERTEX);
    // Reads a varying that the vertex shader never declares: the linker refuses it.
    writeTestFile("needs.frag", "#version 110\nvarying vec3 missing;\nvoid main() { gl_FragColor = vec4(missing, 1.0); }\n");
    EXPECT_THAT(failingBuild("plain.vert", "needs.frag"), HasSubstr("--- Shader linking failed, log:\n "));

    // Two samplers of different types on the same (default) unit do not validate.
    writeTestFile("mixed.frag", "#version 110\nuniform sampler1D a;\nuniform sampler2D b;\n"
                                "void main() { gl_FragColor = texture1D(a, 0.5) + texture2D(b, vec2(0.5)); }\n");
    EXPECT_THAT(failingBuild("plain.vert", "mixed.frag"), HasSubstr("--- Shader program validation failed, log:\n "));
}

TEST_F(ShaderProgramTest, ArbPairLoadsBindsAndUnbinds)
{
    REQUIRE_GL_WINDOW();
    writeTestFile("pass.vp", ARB_VERTEX);
    writeTestFile("swap.fp", ARB_FRAGMENT);
    ShaderProgram program("pass.vp", "swap.fp");
    EXPECT_EQ(program.isARB, 1);
    EXPECT_EQ(program.program, 0u);
    EXPECT_NE(program.vertexProgramARB, 0u);
    EXPECT_NE(program.fragmentProgramARB, 0u);
    glViewport(0, 0, 640, 360);
    program.bind();
    EXPECT_TRUE(glIsEnabled(GL_VERTEX_PROGRAM_ARB));
    EXPECT_TRUE(glIsEnabled(GL_FRAGMENT_PROGRAM_ARB));
    drawQuad(1, 0, 0); // the fragment program swaps red and blue
    EXPECT_EQ(centrePixel(), (std::vector<uint8_t>{0, 0, 255}));
    ShaderProgram::unbindAll();
    EXPECT_FALSE(glIsEnabled(GL_VERTEX_PROGRAM_ARB));
    EXPECT_FALSE(glIsEnabled(GL_FRAGMENT_PROGRAM_ARB));
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(ShaderProgramTest, MixedOrBrokenArbIsRefused)
{
    REQUIRE_GL_WINDOW();
    writeTestFile("pass.vp", ARB_VERTEX);
    writeTestFile("swap.fp", ARB_FRAGMENT);
    writeTestFile("plain.vert", PLAIN_VERTEX);
    writeTestFile("plain.frag", PLAIN_FRAGMENT);
    writeTestFile("bad.vp", "!!ARBvp1.0\nFOO result.color, vertex.color;\nEND\n");
    writeTestFile("bad.fp", "!!ARBfp1.0\nMOV result.color, nothing;\nEND\n");

    // An ARB vertex program with a GLSL fragment shader: the location-only box.
    std::string mixed = failingBuild("pass.vp", "plain.frag");
    EXPECT_THAT(mixed, ContainsRegex("Error in file src/util/shaderprogram/shaderprogram.cpp:[0-9]+"));
    EXPECT_THAT(mixed, testing::Not(HasSubstr("compile failed")));
    // A GLSL vertex shader with an ARB fragment file is GLSL, and the fragment compile fails.
    EXPECT_THAT(failingBuild("plain.vert", "swap.fp"), HasSubstr("--- Fragment shader compile failed"));
    // ARB errors show the position and the driver's text, then the location-only box.
    std::string badVertex = failingBuild("bad.vp", "swap.fp");
    EXPECT_THAT(badVertex, HasSubstr("Vertex program error at position: "));
    EXPECT_THAT(badVertex, ContainsRegex("Error in file src/util/shaderprogram/shaderprogram.cpp:[0-9]+"));
    EXPECT_THAT(failingBuild("pass.vp", "bad.fp"), HasSubstr("Fragment program error at position: "));
}

// Creator mode's reload: a broken edit keeps the last good program and says why, never fatal;
// a dropped uniform the scenes set is refused; the fixed file replaces the program.
TEST_F(ShaderProgramTest, ReloadKeepsTheLastGoodProgramUntilTheFileIsFixed)
{
    REQUIRE_GL_WINDOW();
    writeTestFile("plain.vert", PLAIN_VERTEX);
    writeTestFile("reload.frag", TINT_FRAGMENT);
    ShaderProgram program("plain.vert", "reload.frag");
    GLhandleARB first = program.program;
    std::string log;

    writeTestFile("reload.frag", "#version 110\nvoid main() { gl_FragColor = nonsense; }\n");
    EXPECT_FALSE(shaderProgramReload(&program, &log));
    EXPECT_THAT(log, HasSubstr("fragment shader compile failed"));
    EXPECT_THAT(log, HasSubstr("nonsense"));
    EXPECT_EQ(program.program, first);

    log.clear();
    writeTestFile("reload.frag", PLAIN_FRAGMENT); // compiles, but tint, gain and flip are gone
    EXPECT_FALSE(shaderProgramReload(&program, &log));
    EXPECT_THAT(log, HasSubstr("tint"));
    EXPECT_EQ(program.program, first);

    log.clear();
    remove("reload.frag");
    EXPECT_FALSE(shaderProgramReload(&program, &log));
    EXPECT_THAT(log, HasSubstr("can't read shader file reload.frag"));

    // Fixed (the uniforms back, the colour changed): the new program draws.
    writeTestFile("reload.frag", "#version 110\nuniform vec3 tint;\nuniform float gain;\nuniform int flip;\n"
                                 "void main() { gl_FragColor = vec4(flip == 1 ? tint : tint.gbr, 1.0) * gain; }\n");
    EXPECT_TRUE(shaderProgramReload(&program, &log)) << log;
    EXPECT_NE(program.program, first);
    resetView();
    program.bind();
    float tint[3] = {1.0f, 0.0f, 0.0f};
    program.setUniform3fv("tint", tint);
    program.setUniform1f("gain", 1.0f);
    program.setUniform1i("flip", 0);
    drawQuad(0, 0, 0);
    EXPECT_EQ(centrePixel(), (std::vector<uint8_t>{0, 0, 255}));
    ShaderProgram::unbindAll();
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);

    // All at once: the count covers every program built from files, the failures are named.
    int count = 0;
    std::string problems;
    writeTestFile("reload.frag", "not a shader");
    EXPECT_GE(shaderProgramReloadAll(&count, &problems), 1);
    EXPECT_GE(count, 1);
    EXPECT_THAT(problems, HasSubstr("plain.vert + reload.frag: "));
}

// Creator mode at load: a program that does not build is a magenta stand-in that ignores the
// scenes' uniforms, with the compiler's log kept, until a reload of the fixed file replaces it.
TEST_F(ShaderProgramTest, CreatorModeStandsInForAProgramThatDoesNotBuild)
{
    REQUIRE_GL_WINDOW();
    writeTestFile("plain.vert", PLAIN_VERTEX);
    writeTestFile("late.frag", "#version 110\nvoid main() { gl_FragColor = nonsense; }\n");
    shaderProgramForgiveLoadFailures(true);
    ShaderProgram program("plain.vert", "late.frag");
    shaderProgramForgiveLoadFailures(false);
    EXPECT_TRUE(program.standIn);
    EXPECT_THAT(shaderProgramLoadProblems(), HasSubstr("plain.vert + late.frag: fragment shader compile failed"));
    resetView();
    program.bind();
    program.setUniform1f("gain", 1.0f); // a scene's uniform: ignored, not fatal
    drawQuad(0, 0, 0);
    EXPECT_EQ(centrePixel(), (std::vector<uint8_t>{255, 0, 255}));
    ShaderProgram::unbindAll();

    writeTestFile("late.frag", TINT_FRAGMENT);
    std::string log;
    EXPECT_TRUE(shaderProgramReload(&program, &log)) << log;
    EXPECT_FALSE(program.standIn);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

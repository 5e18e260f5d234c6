// The lit program built for a set of lights draws what the general per-pixel lighting program
// draws with the same lights, for every kind of light it specialises; and its defines keep each
// light's constants exactly.
#include "util/data/data.h"
#include "util/objects3d/camera.h"
#include "util/objects3d/geomobject.h"
#include "util/objects3d/litprogram.h"
#include "util/shaderprogram/shaderprogram.h"

#include "test_support.h"
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>

namespace {

const int WIDTH = 96, HEIGHT = 64;

Vec4 rgb(float r, float g, float b) { return Vec4{r, g, b, 1}; }

// Directional, point and spot; one colour and three; attenuations that are not round in binary.
void showLights(Light lights[4])
{
    lights[0].position = {0.3f, 0.5f, 1.0f, 0.0f};
    lights[0].ambient = lights[0].diffuse = lights[0].specular = rgb(0.3f, 0.3f, 0.35f);
    lights[1].position = {0.6f, 0.4f, -1.5f, 1.0f};
    lights[1].ambient = lights[1].diffuse = lights[1].specular = rgb(0.5f, 0.2f, 0.1f);
    lights[1].linearAttenuation = 0.1f;
    lights[1].quadraticAttenuation = 0.05f;
    lights[2].position = {-0.8f, 0.2f, -1.8f, 1.0f};
    lights[2].ambient = rgb(0.05f, 0.05f, 0.05f);
    lights[2].diffuse = rgb(0.2f, 0.6f, 0.3f);
    lights[2].specular = rgb(1, 1, 1);
    lights[2].constantAttenuation = 0.7f;
    lights[3].position = {0.0f, -0.2f, 0.0f, 1.0f};
    lights[3].spotDirection = {0.1f, 0.0f, -1.0f, 0.0f};
    lights[3].spotCutoff = 12.0f;
    lights[3].spotExponent = 3.0f;
    lights[3].ambient = rgb(0.01f, 0.01f, 0.01f);
    lights[3].diffuse = rgb(0.7f, 0.7f, 0.1f);
    lights[3].specular = rgb(1, 1, 1);
    lights[3].constantAttenuation = 0.05f;
    lights[3].linearAttenuation = 0.2f;
    lights[3].quadraticAttenuation = 0.02f;
}

// A tilted quad 2 units away, front face and (drawn the other way round) back face in view.
std::vector<uint8_t> drawQuads(ShaderProgram* program, const Light* lights, int count, float shininess = 27.0f)
{
    glViewport(0, 0, WIDTH, HEIGHT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-0.6, 0.6, -0.4, 0.4, 1.0, 10.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    for (int i = 0; i < 8; i++) glDisable(GL_LIGHT0 + i);
    static const GLfloat dark[4] = {0, 0, 0, 1};
    for (int i = count; i < 8; i++) {
        glLightfv(GL_LIGHT0 + i, GL_AMBIENT, dark);
        glLightfv(GL_LIGHT0 + i, GL_DIFFUSE, dark);
        glLightfv(GL_LIGHT0 + i, GL_SPECULAR, dark);
    }
    for (int i = 0; i < count; i++) applyLight(i, lights[i]);
    static const GLfloat ambient[4] = {0.2f, 0.1f, 0.1f, 1}, diffuse[4] = {0.8f, 0.7f, 0.6f, 0.5f};
    static const GLfloat specular[4] = {0.6f, 0.6f, 0.6f, 1}, emission[4] = {0.02f, 0.0f, 0.04f, 1};
    static const GLfloat global[4] = {0.1f, 0.1f, 0.1f, 1};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, global);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, emission);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, shininess);
    glDisable(GL_DEPTH_TEST);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    program->bind();
    glBegin(GL_QUADS);
    glNormal3f(0.2f, 0.1f, 1.0f); // front: counter-clockwise, the normal towards the eye
    glVertex3f(-1.1f, -0.8f, -2.2f);
    glVertex3f(0.0f, -0.8f, -1.9f);
    glVertex3f(0.0f, 0.8f, -1.9f);
    glVertex3f(-1.1f, 0.8f, -2.2f);
    glNormal3f(-0.2f, 0.0f, -1.0f); // back: clockwise, the normal away from the eye
    glVertex3f(0.05f, -0.8f, -2.0f);
    glVertex3f(0.05f, 0.8f, -2.0f);
    glVertex3f(1.1f, 0.8f, -2.4f);
    glVertex3f(1.1f, -0.8f, -2.4f);
    glEnd();
    ShaderProgram::unbindAll();
    glFinish();
    return readTestPixels(0, 0, WIDTH, HEIGHT);
}

} // namespace

TEST(LitProgram, DrawsWhatTheGeneralLightingProgramDrawsForEveryKindOfLight)
{
    REQUIRE_GL_WINDOW(WIDTH, HEIGHT);
    accessMode = ACCESS_LOOSE;
    setDataDirectory(sourcePath("").c_str());
    Light lights[4];
    showLights(lights);
    ShaderProgram general("multi_material_notex.vert", "multi_material_notex.frag", "#define LIGHTS 4");
    std::vector<uint8_t> expected = drawQuads(&general, lights, 4);
    int lit = 0;
    for (size_t i = 0; i < expected.size(); i++)
        if (i % 4 != 3 && expected[i] > 40) lit++;
    EXPECT_GT(lit, WIDTH * HEIGHT / 2); // both quads drew, and lit
    // Colours sent, all kept (lights 1 to 3), ambient and specular kept (lights 2 and 3); the
    // highlight by pow and by squaring the bits of the quads' shininess (27: five bits).
    const unsigned kept[3][2] = {{0u, 0u}, {14u, 0u}, {0u, 12u}};
    for (int bits : {(int)LIT_POW_SHININESS, 5, 8}) {
        for (const unsigned* fixedColours : kept) {
            ShaderProgram* program = litProgram(lights, 4, fixedColours[0], fixedColours[1], bits);
            std::vector<uint8_t> drawn = drawQuads(program, lights, 4);
            ASSERT_EQ(drawn.size(), expected.size());
            int worst = 0;
            for (size_t i = 0; i < drawn.size(); i++) worst = std::max(worst, abs((int)drawn[i] - (int)expected[i]));
            EXPECT_LE(worst, 1) << "kept " << fixedColours[0] << " " << fixedColours[1] << " bits " << bits;
        }
    }
    // The ends of OpenGL's range (0 raises as 1 does) and single bits, each with the fewest bits,
    // and each built in.
    for (int shininess : {0, 1, 27, 64, 128}) {
        expected = drawQuads(&general, lights, 4, (float)shininess);
        const int bits = litShininessBits((float)shininess);
        for (int builtIn : {(int)LIT_NO_BUILT_IN_SHININESS, shininess}) {
            ShaderProgram* program = litProgram(lights, 4, 0, 0, bits, builtIn);
            std::vector<uint8_t> drawn = drawQuads(program, lights, 4, (float)shininess);
            ASSERT_EQ(drawn.size(), expected.size());
            int worst = 0;
            for (size_t i = 0; i < drawn.size(); i++)
                worst = std::max(worst, abs((int)drawn[i] - (int)expected[i]));
            EXPECT_LE(worst, 1) << "shininess " << shininess << " built in " << builtIn;
        }
    }
    // A spot without an exponent has a hard edge, and its program raises nothing.
    lights[3].spotExponent = 0.0f;
    expected = drawQuads(&general, lights, 4);
    std::vector<uint8_t> hard = drawQuads(litProgram(lights, 4), lights, 4);
    ASSERT_EQ(hard.size(), expected.size());
    std::vector<uint8_t> withoutSpot = drawQuads(&general, lights, 3);
    int worst = 0, inCone = 0;
    for (size_t i = 0; i < hard.size(); i++) {
        worst = std::max(worst, abs((int)hard[i] - (int)expected[i]));
        if (abs((int)expected[i] - (int)withoutSpot[i]) > 8) inCone++;
    }
    EXPECT_LE(worst, 1);
    EXPECT_GT(inCone, 100) << "the spot missed the quads";
    lights[3].spotExponent = 3.0f;
    // The same set asked again is the same program; another set is another.
    EXPECT_EQ(litProgram(lights, 4), litProgram(lights, 4));
    EXPECT_NE(litProgram(lights, 4), litProgram(lights, 3));
    EXPECT_NE(litProgram(lights, 4, 2), litProgram(lights, 4));
    // A fixed colour that changes is another program.
    Light brighter[4];
    showLights(brighter);
    brighter[1].ambient = brighter[1].diffuse = brighter[1].specular = rgb(0.6f, 0.2f, 0.1f);
    EXPECT_NE(litProgram(brighter, 4, 2), litProgram(lights, 4, 2));
    EXPECT_EQ(litProgram(brighter, 4), litProgram(lights, 4));
}

TEST(LitProgram, DefinesCarryEachLightsConstantsExactly)
{
    Light lights[4];
    showLights(lights);
    char defines[LIT_DEFINES_BYTES];
    ASSERT_TRUE(litProgramDefines(lights, 4, 0, 0, LIT_POW_SHININESS, LIT_NO_BUILT_IN_SHININESS, defines, (int)sizeof defines));
    EXPECT_NE(strstr(defines, "#define LIT_COLOUR_LIGHTS 2\n"), nullptr) << defines;
    EXPECT_NE(strstr(defines, "#define LIT_PRODUCT_LIGHTS 2\n"), nullptr) << defines;
    EXPECT_NE(strstr(defines, "#define LIT_SPOT_LIGHTS 1\n"), nullptr) << defines;
    EXPECT_NE(strstr(defines, "addColourLight(0, directionalShares(toLight[0]))"), nullptr) << defines;
    // The literal reads back as the very float the light holds.
    const char* linear = strstr(defines, "pointShares(toLight[1], 1.0, ");
    ASSERT_NE(linear, nullptr) << defines;
    EXPECT_EQ(strtof(linear + strlen("pointShares(toLight[1], 1.0, "), nullptr), 0.1f);
    EXPECT_NE(strstr(defines, "addProductLight(1, spotShares(toLight[3], spotDirection[0], "), nullptr) << defines;
    lights[3].spotExponent = 0.0f;
    ASSERT_TRUE(litProgramDefines(lights, 4, 0, 0, LIT_POW_SHININESS, LIT_NO_BUILT_IN_SHININESS, defines, (int)sizeof defines));
    EXPECT_NE(strstr(defines, "hardSpotShares(toLight[3], spotDirection[0], "), nullptr) << defines;
    lights[3].spotExponent = 3.0f;
    ASSERT_TRUE(litProgramDefines(lights, 4, 1, 0, LIT_POW_SHININESS, LIT_NO_BUILT_IN_SHININESS, defines, (int)sizeof defines));
    EXPECT_NE(strstr(defines, "addFixedLight(vec3(0.300000012, 0.300000012, 0.349999994), "), nullptr) << defines;
    EXPECT_NE(strstr(defines, "#define LIT_COLOUR_LIGHTS 1\n"), nullptr) << defines;

    // No lights is one dark light; more than eight are cut at eight; a short buffer says so.
    ASSERT_TRUE(litProgramDefines(nullptr, 0, 0, 0, LIT_POW_SHININESS, LIT_NO_BUILT_IN_SHININESS, defines, (int)sizeof defines));
    EXPECT_NE(strstr(defines, "#define LIT_LIGHTS 1\n"), nullptr) << defines;
    Light many[12];
    ASSERT_TRUE(litProgramDefines(many, 12, 0, 0, LIT_POW_SHININESS, LIT_NO_BUILT_IN_SHININESS, defines, (int)sizeof defines));
    EXPECT_NE(strstr(defines, "#define LIT_LIGHTS 8\n"), nullptr) << defines;
    EXPECT_FALSE(litProgramDefines(lights, 4, 0, 0, LIT_POW_SHININESS, LIT_NO_BUILT_IN_SHININESS, defines, 64));
}

TEST(LitProgram, SquaresOnlyWholeShininessInOpenGLsRangeAndOnlyTheBitsItNeeds)
{
    const float shininess[] = {0.0f, 1.0f, 6.0f, 8.0f, 96.0f, 127.0f, 128.0f};
    const int bits[] = {1, 1, 3, 4, 7, 7, 8};
    for (int i = 0; i < 7; i++) EXPECT_EQ(litShininessBits(shininess[i]), bits[i]) << shininess[i];
    for (float unfit : {12.5f, 129.0f, -1.0f, NAN}) EXPECT_EQ(litShininessBits(unfit), LIT_POW_SHININESS) << unfit;
    std::vector<Material> materials(3);
    materials[0].shininess = materials[2].shininess = 20.0f;
    materials[1].shininess = 12.5f;
    EXPECT_EQ(litShininessBits(materials.data(), 3), LIT_POW_SHININESS);
    materials[1].shininess = 100.0f;
    EXPECT_EQ(litShininessBits(materials.data(), 3), 7);
    materials[1].shininess = 12.5f;

    // One program per number of bits, shared by the materials that need as many; it builds in
    // their shininess where all those with a highlight have one.
    REQUIRE_GL_WINDOW(WIDTH, HEIGHT);
    accessMode = ACCESS_LOOSE;
    setDataDirectory(sourcePath("").c_str());
    Light lights[4];
    showLights(lights);
    std::vector<ShaderProgram*> programs;
    litMaterialPrograms(lights, 4, 0, 0, materials, &programs);
    ASSERT_EQ(programs.size(), 3u);
    EXPECT_EQ(programs[0], programs[2]);
    EXPECT_EQ(programs[0], litProgram(lights, 4, 0, 0, 5, 20));
    EXPECT_EQ(programs[1], litProgram(lights, 4));
    materials[2].shininess = 25.0f; // five bits too
    litMaterialPrograms(lights, 4, 0, 0, materials, &programs);
    EXPECT_EQ(programs[0], programs[2]);
    EXPECT_EQ(programs[0], litProgram(lights, 4, 0, 0, 5));
    for (int c = 0; c < 3; c++) materials[2].specular[c] = 0.0f; // and no highlight
    litMaterialPrograms(lights, 4, 0, 0, materials, &programs);
    EXPECT_EQ(programs[2], litProgram(lights, 4, 0, 0, 5, 20));
}

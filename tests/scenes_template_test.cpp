// Template: the render state applyState sets (queried back from GL), the default viewport and
// projection, and the base versions of init and draw.
#include "scenes/template.h"

#include "test_support.h"
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <math.h>

// A scene that flips every switch away from its default.
class OppositeScene : public Template {
public:
    OppositeScene()
    {
        shadeModel = GL_FLAT;
        blend = true;
        depthTest = false;
        lighting = true;
        texture1D = true;
        texture2D = false;
        colorMaterial = false;
        normalize = false;
        multisample = false;
        for (int i = 0; i < TEMPLATE_LIGHTS; i++) light[i] = (i % 2) == 1;
    }
};

static GLint integer(GLenum name)
{
    GLint value = -1;
    glGetIntegerv(name, &value);
    return value;
}

static void expectSwitches(const Template& t)
{
    EXPECT_EQ(glIsEnabled(GL_BLEND), t.blend);
    EXPECT_EQ(glIsEnabled(GL_DEPTH_TEST), t.depthTest);
    EXPECT_EQ(glIsEnabled(GL_LIGHTING), t.lighting);
    EXPECT_EQ(glIsEnabled(GL_TEXTURE_1D), t.texture1D);
    EXPECT_EQ(glIsEnabled(GL_TEXTURE_2D), t.texture2D);
    EXPECT_EQ(glIsEnabled(GL_COLOR_MATERIAL), t.colorMaterial);
    EXPECT_EQ(glIsEnabled(GL_NORMALIZE), t.normalize);
    EXPECT_EQ(glIsEnabled(GL_MULTISAMPLE_ARB), t.multisample);
    for (int i = 0; i < TEMPLATE_LIGHTS; i++) EXPECT_EQ(glIsEnabled(GL_LIGHT0 + i), t.light[i]) << "light " << i;
    EXPECT_EQ(integer(GL_SHADE_MODEL), (GLint)t.shadeModel);
}

TEST(Template, Defaults)
{
    Template t;
    EXPECT_EQ(t.shadeModel, (GLenum)GL_SMOOTH);
    EXPECT_EQ(t.startTime, -10.0f);
    EXPECT_EQ(t.endTime, 5000.0f);
    EXPECT_EQ(t.keys, nullptr);
    EXPECT_EQ(t.music, nullptr);
    EXPECT_EQ(t.shaders, nullptr);
    EXPECT_EQ(t.fbo, nullptr);
    EXPECT_EQ(t.ascii, nullptr);
    EXPECT_FALSE(t.blend);
    EXPECT_TRUE(t.depthTest && t.texture2D && t.colorMaterial && t.normalize && t.multisample && t.light[0]);
    EXPECT_FALSE(t.lighting || t.texture1D);
    for (int i = 1; i < TEMPLATE_LIGHTS; i++) EXPECT_FALSE(t.light[i]);
}

TEST(Template, ApplyStateSetsEverySwitchEveryTime)
{
    REQUIRE_GL_WINDOW();
    OppositeScene opposite;
    Template plain;
    // Leave state behind that applyState must undo.
    glBindTexture(GL_TEXTURE_2D, 0);
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glMatrixMode(GL_PROJECTION);
    glTranslatef(1.0f, 2.0f, 3.0f);
    glMatrixMode(GL_MODELVIEW);
    glRotatef(30.0f, 0.0f, 0.0f, 1.0f);
    glMatrixMode(GL_TEXTURE);
    glBlendFunc(GL_ONE, GL_ONE);
    glDepthFunc(GL_ALWAYS);

    opposite.applyState();
    expectSwitches(opposite);
    EXPECT_EQ(integer(GL_TEXTURE_BINDING_2D), 0);
    EXPECT_EQ(integer(GL_TEXTURE_BINDING_1D), 0);
    EXPECT_EQ(integer(GL_MATRIX_MODE), GL_MODELVIEW);
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    for (int i = 0; i < 16; i++) EXPECT_EQ(m[i], (i % 5 == 0) ? 1.0f : 0.0f);
    EXPECT_EQ(integer(GL_BLEND_SRC), GL_SRC_ALPHA);
    EXPECT_EQ(integer(GL_BLEND_DST), GL_ONE_MINUS_SRC_ALPHA);
    EXPECT_EQ(integer(GL_DEPTH_FUNC), GL_LESS);
    EXPECT_EQ(integer(GL_LIGHT_MODEL_TWO_SIDE), 1);
    EXPECT_EQ(integer(GL_LIGHT_MODEL_LOCAL_VIEWER), 1);
    EXPECT_EQ(integer(GL_LIGHT_MODEL_COLOR_CONTROL), GL_SEPARATE_SPECULAR_COLOR);
    EXPECT_EQ(integer(GL_PERSPECTIVE_CORRECTION_HINT), GL_NICEST);
    EXPECT_EQ(integer(GL_COLOR_MATERIAL_FACE), GL_FRONT_AND_BACK);
    EXPECT_EQ(integer(GL_COLOR_MATERIAL_PARAMETER), GL_AMBIENT_AND_DIFFUSE);
    EXPECT_EQ(glGetHandleARB(GL_PROGRAM_OBJECT_ARB), 0u);
    EXPECT_FALSE(glIsEnabled(GL_VERTEX_PROGRAM_ARB));
    EXPECT_FALSE(glIsEnabled(GL_FRAGMENT_PROGRAM_ARB));

    // A light switched off has no colour left for the per-pixel lighting programs to read.
    for (int i = 0; i < TEMPLATE_LIGHTS; i++) {
        GLfloat diffuse[4], specular[4], ambient[4];
        glGetLightfv(GL_LIGHT0 + i, GL_DIFFUSE, diffuse);
        glGetLightfv(GL_LIGHT0 + i, GL_SPECULAR, specular);
        glGetLightfv(GL_LIGHT0 + i, GL_AMBIENT, ambient);
        if (opposite.light[i]) continue;
        for (int c = 0; c < 3; c++) {
            EXPECT_EQ(diffuse[c], 0.0f) << "light " << i;
            EXPECT_EQ(specular[c], 0.0f) << "light " << i;
            EXPECT_EQ(ambient[c], 0.0f) << "light " << i;
        }
    }

    // The next scene gets its own switches back, whatever the previous one left.
    plain.applyState();
    expectSwitches(plain);
    opposite.applyState();
    expectSwitches(opposite);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    glDeleteTextures(1, &texture);
}

struct ViewportCase {
    int width, height;
    GLint viewport[4];
};

TEST(Template, DefaultResizeLetterBoxes16By9)
{
    REQUIRE_GL_WINDOW();
    const ViewportCase cases[] = {
        {1280, 720, {0, 0, 1280, 720}},   {1024, 768, {0, 96, 1024, 576}}, {1000, 500, {0, -31, 1000, 562}},
        {640, 480, {0, 60, 640, 360}},    {1, 1, {0, 0, 1, 0}},            {0, 0, {0, 0, 0, 0}},
    };
    Template t;
    for (const ViewportCase& c : cases) {
        glMatrixMode(GL_TEXTURE);
        t.resize(c.width, c.height);
        EXPECT_EQ(t.width, c.width);
        EXPECT_EQ(t.height, c.height);
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        for (int i = 0; i < 4; i++) EXPECT_EQ(viewport[i], c.viewport[i]) << c.width << "x" << c.height << " [" << i << "]";
        EXPECT_EQ(integer(GL_MATRIX_MODE), GL_MODELVIEW);
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << c.width << "x" << c.height;
    }
    // 45 degrees vertically, the fixed 16:9 aspect, near 0.1, far 2000, whatever the window.
    GLfloat p[16];
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    const double f = 1.0 / tan(22.5 * M_PI / 180.0);
    EXPECT_NEAR(p[0], f / (16.0 / 9.0), 1e-5);
    EXPECT_NEAR(p[5], f, 1e-5);
    EXPECT_NEAR(p[10], (2000.0 + 0.1) / (0.1 - 2000.0), 1e-5);
    EXPECT_NEAR(p[14], 2.0 * 2000.0 * 0.1 / (0.1 - 2000.0), 1e-5);
    EXPECT_EQ(p[11], -1.0f);
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    EXPECT_EQ(m[0], 1.0f);
    EXPECT_EQ(m[12], 0.0f);
}

TEST(Template, BaseInitAndDrawAreErrors)
{
    Template t;
    EXPECT_EXIT(t.init(), testing::ExitedWithCode(1), "Error\nError in file src/scenes/template.cpp:[0-9]+");
    EXPECT_EXIT(t.draw(), testing::ExitedWithCode(1), "Error in file src/scenes/template.cpp:[0-9]+");
    t.release(); // does nothing
}

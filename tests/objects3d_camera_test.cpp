// Camera, matrix, light and colour helpers.
#include "util/objects3d/camera.h"
#include "test_support.h"

#include <GL/glew.h>
#include <gtest/gtest.h>
#include <string.h>

namespace {

void expectVec(const Vec4& v, float x, float y, float z, float tolerance = 1e-5f)
{
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

void viewport(int out[4]) { glGetIntegerv(GL_VIEWPORT, out); }

} // namespace

TEST(Camera, DefaultsAndTurns)
{
    Camera camera;
    expectVec(camera.direction, 0, 0, -1);
    expectVec(camera.extraVectors[0], 0, 10, -150);

    pitchCamera(&camera, 90);
    expectVec(camera.direction, 0, 1, 0);
    expectVec(camera.up, 0, 0, 1);
    pitchCamera(&camera, -90);
    expectVec(camera.direction, 0, 0, -1);
    expectVec(camera.up, 0, 1, 0);
    EXPECT_FLOAT_EQ(camera.pitchAngle, 0);

    yawCamera(&camera, 90);
    expectVec(camera.direction, -1, 0, 0);
    expectVec(camera.right, 0, 0, -1);
    EXPECT_FLOAT_EQ(camera.yawAngle, 90);

    Camera rolled;
    rollCamera(&rolled, 90);
    expectVec(rolled.right, 0, 1, 0);
    expectVec(rolled.up, -1, 0, 0);
    EXPECT_FLOAT_EQ(rolled.rollAngle, 90);

    // Small turns keep the axes unit length and perpendicular.
    Camera flown;
    for (int i = 0; i < 500; ++i) {
        pitchCamera(&flown, -2.5f);
        yawCamera(&flown, -0.8f);
        rollCamera(&flown, -0.7f);
    }
    const Vec4& d = flown.direction;
    EXPECT_NEAR(d.x * d.x + d.y * d.y + d.z * d.z, 1, 1e-4);
    EXPECT_NEAR(d.x * flown.up.x + d.y * flown.up.y + d.z * flown.up.z, 0, 1e-3);

    moveCamera(&camera, 1, -2, 0.5f);
    moveCamera(&camera, 1, 0, 0);
    expectVec(camera.position, 2, -2, 0.5f);
}

TEST(Camera, InterpolateAndCopy)
{
    Camera from, to, out;
    from.fov = 40;
    from.nearPlane = 1;
    from.farPlane = 100;
    from.position = {1, 2, 3, 0};
    to.fov = 80;
    to.nearPlane = 3;
    to.farPlane = 300;
    to.position = {5, 6, 7, 0};
    to.direction = {1, 0, 0, 0};
    out.name = "kept";
    out.pitchAngle = 12;

    interpolateCameras(from, to, &out, 0);
    expectVec(out.position, 1, 2, 3);
    expectVec(out.direction, 0, 0, -1);
    EXPECT_FLOAT_EQ(out.fov, 40);
    interpolateCameras(from, to, &out, 1);
    expectVec(out.position, 5, 6, 7);
    expectVec(out.direction, 1, 0, 0);
    EXPECT_FLOAT_EQ(out.farPlane, 300);
    interpolateCameras(from, to, &out, 0.25f);
    expectVec(out.position, 2, 3, 4);
    expectVec(out.direction, 0.25f, 0, -0.75f); // not renormalised
    EXPECT_FLOAT_EQ(out.nearPlane, 1.5f);
    EXPECT_FLOAT_EQ(out.pitchAngle, 12); // other fields untouched
    EXPECT_EQ(out.name, "kept");

    Camera source;
    source.name = "source";
    source.fov = 55;
    source.matrix[12] = 9;
    source.extraVectors[2] = {4, 4, 4, 0};
    source.extraValues[1] = 2;
    yawCamera(&source, 30);
    copyCamera(&out, source);
    EXPECT_EQ(out.name, "kept");
    EXPECT_FLOAT_EQ(out.fov, 55);
    EXPECT_FLOAT_EQ(out.matrix[12], 9);
    EXPECT_FLOAT_EQ(out.yawAngle, 30);
    EXPECT_FLOAT_EQ(out.pitchAngle, 0);
    expectVec(out.extraVectors[2], 4, 4, 4);
    EXPECT_FLOAT_EQ(out.extraValues[1], 2);
    expectVec(out.direction, source.direction.x, source.direction.y, source.direction.z);
}

TEST(Helpers, RoundTo2DecimalsAndSharedBlend)
{
    EXPECT_NEAR(roundTo2Decimals(1.234f), 1.23f, 1e-6);
    EXPECT_NEAR(roundTo2Decimals(1.235f), 1.24f, 1e-6);
    EXPECT_NEAR(roundTo2Decimals(-1.234f), -1.23f, 1e-6);
    EXPECT_NEAR(roundTo2Decimals(0.126f), 0.13f, 1e-6);
    EXPECT_FLOAT_EQ(roundTo2Decimals(120.0f), 120.0f);

    float source[4] = {1, 0.5f, 0, 1};
    float destination[4];
    sharedBlendColour[0] = sharedBlendColour[1] = sharedBlendColour[2] = sharedBlendColour[3] = 0;
    blendWithSharedColour(source, destination, 0.5f);
    EXPECT_FLOAT_EQ(destination[0], 0.5f);
    EXPECT_FLOAT_EQ(destination[1], 0.25f);
    EXPECT_FLOAT_EQ(destination[3], 0.5f);
    sharedBlendColour[2] = 1;
    blendWithSharedColour(source, destination, 0);
    EXPECT_FLOAT_EQ(destination[2], 1);
    EXPECT_FLOAT_EQ(destination[0], 0);
}

TEST(Helpers, MatrixOperationsKeepTheModelview)
{
    REQUIRE_GL_WINDOW();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(7, 7, 7);
    float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

    float m[16];
    memcpy(m, identity, sizeof m);
    translateMatrix(m, 1, 2, 3);
    EXPECT_FLOAT_EQ(m[12], 1);
    EXPECT_FLOAT_EQ(m[13], 2);
    EXPECT_FLOAT_EQ(m[14], 3);
    EXPECT_FLOAT_EQ(m[0], 1);

    // Post-multiplied: the scaling applies to the translation added after it.
    scaleMatrix(m, 2, 2, 2);
    translateMatrix(m, 1, 0, 0);
    EXPECT_FLOAT_EQ(m[12], 3);
    EXPECT_FLOAT_EQ(m[0], 2);

    memcpy(m, identity, sizeof m);
    rotateMatrix(m, 90, 0, 0, 1);
    EXPECT_NEAR(m[0], 0, 1e-6);
    EXPECT_NEAR(m[1], 1, 1e-6);
    EXPECT_NEAR(m[4], -1, 1e-6);

    float current[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, current);
    EXPECT_FLOAT_EQ(current[12], 7);
    EXPECT_FLOAT_EQ(current[0], 1);
    glLoadIdentity();
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(Helpers, ProjectionIsLetterboxed)
{
    REQUIRE_GL_WINDOW();
    Camera camera;
    camera.fov = 45;
    camera.nearPlane = 0.1f;
    camera.farPlane = 100;
    camera.position = {0, 0, 5, 0};
    int v[4];
    applyCameraProjection(camera, 768, 1024);
    viewport(v);
    EXPECT_EQ(v[0], 0);
    EXPECT_EQ(v[1], 96);
    EXPECT_EQ(v[2], 1024);
    EXPECT_EQ(v[3], 576);
    applyCameraProjection(camera, 1024, 1280);
    viewport(v);
    EXPECT_EQ(v[1], 152);
    EXPECT_EQ(v[3], 720);
    applyCameraProjection(camera, 0, 1280); // height 0 counts as 1
    viewport(v);
    EXPECT_EQ(v[1], (1 - 720) / 2);

    // The view looks from the position along the direction.
    GLint mode;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    float view[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, view);
    EXPECT_NEAR(view[14], -5, 1e-5);
    float projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    EXPECT_NEAR(projection[5] / projection[0], 16.0f / 9.0f, 1e-5); // aspect 16:9 whatever the window
    glViewport(0, 0, 640, 360);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

TEST(Helpers, ApplyLightLoadsAndEnables)
{
    REQUIRE_GL_WINDOW();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0, 0, -10); // the position goes through the current modelview
    Light light;
    light.position = {1, 2, 3, 1};
    light.diffuse = {0.3f, 0.4f, 0.5f, 1};
    light.spotCutoff = 85;
    light.linearAttenuation = 0.2f;
    applyLight(2, light);
    EXPECT_TRUE(glIsEnabled(GL_LIGHT2));
    float value[4];
    glGetLightfv(GL_LIGHT2, GL_POSITION, value);
    EXPECT_FLOAT_EQ(value[2], -7);
    glGetLightfv(GL_LIGHT2, GL_DIFFUSE, value);
    EXPECT_FLOAT_EQ(value[1], 0.4f);
    glGetLightfv(GL_LIGHT2, GL_SPOT_CUTOFF, value);
    EXPECT_FLOAT_EQ(value[0], 85);
    glGetLightfv(GL_LIGHT2, GL_LINEAR_ATTENUATION, value);
    EXPECT_FLOAT_EQ(value[0], 0.2f);
    applyLight(8, light); // beyond the driver's lights: skipped, no GL error
    applyLight(-1, light);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    glDisable(GL_LIGHT2);
    glLoadIdentity();
}

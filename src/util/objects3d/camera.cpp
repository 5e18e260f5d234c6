// camera: camera, matrix, light and colour helpers. See camera.h.
#include "util/objects3d/camera.h"

#include <GL/glew.h> // GL entry points
#include <GL/glu.h>  // gluLookAt, gluPerspective
#include <math.h>
#include <string.h>

static const float DEGREES_TO_RADIANS = 0.017453292f;
static const float LETTERBOX_HEIGHT_PER_WIDTH = 0.5625f; // 16:9
static const float LETTERBOX_ASPECT = 16.0f / 9.0f;

float sharedBlendColour[4];

// >> vector helpers (the first three components)

static Vec4 add(const Vec4& a, const Vec4& b) { return {a.x + b.x, a.y + b.y, a.z + b.z, 0}; }
static Vec4 scale(const Vec4& a, float s) { return {a.x * s, a.y * s, a.z * s, 0}; }
static Vec4 cross(const Vec4& a, const Vec4& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x, 0};
}
static Vec4 normalised(const Vec4& a)
{
    float length = sqrtf(a.x * a.x + a.y * a.y + a.z * a.z);
    if (length == 0) return a; // a degenerate turn keeps the zero vector rather than making NaNs
    return scale(a, 1.0f / length);
}
static float mix(float from, float to, float t) { return from * (1 - t) + to * t; }
static Vec4 mix(const Vec4& from, const Vec4& to, float t)
{
    return {mix(from.x, to.x, t), mix(from.y, to.y, t), mix(from.z, to.z, t), mix(from.w, to.w, t)};
}

// >> camera operations

void moveCamera(Camera* camera, float dx, float dy, float dz)
{
    camera->position.x += dx;
    camera->position.y += dy;
    camera->position.z += dz;
}

void pitchCamera(Camera* camera, float angle)
{
    camera->pitchAngle += angle;
    float a = angle * DEGREES_TO_RADIANS;
    camera->direction = normalised(add(scale(camera->up, sinf(a)), scale(camera->direction, cosf(a))));
    camera->up = scale(cross(camera->direction, camera->right), -1);
}

void yawCamera(Camera* camera, float angle)
{
    camera->yawAngle += angle;
    float a = angle * DEGREES_TO_RADIANS;
    camera->direction = normalised(add(scale(camera->direction, cosf(a)), scale(camera->right, -sinf(a))));
    camera->right = cross(camera->direction, camera->up);
}

void rollCamera(Camera* camera, float angle)
{
    camera->rollAngle += angle;
    float a = angle * DEGREES_TO_RADIANS;
    camera->right = normalised(add(scale(camera->up, sinf(a)), scale(camera->right, cosf(a))));
    camera->up = scale(cross(camera->direction, camera->right), -1);
}

void interpolateCameras(const Camera& from, const Camera& to, Camera* out, float t)
{
    out->direction = mix(from.direction, to.direction, t);
    out->right = mix(from.right, to.right, t);
    out->up = mix(from.up, to.up, t);
    out->position = mix(from.position, to.position, t);
    out->fov = mix(from.fov, to.fov, t);
    out->nearPlane = mix(from.nearPlane, to.nearPlane, t);
    out->farPlane = mix(from.farPlane, to.farPlane, t);
}

void copyCamera(Camera* destination, const Camera& source)
{
    if (destination == &source) return;
    destination->fov = source.fov;
    destination->nearPlane = source.nearPlane;
    destination->farPlane = source.farPlane;
    memcpy(destination->matrix, source.matrix, sizeof destination->matrix);
    destination->direction = source.direction;
    destination->right = source.right;
    destination->up = source.up;
    destination->position = source.position;
    for (int i = 0; i < 3; ++i) destination->extraVectors[i] = source.extraVectors[i];
    destination->extraValues[0] = source.extraValues[0];
    destination->extraValues[1] = source.extraValues[1];
    destination->pitchAngle = source.pitchAngle;
    destination->yawAngle = source.yawAngle;
    destination->rollAngle = source.rollAngle;
}

void applyCameraView(const Camera& camera)
{
    const Vec4& p = camera.position;
    Vec4 target = add(p, camera.direction);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(p.x, p.y, p.z, target.x, target.y, target.z, camera.up.x, camera.up.y, camera.up.z);
}

void applyCameraProjection(const Camera& camera, int windowHeight, int windowWidth)
{
    if (windowHeight == 0) windowHeight = 1;
    int viewHeight = (int)(windowWidth * LETTERBOX_HEIGHT_PER_WIDTH);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // Always 16:9, centred vertically: bars on taller windows, cropping on wider ones.
    glViewport(0, (windowHeight - viewHeight) / 2, windowWidth, viewHeight);
    gluPerspective(camera.fov, LETTERBOX_ASPECT, camera.nearPlane, camera.farPlane);
    applyCameraView(camera);
}

// >> matrix helpers: through the modelview stack, which is left as it was

void scaleMatrix(float matrix[16], float x, float y, float z)
{
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(matrix);
    glScalef(x, y, z);
    glGetFloatv(GL_MODELVIEW_MATRIX, matrix);
    glPopMatrix();
}

void rotateMatrix(float matrix[16], float angle, float x, float y, float z)
{
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(matrix);
    glRotatef(angle, x, y, z);
    glGetFloatv(GL_MODELVIEW_MATRIX, matrix);
    glPopMatrix();
}

void translateMatrix(float matrix[16], float x, float y, float z)
{
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(matrix);
    glTranslatef(x, y, z);
    glGetFloatv(GL_MODELVIEW_MATRIX, matrix);
    glPopMatrix();
}

// >> lights and colours

void applyLight(int index, const Light& light)
{
    // A model may name more lights than OpenGL has; those beyond the driver's count are skipped
    // rather than raising a GL error.
    // Asked once: the limit is the driver's, and lights are set many times a frame.
    static GLint maxLights = 0;
    if (maxLights == 0) glGetIntegerv(GL_MAX_LIGHTS, &maxLights);
    if (index < 0 || index >= maxLights) return;
    GLenum l = GL_LIGHT0 + index;
    glLightfv(l, GL_AMBIENT, &light.ambient.x);
    glLightfv(l, GL_DIFFUSE, &light.diffuse.x);
    glLightfv(l, GL_SPECULAR, &light.specular.x);
    glLightfv(l, GL_POSITION, &light.position.x);
    glLightfv(l, GL_SPOT_DIRECTION, &light.spotDirection.x);
    glLightf(l, GL_SPOT_CUTOFF, light.spotCutoff);
    glLightf(l, GL_SPOT_EXPONENT, light.spotExponent);
    glLightf(l, GL_CONSTANT_ATTENUATION, light.constantAttenuation);
    glLightf(l, GL_LINEAR_ATTENUATION, light.linearAttenuation);
    glLightf(l, GL_QUADRATIC_ATTENUATION, light.quadraticAttenuation);
    glEnable(l);
}

void multiplyMatrices(const float a[16], const float b[16], float out[16])
{
    for (int column = 0; column < 4; column++)
        for (int row = 0; row < 4; row++) {
            float sum = 0.0f;
            for (int k = 0; k < 4; k++) sum += a[k * 4 + row] * b[column * 4 + k];
            out[column * 4 + row] = sum;
        }
}

float matrixDeterminant3(const float m[16])
{
    return m[0] * (m[5] * m[10] - m[9] * m[6]) - m[4] * (m[1] * m[10] - m[9] * m[2]) +
           m[8] * (m[1] * m[6] - m[5] * m[2]);
}

float roundTo2Decimals(float x) { return (float)(floor((double)x * 100.0 + 0.5) / 100.0); }

void blendWithSharedColour(const float source[4], float destination[4], float t)
{
    for (int i = 0; i < 4; ++i) destination[i] = t * source[i] + (1 - t) * sharedBlendColour[i];
}

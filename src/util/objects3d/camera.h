// camera: the Camera and Light records of a model, and the helpers the model code and scenes share.
//
// Camera operations move and turn a camera, blend two cameras and load one into OpenGL with a fixed
// 16:9 letterbox; the matrix helpers post-multiply a stored column-major 4x4 matrix by running it
// through the OpenGL modelview stack (so they need a current GL context and GL_MODELVIEW selected);
// applyLight loads a Light into one OpenGL light. Angles are in degrees everywhere.
#pragma once

#include <string>

// Four floats; positions and normals use the first three, texture coordinates the first two.
struct Vec4 {
    float x = 0, y = 0, z = 0, w = 0;
};
// Passed to OpenGL as four consecutive floats (glLightfv, glVertex3fv).
static_assert(sizeof(Vec4) == 4 * sizeof(float), "Vec4 must be four packed floats");

struct Camera {
    std::string name;                            // as in the model file
    float fov = 0;                               // vertical field of view, degrees
    float nearPlane = 0;
    float farPlane = 0;
    float matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; // column-major, identity
    Vec4 direction = {0, 0, -1, 0};              // unit view direction
    Vec4 right = {1, 0, 0, 0};
    Vec4 up = {0, 1, 0, 0};
    Vec4 position = {0, 0, 0, 0};
    // Carried and copied with the camera, not used by any camera operation.
    Vec4 extraVectors[3] = {{0, 10, -150, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}};
    float extraValues[2] = {0, 0};
    float pitchAngle = 0;                        // degrees turned so far
    float yawAngle = 0;
    float rollAngle = 0;
};

struct Light {
    std::string name;                   // as in the model file
    Vec4 position = {0, 0, 0, 1};       // w 0: directional
    Vec4 unused = {0, 0, 0, 0};
    Vec4 spotDirection = {0, 0, -1, 0};
    Vec4 ambient = {0, 0, 0, 1};        // the loader sets the colours
    Vec4 diffuse = {0, 0, 0, 1};
    Vec4 specular = {0, 0, 0, 1};
    float constantAttenuation = 1;
    float linearAttenuation = 0;
    float quadraticAttenuation = 0;
    float spotCutoff = 180;             // degrees; 180 is no spot
    float spotExponent = 0;
};

// >> camera operations
void moveCamera(Camera* camera, float dx, float dy, float dz);
void pitchCamera(Camera* camera, float angle); // turns direction towards up
void yawCamera(Camera* camera, float angle);   // turns direction away from right
void rollCamera(Camera* camera, float angle);  // turns right towards up
// out = from * (1 - t) + to * t for the four vectors and the three lens values (not renormalised).
void interpolateCameras(const Camera& from, const Camera& to, Camera* out, float t);
// Copies every field except the name.
void copyCamera(Camera* destination, const Camera& source);
// Modelview = look-at of the camera.
void applyCameraView(const Camera& camera);
// Letterboxed 16:9 viewport, perspective projection, then applyCameraView.
void applyCameraProjection(const Camera& camera, int windowHeight, int windowWidth);

// >> matrix helpers: matrix = matrix x scaling / rotation (degrees about an axis) / translation
void scaleMatrix(float matrix[16], float x, float y, float z);
void rotateMatrix(float matrix[16], float angle, float x, float y, float z);
void translateMatrix(float matrix[16], float x, float y, float z);
// out = a x b, all column-major, computed here (no GL); out may not alias a or b.
void multiplyMatrices(const float a[16], const float b[16], float out[16]);
// The determinant of the upper-left 3 x 3: negative for a matrix that mirrors.
float matrixDeterminant3(const float m[16]);

// >> lights and colours
// Loads the light into GL_LIGHT0 + index (position through the current modelview) and enables it.
void applyLight(int index, const Light& light);
float roundTo2Decimals(float x);
// The colour blendWithSharedColour blends towards (R, G, B, A); set by the scene that uses it.
extern float sharedBlendColour[4];
// destination = t * source + (1 - t) * sharedBlendColour, per component.
void blendWithSharedColour(const float source[4], float destination[4], float t);

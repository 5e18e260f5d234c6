// geomobject: one triangle mesh with one material, drawn through a display list.
//
// A mesh keeps separate index lists for positions, normals and texture coordinates (one
// IndexTriple per triangle in each) and is compiled into a display list with its material's
// colours and texture on first use. Loaders fill the lists; nothing here reads a file.
// Supports: flat or smooth normals, one 2D texture per mesh, meshes without normals (drawn with
// the current normal). Refuses (fatal, at the first draw): a textured mesh whose face and
// texture-triple counts differ, and any index outside its list (see checkGeomObject).
// Also holds the immediate-mode unit cube.
#pragma once

#include "util/objects3d/camera.h" // Vec4

#include <GL/glew.h> // GLuint
#include <stdint.h>
#include <string>
#include <vector>

class Texture;

// One triangle's three corner indices into one of a mesh's lists.
struct IndexTriple {
    int32_t index[3] = {0, 0, 0};
    int32_t& operator[](int corner) { return index[corner]; }
    int32_t operator[](int corner) const { return index[corner]; }
};

struct Material {
    Texture* texture = nullptr;               // diffuse map, owned; lives until the process ends
    std::string name = "dummy";
    std::string effectId = "dummy";
    float emission[4] = {0.5f, 0.5f, 0.5f, 1};
    float ambient[4] = {0.1f, 0.1f, 0.1f, 1};
    float diffuse[4] = {1, 1, 1, 1};
    float specular[4] = {1, 1, 1, 1};
    float shininess = 20;
};

class GeomObject {
public:
    std::vector<Vec4> vertices;         // positions (x, y, z)
    std::vector<IndexTriple> faces;     // per triangle: indices into vertices
    std::vector<Vec4> normals;          // (x, y, z)
    std::vector<IndexTriple> normalFaces; // per triangle: indices into normals
    std::vector<Vec4> texCoords;        // (u, v)
    std::vector<IndexTriple> texFaces;  // per triangle: indices into texCoords
    float transform[16];                // column-major; identity
    GLuint displayList = 0;             // 0 until first compiled; displayList + 1: its state list
    bool needsRebuild = true;           // compile again at the next draw
    std::string name;                   // mesh name; matched by substring
    std::string materialName = "dummy";
    int materialIndex = 0;              // into the owning model's materials
    bool hasTexture = false;            // draw with texCoords and the material's texture
    bool visible = true;
    bool closedSolid = false;           // geomObjectClosedSolid, as of the last compile
    bool boundsKnown = false;           // boundsMin/Max hold the positions' box (geomObjectBounds)
    float boundsMin[3] = {0, 0, 0};
    float boundsMax[3] = {0, 0, 0};

    // The identity transform is written directly (no GL), so meshes can be built without a context.
    GeomObject();

    // Records the mesh with the material into a (new) display list, and into the next list name
    // the state that list leaves behind (material, texture, current normal and texture
    // coordinate) without the triangles. False only when GL has no list name left. A textured
    // mesh whose face and texture-triple counts differ is fatal.
    bool compileDisplayList(const Material& material);
};

// Checks every index of the mesh against its list, and materialIndex against materialCount.
// Returns null when all are in range, else writes the reason (naming the mesh) into `why`.
const char* checkGeomObject(const GeomObject& object, int materialCount, char* why, size_t whySize);

// Fills the mesh's bounds from its positions (once). False for a mesh without positions.
bool geomObjectBounds(GeomObject* object);

// True when the mesh is the surface of closed solids, wound counter-clockwise seen from outside:
// every edge (positions compared by value) joins exactly two faces that run it in opposite
// directions, and every connected shell encloses a positive volume. From outside such a mesh its
// back faces are always hidden behind its front faces. Indices outside the list: false.
bool geomObjectClosedSolid(const GeomObject& object);

// True when the box lies wholly outside one plane of the clip volume under `clipFromObject`
// (column-major, projection x modelview): nothing of what it holds can reach the picture.
bool boxOutsideClipVolume(const float clipFromObject[16], const float boxMin[3], const float boxMax[3]);

// Widens `bounds` (x min, y min, x max, y max in normalised device coordinates, -1 to 1) to hold the
// box under `clipFromObject`; a box reaching behind the eye widens it to the whole view.
void widenScreenBounds(const float clipFromObject[16], const float boxMin[3], const float boxMax[3], float bounds[4]);
// Widens `bounds` to hold `box` (both as above); an empty box (min above max) changes nothing.
void widenBox(float bounds[4], const float box[4]);

// How far the box reaches from the eye under `viewFromObject` (column-major modelview): the
// largest distance along the view direction of its corners.
float boxFarthestDepth(const float viewFromObject[16], const float boxMin[3], const float boxMax[3]);

// The unit cube (corners at +-1) in immediate mode, one normal per face.
void drawUnitCube();
// Its 24 corners moved by (x, y, z), with their normals, inside the caller's glBegin(GL_QUADS):
// many cubes in one batch.
void unitCubeQuads(float x, float y, float z);

// model: what a loaded 3D model holds (cameras, lights, materials, meshes and the node tree that
// places them), as the loaders fill it. Objects3D (objects3d.h) adds the drawing; the loaders
// see only this, so their includes run one way: objects3d -> loader -> model.
#pragma once

#include "util/objects3d/camera.h"     // Camera, Light, Vec4
#include "util/objects3d/geomobject.h" // GeomObject, Material, IndexTriple

#include <string>
#include <vector>

struct SceneNode {
    std::vector<SceneNode> children;  // drawn before this node's own meshes
    std::vector<int> geometryIndices; // into the model's geomObjects
    SceneNode* parent = nullptr;      // null for the root; set once the tree is complete
    float matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; // column-major
    bool mirrored = false;            // the matrix reverses handedness
    std::string name;
};

struct Model {
    std::vector<Camera> cameras;         // in file order
    std::vector<Light> lights;           // light i drives GL_LIGHT0 + i
    std::vector<Material> materials;     // indexed by a mesh's materialIndex
    std::vector<GeomObject> geomObjects; // indexed by the nodes' geometryIndices
    SceneNode root;
    std::string directory;               // the loaded file's folder, with its trailing "/"
};

// Sets every node's parent pointer below `node` (the tree is built by value, so pointers are
// fixed once it no longer grows).
void linkSceneNodeParents(SceneNode* node);

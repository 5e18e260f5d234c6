// objects3d: one loaded 3D model (cameras, lights, materials, meshes and the node tree that places
// them), drawn with the fixed-function pipeline through one display list per mesh.
//
// `load` picks the loader by the file name's last four characters, lower-cased: ".ase" (ase_loader,
// read straight from disk; meshes only, no nodes) or ".dae" (dae_loader, through openFile). Any
// other extension, or a name shorter than four characters, returns false without a message.
// Drawing checks each mesh's indices and material against its lists before compiling it, and each
// node's mesh indices before drawing them: a model that points outside a list is fatal, naming the
// mesh or node. Scenes draw a model as: push, multiply by `transform`, drawNode(root,
// root.mirrored), pop. setupLights drives at most MODEL_MAX_LIGHTS OpenGL lights.
#pragma once

#include "util/objects3d/model.h" // Model, SceneNode, and through it Camera, Light, GeomObject

#include <string>
#include <vector>

class ShaderProgram;
class Texture;

// OpenGL guarantees eight lights; a model's further lights are not applied.
enum { MODEL_MAX_LIGHTS = 8 };

// The loaded model (the loaders fill its Model part) and how it is drawn.
class Objects3D : public Model {
public:
    float transform[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; // model placement
    ShaderProgram* plainShader = nullptr;  // bound for untextured meshes; null: fixed function
    ShaderProgram* texturedShader = nullptr; // bound for textured meshes; null: fixed function
    // Per material index: where set, bound for its untextured meshes in place of plainShader (a
    // program built for that material, such as litMaterialPrograms makes).
    std::vector<ShaderProgram*> plainShaders;
    // Meshes whose bounds lie wholly outside the view (the current projection and modelview) are
    // not sent: they could not add a pixel, and a software rasteriser pays for every vertex.
    bool cullOutsideView = false;
    // While set (the player's warm-up), meshes outside the view are drawn all the same: every
    // program a model draws with is then built before the show, not at its first frame in view.
    static bool warmingUp;
    // Hands the driver what is queued after every this many meshes drawn (0: never): a software
    // rasteriser then draws the first meshes while the later ones are still being sent, where it
    // would otherwise wait for the whole model. A GPU driver barely notices.
    int flushEveryMeshes = 0;
    // Closed meshes (geomObjectClosedSolid) are drawn without their back faces: from outside a
    // closed solid those are always hidden behind its front faces, yet a software rasteriser sets
    // up, and where they come first shades, every one of them. Needs culling off, as every scene
    // leaves it; a mirroring view the front face does not follow keeps the back faces.
    bool cullClosedBackFaces = false;
    // While set, every mesh drawn widens drawnBounds (widenScreenBounds: x min, y min, x max, y max
    // in normalised device coordinates), which resetDrawnBounds empties: for a pass that only needs
    // the part of the picture the model covered.
    bool trackDrawnBounds = false;
    float drawnBounds[4] = {1, 1, -1, -1};
    // Also each mesh's own bounds, in the order drawn, for a pass that keeps to several separate
    // places; past DRAWN_BOXES the last box takes in the rest.
    enum { DRAWN_BOXES = 16 };
    float drawnBoxes[DRAWN_BOXES][4];
    int drawnBoxCount = 0;
    void resetDrawnBounds();
    bool drewAnything() const { return drawnBounds[0] <= drawnBounds[2] && drawnBounds[1] <= drawnBounds[3]; }
    int meshesSinceFlush = 0;
    // Meshes are drawn nearest first (by the far side of their bounds in view) instead of in tree
    // order: a software rasteriser skips shading what the depth test already hides, so the order
    // decides how many hidden layers it shades. Only for models drawn without blending; surfaces
    // that tie in depth may swap which one shows. The state a draw leaves stays as in tree order.
    bool drawNearestFirst = false;

    // Draws the node's subtree's visible meshes (compiling their lists first when needed); the
    // front face is clockwise where an odd number of mirrored nodes lies on the way down.
    void drawNode(const SceneNode& node, bool mirrored);
    void setAllVisible(bool visible);
    // Every mesh whose name contains `part` (case-sensitive).
    void setVisibleByName(const std::string& part, bool visible);
    // Meshes whose names contain "Canvas" are compiled again at their next draw.
    void invalidateCanvas();
    // Every material whose name contains "Canvas_Image_Area" takes the texture.
    void setCanvasTexture(Texture* texture);
    // Every mesh whose name contains `objectPart` takes the first "White_Finish" material.
    // Fatal when there is no such material or no such mesh.
    void assignMaterial(const std::string& objectPart);
    // Applies the model's lights through its transform.
    void setupLights();

private:
    // One visible mesh as the tree places it.
    struct PlacedMesh {
        float modelView[16];
        float depth; // how far its bounds reach from the eye (drawNearestFirst only)
        int index;
        bool mirrored;
        ShaderProgram* shader;
    };
    std::vector<PlacedMesh> placed;
    void placeNode(const SceneNode& node, bool mirrored, ShaderProgram** lastShader, int* lastVisible);
    void compileIfNeeded(GeomObject& object);
    ShaderProgram* plainShaderFor(int materialIndex) const;
    void drawPlaced(int index, const float projection[16], const float modelView[16]);
};

// Loads a model by its extension; false for an unknown extension.
bool load(const char* fileName, Objects3D* model);

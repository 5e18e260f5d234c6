// objects3d: drawing, visibility, materials and lights of a loaded model. See objects3d.h.
#include "util/objects3d/objects3d.h"

#include "platform/report.h"                     // FATAL
#include "util/objects3d/ase_loader.h"           // loadAse
#include "util/objects3d/dae_loader.h"           // loadDae
#include "util/shaderprogram/shaderprogram.h"    // bind, unbindAll

#include <GL/glew.h>
#include <algorithm>
#include <ctype.h>
#include <string.h>

enum { CHECK_MESSAGE_BYTES = 512 };

bool Objects3D::warmingUp = false;

// Whether culling GL_BACK now removes just the faces turned away from the eye for a mesh wound
// counter-clockwise seen from outside: the front face must name the winding such a face shows on
// screen, which a mirroring modelview or projection reverses. False where culling is on already,
// so a caller's own culling stays as it set it.
static bool backFacesTurnAway(const float projection[16], const float modelView[16])
{
    if (glIsEnabled(GL_CULL_FACE)) return false;
    GLint mode = GL_BACK, front = GL_CCW;
    glGetIntegerv(GL_CULL_FACE_MODE, &mode);
    glGetIntegerv(GL_FRONT_FACE, &front);
    if (mode != GL_BACK) return false;
    const float screenXY = projection[0] * projection[5] - projection[4] * projection[1];
    const bool mirrored = (matrixDeterminant3(modelView) < 0.0f) != (screenXY < 0.0f);
    return front == (mirrored ? GL_CW : GL_CCW);
}

// The shader a mesh is drawn with: textured meshes and plain ones each have their own.
static void bindShader(ShaderProgram* shader)
{
    if (shader)
        shader->bind();
    else
        ShaderProgram::unbindAll();
}

void Objects3D::drawNode(const SceneNode& node, bool mirrored)
{
    // Placed in tree order, drawn in it or nearest first, then left as the tree order leaves it:
    // its last shader, its last mesh's state and the outermost node's front face.
    ShaderProgram* lastShader = nullptr;
    int lastVisible = -1;
    placed.clear();
    placeNode(node, mirrored, &lastShader, &lastVisible);
    if (drawNearestFirst)
        std::stable_sort(placed.begin(), placed.end(),
                         [](const PlacedMesh& a, const PlacedMesh& b) { return a.depth < b.depth; });
    // One projection for the whole tree: asked once, not once a mesh.
    float projection[16];
    if (cullOutsideView || cullClosedBackFaces || trackDrawnBounds) glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glPushMatrix();
    for (const PlacedMesh& mesh : placed) {
        glLoadMatrixf(mesh.modelView);
        glFrontFace(mesh.mirrored ? GL_CW : GL_CCW);
        bindShader(mesh.shader);
        drawPlaced(mesh.index, projection, mesh.modelView);
    }
    glPopMatrix();
    glFrontFace(mirrored != node.mirrored ? GL_CW : GL_CCW);
    bindShader(lastShader);
    if (lastVisible >= 0) glCallList(geomObjects[lastVisible].displayList + 1);
}

void Objects3D::placeNode(const SceneNode& node, bool mirrored, ShaderProgram** lastShader, int* lastVisible)
{
    glPushMatrix();
    glMultMatrixf(node.matrix);
    mirrored = mirrored != node.mirrored;
    for (const SceneNode& child : node.children) placeNode(child, mirrored, lastShader, lastVisible);
    for (int index : node.geometryIndices) {
        if (index < 0 || (size_t)index >= geomObjects.size())
            FATAL("Node \"%s\" draws mesh %i, but the model has %i meshes", node.name.c_str(), index,
                  (int)geomObjects.size());
        GeomObject& object = geomObjects[index];
        *lastShader = object.hasTexture ? texturedShader : plainShaderFor(object.materialIndex);
        if (!object.visible) continue;
        compileIfNeeded(object);
        PlacedMesh mesh;
        glPushMatrix();
        glMultMatrixf(object.transform);
        glGetFloatv(GL_MODELVIEW_MATRIX, mesh.modelView);
        glPopMatrix();
        // The far side of the box: a large mesh (a floor, a backdrop) reaching from near the eye
        // to far behind the rest then comes after what stands on it.
        mesh.depth = 0.0f;
        if (drawNearestFirst && geomObjectBounds(&object))
            mesh.depth = boxFarthestDepth(mesh.modelView, object.boundsMin, object.boundsMax);
        mesh.index = index;
        mesh.mirrored = mirrored;
        mesh.shader = *lastShader;
        placed.push_back(mesh);
        *lastVisible = index;
    }
    glPopMatrix();
}

ShaderProgram* Objects3D::plainShaderFor(int materialIndex) const
{
    if (materialIndex >= 0 && (size_t)materialIndex < plainShaders.size() && plainShaders[materialIndex])
        return plainShaders[materialIndex];
    return plainShader;
}

void Objects3D::compileIfNeeded(GeomObject& object)
{
    if (!object.needsRebuild) return;
    // Every index a file gave is checked once here, before the list follows any of them.
    char why[CHECK_MESSAGE_BYTES];
    if (checkGeomObject(object, (int)materials.size(), why, sizeof why)) FATAL("%s", why);
    if (!object.compileDisplayList(materials[object.materialIndex])) FATAL("Failed to generate display list!");
    object.closedSolid = geomObjectClosedSolid(object);
}

// Draws a visible, compiled mesh placed by `modelView`, which the caller has loaded; `projection`
// is read only when a cull or the drawn bounds need it.
void Objects3D::drawPlaced(int index, const float projection[16], const float modelView[16])
{
    GeomObject& object = geomObjects[index];
    bool outside = false;
    const bool cullBack = cullClosedBackFaces && object.closedSolid;
    float clipFromObject[16];
    if (cullOutsideView || cullBack || trackDrawnBounds) multiplyMatrices(projection, modelView, clipFromObject);
    if (cullOutsideView && !warmingUp && geomObjectBounds(&object))
        outside = boxOutsideClipVolume(clipFromObject, object.boundsMin, object.boundsMax);
    // A mesh without positions draws nothing (with faces it would have failed the check above).
    if (trackDrawnBounds && !outside && geomObjectBounds(&object)) {
        float box[4] = {1, 1, -1, -1};
        widenScreenBounds(clipFromObject, object.boundsMin, object.boundsMax, box);
        widenBox(drawnBounds, box);
        if (drawnBoxCount < DRAWN_BOXES) memcpy(drawnBoxes[drawnBoxCount++], box, sizeof box);
        else widenBox(drawnBoxes[DRAWN_BOXES - 1], box);
    }
    const bool culling = cullBack && !outside && backFacesTurnAway(projection, modelView);
    if (culling) glEnable(GL_CULL_FACE);
    // Out of view, only the state the list leaves: later draws (other scenes too) inherit it.
    glCallList(outside ? object.displayList + 1 : object.displayList);
    if (culling) glDisable(GL_CULL_FACE);
    if (flushEveryMeshes > 0 && !outside && ++meshesSinceFlush >= flushEveryMeshes) {
        meshesSinceFlush = 0;
        glFlush();
    }
}

void Objects3D::resetDrawnBounds()
{
    drawnBounds[0] = drawnBounds[1] = 1.0f;
    drawnBounds[2] = drawnBounds[3] = -1.0f;
    drawnBoxCount = 0;
}

void Objects3D::setAllVisible(bool visible)
{
    for (GeomObject& object : geomObjects) object.visible = visible;
}

void Objects3D::setVisibleByName(const std::string& part, bool visible)
{
    for (GeomObject& object : geomObjects)
        if (object.name.find(part) != std::string::npos) object.visible = visible;
}

void Objects3D::invalidateCanvas()
{
    for (GeomObject& object : geomObjects)
        if (object.name.find("Canvas") != std::string::npos) object.needsRebuild = true;
}

void Objects3D::setCanvasTexture(Texture* texture)
{
    for (Material& material : materials)
        if (material.name.find("Canvas_Image_Area") != std::string::npos) material.texture = texture;
}

void Objects3D::assignMaterial(const std::string& objectPart)
{
    static const char* const MATERIAL_PART = "White_Finish";
    int found = -1;
    for (size_t i = 0; i < materials.size() && found < 0; i++)
        if (materials[i].name.find(MATERIAL_PART) != std::string::npos) found = (int)i;
    if (found < 0) FATAL("Material matching %s not found!", MATERIAL_PART);

    bool any = false;
    for (GeomObject& object : geomObjects) {
        if (object.name.find(objectPart) == std::string::npos) continue;
        object.materialIndex = found;
        object.materialName = materials[found].name;
        any = true;
    }
    if (!any) FATAL("Couldn't find any objects matching %s!", objectPart.c_str());
}

void Objects3D::setupLights()
{
    glPushMatrix();
    glMultMatrixf(transform);
    for (size_t i = 0; i < lights.size() && i < MODEL_MAX_LIGHTS; i++) applyLight((int)i, lights[i]);
    glPopMatrix();
}

bool load(const char* fileName, Objects3D* model)
{
    size_t length = strlen(fileName);
    if (length < 4) return false;
    char extension[5];
    for (int i = 0; i < 4; i++) extension[i] = (char)tolower((unsigned char)fileName[length - 4 + i]);
    extension[4] = '\0';
    if (strcmp(extension, ".ase") == 0) return loadAse(fileName, model);
    if (strcmp(extension, ".dae") == 0) return loadDae(fileName, model);
    return false;
}

// The show's two models: both parse with the show's loader and carry what their scenes address.
#include "util/objects3d/dae_loader.h"
#include "util/objects3d/objects3d.h"

#include "test_support.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <math.h>
#include <stdio.h>

namespace {

bool parseModel(const char* name, Objects3D* model, DaeTextures* textures, std::string* message)
{
    std::vector<uint8_t> bytes = readTestFile(sourcePath(name));
    if (bytes.empty()) {
        *message = "cannot read the file";
        return false;
    }
    bytes.push_back(0);
    return parseDae((const char*)bytes.data(), name, model, textures, message);
}

int countMeshes(const Objects3D& model, const char* part)
{
    int count = 0;
    for (const GeomObject& object : model.geomObjects) count += object.name.find(part) != std::string::npos;
    return count;
}

// Each triangle's stored normals point to the side its counter-clockwise winding faces, so
// culling and lighting agree: a flipped triangle or normal would draw dark or vanish.
void expectNormalsFollowTheWinding(const GeomObject& object)
{
    int flipped = 0, first = -1;
    for (size_t t = 0; t < object.faces.size() && t < object.normalFaces.size(); t++) {
        const Vec4& a = object.vertices[object.faces[t][0]];
        const Vec4& b = object.vertices[object.faces[t][1]];
        const Vec4& c = object.vertices[object.faces[t][2]];
        float ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
        float vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
        float gx = uy * vz - uz * vy, gy = uz * vx - ux * vz, gz = ux * vy - uy * vx;
        float area = sqrtf(gx * gx + gy * gy + gz * gz);
        if (area < 1e-9f) continue; // degenerate: no side to face
        float sx = 0, sy = 0, sz = 0;
        for (int k = 0; k < 3; k++) {
            const Vec4& n = object.normals[object.normalFaces[t][k]];
            sx += n.x, sy += n.y, sz += n.z;
        }
        if (gx * sx + gy * sy + gz * sz < 0.0f) {
            if (first < 0) first = (int)t;
            flipped++;
        }
    }
    EXPECT_EQ(flipped, 0) << object.name << ": " << flipped << " of " << object.faces.size()
                          << " triangles face away from their normals, the first is " << first;
}

// Every mesh is drawn by some node, and every texture the file names exists beside it.
void expectComplete(const Objects3D& model, const DaeTextures& textures)
{
    std::vector<bool> drawn(model.geomObjects.size(), false);
    for (const SceneNode& node : model.root.children)
        for (int index : node.geometryIndices) drawn[index] = true;
    for (size_t i = 0; i < drawn.size(); i++) EXPECT_TRUE(drawn[i]) << model.geomObjects[i].name;
    for (const std::string& file : textures.files) EXPECT_FALSE(readTestFile(sourcePath(file)).empty()) << file;
    char why[512];
    for (const GeomObject& object : model.geomObjects) {
        EXPECT_EQ(checkGeomObject(object, (int)model.materials.size(), why, sizeof why), nullptr) << why;
        EXPECT_EQ(object.normalFaces.size(), object.faces.size()) << object.name;
        EXPECT_FALSE(object.faces.empty()) << object.name;
        expectNormalsFollowTheWinding(object);
    }
}

} // namespace

TEST(Models, SoundSystemHasItsCamerasLightsConesAndScreen)
{
    Objects3D model;
    DaeTextures textures;
    std::string message;
    ASSERT_TRUE(parseModel("data/speakers/Halvoren Sound System.dae", &model, &textures, &message)) << message;
    expectComplete(model, textures);
    ASSERT_GE(model.cameras.size(), 6u);
    for (const Camera& camera : model.cameras) {
        EXPECT_GT(camera.fov, 20);
        EXPECT_FLOAT_EQ(camera.nearPlane, 0.1f);
        EXPECT_FLOAT_EQ(camera.farPlane, 2000);
    }
    ASSERT_GE(model.lights.size(), 4u);
    // Light 0 lights the front (the front faces -x).
    EXPECT_LT(model.lights[0].position.x, -3);
    EXPECT_GE(countMeshes(model, "Bass"), 4);
    EXPECT_GE(countMeshes(model, "Midtone"), 2);
    // Cones are the only meshes named so, and each is its own mesh apart from the frame.
    for (const GeomObject& object : model.geomObjects) {
        if (object.name.find("Bass") != std::string::npos || object.name.find("Midtone") != std::string::npos) {
            EXPECT_TRUE(object.name.rfind("Bass_", 0) == 0 || object.name.rfind("Midtone_", 0) == 0) << object.name;
        }
    }
    int canvasMaterials = 0;
    for (const Material& material : model.materials)
        canvasMaterials += material.name.find("Canvas_Image_Area") != std::string::npos;
    EXPECT_EQ(canvasMaterials, 1);
    bool canvasTextured = false;
    for (const GeomObject& object : model.geomObjects) {
        if (object.name.find("Canvas") == std::string::npos) continue;
        EXPECT_NE(model.materials[object.materialIndex].name.find("Canvas_Image_Area"), std::string::npos);
        canvasTextured = object.hasTexture;
        float lowest = 1, highest = 0;
        for (const Vec4& uv : object.texCoords) {
            lowest = std::min(lowest, std::min(uv.x, uv.y));
            highest = std::max(highest, std::max(uv.x, uv.y));
        }
        EXPECT_FLOAT_EQ(lowest, 0);
        EXPECT_FLOAT_EQ(highest, 1);
    }
    EXPECT_TRUE(canvasTextured);
}

TEST(Models, KeyboardHasSixtyOneKeysWithTheirMaterials)
{
    Objects3D model;
    DaeTextures textures;
    std::string message;
    ASSERT_TRUE(parseModel("data/midilights/Assembled Keyboard.dae", &model, &textures, &message)) << message;
    expectComplete(model, textures);
    static const int BLACK[25] = {1, 3, 6, 8, 10, 13, 15, 18, 20, 22, 25, 27, 30, 32, 34, 37, 39, 42, 44, 46, 49, 51, 54, 56, 58};
    for (int key = 0; key < 61; key++) {
        char name[8];
        snprintf(name, sizeof name, "Key_%02d", key);
        bool black = std::find(BLACK, BLACK + 25, key) != BLACK + 25;
        int found = 0;
        for (const GeomObject& object : model.geomObjects) {
            if (object.name.find(name) == std::string::npos) continue;
            found++;
            const std::string& material = model.materials[object.materialIndex].name;
            EXPECT_EQ(material.find("White_Finish") != std::string::npos, !black) << name << " " << material;
        }
        EXPECT_GE(found, 1) << name;
    }
    EXPECT_EQ(countMeshes(model, "Key_"), 61);
    EXPECT_GE(model.lights.size(), 1u);
    int whiteFinish = 0;
    for (const Material& material : model.materials) whiteFinish += material.name.find("White_Finish") != std::string::npos;
    EXPECT_EQ(whiteFinish, 1);
}

// Drawing models under a real GL context: visibility, the canvas texture, mirrored nodes, shaders,
// lights, and the fatal reports that guard the display lists.
#include "util/objects3d/dae_loader.h"
#include "util/objects3d/objects3d.h"
#include "util/shaderprogram/shaderprogram.h"
#include "util/texture/texture.h"

#include "test_support.h"
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <utility>

namespace {

const int WIDTH = 64, HEIGHT = 64;

// A quad over x in [x0, x1], y in [y0, y1] at z 0, counter-clockwise, facing +z, with 0..1 texture
// coordinates.
GeomObject quad(const char* name, float x0, float y0, float x1, float y1, bool textured = false)
{
    GeomObject object;
    object.name = name;
    object.vertices = {{x0, y0, 0, 0}, {x1, y0, 0, 0}, {x1, y1, 0, 0}, {x0, y1, 0, 0}};
    object.normals = {{0, 0, 1, 0}};
    object.texCoords = {{0, 0, 1, 0}, {1, 0, 1, 0}, {1, 1, 1, 0}, {0, 1, 1, 0}};
    IndexTriple a, b, n;
    a.index[0] = 0, a.index[1] = 1, a.index[2] = 2;
    b.index[0] = 0, b.index[1] = 2, b.index[2] = 3;
    object.faces = {a, b};
    object.normalFaces = {n, n};
    if (textured) {
        object.texFaces = {a, b};
        object.hasTexture = true;
    }
    return object;
}

// A model whose root draws every mesh; materials: the dummy with black emission.
void oneNodeModel(Objects3D* model, std::vector<GeomObject> meshes)
{
    Material plain;
    plain.emission[0] = plain.emission[1] = plain.emission[2] = 0;
    model->materials = {plain};
    model->geomObjects = meshes;
    for (size_t i = 0; i < meshes.size(); i++) model->root.geometryIndices.push_back((int)i);
}

void beginFrame()
{
    glViewport(0, 0, WIDTH, HEIGHT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1, 1, -1, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void drawModel(Objects3D* model)
{
    glPushMatrix();
    glMultMatrixf(model->transform);
    model->drawNode(model->root, model->root.mirrored);
    glPopMatrix();
    glFinish();
}

// RGB of one pixel, x and y from the bottom left.
uint32_t pixel(int x, int y)
{
    std::vector<uint8_t> p = readTestPixels(x, y, 1, 1);
    return (uint32_t)p[0] << 16 | (uint32_t)p[1] << 8 | p[2];
}

Texture* solidTexture(uint8_t r, uint8_t g, uint8_t b)
{
    Texture* texture = new Texture();
    texture->width = texture->height = 2;
    texture->bitsPerPixel = 24;
    texture->format = GL_RGB;
    texture->imageData = (unsigned char*)malloc(12);
    for (int i = 0; i < 4; i++) {
        texture->imageData[i * 3] = r;
        texture->imageData[i * 3 + 1] = g;
        texture->imageData[i * 3 + 2] = b;
    }
    texture->createGLTexture();
    return texture;
}

} // namespace

TEST(ObjectsDraw, InvisibleMeshDrawsNothingAndKeepsItsList)
{
    REQUIRE_GL_WINDOW(WIDTH, HEIGHT);
    Objects3D model;
    oneNodeModel(&model, {quad("Panel", -1, -1, 1, 1)});
    beginFrame();
    drawModel(&model);
    EXPECT_EQ(pixel(32, 32), 0xffffffu);
    GLuint list = model.geomObjects[0].displayList;
    EXPECT_NE(list, 0u);

    model.setAllVisible(false);
    beginFrame();
    drawModel(&model);
    EXPECT_EQ(pixel(32, 32), 0u);
    EXPECT_EQ(model.geomObjects[0].displayList, list);
    EXPECT_TRUE(glIsList(list));
}

TEST(ObjectsDraw, MeshesWhollyOutsideTheViewAreNotSent)
{
    REQUIRE_GL_WINDOW(WIDTH, HEIGHT);
    // The view is x and y in [-1, 1] (beginFrame's orthographic volume): one panel inside, one
    // across its right edge, one beyond it and one moved beyond it by its node's matrix.
    Objects3D model;
    oneNodeModel(&model, {quad("Inside", -0.5f, -0.5f, 0.5f, 0.5f), quad("Across", 0.9f, -0.2f, 1.5f, 0.2f),
                          quad("Beyond", 1.1f, -0.5f, 2.0f, 0.5f), quad("Moved", -0.5f, -0.5f, 0.5f, 0.5f)});
    model.root.geometryIndices.pop_back();
    SceneNode moved;
    moved.matrix[12] = 3.0f;
    moved.geometryIndices = {3};
    model.root.children.push_back(moved);
    // Beyond, the last drawn, has a material of its own.
    Material shiny = model.materials[0];
    shiny.shininess = 77.0f;
    model.materials.push_back(shiny);
    model.geomObjects[2].materialIndex = 1;
    model.cullOutsideView = true;
    beginFrame();
    GLuint query = 0;
    glGenQueries(1, &query);
    GLuint primitives = 0;
    // The warm-up sends all four, so that their programs are built before they come into view.
    Objects3D::warmingUp = true;
    glBeginQuery(GL_PRIMITIVES_GENERATED, query);
    drawModel(&model);
    glEndQuery(GL_PRIMITIVES_GENERATED);
    Objects3D::warmingUp = false;
    glGetQueryObjectuiv(query, GL_QUERY_RESULT, &primitives);
    EXPECT_EQ(primitives, 8u);
    beginFrame();
    glBeginQuery(GL_PRIMITIVES_GENERATED, query);
    drawModel(&model);
    glEndQuery(GL_PRIMITIVES_GENERATED);
    glGetQueryObjectuiv(query, GL_QUERY_RESULT, &primitives);
    glDeleteQueries(1, &query);
    EXPECT_EQ(primitives, 4u); // Inside and Across, two triangles each
    EXPECT_EQ(pixel(32, 32), 0xffffffu);
    EXPECT_EQ(pixel(63, 32), 0xffffffu); // the part of Across inside the view
    // A mesh not sent still leaves its material behind, as its draw would have.
    GLfloat shininess = 0.0f;
    glGetMaterialfv(GL_FRONT, GL_SHININESS, &shininess);
    EXPECT_EQ(shininess, 77.0f);

    // The clip test on its own: behind the eye is outside too, and a box around the eye is not.
    const float perspective[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, -1, 0, 0, -0.2f, 0};
    const float front[2][3] = {{-1, -1, -6}, {1, 1, -5}}, behind[2][3] = {{-1, -1, 2}, {1, 1, 3}};
    const float around[2][3] = {{-1, -1, -1}, {1, 1, 1}}, aside[2][3] = {{20, -1, -6}, {21, 1, -5}};
    EXPECT_FALSE(boxOutsideClipVolume(perspective, front[0], front[1]));
    EXPECT_TRUE(boxOutsideClipVolume(perspective, behind[0], behind[1]));
    EXPECT_FALSE(boxOutsideClipVolume(perspective, around[0], around[1]));
    EXPECT_TRUE(boxOutsideClipVolume(perspective, aside[0], aside[1]));
}

TEST(ObjectsDraw, DrawnBoundsHoldWhatWasDrawnAndNothingElse)
{
    REQUIRE_GL_WINDOW(WIDTH, HEIGHT);
    Objects3D model;
    oneNodeModel(&model, {quad("Left", -0.8f, -0.6f, -0.2f, 0.1f), quad("Right", 0.3f, -0.2f, 0.5f, 0.4f),
                          quad("Hidden", 0.7f, 0.7f, 0.9f, 0.9f), quad("Beyond", 1.5f, -0.5f, 2.0f, 0.5f)});
    model.geomObjects[2].visible = false;
    model.cullOutsideView = true;
    model.trackDrawnBounds = true;
    model.resetDrawnBounds();
    EXPECT_FALSE(model.drewAnything());
    beginFrame();
    drawModel(&model);
    ASSERT_TRUE(model.drewAnything());
    const float expected[4] = {-0.8f, -0.6f, 0.5f, 0.4f}; // Left and Right; not Hidden, not Beyond
    for (int i = 0; i < 4; i++) EXPECT_NEAR(model.drawnBounds[i], expected[i], 1e-5f) << i;

    // Reaching behind the eye, a box holds the whole view.
    const float perspective[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, -1, 0, 0, -0.2f, 0};
    const float across[2][3] = {{-0.1f, -0.1f, -3.0f}, {0.1f, 0.1f, 1.0f}};
    float bounds[4] = {1, 1, -1, -1};
    widenScreenBounds(perspective, across[0], across[1], bounds);
    EXPECT_EQ(bounds[0], -1.0f);
    EXPECT_EQ(bounds[3], 1.0f);
}

TEST(ObjectsDraw, CanvasTextureChangesOnlyAfterInvalidateCanvas)
{
    REQUIRE_GL_WINDOW(WIDTH, HEIGHT);
    Texture* red = solidTexture(255, 0, 0);
    Texture* green = solidTexture(0, 255, 0);
    Objects3D model;
    oneNodeModel(&model, {quad("Screen_Canvas", -1, -1, 1, 1, true)});
    model.materials[0].name = "Screen_Canvas_Image_Area";
    model.materials[0].texture = red;
    beginFrame();
    drawModel(&model);
    EXPECT_EQ(pixel(32, 32), 0xff0000u);

    model.setCanvasTexture(green);
    EXPECT_EQ(model.materials[0].texture, green);
    beginFrame();
    drawModel(&model);
    EXPECT_EQ(pixel(32, 32), 0xff0000u); // the old list, the old texture

    model.invalidateCanvas();
    beginFrame();
    drawModel(&model);
    EXPECT_EQ(pixel(32, 32), 0x00ff00u);
    glDisable(GL_TEXTURE_2D);
}

TEST(ObjectsDraw, MirroredNodesFlipTheFrontFaceAfterTheirChildren)
{
    REQUIRE_GL_WINDOW(WIDTH, HEIGHT);
    Objects3D model;
    oneNodeModel(&model, {quad("Top", -1, 0, 1, 1)});
    model.root.geometryIndices.clear();
    // Mirror (x flipped) draws the top half after its child Twice (x and y flipped: back to
    // counter-clockwise), which draws the same quad on the bottom half.
    SceneNode mirror, twice;
    mirror.name = "Mirror";
    mirror.matrix[0] = -1;
    mirror.mirrored = true;
    mirror.geometryIndices = {0};
    twice.name = "Twice";
    twice.matrix[5] = -1;
    twice.mirrored = true;
    twice.geometryIndices = {0};
    mirror.children.push_back(twice);
    model.root.children.push_back(mirror);

    beginFrame();
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    drawModel(&model);
    EXPECT_EQ(pixel(32, 48), 0xffffffu) << "the mirrored node's own mesh was culled";
    EXPECT_EQ(pixel(32, 16), 0xffffffu) << "the twice-mirrored child's mesh was culled";
    GLint front;
    glGetIntegerv(GL_FRONT_FACE, &front);
    EXPECT_EQ(front, GL_CCW); // the root, drawn last, sets its own front face after its children
    glDisable(GL_CULL_FACE);
    glFrontFace(GL_CCW);
}

TEST(ObjectsDraw, NullShadersReturnToTheFixedFunctionPipeline)
{
    REQUIRE_GL_WINDOW(WIDTH, HEIGHT);
    const char* source = "void main() { gl_FragColor = vec4(1.0, 0.0, 0.0, 1.0); }";
    GLhandleARB shader = glCreateShaderObjectARB(GL_FRAGMENT_SHADER_ARB);
    glShaderSourceARB(shader, 1, &source, nullptr);
    glCompileShaderARB(shader);
    GLhandleARB program = glCreateProgramObjectARB();
    glAttachObjectARB(program, shader);
    glLinkProgramARB(program);

    Objects3D model;
    oneNodeModel(&model, {quad("Panel", -1, -1, 1, 1)});
    beginFrame();
    glUseProgramObjectARB(program);
    drawModel(&model);
    EXPECT_EQ(pixel(32, 32), 0xffffffu); // not the red of the program left bound
    EXPECT_EQ(glGetHandleARB(GL_PROGRAM_OBJECT_ARB), 0u);
}

TEST(ObjectsDraw, SetupLightsPlacesLightsThroughTheModelTransform)
{
    REQUIRE_GL_WINDOW(WIDTH, HEIGHT);
    Objects3D model;
    Light light;
    light.position = {1, 2, 3, 1};
    light.diffuse = {0.5f, 0.25f, 1, 1};
    model.lights = {light};
    model.transform[12] = 10;
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_LIGHT0);
    model.setupLights();
    GLfloat position[4], diffuse[4];
    glGetLightfv(GL_LIGHT0, GL_POSITION, position);
    glGetLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    EXPECT_FLOAT_EQ(position[0], 11);
    EXPECT_FLOAT_EQ(position[2], 3);
    EXPECT_FLOAT_EQ(diffuse[1], 0.25f);
    EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
    GLfloat modelview[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    EXPECT_FLOAT_EQ(modelview[12], 0); // pushed and popped
    glDisable(GL_LIGHT0);
}

TEST(ObjectsDraw, VisibilityAndMaterialsByName)
{
    Objects3D model;
    oneNodeModel(&model, {quad("Key_01", 0, 0, 1, 1), quad("BlackKey", 0, 0, 1, 1), quad("key", 0, 0, 1, 1)});
    model.setVisibleByName("Key", false);
    EXPECT_FALSE(model.geomObjects[0].visible);
    EXPECT_FALSE(model.geomObjects[1].visible);
    EXPECT_TRUE(model.geomObjects[2].visible);

    EXPECT_EXIT(model.assignMaterial("Key_01"), testing::ExitedWithCode(1), "Material matching White_Finish not found!");
    Material white;
    white.name = "Keys_White_Finish";
    model.materials.push_back(white);
    model.geomObjects[0].needsRebuild = false;
    model.assignMaterial("Key_0");
    EXPECT_EQ(model.geomObjects[0].materialIndex, 1);
    EXPECT_EQ(model.geomObjects[0].materialName, "Keys_White_Finish");
    EXPECT_FALSE(model.geomObjects[0].needsRebuild);
    EXPECT_EQ(model.geomObjects[2].materialIndex, 0);
    EXPECT_EXIT(model.assignMaterial("Key_60"), testing::ExitedWithCode(1), "Couldn't find any objects matching Key_60!");
}

TEST(ObjectsDraw, BadCountsAndIndicesAreFatalAtTheFirstDraw)
{
    REQUIRE_GL_WINDOW(WIDTH, HEIGHT);
    // 12 faces, 10 texture triples.
    Objects3D textured;
    GeomObject big = quad("Big", -1, -1, 1, 1, true);
    big.faces.resize(12, big.faces[0]);
    big.normalFaces.resize(12, big.normalFaces[0]);
    big.texFaces.resize(10, big.texFaces[0]);
    oneNodeModel(&textured, {big});
    textured.materials[0].texture = solidTexture(1, 2, 3);
    EXPECT_EXIT(drawModel(&textured), testing::ExitedWithCode(1),
                "Got 12 ivertices and 10 itexcoords, what gives...(.|\n)*Error in file .*geomobject.cpp:[0-9]+");

    Objects3D broken;
    GeomObject bad = quad("Broken", -1, -1, 1, 1);
    bad.faces[1].index[2] = 4;
    oneNodeModel(&broken, {bad});
    EXPECT_EXIT(drawModel(&broken), testing::ExitedWithCode(1),
                "objects3d.cpp:[0-9]+(.|\n)*Mesh \"Broken\": triangle 1 corner 2 uses vertex 4, but the mesh has 4");

    Objects3D noMaterial;
    oneNodeModel(&noMaterial, {quad("Lonely", -1, -1, 1, 1)});
    noMaterial.materials.clear();
    EXPECT_EXIT(drawModel(&noMaterial), testing::ExitedWithCode(1),
                "Mesh \"Lonely\" uses material 0, but the model has 0 materials");

    Objects3D badNode;
    oneNodeModel(&badNode, {quad("Fine", -1, -1, 1, 1)});
    badNode.root.name = "Root";
    badNode.root.geometryIndices.push_back(3);
    EXPECT_EXIT(drawModel(&badNode), testing::ExitedWithCode(1), "Node \"Root\" draws mesh 3, but the model has 1 meshes");
}

TEST(ObjectsDraw, LoadedModelDrawsLitThroughItsNodes)
{
    REQUIRE_GL_WINDOW(WIDTH, HEIGHT);
    // A lit red quad behind a mirrored node: the loader's flags and the drawing agree.
    writeTestFile("lit.dae",
                  "<?xml version=\"1.0\"?><COLLADA>"
                  "<library_lights><light id=\"L\"><technique_common><point><color>1 1 1</color></point>"
                  "</technique_common></light></library_lights>"
                  "<library_materials><material id=\"Red\"><instance_effect url=\"#red\"/></material></library_materials>"
                  "<library_effects><effect id=\"red\"><profile_COMMON><technique><phong>"
                  "<emission><color>0 0 0 1</color></emission><ambient><color>0 0 0 1</color></ambient>"
                  "<diffuse><color>1 0 0 1</color></diffuse><specular><color>0 0 0 1</color></specular>"
                  "</phong></technique></profile_COMMON></effect></library_effects>"
                  "<library_geometries><geometry id=\"Quad\"><mesh>"
                  "<source id=\"p\"><float_array>-1 -1 0 1 -1 0 1 1 0 -1 1 0</float_array><technique_common>"
                  "<accessor count=\"4\" stride=\"3\"/></technique_common></source>"
                  "<source id=\"n\"><float_array>0 0 1</float_array><technique_common><accessor count=\"1\" "
                  "stride=\"3\"/></technique_common></source><vertices id=\"v\"><input semantic=\"POSITION\" "
                  "source=\"#p\"/></vertices><triangles material=\"Red\"><input semantic=\"VERTEX\" source=\"#v\" "
                  "offset=\"0\"/><input semantic=\"NORMAL\" source=\"#n\" offset=\"1\"/>"
                  "<p>0 0 1 0 2 0 0 0 2 0 3 0</p></triangles></mesh></geometry></library_geometries>"
                  "<library_visual_scenes><visual_scene><node id=\"Light\"><translate>0 0 5</translate>"
                  "<instance_light url=\"#L\"/></node><node id=\"Flip\"><scale>-1 1 1</scale>"
                  "<instance_geometry url=\"#Quad\"/></node></visual_scene></library_visual_scenes></COLLADA>");
    Objects3D model;
    ASSERT_TRUE(load("lit.dae", &model));
    ASSERT_TRUE(model.root.children[1].mirrored);
    beginFrame();
    glEnable(GL_LIGHTING);
    glEnable(GL_CULL_FACE);
    model.setupLights();
    drawModel(&model);
    uint32_t centre = pixel(32, 32);
    EXPECT_GT(centre >> 16, 200u) << std::hex << centre;
    EXPECT_EQ(centre & 0xffff, 0u) << std::hex << centre;
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHT0);
    glFrontFace(GL_CCW);
}

TEST(ObjectsDraw, NodeTransformsMatchTheGlMatrixHelpers)
{
    REQUIRE_GL_WINDOW(WIDTH, HEIGHT);
    // The loader composes node transforms without GL; they must equal what the GL helpers give,
    // including a rotation about an axis that is not unit length.
    std::string text =
        "<?xml version=\"1.0\"?><COLLADA><library_geometries/><library_visual_scenes><visual_scene>"
        "<node id=\"N\"><translate>1 2 3</translate><rotate>1 2 0.5 37</rotate><scale>2 -1 0.5</scale>"
        "<rotate>0 0 3 -80</rotate><translate>-4 0.5 2</translate></node>"
        "</visual_scene></library_visual_scenes></COLLADA>";
    Objects3D model;
    DaeTextures textures;
    std::string message;
    ASSERT_TRUE(parseDae(text.c_str(), "t.dae", &model, &textures, &message)) << message;

    float expected[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    glMatrixMode(GL_MODELVIEW);
    translateMatrix(expected, 1, 2, 3);
    rotateMatrix(expected, 37, 1, 2, 0.5f);
    scaleMatrix(expected, 2, -1, 0.5f);
    rotateMatrix(expected, -80, 0, 0, 3);
    translateMatrix(expected, -4, 0.5f, 2);
    const SceneNode& node = model.root.children[0];
    for (int i = 0; i < 16; i++) EXPECT_NEAR(node.matrix[i], expected[i], 1e-5) << "element " << i;
    EXPECT_TRUE(node.mirrored);
}

namespace {

// A cube of half-edge 0.5, every face wound counter-clockwise seen from outside and written with
// its own four corners (as loaders do), so the closed check has to meet equal positions.
GeomObject cube(const char* name, float offsetX = 0.0f, bool insideOut = false)
{
    static const float FACES[6][4][3] = {
        {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}},     {{1, -1, -1}, {-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}},
        {{1, -1, 1}, {1, -1, -1}, {1, 1, -1}, {1, 1, 1}},     {{-1, -1, -1}, {-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}},
        {{-1, 1, 1}, {1, 1, 1}, {1, 1, -1}, {-1, 1, -1}},     {{-1, -1, -1}, {1, -1, -1}, {1, -1, 1}, {-1, -1, 1}}};
    GeomObject object;
    object.name = name;
    for (const auto& face : FACES) {
        const int first = (int)object.vertices.size();
        for (const float* c : face) object.vertices.push_back({0.5f * c[0] + offsetX, 0.5f * c[1], 0.5f * c[2], 0});
        for (int half = 0; half < 2; half++) {
            IndexTriple t;
            t.index[0] = first;
            t.index[1] = first + (insideOut ? 2 + half : 1 + half);
            t.index[2] = first + (insideOut ? 1 + half : 2 + half);
            object.faces.push_back(t);
        }
    }
    return object;
}

GeomObject joined(GeomObject a, const GeomObject& b)
{
    const int base = (int)a.vertices.size();
    a.vertices.insert(a.vertices.end(), b.vertices.begin(), b.vertices.end());
    for (IndexTriple t : b.faces) {
        for (int j = 0; j < 3; j++) t.index[j] += base;
        a.faces.push_back(t);
    }
    return a;
}

// Samples the model's draw lets through (no depth test: hidden faces count too), and its picture.
GLuint samplesDrawn(Objects3D* model, std::vector<uint8_t>* picture)
{
    beginFrame();
    glRotatef(35.0f, 1.0f, 1.0f, 0.0f);
    GLuint query = 0, samples = 0;
    glGenQueries(1, &query);
    glBeginQuery(GL_SAMPLES_PASSED, query);
    drawModel(model);
    glEndQuery(GL_SAMPLES_PASSED);
    glGetQueryObjectuiv(query, GL_QUERY_RESULT, &samples);
    glDeleteQueries(1, &query);
    *picture = readTestPixels(0, 0, WIDTH, HEIGHT);
    return samples;
}

// A program of one fragment shader, held in `program` (made without files).
void linkFragmentOnly(ShaderProgram* program, const char* source)
{
    GLhandleARB shader = glCreateShaderObjectARB(GL_FRAGMENT_SHADER_ARB);
    glShaderSourceARB(shader, 1, &source, nullptr);
    glCompileShaderARB(shader);
    program->program = glCreateProgramObjectARB();
    glAttachObjectARB(program->program, shader);
    glLinkProgramARB(program->program);
}

} // namespace

TEST(ObjectsDraw, ClosedSolidsAreTheOnesWhoseBackFacesNeverShow)
{
    EXPECT_TRUE(geomObjectClosedSolid(cube("Cube")));
    EXPECT_TRUE(geomObjectClosedSolid(joined(cube("Two"), cube("", 3.0f))));
    GeomObject degenerate = cube("Degenerate");
    IndexTriple line;
    line.index[0] = line.index[1] = 0, line.index[2] = 1;
    degenerate.faces.push_back(line);
    EXPECT_TRUE(geomObjectClosedSolid(degenerate)) << "a face that draws nothing changes nothing";

    GeomObject open = cube("Open");
    open.faces.pop_back();
    EXPECT_FALSE(geomObjectClosedSolid(open));
    EXPECT_FALSE(geomObjectClosedSolid(cube("InsideOut", 0.0f, true)));
    EXPECT_FALSE(geomObjectClosedSolid(joined(cube("OneInsideOut"), cube("", 3.0f, true))));
    GeomObject twice = cube("FaceTwice");
    twice.faces.push_back(twice.faces[0]);
    EXPECT_FALSE(geomObjectClosedSolid(twice));
    GeomObject flat = quad("Flat", 0, 0, 1, 1); // both sides, closed but holding no volume
    for (IndexTriple t : std::vector<IndexTriple>(flat.faces)) {
        std::swap(t.index[1], t.index[2]);
        flat.faces.push_back(t);
    }
    EXPECT_FALSE(geomObjectClosedSolid(flat));
    GeomObject wild = cube("Wild");
    wild.faces[3].index[1] = 99;
    EXPECT_FALSE(geomObjectClosedSolid(wild));
}

TEST(ObjectsDraw, ClosedSolidsAreDrawnWithoutTheirBackFaces)
{
    REQUIRE_GL_WINDOW(WIDTH, HEIGHT);
    Objects3D model;
    oneNodeModel(&model, {cube("Cube")});
    std::vector<uint8_t> both, culled;
    const GLuint bothSides = samplesDrawn(&model, &both);
    model.cullClosedBackFaces = true;
    const GLuint frontOnly = samplesDrawn(&model, &culled);
    EXPECT_GT(frontOnly, 500u);
    EXPECT_LE(frontOnly, bothSides / 2 + 40) << "the back faces were drawn";
    EXPECT_EQ(culled, both);
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE)) << "culling was left on for whatever comes next";

    // Under a mirrored node the front face follows, and the same faces go; under a mirror the
    // front face does not follow (the caller's scale), nothing is culled rather than the wrong half.
    model.root.geometryIndices.clear();
    SceneNode mirror;
    mirror.matrix[0] = -1;
    mirror.mirrored = true;
    mirror.geometryIndices = {0};
    model.root.children.push_back(mirror);
    std::vector<uint8_t> mirrored;
    EXPECT_NEAR((double)samplesDrawn(&model, &mirrored), (double)frontOnly, 40.0);
    model.root.children.clear();
    model.transform[0] = -1;
    model.root.geometryIndices = {0};
    EXPECT_NEAR((double)samplesDrawn(&model, &mirrored), (double)bothSides, 40.0);
    model.transform[0] = 1;

    // A mesh with a hole shows its inside: every face is drawn.
    model.geomObjects[0] = cube("Open");
    model.geomObjects[0].faces.pop_back();
    std::vector<uint8_t> open;
    EXPECT_GT(samplesDrawn(&model, &open), frontOnly + 100);
}

TEST(ObjectsDraw, NearestFirstShadesEachPixelOnceAndLeavesWhatTheTreeOrderLeaves)
{
    REQUIRE_GL_WINDOW(WIDTH, HEIGHT);
    // Three full-view panels in tree order far (under a mirror), near, middle; each shows its own
    // emission. Middle, last in the tree, is textured (with no texture: drawn plain) and shinier.
    Objects3D model;
    oneNodeModel(&model, {quad("Far", -1, -1, 1, 1), quad("Near", -1, -1, 1, 1), quad("Middle", -1, -1, 1, 1, true)});
    const float emissions[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    model.materials.resize(3, model.materials[0]);
    for (int i = 0; i < 3; i++) {
        for (int c = 0; c < 3; c++) model.materials[i].emission[c] = emissions[i][c];
        model.geomObjects[i].materialIndex = i;
    }
    model.materials[2].shininess = 77.0f;
    const float depths[3] = {-0.5f, 0.5f, 0.0f};
    model.root.geometryIndices.clear();
    for (int i = 0; i < 3; i++) {
        SceneNode node;
        node.matrix[14] = depths[i];
        node.geometryIndices = {i};
        if (i == 0) node.matrix[0] = -1, node.mirrored = true;
        model.root.children.push_back(node);
    }
    model.root.geometryIndices = {};
    // The plain meshes' program shows the emission as fixed function would (lit by nothing).
    ShaderProgram plain(nullptr, nullptr);
    linkFragmentOnly(&plain, "void main() { gl_FragColor = gl_FrontMaterial.emission; }");
    model.plainShader = &plain;

    const GLfloat dark[4] = {0, 0, 0, 1};
    GLuint samples[2] = {0, 0};
    std::vector<uint8_t> pictures[2];
    for (int sorted = 0; sorted < 2; sorted++) {
        model.drawNearestFirst = sorted == 1;
        beginFrame();
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_LIGHTING);
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, dark);
        GLuint query = 0;
        glGenQueries(1, &query);
        glBeginQuery(GL_SAMPLES_PASSED, query);
        drawModel(&model);
        glEndQuery(GL_SAMPLES_PASSED);
        glGetQueryObjectuiv(query, GL_QUERY_RESULT, &samples[sorted]);
        glDeleteQueries(1, &query);
        pictures[sorted] = readTestPixels(0, 0, WIDTH, HEIGHT);
        // What comes next sees the tree order's last mesh, shader and front face.
        GLfloat shininess = 0;
        glGetMaterialfv(GL_FRONT, GL_SHININESS, &shininess);
        EXPECT_EQ(shininess, 77.0f) << sorted;
        EXPECT_EQ(glGetHandleARB(GL_PROGRAM_OBJECT_ARB), 0u) << sorted;
        GLint front = 0;
        glGetIntegerv(GL_FRONT_FACE, &front);
        EXPECT_EQ(front, GL_CCW) << sorted;
        GLfloat modelView[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
        EXPECT_EQ(modelView[14], 0.0f) << sorted;
        glDisable(GL_LIGHTING);
        glDisable(GL_DEPTH_TEST);
    }
    EXPECT_EQ(pixel(32, 32), 0x00ff00u); // Near
    EXPECT_EQ(pictures[1], pictures[0]);
    EXPECT_EQ(samples[0], 2u * WIDTH * HEIGHT) << "far, then near over it; middle hidden";
    EXPECT_EQ(samples[1], 1u * WIDTH * HEIGHT) << "near first hides the rest";

    // A program of its own for Near's material (1) stands in for the plain one there alone.
    ShaderProgram yellow(nullptr, nullptr);
    linkFragmentOnly(&yellow, "void main() { gl_FragColor = vec4(1.0, 1.0, 0.0, 1.0); }");
    model.plainShaders = {nullptr, &yellow};
    model.drawNearestFirst = false;
    beginFrame();
    glEnable(GL_DEPTH_TEST);
    drawModel(&model);
    glDisable(GL_DEPTH_TEST);
    EXPECT_EQ(pixel(32, 32), 0xffff00u);
    model.plainShaders[1] = nullptr;
    beginFrame();
    glEnable(GL_DEPTH_TEST);
    drawModel(&model);
    glDisable(GL_DEPTH_TEST);
    EXPECT_EQ(pixel(32, 32), 0x00ff00u);
    ShaderProgram::unbindAll();
}

// COLLADA loader: the parse into a model (no GL), and the fatal reports of loadDae.
#include "util/objects3d/dae_loader.h"
#include "util/objects3d/objects3d.h"

#include "test_support.h"
#include <gtest/gtest.h>
#include <atomic>
#include <malloc.h>
#include <math.h>
#include <new>
#include <stdlib.h>

// Every allocation through operator new (TinyXML's tree, the strings and the model's lists) is
// counted, so a test can measure the peak memory of a parse.
static std::atomic<size_t> s_liveBytes{0}, s_peakBytes{0};

// The size the C library gave a block: each library names it differently.
static size_t blockBytes(void* block)
{
#ifdef _WIN32
    return _msize(block);
#else
    return malloc_usable_size(block);
#endif
}

void* operator new(size_t size)
{
    void* block = malloc(size ? size : 1);
    if (!block) throw std::bad_alloc();
    size_t live = s_liveBytes += blockBytes(block);
    size_t peak = s_peakBytes;
    while (live > peak && !s_peakBytes.compare_exchange_weak(peak, live)) {}
    return block;
}
void operator delete(void* block) noexcept
{
    if (!block) return;
    s_liveBytes -= blockBytes(block);
    free(block);
}
void operator delete(void* block, size_t) noexcept { operator delete(block); }

namespace {

// Peak bytes held through operator new while `work` runs, above what was held before it.
template <typename Work> size_t peakBytesOf(Work work)
{
    size_t before = s_liveBytes;
    s_peakBytes = before;
    work();
    return s_peakBytes - before;
}

const char* const HEADER = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                           "<COLLADA xmlns=\"http://www.collada.org/2005/11/COLLADASchema\" version=\"1.4.1\">\n";

// A position source with three corners of a triangle.
const char* const POSITIONS =
    "<source id=\"pos\"><float_array id=\"pos-a\" count=\"9\">0 0 0 1 0 0 0 1 0</float_array>"
    "<technique_common><accessor source=\"#pos-a\" count=\"3\" stride=\"3\"/></technique_common></source>"
    "<vertices id=\"verts\"><input semantic=\"POSITION\" source=\"#pos\"/></vertices>";

std::string document(const std::string& libraries) { return std::string(HEADER) + libraries + "</COLLADA>\n"; }

// One geometry holding `mesh` and a scene with one node instancing it.
std::string oneMesh(const std::string& mesh, const std::string& extra = "", const std::string& node = "")
{
    return document(extra + "<library_geometries><geometry id=\"Tri\"><mesh>" + mesh +
                    "</mesh></geometry></library_geometries>"
                    "<library_visual_scenes><visual_scene id=\"Scene\"><node id=\"TriNode\">" +
                    node + "<instance_geometry url=\"#Tri\"/></node></visual_scene></library_visual_scenes>");
}

std::string vertexOnlyTriangles(const char* attributes = "")
{
    return std::string(POSITIONS) + "<triangles count=\"1\"" + attributes +
           "><input semantic=\"VERTEX\" source=\"#verts\" offset=\"0\"/><p>0 1 2</p></triangles>";
}

struct Parsed {
    Objects3D model;
    DaeTextures textures;
    std::string message;
    bool ok = false;
};

void parse(const std::string& text, Parsed* out, const char* path = "models/test.dae")
{
    out->ok = parseDae(text.c_str(), path, &out->model, &out->textures, &out->message);
}

} // namespace

TEST(DaeParse, DocumentWithoutOptionalLibrariesHasOnlyTheDummyMaterial)
{
    Parsed p;
    parse(oneMesh(vertexOnlyTriangles()), &p);
    ASSERT_TRUE(p.ok) << p.message;
    EXPECT_EQ(p.model.directory, "models/");
    EXPECT_TRUE(p.model.cameras.empty());
    EXPECT_TRUE(p.model.lights.empty());
    ASSERT_EQ(p.model.materials.size(), 1u);
    const Material& dummy = p.model.materials[0];
    EXPECT_EQ(dummy.name, "dummy");
    EXPECT_EQ(dummy.effectId, "dummy");
    EXPECT_FLOAT_EQ(dummy.emission[0], 0.5f);
    EXPECT_FLOAT_EQ(dummy.ambient[1], 0.1f);
    EXPECT_FLOAT_EQ(dummy.shininess, 20);
    EXPECT_EQ(dummy.texture, nullptr);
    ASSERT_EQ(p.model.geomObjects.size(), 1u);
    EXPECT_EQ(p.model.geomObjects[0].materialIndex, 0);
    ASSERT_EQ(p.model.root.children.size(), 1u);
    EXPECT_EQ(p.model.root.children[0].name, "TriNode");
    EXPECT_EQ(p.model.root.children[0].parent, &p.model.root);
    EXPECT_EQ(p.model.root.children[0].geometryIndices, std::vector<int>{0});
}

TEST(DaeParse, VertexOnlyInputGivesPositionTriplesOnly)
{
    Parsed p;
    parse(oneMesh(vertexOnlyTriangles()), &p);
    ASSERT_TRUE(p.ok) << p.message;
    const GeomObject& tri = p.model.geomObjects[0];
    ASSERT_EQ(tri.faces.size(), 1u);
    EXPECT_EQ(tri.faces[0][2], 2);
    EXPECT_EQ(tri.vertices.size(), 3u);
    EXPECT_TRUE(tri.normalFaces.empty());
    EXPECT_TRUE(tri.texFaces.empty());
    EXPECT_FALSE(tri.hasTexture);
}

TEST(DaeParse, MeshWithoutTrianglesIsSkippedAndItsInstanceFails)
{
    Parsed p;
    parse(document("<library_geometries><geometry id=\"Empty\"><mesh>" + std::string(POSITIONS) +
                   "</mesh></geometry><geometry id=\"Tri\"><mesh>" + vertexOnlyTriangles() +
                   "</mesh></geometry></library_geometries><library_visual_scenes><visual_scene>"
                   "<node id=\"A\"><instance_geometry url=\"#Tri\"/></node>"
                   "<node id=\"B\"><instance_geometry url=\"#Empty\"/></node>"
                   "</visual_scene></library_visual_scenes>"),
          &p);
    EXPECT_FALSE(p.ok);
    EXPECT_EQ(p.model.geomObjects.size(), 1u);
    EXPECT_EQ(p.message, "Couldn't find matching geometry for Empty. Corrupt file?");
}

TEST(DaeParse, TwoTrianglesElementsGiveTwoMeshesOfOneName)
{
    std::string materials =
        "<library_materials><material id=\"Red\"><instance_effect url=\"#red-fx\"/></material>"
        "<material id=\"Blue\"><instance_effect url=\"#blue-fx\"/></material></library_materials>"
        "<library_effects><effect id=\"red-fx\"><profile_COMMON><technique sid=\"common\"><phong>"
        "<emission><color>0 0 0 1</color></emission><diffuse><color>1 0 0 1</color></diffuse>"
        "<shininess><float>50</float></shininess></phong></technique></profile_COMMON></effect>"
        "<effect id=\"blue-fx\"><profile_COMMON><technique sid=\"common\"><lambert>"
        "<diffuse><color>0 0 1 0.5</color></diffuse></lambert></technique></profile_COMMON></effect>"
        "</library_effects>";
    std::string mesh = std::string(POSITIONS) +
                       "<triangles material=\"Red\" count=\"1\"><input semantic=\"VERTEX\" source=\"#verts\" "
                       "offset=\"0\"/><p>0 1 2</p></triangles>"
                       "<triangles material=\"Blue\" count=\"1\"><input semantic=\"VERTEX\" source=\"#verts\" "
                       "offset=\"0\"/><p>2 1 0</p></triangles>";
    Parsed p;
    parse(oneMesh(mesh, materials), &p);
    ASSERT_TRUE(p.ok) << p.message;
    ASSERT_EQ(p.model.geomObjects.size(), 2u);
    EXPECT_EQ(p.model.geomObjects[0].name, "Tri");
    EXPECT_EQ(p.model.geomObjects[1].name, "Tri");
    EXPECT_EQ(p.model.geomObjects[0].materialName, "Red");
    EXPECT_EQ(p.model.geomObjects[1].materialIndex, 2);
    EXPECT_EQ(p.model.geomObjects[1].faces[0][0], 2);
    EXPECT_EQ(p.model.root.children[0].geometryIndices, (std::vector<int>{0, 1}));
    // Colours from the effects; a channel the effect leaves out is white.
    const Material& red = p.model.materials[1];
    EXPECT_FLOAT_EQ(red.diffuse[1], 0);
    EXPECT_FLOAT_EQ(red.emission[0], 0);
    EXPECT_FLOAT_EQ(red.ambient[0], 1);
    EXPECT_FLOAT_EQ(red.shininess, 50);
    EXPECT_FLOAT_EQ(p.model.materials[2].diffuse[3], 0.5f);
    EXPECT_FLOAT_EQ(p.model.materials[2].shininess, 20);
}

TEST(DaeParse, LightColoursAttenuationDefaultsAndZeroRules)
{
    std::string lights =
        "<library_lights>"
        "<light id=\"Plain\"><technique_common><point><color>0.5 0.25 1</color></point></technique_common></light>"
        "<light id=\"Zeros\"><technique_common><point><color>1 1 1</color><constant_attenuation>0"
        "</constant_attenuation><linear_attenuation>0</linear_attenuation><quadratic_attenuation>0"
        "</quadratic_attenuation></point></technique_common></light>"
        "<light id=\"Set\"><technique_common><point><color>1 1 1</color><constant_attenuation>2"
        "</constant_attenuation><linear_attenuation>0.3</linear_attenuation></point></technique_common></light>"
        "</library_lights>";
    std::string scene = "<library_visual_scenes><visual_scene>"
                        "<node id=\"L\"><translate>1 2 3</translate><instance_light url=\"#Set\"/></node>"
                        "<node id=\"T\"><instance_geometry url=\"#Tri\"/></node>"
                        "</visual_scene></library_visual_scenes>";
    Parsed p;
    parse(document(lights + "<library_geometries><geometry id=\"Tri\"><mesh>" + vertexOnlyTriangles() +
                   "</mesh></geometry></library_geometries>" + scene),
          &p);
    ASSERT_TRUE(p.ok) << p.message;
    ASSERT_EQ(p.model.lights.size(), 3u);
    const Light& plain = p.model.lights[0];
    EXPECT_EQ(plain.name, "Plain");
    EXPECT_FLOAT_EQ(plain.ambient.y, 0.25f);
    EXPECT_FLOAT_EQ(plain.diffuse.z, 1);
    EXPECT_FLOAT_EQ(plain.specular.x, 0.5f);
    EXPECT_FLOAT_EQ(plain.diffuse.w, 1);
    EXPECT_FLOAT_EQ(plain.constantAttenuation, 1);
    EXPECT_FLOAT_EQ(plain.linearAttenuation, 0);
    EXPECT_FLOAT_EQ(plain.quadraticAttenuation, 0);
    EXPECT_FLOAT_EQ(plain.spotCutoff, 180);
    EXPECT_FLOAT_EQ(plain.position.w, 1);
    const Light& zeros = p.model.lights[1];
    EXPECT_FLOAT_EQ(zeros.constantAttenuation, 1);
    EXPECT_FLOAT_EQ(zeros.linearAttenuation, 0.05f);
    EXPECT_FLOAT_EQ(zeros.quadraticAttenuation, 0.05f);
    const Light& set = p.model.lights[2];
    EXPECT_FLOAT_EQ(set.constantAttenuation, 2);
    EXPECT_FLOAT_EQ(set.linearAttenuation, 0.3f);
    EXPECT_FLOAT_EQ(set.position.x, 1);
    EXPECT_FLOAT_EQ(set.position.z, 3);
}

TEST(DaeParse, ThreeInputsReadNineIndicesPerTriangleAndFiveAreRefused)
{
    std::string sources = std::string(POSITIONS) +
                          "<source id=\"nrm\"><float_array id=\"nrm-a\" count=\"6\">0 0 1 0 0 -1</float_array>"
                          "<technique_common><accessor source=\"#nrm-a\" count=\"2\" stride=\"3\"/></technique_common></source>"
                          "<source id=\"uv\"><float_array id=\"uv-a\" count=\"4\">0 0 1 1</float_array>"
                          "<technique_common><accessor source=\"#uv-a\" count=\"2\" stride=\"2\"/></technique_common></source>";
    std::string inputs = "<input semantic=\"VERTEX\" source=\"#verts\" offset=\"0\"/>"
                         "<input semantic=\"NORMAL\" source=\"#nrm\" offset=\"1\"/>"
                         "<input semantic=\"TEXCOORD\" source=\"#uv\" offset=\"2\" set=\"0\"/>";
    Parsed p;
    parse(oneMesh(sources + "<triangles count=\"1\">" + inputs + "<p>0 1 0 1 0 1 2 1 0</p></triangles>"), &p);
    ASSERT_TRUE(p.ok) << p.message;
    const GeomObject& tri = p.model.geomObjects[0];
    ASSERT_EQ(tri.faces.size(), 1u);
    EXPECT_EQ(tri.faces[0][1], 1);
    EXPECT_EQ(tri.faces[0][2], 2);
    EXPECT_EQ(tri.normalFaces[0][0], 1);
    EXPECT_EQ(tri.normalFaces[0][2], 1);
    EXPECT_EQ(tri.texFaces[0][0], 0);
    EXPECT_EQ(tri.texFaces[0][1], 1);
    EXPECT_FLOAT_EQ(tri.normals[1].z, -1);
    EXPECT_FLOAT_EQ(tri.texCoords[1].x, 1);
    EXPECT_FLOAT_EQ(tri.texCoords[1].z, 1); // pairs carry a third component of 1
    EXPECT_FALSE(tri.hasTexture);           // the dummy material has no texture

    std::string five = inputs + "<input semantic=\"TEXCOORD\" source=\"#uv\" offset=\"3\" set=\"1\"/>"
                                "<input semantic=\"TEXCOORD\" source=\"#uv\" offset=\"4\" set=\"2\"/>";
    Parsed q;
    parse(oneMesh(sources + "<triangles count=\"1\">" + five + "<p>0 0 0 0 0 1 0 0 0 0 2 0 0 0 0</p></triangles>"), &q);
    EXPECT_FALSE(q.ok);
    EXPECT_EQ(q.message, "Unsupported stride: 5");
}

TEST(DaeParse, TexturePathKeepsTheNameAfterTheLastSeparatorOfEitherKind)
{
    const char* names[2][2] = {{"C:\\art\\maps/wood/grain.png", "models/grain.png"},
                               {"maps/wood\\bark.tga", "models/bark.tga"}};
    for (auto& name : names) {
        std::string libraries =
            std::string("<library_images><image id=\"img\"><init_from>") + name[0] +
            "</init_from></image></library_images>"
            "<library_materials><material id=\"Wood\"><instance_effect url=\"#wood-fx\"/></material>"
            "<material id=\"Wood2\"><instance_effect url=\"#wood-fx\"/></material></library_materials>"
            "<library_effects><effect id=\"wood-fx\"><profile_COMMON>"
            "<newparam sid=\"surf\"><surface type=\"2D\"><init_from>img</init_from></surface></newparam>"
            "<newparam sid=\"samp\"><sampler2D><source>surf</source></sampler2D></newparam>"
            "<technique sid=\"common\"><phong><diffuse><texture texture=\"samp\" texcoord=\"UV\"/></diffuse>"
            "</phong></technique></profile_COMMON></effect></library_effects>";
        std::string mesh = std::string(POSITIONS) +
                           "<source id=\"uv\"><float_array id=\"uv-a\" count=\"6\">0 0 1 0 0 1</float_array>"
                           "<technique_common><accessor source=\"#uv-a\" count=\"3\" stride=\"2\"/></technique_common>"
                           "</source><triangles material=\"Wood\" count=\"1\">"
                           "<input semantic=\"VERTEX\" source=\"#verts\" offset=\"0\"/>"
                           "<input semantic=\"TEXCOORD\" source=\"#uv\" offset=\"1\"/><p>0 0 1 1 2 2</p></triangles>";
        Parsed p;
        parse(oneMesh(mesh, libraries), &p);
        ASSERT_TRUE(p.ok) << p.message;
        ASSERT_EQ(p.textures.files.size(), 1u);
        EXPECT_EQ(p.textures.files[0], name[1]);
        // Both materials of the effect share its one texture.
        EXPECT_EQ(p.textures.materialTexture, (std::vector<int>{-1, 0, 0}));
        EXPECT_FLOAT_EQ(p.model.materials[1].diffuse[0], 1);
        EXPECT_TRUE(p.model.geomObjects[0].hasTexture);
    }
}

TEST(DaeParse, NegativeScaleSetsMirroredAndMatrixIsReadRowByRow)
{
    Parsed p;
    parse(oneMesh(vertexOnlyTriangles(), "", "<scale>1 -1 1</scale>"), &p);
    ASSERT_TRUE(p.ok) << p.message;
    EXPECT_TRUE(p.model.root.children[0].mirrored);

    Parsed q;
    parse(oneMesh(vertexOnlyTriangles(), "", "<scale>-1 -1 1</scale><rotate>0 0 1 90</rotate>"), &q);
    ASSERT_TRUE(q.ok) << q.message;
    EXPECT_FALSE(q.model.root.children[0].mirrored);
    // scale(-1,-1,1) then 90 degrees about z: x maps to -y.
    EXPECT_NEAR(q.model.root.children[0].matrix[1], -1, 1e-6);

    Parsed m;
    parse(oneMesh(vertexOnlyTriangles(), "", "<matrix>1 0 0 5 0 1 0 6 0 0 1 7 0 0 0 1</matrix>"), &m);
    ASSERT_TRUE(m.ok) << m.message;
    EXPECT_FLOAT_EQ(m.model.root.children[0].matrix[12], 5);
    EXPECT_FLOAT_EQ(m.model.root.children[0].matrix[14], 7);
    EXPECT_FLOAT_EQ(m.model.root.children[0].matrix[3], 0);

    // Numbers after the ones a transform needs are ignored.
    Parsed moved, extra;
    parse(oneMesh(vertexOnlyTriangles(), "", "<translate>1 2 3 4</translate>"), &moved);
    ASSERT_TRUE(moved.ok) << moved.message;
    EXPECT_FLOAT_EQ(moved.model.root.children[0].matrix[14], 3);
    parse(oneMesh(vertexOnlyTriangles(), "", "<matrix>1 0 0 5 0 1 0 6 0 0 1 7 0 0 0 1 9</matrix>"), &extra);
    ASSERT_TRUE(extra.ok) << extra.message;
    EXPECT_FLOAT_EQ(extra.model.root.children[0].matrix[13], 6);
    EXPECT_FLOAT_EQ(extra.model.root.children[0].matrix[15], 1);
}

TEST(DaeParse, CamerasArePlacedFromTranslateAndRotate)
{
    std::string cameras = "<library_cameras><camera id=\"Cam\"><optics><technique_common><perspective>"
                          "<yfov>40</yfov><aspect_ratio>1.77</aspect_ratio><znear>0.1</znear><zfar>2000</zfar>"
                          "</perspective></technique_common></optics></camera></library_cameras>";
    std::string scene = "<library_visual_scenes><visual_scene>"
                        "<node id=\"CamNode\"><translate>1 2 3</translate><rotate>0 1 0 90</rotate>"
                        "<rotate>1 0 0 -30</rotate><rotate>0 0.5 0 45</rotate><instance_camera url=\"#Cam\"/></node>"
                        "<node id=\"T\"><instance_geometry url=\"#Tri\"/></node>"
                        "</visual_scene></library_visual_scenes>";
    Parsed p;
    parse(document(cameras + "<library_geometries><geometry id=\"Tri\"><mesh>" + vertexOnlyTriangles() +
                   "</mesh></geometry></library_geometries>" + scene),
          &p);
    ASSERT_TRUE(p.ok) << p.message;
    ASSERT_EQ(p.model.cameras.size(), 1u);
    const Camera& camera = p.model.cameras[0];
    EXPECT_EQ(camera.name, "Cam");
    EXPECT_FLOAT_EQ(camera.fov, 40);
    EXPECT_FLOAT_EQ(camera.nearPlane, 0.1f);
    EXPECT_FLOAT_EQ(camera.farPlane, 2000);
    EXPECT_FLOAT_EQ(camera.position.x, 1);
    EXPECT_FLOAT_EQ(camera.position.z, 3);
    // Yaw 90 turns the view from -z to -x; pitch -30 looks down; the 0.5 axis turns nothing.
    EXPECT_FLOAT_EQ(camera.yawAngle, 90);
    EXPECT_FLOAT_EQ(camera.pitchAngle, -30);
    EXPECT_FLOAT_EQ(camera.rollAngle, 0);
    EXPECT_NEAR(camera.direction.x, -cosf(30 * 0.017453292f), 1e-5);
    EXPECT_NEAR(camera.direction.y, -0.5f, 1e-5);
    EXPECT_NEAR(camera.direction.z, 0, 1e-5);
    // The matrix is the node's transform when the camera was met.
    EXPECT_FLOAT_EQ(camera.matrix[12], 1);
    EXPECT_FLOAT_EQ(camera.matrix[14], 3);
}

TEST(DaeParse, RefusesMalformedDocumentsWithAClearMessage)
{
    struct Case {
        std::string text;
        const char* message; // the start of the report
    };
    std::string sourceShort = "<source id=\"pos\"><float_array id=\"pos-a\" count=\"6\">0 0 0 1 0 0</float_array>"
                              "<technique_common><accessor source=\"#pos-a\" count=\"3\" stride=\"3\"/></technique_common>"
                              "</source><vertices id=\"verts\"><input semantic=\"POSITION\" source=\"#pos\"/></vertices>"
                              "<triangles count=\"1\"><input semantic=\"VERTEX\" source=\"#verts\" offset=\"0\"/>"
                              "<p>0 1 2</p></triangles>";
    std::string vertexOnly = vertexOnlyTriangles();
    auto withIndices = [](const char* indices) {
        return std::string(POSITIONS) + "<triangles count=\"1\"><input semantic=\"VERTEX\" source=\"#verts\" "
                                        "offset=\"0\"/><p>" + indices + "</p></triangles>";
    };
    const Case cases[] = {
        {"<?xml version=\"1.0\"?><COLLADA><unclosed></COLLADA>", "Could not load models/test.dae. Error='"},
        {"<?xml version=\"1.0\"?><other/>", "node is NULL"},
        {document("<library_visual_scenes/>"), "node_geometries is NULL"},
        {document("<library_geometries/>"), "node_visual_scenes is NULL"},
        {document("<library_geometries/><library_visual_scenes/>"), "scene_element is NULL"},
        {oneMesh(withIndices("0 1 2 0")), "Index list of Tri holds 4 numbers, not whole triangles"},
        {oneMesh(withIndices("0 1 x")), "Failed to parse vertex indices"},
        {oneMesh(withIndices("0 1 9")), "Mesh \"Tri\": triangle 0 corner 2 uses vertex 9, but the mesh has 3"},
        {oneMesh(withIndices("0 -1 2")), "Mesh \"Tri\": triangle 0 corner 1 uses vertex -1"},
        {oneMesh(sourceShort), "Source pos holds 6 values, but its accessor reads 3 of stride 3"},
        {oneMesh(vertexOnly, "", "<matrix>1 0 0 0 0 1 0 0 0 0 1 0 0 0 0</matrix>"),
         "The matrix of node TriNode needs 16 numbers"},
        {oneMesh(vertexOnly, "", "<translate>1 2</translate>"), "The translate of node TriNode needs 3 numbers"},
        {oneMesh(vertexOnlyTriangles(" material=\"Steel\"")), "Couldn't find material entry for Steel. Corrupt file?"},
        {oneMesh(std::string(POSITIONS) + "<triangles><input semantic=\"COLOR\" source=\"#c\"/><p>0 1 2</p></triangles>"),
         "Unimplemented input type COLOR"},
        {oneMesh(std::string(POSITIONS) + "<triangles><input semantic=\"VERTEX\" source=\"#verts\" offset=\"2\"/>"
                                          "<p>0 1 2</p></triangles>"),
         "Input offset 2 of Tri lies outside its 1 inputs per corner"},
        {oneMesh(std::string(POSITIONS) + "<triangles><input semantic=\"VERTEX\" source=\"#verts\"/></triangles>"),
         "ind_el is NULL"},
        {oneMesh("<source id=\"x\"/>" + vertexOnly), "Unexpected source x"},
        {oneMesh("<source id=\"pos\"><float_array>0 0 0</float_array></source><vertices id=\"verts\">"
                 "<input semantic=\"POSITION\" source=\"#pos\"/></vertices><triangles><input semantic=\"VERTEX\" "
                 "source=\"#verts\"/><p>0 0 0</p></triangles>"),
         "Failed to retrieve accessor src_el!"},
        {oneMesh("<source id=\"pos\"><float_array>0 0 0 0</float_array><technique_common><accessor stride=\"4\"/>"
                 "</technique_common></source><vertices id=\"verts\"><input semantic=\"POSITION\" source=\"#pos\"/>"
                 "</vertices><triangles><input semantic=\"VERTEX\" source=\"#verts\"/><p>0 0 0</p></triangles>"),
         "Invalid source stride 4"},
        {oneMesh(vertexOnly, "<library_cameras><camera id=\"C\"><optics/></camera></library_cameras>"),
         "No camera perspective info found for camera C"},
        {oneMesh(vertexOnly, "<library_effects><effect id=\"e\"><profile_COMMON/></effect></library_effects>"),
         "element is NULL"},
        {oneMesh(vertexOnly, "<library_effects><effect id=\"e\"><profile_COMMON><technique><phong><diffuse>"
                             "<texture texture=\"nothing\"/></diffuse></phong></technique></profile_COMMON></effect>"
                             "</library_effects>"),
         "Couldn't find match for texture sampler nothing"},
        {oneMesh(vertexOnly, "<library_effects><effect id=\"e\"><profile_COMMON><technique><phong><diffuse>"
                             "<param ref=\"x\"/></diffuse></phong></technique></profile_COMMON></effect>"
                             "</library_effects>"),
         "  Couldn't find either color or texture for this material, child is param"},
        {oneMesh(vertexOnly, "", "<instance_camera url=\"#None\"/>"), "Couldn't find matching camera for None."},
        {oneMesh(vertexOnly, "", "<instance_light url=\"#None\"/>"), "Couldn't find matching light for None."},
    };
    for (const Case& c : cases) {
        Parsed p;
        parse(c.text, &p);
        EXPECT_FALSE(p.ok) << c.message;
        EXPECT_EQ(p.message.compare(0, strlen(c.message), c.message), 0) << "got: " << p.message;
    }
}

TEST(DaeParse, DeepNestingIsRefusedBeforeTheXmlParser)
{
    std::string open, close;
    for (int i = 0; i < DAE_MAX_XML_DEPTH + 10; i++) {
        open += "<node>";
        close += "</node>";
    }
    Parsed p;
    parse(document("<library_geometries/><library_visual_scenes><visual_scene>" + open + close +
                   "</visual_scene></library_visual_scenes>"),
          &p);
    EXPECT_FALSE(p.ok);
    EXPECT_NE(p.message.find("DAE_MAX_XML_DEPTH"), std::string::npos) << p.message;

    // Markup that hides a "/>" or "</" from a naive count still nests for the XML parser: quoted
    // values, comments, CDATA, unquoted values, names with high bytes, declarations inside elements.
    const char* disguises[][2] = {
        {"<node x=\"/>\">", "</node>"},
        {"<node x='</node>'>", "</node>"},
        {"<node><!-- </node> -->", "</node>"},
        {"<node><![CDATA[</node>]]>", "</node>"},
        {"<node x=a\"/>", "</node>"},  // an unquoted value ends at the '/', so this one closes
        {"<\xC3\xA9>", "</\xC3\xA9>"},
        {"<node><?xml version='</node>'?>", "</node>"},
    };
    for (size_t d = 0; d < sizeof disguises / sizeof disguises[0]; d++) {
        std::string deep, shut;
        for (int i = 0; i < DAE_MAX_XML_DEPTH + 10; i++) {
            deep += disguises[d][0];
            shut += disguises[d][1];
        }
        Parsed r;
        parse(document("<library_geometries/><library_visual_scenes><visual_scene>" + deep + shut +
                       "</visual_scene></library_visual_scenes>"),
              &r);
        EXPECT_FALSE(r.ok) << d;
        if (d != 4) {
            EXPECT_NE(r.message.find("DAE_MAX_XML_DEPTH"), std::string::npos) << d << r.message;
        }
    }

    std::string nodes, ends;
    for (int i = 0; i < DAE_MAX_NODE_DEPTH + 2; i++) {
        nodes += "<node id=\"n\">";
        ends += "</node>";
    }
    Parsed q;
    parse(document("<library_geometries/><library_visual_scenes><visual_scene>" + nodes + ends +
                   "</visual_scene></library_visual_scenes>"),
          &q);
    EXPECT_FALSE(q.ok);
    EXPECT_NE(q.message.find("DAE_MAX_NODE_DEPTH"), std::string::npos) << q.message;
}

TEST(DaeLoad, FailuresAreFatalReportsFromTheLoader)
{
    writeTestFile("bad.dae", oneMesh(vertexOnlyTriangles(" material=\"Steel\"")));
    EXPECT_EXIT(
        {
            Objects3D model;
            loadDae("bad.dae", &model);
        },
        testing::ExitedWithCode(1), "dae_loader.cpp:.+\n\nCouldn't find material entry for Steel");
    EXPECT_EXIT(
        {
            Objects3D model;
            loadDae("missing.dae", &model);
        },
        testing::ExitedWithCode(1), "Could not load missing.dae. Error='Failed to open file'");
}

TEST(DaeLoad, LoadPicksTheLoaderByTheLastFourCharacters)
{
    Objects3D model;
    EXPECT_FALSE(load("model.obj", &model));
    EXPECT_FALSE(load("dae", &model));
    EXPECT_FALSE(load("", &model));
    writeTestFile("Upper.DAE", oneMesh(vertexOnlyTriangles()));
    EXPECT_TRUE(load("Upper.DAE", &model));
    EXPECT_EQ(model.geomObjects.size(), 1u);
}

namespace {

// The shape of the hostile document of fuzz/support/hostile_models.py: one large position array
// and many small "triangles" that all read it (each used to copy the whole array).
std::string hostileTriangles(size_t bytes)
{
    size_t floats = bytes * 8 / 10 / 2 / 3 * 3, triangles = bytes * 2 / 10 / 100;
    std::string mesh = "<source id=\"pos\"><float_array id=\"pos-a\">";
    for (size_t i = 0; i < floats; i++) mesh += "0 ";
    mesh += "</float_array><technique_common><accessor source=\"#pos-a\" stride=\"3\"/></technique_common></source>"
            "<vertices id=\"verts\"><input semantic=\"POSITION\" source=\"#pos\"/></vertices>";
    for (size_t i = 0; i < triangles; i++)
        mesh += "<triangles count=\"1\"><input semantic=\"VERTEX\" source=\"#verts\" offset=\"0\"/><p>0 1 2</p></triangles>";
    return oneMesh(mesh);
}

size_t peakBound(size_t fileBytes) { return DAE_PEAK_BYTES_PER_FILE_BYTE * fileBytes + DAE_PEAK_BYTES_CONSTANT; }

} // namespace

TEST(DaeParse, SharedSourcesCountAgainstTheMemoryBudget)
{
    // About 1 MB that asked for 4 GB: refused with the report, within the stated peak.
    std::string text = hostileTriangles(1000000);
    Parsed p;
    size_t peak = peakBytesOf([&] { parse(text, &p); });
    EXPECT_FALSE(p.ok);
    EXPECT_NE(p.message.find("DAE_MODEL_BYTES_PER_FILE_BYTE"), std::string::npos) << p.message;
    EXPECT_LE(peak, peakBound(text.size())) << "file " << text.size() << " bytes";

    // The same shape at a size the budget allows loads whole, every mesh with its own positions.
    std::string small = hostileTriangles(20000);
    Parsed q;
    parse(small, &q);
    ASSERT_TRUE(q.ok) << q.message;
    ASSERT_EQ(q.model.geomObjects.size(), 40u);
    EXPECT_EQ(q.model.geomObjects[39].vertices.size(), 16000u / 6);
}

TEST(DaeParse, PeakMemoryStaysWithinTheStatedBoundForTreeHeavyDocuments)
{
    // Many small elements make TinyXML's tree the largest part; instances multiply mesh indices.
    std::string elements;
    for (int i = 0; i < 100000; i++) elements += "<a/>";
    std::string instances;
    for (int i = 0; i < 20000; i++) instances += "<instance_geometry url=\"#Tri\"/>";
    std::string triangles = POSITIONS;
    for (int i = 0; i < 2000; i++)
        triangles += "<triangles><input semantic=\"VERTEX\" source=\"#verts\" offset=\"0\"/><p>0 1 2</p></triangles>";
    const std::string documents[] = {
        oneMesh(vertexOnlyTriangles(), "<library_cameras>" + elements + "</library_cameras>"),
        oneMesh(triangles, "", instances),
    };
    for (const std::string& text : documents) {
        Parsed p;
        size_t peak = peakBytesOf([&] { parse(text, &p); });
        EXPECT_LE(peak, peakBound(text.size())) << "file " << text.size() << " bytes: " << p.message;
    }
}

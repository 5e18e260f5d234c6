// ASE keyword scanner: what it reads, where it stops, and the reports of loadAse.
#include "util/objects3d/ase_loader.h"
#include "util/objects3d/objects3d.h"

#include "test_support.h"
#include <gtest/gtest.h>

namespace {

std::string materialColour(int id, const char* extra = "")
{
    return "\t*MATERIAL " + std::to_string(id) + " {\n\t\t*MATERIAL_NAME \"M\"\n" + extra +
           "\t\t*MATERIAL_DIFFUSE 0.2000\t0.4000\t0.6000\n\t}\n";
}

std::string materialBitmap(int id, const char* bitmap)
{
    return "\t*MATERIAL " + std::to_string(id) + " {\n\t\t*MAP_DIFFUSE {\n\t\t\t*BITMAP \"" + bitmap +
           "\"\n\t\t}\n\t}\n";
}

std::string materials(const std::string& blocks, int count)
{
    return "*MATERIAL_LIST {\n\t*MATERIAL_COUNT " + std::to_string(count) + "\n" + blocks + "}\n";
}

// A quad of two faces; `faceCount` faces and `normalCount` face normals are written (the extra
// faces repeat the first).
std::string object(int faceCount = 2, int normalCount = 2, bool textured = false, int materialRef = 0)
{
    std::string s = "*GEOMOBJECT {\n\t*NODE_NAME \"Quad\"\n\t*MESH {\n"
                    "\t\t*MESH_VERTEX_LIST {\n"
                    "\t\t\t*MESH_VERTEX    0\t-1.0000\t-1.0000\t0.0000\n"
                    "\t\t\t*MESH_VERTEX    1\t1.0000\t-1.0000\t0.0000\n"
                    "\t\t\t*MESH_VERTEX    2\t1.0000\t1.0000\t0.0000\n"
                    "\t\t\t*MESH_VERTEX    3\t-1.0000\t1.0000\t0.5000\n\t\t}\n\t\t*MESH_FACE_LIST {\n";
    for (int k = 0; k < faceCount; k++) {
        const char* corners = k % 2 ? "A:    0 B:    2 C:    3" : "A:    0 B:    1 C:    2";
        s += "\t\t\t*MESH_FACE    " + std::to_string(k) + ":    " + corners +
             " AB:    1 BC:    1 CA:    0\t *MESH_SMOOTHING 1 \t*MESH_MTLID 0\n";
    }
    s += "\t\t}\n";
    if (textured) {
        s += "\t\t*MESH_NUMTVERTEX 3\n\t\t*MESH_TVERTLIST {\n"
             "\t\t\t*MESH_TVERT 0\t0.0000\t0.0000\t0.0000\n"
             "\t\t\t*MESH_TVERT 1\t1.0000\t0.0000\t0.0000\n"
             "\t\t\t*MESH_TVERT 2\t1.0000\t1.0000\t0.0000\n\t\t}\n\t\t*MESH_TFACELIST {\n";
        for (int k = 0; k < faceCount; k++) s += "\t\t\t*MESH_TFACE " + std::to_string(k) + "\t0\t1\t2\n";
        s += "\t\t}\n";
    }
    s += "\t\t*MESH_NORMALS {\n";
    for (int k = 0; k < normalCount; k++)
        s += "\t\t\t*MESH_FACENORMAL " + std::to_string(k) + "\t0.0000\t0.0000\t1.0000\n"
             "\t\t\t\t*MESH_VERTEXNORMAL 0\t0.0000\t0.0000\t1.0000\n";
    s += "\t\t}\n\t}\n\t*MATERIAL_REF " + std::to_string(materialRef) + "\n}\n";
    return s;
}

const char* const HEADER = "*3DSMAX_ASCIIEXPORT\t200\n*SCENE {\n\t*SCENE_FILENAME \"quad.max\"\n}\n";

struct Scanned {
    Objects3D model;
    AseScan scan;
};

void scan(const std::string& text, Scanned* out) { scanAse(text, &out->model, &out->scan); }

} // namespace

TEST(AseScan, ReadsVerticesFacesFlatNormalsAndTheMaterial)
{
    Scanned s;
    scan(HEADER + materials(materialColour(0) + materialColour(1), 2) + object(2, 2, false, 1), &s);
    EXPECT_EQ(s.scan.verdict, ASE_OK);
    EXPECT_EQ(s.scan.sceneSnippet, "*SCENE_FILENAME \"quad.max\"");
    ASSERT_EQ(s.model.materials.size(), 2u);
    EXPECT_FLOAT_EQ(s.model.materials[1].diffuse[1], 0.4f);
    EXPECT_FLOAT_EQ(s.model.materials[1].diffuse[3], 1);
    ASSERT_EQ(s.model.geomObjects.size(), 1u);
    const GeomObject& quad = s.model.geomObjects[0];
    ASSERT_EQ(quad.vertices.size(), 4u);
    EXPECT_FLOAT_EQ(quad.vertices[3].z, 0.5f); // the line's last value ends at a tab on the next line
    ASSERT_EQ(quad.faces.size(), 2u);
    EXPECT_EQ(quad.faces[1][1], 2);
    EXPECT_EQ(quad.normalFaces[1][0], 1);
    ASSERT_EQ(quad.normals.size(), 2u); // vertex normals are not read
    EXPECT_EQ(quad.materialIndex, 1);
    EXPECT_TRUE(s.model.root.children.empty());
    EXPECT_TRUE(s.model.cameras.empty());
}

TEST(AseScan, FaceLineCornersAndTheFaceNormalTriple)
{
    std::string text = HEADER + object(3, 4);
    // A fourth face, index 3, with corners A 4, B 5, C 6.
    size_t at = text.find("\t\t}\n\t\t*MESH_NORMALS");
    text.insert(at, "\t\t\t*MESH_FACE    3:    A:    4 B:    5 C:    6 AB:    1 BC:    1 CA:    0\t *MESH_MTLID 0\n");
    Scanned s;
    scan(text, &s);
    EXPECT_EQ(s.scan.verdict, ASE_OK);
    ASSERT_EQ(s.model.geomObjects[0].faces.size(), 4u);
    const IndexTriple& face = s.model.geomObjects[0].faces[3];
    EXPECT_EQ(face[0], 4);
    EXPECT_EQ(face[1], 5);
    EXPECT_EQ(face[2], 6);
    EXPECT_EQ(s.model.geomObjects[0].normalFaces[3][1], 3);
    // No materials: the objects are still read.
    EXPECT_TRUE(s.model.materials.empty());
}

TEST(AseScan, BitmapPathsAndTheBitmapAfterTheNestedBrace)
{
    Scanned s;
    scan(HEADER + materials(materialBitmap(0, "wood.jpg") + materialBitmap(1, "maps/stone.png"), 2), &s);
    EXPECT_EQ(s.scan.verdict, ASE_OK);
    EXPECT_EQ(s.scan.bitmaps, (std::vector<std::string>{"data/images/wood.jpg", "data/images/maps/stone.png"}));

    // The bitmap lies after the first "\t}" of the block: it is not this material's, so the
    // diffuse colour must be there.
    std::string late = "\t*MATERIAL 0 {\n\t\t*SUBMAT {\n\t}\n\t\t*MATERIAL_DIFFUSE 0.5\t0.5\t0.5\n"
                       "\t\t*BITMAP \"late.png\"\n\t}\n";
    Scanned t;
    scan(HEADER + materials(late, 1), &t);
    EXPECT_EQ(t.scan.verdict, ASE_MATERIAL_NO_COLOUR);
    EXPECT_EQ(t.scan.values[0], 0);

    std::string lateWithColour = "\t*MATERIAL 0 {\n\t\t*MATERIAL_DIFFUSE 0.5\t0.25\t0.5\n\t\t*SUBMAT {\n\t}\n"
                                 "\t\t*BITMAP \"late.png\"\n\t}\n";
    Scanned u;
    scan(HEADER + materials(lateWithColour, 1), &u);
    EXPECT_EQ(u.scan.verdict, ASE_OK);
    EXPECT_EQ(u.scan.bitmaps, std::vector<std::string>{""});
    EXPECT_FLOAT_EQ(u.model.materials[0].diffuse[1], 0.25f);
}

TEST(AseScan, MaterialIdsOutOfOrderStopTheMaterialPass)
{
    Scanned s;
    scan(HEADER + materials(materialColour(0) + materialColour(2), 2) + object(), &s);
    EXPECT_EQ(s.scan.verdict, ASE_MATERIAL_ORDER);
    EXPECT_EQ(s.scan.values[0], 1);
    EXPECT_EQ(s.scan.values[1], 2);
    EXPECT_EQ(s.model.materials.size(), 1u);
    EXPECT_TRUE(s.model.geomObjects.empty());
}

TEST(AseScan, TexturesNeedTheTextureListAndABitmapMaterial)
{
    Scanned s;
    scan(HEADER + materials(materialBitmap(0, "wood.jpg"), 1) + object(2, 2, true) + object(2, 2, false), &s);
    EXPECT_EQ(s.scan.verdict, ASE_OK);
    ASSERT_EQ(s.model.geomObjects.size(), 2u);
    EXPECT_TRUE(s.model.geomObjects[0].hasTexture);
    EXPECT_EQ(s.model.geomObjects[0].texFaces.size(), 2u);
    EXPECT_FLOAT_EQ(s.model.geomObjects[0].texCoords[2].y, 1);
    // The second object has no texture list before the end of the file: untextured.
    EXPECT_TRUE(s.model.geomObjects[1].texFaces.empty());
    EXPECT_FALSE(s.model.geomObjects[1].hasTexture);
}

TEST(AseScan, CountsThatDisagreeAndAMissingMaterialRefSetTheVerdict)
{
    Scanned s;
    scan(HEADER + object(12, 11), &s);
    EXPECT_EQ(s.scan.verdict, ASE_COUNTS_DIFFER);
    EXPECT_EQ(s.scan.values[0], 12);
    EXPECT_EQ(s.scan.values[1], 11);

    std::string noRef = object();
    noRef.erase(noRef.find("\t*MATERIAL_REF"));
    Scanned t;
    scan(HEADER + noRef + object(), &t);
    EXPECT_EQ(t.scan.verdict, ASE_MATERIAL_REF_MISSING);

    // A missing normal list ends the pass quietly: this object and later ones are not added.
    std::string noNormals = object();
    noNormals.replace(noNormals.find("*MESH_NORMALS"), 13, "*MESH_NOTHING");
    Scanned u;
    scan(HEADER + object() + noNormals, &u);
    EXPECT_EQ(u.scan.verdict, ASE_OK);
    EXPECT_EQ(u.model.geomObjects.size(), 1u);
}

TEST(AseLoad, ReportsOfTheLoader)
{
    writeTestFile("order.ase", HEADER + materials(materialColour(0) + materialColour(2), 2) + object());
    {
        Objects3D model;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(load("order.ase", &model));
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("Material list size 1 does not match current Material ID 2 at "), std::string::npos) << err;
        EXPECT_NE(err.find("Failed to load ASE materials"), std::string::npos) << err;
    }
    writeTestFile("counts.ase", HEADER + object(12, 11));
    EXPECT_EXIT(
        {
            Objects3D model;
            loadAse("counts.ase", &model);
        },
        testing::ExitedWithCode(1), "Loaded 12 ivertices, 11 normals and 0 itexcoords, material id is 0");
    writeTestFile("nocolour.ase", HEADER + materials("\t*MATERIAL 0 {\n\t}\n", 1));
    EXPECT_EXIT(
        {
            Objects3D model;
            loadAse("nocolour.ase", &model);
        },
        testing::ExitedWithCode(1), "Material 0 has no texture AND no MATERIAL_DIFFUSE colours");
    EXPECT_EXIT(
        {
            Objects3D model;
            loadAse("absent.ase", &model);
        },
        testing::ExitedWithCode(1), "Failed to open file absent.ase");

    writeTestFile("plain.ase", HEADER + object());
    Objects3D model;
    EXPECT_TRUE(load("plain.ase", &model));
    EXPECT_EQ(model.geomObjects.size(), 1u);
}

TEST(AseScan, NumbersWithFarOrMissingTerminatorsConvertAlone)
{
    // Ids with no " {" anywhere after them and colours whose last tab is far away: each number is
    // converted from its own characters only (the file is never copied per number).
    std::string text = "x";
    const int count = 3000;
    for (int i = 0; i < count; i++)
        text += "*MATERIAL " + std::to_string(i) + "*MATERIAL_DIFFUSE 0.25\t0.5\t0.75" + std::string(200, ' ') + "\t}";
    Scanned s;
    scan(text, &s);
    EXPECT_EQ(s.scan.verdict, ASE_OK);
    ASSERT_EQ(s.model.materials.size(), (size_t)count);
    EXPECT_FLOAT_EQ(s.model.materials[count - 1].diffuse[0], 0.25f);
    EXPECT_FLOAT_EQ(s.model.materials[count - 1].diffuse[2], 0.75f);
}

TEST(AseScan, AnObjectNeverReadsTheListsOfTheObjectsAfterIt)
{
    // Stub objects before a long one (the shape of fuzz/support/hostile_models.py): each stub used
    // to copy the long object's lists. A stub's lists are looked for before the next object only,
    // so the first stub, which has none, ends the pass.
    std::string stubs;
    for (int i = 0; i < 1000; i++) stubs += "*GEOMOBJECT {\n\t*MATERIAL_REF 0\n}\n";
    Scanned s;
    scan(HEADER + materials(materialColour(0), 1) + stubs + object(1000, 1000), &s);
    EXPECT_EQ(s.scan.verdict, ASE_OK);
    EXPECT_TRUE(s.model.geomObjects.empty());

    // A list left open reads its entries up to the next object, never the next object's entries.
    std::string open = object();
    open.erase(open.find("\t\t}\n\t\t*MESH_FACE_LIST"), 4);
    Scanned t;
    scan(HEADER + open + object(), &t);
    ASSERT_EQ(t.model.geomObjects.size(), 2u);
    EXPECT_EQ(t.model.geomObjects[0].vertices.size(), 4u);
    EXPECT_EQ(t.model.geomObjects[1].vertices.size(), 4u);
}

// geomobject: meshes, their display lists and the unit cube. See geomobject.h.
#include "util/objects3d/geomobject.h"

#include "platform/report.h"      // FATAL_LOCATION, reportErrorBox
#include "util/texture/texture.h" // Texture::textureId

#include <algorithm>
#include <stdio.h>
#include <utility>
#include <vector>

GeomObject::GeomObject()
{
    for (int i = 0; i < 16; i++) transform[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

// The material and texture state a mesh's list sets before its triangles.
static void recordMaterialState(const Material& material, bool textured)
{
    glColor4f(1, 1, 1, 1);
    glDisable(GL_COLOR_MATERIAL);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, material.shininess);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, material.ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, material.diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, material.specular);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, material.emission);
    if (textured) {
        glEnable(GL_TEXTURE_2D);
        glActiveTexture(GL_TEXTURE0);
        // The texture can be taken away at run time (a canvas with nothing on it): draw untextured.
        glBindTexture(GL_TEXTURE_2D, material.texture ? material.texture->textureId : 0);
    } else {
        glDisable(GL_TEXTURE_2D);
    }
}

bool GeomObject::compileDisplayList(const Material& material)
{
    if (displayList != 0) glDeleteLists(displayList, 2);
    displayList = glGenLists(2);
    if (displayList == 0) return false;
    if (hasTexture && faces.size() != texFaces.size()) {
        reportErrorBox("Got %i ivertices and %i itexcoords, what gives...", (int)faces.size(), (int)texFaces.size());
        FATAL_LOCATION();
    }

    glNewList(displayList, GL_COMPILE);
    recordMaterialState(material, hasTexture);
    // A mesh without normal triples (a position-only mesh) is drawn with the current normal.
    size_t normalCount = normalFaces.size();
    glBegin(GL_TRIANGLES);
    for (size_t k = 0; k < faces.size(); k++) {
        for (int j = 0; j < 3; j++) {
            if (hasTexture) glTexCoord2fv(&texCoords[texFaces[k][j]].x);
            if (k < normalCount) glNormal3fv(&normals[normalFaces[k][j]].x);
            glVertex3fv(&vertices[faces[k][j]].x);
        }
    }
    glEnd();
    glEndList();

    // The state list: what the list leaves behind without drawing, the material and the last
    // corner's normal and texture coordinate, for a draw that sends no triangles.
    glNewList(displayList + 1, GL_COMPILE);
    recordMaterialState(material, hasTexture);
    if (!faces.empty()) {
        size_t k = faces.size() - 1;
        if (hasTexture) glTexCoord2fv(&texCoords[texFaces[k][2]].x);
        if (k < normalCount) glNormal3fv(&normals[normalFaces[k][2]].x);
    }
    glEndList();
    needsRebuild = false;
    return true;
}

// Finds the first triple with a corner outside [0, count); returns its triangle, or -1.
static int findBadTriple(const std::vector<IndexTriple>& triples, size_t count, int* corner, int* value)
{
    for (size_t k = 0; k < triples.size(); k++) {
        for (int j = 0; j < 3; j++) {
            int32_t index = triples[k][j];
            if (index < 0 || (size_t)index >= count) {
                *corner = j;
                *value = index;
                return (int)k;
            }
        }
    }
    return -1;
}

const char* checkGeomObject(const GeomObject& object, int materialCount, char* why, size_t whySize)
{
    const char* name = object.name.c_str();
    if (object.materialIndex < 0 || object.materialIndex >= materialCount) {
        snprintf(why, whySize, "Mesh \"%s\" uses material %i, but the model has %i materials", name,
                 object.materialIndex, materialCount);
        return why;
    }
    if (!object.normalFaces.empty() && object.normalFaces.size() != object.faces.size()) {
        snprintf(why, whySize, "Mesh \"%s\" has %i faces but %i normal triples", name, (int)object.faces.size(),
                 (int)object.normalFaces.size());
        return why;
    }
    struct ListCheck {
        const std::vector<IndexTriple>* triples;
        size_t count;
        const char* what;
    };
    const ListCheck lists[3] = {
        {&object.faces, object.vertices.size(), "vertex"},
        {&object.normalFaces, object.normals.size(), "normal"},
        {&object.texFaces, object.texCoords.size(), "texture coordinate"},
    };
    for (const ListCheck& list : lists) {
        int corner = 0, value = 0;
        int triangle = findBadTriple(*list.triples, list.count, &corner, &value);
        if (triangle >= 0) {
            snprintf(why, whySize, "Mesh \"%s\": triangle %i corner %i uses %s %i, but the mesh has %i", name,
                     triangle, corner, list.what, value, (int)list.count);
            return why;
        }
    }
    return nullptr;
}

bool geomObjectBounds(GeomObject* object)
{
    if (object->boundsKnown) return true;
    if (object->vertices.empty()) return false;
    for (int axis = 0; axis < 3; axis++) object->boundsMin[axis] = object->boundsMax[axis] = (&object->vertices[0].x)[axis];
    for (const Vec4& v : object->vertices) {
        const float p[3] = {v.x, v.y, v.z};
        for (int axis = 0; axis < 3; axis++) {
            if (p[axis] < object->boundsMin[axis]) object->boundsMin[axis] = p[axis];
            if (p[axis] > object->boundsMax[axis]) object->boundsMax[axis] = p[axis];
        }
    }
    object->boundsKnown = true;
    return true;
}

// Each position's number among the distinct positions: corners that were written out once per
// face still meet.
static std::vector<int> weldPositions(const std::vector<Vec4>& vertices)
{
    std::vector<int> order(vertices.size());
    for (size_t i = 0; i < order.size(); i++) order[i] = (int)i;
    auto less = [&](int a, int b) {
        const Vec4 &p = vertices[a], &q = vertices[b];
        if (p.x != q.x) return p.x < q.x;
        if (p.y != q.y) return p.y < q.y;
        return p.z < q.z;
    };
    std::sort(order.begin(), order.end(), less);
    std::vector<int> welded(vertices.size());
    int id = -1;
    for (size_t k = 0; k < order.size(); k++) {
        if (k == 0 || less(order[k - 1], order[k])) id++;
        welded[order[k]] = id;
    }
    return welded;
}

static int findRoot(std::vector<int>& parent, int i)
{
    while (parent[i] != i) i = parent[i] = parent[parent[i]];
    return i;
}

bool geomObjectClosedSolid(const GeomObject& object)
{
    const size_t count = object.vertices.size();
    if (object.faces.empty() || count == 0) return false;
    for (const IndexTriple& face : object.faces)
        for (int j = 0; j < 3; j++)
            if (face[j] < 0 || (size_t)face[j] >= count) return false;
    const std::vector<int> welded = weldPositions(object.vertices);

    // Every directed edge once, and its reverse once: each edge joins exactly two faces that
    // agree on which side is out.
    std::vector<std::pair<int, int>> edges;
    edges.reserve(object.faces.size() * 3);
    for (const IndexTriple& face : object.faces) {
        const int corner[3] = {welded[face[0]], welded[face[1]], welded[face[2]]};
        if (corner[0] == corner[1] || corner[1] == corner[2] || corner[2] == corner[0]) continue; // draws nothing
        for (int j = 0; j < 3; j++) edges.push_back({corner[j], corner[(j + 1) % 3]});
    }
    if (edges.empty()) return false;
    std::sort(edges.begin(), edges.end());
    for (size_t k = 0; k < edges.size(); k++) {
        if (k + 1 < edges.size() && edges[k] == edges[k + 1]) return false;
        const std::pair<int, int> reverse = {edges[k].second, edges[k].first};
        if (!std::binary_search(edges.begin(), edges.end(), reverse)) return false;
    }

    // Out means outward: every connected shell encloses a positive volume (6 x, signed).
    std::vector<int> parent(count);
    for (size_t i = 0; i < count; i++) parent[i] = (int)i;
    for (const std::pair<int, int>& edge : edges) parent[findRoot(parent, edge.first)] = findRoot(parent, edge.second);
    std::vector<double> volume(count, 0.0);
    for (const IndexTriple& face : object.faces) {
        const Vec4 &a = object.vertices[face[0]], &b = object.vertices[face[1]], &c = object.vertices[face[2]];
        const double cross[3] = {(double)b.y * c.z - (double)b.z * c.y, (double)b.z * c.x - (double)b.x * c.z,
                                 (double)b.x * c.y - (double)b.y * c.x};
        volume[findRoot(parent, welded[face[0]])] += a.x * cross[0] + a.y * cross[1] + a.z * cross[2];
    }
    for (const std::pair<int, int>& edge : edges)
        if (!(volume[findRoot(parent, edge.first)] > 0.0)) return false;
    return true;
}

// Corner `corner` (bit 0: x, bit 1: y, bit 2: z at the box's maximum) in clip coordinates.
static void clipCorner(const float m[16], const float boxMin[3], const float boxMax[3], int corner, float clip[4])
{
    const float x = corner & 1 ? boxMax[0] : boxMin[0];
    const float y = corner & 2 ? boxMax[1] : boxMin[1];
    const float z = corner & 4 ? boxMax[2] : boxMin[2];
    for (int r = 0; r < 4; r++) clip[r] = m[r] * x + m[4 + r] * y + m[8 + r] * z + m[12 + r];
}

void widenScreenBounds(const float m[16], const float boxMin[3], const float boxMax[3], float bounds[4])
{
    // Near the eye plane a corner's projection runs off to infinity: a w this small counts as behind.
    static const float NEAREST_W = 1.0e-4f;
    for (int corner = 0; corner < 8; corner++) {
        float clip[4];
        clipCorner(m, boxMin, boxMax, corner, clip);
        if (!(clip[3] > NEAREST_W)) {
            bounds[0] = bounds[1] = -1.0f;
            bounds[2] = bounds[3] = 1.0f;
            return;
        }
        const float ndc[2] = {clip[0] / clip[3], clip[1] / clip[3]};
        for (int axis = 0; axis < 2; axis++) {
            const float v = ndc[axis] < -1.0f ? -1.0f : ndc[axis] > 1.0f ? 1.0f : ndc[axis];
            if (v < bounds[axis]) bounds[axis] = v;
            if (v > bounds[2 + axis]) bounds[2 + axis] = v;
        }
    }
}

void widenBox(float bounds[4], const float box[4])
{
    if (!(box[0] <= box[2] && box[1] <= box[3])) return;
    for (int axis = 0; axis < 2; axis++) {
        if (box[axis] < bounds[axis]) bounds[axis] = box[axis];
        if (box[2 + axis] > bounds[2 + axis]) bounds[2 + axis] = box[2 + axis];
    }
}

bool boxOutsideClipVolume(const float m[16], const float boxMin[3], const float boxMax[3])
{
    // Per plane (x >= -w, x <= w, y >= -w, y <= w, z >= -w, z <= w): how many corners lie outside.
    int outside[6] = {0, 0, 0, 0, 0, 0};
    for (int corner = 0; corner < 8; corner++) {
        float clip[4];
        clipCorner(m, boxMin, boxMax, corner, clip);
        for (int axis = 0; axis < 3; axis++) {
            if (clip[axis] < -clip[3]) outside[2 * axis]++;
            if (clip[axis] > clip[3]) outside[2 * axis + 1]++;
        }
    }
    for (int plane = 0; plane < 6; plane++)
        if (outside[plane] == 8) return true;
    return false;
}

float boxFarthestDepth(const float viewFromObject[16], const float boxMin[3], const float boxMax[3])
{
    float farthest = -1.0e30f;
    for (int corner = 0; corner < 8; corner++) {
        float view[4];
        clipCorner(viewFromObject, boxMin, boxMax, corner, view);
        if (-view[2] > farthest) farthest = -view[2];
    }
    return farthest;
}

// The cube's six faces: the outward normal, then the four corners counter-clockwise from outside.
static const float UNIT_CUBE[6][5][3] = {
    {{1, 0, 0}, {1, -1, 1}, {1, -1, -1}, {1, 1, -1}, {1, 1, 1}},
    {{0, 1, 0}, {1, 1, 1}, {1, 1, -1}, {-1, 1, -1}, {-1, 1, 1}},
    {{0, 0, 1}, {1, 1, 1}, {-1, 1, 1}, {-1, -1, 1}, {1, -1, 1}},
    {{-1, 0, 0}, {-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}, {-1, -1, -1}},
    {{0, -1, 0}, {-1, -1, 1}, {-1, -1, -1}, {1, -1, -1}, {1, -1, 1}},
    {{0, 0, -1}, {-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}, {1, -1, -1}},
};

void unitCubeQuads(float x, float y, float z)
{
    for (const auto& face : UNIT_CUBE) {
        glNormal3fv(face[0]);
        for (int corner = 1; corner <= 4; corner++)
            glVertex3f(face[corner][0] + x, face[corner][1] + y, face[corner][2] + z);
    }
}

void drawUnitCube()
{
    glBegin(GL_QUADS);
    unitCubeQuads(0.0f, 0.0f, 0.0f);
    glEnd();
}

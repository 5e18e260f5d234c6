// dae_loader: the COLLADA subset of the show's models. See dae_loader.h.
#include "util/objects3d/dae_loader.h"

#include "platform/report.h"           // FATAL, CHECK_GL
#include "util/data/data.h"            // readAsset
#include "util/objects3d/camera.h"     // multiplyMatrices
#include "util/objects3d/model.h"      // Model, SceneNode, GeomObject
#include "util/texture/texture.h"      // Texture

#include <ctype.h>
#include <errno.h>
#include <limits.h>
#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <strings.h>
#include <stdlib.h>
#include <string.h>
#include <map>
#include <tinyxml.h>

enum { MESSAGE_BYTES = 1024 };

struct DaeImage {
    std::string id;
    std::string fileName; // text of its init_from
};

struct DaeParser {
    Model* model;
    DaeTextures* textures;
    std::vector<DaeImage> images;
    std::string* message;
    size_t modelBytesAllowed;  // what the model's lists may take: DAE_MODEL_BYTES_PER_FILE_BYTE x size + constant
    size_t modelBytes = 0;     // what they take so far
    // The current mesh's sources, each parsed once however many "triangles" read it.
    std::map<std::string, std::vector<Vec4>> meshSources;
};

static bool fail(DaeParser* p, const char* format, ...) __attribute__((format(printf, 2, 3)));
static bool fail(DaeParser* p, const char* format, ...)
{
    char text[MESSAGE_BYTES];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    *p->message = text;
    return false;
}

// Counts `bytes` more of the model's lists against the budget of the load; false (with the report)
// when they would pass it. Called before the lists are filled, so a refused load never holds them.
static bool charge(DaeParser* p, size_t bytes, const char* what, const char* name)
{
    if (bytes > p->modelBytesAllowed - p->modelBytes)
        return fail(p, "%s %s would take the model past %llu bytes (DAE_MODEL_BYTES_PER_FILE_BYTE x file size "
                    "+ DAE_MODEL_BYTES_CONSTANT); refused",
                    what, name, (unsigned long long)p->modelBytesAllowed);
    p->modelBytes += bytes;
    return true;
}

// >> element access (TinyXML answers null for anything missing)

static const char* attribute(const TiXmlElement* element, const char* name)
{
    const char* value = element->Attribute(name);
    return value ? value : "";
}

static const char* text(const TiXmlElement* element)
{
    const char* value = element ? element->GetText() : nullptr;
    return value ? value : "";
}

// A "url" or "source" reference without its leading "#".
static std::string reference(const TiXmlElement* element, const char* name)
{
    const char* value = attribute(element, name);
    return value[0] ? std::string(value + 1) : std::string();
}

// >> numbers

static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Reads whitespace-separated numbers; false when a token is not wholly a number or there are more
// than `limit`.
static bool readFloats(const char* s, std::vector<float>* out, size_t limit)
{
    out->clear();
    while (true) {
        while (isSpace(*s)) s++;
        if (!*s) return true;
        if (out->size() >= limit) return false;
        char* end;
        float value = strtof(s, &end);
        if (end == s || (*end && !isSpace(*end))) return false;
        out->push_back(value);
        s = end;
    }
}

static bool readInts(const char* s, std::vector<int32_t>* out, size_t limit)
{
    out->clear();
    while (true) {
        while (isSpace(*s)) s++;
        if (!*s) return true;
        if (out->size() >= limit) return false;
        char* end;
        errno = 0;
        long value = strtol(s, &end, 0); // "%i": decimal, octal or hexadecimal
        if (end == s || (*end && !isSpace(*end))) return false;
        if (errno == ERANGE || value < INT32_MIN || value > INT32_MAX) return false;
        out->push_back((int32_t)value);
        s = end;
    }
}

// Reads up to `count` leading numbers into values (those present replace the defaults, as a
// formatted read does); returns how many were read.
static int readLeadingFloats(const char* s, float* values, int count)
{
    int read = 0;
    while (read < count) {
        while (isSpace(*s)) s++;
        char* end;
        float value = strtof(s, &end);
        if (end == s) break;
        values[read++] = value;
        s = end;
    }
    return read;
}

// >> matrices (column-major, post-multiplied as the OpenGL matrix stack does)

static void multiply(float m[16], const float r[16])
{
    float out[16];
    multiplyMatrices(m, r, out);
    memcpy(m, out, sizeof out);
}

static void identity(float m[16])
{
    for (int i = 0; i < 16; i++) m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

static void translate(float m[16], float x, float y, float z)
{
    float t[16];
    identity(t);
    t[12] = x;
    t[13] = y;
    t[14] = z;
    multiply(m, t);
}

static void scale(float m[16], float x, float y, float z)
{
    float s[16];
    identity(s);
    s[0] = x;
    s[5] = y;
    s[10] = z;
    multiply(m, s);
}

// As glRotatef: degrees about the normalised axis; a zero axis leaves the matrix unchanged.
static void rotate(float m[16], float angle, float x, float y, float z)
{
    float length = sqrtf(x * x + y * y + z * z);
    if (!(length > 1e-6f)) return;
    x /= length;
    y /= length;
    z /= length;
    float a = angle * 0.017453292f;
    float c = cosf(a), s = sinf(a), t = 1 - c;
    float r[16];
    identity(r);
    r[0] = x * x * t + c;
    r[1] = y * x * t + z * s;
    r[2] = x * z * t - y * s;
    r[4] = x * y * t - z * s;
    r[5] = y * y * t + c;
    r[6] = y * z * t + x * s;
    r[8] = x * z * t + y * s;
    r[9] = y * z * t - x * s;
    r[10] = z * z * t + c;
    multiply(m, r);
}

// >> document checks

// Deepest element nesting, counted on the raw text so that a hostile document cannot drive the
// XML parser's recursion off the stack. The scan reads markup the way the parser does: quoted
// attribute values, comments and CDATA hide their '<', '>' and '/'; other markup ("<?", "<!")
// nests nothing and ends at its first '>'. An XML declaration inside an element (whose quoted
// values the parser reads past a '>') counts as too deep. Where the scan could differ from the
// parser it counts deeper, never shallower.
static const char* skipPast(const char* s, const char* end)
{
    const char* found = strstr(s, end);
    return found ? found + strlen(end) : s + strlen(s);
}

static int elementDepth(const char* s)
{
    int depth = 0, deepest = 0;
    while (*s) {
        unsigned char next = (unsigned char)s[1];
        if (*s != '<') {
            s++;
        } else if (!strncmp(s, "<!--", 4)) {
            s = skipPast(s + 4, "-->");
        } else if (!strncmp(s, "<![CDATA[", 9)) {
            s = skipPast(s + 9, "]]>");
        } else if (next == '/') {
            s = skipPast(s + 2, ">");
            if (depth > 0) depth--;
        } else if (isalpha(next) || next == '_' || next >= 127) { // the parser takes any high byte as a letter
            // An opening tag: it nests unless it ends in "/>".
            bool selfClosing = false;
            for (s++; *s && *s != '>';) {
                if (*s != '=') {
                    selfClosing = *s++ == '/';
                    continue;
                }
                for (s++; isSpace(*s); s++) {}
                if (*s == '"' || *s == '\'') {
                    const char* close = strchr(s + 1, *s);
                    s = close ? close + 1 : s + strlen(s);
                } else {
                    while (*s && !isSpace(*s) && *s != '/' && *s != '>') s++;
                }
                selfClosing = false;
            }
            if (*s) s++;
            if (!selfClosing && ++depth > deepest) deepest = depth;
        } else if (depth > 0 && !strncasecmp(s, "<?xml", 5)) {
            return INT_MAX;
        } else {
            s = skipPast(s + 1, ">"); // declaration, doctype or other markup
        }
    }
    return deepest;
}

// >> cameras and lights

static bool readCameras(DaeParser* p, const TiXmlElement* library)
{
    if (!library) return true;
    for (const TiXmlElement* e = library->FirstChildElement(); e; e = e->NextSiblingElement()) {
        Camera camera;
        camera.name = attribute(e, "id");
        const TiXmlElement* optics = e->FirstChildElement("optics");
        const TiXmlElement* technique = optics ? optics->FirstChildElement("technique_common") : nullptr;
        const TiXmlElement* perspective = technique ? technique->FirstChildElement("perspective") : nullptr;
        if (!perspective) return fail(p, "No camera perspective info found for camera %s\n", camera.name.c_str());
        readLeadingFloats(text(perspective->FirstChildElement("yfov")), &camera.fov, 1);
        readLeadingFloats(text(perspective->FirstChildElement("znear")), &camera.nearPlane, 1);
        readLeadingFloats(text(perspective->FirstChildElement("zfar")), &camera.farPlane, 1);
        p->model->cameras.push_back(camera);
    }
    return true;
}

// An attenuation present in the file; a zero is taken as `zeroMeans`.
static void readAttenuation(const TiXmlElement* point, const char* name, float zeroMeans, float* value)
{
    const TiXmlElement* e = point->FirstChildElement(name);
    if (!e) return;
    if (readLeadingFloats(text(e), value, 1) == 1 && *value == 0) *value = zeroMeans;
}

static bool readLights(DaeParser* p, const TiXmlElement* library)
{
    if (!library) return true;
    for (const TiXmlElement* e = library->FirstChildElement(); e; e = e->NextSiblingElement()) {
        Light light;
        light.name = attribute(e, "id");
        const TiXmlElement* technique = e->FirstChildElement("technique_common");
        const TiXmlElement* point = technique ? technique->FirstChildElement("point") : nullptr;
        if (point) {
            const TiXmlElement* color = point->FirstChildElement("color");
            if (color) {
                float rgb[3] = {light.diffuse.x, light.diffuse.y, light.diffuse.z};
                readLeadingFloats(text(color), rgb, 3);
                light.ambient = light.diffuse = light.specular = {rgb[0], rgb[1], rgb[2], 1};
            }
            readAttenuation(point, "constant_attenuation", 1, &light.constantAttenuation);
            readAttenuation(point, "linear_attenuation", 0.05f, &light.linearAttenuation);
            readAttenuation(point, "quadratic_attenuation", 0.05f, &light.quadraticAttenuation);
        }
        p->model->lights.push_back(light);
    }
    return true;
}

// >> images, materials and effects

// The effect-level parameter with this sid (looked for in the profile, then in the effect).
static const TiXmlElement* findNewparam(const TiXmlElement* effect, const TiXmlElement* profile, const std::string& sid)
{
    const TiXmlElement* scopes[2] = {profile, effect};
    for (const TiXmlElement* scope : scopes)
        for (const TiXmlElement* e = scope->FirstChildElement("newparam"); e; e = e->NextSiblingElement("newparam"))
            if (sid == attribute(e, "sid")) return e;
    return nullptr;
}

// One colour channel of a shading model; *textureFile is set when the channel is a texture.
static bool readChannel(DaeParser* p, const TiXmlElement* effect, const TiXmlElement* profile,
                        const TiXmlElement* channel, float colour[4], std::string* textureFile)
{
    colour[0] = colour[1] = colour[2] = colour[3] = 1;
    if (!channel) return true;
    const TiXmlElement* first = channel->FirstChildElement();
    if (first && strcmp(first->Value(), "color") == 0) {
        readLeadingFloats(text(first), colour, 4);
        return true;
    }
    if (first && strcmp(first->Value(), "texture") == 0) {
        std::string samplerSid = attribute(first, "texture");
        const TiXmlElement* sampler = findNewparam(effect, profile, samplerSid);
        if (!sampler) return fail(p, "Couldn't find match for texture sampler %s\n", samplerSid.c_str());
        std::string surfaceSid = text(sampler->FirstChildElement() ? sampler->FirstChildElement()->FirstChildElement("source") : nullptr);
        const TiXmlElement* surface = findNewparam(effect, profile, surfaceSid);
        if (!surface) return fail(p, "Couldn't find match for texture surface %s\n", surfaceSid.c_str());
        std::string imageId = text(surface->FirstChildElement() ? surface->FirstChildElement()->FirstChildElement("init_from") : nullptr);
        const DaeImage* image = nullptr;
        for (const DaeImage& candidate : p->images)
            if (candidate.id == imageId) { image = &candidate; break; }
        if (!image) return fail(p, "Couldn't find match for texture name %s\n", imageId.c_str());
        // Files exported on one system name folders with either separator: keep the bare name.
        size_t cut = image->fileName.find_last_of("/\\");
        std::string bare = cut == std::string::npos ? image->fileName : image->fileName.substr(cut + 1);
        *textureFile = p->model->directory + bare;
        colour[0] = colour[1] = colour[2] = 1;
        return true;
    }
    return fail(p, "  Couldn't find either color or texture for this material, child is %s\n",
                first ? first->Value() : "(null)");
}

static bool readMaterialsAndEffects(DaeParser* p, const TiXmlElement* images, const TiXmlElement* materials,
                                    const TiXmlElement* effects)
{
    if (images)
        for (const TiXmlElement* e = images->FirstChildElement(); e; e = e->NextSiblingElement())
            p->images.push_back({attribute(e, "id"), text(e->FirstChildElement("init_from"))});

    p->model->materials.push_back(Material());
    p->textures->materialTexture.push_back(-1);
    if (materials)
        for (const TiXmlElement* e = materials->FirstChildElement(); e; e = e->NextSiblingElement()) {
            Material material;
            material.name = attribute(e, "id");
            const TiXmlElement* instance = e->FirstChildElement("instance_effect");
            material.effectId = instance ? reference(instance, "url") : std::string();
            p->model->materials.push_back(material);
            p->textures->materialTexture.push_back(-1);
        }

    if (!effects) return true;
    for (const TiXmlElement* effect = effects->FirstChildElement(); effect; effect = effect->NextSiblingElement()) {
        const TiXmlElement* profile = effect->FirstChildElement();
        const TiXmlElement* technique = profile ? profile->FirstChildElement("technique") : nullptr;
        const TiXmlElement* shading = technique ? technique->FirstChildElement() : nullptr;
        if (!shading) return fail(p, "element is NULL");

        float emission[4], ambient[4], diffuse[4], specular[4];
        std::string textureFile, unused;
        if (!readChannel(p, effect, profile, shading->FirstChildElement("emission"), emission, &unused)) return false;
        if (!readChannel(p, effect, profile, shading->FirstChildElement("ambient"), ambient, &unused)) return false;
        if (!readChannel(p, effect, profile, shading->FirstChildElement("diffuse"), diffuse, &textureFile)) return false;
        if (!readChannel(p, effect, profile, shading->FirstChildElement("specular"), specular, &unused)) return false;
        float shininess = 20;
        const TiXmlElement* shine = shading->FirstChildElement("shininess");
        if (shine) readLeadingFloats(text(shine->FirstChildElement()), &shininess, 1);

        int textureIndex = -1;
        if (!textureFile.empty()) {
            textureIndex = (int)p->textures->files.size();
            p->textures->files.push_back(textureFile);
        }
        std::string id = attribute(effect, "id");
        for (size_t i = 0; i < p->model->materials.size(); i++) {
            Material& material = p->model->materials[i];
            if (material.effectId != id) continue;
            memcpy(material.emission, emission, sizeof emission);
            memcpy(material.ambient, ambient, sizeof ambient);
            memcpy(material.diffuse, diffuse, sizeof diffuse);
            memcpy(material.specular, specular, sizeof specular);
            material.shininess = shininess;
            if (textureIndex >= 0) p->textures->materialTexture[i] = textureIndex;
        }
    }
    return true;
}

// >> geometries

enum { INPUT_VERTEX, INPUT_NORMAL, INPUT_TEXCOORD, INPUT_KINDS };

struct DaeInput {
    bool present = false;
    std::string source;
    int offset = 0;
};

// Reads a source's numbers into pairs (u, v, 1) or triples.
static bool readSource(DaeParser* p, const TiXmlElement* source, std::vector<Vec4>* out)
{
    const char* id = attribute(source, "id");
    const TiXmlElement* technique = source->FirstChildElement("technique_common");
    const TiXmlElement* accessor = technique ? technique->FirstChildElement("accessor") : nullptr;
    if (!accessor) return fail(p, "Failed to retrieve accessor src_el!");
    int stride = 1;
    accessor->QueryIntAttribute("stride", &stride);
    if (stride != 2 && stride != 3) return fail(p, "Invalid source stride %i", stride);
    std::vector<float> values;
    if (!readFloats(text(source->FirstChildElement("float_array")), &values, DAE_MAX_VALUES) ||
        values.size() % stride != 0)
        return fail(p, "Failed to parse source");
    int count = -1;
    if (accessor->QueryIntAttribute("count", &count) == TIXML_SUCCESS &&
        (count < 0 || (size_t)count > values.size() / stride))
        return fail(p, "Source %s holds %i values, but its accessor reads %i of stride %i", id, (int)values.size(),
                    count, stride);
    out->clear();
    out->reserve(values.size() / stride);
    for (size_t i = 0; i + stride <= values.size(); i += stride)
        out->push_back({values[i], values[i + 1], stride == 3 ? values[i + 2] : 1.0f, 0});
    return true;
}

// One triple per triangle: the index at `offset` of each corner's `stride` indices.
static void pickTriples(const std::vector<int32_t>& indices, int stride, int offset, std::vector<IndexTriple>* out)
{
    out->clear();
    size_t perTriangle = 3 * (size_t)stride;
    out->reserve(indices.size() / perTriangle);
    for (size_t t = 0; t + perTriangle <= indices.size(); t += perTriangle) {
        IndexTriple triple;
        for (int j = 0; j < 3; j++) triple[j] = indices[t + j * stride + offset];
        out->push_back(triple);
    }
}

static bool readTriangles(DaeParser* p, const std::string& geometryId, const TiXmlElement* mesh,
                          const TiXmlElement* triangles)
{
    GeomObject object;
    object.name = geometryId;
    const char* materialName = triangles->Attribute("material");
    if (materialName) {
        int found = -1;
        for (size_t i = 0; i < p->model->materials.size() && found < 0; i++)
            if (p->model->materials[i].name == materialName) found = (int)i;
        if (found < 0) return fail(p, "Couldn't find material entry for %s. Corrupt file?", materialName);
        object.materialIndex = found;
        object.materialName = materialName;
    }

    DaeInput inputs[INPUT_KINDS];
    int stride = 0;
    for (const TiXmlElement* e = triangles->FirstChildElement("input"); e; e = e->NextSiblingElement("input")) {
        stride++;
        const char* semantic = attribute(e, "semantic");
        int kind;
        if (strcmp(semantic, "VERTEX") == 0) kind = INPUT_VERTEX;
        else if (strcmp(semantic, "NORMAL") == 0) kind = INPUT_NORMAL;
        else if (strcmp(semantic, "TEXCOORD") == 0) kind = INPUT_TEXCOORD;
        else return fail(p, "Unimplemented input type %s\n", semantic);
        inputs[kind].present = true;
        inputs[kind].source = reference(e, "source");
        inputs[kind].offset = 0;
        e->QueryIntAttribute("offset", &inputs[kind].offset);
    }

    std::string positionSource;
    const TiXmlElement* vertices = mesh->FirstChildElement("vertices");
    if (vertices)
        for (const TiXmlElement* e = vertices->FirstChildElement(); e; e = e->NextSiblingElement()) {
            if (strcmp(e->Value(), "input") != 0) return fail(p, "Unexpected vert_el in vertices: %s\n", e->Value());
            const char* semantic = attribute(e, "semantic");
            if (strcmp(semantic, "POSITION") != 0)
                return fail(p, "Uhm, got input semantic other than POSITION from a vertices vert_el: %s. Bah.", semantic);
            positionSource = reference(e, "source");
        }

    for (const TiXmlElement* source = mesh->FirstChildElement("source"); source;
         source = source->NextSiblingElement("source")) {
        std::string id = attribute(source, "id");
        std::vector<Vec4>* target;
        if (id == positionSource) target = &object.vertices;
        else if (inputs[INPUT_NORMAL].present && id == inputs[INPUT_NORMAL].source) target = &object.normals;
        else if (inputs[INPUT_TEXCOORD].present && id == inputs[INPUT_TEXCOORD].source) target = &object.texCoords;
        else return fail(p, "Unexpected source %s\n", id.c_str());
        // Sources are parsed once per mesh; each mesh built from one pays for its own copy.
        auto cached = p->meshSources.find(id);
        if (cached == p->meshSources.end()) {
            std::vector<Vec4> values;
            if (!readSource(p, source, &values)) return false;
            if (!charge(p, values.size() * sizeof(Vec4), "Source", id.c_str())) return false;
            cached = p->meshSources.emplace(id, std::move(values)).first;
        }
        if (!charge(p, cached->second.size() * sizeof(Vec4), "A copy of source", id.c_str())) return false;
        *target = cached->second;
    }

    const TiXmlElement* indexElement = triangles->FirstChildElement("p");
    if (!indexElement) return fail(p, "ind_el is NULL");
    static const char* const FAILURES[INPUT_KINDS] = {"Failed to parse vertex indices", "Failed to parse normal indices",
                                                      "Failed to parse texcoord indices"};
    std::vector<IndexTriple>* lists[INPUT_KINDS] = {&object.faces, &object.normalFaces, &object.texFaces};
    std::vector<int32_t> indices;
    bool indicesRead = false;
    for (int kind = 0; kind < INPUT_KINDS; kind++) {
        if (!inputs[kind].present) continue;
        if (stride < 1 || stride > 4) return fail(p, "Unsupported stride: %i", stride);
        if (!indicesRead) {
            if (!readInts(text(indexElement), &indices, DAE_MAX_VALUES)) return fail(p, "%s", FAILURES[kind]);
            if (indices.size() % (3 * (size_t)stride) != 0)
                return fail(p, "Index list of %s holds %i numbers, not whole triangles of %i inputs per corner",
                            geometryId.c_str(), (int)indices.size(), stride);
            indicesRead = true;
        }
        if (inputs[kind].offset < 0 || inputs[kind].offset >= stride)
            return fail(p, "Input offset %i of %s lies outside its %i inputs per corner", inputs[kind].offset,
                        geometryId.c_str(), stride);
        if (!charge(p, indices.size() / stride / 3 * sizeof(IndexTriple), "The index list of", geometryId.c_str()))
            return false;
        pickTriples(indices, stride, inputs[kind].offset, lists[kind]);
    }
    if (!charge(p, sizeof(GeomObject) + geometryId.size(), "Mesh", geometryId.c_str())) return false;
    p->model->geomObjects.push_back(std::move(object));
    return true;
}

static bool readGeometries(DaeParser* p, const TiXmlElement* library)
{
    for (const TiXmlElement* geometry = library->FirstChildElement(); geometry;
         geometry = geometry->NextSiblingElement()) {
        const TiXmlElement* mesh = geometry->FirstChildElement();
        if (!mesh) continue;
        std::string id = attribute(geometry, "id");
        p->meshSources.clear();
        for (const TiXmlElement* t = mesh->FirstChildElement("triangles"); t; t = t->NextSiblingElement("triangles"))
            if (!readTriangles(p, id, mesh, t)) return false;
        // The parsed sources leave with their mesh: the budget takes them back.
        for (const auto& source : p->meshSources) p->modelBytes -= source.second.size() * sizeof(Vec4);
        p->meshSources.clear();
    }
    return true;
}

// >> visual scene

// Reads the first `count` numbers of a transform element; any after them are ignored.
static bool readTransform(DaeParser* p, const TiXmlElement* e, const char* nodeName, float* values, int count)
{
    if (readLeadingFloats(text(e), values, count) < count)
        return fail(p, "The %s of node %s needs %i numbers", e->Value(), nodeName, count);
    return true;
}

static bool placeCamera(DaeParser* p, const TiXmlElement* nodeElement, const SceneNode& node, Camera* camera)
{
    memcpy(camera->matrix, node.matrix, sizeof camera->matrix);
    const TiXmlElement* move = nodeElement->FirstChildElement("translate");
    if (move) {
        float v[3];
        if (!readTransform(p, move, node.name.c_str(), v, 3)) return false;
        moveCamera(camera, v[0], v[1], v[2]);
    }
    for (const TiXmlElement* e = nodeElement->FirstChildElement("rotate"); e; e = e->NextSiblingElement("rotate")) {
        float r[4];
        if (!readTransform(p, e, node.name.c_str(), r, 4)) return false;
        if (r[0] == 1) pitchCamera(camera, r[3]);
        else if (r[1] == 1) yawCamera(camera, r[3]);
        else if (r[2] == 1) rollCamera(camera, r[3]);
    }
    return true;
}

static bool walkNode(DaeParser* p, const TiXmlElement* element, SceneNode* node, int depth)
{
    if (depth > DAE_MAX_NODE_DEPTH)
        return fail(p, "Node %s lies deeper than DAE_MAX_NODE_DEPTH (%i)", node->name.c_str(), DAE_MAX_NODE_DEPTH);
    Model* model = p->model;
    const char* name = node->name.c_str();
    for (const TiXmlElement* e = element->FirstChildElement(); e; e = e->NextSiblingElement()) {
        const char* kind = e->Value();
        if (strcmp(kind, "node") == 0) {
            SceneNode child;
            child.name = attribute(e, "id");
            if (!walkNode(p, e, &child, depth + 1)) return false;
            node->children.push_back(std::move(child));
        } else if (strcmp(kind, "translate") == 0) {
            float v[3];
            if (!readTransform(p, e, name, v, 3)) return false;
            translate(node->matrix, v[0], v[1], v[2]);
        } else if (strcmp(kind, "scale") == 0) {
            float v[3];
            if (!readTransform(p, e, name, v, 3)) return false;
            scale(node->matrix, v[0], v[1], v[2]);
        } else if (strcmp(kind, "rotate") == 0) {
            float v[4];
            if (!readTransform(p, e, name, v, 4)) return false;
            rotate(node->matrix, v[3], v[0], v[1], v[2]);
        } else if (strcmp(kind, "matrix") == 0) {
            float rows[16];
            if (!readTransform(p, e, name, rows, 16)) return false;
            for (int r = 0; r < 4; r++)
                for (int c = 0; c < 4; c++) node->matrix[c * 4 + r] = rows[r * 4 + c];
        } else if (strcmp(kind, "instance_geometry") == 0) {
            std::string url = reference(e, "url");
            bool found = false;
            for (size_t i = 0; i < model->geomObjects.size(); i++) {
                GeomObject& object = model->geomObjects[i];
                if (object.name != url) continue;
                found = true;
                std::vector<int>& indices = node->geometryIndices;
                if (indices.size() == indices.capacity()) { // grown here, so the budget sees the capacity
                    size_t grown = indices.capacity() < 8 ? 8 : 2 * indices.capacity();
                    size_t bytes = (grown - indices.capacity()) * sizeof(int);
                    if (!charge(p, bytes, "An instance of", url.c_str())) return false;
                    indices.reserve(grown);
                }
                indices.push_back((int)i);
                if (!object.texFaces.empty() && p->textures->materialTexture[object.materialIndex] >= 0)
                    object.hasTexture = true;
            }
            if (!found) return fail(p, "Couldn't find matching geometry for %s. Corrupt file?", url.c_str());
        } else if (strcmp(kind, "instance_camera") == 0) {
            std::string url = reference(e, "url");
            Camera* camera = nullptr;
            for (Camera& candidate : model->cameras)
                if (candidate.name == url) { camera = &candidate; break; }
            if (!camera) return fail(p, "Couldn't find matching camera for %s. Corrupt file?", url.c_str());
            if (!placeCamera(p, element, *node, camera)) return false;
        } else if (strcmp(kind, "instance_light") == 0) {
            std::string url = reference(e, "url");
            Light* light = nullptr;
            for (Light& candidate : model->lights)
                if (candidate.name == url) { light = &candidate; break; }
            if (!light) return fail(p, "Couldn't find matching light for %s. Corrupt file?", url.c_str());
            const TiXmlElement* move = element->FirstChildElement("translate");
            if (move) {
                float v[3];
                if (!readTransform(p, move, name, v, 3)) return false;
                light->position.x = v[0];
                light->position.y = v[1];
                light->position.z = v[2];
            }
        }
        node->mirrored = matrixDeterminant3(node->matrix) < 0;
    }
    return true;
}

// >> the document

size_t daeModelBytesAllowed(size_t fileBytes)
{
    return DAE_MODEL_BYTES_PER_FILE_BYTE * fileBytes + DAE_MODEL_BYTES_CONSTANT;
}

bool parseDae(const char* documentText, const char* path, Model* model, DaeTextures* textures, std::string* message)
{
    DaeParser parser;
    parser.model = model;
    parser.textures = textures;
    parser.message = message;
    parser.modelBytesAllowed = daeModelBytesAllowed(strlen(documentText));
    DaeParser* p = &parser;
    *textures = DaeTextures();

    if (elementDepth(documentText) > DAE_MAX_XML_DEPTH)
        return fail(p, "Could not load %s. Error='Elements nested deeper than DAE_MAX_XML_DEPTH (%i)'. Exiting.\n",
                    path, DAE_MAX_XML_DEPTH);
    TiXmlDocument document;
    document.Parse(documentText);
    if (document.Error()) return fail(p, "Could not load %s. Error='%s'. Exiting.\n", path, document.ErrorDesc());

    const char* slash = strrchr(path, '/');
    model->directory = slash ? std::string(path, slash + 1 - path) : std::string();

    const TiXmlElement* root = document.FirstChildElement("COLLADA");
    if (!root) return fail(p, "node is NULL");
    const TiXmlElement* cameras = root->FirstChildElement("library_cameras");
    const TiXmlElement* lights = root->FirstChildElement("library_lights");
    const TiXmlElement* images = root->FirstChildElement("library_images");
    const TiXmlElement* materials = root->FirstChildElement("library_materials");
    const TiXmlElement* effects = root->FirstChildElement("library_effects");
    const TiXmlElement* geometries = root->FirstChildElement("library_geometries");
    const TiXmlElement* scenes = root->FirstChildElement("library_visual_scenes");
    if (!geometries) return fail(p, "node_geometries is NULL");
    if (!scenes) return fail(p, "node_visual_scenes is NULL");

    if (!readCameras(p, cameras)) return false;
    if (!readLights(p, lights)) return false;
    if (!readMaterialsAndEffects(p, images, materials, effects)) {
        textures->filesBeforeFailure = textures->files.size();
        return false;
    }
    textures->filesBeforeFailure = textures->files.size();
    if (!readGeometries(p, geometries)) return false;

    const TiXmlElement* scene = scenes->FirstChildElement();
    if (!scene) return fail(p, "scene_element is NULL");
    if (!walkNode(p, scene, &model->root, 0)) return false;
    linkSceneNodeParents(&model->root);

    // Every index the file gave, checked once against its list.
    char why[MESSAGE_BYTES];
    for (const GeomObject& object : model->geomObjects)
        if (checkGeomObject(object, (int)model->materials.size(), why, sizeof why)) return fail(p, "%s", why);
    return true;
}

static void loadTextures(Model* model, const DaeTextures& textures, size_t count)
{
    std::vector<Texture*> loaded;
    for (size_t i = 0; i < count; i++) {
        Texture* texture = new Texture();
        if (!texture->load(textures.files[i].c_str(), GL_LINEAR, GL_LINEAR, true, true))
            FATAL("Failed to load texture %s\n", textures.files[i].c_str());
        loaded.push_back(texture);
    }
    for (size_t i = 0; i < model->materials.size() && i < textures.materialTexture.size(); i++) {
        int index = textures.materialTexture[i];
        if (index >= 0 && (size_t)index < loaded.size()) model->materials[i].texture = loaded[index];
    }
}

bool loadDae(const char* path, Model* model)
{
    std::vector<uint8_t> bytes;
    if (!readAsset(path, DAE_MAX_FILE_BYTES, &bytes))
        FATAL("Could not load %s. Error='%s'. Exiting.\n", path, "Failed to open file");
    bytes.push_back('\0');
    DaeTextures textures;
    std::string message;
    CHECK_GL();
    bool parsed = parseDae((const char*)bytes.data(), path, model, &textures, &message);
    // Textures come before the geometry in the document's order, so their failures come first.
    loadTextures(model, textures, parsed ? textures.files.size() : textures.filesBeforeFailure);
    CHECK_GL();
    if (!parsed) FATAL("%s", message.c_str());
    return true;
}

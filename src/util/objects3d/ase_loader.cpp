// ase_loader: the ASE keyword scanner. See ase_loader.h.
#include "util/objects3d/ase_loader.h"

#include "platform/platform.h"         // platformMessageBox
#include "platform/report.h"           // FATAL, FATAL_LOCATION, reportErrorBox
#include "util/objects3d/model.h"      // Model, GeomObject, Material
#include "util/texture/texture.h"      // Texture

#include <algorithm> // std::min
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string_view>

static const size_t NONE = std::string::npos;
// A caption longer than this is cut (it comes from the file).
enum { SNIPPET_MAX_CHARS = 200, TEXT_BYTES = 512 };
// A number's characters are copied for conversion up to its terminator, but never more than this:
// the conversion stops at the first character that cannot belong to the number anyway, and a
// terminator far away (or missing) would otherwise copy the rest of the file for every number.
enum { NUMBER_MAX_CHARS = 128 };

// Length of the characters from start up to end (or the end of the text), at most NUMBER_MAX_CHARS.
static size_t numberLength(size_t start, size_t end)
{
    size_t length = end == NONE ? NONE : end - start;
    return length < (size_t)NUMBER_MAX_CHARS ? length : (size_t)NUMBER_MAX_CHARS;
}

// >> number reading

// The first character at or after `from` that can start a number.
static size_t numberStart(const std::string& text, size_t from)
{
    if (from == NONE || from >= text.size()) return NONE;
    return text.find_first_of("-0123456789", from);
}

static size_t findFrom(const std::string& text, const char* what, size_t from)
{
    if (from == NONE || from > text.size()) return NONE;
    return text.find(what, from);
}

static size_t findFrom(const std::string& text, char what, size_t from)
{
    if (from == NONE || from > text.size()) return NONE;
    return text.find(what, from);
}

// Position of `what` starting at or after `from` and no later than `limit` (NONE: no limit).
// Searches inside a material block stop at its end, so a block never scans the rest of the file.
static size_t findUpTo(const std::string& text, const char* what, size_t from, size_t limit)
{
    if (limit == NONE) return findFrom(text, what, from);
    if (from == NONE || from > limit || from > text.size()) return NONE;
    std::string_view window(text.data() + from, std::min(limit + strlen(what), text.size()) - from);
    size_t at = window.find(what);
    return at == std::string_view::npos ? NONE : from + at;
}

// Position of `what` inside the object that starts at `object` (before `nextObject`, NONE: the
// last object). A list of a later object is never read as this one's, so a stub object cannot
// copy the lists of the object after it, and no search runs past the object's end.
static size_t findInObject(const std::string& text, const char* what, size_t object, size_t nextObject)
{
    if (nextObject == NONE) return findFrom(text, what, object);
    size_t at = findUpTo(text, what, object, nextObject);
    return at != NONE && at < nextObject ? at : NONE;
}

// The characters from start up to end (or the end of the text), converted as far as they form one.
static float toFloat(const std::string& text, size_t start, size_t end)
{
    std::string part = text.substr(start, numberLength(start, end));
    return strtof(part.c_str(), nullptr);
}

static int toInt(const std::string& text, size_t start, size_t end)
{
    if (start == NONE || start > text.size()) return 0;
    if (end != NONE && end < start) return 0;
    std::string part = text.substr(start, numberLength(start, end));
    long value = strtol(part.c_str(), nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return (int)value;
}

// Reads `count` numbers from `*cursor`, each ending at the next `terminator`. Returns false when a
// number has no start; *lastStart is where the last number began.
static bool readNumbers(const std::string& text, size_t* cursor, char terminator, float* out, int count,
                        size_t* lastStart)
{
    for (int i = 0; i < count; i++) {
        size_t start = numberStart(text, *cursor);
        if (start == NONE) return false;
        size_t end = findFrom(text, terminator, start);
        out[i] = toFloat(text, start, end);
        *lastStart = start;
        *cursor = end;
    }
    return true;
}

// Skips an entry's leading index: its start, then the next tab. False when either is missing.
static bool skipIndex(const std::string& text, size_t keyword, size_t* cursor)
{
    size_t start = numberStart(text, keyword);
    if (start == NONE) return false;
    *cursor = findFrom(text, '\t', start);
    return *cursor != NONE;
}

// Appends one Vec4 per `keyword` entry between `from` and `end`: an index, then three numbers.
static void readVectorList(const std::string& text, const char* keyword, size_t from, size_t end,
                           std::vector<Vec4>* out)
{
    size_t entry = findUpTo(text, keyword, from, end);
    while (entry != NONE && entry <= end) {
        size_t cursor, last = entry;
        float v[3];
        if (!skipIndex(text, entry, &cursor) || !readNumbers(text, &cursor, '\t', v, 3, &last)) break;
        out->push_back({v[0], v[1], v[2], 0});
        entry = findUpTo(text, keyword, last, end);
    }
}

// >> material pass

static bool scanMaterials(const std::string& text, Model* model, AseScan* scan)
{
    size_t pos = findFrom(text, "*MATERIAL ", 1);
    while (pos != NONE) {
        size_t blockEnd = findFrom(text, "\t}", pos);
        // The id runs up to " {"; the blank ends the conversion anyway, so the brace is not searched
        // for (on a file without one, each search would scan the rest of the text).
        int id = toInt(text, pos + 10, NONE);
        Material material;
        size_t next;
        size_t bitmap = findUpTo(text, "*BITMAP \"", pos, blockEnd);
        if (bitmap != NONE && (blockEnd == NONE || bitmap <= blockEnd)) {
            size_t quote = findFrom(text, '"', bitmap + 10);
            std::string name = text.substr(bitmap + 9, quote == NONE ? NONE : quote - (bitmap + 9));
            scan->bitmaps.push_back(ASE_IMAGE_DIRECTORY + name);
            next = bitmap;
        } else {
            size_t diffuse = findUpTo(text, "*MATERIAL_DIFFUSE ", pos + 10, blockEnd);
            if (diffuse == NONE || (blockEnd != NONE && diffuse > blockEnd)) {
                scan->verdict = ASE_MATERIAL_NO_COLOUR;
                scan->values[0] = id;
                return false;
            }
            size_t cursor = diffuse, last;
            readNumbers(text, &cursor, '\t', material.diffuse, 3, &last);
            scan->bitmaps.push_back(std::string());
            next = blockEnd;
        }
        if ((int)model->materials.size() != id) {
            scan->verdict = ASE_MATERIAL_ORDER;
            scan->values[0] = (int)model->materials.size();
            scan->values[1] = id;
            return false;
        }
        model->materials.push_back(material);
        // A block that never closes is the last one the text holds.
        if (next == NONE) break;
        pos = findFrom(text, "*MATERIAL ", next + 1);
    }
    return true;
}

// >> geometry pass

// Reads one object starting at `object`; false when the pass ends here (a list is missing or the
// verdict is set).
static bool scanObject(const std::string& text, size_t object, size_t nextObject, Model* model, AseScan* scan)
{
    GeomObject geom;
    auto beforeNext = [nextObject](size_t at) { return nextObject == NONE || at <= nextObject; };
    // A list's end: its closing brace, or the next object where that comes first.
    auto listEnd = [&text, nextObject](size_t list) {
        size_t end = findFrom(text, '}', list);
        return nextObject != NONE && end != NONE && end > nextObject ? nextObject : end;
    };

    size_t list = findInObject(text, "*MESH_VERTEX_LIST ", object, nextObject);
    size_t end = listEnd(list);
    if (list == NONE || end == NONE) return false;
    readVectorList(text, "*MESH_VERTEX ", list, end, &geom.vertices);

    list = findInObject(text, "*MESH_FACE_LIST ", object, nextObject);
    end = listEnd(list);
    if (list == NONE || end == NONE) return false;
    int k = 0;
    size_t face = findUpTo(text, "*MESH_FACE ", list, end);
    while (face != NONE && face <= end) {
        size_t cursor = findFrom(text, ':', numberStart(text, face));
        IndexTriple corners;
        size_t last = NONE;
        int j = 0;
        for (; j < 3 && cursor != NONE; j++) {
            size_t start = numberStart(text, cursor + 1);
            if (start == NONE) break;
            size_t stop = findFrom(text, ' ', start);
            corners[j] = toInt(text, start, stop);
            last = start;
            cursor = findFrom(text, ':', stop);
        }
        if (j < 3) break;
        IndexTriple normal;
        normal[0] = normal[1] = normal[2] = k;
        geom.faces.push_back(corners);
        geom.normalFaces.push_back(normal);
        k++;
        face = findUpTo(text, "*MESH_FACE ", last, end);
    }

    list = findInObject(text, "*MESH_TVERTLIST ", object, nextObject);
    if (list != NONE) {
        end = listEnd(list);
        if (end == NONE) return false;
        readVectorList(text, "*MESH_TVERT ", list, end, &geom.texCoords);
        list = findInObject(text, "*MESH_TFACELIST ", object, nextObject);
        end = listEnd(list);
        if (list == NONE || end == NONE) return false;
        size_t entry = findUpTo(text, "*MESH_TFACE ", list, end);
        while (entry != NONE && entry <= end) {
            // Texture-face indices are integers ending at a tab, like the floats around them.
            size_t cursor, last = entry;
            if (!skipIndex(text, entry, &cursor)) break;
            IndexTriple triple;
            int j = 0;
            for (; j < 3; j++) {
                size_t start = numberStart(text, cursor);
                if (start == NONE) break;
                size_t stop = findFrom(text, '\t', start);
                triple[j] = toInt(text, start, stop);
                last = start;
                cursor = stop;
            }
            if (j < 3) break;
            geom.texFaces.push_back(triple);
            entry = findUpTo(text, "*MESH_TFACE ", last, end);
        }
    }

    list = findInObject(text, "*MESH_NORMALS ", object, nextObject);
    end = listEnd(list);
    if (list == NONE || end == NONE) return false;
    readVectorList(text, "*MESH_FACENORMAL ", list, end, &geom.normals);

    size_t ref = findInObject(text, "*MATERIAL_REF ", object, nextObject);
    size_t start = ref == NONE ? NONE : numberStart(text, ref + 14);
    size_t brace = findFrom(text, '}', start);
    if (ref == NONE || !beforeNext(ref) || start == NONE || !beforeNext(start) || brace == NONE || !beforeNext(brace)) {
        scan->verdict = ASE_MATERIAL_REF_MISSING;
        return false;
    }
    geom.materialIndex = toInt(text, start, brace);
    // An index outside the materials is refused before the first draw; it is never followed here.
    int m = geom.materialIndex;
    if (!geom.texFaces.empty() && m >= 0 && (size_t)m < model->materials.size() && (size_t)m < scan->bitmaps.size() &&
        !scan->bitmaps[m].empty())
        geom.hasTexture = true;
    model->geomObjects.push_back(geom);

    if (geom.faces.size() != geom.normals.size() || (!geom.texFaces.empty() && geom.texFaces.size() != geom.faces.size())) {
        scan->verdict = ASE_COUNTS_DIFFER;
        scan->values[0] = (int)geom.faces.size();
        scan->values[1] = (int)geom.normals.size();
        scan->values[2] = (int)geom.texFaces.size();
        scan->values[3] = geom.materialIndex;
        return false;
    }
    return true;
}

static void scanGeometry(const std::string& text, Model* model, AseScan* scan)
{
    size_t object = findFrom(text, "*GEOMOBJECT ", 0);
    while (object != NONE) {
        size_t nextObject = findFrom(text, "*GEOMOBJECT ", object + 1);
        if (!scanObject(text, object, nextObject, model, scan)) return;
        object = nextObject;
    }
}

void scanAse(const std::string& text, Model* model, AseScan* scan)
{
    *scan = AseScan();
    size_t scene = text.find("*SCENE_FILENAME ");
    if (scene != NONE) {
        size_t quote = findFrom(text, '"', scene + 18);
        scan->sceneSnippet = text.substr(scene, quote == NONE ? NONE : quote + 1 - scene);
        if (scan->sceneSnippet.size() > SNIPPET_MAX_CHARS) scan->sceneSnippet.resize(SNIPPET_MAX_CHARS);
    }
    if (!scanMaterials(text, model, scan)) return;
    scanGeometry(text, model, scan);
}

bool loadAse(const char* path, Model* model)
{
    FILE* file = fopen(path, "r");
    if (!file) FATAL("Failed to open file %s", path);
    fseek(file, 0, SEEK_END);
    long size = ftell(file);
    rewind(file);
    char* buffer = size >= 0 ? (char*)malloc((size_t)size + 1) : nullptr;
    if (!buffer) FATAL_LOCATION();
    size_t got = fread(buffer, 1, (size_t)size, file);
    fclose(file);
    std::string text(buffer, got);
    free(buffer);

    AseScan scan;
    scanAse(text, model, &scan);

    // The bitmaps of the materials read so far, in file order, as the material pass met them.
    for (size_t i = 0; i < scan.bitmaps.size(); i++) {
        if (scan.bitmaps[i].empty()) continue;
        Texture* texture = new Texture();
        if (!texture->load(scan.bitmaps[i].c_str(), GL_LINEAR, GL_LINEAR, true, true)) {
            reportErrorBox("Failed to load texture %s", scan.bitmaps[i].c_str());
            delete texture;
            if (model->materials.size() > i) model->materials.resize(i);
            platformMessageBox("Failed to load ASE materials", "Error.", BOX_OK);
            return false;
        }
        if (i < model->materials.size()) model->materials[i].texture = texture;
    }

    char message[TEXT_BYTES];
    switch (scan.verdict) {
    case ASE_OK:
        return true;
    case ASE_MATERIAL_ORDER:
        reportErrorBox("Material list size %i does not match current Material ID %i at %s:%i", scan.values[0],
                       scan.values[1], __FILE__, __LINE__);
        platformMessageBox("Failed to load ASE materials", "Error.", BOX_OK);
        return false;
    case ASE_MATERIAL_NO_COLOUR:
        snprintf(message, sizeof message, "Material %i has no texture AND no MATERIAL_DIFFUSE colours...",
                 scan.values[0]);
        platformMessageBox(message, scan.sceneSnippet.c_str(), BOX_OK);
        FATAL_LOCATION();
    case ASE_MATERIAL_REF_MISSING:
        FATAL_LOCATION();
    case ASE_COUNTS_DIFFER:
        snprintf(message, sizeof message, "Loaded %i ivertices, %i normals and %i itexcoords, material id is %i",
                 scan.values[0], scan.values[1], scan.values[2], scan.values[3]);
        platformMessageBox(message, scan.sceneSnippet.c_str(), BOX_OK);
        FATAL_LOCATION();
    }
    return true;
}

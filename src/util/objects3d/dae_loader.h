// dae_loader: COLLADA 1.4 documents (as written by the modelling tools of their day) into a
// Model, parsed with TinyXML from bytes read through openFile.
//
// Supports: perspective cameras placed by translate/rotate; point lights with attenuation;
// materials with colours and at most one diffuse texture (effect -> sampler -> surface -> image);
// meshes of "triangles" with VERTEX, NORMAL and TEXCOORD inputs (1 to 4 inputs per corner),
// sources of pairs or triples; the node tree with translate, rotate, scale and matrix.
// Refuses, each with a clear report: anything it does not understand (the messages below), a "p"
// list that is not whole triangles, a float array shorter than its accessor, an input offset
// outside the stride, a transform with too few numbers, any index outside its list, elements
// nested deeper than DAE_MAX_XML_DEPTH, nodes deeper than DAE_MAX_NODE_DEPTH, arrays over
// DAE_MAX_VALUES numbers, and models whose lists would take more memory than the budget below.
// parseDae does the whole parse without GL and without exiting (for tests and the fuzzer);
// loadDae reads the file, parses, loads the textures and reports any failure as fatal.
#pragma once

#include <stddef.h>
#include <string>
#include <vector>

struct Model;

enum {
    DAE_MAX_XML_DEPTH = 512,        // element nesting the parser is asked to follow
    DAE_MAX_NODE_DEPTH = 128,       // scene nodes inside one another
    DAE_MAX_VALUES = 1 << 24,       // numbers in one float array or index list
};
static const size_t DAE_MAX_FILE_BYTES = (size_t)256 << 20;

// Memory. Every list the model keeps (positions, normals, texture coordinates, index triples, a
// node's mesh indices, and the sources parsed for the mesh being read) is counted before it is
// filled against DAE_MODEL_BYTES_PER_FILE_BYTE x the document's size + DAE_MODEL_BYTES_CONSTANT;
// a document that would pass it is refused with the loader's report. A shared source is parsed
// once per mesh, however many "triangles" read it, but each mesh pays for its own copy.
// The whole parse then peaks at no more than DAE_PEAK_BYTES_PER_FILE_BYTE x the file's size +
// DAE_PEAK_BYTES_CONSTANT: TinyXML's tree (up to about 55 bytes per byte of text, for a document
// of empty elements), the text, a transient number list, and the model's lists with the growth of
// a node's mesh indices (1.5 x their budget). The tests measure it on hostile documents.
static const size_t DAE_MODEL_BYTES_PER_FILE_BYTE = 16;
static const size_t DAE_MODEL_BYTES_CONSTANT = (size_t)64 << 20;
static const size_t DAE_PEAK_BYTES_PER_FILE_BYTE = 128;
static const size_t DAE_PEAK_BYTES_CONSTANT = (size_t)128 << 20;
// The budget of the model's lists for a document of `fileBytes` bytes.
size_t daeModelBytesAllowed(size_t fileBytes);

// The textures a document asks for, loaded after the parse (they need GL).
struct DaeTextures {
    std::vector<std::string> files;   // one per effect with a diffuse texture, in document order
    std::vector<int> materialTexture; // per material: index into files, or -1
    size_t filesBeforeFailure = 0;    // files the original order would have loaded before the failure
};

// Parses a zero-terminated COLLADA text. `path` is the document's name (for the directory and the
// reports). Returns true with the model filled (textures not yet loaded), or false with the
// report's message in *message.
bool parseDae(const char* text, const char* path, Model* model, DaeTextures* textures, std::string* message);

// Loads the file into the model. Every failure is fatal (the program ends).
bool loadDae(const char* path, Model* model);

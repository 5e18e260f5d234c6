// Fuzz target: the COLLADA parse (TinyXML, then the model, its node tree and the index checks),
// without GL and without exiting.
#include "util/objects3d/dae_loader.h"
#include "util/objects3d/objects3d.h"

#include <stddef.h>
#include <stdint.h>
#include <string>

// Larger inputs only slow the search down; the limits inside the parser are tested by the tests.
static const size_t MAX_INPUT_BYTES = 1 << 20;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > MAX_INPUT_BYTES) return 0;
    std::string text(reinterpret_cast<const char*>(data), size);
    Objects3D model;
    DaeTextures textures;
    std::string message;
    parseDae(text.c_str(), "data/fuzz/model.dae", &model, &textures, &message);
    return 0;
}

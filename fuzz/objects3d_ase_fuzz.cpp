// Fuzz target: the ASE keyword scanner, then the index checks drawing would make, without GL.
#include "util/objects3d/ase_loader.h"
#include "util/objects3d/objects3d.h"

#include <stddef.h>
#include <stdint.h>
#include <string>

static const size_t MAX_INPUT_BYTES = 1 << 20;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > MAX_INPUT_BYTES) return 0;
    std::string text(reinterpret_cast<const char*>(data), size);
    Objects3D model;
    AseScan scan;
    scanAse(text, &model, &scan);
    char why[256];
    for (const GeomObject& object : model.geomObjects)
        checkGeomObject(object, (int)model.materials.size(), why, sizeof why);
    return 0;
}

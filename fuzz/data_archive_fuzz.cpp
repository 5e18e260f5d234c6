// Fuzz target for the archive reader: whole archive files (header, Huffman block, chunk stream),
// and bare Huffman blocks whose output is then walked as a chunk stream.
#include "util/data/data.h"

#include <algorithm>
#include <string.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<DataEntry> entries;
    if (size >= 8 && memcmp(data, "Halvoren", 8) == 0) {
        parseArchive(data, size, &entries);
        return 0;
    }
    int length = 0;
    if (packedUnpackedLength(data, size, &length)) return 0;
    // The unpacker refuses lengths the bits cannot hold; allocate no more than that.
    std::vector<uint8_t> out(std::min<size_t>((size_t)length, size * 8));
    if (!unpackHuffman(data, size, out.data(), out.size(), &length))
        parseChunkStream(out.data(), (size_t)length, &entries);
    return 0;
}

// Benchmark: unpackHuffman throughput on the real archive, next to zlib's uncompress of the same
// unpacked bytes, in one run. Prints MB/s of unpacked output for each and the ratio.
//
//   data_huffman_bench [archive]      (default: the build's data.hlv)
#include "util/data/data.h"

#include <chrono>
#include <stdio.h>
#include <zlib.h>

static double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int main(int argc, char** argv)
{
    const char* path = argc > 1 ? argv[1] : HALVOREN_BINARY_DIR "/data.hlv";
    FILE* f = fopen(path, "rb");
    if (!f) {
        fprintf(stderr, "cannot open %s\n", path);
        return 1;
    }
    std::vector<uint8_t> file;
    uint8_t buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, f)) > 0) file.insert(file.end(), buffer, buffer + got);
    fclose(f);
    if (file.size() <= 21) {
        fprintf(stderr, "%s is not an archive\n", path);
        return 1;
    }
    const uint8_t* packed = file.data() + 21;
    size_t packedSize = file.size() - 21;
    int length = 0;
    if (const char* reason = packedUnpackedLength(packed, packedSize, &length)) {
        fprintf(stderr, "%s\n", reason);
        return 1;
    }
    std::vector<uint8_t> unpacked((size_t)length);

    // zlib at its default level on the same unpacked bytes.
    const char* reason = unpackHuffman(packed, packedSize, unpacked.data(), unpacked.size(), &length);
    if (reason) {
        fprintf(stderr, "%s\n", reason);
        return 1;
    }
    uLongf zSize = compressBound((uLong)unpacked.size());
    std::vector<uint8_t> zPacked(zSize);
    compress(zPacked.data(), &zSize, unpacked.data(), (uLong)unpacked.size());
    std::vector<uint8_t> zOut(unpacked.size());

    const int rounds = 5;
    double bestHuffman = 1e9, bestZlib = 1e9;
    for (int r = 0; r < rounds; r++) {
        auto start = std::chrono::steady_clock::now();
        unpackHuffman(packed, packedSize, unpacked.data(), unpacked.size(), &length);
        bestHuffman = std::min(bestHuffman, secondsSince(start));
        start = std::chrono::steady_clock::now();
        uLongf outSize = (uLongf)zOut.size();
        uncompress(zOut.data(), &outSize, zPacked.data(), zSize);
        bestZlib = std::min(bestZlib, secondsSince(start));
    }
    double mb = unpacked.size() / 1048576.0;
    printf("archive %s: %.2f MB unpacked, Huffman %.2f MB packed (%.1f%%), zlib %.2f MB (%.1f%%)\n", path, mb,
           packedSize / 1048576.0, 100.0 * packedSize / unpacked.size(), zSize / 1048576.0,
           100.0 * zSize / unpacked.size());
    printf("%-20s %10s\n", "decoder", "MB/s");
    printf("%-20s %10.1f\n", "unpackHuffman", mb / bestHuffman);
    printf("%-20s %10.1f\n", "zlib uncompress", mb / bestZlib);
    printf("ratio unpackHuffman / zlib: %.2f\n", bestZlib / bestHuffman);
    return 0;
}

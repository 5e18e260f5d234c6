// data: the one way assets are opened, and the packed archive "data.hlv".
//
// Access modes (process-wide `accessMode`):
//   0 loose files: openFile is fopen (backslashes in names map to slashes on this platform)
//   1 archive:     openArchive loads the archive into memory; openFile serves only its names
//   2 record:      openFile opens loose files and keeps a copy of each; writeArchive packs them
//
// Archive: "Halvoren Data File\0", version bytes 0 and 2, then one Huffman-packed block holding
// chunks back to back: "HLVDFC\0", int32 name length, int32 data size, name, data (little-endian).
// Packed block: "HUFF", int32 n (distinct byte values, 2..256), int32 unpacked length, int32 packed
// length, n x {uint32 frequency, byte value} in descending frequency, then the code bits (MSB first).
//
// Every malformed archive ends in a fatal report from this module naming the problem; the parsing
// functions below return the reason instead, so tests and fuzzers can call them without exiting.
// Frequency ties are ordered by a stable sort on both sides, so archives are portable.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string>
#include <vector>

enum { ACCESS_LOOSE = 0, ACCESS_ARCHIVE = 1, ACCESS_RECORD = 2 };
extern int accessMode;

struct DataEntry {
    std::string name;          // exactly as the loader passed it
    std::vector<uint8_t> data; // the file's contents
    bool released = false;     // data freed by releaseLoadedArchiveFiles
};

// Opens an asset for reading with stdio; null when it is not available.
FILE* openFile(const char* name, const char* mode);

// Reads a whole asset through openFile into *bytes. False when it cannot be opened or read, or is
// larger than maxBytes (*bytes is then empty).
bool readAsset(const char* name, size_t maxBytes, std::vector<uint8_t>* bytes);

// Archive mode: loads "data.hlv" from the working directory (or the given path). Fatal on any problem.
void openArchive();
void openArchiveFrom(const char* path);
// Archive mode: frees the contents of every archived file except shader sources (".vert" and
// ".frag"), which lighting programs built as scenes ask for read later. The player calls it once
// the show has loaded, outside creator mode (whose reload reads the images again): nothing else
// reads a file twice, and the copies would stay for the whole show. A later openFile of a freed
// file is fatal, naming it. Other modes: nothing.
void releaseLoadedArchiveFiles();
// Record mode: writes every recorded file to "data.hlv" (or the given path). Fatal on any problem.
void writeArchive();
void writeArchiveTo(const char* path);

// Loose and record modes resolve names inside this folder ("" = the working directory).
void setDataDirectory(const char* directory);

// The entry list (recorded or loaded), in order. clearDataEntries is for tests and tools.
const std::vector<DataEntry>& dataEntries();
void clearDataEntries();

// >> Huffman coder
// The most bytes packHuffman can write for `length` input bytes.
size_t packedCapacity(size_t length);
// Packs `length` bytes into `out` (packedCapacity(length) bytes); returns the packed length.
int packHuffman(const uint8_t* in, int length, uint8_t* out);
// Reads the unpacked length a block announces; null on success, else the reason.
const char* packedUnpackedLength(const uint8_t* packed, size_t packedSize, int* unpackedLength);
// Unpacks a block of `packedSize` bytes into `out` (`outCapacity` bytes). Returns null on success
// with the count in *unpackedLength, else the reason (never reads or writes out of bounds).
const char* unpackHuffman(const uint8_t* packed, size_t packedSize, uint8_t* out, size_t outCapacity,
                          int* unpackedLength);

// >> Archive bytes
// Parses a whole archive file held in memory and appends its chunks to `entries`.
// Null on success, else the reason (the fatal report's message).
const char* parseArchive(const uint8_t* bytes, size_t size, std::vector<DataEntry>* entries);
// Parses the unpacked chunk stream. Null on success, else the reason.
const char* parseChunkStream(const uint8_t* bytes, size_t size, std::vector<DataEntry>* entries);
// Builds the chunk stream and the whole archive file for a list of entries.
std::vector<uint8_t> buildChunkStream(const std::vector<DataEntry>& entries);
std::vector<uint8_t> buildArchive(const std::vector<DataEntry>& entries);

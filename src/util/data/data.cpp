// data: openFile, the access modes, reading and writing "data.hlv". See data.h.
#include "util/data/data.h"

#include "platform/report.h"
#include <new>
#include <stdexcept>
#include <stdlib.h>
#include <string.h>

int accessMode = ACCESS_LOOSE;

static const char ARCHIVE_NAME[] = "data.hlv";
static const uint8_t ARCHIVE_MAGIC[19] = "Halvoren Data File"; // the text and its zero byte
static const uint8_t CHUNK_MAGIC[7] = "HLVDFC";
enum {
    ARCHIVE_HEADER_BYTES = 21,
    CHUNK_HEADER_BYTES = 15,
    VERSION_MAJOR = 0,
    VERSION_MINOR = 2,
};

static struct {
    std::vector<DataEntry> entries;
    std::string directory; // loose files are looked up inside it
} s_data;

static char s_reason[600];

// Runs an allocation; false when the memory cannot be had (std::bad_alloc, or a size beyond what
// a vector can hold), so that every caller ends in its own report instead of an abort.
template <typename Allocation> static bool allocated(Allocation allocation)
{
    try {
        allocation();
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

const std::vector<DataEntry>& dataEntries() { return s_data.entries; }
void clearDataEntries() { s_data.entries.clear(); }
void setDataDirectory(const char* directory) { s_data.directory = directory ? directory : ""; }

static uint32_t readInt32(const uint8_t* p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

static void appendInt32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; i++) out.push_back((uint8_t)(v >> (8 * i)));
}

// Two assets are named with backslashes; this platform separates folders with slashes.
static FILE* openLoose(const char* name, const char* mode)
{
    std::string path = s_data.directory;
    if (!path.empty() && path.back() != '/') path += '/';
    for (const char* p = name; *p; p++) path += (*p == '\\') ? '/' : *p;
    return fopen(path.c_str(), mode);
}

// A read-only stream over an archived entry; the entry outlives every stream.
static FILE* streamOverEntry(const DataEntry& entry)
{
    FILE* f = fmemopen((void*)entry.data.data(), entry.data.size(), "rb");
    if (f) return f;
    f = tmpfile();
    if (!f) return nullptr;
    if (fwrite(entry.data.data(), 1, entry.data.size(), f) != entry.data.size()) {
        fclose(f);
        return nullptr;
    }
    rewind(f);
    return f;
}

static FILE* openRecorded(const char* name, const char* mode)
{
    FILE* f = openLoose(name, mode);
    if (!f) return nullptr;
    for (const DataEntry& e : s_data.entries)
        if (e.name == name) return f;
    fseek(f, 0, SEEK_END);
    long length = ftell(f);
    rewind(f);
    if (length < 0) FATAL("Negative file length: %i", (int)length);
    // A folder opens as a stream whose length is whatever the file system answers (on ext4 the
    // largest long): the allocation fails and ends in the report.
    DataEntry entry;
    if (!allocated([&] {
            entry.name = name;
            entry.data.resize((size_t)length);
        }))
        FATAL("Failed to allocate memory for data buffer loading %s!", name);
    size_t got = length > 0 ? fread(entry.data.data(), 1, (size_t)length, f) : 0;
    if (got < 1) FATAL("Tried to read %i bytes from %s, got %i", (int)length, name, (int)got);
    entry.data.resize(got);
    rewind(f);
    if (!allocated([&] { s_data.entries.push_back(std::move(entry)); }))
        FATAL("Failed to allocate memory for data buffer loading %s!", name);
    return f;
}

FILE* openFile(const char* name, const char* mode)
{
    if (!name || !mode) return nullptr;
    if (accessMode == ACCESS_ARCHIVE) {
        const DataEntry* found = nullptr;
        for (const DataEntry& e : s_data.entries) {
            if (e.name != name) continue;
            if (found) FATAL("Ouch, found more than one entry for %s in datafile. Duplicates make no sense here.", name);
            found = &e;
        }
        if (found && found->released) FATAL("%s was read at load and its copy freed since", name);
        return found ? streamOverEntry(*found) : nullptr;
    }
    if (accessMode == ACCESS_RECORD) return openRecorded(name, mode);
    return openLoose(name, mode);
}

static bool endsWith(const std::string& text, const char* tail)
{
    size_t length = strlen(tail);
    return text.size() >= length && text.compare(text.size() - length, length, tail) == 0;
}

void releaseLoadedArchiveFiles()
{
    if (accessMode != ACCESS_ARCHIVE) return;
    for (DataEntry& entry : s_data.entries) {
        if (endsWith(entry.name, ".vert") || endsWith(entry.name, ".frag")) continue;
        std::vector<uint8_t>().swap(entry.data);
        entry.released = true;
    }
}

bool readAsset(const char* name, size_t maxBytes, std::vector<uint8_t>* bytes)
{
    bytes->clear();
    FILE* file = openFile(name, "rb");
    if (!file) return false;
    uint8_t buffer[65536];
    size_t got;
    bool ok = true;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) {
        if (bytes->size() + got > maxBytes || !allocated([&] { bytes->insert(bytes->end(), buffer, buffer + got); })) {
            ok = false;
            break;
        }
    }
    if (ferror(file)) ok = false;
    fclose(file);
    if (!ok) bytes->clear();
    return ok;
}

// >> reading

const char* parseChunkStream(const uint8_t* bytes, size_t size, std::vector<DataEntry>* entries)
{
    size_t pos = 0;
    uint32_t chunks = 0, total = 0;
    while (size - pos >= sizeof CHUNK_MAGIC) {
        if (memcmp(bytes + pos, CHUNK_MAGIC, sizeof CHUNK_MAGIC) != 0) {
            char text[8];
            memcpy(text, bytes + pos, 7);
            text[7] = 0;
            snprintf(s_reason, sizeof s_reason, "Unrecognized chunk header: %s. \nRead %i chunks, %.1f MB before this\n",
                     text, (int)chunks, total / 1048576.0);
            return s_reason;
        }
        if (size - pos < CHUNK_HEADER_BYTES) return "Unexpected end of datafile!";
        int32_t nameLength = (int32_t)readInt32(bytes + pos + 7);
        int32_t dataSize = (int32_t)readInt32(bytes + pos + 11);
        pos += CHUNK_HEADER_BYTES;
        if (nameLength < 0 || dataSize < 0) {
            snprintf(s_reason, sizeof s_reason, "Negative name length %i or data size %i in chunk %i of datafile!",
                     nameLength, dataSize, (int)chunks);
            return s_reason;
        }
        // Empty names and empty contents cannot be read back, as in every archive ever written.
        if (nameLength == 0 || (size_t)nameLength > size - pos) return "Unexpected end of datafile!";
        DataEntry entry;
        if (!allocated([&] { entry.name.assign((const char*)bytes + pos, (size_t)nameLength); }))
            return "Failed to allocate memory for filename string!";
        pos += (size_t)nameLength;
        if (dataSize == 0 || (size_t)dataSize > size - pos) return "Unexpected end of datafile!";
        if (!allocated([&] {
                entry.data.assign(bytes + pos, bytes + pos + dataSize);
                entries->push_back(std::move(entry));
            }))
            return "Failed to allocate memory for data chunk!";
        pos += (size_t)dataSize;
        chunks++;
        total += (uint32_t)dataSize;
    }
    return nullptr; // fewer than 7 trailing bytes end the stream silently
}

const char* parseArchive(const uint8_t* bytes, size_t size, std::vector<DataEntry>* entries)
{
    if (size == 0 || size > 0x7fffffff) {
        snprintf(s_reason, sizeof s_reason, "Negative or zero file length: %i", (int)size);
        return s_reason;
    }
    if (size < sizeof ARCHIVE_MAGIC) return "Failed to read header!";
    if (memcmp(bytes, ARCHIVE_MAGIC, sizeof ARCHIVE_MAGIC) != 0) {
        char text[20];
        memcpy(text, bytes, 19);
        text[19] = 0;
        snprintf(s_reason, sizeof s_reason, "Unrecognized datafile header: %s", text);
        return s_reason;
    }
    if (size < 20) return "Failed to read major version!";
    if (size < 21) return "Failed to read minor version!";
    int major = bytes[19], minor = bytes[20];
    if (major != VERSION_MAJOR || minor != VERSION_MINOR) {
        snprintf(s_reason, sizeof s_reason, "Expected datafile format %i.%i, got %i.%i\n", VERSION_MAJOR,
                 VERSION_MINOR, major, minor);
        return s_reason;
    }
    const uint8_t* packed = bytes + ARCHIVE_HEADER_BYTES;
    size_t packedSize = size - ARCHIVE_HEADER_BYTES;
    int unpackedLength = 0;
    if (const char* reason = packedUnpackedLength(packed, packedSize, &unpackedLength)) return reason;
    std::vector<uint8_t> unpacked;
    // Bounded by the bits present before anything is allocated.
    if ((uint64_t)unpackedLength > (uint64_t)packedSize * 8) {
        snprintf(s_reason, sizeof s_reason, "Unpacked length %i does not fit the packed block", unpackedLength);
        return s_reason;
    }
    if (!allocated([&] { unpacked.resize((size_t)unpackedLength); })) {
        snprintf(s_reason, sizeof s_reason, "Failed to allocate memory for data buffer loading %s!", ARCHIVE_NAME);
        return s_reason;
    }
    int got = 0;
    if (const char* reason = unpackHuffman(packed, packedSize, unpacked.data(), unpacked.size(), &got))
        return reason;
    return parseChunkStream(unpacked.data(), (size_t)got, entries);
}

void openArchive() { openArchiveFrom(ARCHIVE_NAME); }

void openArchiveFrom(const char* path)
{
    if (accessMode != ACCESS_ARCHIVE) return;
    FILE* f = fopen(path, "rb");
    if (!f) FATAL("Failed to open data file %s for reading.\n", path);
    fseek(f, 0, SEEK_END);
    long length = ftell(f);
    rewind(f);
    if (length <= 0) FATAL("Negative or zero file length: %i", (int)length);
    std::vector<uint8_t> bytes;
    if (!allocated([&] { bytes.resize((size_t)length); })) {
        fclose(f);
        FATAL("Failed to allocate memory for data buffer loading %s!", path);
    }
    if (fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
        fclose(f);
        FATAL("Failed to read %i bytes from %s.", (int)length, path);
    }
    fclose(f);
    if (const char* reason = parseArchive(bytes.data(), bytes.size(), &s_data.entries)) FATAL("%s", reason);
}

// >> writing

std::vector<uint8_t> buildChunkStream(const std::vector<DataEntry>& entries)
{
    std::vector<uint8_t> out;
    for (const DataEntry& e : entries) {
        out.insert(out.end(), CHUNK_MAGIC, CHUNK_MAGIC + sizeof CHUNK_MAGIC);
        appendInt32(out, (uint32_t)e.name.size());
        appendInt32(out, (uint32_t)e.data.size());
        out.insert(out.end(), e.name.begin(), e.name.end());
        out.insert(out.end(), e.data.begin(), e.data.end());
    }
    return out;
}

std::vector<uint8_t> buildArchive(const std::vector<DataEntry>& entries)
{
    std::vector<uint8_t> stream = buildChunkStream(entries);
    std::vector<uint8_t> out(ARCHIVE_HEADER_BYTES + packedCapacity(stream.size()));
    memcpy(out.data(), ARCHIVE_MAGIC, sizeof ARCHIVE_MAGIC);
    out[19] = VERSION_MAJOR;
    out[20] = VERSION_MINOR;
    int packed = packHuffman(stream.data(), (int)stream.size(), out.data() + ARCHIVE_HEADER_BYTES);
    out.resize(ARCHIVE_HEADER_BYTES + (size_t)packed);
    return out;
}

void writeArchive() { writeArchiveTo(ARCHIVE_NAME); }

void writeArchiveTo(const char* path)
{
    if (accessMode != ACCESS_RECORD) return;
    std::vector<uint8_t> stream, archive;
    if (!allocated([&] { stream = buildChunkStream(s_data.entries); }))
        FATAL("Failed to allocate memory for data buffer loading %s!", path);
    if (stream.empty() || stream.size() > 0x7fffffff)
        FATAL("Negative or zero file length: %i", (int)stream.size());
    stream = std::vector<uint8_t>();
    if (!allocated([&] { archive = buildArchive(s_data.entries); }))
        FATAL("Failed to allocate memory for data buffer loading %s!", path);
    FILE* f = fopen(path, "wb");
    if (!f) FATAL("Failed to open data file %s for writing. Gimme permissions, bitch!\n", path);
    if (fwrite(archive.data(), 1, sizeof ARCHIVE_MAGIC, f) != sizeof ARCHIVE_MAGIC) FATAL("Failed to write header!");
    if (fwrite(&archive[19], 1, 1, f) != 1) FATAL("Failed to write major version!");
    if (fwrite(&archive[20], 1, 1, f) != 1) FATAL("Failed to write minor version!");
    size_t packed = archive.size() - ARCHIVE_HEADER_BYTES;
    if (fwrite(&archive[ARCHIVE_HEADER_BYTES], 1, packed, f) != packed || fclose(f) != 0)
        FATAL("Failed to write file contents!");
}

// png_loader: the system's own PNG decoder, and the ".png" entry of Texture::load.
//
// Reads: the signature, IHDR, PLTE, tRNS, gAMA (stored, no correction), IDAT and IEND; other
// chunks are skipped, CRCs and the zlib Adler-32 are not checked.
// Inflate: stored, fixed and dynamic deflate blocks, decoded through two-level lookup tables
// (LITLEN_ROOT_BITS / DIST_ROOT_BITS first, then a sub-table) into a sliding 32 KiB window.
// Converts to 8-bit RGBA: grey 1 and 8 bits, RGB 8 and 16 (high bytes), palette 4 and 8, grey+alpha
// 8, RGBA 8; Adam7 interlacing (empty passes are skipped, as the format omits them). tRNS gives
// grey and RGB images a colour key and palette images one alpha per entry.
// Refuses: a wrong signature or malformed PLTE (decode returns -1); other colour types and depths,
// images beyond IMAGE_MAX_SIDE / IMAGE_MAX_BYTES (no pixels); and, as `error`: unknown filter types,
// invalid deflate data (bad block type, LEN/NLEN mismatch, code lengths that are not a valid code,
// distances before the window start, too many symbols), image data that ends early or runs on.
// Textures take only bit depth 8; everything else is "Invalid texture information". loadPng
// refuses corrupt data, but keeps the rows of image data that ends early (the rest clear) and
// ignores data after the last row.
#include "util/texture/png_loader.h"

#include "platform/report.h"      // LOADER_WARNING
#include "util/texture/image_file.h" // LoadedImage, imageByteSize, readImageFile
#include <stdlib.h>
#include <string.h>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h> // Paeth un-filtering of 3- and 4-byte pixels
#endif

// >> limits and constants

static const uint8_t PNG_SIGNATURE[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
enum { PNG_MAX_PALETTE = 256 };

enum {
    WINDOW_BYTES = 32768,                  // the most a deflate distance reaches back
    FLUSH_BYTES = 1 << 18,                 // inflated bytes handed to `output` at a time
    MATCH_MARGIN = 258 + 16,               // one match (plus the 8-byte copy overshoot) past the limit
    MAX_INFLATE_RATIO = 1032,
    LITLEN_SYMBOLS = 288,
    DIST_SYMBOLS = 32,
    PRECODE_SYMBOLS = 19,
    MAX_CODE_BITS = 15,
    LITLEN_ROOT_BITS = 10,
    DIST_ROOT_BITS = 8,
    PRECODE_ROOT_BITS = 7,
    // Root table plus, at most, one full sub-table per symbol.
    LITLEN_TABLE_SIZE = (1 << LITLEN_ROOT_BITS) + LITLEN_SYMBOLS * (1 << (MAX_CODE_BITS - LITLEN_ROOT_BITS)),
    DIST_TABLE_SIZE = (1 << DIST_ROOT_BITS) + DIST_SYMBOLS * (1 << (MAX_CODE_BITS - DIST_ROOT_BITS)),
    PRECODE_TABLE_SIZE = 1 << PRECODE_ROOT_BITS,
};

// Table entry: bits 0-3 bits to consume, 4-7 extra bits (or sub-table bits), 8-15 kind, 16-31 value.
enum {
    ENTRY_LITERAL = 1 << 8,
    ENTRY_LENGTH = 2 << 8,
    ENTRY_END = 4 << 8,
    ENTRY_SUBTABLE = 8 << 8,
    ENTRY_INVALID = 16 << 8,
};

static const uint16_t LENGTH_BASE[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                         31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
static const uint8_t LENGTH_EXTRA[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                         2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
static const uint16_t DIST_BASE[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                       193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
static const uint8_t DIST_EXTRA[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
static const uint8_t PRECODE_ORDER[PRECODE_SYMBOLS] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Reasons the image data did not decode (GenericPngDecoder::error).
static const char* const ERR_ZLIB_HEADER = "bad zlib header";
static const char* const ERR_DICTIONARY = "preset dictionary";
static const char* const ERR_TRUNCATED = "compressed data ends early";
static const char* const ERR_BLOCK_TYPE = "invalid block type";
static const char* const ERR_STORED_LENGTH = "stored block length does not match its complement";
static const char* const ERR_CODE = "code lengths do not form a valid code";
static const char* const ERR_SYMBOL = "invalid code in compressed data";
static const char* const ERR_DISTANCE = "distance reaches before the window start";
static const char* const ERR_FILTER = "unknown filter type";
static const char* const ERR_TOO_MUCH = "image data runs past the image";
static const char* const ERR_TOO_LITTLE = "image data ends before the image";

// >> code tables

static uint32_t litlenTemplate(int symbol)
{
    if (symbol < 256) return ENTRY_LITERAL | (uint32_t)symbol << 16;
    if (symbol == 256) return ENTRY_END;
    if (symbol < 286) return ENTRY_LENGTH | (uint32_t)LENGTH_EXTRA[symbol - 257] << 4 | (uint32_t)LENGTH_BASE[symbol - 257] << 16;
    return ENTRY_INVALID;
}

static uint32_t distTemplate(int symbol)
{
    if (symbol < 30) return ENTRY_LENGTH | (uint32_t)DIST_EXTRA[symbol] << 4 | (uint32_t)DIST_BASE[symbol] << 16;
    return ENTRY_INVALID;
}

static uint32_t precodeTemplate(int symbol) { return ENTRY_LITERAL | (uint32_t)symbol << 16; }

static uint32_t reverseBits(uint32_t code, int length)
{
    uint32_t r = 0;
    for (int i = 0; i < length; i++, code >>= 1) r = (r << 1) | (code & 1);
    return r;
}

// Builds a lookup table for canonical code `lengths` (0 = unused symbol). Codes must be complete;
// an incomplete code is allowed only when `allowSparse` and it has at most one code of one bit
// (deflate permits that for distances). False when the lengths do not form such a code.
static bool buildTable(const uint8_t* lengths, int symbols, uint32_t (*entryFor)(int), int rootBits,
                       uint32_t* table, int capacity, bool allowSparse)
{
    int count[MAX_CODE_BITS + 1] = {0};
    for (int s = 0; s < symbols; s++) count[lengths[s]]++;
    count[0] = 0;
    int left = 1, maxLength = 0, used = 0;
    for (int len = 1; len <= MAX_CODE_BITS; len++) {
        left <<= 1;
        left -= count[len];
        if (left < 0) return false; // over-subscribed
        if (count[len]) maxLength = len;
        used += count[len];
    }
    int rootSize = 1 << rootBits;
    if (left > 0) {
        if (!allowSparse || !(used == 0 || (used == 1 && maxLength == 1))) return false;
        for (int i = 0; i < rootSize; i++) table[i] = ENTRY_INVALID;
    }

    // Canonical order: by length, then by symbol.
    int offset[MAX_CODE_BITS + 2];
    offset[1] = 0;
    for (int len = 1; len <= MAX_CODE_BITS; len++) offset[len + 1] = offset[len] + count[len];
    int sorted[LITLEN_SYMBOLS];
    for (int s = 0; s < symbols; s++)
        if (lengths[s]) sorted[offset[lengths[s]]++] = s;

    uint32_t code = 0;
    int previousLength = 0;
    int next = rootSize;             // next free sub-table slot
    uint32_t subPrefix = 0xFFFFFFFF; // root index of the open sub-table
    int subStart = 0, subBits = 0;
    for (int i = 0; i < used; i++) {
        int s = sorted[i];
        int len = lengths[s];
        if (i > 0) code = (code + 1) << (len - previousLength);
        previousLength = len;
        uint32_t reversed = reverseBits(code, len);
        uint32_t entry = entryFor(s);
        if (len <= rootBits) {
            for (uint32_t k = reversed; k < (uint32_t)rootSize; k += 1u << len) table[k] = entry | (uint32_t)len;
            continue;
        }
        uint32_t prefix = reversed & (uint32_t)(rootSize - 1);
        if (prefix != subPrefix) {
            // Codes sharing a root prefix follow each other in canonical order; the last is longest.
            int last = len, previous = len;
            uint32_t c = code;
            for (int k = i + 1; k < used; k++) {
                int nextLength = lengths[sorted[k]];
                c = (c + 1) << (nextLength - previous);
                previous = nextLength;
                if ((reverseBits(c, nextLength) & (uint32_t)(rootSize - 1)) != prefix) break;
                last = nextLength;
            }
            subBits = last - rootBits;
            subPrefix = prefix;
            subStart = next;
            next += 1 << subBits;
            if (next > capacity) return false;
            table[prefix] = ENTRY_SUBTABLE | (uint32_t)subBits << 4 | (uint32_t)rootBits | (uint32_t)subStart << 16;
        }
        int subLen = len - rootBits;
        for (uint32_t k = reversed >> rootBits; k < (1u << subBits); k += 1u << subLen)
            table[subStart + k] = entry | (uint32_t)subLen;
    }
    return true;
}

// Fixed-code tables, built once.
static uint32_t s_fixedLitlen[LITLEN_TABLE_SIZE];
static uint32_t s_fixedDist[DIST_TABLE_SIZE];
static bool s_fixedReady;

static void buildFixedTables()
{
    if (s_fixedReady) return;
    uint8_t lengths[LITLEN_SYMBOLS];
    for (int s = 0; s < 144; s++) lengths[s] = 8;
    for (int s = 144; s < 256; s++) lengths[s] = 9;
    for (int s = 256; s < 280; s++) lengths[s] = 7;
    for (int s = 280; s < 288; s++) lengths[s] = 8;
    buildTable(lengths, LITLEN_SYMBOLS, litlenTemplate, LITLEN_ROOT_BITS, s_fixedLitlen, LITLEN_TABLE_SIZE, false);
    uint8_t distLengths[DIST_SYMBOLS];
    for (int s = 0; s < DIST_SYMBOLS; s++) distLengths[s] = 5;
    buildTable(distLengths, DIST_SYMBOLS, distTemplate, DIST_ROOT_BITS, s_fixedDist, DIST_TABLE_SIZE, false);
    s_fixedReady = true;
}

// >> inflate

// The inflater's state: input bits, the sliding window, and where it stands with `output`.
struct Inflater {
    const uint8_t* in;
    const uint8_t* inEnd;
    uint64_t bits;
    unsigned bitCount;
    size_t virtualBytes; // zero bytes fed in past the end of the input
    uint8_t* window;     // WINDOW_BYTES of history + FLUSH_BYTES + MATCH_MARGIN
    uint8_t* out;        // next byte to write
    uint8_t* flushed;    // first byte not yet handed to output
    size_t windowLimit;  // distance limit from the zlib header
    GenericPngDecoder* decoder;
    const char* error;
    bool stopped; // output asked to stop
};

static inline uint64_t load64(const uint8_t* p)
{
    uint64_t v;
    memcpy(&v, p, 8);
    return v; // little-endian host
}

static inline void refill(Inflater* z)
{
    if (z->bitCount >= 48) return;
    if (z->inEnd - z->in >= 8) {
        z->bits |= load64(z->in) << z->bitCount;
        z->in += (63 - z->bitCount) >> 3;
        z->bitCount |= 56;
        return;
    }
    while (z->bitCount <= 56) {
        if (z->in < z->inEnd) z->bits |= (uint64_t)*z->in++ << z->bitCount;
        else z->virtualBytes++;
        z->bitCount += 8;
    }
}

// True when bits past the end of the input have been consumed.
static inline bool overrun(const Inflater* z) { return z->virtualBytes * 8 > z->bitCount; }

static inline uint32_t takeBits(Inflater* z, unsigned n)
{
    uint32_t v = (uint32_t)(z->bits & ((1ull << n) - 1));
    z->bits >>= n;
    z->bitCount -= n;
    return v;
}

// Hands the new bytes to the decoder and slides the window. False when inflation must stop.
static bool flushOutput(Inflater* z)
{
    if (z->out > z->flushed) {
        if (z->decoder->output(z->flushed, (size_t)(z->out - z->flushed)) != 1) {
            z->stopped = true;
            return false;
        }
    }
    size_t have = (size_t)(z->out - z->window);
    if (have > WINDOW_BYTES) {
        memmove(z->window, z->out - WINDOW_BYTES, WINDOW_BYTES);
        z->out = z->window + WINDOW_BYTES;
    }
    z->flushed = z->out;
    return true;
}

static inline uint32_t lookup(Inflater* z, const uint32_t* table, unsigned rootBits)
{
    uint32_t e = table[z->bits & ((1u << rootBits) - 1)];
    if (e & ENTRY_SUBTABLE) {
        z->bits >>= rootBits;
        z->bitCount -= rootBits;
        e = table[(e >> 16) + (z->bits & ((1u << ((e >> 4) & 15)) - 1))];
    }
    z->bits >>= e & 15;
    z->bitCount -= e & 15;
    return e;
}

// Decodes one Huffman-coded block. False on an error or a stop.
// The bit buffer and the output pointer live in locals here: byte stores through a pointer may alias
// anything, so state kept in the struct would be reloaded after every output byte.
static bool inflateCodes(Inflater* z, const uint32_t* litlen, const uint32_t* dist)
{
    uint8_t* const flushLimit = z->window + WINDOW_BYTES + FLUSH_BYTES;
    uint64_t bits = z->bits;
    unsigned bitCount = z->bitCount;
    const uint8_t* in = z->in;
    const uint8_t* const inEnd = z->inEnd;
    uint8_t* out = z->out;
    bool ok = true;

#define SAVE_STATE() (z->bits = bits, z->bitCount = bitCount, z->in = in, z->out = out)
#define LOAD_STATE() (bits = z->bits, bitCount = z->bitCount, in = z->in, out = z->out)
#define REFILL()                                              \
    do {                                                      \
        if (inEnd - in >= 8) {                                \
            bits |= load64(in) << bitCount;                   \
            in += (63 - bitCount) >> 3;                       \
            bitCount |= 56;                                   \
        } else {                                              \
            SAVE_STATE();                                     \
            refill(z);                                        \
            LOAD_STATE();                                     \
        }                                                     \
    } while (0)
#define CONSUME(n) (bits >>= (n), bitCount -= (n))
#define LOOKUP(e, table, rootBits)                                                         \
    do {                                                                                   \
        e = table[bits & ((1u << (rootBits)) - 1)];                                        \
        if (e & ENTRY_SUBTABLE) {                                                          \
            CONSUME(rootBits);                                                             \
            e = table[(e >> 16) + (bits & ((1u << ((e >> 4) & 15)) - 1))];                \
        }                                                                                  \
        CONSUME(e & 15);                                                                   \
    } while (0)

    for (;;) {
        if (out >= flushLimit) {
            SAVE_STATE();
            if (overrun(z)) { z->error = ERR_TRUNCATED; return false; }
            if (!flushOutput(z)) return false;
            LOAD_STATE();
        }
        if (bitCount < 48) REFILL();
        uint32_t e;
        LOOKUP(e, litlen, LITLEN_ROOT_BITS);
        if (e & ENTRY_LITERAL) {
            *out++ = (uint8_t)(e >> 16);
            // Two more literals fit the bits left: 48 bits minus three codes of at most 15.
            LOOKUP(e, litlen, LITLEN_ROOT_BITS);
            if (!(e & ENTRY_LITERAL)) goto notLiteral;
            *out++ = (uint8_t)(e >> 16);
            LOOKUP(e, litlen, LITLEN_ROOT_BITS);
            if (!(e & ENTRY_LITERAL)) goto notLiteral;
            *out++ = (uint8_t)(e >> 16);
            continue;
        }
    notLiteral:
        if (e & ENTRY_LENGTH) {
            // Length extra bits, distance code and its extra bits: at most 5 + 15 + 13 after a refill.
            if (bitCount < 33) REFILL();
            uint32_t length = (e >> 16) + (uint32_t)(bits & ((1u << ((e >> 4) & 15)) - 1));
            CONSUME((e >> 4) & 15);
            uint32_t d;
            LOOKUP(d, dist, DIST_ROOT_BITS);
            if (!(d & ENTRY_LENGTH)) { z->error = ERR_SYMBOL; ok = false; break; }
            size_t distance = (d >> 16) + (size_t)(bits & ((1u << ((d >> 4) & 15)) - 1));
            CONSUME((d >> 4) & 15);
            if (distance > (size_t)(out - z->window) || distance > z->windowLimit) {
                z->error = ERR_DISTANCE;
                ok = false;
                break;
            }
            const uint8_t* src = out - distance;
            uint8_t* end = out + length;
            if (distance >= 8) {
                // Overlap-safe in 8-byte steps; the overshoot lands in the margin and is rewritten later.
                uint8_t* dst = out;
                do {
                    memcpy(dst, src, 8);
                    dst += 8;
                    src += 8;
                } while (dst < end);
            } else if (distance == 1) {
                memset(out, src[0], length);
            } else {
                for (uint8_t* dst = out; dst < end;) *dst++ = *src++;
            }
            out = end;
            continue;
        }
        if (e & ENTRY_END) break;
        z->error = ERR_SYMBOL;
        ok = false;
        break;
    }
    SAVE_STATE();
    if (ok && overrun(z)) {
        z->error = ERR_TRUNCATED;
        ok = false;
    }
    return ok;
#undef SAVE_STATE
#undef LOAD_STATE
#undef REFILL
#undef CONSUME
#undef LOOKUP
}

static bool inflateStored(Inflater* z)
{
    // Back to the byte boundary; whole bytes still in the bit buffer go back to the input.
    takeBits(z, z->bitCount & 7);
    size_t back = z->bitCount / 8;
    if (back < z->virtualBytes) { z->error = ERR_TRUNCATED; return false; }
    z->in -= back - z->virtualBytes;
    z->virtualBytes = 0;
    z->bits = 0;
    z->bitCount = 0;
    if (z->inEnd - z->in < 4) { z->error = ERR_TRUNCATED; return false; }
    uint32_t length = z->in[0] | z->in[1] << 8;
    uint32_t complement = z->in[2] | z->in[3] << 8;
    z->in += 4;
    if ((length ^ 0xFFFF) != complement) { z->error = ERR_STORED_LENGTH; return false; }
    if ((size_t)(z->inEnd - z->in) < length) { z->error = ERR_TRUNCATED; return false; }
    uint8_t* const flushLimit = z->window + WINDOW_BYTES + FLUSH_BYTES;
    while (length > 0) {
        if (z->out >= flushLimit && !flushOutput(z)) return false;
        size_t piece = (size_t)(flushLimit - z->out);
        if (piece > length) piece = length;
        memcpy(z->out, z->in, piece);
        z->out += piece;
        z->in += piece;
        length -= (uint32_t)piece;
    }
    return true;
}

static bool readDynamicTables(Inflater* z, uint32_t* litlen, uint32_t* dist)
{
    refill(z);
    int literalCount = (int)takeBits(z, 5) + 257;
    int distanceCount = (int)takeBits(z, 5) + 1;
    int precodeCount = (int)takeBits(z, 4) + 4;
    if (literalCount > 286 || distanceCount > 30) { z->error = ERR_CODE; return false; }
    uint8_t precodeLengths[PRECODE_SYMBOLS] = {0};
    for (int i = 0; i < precodeCount; i++) {
        refill(z);
        precodeLengths[PRECODE_ORDER[i]] = (uint8_t)takeBits(z, 3);
    }
    uint32_t precode[PRECODE_TABLE_SIZE];
    if (!buildTable(precodeLengths, PRECODE_SYMBOLS, precodeTemplate, PRECODE_ROOT_BITS, precode,
                    PRECODE_TABLE_SIZE, false)) {
        z->error = ERR_CODE;
        return false;
    }
    uint8_t lengths[LITLEN_SYMBOLS + DIST_SYMBOLS] = {0};
    int total = literalCount + distanceCount;
    for (int i = 0; i < total;) {
        refill(z);
        if (overrun(z)) { z->error = ERR_TRUNCATED; return false; }
        uint32_t symbol = lookup(z, precode, PRECODE_ROOT_BITS) >> 16;
        if (symbol < 16) {
            lengths[i++] = (uint8_t)symbol;
            continue;
        }
        uint8_t value = 0;
        int repeat;
        if (symbol == 16) {
            if (i == 0) { z->error = ERR_CODE; return false; }
            value = lengths[i - 1];
            repeat = 3 + (int)takeBits(z, 2);
        } else if (symbol == 17) {
            repeat = 3 + (int)takeBits(z, 3);
        } else {
            repeat = 11 + (int)takeBits(z, 7);
        }
        if (repeat > total - i) { z->error = ERR_CODE; return false; }
        while (repeat--) lengths[i++] = value;
    }
    if (lengths[256] == 0) { z->error = ERR_CODE; return false; }
    if (!buildTable(lengths, literalCount, litlenTemplate, LITLEN_ROOT_BITS, litlen, LITLEN_TABLE_SIZE, false) ||
        !buildTable(lengths + literalCount, distanceCount, distTemplate, DIST_ROOT_BITS, dist, DIST_TABLE_SIZE, true)) {
        z->error = ERR_CODE;
        return false;
    }
    return true;
}

void GenericPngDecoder::inflate(const uint8_t* data, size_t size)
{
    if (size < 2) { error = ERR_TRUNCATED; return; }
    if ((data[0] & 15) != 8 || (data[0] >> 4) > 7) { error = ERR_ZLIB_HEADER; return; }
    if (data[1] & 0x20) { error = ERR_DICTIONARY; return; }
    buildFixedTables();

    Inflater z;
    z.in = data + 2;
    z.inEnd = data + size;
    z.bits = 0;
    z.bitCount = 0;
    z.virtualBytes = 0;
    z.window = (uint8_t*)malloc(WINDOW_BYTES + FLUSH_BYTES + MATCH_MARGIN);
    uint32_t* litlen = (uint32_t*)malloc(sizeof(uint32_t) * (LITLEN_TABLE_SIZE + DIST_TABLE_SIZE));
    if (!z.window || !litlen) {
        free(z.window);
        free(litlen);
        error = "out of memory";
        return;
    }
    uint32_t* dist = litlen + LITLEN_TABLE_SIZE;
    z.out = z.flushed = z.window;
    z.windowLimit = (size_t)1 << ((data[0] >> 4) + 8);
    z.decoder = this;
    z.error = nullptr;
    z.stopped = false;

    bool final = false;
    while (!final) {
        refill(&z);
        if (overrun(&z)) { z.error = ERR_TRUNCATED; break; }
        final = takeBits(&z, 1) != 0;
        uint32_t type = takeBits(&z, 2);
        bool ok;
        if (type == 0) ok = inflateStored(&z);
        else if (type == 1) ok = inflateCodes(&z, s_fixedLitlen, s_fixedDist);
        else if (type == 2) ok = readDynamicTables(&z, litlen, dist) && inflateCodes(&z, litlen, dist);
        else { z.error = ERR_BLOCK_TYPE; ok = false; }
        if (!ok) break;
    }
    if (!z.error && !z.stopped) flushOutput(&z);
    if (z.error && !error) error = z.error;
    free(z.window);
    free(litlen);
}

// >> chunk walk

static uint32_t readBe32(const uint8_t* p) { return (uint32_t)p[0] << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

GenericPngDecoder::GenericPngDecoder()
    : width(0), height(0), bitDepth(0), colorType(0), compressionMethod(0), filterMethod(0), interlaceMethod(0),
      paletteCount(0), palette(nullptr), transparentKey{PNG_NO_KEY, PNG_NO_KEY, PNG_NO_KEY}, gamma(100000),
      error(nullptr), compressedBytes(0)
{
    memset(paletteAlpha, 255, sizeof paletteAlpha);
}

GenericPngDecoder::~GenericPngDecoder() { free(palette); }

int GenericPngDecoder::decode(const char* fileName)
{
    std::vector<uint8_t> bytes;
    if (!readImageFile(fileName, &bytes)) return -1;
    return decodeMemory(bytes.data(), bytes.size());
}

int GenericPngDecoder::decodeMemory(const uint8_t* bytes, size_t size)
{
    if (size < sizeof PNG_SIGNATURE || memcmp(bytes, PNG_SIGNATURE, sizeof PNG_SIGNATURE) != 0) return -1;
    // The image data can be no larger than the file.
    std::vector<uint8_t> imageData;
    imageData.reserve(size);
    size_t pos = sizeof PNG_SIGNATURE;
    // A chunk whose length, type or data is cut off ends the walk; so does IEND.
    while (size - pos >= 8) {
        size_t length = readBe32(bytes + pos);
        const uint8_t* type = bytes + pos + 4;
        pos += 8;
        if (length > size - pos) break;
        const uint8_t* data = bytes + pos;
        pos += length;
        if (memcmp(type, "IHDR", 4) == 0) {
            if (length > 12) {
                // Sizes beyond 2^31 - 1 are invalid PNG: kept as 0, so no pixels are produced.
                uint32_t w = readBe32(data), h = readBe32(data + 4);
                width = w > 0x7FFFFFFF ? 0 : (int)w;
                height = h > 0x7FFFFFFF ? 0 : (int)h;
                bitDepth = data[8];
                colorType = data[9];
                compressionMethod = data[10];
                filterMethod = data[11];
                interlaceMethod = data[12];
            }
        } else if (memcmp(type, "PLTE", 4) == 0) {
            if (length % 3 != 0 || length == 0 || length / 3 > PNG_MAX_PALETTE) return -1;
            uint8_t* copy = (uint8_t*)malloc(length);
            if (!copy) return -1;
            memcpy(copy, data, length);
            free(palette);
            palette = copy;
            paletteCount = (int)(length / 3);
        } else if (memcmp(type, "IDAT", 4) == 0) {
            imageData.insert(imageData.end(), data, data + length);
        } else if (memcmp(type, "gAMA", 4) == 0) {
            if (length > 3) gamma = (int)readBe32(data);
        } else if (memcmp(type, "tRNS", 4) == 0) {
            if (colorType == 0 && length >= 2) {
                transparentKey[0] = data[0] << 8 | data[1];
            } else if (colorType == 2 && length >= 6) {
                transparentKey[0] = data[0] << 8 | data[1];
                transparentKey[1] = data[2] << 8 | data[3];
                transparentKey[2] = data[4] << 8 | data[5];
            } else if (colorType == 3) {
                for (size_t i = 0; i < length && i < PNG_MAX_PALETTE; i++) paletteAlpha[i] = data[i];
            }
        } else if (memcmp(type, "IEND", 4) == 0) {
            break;
        }
        if (size - pos < 4) break; // the CRC
        pos += 4;
    }
    compressedBytes = imageData.size();
    if (prepareOutput() == 1) {
        inflate(imageData.data(), imageData.size());
        endOutput();
    }
    return 1;
}

// >> scanlines and pixels

static const int ADAM7_X[7] = {0, 4, 0, 2, 0, 1, 0};
static const int ADAM7_Y[7] = {0, 0, 4, 0, 2, 0, 1};
static const int ADAM7_DX[7] = {8, 8, 4, 4, 2, 2, 1};
static const int ADAM7_DY[7] = {8, 8, 8, 4, 4, 2, 2};

static int channelsOf(int colorType)
{
    switch (colorType) {
    case 0: return 1;
    case 2: return 3;
    case 3: return 1;
    case 4: return 2;
    case 6: return 4;
    default: return 0;
    }
}

static bool supported(int colorType, int bitDepth)
{
    switch (colorType) {
    case 0: return bitDepth == 1 || bitDepth == 8;
    case 2: return bitDepth == 8 || bitDepth == 16;
    case 3: return bitDepth == 4 || bitDepth == 8;
    case 4: return bitDepth == 8;
    case 6: return bitDepth == 8;
    default: return false;
    }
}

// Filter bytes and rows of every pass: exactly what the image data must inflate to.
size_t RawPngDecoder::rawImageBytes() const
{
    size_t bitsPerPixel = (size_t)channelsOf(colorType) * bitDepth;
    if (interlaceMethod != 1) return (size_t)height * (1 + ((size_t)width * bitsPerPixel + 7) / 8);
    size_t total = 0;
    for (int i = 0; i < 7; i++) {
        size_t w = width > ADAM7_X[i] ? (size_t)(width - ADAM7_X[i] + ADAM7_DX[i] - 1) / ADAM7_DX[i] : 0;
        size_t h = height > ADAM7_Y[i] ? (size_t)(height - ADAM7_Y[i] + ADAM7_DY[i] - 1) / ADAM7_DY[i] : 0;
        if (w && h) total += h * (1 + (w * bitsPerPixel + 7) / 8);
    }
    return total;
}

RawPngDecoder::RawPngDecoder()
    : outputWidth(0), outputHeight(0), rgba(nullptr), autoDeleteRgbaBuffer(true), pass(0), passWidth(0),
      passHeight(0), row(0), rowBytes(0), filled(0), bytesPerPixelUnit(1), rowBuffers(nullptr),
      currentRow(nullptr), previousRow(nullptr), done(false)
{
}

RawPngDecoder::~RawPngDecoder()
{
    if (autoDeleteRgbaBuffer) free(rgba);
    free(rowBuffers);
}

int RawPngDecoder::prepareOutput()
{
    if (!supported(colorType, bitDepth)) return 0;
    if (compressionMethod != 0 || filterMethod != 0 || (interlaceMethod != 0 && interlaceMethod != 1)) return 0;
    size_t bytes = imageByteSize((uint32_t)width, (uint32_t)height, 4);
    if (bytes == 0) return 0;
    // Deflate expands at most MAX_INFLATE_RATIO times (a 258-byte match in two bits): data that cannot
    // fill the image is refused before the image is allocated.
    if (rawImageBytes() / MAX_INFLATE_RATIO > compressedBytes) {
        error = ERR_TOO_LITTLE;
        return 0;
    }
    if (autoDeleteRgbaBuffer) free(rgba);
    rgba = nullptr;
    outputWidth = outputHeight = 0;
    // Cleared, so pixels the data never reaches (palette indices past the palette) are defined.
    uint8_t* buffer = (uint8_t*)calloc(bytes, 1);
    size_t fullRowBytes = ((size_t)width * channelsOf(colorType) * bitDepth + 7) / 8;
    free(rowBuffers);
    rowBuffers = (uint8_t*)malloc(2 * (fullRowBytes + 1));
    if (!buffer || !rowBuffers) {
        free(buffer);
        free(rowBuffers);
        rowBuffers = nullptr;
        return 0;
    }
    rgba = buffer;
    outputWidth = width;
    outputHeight = height;
    currentRow = rowBuffers;
    previousRow = rowBuffers + fullRowBytes + 1;
    bytesPerPixelUnit = (size_t)channelsOf(colorType) * bitDepth / 8;
    if (bytesPerPixelUnit < 1) bytesPerPixelUnit = 1;
    done = false;
    return startPass(interlaceMethod == 1 ? 1 : 0) ? 1 : 0;
}

// Moves to the first pass from `firstPass` on that holds pixels (0: the whole image). False never:
// an image with no rows left is simply done.
bool RawPngDecoder::startPass(int firstPass)
{
    pass = firstPass;
    for (;;) {
        if (pass == 0) {
            passWidth = width;
            passHeight = height;
        } else {
            int i = pass - 1;
            passWidth = width > ADAM7_X[i] ? (width - ADAM7_X[i] + ADAM7_DX[i] - 1) / ADAM7_DX[i] : 0;
            passHeight = height > ADAM7_Y[i] ? (height - ADAM7_Y[i] + ADAM7_DY[i] - 1) / ADAM7_DY[i] : 0;
        }
        if (passWidth > 0 && passHeight > 0) break;
        // The format leaves empty passes out of the stream altogether.
        if (pass == 0 || pass == 7) {
            done = true;
            return true;
        }
        pass++;
    }
    row = 0;
    filled = 0;
    rowBytes = ((size_t)passWidth * channelsOf(colorType) * bitDepth + 7) / 8;
    memset(previousRow, 0, rowBytes + 1);
    return true;
}

static inline uint8_t paeth(int a, int b, int c)
{
    int pa = abs(b - c), pb = abs(a - c), pc = abs(a + b - 2 * c);
    if (pa <= pb && pa <= pc) return (uint8_t)a;
    return (uint8_t)(pb <= pc ? b : c);
}

// Whole pixels of UNIT (three or four) bytes as one word; the fourth byte of a 3-byte pixel stays 0.
// UNIT is a compile-time constant so the copies become plain loads and stores.
template <size_t UNIT> static inline uint32_t loadPixel(const uint8_t* p)
{
    // Three single bytes: a 3-byte memcpy into a word goes through the stack and stalls.
    if constexpr (UNIT == 3) return p[0] | p[1] << 8 | (uint32_t)p[2] << 16;
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
}
template <size_t UNIT> static inline void storePixel(uint8_t* p, uint32_t v)
{
    if constexpr (UNIT == 3) {
        p[0] = (uint8_t)v;
        p[1] = (uint8_t)(v >> 8);
        p[2] = (uint8_t)(v >> 16);
    } else {
        memcpy(p, &v, 4);
    }
}
// Byte-wise sum and byte-wise floor((x + y) / 2), with no carry between the bytes.
static inline uint32_t addBytes(uint32_t x, uint32_t y)
{
    return ((x & 0x7F7F7F7Fu) + (y & 0x7F7F7F7Fu)) ^ ((x ^ y) & 0x80808080u);
}
static inline uint32_t averageBytes(uint32_t x, uint32_t y) { return (x & y) + (((x ^ y) & 0xFEFEFEFEu) >> 1); }

template <size_t UNIT> static void unfilterSubPixels(uint8_t* row, size_t count)
{
    uint32_t a = 0;
    for (size_t i = 0; i < count; i += UNIT) {
        a = addBytes(loadPixel<UNIT>(row + i), a);
        storePixel<UNIT>(row + i, a);
    }
}

template <size_t UNIT> static void unfilterAveragePixels(uint8_t* row, const uint8_t* previous, size_t count)
{
    uint32_t a = 0;
    for (size_t i = 0; i < count; i += UNIT) {
        a = addBytes(loadPixel<UNIT>(row + i), averageBytes(a, loadPixel<UNIT>(previous + i)));
        storePixel<UNIT>(row + i, a);
    }
}

#if defined(__SSE2__)
// Paeth with all channels of a pixel at once in 16-bit lanes.
template <size_t UNIT> static void unfilterPaethPixels(uint8_t* row, const uint8_t* previous, size_t count)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i a = zero, c = zero;
    for (size_t i = 0; i < count; i += UNIT) {
        __m128i b = _mm_unpacklo_epi8(_mm_cvtsi32_si128((int)loadPixel<UNIT>(previous + i)), zero);
        __m128i d = _mm_cvtsi32_si128((int)loadPixel<UNIT>(row + i));
        __m128i pa = _mm_sub_epi16(b, c);   // p - a
        __m128i pb = _mm_sub_epi16(a, c);   // p - b
        __m128i pc = _mm_add_epi16(pa, pb); // p - c
        pa = _mm_max_epi16(pa, _mm_sub_epi16(zero, pa));
        pb = _mm_max_epi16(pb, _mm_sub_epi16(zero, pb));
        pc = _mm_max_epi16(pc, _mm_sub_epi16(zero, pc));
        __m128i smallest = _mm_min_epi16(pc, _mm_min_epi16(pa, pb));
        // Ties prefer a, then b, then c.
        __m128i useA = _mm_cmpeq_epi16(smallest, pa);
        __m128i useB = _mm_cmpeq_epi16(smallest, pb);
        __m128i bOrC = _mm_or_si128(_mm_and_si128(useB, b), _mm_andnot_si128(useB, c));
        __m128i nearest = _mm_or_si128(_mm_and_si128(useA, a), _mm_andnot_si128(useA, bOrC));
        d = _mm_add_epi8(d, _mm_packus_epi16(nearest, nearest));
        storePixel<UNIT>(row + i, (uint32_t)_mm_cvtsi128_si32(d));
        a = _mm_unpacklo_epi8(d, zero);
        c = b;
    }
}
#endif

// Undoes one row's filter in place; `previous` is the row above (zeros for a pass's first row).
static bool unfilter(int filter, uint8_t* row, const uint8_t* previous, size_t count, size_t unit)
{
    // Rows of whole 3- or 4-byte pixels go a pixel at a time; other layouts byte by byte.
    bool rgb = unit == 3 && count % 3 == 0, rgba = unit == 4 && count % 4 == 0;
    switch (filter) {
    case 0: return true;
    case 1:
        if (rgb) unfilterSubPixels<3>(row, count);
        else if (rgba) unfilterSubPixels<4>(row, count);
        else
            for (size_t i = unit; i < count; i++) row[i] = (uint8_t)(row[i] + row[i - unit]);
        return true;
    case 2:
        for (size_t i = 0; i < count; i++) row[i] = (uint8_t)(row[i] + previous[i]);
        return true;
    case 3:
        if (rgb) {
            unfilterAveragePixels<3>(row, previous, count);
        } else if (rgba) {
            unfilterAveragePixels<4>(row, previous, count);
        } else {
            for (size_t i = 0; i < unit && i < count; i++) row[i] = (uint8_t)(row[i] + (previous[i] >> 1));
            for (size_t i = unit; i < count; i++) row[i] = (uint8_t)(row[i] + ((row[i - unit] + previous[i]) >> 1));
        }
        return true;
    case 4:
#if defined(__SSE2__)
        if (rgb) {
            unfilterPaethPixels<3>(row, previous, count);
            return true;
        }
        if (rgba) {
            unfilterPaethPixels<4>(row, previous, count);
            return true;
        }
#endif
        for (size_t i = 0; i < unit && i < count; i++) row[i] = (uint8_t)(row[i] + previous[i]);
        for (size_t i = unit; i < count; i++)
            row[i] = (uint8_t)(row[i] + paeth(row[i - unit], previous[i], previous[i - unit]));
        return true;
    default: return false;
    }
}

void RawPngDecoder::convertRow(const uint8_t* src)
{
    int x0 = 0, dx = 1, y = row;
    if (pass > 0) {
        x0 = ADAM7_X[pass - 1];
        dx = ADAM7_DX[pass - 1];
        y = ADAM7_Y[pass - 1] + row * ADAM7_DY[pass - 1];
    }
    uint8_t* dst = rgba + ((size_t)y * outputWidth + x0) * 4;
    size_t step = (size_t)dx * 4;
    int n = passWidth;
    const int* key = transparentKey;
    switch (colorType * 100 + bitDepth) {
    case 1: // grey, 1 bit
        for (int x = 0; x < n; x++, dst += step) {
            int bit = (src[x >> 3] >> (7 - (x & 7))) & 1;
            uint8_t v = bit ? 255 : 0;
            dst[0] = dst[1] = dst[2] = v;
            dst[3] = (bit == key[0] || bit == key[1] || bit == key[2]) ? 0 : 255;
        }
        break;
    case 8: // grey
        for (int x = 0; x < n; x++, dst += step) {
            int v = src[x];
            dst[0] = dst[1] = dst[2] = (uint8_t)v;
            dst[3] = (v == key[0] || v == key[1] || v == key[2]) ? 0 : 255;
        }
        break;
    case 208: // RGB
        if (key[0] == PNG_NO_KEY) {
            for (int x = 0; x < n; x++, dst += step, src += 3) {
                dst[0] = src[0];
                dst[1] = src[1];
                dst[2] = src[2];
                dst[3] = 255;
            }
        } else {
            for (int x = 0; x < n; x++, dst += step, src += 3) {
                dst[0] = src[0];
                dst[1] = src[1];
                dst[2] = src[2];
                dst[3] = (src[0] == key[0] && src[1] == key[1] && src[2] == key[2]) ? 0 : 255;
            }
        }
        break;
    case 216: // RGB, 16 bits: the high bytes
        for (int x = 0; x < n; x++, dst += step, src += 6) {
            int r = src[0] << 8 | src[1], g = src[2] << 8 | src[3], b = src[4] << 8 | src[5];
            dst[0] = src[0];
            dst[1] = src[2];
            dst[2] = src[4];
            dst[3] = (r == key[0] && g == key[1] && b == key[2]) ? 0 : 255;
        }
        break;
    case 304: // palette, 4 bits, high nibble first
    case 308:
        for (int x = 0; x < n; x++, dst += step) {
            int index = bitDepth == 8 ? src[x] : (src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
            if (index >= paletteCount) continue; // left as cleared
            const uint8_t* entry = palette + index * 3;
            dst[0] = entry[0];
            dst[1] = entry[1];
            dst[2] = entry[2];
            dst[3] = paletteAlpha[index];
        }
        break;
    case 408: // grey + alpha
        for (int x = 0; x < n; x++, dst += step, src += 2) {
            dst[0] = dst[1] = dst[2] = src[0];
            dst[3] = src[1];
        }
        break;
    case 608: // RGBA
        if (dx == 1) {
            memcpy(dst, src, (size_t)n * 4);
        } else {
            for (int x = 0; x < n; x++, dst += step, src += 4) memcpy(dst, src, 4);
        }
        break;
    }
}

void RawPngDecoder::finishRow()
{
    int filter = currentRow[0];
    if (!unfilter(filter, currentRow + 1, previousRow + 1, rowBytes, bytesPerPixelUnit)) {
        error = ERR_FILTER;
        return;
    }
    convertRow(currentRow + 1);
    uint8_t* t = currentRow;
    currentRow = previousRow;
    previousRow = t;
    filled = 0;
    row++;
    if (row == passHeight) {
        if (pass == 0 || pass == 7) done = true;
        else startPass(pass + 1);
    }
}

int RawPngDecoder::output(const uint8_t* bytes, size_t count)
{
    while (count > 0) {
        if (done) {
            error = ERR_TOO_MUCH;
            return 0;
        }
        size_t take = rowBytes + 1 - filled;
        if (take > count) take = count;
        memcpy(currentRow + filled, bytes, take);
        filled += take;
        bytes += take;
        count -= take;
        if (filled == rowBytes + 1) {
            finishRow();
            if (error) return 0;
        }
    }
    return 1;
}

int RawPngDecoder::endOutput()
{
    if (!done && !error) error = ERR_TOO_LITTLE;
    return 1;
}

void RawPngDecoder::flip()
{
    if (!rgba) return;
    size_t stride = (size_t)outputWidth * 4;
    std::vector<uint8_t> temp(stride);
    for (int i = 0; i < outputHeight / 2; i++) {
        uint8_t* a = rgba + (size_t)i * stride;
        uint8_t* b = rgba + (size_t)(outputHeight - 1 - i) * stride;
        memcpy(temp.data(), a, stride);
        memcpy(a, b, stride);
        memcpy(b, temp.data(), stride);
    }
}

// >> texture entry

bool loadPng(const char* fileName, LoadedImage& texture)
{
    RawPngDecoder decoder;
    if (decoder.decode(fileName) == -1) return false;
    decoder.flip();
    texture.width = (uint32_t)decoder.outputWidth;
    texture.height = (uint32_t)decoder.outputHeight;
    texture.bitsPerPixel = 4 * (uint32_t)decoder.bitDepth;
    if (texture.width == 0 || texture.height == 0 || texture.bitsPerPixel != 32) {
        LOADER_WARNING("Invalid texture information");
        texture.imageData = nullptr;
        return false;
    }
    // Image data that ends early keeps the rows produced so far (the rest stays clear), data after
    // the last row stops the inflation quietly. Corrupt data stays refused.
    bool endsEarly = decoder.error == ERR_TRUNCATED || decoder.error == ERR_TOO_LITTLE;
    if (decoder.error && !endsEarly && decoder.error != ERR_TOO_MUCH) {
        LOADER_WARNING("Invalid PNG image data: %s", decoder.error);
        texture.imageData = nullptr;
        return false;
    }
    texture.format = GL_RGBA;
    texture.imageData = decoder.rgba;
    decoder.autoDeleteRgbaBuffer = false;
    return true;
}

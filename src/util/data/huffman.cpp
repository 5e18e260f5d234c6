// huffman: the archive's byte-wise Huffman coder. See data.h for the block layout.
//
// Both sides build the same tree from the same frequency table: entries sorted by descending
// frequency with a stable sort (ties keep their order), merged from the back, re-sorted after each
// merge. Codes are stored with bit 0 at the leaf; the root edge is written first.
// Unpacking checks everything it reads: symbol count, table size, announced length against the
// bits present and the output room, and the bit cursor against the end of the block.
#include "util/data/data.h"

#include <algorithm>
#include <stdio.h>
#include <string.h>

enum {
    LOOKUP_BITS = 10, // code bits the unpacker resolves in one table step
    HEADER_BYTES = 16,
    TABLE_ENTRY_BYTES = 5,
    MAX_CODE_BITS = 64,
};

struct SortEntry {
    uint32_t frequency;
    uint8_t value;
    int subtree; // node index, -1 for a plain byte value
};

struct TreeNode {
    uint8_t leftValue, rightValue;
    int leftChild, rightChild; // node index, -1 when that side is a byte value
    int parent;                // -1 at the root
};

struct LookupEntry {
    int16_t target;  // the byte value at a leaf, else the node reached after LOOKUP_BITS bits
    uint8_t length;  // bits consumed
    uint8_t leaf;
};

struct HuffmanCodec {
    SortEntry entries[256];
    TreeNode nodes[256];
    uint32_t codeLength[256];
    uint64_t codeBits[256];
    int n;
};

static void writeInt32(uint8_t* p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}

static uint32_t readInt32(const uint8_t* p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

// Greater frequency first; stable, so equal frequencies keep their current order on every platform.
static void sortEntries(SortEntry* entries, int count)
{
    std::stable_sort(entries, entries + count,
                     [](const SortEntry& a, const SortEntry& b) { return a.frequency > b.frequency; });
}

static void attachSide(HuffmanCodec& c, int node, const SortEntry& entry, bool right)
{
    TreeNode& t = c.nodes[node];
    if (entry.subtree >= 0) {
        (right ? t.rightChild : t.leftChild) = entry.subtree;
        c.nodes[entry.subtree].parent = node;
    } else {
        (right ? t.rightValue : t.leftValue) = entry.value;
    }
}

static void buildTree(HuffmanCodec& c)
{
    for (int i = 0; i < 256; i++) c.nodes[i] = TreeNode{0, 0, -1, -1, -1};
    for (int i = c.n - 2; i >= 0; i--) {
        attachSide(c, i, c.entries[i], false);
        attachSide(c, i, c.entries[i + 1], true);
        if (i > 0) {
            c.entries[i].frequency += c.entries[i + 1].frequency;
            c.entries[i].subtree = i;
            c.entries[i + 1].frequency = 0;
            sortEntries(c.entries, i + 1);
        }
    }
}

// Code of a leaf hanging on one side of `node`: bit 0 is that side, then one bit per edge upwards.
static void buildLeafCode(HuffmanCodec& c, int node, uint8_t value, bool right)
{
    uint32_t length = 1;
    uint64_t bits = right ? 1 : 0;
    for (int child = node, parent = c.nodes[node].parent; parent >= 0 && length < MAX_CODE_BITS;
         child = parent, parent = c.nodes[parent].parent) {
        if (c.nodes[parent].rightChild == child) bits |= (uint64_t)1 << length;
        length++;
    }
    c.codeLength[value] = length;
    c.codeBits[value] = bits;
}

size_t packedCapacity(size_t length) { return length + HEADER_BYTES + TABLE_ENTRY_BYTES * 256 + 1; }

int packHuffman(const uint8_t* in, int length, uint8_t* out)
{
    static HuffmanCodec c;
    memset(&c, 0, sizeof c);
    uint32_t frequency[256] = {0};
    for (int i = 0; i < length; i++) frequency[in[i]]++;
    c.n = 0;
    for (int k = 0; k < 256; k++) {
        c.entries[k] = SortEntry{frequency[k], (uint8_t)k, -1};
        if (frequency[k]) c.n++;
    }
    sortEntries(c.entries, 256);

    memcpy(out, "HUFF", 4);
    writeInt32(out + 4, (uint32_t)c.n);
    writeInt32(out + 8, (uint32_t)length);
    writeInt32(out + 12, 0);
    uint8_t* table = out + HEADER_BYTES;
    for (int i = 0; i < c.n; i++) {
        writeInt32(table + i * TABLE_ENTRY_BYTES, c.entries[i].frequency);
        table[i * TABLE_ENTRY_BYTES + 4] = c.entries[i].value;
    }

    if (c.n == 1) {
        c.codeLength[c.entries[0].value] = 1;
        c.codeBits[c.entries[0].value] = 0;
    } else {
        buildTree(c);
        for (int i = c.n - 2; i >= 0; i--) {
            const TreeNode& t = c.nodes[i];
            if (t.leftChild < 0) buildLeafCode(c, i, t.leftValue, false);
            if (t.rightChild < 0) buildLeafCode(c, i, t.rightValue, true);
        }
    }

    uint8_t* cursor = table + c.n * TABLE_ENTRY_BYTES;
    *cursor = 0;
    int freeBits = 8;
    for (int i = 0; i < length; i++) {
        uint8_t value = in[i];
        uint64_t code = c.codeBits[value];
        for (int j = (int)c.codeLength[value] - 1; j >= 0; j--) {
            freeBits--;
            *cursor |= (uint8_t)(((code >> j) & 1) << freeBits);
            if (freeBits == 0) {
                *++cursor = 0;
                freeBits = 8;
            }
        }
    }
    // The byte in progress always counts, even when nothing has been put into it yet.
    int packedLength = (int)(cursor - out) + 1;
    writeInt32(out + 12, (uint32_t)packedLength);
    return packedLength;
}

static char s_reason[256];

const char* packedUnpackedLength(const uint8_t* packed, size_t packedSize, int* unpackedLength)
{
    if (packedSize < HEADER_BYTES) {
        snprintf(s_reason, sizeof s_reason, "Packed block is too short: %zu bytes", packedSize);
        return s_reason;
    }
    int32_t length = (int32_t)readInt32(packed + 8);
    if (length < 0) {
        snprintf(s_reason, sizeof s_reason, "Negative unpacked length in packed block: %i", length);
        return s_reason;
    }
    *unpackedLength = length;
    return nullptr;
}

const char* unpackHuffman(const uint8_t* packed, size_t packedSize, uint8_t* out, size_t outCapacity,
                          int* unpackedLength)
{
    int length = 0;
    if (const char* reason = packedUnpackedLength(packed, packedSize, &length)) return reason;
    int32_t n = (int32_t)readInt32(packed + 4);
    if (n < 2 || n > 256) {
        snprintf(s_reason, sizeof s_reason, "Unsupported symbol count %i in packed block (2 to 256)", n);
        return s_reason;
    }
    size_t codeStart = HEADER_BYTES + (size_t)n * TABLE_ENTRY_BYTES;
    if (packedSize < codeStart) {
        snprintf(s_reason, sizeof s_reason, "Packed block of %zu bytes ends inside its symbol table", packedSize);
        return s_reason;
    }
    // Every byte costs at least one bit: a longer announced length is forged.
    if ((uint64_t)length > (uint64_t)(packedSize - codeStart) * 8 || (size_t)length > outCapacity) {
        snprintf(s_reason, sizeof s_reason, "Unpacked length %i does not fit the packed block", length);
        return s_reason;
    }

    static HuffmanCodec c;
    memset(&c, 0, sizeof c);
    c.n = n;
    for (int i = 0; i < n; i++) {
        const uint8_t* e = packed + HEADER_BYTES + i * TABLE_ENTRY_BYTES;
        c.entries[i] = SortEntry{readInt32(e), e[4], -1};
    }
    for (int i = n; i < 256; i++) c.entries[i] = SortEntry{0, 0, -1};
    buildTree(c);

    // Flatten the tree: next[node][bit] >= 0 is a node, < 0 is the leaf value -(v + 1).
    static int next[256][2];
    for (int i = 0; i < n - 1; i++) {
        const TreeNode& t = c.nodes[i];
        next[i][0] = t.leftChild >= 0 ? t.leftChild : -(int)t.leftValue - 1;
        next[i][1] = t.rightChild >= 0 ? t.rightChild : -(int)t.rightValue - 1;
    }

    // First LOOKUP_BITS bits from the root in one step: a leaf and its code length, or the node
    // reached, from which the walk goes on bit by bit. Children always have higher node numbers
    // than their parent, so every walk ends.
    static LookupEntry lookup[1 << LOOKUP_BITS];
    for (int pattern = 0; pattern < (1 << LOOKUP_BITS); pattern++) {
        int node = 0;
        LookupEntry e = {0, LOOKUP_BITS, 0};
        for (int k = 0; k < LOOKUP_BITS; k++) {
            node = next[node][(pattern >> (LOOKUP_BITS - 1 - k)) & 1];
            if (node < 0) {
                e = LookupEntry{(int16_t)(-node - 1), (uint8_t)(k + 1), 1};
                break;
            }
        }
        if (!e.leaf) e.target = (int16_t)node;
        lookup[pattern] = e;
    }

    // Bits are consumed from the top of a 64-bit buffer; past the end of the block it holds zeros,
    // and a code that would need them is refused.
    const uint8_t* bits = packed + codeStart;
    size_t byteCount = packedSize - codeStart;
    size_t nextByte = 0;
    uint64_t buffer = 0;
    int buffered = 0;
    for (int produced = 0; produced < length; produced++) {
        while (buffered <= 56 && nextByte < byteCount) {
            buffer |= (uint64_t)bits[nextByte++] << (56 - buffered);
            buffered += 8;
        }
        const LookupEntry& e = lookup[buffer >> (64 - LOOKUP_BITS)];
        if (e.length > buffered) {
            snprintf(s_reason, sizeof s_reason, "Packed data ends after %i of %i bytes", produced, length);
            return s_reason;
        }
        buffer <<= e.length;
        buffered -= e.length;
        if (e.leaf) {
            out[produced] = (uint8_t)e.target;
            continue;
        }
        int node = e.target;
        for (;;) {
            if (buffered == 0) {
                if (nextByte >= byteCount) {
                    snprintf(s_reason, sizeof s_reason, "Packed data ends after %i of %i bytes", produced, length);
                    return s_reason;
                }
                buffer = (uint64_t)bits[nextByte++] << 56;
                buffered = 8;
            }
            int bit = (int)(buffer >> 63);
            buffer <<= 1;
            buffered--;
            node = next[node][bit];
            if (node < 0) break;
        }
        out[produced] = (uint8_t)(-node - 1);
    }
    *unpackedLength = length;
    return nullptr;
}

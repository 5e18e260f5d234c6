// Image files written by the texture tests: a small PNG encoder with its own deflate (stored,
// fixed-code and dynamic-code blocks, optional LZ77 matches, Adam7), and TGA and BMP writers.
// The encoder is written independently of the decoder so the tests compare two implementations.
#pragma once

#include <stdint.h>
#include <string.h>
#include <algorithm>
#include <vector>

namespace testimg {

typedef std::vector<uint8_t> Bytes;

// >> deflate encoder

struct BitWriter {
    Bytes out;
    uint32_t acc = 0;
    int count = 0;
    void put(uint32_t value, int bits) // least significant bit first
    {
        for (int i = 0; i < bits; i++) {
            acc |= ((value >> i) & 1u) << count;
            if (++count == 8) { out.push_back((uint8_t)acc); acc = 0; count = 0; }
        }
    }
    void putCode(uint32_t code, int length) // Huffman codes go most significant bit first
    {
        for (int i = length - 1; i >= 0; i--) put((code >> i) & 1u, 1);
    }
    void align() { if (count) put(0, 8 - count); }
};

enum DeflateMode { STORED, FIXED, DYNAMIC };

struct Token { int length; int distance; uint8_t literal; };

static const int kLenBase[29] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
static const int kLenExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
static const int kDistBase[30] = {1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
static const int kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
static const int kPrecodeOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

inline int lengthSymbol(int length) { int s = 28; while (kLenBase[s] > length) s--; return s; }
inline int distanceSymbol(int distance) { int s = 29; while (kDistBase[s] > distance) s--; return s; }

// Greedy LZ77 over a hash of three bytes; literals only when matches are off.
inline std::vector<Token> tokenize(const Bytes& data, bool matches)
{
    std::vector<Token> tokens;
    std::vector<int> head(1 << 15, -1);
    size_t i = 0;
    while (i < data.size()) {
        int bestLength = 0, bestDistance = 0;
        if (matches && i + 3 <= data.size()) {
            uint32_t h = ((data[i] << 10) ^ (data[i + 1] << 5) ^ data[i + 2]) & 0x7FFF;
            int candidate = head[h];
            head[h] = (int)i;
            if (candidate >= 0 && i - candidate <= 32768) {
                int length = 0;
                while (length < 258 && i + length < data.size() && data[candidate + length] == data[i + length]) length++;
                if (length >= 3) { bestLength = length; bestDistance = (int)(i - candidate); }
            }
        }
        if (bestLength) {
            tokens.push_back({bestLength, bestDistance, 0});
            i += bestLength;
        } else {
            tokens.push_back({0, 0, data[i]});
            i++;
        }
    }
    return tokens;
}

// Huffman code lengths limited to `limit` bits (frequencies halved until they fit).
inline std::vector<int> huffmanLengths(std::vector<int> freq, int limit)
{
    size_t n = freq.size();
    for (;;) {
        std::vector<int> lengths(n, 0);
        std::vector<std::pair<long, std::vector<int>>> nodes;
        for (size_t s = 0; s < n; s++)
            if (freq[s] > 0) nodes.push_back({freq[s], {(int)s}});
        if (nodes.size() == 1) { lengths[nodes[0].second[0]] = 1; return lengths; }
        while (nodes.size() > 1) {
            std::sort(nodes.begin(), nodes.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
            auto a = nodes.back(); nodes.pop_back();
            auto b = nodes.back(); nodes.pop_back();
            for (int s : a.second) lengths[s]++;
            for (int s : b.second) lengths[s]++;
            a.second.insert(a.second.end(), b.second.begin(), b.second.end());
            nodes.push_back({a.first + b.first, a.second});
        }
        if (*std::max_element(lengths.begin(), lengths.end()) <= limit) return lengths;
        for (int& f : freq) if (f > 0) f = std::max(1, f / 2);
    }
}

inline std::vector<uint32_t> canonicalCodes(const std::vector<int>& lengths)
{
    std::vector<uint32_t> codes(lengths.size(), 0);
    uint32_t code = 0;
    for (int len = 1; len <= 15; len++) {
        for (size_t s = 0; s < lengths.size(); s++)
            if (lengths[s] == len) codes[s] = code++;
        code <<= 1;
    }
    return codes;
}

inline void fixedLengths(std::vector<int>* lit, std::vector<int>* dist)
{
    lit->assign(288, 8);
    for (int s = 144; s < 256; s++) (*lit)[s] = 9;
    for (int s = 256; s < 280; s++) (*lit)[s] = 7;
    dist->assign(30, 5);
}

inline void writeTokens(BitWriter& w, const std::vector<Token>& tokens, const std::vector<int>& litLen,
                        const std::vector<int>& distLen)
{
    std::vector<uint32_t> litCode = canonicalCodes(litLen), distCode = canonicalCodes(distLen);
    for (const Token& t : tokens) {
        if (!t.length) { w.putCode(litCode[t.literal], litLen[t.literal]); continue; }
        int ls = lengthSymbol(t.length);
        w.putCode(litCode[257 + ls], litLen[257 + ls]);
        w.put(t.length - kLenBase[ls], kLenExtra[ls]);
        int ds = distanceSymbol(t.distance);
        w.putCode(distCode[ds], distLen[ds]);
        w.put(t.distance - kDistBase[ds], kDistExtra[ds]);
    }
    w.putCode(litCode[256], litLen[256]);
}

inline void writeDynamicBlock(BitWriter& w, const std::vector<Token>& tokens, bool final)
{
    std::vector<int> litFreq(286, 0), distFreq(30, 0);
    for (const Token& t : tokens) {
        if (!t.length) litFreq[t.literal]++;
        else { litFreq[257 + lengthSymbol(t.length)]++; distFreq[distanceSymbol(t.distance)]++; }
    }
    litFreq[256] = 1;
    // Two distance codes at least, so the distance code is complete.
    if (distFreq[0] == 0) distFreq[0] = 1;
    if (distFreq[1] == 0) distFreq[1] = 1;
    std::vector<int> litLen = huffmanLengths(litFreq, 15), distLen = huffmanLengths(distFreq, 15);
    int hlit = 286, hdist = 30;
    while (hlit > 257 && litLen[hlit - 1] == 0) hlit--;
    while (hdist > 1 && distLen[hdist - 1] == 0) hdist--;
    std::vector<int> all(litLen.begin(), litLen.begin() + hlit);
    all.insert(all.end(), distLen.begin(), distLen.begin() + hdist);
    // Code lengths with the repeat codes 16, 17 and 18.
    struct Item { int symbol, extra, extraBits; };
    std::vector<Item> items;
    for (size_t i = 0; i < all.size();) {
        size_t run = 1;
        while (i + run < all.size() && all[i + run] == all[i]) run++;
        if (all[i] == 0 && run >= 3) {
            size_t take = std::min<size_t>(run, 138);
            if (take >= 11) items.push_back({18, (int)take - 11, 7});
            else items.push_back({17, (int)take - 3, 3});
            i += take;
        } else if (all[i] != 0 && run >= 4) {
            items.push_back({all[i], 0, 0});
            size_t take = std::min<size_t>(run - 1, 6);
            items.push_back({16, (int)take - 3, 2});
            i += 1 + take;
        } else {
            items.push_back({all[i], 0, 0});
            i++;
        }
    }
    std::vector<int> preFreq(19, 0);
    for (const Item& it : items) preFreq[it.symbol]++;
    int distinct = 0;
    for (int f : preFreq) distinct += f > 0;
    if (distinct < 2) preFreq[preFreq[0] ? 1 : 0]++; // keep the code complete
    std::vector<int> preLen = huffmanLengths(preFreq, 7);
    std::vector<uint32_t> preCode = canonicalCodes(preLen);
    int hclen = 19;
    while (hclen > 4 && preLen[kPrecodeOrder[hclen - 1]] == 0) hclen--;
    w.put(final ? 1 : 0, 1);
    w.put(2, 2);
    w.put(hlit - 257, 5);
    w.put(hdist - 1, 5);
    w.put(hclen - 4, 4);
    for (int i = 0; i < hclen; i++) w.put(preLen[kPrecodeOrder[i]], 3);
    for (const Item& it : items) {
        w.putCode(preCode[it.symbol], preLen[it.symbol]);
        w.put(it.extra, it.extraBits);
    }
    writeTokens(w, tokens, litLen, distLen);
}

// zlib stream of `data`. Blocks hold at most `blockBytes` input bytes each.
inline Bytes zlibCompress(const Bytes& data, DeflateMode mode, bool matches = true, size_t blockBytes = 65535)
{
    BitWriter w;
    w.put(0x78, 8);
    w.put(0x01, 8);
    size_t pos = 0;
    do {
        size_t n = std::min(blockBytes, data.size() - pos);
        if (mode == STORED) n = std::min<size_t>(n, 65535);
        bool final = pos + n == data.size();
        Bytes piece(data.begin() + pos, data.begin() + pos + n);
        if (mode == STORED) {
            w.put(final ? 1 : 0, 1);
            w.put(0, 2);
            w.align();
            w.put((uint32_t)n, 16);
            w.put((uint32_t)n ^ 0xFFFF, 16);
            for (uint8_t b : piece) w.put(b, 8);
        } else if (mode == FIXED) {
            w.put(final ? 1 : 0, 1);
            w.put(1, 2);
            std::vector<int> lit, dist;
            fixedLengths(&lit, &dist);
            writeTokens(w, tokenize(piece, matches), lit, dist);
        } else {
            writeDynamicBlock(w, tokenize(piece, matches), final);
        }
        pos += n;
    } while (pos < data.size());
    w.align();
    // Adler-32 (the decoder does not check it, but the files stay valid PNGs).
    uint32_t a = 1, b = 0;
    for (uint8_t c : data) { a = (a + c) % 65521; b = (b + a) % 65521; }
    uint32_t adler = b << 16 | a;
    for (int i = 3; i >= 0; i--) w.out.push_back((uint8_t)(adler >> (8 * i)));
    return w.out;
}

// >> PNG writer

inline uint32_t crc32(const uint8_t* p, size_t n, uint32_t crc = 0)
{
    crc = ~crc;
    for (size_t i = 0; i < n; i++) {
        crc ^= p[i];
        for (int k = 0; k < 8; k++) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

inline void putBe32(Bytes& out, uint32_t v)
{
    for (int i = 3; i >= 0; i--) out.push_back((uint8_t)(v >> (8 * i)));
}

inline void addChunk(Bytes& png, const char* type, const Bytes& data)
{
    putBe32(png, (uint32_t)data.size());
    size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    putBe32(png, crc32(png.data() + start, png.size() - start));
}

struct PngSpec {
    int width = 1, height = 1;
    int colorType = 6, bitDepth = 8;
    bool interlaced = false;
    DeflateMode mode = DYNAMIC;
    bool matches = true;
    int filter = -1; // -1: each row cycles through the five filters
    size_t blockBytes = 65535;
    Bytes palette;   // PLTE contents
    Bytes trns;      // tRNS contents (none when empty)
};

inline int channelsOf(int colorType) { return colorType == 2 ? 3 : colorType == 4 ? 2 : colorType == 6 ? 4 : 1; }

inline uint8_t paethPredictor(int a, int b, int c)
{
    int p = a + b - c, pa = abs(p - a), pb = abs(p - b), pc = abs(p - c);
    if (pa <= pb && pa <= pc) return (uint8_t)a;
    return (uint8_t)(pb <= pc ? b : c);
}

// Filters one (sub-)image of packed rows and appends it to `raw`.
inline void filterRows(const std::vector<Bytes>& rows, size_t unit, int filterChoice, Bytes& raw)
{
    Bytes zero(rows.empty() ? 0 : rows[0].size(), 0);
    for (size_t y = 0; y < rows.size(); y++) {
        const Bytes& cur = rows[y];
        const Bytes& prev = y ? rows[y - 1] : zero;
        int f = filterChoice >= 0 ? filterChoice : (int)(y % 5);
        raw.push_back((uint8_t)f);
        for (size_t i = 0; i < cur.size(); i++) {
            int a = i >= unit ? cur[i - unit] : 0, b = prev[i], c = i >= unit ? prev[i - unit] : 0;
            int pred = f == 0 ? 0 : f == 1 ? a : f == 2 ? b : f == 3 ? (a + b) / 2 : paethPredictor(a, b, c);
            raw.push_back((uint8_t)(cur[i] - pred));
        }
    }
}

// `samples`: the image's rows packed as the PNG stores them (no filter bytes), top row first.
// Interlacing needs bit depth 8 or 16.
inline Bytes makePng(const PngSpec& spec, const Bytes& samples)
{
    size_t bitsPerPixel = (size_t)channelsOf(spec.colorType) * spec.bitDepth;
    size_t rowBytes = (spec.width * bitsPerPixel + 7) / 8;
    size_t unit = std::max<size_t>(1, bitsPerPixel / 8);
    Bytes raw;
    if (!spec.interlaced) {
        std::vector<Bytes> rows;
        for (int y = 0; y < spec.height; y++)
            rows.push_back(Bytes(samples.begin() + y * rowBytes, samples.begin() + (y + 1) * rowBytes));
        filterRows(rows, unit, spec.filter, raw);
    } else {
        static const int X0[7] = {0, 4, 0, 2, 0, 1, 0}, Y0[7] = {0, 0, 4, 0, 2, 0, 1};
        static const int DX[7] = {8, 8, 4, 4, 2, 2, 1}, DY[7] = {8, 8, 8, 4, 4, 2, 2};
        size_t bpp = bitsPerPixel / 8;
        for (int p = 0; p < 7; p++) {
            std::vector<Bytes> rows;
            for (int y = Y0[p]; y < spec.height; y += DY[p]) {
                Bytes row;
                for (int x = X0[p]; x < spec.width; x += DX[p])
                    row.insert(row.end(), samples.begin() + y * rowBytes + x * bpp, samples.begin() + y * rowBytes + (x + 1) * bpp);
                if (!row.empty()) rows.push_back(row);
            }
            filterRows(rows, unit, spec.filter, raw);
        }
    }
    Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes ihdr;
    putBe32(ihdr, (uint32_t)spec.width);
    putBe32(ihdr, (uint32_t)spec.height);
    ihdr.push_back((uint8_t)spec.bitDepth);
    ihdr.push_back((uint8_t)spec.colorType);
    ihdr.push_back(0);
    ihdr.push_back(0);
    ihdr.push_back(spec.interlaced ? 1 : 0);
    addChunk(png, "IHDR", ihdr);
    if (!spec.palette.empty()) addChunk(png, "PLTE", spec.palette);
    if (!spec.trns.empty()) addChunk(png, "tRNS", spec.trns);
    Bytes z = zlibCompress(raw, spec.mode, spec.matches, spec.blockBytes);
    // Split the data over two IDAT chunks, as encoders do for large images.
    size_t half = z.size() / 2;
    addChunk(png, "IDAT", Bytes(z.begin(), z.begin() + half));
    addChunk(png, "IDAT", Bytes(z.begin() + half, z.end()));
    addChunk(png, "IEND", Bytes());
    return png;
}

// >> TGA and BMP writers

// 18-byte TGA header of an uncompressed (type 2) or run-length (type 10) true-colour image.
inline Bytes tgaHeader(int type, int width, int height, int depth)
{
    Bytes h(18, 0);
    h[2] = (uint8_t)type;
    h[12] = (uint8_t)width;
    h[13] = (uint8_t)(width >> 8);
    h[14] = (uint8_t)height;
    h[15] = (uint8_t)(height >> 8);
    h[16] = (uint8_t)depth;
    return h;
}

inline void putLe32(Bytes& out, uint32_t v) { for (int i = 0; i < 4; i++) out.push_back((uint8_t)(v >> (8 * i))); }
inline void putLe16(Bytes& out, uint32_t v) { out.push_back((uint8_t)v); out.push_back((uint8_t)(v >> 8)); }

// BMP with a 40-byte information header; `body` is the pixel data as stored.
inline Bytes bmpFile(int width, int height, int bitsPerPixel, int compression, uint32_t imageSize, const Bytes& body,
                     uint32_t coloursUsed = 0, uint32_t coloursImportant = 0)
{
    Bytes f = {'B', 'M'};
    putLe32(f, (uint32_t)(54 + body.size()));
    putLe32(f, 0);
    putLe32(f, 54);
    putLe32(f, 40);
    putLe32(f, (uint32_t)width);
    putLe32(f, (uint32_t)height);
    putLe16(f, 1);
    putLe16(f, (uint32_t)bitsPerPixel);
    putLe32(f, (uint32_t)compression);
    putLe32(f, imageSize);
    putLe32(f, 2835);
    putLe32(f, 2835);
    putLe32(f, coloursUsed);
    putLe32(f, coloursImportant);
    f.insert(f.end(), body.begin(), body.end());
    return f;
}

} // namespace testimg

// image: PNG writing with a small deflate of its own, scaling, tiling, text, comparison.
#include "image.h"

#include "util/texture/png_loader.h" // RawPngDecoder

#include <algorithm>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// >> deflate (fixed Huffman codes)

struct BitWriter {
    std::vector<uint8_t>* out;
    uint32_t buffer = 0;
    int count = 0;

    void put(uint32_t bits, int n) // LSB first, as deflate packs them
    {
        buffer |= bits << count;
        count += n;
        while (count >= 8) {
            out->push_back((uint8_t)buffer);
            buffer >>= 8;
            count -= 8;
        }
    }
    void putReversed(uint32_t code, int n) // Huffman codes go most significant bit first
    {
        uint32_t r = 0;
        for (int i = 0; i < n; i++) r |= ((code >> i) & 1) << (n - 1 - i);
        put(r, n);
    }
    void flush()
    {
        if (count > 0) out->push_back((uint8_t)buffer);
        buffer = 0;
        count = 0;
    }
};

static void putLiteral(BitWriter& w, int v)
{
    if (v < 144) w.putReversed(0x30 + v, 8);
    else if (v < 256) w.putReversed(0x190 + (v - 144), 9);
    else if (v < 280) w.putReversed(v - 256, 7);
    else w.putReversed(0xC0 + (v - 280), 8);
}

static const int LENGTH_BASE[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                    31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
static const int LENGTH_EXTRA[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
static const int DIST_BASE[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                  193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
static const int DIST_EXTRA[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

static void putMatch(BitWriter& w, int length, int distance)
{
    int l = 28;
    while (LENGTH_BASE[l] > length) l--;
    putLiteral(w, 257 + l);
    w.put((uint32_t)(length - LENGTH_BASE[l]), LENGTH_EXTRA[l]);
    int d = 29;
    while (DIST_BASE[d] > distance) d--;
    w.putReversed((uint32_t)d, 5);
    w.put((uint32_t)(distance - DIST_BASE[d]), DIST_EXTRA[d]);
}

enum { WINDOW = 32768, HASH_BITS = 15, MIN_MATCH = 3, MAX_MATCH = 258, MAX_CHAIN = 16 };

static std::vector<uint8_t> zlibCompress(const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> out = {0x78, 0x01};
    BitWriter w;
    w.out = &out;
    w.put(1, 1); // one final block
    w.put(1, 2); // fixed Huffman codes
    std::vector<int> head(1 << HASH_BITS, -1), prev(data.size(), -1);
    size_t n = data.size();
    auto hashAt = [&](size_t i) {
        return ((data[i] << 10) ^ (data[i + 1] << 5) ^ data[i + 2]) & ((1 << HASH_BITS) - 1);
    };
    size_t i = 0;
    while (i < n) {
        int bestLength = 0, bestDistance = 0;
        if (i + MIN_MATCH <= n) {
            int h = hashAt(i);
            int candidate = head[h];
            for (int chain = 0; candidate >= 0 && chain < MAX_CHAIN; chain++, candidate = prev[candidate]) {
                int distance = (int)i - candidate;
                if (distance > WINDOW - 1) break;
                int limit = (int)std::min<size_t>(MAX_MATCH, n - i);
                int length = 0;
                while (length < limit && data[candidate + length] == data[i + length]) length++;
                if (length > bestLength) {
                    bestLength = length;
                    bestDistance = distance;
                    if (length == limit) break;
                }
            }
        }
        int advance = 1;
        if (bestLength >= MIN_MATCH) {
            putMatch(w, bestLength, bestDistance);
            advance = bestLength;
        } else {
            putLiteral(w, data[i]);
        }
        for (int k = 0; k < advance; k++, i++) {
            if (i + MIN_MATCH <= n) {
                int h = hashAt(i);
                prev[i] = head[h];
                head[h] = (int)i;
            }
        }
    }
    putLiteral(w, 256);
    w.flush();
    uint32_t a = 1, b = 0;
    for (uint8_t byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    uint32_t adler = (b << 16) | a;
    for (int k = 3; k >= 0; k--) out.push_back((uint8_t)(adler >> (8 * k)));
    return out;
}

// >> PNG

static uint32_t crc32(const uint8_t* data, size_t n, uint32_t crc = 0)
{
    static uint32_t table[256];
    static bool ready = false;
    if (!ready) {
        for (uint32_t k = 0; k < 256; k++) {
            uint32_t c = k;
            for (int j = 0; j < 8; j++) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[k] = c;
        }
        ready = true;
    }
    crc = ~crc;
    for (size_t i = 0; i < n; i++) crc = table[(crc ^ data[i]) & 0xff] ^ (crc >> 8);
    return ~crc;
}

static void putChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& body)
{
    uint32_t length = (uint32_t)body.size();
    for (int k = 3; k >= 0; k--) out.push_back((uint8_t)(length >> (8 * k)));
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), body.begin(), body.end());
    uint32_t crc = crc32(&out[start], out.size() - start);
    for (int k = 3; k >= 0; k--) out.push_back((uint8_t)(crc >> (8 * k)));
}

static int paeth(int a, int b, int c)
{
    int p = a + b - c, pa = abs(p - a), pb = abs(p - b), pc = abs(p - c);
    return (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
}

std::vector<uint8_t> encodePng(const Image& image)
{
    const int bpp = 3;
    size_t stride = (size_t)image.width * bpp;
    std::vector<uint8_t> raw, previous(stride, 0), row(stride), candidate(stride), best(stride);
    raw.reserve((stride + 1) * image.height);
    for (int y = 0; y < image.height; y++) {
        const uint8_t* src = &image.rgba[(size_t)y * image.width * 4];
        for (int x = 0; x < image.width; x++) memcpy(&row[(size_t)x * 3], &src[(size_t)x * 4], 3);
        // Pick the filter with the smallest sum of signed residues, the usual heuristic.
        long bestScore = -1;
        int bestFilter = 0;
        for (int filter = 0; filter < 5; filter++) {
            long score = 0;
            for (size_t i = 0; i < stride; i++) {
                int a = i >= bpp ? row[i - bpp] : 0, b = previous[i], c = i >= bpp ? previous[i - bpp] : 0;
                int predicted = filter == 0 ? 0 : filter == 1 ? a : filter == 2 ? b : filter == 3 ? (a + b) / 2 : paeth(a, b, c);
                candidate[i] = (uint8_t)(row[i] - predicted);
                score += candidate[i] < 128 ? candidate[i] : 256 - candidate[i];
            }
            if (bestScore < 0 || score < bestScore) {
                bestScore = score;
                bestFilter = filter;
                best = candidate;
            }
        }
        raw.push_back((uint8_t)bestFilter);
        raw.insert(raw.end(), best.begin(), best.end());
        previous = row;
    }
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    std::vector<uint8_t> header(13, 0);
    for (int k = 0; k < 4; k++) {
        header[k] = (uint8_t)(image.width >> (24 - 8 * k));
        header[4 + k] = (uint8_t)(image.height >> (24 - 8 * k));
    }
    header[8] = 8; // bit depth
    header[9] = 2; // RGB
    putChunk(out, "IHDR", header);
    putChunk(out, "IDAT", zlibCompress(raw));
    putChunk(out, "IEND", {});
    return out;
}

bool writePng(const std::string& path, const Image& image)
{
    std::vector<uint8_t> bytes = encodePng(image);
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

// >> picture operations

Image scaleImage(const Image& source, int width, int height)
{
    Image out;
    out.width = width;
    out.height = height;
    out.rgba.assign((size_t)width * height * 4, 0);
    for (int y = 0; y < height; y++) {
        int y0 = y * source.height / height, y1 = std::max(y0 + 1, (y + 1) * source.height / height);
        for (int x = 0; x < width; x++) {
            int x0 = x * source.width / width, x1 = std::max(x0 + 1, (x + 1) * source.width / width);
            uint32_t sum[4] = {0, 0, 0, 0}, count = 0;
            for (int sy = y0; sy < y1 && sy < source.height; sy++)
                for (int sx = x0; sx < x1 && sx < source.width; sx++, count++)
                    for (int c = 0; c < 4; c++) sum[c] += source.rgba[((size_t)sy * source.width + sx) * 4 + c];
            for (int c = 0; c < 4; c++)
                out.rgba[((size_t)y * width + x) * 4 + c] = (uint8_t)(count ? sum[c] / count : 0);
        }
    }
    return out;
}

void blitImage(Image* target, const Image& source, int x, int y)
{
    for (int sy = 0; sy < source.height; sy++) {
        int ty = y + sy;
        if (ty < 0 || ty >= target->height) continue;
        for (int sx = 0; sx < source.width; sx++) {
            int tx = x + sx;
            if (tx < 0 || tx >= target->width) continue;
            memcpy(&target->rgba[((size_t)ty * target->width + tx) * 4], &source.rgba[((size_t)sy * source.width + sx) * 4], 4);
        }
    }
}

// 5x7 glyphs for digits, '.', '-', ' ' and capital letters; one byte per row, bit 4 leftmost.
static const uint8_t* glyphFor(char c)
{
    static const uint8_t DIGITS[10][7] = {
        {14, 17, 19, 21, 25, 17, 14}, {4, 12, 4, 4, 4, 4, 14},   {14, 17, 1, 2, 4, 8, 31},
        {31, 2, 4, 2, 1, 17, 14},     {2, 6, 10, 18, 31, 2, 2},  {31, 16, 30, 1, 1, 17, 14},
        {6, 8, 16, 30, 17, 17, 14},   {31, 1, 2, 4, 8, 8, 8},    {14, 17, 17, 14, 17, 17, 14},
        {14, 17, 17, 15, 1, 2, 12},
    };
    static const uint8_t LETTERS[26][7] = {
        {14, 17, 17, 31, 17, 17, 17}, {30, 17, 17, 30, 17, 17, 30}, {14, 17, 16, 16, 16, 17, 14},
        {30, 17, 17, 17, 17, 17, 30}, {31, 16, 16, 30, 16, 16, 31}, {31, 16, 16, 30, 16, 16, 16},
        {14, 17, 16, 23, 17, 17, 15}, {17, 17, 17, 31, 17, 17, 17}, {14, 4, 4, 4, 4, 4, 14},
        {7, 2, 2, 2, 2, 18, 12},      {17, 18, 20, 24, 20, 18, 17}, {16, 16, 16, 16, 16, 16, 31},
        {17, 27, 21, 21, 17, 17, 17}, {17, 17, 25, 21, 19, 17, 17}, {14, 17, 17, 17, 17, 17, 14},
        {30, 17, 17, 30, 16, 16, 16}, {14, 17, 17, 17, 21, 18, 13}, {30, 17, 17, 30, 20, 18, 17},
        {15, 16, 16, 14, 1, 1, 30},   {31, 4, 4, 4, 4, 4, 4},       {17, 17, 17, 17, 17, 17, 14},
        {17, 17, 17, 17, 17, 10, 4},  {17, 17, 17, 21, 21, 21, 10}, {17, 17, 10, 4, 10, 17, 17},
        {17, 17, 10, 4, 4, 4, 4},     {31, 1, 2, 4, 8, 16, 31},
    };
    static const uint8_t DOT[7] = {0, 0, 0, 0, 0, 12, 12}, DASH[7] = {0, 0, 0, 14, 0, 0, 0}, BLANK[7] = {0};
    if (c >= '0' && c <= '9') return DIGITS[c - '0'];
    if (c >= 'a' && c <= 'z') c = (char)(c - 32);
    if (c >= 'A' && c <= 'Z') return LETTERS[c - 'A'];
    if (c == '.') return DOT;
    if (c == '-') return DASH;
    return BLANK;
}

void drawText(Image* target, int x, int y, const std::string& text, int scale, uint32_t rgb)
{
    for (size_t i = 0; i < text.size(); i++) {
        const uint8_t* glyph = glyphFor(text[i]);
        for (int row = 0; row < 7; row++)
            for (int col = 0; col < 5; col++) {
                if (!(glyph[row] & (16 >> col))) continue;
                for (int dy = 0; dy < scale; dy++)
                    for (int dx = 0; dx < scale; dx++) {
                        int px = x + ((int)i * 6 + col) * scale + dx, py = y + row * scale + dy;
                        if (px < 0 || py < 0 || px >= target->width || py >= target->height) continue;
                        uint8_t* p = &target->rgba[((size_t)py * target->width + px) * 4];
                        p[0] = (uint8_t)(rgb >> 16);
                        p[1] = (uint8_t)(rgb >> 8);
                        p[2] = (uint8_t)rgb;
                        p[3] = 255;
                    }
            }
    }
}

bool samePicture(const ImageDifference& d)
{
    return d.sameSize && d.meanChannel <= SAME_MAX_MEAN && d.psnr >= SAME_MIN_PSNR &&
           d.worstBlockMean <= SAME_MAX_BLOCK_MEAN;
}

ImageDifference compareImages(const Image& a, const Image& b)
{
    ImageDifference d = {0.0, 0, a.width == b.width && a.height == b.height, 0.0, 0.0};
    if (!d.sameSize) return d;
    uint64_t sum = 0, squares = 0;
    size_t pixels = (size_t)a.width * a.height;
    for (size_t i = 0; i < pixels; i++)
        for (int c = 0; c < 3; c++) {
            int diff = abs((int)a.rgba[i * 4 + c] - (int)b.rgba[i * 4 + c]);
            sum += (uint64_t)diff;
            squares += (uint64_t)(diff * diff);
            d.maxChannel = std::max(d.maxChannel, diff);
        }
    d.meanChannel = pixels ? (double)sum / (pixels * 3.0) : 0.0;
    double meanSquare = pixels ? (double)squares / (pixels * 3.0) : 0.0;
    d.psnr = meanSquare > 0.0 ? 10.0 * log10(255.0 * 255.0 / meanSquare) : INFINITY;
    // Blocks at the right and bottom edges may be narrower.
    for (int by = 0; by < a.height; by += DIFFERENCE_BLOCK)
        for (int bx = 0; bx < a.width; bx += DIFFERENCE_BLOCK) {
            uint64_t blockSum = 0, count = 0;
            for (int y = by; y < std::min(a.height, by + DIFFERENCE_BLOCK); y++)
                for (int x = bx; x < std::min(a.width, bx + DIFFERENCE_BLOCK); x++)
                    for (int c = 0; c < 3; c++, count++) {
                        size_t at = ((size_t)y * a.width + x) * 4 + c;
                        blockSum += (uint64_t)abs((int)a.rgba[at] - (int)b.rgba[at]);
                    }
            d.worstBlockMean = std::max(d.worstBlockMean, (double)blockSum / (double)count);
        }
    return d;
}

bool readPng(const std::string& path, Image* image)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    fclose(f);
    RawPngDecoder decoder;
    if (bytes.empty() || decoder.decodeMemory(bytes.data(), bytes.size()) != 1 || decoder.error || !decoder.rgba)
        return false;
    image->width = decoder.outputWidth;
    image->height = decoder.outputHeight;
    image->rgba.assign(decoder.rgba, decoder.rgba + (size_t)image->width * image->height * 4);
    return true;
}

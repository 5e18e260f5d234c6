// PNG decoding speed: the system's decoder against libpng on the same files, made here with libpng's
// writer (default compression and filter choice): photographic-like pictures (gradients plus noise,
// RGB and RGBA) and flat-colour pictures, 512 to 2048 pixels a side. Both decode from memory to
// 8-bit RGBA; the system's decoder also flips the rows, as loadPng does. Prints MB/s of decoded
// pixels for each and the ratio, and checks that both produce the same pixels.
#include "util/texture/png_loader.h"
#include <png.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <vector>

typedef std::vector<uint8_t> Bytes;

// CPU time of this thread: steadier than wall time on a machine shared with other work.
static double now()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

// >> test pictures

static Bytes photographic(int size, int channels, uint32_t seed)
{
    Bytes px((size_t)size * size * channels);
    uint32_t s = seed;
    for (int y = 0; y < size; y++) {
        for (int x = 0; x < size; x++) {
            uint8_t* p = &px[((size_t)y * size + x) * channels];
            double fx = (double)x / size, fy = (double)y / size;
            for (int c = 0; c < channels; c++) {
                s = s * 1664525u + 1013904223u;
                double base = 128 + 90 * sin(6.0 * fx + 2.0 * c) * cos(4.0 * fy - c) + 30 * fx;
                int noise = (int)((s >> 24) % 13) - 6;
                int v = (int)base + noise;
                if (c == 3) v = 255 - (int)(60 * fy) + noise / 3;
                p[c] = (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
    }
    return px;
}

static Bytes flat(int size, int channels)
{
    Bytes px((size_t)size * size * channels);
    for (int y = 0; y < size; y++) {
        for (int x = 0; x < size; x++) {
            uint8_t* p = &px[((size_t)y * size + x) * channels];
            int region = (x / (size / 4)) + 4 * (y / (size / 3));
            for (int c = 0; c < channels; c++) p[c] = (uint8_t)(region * 37 + c * 90);
            if (channels == 4) p[3] = 255;
        }
    }
    return px;
}

static void appendBytes(png_structp png, png_bytep data, png_size_t length)
{
    Bytes* out = (Bytes*)png_get_io_ptr(png);
    out->insert(out->end(), data, data + length);
}

static Bytes encodeWithLibpng(const Bytes& px, int size, int channels)
{
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, appendBytes, nullptr);
    png_set_IHDR(png, info, size, size, 8, channels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < size; y++) png_write_row(png, (png_bytep)&px[(size_t)y * size * channels]);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

// >> decoders

struct MemoryReader {
    const Bytes* bytes;
    size_t pos;
};

static void readBytes(png_structp png, png_bytep data, png_size_t length)
{
    MemoryReader* r = (MemoryReader*)png_get_io_ptr(png);
    if (length > r->bytes->size() - r->pos) png_error(png, "read past end");
    memcpy(data, r->bytes->data() + r->pos, length);
    r->pos += length;
}

// libpng to 8-bit RGBA, top row first, into a new malloc block as a loader would.
static uint8_t* decodeWithLibpng(const Bytes& file, size_t* bytes)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    MemoryReader reader = {&file, 0};
    png_set_read_fn(png, &reader, readBytes);
    png_read_info(png, info);
    png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_read_update_info(png, info);
    *bytes = (size_t)w * h * 4;
    uint8_t* rgba = (uint8_t*)malloc(*bytes);
    std::vector<png_bytep> rows(h);
    for (png_uint_32 y = 0; y < h; y++) rows[y] = rgba + (size_t)y * w * 4;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return rgba;
}

// The system's decoder to RGBA, flipped bottom-up as loadPng delivers it (a malloc block).
static uint8_t* decodeWithOurs(const Bytes& file, size_t* bytes)
{
    RawPngDecoder d;
    if (d.decodeMemory(file.data(), file.size()) != 1 || d.error || !d.rgba) return nullptr;
    d.flip();
    d.autoDeleteRgbaBuffer = false;
    *bytes = (size_t)d.outputWidth * d.outputHeight * 4;
    return d.rgba;
}

int main()
{
    struct Case { const char* name; int size; int channels; bool photo; };
    const Case cases[] = {
        {"photo RGB", 512, 3, true},   {"photo RGB", 1024, 3, true},  {"photo RGB", 2048, 3, true},
        {"photo RGBA", 512, 4, true},  {"photo RGBA", 2048, 4, true}, {"flat RGB", 1024, 3, false},
        {"flat RGBA", 512, 4, false},  {"flat RGBA", 2048, 4, false},
    };
    printf("%-11s %6s %9s %12s %12s %7s %s\n", "picture", "size", "file KB", "ours MB/s", "libpng MB/s", "ratio", "same");
    double oursTotal = 0, libpngTotal = 0, megabytesTotal = 0;
    bool allSame = true;
    for (const Case& c : cases) {
        Bytes px = c.photo ? photographic(c.size, c.channels, 1234u + c.size) : flat(c.size, c.channels);
        Bytes file = encodeWithLibpng(px, c.size, c.channels);
        double megabytes = (double)c.size * c.size * 4 / 1e6;
        int repeats = (int)(200 / megabytes) + 1;
        if (repeats > 100) repeats = 100;
        // Interleaved rounds, best of each, so both see the same machine state.
        double bestOurs = 1e9, bestLibpng = 1e9;
        bool ok = true;
        size_t oursBytes = 0, theirBytes = 0;
        for (int round = 0; round < 3; round++) {
            double t0 = now();
            for (int i = 0; i < repeats; i++) {
                uint8_t* p = decodeWithOurs(file, &oursBytes);
                ok = ok && p;
                free(p);
            }
            double t1 = now();
            for (int i = 0; i < repeats; i++) free(decodeWithLibpng(file, &theirBytes));
            double t2 = now();
            if ((t1 - t0) / repeats < bestOurs) bestOurs = (t1 - t0) / repeats;
            if ((t2 - t1) / repeats < bestLibpng) bestLibpng = (t2 - t1) / repeats;
        }
        // libpng's rows are top first; ours bottom first.
        uint8_t* ours = decodeWithOurs(file, &oursBytes);
        uint8_t* theirs = decodeWithLibpng(file, &theirBytes);
        bool same = ok && ours && oursBytes == theirBytes;
        size_t stride = (size_t)c.size * 4;
        for (int y = 0; same && y < c.size; y++)
            same = memcmp(ours + (size_t)y * stride, theirs + (size_t)(c.size - 1 - y) * stride, stride) == 0;
        free(ours);
        free(theirs);
        allSame = allSame && same;
        double oursRate = megabytes / bestOurs, libpngRate = megabytes / bestLibpng;
        printf("%-11s %6d %9.0f %12.1f %12.1f %7.2f %s\n", c.name, c.size, file.size() / 1024.0, oursRate, libpngRate,
               oursRate / libpngRate, same ? "yes" : "NO");
        oursTotal += bestOurs;
        libpngTotal += bestLibpng;
        megabytesTotal += megabytes;
    }
    printf("%-11s %6s %9s %12.1f %12.1f %7.2f %s\n", "all", "", "", megabytesTotal / oursTotal,
           megabytesTotal / libpngTotal, libpngTotal / oursTotal, allSame ? "yes" : "NO");
    printf("ratio = our throughput / libpng throughput (target >= 0.80)\n");
    return allSame ? 0 : 1;
}

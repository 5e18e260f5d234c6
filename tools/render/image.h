// image: plain RGBA pictures for the offline tools: PNG writing, scaling, tiling, comparison.
//
// The PNG writer has its own small deflate (fixed Huffman codes, greedy LZ77 over a 32 KiB
// window, adaptive row filters), so the tools need no compression library; the pictures it writes
// are read back by the show's own PNG decoder in the regression tests.
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba; // top row first, 4 bytes a pixel
};

// Encodes the picture as an 8-bit RGB PNG (alpha dropped). Returns the file bytes.
std::vector<uint8_t> encodePng(const Image& image);
bool writePng(const std::string& path, const Image& image);
// Reads a PNG file with the show's own decoder; false when it cannot be read or decoded.
bool readPng(const std::string& path, Image* image);

// Box-filtered downscale to the given size.
Image scaleImage(const Image& source, int width, int height);
// Copies `source` into `target` with its top-left corner at (x, y), clipped.
void blitImage(Image* target, const Image& source, int x, int y);
// Draws text with a built-in 5x7 pixel font, `scale` pixels per font pixel.
void drawText(Image* target, int x, int y, const std::string& text, int scale, uint32_t rgb);

enum { DIFFERENCE_BLOCK = 16 }; // side of the blocks worstBlockMean looks at
struct ImageDifference {
    double meanChannel;    // mean absolute difference per colour channel (0-255)
    int maxChannel;        // largest absolute difference of one channel
    bool sameSize;
    double psnr;           // dB over the colour channels; infinite when the pictures are equal
    double worstBlockMean; // the largest mean absolute difference of one 16 x 16 block
};
ImageDifference compareImages(const Image& a, const Image& b);
// "The same picture" for a rendered frame: mean difference at most SAME_MAX_MEAN, PSNR at least
// SAME_MIN_PSNR and no block worse than SAME_MAX_BLOCK_MEAN. A lone pixel may differ more, as one
// on an edge does when rasterisation rounds the other way.
static const double SAME_MAX_MEAN = 1.0, SAME_MIN_PSNR = 38.0, SAME_MAX_BLOCK_MEAN = 12.0;
bool samePicture(const ImageDifference& d);

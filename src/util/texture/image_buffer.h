// image_buffer: the intermediate picture of the JPEG and BMP loaders, one int per channel.
//
// Row 0 is the top of the picture. A pixel's three ints are kept as (red, blue, green): both
// readers store them so and toRgbBytes reads them back as red, green, blue.
#pragma once

#include <stddef.h>
#include <stdint.h>

struct ImageBuffer {
    int width;     // pixels per row; 0 when empty
    int height;    // rows; 0 when empty
    int channels;  // 3 for every image the loaders create
    int** rgbRows; // height row pointers into one block of width x height x 3 ints; null when empty

    ImageBuffer();
    ~ImageBuffer();
    ImageBuffer(const ImageBuffer&) = delete;
    ImageBuffer& operator=(const ImageBuffer&) = delete;

    // Releases the contents and allocates width x height zeroed pixels. False (and empty) when the
    // size is beyond the texture limits or the allocation fails.
    bool allocate(int newWidth, int newHeight);
    void release();

    // Stores the three values as the pixel's ints; coordinates outside the image are ignored.
    // Inline: the readers call it for every pixel of every picture at start-up.
    void setPixel(int column, int row, int a, int b, int c)
    {
        if (column < 0 || row < 0 || column >= width || row >= height) return;
        int* p = rgbRows[row] + (size_t)column * 3;
        p[0] = a;
        p[1] = b;
        p[2] = c;
    }
    // malloc block of width x height x 3 bytes, bottom row first, each pixel R, G, B; null if empty
    // or out of memory.
    uint8_t* toRgbBytes() const;

    // Readers (jpg_loader.cpp, bmp_loader.cpp).
    bool readJpeg(const char* fileName);
    int readBmp(const char* fileName);
};

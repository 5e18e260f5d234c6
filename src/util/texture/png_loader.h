// png_loader: the system's own PNG decoder (see png_loader.cpp for what it accepts).
//
// GenericPngDecoder walks the chunks, collects the image data and inflates it, handing the inflated
// bytes in stream order to three virtual outputs. RawPngDecoder un-filters the scanlines, converts
// them to 8-bit RGBA (top row first) and undoes Adam7 interlacing. loadPng flips the result for
// OpenGL and gives it to a LoadedImage.
#pragma once

#include <stddef.h>
#include <stdint.h>

struct LoadedImage;

enum { PNG_NO_KEY = 2147483647 };

class GenericPngDecoder {
public:
    int width, height, bitDepth, colorType, compressionMethod, filterMethod, interlaceMethod; // IHDR; 0
    int paletteCount;       // PLTE entries; 0
    uint8_t* palette;       // 3 bytes per entry (malloc); null
    int transparentKey[3];  // grey or RGB colour key from tRNS; PNG_NO_KEY until set
    int gamma;              // gAMA value, stored only; 100000
    uint8_t paletteAlpha[256]; // palette images: one alpha per entry from tRNS; 255 until set
    const char* error;      // why the image data did not decode completely; null while all is well
    size_t compressedBytes; // bytes of image data (all IDAT chunks) found by the chunk walk

    GenericPngDecoder();
    virtual ~GenericPngDecoder();
    GenericPngDecoder(const GenericPngDecoder&) = delete;
    GenericPngDecoder& operator=(const GenericPngDecoder&) = delete;

    // Reads the file through openFile. 1 when the file was walked (pixels or not; see `error`),
    // -1 when it cannot be opened, lacks the PNG signature or has a malformed PLTE chunk.
    int decode(const char* fileName);
    // The same for a file held in memory.
    int decodeMemory(const uint8_t* bytes, size_t size);

    // Once, after the chunk walk: 1 to go on decoding, anything else to skip the image data.
    virtual int prepareOutput() = 0;
    // The inflated bytes in stream order, in pieces: 1 to continue, anything else stops inflation.
    virtual int output(const uint8_t* bytes, size_t count) = 0;
    // Once, after the inflation: 1.
    virtual int endOutput() = 0;

private:
    void inflate(const uint8_t* data, size_t size);
};

class RawPngDecoder : public GenericPngDecoder {
public:
    int outputWidth, outputHeight; // size of rgba; 0 until prepareOutput
    uint8_t* rgba;                 // outputWidth x outputHeight x 4 bytes, top row first (malloc); null
    bool autoDeleteRgbaBuffer;     // free rgba on destruction or when preparing again; true

    RawPngDecoder();
    ~RawPngDecoder() override;

    int prepareOutput() override;
    int output(const uint8_t* bytes, size_t count) override;
    int endOutput() override;

    // Swaps rows so the first row becomes the bottom row, as OpenGL expects.
    void flip();

private:
    // scanline state
    int pass;              // Adam7 pass 1..7; 0 without interlace
    int passWidth, passHeight; // pixels and rows of the current (sub-)image
    int row;               // row within the current (sub-)image
    size_t rowBytes;       // bytes of one row of the current (sub-)image, without the filter byte
    size_t filled;         // bytes of the current row collected, counting the filter byte
    size_t bytesPerPixelUnit; // filter unit: bytes of one pixel, at least 1
    uint8_t* rowBuffers;   // current and previous row, each with the filter byte in front
    uint8_t* currentRow;
    uint8_t* previousRow;
    bool done;             // every row of every pass has arrived

    size_t rawImageBytes() const;
    bool startPass(int firstPass);
    void finishRow();
    void convertRow(const uint8_t* src);
};

// The ".png" entry of Texture::load: 32-bit GL_RGBA, bottom row first.
bool loadPng(const char* fileName, LoadedImage& texture);

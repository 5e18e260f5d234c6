// bitmapfont_win32: display lists from a GDI font. See bitmapfont.h.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "platform/bitmapfont.h"
#include "platform/report.h"

enum { FONT_HEIGHT = -24 }; // negative: the characters' height, not the cell's

void createBitmapFont(BitmapFont* font)
{
    // An error left by earlier code is reported where it was found, not dropped with the font's.
    CHECK_GL();
    HDC dc = wglGetCurrentDC();
    if (!dc) FATAL("No GL device context for the bitmap font");
    font->listBase = glGenLists(BITMAP_FONT_GLYPHS);
    if (font->listBase == 0) FATAL("glGenLists found no %i free display lists for the bitmap font", BITMAP_FONT_GLYPHS);
    HFONT courier = CreateFontA(FONT_HEIGHT, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_TT_PRECIS,
                                CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, FF_DONTCARE | DEFAULT_PITCH, "Courier New");
    if (!courier) FATAL("No bitmap font \"Courier New\" bold 24");
    HGDIOBJ previous = SelectObject(dc, courier);
    BOOL made = wglUseFontBitmapsA(dc, BITMAP_FONT_FIRST_CHAR, BITMAP_FONT_GLYPHS, font->listBase);
    SelectObject(dc, previous);
    DeleteObject(courier);
    if (!made) FATAL("wglUseFontBitmapsA failed for \"Courier New\" bold 24");
    // Glyphs without pixels (the space) can leave a spurious GL error behind in Mesa. Nothing was
    // pending on entry, so what is pending now is the font's own: drop it.
    while (glGetError() != GL_NO_ERROR) {}
}

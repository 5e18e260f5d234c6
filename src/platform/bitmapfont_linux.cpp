// bitmapfont_linux: display lists from an X bitmap font. See bitmapfont.h.
#include "platform/bitmapfont.h"

#include "platform/report.h"
#include <GL/glew.h>
#include <GL/glx.h> // glXUseXFont, glXGetCurrentDisplay
#include <X11/Xlib.h>

// Bold Courier at 24 pixels from xfonts-75dpi; "fixed" is on every X server.
static const char* const FONT_NAMES[] = {
    "-adobe-courier-bold-r-normal--24-*-*-*-m-*-iso8859-1",
    "-*-courier-bold-r-normal--24-*-*-*-*-*-*-*",
    "fixed",
};

void createBitmapFont(BitmapFont* font)
{
    // An error left by earlier code is reported where it was found, not dropped with the font's.
    CHECK_GL();
    Display* display = glXGetCurrentDisplay();
    if (!display) FATAL("No X display for the bitmap font");
    font->listBase = glGenLists(BITMAP_FONT_GLYPHS);
    if (font->listBase == 0) FATAL("glGenLists found no %i free display lists for the bitmap font", BITMAP_FONT_GLYPHS);
    XFontStruct* info = nullptr;
    for (const char* name : FONT_NAMES) {
        info = XLoadQueryFont(display, name);
        if (info) break;
    }
    if (!info) FATAL("No bitmap font found (tried Courier bold 24 and fixed)");
    glXUseXFont(info->fid, BITMAP_FONT_FIRST_CHAR, BITMAP_FONT_GLYPHS, font->listBase);
    XFreeFont(display, info);
    // Glyphs without pixels (the space) leave a spurious GL error behind in Mesa. Nothing was
    // pending on entry, so what is pending now is the font's own: drop it.
    while (glGetError() != GL_NO_ERROR) {}
}

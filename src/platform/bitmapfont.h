// bitmapfont: glyphs of a system bitmap font as OpenGL display lists.
//
// createBitmapFont builds 96 consecutive display lists for the character codes 32 to 127 from a
// bold 24-pixel Courier font: on Linux an X font (falling back to "fixed" when it is not
// installed) through glXUseXFont, on Windows "Courier New" through wglUseFontBitmapsA
// (bitmapfont_linux.cpp, bitmapfont_win32.cpp). The lists stay allocated for the whole run.
#pragma once

#include <GL/glew.h> // GLuint; glew.h must come before any other GL header

enum { BITMAP_FONT_FIRST_CHAR = 32, BITMAP_FONT_GLYPHS = 96 };

struct BitmapFont {
    GLuint listBase; // first of BITMAP_FONT_GLYPHS display lists, for character BITMAP_FONT_FIRST_CHAR
};

// Needs a current GL context. Fatal (the report) when no font at all can be
// loaded, when glGenLists has no lists to give, and when a GL error is pending on entry (the GL
// check's report, naming this file): only the errors the font creation itself leaves are cleared.
void createBitmapFont(BitmapFont* font);

// showwindow: the show's OpenGL window through SDL 1.2, with the anti-aliasing the settings ask
// for when the driver offers it and with fewer samples when not.
#pragma once

#include <SDL.h>

// Sets the GL attributes (8 bits a colour channel and alpha, double buffering, `*samples`
// multisamples, `vsync`) and opens the window. When that fails with samples, tries again with
// each smaller count the dialog offers (16, 8, 4, 2) down to none, saying so on standard error,
// and stores in `*samples` the count the window got. Null (SDL_GetError says why) only when even
// a window without anti-aliasing cannot be opened.
SDL_Surface* openShowWindow(int width, int height, int bitsPerPixel, Uint32 flags, int* samples, int vsync);

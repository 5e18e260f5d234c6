// showwindow: the show's window. See showwindow.h.
#include "platform/showwindow.h"

#include <stdio.h>

static const int FEWER_SAMPLES[] = {16, 8, 4, 2, 0}; // the dialog's counts, most first

// The next count to try after `samples` failed; 0 after any count below 2.
static int fewerSamples(int samples)
{
    for (int count : FEWER_SAMPLES)
        if (count < samples) return count;
    return 0;
}

SDL_Surface* openShowWindow(int width, int height, int bitsPerPixel, Uint32 flags, int* samples, int vsync)
{
    for (;;) {
        SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, *samples > 0 ? 1 : 0);
        SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, *samples);
        SDL_GL_SetAttribute(SDL_GL_SWAP_CONTROL, vsync);
        SDL_Surface* screen = SDL_SetVideoMode(width, height, bitsPerPixel, flags);
        if (screen || *samples <= 0) return screen;
        int fewer = fewerSamples(*samples);
        fprintf(stderr, "halvoren: no window with %i anti-aliasing samples (%s); trying %i\n", *samples,
                SDL_GetError(), fewer);
        *samples = fewer;
    }
}

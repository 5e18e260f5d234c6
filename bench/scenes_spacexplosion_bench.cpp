// Spacexplosion: what one frame of the particle burst costs, drawn alone (nothing over it; point
// sprites where they fit), against all particles as quads, 60000 corners in one interleaved
// client vertex array.
//   scenes_spacexplosion_bench   (needs a display: run it under xvfb-run)
// Prints the median time of the burst update alone (no GL), of the scene's whole draw into the
// shared Fbo (until glFinish returns), of the vertex-array draw of the same pool with the same
// program and state, and of the scene's draw with the sprite at the driver's maximum anisotropy
// (the show keeps 1 on a software driver), then the ratios. Uses the source tree's data folder
// (the song, the particle image, the shaders) with the audio on the virtual output.
#include "platform/platform.h"
#include "scenes/scene_spacexplosion/scene_spacexplosion.h"
#include "scenes/demo.h" // drawUnderlayAlone
#include "scenes/shaderset.h"
#include "util/data/data.h"
#include "util/fbo/fbo.h"
#include "util/music/audio.h"
#include "util/music/music.h"
#include "util/shaderprogram/shaderprogram.h"
#include "util/texture/texture.h"
#include <GL/glew.h>
#include <GL/glu.h>
#include <SDL.h>
#include <algorithm>
#include <stdio.h>
#include <stdlib.h>
#include <vector>

enum { WINDOW_W = 1280, WINDOW_H = 720, ROUNDS = 5, FRAMES_PER_ROUND = 4 };
static const double BEAT = 150.0; // inside the first window: the eye 161 units from the origin
enum { VERTICES = SPACEXPLOSION_PARTICLES * 4 };

static double nowMs() { return (double)platformCounter() * 1000.0 / (double)platformCounterFrequency(); }

static double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The same quads as one array: position, colour and corner for each of the four vertices.
struct ArrayVertex {
    float position[3];
    float colour[4];
    float corner[2];
};
static ArrayVertex s_vertices[VERTICES];

static void drawAsArray(Spacexplosion* scene)
{
    static const float CORNERS[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    const SpacexplosionState& state = spacexplosionState();
    for (int i = 0; i < SPACEXPLOSION_PARTICLES; i++) {
        const Particle& p = state.particles[i];
        for (int k = 0; k < 4; k++) {
            ArrayVertex& v = s_vertices[i * 4 + k];
            for (int c = 0; c < 3; c++) v.position[c] = p.position[c], v.colour[c] = p.colour[c];
            v.colour[3] = 1.0f;
            v.corner[0] = CORNERS[k][0], v.corner[1] = CORNERS[k][1];
        }
    }
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(scene->music->getTime(), 0.0, 60.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
    scene->fbo->bindForDrawing(true);
    glBlendFunc(GL_ONE, GL_ONE);
    glBindTexture(GL_TEXTURE_2D, scene->particle->textureId);
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    float right[3], up[3];
    spacexplosionCameraAxes(m, right, up);
    scene->billboard->bind();
    scene->billboard->setUniform3fv("right", right);
    scene->billboard->setUniform3fv("up", up);
    scene->billboard->setUniform1f("size", 1.5f);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(3, GL_FLOAT, sizeof(ArrayVertex), s_vertices[0].position);
    glColorPointer(4, GL_FLOAT, sizeof(ArrayVertex), s_vertices[0].colour);
    glTexCoordPointer(2, GL_FLOAT, sizeof(ArrayVertex), s_vertices[0].corner);
    glDrawArrays(GL_QUADS, 0, VERTICES);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glPopAttrib();
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
}

// The scene's draw as the driver makes it with nothing drawn over the picture: the particles,
// left for later, follow at once.
static void drawScene(Spacexplosion* scene)
{
    scene->draw();
    if (scene->underlayPending) drawUnderlayAlone(scene);
    scene->underlayPending = false;
}

int main()
{
    platformSetHeadlessBoxes(true);
    setenv("SDL12COMPAT_OPENGL_SCALING", "0", 1);
    if (SDL_Init(SDL_INIT_VIDEO) < 0) {
        fprintf(stderr, "no display: %s\n", SDL_GetError());
        return 1;
    }
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    if (!SDL_SetVideoMode(WINDOW_W, WINDOW_H, 32, SDL_OPENGL) || glewInit() != GLEW_OK) {
        fprintf(stderr, "no OpenGL window\n");
        return 1;
    }
    setDataDirectory(HALVOREN_SOURCE_DIR);
    accessMode = ACCESS_LOOSE;
    audioUseVirtualOutput(true);

    ShaderSet* shaders = new ShaderSet();
    Fbo* fbo = new Fbo();
    fbo->resize(WINDOW_W, WINDOW_H);
    Music* music = new Music();
    music->loadMidi();
    music->play();
    double seconds = (BEAT - music->beatOffset) * 60.0 / music->bpm;
    audioSetVirtualPosition(music->stream, audioChannelSeconds2Bytes(music->stream, seconds));
    srand(1);
    Spacexplosion* scene = new Spacexplosion();
    scene->music = music;
    scene->shaders = shaders;
    scene->fbo = fbo;
    scene->init();
    if (!scene->billboard) {
        fprintf(stderr, "no point-parameter entry points: nothing to draw\n");
        return 1;
    }
    // Two seconds into the burst: a spread cloud in the middle of the picture.
    for (int i = 0; i < 40; i++) spacexplosionAdvance(&spacexplosionState(), 0.05f);
    frameClock.frameStep = 0.0f; // the timed draws leave the cloud where it is

    printf("renderer: %s\n", (const char*)glGetString(GL_RENDERER));
    printf("%d particles (%d vertices) into a %d x %d Fbo at beat %.0f, two seconds into the burst;\n"
           "%d rounds of %d frames, median round\n\n",
           SPACEXPLOSION_PARTICLES, VERTICES, WINDOW_W, WINDOW_H, BEAT, ROUNDS, FRAMES_PER_ROUND);

    std::vector<double> update, sceneDraw, array, mostAnisotropic;
    static SpacexplosionState scratch;
    scratch = spacexplosionState();
    for (int round = 0; round < ROUNDS; round++) {
        double t0 = nowMs();
        for (int f = 0; f < FRAMES_PER_ROUND; f++) spacexplosionAdvance(&scratch, 0.0001f);
        update.push_back((nowMs() - t0) / FRAMES_PER_ROUND);

        t0 = nowMs();
        for (int f = 0; f < FRAMES_PER_ROUND; f++) {
            scene->applyState();
            scene->resize(WINDOW_W, WINDOW_H);
            drawScene(scene);
        }
        glFinish();
        sceneDraw.push_back((nowMs() - t0) / FRAMES_PER_ROUND);

        t0 = nowMs();
        for (int f = 0; f < FRAMES_PER_ROUND; f++) {
            scene->applyState();
            scene->resize(WINDOW_W, WINDOW_H);
            drawAsArray(scene);
        }
        glFinish();
        array.push_back((nowMs() - t0) / FRAMES_PER_ROUND);

        // What the driver's maximum anisotropy would cost; the texture's own level is put back.
        GLfloat most = 1.0f, own = 1.0f;
        glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &most);
        glBindTexture(GL_TEXTURE_2D, scene->particle->textureId);
        glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, &own);
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, most);
        t0 = nowMs();
        for (int f = 0; f < FRAMES_PER_ROUND; f++) {
            scene->applyState();
            scene->resize(WINDOW_W, WINDOW_H);
            drawScene(scene);
        }
        glFinish();
        mostAnisotropic.push_back((nowMs() - t0) / FRAMES_PER_ROUND);
        glBindTexture(GL_TEXTURE_2D, scene->particle->textureId);
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, own);
    }
    printf("%-40s %10.3f ms\n", "burst update (no GL)", median(update));
    printf("%-40s %10.3f ms\n", "scene draw", median(sceneDraw));
    printf("%-40s %10.3f ms\n", "same quads as one vertex array", median(array));
    printf("%-40s %10.3f ms\n", "scene draw, maximum anisotropy", median(mostAnisotropic));
    printf("\nscene draw / vertex array: %.2f\n", median(sceneDraw) / median(array));
    printf("maximum anisotropy / as loaded: %.2f\n", median(mostAnisotropic) / median(sceneDraw));
    return 0;
}

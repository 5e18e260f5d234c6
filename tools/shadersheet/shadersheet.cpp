// halvoren-shadersheet: draws every program of the shader set on a test object, one tile each, and
// writes the sheet as a binary PPM (convert it to PNG with ImageMagick).
//
// Usage: halvoren-shadersheet [out.ppm]   (needs a display; run under xvfb-run)
// Tiles in shader-set order, 7 per row: particles, mosaic, glow, G-buffer, deferred lighting,
// gaussian glow, glitched logo, then the lit programs on a brick sphere (three coloured lights),
// the twister on a tall box, and the empty program (fixed-function lighting); a last row shows the
// glitch at seven strengths.
// Textures are made here, procedurally; the shaders come from the source tree's data folder.
#include "scenes/shaderset.h"
#include "util/data/data.h"
#include "util/fbo/fbo.h"
#include "util/texture/texture.h"

#include <GL/glew.h>
#include <GL/glu.h>
#include <SDL.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <vector>

enum { TILE = 240, COLUMNS = 7, ROWS = 4, TEXTURE_SIDE = 256, LOGO_SIDE = 512 };
// The last row: the glitch at these strengths (the opening's range and its scripted peaks).
static const float GLITCH_OFFSETS[COLUMNS] = {-0.0375f, 0.0f, 0.05f, 0.0875f, 0.25f, 0.5f, 0.9f};
static const float PI = 3.14159265f;

// >> procedural textures

static GLuint makeTexture(int side, const std::vector<unsigned char>& rgba, bool mipmaps)
{
    GLuint id;
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_2D, id);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, side, side, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    if (mipmaps) {
        glGenerateMipmapEXT(GL_TEXTURE_2D);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    } else {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, mipmaps ? GL_REPEAT : GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, mipmaps ? GL_REPEAT : GL_CLAMP_TO_EDGE);
    return id;
}

// Bricks: height 1 on a brick, 0 in the mortar, with rounded edges.
static float brickHeight(float u, float v)
{
    float rows = 8, columns = 4;
    float y = v * rows;
    float row = floorf(y);
    float x = u * columns + (fmodf(row, 2) == 0 ? 0 : 0.5f);
    float fx = x - floorf(x), fy = y - row;
    float edge = fminf(fminf(fx, 1 - fx) * 4, fminf(fy, 1 - fy) * 2) * 6;
    return fminf(1.0f, fmaxf(0.0f, edge - 0.3f));
}

static void makeBrickTextures(GLuint* colour, GLuint* normals, GLuint* extra)
{
    int n = TEXTURE_SIDE;
    std::vector<unsigned char> c(n * n * 4), nm(n * n * 4), ex(n * n * 4);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            float u = (x + 0.5f) / n, v = (y + 0.5f) / n;
            float h = brickHeight(u, v);
            float speckle = (float)(((unsigned)x * 73856093u ^ (unsigned)y * 19349663u) % 64u) / 255.0f;
            unsigned char* p = &c[(y * n + x) * 4];
            p[0] = (unsigned char)(fminf(255, (0.35f + 0.45f * h + speckle) * 255));
            p[1] = (unsigned char)(fminf(255, (0.30f + 0.15f * h + speckle) * 255));
            p[2] = (unsigned char)(fminf(255, (0.28f + 0.05f * h + speckle) * 255));
            p[3] = 255;
            float dx = (brickHeight(u + 1.0f / n, v) - brickHeight(u - 1.0f / n, v)) * 2;
            float dy = (brickHeight(u, v + 1.0f / n) - brickHeight(u, v - 1.0f / n)) * 2;
            float len = sqrtf(dx * dx + dy * dy + 1);
            unsigned char* q = &nm[(y * n + x) * 4];
            q[0] = (unsigned char)((-dx / len * 0.5f + 0.5f) * 255);
            q[1] = (unsigned char)((-dy / len * 0.5f + 0.5f) * 255);
            q[2] = (unsigned char)((1 / len * 0.5f + 0.5f) * 255);
            q[3] = 255;
            unsigned char* e = &ex[(y * n + x) * 4];
            e[0] = (unsigned char)(h * 255);                                   // gloss on the bricks
            e[1] = (unsigned char)((h < 0.2f && (x / 32 + y / 32) % 3 == 0) ? 200 : 0); // glowing mortar
            e[2] = 0;
            e[3] = 255;
        }
    *colour = makeTexture(n, c, true);
    *normals = makeTexture(n, nm, true);
    *extra = makeTexture(n, ex, true);
}

static GLuint makeSprite()
{
    int n = 64;
    std::vector<unsigned char> s(n * n * 4);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            float dx = (x + 0.5f) / n * 2 - 1, dy = (y + 0.5f) / n * 2 - 1;
            float a = expf(-(dx * dx + dy * dy) * 5) * fmaxf(0, 1 - sqrtf(dx * dx + dy * dy));
            for (int k = 0; k < 4; ++k) s[(y * n + x) * 4 + k] = (unsigned char)(a * 255);
        }
    return makeTexture(n, s, false);
}

// A 5 x 7 pixel font for the letters of the group's name, drawn large with alpha: the test logo.
static const char* GLYPHS[8][7] = {
    {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}, // H
    {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}, // A
    {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}, // L
    {"#...#", "#...#", "#...#", "#...#", ".#.#.", ".#.#.", "..#.."}, // V
    {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}, // O
    {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}, // R
    {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}, // E
    {"#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"}, // N
};

static GLuint makeLogo()
{
    int n = LOGO_SIDE;
    std::vector<unsigned char> s(n * n * 4, 0);
    int cell = 10, letterWidth = 6 * cell, top = n / 2 + 4 * cell;
    int left = (n - 8 * letterWidth) / 2;
    for (int letter = 0; letter < 8; ++letter)
        for (int row = 0; row < 7; ++row)
            for (int column = 0; column < 5; ++column) {
                if (GLYPHS[letter][row][column] != '#') continue;
                for (int y = 0; y < cell; ++y)
                    for (int x = 0; x < cell; ++x) {
                        int px = left + letter * letterWidth + column * cell + x;
                        int py = top - row * cell - y;
                        unsigned char* p = &s[(py * n + px) * 4];
                        p[0] = (unsigned char)(120 + letter * 16);
                        p[1] = 200;
                        p[2] = (unsigned char)(255 - letter * 20);
                        p[3] = 255;
                    }
            }
    return makeTexture(n, s, false);
}

// A colour wheel fading to black at the rim: a picture for the mosaic.
static GLuint makePicture()
{
    int n = TEXTURE_SIDE;
    std::vector<unsigned char> s(n * n * 4);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            float dx = (x + 0.5f) / n - 0.5f, dy = (y + 0.5f) / n - 0.5f;
            float angle = atan2f(dy, dx), r = sqrtf(dx * dx + dy * dy) * 2;
            float fade = fmaxf(0, 1 - r * r);
            unsigned char* p = &s[(y * n + x) * 4];
            for (int k = 0; k < 3; ++k) p[k] = (unsigned char)((0.5f + 0.5f * cosf(angle + k * 2.094f)) * fade * 255);
            p[3] = 255;
        }
    return makeTexture(n, s, false);
}

// A ring and a cross on transparent black: the glow mask.
static GLuint makeMask()
{
    int n = TEXTURE_SIDE;
    std::vector<unsigned char> s(n * n * 4, 0);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            float dx = (x + 0.5f) / n - 0.5f, dy = (y + 0.5f) / n - 0.5f;
            float r = sqrtf(dx * dx + dy * dy);
            bool on = (r > 0.28f && r < 0.34f) || (fabsf(dx) < 0.03f && fabsf(dy) < 0.2f) ||
                      (fabsf(dy) < 0.03f && fabsf(dx) < 0.2f);
            if (on)
                for (int k = 0; k < 4; ++k) s[(y * n + x) * 4 + k] = 255;
        }
    return makeTexture(n, s, false);
}

// >> geometry

static void sphere(float radius, int slices, int stacks)
{
    for (int i = 0; i < stacks; ++i) {
        float v0 = (float)i / stacks, v1 = (float)(i + 1) / stacks;
        glBegin(GL_QUAD_STRIP);
        for (int j = 0; j <= slices; ++j) {
            float u = (float)j / slices;
            float vs[2] = {v1, v0};
            for (float v : vs) {
                float theta = u * 2 * PI, phi = v * PI;
                float x = sinf(phi) * cosf(theta), y = -cosf(phi), z = -sinf(phi) * sinf(theta);
                glNormal3f(x, y, z);
                glTexCoord2f(u * 2, v);
                glVertex3f(x * radius, y * radius, z * radius);
            }
        }
        glEnd();
    }
}

// A box of 1 x 3 x 1 made of many rings, so a vertex twist bends it smoothly.
static void tallBox()
{
    const int rings = 40;
    const float h = 1.5f, w = 0.5f;
    float corners[5][2] = {{w, w}, {-w, w}, {-w, -w}, {w, -w}, {w, w}};
    float normals[4][2] = {{0, 1}, {-1, 0}, {0, -1}, {1, 0}};
    for (int side = 0; side < 4; ++side) {
        glBegin(GL_QUAD_STRIP);
        for (int r = 0; r <= rings; ++r) {
            float y = -h + 2 * h * r / rings;
            glNormal3f(normals[side][0], 0, normals[side][1]);
            glTexCoord2f(0, (float)r / rings * 3);
            glVertex3f(corners[side][0], y, corners[side][1]);
            glTexCoord2f(1, (float)r / rings * 3);
            glVertex3f(corners[side + 1][0], y, corners[side + 1][1]);
        }
        glEnd();
    }
}

static void unitQuad()
{
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(-1, -1);
    glTexCoord2f(1, 0);
    glVertex2f(1, -1);
    glTexCoord2f(1, 1);
    glVertex2f(1, 1);
    glTexCoord2f(0, 1);
    glVertex2f(-1, 1);
    glEnd();
}

// >> scene setup

static void tileViewport(int index, float aspect = 1)
{
    int column = index % COLUMNS, row = ROWS - 1 - index / COLUMNS;
    int height = (int)(TILE / aspect);
    glViewport(column * TILE, row * TILE + (TILE - height) / 2, TILE, height);
    glScissor(column * TILE + 2, row * TILE + 2, TILE - 4, TILE - 4);
}

static void perspective(float aspect)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45, aspect, 0.1, 2000);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0, 0, 3.3, 0, 0, 0, 0, 1, 0);
}

static void ortho()
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1, 1, -1, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

// Three coloured point lights in eye space: warm key, blue fill, red rim.
static void setLights()
{
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    float positions[3][4] = {{-3, 3, 4, 1}, {4, -1, 2, 1}, {1, 4, -3, 1}};
    float diffuse[3][4] = {{1.0f, 0.9f, 0.75f, 1}, {0.2f, 0.35f, 0.9f, 1}, {0.9f, 0.2f, 0.2f, 1}};
    float ambient[4] = {0.03f, 0.03f, 0.03f, 1};
    float specular[4] = {1, 1, 1, 1};
    for (int i = 0; i < 8; ++i) {
        float black[4] = {0, 0, 0, 1};
        GLenum l = GL_LIGHT0 + i;
        bool on = i < 3;
        glLightfv(l, GL_POSITION, on ? positions[i] : black);
        glLightfv(l, GL_DIFFUSE, on ? diffuse[i] : black);
        glLightfv(l, GL_SPECULAR, on ? specular : black);
        glLightfv(l, GL_AMBIENT, on ? ambient : black);
        if (on) glEnable(l); else glDisable(l);
    }
    glPopMatrix();
    float global[4] = {0.05f, 0.05f, 0.05f, 1};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, global);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 1);
    glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, 1);
    glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, GL_SEPARATE_SPECULAR_COLOR);
}

static void setMaterial(float r, float g, float b, float shininess, float emission)
{
    float ambient[4] = {r * 0.3f, g * 0.3f, b * 0.3f, 1}, diffuse[4] = {r, g, b, 1};
    float specular[4] = {0.8f, 0.8f, 0.8f, 1}, glow[4] = {emission, emission, emission, 1};
    glDisable(GL_COLOR_MATERIAL);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, shininess);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, glow);
}

static void bindBrick(GLuint colour, GLuint normals, GLuint extra)
{
    glActiveTexture(GL_TEXTURE2);
    glBindTexture(GL_TEXTURE_2D, extra);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, normals);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, colour);
}

static void writePpm(const char* path, int width, int height)
{
    std::vector<unsigned char> pixels(width * height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    FILE* f = fopen(path, "wb");
    if (!f) {
        perror(path);
        exit(1);
    }
    fprintf(f, "P6\n%d %d\n255\n", width, height);
    for (int y = height - 1; y >= 0; --y) fwrite(&pixels[y * width * 3], 1, width * 3, f);
    fclose(f);
}

int main(int argc, char** argv)
{
    const char* out = argc > 1 ? argv[1] : "shadersheet.ppm";
    int width = TILE * COLUMNS, height = TILE * ROWS;
    setenv("SDL12COMPAT_OPENGL_SCALING", "0", 1);
    if (SDL_Init(SDL_INIT_VIDEO) < 0) return 1;
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    if (!SDL_SetVideoMode(width, height, 32, SDL_OPENGL)) return 1;
    if (glewInit() != GLEW_OK) return 1;

    accessMode = ACCESS_LOOSE;
    setDataDirectory(HALVOREN_SOURCE_DIR);
    ShaderSet shaders;
    Fbo gbuffer;
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, gbuffer.framebufferId);
    gbuffer.addColorAttachment();
    gbuffer.addColorAttachment();
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    gbuffer.resize(512, 288); // 16:9, as the deferred lighting pass expects

    GLuint brick, brickNormals, brickExtra;
    makeBrickTextures(&brick, &brickNormals, &brickExtra);
    GLuint sprite = makeSprite(), logo = makeLogo(), mask = makeMask(), picture = makePicture();

    glClearColor(0.08f, 0.08f, 0.1f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_DEPTH_TEST);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    setLights();

    for (int index = 0; index < SHADER_SET_SIZE; ++index) {
        ShaderProgram* program = shaders.program(index);
        tileViewport(index);
        glClearColor(0.06f, 0.06f, 0.08f, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glDisable(GL_BLEND);
        glDisable(GL_LIGHTING);
        glEnable(GL_DEPTH_TEST);
        glColor4f(1, 1, 1, 1);
        setMaterial(0.9f, 0.9f, 0.9f, 40, 0);
        ShaderProgram::unbindAll();

        if (program == shaders.billboard) {
            // A burst of particles, all four corners of each at one point.
            perspective(1);
            glDisable(GL_DEPTH_TEST);
            glEnable(GL_BLEND);
            glBlendFunc(GL_ONE, GL_ONE);
            glBindTexture(GL_TEXTURE_2D, sprite);
            float m[16];
            glRotatef(25, 0, 1, 0);
            glGetFloatv(GL_MODELVIEW_MATRIX, m);
            float right[3] = {m[0], m[4], m[8]}, up[3] = {m[1], m[5], m[9]};
            program->bind();
            program->setUniform3fv("right", right);
            program->setUniform3fv("up", up);
            program->setUniform1f("size", 0.35f);
            srand(7);
            glBegin(GL_QUADS);
            for (int p = 0; p < 400; ++p) {
                float z = 2.0f * rand() / RAND_MAX - 1, a = 2 * PI * rand() / RAND_MAX;
                float r = sqrtf(1 - z * z), d = 0.3f + 0.9f * rand() / RAND_MAX;
                float grey = (float)rand() / RAND_MAX;
                glColor4f(grey + 0.1f, grey * 0.8f, grey + 0.3f, 1);
                float x = r * cosf(a) * d, y = r * sinf(a) * d;
                float tc[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
                for (auto& t : tc) {
                    glTexCoord2f(t[0], t[1]);
                    glVertex3f(x, y, z * d);
                }
            }
            glEnd();
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        } else if (program == shaders.blocked) {
            ortho();
            glBindTexture(GL_TEXTURE_2D, picture);
            program->bind();
            glColor4f(1, 1, 1, 1);
            unitQuad();
        } else if (program == shaders.blur || program == shaders.gaussBlur) {
            // As the greetings draw: the picture, then its glow added on top.
            ortho();
            glDisable(GL_DEPTH_TEST);
            glEnable(GL_BLEND);
            glBindTexture(GL_TEXTURE_2D, mask);
            glColor4f(0.6f, 0.6f, 0.6f, 1);
            unitQuad();
            glBlendFunc(GL_ONE, GL_ONE);
            program->bind();
            glColor4f(0.2f, 0.6f, 1.0f, 1);
            unitQuad();
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        } else if (program == shaders.glitch) {
            // The logo as the opening draws it: additive, weighted by alpha, strong glitch.
            ortho();
            glDisable(GL_DEPTH_TEST);
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE);
            glBindTexture(GL_TEXTURE_2D, logo);
            program->bind();
            program->setUniform1f("seed", 9.75f);
            program->setUniform1f("offset", 0.05f);
            glColor4f(1, 1, 1, 1);
            glScalef(1, 0.5f, 1);
            unitQuad();
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        } else if (program == shaders.deferredPass1 || program == shaders.deferredPass2) {
            // Geometry pass into the three-target G-buffer; the first tile shows target 0 (colour),
            // the second lights the G-buffer with the scene's lights.
            gbuffer.bindForDrawing(true);
            glDisable(GL_SCISSOR_TEST);
            glClearColor(0, 0, 0, 0);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            perspective(16.0f / 9.0f);
            setLights();
            glBindTexture(GL_TEXTURE_2D, brick);
            shaders.deferredPass1->bind();
            glColor4f(1, 1, 1, 1);
            glPushMatrix();
            glTranslatef(-1.2f, 0, 0);
            sphere(1, 48, 24);
            glTranslatef(2.4f, 0, -1);
            sphere(1, 48, 24);
            glPopMatrix();
            glPopAttrib();
            glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
            glEnable(GL_SCISSOR_TEST);
            tileViewport(index, 16.0f / 9.0f);
            ortho();
            glDisable(GL_DEPTH_TEST);
            if (program == shaders.deferredPass1) {
                ShaderProgram::unbindAll();
                gbuffer.bindTexture(0);
                unitQuad();
            } else {
                glActiveTexture(GL_TEXTURE2);
                glBindTexture(GL_TEXTURE_2D, gbuffer.colorTextures[2]->textureId);
                glActiveTexture(GL_TEXTURE1);
                glBindTexture(GL_TEXTURE_2D, gbuffer.colorTextures[1]->textureId);
                gbuffer.bindTexture(0);
                program->bind();
                program->setUniform1i("ColorMap", 0);
                program->setUniform1i("NormalMap", 1);
                program->setUniform1i("DepthMap", 2);
                unitQuad();
            }
        } else if (program == shaders.twister) {
            perspective(1);
            setLights();
            bindBrick(brick, brickNormals, brickExtra);
            program->bind();
            program->setUniform1i("NormalMap", 1);
            program->setUniform1i("Num_lights", 3);
            program->setUniform1f("twist", 1.2f);
            glRotatef(20, 1, 0, 0);
            tallBox();
        } else {
            // Lit programs on a brick sphere; the material ones on a plain coloured one.
            perspective(1);
            setLights();
            bool notex = program == shaders.multiMaterialNotex || program == shaders.singleMaterialNotex ||
                         program == shaders.singleDiffuseNotex || program == shaders.none;
            if (notex) {
                glDisable(GL_TEXTURE_2D);
                setMaterial(0.2f, 0.75f, 0.4f, 60, 0.02f);
            } else {
                bindBrick(brick, brickNormals, brickExtra);
            }
            if (program == shaders.none) glEnable(GL_LIGHTING);
            program->bind();
            if (program->program) {
                // Set whichever of the optional uniforms the program has.
                if (glGetUniformLocationARB(program->program, "NormalMap") >= 0) program->setUniform1i("NormalMap", 1);
                if (glGetUniformLocationARB(program->program, "ExtraMap") >= 0) program->setUniform1i("ExtraMap", 2);
                if (glGetUniformLocationARB(program->program, "Num_lights") >= 0) program->setUniform1i("Num_lights", 3);
            }
            glRotatef(-20, 0, 1, 0);
            sphere(1.15f, 64, 32);
            glEnable(GL_TEXTURE_2D);
        }
        ShaderProgram::unbindAll();
        GLenum error = glGetError();
        if (error != GL_NO_ERROR) fprintf(stderr, "GL error 0x%x after tile %d\n", error, index);
    }
    for (int i = 0; i < COLUMNS; ++i) {
        tileViewport(SHADER_SET_SIZE + i);
        glClearColor(0.06f, 0.06f, 0.08f, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        ortho();
        glDisable(GL_DEPTH_TEST);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
        glBindTexture(GL_TEXTURE_2D, logo);
        shaders.glitch->bind();
        shaders.glitch->setUniform1f("seed", 3.0f + 1.37f * i);
        shaders.glitch->setUniform1f("offset", GLITCH_OFFSETS[i]);
        glColor4f(1, 1, 1, 1);
        glScalef(1, 0.5f, 1);
        unitQuad();
        ShaderProgram::unbindAll();
    }
    writePpm(out, width, height);
    printf("wrote %s (%dx%d)\n", out, width, height);
    SDL_Quit();
    return 0;
}

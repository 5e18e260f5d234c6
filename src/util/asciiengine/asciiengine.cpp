// asciiengine: the 80 x 50 text-mode grid and its renderer. See asciiengine.h.
#include "util/asciiengine/asciiengine.h"

#include "platform/report.h" // FATAL
#include <GL/glu.h>          // gluOrtho2D
#include <string.h>

static const char FONT_CHART_PATH[] = "data/common/images/asciichart.png";

// Classic text-mode order: bit 0 blue, bit 1 green, bit 2 red, bit 3 bright.
static const float PALETTE[PALETTE_COLOURS][3] = {
    {0, 0, 0},       {0, 0, 0.5f},   {0, 0.5f, 0},       {0, 0.5f, 0.5f},
    {0.5f, 0, 0},    {0.5f, 0, 0.5f}, {0.5f, 0.5f, 0},   {0.75f, 0.75f, 0.75f},
    {0.5f, 0.5f, 0.5f}, {0, 0, 1},   {0, 1, 0},          {0, 1, 1},
    {1, 0, 0},       {1, 0, 1},      {1, 1, 0},          {1, 1, 1},
};

// Glyph size in texture coordinates.
static const float GLYPH_DU = 1.0f / FONT_CHART_COLUMNS; // 0.0125
static const float GLYPH_DV = 1.0f / FONT_CHART_ROWS;    // 0.1
// Chart row of the lower edge of a band's first row of glyphs (background, foreground).
static const int BAND_TOP_ROW[2] = {5, 9};

AsciiViewport asciiViewport(int windowWidth, int windowHeight)
{
    AsciiViewport vp;
    vp.width = windowWidth > 0 ? windowWidth / GRID_COLUMNS * GRID_COLUMNS : 0;
    vp.height = windowHeight > 0 ? windowHeight / GRID_ROWS * GRID_ROWS : 0;
    vp.x = windowWidth > 0 ? (windowWidth - vp.width) / 2 : 0;
    vp.y = windowHeight > 0 ? (windowHeight - vp.height) / 2 : 0;
    return vp;
}

AsciiEngine::AsciiEngine(GridOnly)
{
    initTables();
}

AsciiEngine::AsciiEngine()
{
    if (!font.load(FONT_CHART_PATH, GL_NEAREST, GL_NEAREST, false, false)) FATAL("Failed to load texture!");
    initTables();
}

void AsciiEngine::initTables()
{
    // The layers are cleared as one block; uint8_t arrays have no padding between them.
    static_assert(sizeof chars + sizeof foreground + sizeof background == GRID_BYTES, "grid layers");
    clear();
    for (int i = 0; i < PALETTE_COLOURS; i++) {
        palette[i][0] = PALETTE[i][0];
        palette[i][1] = PALETTE[i][1];
        palette[i][2] = PALETTE[i][2];
        palette[i][3] = 1.0f;
    }
    windowWidth = 1;
    windowHeight = 1;

    for (int code = 0; code < 256; code++) {
        glyphU[code] = (float)((code % FONT_CHART_COLUMNS) * (1.0 / FONT_CHART_COLUMNS));
        for (int band = 0; band < 2; band++)
            glyphV[band][code] = (float)((BAND_TOP_ROW[band] - code / FONT_CHART_COLUMNS) * (1.0 / FONT_CHART_ROWS));
    }

    // Quads in drawing order: column by column, top row first, background quad then foreground.
    vertices.assign(GRID_QUADS * 4, Vertex());
    Vertex* v = vertices.data();
    for (int x = 0; x < GRID_COLUMNS; x++) {
        for (int y = 0; y < GRID_ROWS; y++) {
            float left = (float)x, right = (float)(x + 1);
            float bottom = (float)(GRID_ROWS - 1 - y), top = (float)(GRID_ROWS - y);
            for (int band = 0; band < 2; band++, v += 4) {
                v[0].x = left;  v[0].y = bottom;
                v[1].x = right; v[1].y = bottom;
                v[2].x = right; v[2].y = top;
                v[3].x = left;  v[3].y = top;
            }
        }
    }
}

void AsciiEngine::clear()
{
    memset(chars, 0, GRID_BYTES);
}

void AsciiEngine::setDrawState()
{
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_MULTISAMPLE);
    glDisable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    if (glUseProgram) glUseProgram(0);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    AsciiViewport vp = asciiViewport(windowWidth, windowHeight);
    glViewport(vp.x, vp.y, vp.width, vp.height);
    gluOrtho2D(0, GRID_COLUMNS, 0, GRID_ROWS);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    if (glActiveTexture) glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, font.textureId);
}

// One textured quad, counter-clockwise from the lower left corner.
static void immediateQuad(float x, float y, float u, float v)
{
    glBegin(GL_QUADS);
    glTexCoord2f(u, v);
    glVertex2f(x, y);
    glTexCoord2f(u + GLYPH_DU, v);
    glVertex2f(x + 1, y);
    glTexCoord2f(u + GLYPH_DU, v + GLYPH_DV);
    glVertex2f(x + 1, y + 1);
    glTexCoord2f(u, v + GLYPH_DV);
    glVertex2f(x, y + 1);
    glEnd();
}

void AsciiEngine::drawImmediate()
{
    setDrawState();
    for (int x = 0; x < GRID_COLUMNS; x++) {
        for (int y = 0; y < GRID_ROWS; y++) {
            int cell = y * GRID_COLUMNS + x;
            int code = chars[cell];
            float bottom = (float)(GRID_ROWS - 1 - y);
            // Colour indices above 15 are not part of the grid; masking keeps them inside the palette.
            glColor4fv(palette[background[cell] & 15]);
            immediateQuad((float)x, bottom, glyphU[code], glyphV[0][code]);
            glColor4fv(palette[foreground[cell] & 15]);
            immediateQuad((float)x, bottom, glyphU[code], glyphV[1][code]);
        }
    }
}

void AsciiEngine::setQuad(Vertex* q, float u, float v, const float* rgba)
{
    float u1 = u + GLYPH_DU, v1 = v + GLYPH_DV;
    q[0].u = u;  q[0].v = v;
    q[1].u = u1; q[1].v = v;
    q[2].u = u1; q[2].v = v1;
    q[3].u = u;  q[3].v = v1;
    for (int i = 0; i < 4; i++) memcpy(q[i].rgba, rgba, 4 * sizeof(float));
}

void AsciiEngine::draw()
{
    setDrawState();

    Vertex* v = vertices.data();
    for (int x = 0; x < GRID_COLUMNS; x++) {
        for (int cell = x; cell < GRID_CELLS; cell += GRID_COLUMNS, v += 8) {
            int code = chars[cell];
            setQuad(v, glyphU[code], glyphV[0][code], palette[background[cell] & 15]);
            setQuad(v + 4, glyphU[code], glyphV[1][code], palette[foreground[cell] & 15]);
        }
    }

    // Client arrays only for this call: earlier arrays and buffer bindings are put back afterwards,
    // and arrays other scenes may have left enabled are switched off so they are not read.
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    GLint arrayBuffer = 0;
    if (glBindBuffer) {
        glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &arrayBuffer);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
    }
    if (glClientActiveTexture) glClientActiveTexture(GL_TEXTURE0);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_INDEX_ARRAY);
    glDisableClientState(GL_EDGE_FLAG_ARRAY);
    if (GLEW_VERSION_1_4) {
        glDisableClientState(GL_SECONDARY_COLOR_ARRAY);
        glDisableClientState(GL_FOG_COORD_ARRAY);
    }
    const GLsizei stride = sizeof(Vertex);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(2, GL_FLOAT, stride, &vertices[0].x);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, stride, &vertices[0].u);
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(4, GL_FLOAT, stride, vertices[0].rgba);
    glDrawArrays(GL_QUADS, 0, GRID_QUADS * 4);
    if (glBindBuffer) glBindBuffer(GL_ARRAY_BUFFER, (GLuint)arrayBuffer);
    glPopClientAttrib();

    // The current colour after a colour array is undefined; leave the one immediate mode leaves.
    glColor4fv(palette[foreground[GRID_CELLS - 1] & 15]);
}

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

static bool chartIsOpaque(const Texture& font);

AsciiEngine::AsciiEngine(GridOnly)
{
    initTables();
}

AsciiEngine::AsciiEngine()
{
    if (!font.load(FONT_CHART_PATH, GL_NEAREST, GL_NEAREST, false, false)) FATAL("Failed to load texture!");
    initTables();
    fontOpaque = chartIsOpaque(font);
    if (glActiveTexture) glGetIntegerv(GL_MAX_TEXTURE_UNITS, &textureUnits);
    CHECK_GL();
}

// True when every texel of the chart has alpha 1 (read back once from the uploaded texture).
static bool chartIsOpaque(const Texture& font)
{
    if (font.textureId == 0 || font.width == 0 || font.height == 0) return false;
    std::vector<uint8_t> alpha((size_t)font.width * font.height);
    glBindTexture(GL_TEXTURE_2D, font.textureId);
    // One byte a texel, rows without gaps; the caller's pack alignment is put back afterwards.
    GLint alignment = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_ALPHA, GL_UNSIGNED_BYTE, alpha.data());
    glPixelStorei(GL_PACK_ALIGNMENT, alignment);
    CHECK_GL();
    for (uint8_t a : alpha)
        if (a != 255) return false;
    return true;
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
    fontOpaque = false;
    textureUnits = 1;

    for (int code = 0; code < 256; code++) {
        glyphU[code] = (float)((code % FONT_CHART_COLUMNS) * (1.0 / FONT_CHART_COLUMNS));
        for (int band = 0; band < 2; band++)
            glyphV[band][code] = (float)((BAND_TOP_ROW[band] - code / FONT_CHART_COLUMNS) * (1.0 / FONT_CHART_ROWS));
    }

    vertices.assign(GRID_QUADS * 4, Vertex());
    // Coloured quads, then at most one black run for every other cell of a column.
    plainVertices.assign((GRID_QUADS + GRID_COLUMNS * (GRID_ROWS + 1) / 2) * 4, PlainVertex());
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
    // No program of either kind: the fixed-function pipeline draws the grid.
    if (GLEW_ARB_fragment_program) glDisable(GL_FRAGMENT_PROGRAM_ARB);
    if (GLEW_ARB_vertex_program) glDisable(GL_VERTEX_PROGRAM_ARB);
    if (glUseProgramObjectARB) glUseProgramObjectARB(0);

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

void AsciiEngine::setQuad(Vertex* q, float x, float y, float u, float v, const float* rgba)
{
    float u1 = u + GLYPH_DU, v1 = v + GLYPH_DV;
    q[0].x = x;     q[0].y = y;     q[0].u = u;  q[0].v = v;
    q[1].x = x + 1; q[1].y = y;     q[1].u = u1; q[1].v = v;
    q[2].x = x + 1; q[2].y = y + 1; q[2].u = u1; q[2].v = v1;
    q[3].x = x;     q[3].y = y + 1; q[3].u = u;  q[3].v = v1;
    for (int i = 0; i < 4; i++) memcpy(q[i].rgba, rgba, 4 * sizeof(float));
}

// Under the state `draw` sets (texture times colour, added with saturation), quads may be drawn in
// any order and black ones add nothing to the colour. Their alpha of 1 still saturates the frame
// buffer's alpha; one black quad over the whole grid does that for all of them, provided every
// palette alpha is 1 and the chart is opaque. State left on by whatever drew before can break this
// (fog, colour sum, other texture units, another texture function or blend equation, stencil
// counting, logic ops, outlines); then `draw` keeps every quad in the reference order.
bool AsciiEngine::plainAdditiveState()
{
    if (!fontOpaque) return false;
    for (int i = 0; i < PALETTE_COLOURS; i++)
        if (palette[i][3] != 1.0f) return false;
    if (glIsEnabled(GL_FOG) || glIsEnabled(GL_STENCIL_TEST) || glIsEnabled(GL_COLOR_LOGIC_OP) ||
        glIsEnabled(GL_POLYGON_SMOOTH) || glIsEnabled(GL_POLYGON_STIPPLE))
        return false;
    if (GLEW_VERSION_1_4 && glIsEnabled(GL_COLOR_SUM)) return false;
    GLint value[2] = {0, 0};
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, value);
    if (value[0] != GL_MODULATE) return false;
    glGetIntegerv(GL_POLYGON_MODE, value);
    if (value[0] != GL_FILL || value[1] != GL_FILL) return false;
    if (GLEW_VERSION_1_4 || GLEW_EXT_blend_minmax) {
        glGetIntegerv(GL_BLEND_EQUATION, value);
        if (value[0] != GL_FUNC_ADD) return false;
    }
    // Unit 0 must sample the chart (a 3D or cube map target would win over it), the others nothing.
    if (glIsEnabled(GL_TEXTURE_3D) || glIsEnabled(GL_TEXTURE_CUBE_MAP)) return false;
    bool otherUnits = false;
    for (int unit = 1; unit < textureUnits && !otherUnits; unit++) {
        glActiveTexture(GL_TEXTURE0 + unit);
        otherUnits = glIsEnabled(GL_TEXTURE_1D) || glIsEnabled(GL_TEXTURE_2D) || glIsEnabled(GL_TEXTURE_3D) ||
                     glIsEnabled(GL_TEXTURE_CUBE_MAP);
    }
    if (textureUnits > 1) glActiveTexture(GL_TEXTURE0);
    return !otherUnits;
}

// Client arrays only for one draw: earlier arrays and buffer bindings are put back afterwards, and
// arrays other scenes may have left enabled are switched off so they are not read.
static GLint beginClientArrays()
{
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
    glDisableClientState(GL_COLOR_ARRAY);
    if (GLEW_VERSION_1_4) {
        glDisableClientState(GL_SECONDARY_COLOR_ARRAY);
        glDisableClientState(GL_FOG_COORD_ARRAY);
    }
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    return arrayBuffer;
}

static void endClientArrays(GLint arrayBuffer)
{
    if (glBindBuffer) glBindBuffer(GL_ARRAY_BUFFER, (GLuint)arrayBuffer);
    glPopClientAttrib();
}

void AsciiEngine::draw(bool overClear)
{
    setDrawState();
    if (plainAdditiveState()) drawByColour(overClear);
    else drawInOrder();
    // The current colour after a colour array is undefined; leave the one immediate mode leaves.
    glColor4fv(palette[foreground[GRID_CELLS - 1] & 15]);
}

// Every quad in the reference order, each vertex with its colour.
void AsciiEngine::drawInOrder()
{
    Vertex* v = vertices.data();
    for (int x = 0; x < GRID_COLUMNS; x++) {
        float bottom = GRID_ROWS - 1;
        for (int cell = x; cell < GRID_CELLS; cell += GRID_COLUMNS, bottom -= 1, v += 8) {
            const int code = chars[cell];
            setQuad(v, (float)x, bottom, glyphU[code], glyphV[0][code], palette[background[cell] & 15]);
            setQuad(v + 4, (float)x, bottom, glyphU[code], glyphV[1][code], palette[foreground[cell] & 15]);
        }
    }
    GLint arrayBuffer = beginClientArrays();
    const GLsizei stride = sizeof(Vertex);
    glVertexPointer(2, GL_FLOAT, stride, &vertices[0].x);
    glTexCoordPointer(2, GL_FLOAT, stride, &vertices[0].u);
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(4, GL_FLOAT, stride, vertices[0].rgba);
    glDrawArrays(GL_QUADS, 0, GRID_QUADS * 4);
    endClientArrays(arrayBuffer);
}

// The grid's viewport cleared to the clear colour made opaque: what the black quads would have made
// of a picture cleared to that colour (they add no colour and saturate the alpha).
static void clearGridOpaque(const AsciiViewport& vp)
{
    GLfloat colour[4];
    GLint box[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, colour);
    glGetIntegerv(GL_SCISSOR_BOX, box);
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    glClearColor(colour[0], colour[1], colour[2], 1.0f);
    glEnable(GL_SCISSOR_TEST);
    glScissor(vp.x, vp.y, vp.width, vp.height);
    glClear(GL_COLOR_BUFFER_BIT);
    glScissor(box[0], box[1], box[2], box[3]);
    if (!scissor) glDisable(GL_SCISSOR_TEST);
    glClearColor(colour[0], colour[1], colour[2], colour[3]);
}

// The quads that are not black, grouped by palette index so each group is one draw with one current
// colour (as immediate mode sets it). A cell whose two quads are both black still adds alpha 1:
// such cells get one opaque black quad per run down a column instead (a cell with a coloured quad
// gets its alpha from that quad), or, over a clear where they are most of the grid, clearGridOpaque.
void AsciiEngine::drawByColour(bool overClear)
{
    bool black[PALETTE_COLOURS];
    for (int i = 0; i < PALETTE_COLOURS; i++) black[i] = palette[i][0] == 0 && palette[i][1] == 0 && palette[i][2] == 0;

    // Counting sort: quads per colour, then each colour's first quad.
    int count[PALETTE_COLOURS] = {}, next[PALETTE_COLOURS];
    int blackCells = 0;
    for (int cell = 0; cell < GRID_CELLS; cell++) {
        count[background[cell] & 15]++;
        count[foreground[cell] & 15]++;
        blackCells += black[background[cell] & 15] && black[foreground[cell] & 15];
    }
    // The driver may clear part of a picture by drawing over all of it: worth it only where
    // black cells are most of the grid.
    const bool clearForBlack = overClear && blackCells * 2 >= GRID_CELLS;
    int quads = 0;
    for (int i = 0; i < PALETTE_COLOURS; i++) {
        next[i] = quads;
        if (!black[i]) quads += count[i];
    }

    // Black runs go after the largest possible set of coloured quads.
    PlainVertex* q = plainVertices.data();
    PlainVertex* run = q + 4 * GRID_QUADS;
    for (int x = 0; x < GRID_COLUMNS; x++) {
        float bottom = GRID_ROWS - 1, runTop = -1;
        for (int cell = x; cell < GRID_CELLS; cell += GRID_COLUMNS, bottom -= 1) {
            const int code = chars[cell], back = background[cell] & 15, fore = foreground[cell] & 15;
            if (!black[back]) setPlainQuad(q + 4 * next[back]++, (float)x, bottom, glyphU[code], glyphV[0][code]);
            if (!black[fore]) setPlainQuad(q + 4 * next[fore]++, (float)x, bottom, glyphU[code], glyphV[1][code]);
            bool allBlack = black[back] && black[fore] && !clearForBlack;
            if (allBlack && runTop < 0) runTop = bottom + 1;
            if (runTop >= 0 && (!allBlack || cell + GRID_COLUMNS >= GRID_CELLS)) {
                float runBottom = allBlack ? bottom : bottom + 1;
                setPlainQuad(run, (float)x, runBottom, glyphU[0], glyphV[0][0]);
                run[2].y = run[3].y = runTop;
                run += 4;
                runTop = -1;
            }
        }
    }
    const int blackRuns = (int)(run - (q + 4 * GRID_QUADS)) / 4;

    if (clearForBlack) clearGridOpaque(asciiViewport(windowWidth, windowHeight));

    GLint arrayBuffer = beginClientArrays();
    const GLsizei stride = sizeof(PlainVertex);
    glVertexPointer(2, GL_FLOAT, stride, &plainVertices[0].x);
    glTexCoordPointer(2, GL_FLOAT, stride, &plainVertices[0].u);
    if (blackRuns > 0) {
        // Black times the opaque chart is opaque black: the chart need not be sampled.
        glDisable(GL_TEXTURE_2D);
        glColor4f(0, 0, 0, 1);
        glDrawArrays(GL_QUADS, 4 * GRID_QUADS, 4 * blackRuns);
        glEnable(GL_TEXTURE_2D);
    }
    int first = 0;
    for (int i = 0; i < PALETTE_COLOURS; i++) {
        if (black[i] || count[i] == 0) continue;
        glColor4fv(palette[i]);
        glDrawArrays(GL_QUADS, 4 * first, 4 * count[i]);
        first += count[i];
    }
    endClientArrays(arrayBuffer);
}

void AsciiEngine::setPlainQuad(PlainVertex* q, float x, float y, float u, float v)
{
    float u1 = u + GLYPH_DU, v1 = v + GLYPH_DV;
    q[0].x = x;     q[0].y = y;     q[0].u = u;  q[0].v = v;
    q[1].x = x + 1; q[1].y = y;     q[1].u = u1; q[1].v = v;
    q[2].x = x + 1; q[2].y = y + 1; q[2].u = u1; q[2].v = v1;
    q[3].x = x;     q[3].y = y + 1; q[3].u = u;  q[3].v = v1;
}

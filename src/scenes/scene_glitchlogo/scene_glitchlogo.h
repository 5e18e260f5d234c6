// scene_glitchlogo: the group's logo over the opening of the show, torn by the `glitch` program.
//
// The logo ("data/common/images/halvoren_logo_transp.png", linear filters, no mipmaps, clamped)
// is one quad 20 units wide at depth -18 under the base scene's 16:9 projection, drawn straight
// to the screen over whatever the scenes before it drew, added to it weighted by its alpha.
// The glitch strength ("offset") follows the loudness of the music and jumps to fixed values at a
// few scripted moments; "seed" is the song time. The logo fades in once, by a tenth of the
// music's mean beat step per frame, and never fades out.
//
// Failures are fatal: a logo that does not load (and, inside Texture, one of zero size), a
// missing "seed" or "offset" uniform, a GL error after the draw.
// The fade, the last offset and the quad's half height are process-wide: one logo per show.
#pragma once

#include "scenes/template.h" // Template

class Texture;
class ShaderProgram;

#define GLITCH_LOGO_IMAGE "data/common/images/halvoren_logo_transp.png"

// Shared by every instance (there is one).
struct GlitchLogoState {
    float offset;            // the glitch strength last sent to the shader
    float fade;              // the logo's opacity, 0 to 1; never goes down
    float halfHeight;        // half the quad's height in units, set on the first draw
    bool halfHeightComputed; // whether halfHeight is set
};

class GlitchLogo : public Template {
public:
    Texture* logo = nullptr;         // loaded by init; lives until the process ends
    ShaderProgram* glitch = nullptr; // the shared glitch program

    void init() override;
    void draw() override;
    void rewind() override;
};

// The glitch strength at scene time t (beats since the scene's start). The scripted moments
// come first, then a short burst in every eight beats; otherwise the music's loudness, and only
// then is `music` asked for its spectrum level (music may be null when t is scripted).
float glitchLogoOffset(float t, Music* music);
// The opacity after one more frame: a tenth of the frame's beat step added, never above 1 and
// never lower than before.
float glitchLogoFadeStep(float fade, float meanTimeStep);

// The process-wide state, and a fresh start for tests and tools that build the scene again.
const GlitchLogoState& glitchLogoState();
void glitchLogoResetState();

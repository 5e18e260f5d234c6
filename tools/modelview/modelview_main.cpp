// halvoren-modelview: renders the show's two COLLADA models to PNG files through the show's own
// loader and node drawing, to look at them offline (under Xvfb on a machine without a display).
//
//   halvoren-modelview speakers <out folder>   every camera of the sound system as the show lights
//                                              it, a contact sheet, the fly-through and the screen
//   halvoren-modelview keyboard <out folder>   the keyboard from the keyboard scene's view, with a
//                                              few keys pressed and their glow added as the scene
//                                              adds it, under the scene's spot lights (first
//                                              window) and under the model's own (second window)
//   halvoren-modelview file <model> <out folder>  any .dae or .ase model, drawn through drawNode
//                                              from a fixed view of the origin under one white
//                                              light at the eye, into model.png
// Run it from the source tree's root: models and shaders are opened as "data/...".
#include "image.h"
#include "platform/platform.h"
#include "util/objects3d/objects3d.h"
#include "util/shaderprogram/shaderprogram.h"

#include <GL/glew.h>
#include <GL/glu.h>
#include <SDL.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>

static const int WIDTH = 1280, HEIGHT = 720;
static const char* const SPEAKERS = "data/speakers/Halvoren Sound System.dae";
static const char* const KEYBOARD = "data/midilights/Assembled Keyboard.dae";

static Image grab()
{
    Image image;
    image.width = WIDTH;
    image.height = HEIGHT;
    image.rgba.resize((size_t)WIDTH * HEIGHT * 4);
    std::vector<uint8_t> rows((size_t)WIDTH * HEIGHT * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, WIDTH, HEIGHT, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
    for (int y = 0; y < HEIGHT; y++)
        memcpy(&image.rgba[(size_t)y * WIDTH * 4], &rows[(size_t)(HEIGHT - 1 - y) * WIDTH * 4], (size_t)WIDTH * 4);
    return image;
}

static void save(const std::string& folder, const char* name, const Image& image)
{
    std::string path = folder + "/" + name;
    if (!writePng(path, image)) fprintf(stderr, "cannot write %s\n", path.c_str());
    else printf("wrote %s\n", path.c_str());
}

static void drawModel(Objects3D* model)
{
    glPushMatrix();
    glMultMatrixf(model->transform);
    model->drawNode(model->root, model->root.mirrored);
    glPopMatrix();
}

static size_t triangleCount(const Objects3D& model)
{
    size_t triangles = 0;
    for (const GeomObject& object : model.geomObjects) triangles += object.faces.size();
    return triangles;
}

static void beginFrame(bool lighting)
{
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_NORMALIZE);
    glShadeModel(GL_SMOOTH);
    if (lighting) glEnable(GL_LIGHTING);
    else glDisable(GL_LIGHTING);
    float ambient[4] = {0.0001f, 0.0001f, 0.0001f, 1};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
}

// >> the sound system

// The light offsets the show adds after beat 40, at beat b.
static void moveLights(Objects3D* model, const Vec4 kept[4], float b)
{
    model->lights[2].position = {kept[2].x + cosf(0.35f * b) - 6, kept[2].y + 1.6f * cosf(0.85f * b) + 3,
                                 kept[2].z + 0.5f * sinf(0.15f * b) - 2, 1};
    model->lights[1].position = {kept[1].x + 2 * sinf(0.75f * b) - 5, kept[1].y + 2 * cosf(-0.35f * b),
                                 kept[1].z + 2.1f * sinf(0.65f * b) - 2, 1};
    model->lights[3].position = {kept[3].x + 2 * sinf(0.2f * b) - 5, kept[3].y + 0.3f * sinf(0.15f * b),
                                 kept[3].z + 1.3f * cosf(0.4f * b) - 5, 1};
}

static Image renderSpeakers(Objects3D* model, const Camera& camera, bool lighting, float coneOut)
{
    beginFrame(lighting);
    applyCameraProjection(camera, HEIGHT, WIDTH);
    model->setupLights();
    glColor4f(1, 1, 1, 1);
    model->setAllVisible(true);
    model->setVisibleByName("Bass", false);
    model->setVisibleByName("Midtone", false);
    drawModel(model);
    glPushMatrix();
    glTranslatef(-0.08f * coneOut, 0, 0);
    model->setAllVisible(false);
    model->setVisibleByName("Bass", true);
    drawModel(model);
    glTranslatef(-0.04f * coneOut, 0, 0);
    model->setAllVisible(false);
    model->setVisibleByName("Midtone", true);
    drawModel(model);
    glPopMatrix();
    return grab();
}

static int speakers(const std::string& folder)
{
    Objects3D model;
    if (!load(SPEAKERS, &model)) return 1;
    printf("%zu cameras, %zu lights, %zu materials, %zu meshes, %zu triangles\n", model.cameras.size(),
           model.lights.size(), model.materials.size(), model.geomObjects.size(), triangleCount(model));
    if (model.cameras.size() < 6 || model.lights.size() < 4) {
        fprintf(stderr, "the sound system needs 6 cameras and 4 lights\n");
        return 1;
    }
    model.plainShader = new ShaderProgram("multi_material_notex.vert", "multi_material_notex.frag");
    Vec4 kept[4];
    for (int i = 0; i < 4; i++) kept[i] = model.lights[i].position;

    // Every camera as the show sees it between beats 40 and 72 (lights moved, lighting on).
    Image sheet;
    sheet.width = 3 * 640;
    sheet.height = 2 * 360;
    sheet.rgba.assign((size_t)sheet.width * sheet.height * 4, 0);
    moveLights(&model, kept, 50);
    for (int i = 0; i < 6; i++) {
        Image frame = renderSpeakers(&model, model.cameras[i], true, 0.5f);
        char name[64];
        snprintf(name, sizeof name, "speakers_camera%d.png", i);
        save(folder, name, frame);
        Image small = scaleImage(frame, 640, 360);
        drawText(&small, 8, 8, "camera " + std::to_string(i) + " " + model.cameras[i].name, 2, 0xffff40);
        blitImage(&sheet, small, (i % 3) * 640, (i / 3) * 360);
    }
    save(folder, "speakers_cameras.png", sheet);

    // The opening (lights at their file places), and the screen after beat 104 (lighting off).
    for (int i = 0; i < 4; i++) model.lights[i].position = kept[i];
    save(folder, "speakers_opening.png", renderSpeakers(&model, model.cameras[5], true, 0));
    moveLights(&model, kept, 150);
    save(folder, "speakers_screen_unlit.png", renderSpeakers(&model, model.cameras[2], false, 0));

    // The fly-through of beats 72 to 104 at 60 frames a second and 128 beats a minute.
    Camera fly;
    copyCamera(&fly, model.cameras[5]);
    const float step = 128.0f / 60.0f / 60.0f;
    Image flight;
    flight.width = 4 * 480;
    flight.height = 2 * 270;
    flight.rgba.assign((size_t)flight.width * flight.height * 4, 0);
    int shot = 0;
    for (float t = 72; t < 104 && shot < 8; t += step) {
        if (t < 88) {
            moveCamera(&fly, 0, -0.2f * step, 0.5f * step);
            pitchCamera(&fly, -2.5f * step);
            yawCamera(&fly, -0.8f * step);
            rollCamera(&fly, -0.7f * step);
        }
        static Camera saved;
        static bool savedTaken = false;
        Camera view;
        copyCamera(&view, fly);
        if (t >= 88) {
            if (!savedTaken) { copyCamera(&saved, fly); savedTaken = true; }
            interpolateCameras(saved, model.cameras[2], &view, (t - 88) * 0.0625f);
        }
        if (t + step >= 72 + shot * 4.5f) {
            moveLights(&model, kept, t);
            Image frame = scaleImage(renderSpeakers(&model, view, true, 0.3f), 480, 270);
            char label[32];
            snprintf(label, sizeof label, "beat %.1f", t);
            drawText(&frame, 6, 6, label, 2, 0xffff40);
            blitImage(&flight, frame, (shot % 4) * 480, (shot / 4) * 270);
            shot++;
        }
    }
    save(folder, "speakers_flight.png", flight);
    // The close-up cut of beats 168 to 172 and the outro's wide shot halfway.
    Camera mix;
    copyCamera(&mix, model.cameras[2]);
    interpolateCameras(model.cameras[2], model.cameras[4], &mix, 0.5f);
    save(folder, "speakers_outro_half.png", renderSpeakers(&model, mix, false, 0));
    return 0;
}

// >> the keyboard

static const int BLACK_KEYS[25] = {1, 3, 6, 8, 10, 13, 15, 18, 20, 22, 25, 27, 30, 32, 34, 37, 39, 42, 44, 46, 49, 51, 54, 56, 58};

static void placeKeyboard(Objects3D* model)
{
    rotateMatrix(model->transform, -90, 1, 0, 0);
    rotateMatrix(model->transform, -90, 0, 0, 1);
    scaleMatrix(model->transform, 0.2f, 0.2f, 0.2f);
}

// The keyboard scene's own five spot lights (before beat 190) at one moment: the first five
// colours of its table, scaled by `fade` (its lights dim between notes, never below 0.1), at
// places inside its box, all turned by the sway phase as the scene turns them.
static void sceneLights(float phase, float fade)
{
    static const float colours[5][3] = {{0.6f, 0.6f, 0.3f}, {0.3f, 0.3f, 1}, {0.3f, 1, 0.3f}, {1, 0.3f, 0.3f}, {0.6f, 0.3f, 0.6f}};
    static const float places[5][3] = {{-3, 0.5f, 2.5f}, {2.5f, -1.5f, 1.5f}, {0.5f, 1.5f, 3.5f}, {-1, -3.5f, 1}, {3.5f, 2.5f, -2}};
    for (int i = 0; i < 5; i++) {
        Light light;
        light.position = {places[i][0], places[i][1], places[i][2], 1};
        light.spotDirection = {cosf(-3 * phase), cosf(-2 * phase), sinf(phase), 0};
        light.ambient = {0.01f, 0.01f, 0.01f, 1};
        light.diffuse = {fmaxf(colours[i][0] * fade, 0.1f), fmaxf(colours[i][1] * fade, 0.1f),
                         fmaxf(colours[i][2] * fade, 0.1f), 1};
        light.specular = {1, 1, 1, 1};
        light.constantAttenuation = 0.05f;
        light.linearAttenuation = 0.2f;
        light.quadraticAttenuation = 0.02f;
        light.spotCutoff = 85;
        applyLight(i, light);
    }
}

static void blackLights(int from)
{
    Light off;
    for (int i = from; i < 8; i++) applyLight(i, off);
}

// The scene's glow: the pressed keys alone, spread by the same taps as the blur shader and added.
static void addGlow(Image* target, const Image& glow)
{
    static const float ring[8][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {0.7071f, 0.7071f}, {-0.7071f, 0.7071f},
                                     {0.7071f, -0.7071f}, {-0.7071f, -0.7071f}};
    static const float outer[8][2] = {{0.9239f, 0.3827f}, {-0.9239f, 0.3827f}, {0.9239f, -0.3827f}, {-0.9239f, -0.3827f},
                                      {0.3827f, 0.9239f}, {-0.3827f, 0.9239f}, {0.3827f, -0.9239f}, {-0.3827f, -0.9239f}};
    const int w = glow.width, h = glow.height;
    auto tap = [&](int x, int y, float dx, float dy, int c) {
        int sx = x + (int)lroundf(dx * w), sy = y + (int)lroundf(dy * h);
        if (sx < 0 || sy < 0 || sx >= w || sy >= h) return 0.0f;
        return glow.rgba[((size_t)sy * w + sx) * 4 + c] / 255.0f;
    };
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (int c = 0; c < 3; c++) {
                float sum = tap(x, y, 0, 0, c) * 0.25f;
                for (int i = 0; i < 8; i++) sum += tap(x, y, ring[i][0] * 0.012f, ring[i][1] * 0.012f, c) * 0.06f;
                for (int i = 0; i < 8; i++) sum += tap(x, y, outer[i][0] * 0.03f, outer[i][1] * 0.03f, c) * 0.035f;
                uint8_t* out = &target->rgba[((size_t)y * w + x) * 4 + c];
                *out = (uint8_t)fminf(255, *out + sum * 1.6f * 255);
            }
}

static void showKeys(Objects3D* keys, Objects3D* pressed, const int* down, int count)
{
    keys->setAllVisible(true);
    pressed->setAllVisible(false);
    for (int i = 0; i < count; i++) {
        char name[8];
        snprintf(name, sizeof name, "Key_%02d", down[i]);
        keys->setVisibleByName(name, false);
        pressed->setVisibleByName(name, true);
    }
}

// One frame of the keyboard scene: the view, the lights of the window, the sway, both copies and
// the glow. `window` 1 lights with the scene's spot lights, 2 with the model's own.
static Image keyboardFrame(Objects3D* keys, Objects3D* pressed, int window, float phase, float fade, float beat)
{
    int viewHeight = (int)(WIDTH * 0.5625f);
    Image frames[2];
    for (int pass = 0; pass < 2; pass++) {
        beginFrame(false);
        glViewport(0, (HEIGHT - viewHeight) / 2, WIDTH, viewHeight);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(45.0, 1.7777778, 0.1, 2000.0);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        gluLookAt(0, 0, 9, 0, 0, 0, 0, 1, 0);
        if (window == 1) {
            sceneLights(phase, fade);
            blackLights(5);
        } else {
            float a = sinf(beat * 0.5f) + 1;
            glTranslatef(2 * a, -1, 0);
            keys->setupLights();
            glTranslatef(-2 * a, 1, 0);
            blackLights((int)keys->lights.size());
        }
        glTranslatef(0, -2, 0);
        glRotatef(sinf(phase), 0, 1, 0);
        glRotatef(cosf(phase), 0, 0, 1);
        if (pass == 0) drawModel(keys);
        glRotatef(3, 1, 0, 0);
        drawModel(pressed);
        frames[pass] = grab();
    }
    addGlow(&frames[0], frames[1]);
    return frames[0];
}

static int keyboard(const std::string& folder)
{
    Objects3D keys, pressed;
    if (!load(KEYBOARD, &keys) || !load(KEYBOARD, &pressed)) return 1;
    printf("%zu lights, %zu materials, %zu meshes, %zu triangles\n", keys.lights.size(), keys.materials.size(),
           keys.geomObjects.size(), triangleCount(keys));
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    placeKeyboard(&keys);
    placeKeyboard(&pressed);
    ShaderProgram* plain = new ShaderProgram("multi_material_notex.vert", "multi_material_notex.frag");
    keys.plainShader = plain;
    pressed.plainShader = plain;
    for (int key : BLACK_KEYS) {
        char name[8];
        snprintf(name, sizeof name, "Key_%02d", key);
        pressed.assignMaterial(name);
    }
    // A chord spread over the keyboard, black and white keys, lowest and highest included.
    const int down[] = {0, 12, 16, 19, 24, 27, 31, 36, 40, 43, 58, 60};
    const int count = (int)(sizeof down / sizeof down[0]);

    showKeys(&keys, &pressed, down, 0);
    save(folder, "keyboard_up.png", keyboardFrame(&keys, &pressed, 2, 0.7f, 1, 200));
    showKeys(&keys, &pressed, down, count);
    save(folder, "keyboard_pressed.png", keyboardFrame(&keys, &pressed, 2, 0.7f, 1, 200));

    // A sheet: the first window's spot lights on a note (full colour) and between notes (dimmed),
    // the second window's own lights at both ends of their sideways swing (translated by 0 and 4).
    struct Shot { int window; float phase, fade, beat; const char* label; } shots[] = {
        {1, -0.7f, 1.0f, 150, "window 1, lights on a note"},
        {1, -0.7f, 0.3f, 150, "window 1, lights dimmed"},
        {2, 0.7f, 1.0f, 63 * 3.14159f, "window 2, lights in place"},
        {2, 1.9f, 1.0f, 65 * 3.14159f, "window 2, lights moved right"},
    };
    Image sheet;
    sheet.width = 2 * 640;
    sheet.height = 2 * 360;
    sheet.rgba.assign((size_t)sheet.width * sheet.height * 4, 0);
    for (int i = 0; i < 4; i++) {
        Image frame = keyboardFrame(&keys, &pressed, shots[i].window, shots[i].phase, shots[i].fade, shots[i].beat);
        if (i == 0) save(folder, "keyboard_window1.png", frame);
        Image small = scaleImage(frame, 640, 360);
        drawText(&small, 8, 8, shots[i].label, 2, 0xffff40);
        blitImage(&sheet, small, (i % 2) * 640, (i / 2) * 360);
    }
    save(folder, "keyboard_sheet.png", sheet);
    return 0;
}

// >> any model

static int anyModel(const char* path, const std::string& folder)
{
    Objects3D model;
    if (!load(path, &model)) {
        fprintf(stderr, "%s: not a .dae or .ase model\n", path);
        return 1;
    }
    printf("%s: %zu meshes, %zu triangles, %zu materials, %zu nodes below the root\n", path,
           model.geomObjects.size(), triangleCount(model), model.materials.size(), model.root.children.size());
    model.plainShader = new ShaderProgram("multi_material_notex.vert", "multi_material_notex.frag");
    beginFrame(true);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(40.0, (double)WIDTH / HEIGHT, 0.1, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const float eye[4] = {0, 0, 0, 1}, white[4] = {1, 1, 1, 1}, dim[4] = {0.15f, 0.15f, 0.15f, 1};
    glLightfv(GL_LIGHT0, GL_POSITION, eye); // at the eye: every face the camera sees is lit
    glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
    glLightfv(GL_LIGHT0, GL_SPECULAR, white);
    glLightfv(GL_LIGHT0, GL_AMBIENT, dim);
    glEnable(GL_LIGHT0);
    gluLookAt(4, 3, 6, 0, 0, 0, 0, 1, 0);
    glColor4f(1, 1, 1, 1);
    model.setAllVisible(true);
    drawModel(&model);
    save(folder, "model.png", grab());
    return 0;
}

int main(int argc, char** argv)
{
    bool anyFile = argc >= 2 && strcmp(argv[1], "file") == 0;
    if (argc < 3 || (anyFile && argc < 4)) {
        fprintf(stderr, "usage: %s speakers|keyboard <out folder>\n       %s file <model> <out folder>\n", argv[0],
                argv[0]);
        return 2;
    }
    platformSetHeadlessBoxes(true);
    setenv("SDL12COMPAT_OPENGL_SCALING", "0", 1);
    if (SDL_Init(SDL_INIT_VIDEO) < 0) return 1;
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    if (!SDL_SetVideoMode(WIDTH, HEIGHT, 32, SDL_OPENGL)) return 1;
    if (glewInit() != GLEW_OK) return 1;
    int result = anyFile ? anyModel(argv[2], argv[3])
                 : strcmp(argv[1], "keyboard") == 0 ? keyboard(argv[2]) : speakers(argv[2]);
    SDL_Quit();
    return result;
}

// scene_speakers: the frame of the whole show, the sound system filmed by scripted cameras.
//
// The model "data/speakers/Halvoren Sound System.dae" is drawn straight to the screen under one
// of its own cameras, chosen and moved by a script over the song's beats: light 0 fades in over
// the first 40 beats, the cameras cut every four beats until 72, camera 5 flies through the rig
// until 88 and glides onto the screen camera by 104, then holds the screen (a quick zoom to the
// close-up at 168-172), and pulls back to the wide view from 296 while the picture fades to black
// from 320 to 337. The cones ("Bass", "Midtone" meshes) are pushed along -x by the music's levels;
// three coloured lights circle; from 40 to 104 the first two beats of every eight shake the view.
// From the first frame after beat 104 the screen (materials "Canvas_Image_Area") shows the shared
// framebuffer's first colour texture, into which the other scenes draw.
// The ending: the digit key "2" held between beats 296 and 337 switches to the interactive mode
// for good: the song loops, the view glides to the screen camera in four beats, then "q" "w" "e"
// "r" "t" "y" held pick cameras 0 to 5 (the last in that order wins).
//
// A model with fewer than six cameras or four lights is drawn as far as it goes: the script never
// touches a camera or light the model lacks. Nothing is reported by the scene itself (the model
// loader reports its own failures).
// The script state is process-wide (SpeakersState): one show, one script.
#pragma once

#include "scenes/template.h"             // Template, KeyState
#include "util/objects3d/objects3d.h"    // Objects3D, Camera, Vec4

#define SPEAKERS_MODEL "data/speakers/Halvoren Sound System.dae"

enum {
    SPEAKERS_CAMERAS = 6, // the script addresses cameras 0 to 5
    SPEAKERS_LIGHTS = 4,  // and lights 0 to 3
    SPEAKERS_OPENING_CAMERA = 5,
    SPEAKERS_SCREEN_CAMERA = 2,
};

// Shared by every instance (there is one).
struct SpeakersState {
    int currentCamera = SPEAKERS_OPENING_CAMERA; // the model camera the view uses
    bool screenAttached = false;            // the shared framebuffer's texture is on the screen
    unsigned screenTextureId = 0;           // the GL name the screen's lists were compiled with
    bool interactive = false;               // the ending's interactive mode; never switches off
    bool flyCameraSaved = false;            // savedFlyCamera is taken (first frame at 88 or later)
    Camera savedFlyCamera;                  // camera 5 where the fly-through ended
    bool interactiveStarted = false;        // the first interactive frame has been drawn
    Camera savedInteractiveCamera;          // camera 5 at the first interactive frame
    float interactiveStart = 0.0f;          // beats: the glide onto the screen camera starts
    float interactiveEnd = 0.0f;            // and ends
    bool light0Kept = false;                // light0Colours are taken (first frame below 40)
    Vec4 light0Colours[3];                  // ambient, diffuse, specular of light 0 as loaded
    bool lightPositionsKept = false;        // lightPositions are taken (first frame above 40)
    Vec4 lightPositions[3];                 // lights 1, 2, 3 as loaded
};

// What the script asks of the frame besides moving cameras and lights.
enum SpeakersShaderChoice { SPEAKERS_SHADER_KEEP = 0, SPEAKERS_SHADER_MULTI, SPEAKERS_SHADER_SINGLE };
struct SpeakersFrame {
    SpeakersShaderChoice shader; // the model's lit programs from now on
    bool lightingOff;            // switch lighting off (textured meshes drawn unlit)
    bool startLooping;           // the ending's key was pressed: loop the song
};

class Speakers : public Template {
public:
    Objects3D model;                      // the sound system, loaded by init
    std::vector<ShaderProgram*> rigPrograms;   // per material: lit by the rig's own lights
    ShaderProgram* openingProgram = nullptr;   // every material lit by light 0 alone, before beat 40
    bool openingLit = false;                   // the model draws with openingProgram
    int shininessBits = 0;                     // the bits every rig material's shininess fits in
    void litPrograms(); // (re)selects the programs above and gives the model the ones in use
    // The model as loaded, for rewind: the script moves the cameras and lights, and the screen
    // takes the shared framebuffer's texture.
    std::vector<Camera> loadedCameras;
    std::vector<Light> loadedLights;
    std::vector<Texture*> loadedTextures; // per material

    void init() override;
    void draw() override;
    void rewind() override;
};

// >> rules (no GL; the model's cameras and lights are plain data)
// Step B: the camera and light-0 script at beat t. Moves the model's cameras and light 0's colours,
// sets state->currentCamera; `keys` may be null (nothing held).
SpeakersFrame speakersScript(SpeakersState* state, Objects3D* model, float t, float meanTimeStep,
                             const KeyState* keys);
// The camera index of the cutting segment (40 <= t < 72): 5, 3, 0, 1, 4 every four beats.
int speakersCutCamera(float t);
// Whether this frame puts the shared framebuffer's texture on the screen (the first above 104).
bool speakersScreenDue(const SpeakersState& state, float t);
// Step D: lights 1, 2 and 3 circle their loaded positions once t is above 40 (b: beats).
void speakersMoveLights(SpeakersState* state, Objects3D* model, float t);
// The shake's weight k at beat b (40 < t < 104 only): fading from 0.1 over the first two beats of
// every eight, else 0.
float speakersShakeWeight(float b);
// The cones' push along x: bass from the smoothed level, midtones from the sample level.
void speakersConeOffsets(float smoothedLevel, float sampleLevel, float* bassX, float* midX);
// The black overlay's alpha at the end (320 < t < 337, not interactive), or a negative value.
float speakersFadeAlpha(float t, bool interactive);

// The process-wide state, and a fresh start for tests and tools that build the scene again.
const SpeakersState& speakersState();
void speakersResetState();

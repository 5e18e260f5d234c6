// MIDILights: notes to keys on hand-built note tables and on the real keyboard model and song
// (no GL), the rules of the wandering lights and their colours, and frames drawn through the
// driver's frame path into a shared framebuffer that already holds a picture, read back and saved.
#include "scenes/scene_midilights/scene_midilights.h"

#include "scene_frames.h"       // the driver's frame path, the framebuffer read back, pictures
#include "scenes/shaderset.h" // ShaderSet
#include "util/music/midi.h"
#include "util/objects3d/dae_loader.h"
#include <math.h>
#include <stdlib.h>
#include <string.h>

using namespace sceneframes;

// >> helpers
// A model with the 61 key meshes and a body, enough for the visibility rules.
static void buildKeyModel(Objects3D* model)
{
    model->geomObjects.clear();
    for (int key = 0; key < MIDI_LIGHTS_KEYS; key++) {
        GeomObject key3d;
        key3d.name = midiLightsKeyName(key);
        model->geomObjects.push_back(key3d);
    }
    GeomObject body;
    body.name = "Body_Case";
    model->geomObjects.push_back(body);
}

struct Tracks {
    std::vector<bool> states[MIDI_LIGHTS_TRACKS];
    std::vector<uint8_t> notes[MIDI_LIGHTS_TRACKS];
    // Adds a note to a track, sounding or not.
    void add(int track, uint8_t note, bool sounding)
    {
        notes[track].push_back(note);
        states[track].push_back(sounding);
    }
};

static std::vector<int> visibleKeys(const Objects3D& model)
{
    std::vector<int> keys;
    for (int key = 0; key < MIDI_LIGHTS_KEYS; key++)
        for (const GeomObject& object : model.geomObjects)
            if (object.name == midiLightsKeyName(key) && object.visible) keys.push_back(key);
    return keys;
}

static Light lightWithDiffuse(float r, float g, float b)
{
    Light light;
    light.diffuse = {r, g, b, 1};
    return light;
}

// >> notes to keys
TEST(MidiLightsKeys, NamesAreTwoDigitsAndNoteMinus24PlaysTheKey)
{
    EXPECT_EQ(midiLightsKeyName(0), "Key_00");
    EXPECT_EQ(midiLightsKeyName(1), "Key_01");
    EXPECT_EQ(midiLightsKeyName(10), "Key_10");
    EXPECT_EQ(midiLightsKeyName(60), "Key_60");

    Objects3D model;
    buildKeyModel(&model);
    Tracks tracks;
    tracks.add(0, 25, true);  // key 1, not keys 10 to 19
    tracks.add(0, 60, false); // in the list, silent
    tracks.add(1, 34, true);  // key 10
    tracks.add(2, 24, true);  // the lowest key
    tracks.add(2, 84, true);  // the highest key
    midiLightsShowKeys(&model, true, tracks.states, tracks.notes);
    EXPECT_EQ(visibleKeys(model), (std::vector<int>{0, 1, 10, 60}));
    EXPECT_FALSE(model.geomObjects.back().visible); // the pressed copy shows keys only

    midiLightsShowKeys(&model, false, tracks.states, tracks.notes);
    std::vector<int> up = visibleKeys(model);
    EXPECT_EQ(up.size(), (size_t)MIDI_LIGHTS_KEYS - 4);
    for (int key : {0, 1, 10, 60}) EXPECT_FALSE(model.geomObjects[key].visible) << key;
    EXPECT_TRUE(model.geomObjects[36].visible); // note 60 is silent
    EXPECT_TRUE(model.geomObjects.back().visible);

    // Nothing is remembered: a frame with no notes shows no pressed key.
    Tracks silent;
    midiLightsShowKeys(&model, true, silent.states, silent.notes);
    EXPECT_TRUE(visibleKeys(model).empty());
}

TEST(MidiLightsKeys, StatesPastAShorterNoteListOfTheOtherTracksAreNotFollowed)
{
    Objects3D model;
    buildKeyModel(&model);
    Tracks tracks;
    tracks.add(1, 40, true);
    tracks.states[1].push_back(true); // a state with no note behind it
    tracks.states[2].assign(3, true);
    midiLightsShowKeys(&model, true, tracks.states, tracks.notes);
    EXPECT_EQ(visibleKeys(model), (std::vector<int>{16}));
}

TEST(MidiLightsKeysDeathTest, NotesOffTheKeyboardAndMismatchedPianoListsAreFatal)
{
    Objects3D model;
    buildKeyModel(&model);
    Tracks low;
    low.add(2, 23, true);
    EXPECT_EXIT(midiLightsShowKeys(&model, false, low.states, low.notes), testing::ExitedWithCode(1),
                "Tried to play note -1");
    Tracks high;
    high.add(1, 85, true);
    EXPECT_EXIT(midiLightsShowKeys(&model, true, high.states, high.notes), testing::ExitedWithCode(1),
                "Tried to play note 61");
    // A silent note off the keyboard is never played.
    Tracks silentHigh;
    silentHigh.add(0, 100, false);
    midiLightsShowKeys(&model, true, silentHigh.states, silentHigh.notes);
    Tracks mismatch;
    mismatch.add(0, 40, false);
    mismatch.states[0].push_back(false);
    EXPECT_EXIT(midiLightsShowKeys(&model, true, mismatch.states, mismatch.notes), testing::ExitedWithCode(1),
                "Note LUTs differ!");
}

// The real model: every key name picks exactly its own mesh, and the pressed copy's black keys
// take "White_Finish" (parsed without GL).
TEST(MidiLightsKeys, TheKeyboardModelHasEveryKeyOnce)
{
    Bytes bytes = readTestFile(sourcePath(MIDI_LIGHTS_MODEL));
    bytes.push_back(0);
    Objects3D model;
    DaeTextures textures;
    std::string message;
    ASSERT_TRUE(parseDae((const char*)bytes.data(), MIDI_LIGHTS_MODEL, &model, &textures, &message)) << message;
    for (int key = 0; key < MIDI_LIGHTS_KEYS; key++) {
        int matches = 0;
        for (const GeomObject& object : model.geomObjects)
            if (object.name.find(midiLightsKeyName(key)) != std::string::npos) matches++;
        EXPECT_EQ(matches, 1) << midiLightsKeyName(key);
    }
    for (int key : MIDI_LIGHTS_BLACK_KEY_NUMBERS) model.assignMaterial(midiLightsKeyName(key));
    for (const GeomObject& object : model.geomObjects) {
        bool black = false;
        for (int key : MIDI_LIGHTS_BLACK_KEY_NUMBERS) black = black || object.name == midiLightsKeyName(key);
        if (black) {
            EXPECT_NE(object.materialName.find("White_Finish"), std::string::npos) << object.name;
        }
    }
    EXPECT_GE(model.lights.size(), 1u); // the second window's lights
}

// The song: its three tracks play on the keyboard through both windows without a fatal note, and
// keys are pressed in both.
TEST(MidiLightsKeys, TheSongPlaysOnTheKeyboardInBothWindows)
{
    Bytes bytes = readTestFile(sourcePath("data/common/music/dubr0lp.mid"));
    MidiFile song;
    MidiError error;
    ASSERT_TRUE(parseMidi(bytes.data(), bytes.size(), &song, &error)) << error.message;
    int tracks[MIDI_LIGHTS_TRACKS];
    for (int t = 0; t < MIDI_LIGHTS_TRACKS; t++) {
        tracks[t] = findMidiTrack(song, MIDI_LIGHTS_TRACK_NAMES[t]);
        ASSERT_GE(tracks[t], 0) << MIDI_LIGHTS_TRACK_NAMES[t];
    }
    EXPECT_LE(song.tracks[tracks[0]].notes.size(), (size_t)MIDI_LIGHTS_COLOURS);
    EXPECT_LE(song.tracks[tracks[1]].notes.size(), (size_t)MIDI_LIGHTS_COLOURS - 3);
    Objects3D model;
    buildKeyModel(&model);
    const float windows[2][2] = {{136, 168}, {200, 216}};
    for (const auto& window : windows) {
        int framesWithKeys = 0, frames = 0;
        for (float beat = window[0]; beat <= window[1]; beat += 0.125f, frames++) {
            Tracks now;
            for (int t = 0; t < MIDI_LIGHTS_TRACKS; t++) {
                now.states[t] = trackNoteStates(song.tracks[tracks[t]], beat);
                now.notes[t] = trackNoteLUT(song.tracks[tracks[t]]);
            }
            midiLightsShowKeys(&model, true, now.states, now.notes);
            if (!visibleKeys(model).empty()) framesWithKeys++;
        }
        EXPECT_GT(framesWithKeys, frames / 2) << window[0];
    }
}

TEST(MidiLightsHalo, SeparatePlacesKeepApartAndPlacesWhoseHalosMeetBecomeOne)
{
    // Low keys, high keys and two neighbours of the high ones (their halos meet), one empty box.
    const float boxes[5][4] = {{-0.8f, -0.2f, -0.7f, 0.0f}, {0.6f, -0.2f, 0.65f, 0.0f},
                               {1.0f, 1.0f, -1.0f, -1.0f},  {0.7f, -0.2f, 0.75f, 0.0f},
                               {0.8f, -0.2f, 0.85f, 0.0f}};
    int halo[16][4], picture[16][4];
    ASSERT_EQ(midiLightsHaloRects(boxes, 5, 512, 512, 512, 512, 1280, 720, halo, picture), 2);
    // The low keys' rects as alone, the high ones' as for the three boxes together.
    int alone[4], together[4];
    const float high[4] = {0.6f, -0.2f, 0.85f, 0.0f};
    midiLightsHaloRect(boxes[0], 512, 512, 1280, 720, alone);
    midiLightsHaloRect(high, 512, 512, 1280, 720, together);
    const int first = picture[0][0] < picture[1][0] ? 0 : 1;
    for (int k = 0; k < 4; k++) {
        EXPECT_EQ(picture[first][k], alone[k]);
        EXPECT_EQ(picture[1 - first][k], together[k]);
    }
    EXPECT_LT(picture[first][0] + picture[first][2], picture[1 - first][0]) << "the two do not overlap";
    EXPECT_LT(halo[first][0] + halo[first][2], halo[1 - first][0]);
    // Nothing drawn: no place.
    EXPECT_EQ(midiLightsHaloRects(boxes + 2, 1, 512, 512, 512, 512, 1280, 720, halo, picture), 0);
}

// >> lights
TEST(MidiLightsHalo, KeepsToWhatTheBlurCanReachFromThePressedKeys)
{
    // The reach must cover the blur's outer ring (blur.frag's OUTER, in texture coordinates).
    Bytes shader = readTestFile(sourcePath("data/common/shaders/blur.frag"));
    std::string text(shader.begin(), shader.end());
    size_t at = text.find("const float OUTER = ");
    ASSERT_NE(at, std::string::npos);
    const float outer = strtof(text.c_str() + at + strlen("const float OUTER = "), nullptr);
    EXPECT_GT(outer, 0.0f);
    EXPECT_LE(outer, MIDI_LIGHTS_HALO_REACH);

    // A glowing point in the middle of a 512 x 512 glow buffer: every glow texel within the outer
    // ring and the bilinear taps is inside, in the glow buffer and in a 1280 x 720 picture alike.
    const float point[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    int rect[4];
    ASSERT_TRUE(midiLightsHaloRect(point, 512, 512, 512, 512, rect));
    const float reach = outer * 512.0f + 1.0f;
    EXPECT_LE(rect[0], 256.0f - reach);
    EXPECT_GE(rect[0] + rect[2], 256.0f + reach);
    EXPECT_LE(rect[1], 256.0f - reach);
    EXPECT_LT(rect[2], 512 / 4) << "the rectangle is not much larger than the reach";
    ASSERT_TRUE(midiLightsHaloRect(point, 512, 512, 1280, 720, rect));
    EXPECT_LE(rect[0], (256.0f - reach) * 2.5f);
    EXPECT_GE(rect[0] + rect[2], (256.0f + reach) * 2.5f);
    EXPECT_LE(rect[1], (256.0f - reach) * 720.0f / 512.0f);
    EXPECT_GE(rect[1] + rect[3], (256.0f + reach) * 720.0f / 512.0f);

    // Keys at the edge of the view stop at the buffer's edge; nothing drawn, no halo.
    const float edge[4] = {-1.0f, 0.5f, -0.9f, 1.0f};
    ASSERT_TRUE(midiLightsHaloRect(edge, 512, 512, 1280, 720, rect));
    EXPECT_EQ(rect[0], 0);
    EXPECT_EQ(rect[1] + rect[3], 720);
    const float nothing[4] = {1.0f, 1.0f, -1.0f, -1.0f};
    EXPECT_FALSE(midiLightsHaloRect(nothing, 512, 512, 1280, 720, rect));
}

TEST(MidiLightsLights, ColourTableAndLoadDrawsInOrder)
{
    float colours[MIDI_LIGHTS_COLOURS][4];
    srand(7);
    midiLightsFillColours(colours);
    EXPECT_FLOAT_EQ(colours[0][0], 0.6f);
    EXPECT_FLOAT_EQ(colours[0][2], 0.3f);
    EXPECT_FLOAT_EQ(colours[3][0], 1.0f);
    EXPECT_FLOAT_EQ(colours[5][1], 0.6f);
    EXPECT_FLOAT_EQ(colours[5][3], 1.0f);
    Light lights[MIDI_LIGHTS_LIGHTS];
    float velocities[MIDI_LIGHTS_LIGHTS][3];
    midiLightsSetupLights(lights, velocities, colours);

    // The same draws by hand: u1, u2, u3 give blue, green, red; the third velocity draw is x.
    srand(7);
    for (int i = MIDI_LIGHTS_FIXED_COLOURS; i < MIDI_LIGHTS_COLOURS; i++) {
        float u[3];
        for (float& value : u) value = (float)(rand() & 32767) / 32767.0f;
        EXPECT_FLOAT_EQ(colours[i][0], 0.3f + 0.7f * u[2]) << i;
        EXPECT_FLOAT_EQ(colours[i][1], 0.3f + 0.7f * u[1]) << i;
        EXPECT_FLOAT_EQ(colours[i][2], 0.3f + 0.7f * u[0]) << i;
        EXPECT_FLOAT_EQ(colours[i][3], 1.0f);
        for (int c = 0; c < 3; c++) {
            EXPECT_GE(colours[i][c], 0.3f);
            EXPECT_LE(colours[i][c], 1.0f);
        }
    }
    for (int i = 0; i < MIDI_LIGHTS_LIGHTS; i++) {
        float v[3];
        for (float& value : v) value = (float)(rand() & 32767) / 32767.0f * 8.0f - 4.0f;
        EXPECT_FLOAT_EQ(velocities[i][0], v[2]);
        EXPECT_FLOAT_EQ(velocities[i][1], v[1]);
        EXPECT_FLOAT_EQ(velocities[i][2], v[0]);
        EXPECT_FLOAT_EQ(lights[i].diffuse.x, colours[i][0]);
        EXPECT_FLOAT_EQ(lights[i].diffuse.z, colours[i][2]);
        EXPECT_FLOAT_EQ(lights[i].spotDirection.x, 1.0f);
        EXPECT_FLOAT_EQ(lights[i].ambient.y, 0.01f);
        EXPECT_FLOAT_EQ(lights[i].specular.x, 1.0f);
        EXPECT_FLOAT_EQ(lights[i].constantAttenuation, 0.05f);
        EXPECT_FLOAT_EQ(lights[i].linearAttenuation, 0.2f);
        EXPECT_FLOAT_EQ(lights[i].quadraticAttenuation, 0.02f);
        EXPECT_FLOAT_EQ(lights[i].spotCutoff, 85.0f);
    }
}

TEST(MidiLightsLights, DimmingStopsAtATenthAndLeavesDarkerChannels)
{
    Light light = lightWithDiffuse(0.12f, 0.5f, 0.05f);
    float position[3] = {0, 0, 0}, velocity[3] = {1, -2, 0.5f};
    midiLightsMoveLight(&light, position, velocity, 0.1f, 0.01f, 0.0f);
    EXPECT_FLOAT_EQ(light.diffuse.x, 0.1f);  // 0.12 - 0.03 would be 0.09
    EXPECT_FLOAT_EQ(light.diffuse.y, 0.47f);
    EXPECT_FLOAT_EQ(light.diffuse.z, 0.05f); // already below: untouched
    EXPECT_FLOAT_EQ(light.diffuse.w, 1.0f);
    EXPECT_FLOAT_EQ(position[0], 0.1f);
    EXPECT_FLOAT_EQ(position[1], -0.2f);
    EXPECT_FLOAT_EQ(position[2], 0.05f);
    EXPECT_FLOAT_EQ(light.position.x, 0.1f);
    EXPECT_FLOAT_EQ(light.position.w, 1.0f);
    // The spot turns with the sway phase.
    EXPECT_FLOAT_EQ(light.spotDirection.x, 1.0f);
    midiLightsMoveLight(&light, position, velocity, 0.0f, 0.0f, 0.5f);
    EXPECT_FLOAT_EQ(light.spotDirection.x, cosf(-1.5f));
    EXPECT_FLOAT_EQ(light.spotDirection.y, cosf(-1.0f));
    EXPECT_FLOAT_EQ(light.spotDirection.z, sinf(0.5f));
    EXPECT_FLOAT_EQ(light.spotDirection.w, 0.0f);
}

TEST(MidiLightsLights, ALightCrossingAWallTurnsBackAndFlashes)
{
    Light light = lightWithDiffuse(0.4f, 0.4f, 0.4f);
    float position[3] = {3.97f, 0, 0}, velocity[3] = {1, 0, 0};
    midiLightsMoveLight(&light, position, velocity, 0.01f, 0.0f, 0.0f);
    EXPECT_FLOAT_EQ(velocity[0], -1.0f);
    EXPECT_FLOAT_EQ(position[0], 3.97f); // back where it was, inside the box
    EXPECT_FLOAT_EQ(light.position.x, 3.97f);
    EXPECT_FLOAT_EQ(light.diffuse.x, 0.6f);
    EXPECT_FLOAT_EQ(light.diffuse.w, 1.5f); // all four components
    // Exactly on the wall is still inside.
    float onWall[3] = {3.965f, 0, 0}, outward[3] = {1, 0, 0};
    Light calm = lightWithDiffuse(0.4f, 0.4f, 0.4f);
    midiLightsMoveLight(&calm, onWall, outward, 0.01f, 0.0f, 0.0f);
    EXPECT_FLOAT_EQ(outward[0], 1.0f);
    EXPECT_FLOAT_EQ(calm.diffuse.x, 0.4f);
    // A corner: two walls, two flashes; the lower wall too.
    Light corner = lightWithDiffuse(0.4f, 0.2f, 0.2f);
    float at[3] = {-3.97f, 3.97f, 1}, heading[3] = {-2, 2, 1};
    midiLightsMoveLight(&corner, at, heading, 0.01f, 0.0f, 0.0f);
    EXPECT_FLOAT_EQ(heading[0], 2.0f);
    EXPECT_FLOAT_EQ(heading[1], -2.0f);
    EXPECT_FLOAT_EQ(heading[2], 1.0f);
    EXPECT_FLOAT_EQ(at[0], -3.97f);
    EXPECT_FLOAT_EQ(at[2], 1.01f);
    EXPECT_FLOAT_EQ(corner.diffuse.x, 0.4f * 2.25f);
    // Many frames: the light stays in the box.
    float p[3] = {0, 0, 0}, v[3] = {3.9f, -2.7f, 1.3f};
    for (int frame = 0; frame < 5000; frame++) {
        midiLightsMoveLight(&corner, p, v, 0.02f, 0.01f, 0.0f);
        for (float c : p) ASSERT_LE(fabsf(c), 3.975f + 0.02f * 4.0f);
    }
}

TEST(MidiLightsLights, PianoAndBassColoursStayInsideTheTable)
{
    float colours[MIDI_LIGHTS_COLOURS][4];
    for (int i = 0; i < MIDI_LIGHTS_COLOURS; i++)
        for (int c = 0; c < 4; c++) colours[i][c] = (float)(i * 4 + c);
    Light lights[MIDI_LIGHTS_LIGHTS];
    for (Light& light : lights) light = lightWithDiffuse(-1, -1, -1);

    // Piano note 7 starts: light 2 takes colour 7; notes past the table change nothing.
    std::vector<bool> triggers(40, false);
    triggers[7] = true;
    triggers[35] = true;
    midiLightsPianoColours(lights, triggers, colours);
    EXPECT_FLOAT_EQ(lights[2].diffuse.x, 28.0f);
    EXPECT_FLOAT_EQ(lights[2].diffuse.w, 31.0f);
    EXPECT_FLOAT_EQ(lights[0].diffuse.x, -1.0f);

    // Bass note 1 sounds at level 0.5: light 4 takes colour 4 x 0.75; note 26 would need colour 29.
    std::vector<bool> states(30, false);
    states[1] = true;
    states[26] = true;
    midiLightsBassColours(lights, states, 0.5f, colours);
    EXPECT_FLOAT_EQ(lights[4].diffuse.x, 16.0f * 0.75f);
    EXPECT_FLOAT_EQ(lights[4].diffuse.w, 19.0f * 0.75f);
    EXPECT_FLOAT_EQ(lights[(26 + 3) % 5].diffuse.x, 16.0f * 0.75f); // still note 1's colour
    // Note 25 uses the last entry (28) on light 3.
    states[25] = true;
    midiLightsBassColours(lights, states, 1.0f, colours);
    EXPECT_FLOAT_EQ(lights[3].diffuse.x, 112.0f);
}

// >> frames
static const float TEST_BPM = 7200.0f; // 120 beats a second: the 2 s test song covers both windows

static void prepareData()
{
    static bool done = false;
    if (done) return;
    done = true;
    copyFolder("data/common/shaders");
    copyFolder("data/midilights");
    for (const char* image : {MIDI_LIGHTS_WALL, MIDI_LIGHTS_WALL_NORMALS}) copyAsset(image);
}

static NoteTable noteTable(uint8_t note, std::vector<float> times)
{
    NoteTable table;
    table.note = note;
    table.times = times;
    return table;
}

// A song of three tracks: the piano holds a chord low on the keyboard over beats 140-150, the
// ravelead one high over 144-150, the bass a low note over 140-150 and again 201-212.
static MidiFile* handSong()
{
    MidiFile* song = new MidiFile();
    MidiTrack piano, bass, lead, other;
    piano.name = "Piano";
    piano.notes.push_back(noteTable(24, {140, -150}));
    piano.notes.push_back(noteTable(28, {140, -150}));
    piano.notes.push_back(noteTable(31, {140, -150}));
    bass.name = "TAL-BassLine 02";
    bass.notes.push_back(noteTable(37, {140, -150, 201, -212}));
    lead.name = "Ravelead";
    lead.notes.push_back(noteTable(79, {144, -150}));
    lead.notes.push_back(noteTable(84, {144, -150, 201, -212}));
    other.name = "beats";
    other.notes.push_back(noteTable(36, {1, -2}));
    song->tracks = {other, piano, bass, lead};
    return song;
}

struct Picture {
    Bytes rgb; // bottom row first
    int at(int x, int y, int c) const { return rgb[((size_t)y * WINDOW_WIDTH + x) * 3 + c]; }
    int brightness(int x, int y) const { return at(x, y, 0) + at(x, y, 1) + at(x, y, 2); }
};

static Picture readPicture(GLuint framebuffer, int width, int height)
{
    return Picture{readFramebuffer(framebuffer, width, height)};
}

// The picture the particle scene leaves in the shared framebuffer: dark blue, depth cleared.
static const float BACKDROP[3] = {0.0f, 0.0f, 0.25f};

class MidiLightsFrames : public testing::Test {
protected:
    static ShaderSet* s_shaders; // built once: compiling all programs is slow on a software driver
    static Fbo* s_shared;
    Music* music = nullptr;
    MIDILights* scene = nullptr;
    std::vector<Template*> scenes;
    KeyState keys;

    void SetUp() override
    {
        REQUIRE_GL_WINDOW(WINDOW_WIDTH, WINDOW_HEIGHT);
        prepareData();
        music = startSong(TEST_BPM, handSong());
        if (!s_shaders) s_shaders = new ShaderSet();
        if (!s_shared) {
            s_shared = new Fbo();
            s_shared->resize(WINDOW_WIDTH, WINDOW_HEIGHT);
        }
        midiLightsResetShared();
        memset(&keys, 0, sizeof keys);
        srand(1);
        scene = new MIDILights();
        scene->startTime = 136.0f;
        scene->endTime = 216.0f;
        scene->music = music;
        scene->shaders = s_shaders;
        scene->fbo = s_shared;
        scene->init();
        scenes.push_back(scene);
    }
    void TearDown() override
    {
        if (scene) {
            scene->release();
            delete scene;
        }
        if (music) stopSong(music);
    }
    // One frame at `beat`, as the driver draws it after the particle scene, with a steady
    // motion step (beats and bytes per frame at 140 beats a minute and 60 frames a second) or
    // none, so that two pictures can differ by their keys alone.
    void frameAt(double beat, bool moving)
    {
        setBeat(music, beat);
        music->meanTimeStep = moving ? 140.0f / 60.0f / 60.0f : 0.0f;
        music->meanPositionStep = moving ? 176400 / 60 : 0;
        s_shared->bindForDrawing(true);
        glClearColor(BACKDROP[0], BACKDROP[1], BACKDROP[2], 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glClearColor(0, 0, 0, 0);
        glPopAttrib();
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
        drawActiveScenes(scenes, music, &keys, WINDOW_WIDTH, WINDOW_HEIGHT);
    }
    Picture shared() { return readPicture(s_shared->framebufferId, WINDOW_WIDTH, WINDOW_HEIGHT); }
};
ShaderSet* MidiLightsFrames::s_shaders = nullptr;
Fbo* MidiLightsFrames::s_shared = nullptr;

// Pixels brighter in `pressed` than in `up` by more than a margin, and their mean column.
static int brighterPixels(const Picture& pressed, const Picture& up, double* meanX)
{
    int count = 0;
    double sumX = 0;
    for (int y = 0; y < WINDOW_HEIGHT; y++)
        for (int x = 0; x < WINDOW_WIDTH; x++)
            if (pressed.brightness(x, y) > up.brightness(x, y) + 60) {
                count++;
                sumX += x;
            }
    *meanX = count ? sumX / count : -1;
    return count;
}

TEST_F(MidiLightsFrames, PressedKeysLightUpOverTheParticles)
{
    // A few frames of motion, then the lights held still in front of the keys at full colour.
    for (int frame = 0; frame < 5; frame++) frameAt(137.0 + frame * 0.03, true);
    const float places[MIDI_LIGHTS_LIGHTS][3] = {{-3, 0.5f, 2.5f}, {2.5f, -1.5f, 1.5f}, {0.5f, 1.5f, 3.5f},
                                                 {-1, -3.5f, 1}, {3.5f, 2.5f, 2}};
    for (int i = 0; i < MIDI_LIGHTS_LIGHTS; i++) {
        for (int axis = 0; axis < 3; axis++) scene->lightPositions[i][axis] = places[i][axis];
        scene->lights[i].diffuse = {scene->colours[i][0], scene->colours[i][1], scene->colours[i][2], 1};
    }
    frameAt(139.5, false); // nothing sounds
    Picture up = shared();
    frameAt(142.0, false); // the low piano chord and the bass note
    Picture low = shared();
    EXPECT_EQ(visibleKeys(scene->pressedKeyboard), (std::vector<int>{0, 4, 7, 13}));
    EXPECT_TRUE(scene->keyboard.geomObjects.size() > 61u);
    frameAt(147.0, false); // the high lead notes join
    Picture all = shared();
    EXPECT_EQ(visibleKeys(scene->pressedKeyboard), (std::vector<int>{0, 4, 7, 13, 55, 60}));
    savePicture("midilights_up.png", up.rgb);
    savePicture("midilights_low.png", low.rgb);
    savePicture("midilights_all.png", all.rgb);

    // The keyboard is drawn over the backdrop, which stays in the corners (nothing cleared it).
    for (int corner : {0, WINDOW_WIDTH - 1}) {
        EXPECT_NEAR(up.at(corner, WINDOW_HEIGHT - 1, 2), 64, 3);
        EXPECT_NEAR(up.at(corner, WINDOW_HEIGHT - 1, 0), 0, 3);
    }
    int keyboardPixels = 0;
    for (int y = 0; y < WINDOW_HEIGHT; y++)
        for (int x = 0; x < WINDOW_WIDTH; x++)
            if (abs(up.at(x, y, 2) - 64) > 8 || up.at(x, y, 0) > 8) keyboardPixels++;
    EXPECT_GT(keyboardPixels, WINDOW_WIDTH * WINDOW_HEIGHT / 10) << "see midilights_up.png";

    // Pressed keys glow: the low chord lights the left of the keyboard, the high notes add the right.
    double lowX = 0, allX = 0;
    int lowCount = brighterPixels(low, up, &lowX);
    int allCount = brighterPixels(all, up, &allX);
    EXPECT_GT(lowCount, 300) << "see midilights_low.png";
    EXPECT_LT(lowX, WINDOW_WIDTH * 0.4) << "see midilights_low.png";
    EXPECT_GT(allCount, lowCount + 150) << "see midilights_all.png";
    EXPECT_GT(allX, lowX + 40);

    // The glow buffer holds the pressed keys alone.
    Picture glow = readPicture(scene->glowBuffer->framebufferId, 512, 512);
    int lit = 0;
    for (size_t i = 0; i < (size_t)512 * 512 * 3; i++) lit += glow.rgb[i] > 40;
    EXPECT_GT(lit, 200);
}

TEST_F(MidiLightsFrames, SecondWindowUsesTheModelsLightsAndKeepsTheScenesOwn)
{
    frameAt(150.5, true);
    Light before[MIDI_LIGHTS_LIGHTS];
    for (int i = 0; i < MIDI_LIGHTS_LIGHTS; i++) before[i] = scene->lights[i];
    float phase = midiLightsShared().swayPhase;
    EXPECT_GT(phase, 0.0f);
    EXPECT_EQ(midiLightsShared().bump, s_shaders->multiDiffuseBump);
    EXPECT_EQ(midiLightsShared().blur, s_shaders->blur);
    frameAt(205.0, true);
    Picture second = shared();
    savePicture("midilights_window2.png", second.rgb);
    // The scene's own lights neither move nor fade; the bass note sounds, so light 3 takes its colour.
    for (int i = 0; i < MIDI_LIGHTS_LIGHTS; i++) {
        EXPECT_FLOAT_EQ(scene->lightPositions[i][0], before[i].position.x) << i;
        if (i != 3) {
            EXPECT_FLOAT_EQ(scene->lights[i].diffuse.y, before[i].diffuse.y) << i;
        }
    }
    EXPECT_GT(midiLightsShared().swayPhase, phase);
    EXPECT_EQ(visibleKeys(scene->pressedKeyboard), (std::vector<int>{13, 60}));
    int keyboardPixels = 0;
    for (int y = 0; y < WINDOW_HEIGHT; y++)
        for (int x = 0; x < WINDOW_WIDTH; x++)
            if (second.brightness(x, y) > 90) keyboardPixels++;
    EXPECT_GT(keyboardPixels, 2000) << "see midilights_window2.png";
}

TEST_F(MidiLightsFrames, MissingTrackOrWallIsFatal)
{
    music->midi->tracks[3].name = "Lead";
    EXPECT_EXIT(frameAt(145.0, true), testing::ExitedWithCode(1), "Could not find track \"Ravelead\"!");
    remove(MIDI_LIGHTS_WALL_NORMALS);
    EXPECT_EXIT(
        {
            MIDILights other;
            other.shaders = s_shaders;
            other.init();
        },
        testing::ExitedWithCode(1), "stone_wall_normal_map.png");
    writeTestFile(MIDI_LIGHTS_WALL_NORMALS, readTestFile(sourcePath(MIDI_LIGHTS_WALL_NORMALS)));
}

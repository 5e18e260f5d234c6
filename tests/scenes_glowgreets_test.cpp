// GlowGreets: which greeting and how much glow at each beat of the window; the names and their
// files; and frames drawn through the driver's frame path into a real Fbo, with test pictures that
// tell the entries apart and the real blur program, then one frame from the show's own pictures.
#include "scenes/scene_glowgreets/scene_glowgreets.h"

#include "scene_frames.h"       // the driver's frame path, the Fbo read back, pictures
#include "scenes/shaderset.h" // ShaderSet
#include "util/shaderprogram/shaderprogram.h"
#include <jpeglib.h>
#include <math.h>
#include <stdlib.h>
#include <unistd.h>

using namespace sceneframes;

// >> choice rule
TEST(GlowGreetsChoice, OpeningSlotsOfGroupAndPeople)
{
    GlowGreetsChoice c = glowGreetsChoose(7.5f, GLOW_GREETS_ENTRIES);
    EXPECT_EQ(c.entry, 1);
    EXPECT_FLOAT_EQ(c.pulse, 0.5f);
    c = glowGreetsChoose(6.5f, GLOW_GREETS_ENTRIES);
    EXPECT_EQ(c.entry, 1);
    EXPECT_FLOAT_EQ(c.pulse, 0.0f);
    c = glowGreetsChoose(9.75f, GLOW_GREETS_ENTRIES);
    EXPECT_EQ(c.entry, 2);
    EXPECT_FLOAT_EQ(c.pulse, 0.75f);
    // The slot bounds are exclusive: the group, without glow, at exactly 6, 8 and 10.
    for (float t : {6.0f, 8.0f, 10.0f}) {
        c = glowGreetsChoose(t, GLOW_GREETS_ENTRIES);
        EXPECT_EQ(c.entry, 0) << t;
        EXPECT_FLOAT_EQ(c.pulse, 0.0f) << t;
    }
    EXPECT_EQ(glowGreetsChoose(8.001f, GLOW_GREETS_ENTRIES).entry, 2);
    EXPECT_EQ(glowGreetsChoose(7.999f, GLOW_GREETS_ENTRIES).entry, 1);
    // The group never glows in the opening, though the pulse alone would give 0.5 at 11.5.
    for (float t = 0.0f; t < 16.0f; t += 0.05f) {
        c = glowGreetsChoose(t, GLOW_GREETS_ENTRIES);
        if (c.entry == 0) EXPECT_FLOAT_EQ(c.pulse, 0.0f) << t;
        else EXPECT_TRUE((c.entry == 1 && t > 6.0f && t < 8.0f) || (c.entry == 2 && t > 8.0f && t < 10.0f)) << t;
    }
}

TEST(GlowGreetsChoice, EveryTwoBeatsFromSixteenAndTheWrapAtTheEnd)
{
    EXPECT_EQ(glowGreetsChoose(16.0f, GLOW_GREETS_ENTRIES).entry, 3);
    EXPECT_FLOAT_EQ(glowGreetsChoose(16.0f, GLOW_GREETS_ENTRIES).pulse, 0.0f);
    EXPECT_EQ(glowGreetsChoose(47.9f, GLOW_GREETS_ENTRIES).entry, 18);
    EXPECT_NEAR(glowGreetsChoose(47.9f, GLOW_GREETS_ENTRIES).pulse, 0.9f, 1e-4);
    GlowGreetsChoice last = glowGreetsChoose(48.0f, GLOW_GREETS_ENTRIES);
    EXPECT_EQ(last.entry, 0);
    EXPECT_FLOAT_EQ(last.pulse, 0.0f);
    // Entries 3 to 18 in order, each for two beats: dark in the first beat, rising in the second.
    for (int step = 0; step < 3200; step++) {
        float t = 16.0f + step * 0.01f + 0.005f;
        GlowGreetsChoice c = glowGreetsChoose(t, GLOW_GREETS_ENTRIES);
        EXPECT_EQ(c.entry, 3 + (int)((t - 16.0f) / 2.0f)) << t;
        float within = fmodf(t, 2.0f);
        EXPECT_NEAR(c.pulse, within < 1.0f ? 0.0f : within - 1.0f, 1e-4) << t;
    }
    // Past the window the list keeps cycling and never leaves its range.
    for (float t = 48.0f; t < 2000.0f; t += 0.37f) {
        GlowGreetsChoice c = glowGreetsChoose(t, GLOW_GREETS_ENTRIES);
        EXPECT_GE(c.entry, 0);
        EXPECT_LT(c.entry, GLOW_GREETS_ENTRIES);
        EXPECT_GE(c.pulse, 0.0f);
        EXPECT_LT(c.pulse, 1.0f);
    }
}

TEST(GlowGreetsChoice, OddClocksStayInRange)
{
    // A clock a hair before the window, a huge one and NaN: an index inside the lists, no glow.
    for (float t : {-0.001f, -3.5f, 1.0e12f, NAN, INFINITY}) {
        GlowGreetsChoice c = glowGreetsChoose(t, GLOW_GREETS_ENTRIES);
        EXPECT_GE(c.entry, 0) << t;
        EXPECT_LT(c.entry, GLOW_GREETS_ENTRIES) << t;
        EXPECT_TRUE(c.pulse >= 0.0f && c.pulse <= 1.0f) << t;
    }
    // Shorter lists than the person slots need: the group stands in.
    EXPECT_EQ(glowGreetsChoose(7.5f, 1).entry, 0);
    EXPECT_EQ(glowGreetsChoose(9.5f, 2).entry, 0);
    EXPECT_EQ(glowGreetsChoose(20.0f, 1).entry, 0);
}

// >> names and files
TEST(GlowGreetsNames, NineteenDistinctNamesWithTheirPictures)
{
    const char* expected[GLOW_GREETS_ENTRIES] = {
        "quartzmoth", "velanix", "orrinkale", "tinfoilorchard", "basaltchoir", "neonmarrow", "copperwyrm",
        "glasspike", "vortenfeld", "ochrelantern", "umbrafold", "saltmarshcartel", "hexaburrow", "cobaltine",
        "wintermint", "pelicanstatic", "zephyrlogic", "moirehounds", "brassfern"};
    for (int i = 0; i < GLOW_GREETS_ENTRIES; i++) {
        EXPECT_STREQ(GLOW_GREETS_NAMES[i], expected[i]);
        char picture[128], mask[128];
        glowGreetsPaths(GLOW_GREETS_NAMES[i], picture, mask, sizeof picture);
        EXPECT_EQ(std::string(picture), std::string("data/glowgreets/") + expected[i] + ".jpg");
        EXPECT_EQ(std::string(mask), std::string("data/glowgreets/") + expected[i] + "_mask.jpg");
        // The show's data tree holds both files.
        EXPECT_EQ(access(sourcePath(picture).c_str(), R_OK), 0) << picture;
        EXPECT_EQ(access(sourcePath(mask).c_str(), R_OK), 0) << mask;
    }
    // A buffer too small is cut short, not overrun.
    char small[20], smallMask[20];
    memset(small, 'x', sizeof small);
    glowGreetsPaths("saltmarshcartel", small, smallMask, 12);
    EXPECT_EQ(strlen(small), 11u);
    EXPECT_EQ(small[12], 'x');
}

// >> frames
static const float TEST_BPM = 12000.0f; // 200 beats a second: the 2 s song holds beats 0 to 400
static const int PIC_WIDTH = 160, PIC_HEIGHT = 96;
// The test mask: white over the middle fifth of each axis, black elsewhere.
static const float MASK_FROM = 0.4f, MASK_TO = 0.6f;

// The test picture of entry i: red tells the entry, green is 120 in the top quarter and 40 below
// (so a flipped picture shows, and the split is away from the mask), blue 30.
static uint8_t entryRed(int i) { return (uint8_t)(8 + 8 * i); }
static const uint8_t GREEN_BOTTOM = 40, GREEN_TOP = 120, BLUE = 30;

static Bytes encodeJpeg(int width, int height, const Bytes& rgbTopFirst)
{
    jpeg_compress_struct info;
    jpeg_error_mgr err;
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = (JDIMENSION)width;
    info.image_height = (JDIMENSION)height;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 98, TRUE);
    for (int c = 0; c < 3; c++) info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1; // no chroma blur
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = (JSAMPROW)&rgbTopFirst[(size_t)info.next_scanline * width * 3];
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    Bytes out(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    free(buffer);
    return out;
}

static void writeTestPictures()
{
    mkdir("data", 0755);
    mkdir("data/glowgreets", 0755);
    Bytes mask((size_t)PIC_WIDTH * PIC_HEIGHT * 3, 0);
    for (int y = 0; y < PIC_HEIGHT; y++) {
        for (int x = 0; x < PIC_WIDTH; x++) {
            float u = (x + 0.5f) / PIC_WIDTH, v = (y + 0.5f) / PIC_HEIGHT;
            if (u > MASK_FROM && u < MASK_TO && v > MASK_FROM && v < MASK_TO)
                memset(&mask[((size_t)y * PIC_WIDTH + x) * 3], 255, 3);
        }
    }
    Bytes maskJpeg = encodeJpeg(PIC_WIDTH, PIC_HEIGHT, mask);
    for (int i = 0; i < GLOW_GREETS_ENTRIES; i++) {
        Bytes picture((size_t)PIC_WIDTH * PIC_HEIGHT * 3);
        for (int y = 0; y < PIC_HEIGHT; y++) {
            for (int x = 0; x < PIC_WIDTH; x++) {
                uint8_t* p = &picture[((size_t)y * PIC_WIDTH + x) * 3];
                p[0] = entryRed(i);
                p[1] = y < PIC_HEIGHT / 4 ? GREEN_TOP : GREEN_BOTTOM; // the file's first row is the top
                p[2] = BLUE;
            }
        }
        char picturePath[128], maskPath[128];
        glowGreetsPaths(GLOW_GREETS_NAMES[i], picturePath, maskPath, sizeof picturePath);
        writeTestFile(picturePath, encodeJpeg(PIC_WIDTH, PIC_HEIGHT, picture));
        writeTestFile(maskPath, maskJpeg);
    }
}

class GlowGreetsFrames : public testing::Test {
protected:
    static ShaderSet* s_shaders; // built once: compiling every program is slow on a software driver
    static Fbo* s_fbo;
    Music* music = nullptr;
    GlowGreets* scene = nullptr;
    std::vector<Template*> scenes;
    KeyState keys;
    Bytes frame; // the last frame's Fbo picture
    bool changedFolder = false;

    void SetUp() override
    {
        REQUIRE_GL_WINDOW(WINDOW_WIDTH, WINDOW_HEIGHT);
        // A folder per test: CTest may run the tests of this program side by side in one folder,
        // and they write different pictures under the same names.
        const char* name = testing::UnitTest::GetInstance()->current_test_info()->name();
        mkdir(name, 0755);
        ASSERT_EQ(chdir(name), 0);
        changedFolder = true;
        copyFolder("data/common/shaders");
        writeTestPictures();
        music = startSong(TEST_BPM);
        if (!s_shaders) s_shaders = new ShaderSet();
        if (!s_fbo) s_fbo = new Fbo();
        s_fbo->resize(WINDOW_WIDTH, WINDOW_HEIGHT);
        memset(&keys, 0, sizeof keys);
        scene = new GlowGreets();
        scene->startTime = 248.0f;
        scene->endTime = 296.0f;
        scene->music = music;
        scene->shaders = s_shaders;
        scene->fbo = s_fbo;
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
        if (changedFolder) {
            EXPECT_EQ(chdir(".."), 0);
        }
    }
    // One frame as the driver draws it at scene time t (beats after 248); the clock runs forward
    // only, so frames go in rising order. Reads the Fbo back into `frame`.
    void frameAt(double t)
    {
        sceneframes::frameAt(music, scenes, 248.0 + t, &keys);
        frame = readFbo(s_fbo);
    }
    // Pixel at (u, v) of the unit square, v up.
    const uint8_t* at(float u, float v) const
    {
        int x = (int)(u * s_fbo->width), y = (int)(v * s_fbo->height);
        return &frame[((size_t)y * s_fbo->width + x) * 3];
    }
    // The picture of entry i alone at (u, v): red, green and blue.
    static void expectPicture(const uint8_t* p, int entry, float v, const char* where)
    {
        EXPECT_NEAR(p[0], entryRed(entry), 4) << where;
        EXPECT_NEAR(p[1], v > 0.75f ? GREEN_TOP : GREEN_BOTTOM, 4) << where;
        EXPECT_NEAR(p[2], BLUE, 4) << where;
    }
};
ShaderSet* GlowGreetsFrames::s_shaders = nullptr;
Fbo* GlowGreetsFrames::s_fbo = nullptr;

TEST_F(GlowGreetsFrames, LoadsNineteenPairsAndSetsItsSwitches)
{
    ASSERT_EQ(scene->pictures.size(), (size_t)GLOW_GREETS_ENTRIES);
    ASSERT_EQ(scene->masks.size(), (size_t)GLOW_GREETS_ENTRIES);
    ASSERT_EQ(scene->glowColors.size(), (size_t)GLOW_GREETS_ENTRIES);
    for (int i = 0; i < GLOW_GREETS_ENTRIES; i++) {
        EXPECT_NE(scene->pictures[i]->textureId, 0u);
        EXPECT_NE(scene->masks[i]->textureId, 0u);
        EXPECT_EQ(scene->pictures[i]->width, (unsigned)PIC_WIDTH);
        const GlowColor& c = scene->glowColors[i];
        EXPECT_TRUE(c.r == 1.0f && c.g == 1.0f && c.b == 1.0f && c.a == 1.0f);
    }
    EXPECT_EQ(scene->blur, s_shaders->blur);
    EXPECT_TRUE(scene->blend);
    EXPECT_FALSE(scene->lighting);
    EXPECT_FALSE(scene->depthTest);
}

TEST_F(GlowGreetsFrames, ResizeCoversTheWindowWithTheUnitSquare)
{
    scene->resize(1024, 768);
    EXPECT_EQ(scene->width, 1024);
    EXPECT_EQ(scene->height, 768);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 0);
    EXPECT_EQ(viewport[1], 0);
    EXPECT_EQ(viewport[2], 1024);
    EXPECT_EQ(viewport[3], 768);
    // The unit square's corners land on the corners of normalised device space.
    GLfloat projection[16], modelview[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    EXPECT_FLOAT_EQ(projection[0], 2.0f);
    EXPECT_FLOAT_EQ(projection[5], 2.0f);
    EXPECT_FLOAT_EQ(projection[12], -1.0f);
    EXPECT_FLOAT_EQ(projection[13], -1.0f);
    for (int i = 0; i < 16; i++) EXPECT_FLOAT_EQ(modelview[i], i % 5 == 0 ? 1.0f : 0.0f);
}

TEST_F(GlowGreetsFrames, PictureAloneWhileDarkThenTheGlowFollowsThePulse)
{
    // Beat 1 of the window: the group, no glow. The Fbo holds the picture alone, upright.
    frameAt(1.0);
    savePicture("glowgreets_t1.png", frame, s_fbo->width, s_fbo->height);
    expectPicture(at(0.5f, 0.5f), 0, 0.5f, "centre, t 1");
    expectPicture(at(0.1f, 0.9f), 0, 0.9f, "top left, t 1");
    expectPicture(at(0.9f, 0.1f), 0, 0.1f, "bottom right, t 1");
    // The draw hands back the window's framebuffer and viewport, no program and the plain texture
    // function (the halo is drawn doubled through the combiner, which the text grid must not meet).
    GLint binding = -1, viewport[4];
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &binding);
    EXPECT_EQ(binding, 0);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], WINDOW_WIDTH);
    EXPECT_EQ(viewport[3], WINDOW_HEIGHT);
    EXPECT_EQ(glGetHandleARB(GL_PROGRAM_OBJECT_ARB), 0u);
    GLint mode = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
    EXPECT_EQ(mode, GL_MODULATE);

    // Beat 7.25: the first person, a quarter pulse; 7.75 three quarters. Outside the halo the
    // picture is untouched; inside the mask and just beside it the glow is added, in proportion.
    frameAt(7.25);
    expectPicture(at(0.1f, 0.9f), 1, 0.9f, "top left, t 7.25");
    expectPicture(at(0.9f, 0.1f), 1, 0.1f, "bottom right, t 7.25");
    int centreQuarter = at(0.5f, 0.5f)[2] - BLUE;
    int haloQuarter = at(0.61f, 0.5f)[2] - BLUE; // just right of the mask
    EXPECT_GT(centreQuarter, 60);
    EXPECT_GT(haloQuarter, 5);
    EXPECT_LT(haloQuarter, centreQuarter);
    frameAt(7.75);
    savePicture("glowgreets_t7_75.png", frame, s_fbo->width, s_fbo->height);
    expectPicture(at(0.2f, 0.8f), 1, 0.8f, "top left, t 7.75");
    int centreThreeQuarters = at(0.5f, 0.5f)[2] - BLUE;
    int haloThreeQuarters = at(0.61f, 0.5f)[2] - BLUE;
    EXPECT_NEAR(haloThreeQuarters, 3 * haloQuarter, 4);
    EXPECT_TRUE(centreThreeQuarters >= 2 * centreQuarter || at(0.5f, 0.5f)[2] == 255);
    // The glow is the mask's colour (white) on every channel.
    EXPECT_GE(at(0.5f, 0.5f)[0], entryRed(1) + 100);

    // Beat 9.5: the second person, half a pulse. 11.5: the group again, dark.
    frameAt(9.5);
    expectPicture(at(0.1f, 0.1f), 2, 0.1f, "bottom left, t 9.5");
    EXPECT_GT(at(0.5f, 0.5f)[2], BLUE + 60);
    frameAt(11.5);
    expectPicture(at(0.5f, 0.5f), 0, 0.5f, "centre, t 11.5");
    expectPicture(at(0.61f, 0.5f), 0, 0.5f, "halo, t 11.5");
}

TEST_F(GlowGreetsFrames, TheListFromBeatSixteenAndTheLastBeat)
{
    // Each two-beat slot from 16: its own picture, dark in the first beat and glowing in the second.
    for (int entry = 3; entry < GLOW_GREETS_ENTRIES; entry++) {
        double slot = 16.0 + (entry - 3) * 2.0;
        frameAt(slot + 0.5);
        expectPicture(at(0.5f, 0.5f), entry, 0.5f, "dark beat");
        frameAt(slot + 1.9);
        expectPicture(at(0.1f, 0.9f), entry, 0.9f, "glowing beat, corner");
        EXPECT_GT(at(0.5f, 0.5f)[2], BLUE + 120) << entry;
    }
    savePicture("glowgreets_t47_9.png", frame, s_fbo->width, s_fbo->height);
    // The clock moves in steps of a sample (0.0045 beats here) and cannot be stopped on 48 itself:
    // a hair past it, with the window stretched to keep the scene drawn, the list has wrapped.
    scene->endTime = 297.0f;
    frameAt(48.004);
    expectPicture(at(0.5f, 0.5f), 0, 0.5f, "centre, just past t 48");
}

TEST_F(GlowGreetsFrames, TheHaloBuiltAStripAFrameIsTheHaloBlurredAtOnce)
{
    // The plain beat of slot 16: a strip a frame, so no frame pays for the whole blur.
    frameAt(16.05);
    EXPECT_EQ(scene->glowEntry, 3);
    EXPECT_EQ(scene->glowStrips, 1);
    for (int i = 1; i < GLOW_GREETS_HALO_STRIPS + 2; i++) frameAt(16.05 + 0.04 * i);
    EXPECT_EQ(scene->glowStrips, (int)GLOW_GREETS_HALO_STRIPS);
    Bytes inStrips = readFbo(scene->glow);
    // Forgotten, and due at once in the glowing beat: all strips in one frame, the same halo.
    scene->glowEntry = -1;
    frameAt(17.5);
    EXPECT_EQ(scene->glowEntry, 3);
    EXPECT_EQ(scene->glowStrips, (int)GLOW_GREETS_HALO_STRIPS);
    EXPECT_EQ(readFbo(scene->glow), inStrips);
}

TEST_F(GlowGreetsFrames, ShowPicturesGlowAroundTheirLettering)
{
    // The show's own pair for entry 0 and entry 3, loaded into the lists in place of the test ones.
    copyFolder("data/glowgreets");
    GlowGreets show;
    show.startTime = 248.0f;
    show.endTime = 296.0f;
    show.music = music;
    show.shaders = s_shaders;
    show.fbo = s_fbo;
    show.init();
    std::vector<Template*> list = {&show};
    scenes.swap(list);
    frameAt(16.5);
    Bytes dark = frame;
    frameAt(17.95);
    Bytes glowing = frame;
    scenes.swap(list);
    savePicture("glowgreets_show_dark.png", dark, s_fbo->width, s_fbo->height);
    savePicture("glowgreets_show_glow.png", glowing, s_fbo->width, s_fbo->height);
    // The glow only adds, and adds a fair amount somewhere (the lettering) but not everywhere.
    size_t brighter = 0, darker = 0, pixels = dark.size() / 3;
    for (size_t i = 0; i < pixels; i++) {
        int gain = 0;
        for (int c = 0; c < 3; c++) gain += (int)glowing[i * 3 + c] - (int)dark[i * 3 + c];
        if (gain > 60) brighter++;
        if (gain < -6) darker++;
    }
    EXPECT_EQ(darker, 0u);
    EXPECT_GT(brighter, pixels / 50) << "see glowgreets_show_glow.png";
    EXPECT_LT(brighter, pixels / 2) << "see glowgreets_show_glow.png";
    show.release();
}

// >> failures
TEST_F(GlowGreetsFrames, AMissingMaskIsFatalAtLoad)
{
    remove("data/glowgreets/velanix_mask.jpg");
    EXPECT_EXIT(
        {
            GlowGreets other;
            other.shaders = s_shaders;
            other.init();
        },
        testing::ExitedWithCode(1), "velanix_mask.jpg");
}

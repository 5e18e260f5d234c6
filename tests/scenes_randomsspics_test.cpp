// RandomSSPics: which picture each beat of the window shows (wrapping at the last instant), and
// frames drawn through the driver: eight test pictures in order, upright, over the whole shared
// framebuffer whatever was there before; the real pictures for looking at; a missing one is fatal.
#include "scenes/scene_randomsspics/scene_randomsspics.h"

#include "scene_frames.h"
#include <jpeglib.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>

using namespace sceneframes;

// >> picture index
TEST(RandomSSPicsIndex, FourBeatsEachInOrderThenWrap)
{
    EXPECT_EQ(slidePictureIndex(104.0f, 104.0f, 8), 0);
    EXPECT_EQ(slidePictureIndex(107.99f, 104.0f, 8), 0);
    EXPECT_EQ(slidePictureIndex(108.0f, 104.0f, 8), 1);
    EXPECT_EQ(slidePictureIndex(119.5f, 104.0f, 8), 3);
    EXPECT_EQ(slidePictureIndex(104.0f + 31.9f, 104.0f, 8), 7);
    EXPECT_EQ(slidePictureIndex(136.0f, 104.0f, 8), 0); // the window's last instant wraps to the first
    EXPECT_EQ(slidePictureIndex(140.5f, 104.0f, 8), 1);
    // Greetings' use: one picture, whatever the song position.
    EXPECT_EQ(slidePictureIndex(261.7f, 0.0f, 1), 0);
    EXPECT_EQ(slidePictureIndex(0.0f, 0.0f, 1), 0);
}

TEST(RandomSSPicsIndex, NeverOutsideTheList)
{
    // Before the start, a clock gone wrong, or no pictures: still a valid index.
    EXPECT_EQ(slidePictureIndex(103.5f, 104.0f, 8), 0);
    EXPECT_EQ(slidePictureIndex(-50.0f, 104.0f, 8), 0);
    EXPECT_EQ(slidePictureIndex(nanf(""), 104.0f, 8), 0);
    EXPECT_EQ(slidePictureIndex(120.0f, 104.0f, 0), 0);
    for (float beat = 104.0f; beat < 2000.0f; beat += 0.37f) {
        int n = slidePictureIndex(beat, 104.0f, 8);
        ASSERT_GE(n, 0);
        ASSERT_LT(n, 8);
    }
    EXPECT_LT(slidePictureIndex(1e9f, 104.0f, 8), 8);
}

// >> frames
// Test picture i: top half its own colour, bottom half black, so order and orientation show.
static const uint8_t PICTURE_COLOURS[RANDOM_SS_PICTURES][3] = {
    {200, 0, 0}, {0, 200, 0}, {0, 0, 200}, {200, 200, 0}, {0, 200, 200}, {200, 0, 200}, {200, 200, 200}, {120, 60, 0},
};

static Bytes encodeJpeg(int width, int height, const uint8_t* top)
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
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row((size_t)width * 3);
    while (info.next_scanline < info.image_height) {
        bool upper = (int)info.next_scanline < height / 2;
        for (int x = 0; x < width; x++)
            for (int c = 0; c < 3; c++) row[x * 3 + c] = upper ? top[c] : 0;
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    Bytes out(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    free(buffer);
    return out;
}

static void writeTestPictures()
{
    makeFolders("data/randomsspics");
    for (int i = 0; i < RANDOM_SS_PICTURES; i++) {
        char path[64];
        snprintf(path, sizeof path, "data/randomsspics/pic%02d.jpg", i + 1);
        writeTestFile(path, encodeJpeg(64, 32, PICTURE_COLOURS[i]));
    }
}

static bool near(const uint8_t* got, const uint8_t* want, int tolerance)
{
    for (int c = 0; c < 3; c++)
        if (abs((int)got[c] - (int)want[c]) > tolerance) return false;
    return true;
}

class RandomSSPicsFrames : public testing::Test {
protected:
    static Fbo* s_fbo; // one per process, as in the show
    Music* music = nullptr;
    RandomSSPics* scene = nullptr;
    std::vector<Template*> scenes;

    void SetUp() override
    {
        REQUIRE_GL_WINDOW(WINDOW_WIDTH, WINDOW_HEIGHT);
        if (!s_fbo) s_fbo = new Fbo();
        s_fbo->resize(WINDOW_WIDTH, WINDOW_HEIGHT);
        music = startSong();
    }
    void makeScene()
    {
        scene = new RandomSSPics();
        scene->startTime = 104.0f;
        scene->endTime = 136.0f;
        scene->music = music;
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
    }
};
Fbo* RandomSSPicsFrames::s_fbo = nullptr;

TEST_F(RandomSSPicsFrames, EightPicturesInOrderUprightOverTheWholeFramebuffer)
{
    writeTestPictures();
    makeScene();
    EXPECT_FALSE(scene->lighting);
    EXPECT_TRUE(scene->texture2D);
    EXPECT_FALSE(scene->blend);
    ASSERT_EQ(scene->pictures.size(), (size_t)RANDOM_SS_PICTURES);
    const uint8_t black[3] = {0, 0, 0};
    const int w = s_fbo->width, h = s_fbo->height;
    for (int i = 0; i < RANDOM_SS_PICTURES; i++) {
        fillFbo(s_fbo, 1.0f, 1.0f, 1.0f); // an earlier picture that must vanish
        frameAt(music, scenes, 104.0 + 4 * i + 2.0);
        Bytes fbo = readFbo(s_fbo);
        if (i == 0) savePicture("randomsspics_test_pic1.png", fbo, w, h);
        // Top half: the picture's colour from edge to edge; bottom half black.
        const int xs[] = {1, w / 2, w - 2};
        for (int x : xs) {
            EXPECT_TRUE(near(pixel(fbo, w, x, h - 2), PICTURE_COLOURS[i], 12)) << "picture " << i + 1 << " x " << x;
            EXPECT_TRUE(near(pixel(fbo, w, x, h * 3 / 4), PICTURE_COLOURS[i], 12)) << "picture " << i + 1;
            EXPECT_TRUE(near(pixel(fbo, w, x, h / 4), black, 12)) << "picture " << i + 1;
            EXPECT_TRUE(near(pixel(fbo, w, x, 1), black, 12)) << "picture " << i + 1;
        }
    }
    // The window's last quarter of a beat still shows picture 8.
    frameAt(music, scenes, 135.9);
    EXPECT_TRUE(near(pixel(readFbo(s_fbo), w, w / 2, h * 3 / 4), PICTURE_COLOURS[7], 12));
    // It leaves the default framebuffer bound and the viewport as resize set it.
    GLint bound = -1, viewport[4];
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &bound);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(bound, 0);
    EXPECT_EQ(viewport[2], WINDOW_WIDTH);
    EXPECT_EQ(viewport[3], WINDOW_HEIGHT);
}

TEST_F(RandomSSPicsFrames, RealPicturesLookLikePictures)
{
    for (int i = 1; i <= RANDOM_SS_PICTURES; i++) {
        char path[64];
        snprintf(path, sizeof path, "data/randomsspics/pic%02d.jpg", i);
        copyAsset(path);
    }
    makeScene();
    const double beats[] = {104.5, 116.5, 128.5};
    for (double beat : beats) {
        frameAt(music, scenes, beat);
        Bytes fbo = readFbo(s_fbo);
        char name[64];
        snprintf(name, sizeof name, "randomsspics_beat%d.png", (int)beat);
        savePicture(name, fbo, s_fbo->width, s_fbo->height);
        EXPECT_GT(colourVariety(fbo), 200) << name; // a photograph-like picture, not one flat colour
    }
}

TEST_F(RandomSSPicsFrames, MissingPictureIsFatal)
{
    writeTestPictures();
    remove("data/randomsspics/pic05.jpg");
    EXPECT_EXIT(makeScene(), testing::ExitedWithCode(1), "Failed to load image data/randomsspics/pic05\\.jpg");
}

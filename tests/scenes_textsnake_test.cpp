// TextSnake: the game rules on a grid-only text engine (start, eating and growth, the viewer's
// keys, walls and self collisions, the seeking player, food placement, scores, mode keys), the
// frame timing on virtual millisecond ticks (snake and stars, across the tick's wrap), and one
// frame drawn into the shared framebuffer with the real font chart and interface art.
#include "scenes/scene_textsnake/scene_textsnake.h"

#include "platform/platform.h"
#include "util/asciiengine/asciiengine.h"
#include "util/data/data.h"
#include "util/fbo/fbo.h"
#include "test_support.h"
#include "texture_images.h" // testimg::makePng
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <sys/stat.h>

struct Cell {
    int x, y;
};

static void copyDataFile(const char* name)
{
    std::string path = name;
    for (size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(), 0755);
    writeTestFile(name, readTestFile(sourcePath(name)));
}

class SnakeGame : public testing::Test {
protected:
    AsciiEngine engine{AsciiEngine::GRID_ONLY};
    TextSnake* snake = nullptr;
    KeyState keys;

    void SetUp() override
    {
        copyDataFile(TEXT_SNAKE_INTERFACE);
        accessMode = ACCESS_LOOSE;
        textSnakeResetState();
        memset(&keys, 0, sizeof keys);
        srand(12345);
        snake = new TextSnake();
        snake->ascii = &engine;
        snake->keys = &keys;
        snake->init();
    }
    void TearDown() override { delete snake; }

    void setBody(std::initializer_list<Cell> cells, int direction)
    {
        snake->length = 0;
        for (Cell c : cells) snake->body[snake->length++] = SnakeCell{(int16_t)c.x, (int16_t)c.y};
        snake->direction = direction;
    }
    void setFood(int x, int y)
    {
        snake->foodX = (int16_t)x;
        snake->foodY = (int16_t)y;
    }
    Cell head() const { return Cell{snake->body[0].x, snake->body[0].y}; }
    bool onBody(int x, int y) const
    {
        for (int i = 0; i < snake->length; i++)
            if (snake->body[i].x == x && snake->body[i].y == y) return true;
        return false;
    }
    // A frame whose tick equals the last step's, so the game does not move.
    void frameWithoutStep() { snake->update((uint32_t)snake->lastStepTick); }

    int at(int x, int y) const { return y * GRID_COLUMNS + x; }
    void expectCell(int x, int y, int code, int foreground, int background) const
    {
        EXPECT_EQ(engine.chars[at(x, y)], code) << x << "," << y;
        EXPECT_EQ(engine.foreground[at(x, y)], foreground) << x << "," << y;
        EXPECT_EQ(engine.background[at(x, y)], background) << x << "," << y;
    }
    // White on dark green text; each space must have left the panel's art block in place.
    void expectText(int x, int y, const char* text) const
    {
        for (int i = 0; text[i]; i++) {
            if (text[i] == ' ') expectCell(x + i, y, 219, 2, 0);
            else expectCell(x + i, y, (uint8_t)text[i], 15, 2);
        }
    }
    void expectStartPosition()
    {
        ASSERT_EQ(snake->length, 5);
        for (int i = 0; i < 5; i++) {
            EXPECT_EQ(snake->body[i].x, 24);
            EXPECT_EQ(snake->body[i].y, 24 + i);
        }
        EXPECT_EQ(snake->direction, SNAKE_UP);
        EXPECT_EQ(snake->score, 0);
    }
};

// >> start and panel
TEST_F(SnakeGame, StartsInTheMiddleHeadingUpAndThePanelShowsZeroScores)
{
    expectStartPosition();
    EXPECT_EQ(snake->minX, 1);
    EXPECT_EQ(snake->minY, 1);
    EXPECT_EQ(snake->maxX, 48);
    EXPECT_EQ(snake->maxY, 48);
    EXPECT_EQ(snake->highScore, 0);
    EXPECT_EQ(snake->lastScore, 0);
    EXPECT_EQ(textSnakeState().playerMode, SNAKE_SEEKING_PLAYER);
    EXPECT_FALSE(onBody(snake->foodX, snake->foodY));
    for (int i = 0; i < STAR_COUNT; i++) {
        EXPECT_EQ(snake->stars->starX[i], 0);
        EXPECT_GE(snake->stars->starY[i], 0);
        EXPECT_LT(snake->stars->starY[i], 50);
        EXPECT_GE(snake->stars->starSpeed[i], 1);
        EXPECT_LE(snake->stars->starSpeed[i], 6);
    }

    frameWithoutStep();
    expectText(61, 3, "SIZE:");
    expectText(67, 3, "5");
    expectText(60, 4, "SCORE:");
    expectText(67, 4, "0");
    expectText(55, 6, "LAST SCORE:");
    expectText(67, 6, "0");
    expectText(55, 7, "HIGH SCORE:");
    expectText(67, 7, "0");
    // The menu: its spaces leave the interface art (dark green blocks) as it was.
    expectText(53, 24, "  1 - AI snake");
    expectText(53, 25, "  2 - Play snake");
    expectText(53, 26, "ESC - Quit");
    expectCell(53, 24, 219, 2, 0);
    expectCell(56, 26, 219, 2, 0);
    // The frame around the field: light cyan blocks, yellow at every sixth.
    expectCell(0, 0, 219, 11, 0);
    expectCell(49, 30, 219, 1, 0);
    expectCell(49, 33, 219, 9, 0);
    expectCell(3, 0, 219, 15, 0);
}

TEST_F(SnakeGame, FoodBodyAndHeadCellsWithTheHeadOverTheFood)
{
    setBody({{10, 10}, {10, 11}, {11, 11}, {11, 11}}, SNAKE_UP);
    setFood(30, 30);
    frameWithoutStep();
    expectCell(30, 30, 3, 12, 0);
    expectCell(10, 10, 2, 14, 0);
    expectCell(10, 11, 254, 2, 10);
    expectCell(11, 11, 254, 2, 10);
    expectCell(12, 11, 0, 0, 0);
    setFood(10, 10);
    frameWithoutStep();
    expectCell(10, 10, 2, 14, 0);
}

// >> eating
TEST_F(SnakeGame, EatingScoresLengthPlusTenAndGrowsByFiveOverTheNextSteps)
{
    setFood(24, 24); // under the head
    snake->step(SNAKE_SEEKING_PLAYER);
    EXPECT_EQ(snake->score, 15);
    EXPECT_EQ(snake->length, 10);
    // The five copies of the old tail stay put while the snake moves on.
    for (int i = 5; i < 10; i++) {
        EXPECT_EQ(snake->body[i].x, 24);
        EXPECT_EQ(snake->body[i].y, 28);
    }
    EXPECT_FALSE(onBody(snake->foodX, snake->foodY));
    // The next food, eaten at length 10, adds 20.
    setFood(head().x, head().y);
    snake->step(SNAKE_SEEKING_PLAYER);
    EXPECT_EQ(snake->score, 35);
    EXPECT_EQ(snake->length, 15);

    frameWithoutStep();
    expectText(67, 3, "15");
    expectText(67, 4, "35");
}

TEST_F(SnakeGame, GrowthStopsAtTheBodyTable)
{
    snake->length = SNAKE_BODY_CAPACITY - 2;
    for (int i = 1; i < snake->length; i++) snake->body[i] = SnakeCell{40, 40};
    snake->body[0] = SnakeCell{20, 20};
    setFood(20, 20);
    snake->step(SNAKE_SEEKING_PLAYER);
    EXPECT_EQ(snake->length, SNAKE_BODY_CAPACITY);
    EXPECT_EQ(snake->score, SNAKE_BODY_CAPACITY - 2 + 10);
    snake->foodX = snake->body[0].x;
    snake->foodY = snake->body[0].y;
    snake->step(SNAKE_SEEKING_PLAYER);
    EXPECT_EQ(snake->length, SNAKE_BODY_CAPACITY);
}

// >> the viewer
TEST(SnakeViewerKeys, LaterKeysWinAndNoKeyTurnsBack)
{
    KeyState keys;
    memset(&keys, 0, sizeof keys);
    EXPECT_EQ(snakeViewerDirection(SNAKE_UP, nullptr), SNAKE_UP);
    EXPECT_EQ(snakeViewerDirection(SNAKE_LEFT, &keys), SNAKE_LEFT);
    keys.down[KEY_UP] = keys.down[KEY_LEFT] = 1;
    EXPECT_EQ(snakeViewerDirection(SNAKE_RIGHT, &keys), SNAKE_UP); // left refused while heading right
    EXPECT_EQ(snakeViewerDirection(SNAKE_DOWN, &keys), SNAKE_LEFT);
    memset(&keys, 0, sizeof keys);
    keys.down[KEY_DOWN] = 1;
    EXPECT_EQ(snakeViewerDirection(SNAKE_UP, &keys), SNAKE_UP);
    EXPECT_EQ(snakeViewerDirection(SNAKE_LEFT, &keys), SNAKE_DOWN);
    keys.down[KEY_UP] = 1;
    EXPECT_EQ(snakeViewerDirection(SNAKE_LEFT, &keys), SNAKE_DOWN); // down beats up
    keys.down[KEY_RIGHT] = keys.down[KEY_LEFT] = 1;
    EXPECT_EQ(snakeViewerDirection(SNAKE_UP, &keys), SNAKE_LEFT);   // all four: left
    EXPECT_EQ(snakeViewerDirection(SNAKE_RIGHT, &keys), SNAKE_DOWN); // left refused, then down
    memset(&keys, 0, sizeof keys);
    keys.down[KEY_RIGHT] = 1;
    EXPECT_EQ(snakeViewerDirection(SNAKE_LEFT, &keys), SNAKE_LEFT);
    keys.down[KEY_RIGHT] = 2; // only a 1 counts as held
    EXPECT_EQ(snakeViewerDirection(SNAKE_UP, &keys), SNAKE_UP);
}

TEST_F(SnakeGame, ViewerHoldingUpAndLeftWhileHeadingRightTurnsUp)
{
    setBody({{20, 20}, {19, 20}, {18, 20}}, SNAKE_RIGHT);
    keys.down[KEY_UP] = keys.down[KEY_LEFT] = 1;
    snake->step(SNAKE_VIEWER);
    EXPECT_EQ(snake->direction, SNAKE_UP);
    EXPECT_EQ(head().x, 20);
    EXPECT_EQ(head().y, 19);
    EXPECT_EQ(snake->body[1].x, 20);
    EXPECT_EQ(snake->body[2].x, 19);
}

TEST_F(SnakeGame, ViewerGoingStraightIntoAWallStartsOverAndKeepsTheScores)
{
    setBody({{45, 10}, {44, 10}, {43, 10}}, SNAKE_RIGHT);
    setFood(5, 5);
    snake->score = 40;
    for (int i = 0; i < 3; i++) snake->step(SNAKE_VIEWER);
    EXPECT_EQ(head().x, 48); // the last column is inside
    snake->step(SNAKE_VIEWER); // x = 49 is outside
    expectStartPosition();
    EXPECT_EQ(snake->lastScore, 40);
    EXPECT_EQ(snake->highScore, 40);

    // A lower score becomes the last score only; the left wall at x = 0 ends the game too.
    setBody({{2, 30}, {3, 30}}, SNAKE_LEFT);
    snake->score = 12;
    snake->step(SNAKE_VIEWER);
    EXPECT_EQ(head().x, 1);
    snake->step(SNAKE_VIEWER);
    expectStartPosition();
    EXPECT_EQ(snake->lastScore, 12);
    EXPECT_EQ(snake->highScore, 40);

    // Top and bottom walls.
    setBody({{30, 1}, {30, 2}}, SNAKE_UP);
    snake->score = 41;
    snake->step(SNAKE_VIEWER);
    expectStartPosition();
    EXPECT_EQ(snake->highScore, 41);
    setBody({{30, 48}, {30, 47}}, SNAKE_DOWN);
    snake->step(SNAKE_VIEWER);
    expectStartPosition();
    EXPECT_EQ(snake->lastScore, 0);
    EXPECT_EQ(snake->highScore, 41);

    frameWithoutStep();
    expectText(67, 6, "0");
    expectText(67, 7, "41");
}

TEST_F(SnakeGame, TheTailCountsAndRunningIntoTheBodyStartsOver)
{
    // A square: the cell below the head is the tail, which would move away, but still counts.
    setBody({{5, 5}, {6, 5}, {6, 6}, {5, 6}}, SNAKE_LEFT);
    EXPECT_FALSE(snake->isSafe(SNAKE_DOWN));
    EXPECT_FALSE(snake->isSafe(SNAKE_RIGHT));
    EXPECT_TRUE(snake->isSafe(SNAKE_UP));
    EXPECT_TRUE(snake->isSafe(SNAKE_LEFT));
    snake->score = 7;
    keys.down[KEY_DOWN] = 1;
    snake->step(SNAKE_VIEWER);
    expectStartPosition();
    EXPECT_EQ(snake->lastScore, 7);

    // Walls are inclusive at 1 and 48.
    setBody({{1, 1}}, SNAKE_UP);
    EXPECT_FALSE(snake->isSafe(SNAKE_UP));
    EXPECT_FALSE(snake->isSafe(SNAKE_LEFT));
    EXPECT_TRUE(snake->isSafe(SNAKE_RIGHT));
    setBody({{47, 48}}, SNAKE_UP);
    EXPECT_TRUE(snake->isSafe(SNAKE_RIGHT));
    EXPECT_FALSE(snake->isSafe(SNAKE_DOWN));
}

// >> the seeking player
TEST_F(SnakeGame, SeekingPlayerPrefersColumnsThenRowsThenChance)
{
    int d = -1;
    setBody({{24, 24}, {24, 25}, {24, 26}}, SNAKE_UP);
    setFood(30, 40);
    ASSERT_TRUE(snake->chooseDirection(&d));
    EXPECT_EQ(d, SNAKE_RIGHT); // columns first
    setFood(10, 10);
    ASSERT_TRUE(snake->chooseDirection(&d));
    EXPECT_EQ(d, SNAKE_LEFT);
    setFood(24, 10);
    ASSERT_TRUE(snake->chooseDirection(&d));
    EXPECT_EQ(d, SNAKE_UP);
    // The food straight below, behind the snake's own body: a random safe move.
    setFood(24, 40);
    for (int i = 0; i < 50; i++) {
        ASSERT_TRUE(snake->chooseDirection(&d));
        EXPECT_NE(d, SNAKE_DOWN);
    }
    // Right toward the food is blocked by the body: the next rule (down) applies.
    setBody({{24, 24}, {24, 23}, {25, 23}, {25, 24}, {25, 25}}, SNAKE_DOWN);
    setFood(30, 30);
    ASSERT_TRUE(snake->chooseDirection(&d));
    EXPECT_EQ(d, SNAKE_DOWN);
    snake->step(SNAKE_SEEKING_PLAYER);
    EXPECT_EQ(head().x, 24);
    EXPECT_EQ(head().y, 25);
}

TEST_F(SnakeGame, TrappedSeekingPlayerStartsOver)
{
    setBody({{1, 1}, {2, 1}, {2, 2}, {1, 2}}, SNAKE_UP);
    setFood(30, 30);
    int d = -1;
    EXPECT_FALSE(snake->chooseDirection(&d));
    snake->score = 99;
    snake->step(SNAKE_SEEKING_PLAYER);
    expectStartPosition();
    EXPECT_EQ(snake->lastScore, 99);
    EXPECT_EQ(snake->highScore, 99);
}

TEST_F(SnakeGame, SeekingPlayerPlaysLongGamesInsideTheField)
{
    // Many steps of the seeking player: it eats, grows, crashes and starts over, never leaving
    // the field and never reading past its body.
    int eaten = 0, restarts = 0;
    for (int i = 0; i < 20000; i++) {
        int before = snake->score;
        snake->step(SNAKE_SEEKING_PLAYER);
        if (snake->score > before) eaten++;
        if (snake->score < before) restarts++;
        ASSERT_GE(head().x, 1);
        ASSERT_LE(head().x, 48);
        ASSERT_GE(head().y, 1);
        ASSERT_LE(head().y, 48);
        ASSERT_LE(snake->length, SNAKE_BODY_CAPACITY);
        ASSERT_LT(snake->foodX, 48);
        ASSERT_LT(snake->foodY, 48);
    }
    EXPECT_GT(eaten, 10);
    EXPECT_GE(snake->highScore, snake->lastScore);
    (void)restarts;
}

// >> food
TEST_F(SnakeGame, FoodIsNeverInTheLastColumnOrRowNorOnTheSnake)
{
    int seenX[49] = {0}, seenY[49] = {0};
    for (int i = 0; i < 20000; i++) {
        ASSERT_TRUE(snake->placeFood());
        ASSERT_GE(snake->foodX, 1);
        ASSERT_LE(snake->foodX, 47);
        ASSERT_GE(snake->foodY, 1);
        ASSERT_LE(snake->foodY, 47);
        ASSERT_FALSE(onBody(snake->foodX, snake->foodY));
        seenX[snake->foodX]++;
        seenY[snake->foodY]++;
    }
    for (int v = 1; v <= 47; v++) {
        EXPECT_GT(seenX[v], 0) << v;
        EXPECT_GT(seenY[v], 0) << v;
    }
}

TEST_F(SnakeGame, AFullFieldEndsTheGameInsteadOfSearchingForever)
{
    // The body covers every food cell but one.
    snake->length = 0;
    for (int y = 1; y <= 47; y++)
        for (int x = 1; x <= 47; x++)
            if (!(x == 40 && y == 7)) snake->body[snake->length++] = SnakeCell{(int16_t)x, (int16_t)y};
    ASSERT_TRUE(snake->placeFood());
    EXPECT_EQ(snake->foodX, 40);
    EXPECT_EQ(snake->foodY, 7);
    // Now none is free: eating must not hang.
    snake->body[snake->length++] = SnakeCell{40, 7};
    EXPECT_FALSE(snake->placeFood());
    snake->score = 3;
    setFood(snake->body[0].x, snake->body[0].y);
    snake->step(SNAKE_SEEKING_PLAYER);
    expectStartPosition();
    EXPECT_EQ(snake->lastScore, 3 + 2209 + 10);
}

// >> timing on virtual ticks
class SnakeTiming : public SnakeGame {
protected:
    uint64_t nowMs = 1000;
    void SetUp() override
    {
        SnakeGame::SetUp();
        platformUseVirtualTime(true);
        platformSetVirtualNanoseconds(nowMs * 1000000u);
    }
    void TearDown() override
    {
        platformUseVirtualTime(false);
        SnakeGame::TearDown();
    }
    // One frame `ms` milliseconds after the last; true when the snake stepped.
    bool frame(int ms)
    {
        nowMs += ms;
        platformSetVirtualNanoseconds(nowMs * 1000000u);
        Cell before = head();
        int lengthBefore = snake->length;
        snake->update(platformTickMs());
        Cell after = head();
        return before.x != after.x || before.y != after.y || snake->length != lengthBefore;
    }
    // The frames (1-based) in which the snake stepped, out of `count`, one tick apart.
    std::vector<int> stepFrames(int count)
    {
        std::vector<int> frames;
        for (int i = 1; i <= count; i++)
            if (frame(1)) frames.push_back(i);
        return frames;
    }
};

TEST_F(SnakeTiming, SeekingPlayerStepsOncePerFrameWhenTheTickMoved)
{
    setFood(40, 5);
    EXPECT_TRUE(frame(0)); // the tick differs from the start value 0
    EXPECT_EQ(snake->lastStepTick, 1000);
    EXPECT_FALSE(frame(0));
    Cell before = head();
    EXPECT_TRUE(frame(250)); // a long frame is still one step
    EXPECT_EQ(abs(head().x - before.x) + abs(head().y - before.y), 1);
    EXPECT_EQ(stepFrames(5).size(), 5u);
}

TEST_F(SnakeTiming, ModeKeysSwitchWithoutRestartingAndTwoWins)
{
    setFood(40, 5);
    frame(1);
    keys.down[KEY_CHAR_1 + 1] = 1; // key 2
    snake->score = 5;
    frame(1);
    EXPECT_EQ(textSnakeState().playerMode, SNAKE_VIEWER);
    keys.down[KEY_CHAR_1 + 1] = 0;
    frame(1);
    EXPECT_EQ(textSnakeState().playerMode, SNAKE_VIEWER); // lasts after the release
    keys.down[KEY_CHAR_1] = 1;
    frame(1);
    EXPECT_EQ(textSnakeState().playerMode, SNAKE_SEEKING_PLAYER);
    keys.down[KEY_CHAR_1 + 1] = 1;
    frame(1);
    EXPECT_EQ(textSnakeState().playerMode, SNAKE_VIEWER); // both held: 2
    EXPECT_EQ(snake->score, 5); // the game went on
    // The digit entries of the other half of the table do not switch.
    keys.down[KEY_CHAR_1] = keys.down[KEY_CHAR_1 + 1] = 0;
    keys.down[KEY_DIGIT_1] = 1;
    frame(1);
    EXPECT_EQ(textSnakeState().playerMode, SNAKE_VIEWER);
}

TEST_F(SnakeTiming, ViewerSnakeStepsEverySixthFrameAndFasterWhenLong)
{
    keys.down[KEY_CHAR_1 + 1] = 1;
    // Heading up from row 40 with a body that stays behind: room for 39 steps.
    setBody({{24, 40}, {24, 41}, {24, 42}, {24, 43}, {24, 44}}, SNAKE_UP);
    setFood(40, 5);
    std::vector<int> frames = stepFrames(60);
    ASSERT_GE(frames.size(), 9u);
    for (size_t i = 1; i < frames.size(); i++) EXPECT_EQ(frames[i] - frames[i - 1], 6);

    // Length 50 (the copies of a tail still to unfold): every 5th frame.
    setBody({{24, 40}}, SNAKE_UP);
    snake->length = 50;
    for (int i = 1; i < 50; i++) snake->body[i] = SnakeCell{30, 45};
    frames = stepFrames(40);
    ASSERT_GE(frames.size(), 6u);
    for (size_t i = 1; i < frames.size(); i++) EXPECT_EQ(frames[i] - frames[i - 1], 5);

    // Length 300: every frame.
    setBody({{24, 40}}, SNAKE_UP);
    snake->length = 300;
    for (int i = 1; i < 300; i++) snake->body[i] = SnakeCell{30, 45};
    frames = stepFrames(10);
    EXPECT_GE(frames.size(), 9u);
    for (size_t i = 1; i < frames.size(); i++) EXPECT_EQ(frames[i] - frames[i - 1], 1);

    // A frame whose countdown ran out but whose tick did not move: no step, and the wait starts over.
    setBody({{24, 40}, {24, 41}}, SNAKE_UP);
    snake->stepCountdown = 0;
    EXPECT_FALSE(frame(0));
    EXPECT_EQ(snake->stepCountdown, 5);
}

TEST_F(SnakeTiming, SnakeAndStarsKeepGoingAcrossTheTicksWrap)
{
    // Past 2^31 ms a signed reading of the tick would be negative and the game would stand still.
    EXPECT_TRUE(snakeTickAdvanced(0x80000005u, 0));
    EXPECT_TRUE(snakeTickAdvanced(3u, (int32_t)0xFFFFFFFEu));
    EXPECT_FALSE(snakeTickAdvanced(0x90000000u, (int32_t)0x90000000u));
    setFood(40, 5);
    nowMs = 0xFFFFFFF0u;
    platformSetVirtualNanoseconds(nowMs * 1000000u);
    textSnakeResetState();
    snake->update(platformTickMs()); // sets the star timer
    for (int i = 0; i < 8; i++) {
        snake->stars->starX[0] = 0;
        EXPECT_TRUE(frame(17)) << i;
        EXPECT_EQ(snake->stars->starX[0], snake->stars->starSpeed[0]) << i;
    }
    EXPECT_LT(textSnakeState().nextStarTick, 0x100u); // wrapped
}

TEST_F(SnakeTiming, StarsMoveIn16MsStepsAtMostOncePerFrame)
{
    setFood(40, 5);
    Starfield* stars = snake->stars;
    for (int i = 0; i < STAR_COUNT; i++) stars->starX[i] = 0, stars->starY[i] = 20, stars->starSpeed[i] = 1;
    stars->starY[0] = 10, stars->starSpeed[0] = 3;
    stars->starY[1] = 12, stars->starSpeed[1] = 4;
    frame(0);
    EXPECT_TRUE(textSnakeState().starTickSet);
    EXPECT_EQ(textSnakeState().nextStarTick, 1000u);
    EXPECT_EQ(stars->starX[0], 0); // not yet: the step is due only once the tick passes it
    frame(1);
    EXPECT_EQ(stars->starX[0], 3);
    EXPECT_EQ(textSnakeState().nextStarTick, 1016u);
    frame(10); // 1011: not due
    EXPECT_EQ(stars->starX[0], 3);
    // After a long frame the stars catch up by one step per frame.
    frame(100); // 1111
    EXPECT_EQ(stars->starX[0], 6);
    frame(0);
    frame(0);
    EXPECT_EQ(stars->starX[0], 12);
    EXPECT_EQ(textSnakeState().nextStarTick, 1064u);
    // Drawn as full stops: grey when slow, white when fast.
    expectCell(12, 10, '.', 8, 0);
    expectCell(16, 12, '.', 15, 0);

    // A star past column 79 starts again at column 0.
    stars->starX[2] = 73, stars->starSpeed[2] = 6;
    stars->starX[3] = 74, stars->starSpeed[3] = 6;
    frame(0);
    EXPECT_EQ(stars->starX[2], 79);
    EXPECT_EQ(stars->starX[3], 0);
    EXPECT_GE(stars->starSpeed[3], 1);
    EXPECT_LE(stars->starSpeed[3], 6);
    // Stars go behind the panel.
    stars->starX[4] = 60, stars->starY[4] = 3, stars->starSpeed[4] = 1;
    textSnakeResetState();
    frame(0);
    expectCell(60, 3, 219, 2, 0);
}

// >> a drawn frame
static const int WINDOW_WIDTH = 800, WINDOW_HEIGHT = 500; // 10 x 10 pixels a cell

// How many of a cell's 10 x 10 pixels (RGBA rows, bottom row first) are close to (r, g, b).
static int cellPixelsNear(const std::vector<uint8_t>& pixels, int cx, int cy, int r, int g, int b)
{
    int count = 0;
    for (int py = 0; py < 10; py++) {
        for (int px = 0; px < 10; px++) {
            int x = cx * 10 + px, y = WINDOW_HEIGHT - 1 - (cy * 10 + py);
            const uint8_t* p = &pixels[(y * WINDOW_WIDTH + x) * 4];
            if (abs(p[0] - r) < 40 && abs(p[1] - g) < 40 && abs(p[2] - b) < 40) count++;
        }
    }
    return count;
}

TEST(SnakeFrame, DrawsTheGridIntoTheSharedFramebuffer)
{
    REQUIRE_GL_WINDOW(WINDOW_WIDTH, WINDOW_HEIGHT);
    copyDataFile(TEXT_SNAKE_INTERFACE);
    copyDataFile("data/common/images/asciichart.png");
    accessMode = ACCESS_LOOSE;
    textSnakeResetState();
    srand(7);
    AsciiEngine* engine = new AsciiEngine();
    engine->windowWidth = WINDOW_WIDTH;
    engine->windowHeight = WINDOW_HEIGHT;
    Fbo* fbo = new Fbo();
    fbo->resize(WINDOW_WIDTH, WINDOW_HEIGHT);
    KeyState keys;
    memset(&keys, 0, sizeof keys);
    TextSnake* snake = new TextSnake();
    snake->fbo = fbo;
    snake->ascii = engine;
    snake->init();
    snake->keys = &keys;
    // A known snake, food and scores; the tick stands still, so the frame does not step.
    const SnakeCell cells[] = {{12, 40}, {13, 40}, {14, 40}, {14, 41}, {15, 41}, {16, 41}, {17, 41}};
    snake->length = 7;
    memcpy(snake->body, cells, sizeof cells);
    snake->foodX = 10, snake->foodY = 40;
    snake->score = 123, snake->lastScore = 45, snake->highScore = 678;
    platformUseVirtualTime(true);
    platformSetVirtualNanoseconds(5000000000u);
    snake->lastStepTick = (int32_t)platformTickMs();

    GLint stackBefore = 0;
    glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &stackBefore);
    snake->applyState();
    snake->resize(WINDOW_WIDTH, WINDOW_HEIGHT);
    snake->draw();
    GLint bound = -1, stackAfter = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &bound);
    glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &stackAfter);
    EXPECT_EQ(bound, 0);
    EXPECT_EQ(stackAfter, stackBefore);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);

    std::vector<uint8_t> pixels((size_t)WINDOW_WIDTH * WINDOW_HEIGHT * 4);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fbo->framebufferId);
    glReadPixels(0, 0, WINDOW_WIDTH, WINDOW_HEIGHT, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);

    // For looking at: top row first.
    std::vector<uint8_t> rgb((size_t)WINDOW_WIDTH * WINDOW_HEIGHT * 3);
    for (int y = 0; y < WINDOW_HEIGHT; y++)
        for (int x = 0; x < WINDOW_WIDTH; x++)
            for (int c = 0; c < 3; c++)
                rgb[(y * WINDOW_WIDTH + x) * 3 + c] = pixels[((WINDOW_HEIGHT - 1 - y) * WINDOW_WIDTH + x) * 4 + c];
    testimg::PngSpec spec;
    spec.width = WINDOW_WIDTH;
    spec.height = WINDOW_HEIGHT;
    spec.colorType = 2;
    spec.mode = testimg::FIXED;
    writeTestFile("textsnake_frame.png", testimg::makePng(spec, rgb));

    // The frame's blocks fill their cells: light cyan top-left, yellow at column 3.
    EXPECT_GE(cellPixelsNear(pixels, 0, 0, 0, 255, 255), 90);
    EXPECT_GE(cellPixelsNear(pixels, 3, 0, 255, 255, 255), 90);
    // The panel box: dark green blocks, and the white letters of "SIZE:" on dark green.
    EXPECT_GE(cellPixelsNear(pixels, 53, 2, 0, 128, 0), 90);
    EXPECT_GT(cellPixelsNear(pixels, 61, 3, 255, 255, 255), 5);
    EXPECT_GT(cellPixelsNear(pixels, 61, 3, 0, 128, 0), 30);
    // The head: yellow on black; the food: red on black; a body cell: dark green on bright green.
    EXPECT_GT(cellPixelsNear(pixels, 12, 40, 255, 255, 0), 5);
    EXPECT_GT(cellPixelsNear(pixels, 12, 40, 0, 0, 0), 20);
    EXPECT_GT(cellPixelsNear(pixels, 10, 40, 255, 0, 0), 5);
    EXPECT_EQ(snake->body[0].x, 12); // no step was due
    EXPECT_GT(cellPixelsNear(pixels, 14, 41, 0, 255, 0), 20);
    EXPECT_GT(cellPixelsNear(pixels, 14, 41, 0, 128, 0), 5);
    // Outside the panel, right of the art, only stars: mostly black.
    int black = 0;
    for (int cy = 30; cy < 34; cy++)
        for (int cx = 70; cx < 80; cx++) black += cellPixelsNear(pixels, cx, cy, 0, 0, 0);
    EXPECT_GT(black, 3500);

    platformUseVirtualTime(false);
    delete snake;
}

TEST(SnakeFrameDeathTest, MissingInterfaceArtIsFatal)
{
    accessMode = ACCESS_LOOSE;
    remove(TEXT_SNAKE_INTERFACE);
    EXPECT_EXIT(
        {
            AsciiEngine engine(AsciiEngine::GRID_ONLY);
            TextSnake snake;
            snake.ascii = &engine;
            snake.init();
        },
        testing::ExitedWithCode(1), "Failed to load file data/textsnake/snakeinterface.raw");
}

// scene_textsnake: the snake game of the ending. See scene_textsnake.h.
#include "scenes/scene_textsnake/scene_textsnake.h"

#include "platform/platform.h"            // platformTickMs
#include "platform/report.h"              // CHECK_GL
#include "util/asciiengine/asciiengine.h" // AsciiEngine, GRID_*
#include "util/asciiengine/rawloader.h"   // RawImage
#include "util/fbo/fbo.h"                 // Fbo
#include <stdio.h>                        // snprintf
#include <stdlib.h>                       // rand
#include <string.h>                       // memset

// >> constants
static const int INTERFACE_COLUMNS = 80, INTERFACE_ROWS = 50;
static const int SEEKING_RANDOM_TRIES = 30;
// The viewer's snake waits this many frames between steps, one fewer per 50 entries of length.
static const int VIEWER_STEP_FRAMES = 5, VIEWER_SPEEDUP_LENGTH = 50;
static const int EAT_BONUS = 10; // score per food: the length before growing plus this

// Panel and menu: white on dark green.
static const uint8_t TEXT_FOREGROUND = 15, TEXT_BACKGROUND = 2;
static const int NUMBER_COLUMN = 67;
// Food and snake cells.
static const uint8_t FOOD_CHAR = 3, FOOD_FOREGROUND = 12;
static const uint8_t BODY_CHAR = 254, BODY_FOREGROUND = 2, BODY_BACKGROUND = 10;
static const uint8_t HEAD_CHAR = 2, HEAD_FOREGROUND = 14;
// Stars.
static const uint8_t STAR_CHAR = 46, STAR_SLOW_FOREGROUND = 8, STAR_FAST_FOREGROUND = 15;
static const int STAR_SLOW_SPEED = 3, STAR_MAX_SPEED = 6;

// >> state
static TextSnakeState s_textSnake = {SNAKE_SEEKING_PLAYER, false, 0};

const TextSnakeState& textSnakeState() { return s_textSnake; }

void textSnakeResetState() { s_textSnake = TextSnakeState{SNAKE_SEEKING_PLAYER, false, 0}; }

// >> grid helpers
static void putCell(AsciiEngine* engine, int x, int y, uint8_t code, uint8_t foreground, uint8_t background)
{
    if (x < 0 || x >= GRID_COLUMNS || y < 0 || y >= GRID_ROWS) return;
    int i = y * GRID_COLUMNS + x;
    engine->chars[i] = code;
    engine->foreground[i] = foreground;
    engine->background[i] = background;
}

// White on dark green from (x, y) rightward; a space leaves its cell as it was.
static void putText(AsciiEngine* engine, int x, int y, const char* text)
{
    for (; *text; text++, x++) {
        if (*text == ' ') continue;
        putCell(engine, x, y, (uint8_t)*text, TEXT_FOREGROUND, TEXT_BACKGROUND);
    }
}

static void putNumber(AsciiEngine* engine, int x, int y, int32_t value)
{
    char text[16];
    snprintf(text, sizeof text, "%d", (int)value);
    putText(engine, x, y, text);
}

// >> stars
static void restartStar(Starfield* field, int i)
{
    field->starX[i] = 0;
    field->starY[i] = rand() % GRID_ROWS;
    field->starSpeed[i] = rand() % STAR_MAX_SPEED + 1;
}

Starfield::Starfield(AsciiEngine* engine_) : engine(engine_)
{
    for (int i = 0; i < STAR_COUNT; i++) restartStar(this, i);
}

void Starfield::update(uint32_t now)
{
    if (!s_textSnake.starTickSet) {
        s_textSnake.nextStarTick = now;
        s_textSnake.starTickSet = true;
    }
    // "nextStarTick < now", read through the difference so the tick's wrap does not stop the stars.
    if ((int32_t)(now - s_textSnake.nextStarTick) <= 0) return;
    s_textSnake.nextStarTick += STAR_TICK_MS;
    for (int i = 0; i < STAR_COUNT; i++) {
        starX[i] += starSpeed[i];
        if (starX[i] > GRID_COLUMNS - 1) restartStar(this, i);
    }
}

void Starfield::draw()
{
    for (int i = 0; i < STAR_COUNT; i++) {
        uint8_t colour = starSpeed[i] <= STAR_SLOW_SPEED ? STAR_SLOW_FOREGROUND : STAR_FAST_FOREGROUND;
        putCell(engine, starX[i], starY[i], STAR_CHAR, colour, 0);
    }
}

// >> rules
void snakeNeighbour(int d, int x, int y, int* nx, int* ny)
{
    *nx = x;
    *ny = y;
    switch (d) {
    case SNAKE_UP: (*ny)--; break;
    case SNAKE_RIGHT: (*nx)++; break;
    case SNAKE_DOWN: (*ny)++; break;
    case SNAKE_LEFT: (*nx)--; break;
    default: break;
    }
}

int snakeViewerDirection(int current, const KeyState* keys)
{
    if (!keys) return current;
    int d = current;
    if (keys->down[KEY_UP] == 1 && current != SNAKE_DOWN) d = SNAKE_UP;
    if (keys->down[KEY_RIGHT] == 1 && current != SNAKE_LEFT) d = SNAKE_RIGHT;
    if (keys->down[KEY_DOWN] == 1 && current != SNAKE_UP) d = SNAKE_DOWN;
    if (keys->down[KEY_LEFT] == 1 && current != SNAKE_RIGHT) d = SNAKE_LEFT;
    return d;
}

bool snakeTickAdvanced(uint32_t now, int32_t lastStepTick)
{
    // The tick only runs forward, so any change is an advance; unlike "now > lastStepTick" on
    // signed values, this holds across the tick's wrap and after 2^31 ms of uptime.
    return now != (uint32_t)lastStepTick;
}

bool TextSnake::isSafe(int d) const
{
    int x, y;
    snakeNeighbour(d, body[0].x, body[0].y, &x, &y);
    if (x < minX || x > maxX || y < minY || y > maxY) return false;
    // The tail counts, although it would move away in the same step.
    for (int i = 1; i < length; i++)
        if (body[i].x == x && body[i].y == y) return false;
    return true;
}

bool TextSnake::chooseDirection(int* chosen)
{
    const int headX = body[0].x, headY = body[0].y;
    int d = -1;
    if (headX < foodX && isSafe(SNAKE_RIGHT)) d = SNAKE_RIGHT;
    else if (foodX < headX && isSafe(SNAKE_LEFT)) d = SNAKE_LEFT;
    else if (headY < foodY && isSafe(SNAKE_DOWN)) d = SNAKE_DOWN;
    else if (foodY < headY && isSafe(SNAKE_UP)) d = SNAKE_UP;
    for (int tries = 0; d < 0 && tries < SEEKING_RANDOM_TRIES; tries++) {
        int r = rand() % 4;
        if (isSafe(r)) d = r;
    }
    if (d < 0) return false;
    *chosen = d;
    return true;
}

bool TextSnake::placeFood()
{
    // Food goes in columns and rows min to max - 1 (never the last ones).
    const int spanX = maxX - minX, spanY = maxY - minY;
    if (spanX <= 0 || spanY <= 0) return false;
    // Which cells the body covers, so a full field is known before searching (it would never end).
    uint8_t taken[GRID_CELLS];
    memset(taken, 0, sizeof taken);
    int takenInRange = 0;
    for (int i = 0; i < length; i++) {
        int x = body[i].x, y = body[i].y;
        if (x < 0 || x >= GRID_COLUMNS || y < 0 || y >= GRID_ROWS) continue;
        uint8_t* cell = &taken[y * GRID_COLUMNS + x];
        if (*cell) continue;
        *cell = 1;
        if (x >= minX && x < maxX && y >= minY && y < maxY) takenInRange++;
    }
    if (takenInRange >= spanX * spanY) return false;
    for (;;) {
        int x = rand() % spanX + minX;
        int y = rand() % spanY + minY;
        bool onGrid = x >= 0 && x < GRID_COLUMNS && y >= 0 && y < GRID_ROWS;
        if (onGrid && taken[y * GRID_COLUMNS + x]) continue;
        foodX = (int16_t)x;
        foodY = (int16_t)y;
        return true;
    }
}

void TextSnake::resetGame()
{
    lastScore = score;
    if (score > highScore) highScore = score;
    score = 0;
    length = SNAKE_START_LENGTH;
    for (int i = 0; i < length; i++) {
        body[i].x = (int16_t)((minX + maxX) / 2);
        body[i].y = (int16_t)((minY + maxY) / 2 + i);
    }
    direction = SNAKE_UP;
    placeFood();
}

void TextSnake::step(int player)
{
    // Eating: grow by copies of the last entry, which unfold over the next steps.
    if (body[0].x == foodX && body[0].y == foodY) {
        score += length + EAT_BONUS;
        SnakeCell last = body[length - 1];
        for (int i = 0; i < SNAKE_GROWTH && length < SNAKE_BODY_CAPACITY; i++) body[length++] = last;
        // No free cell left: the snake has filled the field, and the game starts over.
        if (!placeFood()) {
            resetGame();
            return;
        }
    }

    // Steering.
    if (player == SNAKE_VIEWER) {
        direction = snakeViewerDirection(direction, keys);
        if (!isSafe(direction)) {
            resetGame();
            return;
        }
    } else {
        int chosen;
        if (!chooseDirection(&chosen)) {
            resetGame();
            return;
        }
        direction = chosen;
    }

    // Move.
    for (int i = length - 1; i >= 1; i--) body[i] = body[i - 1];
    int x, y;
    snakeNeighbour(direction, body[0].x, body[0].y, &x, &y);
    body[0].x = (int16_t)x;
    body[0].y = (int16_t)y;
}

// >> scene
TextSnake::TextSnake()
{
    memset(body, 0, sizeof body);
}

TextSnake::~TextSnake()
{
    delete interfaceArt;
    delete stars;
}

void TextSnake::startFirstGame()
{
    minX = 1;
    minY = 1;
    maxX = 48;
    maxY = 48;
    lastStepTick = 0;
    score = highScore = lastScore = 0;
    resetGame();
}

void TextSnake::init()
{
    interfaceArt = new RawImage(ascii, INTERFACE_COLUMNS, INTERFACE_ROWS, TEXT_SNAKE_INTERFACE);
    stars = new Starfield(ascii);
    startFirstGame();
}

void TextSnake::update(uint32_t now)
{
    ascii->clear();

    // Mode keys: key 2 wins when both are held.
    if (keys && keys->down[KEY_CHAR_1] == 1) s_textSnake.playerMode = SNAKE_SEEKING_PLAYER;
    if (keys && keys->down[KEY_CHAR_1 + 1] == 1) s_textSnake.playerMode = SNAKE_VIEWER;

    stars->update(now);
    stars->draw();

    // Timing: the viewer's snake waits out its countdown; the seeking player never waits.
    bool due = true;
    if (s_textSnake.playerMode == SNAKE_VIEWER) {
        due = stepCountdown <= 0;
        stepCountdown--;
    }
    if (due) {
        stepCountdown = VIEWER_STEP_FRAMES - length / VIEWER_SPEEDUP_LENGTH;
        if (snakeTickAdvanced(now, lastStepTick)) {
            lastStepTick = (int32_t)now;
            step(s_textSnake.playerMode);
        }
    }

    // Panel over the stars (the art's colour 0 lets them show through).
    interfaceArt->draw(0, 0);
    putText(ascii, 61, 3, "SIZE:");
    putNumber(ascii, NUMBER_COLUMN, 3, length);
    putText(ascii, 60, 4, "SCORE:");
    putNumber(ascii, NUMBER_COLUMN, 4, score);
    putText(ascii, 55, 6, "LAST SCORE:");
    putNumber(ascii, NUMBER_COLUMN, 6, lastScore);
    putText(ascii, 55, 7, "HIGH SCORE:");
    putNumber(ascii, NUMBER_COLUMN, 7, highScore);
    putText(ascii, 53, 24, "  1 - AI snake");
    putText(ascii, 53, 25, "  2 - Play snake");
    putText(ascii, 53, 26, "ESC - Quit");

    putCell(ascii, foodX, foodY, FOOD_CHAR, FOOD_FOREGROUND, 0);

    // Later entries overwrite earlier ones on the same cell; the head last, over the food.
    for (int i = 1; i < length; i++) putCell(ascii, body[i].x, body[i].y, BODY_CHAR, BODY_FOREGROUND, BODY_BACKGROUND);
    putCell(ascii, body[0].x, body[0].y, HEAD_CHAR, HEAD_FOREGROUND, 0);
}

void TextSnake::draw()
{
    update(platformTickMs());

    fbo->bindForDrawing(true);
    ascii->draw(true); // just cleared
    glPopAttrib();
    fboBindScreen();
    CHECK_GL();
}

void TextSnake::rewind()
{
    textSnakeResetState();
    *stars = Starfield(ascii);
    stepCountdown = 0;
    startFirstGame();
}

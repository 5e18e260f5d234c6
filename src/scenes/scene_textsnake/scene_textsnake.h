// scene_textsnake: a game of snake on the text-mode grid, the show's ending.
//
// A 48 x 48 playfield (cells 1-48 of both axes) inside the interface art
// "data/textsnake/snakeinterface.raw" (80 x 50 cells), a panel with the snake's size, the score,
// the last and the high score, a short menu, and 30 stars drifting right behind everything.
// A seeking player steers at first; key 2 hands the snake to the viewer (cursor keys), key 1
// gives it back. Running into a wall or the snake itself, or a seeking player without a safe move,
// starts a new game at once and keeps the finished score as the last (and maybe high) score.
//
// Time comes from the platform millisecond tick only, never the music: the seeking player steps
// once per frame whenever the tick has moved, the viewer's snake every 6th frame (faster as it
// grows), and the stars move in fixed 16 ms steps, at most one per frame.
// The whole frame except the final draw into the shared framebuffer is `update`, which makes no
// GL call, so the rules and the grid are testable without a window.
//
// Sound choices where the rules leave a gap: the tick comparisons survive the tick's wrap (a
// tick read as a signed number would stop the game after 24.8 days of uptime); the snake never
// grows past its body table; a food cell that cannot be placed (the snake fills the field) ends
// the game like a crash instead of searching forever.
// Failures: a missing interface art file is fatal ("Failed to load file %s").
// Process-wide: the player mode and the star timer, shared by every instance.
#pragma once

#include "scenes/template.h" // Template, KeyState
#include <stdint.h>

class AsciiEngine;
class RawImage;

#define TEXT_SNAKE_INTERFACE "data/textsnake/snakeinterface.raw"

enum {
    SNAKE_BODY_CAPACITY = 2500, // body entries; the playfield has 2304 cells
    SNAKE_START_LENGTH = 5,
    SNAKE_GROWTH = 5,           // entries added per food eaten
    STAR_COUNT = 30,
    STAR_TICK_MS = 16,          // one star move per this many milliseconds
};

// Directions, as `direction` stores them.
enum { SNAKE_UP = 0, SNAKE_RIGHT = 1, SNAKE_DOWN = 2, SNAKE_LEFT = 3 };
// Who steers (`playerMode`, the `player` argument of `step`).
enum { SNAKE_SEEKING_PLAYER = 0, SNAKE_VIEWER = 1 };

// Shared by every instance.
struct TextSnakeState {
    uint8_t playerMode;    // SNAKE_SEEKING_PLAYER at start
    bool starTickSet;      // whether nextStarTick has been set (on first use)
    uint32_t nextStarTick; // millisecond tick of the next star move
};

struct SnakeCell {
    int16_t x, y; // column, row of the grid
};

class Starfield {
public:
    AsciiEngine* engine;        // not owned
    int32_t starX[STAR_COUNT];  // column, 0-79
    int32_t starY[STAR_COUNT];  // row, 0-49
    int32_t starSpeed[STAR_COUNT]; // columns per move, 1-6

    // Every star at column 0 of a random row with a random speed.
    explicit Starfield(AsciiEngine* engine);
    // Moves every star once when a 16 ms step is due at `now` (at most one step per call).
    void update(uint32_t now);
    // Full stops on black, grey for slow stars and white for fast ones.
    void draw();
};

class TextSnake : public Template {
public:
    RawImage* interfaceArt = nullptr;      // 80 x 50 cells, owned
    Starfield* stars = nullptr;            // owned
    SnakeCell body[SNAKE_BODY_CAPACITY];   // head first; the first `length` entries are in use
    int32_t direction = SNAKE_UP;          // SNAKE_UP, _RIGHT, _DOWN or _LEFT
    int32_t length = 0;                    // body entries in use
    int32_t stepCountdown = 0;             // frames to wait before the viewer's next step
    int16_t foodX = 0, foodY = 0;          // the food cell
    int32_t minX = 1, minY = 1, maxX = 48, maxY = 48; // the playfield, inclusive
    int32_t lastStepTick = 0;              // millisecond tick of the last step
    int32_t score = 0;                     // of the running game
    int32_t highScore = 0;                 // highest score of a finished game
    int32_t lastScore = 0;                 // score of the last finished game

    TextSnake();
    ~TextSnake() override;

    // Loads the interface art, makes the stars and starts the first game.
    void init() override;
    // One frame: `update` at the current tick, then the grid into the shared framebuffer.
    void draw() override;
    void rewind() override;

    // Sets the playfield and the scores and starts the first game (init without loading).
    void startFirstGame();
    // Everything of a frame but GL: clears the grid, reads the mode keys, moves and draws the
    // stars, steps the game when due and writes the panel, the food and the snake.
    void update(uint32_t now);

    // Ends the running game (its score becomes the last score, and the high score if higher) and
    // starts a new one: five cells from the middle of the field downward, heading up.
    void resetGame();
    // Chooses a free food cell in columns and rows minX to maxX - 1. False when none is free.
    bool placeFood();
    // Whether the head may move one cell in direction `d` (walls and body entries 1 and on).
    bool isSafe(int d) const;
    // The seeking player's choice: toward the food, else up to 30 random tries. False: no move.
    bool chooseDirection(int* chosen);
    // Eats, steers, checks and moves the snake by one cell (or starts a new game).
    void step(int player);
};

// The cell next to (x, y) in direction d.
void snakeNeighbour(int d, int x, int y, int* nx, int* ny);
// The viewer's direction from the held cursor keys (null: none held); `current` is kept when
// nothing applies. Left beats down beats right beats up; no key turns the snake straight back.
int snakeViewerDirection(int current, const KeyState* keys);
// Whether a step is due in this frame (the rule of `update`, which also counts the countdown).
bool snakeTickAdvanced(uint32_t now, int32_t lastStepTick);

// The process-wide state, and a fresh start for tests and tools that build the scene again.
const TextSnakeState& textSnakeState();
void textSnakeResetState();

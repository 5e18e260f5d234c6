// music: the song, the beat clock and the per-frame histories. See music.h.
#include "util/music/music.h"

#include "platform/report.h"    // FATAL
#include "util/data/data.h"     // openFile
#include "util/music/audio.h"   // the audio back end
#include <stdio.h>
#include <stdlib.h>
#include <system_error>
#include <thread>

// The clock's state is shared by every caller of getTime, not kept per object.
static struct {
    float lastTime;   // the last reading before the wrap offset
    float wrapOffset; // added after the position jumped back by more than a beat
} s_clock;

void musicResetClock()
{
    s_clock.lastTime = 0.0f;
    s_clock.wrapOffset = 0.0f;
}

// The song between reading and its stream: decoded by decodeSong, on a thread of its own or not.
struct SongDecode {
    void* mp3;               // the file's bytes, freed once decoded
    size_t size;
    int16_t* samples;        // the decoded song; null when it does not decode
    uint64_t frames;
    std::thread thread;      // joinable while a background decode runs
};

static void decodeSong(SongDecode* song)
{
    audioDecodeMp3(song->mp3, song->size, &song->samples, &song->frames);
    free(song->mp3);
    song->mp3 = nullptr;
}

Music::Music(bool decodeInBackground)
{
    if (!audioInit()) FATAL("Can't initialize device");

    FILE* file = openFile(MUSIC_SONG_PATH, "rb");
    if (!file) FATAL("Failed to open %s", MUSIC_SONG_PATH);
    long size = 0;
    if (fseek(file, 0, SEEK_END) == 0) size = ftell(file);
    if (size < 0) size = 0;
    fseek(file, 0, SEEK_SET);
    void* block = malloc(size > 0 ? (size_t)size : 1);
    if (!block) FATAL("Failed to allocate memory for music stream!");
    if (size == 0 || fread(block, (size_t)size, 1, file) != 1) {
        FATAL("Failed to read music data from %s!", MUSIC_SONG_PATH);
    }
    fclose(file);

    // The back end decodes the whole song, so the MP3 bytes are not needed afterwards.
    song = new SongDecode{block, (size_t)size, nullptr, 0, std::thread()};
    if (decodeInBackground) {
        try {
            song->thread = std::thread(decodeSong, song);
            return;
        } catch (const std::system_error&) {
            // No thread to be had: the song decodes here, as without the wish.
        }
    }
    decodeSong(song);
    finishSong();
}

void Music::finishSong()
{
    if (!song) return;
    if (song->thread.joinable()) song->thread.join();
    // A song that does not decode gives stream 0, reported when play finds it silent.
    stream = audioStreamAdopt(song->samples, song->frames, AUDIO_SAMPLE_LOOP);
    delete song;
    song = nullptr;
    if (stream != 0) {
        lengthBytes = audioChannelGetLength(stream, AUDIO_POS_BYTE);
        if (lengthBytes != AUDIO_LENGTH_ERROR) {
            lengthSeconds = (int32_t)audioChannelBytes2Seconds(stream, lengthBytes);
        }
    }
}

void Music::play()
{
    for (int i = 0; i < MUSIC_HISTORY; i++) {
        timeHistory[i] = beatOffset;
        positionHistory[i] = 0;
    }
    meanTimeStep = 0.0f;
    meanPositionStep = 0;
    // The song plays once; a scene may switch looping back on near the end.
    audioChannelFlags(stream, 0, AUDIO_SAMPLE_LOOP);
    audioChannelPlay(stream, false);
    if (audioChannelIsActive(stream) != AUDIO_ACTIVE_PLAYING) FATAL("Failed to start the music!");
}

float Music::getTime()
{
    uint64_t position = audioChannelGetPosition(stream, AUDIO_POS_BYTE);
    double seconds = audioChannelBytes2Seconds(stream, position);
    double t = seconds * (1.0 / 60.0) * bpm + beatOffset;
    // A jump back by more than a beat is a restart or a loop: keep counting up from where we were.
    if (s_clock.lastTime > t + 1.0) s_clock.wrapOffset += s_clock.lastTime;
    s_clock.lastTime = (float)t;
    return (float)(t + s_clock.wrapOffset);
}

void Music::restartHistories()
{
    float time = getTime();
    int32_t position = (int32_t)(uint32_t)audioChannelGetPosition(stream, AUDIO_POS_BYTE);
    for (int i = 0; i < MUSIC_HISTORY; i++) {
        timeHistory[i] = time;
        positionHistory[i] = position;
    }
    meanTimeStep = 0.0f;
    meanPositionStep = 0;
}

void Music::update()
{
    float time = getTime();
    int32_t position = (int32_t)(uint32_t)audioChannelGetPosition(stream, AUDIO_POS_BYTE);
    // The ten steps of the window add up to newest minus the entry ten frames back.
    meanTimeStep = (time - timeHistory[0]) * 0.1f;
    meanPositionStep = (int32_t)(((int64_t)position - positionHistory[0]) / MUSIC_HISTORY);
    for (int i = 0; i < MUSIC_HISTORY - 1; i++) {
        timeHistory[i] = timeHistory[i + 1];
        positionHistory[i] = positionHistory[i + 1];
    }
    timeHistory[MUSIC_HISTORY - 1] = time;
    positionHistory[MUSIC_HISTORY - 1] = position;
}

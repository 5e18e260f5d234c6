// image_prefetch: decodes the archive's pictures on a second thread while the main thread compiles
// shaders, decodes the song and parses the models, so start-up costs about the longer of the two
// instead of their sum. Only the archive is read ahead: its entries are in load order and never
// change once it is open. The main thread still makes every GL texture.
//
// The worker keeps at most PREFETCH_AHEAD_BYTES of decoded pixels that nobody has taken, so the
// peak memory of start-up barely grows. A picture the worker has not begun when its texture is
// loaded is decoded by the main thread as before, and so is one whose decode would have shown a
// box (a warning or an error): the worker drops it, and the main thread's decode shows the box.
// Every call to a decoder, from either thread, holds imageDecodeLock, since the decoders keep
// tables and messages in static storage.
#pragma once

#include <mutex>
#include <stddef.h>

class Texture;

static const size_t PREFETCH_AHEAD_BYTES = (size_t)32 << 20;

// Starts the worker over every picture in the open archive (nothing outside archive mode, and only
// once a process). `decode` fills a Texture's pixel fields from a file, as a loader does.
void imagePrefetchStart(bool (*decode)(const char* fileName, Texture* texture));
// True when the worker decoded `fileName`: its pixels move into `texture` (imageData, width,
// height, format, bitsPerPixel). False when the caller must decode it itself.
bool imagePrefetchTake(const char* fileName, Texture* texture);
// Stops the worker (it finishes the picture in hand) and frees what was never taken. Also runs at
// exit, so an error report ends the process with the worker stopped, also when the report came
// from inside a decode that still holds imageDecodeLock.
void imagePrefetchStop();

std::mutex& imageDecodeLock();

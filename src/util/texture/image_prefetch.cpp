// image_prefetch: pictures decoded ahead on a second thread. See image_prefetch.h.
#include "util/texture/image_prefetch.h"

#include "platform/platform.h"  // platformDeferBoxesOnThisThread, PlatformBoxDeferred, platformBoundHeapRetention
#include "util/data/data.h"     // accessMode, dataEntries
#include "util/texture/texture.h"
#include <chrono>
#include <condition_variable>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <thread>
#include <vector>

enum SlotState {
    SLOT_WAITING, // the worker has not begun it
    SLOT_WORKING, // the worker is decoding it
    SLOT_READY,   // decoded, waiting for its texture
    SLOT_DROPPED, // the worker could not decode it quietly: the main thread will
    SLOT_DONE,    // taken, or claimed by the main thread before the worker began it
};

struct PrefetchSlot {
    std::string name;
    SlotState state;
    Texture* decoded; // the worker's decode target, until taken
    size_t bytes;     // decoded pixel bytes while SLOT_READY
};

static struct {
    bool started;
    bool stopping;
    std::thread* worker;
    std::vector<PrefetchSlot> slots;
    size_t bytesAhead; // pixels decoded and not yet taken
    std::mutex lock;   // guards everything above after start
    std::condition_variable changed;
    bool (*decode)(const char*, Texture*);
} s_prefetch;

std::mutex& imageDecodeLock()
{
    static std::mutex decodeLock;
    return decodeLock;
}

static bool isPictureName(const std::string& name)
{
    static const char* const EXTENSIONS[] = {".png", ".jpg", ".jpeg", ".tga", ".bmp"};
    for (const char* extension : EXTENSIONS) {
        size_t n = strlen(extension);
        if (name.size() < n) continue;
        if (strcasecmp(name.c_str() + name.size() - n, extension) == 0) return true;
    }
    return false;
}

static void freePixels(Texture* texture)
{
    free(texture->imageData);
    texture->imageData = nullptr;
}

static void workerLoop()
{
    platformDeferBoxesOnThisThread(true);
    for (size_t i = 0;; i++) {
        Texture* texture;
        std::string name;
        {
            std::unique_lock<std::mutex> hold(s_prefetch.lock);
            // Checked before each picture, so one larger than the whole allowance still goes.
            s_prefetch.changed.wait(
                hold, [] { return s_prefetch.stopping || s_prefetch.bytesAhead < PREFETCH_AHEAD_BYTES; });
            if (s_prefetch.stopping || i >= s_prefetch.slots.size()) return;
            PrefetchSlot& slot = s_prefetch.slots[i];
            if (slot.state != SLOT_WAITING) continue;
            slot.state = SLOT_WORKING;
            name = slot.name;
            texture = slot.decoded;
        }
        // A decode on the main thread that ends the process (an error report exits from inside it)
        // never lets the lock go, and the exit waits for this thread: wait for the lock only while
        // the prefetch is not stopping.
        while (!imageDecodeLock().try_lock()) {
            std::unique_lock<std::mutex> hold(s_prefetch.lock);
            if (s_prefetch.stopping) return;
            s_prefetch.changed.wait_for(hold, std::chrono::milliseconds(1));
        }
        bool decoded = false;
        try {
            std::lock_guard<std::mutex> decoding(imageDecodeLock(), std::adopt_lock);
            decoded = s_prefetch.decode(name.c_str(), texture);
        } catch (const PlatformBoxDeferred&) {
            decoded = false;
        }
        std::lock_guard<std::mutex> hold(s_prefetch.lock);
        PrefetchSlot& slot = s_prefetch.slots[i];
        if (decoded && texture->imageData) {
            slot.state = SLOT_READY;
            slot.bytes = (size_t)texture->width * texture->height * (texture->bitsPerPixel / 8);
            s_prefetch.bytesAhead += slot.bytes;
        } else {
            slot.state = SLOT_DROPPED;
        }
        s_prefetch.changed.notify_all();
    }
}

void imagePrefetchStart(bool (*decode)(const char* fileName, Texture* texture))
{
    if (s_prefetch.started || accessMode != ACCESS_ARCHIVE) return;
    s_prefetch.started = true;
    s_prefetch.decode = decode;
    for (const DataEntry& entry : dataEntries()) {
        if (!isPictureName(entry.name)) continue;
        // A Texture without a GL name makes no GL call, so the worker may fill it.
        s_prefetch.slots.push_back(PrefetchSlot{entry.name, SLOT_WAITING, new Texture(), 0});
    }
    if (s_prefetch.slots.empty()) return;
    atexit(imagePrefetchStop);
    platformBoundHeapRetention();
    s_prefetch.worker = new std::thread(workerLoop);
}

bool imagePrefetchTake(const char* fileName, Texture* texture)
{
    if (!s_prefetch.started) return false;
    std::unique_lock<std::mutex> hold(s_prefetch.lock);
    PrefetchSlot* slot = nullptr;
    for (PrefetchSlot& candidate : s_prefetch.slots)
        if (candidate.state != SLOT_DONE && candidate.name == fileName) {
            slot = &candidate;
            break;
        }
    if (!slot) return false;
    if (slot->state == SLOT_WAITING) {
        slot->state = SLOT_DONE; // the worker skips it: the caller decodes it now
        return false;
    }
    s_prefetch.changed.wait(hold, [slot] { return slot->state != SLOT_WORKING; });
    Texture* decoded = slot->decoded;
    bool ready = slot->state == SLOT_READY;
    if (ready) {
        texture->imageData = decoded->imageData;
        texture->width = decoded->width;
        texture->height = decoded->height;
        texture->format = decoded->format;
        texture->bitsPerPixel = decoded->bitsPerPixel;
        decoded->imageData = nullptr;
        s_prefetch.bytesAhead -= slot->bytes;
    } else {
        freePixels(decoded); // whatever a failed decode left
    }
    slot->state = SLOT_DONE;
    slot->decoded = nullptr;
    s_prefetch.changed.notify_all();
    hold.unlock();
    delete decoded;
    return ready;
}

void imagePrefetchStop()
{
    if (!s_prefetch.worker) return;
    {
        std::lock_guard<std::mutex> hold(s_prefetch.lock);
        s_prefetch.stopping = true;
        s_prefetch.changed.notify_all();
    }
    s_prefetch.worker->join();
    delete s_prefetch.worker;
    s_prefetch.worker = nullptr;
    for (PrefetchSlot& slot : s_prefetch.slots) {
        if (!slot.decoded) continue;
        freePixels(slot.decoded);
        delete slot.decoded;
        slot.decoded = nullptr;
    }
    s_prefetch.slots.clear();
    s_prefetch.bytesAhead = 0;
}

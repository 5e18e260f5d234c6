// filewatch: folder change notices through inotify. See filewatch.h.
#include "platform/filewatch.h"

#include <dirent.h>
#include <string.h>
#include <string>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

enum { EVENT_BUFFER_BYTES = 16384 };
static const uint32_t WATCHED_EVENTS = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE;

static struct {
    int fd = -1;
    int folders;
} s_watch;

static void watchTree(const std::string& folder)
{
    if (s_watch.folders >= FILE_WATCH_MAX_FOLDERS) return;
    if (inotify_add_watch(s_watch.fd, folder.c_str(), WATCHED_EVENTS | IN_ONLYDIR) < 0) return;
    s_watch.folders++;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    while (struct dirent* entry = readdir(dir)) {
        if (!strcmp(entry->d_name, ".") || !strcmp(entry->d_name, "..")) continue;
        std::string path = folder + "/" + entry->d_name;
        struct stat st;
        if (lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) watchTree(path);
    }
    closedir(dir);
}

bool fileWatchStart(const char* folder)
{
    fileWatchStop();
    s_watch.fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (s_watch.fd < 0) return false;
    watchTree(folder);
    if (s_watch.folders == 0) {
        fileWatchStop();
        return false;
    }
    return true;
}

bool fileWatchChanged()
{
    if (s_watch.fd < 0) return false;
    bool changed = false;
    alignas(struct inotify_event) char buffer[EVENT_BUFFER_BYTES];
    for (;;) {
        ssize_t got = read(s_watch.fd, buffer, sizeof buffer);
        if (got <= 0) break; // EAGAIN: nothing more now
        for (ssize_t at = 0; at + (ssize_t)sizeof(struct inotify_event) <= got;) {
            const struct inotify_event* event = (const struct inotify_event*)(buffer + at);
            changed = true;
            at += (ssize_t)sizeof(struct inotify_event) + event->len;
        }
    }
    return changed;
}

void fileWatchStop()
{
    if (s_watch.fd >= 0) close(s_watch.fd);
    s_watch.fd = -1;
    s_watch.folders = 0;
}

// filewatch: is anything under a folder being changed? For creator mode's reload on save.
//
// Linux inotify (filewatch_linux.cpp) on the folder and every folder below it at the start (a
// folder made later is not watched; F5 still reloads). Non-blocking: fileWatchChanged drains what has happened.
// Limits: FILE_WATCH_MAX_FOLDERS folders; past that the rest is not watched (F5 still reloads).
// Without inotify (Windows: filewatch_win32.cpp, or the kernel's watch limit reached)
// fileWatchStart says false, and F5 reloads.
#pragma once

enum { FILE_WATCH_MAX_FOLDERS = 512 };

// Starts watching `folder` and its subfolders; false when nothing can be watched.
bool fileWatchStart(const char* folder);
// True when a file was written, created, moved or deleted since the last call.
bool fileWatchChanged();
// Stops watching (tests).
void fileWatchStop();

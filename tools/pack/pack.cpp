// halvoren-pack: writes "data.hlv" from a manifest of asset names.
//
// The manifest lists one asset name per line, exactly as the show opens it (backslashes kept), in
// load order; blank lines and lines starting with '#' are skipped. The files are read from the
// loose tree under --root through the show's own record mode, so the archive is what the show reads.
// Exit 1 without an archive: a missing asset (each is named), a manifest that names no asset, or
// a fatal report of the record mode (a line naming a folder ends in its allocation report).
//
//   halvoren-pack --root DIR --manifest FILE --out data.hlv
#include "platform/platform.h" // platformSetHeadlessBoxes
#include "util/data/data.h"

#include <stdio.h>
#include <string.h>
#include <string>

static int usage()
{
    fprintf(stderr, "usage: halvoren-pack --root DIR --manifest FILE --out FILE\n");
    return 2;
}

int main(int argc, char** argv)
{
    const char* root = ".";
    const char* manifest = nullptr;
    const char* out = "data.hlv";
    for (int i = 1; i < argc; i++) {
        if (i + 1 >= argc) return usage();
        if (!strcmp(argv[i], "--root")) root = argv[++i];
        else if (!strcmp(argv[i], "--manifest")) manifest = argv[++i];
        else if (!strcmp(argv[i], "--out")) out = argv[++i];
        else return usage();
    }
    if (!manifest) return usage();
    // A build step: a fatal report goes to standard error and never waits for a box to be answered.
    platformSetHeadlessBoxes(true);

    FILE* list = fopen(manifest, "rt");
    if (!list) {
        fprintf(stderr, "halvoren-pack: cannot open manifest %s\n", manifest);
        return 1;
    }
    accessMode = ACCESS_RECORD;
    setDataDirectory(root);
    char line[4096];
    int count = 0, missing = 0;
    while (fgets(line, sizeof line, list)) {
        std::string name(line);
        while (!name.empty() && (name.back() == '\n' || name.back() == '\r' || name.back() == ' ')) name.pop_back();
        if (name.empty() || name[0] == '#') continue;
        FILE* f = openFile(name.c_str(), "rb");
        if (!f) {
            fprintf(stderr, "halvoren-pack: missing asset %s\n", name.c_str());
            missing++;
            continue;
        }
        fclose(f);
        count++;
    }
    fclose(list);
    if (missing) return 1;
    if (count == 0) {
        // The archive format cannot hold nothing (a packed block needs two symbols): the show
        // would refuse such a file at start-up, so none is written.
        fprintf(stderr, "halvoren-pack: manifest %s names no asset; no archive written\n", manifest);
        return 1;
    }
    writeArchiveTo(out);
    size_t bytes = 0;
    for (const DataEntry& e : dataEntries()) bytes += e.data.size();
    printf("halvoren-pack: %d files, %.1f MB into %s\n", count, bytes / 1048576.0, out);
    return 0;
}

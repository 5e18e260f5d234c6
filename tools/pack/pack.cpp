// halvoren-pack: writes "data.hlv" from a manifest of asset names.
//
// The manifest lists one asset name per line, exactly as the show opens it (backslashes kept), in
// load order; blank lines and lines starting with '#' are skipped. The files are read from the
// loose tree under --root through the show's own record mode, so the archive is what the show reads.
//
//   halvoren-pack --root DIR --manifest FILE --out data.hlv
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
        // An empty manifest still gives a valid, empty archive so the build can go on.
        FILE* f = fopen(out, "wb");
        if (!f) return 1;
        std::vector<uint8_t> archive = buildArchive({});
        fwrite(archive.data(), 1, archive.size(), f);
        fclose(f);
        printf("halvoren-pack: empty manifest, wrote an empty archive %s\n", out);
        return 0;
    }
    writeArchiveTo(out);
    size_t bytes = 0;
    for (const DataEntry& e : dataEntries()) bytes += e.data.size();
    printf("halvoren-pack: %d files, %.1f MB into %s\n", count, bytes / 1048576.0, out);
    return 0;
}

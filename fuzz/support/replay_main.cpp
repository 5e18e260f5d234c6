// Replay main for fuzz targets built without libFuzzer: runs LLVMFuzzerTestOneInput over every
// file named on the command line (folders are walked one level deep), so the seed corpus and any
// crash found earlier stay regression tests in an ordinary build.
#include <dirent.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <sys/stat.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static int runFile(const std::string& path)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) { fprintf(stderr, "replay: cannot open %s\n", path.c_str()); return 1; }
    std::vector<uint8_t> bytes;
    uint8_t buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    fclose(f);
    LLVMFuzzerTestOneInput(bytes.empty() ? nullptr : bytes.data(), bytes.size());
    return 0;
}

int main(int argc, char** argv)
{
    int files = 0, failures = 0;
    for (int i = 1; i < argc; i++) {
        struct stat st;
        if (stat(argv[i], &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            DIR* dir = opendir(argv[i]);
            if (!dir) continue;
            std::vector<std::string> names;
            while (dirent* e = readdir(dir))
                if (e->d_name[0] != '.') names.push_back(std::string(argv[i]) + "/" + e->d_name);
            closedir(dir);
            for (const std::string& n : names) { failures += runFile(n); files++; }
        } else {
            failures += runFile(argv[i]);
            files++;
        }
    }
    printf("replayed %d inputs\n", files);
    return failures ? 1 : 0;
}

// halvoren-compare: are two renderings of the show the same pictures?
//
//   halvoren-compare REFERENCE_DIR NEW_DIR
//
// Compares every beat-*.png of REFERENCE_DIR with the file of the same name in NEW_DIR and prints,
// per picture, the mean absolute difference per channel, the PSNR and the worst 16 x 16 block's
// mean absolute difference. A picture passes at a mean of at most 1.0 (of 255), a PSNR of at least
// 38 dB and no block above 12: small enough for rounding, large enough to catch a changed effect.
// Exit code 0 when every picture passes, 1 when one fails or is missing, 2 on bad arguments.
#include "image.h"

#include <dirent.h>
#include <math.h>
#include <stdio.h>
#include <string.h>
#include <algorithm>
#include <string>
#include <vector>

static std::vector<std::string> pictureNames(const char* folder)
{
    std::vector<std::string> names;
    DIR* dir = opendir(folder);
    if (!dir) return names;
    while (struct dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name.size() > 9 && name.compare(0, 5, "beat-") == 0 && name.compare(name.size() - 4, 4, ".png") == 0)
            names.push_back(name);
    }
    closedir(dir);
    // By beat, not by spelling.
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return atof(a.c_str() + 5) < atof(b.c_str() + 5); });
    return names;
}

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: halvoren-compare REFERENCE_DIR NEW_DIR\n");
        return 2;
    }
    std::vector<std::string> names = pictureNames(argv[1]);
    if (names.empty()) {
        fprintf(stderr, "halvoren-compare: no beat-*.png in %s\n", argv[1]);
        return 2;
    }
    printf("%-20s %10s %9s %11s\n", "picture", "mean diff", "PSNR dB", "worst block");
    int failed = 0;
    for (const std::string& name : names) {
        Image reference, picture;
        if (!readPng(std::string(argv[1]) + "/" + name, &reference)) {
            printf("%-20s unreadable reference\n", name.c_str());
            failed++;
            continue;
        }
        if (!readPng(std::string(argv[2]) + "/" + name, &picture)) {
            printf("%-20s missing or unreadable in %s\n", name.c_str(), argv[2]);
            failed++;
            continue;
        }
        ImageDifference d = compareImages(reference, picture);
        if (!d.sameSize) {
            printf("%-20s size %dx%d, reference %dx%d  FAIL\n", name.c_str(), picture.width, picture.height,
                   reference.width, reference.height);
            failed++;
            continue;
        }
        bool pass = samePicture(d);
        failed += pass ? 0 : 1;
        char psnr[16];
        if (isinf(d.psnr)) snprintf(psnr, sizeof psnr, "same");
        else snprintf(psnr, sizeof psnr, "%.1f", d.psnr);
        printf("%-20s %10.3f %9s %11.2f%s\n", name.c_str(), d.meanChannel, psnr, d.worstBlockMean, pass ? "" : "  FAIL");
    }
    printf("%zu pictures, %d failed (limits: mean %.1f, PSNR %.0f dB, block %.0f)\n", names.size(), failed,
           SAME_MAX_MEAN, SAME_MIN_PSNR, SAME_MAX_BLOCK_MEAN);
    return failed ? 1 : 0;
}

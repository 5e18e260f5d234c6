// png_loader: placeholder until the decoder lands in the next commit.
#include "util/texture/png_loader.h"
#include "platform/platform.h"
bool loadPng(const char*, Texture&)
{
    platformMessageBox("PNG decoding is not available in this build", "ERROR", BOX_OK);
    return false;
}

// filewatch on Windows: not watched yet, so creator mode says F5 reloads. See filewatch.h.
#include "platform/filewatch.h"

bool fileWatchStart(const char*) { return false; }
bool fileWatchChanged() { return false; }
void fileWatchStop() {}

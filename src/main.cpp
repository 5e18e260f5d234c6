// halvoren: the show. Start-up, window and main loop come with the show loop.
#include "platform/report.h"

int main()
{
    return 0;
}

// Whether a ResultsWindow command is under way, so that no search changes its list.
#include "../app/drossweeper.h"

static bool commandRunning;

bool IsResultsCommandRunning(void)
{
    return commandRunning;
}

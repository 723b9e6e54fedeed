// Whether a ResultsWindow command is under way (so that no search changes its
// list), and the cursor that both commands share.
#include "../app/drossweeper.h"

static bool commandRunning;

bool IsResultsCommandRunning(void)
{
    return commandRunning;
}

void BeginResultsCommand(void)
{
    commandRunning = true;
    EnableResultsControls(false);
}

void EndResultsCommand(void)
{
    EnableResultsControls(true);
    commandRunning = false;
}

HCURSOR ShowHourglass(void)
{
    return SetCursor(LoadCursorA(NULL, IDC_WAIT));
}

void RestoreCursor(HCURSOR previous)
{
    SetCursor(previous);
}

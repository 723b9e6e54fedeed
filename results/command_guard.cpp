// Whether a ResultsWindow command is under way (so that no search changes its
// list), and the cursor and messages that both commands share.
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

void Tell(HWND owner, const char *text, UINT style)
{
    MessageBoxA(owner, text, ProductTitle, style);
}

HCURSOR ShowHourglass(void)
{
    return SetCursor(LoadCursorA(NULL, IDC_WAIT));
}

void RestoreCursor(HCURSOR previous)
{
    SetCursor(previous);
}

// Whether a ResultsWindow command is under way (so that no search changes its
// list), and the cursor that both commands share.
#include "../app/drossweeper.h"
#include "../app/resources/resource.h"

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
    commandRunning = false;
    EnableResultsControls(true);
    // A command refused because a search runs leaves that search's buttons off.
    EnterCriticalSection(&app.progressLock);
    bool searching = app.searching != 0;
    LeaveCriticalSection(&app.progressLock);
    if (searching) {
        EnableWindow(GetDlgItem(app.resultsWindow, IDC_RESULTS_DELETE), FALSE);
        EnableWindow(GetDlgItem(app.resultsWindow, IDC_RESULTS_SAVE), FALSE);
    }
}

bool StartListJob(HWND owner, Job job, const Selection *selection)
{
    if (!StartJob(owner, job))
        return false;
    if (SelectionStillListed(selection))
        return true;
    EndJob();
    Tell(owner, "ERROR - The list has changed since the files were selected.\n\nSelect them again.",
         MB_ICONWARNING | MB_OK);
    return false;
}

HCURSOR ShowHourglass(void)
{
    return SetCursor(LoadCursorA(NULL, IDC_WAIT));
}

void RestoreCursor(HCURSOR previous)
{
    SetCursor(previous);
}

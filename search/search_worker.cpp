// The background search thread and its start.
#include "../app/drossweeper.h"
#include "../app/resources/resource.h"

static void EnableResultsButtons(HWND results, BOOL enable)
{
    EnableWindow(GetDlgItem(results, IDC_RESULTS_DELETE), enable);
    EnableWindow(GetDlgItem(results, IDC_RESULTS_SAVE), enable);
}

static DWORD WINAPI SearchWorker(LPVOID)
{
    HWND results = app.resultsWindow;

    // The UI thread disabled the buttons and list painting, and cleared the
    // counts, before this thread ran.
    SendMessageA(GetDlgItem(results, IDC_RESULTS_LIST), LB_RESETCONTENT, 0, 0);
    SetWindowTextA(GetDlgItem(results, IDC_RESULTS_SIZE), "0 Files [0.00 MB]");

    DirectoryWalk(app.searchRoot);
    SendMessageA(results, WM_SEARCH_ENDED, 0, 0);

    FLASHWINFO flash = {};
    flash.cbSize = sizeof flash;
    flash.hwnd = app.mainWindow;
    flash.dwFlags = FLASHW_ALL;
    flash.uCount = 1;
    flash.dwTimeout = 1000;
    FlashWindowEx(&flash);

    EnterCriticalSection(&app.progressLock);
    CopyText(app.currentFolderText, sizeof app.currentFolderText, "Idle.");
    app.searching = 0;
    LeaveCriticalSection(&app.progressLock);
    // Shown now rather than at the next status tick, up to 250 ms later.
    PostMessageA(app.mainWindow, WM_TIMER, 0, 0);

    // The UI thread enables the buttons, unless a command holds the list.
    SendMessageA(results, WM_SEARCH_IDLE, 0, 0);

    EnterCriticalSection(&app.progressLock);
    app.stopRequested = 0;
    LeaveCriticalSection(&app.progressLock);

    // The walk's failure message promised the end of the program: ask the UI
    // thread for its orderly exit, which waits for this thread to finish.
    if (TakeSearchFailure())
        PostMessageA(app.mainWindow, WM_SEARCH_FATAL, 0, 0);
    return 1;
}

bool StartSearchWorker(void)
{
    // A stale stop (confirmed after the last search had ended) must not stop
    // this one. It is cleared here, before the thread exists, and not by the
    // thread itself: an exit requested before the thread got going would
    // otherwise be lost and the exit would wait for the whole walk.
    EnterCriticalSection(&app.progressLock);
    app.stopRequested = 0;
    LeaveCriticalSection(&app.progressLock);

    if (app.workerThread) {
        CloseHandle(app.workerThread);
        app.workerThread = NULL;
    }
    // The buttons go off here, on the UI thread, before the thread runs: a
    // command started by a click in between would read a list that the search
    // is about to empty. The list's painting is this thread's to switch, too.
    app.workerThread = CreateThread(NULL, 0, SearchWorker, NULL, CREATE_SUSPENDED, &app.workerThreadId);
    if (!app.workerThread)
        return false;
    NoteListChange();
    EnableResultsButtons(app.resultsWindow, FALSE);
    SuspendListPainting();
    // The counts are the new search's from the first status shown after GO.
    EnterCriticalSection(&app.progressLock);
    app.searching = 1;
    app.foundCount = 0;
    app.searchedCount = 0;
    app.totalBytes = 0;
    app.foldersNotSearched = 0;
    app.filesNotSearched = 0;
    app.notSearchedText[0] = '\0';
    FormatFoundText(app.foundText, sizeof app.foundText, 0, 0);
    CopyText(app.currentFolderText, sizeof app.currentFolderText, app.searchRoot);
    LeaveCriticalSection(&app.progressLock);
    ResumeThread(app.workerThread);
    PostMessageA(app.mainWindow, WM_TIMER, 0, 0);
    return true;
}

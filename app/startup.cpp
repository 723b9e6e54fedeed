// Start-up, the main message loop with its status timer, and teardown.
#include "drossweeper.h"
#include "resources/resource.h"

#include <commctrl.h>
#include <objbase.h>

static const UINT_PTR STATUS_TIMER = 0;
static const UINT STATUS_TIMER_MS = 250;

int RunProgram(HINSTANCE instance)
{
    InitAppState();
    app.instance = instance;
    CoInitialize(NULL);
    InitCommonControls();
    app.appIcon = LoadIconA(app.instance, MAKEINTRESOURCEA(IDI_APP));

    // Stored only once the dialog exists: its initialisation sees a null handle.
    HWND window = CreateDialogParamA(app.instance, MAKEINTRESOURCEA(IDD_MAIN), NULL, MainWindowProc, 0);
    app.mainWindow = window;
    if (!app.mainWindow) {
        MessageBoxA(NULL, "ERROR: could not create dialog.", ProductTitle, MB_ICONWARNING);
        DestroyIcon(app.appIcon);
        CoUninitialize();
        return 0;
    }
    if (!SetTimer(app.mainWindow, STATUS_TIMER, STATUS_TIMER_MS, NULL)) {
        MessageBoxA(app.mainWindow, "ERROR - Could not create timer!\n\nExiting.", ProductTitle, MB_ICONERROR);
        EndDialog(app.mainWindow, 0);
        DestroyWindow(app.mainWindow);
        DestroyIcon(app.appIcon);
        CoUninitialize();
        return 0;
    }
    // Show the status texts at once rather than after the first interval.
    PostMessageA(app.mainWindow, WM_TIMER, 0, 0);

    do
        WaitMessage();
    while (PumpPendingMessages());

    KillTimer(app.mainWindow, STATUS_TIMER);
    EndDialog(app.mainWindow, 0);
    DestroyWindow(app.mainWindow);
    DestroyIcon(app.appIcon);
    // Every path to the quit request waited for the worker, so the lock is free.
    DeleteCriticalSection(&app.progressLock);
    if (app.workerThread)
        CloseHandle(app.workerThread);
    if (app.deleteThread)
        CloseHandle(app.deleteThread);
    CoUninitialize();
    return 1;
}

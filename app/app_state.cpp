// The process-wide state record, the message pump and the orderly exit.
#include "drossweeper.h"

#include <string.h>

AppState app;
const char ProductTitle[] = PRODUCT_TITLE;

void CopyText(char *dest, size_t destSize, const char *src)
{
    if (destSize == 0)
        return;
    size_t length = strnlen(src, destSize - 1);
    memcpy(dest, src, length);
    dest[length] = '\0';
}

void InitAppState(void)
{
    memset(&app, 0, sizeof app);
    memcpy(app.signature, CompoundFileSignature, sizeof app.signature);
    InitializeCriticalSection(&app.progressLock);
}

bool PumpPendingMessages(void)
{
    bool result = true;
    MSG msg;

    while (PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE)) {
        GetMessageA(&msg, NULL, 0, 0);
        // Only the MainWindow gets dialog keyboard handling.
        if (!IsDialogMessageA(app.mainWindow, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (msg.message == WM_QUIT)
            result = false;
    }
    return result;
}

bool IsWorkerRunning(void)
{
    if (!GetExitCodeThread(app.workerThread, &app.workerExitCode))
        return false;
    return app.workerExitCode == STILL_ACTIVE;
}

void StopSearchAndQuit(void)
{
    EnterCriticalSection(&app.progressLock);
    app.stopRequested = 1;
    LeaveCriticalSection(&app.progressLock);

    // Keep dispatching: the worker's window calls must complete for it to
    // reach its next stop check and end.
    if (GetExitCodeThread(app.workerThread, &app.workerExitCode)) {
        while (app.workerExitCode == STILL_ACTIVE) {
            if (!PumpPendingMessages())
                PostQuitMessage(0);
            if (!GetExitCodeThread(app.workerThread, &app.workerExitCode))
                break;
        }
    }
    PostQuitMessage(0);
}

static bool IsQuitPending(void)
{
    MSG msg;
    return PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_NOREMOVE) != 0;
}

int AskUser(HWND owner, const char *question, UINT style)
{
    int answer = MessageBoxA(owner, question, ProductTitle, style);
    // Once the exit has been confirmed, every box closes at once with an
    // answer nobody gave: it must not let a command go on.
    return IsQuitPending() ? 0 : answer;
}

INT_PTR AnswerExitRequest(HWND window, UINT message)
{
    if (MessageBoxA(window, "Exit?\n\nContinue?", ProductTitle, MB_ICONWARNING | MB_YESNO) == IDNO)
        // A refused end of session is answered TRUE, the message result left at 0.
        return message == WM_QUERYENDSESSION;
    StopSearchAndQuit();
    return FALSE;
}

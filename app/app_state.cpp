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
    InitWalkLocks();
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

// Keeps dispatching until the thread has ended: its window calls must complete
// for it to reach its next stop check and end. A quit request taken from the
// queue meanwhile is posted again.
void DispatchUntilEnded(HANDLE thread, DWORD *exitCode)
{
    if (!GetExitCodeThread(thread, exitCode))
        return;
    while (*exitCode == STILL_ACTIVE) {
        if (!PumpPendingMessages())
            PostQuitMessage(0);
        if (!GetExitCodeThread(thread, exitCode))
            break;
    }
}

void StopSearchAndQuit(void)
{
    app.exitConfirmed = 1;
    EnterCriticalSection(&app.progressLock);
    app.stopRequested = 1;
    LeaveCriticalSection(&app.progressLock);
    DispatchUntilEnded(app.workerThread, &app.workerExitCode);
    StopDeleteWorker();
    PostQuitMessage(0);
}

bool ExitConfirmed(void)
{
    return app.exitConfirmed != 0;
}

// Every message box and common dialog runs a message loop of its own, in which
// the user may confirm the exit. The quit request then closes it with an
// answer nobody gave (under wine a box says IDOK and a save dialog returns its
// default name as if Save had been pressed), so no answer counts once the exit
// is confirmed, and no further box is shown.
int AskUser(HWND owner, const char *question, UINT style)
{
    if (ExitConfirmed())
        return 0;
    int answer = MessageBoxA(owner, question, ProductTitle, style);
    return ExitConfirmed() ? 0 : answer;
}

void Tell(HWND owner, const char *text, UINT style)
{
    AskUser(owner, text, style);
}

bool ExitQuestionOpen(void)
{
    return app.exitQuestionsOpen > 0;
}

// A box opened while "Exit?" waits (a second window's close, a command of
// the List window) runs its loop inside the question's: the question's own
// answer would wait until that box was closed too. So its Yes ends the
// program at once, from inside the box; the quit request then closes every
// box and dialog that waits.
static const char EXIT_BOX_PROC[] = "DrossweeperBoxProc";
static HHOOK exitBoxHook;

static LRESULT CALLBACK ExitBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam)
{
    WNDPROC ownProc = (WNDPROC)GetPropA(box, EXIT_BOX_PROC);
    LRESULT result = CallWindowProcA(ownProc, box, message, wParam, lParam);
    if (message == WM_COMMAND && LOWORD(wParam) == IDYES && !ExitConfirmed())
        StopSearchAndQuit();
    else if (message == WM_NCDESTROY)
        RemovePropA(box, EXIT_BOX_PROC);
    return result;
}

// Takes the question's box as it is created, before anyone can answer it:
// only a dialog window owned by the question's window, and never one taken
// before (a window hooked twice would call itself). Any other window created
// or activated meanwhile (the List window shown by a search's end) is left.
static HWND exitBoxOwner;

static bool IsExitBox(HWND window, const CBT_CREATEWNDA *create)
{
    char className[8] = "";
    return create->lpcs->hwndParent == exitBoxOwner && GetClassNameA(window, className, sizeof className) &&
           strcmp(className, "#32770") == 0 && !GetPropA(window, EXIT_BOX_PROC);
}

static LRESULT CALLBACK CatchExitBox(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND && exitBoxHook && IsExitBox((HWND)wParam, (const CBT_CREATEWNDA *)lParam)) {
        HWND box = (HWND)wParam;
        SetPropA(box, EXIT_BOX_PROC, (HANDLE)GetWindowLongPtrA(box, GWLP_WNDPROC));
        SetWindowLongPtrA(box, GWLP_WNDPROC, (LONG_PTR)ExitBoxProc);
        UnhookWindowsHookEx(exitBoxHook);
        exitBoxHook = NULL;
        return 0;
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}

// One hook for each question, from just before its box is created until it
// is caught: a question opened over another has its own.
static int AskExitQuestion(HWND window)
{
    if (ExitConfirmed())
        return 0;
    exitBoxOwner = window;
    exitBoxHook = SetWindowsHookExA(WH_CBT, CatchExitBox, NULL, GetCurrentThreadId());
    app.exitQuestionsOpen++;
    int answer = AskUser(window, "Exit?\n\nContinue?", MB_ICONWARNING | MB_YESNO);
    app.exitQuestionsOpen--;
    if (exitBoxHook)
        UnhookWindowsHookEx(exitBoxHook);
    exitBoxHook = NULL;
    return answer;
}

INT_PTR AnswerExitRequest(HWND window, UINT message)
{
    int answer = AskExitQuestion(window);
    if (answer == IDNO)
        // A refused end of session is answered TRUE, the message result left at 0.
        return message == WM_QUERYENDSESSION;
    StopSearchAndQuit();
    return FALSE;
}

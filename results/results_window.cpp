// The ResultsWindow: the sorted list of found files and its two commands.
#include "../app/drossweeper.h"
#include "../app/resources/resource.h"

#include <stdlib.h>
#include <string.h>

static const WPARAM LIST_EXTENT_PIXELS = 3000;

void EnableResultsControls(bool enable)
{
    EnableWindow(GetDlgItem(app.resultsWindow, IDC_RESULTS_DELETE), enable);
    EnableWindow(GetDlgItem(app.resultsWindow, IDC_RESULTS_SAVE), enable);
    EnableWindow(GetDlgItem(app.resultsWindow, IDC_RESULTS_LIST), enable);
}

// Under wine a visible sorted list repaints itself on every addition, some
// milliseconds each: a search with many hits spent most of its time there. So
// while a search runs the list does not paint itself, and the status tick
// paints it four times a second. The paint state belongs to this (the UI)
// thread alone: the search's start suspends painting, its end resumes it.
static bool listPaintingSuspended;

static void SetListRedraw(BOOL redraw)
{
    SendDlgItemMessageA(app.resultsWindow, IDC_RESULTS_LIST, WM_SETREDRAW, redraw, 0);
}

static void RedrawList(UINT flags)
{
    RedrawWindow(GetDlgItem(app.resultsWindow, IDC_RESULTS_LIST), NULL, NULL,
                 RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN | flags);
}

void SuspendListPainting(void)
{
    listPaintingSuspended = true;
    SetListRedraw(FALSE);
}

void ResumeListPainting(void)
{
    if (!listPaintingSuspended)
        return;
    listPaintingSuspended = false;
    SetListRedraw(TRUE);
    RedrawList(0);
}

void RepaintSuspendedList(void)
{
    if (!listPaintingSuspended)
        return;
    SetListRedraw(TRUE);
    RedrawList(RDW_UPDATENOW);
    SetListRedraw(FALSE);
}

bool ReadSelection(HWND owner, Selection *selection)
{
    HWND list = GetDlgItem(app.resultsWindow, IDC_RESULTS_LIST);
    selection->indices = NULL;
    selection->count = 0;
    LRESULT count = SendMessageA(list, LB_GETSELCOUNT, 0, 0);
    if (count == 0 || count == LB_ERR) {
        Tell(owner, "ERROR - Nothing selected.", MB_ICONWARNING | MB_OK);
        return false;
    }
    int *indices = (int *)malloc((size_t)count * sizeof *indices);
    if (!indices) {
        Tell(owner, "ERROR - Could not allocate memory. Please close other applications and try again.",
             MB_ICONWARNING | MB_OK);
        return false;
    }
    LRESULT read = SendMessageA(list, LB_GETSELITEMS, (WPARAM)count, (LPARAM)indices);
    if (read == LB_ERR || read != count) {
        Tell(owner, "ERROR - Did not get all selected items.", MB_ICONWARNING | MB_OK);
        free(indices);
        return false;
    }
    selection->indices = indices;
    selection->count = (int)count;
    return true;
}

void ReleaseSelection(Selection *selection)
{
    free(selection->indices);
    selection->indices = NULL;
    selection->count = 0;
}

bool ReadEntryText(int index, char *text, size_t textSize)
{
    HWND list = GetDlgItem(app.resultsWindow, IDC_RESULTS_LIST);
    // Measured first: LB_GETTEXT writes the whole entry, whatever the buffer.
    LRESULT length = SendMessageA(list, LB_GETTEXTLEN, (WPARAM)index, 0);
    if (length == LB_ERR || (size_t)length >= textSize)
        return false;
    return SendMessageA(list, LB_GETTEXT, (WPARAM)index, (LPARAM)text) != LB_ERR;
}

static void InitResultsWindow(HWND window)
{
    EnableMenuItem(GetSystemMenu(window, FALSE), SC_CLOSE, MF_GRAYED);
    FrameWindow(window, "List", false, SW_SHOWNORMAL);
    SendDlgItemMessageA(window, IDC_RESULTS_LIST, LB_SETHORIZONTALEXTENT, LIST_EXTENT_PIXELS, 0);
}

// The matches that the search has queued since the last call.
static void AddMatches(HWND window)
{
    const MatchBatch *batch = TakeMatchBatch();
    if (batch->count == 0)
        return;
    HWND list = GetDlgItem(window, IDC_RESULTS_LIST);
    const char *path = batch->paths;
    for (int i = 0; i < batch->count; i++) {
        SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)path);
        path += strlen(path) + 1;
    }
    SetDlgItemTextA(window, IDC_RESULTS_SIZE, batch->sizeText);
}

INT_PTR CALLBACK ResultsWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitResultsWindow(window);
        return FALSE;
    case WM_CLOSE:
    case WM_QUERYENDSESSION:
        return AnswerExitRequest(window, message);
    case WM_SEARCH_MATCHES:
        AddMatches(window);
        return FALSE;
    case WM_SEARCH_ENDED:
        ResumeListPainting();
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_RESULTS_DELETE:
            DeleteRun();
            break;
        case IDC_RESULTS_SAVE:
            ListExport();
            break;
        }
        return FALSE;
    }
    return FALSE;
}

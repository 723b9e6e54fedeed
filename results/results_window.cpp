// The ResultsWindow: the sorted list of found files and its two commands.
#include "../app/drossweeper.h"
#include "../app/resources/resource.h"

static const WPARAM LIST_EXTENT_PIXELS = 3000;

void EnableResultsControls(bool enable)
{
    EnableWindow(GetDlgItem(app.resultsWindow, IDC_RESULTS_DELETE), enable);
    EnableWindow(GetDlgItem(app.resultsWindow, IDC_RESULTS_SAVE), enable);
    EnableWindow(GetDlgItem(app.resultsWindow, IDC_RESULTS_LIST), enable);
}

static void InitResultsWindow(HWND window)
{
    EnableMenuItem(GetSystemMenu(window, FALSE), SC_CLOSE, MF_GRAYED);
    FrameWindow(window, "List", false, SW_SHOWNORMAL);
    SendDlgItemMessageA(window, IDC_RESULTS_LIST, LB_SETHORIZONTALEXTENT, LIST_EXTENT_PIXELS, 0);
}

INT_PTR CALLBACK ResultsWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitResultsWindow(window);
        return FALSE;
    case WM_CLOSE:
        if (ConfirmExit(window))
            StopSearchAndQuit();
        return FALSE;
    case WM_QUERYENDSESSION:
        if (!ConfirmExit(window))
            return TRUE;    // message result stays 0: the end of the session is refused
        StopSearchAndQuit();
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

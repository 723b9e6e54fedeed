// The LinksDialog: where the program's shortcut exists, and changing that.
#include "../app/drossweeper.h"

INT_PTR CALLBACK LinksDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        FrameWindow(window, "Links", true, SW_SHOWNORMAL);
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK)
            EndDialog(window, 0);
        return FALSE;
    case WM_CLOSE:
        EndDialog(window, 0);
        return FALSE;
    }
    return FALSE;
}

// The DonateDialog.
#include "../app/drossweeper.h"

INT_PTR CALLBACK DonateDialogProc(HWND window, UINT message, WPARAM, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        FrameWindow(window, "Donate", true, SW_SHOWNORMAL);
        return FALSE;
    case WM_CLOSE:
        EndDialog(window, 0);
        return FALSE;
    }
    return FALSE;
}

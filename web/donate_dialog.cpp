// The DonateDialog: the donation address to copy, and a button that opens it.
#include "../app/drossweeper.h"
#include "../app/resources/resource.h"

const char DonationAddress[] =
    "https://payments.example/cgi-bin/webscr?cmd=_xclick&business=donate@quillmoor.example"
    "&no_note=1&currency_code=GBP&tax=0&bn=PP-DonationsBF";

// The button's picture, from initialisation to WM_CLOSE.
static HBITMAP donateBitmap;

static void InitDonateDialog(HWND window)
{
    FrameWindow(window, "Donate", true, SW_SHOWNORMAL);
    donateBitmap = (HBITMAP)LoadImageA(app.instance, MAKEINTRESOURCEA(IDB_DONATE), IMAGE_BITMAP, 0, 0,
                                       LR_DEFAULTCOLOR);
    if (donateBitmap)
        SendDlgItemMessageA(window, IDC_DONATE_BUTTON, BM_SETIMAGE, IMAGE_BITMAP, (LPARAM)donateBitmap);
    else
        MessageBoxA(window, "ERROR - Could not load bitmap.", ProductTitle, MB_ICONWARNING);
    SetDlgItemTextA(window, IDC_DONATE_ADDRESS, DonationAddress);
    SendDlgItemMessageA(window, IDC_DONATE_ADDRESS, EM_SETSEL, 0, (LPARAM)(sizeof DonationAddress - 1));
}

INT_PTR CALLBACK DonateDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitDonateDialog(window);
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_DONATE_BUTTON)
            OpenAddress(DonationAddress);
        return FALSE;
    case WM_CLOSE:
        if (donateBitmap)
            DeleteObject(donateBitmap);
        donateBitmap = NULL;
        EndDialog(window, 0);
        return FALSE;
    }
    return FALSE;
}

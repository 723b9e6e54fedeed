// The LinksDialog: where the program's shortcut exists, and changing that.
#include "../app/drossweeper.h"
#include "../app/resources/resource.h"

#include <shlwapi.h>

static void RefreshLinkBoxes(HWND dialog)
{
    HCURSOR previous = ShowHourglass();
    for (int i = 0; i < LINK_LOCATION_COUNT; i++) {
        const LinkLocation &location = LinkLocationTable[i];
        int box = LinkLocationBindings[i].checkBox;
        if (!location.valid || !PathIsDirectoryA(location.path)) {
            EnableWindow(GetDlgItem(dialog, box), FALSE);
            continue;
        }
        EnableWindow(GetDlgItem(dialog, box), TRUE);
        char linkPath[PATH_TEXT_SIZE];
        bool own = BuildLinkPath(linkPath, sizeof linkPath, location.path) && IsOwnLink(linkPath);
        CheckDlgButton(dialog, box, own ? BST_CHECKED : BST_UNCHECKED);
    }
    RestoreCursor(previous);
}

static void ProcessLinks(HWND dialog)
{
    if (AskUser(dialog, "Process the specified links?", MB_YESNO | MB_ICONWARNING) != IDYES ||
        !StartJob(dialog, JOB_LINKS))
        return;
    // The boxes as the user left them when answering Yes: what a question on
    // the way shows must not change what the run does.
    bool checked[LINK_LOCATION_COUNT];
    for (int i = 0; i < LINK_LOCATION_COUNT; i++)
        checked[i] = IsDlgButtonChecked(dialog, LinkLocationBindings[i].checkBox) != BST_UNCHECKED;
    HCURSOR previous = ShowHourglass();
    for (int i = 0; i < LINK_LOCATION_COUNT && !ExitConfirmed(); i++) {
        const char *folder = LinkLocationTable[i].path;
        if (checked[i])
            CreateLink(dialog, folder);
        else
            DeleteLink(folder);
    }
    RestoreCursor(previous);
    EndJob();
    if (ExitConfirmed())
        return;
    // Posted: the boxes show the new state behind the completion message.
    PostMessageA(dialog, WM_LINKS_REFRESH, 0, 0);
    Tell(dialog, "Processing complete.", MB_ICONINFORMATION);
}

INT_PTR CALLBACK LinksDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        FrameWindow(window, "Links", true, SW_SHOWNORMAL);
        ReadLinkLocations();
        SendMessageA(window, WM_LINKS_REFRESH, 0, 0);
        return FALSE;
    case WM_LINKS_REFRESH:
        RefreshLinkBoxes(window);
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_LINKS_PROCESS:
            ProcessLinks(window);
            break;
        case IDOK:
        case IDCANCEL:
            EndDialog(window, 0);
            break;
        }
        return FALSE;
    case WM_CLOSE:
    case WM_DESTROY:
        EndDialog(window, 0);
        return FALSE;
    }
    return FALSE;
}

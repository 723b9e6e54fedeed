// The shell's folder browser, opened with the root-folder field's folder selected.
#include "../app/drossweeper.h"

#include <shlobj.h>

// Selects the initial folder once the browser exists.
static int CALLBACK SelectInitialFolder(HWND browser, UINT message, LPARAM, LPARAM data)
{
    if (message != BFFM_INITIALIZED)
        return 0;
    const WCHAR *folder = (const WCHAR *)data;
    IShellFolder *desktop = NULL;
    if (FAILED(SHGetDesktopFolder(&desktop)))
        return 0;
    LPITEMIDLIST item = NULL;
    if (SUCCEEDED(desktop->ParseDisplayName(NULL, NULL, (WCHAR *)folder, NULL, &item, NULL))) {
        SendMessageA(browser, BFFM_SETSELECTIONA, FALSE, (LPARAM)item);
        CoTaskMemFree(item);
    }
    desktop->Release();
    return 0;
}

// The chosen folder's path comes wide: through the code page, a name it
// cannot hold would come back as another folder's (a best-fit stand-in).
bool PickFolder(HWND owner, const WCHAR *initialFolder, WCHAR *chosen, size_t chosenSize)
{
    // The browser would hold the program's end until someone closed it.
    if (ExitConfirmed())
        return false;
    // The initial text is read during initialisation only: copy it, since the
    // caller may pass one buffer both ways.
    WCHAR initial[ROOT_TEXT_SIZE];
    char displayName[PATH_TEXT_SIZE];
    WCHAR path[MAX_PATH];
    lstrcpynW(initial, initialFolder, ROOT_TEXT_SIZE);

    BROWSEINFOA request;
    ZeroMemory(&request, sizeof request);
    request.hwndOwner = owner;
    request.pszDisplayName = displayName;
    request.lpszTitle = ProductTitle;
    request.ulFlags = BIF_VALIDATE | BIF_NEWDIALOGSTYLE | BIF_NONEWFOLDERBUTTON;
    request.lpfn = SelectInitialFolder;
    request.lParam = (LPARAM)initial;
    LPITEMIDLIST item = SHBrowseForFolderA(&request);
    // A browser closed by the program's exit chose nothing.
    bool found = item && !ExitConfirmed() && SHGetPathFromIDListW(item, path) && wcslen(path) < chosenSize;
    if (item)
        CoTaskMemFree(item);
    if (found)
        lstrcpynW(chosen, path, (int)chosenSize);
    return found;
}

// The shell's folder browser, opened with the root-folder field's folder selected.
#include "../app/drossweeper.h"

#include <shlobj.h>

// Selects the initial folder once the browser exists.
static int CALLBACK SelectInitialFolder(HWND browser, UINT message, LPARAM, LPARAM data)
{
    if (message != BFFM_INITIALIZED)
        return 0;
    char folder[PATH_TEXT_SIZE];
    wchar_t wide[PATH_TEXT_SIZE];
    CopyText(folder, sizeof folder, (const char *)data);
    if (!MultiByteToWideChar(CP_ACP, 0, folder, -1, wide, PATH_TEXT_SIZE))
        return 0;
    IShellFolder *desktop = NULL;
    if (FAILED(SHGetDesktopFolder(&desktop)))
        return 0;
    LPITEMIDLIST item = NULL;
    if (SUCCEEDED(desktop->ParseDisplayName(NULL, NULL, wide, NULL, &item, NULL))) {
        SendMessageA(browser, BFFM_SETSELECTIONA, FALSE, (LPARAM)item);
        CoTaskMemFree(item);
    }
    desktop->Release();
    return 0;
}

bool PickFolder(HWND owner, const char *initialFolder, char *chosen, size_t chosenSize)
{
    // The browser would hold the program's end until someone closed it.
    if (ExitConfirmed())
        return false;
    // The initial text is read during initialisation only: copy it, since the
    // caller may pass one buffer both ways.
    char initial[PATH_TEXT_SIZE];
    char path[PATH_TEXT_SIZE];
    CopyText(initial, sizeof initial, initialFolder);

    BROWSEINFOA request;
    ZeroMemory(&request, sizeof request);
    request.hwndOwner = owner;
    request.pszDisplayName = path;
    request.lpszTitle = ProductTitle;
    request.ulFlags = BIF_VALIDATE | BIF_NEWDIALOGSTYLE | BIF_NONEWFOLDERBUTTON;
    request.lpfn = SelectInitialFolder;
    request.lParam = (LPARAM)initial;
    LPITEMIDLIST item = SHBrowseForFolderA(&request);
    // A browser closed by the program's exit chose nothing.
    bool found = item && !ExitConfirmed() && SHGetPathFromIDListA(item, path);
    if (item)
        CoTaskMemFree(item);
    if (found)
        CopyText(chosen, chosenSize, path);
    return found;
}

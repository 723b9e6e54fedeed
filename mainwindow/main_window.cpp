// The MainWindow: folder field, GO and STOP, live status and the commands.
#include "../app/drossweeper.h"
#include "../app/resources/resource.h"

#include <ctype.h>
#include <wctype.h>
#include <wchar.h>
#include <shellapi.h>
#include <stdio.h>
#include <string.h>

const char ProductSiteAddress[] = "https://quillmoor.example/software/drossweeper-thumbs.db";
static const char COPYRIGHT_LINE[] = "\xA9 2026 Quillmoor. All rights reserved.";
static const char GO_QUESTION[] =
    "Search for files named... 'THUMBS.DB'\n\n\n\n"
    "NOTE: The search is recursive (will include subfolders).\n"
    "NOTE: The search is *not* case sensitive.\n"
    "NOTE: The search will ignore 'Read-Only' files.\n\n\n\n"
    "Continue?";

static const char ROOT_TOO_LONG[] = "ERROR: Path too long!\n\nA folder path holds at most 259 characters.";
static const char ROOT_INVALID[] = "ERROR: Invalid path!\n\nThe text in the folder field is not a folder path.";
static const char ROOT_UNNAMEABLE[] =
    "ERROR: Folder name not supported!\n\nThe folder's path cannot be written in this program's code page "
    "(some name in it cannot be held, or Windows would read it as another), and its volume keeps no short "
    "name for it.\n\nNothing was searched.";

// Group-box captions of the activity spinner, phases 0 to 3.
static const char *const INFO_SPINNER[4] = { "Information \\", "Information |", "Information /", "Information |" };
static const char *const FOLDER_SPINNER[4] = { "Folder \\", "Folder |", "Folder /", "Folder |" };

static int Ask(HWND owner, const char *question)
{
    return AskUser(owner, question, MB_ICONWARNING | MB_YESNO);
}

static void ShowError(HWND owner, const char *text)
{
    Tell(owner, text, MB_ICONWARNING | MB_OK);
}

static void InitMainWindow(HWND window)
{
    FrameWindow(window, "Main", false, SW_SHOWNORMAL);
    SetDlgItemTextA(window, IDC_MAIN_APPNAME, ProductTitle);
    SetDlgItemTextA(window, IDC_MAIN_COPYRIGHT, COPYRIGHT_LINE);
    SetDlgItemTextA(window, IDC_MAIN_SITE, ProductSiteAddress);
    SendDlgItemMessageA(window, IDC_MAIN_SITE, EM_SETSEL, 0, (LPARAM)(sizeof ProductSiteAddress - 1));
    SetDlgItemTextA(window, IDC_MAIN_FOLDER, "C:\\");

    app.resultsWindow = CreateDialogParamA(app.instance, MAKEINTRESOURCEA(IDD_RESULTS), NULL,
                                           ResultsWindowProc, 0);
    if (!app.resultsWindow) {
        // No owner: mainWindow is not set while this dialog initialises.
        MessageBoxA(NULL, "ERROR: could not create dialog.", ProductTitle, MB_ICONWARNING | MB_OK);
        PostQuitMessage(0);
    }
}

static void OpenContainingFolder(void)
{
    char program[PATH_TEXT_SIZE];
    char parameters[PATH_TEXT_SIZE + 16];
    if (ExitConfirmed())
        return;     // a click taken from the queue after the exit was confirmed
    DWORD length = GetModuleFileNameA(NULL, program, sizeof program);
    if (length == 0 || length >= sizeof program)
        return;     // a cut path would select some other file
    snprintf(parameters, sizeof parameters, "/select,\"%s\"", program);
    ShellExecuteA(NULL, NULL, "Explorer", parameters, NULL, SW_SHOWNORMAL);
}

static void ShowRootRefusal(HWND owner, RootResult result)
{
    ShowError(owner, result == ROOT_TOO_LONG_PATH   ? ROOT_TOO_LONG
                     : result == ROOT_NOT_NAMEABLE  ? ROOT_UNNAMEABLE
                                                    : ROOT_INVALID);
}

// The field, read wide: an ANSI read would hand over the code page's
// stand-ins ("Lodz" for a folder named with Polish letters). False when the
// text does not fit the buffer.
static bool ReadFolderField(HWND window, WCHAR *text, int textSize)
{
    HWND field = GetDlgItem(window, IDC_MAIN_FOLDER);
    if (GetWindowTextLengthW(field) >= textSize)
        return false;
    GetWindowTextW(field, text, textSize);
    return true;
}

static void ShowRootInField(HWND window, const char *root)
{
    char shown[PATH_TEXT_SIZE];
    if (GetDlgItemTextA(window, IDC_MAIN_FOLDER, shown, sizeof shown) >= sizeof shown - 1 || strcmp(shown, root))
        SetDlgItemTextA(window, IDC_MAIN_FOLDER, root);
}

static void BrowseForRoot(HWND window)
{
    WCHAR folder[ROOT_TEXT_SIZE] = L"";
    WCHAR chosen[ROOT_TEXT_SIZE];
    ReadFolderField(window, folder, ROOT_TEXT_SIZE);
    if (!PickFolder(window, folder, chosen, ROOT_TEXT_SIZE))
        return;
    char root[PATH_TEXT_SIZE];
    RootResult result = ChooseRootPath(chosen, root, sizeof root);
    if (result == ROOT_RESOLVED)
        ShowRootInField(window, root);
    else
        ShowRootRefusal(window, result);
}

// The length of the part of a full path that names its drive or share:
// "C:\" or "\\server\share\"; 0 for any other form.
static size_t DrivePartLength(const WCHAR *full)
{
    if (full[0] && full[1] == L':' && full[2] == L'\\')
        return 3;
    if (full[0] != L'\\' || full[1] != L'\\' || full[2] == L'?' || full[2] == L'.')
        return 0;
    const WCHAR *share = wcschr(full + 2, L'\\');
    const WCHAR *end = share ? wcschr(share + 1, L'\\') : NULL;
    return end ? end + 1 - full : 0;
}

// The form of a full path that Windows takes as it stands: a trailing dot or
// blank of a name is kept (\\?\C:\..., \\?\UNC\server\share\...).
static bool VerbatimPath(const WCHAR *full, size_t drive, WCHAR *dest, size_t destSize)
{
    bool unc = drive != 3;
    const WCHAR *prefix = unc ? L"\\\\?\\UNC\\" : L"\\\\?\\";
    const WCHAR *rest = unc ? full + 2 : full;
    if (wcslen(prefix) + wcslen(rest) >= destSize)
        return false;
    wcscpy(dest, prefix);
    wcscat(dest, rest);
    return true;
}

static bool SameFolder(const WCHAR *a, const WCHAR *b)
{
    EntryIdentity first, second;
    return ReadEntryIdentity(a, &first, NULL) && ReadEntryIdentity(b, &second, NULL) &&
           first.volume == second.volume && first.index == second.index;
}

// The full path with each folder name that the code page cannot hold, or that
// Windows would parse as another, replaced by its short name, as the walk
// names it; false where such a name has none.
static bool NameEachFolder(const WCHAR *full, size_t drive, WCHAR *named, size_t namedSize, bool *replaced)
{
    WCHAR verbatim[ROOT_TEXT_SIZE + 8];
    WCHAR part[ROOT_TEXT_SIZE];
    char held[2 * ROOT_TEXT_SIZE];
    *replaced = false;
    if (drive >= namedSize)
        return false;
    wmemcpy(named, full, drive);
    named[drive] = 0;
    for (const WCHAR *p = full + drive; *p;) {
        size_t length = wcscspn(p, L"\\");
        if (length >= ROOT_TEXT_SIZE)
            return false;
        wmemcpy(part, p, length);
        part[length] = 0;
        const WCHAR *name = part;
        WIN32_FIND_DATAW entry;
        if (length && !NameInCodePage(part, held, sizeof held)) {
            WCHAR prefix[ROOT_TEXT_SIZE];
            wmemcpy(prefix, full, p + length - full);
            prefix[p + length - full] = 0;
            HANDLE found = VerbatimPath(prefix, drive, verbatim, ROOT_TEXT_SIZE + 8)
                               ? FindFirstFileW(verbatim, &entry) : INVALID_HANDLE_VALUE;
            if (found == INVALID_HANDLE_VALUE)
                return false;
            FindClose(found);
            if (!entry.cAlternateFileName[0])
                return false;
            name = entry.cAlternateFileName;
            *replaced = true;
        }
        if (wcslen(named) + wcslen(name) + 2 >= namedSize)
            return false;
        wcscat(named, name);
        p += length;
        if (*p) {
            wcscat(named, L"\\");
            p++;
        }
    }
    return true;
}

RootResult ChooseRootPath(const WCHAR *full, char *root, size_t rootSize)
{
    size_t drive = DrivePartLength(full);
    if (!drive)
        return ROOT_INVALID_PATH;
    WCHAR named[ROOT_TEXT_SIZE], verbatim[ROOT_TEXT_SIZE + 8], shortWide[ROOT_TEXT_SIZE + 8];
    char exact[2 * ROOT_TEXT_SIZE];
    bool replaced;
    if (!NameEachFolder(full, drive, named, ROOT_TEXT_SIZE, &replaced) ||
        !TextInCodePage(named, exact, sizeof exact) || !VerbatimPath(full, drive, verbatim, ROOT_TEXT_SIZE + 8))
        return ROOT_NOT_NAMEABLE;
    // A path made of short names is used only where it names the very folder.
    if (replaced && !SameFolder(verbatim, named))
        return ROOT_NOT_NAMEABLE;
    if (strlen(exact) < rootSize) {
        CopyText(root, rootSize, exact);
        return ROOT_RESOLVED;
    }
    // Too long: every folder by its short name, where that fits.
    DWORD length = GetShortPathNameW(named, shortWide, ROOT_TEXT_SIZE);
    if (length == 0 || length >= ROOT_TEXT_SIZE || !TextInCodePage(shortWide, exact, sizeof exact) ||
        strlen(exact) >= rootSize || !SameFolder(verbatim, shortWide))
        return ROOT_TOO_LONG_PATH;
    CopyText(root, rootSize, exact);
    return ROOT_RESOLVED;
}

RootResult ResolveSearchRoot(const WCHAR *text, char *root, size_t rootSize)
{
    WCHAR full[ROOT_TEXT_SIZE];
    WCHAR drive[4];
    // A drive letter alone means the drive's root, as the field's own "C:\"
    // does, not the current folder on that drive.
    if (iswalpha(text[0]) && text[0] < 0x80 && text[1] == L':' && !text[2]) {
        swprintf(drive, 4, L"%lc:\\", text[0]);
        text = drive;
    }
    // The empty text, which GetFullPathNameW refuses, is the current folder.
    DWORD length = GetFullPathNameW(text[0] ? text : L".", ROOT_TEXT_SIZE, full, NULL);
    if (length >= ROOT_TEXT_SIZE)
        return ROOT_TOO_LONG_PATH;
    if (length == 0)
        return ROOT_INVALID_PATH;
    return ChooseRootPath(full, root, rootSize);
}

static void StartSearch(HWND window)
{
    // Asked before the question, and again once it is answered: while it is
    // open the List window can start a command.
    if (!JobMayStart(window, JOB_SEARCH))
        return;
    // An overlong text is refused, never cut (a cut path may name another
    // folder), and the root becomes a full path: a relative one would make
    // every listed path depend on the current folder. The field then shows
    // the path that is searched.
    WCHAR text[ROOT_TEXT_SIZE];
    char root[PATH_TEXT_SIZE];
    RootResult result = ROOT_TOO_LONG_PATH;
    if (ReadFolderField(window, text, ROOT_TEXT_SIZE))
        result = ResolveSearchRoot(text, root, sizeof root);
    if (result != ROOT_RESOLVED) {
        ShowRootRefusal(window, result);
        return;
    }
    ShowRootInField(window, root);
    if (Ask(window, GO_QUESTION) != IDYES || !StartJob(window, JOB_SEARCH))
        return;
    CopyText(app.searchRoot, sizeof app.searchRoot, root);
    if (!StartSearchWorker())
        ShowError(window, "ERROR: could not create thread.");
}

static void StopSearch(HWND window)
{
    if (!IsWorkerRunning())
        return;
    if (Ask(window, "Stop the current search?\n\nContinue?") != IDYES)
        return;
    EnterCriticalSection(&app.progressLock);
    app.stopRequested = 1;
    LeaveCriticalSection(&app.progressLock);
}

// A modal dialog would hold the program's end until someone closed it: none
// opens for a command taken from the queue after the exit was confirmed.
static void RunDialog(HWND owner, int id, DLGPROC procedure)
{
    if (!ExitConfirmed())
        DialogBoxParamA(app.instance, MAKEINTRESOURCEA(id), owner, procedure, 0);
}

static void VisitSite(HWND window)
{
    if (Ask(window, "Visit Internet Site?") == IDYES)
        ShowReferrerPage(ProductSiteAddress);
}

// Setting a text repaints the control, and under wine costs a call to the
// server that the walk waits on too: a text that did not change is left.
static void ShowText(HWND window, int id, const char *text)
{
    char shown[PATH_TEXT_SIZE + NOT_SEARCHED_TEXT_SIZE];
    UINT length = GetDlgItemTextA(window, id, shown, sizeof shown);
    if (length < sizeof shown - 1 && strcmp(shown, text) == 0)
        return;
    SetDlgItemTextA(window, id, text);
}

static void ShowStatus(HWND window)
{
    char folderText[PATH_TEXT_SIZE];
    char foundText[PATH_TEXT_SIZE];
    char notSearched[NOT_SEARCHED_TEXT_SIZE];
    char shown[PATH_TEXT_SIZE + NOT_SEARCHED_TEXT_SIZE];

    EnterCriticalSection(&app.progressLock);
    CopyText(folderText, sizeof folderText, app.currentFolderText);
    CopyText(foundText, sizeof foundText, app.foundText);
    long folders = app.foldersNotSearched;
    long files = app.filesNotSearched;
    CopyText(notSearched, sizeof notSearched, app.notSearchedText);
    // Not the worker's life: the search is over once "Idle." is shown, while
    // the worker still enables the List window's buttons.
    bool searching = app.searching != 0;
    LeaveCriticalSection(&app.progressLock);

    // Once the search has ended, the first place it could not search, and why.
    if (!searching && notSearched[0])
        snprintf(shown, sizeof shown, "%s\n%s", folderText, notSearched);
    else
        CopyText(shown, sizeof shown, folderText);
    ShowText(window, IDC_MAIN_FOLDER_TEXT, shown);
    FormatInformationText(shown, sizeof shown, foundText, folders, files);
    ShowText(window, IDC_MAIN_FOUND_TEXT, shown);
    if (searching) {
        ShowText(window, IDC_MAIN_INFO_GROUP, INFO_SPINNER[app.spinnerPhase]);
        ShowText(window, IDC_MAIN_FOLDER_GROUP, FOLDER_SPINNER[app.spinnerPhase]);
        app.spinnerPhase = (app.spinnerPhase + 1) % 4;
    } else {
        ShowText(window, IDC_MAIN_INFO_GROUP, "Information");
        ShowText(window, IDC_MAIN_FOLDER_GROUP, "");
    }
    RepaintSuspendedList();
}

static void OnCommand(HWND window, WORD id)
{
    switch (id) {
    case IDC_MAIN_VISIT:
    case IDM_VISIT:
        VisitSite(window);
        break;
    case IDC_MAIN_DONATE:
    case IDM_DONATE:
        RunDialog(window, IDD_DONATE, DonateDialogProc);
        break;
    case IDM_LINKS:
        // A delete run may be deleting files meanwhile: one job at a time.
        if (IsResultsCommandRunning())
            ShowError(window, "Finish the command in the List window to create or delete links.");
        else
            RunDialog(window, IDD_LINKS, LinksDialogProc);
        break;
    case IDM_OPEN_FOLDER:
        OpenContainingFolder();
        break;
    case IDC_MAIN_BROWSE:
        BrowseForRoot(window);
        break;
    case IDC_MAIN_GO:
        StartSearch(window);
        break;
    case IDC_MAIN_STOP:
        StopSearch(window);
        break;
    case IDM_EXIT:
        SendMessageA(window, WM_CLOSE, 0, 0);
        break;
    }
}

INT_PTR CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitMainWindow(window);
        return FALSE;
    case WM_CLOSE:
    case WM_QUERYENDSESSION:
        return AnswerExitRequest(window, message);
    case WM_COMMAND:
        OnCommand(window, LOWORD(wParam));
        return FALSE;
    case WM_TIMER:
        if (wParam == 0)        // the status timer, or a tick posted to show the status now
            ShowStatus(window);
        return FALSE;
    case WM_SEARCH_FATAL:
        StopSearchAndQuit();
        return FALSE;
    }
    return FALSE;
}

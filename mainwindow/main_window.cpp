// The MainWindow: folder field, GO and STOP, live status and the commands.
#include "../app/drossweeper.h"
#include "../app/resources/resource.h"

#include <ctype.h>
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

static void BrowseForRoot(HWND window)
{
    char folder[PATH_TEXT_SIZE];
    char chosen[PATH_TEXT_SIZE];
    GetDlgItemTextA(window, IDC_MAIN_FOLDER, folder, sizeof folder);
    if (PickFolder(window, folder, chosen, sizeof chosen))
        SetDlgItemTextA(window, IDC_MAIN_FOLDER, chosen);
}

RootResult ResolveSearchRoot(const char *text, char *root, size_t rootSize)
{
    char full[PATH_TEXT_SIZE];
    char drive[4];
    // A drive letter alone means the drive's root, as the field's own "C:\"
    // does, not the current folder on that drive.
    if (isalpha((unsigned char)text[0]) && text[1] == ':' && !text[2]) {
        snprintf(drive, sizeof drive, "%c:\\", text[0]);
        text = drive;
    }
    // The empty text, which GetFullPathNameA refuses, is the current folder.
    // A full path too long for the buffer is answered with its length, or (the
    // ANSI call under wine) with 0 and ERROR_FILENAME_EXCED_RANGE.
    SetLastError(ERROR_SUCCESS);
    DWORD length = GetFullPathNameA(text[0] ? text : ".", sizeof full, full, NULL);
    if (length >= sizeof full || length >= rootSize ||
        (length == 0 && GetLastError() == ERROR_FILENAME_EXCED_RANGE))
        return ROOT_TOO_LONG_PATH;
    if (length == 0)
        return ROOT_INVALID_PATH;
    CopyText(root, rootSize, full);
    return ROOT_RESOLVED;
}

static void StartSearch(HWND window)
{
    // Asked before the question, and again once it is answered: while it is
    // open the List window can start a command.
    if (!JobMayStart(window, JOB_SEARCH))
        return;
    // An overlong text is refused, never cut (a cut path may name another
    // folder), and the root becomes a full path: a relative one would make
    // every listed path depend on the current folder.
    HWND field = GetDlgItem(window, IDC_MAIN_FOLDER);
    char text[PATH_TEXT_SIZE];
    char root[PATH_TEXT_SIZE];
    RootResult result = ROOT_TOO_LONG_PATH;
    if (GetWindowTextLengthA(field) < (int)sizeof text) {
        GetWindowTextA(field, text, sizeof text);
        result = ResolveSearchRoot(text, root, sizeof root);
    }
    if (result != ROOT_RESOLVED) {
        ShowError(window, result == ROOT_TOO_LONG_PATH ? ROOT_TOO_LONG : ROOT_INVALID);
        return;
    }
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

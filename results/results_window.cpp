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
// while a search runs the list does not paint its additions, and the status
// tick paints what they changed four times a second: its scroll bar when
// entries came and the thumb can move, its rows when one that shows changed.
// Everything else the list is asked to do meanwhile (a scroll, a click, a key,
// a resize, being uncovered) it does painting itself, at once, as it does when
// no search runs. The paint state belongs to this (the UI) thread alone: the
// search's start suspends painting, its end resumes it.
static WNDPROC listOwnProc;         // the list box's own window procedure
static bool listPaintingSuspended;
static int listPaintingOpen;        // depth of the list painting itself meanwhile
static LRESULT firstAdded;          // lowest index added since the last paint, or -1
static LRESULT paintedCount;        // the entries the list held then

// Kept from the window's start: under wine GetDlgItem asks the server for the
// dialog's children, some 50 microseconds a call, and the commands read the
// list an entry at a time (exporting 100,000 entries took 13 s, not 0.3 s).
static HWND resultsList;

// Counts the search's changes to the list, so that a command can tell that
// the entries its selection names are still where it read them.
static unsigned long listChanges;

void NoteListChange(void)
{
    listChanges++;
}

bool SelectionStillListed(const Selection *selection)
{
    return selection->listChange == listChanges;
}

static HWND ResultsList(void)
{
    return resultsList;
}

static void SetListRedraw(HWND list, BOOL redraw)
{
    SendMessageA(list, WM_SETREDRAW, redraw, 0);
}

// Turned on, the list catches up at once: it invalidates its rows if any that
// shows changed, and sets its scroll bar.
static void OpenListPainting(HWND list)
{
    if (listPaintingOpen++ > 0 || !listPaintingSuspended)
        return;
    SetListRedraw(list, TRUE);
    firstAdded = -1;
    paintedCount = SendMessageA(list, LB_GETCOUNT, 0, 0);
}

static void CloseListPainting(HWND list)
{
    if (listPaintingOpen == 1 && listPaintingSuspended) {
        UpdateWindow(list);         // what it invalidated, painted while it may
        SetListRedraw(list, FALSE);
    }
    listPaintingOpen--;
}

// Messages that change nothing the list shows: questions, the search's
// additions (the status tick paints those), and the mouse passing over it.
static bool ChangesNothingShown(HWND list, UINT message)
{
    switch (message) {
    case LB_ADDSTRING:
    case LB_INSERTSTRING:
    case LB_GETCOUNT:
    case LB_GETTEXT:
    case LB_GETTEXTLEN:
    case LB_GETLOCALE:
    case LB_GETTOPINDEX:
    case LB_GETITEMHEIGHT:
    case LB_GETITEMRECT:
    case LB_GETSEL:
    case LB_GETSELCOUNT:
    case LB_GETSELITEMS:
    case LB_GETCARETINDEX:
    case LB_GETANCHORINDEX:
    case LB_GETCURSEL:
    case LB_GETHORIZONTALEXTENT:
    case LB_ITEMFROMPOINT:
    case WM_SETREDRAW:
    case WM_GETDLGCODE:
    case WM_GETFONT:
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
    case WM_GETOBJECT:
    case WM_NCHITTEST:
    case WM_SETCURSOR:
    case WM_MOUSEACTIVATE:
    case WM_NCMOUSEMOVE:
    case WM_NULL:
        return true;
    case WM_MOUSEMOVE:
        return GetCapture() != list;    // a drag extends the selection
    }
    return false;
}

static LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!listPaintingSuspended || ChangesNothingShown(list, message)) {
        LRESULT result = CallWindowProcA(listOwnProc, list, message, wParam, lParam);
        if ((message == LB_ADDSTRING || message == LB_INSERTSTRING) && result >= 0 &&
            (firstAdded < 0 || result < firstAdded))
            firstAdded = result;
        return result;
    }
    OpenListPainting(list);
    LRESULT result = CallWindowProcA(listOwnProc, list, message, wParam, lParam);
    CloseListPainting(list);
    return result;
}

void SuspendListPainting(void)
{
    listPaintingSuspended = true;
    firstAdded = 0;
    paintedCount = -1;
    if (listPaintingOpen == 0)
        SetListRedraw(ResultsList(), FALSE);
}

void ResumeListPainting(void)
{
    if (!listPaintingSuspended)
        return;
    listPaintingSuspended = false;
    HWND list = ResultsList();
    SetListRedraw(list, TRUE);
    RedrawWindow(list, NULL, NULL, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

// The rows the list shows whole, or -1 when that cannot be told.
static LRESULT ShownRows(HWND list)
{
    RECT client;
    LRESULT rowHeight = SendMessageA(list, LB_GETITEMHEIGHT, 0, 0);
    if (!GetClientRect(list, &client) || rowHeight <= 0)
        return -1;
    return client.bottom / rowHeight;
}

// True when entries added below the rows that show cannot move the scroll
// bar's thumb: the list shows its top, and at the last paint the thumb was
// already longer than its share of the shaft (a row more, a pixel more, to be
// sure), so it stood at its least length, and more entries leave it there.
static bool ThumbSettled(HWND list, LRESULT top, LRESULT rows)
{
    SCROLLBARINFO bar;
    bar.cbSize = sizeof bar;
    if (top != 0 || !GetScrollBarInfo(list, OBJID_VSCROLL, &bar) || (bar.rgstate[0] & STATE_SYSTEM_INVISIBLE))
        return false;
    LONG shaft = bar.rcScrollBar.bottom - bar.rcScrollBar.top - 2 * bar.dxyLineButton;
    LONG thumb = bar.xyThumbBottom - bar.xyThumbTop;
    return paintedCount > rows && shaft > 0 && shaft * (rows + 1) / paintedCount + 1 < thumb;
}

void RepaintSuspendedList(void)
{
    // Painting itself, the list needs no help.
    if (!listPaintingSuspended || listPaintingOpen > 0)
        return;
    HWND list = ResultsList();
    // The count also catches the search's emptying of the list.
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    if (firstAdded < 0 && count == paintedCount)
        return;
    LRESULT top = SendMessageA(list, LB_GETTOPINDEX, 0, 0);
    LRESULT rows = ShownRows(list);
    // The last row that shows may show in part: it counts.
    bool rowsChanged = count < paintedCount || rows < 0 || (firstAdded >= 0 && firstAdded <= top + rows);
    if (!rowsChanged && ThumbSettled(list, top, rows))
        return;     // nothing that shows has changed; the next paint catches up
    OpenListPainting(list);     // which brings the scroll bar up to date
    if (rowsChanged)
        RedrawWindow(list, NULL, NULL, RDW_ERASE | RDW_INVALIDATE);
    CloseListPainting(list);
}

bool ReadSelection(HWND owner, Selection *selection)
{
    HWND list = ResultsList();
    selection->indices = NULL;
    selection->count = 0;
    selection->listChange = listChanges;
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
    HWND list = ResultsList();
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
    resultsList = GetDlgItem(window, IDC_RESULTS_LIST);
    HWND list = ResultsList();
    SendMessageA(list, LB_SETHORIZONTALEXTENT, LIST_EXTENT_PIXELS, 0);
    listOwnProc = (WNDPROC)SetWindowLongPtrA(list, GWLP_WNDPROC, (LONG_PTR)ListProc);
}

// Matches come in walk order, which is nearly always the list's own order:
// one that sorts after the last entry is appended, which spares the sorted
// list its search, a comparison per step. The comparison is the list's own:
// its locale, on the texts as it holds them, turned to UTF-16 through the ANSI
// code page (the locale's own code page may read the bytes otherwise).
LRESULT AddListEntry(HWND list, const char *path)
{
    wchar_t wide[PATH_TEXT_SIZE];
    wchar_t last[PATH_TEXT_SIZE];
    LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    if (count > 0 && MultiByteToWideChar(CP_ACP, 0, path, -1, wide, PATH_TEXT_SIZE) &&
        SendMessageW(list, LB_GETTEXTLEN, (WPARAM)count - 1, 0) < PATH_TEXT_SIZE &&
        SendMessageW(list, LB_GETTEXT, (WPARAM)count - 1, (LPARAM)last) != LB_ERR) {
        LCID locale = (LCID)SendMessageW(list, LB_GETLOCALE, 0, 0);
        if (CompareStringW(locale, NORM_IGNORECASE, wide, -1, last, -1) == CSTR_GREATER_THAN)
            return SendMessageA(list, LB_INSERTSTRING, (WPARAM)-1, (LPARAM)path);
    }
    return SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)path);
}

// The matches that the search has queued since the last call.
static void AddMatches(HWND window)
{
    const MatchBatch *batch = TakeMatchBatch();
    if (batch->count == 0)
        return;
    NoteListChange();
    HWND list = ResultsList();
    const char *path = batch->paths;
    for (int i = 0; i < batch->count; i++) {
        AddListEntry(list, path);
        path += strlen(path) + 1;
    }
    SetDlgItemTextA(window, IDC_RESULTS_SIZE, batch->sizeText);
}

INT_PTR CALLBACK ResultsWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitResultsWindow(window);
        return FALSE;
    case WM_CLOSE:
    case WM_QUERYENDSESSION:
        return AnswerExitRequest(window, message);
    case WM_DESTROY:
        resultsList = NULL;
        return FALSE;
    case WM_SEARCH_MATCHES:
        AddMatches(window);
        return FALSE;
    case WM_SEARCH_ENDED:
        ResumeListPainting();
        return FALSE;
    case WM_SEARCH_IDLE:
        // A command that waits on its questions keeps its buttons off.
        if (!IsResultsCommandRunning())
            EnableResultsControls(true);
        ShowWindow(window, SW_SHOWNORMAL);
        return FALSE;
    case WM_DELETE_READ_ENTRIES:
        ReadDeleteChunk((int)wParam, (int)lParam);
        return FALSE;
    case WM_TIMER:
        if (wParam == DELETE_PROGRESS_TIMER)
            TickDeleteRun();
        return FALSE;
    case WM_SETCURSOR:
        // The hourglass over this window while it deletes; the others stay usable.
        if (!IsDeleting())
            return FALSE;
        SetCursor(LoadCursorA(NULL, IDC_WAIT));
        SetWindowLongPtrA(window, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_DELETE_ENDED:
        EndDeleteWorker();
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

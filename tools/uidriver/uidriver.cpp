// Drives the program's windows from another process. Under wine, list texts
// cross processes as UTF-16 even through the ANSI calls, so every read here
// goes through the wide functions and is converted to the ANSI code page.
#include "uidriver.h"

namespace ui {

const char BoxCaption[] = "Drossweeper [THUMBS.DB] - v1.0.6.0";

static std::string Narrow(const wchar_t *text)
{
    int size = WideCharToMultiByte(CP_ACP, 0, text, -1, NULL, 0, NULL, NULL);
    if (size <= 0)
        return std::string();
    std::string out((size_t)size, '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, &out[0], size, NULL, NULL);
    out.resize((size_t)size - 1);
    return out;
}

static std::wstring Widen(const std::string &text)
{
    int size = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, NULL, 0);
    std::wstring out((size_t)size, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &out[0], size);
    out.resize((size_t)size - 1);
    return out;
}

void Pause(DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms)
            return;
        MsgWaitForMultipleObjects(0, NULL, FALSE, ms - elapsed < 10 ? ms - elapsed : 10, QS_ALLINPUT);
    }
}

bool Launch(const std::string &exe, Program &program, const std::string &folder)
{
    program = Program();
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    // ERROR_INTERNAL_ERROR: wine's new process ended before any of its code
    // ran, so the program cannot have caused it (twice in ten rounds of the suites).
    std::string commandLine;
    for (int attempt = 1;; attempt++) {
        commandLine = "\"" + exe + "\"";
        if (CreateProcessA(exe.c_str(), &commandLine[0], NULL, NULL, FALSE, 0, NULL,
                           folder.empty() ? NULL : folder.c_str(), &startup, &info))
            break;
        if (GetLastError() != ERROR_INTERNAL_ERROR || attempt == 3)
            return false;
    }
    CloseHandle(info.hThread);
    program.process = info.hProcess;
    program.id = info.dwProcessId;
    WaitForInputIdle(program.process, 10000);
    return true;
}

DWORD WaitForExit(Program &program, DWORD timeoutMs)
{
    program.exitAwaited = true;
    DWORD start = GetTickCount();
    while (WaitForSingleObject(program.process, 0) == WAIT_TIMEOUT) {
        if (GetTickCount() - start >= timeoutMs)
            return 0xFFFFFFFF;
        Pause(10);
    }
    DWORD code = 0xFFFFFFFF;
    GetExitCodeProcess(program.process, &code);
    return code;
}

bool IsRunning(const Program &program)
{
    return program.process && WaitForSingleObject(program.process, 0) == WAIT_TIMEOUT;
}

bool Gone(const Program &program)
{
    return !IsRunning(program) || (program.window && !IsWindow(program.window));
}

// Every message to the program's windows goes with a time limit: a program
// that stopped answering must not hold the test until CTest kills it.
static LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, 5000, &result))
        return 0;
    return (LRESULT)result;
}

static void KillIfNotAnswering(const Program &program)
{
    DWORD_PTR result;
    if (program.window && !Gone(program) &&
        !SendMessageTimeoutW(program.window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result)) {
        TerminateProcess(program.process, 98);
        WaitForSingleObject(program.process, 5000);
    }
}

void Kill(Program &program)
{
    if (IsRunning(program)) {
        TerminateProcess(program.process, 99);
        WaitForSingleObject(program.process, 5000);
    }
}

void Close(Program &program)
{
    Kill(program);
    if (program.process)
        CloseHandle(program.process);
    program.process = NULL;
}

struct WindowSearch {
    DWORD processId;
    std::vector<HWND> found;
};

static BOOL CALLBACK CollectWindow(HWND window, LPARAM param)
{
    WindowSearch *search = (WindowSearch *)param;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId)
        search->found.push_back(window);
    return TRUE;
}

std::vector<HWND> TopWindows(const Program &program)
{
    WindowSearch search = { program.id, {} };
    EnumWindows(CollectWindow, (LPARAM)&search);
    return search.found;
}

// A window's text as the window manager keeps it, read without a message to
// the program: wine answers a WM_GETTEXT from another process for a window
// that is gone meanwhile (a message box just answered) with the text at the
// sender's buffer address in the receiver's memory, which kills the
// receiving thread where that address is not mapped. Only an edit control
// keeps its text to itself, and is asked.
std::string Caption(HWND window)
{
    wchar_t text[4096] = L"";
    InternalGetWindowText(window, text, sizeof text / sizeof text[0]);
    return Narrow(text);
}

std::string Text(HWND window)
{
    wchar_t className[16] = L"";
    GetClassNameW(window, className, 16);
    if (lstrcmpiW(className, L"Edit") != 0)
        return Caption(window);
    wchar_t text[4096] = L"";
    Send(window, WM_GETTEXT, sizeof text / sizeof text[0], (LPARAM)text);
    return Narrow(text);
}

HWND FindWindowByCaption(const Program &program, const std::string &caption, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    do {
        for (HWND window : TopWindows(program)) {
            if (IsWindowVisible(window) && Text(window) == caption) {
                Sync(window);
                return window;
            }
        }
        Pause(20);
    } while (GetTickCount() - start < timeoutMs && !Gone(program));
    return NULL;
}

std::string ControlText(HWND parent, int id)
{
    return Text(GetDlgItem(parent, id));
}

void SetControlText(HWND parent, int id, const std::string &text)
{
    std::wstring wide = Widen(text);
    SendMessageW(GetDlgItem(parent, id), WM_SETTEXT, 0, (LPARAM)wide.c_str());
}

bool Enabled(HWND parent, int id)
{
    return IsWindowEnabled(GetDlgItem(parent, id)) != 0;
}

std::string WaitForControlText(HWND parent, int id, const std::string &text, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    std::string shown;
    do {
        shown = ControlText(parent, id);
        if (shown == text || !IsWindow(parent))
            return shown;
        Pause(20);
    } while (GetTickCount() - start < timeoutMs);
    return shown;
}

std::vector<std::string> ListEntries(HWND list)
{
    std::vector<std::string> entries;
    LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++) {
        LRESULT length = SendMessageW(list, LB_GETTEXTLEN, i, 0);
        if (length < 0)
            break;
        std::wstring text((size_t)length + 1, L'\0');
        SendMessageW(list, LB_GETTEXT, i, (LPARAM)&text[0]);
        entries.push_back(Narrow(text.c_str()));
    }
    return entries;
}

std::vector<int> ListSelection(HWND list)
{
    std::vector<int> selected;
    LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++) {
        if (SendMessageW(list, LB_GETSEL, i, 0) > 0)
            selected.push_back((int)i);
    }
    return selected;
}

void SelectEntries(HWND list, const std::vector<int> &indices)
{
    SendMessageW(list, LB_SETSEL, FALSE, -1);
    for (int index : indices)
        SendMessageW(list, LB_SETSEL, TRUE, index);
}

void SelectAll(HWND list)
{
    SendMessageW(list, LB_SETSEL, TRUE, -1);
}

void Sync(HWND window)
{
    DWORD_PTR result;
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
}

void Click(HWND parent, int id)
{
    PostMessageW(parent, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(parent, id));
}

void ClickAt(HWND window, int x, int y, WPARAM keys)
{
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON | keys, MAKELPARAM(x, y));
    PostMessageW(window, WM_LBUTTONUP, keys, MAKELPARAM(x, y));
    Sync(window);
}

void Command(HWND window, int id)
{
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

void PostKey(HWND window, WPARAM key)
{
    PostMessageW(window, WM_KEYDOWN, key, 1);
    PostMessageW(window, WM_KEYUP, key, 0xC0000001);
}

static bool ReadBox(HWND window, Box &box)
{
    wchar_t className[32] = L"";
    GetClassNameW(window, className, 32);
    if (lstrcmpW(className, L"#32770") != 0 || !IsWindowVisible(window))
        return false;
    box.window = window;
    box.caption = Text(window);
    box.text = ControlText(window, 0xFFFF);
    box.hasYes = GetDlgItem(window, IDYES) != NULL;
    box.hasNo = GetDlgItem(window, IDNO) != NULL;
    box.hasOk = GetDlgItem(window, IDOK) != NULL;
    box.hasCancel = GetDlgItem(window, IDCANCEL) != NULL;
    return true;
}

static bool FindBox(const Program &program, Box &box, DWORD timeoutMs, const std::string &caption, HWND owner,
                    const std::string *text = NULL)
{
    DWORD start = GetTickCount();
    do {
        // The program's own dialogs end their captions in their names, so the
        // bare title picks out its message boxes.
        for (HWND window : TopWindows(program)) {
            if ((!owner || GetWindow(window, GW_OWNER) == owner) && Text(window) == caption &&
                ReadBox(window, box) && (!text || box.text == *text)) {
                Sync(window);
                return true;
            }
        }
        Pause(20);
    } while (GetTickCount() - start < timeoutMs && !Gone(program));
    return false;
}

bool WaitForBox(const Program &program, Box &box, DWORD timeoutMs, const std::string &caption)
{
    if (FindBox(program, box, timeoutMs, caption, NULL))
        return true;
    KillIfNotAnswering(program);
    return false;
}

bool WaitForBoxOwnedBy(const Program &program, HWND owner, Box &box, DWORD timeoutMs)
{
    if (FindBox(program, box, timeoutMs, BoxCaption, owner))
        return true;
    KillIfNotAnswering(program);
    return false;
}

bool WaitForBoxSaying(const Program &program, const std::string &text, Box &box, DWORD timeoutMs)
{
    if (FindBox(program, box, timeoutMs, BoxCaption, NULL, &text))
        return true;
    // What shows instead, if anything, for the caller's message.
    box = Box();
    if (!FindBox(program, box, 0, BoxCaption, NULL))
        KillIfNotAnswering(program);
    return false;
}

bool NoBoxWithin(const Program &program, DWORD timeoutMs, const std::string &caption)
{
    Box box;
    return !FindBox(program, box, timeoutMs, caption, NULL);
}

bool Answer(const Box &box, int button)
{
    PostMessageW(box.window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), (LPARAM)GetDlgItem(box.window, button));
    DWORD start = GetTickCount();
    while (IsWindow(box.window) && IsWindowVisible(box.window)) {
        if (GetTickCount() - start > 5000)
            return false;
        Pause(10);
    }
    return true;
}

HWND WaitForSaveDialog(const Program &program, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    do {
        for (HWND window : TopWindows(program)) {
            wchar_t className[32] = L"";
            GetClassNameW(window, className, 32);
            if (lstrcmpW(className, L"#32770") == 0 && IsWindowVisible(window) && FileNameField(window)) {
                Sync(window);
                return window;
            }
        }
        Pause(20);
    } while (GetTickCount() - start < timeoutMs && !Gone(program));
    return NULL;
}

struct FieldSearch {
    HWND found;
};

static BOOL CALLBACK FindFileNameField(HWND child, LPARAM param)
{
    // The file name field: edt1 (0x480), or the edit inside combo box cmb13 (0x47C).
    int id = GetDlgCtrlID(child);
    wchar_t className[32] = L"";
    GetClassNameW(child, className, 32);
    if (lstrcmpiW(className, L"Edit") != 0 || !IsWindowVisible(child))
        return TRUE;
    if (id == 0x480 || GetDlgCtrlID(GetParent(child)) == 0x47C) {
        ((FieldSearch *)param)->found = child;
        return FALSE;
    }
    return TRUE;
}

HWND FileNameField(HWND dialog)
{
    FieldSearch search = { NULL };
    EnumChildWindows(dialog, FindFileNameField, (LPARAM)&search);
    return search.found;
}

static bool WaitUntilGone(HWND window, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (IsWindow(window) && IsWindowVisible(window)) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Pause(10);
    }
    return true;
}

bool SaveAs(HWND dialog, const std::string &path)
{
    HWND field = FileNameField(dialog);
    std::wstring wide = Widen(path);
    SendMessageW(field, WM_SETTEXT, 0, (LPARAM)wide.c_str());
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)GetDlgItem(dialog, IDOK));
    return WaitUntilGone(dialog, 3000);
}

HWND WaitForDialogOwnedBy(const Program &program, HWND owner, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    do {
        for (HWND window : TopWindows(program)) {
            wchar_t className[32] = L"";
            GetClassNameW(window, className, 32);
            if (lstrcmpW(className, L"#32770") == 0 && IsWindowVisible(window) && GetWindow(window, GW_OWNER) == owner) {
                Sync(window);
                return window;
            }
        }
        Pause(20);
    } while (GetTickCount() - start < timeoutMs && !Gone(program));
    return NULL;
}

bool ConfirmDialog(HWND dialog)
{
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)GetDlgItem(dialog, IDOK));
    return WaitUntilGone(dialog, 3000);
}

bool CancelDialog(HWND dialog)
{
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), (LPARAM)GetDlgItem(dialog, IDCANCEL));
    return WaitUntilGone(dialog, 3000);
}

// One look at the client area on the screen.
static std::vector<DWORD> CaptureClient(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    POINT origin = { 0, 0 };
    ClientToScreen(window, &origin);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = client.right;
    info.bmiHeader.biHeight = -client.bottom;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    void *bits = NULL;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, client.right, client.bottom, screen, origin.x, origin.y, SRCCOPY);
    GdiFlush();
    std::vector<DWORD> pixels((const DWORD *)bits, (const DWORD *)bits + (size_t)client.right * client.bottom);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(NULL, screen);
    return pixels;
}

std::vector<DWORD> ScreenPixels(HWND window)
{
    RECT update;
    for (DWORD start = GetTickCount(); GetUpdateRect(window, &update, FALSE) && GetTickCount() - start < 5000;)
        Pause(10);
    // The update region empties when the paint begins, not when it ends, and
    // wine hands a painted window to the X server when the program next waits
    // for messages: so the program answers a message first (its paint done),
    // and the screen counts once two looks, each after such an answer, agree.
    Sync(window);
    std::vector<DWORD> pixels = CaptureClient(window);
    for (DWORD start = GetTickCount(); GetTickCount() - start < 5000;) {
        Sync(window);
        std::vector<DWORD> again = CaptureClient(window);
        if (again == pixels)
            break;
        pixels.swap(again);
    }
    return pixels;
}

int AnswersUntilBox(const Program &program, HWND window, const std::function<void()> &each)
{
    int answered = 0;
    while (NoBoxWithin(program, 0) && !Gone(program)) {
        DWORD_PTR result;
        if (SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 600000, &result) && NoBoxWithin(program, 0))
            answered++;
        each();
        Pause(50);
    }
    return answered;
}

} // namespace ui

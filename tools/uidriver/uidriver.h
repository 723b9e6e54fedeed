// Drives the program's windows from another process: launch, find, read, set, click, answer.
#ifndef UIDRIVER_H
#define UIDRIVER_H

#include <windows.h>
#include <functional>
#include <string>
#include <vector>

namespace ui {

// A started program; the handles are released by Close.
struct Program {
    HANDLE process = NULL;
    DWORD id = 0;
    HWND window = NULL;         // its main window, once found: it goes with the program's UI thread
    bool exitAwaited = false;   // WaitForExit was called: its end is no surprise
};

// Starts a program in the given folder (empty: the current one).
bool Launch(const std::string &exe, Program &program, const std::string &folder = "");
// Waits for the process to end; returns its exit code, or 0xFFFFFFFF when it did not end.
DWORD WaitForExit(Program &program, DWORD timeoutMs);
void Kill(Program &program);
void Close(Program &program);
bool IsRunning(const Program &program);
// True when the program has ended, or its UI thread has (the process may
// linger without windows). Every wait for the program ends at once then.
bool Gone(const Program &program);

// A visible top-level window of the process whose caption matches exactly.
HWND FindWindowByCaption(const Program &program, const std::string &caption, DWORD timeoutMs);
// Every top-level window of the process, visible or not.
std::vector<HWND> TopWindows(const Program &program);

std::string Text(HWND window);
// The text a window holds, read without a message: a single request under wine.
std::string Caption(HWND window);
std::string ControlText(HWND parent, int id);
void SetControlText(HWND parent, int id, const std::string &text);
bool Enabled(HWND parent, int id);
// Waits until a control shows the text; returns the text it last showed.
std::string WaitForControlText(HWND parent, int id, const std::string &text, DWORD timeoutMs);

std::vector<std::string> ListEntries(HWND list);
std::vector<int> ListSelection(HWND list);
void SelectEntries(HWND list, const std::vector<int> &indices);
void SelectAll(HWND list);

// Waits until the window's thread has finished what it was doing (a command
// it was handling) and takes messages again.
void Sync(HWND window);

// Posts the command a click on the button (or a menu item) sends; returns at once.
void Click(HWND parent, int id);
// A click of the left button at a point of the window's client area, with the
// keys (MK_SHIFT, MK_CONTROL) held; waits until the window has taken it.
void ClickAt(HWND window, int x, int y, WPARAM keys = 0);
void Command(HWND window, int id);
void PostKey(HWND window, WPARAM key);

// A message box (or other dialog of class #32770) shown by the process.
struct Box {
    HWND window = NULL;
    std::string caption;
    std::string text;       // the message, from static 0xFFFF
    bool hasYes = false, hasNo = false, hasOk = false, hasCancel = false;
    // No icon: wine lets no other process draw or compare a message box's icon.
};

// The caption of every message box of the program.
extern const char BoxCaption[];

// Waits for a message box of the process; false when none came in time. A
// program that then does not answer a window message within seconds is
// killed, so that the test's later waits end at once.
bool WaitForBox(const Program &program, Box &box, DWORD timeoutMs,
                const std::string &caption = BoxCaption);
// The same, for a message box owned by the given window.
bool WaitForBoxOwnedBy(const Program &program, HWND owner, Box &box, DWORD timeoutMs);
// The message box of the process that shows the text, among any others; when
// none came in time, box holds one that shows instead, if any.
bool WaitForBoxSaying(const Program &program, const std::string &text, Box &box, DWORD timeoutMs);
// True when no message box of the process appears within the time.
bool NoBoxWithin(const Program &program, DWORD timeoutMs, const std::string &caption = BoxCaption);
// Answers a message box with IDYES, IDNO, IDOK or IDCANCEL and waits for it to go.
bool Answer(const Box &box, int button);

// The save-as common dialog of the process; NULL when none came in time.
HWND WaitForSaveDialog(const Program &program, DWORD timeoutMs);
// The file name field of a file dialog, and the file name it holds.
HWND FileNameField(HWND dialog);
// Types a file name into the dialog and presses Save; false when the dialog stayed open.
bool SaveAs(HWND dialog, const std::string &path);
bool CancelDialog(HWND dialog);
// Any dialog of the process owned by the window (a common dialog, say).
HWND WaitForDialogOwnedBy(const Program &program, HWND owner, DWORD timeoutMs);
// Presses OK (IDOK) in a dialog; false when it stayed open.
bool ConfirmDialog(HWND dialog);

// Pumps this thread's messages for the given time.
void Pause(DWORD ms);

// The window's client area as the screen shows it, row after row of 32-bit
// pixels, once nothing of it waits to be painted.
std::vector<DWORD> ScreenPixels(HWND window);

// Sends the window a message after another until a message box of the
// program shows, calling `each` after every answer; returns how many it
// answered before the box.
int AnswersUntilBox(const Program &program, HWND window, const std::function<void()> &each);

} // namespace ui

#endif

// Helpers shared by the test programs.
#include "test_support.h"
#include "resources/resource.h"

#include <shlobj.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

std::string GenuineHeader(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < SIGNATURE_SIZE && i < size; i++)
        bytes[i] = (char)CompoundFileSignature[i];
    return bytes;
}

void MakeFolder(const std::string &path)
{
    ASSERT_TRUE(CreateDirectoryA(path.c_str(), NULL) || GetLastError() == ERROR_ALREADY_EXISTS)
        << "could not create " << path << ", error " << GetLastError();
}

std::string FreshFolder(const char *name)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string base = std::string(temp) + "dross-tests";
    CreateDirectoryA(base.c_str(), NULL);
    std::string path = base + "\\" + name;
    RemoveTree(path);
    MakeFolder(path);
    return path;
}

void WriteBytes(const std::string &path, const std::string &bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "could not create " << path << ", error " << GetLastError();
    DWORD written = 0;
    WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL);
    CloseHandle(file);
    ASSERT_EQ(written, bytes.size());
}

void MakeReadOnly(const std::string &path)
{
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY)) << path;
}

bool FileExists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Wide, so that names outside the ANSI code page go too.
std::wstring Verbatim(const std::wstring &path)
{
    bool drive = path.size() > 2 && path[1] == L':' && path[2] == L'\\';
    return drive ? L"\\\\?\\" + path : path;
}

void RemoveTreeW(const std::wstring &tree)
{
    // Verbatim, so that a name with a trailing dot or blank is its own.
    std::wstring path = Verbatim(tree);
    WIN32_FIND_DATAW entry;
    HANDLE listing = FindFirstFileW((path + L"\\*").c_str(), &entry);
    if (listing != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring child = path + L"\\" + name;
            SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                RemoveTreeW(child);
            else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryW(child.c_str());
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(listing, &entry));
        FindClose(listing);
    }
    RemoveDirectoryW(path.c_str());
}

void RemoveTree(const std::string &path)
{
    RemoveTreeW(Widen(path));
}

void WriteBytesW(const std::wstring &path, const std::string &bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "could not create " << Narrow(path) << ", error " << GetLastError();
    DWORD written = 0;
    WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL);
    CloseHandle(file);
}

std::wstring Widen(const std::string &text)
{
    wchar_t wide[4 * MAX_PATH] = L"";
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide, 4 * MAX_PATH);
    return wide;
}

std::string Narrow(const std::wstring &text)
{
    char narrow[4 * MAX_PATH] = "";
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, narrow, sizeof narrow, NULL, NULL);
    return narrow;
}

std::string HostTree(const char *name)
{
    const char *trees = getenv("DROSS_TREES");
    if (!trees)
        return std::string();
    return std::string(trees) + "\\" + name;
}

std::string WindowText(HWND window)
{
    char text[4096];
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::vector<std::string> ListEntries(HWND list)
{
    std::vector<std::string> entries;
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++) {
        std::string text((size_t)SendMessageA(list, LB_GETTEXTLEN, i, 0) + 1, '\0');
        SendMessageA(list, LB_GETTEXT, i, (LPARAM)&text[0]);
        text.resize(strlen(text.c_str()));
        entries.push_back(text);
    }
    return entries;
}

void SearchTest::SetUp()
{
    static bool initialised;
    if (!initialised) {
        InitAppState();
        initialised = true;
    }
    EnterCriticalSection(&app.progressLock);
    app.stopRequested = 0;
    app.foundCount = app.searchedCount = 0;
    app.totalBytes = 0;
    app.foldersNotSearched = app.filesNotSearched = 0;
    app.currentFolderText[0] = app.foundText[0] = app.notSearchedText[0] = '\0';
    LeaveCriticalSection(&app.progressLock);
    app.instance = GetModuleHandleA(NULL);
    app.resultsWindow = CreateDialogParamA(app.instance, MAKEINTRESOURCEA(IDD_RESULTS), NULL,
                                           ResultsWindowProc, 0);
    ASSERT_TRUE(app.resultsWindow != NULL);
}

void SearchTest::TearDown()
{
    DestroyWindow(app.resultsWindow);
    app.resultsWindow = NULL;
}

HWND SearchTest::List() const
{
    return GetDlgItem(app.resultsWindow, IDC_RESULTS_LIST);
}

std::string SearchTest::SizeText() const
{
    return WindowText(GetDlgItem(app.resultsWindow, IDC_RESULTS_SIZE));
}

void SearchTest::WaitForWorker()
{
    while (IsWorkerRunning()) {
        MsgWaitForMultipleObjects(1, &app.workerThread, FALSE, 5000, QS_ALLINPUT);
        PumpPendingMessages();
    }
}

void SearchTest::RunSearch(const std::string &root)
{
    CopyText(app.searchRoot, sizeof app.searchRoot, root.c_str());
    ASSERT_TRUE(StartSearchWorker());
    WaitForWorker();
}

BoxAnswerer::BoxAnswerer(int button) : button(button)
{
    thread = CreateThread(NULL, 0, Run, this, 0, NULL);
}

BoxAnswerer::~BoxAnswerer()
{
    Stop();
}

struct BoxSearch {
    HWND box;
};

static BOOL CALLBACK FindOwnBox(HWND window, LPARAM param)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char className[32] = "";
    GetClassNameA(window, className, sizeof className);
    // The caption as stored: asking the window would wait for its thread,
    // which may be waiting for this one (a List window left visible).
    WCHAR caption[64] = L"";
    InternalGetWindowText(window, caption, 64);
    if (process == GetCurrentProcessId() && strcmp(className, "#32770") == 0 && IsWindowVisible(window) &&
        Narrow(caption) == ProductTitle) {
        ((BoxSearch *)param)->box = window;
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI BoxAnswerer::Run(LPVOID param)
{
    BoxAnswerer *self = (BoxAnswerer *)param;
    while (!self->stopping) {
        BoxSearch search = { NULL };
        EnumWindows(FindOwnBox, (LPARAM)&search);
        if (search.box) {
            self->texts.push_back(WindowText(GetDlgItem(search.box, 0xFFFF)));
            SendMessageA(search.box, WM_COMMAND, self->button, 0);
            while (IsWindow(search.box) && IsWindowVisible(search.box))
                Sleep(5);
        }
        Sleep(10);
    }
    return 0;
}

std::vector<std::string> BoxAnswerer::Stop()
{
    if (thread) {
        Sleep(100);     // a box shown just before the call returned
        stopping = true;
        WaitForSingleObject(thread, 10000);
        CloseHandle(thread);
        thread = NULL;
    }
    return texts;
}

std::string ReadAll(const std::string &path)
{
    std::string bytes;
    FILE *file = fopen(path.c_str(), "rb");
    if (!file)
        return "<missing>";
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, n);
    fclose(file);
    return bytes;
}

std::vector<std::string> SplitLines(const std::string &text)
{
    std::vector<std::string> lines;
    size_t at = 0, end;
    while ((end = text.find("\r\n", at)) != std::string::npos) {
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

std::string WaitForFile(const std::string &path, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    std::string text = ReadAll(path);
    while ((text == "<missing>" || text.empty()) && GetTickCount() - start < timeoutMs) {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        Sleep(20);
        text = ReadAll(path);
    }
    return text;
}

static const char BROWSER_KEY[] = "htmlfile\\shell\\opennew\\command";

void SetBrowserCommand(const char *command)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CLASSES_ROOT, BROWSER_KEY, 0, NULL, 0, KEY_WRITE, NULL, &key, NULL));
    RegSetValueExA(key, NULL, 0, REG_SZ, (const BYTE *)command, (DWORD)strlen(command) + 1);
    RegCloseKey(key);
}

void RemoveBrowserKey()
{
    RegDeleteKeyA(HKEY_CLASSES_ROOT, BROWSER_KEY);
}

std::string RecorderCommand()
{
    const char *recorder = getenv("DROSS_RECORDER");
    return std::string("\"") + (recorder ? recorder : "recorder.exe") + "\" %1";
}

RegistryBackup::RegistryBackup(HKEY root, const char *subKey, REGSAM view) : root(root), subKey(subKey), view(view)
{
    HKEY key;
    if (RegOpenKeyExA(root, subKey, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return;
    existed = true;
    for (DWORD i = 0;; i++) {
        char name[512];
        BYTE data[4096];
        DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
        if (RegEnumValueA(key, i, name, &nameSize, NULL, &type, data, &dataSize) != ERROR_SUCCESS)
            break;
        values.push_back({ name, type, std::string((const char *)data, dataSize) });
    }
    RegCloseKey(key);
}

RegistryBackup::~RegistryBackup()
{
    RegDeleteKeyExA(root, subKey.c_str(), view, 0);
    if (!existed)
        return;
    HKEY key;
    if (RegCreateKeyExA(root, subKey.c_str(), 0, NULL, 0, KEY_WRITE | view, NULL, &key, NULL) != ERROR_SUCCESS)
        return;
    for (const Value &v : values)
        RegSetValueExA(key, v.name.c_str(), 0, v.type, (const BYTE *)v.data.data(), (DWORD)v.data.size());
    RegCloseKey(key);
}

void WriteShortcut(const std::string &link, const std::string &target)
{
    IShellLinkA *shell = NULL;
    IPersistFile *file = NULL;
    ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void **)&shell)));
    ASSERT_TRUE(SUCCEEDED(shell->QueryInterface(IID_IPersistFile, (void **)&file)));
    shell->SetPath(target.c_str());
    wchar_t wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, link.c_str(), -1, wide, MAX_PATH);
    EXPECT_TRUE(SUCCEEDED(file->Save(wide, TRUE))) << link;
    file->Release();
    shell->Release();
}

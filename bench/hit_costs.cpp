// What one hit of a search costs, part by part: the attribute query and the
// header read of a candidate through several sets of calls (by the name it is
// listed under and by the upper-cased name), a call into a window of another
// thread, and an addition to a sorted list that is not being painted.
// Usage: hit_costs FOLDER NAME [COUNT]   (FOLDER holds a candidate listed as NAME)
#include <windows.h>
#include <winternl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>

static double Now()
{
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return (double)counter.QuadPart / (double)frequency.QuadPart;
}

static void Report(const char *what, double seconds, int count)
{
    printf("%-52s %8.1f us\n", what, seconds * 1e6 / count);
}

static void ReadHeader(const char *path)
{
    char header[41];
    FILE *file = fopen(path, "rb");
    if (!file)
        return;
    fseek(file, 0, SEEK_SET);
    if (fread(header, 1, sizeof header, file) == 0)
        header[0] = 0;
    fclose(file);
}

enum HandleAttributes { NO_ATTRIBUTES, BASIC_INFO, LEGACY_INFO, SEARCH_FACTS, ALL_INFO };

typedef LONG(WINAPI *QueryInformationFile)(HANDLE, IO_STATUS_BLOCK *, void *, ULONG, ULONG);
static QueryInformationFile query;
static BYTE allInformation[4096];

// The candidate's header read through the Win32 calls: open with every
// sharing mode (a cache that Explorer holds open stays readable), read, close;
// the attributes, if asked for, from the open file.
static bool ReadHeaderWin32(const char *path, HandleAttributes attributes)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    FILE_BASIC_INFO basic;
    BY_HANDLE_FILE_INFORMATION legacy;
    bool readOnly = false;
    if (attributes == BASIC_INFO)
        readOnly = !GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic) ||
                   (basic.FileAttributes & FILE_ATTRIBUTE_READONLY);
    else if (attributes == LEGACY_INFO)
        readOnly = !GetFileInformationByHandle(file, &legacy) || (legacy.dwFileAttributes & FILE_ATTRIBUTE_READONLY);
    else if (attributes == SEARCH_FACTS) {
        // What the search asks: attributes, size and index (FileInternalInformation).
        FILE_STANDARD_INFO standard;
        LARGE_INTEGER index;
        IO_STATUS_BLOCK status;
        readOnly = !GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic) ||
                   !GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard) ||
                   query(file, &status, &index, sizeof index, 6) < 0 || (basic.FileAttributes & FILE_ATTRIBUTE_READONLY);
    } else if (attributes == ALL_INFO) {
        IO_STATUS_BLOCK status;
        LONG result = query(file, &status, allInformation, sizeof allInformation, 18);
        readOnly = result < 0 && result != (LONG)0x80000005;
    }
    char header[41];
    DWORD read = 0;
    if (!readOnly)
        ReadFile(file, header, sizeof header, &read, NULL);
    CloseHandle(file);
    return read > 0;
}

static void TimeFileWork(const std::string &path, const char *label, int count)
{
    const char *p = path.c_str();
    double start = Now();
    for (int i = 0; i < count; i++)
        GetFileAttributesA(p);
    Report((std::string("GetFileAttributesA, ") + label).c_str(), Now() - start, count);
    start = Now();
    for (int i = 0; i < count; i++)
        ReadHeader(p);
    Report((std::string("fopen, fseek, fread 41 bytes, fclose, ") + label).c_str(), Now() - start, count);
    const struct { HandleAttributes attributes; const char *what; } reads[] = {
        { NO_ATTRIBUTES, "CreateFileA, ReadFile, CloseHandle, " },
        { BASIC_INFO, "the same + GetFileInformationByHandleEx, " },
        { LEGACY_INFO, "the same + GetFileInformationByHandle, " },
        { SEARCH_FACTS, "the same + basic, standard, internal, " },
        { ALL_INFO, "the same + FileAllInformation, " },
    };
    for (auto &read : reads) {
        start = Now();
        for (int i = 0; i < count; i++)
            ReadHeaderWin32(p, read.attributes);
        Report((std::string(read.what) + label).c_str(), Now() - start, count);
    }
}

static HWND otherThreadWindow;

static DWORD WINAPI WindowThread(LPVOID ready)
{
    otherThreadWindow = CreateWindowA("STATIC", "", 0, 0, 0, 10, 10, HWND_MESSAGE, NULL, NULL, NULL);
    SetEvent((HANDLE)ready);
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0)
        DispatchMessageA(&message);
    return 0;
}

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: hit_costs FOLDER NAME [COUNT]\n");
        return 2;
    }
    int count = argc > 3 ? atoi(argv[3]) : 2000;
    query = (QueryInformationFile)(void *)GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationFile");
    std::string folder = argv[1], name = argv[2], upper = name;
    for (char &c : upper)
        c = (char)toupper((unsigned char)c);
    TimeFileWork(folder + "\\" + name, "as listed", count);
    TimeFileWork(folder + "\\" + upper, "upper-cased", count);

    HANDLE ready = CreateEventA(NULL, TRUE, FALSE, NULL);
    DWORD threadId;
    HANDLE thread = CreateThread(NULL, 0, WindowThread, ready, 0, &threadId);
    WaitForSingleObject(ready, INFINITE);
    double start = Now();
    for (int i = 0; i < count; i++)
        SendMessageA(otherThreadWindow, WM_NULL, 0, 0);
    Report("a call into a window of another thread", Now() - start, count);
    PostThreadMessageA(threadId, WM_QUIT, 0, 0);
    WaitForSingleObject(thread, INFINITE);

    HWND list = CreateWindowA("LISTBOX", "", LBS_SORT | LBS_HASSTRINGS, 0, 0, 100, 100, NULL, NULL, NULL, NULL);
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    int entries = count * 25;
    char path[MAX_PATH];
    start = Now();
    for (int i = 0; i < entries; i++) {
        snprintf(path, sizeof path, "%s\\g%d\\f%d\\THUMBS.DB", folder.c_str(), (i * 7919) % 500, i % 100);
        SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)path);
    }
    char label[64];
    snprintf(label, sizeof label, "LB_ADDSTRING, sorted list growing to %d", entries);
    Report(label, Now() - start, entries);
    DestroyWindow(list);

    // In walk order, as a search mostly delivers them: sorted in, and appended
    // after one comparison with the last entry, as the List window does.
    for (int append = 0; append < 2; append++) {
        list = CreateWindowA("LISTBOX", "", LBS_SORT | LBS_HASSTRINGS, 0, 0, 100, 100, NULL, NULL, NULL, NULL);
        SendMessageA(list, WM_SETREDRAW, FALSE, 0);
        LCID locale = (LCID)SendMessageA(list, LB_GETLOCALE, 0, 0);
        start = Now();
        for (int i = 0; i < entries; i++) {
            snprintf(path, sizeof path, "%s\\g%03d\\f%05d\\THUMBS.DB", folder.c_str(), i / 100, i);
            char last[MAX_PATH];
            LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
            if (append && count > 0 && SendMessageA(list, LB_GETTEXT, count - 1, (LPARAM)last) != LB_ERR &&
                CompareStringA(locale, NORM_IGNORECASE, path, -1, last, -1) == CSTR_GREATER_THAN)
                SendMessageA(list, LB_INSERTSTRING, (WPARAM)-1, (LPARAM)path);
            else
                SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)path);
        }
        Report(append ? "the same, appended after one comparison" : "LB_ADDSTRING, the same in walk order",
               Now() - start, entries);
        DestroyWindow(list);
    }
    return 0;
}

// Times the folder walk in-process (no UI thread in between): a tree walked
// directly and the same tree walked through a symbolic link, where every folder
// pays for the ancestor check. Usage: walk_bench ROOT [LINKED_ROOT] [REPEATS]
// With BENCH_BARE set it times the bare listing of the tree instead, with
// BENCH_FLOOR set the floor of the whole job (the bare listing plus the test of
// every candidate), and with BENCH_FLOOR0 the same floor listed through the C
// run-time's _findfirst64, as the program listed before its wide listing (F0). With
// BENCH_DELETE_FLOOR naming a report file it times the floor of a delete run
// instead: every THUMBS.DB of the tree, by the path the list shows, in list
// order, written and flushed to the report and then deleted, in a plain loop.
// BENCH_WALKERS sets how many threads the program's walk uses (the program's
// own choice without it); with BENCH_FLOOR, BENCH_FLOOR_THREADS=N walks the
// floor with N threads sharing one stack of folders, as the program's walkers
// do (Fp).
#include "drossweeper.h"
#include "resources/resource.h"

#include <algorithm>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

static double TimeWalk(const char *root)
{
    SendDlgItemMessageA(app.resultsWindow, IDC_RESULTS_LIST, LB_RESETCONTENT, 0, 0);
    app.foundCount = app.searchedCount = 0;
    app.totalBytes = 0;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    DirectoryWalk(root);
    QueryPerformanceCounter(&end);
    return (double)(end.QuadPart - start.QuadPart) / (double)frequency.QuadPart;
}

// Tests a folder's candidate as the search must: through the path ending in
// THUMBS.DB, its attributes and its first bytes, with the cheapest calls
// measured (bench/hit_costs.cpp).
static void TestCandidate(const std::string &folder, long *genuine)
{
    HANDLE file = CreateFileA((folder + "\\THUMBS.DB").c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    FILE_BASIC_INFO info;
    BYTE header[41];
    DWORD read = 0;
    if (GetFileInformationByHandleEx(file, FileBasicInfo, &info, sizeof info) &&
        !(info.FileAttributes & FILE_ATTRIBUTE_READONLY) && ReadFile(file, header, sizeof header, &read, NULL) &&
        MatchesSignature(header, read, CompoundFileSignature))
        (*genuine)++;
    CloseHandle(file);
}

// The platform floor: list every folder as the program lists it (wide, with
// short names, FindFirstFileExW), count files, nothing else. With
// testCandidates, also test every folder's first file named THUMBS.DB in any
// letter case.
static long BareWalk(const std::wstring &folder, bool testCandidates, long *genuine)
{
    long files = 0;
    bool tested = false;
    WIN32_FIND_DATAW entry;
    HANDLE listing = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoStandard, &entry, FindExSearchNameMatch,
                                      NULL, 0);
    if (listing == INVALID_HANDLE_VALUE)
        return 0;
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (wcscmp(entry.cFileName, L".") && wcscmp(entry.cFileName, L".."))
                files += BareWalk(folder + L"\\" + entry.cFileName, testCandidates, genuine);
            continue;
        }
        files++;
        if (!testCandidates || tested || lstrcmpiW(entry.cFileName, L"THUMBS.DB") != 0)
            continue;
        tested = true;
        char narrow[MAX_PATH];
        if (WideCharToMultiByte(CP_ACP, 0, folder.c_str(), -1, narrow, MAX_PATH, NULL, NULL))
            TestCandidate(narrow, genuine);
    } while (FindNextFileW(listing, &entry));
    FindClose(listing);
    return files;
}

// F0: the floor listed as the program lists, through _findfirst64.
static long RuntimeFloorWalk(const std::string &folder, long *genuine)
{
    long files = 0;
    bool tested = false;
    struct __finddata64_t entry;
    intptr_t listing = _findfirst64((folder + "\\*").c_str(), &entry);
    if (listing == -1)
        return 0;
    do {
        if (entry.attrib & _A_SUBDIR) {
            if (strcmp(entry.name, ".") && strcmp(entry.name, ".."))
                files += RuntimeFloorWalk(folder + "\\" + entry.name, genuine);
            continue;
        }
        files++;
        if (tested || lstrcmpiA(entry.name, "THUMBS.DB") != 0)
            continue;
        tested = true;
        TestCandidate(folder, genuine);
    } while (_findnext64(listing, &entry) == 0);
    _findclose(listing);
    return files;
}

// Fp: the floor walked by several threads that take folders from one shared
// stack, last in first out; each lists its folder, pushes the subfolders and
// tests the folder's candidate.
struct FloorStack {
    CRITICAL_SECTION lock;
    CONDITION_VARIABLE changed;
    std::vector<std::wstring> folders;
    int busy;
    volatile LONG files, genuine;
};

static DWORD WINAPI FloorWalker(LPVOID parameter)
{
    FloorStack *shared = (FloorStack *)parameter;
    for (;;) {
        EnterCriticalSection(&shared->lock);
        while (shared->folders.empty() && shared->busy > 0)
            SleepConditionVariableCS(&shared->changed, &shared->lock, INFINITE);
        if (shared->folders.empty()) {
            LeaveCriticalSection(&shared->lock);
            WakeAllConditionVariable(&shared->changed);
            return 0;
        }
        std::wstring folder = shared->folders.back();
        shared->folders.pop_back();
        shared->busy++;
        LeaveCriticalSection(&shared->lock);

        long files = 0, genuine = 0;
        bool tested = false;
        WIN32_FIND_DATAW entry;
        HANDLE listing = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoStandard, &entry,
                                          FindExSearchNameMatch, NULL, 0);
        if (listing != INVALID_HANDLE_VALUE) {
            do {
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    if (wcscmp(entry.cFileName, L".") && wcscmp(entry.cFileName, L"..")) {
                        EnterCriticalSection(&shared->lock);
                        shared->folders.push_back(folder + L"\\" + entry.cFileName);
                        LeaveCriticalSection(&shared->lock);
                        WakeConditionVariable(&shared->changed);
                    }
                    continue;
                }
                files++;
                if (tested || lstrcmpiW(entry.cFileName, L"THUMBS.DB") != 0)
                    continue;
                tested = true;
                char narrow[MAX_PATH];
                if (WideCharToMultiByte(CP_ACP, 0, folder.c_str(), -1, narrow, MAX_PATH, NULL, NULL))
                    TestCandidate(narrow, &genuine);
            } while (FindNextFileW(listing, &entry));
            FindClose(listing);
        }
        InterlockedExchangeAdd(&shared->files, files);
        InterlockedExchangeAdd(&shared->genuine, genuine);
        EnterCriticalSection(&shared->lock);
        shared->busy--;
        LeaveCriticalSection(&shared->lock);
        WakeAllConditionVariable(&shared->changed);
    }
}

static long ParallelFloorWalk(const std::wstring &root, int threads, long *genuine)
{
    FloorStack shared;
    InitializeCriticalSection(&shared.lock);
    InitializeConditionVariable(&shared.changed);
    shared.folders.push_back(root);
    shared.busy = 0;
    shared.files = shared.genuine = 0;
    std::vector<HANDLE> walkers;
    for (int i = 0; i < threads; i++)
        walkers.push_back(CreateThread(NULL, 0, FloorWalker, &shared, 0, NULL));
    WaitForMultipleObjects((DWORD)walkers.size(), walkers.data(), TRUE, INFINITE);
    for (HANDLE walker : walkers)
        CloseHandle(walker);
    DeleteCriticalSection(&shared.lock);
    *genuine = shared.genuine;
    return shared.files;
}

// The threads of Fp: BENCH_FLOOR_THREADS, else as many as the program's walk.
static int FloorThreads(void)
{
    const char *set = getenv("BENCH_FLOOR_THREADS");
    return set && atoi(set) > 0 ? atoi(set) : WalkerCount();
}

static double TimeBareWalk(const char *root, const char *kind, long *files, long *genuine)
{
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    *genuine = 0;
    if (strcmp(kind, "floor0") == 0)
        *files = RuntimeFloorWalk(root, genuine);
    else
    {
        wchar_t wide[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, root, -1, wide, MAX_PATH);
        if (strcmp(kind, "floorp") == 0)
            *files = ParallelFloorWalk(wide, FloorThreads(), genuine);
        else
            *files = BareWalk(wide, strcmp(kind, "floor") == 0, genuine);
    }
    QueryPerformanceCounter(&end);
    return (double)(end.QuadPart - start.QuadPart) / (double)frequency.QuadPart;
}

// The paths of the tree's candidates as the list shows them.
static void CollectCandidates(const std::string &folder, std::vector<std::string> &paths)
{
    WIN32_FIND_DATAA entry;
    HANDLE listing = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (listing == INVALID_HANDLE_VALUE)
        return;
    bool found = false;
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (strcmp(entry.cFileName, ".") && strcmp(entry.cFileName, ".."))
                CollectCandidates(folder + "\\" + entry.cFileName, paths);
        } else if (!found && lstrcmpiA(entry.cFileName, "THUMBS.DB") == 0) {
            found = true;
            paths.push_back(folder + "\\THUMBS.DB");
        }
    } while (FindNextFileA(listing, &entry));
    FindClose(listing);
}

static int DeleteFloor(const char *root, const char *report)
{
    std::vector<std::string> paths;
    CollectCandidates(root, paths);
    std::sort(paths.begin(), paths.end(),
              [](const std::string &a, const std::string &b) { return lstrcmpiA(a.c_str(), b.c_str()) < 0; });
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    FILE *file = fopen(report, "w+");
    if (!file)
        return 1;
    long failed = 0;
    for (const std::string &path : paths) {
        fputs(path.c_str(), file);
        fputc('\n', file);
        fflush(file);
        if (!DeleteFileA(path.c_str()))
            failed++;
    }
    fclose(file);
    QueryPerformanceCounter(&end);
    printf("delete_floor %8.3f s  %zu files, %ld not deleted\n",
           (double)(end.QuadPart - start.QuadPart) / (double)frequency.QuadPart, paths.size(), failed);
    return 0;
}

static double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: walk_bench ROOT [LINKED_ROOT] [REPEATS]\n");
        return 2;
    }
    if (getenv("BENCH_DELETE_FLOOR"))
        return DeleteFloor(argv[1], getenv("BENCH_DELETE_FLOOR"));
    int repeats = argc > 3 ? atoi(argv[3]) : 3;
    const char *kind = NULL;
    if (getenv("BENCH_FLOOR0"))
        kind = "floor0";
    else if (getenv("BENCH_FLOOR"))
        kind = getenv("BENCH_FLOOR_THREADS") ? "floorp" : "floor";
    else if (getenv("BENCH_BARE"))
        kind = "bare";
    if (kind) {
        long files = 0, genuine = 0;
        std::vector<double> times;
        for (int i = 0; i < repeats; i++)
            times.push_back(TimeBareWalk(argv[1], kind, &files, &genuine));
        printf("%-6s %8.3f s  %ld files, %ld genuine\n", kind, Median(times), files, genuine);
        return 0;
    }
    InitAppState();
    if (getenv("BENCH_WALKERS"))
        walkerCount = atoi(getenv("BENCH_WALKERS"));
    app.instance = GetModuleHandleA(NULL);
    app.resultsWindow = CreateDialogParamA(app.instance, MAKEINTRESOURCEA(IDD_RESULTS), NULL, ResultsWindowProc, 0);
    SuspendListPainting();      // as during a search
    for (int arg = 1; arg < argc && arg < 3; arg++) {
        TimeWalk(argv[arg]);    // warm the caches
        std::vector<double> times;
        for (int i = 0; i < repeats; i++)
            times.push_back(TimeWalk(argv[arg]));
        printf("%-8s %8.3f s  found %ld of %ld files  (%s)\n", arg == 1 ? "direct" : "linked",
               Median(times), app.foundCount, app.searchedCount, argv[arg]);
    }
    return 0;
}

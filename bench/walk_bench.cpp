// Times the folder walk in-process (no UI thread in between): a tree walked
// directly and the same tree walked through a symbolic link, where every folder
// pays for the ancestor check. Usage: walk_bench ROOT [LINKED_ROOT] [REPEATS]
#include "drossweeper.h"
#include "resources/resource.h"

#include <algorithm>
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

// The platform floor: list every folder with FindFirstFileExA, count files, nothing else.
static long BareWalk(const std::string &folder)
{
    long files = 0;
    WIN32_FIND_DATAA entry;
    HANDLE listing = FindFirstFileExA((folder + "\\*").c_str(), FindExInfoBasic, &entry,
                                      FindExSearchNameMatch, NULL, FIND_FIRST_EX_LARGE_FETCH);
    if (listing == INVALID_HANDLE_VALUE)
        return 0;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            files++;
        else if (strcmp(entry.cFileName, ".") && strcmp(entry.cFileName, ".."))
            files += BareWalk(folder + "\\" + entry.cFileName);
    } while (FindNextFileA(listing, &entry));
    FindClose(listing);
    return files;
}

static double TimeBareWalk(const char *root, long *files)
{
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    *files = BareWalk(root);
    QueryPerformanceCounter(&end);
    return (double)(end.QuadPart - start.QuadPart) / (double)frequency.QuadPart;
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
    int repeats = argc > 3 ? atoi(argv[3]) : 3;
    if (getenv("BENCH_BARE")) {
        long files = 0;
        std::vector<double> times;
        for (int i = 0; i < repeats; i++)
            times.push_back(TimeBareWalk(argv[1], &files));
        printf("bare     %8.3f s  %ld files\n", Median(times), files);
        return 0;
    }
    InitAppState();
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

// Measures one whole search through the real program: GO answered Yes until the
// MainWindow shows "Idle.", the longest gap between two status ticks meanwhile,
// and the program's peak memory. Usage: bench_driver PROGRAM ROOT
#include "uidriver.h"
#include "../app/resources/resource.h"

#include <psapi.h>
#include <stdio.h>

static const DWORD POLL_MS = 20;

static double Now()
{
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return (double)counter.QuadPart / (double)frequency.QuadPart;
}

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: bench_driver PROGRAM ROOT\n");
        return 2;
    }
    ui::Program program;
    if (!ui::Launch(argv[1], program))
        return 1;
    const std::string title = ui::BoxCaption;
    HWND main = ui::FindWindowByCaption(program, title + " - Main", 15000);
    if (!main)
        return 1;
    ui::SetControlText(main, IDC_MAIN_FOLDER, argv[2]);
    ui::Click(main, IDC_MAIN_GO);
    ui::Box box;
    if (!ui::WaitForBox(program, box, 15000))
        return 1;
    double start = Now();
    ui::Answer(box, IDYES);

    // The spinner caption changes at every tick while the search runs, and the
    // first tick after the search shows the idle caption with "Idle.". One
    // request per poll, and a plain sleep between: each call goes through the
    // wineserver, which the search needs for every folder it lists and every
    // file it opens (looking the controls up and pumping messages at every
    // poll made twenty).
    HWND spinner = GetDlgItem(main, IDC_MAIN_INFO_GROUP);
    HWND folder = GetDlgItem(main, IDC_MAIN_FOLDER_TEXT);
    std::string caption = ui::Caption(spinner);
    double lastTick = start, longestGap = 0;
    for (;;) {
        std::string now = ui::Caption(spinner);
        double t = Now();
        if (now != caption) {
            if (t - lastTick > longestGap)
                longestGap = t - lastTick;
            lastTick = t;
            caption = now;
        }
        if (now == "Information" && ui::Caption(folder).compare(0, 5, "Idle.") == 0)
            break;
        Sleep(POLL_MS);
    }
    double elapsed = Now() - start;

    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(program.process, &memory, sizeof memory);
    printf("seconds=%.3f longest_tick_gap_ms=%.0f peak_working_set_mib=%.1f peak_private_mib=%.1f\n", elapsed,
           longestGap * 1000, memory.PeakWorkingSetSize / 1048576.0, memory.PeakPagefileUsage / 1048576.0);

    ui::Command(main, IDM_EXIT);
    if (ui::WaitForBox(program, box, 15000))
        ui::Answer(box, IDYES);
    ui::WaitForExit(program, 20000);
    ui::Close(program);
    return 0;
}

// Measures one whole search through the real program: GO answered Yes until the
// MainWindow shows "Idle.", the longest gap between two status ticks meanwhile,
// and the program's peak memory. Given a report file, it then deletes every
// file found with a report (Verify No) and measures that run: from the save
// dialog's Save until "Drossweeping Complete.", and the longest stretch in which
// the List window answered no message. Usage: bench_driver PROGRAM ROOT [REPORT]
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

static bool Answer(const ui::Program &program, const char *text, int button)
{
    ui::Box box;
    if (!ui::WaitForBox(program, box, 15000) || box.text != text) {
        fprintf(stderr, "expected the box \"%s\", got \"%s\"\n", text, box.text.c_str());
        return false;
    }
    return ui::Answer(box, button);
}

// The delete run of every entry, with a report, measured from the save dialog's Save.
static bool MeasureDeleteRun(const ui::Program &program, HWND results, const char *report)
{
    HWND list = GetDlgItem(results, IDC_RESULTS_LIST);
    long count = (long)SendMessageW(list, LB_GETCOUNT, 0, 0);
    ui::SelectAll(list);
    ui::Click(results, IDC_RESULTS_DELETE);
    const char *questions[] = {
        "Drossweep (Delete) selected files...\n\nNOTE: Deleted files will *not* be recoverable by normal means "
        "(Recycle Bin).\n\nContinue?",
        "Drossweep (Delete) selected files...\n\nNOTE: Files will not be tested for format, content or "
        "ownership.\n\nContinue?",
        "Drossweep (Delete) selected files...\n\nVerify every delete operation?",
        "Drossweep (Delete) selected files...\n\nSave pathfilename(s) to a report (.txt)?",
    };
    for (int i = 0; i < 4; i++) {
        if (!Answer(program, questions[i], i == 2 ? IDNO : IDYES))
            return false;
    }
    HWND dialog = ui::WaitForSaveDialog(program, 15000);
    if (!dialog)
        return false;
    double start = Now();
    ui::SaveAs(dialog, report);

    // One message to the List window per poll: the time between two answers is
    // the stretch in which it took none (and the pause between polls). The run
    // shows its progress in the size text and puts the text back as it ends,
    // just before its closing message; a program that shows no progress is
    // looked for its closing message. Polls cost the run wineserver requests:
    // two each.
    HWND size = GetDlgItem(results, IDC_RESULTS_SIZE);
    double lastAnswer = Now(), longest = 0;
    bool progressShown = false;
    for (;;) {
        DWORD_PTR result;
        SendMessageTimeoutW(results, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result);
        double t = Now();
        if (t - lastAnswer > longest)
            longest = t - lastAnswer;
        lastAnswer = t;
        bool progress = ui::Caption(size).compare(0, 13, "Drossweeping ") == 0;
        progressShown = progressShown || progress;
        if (!progress && (progressShown || !ui::NoBoxWithin(program, 0)))
            break;
        Sleep(POLL_MS);
    }
    double elapsed = Now() - start;
    ui::Box done;
    ui::WaitForBox(program, done, 15000);
    printf("delete_seconds=%.3f longest_unanswered_ms=%.0f files=%ld message=\"%s\"\n", elapsed, longest * 1000,
           count, done.text.c_str());
    ui::Answer(done, IDOK);
    return Answer(program, "Open report?", IDNO);
}

int main(int argc, char **argv)
{
    if (argc != 3 && argc != 4) {
        fprintf(stderr, "usage: bench_driver PROGRAM ROOT [REPORT]\n");
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
    fflush(stdout);
    if (argc == 4 && !MeasureDeleteRun(program, ui::FindWindowByCaption(program, title + " - List", 15000), argv[3]))
        fprintf(stderr, "the delete run could not be measured\n");

    ui::Command(main, IDM_EXIT);
    if (ui::WaitForBox(program, box, 15000))
        ui::Answer(box, IDYES);
    ui::WaitForExit(program, 20000);
    ui::Close(program);
    return 0;
}

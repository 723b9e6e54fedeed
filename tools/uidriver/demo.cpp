// A scripted tour of the program for scripts/run: search a sample tree and ask
// the host for a screenshot at each step. Usage: demo PROGRAM TREE OUTDIR
// A screenshot is asked for by creating OUTDIR\NAME.request; the host takes it
// and removes the file.
#include "uidriver.h"
#include "../../app/resources/resource.h"

#include <stdio.h>

static std::string outDir;

// The screenshot shows the whole screen, or only the part that the given
// windows cover, with a margin.
static void Screenshot(const char *name, const std::vector<HWND> &windows = {})
{
    std::string request = outDir + "\\" + name + ".request";
    FILE *f = fopen(request.c_str(), "w");
    if (f) {
        RECT all = {}, r;
        for (HWND window : windows) {
            GetWindowRect(window, &r);
            UnionRect(&all, &all, &r);
        }
        if (!IsRectEmpty(&all))
            fprintf(f, "%ldx%ld+%ld+%ld\n", all.right - all.left + 16, all.bottom - all.top + 16, all.left - 8,
                    all.top - 8);
        fclose(f);
    }
    printf("screenshot %s\n", name);
    fflush(stdout);
    for (int i = 0; i < 300 && GetFileAttributesA(request.c_str()) != INVALID_FILE_ATTRIBUTES; i++)
        ui::Pause(100);
}

static bool AnswerNext(ui::Program &program, int button, const char *shot = NULL)
{
    ui::Box box;
    if (!ui::WaitForBox(program, box, 15000)) {
        fprintf(stderr, "no message box\n");
        return false;
    }
    printf("box: %s\n", box.text.c_str());
    if (shot)
        Screenshot(shot);
    return ui::Answer(box, button);
}

int main(int argc, char **argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: demo PROGRAM TREE OUTDIR\n");
        return 2;
    }
    outDir = argv[3];
    ui::Program program;
    if (!ui::Launch(argv[1], program)) {
        fprintf(stderr, "cannot start %s\n", argv[1]);
        return 1;
    }
    const std::string title = ui::BoxCaption;
    HWND main = ui::FindWindowByCaption(program, title + " - Main", 15000);
    HWND results = ui::FindWindowByCaption(program, title + " - List", 15000);
    if (!main || !results) {
        fprintf(stderr, "windows not found\n");
        return 1;
    }
    // Side by side: the main window above, the list below it.
    SetWindowPos(main, NULL, 20, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    RECT r;
    GetWindowRect(main, &r);
    SetWindowPos(results, NULL, 20, r.bottom + 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ui::SetControlText(main, IDC_MAIN_FOLDER, argv[2]);
    ui::Pause(600);
    Screenshot("1-start");

    ui::Click(main, IDC_MAIN_GO);
    if (!AnswerNext(program, IDYES, "2-go-question"))
        return 1;
    if (ui::WaitForControlText(main, IDC_MAIN_FOLDER_TEXT, "Idle.", 60000) != "Idle.")
        return 1;
    ui::Pause(600);
    HWND list = GetDlgItem(results, IDC_RESULTS_LIST);
    ui::SelectAll(list);
    ui::Pause(300);
    Screenshot("3-results", { main, results });
    for (const std::string &entry : ui::ListEntries(list))
        printf("listed: %s\n", entry.c_str());

    // Export the selection beside the screenshots.
    ui::Click(results, IDC_RESULTS_SAVE);
    HWND dialog = ui::WaitForSaveDialog(program, 15000);
    if (!dialog)
        return 1;
    Screenshot("4-save-dialog");
    if (!ui::SaveAs(dialog, outDir + "\\selected-files.txt"))
        return 1;
    if (!AnswerNext(program, IDOK, "5-list-saved") || !AnswerNext(program, IDNO))
        return 1;

    ui::Command(main, IDM_EXIT);
    AnswerNext(program, IDYES);
    DWORD code = ui::WaitForExit(program, 20000);
    printf("exit code %lu\n", code);
    ui::Close(program);
    return code == 1 ? 0 : 1;
}

// Deletes the selected files, after the warnings, with an optional report.
#include "../app/drossweeper.h"

#include <stdio.h>

static const char REPORT_WRITE_FAILED[] =
    "ERROR: Could not write to the report file.\n\nNo further files were deleted.";

struct DeleteRunState {
    HWND owner;
    Selection selection;
    bool verify;
    FILE *report;                       // NULL when no report was asked for
    char reportPath[OUTPUT_PATH_SIZE];
};

static int Ask(HWND owner, const char *question, UINT style)
{
    return MessageBoxA(owner, question, ProductTitle, style);
}

// The warnings and options before anything is deleted; false ends the run.
static bool AskBeforeDeleting(DeleteRunState *run)
{
    HWND owner = run->owner;
    if (Ask(owner, "Drossweep (Delete) selected files...\n\nNOTE: Deleted files will *not* be recoverable "
                   "by normal means (Recycle Bin).\n\nContinue?", MB_ICONWARNING | MB_YESNO) == IDNO)
        return false;
    if (Ask(owner, "Drossweep (Delete) selected files...\n\nNOTE: Files will not be tested for format, "
                   "content or ownership.\n\nContinue?", MB_ICONWARNING | MB_YESNO) == IDNO)
        return false;
    run->verify = Ask(owner, "Drossweep (Delete) selected files...\n\nVerify every delete operation?",
                      MB_ICONWARNING | MB_YESNO) == IDYES;
    if (Ask(owner, "Drossweep (Delete) selected files...\n\nSave pathfilename(s) to a report (.txt)?",
            MB_ICONWARNING | MB_YESNO) != IDYES)
        return true;

    char defaultName[OUTPUT_PATH_SIZE];
    BuildDefaultFileName(defaultName, sizeof defaultName, OUTPUT_REPORT);
    if (!SavePrompt(owner, defaultName, run->reportPath, sizeof run->reportPath))
        return false;
    run->report = CreateOutputFile(owner, run->reportPath);
    return run->report != NULL;
}

enum FileOutcome { FILE_DONE, FILE_CANCELLED, FILE_REPORT_FAILED };

// Reports and deletes one file. The report line is on disk before the file goes.
static FileOutcome DeleteOneFile(DeleteRunState *run, const char *path, HCURSOR previous)
{
    if (run->verify) {
        RestoreCursor(previous);
        snprintf(app.scratchText, sizeof app.scratchText, "Drossweep (Delete)...\n\n'%s'.\n\nContinue?", path);
        int answer = Ask(run->owner, app.scratchText, MB_ICONQUESTION | MB_YESNOCANCEL);
        if (answer == IDCANCEL)
            return FILE_CANCELLED;
        ShowHourglass();
        if (answer != IDYES)
            return FILE_DONE;
    }
    if (run->report && !(WritePathLine(run->report, path) && FlushOutputFile(run->report)))
        return FILE_REPORT_FAILED;
    DeleteFileA(path);
    return FILE_DONE;
}

// Closes the report, if any; false when its last bytes could not be written.
static bool CloseReport(DeleteRunState *run)
{
    if (!run->report)
        return true;
    bool closed = CloseOutputFile(run->report);
    run->report = NULL;
    return closed;
}

static void DeleteSelectedFiles(DeleteRunState *run)
{
    HCURSOR previous = ShowHourglass();
    for (int position = 0; position < run->selection.count; position++) {
        char path[PATH_TEXT_SIZE];
        if (!ReadEntryText(run->selection.indices[position], path, sizeof path)) {
            RestoreCursor(previous);
            Ask(run->owner, "ERROR - Could not get text.", MB_ICONWARNING | MB_OK);
            CloseReport(run);
            return;
        }
        FileOutcome outcome = DeleteOneFile(run, path, previous);
        if (outcome == FILE_CANCELLED) {
            CloseReport(run);
            RestoreCursor(previous);
            return;
        }
        if (outcome == FILE_REPORT_FAILED) {
            CloseReport(run);
            RestoreCursor(previous);
            Ask(run->owner, REPORT_WRITE_FAILED, MB_ICONWARNING | MB_OK);
            return;
        }
    }
    bool reported = run->report != NULL;
    bool closed = CloseReport(run);
    RestoreCursor(previous);
    if (!closed) {
        Ask(run->owner, REPORT_WRITE_FAILED, MB_ICONWARNING | MB_OK);
        return;
    }
    Ask(run->owner, "Drossweeping Complete.", MB_ICONINFORMATION | MB_OK);
    if (reported && Ask(run->owner, "Open report?", MB_ICONWARNING | MB_YESNO) == IDYES)
        ShowOutputFile(run->reportPath);
}

void DeleteRun(void)
{
    DeleteRunState run = {};
    run.owner = app.resultsWindow;

    BeginResultsCommand();
    if (ReadSelection(run.owner, &run.selection)) {
        if (AskBeforeDeleting(&run))
            DeleteSelectedFiles(&run);
        CloseReport(&run);
        ReleaseSelection(&run.selection);
    }
    EndResultsCommand();
}

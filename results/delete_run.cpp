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
    long attempted;                     // deletions tried
    long failed;                        // of those, files still there
};

// The warnings and options before anything is deleted; false ends the run.
// Only the user's own Yes lets a warning pass; a box closed by the program's
// exit (answer 0) ends the run, whatever the question.
static bool AskBeforeDeleting(DeleteRunState *run)
{
    HWND owner = run->owner;
    if (AskUser(owner, "Drossweep (Delete) selected files...\n\nNOTE: Deleted files will *not* be recoverable "
                       "by normal means (Recycle Bin).\n\nContinue?", MB_ICONWARNING | MB_YESNO) != IDYES)
        return false;
    if (AskUser(owner, "Drossweep (Delete) selected files...\n\nNOTE: Files will not be tested for format, "
                       "content or ownership.\n\nContinue?", MB_ICONWARNING | MB_YESNO) != IDYES)
        return false;
    int verify = AskUser(owner, "Drossweep (Delete) selected files...\n\nVerify every delete operation?",
                         MB_ICONWARNING | MB_YESNO);
    if (!verify)
        return false;
    run->verify = verify == IDYES;
    int report = AskUser(owner, "Drossweep (Delete) selected files...\n\nSave pathfilename(s) to a report (.txt)?",
                         MB_ICONWARNING | MB_YESNO);
    if (!report)
        return false;
    if (report != IDYES)
        return true;

    char defaultName[OUTPUT_PATH_SIZE];
    BuildDefaultFileName(defaultName, sizeof defaultName, OUTPUT_REPORT);
    if (!SavePrompt(owner, defaultName, run->reportPath, sizeof run->reportPath))
        return false;
    run->report = CreateOutputFile(owner, run->reportPath);
    return run->report != NULL;
}

// A file that is already gone counts as deleted.
static bool DeleteListedFile(const char *path)
{
    if (DeleteFileA(path))
        return true;
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

enum FileOutcome { FILE_DONE, FILE_CANCELLED, FILE_REPORT_FAILED };

// Reports and deletes one file. The report line is on disk before the file goes.
static FileOutcome DeleteOneFile(DeleteRunState *run, const char *path, HCURSOR previous)
{
    if (run->verify) {
        RestoreCursor(previous);
        snprintf(app.scratchText, sizeof app.scratchText, "Drossweep (Delete)...\n\n'%s'.\n\nContinue?", path);
        int answer = AskUser(run->owner, app.scratchText, MB_ICONQUESTION | MB_YESNOCANCEL);
        if (answer != IDYES && answer != IDNO)
            return FILE_CANCELLED;      // Cancel, or the program's exit
        ShowHourglass();
        if (answer == IDNO)
            return FILE_DONE;
    }
    if (run->report && !(WritePathLine(run->report, path) && FlushOutputFile(run->report)))
        return FILE_REPORT_FAILED;
    run->attempted++;
    if (!DeleteListedFile(path))
        run->failed++;
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

// The message that ends a run, with how many of the files tried could not be
// deleted, if any; a run cancelled with none says nothing.
static void TellEnding(const DeleteRunState *run, const char *text, UINT style)
{
    if (run->failed == 0) {
        if (text[0])
            Tell(run->owner, text, style);
        return;
    }
    char message[256];
    snprintf(message, sizeof message, "%s%s%ld of %ld Files could not be deleted.", text, text[0] ? "\n\n" : "",
             run->failed, run->attempted);
    Tell(run->owner, message, MB_ICONWARNING | MB_OK);
}

static void DeleteSelectedFiles(DeleteRunState *run)
{
    HCURSOR previous = ShowHourglass();
    for (int position = 0; position < run->selection.count; position++) {
        char path[PATH_TEXT_SIZE];
        if (!ReadEntryText(run->selection.indices[position], path, sizeof path)) {
            RestoreCursor(previous);
            TellEnding(run, "ERROR - Could not get text.", MB_ICONWARNING | MB_OK);
            CloseReport(run);
            return;
        }
        FileOutcome outcome = DeleteOneFile(run, path, previous);
        if (outcome == FILE_CANCELLED) {
            CloseReport(run);
            RestoreCursor(previous);
            TellEnding(run, "", MB_ICONWARNING | MB_OK);
            return;
        }
        if (outcome == FILE_REPORT_FAILED) {
            CloseReport(run);
            RestoreCursor(previous);
            TellEnding(run, REPORT_WRITE_FAILED, MB_ICONWARNING | MB_OK);
            return;
        }
    }
    bool reported = run->report != NULL;
    bool closed = CloseReport(run);
    RestoreCursor(previous);
    if (!closed) {
        TellEnding(run, REPORT_WRITE_FAILED, MB_ICONWARNING | MB_OK);
        return;
    }
    TellEnding(run, "Drossweeping Complete.", MB_ICONINFORMATION | MB_OK);
    if (reported && AskUser(run->owner, "Open report?", MB_ICONWARNING | MB_YESNO) == IDYES)
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

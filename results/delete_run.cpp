// Deletes the selected files, after the warnings, with an optional report.
#include "../app/drossweeper.h"
#include "../app/resources/resource.h"

#include <stdio.h>
#include <string.h>

static const char REPORT_WRITE_FAILED[] =
    "ERROR: Could not write to the report file.\n\nNo further files were deleted.";

// A run without per-file questions deletes on a thread of its own, so that the
// windows keep answering however many files it deletes. The UI thread reads
// the entries' texts for it, a chunk at a time, the next while the delete
// thread deletes the last (reading them took a twentieth of the run), and
// shows how far the run is.
enum { CHUNK_ENTRIES = 256, PROGRESS_MS = 100 };

struct PathChunk {
    int first;                          // the selection position of its first entry
    int count;                          // the entries read
    bool unreadable;                    // the entry after them could not be read
    HANDLE filled;                      // set by the UI thread once it has read them
    char paths[CHUNK_ENTRIES][PATH_TEXT_SIZE];
};

enum RunEnding { RUN_COMPLETED, RUN_CANCELLED, RUN_TEXT_UNREADABLE, RUN_REPORT_FAILED, RUN_STOPPED };

struct DeleteRunState {
    HWND owner;
    Selection selection;
    bool verify;
    FILE *report;                       // NULL when no report was asked for
    char reportPath[OUTPUT_PATH_SIZE];  // empty when no report was asked for
    HCURSOR previousCursor;
    char sizeText[PATH_TEXT_SIZE];      // the List window's size text, shown again at the end
    // Written by the delete thread while it runs, read by the UI thread once
    // it has ended; `handled` is read at any time, and a chunk is filled by the
    // UI thread while the delete thread deletes the other.
    long attempted;                     // deletions tried
    long failed;                        // of those, files still there
    RunEnding ending;
    volatile LONG handled;              // files done with, for the progress text
    PathChunk chunks[2];
};

// One run at a time: the List window's buttons are off while one lasts.
static DeleteRunState run;
// Set by the exit: the delete thread stops before its next file.
static volatile LONG stopDeleting;
// From the delete thread's start until its run has ended.
static bool deleting;

bool IsDeleting(void)
{
    return deleting;
}

// The warnings and options before anything is deleted, and the report's
// name; false ends the run. Only the user's own Yes lets a warning pass; a
// box closed by the program's exit (answer 0) ends the run, whatever the
// question. The report is created only once the run may start.
static bool AskBeforeDeleting(void)
{
    HWND owner = run.owner;
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
    run.verify = verify == IDYES;
    int report = AskUser(owner, "Drossweep (Delete) selected files...\n\nSave pathfilename(s) to a report (.txt)?",
                         MB_ICONWARNING | MB_YESNO);
    if (!report)
        return false;
    if (report != IDYES)
        return true;

    char defaultName[OUTPUT_PATH_SIZE];
    BuildDefaultFileName(defaultName, sizeof defaultName, OUTPUT_REPORT);
    if (SavePrompt(owner, defaultName, run.reportPath, sizeof run.reportPath))
        return true;
    run.reportPath[0] = '\0';
    return false;
}

// A file that is already gone counts as deleted.
static bool DeleteListedFile(const char *path)
{
    if (DeleteFileA(path))
        return true;
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Reports and deletes one file; false when the report could not be written.
// The report line is on disk before the file goes.
static bool ReportAndDelete(const char *path)
{
    if (run.report && !(WritePathLine(run.report, path) && FlushOutputFile(run.report)))
        return false;
    run.attempted++;
    if (!DeleteListedFile(path))
        run.failed++;
    return true;
}

// Closes the report, if any; false when its last bytes could not be written.
static bool CloseReport(void)
{
    if (!run.report)
        return true;
    bool closed = CloseOutputFile(run.report);
    run.report = NULL;
    return closed;
}

// The message that ends a run, with how many of the files tried could not be
// deleted, if any; a run cancelled with none says nothing.
static void TellEnding(const char *text, UINT style)
{
    if (run.failed == 0) {
        if (text[0])
            Tell(run.owner, text, style);
        return;
    }
    char message[256];
    snprintf(message, sizeof message, "%s%s%ld of %ld Files could not be deleted.", text, text[0] ? "\n\n" : "",
             run.failed, run.attempted);
    Tell(run.owner, message, MB_ICONWARNING | MB_OK);
}

// Asks before each file, on the UI thread: the questions take the messages.
static void AskAndDeleteEachFile(void)
{
    for (int position = 0; position < run.selection.count; position++) {
        char path[PATH_TEXT_SIZE];
        if (!ReadEntryText(run.selection.indices[position], path, sizeof path)) {
            run.ending = RUN_TEXT_UNREADABLE;
            return;
        }
        RestoreCursor(run.previousCursor);
        snprintf(app.scratchText, sizeof app.scratchText, "Drossweep (Delete)...\n\n'%s'.\n\nContinue?", path);
        int answer = AskUser(run.owner, app.scratchText, MB_ICONQUESTION | MB_YESNOCANCEL);
        if (answer != IDYES && answer != IDNO) {
            run.ending = RUN_CANCELLED;     // Cancel, or the program's exit
            return;
        }
        ShowHourglass();
        if (answer == IDYES && !ReportAndDelete(path)) {
            run.ending = RUN_REPORT_FAILED;
            return;
        }
    }
}

// A request that cannot be posted ends the run: its chunk would never come.
static bool AskForChunk(int which, int first)
{
    if (PostMessageA(run.owner, WM_DELETE_READ_ENTRIES, (WPARAM)which, (LPARAM)first))
        return true;
    run.ending = RUN_TEXT_UNREADABLE;
    return false;
}

static DWORD WINAPI DeleteWorker(LPVOID)
{
    AskForChunk(0, 0);
    for (int which = 0; run.ending == RUN_COMPLETED; which = 1 - which) {
        PathChunk &chunk = run.chunks[which];
        WaitForSingleObject(chunk.filled, INFINITE);
        int next = chunk.first + chunk.count;
        bool asked = next < run.selection.count && !chunk.unreadable && AskForChunk(1 - which, next);
        for (int i = 0; i < chunk.count && run.ending == RUN_COMPLETED; i++) {
            // An exit confirmed meanwhile ends the run before the next file.
            if (InterlockedCompareExchange(&stopDeleting, 0, 0))
                run.ending = RUN_STOPPED;
            else if (!ReportAndDelete(chunk.paths[i]))
                run.ending = RUN_REPORT_FAILED;
            else
                InterlockedIncrement(&run.handled);
        }
        if (chunk.unreadable && run.ending == RUN_COMPLETED)
            run.ending = RUN_TEXT_UNREADABLE;
        if (!asked)
            break;
    }
    // Last: a chunk asked for is read before this is taken from the queue.
    // Should it not be posted, the progress timer finds the thread ended.
    PostMessageA(run.owner, WM_DELETE_ENDED, 0, 0);
    return 0;
}

// Reads the texts of a chunk of entries for the delete thread; an entry whose
// text cannot be read ends the chunk.
void ReadDeleteChunk(int which, int first)
{
    if (!deleting)
        return;     // a request left in the queue by a run that has ended
    PathChunk &chunk = run.chunks[which];
    int wanted = run.selection.count - first < CHUNK_ENTRIES ? run.selection.count - first : CHUNK_ENTRIES;
    chunk.first = first;
    chunk.count = 0;
    // Only from the list the selection was taken from.
    bool ownList = SelectionStillListed(&run.selection);
    while (ownList && chunk.count < wanted && ReadEntryText(run.selection.indices[first + chunk.count],
                                                            chunk.paths[chunk.count], sizeof chunk.paths[chunk.count]))
        chunk.count++;
    chunk.unreadable = chunk.count < wanted;
    SetEvent(chunk.filled);
}

static void ShowDeleteProgress(void)
{
    char text[PATH_TEXT_SIZE];
    snprintf(text, sizeof text, "Drossweeping %ld of %d Files", (long)InterlockedCompareExchange(&run.handled, 0, 0),
             run.selection.count);
    SetDlgItemTextA(run.owner, IDC_RESULTS_SIZE, text);
}

// NULL once the thread runs, else the error to show (nothing deleted). The
// progress timer comes first: the run relies on it to notice a thread whose
// last message was lost.
static const char *StartDeleteWorker(void)
{
    static const char THREAD_FAILED[] = "ERROR: could not create thread.";
    if (ExitConfirmed())
        return THREAD_FAILED;
    InterlockedExchange(&stopDeleting, 0);
    if (app.deleteThread)
        CloseHandle(app.deleteThread);
    app.deleteThread = NULL;
    for (PathChunk &chunk : run.chunks) {
        chunk.filled = CreateEventA(NULL, FALSE, FALSE, NULL);
        if (!chunk.filled)
            return THREAD_FAILED;
    }
    if (!SetTimer(run.owner, DELETE_PROGRESS_TIMER, PROGRESS_MS, NULL))
        return "ERROR: could not create timer.";
    GetDlgItemTextA(run.owner, IDC_RESULTS_SIZE, run.sizeText, sizeof run.sizeText);
    ShowDeleteProgress();
    app.deleteThread = CreateThread(NULL, 0, DeleteWorker, NULL, 0, NULL);
    if (!app.deleteThread) {
        KillTimer(run.owner, DELETE_PROGRESS_TIMER);
        SetDlgItemTextA(run.owner, IDC_RESULTS_SIZE, run.sizeText);
        return THREAD_FAILED;
    }
    deleting = true;
    return NULL;
}

// Every run ends here: the report closed, the cursor back, the closing
// messages, the controls on again.
static void EndDeleteRun(void)
{
    bool reported = run.report != NULL;
    bool closed = CloseReport();
    RestoreCursor(run.previousCursor);
    if (run.ending == RUN_TEXT_UNREADABLE)
        TellEnding("ERROR - Could not get text.", MB_ICONWARNING | MB_OK);
    else if (run.ending == RUN_REPORT_FAILED || !closed)
        TellEnding(REPORT_WRITE_FAILED, MB_ICONWARNING | MB_OK);
    else if (run.ending == RUN_CANCELLED)
        TellEnding("", MB_ICONWARNING | MB_OK);
    else if (run.ending == RUN_COMPLETED) {
        TellEnding("Drossweeping Complete.", MB_ICONINFORMATION | MB_OK);
        if (reported && AskUser(run.owner, "Open report?", MB_ICONWARNING | MB_YESNO) == IDYES)
            ShowOutputFile(run.reportPath);
    }
    ReleaseSelection(&run.selection);
    for (PathChunk &chunk : run.chunks) {
        if (chunk.filled)
            CloseHandle(chunk.filled);
        chunk.filled = NULL;
    }
    EndJob();
    EndResultsCommand();
}

// Ends a run once its thread is done: on the thread's last message, which it
// touches nothing of the run after. Not while an exit question is open: the
// closing messages would open over it (the progress timer tries again).
void EndDeleteWorker(void)
{
    if (!deleting || (ExitQuestionOpen() && !ExitConfirmed()))
        return;
    deleting = false;
    KillTimer(run.owner, DELETE_PROGRESS_TIMER);
    SetDlgItemTextA(run.owner, IDC_RESULTS_SIZE, run.sizeText);
    EndDeleteRun();
}

void TickDeleteRun(void)
{
    if (!deleting)
        return;
    ShowDeleteProgress();
    // Its last message may be lost, or put off by an exit question.
    DWORD code;
    if (GetExitCodeThread(app.deleteThread, &code) && code != STILL_ACTIVE)
        EndDeleteWorker();
}

void StopDeleteWorker(void)
{
    InterlockedExchange(&stopDeleting, 1);
    DWORD code;
    DispatchUntilEnded(app.deleteThread, &code);
    // Its report closed; once the exit is confirmed no box opens.
    EndDeleteWorker();
}

// A run that ends before it deletes anything.
static void AbandonRun(void)
{
    ReleaseSelection(&run.selection);
    EndResultsCommand();
}

void DeleteRun(void)
{
    if (IsResultsCommandRunning())
        return;     // a click taken from the queue behind the command's own: the run's record is in use
    memset(&run, 0, sizeof run);
    run.owner = app.resultsWindow;

    BeginResultsCommand();
    if (!ReadSelection(run.owner, &run.selection)) {
        EndResultsCommand();
        return;
    }
    if (!AskBeforeDeleting() || !StartListJob(run.owner, JOB_DELETE, &run.selection)) {
        AbandonRun();
        return;
    }
    if (run.reportPath[0] && !(run.report = CreateOutputFile(run.owner, run.reportPath))) {
        EndJob();
        AbandonRun();
        return;
    }
    run.previousCursor = ShowHourglass();
    if (run.verify) {
        AskAndDeleteEachFile();
        EndDeleteRun();
        return;
    }
    if (const char *failure = StartDeleteWorker()) {
        if (!ExitConfirmed())
            Tell(run.owner, failure, MB_ICONWARNING | MB_OK);
        run.ending = RUN_STOPPED;
        EndDeleteRun();
    }
    // The run goes on in the delete thread; EndDeleteWorker ends it.
}

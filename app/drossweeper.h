/*
 * Drossweeper [THUMBS.DB]: the process-wide state record and every function
 * that one file of the program offers to another, listed under its file.
 */
#ifndef DROSSWEEPER_H
#define DROSSWEEPER_H

#include <windows.h>
#include <stddef.h>
#include <stdio.h>

#define PRODUCT_TITLE "Drossweeper [THUMBS.DB] - v1.0.6.0"

enum {
    PATH_TEXT_SIZE = MAX_PATH,      /* 260 bytes: at most 259 characters */
    SCRATCH_TEXT_SIZE = 4096,
    SIGNATURE_SIZE = 9,
    /* a folder path, a name that made it too long, and the reason */
    NOT_SEARCHED_TEXT_SIZE = 2 * PATH_TEXT_SIZE + 64,
};

/* Sent by the search when it could not go on and the program must end. */
#define WM_SEARCH_FATAL (WM_APP + 1)

/* Sent or posted by the search to the ResultsWindow: list the matches that
   wait (TakeMatchBatch) and show the size text that followed the last of them. */
#define WM_SEARCH_MATCHES (WM_APP + 3)
enum { MATCH_BATCH_TEXT_SIZE = 32768 };
/* Sent by the search to the ResultsWindow when its walk has ended. */
#define WM_SEARCH_ENDED (WM_APP + 4)
/* Sent by the search to the ResultsWindow after "Idle.": its buttons may come on. */
#define WM_SEARCH_IDLE (WM_APP + 7)
struct MatchBatch {
    int count;
    size_t used;                            /* bytes of paths in use */
    char paths[MATCH_BATCH_TEXT_SIZE];      /* count paths, each ending in a zero byte */
    char sizeText[PATH_TEXT_SIZE];
};

/* The one process-wide state record; zero-filled by InitAppState. */
struct AppState {
    HWND mainWindow;
    HWND resultsWindow;
    HINSTANCE instance;
    HANDLE workerThread;
    DWORD workerThreadId;
    HANDLE deleteThread;                    /* a delete run's, until the next run or the end */
    BYTE stopRequested;                     /* SearchProgress */
    BYTE searching;                         /* SearchProgress: from GO to "Idle." */
    BYTE exitConfirmed;                     /* UI thread: the program is ending */
    int exitQuestionsOpen;                  /* UI thread: "Exit?" boxes on screen */
    DWORD workerExitCode;
    CRITICAL_SECTION progressLock;
    HICON appIcon;
    char scratchText[SCRATCH_TEXT_SIZE];    /* UI thread only */
    char currentFolderText[PATH_TEXT_SIZE]; /* SearchProgress */
    char foundText[PATH_TEXT_SIZE];         /* SearchProgress */
    long foundCount;                        /* SearchProgress */
    long searchedCount;                     /* SearchProgress */
    unsigned long long totalBytes;          /* SearchProgress */
    long foldersNotSearched;                /* SearchProgress: could not be listed or entered */
    long filesNotSearched;                  /* SearchProgress: THUMBS.DB files that could not be tested */
    char notSearchedText[NOT_SEARCHED_TEXT_SIZE];   /* SearchProgress: the first of them, and why */
    long spinnerPhase;
    BYTE signature[SIGNATURE_SIZE];
    char searchRoot[PATH_TEXT_SIZE];
};

extern AppState app;
extern const char ProductTitle[];

/* app/app_state.cpp */
void InitAppState(void);
bool PumpPendingMessages(void);
bool IsWorkerRunning(void);
void DispatchUntilEnded(HANDLE thread, DWORD *exitCode);
void StopSearchAndQuit(void);
// Every modal step of a command goes through this guard: once the user has
// confirmed the exit, the command ends at its next step without acting.
bool ExitConfirmed(void);
// A question's answer, or 0 once the exit is confirmed (the box is then not shown).
int AskUser(HWND owner, const char *question, UINT style);
// An error or a completion: a box with no question, skipped once the exit is confirmed.
void Tell(HWND owner, const char *text, UINT style);
INT_PTR AnswerExitRequest(HWND window, UINT message);
// True while an exit question waits for its answer: nothing the program does
// by itself meanwhile opens a box over it.
bool ExitQuestionOpen(void);
void CopyText(char *dest, size_t destSize, const char *src);

/* app/job_guard.cpp: one job at a time */
enum Job { JOB_NONE, JOB_SEARCH, JOB_DELETE, JOB_EXPORT, JOB_LINKS };
// What runs now: a search while its worker lives, else the job begun here.
Job RunningJob(void);
// Whether the job may start now; if not, the user is told why.
bool JobMayStart(HWND owner, Job job);
// Asked by every job at the moment it starts, after its questions: true when
// nothing else runs, and the job is then the one that runs until EndJob (a
// search until its worker ends). A refused job changes nothing.
bool StartJob(HWND owner, Job job);
void EndJob(void);

/* app/startup.cpp */
int RunProgram(HINSTANCE instance);

/* search/search_worker.cpp */
bool StartSearchWorker(void);

/* search/directory_walk.cpp */
extern const BYTE CompoundFileSignature[SIGNATURE_SIZE];
extern void *(*AllocateHeaderBuffer)(size_t size);
void DirectoryWalk(const char *folder);
// How many threads walk the tree; 0 (as the program has it): its own choice.
extern int walkerCount;
// How many walkers a walk starts: walkerCount where it is set, else the
// program's own choice (search/walk_threads.cpp).
int WalkerCount(void);
// The walk's locks, made once at start-up.
void InitWalkLocks(void);
void UppercaseInPlace(char *text);
bool JoinPath(char *dest, size_t destSize, const char *folder, const char *name);
bool MatchesSignature(const BYTE *header, size_t length, const BYTE *signature);
bool IsWindowsName(const WCHAR *name);
bool TextInCodePage(const WCHAR *text, char *dest, size_t destSize);
bool NameInCodePage(const WCHAR *name, char *dest, size_t destSize);
const char *NameEntryPath(char *dest, size_t destSize, const char *folder, const WCHAR *name, const WCHAR *shortName,
                          bool *byShortName = NULL);
extern const char *const NAME_NOT_IN_CODE_PAGE;
extern const char *const PATH_TOO_LONG;
extern const char *const INVALID_NAME;
extern const char *const SHORT_NAME_AMBIGUOUS;
// A file or folder's volume serial and file index, opened by a wide path.
struct EntryIdentity {
    DWORD volume;
    unsigned long long index;
};
bool ReadEntryIdentity(const WCHAR *path, EntryIdentity *id, DWORD *error);
// What tells one listed file from another (see NoteListedFile).
struct ListedFileKey {
    DWORD volume;
    unsigned long long index, size;
    long long created, written, changed;
};
bool SameListedFile(const ListedFileKey &a, const ListedFileKey &b);
void FormatFoundText(char *dest, size_t destSize, long found, long searched);
// The Information text: the found text, and a line for what could not be searched, if anything.
void FormatInformationText(char *dest, size_t destSize, const char *foundText, long folders, long files);
void FormatSizeText(char *dest, size_t destSize, long found, unsigned long long bytes);
bool TakeSearchFailure(void);
MatchBatch *TakeMatchBatch(void);

/* results/results_window.cpp */
INT_PTR CALLBACK ResultsWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void EnableResultsControls(bool enable);
void SuspendListPainting(void);
void ResumeListPainting(void);
void RepaintSuspendedList(void);
// Adds a path where the sorted list would put it, appending when it sorts last.
LRESULT AddListEntry(HWND list, const char *path);

/* results/results_window.cpp: the selection as the commands read it */
struct Selection {
    int *indices;
    int count;
    unsigned long listChange;       // the list's change count when it was read
};
bool ReadSelection(HWND owner, Selection *selection);
void ReleaseSelection(Selection *selection);
bool ReadEntryText(int index, char *text, size_t textSize);
// Called before a search empties the list: every selection read before is stale.
void NoteListChange(void);
bool SelectionStillListed(const Selection *selection);

/* results/command_guard.cpp */
bool IsResultsCommandRunning(void);
void BeginResultsCommand(void);
void EndResultsCommand(void);
// StartJob for a command on a selection, which must still be the list's own.
bool StartListJob(HWND owner, Job job, const Selection *selection);
HCURSOR ShowHourglass(void);
void RestoreCursor(HCURSOR previous);

/* results/output_file.cpp */
enum OutputKind { OUTPUT_REPORT, OUTPUT_LIST };
enum { OUTPUT_PATH_SIZE = 520 };
void FormatDefaultFileName(char *dest, size_t destSize, OutputKind kind, long long seconds);
void BuildDefaultFileName(char *dest, size_t destSize, OutputKind kind);
bool SavePrompt(HWND owner, const char *defaultName, char *path, size_t pathSize);
FILE *CreateOutputFile(HWND owner, const char *path);
bool WritePathLine(FILE *file, const char *path);
bool FlushOutputFile(FILE *file);
bool CloseOutputFile(FILE *file);
void ShowOutputFile(const char *path);

/* results/delete_run.cpp */
void DeleteRun(void);
/* Posted by the delete thread to the ResultsWindow: read into the chunk in
   wParam the texts of the entries to delete from the selection position in
   lParam on. */
#define WM_DELETE_READ_ENTRIES (WM_APP + 5)
/* Posted by the delete thread as its last step. */
#define WM_DELETE_ENDED (WM_APP + 6)
void ReadDeleteChunk(int which, int first);
enum { DELETE_PROGRESS_TIMER = 1 };
// The progress timer's tick: the progress shown, and a run whose thread has ended is ended.
void TickDeleteRun(void);
bool IsDeleting(void);
void EndDeleteWorker(void);
// Stops a delete run before its next file and waits for its thread, dispatching.
void StopDeleteWorker(void);

/* results/list_export.cpp */
void ListExport(void);

/* mainwindow/frame_window.cpp */
void FrameWindow(HWND window, const char *name, bool centre, int showCommand);
POINT CentredPosition(const RECT &window, const RECT &parent, const RECT &parentNormal,
                      const RECT &workArea);

/* mainwindow/main_window.cpp */
extern const char ProductSiteAddress[];
INT_PTR CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
enum RootResult { ROOT_RESOLVED, ROOT_TOO_LONG_PATH, ROOT_INVALID_PATH, ROOT_NOT_NAMEABLE };
enum { ROOT_TEXT_SIZE = 1024 };     /* wide characters of a root as typed or picked */
// The root that a search walks for the field's text: its full path, where the
// code page holds it exactly and Windows parses it back, else its short path
// where that names the same folder.
RootResult ResolveSearchRoot(const WCHAR *text, char *root, size_t rootSize);
RootResult ChooseRootPath(const WCHAR *full, char *root, size_t rootSize);

/* mainwindow/folder_picker.cpp */
bool PickFolder(HWND owner, const WCHAR *initialFolder, WCHAR *chosen, size_t chosenSize);

/* shortcuts/link_locations.cpp: beside AppState, filled by ReadLinkLocations */
enum { LINK_LOCATION_COUNT = 15 };
struct LinkLocation {
    char path[PATH_TEXT_SIZE];
    BYTE valid;
};
struct LinkLocationBinding {
    int checkBox;
    HKEY root;
    const char *valueName;
    bool quickLaunch;
};
extern LinkLocation LinkLocationTable[LINK_LOCATION_COUNT];
extern const LinkLocationBinding LinkLocationBindings[LINK_LOCATION_COUNT];
void ReadLinkLocations(void);

/* shortcuts/shortcut_file.cpp */
extern const char LinkFileName[];
bool BuildLinkPath(char *dest, size_t destSize, const char *folder);
void ProgramFolderOf(char *dest, size_t destSize, const char *programPath);
bool IsOwnLink(const char *linkPath);
bool ReadLinkTarget(const char *linkPath, char *target, size_t targetSize);
bool CanLoadLink(const char *linkPath);
void CreateLink(HWND owner, const char *folder);
bool DeleteLink(const char *folder);

/* shortcuts/links_dialog.cpp */
#define WM_LINKS_REFRESH (WM_APP + 2)
INT_PTR CALLBACK LinksDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

/* web/browser_launch.cpp */
void CleanBrowserCommand(char *command);
bool ReadBrowserCommand(char *command, size_t commandSize);
void StartBrowser(const char *command, const char *parameters);
void OpenAddress(const char *address);

/* web/referrer_page.cpp */
void ShowReferrerPage(const char *address);

/* web/donate_dialog.cpp */
extern const char DonationAddress[];
INT_PTR CALLBACK DonateDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#endif

// The recursive folder walk that recognises genuine THUMBS.DB files.
#include "../app/drossweeper.h"

#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

const BYTE CompoundFileSignature[SIGNATURE_SIZE] = {
    0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1, 0x00
};

static const char SOUGHT_NAME[] = "THUMBS.DB";
static const size_t HEADER_SIZE = 41;
static const double MEGABYTE = 1048576.0;

// Matches reach the ResultsWindow through two batches: the walk fills one
// while the UI thread lists the other, so that sorting them into the list
// (some tens of microseconds each under wine) overlaps the walk. The walk
// posts a wake-up before an entry once matches wait: the first match at once,
// later ones once this long has passed since the last wake-up. A full batch,
// and what is left when the walk ends, go over synchronously, so that every
// match counted is listed before the walk returns. Both batches, the filling
// one and the wake-up flag are guarded by progressLock.
static const DWORD MATCH_HANDOVER_MS = 100;
static MatchBatch batches[2];
static MatchBatch *filling = &batches[0];
static bool wakeUpPosted;
static DWORD lastWakeUp;       // walk thread only

// Replaceable so that tests can make the header allocation fail.
void *(*AllocateHeaderBuffer)(size_t size) = malloc;

// Set when the walk could not go on; the worker reports it once the walk has ended.
static bool searchFailed;

bool TakeSearchFailure(void)
{
    bool failed = searchFailed;
    searchFailed = false;
    return failed;
}

void UppercaseInPlace(char *text)
{
    for (; *text; text++) {
        if (*text >= 'a' && *text <= 'z')
            *text = (char)(*text - 'a' + 'A');
    }
}

// True when the text's last character is a backslash; a backslash byte that
// trails a double-byte character does not count.
static bool EndsWithBackslash(const char *text, size_t length)
{
    if (length == 0)
        return false;
    const char *last = CharPrevA(text, text + length);
    return last == text + length - 1 && *last == '\\';
}

bool JoinPath(char *dest, size_t destSize, const char *folder, const char *name)
{
    size_t folderLength = strlen(folder);
    size_t nameLength = strlen(name);
    bool separator = folderLength > 0 && !EndsWithBackslash(folder, folderLength);
    size_t total = folderLength + (separator ? 1 : 0) + nameLength;

    // A path that does not fit is refused, never cut: a cut path may name another object.
    if (total >= destSize)
        return false;
    memmove(dest, folder, folderLength);
    if (separator)
        dest[folderLength++] = '\\';
    memcpy(dest + folderLength, name, nameLength + 1);
    return true;
}

bool MatchesSignature(const BYTE *header, size_t length, const BYTE *signature)
{
    return length >= SIGNATURE_SIZE && memcmp(header, signature, SIGNATURE_SIZE) == 0;
}

void FormatFoundText(char *dest, size_t destSize, long found, long searched)
{
    snprintf(dest, destSize, "%ld Files [THUMBS.DB] Found [of %ld Searched]", found, searched);
}

void FormatSizeText(char *dest, size_t destSize, long found, unsigned long long bytes)
{
    snprintf(dest, destSize, "%ld Files [%.2f MB]", found, (double)bytes / MEGABYTE);
}

void FormatInformationText(char *dest, size_t destSize, const char *foundText, long folders, long files)
{
    if (folders == 0 && files == 0)
        snprintf(dest, destSize, "%s", foundText);
    else
        snprintf(dest, destSize, "%s\n[%ld Folders, %ld Files Not Searched]", foundText, folders, files);
}

enum NotSearchedKind { FOLDER_NOT_SEARCHED, FILE_NOT_SEARCHED };

// Counts a folder that could not be listed or entered, or a THUMBS.DB that
// could not be tested, and keeps the first of them with the reason. The walk
// goes on past it.
static void NoteNotSearched(NotSearchedKind kind, const char *folder, const char *name, const char *reason)
{
    EnterCriticalSection(&app.progressLock);
    if (kind == FOLDER_NOT_SEARCHED)
        app.foldersNotSearched++;
    else
        app.filesNotSearched++;
    if (!app.notSearchedText[0])
        snprintf(app.notSearchedText, sizeof app.notSearchedText, "Not Searched: '%s%s%s' [%s]", folder,
                 name[0] && folder[0] && !EndsWithBackslash(folder, strlen(folder)) ? "\\" : "", name, reason);
    LeaveCriticalSection(&app.progressLock);
}

// Why a folder could not be listed, or a file opened, from the system's error.
static const char *NotSearchedReason(DWORD error)
{
    switch (error) {
    case ERROR_ACCESS_DENIED:
        return "Access Denied";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return "In Use";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return "Not Found";
    case ERROR_FILENAME_EXCED_RANGE:
        return "Path Too Long";
    }
    return "Could Not Open";
}

// A folder's identity (volume and file index), read once when the cycle check needs it.
struct FolderIdentity {
    bool read;
    bool known;
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
};

// One folder of the current walk path; the chain leads back to the root.
struct WalkFrame {
    const WalkFrame *parent;
    const char *path;
    bool insideLink;            // reached through a reparse point below the root
    bool candidateTested;       // this folder's THUMBS.DB path has been tested
    mutable FolderIdentity identity;
};

static const FolderIdentity &ReadFolderIdentity(const WalkFrame *frame)
{
    FolderIdentity &id = frame->identity;
    if (id.read)
        return id;
    id.read = true;
    // An empty root is the current folder.
    const char *path = frame->path[0] ? frame->path : ".";
    HANDLE file = CreateFileA(path, FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return id;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(file, &info)) {
        id.known = true;
        id.volume = info.dwVolumeSerialNumber;
        id.indexHigh = info.nFileIndexHigh;
        id.indexLow = info.nFileIndexLow;
    }
    CloseHandle(file);
    return id;
}

// A folder reached through a symbolic link or junction may be one of its own
// ancestors; walking it again would recurse until the path limit, and several
// such links make that exponential. Without links no folder can be its own
// ancestor, so only folders at or below a link pay for the check.
static bool IsWalkAncestor(const WalkFrame *child)
{
    const FolderIdentity &id = ReadFolderIdentity(child);
    if (!id.known)
        return true;    // cannot tell: do not risk an endless walk
    for (const WalkFrame *frame = child->parent; frame; frame = frame->parent) {
        const FolderIdentity &other = ReadFolderIdentity(frame);
        if (other.known && other.volume == id.volume && other.indexHigh == id.indexHigh &&
            other.indexLow == id.indexLow)
            return true;
    }
    return false;
}

static bool IsStopRequested(void)
{
    EnterCriticalSection(&app.progressLock);
    bool stop = app.stopRequested != 0;
    LeaveCriticalSection(&app.progressLock);
    return stop;
}

static void RequestStop(void)
{
    EnterCriticalSection(&app.progressLock);
    app.stopRequested = 1;
    LeaveCriticalSection(&app.progressLock);
}

MatchBatch *TakeMatchBatch(void)
{
    EnterCriticalSection(&app.progressLock);
    MatchBatch *full = filling;
    // The other batch was listed by the last call: the walk may fill it again.
    filling = full == &batches[0] ? &batches[1] : &batches[0];
    filling->count = 0;
    filling->used = 0;
    wakeUpPosted = false;
    LeaveCriticalSection(&app.progressLock);
    return full;
}

static void HandOverMatches(void)
{
    SendMessageA(app.resultsWindow, WM_SEARCH_MATCHES, 0, 0);
}

static void WakeUpListWhenDue(void)
{
    DWORD now = GetTickCount();
    if (now - lastWakeUp < MATCH_HANDOVER_MS)
        return;
    EnterCriticalSection(&app.progressLock);
    bool wake = filling->count > 0 && !wakeUpPosted;
    wakeUpPosted = wakeUpPosted || wake;
    LeaveCriticalSection(&app.progressLock);
    if (!wake)
        return;
    lastWakeUp = now;
    PostMessageA(app.resultsWindow, WM_SEARCH_MATCHES, 0, 0);
}

static void MakeRoomForMatch(size_t length)
{
    EnterCriticalSection(&app.progressLock);
    bool full = filling->used + length > sizeof filling->paths;
    LeaveCriticalSection(&app.progressLock);
    if (full)
        HandOverMatches();      // the UI thread swaps in the empty batch
}

enum CandidateResult { CANDIDATE_GENUINE, CANDIDATE_REJECTED, CANDIDATE_UNTESTED };

// Opens a candidate and reads its first bytes: genuine, rejected (read-only,
// no compound file, gone since it was listed) or untested (no permission,
// in use, unreadable), with the reason. The attributes and the size come from
// the open file, so that the file judged, counted and read is the very one
// that is listed (in a case-sensitive folder the listing entry may be another
// spelling's), and its path is looked up once: under wine an upper-cased name
// costs a scan of its folder.
static CandidateResult TestCandidate(const char *path, unsigned long long *size, const char **reason)
{
    *reason = "Could Not Read";
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return CANDIDATE_REJECTED;
        // Read-only, it fails the test whether it can be read or not.
        DWORD attributes = GetFileAttributesA(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            return CANDIDATE_REJECTED;
        *reason = NotSearchedReason(error);
        return CANDIDATE_UNTESTED;
    }
    FILE_BASIC_INFO info;
    FILE_STANDARD_INFO standard;
    if (!GetFileInformationByHandleEx(file, FileBasicInfo, &info, sizeof info) ||
        !GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard)) {
        CloseHandle(file);
        return CANDIDATE_UNTESTED;
    }
    if (info.FileAttributes & FILE_ATTRIBUTE_READONLY) {
        CloseHandle(file);
        return CANDIDATE_REJECTED;
    }
    *size = (unsigned long long)standard.EndOfFile.QuadPart;
    BYTE *header = (BYTE *)AllocateHeaderBuffer(HEADER_SIZE);
    if (!header) {
        CloseHandle(file);
        MessageBoxA(NULL, "ERROR: Could not allocate memory.\n\nThe application will now terminate.",
                    ProductTitle, MB_ICONWARNING);
        searchFailed = true;
        RequestStop();
        return CANDIDATE_REJECTED;
    }
    DWORD length = 0;
    bool read = ReadFile(file, header, HEADER_SIZE, &length, NULL) != 0;
    CloseHandle(file);
    bool matches = read && MatchesSignature(header, length, app.signature);
    free(header);
    if (!read)
        return CANDIDATE_UNTESTED;
    return matches ? CANDIDATE_GENUINE : CANDIDATE_REJECTED;
}

static void ExamineFile(WalkFrame *frame, struct __finddata64_t *entry)
{
    EnterCriticalSection(&app.progressLock);
    app.searchedCount++;
    LeaveCriticalSection(&app.progressLock);

    UppercaseInPlace(entry->name);
    if (strcmp(entry->name, SOUGHT_NAME) != 0)
        return;
    // The candidate is queried and opened through the very path that will be
    // listed, so that a delete run removes the file that passed the test. In a
    // case-sensitive folder every candidate name leads to that one path: it is
    // tested once, and listed once at most.
    if (frame->candidateTested)
        return;
    frame->candidateTested = true;
    char path[PATH_TEXT_SIZE];
    if (!JoinPath(path, sizeof path, frame->path, entry->name)) {
        NoteNotSearched(FILE_NOT_SEARCHED, frame->path, entry->name, "Path Too Long");
        return;
    }
    unsigned long long size = 0;
    const char *reason;
    CandidateResult result = TestCandidate(path, &size, &reason);
    if (result == CANDIDATE_UNTESTED)
        NoteNotSearched(FILE_NOT_SEARCHED, path, "", reason);
    if (result != CANDIDATE_GENUINE)
        return;

    size_t length = strlen(path) + 1;
    MakeRoomForMatch(length);
    EnterCriticalSection(&app.progressLock);
    app.foundCount++;
    FormatFoundText(app.foundText, sizeof app.foundText, app.foundCount, app.searchedCount);
    app.totalBytes += size;
    FormatSizeText(filling->sizeText, sizeof filling->sizeText, app.foundCount, app.totalBytes);
    memcpy(filling->paths + filling->used, path, length);
    filling->used += length;
    filling->count++;
    LeaveCriticalSection(&app.progressLock);
}

static void WalkFolder(WalkFrame *frame)
{
    const char *folder = frame->path;

    EnterCriticalSection(&app.progressLock);
    CopyText(app.currentFolderText, sizeof app.currentFolderText, folder);
    FormatFoundText(app.foundText, sizeof app.foundText, app.foundCount, app.searchedCount);
    LeaveCriticalSection(&app.progressLock);

    char pattern[PATH_TEXT_SIZE];
    if (!JoinPath(pattern, sizeof pattern, folder, "*")) {
        NoteNotSearched(FOLDER_NOT_SEARCHED, folder, "", "Path Too Long");
        return;
    }
    struct __finddata64_t entry;
    intptr_t listing = _findfirst64(pattern, &entry);
    if (listing == -1) {
        // A root that names nothing, or a file, is no folder left unsearched.
        DWORD error = GetLastError();
        bool noFolder = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                        error == ERROR_DIRECTORY || error == ERROR_INVALID_NAME;
        if (frame->parent || !noFolder)
            NoteNotSearched(FOLDER_NOT_SEARCHED, folder, "", NotSearchedReason(error));
        return;
    }

    do {
        WakeUpListWhenDue();
        if (IsStopRequested())
            break;
        if (!(entry.attrib & _A_SUBDIR)) {
            ExamineFile(frame, &entry);
            continue;
        }
        if (strcmp(entry.name, ".") == 0 || strcmp(entry.name, "..") == 0)
            continue;
        // A name the ANSI code page cannot hold comes back with '?': such a
        // path names nothing, or worse (a wildcard), something else.
        if (strchr(entry.name, '?')) {
            NoteNotSearched(FOLDER_NOT_SEARCHED, folder, entry.name, "Name Not in Code Page");
            continue;
        }
        char child[PATH_TEXT_SIZE];
        if (!JoinPath(child, sizeof child, folder, entry.name)) {
            NoteNotSearched(FOLDER_NOT_SEARCHED, folder, entry.name, "Path Too Long");
            continue;
        }
        WalkFrame childFrame = {};
        childFrame.parent = frame;
        childFrame.path = child;
        childFrame.insideLink = frame->insideLink || (entry.attrib & FILE_ATTRIBUTE_REPARSE_POINT);
        if (childFrame.insideLink && IsWalkAncestor(&childFrame))
            continue;
        WalkFolder(&childFrame);
    } while (_findnext64(listing, &entry) == 0);

    _findclose(listing);
}

void DirectoryWalk(const char *folder)
{
    lastWakeUp = GetTickCount() - MATCH_HANDOVER_MS;       // the first match goes at once
    WalkFrame root = {};
    root.path = folder;
    WalkFolder(&root);
    HandOverMatches();
}

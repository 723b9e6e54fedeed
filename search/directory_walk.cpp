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

// Under Wine each call into a window of another thread costs about 0.2 ms,
// which made the two calls per match most of a large search's time. Matches
// are therefore handed to the ResultsWindow in batches, checked for before
// every entry: the first match at once, later ones once this long has passed
// since the last hand-over, and whatever is left when the walk ends.
static const DWORD MATCH_HANDOVER_MS = 100;
static MatchBatch pendingMatches;
static DWORD lastHandover;

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

static void HandOverMatches(void)
{
    if (pendingMatches.count > 0)
        SendMessageA(app.resultsWindow, WM_SEARCH_MATCHES, 0, (LPARAM)&pendingMatches);
    pendingMatches.count = 0;
    pendingMatches.used = 0;
    lastHandover = GetTickCount();
}

static void HandOverMatchesWhenDue(void)
{
    if (pendingMatches.count > 0 && GetTickCount() - lastHandover >= MATCH_HANDOVER_MS)
        HandOverMatches();
}

// The batch goes over at the next entry's check (or when it is full).
static void QueueMatch(const char *path, const char *sizeText)
{
    size_t length = strlen(path) + 1;
    if (pendingMatches.used + length > sizeof pendingMatches.paths)
        HandOverMatches();
    memcpy(pendingMatches.paths + pendingMatches.used, path, length);
    pendingMatches.used += length;
    pendingMatches.count++;
    CopyText(pendingMatches.sizeText, sizeof pendingMatches.sizeText, sizeText);
}

// Reads the first bytes of a candidate; false when it is no compound file.
static bool HasCompoundFileHeader(const char *path)
{
    FILE *file = fopen(path, "rb");
    if (!file)
        return false;
    BYTE *header = (BYTE *)AllocateHeaderBuffer(HEADER_SIZE);
    if (!header) {
        fclose(file);
        MessageBoxA(NULL, "ERROR: Could not allocate memory.\n\nThe application will now terminate.",
                    ProductTitle, MB_ICONWARNING);
        searchFailed = true;
        RequestStop();
        return false;
    }
    fseek(file, 0, SEEK_SET);
    size_t length = fread(header, 1, HEADER_SIZE, file);
    fclose(file);
    bool matches = MatchesSignature(header, length, app.signature);
    free(header);
    return matches;
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
    if (!JoinPath(path, sizeof path, frame->path, entry->name))
        return;
    if (GetFileAttributesA(path) & FILE_ATTRIBUTE_READONLY)
        return;     // also a failed query: all bits set
    if (!HasCompoundFileHeader(path))
        return;

    char sizeText[PATH_TEXT_SIZE];
    EnterCriticalSection(&app.progressLock);
    app.foundCount++;
    FormatFoundText(app.foundText, sizeof app.foundText, app.foundCount, app.searchedCount);
    app.totalBytes += (unsigned long long)entry->size;
    FormatSizeText(sizeText, sizeof sizeText, app.foundCount, app.totalBytes);
    LeaveCriticalSection(&app.progressLock);

    QueueMatch(path, sizeText);     // handed over without the lock
}

static void WalkFolder(WalkFrame *frame)
{
    const char *folder = frame->path;

    EnterCriticalSection(&app.progressLock);
    CopyText(app.currentFolderText, sizeof app.currentFolderText, folder);
    FormatFoundText(app.foundText, sizeof app.foundText, app.foundCount, app.searchedCount);
    LeaveCriticalSection(&app.progressLock);

    char pattern[PATH_TEXT_SIZE];
    if (!JoinPath(pattern, sizeof pattern, folder, "*"))
        return;
    struct __finddata64_t entry;
    intptr_t listing = _findfirst64(pattern, &entry);
    if (listing == -1)
        return;

    do {
        HandOverMatchesWhenDue();   // first: a stop set meanwhile is seen at once
        if (IsStopRequested())
            break;
        if (!(entry.attrib & _A_SUBDIR)) {
            ExamineFile(frame, &entry);
            continue;
        }
        if (strcmp(entry.name, ".") == 0 || strcmp(entry.name, "..") == 0)
            continue;
        char child[PATH_TEXT_SIZE];
        if (!JoinPath(child, sizeof child, folder, entry.name))
            continue;
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
    pendingMatches.count = 0;
    pendingMatches.used = 0;
    lastHandover = GetTickCount() - MATCH_HANDOVER_MS;     // the first match goes at once
    WalkFrame root = {};
    root.path = folder;
    WalkFolder(&root);
    HandOverMatches();
}

// The recursive folder walk that recognises genuine THUMBS.DB files.
#include "walk.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <winternl.h>

#include <new>
#include <unordered_map>
#include <unordered_set>

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
// one and the wake-up flag are guarded by progressLock; the time of the last
// wake-up is read without it, and written under it.
static const DWORD MATCH_HANDOVER_MS = 100;
static MatchBatch batches[2];
static MatchBatch *filling = &batches[0];
static bool wakeUpPosted;
static volatile DWORD lastWakeUp;

// How many threads walk the tree; 0: the program's own choice (WalkerCount).
int walkerCount;

// Replaceable so that tests can make the header allocation fail.
void *(*AllocateHeaderBuffer)(size_t size) = malloc;

// Set when the walk could not go on; the worker reports it once the walk has
// ended. Guarded by progressLock.
static bool searchFailed;

bool TakeSearchFailure(void)
{
    EnterCriticalSection(&app.progressLock);
    bool failed = searchFailed;
    searchFailed = false;
    LeaveCriticalSection(&app.progressLock);
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

// Whether a name names its entry when Windows parses a path with it. Path
// parsing drops a trailing dot (and at the path's end, a trailing blank), so
// "Acme Inc." would name "Acme Inc"; "." and ".." name folders of their own;
// and wine shows a Unix name with a character no Windows name may hold as it
// is, which in a path would be a pattern or a separator.
bool IsWindowsName(const WCHAR *name)
{
    size_t length = wcslen(name);
    if (length == 0 || name[length - 1] == L'.' || name[length - 1] == L' ')
        return false;
    for (size_t i = 0; i < length; i++) {
        if (name[i] < 0x20 || wcschr(L"\"*/:<>?\\|", name[i]))
            return false;
    }
    return true;
}

// The text's exact form in the ANSI code page, or false where the code page
// does not hold it: a best-fit stand-in ("l" for "l with stroke", "K" for the Kelvin
// sign) or a '?' would name another file, or none. The round trip compares
// code units, never linguistically. Plain ASCII is the same in every code page.
bool TextInCodePage(const WCHAR *text, char *dest, size_t destSize)
{
    size_t length = 0;
    while (text[length] && text[length] < 0x80)
        length++;
    if (!text[length]) {
        if (length >= destSize)
            return false;
        for (size_t i = 0; i <= length; i++)
            dest[i] = (char)text[i];
        return true;
    }
    int bytes = WideCharToMultiByte(CP_ACP, 0, text, -1, dest, (int)destSize, NULL, NULL);
    if (bytes <= 0)
        return false;
    WCHAR back[2 * MAX_PATH];
    int chars = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, dest, -1, back, 2 * MAX_PATH);
    return chars > 0 && wcscmp(back, text) == 0;
}

const char *const NAME_NOT_IN_CODE_PAGE = "Name Not In Code Page";
const char *const PATH_TOO_LONG = "Path Too Long";
const char *const INVALID_NAME = "Invalid Name";
const char *const SHORT_NAME_AMBIGUOUS = "Short Name Ambiguous";

// NULL when the name is held (in dest), else why not.
static const char *HoldName(const WCHAR *name, char *dest, size_t destSize)
{
    if (!IsWindowsName(name))
        return INVALID_NAME;
    return TextInCodePage(name, dest, destSize) ? NULL : NAME_NOT_IN_CODE_PAGE;
}

bool NameInCodePage(const WCHAR *name, char *dest, size_t destSize)
{
    return HoldName(name, dest, destSize) == NULL;
}

// Builds the path by which the walk reaches a folder's entry: its own name
// where Windows parses it back to the entry, the code page holds it and the
// path fits, else its short (8.3) name. An empty short name means the volume
// gave none, or the name is its own. NULL when the path is built (byShortName
// then says which), else why not.
const char *NameEntryPath(char *dest, size_t destSize, const char *folder, const WCHAR *name, const WCHAR *shortName,
                          bool *byShortName)
{
    char own[2 * MAX_PATH];
    const char *ownReason = HoldName(name, own, sizeof own);
    if (byShortName)
        *byShortName = false;
    if (!ownReason && JoinPath(dest, destSize, folder, own))
        return NULL;
    char alternate[16];
    const char *shortReason = shortName[0] ? HoldName(shortName, alternate, sizeof alternate) : ownReason;
    if (shortName[0] && !shortReason && JoinPath(dest, destSize, folder, alternate)) {
        if (byShortName)
            *byShortName = true;
        return NULL;
    }
    // A name that would have served but for its length is too long; else the
    // short name's reason where there is one, the name's own where not.
    return !ownReason || (shortName[0] && !shortReason) ? PATH_TOO_LONG : shortReason;
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
// could not be tested, and keeps the one whose text sorts first, with the
// reason: the walkers meet them in an order that differs from run to run. The
// walk goes on past it.
static void NoteNotSearched(NotSearchedKind kind, const char *folder, const char *name, const char *reason)
{
    char text[NOT_SEARCHED_TEXT_SIZE];
    snprintf(text, sizeof text, "Not Searched: '%s%s%s' [%s]", folder,
             name[0] && folder[0] && !EndsWithBackslash(folder, strlen(folder)) ? "\\" : "", name, reason);
    EnterCriticalSection(&app.progressLock);
    if (kind == FOLDER_NOT_SEARCHED)
        app.foldersNotSearched++;
    else
        app.filesNotSearched++;
    if (!app.notSearchedText[0] || strcmp(text, app.notSearchedText) < 0)
        CopyText(app.notSearchedText, sizeof app.notSearchedText, text);
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

bool ReadEntryIdentity(const WCHAR *path, EntryIdentity *id, DWORD *error)
{
    HANDLE file = CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    BY_HANDLE_FILE_INFORMATION info;
    bool known = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &info);
    if (!known && error)
        *error = GetLastError();
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (known) {
        id->volume = info.dwVolumeSerialNumber;
        id->index = ((unsigned long long)info.nFileIndexHigh << 32) | info.nFileIndexLow;
    }
    return known;
}

static bool SameIdentity(const EntryIdentity &a, const EntryIdentity &b)
{
    return a.volume == b.volume && a.index == b.index;
}

// An ANSI path of the walk, which the code page holds exactly, as a wide one.
static bool WidenPath(const char *path, WCHAR *wide, int wideSize)
{
    return MultiByteToWideChar(CP_ACP, 0, path, -1, wide, wideSize) > 0;
}

// Guards the identities of the folders: a folder's is read once, by the
// first walker that needs it, and its subfolders' walkers read it too. The
// lock is not held while the file system is asked: two walkers that ask at
// once both read it, and the first to finish keeps its answer.
static CRITICAL_SECTION identityLock;

static FolderIdentity ReadFolderIdentity(WalkFrame *frame)
{
    EnterCriticalSection(&identityLock);
    FolderIdentity id = frame->identity;
    LeaveCriticalSection(&identityLock);
    if (id.read)
        return id;
    id.read = true;
    // An empty root is the current folder.
    WCHAR wide[PATH_TEXT_SIZE];
    if (!WidenPath(frame->path[0] ? frame->path.c_str() : ".", wide, PATH_TEXT_SIZE))
        id.error = ERROR_INVALID_NAME;
    else
        id.known = ReadEntryIdentity(wide, &id.id, &id.error);
    EnterCriticalSection(&identityLock);
    if (!frame->identity.read)
        frame->identity = id;
    id = frame->identity;
    LeaveCriticalSection(&identityLock);
    return id;
}

// A folder reached through a symbolic link or junction may be one of its own
// ancestors; walking it again would recurse until the path limit, and several
// such links make that exponential. Without links no folder can be its own
// ancestor, so only folders at or below a link pay for the check.
static bool IsWalkAncestor(WalkFrame *child)
{
    FolderIdentity id = ReadFolderIdentity(child);
    if (!id.known) {
        // Cannot tell: not walked, for fear of an endless walk, but counted.
        NoteNotSearched(FOLDER_NOT_SEARCHED, child->path.c_str(), "", NotSearchedReason(id.error));
        return true;
    }
    for (WalkFrame *frame = child->parent.get(); frame; frame = frame->parent.get()) {
        FolderIdentity other = ReadFolderIdentity(frame);
        if (other.known && SameIdentity(other.id, id.id))
            return true;
    }
    return false;
}

bool IsStopRequested(void)
{
    EnterCriticalSection(&app.progressLock);
    bool stop = app.stopRequested != 0;
    LeaveCriticalSection(&app.progressLock);
    return stop;
}

// The header buffer or the list of files could not be had: the search ends
// as after a stop, with the message once, however many walkers meet it.
static void ReportNoMemory(void)
{
    EnterCriticalSection(&app.progressLock);
    bool first = !searchFailed;
    searchFailed = true;
    app.stopRequested = 1;
    LeaveCriticalSection(&app.progressLock);
    if (first)
        MessageBoxA(NULL, "ERROR: Could not allocate memory.\n\nThe application will now terminate.", ProductTitle,
                    MB_ICONWARNING);
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
    if (GetTickCount() - lastWakeUp < MATCH_HANDOVER_MS)
        return;
    EnterCriticalSection(&app.progressLock);
    DWORD now = GetTickCount();
    bool wake = now - lastWakeUp >= MATCH_HANDOVER_MS && filling->count > 0 && !wakeUpPosted;
    if (wake) {
        wakeUpPosted = true;
        lastWakeUp = now;
    }
    LeaveCriticalSection(&app.progressLock);
    if (wake)
        PostMessageA(app.resultsWindow, WM_SEARCH_MATCHES, 0, 0);
}

// Counts a genuine cache and puts its path in the batch that the list takes
// next; a full batch goes over first (the UI thread swaps in the empty one),
// and another walker may fill the new one meanwhile, so the room is looked
// for again.
static void ListMatch(const char *path, unsigned long long size)
{
    size_t length = strlen(path) + 1;
    for (;;) {
        EnterCriticalSection(&app.progressLock);
        bool room = filling->used + length <= sizeof filling->paths;
        if (room) {
            app.foundCount++;
            FormatFoundText(app.foundText, sizeof app.foundText, app.foundCount, app.searchedCount);
            app.totalBytes += size;
            FormatSizeText(filling->sizeText, sizeof filling->sizeText, app.foundCount, app.totalBytes);
            memcpy(filling->paths + filling->used, path, length);
            filling->used += length;
            filling->count++;
        }
        LeaveCriticalSection(&app.progressLock);
        if (room)
            return;
        HandOverMatches();
    }
}

typedef LONG(WINAPI *QueryInformationFile)(HANDLE, IO_STATUS_BLOCK *, void *, ULONG, ULONG);
static const ULONG FILE_INTERNAL_INFORMATION_CLASS = 6;

struct CandidateFacts {
    DWORD attributes;
    unsigned long long size;
    ListedFileKey key;          // index 0 when unknown
};

// The attributes, size and identity of an open file. Under wine these three
// queries are answered in the process from the open file (bench/hit_costs.cpp);
// the one request that returns all of them also asks the server for the file's
// name, a round trip that cost a search of 50,000 caches seconds. The volume
// is the caller's: asking it of every file costs a request each.
static bool ReadCandidateFacts(HANDLE file, CandidateFacts *facts)
{
    static QueryInformationFile query =
        (QueryInformationFile)(void *)GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationFile");
    FILE_BASIC_INFO basic;
    FILE_STANDARD_INFO standard;
    if (!GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic) ||
        !GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard))
        return false;
    facts->attributes = basic.FileAttributes;
    facts->size = (unsigned long long)standard.EndOfFile.QuadPart;
    facts->key.size = facts->size;
    facts->key.created = basic.CreationTime.QuadPart;
    facts->key.written = basic.LastWriteTime.QuadPart;
    facts->key.changed = basic.ChangeTime.QuadPart;
    LARGE_INTEGER index;
    IO_STATUS_BLOCK status;
    facts->key.index = 0;
    if (query && query(file, &status, &index, sizeof index, FILE_INTERNAL_INFORMATION_CLASS) >= 0)
        facts->key.index = (unsigned long long)index.QuadPart;
    return true;
}

enum CandidateResult { CANDIDATE_GENUINE, CANDIDATE_REJECTED, CANDIDATE_UNTESTED };

// Opens a candidate and reads its first bytes: genuine, rejected (read-only,
// no compound file, gone since it was listed) or untested (no permission,
// in use, unreadable), with the reason. The attributes and the size come from
// the open file, so that the file judged, counted and read is the very one
// that is listed (in a case-sensitive folder the listing entry may be another
// spelling's), and its path is looked up once: under wine an upper-cased name
// costs a scan of its folder.
static CandidateResult TestCandidate(const char *path, CandidateFacts *facts, const char **reason)
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
    if (!ReadCandidateFacts(file, facts)) {
        CloseHandle(file);
        return CANDIDATE_UNTESTED;
    }
    if (facts->attributes & FILE_ATTRIBUTE_READONLY) {
        CloseHandle(file);
        return CANDIDATE_REJECTED;
    }
    BYTE *header = (BYTE *)AllocateHeaderBuffer(HEADER_SIZE);
    if (!header) {
        CloseHandle(file);
        ReportNoMemory();
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

bool SameListedFile(const ListedFileKey &a, const ListedFileKey &b)
{
    return a.volume == b.volume && a.index == b.index && a.size == b.size && a.created == b.created &&
           a.written == b.written && a.changed == b.changed;
}

struct ListedFileKeyHash {
    size_t operator()(const ListedFileKey &key) const
    {
        return std::hash<unsigned long long>()(key.index ^ ((unsigned long long)key.volume << 32) ^
                                               (unsigned long long)key.written);
    }
};
struct ListedFileKeyEqual {
    bool operator()(const ListedFileKey &a, const ListedFileKey &b) const { return SameListedFile(a, b); }
};
typedef std::unordered_set<ListedFileKey, ListedFileKeyHash, ListedFileKeyEqual> ListedFiles;

// The files listed so far. Without links every file is reached once, and
// two paths without links are two names of a file (hard links): both are
// listed, at once. Through a link (a junction, a symbolic link, a mount point)
// a file may come again under another path, so a cache reached through a link
// waits for the walk's end: it is listed then unless it was reached without
// one, and by the path that sorts first among those that reached it, so that
// the list is the same whichever walker came first. A link may lead onto
// another volume, whose files are numbered apart from the first's: under wine
// two file systems below one drive even share the volume's serial, so size and
// times tell their files apart too. Both are guarded by listedLock.
struct LinkedCache {
    std::string path;
    unsigned long long size;
};
typedef std::unordered_map<ListedFileKey, LinkedCache, ListedFileKeyHash, ListedFileKeyEqual> LinkedCaches;
static CRITICAL_SECTION listedLock;
static ListedFiles listedDirectly;
static LinkedCaches reachedThroughLinks;

// False when there was no memory to note it.
static bool NoteGenuineCache(const ListedFileKey &key, bool throughLink, const char *path,
                             unsigned long long size)
{
    if (key.index == 0) {
        ListMatch(path, size);      // an unknown file cannot be told apart: listed
        return true;
    }
    bool noted = true;
    EnterCriticalSection(&listedLock);
    try {
        if (!throughLink)
            listedDirectly.insert(key);
        else {
            LinkedCache &cache = reachedThroughLinks[key];
            if (cache.path.empty() || strcmp(path, cache.path.c_str()) < 0)
                cache = { path, size };
        }
    } catch (const std::bad_alloc &) {
        noted = false;
    }
    LeaveCriticalSection(&listedLock);
    if (noted && !throughLink)
        ListMatch(path, size);
    return noted;
}

// At the walk's end, by one thread: the caches reached only through links.
static void ListLinkedCaches(void)
{
    for (const auto &entry : reachedThroughLinks)
        if (!listedDirectly.count(entry.first))
            ListMatch(entry.second.path.c_str(), entry.second.size);
}

static bool IsSoughtName(const WCHAR *name)
{
    for (size_t i = 0; i < sizeof SOUGHT_NAME; i++) {
        WCHAR c = name[i];
        if (c >= L'a' && c <= L'z')
            c = (WCHAR)(c - L'a' + L'A');
        if (c != (WCHAR)SOUGHT_NAME[i])
            return false;
    }
    return true;
}

// The folder by short names, asked of the system once; "" when there is none
// that the code page holds within 259 bytes and that leads back to the folder
// itself (short names made from a hash may be shared by two entries).
static const char *FolderShortPath(WalkFrame *frame)
{
    if (frame->shortPathRead)
        return frame->shortPath;
    frame->shortPathRead = true;
    frame->shortPath[0] = '\0';
    WCHAR wide[PATH_TEXT_SIZE], shortWide[PATH_TEXT_SIZE];
    if (!frame->path[0] || !WidenPath(frame->path.c_str(), wide, PATH_TEXT_SIZE))
        return frame->shortPath;
    DWORD length = GetShortPathNameW(wide, shortWide, PATH_TEXT_SIZE);
    EntryIdentity reached;
    FolderIdentity own = ReadFolderIdentity(frame);
    if (length == 0 || length >= PATH_TEXT_SIZE ||
        !TextInCodePage(shortWide, frame->shortPath, sizeof frame->shortPath) || !own.known ||
        !ReadEntryIdentity(shortWide, &reached, NULL) || !SameIdentity(reached, own.id))
        frame->shortPath[0] = '\0';
    return frame->shortPath;
}

// Whether a path that ends in a short name names the entry listed as `name`:
// it must find that entry, and only it.
static bool LeadsBackTo(const char *path, const WCHAR *name)
{
    WCHAR wide[PATH_TEXT_SIZE];
    WIN32_FIND_DATAW found;
    if (!WidenPath(path, wide, PATH_TEXT_SIZE))
        return false;
    HANDLE listing = FindFirstFileExW(wide, FindExInfoBasic, &found, FindExSearchNameMatch, NULL, 0);
    if (listing == INVALID_HANDLE_VALUE)
        return false;
    bool same = wcscmp(found.cFileName, name) == 0 && !FindNextFileW(listing, &found);
    FindClose(listing);
    return same;
}

// Names an entry of the folder: by the folder's path as the walk reached it,
// or where that path is too long, by the folder's short path. A path through
// the entry's own short name is used only where it leads back to the entry.
static const char *ReachEntry(WalkFrame *frame, char *dest, size_t destSize, const WCHAR *name,
                              const WCHAR *shortName)
{
    bool byShortName;
    const char *reason = NameEntryPath(dest, destSize, frame->path.c_str(), name, shortName, &byShortName);
    if (reason == PATH_TOO_LONG) {
        const char *shortFolder = FolderShortPath(frame);
        if (shortFolder[0])
            reason = NameEntryPath(dest, destSize, shortFolder, name, shortName, &byShortName);
    }
    if (!reason && byShortName && !LeadsBackTo(dest, name))
        return SHORT_NAME_AMBIGUOUS;
    return reason;
}

// The volume of a folder's files as far as the walk knows it: that of the
// nearest folder on its path whose identity was read (every folder walked at
// or below a link), else the root's, read once.
static DWORD FolderVolume(WalkFrame *frame)
{
    EnterCriticalSection(&identityLock);
    while (frame->parent && !frame->identity.known)
        frame = frame->parent.get();
    LeaveCriticalSection(&identityLock);
    FolderIdentity id = ReadFolderIdentity(frame);
    return id.known ? id.id.volume : 0;
}

// Counts an entry that the walk cannot name, shown as the code page best shows it.
static void NoteUnnamed(NotSearchedKind kind, const WalkFrame *frame, const WCHAR *name, const char *reason)
{
    char shown[2 * MAX_PATH] = "";
    if (!WideCharToMultiByte(CP_ACP, 0, name, -1, shown, sizeof shown, NULL, NULL))
        shown[0] = '\0';
    NoteNotSearched(kind, frame->path.c_str(), shown, reason);
}

static void ExamineFile(WalkFrame *frame, const WIN32_FIND_DATAW *entry)
{
    EnterCriticalSection(&app.progressLock);
    app.searchedCount++;
    LeaveCriticalSection(&app.progressLock);

    if (!IsSoughtName(entry->cFileName))
        return;
    // The candidate is queried and opened through the very path that will be
    // listed, so that a delete run removes the file that passed the test. In a
    // case-sensitive folder every candidate name leads to that one path: it is
    // tested once, and listed once at most.
    if (frame->candidateTested)
        return;
    frame->candidateTested = true;
    static const WCHAR SOUGHT_WIDE[] = L"THUMBS.DB";
    char path[PATH_TEXT_SIZE];
    const char *unnamed = ReachEntry(frame, path, sizeof path, SOUGHT_WIDE, L"");
    if (unnamed) {
        NoteNotSearched(FILE_NOT_SEARCHED, frame->path.c_str(), SOUGHT_NAME, unnamed);
        return;
    }
    CandidateFacts facts = {};
    const char *reason;
    CandidateResult result = TestCandidate(path, &facts, &reason);
    if (result == CANDIDATE_UNTESTED)
        NoteNotSearched(FILE_NOT_SEARCHED, path, "", reason);
    if (result != CANDIDATE_GENUINE)
        return;
    facts.key.volume = FolderVolume(frame);
    if (!NoteGenuineCache(facts.key, frame->insideLink, path, facts.size))
        ReportNoMemory();
}

// A folder to walk below `parent`, the place-th of its subfolders listed;
// none when there was no memory for it.
static FramePointer NewFrame(const char *path, const FramePointer &parent, size_t place)
{
    try {
        FramePointer frame = std::make_shared<WalkFrame>();
        frame->path = path;
        frame->parent = parent;
        if (parent) {
            // Big-endian, so that the orders compare as text compares.
            const char placeBytes[4] = { (char)(place >> 24), (char)(place >> 16), (char)(place >> 8), (char)place };
            frame->order = parent->order;
            frame->order.append(placeBytes, sizeof placeBytes);
        }
        return frame;
    } catch (const std::bad_alloc &) {
        ReportNoMemory();
        return nullptr;
    }
}

static bool IsDotEntry(const WCHAR *name)
{
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

void WalkFolder(const FramePointer &walked)
{
    WalkFrame *frame = walked.get();
    const char *folder = frame->path.c_str();

    EnterCriticalSection(&app.progressLock);
    CopyText(app.currentFolderText, sizeof app.currentFolderText, folder);
    FormatFoundText(app.foundText, sizeof app.foundText, app.foundCount, app.searchedCount);
    LeaveCriticalSection(&app.progressLock);

    // The listing is wide, so that every name is known as the file system
    // holds it; the folder's own path is exact in the code page, so it widens
    // without loss. A folder of 258 or 259 bytes leaves no room for the
    // pattern's "\\*": it is listed through its short path.
    char pattern[PATH_TEXT_SIZE];
    WCHAR widePattern[PATH_TEXT_SIZE];
    bool fits = JoinPath(pattern, sizeof pattern, folder, "*");
    if (!fits && FolderShortPath(frame)[0])
        fits = JoinPath(pattern, sizeof pattern, FolderShortPath(frame), "*");
    if (!fits || !WidenPath(pattern, widePattern, PATH_TEXT_SIZE)) {
        NoteNotSearched(FOLDER_NOT_SEARCHED, folder, "", PATH_TOO_LONG);
        return;
    }
    WIN32_FIND_DATAW entry;
    HANDLE listing = FindFirstFileExW(widePattern, FindExInfoStandard, &entry, FindExSearchNameMatch, NULL, 0);
    if (listing == INVALID_HANDLE_VALUE) {
        // A root that names nothing, or a file, is no folder left unsearched.
        DWORD error = GetLastError();
        bool noFolder = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                        error == ERROR_DIRECTORY || error == ERROR_INVALID_NAME;
        if (frame->parent || !noFolder)
            NoteNotSearched(FOLDER_NOT_SEARCHED, folder, "", NotSearchedReason(error));
        return;
    }

    // Subfolders go on the walkers' stack once the folder is listed. The
    // frame that holds a subfolder's path is made only for one that is walked.
    std::vector<FramePointer> subfolders;
    bool stopped = false;
    do {
        WakeUpListWhenDue();
        if (IsStopRequested()) {
            stopped = true;
            break;
        }
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            ExamineFile(frame, &entry);
            continue;
        }
        if (IsDotEntry(entry.cFileName))
            continue;
        char child[PATH_TEXT_SIZE];
        const char *unnamed = ReachEntry(frame, child, sizeof child, entry.cFileName, entry.cAlternateFileName);
        if (unnamed) {
            NoteUnnamed(FOLDER_NOT_SEARCHED, frame, entry.cFileName, unnamed);
            continue;
        }
        FramePointer childFrame = NewFrame(child, walked, subfolders.size());
        if (!childFrame)
            continue;
        childFrame->insideLink = frame->insideLink || (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
        if (childFrame->insideLink && IsWalkAncestor(childFrame.get()))
            continue;
        try {
            subfolders.push_back(childFrame);
        } catch (const std::bad_alloc &) {
            ReportNoMemory();
        }
    } while (FindNextFileW(listing, &entry));

    // A listing that broke off left the rest of the folder unsearched.
    DWORD error = GetLastError();
    if (!stopped && error != ERROR_NO_MORE_FILES)
        NoteNotSearched(FOLDER_NOT_SEARCHED, folder, "", NotSearchedReason(error));
    FindClose(listing);
    if (!PushFolders(subfolders))
        ReportNoMemory();
}

void InitWalkLocks(void)
{
    InitializeCriticalSection(&identityLock);
    InitializeCriticalSection(&listedLock);
    InitWalkThreads();
}

void DirectoryWalk(const char *folder)
{
    lastWakeUp = GetTickCount() - MATCH_HANDOVER_MS;       // the first match goes at once
    listedDirectly.clear();
    reachedThroughLinks.clear();
    FramePointer root = NewFrame(folder, nullptr, 0);
    if (!root)
        return;
    RunWalkers(root, WalkerCount());
    // Another walker may have counted files after the last text was made.
    EnterCriticalSection(&app.progressLock);
    FormatFoundText(app.foundText, sizeof app.foundText, app.foundCount, app.searchedCount);
    LeaveCriticalSection(&app.progressLock);
    ListLinkedCaches();
    HandOverMatches();
    // The sets' memory goes back at once: a search may list 100,000 files.
    ListedFiles().swap(listedDirectly);
    LinkedCaches().swap(reachedThroughLinks);
}

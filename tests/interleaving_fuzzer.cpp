// Drives the real program with random interleavings of what a user can do
// (searches, selections, delete runs, exports, links, the folder picker and
// the exit, with questions answered at once, later or never) and checks after
// every step that no file is gone but those of the delete runs the user
// confirmed since the program was last at rest, that the program lives and
// answers, that nothing opens once the exit is confirmed, that a report names
// the files its run deleted in list order, that a saved list holds the
// selection, that the counts a run ends with are right, and, after a search
// that ended on its own, that the list holds every cache the file system has
// under its root exactly once and that the Information text counts the tree.
// A session is one start of the program; each step's draws come from its seed
// and the step's number alone, so a seed plays the same steps again.
//
// Usage: interleaving_fuzzer [--seeds A,B,...] [--seconds N] [--replay SEED] [--steps N]
// The program under test is DROSS_EXE; .txt files open in the recorder (DROSS_RECORDER).
// With DROSS_FUZZ_LOGS naming a folder, a failing seed's steps are kept there,
// and a replay says where the program's answers take another way.
#include "e2e_support.h"
#include "resources/resource.h"

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <wchar.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const std::string Title = PRODUCT_TITLE;
static const char PER_FILE_START[] = "Drossweep (Delete)...\n\n'";

// A file as the file system knows it, whatever path reaches it.
struct FileId {
    DWORD volume = 0, high = 0, low = 0;
    bool operator<(const FileId &o) const
    {
        return volume != o.volume ? volume < o.volume : high != o.high ? high < o.high : low < o.low;
    }
    bool operator==(const FileId &o) const { return volume == o.volume && high == o.high && low == o.low; }
};

static bool IdentityOf(HANDLE file, FileId &id)
{
    BY_HANDLE_FILE_INFORMATION info;
    bool known = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &info);
    if (known)
        id = { info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow };
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return known;
}

// Through the path as the program would use it (ANSI), or verbatim (wide).
static bool IdentityOf(const std::string &path, FileId &id)
{
    return IdentityOf(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL), id);
}

static bool IdentityOfW(const std::wstring &path, FileId &id)
{
    return IdentityOf(CreateFileW(Verbatim(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL), id);
}

static bool Write(const std::string &path, const std::string &bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL);
    CloseHandle(file);
    return written == bytes.size();
}

// The host's path of a Windows path: the folder through wine, the name as it
// stands (wine would find an entry that differs from it in case alone).
static std::string HostPath(const std::string &path)
{
    typedef char *(CDECL * UnixName)(LPCWSTR);
    static UnixName unixName =
        (UnixName)(void *)GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    size_t slash = path.rfind('\\');
    char *folder = unixName && slash != std::string::npos ? unixName(Widen(path.substr(0, slash)).c_str()) : NULL;
    if (!folder)
        return "";
    std::string host = folder + ("/" + path.substr(slash + 1));
    HeapFree(GetProcessHeap(), 0, folder);
    return host;
}

// Symbolic links and names that differ in case alone are made on the host:
// wine makes neither. Wine does not wait for a host program to end, so the
// script says it has by leaving a file.
static bool RunOnHost(const std::vector<std::string> &command)
{
    static int calls;
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string base = std::string(temp) + "dross-host-" + std::to_string(GetCurrentProcessId()) + "-" +
                       std::to_string(calls++);
    std::string script = base + ".sh", done = base + ".done", line;
    for (const std::string &word : command) {
        std::string arg = word.size() > 2 && word[1] == ':' ? HostPath(word) : word;
        line += (line.empty() ? "'" : " '") + arg + "'";
    }
    if (!Write(script, line + "\n: > '" + HostPath(done) + "'\n"))
        return false;
    std::string shell = "/bin/sh \"" + HostPath(script) + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info;
    bool started = CreateProcessA(NULL, &shell[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &info);
    if (started) {
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        for (DWORD start = GetTickCount(); !FileExists(done) && GetTickCount() - start < 30000;)
            Sleep(10);
    }
    bool ended = FileExists(done);
    DeleteFileA(script.c_str());
    DeleteFileA(done.c_str());
    return started && ended;
}

// A root the user types, and the folder it names ("" where GO must refuse it).
struct Root {
    std::wstring typed;
    std::wstring folder;
};

// The files of the tree: the caches, with their sizes, and the user's own
// files (a cache that is read-only, a file named like a cache that is none,
// and others), which must never go. Some caches are reached through links
// too, before or after their own folder, one has a second name (a hard link),
// two lie in folders whose names differ in case alone, one lies beyond 259
// bytes; a link leads back up.
struct Tree {
    std::string root;
    std::vector<Root> roots;
    std::map<std::string, size_t> caches;       // by a path that names each
    std::vector<std::string> userFiles;
    std::pair<std::string, std::string> hardLink;
};

static Tree MakeTree(const std::string &root)
{
    Tree tree;
    tree.root = root;
    // On the host: wine would follow the links of an earlier tree.
    RunOnHost({ "/bin/rm", "-rf", root });
    RemoveTree(root);
    CreateDirectoryA(root.c_str(), NULL);
    auto cache = [&](const std::string &folder, size_t size) {
        CreateDirectoryA(folder.c_str(), NULL);
        tree.caches[folder + "\\THUMBS.DB"] = size;
    };
    for (int i = 0; i < 3; i++)
        cache(root + "\\a" + std::string(1, (char)('1' + i)), 512 + 100 * i);
    tree.userFiles.push_back(root + "\\a1\\photo.jpg");
    CreateDirectoryA((root + "\\b").c_str(), NULL);
    cache(root + "\\b\\x", 4096);
    tree.userFiles.push_back(root + "\\b\\Thumbs.db");                 // named like one, but no cache
    CreateDirectoryA((root + "\\b\\ro").c_str(), NULL);
    tree.userFiles.push_back(root + "\\b\\ro\\thumbs.db");             // read-only
    tree.userFiles.push_back(root + "\\b\\notes.txt");
    // Enough for a search and a delete run to last while the user acts, and
    // for a third of them to fill more than the two chunks a run reads first.
    CreateDirectoryA((root + "\\c").c_str(), NULL);
    for (int i = 0; i < 60; i++) {
        std::string group = root + "\\c\\g" + std::to_string(i);
        CreateDirectoryA(group.c_str(), NULL);
        for (int j = 0; j < 40; j++)
            cache(group + "\\f" + std::to_string(j), 600);
    }
    // Names that the code page or path parsing would turn into their twins:
    // each cache is listed by the short path that names it. The stand-in of
    // the first holds a file named like a cache that is none.
    std::wstring d = Widen(root + "\\d");
    CreateDirectoryW(d.c_str(), NULL);
    for (const wchar_t *name : { L"\x0141\x00f3\x0064\x017a", L"Acme Inc.", L"Acme Inc", L"Notes " }) {
        std::wstring folder = Verbatim(d + L"\\" + name);
        WIN32_FIND_DATAW entry;
        char held[2 * MAX_PATH];
        CreateDirectoryW(folder.c_str(), NULL);
        HANDLE found = FindFirstFileW(folder.c_str(), &entry);
        if (found != INVALID_HANDLE_VALUE) {
            FindClose(found);
            cache(Narrow(d + L"\\" + (NameInCodePage(name, held, sizeof held) ? name : entry.cAlternateFileName)), 700);
        }
    }
    CreateDirectoryW((d + L"\\L\x00f3\x0064z").c_str(), NULL);
    tree.userFiles.push_back(Narrow(d + L"\\L\x00f3\x0064z\\thumbs.db"));
    // Links, reached before their folder (aa-to-zz) and after it (y-to-b),
    // one back up to e, a second name of a cache, two folders whose names
    // differ in case alone, and a cache beyond 259 bytes.
    std::string e = root + "\\e";
    CreateDirectoryA(e.c_str(), NULL);
    cache(e + "\\zz", 800);
    cache(e + "\\b", 900);
    RunOnHost({ "/bin/ln", "-s", "zz", e + "\\aa-to-zz" });
    RunOnHost({ "/bin/ln", "-s", "b", e + "\\y-to-b" });
    RunOnHost({ "/bin/ln", "-s", "..", e + "\\b\\up" });
    RunOnHost({ "/bin/ln", "-s", "../a2", e + "\\m-to-a2" });     // below e, a2's cache by a link alone
    cache(e + "\\h1", 1000);
    CreateDirectoryA((e + "\\h2").c_str(), NULL);
    tree.hardLink = { e + "\\h1\\THUMBS.DB", e + "\\h2\\THUMBS.DB" };
    tree.caches[tree.hardLink.second] = 1000;
    cache(e + "\\Case", 1100);
    RunOnHost({ "/bin/mkdir", e + "\\CASE" });
    tree.caches[e + "\\CASE\\THUMBS.DB"] = 1200;
    std::string deep = e;
    for (int i = 0; i < 5; i++) {
        deep += "\\" + std::string(48, (char)('p' + i));
        CreateDirectoryW(Verbatim(Widen(deep)).c_str(), NULL);
    }
    WCHAR shortDeep[MAX_PATH];
    if (GetShortPathNameW(Verbatim(Widen(deep)).c_str(), shortDeep, MAX_PATH))
        tree.caches[Narrow(shortDeep + 4) + "\\THUMBS.DB"] = 1400;

    // Typed as a user types them: full paths, outside the code page too, a
    // path relative to the program's folder (the tree), blanks, a path too
    // long for a root, and a file.
    for (const std::string &folder : { root + "\\a1", root + "\\b", root + "\\c", root, root + "\\missing", root + "\\d", e,
                                      e + "\\aa-to-zz", root + "\\a1\\photo.jpg" })
        tree.roots.push_back({ Widen(folder), Widen(folder) });
    tree.roots.push_back({ d + L"\\\x0141\x00f3\x0064\x017a", d + L"\\\x0141\x00f3\x0064\x017a" });
    tree.roots.push_back({ L"e", Widen(e) });
    tree.roots.push_back({ L"  ", L"" });
    tree.roots.push_back({ Widen(root) + L"\\" + std::wstring(260, L'x'), L"" });
    return tree;
}

// Puts back what the last session deleted or changed; false when the tree
// cannot be made whole.
static bool RestoreTree(const Tree &tree)
{
    const std::string &first = tree.hardLink.first, &second = tree.hardLink.second;
    FileId a, b;
    if (!(IdentityOf(first, a) && IdentityOf(second, b) && a == b)) {
        DeleteFileA(first.c_str());
        DeleteFileA(second.c_str());
    }
    for (const auto &entry : tree.caches) {
        SetFileAttributesA(entry.first.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (entry.first == second && !FileExists(second) && !CreateHardLinkA(second.c_str(), first.c_str(), NULL) &&
            (!Write(first, GenuineHeader(entry.second)) || !CreateHardLinkA(second.c_str(), first.c_str(), NULL)))
            return false;
        if (!FileExists(entry.first) && !Write(entry.first, GenuineHeader(entry.second)))
            return false;
    }
    const std::string &b2 = tree.userFiles[1], &ro = tree.userFiles[2];
    if (!FileExists(tree.userFiles[0]) && !Write(tree.userFiles[0], "a photo"))
        return false;
    if (!FileExists(b2) && !Write(b2, std::string(512, 'x')))
        return false;
    if (!FileExists(ro)) {
        if (!Write(ro, GenuineHeader(700)))
            return false;
        SetFileAttributesA(ro.c_str(), FILE_ATTRIBUTE_READONLY);
    }
    if (!FileExists(tree.userFiles[4]) && !Write(tree.userFiles[4], "not a cache"))
        return false;
    return FileExists(tree.userFiles[3]) || Write(tree.userFiles[3], "notes");
}

// What a search of a folder must show, learned from the file system: the
// caches a path reaches (a folder's "THUMBS.DB", which in a folder holding two
// spellings is the one Windows opens by that name), and the files in every
// folder walked. A cache is listed once for each name it has in folders
// reached without a link (two names of one file are two entries, each
// deletable), and once if links alone reach it. A link to a folder on the way
// down is not walked again.
struct Expected {
    std::map<FileId, std::wstring> caches;
    std::map<FileId, long> names;       // reached without a link
    long files = 0;
    long Entries(const FileId &id) const
    {
        auto direct = names.find(id);
        return direct == names.end() ? 1 : direct->second;
    }
};

static bool IsCacheName(const WCHAR *name)
{
    return _wcsicmp(name, L"THUMBS.DB") == 0;
}

static void WalkTree(const std::wstring &folder, std::vector<FileId> &above, bool insideLink, Expected &expected)
{
    WIN32_FIND_DATAW entry;
    HANDLE listing = FindFirstFileW(Verbatim(folder + L"\\*").c_str(), &entry);
    if (listing == INVALID_HANDLE_VALUE)
        return;
    bool candidate = false;
    std::vector<std::pair<std::wstring, bool>> folders;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            expected.files++;
            candidate = candidate || IsCacheName(entry.cFileName);
        } else if (wcscmp(entry.cFileName, L".") && wcscmp(entry.cFileName, L".."))
            folders.push_back({ folder + L"\\" + entry.cFileName,
                                insideLink || (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) });
    } while (FindNextFileW(listing, &entry));
    FindClose(listing);
    if (candidate) {
        std::wstring path = folder + L"\\THUMBS.DB";
        HANDLE file = CreateFileW(Verbatim(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                  OPEN_EXISTING, 0, NULL);
        char header[8] = {};
        DWORD read = 0;
        BY_HANDLE_FILE_INFORMATION info;
        if (file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &info) &&
            !(info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) && ReadFile(file, header, sizeof header, &read, NULL) &&
            GenuineHeader(sizeof header) == std::string(header, read)) {
            FileId id = { info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow };
            expected.caches[id] = path;
            if (!insideLink)
                expected.names[id]++;
        }
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
    for (const auto &child : folders) {
        FileId id;
        if (!IdentityOfW(child.first, id) ||
            (child.second && std::find(above.begin(), above.end(), id) != above.end()))
            continue;
        above.push_back(id);
        WalkTree(child.first, above, child.second, expected);
        above.pop_back();
    }
}

// A delete run whose warnings the user passed: its selection in list order,
// what of it existed then, the files it may delete, and where its report goes.
// Its questions are done once the last of them (the report's) has its answer:
// from then on the run has started or been refused.
struct ConfirmedRun {
    std::vector<std::string> order;
    std::set<std::string> selection;
    std::map<std::string, FileId> existing;
    std::set<FileId> ids;
    std::string report;
    bool verify = false;
    bool questionsDone = false;
};

// The search the user last started, while nothing has disturbed what it shows.
struct StartedSearch {
    bool pending = false;
    std::wstring folder;
    bool stopped = false;
    bool disturbed = false;
};

static bool verbose;

struct Totals {
    long sessions = 0, steps = 0, searchesAsked = 0, searchesChecked = 0, deletesConfirmed = 0, exportsSaved = 0,
         linksProcessed = 0, refusals = 0, filesDeleted = 0, exits = 0, failures = 0;
};

class Session {
public:
    Session(unsigned seed, const Tree &tree, const std::string &out, Totals &totals)
        : seed(seed), tree(tree), out(out), totals(totals) {}
    // Plays the steps; false (with the reason printed) when a check failed.
    bool Run(int steps);
    std::vector<std::string> log;

private:
    unsigned seed;
    std::mt19937 random;
    const Tree &tree;
    std::string out;
    Totals &totals;
    ui::Program program;
    HWND main = NULL, results = NULL, list = NULL;
    std::string failure;
    std::map<std::string, FileId> present;      // the tree's caches there at the last check
    std::map<FileId, size_t> sizes;
    std::set<FileId> removedByUs;               // files this fuzzer deleted under the program
    std::set<std::string> undeletable;          // selected caches locked or made read-only
    std::vector<HANDLE> locks;
    std::vector<std::string> pendingSelection;  // taken at the last Delete click
    std::vector<ConfirmedRun> runs;             // confirmed, not yet seen to end
    std::vector<std::string> exportSelection;   // taken at the last Save click
    std::string exportPath, keptPath, keptContent;
    bool overwriteDeclined = false;
    // GO answered Yes under a delete run's questions: its answer takes effect
    // once they are done, and if the run then goes on its own thread, the
    // search must be refused before the run's end is shown.
    bool goAwaitsRun = false;
    std::string listChecked;                    // what the list showed when it last agreed with itself
    Root goRoot;
    StartedSearch search;
    bool exitConfirmed = false;
    std::string record;
    int viewersAllowed = 0;
    int names = 0;

    // Seeds next to each other (a run's sessions) give mt19937 first draws
    // that agree for long stretches: the seed and the step are mixed first.
    void Reseed(unsigned step)
    {
        std::seed_seq mixed{ seed, step };
        random.seed(mixed);
    }
    int Pick(int n) { return (int)(random() % (unsigned)n); }
    bool Chance(int percent) { return Pick(100) < percent; }
    void Step(std::string what)
    {
        std::replace(what.begin(), what.end(), '\n', ' ');
        log.push_back(what);
        if (verbose)
            printf("  %u/%u. %s\n", seed, (unsigned)log.size(), what.c_str());
    }
    bool Fail(const std::string &why)
    {
        if (failure.empty())
            failure = why;
        return false;
    }
    std::string NewName(const char *kind) { return out + "\\" + kind + std::to_string(seed) + "-" + std::to_string(names++) + ".txt"; }

    bool Start();
    void Act();
    void ActOnFiles();
    void SelectRanges();
    void PressDelete(const std::string &when);
    void AnswerSomething(bool now);
    void AnswerBox(const ui::Box &box, bool byX);
    void AnswerFirstSearch(const ui::Box &box)
    {
        totals.searchesAsked++;
        search = { true, goRoot.folder, false, false };
        ui::Answer(box, IDYES);
        Answered(box.window);
    }
    void Answered(HWND window);
    void ConfirmExit(const ui::Box &box);
    void CheckRunEnding(const std::string &text);
    int ViewersStarted();
    void AnswerDialog(HWND dialog, bool byX);
    bool Check();
    bool CheckGone();
    bool CheckList();
    bool CheckSearch();
    bool CheckRuns();
    bool Finish();
    std::vector<HWND> OpenDialogs();
    std::vector<std::string> SelectedPaths();
};

bool Session::Start()
{
    const char *exe = getenv("DROSS_EXE");
    if (!exe)
        return Fail("DROSS_EXE names no program");
    for (const auto &entry : tree.caches) {
        FileId id;
        if (IdentityOf(entry.first, id)) {
            present[entry.first] = id;
            sizes[id] = entry.second;
        }
    }
    record = NewName("opened");
    SetEnvironmentVariableA("DROSS_RECORD_FILE", record.c_str());
    // In the tree, so that a relative root names a folder of it.
    if (!ui::Launch(exe, program, tree.root))
        return Fail("could not start " + std::string(exe) + ", error " + std::to_string(GetLastError()));
    main = ui::FindWindowByCaption(program, Title + " - Main", 30000);
    program.window = main;
    results = ui::FindWindowByCaption(program, Title + " - List", 30000);
    if (!main || !results)
        return Fail("the windows did not show");
    list = GetDlgItem(results, IDC_RESULTS_LIST);
    return true;
}

// Every dialog of the program that waits on the user, newest last.
std::vector<HWND> Session::OpenDialogs()
{
    std::vector<HWND> open;
    for (HWND window : ui::TopWindows(program)) {
        wchar_t className[32] = L"";
        GetClassNameW(window, className, 32);
        if (window != main && window != results && IsWindowVisible(window) && lstrcmpW(className, L"#32770") == 0)
            open.push_back(window);
    }
    return open;
}

// The selected entries, in list order.
std::vector<std::string> Session::SelectedPaths()
{
    std::vector<std::string> entries = ui::ListEntries(list);
    std::vector<std::string> paths;
    for (int index : ui::ListSelection(list))
        if (index >= 0 && index < (int)entries.size())
            paths.push_back(entries[index]);
    return paths;
}

// Once an answer has reached the program, its UI thread has gone on to what
// the answer starts (a run, a search, the next question) before this returns.
// A box answered under a later one is hidden at once but goes only when that
// one has: what its answer starts comes then.
void Session::Answered(HWND window)
{
    for (DWORD start = GetTickCount(); IsWindow(window) && IsWindowVisible(window) && GetTickCount() - start < 5000;)
        ui::Pause(5);
    if (!ui::Gone(program))
        ui::Sync(main);
}

// Boxes that say a job did not start, or that something went wrong: what the
// list shows is then not the last search's own.
static bool SaysNotStarted(const std::string &text)
{
    return text.compare(0, 5, "ERROR") == 0 || text.compare(0, 26, "Stop the current search to") == 0 ||
           text.compare(0, 10, "Finish the") == 0;
}

void Session::AnswerBox(const ui::Box &box, bool byX)
{
    const std::string &text = box.text;
    bool verifyQuestion = text == "Drossweep (Delete) selected files...\n\nVerify every delete operation?";
    int button = IDOK;
    if (box.hasYes) {
        // Verify Yes keeps a run on the UI thread; No sends it to its own thread.
        int yesShare = text == ExitQuestion ? 25 : text == GoQuestion ? 60 : verifyQuestion ? 30 : 75;
        button = Chance(yesShare) ? IDYES : IDNO;
        if (box.hasCancel && Chance(15))
            button = IDCANCEL;
    }
    if (byX) {
        // The title bar's X answers Cancel, or OK where that is the only
        // button; a Yes/No box has none.
        if (box.hasYes && !box.hasCancel)
            return;
        button = box.hasCancel ? IDCANCEL : IDOK;
    }
    // Every entry of the list names a short path: a run that cannot read one
    // read a list other than its own.
    if (text.compare(0, 27, "ERROR - Could not get text.") == 0)
        Fail("the program could not read an entry of its list: \"" + text + "\"");
    // Only a search changes the list, and none may start while a List window
    // command runs, from its first question to its last box.
    if (text.compare(0, 36, "ERROR - The list has changed since t") == 0)
        Fail("a search changed the list under a List window command: \"" + text.substr(0, 50) + "\"");
    if (text.compare(0, 26, "Stop the current search to") == 0 || text.compare(0, 10, "Finish the") == 0)
        totals.refusals++;
    if (text == "Finish the command in the List window to start a search.")
        goAwaitsRun = false;
    if (SaysNotStarted(text))
        search.disturbed = true;
    if (text.compare(0, sizeof PER_FILE_START - 1, PER_FILE_START) == 0 && button == IDYES) {
        std::string path = text.substr(sizeof PER_FILE_START - 1, text.rfind("'.") - (sizeof PER_FILE_START - 1));
        if (runs.empty() || !runs.back().selection.count(path))
            Fail("asked to delete a file outside the run's selection: " + path);
    }
    CheckRunEnding(text);
    Step((byX ? "close \"" : "answer \"") + text.substr(0, 60) + "\"" + (byX ? " by its X" : "") + " with " +
         (button == IDYES ? "Yes" : button == IDNO ? "No" : button == IDCANCEL ? "Cancel" : "OK"));
    bool reportQuestion = text == "Drossweep (Delete) selected files...\n\nSave pathfilename(s) to a report (.txt)?";
    if (!runs.empty() && !runs.back().questionsDone) {
        if (verifyQuestion)
            runs.back().verify = button == IDYES;
        // No report: the run starts (or is refused) right after this answer.
        if (reportQuestion && button == IDNO)
            runs.back().questionsDone = true;
    }
    if (text == "File already exists.\n\nOverwrite?" && button != IDYES) {
        overwriteDeclined = true;
        if (!runs.empty() && runs.back().report == keptPath)
            runs.back().report.clear();     // the run ends there, unwritten
    }
    if (button == IDYES) {
        if (text == DeleteWarning2) {
            // The selection the user confirmed: this run may delete these.
            ConfirmedRun run;
            run.order = pendingSelection;
            for (const std::string &path : pendingSelection) {
                run.selection.insert(path);
                FileId id;
                if (FileExists(path) && IdentityOf(path, id)) {
                    run.existing[path] = id;
                    run.ids.insert(id);
                }
            }
            runs.push_back(run);
            search.disturbed = true;
            totals.deletesConfirmed++;
        } else if (text == GoQuestion) {
            totals.searchesAsked++;
            search = { true, goRoot.folder, false, false };
            goAwaitsRun = false;
            for (HWND dialog : OpenDialogs()) {
                HWND field = ui::FileNameField(dialog);
                goAwaitsRun = goAwaitsRun ||
                              ui::ControlText(dialog, 0xFFFF).compare(0, 36, "Drossweep (Delete) selected files...") == 0 ||
                              (field && ui::Text(field).find(Title + " - Report [") == 0);
            }
        } else if (text == "Stop the current search?\n\nContinue?")
            search.stopped = true;
        else if (reportQuestion)
            ;   // the save dialog comes next
        else if (text == "Process the specified links?")
            totals.linksProcessed++;
        else if (text == ExitQuestion) {
            ConfirmExit(box);
            return;
        }
    }
    if (byX)
        PostMessageW(box.window, WM_CLOSE, 0, 0);
    else
        PostMessageW(box.window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), (LPARAM)GetDlgItem(box.window, button));
    Answered(box.window);
    if (button == IDYES && (text == "Open report?" || text == "Open the saved Selected Files List?")) {
        // The viewer the user asked for: no fault. Under a box opened since,
        // the answer takes effect only once that box has closed.
        viewersAllowed++;
        if (OpenDialogs().empty())
            for (DWORD start = GetTickCount(); ViewersStarted() < viewersAllowed && GetTickCount() - start < 20000;)
                ui::Pause(20);
    }
}

// The box that ends a delete run or an export says what the files show.
void Session::CheckRunEnding(const std::string &text)
{
    if (text == "Selected Files List saved.") {
        std::vector<std::string> saved = SplitLines(ReadAll(exportPath));
        if (saved != exportSelection)
            Fail("the saved list " + exportPath + " holds " + std::to_string(saved.size()) + " lines, not the " +
                 std::to_string(exportSelection.size()) + " selected paths in list order");
        return;
    }
    if (text.compare(0, 22, "Drossweeping Complete.") != 0 || runs.empty() || runs.back().verify ||
        !runs.back().questionsDone)
        return;
    if (goAwaitsRun) {
        goAwaitsRun = false;
        bool refused = false;
        for (HWND dialog : OpenDialogs())
            refused = refused || ui::ControlText(dialog, 0xFFFF) == "Finish the command in the List window to start a search.";
        if (!refused)
            Fail("GO, answered Yes under the questions of a delete run that then ran on its own thread, was not "
                 "refused");
    }
    // A run without questions tries every selected file; one already gone
    // counts as deleted.
    const ConfirmedRun &run = runs.back();
    long left = 0;
    for (const std::string &path : run.order)
        left += FileExists(path);
    std::string expected = "Drossweeping Complete.";
    if (left)
        expected += "\n\n" + std::to_string(left) + " of " + std::to_string(run.order.size()) +
                    " Files could not be deleted.";
    if (text != expected)
        Fail("a run of " + std::to_string(run.order.size()) + " files, " + std::to_string(left) +
             " of them still there, ended with \"" + text + "\"");
}

// The viewers started so far: the recorder writes a line for each.
int Session::ViewersStarted()
{
    std::string text = ReadAll(record);
    return text == "<missing>" ? 0 : (int)std::count(text.begin(), text.end(), '\n');
}

// Answers "Exit?" with Yes: whatever waits on the user, the program ends at
// once, and no window or viewer opens meanwhile.
void Session::ConfirmExit(const ui::Box &box)
{
    exitConfirmed = true;
    totals.exits++;
    std::set<HWND> before;
    for (HWND window : ui::TopWindows(program))
        if (IsWindowVisible(window))
            before.insert(window);
    PostMessageW(box.window, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), (LPARAM)GetDlgItem(box.window, IDYES));
    DWORD start = GetTickCount();
    while (WaitForSingleObject(program.process, 10) == WAIT_TIMEOUT) {
        for (HWND window : ui::TopWindows(program))
            if (IsWindowVisible(window) && !before.count(window)) {
                Fail("a window opened after the confirmed exit: \"" + ui::Text(window) + "\" " +
                     ui::ControlText(window, 0xFFFF));
                return;
            }
        if (GetTickCount() - start > 30000) {
            Fail("the program did not end within 30 s of the confirmed exit");
            return;
        }
    }
    program.exitAwaited = true;
    DWORD code = 0;
    GetExitCodeProcess(program.process, &code);
    if (code != 1)
        Fail("after the confirmed exit the program ended with exit code " + std::to_string(code));
    ui::Pause(500);     // a viewer started at the end takes a moment to write
    if (ViewersStarted() > viewersAllowed)
        Fail("a viewer started after the confirmed exit");
}

void Session::AnswerDialog(HWND dialog, bool byX)
{
    std::string caption = ui::Text(dialog);
    HWND field = ui::FileNameField(dialog);
    if (field) {
        bool report = ui::Text(field).find(Title + " - Report [") == 0;
        bool ownRun = report && !runs.empty() && !runs.back().questionsDone;
        if (byX || Chance(25)) {
            Step(byX ? "close the save dialog by its X" : "cancel the save dialog");
            if (ownRun)
                runs.back().questionsDone = true;
            byX ? (void)PostMessageW(dialog, WM_CLOSE, 0, 0) : (void)ui::CancelDialog(dialog);
            Answered(dialog);
            return;
        }
        // A list or a report may go over an earlier list, after a question.
        std::string path = NewName(report ? "report" : "list");
        if (names > 2 && Chance(30))
            path = out + "\\list" + std::to_string(seed) + "-0.txt";
        overwriteDeclined = false;
        keptPath = path;
        keptContent = ReadAll(path);
        if (ownRun) {
            runs.back().report = path;
            runs.back().questionsDone = true;
        }
        if (!report)
            exportPath = path;
        Step("save as " + path);
        if (!ui::SaveAs(dialog, path) && !ui::Gone(program))
            Fail("the save dialog stayed open");
        Answered(dialog);
        if (!report)
            totals.exportsSaved++;
        return;
    }
    if (caption == Title + " - Links") {
        if (!byX && Chance(40)) {
            Step("press Process in the Links dialog");
            ui::Click(dialog, IDC_LINKS_PROCESS);
        } else {
            Step(byX ? "close the Links dialog by its X" : "close the Links dialog");
            byX ? (void)PostMessageW(dialog, WM_CLOSE, 0, 0) : (void)ui::CancelDialog(dialog);
        }
        return;
    }
    if (caption == Title + " - Donate") {
        ui::CancelDialog(dialog);
        return;
    }
    // The folder picker.
    bool ok = !byX && Chance(50);
    Step(ok ? "press OK in the folder picker" : byX ? "close the folder picker by its X" : "cancel the folder picker");
    if (byX)
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    else
        ok ? ui::ConfirmDialog(dialog) : ui::CancelDialog(dialog);
}

// Answers one open dialog, the newest or, likelier, one left under later ones.
void Session::AnswerSomething(bool newest)
{
    std::vector<HWND> open = OpenDialogs();
    if (open.empty())
        return;
    // Newest first (front); a box left under later ones is what the user
    // comes back to, so an older one is the likelier pick.
    HWND dialog = newest || open.size() == 1 ? open.front()
                  : Chance(70)               ? open[1 + Pick((int)open.size() - 1)]
                                             : open[Pick((int)open.size())];
    bool byX = Chance(10);
    ui::Sync(dialog);
    ui::Box box;
    if (ui::Text(dialog) == Title && GetDlgItem(dialog, 0xFFFF)) {
        box.window = dialog;
        box.text = ui::ControlText(dialog, 0xFFFF);
        box.hasYes = GetDlgItem(dialog, IDYES) != NULL;
        box.hasNo = GetDlgItem(dialog, IDNO) != NULL;
        box.hasCancel = GetDlgItem(dialog, IDCANCEL) != NULL;
        AnswerBox(box, byX);
    } else
        AnswerDialog(dialog, byX);
}

// The file system changes under the program: a selected cache is deleted,
// held open without sharing its deletion, or made read-only before a run
// reaches it.
void Session::ActOnFiles()
{
    std::vector<std::string> selected = SelectedPaths();
    if (selected.empty())
        return;
    const std::string &path = selected[Pick((int)selected.size())];
    FileId id;
    if (!IdentityOf(path, id))
        return;
    search.disturbed = true;
    switch (Pick(3)) {
    case 0:
        Step("delete " + path + " behind the program's back");
        if (DeleteFileA(path.c_str()))
            removedByUs.insert(id);
        break;
    case 1: {
        Step("hold " + path + " open");
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        if (file != INVALID_HANDLE_VALUE) {
            locks.push_back(file);
            undeletable.insert(path);
        }
        break;
    }
    default:
        Step("make " + path + " read-only");
        if (SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY))
            undeletable.insert(path);
        break;
    }
}

// The selection is taken as the click finds it; any earlier command has ended.
void Session::PressDelete(const std::string &when)
{
    pendingSelection = SelectedPaths();
    goAwaitsRun = false;
    Step("Delete, " + std::to_string(pendingSelection.size()) + " selected" + when);
    ui::Click(results, IDC_RESULTS_DELETE);
}

// Up to three ranges, drawn alike however long the list is.
void Session::SelectRanges()
{
    int count = (int)SendMessageW(list, LB_GETCOUNT, 0, 0);
    int ranges = 1 + Pick(3);
    std::vector<int> some;
    for (int r = 0; r < ranges; r++) {
        int first = Pick(count + 1), length = 1 + Pick(count / 3 + 1);
        for (int i = first; i < first + length && i < count; i++)
            some.push_back(i);
    }
    Step("select " + std::to_string(ranges) + " ranges, " + std::to_string(some.size()) + " entries");
    ui::SelectEntries(list, some);
}

void Session::Act()
{
    bool mainFree = IsWindowEnabled(main), listFree = IsWindowEnabled(results);
    std::vector<HWND> openBefore = OpenDialogs();
    int action = Pick(32);
    switch (action) {
    case 0: case 1: case 23: case 28:
        if (!mainFree)
            break;
    {
        goRoot = tree.roots[Pick((int)tree.roots.size())];
        bool thenDelete = Chance(40);
        Step("GO on " + Narrow(goRoot.typed.substr(0, 80)));
        SendMessageW(GetDlgItem(main, IDC_MAIN_FOLDER), WM_SETTEXT, 0, (LPARAM)goRoot.typed.c_str());
        ui::Click(main, IDC_MAIN_GO);
        // The user turns to the List window before answering GO's question,
        // and may answer it once the delete run's first warning is up.
        ui::Box go, warning;
        bool answerGo = Chance(75);
        if (thenDelete && listFree && IsWindowEnabled(GetDlgItem(results, IDC_RESULTS_DELETE)) &&
            ui::WaitForBoxSaying(program, GoQuestion, go, 2000)) {
            if (SelectedPaths().empty())
                SelectRanges();
            PressDelete(", before answering GO's question");
            if (answerGo && ui::WaitForBoxSaying(program, DeleteWarning1, warning, 2000))
                AnswerBox(go, false);
        }
        break;
    }
    case 2:
        if (mainFree) {
            Step("STOP");
            ui::Click(main, IDC_MAIN_STOP);
        }
        break;
    case 3: case 18:
        if (listFree && IsWindowEnabled(list)) {
            Step("select all");
            ui::SelectAll(list);
        }
        break;
    case 4: case 30:
        if (listFree && IsWindowEnabled(list))
            SelectRanges();
        break;
    case 5:
        if (listFree && IsWindowEnabled(list)) {
            // As a user does: a click on a row, then Shift+Down or Shift+click further on.
            int height = (int)SendMessageW(list, LB_GETITEMHEIGHT, 0, 0);
            int row = Pick(5);
            bool click = Chance(50);
            int further = Pick(4);
            Step("click row " + std::to_string(row) + ", then extend");
            ui::ClickAt(list, 20, row * height + height / 2);
            if (click)
                ui::ClickAt(list, 20, (row + 1 + further) * height + height / 2, MK_SHIFT);
            else {
                PostMessageW(list, WM_KEYDOWN, VK_SHIFT, 1);
                ui::PostKey(list, VK_DOWN);
                PostMessageW(list, WM_KEYUP, VK_SHIFT, 0xC0000001);
                ui::Sync(list);
            }
        }
        break;
    case 6: case 7: case 16: case 17: case 24:
        if (listFree && IsWindowEnabled(GetDlgItem(results, IDC_RESULTS_DELETE)))
            PressDelete("");
        break;
    case 8: case 29:
        if (listFree && IsWindowEnabled(GetDlgItem(results, IDC_RESULTS_SAVE))) {
            exportSelection = SelectedPaths();
            Step("Save list");
            ui::Click(results, IDC_RESULTS_SAVE);
        }
        break;
    case 9:
        if (mainFree) {
            Step("open the Links dialog");
            ui::Command(main, IDM_LINKS);
        }
        break;
    case 10:
        if (mainFree) {
            Step("open the folder picker");
            ui::Click(main, IDC_MAIN_BROWSE);
        }
        break;
    case 11:
        if (Chance(50))
            break;
        if (Chance(50)) {
            Step("close the Main window");
            PostMessageW(main, WM_CLOSE, 0, 0);
        } else {
            Step("close the List window");
            PostMessageW(results, WM_CLOSE, 0, 0);
        }
        break;
    case 12:
        Step("wait");
        ui::Pause(100 + Pick(700));
        return;
    case 19: {
        // Keys the list and the windows take or ignore: Delete, Ctrl+A, Esc, Enter.
        static const struct { const char *name; WPARAM key; bool control; } keys[] = {
            { "Delete", VK_DELETE, false }, { "Ctrl+A", 'A', true }, { "Esc", VK_ESCAPE, false }, { "Enter", VK_RETURN, false }
        };
        const auto &key = keys[Pick(4)];
        HWND target = Chance(50) ? list : GetDlgItem(main, IDC_MAIN_FOLDER);
        Step(std::string("press ") + key.name + (target == list ? " in the list" : " in the folder field"));
        if (key.control)
            PostMessageW(target, WM_KEYDOWN, VK_CONTROL, 1);
        ui::PostKey(target, key.key);
        if (key.control)
            PostMessageW(target, WM_KEYUP, VK_CONTROL, 0xC0000001);
        break;
    }
    case 20: {
        int notches = Pick(7) - 3;
        Step("turn the wheel over the list, " + std::to_string(notches) + " notches");
        RECT box;
        GetWindowRect(list, &box);
        PostMessageW(list, WM_MOUSEWHEEL, MAKEWPARAM(0, notches * WHEEL_DELTA), MAKELPARAM(box.left + 20, box.top + 20));
        break;
    }
    case 21: {
        HWND window = Chance(50) ? results : main;
        int width = 300 + Pick(700), height = 200 + Pick(500);
        Step("resize the " + std::string(window == main ? "Main" : "List") + " window to " + std::to_string(width) +
             "x" + std::to_string(height));
        SetWindowPos(window, NULL, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
        break;
    }
    case 22:
        if (Chance(50))
            ActOnFiles();
        break;
    default:
        AnswerSomething(false);
        break;
    }
    // Whatever this step opened is answered at once, and likely so is what
    // that answer opens in turn, as a user goes through a run's questions;
    // or it is left for later. A box left earlier waits for a later step.
    for (int answered = 0; !exitConfirmed && answered < 6 && Chance(answered ? 75 : 60); answered++) {
        ui::Pause(Pick(150));
        auto opened = [&] {
            std::vector<HWND> open = OpenDialogs();
            return !open.empty() && std::find(openBefore.begin(), openBefore.end(), open.front()) == openBefore.end();
        };
        for (DWORD start = GetTickCount(); !opened() && GetTickCount() - start < 300;)
            ui::Pause(10);
        if (ui::Gone(program) || !opened())
            break;
        openBefore = OpenDialogs();
        AnswerSomething(true);
    }
}

// The List window agrees with itself once nothing changes it.
bool Session::CheckList()
{
    std::string shown = ui::ControlText(main, IDC_MAIN_FOLDER_TEXT);
    if (shown.compare(0, 5, "Idle.") != 0 || !IsWindowEnabled(list) || !IsWindowEnabled(GetDlgItem(results, IDC_RESULTS_SAVE)))
        return true;
    // Reading every entry costs two calls into the program each: only a list
    // that changed is read again (a search changes its count and size text).
    std::string size = ui::ControlText(results, IDC_RESULTS_SIZE);
    std::string seen = size + "|" + std::to_string(SendMessageW(list, LB_GETCOUNT, 0, 0)) + "|" +
                       ui::ControlText(main, IDC_MAIN_FOUND_TEXT);
    if (seen == listChecked)
        return true;
    std::vector<std::string> entries = ui::ListEntries(list);
    if (!ui::Enabled(results, IDC_RESULTS_SAVE) || ui::ControlText(main, IDC_MAIN_FOLDER_TEXT).compare(0, 5, "Idle.") != 0)
        return true;        // a search began meanwhile
    long count = 0;
    double megabytes = 0;
    if (sscanf(size.c_str(), "%ld Files [%lf MB]", &count, &megabytes) != 2)
        return true;        // the start-up text
    unsigned long long bytes = 0;
    std::set<std::string> distinct(entries.begin(), entries.end());
    for (const std::string &entry : entries) {
        auto known = tree.caches.find(entry);
        FileId id;
        if (known != tree.caches.end())
            bytes += known->second;
        else if (IdentityOf(entry, id) && sizes.count(id))
            bytes += sizes[id];
        else if (FileExists(entry))
            return Fail("the list names a file that is no cache of the tree: " + entry);
        else
            return true;    // reached through a link and deleted since: its size is not known here
    }
    char expected[64];
    snprintf(expected, sizeof expected, "%ld Files [%.2f MB]", (long)entries.size(), bytes / 1048576.0);
    if (distinct.size() != entries.size())
        return Fail("the list holds an entry twice");
    if (size != expected)
        return Fail("the size text says \"" + size + "\" of a list of " + expected);
    listChecked = seen;
    return true;
}

// After a search that ended with nothing disturbing it, the list holds every
// cache the file system has under its root, once, by a path that reaches it,
// and the Information text counts what the tree holds; a stopped search shows
// part of that.
bool Session::CheckSearch()
{
    if (!search.pending || search.disturbed || !OpenDialogs().empty() ||
        ui::ControlText(main, IDC_MAIN_FOLDER_TEXT).compare(0, 5, "Idle.") != 0 ||
        !ui::Enabled(results, IDC_RESULTS_DELETE))
        return true;
    // The search's end turns the buttons on before its last tick shows
    // "Idle." and the counts: that tick was posted first, so once a message
    // posted now has been taken, the texts are the end's own.
    HWND field = GetDlgItem(main, IDC_MAIN_FOLDER);
    SendMessageW(field, EM_SETSEL, 0, 0);
    PostMessageW(field, EM_SETSEL, 0, 1);
    DWORD selection = 0;
    for (DWORD start = GetTickCount(); selection != MAKELONG(0, 1) && GetTickCount() - start < 5000; ui::Pause(5))
        selection = (DWORD)SendMessageW(field, EM_GETSEL, 0, 0);
    std::string info = ui::ControlText(main, IDC_MAIN_FOUND_TEXT);
    std::vector<std::string> entries = ui::ListEntries(list);
    if (!OpenDialogs().empty() || !ui::Enabled(results, IDC_RESULTS_DELETE) || selection != MAKELONG(0, 1) ||
        ui::ControlText(main, IDC_MAIN_FOLDER_TEXT).compare(0, 5, "Idle.") != 0)
        return true;
    search.pending = false;
    totals.searchesChecked++;
    Expected expected;
    std::vector<FileId> above(1);
    if (IdentityOfW(search.folder, above[0]))
        WalkTree(search.folder, above, false, expected);
    std::string root = Narrow(search.folder);
    std::map<FileId, long> seen;
    for (const std::string &entry : entries) {
        FileId id;
        if (!IdentityOf(entry, id))
            return Fail("after a search of " + root + " the list names a path that reaches nothing: " + entry);
        if (!expected.caches.count(id))
            return Fail("after a search of " + root + " the list names a file that is no cache under it: " + entry);
        if (++seen[id] > expected.Entries(id))
            return Fail("after a search of " + root + " the list holds one cache once too often, as " + entry);
    }
    if (search.stopped)
        return true;
    long total = 0;
    for (const auto &cache : expected.caches) {
        total += expected.Entries(cache.first);
        if (seen[cache.first] != expected.Entries(cache.first))
            return Fail("a search of " + root + " did not list " + Narrow(cache.second));
    }
    char counted[160];
    snprintf(counted, sizeof counted, "%ld Files [THUMBS.DB] Found [of %ld Searched]", total, expected.files);
    if (info != counted)
        return Fail("after a search of " + root + " the Information text says \"" + info + "\", the tree \"" +
                    counted + "\"");
    return true;
}

// Only a run confirmed since the program was last at rest deletes, and only
// its own selection.
bool Session::CheckGone()
{
    std::set<FileId> deletable(removedByUs);
    for (const ConfirmedRun &run : runs)
        deletable.insert(run.ids.begin(), run.ids.end());
    for (auto at = present.begin(); at != present.end();) {
        if (FileExists(at->first)) {
            ++at;
            continue;
        }
        if (!deletable.count(at->second))
            return Fail("a file outside the selection of every run still going is gone: " + at->first);
        at = present.erase(at);
    }
    return true;
}

// Once a run has ended, its report names exactly the files it tried, in list
// order: those it deleted, and those held open or read-only.
bool Session::CheckRuns()
{
    for (const ConfirmedRun &run : runs) {
        if (!run.questionsDone || run.report.empty() || !FileExists(run.report))
            continue;
        std::vector<std::string> reported = SplitLines(ReadAll(run.report));
        size_t last = 0;
        for (const std::string &path : reported) {
            auto at = std::find(run.order.begin(), run.order.end(), path);
            if (at == run.order.end())
                return Fail("the report names a file outside its run's selection: " + path);
            if ((size_t)(at - run.order.begin()) < last)
                return Fail("the report names " + path + " out of list order");
            last = at - run.order.begin();
            if (FileExists(path) && !undeletable.count(path))
                return Fail("the report names a file that is still there: " + path);
        }
        // A run that an exit ended names the files it tried: one deleted
        // under it by someone else may be gone unnamed.
        std::set<std::string> named(reported.begin(), reported.end());
        for (const auto &file : run.existing)
            if (!FileExists(file.first) && !named.count(file.first) && !removedByUs.count(file.second))
                return Fail("a file is gone that the report does not name: " + file.first);
    }
    return true;
}

bool Session::Check()
{
    if (!CheckGone())
        return false;
    for (const std::string &path : tree.userFiles)
        if (!FileExists(path))
            return Fail("the user's own file is gone: " + path);
    if (!failure.empty())
        return false;
    if (exitConfirmed)
        return CheckRuns();
    if (ui::Gone(program))
        return Fail("the program died");
    for (HWND window : { main, results }) {
        DWORD_PTR result;
        if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result))
            return Fail("the program did not answer for 5 s");
    }
    // One job at a time: a delete run on its thread shows its progress in the
    // List window, a search its folder in the Main window.
    std::string folderShown = ui::ControlText(main, IDC_MAIN_FOLDER_TEXT);
    if (ui::ControlText(results, IDC_RESULTS_SIZE).compare(0, 12, "Drossweeping") == 0 && !folderShown.empty() &&
        folderShown.compare(0, 5, "Idle.") != 0)
        return Fail("a search runs beside a delete run: the Main window shows \"" + folderShown + "\"");
    if (IsWindowEnabled(list) && OpenDialogs().empty()) {
        // At rest: every run whose questions were answered has ended.
        if (!CheckRuns())
            return false;
        runs.erase(std::remove_if(runs.begin(), runs.end(), [](const ConfirmedRun &run) { return run.questionsDone; }),
                   runs.end());
        if (overwriteDeclined && ReadAll(keptPath) != keptContent)
            return Fail("a file was overwritten though the user said No: " + keptPath);
        overwriteDeclined = false;
    }
    return CheckList() && CheckSearch();
}

// Ends the program as a user would: Exit, answered Yes, whatever is open.
bool Session::Finish()
{
    if (exitConfirmed || ui::Gone(program))
        return true;
    Step("close the Main window to end");
    PostMessageW(main, WM_CLOSE, 0, 0);
    for (DWORD start = GetTickCount(); !exitConfirmed && GetTickCount() - start < 15000 && !ui::Gone(program);) {
        ui::Box box;
        if (ui::WaitForBoxSaying(program, ExitQuestion, box, 200)) {
            Step("answer \"Exit?\" with Yes");
            ConfirmExit(box);
        }
    }
    if (!exitConfirmed)
        return Fail("no exit question came");
    return Check();
}

bool Session::Run(int steps)
{
    totals.sessions++;
    if (Start()) {
        // Most sessions start from a list: the user searches first.
        Reseed(0);
        // Half of them from a long list, where runs and exports last.
        if (Chance(80)) {
            goRoot = tree.roots[Chance(50) ? 2 + Pick(2) : Pick(8)];
            Step("GO on " + Narrow(goRoot.typed) + ", answered Yes, until the search ends");
            SendMessageW(GetDlgItem(main, IDC_MAIN_FOLDER), WM_SETTEXT, 0, (LPARAM)goRoot.typed.c_str());
            ui::Click(main, IDC_MAIN_GO);
            ui::Box box;
            if (!ui::WaitForBoxSaying(program, GoQuestion, box, 10000))
                Fail("GO asked no question");
            else
                AnswerFirstSearch(box);
            for (DWORD start = GetTickCount(); failure.empty() && GetTickCount() - start < 60000 &&
                                               !ui::Enabled(results, IDC_RESULTS_DELETE);)
                ui::Pause(50);
            Check();
        }
        for (int i = 0; i < steps && !exitConfirmed && failure.empty(); i++) {
            // Each step's draws from the seed and the step alone: how far the
            // program had got changes what a step finds, never what it draws.
            Reseed(1 + (unsigned)i);
            totals.steps++;
            Act();
            if (!Check())
                break;
        }
        if (failure.empty())
            Finish();
    }
    ui::Kill(program);
    ui::Close(program);
    for (HANDLE lock : locks)
        CloseHandle(lock);
    for (const auto &entry : tree.caches)
        if (!FileExists(entry.first))
            totals.filesDeleted++;
    if (failure.empty())
        return true;
    totals.failures++;
    printf("FAILED: seed %u: %s\nsteps:\n", seed, failure.c_str());
    for (size_t i = 0; i < log.size(); i++)
        printf("  %3u. %s\n", (unsigned)i + 1, log[i].c_str());
    printf("replay: scripts/fuzz --replay %u\n", seed);
    fflush(stdout);
    return false;
}

// Text files open in the recorder, which notes that a viewer started.
static bool RegisterTextViewer(void)
{
    const char *recorder = getenv("DROSS_RECORDER");
    if (!recorder)
        return false;
    std::string command = std::string("\"") + recorder + "\" \"%1\"";
    return RegSetValueA(HKEY_CLASSES_ROOT, ".txt", REG_SZ, "DrossFuzzText", 0) == ERROR_SUCCESS &&
           RegSetValueA(HKEY_CLASSES_ROOT, "DrossFuzzText\\shell\\open\\command", REG_SZ, command.c_str(), 0) ==
               ERROR_SUCCESS;
}

// A failing seed's steps are kept; a replay of it says whether the program
// answered as it did then, or where its way parted.
static void KeepOrCompareSteps(const std::string &file, const std::vector<std::string> &steps, bool passed, bool replay)
{
    std::string text;
    for (const std::string &step : steps)
        text += step + "\r\n";
    std::string kept = ReadAll(file);
    if (replay && kept != "<missing>") {
        std::vector<std::string> before = SplitLines(kept);
        size_t same = 0;
        while (same < before.size() && same < steps.size() && before[same] == steps[same])
            same++;
        if (same == before.size() && same == steps.size())
            printf("replay: the same %u steps as the kept run (%s)\n", (unsigned)same, file.c_str());
        else
            printf("replay: the program answered otherwise than in the kept run from step %u on:\n  kept: %s\n  now:  %s\n",
                   (unsigned)same + 1, same < before.size() ? before[same].c_str() : "(the end)",
                   same < steps.size() ? steps[same].c_str() : "(the end)");
    } else if (!passed) {
        CreateDirectoryA(file.substr(0, file.rfind('\\')).c_str(), NULL);
        HANDLE out = CreateFileA(file.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        DWORD written;
        if (out != INVALID_HANDLE_VALUE) {
            WriteFile(out, text.data(), (DWORD)text.size(), &written, NULL);
            CloseHandle(out);
        }
    }
}

static std::vector<unsigned> ParseSeeds(const char *text)
{
    std::vector<unsigned> seeds;
    for (const char *at = text; *at;) {
        char *end;
        seeds.push_back((unsigned)strtoul(at, &end, 10));
        at = *end == ',' ? end + 1 : end + strlen(end);
    }
    return seeds;
}

int main(int argc, char **argv)
{
    std::vector<unsigned> seeds = { 1, 2, 3 };
    DWORD seconds = 0;
    int steps = 40;
    bool replay = false;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        replay = replay || option == "--replay";
        if (option == "--seeds" || option == "--replay")
            seeds = ParseSeeds(argv[i + 1]);
        else if (option == "--seconds")
            seconds = (DWORD)atol(argv[i + 1]);
        else if (option == "--steps")
            steps = atoi(argv[i + 1]);
        else if (option == "--verbose")
            verbose = atoi(argv[i + 1]) != 0;
    }
    if (!RegisterTextViewer()) {
        printf("FAILED: DROSS_RECORDER names no recorder for text files\n");
        return 1;
    }
    const char *logs = getenv("DROSS_FUZZ_LOGS");
    const char *program = getenv("DROSS_PROGRAM");
    std::string name = std::string("fuzz-") + (program ? program : "program");
    std::string out = FreshFolder((name + "-out").c_str());
    Tree tree = MakeTree(FreshFolder(name.c_str()));
    Totals totals;
    DWORD start = GetTickCount();
    unsigned next = seconds ? (unsigned)time(NULL) : 0;
    for (size_t i = 0;; i++) {
        unsigned seed;
        if (seconds) {
            if (GetTickCount() - start >= seconds * 1000)
                break;
            seed = next++;
        } else if (i < seeds.size())
            seed = seeds[i];
        else
            break;
        if (!RestoreTree(tree)) {
            printf("FAILED: could not restore the tree under %s\n", tree.root.c_str());
            return 1;
        }
        Session session(seed, tree, out, totals);
        bool passed = session.Run(steps);
        if (!passed)
            printf("(after %lu s of play)\n", (unsigned long)(GetTickCount() - start) / 1000);
        if (logs && *logs)
            KeepOrCompareSteps(std::string(logs) + "\\" + name + "-" + std::to_string(seed) + ".txt", session.log,
                               passed, replay);
    }
    printf("%ld sessions, %ld steps in %lu s: %ld searches asked for (%ld checked against the tree), %ld delete runs "
           "confirmed, %ld lists saved, %ld links runs, %ld jobs refused, %ld files deleted, %ld exits confirmed\n",
           totals.sessions, totals.steps, (unsigned long)(GetTickCount() - start) / 1000, totals.searchesAsked,
           totals.searchesChecked,
           totals.deletesConfirmed, totals.exportsSaved, totals.linksProcessed, totals.refusals, totals.filesDeleted,
           totals.exits);
    printf("%ld passed, %ld failed\n", totals.sessions - totals.failures, totals.failures);
    RunOnHost({ "/bin/rm", "-rf", tree.root });
    RemoveTree(out);
    return totals.failures ? 1 : 0;
}

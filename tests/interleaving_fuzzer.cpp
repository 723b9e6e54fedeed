// Drives the real program with random interleavings of what a user can do
// (searches, selections, delete runs, exports, links, the folder picker and
// the exit, with questions answered at once, later or never) and checks after
// every step that no file the user did not confirm is gone, that the program
// lives and answers, that nothing opens once the exit is confirmed, that a
// report names the files its run deleted, and that the list agrees with its
// count and size. A session is one start of the program, made from its seed.
//
// Usage: interleaving_fuzzer [--seeds A,B,...] [--seconds N] [--replay SEED] [--steps N]
// The program under test is DROSS_EXE; .txt files open in the recorder (DROSS_RECORDER).
#include "e2e_support.h"
#include "resources/resource.h"

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const std::string Title = PRODUCT_TITLE;
static const char PER_FILE_START[] = "Drossweep (Delete)...\n\n'";

// The files of the tree: the caches the program lists, with their sizes, and
// the user's own files (a cache that is read-only, a file named like a cache
// that is none, and others), which must never go.
struct Tree {
    std::string root;
    std::vector<std::wstring> searchRoots;     // typed as they stand, outside the code page too
    std::map<std::string, size_t> caches;       // as the list names them
    std::vector<std::string> userFiles;
};

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

static Tree MakeTree(const std::string &root)
{
    Tree tree;
    tree.root = root;
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
    for (const std::string &folder : { root + "\\a1", root + "\\b", root + "\\c", root, root + "\\missing", root + "\\d" })
        tree.searchRoots.push_back(Widen(folder));
    tree.searchRoots.push_back(d + L"\\\x0141\x00f3\x0064\x017a");
    return tree;
}

// Puts back what the last session deleted; false when the tree cannot be made whole.
static bool RestoreTree(const Tree &tree)
{
    for (const auto &entry : tree.caches)
        if (!FileExists(entry.first) && !Write(entry.first, GenuineHeader(entry.second)))
            return false;
    const std::string &b = tree.userFiles[1], &ro = tree.userFiles[2];
    if (!FileExists(tree.userFiles[0]) && !Write(tree.userFiles[0], "a photo"))
        return false;
    if (!FileExists(b) && !Write(b, std::string(512, 'x')))
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

// A delete run whose warnings the user passed: what it may delete, what of
// that existed then, and where its report goes.
struct ConfirmedRun {
    std::set<std::string> selection;
    std::set<std::string> existing;
    std::string report;
};

static bool verbose;

struct Totals {
    long sessions = 0, steps = 0, searchesAsked = 0, deletesConfirmed = 0, exportsSaved = 0,
         linksProcessed = 0, refusals = 0, filesDeleted = 0, exits = 0, failures = 0;
};

class Session {
public:
    Session(unsigned seed, const Tree &tree, const std::string &out, Totals &totals)
        : seed(seed), random(seed), tree(tree), out(out), totals(totals) {}
    // Plays the steps; false (with the reason printed) when a check failed.
    bool Run(int steps);

private:
    unsigned seed;
    std::mt19937 random;
    const Tree &tree;
    std::string out;
    Totals &totals;
    ui::Program program;
    HWND main = NULL, results = NULL, list = NULL;
    std::vector<std::string> log;
    std::string failure;
    std::set<std::string> allowed;              // files of a confirmed selection
    std::set<std::string> pendingSelection;     // taken at the last Delete click
    std::vector<ConfirmedRun> runs;             // confirmed, not yet checked
    bool reportDialogWanted = false;
    bool exitConfirmed = false;
    std::string record;
    int viewersAllowed = 0;
    int names = 0;

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
    void AnswerSomething(bool now);
    void AnswerBox(const ui::Box &box);
    void ConfirmExit(const ui::Box &box);
    int ViewersStarted();
    void AnswerDialog(HWND dialog);
    bool Check();
    bool CheckList();
    bool CheckRuns();
    bool Finish();
    std::vector<HWND> OpenDialogs();
    std::set<std::string> SelectedPaths();
};

bool Session::Start()
{
    const char *exe = getenv("DROSS_EXE");
    if (!exe)
        return Fail("DROSS_EXE names no program");
    record = NewName("opened");
    SetEnvironmentVariableA("DROSS_RECORD_FILE", record.c_str());
    if (!ui::Launch(exe, program))
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

std::set<std::string> Session::SelectedPaths()
{
    std::vector<std::string> entries = ui::ListEntries(list);
    std::set<std::string> paths;
    for (int index : ui::ListSelection(list))
        if (index >= 0 && index < (int)entries.size())
            paths.insert(entries[index]);
    return paths;
}

void Session::AnswerBox(const ui::Box &box)
{
    const std::string &text = box.text;
    int button = IDOK;
    if (box.hasYes) {
        // Verify Yes keeps a run on the UI thread; No sends it to its own thread.
        bool verifyQuestion = text == "Drossweep (Delete) selected files...\n\nVerify every delete operation?";
        int yesShare = text == ExitQuestion ? 25 : text == GoQuestion ? 60 : verifyQuestion ? 30 : 75;
        button = Chance(yesShare) ? IDYES : IDNO;
        if (box.hasCancel && Chance(15))
            button = IDCANCEL;
    }
    // Every entry of the list names a short path: a run that cannot read one
    // read a list other than its own.
    if (text.compare(0, 27, "ERROR - Could not get text.") == 0)
        Fail("the program could not read an entry of its list: \"" + text + "\"");
    if (text.compare(0, 26, "Stop the current search to") == 0 || text.compare(0, 10, "Finish the") == 0)
        totals.refusals++;
    if (text.compare(0, sizeof PER_FILE_START - 1, PER_FILE_START) == 0 && button == IDYES) {
        std::string path = text.substr(sizeof PER_FILE_START - 1, text.rfind("'.") - (sizeof PER_FILE_START - 1));
        if (!allowed.count(path))
            Fail("asked to delete a file outside the confirmed selection: " + path);
    }
    Step("answer \"" + text.substr(0, 60) + "\" with " + (button == IDYES ? "Yes" : button == IDNO ? "No" : button == IDCANCEL ? "Cancel" : "OK"));
    if (button == IDYES) {
        if (text == DeleteWarning2) {
            // The selection the user confirmed: the run may delete these.
            ConfirmedRun run;
            run.selection = pendingSelection;
            for (const std::string &path : pendingSelection)
                if (FileExists(path))
                    run.existing.insert(path);
            allowed.insert(pendingSelection.begin(), pendingSelection.end());
            runs.push_back(run);
            totals.deletesConfirmed++;
        } else if (text == GoQuestion)
            totals.searchesAsked++;
        else if (text == "Drossweep (Delete) selected files...\n\nSave pathfilename(s) to a report (.txt)?")
            reportDialogWanted = true;
        else if (text == "Process the specified links?")
            totals.linksProcessed++;
        else if (text == ExitQuestion) {
            ConfirmExit(box);
            return;
        }
    }
    PostMessageW(box.window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), (LPARAM)GetDlgItem(box.window, button));
    if (button == IDYES && (text == "Open report?" || text == "Open the saved Selected Files List?")) {
        // The viewer the user asked for: no fault. Under a box opened since,
        // the answer takes effect only once that box has closed.
        viewersAllowed++;
        if (OpenDialogs().size() <= 1)
            for (DWORD start = GetTickCount(); ViewersStarted() < viewersAllowed && GetTickCount() - start < 20000;)
                ui::Pause(20);
    }
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

void Session::AnswerDialog(HWND dialog)
{
    std::string caption = ui::Text(dialog);
    HWND field = ui::FileNameField(dialog);
    if (field) {
        bool report = ui::Text(field).find(Title + " - Report [") == 0;
        if (Chance(25)) {
            Step("cancel the save dialog");
            ui::CancelDialog(dialog);
            return;
        }
        // A list may go over an earlier one; a report always goes to a new file.
        std::string path = NewName(report ? "report" : "list");
        if (!report && names > 2 && Chance(30))
            path = out + "\\list" + std::to_string(seed) + "-0.txt";
        if (report && !runs.empty())
            runs.back().report = path;
        Step("save as " + path);
        if (!ui::SaveAs(dialog, path) && !ui::Gone(program))
            Fail("the save dialog stayed open");
        if (!report)
            totals.exportsSaved++;
        return;
    }
    if (caption == Title + " - Links") {
        if (Chance(40)) {
            Step("press Process in the Links dialog");
            ui::Click(dialog, IDC_LINKS_PROCESS);
        } else {
            Step("close the Links dialog");
            ui::CancelDialog(dialog);
        }
        return;
    }
    if (caption == Title + " - Donate") {
        ui::CancelDialog(dialog);
        return;
    }
    // The folder picker.
    bool ok = Chance(50);
    Step(ok ? "press OK in the folder picker" : "cancel the folder picker");
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
    ui::Sync(dialog);
    ui::Box box;
    if (ui::Text(dialog) == Title && GetDlgItem(dialog, 0xFFFF)) {
        box.window = dialog;
        box.text = ui::ControlText(dialog, 0xFFFF);
        box.hasYes = GetDlgItem(dialog, IDYES) != NULL;
        box.hasNo = GetDlgItem(dialog, IDNO) != NULL;
        box.hasCancel = GetDlgItem(dialog, IDCANCEL) != NULL;
        AnswerBox(box);
    } else
        AnswerDialog(dialog);
}

void Session::Act()
{
    bool mainFree = IsWindowEnabled(main), listFree = IsWindowEnabled(results);
    std::vector<HWND> openBefore = OpenDialogs();
    int action = Pick(20);
    switch (action) {
    case 0: case 1:
        if (!mainFree)
            break;
        {
            const std::wstring &root = tree.searchRoots[Pick((int)tree.searchRoots.size())];
            Step("GO on " + Narrow(root));
            SendMessageW(GetDlgItem(main, IDC_MAIN_FOLDER), WM_SETTEXT, 0, (LPARAM)root.c_str());
            ui::Click(main, IDC_MAIN_GO);
        }
        break;
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
    case 4:
        if (listFree && IsWindowEnabled(list)) {
            int count = (int)SendMessageW(list, LB_GETCOUNT, 0, 0);
            std::vector<int> some;
            for (int i = 0; i < count; i++)
                if (Chance(30))
                    some.push_back(i);
            Step("select " + std::to_string(some.size()) + " entries");
            ui::SelectEntries(list, some);
        }
        break;
    case 5:
        if (listFree && IsWindowEnabled(list)) {
            // As a user does: a click on a row, then Shift+Down or Shift+click further on.
            int height = (int)SendMessageW(list, LB_GETITEMHEIGHT, 0, 0);
            int row = Pick(5);
            Step("click row " + std::to_string(row) + ", then extend");
            ui::ClickAt(list, 20, row * height + height / 2);
            if (Chance(50))
                ui::ClickAt(list, 20, (row + 1 + Pick(4)) * height + height / 2, MK_SHIFT);
            else {
                PostMessageW(list, WM_KEYDOWN, VK_SHIFT, 1);
                ui::PostKey(list, VK_DOWN);
                PostMessageW(list, WM_KEYUP, VK_SHIFT, 0xC0000001);
                ui::Sync(list);
            }
        }
        break;
    case 6: case 7: case 16: case 17:
        if (listFree && IsWindowEnabled(GetDlgItem(results, IDC_RESULTS_DELETE))) {
            pendingSelection = SelectedPaths();
            Step("Delete, " + std::to_string(pendingSelection.size()) + " selected");
            ui::Click(results, IDC_RESULTS_DELETE);
        }
        break;
    case 8:
        if (listFree && IsWindowEnabled(GetDlgItem(results, IDC_RESULTS_SAVE))) {
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
    default:
        AnswerSomething(false);
        break;
    }
    // Whatever this step opened is answered at once, or left for later; a
    // box left earlier waits for a later step.
    if (!exitConfirmed && Chance(60)) {
        ui::Pause(Pick(150));
        auto opened = [&] {
            std::vector<HWND> open = OpenDialogs();
            return !open.empty() && std::find(openBefore.begin(), openBefore.end(), open.front()) == openBefore.end();
        };
        for (DWORD start = GetTickCount(); !opened() && GetTickCount() - start < 300;)
            ui::Pause(10);
        if (!ui::Gone(program) && opened())
            AnswerSomething(true);
    }
}

// The List window agrees with itself once nothing changes it.
bool Session::CheckList()
{
    std::string shown = ui::ControlText(main, IDC_MAIN_FOLDER_TEXT);
    if (shown.compare(0, 5, "Idle.") != 0 || !IsWindowEnabled(list) || !IsWindowEnabled(GetDlgItem(results, IDC_RESULTS_SAVE)))
        return true;
    std::vector<std::string> entries = ui::ListEntries(list);
    std::string size = ui::ControlText(results, IDC_RESULTS_SIZE);
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
        if (known == tree.caches.end())
            return Fail("the list names a file that is no cache of the tree: " + entry);
        bytes += known->second;
    }
    char expected[64];
    snprintf(expected, sizeof expected, "%ld Files [%.2f MB]", (long)entries.size(), bytes / 1048576.0);
    if (distinct.size() != entries.size())
        return Fail("the list holds an entry twice");
    if (size != expected)
        return Fail("the size text says \"" + size + "\" of a list of " + expected);
    return true;
}

// Once no command runs, each confirmed run's report names exactly the files it deleted.
bool Session::CheckRuns()
{
    for (const ConfirmedRun &run : runs) {
        if (run.report.empty() || !FileExists(run.report))
            continue;
        std::vector<std::string> reported = SplitLines(ReadAll(run.report));
        std::set<std::string> gone;
        for (const std::string &path : run.existing)
            if (!FileExists(path))
                gone.insert(path);
        std::set<std::string> named(reported.begin(), reported.end());
        for (const std::string &path : named) {
            if (!run.selection.count(path))
                return Fail("the report names a file outside its run's selection: " + path);
            if (FileExists(path))
                return Fail("the report names a file that is still there: " + path);
        }
        for (const std::string &path : gone)
            if (!named.count(path))
                return Fail("a file is gone that the report does not name: " + path);
    }
    runs.clear();
    return true;
}

bool Session::Check()
{
    for (const auto &entry : tree.caches)
        if (!allowed.count(entry.first) && !FileExists(entry.first))
            return Fail("a file outside every confirmed selection is gone: " + entry.first);
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
    if (IsWindowEnabled(list) && OpenDialogs().empty() && !CheckRuns())
        return false;
    return CheckList();
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
        for (int i = 0; i < steps && !exitConfirmed; i++) {
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
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
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
        Session(seed, tree, out, totals).Run(steps);
    }
    printf("%ld sessions, %ld steps in %lu s: %ld searches asked for, %ld delete runs confirmed, %ld lists saved, "
           "%ld links runs, %ld jobs refused, %ld files deleted, %ld exits confirmed\n",
           totals.sessions, totals.steps, (unsigned long)(GetTickCount() - start) / 1000, totals.searchesAsked,
           totals.deletesConfirmed, totals.exportsSaved, totals.linksProcessed, totals.refusals, totals.filesDeleted,
           totals.exits);
    printf("%ld passed, %ld failed\n", totals.sessions - totals.failures, totals.failures);
    RemoveTree(tree.root);
    RemoveTree(out);
    return totals.failures ? 1 : 0;
}

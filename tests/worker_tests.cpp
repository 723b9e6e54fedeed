// The search thread against a real ResultsWindow, and the orderly exit during a search.
#include "test_support.h"
#include "resources/resource.h"

class WorkerTest : public SearchTest {
protected:
    bool Enabled(int id) const { return IsWindowEnabled(GetDlgItem(app.resultsWindow, id)) != 0; }
    std::string FolderText() const { return app.currentFolderText; }
};

// Records the button states that each list addition sees, and whether the
// list was last told to paint itself or not.
static WNDPROC originalListProc;
static int additions;
static int additionsWithButtonsEnabled;
static WPARAM lastRedraw;

static LRESULT CALLBACK WatchAdditions(HWND list, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == LB_ADDSTRING || message == LB_INSERTSTRING) {
        additions++;
        HWND results = GetParent(list);
        if (IsWindowEnabled(GetDlgItem(results, IDC_RESULTS_DELETE)) ||
            IsWindowEnabled(GetDlgItem(results, IDC_RESULTS_SAVE)))
            additionsWithButtonsEnabled++;
    }
    if (message == WM_ENABLE && wParam)
        RepaintSuspendedList();     // a status tick while the worker finishes
    if (message == WM_SETREDRAW)
        lastRedraw = wParam;
    return CallWindowProcA(originalListProc, list, message, wParam, lParam);
}

TEST_F(WorkerTest, RefillsTheListAndEndsIdle)
{
    std::string root = FreshFolder("worker");
    for (const char *f : { "zeta", "Alpha", "mid", "alpha2" }) {
        MakeFolder(root + "\\" + f);
        WriteBytes(root + "\\" + f + "\\thumbs.db", GenuineHeader(1000));
        WriteBytes(root + "\\" + f + "\\notes.txt", "x");
    }
    SendMessageA(List(), LB_ADDSTRING, 0, (LPARAM)"left over from the last search");
    EnableResultsControls(true);
    EnableWindow(List(), FALSE);
    app.stopRequested = 1;  // a stop confirmed after the last search ended
    originalListProc = (WNDPROC)SetWindowLongPtrA(List(), GWLP_WNDPROC, (LONG_PTR)WatchAdditions);
    additions = additionsWithButtonsEnabled = 0;

    CopyText(app.searchRoot, sizeof app.searchRoot, root.c_str());
    ASSERT_TRUE(StartSearchWorker());
    // Off before this thread has dispatched anything: no command can start on
    // a list that the worker is about to empty.
    EXPECT_FALSE(Enabled(IDC_RESULTS_DELETE));
    EXPECT_FALSE(Enabled(IDC_RESULTS_SAVE));
    WaitForWorker();
    SetWindowLongPtrA(List(), GWLP_WNDPROC, (LONG_PTR)originalListProc);

    std::vector<std::string> expected = {
        root + "\\Alpha\\THUMBS.DB", root + "\\alpha2\\THUMBS.DB",
        root + "\\mid\\THUMBS.DB", root + "\\zeta\\THUMBS.DB",
    };
    EXPECT_EQ(expected, Listed());
    EXPECT_EQ(4, additions);
    EXPECT_EQ(0, additionsWithButtonsEnabled) << "buttons must stay disabled during the walk";
    EXPECT_EQ("4 Files [0.00 MB]", SizeText());
    EXPECT_EQ("Idle.", FolderText());
    EXPECT_EQ("4 Files [THUMBS.DB] Found [of 8 Searched]", std::string(app.foundText));
    EXPECT_TRUE(Enabled(IDC_RESULTS_DELETE));
    EXPECT_TRUE(Enabled(IDC_RESULTS_SAVE));
    EXPECT_TRUE(Enabled(IDC_RESULTS_LIST));
    EXPECT_EQ(0, app.stopRequested);
    EXPECT_EQ(TRUE, lastRedraw) << "the list must paint itself once the search has ended";
    DWORD code = 0xdeadbeef;
    GetExitCodeThread(app.workerThread, &code);
    EXPECT_EQ(1u, code);
    EXPECT_FALSE(IsWorkerRunning());
    RemoveTree(root);

    // A match is appended only where the list itself would put it. Under a
    // Russian locale its code page reads the byte C0 as a Cyrillic letter,
    // after b; the list reads the texts through the ANSI code page: A grave.
    ASSERT_EQ(1252u, GetACP());
    SendMessageA(List(), LB_RESETCONTENT, 0, 0);
    SendMessageA(List(), LB_SETLOCALE, MAKELCID(MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT), SORT_DEFAULT), 0);
    AddListEntry(List(), "C:\\b\\THUMBS.DB");
    AddListEntry(List(), "C:\\\xC0\\THUMBS.DB");
    EXPECT_EQ((std::vector<std::string>{ "C:\\\xC0\\THUMBS.DB", "C:\\b\\THUMBS.DB" }), Listed());
}

TEST_F(WorkerTest, NothingFoundStillShowsTheWindow)
{
    std::string root = FreshFolder("empty");
    WriteBytes(root + "\\readme.txt", "x");
    SetWindowTextA(GetDlgItem(app.resultsWindow, IDC_RESULTS_SIZE), "7 Files [1.00 MB]");
    ShowWindow(app.resultsWindow, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(app.resultsWindow));

    RunSearch(root);

    EXPECT_TRUE(Listed().empty());
    EXPECT_EQ("0 Files [0.00 MB]", SizeText());
    EXPECT_EQ("Idle.", FolderText());
    EXPECT_TRUE(IsWindowVisible(app.resultsWindow));
    EXPECT_FALSE(IsIconic(app.resultsWindow));
    EXPECT_TRUE(Enabled(IDC_RESULTS_DELETE));
    RemoveTree(root);
}

TEST_F(WorkerTest, SecondSearchStartsFromZero)
{
    std::string root = FreshFolder("twice");
    WriteBytes(root + "\\thumbs.db", GenuineHeader(2000));
    RunSearch(root);
    RunSearch(root);
    EXPECT_EQ(1u, Listed().size());
    EXPECT_EQ(1, app.foundCount);
    EXPECT_EQ(1, app.searchedCount);
    EXPECT_EQ(2000u, app.totalBytes);
    RemoveTree(root);
}

TEST_F(WorkerTest, StopSearchAndQuitWaitsForTheWorker)
{
    std::string root = FreshFolder("large");
    for (int i = 0; i < 150; i++) {
        std::string folder = root + "\\f" + std::to_string(i);
        MakeFolder(folder);
        WriteBytes(folder + "\\thumbs.db", GenuineHeader(64));
    }
    CopyText(app.searchRoot, sizeof app.searchRoot, root.c_str());
    ASSERT_TRUE(StartSearchWorker());

    StopSearchAndQuit();

    EXPECT_FALSE(IsWorkerRunning());
    DWORD code = 0;
    GetExitCodeThread(app.workerThread, &code);
    EXPECT_EQ(1u, code);
    EXPECT_LT(Listed().size(), 150u) << "the stop came too late to matter";
    EXPECT_EQ("Idle.", FolderText());
    MSG msg;
    bool sawQuit = false;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
        sawQuit = sawQuit || msg.message == WM_QUIT;
    EXPECT_TRUE(sawQuit);
    RemoveTree(root);
}

// --- the exit question takes its own box, and only that ---------------------------

// Shows the minimised List window, as the search's end does, while the
// question's box is being made: as its buttons are created, before the box
// is activated.
static LRESULT CALLBACK ShowListAsTheBoxIsMade(int code, WPARAM, LPARAM lParam)
{
    char className[8] = "";
    HWND parent = code == HCBT_CREATEWND ? ((CBT_CREATEWNDA *)lParam)->lpcs->hwndParent : NULL;
    if (parent && parent != app.resultsWindow && GetClassNameA(parent, className, sizeof className) &&
        strcmp(className, "#32770") == 0 && IsIconic(app.resultsWindow))
        ShowWindow(app.resultsWindow, SW_SHOWNORMAL);
    return CallNextHookEx(NULL, code, 0, lParam);
}

TEST_F(SearchTest, ExitQuestionLeavesTheListWindowShownMeanwhile)
{
    app.exitConfirmed = 0;      // an earlier test's exit
    HWND owner = CreateWindowA("STATIC", "owner", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, NULL, NULL, NULL, NULL);
    HHOOK hook = SetWindowsHookExA(WH_CBT, ShowListAsTheBoxIsMade, NULL, GetCurrentThreadId());
    {
        BoxAnswerer answerer(IDNO);
        for (int question = 0; question < 2; question++) {
            ShowWindow(app.resultsWindow, SW_MINIMIZE);
            SetActiveWindow(owner);
            AnswerExitRequest(owner, WM_CLOSE);
            EXPECT_FALSE(IsIconic(app.resultsWindow)) << "not shown during question " << question + 1;
        }
        EXPECT_EQ(2u, answerer.Stop().size());
    }
    UnhookWindowsHookEx(hook);
    // Taken for a box, it would be subclassed; taken twice, it would call itself.
    EXPECT_EQ(nullptr, GetPropA(app.resultsWindow, "DrossweeperBoxProc"));
    SendMessageA(app.resultsWindow, WM_NULL, 0, 0);
    DestroyWindow(owner);
}

TEST(ResolveSearchRoot, FullPathsOrRefusal)
{
    std::string folder = FreshFolder("roots");
    char previous[MAX_PATH];
    GetCurrentDirectoryA(sizeof previous, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));
    struct { std::string text, root; } cases[] = {
        { "sub", folder + "\\sub" },
        { "", folder },
        { "\\elsewhere", folder.substr(0, 2) + "\\elsewhere" },     // the current drive
        { folder.substr(0, 2), folder.substr(0, 2) + "\\" },           // that drive, not the folder on it
        { "C:\\" + std::string(256, 'p'), "C:\\" + std::string(256, 'p') },      // 259 characters
    };
    for (auto &c : cases) {
        char root[MAX_PATH] = "garbage";
        EXPECT_EQ(ROOT_RESOLVED, ResolveSearchRoot(Widen(c.text).c_str(), root, sizeof root)) << c.text;
        EXPECT_EQ(c.root, root) << c.text;
    }
    // Too long, as typed or once made full: refused, the root untouched.
    for (std::string text : { "C:\\" + std::string(257, 'p'), std::string(259 - folder.size(), 'r') }) {
        char root[MAX_PATH] = "garbage";
        EXPECT_EQ(ROOT_TOO_LONG_PATH, ResolveSearchRoot(Widen(text).c_str(), root, sizeof root)) << text;
        EXPECT_STREQ("garbage", root);
    }
    char root[MAX_PATH];
    EXPECT_EQ(ROOT_INVALID_PATH, ResolveSearchRoot(L"  ", root, sizeof root));
    SetCurrentDirectoryA(previous);
    RemoveTree(folder);
}

static bool SameFolder(const std::wstring &a, const std::string &b)
{
    EntryIdentity first, second;
    return ReadEntryIdentity(a.c_str(), &first, NULL) && ReadEntryIdentity(Widen(b).c_str(), &second, NULL) &&
           first.volume == second.volume && first.index == second.index;
}

// A root that the code page cannot hold, typed beside its stand-in, or picked
// with a trailing dot beside its twin, is searched by a path that names it.
TEST(ResolveSearchRoot, TheFolderChosenNotItsStandIn)
{
    std::wstring folder = Widen(FreshFolder("wide-roots"));
    std::wstring polish = folder + L"\\\x0141\x00f3d\x017a", dotted = folder + L"\\Acme Inc.";
    for (const std::wstring &name : { polish, folder + L"\\L\x00f3dz", folder + L"\\Lodz", dotted, folder + L"\\Acme Inc" })
        ASSERT_TRUE(CreateDirectoryW(Verbatim(name).c_str(), NULL)) << Narrow(name);
    char root[MAX_PATH] = "garbage";
    ASSERT_EQ(ROOT_RESOLVED, ResolveSearchRoot(polish.c_str(), root, sizeof root));
    EXPECT_TRUE(SameFolder(polish, root)) << root;
    strcpy(root, "garbage");
    ASSERT_EQ(ROOT_RESOLVED, ChooseRootPath(dotted.c_str(), root, sizeof root));
    EXPECT_TRUE(SameFolder(Verbatim(dotted), root)) << root;
    // A name the code page cannot hold, with no short name to reach it by.
    strcpy(root, "garbage");
    EXPECT_EQ(ROOT_NOT_NAMEABLE, ResolveSearchRoot((folder + L"\\\x0141 missing").c_str(), root, sizeof root));
    EXPECT_STREQ("garbage", root);
    RemoveTreeW(folder);
}

// --- allocation failure: the message, the stop, and the request to end --------

static void *FailingAllocation(size_t)
{
    return NULL;
}

static bool fatalPosted;

static LRESULT CALLBACK FakeMainWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SEARCH_FATAL)
        fatalPosted = true;
    return DefWindowProcA(window, message, wParam, lParam);
}

static BOOL CALLBACK FindMessageBox(HWND window, LPARAM found)
{
    char className[32];
    DWORD process = 0;
    GetClassNameA(window, className, sizeof className);
    GetWindowThreadProcessId(window, &process);
    if (strcmp(className, "#32770") == 0 && process == GetCurrentProcessId() &&
        GetWindowThreadProcessId(window, NULL) != GetCurrentThreadId()) {
        *(HWND *)found = window;
        return FALSE;
    }
    return TRUE;
}

TEST_F(WorkerTest, AllocationFailureEndsSearchAndAsksToQuit)
{
    std::string root = FreshFolder("nomemory");
    for (const char *f : { "a", "b", "c" }) {
        MakeFolder(root + "\\" + f);
        WriteBytes(root + "\\" + f + "\\thumbs.db", GenuineHeader());
    }
    WNDCLASSA wc = {};
    wc.lpfnWndProc = FakeMainWindow;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "FakeMainWindow";
    RegisterClassA(&wc);
    app.mainWindow = CreateWindowA("FakeMainWindow", "main", 0, 0, 0, 10, 10, NULL, NULL, wc.hInstance, NULL);
    fatalPosted = false;
    AllocateHeaderBuffer = FailingAllocation;
    CopyText(app.searchRoot, sizeof app.searchRoot, root.c_str());
    ASSERT_TRUE(StartSearchWorker());

    // The message box belongs to a thread of the walk; answer it from here.
    HWND box = NULL;
    for (int i = 0; i < 500 && !box; i++) {
        PumpPendingMessages();
        EnumWindows(FindMessageBox, (LPARAM)&box);
        Sleep(10);
    }
    ASSERT_TRUE(box != NULL) << "no message box";
    EXPECT_EQ(ProductTitle, WindowText(box));
    EXPECT_EQ("ERROR: Could not allocate memory.\n\nThe application will now terminate.",
              WindowText(GetDlgItem(box, 0xFFFF)));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    WaitForWorker();
    AllocateHeaderBuffer = malloc;
    HWND second = NULL;
    EnumWindows(FindMessageBox, (LPARAM)&second);
    EXPECT_TRUE(second == NULL) << "the message once, however many walkers failed";

    EXPECT_TRUE(Listed().empty()) << "the walk must stop at the failure";
    EXPECT_EQ("Idle.", FolderText());
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
    EXPECT_TRUE(fatalPosted);
    DestroyWindow(app.mainWindow);
    app.mainWindow = NULL;
    RemoveTree(root);
}

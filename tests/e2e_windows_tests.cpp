// The MainWindow and the ResultsWindow, driven through the real program.
#include "e2e_support.h"
#include "resources/resource.h"

#include <algorithm>
#include <set>

static const char STOP_QUESTION[] = "Stop the current search?\n\nContinue?";

// The manifest the program file carries, read as Windows reads it at start.
static std::string ProgramManifest(const char *exe)
{
    std::string text;
    HMODULE image = LoadLibraryExA(exe, NULL, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!image)
        return text;
    HRSRC found = FindResourceA(image, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    if (found)
        text.assign((const char *)LockResource(LoadResource(image, found)), SizeofResource(image, found));
    FreeLibrary(image);
    return text;
}

TEST_F(AppTest, StartUpState)
{
    EXPECT_EQ("C:\\", ui::ControlText(main, IDC_MAIN_FOLDER));
    // The first tick replaces the template texts with the empty progress texts.
    EXPECT_EQ("", ui::WaitForControlText(main, IDC_MAIN_FOLDER_TEXT, "", 5000));
    EXPECT_EQ("", ui::ControlText(main, IDC_MAIN_FOUND_TEXT));
    EXPECT_EQ("Information", ui::ControlText(main, IDC_MAIN_INFO_GROUP));
    EXPECT_EQ("", ui::ControlText(main, IDC_MAIN_FOLDER_GROUP));
    EXPECT_EQ(PRODUCT_TITLE, ui::ControlText(main, IDC_MAIN_APPNAME));
    EXPECT_EQ("https://quillmoor.example/software/drossweeper-thumbs.db", ui::ControlText(main, IDC_MAIN_SITE));
    DWORD selection = (DWORD)SendMessageW(GetDlgItem(main, IDC_MAIN_SITE), EM_GETSEL, 0, 0);
    EXPECT_EQ(0u, LOWORD(selection));
    EXPECT_EQ(ui::ControlText(main, IDC_MAIN_SITE).size(), HIWORD(selection));
    EXPECT_EQ(std::string("\xA9 2026 Quillmoor. All rights reserved."), ui::ControlText(main, IDC_MAIN_COPYRIGHT));

    EXPECT_FALSE(ui::Enabled(results, IDC_RESULTS_DELETE));
    EXPECT_FALSE(ui::Enabled(results, IDC_RESULTS_SAVE));
    EXPECT_TRUE(ui::Enabled(results, IDC_RESULTS_LIST));
    EXPECT_EQ("0 Files [0.00 MB]", ui::ControlText(results, IDC_RESULTS_SIZE));
    EXPECT_TRUE(Listed().empty());
    EXPECT_EQ(3000, SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0));
    // The List window's close command is grey; its window keeps its size.
    HMENU system = GetSystemMenu(results, FALSE);
    EXPECT_TRUE(GetMenuState(system, SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_TRUE(ui::IsRunning(program));

    // It runs as the user who started it and is never virtualized: a file it
    // cannot write where the user asked fails, rather than landing in the
    // user's VirtualStore while the program says it was saved. The classic
    // controls stay (no Common-Controls 6 dependency).
    std::string manifest = ProgramManifest(getenv("DROSS_EXE"));
    EXPECT_NE(std::string::npos, manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"))
        << manifest;
    EXPECT_EQ(std::string::npos, manifest.find("Common-Controls")) << manifest;
}

TEST_F(AppTest, GoAnsweredNoStartsNothing)
{
    std::string root = FreshFolder("e2e-no");
    WriteBytes(root + "\\thumbs.db", GenuineHeader());
    ui::SetControlText(main, IDC_MAIN_FOLDER, root);
    ui::Click(main, IDC_MAIN_GO);
    ui::Box box = ExpectBox(GoQuestion);
    EXPECT_TRUE(box.hasYes && box.hasNo && !box.hasOk);
    ASSERT_TRUE(ui::Answer(box, IDNO));
    ui::Pause(600);     // two ticks
    EXPECT_EQ("", ui::ControlText(main, IDC_MAIN_FOLDER_TEXT));
    EXPECT_EQ("Information", ui::ControlText(main, IDC_MAIN_INFO_GROUP));
    EXPECT_TRUE(Listed().empty());
    EXPECT_FALSE(ui::Enabled(results, IDC_RESULTS_SAVE));
    // STOP with no search running says nothing.
    ui::Click(main, IDC_MAIN_STOP);
    EXPECT_TRUE(ui::NoBoxWithin(program, 700));
    // A root longer than a path can be is refused, not cut to one that fits.
    ui::SetControlText(main, IDC_MAIN_FOLDER, root + "\\" + std::string(300, 'x'));
    ui::Click(main, IDC_MAIN_GO);
    AnswerBox("ERROR: Path too long!\n\nA folder path holds at most 259 characters.", IDOK);
    ui::SetControlText(main, IDC_MAIN_FOLDER, "  ");
    ui::Click(main, IDC_MAIN_GO);
    AnswerBox("ERROR: Invalid path!\n\nThe text in the folder field is not a folder path.", IDOK);
    EXPECT_TRUE(ui::NoBoxWithin(program, 700));
    RemoveTree(root);
}

TEST_F(AppTest, GoListsExactlyTheGenuineFiles)
{
    std::string root = FreshFolder("e2e-go");
    for (const char *f : { "b", "A", "c", "ro", "fake", "sub" })
        MakeFolder(root + "\\" + f);
    MakeFolder(root + "\\sub\\deeper");
    WriteBytes(root + "\\b\\Thumbs.db", GenuineHeader(12345));
    WriteBytes(root + "\\A\\thumbs.db", GenuineHeader(1000));
    WriteBytes(root + "\\sub\\deeper\\THUMBS.DB", GenuineHeader(2000));
    WriteBytes(root + "\\ro\\thumbs.db", GenuineHeader());
    MakeReadOnly(root + "\\ro\\thumbs.db");
    WriteBytes(root + "\\fake\\thumbs.db", "not a compound file");
    WriteBytes(root + "\\c\\thumbs.db.bak", GenuineHeader());
    // Minimised, the List window is brought back when the search ends.
    ShowWindow(results, SW_MINIMIZE);
    ui::Pause(200);

    StartSearch(root);
    WaitForIdle();

    std::vector<std::string> expected = {
        root + "\\A\\THUMBS.DB", root + "\\b\\THUMBS.DB", root + "\\sub\\deeper\\THUMBS.DB",
    };
    EXPECT_EQ(expected, Listed());
    EXPECT_EQ("3 Files [0.01 MB]", ui::ControlText(results, IDC_RESULTS_SIZE));
    EXPECT_EQ("3 Files [THUMBS.DB] Found [of 6 Searched]",
              ui::WaitForControlText(main, IDC_MAIN_FOUND_TEXT, "3 Files [THUMBS.DB] Found [of 6 Searched]", 2000));
    EXPECT_TRUE(ui::Enabled(results, IDC_RESULTS_DELETE));
    EXPECT_TRUE(ui::Enabled(results, IDC_RESULTS_SAVE));
    EXPECT_TRUE(ui::Enabled(results, IDC_RESULTS_LIST));
    EXPECT_TRUE(IsWindowVisible(results));
    EXPECT_FALSE(IsIconic(results));
    EXPECT_EQ("Information", ui::WaitForControlText(main, IDC_MAIN_INFO_GROUP, "Information", 2000));
    EXPECT_EQ("", ui::WaitForControlText(main, IDC_MAIN_FOLDER_GROUP, "", 2000));
    RemoveTree(root);
}

// The captions that a group box shows while a search runs, in order of change
// from `last`.
static std::vector<std::string> SpinnerCaptions(HWND main, int id, std::string last, size_t count, DWORD timeoutMs)
{
    std::vector<std::string> seen;
    DWORD start = GetTickCount();
    while (seen.size() < count && GetTickCount() - start < timeoutMs) {
        std::string now = ui::ControlText(main, id);
        if (now != last)
            seen.push_back(now);
        last = now;
        ui::Pause(15);
    }
    return seen;
}

static const char *const SPINNER[4] = { "\\", "|", "/", "|" };

// The phase at which `seen` follows the spinner's cycle step by step, or -1.
static int CyclePhase(const std::vector<std::string> &seen, const std::string &prefix)
{
    for (int phase = 0; phase < 4; phase++) {
        size_t i = 0;
        while (i < seen.size() && seen[i] == prefix + SPINNER[(phase + i) % 4])
            i++;
        if (i == seen.size())
            return phase;
    }
    return -1;
}

TEST_F(AppTest, SpinnerTurnsAndContinuesInTheNextSearch)
{
    // The first tick can come before StartSearch returns (the box closes, the
    // search starts, the driver is slow to look), so the cycle may be met at
    // any phase; what matters is that it turns one step a tick.
    std::string big = HostTree("big");
    StartSearch(big);
    std::vector<std::string> info = SpinnerCaptions(main, IDC_MAIN_INFO_GROUP, "Information", 5, 10000);
    ASSERT_EQ(5u, info.size());
    int phase = CyclePhase(info, "Information ");
    ASSERT_GE(phase, 0) << testing::PrintToString(info);
    // The same tick sets the folder caption just after; the next comes 250 ms later.
    std::string symbol = SPINNER[(phase + 4) % 4];
    EXPECT_EQ("Folder " + symbol, ui::WaitForControlText(main, IDC_MAIN_FOLDER_GROUP, "Folder " + symbol, 150));
    std::vector<std::string> more = SpinnerCaptions(main, IDC_MAIN_INFO_GROUP, ui::ControlText(main, IDC_MAIN_INFO_GROUP), 1, 2000);
    ASSERT_EQ(1u, more.size());
    EXPECT_EQ("Information " + std::string(SPINNER[(phase + 5) % 4]), more[0]);
    ui::Click(main, IDC_MAIN_STOP);
    AnswerBox(STOP_QUESTION, IDYES);
    WaitForIdle();
    EXPECT_EQ("Information", ui::WaitForControlText(main, IDC_MAIN_INFO_GROUP, "Information", 2000));
    EXPECT_EQ("", ui::WaitForControlText(main, IDC_MAIN_FOLDER_GROUP, "", 2000));
    size_t partial = Listed().size();
    EXPECT_GT(partial, 0u);
    EXPECT_LT(partial, (size_t)BIG_TREE_MATCHES) << "STOP should end the search early";

    // A new search turns through the same cycle. Where it resumes depends on
    // how many ticks the STOP question was open, so a restart at backslash
    // cannot be told from a resume here.
    StartSearch(big);
    std::vector<std::string> second = SpinnerCaptions(main, IDC_MAIN_INFO_GROUP, "Information", 3, 10000);
    ASSERT_EQ(3u, second.size());
    EXPECT_GE(CyclePhase(second, "Information "), 0) << testing::PrintToString(second);
    ui::Click(main, IDC_MAIN_STOP);
    AnswerBox(STOP_QUESTION, IDYES);
    WaitForIdle();
}

TEST_F(AppTest, GoDuringSearchIsRefusedAndStopKeepsThePartialList)
{
    StartSearch(HostTree("big"));
    ui::Click(main, IDC_MAIN_GO);
    AnswerBox("Stop the current search to start another.", IDOK);
    // STOP answered No: the search goes on.
    ui::Click(main, IDC_MAIN_STOP);
    AnswerBox(STOP_QUESTION, IDNO);
    EXPECT_NE("Idle.", ui::ControlText(main, IDC_MAIN_FOLDER_TEXT));
    EXPECT_FALSE(ui::Enabled(results, IDC_RESULTS_SAVE));
    ui::Click(main, IDC_MAIN_STOP);
    AnswerBox(STOP_QUESTION, IDYES);
    WaitForIdle();
    std::vector<std::string> listed = Listed();
    EXPECT_GT(listed.size(), 0u);
    EXPECT_LT(listed.size(), (size_t)BIG_TREE_MATCHES);
    char size[64];
    snprintf(size, sizeof size, "%u Files [%.2f MB]", (unsigned)listed.size(), listed.size() * 512 / 1048576.0);
    EXPECT_EQ(size, ui::ControlText(results, IDC_RESULTS_SIZE));
    EXPECT_TRUE(ui::Enabled(results, IDC_RESULTS_DELETE));
}

TEST_F(AppTest, ExitQuestionFromEveryPlace)
{
    // The close box, the File menu's Exit and the List window, each answered No.
    PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    AnswerBox(ExitQuestion, IDNO);
    ui::Command(main, IDM_EXIT);
    AnswerBox(ExitQuestion, IDNO);
    PostMessageW(results, WM_CLOSE, 0, 0);
    AnswerBox(ExitQuestion, IDNO);
    ui::Pause(300);
    EXPECT_TRUE(ui::IsRunning(program));
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_TRUE(IsWindowVisible(results));

    // Yes from the List window ends the whole program, with exit code 1.
    ExitFrom(results);
}

TEST_F(AppTest, MenuExitAnsweredYes)
{
    ui::Command(main, IDM_EXIT);
    AnswerBox(ExitQuestion, IDYES);
    EXPECT_EQ(1u, ExitCode());
}

TEST_F(AppTest, ExitDuringSearchWaitsForTheWorker)
{
    StartSearch(HostTree("big"));
    ui::Pause(300);
    ASSERT_NE("Idle.", ui::ControlText(main, IDC_MAIN_FOLDER_TEXT));
    // Clicks queued behind the Yes are taken while the exit waits for the
    // search: no dialog may open and hold the program's end.
    ExitFrom(main, { IDC_MAIN_DONATE, IDM_LINKS, IDC_MAIN_BROWSE, IDM_OPEN_FOLDER });
}

TEST_F(AppTest, EndOfSessionAnsweredNoIsRefused)
{
    // The query is sent, as Windows does; its answer comes back once the question is answered.
    struct Query { HWND window; DWORD_PTR result; } query = { main, 0xdeadbeef };
    HANDLE sender = CreateThread(NULL, 0, [](LPVOID p) -> DWORD {
        Query *q = (Query *)p;
        SendMessageTimeoutW(q->window, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 20000, &q->result);
        return 0;
    }, &query, 0, NULL);
    AnswerBox(ExitQuestion, IDNO);
    WaitForSingleObject(sender, 10000);
    CloseHandle(sender);
    EXPECT_EQ(0u, query.result) << "a refusal answers 0";
    EXPECT_TRUE(ui::IsRunning(program));
}

TEST_F(AppTest, EscapeAndEnterDoNothing)
{
    HWND field = GetDlgItem(main, IDC_MAIN_FOLDER);
    ui::PostKey(field, VK_ESCAPE);
    ui::PostKey(field, VK_RETURN);
    EXPECT_TRUE(ui::NoBoxWithin(program, 800));
    EXPECT_TRUE(ui::IsRunning(program));
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_EQ("", ui::ControlText(main, IDC_MAIN_FOLDER_TEXT));
}

TEST_F(AppTest, ListShowsWhatItHoldsWhileASearchRuns)
{
    // One above the other, so that the screen shows the whole list.
    RECT m;
    SetWindowPos(main, NULL, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    GetWindowRect(main, &m);
    SetWindowPos(results, NULL, 0, m.bottom, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    StartSearch(HostTree("big"));
    // The walk finds the tree in list order: later entries are appended below
    // the rows that will show, and the status tick would never paint these.
    for (DWORD start = GetTickCount(); SendMessageW(list, LB_GETCOUNT, 0, 0) < 300 && GetTickCount() - start < 30000;)
        ui::Pause(10);
    // Three clicks in the scroll bar's trough, a click on a row and a
    // Shift+click on another, each shown within a status tick at the latest.
    for (int i = 0; i < 3; i++)
        PostMessageW(list, WM_VSCROLL, SB_PAGEDOWN, 0);
    int height = (int)SendMessageW(list, LB_GETITEMHEIGHT, 0, 0);
    ui::ClickAt(list, 20, 2 * height + 1);
    ui::ClickAt(list, 20, 5 * height + 1, MK_SHIFT);
    SpinnerCaptions(main, IDC_MAIN_INFO_GROUP, ui::ControlText(main, IDC_MAIN_INFO_GROUP), 2, 5000);
    LRESULT top = SendMessageW(list, LB_GETTOPINDEX, 0, 0);
    std::vector<DWORD> during = ui::ScreenPixels(list);
    ASSERT_FALSE(ui::Enabled(results, IDC_RESULTS_SAVE)) << "the search ended before the list was looked at";
    ASSERT_EQ((std::vector<int>{ (int)top + 2, (int)top + 3, (int)top + 4, (int)top + 5 }), ui::ListSelection(list));

    // The same rows once the search has ended, row by row but for the caret's,
    // which has the focus rectangle or not. The search runs to its end: one
    // stopped by STOP may have ended on its own before the click. It takes
    // seconds; the limit stays under the suite's own, so that a search that
    // never ends fails here, by this test's name.
    WaitForIdle(120000);
    SendMessageW(list, LB_SETTOPINDEX, top, 0);
    RedrawWindow(list, NULL, NULL, RDW_INVALIDATE | RDW_ERASE);
    std::vector<DWORD> after = ui::ScreenPixels(list);
    RECT client;
    GetClientRect(list, &client);
    size_t rowPixels = (size_t)height * client.right, caret = SendMessageW(list, LB_GETCARETINDEX, 0, 0) - top;
    ASSERT_EQ(after.size(), during.size());
    ASSERT_LT((size_t)std::count(after.begin(), after.end(), after[0]), after.size()) << "no list on the screen";
    int wrong = 0;
    for (size_t r = 0; (r + 1) * rowPixels <= after.size(); r++)
        wrong += r != caret && !std::equal(during.begin() + r * rowPixels, during.begin() + (r + 1) * rowPixels,
                                           after.begin() + r * rowPixels);
    EXPECT_EQ(0, wrong) << "rows that showed other entries during the search";
}

// What a search could not look at, counted and shown, on the tree of
// make_trees.sh, run by tools/run_as_nobody.sh as a user without rights.
class UnsearchedTest : public AppTest {
    void SetUp() override
    {
        if (!getenv("DROSS_UNSEARCHED_TREE"))
            GTEST_SKIP() << "run by tools/run_as_nobody.sh";
        AppTest::SetUp();
    }
};

// The path by which the walk reaches a folder whose own path it cannot use.
static std::string ShortPath(const std::wstring &folder, bool lastOnly)
{
    wchar_t shortPath[MAX_PATH];
    char shown[MAX_PATH] = "";
    if (GetShortPathNameW(folder.c_str(), shortPath, MAX_PATH))
        WideCharToMultiByte(CP_ACP, 0, lastOnly ? wcsrchr(shortPath, L'\\') + 1 : shortPath, -1, shown, MAX_PATH, NULL,
                            NULL);
    return shown;
}

TEST_F(UnsearchedTest, SaysWhatItCouldNotSearch)
{
    std::string tree = getenv("DROSS_UNSEARCHED_TREE");
    bool all = getenv("DROSS_READS_EVERYTHING") != NULL;    // no permission case: root could not become nobody
    std::wstring wideTree(tree.begin(), tree.end());
    WIN32_FIND_DATAA deep;
    HANDLE found = FindFirstFileA((tree + "\\d*").c_str(), &deep);
    ASSERT_NE(INVALID_HANDLE_VALUE, found);
    FindClose(found);
    StartSearch(tree);
    WaitForIdle();
    // The folder named outside the code page, and the cache whose path is
    // 260 characters, are reached through short names.
    std::set<std::string> listed = {
        tree + "\\" + ShortPath(wideTree + L"\\b-\x041f\x0430\x043f\x043a\x0430", true) + "\\THUMBS.DB",
        ShortPath(wideTree + L"\\" + std::wstring(deep.cFileName, deep.cFileName + strlen(deep.cFileName)), false) +
            "\\THUMBS.DB",
        tree + "\\e-readable\\THUMBS.DB",
    };
    if (all) {
        listed.insert(tree + "\\a-no-permission\\THUMBS.DB");
        listed.insert(tree + "\\c-unreadable\\THUMBS.DB");
    }
    std::vector<std::string> shown = Listed();
    EXPECT_EQ(listed, std::set<std::string>(shown.begin(), shown.end()));
    EXPECT_EQ(listed.size(), shown.size());
    EXPECT_EQ(all ? "5 Files [THUMBS.DB] Found [of 5 Searched]"
                  : "3 Files [THUMBS.DB] Found [of 4 Searched]\n[1 Folders, 1 Files Not Searched]",
              ui::ControlText(main, IDC_MAIN_FOUND_TEXT));
    EXPECT_EQ(all ? "Idle." : "Idle.\nNot Searched: '" + tree + "\\a-no-permission' [Access Denied]",
              ui::ControlText(main, IDC_MAIN_FOLDER_TEXT));
}

// Under code page 932 a path of Japanese names passes 259 bytes long before
// 259 characters (see tests/CMakeLists.txt, which runs these in that code page).
class CodePage932Test : public AppTest {
    void SetUp() override
    {
        if (!getenv("DROSS_CODE_PAGE_932"))
            GTEST_SKIP() << "run in code page 932 by its own test entry";
        ASSERT_EQ(932u, GetACP()) << "LANG=ja_JP.UTF-8 did not give code page 932: is the locale generated?";
        AppTest::SetUp();
    }
};

TEST_F(CodePage932Test, PathsPastTheLimitAreReachedThroughShortNames)
{
    // Three levels of fifty double-byte characters; the first level's name
    // ends in a second byte 0x5C. A cache and the user's own file on each.
    const char *program = getenv("DROSS_PROGRAM");
    std::string root = FreshFolder((std::string("cp932-") + (program ? program : "")).c_str());
    std::wstring folder = Widen(root);
    for (wchar_t letter : { L'\x8868', L'\x5199', L'\x771F' })
        PutCacheBesideOwnFile(folder += L"\\" + std::wstring(50, letter));
    ASSERT_GT(Narrow(caches[2]).size(), 259u);
    StartSearch(root);
    WaitForIdle();
    std::vector<std::string> listed = Listed();
    ASSERT_EQ(3u, listed.size()) << ui::ControlText(main, IDC_MAIN_FOLDER_TEXT);
    // The two that fit are listed by their own names, the third by short ones.
    std::set<std::string> longNames = { Narrow(caches[0].substr(0, caches[0].size() - 9)) + "THUMBS.DB",
                                        Narrow(caches[1].substr(0, caches[1].size() - 9)) + "THUMBS.DB" };
    int byLongName = 0;
    for (const std::string &path : listed) {
        EXPECT_LE(path.size(), 259u) << path;
        EXPECT_TRUE(FileExists(path)) << path;
        byLongName += (int)longNames.count(path);
    }
    EXPECT_EQ(2, byLongName);
    DeleteAllListedKeepingOwnFiles();
    RemoveTree(root);
}

// --- every listed path names the very cache it was listed for -----------------------

// Which of the caches a listed path names, told by file identity; -1 for none.
static int CacheNamedBy(const std::vector<std::wstring> &caches, const std::string &path)
{
    EntryIdentity listed, cache;
    if (!ReadEntryIdentity(Widen(path).c_str(), &listed, NULL))
        return -1;
    for (size_t i = 0; i < caches.size(); i++) {
        if (ReadEntryIdentity(Verbatim(caches[i]).c_str(), &cache, NULL) && cache.volume == listed.volume &&
            cache.index == listed.index)
            return (int)i;
    }
    return -1;
}

// The caches from `first` on, each named by exactly one listed path within 259 bytes.
static void ExpectEachCacheListedOnce(const std::vector<std::wstring> &caches, size_t first,
                                      const std::vector<std::string> &listed)
{
    std::set<int> named;
    for (const std::string &path : listed) {
        EXPECT_LE(path.size(), 259u) << path;
        int cache = CacheNamedBy(caches, path);
        EXPECT_GE(cache, (int)first) << path << " names none of this search's caches";
        named.insert(cache);
    }
    EXPECT_EQ(caches.size() - first, named.size());
    EXPECT_EQ(caches.size() - first, listed.size());
}

TEST_F(AppTest, EveryPathNamesTheFolderTheUserChose)
{
    const char *program = getenv("DROSS_PROGRAM");
    std::wstring top = Widen(FreshFolder((std::string("names-") + (program ? program : "")).c_str()));
    // A root typed outside the code page, beside its stand-in ("L\xf3dz" in
    // code page 1252), which holds a cache of its own.
    std::wstring root = top + L"\\\x0141\x00f3\x0064\x017a", standIn = top + L"\\L\x00f3\x0064z";
    ASSERT_TRUE(CreateDirectoryW(root.c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryW(standIn.c_str(), NULL));
    WriteBytesW(standIn + L"\\thumbs.db", GenuineHeader(600));
    // Names that path parsing reads as their twins.
    for (const wchar_t *name : { L"Acme Inc.", L"Acme Inc", L"Notes ", L"Notes" })
        PutCacheBesideOwnFile(root + L"\\" + name);
    SendMessageW(GetDlgItem(main, IDC_MAIN_FOLDER), WM_SETTEXT, 0, (LPARAM)root.c_str());
    ui::Click(main, IDC_MAIN_GO);
    AnswerBox(GoQuestion, IDYES);
    ui::Sync(main);
    WaitForIdle();
    // The field shows the path searched: one that names the root itself.
    EntryIdentity typed, shown;
    ASSERT_TRUE(ReadEntryIdentity(root.c_str(), &typed, NULL));
    ASSERT_TRUE(ReadEntryIdentity(Widen(ui::ControlText(main, IDC_MAIN_FOLDER)).c_str(), &shown, NULL));
    EXPECT_EQ(typed.index, shown.index) << ui::ControlText(main, IDC_MAIN_FOLDER);
    ExpectEachCacheListedOnce(caches, 0, Listed());
    EXPECT_EQ("4 Files [THUMBS.DB] Found [of 8 Searched]", ui::ControlText(main, IDC_MAIN_FOUND_TEXT));
    DeleteAllListedKeepingOwnFiles();
    EXPECT_TRUE(FileExists(Narrow(standIn) + "\\thumbs.db")) << "the stand-in folder's cache was deleted";

    // Folders whose own paths take 249, 250, 258 and 259 bytes: the last two
    // leave no room for a listing pattern, the last three none for their cache.
    std::wstring parent = top + L"\\" + std::wstring(199 - top.size(), L'p');
    ASSERT_TRUE(CreateDirectoryW(parent.c_str(), NULL));
    for (size_t length : { 249, 250, 258, 259 })
        PutCacheBesideOwnFile(parent + L"\\" + std::wstring(length - parent.size() - 1, L'f'));
    StartSearch(Narrow(parent));
    WaitForIdle();
    ExpectEachCacheListedOnce(caches, 4, Listed());
    EXPECT_EQ("4 Files [THUMBS.DB] Found [of 8 Searched]", ui::ControlText(main, IDC_MAIN_FOUND_TEXT));
    DeleteAllListedKeepingOwnFiles();
    RemoveTreeW(top);
}

// Two file systems number their files alike: a cache reached through a link
// onto the second is another file than the first's with the same number
// (see make_trees.sh).
TEST_F(AppTest, ACacheOnAnotherFileSystemIsNotTakenForOneListedBefore)
{
    std::string tree = ProgramTree("volumes");
    if (FileExists(tree + "\\no-mounts"))
        GTEST_SKIP() << "nothing could be mounted here: SameListedFile's own test checks the decision";
    caches = { Widen(tree + "\\root\\first\\d\\thumbs.db"), Widen(tree + "\\second\\d\\thumbs.db") };
    ownFiles = { Widen(tree + "\\root\\first\\d\\photo.jpg"), Widen(tree + "\\second\\d\\photo.jpg") };
    StartSearch(tree + "\\root");
    WaitForIdle();
    EXPECT_EQ(std::vector<std::string>({ tree + "\\root\\first\\d\\THUMBS.DB", tree + "\\root\\link\\d\\THUMBS.DB" }),
              Listed());
    DeleteAllListedKeepingOwnFiles();
}

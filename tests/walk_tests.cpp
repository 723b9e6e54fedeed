// The folder walk: path joining, name and header tests, and walks of real trees.
#include "test_support.h"
#include "resources/resource.h"

#include <algorithm>
#include <set>

// --- pure logic ---------------------------------------------------------------

TEST(JoinPath, JoinsLikePathAddBackslash)
{
    struct { const char *folder, *name, *expected; } cases[] = {
        { "C:\\", "Windows", "C:\\Windows" },
        { "C:\\Data", "Files", "C:\\Data\\Files" },
        { "C:\\Data\\", "x", "C:\\Data\\x" },
        { "", "THUMBS.DB", "THUMBS.DB" },
        { "C:\\Data", "*", "C:\\Data\\*" },
    };
    for (auto &c : cases) {
        char out[MAX_PATH] = "garbage";
        EXPECT_TRUE(JoinPath(out, sizeof out, c.folder, c.name)) << c.folder;
        EXPECT_STREQ(c.expected, out) << c.folder << " + " << c.name;
    }
}

TEST(JoinPath, RefusesRatherThanCuts)
{
    std::string folder(249, 'f');
    char out[MAX_PATH];
    EXPECT_TRUE(JoinPath(out, sizeof out, folder.c_str(), "THUMBS.DB"));  // 259 characters
    EXPECT_EQ(259u, strlen(out));
    folder += 'g';
    strcpy(out, "garbage");
    EXPECT_FALSE(JoinPath(out, sizeof out, folder.c_str(), "THUMBS.DB")); // 260 would not fit
    EXPECT_STREQ("garbage", out);
}

// Names pass only in their exact form: a best-fit stand-in or a '?' would
// name another file, or none.
TEST(NameInCodePage, HoldsOnlyExactNames)
{
    char out[2 * MAX_PATH];
    EXPECT_TRUE(NameInCodePage(L"Photos 2019", out, sizeof out));
    EXPECT_STREQ("Photos 2019", out);
    EXPECT_FALSE(NameInCodePage(L"a?b", out, sizeof out));                 // a pattern, under wine
    EXPECT_FALSE(NameInCodePage(L"a*b", out, sizeof out));
    EXPECT_FALSE(NameInCodePage(L"\x0142", out, sizeof out));            // l with stroke: best fit "l"
    EXPECT_FALSE(NameInCodePage(L"\xFF21", out, sizeof out));            // full-width A: best fit "A"
    EXPECT_FALSE(NameInCodePage(L"\x043f\x0430\x043f\x043a\x0430", out, sizeof out));
    EXPECT_FALSE(NameInCodePage(L"\xD83D\xDCF7 2019", out, sizeof out)); // an emoji
    EXPECT_FALSE(NameInCodePage(L"abc", out, 3));                         // no room: refused, not cut
    // Names that Windows would parse as another entry, or as none.
    for (const wchar_t *name : { L"Acme Inc.", L"Notes ", L".", L"..", L"\xe9?x", L"\x043f*", L"a\x0142|b" })
        EXPECT_FALSE(NameInCodePage(name, out, sizeof out)) << Narrow(name);
    EXPECT_TRUE(NameInCodePage(L".profile", out, sizeof out));
    EXPECT_FALSE(NameInCodePage(L"\x212a", out, sizeof out));            // Kelvin sign: best fit "K"
    if (GetACP() == 1252) {
        EXPECT_TRUE(NameInCodePage(L"caf\xe9", out, sizeof out));
        EXPECT_STREQ("caf\xe9", out);
    }
    if (GetACP() == 932) {
        EXPECT_TRUE(NameInCodePage(L"\x8868", out, sizeof out));          // second byte 0x5C
        EXPECT_STREQ("\x95\x5c", out);
    }
}

// How an entry is reached: by its own name, else by its short name, else why not.
TEST(NameEntryPath, FallsBackToTheShortNameOrSaysWhy)
{
    char out[MAX_PATH];
    EXPECT_EQ(nullptr, NameEntryPath(out, sizeof out, "C:\\D", L"Fotos", L""));
    EXPECT_STREQ("C:\\D\\Fotos", out);
    EXPECT_EQ(nullptr, NameEntryPath(out, sizeof out, "C:\\D", L"\x0142", L"8D1E~1"));
    EXPECT_STREQ("C:\\D\\8D1E~1", out);
    strcpy(out, "garbage");
    EXPECT_STREQ(NAME_NOT_IN_CODE_PAGE, NameEntryPath(out, sizeof out, "C:\\D", L"\x0142", L""));
    EXPECT_STREQ("garbage", out);
    std::string deep = "C:\\" + std::string(245, 'x');     // 248: a short name fits, a long one not
    std::wstring longName(20, L'n');
    EXPECT_EQ(nullptr, NameEntryPath(out, sizeof out, deep.c_str(), longName.c_str(), L"NNNNNN~1"));
    EXPECT_EQ(deep + "\\NNNNNN~1", out);
    EXPECT_STREQ(PATH_TOO_LONG, NameEntryPath(out, sizeof out, deep.c_str(), longName.c_str(), L""));
    EXPECT_STREQ(PATH_TOO_LONG, NameEntryPath(out, sizeof out, (deep + "yyyyyy").c_str(), L"\x0142", L"8D1E~1"));
    // A trailing dot is reached through the short name, and says which.
    bool byShortName = false;
    EXPECT_EQ(nullptr, NameEntryPath(out, sizeof out, "C:\\D", L"Acme Inc.", L"ACME~M4Z", &byShortName));
    EXPECT_STREQ("C:\\D\\ACME~M4Z", out);
    EXPECT_TRUE(byShortName);
    EXPECT_STREQ(INVALID_NAME, NameEntryPath(out, sizeof out, "C:\\D", L"Acme Inc.", L""));
    // The short name's own reason where it is what failed.
    EXPECT_STREQ(NAME_NOT_IN_CODE_PAGE, NameEntryPath(out, sizeof out, "C:\\D", L"Notes ", L"\x0142~1"));
    EXPECT_STREQ(NAME_NOT_IN_CODE_PAGE, NameEntryPath(out, sizeof out, "C:\\D", L"\x0142\x0142", L"\x0142~1"));
}

// Two file systems below one wine drive share the volume's serial and may
// number their files alike: only size and times then tell the files apart.
TEST(SameListedFile, NeedsTheSameSizeAndTimesToo)
{
    ListedFileKey first = { 0, 3, 512, 100, 200, 300 };
    ListedFileKey again = first, other = first;
    EXPECT_TRUE(SameListedFile(first, again));
    other.changed++;
    EXPECT_FALSE(SameListedFile(first, other));
    other = first;
    other.volume = 1;
    EXPECT_FALSE(SameListedFile(first, other));
}

TEST(UppercaseInPlace, ChangesOnlyAsciiLetters)
{
    char name[] = "thumbs.db";
    UppercaseInPlace(name);
    EXPECT_STREQ("THUMBS.DB", name);
    char mixed[] = "Th\xe9mbs_1.Db\xff";
    UppercaseInPlace(mixed);
    EXPECT_STREQ("TH\xe9MBS_1.DB\xff", mixed);
}

TEST(MatchesSignature, DecidesOnTheFirstNineBytes)
{
    std::string genuine = GenuineHeader(41);
    const BYTE *bytes = (const BYTE *)genuine.data();
    EXPECT_TRUE(MatchesSignature(bytes, 41, CompoundFileSignature));
    EXPECT_TRUE(MatchesSignature(bytes, 9, CompoundFileSignature));
    EXPECT_FALSE(MatchesSignature(bytes, 8, CompoundFileSignature));
    EXPECT_FALSE(MatchesSignature(bytes, 0, CompoundFileSignature));
    std::string ninth = genuine;
    ninth[8] = 1;
    EXPECT_FALSE(MatchesSignature((const BYTE *)ninth.data(), 41, CompoundFileSignature));
    std::string tail = genuine;
    tail[9] = tail[40] = (char)0xAB;
    EXPECT_TRUE(MatchesSignature((const BYTE *)tail.data(), 41, CompoundFileSignature));
}

TEST(Formats, CountsAndMegabytes)
{
    char text[MAX_PATH];
    FormatSizeText(text, sizeof text, 1, 12345);
    EXPECT_STREQ("1 Files [0.01 MB]", text);
    FormatSizeText(text, sizeof text, 1, 1048576);
    EXPECT_STREQ("1 Files [1.00 MB]", text);
    FormatSizeText(text, sizeof text, 0, 0);
    EXPECT_STREQ("0 Files [0.00 MB]", text);
    FormatSizeText(text, sizeof text, 2, 5ull << 32);
    EXPECT_STREQ("2 Files [20480.00 MB]", text);
    FormatFoundText(text, sizeof text, 3, 1234567);
    EXPECT_STREQ("3 Files [THUMBS.DB] Found [of 1234567 Searched]", text);
}

// --- walks of real trees ------------------------------------------------------

class WalkTest : public SearchTest {
protected:
    std::string FoundText() const { return app.foundText; }
};

TEST_F(WalkTest, PicksGenuineThumbsInAnyCase)
{
    std::string root = FreshFolder("names");
    const char *folders[] = { "a", "b", "c", "d", "THUMBS.DB", "e", "f", "g", "h", "i", "_j" };
    for (const char *f : folders)
        MakeFolder(root + "\\" + f);
    WriteBytes(root + "\\a\\thumbs.db", GenuineHeader());
    WriteBytes(root + "\\b\\Thumbs.db", GenuineHeader());
    WriteBytes(root + "\\c\\THUMBS.DB", GenuineHeader());
    WriteBytes(root + "\\d\\THUMBS.DB.bak", GenuineHeader());
    WriteBytes(root + "\\d\\xTHUMBS.DB", GenuineHeader());
    WriteBytes(root + "\\THUMBS.DB\\thumbs.db", GenuineHeader());   // inside a folder of that name
    WriteBytes(root + "\\e\\thumbs.db", GenuineHeader());
    MakeReadOnly(root + "\\e\\thumbs.db");
    WriteBytes(root + "\\f\\thumbs.db", GenuineHeader(8));          // signature only
    std::string ninth = GenuineHeader(41);
    ninth[8] = 7;
    WriteBytes(root + "\\g\\thumbs.db", ninth);
    WriteBytes(root + "\\h\\thumbs.db", "");
    std::string office = GenuineHeader(4096);                       // any compound file will do
    office.replace(512, 24, "WordDocument\0\0\0\0\0\0\0\0\0\0\0\0", 24);
    WriteBytes(root + "\\i\\thumbs.db", office);
    WriteBytes(root + "\\_j\\thumbs.db", GenuineHeader());    // listed after the letters, sorted before

    DirectoryWalk(root.c_str());

    std::vector<std::string> expected = {
        root + "\\a\\THUMBS.DB", root + "\\b\\THUMBS.DB", root + "\\c\\THUMBS.DB",
        root + "\\i\\THUMBS.DB", root + "\\THUMBS.DB\\THUMBS.DB", root + "\\_j\\THUMBS.DB",
    };
    std::sort(expected.begin(), expected.end(), [](const std::string &x, const std::string &y) {
        return lstrcmpiA(x.c_str(), y.c_str()) < 0;
    });
    EXPECT_EQ(expected, Listed());
    EXPECT_EQ(6, app.foundCount);
    EXPECT_EQ(12, app.searchedCount);   // every file, read-only and fake ones included
    EXPECT_EQ("6 Files [THUMBS.DB] Found [of 12 Searched]", FoundText());
    EXPECT_EQ(6u * 512 - 512 + 4096, app.totalBytes);
    // Tested and refused is searched: read-only, fake, short and empty files alike.
    EXPECT_EQ(0, app.foldersNotSearched + app.filesNotSearched) << app.notSearchedText;
    RemoveTree(root);
}

TEST_F(WalkTest, SizeTextFollowsEachMatch)
{
    std::string root = FreshFolder("sizes");
    WriteBytes(root + "\\thumbs.db", GenuineHeader(12345));
    DirectoryWalk(root.c_str());
    EXPECT_EQ("1 Files [0.01 MB]", SizeText());
    EXPECT_EQ(1u, Listed().size());

    WriteBytes(root + "\\thumbs.db", GenuineHeader(1048576));
    SendMessageA(List(), LB_RESETCONTENT, 0, 0);
    app.foundCount = 0;
    app.totalBytes = 0;
    DirectoryWalk(root.c_str());
    EXPECT_EQ("1 Files [1.00 MB]", SizeText());
    RemoveTree(root);
}

TEST_F(WalkTest, RootForms)
{
    std::string root = FreshFolder("roots");
    MakeFolder(root + "\\sub");
    WriteBytes(root + "\\thumbs.db", GenuineHeader());
    WriteBytes(root + "\\sub\\thumbs.db", GenuineHeader());

    // A trailing backslash is never doubled.
    DirectoryWalk((root + "\\").c_str());
    std::vector<std::string> expected = { root + "\\sub\\THUMBS.DB", root + "\\THUMBS.DB" };
    EXPECT_EQ(expected, Listed());

    // A missing folder and a file: the root shows, the counts stay 0, nothing listed.
    for (std::string missing : { root + "\\nothing-here", root + "\\thumbs.db" }) {
        SendMessageA(List(), LB_RESETCONTENT, 0, 0);
        app.foundCount = app.searchedCount = 0;
        DirectoryWalk(missing.c_str());
        EXPECT_EQ(missing, app.currentFolderText);
        EXPECT_EQ("0 Files [THUMBS.DB] Found [of 0 Searched]", FoundText());
        EXPECT_TRUE(Listed().empty());
    }

    // The empty root walks the current folder with relative paths.
    char previous[MAX_PATH];
    GetCurrentDirectoryA(sizeof previous, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(root.c_str()));
    SendMessageA(List(), LB_RESETCONTENT, 0, 0);
    DirectoryWalk("");
    SetCurrentDirectoryA(previous);
    expected = { "sub\\THUMBS.DB", "THUMBS.DB" };
    EXPECT_EQ(expected, Listed());
    RemoveTree(root);
}

TEST_F(WalkTest, DriveRoot)
{
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("Q:\\"))
        << "drive Q: should be mapped to the test tree 'drive'";
    DirectoryWalk("Q:\\");
    std::vector<std::string> expected = { "Q:\\sub\\THUMBS.DB", "Q:\\THUMBS.DB" };
    EXPECT_EQ(expected, Listed());
}

static WNDPROC originalListProc;

// Stops the walk while it reads its one candidate, as STOP would.
static long searchedAtStop = -1;
static char folderAtStop[MAX_PATH];

static void *StopWhileReading(size_t size)
{
    EnterCriticalSection(&app.progressLock);
    app.stopRequested = 1;
    searchedAtStop = app.searchedCount;
    CopyText(folderAtStop, sizeof folderAtStop, app.currentFolderText);
    LeaveCriticalSection(&app.progressLock);
    return malloc(size);
}

TEST_F(WalkTest, StopDeepInTheTreeEndsEveryLevel)
{
    std::string root = FreshFolder("stop");
    std::string level = root;
    for (int depth = 0; depth < 4; depth++) {
        for (int i = 0; i < 4; i++) {
            std::string sibling = level + "\\s" + std::to_string(i);
            MakeFolder(sibling);
            for (int f = 0; f < 3; f++)
                WriteBytes(sibling + "\\file" + std::to_string(f) + ".txt", "x");
            WriteBytes(level + "\\other" + std::to_string(i) + ".txt", "x");
        }
        level += "\\s" + std::to_string(depth % 4);
    }
    WriteBytes(level + "\\thumbs.db", GenuineHeader());

    // One walker: with several, each may end the entry it is on.
    walkerCount = 1;
    AllocateHeaderBuffer = StopWhileReading;
    DirectoryWalk(root.c_str());
    AllocateHeaderBuffer = malloc;
    walkerCount = 0;

    EXPECT_EQ(1u, Listed().size());
    EXPECT_EQ(searchedAtStop, app.searchedCount) << "files examined after the stop";
    EXPECT_STREQ(folderAtStop, app.currentFolderText) << "folder entered after the stop";
    EXPECT_LT(app.searchedCount, 4 * 16 + 1);
    RemoveTree(root);
}

TEST_F(WalkTest, LinksBackToAncestorsAreNotWalkedAgain)
{
    std::string root = HostTree("loops");
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(root.c_str())) << root;
    DirectoryWalk(root.c_str());
    // m1\to2 leads to a sibling, not an ancestor, so it is walked; every link
    // that leads back up the walk path is not. The sibling's cache is one
    // file, listed and counted once by whichever path reached it first.
    std::vector<std::string> listed = Listed();
    ASSERT_EQ(2u, listed.size());
    EXPECT_EQ(root + "\\a\\THUMBS.DB", listed[0]);
    EXPECT_TRUE(listed[1] == root + "\\m1\\to2\\THUMBS.DB" || listed[1] == root + "\\m2\\THUMBS.DB") << listed[1];
    EXPECT_EQ(2, app.foundCount);
    EXPECT_EQ("2 Files [0.00 MB]", SizeText());
}

TEST_F(WalkTest, OverlongPathsAreReachedByShortNames)
{
    // Beyond 259 characters (see make_trees.sh) the caches are reached through
    // their folders' short names, within the limit, and listed once each.
    std::string root = HostTree("deep");
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(root.c_str())) << root;
    DirectoryWalk(root.c_str());
    std::vector<std::string> listed = Listed();
    ASSERT_EQ(4u, listed.size());
    // Where the deep ones are reached through the root's own short name, they
    // sort apart from it: only the shallow one's place is known.
    EXPECT_NE(listed.end(), std::find(listed.begin(), listed.end(), root + "\\shallow\\THUMBS.DB"));
    for (const std::string &path : listed) {
        EXPECT_LE(path.size(), 259u) << path;
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str())) << path;
    }
    EXPECT_EQ(6, app.searchedCount);
    EXPECT_EQ(0, app.foldersNotSearched + app.filesNotSearched) << app.notSearchedText;
}

TEST_F(WalkTest, HostileNamesNeitherHangNorReachMangledPaths)
{
    std::string root = HostTree("odd");
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(root.c_str())) << root;
    DirectoryWalk(root.c_str());
    std::vector<std::string> listed = Listed();
    EXPECT_NE(listed.end(), std::find(listed.begin(), listed.end(), root + "\\ok\\THUMBS.DB"));
    for (const std::string &path : listed) {
        // A name the ANSI code page cannot hold comes back with '?': such a
        // path names nothing, or worse, something else.
        EXPECT_EQ(std::string::npos, path.find('?')) << path;
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str())) << path;
    }
    // The two plain files at least (the FIFO included); the others only where
    // the code page can name their folders.
    EXPECT_GE(app.searchedCount, 2);
}

TEST_F(WalkTest, CandidateLockedByAnotherProgramIsSkipped)
{
    std::string root = FreshFolder("locked");
    MakeFolder(root + "\\a");
    MakeFolder(root + "\\b");
    WriteBytes(root + "\\a\\thumbs.db", GenuineHeader());
    WriteBytes(root + "\\b\\thumbs.db", GenuineHeader());
    HANDLE lock = CreateFileA((root + "\\a\\thumbs.db").c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    DirectoryWalk(root.c_str());
    CloseHandle(lock);
    EXPECT_EQ(std::vector<std::string>{ root + "\\b\\THUMBS.DB" }, Listed());
    EXPECT_EQ(2, app.searchedCount);
    EXPECT_EQ(1, app.filesNotSearched);
    EXPECT_EQ("Not Searched: '" + root + "\\a\\THUMBS.DB' [In Use]", std::string(app.notSearchedText));
    RemoveTree(root);
}

TEST_F(WalkTest, AListedPathNamesTheFileThatWasTestedInACaseSensitiveFolder)
{
    // lower: a genuine thumbs.db beside someone's own THUMBS.DB, which the
    // listed path would name. upper: a genuine THUMBS.DB that both names of
    // the folder lead to, listed once.
    std::string root = HostTree("cases");
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(root.c_str())) << root;
    DirectoryWalk(root.c_str());
    EXPECT_EQ(std::vector<std::string>{ root + "\\upper\\THUMBS.DB" }, Listed());
    EXPECT_EQ(1, app.foundCount);
    EXPECT_EQ(4, app.searchedCount);
    // Listed first here is a spelling that is no cache: the size is the file's that the path opens.
    DirectoryWalk(HostTree("mixed").c_str());
    EXPECT_EQ(2, app.foundCount);
    EXPECT_EQ(1024u, app.totalBytes);
}

// Counts the list additions, notes how far the walk had got at each, and can
// stop the walk at one of them.
static std::vector<long> searchedAtAddition;
static size_t stopAtAddition;

static LRESULT CALLBACK WatchAdditions(HWND list, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == LB_ADDSTRING || message == LB_INSERTSTRING) {
        EnterCriticalSection(&app.progressLock);
        searchedAtAddition.push_back(app.searchedCount);
        if (searchedAtAddition.size() == stopAtAddition)
            app.stopRequested = 1;
        LeaveCriticalSection(&app.progressLock);
    }
    return CallWindowProcA(originalListProc, list, message, wParam, lParam);
}

static void WatchAdditionsTo(HWND list, size_t stopAt)
{
    searchedAtAddition.clear();
    stopAtAddition = stopAt;
    originalListProc = (WNDPROC)SetWindowLongPtrA(list, GWLP_WNDPROC, (LONG_PTR)WatchAdditions);
}

static void WalkWatchingAdditions(HWND list, const std::string &root, size_t stopAt)
{
    WatchAdditionsTo(list, stopAt);
    SuspendListPainting();      // as during a search
    DirectoryWalk(root.c_str());
    ResumeListPainting();
    SetWindowLongPtrA(list, GWLP_WNDPROC, (LONG_PTR)originalListProc);
}

// Whatever the walk counted is listed, once, with the size text to match.
static void ExpectListMatchesCounts(const std::vector<std::string> &listed, const std::string &sizeText)
{
    std::set<std::string> unique(listed.begin(), listed.end());
    EXPECT_EQ(listed.size(), unique.size());
    EXPECT_EQ(listed.size(), searchedAtAddition.size());
    EXPECT_EQ((long)listed.size(), app.foundCount);
    char size[64];
    snprintf(size, sizeof size, "%ld Files [%.2f MB]", app.foundCount, app.foundCount * 512 / 1048576.0);
    EXPECT_EQ(size, sizeText);
}

TEST_F(WalkTest, EveryMatchIsListedOnceWhenTheWalkEnds)
{
    std::string big = HostTree("big");
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(big.c_str())) << big;
    WalkWatchingAdditions(List(), big, 0);
    ExpectListMatchesCounts(Listed(), SizeText());
    EXPECT_EQ(BIG_TREE_MATCHES, app.foundCount);
    EXPECT_EQ("10000 Files [4.88 MB]", SizeText());
}

TEST_F(WalkTest, EveryMatchCountedIsListedWhenTheWalkStops)
{
    std::string big = HostTree("big");
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(big.c_str())) << big;
    WalkWatchingAdditions(List(), big, 2000);
    ExpectListMatchesCounts(Listed(), SizeText());
    EXPECT_GE(app.foundCount, 2000);
    EXPECT_LT(app.foundCount, BIG_TREE_MATCHES) << "the stop should end the walk early";
}

TEST_F(WalkTest, AMatchIsListedWhileTheWalkGoesOn)
{
    // The third candidate takes longer to read than the list is allowed to lag;
    // the second match must reach the list before the walk ends.
    std::string root = FreshFolder("handover");
    for (int i = 0; i < 20; i++) {
        std::string folder = root + "\\f" + std::to_string(i);
        MakeFolder(folder);
        WriteBytes(folder + "\\thumbs.db", GenuineHeader());
    }
    static int reads;
    reads = 0;
    AllocateHeaderBuffer = [](size_t size) -> void * {
        if (++reads == 3)
            Sleep(300);
        return malloc(size);
    };
    // On the search thread: the list is filled by this one meanwhile. One
    // walker, so that the files counted tell how far the walk had got.
    walkerCount = 1;
    WatchAdditionsTo(List(), 0);
    RunSearch(root);
    walkerCount = 0;
    SetWindowLongPtrA(List(), GWLP_WNDPROC, (LONG_PTR)originalListProc);
    AllocateHeaderBuffer = malloc;

    ASSERT_EQ(20u, Listed().size());
    ASSERT_EQ(20u, searchedAtAddition.size());
    EXPECT_LT(searchedAtAddition[0], 20) << "the first match waited for the end";
    EXPECT_LT(searchedAtAddition[1], 20) << "the second match waited for the end";
    RemoveTree(root);
}

// --- several walkers ------------------------------------------------------------

class ParallelWalkTest : public WalkTest {
protected:
    // What a search shows at its end: counts, texts and the list.
    std::string Outcome(const std::string &root, int walkers)
    {
        SendMessageA(List(), LB_RESETCONTENT, 0, 0);
        app.foundCount = app.searchedCount = app.foldersNotSearched = app.filesNotSearched = 0;
        app.totalBytes = 0;
        app.notSearchedText[0] = '\0';
        walkerCount = walkers;
        SuspendListPainting();      // as during a search: a big tree lists thousands
        DirectoryWalk(root.c_str());
        ResumeListPainting();
        walkerCount = 0;
        char counts[128];
        snprintf(counts, sizeof counts, "%ld found, %ld searched, %ld folders and %ld files not searched\n",
                 app.foundCount, app.searchedCount, app.foldersNotSearched, app.filesNotSearched);
        std::string outcome = counts + SizeText() + "\n" + app.notSearchedText + "\n";
        for (const std::string &path : Listed())
            outcome += path + "\n";
        return outcome;
    }
};

// Links in both orders, loops, long paths, names outside the code page, case
// variants, places that cannot be searched and many caches (make_trees.sh):
// several walkers show what one shows, every time.
TEST_F(ParallelWalkTest, SeveralWalkersShowWhatOneShows)
{
    for (const char *name : { "linked", "loops", "deep", "odd", "cases", "mixed", "big" }) {
        std::string root = HostTree(name);
        ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(root.c_str())) << root;
        std::string one = Outcome(root, 1);
        for (int run = 0; run < 2; run++)
            EXPECT_EQ(one, Outcome(root, 4)) << name << ", run " << run + 1;
    }
    // A cache reached directly and through links is listed by its own path,
    // whichever way came first; the first place not searched sorts first.
    std::string linked = HostTree("linked");
    std::string outcome = Outcome(linked, 4);
    EXPECT_EQ("2 found, 5 searched, 3 folders and 0 files not searched\n2 Files [0.00 MB]\nNot Searched: '" + linked +
                  "\\x1\\",
              outcome.substr(0, outcome.find("\\x1\\") + 4));
    EXPECT_EQ(linked + "\\a\\THUMBS.DB\n" + linked + "\\z\\THUMBS.DB\n", outcome.substr(outcome.find("\n", outcome.find("Not Searched")) + 1));
}

// A stop ends every walker before its next entry: each may end the one it
// is on, and every cache counted is listed when the walk returns.
static volatile LONG readsBeforeStop;
static long searchedAtParallelStop;

TEST_F(ParallelWalkTest, StopEndsEveryWalker)
{
    readsBeforeStop = 100;
    AllocateHeaderBuffer = [](size_t size) -> void * {
        if (InterlockedDecrement(&readsBeforeStop) == 0) {
            EnterCriticalSection(&app.progressLock);
            app.stopRequested = 1;
            searchedAtParallelStop = app.searchedCount;
            LeaveCriticalSection(&app.progressLock);
        }
        return malloc(size);
    };
    Outcome(HostTree("big"), 4);
    AllocateHeaderBuffer = malloc;
    app.stopRequested = 0;
    EXPECT_LE(app.searchedCount, searchedAtParallelStop + 3) << "entries examined after the stop";
    EXPECT_LT(app.foundCount, BIG_TREE_MATCHES / 10);
    std::vector<std::string> listed = Listed();
    EXPECT_EQ((size_t)app.foundCount, std::set<std::string>(listed.begin(), listed.end()).size());
    EXPECT_EQ((size_t)app.foundCount, listed.size());
}

// The delete run and the list export, driven through the real program and the real save dialog.
#include "e2e_support.h"
#include "resources/resource.h"

#include <algorithm>
#include <set>
#include <stdlib.h>
#include <time.h>

static const char OVERWRITE_QUESTION[] = "File already exists.\n\nOverwrite?";

// The per-file question of a verified delete run.
static std::string VerifyQuestion(const std::string &path)
{
    return "Drossweep (Delete)...\n\n'" + path + "'.\n\nContinue?";
}

// The file the shell opened, as the recorder wrote it, and how long it waited.
static std::string WaitForOpened(const std::string &record)
{
    DWORD start = GetTickCount();
    std::string opened = WaitForFile(record, SHELL_START_MS);
    return opened + " (after " + std::to_string(GetTickCount() - start) + " ms)";
}

static std::string Lines(const std::vector<std::string> &paths)
{
    std::string text;
    for (const std::string &p : paths)
        text += p + "\r\n";
    return text;
}

// Registers the recorder as the shell's handler for .txt files while these tests run.
class TextHandler : public testing::Environment {
public:
    void SetUp() override
    {
        const char *recorder = getenv("DROSS_RECORDER");
        ASSERT_TRUE(recorder != NULL);
        DWORD size = sizeof previous;
        if (RegGetValueA(HKEY_CLASSES_ROOT, ".txt", NULL, RRF_RT_REG_SZ, NULL, previous, &size) != ERROR_SUCCESS)
            previous[0] = '\0';
        std::string command = std::string("\"") + recorder + "\" \"%1\"";
        RegSetValueA(HKEY_CLASSES_ROOT, ".txt", REG_SZ, "DrossTestText", 0);
        RegSetValueA(HKEY_CLASSES_ROOT, "DrossTestText\\shell\\open\\command", REG_SZ, command.c_str(), 0);
    }
    void TearDown() override
    {
        if (previous[0])
            RegSetValueA(HKEY_CLASSES_ROOT, ".txt", REG_SZ, previous, 0);
    }
private:
    char previous[MAX_PATH];
};

static testing::Environment *const textHandler = testing::AddGlobalTestEnvironment(new TextHandler);
static std::vector<std::string> Names(const std::string &folder);

class ResultsTest : public AppTest {
protected:
    void SetUp() override
    {
        root = FreshFolder(testing::UnitTest::GetInstance()->current_test_info()->name());
        out = root + "-out";
        RemoveTree(out);
        MakeFolder(out);
        for (const char *f : { "c", "a", "b" }) {
            MakeFolder(root + "\\" + f);
            WriteBytes(root + "\\" + f + "\\thumbs.db", GenuineHeader());
            files.push_back(root + "\\" + f + "\\THUMBS.DB");
        }
        std::sort(files.begin(), files.end());
        record = out + "\\opened.txt";
        SetEnvironmentVariableA("DROSS_RECORD_FILE", record.c_str());
        AppTest::SetUp();
        StartSearch(root);
        WaitForIdle();
        ASSERT_EQ(files, Listed());
    }

    void TearDown() override
    {
        AppTest::TearDown();
        RemoveTree(root);
        RemoveTree(out);
    }

    void Select(const std::vector<int> &indices) { ui::SelectEntries(list, indices); }
    void Delete() { ui::Click(results, IDC_RESULTS_DELETE); }
    void Export() { ui::Click(results, IDC_RESULTS_SAVE); }

    HWND SaveDialog()
    {
        HWND dialog = ui::WaitForSaveDialog(program, 15000);
        EXPECT_TRUE(dialog != NULL) << "no save dialog";
        return dialog;
    }

    void SaveTo(const std::string &path)
    {
        HWND dialog = SaveDialog();
        ASSERT_TRUE(dialog != NULL);
        ASSERT_TRUE(ui::SaveAs(dialog, path)) << "the save dialog stayed open for " << path;
    }

    // The run has ended: no further message and the three controls enabled again.
    void ExpectEnded()
    {
        EXPECT_TRUE(ui::NoBoxWithin(program, 500));
        EXPECT_TRUE(ui::Enabled(results, IDC_RESULTS_DELETE));
        EXPECT_TRUE(ui::Enabled(results, IDC_RESULTS_SAVE));
        EXPECT_TRUE(ui::Enabled(results, IDC_RESULTS_LIST));
    }

    void ExpectFiles(bool a, bool b, bool c)
    {
        EXPECT_EQ(a, FileExists(files[0])) << files[0];
        EXPECT_EQ(b, FileExists(files[1])) << files[1];
        EXPECT_EQ(c, FileExists(files[2])) << files[2];
    }

    std::string root, out, record;
    std::vector<std::string> files;
};

TEST_F(ResultsTest, NothingSelected)
{
    Delete();
    AnswerBox("ERROR - Nothing selected.", IDOK);
    ExpectEnded();
    Export();
    AnswerBox("ERROR - Nothing selected.", IDOK);
    ExpectEnded();
    ExpectFiles(true, true, true);
}

TEST_F(ResultsTest, NoAtEitherWarningDeletesNothing)
{
    Select({ 0, 1, 2 });
    Delete();
    ui::Box warning = ExpectBox(DeleteWarning1);
    EXPECT_FALSE(ui::Enabled(results, IDC_RESULTS_LIST)) << "controls are disabled while a command runs";
    EXPECT_FALSE(ui::Enabled(results, IDC_RESULTS_SAVE));
    ASSERT_TRUE(ui::Answer(warning, IDNO));
    ExpectEnded();
    Delete();
    AnswerBox(DeleteWarning1, IDYES);
    AnswerBox(DeleteWarning2, IDNO);
    ExpectEnded();
    ExpectFiles(true, true, true);
}

TEST_F(ResultsTest, DeleteWithoutQuestionsKeepsTheList)
{
    Select({ 1 });
    Delete();
    PassDeleteQuestions(false, false);
    AnswerBox("Drossweeping Complete.", IDOK);
    ExpectEnded();
    ExpectFiles(true, false, true);
    EXPECT_EQ(files, Listed());
    EXPECT_EQ(std::vector<int>{ 1 }, ui::ListSelection(list));
    EXPECT_EQ("3 Files [0.00 MB]", ui::ControlText(results, IDC_RESULTS_SIZE));
}

TEST_F(ResultsTest, VerifyYesYesCancelSaysWhatCouldNotBeDeleted)
{
    HANDLE held = CreateFileA(files[1].c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    Select({ 0, 1, 2 });
    Delete();
    PassDeleteQuestions(true, true);
    std::string report = out + "\\verify.txt";
    SaveTo(report);
    AnswerBox(VerifyQuestion(files[0]), IDYES);
    AnswerBox(VerifyQuestion(files[1]), IDYES);
    AnswerBox(VerifyQuestion(files[2]), IDCANCEL);
    AnswerBox("1 of 2 Files could not be deleted.", IDOK);
    ExpectEnded();      // no completion message after Cancel
    CloseHandle(held);
    ExpectFiles(false, true, true);
    EXPECT_EQ(Lines({ files[0], files[1] }), ReadAll(report));
}

TEST_F(ResultsTest, VerifyAllNoStillCompletes)
{
    Select({ 0, 2 });
    Delete();
    PassDeleteQuestions(true, true);
    std::string report = out + "\\none.txt";
    SaveTo(report);
    AnswerBox(VerifyQuestion(files[0]), IDNO);
    AnswerBox(VerifyQuestion(files[2]), IDNO);
    AnswerBox("Drossweeping Complete.", IDOK);
    AnswerBox("Open report?", IDNO);
    ExpectEnded();
    ExpectFiles(true, true, true);
    EXPECT_EQ("", ReadAll(report));
}

TEST_F(ResultsTest, ReportDialogCancelledDeletesNothing)
{
    Select({ 0 });
    Delete();
    PassDeleteQuestions(false, true);
    HWND dialog = SaveDialog();
    ASSERT_TRUE(ui::CancelDialog(dialog));
    ExpectEnded();
    ExpectFiles(true, true, true);
}

TEST_F(ResultsTest, ExistingReportOverwriteNoThenYes)
{
    std::string report = out + "\\old.txt";
    WriteBytes(report, "old contents that are longer than the new ones\r\n");
    Select({ 0, 2 });
    Delete();
    PassDeleteQuestions(false, true);
    SaveTo(report);
    AnswerBox(OVERWRITE_QUESTION, IDNO);
    ExpectEnded();
    ExpectFiles(true, true, true);
    EXPECT_EQ("old contents that are longer than the new ones\r\n", ReadAll(report));

    Delete();
    PassDeleteQuestions(false, true);
    SaveTo(report);
    AnswerBox(OVERWRITE_QUESTION, IDYES);
    AnswerBox("Drossweeping Complete.", IDOK);
    // Opening the report goes through the shell's handler for .txt files.
    AnswerBox("Open report?", IDYES);
    ExpectEnded();
    ExpectFiles(false, true, false);
    EXPECT_EQ(Lines({ files[0], files[2] }), ReadAll(report)) << "replaced, not appended";
    std::string opened = WaitForOpened(record);
    EXPECT_NE(std::string::npos, opened.find(report)) << opened;
}

TEST_F(ResultsTest, ReportFileThatCannotBeOpened)
{
    // Locked by another program. (A read-only file would do on Windows, but
    // wine lets root write to read-only files and these tests run as root.)
    std::string report = out + "\\locked.txt";
    WriteBytes(report, "keep");
    HANDLE lock = CreateFileA(report.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    Select({ 0 });
    Delete();
    PassDeleteQuestions(false, true);
    SaveTo(report);
    AnswerBox(OVERWRITE_QUESTION, IDYES);
    AnswerBox("ERROR: Could not open file for writing.", IDOK);
    ExpectEnded();
    ExpectFiles(true, true, true);
    CloseHandle(lock);
    EXPECT_EQ("keep", ReadAll(report));
}

TEST_F(ResultsTest, FilesThatCannotBeDeletedAreCountedAndStillReported)
{
    ASSERT_TRUE(DeleteFileA(files[1].c_str()));     // someone else was quicker
    // Held open by another program, as Explorer holds a thumbnail cache.
    HANDLE held = CreateFileA(files[2].c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    Select({ 0, 1, 2 });
    Delete();
    PassDeleteQuestions(false, true);
    std::string report = out + "\\first.txt";
    SaveTo(report);
    // The file already gone counts as deleted.
    AnswerBox("Drossweeping Complete.\n\n1 of 3 Files could not be deleted.", IDOK);
    AnswerBox("Open report?", IDNO);
    ExpectEnded();
    ExpectFiles(false, false, true);
    EXPECT_EQ(Lines(files), ReadAll(report));
    EXPECT_EQ((std::vector<int>{ 0, 1, 2 }), ui::ListSelection(list));

    // The same selection again, the file no longer held: the same report.
    CloseHandle(held);
    Delete();
    PassDeleteQuestions(false, true);
    std::string again = out + "\\second.txt";
    SaveTo(again);
    AnswerBox("Drossweeping Complete.", IDOK);
    AnswerBox("Open report?", IDNO);
    ExpectEnded();
    ExpectFiles(false, false, false);
    EXPECT_EQ(Lines(files), ReadAll(again));
}

TEST_F(ResultsTest, FailingReportWriteStopsBeforeTheNextDeletion)
{
    // A report file on a volume with no space left: every write fails.
    std::string full = HostTree("devfull") + "\\report.txt";
    Select({ 0, 1, 2 });
    Delete();
    PassDeleteQuestions(false, true);
    SaveTo(full);
    AnswerBox(OVERWRITE_QUESTION, IDYES);
    AnswerBox("ERROR: Could not write to the report file.\n\nNo further files were deleted.", IDOK);
    ExpectEnded();
    ExpectFiles(true, true, true);
}

TEST_F(ResultsTest, ExportWritesListOrderAndOpens)
{
    Select({ 2, 0 });
    Export();
    std::string list1 = out + "\\list.txt";
    SaveTo(list1);
    AnswerBox("Selected Files List saved.", IDOK);
    AnswerBox("Open the saved Selected Files List?", IDYES);
    ExpectEnded();
    EXPECT_EQ(Lines({ files[0], files[2] }), ReadAll(list1));
    ExpectFiles(true, true, true);
    std::string opened = WaitForOpened(record);
    EXPECT_NE(std::string::npos, opened.find(list1)) << opened;

    // Overwritten with Yes: replaced entirely.
    Select({ 1 });
    Export();
    SaveTo(list1);
    AnswerBox(OVERWRITE_QUESTION, IDYES);
    AnswerBox("Selected Files List saved.", IDOK);
    AnswerBox("Open the saved Selected Files List?", IDNO);
    ExpectEnded();
    EXPECT_EQ(Lines({ files[1] }), ReadAll(list1));
}

TEST_F(ResultsTest, ExportCancelledOrDeclinedWritesNothing)
{
    Select({ 0 });
    Export();
    HWND dialog = SaveDialog();
    ASSERT_TRUE(ui::CancelDialog(dialog));
    ExpectEnded();
    std::string existing = out + "\\existing.txt";
    WriteBytes(existing, "unchanged");
    Export();
    SaveTo(existing);
    AnswerBox(OVERWRITE_QUESTION, IDNO);
    ExpectEnded();
    EXPECT_EQ("unchanged", ReadAll(existing));
}

TEST_F(ResultsTest, DefaultNamesInTheProgramFolder)
{
    Select({ 0 });
    Export();
    HWND dialog = SaveDialog();
    ASSERT_TRUE(dialog != NULL);
    std::string name = ui::Text(ui::FileNameField(dialog));
    std::string prefix = std::string(PRODUCT_TITLE) + " - Selected Files List [";
    ASSERT_EQ(0u, name.find(prefix)) << name;
    long stamp = atol(name.c_str() + prefix.size());
    EXPECT_LE(labs(stamp - (long)time(NULL)), 10L) << name;
    EXPECT_EQ(name, prefix + std::to_string(stamp) + "].txt");
    ASSERT_TRUE(ui::SaveAs(dialog, name));
    AnswerBox("Selected Files List saved.", IDOK);
    AnswerBox("Open the saved Selected Files List?", IDNO);
    // Saved in the program's own folder, where the dialog opened.
    std::string exe = getenv("DROSS_EXE");
    std::string saved = exe.substr(0, exe.rfind('\\') + 1) + name;
    EXPECT_EQ(Lines({ files[0] }), ReadAll(saved));
    DeleteFileA(saved.c_str());

    Delete();
    PassDeleteQuestions(false, true);
    dialog = SaveDialog();
    ASSERT_TRUE(dialog != NULL);
    name = ui::Text(ui::FileNameField(dialog));
    EXPECT_EQ(0u, name.find(std::string(PRODUCT_TITLE) + " - Report [")) << name;
    ASSERT_TRUE(ui::CancelDialog(dialog));
    ExpectEnded();
}

TEST_F(ResultsTest, GoIsRefusedWhileACommandWaits)
{
    Select({ 0 });
    Delete();
    ui::Box warning = ExpectBox(DeleteWarning1);
    ui::Click(main, IDC_MAIN_GO);
    ui::Box refusal;
    ASSERT_TRUE(ui::WaitForBoxOwnedBy(program, main, refusal, 10000));
    EXPECT_EQ("Finish the command in the List window to start a search.", refusal.text);
    ASSERT_TRUE(ui::Answer(refusal, IDOK));
    ASSERT_TRUE(ui::Answer(warning, IDNO));
    ExpectEnded();
    EXPECT_EQ(files, Listed());
}

// An exit confirmed while a command waits on the user ends the command without
// acting, then the program, with its usual exit code.
TEST_F(ResultsTest, ExitWhileACommandAsksChangesNoFile)
{
    std::string existing = out + "\\existing.txt";
    WriteBytes(existing, "unchanged");
    // A save dialog closed by the exit may hand back its default name, which
    // names a file in the program's current folder (ours) or where it opened.
    std::string exe = getenv("DROSS_EXE"), programFolder = exe.substr(0, exe.rfind('\\'));
    std::vector<std::string> here = Names("."), besideProgram = Names(programFolder);
    enum { FIRST_WARNING, VERIFY_QUESTION, REPORT_DIALOG, OVERWRITE_QUESTION_OF_EXPORT, LIST_DIALOG, STAGES };
    for (int stage = 0; stage < STAGES && !HasFailure(); stage++) {
        SCOPED_TRACE("exit at stage " + std::to_string(stage));
        if (stage > 0) {
            AppTest::SetUp();
            StartSearch(root);
            WaitForIdle();
        }
        Select({ 0, 1, 2 });
        switch (stage) {
        case FIRST_WARNING:
            Delete();
            ExpectBox(DeleteWarning1);
            break;
        case VERIFY_QUESTION:       // its answer would otherwise turn verifying off
            Delete();
            AnswerBox(DeleteWarning1, IDYES);
            AnswerBox(DeleteWarning2, IDYES);
            ExpectBox("Drossweep (Delete) selected files...\n\nVerify every delete operation?");
            break;
        case REPORT_DIALOG:         // with verify off, nothing would ask again
            Delete();
            PassDeleteQuestions(false, true);
            SaveDialog();
            break;
        case OVERWRITE_QUESTION_OF_EXPORT:
            Export();
            SaveTo(existing);
            ExpectBox(OVERWRITE_QUESTION);
            break;
        case LIST_DIALOG:
            Export();
            SaveDialog();
            break;
        }
        ExitFrom(main);
        ui::Close(program);
        ExpectFiles(true, true, true);
        EXPECT_EQ("unchanged", ReadAll(existing));
        EXPECT_EQ(here, Names("."));
        EXPECT_EQ(besideProgram, Names(programFolder));
    }
}

// A root typed relative to the program's current folder is searched as a full
// path, so that the entries still name their files after a save dialog.
TEST_F(ResultsTest, RelativeRootListsFullPaths)
{
    ui::Close(program);
    workingFolder = root;
    AppTest::SetUp();
    StartSearch("b");
    WaitForIdle();
    ASSERT_EQ(std::vector<std::string>{ files[1] }, Listed());
    Select({ 0 });
    Export();
    SaveTo(out + "\\list.txt");
    AnswerBox("Selected Files List saved.", IDOK);
    AnswerBox("Open the saved Selected Files List?", IDNO);
    // The save dialog left the current folder where it was.
    StartSearch("b");
    WaitForIdle();
    ASSERT_EQ(std::vector<std::string>{ files[1] }, Listed());
    Select({ 0 });
    Delete();
    PassDeleteQuestions(false, false);
    AnswerBox("Drossweeping Complete.", IDOK);
    ExpectEnded();
    ExpectFiles(true, false, true);
}

// The names in a folder as the file system keeps them.
static std::vector<std::string> Names(const std::string &folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE listing = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (listing == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(entry.cFileName);
    } while (FindNextFileA(listing, &entry));
    FindClose(listing);
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(AppTest, DeleteRemovesTheFileThatWasTestedInACaseSensitiveFolder)
{
    // lower: a genuine thumbs.db beside someone's own THUMBS.DB ("my notes").
    // upper: a genuine THUMBS.DB beside a Thumbs.db that is no cache.
    std::string tree = ProgramTree("cases-delete");
    StartSearch(tree);
    WaitForIdle();
    ASSERT_EQ(std::vector<std::string>{ tree + "\\upper\\THUMBS.DB" }, Listed());
    ui::SelectAll(list);
    ui::Click(results, IDC_RESULTS_DELETE);
    PassDeleteQuestions(false, false);
    AnswerBox("Drossweeping Complete.", IDOK);
    EXPECT_EQ((std::vector<std::string>{ "THUMBS.DB", "thumbs.db" }), Names(tree + "\\lower"));
    EXPECT_EQ(std::vector<std::string>{ "Thumbs.db" }, Names(tree + "\\upper"));
}

// Folders whose names the ANSI code page cannot hold, beside a look-alike that
// it can: each cache is listed once, by a path that names it (through short
// names), and the delete run removes those five and nothing beside them.
TEST_F(AppTest, NamesOutsideTheCodePageAreListedOnceAndDeletedRight)
{
    const char *program = getenv("DROSS_PROGRAM");
    std::string ansiRoot = FreshFolder((std::string("code-page-") + (program ? program : "")).c_str());
    std::wstring root = Widen(ansiRoot);
    const wchar_t *names[] = { L"l", L"\x0142", L"\xFF21", L"\x043f\x0430\x043f\x043a\x0430", L"\xD83D\xDCF7 2019" };
    std::set<std::string> expected;
    for (const wchar_t *name : names) {
        // Listed by the folder's own name, or else by its short name.
        std::wstring folder = root + L"\\" + name;
        PutCacheBesideOwnFile(folder);
        wchar_t shortFolder[MAX_PATH];
        ASSERT_NE(0u, GetShortPathNameW(folder.c_str(), shortFolder, MAX_PATH));
        expected.insert(ansiRoot + "\\" + Narrow(name[0] == L'l' ? name : wcsrchr(shortFolder, L'\\') + 1) + "\\THUMBS.DB");
    }
    StartSearch(ansiRoot);
    WaitForIdle();
    std::vector<std::string> listed = Listed();
    EXPECT_EQ(expected, std::set<std::string>(listed.begin(), listed.end()));
    EXPECT_EQ(5u, listed.size());
    EXPECT_EQ("5 Files [0.00 MB]", ui::ControlText(results, IDC_RESULTS_SIZE));
    DeleteAllListedKeepingOwnFiles();
    RemoveTree(ansiRoot);
}

// The program under hostile conditions: files that change under a delete run,
// and exits requested at random moments of a long search.
#include "e2e_support.h"
#include "resources/resource.h"

#include <set>
#include <stdlib.h>

class StressTest : public AppTest {};

TEST_F(StressTest, FilesChangingBetweenSearchAndDelete)
{
    std::string root = FreshFolder("changing");
    std::vector<std::string> files;
    for (const char *f : { "a", "b", "c", "d" }) {
        MakeFolder(root + "\\" + f);
        WriteBytes(root + "\\" + f + "\\thumbs.db", GenuineHeader());
        files.push_back(root + "\\" + f + "\\THUMBS.DB");
    }
    StartSearch(root);
    WaitForIdle();
    ASSERT_EQ(files, Listed());

    ASSERT_TRUE(DeleteFileA(files[0].c_str()));                 // vanished
    WriteBytes(files[1], GenuineHeader(100000));                // grown
    MakeReadOnly(files[2]);                                     // made read-only
    ui::SelectAll(list);
    ui::Click(results, IDC_RESULTS_DELETE);
    PassDeleteQuestions(false, false);
    AnswerBox("Drossweeping Complete.\n\n1 of 4 Files could not be deleted.", IDOK);
    EXPECT_TRUE(ui::NoBoxWithin(program, 300));
    EXPECT_FALSE(FileExists(files[1]));
    EXPECT_FALSE(FileExists(files[3]));
    // A read-only file is not deleted: no attribute is changed before the attempt.
    EXPECT_TRUE(FileExists(files[2]));
    EXPECT_EQ(files, Listed());
    SetFileAttributesA(files[2].c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveTree(root);
}

TEST_F(StressTest, ExitAtRandomMomentsOfALongSearch)
{
    std::string big = HostTree("big");
    srand(12345);
    for (int trial = 0; trial < 20; trial++) {
        SCOPED_TRACE("trial " + std::to_string(trial));
        if (trial > 0) {
            AppTest::SetUp();
            ASSERT_TRUE(main != NULL);
        }
        StartSearch(big);
        ui::Pause((DWORD)(rand() % 1500));
        ExitFrom(trial % 2 ? results : main);
        ui::Close(program);
    }
}

static long CountFiles(const std::string &folder)
{
    long count = 0;
    WIN32_FIND_DATAA entry;
    HANDLE listing = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (listing == INVALID_HANDLE_VALUE)
        return 0;
    do {
        std::string name = entry.cFileName;
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            count++;
        else if (name != "." && name != "..")
            count += CountFiles(folder + "\\" + name);
    } while (FindNextFileA(listing, &entry));
    FindClose(listing);
    return count;
}

TEST_F(StressTest, HundredThousandEntriesExportedAndDeletedOnce)
{
    std::string huge = ProgramTree("huge");
    std::string out = FreshFolder("huge-out");
    StartSearch(huge);
    WaitForIdle(900000);
    ASSERT_EQ(100000, SendMessageW(list, LB_GETCOUNT, 0, 0));
    EXPECT_EQ("100000 Files [6.10 MB]", ui::ControlText(results, IDC_RESULTS_SIZE));
    ui::SelectAll(list);

    ui::Click(results, IDC_RESULTS_SAVE);
    HWND dialog = ui::WaitForSaveDialog(program, 15000);
    ASSERT_TRUE(dialog != NULL);
    ASSERT_TRUE(ui::SaveAs(dialog, out + "\\all.txt"));
    AnswerBox("Selected Files List saved.", IDOK);
    AnswerBox("Open the saved Selected Files List?", IDNO);
    std::vector<std::string> exported = SplitLines(ReadAll(out + "\\all.txt"));
    ASSERT_EQ(100000u, exported.size());
    for (size_t i = 1; i < exported.size(); i++)
        ASSERT_LT(lstrcmpiA(exported[i - 1].c_str(), exported[i].c_str()), 0) << "list order, each once: " << i;

    ui::Click(results, IDC_RESULTS_DELETE);
    PassDeleteQuestions(false, true);
    dialog = ui::WaitForSaveDialog(program, 15000);
    ASSERT_TRUE(dialog != NULL);
    ASSERT_TRUE(ui::SaveAs(dialog, out + "\\report.txt"));
    // While it deletes, the List window answers, and shows how far the run is.
    std::set<std::string> shown;
    int answered = ui::AnswersUntilBox(program, results, [&] { shown.insert(ui::ControlText(results, IDC_RESULTS_SIZE)); });
    EXPECT_GE(answered, 10) << "the List window must answer while the files are deleted";
    EXPECT_GE(shown.size(), 3u) << "the progress must show during the run";
    ui::Box done;
    ASSERT_TRUE(ui::WaitForBox(program, done, 15000));
    EXPECT_EQ("Drossweeping Complete.", done.text);
    ui::Answer(done, IDOK);
    AnswerBox("Open report?", IDNO);
    EXPECT_EQ("100000 Files [6.10 MB]", ui::ControlText(results, IDC_RESULTS_SIZE));
    EXPECT_EQ(exported, SplitLines(ReadAll(out + "\\report.txt")));
    EXPECT_EQ(0, CountFiles(huge));
    RemoveTree(out);
}

TEST_F(StressTest, ExitDuringADeleteRunEndsItBeforeTheNextFile)
{
    std::string tree = ProgramTree("deletable");
    std::string report = FreshFolder("deletable-out") + "\\report.txt";
    StartSearch(tree);
    WaitForIdle(600000);
    ASSERT_EQ(20000, SendMessageW(list, LB_GETCOUNT, 0, 0));
    // A search's question left open meanwhile: answered Yes during the run,
    // it is refused, and the run goes on reading its own list.
    std::string other = FreshFolder("deletable-other");
    WriteBytes(other + "\\thumbs.db", GenuineHeader());
    ui::SetControlText(main, IDC_MAIN_FOLDER, other);
    ui::Click(main, IDC_MAIN_GO);
    ui::Box go = ExpectBox(GoQuestion);
    ui::SelectAll(list);
    ui::Click(results, IDC_RESULTS_DELETE);
    PassDeleteQuestions(false, true);
    HWND dialog = ui::WaitForSaveDialog(program, 15000);
    ASSERT_TRUE(dialog != NULL && ui::SaveAs(dialog, report));
    // Under way: the progress shows files done.
    auto underWay = [&] {
        std::string shown = ui::ControlText(results, IDC_RESULTS_SIZE);
        return shown.find("Drossweeping ") == 0 && shown[13] != '0';
    };
    for (DWORD start = GetTickCount(); !underWay() && GetTickCount() - start < 60000;)
        ui::Pause(10);
    ASSERT_TRUE(underWay()) << ui::ControlText(results, IDC_RESULTS_SIZE);
    ASSERT_TRUE(ui::Answer(go, IDYES));
    AnswerBox("Finish the command in the List window to start a search.", IDOK);
    EXPECT_EQ(20000, SendMessageW(list, LB_GETCOUNT, 0, 0));
    ExitFrom(results);
    EXPECT_TRUE(FileExists(other + "\\thumbs.db"));

    // The report, complete on disk, holds the first files in list order, and as many are gone.
    std::vector<std::string> reported = SplitLines(ReadAll(report));
    EXPECT_LT(reported.size(), 20000u) << "the exit should have ended the run early";
    char expected[MAX_PATH];
    for (unsigned i = 0; i < reported.size(); i++) {
        snprintf(expected, sizeof expected, "%s\\h%03u\\e%02u\\THUMBS.DB", tree.c_str(), i / 100, i % 100);
        ASSERT_EQ(expected, reported[i]);
    }
    EXPECT_EQ(20000 - (long)reported.size(), CountFiles(tree));
    RemoveTree(tree);
}

// End-to-end fixture: the real program, started fresh for every test.
#include "e2e_support.h"
#include "resources/resource.h"

#include <stdlib.h>

const std::string MainCaption = std::string(PRODUCT_TITLE) + " - Main";
const std::string ListCaption = std::string(PRODUCT_TITLE) + " - List";
const char GoQuestion[] =
    "Search for files named... 'THUMBS.DB'\n\n\n\n"
    "NOTE: The search is recursive (will include subfolders).\n"
    "NOTE: The search is *not* case sensitive.\n"
    "NOTE: The search will ignore 'Read-Only' files.\n\n\n\n"
    "Continue?";
const char DeleteWarning1[] = "Drossweep (Delete) selected files...\n\nNOTE: Deleted files will *not* be "
                              "recoverable by normal means (Recycle Bin).\n\nContinue?";
const char DeleteWarning2[] = "Drossweep (Delete) selected files...\n\nNOTE: Files will not be tested for "
                              "format, content or ownership.\n\nContinue?";
const char ExitQuestion[] = "Exit?\n\nContinue?";

std::string ProgramTree(const char *name)
{
    const char *program = getenv("DROSS_PROGRAM");
    return HostTree(name) + "-" + (program ? program : "");
}

void AppTest::SetUp()
{
    const char *exe = getenv("DROSS_EXE");
    ASSERT_TRUE(exe != NULL) << "DROSS_EXE names the program under test";
    ASSERT_TRUE(ui::Launch(exe, program, workingFolder)) << "could not start " << exe << ", error " << GetLastError();
    main = ui::FindWindowByCaption(program, MainCaption, 15000);
    ASSERT_TRUE(main != NULL) << "no window captioned " << MainCaption;
    program.window = main;
    results = ui::FindWindowByCaption(program, ListCaption, 15000);
    ASSERT_TRUE(results != NULL) << "no window captioned " << ListCaption;
    list = GetDlgItem(results, IDC_RESULTS_LIST);
}

void AppTest::TearDown()
{
    // The program shares this test's output, so what it printed as it died
    // (wine's own messages) stands above.
    if (program.process && !program.exitAwaited && ui::Gone(program)) {
        DWORD code = 0;
        GetExitCodeProcess(program.process, &code);
        ADD_FAILURE() << "the program died or stopped answering (process " << (code == STILL_ACTIVE ? "still there" : "ended")
                      << ", exit code " << code << ")";
    }
    ui::Close(program);
}

ui::Box AppTest::ExpectBox(const std::string &text)
{
    // Another box may stand open meanwhile (a question the user left).
    ui::Box box;
    if (!ui::WaitForBoxSaying(program, text, box, 15000)) {
        EXPECT_EQ(text, box.text) << (box.window ? "another message box" : "no message box");
    }
    return box;
}

void AppTest::AnswerBox(const std::string &text, int button)
{
    ui::Box box = ExpectBox(text);
    if (box.window) {
        ASSERT_TRUE(ui::Answer(box, button)) << "message box did not close: " << box.text;
    }
}

void AppTest::PutCacheBesideOwnFile(const std::wstring &folder)
{
    // Verbatim, so that a name with a trailing dot or blank is its own.
    ASSERT_TRUE(CreateDirectoryW(Verbatim(folder).c_str(), NULL)) << Narrow(folder);
    caches.push_back(folder + L"\\thumbs.db");
    ownFiles.push_back(folder + L"\\photo.jpg");
    WriteBytesW(Verbatim(caches.back()), GenuineHeader(600));
    WriteBytesW(Verbatim(ownFiles.back()), GenuineHeader(600));
}

void AppTest::DeleteAllListedKeepingOwnFiles()
{
    ui::SelectAll(list);
    ui::Click(results, IDC_RESULTS_DELETE);
    PassDeleteQuestions(false, false);
    AnswerBox("Drossweeping Complete.", IDOK);
    for (size_t i = 0; i < caches.size(); i++) {
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(Verbatim(caches[i]).c_str())) << "still there: " << Narrow(caches[i]);
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(Verbatim(ownFiles[i]).c_str())) << "gone: " << Narrow(ownFiles[i]);
    }
}

void AppTest::PassDeleteQuestions(bool verify, bool report)
{
    AnswerBox(DeleteWarning1, IDYES);
    AnswerBox(DeleteWarning2, IDYES);
    AnswerBox("Drossweep (Delete) selected files...\n\nVerify every delete operation?", verify ? IDYES : IDNO);
    AnswerBox("Drossweep (Delete) selected files...\n\nSave pathfilename(s) to a report (.txt)?",
              report ? IDYES : IDNO);
}

void AppTest::ExitFrom(HWND window, std::initializer_list<int> queued, HWND to)
{
    PostMessageW(window, WM_CLOSE, 0, 0);
    ui::Box box;
    ASSERT_TRUE(ui::WaitForBoxOwnedBy(program, window, box, 15000)) << "no exit question";
    EXPECT_EQ(ExitQuestion, box.text);
    PostMessageW(box.window, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), (LPARAM)GetDlgItem(box.window, IDYES));
    for (int id : queued)
        ui::Command(to ? to : main, id);
    EXPECT_EQ(1u, ExitCode());
}

void AppTest::StartSearch(const std::string &root)
{
    ui::SetControlText(main, IDC_MAIN_FOLDER, root);
    ui::Click(main, IDC_MAIN_GO);
    ui::Box box = ExpectBox(GoQuestion);
    EXPECT_TRUE(box.hasYes && box.hasNo);
    ASSERT_TRUE(ui::Answer(box, IDYES));
    // GO has then switched the List window's buttons off: WaitForIdle waits for them.
    ui::Sync(main);
}

void AppTest::WaitForIdle(DWORD timeoutMs)
{
    // The search's last steps show "Idle." and enable the List window's
    // buttons; the texts of the search before may still stand until then.
    DWORD start = GetTickCount();
    while (!ui::Enabled(results, IDC_RESULTS_SAVE) && GetTickCount() - start < timeoutMs && !ui::Gone(program))
        ui::Pause(10);
    // A second line may name a place the search could not look at.
    std::string shown = ui::ControlText(main, IDC_MAIN_FOLDER_TEXT);
    for (start = GetTickCount(); shown.substr(0, shown.find('\n')) != "Idle." && GetTickCount() - start < 5000;)
        shown = (ui::Pause(10), ui::ControlText(main, IDC_MAIN_FOLDER_TEXT));
    ASSERT_EQ("Idle.", shown.substr(0, shown.find('\n')));
}

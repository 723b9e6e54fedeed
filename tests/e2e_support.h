// End-to-end fixture: the real program, started fresh for every test and driven from here.
#ifndef E2E_SUPPORT_H
#define E2E_SUPPORT_H

#include "test_support.h"
#include "uidriver.h"

extern const std::string MainCaption;
extern const std::string ListCaption;
extern const char GoQuestion[];
extern const char DeleteWarning1[];
extern const char DeleteWarning2[];
extern const char ExitQuestion[];

// A host tree that a test changes: each program under test has its own copy.
std::string ProgramTree(const char *name);

class AppTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Asks a question of the program and checks that it is the expected one.
    ui::Box ExpectBox(const std::string &text);
    void AnswerBox(const std::string &text, int button);
    // The delete run's two warnings answered Yes, then its verify and report questions.
    void PassDeleteQuestions(bool verify, bool report);
    // Asks the window to close, answers the exit question Yes, queues the commands (to the MainWindow
    // unless `to` names another) right behind, and expects the program to end with its usual exit code.
    void ExitFrom(HWND window, std::initializer_list<int> queued = {}, HWND to = NULL);
    // A genuine cache and the user's own file in a folder (named wide); the
    // list's files all deleted, after which only the caches may be gone.
    void PutCacheBesideOwnFile(const std::wstring &folder);
    void DeleteAllListedKeepingOwnFiles();
    std::vector<std::wstring> caches, ownFiles;
    // GO on the given root, answered Yes.
    void StartSearch(const std::string &root);
    // Waits for the end of the current search ("Idle." in the MainWindow).
    void WaitForIdle(DWORD timeoutMs = 60000);
    std::vector<std::string> Listed() const { return ui::ListEntries(list); }
    DWORD ExitCode(DWORD timeoutMs = 20000) { return ui::WaitForExit(program, timeoutMs); }

    ui::Program program;
    std::string workingFolder;      // the program's current folder; empty: ours
    HWND main = NULL;
    HWND results = NULL;
    HWND list = NULL;
};

#endif

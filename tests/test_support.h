// Helpers shared by the test programs: fresh folders, files, the results list.
#ifndef TEST_SUPPORT_H
#define TEST_SUPPORT_H

#include "drossweeper.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

// The header of a genuine thumbnail cache, padded with zeros to the given size.
std::string GenuineHeader(size_t size = 512);

// A fresh, empty folder under the temporary folder; no trailing backslash.
std::string FreshFolder(const char *name);
void MakeFolder(const std::string &path);
void WriteBytes(const std::string &path, const std::string &bytes);
void MakeReadOnly(const std::string &path);
void RemoveTree(const std::string &path);
void RemoveTreeW(const std::wstring &path);
// A full path in the form that Windows takes as it stands ("\\?\C:\..."): a
// trailing dot or blank of a name is kept, not dropped by path parsing.
std::wstring Verbatim(const std::wstring &path);
// A text through the ANSI code page, one way or the other (best fit where it must).
std::wstring Widen(const std::string &text);
void WriteBytesW(const std::wstring &path, const std::string &bytes);
std::string Narrow(const std::wstring &text);
bool FileExists(const std::string &path);

// A folder of the trees made on the host before the tests (symbolic links, long paths).
std::string HostTree(const char *name);
// The "big" tree: one genuine THUMBS.DB of 512 bytes in each of its folders.
enum { BIG_TREE_MATCHES = 10000 };

// The texts of a list box's entries, top to bottom.
std::vector<std::string> ListEntries(HWND list);
std::string WindowText(HWND window);

// Answers, from another thread, every message box of this process with OK and
// keeps their texts: for the program's calls that show boxes with no owner.
class BoxAnswerer {
public:
    explicit BoxAnswerer(int button = IDOK);
    ~BoxAnswerer();
    std::vector<std::string> Stop();
private:
    static DWORD WINAPI Run(LPVOID self);
    HANDLE thread;
    int button;
    volatile bool stopping = false;
    std::vector<std::string> texts;
};

// Saves every value of a registry key and puts them back, the key recreated, when it ends.
// The view is this process's own unless KEY_WOW64_32KEY or KEY_WOW64_64KEY names one.
class RegistryBackup {
public:
    RegistryBackup(HKEY root, const char *subKey, REGSAM view = 0);
    ~RegistryBackup();
private:
    struct Value { std::string name; DWORD type; std::string data; };
    HKEY root;
    std::string subKey;
    REGSAM view;
    bool existed = false;
    std::vector<Value> values;
};

// Reads a whole file; "<missing>" when it cannot be opened.
std::string ReadAll(const std::string &path);
// The lines of a text whose lines end in CR LF, as the program writes them.
std::vector<std::string> SplitLines(const std::string &text);
// Waits until a file exists and is not empty; returns its contents.
std::string WaitForFile(const std::string &path, DWORD timeoutMs);
// How long the shell may take to start the recorder: milliseconds as a rule,
// but once, with both cores busy, more than ten seconds.
const DWORD SHELL_START_MS = 60000;

// The registered browser: the command under htmlfile\shell\opennew\command.
void SetBrowserCommand(const char *command);
void RemoveBrowserKey();
// The command that starts the recorder tool, as a browser registration has it.
std::string RecorderCommand();

// Writes a shortcut to the target through the shell-link object, as another
// program would (COM must be initialised).
void WriteShortcut(const std::string &link, const std::string &target);

// Fresh program state with a real ResultsWindow, as the search sees it.
class SearchTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    HWND List() const;
    std::string SizeText() const;
    std::vector<std::string> Listed() const { return ListEntries(List()); }
    // Runs a whole search on another thread, dispatching messages meanwhile.
    void RunSearch(const std::string &root);
    void WaitForWorker();
};

#endif

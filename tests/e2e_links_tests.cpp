// The folder picker and the Links dialog, driven through the real program.
#include "e2e_support.h"
#include "resources/resource.h"

#include <commctrl.h>
#include <shlobj.h>
#include <stdlib.h>

// --- folder picker -------------------------------------------------------------

// Waits until the browser's tree has held one selection for half a second: the
// browser moves it to the initial folder after it shows, slowly under emulation.
static void WaitForSettledSelection(HWND browser)
{
    HWND tree = FindWindowExW(browser, NULL, L"SysTreeView32", NULL);
    LRESULT last = 0;
    DWORD start = GetTickCount(), since = start;
    while (tree && GetTickCount() - start < 10000) {
        LRESULT caret = SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
        if (caret != last)
            last = caret, since = GetTickCount();
        else if (caret && GetTickCount() - since >= 500)
            return;
        ui::Pause(50);
    }
}

// The browser finds its initial folder by comparing shell ids, which hold a
// folder's last access time; a changed folder's first listing moves that time
// (relatime), and when that listing fell between the browser's two looks, it
// missed the folder. So the changed folders are listed before it looks.
static void SettleAccessTimes(std::string folder)
{
    char temp[MAX_PATH];
    size_t stop = GetTempPathA(sizeof temp, temp) - 1;
    for (size_t end; folder.size() >= stop && (end = folder.rfind('\\')) != std::string::npos;
         folder.erase(end)) {
        WIN32_FIND_DATAA entry;
        HANDLE listing = FindFirstFileA((folder + "\\*").c_str(), &entry);
        if (listing != INVALID_HANDLE_VALUE)
            FindClose(listing);
    }
}

class PickerTest : public AppTest {
protected:
    // Opens the picker on the given field text and ends it with OK or Cancel.
    std::string Pick(const std::string &field, bool confirm)
    {
        ui::SetControlText(main, IDC_MAIN_FOLDER, field);
        ui::Click(main, IDC_MAIN_BROWSE);
        HWND browser = ui::WaitForDialogOwnedBy(program, main, 10000);
        EXPECT_TRUE(browser != NULL) << "no folder browser";
        if (!browser)
            return "<none>";
        WaitForSettledSelection(browser);
        EXPECT_TRUE(confirm ? ui::ConfirmDialog(browser) : ui::CancelDialog(browser));
        ui::Pause(200);
        return ui::ControlText(main, IDC_MAIN_FOLDER);
    }
};

TEST_F(PickerTest, OpensOnTheFieldsFolder)
{
    // OK at once confirms the folder that the browser selected on opening.
    EXPECT_EQ("C:\\", Pick("C:\\", true));
    std::string nested = FreshFolder("picker-nested");
    MakeFolder(nested + "\\inner");
    SettleAccessTimes(nested + "\\inner");
    EXPECT_EQ(nested + "\\inner", Pick(nested + "\\inner", true));
    RemoveTree(nested);
}

TEST_F(PickerTest, CancelAndNonFileItemsLeaveTheField)
{
    EXPECT_EQ("C:\\windows", Pick("C:\\windows", false));
    // The computer node has no path: the field keeps its text.
    const std::string computer = "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}";
    EXPECT_EQ(computer, Pick(computer, true));
    // A folder that does not exist: no message, the default selection.
    EXPECT_NE("", Pick("C:\\no such folder here", false));
    EXPECT_TRUE(ui::NoBoxWithin(program, 300));
}

// --- Links dialog ----------------------------------------------------------------

static const char SHELL_FOLDERS[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// A 32-bit program reads the machine's keys through the 32-bit view of the
// registry (Software\Wow6432Node), which wine's shell fills as it does the
// 64-bit one: both views hold what a test sets.
static const REGSAM VIEWS[] = { KEY_WOW64_64KEY, KEY_WOW64_32KEY };

static void SetShellFolder(HKEY root, const char *name, const std::string &value)
{
    for (REGSAM view : VIEWS) {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, SHELL_FOLDERS, 0, NULL, 0, KEY_WRITE | view, NULL, &key, NULL));
        RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)value.c_str(), (DWORD)value.size() + 1);
        RegCloseKey(key);
    }
}

static std::string LinkTarget(const std::string &link)
{
    IShellLinkA *shell = NULL;
    IPersistFile *file = NULL;
    char target[MAX_PATH] = "<unreadable>";
    if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void **)&shell)))
        return target;
    shell->QueryInterface(IID_IPersistFile, (void **)&file);
    wchar_t wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, link.c_str(), -1, wide, MAX_PATH);
    if (SUCCEEDED(file->Load(wide, STGM_READ)))
        shell->GetPath(target, sizeof target, NULL, 0);
    file->Release();
    shell->Release();
    return target;
}

class LinksTest : public AppTest {
protected:
    RegistryBackup user{ HKEY_CURRENT_USER, SHELL_FOLDERS };
    RegistryBackup machine{ HKEY_LOCAL_MACHINE, SHELL_FOLDERS, KEY_WOW64_64KEY };
    RegistryBackup machine32{ HKEY_LOCAL_MACHINE, SHELL_FOLDERS, KEY_WOW64_32KEY };

    void SetUp() override
    {
        CoInitialize(NULL);
        base = FreshFolder("links");
        for (const char *f : { "desktop", "start", "startup", "common" })
            MakeFolder(base + "\\" + f);
        MakeFolder(base + "\\appdata");
        MakeFolder(base + "\\appdata\\Microsoft");
        MakeFolder(base + "\\appdata\\Microsoft\\Internet Explorer");
        MakeFolder(base + "\\appdata\\Microsoft\\Internet Explorer\\Quick Launch");
        WriteShortcut(Link("desktop"), getenv("DROSS_EXE"));
        WriteShortcut(Link("startup"), "C:\\windows\\notepad.exe");
        AppTest::SetUp();
        // Set only now: wine's shell writes its own folders into these keys
        // whenever a program looks one up.
        RegDeleteKeyA(HKEY_CURRENT_USER, SHELL_FOLDERS);
        for (REGSAM view : VIEWS)
            RegDeleteKeyExA(HKEY_LOCAL_MACHINE, SHELL_FOLDERS, view, 0);
        SetShellFolder(HKEY_CURRENT_USER, "Desktop", base + "\\desktop");       // own shortcut
        SetShellFolder(HKEY_CURRENT_USER, "Start Menu", base + "\\start");      // no shortcut
        SetShellFolder(HKEY_CURRENT_USER, "Programs", base + "\\missing");      // no folder
        SetShellFolder(HKEY_CURRENT_USER, "Startup", base + "\\startup");       // foreign shortcut
        SetShellFolder(HKEY_CURRENT_USER, "AppData", base + "\\appdata");
        SetShellFolder(HKEY_LOCAL_MACHINE, "Common Desktop", base + "\\common");
    }
    void TearDown() override
    {
        AppTest::TearDown();
        RemoveTree(base);
        CoUninitialize();
    }
    std::string Link(const std::string &folder) const
    {
        return base + "\\" + folder + "\\Drossweeper [THUMBS.DB].lnk";
    }
    HWND Open()
    {
        ui::Command(main, IDM_LINKS);
        HWND dialog = ui::FindWindowByCaption(program, std::string(PRODUCT_TITLE) + " - Links", 10000);
        EXPECT_TRUE(dialog != NULL);
        // Wine's menu builder, had it run after a shortcut was written, would have put its own folders back.
        char startup[MAX_PATH] = "";
        DWORD size = sizeof startup;
        RegGetValueA(HKEY_CURRENT_USER, SHELL_FOLDERS, "Startup", RRF_RT_REG_SZ, NULL, startup, &size);
        EXPECT_EQ(base + "\\startup", startup) << "the shell folders changed after the test set them";
        return dialog;
    }
    // "disabled", "unchecked" or "checked", as the box shows it.
    static std::string State(HWND dialog, int box)
    {
        if (!IsWindowEnabled(GetDlgItem(dialog, box)))
            return SendDlgItemMessageW(dialog, box, BM_GETCHECK, 0, 0) ? "disabled-checked" : "disabled";
        return SendDlgItemMessageW(dialog, box, BM_GETCHECK, 0, 0) ? "checked" : "unchecked";
    }
    static void SetCheck(HWND dialog, int box, bool on)
    {
        SendDlgItemMessageW(dialog, box, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    void Process(HWND dialog, int answer)
    {
        ui::Click(dialog, IDC_LINKS_PROCESS);
        ui::Box box;
        ASSERT_TRUE(ui::WaitForBoxOwnedBy(program, dialog, box, 10000));
        EXPECT_EQ("Process the specified links?", box.text);
        ASSERT_TRUE(ui::Answer(box, answer));
    }

    std::string base;
};

TEST_F(LinksTest, BoxesShowTheFolders)
{
    HWND dialog = Open();
    ASSERT_TRUE(dialog != NULL);
    EXPECT_EQ(main, GetWindow(dialog, GW_OWNER));
    EXPECT_EQ("checked", State(dialog, IDC_LINK_USER_DESKTOP));
    EXPECT_EQ("unchecked", State(dialog, IDC_LINK_USER_STARTMENU));
    EXPECT_EQ("disabled", State(dialog, IDC_LINK_USER_PROGRAMS));
    EXPECT_EQ("unchecked", State(dialog, IDC_LINK_USER_STARTUP));
    EXPECT_EQ("unchecked", State(dialog, IDC_LINK_USER_QUICKLAUNCH));
    EXPECT_EQ("unchecked", State(dialog, IDC_LINK_COMMON_DESKTOP));
    for (int box : { IDC_LINK_MACHINE_DESKTOP, IDC_LINK_MACHINE_STARTMENU, IDC_LINK_MACHINE_PROGRAMS,
                     IDC_LINK_MACHINE_STARTUP, IDC_LINK_MACHINE_QUICKLAUNCH, IDC_LINK_COMMON_STARTMENU,
                     IDC_LINK_COMMON_PROGRAMS, IDC_LINK_COMMON_STARTUP, IDC_LINK_COMMON_QUICKLAUNCH })
        EXPECT_EQ("disabled", State(dialog, box)) << box;

    // OK discards whatever the boxes show.
    SetCheck(dialog, IDC_LINK_USER_STARTMENU, true);
    SetCheck(dialog, IDC_LINK_USER_DESKTOP, false);
    ASSERT_TRUE(ui::ConfirmDialog(dialog));
    EXPECT_FALSE(FileExists(Link("start")));
    EXPECT_TRUE(FileExists(Link("desktop")));
}

TEST_F(LinksTest, ProcessMakesTheFoldersMatch)
{
    HWND dialog = Open();
    ASSERT_TRUE(dialog != NULL);
    SetCheck(dialog, IDC_LINK_USER_STARTMENU, true);
    SetCheck(dialog, IDC_LINK_USER_DESKTOP, false);
    SetCheck(dialog, IDC_LINK_USER_QUICKLAUNCH, true);

    Process(dialog, IDNO);      // nothing changes
    EXPECT_TRUE(ui::NoBoxWithin(program, 300));
    EXPECT_FALSE(FileExists(Link("start")));
    EXPECT_TRUE(FileExists(Link("desktop")));

    Process(dialog, IDYES);
    ui::Box done;
    ASSERT_TRUE(ui::WaitForBoxOwnedBy(program, dialog, done, 10000));
    EXPECT_EQ("Processing complete.", done.text);
    // The posted refresh has already run behind the message.
    EXPECT_EQ("checked", State(dialog, IDC_LINK_USER_STARTMENU));
    EXPECT_EQ("unchecked", State(dialog, IDC_LINK_USER_DESKTOP));
    ASSERT_TRUE(ui::Answer(done, IDOK));

    EXPECT_EQ(getenv("DROSS_EXE"), LinkTarget(Link("start")));
    EXPECT_EQ(getenv("DROSS_EXE"),
              LinkTarget(base + "\\appdata\\Microsoft\\Internet Explorer\\Quick Launch\\Drossweeper [THUMBS.DB].lnk"));
    EXPECT_FALSE(FileExists(Link("desktop")));
    EXPECT_FALSE(FileExists(Link("startup"))) << "an unchecked box deletes a foreign shortcut too";
    PostMessageW(dialog, WM_CLOSE, 0, 0);
}

TEST_F(LinksTest, VanishedFolderIsReported)
{
    HWND dialog = Open();
    ASSERT_TRUE(dialog != NULL);
    SetCheck(dialog, IDC_LINK_USER_STARTMENU, true);
    RemoveTree(base + "\\start");
    Process(dialog, IDYES);
    AnswerBox("'" + base + "\\start' is not a valid directory name. [Create Link]", IDOK);
    AnswerBox("Processing complete.", IDOK);
    EXPECT_EQ("disabled-checked", State(dialog, IDC_LINK_USER_STARTMENU));
    EXPECT_TRUE(FileExists(Link("desktop"))) << "the checked own shortcut is rewritten, not removed";
    PostMessageW(dialog, WM_CLOSE, 0, 0);
}

TEST_F(LinksTest, ExitWhileProcessAsksChangesNoLink)
{
    // After Startup's foreign shortcut in table order: a checked location
    // without a shortcut, and an unchecked one that holds ours.
    WriteShortcut(Link("common"), getenv("DROSS_EXE"));
    HWND dialog = Open();
    ASSERT_TRUE(dialog != NULL);
    SetCheck(dialog, IDC_LINK_USER_STARTUP, true);
    SetCheck(dialog, IDC_LINK_USER_QUICKLAUNCH, true);
    SetCheck(dialog, IDC_LINK_COMMON_DESKTOP, false);
    Process(dialog, IDYES);
    ui::Box box;
    ASSERT_TRUE(ui::WaitForBoxOwnedBy(program, dialog, box, 10000)) << "no overwrite question owned by the dialog";
    EXPECT_EQ(0u, box.text.find("The link '" + Link("startup"))) << box.text;
    // The List window is no part of the modal dialog: it still takes a close
    // request (or the end of the session).
    ExitFrom(results);
    EXPECT_EQ("C:\\windows\\notepad.exe", LinkTarget(Link("startup")));
    EXPECT_FALSE(FileExists(Link("appdata\\Microsoft\\Internet Explorer\\Quick Launch")));
    EXPECT_TRUE(FileExists(Link("common")));
}

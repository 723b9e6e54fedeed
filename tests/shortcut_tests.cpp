// The shortcut locations read from the registry, and the shortcut file operations.
#include "test_support.h"

#include <shlobj.h>

static const char SHELL_FOLDERS[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
static const char QUICK_LAUNCH[] = "Microsoft\\Internet Explorer\\Quick Launch";

// Both Shell Folders keys, put back as they were after each test.
class LinkLocationTest : public testing::Test {
protected:
    RegistryBackup user{ HKEY_CURRENT_USER, SHELL_FOLDERS };
    RegistryBackup machine{ HKEY_LOCAL_MACHINE, SHELL_FOLDERS };

    void SetUp() override
    {
        for (LinkLocation &l : LinkLocationTable)
            l = LinkLocation();
        RegDeleteKeyA(HKEY_CURRENT_USER, SHELL_FOLDERS);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, SHELL_FOLDERS);
    }
    static void Set(HKEY root, const char *name, const std::string &value, DWORD type = REG_SZ)
    {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, SHELL_FOLDERS, 0, NULL, 0, KEY_WRITE, NULL, &key, NULL));
        RegSetValueExA(key, name, 0, type, (const BYTE *)value.c_str(), (DWORD)value.size() + 1);
        RegCloseKey(key);
    }
    static void Remove(HKEY root, const char *name)
    {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(root, SHELL_FOLDERS, 0, KEY_WRITE, &key));
        RegDeleteValueA(key, name);
        RegCloseKey(key);
    }
    static std::string Path(int entry) { return LinkLocationTable[entry].path; }
    static bool Valid(int entry) { return LinkLocationTable[entry].valid != 0; }
};

TEST_F(LinkLocationTest, AcceptsOnlyNonEmptyPlainStrings)
{
    Set(HKEY_CURRENT_USER, "Desktop", "C:\\Users\\Ann\\Desktop");
    Set(HKEY_CURRENT_USER, "Start Menu", "%USERPROFILE%\\Start Menu", REG_EXPAND_SZ);
    Set(HKEY_CURRENT_USER, "Programs", "");
    Set(HKEY_CURRENT_USER, "Startup", "C:\\" + std::string(300, 's'));
    Set(HKEY_CURRENT_USER, "AppData", "C:\\Users\\Ann\\AppData");
    ReadLinkLocations();
    EXPECT_TRUE(Valid(0));
    EXPECT_EQ("C:\\Users\\Ann\\Desktop", Path(0));
    EXPECT_FALSE(Valid(1)) << "REG_EXPAND_SZ is refused";
    EXPECT_FALSE(Valid(2)) << "the empty string is refused";
    EXPECT_FALSE(Valid(3)) << "a value over 260 bytes is refused";
    EXPECT_TRUE(Valid(4));
    EXPECT_EQ(std::string("C:\\Users\\Ann\\AppData\\") + QUICK_LAUNCH, Path(4));
    // No per-machine key at all: those entries stay empty and invalid.
    for (int i = 5; i < LINK_LOCATION_COUNT; i++) {
        EXPECT_FALSE(Valid(i)) << i;
        EXPECT_EQ("", Path(i)) << i;
    }
}

TEST_F(LinkLocationTest, QuickLaunchBases)
{
    Set(HKEY_CURRENT_USER, "AppData", "C:\\Data\\");                     // no second backslash
    std::string longBase = "C:\\" + std::string(230, 'a');
    Set(HKEY_LOCAL_MACHINE, "AppData", longBase);                         // cut at 218
    Set(HKEY_LOCAL_MACHINE, "Common AppData", longBase);
    ReadLinkLocations();
    EXPECT_EQ(std::string("C:\\Data\\") + QUICK_LAUNCH, Path(4));
    std::string expected = longBase.substr(0, 218) + "\\" + QUICK_LAUNCH;
    EXPECT_EQ(expected, Path(9));
    EXPECT_EQ(expected, Path(14));
    EXPECT_EQ(259u, expected.size());
}

TEST_F(LinkLocationTest, MachineKeyWithOnlyCommonValues)
{
    const char *names[] = { "Common Desktop", "Common Start Menu", "Common Programs", "Common Startup", "Common AppData" };
    for (const char *name : names)
        Set(HKEY_LOCAL_MACHINE, name, std::string("C:\\All\\") + name);
    ReadLinkLocations();
    for (int i = 0; i < 10; i++)
        EXPECT_FALSE(Valid(i)) << i;
    EXPECT_EQ("C:\\All\\Common Desktop", Path(10));
    EXPECT_EQ("C:\\All\\Common Start Menu", Path(11));
    EXPECT_EQ("C:\\All\\Common Programs", Path(12));
    EXPECT_EQ("C:\\All\\Common Startup", Path(13));
    EXPECT_EQ(std::string("C:\\All\\Common AppData\\") + QUICK_LAUNCH, Path(14));
}

TEST_F(LinkLocationTest, ValueRemovedBetweenReadings)
{
    Set(HKEY_CURRENT_USER, "Programs", "C:\\Programs");
    ReadLinkLocations();
    EXPECT_TRUE(Valid(2));
    Remove(HKEY_CURRENT_USER, "Programs");
    ReadLinkLocations();
    EXPECT_FALSE(Valid(2));
    EXPECT_EQ("C:\\Programs", Path(2)) << "the old path is kept";
    // The per-user key gone: its entries keep their last state.
    Set(HKEY_CURRENT_USER, "Desktop", "C:\\Desk");
    ReadLinkLocations();
    RegDeleteKeyA(HKEY_CURRENT_USER, SHELL_FOLDERS);
    ReadLinkLocations();
    EXPECT_TRUE(Valid(0));
    EXPECT_EQ("C:\\Desk", Path(0));
}

// --- shortcut files --------------------------------------------------------

static std::string ProgramPath()
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, sizeof path);
    return path;
}

class ShortcutTest : public testing::Test {
protected:
    void SetUp() override
    {
        CoInitialize(NULL);
        InitAppState();
        folder = FreshFolder(testing::UnitTest::GetInstance()->current_test_info()->name());
        link = folder + "\\" + LinkFileName;
    }
    void TearDown() override
    {
        RemoveTree(folder);
        CoUninitialize();
    }
    void WriteForeignLink(const std::string &target) { WriteShortcut(link, target); }
    std::string Target()
    {
        char target[MAX_PATH] = "garbage";
        if (!ReadLinkTarget(link.c_str(), target, sizeof target))
            return "<unreadable>";
        return target;
    }
    std::vector<std::string> Create(int answer = IDOK)
    {
        BoxAnswerer answerer(answer);
        CreateLink(NULL, folder.c_str());
        return answerer.Stop();
    }

    std::string folder, link;
};

TEST(ProgramFolderOf, CutsAtTheLastBackslash)
{
    char folder[MAX_PATH];
    ProgramFolderOf(folder, sizeof folder, "C:\\Tools\\x.exe");
    EXPECT_STREQ("C:\\Tools", folder);
    ProgramFolderOf(folder, sizeof folder, "C:\\x.exe");
    EXPECT_STREQ("C:", folder);
    ProgramFolderOf(folder, sizeof folder, "x.exe");
    EXPECT_STREQ("", folder);
}

TEST(BuildLinkPath, JoinsAndRefusesOverlongFolders)
{
    char path[MAX_PATH];
    ASSERT_TRUE(BuildLinkPath(path, sizeof path, "C:\\Links\\"));
    EXPECT_STREQ("C:\\Links\\Drossweeper [THUMBS.DB].lnk", path);
    ASSERT_TRUE(BuildLinkPath(path, sizeof path, "C:\\Links"));
    EXPECT_STREQ("C:\\Links\\Drossweeper [THUMBS.DB].lnk", path);
    std::string folder = "C:\\" + std::string(228, 'f');              // 231 characters: 259 in all
    EXPECT_TRUE(BuildLinkPath(path, sizeof path, folder.c_str()));
    folder += 'g';
    EXPECT_FALSE(BuildLinkPath(path, sizeof path, folder.c_str()));
}

TEST_F(ShortcutTest, CreatedLinkCarriesItsAttributes)
{
    EXPECT_FALSE(IsOwnLink(link.c_str()));
    EXPECT_TRUE(Create().empty());
    ASSERT_TRUE(FileExists(link));
    EXPECT_TRUE(IsOwnLink(link.c_str()));

    IShellLinkA *shell = NULL;
    IPersistFile *file = NULL;
    ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void **)&shell)));
    shell->QueryInterface(IID_IPersistFile, (void **)&file);
    wchar_t wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, link.c_str(), -1, wide, MAX_PATH);
    ASSERT_TRUE(SUCCEEDED(file->Load(wide, STGM_READ)));
    char text[MAX_PATH];
    int icon = -1;
    shell->GetPath(text, sizeof text, NULL, 0);
    EXPECT_EQ(ProgramPath(), text);
    shell->GetWorkingDirectory(text, sizeof text);
    EXPECT_EQ(ProgramPath().substr(0, ProgramPath().rfind('\\')), text);
    shell->GetIconLocation(text, sizeof text, &icon);
    EXPECT_EQ(ProgramPath(), text);
    EXPECT_EQ(0, icon);
    shell->GetDescription(text, sizeof text);
    EXPECT_STREQ(PRODUCT_TITLE, text);
    file->Release();
    shell->Release();

    // The program's own shortcut is written again without a question.
    EXPECT_TRUE(Create().empty());
    EXPECT_TRUE(IsOwnLink(link.c_str()));
}

TEST_F(ShortcutTest, ForeignLinkAsksBeforeOverwriting)
{
    std::string other = "C:\\windows\\notepad.exe";
    WriteForeignLink(other);
    std::string target = Target();
    EXPECT_FALSE(IsOwnLink(link.c_str()));
    std::vector<std::string> asked = Create(IDNO);
    std::vector<std::string> expected = { "The link '" + link + "' already exists. It links to '" + target + "'.\n\nOverwrite?" };
    EXPECT_EQ(expected, asked);
    EXPECT_EQ(target, Target()) << "No leaves it untouched";
    EXPECT_EQ(expected, Create(IDYES));
    EXPECT_TRUE(IsOwnLink(link.c_str()));
}

TEST_F(ShortcutTest, TargetDifferingOnlyInCaseIsForeign)
{
    std::string program = ProgramPath();
    std::string lower = program;
    for (char &c : lower)
        c = (char)tolower((unsigned char)c);
    ASSERT_NE(program, lower);
    WriteForeignLink(lower);
    if (Target() == program)
        GTEST_SKIP() << "the shell-link object stored the file's own spelling";
    EXPECT_FALSE(IsOwnLink(link.c_str()));
    EXPECT_EQ(1u, Create(IDNO).size());
}

TEST_F(ShortcutTest, NonShortcutFileIsReplacedAndDeleteRemovesAnything)
{
    WriteBytes(link, "not a shortcut");
    EXPECT_FALSE(CanLoadLink(link.c_str()));
    EXPECT_TRUE(Create().empty());
    EXPECT_TRUE(IsOwnLink(link.c_str()));

    WriteForeignLink("C:\\windows\\notepad.exe");
    EXPECT_TRUE(DeleteLink(folder.c_str()));
    EXPECT_FALSE(FileExists(link));
    EXPECT_FALSE(DeleteLink(folder.c_str())) << "nothing left to delete";
    EXPECT_FALSE(DeleteLink((folder + "\\missing").c_str()));
    EXPECT_FALSE(DeleteLink(""));
}

TEST_F(ShortcutTest, CreateInAMissingFolderIsReported)
{
    std::string missing = folder + "\\gone";
    BoxAnswerer answerer;
    CreateLink(NULL, missing.c_str());
    CreateLink(NULL, "");
    EXPECT_EQ(std::vector<std::string>{ "'" + missing + "' is not a valid directory name. [Create Link]" },
              answerer.Stop());
}

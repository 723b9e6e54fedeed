// The browser command, the referrer page and its messages, called in-process.
#include "test_support.h"

#include <stdlib.h>

static const char PAGE_NAME[] = PRODUCT_TITLE " - Internet Referrering Page.htm";

TEST(CleanBrowserCommand, CutsAtPercentAndDropsQuotes)
{
    struct { const char *registered, *cleaned; } cases[] = {
        { "\"C:\\Program Files\\Browser\\browser.exe\" %1", "C:\\Program Files\\Browser\\browser.exe " },
        { "C:\\Browser\\browser.exe -nohome", "C:\\Browser\\browser.exe -nohome" },
        { "%ProgramFiles%\\Browser\\browser.exe", "" },
        { "C:\\a\"\"b.exe -new \"%1\" -x %2", "C:\\ab.exe -new " },
        { "\"\"\"", "" },
        { "", "" },
    };
    for (auto &c : cases) {
        char command[MAX_PATH];
        strcpy(command, c.registered);
        CleanBrowserCommand(command);
        EXPECT_STREQ(c.cleaned, command) << c.registered;
    }
}

// Each test gets its own temporary folder, a recorder as the browser, and the
// environment put back afterwards.
class ReferrerPageTest : public testing::Test {
protected:
    void SetUp() override
    {
        InitAppState();
        folder = FreshFolder(testing::UnitTest::GetInstance()->current_test_info()->name());
        record = folder + "\\browser.txt";
        SetEnv("DROSS_RECORD_FILE", record);
        oldTemp = Env("TEMP");
        oldTmp = Env("TMP");
        SetBrowserCommand(RecorderCommand().c_str());
    }
    void TearDown() override
    {
        SetEnv("TEMP", oldTemp);
        SetEnv("TMP", oldTmp);
        RemoveTree(folder);
    }
    static std::string Env(const char *name)
    {
        const char *value = getenv(name);
        return value ? value : "";
    }
    static void SetEnv(const char *name, const std::string &value)
    {
        _putenv((std::string(name) + "=" + value).c_str());
    }
    // Runs ShowReferrerPage and returns the texts of the messages it showed.
    std::vector<std::string> Show(const char *address = "https://quillmoor.example/software/drossweeper-thumbs.db")
    {
        BoxAnswerer answerer;
        ShowReferrerPage(address);
        return answerer.Stop();
    }

    std::string folder, record, oldTemp, oldTmp;
};

static std::string ExpectedPage(const std::string &address)
{
    return "<html>\r\n<head>\r\n<title>" + std::string(PAGE_NAME) + "</title>\r\n</head>\r\n\r\n<body>\r\n\r\n"
           "<font face=\"arial\" size=\"4\">\r\n\r\nClick to visit.....\r\n\r\n<br><br>\r\n\r\n"
           "<a href=\"" + address + "\">" + address + "</a><br><br>\r\n\r\n</font>\r\n\r\n<br><br>\r\n\r\n"
           "<table border=\"0\" width=\"400\">\r\n<td>\r\n<font face=\"arial\" size=\"2\">\r\n"
           "[<a href=\"https://quillmoor.example/\">Quillmoor</a> (and it's associates) cannot be held "
           "responsible for the content of linked internet sites/pages.\r\n"
           "The content of linked internet sites/pages is the property of their respective owners.]\r\n"
           "</font>\r\n</td>\r\n</table>\r\n\r\n</body>\r\n</html>";
}

TEST_F(ReferrerPageTest, WritesThePageAndOpensItQuoted)
{
    SetEnv("TEMP", folder + "\\");      // a final backslash is not doubled
    SetEnv("TMP", "");
    EXPECT_TRUE(Show().empty());
    std::string page = folder + "\\" + PAGE_NAME;
    EXPECT_EQ(ExpectedPage("https://quillmoor.example/software/drossweeper-thumbs.db"), ReadAll(page));
    std::string launched = WaitForFile(record, SHELL_START_MS);
    EXPECT_NE(std::string::npos, launched.find("\"" + page + "\"")) << launched;

    // A second call rewrites the same file.
    Show("https://quillmoor.example/other");
    EXPECT_EQ(ExpectedPage("https://quillmoor.example/other"), ReadAll(page));
}

TEST_F(ReferrerPageTest, TmpWhenTempIsUnset)
{
    SetEnv("TEMP", "");
    SetEnv("TMP", folder);
    EXPECT_TRUE(Show().empty());
    EXPECT_NE("<missing>", ReadAll(folder + "\\" + PAGE_NAME));
}

TEST_F(ReferrerPageTest, RefusalsAndFailures)
{
    size_t limit = 259 - strlen(PAGE_NAME);
    // An overlong TMP refuses even when TEMP is short and set.
    SetEnv("TEMP", folder);
    SetEnv("TMP", "C:\\" + std::string(limit, 'x'));
    EXPECT_EQ(std::vector<std::string>{ "ERROR: Path too long!" }, Show());

    // A folder of exactly the limit without a final backslash needs 260 characters.
    SetEnv("TMP", "");
    SetEnv("TEMP", "C:\\" + std::string(limit - 3, 'y'));
    EXPECT_EQ(std::vector<std::string>{ "ERROR: Path too long!" }, Show());

    SetEnv("TEMP", "");
    EXPECT_EQ(std::vector<std::string>{ "ERROR: Could not get 'TEMP' or 'TMP' Environment Variable(s)." }, Show());

    // The page's name is taken by a folder: the page cannot be written.
    SetEnv("TEMP", folder);
    MakeFolder(folder + "\\" + PAGE_NAME);
    EXPECT_EQ(std::vector<std::string>{ "ERROR: Could not write '.HTM' file to 'TEMP' folder." }, Show());
    EXPECT_EQ("<missing>", ReadAll(record)) << "nothing may be opened";
}

TEST_F(ReferrerPageTest, MissingBrowserRegistration)
{
    SetEnv("TEMP", folder);
    RemoveBrowserKey();
    EXPECT_EQ(std::vector<std::string>{ "FAILED: RegOpenKeyEx(...) for HTML 'Open' command." }, Show());
    HKEY key;
    RegCreateKeyExA(HKEY_CLASSES_ROOT, "htmlfile\\shell\\opennew\\command", 0, NULL, 0, KEY_WRITE, NULL, &key, NULL);
    RegCloseKey(key);
    EXPECT_EQ(std::vector<std::string>{ "FAILED: RegQueryValueEx(...) for HTML 'Open' command." }, Show());
    // A value too long for the command buffer.
    SetBrowserCommand(("C:\\" + std::string(300, 'z') + ".exe %1").c_str());
    EXPECT_EQ(std::vector<std::string>{ "FAILED: RegQueryValueEx(...) for HTML 'Open' command." }, Show());
    EXPECT_EQ("<missing>", ReadAll(folder + "\\" + PAGE_NAME));
}

TEST_F(ReferrerPageTest, ABrowserTheShellRefusesIsReported)
{
    // Arguments before the "%1" stay in the cleaned command, which then names no program.
    std::string recorder = getenv("DROSS_RECORDER");
    SetBrowserCommand(("\"" + recorder + "\" -new %1").c_str());
    SetEnv("TEMP", folder);
    std::vector<std::string> expected = {
        "ERROR: Could not start the browser registered for HTML files:\n\n" + recorder + " -new ",
    };
    EXPECT_EQ(expected, Show());
    BoxAnswerer answerer;
    OpenAddress("https://quillmoor.example/");
    EXPECT_EQ(expected, answerer.Stop());
    EXPECT_EQ("<missing>", ReadAll(record));
}

TEST(DonateDialog, WithoutTheBitmapWarnsOnceAndStaysUsable)
{
    InitAppState();
    app.instance = GetModuleHandleA("kernel32.dll");    // a module without the bitmap
    HWND owner = CreateWindowA("STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 600, 400,
                               NULL, NULL, NULL, NULL);
    BoxAnswerer answerer;
    HWND dialog = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(117), owner, DonateDialogProc, 0);
    std::vector<std::string> texts = answerer.Stop();
    ASSERT_TRUE(dialog != NULL);
    EXPECT_EQ(std::vector<std::string>{ "ERROR - Could not load bitmap." }, texts);
    EXPECT_EQ(DonationAddress, WindowText(GetDlgItem(dialog, 1016)));
    EXPECT_EQ(0, SendDlgItemMessageA(dialog, 1017, BM_GETIMAGE, IMAGE_BITMAP, 0));
    SendMessageA(dialog, WM_CLOSE, 0, 0);
    DestroyWindow(dialog);
    DestroyWindow(owner);
}

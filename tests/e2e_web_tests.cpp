// The visit-site command and the Donate dialog, driven through the real program
// with the recorder registered as the browser.
#include "e2e_support.h"
#include "resources/resource.h"

static const char DONATION_ADDRESS[] =
    "https://payments.example/cgi-bin/webscr?cmd=_xclick&business=donate@quillmoor.example"
    "&no_note=1&currency_code=GBP&tax=0&bn=PP-DonationsBF";
static const char PAGE_NAME[] = PRODUCT_TITLE " - Internet Referrering Page.htm";

class WebTest : public AppTest {
protected:
    void SetUp() override
    {
        folder = FreshFolder(testing::UnitTest::GetInstance()->current_test_info()->name());
        record = folder + "\\browser.txt";
        SetEnvironmentVariableA("DROSS_RECORD_FILE", record.c_str());
        SetEnvironmentVariableA("TEMP", folder.c_str());
        SetBrowserCommand(RecorderCommand().c_str());
        AppTest::SetUp();
    }
    void TearDown() override
    {
        AppTest::TearDown();
        RemoveTree(folder);
    }
    // The command lines the browser was started with, one per line.
    std::vector<std::string> Launches(size_t expected, DWORD timeoutMs = SHELL_START_MS)
    {
        std::vector<std::string> lines;
        DWORD start = GetTickCount();
        do {
            lines.clear();
            std::string text = ReadAll(record);
            if (text == "<missing>")
                text.clear();
            size_t at = 0, end;
            while ((end = text.find('\n', at)) != std::string::npos) {
                lines.push_back(text.substr(at, end - at));
                at = end + 1;
            }
            if (lines.size() >= expected)
                break;
            ui::Pause(50);
        } while (GetTickCount() - start < timeoutMs);
        return lines;
    }
    HWND OpenDonate(int id)
    {
        ui::Command(main, id);
        return ui::FindWindowByCaption(program, std::string(PRODUCT_TITLE) + " - Donate", 10000);
    }

    std::string folder, record;
};

TEST_F(WebTest, VisitSiteOpensTheQuotedReferrerPage)
{
    ui::Command(main, IDM_VISIT);
    AnswerBox("Visit Internet Site?", IDNO);
    EXPECT_TRUE(ui::NoBoxWithin(program, 300));
    ui::Click(main, IDC_MAIN_VISIT);
    AnswerBox("Visit Internet Site?", IDYES);
    std::vector<std::string> launches = Launches(1);
    ASSERT_EQ(1u, launches.size());
    std::string page = folder + "\\" + PAGE_NAME;
    EXPECT_NE(std::string::npos, launches[0].find("\"" + page + "\"")) << launches[0];
    std::string text = ReadAll(page);
    EXPECT_NE(std::string::npos,
              text.find("<a href=\"https://quillmoor.example/software/drossweeper-thumbs.db\">"
                        "https://quillmoor.example/software/drossweeper-thumbs.db</a><br><br>\r\n"));
    EXPECT_EQ(0u, text.find("<html>\r\n<head>\r\n<title>" + std::string(PAGE_NAME) + "</title>\r\n"));
}

TEST_F(WebTest, MissingBrowserIsReported)
{
    RemoveBrowserKey();
    ui::Click(main, IDC_MAIN_VISIT);
    AnswerBox("Visit Internet Site?", IDYES);
    AnswerBox("FAILED: RegOpenKeyEx(...) for HTML 'Open' command.", IDOK);
    HWND donate = OpenDonate(IDC_MAIN_DONATE);
    ASSERT_TRUE(donate != NULL);
    ui::Click(donate, IDC_DONATE_BUTTON);
    AnswerBox("FAILED: RegOpenKeyEx(...) for HTML 'Open' command.", IDOK);
    EXPECT_TRUE(IsWindowVisible(donate));
    EXPECT_EQ("<missing>", ReadAll(record));
}

TEST_F(WebTest, DonateDialog)
{
    HWND donate = OpenDonate(IDC_MAIN_DONATE);
    ASSERT_TRUE(donate != NULL);
    EXPECT_EQ(DONATION_ADDRESS, ui::ControlText(donate, IDC_DONATE_ADDRESS));
    DWORD selection = (DWORD)SendMessageW(GetDlgItem(donate, IDC_DONATE_ADDRESS), EM_GETSEL, 0, 0);
    EXPECT_EQ(0u, LOWORD(selection));
    EXPECT_EQ(strlen(DONATION_ADDRESS), HIWORD(selection));
    EXPECT_TRUE(GetWindowLongW(GetDlgItem(donate, IDC_DONATE_BUTTON), GWL_STYLE) & BS_BITMAP);
    EXPECT_NE(0, SendMessageW(GetDlgItem(donate, IDC_DONATE_BUTTON), BM_GETIMAGE, IMAGE_BITMAP, 0));
    EXPECT_EQ(main, GetWindow(donate, GW_OWNER));

    // Centred over the MainWindow.
    RECT d, m;
    GetWindowRect(donate, &d);
    GetWindowRect(main, &m);
    EXPECT_NEAR((m.left + m.right) / 2, (d.left + d.right) / 2, 2);
    EXPECT_NEAR((m.top + m.bottom) / 2, (d.top + d.bottom) / 2, 2);

    // The picture button opens the address, twice when pressed twice; the dialog stays.
    ui::Click(donate, IDC_DONATE_BUTTON);
    ui::Click(donate, IDC_DONATE_BUTTON);
    std::vector<std::string> launches = Launches(2);
    ASSERT_EQ(2u, launches.size());
    for (const std::string &line : launches)
        EXPECT_NE(std::string::npos, line.find(DONATION_ADDRESS)) << line;
    EXPECT_TRUE(IsWindowVisible(donate));

    // Esc and OK do nothing; the close box ends it.
    ui::PostKey(GetDlgItem(donate, IDC_DONATE_ADDRESS), VK_ESCAPE);
    ui::Command(donate, IDOK);
    ui::Command(donate, IDCANCEL);
    ui::Pause(400);
    EXPECT_TRUE(IsWindow(donate) && IsWindowVisible(donate));
    PostMessageW(donate, WM_SYSCOMMAND, SC_CLOSE, 0);
    DWORD start = GetTickCount();
    while (IsWindow(donate) && GetTickCount() - start < 5000)
        ui::Pause(20);
    EXPECT_FALSE(IsWindow(donate));

    // The menu opens it again. A click on its button queued behind the Yes
    // to an exit from the List window starts no browser.
    donate = OpenDonate(IDM_DONATE);
    ASSERT_TRUE(donate != NULL);
    ExitFrom(results, { IDC_DONATE_BUTTON }, donate);
    EXPECT_EQ(2u, Launches(3, 2000).size());
}

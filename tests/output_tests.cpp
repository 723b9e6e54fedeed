// Default file names and reading list entries safely.
#include "test_support.h"
#include "resources/resource.h"

TEST(FormatDefaultFileName, LowThirtyTwoBitsAsSigned)
{
    struct { OutputKind kind; long long seconds; const char *expected; } cases[] = {
        { OUTPUT_REPORT, 1700000000LL, PRODUCT_TITLE " - Report [1700000000].txt" },
        { OUTPUT_LIST, 1700000000LL, PRODUCT_TITLE " - Selected Files List [1700000000].txt" },
        { OUTPUT_REPORT, 2147483647LL, PRODUCT_TITLE " - Report [2147483647].txt" },
        { OUTPUT_REPORT, 2147483648LL, PRODUCT_TITLE " - Report [-2147483648].txt" },
        { OUTPUT_LIST, (1LL << 32) + 5, PRODUCT_TITLE " - Selected Files List [5].txt" },
    };
    for (auto &c : cases) {
        char name[OUTPUT_PATH_SIZE] = "garbage";
        FormatDefaultFileName(name, sizeof name, c.kind, c.seconds);
        EXPECT_STREQ(c.expected, name) << c.seconds;
    }
}

class EntryTextTest : public SearchTest {};

TEST_F(EntryTextTest, NeverReadsIntoATooSmallBuffer)
{
    std::string longEntry(300, 'x');
    SendMessageA(List(), LB_ADDSTRING, 0, (LPARAM)"C:\\a\\THUMBS.DB");
    SendMessageA(List(), LB_ADDSTRING, 0, (LPARAM)longEntry.c_str());
    char text[PATH_TEXT_SIZE + 16];
    memset(text, 'G', sizeof text);
    EXPECT_TRUE(ReadEntryText(0, text, PATH_TEXT_SIZE));
    EXPECT_STREQ("C:\\a\\THUMBS.DB", text);
    memset(text, 'G', sizeof text);
    EXPECT_FALSE(ReadEntryText(1, text, PATH_TEXT_SIZE));
    EXPECT_EQ('G', text[PATH_TEXT_SIZE]) << "wrote past the buffer";
    EXPECT_FALSE(ReadEntryText(5, text, PATH_TEXT_SIZE));
}

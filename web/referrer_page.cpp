// The local referrer page through which the product site is visited.
#include "../app/drossweeper.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char PAGE_SUFFIX[] = " - Internet Referrering Page.htm";
static const char HOME_PAGE[] = "https://quillmoor.example/";

static const char PAGE_TEMPLATE[] =
    "<html>\n"
    "<head>\n"
    "<title>%s</title>\n"
    "</head>\n"
    "\n"
    "<body>\n"
    "\n"
    "<font face=\"arial\" size=\"4\">\n"
    "\n"
    "Click to visit.....\n"
    "\n"
    "<br><br>\n"
    "\n"
    "<a href=\"%s\">%s</a><br><br>\n"
    "\n"
    "</font>\n"
    "\n"
    "<br><br>\n"
    "\n"
    "<table border=\"0\" width=\"400\">\n"
    "<td>\n"
    "<font face=\"arial\" size=\"2\">\n"
    "[<a href=\"%s\">Quillmoor</a> (and it's associates) cannot be held responsible for the content of linked internet sites/pages.\n"
    "The content of linked internet sites/pages is the property of their respective owners.]\n"
    "</font>\n"
    "</td>\n"
    "</table>\n"
    "\n"
    "</body>\n"
    "</html>";

static bool BuildReferrerPageText(char *dest, size_t destSize, const char *pageName, const char *address)
{
    int length = snprintf(dest, destSize, PAGE_TEMPLATE, pageName, address, address, HOME_PAGE);
    return length >= 0 && (size_t)length < destSize;
}

static const char *EnvironmentText(const char *name)
{
    const char *value = getenv(name);
    return value ? value : "";
}

void ShowReferrerPage(const char *address)
{
    char command[PATH_TEXT_SIZE];
    if (!ReadBrowserCommand(command, sizeof command))
        return;

    char pageName[PATH_TEXT_SIZE];
    snprintf(pageName, sizeof pageName, "%s%s", ProductTitle, PAGE_SUFFIX);
    size_t limit = 259 - strlen(pageName);
    const char *temp = EnvironmentText("TEMP");
    const char *tmp = EnvironmentText("TMP");
    if (strlen(temp) > limit || strlen(tmp) > limit) {
        Tell(NULL, "ERROR: Path too long!", MB_ICONWARNING);
        return;
    }
    const char *folder = temp[0] ? temp : tmp;
    if (!folder[0]) {
        Tell(NULL, "ERROR: Could not get 'TEMP' or 'TMP' Environment Variable(s).", MB_ICONWARNING);
        return;
    }
    char pagePath[PATH_TEXT_SIZE];
    // A folder of exactly the limit, without a final backslash, would need 260 characters.
    if (!JoinPath(pagePath, sizeof pagePath, folder, pageName)) {
        Tell(NULL, "ERROR: Path too long!", MB_ICONWARNING);
        return;
    }
    if (!BuildReferrerPageText(app.scratchText, sizeof app.scratchText, pageName, address)) {
        Tell(NULL, "ERROR: Path too long!", MB_ICONWARNING);
        return;
    }

    FILE *page = fopen(pagePath, "w+");
    if (!page) {
        Tell(NULL, "ERROR: Could not write '.HTM' file to 'TEMP' folder.", MB_ICONWARNING);
        return;
    }
    fputs(app.scratchText, page);
    fclose(page);

    // Quoted: the page name has blanks, and a browser that splits its command
    // line on them would open several wrong pages.
    char parameters[PATH_TEXT_SIZE + 2];
    snprintf(parameters, sizeof parameters, "\"%s\"", pagePath);
    StartBrowser(command, parameters);
}

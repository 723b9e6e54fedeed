// Starting the browser registered for HTML files with an address or a page.
#include "../app/drossweeper.h"

#include <shellapi.h>
#include <stdio.h>
#include <string.h>

static const char BROWSER_KEY[] = "htmlfile\\shell\\opennew\\command";

void CleanBrowserCommand(char *command)
{
    // Everything from the first percent sign on (the "%1" and what follows) goes.
    char *percent = strchr(command, '%');
    if (percent)
        *percent = '\0';
    char *to = command;
    for (const char *from = command; *from; from++) {
        if (*from != '"')
            *to++ = *from;
    }
    *to = '\0';
}

bool ReadBrowserCommand(char *command, size_t commandSize)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, BROWSER_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        Tell(NULL, "FAILED: RegOpenKeyEx(...) for HTML 'Open' command.", MB_ICONWARNING);
        return false;
    }
    DWORD size = (DWORD)commandSize;
    LONG status = RegQueryValueExA(key, NULL, NULL, NULL, (BYTE *)command, &size);
    RegCloseKey(key);
    // Only a successful query has filled size bytes; after a failed one, size
    // may be the length the value needs, past the end of the buffer. The value's
    // type is not examined, so it may lack its terminator.
    bool read = status == ERROR_SUCCESS;
    bool terminated = read && size > 0 && command[size - 1] == '\0';
    if (!read || (!terminated && size >= commandSize)) {
        Tell(NULL, "FAILED: RegQueryValueEx(...) for HTML 'Open' command.", MB_ICONWARNING);
        return false;
    }
    if (!terminated)
        command[size] = '\0';
    CleanBrowserCommand(command);
    return true;
}

void StartBrowser(const char *command, const char *parameters)
{
    // A click taken from the queue after the exit was confirmed starts nothing.
    if (ExitConfirmed())
        return;
    // A result of 32 or less is the shell's refusal, for example of a command
    // with arguments before its "%1", which is cut to a program name that
    // names no file.
    if ((INT_PTR)ShellExecuteA(NULL, NULL, command, parameters, NULL, SW_SHOWNORMAL) > 32)
        return;
    char text[2 * PATH_TEXT_SIZE];
    snprintf(text, sizeof text, "ERROR: Could not start the browser registered for HTML files:\n\n%s", command);
    Tell(NULL, text, MB_ICONWARNING);
}

void OpenAddress(const char *address)
{
    char command[PATH_TEXT_SIZE];
    if (!ReadBrowserCommand(command, sizeof command))
        return;
    StartBrowser(command, address);
}
